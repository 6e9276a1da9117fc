#include "videochainbuilder.h"

#include "algorithmlist.h"
#include "ccolorspaces.h"
#include "ccrop.h"
#include "cdeinterlace.h"
#include "cdelivercc.h"
#include "cdelivervbidata.h"
#include "clogo.h"
#include "coutcolorspace.h"
#include "coverlaycc.h"
#include "cscale.h"
#include "cseperatevbifromvideo.h"
#include "cvideolos.h"
#include "km/raise.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframerateconverter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr ULONG kFourCCI420 = 0x30323449; // "I420"
constexpr ULONG kFourCCYUY2 = 0x32595559; // "YUY2"
constexpr ULONG kFourCCUYVY = 0x59565955; // "UYVY"

const char* DeinterlaceTypeName(ULONG type)
{
    return type == 1 ? "Bob 0" : type == 2 ? "Bob 1" : "Advanced";
}

const char* ToneName(ULONG tone)
{
    return tone == 0 ? "None" : tone == 1 ? "1kHz" : "3kHz";
}

const char* LossPictureName(ULONG type)
{
    switch (type) {
    case 0: return "SMPTE";
    case 1: return "Solid white";
    case 2: return "Solid yellow";
    case 3: return "Solid cyan";
    case 4: return "Solid green";
    case 5: return "Solid magenta";
    case 7: return "Solid blue";
    default: return "Solid black";
    }
}

const char* ScalingName(ULONG method)
{
    switch (method) {
    case 0: return "Nearest Neighbor";
    case 1: return "Linear";
    case 2: return "Cubic";
    default: return "Lnnczos";
    }
}

LONG Magnitude(LONG value)
{
    return value < 0 ? (value == INT32_MIN ? INT32_MAX : -value) : value;
}

} // namespace

VideoChainBuilder::VideoChainBuilder(const VideoChainSettings& settings, VbiSeparatorStream* stream)
    : m_settings(settings), m_stream(stream)
{
}

NTSTATUS VideoChainBuilder::BuildProcessingSteps(AlgorithmList* list, ULONGLONG* outputInterval)
{
    const LONG pid = static_cast<LONG>(m_settings.pinId);
    try {
        AddSeperateVBIToChain(list);
        if (m_settings.pinId == kVideoPinIdVbi) {
            AddDeliverVBIToChain(list);
            *outputInterval = kVbiOutputInterval;
            TRACE_LINE(this, "VideoChainBuilder::BuildProcessingSteps", kTraceHighs, "Delivering VBI data at 59.94 fps");
            return STATUS_SUCCESS;
        }
        if (m_settings.pinId == kVideoPinIdClosedCaptions) {
            AddDeliverCCToChain(list);
            *outputInterval = kClosedCaptionOutputInterval;
            TRACE_LINE(this, "VideoChainBuilder::BuildProcessingSteps", kTraceHighs, "Delivering CC data at 29.97 fps");
            return STATUS_SUCCESS;
        }
        AddFrameRateConverterToChain(list);
        AddCropperToChain(list);
        AddDeInterlaceToChain(list);
        AddLogoToChain(list);
        AddVideoLOSToChain(list);
        AddOverlayCCToChain(list);
        AddScalerToChain(list);
        AddVideoProcAmpToChain(list);
        AddOutColorSpaceToChain(list);
        *outputInterval = static_cast<ULONGLONG>(m_settings.avgTimePerFrame);
        return STATUS_SUCCESS;
    } catch (const standin::RaisedStatus&) {
        TRACE_LINE(this, "VideoChainBuilder::BuildProcessingSteps", kTraceErrors,
                   "PID=%d, a processing step could not be allocated", pid);
        list->DestroySteps();
        return STATUS_INSUFFICIENT_RESOURCES;
    }
}

void VideoChainBuilder::AddSeperateVBIToChain(AlgorithmList* list)
{
    list->AppendOrRaise(new CSeperateVBIFromVideo(m_stream, reinterpret_cast<const UCHAR*>(&m_settings.inputDetect),
                                           m_settings.separator));
}

