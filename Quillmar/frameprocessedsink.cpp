// FrameProcessedSink: delivery of processed frames into a pin's client buffers (see
// frameprocessedsink.h).
#include "frameprocessedsink.h"

#include "audioframe.h"
#include "fastmemorycopy.h"
#include "frame.h"
#include "km/raise.h"
#include "km/time.h"
#include "messages/Talvexon.h"
#include "roundtoint.h"
#include "streamingpininterface.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <algorithm>
#include <cstring>

namespace {

ULONGLONG ReadCounter()
{
    return static_cast<ULONGLONG>(KeQueryPerformanceCounter(nullptr).QuadPart);
}

// Ticks as hundredths of a millisecond.
ULONGLONG Hundredths(ULONGLONG ticks, ULONGLONG frequency)
{
    return frequency == 0 ? 0 : ticks * 100000 / frequency;
}

bool IsEmpty(const KS_VBIINFOHEADER& header)
{
    static const KS_VBIINFOHEADER kZero{};
    return std::memcmp(&header, &kZero, sizeof header) == 0;
}

} // namespace

FrameProcessedSink::FrameProcessedSink(StreamingPinInterface* pin) : Algorithm(kAlgorithmIdProcessingSink)
{
    TRACE_SCOPE(this, "FrameProcessedSink::FrameProcessedSink", kTraceLowEnter, "pPin=0x%p", pin);
    SetPin(pin);
    LARGE_INTEGER frequency{};
    KeQueryPerformanceCounter(&frequency);
    m_timerFrequency = static_cast<ULONGLONG>(frequency.QuadPart);
    TRACE_LINE(this, "FrameProcessedSink::FrameProcessedSink", kTraceHighs, "Performance Tick Frequency = %I64u",
               m_timerFrequency);
}

FrameProcessedSink::~FrameProcessedSink()
{
    TRACE_SCOPE(this, "FrameProcessedSink::~FrameProcessedSink", kTraceLowEnter);
    if (m_heldPointer != nullptr) {
        KsStreamPointerUnlock(m_heldPointer, FALSE);
        m_heldPointer = nullptr;
    }
    delete m_conversionFrame;
    m_conversionFrame = nullptr;
}

void FrameProcessedSink::SetInterval(ULONGLONG interval)
{
    m_expectedInterval = interval;
    m_longestInterval = interval + interval * kWindowPerMille / 1000;
    m_shortestInterval = interval - interval * kWindowPerMille / 1000;
    TRACE_LINE(this, "FrameProcessedSink::SetInterval", kTraceHighs,
               "m_nInterval=%I64u, m_nMaxInterval=%I64u, m_nMinInterval=%I64u", m_expectedInterval, m_longestInterval,
               m_shortestInterval);
}

void FrameProcessedSink::ResetFrameTimes()
{
    m_resetTimes = true;
    m_discontinuity = true;
    m_previousFrameTime = 0;
    m_previousClockTime = 0;
    m_highestDelivery = 0;
    m_runHighestDelivery = 0;
    m_lowestDelivery = ~0ULL;
}

void FrameProcessedSink::ResetStatistics()
{
    m_highestDelivery = 0;
    m_runHighestDelivery = 0;
    m_lowestDelivery = ~0ULL;
}

FrameProcessedSink::DeliveryStatistics FrameProcessedSink::GetDeliveryStatistics() const
{
    return {m_highestDelivery, m_runHighestDelivery, m_lowestDelivery, m_averageDelivery, m_timerFrequency};
}

