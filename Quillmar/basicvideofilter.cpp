// BasicVideoFilter: inputs, connector type and current input of the crossbar and video capture
// filters.
#include "basicvideofilter.h"

#include "device.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "pindataranges.h"
#include "videocapturefilter.h"
#include "videoinputitems.h"
#include "videostreamingpin.h"

#include <cstdlib>
#include <cstring>

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

// ---- pin formats ----------------------------------------------------------------------------------

namespace {

constexpr ULONG kFourCCYuy2 = 0x32595559;
constexpr ULONG kFourCCUyvy = 0x59565955;
constexpr ULONG kFourCCI420 = 0x30323449;

NTSTATUS Rejected()
{
    TRACE_LINE(nullptr, "BasicVideoFilter::DispatchPinSetDataFormat", kTraceErrors,
               "*** Format REJECTED !!!! ***");
    return STATUS_NO_MATCH;
}

NTSTATUS CheckFailed(const char* text, int value, int limit)
{
    TRACE_LINE(nullptr, "BasicVideoFilter::DispatchPinSetDataFormat", kTraceErrors, text, value, limit);
    return STATUS_NO_MATCH;
}

bool IsEmpty(const KS_RECT32& rect)
{
    return rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0;
}

NTSTATUS CheckVbiFormat(const KSDATAFORMAT* format, const KSDATARANGE* range)
{
    if (format->MajorFormat != KSDATAFORMAT_TYPE_VBI || format->SubFormat != KSDATAFORMAT_SUBTYPE_RAW8 ||
        format->Specifier != KSDATAFORMAT_SPECIFIER_VBI ||
        format->FormatSize != sizeof(KS_DATAFORMAT_VBIINFOHEADER) ||
        range->FormatSize < sizeof(KS_DATARANGE_VIDEO_VBI))
        return Rejected();
    KS_VBIINFOHEADER asked;
    KS_VBIINFOHEADER offered;
    std::memcpy(&asked, reinterpret_cast<const UCHAR*>(format) + sizeof(KSDATAFORMAT), sizeof(asked));
    std::memcpy(&offered,
                reinterpret_cast<const UCHAR*>(range) + offsetof(KS_DATARANGE_VIDEO_VBI, VBIInfoHeader),
                sizeof(offered));
    return BasicVideoFilter::VbiHeaderFits(asked, offered) ? STATUS_SUCCESS : Rejected();
}

// The capture and preview pins' picture checks; *headerBytes receives the stored form's size.
NTSTATUS CheckPictureFormat(PKSDATAFORMAT format, const KSDATARANGE* range, ULONG* formBytes)
{
    const bool first = format->Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    *formBytes = first ? sizeof(KS_DATAFORMAT_VIDEOINFOHEADER) : sizeof(KS_DATAFORMAT_VIDEOINFOHEADER2);
    const size_t bitmapAt = sizeof(KSDATAFORMAT) + (first ? offsetof(KS_VIDEOINFOHEADER, bmiHeader)
                                                          : offsetof(KS_VIDEOINFOHEADER2, bmiHeader));
    if (format->FormatSize < *formBytes || range->Specifier != format->Specifier)
        return Rejected();
    auto* bytes = reinterpret_cast<UCHAR*>(format);
    KS_BITMAPINFOHEADER bitmap;
    std::memcpy(&bitmap, bytes + bitmapAt, sizeof(bitmap));
    // The bitmap header must be one and lie inside the format.
    if (bitmap.biSize < sizeof(KS_BITMAPINFOHEADER) || bitmap.biSize > format->FormatSize - bitmapAt)
        return Rejected();
    auto* mine = const_cast<PKSDATARANGE>(range);
    const KS_VIDEO_STREAM_CONFIG_CAPS* caps = PinDataRanges::CapsOf(mine);
    const KS_BITMAPINFOHEADER* offered = PinDataRanges::BitmapHeaderOf(mine);
    if (caps == nullptr || offered == nullptr)
        return Rejected();
    KS_VIDEOINFOHEADER header{};
    VideoStreamingPin::ReadVideoHeader(format, &header);
    const KS_RECT32& target = header.rcTarget;
    const LONG height = static_cast<LONG>(std::labs(bitmap.biHeight));

    // Another compression is another range's; another bit count or a target outside the picture
    // would make the steps write past the pin's buffers.
    if (bitmap.biCompression != offered->biCompression || bitmap.biBitCount != offered->biBitCount)
        return Rejected();
    if (!IsEmpty(target) &&
        (target.left < 0 || target.top < 0 || target.right <= target.left || target.bottom <= target.top ||
         target.right > bitmap.biWidth || target.bottom > height))
        return Rejected();
    // Only a target inside the picture has a width that fits in a LONG.
    const LONG width = IsEmpty(target) ? bitmap.biWidth : target.right - target.left;
    if (width < caps->MinOutputSize.cx)
        return CheckFailed("iWidth(%d) >= pDataRangeCaps->MinOutputSize.cx(%d)", width,
                           caps->MinOutputSize.cx);
    if (width > BasicVideoFilter::kMaximumFormatWidth)
        return CheckFailed("iWidth(%d) <= nMaxStrideAdjustedWidth(%d)", width,
                           BasicVideoFilter::kMaximumFormatWidth);
    if (caps->OutputGranularityX > 0 && bitmap.biWidth % caps->OutputGranularityX != 0)
        return CheckFailed("pConnectionBMIHeader->biWidth(%d) % pDataRangeCaps->OutputGranularityX(%d) != 0",
                           bitmap.biWidth, caps->OutputGranularityX);
    if (height < caps->MinOutputSize.cy)
        return CheckFailed("nHeight(%d) >= pDataRangeCaps->MinOutputSize.cy(%d)", height,
                           caps->MinOutputSize.cy);
    if (height > BasicVideoFilter::kMaximumFormatHeight)
        return CheckFailed("nHeight(%d) <=  pDataRangeCaps->MaxOutputSize.cy(%d)", height,
                           BasicVideoFilter::kMaximumFormatHeight);
    if (caps->OutputGranularityY > 0 && height % caps->OutputGranularityY != 0)
        return CheckFailed("nHeight(%d) % pDataRangeCaps->OutputGranularityY(%d)) != 0", height,
                           caps->OutputGranularityY);
    // The buffers are sized for rows rounded up to 16 pixels, rows of the bitmap: a target
    // rectangle narrower than the bitmap is delivered inside the bitmap's rows.
    bitmap.biSizeImage = BasicVideoFilter::RoundedImageSize(
        bitmap.biCompression, bitmap.biBitCount, static_cast<ULONG>(bitmap.biWidth), static_cast<ULONG>(height));
    std::memcpy(bytes + bitmapAt, &bitmap, sizeof(bitmap));
    return STATUS_SUCCESS;
}

} // namespace

