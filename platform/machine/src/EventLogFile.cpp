// Saving the event log to the machine's folder.
#include "EventLogFile.h"

#include "km/eventlog.h"
#include "standin/eventlog.h"

#include <fstream>
#include <iterator>

namespace platform {

EventLogFile::EventLogFile(std::filesystem::path file) : file_(std::move(file))
{
    std::ifstream in(file_, std::ios::binary);
    if (in)
        earlierRuns_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool EventLogFile::Save() const
{
    std::filesystem::path temporary = file_;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out << earlierRuns_ << standin::EventLogText();
        out.flush();
        if (!out)
            return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, file_, error);
    return !error;
}

} // namespace platform
