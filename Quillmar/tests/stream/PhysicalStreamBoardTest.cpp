// The physical video and audio streams on a real device over the simulated board's firmware: what
// the board receives when a stream is taken from Stop to Run, the geometry of its filled buffers, and
// what the streams do when the board's input changes: the cable pulled and plugged back, the standard
// changed, an enable refused for want of a signal inside a restart, and the notifications and error
// entries of the input-state messages.
#include "CountingStep.h"
#include "BoardDeviceFixture.h"
#include "DspCommandFixture.h"
#include "LossPicture.h"
#include "RecordingSink.h"

#include "algorithmlist.h"
#include "audioframe.h"
#include "audiostream.h"
#include "basicfilter.h"
#include "brevicorrecords.h"
#include "videoframe.h"
#include "audioinputitem.h"
#include "audioinputitems.h"
#include "videoinputitem.h"
#include "videoinputitems.h"

#include "streamfilter.h"
#include "videostream.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

extern "C" const standin::MessageTableEntry StandinMessageTable[];
extern "C" const size_t StandinMessageTableCount;

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
    bool allY235;             // every Y sample of the picture
    std::vector<UCHAR> row0;  // Y of row 0, up to 180 columns
    ULONG info[2][5];         // audio: words 0 to 4 of both information blocks
    bool silent;              // audio: every data byte 0
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
            const UCHAR* y = video->GetPlane(0);
            const LONG stride = video->GetStride(0);
            seen.allY235 = y != nullptr;
            for (LONG r = 0; y != nullptr && r < seen.height && seen.allY235; ++r)
                for (LONG c = 0; c < seen.width; ++c)
                    if (y[r * stride + c] != 235) {
                        seen.allY235 = false;
                        break;
                    }
            if (y != nullptr)
                seen.row0.assign(y, y + std::min<LONG>(seen.width, 180));
        }
        if (auto* audio = dynamic_cast<AudioFrame*>(frame)) {
            for (int w = 0; w < 5; ++w) {
                seen.info[0][w] = audio->StatusWords()[w];
                seen.info[1][w] = audio->DescriptorWords()[w];
            }
            const UCHAR* data = audio->GetFrameData();
            seen.silent = data != nullptr;
            for (ULONG i = 0; data != nullptr && i < audio->GetDataSize(); ++i)
                if (data[i] != 0) {
                    seen.silent = false;
                    break;
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
    std::vector<Seen> All()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return seen_;
    }
    // Frames seen with (or without) every one of `flags`.
    size_t CountFlagged(ULONG flags, bool with = true)
    {
        std::lock_guard<std::mutex> hold(lock_);
        size_t n = 0;
        for (const Seen& seen : seen_)
            n += ((seen.flags & flags) == flags) == with;
        return n;
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
        audio_.reset();
        // The response thread ends before the device goes, as at a device stop: a message it is
        // still handling never meets a device being destroyed.
        if (manager_ != nullptr)
            manager_->Stop();
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
    std::unique_ptr<AudioStream> audio_;
    std::atomic<int> live_{0};
    CountingStep* step_ = nullptr;
    RecordingSink sink_;
    FrameLog log_;
};

// The device's inputs as a board's registry gives them: two video inputs, the first captured (I/O
// index 0), and one audio input on the DSP's audio (I/O index 10). The board announces its input
// once, so that the device holds input 0's records before a stream is made, as after a start.
class StreamSignalBoardTest : public PhysicalStreamBoardTest {
protected:
    // The detected NTSC rate (29.97) sets the live stream's interval.
    static constexpr ULONG kNtscInterval = 333'667;

    void SetUp() override
    {
        PhysicalStreamBoardTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(device_->GetVideoInputItems()->AllocateInputs(2), STATUS_SUCCESS);
        ASSERT_EQ(device_->GetVideoInputItems()->GetInput(1)->SetInputIOIndex(1), STATUS_SUCCESS);
        ASSERT_EQ(device_->GetAudioInputItems()->AllocateInputs(1), STATUS_SUCCESS);
        ASSERT_EQ(device_->GetAudioInputItems()->GetInput(0)->SetInputIOIndex(10), STATUS_SUCCESS);
        BeforeAnnounce();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(board_->Commands().ReportErrors(0, 0, 0));
        ASSERT_TRUE(WaitForRecord([](const BrevicorInputDetectRecord& r) { return r.state == 2; }));
        ASSERT_TRUE(tracetest::WaitUntil([&] { return AudioRecord().state == 2; }));
        SetLossPicture(1);
    }

    virtual void BeforeAnnounce() {}

    void TearDown() override
    {
        if (video_)
            video_->TerminateStreamControlThread();
        if (audio_)
            audio_->TerminateStreamControlThread();
        PhysicalStreamBoardTest::TearDown();
    }

    BrevicorInputDetectRecord VideoRecord(ULONG input = 0)
    {
        BrevicorInputDetectRecord record{};
        EXPECT_EQ(device_->GetVideoInputDetectRecord(input, &record), STATUS_SUCCESS);
        return record;
    }
    BrevicorInputDetectRecord AudioRecord()
    {
        BrevicorInputDetectRecord record{};
        EXPECT_EQ(device_->GetAudioInputDetectRecord(0, &record), STATUS_SUCCESS);
        return record;
    }
    bool WaitForRecord(const std::function<bool(const BrevicorInputDetectRecord&)>& done)
    {
        return tracetest::WaitUntil([&] { return done(VideoRecord()); });
    }

    void SetLossPicture(ULONG selector, ULONG odd = 0, ULONG even = 0)
    {
        ASSERT_EQ(streamtest::SetLossPicture(device_, selector, odd, even), STATUS_SUCCESS);
    }

    // A video stream in Run as its stream processor leaves it: its control thread running.
    void RunVideo()
    {
        MakeVideo();
        AddChain(video_.get());
        StopToRun(video_.get());
        video_->StartStreamControlThread();
    }

    // The board takes `frames` more frames of the stream: they are allowed, and the clock goes on
    // a few milliseconds at a time until the board has filled them.
    void StepRealFrames(LogicalStream* stream, ULONG frames)
    {
        const ULONG handle = stream->GetDspStreamHandle();
        auto filled = [&] {
            auto dsp = board_->Commands().Stream(handle);
            return dsp ? dsp->filled : 0;
        };
        const uint64_t target = filled() + frames;
        ASSERT_TRUE(board_->Commands().StepFrames(handle, frames));
        ASSERT_TRUE(tracetest::WaitUntil(
            [&] {
                if (filled() >= target)
                    return true;
                platform::Clock::Advance(5 * platform::Clock::kUnitsPerMillisecond);
                return false;
            },
            std::chrono::seconds(60)));
    }

    // The stream commands (3, 5, 6, 14) the board took since the log was cleared, by id.
    std::vector<uint32_t> StreamCommandIds() const
    {
        std::vector<uint32_t> ids;
        for (const auto& command : Commands())
            if (command.id == 3 || command.id == 5 || command.id == 6 || command.id == 14)
                ids.push_back(command.id);
        return ids;
    }
    static std::vector<uint32_t> CreateQueuesEnable()
    {
        std::vector<uint32_t> ids{3};
        ids.insert(ids.end(), 9, 5);
        ids.push_back(6);
        return ids;
    }
    bool CommandTaken(uint32_t id, size_t count = 1)
    {
        return tracetest::WaitUntil([&] { return CommandsWithId(id).size() >= count; });
    }

    // Run to Stop as the stream processor does it: the control thread first.
    void TerminateAndStop()
    {
        video_->TerminateStreamControlThread();
        RunToStop(video_.get());
    }

    RecordingSink audioSink_;
    FrameLog audioLog_;
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

TEST_F(PhysicalStreamBoardTest, ADspFrameThatCouldNotBeMadeIsLoggedAndEveryOtherBufferIsQueued)
{
    standin::DmaFailNthCommonBuffer(3);
    MakeVideo();
    ULONG missing = 0;
    ULONG made = 0;
    for (ULONG i = 0; i < VideoStream::kMaximumQueuedFrames; ++i)
        (video_->GetEntry(i)->frame == nullptr ? missing : made) += 1;
    EXPECT_EQ(missing, 1u);
    const auto entries = standin::EventLogEntries();
    const auto logged = std::find_if(entries.begin(), entries.end(), [](const standin::EventLogEntry& e) {
        return e.messageId == static_cast<ULONG>(MSG_DMA_MEMORY_ALLOCATION_FAILED);
    });
    ASSERT_NE(logged, entries.end());
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const standin::EventLogEntry& e) {
                                return e.messageId == static_cast<ULONG>(MSG_DMA_MEMORY_ALLOCATION_FAILED);
                            }),
              1);
    // The entry reads as the driver's own message, not as an id the event log cannot find.
    standin::RegisterMessageTable("Talvexon", StandinMessageTable, StandinMessageTableCount);
    const std::string rendered = standin::RenderEventLogEntry(*logged);
    standin::UnregisterMessageTable("Talvexon");
    EXPECT_EQ(rendered.substr(0, rendered.find_last_not_of("\r\n") + 1), "DMA memory allocation failed");
    // The buffers after the missing one go to the DSP as well.
    ASSERT_EQ(video_->StreamFromStopToAcquire(), STATUS_SUCCESS);
    ASSERT_TRUE(tracetest::WaitUntil([&] {
        auto dsp = board_->Commands().Stream(video_->GetDspStreamHandle());
        return dsp && dsp->queued.size() == made;
    }));
    EXPECT_EQ(CommandsWithId(5).size(), made);
    EXPECT_EQ(video_->StreamFromAcquireToStop(), STATUS_SUCCESS);
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

