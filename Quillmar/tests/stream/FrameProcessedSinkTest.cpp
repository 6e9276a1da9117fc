// The sink against a real pin and an application's client frames: presentation times, option
// flags and frame information of video and VBI headers, drops with their event-log entries and
// the gap rule, lending, the pin leaving Run, the reference clock, audio rate conversion, copies
// that fit, and the delivery statistics.
#include "FrameClient.h"
#include "StreamPinTest.h"
#include "TestReferenceClock.h"
#include "audioframe.h"
#include "frameprocessedsink.h"
#include "videoframe.h"
#include "videoframerateconverter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using streamtest::StreamPinTest;
using streamtest::TestReferenceClock;

namespace {

constexpr ULONG kInterval = 333667;
constexpr LONG kWidth = 64;
constexpr LONG kHeight = 4;
constexpr ULONG kFrameBytes = kWidth * kHeight * 2; // the picture exactly

class SinkTest : public StreamPinTest {
protected:
    void SetUp() override
    {
        StreamPinTest::SetUp();
        logger->SetTraceMask(kTraceHighs | kTraceErrors);
        buffer.assign(kFrameBytes, 0);
        frame.Initialize(buffer.data(), kFrameBytes, kWidth, kHeight, 8);
        frame.SetFrameInterval(kInterval);
        sink = std::make_unique<FrameProcessedSink>(&pin);
        sink->SetInterval(kInterval);
        sink->ResetFrameTimes();
    }
    void TearDown() override
    {
        sink.reset();
        frame.DetachBuffer();
        StreamPinTest::TearDown();
    }

    // The frame stamped `time`, numbered in sequence, its bytes a pattern of the number.
    void Deliver(LONGLONG time)
    {
        ++sequence;
        frame.SetFrameNumber(time);
        frame.SetSequenceNumber(sequence);
        for (ULONG i = 0; i < kFrameBytes; ++i)
            buffer[i] = static_cast<UCHAR>(sequence * 41 + i);
        sink->Process(&frame);
    }

    std::vector<ULONG> EventIds() const
    {
        std::vector<ULONG> ids;
        for (const auto& entry : standin::EventLogEntries())
            ids.push_back(entry.messageId);
        return ids;
    }

