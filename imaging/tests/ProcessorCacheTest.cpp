// The largest cache size from fed processor identification leaves.
#include <gtest/gtest.h>

#include "ScratchSupport.h"

#include <vector>

using namespace imaging;

namespace {

// What the fake processor answers.
struct FakeProcessor {
    CpuidLeaf leaf0;
    CpuidLeaf leaf2;
    int leaf2Reads;
};
FakeProcessor g_cpu;

constexpr CpuidLeaf kIntel = {2, 0x756E6547, 0x6C65746E, 0x49656E69};
constexpr CpuidLeaf kAmd = {13, 0x68747541, 0x444D4163, 0x69746E65};

CpuidLeaf FakeCpuid(uint32_t leaf)
{
    if (leaf == 0)
        return g_cpu.leaf0;
    if (leaf == 2) {
        ++g_cpu.leaf2Reads;
        return g_cpu.leaf2;
    }
    return {};
}

std::optional<uint32_t> Query(CpuidLeaf leaf0, CpuidLeaf leaf2)
{
    g_cpu = {leaf0, leaf2, 0};
    return QueryLargestCacheSize(FakeCpuid);
}

// Leaf 2 with AL = 1 and the given descriptor bytes spread over EAX's upper bytes and EBX.
CpuidLeaf Descriptors(std::vector<uint8_t> bytes)
{
    CpuidLeaf leaf{1, 0, 0, 0};
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i < 3)
            leaf.eax |= uint32_t(bytes[i]) << (8 * (i + 1));
        else
            leaf.ebx |= uint32_t(bytes[i]) << (8 * (i - 3));
    }
    return leaf;
}

constexpr uint32_t KiB = 1024, MiB = 1024 * 1024;

} // namespace

TEST(ProcessorCache, EveryTableDescriptorGivesItsSize)
{
    const struct {
        uint8_t descriptor;
        uint32_t size;
    } expected[] = {
        {0x4D, 16 * MiB}, {0x4C, 12 * MiB}, {0x4B, 8 * MiB},   {0x47, 8 * MiB},
        {0x4E, 6 * MiB},  {0x4A, 6 * MiB},  {0x49, 4 * MiB},   {0x29, 4 * MiB},
        {0x46, 4 * MiB},  {0x48, 3 * MiB},  {0x25, 2 * MiB},   {0x7D, 2 * MiB},
        {0x85, 2 * MiB},  {0x45, 2 * MiB},  {0x23, 1 * MiB},   {0x87, 1 * MiB},
        {0x7C, 1 * MiB},  {0x78, 1 * MiB},  {0x84, 1 * MiB},   {0x44, 1 * MiB},
        {0x22, 512 * KiB}, {0x7B, 512 * KiB}, {0x80, 512 * KiB}, {0x86, 512 * KiB},
        {0x3E, 512 * KiB}, {0x7F, 512 * KiB}, {0x83, 512 * KiB}, {0x43, 512 * KiB},
    };
    size_t entries = 0;
    while (CacheDescriptorTable[entries].descriptor != 0)
        ++entries;
    ASSERT_EQ(entries, std::size(expected));
    for (size_t i = 0; i < entries; ++i) {
        EXPECT_EQ(CacheDescriptorTable[i].descriptor, expected[i].descriptor) << i;
        EXPECT_EQ(Query(kIntel, Descriptors({expected[i].descriptor})), expected[i].size)
            << std::hex << int(expected[i].descriptor);
    }
}

TEST(ProcessorCache, TableIsSearchedLargestFirst)
{
    EXPECT_EQ(Query(kIntel, Descriptors({0x43, 0x4D})), 16 * MiB);
    EXPECT_EQ(Query(kIntel, Descriptors({0x2C, 0x43, 0x22, 0x48, 0xB0})), 3 * MiB);
    // Descriptors in EDX and ECX count too.
    EXPECT_EQ(Query(kIntel, {1, 0, 0x00002500, 0x43000000}), 2 * MiB);
}

TEST(ProcessorCache, RegistersWithBit31SetCarryNoDescriptors)
{
    EXPECT_EQ(Query(kIntel, {1, 0x8000004D, 0x00000043, 0}), 512 * KiB);
    EXPECT_EQ(Query(kIntel, {0x80004D01, 0, 0, 0}), std::nullopt);
}

TEST(ProcessorCache, NoSizeWithoutOneIntelDescriptorSet)
{
    EXPECT_EQ(Query(kIntel, {0x004D0002, 0, 0, 0}), std::nullopt); // AL = 2
    EXPECT_EQ(Query(kIntel, Descriptors({0xFF})), std::nullopt);   // "use leaf 4"
    EXPECT_EQ(Query(kIntel, Descriptors({0x2C, 0x30, 0x56})), std::nullopt);
    CpuidLeaf old = kIntel;
    old.eax = 1; // highest leaf 1: leaf 2 does not exist
    EXPECT_EQ(Query(old, Descriptors({0x4D})), std::nullopt);
    EXPECT_EQ(g_cpu.leaf2Reads, 0);
    EXPECT_EQ(Query(kAmd, Descriptors({0x4D})), std::nullopt);
    EXPECT_EQ(g_cpu.leaf2Reads, 0);
}

TEST(ProcessorCache, DefaultQueryAsksThisProcessor)
{
    EXPECT_EQ(QueryLargestCacheSize(), QueryLargestCacheSize(ReadCpuid));
    const CpuidLeaf vendor = ReadCpuid(0);
    if (vendor.ebx != 0x756E6547) { // not Intel's: never a size
        EXPECT_EQ(QueryLargestCacheSize(), std::nullopt);
    }
}
