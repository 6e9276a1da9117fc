// The test minidriver's capture pin: two video ranges (UYVY and RGB32, each with a small video-info
// block), an intersect handler that answers the pin's range with the caller's size when it fits,
// SetDataFormat, SetDeviceState and Create that record their calls and fail when told to, and the
// state steps that start and stop the frame generator (KsMinidriverStream.cpp).
#include "KsMinidriver.h"
#include "KsMinidriverStream.h"

#include <cstring>
#include <mutex>

namespace kstest {
namespace {

PinLog g_pin;

constexpr ULONG kTag = 0x6E695054; // "TPin"

constexpr VideoRange MakeRange(const GUID& subFormat, uint16_t bitCount, uint32_t compression)
{
    VideoRange range{};
    range.head.FormatSize = sizeof(VideoRange);
    range.head.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
    range.head.SubFormat = subFormat;
    range.head.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    range.info.width = kMaxWidth;
    range.info.height = kMaxHeight;
    range.info.bitCount = bitCount;
    range.info.compression = compression;
    range.info.sizeImage = kMaxWidth * kMaxHeight * bitCount / 8;
    range.info.avgTimePerFrame = 333667;
    return range;
}

const VideoRange kUyvy = MakeRange(KSDATAFORMAT_SUBTYPE_UYVY, 16, 0x59565955);
const VideoRange kRgb32 = MakeRange(KSDATAFORMAT_SUBTYPE_RGB32, 32, 0);
const PKSDATARANGE kRanges[] = {const_cast<PKSDATARANGE>(&kUyvy.head), const_cast<PKSDATARANGE>(&kRgb32.head)};

const KSALLOCATOR_FRAMING_EX kFraming = {
    1, 0, {1, 1, 0}, 0,
    {{KSMEMORY_TYPE_KERNEL_NONPAGED, GUID_NULL, 0, 0, 0, 4, 0, 0,
      {kMaxWidth * kMaxHeight * 2, kMaxWidth * kMaxHeight * 4, 1},
      {{kMaxWidth * kMaxHeight * 2, kMaxWidth * kMaxHeight * 4, 1}, 0, 0}}}};

NTSTATUS NTAPI SetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat, PKSMULTIPLE_ITEM, const KSDATARANGE* range,
                             const KSATTRIBUTE_LIST*)
{
    std::lock_guard<std::mutex> hold(g_pin.lock);
    g_pin.calls.push_back(oldFormat ? "format-change" : "format");
    g_pin.lastRange = range == &kUyvy.head ? 0 : 1;
    if (g_pin.refuseFormat)
        return STATUS_INVALID_PARAMETER;
    // The driver's own check: a video format carries its info block whole.
    return pin->ConnectionFormat->FormatSize >= sizeof(VideoRange) ? STATUS_SUCCESS : STATUS_NO_MATCH;
}

NTSTATUS NTAPI SetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from)
{
    {
        std::lock_guard<std::mutex> hold(g_pin.lock);
        g_pin.steps.push_back({to, from});
        if (pin->DeviceState != from)
            g_pin.calls.push_back("state out of step");
        if (int(to) == g_pin.refuseStateTo)
            return STATUS_INVALID_DEVICE_STATE;
    }
    auto* context = static_cast<CapturePinContext*>(pin->Context);
    if (to == KSSTATE_RUN)
        return StartCapture(context);
    if (from == KSSTATE_RUN)
        StopCapture(context);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI Process(PKSPIN pin)
{
    bool takeControl = false;
    {
        std::unique_lock<std::mutex> hold(g_pin.lock);
        ++g_pin.processCalls;
        takeControl = g_pin.processTakesControl;
        if (!g_pin.processGateOpen) {
            g_pin.inGatedProcess = true;
            g_pin.changed.notify_all();
            g_pin.changed.wait(hold, [] { return g_pin.processGateOpen; });
            g_pin.inGatedProcess = false;
        }
    }
    if (takeControl) {
        KsAcquireControl(pin);
        KsReleaseControl(pin);
    }
    // Frames are filled by the generator on its own schedule, not here.
    return STATUS_SUCCESS;
}

VOID NTAPI FreePinContext(PVOID context)
{
    ++Seen().bagItemsFreed;
    ExFreePool(context);
}

NTSTATUS NTAPI PinCreate(PKSPIN pin, PIRP)
{
    bool vbi = false;
    {
        std::lock_guard<std::mutex> hold(g_pin.lock);
        g_pin.calls.push_back("create");
        if (g_pin.refuseCreate)
            return STATUS_INSUFFICIENT_RESOURCES;
        vbi = g_pin.vbiHeaders;
    }
    auto* context =
        static_cast<CapturePinContext*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(CapturePinContext), kTag));
    if (!context)
        return STATUS_INSUFFICIENT_RESOURCES;
    InitializeCaptureContext(context, pin);
    pin->StreamHeaderSize = vbi ? KS_VBI_STREAM_HEADER_SIZE : KS_VIDEO_STREAM_HEADER_SIZE;
    const NTSTATUS status = KsAddItemToObjectBag(pin->Bag, context, FreePinContext);
    if (!NT_SUCCESS(status)) {
        ExFreePool(context);
        return status;
    }
    pin->Context = context;
    std::lock_guard<std::mutex> hold(g_pin.lock);
    g_pin.openPin = pin;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PinClose(PKSPIN pin, PIRP)
{
    // A refused step down from Run still leaves Run at close: the generator must not outlive the pin.
    StopCapture(static_cast<CapturePinContext*>(pin->Context));
    std::lock_guard<std::mutex> hold(g_pin.lock);
    g_pin.calls.push_back("close");
    g_pin.openPin = nullptr;
    return STATUS_SUCCESS;
}