    std::vector<UCHAR> buffer;
    VideoFrame frame;
    std::unique_ptr<FrameProcessedSink> sink;
    ULONGLONG sequence = 0;
};

TEST_F(SinkTest, ThreeFramesFillThreeClientFramesInOrder)
{
    for (int i = 0; i < 3; ++i)
        client->Queue(kFrameBytes);
    const LONGLONG times[3] = {0, 333667, 667334};
    for (int i = 0; i < 3; ++i) {
        Deliver(times[i]);
        ASSERT_TRUE(client->WaitDone(i)) << i;
        EXPECT_EQ(client->Frame(i).error, 0u);
        const KSSTREAM_HEADER header = client->Header(i);
        EXPECT_EQ(header.PresentationTime.Time, times[i]) << i;
        EXPECT_EQ(header.OptionsFlags, i == 0 ? 0x15u : 0x11u) << i;
        EXPECT_EQ(header.DataUsed, kFrameBytes);
        EXPECT_EQ(header.Duration, 0);
        const KS_FRAME_INFO info = client->FrameInfo(i);
        EXPECT_EQ(info.PictureNumber, i + 1);
        EXPECT_EQ(info.DropCount, 0);
        EXPECT_EQ(info.dwFrameFlags, 0u);
        EXPECT_EQ(std::memcmp(client->Data(i), buffer.data(), kFrameBytes), 0) << i;
        EXPECT_TRUE(client->GuardIntact(i));
    }
    EXPECT_EQ(sink->GetDeliveredFrameCount(), 3u);
    EXPECT_EQ(sink->GetDroppedFrameCount(), 0u);
    EXPECT_EQ(sink->GetTiming().count, 3u);
    EXPECT_TRUE(EventIds().empty());
}

TEST_F(SinkTest, TimeOffsetIsAddedAndAnInputChangeMarksADiscontinuity)
{
    for (int i = 0; i < 4; ++i)
        client->Queue(kFrameBytes);
    Deliver(1000000);
    frame.SetTimeOffset(-500);
    Deliver(1000000 + kInterval);
    frame.SetTimeOffset(0);
    frame.SetInputIdentifier(2); // another signal
    Deliver(1000000 + 2 * kInterval);
    frame.SetInputIdentifier(3);
    frame.SetKeepContinuity(true);
    Deliver(1000000 + 3 * kInterval);
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(client->WaitDone(i));
    EXPECT_EQ(client->Header(0).PresentationTime.Time, 0);
    EXPECT_EQ(client->Header(1).PresentationTime.Time, LONGLONG(kInterval) - 500);
    EXPECT_EQ(client->Header(2).OptionsFlags, 0x15u);
    EXPECT_EQ(client->Header(3).OptionsFlags, 0x11u);
    EXPECT_EQ(client->Header(3).PresentationTime.Time, 3 * LONGLONG(kInterval));
}

TEST_F(SinkTest, VbiHeadersCarryTheFieldAndTheInformationHeaderOnTheFirstPictures)
{
    OpenPin(KS_VBI_STREAM_HEADER_SIZE);
    for (int i = 0; i < 3; ++i)
        client->Queue(kFrameBytes);
    KS_VBIINFOHEADER vbi{};
    vbi.StartLine = 10;
    vbi.EndLine = 21;
    vbi.SamplingFrequency = 28636363;
    vbi.SamplesPerLine = 1600;
    vbi.BufferSize = 1600 * 12;
    frame.SetVBIInfoHeader(vbi);
    frame.SetFlags(kFrameFlagVbiField1);
    Deliver(0);
    frame.SetFlags(kFrameFlagVbiField0);
    Deliver(kInterval);
    frame.SetFlags(kFrameFlagVbiField1);
    Deliver(2 * kInterval);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(client->WaitDone(i));
    const KS_VBI_FRAME_INFO first = client->VbiFrameInfo(0);
    EXPECT_EQ(first.PictureNumber, 1);
    EXPECT_EQ(first.dwFrameFlags, ULONG(KS_VBI_FLAG_FIELD1 | KS_VBI_FLAG_VBIINFOHEADER_CHANGE));
    EXPECT_EQ(first.dwSamplingFrequency, 28636363u);
    EXPECT_EQ(std::memcmp(&first.VBIInfoHeader, &vbi, sizeof vbi), 0);
    const KS_VBI_FRAME_INFO second = client->VbiFrameInfo(1);
    EXPECT_EQ(second.PictureNumber, 2);
    EXPECT_EQ(second.dwFrameFlags, ULONG(KS_VBI_FLAG_FIELD2));
    EXPECT_EQ(second.dwSamplingFrequency, 28636363u);
    EXPECT_EQ(second.VBIInfoHeader.SamplingFrequency, 0u); // not copied from picture 2 on
    EXPECT_EQ(client->VbiFrameInfo(2).dwFrameFlags, ULONG(KS_VBI_FLAG_FIELD1));
    EXPECT_EQ(client->Header(0).OptionsFlags, 0x15u);
}

TEST_F(SinkTest, AVbiFrameWithoutItsOwnHeaderTakesThePins)
{
    OpenPin(KS_VBI_STREAM_HEADER_SIZE);
    KS_VBIINFOHEADER vbi{};
    vbi.SamplingFrequency = 27000000;
    vbi.StartLine = 7;
    pin.SetVBIInfoHeader(&vbi);
    client->Queue(kFrameBytes);
    Deliver(0);
    ASSERT_TRUE(client->WaitDone(0));
    EXPECT_EQ(client->VbiFrameInfo(0).dwSamplingFrequency, 27000000u);
    EXPECT_EQ(client->VbiFrameInfo(0).VBIInfoHeader.StartLine, 7u);
    pin.SetVBIInfoHeader(nullptr);
}

TEST_F(SinkTest, DropsAreLoggedUpToTheHundredthAndCountedOnceEach)
{
    // Before the first delivery a frame without buffer is not counted.
    Deliver(0);
    EXPECT_EQ(sink->GetDroppedFrameCount(), 0u);
    EXPECT_TRUE(EventIds().empty());

    client->Queue(kFrameBytes);
    LONGLONG time = kInterval;
    Deliver(time);
    ASSERT_TRUE(client->WaitDone(0));
    for (int drop = 1; drop <= 101; ++drop) {
        time += kInterval;
        Deliver(time);
    }
    EXPECT_EQ(sink->GetDroppedFrameCount(), 101u);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 100u);
    for (int i = 0; i < 99; ++i) {
        EXPECT_EQ(entries[i].messageId, 0xC007100Au) << i;
        ASSERT_EQ(entries[i].inserts.size(), 2u);
        EXPECT_EQ(entries[i].inserts[0], u"VIDEO");
        EXPECT_EQ(entries[i].inserts[1], u"1");
    }
    EXPECT_EQ(entries[99].messageId, 0xC0071089u);
    ASSERT_EQ(entries[99].inserts.size(), 1u);
    EXPECT_EQ(entries[99].inserts[0], u"VIDEO");