bool FrameProcessedSink::GetDestinationBuffer(Frame* frame, ULONG bytesNeeded)
{
    TRACE_SCOPE(this, "FrameProcessedSink::GetDestinationBuffer", kTraceLowEnter, "pFrame=0x%p, nBytes=%u", frame,
                bytesNeeded);
    StreamingPinInterface* pin = GetPin();
    if (frame == nullptr || pin == nullptr || !pin->IsRunning() || m_heldPointer != nullptr)
        return false;
    PKSSTREAM_POINTER pointer = KsPinGetLeadingEdgeStreamPointer(pin->GetKsPin(), KSSTREAM_POINTER_STATE_LOCKED);
    if (pointer == nullptr)
        return false;
    if (pointer->OffsetOut.Data == nullptr || pointer->OffsetOut.Count == 0 || pointer->StreamHeader == nullptr ||
        pointer->OffsetOut.Count < bytesNeeded) {
        KsStreamPointerUnlock(pointer, FALSE);
        return false;
    }
    m_heldPointer = pointer;
    m_savedData = frame->GetFrameData();
    m_savedDataSize = frame->GetDataSize();
    m_dataSaved = true;
    m_lentBytes = bytesNeeded;
    frame->SetFrameData(pointer->OffsetOut.Data);
    frame->SetDataSize(pointer->OffsetOut.Count);
    return true;
}

LONGLONG FrameProcessedSink::ReadClock(LONGLONG* systemTime) const
{
    StreamingPinInterface* pin = GetPin();
    PIKSREFERENCECLOCK clock = pin ? pin->GetReferenceClock() : nullptr;
    LONGLONG ignored = 0;
    return clock ? clock->GetCorrelatedTime(systemTime ? systemTime : &ignored) : 0;
}

FrameProcessedSink::Window FrameProcessedSink::ChooseWindow(const Frame* frame) const
{
    const ULONGLONG own = frame->GetFrameInterval();
    if (m_expectedInterval <= 0xFFFFFFFFULL && m_expectedInterval <= own)
        return {own, own + own * kWindowPerMille / 1000, own - own * kWindowPerMille / 1000, true};
    return {m_expectedInterval, m_longestInterval, m_shortestInterval, false};
}

void FrameProcessedSink::UpdateDeliveryStatistics(const Frame* frame)
{
    const ULONGLONG delivered = GetDeliveredFrameCount();
    if (delivered == 0) {
        m_lastInputIdentifier = frame->GetInputIdentifier();
        m_discontinuity = true;
        TRACE_LINE(this, "FrameProcessedSink::Process", kTraceHighs, "Input interval=%d, Expected interval=%d",
                   frame->GetFrameInterval(), static_cast<ULONG>(m_expectedInterval));
        m_startCounter = ReadCounter();
        m_previousCounter = m_startCounter;
        return;
    }
    m_currentCounter = ReadCounter();
    if (delivered >= kStatisticsFrames) {
        const ULONGLONG delta = m_currentCounter - m_previousCounter;
        m_highestDelivery = std::max(m_highestDelivery, delta);
        m_runHighestDelivery = std::max(m_runHighestDelivery, delta);
        m_lowestDelivery = std::min(m_lowestDelivery, delta);
        if ((delivered - kStatisticsFrames) % kStatisticsFrames == 0) {
            m_averageDelivery = (m_currentCounter - m_startCounter) / delivered;
            const ULONGLONG average = Hundredths(m_averageDelivery, m_timerFrequency);
            const ULONGLONG highest = Hundredths(m_highestDelivery, m_timerFrequency);
            const ULONGLONG runHighest = Hundredths(m_runHighestDelivery, m_timerFrequency);
            TRACE_LINE(this, "FrameProcessedSink::Process", kTraceHighs,
                       "%s FC=%I64u, ADT=%02d.%02dms, HDT=%02d.%02dms, SHDT=%02d.%02dms", GetPin()->GetStreamName(),
                       delivered, int(average / 100), int(average % 100), int(highest / 100), int(highest % 100),
                       int(runHighest / 100), int(runHighest % 100));
            m_runHighestDelivery = 0;
        }
    }
    m_previousCounter = m_currentCounter;
}

