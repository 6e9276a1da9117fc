// The contents of the shipped images. The code and data bytes are a fixed pseudo-random pattern
// (the firmware model does not execute them); what matters is that every image is distinct,
// deterministic from build to build, and long enough that loading and verifying them means
// something.
#include "board/StandardImages.h"

#include <stdexcept>
#include <string>

namespace board {

namespace {

// Reset vector area: the header, then code up to the mailbox at 0x20, which the image leaves alone.
constexpr uint32_t kVectorSize = 0x20;
constexpr uint32_t kCodeAddress = 0x400;

std::vector<uint8_t> Pattern(uint32_t seed, size_t length)
{
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

} // namespace

FirmwareImage StandardImages::DspImage(Personality personality)
{
    if (personality == Personality::None)
        throw std::invalid_argument("no image for the personality None");
    const uint32_t seed = static_cast<uint32_t>(personality);
    std::vector<uint8_t> vector = Pattern(seed, kVectorSize);
    ImageHeader{personality, kFirmwareVersion}.Encode(std::span<uint8_t, ImageHeader::kSize>(vector.data(), ImageHeader::kSize));

    FirmwareImage image;
    image.AddSection(0, std::move(vector));
    image.AddSection(kCodeAddress, Pattern(seed + 16, personality == Personality::MainFirmware ? 0x3000 : 0x800));
    if (personality == Personality::MainFirmware) {
        std::vector<uint8_t> data = Pattern(seed + 32, 0x400);
        const std::string banner = "Talvexon DSP firmware 2.1.0";
        std::copy(banner.begin(), banner.end(), data.begin());
        data[banner.size()] = 0;
        image.AddSection(kDataSectionAddress, std::move(data));
    }
    return image;
}

FpgaImage StandardImages::Fpga()
{
    FpgaImage image;
    image.designVersion = kFpgaDesignVersion;
    // Power-on register values: identity, video front end, alignment-marker control (34) off.
    image.registerDefaults = {{0, kFpgaDesignVersion}, {1, 0x00000001}, {2, 0x00000000},
                              {16, 0x00000210}, {17, 0x00000000}, {34, 0x00000000}};
    image.payload = Pattern(0xF96A, 0x2000);
    return image;
}

} // namespace board
