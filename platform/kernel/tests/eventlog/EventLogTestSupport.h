// Helpers shared by the event-log, debugger and device-property tests: a driver object as a loader
// would set one up, packets filled the way a driver fills them, and a fixture that starts each test
// with an empty log and debugger record.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "km/debug.h"
#include "km/eventlog.h"
#include "km/iodevice.h"
#include "km/string.h"
#include "standin/debugger.h"
#include "standin/eventlog.h"

namespace eventlogtest {

struct TestDriver {
    explicit TestDriver(const char16_t* name)
    {
        object.Type = IO_TYPE_DRIVER;
        object.Size = sizeof(DRIVER_OBJECT);
        RtlInitUnicodeString(&object.DriverName, name);
    }
    DRIVER_OBJECT object{};
};

// Allocates an entry of the packet plus the inserts (each with its zero) at StringOffset 48, fills
// it and returns it unwritten; NULL when the allocation fails.
inline PIO_ERROR_LOG_PACKET FillPacket(PVOID ioObject, ULONG messageId,
                                       const std::vector<std::u16string>& inserts)
{
    size_t size = sizeof(IO_ERROR_LOG_PACKET);
    for (const auto& insert : inserts)
        size += (insert.size() + 1) * sizeof(char16_t);
    auto* packet =
        static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(ioObject, static_cast<UCHAR>(size)));
    if (!packet)
        return nullptr;
    packet->ErrorCode = static_cast<NTSTATUS>(messageId);
    packet->UniqueErrorValue = messageId & 0xFFFF;
    packet->NumberOfStrings = static_cast<USHORT>(inserts.size());
    packet->StringOffset = sizeof(IO_ERROR_LOG_PACKET);
    auto* at = reinterpret_cast<unsigned char*>(packet) + sizeof(IO_ERROR_LOG_PACKET);
    for (const auto& insert : inserts) {
        std::memcpy(at, insert.c_str(), (insert.size() + 1) * sizeof(char16_t));
        at += (insert.size() + 1) * sizeof(char16_t);
    }
    return packet;
}

inline void Log(PVOID ioObject, ULONG messageId, const std::vector<std::u16string>& inserts)
{
    PIO_ERROR_LOG_PACKET packet = FillPacket(ioObject, messageId, inserts);
    ASSERT_NE(packet, nullptr);
    IoWriteErrorLogEntry(packet);
}

class EventLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        standin::EventLogClear();
        standin::DebugOutputClear();
    }
};

} // namespace eventlogtest
