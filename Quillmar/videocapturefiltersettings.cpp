// VideoCaptureFilter: the per-pin settings records (crop, deinterlacing, image quality, logo, proc
// amp, captions) and the video decoder record: their getters, their setters with every check, the
// single-value proc-amp setters, and the hand-over of new proc-amp values to a running chain.
//
// Every setter works the same way: the pin selector, then every check of the record in its order
// (nothing changes when one fails), then one pass per addressed pin type (255: 1 then 2) that
// stores each changed value, writes its registry value unless the record says not to, announces
// the pin's values to the property pages and rebuilds the pin's running chains when anything
// changed. A failure to store or write ends that pin's pass; the last status is the result.
#include "videocapturefilter.h"

#include "algorithm.h"
#include "ccolorspaces.h"
#include "kernel/poolallocation.h"
#include "procamptables.h"
#include "device.h"
#include "frameprocessingsource.h"
#include "km/status.h"
#include "messages/Talvexon.h"
#include "recordfile.h"
#include "roundtoint.h"
#include "shared/bitmapfile.h"
#include "streamprocessor.h"
#include "streamprocessormanager.h"
#include "streamprocessorpin.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

constexpr ULONG kMaximumReferenceHeight = 1080;
constexpr ULONG kMaximumReferenceWidth = 1920;
constexpr ULONG kMinimumLogoSize = 16;
constexpr ULONG kMinimumCaptionSize = 48;
constexpr ULONG kMaximumDeinterlaceType = 4;
constexpr ULONG kHighestKnownDeinterlaceType = 3;
constexpr ULONG kMaximumResyncInterval = 429000;
constexpr ULONG kMaximumImageQualityMode = 2;
constexpr ULONG kImageQualityLevelMinimum = 5;
constexpr ULONG kImageQualityLevelMaximum = 95;
constexpr ULONG kImageQualityLevelStep = 5;
constexpr ULONG kMaximumTransparencyPercent = 100;
constexpr USHORT kBitmapSignature = 19778; // "BM"

constexpr WCHAR kLogoFilterText[] = u"Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*||";

// The proc-amp groups' constants: minimum, maximum, and the two words after them.
struct ProcAmpConstants {
    LONG minimum;
    LONG maximum;
    LONG fourth;
    LONG fifth;
};
constexpr ProcAmpConstants kBrightnessConstants = {-20, 20, 0, 1};
constexpr ProcAmpConstants kContrastConstants = {50, 200, 100, 1};
constexpr ProcAmpConstants kHueConstants = {-90, 90, 0, 1};
constexpr ProcAmpConstants kSaturationConstants = {-100, 100, 0, 1};
constexpr ProcAmpConstants kGammaConstants = {0, 500, 1, 100};

void FillGroup(BrevicorProcAmpGroup* group, LONG value, const ProcAmpConstants& constants)
{
    group->value = value;
    group->minimum = constants.minimum;
    group->maximum = constants.maximum;
    group->defaultValue = constants.fourth;
    group->step = constants.fifth;
}

// The pin types a selector addresses: 255 both, 1 or 2 that one; false for any other.
bool PinTypesOf(ULONG selector, ULONG* first, ULONG* last)
{
    if (selector == kPinTypeSelectorBoth) {
        *first = VideoCaptureFilter::kCapturePinId;
        *last = VideoCaptureFilter::kPreviewPinId;
        return true;
    }
    if (selector == VideoCaptureFilter::kCapturePinId || selector == VideoCaptureFilter::kPreviewPinId) {
        *first = *last = selector;
        return true;
    }
    return false;
}

// The pin type a getter reads: 255 reads pin type 1.
ULONG ReadPinType(ULONG selector)
{
    return selector == kPinTypeSelectorBoth ? VideoCaptureFilter::kCapturePinId : selector;
}

bool AllZero(const void* bytes, size_t length)
{
    const auto* p = static_cast<const UCHAR*>(bytes);
    for (size_t i = 0; i < length; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

// The lower of `value` and `limit`.
ULONG AtMost(ULONG value, ULONG limit)
{
    return value > limit ? limit : value;
}

// A reference size as the getters answer it: the frame's when the stored one is 0 or larger.
ULONG ReferenceOrFrame(ULONG reference, ULONG frame)
{
    return reference == 0 || reference > frame ? frame : reference;
}

// One pin type's pass of a setter: each changed value stored in the pin's settings and, when
// writing, its registry value written. The first failure ends the pass.
class PinPass {
public:
    PinPass(VideoInputItems* inputs, Device* device, ULONG pinType, bool write)
        : m_inputs(inputs), m_device(device), m_pinType(pinType), m_write(write && device != nullptr)
    {
    }

    template <class T>
    void Number(NTSTATUS (VideoInputItems::*get)(ULONG, T*) const, NTSTATUS (VideoInputItems::*set)(ULONG, T),
                T value, PCWSTR name)
    {
        if (!NT_SUCCESS(m_status))
            return;
        T current{};
        if (NT_SUCCESS((m_inputs->*get)(m_pinType, &current)) && current == value)
            return;
        m_status = (m_inputs->*set)(m_pinType, value);
        if (!NT_SUCCESS(m_status))
            return;
        m_changed = true;
        if (name != nullptr)
            Write(name, static_cast<ULONG>(value));
    }

    // A registry value written whatever changed (when writing).
    void Write(PCWSTR name, ULONG value)
    {
        if (NT_SUCCESS(m_status) && m_write)
            m_status = m_device->WriteVideoPinPropertyToRegistry(m_inputs->GetSecondWord(), m_pinType, name, value);
    }
    void WriteText(PCWSTR name, PCWSTR text)
    {
        if (NT_SUCCESS(m_status) && m_write)
            m_status = m_device->WriteVideoPinPropertyToRegistry(m_inputs->GetSecondWord(), m_pinType, name, text);
    }
    void WriteBytes(PCWSTR name, const void* data, ULONG length)
    {
        if (NT_SUCCESS(m_status) && m_write)
            m_status =
                m_device->WriteVideoPinPropertyToRegistry(m_inputs->GetSecondWord(), m_pinType, name, data, length);
    }
    // A store of the caller's own (tables, names, whole records): its status taken, a change noted.
    void Stored(NTSTATUS status)
    {
        m_status = status;
        if (NT_SUCCESS(status))
            m_changed = true;
    }

    bool Ok() const { return NT_SUCCESS(m_status); }
    bool Changed() const { return m_changed; }
    NTSTATUS Status() const { return m_status; }
    ULONG PinType() const { return m_pinType; }
    VideoInputItems* Inputs() const { return m_inputs; }

private:
    VideoInputItems* m_inputs;
    Device* m_device;
    ULONG m_pinType;
    bool m_write;
    NTSTATUS m_status = STATUS_SUCCESS;
    bool m_changed = false;
};

// A logo file opened for the header checks, as a plain reader.
NTSTATUS ReadExactly(KernelFile* file, void* buffer, ULONG length, LONGLONG offset)
{
    LARGE_INTEGER at;
    at.QuadPart = offset;
    ULONG transferred = 0;
    const NTSTATUS status = file->Read(buffer, length, &transferred, &at);
    if (!NT_SUCCESS(status))
        return status;
    return transferred == length ? STATUS_SUCCESS : STATUS_END_OF_FILE;
}

} // namespace

// ---- shared pieces -------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::RefusePinType(const char* functionName, ULONG selector)
{
    TRACE_STATUS(this, functionName, kTraceErrors, MSG_SPECIFIED_PIN_TYPE_INVALID, "Specified pin type of %u is invalid",
                 static_cast<unsigned>(selector));
    return MSG_SPECIFIED_PIN_TYPE_INVALID;
}

ULONG VideoCaptureFilter::GetCurrentStandard()
{
    VideoInputItems* inputs = VideoInputsForDetection();
    const VideoInputItem* input = inputs != nullptr ? inputs->GetInput(inputs->GetSecondWord()) : nullptr;
    if (input != nullptr) {
        BrevicorInputDetectRecord detect{};
        if (NT_SUCCESS(input->GetInputDetectInfo(&detect)) && detect.detectedStandard != 0)
            return detect.detectedStandard;
    }
    return m_signalType;
}

Device::StandardDimensions VideoCaptureFilter::GetCurrentFrameSize()
{
    Device* device = GetDevice();
    if (device == nullptr)
        return {kMaximumReferenceWidth, kMaximumReferenceHeight, 0};
    return device->GetStandardDimensions(GetCurrentStandard());
}

void VideoCaptureFilter::RebuildChains(ULONG pinType)
{
    if (GetDevice() != nullptr)
        GetDevice()->ModifyActiveAlgorithmChains(this, pinType);
}

NTSTATUS VideoCaptureFilter::GetCropLimits(ULONG pinType, CropLimits* limits)
{
    const KS_VIDEO_STREAM_CONFIG_CAPS* caps = GetCurrentDataRangeCaps(pinType);
    if (caps == nullptr)
        return STATUS_UNSUCCESSFUL;
    limits->minimumWidth = static_cast<ULONG>(caps->MinOutputSize.cx);
    limits->minimumHeight = static_cast<ULONG>(caps->MinOutputSize.cy);
    limits->maximumWidth = static_cast<ULONG>(caps->MaxOutputSize.cx);
    limits->maximumHeight = static_cast<ULONG>(caps->MaxOutputSize.cy);
    limits->granularityX = static_cast<ULONG>(caps->CropGranularityX);
    limits->granularityY = static_cast<ULONG>(caps->CropGranularityY);
    return STATUS_SUCCESS;
}

// ---- crop ------------------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetCropSettings(BrevicorCropRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::GetCropSettings", kTraceLowEnter);
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType("VideoCaptureFilter::GetCropSettings", record->pinType);
    const ULONG pin = ReadPinType(record->pinType);
    m_inputs.GetCropEnabled(pin, &record->enable);
    m_inputs.GetCropTop(pin, &record->top);
    m_inputs.GetCropHeight(pin, &record->height);
    m_inputs.GetCropLeft(pin, &record->left);
    m_inputs.GetCropWidth(pin, &record->width);
    m_inputs.GetCropRefHeight(pin, &record->referenceHeight);
    m_inputs.GetCropRefWidth(pin, &record->referenceWidth);
    const Device::StandardDimensions frame = GetCurrentFrameSize();
    record->referenceHeight = ReferenceOrFrame(record->referenceHeight, frame.height);
    record->referenceWidth = ReferenceOrFrame(record->referenceWidth, frame.width);
    CropLimits limits{};
    const NTSTATUS status = GetCropLimits(pin, &limits);
    record->minimumHeight = limits.minimumHeight;
    record->minimumWidth = limits.minimumWidth;
    record->granularityY = limits.granularityY;
    record->granularityX = limits.granularityX;
    record->reserved = 0;
    record->noSave = 0;
    return status;
}

