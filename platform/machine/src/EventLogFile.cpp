// Keeping the event log in the machine's folder.
#include "EventLogFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace platform {

EventLogFile::EventLogFile(std::filesystem::path file) : file_(std::move(file))
{
    std::ifstream in(file_, std::ios::binary);
    if (in)
        text_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void EventLogFile::Append(const std::string& entryText)
{
    std::lock_guard hold(lock_);
    text_ += entryText;
    // Straight to the file: the process may be killed at any moment after the entry is written.
    if (std::FILE* out = std::fopen(file_.c_str(), "ab")) {
        std::fwrite(entryText.data(), 1, entryText.size(), out);
        std::fclose(out);
    }
}

bool EventLogFile::Save() const
{
    std::lock_guard hold(lock_);
    return WriteWholeLocked();
}

bool EventLogFile::WriteWholeLocked() const
{
    std::filesystem::path temporary = file_;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out << text_;
        out.flush();
        if (!out)
            return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, file_, error);
    return !error;
}

} // namespace platform
