// Our FPGA image file: what the FPGA model loads when the host programs it. Layout, little-endian:
//   +0  u32 magic "TVXF"
//   +4  u32 format version (1)
//   +8  u32 design version
//   +12 u32 register-default count n
//   +16 n x { u32 register number, u32 value }
//   then u32 payload length m, m payload bytes (the configuration bit stream, opaque to the host)
//   then u32 checksum: the 32-bit sum of every byte before it
// The host only sends the file as a whole; the format matters to the board alone.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace board {

struct FpgaRegisterDefault {
    uint32_t reg = 0;
    uint32_t value = 0;
    bool operator==(const FpgaRegisterDefault&) const = default;
};

enum class FpgaImageParseError {
    None,
    Truncated,   // the file ends before a field or the payload the lengths promise
    BadMagic,
    BadVersion,
    BadChecksum,
    TrailingBytes,
};

class FpgaImage {
public:
    static constexpr uint32_t kMagic = 0x46585654; // the bytes "TVXF"
    static constexpr uint32_t kFormatVersion = 1;

    uint32_t designVersion = 0;
    std::vector<FpgaRegisterDefault> registerDefaults;
    std::vector<uint8_t> payload;

    std::vector<uint8_t> Serialize() const;
    static FpgaImageParseError Parse(std::span<const uint8_t> bytes, FpgaImage& image);
};

} // namespace board
