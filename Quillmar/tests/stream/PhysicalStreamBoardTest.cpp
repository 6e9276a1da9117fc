// The physical video stream on a real device over the simulated board's firmware: what the board
// receives when a stream is taken from Stop to Run.
#include "DspCommandFixture.h"

#include "streamfilter.h"
#include "videostream.h"

#include <memory>

namespace streamtest {
namespace {

class FilterDouble : public StreamFilter {
public:
    ULONG signalType = 1;
    ULONG inputType = 0;
    ULONG inputIndex = 0;
    ULONG GetDecoderSignalType() override { return signalType; }
    ULONG GetCurrentInputType() override { return inputType; }
    ULONG GetCurrentInputIndex() override { return inputIndex; }
};

class PhysicalStreamBoardTest : public dsptest::DspCommandTest {
protected:
    void SetUp() override
    {
        DspCommandTest::SetUp();
        if (HasFatalFailure())
            return;
        board_->Commands().SetFrameClockManual(true);
        device_->CreateStreamProcessorQueues();
        ASSERT_NE(device_->GetVideoStreamProcessorQueue(), nullptr);
    }

    void TearDown() override
    {
        video_.reset();
        DspCommandTest::TearDown();
    }

    void MakeVideo()
    {
        video_ = std::make_unique<VideoStream>(device_, device_, device_->GetVideoStreamProcessorQueue(), &filter_, 0);
        ASSERT_EQ(video_->GetConstructionStatus(), STATUS_SUCCESS);
    }

    void StopToRun(LogicalStream* stream)
    {
        ASSERT_EQ(stream->StreamFromStopToAcquire(), STATUS_SUCCESS);
        ASSERT_TRUE(tracetest::WaitUntil([&] {
            auto dsp = board_->Commands().Stream(stream->GetDspStreamHandle());
            return dsp && dsp->queued.size() == 9;
        }));
        ASSERT_EQ(stream->StreamFromAcquireToPause(), STATUS_SUCCESS);
        ASSERT_EQ(stream->StreamFromPauseToRun(), STATUS_SUCCESS);
    }

    void RunToStop(LogicalStream* stream)
    {
        ASSERT_EQ(stream->StreamFromRunToPause(), STATUS_SUCCESS);
        ASSERT_EQ(stream->StreamFromPauseToAcquire(), STATUS_SUCCESS);
        ASSERT_EQ(stream->StreamFromAcquireToStop(), STATUS_SUCCESS);
    }

    // The ids of the stream commands (3 create, 5 queue, 6 enable) in the order sent.
    std::vector<board::MailboxCommand> StreamCommands() const
    {
        std::vector<board::MailboxCommand> found;
        for (const auto& command : Commands())
            if (command.id == 3 || command.id == 5 || command.id == 6)
                found.push_back(command);
        return found;
    }

    FilterDouble filter_;
    std::unique_ptr<VideoStream> video_;
};

TEST_F(PhysicalStreamBoardTest, NtscStopToRunCreatesQueuesNineBuffersThenEnables)
{
    MakeVideo();
    StopToRun(video_.get());
    const std::vector<board::MailboxCommand> sent = StreamCommands();
    ASSERT_EQ(sent.size(), 11u);
    EXPECT_EQ(sent[0].id, 3u);
    EXPECT_EQ(sent[0].parameter & 0xFF, 0u);
    const uint32_t expected[8] = {0, 0x01E702D0, 27000000, 0x00F300F4, 0x001202D0, 0x008A0014, 720, 487};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(sent[0].payload[i], expected[i]) << "descriptor word " << i;
    for (size_t i = 1; i <= 9; ++i) {
        EXPECT_EQ(sent[i].id, 5u) << i;
        EXPECT_EQ(sent[i].payload[1], 4'320'000u) << i;
    }
    EXPECT_EQ(sent[10].id, 6u);
    EXPECT_EQ(sent[10].payload[0] & 0xFFFF, 1u);

    auto stream = board_->Commands().Stream(video_->GetDspStreamHandle());
    ASSERT_TRUE(stream.has_value());
    EXPECT_EQ(stream->inputType, 0u);
    EXPECT_TRUE(stream->enabled);
    EXPECT_EQ(stream->queued.size(), 9u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(stream->descriptor[i], expected[i]) << "descriptor word " << i;
    RunToStop(video_.get());
}

} // namespace
} // namespace streamtest