TEST_F(StreamSignalBoardTest, APulledCableStopsTheDspStreamAndBackupFramesContinueTheGrid)
{
    RunVideo();
    EXPECT_EQ(video_->GetFrameInterval(), kNtscInterval);
    StepRealFrames(video_.get(), 1);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.Count() == 1; }));
    const Seen real = log_.At(0);
    EXPECT_EQ(real.flags & (kFrameFlagGenerated | kFrameFlagBackup), 0u);
    // Its buffer back with the DSP before the log starts.
    ASSERT_TRUE(tracetest::WaitUntil([&] {
        auto dsp = board_->Commands().Stream(video_->GetDspStreamHandle());
        return dsp && dsp->queued.size() == 9;
    }));
    board_->Mailbox().ClearCommandLog();

    ASSERT_TRUE(board_->Commands().PullCable());
    ASSERT_TRUE(WaitForRecord([](const BrevicorInputDetectRecord& r) { return r.state == 0; }));
    ASSERT_TRUE(CommandTaken(14));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return DebugLinesWith("Manually STOPPED the VIDEO stream") == 1; }));
    ASSERT_TRUE(video_->IsGeneratorRunning());
    EXPECT_EQ(StreamCommandIds(), (std::vector<uint32_t>{6, 14}));
    EXPECT_FALSE(video_->IsDspStreamCreated());
    EXPECT_EQ(video_->GetState(), kStreamStateRun);

    for (size_t n = 2; n <= 4; ++n) {
        platform::Clock::Advance(kNtscInterval);
        ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.Count() >= n; })) << n;
    }
    const std::vector<Seen> all = log_.All();
    for (size_t i = 1; i < all.size(); ++i) {
        const Seen& backup = all[i];
        EXPECT_EQ(backup.flags & (kFrameFlagGenerated | kFrameFlagBackup), kFrameFlagGenerated | kFrameFlagBackup) << i;
        EXPECT_EQ(backup.width, 720) << i;
        EXPECT_EQ(backup.height, 487) << i;
        EXPECT_TRUE(backup.allY235) << i;
        // Every frame one interval after the one before, from the last real frame on.
        EXPECT_EQ(backup.time, real.time + static_cast<LONGLONG>(i) * video_->GetFrameInterval()) << i;
    }
    TerminateAndStop();
}

