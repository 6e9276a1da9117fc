// The stream commands against the firmware model: create (video and audio descriptors), queue
// capture buffers whose answers come back through the record's dispatch, enable with and without a
// signal, and destroy, which answers every queued buffer before itself.
#include "DspCommandFixture.h"

#include "logicalstreamtable.h"

namespace dsptest {
namespace {

class DspStreamCommandTest : public DspCommandTest {
protected:
    std::string Parameters() const override
    {
        return DspCommandTest::Parameters() + "\"TraceWarnings\"=dword:00000001\n";
    }

    static DspStreamSettings VideoSettings()
    {
        DspStreamSettings settings{};
        const ULONG words[8] = {0, 1920 | (1080u << 16), 74250000, 540 | (540u << 16), 1920 | (22u << 16),
                                23 | (280u << 16), 1920, 1080};
        memcpy(settings.descriptor, words, sizeof(words));
        settings.inputType = 2;
        return settings;
    }

    ULONG CreateVideo()
    {
        CommandHandler* record = Record();
        EXPECT_EQ(record->CreateVideoDspStream(VideoSettings()), STATUS_SUCCESS);
        return record->GetResultWordA();
    }
};

TEST_F(DspStreamCommandTest, CreateSendsTheDescriptorAndTheAudioFormForcesItsFifthWord)
{
    const ULONG video = CreateVideo();
    auto stream = board_->Commands().Stream(video);
    ASSERT_TRUE(stream.has_value());
    EXPECT_EQ(stream->inputType, 2);
    EXPECT_EQ(stream->kind, board::StreamKind::Video);
    const DspStreamSettings settings = VideoSettings();
    for (ULONG i = 0; i < 8; ++i)
        EXPECT_EQ(stream->descriptor[i], settings.descriptor[i]) << i;

    DspStreamSettings audio{};
    for (ULONG i = 0; i < 8; ++i)
        audio.descriptor[i] = 0xA0 + i;
    audio.inputType = 16;
    CommandHandler* record = Record();
    ASSERT_EQ(record->CreateAudioDspStream(audio), STATUS_SUCCESS);
    const auto sent = CommandsWithId(3).back();
    EXPECT_EQ(sent.parameter, 16u);
    EXPECT_EQ(sent.payload[3], 0xA3u);
    EXPECT_EQ(sent.payload[4], 100u); // command area +36
    EXPECT_EQ(sent.payload[5], 0xA5u);
    EXPECT_EQ(board_->Commands().Stream(record->GetResultWordA())->kind, board::StreamKind::Audio);
    EXPECT_EQ(audio.descriptor[4], 0xA4u); // the caller's settings are left alone
}

TEST_F(DspStreamCommandTest, CreateAndDestroyErrorsNameTheStreamKind)
{
    DspStreamSettings settings = VideoSettings();
    settings.inputType = 5; // no such input
    CommandHandler* record = Record();
    EXPECT_EQ(record->CreateVideoDspStream(settings), static_cast<NTSTATUS>(MSG_DSP_FAILED_CREATE_STREAM_ERROR_CODE));
    auto events = Events(MSG_DSP_FAILED_CREATE_STREAM_ERROR_CODE);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Insert(events[0], 0), "video");
    EXPECT_EQ(Insert(events[0], 1), "2");

    EXPECT_EQ(record->DestroyDspStream(9, DspStreamKind::Audio),
              static_cast<NTSTATUS>(MSG_DSP_FAILED_DESTROY_STREAM_ERROR_CODE));
    events = Events(MSG_DSP_FAILED_DESTROY_STREAM_ERROR_CODE);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Insert(events[0], 0), "audio");
    EXPECT_EQ(Insert(events[0], 1), "4");

    // A create whose answer never comes returns the wait's status.
    DropCommand(3);
    CommandHandler* other = Record();
    other->SetTimeout(kShortTimeout);
    {
        ClockPush push(kShortStep, Taken(3));
        EXPECT_EQ(other->CreateAudioDspStream(VideoSettings()), kWaitFailed);
    }
    EXPECT_EQ(other->GetDspResult(), CommandHandler::kDspResultNoAnswer);
}

TEST_F(DspStreamCommandTest, EnableAnswersTheDspResultIncludingNoSignal)
{
    const ULONG handle = CreateVideo();
    CommandHandler* record = Record();
    record->SetPayloadWord(1, 0x55550000); // stale upper half: the enable is 16 bits
    ASSERT_EQ(record->EnableDspStream(handle, true), STATUS_SUCCESS);
    EXPECT_EQ(record->GetDspResult(), 1u);
    EXPECT_TRUE(board_->Commands().Stream(handle)->enabled);
    EXPECT_EQ(CommandsWithId(6).back().payload[0] & 0xFFFF, 1u);
    ASSERT_EQ(record->EnableDspStream(handle, false), STATUS_SUCCESS);
    EXPECT_FALSE(board_->Commands().Stream(handle)->enabled);

    board_->Commands().SetSignalPresent(false);
    ASSERT_EQ(record->EnableDspStream(handle, true), STATUS_SUCCESS);
    EXPECT_EQ(record->GetDspResult(), 23u);
    EXPECT_FALSE(board_->Commands().Stream(handle)->enabled);
}

