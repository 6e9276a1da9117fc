// The I/O manager tests' driver: its dispatch routines and the test-side helpers around it.
#include "TestDriver.h"
#include "standin/devices.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

namespace iotest {
namespace {

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

void Record(PDEVICE_OBJECT device, UCHAR major)
{
    DeviceState& state = TestDriver::State(device);
    std::lock_guard<std::mutex> hold(state.lock);
    state.events.push_back(major);
}

NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    DeviceState& state = TestDriver::State(device);
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    const std::u16string name(file->FileName.Buffer ? file->FileName.Buffer : u"",
                              file->FileName.Length / sizeof(WCHAR));
    {
        std::lock_guard<std::mutex> hold(state.lock);
        state.createNames.push_back(name);
        state.createFiles.push_back(file);
        state.events.push_back(IRP_MJ_CREATE);
    }
    state.creates++;
    return Complete(irp, name == kDeniedName ? STATUS_ACCESS_DENIED : STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp)
{
    Record(device, IRP_MJ_CLEANUP);
    TestDriver::State(device).cleanups++;
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    Record(device, IRP_MJ_CLOSE);
    TestDriver::State(device).closes++;
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchShutdown(PDEVICE_OBJECT device, PIRP irp)
{
    TestDriver::State(device).shutdowns++;
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    DeviceState& state = TestDriver::State(device);
    {
        std::lock_guard<std::mutex> hold(state.lock);
        state.pnpMinors.push_back(IoGetCurrentIrpStackLocation(irp)->MinorFunction);
    }
    if (!state.lower)
        return Complete(irp, STATUS_SUCCESS);
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(state.lower, irp);
}

VOID NTAPI CancelQueued(PDEVICE_OBJECT device, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    DeviceState& state = TestDriver::State(device);
    KIRQL irql;
    KeAcquireSpinLock(&state.queueLock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&state.queueLock, irql);
    state.cancelled++;
    Complete(irp, STATUS_CANCELLED);
}

NTSTATUS Queue(PDEVICE_OBJECT device, PIRP irp, bool cancellable)
{
    DeviceState& state = TestDriver::State(device);
    KIRQL irql;
    KeAcquireSpinLock(&state.queueLock, &irql);
    irp->Tail.Overlay.DriverContext[0] = cancellable ? irp : nullptr;
    if (cancellable) {
        IoSetCancelRoutine(irp, CancelQueued);
        if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) {
            KeReleaseSpinLock(&state.queueLock, irql);
            return Complete(irp, STATUS_CANCELLED);
        }
    }
    IoMarkIrpPending(irp);
    InsertTailList(&state.queue, &irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&state.queueLock, irql);
    KeSetEvent(&state.queued, IO_NO_INCREMENT, FALSE);
    return STATUS_PENDING;
}

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const auto& p = location->Parameters.DeviceIoControl;
    auto* system = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    switch (p.IoControlCode) {
    case kEchoBuffered: {
        const ULONG copied = std::min(p.InputBufferLength, p.OutputBufferLength);
        for (ULONG i = 0; i < copied; ++i)
            system[i] = static_cast<UCHAR>(system[i] + 1);
        return p.OutputBufferLength < p.InputBufferLength
                   ? Complete(irp, STATUS_BUFFER_OVERFLOW, copied)
                   : Complete(irp, STATUS_SUCCESS, p.InputBufferLength);
    }
    case kReadInDirect: {
        auto* data = static_cast<UCHAR*>(
            irp->MdlAddress ? MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority) : nullptr);
        if (!data)
            return Complete(irp, STATUS_INVALID_PARAMETER);
        const ULONG count = MmGetMdlByteCount(irp->MdlAddress);
        DeviceState& state = TestDriver::State(device);
        std::lock_guard<std::mutex> hold(state.lock);
        state.lastDirectInput.assign(data, data + count);
        return Complete(irp, STATUS_SUCCESS, count);
    }
    case kFillOutDirect: {
        if (p.InputBufferLength < 5 || !irp->MdlAddress)
            return Complete(irp, STATUS_INVALID_PARAMETER);
        ULONG count;
        std::memcpy(&count, system, 4);
        if (count > MmGetMdlByteCount(irp->MdlAddress))
            return Complete(irp, STATUS_BUFFER_TOO_SMALL);
        auto* data = static_cast<UCHAR*>(MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority));
        std::memset(data, system[4], count);
        return Complete(irp, STATUS_SUCCESS, count);
    }
    case kCopyNeither: {
        const ULONG copied = std::min(p.InputBufferLength, p.OutputBufferLength);
        if (copied)
            std::memcpy(irp->UserBuffer, p.Type3InputBuffer, copied);
        return Complete(irp, STATUS_SUCCESS, copied);
    }
    case kPend:
        return Queue(device, irp, true);
    case kPendUncancellable:
        return Queue(device, irp, false);
    case kCompleteWith: {
        if (p.InputBufferLength < 8)
            return Complete(irp, STATUS_INVALID_PARAMETER);
        NTSTATUS status;
        ULONG information;
        std::memcpy(&status, system, 4);
        std::memcpy(&information, system + 4, 4);
        return Complete(irp, status, information);
    }
    case kCompleteTwice:
        irp->IoStatus.Status = STATUS_SUCCESS;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_SUCCESS;
    case kReturnBeforeCompleting:
        std::thread([irp] {
            LARGE_INTEGER delay;
            delay.QuadPart = -20 * 10000; // 20 ms
            KeDelayExecutionThread(KernelMode, FALSE, &delay);
            Complete(irp, STATUS_SUCCESS);
        }).detach();
        return STATUS_SUCCESS;
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

} // namespace

