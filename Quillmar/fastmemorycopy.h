// FastMemoryCopy: the driver's bulk copy of frame and buffer memory. From 64 bytes on (except 32,769
// to 65,536, which a plain copy serves better) it aligns the destination to 8 bytes and moves
// 64-bit words; shorter copies are plain byte copies. The areas must not overlap.
#pragma once
#include <cstddef>

inline constexpr size_t kFastCopyMinimumBytes = 64;
inline constexpr size_t kFastCopyPlainFromBytes = 32769;
inline constexpr size_t kFastCopyPlainToBytes = 65536;

void FastMemoryCopy(void* destination, const void* source, size_t length);