TEST_F(StreamSignalBoardTest, ThePluggedCableRestartsTheStreamAndTheSecondRealFrameTakesOver)
{
    RunVideo();
    StepRealFrames(video_.get(), 1);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.Count() == 1; }));
    ASSERT_TRUE(board_->Commands().PullCable());
    ASSERT_TRUE(CommandTaken(14));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return DebugLinesWith("Manually STOPPED the VIDEO stream") == 1; }));
    ASSERT_TRUE(video_->IsGeneratorRunning());
    platform::Clock::Advance(kNtscInterval);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.Count() == 2; }));
    board_->Mailbox().ClearCommandLog();

    ASSERT_TRUE(board_->Commands().PlugCable());
    ASSERT_TRUE(WaitForRecord([](const BrevicorInputDetectRecord& r) { return r.state == 2; }));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return DebugLinesWith("Manually STARTED the VIDEO stream") == 1; }));
    EXPECT_EQ(StreamCommandIds(), CreateQueuesEnable());
    auto dsp = board_->Commands().Stream(video_->GetDspStreamHandle());
    ASSERT_TRUE(dsp.has_value());
    EXPECT_TRUE(dsp->enabled);
    EXPECT_TRUE(video_->IsGeneratorRunning());
    EXPECT_TRUE(video_->IsRestartPending());

    // The first real frame goes back to the DSP; the generator still runs.
    StepRealFrames(video_.get(), 1);
    ASSERT_TRUE(tracetest::WaitUntil([&] {
        auto stream = board_->Commands().Stream(video_->GetDspStreamHandle());
        return stream && stream->filled == 1 && stream->queued.size() == 9;
    }));
    EXPECT_TRUE(video_->IsGeneratorRunning());
    EXPECT_EQ(log_.CountFlagged(kFrameFlagBackup, false), 1u);
    // The second stops it and is delivered.
    StepRealFrames(video_.get(), 1);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.CountFlagged(kFrameFlagBackup, false) == 2; }));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return !video_->IsGeneratorRunning(); }));
    EXPECT_FALSE(video_->IsRestartPending());
    const std::vector<Seen> all = log_.All();
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_GE(all[i].time, all[i - 1].time) << i;
    EXPECT_EQ(all.back().flags & kFrameFlagBackup, 0u);
    EXPECT_EQ(all.back().width, 720);
    TerminateAndStop();
}

