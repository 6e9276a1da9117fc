// The 16-byte header of our DSP program images: it opens the section loaded at DSP address 0 and
// tells the board's firmware model which personality to boot.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace board {

enum class Personality : uint32_t {
    None = 0, // no valid image: the DSP stays silent
    MainFirmware = 1,
    MemoryTester = 2,
    PciTester = 3,
};

// A short name for reports, e.g. "main firmware".
const char* PersonalityName(Personality personality);

// Layout, little-endian 32-bit words: magic, personality, version, check, where check is the bitwise
// complement of magic + personality + version (mod 2^32), so zeroed or stale memory never passes.
struct ImageHeader {
    static constexpr size_t kSize = 16;
    static constexpr uint32_t kMagic = 0x44585654; // the bytes "TVXD"

    Personality personality = Personality::None;
    uint32_t version = 0;

    static uint32_t CheckWord(uint32_t personality, uint32_t version);
    // The 16 bytes of this header.
    void Encode(std::span<uint8_t, kSize> out) const;
    // The header the bytes hold, or none when the magic or the check word is wrong, or the
    // personality is not one of the three.
    static std::optional<ImageHeader> Decode(std::span<const uint8_t> bytes);
};

} // namespace board