void FrameProcessedSink::RecordDrop(const Frame*)
{
    if (GetDeliveredFrameCount() == 0)
        return; // nothing delivered yet: not counted
    m_frameDropped = true;
    m_droppedFrames.fetch_add(1);
    const ULONGLONG dropped = GetDroppedFrameCount();
    // The frame counted here must not count again as part of a gap.
    m_previousFrameTime = m_currentFrameTime;
    StreamingPinInterface* pin = GetPin();
    if (pin->GetPinId() >= 3)
        return;
    if (dropped < kLoggedDrops) {
        TRACE_STATUS(this, "FrameProcessedSink::Process", kTraceErrors, MSG_NO_EMPTY_FRAMES_AVAILABLE_PIN_ACCEPT,
                     "*** No empty %s frames available for pin (%d) to accept processed data. Frame dropped. ***",
                     pin->GetStreamName(), pin->GetPinId());
    } else if (dropped == kLoggedDrops) {
        TRACE_STATUS(this, "FrameProcessedSink::Process", kTraceErrors, MSG_LEAST_FRAMES_HAVE_DROPPED_STREAMING_SESSION,
                     "At least 100 %s frames have been dropped this streaming session. Error logging will stop for "
                     "this session.",
                     pin->GetStreamName());
    }
}

void FrameProcessedSink::AdvanceStreamTime(const Window& window, const Frame* frame)
{
    const ULONGLONG delivered = GetDeliveredFrameCount();
    const LONGLONG interval = static_cast<LONGLONG>(window.interval);
    if (GetPin()->GetReferenceClock() == nullptr) {
        if (m_resetTimes) {
            m_previousFrameTime = m_currentFrameTime - interval;
            m_resetTimes = false;
        }
        if (delivered > 1) {
            if (window.interval == frame->GetFrameInterval())
                m_streamTime += LONGLONG(frame->GetFrameInterval());
            else
                m_streamTime += m_currentFrameTime - m_previousFrameTime;
        }
        return;
    }
    m_currentClockTime = ReadClock(nullptr);
    if (m_resetTimes) {
        m_previousClockTime = m_currentClockTime - interval;
        m_previousFrameTime = m_currentFrameTime - interval;
        m_resetTimes = false;
    }
    if (delivered > 1)
        m_streamTime += m_currentClockTime - m_previousClockTime;
}

ULONGLONG FrameProcessedSink::DetectGap(const Window& window, const Frame* frame)
{
    if (m_previousFrameTime == 0)
        return 0;
    const LONGLONG elapsed =
        window.own ? m_currentFrameTime - m_previousFrameTime : LONGLONG(frame->GetFrameInterval());
    if (elapsed >= 0 && ULONGLONG(elapsed) <= window.longest && ULONGLONG(elapsed) >= window.shortest)
        return 0;
    StreamingPinInterface* pin = GetPin();
    TRACE_LINE(this, "FrameProcessedSink::Process", kTraceHighs, "%s FN=%I64u, CT=%I64u, LT=%I64u, DT=%I64u, INT=%I64u, PID=%d",
               pin->GetStreamName(), frame->GetSequenceNumber(), m_currentFrameTime, m_previousFrameTime, elapsed,
               window.interval, pin->GetPinId());
    m_frameDropped = true;
    // Frames missing from the gap: one interval is the frame itself; an early or backward frame
    // misses none.
    if (window.interval == 0 || elapsed <= 0)
        return 0;
    const int intervals = RoundToInt(double(elapsed) / double(window.interval));
    return intervals > 1 ? ULONGLONG(intervals - 1) : 0;
}

void FrameProcessedSink::StampFrameInfo(PKSSTREAM_POINTER pointer, const Frame* frame)
{
    StreamingPinInterface* pin = GetPin();
    if (pin->GetPinKind() != kStreamingPinKindVideo)
        return;
    const LONGLONG dropped = LONGLONG(GetDroppedFrameCount());
    const LONGLONG picture = LONGLONG(GetDeliveredFrameCount()) + dropped;
    auto* header = reinterpret_cast<UCHAR*>(pointer->StreamHeader);
    const ULONG size = pointer->StreamHeader->Size;
    if (size == KS_VIDEO_STREAM_HEADER_SIZE) {
        auto* info = reinterpret_cast<KS_FRAME_INFO*>(header + sizeof(KSSTREAM_HEADER));
        info->dwFrameFlags = 0;
        info->PictureNumber = picture;
        info->DropCount = dropped;
    } else if (size == KS_VBI_STREAM_HEADER_SIZE) {
        auto* info = reinterpret_cast<KS_VBI_FRAME_INFO*>(header + sizeof(KSSTREAM_HEADER));
        // The frame's own copy of the pin's header, or the pin's when the frame carries none.
        const KS_VBIINFOHEADER* vbi = &frame->GetVBIInfoHeader();
        if (IsEmpty(*vbi) && pin->GetVBIInfoHeader() != nullptr)
            vbi = pin->GetVBIInfoHeader();
        info->dwFrameFlags = frame->HasFlags(kFrameFlagVbiField1) ? KS_VBI_FLAG_FIELD1 : KS_VBI_FLAG_FIELD2;
        info->PictureNumber = picture;
        info->DropCount = dropped;
        info->dwSamplingFrequency = vbi->SamplingFrequency;
        if (picture < 2) {
            info->dwFrameFlags |= KS_VBI_FLAG_VBIINFOHEADER_CHANGE;
            info->VBIInfoHeader = *vbi;
        }
    }
}

