// Byte-lane routing of register accesses.
#include "RegisterRange.h"

#include "board/CaptureBoard.h"

namespace board {

uint32_t RegisterRange::Read(uint64_t offset, uint32_t width)
{
    const uint32_t at = static_cast<uint32_t>(offset);
    const uint32_t lane = at & 3;
    if (lane + width <= 4)
        return m_board.HostReadRegister(at - lane, width, lane);
    uint32_t value = 0;
    for (uint32_t i = 0; i < width; ++i) {
        const uint32_t byteAt = at + i;
        value |= m_board.HostReadRegister(byteAt & ~3u, 1, byteAt & 3) << (8 * i);
    }
    return value;
}

void RegisterRange::Write(uint64_t offset, uint32_t width, uint32_t value)
{
    const uint32_t at = static_cast<uint32_t>(offset);
    const uint32_t lane = at & 3;
    if (lane + width <= 4) {
        m_board.HostWriteRegister(at - lane, width, lane, value);
        return;
    }
    for (uint32_t i = 0; i < width; ++i) {
        const uint32_t byteAt = at + i;
        m_board.HostWriteRegister(byteAt & ~3u, 1, byteAt & 3, (value >> (8 * i)) & 0xFF);
    }
}

uint8_t RegisterRange::Read8(uint64_t offset) { return static_cast<uint8_t>(Read(offset, 1)); }
uint16_t RegisterRange::Read16(uint64_t offset) { return static_cast<uint16_t>(Read(offset, 2)); }
uint32_t RegisterRange::Read32(uint64_t offset) { return Read(offset, 4); }
void RegisterRange::Write8(uint64_t offset, uint8_t value) { Write(offset, 1, value); }
void RegisterRange::Write16(uint64_t offset, uint16_t value) { Write(offset, 2, value); }
void RegisterRange::Write32(uint64_t offset, uint32_t value) { Write(offset, 4, value); }

} // namespace board
