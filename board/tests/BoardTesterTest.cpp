// The two tester personalities as the diagnostics host drives them: the memory tester started by
// its command word, testing external memory phase by phase and listing the errors of a stuck bit;
// the PCI tester started by a host buffer's bus address, moving its sequences through that buffer
// and counting what the hooks and the host do to it.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "CommandSetTestHost.h"
#include "board/MemoryTester.h"
#include "board/PciTester.h"
#include "platform/Clock.h"

namespace board {
namespace {

using platform::Clock;
using testing::Eventually;
using testing::HostBuffer;

void BootTester(CaptureBoard& board, Personality personality)
{
    testing::LoadThroughWindow(board, StandardImages::DspImage(personality));
    testing::Release(board);
    ASSERT_TRUE(Eventually([&] { return board.IsBooted(); }));
    board.Registers().Write32(kHostStatus, 3);
}

uint32_t Field(CaptureBoard& board, uint32_t dspAddress)
{
    return board.Window().Read32(dspAddress);
}

TEST(MemoryTester, AStuckBitShowsInTheMaskAndWalkerPhasesAndIsListed)
{
    BoardConfiguration configuration;
    configuration.testerSpan = 1u << 20;
    CaptureBoard board({}, configuration);
    BootTester(board, Personality::MemoryTester);
    board.SetStuckBits(0x80001000, 0x01, false);
    // Nothing runs before the host's command word.
    Clock::SleepFor(20 * Clock::kUnitsPerMillisecond);
    EXPECT_EQ(Field(board, MemoryTester::kPhase), 0u);
    EXPECT_EQ(Field(board, MemoryTester::kMaskAddress), 0u);

    // The host writes the whole block with command word 3 and verifies it before the tester starts.
    std::vector<uint8_t> block(MemoryTester::kBlockSize, 0);
    block[0] = MemoryTester::kStartCommand;
    board.Window().WriteBuffer(MemoryTester::kBlockAddress, platform::AccessWidth::Byte, block.data(), block.size());
    std::vector<uint8_t> back(block.size());
    board.Window().ReadBuffer(MemoryTester::kBlockAddress, platform::AccessWidth::Byte, back.data(), back.size());
    EXPECT_EQ(back, block);

    std::set<uint32_t> phases;
    ASSERT_TRUE(Eventually(
        [&] {
            phases.insert(Field(board, MemoryTester::kPhase));
            return Field(board, MemoryTester::kIterations) >= 1 && phases.count(3);
        },
        20));
    EXPECT_TRUE(phases.count(1) && phases.count(2) && phases.count(3));
    EXPECT_GE(Field(board, MemoryTester::kMaskTotal), 1u);
    EXPECT_EQ(Field(board, MemoryTester::kMaskErrors + 0), 0u);      // 0x00000000: bit 0 reads 0 anyway
    EXPECT_GE(Field(board, MemoryTester::kMaskErrors + 4), 1u);      // 0x55555555
    EXPECT_EQ(Field(board, MemoryTester::kMaskErrors + 8), 0u);      // 0xAAAAAAAA
    EXPECT_GE(Field(board, MemoryTester::kMaskErrors + 12), 1u);     // 0xFFFFFFFF
    EXPECT_EQ(Field(board, MemoryTester::kAddressTotal), 0u);        // 0x80001000's low byte is 0
    EXPECT_GE(Field(board, MemoryTester::kWalkerTotal), 1u);         // word 0x400 walks bit 0
    EXPECT_GE(Field(board, MemoryTester::kWalkerErrors), 1u);        // in the first 16 MB
    EXPECT_EQ(Field(board, MemoryTester::kWalkerErrors + 4), 0u);
    EXPECT_GE(Field(board, MemoryTester::kErrorCount), 1u);
    EXPECT_EQ(Field(board, MemoryTester::kErrorAddresses), 0x80001000u);
    EXPECT_EQ(Field(board, MemoryTester::kErrorValues), 0x55555554u);
    EXPECT_EQ(Field(board, MemoryTester::kCommandWord), MemoryTester::kStartCommand);
    const uint32_t underTest = Field(board, MemoryTester::kMaskAddress);
    EXPECT_GE(underTest, 0x80000000u);
    EXPECT_LT(underTest, 0x80100000u);
    // The list stops at 200 errors while the totals go on.
    ASSERT_TRUE(Eventually([&] { return Field(board, MemoryTester::kIterations) >= 2; }, 20));
    const uint32_t listed = Field(board, MemoryTester::kErrorCount);
    EXPECT_LE(listed, MemoryTester::kMaxListedErrors);
    EXPECT_GE(Field(board, MemoryTester::kMaskTotal) + Field(board, MemoryTester::kWalkerTotal), listed);
}

TEST(MemoryTester, GoodMemoryPassesAndTheListCapsAtTwoHundred)
{
    BoardConfiguration configuration;
    configuration.testerSpan = 256u << 10;
    CaptureBoard board({}, configuration);
    BootTester(board, Personality::MemoryTester);
    board.Window().Write32(MemoryTester::kCommandWord, MemoryTester::kStartCommand);
    ASSERT_TRUE(Eventually([&] { return Field(board, MemoryTester::kIterations) >= 1; }, 20));
    EXPECT_EQ(Field(board, MemoryTester::kMaskTotal), 0u);
    EXPECT_EQ(Field(board, MemoryTester::kAddressTotal), 0u);
    EXPECT_EQ(Field(board, MemoryTester::kWalkerTotal), 0u);
    EXPECT_EQ(Field(board, MemoryTester::kErrorCount), 0u);

    // Broken external memory fails every word but lists only 200.
    board.SetExternalMemoryBroken(true);
    ASSERT_TRUE(Eventually([&] { return Field(board, MemoryTester::kErrorCount) == MemoryTester::kMaxListedErrors; },
                           20));
    ASSERT_TRUE(Eventually([&] { return Field(board, MemoryTester::kMaskTotal) > 1000; }, 20));
    EXPECT_EQ(Field(board, MemoryTester::kErrorCount), MemoryTester::kMaxListedErrors);
    EXPECT_EQ(Field(board, MemoryTester::kErrorValues + 4 * 199), 0u); // what broken memory reads
    EXPECT_GE(Field(board, MemoryTester::kErrorAddresses + 4 * 199), 0x80000000u);
    EXPECT_EQ(Field(board, MemoryTester::kErrorValues + 4 * 200), 0u); // past the list: untouched
}

TEST(PciTester, SequencesGoThroughTheHostBufferAndTheHooksShowAsFailures)
{
    BoardConfiguration configuration;
    configuration.pciTesterLength = 64u << 10;
    CaptureBoard board({}, configuration);
    BootTester(board, Personality::PciTester);
    auto host = std::make_unique<HostBuffer>(64u << 10);
    // No bus address yet: the tester waits for one.
    EXPECT_EQ(Field(board, PciTester::kIterations), 0u);
    // The host's diagnostics put the buffer's 64-bit bus address at 128 and its own cookie at 136.
    board.Window().Write32(PciTester::kBusAddress, host->Bus());
    board.Window().Write32(PciTester::kBusAddress + 4, 0);
    board.Window().Write32(136, 0x1234);

    // Past the iteration under way when the address came, every transfer lands.
    const uint32_t start = Field(board, PciTester::kIterations);
    ASSERT_TRUE(Eventually([&] { return Field(board, PciTester::kIterations) >= start + 2; }, 20));
    const uint32_t hostAborts = Field(board, PciTester::kHostAborts);
    const uint32_t settled = Field(board, PciTester::kIterations);
    ASSERT_TRUE(Eventually([&] { return Field(board, PciTester::kIterations) >= settled + 2; }, 20));
    EXPECT_EQ(Field(board, PciTester::kFailureTotal), 0u);
    EXPECT_EQ(Field(board, PciTester::kHostAborts), hostAborts);
    EXPECT_EQ(Field(board, PciTester::kDspAborts), 0u);
    EXPECT_LT(Field(board, PciTester::kSequence), 4u);
    EXPECT_LE(Field(board, PciTester::kDirection), 1u);
    EXPECT_EQ(Field(board, 136), 0x1234u); // the host's field stays
    for (uint32_t high : {PciTester::kWriteHigh, PciTester::kReadHigh}) {
        const uint32_t hi = Field(board, high), lo = Field(board, high + 4), avg = Field(board, high + 8);
        EXPECT_LE(lo, avg);
        EXPECT_LE(avg, hi);
        // 64 KB at 100 MB/s is 58,982 ticks of 90 MHz, give or take half a percent.
        EXPECT_GE(lo, 58'982u * 995 / 1000);
        EXPECT_LE(hi, 58'982u * 1005 / 1000 + 1);
    }
    board.PciHooks().CorruptHostWords(1);
    // The tester writes its total and then the sequence's count, two words of its memory: wait until
    // both show the failure.
    auto perSequence = [&] {
        uint32_t sum = 0;
        for (uint32_t s = 0; s < 4; ++s)
            sum += Field(board, PciTester::kSequenceFailures + 4 * s);
        return sum;
    };
    ASSERT_TRUE(Eventually([&] { return Field(board, PciTester::kFailureTotal) >= 1 && perSequence() >= 1; }, 20));
    EXPECT_EQ(perSequence(), Field(board, PciTester::kFailureTotal));
    EXPECT_EQ(Field(board, PciTester::kFailureTotal), 1u);

    const uint32_t doorbells = Field(board, PciTester::kDoorbells);
    board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
    ASSERT_TRUE(Eventually([&] { return Field(board, PciTester::kDoorbells) == doorbells + 1; }));

    board.PciHooks().AbortDspTransfers(2);
    ASSERT_TRUE(Eventually([&] { return Field(board, PciTester::kDspAborts) == 2; }, 20));
    // Two more iterations: at least one whole write lands after the corrupted one and the aborts.
    const uint32_t afterAborts = Field(board, PciTester::kIterations);
    ASSERT_TRUE(Eventually([&] { return Field(board, PciTester::kIterations) >= afterAborts + 2; }, 20));

    // The host takes its buffer off the bus: the transfers abort on the host's side, and the buffer
    // keeps what the last write that landed put there, one sequence's pattern throughout.
    host->Withdraw();
    const auto& bytes = host->Bytes();
    std::vector<uint32_t> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), bytes.size());
    size_t matching = 0;
    for (const auto& pattern : PciTester::kSequences) {
        bool all = true;
        for (size_t i = 0; i < words.size() && all; ++i)
            all = words[i] == pattern[i % 4];
        matching += all;
    }
    EXPECT_EQ(matching, 1u) << "first word " << std::hex << words[0];
    ASSERT_TRUE(Eventually([&] { return Field(board, PciTester::kHostAborts) >= hostAborts + 2; }, 20));
    EXPECT_EQ(Field(board, PciTester::kFailureTotal), 1u);
}

} // namespace
} // namespace board
