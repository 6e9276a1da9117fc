// BasicVideoFilter: inputs, connector type and current input of the crossbar and video capture
// filters.
#include "basicvideofilter.h"

#include "device.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoinputitems.h"

BasicVideoFilter::~BasicVideoFilter()
{
    TRACE_SCOPE(this, "BasicVideoFilter::~BasicVideoFilter", kTraceLowEnter);
}

ULONG BasicVideoFilter::GetInputType(ULONG index)
{
    VideoInputItems* inputs = GetVideoInputItems();
    if (inputs == nullptr || inputs->GetInputCount() == 0)
        return 0;
    if (index >= inputs->GetInputCount())
        index = inputs->GetInputCount() - 1;
    ULONG type = 0;
    inputs->GetInput(index)->GetInputType(&type);
    return type;
}

ULONG BasicVideoFilter::TranslateInputType(ULONG)
{
    return kVideoConnectorType;
}

ULONG BasicVideoFilter::GetInputCount()
{
    VideoInputItems* inputs = GetVideoInputItems();
    return inputs != nullptr ? inputs->GetInputCount() : 0;
}

ULONG BasicVideoFilter::GetCurrentInput(ULONG deviceNumber, PEPROCESS owningProcess)
{
    return GetDevice() != nullptr ? GetDevice()->GetCurrentVideoInputOfProcess(deviceNumber, owningProcess) : 0;
}

ULONG BasicVideoFilter::GetCurrentInput(ULONG deviceNumber)
{
    return GetDevice() != nullptr ? GetDevice()->GetCurrentVideoInput(deviceNumber) : 0;
}

ULONG BasicVideoFilter::GetInputIOIndex(ULONG index)
{
    VideoInputItems* inputs = GetVideoInputItems();
    VideoInputItem* input = inputs != nullptr ? inputs->GetInput(index) : nullptr;
    ULONG ioIndex = 0;
    if (input == nullptr || !NT_SUCCESS(input->GetInputIOIndex(&ioIndex)))
        return static_cast<ULONG>(-1);
    return ioIndex;
}

NTSTATUS BasicVideoFilter::CrossbarProperty(PIRP irp, PKSPROPERTY property, PVOID data, bool set)
{
    TRACE_LINE(this, "BasicVideoFilter::CrossbarProperty", kTraceHighs, "PROPSETID_VIDCAP_CROSSBAR/PROPSETID_BREVICOR_CROSSBAR");
    Device* device = GetDevice();
    switch (property->Id) {
    case KSPROPERTY_CROSSBAR_CAPS:
        if (set)
            break;
        CopyRequest(property, data, sizeof(KSPROPERTY_CROSSBAR_CAPS_S));
        return Complete(irp, device->GetCrossbarCaps(this, static_cast<KSPROPERTY_CROSSBAR_CAPS_S*>(data)),
                        sizeof(KSPROPERTY_CROSSBAR_CAPS_S));
    case KSPROPERTY_CROSSBAR_PININFO:
        if (set)
            break;
        CopyRequest(property, data, sizeof(KSPROPERTY_CROSSBAR_PININFO_S));
        return Complete(irp, device->GetCrossbarPinInfo(this, static_cast<KSPROPERTY_CROSSBAR_PININFO_S*>(data)),
                        sizeof(KSPROPERTY_CROSSBAR_PININFO_S));
    case KSPROPERTY_CROSSBAR_CAN_ROUTE:
        if (set)
            break;
        CopyRequest(property, data, sizeof(KSPROPERTY_CROSSBAR_ROUTE_S));
        return Complete(irp, device->GetCrossbarCanRoute(this, static_cast<KSPROPERTY_CROSSBAR_ROUTE_S*>(data)),
                        sizeof(KSPROPERTY_CROSSBAR_ROUTE_S));
    case KSPROPERTY_CROSSBAR_ROUTE: {
        CopyRequest(property, data, sizeof(KSPROPERTY_CROSSBAR_ROUTE_S));
        auto* route = static_cast<KSPROPERTY_CROSSBAR_ROUTE_S*>(data);
        return Complete(irp, set ? device->SetCrossbarRoute(this, route) : device->GetCrossbarRoute(this, route),
                        sizeof(KSPROPERTY_CROSSBAR_ROUTE_S));
    }
    default:
        break;
    }
    return STATUS_NOT_FOUND;
}
