// IRPs: allocation with their stack locations, the table of live IRPs and its "irps" leak check,
// IoFreeIrp, IoReuseIrp, and IofCallDriver.
#include "DeviceObject.h"
#include "IrpTable.h"
#include "Reports.h"
#include "Utf8.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace standin {
namespace {

const char* const kMajorNames[] = {
    "IRP_MJ_CREATE",
    "IRP_MJ_CREATE_NAMED_PIPE",
    "IRP_MJ_CLOSE",
    "IRP_MJ_READ",
    "IRP_MJ_WRITE",
    "IRP_MJ_QUERY_INFORMATION",
    "IRP_MJ_SET_INFORMATION",
    "IRP_MJ_QUERY_EA",
    "IRP_MJ_SET_EA",
    "IRP_MJ_FLUSH_BUFFERS",
    "IRP_MJ_QUERY_VOLUME_INFORMATION",
    "IRP_MJ_SET_VOLUME_INFORMATION",
    "IRP_MJ_DIRECTORY_CONTROL",
    "IRP_MJ_FILE_SYSTEM_CONTROL",
    "IRP_MJ_DEVICE_CONTROL",
    "IRP_MJ_INTERNAL_DEVICE_CONTROL",
    "IRP_MJ_SHUTDOWN",
    "IRP_MJ_LOCK_CONTROL",
    "IRP_MJ_CLEANUP",
    "IRP_MJ_CREATE_MAILSLOT",
    "IRP_MJ_QUERY_SECURITY",
    "IRP_MJ_SET_SECURITY",
    "IRP_MJ_POWER",
    "IRP_MJ_SYSTEM_CONTROL",
    "IRP_MJ_DEVICE_CHANGE",
    "IRP_MJ_QUERY_QUOTA",
    "IRP_MJ_SET_QUOTA",
    "IRP_MJ_PNP",
};
static_assert(sizeof kMajorNames / sizeof kMajorNames[0] == IRP_MJ_MAXIMUM_FUNCTION + 1);

size_t StorageBytes(CCHAR stackSize)
{
    return sizeof(IRP) + (static_cast<size_t>(stackSize) + 1) * sizeof(IO_STACK_LOCATION);
}

// The stack locations follow the IRP; location 0 is the guard, 1..StackCount the real ones.
PIO_STACK_LOCATION Locations(PIRP irp)
{
    return reinterpret_cast<PIO_STACK_LOCATION>(irp + 1);
}

void InitializeIrp(PIRP irp, CCHAR stackSize)
{
    std::memset(static_cast<void*>(irp), 0, StorageBytes(stackSize));
    irp->Type = IO_TYPE_IRP;
    irp->Size = static_cast<USHORT>(std::min<size_t>(StorageBytes(stackSize), 0xFFFF));
    irp->StackCount = stackSize;
    irp->CurrentLocation = static_cast<CHAR>(stackSize + 1);
    irp->Tail.Overlay.CurrentStackLocation = Locations(irp) + stackSize + 1;
    InitializeListHead(&irp->ThreadListEntry);
}

std::string DescribeIrp(const IrpRecord& record)
{
    const IRP* irp = record.irp;
    std::string text = "IRP " + PointerText(irp) + " #" + std::to_string(record.sequence) +
                       (record.origin == IrpOrigin::Driver ? " from IoAllocateIrp" : " of the I/O manager");
    if (irp->CurrentLocation >= 1 && irp->CurrentLocation <= irp->StackCount) {
        const IO_STACK_LOCATION* location = irp->Tail.Overlay.CurrentStackLocation;
        text += ", " + MajorFunctionName(location->MajorFunction);
        if (location->MajorFunction == IRP_MJ_DEVICE_CONTROL ||
            location->MajorFunction == IRP_MJ_INTERNAL_DEVICE_CONTROL)
            text += " " + HexText(location->Parameters.DeviceIoControl.IoControlCode);
        text += ", at " + PointerText(location->DeviceObject);
    } else if (irp->CurrentLocation > irp->StackCount + 1) {
        text += ", completed";
    } else {
        text += ", not sent";
    }
    return text + (record.origin == IrpOrigin::Driver ? ", not freed" : ", never completed");
}

struct IrpTable {
    std::mutex lock;
    std::unordered_map<PIRP, IrpRecord*> live;
    uint64_t nextSequence = 1;

    IrpTable()
    {
        VerifierRegisterLeakCheck("irps", [] { return OutstandingIrps(); });
    }
    static IrpTable& Instance()
    {
        static IrpTable* table = new IrpTable;
        return *table;
    }
};

} // namespace

std::string MajorFunctionName(UCHAR major)
{
    return major <= IRP_MJ_MAXIMUM_FUNCTION ? kMajorNames[major] : "IRP_MJ_(" + HexText(major) + ")";
}

std::string StatusText(NTSTATUS status)
{
    return "NTSTATUS " + HexText(static_cast<ULONG>(status));
}

IrpRecord* AllocateIrpRecord(CCHAR stackSize, IrpOrigin origin)
{
    if (stackSize < 1)
        return nullptr;
    auto* record = new (std::nothrow) IrpRecord;
    if (!record)
        return nullptr;
    void* storage = ::operator new(StorageBytes(stackSize), std::align_val_t(16), std::nothrow);
    if (!storage) {
        delete record;
        return nullptr;
    }
    record->irp = static_cast<PIRP>(storage);
    record->origin = origin;
    InitializeIrp(record->irp, stackSize);
    auto& table = IrpTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    record->sequence = table.nextSequence++;
    table.live.emplace(record->irp, record);
    return record;
}

