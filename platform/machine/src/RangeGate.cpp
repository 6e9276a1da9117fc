// Passing accesses to a plugged function's model, or answering for a function that is gone.
#include "RangeGate.h"

#include <cstring>

namespace platform {

uint8_t RangeGate::Read8(uint64_t offset)
{
    return Present() ? model_.Read8(offset) : 0xFF;
}

uint16_t RangeGate::Read16(uint64_t offset)
{
    return Present() ? model_.Read16(offset) : 0xFFFF;
}

uint32_t RangeGate::Read32(uint64_t offset)
{
    return Present() ? model_.Read32(offset) : 0xFFFFFFFF;
}

void RangeGate::Write8(uint64_t offset, uint8_t value)
{
    if (Present())
        model_.Write8(offset, value);
}

void RangeGate::Write16(uint64_t offset, uint16_t value)
{
    if (Present())
        model_.Write16(offset, value);
}

void RangeGate::Write32(uint64_t offset, uint32_t value)
{
    if (Present())
        model_.Write32(offset, value);
}

void RangeGate::ReadBuffer(uint64_t offset, AccessWidth width, void* data, size_t count)
{
    if (Present())
        model_.ReadBuffer(offset, width, data, count);
    else
        std::memset(data, 0xFF, count * WidthBytes(width));
}

void RangeGate::WriteBuffer(uint64_t offset, AccessWidth width, const void* data, size_t count)
{
    if (Present())
        model_.WriteBuffer(offset, width, data, count);
}

} // namespace platform
