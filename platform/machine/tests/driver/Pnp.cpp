// The test driver's plug and play requests: start (recording the resources, mapping the ranges,
// connecting the interrupt, enabling the interface), the stop and removal queries with their
// optional vetoes, stop, surprise removal and removal.
#include "TestDriver.h"

namespace machinetest {
namespace {

NTSTATUS NTAPI SignalWhenDone(PDEVICE_OBJECT, PIRP, PVOID context)
{
    KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

// Lets the bus driver below handle the request first, as a start must.
NTSTATUS ForwardAndWait(DeviceExtension* extension, PIRP irp)
{
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, SignalWhenDone, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(extension->lower, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    return irp->IoStatus.Status;
}

NTSTATUS PassDown(DeviceExtension* extension, PIRP irp)
{
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(extension->lower, irp);
}

NTSTATUS Complete(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

BOOLEAN NTAPI NotOurs(PKINTERRUPT, PVOID)
{
    return FALSE; // the test device never raises its line
}

void RecordResources(DeviceExtension* extension, PCM_RESOURCE_LIST raw, PCM_RESOURCE_LIST translated)
{
    MachineTestState& state = extension->state;
    state.rawMemoryCount = state.translatedMemoryCount = 0;
    state.hasInterrupt = 0;
    for (int pass = 0; pass < 2; ++pass) {
        PCM_RESOURCE_LIST list = pass == 0 ? raw : translated;
        if (!list || list->Count == 0)
            continue;
        const CM_PARTIAL_RESOURCE_LIST& partials = list->List[0].PartialResourceList;
        for (ULONG i = 0; i < partials.Count; ++i) {
            const CM_PARTIAL_RESOURCE_DESCRIPTOR& d = partials.PartialDescriptors[i];
            if (d.Type == CmResourceTypeMemory) {
                uint32_t& count = pass == 0 ? state.rawMemoryCount : state.translatedMemoryCount;
                MemoryResource* memory = pass == 0 ? state.rawMemory : state.translatedMemory;
                if (count < kMaximumRanges)
                    memory[count] = {static_cast<uint64_t>(d.u.Memory.Start.QuadPart), d.u.Memory.Length, 0};
                ++count;
            } else if (d.Type == CmResourceTypeInterrupt) {
                state.hasInterrupt = 1;
                if (pass == 0) {
                    state.rawInterruptLevel = d.u.Interrupt.Level;
                    state.rawInterruptVector = d.u.Interrupt.Vector;
                } else {
                    state.translatedInterruptLevel = d.u.Interrupt.Level;
                    state.translatedInterruptVector = d.u.Interrupt.Vector;
                    state.interruptAffinity = d.u.Interrupt.Affinity;
                }
            }
        }
    }
}

void ReleaseHardware(DeviceExtension* extension)
{
    if (extension->interrupt) {
        IoDisconnectInterrupt(extension->interrupt);
        extension->interrupt = nullptr;
    }
    for (ULONG i = 0; i < kMaximumRanges; ++i) {
        if (extension->mapped[i])
            MmUnmapIoSpace(extension->mapped[i], extension->mappedLength[i]);
        extension->mapped[i] = nullptr;
    }
    extension->started = FALSE;
}

NTSTATUS UseHardware(DeviceExtension* extension)
{
    MachineTestState& state = extension->state;
    const uint32_t ranges =
        state.translatedMemoryCount < kMaximumRanges ? state.translatedMemoryCount : kMaximumRanges;
    for (uint32_t i = 0; i < ranges; ++i) {
        PHYSICAL_ADDRESS start;
        start.QuadPart = static_cast<LONGLONG>(state.translatedMemory[i].start);
        extension->mapped[i] = MmMapIoSpace(start, state.translatedMemory[i].length, MmNonCached);
        extension->mappedLength[i] = state.translatedMemory[i].length;
        if (!extension->mapped[i]) {
            ReleaseHardware(extension);
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    state.identity = ranges > 0 ? READ_REGISTER_ULONG(static_cast<volatile ULONG*>(extension->mapped[0])) : 0;
    state.interruptConnectStatus = 0;
    if (state.hasInterrupt) {
        const NTSTATUS connected = IoConnectInterrupt(
            &extension->interrupt, NotOurs, extension, nullptr, state.translatedInterruptVector,
            static_cast<KIRQL>(state.translatedInterruptLevel),
            static_cast<KIRQL>(state.translatedInterruptLevel), LevelSensitive, TRUE,
            static_cast<KAFFINITY>(state.interruptAffinity), FALSE);
        state.interruptConnectStatus = static_cast<uint32_t>(connected);
        if (!NT_SUCCESS(connected)) {
            extension->interrupt = nullptr;
            ReleaseHardware(extension);
            return connected;
        }
    }
    extension->started = TRUE;
    return STATUS_SUCCESS;
}

void SetInterface(DeviceExtension* extension, BOOLEAN enable)
{
    if (extension->interfaceEnabled == enable)
        return;
    if (NT_SUCCESS(IoSetDeviceInterfaceState(&extension->interfaceName, enable)))
        extension->interfaceEnabled = enable;
}

NTSTATUS Start(DeviceExtension* extension, PIRP irp)
{
    NTSTATUS status = ForwardAndWait(extension, irp);
    if (NT_SUCCESS(status) && g_driver.switches.failStart != 0)
        status = g_driver.switches.failStart;
    if (NT_SUCCESS(status)) {
        PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
        RecordResources(extension, location->Parameters.StartDevice.AllocatedResources,
                        location->Parameters.StartDevice.AllocatedResourcesTranslated);
        status = UseHardware(extension);
    }
    if (NT_SUCCESS(status)) {
        ++extension->state.startCount;
        SetInterface(extension, TRUE);
    }
    return Complete(irp, status);
}

NTSTATUS Remove(DeviceExtension* extension, PIRP irp)
{
    SetInterface(extension, FALSE);
    if (extension->started)
        ReleaseHardware(extension);
    if (!g_driver.switches.leaveRequestPending)
        ReleaseHeld(extension, STATUS_DEVICE_REMOVED);
    WaitForWorkers();
    irp->IoStatus.Status = STATUS_SUCCESS;
    const NTSTATUS status = PassDown(extension, irp);
    IoDetachDevice(extension->lower);
    RtlFreeUnicodeString(&extension->interfaceName);
    IoDeleteDevice(extension->self);
    return status;
}

} // namespace

NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    auto* extension = static_cast<DeviceExtension*>(device->DeviceExtension);
    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
        return Start(extension, irp);
    case IRP_MN_QUERY_STOP_DEVICE:
        if (g_driver.switches.vetoStop)
            return Complete(irp, STATUS_UNSUCCESSFUL);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(extension, irp);
    case IRP_MN_QUERY_REMOVE_DEVICE:
        if (g_driver.switches.vetoRemove)
            return Complete(irp, STATUS_UNSUCCESSFUL);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(extension, irp);
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(extension, irp);
    case IRP_MN_STOP_DEVICE:
        ReleaseHardware(extension);
        ++extension->state.stopCount;
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(extension, irp);
    case IRP_MN_SURPRISE_REMOVAL: {
        // The ranges of a device that is gone read all ones; the log shows what the driver met.
        const ULONG first = extension->mapped[0]
                                ? READ_REGISTER_ULONG(static_cast<volatile ULONG*>(extension->mapped[0]))
                                : 0;
        LogEvent(device, kMessageSurprise, extension->state.deviceNumber, first);
        SetInterface(extension, FALSE);
        ReleaseHardware(extension);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(extension, irp);
    }
    case IRP_MN_REMOVE_DEVICE:
        return Remove(extension, irp);
    default:
        return PassDown(extension, irp);
    }
}

} // namespace machinetest
