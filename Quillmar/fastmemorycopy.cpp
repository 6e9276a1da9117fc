// FastMemoryCopy: head bytes up to the destination's 8-byte boundary, then 64-bit words, then the
// tail. Words are moved with memcpy so that a source at any alignment is read soundly.
#include "fastmemorycopy.h"

#include <cstdint>
#include <cstring>

void FastMemoryCopy(void* destination, const void* source, size_t length)
{
    auto* to = static_cast<uint8_t*>(destination);
    const auto* from = static_cast<const uint8_t*>(source);
    const bool wordCopy =
        length >= kFastCopyMinimumBytes && (length < kFastCopyPlainFromBytes || length > kFastCopyPlainToBytes);
    if (!wordCopy) {
        std::memcpy(to, from, length);
        return;
    }
    const size_t head = (8 - (reinterpret_cast<uintptr_t>(to) & 7)) & 7;
    for (size_t i = 0; i < head; ++i)
        *to++ = *from++;
    length -= head;
    for (size_t words = length / 8; words != 0; --words) {
        uint64_t word;
        std::memcpy(&word, from, sizeof(word));
        *reinterpret_cast<uint64_t*>(to) = word;
        to += 8;
        from += 8;
    }
    for (size_t i = 0; i < (length & 7); ++i)
        *to++ = *from++;
}
