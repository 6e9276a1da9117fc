// MmMapIoSpace and the HAL register accessors reaching the fake device through the process's bus, and
// every misuse of them recorded by the verifier.
#include <gtest/gtest.h>

#include <cstring>

#include "FakeDevice.h"
#include "km/hal.h"
#include "km/irql.h"
#include "km/mm.h"
#include "platform/bus/Bus.h"
#include "standin/verifier.h"

using fake::Access;
using fake::FakeDevice;
using fake::Op;
using fake::Target;
using platform::AccessWidth;

namespace {

PHYSICAL_ADDRESS Physical(uint64_t address)
{
    PHYSICAL_ADDRESS p;
    p.QuadPart = static_cast<LONGLONG>(address);
    return p;
}

class RegisterAccess : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(device.Plug(), platform::BusStatus::Ok);
        regs = static_cast<PUCHAR>(MmMapIoSpace(Physical(FakeDevice::kRegisterBase), FakeDevice::kRegisterLength,
                                                MmNonCached));
        memory = static_cast<PUCHAR>(MmMapIoSpace(Physical(FakeDevice::kMemoryBase), FakeDevice::kMemoryLength,
                                                  MmNonCached));
        ASSERT_NE(regs, nullptr);
        ASSERT_NE(memory, nullptr);
    }
    void TearDown() override
    {
        if (regs)
            MmUnmapIoSpace(regs, FakeDevice::kRegisterLength);
        if (memory)
            MmUnmapIoSpace(memory, FakeDevice::kMemoryLength);
    }
    // Breaches a test provokes on purpose, read quietly.
    static std::vector<standin::VerifierViolation> Breaches()
    {
        return standin::VerifierTakeViolations();
    }
    static void Quiet() { standin::VerifierSetEcho(false); }
    static void Loud() { standin::VerifierSetEcho(true); }

    PULONG Reg32(uint64_t offset) { return reinterpret_cast<PULONG>(regs + offset); }

    FakeDevice device{platform::Bus::Instance().Memory(), platform::Bus::Instance().Interrupts()};
    PUCHAR regs = nullptr;
    PUCHAR memory = nullptr;
};

} // namespace

// The bounds of a mapping are the bus's (tested there); these are the checks of the function itself.
TEST_F(RegisterAccess, MmMapIoSpaceRefusesWhatItCannotMap)
{
    EXPECT_EQ(MmMapIoSpace(Physical(FakeDevice::kRegisterBase), FakeDevice::kRegisterLength + 1, MmNonCached),
              nullptr);
    EXPECT_EQ(MmMapIoSpace(Physical(FakeDevice::kRegisterBase), 0, MmNonCached), nullptr);
    EXPECT_EQ(MmMapIoSpace(Physical(~uint64_t{0}), 4, MmNonCached), nullptr); // negative
    EXPECT_EQ(MmMapIoSpace(Physical(FakeDevice::kRegisterBase), 4, MmMaximumCacheType), nullptr);
    const uint64_t lastByte = FakeDevice::kMemoryBase + FakeDevice::kMemoryLength - 1;
    PVOID last = MmMapIoSpace(Physical(lastByte), 1, MmCached);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(last) % 4096, lastByte % 4096);
    MmUnmapIoSpace(last, 1);
    EXPECT_TRUE(Breaches().empty());
}

TEST_F(RegisterAccess, SingleAccessesReachTheDeviceWithExactWidthsAndValues)
{
    EXPECT_EQ(READ_REGISTER_ULONG(Reg32(FakeDevice::kId)), FakeDevice::kIdentity);
    WRITE_REGISTER_USHORT(reinterpret_cast<PUSHORT>(regs + FakeDevice::kScratch + 2), 0xBEEF);
    WRITE_REGISTER_UCHAR(regs + FakeDevice::kScratch, 0x12);
    WRITE_REGISTER_ULONG(Reg32(FakeDevice::kData), 0xA1B2C3D4);
    EXPECT_EQ(READ_REGISTER_ULONG(Reg32(FakeDevice::kScratch)), 0xBEEF0012u);
    EXPECT_EQ(READ_REGISTER_USHORT(reinterpret_cast<PUSHORT>(regs + FakeDevice::kData + 1)), 0xB2C3u);
    EXPECT_EQ(READ_REGISTER_UCHAR(regs + FakeDevice::kData + 3), 0xA1u);
    const std::vector<Access> expected{
        {Target::Registers, Op::Read, FakeDevice::kId, AccessWidth::Dword, FakeDevice::kIdentity, 1},
        {Target::Registers, Op::Write, FakeDevice::kScratch + 2, AccessWidth::Word, 0xBEEF, 1},
        {Target::Registers, Op::Write, FakeDevice::kScratch, AccessWidth::Byte, 0x12, 1},
        {Target::Registers, Op::Write, FakeDevice::kData, AccessWidth::Dword, 0xA1B2C3D4, 1},
        {Target::Registers, Op::Read, FakeDevice::kScratch, AccessWidth::Dword, 0xBEEF0012, 1},
        {Target::Registers, Op::Read, FakeDevice::kData + 1, AccessWidth::Word, 0xB2C3, 1},
        {Target::Registers, Op::Read, FakeDevice::kData + 3, AccessWidth::Byte, 0xA1, 1},
    };
    EXPECT_EQ(device.TakeLog(), expected);
    EXPECT_TRUE(Breaches().empty());
}

