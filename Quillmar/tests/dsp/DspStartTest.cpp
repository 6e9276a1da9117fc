// DSP start-up, reset and tear-down against the simulated board: the exact load sequence, the
// tries, the failures (stuck bit, broken external memory, silent DSP, malformed images, resources),
// the already-running path, Reset, IsDspRunning, Invalidate, and the interrupt routine with its
// ten DPCs.
#include "DspBoardFixture.h"

namespace dsptest {
namespace {

using StartTest = DspBoardTest;
constexpr NTSTATUS kNotResponding = static_cast<NTSTATUS>(0xC0071051L);

// The records a start writes up to and including the release doorbell, for an image whose
// sections are given, as the load sequence prescribes.
std::vector<AccessRecord> ExpectedLoad(const board::FirmwareImage& image)
{
    std::vector<AccessRecord> seq;
    seq.push_back(RegWrite(board::kHostToDspControl, 1));
    seq.push_back({AccessKind::WarmReset, 0, 0, 0, 0});
    AppendPage(seq, 0);
    const std::vector<std::pair<uint32_t, uint32_t>> emif = {
        {0x00, 0x521B8}, {0x08, 0xF0FFC3D3}, {0x04, 0xF0FFC3D3}, {0x10, 0xF0FFC3D3}, {0x14, 0xF0FFC3D3},
        {0x1C, 0x81B},   {0x20, 0x54E5B},    {0x48, 2},          {0x44, 2},          {0x50, 2},
        {0x54, 2},       {0x18, 0x53227000}, {0x18, 0x53227000}, {0x18, 0x52227000}};
    for (const auto& [offset, value] : emif)
        seq.push_back(RegWrite(offset, value));
    // The memory check: both words written, then both read back, each in its own page.
    AppendPage(seq, 0x200);
    seq.push_back(WinWrite(0x80000000, 4));
    AppendPage(seq, 0);
    AppendPage(seq, 0x20C);
    seq.push_back(WinWrite(0x83000000, 4));
    AppendPage(seq, 0);
    AppendPage(seq, 0x200);
    seq.push_back(WinRead(0x80000000, 4));
    AppendPage(seq, 0);
    AppendPage(seq, 0x20C);
    seq.push_back(WinRead(0x83000000, 4));
    AppendPage(seq, 0);
    // Internal memory cleared, then each section written and verified.
    seq.push_back(WinWrite(0, 0x40000));
    AppendPage(seq, 0);
    for (const auto& section : image.Sections()) {
        seq.push_back(WinWrite(section.address, section.bytes.size()));
        seq.push_back(WinRead(section.address, section.bytes.size()));
        AppendPage(seq, 0);
    }
    // Release: run bit, status cleared, page 0, doorbell.
    seq.push_back(RegWrite(board::kDspControl, board::kDspControlRunEnable));
    seq.push_back(RegWrite(board::kHostStatus, 0));
    AppendPage(seq, 0);
    seq.push_back(RegWrite(board::kHostToDspControl, 2));
    seq.push_back({AccessKind::Doorbell, 0, 0, 1, 0});
    return seq;
}

TEST_F(StartTest, TwoSectionImageLoadsInTheExactSequenceAndBoots)
{
    const auto image = TwoSectionImage();
    ASSERT_EQ(image.Sections().size(), 2u);
    const auto bytes = Bytes(image);
    ASSERT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false), STATUS_SUCCESS);
    EXPECT_TRUE(board_->IsBooted());
    EXPECT_TRUE(manager_->IsStarted());
    EXPECT_TRUE(manager_->IsInterruptForwarding());

