// The interface through which the bus reaches a device model's memory range: single reads and writes
// of 8, 16 and 32 bits, and runs of such units, each at a byte offset from the start of the range.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

enum class AccessWidth : uint8_t { Byte = 1, Word = 2, Dword = 4 };

constexpr size_t WidthBytes(AccessWidth width)
{
    return static_cast<size_t>(width);
}

// Implemented by device models. The bus calls it from whichever thread accesses the range, several at
// once, and never with an access or run that leaves the range. Offsets need not be multiples of the
// width: the bus passes a misaligned access through unchanged, as the processor would put it on the
// bus, and the model decides what its hardware makes of it. No bus lock is held during a call, so a
// model may assert its interrupt line or perform DMA from inside one.
class DeviceMemory {
public:
    virtual ~DeviceMemory() = default;

    virtual uint8_t Read8(uint64_t offset) = 0;
    virtual uint16_t Read16(uint64_t offset) = 0;
    virtual uint32_t Read32(uint64_t offset) = 0;
    virtual void Write8(uint64_t offset, uint8_t value) = 0;
    virtual void Write16(uint64_t offset, uint16_t value) = 0;
    virtual void Write32(uint64_t offset, uint32_t value) = 0;

    // A run of `count` units of `width` bytes at rising offsets, the way a string move reaches device
    // memory. `data` is host memory without any alignment guarantee. The defaults issue the single
    // accesses in order, so register side effects happen once per unit; a model whose range is plain
    // memory overrides them with one copy.
    virtual void ReadBuffer(uint64_t offset, AccessWidth width, void* data, size_t count);
    virtual void WriteBuffer(uint64_t offset, AccessWidth width, const void* data, size_t count);
};

} // namespace platform
