// Device ranges, token mappings and the routing of accesses to the models, on a bus of the test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>

#include "FakeDevice.h"
#include "platform/bus/BusFault.h"

using fake::Access;
using fake::FakeDevice;
using fake::Op;
using fake::Target;
using platform::AccessWidth;
using platform::BusStatus;

namespace {

class BusMemoryMapTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.Plug(), BusStatus::Ok); }

    void* MapOrFail(uint64_t physical, uint64_t length)
    {
        void* token = nullptr;
        EXPECT_EQ(bus.Map(physical, length, token), BusStatus::Ok);
        EXPECT_NE(token, nullptr);
        return token;
    }
    static void* At(void* token, uint64_t offset) { return static_cast<char*>(token) + offset; }

    platform::BusMemoryMap bus{size_t{256} << 20};
    platform::InterruptLineTable lines;
    FakeDevice device{bus, lines};
};

// Captures the bus faults of one test.
class FaultCapture {
public:
    FaultCapture()
    {
        m_previous = platform::SetBusFaultHook([this](const char* rule, const std::string& detail) {
            std::lock_guard<std::mutex> hold(m_lock);
            m_faults.push_back(std::string(rule) + ": " + detail);
        });
    }
    ~FaultCapture() { platform::SetBusFaultHook(m_previous); }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return std::move(m_faults);
    }

private:
    platform::BusFaultHook m_previous;
    std::mutex m_lock;
    std::vector<std::string> m_faults;
};

class NullModel : public platform::DeviceMemory {
public:
    uint8_t Read8(uint64_t) override { return 0; }
    uint16_t Read16(uint64_t) override { return 0; }
    uint32_t Read32(uint64_t offset) override { return static_cast<uint32_t>(offset); }
    void Write8(uint64_t, uint8_t) override {}
    void Write16(uint64_t, uint16_t) override {}
    void Write32(uint64_t, uint32_t) override {}
};

} // namespace

TEST_F(BusMemoryMapTest, RegistrationRefusesOverlapsAndEmptyOrWrappingRanges)
{
    NullModel other;
    EXPECT_EQ(bus.RegisterRange(FakeDevice::kRegisterBase + 0x3F, 1, other, "x"), BusStatus::Overlap);
    EXPECT_EQ(bus.RegisterRange(FakeDevice::kRegisterBase - 1, 2, other, "x"), BusStatus::Overlap);
    EXPECT_EQ(bus.RegisterRange(FakeDevice::kRegisterBase - 0x100, 0x1000, other, "x"), BusStatus::Overlap);
    EXPECT_EQ(bus.RegisterRange(0x1000, 0, other, "x"), BusStatus::InvalidArgument);
    EXPECT_EQ(bus.RegisterRange(~uint64_t{0} - 0xF, 0x20, other, "x"), BusStatus::InvalidArgument);
    // Ranges may touch: the last byte of one is followed by the first of the next.
    EXPECT_EQ(bus.RegisterRange(FakeDevice::kRegisterBase - 1, 1, other, "below"), BusStatus::Ok);
    EXPECT_EQ(bus.RegisterRange(~uint64_t{0}, 1, other, "top byte"), BusStatus::Ok);
    EXPECT_EQ(bus.UnregisterRange(FakeDevice::kRegisterBase + 4), BusStatus::NotRegistered);
    EXPECT_EQ(bus.UnregisterRange(FakeDevice::kRegisterBase - 1), BusStatus::Ok);
    EXPECT_EQ(bus.UnregisterRange(FakeDevice::kRegisterBase - 1), BusStatus::NotRegistered);
    EXPECT_EQ(bus.UnregisterRange(~uint64_t{0}), BusStatus::Ok);
}

