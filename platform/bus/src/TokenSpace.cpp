// Reservation of never-accessible host addresses for I/O-space tokens.
#include "TokenSpace.h"

#include <sys/mman.h>

#include <cerrno>
#include <system_error>

namespace platform {
namespace {

size_t RoundToPages(size_t bytes)
{
    return (bytes + TokenSpace::kPageSize - 1) & ~(TokenSpace::kPageSize - 1);
}

void* Reserve(size_t bytes)
{
    // PROT_NONE and no swap reservation: the span costs address space only, never memory.
    void* p = mmap(nullptr, RoundToPages(bytes), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        throw std::system_error(errno, std::generic_category(), "reserving I/O-space token addresses");
    return p;
}

} // namespace

TokenSpace::TokenSpace(size_t bytes)
    : m_reservation(Reserve(bytes)), m_size(RoundToPages(bytes)),
      m_allocator(reinterpret_cast<uintptr_t>(m_reservation), reinterpret_cast<uintptr_t>(m_reservation) + m_size,
                  kPageSize, kPageSize)
{
}

TokenSpace::~TokenSpace()
{
    munmap(m_reservation, m_size);
}

uintptr_t TokenSpace::Allocate(uint64_t bytes)
{
    auto start = m_allocator.Allocate(bytes);
    return start ? static_cast<uintptr_t>(*start) : 0;
}

void TokenSpace::Free(uintptr_t start)
{
    m_allocator.Free(start);
}

} // namespace platform
