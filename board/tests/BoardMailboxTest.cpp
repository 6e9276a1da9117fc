// The main firmware's mailbox service seen from the host: slot copies with the flags last,
// counters, interrupts, FIFO order, held, dropped, delayed and failing answers, the DSP's own
// messages, the host's restart, warm reset, a hung and an absent DSP.
#include <gtest/gtest.h>

#include <algorithm>

#include "MailboxTestHost.h"
#include "platform/Clock.h"

namespace board {
namespace {

using platform::Clock;
using testing::AwaitResponse;
using testing::CommandBytes;
using testing::Eventually;
using testing::MailboxWord;
using testing::PutCommand;
using testing::RecordsOf;
using testing::TakeResponse;

constexpr int64_t kQuiet = 20 * Clock::kUnitsPerMillisecond; // many ticks of the fallback poll

class BoardMailbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        testing::BootMainFirmware(board);
        ASSERT_TRUE(board.IsBooted());
        board.ClearAccessLog();
    }

    size_t Interrupts() const { return RecordsOf(board.AccessLog(), AccessKind::InterruptRaised).size(); }

    // A firmware pass writes the mailbox under the service's lock, the answer's counter after its
    // flag, and raises its interrupts once it has let go: what the host sees first can run ahead
    // of the counter and of the interrupt log. Switching the test's stepping on returns once a
    // pass under way has raised its interrupts; switching it off again lets the firmware's own
    // passes serve what came in meanwhile.
    void Settle()
    {
        board.Mailbox().SetSteppedByTest(true);
        board.Mailbox().SetSteppedByTest(false);
    }

    CaptureBoard board;
};

TEST_F(BoardMailbox, ACommandIsTakenDecodedAndAnsweredWhole)
{
    const uint64_t tag = 0xFFFFFFFF80001234ull; // the host's bytes come back whatever they are
    const auto bytes = CommandBytes(tag, kCommandDcSignature, 0x22, {1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_TRUE(PutCommand(board, bytes));
    ASSERT_TRUE(Eventually([&] { return MailboxWord(board, kMailboxCommandBusy) == 0; }));

    const auto log = board.Mailbox().CommandLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].bytes, bytes);
    EXPECT_EQ(log[0].tag, tag);
    EXPECT_EQ(log[0].id, kCommandDcSignature);
    EXPECT_EQ(log[0].parameter, 0x22u);
    EXPECT_EQ(log[0].payload, (std::array<uint32_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));

    const auto response = AwaitResponse(board);
    ASSERT_TRUE(response);
    MailboxResponse expected;
    expected.bytes[0] = 0x34, expected.bytes[1] = 0x12, expected.bytes[2] = 0x00, expected.bytes[3] = 0x80;
    expected.bytes[4] = expected.bytes[5] = expected.bytes[6] = expected.bytes[7] = 0xFF;
    expected.bytes[8] = kCommandDcSignature;
    expected.bytes[16] = 1;
    expected.bytes[24] = 31; // no daughter card
    EXPECT_EQ(response->bytes, expected.bytes);
    Settle();
    EXPECT_EQ(MailboxWord(board, kMailboxCounterA), 1u);
    EXPECT_EQ(MailboxWord(board, kMailboxCounterB), 1u);
    EXPECT_EQ(board.Mailbox().CounterB(), 1u);
    // One interrupt for the command taken, one for the answer posted.
    EXPECT_EQ(Interrupts(), 2u);
}

TEST_F(BoardMailbox, TheCommandLogKeepsTheNewestCommandsUpToItsCapacity)
{
    // A capture sends hundreds of commands a second for as long as it runs: the log keeps a
    // bounded tail of them, the oldest dropped and counted.
    static_assert(MailboxService::kDefaultCommandLogCapacity == 16384);
    board.Mailbox().SetCommandLogCapacity(3);
    for (uint64_t tag = 1; tag <= 5; ++tag) {
        ASSERT_TRUE(PutCommand(board, CommandBytes(tag, kCommandDcSignature)));
        ASSERT_TRUE(AwaitResponse(board)) << tag;
    }
    auto log = board.Mailbox().CommandLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].tag, 3u);
    EXPECT_EQ(log[1].tag, 4u);
    EXPECT_EQ(log[2].tag, 5u);
    EXPECT_EQ(board.Mailbox().CommandLogDropped(), 2u);
    // A smaller capacity drops at once; clearing forgets the count.
    board.Mailbox().SetCommandLogCapacity(1);
    log = board.Mailbox().CommandLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].tag, 5u);
    EXPECT_EQ(board.Mailbox().CommandLogDropped(), 4u);
    board.Mailbox().ClearCommandLog();
    EXPECT_TRUE(board.Mailbox().CommandLog().empty());
    EXPECT_EQ(board.Mailbox().CommandLogDropped(), 0u);
}

