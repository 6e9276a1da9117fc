// The logical stream without the DSP: the merge of chains into the tree and their removal, the time
// stamps, the refusal of slow clocks, the owner states of host entries and the generator side.
#include "CountingStep.h"
#include "FakePhysicalStream.h"
#include "LogicalStreamFixture.h"
#include "RecordingSink.h"

#include "algorithmlist.h"
#include "messages/Talvexon.h"

#include <atomic>
#include <memory>
#include <vector>

namespace streamtest {
namespace {

class LogicalStreamTest : public LogicalStreamFixture {
protected:
    std::string Parameters() const override
    {
        return LogicalStreamFixture::Parameters() + "\"TraceLows\"=dword:00000001\n";
    }

    void TearDown() override
    {
        lists_.clear(); // driver allocations: before the driver's heap goes with the unload
        LogicalStreamFixture::TearDown();
    }

    std::unique_ptr<FakePhysicalStream> MakeStream(bool usesDsp = false)
    {
        FakePhysicalStream::Options options;
        options.usesDsp = usesDsp;
        auto stream =
            std::make_unique<FakePhysicalStream>(services_.get(), services_->GetVideoStreamProcessorQueue(), options);
        EXPECT_EQ(stream->GetConstructionStatus(), STATUS_SUCCESS);
        return stream;
    }

    // A chain of counting steps with the given ids and settings, ended by `sink`.
    AlgorithmList* Chain(std::initializer_list<std::pair<LONG, int>> steps, Algorithm* sink)
    {
        lists_.push_back(std::make_unique<AlgorithmList>());
        AlgorithmList* list = lists_.back().get();
        for (const auto& [id, setting] : steps)
            EXPECT_TRUE(list->Append(new CountingStep(id, setting, &live_)));
        if (sink != nullptr) {
            EXPECT_TRUE(list->Append(sink));
        }
        return list;
    }

