// The framework's plug and play handling of a kernel-streaming device: each request goes to the
// lower devices and the device's dispatch table in the order Windows uses (start after the lower
// devices, stop and removal before them), and removal ends the device.
#include "KsDevice.h"
#include "KsObjects.h"
#include "km/irql.h"
#include "km/status.h"
#include "km/sync.h"

namespace standin {
namespace {

NTSTATUS NTAPI SignalLowerDone(PDEVICE_OBJECT, PIRP, PVOID context)
{
    KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

// Sends the request down and waits for the lower devices to finish it; the IRP stays this
// device's to complete.
NTSTATUS ForwardAndWait(PKSDEVICE device, PIRP irp)
{
    KEVENT done{};
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, SignalLowerDone, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(device->NextDeviceObject, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    return irp->IoStatus.Status;
}

NTSTATUS PassDown(PKSDEVICE device, PIRP irp)
{
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(device->NextDeviceObject, irp);
}

NTSTATUS Complete(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

void StopIfStarted(PKSDEVICE device, const KSDEVICE_DISPATCH* dispatch, PIRP irp)
{
    if (device->Started)
        KsSetDeviceInterfacesState(device, false);
    if (device->Started && dispatch && dispatch->Stop)
        dispatch->Stop(device, irp);
    device->Started = FALSE;
}

} // namespace

NTSTATUS NTAPI KsDispatchPnp(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    PKSDEVICE device = FindKsDevice(deviceObject);
    if (!device)
        return Complete(irp, irp->IoStatus.Status);
    const KSDEVICE_DISPATCH* dispatch = device->Descriptor ? device->Descriptor->Dispatch : nullptr;
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;
    switch (location->MinorFunction) {
    case IRP_MN_START_DEVICE: {
        PCM_RESOURCE_LIST raw = location->Parameters.StartDevice.AllocatedResources;
        PCM_RESOURCE_LIST translated = location->Parameters.StartDevice.AllocatedResourcesTranslated;
        status = ForwardAndWait(device, irp);
        if (NT_SUCCESS(status) && dispatch && dispatch->Start)
            status = dispatch->Start(device, irp, translated, raw);
        if (NT_SUCCESS(status)) {
            device->Started = TRUE;
            if (dispatch && dispatch->PostStart)
                status = dispatch->PostStart(device);
            KsSetDeviceInterfacesState(device, true);
        }
        return Complete(irp, status);
    }
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE: {
        PFNKSDEVICEIRP query = !dispatch                                             ? nullptr
                               : location->MinorFunction == IRP_MN_QUERY_STOP_DEVICE ? dispatch->QueryStop
                                                                                     : dispatch->QueryRemove;
        status = query ? query(device, irp) : STATUS_SUCCESS;
        if (!NT_SUCCESS(status))
            return Complete(irp, status);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(device, irp);
    }
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE: {
        status = ForwardAndWait(device, irp);
        PFNKSDEVICEIRPVOID cancel = !dispatch ? nullptr
                                    : location->MinorFunction == IRP_MN_CANCEL_STOP_DEVICE
                                        ? dispatch->CancelStop
                                        : dispatch->CancelRemove;
        if (cancel)
            cancel(device, irp);
        return Complete(irp, STATUS_SUCCESS);
    }
    case IRP_MN_STOP_DEVICE:
        StopIfStarted(device, dispatch, irp);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(device, irp);
    case IRP_MN_SURPRISE_REMOVAL:
        if (dispatch && dispatch->SurpriseRemoval)
            dispatch->SurpriseRemoval(device, irp);
        StopIfStarted(device, dispatch, irp);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(device, irp);
    case IRP_MN_REMOVE_DEVICE: {
        StopIfStarted(device, dispatch, irp);
        if (dispatch && dispatch->Remove)
            dispatch->Remove(device, irp);
        PDEVICE_OBJECT next = device->NextDeviceObject;
        irp->IoStatus.Status = STATUS_SUCCESS;
        status = PassDown(device, irp);
        IoDetachDevice(next);
        IoDeleteDevice(deviceObject); // forgets the KSDEVICE too
        return status;
    }
    case IRP_MN_QUERY_CAPABILITIES:
        status = ForwardAndWait(device, irp);
        if (NT_SUCCESS(status) && dispatch && dispatch->QueryCapabilities)
            status = dispatch->QueryCapabilities(device, irp,
                                                 location->Parameters.DeviceCapabilities.Capabilities);
        return Complete(irp, status);
    case IRP_MN_QUERY_INTERFACE:
        if (dispatch && dispatch->QueryInterface) {
            status = dispatch->QueryInterface(device, irp);
            if (status != STATUS_NOT_SUPPORTED)
                irp->IoStatus.Status = status;
        }
        return PassDown(device, irp);
    default:
        return PassDown(device, irp);
    }
}

} // namespace standin