NTSTATUS VideoCaptureFilter::SetCropSettings(BrevicorCropRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetCropSettings", kTraceLowEnter);
    static constexpr char kFunction[] = "VideoCaptureFilter::SetCropSettings";
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType(kFunction, record->pinType);
    if (record->enable > 1) {
        TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_CROP_ENABLE_INVALID_VALID_VALUES,
                     "Specified crop enable of %u is invalid.  Valid values are 0 and 1.",
                     static_cast<unsigned>(record->enable));
        return MSG_SPECIFIED_CROP_ENABLE_INVALID_VALID_VALUES;
    }
    if (record->enable == 1) {
        CropLimits limits{};
        NTSTATUS status = GetCropLimits(first, &limits);
        if (!NT_SUCCESS(status))
            return status;
        const auto fail = [&](NTSTATUS id, const char* format, ULONG value, ULONG limit) {
            TRACE_STATUS(this, kFunction, kTraceErrors, id, format, static_cast<unsigned>(value),
                         static_cast<unsigned>(limit));
            return id;
        };
        // A granularity of 0 would accept anything and must not divide.
        const auto offGrid = [](ULONG value, ULONG granularity) { return granularity != 0 && value % granularity != 0; };
        if (record->height > limits.maximumHeight)
            return fail(MSG_SPECIFIED_CROP_HEIGHT_EXCEEDS_ALLOWED_MAXIMUM,
                        "Specified crop height of %u exceeds allowed maximum of %u.", record->height,
                        limits.maximumHeight);
        if (record->width > limits.maximumWidth)
            return fail(MSG_SPECIFIED_CROP_WIDTH_EXCEEDS_ALLOWED_MAXIMUM,
                        "Specified crop width of %u exceeds allowed maximum of %u.", record->width, limits.maximumWidth);
        if (record->height < limits.minimumHeight)
            return fail(MSG_SPECIFIED_CROP_HEIGHT_SMALLER_THAN_ALLOWED,
                        "Specified crop height of %u smaller than allowed minimum of %u.", record->height,
                        limits.minimumHeight);
        if (record->width < limits.minimumWidth)
            return fail(MSG_SPECIFIED_CROP_WIDTH_SMALLER_THAN_ALLOWED,
                        "Specified crop width of %u smaller than allowed minimum of %u.", record->width,
                        limits.minimumWidth);
        if (offGrid(record->left, limits.granularityX))
            return fail(MSG_SPECIFIED_CROP_LEFT_DOES_NOT_FALL,
                        "Specified crop left of %u does not fall on a %u pixel boundary.", record->left,
                        limits.granularityX);
        if (offGrid(record->width, limits.granularityX))
            return fail(MSG_SPECIFIED_CROP_RIGHT_DOES_NOT_FALL,
                        "Specified crop right of %u does not fall on a %u pixel boundary.", record->width,
                        limits.granularityX);
        if (offGrid(record->top, limits.granularityY))
            return fail(MSG_SPECIFIED_CROP_TOP_DOES_NOT_FALL,
                        "Specified crop top of %u does not fall on a %u pixel boundary.", record->top,
                        limits.granularityY);
        if (offGrid(record->height, limits.granularityY))
            return fail(MSG_SPECIFIED_CROP_BOTTOM_DOES_NOT_FALL,
                        "Specified crop bottom of %u does not fall on a %u pixel boundary.", record->height,
                        limits.granularityY);
    }

    const bool save = record->noSave == 0;
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG pinType = first; pinType <= last; ++pinType) {
        PinPass pass(&m_inputs, GetDevice(), pinType, save);
        pass.Number(&VideoInputItems::GetCropHeight, &VideoInputItems::SetCropHeight, record->height, u"CropHeight");
        pass.Number(&VideoInputItems::GetCropTop, &VideoInputItems::SetCropTop, record->top, u"CropTop");
        pass.Number(&VideoInputItems::GetCropLeft, &VideoInputItems::SetCropLeft, record->left, u"CropLeft");
        pass.Number(&VideoInputItems::GetCropWidth, &VideoInputItems::SetCropWidth, record->width, u"CropWidth");
        pass.Number(&VideoInputItems::GetCropEnabled, &VideoInputItems::SetCropEnabled, record->enable, u"CropEnabled");
        pass.Number(&VideoInputItems::GetCropRefHeight, &VideoInputItems::SetCropRefHeight, record->referenceHeight,
                    u"CropReferenceHeight");
        pass.Number(&VideoInputItems::GetCropRefWidth, &VideoInputItems::SetCropRefWidth, record->referenceWidth,
                    u"CropReferenceWidth");
        result = pass.Status();
        if (!pass.Ok())
            continue;
        if (save && GetDevice() != nullptr) {
            const BrevicorCropNotification payload = {pinType,          record->enable, record->top,
                                                      record->height,   record->left,   record->width,
                                                      record->referenceHeight, record->referenceWidth};
            GetDevice()->FireNotificationEvent(PROPSETID_BREVICOR_CROP, sizeof(payload), &payload);
        }
        if (pass.Changed())
            RebuildChains(pinType);
    }
    return result;
}

