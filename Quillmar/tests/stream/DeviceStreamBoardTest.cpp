// The board's own services against the simulated board's firmware: a stream on the device's own
// queue whose outstanding records are killed, so that a filled buffer they bring back only returns
// to the pool; and the device configuration record with the EEPROM the board carries.
#include "CountingStep.h"
#include "DspCommandFixture.h"
#include "FakePhysicalStream.h"
#include "RecordingSink.h"

#include "algorithmlist.h"
#include "board/Eeprom.h"
#include "brevicorrecords.h"
#include "streamprocessorqueue.h"

#include <cstring>
#include <memory>

namespace streamtest {
namespace {

template <typename Commands>
auto StopFrameClocks(Commands& commands, int) -> decltype(commands.SetFrameClockManual(true), void())
{
    commands.SetFrameClockManual(true);
}
template <typename Commands>
void StopFrameClocks(Commands&, long)
{
}

class DeviceStreamBoardTest : public dsptest::DspCommandTest {
protected:
    void SetUp() override
    {
        DspCommandTest::SetUp();
        if (HasFatalFailure())
            return;
        StopFrameClocks(board_->Commands(), 0);
        // Add's queues, on a board object the test made itself.
        device_->CreateStreamProcessorQueues();
        ASSERT_NE(device_->GetVideoStreamProcessorQueue(), nullptr);
    }

    void TearDown() override
    {
        stream_.reset();
        DspCommandTest::TearDown();
    }

    // A video stream of the device itself (no test services between), in Run with its buffers
    // held by the DSP and one step before the sink.
    void StartStream()
    {
        stream_ = std::make_unique<FakePhysicalStream>(device_, device_->GetVideoStreamProcessorQueue());
        ASSERT_EQ(stream_->GetConstructionStatus(), STATUS_SUCCESS);
        step_ = new CountingStep(2, 0, &live_);
        // The worker counts the frames it runs; the test reads only that count while it runs.
        step_->SetOnProcess([](CountingStep*, Frame*, void* context) { ++*static_cast<std::atomic<int>*>(context); },
                            &frames_);
        AlgorithmList list;
        ASSERT_TRUE(list.Append(step_));
        ASSERT_TRUE(list.Append(&sink_));
        ASSERT_EQ(stream_->AddAlgorithmChain(&list), STATUS_SUCCESS);
        ASSERT_EQ(stream_->StreamFromStopToAcquire(), STATUS_SUCCESS);
        ASSERT_TRUE(stream_->IsDspStreamCreated());
        ASSERT_TRUE(tracetest::WaitUntil([&] { return Queued() == 9; }));
        ASSERT_EQ(stream_->StreamFromAcquireToPause(), STATUS_SUCCESS);
        ASSERT_EQ(stream_->StreamFromPauseToRun(), STATUS_SUCCESS);
        ASSERT_TRUE(stream_->IsProcessingEnabled());
    }

    size_t Queued()
    {
        auto stream = board_->Commands().Stream(stream_->GetDspStreamHandle());
        return stream ? stream->queued.size() : 0;
    }

    std::unique_ptr<FakePhysicalStream> stream_;
    std::atomic<int> live_{0};
    std::atomic<int> frames_{0};
    CountingStep* step_ = nullptr;
    RecordingSink sink_;
};

TEST_F(DeviceStreamBoardTest, AKilledRecordsFilledBufferGoesBackToThePoolAndNeverToTheStream)
{
    StartStream();
    // Nine records out, one with each buffer the DSP holds.
    const ULONG busyRunning = device_->GetBusyCommandHandlerCount();
    // A filled buffer before the kill is processed: the stream's frames count. Its record goes
    // back to the pool only after the frame is handed on, so the worker may have queued the
    // buffer again on a new record before the old one is free: wait for both.
    ASSERT_TRUE(board_->Commands().FillQueuedBuffer(stream_->GetDspStreamHandle()).has_value());
    ASSERT_TRUE(tracetest::WaitUntil([&] {
        return frames_.load() == 1 && Queued() == 9 && device_->GetBusyCommandHandlerCount() == busyRunning;
    }));
    const int framesBefore = frames_.load();

    // Records of another stream, and a free record that once named this one, keep no flag.
    const LogicalStreamHandle handle = stream_->GetHandle();
    CommandHandler* mine = Record();
    mine->SetStream(handle);
    CommandHandler* other = Record();
    other->SetStream(LogicalStreamHandle::Make(7, 3));
    CommandHandler* freed = device_->AllocateCommandHandler();
    freed->SetStream(handle);
    device_->FreeCommandHandler(freed);
    device_->KillStreamsPendingCommands(handle);
    EXPECT_TRUE(mine->IsKilled());
    EXPECT_FALSE(other->IsKilled());
    EXPECT_FALSE(freed->IsKilled());

    const ULONG busy = device_->GetBusyCommandHandlerCount();
    const ULONG free = device_->GetFreeCommandHandlerCount();
    ASSERT_TRUE(board_->Commands().FillQueuedBuffer(stream_->GetDspStreamHandle()).has_value());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return device_->GetBusyCommandHandlerCount() == busy - 1; }));
    EXPECT_EQ(device_->GetFreeCommandHandlerCount(), free + 1);
    // Not a frame of the stream: nothing queued, nothing processed, the buffer only idle again.
    EXPECT_EQ(device_->GetVideoStreamProcessorQueue()->GetQueuedCount(), 0u);
    EXPECT_EQ(frames_.load(), framesBefore);
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::Idle), 1u);
    EXPECT_EQ(Queued(), 8u);

    ASSERT_EQ(stream_->StreamFromRunToPause(), STATUS_SUCCESS);
    ASSERT_EQ(stream_->StreamFromPauseToAcquire(), STATUS_SUCCESS);
    ASSERT_EQ(stream_->StreamFromAcquireToStop(), STATUS_SUCCESS);
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::WithDsp), 0u);
}

TEST_F(DeviceStreamBoardTest, TheDeviceConfigurationCarriesTheBoardsEeprom)
{
    ASSERT_EQ(device_->ReadDspEprom(), STATUS_SUCCESS);
    const board::Eeprom::Contents words = board_->Eeprom().Words();
    UCHAR expected[66];
    std::memcpy(expected, words.data(), sizeof(expected));
    BrevicorDeviceConfigRecord config{};
    ASSERT_EQ(device_->GetDeviceConfig(&config), STATUS_SUCCESS);
    const auto* bytes = reinterpret_cast<const UCHAR*>(&config);
    EXPECT_EQ(std::memcmp(bytes + 50, expected, sizeof(expected)), 0);
    // The production block's first words: the PCI vendor and device ids.
    USHORT vendor = 0;
    std::memcpy(&vendor, bytes + 50, 2);
    EXPECT_EQ(vendor, words[0]);
    EXPECT_NE(words[0], 0);
    EXPECT_EQ(config.driverVersion[2], 62u);
    EXPECT_EQ(config.boardModel, 1u);
    EXPECT_EQ(config.hardwareWordD, 1u);
    EXPECT_EQ(std::u16string(config.productName), u"Talvexon HD ");
}

} // namespace
} // namespace streamtest