void VideoChainBuilder::AddDeliverVBIToChain(AlgorithmList* list)
{
    list->AppendOrRaise(new CDeliverVBIData(m_settings.vbiHeader));
}

void VideoChainBuilder::AddDeliverCCToChain(AlgorithmList* list)
{
    constexpr LONG kCCField = 1;
    constexpr LONG kVbiField = 0;
    TRACE_LINE(this, "VideoChainBuilder::AddDeliverCCToChain", kTraceHighs,
               "Closed Caption settings: CC Field=%d, VBI field=%d", kCCField, kVbiField);
    list->AppendOrRaise(new CDeliverCC(kCCField, 0, kVbiField));
}

ULONG VideoChainBuilder::FrameRateConverterInterval(LONGLONG avgTimePerFrame)
{
    if (avgTimePerFrame == VideoFrameRateConverter::kTelecineOutputIntervalShort)
        return VideoFrameRateConverter::kTelecineOutputInterval;
    return static_cast<ULONG>(avgTimePerFrame);
}

void VideoChainBuilder::AddFrameRateConverterToChain(AlgorithmList* list)
{
    const BrevicorDeinterlaceRecord& record = m_settings.deinterlace;
    list->AppendOrRaise(new VideoFrameRateConverter(FrameRateConverterInterval(m_settings.avgTimePerFrame),
                                             record.inverseTelecineEnable != 0, record.resyncIntervalEnable != 0,
                                             static_cast<LONGLONG>(record.resyncInterval) * 10000,
                                             record.autoDetectTelecine != 0));
}

CropSettings VideoChainBuilder::CropSettingsOf(const BrevicorCropRecord& record)
{
    CropSettings settings = {};
    settings.enabled = record.enable;
    if (record.enable != 1)
        return settings;
    auto word = [](ULONG value) { return static_cast<LONG>(std::min<ULONG>(value, INT32_MAX)); };
    settings.top = word(record.top);
    settings.height = word(record.height);
    settings.left = word(record.left);
    ULONG width = record.width;
    if (record.referenceWidth != 0)
        width = std::min(width, record.referenceWidth > record.left ? record.referenceWidth - record.left : 0u);
    settings.width = word(width);
    settings.referenceHeight = word(record.referenceHeight);
    settings.referenceWidth = word(record.referenceWidth);
    settings.minimumHeight = word(record.minimumHeight);
    settings.minimumWidth = word(record.minimumWidth);
    settings.leftAlignment = word(record.granularityX);
    settings.widthAlignment = word(record.granularityX);
    return settings;
}

void VideoChainBuilder::AddCropperToChain(AlgorithmList* list)
{
    const CropSettings settings = CropSettingsOf(m_settings.crop);
    if (settings.enabled == 1) {
        TRACE_LINE(this, "VideoChainBuilder::AddCropperToChain", kTraceHighs,
                   "Video cropping settings: Top=%d, Left=%d, Bottom=%d, Right=%d", settings.top, settings.left,
                   settings.top + settings.height, settings.left + settings.width);
    }
    list->AppendOrRaise(new CCrop(settings));
}

void VideoChainBuilder::AddDeInterlaceToChain(AlgorithmList* list)
{
    const BrevicorDeinterlaceRecord& record = m_settings.deinterlace;
    if (record.enable != 1)
        return;
    TRACE_LINE(this, "VideoChainBuilder::AddDeInterlaceToChain", kTraceHighs,
               "PID=%d, Video deinterlace settings: Type=%s", static_cast<LONG>(m_settings.pinId),
               DeinterlaceTypeName(record.type));
    // The step takes the record's type as it is: 1 and 2 bob, 3 the advanced pass, any other type
    // (4, which the property set accepts, or 0 from an older key) copies only. The trace names
    // every type but the two bobs "Advanced".
    list->AppendOrRaise(new CDeInterlace(static_cast<LONG>(record.type)));
}

