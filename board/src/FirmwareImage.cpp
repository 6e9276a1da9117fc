// Building and parsing DSP program images in the section format.
#include "board/FirmwareImage.h"

#include <stdexcept>

#include "LittleEndian.h"

namespace board {

namespace {
constexpr uint64_t kAddressSpace = uint64_t{1} << 32;
constexpr size_t kSectionHeaderSize = 8;
} // namespace

const char* ImageParseErrorText(ImageParseError error)
{
    switch (error) {
    case ImageParseError::None: return "no error";
    case ImageParseError::Empty: return "the image has no section count";
    case ImageParseError::TruncatedSectionHeader: return "the image ends inside a section header";
    case ImageParseError::TruncatedSectionData: return "a section runs past the end of the image";
    case ImageParseError::SectionWraps: return "a section runs past the end of the DSP address space";
    case ImageParseError::TrailingBytes: return "bytes follow the last section";
    }
    return "unknown error";
}

void FirmwareImage::AddSection(uint32_t address, std::vector<uint8_t> bytes)
{
    if (m_sections.size() >= kMaximumSections)
        throw std::length_error("a DSP image holds at most 255 sections");
    if (bytes.size() > UINT32_MAX)
        throw std::length_error("a DSP image section holds at most 0xFFFFFFFF bytes");
    if (address + uint64_t{bytes.size()} > kAddressSpace)
        throw std::out_of_range("a DSP image section runs past DSP address 0xFFFFFFFF");
    m_sections.push_back(ImageSection{address, std::move(bytes)});
}

std::vector<uint8_t> FirmwareImage::Serialize() const
{
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(m_sections.size()));
    for (const ImageSection& section : m_sections) {
        AppendLittle32(out, section.address);
        AppendLittle32(out, static_cast<uint32_t>(section.bytes.size()));
        out.insert(out.end(), section.bytes.begin(), section.bytes.end());
    }
    return out;
}

ImageParseError FirmwareImage::Parse(std::span<const uint8_t> bytes, FirmwareImage& image)
{
    image.m_sections.clear();
    if (bytes.empty())
        return ImageParseError::Empty;
    const size_t count = bytes[0];
    size_t at = 1;
    std::vector<ImageSection> sections;
    sections.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (bytes.size() - at < kSectionHeaderSize)
            return ImageParseError::TruncatedSectionHeader;
        const uint32_t address = LoadLittle32(bytes.data() + at);
        const uint32_t length = LoadLittle32(bytes.data() + at + 4);
        at += kSectionHeaderSize;
        if (bytes.size() - at < length)
            return ImageParseError::TruncatedSectionData;
        if (address + uint64_t{length} > kAddressSpace)
            return ImageParseError::SectionWraps;
        sections.push_back(ImageSection{address, std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + length)});
        at += length;
    }
    if (at != bytes.size())
        return ImageParseError::TrailingBytes;
    image.m_sections = std::move(sections);
    return ImageParseError::None;
}

std::optional<ImageHeader> FirmwareImage::Header() const
{
    for (const ImageSection& section : m_sections) {
        if (section.address == 0)
            return ImageHeader::Decode(section.bytes);
    }
    return std::nullopt;
}

} // namespace board
