// VideoFrameRateConverter: which inputs are delivered with which stamps at converting and equal
// rates, the children's own clocks, the writable mark and the restored input, the lock decision,
// the telecine phases and rebuilt frames of a 3:2 sequence, resynchronisation, size changes, the
// history kept apart from the steps below, the compare and the traces.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "FieldPictureFrames.h"
#include "PullDownGenerator.h"
#include "RecordingChildStep.h"
#include "VideoStepsFixture.h"
#include "ccolorspaces.h"
#include "procamptables.h"
#include "videoframe.h"
#include "videoframerateconverter.h"

class VideoFrameRateConverterTestPeer {
public:
    static void SetDiffs(VideoFrameRateConverter& c, std::initializer_list<double> diffs, bool searching)
    {
        ULONG i = 0;
        for (double d : diffs)
            c.m_dblFrameDiffs[i++] = d;
        c.m_bSearching = searching;
    }
};

namespace {

using stepstest::MakeFieldPictureFrame;
using stepstest::PullDownGenerator;
using stepstest::RecordingChildStep;
using stepstest::VideoStepsTest;

constexpr uint32_t k60 = 166833;
constexpr uint32_t k30 = 333667;
constexpr uint32_t k25 = 400000;
constexpr uint32_t k24 = 416667;
constexpr uint32_t k23976 = 417083; // film carried on 29.97-frame video

class FrameRateTest : public VideoStepsTest {
protected:
    // A converter with one recording child.
    void Make(ULONG output, bool telecine = false, bool resync = false, LONGLONG resyncInterval = 0,
              bool autoDetect = true)
    {
        converter = std::make_unique<VideoFrameRateConverter>(output, telecine, resync, resyncInterval, autoDetect);
        recorder = new RecordingChildStep();
        ASSERT_TRUE(recorder->Connect(converter.get()));
    }
    // Input k: picture k in both fields, stamped k x interval.
    void Feed(int count, uint32_t interval, int width = 64, int height = 40, bool writable = false)
    {
        for (int k = 0; k < count; ++k) {
            auto frame = MakeFieldPictureFrame(width, height, k, k, int64_t(k) * interval, interval);
            frame->SetWritable(writable);
            converter->Process(frame.get());
        }
    }
    // Process, noting which deliveries are rebuilt progressive frames.
    void Push(VideoFrame* frame)
    {
        const size_t before = recorder->Frames().size();
        const ULONGLONG rebuiltBefore = converter->GetRebuiltFrameCount();
        converter->Process(frame);
        rebuilt.resize(recorder->Frames().size(), false);
        if (recorder->Frames().size() > before && converter->GetRebuiltFrameCount() > rebuiltBefore)
            rebuilt.back() = true;
    }
    // Rebuilt deliveries stamped from `stamp` on whose two fields hold different pictures.
    int MixedRebuiltFrom(int64_t stamp) const
    {
        int mixed = 0;
        for (size_t i = 0; i < rebuilt.size(); ++i) {
            const auto& r = recorder->Frames()[i];
            if (rebuilt[i] && r.stamp >= stamp && r.topPicture != r.bottomPicture)
                ++mixed;
        }
        return mixed;
    }
    // Deliveries stamped from `stamp` on whose two fields hold different pictures.
    int MixedFrom(int64_t stamp) const
    {
        int mixed = 0;
        for (const auto& r : recorder->Frames())
            if (r.stamp >= stamp && r.topPicture != r.bottomPicture)
                ++mixed;
        return mixed;
    }
    int RebuiltCount() const
    {
        int count = 0;
        for (bool b : rebuilt)
            count += b ? 1 : 0;
        return count;
    }
    std::vector<int> DeliveredPictures() const
    {
        std::vector<int> pictures;
        for (const auto& r : recorder->Frames())
            pictures.push_back(r.topPicture == r.bottomPicture ? r.topPicture : -1);
        return pictures;
    }
    std::vector<int64_t> DeliveredStamps() const
    {
        std::vector<int64_t> stamps;
        for (const auto& r : recorder->Frames())
            stamps.push_back(r.stamp);
        return stamps;
    }

