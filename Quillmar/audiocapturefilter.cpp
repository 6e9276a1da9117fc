// AudioCaptureFilter: creation, closing and the dispatch of its property sets.
#include "audiocapturefilter.h"

#include "brevicorrecords.h"
#include "device.h"
#include "km/status.h"
#include "propertycatalogue.h"
#include "shared/ksaudiorecords.h"
#include "shared/ksvidcaprecords.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

using namespace PropertyItem;

// The audio filter's streaming pin, and the one looked at when it has none.
constexpr ULONG kAudioCapturePinId = 0;
constexpr ULONG kOtherStreamingPinId = 2;

} // namespace

AudioCaptureFilter::~AudioCaptureFilter()
{
    TRACE_SCOPE(this, "AudioCaptureFilter::~AudioCaptureFilter", kTraceLowEnter);
}

NTSTATUS AudioCaptureFilter::OnCreate(PIRP)
{
    TRACE_SCOPE(this, "AudioCaptureFilter::OnCreate", kTraceLowEnter);
    Device* device = GetDevice();
    NTSTATUS status = device->CheckReady();
    if (!NT_SUCCESS(status))
        return status;
    const LONG index = BasicFilter::GetAudioCaptureFilterIndex(GetKsFilter()->Descriptor->ReferenceGuid);
    SetLayout(device->HasCombinedAudioFilter(), index > 0 ? static_cast<ULONG>(index) : 0);
    const LONG id = device->GetFilterInstanceId(this);
    if (id < 0)
        return STATUS_INSUFFICIENT_RESOURCES;
    SetInstanceId(static_cast<ULONG>(id));
    ControlAndDeviceLock hold(this);
    Device::LoadAudioInputsFromRegistry(device, device->GetPhysicalDeviceObject(), Inputs());
    return STATUS_SUCCESS;
}

NTSTATUS AudioCaptureFilter::OnClose(PIRP)
{
    TRACE_SCOPE(this, "AudioCaptureFilter::OnClose", kTraceLowEnter);
    GetDevice()->RemoveFilterInstanceId(this);
    return STATUS_SUCCESS;
}

ULONG AudioCaptureFilter::GetInputType(ULONG index)
{
    const ULONG count = Inputs()->GetInputCount();
    if (count == 0)
        return 0;
    ULONG type = 0;
    Inputs()->GetInputType(index < count ? index : count - 1, &type);
    return type;
}

ULONG AudioCaptureFilter::TranslateInputType(ULONG inputType)
{
    return TranslateAudioInputType(inputType);
}

ULONG AudioCaptureFilter::GetInputCount()
{
    return Inputs()->GetInputCount();
}

ULONG AudioCaptureFilter::GetCurrentInput(ULONG, PEPROCESS)
{
    return GetCurrentAudioInput();
}

ULONG AudioCaptureFilter::GetCurrentInput(ULONG)
{
    return GetCurrentAudioInput();
}

NTSTATUS AudioCaptureFilter::SaveToRegistry()
{
    TRACE_SCOPE(this, "AudioCaptureFilter::SaveToRegistry", kTraceLowEnter);
    Device* device = GetDevice();
    NTSTATUS result = STATUS_SUCCESS;
    auto keep = [&result](NTSTATUS status) {
        if (!NT_SUCCESS(status))
            result = status;
    };
    for (ULONG input = 0; input < Inputs()->GetInputCount(); ++input) {
        ULONG pairs = 0;
        Inputs()->GetChannelPairCount(input, &pairs);
        for (ULONG pair = 0; pair < pairs; ++pair) {
            LONG value = 0;
            static constexpr PCWSTR kVolumes[2] = {u"LeftVolume", u"RightVolume"};
            static constexpr PCWSTR kMutes[2] = {u"LeftMute", u"RightMute"};
            for (ULONG side = 0; side < 2; ++side) {
                if (NT_SUCCESS(Inputs()->GetVolumeLevel(input, pair, side, &value)))
                    keep(device->WriteAudioChannelPropertyToRegistry(input, pair, kVolumes[side], static_cast<ULONG>(value)));
                if (NT_SUCCESS(Inputs()->GetMute(input, pair, side, &value)))
                    keep(device->WriteAudioChannelPropertyToRegistry(input, pair, kMutes[side], static_cast<ULONG>(value)));
            }
        }
    }
    keep(device->WriteAudioInputPropertyToRegistry(u"ActiveInput", Inputs()->GetCurrentInput()));
    return result;
}

NTSTATUS AudioCaptureFilter::OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    TRACE_SCOPE(this, "AudioCaptureFilter::OnGetProperty", kTraceLowEnter);
    ControlAndDeviceLock hold(this);
    const GUID& set = property->Set;
    const ULONG id = property->Id;
    if (set == KSPROPSETID_General && id == kGeneralComponentId)
        return PropGetAudioComponentId(irp, property, data);
    if (set == KSPROPSETID_Pin && id == kPinName)
        return PropGetAudioPinName(irp, property, data);
    if (set == KSPROPSETID_Audio) {
        switch (id) {
        case kAudioLatency:
            return PropGetLatency(irp, property, data);
        case kAudioVolumeLevel:
            return PropGetVolumeLevel(irp, property, data);
        case kAudioMuxSource:
            return PropGetMux(irp, property, data);
        case kAudioMute:
            return PropGetMute(irp, property, data);
        case kAudioCpuResources:
            return PropGetCPUResources(irp, property, data);
        case kAudioPeakMeter:
            return PropGetPeak(irp, property, data);
        default:
            return STATUS_NOT_FOUND;
        }
    }
    if (set == PROPSETID_BREVICOR_AUDIO_INPUT_INFO)
        return id == 0 ? PropGetAudioInputCount(irp, property, data) : PropGetAudioInputInfo(irp, property, data);
    if (set == PROPSETID_BREVICOR_INPUTDETECT)
        return GetInputDetect(irp, property, data);
    if (set == PROPSETID_VIDCAP_DROPPEDFRAMES)
        return GetDroppedFrames(irp, property, data, kAudioCapturePinId, kOtherStreamingPinId);
    return STATUS_NOT_FOUND;
}

NTSTATUS AudioCaptureFilter::OnSetProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    TRACE_SCOPE(this, "AudioCaptureFilter::OnSetProperty", kTraceLowEnter);
    ControlAndDeviceLock hold(this);
    const GUID& set = property->Set;
    if (set == KSPROPSETID_Audio) {
        switch (property->Id) {
        case kAudioVolumeLevel:
            return PropSetVolumeLevel(irp, property, data);
        case kAudioMuxSource:
            return PropSetMux(irp, property, data);
        case kAudioMute:
            return PropSetMute(irp, property, data);
        default:
            return STATUS_NOT_FOUND;
        }
    }
    if (set == PROPSETID_BREVICOR_DEVICE_CONFIG) {
        // Accepted and ignored: the record describes the board.
        CopyRequest(property, data, kDeviceConfigBytes);
        return Complete(irp, STATUS_SUCCESS, kDeviceConfigBytes);
    }
    return STATUS_NOT_FOUND;
}
