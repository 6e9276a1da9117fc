// The physical video and audio streams without a board: the timing table and the create
// descriptor, the geometry a filled buffer reports, the live input's settings, the backup frames
// the loss-of-signal settings choose, the audio descriptor and backup blocks, and the device's
// measurement of an input-state message.
#include "LogicalStreamFixture.h"
#include "LossPicture.h"

#include "RecordingSink.h"

#include "algorithmlist.h"
#include "audioframe.h"
#include "caudiostereopairextractor.h"
#include "audiostream.h"
#include "brevicorrecords.h"
#include "device.h"
#include "videoframe.h"
#include "streamfilter.h"
#include "videostream.h"

#include "platform/Clock.h"
#include "standin/eventlog.h"
#include "messages/Talvexon.h"

#include <algorithm>
#include <cstring>
#include <memory>
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

void PutWord(UCHAR* bytes, ULONG offset, ULONG value)
{
    std::memcpy(bytes + offset, &value, sizeof(value));
}

class PhysicalStreamTest : public LogicalStreamFixture {
protected:
    std::unique_ptr<VideoStream> MakeVideo()
    {
        auto stream = std::make_unique<VideoStream>(services_.get(), device_, services_->GetVideoStreamProcessorQueue(),
                                                    &filter_, 0);
        EXPECT_EQ(stream->GetConstructionStatus(), STATUS_SUCCESS);
        return stream;
    }

    // A record answering a filled buffer with the four video status words.
    CommandHandler* Filled(ULONG w0, ULONG w1, ULONG w2, ULONG w3)
    {
        CommandHandler* handler = device_->AllocateCommandHandler();
        PUCHAR response = handler->ResponseArea();
        PutWord(response, CommandHandler::kResultWordBOffset, 4'320'000);
        PutWord(response, 36, w0);
        PutWord(response, 40, w1);
        PutWord(response, 44, w2);
        PutWord(response, 48, w3);
        return handler;
    }

    void SetLossPicture(ULONG selector, ULONG odd = 0, ULONG even = 0)
    {
        ASSERT_EQ(streamtest::SetLossPicture(device_, selector, odd, even), STATUS_SUCCESS);
    }

    FilterDouble filter_;
};

TEST_F(PhysicalStreamTest, NtscDescriptorAndTimingFollowTheTable)
{
    auto stream = MakeVideo();
    DspStreamSettings settings{};
    stream->GetStreamSettings(&settings);
    const ULONG expected[8] = {0, 0x01E702D0, 27000000, 0x00F300F4, 0x001202D0, 0x008A0014, 720, 487};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(settings.descriptor[i], expected[i]) << "word " << i;
    EXPECT_EQ(settings.inputType, 0);
    EXPECT_EQ(stream->GetFrameInterval(), 333333u);
    // 90 MHz x 0.0333667 - 0.5 = 3003002.503, to the nearest.
    EXPECT_EQ(stream->GetTimeStampStep(), 3003003u);
    EXPECT_EQ(stream->GetHostFrameDescription().biSizeImage, 487u * 720u * 2u);
}

TEST_F(PhysicalStreamTest, TableRowsOfTheSpecialTypes)
{
    const VideoStream::Timing& hd = VideoStream::TimingFor(0x20000);
    EXPECT_EQ(hd.width, 1280);
    EXPECT_EQ(hd.interval, 400000u);
    EXPECT_EQ(VideoStream::StepFor(90'000'000, hd.period), 3'600'000u);
    const VideoStream::Timing& unknown = VideoStream::TimingFor(0x12345);
    EXPECT_EQ(unknown.width, 720);
    EXPECT_EQ(unknown.height, 487);
    EXPECT_EQ(VideoStream::TimingFor(0x400).pixelClock, 74176000u);
}

