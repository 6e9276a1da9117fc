// The float copy of the plain resize kernels: ordinary 4-byte integer moves only. This source is
// built without auto-vectorisation or library-call pattern matching, and the instruction audit
// holds it to scalar instructions.
#include "ScratchSupport.h"

#include <cstring>

namespace imaging {
namespace {

inline void MoveWord(const uint8_t* src, uint8_t* dst)
{
    uint32_t word;
    std::memcpy(&word, src, 4);
    std::memcpy(dst, &word, 4);
}

} // namespace

ImagingStatus CopyFloatsAlt(const float* src, float* dst, int32_t n)
{
    if (!src || !dst)
        return StatusNullPointer;
    if (n < 1)
        return StatusSizeError;
    auto* s = reinterpret_cast<const uint8_t*>(src);
    auto* d = reinterpret_cast<uint8_t*>(dst);
    uint64_t left = uint64_t(n) * 4;
    while (left && (reinterpret_cast<uintptr_t>(d) & 3)) {
        *d++ = *s++;
        --left;
    }
    for (; left >= 32; left -= 32, s += 32, d += 32) {
        MoveWord(s, d);
        MoveWord(s + 4, d + 4);
        MoveWord(s + 8, d + 8);
        MoveWord(s + 12, d + 12);
        MoveWord(s + 16, d + 16);
        MoveWord(s + 20, d + 20);
        MoveWord(s + 24, d + 24);
        MoveWord(s + 28, d + 28);
    }
    while (left) {
        *d++ = *s++;
        --left;
    }
    return StatusOk;
}

} // namespace imaging