    const auto log = Without(Coalesced(Log()), {AccessKind::RegisterRead});
    const auto expected = ExpectedLoad(image);
    ASSERT_GE(log.size(), expected.size()) << Describe(log);
    const std::vector<AccessRecord> head(log.begin(), log.begin() + static_cast<long>(expected.size()));
    EXPECT_EQ(head, expected) << Describe(head);
    // Then the boot, its interrupt and the routine's acknowledgement.
    const std::vector<AccessRecord> tail(log.begin() + static_cast<long>(expected.size()), log.end());
    EXPECT_EQ(CountOf(tail, AccessKind::Boot), 1u) << Describe(tail);
    EXPECT_GE(CountOf(tail, AccessKind::RegisterWrite, board::kHostStatus, 3), 1u);
    EXPECT_EQ(CountOf(Log(), AccessKind::WarmReset), 1u);
    EXPECT_EQ(DebugLinesWith("Device Talvexon HD 1 took 1 tries to get the DSP to come out of reset"), 1u);
    EXPECT_EQ(DebugLinesWith("DSPREG_EMIFA_GBLCTL = 0x000521b8"), 1u);
    // The heartbeat is sampled twice, 10 ms apart: the board ticks on each read, so it moves in
    // between whenever the threads run.
    board_->SetTickOnHeartbeatRead(true);
    EXPECT_TRUE(manager_->IsDspRunning(10));
}

TEST_F(StartTest, StuckBitInASectionEndsTheStartWithItsEvent)
{
    const auto image = TwoSectionImage();
    const uint32_t address = image.Sections()[1].address + 5;
    board_->SetStuckBits(address, 0xFF, true);
    const auto bytes = Bytes(image);
    EXPECT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false),
              static_cast<NTSTATUS>(0xC0071049L));
    const auto events = Events(0xC0071049);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].inserts.at(0), u"00010000");
    EXPECT_EQ(events[0].inserts.at(1), u"291");
    EXPECT_FALSE(manager_->IsStarted());
    EXPECT_EQ(CountOf(Log(), AccessKind::Doorbell), 0u);
    EXPECT_EQ(board_->RegisterValue(board::kPageRegister), 0u);
}

TEST_F(StartTest, BrokenExternalMemoryIsOnlyReported)
{
    board_->SetExternalMemoryBroken(true);
    const auto bytes = ImageBytes(board::Personality::MainFirmware);
    EXPECT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false), STATUS_SUCCESS);
    const auto events = Events(0);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].inserts.empty());
    EXPECT_EQ(DebugLinesWith("Setup EMIF failed"), 1u);
    // Ten rounds of the check, each ending in the SDCTL toggle.
    EXPECT_EQ(CountOf(Log(), AccessKind::RegisterWrite, board::kEmifSdctl, 0x52227000), 10u);
    EXPECT_TRUE(board_->IsBooted());
}

TEST_F(StartTest, MemoryInterfaceThatWantsTheWholeSetupPassesTheCheck)
{
    board_->SetStrictEmifCheck(true);
    const auto bytes = Bytes(TwoSectionImage());
    EXPECT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false), STATUS_SUCCESS);
    EXPECT_TRUE(Events(0).empty());
    EXPECT_EQ(CountOf(Log(), AccessKind::RegisterWrite, board::kEmifSdctl, 0x52227000), 1u);
}

TEST_F(StartTest, SilentBoardFailsAfterFiveFullTries)
{
    board_->SetNoBootInterrupt(true);
    const auto bytes = ImageBytes(board::Personality::MainFirmware);
    EXPECT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false), kNotResponding);
    const auto log = Log();
    EXPECT_EQ(CountOf(log, AccessKind::WarmReset), 5u);
    EXPECT_EQ(CountOf(log, AccessKind::RegisterWrite, board::kHostToDspControl, 2), 5u);
    EXPECT_EQ(Events(0xC0071051).size(), 1u);
    EXPECT_FALSE(manager_->IsStarted());
    EXPECT_FALSE(manager_->IsInterruptForwarding());
}

TEST_F(StartTest, ImageWithoutSectionsResetsReleasesAndWaitsEachTry)
{
    const UCHAR empty[1] = {0};
    EXPECT_EQ(manager_->Start(empty, 1, false), kNotResponding);
    const auto log = Coalesced(Log());
    EXPECT_EQ(CountOf(log, AccessKind::WarmReset), 5u);
    EXPECT_EQ(CountOf(log, AccessKind::WindowWrite, 0), 5u); // the clearing of internal memory
    EXPECT_EQ(CountOf(log, AccessKind::Doorbell, 0, 0), 5u); // releases with nothing to boot
}

