// The framework's dispatch routines for requests other than plug and play: create, close and device
// control of the device itself, power and system control, which go on down the stack.
#include "KsDevice.h"
#include "KsObjects.h"
#include "km/status.h"

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

// A create names a filter factory by its reference string; nothing else can be opened.
NTSTATUS NTAPI KsDispatchCreate(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    PKSDEVICE device = FindKsDevice(deviceObject);
    return Complete(irp, device ? KsCreateFilter(device, irp) : STATUS_INVALID_DEVICE_REQUEST);
}

NTSTATUS NTAPI KsDispatchClose(PDEVICE_OBJECT, PIRP irp)
{
    return Complete(irp, KsCloseFilter(irp));
}

// Property and event requests on a filter; every other code is the driver's to serve by replacing
// this entry, and reaches here only when it did not.
NTSTATUS NTAPI KsDispatchDeviceControl(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    KsFilterObject* filter = KsFilterOfFile(location->FileObject);
    irp->IoStatus.Information = 0;
    NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
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
