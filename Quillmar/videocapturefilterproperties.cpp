// VideoCaptureFilter: the branches of its property handlers that answer the settings sets: the
// private records of each pin's settings, the video decoder and loss-of-signal records, and the
// standard proc-amp and video decoder sets that ordinary capture applications use. Each branch
// copies the request into the data buffer first, then fills or applies the record there.
#include "videocapturefilter.h"

#include "kernel/poolallocation.h"
#include "procamptables.h"
#include "device.h"
#include "km/status.h"
#include "messages/Talvexon.h"
#include "shared/ksvidcaprecords.h"
#include "shared/ksvideorecords.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

// The standard proc-amp items carry values set by hand.
constexpr ULONG kStandardProcAmpManual = KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL;

// The standard decoder's standards as the filter's signal types: 525-line standards are 1,
// 625-line (PAL and SECAM) standards 2; 0 for anything else.
ULONG SignalTypeOfAnalogStandard(ULONG standard)
{
    constexpr ULONG kNtsc = KS_AnalogVideo_NTSC_M | KS_AnalogVideo_NTSC_M_J | KS_AnalogVideo_NTSC_433;
    constexpr ULONG kPalAndSecam = KS_AnalogVideo_PAL_B | KS_AnalogVideo_PAL_D | KS_AnalogVideo_PAL_G |
                                   KS_AnalogVideo_PAL_H | KS_AnalogVideo_PAL_I | KS_AnalogVideo_PAL_M |
                                   KS_AnalogVideo_PAL_N | KS_AnalogVideo_PAL_60 | KS_AnalogVideo_SECAM_B |
                                   KS_AnalogVideo_SECAM_D | KS_AnalogVideo_SECAM_G | KS_AnalogVideo_SECAM_H |
                                   KS_AnalogVideo_SECAM_K | KS_AnalogVideo_SECAM_K1 | KS_AnalogVideo_SECAM_L |
                                   KS_AnalogVideo_SECAM_L1 | KS_AnalogVideo_PAL_N_COMBO;
    if (standard != 0 && (standard & ~kNtsc) == 0)
        return 1;
    if (standard != 0 && (standard & ~kPalAndSecam) == 0)
        return 2;
    return 0;
}

} // namespace

NTSTATUS VideoCaptureFilter::GetSettingsProperty(PIRP irp, PKSPROPERTY property, PVOID data, bool* handled)
{
    const GUID& set = property->Set;
    *handled = true;
    if (set == PROPSETID_VIDCAP_VIDEOPROCAMP)
        return GetStandardProcAmpProperty(irp, property, data);
    if (set == PROPSETID_VIDCAP_VIDEODECODER)
        return GetStandardDecoderProperty(irp, property, data);
    if (set == PROPSETID_BREVICOR_CROP) {
        CopyRequest(property, data, sizeof(BrevicorCropRecord));
        return Complete(irp, GetCropSettings(static_cast<BrevicorCropRecord*>(data)), sizeof(BrevicorCropRecord));
    }
    if (set == PROPSETID_BREVICOR_DEINTERLACE) {
        CopyRequest(property, data, sizeof(BrevicorDeinterlaceRecord));
        return Complete(irp, GetDeinterlaceSettings(static_cast<BrevicorDeinterlaceRecord*>(data)),
                        sizeof(BrevicorDeinterlaceRecord));
    }
    if (set == PROPSETID_BREVICOR_IMAGEQUALITY) {
        CopyRequest(property, data, sizeof(BrevicorImageQualityRecord));
        return Complete(irp, GetImageQualitySettings(static_cast<BrevicorImageQualityRecord*>(data)),
                        sizeof(BrevicorImageQualityRecord));
    }
    if (set == PROPSETID_BREVICOR_LOGO) {
        CopyRequest(property, data, sizeof(BrevicorLogoRecord));
        return Complete(irp, GetLogoSettings(static_cast<BrevicorLogoRecord*>(data)), sizeof(BrevicorLogoRecord));
    }
    if (set == PROPSETID_BREVICOR_VIDEOPROCAMP) {
        CopyRequest(property, data, sizeof(BrevicorProcAmpRecord));
        return Complete(irp, GetProcAmpSettings(static_cast<BrevicorProcAmpRecord*>(data)),
                        sizeof(BrevicorProcAmpRecord));
    }
    if (set == PROPSETID_BREVICOR_VIDEODECODER) {
        CopyRequest(property, data, sizeof(BrevicorVideoDecoderRecord));
        return Complete(irp, GetVideoDecoderSettings(static_cast<BrevicorVideoDecoderRecord*>(data)),
                        sizeof(BrevicorVideoDecoderRecord));
    }
    if (set == PROPSETID_BREVICOR_CC) {
        CopyRequest(property, data, sizeof(BrevicorCCRecord));
        return Complete(irp, GetCCSettings(static_cast<BrevicorCCRecord*>(data)), sizeof(BrevicorCCRecord));
    }
    if (set == PROPSETID_BREVICOR_LOS) {
        CopyRequest(property, data, sizeof(BrevicorLOSRecord));
        auto* record = static_cast<BrevicorLOSRecord*>(data);
        const NTSTATUS status = GetDevice()->GetLOSSettings(record);
        // The no-save flag is the sender's, not a setting: a record read, changed and sent back
        // is saved and announced.
        record->fromRegistry = 0;
        return Complete(irp, status, sizeof(BrevicorLOSRecord));
    }
    *handled = false;
    return STATUS_NOT_FOUND;
}

