// The output step in front of the real sink of a running pin: a client frame of exactly the
// output's size is written by the conversion itself and completed with the bytes written; a
// client frame one byte short is not borrowed, and the sink copies what fits.
#include <gtest/gtest.h>

#include "LendingTestSink.h"
#include "OutputUnpackers.h"
#include "StepTestPictures.h"
#include "StreamPinTest.h"
#include "coutcolorspace.h"
#include "frameprocessedsink.h"

#include <cstring>
#include <memory>

namespace {

class COutColorSpaceSinkTest : public streamtest::StreamPinTest {
protected:
    static constexpr ULONG kInterval = 333667;
    void SetUp() override
    {
        StreamPinTest::SetUp();
        step = std::make_unique<COutColorSpace>(true, COutColorSpace::kRgb24);
        sink = std::make_unique<FrameProcessedSink>(&pin);
        sink->SetInterval(kInterval);
        sink->ResetFrameTimes();
        ASSERT_TRUE(sink->Connect(step.get()));
    }
    void TearDown() override
    {
        step.reset();
        sink.reset();
        StreamPinTest::TearDown();
    }

    std::unique_ptr<COutColorSpace> step;
    std::unique_ptr<FrameProcessedSink> sink;
};

TEST_F(COutColorSpaceSinkTest, ClientFrameOfTheOutputSizeIsWrittenInPlace)
{
    const int w = 32, h = 8;
    const ULONG bytes = ULONG(PackedRowBytes(3, w)) * h;
    VideoFramePtr frame = MakeRandomPicture(w, h, 13);
    frame->SetFrameInterval(kInterval);

    // What the conversion writes, through a sink double of its own.
    COutColorSpace reference(true, COutColorSpace::kRgb24);
    LendingTestSink recorder(bytes);
    recorder.Connect(&reference);
    reference.Process(frame.get());
    recorder.Disconnect();
    const std::vector<uint8_t> expected = recorder.BufferCopy();

    client->Queue(bytes);
    client->Queue(bytes - 1);
    frame->SetFrameNumber(0);
    frame->SetSequenceNumber(1);
    step->Process(frame.get());
    ASSERT_TRUE(client->WaitDone(0));
    EXPECT_TRUE(step->LastOutputWasLent());
    EXPECT_EQ(client->Header(0).DataUsed, bytes);
    EXPECT_EQ(std::memcmp(client->Data(0), expected.data(), bytes), 0);
    EXPECT_TRUE(client->GuardIntact(0));

    frame->SetFrameNumber(kInterval);
    frame->SetSequenceNumber(2);
    step->Process(frame.get());
    ASSERT_TRUE(client->WaitDone(1));
    EXPECT_FALSE(step->LastOutputWasLent());
    EXPECT_EQ(std::memcmp(client->Data(1), expected.data(), bytes - 1), 0);
    EXPECT_TRUE(client->GuardIntact(1));
    // The output frame has its own buffer back after each delivery.
    EXPECT_EQ(step->GetOutputVideoFrame()->GetDataSize(), bytes);
    EXPECT_EQ(sink->GetDeliveredFrameCount(), 2u);
}

} // namespace
