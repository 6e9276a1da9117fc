// The framework's dispatch routines for requests other than plug and play: create, close and device
// control of the device itself, power and system control, which go on down the stack.
#include "KsDevice.h"
#include "KsObjects.h"
#include "km/status.h"
#include "standin/ks.h"

namespace standin {
namespace {

NTSTATUS Complete(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS PassDown(PKSDEVICE device, PIRP irp)
{
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(device->NextDeviceObject, irp);
}

} // namespace

// A create names a filter factory by its reference string, or, relative to an open filter, a pin.
NTSTATUS NTAPI KsDispatchCreate(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    PKSDEVICE device = FindKsDevice(deviceObject);
    if (!device)
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    return Complete(irp, KsIsPinCreate(irp) ? KsCreatePinObject(irp) : KsCreateFilter(device, irp));
}

NTSTATUS NTAPI KsDispatchClose(PDEVICE_OBJECT, PIRP irp)
{
    if (KsPinOfFile(IoGetCurrentIrpStackLocation(irp)->FileObject))
        return Complete(irp, KsClosePin(irp));
    return Complete(irp, KsCloseFilter(irp));
}

// Property and event requests on a filter, property and stream requests on a pin; every other code
// on a filter is the driver's to serve by replacing this entry, and reaches here only when it did not.
NTSTATUS NTAPI KsDispatchDeviceControl(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    irp->IoStatus.Information = 0;
    NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
    if (KsPinObject* pin = KsPinOfFile(location->FileObject)) {
        switch (location->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_KS_PROPERTY:
            status = KsHandlePinProperty(pin, irp);
            break;
        case IOCTL_KS_ENABLE_EVENT:
        case IOCTL_KS_DISABLE_EVENT:
            status = STATUS_NOT_FOUND; // no event set is served on pins
            break;
        default:
            // Streaming's: it completes what it keeps pending itself.
            status = KsPinStreamRequest(&pin->pin, irp);
            if (status == STATUS_PENDING)
                return status;
            break;
        }
        irp->IoStatus.Status = status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }
    KsFilterObject* filter = KsFilterOfFile(location->FileObject);
    if (filter) {
        switch (location->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_KS_PROPERTY:
            status = KsHandleProperty(filter, irp);
            break;
        case IOCTL_KS_ENABLE_EVENT:
            status = KsHandleEnableEvent(filter, irp);
            break;
        case IOCTL_KS_DISABLE_EVENT:
            status = KsHandleDisableEvent(filter, irp);
            break;
        default:
            break;
        }
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS NTAPI KsDispatchPower(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    PKSDEVICE device = FindKsDevice(deviceObject);
    if (!device) {
        const NTSTATUS status = irp->IoStatus.Status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    if (location->MinorFunction == IRP_MN_SET_POWER) {
        const KSDEVICE_DISPATCH* dispatch = device->Descriptor ? device->Descriptor->Dispatch : nullptr;
        if (location->Parameters.Power.Type == DevicePowerState) {
            const DEVICE_POWER_STATE to = location->Parameters.Power.State.DeviceState;
            if (dispatch && dispatch->SetPower)
                dispatch->SetPower(device, irp, to, device->DevicePowerState);
            device->DevicePowerState = to;
        } else {
            device->SystemPowerState = location->Parameters.Power.State.SystemState;
        }
        irp->IoStatus.Status = STATUS_SUCCESS;
    }
    return PassDown(device, irp);
}

NTSTATUS NTAPI KsDispatchSystemControl(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    PKSDEVICE device = FindKsDevice(deviceObject);
    if (!device) {
        const NTSTATUS status = irp->IoStatus.Status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }
    return PassDown(device, irp);
}

} // namespace standin
