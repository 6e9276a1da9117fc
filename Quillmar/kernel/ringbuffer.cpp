// The ring's copies: each direction moves at most two pieces, up to the buffer's end and from its
// start.
#include "kernel/ringbuffer.h"

#include "kernel/poolallocation.h"

#include <cstdint>
#include <cstring>

RingBuffer::RingBuffer(ULONG elementSize, ULONG count, POOL_TYPE poolType)
{
    // Slots and bytes are counted in 64 bits, so no request wraps around to a small buffer.
    const uint64_t slots = uint64_t{count} + 1;
    if (elementSize == 0 || slots > 0xFFFFFFFFull)
        return;
    const uint64_t bytes = slots * elementSize;
    if (bytes > SIZE_MAX)
        return;
    m_buffer = static_cast<UCHAR*>(AllocatePoolOfType(static_cast<SIZE_T>(bytes), poolType));
    if (!m_buffer)
        return;
    std::memset(m_buffer, 0, static_cast<size_t>(bytes));
    m_elementSize = elementSize;
    m_capacity = static_cast<ULONG>(slots);
    m_valid = true;
}

RingBuffer::~RingBuffer()
{
    if (m_valid)
        FreePool(m_buffer);
}

void RingBuffer::Reset()
{
    m_read = 0;
    m_write = 0;
}

ULONG RingBuffer::Count() const
{
    if (!m_valid)
        return 0;
    return m_write >= m_read ? m_write - m_read : m_capacity - m_read + m_write;
}

ULONG RingBuffer::Write(const void* source, ULONG n)
{
    if (!m_valid || !source)
        return 0;
    const ULONG space = m_capacity - 1 - Count();
    if (n > space)
        n = space;
    // The free slots end one before the read index, so when it is 0 the first piece stops one
    // short of the buffer's end by itself.
    const ULONG first = n < m_capacity - m_write ? n : m_capacity - m_write;
    const auto* from = static_cast<const UCHAR*>(source);
    std::memcpy(m_buffer + size_t{m_write} * m_elementSize, from, size_t{first} * m_elementSize);
    std::memcpy(m_buffer, from + size_t{first} * m_elementSize, size_t{n - first} * m_elementSize);
    m_write = static_cast<ULONG>((uint64_t{m_write} + n) % m_capacity);
    return n;
}

ULONG RingBuffer::Read(void* destination, ULONG n)
{
    if (!m_valid || !destination)
        return 0;
    const ULONG held = Count();
    if (n > held)
        n = held;
    const ULONG first = n < m_capacity - m_read ? n : m_capacity - m_read;
    auto* to = static_cast<UCHAR*>(destination);
    std::memcpy(to, m_buffer + size_t{m_read} * m_elementSize, size_t{first} * m_elementSize);
    std::memcpy(to + size_t{first} * m_elementSize, m_buffer, size_t{n - first} * m_elementSize);
    m_read = static_cast<ULONG>((uint64_t{m_read} + n) % m_capacity);
    return n;
}
