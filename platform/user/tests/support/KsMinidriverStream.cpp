// The test minidriver's frame generator: a system thread that, each frame period of the machine's
// clock, takes the pin's leading edge locked, writes a synthetic frame (at most the client buffer's
// size), fills in the header and its extended part (video or VBI, by the pin's header size) and
// ejects the frame. A frame period with no client frame queued counts as a drop. In the hold mode
// it clones the pointer first and keeps the clone, so the frame stays with the pin until the clone
// is deleted: when told to, or when the frame's request is cancelled. The stand-in has no kernel
// timers, so a thread waiting on its stop event with the period as time-out plays the timer.
#include "KsMinidriverStream.h"

#include <algorithm>
#include <cstring>

namespace kstest {
namespace {

constexpr LONGLONG kDefaultPeriod = 333667; // 29.97 frames a second
constexpr ULONG kVbiSamplingFrequency = 28636363;
constexpr ACCESS_MASK kThreadAllAccess = 0x1F03FF;

CapturePinContext* ContextOf(PKSPIN pin)
{
    return static_cast<CapturePinContext*>(pin->Context);
}

// Takes the clone off the held list; false when it is not there (already taken by someone else).
bool TakeHeld(CapturePinContext* context, PKSSTREAM_POINTER clone)
{
    KIRQL irql;
    KeAcquireSpinLock(&context->heldLock, &irql);
    bool found = false;
    for (ULONG i = 0; i < context->heldCount; ++i) {
        if (context->held[i] == clone) {
            std::memmove(&context->held[i], &context->held[i + 1],
                         (context->heldCount - i - 1) * sizeof(PKSSTREAM_POINTER));
            --context->heldCount;
            found = true;
            break;
        }
    }
    KeReleaseSpinLock(&context->heldLock, irql);
    return found;
}

// The framework cancelled the request of a held frame: let the frame go.
VOID NTAPI HeldFrameCancelled(PKSSTREAM_POINTER clone)
{
    if (TakeHeld(ContextOf(clone->Pin), clone))
        KsStreamPointerDelete(clone);
}

void FillHeader(CapturePinContext* context, PKSSTREAM_HEADER header, ULONG bytes, LONGLONG number)
{
    header->DataUsed = bytes;
    header->PresentationTime.Time = context->clock ? context->clock->GetTime() : number * context->period;
    header->PresentationTime.Numerator = 1;
    header->PresentationTime.Denominator = 1;
    header->Duration = context->period;
    header->OptionsFlags = KSSTREAM_HEADER_OPTIONSF_SPLICEPOINT | KSSTREAM_HEADER_OPTIONSF_TIMEVALID |
                          KSSTREAM_HEADER_OPTIONSF_DURATIONVALID;
    auto* extended = reinterpret_cast<PUCHAR>(header) + sizeof(KSSTREAM_HEADER);
    // The framework refused headers smaller than the pin's size, so the extended part is there.
    if (context->pin->StreamHeaderSize == KS_VBI_STREAM_HEADER_SIZE) {
        KS_VBI_FRAME_INFO info{};
        info.ExtendedHeaderSize = sizeof info;
        info.dwFrameFlags = (number & 1) ? KS_VBI_FLAG_FIELD2 : KS_VBI_FLAG_FIELD1;
        info.PictureNumber = number;
        info.DropCount = context->dropped;
        info.dwSamplingFrequency = kVbiSamplingFrequency;
        info.VBIInfoHeader.StartLine = kVbiStartLine;
        info.VBIInfoHeader.EndLine = kVbiEndLine;
        info.VBIInfoHeader.SamplingFrequency = kVbiSamplingFrequency;
        info.VBIInfoHeader.SamplesPerLine = kVbiSamplesPerLine;
        info.VBIInfoHeader.StrideInBytes = kVbiSamplesPerLine;
        info.VBIInfoHeader.BufferSize = kVbiSamplesPerLine * (kVbiEndLine - kVbiStartLine + 1);
        std::memcpy(extended, &info, sizeof info);
    } else if (context->pin->StreamHeaderSize == KS_VIDEO_STREAM_HEADER_SIZE) {
        KS_FRAME_INFO info{};
        info.ExtendedHeaderSize = sizeof info;
        info.dwFrameFlags = KS_VIDEO_FLAG_FRAME;
        info.PictureNumber = number;
        info.DropCount = context->dropped;
        std::memcpy(extended, &info, sizeof info);
    }
}

void ProduceFrame(CapturePinContext* context)
{
    const LONGLONG number = context->produced++;
    PKSSTREAM_POINTER pointer = KsPinGetLeadingEdgeStreamPointer(context->pin, KSSTREAM_POINTER_STATE_LOCKED);
    if (!pointer) {
        ++context->dropped;
        return;
    }
    // Never past the client's buffer, whatever the format says a frame needs.
    const ULONG bytes = pointer->OffsetOut.Data ? std::min(context->frameSize, pointer->OffsetOut.Count) : 0;
    for (ULONG i = 0; i < bytes; ++i)
        pointer->OffsetOut.Data[i] = FramePattern(number, i);
    pointer->OffsetOut.Remaining = 0;
    FillHeader(context, pointer->StreamHeader, bytes, number);

    KIRQL irql;
    KeAcquireSpinLock(&context->heldLock, &irql);
    const bool hold = context->holdFrames && context->heldCount < kMaxHeldFrames;
    KeReleaseSpinLock(&context->heldLock, irql);
    PKSSTREAM_POINTER clone = nullptr;
    if (hold && NT_SUCCESS(KsStreamPointerClone(pointer, HeldFrameCancelled, 0, &clone))) {
        // Unlocked, so that a step to Stop does not wait for it.
        KsStreamPointerUnlock(clone, FALSE);
        KeAcquireSpinLock(&context->heldLock, &irql);
        context->held[context->heldCount++] = clone;
        KeReleaseSpinLock(&context->heldLock, irql);
    }
    KsStreamPointerUnlock(pointer, TRUE);
}

VOID NTAPI GeneratorThread(PVOID start)
{
    auto* context = static_cast<CapturePinContext*>(start);
    for (;;) {
        LARGE_INTEGER timeout;
        timeout.QuadPart = -context->period;
        if (KeWaitForSingleObject(&context->stop, Executive, KernelMode, FALSE, &timeout) != STATUS_TIMEOUT)
            return;
        ProduceFrame(context);
    }
}

} // namespace

void InitializeCaptureContext(CapturePinContext* context, PKSPIN pin)
{
    std::memset(context, 0, sizeof *context);
    context->value = pin->Id + 0x100;
    context->pin = pin;
    KeInitializeEvent(&context->stop, NotificationEvent, FALSE);
    KeInitializeSpinLock(&context->heldLock);
}

NTSTATUS StartCapture(CapturePinContext* context)
{
    const PKSDATAFORMAT connection = context->pin->ConnectionFormat;
    if (connection->Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO &&
        connection->FormatSize >= sizeof(KS_DATAFORMAT_VIDEOINFOHEADER)) {
        KS_DATAFORMAT_VIDEOINFOHEADER format;
        std::memcpy(&format, connection, sizeof format);
        context->frameSize = format.VideoInfoHeader.bmiHeader.biSizeImage;
        context->period = format.VideoInfoHeader.AvgTimePerFrame ? format.VideoInfoHeader.AvgTimePerFrame
                                                                 : kDefaultPeriod;
    } else if (connection->Specifier == KSDATAFORMAT_SPECIFIER_WAVEFORMATEX &&
               connection->FormatSize >= sizeof(KSDATAFORMAT_WAVEFORMATEX)) {
        // Audio: one block each 10 ms.
        KSDATAFORMAT_WAVEFORMATEX format;
        std::memcpy(&format, connection, sizeof format);
        context->frameSize = format.WaveFormatEx.nAvgBytesPerSec / 100;
        context->period = 100000;
    } else {
        VideoRange format{};
        std::memcpy(&format, connection, std::min<size_t>(sizeof format, connection->FormatSize));
        context->frameSize = format.info.sizeImage;
        context->period = format.info.avgTimePerFrame ? LONGLONG(format.info.avgTimePerFrame) : kDefaultPeriod;
    }
    if (!NT_SUCCESS(KsPinGetReferenceClockInterface(context->pin, &context->clock)))
        context->clock = nullptr; // no master clock: times count frame periods
    KeClearEvent(&context->stop);
    HANDLE handle = nullptr;
    NTSTATUS status = PsCreateSystemThread(&handle, kThreadAllAccess, nullptr, nullptr, nullptr, GeneratorThread,
                                           context);
    if (NT_SUCCESS(status)) {
        status = ObReferenceObjectByHandle(handle, SYNCHRONIZE, *PsThreadType, KernelMode,
                                           reinterpret_cast<PVOID*>(&context->thread), nullptr);
        if (!NT_SUCCESS(status)) {
            // Without the thread object there is no waiting for it: stop it through its event.
            KeSetEvent(&context->stop, IO_NO_INCREMENT, FALSE);
        }
        ZwClose(handle);
    }
    if (!NT_SUCCESS(status) && context->clock) {
        context->clock->Release();
        context->clock = nullptr;
    }
    return status;
}

void StopCapture(CapturePinContext* context)
{
    if (!context->thread)
        return;
    KeSetEvent(&context->stop, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(context->thread, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(context->thread);
    context->thread = nullptr;
    if (context->clock) {
        context->clock->Release();
        context->clock = nullptr;
    }
}

void SetHoldFrames(CapturePinContext* context, bool hold, bool release)
{
    PKSSTREAM_POINTER released[kMaxHeldFrames];
    ULONG count = 0;
    KIRQL irql;
    KeAcquireSpinLock(&context->heldLock, &irql);
    context->holdFrames = hold;
    if (release) {
        count = context->heldCount;
        std::memcpy(released, context->held, count * sizeof(PKSSTREAM_POINTER));
        context->heldCount = 0;
    }
    KeReleaseSpinLock(&context->heldLock, irql);
    // Outside the lock: a deleted clone may complete its request.
    for (ULONG i = 0; i < count; ++i)
        KsStreamPointerDelete(released[i]);
}

ULONG HeldFrameCount(CapturePinContext* context)
{
    KIRQL irql;
    KeAcquireSpinLock(&context->heldLock, &irql);
    const ULONG count = context->heldCount;
    KeReleaseSpinLock(&context->heldLock, irql);
    return count;
}

} // namespace kstest