// ---- deinterlace -----------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetDeinterlaceSettings(BrevicorDeinterlaceRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::GetDeinterlaceSettings", kTraceLowEnter);
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType("VideoCaptureFilter::GetDeinterlaceSettings", record->pinType);
    const ULONG pin = ReadPinType(record->pinType);
    m_inputs.GetDeinterlaceEnabled(pin, &record->enable);
    m_inputs.GetDeinterlaceType(pin, &record->type);
    m_inputs.GetInverseTelicineEnabled(pin, &record->inverseTelecineEnable);
    m_inputs.GetResyncIntervalEnabled(pin, &record->resyncIntervalEnable);
    m_inputs.GetResyncInterval(pin, &record->resyncInterval);
    m_inputs.GetAutoDetectTelecine(pin, &record->autoDetectTelecine);
    record->noSave = 0;
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::SetDeinterlaceSettings(BrevicorDeinterlaceRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetDeinterlaceSettings", kTraceLowEnter);
    static constexpr char kFunction[] = "VideoCaptureFilter::SetDeinterlaceSettings";
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType(kFunction, record->pinType);
    const auto flagFail = [&](NTSTATUS id, const char* format, ULONG value) {
        TRACE_STATUS(this, kFunction, kTraceErrors, id, format, static_cast<unsigned>(value), 0u, 1u);
        return id;
    };
    if (record->enable > 1)
        return flagFail(MSG_SPECIFIED_DEINTERLACE_ENABLE_INVALID_VALID_VALUES,
                        "Specified deinterlace enable of %u is invalid.  Valid values are FALSE %u and TRUE %u.",
                        record->enable);
    if (record->enable == 1 && (record->type < 1 || record->type > kMaximumDeinterlaceType)) {
        TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_DEINTERLACE_ALGORITM_ID_EXCEEDS_MAXIMUM,
                     "Specified deinterlace algoritm id of %u exceeds maximum known id of %u",
                     static_cast<unsigned>(record->type), static_cast<unsigned>(kHighestKnownDeinterlaceType));
        return MSG_SPECIFIED_DEINTERLACE_ALGORITM_ID_EXCEEDS_MAXIMUM;
    }
    if (record->inverseTelecineEnable > 1)
        return flagFail(MSG_SPECIFIED_INVERSE_TELECINE_ENABLE_INVALID_VALID,
                        "Specified Inverse Telecine enable of %u is invalid.  Valid values are FALSE (%u) and TRUE (%u)",
                        record->inverseTelecineEnable);
    if (record->resyncIntervalEnable > 1)
        return flagFail(MSG_SPECIFIED_RESYNC_INTERVAL_ENABLED_INVALID_VALID,
                        "Specified Resync Interval Enabled of %u is invalid.  Valid values are FALSE (%u) and TRUE (%u)",
                        record->resyncIntervalEnable);
    if (record->resyncIntervalEnable == 1 && record->resyncInterval > kMaximumResyncInterval) {
        TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_RESYNC_INTERVAL_OUT_OF_RANGE,
                     "Specified Resync Interval Enabled of %u is invalid.  Valid values are 0 to 429000.",
                     static_cast<unsigned>(record->resyncInterval));
        return MSG_SPECIFIED_RESYNC_INTERVAL_OUT_OF_RANGE;
    }
    if (record->autoDetectTelecine > 1)
        return flagFail(MSG_SPECIFIED_AUTO_DETECT_INVERSE_TELECINE_VALUE,
                        "Specified Auto-Detect Inverse Telecine value of %u is invalid.  Valid values are FALSE (%u) "
                        "and TRUE (%u)",
                        record->autoDetectTelecine);

    // The flag at 56 keeps the change in memory and in running chains only: the page sends its
    // tentative edits this way.
    const bool persist = record->noSave == 0;
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG pinType = first; pinType <= last; ++pinType) {
        PinPass pass(&m_inputs, GetDevice(), pinType, persist);
        pass.Number(&VideoInputItems::GetDeinterlaceEnabled, &VideoInputItems::SetDeinterlaceEnabled, record->enable,
                    u"DeinterlaceEnabled");
        pass.Number(&VideoInputItems::GetDeinterlaceType, &VideoInputItems::SetDeinterlaceType, record->type,
                    u"DeinterlaceType");
        pass.Number(&VideoInputItems::GetInverseTelicineEnabled, &VideoInputItems::SetInverseTelicineEnabled,
                    record->inverseTelecineEnable, u"InverseTelecineEnabled");
        pass.Number(&VideoInputItems::GetResyncIntervalEnabled, &VideoInputItems::SetResyncIntervalEnabled,
                    record->resyncIntervalEnable, u"ResyncIntervalEnabled");
        pass.Number(&VideoInputItems::GetResyncInterval, &VideoInputItems::SetResyncInterval, record->resyncInterval,
                    u"ResyncInterval");
        pass.Number(&VideoInputItems::GetAutoDetectTelecine, &VideoInputItems::SetAutoDetectTelecine,
                    record->autoDetectTelecine, u"AutoDetectTelecine");
        result = pass.Status();
        if (!pass.Ok())
            continue;
        if (persist && GetDevice() != nullptr) {
            const BrevicorDeinterlaceNotification payload = {pinType,
                                                             record->enable,
                                                             record->type,
                                                             record->inverseTelecineEnable,
                                                             record->resyncIntervalEnable,
                                                             record->resyncInterval,
                                                             record->autoDetectTelecine};
            GetDevice()->FireNotificationEvent(PROPSETID_BREVICOR_DEINTERLACE, sizeof(payload), &payload);
        }
        if (pass.Changed())
            RebuildChains(pinType);
    }
    return result;
}

