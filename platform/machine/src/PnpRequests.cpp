// Sending plug and play requests to a device stack.
#include "PnpRequests.h"

#include "SystemWork.h"
#include "km/object.h"
#include "standin/devicefile.h"

namespace platform {

NTSTATUS SendPnpRequest(PDEVICE_OBJECT physicalDeviceObject, UCHAR minor,
                        const std::function<void(IO_STACK_LOCATION&)>& fill)
{
    IO_STACK_LOCATION request{};
    request.MajorFunction = IRP_MJ_PNP;
    request.MinorFunction = minor;
    if (fill)
        fill(request);
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    RunOnSystemThread([&] {
        PDEVICE_OBJECT top = IoGetAttachedDeviceReference(physicalDeviceObject);
        status = standin::CallDriverAndWait(top, request, STATUS_NOT_SUPPORTED).Status;
        ObDereferenceObject(top);
    });
    return status;
}

const char* PnpMinorName(UCHAR minor)
{
    switch (minor) {
    case IRP_MN_START_DEVICE:
        return "IRP_MN_START_DEVICE";
    case IRP_MN_QUERY_REMOVE_DEVICE:
        return "IRP_MN_QUERY_REMOVE_DEVICE";
    case IRP_MN_REMOVE_DEVICE:
        return "IRP_MN_REMOVE_DEVICE";
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        return "IRP_MN_CANCEL_REMOVE_DEVICE";
    case IRP_MN_STOP_DEVICE:
        return "IRP_MN_STOP_DEVICE";
    case IRP_MN_QUERY_STOP_DEVICE:
        return "IRP_MN_QUERY_STOP_DEVICE";
    case IRP_MN_CANCEL_STOP_DEVICE:
        return "IRP_MN_CANCEL_STOP_DEVICE";
    case IRP_MN_QUERY_CAPABILITIES:
        return "IRP_MN_QUERY_CAPABILITIES";
    case IRP_MN_SURPRISE_REMOVAL:
        return "IRP_MN_SURPRISE_REMOVAL";
    default:
        return "IRP_MN_?";
    }
}

} // namespace platform
