// The board's FPGA as the main firmware drives it: unconfigured until a programming with a good
// checksum, then a file of 256 registers, each with a shadow. It keeps its configuration across warm
// resets and boots (it has its own power); only a new programming or the test hook clears it.
// Thread-safe: the DSP thread programs and writes it, tests look at it.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <span>

namespace board {

class FpgaModel {
public:
    static constexpr uint32_t kRegisterCount = 256;
    // Register 34: bit 5 enables the alignment marker, bits 6 and up name its VBI line.
    static constexpr uint32_t kAlignmentControl = 34;
    static constexpr uint32_t kAlignmentEnable = 0x20;
    static constexpr uint32_t kAlignmentLineShift = 6;

    // The checksum the host puts before the image: the XOR of the image's floor(size / 4) whole
    // little-endian 32-bit words.
    static uint32_t Checksum(std::span<const uint8_t> image);

    // Command 2 with the image bytes (the checksum word already stripped) and the checksum the host
    // staged: clears the FPGA, then configures it; returns the DSP result (1, or 5 for a wrong
    // checksum or a corrupt image of our format, leaving it unconfigured).
    uint32_t Program(std::span<const uint8_t> image, uint32_t checksum);
    // Commands 9 and 10: the DSP result (1, 2 for a register out of range, 6 unconfigured).
    uint32_t ReadRegister(uint32_t reg, uint32_t& value) const;
    uint32_t WriteRegister(uint32_t reg, uint32_t value, uint32_t mask, bool shadowWrite);

    // ---- test hooks ----
    bool Configured() const;
    uint32_t DesignVersion() const;  // of the image last configured (0 for an opaque image)
    uint64_t Programmings() const;   // command 2s seen, successful or not
    uint32_t Register(uint32_t reg) const; // std::out_of_range for reg >= kRegisterCount
    uint32_t Shadow(uint32_t reg) const;
    // Sets a register and its shadow as a default of the image would.
    void SetRegister(uint32_t reg, uint32_t value);
    // Back to the state of a board just powered: unconfigured, registers 0.
    void Unconfigure();

private:
    mutable std::mutex m_lock;
    bool m_configured = false;
    uint32_t m_designVersion = 0;
    uint64_t m_programmings = 0;
    std::array<uint32_t, kRegisterCount> m_registers{};
    std::array<uint32_t, kRegisterCount> m_shadows{};
};

} // namespace board
