// Stream slots through the mailbox: create, queue, enable and destroy, the buffers a destroy gives
// back before its own answer, the fill-now hook with its DMA pattern and answer layout, restarts,
// and a hook filling while the host destroys.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "CommandSetTestHost.h"
#include "board/AlignmentMarker.h"
#include "board/CapturePattern.h"
#include "board/DspMemory.h"
#include "board/Eeprom.h"
#include "board/FpgaModel.h"
#include "platform/Clock.h"

namespace board {
namespace {

using platform::Clock;
using testing::HostBuffer;

constexpr int64_t kQuiet = 20 * Clock::kUnitsPerMillisecond;
// Signal type 1 (525 lines): 720 x 487, 244 + 243 active lines, 18 + 20 VBI lines, 138 h-blank.
constexpr std::array<uint32_t, 8> kNtsc = {0, 720 | 487u << 16, 27000000, 244 | 243u << 16,
                                           720 | 18u << 16, 20 | 138u << 16, 720, 487};
constexpr uint32_t kNtscSize = 2 * 720 * (18 + 244 + 20 + 243);

class BoardStreams : public testing::CommandSetTest {
protected:
    uint32_t Create(uint32_t inputType, std::array<uint32_t, 8> descriptor = kNtsc)
    {
        const MailboxResponse created = Send(kCommandCreateStream, inputType, descriptor);
        EXPECT_EQ(created.Result(), kDspResultSuccess);
        return created.WordA();
    }
    uint64_t Queue(uint32_t handle, uint32_t bus, uint32_t size)
    {
        return Put(kCommandQueueCaptureBuffer, handle, {bus, size});
    }
    void ExpectNoAnswer()
    {
        Clock::SleepFor(kQuiet);
        EXPECT_EQ(testing::MailboxWord(board, kMailboxResponseValid), 0u);
    }
};

TEST_F(BoardStreams, CreateGivesHandlesAndKeepsTheDescriptor)
{
    const uint32_t video = Create(0xAB00); // only the low byte is the input type
    std::array<uint32_t, 8> detection = {1, 2, 3, 4, 100, 6, 7, 8};
    const uint32_t audio = Create(10, detection);
    EXPECT_EQ(video, 1u);
    EXPECT_EQ(audio, 2u);
    const auto stream = commands().Stream(audio);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->kind, StreamKind::Audio);
    EXPECT_EQ(stream->descriptor, detection);
    EXPECT_EQ(commands().Stream(video)->kind, StreamKind::Video);
    EXPECT_EQ(commands().Stream(video)->inputType, 0);
    EXPECT_FALSE(commands().Stream(video)->enabled);

