// Hands out aligned address intervals from a fixed span, next-fit: each search starts where the last
// allocation ended and wraps to the start of the span only when the top is used up. An address that
// was just released is therefore not handed out again until the span has been gone round, so a stale
// address kept by mistake meets nothing rather than somebody else's memory. Serves the token
// addresses of I/O-space mappings and the bus addresses of DMA memory. Not thread-safe: the owner
// locks.
#pragma once
#include <cstdint>
#include <map>
#include <optional>

namespace platform {

class AddressAllocator {
public:
    // The span [base, end); `alignment` is a power of two that base is a multiple of; `gap` bytes are
    // kept free after every interval.
    AddressAllocator(uint64_t base, uint64_t end, uint64_t alignment, uint64_t gap);

    // The start of a free interval of `size` bytes (size > 0), or nothing when none is left.
    std::optional<uint64_t> Allocate(uint64_t size);
    // Releases the interval that starts at `start`; false when none starts there.
    bool Free(uint64_t start);

private:
    std::optional<uint64_t> Search(uint64_t from, uint64_t reserved) const;
    uint64_t AlignUp(uint64_t value) const;

    uint64_t m_base;
    uint64_t m_end;
    uint64_t m_alignment;
    uint64_t m_gap;
    uint64_t m_cursor;
    std::map<uint64_t, uint64_t> m_used; // start -> reserved bytes (size rounded up, plus the gap)
};

} // namespace platform
