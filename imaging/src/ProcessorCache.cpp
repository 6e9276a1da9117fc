// The processor's largest cache size, read from the descriptors of identification leaf 2. Only
// Intel's processors are asked; everything else gives no size, and the clear and copy operations
// then never stream.
#include "ScratchSupport.h"

#include <cpuid.h>

namespace imaging {

const CacheDescriptor CacheDescriptorTable[] = {
    {0x4D, 0x16},                                                                         // 16 MiB
    {0x4C, 0x34},                                                                         // 12 MiB
    {0x4B, 0x15}, {0x47, 0x15},                                                           // 8 MiB
    {0x4E, 0x33}, {0x4A, 0x33},                                                           // 6 MiB
    {0x49, 0x14}, {0x29, 0x14}, {0x46, 0x14},                                             // 4 MiB
    {0x48, 0x32},                                                                         // 3 MiB
    {0x25, 0x13}, {0x7D, 0x13}, {0x85, 0x13}, {0x45, 0x13},                               // 2 MiB
    {0x23, 0x12}, {0x87, 0x12}, {0x7C, 0x12}, {0x78, 0x12}, {0x84, 0x12}, {0x44, 0x12},   // 1 MiB
    {0x22, 0x11}, {0x7B, 0x11}, {0x80, 0x11}, {0x86, 0x11}, {0x3E, 0x11}, {0x7F, 0x11},   // 512 KiB
    {0x83, 0x11}, {0x43, 0x11},
    {0x00, 0x00},
};

CpuidLeaf ReadCpuid(uint32_t leaf)
{
    CpuidLeaf r{};
    __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

std::optional<uint32_t> QueryLargestCacheSize()
{
    return QueryLargestCacheSize(ReadCpuid);
}

std::optional<uint32_t> QueryLargestCacheSize(CpuidReader cpuid)
{
    const CpuidLeaf vendor = cpuid(0);
    // "GenuineIntel" reads as EBX, EDX, ECX.
    if (vendor.ebx != 0x756E6547 || vendor.edx != 0x49656E69 || vendor.ecx != 0x6C65746E)
        return std::nullopt;
    // A processor without leaf 2 would answer it with whatever its highest leaf holds.
    if (vendor.eax < 2)
        return std::nullopt;

    const CpuidLeaf leaf = cpuid(2);
    if ((leaf.eax & 0xFF) != 1)
        return std::nullopt;

    uint8_t bytes[16];
    int count = 0;
    const uint32_t regs[4] = {leaf.eax, leaf.ebx, leaf.ecx, leaf.edx};
    for (int r = 0; r < 4; ++r) {
        if (regs[r] & 0x80000000u)
            continue; // bit 31 set: the register carries no descriptors
        for (int b = (r == 0 ? 1 : 0); b < 4; ++b)
            bytes[count++] = uint8_t(regs[r] >> (8 * b));
    }

    for (const CacheDescriptor* entry = CacheDescriptorTable; entry->descriptor != 0; ++entry) {
        for (int i = 0; i < count; ++i) {
            if (bytes[i] == entry->descriptor)
                return uint32_t(entry->sizeCode >> 4) << ((entry->sizeCode & 15) + 18);
        }
    }
    return std::nullopt;
}

} // namespace imaging
