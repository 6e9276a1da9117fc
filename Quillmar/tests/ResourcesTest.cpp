// FindResource over variable-length resource lists, and IoRange mapping the fake bus device's
// ranges from them through MmMapIoSpace.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "FakeDevice.h"
#include "kernel/findresource.h"
#include "kernel/iorange.h"
#include "km/hal.h"
#include "km/resources.h"
#include "km/status.h"
#include "platform/bus/Bus.h"

using fake::FakeDevice;

namespace {

CM_PARTIAL_RESOURCE_DESCRIPTOR Memory(uint64_t start, ULONG length)
{
    CM_PARTIAL_RESOURCE_DESCRIPTOR d{};
    d.Type = CmResourceTypeMemory;
    d.ShareDisposition = CmResourceShareDeviceExclusive;
    d.u.Memory.Start.QuadPart = static_cast<LONGLONG>(start);
    d.u.Memory.Length = length;
    return d;
}

CM_PARTIAL_RESOURCE_DESCRIPTOR Port(uint64_t start, ULONG length)
{
    CM_PARTIAL_RESOURCE_DESCRIPTOR d{};
    d.Type = CmResourceTypePort;
    d.Flags = CM_RESOURCE_PORT_IO;
    d.u.Port.Start.QuadPart = static_cast<LONGLONG>(start);
    d.u.Port.Length = length;
    return d;
}

CM_PARTIAL_RESOURCE_DESCRIPTOR Interrupt(ULONG vector)
{
    CM_PARTIAL_RESOURCE_DESCRIPTOR d{};
    d.Type = CmResourceTypeInterrupt;
    d.ShareDisposition = CmResourceShareShared;
    d.u.Interrupt.Level = vector;
    d.u.Interrupt.Vector = vector;
    d.u.Interrupt.Affinity = 1;
    return d;
}

// Device-specific data of `bytes` bytes follows the descriptor.
struct Partial {
    Partial(const CM_PARTIAL_RESOURCE_DESCRIPTOR& d, std::vector<uint8_t> bytes = {})
        : descriptor(d), data(bytes)
    {
    }
    CM_PARTIAL_RESOURCE_DESCRIPTOR descriptor;
    std::vector<uint8_t> data;
};

Partial DeviceSpecific(size_t bytes)
{
    Partial p{CM_PARTIAL_RESOURCE_DESCRIPTOR{}, std::vector<uint8_t>(bytes, 0xA5)};
    p.descriptor.Type = CmResourceTypeDeviceSpecific;
    p.descriptor.u.DeviceSpecificData.DataSize = static_cast<ULONG>(bytes);
    return p;
}

// Lays a resource list out as the PnP manager does: full descriptors back to back, each followed
// directly by its partial descriptors.
class ResourceList {
public:
    explicit ResourceList(std::vector<std::vector<Partial>> fulls)
    {
        Append(static_cast<ULONG>(fulls.size()));
        for (const auto& partials : fulls) {
            Append(static_cast<ULONG>(PCIBus));
            Append(ULONG{0}); // bus number
            Append(USHORT{1});
            Append(USHORT{1});
            Append(static_cast<ULONG>(partials.size()));
            for (const auto& p : partials) {
                Append(p.descriptor);
                bytes_.insert(bytes_.end(), p.data.begin(), p.data.end());
            }
        }
        storage_.resize((bytes_.size() + 7) / 8 + 1);
        std::memcpy(storage_.data(), bytes_.data(), bytes_.size());
    }
    PCM_RESOURCE_LIST Get() { return reinterpret_cast<PCM_RESOURCE_LIST>(storage_.data()); }
    PCM_PARTIAL_RESOURCE_DESCRIPTOR At(size_t offset)
    {
        return reinterpret_cast<PCM_PARTIAL_RESOURCE_DESCRIPTOR>(reinterpret_cast<uint8_t*>(storage_.data()) +
                                                                 offset);
    }

private:
    template <typename T> void Append(const T& value)
    {
        const auto* p = reinterpret_cast<const uint8_t*>(&value);
        bytes_.insert(bytes_.end(), p, p + sizeof(T));
    }
    std::vector<uint8_t> bytes_;
    std::vector<uint64_t> storage_;
};

// A copy of the start: the field is packed to 4-byte alignment, so no reference may bind to it.
LONGLONG StartOf(const CM_PARTIAL_RESOURCE_DESCRIPTOR* d)
{
    return d->u.Memory.Start.QuadPart;
}

// Offsets in a list: 4 for the count, 16 per full descriptor header, 20 per partial descriptor.
constexpr size_t kFirstPartial = 4 + 16;

} // namespace

