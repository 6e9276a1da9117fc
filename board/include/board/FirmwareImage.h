// A DSP program image as the image files hold it and the host loads it: one byte with the number of
// sections, then the sections packed without padding, each a little-endian 32-bit DSP address, a
// little-endian 32-bit length and that many bytes. Our images put the ImageHeader at the start of a
// section at DSP address 0. Used by the image generator, the board's tests and the driver's tests.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "board/ImageHeader.h"

namespace board {

struct ImageSection {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

enum class ImageParseError {
    None,
    Empty,                  // not even the section count
    TruncatedSectionHeader, // the file ends inside a section's address or length
    TruncatedSectionData,   // a section's length runs past the end of the file
    SectionWraps,           // a section runs past DSP address 0xFFFFFFFF
    TrailingBytes,          // bytes follow the last section
};

const char* ImageParseErrorText(ImageParseError error);

class FirmwareImage {
public:
    static constexpr size_t kMaximumSections = 255;

    // Appends a section. Throws std::length_error beyond kMaximumSections sections or a section
    // longer than 0xFFFFFFFF bytes, std::out_of_range for one that runs past DSP address 0xFFFFFFFF.
    void AddSection(uint32_t address, std::vector<uint8_t> bytes);
    const std::vector<ImageSection>& Sections() const { return m_sections; }

    // The file bytes.
    std::vector<uint8_t> Serialize() const;
    // Reads file bytes into `image` (left empty on failure); every length is checked against the
    // bytes present before anything is copied.
    static ImageParseError Parse(std::span<const uint8_t> bytes, FirmwareImage& image);

    // The header at the start of the section loaded at DSP address 0, if it is a valid one.
    std::optional<ImageHeader> Header() const;

private:
    std::vector<ImageSection> m_sections;
};

} // namespace board