ULONG FrameProcessedSink::CopyToClient(PKSSTREAM_POINTER pointer, const Frame* frame)
{
    PUCHAR output = pointer->OffsetOut.Data;
    const ULONG count = pointer->OffsetOut.Count;
    const PUCHAR input = frame->GetFrameData();
    const ULONG size = frame->GetDataSize();
    if (input == nullptr || size == 0)
        return 0;
    if (size == count) {
        FastMemoryCopy(output, input, size);
        return size;
    }
    const auto* audio = dynamic_cast<const AudioFrame*>(frame);
    if (GetPin()->GetPinKind() == kStreamingPinKindAudio && audio != nullptr && count < size &&
        audio->SampleFrameBytes() != 0) {
        if (m_conversionFrame == nullptr) {
            try {
                m_conversionFrame = new AudioFrame();
            } catch (const standin::RaisedStatus&) {
                m_conversionFrame = nullptr;
            }
        }
        const ULONG samples = count / audio->SampleFrameBytes();
        if (m_conversionFrame != nullptr && samples > 0) {
            m_conversionFrame->SetBuffer(output, count, audio->GetBitsPerSample(), audio->GetChannelPairs(),
                                         LONG(samples));
            audio->DoFrameRateConversion(m_conversionFrame);
            m_conversionFrame->DetachBuffer();
            return samples * audio->SampleFrameBytes();
        }
    }
    // What fits: the whole frame into a larger buffer, the buffer's size of a larger frame.
    const ULONG bytes = std::min(size, count);
    FastMemoryCopy(output, input, bytes);
    return bytes;
}

void FrameProcessedSink::FinishProcess(Frame* frame, bool timed)
{
    if (m_heldPointer != nullptr) {
        // Lent but not delivered (the pin left Run, or there was no pin): back to the leading edge.
        KsStreamPointerUnlock(m_heldPointer, FALSE);
        m_heldPointer = nullptr;
    }
    if (timed)
        EndTiming();
    if (m_dataSaved) {
        if (frame != nullptr) {
            frame->SetFrameData(m_savedData);
            frame->SetDataSize(m_savedDataSize);
        }
        m_savedData = nullptr;
        m_savedDataSize = 0;
        m_dataSaved = false;
    }
}

