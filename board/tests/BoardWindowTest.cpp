// The paged window over sparse DSP memory, the stuck-bit fault, and the memory interface check on
// external memory with its broken-memory fault.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "BoardTestSupport.h"
#include "board/DspMemory.h"

namespace board {
namespace {

using platform::AccessWidth;
using testing::RecordsOf;

void ProgramEmif(CaptureBoard& board, uint32_t sdctl = 0x53227000)
{
    for (uint32_t offset : kEmifRegisters)
        board.Registers().Write32(offset, offset == kEmifSdctl ? sdctl : 2);
    board.Registers().Write32(kEmifSdctl, sdctl);
    board.Registers().Write32(kEmifSdctl, sdctl ^ kSdctlInitBit);
}

TEST(BoardWindow, AnAccessLandsAtPageAndOffset)
{
    CaptureBoard board;
    board.Registers().Write32(kPageRegister, 0x0C5);
    board.Window().Write32(0x123454, 0xCAFEF00D);
    EXPECT_EQ(board.ReadDspWord((0x0C5u << 22) | 0x123454), 0xCAFEF00Du);
    board.Window().Write16(0x3FFFFE, 0xBEEF);
    board.Window().Write8(0, 0x5A);
    EXPECT_EQ(board.ReadDspWord((0x0C5u << 22) | 0x3FFFFC) >> 16, 0xBEEFu);
    EXPECT_EQ(board.ReadDspWord(0x0C5u << 22) & 0xFF, 0x5Au);
    // The same offset on page 0 is other memory.
    board.Registers().Write32(kPageRegister, 0);
    EXPECT_EQ(board.Window().Read32(0x123454), 0u);
    const auto writes = RecordsOf(board.AccessLog(), AccessKind::WindowWrite);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0], (AccessRecord{AccessKind::WindowWrite, (0x0C5u << 22) | 0x123454, 4, 0, 4}));
}

TEST(BoardWindow, UnalignedRunsCopyExactBytesAndLogOneRecord)
{
    CaptureBoard board;
    std::vector<uint8_t> data(70001);
    std::iota(data.begin(), data.end(), uint8_t{7});
    board.Window().WriteBuffer(0x1FFFF, AccessWidth::Byte, data.data(), data.size());
    std::vector<uint8_t> back(data.size());
    board.Window().ReadBuffer(0x1FFFF, AccessWidth::Byte, back.data(), back.size());
    EXPECT_EQ(back, data);
    EXPECT_EQ(board.Window().Read16(0x1FFFF), static_cast<uint16_t>(7 | 8 << 8)); // misaligned single
    const auto log = board.AccessLog();
    EXPECT_EQ(RecordsOf(log, AccessKind::WindowWrite).size(), 1u);
    EXPECT_EQ(RecordsOf(log, AccessKind::WindowWrite)[0].count, 70001u);
}

TEST(BoardWindow, SparseMemoryReadsZeroAndZeroingAllocatesNothing)
{
    CaptureBoard board;
    std::vector<uint8_t> zeros(0x40000, 0);
    board.Window().WriteBuffer(0, AccessWidth::Dword, zeros.data(), zeros.size() / 4);
    std::vector<uint8_t> back(64, 0xEE);
    board.Registers().Write32(kPageRegister, 0x123);
    board.Window().ReadBuffer(0x2000, AccessWidth::Byte, back.data(), back.size());
    EXPECT_EQ(back, std::vector<uint8_t>(64, 0));
    EXPECT_EQ(RecordsOf(board.AccessLog(), AccessKind::WindowWrite).size(), 1u);

    DspMemory memory;
    memory.Fill(0, 0, 0x40000);
    EXPECT_EQ(memory.ChunkCount(), 0u);
    memory.Write32(0xFFFFFFFC, 0x01020304);
    EXPECT_EQ(memory.Read32(0xFFFFFFFC), 0x01020304u);
    EXPECT_EQ(memory.ChunkCount(), 1u);
    uint8_t two[2];
    EXPECT_THROW(memory.Read(0xFFFFFFFF, two, 2), std::out_of_range);
}

