// The aligned allocators: every block comes from the link-time allocation hook with room to round
// up to 32 bytes, and the hook's own pointer sits in the 8 bytes below the aligned address so that
// FreeAligned can hand it back.
#include "ScratchSupport.h"

#include <cstring>
#include <limits>

namespace imaging {
namespace {

void* AllocAligned(int32_t n, uint32_t elementSize)
{
    if (n < 1)
        return nullptr;
    // Computed in 64 bits so that a large count is refused rather than wrapped to a small block.
    const uint64_t bytes = uint64_t(n) * elementSize + kAlignedBlockOverhead;
    if (bytes > std::numeric_limits<uint32_t>::max())
        return nullptr;
    auto* raw = static_cast<uint8_t*>(ImagingAllocate(static_cast<uint32_t>(bytes)));
    if (!raw)
        return nullptr;
    const uintptr_t base = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (base + sizeof(void*) + 31) & ~uintptr_t(31);
    uint8_t* result = raw + (aligned - base);
    std::memcpy(result - sizeof(void*), &raw, sizeof(void*));
    return result;
}

} // namespace

float* AllocAlignedFloats(int32_t n)
{
    return static_cast<float*>(AllocAligned(n, sizeof(float)));
}

int16_t* AllocAligned16(int32_t n)
{
    return static_cast<int16_t*>(AllocAligned(n, sizeof(int16_t)));
}

uint8_t* AllocAlignedBytes(int32_t n)
{
    return static_cast<uint8_t*>(AllocAligned(n, 1));
}

void FreeAligned(void* aligned)
{
    if (!aligned)
        return;
    void* raw;
    std::memcpy(&raw, static_cast<uint8_t*>(aligned) - sizeof(void*), sizeof(void*));
    ImagingRelease(raw);
}

} // namespace imaging
