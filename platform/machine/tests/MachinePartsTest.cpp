// The machine's parts on their own: the ids a PCI function gets, the check of its declaration, the
// placing of its resources, the resource lists of its start request, the gate in front of its ranges
// and the reading of driver file names.
#include <gtest/gtest.h>

#include "MachinePaths.h"
#include "PciDeviceIds.h"
#include "RangeGate.h"
#include "ResourceArbiter.h"
#include "ResourceList.h"
#include "Text.h"
#include "TestBoard.h"
#include "platform/bus/Bus.h"

#include <cstring>

using platform::PciAssignment;
using platform::PciMemoryRange;

namespace {

class PlainMemory : public platform::DeviceMemory {
public:
    uint8_t Read8(uint64_t) override { return 0x12; }
    uint16_t Read16(uint64_t) override { return 0x1234; }
    uint32_t Read32(uint64_t offset) override { return static_cast<uint32_t>(offset) + 0x1000; }
    void Write8(uint64_t, uint8_t) override { ++writes; }
    void Write16(uint64_t, uint16_t) override { ++writes; }
    void Write32(uint64_t, uint32_t) override { ++writes; }
    int writes = 0;
};

std::vector<PciMemoryRange> Ranges(std::initializer_list<uint64_t> sizes)
{
    static PlainMemory memory;
    std::vector<PciMemoryRange> ranges;
    for (uint64_t size : sizes)
        ranges.push_back({size, &memory, "range"});
    return ranges;
}

} // namespace

TEST(PciDeviceIds, HaveWindowsFormsMostSpecificFirst)
{
    platform::PciIdentity identity{0x7A1E, 0x0001, 0x1234, 0x00AB, 0x05, 0x048000};
    const auto ids = platform::MakePciDeviceIds(identity, {2, 4, 1});
    const std::vector<std::u16string> hardware = {
        u"PCI\\VEN_7A1E&DEV_0001&SUBSYS_00AB1234&REV_05", u"PCI\\VEN_7A1E&DEV_0001&SUBSYS_00AB1234",
        u"PCI\\VEN_7A1E&DEV_0001&CC_048000", u"PCI\\VEN_7A1E&DEV_0001&CC_0480"};
    EXPECT_EQ(ids.hardwareIds, hardware);
    const std::vector<std::u16string> compatible = {u"PCI\\VEN_7A1E&DEV_0001&REV_05",
                                                    u"PCI\\VEN_7A1E&DEV_0001",
                                                    u"PCI\\VEN_7A1E&CC_048000",
                                                    u"PCI\\VEN_7A1E&CC_0480",
                                                    u"PCI\\VEN_7A1E",
                                                    u"PCI\\CC_048000",
                                                    u"PCI\\CC_0480"};
    EXPECT_EQ(ids.compatibleIds, compatible);
    EXPECT_EQ(ids.location, u"PCI bus 2, device 4, function 1");
    EXPECT_EQ(ids.address, 0x40001u);
    // The instance path: the full hardware id, then "3&<hash>&0&<slot>" with slot 4 << 3 | 1.
    const std::u16string prefix = hardware[0] + u"\\3&";
    ASSERT_EQ(ids.instancePath.compare(0, prefix.size(), prefix), 0);
    EXPECT_EQ(ids.instancePath.substr(ids.instancePath.size() - 5), u"&0&21");
    EXPECT_EQ(ids.instancePath.size(), prefix.size() + 8 + 5);
    // The same location gives the same path; another bus another one.
    EXPECT_EQ(platform::MakePciDeviceIds(identity, {2, 4, 1}).instancePath, ids.instancePath);
    EXPECT_NE(platform::MakePciDeviceIds(identity, {3, 4, 1}).instancePath, ids.instancePath);
}

TEST(PciDeclaration, RefusesWhatNoFunctionCouldDeclare)
{
    EXPECT_EQ(platform::CheckPciDeclaration({0, 31, 7}, Ranges({4096, 1 << 20})), "");
    EXPECT_NE(platform::CheckPciDeclaration({256, 0, 0}, {}), "");
    EXPECT_NE(platform::CheckPciDeclaration({0, 32, 0}, {}), "");
    EXPECT_NE(platform::CheckPciDeclaration({0, 0, 8}, {}), "");
    EXPECT_NE(platform::CheckPciDeclaration({0, 0, 0}, Ranges({4096, 4096, 4096, 4096, 4096, 4096, 4096})),
              "");
    EXPECT_NE(platform::CheckPciDeclaration({0, 0, 0}, Ranges({0x420000})), "");
    EXPECT_NE(platform::CheckPciDeclaration({0, 0, 0}, Ranges({2048})), "");
    std::vector<PciMemoryRange> noHandler = {{4096, nullptr, "x"}};
    EXPECT_NE(platform::CheckPciDeclaration({0, 0, 0}, noHandler), "");
}