TEST_F(StreamSignalBoardTest, AStandardChangeRemakesTheDspStreamAtTheNewGeometry)
{
    RunVideo();
    board_->Mailbox().ClearCommandLog();
    ASSERT_TRUE(board_->Commands().SetStandard(0, 0x400));
    ASSERT_TRUE(WaitForRecord([](const BrevicorInputDetectRecord& r) { return r.detectedStandard == 0x400; }));
    const BrevicorInputDetectRecord record = VideoRecord();
    EXPECT_EQ(+record.state, 2);
    EXPECT_EQ(+record.frameRate, 2997u);
    EXPECT_EQ(+record.activePixels, 1920u);

    ASSERT_TRUE(CommandTaken(6, 2));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return DebugLinesWith("Manually STARTED the VIDEO stream") == 1; }));
    EXPECT_TRUE(video_->IsDspStreamCreated());
    std::vector<uint32_t> expected{6, 14};
    for (uint32_t id : CreateQueuesEnable())
        expected.push_back(id);
    EXPECT_EQ(StreamCommandIds(), expected);
    const auto creates = CommandsWithId(3);
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].payload[1], 1920u | 1080u << 16);
    EXPECT_EQ(creates[0].payload[3], 540u | 540u << 16);
    EXPECT_EQ(video_->GetWidth(), 1920);
    EXPECT_EQ(video_->GetHeight(), 1080);
    EXPECT_EQ(video_->GetFrameInterval(), 333667u);

    StepRealFrames(video_.get(), 2);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.CountFlagged(kFrameFlagBackup, false) >= 1; }));
    const std::vector<Seen> all = log_.All();
    const auto real = std::find_if(all.begin(), all.end(), [](const Seen& s) { return (s.flags & kFrameFlagBackup) == 0; });
    ASSERT_NE(real, all.end());
    EXPECT_EQ(real->width, 1920);
    EXPECT_EQ(real->height, 1125);
    EXPECT_EQ(real->active[0], 540);
    EXPECT_EQ(real->active[1], 540);
    EXPECT_EQ(real->vbi[0], 22);
    EXPECT_EQ(real->vbi[1], 23);
    TerminateAndStop();
}