    // The next delivery: a discontinuity, and no frame counted twice by the gap.
    client->Queue(kFrameBytes);
    time += kInterval;
    Deliver(time);
    ASSERT_TRUE(client->WaitDone(1));
    EXPECT_EQ(client->Header(1).OptionsFlags, 0x15u);
    EXPECT_EQ(client->FrameInfo(1).DropCount, 101);
    EXPECT_EQ(client->FrameInfo(1).PictureNumber, 103);

    // One frame missing between two deliveries adds one drop.
    client->Queue(kFrameBytes);
    client->Queue(kFrameBytes);
    time += kInterval;
    Deliver(time);
    time += 2 * kInterval;
    Deliver(time);
    ASSERT_TRUE(client->WaitDone(3));
    EXPECT_EQ(client->Header(2).OptionsFlags, 0x11u);
    EXPECT_EQ(client->Header(3).OptionsFlags, 0x15u);
    EXPECT_EQ(client->FrameInfo(3).DropCount, 102);
    EXPECT_EQ(client->FrameInfo(3).PictureNumber, 106);
    EXPECT_EQ(sink->GetDeliveredFrameCount(), 4u);
    EXPECT_EQ(standin::EventLogEntries().size(), 100u);
}

TEST_F(SinkTest, FramesMissingAheadOfTheFrameRateConverterAreCountedAsDrops)
{
    // The capture chain's converter at the input's own rate passes each frame through.
    VideoFrameRateConverter converter(kInterval, false, false, 0, false);
    ASSERT_TRUE(sink->Connect(&converter));
    const std::vector<LONGLONG> captured{0, 1, 2, 32, 33};
    for (size_t i = 0; i < captured.size(); ++i)
        client->Queue(kFrameBytes);
    for (LONGLONG k : captured) {
        frame.SetFrameNumber(k * kInterval);
        frame.SetSequenceNumber(++sequence);
        converter.Process(&frame);
    }
    ASSERT_TRUE(client->WaitDone(4));
    // The 29 frames of the gap, counted once, and the pictures numbered past them.
    EXPECT_EQ(sink->GetDroppedFrameCount(), 29u);
    EXPECT_EQ(client->FrameInfo(2).DropCount, 0);
    EXPECT_EQ(client->FrameInfo(3).DropCount, 29);
    EXPECT_EQ(client->FrameInfo(3).PictureNumber, 33);
    EXPECT_EQ(client->FrameInfo(4).PictureNumber, 34);
    EXPECT_EQ(client->Header(3).OptionsFlags & KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY,
              ULONG(KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY));
    sink->Disconnect();
}

