// The proxy tests' capture filter and crossbar of the test minidriver.
#include "KsMinidriverProxyFilters.h"
#include "KsMinidriverStream.h"

#include <cstring>

namespace kstest {
namespace {

ProxyPinLog g_log;
constexpr ULONG kTag = 0x78505054; // "TPPx"

DEFINE_GUIDSTRUCT_VALUE(kAnalogVideoType, 0x0482DDE1L, 0x7817, 0x11CF, 0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E, 0xCB,
                        0x65);

KS_DATARANGE_VIDEO MakeVideo(const GUID& subFormat, uint16_t bitCount, uint32_t compression)
{
    KS_DATARANGE_VIDEO range{};
    range.DataRange.FormatSize = sizeof range;
    range.DataRange.SampleSize = kMaxWidth * kMaxHeight * bitCount / 8;
    range.DataRange.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
    range.DataRange.SubFormat = subFormat;
    range.DataRange.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    range.bFixedSizeSamples = 1;
    range.StreamDescriptionFlags = 0;
    range.ConfigCaps.guid = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    range.ConfigCaps.VideoStandard = KS_AnalogVideo_NTSC_M;
    range.ConfigCaps.InputSize = {720, 480};
    range.ConfigCaps.MinOutputSize = {80, 60};
    range.ConfigCaps.MaxOutputSize = {int32_t(kMaxWidth), kMaxHeight};
    range.ConfigCaps.OutputGranularityX = 8;
    range.ConfigCaps.OutputGranularityY = 2;
    range.ConfigCaps.MinFrameInterval = 333667;
    range.ConfigCaps.MaxFrameInterval = 333667;
    range.ConfigCaps.MinBitsPerSecond = 0;
    range.ConfigCaps.MaxBitsPerSecond = int32_t(kMaxWidth * kMaxHeight * bitCount * 30);
    range.VideoInfoHeader.AvgTimePerFrame = 333667;
    range.VideoInfoHeader.bmiHeader.biSize = sizeof(KS_BITMAPINFOHEADER);
    range.VideoInfoHeader.bmiHeader.biWidth = int32_t(kMaxWidth);
    range.VideoInfoHeader.bmiHeader.biHeight = kMaxHeight;
    range.VideoInfoHeader.bmiHeader.biPlanes = 1;
    range.VideoInfoHeader.bmiHeader.biBitCount = bitCount;
    range.VideoInfoHeader.bmiHeader.biCompression = compression;
    range.VideoInfoHeader.bmiHeader.biSizeImage = kMaxWidth * kMaxHeight * bitCount / 8;
    return range;
}

const KS_DATARANGE_VIDEO kUyvy = MakeVideo(KSDATAFORMAT_SUBTYPE_UYVY, 16, 0x59565955);
const KS_DATARANGE_VIDEO kRgb32 = MakeVideo(KSDATAFORMAT_SUBTYPE_RGB32, 32, 0);
const PKSDATARANGE kVideoRanges[] = {const_cast<PKSDATARANGE>(&kUyvy.DataRange),
                                     const_cast<PKSDATARANGE>(&kRgb32.DataRange)};

const KSDATARANGE_AUDIO kAudio = {
    {sizeof(KSDATARANGE_AUDIO), 0, 4, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
     KSDATAFORMAT_SPECIFIER_WAVEFORMATEX},
    2, 8, 16, 48000, 48000};
const PKSDATARANGE kAudioRanges[] = {const_cast<PKSDATARANGE>(&kAudio.DataRange)};

const KSDATARANGE kAnalog = {sizeof(KSDATARANGE), 0, 0, 0, kAnalogVideoType, GUID_NULL, KSDATAFORMAT_SPECIFIER_NONE};
const PKSDATARANGE kAnalogRanges[] = {const_cast<PKSDATARANGE>(&kAnalog)};
const KSPIN_MEDIUM kBridgeMedium = {kTestMediumSet, kAnalogMediumId, 0};

const KSALLOCATOR_FRAMING_EX kVideoFraming = {
    1, 0, {1, 1, 0}, 0,
    {{KSMEMORY_TYPE_KERNEL_NONPAGED, GUID_NULL, 0, 0, 0, 4, 0, 0,
      {kMaxWidth * kMaxHeight * 2, kMaxWidth * kMaxHeight * 4, 1},
      {{kMaxWidth * kMaxHeight * 2, kMaxWidth * kMaxHeight * 4, 1}, 0, 0}}}};
const KSALLOCATOR_FRAMING_EX kAudioFraming = {
    1, 0, {1, 1, 0}, 0,
    {{KSMEMORY_TYPE_KERNEL_NONPAGED, GUID_NULL, 0, 0, 0, 4, 0, 0,
      {kAudioBytesPer10ms, kAudioBytesPer10ms, 1},
      {{kAudioBytesPer10ms, kAudioBytesPer10ms, 1}, 0, 0}}}};

NTSTATUS NTAPI SetDataFormat(PKSPIN pin, PKSDATAFORMAT, PKSMULTIPLE_ITEM, const KSDATARANGE*,
                             const KSATTRIBUTE_LIST*)
{
    const ULONG needed = pin->Id == kAudioPin ? ULONG(sizeof(KSDATAFORMAT_WAVEFORMATEX))
                                              : ULONG(sizeof(KS_DATAFORMAT_VIDEOINFOHEADER));
    return pin->ConnectionFormat->FormatSize >= needed ? STATUS_SUCCESS : STATUS_NO_MATCH;
}

NTSTATUS NTAPI SetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from)
{
    {
        std::lock_guard<std::mutex> hold(g_log.lock);
        if (int(to) == g_log.refuseStateTo && (g_log.refusePin < 0 || ULONG(g_log.refusePin) == pin->Id))
            return STATUS_INVALID_DEVICE_STATE;
        g_log.steps.push_back({pin->Id, to});
    }
    auto* context = static_cast<CapturePinContext*>(pin->Context);
    if (to == KSSTATE_RUN)
        return StartCapture(context);
    if (from == KSSTATE_RUN)
        StopCapture(context);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI Process(PKSPIN)
{
    return STATUS_SUCCESS;
}

VOID NTAPI FreeContext(PVOID context)
{
    ExFreePool(context);
}

NTSTATUS NTAPI PinCreate(PKSPIN pin, PIRP)
{
    bool burst = false;
    {
        std::lock_guard<std::mutex> hold(g_log.lock);
        if (g_log.refuseCreate)
            return STATUS_INSUFFICIENT_RESOURCES;
        g_log.creates.push_back(pin->Id);
        burst = g_log.burst;
    }
    auto* context =
        static_cast<CapturePinContext*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(CapturePinContext), kTag));
    if (!context)
        return STATUS_INSUFFICIENT_RESOURCES;
    InitializeCaptureContext(context, pin);
    context->burst = burst;
    // The audio pin asks for extended headers too, as the board's driver does.
    pin->StreamHeaderSize = KS_VIDEO_STREAM_HEADER_SIZE;
    const NTSTATUS status = KsAddItemToObjectBag(pin->Bag, context, FreeContext);
    if (!NT_SUCCESS(status)) {
        ExFreePool(context);
        return status;
    }
    pin->Context = context;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PinClose(PKSPIN pin, PIRP)
{
    StopCapture(static_cast<CapturePinContext*>(pin->Context));
    return STATUS_SUCCESS;
}

// The audio pin's one format: 16-bit 48 kHz stereo PCM.
// 48000 Hz stereo at the caller's largest sample size (16 bits when its range has no bounds).
NTSTATUS NTAPI AudioIntersect(PVOID, PIRP, PKSP_PIN, PKSDATARANGE callerRange, PKSDATARANGE, ULONG bufferSize,
                              PVOID data, PULONG dataSize)
{
    USHORT bits = 16;
    if (callerRange->FormatSize >= sizeof(KSDATARANGE_AUDIO) &&
        callerRange->Specifier == KSDATAFORMAT_SPECIFIER_WAVEFORMATEX) {
        KSDATARANGE_AUDIO theirs;
        std::memcpy(&theirs, callerRange, sizeof theirs);
        if (theirs.MaximumBitsPerSample < 8 || theirs.MaximumBitsPerSample > 16)
            return STATUS_NO_MATCH;
        bits = USHORT(theirs.MaximumBitsPerSample);
    }
    const USHORT align = USHORT(2 * bits / 8);
    KSDATAFORMAT_WAVEFORMATEX format{};
    format.DataFormat.FormatSize = sizeof format;
    format.DataFormat.SampleSize = align;
    format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    format.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    format.WaveFormatEx = {WAVE_FORMAT_PCM, 2, 48000, 48000u * align, align, bits, 0};
    *dataSize = sizeof format;
    if (bufferSize == 0)
        return STATUS_BUFFER_OVERFLOW;
    if (bufferSize < sizeof format)
        return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(data, &format, sizeof format);
    return STATUS_SUCCESS;
}

const KSPIN_DISPATCH kStreamDispatch = {PinCreate, PinClose, Process, nullptr, SetDataFormat, SetDeviceState,
                                        nullptr,   nullptr,  nullptr, nullptr};

const KSPIN_DESCRIPTOR_EX kPins[] = {
    {nullptr,
     nullptr,
     {0, nullptr, 1, &kBridgeMedium, 1, kAnalogRanges, KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_BRIDGE,
      &PINNAME_VIDEO_ANALOGVIDEOIN, nullptr, 0, nullptr},
     0,
     0,
     0,
     nullptr,
     nullptr},
    {&kStreamDispatch,
     nullptr,
     {0, nullptr, 0, nullptr, 2, kVideoRanges, KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_BOTH, &PINNAME_CAPTURE,
      &kVideoPinName, 0, nullptr},
     KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY,
     1,
     0,
     &kVideoFraming,
     nullptr},
    {&kStreamDispatch,
     nullptr,
     {0, nullptr, 0, nullptr, 1, kAudioRanges, KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_BOTH, &PINNAME_CAPTURE,
      &kAudioPinName, 0, nullptr},
     KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY,
     1,
     0,
     &kAudioFraming,
     AudioIntersect},
};

const GUID kCaptureCategories[] = {KSCATEGORY_CAPTURE, KSCATEGORY_VIDEO};
const GUID kCrossbarCategories[] = {KSCATEGORY_CROSSBAR};

} // namespace

