// Window accesses: each becomes one run on the board, in little-endian byte order.
#include "DspWindow.h"

#include "LittleEndian.h"
#include "board/CaptureBoard.h"

namespace board {

using platform::AccessWidth;

uint8_t DspWindow::Read8(uint64_t offset)
{
    uint8_t value = 0;
    m_board.HostReadWindow(static_cast<uint32_t>(offset), AccessWidth::Byte, &value, 1);
    return value;
}

uint16_t DspWindow::Read16(uint64_t offset)
{
    uint8_t bytes[2];
    m_board.HostReadWindow(static_cast<uint32_t>(offset), AccessWidth::Word, bytes, 1);
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t DspWindow::Read32(uint64_t offset)
{
    uint8_t bytes[4];
    m_board.HostReadWindow(static_cast<uint32_t>(offset), AccessWidth::Dword, bytes, 1);
    return LoadLittle32(bytes);
}

void DspWindow::Write8(uint64_t offset, uint8_t value)
{
    m_board.HostWriteWindow(static_cast<uint32_t>(offset), AccessWidth::Byte, &value, 1);
}

void DspWindow::Write16(uint64_t offset, uint16_t value)
{
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    m_board.HostWriteWindow(static_cast<uint32_t>(offset), AccessWidth::Word, bytes, 1);
}

void DspWindow::Write32(uint64_t offset, uint32_t value)
{
    uint8_t bytes[4];
    StoreLittle32(bytes, value);
    m_board.HostWriteWindow(static_cast<uint32_t>(offset), AccessWidth::Dword, bytes, 1);
}

void DspWindow::ReadBuffer(uint64_t offset, AccessWidth width, void* data, size_t count)
{
    m_board.HostReadWindow(static_cast<uint32_t>(offset), width, data, count);
}

void DspWindow::WriteBuffer(uint64_t offset, AccessWidth width, const void* data, size_t count)
{
    m_board.HostWriteWindow(static_cast<uint32_t>(offset), width, data, count);
}

} // namespace board
