// Helpers shared by the board's tests: register and window access through the handlers, loading a
// generated image the way the host does, and waiting on the clock for the DSP thread.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "board/CaptureBoard.h"
#include "board/FirmwareImage.h"
#include "board/HostPortRegisters.h"

namespace board::testing {

// Loads every section at its DSP address through the window, one page at a time, and leaves page 0.
inline void LoadThroughWindow(CaptureBoard& board, const FirmwareImage& image)
{
    for (const ImageSection& section : image.Sections()) {
        board.Registers().Write32(kPageRegister, section.address >> kPageShift);
        board.Window().WriteBuffer(section.address & kWindowOffsetMask, platform::AccessWidth::Byte,
                                   section.bytes.data(), section.bytes.size());
    }
    board.Registers().Write32(kPageRegister, 0);
}

// The host's release: run enable, status and page cleared, then the doorbell.
inline void Release(CaptureBoard& board)
{
    board.Registers().Write32(kDspControl, board.Registers().Read32(kDspControl) | kDspControlRunEnable);
    board.Registers().Write32(kHostStatus, 0);
    board.Registers().Write32(kPageRegister, 0);
    board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
}

// Polls `condition` for up to `seconds` of real time.
inline bool Eventually(const std::function<bool()>& condition, double seconds = 5)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

inline std::vector<AccessRecord> RecordsOf(const std::vector<AccessRecord>& log, AccessKind kind)
{
    std::vector<AccessRecord> out;
    for (const AccessRecord& r : log)
        if (r.kind == kind)
            out.push_back(r);
    return out;
}

} // namespace board::testing