NTSTATUS VideoCaptureFilter::SetSettingsProperty(PIRP irp, PKSPROPERTY property, PVOID data, bool* handled)
{
    const GUID& set = property->Set;
    *handled = true;
    if (set == PROPSETID_VIDCAP_VIDEOPROCAMP)
        return SetStandardProcAmpProperty(irp, property, data);
    if (set == PROPSETID_VIDCAP_VIDEODECODER)
        return SetStandardDecoderProperty(irp, property, data);
    if (set == PROPSETID_BREVICOR_CROP) {
        CopyRequest(property, data, sizeof(BrevicorCropRecord));
        return Complete(irp, SetCropSettings(static_cast<BrevicorCropRecord*>(data)), sizeof(BrevicorCropRecord));
    }
    if (set == PROPSETID_BREVICOR_DEINTERLACE) {
        CopyRequest(property, data, sizeof(BrevicorDeinterlaceRecord));
        return Complete(irp, SetDeinterlaceSettings(static_cast<BrevicorDeinterlaceRecord*>(data)),
                        sizeof(BrevicorDeinterlaceRecord));
    }
    if (set == PROPSETID_BREVICOR_IMAGEQUALITY) {
        CopyRequest(property, data, sizeof(BrevicorImageQualityRecord));
        return Complete(irp, SetImageQualitySettings(static_cast<BrevicorImageQualityRecord*>(data), true),
                        sizeof(BrevicorImageQualityRecord));
    }
    if (set == PROPSETID_BREVICOR_LOGO) {
        CopyRequest(property, data, sizeof(BrevicorLogoRecord));
        return Complete(irp, SetLogoSettings(static_cast<BrevicorLogoRecord*>(data)), sizeof(BrevicorLogoRecord));
    }
    if (set == PROPSETID_BREVICOR_VIDEOPROCAMP) {
        CopyRequest(property, data, sizeof(BrevicorProcAmpRecord));
        return Complete(irp, SetProcAmpSettings(static_cast<BrevicorProcAmpRecord*>(data)),
                        sizeof(BrevicorProcAmpRecord));
    }
    if (set == PROPSETID_BREVICOR_VIDEODECODER) {
        CopyRequest(property, data, sizeof(BrevicorVideoDecoderRecord));
        return Complete(irp, SetVideoDecoderSettings(static_cast<BrevicorVideoDecoderRecord*>(data), true),
                        sizeof(BrevicorVideoDecoderRecord));
    }
    if (set == PROPSETID_BREVICOR_CC) {
        CopyRequest(property, data, sizeof(BrevicorCCRecord));
        return Complete(irp, SetCCSettings(static_cast<BrevicorCCRecord*>(data)), sizeof(BrevicorCCRecord));
    }
    if (set == PROPSETID_BREVICOR_LOS) {
        CopyRequest(property, data, sizeof(BrevicorLOSRecord));
        return Complete(irp, GetDevice()->SetLOSSettings(static_cast<BrevicorLOSRecord*>(data)),
                        sizeof(BrevicorLOSRecord));
    }
    *handled = false;
    return STATUS_NOT_FOUND;
}

