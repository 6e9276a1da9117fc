// The test driver's message table, exported the way the machine's event log reads it from a driver
// file (platform/machine/DriverFileExports.h).
#include "MachineTestProtocol.h"
#include "km/messagetable.h"

extern "C" const standin::MessageTableEntry StandinMessageTable[] = {
    {machinetest::kMessageLoaded, "Driver %1 loaded, load %2.\r\n"},
    {machinetest::kMessageShutdown, "Device %2 received the shutdown request.\r\n"},
    {machinetest::kMessageSurprise, "Device %2 was pulled out; its first register read %3.\r\n"},
};

extern "C" const size_t StandinMessageTableCount = sizeof StandinMessageTable / sizeof StandinMessageTable[0];
