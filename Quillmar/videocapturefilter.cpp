// VideoCaptureFilter: creation and loading, the decoder values and signal type, the connection
// formats, and the branches of its property sets answered here.
#include "videocapturefilter.h"

#include "audiocapturefilter.h"
#include "basicaudiofilter.h"
#include "device.h"
#include "driver.h"
#include "km/status.h"
#include "messages/Talvexon.h"
#include "pindataranges.h"
#include "roundtoint.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videostreamingpin.h"

#include <algorithm>
#include <cstring>
#include <limits>

VideoCaptureFilter::~VideoCaptureFilter()
{
    TRACE_SCOPE(this, "VideoCaptureFilter::~VideoCaptureFilter", kTraceLowEnter);
}

NTSTATUS VideoCaptureFilter::OnCreate(PIRP)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::OnCreate", kTraceLowEnter);
    Device* device = GetDevice();
    ControlAndDeviceLock hold(this);
    PDEVICE_OBJECT deviceObject = device->GetPhysicalDeviceObject();
    const LONG id = device->GetFilterInstanceId(this);
    if (id < 0)
        return STATUS_INSUFFICIENT_RESOURCES;
    SetInstanceId(static_cast<ULONG>(id));
    // Each loader logs what it could not read; the filter opens with the defaults then.
    Device::LoadFilterFromRegistry(device, deviceObject, this);
    // The inputs are loaded aside: the filter is in the device's table already, and the response
    // thread stores input-state changes in the lists of the filters there.
    VideoInputItems loaded;
    Device::LoadVideoInputsFromRegistry(device, deviceObject, &loaded);
    device->AdoptVideoInputs(&m_inputs, &loaded);
    AudioCaptureFilter* married = nullptr;
    if (device->FindMarriedFilter(this, &married)) {
        // An audio input names a video input only when there is one of that number.
        const ULONG input = married->GetCurrentAudioInput();
        if (input < m_inputs.GetInputCount())
            m_inputs.SetSecondWord(input);
    }
    SetVideoStandardsDataRanges();
    const ULONG current = m_inputs.GetSecondWord();
    for (ULONG input = 0; input < m_inputs.GetInputCount(); ++input) {
        m_inputs.SetSecondWord(input);
        Device::LoadVideoPinsFromRegistry(device, deviceObject, input, this);
    }
    m_inputs.SetSecondWord(current);
    // The pin settings may have named other default sizes or a stored format.
    SetVideoStandardsDataRanges();
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
    NTSTATUS status = STATUS_SUCCESS;
    if (save && GetDevice() != nullptr)
        status = GetDevice()->WriteDevicePropertyToRegistry(u"DecoderCurrentSignalType", type);
    if (GetKsFilter() != nullptr)
        SetVideoStandardsDataRanges();
    return status;
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

// ---- data ranges --------------------------------------------------------------------------------

namespace {

constexpr ULONG kRangeTag = 0x616E6152; // "Rana"
constexpr ULONG kVbiPinId = 3;
constexpr ULONG kFullWidth = 1920;
constexpr ULONG kFullHeight = 1080;

// The one standard the 50-frame ranges serve: 625-line standard definition.
constexpr ULONG k625LineStandard = 2;

// A bit rate rounded as every figure of the driver, held at the largest 32-bit count.
ULONG SaturatedBits(double bits)
{
    if (!(bits > 0))
        return 0;
    if (bits >= double(std::numeric_limits<ULONG>::max()))
        return std::numeric_limits<ULONG>::max();
    // Halves to the even neighbour: the whole part, then the remainder rounded alone.
    const double whole = double(static_cast<ULONG>(bits / 2) * 2ULL);
    return static_cast<ULONG>(whole) + static_cast<ULONG>(RoundToInt(bits - whole));
}

// The same for the signed bit-rate fields of a range's capabilities, held at the largest LONG:
// a 1080-line range of 24 or 32 bits at 60 frames a second carries more.
LONG SaturatedSignedBits(double bits)
{
    return static_cast<LONG>(std::min<ULONG>(SaturatedBits(bits), ULONG(std::numeric_limits<LONG>::max())));
}

// The fields both header forms share at the start of their block.
template <class Header>
void FitHeader(Header* header, KS_BITMAPINFOHEADER* bitmap, ULONG width, ULONG height, double framesPerSecond,
               LONGLONG frameInterval)
{
    header->rcSource = KS_RECT32{};
    header->rcTarget = KS_RECT32{};
    header->dwBitRate = SaturatedBits(double(bitmap->biBitCount) * width * height * framesPerSecond);
    header->AvgTimePerFrame =
        framesPerSecond > 0 ? static_cast<LONGLONG>(10000000.0 / framesPerSecond) : frameInterval;
    bitmap->biWidth = static_cast<LONG>(width);
    bitmap->biHeight = static_cast<LONG>(height);
    bitmap->biSizeImage = static_cast<ULONG>(ULONGLONG(width) * height * bitmap->biBitCount / 8);
}

} // namespace

