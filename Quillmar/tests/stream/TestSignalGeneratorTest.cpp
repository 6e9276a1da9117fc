// The bars and tone generator thread on a logical stream: the frames it makes (bars, tone, flag 1,
// one field, time stamps on the generated grid), the drop entry and the grid with an empty free
// ring, and the stop from every state.
#include "TestSourceFixture.h"

#include "messages/Talvexon.h"
#include "standin/control.h"

#include <cstring>

namespace streamtest {
namespace {

using TestSignalGeneratorTest = TestSourceFixture;

TEST_F(TestSignalGeneratorTest, ARunningVideoStreamGetsColourBarFramesOnTheGeneratedGrid)
{
    TestSourceStream::TestOptions options;
    auto stream = MakeStream(options);
    RecordingSink sink;
    Attach(stream.get(), &sink);
    ToRun(stream.get());
    EXPECT_EQ(stream->testStarts.load(), 1);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Generator().GetFramesQueued() >= 4; }));
    ToPauseAndSettle(stream.get());
    EXPECT_EQ(stream->testStops.load(), 1);
    EXPECT_FALSE(stream->Generator().IsRunning());

    const auto& deliveries = sink.Deliveries();
    ASSERT_GE(deliveries.size(), 4u);
    const ULONG queued = stream->Generator().GetFramesQueued();
    const ULONG dropped = stream->Generator().GetFramesDropped();
    EXPECT_EQ(deliveries.size(), queued);
    // Each round in Run makes the next grid point's frame, or drops it when the sink has not yet
    // given a frame back (a loaded machine): the times are grid points, rising, from 0, and the
    // points missing are exactly the drops.
    EXPECT_EQ(deliveries[0].frameTime, 0);
    for (size_t i = 0; i < deliveries.size(); ++i) {
        const auto& d = deliveries[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(d.frameTime % 333'667, 0);
        if (i > 0) {
            EXPECT_GT(d.frameTime, deliveries[i - 1].frameTime);
        }
        EXPECT_LT(d.frameTime / 333'667, LONGLONG(queued) + dropped);
        EXPECT_EQ(d.frameInterval, 333'667u);
        EXPECT_EQ(d.flags & 1u, 1u);
        EXPECT_EQ(d.inputIdentifier, 0u);
        EXPECT_EQ(d.width, 64);
        EXPECT_EQ(d.height, 8);
        EXPECT_EQ(d.activeSize[0].width, 64);
        EXPECT_EQ(d.activeSize[0].height, 8);
        EXPECT_EQ(d.activeSize[1].width, 0);
        EXPECT_EQ(d.activeSize[1].height, 0);
        // Y rows of 64, then U and V rows of 32: bar k covers 8 pixels.
        ASSERT_EQ(d.bytes.size(), 64u * 8 * 2);
        for (int row = 0; row < 8; ++row) {
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(d.bytes[row * 64 + x], ColorBarGenerator::kBarY[x / 8]) << row << " " << x;
            for (int k = 0; k < 32; ++k) {
                ASSERT_EQ(d.bytes[512 + row * 32 + k], ColorBarGenerator::kBarU[k / 4]);
                ASSERT_EQ(d.bytes[768 + row * 32 + k], ColorBarGenerator::kBarV[k / 4]);
            }
        }
    }
    EXPECT_EQ(DebugLinesWith("VIDEO Test signal generation has been activated."), 1u);
    EXPECT_EQ(DebugLinesWith("Stopped test VIDEO signal frame generation."), 1u);
    ExpectOnlyCountedDrops(dropped, u"VIDEO");
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
}

TEST_F(TestSignalGeneratorTest, AnimatedBarsBrightenFromOneFrameToTheNext)
{
    TestSourceStream::TestOptions options;
    options.animate = true;
    auto stream = MakeStream(options);
    RecordingSink sink;
    Attach(stream.get(), &sink);
    ToRun(stream.get());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Generator().GetFramesQueued() >= 3; }));
    ToPauseAndSettle(stream.get());
    const auto& deliveries = sink.Deliveries();
    ASSERT_GE(deliveries.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(deliveries[i].bytes[0], 235 + i);
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
}

TEST_F(TestSignalGeneratorTest, ARunningAudioStreamGetsTheToneWithItsPhasesCarriedOn)
{
    TestSourceStream::TestOptions options;
    options.type = LogicalStreamType::Audio;
    options.interval = 100'000;
    options.step = 900'000;
    auto stream = MakeStream(options);
    RecordingSink sink;
    Attach(stream.get(), &sink);
    ToRun(stream.get());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Generator().GetFramesQueued() >= 3; }));
    ToPauseAndSettle(stream.get());
    const auto& deliveries = sink.Deliveries();
    ASSERT_GE(deliveries.size(), 3u);
    TestTone expected;
    std::vector<UCHAR> image(TestTone::kImageBytes);
    for (size_t i = 0; i < 3; ++i) {
        expected.Get16BitImage(image.data(), ULONG(image.size()), 1, 2);
        EXPECT_EQ(deliveries[i].bytes, image) << i;
        EXPECT_EQ(deliveries[i].flags & 1u, 1u);
        EXPECT_EQ(deliveries[i].frameTime, LONGLONG(i) * 100'000);
    }
    EXPECT_EQ(DebugLinesWith("AUDIO Test signal generation has been activated."), 1u);
    EXPECT_EQ(DebugLinesWith("Stopped test AUDIO signal frame generation."), 1u);
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
}