// ---- the standard video decoder set ----------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetStandardDecoderProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    switch (property->Id) {
    case KSPROPERTY_VIDEODECODER_CAPS: {
        CopyRequest(property, data, sizeof(KSPROPERTY_VIDEODECODER_CAPS_S));
        auto* caps = static_cast<KSPROPERTY_VIDEODECODER_CAPS_S*>(data);
        caps->StandardsSupported = m_decoder.standardsSupported;
        caps->Capabilities = m_decoder.capabilities;
        caps->SettlingTime = m_decoder.settlingTime;
        caps->HSyncPerVSync = m_decoder.hSyncPerVSync;
        return Complete(irp, STATUS_SUCCESS, sizeof(*caps));
    }
    case KSPROPERTY_VIDEODECODER_STANDARD: {
        CopyRequest(property, data, sizeof(KSPROPERTY_VIDEODECODER_S));
        auto* standard = static_cast<KSPROPERTY_VIDEODECODER_S*>(data);
        standard->Value = GetCurrentStandard() == 2 ? KS_AnalogVideo_PAL_B : KS_AnalogVideo_NTSC_M;
        return Complete(irp, STATUS_SUCCESS, sizeof(*standard));
    }
    case KSPROPERTY_VIDEODECODER_STATUS: {
        CopyRequest(property, data, sizeof(KSPROPERTY_VIDEODECODER_STATUS_S));
        auto* status = static_cast<KSPROPERTY_VIDEODECODER_STATUS_S*>(data);
        BrevicorInputDetectRecord detect{};
        VideoInputItems* inputs = VideoInputsForDetection();
        const VideoInputItem* input = inputs != nullptr ? inputs->GetInput(inputs->GetSecondWord()) : nullptr;
        if (input != nullptr)
            input->GetInputDetectInfo(&detect);
        const bool locked = detect.detectedStandard != 0;
        status->SignalLocked = locked ? 1 : 0;
        status->NumberOfLines = locked ? detect.activeLinesField1 + detect.activeLinesField2 : 0;
        return Complete(irp, STATUS_SUCCESS, sizeof(*status));
    }
    default:
        return STATUS_NOT_FOUND;
    }
}

NTSTATUS VideoCaptureFilter::SetStandardDecoderProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    if (property->Id != KSPROPERTY_VIDEODECODER_STANDARD)
        return STATUS_NOT_FOUND;
    CopyRequest(property, data, sizeof(KSPROPERTY_VIDEODECODER_S));
    const ULONG standard = static_cast<KSPROPERTY_VIDEODECODER_S*>(data)->Value;
    const ULONG type = SignalTypeOfAnalogStandard(standard);
    if (type == 0) {
        TRACE_STATUS(this, "VideoCaptureFilter::SetVideoDecoderSettings", kTraceErrors,
                     MSG_SPECIFIED_VIDEO_DECODER_SIGNAL_TYPE_INVALID,
                     "Specified video decoder signal type of 0x%08x is invalid.", static_cast<unsigned>(standard));
        return Complete(irp, MSG_SPECIFIED_VIDEO_DECODER_SIGNAL_TYPE_INVALID, 0);
    }
    BrevicorVideoDecoderRecord record{};
    record.currentSignalType = type;
    return Complete(irp, SetVideoDecoderSettings(&record, true), sizeof(KSPROPERTY_VIDEODECODER_S));
}