void VideoCaptureFilter::DefaultOutputSize(ULONG sizeType, ULONG customWidth, ULONG customHeight,
                                           ULONG* width, ULONG* height)
{
    double scale = 1.0;
    switch (sizeType) {
    case 1:
        scale = 0.75;
        break;
    case 2:
        scale = 0.5;
        break;
    case 3:
        scale = 0.25;
        break;
    case 4:
        // A custom size that names no picture keeps the full size.
        if (customWidth != 0 && customHeight != 0) {
            *width = customWidth;
            *height = customHeight;
            return;
        }
        break;
    default:
        break;
    }
    *width = static_cast<ULONG>(RoundToInt(kFullWidth * scale));
    *height = static_cast<ULONG>(RoundToInt(kFullHeight * scale));
}

NTSTATUS VideoCaptureFilter::EditDescriptors()
{
    PKSFILTER filter = GetKsFilter();
    if (filter == nullptr || filter->Descriptor == nullptr)
        return STATUS_UNSUCCESSFUL;
    // Each edit copies only once: a second call finds the filter's own copies and keeps them.
    NTSTATUS status =
        _KsEdit(filter->Bag, reinterpret_cast<PVOID*>(const_cast<KSFILTER_DESCRIPTOR**>(&filter->Descriptor)),
                sizeof(KSFILTER_DESCRIPTOR), sizeof(KSFILTER_DESCRIPTOR), kRangeTag);
    if (!NT_SUCCESS(status))
        return status;
    auto* descriptor = const_cast<KSFILTER_DESCRIPTOR*>(filter->Descriptor);
    if (descriptor->PinDescriptors == nullptr || descriptor->PinDescriptorsCount == 0)
        return STATUS_SUCCESS;
    const ULONG pinBytes = descriptor->PinDescriptorsCount * descriptor->PinDescriptorSize;
    status = _KsEdit(filter->Bag,
                     reinterpret_cast<PVOID*>(const_cast<KSPIN_DESCRIPTOR_EX**>(&descriptor->PinDescriptors)),
                     pinBytes, pinBytes, kRangeTag);
    if (!NT_SUCCESS(status))
        return status;
    for (ULONG id = 0; id < descriptor->PinDescriptorsCount; ++id) {
        KSPIN_DESCRIPTOR& pin = EditablePin(id)->PinDescriptor;
        if (pin.DataRangesCount == 0 || pin.DataRanges == nullptr)
            continue;
        const ULONG listBytes = pin.DataRangesCount * sizeof(PKSDATARANGE);
        status = _KsEdit(filter->Bag, reinterpret_cast<PVOID*>(const_cast<PKSDATARANGE**>(&pin.DataRanges)),
                         listBytes, listBytes, kRangeTag);
        if (!NT_SUCCESS(status))
            return status;
        if (id > kPreviewPinId)
            continue;
        auto** ranges = const_cast<PKSDATARANGE*>(pin.DataRanges);
        for (ULONG r = 0; r < pin.DataRangesCount; ++r) {
            status = _KsEdit(filter->Bag, reinterpret_cast<PVOID*>(&ranges[r]), ranges[r]->FormatSize,
                             ranges[r]->FormatSize, kRangeTag);
            if (!NT_SUCCESS(status))
                return status;
        }
    }
    return STATUS_SUCCESS;
}

KSPIN_DESCRIPTOR_EX* VideoCaptureFilter::EditablePin(ULONG pinId) const
{
    PKSFILTER filter = GetKsFilter();
    if (filter == nullptr || filter->Descriptor == nullptr ||
        pinId >= filter->Descriptor->PinDescriptorsCount)
        return nullptr;
    auto* base =
        reinterpret_cast<UCHAR*>(const_cast<KSPIN_DESCRIPTOR_EX*>(filter->Descriptor->PinDescriptors));
    return reinterpret_cast<KSPIN_DESCRIPTOR_EX*>(base +
                                                  size_t(pinId) * filter->Descriptor->PinDescriptorSize);
}

