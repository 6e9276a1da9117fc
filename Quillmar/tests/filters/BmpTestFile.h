// Bitmap files for the logo tests, written byte by byte: 24-bit pictures with bottom-up or
// top-down rows, an 8-bit picture with its palette, and the broken files a user may pick (cut
// short, or another format under a .bmp name). Where ImageMagick's convert really runs, the same
// kinds of file also come from it, as an independent writer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bmptest {

enum class Rows { BottomUp, TopDown };

inline void Put16(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// The 14-byte file header and the 40-byte information header of an uncompressed picture.
inline std::vector<uint8_t> Headers(int32_t width, int32_t height, uint16_t bitCount, uint32_t paletteEntries,
                                    uint32_t imageBytes)
{
    const uint32_t offset = 14 + 40 + 4 * paletteEntries;
    std::vector<uint8_t> out;
    Put16(out, 0x4D42); // "BM"
    Put32(out, offset + imageBytes);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, bitCount);
    Put32(out, 0); // uncompressed
    Put32(out, imageBytes);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, paletteEntries);
    Put32(out, 0);
    return out;
}

// A 24-bit picture: blue, green, red per pixel, rows padded to four bytes.
inline std::vector<uint8_t> Bitmap24(int32_t width, int32_t height, Rows rows)
{
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    std::vector<uint8_t> out =
        Headers(width, rows == Rows::TopDown ? -height : height, 24, 0, stride * static_cast<uint32_t>(height));
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            out.push_back(static_cast<uint8_t>(x * 4));
            out.push_back(static_cast<uint8_t>(y * 8));
            out.push_back(0xC0);
        }
        for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < stride; ++pad)
            out.push_back(0);
    }
    return out;
}

// An 8-bit picture with a 256-entry grey palette.
inline std::vector<uint8_t> Bitmap8(int32_t width, int32_t height)
{
    const uint32_t stride = (static_cast<uint32_t>(width) + 3) & ~3u;
    std::vector<uint8_t> out = Headers(width, height, 8, 256, stride * static_cast<uint32_t>(height));
    for (uint32_t i = 0; i < 256; ++i)
        Put32(out, i | i << 8 | i << 16);
    for (int32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < stride; ++x)
            out.push_back(static_cast<uint8_t>(x + y));
    return out;
}

// The first bytes of a PNG file: another format with its own signature.
inline std::vector<uint8_t> PngSignature()
{
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                0,    0,   0,   64,  0,    0,    0,    32,   8, 2, 0, 0,  0,   0,   0,   0};
    return out;
}

inline std::vector<uint8_t> Truncated(std::vector<uint8_t> bytes, size_t length)
{
    bytes.resize(length < bytes.size() ? length : bytes.size());
    return bytes;
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs ImageMagick's convert with `arguments`; true when it wrote `output` as a file that starts
// as a bitmap or a PNG does.
inline bool Convert(const std::string& arguments, const std::filesystem::path& output)
{
    std::filesystem::create_directories(output.parent_path());
    // The arguments end with the output's format prefix ("BMP3:", "PNG:"), which the path follows.
    const std::string command = "convert " + arguments + "'" + output.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return false;
    const std::vector<uint8_t> bytes = ReadFile(output);
    return bytes.size() >= 8 && ((bytes[0] == 'B' && bytes[1] == 'M') || (bytes[0] == 0x89 && bytes[1] == 'P'));
}

} // namespace bmptest
