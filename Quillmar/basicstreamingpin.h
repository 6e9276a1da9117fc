// BasicStreamingPin: a pin that delivers a stream (video or audio). It turns the framework's state
// steps into the device's stream transitions, takes the graph's reference clock while it streams,
// and, called back by its stream processor, keeps its state word, builds its chain at Acquire to
// Pause (its sink last, owned by the pin), deletes its clone stream pointers at Run to Pause and
// takes its sink out of the tree at Pause to Acquire.
//
// The state words are written by interlocked exchange: the stream's queue thread reads them while
// a dispatch thread changes them.
#pragma once
#include "basicpin.h"
#include "km/interlocked.h"
#include "km/ksclock.h"
#include "streamprocessorpin.h"

#include <atomic>

class FrameProcessedSink;

class BasicStreamingPin : public BasicPin, public StreamProcessorPin {
public:
    // The framing of a pin's buffers, in one memory kind.
    static constexpr ULONG kFramingTag = 0x6D617246; // "Fram"

    BasicStreamingPin(PKSPIN pin, ULONG kind) : BasicPin(pin), m_kind(kind) {}
    // Releases a clock still held; takes a sink still in a tree out of it and destroys it.
    ~BasicStreamingPin() override;

    // The pin's chain, its sink last (the one operation of both bases).
    NTSTATUS BuildAlgorithmChain(AlgorithmList* list) override = 0;

    // Slot 10: the pin's saved connection format; null here.
    virtual const void* GetSavedFormat() const { return nullptr; }

    // ---- StreamingPinInterface / StreamProcessorPin ---------------------------------------------
    PKSPIN GetKsPin() const override { return BasicPin::GetKsPin(); }
    ULONG GetPinId() const override { return m_pinId; }
    ULONG GetPinKind() const override { return m_kind; }
    KSSTATE GetRunState() const override { return static_cast<KSSTATE>(ReadWord(&m_state)); }
    PIKSREFERENCECLOCK GetReferenceClock() const override { return m_clock; }
    const KS_VBIINFOHEADER* GetVBIInfoHeader() const override { return nullptr; }
    BasicFilter* GetFilter() const override { return BasicPin::GetFilter(); }
    PKSFILTER GetKsFilter() const override;
    LogicalStream* GetLogicalStream() const override { return m_stream.load(); }
    void SetLogicalStream(LogicalStream* stream) override { m_stream = stream; }
    StreamProcessorQueue* GetStreamProcessorQueue() const override { return m_queue.load(); }
    void SetStreamProcessorQueue(StreamProcessorQueue* queue) override { m_queue = queue; }
    NTSTATUS StreamFromStopToAcquire() override;
    NTSTATUS StreamFromAcquireToPause() override;
    NTSTATUS StreamFromPauseToRun() override;
    NTSTATUS StreamFromRunToPause() override;
    NTSTATUS StreamFromPauseToAcquire() override;
    NTSTATUS StreamFromAcquireToStop() override;
    Algorithm* GetFrameSink() const override;
    bool GetAudioFormat(StreamAudioFormat*) const override { return false; }
    // Also, when the board was pulled out, every read the pin holds completes with
    // STATUS_DEVICE_REMOVED, and so does every later one (OnProcess).
    void DetachFromStream() override;
    NTSTATUS OnProcess() override;
    bool IsBoardRemoved() const { return m_boardRemoved.load(); }

    KSSTATE GetPreviousState() const { return static_cast<KSSTATE>(ReadWord(&m_previousState)); }
    bool IsRunningFlagSet() const { return ReadWord(&m_running) != 0; }
    FrameProcessedSink* GetSink() const { return m_sink; }
    // The size of one of the pin's buffers, as its framing gives it.
    ULONG GetFrameSize() const { return m_frameSize; }

protected:
    // The framework's step as the device's stream transition of the pin's kind (see the file
    // comment); steps that are not one of the six answer success.
    NTSTATUS ChangeDeviceState(KSSTATE to, KSSTATE from);
    // Called at Pause to Run before the device's transition.
    virtual void OnPauseToRun() {}

    // The two ends of every chain. The first: the sink still in the stream's tree from the last
    // chain is taken out of it. The last: the pin's sink (made once, its frame times reset when
    // reused) with the pin's output interval, appended to the list.
    void TakeSinkOutOfTree();
    NTSTATUS AppendSink(AlgorithmList* list, ULONGLONG interval);

    // Gives the pin its own descriptor and framing: `frames` buffers of `frameSize` bytes.
    NTSTATUS SetAllocatorFraming(ULONG frames, ULONG frameSize);
    void SetPinId(ULONG id) { m_pinId = id; }
    // Completes every frame queued on the pin, and the clones' frames, with `status`.
    void FailQueuedFrames(NTSTATUS status);

private:
    // An interlocked read of a state word (the stream's threads read what a dispatch thread writes).
    static LONG ReadWord(const volatile LONG* word) { return InterlockedOr(const_cast<volatile LONG*>(word), 0); }
    void SetState(LONG state);
    void DeleteClones();
    void ReleaseClock();

    ULONG m_kind;
    ULONG m_pinId = 0;
    volatile LONG m_state = KSSTATE_STOP;
    volatile LONG m_previousState = KSSTATE_STOP;
    volatile LONG m_running = 0;
    FrameProcessedSink* m_sink = nullptr;
    std::atomic<LogicalStream*> m_stream{nullptr};
    std::atomic<StreamProcessorQueue*> m_queue{nullptr};
    PIKSREFERENCECLOCK m_clock = nullptr;
    ULONG m_frameSize = 0;
    std::atomic<bool> m_boardRemoved{false}; // the stream went with the board: reads fail
};