// ---- image quality ---------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetImageQualitySettings(BrevicorImageQualityRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::GetImageQualitySettings", kTraceLowEnter);
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return STATUS_INVALID_PARAMETER;
    const ULONG pin = ReadPinType(record->pinType);
    m_inputs.GetImageQualityEnabled(pin, &record->enable);
    m_inputs.GetImageQualityMode(pin, &record->mode);
    m_inputs.GetImageQualityLevel(pin, &record->level);
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::SetImageQualitySettings(BrevicorImageQualityRecord* record, bool save)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetImageQualitySettings", kTraceLowEnter);
    static constexpr char kFunction[] = "VideoCaptureFilter::SetImageQualitySettings";
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return STATUS_INVALID_PARAMETER;
    if (record->enable > 1) {
        TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_IMAGE_QUALITY_ENABLE_INVALID_VALID,
                     "Specified image quality enable of %u is invalid.  Valid values are 0 and 1.",
                     static_cast<unsigned>(record->enable));
        return MSG_SPECIFIED_IMAGE_QUALITY_ENABLE_INVALID_VALID;
    }
    if (record->enable == 1) {
        if (record->mode > kMaximumImageQualityMode) {
            TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_IMAGE_QUALITY_MODE_INVALID_VALID,
                         "Specified image quality mode of %u is invalid.  Valid values are %u to %u",
                         static_cast<unsigned>(record->mode), 0u, static_cast<unsigned>(kMaximumImageQualityMode));
            return MSG_SPECIFIED_IMAGE_QUALITY_MODE_INVALID_VALID;
        }
        if (record->level < kImageQualityLevelMinimum || record->level > kImageQualityLevelMaximum ||
            record->level % kImageQualityLevelStep != 0) {
            TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_IMAGE_QUALITY_LEVEL_INVALID_VALID,
                         "Specified image quality level of %u is invalid. Valid values are %u to %u in %u increments",
                         static_cast<unsigned>(record->level), static_cast<unsigned>(kImageQualityLevelMinimum),
                         static_cast<unsigned>(kImageQualityLevelMaximum),
                         static_cast<unsigned>(kImageQualityLevelStep));
            return MSG_SPECIFIED_IMAGE_QUALITY_LEVEL_INVALID_VALID;
        }
    }
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG pinType = first; pinType <= last; ++pinType) {
        PinPass pass(&m_inputs, GetDevice(), pinType, save);
        pass.Number(&VideoInputItems::GetImageQualityEnabled, &VideoInputItems::SetImageQualityEnabled, record->enable,
                    u"ImageQualityEnabled");
        pass.Number(&VideoInputItems::GetImageQualityMode, &VideoInputItems::SetImageQualityMode, record->mode,
                    u"ImageQualityMode");
        // The level is written whether saving or not, and whether it changed or not.
        PinPass level(&m_inputs, GetDevice(), pinType, true);
        if (pass.Ok()) {
            level.Number(&VideoInputItems::GetImageQualityLevel, &VideoInputItems::SetImageQualityLevel, record->level,
                         nullptr);
            level.Write(u"ImageQualityLevel", record->level);
        }
        result = pass.Ok() ? level.Status() : pass.Status();
        if (NT_SUCCESS(result) && (pass.Changed() || level.Changed()))
            RebuildChains(pinType);
    }
    return result;
}