TEST(FindResource, CountsMatchesAcrossFullDescriptors)
{
    ResourceList list(
        {{Port(0x300, 8), Memory(0xFE000000, 0x1000)}, {Interrupt(5), Memory(0xFD000000, 0x2000)}});
    PCM_PARTIAL_RESOURCE_DESCRIPTOR first = FindResource(list.Get(), CmResourceTypeMemory, 0);
    PCM_PARTIAL_RESOURCE_DESCRIPTOR second = FindResource(list.Get(), CmResourceTypeMemory, 1);
    EXPECT_EQ(first, list.At(kFirstPartial + 20));
    EXPECT_EQ(second, list.At(kFirstPartial + 40 + 16 + 20));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(StartOf(second), 0xFD000000);
    EXPECT_EQ(second->u.Memory.Length, 0x2000u);
    EXPECT_EQ(FindResource(list.Get(), CmResourceTypeMemory, 2), nullptr);
    EXPECT_EQ(FindResource(list.Get(), CmResourceTypeInterrupt, 0)->u.Interrupt.Vector, 5u);
    EXPECT_EQ(FindResource(list.Get(), CmResourceTypeDma, 0), nullptr);
    EXPECT_EQ(FindResource(nullptr, CmResourceTypeMemory, 0), nullptr);
    ResourceList empty({});
    EXPECT_EQ(FindResource(empty.Get(), CmResourceTypeMemory, 0), nullptr);
}

TEST(FindResource, StepsOverDeviceSpecificData)
{
    ResourceList list(
        {{DeviceSpecific(12), Memory(0xFE000000, 0x1000)}, {DeviceSpecific(0), Memory(0xFD000000, 0x2000)}});
    PCM_PARTIAL_RESOURCE_DESCRIPTOR second = FindResource(list.Get(), CmResourceTypeMemory, 1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(StartOf(second), 0xFD000000);
    EXPECT_EQ(StartOf(FindResource(list.Get(), CmResourceTypeMemory, 0)), 0xFE000000);
    EXPECT_EQ(FindResource(list.Get(), CmResourceTypeDeviceSpecific, 1),
              list.At(kFirstPartial + 20 + 12 + 20 + 16));
}

class IoRangeTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.Plug(), platform::BusStatus::Ok); }

    static ULONG ReadRegister(const IoRange& range, uint64_t offset)
    {
        return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(range.Address() + offset));
    }

    FakeDevice device{platform::Bus::Instance().Memory(), platform::Bus::Instance().Interrupts()};
    // The window first, the registers second, as the board's resources come.
    ResourceList resources{
        {{Interrupt(FakeDevice::kVector), Memory(FakeDevice::kMemoryBase, FakeDevice::kMemoryLength)},
         {Memory(FakeDevice::kRegisterBase, FakeDevice::kRegisterLength)}}};
};

