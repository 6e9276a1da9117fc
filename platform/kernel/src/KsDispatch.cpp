// The framework's dispatch routines for requests other than plug and play: create, close and device
// control of the device itself, power and system control, which go on down the stack.
#include "KsDevice.h"
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

// A device without filter factories has nothing to open by name.
NTSTATUS NTAPI KsDispatchCreate(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    return Complete(irp, FindKsDevice(deviceObject) ? STATUS_OBJECT_NAME_NOT_FOUND : STATUS_INVALID_DEVICE_REQUEST);
}

NTSTATUS NTAPI KsDispatchClose(PDEVICE_OBJECT, PIRP irp)
{
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI KsDispatchDeviceControl(PDEVICE_OBJECT, PIRP irp)
{
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
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
