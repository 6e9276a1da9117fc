// The stream processors and their manager on fake pins and fake streams without the DSP: slots,
// the counting of other pins at each transition, the making and removal of processors, routing
// checks, chain rebuilds per filter, and the stop of every stream with pins open.
#include "CountingStep.h"
#include "FakePhysicalStreamFactory.h"
#include "FakeProcessorPin.h"
#include "LogicalStreamFixture.h"
#include "RecordingSink.h"

#include "messages/Talvexon.h"
#include "streamprocessor.h"
#include "streamprocessormanager.h"

#include <atomic>
#include <memory>
#include <vector>

namespace streamtest {
namespace {

// Stand-ins for filters: compared, never dereferenced.
BasicFilter* FilterA() { static char a; return reinterpret_cast<BasicFilter*>(&a); }
BasicFilter* FilterB() { static char b; return reinterpret_cast<BasicFilter*>(&b); }
PKSFILTER KsFilterA() { static char a; return reinterpret_cast<PKSFILTER>(&a); }
PKSFILTER KsFilterB() { static char b; return reinterpret_cast<PKSFILTER>(&b); }

class StreamProcessorManagerTest : public LogicalStreamFixture {
protected:
    void SetUp() override
    {
        LogicalStreamFixture::SetUp();
        factory_.options.usesDsp = false;
        manager_ = std::make_unique<StreamProcessorManager>(services_.get(), &factory_);
    }

    void TearDown() override
    {
        manager_.reset();
        pins_.clear();
        LogicalStreamFixture::TearDown();
    }

    FakeProcessorPin* Pin(ULONG id, BasicFilter* filter = FilterA(), PKSFILTER ksFilter = KsFilterA(),
                          ULONG kind = kStreamingPinKindVideo)
    {
        pins_.push_back(std::make_unique<FakeProcessorPin>(id, filter, ksFilter, kind));
        return pins_.back().get();
    }

    // A video pin through Stop to Acquire, then on to `state`.
    NTSTATUS Bring(FakeProcessorPin* pin, LONG state)
    {
        LogicalStream* stream = nullptr;
        NTSTATUS status = manager_->VideoStreamFromStopToAcquire(pin, &stream);
        if (NT_SUCCESS(status) && state >= kStreamStatePause)
            status = manager_->VideoStreamFromAcquireToPause(pin);
        if (NT_SUCCESS(status) && state >= kStreamStateRun)
            status = manager_->VideoStreamFromPauseToRun(pin);
        return status;
    }

    NTSTATUS Down(FakeProcessorPin* pin)
    {
        NTSTATUS status = STATUS_SUCCESS;
        if (pin->GetRunState() == KSSTATE_RUN)
            status = manager_->VideoStreamFromRunToPause(pin);
        if (pin->GetRunState() == KSSTATE_PAUSE)
            status = manager_->VideoStreamFromPauseToAcquire(pin);
        if (pin->GetRunState() == KSSTATE_ACQUIRE)
            status = manager_->VideoStreamFromAcquireToStop(pin);
        return status;
    }

    FakePhysicalStream* Stream() const
    {
        StreamProcessor* processor = manager_->GetVideoStreamProcessor(0);
        return processor != nullptr ? static_cast<FakePhysicalStream*>(processor->GetStreamPtr()) : nullptr;
    }