TEST_F(TestSignalGeneratorTest, WithTheFreeRingEmptyEachDueTimeLogsOneDropAndTheGridGoesOn)
{
    TestSourceStream::TestOptions options;
    auto stream = MakeStream(options);
    stream->SetState(kStreamStateRun);
    stream->TakeAllFreeHostFrames();
    ASSERT_EQ(stream->GetFreeRingCount(), 0u);
    TestSignalGenerator& generator = stream->Generator();
    ASSERT_EQ(generator.Start(), STATUS_SUCCESS);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return standin::EventLogCount() >= 4; }));
    generator.Stop();
    stream->SetState(kStreamStatePause);

    const auto entries = standin::EventLogEntries();
    const ULONG rounds = generator.GetRounds();
    EXPECT_EQ(entries.size(), rounds);
    EXPECT_EQ(generator.GetFramesDropped(), rounds);
    EXPECT_EQ(generator.GetFramesQueued(), 0u);
    EXPECT_EQ(stream->fills.load(), 0);
    const LONGLONG first = generator.GetFirstDueTime();
    EXPECT_EQ(generator.GetNextDueTime(), first + LONGLONG(rounds) * 333'667);
    for (size_t k = 0; k < entries.size(); ++k) {
        EXPECT_EQ(entries[k].messageId, 0xC007100Au);
        ASSERT_EQ(entries[k].inserts.size(), 2u);
        EXPECT_EQ(entries[k].inserts[0], u"VIDEO");
        EXPECT_EQ(entries[k].inserts[1], u"0");
        // Round k runs after k waits to the grid: never before its due time.
        EXPECT_GE(entries[k].timeWritten, first + LONGLONG(k) * 333'667) << k;
    }
    stream->GiveBack();
}

TEST_F(TestSignalGeneratorTest, AStreamThatNeverRunsStillStopsAndItsGridAdvances)
{
    TestSourceStream::TestOptions options;
    auto stream = MakeStream(options);
    stream->SetState(kStreamStatePause);
    TestSignalGenerator& generator = stream->Generator();
    ASSERT_EQ(generator.Start(), STATUS_SUCCESS);
    // Started twice: still one thread.
    ASSERT_EQ(generator.Start(), STATUS_SUCCESS);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return generator.GetRounds() >= 3; }));
    generator.Stop();
    EXPECT_FALSE(generator.IsRunning());
    const ULONG rounds = generator.GetRounds();
    EXPECT_EQ(generator.GetNextDueTime(), generator.GetFirstDueTime() + LONGLONG(rounds) * 333'667);
    EXPECT_EQ(generator.GetFramesQueued(), 0u);
    EXPECT_EQ(stream->fills.load(), 0);
    EXPECT_EQ(DebugLinesWith("VIDEO Test signal generation has been activated."), 1u);
    // A stop without a thread, and a restart after the stop.
    generator.Stop();
    ASSERT_EQ(generator.Start(), STATUS_SUCCESS);
    generator.Stop();
    EXPECT_EQ(DebugLinesWith("Stopped test VIDEO signal frame generation."), 2u);
}

} // namespace
} // namespace streamtest
