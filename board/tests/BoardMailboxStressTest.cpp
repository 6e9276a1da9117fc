// Many senders, answers held, delayed and given back in random order, a host thread moving both
// slots as the driver's command thread does, and a reader hammering the response slot: every
// sender gets its own answer, and whenever the flag is set the slot holds one whole answer.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "MailboxTestHost.h"
#include "platform/Clock.h"

namespace board {
namespace {

using platform::Clock;

constexpr int kSenders = 4;
constexpr int kCommandsPerSender = 500;
constexpr uint32_t kMarkOffset = 108; // the answer's last word repeats the tag

// The words every answer of this test carries, so a slot can be checked on its own.
MailboxResponse AnswerFor(const MailboxCommand& command)
{
    const auto low = static_cast<uint32_t>(command.tag);
    MailboxResponse response = MailboxResponse::AnswerTo(command, kDspResultSuccess, low * 3, ~low);
    response.SetWord(kMarkOffset, low);
    return response;
}

bool IsWhole(const MailboxResponse& r)
{
    const auto low = static_cast<uint32_t>(r.Tag());
    return low != 0 && r.Id() == low % 16 && r.Result() == kDspResultSuccess && r.WordA() == low * 3 &&
           r.WordB() == ~low && r.Word(kMarkOffset) == low;
}

TEST(BoardMailboxStress, ThousandsOfCommandsFromSeveralThreadsEachFindTheirOwnAnswer)
{
    CaptureBoard board;
    testing::BootMainFirmware(board);
    ASSERT_TRUE(board.IsBooted());
    board.SetAccessLogEnabled(false);
    board.Mailbox().SetHoldAnswers(true);

    std::mutex lock;
    std::condition_variable answered;
    std::deque<std::array<uint8_t, 56>> pending;
    std::map<uint64_t, MailboxResponse> answers;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<int> hammered{0};

    std::thread host([&] {
        while (!stop) {
            bool moved = false;
            if (board.Interrupt()->IsAsserted())
                board.Registers().Write32(kHostStatus, 3);
            if (auto response = testing::TakeResponse(board, false)) {
                if (!IsWhole(*response))
                    ++torn;
                std::lock_guard guard(lock);
                answers[response->Tag()] = *response;
                answered.notify_all();
                moved = true;
            }
            std::unique_lock guard(lock);
            if (!pending.empty() && testing::PutCommand(board, pending.front(), false)) {
                pending.pop_front();
                moved = true;
            }
            guard.unlock();
            if (moved)
                board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
            else
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });

    std::thread answerer([&] {
        std::mt19937 random(12345);
        while (!stop) {
            const auto held = board.Mailbox().HeldCommands();
            if (held.empty()) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            // Now and then a delay on the clock, so answers also wait for the fallback poll.
            board.Mailbox().SetAnswerDelay(random() % 8 == 0 ? 3 * Clock::kUnitsPerMillisecond / 10 : 0);
            const MailboxCommand& pick = held[random() % held.size()];
            EXPECT_TRUE(board.Mailbox().AnswerHeld(pick.tag, AnswerFor(pick)));
        }
    });

    std::thread hammer([&] {
        while (!stop) {
            if (testing::MailboxWord(board, kMailboxResponseValid) != 1)
                continue;
            MailboxResponse seen;
            board.Window().ReadBuffer(kMailboxAddress + kMailboxResponseSlot, platform::AccessWidth::Dword,
                                      seen.bytes.data(), seen.bytes.size() / 4);
            // The host may have taken it meanwhile (id cleared); else it must be whole.
            if (seen.Id() != 0 && !IsWhole(seen))
                ++torn;
            ++hammered;
        }
    });

    std::vector<std::thread> senders;
    std::atomic<int> delivered{0};
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            for (int i = 0; i < kCommandsPerSender; ++i) {
                const uint64_t tag = static_cast<uint64_t>(s + 1) << 16 | static_cast<uint64_t>(i + 1);
                {
                    std::lock_guard guard(lock);
                    pending.push_back(testing::CommandBytes(tag, static_cast<uint32_t>(tag % 16), uint32_t(i)));
                }
                std::unique_lock guard(lock);
                const bool got = answered.wait_for(guard, std::chrono::seconds(30),
                                                   [&] { return answers.count(tag) != 0; });
                EXPECT_TRUE(got) << "no answer for tag " << tag;
                if (!got)
                    return;
                EXPECT_EQ(answers[tag].Tag(), tag);
                EXPECT_EQ(answers[tag].WordA(), static_cast<uint32_t>(tag) * 3);
                answers.erase(tag);
                ++delivered;
            }
        });
    }
    for (auto& sender : senders)
        sender.join();
    stop = true;
    host.join();
    answerer.join();
    hammer.join();

    EXPECT_EQ(delivered, kSenders * kCommandsPerSender);
    EXPECT_EQ(torn, 0);
    EXPECT_GT(hammered, 0);
    EXPECT_EQ(board.Mailbox().CommandLog().size(), size_t{kSenders * kCommandsPerSender});
    EXPECT_EQ(board.Mailbox().CounterA(), uint32_t{kSenders * kCommandsPerSender});
    EXPECT_EQ(board.Mailbox().CounterB(), uint32_t{kSenders * kCommandsPerSender});
    EXPECT_TRUE(answers.empty());
}

} // namespace
} // namespace board