TEST(BoardWindow, StuckBitsMakeVerifyFail)
{
    CaptureBoard board;
    board.SetStuckBits(0x402, 0x10, true);
    board.SetStuckBits(0x403, 0x01, false);
    const uint8_t data[4] = {0x00, 0x00, 0x00, 0xFF};
    board.Window().WriteBuffer(0x400, AccessWidth::Byte, data, 4);
    uint8_t back[4];
    board.Window().ReadBuffer(0x400, AccessWidth::Byte, back, 4);
    EXPECT_EQ(back[0], 0x00);
    EXPECT_EQ(back[2], 0x10);
    EXPECT_EQ(back[3], 0xFE);
    EXPECT_EQ(board.Window().Read32(0x400), 0xFE100000u);
    board.ClearStuckBits();
    EXPECT_EQ(board.Window().Read32(0x400), 0xFF000000u); // memory itself held what was written
}

TEST(BoardWindow, ExternalMemoryWorksOnlyAfterTheMemoryInterfaceIsSetUp)
{
    CaptureBoard board;
    auto writeReadExternal = [&] {
        board.Registers().Write32(kPageRegister, kExternalMemoryBase >> kPageShift);
        board.Window().Write32(0, 0x21522152); // "R!R!"
        const uint32_t back = board.Window().Read32(0);
        board.Registers().Write32(kPageRegister, 0);
        return back;
    };
    EXPECT_EQ(writeReadExternal(), 0u);
    EXPECT_FALSE(board.ExternalMemoryReady());
    board.Registers().Write32(kEmifSdctl, 0x53227000);
    EXPECT_TRUE(board.ExternalMemoryReady());
    EXPECT_EQ(writeReadExternal(), 0x21522152u);
    // A warm reset takes the set-up away until SDCTL is written again; the memory itself persists.
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    EXPECT_FALSE(board.ExternalMemoryReady());
    EXPECT_EQ(board.RegisterValue(kEmifSdctl), 0x53227000u);
    board.Registers().Write32(kEmifSdctl, 0x53227000);
    EXPECT_EQ(board.ReadDspWord(kExternalMemoryBase), 0x21522152u);
    // Internal memory never depends on it.
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    board.Window().Write32(0x100, 0x77);
    EXPECT_EQ(board.Window().Read32(0x100), 0x77u);
}

TEST(BoardWindow, StrictCheckWantsTheWholeSetupSequence)
{
    CaptureBoard board;
    board.SetStrictEmifCheck(true);
    board.Registers().Write32(kEmifSdctl, 0x53227000);
    board.Registers().Write32(kEmifSdctl, 0x53227000);
    EXPECT_FALSE(board.ExternalMemoryReady());
    ProgramEmif(board);
    EXPECT_TRUE(board.ExternalMemoryReady());
}

TEST(BoardWindow, BrokenExternalMemoryLosesWritesAndReadsZero)
{
    CaptureBoard board;
    ProgramEmif(board);
    board.SetExternalMemoryBroken(true);
    board.Registers().Write32(kPageRegister, 0x83000000u >> kPageShift);
    board.Window().Write32(0, 0xDEADDEAD);
    EXPECT_EQ(board.Window().Read32(0), 0u);
    EXPECT_EQ(board.ReadDspWord(0x83000000), 0u);
    board.SetExternalMemoryBroken(false);
    board.Window().Write32(0, 0xDEADDEAD);
    EXPECT_EQ(board.Window().Read32(0), 0xDEADDEADu);
}

TEST(BoardWindow, AbsentDspWindowReadsAllOnes)
{
    CaptureBoard board;
    board.WriteDspMemory(0x20, "\x01\x02\x03\x04", 4);
    board.SetDspAbsent(true);
    EXPECT_EQ(board.Window().Read32(0x20), 0xFFFFFFFFu);
    uint8_t run[5];
    board.Window().ReadBuffer(0x21, AccessWidth::Byte, run, 5);
    EXPECT_EQ(std::vector<uint8_t>(run, run + 5), std::vector<uint8_t>(5, 0xFF));
    board.Window().Write32(0x20, 0);
    EXPECT_EQ(board.ReadDspWord(0x20), 0x04030201u);
}

} // namespace
} // namespace board