TEST_F(BoardMailbox, HeldCommandsAnsweredOutOfOrderLeaveInAnswerOrderOneAtATime)
{
    board.Mailbox().SetHoldAnswers(true);
    for (uint64_t tag = 1; tag <= 3; ++tag) {
        ASSERT_TRUE(Eventually([&] { return PutCommand(board, CommandBytes(tag, 4, uint32_t(tag))); }));
    }
    ASSERT_TRUE(Eventually([&] { return board.Mailbox().HeldCommands().size() == 3; }));
    Settle();
    EXPECT_EQ(MailboxWord(board, kMailboxCounterA), 3u);
    EXPECT_EQ(Interrupts(), 3u);
    Clock::SleepFor(kQuiet);
    EXPECT_EQ(MailboxWord(board, kMailboxResponseValid), 0u);

    EXPECT_FALSE(board.Mailbox().AnswerHeld(99, 1));
    EXPECT_TRUE(board.Mailbox().AnswerHeld(3, 1, 30, 31));
    EXPECT_TRUE(board.Mailbox().AnswerHeld(1, kDspErrorBadHandle, 10, 11));
    EXPECT_TRUE(board.Mailbox().DropHeld(2));
    EXPECT_FALSE(board.Mailbox().AnswerHeld(2, 1));

    // The second answer waits until the host has taken the first.
    ASSERT_TRUE(Eventually([&] { return MailboxWord(board, kMailboxResponseValid) == 1; }));
    Clock::SleepFor(kQuiet);
    EXPECT_EQ(board.Mailbox().QueuedAnswers(), 1u);
    auto first = TakeResponse(board);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Tag(), 3u);
    EXPECT_EQ(first->Id(), 4u);
    EXPECT_EQ(first->WordA(), 30u);
    EXPECT_EQ(first->WordB(), 31u);
    auto second = AwaitResponse(board);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Tag(), 1u);
    EXPECT_EQ(second->Result(), kDspErrorBadHandle);
    EXPECT_EQ(second->WordA(), 10u);
    Clock::SleepFor(kQuiet);
    EXPECT_FALSE(TakeResponse(board)); // the dropped one never comes
    Settle();
    EXPECT_EQ(MailboxWord(board, kMailboxCounterB), 2u);
    EXPECT_EQ(Interrupts(), 5u);
}

TEST_F(BoardMailbox, ReleaseAnswersEveryHeldCommandInTheOrderTaken)
{
    board.Mailbox().SetHoldAnswers(true);
    for (uint64_t tag = 7; tag <= 8; ++tag)
        ASSERT_TRUE(Eventually([&] { return PutCommand(board, CommandBytes(tag, 1)); }));
    ASSERT_TRUE(Eventually([&] { return board.Mailbox().HeldCommands().size() == 2; }));
    EXPECT_EQ(board.Mailbox().ReleaseHeld(), 2u);
    EXPECT_EQ(AwaitResponse(board)->Tag(), 7u);
    EXPECT_EQ(AwaitResponse(board)->Tag(), 8u);
}

TEST_F(BoardMailbox, CommandFaultsAndHandlersOverrideTheCommandSet)
{
    board.Mailbox().SetCommandFault(9, MailboxService::CommandFault{false, kDspErrorBadParameter, 5, 6});
    board.Mailbox().SetCommandFault(7, MailboxService::CommandFault{true});
    board.Mailbox().SetCommandHandler(16, [](const MailboxCommand& c) {
        return std::vector{MailboxResponse::AnswerTo(c, kDspResultSuccess, 17)};
    });
    board.Mailbox().SetCommandHandler(5, [](const MailboxCommand&) { return std::vector<MailboxResponse>(); });

    ASSERT_TRUE(PutCommand(board, CommandBytes(1, 9)));
    auto failed = AwaitResponse(board);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->Result(), kDspErrorBadParameter);
    EXPECT_EQ(failed->WordA(), 5u);
    EXPECT_EQ(failed->WordB(), 6u);

    ASSERT_TRUE(Eventually([&] { return PutCommand(board, CommandBytes(2, 7)); }));
    ASSERT_TRUE(Eventually([&] { return PutCommand(board, CommandBytes(3, 5)); }));
    ASSERT_TRUE(Eventually([&] { return PutCommand(board, CommandBytes(4, 16)); }));
    auto signature = AwaitResponse(board);
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature->Tag(), 4u); // 7 dropped, 5 answers later (never, here)
    EXPECT_EQ(signature->WordA(), 17u);
    EXPECT_EQ(board.Mailbox().CommandLog().size(), 4u);

    board.Mailbox().SetCommandFault(9, std::nullopt);
    ASSERT_TRUE(Eventually([&] { return PutCommand(board, CommandBytes(5, 9)); }));
    // Back to the command set: register reads need a configured FPGA.
    EXPECT_EQ(AwaitResponse(board)->Result(), kDspErrorFpgaNotConfigured);
}