TEST_F(PhysicalStreamTest, ReconditionTakesTheDspGeometryAndSplitsCountedBlanking)
{
    auto stream = MakeVideo();
    FrameWorkItem* entry = stream->GetEntry(0);
    ASSERT_NE(entry, nullptr);
    CommandHandler* handler = Filled(720 | 138 << 11, 244 | 243 << 12, 18 | 20 << 8, 18 | 20 << 8);
    ASSERT_TRUE(stream->ReconditionFrame(entry, handler));
    auto* frame = static_cast<VideoFrame*>(entry->frame);
    EXPECT_EQ(frame->GetWidth(), 720);
    EXPECT_EQ(frame->GetHeight(), 525);
    EXPECT_EQ(frame->GetActiveSize(0).height, 244);
    EXPECT_EQ(frame->GetActiveSize(1).height, 243);
    EXPECT_EQ(frame->GetVbiSize(0).height, 18);
    EXPECT_EQ(frame->GetVbiSize(1).height, 20);
    device_->FreeCommandHandler(handler);

    handler = Filled(720, 244 | 243 << 12, 22 | 23 << 8, 20 | 20 << 8);
    ASSERT_TRUE(stream->ReconditionFrame(entry, handler));
    EXPECT_EQ(frame->GetVbiSize(0).height, 23);
    EXPECT_EQ(frame->GetVbiSize(1).height, 22);
    device_->FreeCommandHandler(handler);

    // Wider than 1920 or more than 1125 lines: not laid over the buffer.
    handler = Filled(2047, 4095 | 4095 << 12, 0, 0);
    EXPECT_FALSE(stream->ReconditionFrame(entry, handler));
    device_->FreeCommandHandler(handler);
    handler = Filled(1920, 1080 | 45 << 12, 1, 1);
    EXPECT_FALSE(stream->ReconditionFrame(entry, handler));
    device_->FreeCommandHandler(handler);
}

// The standard word the VBI separator reads (captions are decoded in 525-line pictures only)
// follows the live signal: 525 lines, 625 lines, anything else.
TEST_F(PhysicalStreamTest, ReconditionedFramesCarryTheSignalsStandard)
{
    auto stream = MakeVideo();
    FrameWorkItem* entry = stream->GetEntry(0);
    ASSERT_NE(entry, nullptr);
    struct Case {
        ULONG standard;
        ULONG width, lines, rate;
        ULONG expected;
    };
    for (const Case& c : {Case{0x1, 720, 243, 2997, kFrameStandard525}, Case{0x2, 720, 288, 2500, kFrameStandard625},
                          Case{0x1000, 1920, 1080, 3000, kFrameStandardOther}, Case{0x1, 720, 243, 2997, kFrameStandard525}}) {
        SCOPED_TRACE(c.standard);
        BrevicorInputDetectRecord record{};
        record.state = 2;
        record.detectedStandard = c.standard;
        record.activePixels = c.width;
        record.activeLinesField1 = c.lines;
        record.activeLinesField2 = c.standard == 0x1000 ? 0 : c.lines;
        record.frameRate = c.rate;
        stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record));
        ASSERT_EQ(stream->GetSignalType(), c.standard);
        CommandHandler* handler = Filled(c.width, c.lines | (c.standard == 0x1000 ? 0 : c.lines) << 12, 0, 0);
        ASSERT_TRUE(stream->ReconditionFrame(entry, handler));
        EXPECT_EQ(entry->frame->GetVideoStandard(), c.expected);
        device_->FreeCommandHandler(handler);
    }
}

