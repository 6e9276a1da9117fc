// VideoStreamingPin: creation, state steps, the chain's ends, the video intersection and the
// compression set.
#include "videostreamingpin.h"

#include "algorithmlist.h"
#include "basicfilter.h"
#include "device.h"
#include "driver.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "basicvideofilter.h"
#include "videocapturefilter.h"
#include "videochainbuilder.h"
#include "logicalstream.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr ULONG kFormatHeaderBytes = sizeof(KSDATAFORMAT);
// Where a range's four flag words, capabilities and format block start.
constexpr size_t kRangeFlagsOffset = offsetof(KS_DATARANGE_VIDEO, bFixedSizeSamples);
constexpr size_t kRangeFlagsBytes = 16;
constexpr size_t kRangeCapsOffset = offsetof(KS_DATARANGE_VIDEO, ConfigCaps);
constexpr size_t kRangeHeaderOffset = offsetof(KS_DATARANGE_VIDEO, VideoInfoHeader);
static_assert(offsetof(KS_DATARANGE_VIDEO2, VideoInfoHeader) == kRangeHeaderOffset &&
              offsetof(KS_DATARANGE_VIDEO_PALETTE, VideoInfo) == kRangeHeaderOffset &&
              offsetof(KS_DATARANGE_VIDEO_VBI, VBIInfoHeader) == kRangeHeaderOffset);

bool FlagsEqual(const UCHAR* a, const UCHAR* b)
{
    return std::memcmp(a + kRangeFlagsOffset, b + kRangeFlagsOffset, kRangeFlagsBytes) == 0;
}

} // namespace

VideoStreamingPin::VideoStreamingPin(PKSPIN pin) : BasicStreamingPin(pin, kStreamingPinKindVideo)
{
    SetPinId(pin != nullptr ? pin->Id : 0);
}

VideoStreamingPin::~VideoStreamingPin()
{
    TRACE_SCOPE(this, "VideoStreamingPin::~VideoStreamingPin", kTraceLowEnter);
}

const KS_VBIINFOHEADER* VideoStreamingPin::GetVBIInfoHeader() const
{
    return m_hasVbiInfo ? &m_vbiInfo : nullptr;
}

bool VideoStreamingPin::ReadVideoHeader(const KSDATAFORMAT* format, KS_VIDEOINFOHEADER* header)
{
    const auto* bytes = reinterpret_cast<const UCHAR*>(format);
    if (format->Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO) {
        if (format->FormatSize < sizeof(KS_DATAFORMAT_VIDEOINFOHEADER))
            return false;
        std::memcpy(header, bytes + kFormatHeaderBytes, sizeof(*header));
        return true;
    }
    if (format->FormatSize < sizeof(KS_DATAFORMAT_VIDEOINFOHEADER2))
        return false;
    KS_VIDEOINFOHEADER2 second;
    std::memcpy(&second, bytes + kFormatHeaderBytes, sizeof(second));
    // Rectangles, rates and the frame time open both forms alike.
    std::memcpy(header, &second, offsetof(KS_VIDEOINFOHEADER, bmiHeader));
    header->bmiHeader = second.bmiHeader;
    return true;
}

void VideoStreamingPin::SaveVideoHeader(const KSDATAFORMAT* format)
{
    KS_VIDEOINFOHEADER header{};
    if (format != nullptr && ReadVideoHeader(format, &header))
        m_videoInfo = header;
}

NTSTATUS VideoStreamingPin::OnCreate(PIRP)
{
    TRACE_SCOPE(this, "VideoStreamingPin::OnCreate", kTraceLowEnter, "PID=%d", static_cast<int>(GetPinId()));
    PKSPIN pin = GetKsPin();
    const KSDATAFORMAT* format = pin->ConnectionFormat;
    switch (GetPinId()) {
    case kVbiPinId:
        if (format == nullptr || format->FormatSize < sizeof(KS_DATAFORMAT_VBIINFOHEADER))
            return STATUS_NO_MATCH;
        std::memcpy(&m_vbiInfo, reinterpret_cast<const UCHAR*>(format) + kFormatHeaderBytes,
                    sizeof(m_vbiInfo));
        m_hasVbiInfo = true;
        pin->StreamHeaderSize = kVbiHeaderSize;
        return SetAllocatorFraming(kVbiFrames, m_vbiInfo.BufferSize);
    case kClosedCaptionPinId:
        return SetAllocatorFraming(kClosedCaptionFrames, kClosedCaptionFrameSize);
    default: {
        pin->StreamHeaderSize = kVideoHeaderSize;
        if (format == nullptr || !ReadVideoHeader(format, &m_videoInfo))
            return STATUS_NO_MATCH;
        const PerformanceSettings performance =
            GetDevice()->GetDriver()->GetStoredPerformanceSettings(GetPinId());
        // A pin needs one buffer at least to deliver anything.
        const ULONG buffers = performance.videoBuffer != 0 ? performance.videoBuffer : 1;
        TRACE_LINE(this, "VideoStreamingPin::OnCreate", kTraceHighs, "Pin(%d) is using %d video buffers",
                   static_cast<int>(GetPinId()), static_cast<int>(buffers));
        return SetAllocatorFraming(buffers, m_videoInfo.bmiHeader.biSizeImage);
    }
    }
}