TEST_F(StreamSignalBoardTest, AnEnableAnsweredNoSignalInsideARestartLeavesTheBackupFramesRunning)
{
    RunVideo();
    const BrevicorInputDetectRecord good = VideoRecord();
    ASSERT_TRUE(board_->Commands().PullCable());
    ASSERT_TRUE(CommandTaken(14));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return DebugLinesWith("Manually STOPPED the VIDEO stream") == 1; }));
    ASSERT_TRUE(video_->IsGeneratorRunning());
    board_->Mailbox().ClearCommandLog();
    standin::EventLogClear();

    // A record with the signal while the cable is out again: the restart's enable is answered 23.
    video_->ProcessInputStateChanged(reinterpret_cast<const UCHAR*>(&good));
    ASSERT_TRUE(CommandTaken(14));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return DebugLinesWith("FAILED to Manually start the VIDEO stream") == 1; }));
    std::vector<uint32_t> expected = CreateQueuesEnable();
    expected.push_back(14);
    EXPECT_EQ(StreamCommandIds(), expected);
    EXPECT_FALSE(video_->IsDspStreamCreated());
    EXPECT_FALSE(video_->IsRestartPending());
    EXPECT_TRUE(video_->IsGeneratorRunning());
    EXPECT_EQ(video_->GetState(), kStreamStateRun);
    const auto entries = standin::EventLogEntries();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const standin::EventLogEntry& e) {
                                return e.messageId == static_cast<ULONG>(MSG_FAILED_START_STREAM_ERROR_CODE);
                            }),
              1);

    // The control thread is back at its wait: the next record is taken.
    const size_t processed = DebugLinesWith("Processed signal state change...");
    BrevicorInputDetectRecord lost{};
    video_->ProcessInputStateChanged(reinterpret_cast<const UCHAR*>(&lost));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return DebugLinesWith("Processed signal state change...") > processed; }));
    // Backup frames keep coming.
    const size_t before = log_.CountFlagged(kFrameFlagBackup);
    platform::Clock::Advance(kNtscInterval);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.CountFlagged(kFrameFlagBackup) > before; }));
    // And the stream leaves Run.
    video_->TerminateStreamControlThread();
    EXPECT_EQ(video_->StreamFromRunToPause(), STATUS_SUCCESS);
    EXPECT_FALSE(video_->IsGeneratorRunning());
    EXPECT_EQ(video_->StreamFromPauseToAcquire(), STATUS_SUCCESS);
    EXPECT_EQ(video_->StreamFromAcquireToStop(), STATUS_SUCCESS);
    EXPECT_EQ(video_->GetState(), kStreamStateStop);
}