TEST_F(SinkTest, AnEarlyFrameIsADiscontinuityButNoDrop)
{
    for (int i = 0; i < 3; ++i)
        client->Queue(kFrameBytes);
    Deliver(0);
    Deliver(kInterval);
    Deliver(kInterval + kInterval / 5); // far inside the window's lower edge
    ASSERT_TRUE(client->WaitDone(2));
    EXPECT_EQ(client->Header(2).OptionsFlags, 0x15u);
    EXPECT_EQ(sink->GetDroppedFrameCount(), 0u);
}

TEST_F(SinkTest, PinsAboveTwoLogNoDrops)
{
    pin.SetPinId(3);
    client->Queue(kFrameBytes);
    Deliver(0);
    ASSERT_TRUE(client->WaitDone(0));
    Deliver(kInterval);
    EXPECT_EQ(sink->GetDroppedFrameCount(), 1u);
    EXPECT_TRUE(EventIds().empty());
}

TEST_F(SinkTest, ALentClientFrameCompletesUncopied)
{
    client->Queue(kFrameBytes);
    ASSERT_TRUE(sink->GetDestinationBuffer(&frame, kFrameBytes));
    EXPECT_EQ(frame.GetFrameData(), client->Frame(0).bytes.data());
    // The step writes its result straight into the client's buffer.
    for (ULONG i = 0; i < kFrameBytes; ++i)
        frame.GetFrameData()[i] = static_cast<UCHAR>(0xA0 ^ i);
    frame.SetFrameNumber(0);
    frame.SetSequenceNumber(1);
    sink->Process(&frame);
    ASSERT_TRUE(client->WaitDone(0));
    EXPECT_EQ(frame.GetFrameData(), buffer.data()); // its own data again
    EXPECT_EQ(frame.GetDataSize(), kFrameBytes);
    EXPECT_EQ(client->Header(0).DataUsed, kFrameBytes);
    for (ULONG i = 0; i < kFrameBytes; ++i)
        ASSERT_EQ(client->Data(0)[i], static_cast<UCHAR>(0xA0 ^ i));
    EXPECT_NE(buffer[0], 0xA0); // the frame's own buffer was never written
    EXPECT_TRUE(client->GuardIntact(0));
}

TEST_F(SinkTest, ASmallerClientFrameIsNotLentAndIsFilledWithWhatFits)
{
    client->Queue(kFrameBytes / 2);
    EXPECT_FALSE(sink->GetDestinationBuffer(&frame, kFrameBytes));
    EXPECT_EQ(frame.GetFrameData(), buffer.data());
    EXPECT_EQ(client->QueuedOnPin(), 1u); // unlocked, still there
    Deliver(0);
    ASSERT_TRUE(client->WaitDone(0));
    EXPECT_EQ(client->Header(0).DataUsed, kFrameBytes / 2);
    EXPECT_EQ(std::memcmp(client->Data(0), buffer.data(), kFrameBytes / 2), 0);
    EXPECT_TRUE(client->GuardIntact(0));
}

TEST_F(SinkTest, ALargerClientFrameGetsTheWholeFrameAndItsSize)
{
    client->Queue(kFrameBytes * 2);
    Deliver(0);
    ASSERT_TRUE(client->WaitDone(0));
    EXPECT_EQ(client->Header(0).DataUsed, kFrameBytes);
    EXPECT_EQ(std::memcmp(client->Data(0), buffer.data(), kFrameBytes), 0);
    EXPECT_EQ(client->Data(0)[kFrameBytes], 0);
}

TEST_F(SinkTest, APinLeavingRunAfterTheLendKeepsTheClientFrameQueuedAndUnlocked)
{
    client->Queue(kFrameBytes);
    ASSERT_TRUE(sink->GetDestinationBuffer(&frame, kFrameBytes));
    pin.SetRunState(KSSTATE_PAUSE);
    frame.SetSequenceNumber(1);
    sink->Process(&frame);
    EXPECT_EQ(frame.GetFrameData(), buffer.data());
    EXPECT_FALSE(client->Done(0));
    EXPECT_EQ(client->QueuedOnPin(), 1u);
    // Unlocked: the next running delivery takes the same client frame.
    pin.SetRunState(KSSTATE_RUN);
    Deliver(kInterval);
    ASSERT_TRUE(client->WaitDone(0));
    EXPECT_EQ(std::memcmp(client->Data(0), buffer.data(), kFrameBytes), 0);
    // And without a pin the lent pointer is given back as well.
    client->Queue(kFrameBytes);
    ASSERT_TRUE(sink->GetDestinationBuffer(&frame, kFrameBytes));
    sink->SetStreamingPin(nullptr);
    sink->Process(&frame);
    EXPECT_EQ(frame.GetFrameData(), buffer.data());
    EXPECT_EQ(client->QueuedOnPin(), 1u);
    EXPECT_FALSE(sink->GetDestinationBuffer(&frame, kFrameBytes));
}