TEST_F(BusMemoryMapTest, MappingMustLieWhollyInsideOneRange)
{
    void* token = reinterpret_cast<void*>(1);
    EXPECT_EQ(bus.Map(FakeDevice::kRegisterBase, FakeDevice::kRegisterLength + 1, token), BusStatus::NotRegistered);
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(bus.Map(FakeDevice::kRegisterBase - 1, 2, token), BusStatus::NotRegistered);
    EXPECT_EQ(bus.Map(0x1000, 4, token), BusStatus::NotRegistered);
    EXPECT_EQ(bus.Map(FakeDevice::kRegisterBase, 0, token), BusStatus::InvalidArgument);
    // Two ranges that touch are still two devices: a mapping may not span them.
    NullModel next;
    const uint64_t after = FakeDevice::kRegisterBase + FakeDevice::kRegisterLength;
    ASSERT_EQ(bus.RegisterRange(after, 0x40, next, "next"), BusStatus::Ok);
    EXPECT_EQ(bus.Map(after - 4, 8, token), BusStatus::NotRegistered);
    EXPECT_TRUE(bus.Mappings().empty());

    void* exact = MapOrFail(FakeDevice::kRegisterBase, FakeDevice::kRegisterLength);
    void* inner = MapOrFail(FakeDevice::kRegisterBase + FakeDevice::kSequence, 4);
    void* last = MapOrFail(after + 0x3F, 1);
    ASSERT_EQ(bus.Mappings().size(), 3u);
    uint32_t value = 0;
    EXPECT_EQ(bus.Read(inner, AccessWidth::Dword, value), BusStatus::Ok);
    EXPECT_EQ(device.TakeLog(), (std::vector<Access>{{Target::Registers, Op::Read, FakeDevice::kSequence,
                                                      AccessWidth::Dword, 1, 1}}));
    EXPECT_EQ(bus.Read(last, AccessWidth::Dword, value), BusStatus::PastEnd);
    EXPECT_EQ(bus.Unmap(exact, FakeDevice::kRegisterLength), BusStatus::Ok);
    EXPECT_EQ(bus.Unmap(inner, 4), BusStatus::Ok);
    EXPECT_EQ(bus.Unmap(last, 1), BusStatus::Ok);
    EXPECT_EQ(bus.UnregisterRange(after), BusStatus::Ok);
}

TEST_F(BusMemoryMapTest, TokenKeepsThePageOffsetAndIsNoHostMemory)
{
    void* token = MapOrFail(FakeDevice::kMemoryBase + 0x124, 0x10);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(token) % 4096, 0x124u);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH((void)*static_cast<volatile uint32_t*>(token), "");
    EXPECT_EQ(bus.Unmap(token, 0x10), BusStatus::Ok);
}

TEST_F(BusMemoryMapTest, SingleAccessesReachTheModelWithTheirWidthAndSideEffects)
{
    void* regs = MapOrFail(FakeDevice::kRegisterBase, FakeDevice::kRegisterLength);
    uint32_t value = 0;
    EXPECT_EQ(bus.Read(At(regs, FakeDevice::kId), AccessWidth::Dword, value), BusStatus::Ok);
    EXPECT_EQ(value, FakeDevice::kIdentity);
    EXPECT_EQ(bus.Write(At(regs, FakeDevice::kScratch + 2), AccessWidth::Word, 0xBEEF), BusStatus::Ok);
    EXPECT_EQ(bus.Write(At(regs, FakeDevice::kScratch), AccessWidth::Byte, 0x12), BusStatus::Ok);
    EXPECT_EQ(bus.Read(At(regs, FakeDevice::kScratch), AccessWidth::Dword, value), BusStatus::Ok);
    EXPECT_EQ(value, 0xBEEF0012u);
    EXPECT_EQ(bus.Read(At(regs, FakeDevice::kScratch + 1), AccessWidth::Word, value), BusStatus::Ok);
    EXPECT_EQ(value, 0xEF00u);
    EXPECT_EQ(bus.Read(At(regs, FakeDevice::kSequence), AccessWidth::Dword, value), BusStatus::Ok);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(bus.Read(At(regs, FakeDevice::kSequence), AccessWidth::Dword, value), BusStatus::Ok);
    EXPECT_EQ(value, 2u);
    const std::vector<Access> expected{
        {Target::Registers, Op::Read, FakeDevice::kId, AccessWidth::Dword, FakeDevice::kIdentity, 1},
        {Target::Registers, Op::Write, FakeDevice::kScratch + 2, AccessWidth::Word, 0xBEEF, 1},
        {Target::Registers, Op::Write, FakeDevice::kScratch, AccessWidth::Byte, 0x12, 1},
        {Target::Registers, Op::Read, FakeDevice::kScratch, AccessWidth::Dword, 0xBEEF0012, 1},
        {Target::Registers, Op::Read, FakeDevice::kScratch + 1, AccessWidth::Word, 0xEF00, 1},
        {Target::Registers, Op::Read, FakeDevice::kSequence, AccessWidth::Dword, 1, 1},
        {Target::Registers, Op::Read, FakeDevice::kSequence, AccessWidth::Dword, 2, 1},
    };
    EXPECT_EQ(device.TakeLog(), expected);
    EXPECT_EQ(bus.Unmap(regs, FakeDevice::kRegisterLength), BusStatus::Ok);
}