// ---- the standard proc-amp set -----------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetStandardProcAmpProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    CopyRequest(property, data, sizeof(KSPROPERTY_VIDEOPROCAMP_S));
    auto* record = static_cast<KSPROPERTY_VIDEOPROCAMP_S*>(data);
    switch (property->Id) {
    case KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS:
        record->Value = GetVideoProcAmpBrightness();
        break;
    case KSPROPERTY_VIDEOPROCAMP_CONTRAST:
        record->Value = GetVideoProcAmpContrast();
        break;
    case KSPROPERTY_VIDEOPROCAMP_HUE:
        record->Value = GetVideoProcAmpHue();
        break;
    case KSPROPERTY_VIDEOPROCAMP_SATURATION:
        record->Value = GetVideoProcAmpSaturation();
        break;
    default:
        // Other items answer with nothing filled in.
        return Complete(irp, STATUS_SUCCESS, sizeof(*record));
    }
    record->Flags = kStandardProcAmpManual;
    record->Capabilities = kStandardProcAmpManual;
    return Complete(irp, STATUS_SUCCESS, sizeof(*record));
}

NTSTATUS VideoCaptureFilter::SetStandardProcAmpProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetStandardProcAmpProperty", kTraceLowEnter, "Id=%u",
                static_cast<unsigned>(property->Id));
    CopyRequest(property, data, sizeof(KSPROPERTY_VIDEOPROCAMP_S));
    const LONG value = static_cast<KSPROPERTY_VIDEOPROCAMP_S*>(data)->Value;
    if (property->Id > KSPROPERTY_VIDEOPROCAMP_SATURATION)
        return Complete(irp, STATUS_SUCCESS, sizeof(KSPROPERTY_VIDEOPROCAMP_S));
    // The record is 2.4 KB: from the pool, not the stack.
    auto* record = static_cast<BrevicorProcAmpRecord*>(AllocatePoolOfType(sizeof(BrevicorProcAmpRecord), PagedPool));
    if (record == nullptr)
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    std::memset(record, 0, sizeof(*record));
    record->pinType = kPinTypeSelectorBoth;
    NTSTATUS status = GetProcAmpSettings(record);
    if (NT_SUCCESS(status)) {
        record->pinType = kPinTypeSelectorBoth;
        switch (property->Id) {
        case KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS:
            record->brightness.value = value;
            break;
        case KSPROPERTY_VIDEOPROCAMP_CONTRAST:
            record->contrast.value = value;
            break;
        case KSPROPERTY_VIDEOPROCAMP_HUE:
            record->hue.value = value;
            break;
        default:
            record->saturation.value = value;
            break;
        }
        // The colour step draws with the tables, so they follow the new value.
        ComputeProcAmpTables(reinterpret_cast<uint8_t*>(record), sizeof(*record));
        status = ApplyProcAmpSettings(record, true, false);
    }
    if (NT_SUCCESS(status) && GetDevice() != nullptr) {
        record->pinType = kCapturePinId;
        GetProcAmpSettings(record);
        BrevicorProcAmpNotification payload = {kCapturePinId,         record->brightness.value,
                                               record->contrast.value, record->hue.value,
                                               record->saturation.value, record->gamma.value};
        GetDevice()->FireNotificationEvent(PROPSETID_BREVICOR_VIDEOPROCAMP, sizeof(payload), &payload);
        payload.pinType = kPreviewPinId;
        GetDevice()->FireNotificationEvent(PROPSETID_BREVICOR_VIDEOPROCAMP, sizeof(payload), &payload);
    }
    FreePool(record);
    return Complete(irp, status, sizeof(KSPROPERTY_VIDEOPROCAMP_S));
}
