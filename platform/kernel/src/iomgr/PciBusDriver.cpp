// The stand-in's PCI bus driver: the driver object of the physical device objects it reports, and
// the answers a bus driver gives to the requests that reach the bottom of a device stack.
#include "DriverObjectTable.h"
#include "km/irp.h"
#include "km/status.h"
#include "standin/devices.h"

namespace {

NTSTATUS NTAPI CompleteWith(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// A bus driver succeeds the state changes of its children; requests it does not serve keep the
// status the drivers above left in them, as a bus driver must.
NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT, PIRP irp)
{
    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_REMOVE_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_QUERY_CAPABILITIES:
        return CompleteWith(irp, STATUS_SUCCESS);
    default:
        return CompleteWith(irp, irp->IoStatus.Status);
    }
}

NTSTATUS NTAPI DispatchSuccess(PDEVICE_OBJECT, PIRP irp)
{
    return CompleteWith(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchKeepStatus(PDEVICE_OBJECT, PIRP irp)
{
    return CompleteWith(irp, irp->IoStatus.Status);
}

} // namespace

namespace standin {

PDRIVER_OBJECT PciBusDriverObject()
{
    static DRIVER_OBJECT* driver = [] {
        static const char16_t name[] = u"\\Driver\\PCI";
        auto* d = new DRIVER_OBJECT{};
        d->Type = IO_TYPE_DRIVER;
        d->Size = sizeof(DRIVER_OBJECT);
        d->DriverName.Buffer = const_cast<WCHAR*>(name);
        d->DriverName.Length = sizeof name - sizeof(WCHAR);
        d->DriverName.MaximumLength = sizeof name;
        FillDefaultDispatch(d);
        d->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
        d->MajorFunction[IRP_MJ_POWER] = DispatchSuccess;
        d->MajorFunction[IRP_MJ_SHUTDOWN] = DispatchSuccess;
        d->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = DispatchKeepStatus;
        return d;
    }();
    return driver;
}

} // namespace standin
