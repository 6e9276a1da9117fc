// The addresses that I/O-space mappings hand out: a span reserved from the host with no access
// rights, so that a token is never a valid host pointer and any stray dereference of one faults at
// once instead of reading or corrupting host memory. Tokens are page-granular with an unmapped
// guard page after each. Not thread-safe: the owner locks.
#pragma once
#include <cstddef>
#include <cstdint>

#include "AddressAllocator.h"

namespace platform {

class TokenSpace {
public:
    static constexpr uint64_t kPageSize = 4096;

    // Reserves `bytes` (rounded up to pages) of address space; throws std::system_error on failure.
    explicit TokenSpace(size_t bytes);
    ~TokenSpace();
    TokenSpace(const TokenSpace&) = delete;
    TokenSpace& operator=(const TokenSpace&) = delete;

    // The page-aligned start of `bytes` of token addresses, or 0 when the span is used up.
    uintptr_t Allocate(uint64_t bytes);
    void Free(uintptr_t start);

private:
    void* m_reservation;
    size_t m_size;
    AddressAllocator m_allocator;
};

} // namespace platform
