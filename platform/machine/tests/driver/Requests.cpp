// The test driver's requests from user mode and from system shutdown: opening and closing, the
// device-control requests (state, a request completed later from a system thread, a held request,
// a register read) and the shutdown request.
#include "TestDriver.h"

#include <cstring>

namespace machinetest {
namespace {

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

struct PendWork {
    PIRP irp;
    ULONG delayMilliseconds;
    ULONG value;
};

VOID NTAPI CompleteLater(PVOID context)
{
    auto* work = static_cast<PendWork*>(context);
    LARGE_INTEGER delay;
    delay.QuadPart = -static_cast<LONGLONG>(work->delayMilliseconds) * 10000;
    KeDelayExecutionThread(KernelMode, FALSE, &delay);
    PIRP irp = work->irp;
    memcpy(irp->AssociatedIrp.SystemBuffer, &work->value, sizeof work->value);
    ExFreePoolWithTag(work, kPoolTag);
    Complete(irp, STATUS_SUCCESS, sizeof(ULONG));
}

// Keeps the thread object so that WaitForWorkers can wait for the thread's end.
bool AddWorker(HANDLE handle)
{
    PVOID thread = nullptr;
    if (!NT_SUCCESS(ObReferenceObjectByHandle(handle, 0, *PsThreadType, KernelMode, &thread, nullptr)))
        return false;
    KIRQL old;
    KeAcquireSpinLock(&g_driver.workers.lock, &old);
    for (auto& slot : g_driver.workers.threads) {
        if (!slot) {
            slot = static_cast<PETHREAD>(thread);
            thread = nullptr;
            break;
        }
    }
    KeReleaseSpinLock(&g_driver.workers.lock, old);
    if (thread) {
        // No slot: wait here rather than lose track of it.
        KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
        ObDereferenceObject(thread);
    }
    return true;
}

NTSTATUS Pend(PIRP irp, PIO_STACK_LOCATION location)
{
    if (location->Parameters.DeviceIoControl.InputBufferLength < sizeof(PendRequest) ||
        location->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG))
        return Complete(irp, STATUS_BUFFER_TOO_SMALL);
    auto* work = static_cast<PendWork*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(PendWork), kPoolTag));
    if (!work)
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES);
    PendRequest request;
    memcpy(&request, irp->AssociatedIrp.SystemBuffer, sizeof request);
    *work = {irp, request.delayMilliseconds, request.value};
    IoMarkIrpPending(irp);
    HANDLE handle = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    if (!NT_SUCCESS(
            PsCreateSystemThread(&handle, 0x1F03FF, &attributes, nullptr, nullptr, CompleteLater, work))) {
        ExFreePoolWithTag(work, kPoolTag);
        Complete(irp, STATUS_INSUFFICIENT_RESOURCES);
        return STATUS_PENDING;
    }
    AddWorker(handle);
    ZwClose(handle);
    return STATUS_PENDING;
}

VOID NTAPI CancelHeld(PDEVICE_OBJECT device, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    auto* extension = static_cast<DeviceExtension*>(device->DeviceExtension);
    KIRQL old;
    KeAcquireSpinLock(&extension->holdLock, &old);
    if (extension->held == irp) {
        extension->held = nullptr;
        extension->state.pendingHeld = 0;
    }
    KeReleaseSpinLock(&extension->holdLock, old);
    Complete(irp, STATUS_CANCELLED);
}

NTSTATUS Hold(DeviceExtension* extension, PIRP irp)
{
    KIRQL old;
    KeAcquireSpinLock(&extension->holdLock, &old);
    if (extension->held) {
        KeReleaseSpinLock(&extension->holdLock, old);
        return Complete(irp, STATUS_INVALID_DEVICE_STATE);
    }
    IoMarkIrpPending(irp);
    extension->held = irp;
    extension->state.pendingHeld = 1;
    if (!g_driver.switches.leaveRequestPending) {
        IoSetCancelRoutine(irp, CancelHeld);
        // Cancelled before the routine was set: take it back and finish it here.
        if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) {
            extension->held = nullptr;
            extension->state.pendingHeld = 0;
            KeReleaseSpinLock(&extension->holdLock, old);
            Complete(irp, STATUS_CANCELLED);
            return STATUS_PENDING;
        }
    }
    KeReleaseSpinLock(&extension->holdLock, old);
    return STATUS_PENDING;
}

NTSTATUS ReadRegister(DeviceExtension* extension, PIRP irp, PIO_STACK_LOCATION location)
{
    if (location->Parameters.DeviceIoControl.InputBufferLength < sizeof(ULONG) ||
        location->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG))
        return Complete(irp, STATUS_BUFFER_TOO_SMALL);
    ULONG offset;
    memcpy(&offset, irp->AssociatedIrp.SystemBuffer, sizeof offset);
    if (!extension->mapped[0] || offset % 4 != 0 || offset + sizeof(ULONG) > extension->mappedLength[0])
        return Complete(irp, STATUS_INVALID_PARAMETER);
    const ULONG value = READ_REGISTER_ULONG(
        reinterpret_cast<volatile ULONG*>(static_cast<volatile UCHAR*>(extension->mapped[0]) + offset));
    memcpy(irp->AssociatedIrp.SystemBuffer, &value, sizeof value);
    return Complete(irp, STATUS_SUCCESS, sizeof value);
}

} // namespace

void WaitForWorkers()
{
    for (auto& slot : g_driver.workers.threads) {
        KIRQL old;
        KeAcquireSpinLock(&g_driver.workers.lock, &old);
        PETHREAD thread = slot;
        slot = nullptr;
        KeReleaseSpinLock(&g_driver.workers.lock, old);
        if (thread) {
            KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
            ObDereferenceObject(thread);
        }
    }
}

void ReleaseHeld(DeviceExtension* extension, NTSTATUS status)
{
    KIRQL old;
    KeAcquireSpinLock(&extension->holdLock, &old);
    PIRP irp = extension->held;
    if (irp && IoSetCancelRoutine(irp, nullptr) == nullptr)
        irp = nullptr; // its cancel routine has it
    if (irp) {
        extension->held = nullptr;
        extension->state.pendingHeld = 0;
    }
    KeReleaseSpinLock(&extension->holdLock, old);
    if (irp)
        Complete(irp, status);
}

NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT, PIRP irp)
{
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchShutdown(PDEVICE_OBJECT device, PIRP irp)
{
    auto* extension = static_cast<DeviceExtension*>(device->DeviceExtension);
    ++extension->state.shutdownCount;
    LogEvent(device, kMessageShutdown, extension->state.deviceNumber);
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    auto* extension = static_cast<DeviceExtension*>(device->DeviceExtension);
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    switch (location->Parameters.DeviceIoControl.IoControlCode) {
    case kIoctlGetState:
        if (location->Parameters.DeviceIoControl.OutputBufferLength < sizeof(MachineTestState))
            return Complete(irp, STATUS_BUFFER_TOO_SMALL);
        memcpy(irp->AssociatedIrp.SystemBuffer, &extension->state, sizeof(MachineTestState));
        return Complete(irp, STATUS_SUCCESS, sizeof(MachineTestState));
    case kIoctlPend:
        return Pend(irp, location);
    case kIoctlHold:
        return Hold(extension, irp);
    case kIoctlReadRegister:
        return ReadRegister(extension, irp, location);
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

} // namespace machinetest