// ---- logo ------------------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetLogoSettings(BrevicorLogoRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::GetLogoSettings", kTraceLowEnter);
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType("VideoCaptureFilter::GetLogoSettings", record->pinType);
    const ULONG pin = ReadPinType(record->pinType);
    m_inputs.GetLogoReferenceHeight(pin, &record->referenceHeight);
    m_inputs.GetLogoReferenceWidth(pin, &record->referenceWidth);
    m_inputs.GetLogoDestinationTop(pin, &record->destinationTop);
    m_inputs.GetLogoDestinationLeft(pin, &record->destinationLeft);
    m_inputs.GetLogoDestinationHeight(pin, &record->destinationHeight);
    m_inputs.GetLogoDestinationWidth(pin, &record->destinationWidth);
    m_inputs.GetLogoOriginationHeight(pin, &record->originationHeight);
    m_inputs.GetLogoOriginationWidth(pin, &record->originationWidth);
    m_inputs.GetLogoEnable(pin, &record->enable);
    m_inputs.GetLogoTransparencyEnable(pin, &record->transparencyEnable);
    m_inputs.GetLogoTransparencyPct(pin, &record->transparencyPercent);
    m_inputs.GetLogoKeyColorEnable(pin, &record->keyColorEnable);
    m_inputs.GetLogoKeyColor(pin, &record->keyColor);
    m_inputs.GetLogoDuration(pin, &record->duration);
    m_inputs.GetLogoFileName(pin, record->fileName);
    record->reserved = 0;
    record->noSave = 0;
    std::memset(record->filterText, 0, sizeof(record->filterText));
    std::memcpy(record->filterText, kLogoFilterText, sizeof(kLogoFilterText));

    // The rectangle in the frame's coordinates: rescaled from its reference size, then moved back
    // inside the frame (shortened when it is larger than the frame).
    const Device::StandardDimensions frame = GetCurrentFrameSize();
    const auto rescale = [](ULONG* position, ULONG* size, ULONG reference, ULONG frameSize) {
        if (reference != 0 && reference != frameSize) {
            const double factor = static_cast<double>(frameSize) / static_cast<double>(reference);
            *position = static_cast<ULONG>(RoundToInt(*position * factor));
            *size = static_cast<ULONG>(RoundToInt(*size * factor));
        }
        if (static_cast<ULONGLONG>(*position) + *size > frameSize) {
            if (*size > frameSize) {
                *position = 0;
                *size = frameSize;
            } else {
                *position = frameSize - *size;
            }
        }
    };
    const bool rescaled = (record->referenceHeight != 0 && record->referenceHeight != frame.height) ||
                          (record->referenceWidth != 0 && record->referenceWidth != frame.width);
    rescale(&record->destinationTop, &record->destinationHeight, record->referenceHeight, frame.height);
    rescale(&record->destinationLeft, &record->destinationWidth, record->referenceWidth, frame.width);
    // A rescaled rectangle is the frame's: its reference is the frame size.
    if (rescaled) {
        record->referenceHeight = frame.height;
        record->referenceWidth = frame.width;
    } else {
        record->referenceHeight = ReferenceOrFrame(record->referenceHeight, frame.height);
        record->referenceWidth = ReferenceOrFrame(record->referenceWidth, frame.width);
    }
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::CheckLogoFile(const BrevicorLogoRecord* record)
{
    static constexpr char kFunction[] = "VideoCaptureFilter::SetLogoSettings";
    WCHAR path[kRecordFilePathCharacters];
    KernelFile file;
    NTSTATUS status = OpenRecordFile(record->fileName, &file, path);
    if (!NT_SUCCESS(status)) {
        TRACE_STATUS(this, kFunction, kTraceErrors, MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED,
                     "Attempt to open file [%ls] failed.  Status returned was %#010x.", path,
                     static_cast<unsigned>(status));
        return MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED;
    }
    BITMAPFILEHEADER fileHeader{};
    static_assert(sizeof(fileHeader) == 14);
    status = ReadExactly(&file, &fileHeader, sizeof(fileHeader), 0);
    if (!NT_SUCCESS(status)) {
        TRACE_STATUS(this, kFunction, kTraceErrors, MSG_BITMAP_FILE_HEADER_READ_FAILED,
                     "Attempt to read bitmap file header in file [%ls] failed.  Status returned was 0x%08x", path,
                     static_cast<unsigned>(status));
        return MSG_BITMAP_FILE_HEADER_READ_FAILED;
    }
    if (fileHeader.bfType != kBitmapSignature) {
        TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_FILE_NOT_BITMAP_FILE,
                     "Specified file [%ls] is not a bitmap file.", path);
        return MSG_SPECIFIED_FILE_NOT_BITMAP_FILE;
    }
    BITMAPINFOHEADER infoHeader{};
    static_assert(sizeof(infoHeader) == 40);
    status = ReadExactly(&file, &infoHeader, sizeof(infoHeader), sizeof(fileHeader));
    if (!NT_SUCCESS(status)) {
        TRACE_STATUS(this, kFunction, kTraceErrors, MSG_BITMAP_FILE_INFO_HEADER_READ_FAILED,
                     "Attempt to read bitmap info header in file [%ls] failed.  Status returned was 0x%08x", path,
                     static_cast<unsigned>(status));
        return MSG_BITMAP_FILE_INFO_HEADER_READ_FAILED;
    }
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::SetLogoSettings(BrevicorLogoRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetLogoSettings", kTraceLowEnter);
    static constexpr char kFunction[] = "VideoCaptureFilter::SetLogoSettings";
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType(kFunction, record->pinType);
    const LONG nameLength = BoundedRecordTextLength(record->fileName, kRecordTextCharacters);
    if (nameLength < 0)
        return STATUS_INVALID_PARAMETER;
    const auto fail = [&](NTSTATUS id, const char* format, ULONG value, ULONG limit) {
        TRACE_STATUS(this, kFunction, kTraceErrors, id, format, static_cast<unsigned>(value),
                     static_cast<unsigned>(limit));
        return id;
    };
    if (record->enable > 1)
        return fail(MSG_SPECIFIED_LOGO_ENABLE_INVALID_VALID_VALUES,
                    "Specified logo enable of %u is invalid.  Valid values are 0 and 1.", record->enable, 0);
    if (record->enable == 1) {
        record->referenceHeight = AtMost(record->referenceHeight, kMaximumReferenceHeight);
        record->referenceWidth = AtMost(record->referenceWidth, kMaximumReferenceWidth);
        if (record->destinationHeight < kMinimumLogoSize)
            return fail(MSG_SPECIFIED_LOGO_HEIGHT_INVALID_MUST_BE, "Specified logo height of %u is invalid.  Must be at least %u",
                        record->destinationHeight, kMinimumLogoSize);
        if (record->destinationWidth < kMinimumLogoSize)
            return fail(MSG_SPECIFIED_LOGO_WIDTH_INVALID_MUST_BE, "Specified logo width of %u is invalid.  Must be at least %u",
                        record->destinationWidth, kMinimumLogoSize);
        if (static_cast<ULONGLONG>(record->destinationTop) + record->destinationHeight > kMaximumReferenceHeight) {
            TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_LOGO_TOP_PLUS_HEIGHT_INVALID,
                         "Specified logo top of %u plus height of %u is invalid.  Max combined value of top + height is %u",
                         static_cast<unsigned>(record->destinationTop), static_cast<unsigned>(record->destinationHeight),
                         static_cast<unsigned>(kMaximumReferenceHeight));
            return MSG_SPECIFIED_LOGO_TOP_PLUS_HEIGHT_INVALID;
        }
        if (static_cast<ULONGLONG>(record->destinationLeft) + record->destinationWidth > kMaximumReferenceWidth) {
            TRACE_STATUS(this, kFunction, kTraceErrors, MSG_SPECIFIED_LOGO_LEFT_PLUS_WIDTH_INVALID,
                         "Specified logo left of %u plus width of %u is invalid.  Max combined value of left + width is %u",
                         static_cast<unsigned>(record->destinationLeft), static_cast<unsigned>(record->destinationWidth),
                         static_cast<unsigned>(kMaximumReferenceWidth));
            return MSG_SPECIFIED_LOGO_LEFT_PLUS_WIDTH_INVALID;
        }
        if (record->transparencyEnable > 1)
            return fail(MSG_SPECIFIED_LOGO_TRANSPARENCY_ENABLE_INVALID_VALID,
                        "Specified logo transparency enable of %u is invalid.  Valid values are 0 and 1.",
                        record->transparencyEnable, 0);
        if (record->transparencyEnable == 1 && record->transparencyPercent > kMaximumTransparencyPercent)
            return fail(MSG_SPECIFIED_LOGO_TRANSPARENCY_PERCENTAGE_INVALID_VALID,
                        "Specified logo transparency percentage of %u is invalid.  Valid values are 0 to %u",
                        record->transparencyPercent, kMaximumTransparencyPercent);
        if (record->keyColorEnable > 1)
            return fail(MSG_SPECIFIED_LOGO_KEY_COLOR_ENABLE_INVALID,
                        "Specified logo key color enable of %u is invalid.  Valid values are 0 and 1.",
                        record->keyColorEnable, 0);
        if (nameLength > 0) {
            const NTSTATUS status = CheckLogoFile(record);
            if (!NT_SUCCESS(status))
                return status;
        }
    }

    const bool save = record->noSave == 0;
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG pinType = first; pinType <= last; ++pinType) {
        PinPass pass(&m_inputs, GetDevice(), pinType, save);
        // The rectangle is compared with what is stored: its getters answer 0 while no file is
        // named, which would take a new 0 for no change and keep the old value.
        pass.Number(&VideoInputItems::GetStoredLogoDestinationTop, &VideoInputItems::SetLogoDestinationTop,
                    record->destinationTop, u"LogoDestinationTop");
        pass.Number(&VideoInputItems::GetStoredLogoDestinationLeft, &VideoInputItems::SetLogoDestinationLeft,
                    record->destinationLeft, u"LogoDestinationLeft");
        pass.Number(&VideoInputItems::GetStoredLogoDestinationHeight, &VideoInputItems::SetLogoDestinationHeight,
                    record->destinationHeight, u"LogoDestinationHeight");
        pass.Number(&VideoInputItems::GetStoredLogoDestinationWidth, &VideoInputItems::SetLogoDestinationWidth,
                    record->destinationWidth, u"LogoDestinationWidth");
        pass.Number(&VideoInputItems::GetStoredLogoOriginationHeight, &VideoInputItems::SetLogoOriginationHeight,
                    record->originationHeight, nullptr);
        pass.Number(&VideoInputItems::GetStoredLogoOriginationWidth, &VideoInputItems::SetLogoOriginationWidth,
                    record->originationWidth, nullptr);
        pass.Number(&VideoInputItems::GetLogoEnable, &VideoInputItems::SetLogoEnable, record->enable, u"LogoEnable");
        pass.Number(&VideoInputItems::GetLogoTransparencyEnable, &VideoInputItems::SetLogoTransparencyEnable,
                    record->transparencyEnable, u"LogoTransparencyEnable");
        pass.Number(&VideoInputItems::GetLogoTransparencyPct, &VideoInputItems::SetLogoTransparencyPct,
                    record->transparencyPercent, u"LogoTransparencyPercent");
        pass.Number(&VideoInputItems::GetLogoKeyColorEnable, &VideoInputItems::SetLogoKeyColorEnable,
                    record->keyColorEnable, u"LogoKeyColorEnable");
        pass.Number(&VideoInputItems::GetLogoKeyColor, &VideoInputItems::SetLogoKeyColor, record->keyColor,
                    u"LogoKeyColor");
        pass.Number(&VideoInputItems::GetLogoDuration, &VideoInputItems::SetLogoDuration, record->duration,
                    u"LogoDuration");
        if (pass.Ok()) {
            WCHAR stored[kRecordTextCharacters] = {};
            m_inputs.GetLogoFileName(pinType, stored);
            if (std::memcmp(stored, record->fileName, (static_cast<size_t>(nameLength) + 1) * sizeof(WCHAR)) != 0) {
                pass.Stored(m_inputs.SetLogoFileName(pinType, record->fileName));
                // The stored field now holds the name and zeros after it.
                m_inputs.GetLogoFileName(pinType, stored);
                pass.WriteText(u"LogoFileName", stored);
            }
        }
        pass.Number(&VideoInputItems::GetLogoReferenceHeight, &VideoInputItems::SetLogoReferenceHeight,
                    record->referenceHeight, u"LogoReferenceHeight");
        pass.Number(&VideoInputItems::GetLogoReferenceWidth, &VideoInputItems::SetLogoReferenceWidth,
                    record->referenceWidth, u"LogoReferenceWidth");
        result = pass.Status();
        if (!pass.Ok())
            continue;
        if (save && GetDevice() != nullptr) {
            BrevicorLogoNotification payload{};
            payload.pinType = pinType;
            payload.referenceHeight = record->referenceHeight;
            payload.referenceWidth = record->referenceWidth;
            payload.destinationTop = record->destinationTop;
            payload.destinationLeft = record->destinationLeft;
            payload.destinationHeight = record->destinationHeight;
            payload.destinationWidth = record->destinationWidth;
            payload.enable = record->enable;
            payload.transparencyEnable = record->transparencyEnable;
            payload.transparencyPercent = record->transparencyPercent;
            payload.keyColorEnable = record->keyColorEnable;
            payload.keyColor = record->keyColor;
            std::memcpy(payload.fileName, record->fileName, (static_cast<size_t>(nameLength) + 1) * sizeof(WCHAR));
            std::memcpy(payload.filterText, kLogoFilterText, sizeof(kLogoFilterText));
            GetDevice()->FireNotificationEvent(PROPSETID_BREVICOR_LOGO, sizeof(payload), &payload);
        }
        if (pass.Changed())
            RebuildChains(pinType);
    }
    return result;
}

