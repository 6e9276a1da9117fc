// Logo bitmap files and the test drive.
#include "LogoBitmapFiles.h"

#include "standin/drives.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v)
{
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(v >> (8 * i));
}

} // namespace

void LogoPicture::FillRect(int32_t x, int32_t y, int32_t w, int32_t h, LogoRgb colour)
{
    for (int32_t r = y; r < y + h; ++r)
        for (int32_t c = x; c < x + w; ++c)
            At(c, r) = colour;
}

std::vector<uint8_t> EncodeBmp(const LogoPicture& picture, const BmpWriteOptions& options)
{
    const size_t rowBytes = (size_t(picture.width) * 3 + 3) / 4 * 4;
    const size_t headers = 14 + size_t(options.infoHeaderSize);
    const size_t offset = options.pixelOffset ? options.pixelOffset : headers;
    const size_t total = std::max(offset, headers) + rowBytes * picture.height;
    std::vector<uint8_t> out(total, 0);
    if (offset > headers)
        std::fill(out.begin() + headers, out.begin() + offset, uint8_t(0xEE));

    const int32_t width = options.claimedWidth ? options.claimedWidth : picture.width;
    const int32_t rows = options.claimedHeight ? options.claimedHeight : picture.height;
    Put16(out, 0, options.signature);
    Put32(out, 2, uint32_t(total));
    Put32(out, 10, uint32_t(offset));
    Put32(out, 14, options.infoHeaderSize);
    Put32(out, 18, uint32_t(width));
    Put32(out, 22, uint32_t(options.topDown ? -rows : rows));
    Put16(out, 26, options.planes);
    Put16(out, 28, options.bitCount);
    Put32(out, 30, options.compression);
    Put32(out, 34, uint32_t(rowBytes * picture.height));

    for (int32_t i = 0; i < picture.height; ++i) {
        const int32_t y = options.topDown ? i : picture.height - 1 - i;
        uint8_t* row = out.data() + offset + rowBytes * i;
        for (int32_t x = 0; x < picture.width; ++x) {
            const LogoRgb& p = picture.At(x, y);
            row[3 * x] = p.b;
            row[3 * x + 1] = p.g;
            row[3 * x + 2] = p.r;
        }
    }
    if (options.truncateTo < out.size())
        out.resize(options.truncateTo);
    return out;
}

LogoTestDrive::LogoTestDrive()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "logo-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    std::filesystem::create_directory(m_root / "C");
    standin::SetMachineRoot(m_root.string());
}

LogoTestDrive::~LogoTestDrive()
{
    standin::SetMachineRoot("");
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string LogoTestDrive::Put(const std::string& fileName, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(m_root / "C" / fileName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return "C:\\" + fileName;
}

void LogoTestDrive::ToSettingsName(const std::string& name, char16_t (&field)[260])
{
    std::memset(field, 0, sizeof(field));
    for (size_t i = 0; i < name.size() && i < 259; ++i)
        field[i] = char16_t(static_cast<unsigned char>(name[i]));
}
