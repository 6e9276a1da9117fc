// Error-log packets: IoAllocateErrorLogEntry, IoWriteErrorLogEntry and IoFreeErrorLogEntry. Each
// entry handed out is remembered with its size and the names of the object it is for, so a write
// reads the packet only within the bytes it owns, and entries never written or freed show up in
// the leak check.
#include "EventLog.h"
#include "Reports.h"
#include "Utf8.h"
#include "km/eventlog.h"
#include "km/iodevice.h"
#include "km/irql.h"
#include "km/pool.h"
#include "standin/eventlog.h"
#include "standin/verifier.h"

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace standin {
namespace {

// Who an entry is for, taken when it is allocated: the object may be gone by the time it is written.
struct Origin {
    std::string source;
    std::u16string objectName;
};

struct Allocation {
    size_t size;
    Origin origin;
};

class Allocations {
public:
    static Allocations& Instance()
    {
        static Allocations* allocations = new Allocations; // never destroyed, like the pool
        return *allocations;
    }

    void Add(void* entry, Allocation allocation)
    {
        std::lock_guard<std::mutex> hold(lock_);
        live_.emplace(entry, std::move(allocation));
    }
    // Takes the entry out of the live set; false when it is not in it.
    bool Take(void* entry, Allocation& allocation)
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = live_.find(entry);
        if (it == live_.end())
            return false;
        allocation = std::move(it->second);
        live_.erase(it);
        return true;
    }

private:
    Allocations()
    {
        VerifierRegisterLeakCheck("error-log-entries", [this] {
            std::lock_guard<std::mutex> hold(lock_);
            std::vector<std::string> lines;
            for (const auto& [entry, allocation] : live_)
                lines.push_back("entry " + PointerText(entry) + " of " + std::to_string(allocation.size) +
                                " bytes for " + allocation.origin.source +
                                " allocated and neither written nor freed");
            return lines;
        });
    }

    std::mutex lock_;
    std::unordered_map<void*, Allocation> live_;
};

std::u16string TextOf(const UNICODE_STRING& string)
{
    if (!string.Buffer)
        return {};
    return std::u16string(string.Buffer, string.Length / sizeof(WCHAR));
}

// "\Driver\X" gives "X".
std::u16string ServiceName(const DRIVER_OBJECT* driver)
{
    if (!driver)
        return {};
    std::u16string name = TextOf(driver->DriverName);
    const size_t slash = name.rfind(u'\\');
    return slash == std::u16string::npos ? name : name.substr(slash + 1);
}

// False when the object is neither a device nor a driver object.
bool OriginOf(const void* ioObject, Origin& origin)
{
    CSHORT type;
    std::memcpy(&type, ioObject, sizeof type);
    std::u16string driverName;
    if (type == IO_TYPE_DRIVER) {
        driverName = ServiceName(static_cast<const DRIVER_OBJECT*>(ioObject));
        origin.objectName = driverName;
    } else if (type == IO_TYPE_DEVICE) {
        const auto* device = static_cast<const DEVICE_OBJECT*>(ioObject);
        driverName = ServiceName(device->DriverObject);
        if (device->DeviceObjectExtension)
            origin.objectName = TextOf(device->DeviceObjectExtension->ObjectName);
        if (origin.objectName.empty())
            origin.objectName = driverName;
    } else {
        return false;
    }
    origin.source = driverName.empty() ? "(unknown)" : Utf8Text(driverName);
    return true;
}

// The entry as the log keeps it. Every read stays inside the `size` bytes the packet owns; what
// breaks those bounds is named in `problems`.
EventLogEntry Parse(const unsigned char* packet, size_t size, std::vector<std::string>& problems)
{
    IO_ERROR_LOG_PACKET header;
    std::memcpy(&header, packet, sizeof header);
    EventLogEntry entry;
    entry.messageId = static_cast<ULONG>(header.ErrorCode);
    entry.majorFunctionCode = header.MajorFunctionCode;
    entry.retryCount = header.RetryCount;
    entry.eventCategory = header.EventCategory;
    entry.uniqueErrorValue = header.UniqueErrorValue;
    entry.finalStatus = header.FinalStatus;
    entry.sequenceNumber = header.SequenceNumber;
    entry.ioControlCode = header.IoControlCode;
    entry.deviceOffset = header.DeviceOffset.QuadPart;

    constexpr size_t dumpStart = offsetof(IO_ERROR_LOG_PACKET, DumpData);
    size_t dumpSize = header.DumpDataSize;
    if (dumpSize > size - dumpStart) {
        problems.push_back("dump data of " + std::to_string(dumpSize) + " bytes reaches past the entry's " +
                           std::to_string(size) + " bytes");
        dumpSize = size - dumpStart;
    }
    entry.dumpData.assign(packet + dumpStart, packet + dumpStart + dumpSize);

    if (header.NumberOfStrings == 0)
        return entry;
    size_t at = header.StringOffset;
    if (at < dumpStart || at >= size) {
        problems.push_back(std::to_string(header.NumberOfStrings) + " insert(s) at offset " +
                           std::to_string(at) + ", outside the entry's room for them (" +
                           std::to_string(dumpStart) + " to " + std::to_string(size) + ")");
        return entry;
    }
    for (unsigned i = 0; i < header.NumberOfStrings; ++i) {
        std::u16string insert;
        bool terminated = false;
        while (at + sizeof(char16_t) <= size) {
            char16_t c;
            std::memcpy(&c, packet + at, sizeof c);
            at += sizeof c;
            if (c == 0) {
                terminated = true;
                break;
            }
            insert += c;
        }
        if (!terminated) {
            if (!insert.empty())
                entry.inserts.push_back(std::move(insert));
            problems.push_back("insert " + std::to_string(i + 1) + " of " +
                               std::to_string(header.NumberOfStrings) +
                               " is not terminated inside the entry's " + std::to_string(size) + " bytes");
            break;
        }
        entry.inserts.push_back(std::move(insert));
    }
    return entry;
}

void ReportUnknown(const char* function, PVOID entry)
{
    VerifierReport("bad-argument", std::string(function) + " of " + PointerText(entry) +
                                       ", which is not an error-log entry that is allocated and not yet "
                                       "written or freed");
}

} // namespace
} // namespace standin