    std::unique_ptr<VideoFrameRateConverter> converter;
    RecordingChildStep* recorder = nullptr;
    std::vector<bool> rebuilt;
};

TEST_F(FrameRateTest, SixtyToThirtyDeliversEveryOtherInputOnTheOutputGrid)
{
    Make(k30);
    Feed(20, k60);
    EXPECT_EQ(DeliveredPictures(), (std::vector<int>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18}));
    std::vector<int64_t> expected;
    for (int i = 0; i < 10; ++i)
        expected.push_back(int64_t(i) * k30);
    EXPECT_EQ(DeliveredStamps(), expected);
    // What goes down is the converter's own history, never writable.
    for (const auto& r : recorder->Frames()) {
        EXPECT_FALSE(r.writable);
        EXPECT_TRUE(r.frame == converter->GetPreviousFrame() || r.frame == converter->GetCopyFrame());
    }
}

TEST_F(FrameRateTest, ThirtyToTwentyFiveSkipsTheInputsFarthestFromTheGrid)
{
    Make(k25);
    Feed(12, k30);
    EXPECT_EQ(DeliveredPictures(), (std::vector<int>{0, 1, 2, 4, 5, 6, 7, 8, 10, 11}));
    EXPECT_EQ(DeliveredStamps().back(), 9LL * k25);
}

TEST_F(FrameRateTest, EqualIntervalsPassEachInputThroughOnceAndPutItsStampBack)
{
    Make(k30);
    std::vector<std::unique_ptr<VideoFrame>> inputs;
    for (int k = 0; k < 6; ++k) {
        // Stamps off the grid by a little: the children still see the ideal grid.
        inputs.push_back(MakeFieldPictureFrame(64, 40, k, k, int64_t(k) * k30 + 7, k30));
        inputs.back()->SetWritable(true);
        inputs.back()->SetIntervalWord(1234);
        converter->Process(inputs.back().get());
        EXPECT_EQ(inputs.back()->GetFrameNumber(), int64_t(k) * k30 + 7);
        EXPECT_EQ(inputs.back()->GetIntervalWord(), 1234u);
        EXPECT_TRUE(inputs.back()->IsWritable());
    }
    ASSERT_EQ(recorder->Frames().size(), 6u);
    for (int k = 0; k < 6; ++k) {
        const auto& r = recorder->Frames()[k];
        EXPECT_EQ(r.y, inputs[k]->GetPlane(0)) << "no copy";
        EXPECT_EQ(r.topPicture, k);
        EXPECT_EQ(r.stamp, 7 + int64_t(k) * k30);
        EXPECT_TRUE(r.writable) << "one child: the input stays writable";
    }
}

TEST_F(FrameRateTest, AfterPassingThroughTheOldHistoryIsNeverDelivered)
{
    Make(k30);
    Feed(3, k30); // pictures 0, 1, 2 passed through; the history still holds picture 0
    // The input turns to 59.94 after a pause: the overdue delivery lies nearer the last input
    // passed through (picture 2) than the new one, but that picture was never kept.
    auto frame = MakeFieldPictureFrame(64, 40, 3, 3, 3LL * k30 + 400000, k60);
    converter->Process(frame.get());
    ASSERT_EQ(recorder->Frames().size(), 4u);
    EXPECT_EQ(recorder->Frames()[3].topPicture, 3);
    auto next = MakeFieldPictureFrame(64, 40, 4, 4, 3LL * k30 + 400000 + k60, k60);
    converter->Process(next.get());
    auto after = MakeFieldPictureFrame(64, 40, 5, 5, 3LL * k30 + 400000 + 2 * k60, k60);
    converter->Process(after.get());
    for (size_t i = 3; i < recorder->Frames().size(); ++i)
        EXPECT_GE(recorder->Frames()[i].topPicture, 3) << i;
}

