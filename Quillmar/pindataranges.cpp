// PinDataRanges: the static range tables of the pins.
#include "pindataranges.h"

#include <cstddef>

namespace {

constexpr ULONG FourCC(char a, char b, char c, char d)
{
    return ULONG(UCHAR(a)) | ULONG(UCHAR(b)) << 8 | ULONG(UCHAR(c)) << 16 | ULONG(UCHAR(d)) << 24;
}

struct VideoFormat {
    const GUID* subFormat;
    USHORT bitCount;
    ULONG compression;
};

// RGB32 and UYVY first: the property pages and capture programs ask for those two.
constexpr VideoFormat kFormats[4] = {
    {&KSDATAFORMAT_SUBTYPE_RGB32, 32, KS_BI_RGB},
    {&KSDATAFORMAT_SUBTYPE_UYVY, 16, FourCC('U', 'Y', 'V', 'Y')},
    {&KSDATAFORMAT_SUBTYPE_RGB24, 24, KS_BI_RGB},
    {&KSDATAFORMAT_SUBTYPE_I420, 12, FourCC('I', '4', '2', '0')},
};

// The fields a filter does not change; the standard-dependent ones are filled at create.
constexpr KS_VIDEO_STREAM_CONFIG_CAPS Caps(const GUID& specifier)
{
    KS_VIDEO_STREAM_CONFIG_CAPS caps{};
    caps.guid = specifier;
    caps.VideoStandard = KS_AnalogVideo_NTSC_M;
    caps.InputSize = {720, 487};
    caps.MinCroppingSize = {PinDataRanges::kMinimumOutputWidth, PinDataRanges::kMinimumOutputHeight};
    caps.MaxCroppingSize = {720, 487};
    caps.CropGranularityX = PinDataRanges::kCropGranularityX;
    caps.CropGranularityY = PinDataRanges::kCropGranularityY;
    caps.CropAlignX = PinDataRanges::kCropGranularityX;
    caps.CropAlignY = PinDataRanges::kCropGranularityY;
    caps.MinOutputSize = {PinDataRanges::kMinimumOutputWidth, PinDataRanges::kMinimumOutputHeight};
    caps.MaxOutputSize = {720, 487};
    caps.OutputGranularityX = PinDataRanges::kOutputGranularityX;
    caps.OutputGranularityY = PinDataRanges::kOutputGranularityY;
    caps.MinFrameInterval = 166666;
    caps.MaxFrameInterval = PinDataRanges::kMaximumFrameInterval;
    return caps;
}

constexpr KSDATARANGE Head(ULONG size, const GUID& major, const GUID& sub, const GUID& specifier)
{
    KSDATARANGE head{};
    head.FormatSize = size;
    head.MajorFormat = major;
    head.SubFormat = sub;
    head.Specifier = specifier;
    return head;
}

constexpr KS_BITMAPINFOHEADER Bitmap(const VideoFormat& format)
{
    KS_BITMAPINFOHEADER bitmap{};
    bitmap.biSize = sizeof(KS_BITMAPINFOHEADER);
    bitmap.biWidth = 720;
    bitmap.biHeight = 487;
    bitmap.biPlanes = 1;
    bitmap.biBitCount = format.bitCount;
    bitmap.biCompression = format.compression;
    bitmap.biSizeImage = 720u * 487u * format.bitCount / 8u;
    return bitmap;
}

constexpr KS_DATARANGE_VIDEO VideoInfoRange(const VideoFormat& format)
{
    KS_DATARANGE_VIDEO range{};
    range.DataRange =
        Head(sizeof(range), KSDATAFORMAT_TYPE_VIDEO, *format.subFormat, KSDATAFORMAT_SPECIFIER_VIDEOINFO);
    range.bFixedSizeSamples = 1;
    range.ConfigCaps = Caps(KSDATAFORMAT_SPECIFIER_VIDEOINFO);
    range.VideoInfoHeader.AvgTimePerFrame = 333667;
    range.VideoInfoHeader.bmiHeader = Bitmap(format);
    return range;
}

constexpr KS_DATARANGE_VIDEO2 VideoInfo2Range(const VideoFormat& format)
{
    KS_DATARANGE_VIDEO2 range{};
    range.DataRange =
        Head(sizeof(range), KSDATAFORMAT_TYPE_VIDEO, *format.subFormat, KSDATAFORMAT_SPECIFIER_VIDEOINFO2);
    range.bFixedSizeSamples = 1;
    range.ConfigCaps = Caps(KSDATAFORMAT_SPECIFIER_VIDEOINFO2);
    range.VideoInfoHeader.AvgTimePerFrame = 333667;
    range.VideoInfoHeader.dwPictAspectRatioX = 4;
    range.VideoInfoHeader.dwPictAspectRatioY = 3;
    range.VideoInfoHeader.bmiHeader = Bitmap(format);
    return range;
}

// Line 21 and the other VBI lines of each field, sampled at 8 times the colour subcarrier
// (525 lines) or the equivalent rate of the 625-line standard; one field a buffer.
constexpr KS_DATARANGE_VIDEO_VBI VbiRange(ULONG standard, ULONG startLine, ULONG endLine, ULONG frequency,
                                          ULONG samples, LONGLONG interval)
{
    KS_DATARANGE_VIDEO_VBI range{};
    range.DataRange =
        Head(sizeof(range), KSDATAFORMAT_TYPE_VBI, KSDATAFORMAT_SUBTYPE_RAW8, KSDATAFORMAT_SPECIFIER_VBI);
    range.bFixedSizeSamples = 1;
    range.ConfigCaps.guid = KSDATAFORMAT_SPECIFIER_VBI;
    range.ConfigCaps.VideoStandard = standard;
    range.ConfigCaps.InputSize = {LONG(samples), LONG(endLine - startLine + 1)};
    range.ConfigCaps.MinCroppingSize = range.ConfigCaps.MaxCroppingSize = range.ConfigCaps.InputSize;
    range.ConfigCaps.MinOutputSize = range.ConfigCaps.MaxOutputSize = range.ConfigCaps.InputSize;
    range.ConfigCaps.CropGranularityX = range.ConfigCaps.CropGranularityY = 1;
    range.ConfigCaps.OutputGranularityX = range.ConfigCaps.OutputGranularityY = 1;
    range.ConfigCaps.MinFrameInterval = range.ConfigCaps.MaxFrameInterval = interval;
    const LONG bits = LONG(samples * (endLine - startLine + 1) * 8 * (10000000 / interval));
    range.ConfigCaps.MinBitsPerSecond = range.ConfigCaps.MaxBitsPerSecond = bits;
    KS_VBIINFOHEADER& header = range.VBIInfoHeader;
    header.StartLine = startLine;
    header.EndLine = endLine;
    header.SamplingFrequency = frequency;
    header.MinLineStartTime = header.MaxLineStartTime = header.ActualLineStartTime = 780;
    header.ActualLineEndTime = 5780;
    header.VideoStandard = standard;
    header.SamplesPerLine = samples;
    header.StrideInBytes = samples;
    header.BufferSize = samples * (endLine - startLine + 1);
    return range;
}

constinit KS_DATARANGE_VIDEO g_videoInfo[4] = {VideoInfoRange(kFormats[0]), VideoInfoRange(kFormats[1]),
                                               VideoInfoRange(kFormats[2]), VideoInfoRange(kFormats[3])};
constinit KS_DATARANGE_VIDEO2 g_videoInfo2[4] = {VideoInfo2Range(kFormats[0]), VideoInfo2Range(kFormats[1]),
                                                 VideoInfo2Range(kFormats[2]), VideoInfo2Range(kFormats[3])};

constinit KS_DATARANGE_ANALOGVIDEO g_analogVideoIn = {
    Head(sizeof(KS_DATARANGE_ANALOGVIDEO), KSDATAFORMAT_TYPE_ANALOGVIDEO, KSDATAFORMAT_SUBTYPE_NONE,
         KSDATAFORMAT_SPECIFIER_ANALOGVIDEO),
    {{0, 0, 0, 0}, {0, 0, 0, 0}, 1920, 1080, 166666},
};

// The VBI range is packed to 252 bytes: kept apart, each starts on the 8 bytes its head needs.
alignas(8) constinit KS_DATARANGE_VIDEO_VBI g_vbi525 = VbiRange(KS_AnalogVideo_NTSC_M, 10, 21, 28636360, 1600,
                                                                166833);
alignas(8) constinit KS_DATARANGE_VIDEO_VBI g_vbi625 = VbiRange(KS_AnalogVideo_PAL_B | KS_AnalogVideo_PAL_D |
                                                                    KS_AnalogVideo_PAL_G |
                                                                    KS_AnalogVideo_PAL_H |
                                                                    KS_AnalogVideo_PAL_I,
                                                                6, 22, 35468950, 2048, 200000);

constinit KSDATARANGE g_closedCaptions =
    Head(sizeof(KSDATARANGE), KSDATAFORMAT_TYPE_AUXLine21Data, KSDATAFORMAT_SUBTYPE_Line21_BytePair,
         KSDATAFORMAT_SPECIFIER_NONE);

constinit KSDATARANGE_AUDIO g_audioCapture = {
    Head(sizeof(KSDATARANGE_AUDIO), KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
         KSDATAFORMAT_SPECIFIER_WAVEFORMATEX),
    2,
    8,
    32,
    32000,
    48000,
};

constinit KSDATARANGE g_audioInput = Head(sizeof(KSDATARANGE), KSDATAFORMAT_TYPE_AUDIO,
                                          KSDATAFORMAT_SUBTYPE_ANALOG, KSDATAFORMAT_SPECIFIER_NONE);

bool IsVideoInfo(PKSDATARANGE range)
{
    return range != nullptr && range->FormatSize >= sizeof(KS_DATARANGE_VIDEO) &&
           range->Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO;
}

bool IsVideoInfo2(PKSDATARANGE range)
{
    return range != nullptr && range->FormatSize >= sizeof(KS_DATARANGE_VIDEO2) &&
           range->Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO2;
}

} // namespace