NTSTATUS VideoCaptureFilter::SetVideoStandardsDataRanges()
{
    TRACE_SCOPE(this, "VideoCaptureFilter::SetVideoStandardsDataRanges", kTraceLowEnter);
    Device* device = GetDevice();
    if (device == nullptr)
        return STATUS_UNSUCCESSFUL;
    const ULONG standard = GetCurrentStandard();
    const bool fiftyFrames = standard == k625LineStandard;
    const Device::StandardDimensions frame = device->GetStandardDimensions(standard);
    const double framesPerSecond = device->GetDriver()->GetDefaultFrameRate() * 0.01;
    TRACE_LINE(this, "VideoCaptureFilter::SetVideoStandardsDataRanges", kTraceHighs,
               "Standard 0x%08x: maximum %ux%u, %s", static_cast<unsigned>(standard),
               static_cast<unsigned>(frame.width), static_cast<unsigned>(frame.height),
               fiftyFrames ? "50 fps" : "60 fps");
    const NTSTATUS status =
        ModifyDataRanges(kFullWidth, kFullHeight, frame.width, frame.height, framesPerSecond,
                         fiftyFrames ? 50 : 60, fiftyFrames ? 200000 : 166666, fiftyFrames ? 0x1F0 : 0x3);
    if (!NT_SUCCESS(status))
        return status;
    if (KSPIN_DESCRIPTOR_EX* vbi = EditablePin(kVbiPinId);
        vbi != nullptr && vbi->PinDescriptor.DataRangesCount == 1) {
        auto** ranges = const_cast<PKSDATARANGE*>(vbi->PinDescriptor.DataRanges);
        ranges[0] = PinDataRanges::kVbiRanges[fiftyFrames ? PinDataRanges::kVbiRange625
                                                          : PinDataRanges::kVbiRange525];
    }
    return STATUS_SUCCESS;
}

NTSTATUS VideoCaptureFilter::ModifyDataRanges(ULONG width, ULONG height, ULONG maxWidth, ULONG maxHeight,
                                              double framesPerSecond, ULONG nominalRate,
                                              LONGLONG frameInterval, ULONG standardsMask)
{
    TRACE_SCOPE(this, "VideoCaptureFilter::ModifyDataRanges", kTraceLowEnter);
    const NTSTATUS status = EditDescriptors();
    if (!NT_SUCCESS(status))
        return status;
    if (KSPIN_DESCRIPTOR_EX* analog = EditablePin(Device::kVideoAnalogInputPin);
        analog != nullptr && analog->PinDescriptor.DataRangesCount > 0 &&
        analog->PinDescriptor.DataRanges[0]->FormatSize >= sizeof(KS_DATARANGE_ANALOGVIDEO)) {
        auto* range = reinterpret_cast<KS_DATARANGE_ANALOGVIDEO*>(analog->PinDescriptor.DataRanges[0]);
        range->AnalogVideoInfo.dwActiveWidth = width;
        range->AnalogVideoInfo.dwActiveHeight = height;
        range->AnalogVideoInfo.rcSource = KS_RECT32{};
        range->AnalogVideoInfo.rcTarget = KS_RECT32{};
        range->AnalogVideoInfo.AvgTimePerFrame = frameInterval;
    }
    for (ULONG pinId : {kCapturePinId, kPreviewPinId}) {
        FitVideoRanges(pinId, maxWidth, maxHeight, framesPerSecond, nominalRate, frameInterval,
                       standardsMask);
        MoveStoredFormatFirst(pinId);
    }
    return STATUS_SUCCESS;
}

void VideoCaptureFilter::FitVideoRanges(ULONG pinId, ULONG maxWidth, ULONG maxHeight, double framesPerSecond,
                                        ULONG nominalRate, LONGLONG frameInterval, ULONG standardsMask)
{
    KSPIN_DESCRIPTOR_EX* pin = EditablePin(pinId);
    if (pin == nullptr)
        return;
    const PerformanceSettings performance = GetDevice()->GetDriver()->GetStoredPerformanceSettings(pinId);
    ULONG width = 0;
    ULONG height = 0;
    DefaultOutputSize(performance.defaultVideoSizeType, performance.width, performance.height, &width,
                      &height);
    for (ULONG r = 0; r < pin->PinDescriptor.DataRangesCount; ++r) {
        PKSDATARANGE range = pin->PinDescriptor.DataRanges[r];
        KS_VIDEO_STREAM_CONFIG_CAPS* caps = PinDataRanges::CapsOf(range);
        KS_BITMAPINFOHEADER* bitmap = PinDataRanges::BitmapHeaderOf(range);
        if (caps == nullptr || bitmap == nullptr)
            continue;
        range->SampleSize = 0;
        caps->VideoStandard = standardsMask;
        caps->InputSize = KS_SIZE32{static_cast<LONG>(width), static_cast<LONG>(height)};
        caps->MaxCroppingSize = KS_SIZE32{static_cast<LONG>(maxWidth), static_cast<LONG>(maxHeight)};
        caps->MaxOutputSize = caps->MaxCroppingSize;
        caps->MinFrameInterval = frameInterval;
        caps->MaxFrameInterval = PinDataRanges::kMaximumFrameInterval;
        const double bits = bitmap->biBitCount;
        caps->MinBitsPerSecond =
            SaturatedSignedBits(bits * caps->MinOutputSize.cx * caps->MinOutputSize.cy * nominalRate);
        // The most a range can carry: its largest picture at the highest rate.
        caps->MaxBitsPerSecond = SaturatedSignedBits(bits * maxWidth * maxHeight * nominalRate);
        if (range->Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO)
            FitHeader(&reinterpret_cast<KS_DATARANGE_VIDEO*>(range)->VideoInfoHeader, bitmap, width, height,
                      framesPerSecond, frameInterval);
        else
            FitHeader(&reinterpret_cast<KS_DATARANGE_VIDEO2*>(range)->VideoInfoHeader, bitmap, width, height,
                      framesPerSecond, frameInterval);
    }
}

