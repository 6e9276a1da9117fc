// Boot on the release doorbell from the generated images, the mailbox and heartbeat the firmware
// keeps, the cases that must stay silent, warm reset, and a doorbell while the firmware runs; the
// same with the boot on the releasing thread.
#include <gtest/gtest.h>

#include <algorithm>

#include "BoardTestSupport.h"
#include "board/MailboxLayout.h"
#include "board/StandardImages.h"
#include "platform/Clock.h"

namespace board {
namespace {

using platform::Clock;
using testing::Eventually;
using testing::RecordsOf;

constexpr int64_t kQuiet = 30 * Clock::kUnitsPerMillisecond; // many boot delays and heartbeats

class BoardBoot : public ::testing::TestWithParam<Personality> {};

TEST_P(BoardBoot, GeneratedImageBootsItsPersonality)
{
    CaptureBoard board;
    const FirmwareImage image = StandardImages::DspImage(GetParam());
    testing::LoadThroughWindow(board, image);
    board.ClearAccessLog();
    testing::Release(board);
    ASSERT_TRUE(Eventually([&] { return board.IsBooted(); }));
    EXPECT_EQ(board.CurrentPersonality(), GetParam());
    ASSERT_TRUE(Eventually([&] { return board.Interrupt()->IsAsserted(); }));
    EXPECT_EQ(board.Registers().Read32(kHostStatus) & kHostStatusInterrupt, kHostStatusInterrupt);

    // The mailbox as the host reads it through the window at page 0.
    auto word = [&](uint32_t field) { return board.Window().Read32(kMailboxAddress + field); };
    EXPECT_EQ(word(kMailboxFirstWord), StandardImages::kFirmwareVersion);
    EXPECT_EQ(word(kMailboxCounterA), 0u);
    EXPECT_EQ(word(kMailboxCounterB), 0u);
    EXPECT_EQ(word(kMailboxResponseValid), 0u);
    EXPECT_EQ(word(kMailboxCommandBusy), 0u);

    if (GetParam() == Personality::MainFirmware) {
        // The heartbeat keeps moving: several ticks, each seen through the window.
        for (int i = 0; i < 3; ++i) {
            const uint32_t beat = word(kMailboxHeartbeat);
            EXPECT_TRUE(Eventually([&] { return word(kMailboxHeartbeat) != beat; }));
        }
    } else {
        // A tester's word there is the address it tests: untouched until the host starts it.
        Clock::SleepFor(5 * Clock::kUnitsPerMillisecond);
        EXPECT_EQ(word(kMailboxHeartbeat), 0u);
    }

    const auto log = board.AccessLog();
    const auto boots = RecordsOf(log, AccessKind::Boot);
    ASSERT_EQ(boots.size(), 1u);
    EXPECT_EQ(boots[0].value, static_cast<uint32_t>(GetParam()));
    const auto doorbells = RecordsOf(log, AccessKind::Doorbell);
    ASSERT_EQ(doorbells.size(), 1u);
    EXPECT_EQ(doorbells[0].value, 1u);
    // The boot comes before its interrupt.
    auto boot = std::find_if(log.begin(), log.end(), [](auto& r) { return r.kind == AccessKind::Boot; });
    auto raised = std::find_if(log.begin(), log.end(), [](auto& r) { return r.kind == AccessKind::InterruptRaised; });
    EXPECT_LT(boot - log.begin(), raised - log.begin());
}

INSTANTIATE_TEST_SUITE_P(EachImage, BoardBoot,
                         ::testing::Values(Personality::MainFirmware, Personality::MemoryTester,
                                           Personality::PciTester));

// With the boot on the releasing thread: the release write returns with the boot done, exactly
// as the board's thread would have done it, and that thread does not boot it again.
TEST_P(BoardBoot, BootOnReleaseIsDoneWhenTheDoorbellWriteReturns)
{
    CaptureBoard board;
    board.SetBootOnRelease(true);
    testing::LoadThroughWindow(board, StandardImages::DspImage(GetParam()));
    board.ClearAccessLog();
    testing::Release(board);
    // No waiting from here on until the heartbeat.
    EXPECT_TRUE(board.IsBooted());
    EXPECT_EQ(board.CurrentPersonality(), GetParam());
    EXPECT_TRUE(board.Interrupt()->IsAsserted());
    EXPECT_EQ(board.RegisterValue(kHostStatus) & kHostStatusInterrupt, kHostStatusInterrupt);
    EXPECT_EQ(board.ReadDspWord(kMailboxAddress + kMailboxFirstWord), StandardImages::kFirmwareVersion);
    EXPECT_EQ(board.ReadDspWord(kMailboxAddress + kMailboxCommandBusy), 0u);

    // The release's write, its doorbell, the boot and the boot interrupt, in that order and last.
    const auto log = board.AccessLog();
    ASSERT_GE(log.size(), 4u);
    const std::vector<AccessRecord> tail(log.end() - 4, log.end());
    const std::vector<AccessRecord> expected = {
        {AccessKind::RegisterWrite, kHostToDspControl, 4, kHostToDspDoorbell, 0},
        {AccessKind::Doorbell, 0, 0, 1, 0},
        {AccessKind::Boot, 0, 0, static_cast<uint32_t>(GetParam()), 0},
        {AccessKind::InterruptRaised, 0, 0, 0, 0}};
    EXPECT_EQ(tail, expected);

    if (GetParam() == Personality::MainFirmware) {
        // The board's thread keeps the heartbeat from the boot on.
        const uint32_t beat = board.Heartbeat();
        EXPECT_TRUE(Eventually([&] { return board.Heartbeat() > beat + 2; }));
    } else {
        Clock::SleepFor(kQuiet);
    }
    EXPECT_EQ(RecordsOf(board.AccessLog(), AccessKind::Boot).size(), 1u);
    EXPECT_EQ(board.CurrentPersonality(), GetParam());

    // After a warm reset the next release boots again, on the spot.
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    EXPECT_FALSE(board.IsBooted());
    testing::Release(board);
    EXPECT_TRUE(board.IsBooted());
    EXPECT_TRUE(board.Interrupt()->IsAsserted());
    EXPECT_EQ(RecordsOf(board.AccessLog(), AccessKind::Boot).size(), 2u);
}

TEST(BoardBootSilence, ABadHeaderTheFaultOrAClearRunBitKeepsTheDspSilent)
{
    // The same rules whether the board's thread or the releasing thread would boot.
    for (const bool onRelease : {false, true}) {
        SCOPED_TRACE(onRelease ? "boot on release" : "boot on the board's thread");
        auto stays = [onRelease](auto prepare) {
            CaptureBoard board;
            board.SetBootOnRelease(onRelease);
            testing::LoadThroughWindow(board, StandardImages::DspImage(Personality::MainFirmware));
            prepare(board);
            EXPECT_FALSE(board.IsBooted());
            for (const AccessRecord& doorbell : RecordsOf(board.AccessLog(), AccessKind::Doorbell))
                EXPECT_EQ(doorbell.value, 0u); // no release
            Clock::SleepFor(kQuiet);
            EXPECT_FALSE(board.IsBooted());
            EXPECT_FALSE(board.Interrupt()->IsAsserted());
            EXPECT_EQ(board.Heartbeat(), 0u);
            EXPECT_TRUE(RecordsOf(board.AccessLog(), AccessKind::Boot).empty());
        };
        stays([](CaptureBoard& b) {
            b.Window().Write8(12, b.Window().Read8(12) ^ 1); // check word
            testing::Release(b);
        });
        stays([](CaptureBoard& b) {
            b.Window().Write32(4, 4); // a personality we do not have, with a matching check word
            b.Window().Write32(12, ImageHeader::CheckWord(4, StandardImages::kFirmwareVersion));
            testing::Release(b);
        });
        stays([](CaptureBoard& b) {
            b.SetNoBootInterrupt(true);
            testing::Release(b);
        });
        stays([](CaptureBoard& b) { b.Registers().Write32(kHostToDspControl, kHostToDspDoorbell); });
        stays([](CaptureBoard& b) {
            std::vector<uint8_t> zeros(0x40000, 0);
            b.Window().WriteBuffer(0, platform::AccessWidth::Dword, zeros.data(), zeros.size() / 4);
            testing::Release(b);
        });
    }
}

TEST(BoardWarmReset, StopsTheFirmwareAndTheHeartbeatAndAllowsANewBoot)
{
    CaptureBoard board;
    testing::LoadThroughWindow(board, StandardImages::DspImage(Personality::MainFirmware));
    testing::Release(board);
    ASSERT_TRUE(Eventually([&] { return board.Heartbeat() > 2; }));
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    EXPECT_FALSE(board.IsBooted());
    EXPECT_FALSE(board.Interrupt()->IsAsserted());
    EXPECT_EQ(board.Registers().Read32(kHostStatus), 0u);
    const uint32_t frozen = board.Heartbeat();
    Clock::SleepFor(kQuiet);
    EXPECT_EQ(board.Heartbeat(), frozen);
    // Memory persisted, so releasing again boots again.
    testing::Release(board);
    ASSERT_TRUE(Eventually([&] { return board.IsBooted(); }));
    EXPECT_TRUE(Eventually([&] { return board.Heartbeat() < frozen || board.Heartbeat() > frozen + 1; }));
    EXPECT_EQ(RecordsOf(board.AccessLog(), AccessKind::Boot).size(), 2u);
}

TEST(BoardWarmReset, AResetRightAfterTheReleaseCancelsTheBoot)
{
    CaptureBoard board;
    testing::LoadThroughWindow(board, StandardImages::DspImage(Personality::MainFirmware));
    testing::Release(board);
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    Clock::SleepFor(kQuiet);
    EXPECT_FALSE(board.IsBooted());
    EXPECT_FALSE(board.Interrupt()->IsAsserted());
}

class BoardMailboxDoorbell : public ::testing::TestWithParam<bool> {};

TEST_P(BoardMailboxDoorbell, ADoorbellWhileRunningIsCountedNotARestart)
{
    CaptureBoard board;
    board.SetBootOnRelease(GetParam());
    testing::LoadThroughWindow(board, StandardImages::DspImage(Personality::MainFirmware));
    testing::Release(board);
    ASSERT_TRUE(Eventually([&] { return board.IsBooted(); }));
    board.Registers().Write32(kHostStatus, 3);
    board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
    board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
    EXPECT_EQ(board.MailboxDoorbells(), 2u);
    Clock::SleepFor(kQuiet);
    EXPECT_EQ(RecordsOf(board.AccessLog(), AccessKind::Boot).size(), 1u);
    EXPECT_FALSE(board.Interrupt()->IsAsserted());
    const auto doorbells = RecordsOf(board.AccessLog(), AccessKind::Doorbell);
    ASSERT_EQ(doorbells.size(), 3u);
    EXPECT_EQ(doorbells[1].value, 0u);
    EXPECT_EQ(doorbells[2].value, 0u);
}

INSTANTIATE_TEST_SUITE_P(BootOnTheBoardsThreadOrOnRelease, BoardMailboxDoorbell, ::testing::Bool());

TEST(BoardPower, UnplugHaltsTheDspAndDropsTheLine)
{
    CaptureBoard board;
    testing::LoadThroughWindow(board, StandardImages::DspImage(Personality::PciTester));
    testing::Release(board);
    ASSERT_TRUE(Eventually([&] { return board.Interrupt()->IsAsserted(); }));
    board.OnUnplugged(platform::PciUnplug::Surprise);
    EXPECT_FALSE(board.IsBooted());
    EXPECT_FALSE(board.Interrupt()->IsAsserted());
    board.RaiseHostInterrupt();
    EXPECT_FALSE(board.Interrupt()->IsAsserted());
}

} // namespace
} // namespace board