    EXPECT_EQ(Send(kCommandCreateStream, 5).Result(), kDspErrorBadParameter);
    for (uint32_t i = 2; i < CommandSet::kMaxStreams; ++i)
        Create(i % 2 ? 2 : 16);
    const MailboxResponse full = Send(kCommandCreateStream, 0, kNtsc);
    EXPECT_EQ(full.Result(), kDspErrorNoMemory);
    EXPECT_EQ(full.WordA(), 0u);
}

TEST_F(BoardStreams, EnableNeedsAStreamAndASignal)
{
    const uint32_t handle = Create(0);
    EXPECT_EQ(Send(kCommandEnableStream, handle + 1, {1}).Result(), kDspErrorBadHandle);
    EXPECT_EQ(Send(kCommandEnableStream, handle, {2}).Result(), kDspErrorBadParameter);
    // Each change of the cable is announced with the input's state before the next answer.
    commands().SetSignalPresent(false);
    EXPECT_EQ(Next().Id(), kDspMessageInputState);
    EXPECT_EQ(Send(kCommandEnableStream, handle, {1}).Result(), kDspErrorNoSignal);
    EXPECT_FALSE(commands().Stream(handle)->enabled);
    commands().SetSignalPresent(true);
    EXPECT_EQ(Next().Id(), kDspMessageInputState);
    EXPECT_EQ(Send(kCommandEnableStream, handle, {0xFFFF0001}).Result(), kDspResultSuccess);
    EXPECT_TRUE(commands().Stream(handle)->enabled);
    EXPECT_EQ(Send(kCommandEnableStream, handle, {0}).Result(), kDspResultSuccess);
    EXPECT_FALSE(commands().Stream(handle)->enabled);
}

TEST_F(BoardStreams, ADestroyAnswersAllNineQueuedBuffersFirstInOrder)
{
    const uint32_t handle = Create(0);
    std::vector<uint64_t> tags;
    for (uint32_t i = 0; i < 9; ++i)
        tags.push_back(Queue(handle, 0x01000000 + i * 0x1000, 4320000));
    Taken();
    ExpectNoAnswer();
    ASSERT_EQ(commands().Stream(handle)->queued.size(), 9u);
    // Disabling keeps them queued.
    EXPECT_EQ(Send(kCommandEnableStream, handle, {0}).Result(), kDspResultSuccess);

    const uint64_t destroy = Put(kCommandDestroyStream, handle);
    for (uint32_t i = 0; i < 9; ++i) {
        const MailboxResponse cancelled = Next();
        EXPECT_EQ(cancelled.Tag(), tags[i]);
        EXPECT_EQ(cancelled.Id(), kCommandQueueCaptureBuffer);
        EXPECT_EQ(cancelled.Result(), kDspErrorCancelled);
        EXPECT_EQ(cancelled.WordA(), 0x01000000 + i * 0x1000);
        EXPECT_EQ(cancelled.WordB(), 0u);
    }
    const MailboxResponse done = Next();
    EXPECT_EQ(done.Tag(), destroy);
    EXPECT_EQ(done.Id(), kCommandDestroyStream);
    EXPECT_EQ(done.Result(), kDspResultSuccess);
    EXPECT_FALSE(commands().Stream(handle));
    EXPECT_EQ(Send(kCommandDestroyStream, handle).Result(), kDspErrorBadHandle);
    EXPECT_EQ(Send(kCommandEnableStream, handle, {1}).Result(), kDspErrorBadHandle);
}

TEST_F(BoardStreams, QueueRefusalsAreAnsweredAtOnce)
{
    const uint32_t handle = Create(10);
    MailboxResponse refused = Send(kCommandQueueCaptureBuffer, handle + 7, {0x01234000, 30720});
    EXPECT_EQ(refused.Result(), kDspErrorBadHandle);
    EXPECT_EQ(refused.WordA(), 0x01234000u);
    EXPECT_EQ(Send(kCommandQueueCaptureBuffer, handle, {0x01234000, 0}).Result(), kDspErrorBadParameter);
    EXPECT_EQ(Send(kCommandQueueCaptureBuffer, handle, {0x01234000, CommandSet::kMaxBufferSize + 1}).Result(),
              kDspErrorBadParameter);
    for (uint32_t i = 0; i < CommandSet::kMaxQueuedBuffers; ++i)
        Queue(handle, 0x01000000, 30720);
    EXPECT_EQ(Send(kCommandQueueCaptureBuffer, handle, {0x01000000, 30720}).Result(), kDspErrorNoMemory);
    EXPECT_EQ(commands().Stream(handle)->queued.size(), CommandSet::kMaxQueuedBuffers);
}

TEST_F(BoardStreams, FillingAVideoBufferWritesThePictureAndAnswersWithItsGeometry)
{
    HostBuffer host(1 << 20);
    board.Fpga().SetRegister(FpgaModel::kAlignmentControl, 3 << 6 | 32);
    const uint32_t handle = Create(0);
    const uint64_t tag = Queue(handle, host.Bus(), 1 << 20);
    Taken();
    EXPECT_FALSE(commands().FillQueuedBuffer(handle, host.Bus() + 4096)); // not one of its buffers
    EXPECT_FALSE(commands().FillQueuedBuffer(handle + 1));
    const auto made = commands().FillQueuedBuffer(handle);
    ASSERT_TRUE(made);

    const MailboxResponse filled = Next();
    EXPECT_EQ(filled.bytes, made->bytes);
    EXPECT_EQ(filled.Tag(), tag);
    EXPECT_EQ(filled.Id(), kCommandQueueCaptureBuffer);
    EXPECT_EQ(filled.Result(), kDspResultSuccess);
    EXPECT_EQ(filled.WordA(), host.Bus());
    EXPECT_EQ(filled.WordB(), kNtscSize);
    EXPECT_EQ(filled.Word(kResponseStatusWords), 720u | 138u << 11);
    EXPECT_EQ(filled.Word(kResponseStatusWords + 4), 244u | 243u << 12);
    EXPECT_EQ(filled.Word(kResponseStatusWords + 8), 18u | 20u << 8);
    EXPECT_EQ(filled.Word(kResponseStatusWords + 12), 18u | 20u << 8);
    for (uint32_t i = 4; i < 8; ++i)
        EXPECT_EQ(filled.Word(kResponseStatusWords + 4 * i), 0u);
    EXPECT_TRUE(commands().Stream(handle)->queued.empty());
    EXPECT_EQ(commands().Stream(handle)->filled, 1u);

    const auto& y = host.Bytes();
    EXPECT_EQ(y[5], 5);
    EXPECT_EQ(y[10 * 720 + 719], static_cast<uint8_t>(10 + 719));
    // VBI row 2 (line 3) starts with the marker.
    EXPECT_EQ(std::vector<uint8_t>(y.begin() + 2 * 720, y.begin() + 2 * 720 + 8),
              std::vector<uint8_t>(AlignmentMarker::kMarker.begin(), AlignmentMarker::kMarker.end()));
    EXPECT_EQ(y[2 * 720 + 8], static_cast<uint8_t>(2 + 8));
    EXPECT_EQ(y[720 * 525], 0x80);         // Cb
    EXPECT_EQ(y[kNtscSize - 1], 0x80);     // the end of Cr
    EXPECT_EQ(y[kNtscSize], 0xCD);         // nothing past the data
}

TEST_F(BoardStreams, VideoRowsArePaddedToSixteenAndTheMarkerNeedsItsEnableBit)
{
    // 1/4 CIF-ish: 100 wide (stride 112), 10 + 12 active lines, 3 + 2 VBI lines.
    const std::array<uint32_t, 8> small = {0, 0, 0, 10 | 12u << 16, 100 | 3u << 16, 2 | 20u << 16, 100, 22};
    HostBuffer host(2 * 112 * 27);
    board.Fpga().SetRegister(FpgaModel::kAlignmentControl, 2 << 6); // line 2, not enabled
    const uint32_t handle = Create(0, small);
    Queue(handle, host.Bus(), 2 * 112 * 27);
    Taken();
    ASSERT_TRUE(commands().FillQueuedBuffer(handle));
    const MailboxResponse filled = Next();
    EXPECT_EQ(filled.Result(), kDspResultSuccess);
    EXPECT_EQ(filled.WordB(), 2u * 112 * 27);
    EXPECT_EQ(host.Bytes()[112 + 0], 1);    // row 1: no marker
    EXPECT_EQ(host.Bytes()[112 + 99], 100); // (1 + 99)
    EXPECT_EQ(host.Bytes()[112 + 100], 0);  // padding
    EXPECT_EQ(host.Bytes()[112 + 111], 0);
}

TEST_F(BoardStreams, FillingAnAudioBufferWritesEightPairsOfThreeRows)
{
    HostBuffer host(CapturePattern::kAudioDataSize);
    const uint32_t handle = Create(10, {0, 0, 0, 0, 100, 0, 0, 0});
    Queue(handle, host.Bus(), CapturePattern::kAudioDataSize);
    Taken();
    ASSERT_TRUE(commands().FillQueuedBuffer(handle, host.Bus()));
    const MailboxResponse filled = Next();
    EXPECT_EQ(filled.Result(), kDspResultSuccess);
    EXPECT_EQ(filled.WordB(), 30720u);
    const StatusWords expected = {0x2000000, 0, 0xFFFF, 0xFFFF, 100, 0, 0, 0};
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(filled.Word(kResponseStatusWords + 4 * i), expected[i]) << i;
    // Row 1, pair 2, sample 3, right channel: after one row of 8 blocks and 2 blocks of row 1.
    const size_t at = (8 + 2) * 1280 + 3 * 8 + 4;
    EXPECT_EQ(host.Word(at), 2u << 16 | (160 + 3) << 1 | 1);
    EXPECT_EQ(host.Word(30720 - 4), CapturePattern::AudioSample(2, 7, 159, 1));
}

TEST_F(BoardStreams, FillsThatCannotLandAreAnsweredWithTheirError)
{
    HostBuffer host(4096);
    const uint32_t audio = Create(10);
    Queue(audio, host.Bus(), 4096); // too small for a 10 ms block
    Queue(audio, 0x00FFF000, 30720); // below every bus address the map hands out
    const uint32_t video = Create(0);
    Queue(video, host.Bus(), 4096);
    Taken();
    EXPECT_EQ(commands().FillQueuedBuffer(audio)->Result(), kDspErrorBadParameter);
    EXPECT_EQ(commands().FillQueuedBuffer(audio)->Result(), kDspErrorDmaNotMapped);
    EXPECT_EQ(commands().FillQueuedBuffer(video)->Result(), kDspErrorBadParameter);
    for (uint32_t expected : {kDspErrorBadParameter, kDspErrorDmaNotMapped, kDspErrorBadParameter}) {
        const MailboxResponse answer = Next();
        EXPECT_EQ(answer.Result(), expected);
        EXPECT_EQ(answer.WordB(), 0u);
    }
    EXPECT_EQ(host.Bytes()[0], 0xCD);
    EXPECT_EQ(commands().Stream(audio)->filled, 0u);
}

TEST_F(BoardStreams, ABufferFilledBeforeADestroyIsAnsweredBeforeTheCancelledOnes)
{
    HostBuffer host(CapturePattern::kAudioDataSize * 3);
    const uint32_t handle = Create(10);
    std::vector<uint64_t> tags;
    for (uint32_t i = 0; i < 3; ++i)
        tags.push_back(Queue(handle, host.Bus() + i * CapturePattern::kAudioDataSize, CapturePattern::kAudioDataSize));
    Taken();
    board.Mailbox().SetStalled(true); // the firmware posts nothing until the destroy is in
    ASSERT_TRUE(commands().FillQueuedBuffer(handle, host.Bus() + CapturePattern::kAudioDataSize));
    const uint64_t destroy = Put(kCommandDestroyStream, handle, {}); // waits in the slot
    board.Mailbox().SetStalled(false);

    const std::vector<std::pair<uint64_t, uint32_t>> expected = {
        {tags[1], kDspResultSuccess}, {tags[0], kDspErrorCancelled}, {tags[2], kDspErrorCancelled},
        {destroy, kDspResultSuccess}};
    for (const auto& [tag, result] : expected) {
        const MailboxResponse answer = Next();
        EXPECT_EQ(answer.Tag(), tag);
        EXPECT_EQ(answer.Result(), result);
    }
}

TEST_F(BoardStreams, AWarmResetAndTheHostsRestartDropStreamsAndBuffers)
{
    const uint32_t handle = Create(0);
    Queue(handle, 0x01000000, 4096);
    Taken();
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    EXPECT_TRUE(commands().Streams().empty());
    EXPECT_FALSE(commands().FillQueuedBuffer(handle));
    testing::BootMainFirmware(board);
    EXPECT_EQ(Create(0), 1u);
    Queue(1, 0x01000000, 4096);
    Taken();

    // The host's "already running" start.
    testing::RestartMailbox(board);
    ASSERT_TRUE(testing::Eventually([&] { return commands().Streams().empty(); }));
    ExpectNoAnswer(); // the queued buffer belonged to the host that is gone
    EXPECT_EQ(Create(2), 1u);
}

TEST_F(BoardStreams, AHookFillingWhileTheHostDestroysAnswersEveryBufferOnceAndTheDestroyLast)
{
    constexpr uint32_t kBuffers = 40;
    HostBuffer host(CapturePattern::kAudioDataSize * kBuffers);
    const uint32_t handle = Create(10);
    std::atomic<bool> stop{false};
    std::atomic<int> fills{0};
    std::thread filler([&] {
        while (!stop) {
            if (commands().FillQueuedBuffer(handle))
                ++fills;
            else
                std::this_thread::yield();
        }
    });
    std::map<uint64_t, int> answered;
    std::vector<uint64_t> tags;
    for (uint32_t i = 0; i < kBuffers; ++i) {
        tags.push_back(Queue(handle, host.Bus() + i * CapturePattern::kAudioDataSize, CapturePattern::kAudioDataSize));
        // Take what has come meanwhile, as the host's response thread would.
        while (auto answer = testing::TakeResponse(board))
            ++answered[answer->Tag()];
    }
    // The destroy goes out once the hook has filled a buffer, however late its thread runs, so that
    // the two meet.
    EXPECT_TRUE(testing::Eventually([&] { return fills.load() > 0; }, 30)) << "the hook filled nothing";
    const uint64_t destroy = Put(kCommandDestroyStream, handle);
    for (;;) {
        const MailboxResponse answer = Next();
        if (answer.Tag() == 0)
            break; // nothing came: the expectation in Next has failed already
        if (answer.Tag() == destroy) {
            EXPECT_EQ(answer.Result(), kDspResultSuccess);
            break;
        }
        EXPECT_EQ(answer.Id(), kCommandQueueCaptureBuffer);
        EXPECT_TRUE(answer.Result() == kDspResultSuccess || answer.Result() == kDspErrorCancelled);
        ++answered[answer.Tag()];
    }
    stop = true;
    filler.join();
    ExpectNoAnswer();
    for (uint64_t tag : tags)
        EXPECT_EQ(answered[tag], 1) << tag;
    EXPECT_EQ(answered.size(), kBuffers);
}

} // namespace
} // namespace board