TEST_F(StreamSignalBoardTest, AudioCreateAndBackupFramesAndTheFirstColourBarBackup)
{
    SetLossPicture(0, 0, 0);
    RunVideo();
    filter_.inputType = AudioStream::kInputTypeLive;
    audio_ = std::make_unique<AudioStream>(device_, device_, device_->GetAudioStreamProcessorQueue(), &filter_, 16);
    ASSERT_EQ(audio_->GetConstructionStatus(), STATUS_SUCCESS);
    EXPECT_TRUE(audio_->DoesDSPHaveSignalLock());
    auto* audioStep = new CountingStep(2, 0, &live_);
    audioStep->SetOnProcess(&FrameLog::Hook, &audioLog_);
    {
        AlgorithmList list;
        ASSERT_TRUE(list.Append(audioStep));
        ASSERT_TRUE(list.Append(&audioSink_));
        ASSERT_EQ(audio_->AddAlgorithmChain(&list), STATUS_SUCCESS);
    }
    board_->Mailbox().ClearCommandLog();
    StopToRun(audio_.get());
    audio_->StartStreamControlThread();
    const auto creates = CommandsWithId(3);
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].parameter & 0xFF, 10u);
    EXPECT_EQ(creates[0].payload[4], 100u); // offset +36 of the command
    EXPECT_EQ(creates[0].payload[0], 0x1000000u);

    ASSERT_TRUE(board_->Commands().PullCable());
    ASSERT_TRUE(CommandTaken(14, 2));
    ASSERT_TRUE(tracetest::WaitUntil([&] {
        return DebugLinesWith("Manually STOPPED the VIDEO stream") == 1 &&
               DebugLinesWith("Manually STOPPED the AUDIO stream") == 1;
    }));
    ASSERT_TRUE(video_->IsGeneratorRunning());
    ASSERT_TRUE(audio_->IsGeneratorRunning());
    platform::Clock::Advance(kNtscInterval);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return log_.Count() >= 1 && audioLog_.Count() >= 2; }));

    const Seen bars = log_.At(0);
    EXPECT_EQ(bars.flags & (kFrameFlagGenerated | kFrameFlagBackup), kFrameFlagGenerated | kFrameFlagBackup);
    ASSERT_EQ(bars.width, 720);
    ASSERT_EQ(bars.row0.size(), 180u);
    for (size_t column = 0; column < 180; ++column)
        EXPECT_EQ(bars.row0[column], column < 90 ? 235 : 161) << column;

    for (const Seen& tone : audioLog_.All()) {
        EXPECT_EQ(tone.flags & (kFrameFlagGenerated | kFrameFlagBackup), kFrameFlagGenerated | kFrameFlagBackup);
        for (int block = 0; block < 2; ++block) {
            EXPECT_EQ(tone.info[block][2], 65535u) << block;
            EXPECT_EQ(tone.info[block][3], 65535u) << block;
            EXPECT_EQ(tone.info[block][4], 100u) << block;
        }
        EXPECT_TRUE(tone.silent);
    }
    audio_->TerminateStreamControlThread();
    RunToStop(audio_.get());
    TerminateAndStop();
}

// Two video capture filters and an audio capture filter open on a device that records the
// notifications it raises, each video filter with its own copy of the input records.
class CaptureFilterDouble : public BasicFilter {
public:
    CaptureFilterDouble() { items.AllocateInputs(2); }
    NTSTATUS OnSetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    NTSTATUS OnGetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    ULONG GetInputType(ULONG) override { return 0; }
    ULONG TranslateInputType(ULONG) override { return 0; }
    ULONG GetInputCount() override { return 2; }
    ULONG GetCurrentInput(ULONG, PEPROCESS) override { return 0; }
    ULONG GetCurrentInput(ULONG) override { return 0; }
    NTSTATUS SaveToRegistry() override { return STATUS_SUCCESS; }
    VideoInputItems* GetVideoInputItems() override { return &items; }
    VideoInputItems items;
};

class InputStateBoardTest : public StreamSignalBoardTest {
protected:
    Device* MakeDevice() override { return new ServicesTestDevice(driver()); }
    // The notifications raised so far, oldest first.
    const std::vector<ServicesTestDevice::Notification>& Notifications()
    {
        for (auto& n : static_cast<ServicesTestDevice*>(device_)->TakeNotifications())
            notifications_.push_back(std::move(n));
        return notifications_;
    }

    // Open before the board's first announcement: each message then notifies each filter.
    void BeforeAnnounce() override
    {
        using Table = Device::FilterTable;
        ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &videoFilters_[0]), 0);
        ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &videoFilters_[1]), 0);
        ASSERT_GT(device_->GetFilterInstanceId(Table::AudioCapture, &audioFilter_), 0);
    }

    // The notifications one message raises: two video inputs on two video filters, one audio input
    // on the audio filter.
    static constexpr size_t kPerMessage = 5;

    void TearDown() override
    {
        if (device_ != nullptr) {
            using Table = Device::FilterTable;
            device_->RemoveFilterInstanceId(Table::VideoCapture, &videoFilters_[0]);
            device_->RemoveFilterInstanceId(Table::VideoCapture, &videoFilters_[1]);
            device_->RemoveFilterInstanceId(Table::AudioCapture, &audioFilter_);
        }
        StreamSignalBoardTest::TearDown();
    }

    static ULONG PayloadWord(const std::vector<UCHAR>& payload, size_t offset)
    {
        ULONG value = 0;
        std::memcpy(&value, payload.data() + offset, sizeof(value));
        return value;
    }

    CaptureFilterDouble videoFilters_[2];
    CaptureFilterDouble audioFilter_;
    std::vector<ServicesTestDevice::Notification> notifications_;
};

