// The frame converters and bitmap operations: exact colours of the fixed-point conversion, row
// order and padding of each converter, nearest-neighbour scaling and keyed composition.
#include "controls/CVideoUtilitiesCtrl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

BITMAPINFOHEADER Header(LONG width, LONG height, WORD bits = 16)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = bits;
    return header;
}

std::vector<BYTE> Uyvy(LONG width, LONG height, BYTE y, BYTE u, BYTE v)
{
    std::vector<BYTE> frame;
    for (LONG i = 0; i < width * height / 2; ++i)
        frame.insert(frame.end(), {u, y, v, y});
    return frame;
}

TEST(VideoUtilitiesTest, UyvyBlackAndWhiteAreExact)
{
    const BITMAPINFOHEADER header = Header(2, 1);
    for (auto [y, expected] : {std::pair<BYTE, BYTE>{16, 0}, {235, 255}}) {
        const std::vector<BYTE> frame = Uyvy(2, 1, y, 128, 128);
        BYTE* out = nullptr;
        ULONG size = 0;
        CVideoUtilitiesCtrl::ConvertFrameToDib(frame.data(), out, &header, &size, 3, false);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(size, 8u);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(out[i], expected) << int(y) << " byte " << i;
        std::free(out);
    }
}

TEST(VideoUtilitiesTest, SaturatedColoursClipAtBothEnds)
{
    BYTE bgr[3];
    CVideoUtilitiesCtrl::YuvToBgr(81, 90, 240, bgr); // studio red: just below the top
    EXPECT_EQ(bgr[2], (65 * 76310 + 104635 * 112) >> 16);
    EXPECT_EQ(bgr[1], 0); // negative
    CVideoUtilitiesCtrl::YuvToBgr(235, 128, 255, bgr);
    EXPECT_EQ(bgr[2], 255); // beyond 0xFFFFFF
    CVideoUtilitiesCtrl::YuvToBgr(0, 255, 0, bgr); // luma below 16 counts as 16
    EXPECT_EQ(bgr[2], 0);
    EXPECT_EQ(bgr[0], 255);
    CVideoUtilitiesCtrl::YuvToBgr(235, 255, 128, bgr);
    EXPECT_EQ(bgr[0], 255);
}

TEST(VideoUtilitiesTest, AFlippedUyvyFrameHasItsFirstSourceRowLast)
{
    constexpr LONG kWidth = 720, kHeight = 486;
    const BITMAPINFOHEADER header = Header(kWidth, kHeight);
    std::vector<BYTE> frame = Uyvy(kWidth, kHeight, 16, 128, 128);
    // The first source row white.
    for (LONG x = 0; x < kWidth / 2; ++x)
        frame[size_t(x) * 4 + 1] = frame[size_t(x) * 4 + 3] = 235;
    BYTE* out = nullptr;
    ULONG size = 0;
    CVideoUtilitiesCtrl::ConvertFrameToDib(frame.data(), out, &header, &size, 3, true);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(CVideoUtilitiesCtrl::DibStride(kWidth, 3), 2160u);
    EXPECT_EQ(size, 2160u * kHeight);
    EXPECT_EQ(out[size_t(kHeight - 1) * 2160], 255);
    EXPECT_EQ(out[size_t(kHeight - 1) * 2160 + 2159], 255);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[size_t(kHeight - 2) * 2160], 0);
    std::free(out);
}

TEST(VideoUtilitiesTest, I420WithAnOddWidthKeepsPaddedRows)
{
    // 5 x 2: rows of 15 bytes padded to 16; row 0 black, row 1 white, neutral chroma.
    constexpr LONG kWidth = 5, kHeight = 2;
    std::vector<BYTE> frame(kWidth * kHeight, 16);
    for (LONG x = 0; x < kWidth; ++x)
        frame[size_t(kWidth + x)] = 235;
    frame.insert(frame.end(), 2 * 3 * 1, 128); // U and V planes, 3 x 1 each
    const BITMAPINFOHEADER header = Header(kWidth, kHeight, 12);
    std::vector<BYTE> out(40, 0xAA);
    BYTE* into = out.data();
    ULONG size = 0;
    CVideoUtilitiesCtrl::ConvertI420ToDib(frame.data(), into, &header, &size, 3, false, false);
    EXPECT_EQ(size, 32u);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(out[size_t(i)], 0) << i;
    EXPECT_EQ(out[15], 0xAA); // the padding is not written
    for (int i = 16; i < 31; ++i)
        EXPECT_EQ(out[size_t(i)], 255) << i;
    // Flipped with 4 bytes a pixel: the white row first, the fourth bytes 0.
    BYTE* flipped = nullptr;
    CVideoUtilitiesCtrl::ConvertI420ToDib(frame.data(), flipped, &header, &size, 4, true, true);
    ASSERT_NE(flipped, nullptr);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(flipped[0], 255);
    EXPECT_EQ(flipped[3], 0);
    EXPECT_EQ(flipped[20], 0);
    std::free(flipped);
}

