// The register file: storage widths and byte lanes, the host status and interrupt line, the page
// register, the host-to-DSP commands as the log shows them, and the register faults.
#include <gtest/gtest.h>

#include <cstring>

#include "BoardTestSupport.h"

namespace board {
namespace {

using testing::RecordsOf;

TEST(BoardRegisters, EmifRegistersStoreEveryWidthAndLane)
{
    CaptureBoard board;
    auto& regs = board.Registers();
    for (uint32_t offset : kEmifRegisters) {
        regs.Write32(offset, 0x12345678 ^ offset);
        EXPECT_EQ(regs.Read32(offset), 0x12345678u ^ offset) << std::hex << offset;
    }
    regs.Write8(kEmifSdtim + 2, 0xAB);
    EXPECT_EQ(regs.Read32(kEmifSdtim), ((0x12345678u ^ kEmifSdtim) & 0xFF00FFFFu) | 0x00AB0000u);
    EXPECT_EQ(regs.Read8(kEmifSdtim + 2), 0xAB);
    regs.Write16(kEmifCesec0 + 2, 0xBEEF);
    EXPECT_EQ(regs.Read16(kEmifCesec0 + 2), 0xBEEF);
    EXPECT_EQ(regs.Read16(kEmifCesec0), (0x12345678u ^ kEmifCesec0) & 0xFFFF);
    // A byte run rounds trip like the host's validated run writes.
    const uint8_t run[4] = {1, 2, 3, 4};
    regs.WriteBuffer(kEmifGblctl, platform::AccessWidth::Byte, run, 4);
    uint8_t back[4] = {};
    regs.ReadBuffer(kEmifGblctl, platform::AccessWidth::Byte, back, 4);
    EXPECT_EQ(0, std::memcmp(run, back, 4));
    EXPECT_EQ(regs.Read32(kEmifGblctl), 0x04030201u);
}

TEST(BoardRegisters, AStraddlingAccessReachesBothRegisters)
{
    CaptureBoard board;
    board.Registers().Write32(kEmifGblctl + 2, 0xAABBCCDD);
    EXPECT_EQ(board.RegisterValue(kEmifGblctl), 0xCCDD0000u);
    EXPECT_EQ(board.RegisterValue(kEmifCectl1), 0x0000AABBu);
    EXPECT_EQ(board.Registers().Read32(kEmifGblctl + 2), 0xAABBCCDDu);
}

TEST(BoardRegisters, UnknownOffsetsReadZeroAndIgnoreWritesButAreLogged)
{
    CaptureBoard board;
    board.Registers().Write32(0x0C, 0xFFFFFFFF);
    board.Registers().Write32(0x100000, 0x55);
    EXPECT_EQ(board.Registers().Read32(0x0C), 0u);
    EXPECT_EQ(board.Registers().Read32(0x100000), 0u);
    EXPECT_EQ(board.Registers().Read32(kHostToDspControl), 0u);
    const auto writes = RecordsOf(board.AccessLog(), AccessKind::RegisterWrite);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1], (AccessRecord{AccessKind::RegisterWrite, 0x100000, 4, 0x55, 0}));
}

TEST(BoardRegisters, HostStatusWriteClearsTheInterruptAndReleasesTheLine)
{
    CaptureBoard board;
    auto line = board.Interrupt();
    board.RaiseHostInterrupt();
    EXPECT_TRUE(line->IsAsserted());
    EXPECT_EQ(board.Registers().Read32(kHostStatus), kHostStatusInterrupt);
    board.Registers().Write32(kHostStatus, 3); // the interrupt routine's acknowledgement
    EXPECT_FALSE(line->IsAsserted());
    EXPECT_EQ(board.Registers().Read32(kHostStatus), 0u);
    // Any write acknowledges, even 0 or a byte.
    board.RaiseHostInterrupt();
    board.Registers().Write8(kHostStatus + 1, 0);
    EXPECT_FALSE(line->IsAsserted());
    EXPECT_EQ(line->AssertionCount(), 2u);
}

