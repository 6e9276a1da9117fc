// Building and parsing our FPGA image files.
#include "board/FpgaImage.h"

#include <stdexcept>

#include "LittleEndian.h"

namespace board {

namespace {

uint32_t ByteSum(const uint8_t* bytes, size_t length)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += bytes[i];
    return sum;
}

} // namespace

std::vector<uint8_t> FpgaImage::Serialize() const
{
    if (registerDefaults.size() > UINT32_MAX || payload.size() > UINT32_MAX)
        throw std::length_error("an FPGA image field is too long for its 32-bit length");
    std::vector<uint8_t> out;
    AppendLittle32(out, kMagic);
    AppendLittle32(out, kFormatVersion);
    AppendLittle32(out, designVersion);
    AppendLittle32(out, static_cast<uint32_t>(registerDefaults.size()));
    for (const FpgaRegisterDefault& entry : registerDefaults) {
        AppendLittle32(out, entry.reg);
        AppendLittle32(out, entry.value);
    }
    AppendLittle32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    AppendLittle32(out, ByteSum(out.data(), out.size()));
    return out;
}

FpgaImageParseError FpgaImage::Parse(std::span<const uint8_t> bytes, FpgaImage& image)
{
    image = FpgaImage{};
    size_t at = 0;
    auto take = [&](uint32_t& value) {
        if (bytes.size() - at < 4)
            return false;
        value = LoadLittle32(bytes.data() + at);
        at += 4;
        return true;
    };
    uint32_t magic = 0, format = 0, design = 0, count = 0;
    if (!take(magic))
        return FpgaImageParseError::Truncated;
    if (magic != kMagic)
        return FpgaImageParseError::BadMagic;
    if (!take(format))
        return FpgaImageParseError::Truncated;
    if (format != kFormatVersion)
        return FpgaImageParseError::BadVersion;
    if (!take(design) || !take(count))
        return FpgaImageParseError::Truncated;
    // Checked before reserving, so a forged count cannot make us allocate.
    if ((bytes.size() - at) / 8 < count)
        return FpgaImageParseError::Truncated;
    FpgaImage parsed;
    parsed.designVersion = design;
    parsed.registerDefaults.resize(count);
    for (FpgaRegisterDefault& entry : parsed.registerDefaults) {
        take(entry.reg);
        take(entry.value);
    }
    uint32_t length = 0;
    if (!take(length) || bytes.size() - at < length)
        return FpgaImageParseError::Truncated;
    parsed.payload.assign(bytes.begin() + at, bytes.begin() + at + length);
    at += length;
    const size_t summed = at;
    uint32_t checksum = 0;
    if (!take(checksum))
        return FpgaImageParseError::Truncated;
    if (checksum != ByteSum(bytes.data(), summed))
        return FpgaImageParseError::BadChecksum;
    if (at != bytes.size())
        return FpgaImageParseError::TrailingBytes;
    image = std::move(parsed);
    return FpgaImageParseError::None;
}

} // namespace board
