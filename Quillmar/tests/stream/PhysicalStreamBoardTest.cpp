// The physical video stream on a real device over the simulated board's firmware: what the board
// receives when a stream is taken from Stop to Run.
#include "CountingStep.h"
#include "DspCommandFixture.h"
#include "RecordingSink.h"

#include "algorithmlist.h"
#include "videoframe.h"

#include "streamfilter.h"
#include "videostream.h"

#include <memory>
#include <mutex>

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

// What the chain's first step saw of each frame, read by the test while the worker runs.
struct Seen {
    LONG width;
    LONG height;
    LONG active[2];
    LONG vbi[2];
    ULONG flags;
    LONGLONG time;
    UCHAR firstY;
    bool allY235;
};

class FrameLog {
public:
    static void Hook(CountingStep*, Frame* frame, void* context)
    {
        auto* self = static_cast<FrameLog*>(context);
        Seen seen{};
        seen.flags = frame->GetFlags();
        seen.time = frame->GetFrameNumber();
        if (auto* video = dynamic_cast<VideoFrame*>(frame)) {
            seen.width = video->GetWidth();
            seen.height = video->GetHeight();
            for (int f = 0; f < 2; ++f) {
                seen.active[f] = video->GetActiveSize(f).height;
                seen.vbi[f] = video->GetVbiSize(f).height;
            }
        }
        std::lock_guard<std::mutex> hold(self->lock_);
        self->seen_.push_back(seen);
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return seen_.size();
    }
    Seen At(size_t i)
    {
        std::lock_guard<std::mutex> hold(lock_);
        return seen_.at(i);
    }

private:
    std::mutex lock_;
    std::vector<Seen> seen_;
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

    // The chain: a counting step that logs each frame, then the recording sink.
    void AddChain(LogicalStream* stream)
    {
        step_ = new CountingStep(2, 0, &live_);
        step_->SetOnProcess(&FrameLog::Hook, &log_);
        AlgorithmList list;
        ASSERT_TRUE(list.Append(step_));
        ASSERT_TRUE(list.Append(&sink_));
        ASSERT_EQ(stream->AddAlgorithmChain(&list), STATUS_SUCCESS);
    }

    FilterDouble filter_;
    std::unique_ptr<VideoStream> video_;
    std::atomic<int> live_{0};
    CountingStep* step_ = nullptr;
    RecordingSink sink_;
    FrameLog log_;
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

TEST_F(PhysicalStreamBoardTest, FilledBuffersTakeTheDspGeometryAndSplitCountedBlanking)
{
    MakeVideo();
    AddChain(video_.get());
    StopToRun(video_.get());
    const ULONG handle = video_->GetDspStreamHandle();
    auto& faults = board_->Commands().Faults(board::StreamKind::Video);

    faults.ReportGeometry({720 | 138 << 11, 244 | 243 << 12, 18 | 20 << 8, 18 | 20 << 8}, 1);
    ASSERT_TRUE(board_->Commands().StepFrames(handle, 1));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.Count() == 1; }));
    Seen first = log_.At(0);
    EXPECT_EQ(first.width, 720);
    EXPECT_EQ(first.height, 525);
    EXPECT_EQ(first.active[0], 244);
    EXPECT_EQ(first.active[1], 243);
    EXPECT_EQ(first.vbi[0], 18);
    EXPECT_EQ(first.vbi[1], 20);

    // Counted blanking (word 2) against the captured (word 3): the extra lines go to the VBI.
    faults.ReportGeometry({720 | 138 << 11, 244 | 243 << 12, 22 | 23 << 8, 20 | 20 << 8}, 1);
    ASSERT_TRUE(board_->Commands().StepFrames(handle, 1));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.Count() == 2; }));
    Seen second = log_.At(1);
    EXPECT_EQ(second.vbi[0], 23);
    EXPECT_EQ(second.vbi[1], 22);
    RunToStop(video_.get());
}

} // namespace
} // namespace streamtest