TEST_F(BoardMailbox, APostedMessageGoesOutWholeWithTheTagItWasGiven)
{
    MailboxResponse message = MailboxResponse::Message(kDspMessageInputState);
    for (uint32_t offset = 24; offset < 112; offset += 4)
        message.SetWord(offset, 0xA5000000 | offset);
    board.Mailbox().Post(message);
    auto got = AwaitResponse(board);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, message.bytes);
    EXPECT_EQ(got->Tag(), 0u);

    MailboxResponse stray = MailboxResponse::Message(3);
    stray.SetTag(0x7777);
    board.Mailbox().Post(stray);
    EXPECT_EQ(AwaitResponse(board)->Tag(), 0x7777u);
    EXPECT_THROW(stray.SetWord(112, 0), std::out_of_range);
    EXPECT_THROW((void)stray.Word(2), std::out_of_range);
}

TEST_F(BoardMailbox, AnswersWaitForTheirDelayOnTheClock)
{
    const int64_t delay = 15 * Clock::kUnitsPerMillisecond;
    board.Mailbox().SetAnswerDelay(delay);
    const int64_t sent = Clock::Now();
    ASSERT_TRUE(PutCommand(board, CommandBytes(1, 12)));
    auto response = AwaitResponse(board);
    ASSERT_TRUE(response);
    EXPECT_GE(Clock::Now() - sent, delay);
    EXPECT_EQ(response->Tag(), 1u);
}

TEST_F(BoardMailbox, TheHostsRestartDropsTheFifoAndTheHeldCommands)
{
    board.Mailbox().Post(MailboxResponse::Message(6));
    board.Mailbox().Post(MailboxResponse::Message(6));
    board.Mailbox().SetHoldAnswers(true);
    ASSERT_TRUE(Eventually([&] { return PutCommand(board, CommandBytes(1, 3)); }));
    ASSERT_TRUE(Eventually([&] { return board.Mailbox().HeldCommands().size() == 1; }));
    ASSERT_TRUE(Eventually([&] { return MailboxWord(board, kMailboxResponseValid) == 1; }));
    // From here the firmware steps only when the test says, before and after the host's writes.
    board.Mailbox().SetSteppedByTest(true);
    // A command the old host left in the slot, never taken.
    testing::SetMailboxWord(board, kMailboxCommandSlot, 7);
    testing::SetMailboxWord(board, kMailboxCommandBusy, 1);
    board.ClearAccessLog();
    testing::RestartMailbox(board);
    // Until the firmware's next pass the mailbox is as the old host left it...
    EXPECT_EQ(MailboxWord(board, kMailboxResponseValid), 1u);
    EXPECT_EQ(MailboxWord(board, kMailboxRestart), kMailboxRestartRequest);
    // ...and that one pass carries the whole restart out, the acknowledgement last.
    board.StepMailbox();
    EXPECT_EQ(MailboxWord(board, kMailboxRestart), 0u);
    for (uint32_t field : {kMailboxCommandBusy, kMailboxResponseValid, kMailboxCounterA, kMailboxCounterB})
        EXPECT_EQ(MailboxWord(board, field), 0u) << field;
    EXPECT_EQ(board.Mailbox().HostRestarts(), 1u);
    EXPECT_EQ(board.Mailbox().QueuedAnswers(), 0u);
    EXPECT_TRUE(board.Mailbox().HeldCommands().empty());
    EXPECT_EQ(Interrupts(), 1u); // the acknowledgement's
    // Nothing of the old host's comes out of later passes.
    for (int i = 0; i < 5; ++i)
        board.StepMailbox();
    EXPECT_EQ(MailboxWord(board, kMailboxResponseValid), 0u);
    EXPECT_EQ(board.Mailbox().CommandLog().size(), 1u); // the command left in the slot was dropped

    board.Mailbox().SetSteppedByTest(false);
    board.Mailbox().SetHoldAnswers(false);
    ASSERT_TRUE(PutCommand(board, CommandBytes(2, 3)));
    auto response = AwaitResponse(board);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->Tag(), 2u);
    Settle();
    EXPECT_EQ(MailboxWord(board, kMailboxCounterA), 1u);
    EXPECT_EQ(MailboxWord(board, kMailboxCounterB), 1u);
    EXPECT_EQ(board.Mailbox().HostRestarts(), 1u);
}