// The pin's range as a format, at the caller's size when the caller's range names one within ours.
NTSTATUS NTAPI Intersect(PVOID, PIRP, PKSP_PIN, PKSDATARANGE theirs, PKSDATARANGE mine, ULONG bufferSize,
                         PVOID data, PULONG dataSize)
{
    *dataSize = sizeof(VideoRange);
    VideoRange format;
    std::memcpy(&format, mine, sizeof format);
    if (theirs->FormatSize >= sizeof(VideoRange)) {
        VideoInfo wanted;
        std::memcpy(&wanted, reinterpret_cast<const UCHAR*>(theirs) + sizeof(KSDATARANGE), sizeof wanted);
        if (wanted.width > format.info.width || wanted.height > format.info.height)
            return STATUS_NO_MATCH;
        format.info.width = wanted.width;
        format.info.height = wanted.height;
        format.info.sizeImage = wanted.width * wanted.height * format.info.bitCount / 8;
    }
    if (bufferSize == 0)
        return STATUS_BUFFER_OVERFLOW;
    if (bufferSize < sizeof format)
        return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(data, &format, sizeof format);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI GetPinValue(PIRP irp, PKSIDENTIFIER, PVOID data)
{
    PKSPIN pin = KsGetPinFromIrp(irp);
    const ULONG words[2] = {*static_cast<ULONG*>(pin->Context),
                            KsPinGetParentFilter(pin) == KsGetFilterFromIrp(irp) ? 1u : 0u};
    std::memcpy(data, words, sizeof words);
    irp->IoStatus.Information = sizeof words;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI GetHeldFrames(PIRP irp, PKSIDENTIFIER, PVOID data)
{
    const ULONG count = HeldFrameCount(static_cast<CapturePinContext*>(KsGetPinFromIrp(irp)->Context));
    std::memcpy(data, &count, sizeof count);
    irp->IoStatus.Information = sizeof count;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI SetHeldFrames(PIRP irp, PKSIDENTIFIER, PVOID data)
{
    ULONG mode = 0;
    std::memcpy(&mode, data, sizeof mode);
    if (mode > kReleaseHeld)
        return STATUS_INVALID_PARAMETER;
    SetHoldFrames(static_cast<CapturePinContext*>(KsGetPinFromIrp(irp)->Context), mode == kHoldFrames,
                  mode == kReleaseHeld);
    return STATUS_SUCCESS;
}

const KSPROPERTY_ITEM kPinItems[] = {
    {kPinValue, GetPinValue, sizeof(KSPROPERTY), 2 * sizeof(ULONG), nullptr, nullptr, 0, nullptr, nullptr, 0},
    {kHeldFrames, GetHeldFrames, sizeof(KSPROPERTY), sizeof(ULONG), SetHeldFrames, nullptr, 0, nullptr, nullptr, 0}};
const KSPROPERTY_SET kPinSets[] = {{&kPinPropertySet, 2, kPinItems, 0, nullptr}};
const KSAUTOMATION_TABLE kPinAutomation = {1, sizeof(KSPROPERTY_ITEM), kPinSets, 0, 0, nullptr, 0, 0, nullptr, nullptr};

const KSPIN_DISPATCH kPinDispatch = {PinCreate, PinClose, Process, nullptr, SetDataFormat, SetDeviceState,
                                     nullptr,   nullptr,  nullptr, nullptr};

} // namespace

const KSPIN_DESCRIPTOR_EX kCapturePins[kPinCount] = {
    {&kPinDispatch,
     &kPinAutomation,
     {0, nullptr, 0, nullptr, 2, kRanges, KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_BOTH, &PINNAME_CAPTURE,
      &kCapturePinName, 0, nullptr},
     KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY,
     1,
     0,
     &kFraming,
     Intersect},
};

PinLog& Pin()
{
    return g_pin;
}

void ResetPin()
{
    std::lock_guard<std::mutex> hold(g_pin.lock);
    g_pin.calls.clear();
    g_pin.steps.clear();
    g_pin.lastRange = -1;
    g_pin.refuseFormat = false;
    g_pin.refuseCreate = false;
    g_pin.refuseStateTo = -1;
    g_pin.vbiHeaders = false;
    g_pin.processCalls = 0;
    g_pin.processTakesControl = false;
    g_pin.processGateOpen = true;
    g_pin.inGatedProcess = false;
    g_pin.openPin = nullptr;
}

const VideoRange& CaptureRange(int index)
{
    return index == 0 ? kUyvy : kRgb32;
}

} // namespace kstest