TEST_F(IoRangeTest, MapsTheIndexedMemoryResource)
{
    IoRange registers;
    ASSERT_EQ(registers.FromResources(resources.Get(), 1, true), STATUS_SUCCESS);
    EXPECT_TRUE(registers.IsMapped());
    EXPECT_FALSE(registers.IsPort());
    EXPECT_EQ(registers.Physical().QuadPart, static_cast<LONGLONG>(FakeDevice::kRegisterBase));
    EXPECT_EQ(registers.Length(), FakeDevice::kRegisterLength);
    EXPECT_EQ(ReadRegister(registers, FakeDevice::kId), FakeDevice::kIdentity);
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(registers.Address() + FakeDevice::kScratch),
                         0x1234);
    EXPECT_EQ(ReadRegister(registers, FakeDevice::kScratch), 0x1234u);

    registers.Unmap(); // the io-space leak check would report a mapping left behind
    EXPECT_FALSE(registers.IsMapped());
    EXPECT_EQ(registers.Address(), nullptr);
    registers.Unmap(); // once only

    // The destructor unmaps the window.
    IoRange window;
    ASSERT_EQ(window.FromResources(resources.Get(), 0, true), STATUS_SUCCESS);
    device.FillMemory(0x5A);
    EXPECT_EQ(READ_REGISTER_UCHAR(window.Address() + 0xFFF), 0x5A);
}

TEST_F(IoRangeTest, ReinitialisingUnmapsTheOldRangeFirst)
{
    IoRange range;
    ASSERT_EQ(range.FromResources(resources.Get(), 1, true), STATUS_SUCCESS);
    ASSERT_EQ(range.FromResources(resources.Get(), 0, true), STATUS_SUCCESS);
    EXPECT_EQ(range.Length(), FakeDevice::kMemoryLength);
    device.FillMemory(0x11);
    EXPECT_EQ(READ_REGISTER_UCHAR(range.Address()), 0x11);
    // A memory range taken without mapping has no address.
    PHYSICAL_ADDRESS start;
    start.QuadPart = FakeDevice::kRegisterBase;
    EXPECT_EQ(range.Initialize(start, false, FakeDevice::kRegisterLength, false), STATUS_SUCCESS);
    EXPECT_FALSE(range.IsMapped());
    EXPECT_EQ(range.Address(), nullptr);
}

TEST_F(IoRangeTest, PortRangeKeepsItsAddress)
{
    IoRange ports;
    PHYSICAL_ADDRESS start;
    start.QuadPart = 0x3F8;
    EXPECT_EQ(ports.Initialize(start, true, 8, true), STATUS_SUCCESS);
    EXPECT_TRUE(ports.IsPort());
    EXPECT_FALSE(ports.IsMapped());
    EXPECT_EQ(ports.Address(), reinterpret_cast<PUCHAR>(0x3F8));
    ports.Unmap(); // nothing mapped, nothing unmapped
    EXPECT_EQ(ports.Address(), reinterpret_cast<PUCHAR>(0x3F8));
}

TEST_F(IoRangeTest, FailuresReportTheirStatus)
{
    IoRange range;
    ResourceList noMemory({{Port(0x300, 8), Interrupt(5)}});
    EXPECT_EQ(range.FromResources(noMemory.Get(), 0, true), STATUS_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(static_cast<ULONG>(range.LastStatus()), 0xC000008Au);
    EXPECT_EQ(range.FromResources(resources.Get(), 2, true), STATUS_RESOURCE_TYPE_NOT_FOUND);

    // A descriptor naming memory that no device answers for cannot be mapped.
    ResourceList nowhere({{Memory(0x10000000, 0x1000)}});
    EXPECT_EQ(range.FromResources(nowhere.Get(), 0, true), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(static_cast<ULONG>(range.LastStatus()), 0xC000009Au);
    EXPECT_FALSE(range.IsMapped());
    // Nor can a range longer than the device's.
    ResourceList tooLong({{Memory(FakeDevice::kRegisterBase, FakeDevice::kRegisterLength + 4)}});
    EXPECT_EQ(range.FromResources(tooLong.Get(), 0, true), STATUS_INSUFFICIENT_RESOURCES);
    // Without mapping, the same descriptor is taken as it is.
    EXPECT_EQ(range.FromResources(nowhere.Get(), 0, false), STATUS_SUCCESS);
    EXPECT_EQ(range.LastStatus(), STATUS_SUCCESS);
}