TEST_F(BusMemoryMapTest, RunsRiseThroughDeviceMemoryWithTheirWidth)
{
    void* mem = MapOrFail(FakeDevice::kMemoryBase, FakeDevice::kMemoryLength);
    const uint32_t words[3] = {0x03020100, 0x07060504, 0x0B0A0908};
    EXPECT_EQ(bus.WriteBuffer(At(mem, 0x10), AccessWidth::Dword, words, 3), BusStatus::Ok);
    const auto bytes = device.MemoryBytes(0x10, 12);
    for (unsigned i = 0; i < 12; ++i)
        EXPECT_EQ(bytes[i], i);
    // The host side of a run need not be aligned.
    alignas(4) unsigned char raw[1 + 12] = {};
    EXPECT_EQ(bus.ReadBuffer(At(mem, 0x12), AccessWidth::Word, raw + 1, 5), BusStatus::Ok);
    for (unsigned i = 0; i < 10; ++i)
        EXPECT_EQ(raw[1 + i], i + 2);
    EXPECT_EQ(raw[11], 0);
    EXPECT_EQ(device.TakeLog(), (std::vector<Access>{{Target::Memory, Op::WriteBuffer, 0x10, AccessWidth::Dword, 0, 3},
                                                     {Target::Memory, Op::ReadBuffer, 0x12, AccessWidth::Word, 0, 5}}));

    // A register file takes a run as one access per unit, each with its side effects.
    void* regs = MapOrFail(FakeDevice::kRegisterBase, FakeDevice::kRegisterLength);
    EXPECT_EQ(bus.WriteBuffer(At(regs, FakeDevice::kData), AccessWidth::Dword, words, 2), BusStatus::Ok);
    uint16_t halves[4] = {};
    EXPECT_EQ(bus.ReadBuffer(At(regs, FakeDevice::kData), AccessWidth::Word, halves, 4), BusStatus::Ok);
    EXPECT_EQ(halves[0], 0x0100);
    EXPECT_EQ(halves[3], 0x0706);
    const auto log = device.TakeLog();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[1], (Access{Target::Registers, Op::Write, FakeDevice::kData + 4, AccessWidth::Dword, 0x07060504, 1}));
    EXPECT_EQ(log[5], (Access{Target::Registers, Op::Read, FakeDevice::kData + 6, AccessWidth::Word, 0x0706, 1}));
    EXPECT_EQ(bus.Unmap(mem, FakeDevice::kMemoryLength), BusStatus::Ok);
    EXPECT_EQ(bus.Unmap(regs, FakeDevice::kRegisterLength), BusStatus::Ok);
}

