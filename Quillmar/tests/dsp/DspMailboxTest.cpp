// The mailbox exchange against the simulated board's firmware: round trips, ordering and the
// command thread's single wake-up, the DSP's own messages, an absent DSP, answers out of order,
// dropped and late answers, unknown tags, the stop, tester images and the command-record pool.
#include "DspBoardFixture.h"

#include "board/MailboxMessages.h"
#include "messages/Talvexon.h"

#include <algorithm>
#include <random>
#include <thread>

namespace dsptest {
namespace {

constexpr ULONG kTestCommand = 0x30; // no typed command: the tests answer it themselves
constexpr LONGLONG kLongTimeout = -36'000'000'000LL; // an hour: a sender that must be woken by the stop

class DspMailboxTest : public DspBoardTest {
protected:
    void SetUp() override
    {
        DspBoardTest::SetUp();
        // The firmware answers a command it does not know with an error: the tests' own command is
        // answered with success unless a test says otherwise.
        if (board_)
            board_->Mailbox().SetCommandHandler(kTestCommand, [](const board::MailboxCommand& command) {
                return std::vector<board::MailboxResponse>{board::MailboxResponse::AnswerTo(command, 1)};
            });
    }

    std::string Parameters() const override
    {
        return DspBoardTest::Parameters() + "\"TraceWarnings\"=dword:00000001\n";
    }

    void StartFirmware()
    {
        const auto image = ImageBytes(board::Personality::MainFirmware);
        ASSERT_EQ(manager_->Start(image.data(), static_cast<ULONG>(image.size()), false), STATUS_SUCCESS);
        ASSERT_TRUE(manager_->HasMailboxThreads());
    }

    CommandHandler* NewCommand(ULONG parameter, ULONG id = kTestCommand)
    {
        CommandHandler* handler = device_->AllocateCommandHandler();
        EXPECT_NE(handler, nullptr);
        handler->SetCommandId(id);
        handler->SetParameter(parameter);
        return handler;
    }

    bool HeldCount(size_t n)
    {
        return tracetest::WaitUntil([&] { return board_->Mailbox().HeldCommands().size() == n; });
    }
};

TEST_F(DspMailboxTest, RoundTripCarriesResultAndWordsToTheWaitingSender)
{
    StartFirmware();
    board_->Mailbox().SetCommandFault(kTestCommand, board::MailboxService::CommandFault{false, 1, 0x1234, 0x5678});
    CommandHandler* handler = NewCommand(0xABCD);
    handler->SetPayloadWord(1, 0x11);
    handler->SetPayloadWord(8, 0x88);
    ASSERT_EQ(handler->SendCommandAndWait(), STATUS_SUCCESS);
    EXPECT_EQ(handler->GetDspResult(), 1u);
    EXPECT_EQ(handler->GetResultWordA(), 0x1234u);
    EXPECT_EQ(handler->GetResultWordB(), 0x5678u);
    EXPECT_EQ(handler->GetResponseId(), kTestCommand);

    const auto log = board_->Mailbox().CommandLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].tag, static_cast<uint64_t>(handler->GetHostTag())); // high half 0
    EXPECT_EQ(log[0].id, kTestCommand);
    EXPECT_EQ(log[0].parameter, 0xABCDu);
    EXPECT_EQ(log[0].payload[0], 0x11u);
    EXPECT_EQ(log[0].payload[7], 0x88u);
    // The flags were cleared by the host after taking the answer.
    EXPECT_TRUE(tracetest::WaitUntil([&] { return board_->ReadDspWord(board::kMailboxAddress + 36) == 0; }));
    device_->FreeCommandHandler(handler);
}

