// FrameProcessedSink: the leaf of every processing chain (algorithm id 1), one per streaming pin,
// owned by its pin. It takes the pin's leading-edge stream pointer, copies the processed frame into
// the client buffer (or finds it written there already, lent through GetDestinationBuffer), stamps
// the stream header with presentation time, flags and frame information, counts delivered and
// dropped frames, keeps delivery-interval statistics and completes the buffer.
//
// Dropped frames: a frame that finds no client buffer counts one; a gap in the frame times counts
// the frames missing from it, max(0, RoundToInt(elapsed / interval) - 1), and a frame already
// counted as dropped moves the previous frame time on so that it never counts twice.
//
// Runs under the stream's processing lock on its queue thread; the counters are also read by the
// pin's property handlers, so they are atomic.
#pragma once
#include "algorithm.h"
#include "km/ksstream.h"
#include "km/types.h"

#include <atomic>

class AudioFrame;
class StreamingPinInterface;

class FrameProcessedSink : public Algorithm {
public:
    // Delivered frames between two delivery-statistics lines.
    static constexpr ULONGLONG kStatisticsFrames = 500;
    // Dropped frames logged one by one (0xC007100A) before the last entry (0xC0071089).
    static constexpr ULONGLONG kLoggedDrops = 100;
    // Window of accepted intervals around the expected one: +/- 750 / 1000.
    static constexpr ULONGLONG kWindowPerMille = 750;

    // The pin the sink feeds (may be null, set later with SetStreamingPin). Trace
    // "Performance Tick Frequency = %I64u".
    explicit FrameProcessedSink(StreamingPinInterface* pin = nullptr);
    // Unlocks a stream pointer still held (no eject); destroys the rate-conversion frame.
    ~FrameProcessedSink() override;

    void SetStreamingPin(StreamingPinInterface* pin) { SetPin(pin); }
    StreamingPinInterface* GetStreamingPin() const { return GetPin(); }

    // expected := interval; longest := interval + interval x 750 / 1000; shortest := interval -
    // interval x 750 / 1000. Trace "m_nInterval=%I64u, m_nMaxInterval=%I64u, m_nMinInterval=%I64u".
    void SetInterval(ULONGLONG interval);
    ULONGLONG GetExpectedInterval() const { return m_expectedInterval; }
    ULONGLONG GetLongestInterval() const { return m_longestInterval; }
    ULONGLONG GetShortestInterval() const { return m_shortestInterval; }
    // Reset-times and discontinuity set; previous frame and clock times 0; highest and run-highest
    // delivery intervals 0, lowest all ones. Called when a chain is built.
    void ResetFrameTimes();
    // Highest and run-highest 0, lowest all ones. Called on pin state changes.
    void ResetStatistics();

    // Delivered and dropped counts back to 0: a pin's run starts counting afresh.
    void ResetDeliveryCounters()
    {
        m_deliveredFrames = 0;
        m_droppedFrames = 0;
    }
    ULONGLONG GetDeliveredFrameCount() const { return m_deliveredFrames.load(); }
    void BumpDeliveredFrameCount() { m_deliveredFrames.fetch_add(1); }
    ULONGLONG GetDroppedFrameCount() const { return m_droppedFrames.load(); }
    void BumpDroppedFrameCount(ULONGLONG count) { m_droppedFrames.fetch_add(count); }
    // The accumulated presentation time of the frames delivered so far.
    LONGLONG GetStreamTime() const { return m_streamTime; }

    // Delivery statistics, in performance-counter ticks.
    struct DeliveryStatistics {
        ULONGLONG highest;
        ULONGLONG runHighest;
        ULONGLONG lowest;
        ULONGLONG average;
        ULONGLONG frequency;
    };
    DeliveryStatistics GetDeliveryStatistics() const;

    // Only while the pin runs: takes the pin's leading edge (locked); when its client buffer holds
    // at least `bytesNeeded` bytes (and its header exists) the sink keeps the pointer, saves the
    // frame's data pointer and size and points the frame at the client buffer (data size := the
    // buffer's bytes): true. A pointer with a smaller buffer or none is unlocked without eject:
    // false. The buffer goes to the client by the sink's next Process, which makes no copy; every
    // exit of Process gives the frame its own data back.
    bool GetDestinationBuffer(Frame* frame, ULONG bytesNeeded) override;
    // Delivers `frame` to the pin's next client buffer (see the file comment and the source).
    void Process(Frame* frame) override;

private:
    struct Window {
        ULONGLONG interval;
        ULONGLONG longest;
        ULONGLONG shortest;
        bool own; // the frame's own interval and window
    };

    Window ChooseWindow(const Frame* frame) const;
    void UpdateDeliveryStatistics(const Frame* frame);
    void RecordDrop(const Frame* frame);
    void AdvanceStreamTime(const Window& window, const Frame* frame);
    ULONGLONG DetectGap(const Window& window, const Frame* frame);
    void StampFrameInfo(PKSSTREAM_POINTER pointer, const Frame* frame);
    ULONG CopyToClient(PKSSTREAM_POINTER pointer, const Frame* frame);
    // Every exit of Process: unlocks a still-held pointer without eject, gives the frame its own
    // data pointer and size back.
    void FinishProcess(Frame* frame, bool timed);
    LONGLONG ReadClock(LONGLONG* systemTime) const;

    ULONGLONG m_expectedInterval = 0;
    ULONGLONG m_longestInterval = 0;
    ULONGLONG m_shortestInterval = 0;
    LONGLONG m_previousFrameTime = 0;
    LONGLONG m_currentFrameTime = 0;
    LONGLONG m_previousClockTime = 0;
    LONGLONG m_currentClockTime = 0;
    LONGLONG m_streamTime = 0;
    ULONGLONG m_previousCounter = 0;
    ULONGLONG m_currentCounter = 0;
    ULONGLONG m_highestDelivery = 0;
    ULONGLONG m_runHighestDelivery = 0;
    ULONGLONG m_lowestDelivery = ~0ULL;
    ULONGLONG m_averageDelivery = 0;
    ULONGLONG m_startCounter = 0;
    ULONGLONG m_timerFrequency = 0;
    PKSSTREAM_POINTER m_heldPointer = nullptr;
    PUCHAR m_savedData = nullptr;
    ULONG m_savedDataSize = 0;
    bool m_dataSaved = false;
    ULONG m_lentBytes = 0; // what the writer of a lent buffer promised to produce
    ULONG m_lastInputIdentifier = 0;
    AudioFrame* m_conversionFrame = nullptr;
    std::atomic<ULONGLONG> m_droppedFrames{0};
    std::atomic<ULONGLONG> m_deliveredFrames{0};
    bool m_resetTimes = false;
    bool m_frameDropped = false;
    bool m_discontinuity = false;
    ULONGLONG m_lastSequenceNumber = 0;
};