    FakePhysicalStreamFactory factory_;
    std::unique_ptr<StreamProcessorManager> manager_;
    std::vector<std::unique_ptr<FakeProcessorPin>> pins_;
};

TEST_F(StreamProcessorManagerTest, TheFirstPinMakesTheProcessorAndItsStreamLaterPinsJoinIt)
{
    FakeProcessorPin* capture = Pin(1);
    LogicalStream* stream = nullptr;
    ASSERT_EQ(manager_->VideoStreamFromStopToAcquire(capture, &stream), STATUS_SUCCESS);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream, Stream());
    EXPECT_EQ(capture->GetLogicalStream(), stream);
    EXPECT_EQ(capture->GetStreamProcessorQueue(), services_->GetVideoStreamProcessorQueue());
    EXPECT_EQ(capture->Calls(FakeProcessorPin::StopToAcquire), 1);
    EXPECT_EQ(stream->GetState(), kStreamStateAcquire);
    EXPECT_EQ(stream->GetStreamId(), 0u);
    FakeProcessorPin* preview = Pin(2);
    LogicalStream* joined = nullptr;
    ASSERT_EQ(manager_->VideoStreamFromStopToAcquire(preview, &joined), STATUS_SUCCESS);
    EXPECT_EQ(joined, stream);
    EXPECT_EQ(factory_.videoCreates.load(), 1);
    StreamProcessor* processor = manager_->GetVideoStreamProcessor(0);
    EXPECT_EQ(processor->GetActivePinCount(), 2u);
    EXPECT_EQ(processor->GetStreamingPin(1, 0), capture);
    EXPECT_EQ(processor->GetStreamingPin(2, 0), preview);
    EXPECT_EQ(processor->GetStreamingPin(1, 16), nullptr);
    EXPECT_EQ(processor->GetStreamingPin(0, 0), nullptr);
    EXPECT_EQ(processor->GetStreamingPin(5, 0), nullptr);
    EXPECT_EQ(manager_->GetVideoStreamProcessor(1), nullptr);
    EXPECT_EQ(manager_->ValidateLogicalStream(stream), STATUS_SUCCESS);
    EXPECT_EQ(manager_->ValidateLogicalStream(nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(manager_->FindVideoStreamingPin(KsFilterA(), 2), preview);
    EXPECT_EQ(manager_->FindVideoStreamingPin(KsFilterB(), 2), nullptr);
    EXPECT_EQ(manager_->FindVideoStreamingPin(nullptr, 2), nullptr);
    EXPECT_EQ(Down(capture), STATUS_SUCCESS);
    EXPECT_EQ(Down(preview), STATUS_SUCCESS);
}

TEST_F(StreamProcessorManagerTest, TheSeventeenthPinOfATypeIsRefused)
{
    std::vector<FakeProcessorPin*> pins;
    for (int i = 0; i < 16; ++i) {
        pins.push_back(Pin(1));
        ASSERT_EQ(Bring(pins.back(), kStreamStateAcquire), STATUS_SUCCESS) << i;
    }
    FakeProcessorPin* extra = Pin(1);
    LogicalStream* stream = reinterpret_cast<LogicalStream*>(1);
    EXPECT_EQ(manager_->VideoStreamFromStopToAcquire(extra, &stream), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(Events(MSG_UNABLE_CREATE_NEW_STREAM_ALL_SLOTS).size(), 1u);
    EXPECT_EQ(extra->Calls(FakeProcessorPin::StopToAcquire), 0);
    // Another type still has room.
    EXPECT_EQ(Bring(Pin(3), kStreamStateAcquire), STATUS_SUCCESS);
    for (FakeProcessorPin* pin : pins)
        EXPECT_EQ(Down(pin), STATUS_SUCCESS);
    EXPECT_NE(manager_->GetVideoStreamProcessor(0), nullptr);
    EXPECT_EQ(Down(pins_.back().get()), STATUS_SUCCESS);
    EXPECT_EQ(manager_->GetVideoStreamProcessor(0), nullptr);
}

TEST_F(StreamProcessorManagerTest, TwoRunningPinsPauseTheStreamOnlyAfterTheSecondAndEndItsControlThreadOnce)
{
    FakeProcessorPin* capture = Pin(1);
    FakeProcessorPin* preview = Pin(2);
    ASSERT_EQ(Bring(capture, kStreamStateRun), STATUS_SUCCESS);
    FakePhysicalStream* stream = Stream();
    ASSERT_EQ(stream->GetState(), kStreamStateRun);
    EXPECT_EQ(stream->testStarts.load(), 1);
    EXPECT_EQ(stream->controlStarts.load(), 1);
    // The second pin joins the running stream: its own Pause to Run, no restart of the stream.
    ASSERT_EQ(Bring(preview, kStreamStateRun), STATUS_SUCCESS);
    EXPECT_EQ(preview->Calls(FakeProcessorPin::PauseToRun), 1);
    EXPECT_EQ(stream->testStarts.load(), 1);
    EXPECT_EQ(stream->controlStarts.load(), 1);

    ASSERT_EQ(manager_->VideoStreamFromRunToPause(capture), STATUS_SUCCESS);
    EXPECT_EQ(stream->GetState(), kStreamStateRun);
    EXPECT_EQ(stream->controlTerminates.load(), 0);
    ASSERT_EQ(manager_->VideoStreamFromRunToPause(preview), STATUS_SUCCESS);
    EXPECT_EQ(stream->GetState(), kStreamStatePause);
    EXPECT_EQ(stream->controlTerminates.load(), 1);
    EXPECT_EQ(stream->testStops.load(), 1);

    // Both to Acquire: the stream follows the second only.
    ASSERT_EQ(manager_->VideoStreamFromPauseToAcquire(capture), STATUS_SUCCESS);
    EXPECT_EQ(stream->GetState(), kStreamStatePause);
    ASSERT_EQ(manager_->VideoStreamFromPauseToAcquire(preview), STATUS_SUCCESS);
    EXPECT_EQ(stream->GetState(), kStreamStateAcquire);
    EXPECT_EQ(manager_->GetCountOfVideoStreamsAtState(kStreamStateAcquire), 2u);
    EXPECT_EQ(manager_->GetCountOfVideoStreamsAtState(kStreamStatePause), 0u);

    const LogicalStreamHandle oldHandle = stream->GetHandle();
    ASSERT_EQ(manager_->VideoStreamFromAcquireToStop(capture), STATUS_SUCCESS);
    EXPECT_EQ(capture->GetLogicalStream(), nullptr);
    EXPECT_NE(manager_->GetVideoStreamProcessor(0), nullptr);
    ASSERT_EQ(manager_->VideoStreamFromAcquireToStop(preview), STATUS_SUCCESS);
    EXPECT_EQ(manager_->GetVideoStreamProcessor(0), nullptr);
    EXPECT_FALSE(Table()->IsLive(oldHandle));

    // A new Stop to Acquire makes a new processor and stream, with a new handle.
    ASSERT_EQ(Bring(capture, kStreamStateAcquire), STATUS_SUCCESS);
    EXPECT_EQ(factory_.videoCreates.load(), 2);
    ASSERT_NE(Stream(), nullptr);
    EXPECT_NE(Stream()->GetHandle().value, oldHandle.value);
    EXPECT_EQ(Down(capture), STATUS_SUCCESS);
}

TEST_F(StreamProcessorManagerTest, RoutingRefusesBadStreamIdsUnknownPinsAndBadPinTypes)
{
    FakeProcessorPin* capture = Pin(1);
    ASSERT_EQ(Bring(capture, kStreamStateAcquire), STATUS_SUCCESS);
    Stream()->SetStreamId(1);
    EXPECT_EQ(manager_->VideoStreamFromAcquireToPause(capture), static_cast<NTSTATUS>(MSG_SPECIFIED_STREAM_ID_INVALID));
    ASSERT_EQ(Events(MSG_SPECIFIED_STREAM_ID_INVALID).size(), 1u);
    EXPECT_EQ(Events(MSG_SPECIFIED_STREAM_ID_INVALID)[0].inserts.at(0), u"1");
    Stream()->SetStreamId(0);

    FakeProcessorPin* stranger = Pin(2);
    EXPECT_EQ(manager_->VideoStreamFromAcquireToPause(stranger),
              static_cast<NTSTATUS>(MSG_VIDEO_STREAMING_PIN_ADDRESS_NOT_FOUND));
    EXPECT_EQ(manager_->VideoStreamFromPauseToRun(stranger), static_cast<NTSTATUS>(MSG_PHYSICAL_STREAM_PIN_ADDRESS_NOT_FOUND));
    EXPECT_EQ(manager_->VideoStreamFromAcquireToStop(stranger),
              static_cast<NTSTATUS>(MSG_PHYSICAL_STREAM_PIN_ADDRESS_NOT_FOUND));
    EXPECT_EQ(Events(MSG_PHYSICAL_STREAM_PIN_ADDRESS_NOT_FOUND).size(), 2u);
    // No audio processor at all.
    EXPECT_EQ(manager_->AudioStreamFromAcquireToPause(capture),
              static_cast<NTSTATUS>(MSG_VIDEO_STREAMING_PIN_ADDRESS_NOT_FOUND));

    LogicalStream* stream = nullptr;
    EXPECT_EQ(manager_->VideoStreamFromStopToAcquire(Pin(0), &stream), static_cast<NTSTATUS>(MSG_SPECIFIED_PIN_TYPE_INVALID));
    EXPECT_EQ(manager_->VideoStreamFromStopToAcquire(Pin(5), &stream), static_cast<NTSTATUS>(MSG_SPECIFIED_PIN_TYPE_INVALID));
    EXPECT_EQ(manager_->VideoStreamFromStopToAcquire(Pin(2, nullptr), &stream),
              static_cast<NTSTATUS>(MSG_FILTER_STREAMING_PIN_NOT_FOUND));
    EXPECT_EQ(manager_->VideoStreamFromStopToAcquire(nullptr, &stream), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Down(capture), STATUS_SUCCESS);
}

TEST_F(StreamProcessorManagerTest, AFailedStartUndoesTheNewProcessorCompletely)
{
    factory_.refuse = true;
    FakeProcessorPin* capture = Pin(1);
    LogicalStream* stream = nullptr;
    EXPECT_EQ(manager_->VideoStreamFromStopToAcquire(capture, &stream), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(manager_->GetVideoStreamProcessor(0), nullptr);
    EXPECT_EQ(Events(MSG_UNABLE_CREATE_NEW_STREAM_ALL_SLOTS).size(), 1u);
    factory_.refuse = false;

    // A stream the clock refuses.
    services_->SetDspClockRate(10);
    EXPECT_EQ(manager_->VideoStreamFromStopToAcquire(capture, &stream), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(manager_->GetVideoStreamProcessor(0), nullptr);
    services_->SetDspClockRate(StreamDeviceServices::kDspClockRate);

    // The pin's own Stop to Acquire fails: the stream goes, the pin holds no slot.
    capture->FailNext(FakeProcessorPin::StopToAcquire, STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(manager_->VideoStreamFromStopToAcquire(capture, &stream), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(capture->GetLogicalStream(), nullptr);
    EXPECT_EQ(manager_->GetVideoStreamProcessor(0), nullptr);
    EXPECT_EQ(Table()->GetCount(), 0u);
}

TEST_F(StreamProcessorManagerTest, AFailedStreamStartEndsItsControlThreadAndTakesThePinBackToPause)
{
    factory_.options.testStreamStatus = STATUS_DEVICE_NOT_READY;
    FakeProcessorPin* capture = Pin(1);
    EXPECT_EQ(Bring(capture, kStreamStateRun), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(capture->GetRunState(), KSSTATE_PAUSE);
    EXPECT_EQ(capture->Calls(FakeProcessorPin::RunToPause), 1);
    EXPECT_EQ(Stream()->controlStarts.load(), 1);
    EXPECT_EQ(Stream()->controlTerminates.load(), 1);
    EXPECT_EQ(Stream()->GetState(), kStreamStatePause);
    EXPECT_EQ(Down(capture), STATUS_SUCCESS);
}

TEST_F(StreamProcessorManagerTest, ChainRebuildsReachOnlyTheNamedFiltersPinsOfThatType)
{
    std::atomic<int> live{0};
    FakeProcessorPin* captureA = Pin(1, FilterA(), KsFilterA());
    FakeProcessorPin* previewA = Pin(2, FilterA(), KsFilterA());
    FakeProcessorPin* captureB = Pin(1, FilterB(), KsFilterB());
    for (FakeProcessorPin* pin : {captureA, previewA, captureB}) {
        pin->SetSink(std::make_unique<RecordingSink>());
        pin->SetChainBuilder([pin, &live](AlgorithmList* list) {
            list->Append(new CountingStep(2, static_cast<int>(pin->GetPinId()), &live));
            list->Append(pin->GetFrameSink());
            return STATUS_SUCCESS;
        });
        ASSERT_EQ(Bring(pin, kStreamStatePause), STATUS_SUCCESS);
    }
    EXPECT_EQ(manager_->ModifyActiveVideoAlgorithmChains(nullptr, 1),
              static_cast<NTSTATUS>(MSG_INVALID_VIDEO_CAPTURE_FILTER_POINTER_PASSED));
    EXPECT_EQ(manager_->ModifyActiveAudioAlgorithmChains(nullptr, 1),
              static_cast<NTSTATUS>(MSG_INVALID_AUDIO_CAPTURE_FILTER_POINTER_PASSED));
    EXPECT_EQ(Events(MSG_INVALID_VIDEO_CAPTURE_FILTER_POINTER_PASSED).size(), 1u);
    EXPECT_EQ(Events(MSG_INVALID_AUDIO_CAPTURE_FILTER_POINTER_PASSED).size(), 1u);

    EXPECT_EQ(manager_->ModifyActiveVideoAlgorithmChains(FilterA(), 1), STATUS_SUCCESS);
    EXPECT_EQ(captureA->Builds(), 1);
    EXPECT_EQ(previewA->Builds(), 0);
    EXPECT_EQ(captureB->Builds(), 0);
    EXPECT_NE(captureA->GetFrameSink()->GetParent(), nullptr);
    EXPECT_EQ(live.load(), 1);
    // An audio rebuild touches no video pin.
    EXPECT_EQ(manager_->ModifyActiveAudioAlgorithmChains(FilterA(), 1), STATUS_SUCCESS);
    EXPECT_EQ(captureA->Builds(), 1);

    // A pin whose builder fails leaves the tree as it was, and the steps it made do not leak.
    captureB->SetChainBuilder([&live](AlgorithmList* list) {
        list->Append(new CountingStep(3, 0, &live));
        return STATUS_UNSUCCESSFUL;
    });
    EXPECT_EQ(manager_->ModifyActiveVideoAlgorithmChains(FilterB(), 1), STATUS_SUCCESS);
    EXPECT_EQ(captureB->Builds(), 1);
    EXPECT_EQ(live.load(), 1);
    EXPECT_EQ(Stream()->RemoveFrameSink(captureA->GetFrameSink()), STATUS_SUCCESS);
    EXPECT_EQ(live.load(), 0);
    for (FakeProcessorPin* pin : {captureA, previewA, captureB})
        EXPECT_EQ(Down(pin), STATUS_SUCCESS);
}

TEST_F(StreamProcessorManagerTest, StopAllStreamsDetachesRunningPinsFirstAndLeavesTheirSinksAlive)
{
    std::atomic<int> live{0};
    FakeProcessorPin* capture = Pin(1);
    FakeProcessorPin* preview = Pin(2);
    for (FakeProcessorPin* pin : {capture, preview}) {
        pin->SetSink(std::make_unique<RecordingSink>());
        ASSERT_EQ(Bring(pin, kStreamStateRun), STATUS_SUCCESS);
        AlgorithmList list;
        list.Append(new CountingStep(2, 0, &live));
        list.Append(new CountingStep(5, static_cast<int>(pin->GetPinId()), &live));
        list.Append(pin->GetFrameSink());
        ASSERT_EQ(pin->GetLogicalStream()->AddAlgorithmChain(&list), STATUS_SUCCESS);
    }
    EXPECT_EQ(live.load(), 3);
    const LogicalStreamHandle handle = Stream()->GetHandle();
    EXPECT_EQ(manager_->StopAllStreams(), STATUS_SUCCESS);
    EXPECT_EQ(manager_->GetVideoStreamProcessor(0), nullptr);
    EXPECT_FALSE(Table()->IsLive(handle));
    for (FakeProcessorPin* pin : {capture, preview}) {
        EXPECT_EQ(pin->Detaches(), 1);
        EXPECT_EQ(pin->GetLogicalStream(), nullptr);
        EXPECT_EQ(pin->GetStreamProcessorQueue(), nullptr);
        ASSERT_NE(pin->GetFrameSink(), nullptr);
        EXPECT_EQ(pin->GetFrameSink()->GetParent(), nullptr);
    }
    EXPECT_EQ(live.load(), 0);
    EXPECT_EQ(Table()->GetCount(), 0u);
    EXPECT_EQ(manager_->StopAllStreams(), STATUS_SUCCESS); // nothing left: nothing happens
}

TEST_F(StreamProcessorManagerTest, AudioPinsMakeTheAudioStreamOfTheirFormat)
{
    FakeProcessorPin* audio = Pin(0, FilterA(), KsFilterA(), kStreamingPinKindAudio);
    StreamAudioFormat format{};
    format.formatTag = 1;
    format.channels = 2;
    format.samplesPerSecond = 48000;
    format.bitsPerSample = 16;
    audio->SetAudioFormat(format);
    LogicalStream* stream = nullptr;
    ASSERT_EQ(manager_->AudioStreamFromStopToAcquire(audio, &stream), STATUS_SUCCESS);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->GetStreamType(), LogicalStreamType::Audio);
    EXPECT_EQ(factory_.lastAudioFormat.samplesPerSecond, 48000u);
    EXPECT_EQ(factory_.lastAudioFormat.bitsPerSample, 16);
    EXPECT_EQ(manager_->GetAudioStreamProcessor(0)->GetStreamingPin(0, 0), audio);
    EXPECT_EQ(manager_->FindAudioStreamingPin(KsFilterA(), 0), audio);
    EXPECT_EQ(manager_->GetVideoStreamProcessor(0), nullptr);
    ASSERT_EQ(manager_->AudioStreamFromAcquireToPause(audio), STATUS_SUCCESS);
    ASSERT_EQ(manager_->AudioStreamFromPauseToRun(audio), STATUS_SUCCESS);
    EXPECT_EQ(stream->GetState(), kStreamStateRun);
    ASSERT_EQ(manager_->AudioStreamFromRunToPause(audio), STATUS_SUCCESS);
    ASSERT_EQ(manager_->AudioStreamFromPauseToAcquire(audio), STATUS_SUCCESS);
    ASSERT_EQ(manager_->AudioStreamFromAcquireToStop(audio), STATUS_SUCCESS);
    EXPECT_EQ(manager_->GetAudioStreamProcessor(0), nullptr);
}

} // namespace
} // namespace streamtest