TEST_F(DspMailboxTest, TwoCommandsQueuedBackToBackWakeOnceAndArriveInOrder)
{
    // The threads do not run yet: the wake event shows every signal.
    PKEVENT wake = Peer::CommandWakeEvent(manager_);
    CommandHandler* first = NewCommand(1);
    CommandHandler* second = NewCommand(2);
    first->SetWaited(true);
    second->SetWaited(true);
    ASSERT_EQ(first->SendCommand(), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(wake), 1);
    KeClearEvent(wake);
    ASSERT_EQ(second->SendCommand(), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(wake), 0) << "the second command must not wake the thread again";
    KeSetEvent(wake, IO_NO_INCREMENT, FALSE);

    StartFirmware();
    EXPECT_EQ(KeWaitForSingleObject(first->CompletionEvent(), Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(second->CompletionEvent(), Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    const auto log = board_->Mailbox().CommandLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].parameter, 1u);
    EXPECT_EQ(log[1].parameter, 2u);
    EXPECT_EQ(first->GetDspResult(), 1u);
    EXPECT_EQ(second->GetDspResult(), 1u);
    device_->FreeCommandHandler(first);
    device_->FreeCommandHandler(second);
}

TEST_F(DspMailboxTest, DspMessagesArriveInNewPoolRecordsAndGoBack)
{
    StartFirmware();
    ASSERT_EQ(device_->GetFreeCommandHandlerCount(), Device::kInitialCommandHandlers);
    board::MailboxResponse message = board::MailboxResponse::Message(board::kDspMessageInputState);
    message.SetWord(board::kResponseWordA, 0xFEED);
    board_->Mailbox().Post(message);
    EXPECT_TRUE(tracetest::WaitUntil([] { return DebugLinesWith("New format detected = 0x0000feed") == 1; }));
    EXPECT_TRUE(tracetest::WaitUntil([&] { return device_->GetBusyCommandHandlerCount() == 0; }));
    EXPECT_EQ(device_->GetFreeCommandHandlerCount(), Device::kInitialCommandHandlers);

    // A message of another kind nobody waits for also goes back to the pool.
    board_->Mailbox().Post(board::MailboxResponse::Message(0x44));
    EXPECT_TRUE(tracetest::WaitUntil([] { return DebugLinesWith("An answer nobody waits for: response id 68") == 1; }));
    EXPECT_TRUE(tracetest::WaitUntil([&] { return device_->GetBusyCommandHandlerCount() == 0; }));
    EXPECT_EQ(device_->GetFreeCommandHandlerCount(), Device::kInitialCommandHandlers);
}

TEST_F(DspMailboxTest, AbsentDspMovesNothingRingsNoDoorbellAndStopFailsThePendingCommand)
{
    StartFirmware();
    board_->SetDspAbsent(true);
    board_->ClearAccessLog();
    CommandHandler* handler = NewCommand(7);
    handler->SetWaited(true);
    ASSERT_EQ(handler->SendCommand(), STATUS_SUCCESS);
    // The command thread's read of the mailbox shows it ran; give it time to do anything more.
    ASSERT_TRUE(tracetest::WaitUntil([&] { return CountOf(Log(), AccessKind::WindowRead, board::kMailboxAddress) > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto log = Log();
    EXPECT_EQ(CountOf(log, AccessKind::WindowWrite), 0u) << Describe(log);
    EXPECT_EQ(CountOf(log, AccessKind::RegisterWrite, board::kHostToDspControl, board::kHostToDspDoorbell), 0u)
        << Describe(log);
    EXPECT_EQ(KeReadStateEvent(handler->CompletionEvent()), 0);

    manager_->Stop();
    EXPECT_EQ(KeReadStateEvent(handler->CompletionEvent()), 1);
    EXPECT_EQ(handler->GetDspResult(), CommandHandler::kDspResultCancelled);
    device_->FreeCommandHandler(handler);
}

TEST_F(DspMailboxTest, FiftyAnswersInReverseOrderEachReachTheirOwnSender)
{
    StartFirmware();
    board_->Mailbox().SetHoldAnswers(true);
    constexpr int kSenders = 50;
    std::vector<CommandHandler*> handlers(kSenders);
    for (int i = 0; i < kSenders; ++i)
        handlers[i] = NewCommand(static_cast<ULONG>(i));
    std::vector<std::thread> senders;
    std::vector<NTSTATUS> statuses(kSenders, STATUS_PENDING);
    for (int i = 0; i < kSenders; ++i) {
        handlers[i]->SetTimeout(kLongTimeout);
        senders.emplace_back([&, i] { statuses[i] = handlers[i]->SendCommandAndWait(); });
    }
    ASSERT_TRUE(HeldCount(kSenders));
    const auto held = board_->Mailbox().HeldCommands();
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        ASSERT_TRUE(board_->Mailbox().AnswerHeld(it->tag, 1, it->parameter * 3 + 1, ~it->parameter));
    for (auto& sender : senders)
        sender.join();
    for (int i = 0; i < kSenders; ++i) {
        EXPECT_EQ(statuses[i], STATUS_SUCCESS);
        EXPECT_EQ(handlers[i]->GetResultWordA(), static_cast<ULONG>(i * 3 + 1)) << i;
        EXPECT_EQ(handlers[i]->GetResultWordB(), ~static_cast<ULONG>(i)) << i;
        device_->FreeCommandHandler(handlers[i]);
    }
    EXPECT_EQ(device_->GetBusyCommandHandlerCount(), 0u);
}

TEST_F(DspMailboxTest, DroppedAnswerTimesOutAndTheLateAnswerNeverReachesAReusedRecord)
{
    StartFirmware();
    board_->Mailbox().SetHoldAnswers(true);
    CommandHandler* handler = NewCommand(5);
    const ULONG tag = handler->GetHostTag();
    const int64_t before = platform::Clock::Now();
    EXPECT_EQ(handler->SendCommandAndWait(), STATUS_UNSUCCESSFUL);
    const int64_t waited = platform::Clock::Now() - before;
    EXPECT_GE(waited, 40'000'000);
    EXPECT_LT(waited, 80'000'000);
    handler->ReportNoAnswer("Test", "DSP FAILED to respond to the test request.");
    EXPECT_EQ(handler->GetDspResult(), CommandHandler::kDspResultNoAnswer);
    EXPECT_EQ(Events(MSG_ADAPTER_FIRMWARE_STOPPED_RESPONDING).size(), 1u);

    // Given back, but the DSP still holds its tag: it stays out of the pool.
    device_->FreeCommandHandler(handler);
    std::vector<CommandHandler*> others;
    for (ULONG i = 0; i < Device::kInitialCommandHandlers + 2; ++i) {
        others.push_back(device_->AllocateCommandHandler());
        EXPECT_NE(others.back(), handler);
    }
    for (CommandHandler* other : others)
        device_->FreeCommandHandler(other);
    const ULONG freeBefore = device_->GetFreeCommandHandlerCount();
    EXPECT_EQ(device_->GetBusyCommandHandlerCount(), 1u);

    ASSERT_TRUE(board_->Mailbox().AnswerHeld(tag, 1, 0xBADBAD));
    EXPECT_TRUE(tracetest::WaitUntil([] { return DebugLinesWith("Late answer") == 1; }));
    EXPECT_TRUE(tracetest::WaitUntil([&] { return device_->GetFreeCommandHandlerCount() == freeBefore + 1; }));
    EXPECT_EQ(handler->GetDspResult(), CommandHandler::kDspResultNoAnswer);
    EXPECT_NE(handler->GetResultWordA(), 0xBADBADu);

    // The record is usable again and its next answer is its own.
    board_->Mailbox().SetHoldAnswers(false);
    board_->Mailbox().SetCommandFault(kTestCommand, board::MailboxService::CommandFault{false, 1, 0x600D, 0});
    CommandHandler* again = NewCommand(6);
    ASSERT_EQ(again->SendCommandAndWait(), STATUS_SUCCESS);
    EXPECT_EQ(again->GetResultWordA(), 0x600Du);
}

TEST_F(DspMailboxTest, AnAnswerWithAnUnknownTagIsDropped)
{
    StartFirmware();
    board::MailboxCommand stranger;
    stranger.id = kTestCommand;
    board::MailboxResponse answer = board::MailboxResponse::AnswerTo(stranger, 1, 0x77);
    answer.SetTag(0x00000001DEADBEEFull); // the low half of no record, and a high half ours never has
    board_->Mailbox().Post(answer);
    EXPECT_TRUE(tracetest::WaitUntil([] { return DebugLinesWith("unknown tag 0x00000001deadbeef dropped") == 1; }));
    EXPECT_TRUE(tracetest::WaitUntil([&] { return board_->ReadDspWord(board::kMailboxAddress + 36) == 0; }));
    EXPECT_EQ(device_->GetBusyCommandHandlerCount(), 0u);
    CommandHandler* handler = NewCommand(1);
    EXPECT_EQ(handler->SendCommandAndWait(), STATUS_SUCCESS);
    EXPECT_EQ(handler->GetDspResult(), 1u);
}

TEST_F(DspMailboxTest, StopWakesSendersPendingInTheMailboxAndAnswered)
{
    StartFirmware();
    board_->Mailbox().SetStalled(true); // takes nothing: the first command stays in the slot
    CommandHandler* inMailbox = NewCommand(1);
    CommandHandler* pending = NewCommand(2);
    inMailbox->SetTimeout(kLongTimeout);
    pending->SetTimeout(kLongTimeout);
    NTSTATUS inMailboxStatus = STATUS_PENDING;
    NTSTATUS pendingStatus = STATUS_PENDING;
    std::thread first([&] { inMailboxStatus = inMailbox->SendCommandAndWait(); });
    ASSERT_TRUE(tracetest::WaitUntil([&] { return board_->ReadDspWord(board::kMailboxAddress + 40) == 1; }));
    const ULONG queued = Peer::PendingCount(manager_);
    std::thread second([&] { pendingStatus = pending->SendCommandAndWait(); });
    // The stop must find the second record queued, not refuse it as sent after the stop.
    EXPECT_TRUE(tracetest::WaitUntil([&] { return Peer::PendingCount(manager_) == queued + 1; }));

    manager_->Stop();
    first.join();
    second.join();
    EXPECT_EQ(inMailboxStatus, STATUS_SUCCESS);
    EXPECT_EQ(pendingStatus, STATUS_SUCCESS);
    EXPECT_EQ(inMailbox->GetDspResult(), CommandHandler::kDspResultCancelled);
    EXPECT_EQ(pending->GetDspResult(), CommandHandler::kDspResultCancelled);
    EXPECT_FALSE(manager_->HasMailboxThreads());

    // Queued after the stop: refused at once.
    CommandHandler* late = NewCommand(3);
    late->SetTimeout(kLongTimeout);
    EXPECT_EQ(late->SendCommandAndWait(), STATUS_CANCELLED);
    EXPECT_EQ(late->GetDspResult(), CommandHandler::kDspResultCancelled);
}

TEST_F(DspMailboxTest, StopCompletesAnsweredRecordsAndReturnsUnownedOnes)
{
    // No threads: the records sit on the response list as the command thread would leave them.
    CommandHandler* waited = NewCommand(1);
    waited->SetWaited(true);
    CommandHandler* unowned = NewCommand(2);
    Peer::AppendResponse(manager_, waited);
    Peer::AppendResponse(manager_, unowned);
    manager_->Stop();
    EXPECT_EQ(KeReadStateEvent(waited->CompletionEvent()), 1);
    EXPECT_EQ(waited->GetDspResult(), CommandHandler::kDspResultCancelled);
    EXPECT_EQ(device_->GetBusyCommandHandlerCount(), 1u); // only the waited one, its sender's
    device_->FreeCommandHandler(waited);
}

TEST_F(DspMailboxTest, TesterImageSuspendsTheMailboxUntilTheFirmwareReturns)
{
    StartFirmware();
    const auto tester = ImageBytes(board::Personality::MemoryTester);
    ASSERT_EQ(manager_->Start(tester.data(), static_cast<ULONG>(tester.size()), true), STATUS_SUCCESS);
    EXPECT_TRUE(manager_->IsMailboxSuspended());
    board_->ClearAccessLog();
    CommandHandler* handler = NewCommand(1);
    EXPECT_EQ(handler->SendCommandAndWait(), STATUS_CANCELLED);
    EXPECT_EQ(handler->GetDspResult(), CommandHandler::kDspResultCancelled);
    // An interrupt wakes the command thread; it must leave the tester's memory alone.
    KeSetEvent(Peer::CommandWakeEvent(manager_), IO_NO_INCREMENT, FALSE);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(CountOf(Log(), AccessKind::WindowWrite), 0u) << Describe(Log());

    StartFirmware();
    EXPECT_FALSE(manager_->IsMailboxSuspended());
    CommandHandler* again = NewCommand(2);
    EXPECT_EQ(again->SendCommandAndWait(), STATUS_SUCCESS);
    EXPECT_EQ(again->GetDspResult(), 1u);
}

TEST_F(DspMailboxTest, AWarmResetHoldsTheDspNoRoundRingsItAwakeAndCommandsAreRefusedUntilTheStart)
{
    StartFirmware();
    // The firmware takes the command and keeps its answer: the reset finds it in the mailbox.
    board_->Mailbox().SetHoldAnswers(true);
    // The command thread is stopped inside its round, after it set the command-busy flag and
    // before its doorbell, while a warm reset begins on another thread: the doorbell must not
    // come after the reset, which would let the DSP run the image still in its memory.
    std::atomic<bool> inRound{false};
    std::atomic<bool> once{false};
    board_->SetHostWindowWriteHook([&](uint32_t address, size_t) {
        if (address != board::kMailboxAddress + board::kMailboxCommandBusy || once.exchange(true))
            return;
        inRound = true;
        // Long enough for a reset that does not wait for the round to reach the board.
        tracetest::WaitUntil([&] { return CountOf(Log(), AccessKind::WarmReset) > 0; }, std::chrono::seconds(1));
    });
    board_->ClearAccessLog();
    CommandHandler* sent = NewCommand(1);
    sent->SetWaited(true);
    ASSERT_EQ(sent->SendCommand(), STATUS_SUCCESS);
    ASSERT_TRUE(tracetest::WaitUntil([&] { return inRound.load(); }));
    NTSTATUS reset = STATUS_UNSUCCESSFUL;
    std::thread resetter([&] { reset = manager_->WarmReset(); });
    resetter.join();
    board_->SetHostWindowWriteHook(nullptr);
    ASSERT_EQ(reset, STATUS_SUCCESS);
    EXPECT_TRUE(manager_->IsHeldInReset());

    const auto log = Log();
    const auto resetAt = std::find_if(log.begin(), log.end(), [](const auto& r) { return r.kind == AccessKind::WarmReset; });
    ASSERT_NE(resetAt, log.end());
    EXPECT_EQ(std::count_if(resetAt, log.end(), [](const auto& r) { return r.kind == AccessKind::Doorbell; }), 0)
        << Describe(log);
    EXPECT_EQ(CountOf(log, AccessKind::Boot), 0u) << Describe(log);
    EXPECT_FALSE(board_->IsBooted());
    // The command in the mailbox was lost to the reset: its sender is told so.
    EXPECT_EQ(KeReadStateEvent(sent->CompletionEvent()), 1);
    EXPECT_EQ(sent->GetDspResult(), CommandHandler::kDspResultCancelled);

    // While the DSP is held, a command is refused at once; a wake-up of the command thread (an
    // interrupt) touches nothing and rings nothing.
    board_->ClearAccessLog();
    CommandHandler* refused = NewCommand(2);
    EXPECT_EQ(refused->SendCommandAndWait(), STATUS_CANCELLED);
    EXPECT_EQ(refused->GetDspResult(), CommandHandler::kDspResultCancelled);
    KeSetEvent(Peer::CommandWakeEvent(manager_), IO_NO_INCREMENT, FALSE);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(CountOf(Log(), AccessKind::WindowWrite), 0u) << Describe(Log());
    EXPECT_EQ(CountOf(Log(), AccessKind::Doorbell), 0u) << Describe(Log());
    EXPECT_FALSE(board_->IsBooted());

    // The start releases it, and the mailbox is served again.
    board_->Mailbox().SetHoldAnswers(false);
    StartFirmware();
    EXPECT_FALSE(manager_->IsHeldInReset());
    CommandHandler* again = NewCommand(3);
    EXPECT_EQ(again->SendCommandAndWait(), STATUS_SUCCESS);
    EXPECT_EQ(again->GetDspResult(), 1u);
    for (CommandHandler* handler : {sent, refused, again})
        device_->FreeCommandHandler(handler);
}

class DspMailboxTakeOverTest : public DspMailboxTest {
protected:
    std::string Parameters() const override
    {
        return "\"HardwareInstalled\"=dword:00000001\n\"ResetDSPOnStartup\"=dword:00000000\n"
               "\"TraceHighs\"=dword:00000001\n\"TraceErrors\"=dword:00000001\n";
    }
};

TEST_F(DspMailboxTakeOverTest, TakingOverARunningDspStartsThreadsThatInvalidateEnds)
{
    BootBehindTheDriversBack(board::Personality::MainFirmware);
    StartFirmware();
    CommandHandler* handler = NewCommand(9);
    EXPECT_EQ(handler->SendCommandAndWait(), STATUS_SUCCESS);
    EXPECT_EQ(handler->GetDspResult(), 1u);
    manager_->Invalidate();
    EXPECT_FALSE(manager_->HasMailboxThreads());
    EXPECT_TRUE(manager_->IsInvalidated());
}

TEST_F(DspMailboxTest, StressManySendersWithDelayedAndReorderedAnswers)
{
    StartFirmware();
    auto& mailbox = board_->Mailbox();
    mailbox.SetHoldAnswers(true);
    mailbox.SetAnswerDelay(2'000); // 0.2 ms of the clock
    std::atomic<bool> done{false};
    std::thread answerer([&] {
        std::mt19937 random(1234);
        while (!done.load()) {
            auto held = mailbox.HeldCommands();
            std::shuffle(held.begin(), held.end(), random);
            for (const auto& command : held)
                mailbox.AnswerHeld(command.tag, 1, command.parameter ^ 0x5A5A5A5A, command.parameter);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::atomic<int> wrong{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                CommandHandler* handler = device_->AllocateCommandHandler();
                if (!handler) {
                    ++wrong;
                    continue;
                }
                const ULONG parameter = static_cast<ULONG>(t * 100000 + i);
                handler->SetCommandId(kTestCommand);
                handler->SetParameter(parameter);
                handler->SetTimeout(kLongTimeout);
                if (handler->SendCommandAndWait() != STATUS_SUCCESS || handler->GetDspResult() != 1 ||
                    handler->GetResultWordA() != (parameter ^ 0x5A5A5A5A) || handler->GetResultWordB() != parameter)
                    ++wrong;
                device_->FreeCommandHandler(handler);
            }
        });
    }
    for (auto& sender : senders)
        sender.join();
    done = true;
    answerer.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(mailbox.CommandLog().size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(device_->GetBusyCommandHandlerCount(), 0u);
}

// ---- The pool ---------------------------------------------------------------------------------

TEST_F(DspMailboxTest, PoolGrowsBeyondTenReadiesRecordsAndIgnoresNullAndDoubleFrees)
{
    std::vector<CommandHandler*> handlers;
    for (ULONG i = 0; i < Device::kInitialCommandHandlers + 3; ++i) {
        CommandHandler* handler = device_->AllocateCommandHandler();
        ASSERT_NE(handler, nullptr);
        EXPECT_NE(handler->GetHostTag(), 0u);
        for (CommandHandler* other : handlers)
            EXPECT_NE(other->GetHostTag(), handler->GetHostTag());
        handlers.push_back(handler);
    }
    EXPECT_EQ(device_->GetFreeCommandHandlerCount(), 0u);
    EXPECT_EQ(device_->GetBusyCommandHandlerCount(), Device::kInitialCommandHandlers + 3);

    CommandHandler* reused = handlers[0];
    reused->SetWaited(true);
    reused->SetTimeout(-1);
    KeSetEvent(reused->CompletionEvent(), IO_NO_INCREMENT, FALSE);
    const ULONG tag = reused->GetHostTag();
    device_->FreeCommandHandler(reused);
    device_->FreeCommandHandler(reused); // ignored
    device_->FreeCommandHandler(nullptr); // ignored
    EXPECT_EQ(device_->GetFreeCommandHandlerCount(), 1u);
    CommandHandler* again = device_->AllocateCommandHandler();
    ASSERT_EQ(again, reused);
    EXPECT_FALSE(again->IsWaited());
    EXPECT_EQ(again->GetTimeout(), CommandHandler::kDefaultTimeout);
    EXPECT_EQ(KeReadStateEvent(again->CompletionEvent()), 0);
    EXPECT_EQ(again->GetHostTag(), tag);
    for (CommandHandler* handler : handlers)
        device_->FreeCommandHandler(handler);
    EXPECT_EQ(device_->GetFreeCommandHandlerCount(), Device::kInitialCommandHandlers + 3);
}

class DspMailboxNoHardwareTest : public DspMailboxTest {
protected:
    std::string Parameters() const override
    {
        return "\"HardwareInstalled\"=dword:00000000\n\"TraceHighs\"=dword:00000001\n";
    }
};

TEST_F(DspMailboxNoHardwareTest, SendCommandAndWaitSucceedsWithoutSending)
{
    CommandHandler* handler = NewCommand(1);
    EXPECT_EQ(handler->SendCommandAndWait(), STATUS_SUCCESS);
    EXPECT_TRUE(handler->IsWaited());
    EXPECT_EQ(KeReadStateEvent(Peer::CommandWakeEvent(manager_)), 0);
    EXPECT_TRUE(board_->Mailbox().CommandLog().empty());
    device_->FreeCommandHandler(handler);
}

// A firmware left running by an earlier load, taken over without a reset.
class MailboxTakeOverTest : public DspMailboxTest {
protected:
    std::string Parameters() const override
    {
        return DspMailboxTest::Parameters() + "\"ResetDSPOnStartup\"=dword:00000000\n";
    }

    static board::MailboxResponse InputState(uint32_t wordA)
    {
        board::MailboxResponse message = board::MailboxResponse::Message(board::kDspMessageInputState);
        message.SetWord(board::kResponseWordA, wordA);
        return message;
    }
};

TEST_F(MailboxTakeOverTest, NoAnswerTheEarlierLoadLeftIsTakenWhereverTheFirmwareSteps)
{
    BootBehindTheDriversBack(board::Personality::MainFirmware);
    // The earlier load left an answer in the slot it never took and another in the firmware's FIFO.
    board_->Mailbox().Post(InputState(0xDEAD));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return board_->Mailbox().QueuedAnswers() == 0; }));
    board_->Mailbox().Post(InputState(0xDEA2));
    // The firmware steps after each of the driver's writes into the mailbox, and only then.
    board_->Mailbox().SetSteppedByTest(true);
    size_t steps = 0;
    board_->SetHostWindowWriteHook([&](uint32_t address, size_t bytes) {
        if (address < board::kMailboxAddress + board::kMailboxSize &&
            address + bytes > board::kMailboxAddress) {
            ++steps;
            board_->StepMailbox();
        }
    });

    // The start samples the heartbeat twice, 10 ms apart: the board ticks on each read, so it moves
    // in between however late the threads run.
    board_->SetTickOnHeartbeatRead(true);
    const auto image = ImageBytes(board::Personality::MainFirmware);
    ASSERT_EQ(manager_->Start(image.data(), static_cast<ULONG>(image.size()), false), STATUS_SUCCESS);
    board_->SetTickOnHeartbeatRead(false);
    ASSERT_EQ(CountOf(Log(), AccessKind::WarmReset), 0u) << "taken over, not loaded";
    board_->SetHostWindowWriteHook(nullptr);
    EXPECT_GE(steps, 1u);
    board_->Mailbox().SetSteppedByTest(false);

    // A message of the new exchange gets through; the old ones never did.
    board_->Mailbox().Post(InputState(0xBEEF));
    EXPECT_TRUE(
        tracetest::WaitUntil([] { return DebugLinesWith("New format detected = 0x0000beef") == 1; }));
    EXPECT_EQ(DebugLinesWith("New format detected = 0x0000dea"), 0u);
    EXPECT_EQ(board_->Mailbox().HostRestarts(), 1u);
}

TEST_F(MailboxTakeOverTest, TheMailboxIsLeftAloneUntilTheFirmwareAcknowledgesTheRestart)
{
    BootBehindTheDriversBack(board::Personality::MainFirmware);
    board_->Mailbox().Post(InputState(0xDEAD));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return board_->Mailbox().QueuedAnswers() == 0; }));
    board_->Mailbox().SetSteppedByTest(true);
    board_->SetTickOnHeartbeatRead(true);
    const auto image = ImageBytes(board::Personality::MainFirmware);
    ASSERT_EQ(manager_->Start(image.data(), static_cast<ULONG>(image.size()), false), STATUS_SUCCESS);
    board_->SetTickOnHeartbeatRead(false);
    ASSERT_TRUE(manager_->HasMailboxThreads());
    ASSERT_EQ(CountOf(Log(), AccessKind::WarmReset), 0u) << "taken over, not loaded";

    // A command queued now waits: the slots are still the earlier load's.
    board_->ClearAccessLog();
    CommandHandler* handler = NewCommand(5);
    handler->SetWaited(true);
    ASSERT_EQ(handler->SendCommand(), STATUS_SUCCESS);
    // The command thread has looked at the mailbox and left it: a round ends with the doorbell, or
    // with a second look when it polls.
    ASSERT_TRUE(tracetest::WaitUntil([&] {
        const auto log = Log();
        return CountOf(log, AccessKind::Doorbell) >= 1 ||
               CountOf(log, AccessKind::WindowRead, board::kMailboxAddress) >= 2;
    }));
    EXPECT_EQ(board_->ReadDspWord(board::kMailboxAddress + board::kMailboxResponseValid), 1u);
    EXPECT_EQ(board_->ReadDspWord(board::kMailboxAddress + board::kMailboxCommandBusy), 0u);
    EXPECT_TRUE(board_->Mailbox().CommandLog().empty());

    // The firmware's pass restarts the mailbox; then the command goes out and is answered.
    board_->StepMailbox();
    EXPECT_EQ(board_->ReadDspWord(board::kMailboxAddress + board::kMailboxRestart), 0u);
    board_->Mailbox().SetSteppedByTest(false);
    EXPECT_EQ(KeWaitForSingleObject(handler->CompletionEvent(), Executive, KernelMode, FALSE, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(handler->GetDspResult(), 1u);
    EXPECT_EQ(board_->Mailbox().CommandLog().size(), 1u);
    EXPECT_EQ(DebugLinesWith("New format detected = 0x0000dead"), 0u);
    device_->FreeCommandHandler(handler);
}

} // namespace
} // namespace dsptest