TEST_F(PhysicalStreamTest, LiveRecordsSetGeometryAndTimingAndBogusOnesKeepThem)
{
    auto stream = MakeVideo();
    BrevicorInputDetectRecord record{};
    record.state = 2;
    record.detectedStandard = 0x1000;
    record.activePixels = 1920;
    record.blankingPixels = 280;
    record.activeLinesField1 = 1080;
    record.blankingLinesField1 = 45;
    record.frameRate = 3000;
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
    EXPECT_TRUE(stream->IsRestartNeeded());
    EXPECT_EQ(stream->GetFrameInterval(), 333333u);
    EXPECT_EQ(stream->GetTimeStampStep(), 3'000'000u);
    EXPECT_EQ(stream->GetWidth(), 1920);
    EXPECT_EQ(stream->GetHeight(), 1080);
    DspStreamSettings settings{};
    stream->GetStreamSettings(&settings);
    EXPECT_EQ(settings.descriptor[1], 1920u | 1080u << 16);
    EXPECT_EQ(settings.descriptor[2], 0u); // the 0x1000 row knows no pixel clock
    EXPECT_EQ(settings.descriptor[4], 1920u | 45u << 16);
    EXPECT_EQ(settings.descriptor[5], 0u | 280u << 16);
    // The same record again changes nothing.
    EXPECT_FALSE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));

    BrevicorInputDetectRecord bogus = record;
    bogus.activePixels = 2047;
    bogus.activeLinesField1 = 4095;
    bogus.activeLinesField2 = 4095;
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&bogus)));
    EXPECT_EQ(stream->GetWidth(), 1920);
    EXPECT_EQ(stream->GetHeight(), 1080);
    BrevicorInputDetectRecord noRate = record;
    noRate.frameRate = 0;
    noRate.state = 3; // a forced restart
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&noRate)));
    EXPECT_EQ(stream->GetFrameInterval(), 333333u);

    // Signal lost: no lock, the geometry kept for the backup frames.
    BrevicorInputDetectRecord lost{};
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&lost)));
    EXPECT_FALSE(stream->DoesDSPHaveSignalLock());
    EXPECT_EQ(stream->GetWidth(), 1920);
}

TEST_F(PhysicalStreamTest, BackupFramesFollowTheLossPicture)
{
    auto stream = MakeVideo();
    SetLossPicture(1);
    FrameWorkItem* entry = stream->TakeFreeHostEntry();
    ASSERT_NE(entry, nullptr);
    stream->FillBackupFrame(entry);
    auto* frame = static_cast<VideoFrame*>(entry->frame);
    EXPECT_TRUE(frame->HasFlags(kFrameFlagGenerated));
    EXPECT_EQ(frame->GetWidth(), 720);
    EXPECT_EQ(frame->GetHeight(), 487);
    EXPECT_EQ(frame->GetVbiSize(0).height, 0);
    EXPECT_EQ(frame->GetActiveSize(1).height, 0);
    for (LONG row : {0, 243, 486})
        for (LONG column : {0, 359, 719})
            EXPECT_EQ(frame->GetPlane(0)[row * frame->GetStride(0) + column], 235);
    EXPECT_EQ(frame->GetPlane(1)[0], 128);

    SetLossPicture(0);
    stream->InitBackupFrameGeneratorValues();
    stream->FillBackupFrame(entry);
    for (LONG column = 0; column < 180; ++column)
        EXPECT_EQ(frame->GetPlane(0)[column], column < 90 ? 235 : 161) << column;
    stream->ReturnGeneratorEntry(entry);
}