NTSTATUS VideoStreamingPin::OnSetDeviceState(KSSTATE to, KSSTATE from)
{
    TRACE_SCOPE(this, "VideoStreamingPin::OnSetDeviceState", kTraceLowEnter, "PID=%d %d->%d",
                static_cast<int>(GetPinId()), static_cast<int>(from), static_cast<int>(to));
    return ChangeDeviceState(to, from);
}

void VideoStreamingPin::OnPauseToRun()
{
    if (GetPinId() != kCapturePinId && GetPinId() != kPreviewPinId)
        return;
    PKSFILTER filter = GetKsFilter();
    if (filter == nullptr || filter->Descriptor == nullptr ||
        !BasicFilter::IsVideoCaptureFilterReference(filter->Descriptor->ReferenceGuid))
        return;
    const KSDATAFORMAT* format = GetKsPin()->ConnectionFormat;
    const ULONG length = format->Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO ? kVideoInfoResultBytes
                                                                               : kVideoInfo2ResultBytes;
    if (format->FormatSize < length)
        return;
    static_cast<VideoCaptureFilter*>(GetFilter())->SetConnectionFormat(GetPinId(), format, length);
}

void VideoStreamingPin::GatherChainSettings(VideoChainSettings* settings)
{
    settings->pinId = GetPinId();
    if (m_hasVbiInfo)
        settings->vbiHeader = m_vbiInfo;
    else
        settings->SetVideoInfo(m_videoInfo);
    Device* device = GetDevice();
    const Driver* driver = device != nullptr ? device->GetDriver() : nullptr;
    const PerformanceSettings performance =
        driver != nullptr ? driver->GetStoredPerformanceSettings(GetPinId()) : PerformanceSettings{};
    settings->separator = VbiSeparatorSettings::FromDriver(static_cast<LONG>(performance.vbiLineRemoval));
    PKSFILTER ksFilter = GetKsFilter();
    if (ksFilter == nullptr || ksFilter->Descriptor == nullptr ||
        !BasicFilter::IsVideoCaptureFilterReference(ksFilter->Descriptor->ReferenceGuid))
        return;
    auto* filter = static_cast<VideoCaptureFilter*>(GetFilter());
    settings->inputDetect.inputNumber = filter->GetCurrentInputIndex();
    filter->GetVideoInputItems()->GetInputDetectInfo(&settings->inputDetect);
    if (GetPinId() != kCapturePinId && GetPinId() != kPreviewPinId)
        return;
    // Each record is asked for this pin's type; a getter's failure leaves the zeros in place.
    settings->scalingAlgorithm = performance.scalingAlgorithm;
    settings->crop.pinType = GetPinId();
    filter->GetCropSettings(&settings->crop);
    settings->deinterlace.pinType = GetPinId();
    filter->GetDeinterlaceSettings(&settings->deinterlace);
    settings->logo.pinType = GetPinId();
    filter->GetLogoSettings(&settings->logo);
    settings->cc.pinType = GetPinId();
    filter->GetCCSettings(&settings->cc);
    settings->procAmp.pinType = GetPinId();
    filter->GetProcAmpSettings(&settings->procAmp);
    if (device != nullptr)
        device->GetLOSSettings(&settings->los);
}

NTSTATUS VideoStreamingPin::BuildAlgorithmChain(AlgorithmList* list)
{
    TRACE_SCOPE(this, "VideoStreamingPin::BuildAlgorithmChain", kTraceLowEnter);
    LogicalStream* stream = GetLogicalStream();
    if (stream == nullptr)
        return STATUS_UNSUCCESSFUL;
    TakeSinkOutOfTree();
    TRACE_LINE(this, "VideoStreamingPin::BuildAlgorithmChain", kTraceHighs, "PID=%d, Stream State = %d",
               static_cast<int>(GetPinId()), static_cast<int>(GetRunState()));
    VideoChainSettings settings;
    GatherChainSettings(&settings);
    ULONGLONG interval = 0;
    const NTSTATUS status =
        VideoChainBuilder(settings, stream->GetVbiSeparatorStream()).BuildProcessingSteps(list, &interval);
    if (!NT_SUCCESS(status))
        return status;
    TRACE_LINE(this, "VideoStreamingPin::BuildAlgorithmChain", kTraceHighs,
               "PID=%d, Video Output Frame rate: %d", static_cast<int>(GetPinId()),
               static_cast<int>(interval));
    return AppendSink(list, interval);
}