void VideoCaptureFilter::MoveStoredFormatFirst(ULONG pinId)
{
    KSPIN_DESCRIPTOR_EX* pin = EditablePin(pinId);
    const ConnectionFormat& stored = m_formats[pinId - kCapturePinId];
    if (pin == nullptr || stored.length < sizeof(KSDATAFORMAT))
        return;
    KSDATAFORMAT format;
    std::memcpy(&format, stored.bytes, sizeof(format));
    auto** ranges = const_cast<PKSDATARANGE*>(pin->PinDescriptor.DataRanges);
    for (ULONG r = 0; r < pin->PinDescriptor.DataRangesCount; ++r) {
        if (ranges[r]->SubFormat != format.SubFormat || ranges[r]->Specifier != format.Specifier)
            continue;
        PKSDATARANGE found = ranges[r];
        for (ULONG i = r; i > 0; --i)
            ranges[i] = ranges[i - 1];
        ranges[0] = found;
        return;
    }
}

const KS_VIDEO_STREAM_CONFIG_CAPS* VideoCaptureFilter::GetDataRangeCaps(ULONG pinId,
                                                                        const GUID* subFormat) const
{
    const KSPIN_DESCRIPTOR_EX* pin = EditablePin(pinId);
    if (pin == nullptr)
        return nullptr;
    for (ULONG r = 0; r < pin->PinDescriptor.DataRangesCount; ++r) {
        PKSDATARANGE range = pin->PinDescriptor.DataRanges[r];
        if (subFormat == nullptr || range->SubFormat == *subFormat)
            if (const KS_VIDEO_STREAM_CONFIG_CAPS* caps = PinDataRanges::CapsOf(range))
                return caps;
    }
    return nullptr;
}

const KS_VIDEO_STREAM_CONFIG_CAPS* VideoCaptureFilter::GetCurrentDataRangeCaps(ULONG pinType) const
{
    if (pinType == kCapturePinId || pinType == kPreviewPinId) {
        const ConnectionFormat& stored = m_formats[pinType - kCapturePinId];
        if (stored.length >= sizeof(KSDATAFORMAT)) {
            KSDATAFORMAT format;
            std::memcpy(&format, stored.bytes, sizeof(format));
            if (const KS_VIDEO_STREAM_CONFIG_CAPS* caps = GetDataRangeCaps(pinType, &format.SubFormat))
                return caps;
        }
    }
    return GetDataRangeCaps(kCapturePinId, nullptr);
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
    if (set == PROPSETID_VIDCAP_VIDEOCOMPRESSION) {
        // The filter's first streaming pin answers (under the control mutex held above).
        for (ULONG id = kCapturePinId; id <= VideoStreamingPin::kClosedCaptionPinId; ++id) {
            PKSPIN pin = GetKsFilter() != nullptr ? KsFilterGetFirstChildPin(GetKsFilter(), id) : nullptr;
            if (auto* object = static_cast<VideoStreamingPin*>(BasicPin::FromKsPin(pin)))
                return object->OnGetProperty(irp, property, data);
        }
        return Complete(irp, STATUS_UNSUCCESSFUL, 0);
    }
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
    if (set == PROPSETID_VIDCAP_VIDEOCOMPRESSION) {
        // The pins deliver uncompressed pictures: a compression setting is accepted and kept nowhere.
        const ULONG bytes = PropertyLength(irp) < sizeof(KSPROPERTY_VIDEOCOMPRESSION_S)
                                ? PropertyLength(irp)
                                : sizeof(KSPROPERTY_VIDEOCOMPRESSION_S);
        CopyRequest(property, data, bytes);
        return Complete(irp, STATUS_SUCCESS, sizeof(KSPROPERTY_VIDEOCOMPRESSION_S));
    }
    if (set == PROPSETID_BREVICOR_DEVICE_CONFIG) {
        // Accepted and ignored: the record describes the board.
        CopyRequest(property, data, kDeviceConfigBytes);
        return Complete(irp, STATUS_SUCCESS, kDeviceConfigBytes);
    }
    return STATUS_NOT_FOUND;
}
