// Scratch memory and float-buffer support of the image primitives: the aligned allocators over the
// link-time hooks, the checked clear and copy of float buffers, and the processor's largest cache
// size that decides when those switch to non-temporal stores.
#pragma once

#include "imaging/imaging.h"

#include <cstdint>
#include <optional>

namespace imaging {

// 32-byte aligned room for n elements, or null when n < 1, when the block would not fit the hook's
// 32-bit size, or when the hook fails. Release with FreeAligned.
float* AllocAlignedFloats(int32_t n);
int16_t* AllocAligned16(int32_t n);
uint8_t* AllocAlignedBytes(int32_t n);
// Hands the hook back exactly the block it returned; null is ignored.
void FreeAligned(void* aligned);

// Bytes the allocators add to every block: room to reach a 32-byte boundary plus the stored raw
// pointer, which needs 8 bytes on a 64-bit machine.
inline constexpr uint32_t kAlignedBlockOverhead = 40;

// Registers of one processor identification leaf.
struct CpuidLeaf {
    uint32_t eax;
    uint32_t ebx;
    uint32_t ecx;
    uint32_t edx;
};
using CpuidReader = CpuidLeaf (*)(uint32_t leaf);
// The processor's own answer.
CpuidLeaf ReadCpuid(uint32_t leaf);

struct CacheDescriptor {
    uint8_t descriptor;
    uint8_t sizeCode; // size = (code >> 4) << ((code & 15) + 18) bytes
};
// Leaf-2 descriptors of the larger caches, largest first, ending with a zero descriptor.
extern const CacheDescriptor CacheDescriptorTable[];

// The largest cache size in bytes from leaf 2, or nothing when the processor is not Intel's or its
// descriptors say nothing the table knows. Asked anew on every call.
std::optional<uint32_t> QueryLargestCacheSize();
std::optional<uint32_t> QueryLargestCacheSize(CpuidReader cpuid);

using CacheSizeQuery = std::optional<uint32_t> (*)();

// Clears nBytes bytes at p (callers pass the byte size of their float buffer).
ImagingStatus ZeroFloats(void* p, int32_t nBytes);
// Copies 4 x n bytes.
ImagingStatus CopyFloats(const float* src, float* dst, int32_t n);
// As CopyFloats, with plain 4-byte moves and no vector instruction; the plain resize kernels use it.
ImagingStatus CopyFloatsAlt(const float* src, float* dst, int32_t n);

// The bodies behind ZeroFloats and CopyFloats with the cache query as a seam; the query is asked
// only for blocks above kStreamingFloor bytes.
inline constexpr uint64_t kStreamingFloor = 524288;
void ZeroBytes(uint8_t* p, uint64_t n, CacheSizeQuery largestCache);
void CopyBytes(const uint8_t* src, uint8_t* dst, uint64_t n, CacheSizeQuery largestCache);

} // namespace imaging
