// The board reached the way the driver reaches it: both ranges registered on the process's bus,
// mapped to tokens, and every access routed by the bus to the board's handlers.
#include <gtest/gtest.h>

#include "BoardTestSupport.h"
#include "board/MailboxLayout.h"
#include "board/StandardImages.h"
#include "platform/bus/Bus.h"

namespace board {
namespace {

using platform::AccessWidth;
using platform::BusStatus;

TEST(BoardOnTheBus, LoadsBootsAndInterruptsThroughMappedRanges)
{
    auto& memory = platform::Bus::Instance().Memory();
    CaptureBoard board({0, 4, 0});
    const auto ranges = board.MemoryRanges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(platform::CheckPciDeclaration(board.Location(), ranges), "");
    EXPECT_EQ(board.Identity().vendorId, 0x7A1E);
    EXPECT_EQ(board.Identity().classCode, 0x040000u);
    constexpr uint64_t kWindowBase = 0xF4000000, kRegisterBase = 0xF4800000;
    ASSERT_EQ(memory.RegisterRange(kWindowBase, ranges[0].size, *ranges[0].handler, ranges[0].name), BusStatus::Ok);
    ASSERT_EQ(memory.RegisterRange(kRegisterBase, ranges[1].size, *ranges[1].handler, ranges[1].name), BusStatus::Ok);
    void* window = nullptr;
    void* registers = nullptr;
    ASSERT_EQ(memory.Map(kWindowBase, kWindowSize, window), BusStatus::Ok);
    ASSERT_EQ(memory.Map(kRegisterBase, kPageRegister + 4, registers), BusStatus::Ok);
    auto reg = [&](uint32_t offset) { return static_cast<uint8_t*>(registers) + offset; };

    // Load the image as the host does: page, bytes, page 0.
    const FirmwareImage image = StandardImages::DspImage(Personality::MainFirmware);
    for (const ImageSection& s : image.Sections()) {
        ASSERT_EQ(memory.Write(reg(kPageRegister), AccessWidth::Dword, s.address >> kPageShift), BusStatus::Ok);
        ASSERT_EQ(memory.WriteBuffer(static_cast<uint8_t*>(window) + (s.address & kWindowOffsetMask), AccessWidth::Byte,
                                     s.bytes.data(), s.bytes.size()),
                  BusStatus::Ok);
    }
    memory.Write(reg(kPageRegister), AccessWidth::Dword, 0);
    uint32_t control = 0;
    memory.Read(reg(kDspControl), AccessWidth::Dword, control);
    memory.Write(reg(kDspControl), AccessWidth::Dword, control | kDspControlRunEnable);
    memory.Write(reg(kHostToDspControl), AccessWidth::Dword, kHostToDspDoorbell);

    auto line = board.Interrupt();
    ASSERT_TRUE(testing::Eventually([&] { return line->IsAsserted(); }));
    uint32_t status = 0;
    memory.Read(reg(kHostStatus), AccessWidth::Dword, status);
    EXPECT_EQ(status & kHostStatusInterrupt, 1u);
    memory.Write(reg(kHostStatus), AccessWidth::Dword, 3);
    EXPECT_FALSE(line->IsAsserted());
    uint32_t first = 0;
    memory.Read(static_cast<uint8_t*>(window) + kMailboxAddress, AccessWidth::Dword, first);
    EXPECT_EQ(first, StandardImages::kFirmwareVersion);

    EXPECT_EQ(memory.Unmap(window, kWindowSize), BusStatus::Ok);
    EXPECT_EQ(memory.Unmap(registers, kPageRegister + 4), BusStatus::Ok);
    EXPECT_EQ(memory.UnregisterRange(kWindowBase), BusStatus::Ok);
    EXPECT_EQ(memory.UnregisterRange(kRegisterBase), BusStatus::Ok);
}

} // namespace
} // namespace board