namespace board {
namespace {

// The command set alone, without the board's thread: what a hook made goes out ahead of the
// answers of the next command, whichever thread takes it.
TEST(CommandSetAlone, AnswersMadeByTheHookPrecedeTheNextCommandsAnswers)
{
    DspMemory memory;
    FpgaModel fpga;
    Eeprom eeprom;
    platform::DmaAddressMap dma;
    std::vector<uint8_t> host(CapturePattern::kAudioDataSize);
    uint32_t bus = 0;
    ASSERT_EQ(dma.Register(host.data(), host.size(), bus), platform::BusStatus::Ok);
    CommandSet commands(memory, fpga, eeprom, dma);
    int wakes = 0;
    commands.SetWake([&] { ++wakes; });

    auto command = [](uint64_t tag, uint32_t id, uint32_t parameter, std::array<uint32_t, 8> payload = {}) {
        return MailboxCommand::Decode(testing::CommandBytes(tag, id, parameter, payload));
    };
    const auto created = commands.Handle(command(1, kCommandCreateStream, 10));
    ASSERT_EQ(created.size(), 1u);
    const uint32_t handle = created[0].WordA();
    EXPECT_TRUE(commands.Handle(command(2, kCommandQueueCaptureBuffer, handle, {bus, 30720})).empty());
    EXPECT_TRUE(commands.Handle(command(3, kCommandQueueCaptureBuffer, handle, {bus, 30720})).empty());
    ASSERT_TRUE(commands.FillQueuedBuffer(handle));
    EXPECT_EQ(wakes, 1);

    const auto answers = commands.Handle(command(4, kCommandDestroyStream, handle));
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0].Tag(), 2u);
    EXPECT_EQ(answers[0].Result(), kDspResultSuccess);
    EXPECT_EQ(answers[1].Tag(), 3u);
    EXPECT_EQ(answers[1].Result(), kDspErrorCancelled);
    EXPECT_EQ(answers[2].Tag(), 4u);
    EXPECT_TRUE(commands.TakeMadeAnswers().empty());
    EXPECT_EQ(dma.Unregister(bus, host.data(), host.size()), platform::BusStatus::Ok);
}

} // namespace
} // namespace board
