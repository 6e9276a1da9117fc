// The machine's eventlog.txt: the System log as text, kept across runs as Windows keeps its log.
// The text already in the file when the machine boots stays at its head; each entry reaches the
// file as it is written, appended, so a run that ends without a shutdown (even killed) leaves its
// entries there. A save writes the same text whole, so saving never repeats an entry.
#pragma once
#include <filesystem>
#include <mutex>
#include <string>

namespace platform {

class EventLogFile {
public:
    explicit EventLogFile(std::filesystem::path file);
    // Appends one entry's text (EventLogEntryText) to the file.
    void Append(const std::string& entryText);
    // Writes through a temporary file beside it and renames it, so a failed save leaves the old file.
    bool Save() const;

private:
    bool WriteWholeLocked() const;

    const std::filesystem::path file_;
    mutable std::mutex lock_;
    std::string text_; // what the file holds: the earlier runs' text, then this run's entries
};

} // namespace platform