NTSTATUS VideoStreamingPin::OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data)
{
    const ULONG requestBytes = BasicFilter::PropertyLength(irp);
    auto copyRequest = [&](ULONG bytes) {
        if (data != property)
            std::memmove(data, property, bytes < requestBytes ? bytes : requestBytes);
    };
    switch (property->Id) {
    case KSPROPERTY_VIDEOCOMPRESSION_GETINFO: {
        KSPROPERTY_VIDEOCOMPRESSION_GETINFO_S info{};
        std::memcpy(&info, property, requestBytes < sizeof(info) ? requestBytes : sizeof(info));
        info.DefaultKeyFrameRate = 30;
        info.DefaultPFrameRate = 30;
        info.DefaultQuality = 1;
        info.NumberOfQualitySettings = 100;
        info.Capabilities = 0;
        std::memcpy(data, &info, sizeof(info));
        irp->IoStatus.Information = sizeof(info);
        return STATUS_SUCCESS;
    }
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        copyRequest(sizeof(KSPROPERTY_VIDEOCOMPRESSION_S));
        irp->IoStatus.Information = sizeof(KSPROPERTY_VIDEOCOMPRESSION_S);
        return STATUS_SUCCESS;
    default:
        irp->IoStatus.Information = 0;
        return STATUS_SUCCESS;
    }
}

// ---- intersection ---------------------------------------------------------------------------------

namespace {

NTSTATUS IntersectVbi(PKSDATARANGE callerRange, PKSDATARANGE descriptorRange, ULONG bufferSize, PVOID data,
                      PULONG dataSize)
{
    *dataSize = VideoStreamingPin::kVbiResultBytes;
    if (bufferSize == 0)
        return STATUS_BUFFER_OVERFLOW;
    if (bufferSize < VideoStreamingPin::kVbiResultBytes)
        return STATUS_BUFFER_TOO_SMALL;
    if (data == nullptr || callerRange->FormatSize < sizeof(KS_DATARANGE_VIDEO_VBI) ||
        descriptorRange->FormatSize < sizeof(KS_DATARANGE_VIDEO_VBI))
        return STATUS_NO_MATCH;
    const auto* theirs = reinterpret_cast<const UCHAR*>(callerRange);
    const auto* mine = reinterpret_cast<const UCHAR*>(descriptorRange);
    if (!FlagsEqual(theirs, mine) || std::memcmp(theirs + kRangeCapsOffset, mine + kRangeCapsOffset,
                                                 sizeof(KS_VIDEO_STREAM_CONFIG_CAPS)) != 0)
        return STATUS_NO_MATCH;
    KS_VBIINFOHEADER asked;
    KS_VBIINFOHEADER offered;
    std::memcpy(&asked, theirs + kRangeHeaderOffset, sizeof(asked));
    std::memcpy(&offered, mine + kRangeHeaderOffset, sizeof(offered));
    if (!BasicVideoFilter::VbiHeaderFits(asked, offered))
        return STATUS_NO_MATCH;
    KS_DATAFORMAT_VBIINFOHEADER result{};
    std::memcpy(&result.DataFormat, theirs, sizeof(result.DataFormat));
    result.DataFormat.FormatSize = sizeof(result);
    result.VBIInfoHeader = asked;
    std::memcpy(data, &result, sizeof(result));
    return STATUS_SUCCESS;
}

} // namespace