TEST_F(InputStateBoardTest, A1080p25SignalNotifiesEveryVideoFilterPerInputAndAVideoErrorIsLoggedOnce)
{
    ASSERT_TRUE(tracetest::WaitUntil([&] { return Notifications().size() >= kPerMessage; }));
    ASSERT_TRUE(board_->Commands().SetStandard(0, 0x4000));
    ASSERT_TRUE(WaitForRecord([](const BrevicorInputDetectRecord& r) { return r.detectedStandard == 0x4000; }));
    const BrevicorInputDetectRecord record = VideoRecord();
    EXPECT_EQ(+record.state, 2);
    EXPECT_EQ(+record.frameRate, 2500u);
    EXPECT_EQ(+record.listSelector, 1u);
    EXPECT_EQ(+record.activePixels, 1920u);
    EXPECT_EQ(+record.blankingPixels, 720u);
    EXPECT_EQ(+record.activeLinesField1, 1080u);
    EXPECT_EQ(+record.activeLinesField2, 0u);
    EXPECT_EQ(+record.blankingLinesField1 + record.blankingLinesField2, 45u);
    // The second input, not the captured one, has no signal.
    EXPECT_EQ(+VideoRecord(1).state, 0);

    // One notification per video input on each video capture filter; the audio filter gets the
    // audio record.
    ASSERT_TRUE(tracetest::WaitUntil([&] { return Notifications().size() >= 2 * kPerMessage; }));
    const auto all = Notifications();
    ASSERT_EQ(all.size(), 2 * kPerMessage);
    size_t video = 0;
    for (size_t i = kPerMessage; i < all.size(); ++i) {
        const auto& n = all[i];
        EXPECT_TRUE(IsEqualGUID(n.propertySet, PROPSETID_BREVICOR_INPUTDETECT));
        ASSERT_EQ(n.payload.size(), 556u);
        if (n.filter == &audioFilter_) {
            EXPECT_EQ(PayloadWord(n.payload, 0), 0u);
            EXPECT_EQ(PayloadWord(n.payload, 8), 10u); // input type
            continue;
        }
        ASSERT_TRUE(n.filter == &videoFilters_[0] || n.filter == &videoFilters_[1]);
        EXPECT_EQ(PayloadWord(n.payload, 0), 1u);
        const ULONG input = PayloadWord(n.payload, 4);
        EXPECT_EQ(PayloadWord(n.payload, 14), input == 0 ? 0x4000u : 0u) << input;
        ++video;
    }
    EXPECT_EQ(video, 4u);
    // Each open video capture filter's own copy follows the device's (written before the
    // message's notifications, read after them).
    for (CaptureFilterDouble& filter : videoFilters_) {
        BrevicorInputDetectRecord own{};
        ASSERT_EQ(filter.items.GetInput(0)->GetInputDetectInfo(&own), STATUS_SUCCESS);
        EXPECT_EQ(std::memcmp(&own, &record, sizeof own), 0);
    }

    standin::EventLogClear();
    ASSERT_TRUE(board_->Commands().ReportErrors(0, 3, 0));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return standin::EventLogCount() >= 1; }));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return Notifications().size() >= 3 * kPerMessage; }));
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].messageId, static_cast<ULONG>(MSG_FRAME_SHORT_FIELD_ERROR_OCCURRED_DSP));
    EXPECT_EQ(entries[0].messageId, 0xC0071097u);
    ASSERT_FALSE(entries[0].inserts.empty());
    EXPECT_EQ(entries[0].inserts[0], u"VIDEO");
}

} // namespace
} // namespace streamtest