TEST_F(SinkTest, LendingNeedsARunningPinAndOneLendAtATime)
{
    client->Queue(kFrameBytes);
    client->Queue(kFrameBytes);
    pin.SetRunState(KSSTATE_PAUSE);
    EXPECT_FALSE(sink->GetDestinationBuffer(&frame, kFrameBytes));
    pin.SetRunState(KSSTATE_RUN);
    ASSERT_TRUE(sink->GetDestinationBuffer(&frame, kFrameBytes));
    EXPECT_FALSE(sink->GetDestinationBuffer(&frame, kFrameBytes));
    // A sink destroyed with a lent pointer gives it back.
    sink.reset();
    frame.SetFrameData(buffer.data());
    EXPECT_EQ(client->QueuedOnPin(), 2u);
    sink = std::make_unique<FrameProcessedSink>(&pin);
    sink->SetInterval(kInterval);
    sink->ResetFrameTimes();
    Deliver(0);
    ASSERT_TRUE(client->WaitDone(0));
}

TEST_F(SinkTest, WithAReferenceClockTheStreamTimeFollowsTheClock)
{
    TestReferenceClock clock;
    pin.SetReferenceClock(&clock);
    for (int i = 0; i < 3; ++i)
        client->Queue(kFrameBytes);
    clock.SetTime(50000000);
    Deliver(0);
    clock.Advance(400000);
    Deliver(kInterval);
    clock.Advance(250000);
    Deliver(2 * kInterval);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(client->WaitDone(i));
    EXPECT_EQ(client->Header(0).PresentationTime.Time, 0);
    EXPECT_EQ(client->Header(1).PresentationTime.Time, 400000);
    EXPECT_EQ(client->Header(2).PresentationTime.Time, 650000);
    EXPECT_EQ(clock.References(), 0);
    pin.SetReferenceClock(nullptr);
}

TEST_F(SinkTest, AFrameOfAnotherIntervalIsJudgedByTheSinksOwnWindow)
{
    // The pin expects half the frame rate of the frames: the sink's own interval and window judge
    // the frame's interval field, and the stream time follows the frame times.
    sink->SetInterval(2 * kInterval);
    for (int i = 0; i < 2; ++i)
        client->Queue(kFrameBytes);
    Deliver(0);
    Deliver(2 * kInterval);
    ASSERT_TRUE(client->WaitDone(1));
    EXPECT_EQ(client->Header(1).PresentationTime.Time, 2 * LONGLONG(kInterval));
    EXPECT_EQ(client->Header(1).OptionsFlags, 0x11u); // the field (one interval) is inside 0.25..1.75 x 2

    // Far from the sink's interval the field falls outside the window: a discontinuity, but an
    // interval shorter than the expected one misses no frame.
    sink = std::make_unique<FrameProcessedSink>(&pin);
    sink->SetInterval(5 * kInterval);
    sink->ResetFrameTimes();
    for (int i = 0; i < 2; ++i)
        client->Queue(kFrameBytes);
    Deliver(10 * kInterval);
    Deliver(11 * kInterval);
    ASSERT_TRUE(client->WaitDone(3));
    EXPECT_EQ(client->Header(3).OptionsFlags, 0x15u);
    EXPECT_EQ(sink->GetDroppedFrameCount(), 0u);
}