UNICODE_STRING Counted(const std::u16string& text)
{
    UNICODE_STRING string;
    string.Buffer = const_cast<WCHAR*>(text.c_str());
    string.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    string.MaximumLength = static_cast<USHORT>(string.Length + sizeof(WCHAR));
    return string;
}

TestDriver::TestDriver(std::u16string_view serviceName) : driver_(standin::CreateDriverObject(serviceName))
{
    driver_->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver_->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver_->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver_->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver_->MajorFunction[IRP_MJ_SHUTDOWN] = DispatchShutdown;
    driver_->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
}

TestDriver::~TestDriver()
{
    while (!devices_.empty())
        RemoveDevice(devices_.back().device);
    standin::DeleteDriverObject(driver_);
}

PDEVICE_OBJECT TestDriver::AddDevice(std::u16string_view name, std::u16string_view link, bool exclusive)
{
    const std::u16string deviceName = name.empty() ? u"" : u"\\Device\\" + std::u16string(name);
    UNICODE_STRING counted = Counted(deviceName);
    PDEVICE_OBJECT device = nullptr;
    if (!NT_SUCCESS(IoCreateDevice(driver_, sizeof(DeviceState), name.empty() ? nullptr : &counted,
                                   FILE_DEVICE_UNKNOWN, 0, exclusive, &device)))
        return nullptr;
    auto* state = new (device->DeviceExtension) DeviceState;
    KeInitializeSpinLock(&state->queueLock);
    InitializeListHead(&state->queue);
    KeInitializeEvent(&state->queued, SynchronizationEvent, FALSE);
    std::u16string linkName;
    if (!link.empty()) {
        linkName = u"\\??\\" + std::u16string(link);
        UNICODE_STRING countedLink = Counted(linkName);
        IoCreateSymbolicLink(&countedLink, &counted);
    }
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    devices_.push_back({device, linkName});
    return device;
}

void TestDriver::RemoveDevice(PDEVICE_OBJECT device)
{
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [device](const Added& a) { return a.device == device; });
    if (it == devices_.end())
        return;
    if (!it->link.empty()) {
        UNICODE_STRING link = Counted(it->link);
        IoDeleteSymbolicLink(&link);
    }
    devices_.erase(it);
    State(device).~DeviceState();
    IoDeleteDevice(device);
}

DeviceState& TestDriver::State(PDEVICE_OBJECT device)
{
    return *static_cast<DeviceState*>(device->DeviceExtension);
}

bool TestDriver::WaitForQueued(PDEVICE_OBJECT device, int milliseconds)
{
    LARGE_INTEGER timeout;
    timeout.QuadPart = -int64_t(milliseconds) * 10000;
    return KeWaitForSingleObject(&State(device).queued, Executive, KernelMode, FALSE, &timeout) ==
           STATUS_SUCCESS;
}

bool TestDriver::CompleteQueued(PDEVICE_OBJECT device, NTSTATUS status, ULONG_PTR information)
{
    DeviceState& state = State(device);
    KIRQL irql;
    KeAcquireSpinLock(&state.queueLock, &irql);
    if (IsListEmpty(&state.queue)) {
        KeReleaseSpinLock(&state.queueLock, irql);
        return false;
    }
    PLIST_ENTRY entry = RemoveHeadList(&state.queue);
    PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
    // Cancellation got there first: its routine owns the request and will unlink it.
    const bool cancellable = irp->Tail.Overlay.DriverContext[0] != nullptr;
    if (cancellable && !IoSetCancelRoutine(irp, nullptr)) {
        InitializeListHead(entry);
        KeReleaseSpinLock(&state.queueLock, irql);
        return false;
    }
    KeReleaseSpinLock(&state.queueLock, irql);
    Complete(irp, status, information);
    return true;
}

IO_STATUS_BLOCK SendDeviceControl(PDEVICE_OBJECT device, ULONG code, PVOID in, ULONG inLength, PVOID out,
                                  ULONG outLength)
{
    KEVENT event{};
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb{};
    iosb.Status = STATUS_PENDING;
    PIRP irp =
        IoBuildDeviceIoControlRequest(code, device, in, inLength, out, outLength, FALSE, &event, &iosb);
    if (!irp)
        return {{STATUS_INSUFFICIENT_RESOURCES}, 0};
    if (IoCallDriver(device, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
    return iosb;
}

} // namespace iotest