const PKSDATARANGE PinDataRanges::kVideoRanges[kVideoRangeCount] = {
    &g_videoInfo[0].DataRange,  &g_videoInfo[1].DataRange,  &g_videoInfo[2].DataRange,
    &g_videoInfo[3].DataRange,  &g_videoInfo2[0].DataRange, &g_videoInfo2[1].DataRange,
    &g_videoInfo2[2].DataRange, &g_videoInfo2[3].DataRange,
};
const PKSDATARANGE PinDataRanges::kAnalogVideoInRanges[1] = {&g_analogVideoIn.DataRange};
const PKSDATARANGE PinDataRanges::kVbiRanges[2] = {&g_vbi525.DataRange, &g_vbi625.DataRange};
const PKSDATARANGE PinDataRanges::kVbiRanges525[1] = {&g_vbi525.DataRange};
const PKSDATARANGE PinDataRanges::kClosedCaptionRanges[1] = {&g_closedCaptions};
const PKSDATARANGE PinDataRanges::kAudioCaptureRanges[1] = {&g_audioCapture.DataRange};
const PKSDATARANGE PinDataRanges::kAudioInputRanges[1] = {&g_audioInput};

KS_VIDEO_STREAM_CONFIG_CAPS* PinDataRanges::CapsOf(PKSDATARANGE range)
{
    if (!IsVideoInfo(range) && !IsVideoInfo2(range))
        return nullptr;
    return &reinterpret_cast<KS_DATARANGE_VIDEO*>(range)->ConfigCaps;
}

KS_BITMAPINFOHEADER* PinDataRanges::BitmapHeaderOf(PKSDATARANGE range)
{
    if (IsVideoInfo(range))
        return &reinterpret_cast<KS_DATARANGE_VIDEO*>(range)->VideoInfoHeader.bmiHeader;
    if (IsVideoInfo2(range))
        return &reinterpret_cast<KS_DATARANGE_VIDEO2*>(range)->VideoInfoHeader.bmiHeader;
    return nullptr;
}