TEST_F(StartTest, StaleInterruptDoesNotCountAsABoot)
{
    // An interrupt before the start sets the event; the start must still wait for its own.
    board_->RaiseHostInterrupt();
    ASSERT_TRUE(tracetest::WaitUntil([&] { return KeReadStateEvent(Peer::InterruptEvent(manager_)) != 0; }));
    board_->SetNoBootInterrupt(true);
    const auto bytes = ImageBytes(board::Personality::MainFirmware);
    EXPECT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false), kNotResponding);
}

TEST_F(StartTest, MalformedImagesAreRefusedBeforeAnythingIsTouched)
{
    const auto good = ImageBytes(board::Personality::MainFirmware);
    // Empty; cut inside a section header; cut inside a section's bytes; a section wrapping past
    // 0xFFFFFFFF; a section crossing a 4 MB page; a count promising more sections than present;
    // a byte after the last section.
    std::vector<UCHAR> trailing = good;
    trailing.push_back(0);
    std::vector<std::vector<UCHAR>> bad = {trailing,
        {}, {1, 0, 0, 0, 0, 4, 0}, std::vector<UCHAR>(good.begin(), good.end() - 1),
        {1, 0xFE, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0, 1, 2, 3, 4}, {1, 0xFE, 0xFF, 0x3F, 0, 4, 0, 0, 0, 1, 2, 3, 4},
        {2, 0, 0, 0, 0, 1, 0, 0, 0, 7}};
    for (const auto& image : bad) {
        EXPECT_EQ(manager_->Start(image.empty() ? nullptr : image.data(), static_cast<ULONG>(image.size()), false),
                  kInvalidImage);
    }
    EXPECT_TRUE(Log().empty()) << Describe(Log());
    EXPECT_EQ(manager_->Start(good.data(), 0, false), kInvalidImage);
}

TEST_F(StartTest, ResetWithAndWithoutClearingTheStatus)
{
    ASSERT_EQ(manager_->Reset(0), STATUS_SUCCESS);
    auto log = Without(Log(), {AccessKind::RegisterRead});
    EXPECT_EQ(CountOf(log, AccessKind::WarmReset), 1u);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 1], Page(0)) << Describe(log);
    EXPECT_EQ(CountOf(log, AccessKind::RegisterWrite, board::kHostStatus), 0u);

    board_->ClearAccessLog();
    ASSERT_EQ(manager_->Reset(1), STATUS_SUCCESS);
    log = Without(Log(), {AccessKind::RegisterRead});
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], RegWrite(board::kPageRegister, 0)) << Describe(log);
    EXPECT_EQ(log[log.size() - 1], RegWrite(board::kHostStatus, 0));
}

TEST_F(StartTest, IsDspRunningIsFalseBeforeStartWhenTheDspIsResetOnStartup)
{
    BootBehindTheDriversBack(board::Personality::MainFirmware);
    board_->ClearAccessLog();
    EXPECT_FALSE(manager_->IsDspRunning(10));
    EXPECT_EQ(CountOf(Log(), AccessKind::WindowRead), 0u);
}

TEST_F(StartTest, SecondInvalidateDoesNothing)
{
    const auto bytes = ImageBytes(board::Personality::MainFirmware);
    ASSERT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false), STATUS_SUCCESS);
    board_->ClearAccessLog();
    manager_->Invalidate();
    EXPECT_TRUE(manager_->IsInvalidated());
    // Stop of a started manager: the warm reset that halts the DSP.
    EXPECT_EQ(CountOf(Log(), AccessKind::RegisterWrite, board::kHostToDspControl, 1), 1u);
    EXPECT_FALSE(board_->IsBooted());
    board_->ClearAccessLog();
    manager_->Invalidate(); // a second disconnect or unmap would be a verifier breach
    EXPECT_TRUE(Log().empty());
    // Nothing reaches the board any more.
    UCHAR word[4];
    EXPECT_EQ(manager_->ReadDspMemory(word, 0, 4), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false), STATUS_DEVICE_NOT_READY);
    board_->RaiseHostInterrupt(); // nobody is connected: the line stays up, nothing is acknowledged
    EXPECT_EQ(CountOf(Log(), AccessKind::RegisterWrite), 0u);
    board_->Registers().Write32(board::kHostStatus, 0);
}