TEST_F(PhysicalStreamTest, AudioDescriptorAndBackupBlocks)
{
    filter_.inputType = AudioStream::kInputTypeLive;
    auto stream = std::make_unique<AudioStream>(services_.get(), device_, services_->GetAudioStreamProcessorQueue(),
                                                &filter_, 16);
    ASSERT_EQ(stream->GetConstructionStatus(), STATUS_SUCCESS);
    EXPECT_EQ(stream->GetFrameInterval(), 100000u);
    EXPECT_EQ(stream->GetTimeStampStep(), 900000u);
    DspStreamSettings settings{};
    stream->GetStreamSettings(&settings);
    EXPECT_EQ(settings.descriptor[4], 100u); // create command offset +36
    EXPECT_EQ(settings.inputType, 10);
    EXPECT_FALSE(stream->DoesDSPHaveSignalLock());

    SetLossPicture(8, 0, 0);
    FrameWorkItem* entry = stream->TakeFreeHostEntry();
    ASSERT_NE(entry, nullptr);
    std::memset(entry->virtualAddress, 0x5A, AudioStream::kBufferLength);
    stream->FillBackupFrame(entry);
    auto* frame = static_cast<AudioFrame*>(entry->frame);
    for (const ULONG* words : {frame->StatusWords(), frame->DescriptorWords()}) {
        EXPECT_EQ(words[2], 65535u);
        EXPECT_EQ(words[3], 65535u);
        EXPECT_EQ(words[4], 100u);
        EXPECT_EQ(words[0], 0u);
    }
    const auto* data = static_cast<const UCHAR*>(entry->virtualAddress);
    for (ULONG i = 0; i < AudioStream::kBufferLength; ++i)
        ASSERT_EQ(data[i], 0) << i;
    stream->ReturnGeneratorEntry(entry);

    // A signal: the words taken, a pair that goes restarts the stream.
    BrevicorInputDetectRecord record{};
    record.state = 2;
    record.detectedStandard = 0x2000000;
    record.activeLinesField1 = 0xF; // pairs 0 and 1 present
    record.activeLinesField2 = 0xF;
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
    EXPECT_TRUE(stream->DoesDSPHaveSignalLock());
    EXPECT_EQ(stream->GetDescriptorWord(AudioStream::kWordPairMask), 0xFu);
    record.activeLinesField1 = 0x3; // pair 1 gone
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
    EXPECT_EQ(stream->GetDescriptorWord(AudioStream::kWordPairMask), 0x3u);
    // Pair 1 back, but no stereo-pair step uses it: no restart.
    record.activeLinesField1 = 0xF;
    EXPECT_FALSE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
}

TEST_F(PhysicalStreamTest, InputStateMeasurementGivesTheStandard)
{
    auto measure = [](ULONG format, ULONG h, ULONG v, ULONG counted, ULONG captured) {
        ULONG words[9] = {format, h, v, counted, captured, 0, 0, 0, 0};
        BrevicorInputDetectRecord record{};
        Device::MeasureVideoInput(words, 1920, 1080, &record);
        return record;
    };
    const ULONG good = 0xA00188;
    // 1080p25: HD, progressive, 1920 + 720, 1080 + 45.
    auto r = measure(good | 1, 1920 | 720 << 11, 1080, 45, 45);
    EXPECT_EQ(+r.state, 2);
    EXPECT_EQ(+r.detectedStandard, 0x4000u);
    EXPECT_EQ(+r.frameRate, 2500u);
    // 1080i59.94.
    r = measure(good | 1 | 2 | 4, 1920 | 280 << 11, 540 | 540 << 12, 22 | 23 << 8, 22 | 23 << 8);
    EXPECT_EQ(+r.detectedStandard, 0x400u);
    EXPECT_EQ(+r.frameRate, 2997u);
    // NTSC with counted blanking unlike the captured: 23 and 22.
    r = measure(good | 4, 720 | 138 << 11, 244 | 243 << 12, 22 | 23 << 8, 20 | 20 << 8);
    EXPECT_EQ(+r.blankingLinesField1, 23u);
    EXPECT_EQ(+r.blankingLinesField2, 22u);
    EXPECT_EQ(+r.state, 2);
    EXPECT_EQ(+r.detectedStandard, 0x1u);
    // SD progressive other than 483 lines: a signal without a standard.
    r = measure(good, 720 | 138 << 11, 480, 42, 42);
    EXPECT_EQ(+r.state, 1);
    EXPECT_EQ(+r.detectedStandard, 0u);
    // Beyond the performance limits.
    r = measure(good | 1, 1920 | 280 << 11, 1200, 45, 45);
    EXPECT_EQ(+r.state, 1);
    EXPECT_EQ(Device::DetectStandard(true, false, 720, 2999), 0x40u);
    EXPECT_EQ(Device::DetectStandard(true, false, 720, 2500), 0x20000u);
}

