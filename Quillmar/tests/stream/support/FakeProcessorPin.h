// A streaming pin as the stream processors see it, for the stream-engine tests: a chosen pin id
// and kind, a state its own transitions set (or a chosen failure of one of them), a stand-in
// filter, a chain builder the test gives, the sink the pin owns, and a count of every call.
#pragma once
#include "algorithmlist.h"
#include "streamprocessorpin.h"

#include <atomic>
#include <functional>
#include <memory>

namespace streamtest {

class FakeProcessorPin : public StreamProcessorPin {
public:
    enum Step { StopToAcquire, AcquireToPause, PauseToRun, RunToPause, PauseToAcquire, AcquireToStop, kSteps };

    // `filter` and `ksFilter` stand for the pin's filter: compared, never dereferenced.
    FakeProcessorPin(ULONG pinId, BasicFilter* filter, PKSFILTER ksFilter = nullptr,
                     ULONG kind = kStreamingPinKindVideo);
    virtual ~FakeProcessorPin();

    PKSPIN GetKsPin() const override { return nullptr; }
    ULONG GetPinId() const override { return m_pinId; }
    ULONG GetPinKind() const override { return m_kind; }
    KSSTATE GetRunState() const override { return static_cast<KSSTATE>(m_state.load()); }
    PIKSREFERENCECLOCK GetReferenceClock() const override { return nullptr; }
    const char* GetStreamName() const override { return m_kind == kStreamingPinKindAudio ? "AUDIO" : "VIDEO"; }
    const KS_VBIINFOHEADER* GetVBIInfoHeader() const override { return nullptr; }

    BasicFilter* GetFilter() const override { return m_filter; }
    PKSFILTER GetKsFilter() const override { return m_ksFilter; }
    LogicalStream* GetLogicalStream() const override { return m_stream.load(); }
    void SetLogicalStream(LogicalStream* stream) override { m_stream = stream; }
    StreamProcessorQueue* GetStreamProcessorQueue() const override { return m_queue.load(); }
    void SetStreamProcessorQueue(StreamProcessorQueue* queue) override { m_queue = queue; }

    NTSTATUS StreamFromStopToAcquire() override { return Own(StopToAcquire, 1); }
    NTSTATUS StreamFromAcquireToPause() override { return Own(AcquireToPause, 2); }
    NTSTATUS StreamFromPauseToRun() override { return Own(PauseToRun, 3); }
    NTSTATUS StreamFromRunToPause() override { return Own(RunToPause, 2); }
    NTSTATUS StreamFromPauseToAcquire() override { return Own(PauseToAcquire, 1); }
    NTSTATUS StreamFromAcquireToStop() override { return Own(AcquireToStop, 0); }

    // The builder the test set, or STATUS_SUCCESS with nothing appended.
    NTSTATUS BuildAlgorithmChain(AlgorithmList* list) override;
    Algorithm* GetFrameSink() const override { return m_sink.get(); }
    bool GetAudioFormat(StreamAudioFormat* format) const override;
    void DetachFromStream() override;

    // The pin owns its sink (a step of id 1).
    void SetSink(std::unique_ptr<Algorithm> sink) { m_sink = std::move(sink); }
    void SetChainBuilder(std::function<NTSTATUS(AlgorithmList*)> builder) { m_builder = std::move(builder); }
    // Called at the start of each detach, before the pin lets its stream go.
    void SetOnDetach(std::function<void()> onDetach) { m_onDetach = std::move(onDetach); }
    void SetAudioFormat(const StreamAudioFormat& format);
    // The next call of `step` fails with `status` (the state is left as it was).
    void FailNext(Step step, NTSTATUS status);
    void SetState(LONG state) { m_state = state; }
    int Calls(Step step) const { return m_calls[step].load(); }
    int Builds() const { return m_builds.load(); }
    int Detaches() const { return m_detaches.load(); }

private:
    NTSTATUS Own(Step step, LONG newState);

    ULONG m_pinId;
    BasicFilter* m_filter;
    PKSFILTER m_ksFilter;
    ULONG m_kind;
    std::atomic<LONG> m_state{0};
    std::atomic<LogicalStream*> m_stream{nullptr};
    std::atomic<StreamProcessorQueue*> m_queue{nullptr};
    std::unique_ptr<Algorithm> m_sink;
    std::function<NTSTATUS(AlgorithmList*)> m_builder;
    std::function<void()> m_onDetach;
    bool m_hasFormat = false;
    StreamAudioFormat m_format{};
    std::atomic<int> m_calls[kSteps] = {};
    NTSTATUS m_failStatus[kSteps] = {};
    std::atomic<int> m_builds{0};
    std::atomic<int> m_detaches{0};
};

} // namespace streamtest