TEST_F(BoardMailbox, AStepBetweenTheHostsWritesMeetsEitherTheOldMailboxOrTheRestartedOne)
{
    // The firmware steps after every host write through the window while the host restarts the
    // mailbox, as a DSP may between any two of its accesses.
    board.Mailbox().Post(MailboxResponse::Message(6));
    board.Mailbox().Post(MailboxResponse::Message(6));
    ASSERT_TRUE(Eventually([&] { return MailboxWord(board, kMailboxResponseValid) == 1; }));
    board.Mailbox().SetSteppedByTest(true);
    int steps = 0;
    board.SetHostWindowWriteHook([&](uint32_t, size_t) {
        ++steps;
        board.StepMailbox();
    });
    testing::RestartMailbox(board);
    board.SetHostWindowWriteHook(nullptr);
    EXPECT_GE(steps, 1);
    EXPECT_EQ(board.Mailbox().HostRestarts(), 1u);
    EXPECT_EQ(board.Mailbox().QueuedAnswers(), 0u);
    EXPECT_EQ(MailboxWord(board, kMailboxResponseValid), 0u) << "an answer of the old host is in the slot";
    board.StepMailbox();
    EXPECT_EQ(MailboxWord(board, kMailboxResponseValid), 0u);
}

TEST_F(BoardMailbox, AWarmResetDropsEverythingAndANewBootStartsTheCountersAgain)
{
    board.Mailbox().SetHoldAnswers(true);
    ASSERT_TRUE(PutCommand(board, CommandBytes(1, 3)));
    ASSERT_TRUE(Eventually([&] { return board.Mailbox().HeldCommands().size() == 1; }));
    board.Mailbox().Post(MailboxResponse::Message(6));
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    EXPECT_TRUE(board.Mailbox().HeldCommands().empty());
    EXPECT_EQ(board.Mailbox().QueuedAnswers(), 0u);
    EXPECT_EQ(board.Mailbox().CounterA(), 0u);

    board.Mailbox().SetHoldAnswers(false);
    testing::Release(board);
    ASSERT_TRUE(Eventually([&] { return board.IsBooted(); }));
    ASSERT_TRUE(PutCommand(board, CommandBytes(2, 3)));
    EXPECT_EQ(AwaitResponse(board)->Tag(), 2u);
    EXPECT_EQ(MailboxWord(board, kMailboxCounterA), 1u);
    EXPECT_EQ(board.Mailbox().CommandLog().size(), 2u); // the log spans the reset
}

TEST_F(BoardMailbox, AHungDspLeavesTheSlotBusyAndTheCountersFrozen)
{
    ASSERT_TRUE(PutCommand(board, CommandBytes(1, 3)));
    ASSERT_TRUE(AwaitResponse(board));
    Settle(); // the first answer's interrupt is in before the log is cleared
    board.Mailbox().SetStalled(true);
    board.ClearAccessLog();
    ASSERT_TRUE(PutCommand(board, CommandBytes(2, 3)));
    board.Mailbox().Post(MailboxResponse::Message(6));
    Clock::SleepFor(kQuiet);
    EXPECT_EQ(MailboxWord(board, kMailboxCommandBusy), 1u);
    EXPECT_EQ(MailboxWord(board, kMailboxCounterA), 1u);
    EXPECT_EQ(MailboxWord(board, kMailboxCounterB), 1u);
    EXPECT_EQ(MailboxWord(board, kMailboxResponseValid), 0u);
    EXPECT_EQ(Interrupts(), 0u);
    EXPECT_NE(board.Heartbeat(), 0u); // the heartbeat alone goes on

    // The message was queued before the command was taken, so it leaves first.
    board.Mailbox().SetStalled(false);
    EXPECT_EQ(AwaitResponse(board)->Id(), 6u);
    EXPECT_EQ(AwaitResponse(board)->Tag(), 2u);
}

TEST_F(BoardMailbox, AnAbsentDspReadsAllOnesAndTakesNothing)
{
    board.SetDspAbsent(true);
    EXPECT_EQ(MailboxWord(board, kMailboxFirstWord), 0xFFFFFFFFu);
    EXPECT_FALSE(PutCommand(board, CommandBytes(1, 3))); // busy reads all ones
    board.Window().Write32(kMailboxAddress + kMailboxCommandBusy, 1);
    board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
    Clock::SleepFor(kQuiet);
    EXPECT_TRUE(board.Mailbox().CommandLog().empty());
    EXPECT_EQ(board.Mailbox().CounterA(), 0u);
    EXPECT_EQ(Interrupts(), 0u);
}

TEST(BoardMailboxTesters, OnlyTheMainFirmwareServesTheMailbox)
{
    CaptureBoard board;
    testing::LoadThroughWindow(board, StandardImages::DspImage(Personality::MemoryTester));
    testing::Release(board);
    ASSERT_TRUE(Eventually([&] { return board.IsBooted(); }));
    ASSERT_TRUE(PutCommand(board, CommandBytes(1, 3)));
    Clock::SleepFor(kQuiet);
    EXPECT_EQ(MailboxWord(board, kMailboxCommandBusy), 1u);
    EXPECT_TRUE(board.Mailbox().CommandLog().empty());
}

} // namespace
} // namespace board