TEST(ResourceArbiter, PlacesRangesAlignedAboveTheDmaPoolWithoutOverlap)
{
    platform::ResourceArbiter arbiter;
    PciAssignment first, second;
    std::string error;
    ASSERT_TRUE(arbiter.Assign(Ranges({0x400000, 0x800000}), true, &first, &error)) << error;
    ASSERT_TRUE(arbiter.Assign(Ranges({0x1000, 0x400000}), true, &second, &error)) << error;
    std::vector<std::pair<uint64_t, uint64_t>> placed = {{first.memoryBases[0], 0x400000},
                                                         {first.memoryBases[1], 0x800000},
                                                         {second.memoryBases[0], 0x1000},
                                                         {second.memoryBases[1], 0x400000}};
    for (size_t i = 0; i < placed.size(); ++i) {
        EXPECT_GE(placed[i].first, platform::ResourceArbiter::kMemoryBase);
        EXPECT_LE(placed[i].first + placed[i].second, platform::ResourceArbiter::kMemoryEnd);
        EXPECT_EQ(placed[i].first % placed[i].second, 0u) << i;
        for (size_t k = i + 1; k < placed.size(); ++k)
            EXPECT_TRUE(placed[i].first + placed[i].second <= placed[k].first ||
                        placed[k].first + placed[k].second <= placed[i].first)
                << i << " overlaps " << k;
    }
    // Each function gets a vector of its own; request = vector - 0x40, level = vector / 16.
    EXPECT_NE(first.interruptVector, second.interruptVector);
    for (const auto* a : {&first, &second}) {
        EXPECT_TRUE(a->hasInterrupt);
        EXPECT_EQ(a->interruptRequest, a->interruptVector - 0x40);
        EXPECT_EQ(a->interruptLevel, a->interruptVector >> 4);
        EXPECT_GT(a->interruptLevel, 2);
    }
    // What is released is handed out again.
    arbiter.Release(first);
    PciAssignment third;
    ASSERT_TRUE(arbiter.Assign(Ranges({0x400000, 0x800000}), true, &third, &error));
    EXPECT_EQ(third.memoryBases, first.memoryBases);
    EXPECT_EQ(third.interruptVector, first.interruptVector);
}

TEST(ResourceArbiter, FailsWholeWhenARangeDoesNotFitAndSkipsVectorsInUse)
{
    platform::ResourceArbiter arbiter;
    PciAssignment placed;
    std::string error;
    EXPECT_FALSE(arbiter.Assign(Ranges({0x1000, 0x40000000}), false, &placed, &error));
    EXPECT_NE(error.find("range 1"), std::string::npos) << error;
    // The first range was given back: the whole window is still free.
    ASSERT_TRUE(arbiter.Assign(Ranges({0x10000000}), false, &placed, &error)) << error;
    EXPECT_EQ(placed.memoryBases[0], platform::ResourceArbiter::kMemoryBase);
    EXPECT_FALSE(placed.hasInterrupt);

    auto& lines = platform::Bus::Instance().Interrupts();
    ASSERT_EQ(
        lines.Register(platform::ResourceArbiter::kFirstVector, std::make_shared<platform::InterruptLine>()),
        platform::BusStatus::Ok);
    PciAssignment withLine;
    EXPECT_TRUE(arbiter.Assign({}, true, &withLine, &error));
    EXPECT_EQ(withLine.interruptVector, platform::ResourceArbiter::kFirstVector + 1);
    lines.Unregister(platform::ResourceArbiter::kFirstVector);
}

