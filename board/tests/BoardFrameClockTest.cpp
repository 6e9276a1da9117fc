// The frame clocks: buffers filled at the signal's exact rate and stamped on its grid, drops when
// nothing is queued, audio every 10 ms with its tones, the counter wrapping, and the capture faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "StreamTestHost.h"
#include "board/AlignmentMarker.h"
#include "board/ColourBars.h"
#include "board/FpgaModel.h"
#include "board/Tones.h"

namespace board {
namespace {

using platform::Clock;
using testing::kAudioBufferSize;
using testing::kVideoBufferSize;

constexpr uint32_t kNtscTicks = 3'003'000;
constexpr uint32_t kNtscSize = 2 * 720 * 525;

class BoardFrameClock : public testing::StreamTest {};

TEST_F(BoardFrameClock, NtscFramesAreStampedOnTheirGridAndAnsweredAfterTheyEnd)
{
    commands().SetFrameClockManual(true);
    const uint32_t handle = CreateQueued(0, 9, kVideoBufferSize);
    Enable(handle);
    ASSERT_TRUE(commands().StepFrames(handle, 10));

    std::vector<uint32_t> stamps;
    std::vector<int64_t> seen;
    for (uint32_t k = 0; k < 9; ++k) {
        const MailboxResponse filled = NextFill();
        seen.push_back(Clock::Now());
        EXPECT_EQ(filled.Tag(), tags[k]);
        EXPECT_EQ(filled.Result(), kDspResultSuccess);
        EXPECT_EQ(filled.WordB(), kNtscSize);
        stamps.push_back(Stamp(filled));
    }
    for (uint32_t k = 1; k < 9; ++k)
        EXPECT_EQ(stamps[k] - stamps[k - 1], kNtscTicks) << k;

    // The tenth frame found nothing queued.
    ASSERT_TRUE(testing::Eventually([&] { return commands().Stream(handle)->dropped == 1; }));
    const DspStream stream = *commands().Stream(handle);
    EXPECT_EQ(stream.filled, 9u);
    EXPECT_EQ(stream.clock.Taken(), 10u);
    // Frame k of the run covers [T0 + k x 333,666.67, T0 + (k + 1) x 333,666.67) units of the clock.
    const uint64_t t0 = stream.clock.FrameStart(stream.clock.NextIndex() - stream.clock.Taken());
    for (uint32_t k = 0; k < 9; ++k)
        EXPECT_GE(static_cast<uint64_t>(seen[k]) * 9, t0 + (k + 1) * uint64_t{kNtscTicks}) << k;

    // The next buffer gets frame 11: two steps after frame 9.
    Queue(handle, 0);
    Taken();
    commands().StepFrames(handle, 1);
    const MailboxResponse late = NextFill();
    EXPECT_EQ(Stamp(late) - stamps[8], 2 * kNtscTicks);
    EXPECT_EQ(commands().Stream(handle)->dropped, 1u);
}

TEST_F(BoardFrameClock, AFreeRunningClockKeepsTheGridWhileTheHostRequeues)
{
    const uint32_t handle = CreateQueued(0, 4, kVideoBufferSize);
    Enable(handle);
    std::vector<uint32_t> stamps;
    for (int n = 0; n < 12; ++n) {
        const MailboxResponse filled = NextFill();
        ASSERT_EQ(filled.Result(), kDspResultSuccess);
        stamps.push_back(Stamp(filled));
        Queue(handle, IndexOf(filled));
    }
    // However late the host requeued, every stamp lies on the grid and grows by whole frames;
    // the frames between are the drops.
    uint64_t frames = 0;
    for (size_t k = 1; k < stamps.size(); ++k) {
        const uint32_t step = stamps[k] - stamps[k - 1];
        EXPECT_EQ(step % kNtscTicks, 0u) << k;
        EXPECT_GE(step, kNtscTicks);
        frames += step / kNtscTicks;
    }
    EXPECT_EQ(SendPastFills(kCommandEnableStream, handle, {0}).Result(), kDspResultSuccess);
    const DspStream stream = *commands().Stream(handle);
    EXPECT_GE(stream.filled + stream.dropped, frames + 1);
}

TEST_F(BoardFrameClock, ColourBarsAndTheFrameCounterFillTheActiveRows)
{
    commands().SetFrameClockManual(true);
    const uint32_t handle = CreateQueued(0, 3, kVideoBufferSize);
    Enable(handle);
    commands().StepFrames(handle, 3);
    for (uint32_t k = 0; k < 3; ++k) {
        const MailboxResponse filled = NextFill();
        ASSERT_EQ(filled.Result(), kDspResultSuccess);
        const uint8_t* y = Data(IndexOf(filled));
        const uint8_t* cb = y + 720 * 525;
        const uint8_t* cr = cb + 360 * 525;
        const uint32_t row = 18; // field 0, active row 0
        for (uint32_t c = 0; c < 90; ++c)
            ASSERT_EQ(y[row * 720 + c], 235) << c;
        for (uint32_t c = 90; c < 180; ++c)
            ASSERT_EQ(y[row * 720 + c], 161) << c;
        for (uint32_t c = 630; c < 720; ++c)
            ASSERT_EQ(y[row * 720 + c], 16) << c;
        for (uint32_t c = 45; c < 90; ++c) {
            ASSERT_EQ(cb[row * 360 + c], 43) << c;
            ASSERT_EQ(cr[row * 360 + c], 139) << c;
        }
        // The last active row of each field holds the counter.
        EXPECT_EQ(ColourBars::ReadCounter(y + (18 + 243) * 720, 720), k);
        EXPECT_EQ(ColourBars::ReadCounter(y + (262 + 20 + 242) * 720, 720), k);
        EXPECT_EQ(ColourBars::ReadCounter(y + (18 + 244 - 16) * 720, 720), k); // first counter row
        EXPECT_EQ(y[(18 + 244 - 17) * 720], 235);                                // still bars above it
    }
}

TEST_F(BoardFrameClock, AudioBuffersComeEveryTenMillisecondsWithTheTones)
{
    commands().SetFrameClockManual(true);
    constexpr uint32_t kBuffers = 101; // 48,480 samples: 48,000 intervals and then some
    constexpr uint32_t kSize = 7'680;  // 3 rows x 2 pairs x 1,280 bytes
    MakeBuffers(kBuffers, kSize);
    const uint32_t handle = Create(10, {0, 0, 0, 0, 100, 0, 0, 0});
    std::vector<int32_t> left0;
    std::vector<uint32_t> stamps;
    uint32_t next = 0;
    auto take = [&](uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            Queue(handle, next + i);
        Taken();
        commands().StepFrames(handle, count);
        for (uint32_t i = 0; i < count; ++i) {
            const MailboxResponse filled = NextFill();
            ASSERT_EQ(filled.Result(), kDspResultSuccess);
            EXPECT_EQ(filled.WordB(), kSize);
            EXPECT_EQ(Status(filled, 0), CapturePattern::kAudioFormatSd); // NTSC: the SD clock
            EXPECT_EQ(Status(filled, 2), 0xFu);
            EXPECT_EQ(Status(filled, 3), 0xFu);
            EXPECT_EQ(Status(filled, 4), 100u);
            EXPECT_EQ(Status(filled, 1), 0u);
            stamps.push_back(Stamp(filled));
            const uint8_t* data = Data(IndexOf(filled));
            for (uint32_t row = 0; row < 3; ++row)
                for (uint32_t s = 0; s < 160; ++s) {
                    int32_t v;
                    std::memcpy(&v, data + row * 2 * 1280 + s * 8, 4); // pair 0 comes first in a row
                    left0.push_back(v);
                }
        }
    };
    Enable(handle);
    take(60);
    next = 60;
    take(kBuffers - 60);
    for (size_t k = 1; k < stamps.size(); ++k)
        ASSERT_EQ(stamps[k] - stamps[k - 1], 900'000u) << k;

    int crossings = 0;
    int32_t peak = 0;
    for (size_t i = 1; i <= 48'000; ++i) {
        crossings += (left0[i - 1] < 0) != (left0[i] < 0);
        peak = std::max(peak, std::abs(left0[i]));
    }
    EXPECT_EQ(crossings, 2000);
    EXPECT_LE(peak, Tones::kAmplitude);
    EXPECT_GT(peak, Tones::kAmplitude - 1000);
}

TEST_F(BoardFrameClock, SilentAndAbsentPairsAndOtherRates)
{
    commands().SetFrameClockManual(true);
    // Pairs 1, 2 and 5 present, only 2 with sound, at 44.1 kHz: 3 rows x 3 blocks of 1,176 bytes.
    ASSERT_TRUE(commands().SetAudio(0, AudioSignal{0x26, 0x04, 44100}));
    EXPECT_EQ(Next().Id(), kDspMessageInputState);
    EXPECT_FALSE(commands().SetAudio(0, AudioSignal{0x26, 0x01, 44100})); // sound on an absent pair
    EXPECT_FALSE(commands().SetAudio(0, AudioSignal{0x26, 0x04, 22050}));
    const MailboxResponse filled = CaptureOne(10, kAudioBufferSize);
    ASSERT_EQ(filled.Result(), kDspResultSuccess);
    EXPECT_EQ(filled.WordB(), 3u * 3 * 1176);
    EXPECT_EQ(Status(filled, 1), 1u << 2 | 1u << 4 | 1u << 10);     // 2-bit codes of pairs 1, 2, 5
    EXPECT_EQ(Status(filled, 5), 1u << 3 | 1u << 6 | 1u << 15);     // 3-bit codes
    EXPECT_EQ(Status(filled, 2), 0x3u << 2 | 0x3u << 4 | 0x3u << 10);
    EXPECT_EQ(Status(filled, 3), 0x3u << 4);
    const uint8_t* data = Data(0);
    for (uint32_t row = 0; row < 3; ++row) {
        const uint8_t* block = data + row * 3 * 1176;
        for (uint32_t i = 0; i < 1176; ++i) {
            ASSERT_EQ(block[i], 0) << "pair 1 is silent";
            ASSERT_EQ(block[2 * 1176 + i], 0) << "pair 5 is silent";
        }
        int32_t first;
        std::memcpy(&first, block + 1176, 4);
        EXPECT_EQ(first, Tones::Sample(2, 0, row * 147, 44100));
    }
}

TEST_F(BoardFrameClock, TheCounterWrapsAndKeepsItsStep)
{
    commands().SetFrameClockManual(true);
    const uint32_t handle = CreateQueued(0, 6, kVideoBufferSize);
    Enable(handle);
    commands().StepFrames(handle, 1);
    NextFill();
    // Set the counter so that the next frame starts 2,500,000 ticks before the counter wraps: it
    // reads `value` at the board's time now, and runs on from there.
    const uint64_t nextStart = commands().Stream(handle)->clock.NextStart();
    const uint64_t nowTicks = static_cast<uint64_t>(Clock::Now()) * 9;
    commands().SetTimeStampCounter(static_cast<uint32_t>(0x1'0000'0000ull - 2'500'000 + (nowTicks - nextStart)));
    commands().StepFrames(handle, 5);
    std::vector<uint32_t> stamps;
    for (int i = 0; i < 5; ++i)
        stamps.push_back(Stamp(NextFill()));
    EXPECT_GT(stamps[0], 0xFFFFFFFFu - 2 * kNtscTicks);
    bool wrapped = false;
    for (size_t k = 1; k < stamps.size(); ++k) {
        EXPECT_EQ(stamps[k] - stamps[k - 1], kNtscTicks);
        wrapped |= stamps[k] < stamps[k - 1];
    }
    EXPECT_TRUE(wrapped);
    // Set to the value the host's tests use: 0xFFFFFFFF - 10,000,000 now, and it reads on from there.
    commands().SetTimeStampCounter(0xFFFFFFFFu - 10'000'000);
    const uint32_t later = commands().TimeStampCounter();
    EXPECT_LT(later - (0xFFFFFFFFu - 10'000'000), 90'000'000u); // under a second on
}

TEST_F(BoardFrameClock, MarkerFailureAndGeometryFaults)
{
    commands().SetFrameClockManual(true);
    board.Fpga().SetRegister(FpgaModel::kAlignmentControl, 3 << 6 | 32);
    const uint32_t handle = CreateQueued(0, 9, kVideoBufferSize);
    StreamFaults& faults = commands().Faults(StreamKind::Video);
    faults.OmitMarker(5);
    faults.FailNextCaptures(1, kDspErrorBadParameter);
    Enable(handle);
    commands().StepFrames(handle, 7);
    const MailboxResponse failed = NextFill();
    EXPECT_EQ(failed.Result(), kDspErrorBadParameter);
    EXPECT_EQ(failed.WordB(), 0u);
    EXPECT_EQ(Status(failed, 0), 0u);
    EXPECT_EQ(Data(0)[0], 0xCD); // nothing written
    auto hasMarker = [&](const MailboxResponse& filled) {
        const uint8_t* row = Data(IndexOf(filled)) + 2 * 720;
        return std::equal(AlignmentMarker::kMarker.begin(), AlignmentMarker::kMarker.end(), row);
    };
    int without = 0;
    for (int i = 0; i < 6; ++i) {
        const MailboxResponse filled = NextFill();
        ASSERT_EQ(filled.Result(), kDspResultSuccess);
        without += !hasMarker(filled);
        if (i == 5) {
            EXPECT_TRUE(hasMarker(filled));
        }
    }
    EXPECT_EQ(without, 5);

    // A reported geometry of the test's choosing, and VBI lines counted unlike captured.
    StatusWords odd{};
    odd[0] = 2047 | 0x1FFFu << 11;
    odd[1] = 4095 | 4095u << 12;
    faults.ReportGeometry(odd, 1);
    faults.CountVbi(std::array<uint32_t, 2>{22, 23});
    commands().StepFrames(handle, 2);
    const MailboxResponse reported = NextFill();
    EXPECT_EQ(Status(reported, 0), odd[0]);
    EXPECT_EQ(Status(reported, 1), odd[1]);
    EXPECT_EQ(reported.WordB(), kNtscSize); // the picture is the real one
    const MailboxResponse counted = NextFill();
    EXPECT_EQ(Status(counted, 0), 720u | 138u << 11);
    EXPECT_EQ(Status(counted, 2), 22u | 23u << 8);
    EXPECT_EQ(Status(counted, 3), 18u | 20u << 8);
    faults.Clear();
}

TEST_F(BoardFrameClock, StampFaultsRepeatSkipAndJitter)
{
    commands().SetFrameClockManual(true);
    const uint32_t handle = CreateQueued(0, 8, kVideoBufferSize);
    StreamFaults& faults = commands().Faults(StreamKind::Video);
    Enable(handle);
    commands().StepFrames(handle, 1);
    const uint32_t first = Stamp(NextFill());
    faults.RepeatStamp(1);
    commands().StepFrames(handle, 1);
    EXPECT_EQ(Stamp(NextFill()), first);
    // Two frames not captured: no buffer taken, no drop counted, the stamp jumps three frames.
    faults.SkipFrames(2);
    commands().StepFrames(handle, 3);
    const uint32_t afterSkip = Stamp(NextFill());
    EXPECT_EQ(afterSkip - first, 4 * kNtscTicks);
    EXPECT_EQ(commands().Stream(handle)->skipped, 2u);
    EXPECT_EQ(commands().Stream(handle)->dropped, 0u);
    EXPECT_EQ(commands().Stream(handle)->queued.size(), 5u);

    faults.StampJitter(1000, 7);
    commands().StepFrames(handle, 5);
    std::vector<int64_t> offsets;
    for (int i = 1; i <= 5; ++i) {
        const int64_t off = static_cast<int32_t>(Stamp(NextFill()) - (afterSkip + i * kNtscTicks));
        EXPECT_LE(std::abs(off), 1000);
        offsets.push_back(off);
    }
    EXPECT_NE(std::count(offsets.begin(), offsets.end(), offsets[0]), 5) << "the stamps do move";
    faults.Clear();
}

TEST_F(BoardFrameClock, LateCompletionsAndOneHeldPastItsStreamsDestroy)
{
    commands().SetFrameClockManual(true);
    const uint32_t handle = CreateQueued(0, 3, kVideoBufferSize);
    StreamFaults& faults = commands().Faults(StreamKind::Video);
    faults.DelayCompletions(50 * Clock::kUnitsPerMillisecond);
    Enable(handle);
    const int64_t before = Clock::Now();
    commands().StepFrames(handle, 1);
    const MailboxResponse late = NextFill();
    EXPECT_GE(Clock::Now() - before, 50 * Clock::kUnitsPerMillisecond);
    EXPECT_EQ(late.Tag(), tags[0]);
    faults.DelayCompletions(0);

    faults.HoldCompletionsPastDestroy(1);
    commands().StepFrames(handle, 1);
    ASSERT_TRUE(testing::Eventually([&] { return commands().Stream(handle)->filled == 2; }));
    ExpectQuiet(20);
    const uint64_t destroy = Put(kCommandDestroyStream, handle);
    const MailboxResponse cancelled = NextFill();
    EXPECT_EQ(cancelled.Tag(), tags[2]);
    EXPECT_EQ(cancelled.Result(), kDspErrorCancelled);
    const MailboxResponse done = Next();
    EXPECT_EQ(done.Tag(), destroy);
    EXPECT_EQ(done.Id(), kCommandDestroyStream);
    const MailboxResponse held = NextFill();
    EXPECT_EQ(held.Tag(), tags[1]);
    EXPECT_EQ(held.Result(), kDspResultSuccess);
    EXPECT_EQ(held.WordB(), kNtscSize);
}

TEST_F(BoardFrameClock, HalfScaleCapturesA1080FrameNineHundredSixtyWide)
{
    commands().SetFrameClockManual(true);
    board.Fpga().SetRegister(FpgaModel::kAlignmentControl, 3 << 6 | 32);
    ASSERT_TRUE(commands().SetStandard(0, 0x800));
    EXPECT_EQ(Next().Id(), kDspMessageInputState);
    EXPECT_EQ(Send(kCommandPerformanceParameters, 0xFF80, {0, 0, 2, 3, 2, 2, 1}).Result(), kDspResultSuccess);
    const MailboxResponse filled = CaptureOne(0, kVideoBufferSize);
    ASSERT_EQ(filled.Result(), kDspResultSuccess);
    EXPECT_EQ(Status(filled, 0), 960u | 360u << 11);
    EXPECT_EQ(Status(filled, 1), 540u | 540u << 12);
    EXPECT_EQ(filled.WordB(), 2u * 960 * 1125);
    // 1080i25's frames are 3,600,000 ticks; the short marker sits in the 960-wide row.
    const uint8_t* row = Data(0) + 2 * 960;
    EXPECT_TRUE(std::equal(AlignmentMarker::kHalfScaleMarker.begin(), AlignmentMarker::kHalfScaleMarker.end(), row));
    EXPECT_EQ(row[4], 16);
}

TEST_F(BoardFrameClock, ABufferTooSmallOrUnmappedIsAnsweredWithTheError)
{
    commands().SetFrameClockManual(true);
    MakeBuffers(2, 700'000);
    const uint32_t handle = Create(0);
    Queue(handle, 0); // under the 756,000 bytes of 525 rows
    Put(kCommandQueueCaptureBuffer, handle, {0x00F00000, kVideoBufferSize}); // no host memory there
    Enable(handle);
    commands().StepFrames(handle, 2);
    EXPECT_EQ(NextFill().Result(), kDspErrorBadParameter);
    EXPECT_EQ(NextFill().Result(), kDspErrorDmaNotMapped);
    EXPECT_EQ(Data(0)[0], 0xCD);
    EXPECT_EQ(commands().Stream(handle)->filled, 0u);
}

} // namespace
} // namespace board