    std::atomic<int> live_{0};
    std::vector<std::unique_ptr<AlgorithmList>> lists_;
};

TEST_F(LogicalStreamTest, IdenticalChainsShareEveryStepAndADifferentScaleBranchesBelowTheCrop)
{
    auto stream = MakeStream();
    RecordingSink sinks[3];
    Algorithm* source = stream->GetSource();
    ASSERT_EQ(stream->AddAlgorithmChain(Chain({{20, 0}, {2, 0}, {3, 0}, {5, 0}}, &sinks[0])), STATUS_SUCCESS);
    ASSERT_EQ(stream->AddAlgorithmChain(Chain({{20, 0}, {2, 0}, {3, 0}, {5, 0}}, &sinks[1])), STATUS_SUCCESS);
    EXPECT_EQ(live_.load(), 4); // the second list's four steps were duplicates, destroyed
    ASSERT_EQ(source->GetChildCount(), 1);
    Algorithm* separator = source->GetChild(0);
    Algorithm* crop = separator->GetChild(0)->GetChild(0);
    ASSERT_EQ(crop->GetAlgorithmId(), 3);
    Algorithm* scale = crop->GetChild(0);
    ASSERT_EQ(scale->GetAlgorithmId(), 5);
    EXPECT_EQ(scale->GetChildCount(), 2);
    EXPECT_EQ(scale->GetChild(0), &sinks[0]);
    EXPECT_EQ(scale->GetChild(1), &sinks[1]);
    EXPECT_TRUE(sinks[1].IsModified());

    ASSERT_EQ(stream->AddAlgorithmChain(Chain({{20, 0}, {2, 0}, {3, 0}, {5, 7}}, &sinks[2])), STATUS_SUCCESS);
    EXPECT_EQ(live_.load(), 5);
    ASSERT_EQ(crop->GetChildCount(), 2);
    EXPECT_EQ(static_cast<CountingStep*>(crop->GetChild(1))->Setting(), 7);
    EXPECT_EQ(crop->GetChild(1)->GetChild(0), &sinks[2]);

    // One of two sinks goes alone; the branch of the only sink below it goes up to the crop.
    EXPECT_EQ(stream->RemoveFrameSink(&sinks[2]), STATUS_SUCCESS);
    EXPECT_EQ(crop->GetChildCount(), 1);
    EXPECT_EQ(live_.load(), 4);
    EXPECT_EQ(sinks[2].GetParent(), nullptr);
    EXPECT_EQ(stream->RemoveFrameSink(&sinks[0]), STATUS_SUCCESS);
    EXPECT_EQ(scale->GetChildCount(), 1);
    EXPECT_EQ(live_.load(), 4);
    EXPECT_EQ(stream->RemoveFrameSink(&sinks[1]), STATUS_SUCCESS);
    EXPECT_EQ(source->GetChildCount(), 0);
    EXPECT_EQ(live_.load(), 0);
}

TEST_F(LogicalStreamTest, EmptyListsNullSinksAndForeignStepsAreRefused)
{
    auto stream = MakeStream();
    AlgorithmList empty;
    EXPECT_EQ(stream->AddAlgorithmChain(&empty),
              static_cast<NTSTATUS>(MSG_NO_ALGORITHMS_INCLUDED_LIST_PASSED_LOGICALSTREAM));
    EXPECT_EQ(stream->AddAlgorithmChain(nullptr),
              static_cast<NTSTATUS>(MSG_NO_ALGORITHMS_INCLUDED_LIST_PASSED_LOGICALSTREAM));
    EXPECT_EQ(Events(MSG_NO_ALGORITHMS_INCLUDED_LIST_PASSED_LOGICALSTREAM).size(), 2u);
    EXPECT_EQ(stream->RemoveFrameSink(nullptr), STATUS_UNSUCCESSFUL);

    RecordingSink sink;
    ASSERT_EQ(stream->AddAlgorithmChain(Chain({{2, 0}}, &sink)), STATUS_SUCCESS);
    // A step that is no sink, and a sink of another stream's tree, are not removed.
    EXPECT_EQ(stream->RemoveFrameSink(stream->GetSource()->GetChild(0)), STATUS_UNSUCCESSFUL);
    auto other = MakeStream();
    EXPECT_EQ(other->RemoveFrameSink(&sink), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(sink.GetParent(), stream->GetSource()->GetChild(0));
    // A sink in no tree: nothing to do.
    RecordingSink loose;
    EXPECT_EQ(stream->RemoveFrameSink(&loose), STATUS_SUCCESS);
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
    EXPECT_EQ(live_.load(), 0);
}

TEST_F(LogicalStreamTest, ASeventeenthBranchIsRefusedWithItsStepsDestroyedAndItsSinkLeftAlone)
{
    auto stream = MakeStream();
    std::vector<std::unique_ptr<RecordingSink>> sinks;
    for (int i = 0; i < 16; ++i) {
        sinks.push_back(std::make_unique<RecordingSink>());
        ASSERT_EQ(stream->AddAlgorithmChain(Chain({{2, i}, {3, 0}}, sinks.back().get())), STATUS_SUCCESS);
    }
    EXPECT_EQ(live_.load(), 32);
    RecordingSink extra;
    EXPECT_EQ(stream->AddAlgorithmChain(Chain({{2, 99}, {3, 0}}, &extra)), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(live_.load(), 32);
    EXPECT_EQ(extra.GetParent(), nullptr);
    EXPECT_EQ(stream->GetSource()->GetChildCount(), 16);
    // A chain that shares the first step still fits below it.
    RecordingSink shared;
    EXPECT_EQ(stream->AddAlgorithmChain(Chain({{2, 3}, {3, 0}}, &shared)), STATUS_SUCCESS);
    EXPECT_EQ(shared.GetParent(), sinks[3]->GetParent());
    EXPECT_EQ(live_.load(), 32);
    stream.reset(); // the tree goes, its steps with it; the sinks stay
    EXPECT_EQ(live_.load(), 0);
    EXPECT_EQ(sinks[0]->GetParent(), nullptr);
}

TEST_F(LogicalStreamTest, TimeStampsFollowTheGridRepeatedStampsCountOneStepAndJumpsAreUsedAsMeasured)
{
    auto stream = MakeStream();
    EXPECT_TRUE(stream->IsFirstTimeStampPending());
    EXPECT_EQ(stream->ComputeTimeStamp(1000, 3'003'003, true), 0u);
    EXPECT_EQ(stream->GetTicksPerMicrosecond(), 90u);
    EXPECT_EQ(stream->GetMinimumInterval(), 333'667u - 6'673u);
    EXPECT_EQ(stream->GetMaximumInterval(), 333'667u + 6'673u);
    EXPECT_EQ(stream->ComputeTimeStamp(3'004'003, 3'003'003, true), 333'667u);
    EXPECT_EQ(stream->ComputeTimeStamp(3'004'003, 3'003'003, true), 667'334u);
    EXPECT_EQ(DebugLinesWith("DSP has dropped a VIDEO frame"), 0u);
    EXPECT_EQ(stream->ComputeTimeStamp(12'013'012, 3'003'003, true), 1'334'668u);
    EXPECT_EQ(DebugLinesWith("DSP has dropped a VIDEO frame"), 1u);
    EXPECT_EQ(DebugLinesWith("VIDEO stream. Min interval=326994, Max interval=340340"), 1u);
}

TEST_F(LogicalStreamTest, AWrappingCounterAndASwitchOfSourceKeepTheTimeGoing)
{
    auto stream = MakeStream();
    EXPECT_EQ(stream->ComputeTimeStamp(0xFFFF'0000u, 3'003'003, true), 0u);
    // Past the wrap: the delta is one tick short (0x10000 + 3003003 - 0x10000 - 1), within the
    // window, so one nominal interval.
    EXPECT_EQ(stream->ComputeTimeStamp(3'003'003u - 0x10000u, 3'003'003, true), 333'667u);
    // Generated frames: a switch of source counts one step, whatever the stamp says.
    EXPECT_EQ(stream->ComputeTimeStamp(5, 3'003'003, false), 667'334u);
    // Ten steps later in generated time: measured, and traced as a drop.
    EXPECT_EQ(stream->ComputeTimeStamp(5 + 10 * 3'003'003u, 3'003'003, false), 667'334u + 3'336'670u);
}

TEST_F(LogicalStreamTest, StampsBehindTheLastOneCountOneStepNotAWrapOfTheCounter)
{
    constexpr ULONG kStep = 3'003'003;
    constexpr ULONGLONG kInterval = 333'667;
    auto stream = MakeStream();
    EXPECT_EQ(stream->ComputeTimeStamp(1000, kStep, true), 0u);
    EXPECT_EQ(stream->ComputeTimeStamp(1000 + kStep, kStep, true), kInterval);
    // The same stamp three times: the first repeat is one step later, and so are the two after it,
    // which lie behind the corrected stamp.
    EXPECT_EQ(stream->ComputeTimeStamp(1000 + kStep, kStep, true), 2 * kInterval);
    EXPECT_EQ(stream->ComputeTimeStamp(1000 + kStep, kStep, true), 3 * kInterval);
    EXPECT_EQ(stream->ComputeTimeStamp(1000 + kStep, kStep, true), 4 * kInterval);
    // A late stamp, a little behind the last.
    EXPECT_EQ(stream->ComputeTimeStamp(1000 + 4 * kStep - 500, kStep, true), 5 * kInterval);
    // The grid goes on, and a real gap of two frames is still measured.
    EXPECT_EQ(stream->ComputeTimeStamp(1000 + 8 * kStep, kStep, true), 8 * kInterval);
    EXPECT_EQ(DebugLinesWith("DSP has dropped a VIDEO frame"), 1u);
    EXPECT_EQ(DebugLinesWith("ticks behind the last one"), 3u);
}

TEST_F(LogicalStreamTest, AStampBehindTheLastOneAcrossTheTopIsNoWrapEither)
{
    constexpr ULONG kStep = 3'003'003;
    constexpr ULONGLONG kInterval = 333'667;
    auto stream = MakeStream();
    EXPECT_EQ(stream->ComputeTimeStamp(0xFFFF'F000u, kStep, true), 0u);
    const ULONG past = 0xFFFF'F000u + kStep; // past the top
    EXPECT_EQ(stream->ComputeTimeStamp(past, kStep, true), kInterval);
    // Late: from before the top, while the last one is past it.
    EXPECT_EQ(stream->ComputeTimeStamp(0xFFFF'FF00u, kStep, true), 2 * kInterval);
    EXPECT_EQ(stream->ComputeTimeStamp(past + 2 * kStep, kStep, true), 3 * kInterval);
    EXPECT_EQ(DebugLinesWith("DSP has dropped a VIDEO frame"), 0u);
}

TEST_F(LogicalStreamTest, ARealStampBehindTheGeneratedOnesAfterARestartCountsOneStep)
{
    constexpr ULONG kStep = 3'003'003;
    constexpr ULONGLONG kInterval = 333'667;
    auto stream = MakeStream();
    EXPECT_EQ(stream->ComputeTimeStamp(50'000'000, kStep, true), 0u);
    EXPECT_EQ(stream->ComputeTimeStamp(50'000'000 + kStep, kStep, false), kInterval);
    EXPECT_EQ(stream->ComputeTimeStamp(50'000'000 + 2 * kStep, kStep, false), 2 * kInterval);
    // The DSP stream starts again (first stamp pending) and its first stamp lies behind the
    // generated counter.
    stream->SetFirstTimeStampPending();
    EXPECT_EQ(stream->ComputeTimeStamp(50'000'000 + kStep, kStep, true), 2 * kInterval + kInterval);
}

TEST_F(LogicalStreamTest, ClocksUnderOneMegahertzRefuseTheStream)
{
    services_->SetDspClockRate(999'999);
    FakePhysicalStream slow(services_.get(), nullptr);
    EXPECT_EQ(slow.GetConstructionStatus(), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(slow.StreamFromStopToAcquire(), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(slow.GetHandle().IsNull());
    services_->SetDspClockRate(1'000'000);
    FakePhysicalStream exact(services_.get(), nullptr);
    EXPECT_EQ(exact.GetConstructionStatus(), STATUS_SUCCESS);
    exact.SetTiming(100, 400'000);
    EXPECT_EQ(exact.ComputeTimeStamp(7, 100, true), 0u);
    EXPECT_EQ(exact.GetTicksPerMicrosecond(), 1u);
    EXPECT_EQ(exact.ComputeTimeStamp(40'007, 40'000, true), 400'000u);
}

TEST_F(LogicalStreamTest, BufferCountsAreClampedAndEveryHostFrameStartsInTheFreeRing)
{
    auto stream = MakeStream();
    EXPECT_EQ(stream->GetBufferCount(), 9u);
    EXPECT_EQ(stream->GetTableSize(), 18u);
    // Without the DSP every entry is a host frame.
    EXPECT_EQ(stream->GetFreeRingCount(), 18u);
    EXPECT_EQ(stream->CountEntriesOwnedBy(MappingOwner::FreeRing), 18u);
    EXPECT_EQ(stream->StreamFromStopToAcquire(), STATUS_SUCCESS);
    EXPECT_EQ(stream->GetFreeRingCount(), 18u); // nothing queued twice
    EXPECT_EQ(stream->GetState(), kStreamStateAcquire);
    EXPECT_EQ(stream->StreamFromAcquireToStop(), STATUS_SUCCESS);
}

TEST_F(LogicalStreamTest, StopToAcquireBeforeTheFramesAreAllocatedIsRefused)
{
    FakePhysicalStream::Options options;
    options.allocateFrames = false;
    FakePhysicalStream stream(services_.get(), nullptr, options);
    ASSERT_EQ(stream.GetConstructionStatus(), STATUS_SUCCESS);
    EXPECT_EQ(stream.StreamFromStopToAcquire(), STATUS_NO_MEMORY);
    EXPECT_EQ(stream.GetState(), kStreamStateStop);
    EXPECT_FALSE(stream.IsDspStreamCreated());
}

class ClampedBufferCountTest : public LogicalStreamTest {
protected:
    std::string Parameters() const override
    {
        return LogicalStreamTest::Parameters() + "\"VideoDMABuffers\"=dword:00000000\n\"AudioDMABuffers\"=dword:00001000\n";
    }
};

TEST_F(ClampedBufferCountTest, ZeroAndHugeCountsAreClamped)
{
    auto video = MakeStream();
    EXPECT_EQ(video->GetBufferCount(), LogicalStream::kMinimumBufferCount);
    EXPECT_EQ(video->GetFreeRingCount(), 2 * LogicalStream::kMinimumBufferCount);
    FakePhysicalStream::Options options;
    options.type = LogicalStreamType::Audio;
    options.usesDsp = false;
    FakePhysicalStream audio(services_.get(), nullptr, options);
    EXPECT_EQ(audio.GetBufferCount(), LogicalStream::kMaximumBufferCount);
    EXPECT_STREQ(audio.GetStreamName(), "AUDIO");
}

TEST_F(LogicalStreamTest, TheGeneratorSideTakesStampsQueuesAndGivesBackHostEntries)
{
    auto stream = MakeStream();
    RecordingSink sink;
    ASSERT_EQ(stream->AddAlgorithmChain(Chain({}, &sink)), STATUS_SUCCESS);
    ASSERT_EQ(stream->StreamFromStopToAcquire(), STATUS_SUCCESS);
    ASSERT_EQ(stream->StreamFromAcquireToPause(), STATUS_SUCCESS);
    FrameWorkItem* taken = stream->TakeFreeHostEntry();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(stream->GetFreeRingCount(), 17u);
    EXPECT_EQ(stream->CountEntriesOwnedBy(MappingOwner::Generator), 1u);
    stream->ReturnGeneratorEntry(taken);
    EXPECT_EQ(stream->GetFreeRingCount(), 18u);
    // Given back twice: still once in the ring.
    stream->ReturnGeneratorEntry(taken);
    EXPECT_EQ(stream->GetFreeRingCount(), 18u);
    // An entry not taken is not queued.
    EXPECT_FALSE(stream->QueueGeneratedFrame(taken, 0));

    for (ULONG i = 0; i < 3; ++i) {
        FrameWorkItem* entry = stream->TakeFreeHostEntry();
        ASSERT_NE(entry, nullptr);
        EXPECT_TRUE(stream->QueueGeneratedFrame(entry, 1000 + i * 3'003'003));
    }
    // All three back in the ring: the tree is done with them.
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->GetFreeRingCount() == 18u; }));
    ASSERT_EQ(sink.Deliveries().size(), 3u);
    EXPECT_EQ(sink.Deliveries()[0].frameTime, 0);
    EXPECT_EQ(sink.Deliveries()[1].frameTime, 333'667);
    EXPECT_EQ(sink.Deliveries()[2].frameTime, 667'334);
    EXPECT_EQ(sink.Deliveries()[2].frameInterval, 333'667u);
    EXPECT_EQ(sink.Deliveries()[2].sequenceNumber, 2u);
    EXPECT_EQ(stream->GetStreamTime(), 667'334u);
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
}

TEST_F(LogicalStreamTest, BelowPauseAQueuedFrameGoesBackUnprocessed)
{
    auto stream = MakeStream();
    RecordingSink sink;
    ASSERT_EQ(stream->AddAlgorithmChain(Chain({}, &sink)), STATUS_SUCCESS);
    ASSERT_EQ(stream->StreamFromStopToAcquire(), STATUS_SUCCESS);
    FrameWorkItem* entry = stream->TakeFreeHostEntry();
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(stream->QueueGeneratedFrame(entry, 0));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->GetFreeRingCount() == 18u; }));
    EXPECT_TRUE(sink.Deliveries().empty());
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
}

} // namespace
} // namespace streamtest