TEST(BoardRegisters, DspControlBit3RaisesOneInterruptAndClearsItself)
{
    CaptureBoard board;
    board.Registers().Write32(kDspControl, kDspControlRunEnable | kDspControlRaiseInterrupt);
    EXPECT_EQ(board.Registers().Read32(kDspControl), kDspControlRunEnable);
    EXPECT_TRUE(board.Interrupt()->IsAsserted());
    EXPECT_EQ(RecordsOf(board.AccessLog(), AccessKind::InterruptRaised).size(), 1u);
}

TEST(BoardRegisters, PageRegisterKeepsTenBitsAndLogsEachSwitch)
{
    CaptureBoard board;
    board.Registers().Write32(kPageRegister, 0xFFFFF200);
    EXPECT_EQ(board.Registers().Read32(kPageRegister), 0x200u);
    board.Registers().Write32(kPageRegister, 0x3FF);
    EXPECT_EQ(board.Registers().Read32(kPageRegister), 0x3FFu);
    board.Registers().Write32(kPageRegister, 0);
    const auto pages = RecordsOf(board.AccessLog(), AccessKind::PageSwitch);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].value, 0x200u);
    EXPECT_EQ(pages[1].value, 0x3FFu);
    EXPECT_EQ(pages[2].value, 0u);
}

TEST(BoardRegisters, DoorbellAndWarmResetAreLoggedInOrder)
{
    CaptureBoard board;
    board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    const auto log = board.AccessLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].kind, AccessKind::RegisterWrite);
    EXPECT_EQ(log[1], (AccessRecord{AccessKind::Doorbell, 0, 0, 0, 0})); // nothing loaded: no release
    EXPECT_EQ(log[2].kind, AccessKind::RegisterWrite);
    EXPECT_EQ(log[3].kind, AccessKind::WarmReset);
}

TEST(BoardRegisters, IgnoreWritesFaultKeepsTheOldValue)
{
    CaptureBoard board;
    board.Registers().Write32(kEmifSdext, 0x54E5B);
    board.SetRegisterIgnoresWrites(kEmifSdext + 2);
    board.Registers().Write16(kEmifSdext, 0x1111);
    board.Registers().Write32(kEmifSdext, 0x2222);
    EXPECT_EQ(board.Registers().Read32(kEmifSdext), 0x54E5Bu);
    board.Registers().Write32(kEmifSdtim, 0x81B); // other registers still take writes
    EXPECT_EQ(board.Registers().Read32(kEmifSdtim), 0x81Bu);
    board.SetRegisterIgnoresWrites(std::nullopt);
    board.Registers().Write32(kEmifSdext, 0x2222);
    EXPECT_EQ(board.Registers().Read32(kEmifSdext), 0x2222u);
}

TEST(BoardRegisters, AbsentDspReadsAllOnesAndTakesNoWrites)
{
    CaptureBoard board;
    board.Registers().Write32(kEmifGblctl, 0x521B8);
    board.SetDspAbsent(true);
    EXPECT_EQ(board.Registers().Read32(kEmifGblctl), 0xFFFFFFFFu);
    EXPECT_EQ(board.Registers().Read16(kHostStatus), 0xFFFFu);
    EXPECT_EQ(board.Registers().Read8(kPageRegister), 0xFFu);
    board.Registers().Write32(kEmifGblctl, 0);
    board.Registers().Write32(kDspControl, kDspControlRaiseInterrupt);
    EXPECT_FALSE(board.Interrupt()->IsAsserted());
    board.SetDspAbsent(false);
    EXPECT_EQ(board.Registers().Read32(kEmifGblctl), 0x521B8u);
}

TEST(BoardAccessLog, CapacityKeepsTheNewestAndOffStopsRecording)
{
    CaptureBoard board;
    board.SetAccessLogCapacity(3);
    for (uint32_t i = 0; i < 5; ++i)
        board.Registers().Write32(kEmifSdtim, i);
    auto log = board.AccessLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.front().value, 2u);
    EXPECT_EQ(log.back().value, 4u);
    board.SetAccessLogEnabled(false);
    board.Registers().Write32(kEmifSdtim, 9);
    EXPECT_EQ(board.AccessLog().back().value, 4u);
    board.ClearAccessLog();
    EXPECT_TRUE(board.AccessLog().empty());
}

} // namespace
} // namespace board