void VideoChainBuilder::AddLogoToChain(AlgorithmList* list)
{
    const BrevicorLogoRecord& record = m_settings.logo;
    if (record.enable == 0)
        return;
    CLogo* logo = list->AppendOrRaise(new CLogo());
    LogoSettings& settings = logo->Settings();
    settings.top = static_cast<LONG>(record.destinationTop);
    settings.left = static_cast<LONG>(record.destinationLeft);
    settings.right = static_cast<LONG>(record.destinationLeft + record.destinationWidth);
    settings.bottom = static_cast<LONG>(record.destinationTop + record.destinationHeight);
    settings.width = static_cast<LONG>(record.destinationWidth);
    settings.height = static_cast<LONG>(record.destinationHeight);
    settings.transparencyEnable = record.transparencyEnable;
    settings.transparencyPercent = record.transparencyEnable != 0 ? static_cast<LONG>(record.transparencyPercent) : 0;
    settings.keyColorEnable = record.keyColorEnable;
    settings.keyColor = record.keyColorEnable != 0 ? record.keyColor : 0;
    settings.duration = record.duration;
    settings.referenceHeight = static_cast<LONG>(record.referenceHeight);
    settings.referenceWidth = static_cast<LONG>(record.referenceWidth);
    settings.originationHeight = static_cast<LONG>(record.originationHeight);
    settings.originationWidth = static_cast<LONG>(record.originationWidth);
    static_assert(sizeof(settings.fileName) == sizeof(record.fileName));
    std::memcpy(settings.fileName, record.fileName, sizeof(settings.fileName));
    settings.fileName[kRecordTextCharacters - 1] = 0;
    TRACE_LINE(this, "VideoChainBuilder::AddLogoToChain", kTraceHighs,
               "Watermark settings: Top=%d, Left=%d, Bottom=%d, Right=%d, Transparency Pct=%d, Color key=0x%08x",
               settings.top, settings.left, settings.bottom, settings.right, settings.transparencyPercent,
               settings.keyColor);
    TRACE_LINE(this, "VideoChainBuilder::AddLogoToChain", kTraceHighs, "                    File Name=%ls",
               settings.fileName);
    logo->InitLogo();
}

void VideoChainBuilder::AddVideoLOSToChain(AlgorithmList* list)
{
    const BrevicorLOSRecord& record = m_settings.los;
    TRACE_LINE(this, "VideoChainBuilder::AddVideoLOSToChain", kTraceHighs,
               "LOS settings: Left audio channel tone=%s, Right audio channel tone=%s, Video Frame=%s",
               ToneName(record.oddChannelsTone), ToneName(record.evenChannelsTone),
               LossPictureName(record.videoSignalType));
    if (record.videoEnable == 0)
        return;
    static_assert(sizeof(BrevicorLOSRecord) == kLossOfSignalRecordBytes);
    CVideoLOS* overlay = list->AppendOrRaise(new CVideoLOS(reinterpret_cast<const UCHAR*>(&record)));
    overlay->InitLOS();
}

void VideoChainBuilder::AddOverlayCCToChain(AlgorithmList* list)
{
    const BrevicorCCRecord& record = m_settings.cc;
    if (record.enable != 1)
        return;
    TRACE_LINE(this, "VideoChainBuilder::AddOverlayCCToChain", kTraceHighs,
               "Video CC Overlay settings: Channel=%d, VBI Field=%d, Top=%d, Left=%d, Height=%d, Width=%d",
               static_cast<LONG>(record.channel), static_cast<LONG>(record.field),
               static_cast<LONG>(record.destinationTop), static_cast<LONG>(record.destinationLeft),
               static_cast<LONG>(record.destinationHeight), static_cast<LONG>(record.destinationWidth));
    static_assert(sizeof(BrevicorCCRecord) == kClosedCaptionRecordBytes);
    COverlayCC* overlay = list->AppendOrRaise(new COverlayCC(reinterpret_cast<const UCHAR*>(&record)));
    overlay->Init();
}

void VideoChainBuilder::AddScalerToChain(AlgorithmList* list)
{
    const ULONG method = m_settings.scalingAlgorithm;
    CScale* scale = list->AppendOrRaise(new CScale(method));
    scale->SetScaling(Magnitude(m_settings.bitmap.biWidth), Magnitude(m_settings.bitmap.biHeight),
                      m_settings.outputWidth, m_settings.outputHeight);
    TRACE_LINE(this, "VideoChainBuilder::AddScalerToChain", kTraceHighs,
               "PID=%d, Video Scaler settings: Height=%d, Width=%d, Algorithm=%s", static_cast<LONG>(m_settings.pinId),
               m_settings.outputHeight, m_settings.outputWidth, ScalingName(method));
}