TEST_F(StartTest, InterruptWithStatusBitClearIsNotTaken)
{
    EXPECT_FALSE(TidewellProtocolManager::InterruptService(nullptr, manager_));
    const std::vector<AccessRecord> expected = {{AccessKind::RegisterRead, board::kHostStatus, 4, 0, 0}};
    EXPECT_EQ(Log(), expected) << Describe(Log());
    EXPECT_EQ(KeReadStateEvent(Peer::InterruptEvent(manager_)), 0);
}

TEST_F(StartTest, BoardInterruptIsAcknowledgedAndSignalled)
{
    board_->RaiseHostInterrupt();
    EXPECT_TRUE(manager_->WaitForDspInterrupt());
    EXPECT_EQ(CountOf(Log(), AccessKind::RegisterWrite, board::kHostStatus, 3), 1u) << Describe(Log());
    EXPECT_FALSE(board_->Interrupt()->IsAsserted());
    EXPECT_EQ(KeReadStateEvent(Peer::InterruptEvent(manager_)), 0);
}

TEST_F(StartTest, DpcWakesTheCommandThreadOnlyWhenForwarding)
{
    TidewellProtocolManager::DpcRoutine(Peer::Dpc(manager_, 0), manager_, nullptr, nullptr);
    EXPECT_NE(KeReadStateEvent(Peer::InterruptEvent(manager_)), 0);
    EXPECT_EQ(KeReadStateEvent(Peer::CommandWakeEvent(manager_)), 0);

    KeClearEvent(Peer::InterruptEvent(manager_));
    Peer::SetForwarding(manager_, true);
    TidewellProtocolManager::DpcRoutine(Peer::Dpc(manager_, 0), manager_, nullptr, nullptr);
    EXPECT_NE(KeReadStateEvent(Peer::InterruptEvent(manager_)), 0);
    EXPECT_NE(KeReadStateEvent(Peer::CommandWakeEvent(manager_)), 0);
    Peer::SetForwarding(manager_, false);
}

// Holds the DPC thread so that DPCs queued meanwhile stay queued.
std::atomic<bool> g_blockerRunning{false};
std::atomic<bool> g_releaseBlocker{false};
VOID NTAPI BlockingDpc(PKDPC, PVOID, PVOID, PVOID)
{
    g_blockerRunning = true;
    while (!g_releaseBlocker)
        std::this_thread::yield();
}

TEST_F(StartTest, InterruptsWhileDpcsAreQueuedTakeTheNextDpc)
{
    KDPC blocker;
    KeInitializeDpc(&blocker, &BlockingDpc, nullptr);
    g_blockerRunning = false;
    g_releaseBlocker = false;
    ASSERT_TRUE(KeInsertQueueDpc(&blocker, nullptr, nullptr));
    ASSERT_TRUE(tracetest::WaitUntil([] { return g_blockerRunning.load(); }));

    // Two interrupts through the board's line: the first DPC is still queued at the second.
    for (int i = 0; i < 2; ++i) {
        board_->RaiseHostInterrupt();
        ASSERT_TRUE(tracetest::WaitUntil([&] { return !board_->Interrupt()->IsAsserted(); }));
        Peer::SyncWithInterruptRoutine(manager_);
    }
    EXPECT_EQ(CountOf(Log(), AccessKind::RegisterWrite, board::kHostStatus, 3), 2u);

    // They took two of the ten: eight more can be queued, then none.
    for (ULONG i = 2; i < TidewellProtocolManager::kDpcCount; ++i)
        EXPECT_TRUE(manager_->QueueDpc()) << i;
    EXPECT_FALSE(manager_->QueueDpc());
    EXPECT_EQ(KeReadStateEvent(Peer::InterruptEvent(manager_)), 0);

    g_releaseBlocker = true;
    KeFlushQueuedDpcs();
    EXPECT_NE(KeReadStateEvent(Peer::InterruptEvent(manager_)), 0);
    // All ran: the first is free again.
    EXPECT_TRUE(manager_->QueueDpc());
    KeFlushQueuedDpcs();
}

// ---- Variants of the driver's parameters ----

class RunningDspTest : public DspBoardTest {
protected:
    std::string Parameters() const override
    {
        return "\"HardwareInstalled\"=dword:00000001\n\"ResetDSPOnStartup\"=dword:00000000\n";
    }
};