IrpRecord* LookupIrp(PIRP irp)
{
    auto& table = IrpTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.live.find(irp);
    if (it == table.live.end())
        return nullptr;
    it->second->holds.fetch_add(1);
    return it->second;
}

void HoldIrp(IrpRecord* record)
{
    record->holds.fetch_add(1);
}

void ReleaseIrp(IrpRecord* record)
{
    if (record->holds.fetch_sub(1) == 1) {
        ::operator delete(static_cast<void*>(record->irp), std::align_val_t(16));
        delete record;
    }
}

void RetireIrp(IrpRecord* record)
{
    {
        auto& table = IrpTable::Instance();
        std::lock_guard<std::mutex> hold(table.lock);
        table.live.erase(record->irp);
    }
    ReleaseIrp(record);
}

std::vector<std::string> OutstandingIrps()
{
    auto& table = IrpTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    std::vector<std::pair<uint64_t, std::string>> ordered;
    for (auto& [irp, record] : table.live)
        ordered.emplace_back(record->sequence, DescribeIrp(*record));
    std::sort(ordered.begin(), ordered.end());
    std::vector<std::string> lines;
    for (auto& [sequence, line] : ordered)
        lines.push_back(std::move(line));
    return lines;
}

size_t LiveIrpCount()
{
    auto& table = IrpTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    return table.live.size();
}

} // namespace standin

extern "C" PIRP NTAPI IoAllocateIrp(CCHAR StackSize, BOOLEAN)
{
    standin::CheckIrqlAtMost("IoAllocateIrp", DISPATCH_LEVEL);
    standin::IrpRecord* record = standin::AllocateIrpRecord(StackSize, standin::IrpOrigin::Driver);
    return record ? record->irp : nullptr;
}

extern "C" VOID NTAPI IoFreeIrp(PIRP Irp)
{
    using namespace standin;
    CheckIrqlAtMost("IoFreeIrp", DISPATCH_LEVEL);
    IrpRecord* record = LookupIrp(Irp);
    if (!record) {
        VerifierReport("irp-free", CallText("IoFreeIrp", Irp) + ", which is not a live IRP (freed twice?)");
        return;
    }
    if (record->origin == IrpOrigin::IoManager) {
        VerifierReport("irp-free",
                       CallText("IoFreeIrp", Irp) + ", which the I/O manager built and frees itself");
        ReleaseIrp(record);
        return;
    }
    RetireIrp(record);
    ReleaseIrp(record);
}

extern "C" VOID NTAPI IoReuseIrp(PIRP Irp, NTSTATUS Iostatus)
{
    using namespace standin;
    IrpRecord* record = LookupIrp(Irp);
    if (!record || record->origin != IrpOrigin::Driver) {
        VerifierReport("bad-object",
                       CallText("IoReuseIrp", Irp) + ", which is not a live IRP from IoAllocateIrp");
        if (record)
            ReleaseIrp(record);
        return;
    }
    const CCHAR stackSize = Irp->StackCount;
    const UCHAR allocationFlags = Irp->AllocationFlags;
    InitializeIrp(Irp, stackSize);
    Irp->AllocationFlags = allocationFlags;
    Irp->IoStatus.Status = Iostatus;
    record->completing.store(false);
    ReleaseIrp(record);
}

extern "C" NTSTATUS NTAPI IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
    using namespace standin;
    CheckIrqlAtMost("IofCallDriver", DISPATCH_LEVEL);
    IrpRecord* record = LookupIrp(Irp);
    if (!record) {
        VerifierReport("bad-object", CallText("IofCallDriver", Irp) + ", which is not a live IRP");
        return STATUS_INVALID_PARAMETER;
    }
    DeviceObjectRecord* device = ReferenceDeviceRecord(DeviceObject);
    if (Irp->CurrentLocation <= 1 || !device) {
        VerifierReport(device ? "irp-stack" : "bad-object",
                       device ? "IofCallDriver of " + PointerText(Irp) + " to " + device->Describe() +
                                    " with no stack location left"
                              : "IofCallDriver of " + PointerText(Irp) + " to " + PointerText(DeviceObject) +
                                    ", which is not a device object");
        if (device)
            DereferenceObject(device);
        ReleaseIrp(record);
        // Nothing can be dispatched; complete it so that whoever waits for it is answered.
        Irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
        Irp->IoStatus.Information = 0;
        IofCompleteRequest(Irp, IO_NO_INCREMENT);
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    Irp->CurrentLocation--;
    Irp->Tail.Overlay.CurrentStackLocation--;
    PIO_STACK_LOCATION location = Irp->Tail.Overlay.CurrentStackLocation;
    location->DeviceObject = DeviceObject;
    PDRIVER_DISPATCH routine = nullptr;
    const UCHAR major = location->MajorFunction;
    PDRIVER_OBJECT driver = __atomic_load_n(&DeviceObject->DriverObject, __ATOMIC_ACQUIRE);
    if (major <= IRP_MJ_MAXIMUM_FUNCTION && driver)
        routine = __atomic_load_n(&driver->MajorFunction[major], __ATOMIC_ACQUIRE);
    if (!routine) {
        VerifierReport("bad-object", "IofCallDriver of " + MajorFunctionName(major) + " to " +
                                         device->Describe() + ", whose driver has no routine for it");
        routine = InvalidDeviceRequest;
    }
    DereferenceObject(device);
    ReleaseIrp(record);
    return routine(DeviceObject, Irp);
}