extern "C" PVOID NTAPI IoAllocateErrorLogEntry(PVOID IoObject, UCHAR EntrySize)
{
    using namespace standin;
    CheckIrqlAtMost("IoAllocateErrorLogEntry", DISPATCH_LEVEL);
    if (!IoObject) {
        VerifierReport("bad-argument", "IoAllocateErrorLogEntry without an object");
        return nullptr;
    }
    Origin origin;
    if (!OriginOf(IoObject, origin)) {
        VerifierReport("bad-object", CallText("IoAllocateErrorLogEntry", IoObject) +
                                         ", which is neither a device nor a driver object");
        return nullptr;
    }
    if (EntrySize > ERROR_LOG_MAXIMUM_SIZE)
        return nullptr;
    if (EntrySize < sizeof(IO_ERROR_LOG_PACKET)) {
        VerifierReport("bad-argument", "IoAllocateErrorLogEntry of " + std::to_string(EntrySize) +
                                           " bytes, less than the packet's " +
                                           std::to_string(sizeof(IO_ERROR_LOG_PACKET)));
        return nullptr;
    }
    void* entry = ExAllocatePoolWithTag(NonPagedPool, EntrySize, kErrorLogPoolTag);
    if (!entry)
        return nullptr;
    std::memset(entry, 0, EntrySize);
    Allocations::Instance().Add(entry, {EntrySize, std::move(origin)});
    return entry;
}

extern "C" VOID NTAPI IoWriteErrorLogEntry(PVOID ElEntry)
{
    using namespace standin;
    CheckIrqlAtMost("IoWriteErrorLogEntry", DISPATCH_LEVEL);
    Allocation allocation;
    if (!ElEntry || !Allocations::Instance().Take(ElEntry, allocation)) {
        ReportUnknown("IoWriteErrorLogEntry", ElEntry);
        return;
    }
    std::vector<std::string> problems;
    EventLogEntry entry = Parse(static_cast<const unsigned char*>(ElEntry), allocation.size, problems);
    ExFreePoolWithTag(ElEntry, kErrorLogPoolTag);
    entry.source = std::move(allocation.origin.source);
    entry.objectName = std::move(allocation.origin.objectName);
    if (!problems.empty()) {
        entry.malformed = true;
        std::string detail = "error-log entry " + HexText(entry.messageId) + " from " + entry.source + ":";
        for (const auto& problem : problems)
            detail += " " + problem + ";";
        detail += " logged with what lies inside it";
        VerifierReport("error-log-packet", detail);
    }
    EventLog::Instance().Write(std::move(entry));
}

extern "C" VOID NTAPI IoFreeErrorLogEntry(PVOID ElEntry)
{
    using namespace standin;
    CheckIrqlAtMost("IoFreeErrorLogEntry", DISPATCH_LEVEL);
    Allocation allocation;
    if (!ElEntry || !Allocations::Instance().Take(ElEntry, allocation)) {
        ReportUnknown("IoFreeErrorLogEntry", ElEntry);
        return;
    }
    ExFreePoolWithTag(ElEntry, kErrorLogPoolTag);
}