TEST_F(DspStreamCommandTest, AQueuedBufferIsHeldByTheDspAndItsAnswerReturnsTheRecord)
{
    const ULONG handle = CreateVideo();
    // A handle of the device's stream table that no stream holds.
    const LogicalStreamHandle stream = LogicalStreamHandle::Make(3, 7);
    PHYSICAL_ADDRESS bus{};
    CommandHandler* owner = Record();
    PVOID buffer = owner->AllocateDmaMemory(4'320'000, &bus);
    // The queued record belongs to the buffer until the DSP answers; the dispatch gives it back.
    CommandHandler* record = device_->AllocateCommandHandler();
    ASSERT_NE(buffer, nullptr);
    const ULONG busyBefore = device_->GetBusyCommandHandlerCount();
    ASSERT_EQ(record->QueueCaptureBufferToDsp(stream, handle, bus.u.LowPart, 4'320'000), STATUS_SUCCESS);
    EXPECT_FALSE(record->IsWaited());
    EXPECT_TRUE(record->GetStream() == stream);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return board_->Commands().Stream(handle)->queued.size() == 1; }));
    const auto queued = board_->Commands().Stream(handle)->queued[0];
    EXPECT_EQ(queued.busAddress, bus.u.LowPart);
    EXPECT_EQ(queued.size, 4'320'000u);
    EXPECT_EQ(queued.command.tag, static_cast<uint64_t>(record->GetHostTag()));
    EXPECT_EQ(queued.command.parameter, handle);

    // Filled: the answer reaches the record's dispatch; no stream is known yet, so it goes back.
    const auto answer = board_->Commands().FillQueuedBuffer(handle);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->Word(16), 1u);
    EXPECT_TRUE(tracetest::WaitUntil([&] { return device_->GetBusyCommandHandlerCount() == busyBefore - 1; }));
    EXPECT_EQ(DebugLinesWith("A filled buffer for a stream that is gone: response id 5"), 1u);
    EXPECT_EQ(owner->FreeDmaMemory(4'320'000, bus, buffer), STATUS_SUCCESS);
}

TEST_F(DspStreamCommandTest, DestroyWithNineQueuedBuffersAnswersAllNineFirst)
{
    const ULONG handle = CreateVideo();
    // A handle of the device's stream table that no stream holds.
    const LogicalStreamHandle stream = LogicalStreamHandle::Make(3, 7);
    PHYSICAL_ADDRESS bus{};
    CommandHandler* owner = Record();
    PVOID buffer = owner->AllocateDmaMemory(0x10000, &bus);
    ASSERT_NE(buffer, nullptr);
    std::vector<ULONG> tags;
    for (ULONG i = 0; i < 9; ++i) {
        CommandHandler* record = device_->AllocateCommandHandler();
        ASSERT_NE(record, nullptr);
        tags.push_back(record->GetHostTag());
        ASSERT_EQ(record->QueueCaptureBufferToDsp(stream, handle, bus.u.LowPart + 0x1000 * i, 0x1000), STATUS_SUCCESS);
    }
    ASSERT_TRUE(tracetest::WaitUntil([&] { return board_->Commands().Stream(handle)->queued.size() == 9; }));
    const ULONG busyWithQueued = device_->GetBusyCommandHandlerCount();

    CommandHandler* destroy = Record();
    ASSERT_EQ(destroy->DestroyDspStream(handle, DspStreamKind::Video), STATUS_SUCCESS);
    EXPECT_EQ(destroy->GetDspResult(), 1u);
    // The answers came in order on the one response thread: by the destroy's own answer all nine
    // cancelled buffers had gone through the dispatch and back to the pool.
    EXPECT_EQ(device_->GetBusyCommandHandlerCount(), busyWithQueued + 1 - 9);
    EXPECT_EQ(DebugLinesWith("A filled buffer for a stream that is gone: response id 5"), 9u);
    EXPECT_EQ(DebugLinesWith("DSP result 0x00000008"), 9u);
    EXPECT_FALSE(board_->Commands().Stream(handle).has_value());
    EXPECT_EQ(owner->FreeDmaMemory(0x10000, bus, buffer), STATUS_SUCCESS);
}

TEST_F(DspStreamCommandTest, DmaMemoryOfAnotherAddressIsRefusedAndFreedBuffersAgeOut)
{
    CommandHandler* record = Record();
    PHYSICAL_ADDRESS bus{};
    PVOID buffer = record->AllocateDmaMemory(0x2000, &bus);
    ASSERT_NE(buffer, nullptr);
    EXPECT_LT(bus.QuadPart, 0x100000000LL);
    PHYSICAL_ADDRESS wrong = bus;
    wrong.QuadPart += 0x1000;
    EXPECT_EQ(record->FreeDmaMemory(0x2000, wrong, buffer), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device_->GetDmaBuffersInUseCount(), 1u);
    EXPECT_EQ(record->FreeDmaMemory(0x2000, bus, buffer), STATUS_SUCCESS);
    EXPECT_EQ(device_->GetOldDmaBufferCount(), 1u);
    // Released on the clock: 30 one-second ticks, pushed on.
    ClockPush push(kRecordStep, [] { return true; }, [&] { return device_->GetOldDmaBufferCount() == 0; });
    EXPECT_TRUE(tracetest::WaitUntil([&] { return device_->GetOldDmaBufferCount() == 0; }));
}

} // namespace
} // namespace dsptest
