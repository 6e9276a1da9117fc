// CrossbarFilter: creation, closing and the crossbar set.
#include "crossbarfilter.h"

#include "device.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videocapturefilter.h"

CrossbarFilter::~CrossbarFilter()
{
    TRACE_SCOPE(this, "CrossbarFilter::~CrossbarFilter", kTraceLowEnter);
}

NTSTATUS CrossbarFilter::OnCreate(PIRP)
{
    TRACE_SCOPE(this, "CrossbarFilter::OnCreate", kTraceLowEnter);
    Device* device = GetDevice();
    ControlAndDeviceLock hold(this);
    const LONG id = device->GetFilterInstanceId(this);
    if (id < 0)
        return STATUS_INSUFFICIENT_RESOURCES;
    SetInstanceId(static_cast<ULONG>(id));
    Device::LoadVideoInputsFromRegistry(device, device->GetPhysicalDeviceObject(), &m_inputs);
    ULONG current = device->GetVideoInputItems()->GetSecondWord();
    VideoCaptureFilter* married = nullptr;
    if (device->FindMarriedFilter(this, &married) && married->GetVideoInputItems() != nullptr)
        current = married->GetVideoInputItems()->GetSecondWord();
    if (current < m_inputs.GetInputCount())
        m_inputs.SetSecondWord(current);
    return STATUS_SUCCESS;
}

NTSTATUS CrossbarFilter::OnClose(PIRP)
{
    TRACE_SCOPE(this, "CrossbarFilter::OnClose", kTraceLowEnter);
    GetDevice()->RemoveFilterInstanceId(this);
    return STATUS_SUCCESS;
}

NTSTATUS CrossbarFilter::SaveToRegistry()
{
    return STATUS_SUCCESS;
}

NTSTATUS CrossbarFilter::OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    ControlAndDeviceLock hold(this);
    if (property->Set == PROPSETID_VIDCAP_CROSSBAR)
        return CrossbarProperty(irp, property, data, false);
    return STATUS_NOT_FOUND;
}

NTSTATUS CrossbarFilter::OnSetProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    ControlAndDeviceLock hold(this);
    if (property->Set == PROPSETID_VIDCAP_CROSSBAR)
        return CrossbarProperty(irp, property, data, true);
    return STATUS_NOT_FOUND;
}