// ---- proc amp ----------------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetProcAmpSettings(BrevicorProcAmpRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::GetProcAmpSettings", kTraceLowEnter);
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType("VideoCaptureFilter::GetProcAmpSettings", record->pinType);
    const ULONG pin = ReadPinType(record->pinType);
    LONG brightness = 0, contrast = 0, hue = 0, saturation = 0, gamma = 0;
    m_inputs.GetVideoProcAmpBrightness(pin, &brightness);
    m_inputs.GetVideoProcAmpContrast(pin, &contrast);
    m_inputs.GetVideoProcAmpHue(pin, &hue);
    m_inputs.GetVideoProcAmpSaturation(pin, &saturation);
    m_inputs.GetVideoProcAmpGamma(pin, &gamma);
    FillGroup(&record->brightness, brightness, kBrightnessConstants);
    FillGroup(&record->contrast, contrast, kContrastConstants);
    FillGroup(&record->hue, hue, kHueConstants);
    FillGroup(&record->saturation, saturation, kSaturationConstants);
    FillGroup(&record->gamma, gamma, kGammaConstants);
    record->noSave = 0;
    m_inputs.GetVideoProcAmpGammaValues(pin, record->gammaTable, kProcAmpTableEntries);
    m_inputs.GetVideoProcAmpSinValues(pin, record->sineTable, kProcAmpTableEntries);
    m_inputs.GetVideoProcAmpCosValues(pin, record->cosineTable, kProcAmpTableEntries);
    return STATUS_SUCCESS;
}

namespace {

// One value of the single-value setters: for each pin type of the selector, a changed value is
// stored, the chains rebuilt when asked, and the registry value written when saving.
NTSTATUS SetOneProcAmpValue(VideoCaptureFilter* filter, VideoInputItems* inputs, Device* device, ULONG selector,
                            LONG value, NTSTATUS (VideoInputItems::*get)(ULONG, LONG*) const,
                            NTSTATUS (VideoInputItems::*set)(ULONG, LONG), PCWSTR name, bool save, bool rebuild,
                            bool* changed)
{
    ULONG first, last;
    if (!PinTypesOf(selector, &first, &last))
        return MSG_SPECIFIED_PIN_TYPE_INVALID;
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG pinType = first; pinType <= last; ++pinType) {
        PinPass pass(inputs, device, pinType, save);
        pass.Number(get, set, value, name);
        result = pass.Status();
        if (pass.Changed()) {
            if (changed != nullptr)
                *changed = true;
            if (rebuild && device != nullptr)
                device->ModifyActiveAlgorithmChains(filter, pinType);
        }
    }
    return result;
}

} // namespace

NTSTATUS VideoCaptureFilter::SetVideoProcAmpBrightness(const BrevicorProcAmpRecord* record, ULONG pinType, bool save,
                                                       bool rebuild, bool* changed)
{
    return SetOneProcAmpValue(this, &m_inputs, GetDevice(), pinType, record->brightness.value,
                              &VideoInputItems::GetVideoProcAmpBrightness, &VideoInputItems::SetVideoProcAmpBrightness,
                              u"Brightness", save, rebuild, changed);
}

NTSTATUS VideoCaptureFilter::SetVideoProcAmpContrast(const BrevicorProcAmpRecord* record, ULONG pinType, bool save,
                                                     bool rebuild, bool* changed)
{
    return SetOneProcAmpValue(this, &m_inputs, GetDevice(), pinType, record->contrast.value,
                              &VideoInputItems::GetVideoProcAmpContrast, &VideoInputItems::SetVideoProcAmpContrast,
                              u"Contrast", save, rebuild, changed);
}

NTSTATUS VideoCaptureFilter::SetVideoProcAmpHue(const BrevicorProcAmpRecord* record, ULONG pinType, bool save,
                                                bool rebuild, bool* changed)
{
    return SetOneProcAmpValue(this, &m_inputs, GetDevice(), pinType, record->hue.value,
                              &VideoInputItems::GetVideoProcAmpHue, &VideoInputItems::SetVideoProcAmpHue, u"Hue", save,
                              rebuild, changed);
}

NTSTATUS VideoCaptureFilter::SetVideoProcAmpSaturation(const BrevicorProcAmpRecord* record, ULONG pinType, bool save,
                                                       bool rebuild, bool* changed)
{
    return SetOneProcAmpValue(this, &m_inputs, GetDevice(), pinType, record->saturation.value,
                              &VideoInputItems::GetVideoProcAmpSaturation, &VideoInputItems::SetVideoProcAmpSaturation,
                              u"Saturation", save, rebuild, changed);
}

NTSTATUS VideoCaptureFilter::SetProcAmpSettings(BrevicorProcAmpRecord* record)
{
    // The flag at 128 applies the values without persisting them and without announcing them: the
    // page previews its neutral values this way.
    const bool persist = record->noSave == 0;
    return ApplyProcAmpSettings(record, persist, persist);
}