TEST_F(RegisterAccess, BufferFormsMoveRunsWithTheirWidth)
{
    ULONG words[4] = {0x03020100, 0x07060504, 0x0B0A0908, 0x0F0E0D0C};
    WRITE_REGISTER_BUFFER_ULONG(reinterpret_cast<PULONG>(memory + 0x100), words, 4);
    UCHAR bytes[16] = {};
    READ_REGISTER_BUFFER_UCHAR(memory + 0x100, bytes, 16);
    for (unsigned i = 0; i < 16; ++i)
        EXPECT_EQ(bytes[i], i);
    USHORT halves[2] = {0x2211, 0x4433};
    WRITE_REGISTER_BUFFER_USHORT(reinterpret_cast<PUSHORT>(memory + 0x102), halves, 2);
    USHORT back[3] = {};
    READ_REGISTER_BUFFER_USHORT(reinterpret_cast<PUSHORT>(memory + 0x100), back, 3);
    EXPECT_EQ(back[0], 0x0100);
    EXPECT_EQ(back[1], 0x2211);
    EXPECT_EQ(back[2], 0x4433);
    ULONG one = 0;
    READ_REGISTER_BUFFER_ULONG(reinterpret_cast<PULONG>(memory + 0x104), &one, 1);
    EXPECT_EQ(one, 0x07064433u);
    const std::vector<Access> expected{
        {Target::Memory, Op::WriteBuffer, 0x100, AccessWidth::Dword, 0, 4},
        {Target::Memory, Op::ReadBuffer, 0x100, AccessWidth::Byte, 0, 16},
        {Target::Memory, Op::WriteBuffer, 0x102, AccessWidth::Word, 0, 2},
        {Target::Memory, Op::ReadBuffer, 0x100, AccessWidth::Word, 0, 3},
        {Target::Memory, Op::ReadBuffer, 0x104, AccessWidth::Dword, 0, 1},
    };
    EXPECT_EQ(device.TakeLog(), expected);
    // A zero count moves nothing, wherever it points.
    READ_REGISTER_BUFFER_ULONG(reinterpret_cast<PULONG>(words), nullptr, 0);
    EXPECT_TRUE(device.TakeLog().empty());
    EXPECT_TRUE(Breaches().empty());
}

TEST_F(RegisterAccess, MisalignedAccessesReachTheDeviceUnchanged)
{
    UCHAR pattern[8] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};
    WRITE_REGISTER_BUFFER_UCHAR(memory + 0x200, pattern, 8);
    EXPECT_EQ(READ_REGISTER_ULONG(reinterpret_cast<PULONG>(memory + 0x201)), 0x14131211u);
    // The register file decodes whole registers only: a read across two of them answers all ones.
    EXPECT_EQ(READ_REGISTER_ULONG(Reg32(FakeDevice::kScratch + 2)), 0xFFFFFFFFu);
    const auto log = device.TakeLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1], (Access{Target::Memory, Op::Read, 0x201, AccessWidth::Dword, 0x14131211, 1}));
    EXPECT_EQ(log[2],
              (Access{Target::Registers, Op::Read, FakeDevice::kScratch + 2, AccessWidth::Dword, 0xFFFFFFFF, 1}));
    EXPECT_TRUE(Breaches().empty());
}

TEST_F(RegisterAccess, AnInterruptIsRaisedAndAcknowledgedThroughRegisters)
{
    auto line = platform::Bus::Instance().Interrupts().Find(FakeDevice::kVector);
    ASSERT_NE(line, nullptr);
    WRITE_REGISTER_ULONG(Reg32(FakeDevice::kRaise), 0x3);
    EXPECT_TRUE(line->IsAsserted());
    EXPECT_EQ(READ_REGISTER_ULONG(Reg32(FakeDevice::kStatus)), 0x3u);
    WRITE_REGISTER_ULONG(Reg32(FakeDevice::kStatus), 0x3);
    EXPECT_FALSE(line->IsAsserted());
    EXPECT_EQ(device.Status(), 0u);
}