TEST_F(BusMemoryMapTest, AccessesOutsideTheirMappingReachNothing)
{
    void* regs = MapOrFail(FakeDevice::kRegisterBase + 0x10, 0x20); // a window inside the register file
    uint32_t value = 0;
    EXPECT_EQ(bus.Read(At(regs, 0x1E), AccessWidth::Dword, value), BusStatus::PastEnd);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(bus.Read(At(regs, 0x20), AccessWidth::Byte, value), BusStatus::NotMapped);
    EXPECT_EQ(value, 0xFFu);
    EXPECT_EQ(bus.Read(At(regs, -1), AccessWidth::Word, value), BusStatus::NotMapped);
    EXPECT_EQ(value, 0xFFFFu);
    EXPECT_EQ(bus.Write(At(regs, 0x1F), AccessWidth::Word, 1), BusStatus::PastEnd);
    uint8_t run[8];
    std::memset(run, 0, sizeof run);
    EXPECT_EQ(bus.ReadBuffer(At(regs, 0x1C), AccessWidth::Dword, run, 2), BusStatus::PastEnd);
    EXPECT_EQ(run[0], 0xFF);
    EXPECT_EQ(run[7], 0xFF);
    EXPECT_EQ(bus.WriteBuffer(At(regs, 0x1C), AccessWidth::Byte, run, 5), BusStatus::PastEnd);
    EXPECT_EQ(bus.ReadBuffer(At(regs, 0), AccessWidth::Byte, nullptr, 1), BusStatus::InvalidArgument);
    EXPECT_EQ(bus.ReadBuffer(At(regs, 0x40), AccessWidth::Byte, nullptr, 0), BusStatus::Ok); // nothing moves
    int host = 7;
    EXPECT_EQ(bus.Write(&host, AccessWidth::Dword, 9), BusStatus::NotMapped);
    EXPECT_EQ(host, 7);
    EXPECT_TRUE(device.TakeLog().empty());

    EXPECT_EQ(bus.Unmap(regs, 0x20), BusStatus::Ok);
    EXPECT_EQ(bus.Read(regs, AccessWidth::Dword, value), BusStatus::NotMapped);
    // A new mapping of the same bytes gets a new token; the old one stays dead.
    void* again = MapOrFail(FakeDevice::kRegisterBase + 0x10, 0x20);
    EXPECT_NE(again, regs);
    EXPECT_EQ(bus.Read(regs, AccessWidth::Dword, value), BusStatus::NotMapped);
    EXPECT_TRUE(device.TakeLog().empty());
    EXPECT_EQ(bus.Unmap(again, 0x20), BusStatus::Ok);
}

TEST_F(BusMemoryMapTest, UnmapNeedsTheExactBaseAndLength)
{
    void* regs = MapOrFail(FakeDevice::kRegisterBase, FakeDevice::kRegisterLength);
    EXPECT_EQ(bus.Unmap(regs, FakeDevice::kRegisterLength - 1), BusStatus::WrongSize);
    EXPECT_EQ(bus.Unmap(At(regs, 4), FakeDevice::kRegisterLength - 4), BusStatus::NotMapped);
    EXPECT_EQ(bus.Unmap(nullptr, 4), BusStatus::NotMapped);
    ASSERT_EQ(bus.Mappings().size(), 1u);
    const auto info = bus.Mappings()[0];
    EXPECT_EQ(info.address, reinterpret_cast<uintptr_t>(regs));
    EXPECT_EQ(info.physical, FakeDevice::kRegisterBase);
    EXPECT_EQ(info.rangeName, "fake registers");
    EXPECT_EQ(bus.Unmap(regs, FakeDevice::kRegisterLength), BusStatus::Ok);
    EXPECT_EQ(bus.Unmap(regs, FakeDevice::kRegisterLength), BusStatus::NotMapped);
    EXPECT_TRUE(bus.Mappings().empty());
}

TEST_F(BusMemoryMapTest, UnregisteringAMappedRangeIsReportedAndCutsTheMappingOff)
{
    FaultCapture faults;
    void* regs = MapOrFail(FakeDevice::kRegisterBase, FakeDevice::kRegisterLength);
    EXPECT_EQ(bus.UnregisterRange(FakeDevice::kRegisterBase), BusStatus::Ok);
    const auto reported = faults.Take();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("bus: device range \"fake registers\" at physical 0xFE000000"), std::string::npos);
    EXPECT_NE(reported[0].find("1 mapping(s)"), std::string::npos);
    uint32_t value = 0;
    EXPECT_EQ(bus.Read(regs, AccessWidth::Dword, value), BusStatus::RangeRemoved);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_TRUE(bus.Mappings().at(0).rangeRemoved);
    EXPECT_TRUE(device.TakeLog().empty());
    EXPECT_EQ(bus.Unmap(regs, FakeDevice::kRegisterLength), BusStatus::Ok);
    EXPECT_TRUE(faults.Take().empty());
}

