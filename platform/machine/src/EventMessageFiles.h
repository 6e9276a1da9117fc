// The message tables of the System log's event sources, found the way the event viewer finds them:
// each source key under ...\Services\EventLog\System names the files that hold its messages in
// "EventMessageFile" (a list separated by semicolons, "%SystemRoot%" allowed); the machine reads the
// compiled table each such driver file exports (platform/machine/DriverFileExports.h) and registers
// it with the event log under the source's name.
#pragma once
#include <string>
#include <vector>

namespace platform {

struct RegisteredMessageTable {
    std::string source;
    size_t messages = 0;
};

// Registers the table of every source that names at least one readable table; a message id found
// in more than one file keeps the text of the first. Sources without one are left alone. Returns what
// was registered.
std::vector<RegisteredMessageTable> RegisterEventMessageFiles();

} // namespace platform