TEST_F(RegisterAccess, BadAccessesAreBreachesThatTouchNothing)
{
    Quiet();
    EXPECT_EQ(READ_REGISTER_ULONG(Reg32(FakeDevice::kRegisterLength - 2)), 0xFFFFFFFFu);
    ULONG host = 0x1234;
    WRITE_REGISTER_ULONG(&host, 0x5678);
    EXPECT_EQ(host, 0x1234u);
    UCHAR run[6];
    std::memset(run, 0, sizeof run);
    READ_REGISTER_BUFFER_UCHAR(memory + FakeDevice::kMemoryLength - 4, run, 6);
    EXPECT_EQ(run[0], 0xFF);
    EXPECT_EQ(run[5], 0xFF);
    WRITE_REGISTER_BUFFER_ULONG(reinterpret_cast<PULONG>(memory), nullptr, 2);
    const auto breaches = Breaches();
    Loud();
    ASSERT_EQ(breaches.size(), 4u);
    for (const auto& b : breaches)
        EXPECT_EQ(b.rule, "register-access");
    EXPECT_EQ(breaches[0].detail.rfind("READ_REGISTER_ULONG(0x", 0), 0u) << breaches[0].detail;
    EXPECT_NE(breaches[0].detail.find("4 bytes): the access runs past the end of its mapping"), std::string::npos);
    EXPECT_NE(breaches[1].detail.find("lies in no I/O-space mapping"), std::string::npos);
    EXPECT_NE(breaches[2].detail.find("6 bytes"), std::string::npos);
    EXPECT_NE(breaches[3].detail.find("invalid argument"), std::string::npos);
    EXPECT_TRUE(device.TakeLog().empty());
}

TEST_F(RegisterAccess, AccessAfterUnmapIsABreach)
{
    MmUnmapIoSpace(regs, FakeDevice::kRegisterLength);
    PUCHAR stale = regs;
    regs = nullptr;
    Quiet();
    EXPECT_EQ(READ_REGISTER_ULONG(reinterpret_cast<PULONG>(stale)), 0xFFFFFFFFu);
    WRITE_REGISTER_UCHAR(stale + FakeDevice::kRaise, 1);
    const auto breaches = Breaches();
    Loud();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_NE(breaches[1].detail.find("WRITE_REGISTER_UCHAR"), std::string::npos);
    EXPECT_TRUE(device.TakeLog().empty());
    EXPECT_FALSE(device.Line().IsAsserted());
}

TEST_F(RegisterAccess, MmUnmapIoSpaceWithAnotherLengthIsABreachAndUnmapsNothing)
{
    Quiet();
    MmUnmapIoSpace(regs, FakeDevice::kRegisterLength / 2);
    const auto breaches = Breaches();
    Loud();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "io-space");
    EXPECT_NE(breaches[0].detail.find("the size does not match"), std::string::npos);
    EXPECT_EQ(READ_REGISTER_ULONG(Reg32(FakeDevice::kId)), FakeDevice::kIdentity);
}

TEST_F(RegisterAccess, AMappingLeftBehindIsReportedByTheLeakCheck)
{
    Quiet();
    EXPECT_EQ(standin::VerifierCheckLeaks(), 2u);
    const auto breaches = Breaches();
    Loud();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "leak");
    EXPECT_EQ(breaches[0].detail.rfind("io-space: mapping at 0x", 0), 0u) << breaches[0].detail;
    EXPECT_NE(breaches[0].detail.find("of 0x40 bytes (physical 0xFE000000, device range \"fake registers\")"),
              std::string::npos)
        << breaches[0].detail;
}

TEST_F(RegisterAccess, UnpluggingAMappedDeviceIsABreachAndCutsItOff)
{
    Quiet();
    device.Unplug();
    auto breaches = Breaches();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "bus");
    EXPECT_NE(breaches[0].detail.find("\"fake memory\""), std::string::npos);
    EXPECT_NE(breaches[1].detail.find("\"fake registers\""), std::string::npos);
    EXPECT_EQ(READ_REGISTER_ULONG(Reg32(FakeDevice::kId)), 0xFFFFFFFFu);
    breaches = Breaches();
    Loud();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_NE(breaches[0].detail.find("has been unregistered"), std::string::npos);
    EXPECT_TRUE(device.TakeLog().empty());
}

TEST_F(RegisterAccess, MappingAboveDispatchLevelIsABreach)
{
    KIRQL old;
    KeRaiseIrql(PROFILE_LEVEL, &old);
    Quiet();
    PVOID extra = MmMapIoSpace(Physical(FakeDevice::kMemoryBase), 4, MmNonCached);
    MmUnmapIoSpace(extra, 4);
    KeLowerIrql(old);
    const auto breaches = Breaches();
    Loud();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "irql");
    EXPECT_NE(breaches[0].detail.find("MmMapIoSpace called at IRQL 27"), std::string::npos);
    EXPECT_NE(breaches[1].detail.find("MmUnmapIoSpace"), std::string::npos);
    // Register access itself is allowed at any level, as from an interrupt routine.
    KeRaiseIrql(PROFILE_LEVEL, &old);
    EXPECT_EQ(READ_REGISTER_ULONG(Reg32(FakeDevice::kId)), FakeDevice::kIdentity);
    KeLowerIrql(old);
    EXPECT_TRUE(Breaches().empty());
}