NTSTATUS VideoCaptureFilter::ApplyProcAmpSettings(BrevicorProcAmpRecord* record, bool save, bool notify)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetProcAmpSettings", kTraceLowEnter);
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType("VideoCaptureFilter::SetProcAmpSettings", record->pinType);
    // Tables that are all zero (a registry that never held any, a client that sends none) would
    // make the colour step black out the picture: they are computed from the values.
    if (AllZero(record->gammaTable, sizeof(record->gammaTable)) &&
        AllZero(record->sineTable, sizeof(record->sineTable)) && AllZero(record->cosineTable, sizeof(record->cosineTable)))
        ComputeProcAmpTables(reinterpret_cast<uint8_t*>(record), sizeof(*record));

    auto* current = static_cast<BrevicorProcAmpRecord*>(AllocatePoolOfType(sizeof(BrevicorProcAmpRecord), PagedPool));
    if (current == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG pinType = first; pinType <= last; ++pinType) {
        std::memset(current, 0, sizeof(*current));
        current->pinType = pinType;
        GetProcAmpSettings(current);
        bool changed = false;
        NTSTATUS status = SetVideoProcAmpBrightness(record, pinType, save, false, &changed);
        if (NT_SUCCESS(status))
            status = SetVideoProcAmpContrast(record, pinType, save, false, &changed);
        if (NT_SUCCESS(status))
            status = SetVideoProcAmpHue(record, pinType, save, false, &changed);
        if (NT_SUCCESS(status))
            status = SetVideoProcAmpSaturation(record, pinType, save, false, &changed);
        PinPass pass(&m_inputs, GetDevice(), pinType, save);
        if (!NT_SUCCESS(status))
            pass.Stored(status);
        pass.Number(&VideoInputItems::GetVideoProcAmpGamma, &VideoInputItems::SetVideoProcAmpGamma,
                    record->gamma.value, u"Gamma");
        if (pass.Ok() && std::memcmp(current->gammaTable, record->gammaTable, sizeof(record->gammaTable)) != 0) {
            pass.Stored(m_inputs.SetVideoProcAmpGammaValues(pinType, record->gammaTable, kProcAmpTableEntries));
            pass.WriteBytes(u"GammaValues", record->gammaTable, sizeof(record->gammaTable));
        }
        if (pass.Ok() && std::memcmp(current->sineTable, record->sineTable, sizeof(record->sineTable)) != 0) {
            pass.Stored(m_inputs.SetVideoProcAmpSinValues(pinType, record->sineTable, kProcAmpTableEntries));
            pass.WriteBytes(u"SinValues", record->sineTable, sizeof(record->sineTable));
        }
        if (pass.Ok() && std::memcmp(current->cosineTable, record->cosineTable, sizeof(record->cosineTable)) != 0) {
            pass.Stored(m_inputs.SetVideoProcAmpCosValues(pinType, record->cosineTable, kProcAmpTableEntries));
            pass.WriteBytes(u"CosValues", record->cosineTable, sizeof(record->cosineTable));
        }
        result = pass.Status();
        if (!pass.Ok() || !(changed || pass.Changed()))
            continue;
        if (notify && GetDevice() != nullptr) {
            const BrevicorProcAmpNotification payload = {pinType,
                                                         record->brightness.value,
                                                         record->contrast.value,
                                                         record->hue.value,
                                                         record->saturation.value,
                                                         record->gamma.value};
            GetDevice()->FireNotificationEvent(PROPSETID_BREVICOR_VIDEOPROCAMP, sizeof(payload), &payload);
        }
        ModifyVideoProcAmpAlgorithm(pinType, record);
    }
    FreePool(current);
    return result;
}

LONG VideoCaptureFilter::GetVideoProcAmpBrightness()
{
    LONG value = 0;
    m_inputs.GetVideoProcAmpBrightness(kCapturePinId, &value);
    return value;
}

LONG VideoCaptureFilter::GetVideoProcAmpContrast()
{
    LONG value = 0;
    m_inputs.GetVideoProcAmpContrast(kCapturePinId, &value);
    return value;
}

LONG VideoCaptureFilter::GetVideoProcAmpHue()
{
    LONG value = 0;
    m_inputs.GetVideoProcAmpHue(kCapturePinId, &value);
    return value;
}

LONG VideoCaptureFilter::GetVideoProcAmpSaturation()
{
    LONG value = 0;
    m_inputs.GetVideoProcAmpSaturation(kCapturePinId, &value);
    return value;
}

namespace {

struct ProcAmpHandOver {
    BasicFilter* filter;
    ULONG pinType;
    ProcAmpBlock block;
    bool found;   // a pin of the filter and type feeds the stream
    bool updated; // its colour step took the block in place
};

// Whether the steps from `step` down end in one sink: a step that serves one pin only.
bool ServesOnePin(const Algorithm* step)
{
    while (step->GetChildCount() == 1)
        step = step->GetChild(0);
    return step->GetChildCount() == 0;
}

void HandProcAmpToPin(StreamProcessorPin* pin, ULONG pinType, void* context)
{
    auto* handOver = static_cast<ProcAmpHandOver*>(context);
    if (pinType != handOver->pinType || pin->GetFilter() != handOver->filter)
        return;
    handOver->found = true;
    Algorithm* sink = pin->GetFrameSink();
    auto* source = sink != nullptr ? dynamic_cast<FrameProcessingSource*>(sink->GetRoot()) : nullptr;
    if (source == nullptr)
        return;
    CColorSpaces* colour = nullptr;
    {
        // The tree does not change under the processing lock; the processor's lock, held by the
        // walk, keeps the step alive after it is released (rebuilds take that lock).
        KPLXFastStackLock tree(source->GetProcessingLock(), nullptr, "VideoCaptureFilter::ModifyVideoProcAmpAlgorithm",
                               __LINE__);
        Algorithm* step = sink->FindParentWithId(kAlgorithmIdProcAmp);
        if (step != nullptr && ServesOnePin(step))
            colour = static_cast<CColorSpaces*>(step);
    }
    if (colour != nullptr &&
        colour->SetTables(reinterpret_cast<const ULONG*>(&handOver->block), kProcAmpBlockWords))
        handOver->updated = true;
}

} // namespace

NTSTATUS VideoCaptureFilter::ModifyVideoProcAmpAlgorithm(ULONG pinType, const BrevicorProcAmpRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::ModifyVideoProcAmpAlgorithm", kTraceLowEnter, "ePinType=%d",
                static_cast<int>(pinType));
    Device* device = GetDevice();
    if (device == nullptr)
        return STATUS_SUCCESS;
    StreamProcessorManager* manager = device->GetStreamProcessorManager();
    StreamProcessor* processor = manager != nullptr ? manager->GetVideoStreamProcessor(0) : nullptr;
    if (processor == nullptr)
        return device->ModifyActiveAlgorithmChains(this, pinType);
    auto* handOver = static_cast<ProcAmpHandOver*>(AllocatePoolOfType(sizeof(ProcAmpHandOver), NonPagedPool));
    if (handOver == nullptr)
        return device->ModifyActiveAlgorithmChains(this, pinType);
    std::memset(handOver, 0, sizeof(*handOver));
    handOver->filter = this;
    handOver->pinType = pinType;
    ProcAmpBlock& block = handOver->block;
    block.hue = record->hue.value;
    block.hueNeutral = 0;
    block.saturation = record->saturation.value;
    block.saturationNeutral = 0;
    block.contrast = record->contrast.value;
    block.contrastNeutral = 100;
    block.gamma = record->gamma.value;
    block.gammaNeutral = 100;
    block.brightness = record->brightness.value;
    block.brightnessNeutral = 0;
    std::memcpy(block.lumaTable, record->gammaTable, sizeof(block.lumaTable));
    std::memcpy(block.sineTable, record->sineTable, sizeof(block.sineTable));
    std::memcpy(block.cosineTable, record->cosineTable, sizeof(block.cosineTable));
    processor->ForEachStreamingPin(HandProcAmpToPin, handOver);
    const bool rebuild = handOver->found && !handOver->updated;
    FreePool(handOver);
    // Outside the processor's walk: a rebuild takes the processor's lock itself.
    return rebuild ? device->ModifyActiveAlgorithmChains(this, pinType) : STATUS_SUCCESS;
}

