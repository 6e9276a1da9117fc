// Logo bitmaps for the logo tests: pictures of red, green, blue pixels, written as 24-bit bitmap
// files in either row order, with any information-header size and pixel offset, and in broken
// variants (other bit counts, compression, planes, signature, sizes claimed in the header, files
// cut short); and a machine drive C of the test's own to put them on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct LogoRgb {
    uint8_t r, g, b;
    bool operator==(const LogoRgb&) const = default;
};

// width x height pixels, top row first.
struct LogoPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<LogoRgb> pixels;

    LogoPicture() = default;
    LogoPicture(int32_t w, int32_t h, LogoRgb fill) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    LogoRgb& At(int32_t x, int32_t y) { return pixels[size_t(y) * width + x]; }
    const LogoRgb& At(int32_t x, int32_t y) const { return pixels[size_t(y) * width + x]; }
    // Paints the rectangle [x, x + w) x [y, y + h).
    void FillRect(int32_t x, int32_t y, int32_t w, int32_t h, LogoRgb colour);
};

struct BmpWriteOptions {
    bool topDown = false;          // a negative height and the top row first
    uint32_t infoHeaderSize = 40;  // biSize; the bytes past 40 are written as zeros
    uint32_t pixelOffset = 0;      // bfOffBits; 0: right after the headers (gap bytes are 0xEE)
    uint16_t signature = 0x4D42;
    uint16_t planes = 1;
    uint16_t bitCount = 24;        // the header's; the rows are always written as 24-bit
    uint32_t compression = 0;
    int32_t claimedWidth = 0;      // non-zero: the header's width instead of the picture's
    int32_t claimedHeight = 0;     // non-zero: the header's |height| instead of the picture's
    size_t truncateTo = SIZE_MAX;  // the file is cut to this many bytes
};

// The bytes of the file (rows blue, green, red, padded to 4 bytes).
std::vector<uint8_t> EncodeBmp(const LogoPicture& picture, const BmpWriteOptions& options = {});

// A machine root with an empty drive C, set as the stand-in's machine root for the object's life.
class LogoTestDrive {
public:
    LogoTestDrive();
    ~LogoTestDrive();
    LogoTestDrive(const LogoTestDrive&) = delete;
    LogoTestDrive& operator=(const LogoTestDrive&) = delete;

    // Writes `bytes` as C:\<fileName> and returns the name the logo settings take ("C:\<fileName>").
    std::string Put(const std::string& fileName, const std::vector<uint8_t>& bytes);
    // The same name as the 260-character wide field of the logo settings.
    static void ToSettingsName(const std::string& name, char16_t (&field)[260]);

private:
    std::filesystem::path m_root;
};