void VideoChainBuilder::AddVideoProcAmpToChain(AlgorithmList* list)
{
    const BrevicorProcAmpRecord& record = m_settings.procAmp;
    ProcAmpBlock block = {};
    block.hue = record.hue.value;
    block.hueNeutral = 0;
    block.saturation = record.saturation.value;
    block.saturationNeutral = 0;
    block.contrast = record.contrast.value;
    block.contrastNeutral = 100;
    block.gamma = record.gamma.value;
    block.gammaNeutral = 100;
    block.brightness = record.brightness.value;
    block.brightnessNeutral = 0;
    static_assert(sizeof(block.lumaTable) == sizeof(record.gammaTable) &&
                  sizeof(block.sineTable) == sizeof(record.sineTable) &&
                  sizeof(block.cosineTable) == sizeof(record.cosineTable));
    std::memcpy(block.lumaTable, record.gammaTable, sizeof(block.lumaTable));
    std::memcpy(block.sineTable, record.sineTable, sizeof(block.sineTable));
    std::memcpy(block.cosineTable, record.cosineTable, sizeof(block.cosineTable));
    CColorSpaces* procAmp = list->AppendOrRaise(new CColorSpaces());
    procAmp->LoadSettings(block);
    procAmp->UpdateSettings();
    TRACE_LINE(this, "VideoChainBuilder::AddVideoProcAmpToChain", kTraceHighs,
               "Video proc amp settings: Brightness=%d, Contrast=%d, Hue=%d, Saturation=%d, Gamma=%d",
               record.brightness.value, record.contrast.value, record.hue.value, record.saturation.value,
               record.gamma.value);
}

VideoChainBuilder::OutputColorSpace VideoChainBuilder::OutputColorSpaceOf(const KS_BITMAPINFOHEADER& header)
{
    OutputColorSpace result = {COutColorSpace::kRgb32, false};
    switch (header.biCompression) {
    case KS_BI_RGB:
        result.mirror = header.biHeight >= 0;
        if (header.biBitCount == 8)
            result.index = COutColorSpace::kGray;
        else if (header.biBitCount < 24)
            result.index = COutColorSpace::kRgb555;
        else if (header.biBitCount == 24)
            result.index = COutColorSpace::kRgb24;
        else
            result.index = COutColorSpace::kRgb32;
        break;
    case kFourCCI420: result.index = COutColorSpace::kI420; break;
    case kFourCCYUY2: result.index = COutColorSpace::kYuy2; break;
    case kFourCCUYVY: result.index = COutColorSpace::kUyvy; break;
    default: result.index = COutColorSpace::kYvu9; break;
    }
    return result;
}

void VideoChainBuilder::AddOutColorSpaceToChain(AlgorithmList* list)
{
    const LONG pid = static_cast<LONG>(m_settings.pinId);
    const KS_BITMAPINFOHEADER& header = m_settings.bitmap;
    TRACE_LINE(this, "VideoChainBuilder::AddOutColorSpaceToChain", kTraceHighs,
               "PID=%d, ksBitmapInfoHeader.biHeight=%d, ksBitmapInfoHeader.biWidth=%d", pid, header.biHeight,
               header.biWidth);
    const OutputColorSpace space = OutputColorSpaceOf(header);
    static const char* const kNames[] = {"RGB 8", "RGB 15", "RGB 24", "RGB 32", "UYVY", "I420", "YUY2", "YUV9"};
    TRACE_LINE(this, "VideoChainBuilder::AddOutColorSpaceToChain", kTraceHighs, "PID=%d, Video Color space: %s", pid,
               kNames[space.index]);
    TRACE_LINE(this, "VideoChainBuilder::AddOutColorSpaceToChain", kTraceHighs, "PID=%d,     Invert Image: %s", pid,
               space.mirror ? "TRUE" : "FALSE");
    list->AppendOrRaise(new COutColorSpace(space.mirror, space.index));
}