TEST(ResourceList, CarriesRangesThenTheInterruptInBothForms)
{
    PciAssignment placed;
    placed.memoryBases = {0xE0000000, 0xE0800000};
    placed.hasInterrupt = true;
    placed.interruptRequest = 0x11;
    placed.interruptVector = 0x51;
    placed.interruptLevel = 5;
    const auto ranges = Ranges({0x400000, 0x800000});
    for (bool translated : {false, true}) {
        auto list = translated ? platform::ResourceList::Translated(3, ranges, placed, 0xF)
                               : platform::ResourceList::Raw(3, ranges, placed, 0xF);
        EXPECT_EQ(list.Bytes(), sizeof(CM_RESOURCE_LIST) + 2 * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR));
        PCM_RESOURCE_LIST resources = list.Get();
        ASSERT_EQ(resources->Count, 1u);
        const auto& full = resources->List[0];
        EXPECT_EQ(full.InterfaceType, PCIBus);
        EXPECT_EQ(full.BusNumber, 3u);
        ASSERT_EQ(full.PartialResourceList.Count, 3u);
        const auto* d = full.PartialResourceList.PartialDescriptors;
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(d[i].Type, CmResourceTypeMemory);
            EXPECT_EQ(d[i].ShareDisposition, CmResourceShareDeviceExclusive);
            EXPECT_EQ(d[i].Flags, CM_RESOURCE_MEMORY_READ_WRITE);
            EXPECT_EQ(static_cast<uint64_t>(d[i].u.Memory.Start.QuadPart), placed.memoryBases[i]);
            EXPECT_EQ(d[i].u.Memory.Length, ranges[i].size);
        }
        EXPECT_EQ(d[2].Type, CmResourceTypeInterrupt);
        EXPECT_EQ(d[2].ShareDisposition, CmResourceShareShared);
        EXPECT_EQ(d[2].Flags, CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE);
        EXPECT_EQ(d[2].u.Interrupt.Level, translated ? 5u : 0x11u);
        EXPECT_EQ(d[2].u.Interrupt.Vector, translated ? 0x51u : 0x11u);
        EXPECT_EQ(d[2].u.Interrupt.Affinity, 0xFu);
    }
    // Without ranges or interrupt the list still holds its one (empty) full descriptor.
    auto empty = platform::ResourceList::Raw(0, {}, PciAssignment{}, 1);
    EXPECT_EQ(empty.Get()->List[0].PartialResourceList.Count, 0u);
}

TEST(RangeGate, PassesAccessesUntilTheFunctionIsPulledOut)
{
    PlainMemory model;
    platform::RangeGate gate(model);
    EXPECT_EQ(gate.Read32(8), 0x1008u);
    EXPECT_EQ(gate.Read16(0), 0x1234);
    gate.Write32(0, 1);
    EXPECT_EQ(model.writes, 1);
    gate.Remove();
    EXPECT_EQ(gate.Read8(0), 0xFF);
    EXPECT_EQ(gate.Read16(0), 0xFFFF);
    EXPECT_EQ(gate.Read32(8), 0xFFFFFFFFu);
    uint32_t buffer[3] = {1, 2, 3};
    gate.ReadBuffer(0, platform::AccessWidth::Dword, buffer, 3);
    for (uint32_t word : buffer)
        EXPECT_EQ(word, 0xFFFFFFFFu);
    gate.Write8(0, 1);
    gate.Write32(0, 1);
    gate.WriteBuffer(0, platform::AccessWidth::Dword, buffer, 3);
    EXPECT_EQ(model.writes, 1);
}

TEST(MachinePaths, DriverFileNamesFollowTheServiceControlManager)
{
    using platform::DriverFileName;
    EXPECT_EQ(DriverFileName(u"\\SystemRoot\\System32\\drivers\\a.sys", u"A"),
              u"C:\\Windows\\System32\\drivers\\a.sys");
    EXPECT_EQ(DriverFileName(u"\\systemroot\\x.sys", u"A"), u"C:\\Windows\\x.sys");
    EXPECT_EQ(DriverFileName(u"%SystemRoot%\\System32\\b.sys", u"A"), u"C:\\Windows\\System32\\b.sys");
    EXPECT_EQ(DriverFileName(u"System32\\drivers\\c.sys", u"A"), u"C:\\Windows\\System32\\drivers\\c.sys");
    EXPECT_EQ(DriverFileName(u"", u"Svc"), u"C:\\Windows\\System32\\drivers\\Svc.sys");
    EXPECT_EQ(DriverFileName(u"\\??\\D:\\d.sys", u"A"), u"\\??\\D:\\d.sys");
    EXPECT_EQ(DriverFileName(u"D:\\e.sys", u"A"), u"D:\\e.sys");
    EXPECT_EQ(platform::ExpandSystemRoot(u"%windir%;%SYSTEMROOT%\\a;%Other%"),
              u"C:\\Windows;C:\\Windows\\a;%Other%");
}

TEST(MachineText, MultiStringsAndCaseFolding)
{
    const std::u16string list = std::u16string(u"ab") + u'\0' + u"C" + u'\0' + u'\0';
    std::vector<unsigned char> bytes(list.size() * 2);
    std::memcpy(bytes.data(), list.data(), bytes.size());
    EXPECT_EQ(platform::SplitMultiString(bytes), (std::vector<std::u16string>{u"ab", u"C"}));
    bytes.resize(bytes.size() - 4); // "ab\0C" without the terminators
    EXPECT_EQ(platform::SplitMultiString(bytes), (std::vector<std::u16string>{u"ab", u"C"}));
    EXPECT_TRUE(platform::EqualNoCase(u"Pci\\Ven_7a1e", u"PCI\\VEN_7A1E"));
    EXPECT_EQ(platform::Utf8(platform::Utf16("d\xC3\xA9j\xC3\xA0 \xF0\x9F\x98\x80")),
              "d\xC3\xA9j\xC3\xA0 \xF0\x9F\x98\x80");
}
