// Keeping the event log in the machine's folder.
#include "EventLogFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace platform {

EventLogFile::EventLogFile(std::filesystem::path file, size_t maximumBytes)
    : file_(std::move(file)), maximumBytes_(maximumBytes)
{
    std::ifstream in(file_, std::ios::binary);
    if (in)
        text_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    MakeRoomLocked(0);
}

bool EventLogFile::MakeRoomLocked(size_t room)
{
    if (text_.size() + room <= maximumBytes_)
        return false;
    // An entry starts a line; its continuation lines start with a tab.
    size_t cut = 0;
    while (cut < text_.size() && text_.size() - cut + room > maximumBytes_) {
        size_t next = text_.find('\n', cut);
        while (next != std::string::npos && next + 1 < text_.size() && text_[next + 1] == '\t')
            next = text_.find('\n', next + 1);
        cut = next == std::string::npos ? text_.size() : next + 1;
    }
    text_.erase(0, cut);
    return true;
}

void EventLogFile::Append(const std::string& entryText)
{
    std::lock_guard hold(lock_);
    // Straight to the file either way: the process may be killed at any moment after the entry is
    // written.
    if (MakeRoomLocked(entryText.size())) {
        text_ += entryText;
        WriteWholeLocked();
        return;
    }
    text_ += entryText;
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