namespace {
// A model whose reads block until the test lets them go.
class GateModel : public NullModel {
public:
    uint32_t Read32(uint64_t) override
    {
        std::unique_lock<std::mutex> hold(lock);
        entered = true;
        changed.notify_all();
        changed.wait(hold, [this] { return released; });
        return 0x600D;
    }
    void WaitEntered()
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return entered; });
    }
    void ReleaseReads()
    {
        std::lock_guard<std::mutex> hold(lock);
        released = true;
        changed.notify_all();
    }
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};
} // namespace

TEST_F(BusMemoryMapTest, UnregisterWaitsForAnAccessInsideTheModel)
{
    auto model = std::make_unique<GateModel>();
    ASSERT_EQ(bus.RegisterRange(0x1000, 0x100, *model, "gate"), BusStatus::Ok);
    void* token = MapOrFail(0x1000, 0x100);
    uint32_t value = 0;
    std::thread reader([&] { EXPECT_EQ(bus.Read(token, AccessWidth::Dword, value), BusStatus::Ok); });
    model->WaitEntered();
    EXPECT_EQ(bus.Unmap(token, 0x100), BusStatus::Ok); // the access already inside goes on
    std::atomic<bool> unregistered{false};
    std::thread remover([&] {
        EXPECT_EQ(bus.UnregisterRange(0x1000), BusStatus::Ok);
        unregistered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(unregistered);
    model->ReleaseReads();
    remover.join();
    reader.join();
    EXPECT_TRUE(unregistered);
    EXPECT_EQ(value, 0x600Du);
    model.reset(); // safe now: nothing can be inside it
}

TEST_F(BusMemoryMapTest, AModelMayUnregisterItselfFromItsOwnHandler)
{
    struct SelfRemoving : NullModel {
        platform::BusMemoryMap* bus = nullptr;
        BusStatus status = BusStatus::InvalidArgument;
        void Write32(uint64_t, uint32_t) override { status = bus->UnregisterRange(0x1000); }
    } model;
    model.bus = &bus;
    ASSERT_EQ(bus.RegisterRange(0x1000, 0x100, model, "self"), BusStatus::Ok);
    void* token = MapOrFail(0x1000, 0x100);
    FaultCapture faults; // the range is still mapped while it removes itself
    EXPECT_EQ(bus.Write(token, AccessWidth::Dword, 1), BusStatus::Ok);
    EXPECT_EQ(model.status, BusStatus::Ok);
    EXPECT_EQ(faults.Take().size(), 1u);
    EXPECT_EQ(bus.Write(token, AccessWidth::Dword, 1), BusStatus::RangeRemoved);
    EXPECT_EQ(bus.Unmap(token, 0x100), BusStatus::Ok);
}

TEST_F(BusMemoryMapTest, ConcurrentAccessesEndCleanlyWhenTheRangeGoes)
{
    auto model = std::make_unique<NullModel>();
    ASSERT_EQ(bus.RegisterRange(0x1000, 0x100, *model, "busy"), BusStatus::Ok);
    void* token = MapOrFail(0x1000, 0x100);
    std::atomic<uint64_t> reads{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            uint32_t value = 0;
            while (bus.Read(At(token, 4 * t), AccessWidth::Dword, value) == BusStatus::Ok) {
                EXPECT_EQ(value, 4u * t);
                ++reads;
            }
        });
    while (reads < 1000)
        std::this_thread::yield();
    EXPECT_EQ(bus.Unmap(token, 0x100), BusStatus::Ok);
    EXPECT_EQ(bus.UnregisterRange(0x1000), BusStatus::Ok);
    model.reset(); // a late call into it would be a use after free
    for (auto& t : threads)
        t.join();
}
