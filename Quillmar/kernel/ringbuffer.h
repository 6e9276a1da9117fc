// RingBuffer: a fixed ring of equal-sized elements in pool memory, copied in and out by value.
// A ring asked for n elements has n + 1 slots: one always stays empty, so that equal read and
// write indices mean empty. It does not lock: the owner serialises.
#pragma once
#include "km/pool.h"
#include "km/types.h"

class RingBuffer {
public:
    // A zeroed buffer of (count + 1) x elementSize bytes. Without it (pool failure, a size of 0,
    // or a count whose buffer would not fit in memory) the ring is not valid and moves nothing.
    RingBuffer(ULONG elementSize, ULONG count, POOL_TYPE poolType);
    ~RingBuffer();
    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;

    bool IsValid() const { return m_valid; }
    // Empties the ring.
    void Reset();
    // Copies as many of the n elements as fit, in at most two pieces across the wrap; returns how
    // many were written.
    ULONG Write(const void* source, ULONG n);
    // Copies up to n elements out in order; returns how many were read.
    ULONG Read(void* destination, ULONG n);
    ULONG Count() const;
    // Elements the ring can hold (the count it was asked for).
    ULONG Room() const { return m_capacity ? m_capacity - 1 : 0; }

private:
    bool m_valid = false;
    ULONG m_elementSize = 0;
    ULONG m_read = 0;
    ULONG m_write = 0;
    ULONG m_capacity = 0; // slots: the requested count + 1
    UCHAR* m_buffer = nullptr;
};