const KSFILTER_DESCRIPTOR kProxyCaptureFilter = {nullptr, nullptr, KSFILTER_DESCRIPTOR_VERSION, 0,
                                                 &kProxyCaptureReference, 3, sizeof(KSPIN_DESCRIPTOR_EX), kPins,
                                                 2, kCaptureCategories, 0, 0, nullptr, 0, nullptr, nullptr};
const KSFILTER_DESCRIPTOR kCrossbarFilter = {nullptr, nullptr, KSFILTER_DESCRIPTOR_VERSION, 0,
                                             &kCrossbarReference, 0, sizeof(KSPIN_DESCRIPTOR_EX), nullptr,
                                             1, kCrossbarCategories, 0, 0, nullptr, 0, nullptr, nullptr};

ProxyPinLog& ProxyPins()
{
    return g_log;
}

void ResetProxyPins()
{
    std::lock_guard<std::mutex> hold(g_log.lock);
    g_log.steps.clear();
    g_log.creates.clear();
    g_log.refuseStateTo = -1;
    g_log.refusePin = -1;
    g_log.refuseCreate = false;
    g_log.burst = false;
}

NTSTATUS RegisterCrossbarPins(PDEVICE_OBJECT pdo, ULONG outputMediumId)
{
    int directions[2] = {0, 1};
    KSPIN_MEDIUM mediums[2] = {{KSMEDIUMSETID_Standard, 0, 0}, {kTestMediumSet, outputMediumId, 0}};
    GUID categories[2] = {GUID_NULL, PINNAME_VIDEO_ANALOGVIDEOIN};
    return KsRegisterFilterWithNoKSPins(pdo, &KSCATEGORY_CROSSBAR, 2, directions, mediums, categories);
}

} // namespace kstest