// A performance limit of 0 sets none, as it does for the standards' frame sizes.
TEST_F(PhysicalStreamTest, APerformanceLimitOfZeroLeavesTheMeasurementUnlimited)
{
    // 1080p25: HD, progressive, 1920 + 720 pixels, 1080 + 45 lines.
    const ULONG words[9] = {0xA00188 | 1, 1920 | 720 << 11, 1080, 45, 45, 0, 0, 0, 0};
    BrevicorInputDetectRecord record{};
    Device::MeasureVideoInput(words, 0, 0, &record);
    EXPECT_EQ(+record.state, 2);
    EXPECT_EQ(+record.detectedStandard, 0x4000u);
    // The other limit still counts.
    record = {};
    Device::MeasureVideoInput(words, 0, 720, &record);
    EXPECT_EQ(+record.state, 1);
    record = {};
    Device::MeasureVideoInput(words, 1280, 0, &record);
    EXPECT_EQ(+record.state, 1);
    record = {};
    Device::MeasureVideoInput(words, 1920, 1080, &record);
    EXPECT_EQ(+record.state, 2);
}

} // namespace
} // namespace streamtest

namespace streamtest {
namespace {

TEST_F(PhysicalStreamTest, WithoutAControlThreadOnlyTheNewestInputStateIsKept)
{
    auto stream = MakeVideo();
    BrevicorInputDetectRecord record{};
    for (ULONG type : {0x1u, 0x2u, 0x400u}) {
        record.detectedStandard = type;
        stream->ProcessInputStateChanged(reinterpret_cast<const UCHAR*>(&record));
    }
    EXPECT_EQ(stream->GetQueuedInputStateCount(), 1u);
    EXPECT_FALSE(stream->HasStreamControlThread());
    // The control thread takes it (the stream is not in Run: loaded, nothing restarted).
    stream->StartStreamControlThread();
    EXPECT_TRUE(tracetest::WaitUntil([&] { return stream->GetQueuedInputStateCount() == 0; }));
    EXPECT_TRUE(tracetest::WaitUntil([&] { return stream->GetSignalType() == 0x400u; }));
    stream->TerminateStreamControlThread();
    EXPECT_FALSE(stream->HasStreamControlThread());
}

TEST_F(PhysicalStreamTest, BackupGeneratorStartsOnItsOwnGridAndStopsSynchronously)
{
    auto stream = MakeVideo();
    ASSERT_TRUE(stream->HasBackupFrameGeneratorThread());
    LARGE_INTEGER before;
    KeQuerySystemTime(&before);
    stream->StartBackupFrameGenerator();
    EXPECT_TRUE(stream->IsGeneratorRunning());
    EXPECT_FALSE(stream->IsProcessingEnabled());
    // No real frame yet: the first frame is due one interval after the start, counter 0 on.
    EXPECT_GE(stream->GetNextGeneratorDue(), before.QuadPart + 333333);
    const ULONG step = stream->GetTimeStampStep();
    EXPECT_TRUE(tracetest::WaitUntil([&] { return stream->GetGeneratorCounter() >= 2 * step; }));
    EXPECT_EQ(stream->GetGeneratorCounter() % step, 0u);
    stream->StopBackupFrameGenerator();
    EXPECT_FALSE(stream->IsGeneratorRunning());
    EXPECT_TRUE(stream->IsProcessingEnabled());
    // A second start and the stream's destruction while generating both return.
    stream->StartBackupFrameGenerator();
    EXPECT_TRUE(stream->IsGeneratorRunning());
    stream.reset();
}

// The clock runs at a hundredth of real time while a generator test runs (a frame interval is
// over three real seconds); the test moves it on where it wants a due time to pass. (Slower still
// would make a lock's back-off sleep, which runs on this clock, last minutes.)
class SlowClock {
public:
    SlowClock() : before_(platform::Clock::SpeedFactor()) { platform::Clock::SetSpeedFactor(0.01); }
    ~SlowClock() { platform::Clock::SetSpeedFactor(before_); }

private:
    double before_;
};

TEST_F(PhysicalStreamTest, AStartTwoAndAHalfIntervalsAfterARealFrameIsDueHalfAnIntervalLaterOnTheThirdGridPoint)
{
    auto stream = MakeVideo();
    SlowClock slow;
    const ULONG step = stream->GetTimeStampStep();
    const LONG interval = static_cast<LONG>(stream->GetFrameInterval());
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    KeQuerySystemTime(&before);
    stream->ComputeTimeStamp(5000, step, true);
    KeQuerySystemTime(&after);
    platform::Clock::Advance(interval * 5 / 2);
    stream->StartBackupFrameGenerator();
    ASSERT_TRUE(stream->IsGeneratorRunning());
    EXPECT_EQ(stream->GetGeneratorCounter(), 5000u + 3 * step);
    // Due on the real frame's grid: three intervals after it, half an interval from now.
    const LONGLONG due = stream->GetNextGeneratorDue();
    EXPECT_GE(due, before.QuadPart + 3 * interval);
    EXPECT_LE(due, after.QuadPart + 3 * interval);
    stream->StopBackupFrameGenerator();
}

TEST_F(PhysicalStreamTest, WithTheFreeRingEmptyEachDueTimeLogsOneDropAndTheGridGoesOn)
{
    auto stream = MakeVideo();
    SlowClock slow;
    std::vector<FrameWorkItem*> taken;
    while (FrameWorkItem* entry = stream->TakeFreeHostEntry())
        taken.push_back(entry);
    ASSERT_FALSE(taken.empty());
    const ULONG step = stream->GetTimeStampStep();
    const LONG interval = static_cast<LONG>(stream->GetFrameInterval());
    auto drops = [] {
        const auto entries = standin::EventLogEntries();
        return std::count_if(entries.begin(), entries.end(), [](const standin::EventLogEntry& e) {
            return e.messageId == static_cast<ULONG>(MSG_FRAME_DROPPED_NO_EMPTY_FRAMES_AVAILABLE);
        });
    };
    stream->StartBackupFrameGenerator();
    EXPECT_EQ(stream->GetGeneratorCounter(), 0u);
    const LONGLONG first = stream->GetNextGeneratorDue();
    for (ULONG n = 1; n <= 2; ++n) {
        // An absolute wait ends at the first clock tick from its due time: the clock goes on a
        // millisecond at a time from the due time until the generator has taken it.
        platform::Clock::Advance(interval);
        ASSERT_TRUE(tracetest::WaitUntil([&] {
            if (stream->GetGeneratorCounter() >= n * step)
                return true;
            platform::Clock::Advance(platform::Clock::kUnitsPerMillisecond);
            return false;
        })) << n;
        // One drop entry for each due time taken, the grid one interval on for each.
        const ULONG taken = stream->GetGeneratorCounter() / step;
        EXPECT_EQ(stream->GetGeneratorCounter(), taken * step);
        EXPECT_EQ(drops(), static_cast<std::ptrdiff_t>(taken));
        EXPECT_EQ(stream->GetNextGeneratorDue(), first + static_cast<LONGLONG>(taken) * interval);
    }
    stream->StopBackupFrameGenerator();
    for (FrameWorkItem* entry : taken)
        stream->ReturnGeneratorEntry(entry);
    // The generator's own message, with the stream's name in it, and nothing but drops logged.
    const auto entries = standin::EventLogEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(drops(), static_cast<std::ptrdiff_t>(entries.size()));
    EXPECT_EQ(entries[0].inserts, std::vector<std::u16string>{u"VIDEO"});
    standin::RegisterMessageTable("Talvexon", StandinMessageTable, StandinMessageTableCount);
    const std::string text = standin::RenderEventLogEntry(entries[0]);
    standin::UnregisterMessageTable("Talvexon");
    EXPECT_EQ(text.substr(0, text.find_last_not_of("\r\n") + 1),
              "*** Frame Dropped... No empty VIDEO frames available...****");
}

TEST_F(PhysicalStreamTest, AnEightBitAudioPinStillGetsTheSixteenBitToneInItsBackupFrames)
{
    filter_.inputType = AudioStream::kInputTypeLive;
    auto stream = std::make_unique<AudioStream>(services_.get(), device_, services_->GetAudioStreamProcessorQueue(),
                                                &filter_, 8);
    ASSERT_EQ(stream->GetConstructionStatus(), STATUS_SUCCESS);
    SetLossPicture(8, 1, 2);
    std::vector<UCHAR> expected(AudioStream::kBufferLength);
    stream->InitBackupFrameGeneratorValues();
    stream->Get16BitImage(expected.data(), AudioStream::kBufferLength);
    std::vector<UCHAR> eightBit(AudioStream::kBufferLength);
    stream->InitBackupFrameGeneratorValues();
    stream->Get8BitImage(eightBit.data(), AudioStream::kBufferLength);
    ASSERT_NE(expected, eightBit);
    ASSERT_TRUE(std::any_of(expected.begin(), expected.end(), [](UCHAR b) { return b != 0; }));

    FrameWorkItem* entry = stream->TakeFreeHostEntry();
    ASSERT_NE(entry, nullptr);
    stream->InitBackupFrameGeneratorValues();
    stream->FillBackupFrame(entry);
    EXPECT_EQ(std::memcmp(entry->virtualAddress, expected.data(), expected.size()), 0);
    stream->ReturnGeneratorEntry(entry);
}

TEST_F(PhysicalStreamTest, APairBackThatAStereoPairStepUsesRestartsTheAudioStream)
{
    RecordingSink sink; // outlives the stream's tree
    filter_.inputType = AudioStream::kInputTypeLive;
    auto stream = std::make_unique<AudioStream>(services_.get(), device_, services_->GetAudioStreamProcessorQueue(),
                                                &filter_, 16);
    ASSERT_EQ(stream->GetConstructionStatus(), STATUS_SUCCESS);
    StereoPairSettings settings;
    settings.channelPairIndex = 2;
    settings.channelPairCount = 1;
    AlgorithmList list;
    ASSERT_TRUE(list.Append(new CAudioStereoPairExtractor(settings)));
    ASSERT_TRUE(list.Append(&sink));
    ASSERT_EQ(stream->AddAlgorithmChain(&list), STATUS_SUCCESS);

    BrevicorInputDetectRecord record{};
    record.state = 2;
    record.detectedStandard = 0x2000000;
    record.activeLinesField1 = 0x3F; // pairs 0 to 2
    record.activeLinesField2 = 0x3F;
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
    record.activeLinesField1 = 0x0F; // pair 2 gone
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
    EXPECT_EQ(DebugLinesWith("Audio input 2 has gone inactive.  Forcing audio capture stream restart"), 1u);
    // Pair 1 is no step's: its return changes nothing.
    record.activeLinesField1 = 0x03;
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
    record.activeLinesField1 = 0x0F;
    EXPECT_FALSE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
    // Pair 2 is the extractor's: its return restarts the stream.
    record.activeLinesField1 = 0x3F;
    EXPECT_TRUE(stream->LoadStreamSettings(reinterpret_cast<const UCHAR*>(&record)));
    EXPECT_TRUE(stream->IsRestartNeeded());
    EXPECT_EQ(DebugLinesWith("Audio input 2 has become active again.  Forcing audio capture stream restart"), 1u);
    EXPECT_EQ(stream->GetDescriptorWord(AudioStream::kWordPairMask), 0x3Fu);
    EXPECT_EQ(stream->GetDescriptorWord(AudioStream::kWordStartMask), 0x3Fu);
    EXPECT_EQ(stream->GetDescriptorWord(AudioStream::kWordCurrentMask), 0x3Fu);
    stream.reset();
}

} // namespace
} // namespace streamtest
