// The machine's eventlog.txt: the System log as text, kept across runs as Windows keeps its log.
// The text already in the file when the machine boots stays at its head; each entry reaches the
// file as it is written, appended, so a run that ends without a shutdown (even killed) leaves its
// entries there. A save writes the same text whole, so saving never repeats an entry.
//
// The file has a maximum size, and the policy Windows calls "overwrite events as needed": an entry
// that would make the file larger drops the oldest entries first, each whole with its continuation
// lines, and the file is then written whole (through a temporary file and a rename). The newest
// entry is always kept, even when it alone is larger.
#pragma once
#include <filesystem>
#include <mutex>
#include <string>

namespace platform {

class EventLogFile {
public:
    // Windows' default size of the System log, when the machine's hive gives none.
    static constexpr size_t kDefaultMaximumBytes = 512 * 1024;

    // A file already larger than `maximumBytes` (the size was lowered) loses its oldest entries at
    // once, in memory; the file follows at the next append or save.
    EventLogFile(std::filesystem::path file, size_t maximumBytes = kDefaultMaximumBytes);
    // Appends one entry's text (EventLogEntryText) to the file.
    void Append(const std::string& entryText);
    // Writes through a temporary file beside it and renames it, so a failed save leaves the old file.
    bool Save() const;

private:
    bool WriteWholeLocked() const;
    // Drops the oldest entries until `room` more bytes fit; true when anything was dropped.
    bool MakeRoomLocked(size_t room);

    const std::filesystem::path file_;
    const size_t maximumBytes_;
    mutable std::mutex lock_;
    std::string text_; // what the file holds: the earlier runs' text, then this run's entries
};

} // namespace platform
