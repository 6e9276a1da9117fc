// A running capture pin whose DSP stops giving buffers back, as a capture program meets it: the
// silence is noticed within the DSP command time-out and a few frames, logged once with a message
// of the driver's table, the pin goes on delivering (backup frames), and once the DSP answers again
// its buffers are back with it and real frames flow.
#include "PinFixture.h"

#include "standin/debugger.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace pintest {
namespace {

constexpr ULONG kQueue = 5;
constexpr ULONG kFirmwareStoppedResponding = 0xC0071051;

KS_DATAFORMAT_VIDEOINFOHEADER Rgb32()
{
    return VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 32, KS_BI_RGB, 333667);
}

using testsupport::WaitUntil;

// Buffers the board filled on its enabled video streams.
uint64_t FilledOnEnabledStreams(board::CaptureBoard& board)
{
    uint64_t filled = 0;
    for (const auto& stream : board.Commands().Streams())
        if (stream.enabled && stream.kind == board::StreamKind::Video)
            filled += stream.filled;
    return filled;
}

size_t QueueCommands(board::CaptureBoard& board)
{
    size_t count = 0;
    for (const auto& command : board.Mailbox().CommandLog())
        count += command.id == kQueue ? 1 : 0;
    return count;
}

TEST_F(PinTest, LostQueueBufferAnswersAreNoticedLoggedBridgedWithBackupFramesAndRecovered)
{
    board::CaptureBoard& board = Start("\"VideoDMABuffers\"=dword:00000004\r\n");
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    PinClient capture;
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb = Rgb32();
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    PinClient::Batch& first = capture.Read(2, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(first));
    ASSERT_EQ(first.error, 0u);
    standin::EventLogClear();

    // From now on the DSP takes every queue command and never answers it: the buffers it holds
    // come back filled, those queued again are lost.
    board::MailboxService::CommandFault lost;
    lost.drop = true;
    board.Mailbox().SetCommandFault(kQueue, lost);
    ASSERT_TRUE(WaitUntil([&] { return !Events(kFirmwareStoppedResponding).empty(); }))
        << "the silent stream was never noticed";
    // The pin goes on delivering: backup frames bridge the silence.
    PinClient::Batch& bridged = capture.Read(3, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(bridged));
    EXPECT_EQ(bridged.error, 0u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_GT(bridged.Header(i).DataUsed, 0u) << i;

    // The DSP answers again: a remade stream gets its buffers and fills them; real frames flow.
    const size_t queuedBefore = QueueCommands(board);
    board.Mailbox().SetCommandFault(kQueue, std::nullopt);
    ASSERT_TRUE(WaitUntil([&] { return FilledOnEnabledStreams(board) >= 4; })) << "no buffer reached the DSP again";
    EXPECT_GT(QueueCommands(board), queuedBefore);
    PinClient::Batch& after = capture.Read(3, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(after));
    EXPECT_EQ(after.error, 0u);
    EXPECT_GT(after.Header(2).DataUsed, 0u);

    // One silence, one entry, and every entry has its message.
    EXPECT_EQ(Events(kFirmwareStoppedResponding).size(), 1u);
    EXPECT_EQ(standin::EventLogText().find("cannot be found"), std::string::npos) << standin::EventLogText();
    ASSERT_EQ(capture.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
}

TEST_F(PinTest, AHungDspIsLoggedWhileThePinRunsAndThePinGoesOnDelivering)
{
    board::CaptureBoard& board = Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    PinClient capture;
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb = Rgb32();
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    PinClient::Batch& first = capture.Read(2, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(first));
    standin::EventLogClear();

    board.Mailbox().SetStalled(true);
    // Logged while the pin runs, not when it stops.
    ASSERT_TRUE(WaitUntil([&] { return !Events(kFirmwareStoppedResponding).empty(); }))
        << "the hung DSP was never noticed";
    PinClient::Batch& bridged = capture.Read(2, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(bridged));
    EXPECT_EQ(bridged.error, 0u);
    EXPECT_GT(bridged.Header(1).DataUsed, 0u);
    board.Mailbox().SetStalled(false);
    ASSERT_EQ(capture.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
    EXPECT_EQ(standin::EventLogText().find("cannot be found"), std::string::npos) << standin::EventLogText();
}

} // namespace
} // namespace pintest