TEST_F(SinkTest, AudioPinsConvertTheRateIntoASmallerBuffer)
{
    pin.SetPinKind(kStreamingPinKindAudio);
    pin.SetStreamName("AUDIO");
    AudioFrame audio(1, 16, 200); // 800 bytes
    auto* samples = reinterpret_cast<uint16_t*>(audio.GetFrameData());
    for (int i = 0; i < 400; ++i)
        samples[i] = static_cast<uint16_t>(i);
    audio.SetFrameInterval(100000);
    sink->SetInterval(100000);
    client->Queue(400);
    client->Queue(1200);
    audio.SetSequenceNumber(1);
    sink->Process(&audio);
    audio.SetSequenceNumber(2);
    audio.SetFrameNumber(100000);
    sink->Process(&audio);
    ASSERT_TRUE(client->WaitDone(1));
    EXPECT_EQ(client->Header(0).DataUsed, 400u);
    const auto* out = reinterpret_cast<const uint16_t*>(client->Data(0));
    for (int k = 0; k < 100; ++k) {
        ASSERT_EQ(out[2 * k], 4 * k) << k;
        ASSERT_EQ(out[2 * k + 1], 4 * k + 1) << k;
    }
    // A larger buffer gets the frame as it is, and its size.
    EXPECT_EQ(client->Header(1).DataUsed, 800u);
    EXPECT_EQ(std::memcmp(client->Data(1), audio.GetFrameData(), 800), 0);
    EXPECT_TRUE(client->GuardIntact(0));
    EXPECT_TRUE(client->GuardIntact(1));
    // Audio headers carry no video frame information.
    EXPECT_EQ(client->FrameInfo(0).PictureNumber, 0);
}

TEST_F(SinkTest, APausedPinTakesNothingAndFollowsTheFrameTimes)
{
    client->Queue(kFrameBytes);
    pin.SetRunState(KSSTATE_PAUSE);
    Deliver(0);
    Deliver(kInterval);
    EXPECT_EQ(client->QueuedOnPin(), 1u);
    EXPECT_EQ(sink->GetDeliveredFrameCount(), 0u);
    EXPECT_EQ(sink->GetTiming().count, 0u);
    // An older frame is traced and still handled.
    frame.SetSequenceNumber(1);
    sink->Process(&frame);
    EXPECT_EQ(DebugLinesWith("Processing OLD frame. New frame number is 1, Last frame number is 2").size(), 1u);
}

TEST_F(SinkTest, EveryFiveHundredDeliveriesTheStatisticsAreTraced)
{
    const size_t batch = client->QueueBatch(kFrameBytes, 502);
    for (int i = 0; i < 502; ++i)
        Deliver(LONGLONG(i) * kInterval);
    ASSERT_TRUE(client->WaitBatchDone(batch));
    EXPECT_EQ(client->BatchFrameInfo(batch, 501).PictureNumber, 502);
    EXPECT_EQ(client->BatchHeader(batch, 501).PresentationTime.Time, 501 * LONGLONG(kInterval));
    const auto lines = DebugLinesWith("VIDEO FC=");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("VIDEO FC=500, ADT="), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("ms, HDT="), std::string::npos) << lines[0];
    const auto statistics = sink->GetDeliveryStatistics();
    EXPECT_GE(statistics.highest, statistics.lowest);
    EXPECT_LE(statistics.runHighest, statistics.highest); // cleared at the line, one delivery since
    EXPECT_GT(statistics.average, 0u);
    sink->ResetStatistics();
    EXPECT_EQ(sink->GetDeliveryStatistics().lowest, ~0ULL);
}

TEST_F(SinkTest, SetIntervalDerivesTheWindow)
{
    sink->SetInterval(400000);
    EXPECT_EQ(sink->GetExpectedInterval(), 400000u);
    EXPECT_EQ(sink->GetLongestInterval(), 700000u);
    EXPECT_EQ(sink->GetShortestInterval(), 100000u);
    EXPECT_EQ(DebugLinesWith("m_nInterval=400000, m_nMaxInterval=700000, m_nMinInterval=100000").size(), 1u);
}

} // namespace