TEST(VideoUtilitiesTest, Yuy2AndYvu9AreWrittenBottomUp)
{
    const BITMAPINFOHEADER header = Header(4, 4);
    std::vector<BYTE> yuy2;
    for (int row = 0; row < 4; ++row)
        for (int pair = 0; pair < 2; ++pair)
            yuy2.insert(yuy2.end(), {BYTE(row == 0 ? 235 : 16), 128, BYTE(row == 0 ? 235 : 16), 128});
    BYTE* out = nullptr;
    ULONG size = 0;
    CVideoUtilitiesCtrl::ConvertYUY2ToDib(yuy2.data(), out, &header, &size, 3);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(size, 48u);
    EXPECT_EQ(out[36], 255); // the first source row is the last output row
    EXPECT_EQ(out[0], 0);
    std::free(out);

    std::vector<BYTE> yvu9(16, 16);
    for (int x = 0; x < 4; ++x)
        yvu9[size_t(x)] = 235;
    yvu9.insert(yvu9.end(), {128, 128});
    out = nullptr;
    CVideoUtilitiesCtrl::ConvertYVU9ToDib(yvu9.data(), out, &header, &size, 4);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(size, 64u);
    EXPECT_EQ(out[48], 255);
    EXPECT_EQ(out[51], 0);
    EXPECT_EQ(out[0], 0);
    std::free(out);
}

TEST(VideoUtilitiesTest, RgbAndGreyConverters)
{
    // 24-bit 1 x 2 (rows padded to 4) to 32 bits, rows as they came.
    const BITMAPINFOHEADER rgb = Header(1, 2, 24);
    const BYTE pixels[8] = {1, 2, 3, 0, 4, 5, 6, 0};
    BYTE* out = nullptr;
    ULONG size = 0;
    CVideoUtilitiesCtrl::ConvertRGB24ToDib32(pixels, out, &rgb, &size);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(std::vector<BYTE>(out, out + 8), (std::vector<BYTE>{1, 2, 3, 0, 4, 5, 6, 0}));
    std::free(out);

    // RGB555: red 31, green 1, blue 2.
    const BITMAPINFOHEADER five = Header(1, 1, 16);
    const unsigned value = (31u << 10) | (1u << 5) | 2u;
    const BYTE word[4] = {BYTE(value), BYTE(value >> 8), 0, 0};
    out = nullptr;
    CVideoUtilitiesCtrl::ConvertRGB555ToDib(word, out, &five, &size, 3);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out[0], 16);
    EXPECT_EQ(out[1], 8);
    EXPECT_EQ(out[2], 248);
    std::free(out);

    const BITMAPINFOHEADER grey = Header(2, 1, 8);
    const BYTE levels[4] = {100, 255, 0, 0};
    out = nullptr;
    CVideoUtilitiesCtrl::ConvertGrey8ToDib(levels, out, &grey, &size, 3);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out[0], BYTE((100 * 76310) >> 16));
    EXPECT_EQ(out[3], 255);
    std::free(out);
}

TEST(VideoUtilitiesTest, PreparePreviewBitmapPicksEverySecondRowAndColumn)
{
    // 4 x 4 at 24 bits, each pixel's blue byte row * 4 + column.
    const BITMAPINFOHEADER header = Header(4, 4, 24);
    std::vector<BYTE> bits(48, 0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            bits[size_t(r * 12 + c * 3)] = BYTE(r * 4 + c);
    BYTE* out = nullptr;
    BYTE* copy = nullptr;
    ULONG size = 0;
    const RECT target{0, 0, 2, 2};
    CVideoUtilitiesCtrl::PreparePreviewBitmap(&header, bits.data(), &copy, nullptr, &out, &size, nullptr, nullptr,
                                              &target);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[3], 2);
    EXPECT_EQ(out[8], 8);
    EXPECT_EQ(out[11], 10);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::vector<BYTE>(copy, copy + 16), std::vector<BYTE>(out, out + 16));
    // A null source changes nothing.
    BYTE* before = out;
    CVideoUtilitiesCtrl::PreparePreviewBitmap(&header, nullptr, nullptr, nullptr, &out, &size, nullptr, nullptr,
                                              &target);
    EXPECT_EQ(out, before);
    std::free(out);
    std::free(copy);
}

TEST(VideoUtilitiesTest, BlitPreviewFrameStepsByTheBitmapsBytesAPixel)
{
    // A 2 x 1 area of a 32-bit source whose second pixel is the key: the destination takes the
    // background there and the source elsewhere.
    HDC screen = GetDC(nullptr);
    HBITMAP source = CreateCompatibleBitmap(screen, 4, 2);
    ReleaseDC(nullptr, screen);
    BITMAP info{};
    ASSERT_TRUE(GetObjectW(source, sizeof info, &info));
    ASSERT_EQ(info.bmBitsPixel, 32);
    const COLORREF key = RGB(10, 20, 30);
    std::vector<BYTE> sourceBits = {1, 2, 3, 0, 10, 20, 30, 0, 7, 7, 7, 0, 8, 8, 8, 0};
    std::vector<BYTE> background(32, 0x55);
    std::vector<BYTE> destination(16, 0);
    const RECT area{0, 0, 2, 1};
    CVideoUtilitiesCtrl::BlitPreviewFrame(nullptr, key, source, sourceBits.data(), nullptr, background.data(),
                                          destination.data(), ULONG(destination.size()), 16, &area);
    EXPECT_EQ(std::vector<BYTE>(destination.begin(), destination.begin() + 8),
              (std::vector<BYTE>{1, 2, 3, 0, 0x55, 0x55, 0x55, 0}));
    EXPECT_EQ(destination[8], 0); // outside the area
    DeleteObject(source);
}

} // namespace