bool BasicVideoFilter::VbiHeaderFits(const KS_VBIINFOHEADER& format, const KS_VBIINFOHEADER& range)
{
    return format.StartLine >= range.StartLine && format.EndLine <= range.EndLine &&
           (format.VideoStandard & range.VideoStandard) != 0 &&
           format.SamplesPerLine <= range.SamplesPerLine && format.StrideInBytes == range.StrideInBytes &&
           format.SamplingFrequency == range.SamplingFrequency && format.BufferSize <= range.BufferSize;
}

ULONG BasicVideoFilter::RoundedImageSize(ULONG compression, USHORT bitCount, ULONG width, ULONG height)
{
    const ULONGLONG rounded = (ULONGLONG(width) + 15) & ~ULONGLONG(15);
    ULONGLONG size = 0;
    if (compression == kFourCCYuy2 || compression == kFourCCUyvy)
        size = rounded * height * 2;
    else if (compression == KS_BI_RGB)
        size = bitCount / 8 * rounded * height;
    else if (compression == kFourCCI420)
        // Two chroma planes of half the width and half the rows, an odd height's last row with
        // rows of its own: rounded x height x 3 / 2 for even heights.
        size = rounded * height + rounded * ((ULONGLONG(height) + 1) / 2);
    else
        size = rounded * height * 9 / 8;
    return static_cast<ULONG>(size);
}

NTSTATUS NTAPI BasicVideoFilter::DispatchPinSetDataFormat(PKSPIN pin, PKSDATAFORMAT, PKSMULTIPLE_ITEM,
                                                          const KSDATARANGE* dataRange,
                                                          const KSATTRIBUTE_LIST*)
{
    TRACE_SCOPE(nullptr, "BasicVideoFilter::DispatchPinSetDataFormat", kTraceLowEnter, "PID=%d",
                static_cast<int>(pin->Id));
    PKSDATAFORMAT format = pin->ConnectionFormat;
    if (format == nullptr || dataRange == nullptr)
        return Rejected();
    switch (pin->Id) {
    case VideoStreamingPin::kVbiPinId:
        return CheckVbiFormat(format, dataRange);
    case VideoStreamingPin::kClosedCaptionPinId:
        if (format->MajorFormat != KSDATAFORMAT_TYPE_AUXLine21Data ||
            format->SubFormat != KSDATAFORMAT_SUBTYPE_Line21_BytePair ||
            format->Specifier != KSDATAFORMAT_SPECIFIER_NONE)
            return Rejected();
        return STATUS_SUCCESS;
    case VideoStreamingPin::kCapturePinId:
    case VideoStreamingPin::kPreviewPinId:
        break;
    default:
        // The analog input is the crossbar's bridge: it carries no format of its own.
        return Rejected();
    }
    ULONG formBytes = 0;
    const NTSTATUS status = CheckPictureFormat(format, dataRange, &formBytes);
    if (!NT_SUCCESS(status))
        return status;
    PKSFILTER ksFilter = KsPinGetParentFilter(pin);
    auto* filter = ksFilter != nullptr ? static_cast<VideoCaptureFilter*>(ksFilter->Context) : nullptr;
    if (filter == nullptr)
        return STATUS_UNSUCCESSFUL;
    filter->SetConnectionFormat(pin->Id, format, formBytes);
    // A pin made already keeps the new header; a running one gets its chain rebuilt.
    if (auto* object = static_cast<VideoStreamingPin*>(BasicPin::FromKsPin(pin)))
        object->SaveVideoHeader(format);
    if (pin->DeviceState > KSSTATE_ACQUIRE && filter->GetDevice() != nullptr)
        filter->GetDevice()->ModifyActiveVideoAlgorithmChains(filter, pin->Id);
    return STATUS_SUCCESS;
}