void FrameProcessedSink::Process(Frame* frame)
{
    TRACE_SCOPE(this, "FrameProcessedSink::Process", kTraceLowEnter, "pFrame=0x%p", frame);
    if (frame == nullptr) {
        FinishProcess(frame, false);
        return;
    }
    // 1. Frames arrive in sequence.
    if (m_lastSequenceNumber != 0 && frame->GetSequenceNumber() <= m_lastSequenceNumber) {
        TRACE_LINE(this, "FrameProcessedSink::Process", kTraceHighs,
                   "Processing OLD frame. New frame number is %I64u, Last frame number is %I64u",
                   frame->GetSequenceNumber(), m_lastSequenceNumber);
    }
    m_lastSequenceNumber = frame->GetSequenceNumber();

    // 2. Nothing is delivered without a running pin; its times follow the frames.
    StreamingPinInterface* pin = GetPin();
    if (pin == nullptr) {
        FinishProcess(frame, false);
        return;
    }
    if (!pin->IsRunning()) {
        m_currentFrameTime = frame->GetFrameNumber();
        if (pin->GetReferenceClock() != nullptr)
            m_currentClockTime = ReadClock(nullptr);
        m_previousFrameTime = m_currentFrameTime;
        m_previousClockTime = m_currentClockTime;
        FinishProcess(frame, false);
        return;
    }

    // 3. The interval and window the frame is judged by.
    BeginTiming();
    const Window window = ChooseWindow(frame);
    m_currentFrameTime = frame->GetFrameNumber();

    // 4. Delivery statistics of the capture, preview and VBI pins.
    if (pin->GetPinId() < 4)
        UpdateDeliveryStatistics(frame);

    // 5. A change of input is a discontinuity unless the frame says otherwise.
    if (frame->GetInputIdentifier() != m_lastInputIdentifier) {
        if (!frame->GetKeepContinuity())
            m_discontinuity = true;
        m_lastInputIdentifier = frame->GetInputIdentifier();
    }

    // 6. The client buffer: lent already (written in place), or the next one.
    PKSSTREAM_POINTER pointer = m_heldPointer;
    const bool copy = pointer == nullptr;
    if (copy)
        pointer = KsPinGetLeadingEdgeStreamPointer(pin->GetKsPin(), KSSTREAM_POINTER_STATE_LOCKED);

    // 7. No buffer: the frame is dropped.
    if (pointer == nullptr || pointer->OffsetOut.Data == nullptr || pointer->OffsetOut.Count == 0 ||
        pointer->StreamHeader == nullptr) {
        if (pointer != nullptr)
            KsStreamPointerUnlock(pointer, FALSE);
        if (pointer == m_heldPointer)
            m_heldPointer = nullptr;
        RecordDrop(frame);
        FinishProcess(frame, true);
        return;
    }
    m_heldPointer = nullptr;

    // 8. Stream time.
    BumpDeliveredFrameCount();
    AdvanceStreamTime(window, frame);

    // 9. Gaps in the frame times.
    const ULONGLONG missed = DetectGap(window, frame);
    const LONGLONG elapsed = m_currentFrameTime - m_previousFrameTime;

    // 11 (data first, so that the header tells what was written). A lent buffer holds the result.
    const ULONG written = copy ? CopyToClient(pointer, frame) : std::min(m_lentBytes, pointer->OffsetOut.Count);

    // 10. The stream header.
    KSSTREAM_HEADER* header = pointer->StreamHeader;
    header->DataUsed = written;
    header->PresentationTime.Time = m_streamTime + frame->GetTimeOffset();
    header->Duration = 0;
    header->OptionsFlags = KSSTREAM_HEADER_OPTIONSF_SPLICEPOINT | KSSTREAM_HEADER_OPTIONSF_TIMEVALID;
    if (m_discontinuity || m_frameDropped) {
        if (m_frameDropped)
            BumpDroppedFrameCount(missed);
        TRACE_LINE(this, "FrameProcessedSink::Process", kTraceHighs,
                   "----Setting discontinuity flag for %s frame number=%I64u pin ID=%d, FrameDropped=%d, SetDisconnect=%d",
                   pin->GetStreamName(), frame->GetSequenceNumber(), pin->GetPinId(), m_frameDropped ? 1 : 0,
                   m_discontinuity ? 1 : 0);
        header->OptionsFlags |= KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY;
        m_discontinuity = false;
        m_frameDropped = false;
    }
    TRACE_LINE(this, "FrameProcessedSink::Process", kTraceHighs, "BT=%s, PT=%I64u, FT=%I64u, FN=%I64u, DT=%I64u, P=%d",
               pin->GetStreamName(), header->PresentationTime.Time, m_currentFrameTime, frame->GetSequenceNumber(),
               elapsed, pin->GetPinId());

    // 11. Frame information, then completion.
    StampFrameInfo(pointer, frame);
    pointer->OffsetOut.Remaining = 0;
    KsStreamPointerUnlock(pointer, TRUE);
    m_previousFrameTime = m_currentFrameTime;
    m_previousClockTime = m_currentClockTime;

    // 12.
    FinishProcess(frame, true);
}
