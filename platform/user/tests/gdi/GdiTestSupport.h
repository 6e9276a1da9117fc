// Helpers of the GDI tests: the breaches a test left, BMP files built in memory, and a machine
// whose C: drive is a fresh folder.
#pragma once
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "standin/drives.h"
#include "standin/userprocess.h"
#include "standin/verifier.h"
#include "um/windows.h"

namespace gditest {

inline std::vector<std::string> Rules()
{
    std::vector<std::string> rules;
    for (auto& v : standin::VerifierTakeViolations())
        rules.push_back(v.rule);
    return rules;
}

inline void Put32(std::vector<BYTE>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// A BMP file of `bits` per pixel whose pixel (x, y) (top row first) is colour(x, y): an index for
// 1, 4 and 8 bits (with `palette`), a colour otherwise. 16 bits is 5-5-5, or 5-6-5 with bit
// fields; 32 bits with bit fields puts red in the low byte.
struct BmpSpec {
    int width = 0;
    int height = 0;
    int bits = 24;
    bool topDown = false;
    bool bitfields = false;
    std::vector<RGBQUAD> palette;
    std::function<uint32_t(int, int)> pixel;
};

inline std::vector<BYTE> MakeBmp(const BmpSpec& spec)
{
    const size_t rowBytes = (static_cast<size_t>(spec.width) * spec.bits + 31) / 32 * 4;
    const size_t fields = spec.bitfields ? 12 : 0;
    const size_t table = spec.palette.size() * 4;
    const size_t offset = 14 + 40 + fields + table;
    std::vector<BYTE> out(offset + rowBytes * spec.height, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<uint32_t>(out.size()));
    Put32(out, 10, static_cast<uint32_t>(offset));
    Put32(out, 14, 40);
    Put32(out, 18, static_cast<uint32_t>(spec.width));
    Put32(out, 22, static_cast<uint32_t>(spec.topDown ? -spec.height : spec.height));
    out[26] = 1;
    out[28] = static_cast<BYTE>(spec.bits);
    Put32(out, 30, spec.bitfields ? BI_BITFIELDS : BI_RGB);
    Put32(out, 46, static_cast<uint32_t>(spec.palette.size()));
    if (spec.bitfields) {
        if (spec.bits == 16) {
            Put32(out, 54, 0xF800);
            Put32(out, 58, 0x07E0);
            Put32(out, 62, 0x001F);
        } else {
            Put32(out, 54, 0x000000FF);
            Put32(out, 58, 0x0000FF00);
            Put32(out, 62, 0x00FF0000);
        }
    }
    if (table)
        std::memcpy(out.data() + 54 + fields, spec.palette.data(), table);
    for (int y = 0; y < spec.height; ++y) {
        BYTE* row = out.data() + offset + rowBytes * static_cast<size_t>(spec.topDown ? y : spec.height - 1 - y);
        for (int x = 0; x < spec.width; ++x) {
            const uint32_t v = spec.pixel(x, y);
            switch (spec.bits) {
            case 1: row[x / 8] |= static_cast<BYTE>((v & 1) << (7 - x % 8)); break;
            case 4: row[x / 2] |= static_cast<BYTE>((v & 0xF) << (x % 2 ? 0 : 4)); break;
            case 8: row[x] = static_cast<BYTE>(v); break;
            case 16: {
                const COLORREF c = v;
                const uint32_t packed = spec.bitfields
                                            ? ((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3)
                                            : ((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) | (GetBValue(c) >> 3);
                row[2 * x] = static_cast<BYTE>(packed);
                row[2 * x + 1] = static_cast<BYTE>(packed >> 8);
                break;
            }
            case 24:
                row[3 * x] = GetBValue(v);
                row[3 * x + 1] = GetGValue(v);
                row[3 * x + 2] = GetRValue(v);
                break;
            default:
                if (spec.bitfields) {
                    row[4 * x] = GetRValue(v);
                    row[4 * x + 1] = GetGValue(v);
                    row[4 * x + 2] = GetBValue(v);
                } else {
                    row[4 * x] = GetBValue(v);
                    row[4 * x + 1] = GetGValue(v);
                    row[4 * x + 2] = GetRValue(v);
                }
            }
        }
    }
    return out;
}

// A test whose machine has a C: drive in a fresh folder.
class MachineTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "user-gdi-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        std::filesystem::create_directories(root / "C");
        standin::SetMachineRoot(root.string());
    }
    void TearDown() override
    {
        standin::ResetCurrentDirectory();
        standin::SetMachineRoot("");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    // Writes a file on the machine's C: drive through the Win32 calls.
    void WriteMachineFile(const char* path, const std::vector<BYTE>& bytes)
    {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        EXPECT_EQ(written, bytes.size());
        CloseHandle(file);
    }
    std::filesystem::path root;
};

// The bytes of one pixel of a 32-bit bitmap selected in a memory DC.
inline std::vector<BYTE> PixelBytes(HBITMAP bitmap, int x, int y)
{
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    std::vector<BYTE> bits(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
    GetBitmapBits(bitmap, static_cast<LONG>(bits.size()), bits.data());
    const BYTE* p = bits.data() + static_cast<size_t>(y) * bm.bmWidthBytes + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

// A memory DC holding a bitmap of `bits` per pixel, filled with one colour.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    Surface(int w, int h, int bits, COLORREF fill)
    {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateBitmap(w, h, 1, static_cast<UINT>(bits), nullptr);
        old = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Surface()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    int Count(COLORREF color, int w, int h) const
    {
        int n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                n += GetPixel(dc, x, y) == color;
        return n;
    }
};

} // namespace gditest