NTSTATUS NTAPI VideoStreamingPin::IntersectHandler(PVOID, PIRP, PKSP_PIN, PKSDATARANGE callerRange,
                                                   PKSDATARANGE descriptorRange, ULONG bufferSize, PVOID data,
                                                   PULONG dataSize)
{
    TRACE_SCOPE(nullptr, "VideoStreamingPin::IntersectHandler", kTraceLowEnter);
    if (callerRange == nullptr || descriptorRange == nullptr || dataSize == nullptr)
        return STATUS_NO_MATCH;
    const GUID& specifier = callerRange->Specifier;
    if (specifier == KSDATAFORMAT_SPECIFIER_VBI)
        return IntersectVbi(callerRange, descriptorRange, bufferSize, data, dataSize);

    ULONG required = 0;
    ULONG rangeBytes = 0;
    size_t bitmapOffset = 0;
    const bool second = specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO2;
    if (specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO) {
        const bool palette = descriptorRange->FormatSize == sizeof(KS_DATARANGE_VIDEO_PALETTE);
        required = palette ? kPaletteResultBytes : kVideoInfoResultBytes;
        rangeBytes = palette ? sizeof(KS_DATARANGE_VIDEO_PALETTE) : sizeof(KS_DATARANGE_VIDEO);
        bitmapOffset = offsetof(KS_VIDEOINFOHEADER, bmiHeader);
    } else if (second) {
        required = kVideoInfo2ResultBytes;
        rangeBytes = sizeof(KS_DATARANGE_VIDEO2);
        bitmapOffset = offsetof(KS_VIDEOINFOHEADER2, bmiHeader);
    } else {
        TRACE_LINE(nullptr, "VideoStreamingPin::IntersectHandler", kTraceErrors,
                   "Invalid data range specifier.");
        return STATUS_NO_MATCH;
    }
    *dataSize = required;
    if (bufferSize == 0)
        return STATUS_BUFFER_OVERFLOW;
    if (bufferSize != required) {
        TRACE_LINE(nullptr, "VideoStreamingPin::IntersectHandler", kTraceErrors,
                   "Provided buffer size is %d and the required buffer size is %d\n",
                   static_cast<int>(bufferSize), static_cast<int>(required));
        return STATUS_BUFFER_TOO_SMALL;
    }
    // The caller's range is read only as far as its own size reaches.
    if (data == nullptr || callerRange->FormatSize < rangeBytes || descriptorRange->FormatSize < rangeBytes)
        return STATUS_NO_MATCH;
    const auto* theirs = reinterpret_cast<const UCHAR*>(callerRange);
    if (!FlagsEqual(theirs, reinterpret_cast<const UCHAR*>(descriptorRange))) {
        TRACE_LINE(nullptr, "VideoStreamingPin::IntersectHandler", kTraceErrors, "Field mismatch");
        return STATUS_NO_MATCH;
    }

    UCHAR result[kPaletteResultBytes] = {};
    std::memcpy(result, theirs, kFormatHeaderBytes);
    std::memcpy(result + kFormatHeaderBytes, theirs + kRangeHeaderOffset, required - kFormatHeaderBytes);
    KSDATAFORMAT head;
    std::memcpy(&head, result, sizeof(head));
    KS_BITMAPINFOHEADER bitmap;
    std::memcpy(&bitmap, result + kFormatHeaderBytes + bitmapOffset, sizeof(bitmap));
    LONGLONG frameTime = 0;
    std::memcpy(&frameTime, result + kFormatHeaderBytes + offsetof(KS_VIDEOINFOHEADER, AvgTimePerFrame),
                sizeof(frameTime));
    // A rate is computed from the frame time, and a size from the picture: neither may be empty.
    if (frameTime <= 0 || bitmap.biWidth <= 0 || bitmap.biBitCount == 0 || bitmap.biHeight == 0)
        return STATUS_NO_MATCH;
    const ULONGLONG height = static_cast<ULONGLONG>(std::llabs(static_cast<LONGLONG>(bitmap.biHeight)));
    const ULONGLONG stride =
        ((ULONGLONG(bitmap.biBitCount) * ULONGLONG(bitmap.biWidth) + 31) / 8) & ~ULONGLONG(3);
    const ULONGLONG imageSize = stride * height;
    if (imageSize > std::numeric_limits<ULONG>::max())
        return STATUS_NO_MATCH;
    bitmap.biSizeImage = static_cast<ULONG>(imageSize);
    head.FormatSize = required;
    head.SampleSize = bitmap.biSizeImage;
    const ULONGLONG bitRate = imageSize * 80000000ULL / static_cast<ULONGLONG>(frameTime);
    const ULONG rate = bitRate > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max()
                                                                   : static_cast<ULONG>(bitRate);
    std::memcpy(result, &head, sizeof(head));
    std::memcpy(result + kFormatHeaderBytes + bitmapOffset, &bitmap, sizeof(bitmap));
    std::memcpy(result + kFormatHeaderBytes + offsetof(KS_VIDEOINFOHEADER, dwBitRate), &rate, sizeof(rate));
    if (second) {
        const ULONG interlace = 0;
        const ULONG aspect[2] = {static_cast<ULONG>(bitmap.biWidth), static_cast<ULONG>(height)};
        std::memcpy(result + kFormatHeaderBytes + offsetof(KS_VIDEOINFOHEADER2, dwInterlaceFlags), &interlace,
                    sizeof(interlace));
        std::memcpy(result + kFormatHeaderBytes + offsetof(KS_VIDEOINFOHEADER2, dwPictAspectRatioX), aspect,
                    sizeof(aspect));
    }
    std::memcpy(data, result, required);
    return STATUS_SUCCESS;
}
