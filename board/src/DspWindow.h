// The handler of memory resource 0: the 4 MB window onto DSP memory at the page the page register
// selects. Runs are one copy each, so loading or zeroing a large range is one access.
#pragma once
#include "platform/bus/DeviceMemory.h"

namespace board {

class CaptureBoard;

class DspWindow final : public platform::DeviceMemory {
public:
    explicit DspWindow(CaptureBoard& board) : m_board(board) {}

    uint8_t Read8(uint64_t offset) override;
    uint16_t Read16(uint64_t offset) override;
    uint32_t Read32(uint64_t offset) override;
    void Write8(uint64_t offset, uint8_t value) override;
    void Write16(uint64_t offset, uint16_t value) override;
    void Write32(uint64_t offset, uint32_t value) override;
    void ReadBuffer(uint64_t offset, platform::AccessWidth width, void* data, size_t count) override;
    void WriteBuffer(uint64_t offset, platform::AccessWidth width, const void* data, size_t count) override;

private:
    CaptureBoard& m_board;
};

} // namespace board