TEST_F(FrameRateTest, OutputFasterThanInputDeliversEveryInputOnce)
{
    Make(k60);
    Feed(8, k30);
    EXPECT_EQ(DeliveredPictures(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(DeliveredStamps()[3], 3LL * k30);
}

TEST_F(FrameRateTest, EachChildKeepsItsOwnClockAndSharedInputsAreReadOnly)
{
    Make(k30);
    auto* second = new RecordingChildStep();
    ASSERT_TRUE(second->Connect(converter.get()));
    Feed(3, k30, 64, 40, true);
    // A child joining later starts at the converter's clock, not at 0.
    auto* late = new RecordingChildStep();
    ASSERT_TRUE(late->Connect(converter.get()));
    for (int k = 3; k < 5; ++k) {
        auto frame = MakeFieldPictureFrame(64, 40, k, k, int64_t(k) * k30, k30);
        frame->SetWritable(true);
        converter->Process(frame.get());
    }
    ASSERT_EQ(second->Frames().size(), 5u);
    ASSERT_EQ(late->Frames().size(), 2u);
    EXPECT_EQ(late->Frames()[0].stamp, 3LL * k30);
    EXPECT_EQ(late->Frames()[1].stamp, 4LL * k30);
    for (const auto* r : {&recorder->Frames(), &second->Frames()})
        for (const auto& f : *r)
            EXPECT_FALSE(f.writable) << "three children share the input";
}

TEST_F(FrameRateTest, AGapInTheStampsMovesEveryClockOnByTheTimeMissing)
{
    Make(k30);
    Feed(4, k60); // pictures 0 and 2 delivered; the clock waits for 667334
    auto late = MakeFieldPictureFrame(64, 40, 50, 50, 20000000, k60);
    converter->Process(late.get());
    // The clock moved on with the stream, by the gap less one input interval: 667334 + 20000000 -
    // 500499 - 166833 = 20000002, just after the late stamp, so nothing is due yet.
    ASSERT_EQ(recorder->Frames().size(), 2u);
    EXPECT_EQ(DebugLinesWith("Input gap of 19499501 at frame# 5: delivery times move on by 19332668").size(), 1u);
    auto next = MakeFieldPictureFrame(64, 40, 51, 51, 20000000 + k60, k60);
    converter->Process(next.get());
    // Due at 20000002: the late picture lies nearer; the child's time is the stream's.
    ASSERT_EQ(recorder->Frames().size(), 3u);
    EXPECT_EQ(recorder->Frames()[2].topPicture, 50);
    EXPECT_EQ(recorder->Frames()[2].stamp, 20000002);
    for (int k = 2; k < 6; ++k) {
        auto frame = MakeFieldPictureFrame(64, 40, 50 + k, 50 + k, 20000000 + int64_t(k) * k60, k60);
        converter->Process(frame.get());
    }
    ASSERT_EQ(recorder->Frames().size(), 5u);
    EXPECT_EQ(recorder->Frames()[4].stamp, 20000002 + 2LL * k30);
    EXPECT_TRUE(DebugLinesWith("Adjusting next frame delivery time").empty());
}

TEST_F(FrameRateTest, AfterAGapPassedThroughFramesKeepTheirOwnTimesForEveryChild)
{
    Make(k30);
    auto* second = new RecordingChildStep();
    ASSERT_TRUE(second->Connect(converter.get()));
    const std::vector<int> captured{0, 1, 2, 32, 33, 34};
    for (int k : captured) {
        auto frame = MakeFieldPictureFrame(64, 40, k, k, int64_t(k) * k30, k30);
        converter->Process(frame.get());
    }
    std::vector<int64_t> expected;
    for (int k : captured)
        expected.push_back(int64_t(k) * k30);
    EXPECT_EQ(DeliveredStamps(), expected);
    ASSERT_EQ(second->Frames().size(), captured.size());
    for (size_t i = 0; i < captured.size(); ++i) {
        EXPECT_EQ(second->Frames()[i].stamp, expected[i]) << i;
        EXPECT_EQ(second->Frames()[i].topPicture, captured[i]) << i;
    }
}

TEST_F(FrameRateTest, ARateChangeIsNoGap)
{
    Make(k30);
    Feed(3, k60);
    // From 59.94 to 29.97 and back: each step is one of the two intervals.
    auto slower = MakeFieldPictureFrame(64, 40, 3, 3, 2 * k60 + k30, k30);
    converter->Process(slower.get());
    auto faster = MakeFieldPictureFrame(64, 40, 4, 4, 2 * k60 + 2 * k30, k60);
    converter->Process(faster.get());
    EXPECT_TRUE(DebugLinesWith("Input gap").empty());
}

TEST_F(FrameRateTest, IntervalsOfZeroDeliverEachFrameAndNeverHang)
{
    Make(0);
    for (int k = 0; k < 4; ++k) {
        auto frame = MakeFieldPictureFrame(64, 40, k, k, int64_t(k) * 1000000, 0);
        converter->Process(frame.get());
    }
    EXPECT_EQ(DeliveredPictures(), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(FrameRateTest, InputIntervalChangesAreTraced)
{
    Make(k30);
    Feed(2, k60);
    EXPECT_EQ(converter->GetInputInterval(), k60);
    EXPECT_EQ(DebugLinesWith("Input interval changed from 0 to 166833 at frame# 1. Output Interval is 333667").size(),
              1u);
    auto frame = MakeFieldPictureFrame(64, 40, 9, 9, 2 * k60, k30);
    converter->Process(frame.get());
    EXPECT_EQ(DebugLinesWith("Input interval changed from 166833 to 333667 at frame# 3").size(), 1u);
}

TEST_F(FrameRateTest, ValidateLocksOnlyWhenEveryOtherDifferenceLiesFiveHundredAbove)
{
    Make(k24, true);
    VideoFrameRateConverterTestPeer::SetDiffs(*converter, {100, 900, 900, 900, 900}, true);
    EXPECT_TRUE(converter->ValidatePSNRResults(0));
    EXPECT_TRUE(converter->IsLocked());
    VideoFrameRateConverterTestPeer::SetDiffs(*converter, {100, 900, 599, 900, 900}, true);
    EXPECT_FALSE(converter->ValidatePSNRResults(0));
    EXPECT_FALSE(converter->IsLocked());
    VideoFrameRateConverterTestPeer::SetDiffs(*converter, {100, 900, 600.5, 900, 900}, true);
    EXPECT_TRUE(converter->ValidatePSNRResults(0));
    // Two zero differences besides the candidate.
    VideoFrameRateConverterTestPeer::SetDiffs(*converter, {900, 0, 900, 0, 900}, false);
    EXPECT_FALSE(converter->ValidatePSNRResults(1));
    VideoFrameRateConverterTestPeer::SetDiffs(*converter, {900, 0, 900, 5, 900}, false);
    EXPECT_TRUE(converter->ValidatePSNRResults(1));
    EXPECT_EQ(DebugLinesWith("m_dblFrameDiffs[3]=5").size(), 1u);
    EXPECT_EQ(DebugLinesWith("nTempInterlacedFrameIndex=1, m_bFlagIVTCLocked=1").size(), 1u);
    EXPECT_EQ(DebugLinesWith("nTempInterlacedFrameIndex=0, m_bFlagIVTCLocked=0").size(), 1u);
}

TEST_F(FrameRateTest, ANonTwentyFourOutputTurnsTelecineOffAtTheFirstFrame)
{
    Make(k30, true);
    EXPECT_TRUE(converter->IsInverseTelecineOn());
    Feed(1, k30);
    EXPECT_FALSE(converter->IsInverseTelecineOn());
    EXPECT_FALSE(converter->IsRepeatPending());
    // From then on equal intervals pass the input through.
    auto frame = MakeFieldPictureFrame(64, 40, 1, 1, k30, k30);
    converter->Process(frame.get());
    EXPECT_EQ(recorder->Frames().back().y, frame->GetPlane(0));
}

// Runs a 3:2 sequence through a converter to 24 frames a second.
class TelecineTest : public FrameRateTest {
protected:
    void Run(int width, int height, int phase, int frames, bool resync = false, ULONG output = k24)
    {
        Make(output, true, resync, resync ? 10000 * 1000 : 0);
        PullDownGenerator generator(width, height, phase);
        for (int n = 0; n < frames; ++n) {
            auto frame = generator.Frame(n);
            Push(frame.get());
            if (converter->IsLocked() && lockedAt < 0)
                lockedAt = n + 1;
            deliveredAfter.push_back(recorder->Frames().size());
        }
    }
    int lockedAt = -1;
    std::vector<size_t> deliveredAfter;
};

TEST_F(TelecineTest, AThreeTwoSequenceLocksAndDeliversFourProgressivePicturesOfFive)
{
    Run(352, 240, 0, 60);
    ASSERT_GT(lockedAt, 0);
    EXPECT_LE(lockedAt, 15);
    EXPECT_EQ(converter->GetFramesToPush() >= 0 && converter->GetFramesToPush() <= 4, true);
    // From the first full cycle after rebuilding starts: 4 deliveries for every 5 inputs.
    for (int n = 15; n + 5 <= 60; n += 5)
        EXPECT_EQ(deliveredAfter[n + 4] - deliveredAfter[n - 1], 4u) << "cycle from input " << n;
    // Each rebuilt frame holds both fields of one picture. The frame carrying the repeated field
    // is held back, so every frame delivered once locked is one picture, each picture once.
    EXPECT_GE(RebuiltCount(), 8);
    EXPECT_EQ(MixedRebuiltFrom(0), 0);
    EXPECT_EQ(MixedFrom(15LL * k30), 0);
    int previousPicture = -1;
    for (const auto& r : recorder->Frames()) {
        if (r.stamp < 15LL * k30)
            continue;
        if (previousPicture >= 0) {
            EXPECT_EQ(r.topPicture, previousPicture + 1) << "stamp " << r.stamp;
        }
        previousPicture = r.topPicture;
    }
    EXPECT_FALSE(DebugLinesWith("m_nFramesToPush = 1").empty());
}

// Film on 29.97-frame video runs at 23.976 frames a second: an output of that rate undoes the
// pull-down as one of 24 does, instead of combing two pictures into every fifth frame.
TEST_F(TelecineTest, FilmRateOutputOfNtscVideoLocksAndDeliversCleanPictures)
{
    Run(352, 240, 0, 60, false, k23976);
    EXPECT_TRUE(converter->IsInverseTelecineOn());
    ASSERT_GT(lockedAt, 0);
    EXPECT_LE(lockedAt, 15);
    for (int n = 15; n + 5 <= 60; n += 5)
        EXPECT_EQ(deliveredAfter[n + 4] - deliveredAfter[n - 1], 4u) << "cycle from input " << n;
    EXPECT_GE(RebuiltCount(), 8);
    EXPECT_EQ(MixedRebuiltFrom(0), 0);
    EXPECT_EQ(MixedFrom(15LL * k30), 0);
    // The deliveries lie on the output grid.
    const auto stamps = DeliveredStamps();
    for (size_t i = 1; i < stamps.size(); ++i)
        if (stamps[i - 1] >= 15LL * k30) {
            EXPECT_EQ(stamps[i] - stamps[i - 1], int64_t(k23976)) << i;
        }
}

TEST_F(TelecineTest, EveryPhaseOfTheCycleLocksAndRebuildsCleanFrames)
{
    for (int phase = 1; phase < 5; ++phase) {
        lockedAt = -1;
        deliveredAfter.clear();
        rebuilt.clear();
        Run(352, 240, phase, 40);
        ASSERT_GT(lockedAt, 0) << phase;
        EXPECT_LE(lockedAt, 15) << phase;
        EXPECT_GE(RebuiltCount(), 4) << phase;
        EXPECT_EQ(MixedRebuiltFrom(0), 0) << phase;
        EXPECT_EQ(MixedFrom(15LL * k30), 0) << phase;
        for (size_t n = 15; n + 5 <= deliveredAfter.size(); n += 5)
            EXPECT_EQ(deliveredAfter[n + 4] - deliveredAfter[n - 1], 4u) << "phase " << phase << " cycle " << n;
    }
}

TEST_F(TelecineTest, AHighDefinitionLockAtPositionOneSetsFramesToPushThree)
{
    // Phase 0: the repeated field arrives with the second sample of the search window.
    Make(k24, true);
    PullDownGenerator generator(1920, 1080, 0);
    for (int n = 0; n < 6; ++n) {
        auto frame = generator.Frame(n);
        converter->Process(frame.get());
    }
    EXPECT_TRUE(converter->IsLocked());
    EXPECT_TRUE(converter->IsPhaseFound());
    EXPECT_EQ(converter->GetFramesToPush(), 3);
    EXPECT_EQ(DebugLinesWith("m_nFramesToPush = 3").size(), 1u);
    EXPECT_EQ(DebugLinesWith("nTempInterlacedFrameIndex=1, m_bFlagIVTCLocked=1").size(), 1u);
    EXPECT_LT(converter->GetFrameDiff(1), 1.0);
}

// Feeds a 3:2 sequence with one input lost after `cut` inputs; the stamps run on regularly.
class TelecineCutTest : public FrameRateTest {
protected:
    void RunWithCut(bool resync, int cut, int frames)
    {
        Make(k24, true, resync, 10000LL * 100000);
        PullDownGenerator generator(352, 240, 0);
        for (int n = 0, input = 0; n < frames; ++n, ++input) {
            if (n == cut)
                ++input;
            auto frame = generator.Frame(input);
            frame->SetFrameNumber(int64_t(n) * k30);
            Push(frame.get());
        }
    }
};

TEST_F(TelecineCutTest, TheCheckWindowMovesThePhaseAfterACutInTheSequence)
{
    RunWithCut(true, 20, 70);
    EXPECT_TRUE(converter->IsLocked());
    EXPECT_GE(DebugLinesWith("m_nFramesToPush = ").size(), 2u) << "the phase was set and moved";
    EXPECT_EQ(MixedRebuiltFrom(0), 0);
    EXPECT_EQ(MixedFrom(45LL * k30), 0) << "after the check moved the phase";
}

TEST_F(TelecineCutTest, WithoutResynchronisationThePhaseFoundStaysAndFramesMix)
{
    RunWithCut(false, 20, 70);
    EXPECT_EQ(DebugLinesWith("m_nFramesToPush = ").size(), 1u);
    EXPECT_GT(MixedFrom(45LL * k30), 3);
}

TEST_F(TelecineTest, ResynchronisationStartsANewAnalysisInsteadOfStoppingForEver)
{
    // A resync interval of one frame time: due at every cycle.
    Make(k24, true, true, k30);
    PullDownGenerator generator(352, 240, 0);
    std::vector<LONGLONG> analysisTimes;
    for (int n = 0; n < 50; ++n) {
        auto frame = generator.Frame(n);
        Push(frame.get());
        analysisTimes.push_back(converter->GetAnalysisTime());
    }
    EXPECT_TRUE(converter->IsLocked());
    // The analysis time keeps moving on to recent frames.
    EXPECT_GE(analysisTimes.back(), 40LL * k30);
    EXPECT_GT(analysisTimes.back(), analysisTimes[25]);
    EXPECT_GE(RebuiltCount(), 6);
    EXPECT_EQ(MixedRebuiltFrom(0), 0);
    EXPECT_EQ(MixedFrom(15LL * k30), 0);
}

TEST_F(FrameRateTest, ASizeChangeRemakesTheHistoryAndStartsTheAnalysisOver)
{
    Make(k24, true);
    PullDownGenerator small(352, 240, 0);
    for (int n = 0; n < 8; ++n) {
        auto frame = small.Frame(n);
        converter->Process(frame.get());
    }
    EXPECT_TRUE(converter->IsPhaseFound());
    auto big = MakeFieldPictureFrame(1920, 1080, 100, 100, 8LL * k30, k30);
    converter->Process(big.get());
    EXPECT_FALSE(converter->IsPhaseFound());
    EXPECT_FALSE(converter->IsLocked());
    ASSERT_NE(converter->GetPreviousFrame(), nullptr);
    EXPECT_EQ(converter->GetPreviousFrame()->GetWidth(), 1920);
    EXPECT_EQ(converter->GetCopyFrame()->GetHeight(), 1080);
}

TEST_F(FrameRateTest, AProcAmpBelowLeavesTheHistoryAsItCame)
{
    converter = std::make_unique<VideoFrameRateConverter>(k30, false, false, 0, true);
    auto* procAmp = new CColorSpaces();
    ProcAmpBlock block{};
    block.contrast = block.contrastNeutral = 100;
    block.gamma = block.gammaNeutral = 100;
    block.brightness = 20;
    procAmp->LoadSettings(block);
    procAmp->UpdateSettings();
    ASSERT_TRUE(procAmp->Connect(converter.get()));
    recorder = new RecordingChildStep(kAlgorithmIdEnd, true);
    ASSERT_TRUE(recorder->Connect(procAmp));
    std::vector<std::unique_ptr<VideoFrame>> inputs;
    for (int k = 0; k < 6; ++k) {
        inputs.push_back(MakeFieldPictureFrame(64, 40, k, k, int64_t(k) * k60, k60));
        converter->Process(inputs.back().get());
        // The previous frame is the last input, byte for byte.
        EXPECT_EQ(stepstest::PictureBytes(converter->GetPreviousFrame()), stepstest::PictureBytes(inputs.back().get()))
            << k;
    }
    ASSERT_EQ(recorder->Frames().size(), 3u);
    // The proc amp worked in its own frame: brightness 20 adds 51 to the luma of pictures 0, 2, 4.
    for (size_t i = 0; i < 3; ++i) {
        const auto& r = recorder->Frames()[i];
        EXPECT_NE(r.frame, converter->GetPreviousFrame());
        EXPECT_NE(r.frame, converter->GetCopyFrame());
        EXPECT_EQ(r.bytes[3], stepstest::FieldPictureLevel(int(2 * i)) + 51);
    }
}

TEST_F(FrameRateTest, CompareLooksAtTelecineSettingsOnlyWithTelecineOn)
{
    VideoFrameRateConverter a(k30, false, false, 0, false), b(k30, false, true, 99, true);
    EXPECT_TRUE(a.IsEqual(&b));
    VideoFrameRateConverter c(k25, false, false, 0, false);
    EXPECT_FALSE(a.IsEqual(&c));
    VideoFrameRateConverter t1(k24, true, false, 5, true), t2(k24, true, false, 9, true);
    EXPECT_TRUE(t1.IsEqual(&t2)) << "resync off: its interval does not count";
    VideoFrameRateConverter t3(k24, true, true, 5, true), t4(k24, true, true, 9, true);
    EXPECT_FALSE(t3.IsEqual(&t4));
    VideoFrameRateConverter t5(k24, true, false, 5, false);
    EXPECT_FALSE(t1.IsEqual(&t5));
    EXPECT_FALSE(t1.IsEqual(&a));
    CColorSpaces other;
    EXPECT_FALSE(a.IsEqual(&other));
    EXPECT_FALSE(a.IsEqual(nullptr));
}

} // namespace
