// The handler of memory resource 1: turns the bus's 8-, 16- and 32-bit accesses into accesses to
// the board's 32-bit registers. An access inside one register reaches the byte lanes it covers; one
// that straddles two registers is split into single bytes, each reaching its own register.
#pragma once
#include "platform/bus/DeviceMemory.h"

namespace board {

class CaptureBoard;

class RegisterRange final : public platform::DeviceMemory {
public:
    explicit RegisterRange(CaptureBoard& board) : m_board(board) {}

    uint8_t Read8(uint64_t offset) override;
    uint16_t Read16(uint64_t offset) override;
    uint32_t Read32(uint64_t offset) override;
    void Write8(uint64_t offset, uint8_t value) override;
    void Write16(uint64_t offset, uint16_t value) override;
    void Write32(uint64_t offset, uint32_t value) override;

private:
    uint32_t Read(uint64_t offset, uint32_t width);
    void Write(uint64_t offset, uint32_t width, uint32_t value);

    CaptureBoard& m_board;
};

} // namespace board