TEST_F(RunningDspTest, StartTakesOverARunningDspWithoutReset)
{
    BootBehindTheDriversBack(board::Personality::MainFirmware);
    const uint32_t ones = 0x01010101;
    for (uint32_t word : {board::kMailboxCommandBusy, board::kMailboxResponseValid, board::kMailboxCounterA,
                          board::kMailboxCounterB})
        board_->WriteDspMemory(board::kMailboxAddress + word, &ones, 4);
    board_->ClearAccessLog();

    // The start samples the heartbeat twice, 10 ms apart: the board ticks on each read, so it
    // moves in between whenever the threads run.
    board_->SetTickOnHeartbeatRead(true);
    const auto bytes = ImageBytes(board::Personality::MainFirmware);
    ASSERT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), false), STATUS_SUCCESS);
    const auto log = Log();
    EXPECT_EQ(CountOf(log, AccessKind::WarmReset), 0u) << Describe(log);
    // No doorbell boots the DSP: the only ones are the mailbox command thread's, which the start
    // leaves running and which rings as often as its rounds come before the log is read.
    EXPECT_EQ(CountOf(log, AccessKind::Doorbell, ~0u, 1u), 0u) << Describe(log);
    // One write asks the firmware to restart the mailbox; it clears the flags and counters itself.
    EXPECT_EQ(CountOf(log, AccessKind::WindowWrite, board::kMailboxAddress + board::kMailboxRestart), 1u);
    for (uint32_t word : {board::kMailboxCommandBusy, board::kMailboxResponseValid, board::kMailboxCounterA,
                          board::kMailboxCounterB})
        EXPECT_EQ(CountOf(log, AccessKind::WindowWrite, board::kMailboxAddress + word), 0u) << word;
    // The firmware carries the restart out at its next pass, which may come after the start returns.
    ASSERT_TRUE(tracetest::WaitUntil(
        [&] { return board_->ReadDspWord(board::kMailboxAddress + board::kMailboxRestart) == 0; }));
    EXPECT_EQ(board_->ReadDspWord(board::kMailboxAddress + board::kMailboxCommandBusy), 0u);
    EXPECT_EQ(board_->ReadDspWord(board::kMailboxAddress + board::kMailboxResponseValid), 0u);
    EXPECT_EQ(CountOf(log, AccessKind::RegisterWrite, board::kHostStatus, 0), 1u);
    EXPECT_NE(board_->RegisterValue(board::kDspControl) & board::kDspControlRunEnable, 0u);
    // Started on this path too, so that the stop halts what it took over.
    EXPECT_TRUE(manager_->IsStarted());
    EXPECT_TRUE(manager_->IsInterruptForwarding());
    EXPECT_TRUE(board_->IsBooted());
    manager_->Invalidate();
    EXPECT_FALSE(board_->IsBooted());
}

TEST_F(RunningDspTest, TesterImageIsLoadedEvenOverARunningDsp)
{
    BootBehindTheDriversBack(board::Personality::MainFirmware);
    board_->ClearAccessLog();
    // The load waits 2 s of the clock for the boot's interrupt: the board raises it before the
    // doorbell's write returns, and at the real pace the interrupt and DPC threads that carry it to
    // the driver have those 2 s, where the fixture's pace would leave them a tenth.
    platform::Clock::SetSpeedFactor(1.0);
    const auto bytes = ImageBytes(board::Personality::MemoryTester);
    ASSERT_EQ(manager_->Start(bytes.data(), static_cast<ULONG>(bytes.size()), true), STATUS_SUCCESS);
    EXPECT_EQ(CountOf(Log(), AccessKind::WarmReset), 1u);
    EXPECT_EQ(board_->CurrentPersonality(), board::Personality::MemoryTester);
}

class NoHardwareTest : public DspBoardTest {
protected:
    std::string Parameters() const override { return "\"HardwareInstalled\"=dword:00000000\n"; }
};

TEST_F(NoHardwareTest, WarmResetIsANoOp)
{
    EXPECT_EQ(manager_->WarmReset(), STATUS_SUCCESS);
    EXPECT_EQ(manager_->Reset(1), STATUS_SUCCESS);
    const auto log = Log();
    EXPECT_EQ(CountOf(log, AccessKind::WarmReset), 0u);
    EXPECT_EQ(CountOf(log, AccessKind::RegisterWrite, board::kHostToDspControl), 0u) << Describe(log);
}

