// The machine's eventlog.txt: the System log as text, kept across runs as Windows keeps its log.
// The text already in the file when the machine boots stays at its head; each save writes it
// followed by the entries of this run, so saving twice never repeats an entry.
#pragma once
#include <filesystem>
#include <string>

namespace platform {

class EventLogFile {
public:
    explicit EventLogFile(std::filesystem::path file);
    // Writes through a temporary file beside it and renames it, so a failed save leaves the old file.
    bool Save() const;

private:
    std::filesystem::path file_;
    std::string earlierRuns_;
};

} // namespace platform
