// The image header: encoding, and the checks that decide whether the DSP boots.
#include "board/ImageHeader.h"

#include "LittleEndian.h"

namespace board {

const char* PersonalityName(Personality personality)
{
    switch (personality) {
    case Personality::None: return "none";
    case Personality::MainFirmware: return "main firmware";
    case Personality::MemoryTester: return "memory tester";
    case Personality::PciTester: return "PCI tester";
    }
    return "unknown";
}

uint32_t ImageHeader::CheckWord(uint32_t personality, uint32_t version)
{
    return ~(kMagic + personality + version);
}

void ImageHeader::Encode(std::span<uint8_t, kSize> out) const
{
    const uint32_t p = static_cast<uint32_t>(personality);
    StoreLittle32(out.data(), kMagic);
    StoreLittle32(out.data() + 4, p);
    StoreLittle32(out.data() + 8, version);
    StoreLittle32(out.data() + 12, CheckWord(p, version));
}

std::optional<ImageHeader> ImageHeader::Decode(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kSize)
        return std::nullopt;
    const uint32_t magic = LoadLittle32(bytes.data());
    const uint32_t p = LoadLittle32(bytes.data() + 4);
    const uint32_t version = LoadLittle32(bytes.data() + 8);
    const uint32_t check = LoadLittle32(bytes.data() + 12);
    if (magic != kMagic || check != CheckWord(p, version))
        return std::nullopt;
    if (p < static_cast<uint32_t>(Personality::MainFirmware) || p > static_cast<uint32_t>(Personality::PciTester))
        return std::nullopt;
    return ImageHeader{static_cast<Personality>(p), version};
}

} // namespace board