class InitializeTest : public DspBoardTest {
protected:
    bool InitializeManager() const override { return false; }
};

TEST_F(InitializeTest, ConnectsTheInterruptAndSetsTheRunBit)
{
    ASSERT_EQ(manager_->Initialize(RawResources().Get(), TranslatedResources().Get(), Settings()),
              STATUS_SUCCESS);
    EXPECT_EQ(Log().back(), RegWrite(board::kDspControl, board::kDspControlRunEnable)) << Describe(Log());
    EXPECT_EQ(DebugLinesWith("  type=2 flags=00000000 level=0x7 vec=0x71 aff=1"), 1u);
    EXPECT_EQ(DebugLinesWith("  type=3"), 2u);
    // A second initialization is refused.
    EXPECT_EQ(manager_->Initialize(RawResources().Get(), TranslatedResources().Get(), Settings()),
              STATUS_INVALID_DEVICE_STATE);
}

TEST_F(InitializeTest, MissingRegisterRangeIsLoggedAndInvalidates)
{
    ResourceListBuilder translated({MemoryDescriptor(kWindowBase, board::kWindowSize),
                                    InterruptDescriptor(kLevel, kVector, 1)});
    EXPECT_EQ(manager_->Initialize(RawResources().Get(), translated.Get(), Settings()),
              static_cast<NTSTATUS>(0xC007104FL));
    const auto events = Events(0xC007104F);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].inserts.at(0), u"C000008A");
    EXPECT_TRUE(manager_->IsInvalidated());
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(manager_->Initialize(RawResources().Get(), TranslatedResources().Get(), Settings()),
              STATUS_INVALID_DEVICE_STATE);
}

TEST_F(InitializeTest, MissingWindowIsLoggedAndInvalidates)
{
    // Memory resource 0 names memory no board decodes.
    ResourceListBuilder translated({MemoryDescriptor(0x10000000, board::kWindowSize),
                                    MemoryDescriptor(kRegisterBase, board::kRegisterRangeSize),
                                    InterruptDescriptor(kLevel, kVector, 1)});
    EXPECT_EQ(manager_->Initialize(RawResources().Get(), translated.Get(), Settings()),
              static_cast<NTSTATUS>(0xC007104AL));
    ASSERT_EQ(Events(0xC007104A).size(), 1u);
    EXPECT_TRUE(manager_->IsInvalidated());
    // The register range it had mapped is released (the leak check after the test would say so).
    ULONG value = 0;
    EXPECT_EQ(manager_->ReadDspRegisterValue(board::kDspControl, &value), STATUS_DEVICE_NOT_READY);
}

TEST_F(InitializeTest, InterruptThatCannotBeConnectedIsLoggedAndReleasesTheMappings)
{
    ResourceListBuilder translated({MemoryDescriptor(kWindowBase, board::kWindowSize),
                                    MemoryDescriptor(kRegisterBase, board::kRegisterRangeSize),
                                    InterruptDescriptor(kLevel, kVector + 1, 1)}); // no line there
    EXPECT_EQ(manager_->Initialize(RawResources().Get(), translated.Get(), Settings()),
              static_cast<NTSTATUS>(0xC0071050L));
    const auto events = Events(0xC0071050);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].inserts.at(0), u"C000000D");
    EXPECT_TRUE(manager_->IsInvalidated());
    UCHAR word[4];
    EXPECT_EQ(manager_->ReadDspMemory(word, 0, 4), STATUS_DEVICE_NOT_READY);
}

TEST_F(InitializeTest, ListWithoutInterruptIsRefused)
{
    ResourceListBuilder translated({MemoryDescriptor(kWindowBase, board::kWindowSize),
                                    MemoryDescriptor(kRegisterBase, board::kRegisterRangeSize)});
    EXPECT_EQ(manager_->Initialize(RawResources().Get(), translated.Get(), Settings()),
              static_cast<NTSTATUS>(0xC0071050L));
    EXPECT_TRUE(manager_->IsInvalidated());
}

} // namespace
} // namespace dsptest
