// VideoCaptureFilter: creation and loading, the decoder values and signal type, the connection
// formats, and the branches of its property sets answered here.
#include "videocapturefilter.h"

#include "audiocapturefilter.h"
#include "basicaudiofilter.h"
#include "device.h"
#include "driver.h"
#include "km/status.h"
#include "messages/Talvexon.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

VideoCaptureFilter::~VideoCaptureFilter()
{
    TRACE_SCOPE(this, "VideoCaptureFilter::~VideoCaptureFilter", kTraceLowEnter);
}

NTSTATUS VideoCaptureFilter::OnCreate(PIRP)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::OnCreate", kTraceLowEnter);
    Device* device = GetDevice();
    PDEVICE_OBJECT deviceObject = device->GetPhysicalDeviceObject();
    ControlAndDeviceLock hold(this);
    const LONG id = device->GetFilterInstanceId(this);
    if (id < 0)
        return STATUS_INSUFFICIENT_RESOURCES;
    SetInstanceId(static_cast<ULONG>(id));
    // Each loader logs what it could not read; the filter opens with the defaults then.
    Device::LoadFilterFromRegistry(device, deviceObject, this);
    Device::LoadVideoInputsFromRegistry(device, deviceObject, &m_inputs);
    AudioCaptureFilter* married = nullptr;
    if (device->FindMarriedFilter(this, &married)) {
        // An audio input names a video input only when there is one of that number.
        const ULONG input = married->GetCurrentAudioInput();
        if (input < m_inputs.GetInputCount())
            m_inputs.SetSecondWord(input);
    }
    const ULONG current = m_inputs.GetSecondWord();
    for (ULONG input = 0; input < m_inputs.GetInputCount(); ++input) {
        m_inputs.SetSecondWord(input);
        Device::LoadVideoPinsFromRegistry(device, deviceObject, input, this);
    }
    m_inputs.SetSecondWord(current);
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::OnClose(PIRP)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::OnClose", kTraceLowEnter);
    GetDevice()->RemoveFilterInstanceId(this);
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::SaveToRegistry()
{
    return STATUS_SUCCESS;
}

// ---- settings ------------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::SetVideoDecoderSettings(BrevicorVideoDecoderRecord* record, bool save)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetVideoDecoderSettings", kTraceLowEnter);
    const ULONG type = record->currentSignalType;
    if (type != 1 && type != 2 && (type & kSignalTypeMask) == 0) {
        TRACE_STATUS(this, "VideoCaptureFilter::SetVideoDecoderSettings", kTraceErrors,
                     MSG_SPECIFIED_VIDEO_DECODER_SIGNAL_TYPE_INVALID,
                     "Specified video decoder signal type of 0x%08x is invalid.", static_cast<unsigned>(type));
        return MSG_SPECIFIED_VIDEO_DECODER_SIGNAL_TYPE_INVALID;
    }
    if (type == m_signalType)
        return STATUS_SUCCESS;
    m_signalType = type;
    if (save && GetDevice() != nullptr)
        return GetDevice()->WriteDevicePropertyToRegistry(u"DecoderCurrentSignalType", type);
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::SetConnectionFormat(ULONG pinId, const void* format, ULONG length)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetConnectionFormat", kTraceLowEnter, "pin %u", static_cast<unsigned>(pinId));
    if ((pinId != kCapturePinId && pinId != kPreviewPinId) || format == nullptr ||
        (length != kVideoInfoFormatBytes && length != kVideoInfo2FormatBytes))
        return STATUS_INVALID_PARAMETER;
    ConnectionFormat& stored = m_formats[pinId - kCapturePinId];
    std::memset(stored.bytes, 0, sizeof(stored.bytes));
    std::memcpy(stored.bytes, format, length);
    stored.length = length;
    Device* device = GetDevice();
    if (device == nullptr)
        return STATUS_SUCCESS;
    const bool capture = pinId == kCapturePinId;
    const ULONG kind = length == kVideoInfoFormatBytes ? kConnectionFormatVideoInfo : kConnectionFormatVideoInfo2;
    NTSTATUS status =
        device->WriteDevicePropertyToRegistry(capture ? u"CaptureDataFormatType" : u"PreviewDataFormatType", kind);
    const NTSTATUS written =
        device->WriteDevicePropertyToRegistry(capture ? u"CaptureDataFormat" : u"PreviewDataFormat", format, length);
    return NT_SUCCESS(status) ? written : status;
}

NTSTATUS VideoCaptureFilter::GetConnectionFormat(ULONG pinId, void* format, ULONG capacity, ULONG* length) const
{
    if ((pinId != kCapturePinId && pinId != kPreviewPinId) || length == nullptr)
        return STATUS_INVALID_PARAMETER;
    const ConnectionFormat& stored = m_formats[pinId - kCapturePinId];
    *length = stored.length;
    if (stored.length == 0)
        return STATUS_SUCCESS;
    if (format == nullptr || capacity < stored.length)
        return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(format, stored.bytes, stored.length);
    return STATUS_SUCCESS;
}

// ---- property sets ------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::OnGetProperty", kTraceLowEnter);
    ControlAndDeviceLock hold(this);
    const GUID& set = property->Set;
    bool handled = false;
    const NTSTATUS settings = GetSettingsProperty(irp, property, data, &handled);
    if (handled)
        return settings;
    if (set == PROPSETID_BREVICOR_INPUTDETECT)
        return GetInputDetect(irp, property, data);
    if (set == PROPSETID_BREVICOR_PERFORMANCE) {
        CopyRequest(property, data, sizeof(PerformanceSettings));
        return Complete(irp, GetDevice()->GetDriver()->GetPerformanceSettings(static_cast<PerformanceSettings*>(data)),
                        sizeof(PerformanceSettings));
    }
    if (set == PROPSETID_VIDCAP_DROPPEDFRAMES)
        return GetDroppedFrames(irp, property, data, kCapturePinId, kPreviewPinId);
    if (set == PROPSETID_VIDCAP_CROSSBAR || set == PROPSETID_BREVICOR_CROSSBAR)
        return CrossbarProperty(irp, property, data, false);
    if (set == KSPROPSETID_General)
        // The component the filters of the board share.
        return BasicAudioFilter::PropGetAudioComponentId(irp, property, data);
    return STATUS_NOT_FOUND;
}

NTSTATUS VideoCaptureFilter::OnSetProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::OnSetProperty", kTraceLowEnter);
    ControlAndDeviceLock hold(this);
    const GUID& set = property->Set;
    bool handled = false;
    const NTSTATUS settings = SetSettingsProperty(irp, property, data, &handled);
    if (handled)
        return settings;
    if (set == PROPSETID_BREVICOR_PERFORMANCE) {
        CopyRequest(property, data, sizeof(PerformanceSettings));
        return Complete(irp, GetDevice()->GetDriver()->SetPerformanceSettings(static_cast<PerformanceSettings*>(data)),
                        sizeof(PerformanceSettings));
    }
    if (set == PROPSETID_VIDCAP_CROSSBAR || set == PROPSETID_BREVICOR_CROSSBAR)
        return CrossbarProperty(irp, property, data, true);
    if (set == PROPSETID_BREVICOR_DEVICE_CONFIG) {
        // Accepted and ignored: the record describes the board.
        CopyRequest(property, data, kDeviceConfigBytes);
        return Complete(irp, STATUS_SUCCESS, kDeviceConfigBytes);
    }
    return STATUS_NOT_FOUND;
}