// ---- video decoder -------------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetVideoDecoderSettings(BrevicorVideoDecoderRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::GetVideoDecoderSettings", kTraceLowEnter);
    record->standardsMask = kVideoDecoderStandardsMask;
    record->currentSignalType = m_signalType;
    Device* device = GetDevice();
    const Device::StandardDimensions current =
        device != nullptr ? device->GetStandardDimensions(m_signalType) : Device::StandardDimensions{};
    record->currentHeight = current.height;
    record->currentWidth = current.width;
    record->currentFrameTime = current.frameTime;
    ULONG detected = 0;
    VideoInputItems* inputs = VideoInputsForDetection();
    const VideoInputItem* input = inputs != nullptr ? inputs->GetInput(inputs->GetSecondWord()) : nullptr;
    if (input != nullptr) {
        BrevicorInputDetectRecord detect{};
        if (NT_SUCCESS(input->GetInputDetectInfo(&detect)))
            detected = detect.detectedStandard;
    }
    record->detectedSignalType = detected;
    const Device::StandardDimensions found =
        detected != 0 && device != nullptr ? device->GetStandardDimensions(detected) : Device::StandardDimensions{};
    record->detectedHeight = found.height;
    record->detectedWidth = found.width;
    record->detectedFrameTime = found.frameTime;
    return STATUS_SUCCESS;
}

// ---- closed captions -----------------------------------------------------------------------------------

NTSTATUS VideoCaptureFilter::GetCCSettings(BrevicorCCRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::GetCCSettings", kTraceLowEnter);
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType("VideoCaptureFilter::GetCCSettings", record->pinType);
    const ULONG selector = record->pinType;
    BrevicorCCRecord stored{};
    m_inputs.GetCCSettings(ReadPinType(selector), &stored);
    std::memcpy(reinterpret_cast<UCHAR*>(record) + kPropertyHeaderBytes,
                reinterpret_cast<const UCHAR*>(&stored) + kPropertyHeaderBytes, sizeof(stored) - kPropertyHeaderBytes);
    record->pinType = selector;
    record->noSave = 0;
    const Device::StandardDimensions frame = GetCurrentFrameSize();
    record->referenceHeight = ReferenceOrFrame(record->referenceHeight, frame.height);
    record->referenceWidth = ReferenceOrFrame(record->referenceWidth, frame.width);
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::SetCCSettings(BrevicorCCRecord* record)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetCCSettings", kTraceLowEnter);
    static constexpr char kFunction[] = "VideoCaptureFilter::SetCCSettings";
    ULONG first, last;
    if (!PinTypesOf(record->pinType, &first, &last))
        return RefusePinType(kFunction, record->pinType);
    const LONG nameLength = BoundedRecordTextLength(record->fontFileName, kRecordTextCharacters);
    if (nameLength < 0)
        return STATUS_INVALID_PARAMETER;
    record->referenceHeight = AtMost(record->referenceHeight, kMaximumReferenceHeight);
    record->referenceWidth = AtMost(record->referenceWidth, kMaximumReferenceWidth);
    if (record->enable > 1)
        record->enable = 1;
    if (record->enable == 1) {
        // The rectangle stays inside its reference (a reference of 0 stands for the frame); an
        // origin at or past the edge leaves an empty rectangle, which the overlay draws as nothing.
        const Device::StandardDimensions frame = GetCurrentFrameSize();
        const auto fit = [](ULONG* size, ULONG origin, ULONG reference) {
            if (*size < kMinimumCaptionSize)
                *size = kMinimumCaptionSize;
            if (static_cast<ULONGLONG>(origin) + *size > reference)
                *size = origin < reference ? reference - origin : 0;
        };
        fit(&record->destinationHeight, record->destinationTop,
            record->referenceHeight != 0 ? record->referenceHeight : frame.height);
        fit(&record->destinationWidth, record->destinationLeft,
            record->referenceWidth != 0 ? record->referenceWidth : frame.width);
        if (record->transparencyEnable > 1)
            record->transparencyEnable = 1;
        if (nameLength > 0) {
            WCHAR path[kRecordFilePathCharacters];
            KernelFile file;
            const NTSTATUS status = OpenRecordFile(record->fontFileName, &file, path);
            if (!NT_SUCCESS(status)) {
                TRACE_STATUS(this, kFunction, kTraceErrors, MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED,
                             "Attempt to open file [%ls] failed.  Status returned was %#010x.", path,
                             static_cast<unsigned>(status));
                return MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED;
            }
        }
    }

    const bool save = record->noSave == 0;
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG pinType = first; pinType <= last; ++pinType) {
        BrevicorCCRecord current{};
        m_inputs.GetCCSettings(pinType, &current);
        PinPass pass(&m_inputs, GetDevice(), pinType, save);
        bool changed = false;
        const auto number = [&](ULONG was, ULONG now, PCWSTR name) {
            if (was == now || !pass.Ok())
                return;
            changed = true;
            pass.Write(name, now);
        };
        number(current.destinationTop, record->destinationTop, u"CCDestinationTop");
        number(current.destinationLeft, record->destinationLeft, u"CCDestinationLeft");
        number(current.destinationHeight, record->destinationHeight, u"CCDestinationHeight");
        number(current.destinationWidth, record->destinationWidth, u"CCDestinationWidth");
        number(current.enable, record->enable, u"CCEnable");
        number(current.transparencyEnable, record->transparencyEnable, u"CCTransparencyEnable");
        number(current.backgroundColor, record->backgroundColor, u"CCBackgroundColor");
        number(current.foregroundColor, record->foregroundColor, u"CCForegroundColor");
        number(current.field, record->field, u"CCField");
        number(current.channel, record->channel, u"CCChannel");
        if (pass.Ok() &&
            std::memcmp(current.fontFileName, record->fontFileName,
                        (static_cast<size_t>(nameLength) + 1) * sizeof(WCHAR)) != 0) {
            changed = true;
            pass.WriteText(u"CCFontFileName", record->fontFileName);
        }
        number(current.referenceHeight, record->referenceHeight, u"CCReferenceHeight");
        number(current.referenceWidth, record->referenceWidth, u"CCReferenceWidth");
        if (pass.Ok() && save && GetDevice() != nullptr) {
            BrevicorCCNotification payload{};
            payload.pinType = pinType;
            std::memcpy(&payload.field, &record->field,
                        offsetof(BrevicorCCRecord, noSave) - offsetof(BrevicorCCRecord, field));
            std::memcpy(payload.fontFileName, record->fontFileName,
                        (static_cast<size_t>(nameLength) + 1) * sizeof(WCHAR));
            GetDevice()->FireNotificationEvent(PROPSETID_BREVICOR_CC, sizeof(payload), &payload);
        }
        if (pass.Ok() && changed) {
            BrevicorCCRecord keep = *record;
            keep.pinType = pinType;
            keep.noSave = 0;
            // The name and zeros after it, whatever followed its terminator in the request.
            std::memset(keep.fontFileName, 0, sizeof(keep.fontFileName));
            std::memcpy(keep.fontFileName, record->fontFileName, static_cast<size_t>(nameLength) * sizeof(WCHAR));
            pass.Stored(m_inputs.SetCCSettings(pinType, &keep));
            if (pass.Ok())
                RebuildChains(pinType);
        }
        result = pass.Status();
    }
    return result;
}
