// The contact sheet: tiles of bottom-up and top-down BGR pictures in the right rows and colours,
// the caption strip's bit cells and parity marks, the audio bands' extent, and the PNG file
// decoded by libpng giving back exactly the rendered pixels.
#include "contactsheet.h"

#include <png.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using capture::ContactSheet;
using capture::Picture;
using Rgb = std::array<uint8_t, 3>;

// A BGR(X) picture whose upper half (as seen) is `top` and lower half `bottom`, in the row order
// asked.
struct TwoTone {
    TwoTone(int width, int height, uint32_t bytes, bool bottomUp, Rgb top, Rgb bottom)
    {
        picture.width = width;
        picture.height = height;
        picture.bytesPerPixel = bytes;
        picture.bottomUp = bottomUp;
        picture.stride = (size_t(width) * bytes + 3) & ~size_t(3);
        data.assign(picture.stride * size_t(height), 0xEE);
        for (int y = 0; y < height; ++y) {
            const Rgb& colour = y < height / 2 ? top : bottom;
            const int memoryRow = bottomUp ? height - 1 - y : y;
            for (int x = 0; x < width; ++x) {
                uint8_t* p = &data[size_t(memoryRow) * picture.stride + size_t(x) * bytes];
                p[0] = colour[2];
                p[1] = colour[1];
                p[2] = colour[0];
            }
        }
        picture.data = data.data();
    }
    Picture picture;
    std::vector<uint8_t> data;
};

Rgb At(const std::vector<uint8_t>& rgb, int width, int x, int y)
{
    const size_t i = (size_t(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

TEST(ContactSheetTest, FramesLandAsTilesTheRightWayUpInTheirRows)
{
    ContactSheet sheet;
    const Rgb red = {200, 16, 16}, blue = {16, 16, 200}, white = {235, 235, 235}, green = {16, 180, 16};
    // Capture: 640 x 480 bottom-up RGB24; preview: 320 x 240 bottom-up RGB32; one top-down too.
    TwoTone capture(640, 480, 3, true, red, blue);
    TwoTone preview(320, 240, 4, true, white, green);
    TwoTone topDown(17, 9, 3, false, green, red);
    ASSERT_TRUE(sheet.AddCaptureFrame(capture.picture));
    ASSERT_TRUE(sheet.AddCaptureFrame(topDown.picture));
    ASSERT_TRUE(sheet.AddPreviewFrame(preview.picture));
    int width = 0, height = 0;
    const auto rgb = sheet.Render(&width, &height);
    EXPECT_EQ(width, ContactSheet::kWidth);
    const int x0 = ContactSheet::TileLeft(0), x1 = ContactSheet::TileLeft(1);
    const int cap = ContactSheet::CaptureRowTop(), pre = ContactSheet::PreviewRowTop();
    EXPECT_EQ(At(rgb, width, x0 + 80, cap + 10), red);
    EXPECT_EQ(At(rgb, width, x0 + 80, cap + 110), blue);
    EXPECT_EQ(At(rgb, width, x1 + 5, cap + 5), green);
    EXPECT_EQ(At(rgb, width, x1 + 155, cap + 115), red);
    EXPECT_EQ(At(rgb, width, x0 + 3, pre + 3), white);
    EXPECT_EQ(At(rgb, width, x0 + 159, pre + 119), green);
    // Between and beside tiles, and the empty third capture tile: background.
    EXPECT_EQ(At(rgb, width, x0 - 1, cap + 10), ContactSheet::kBackground);
    EXPECT_EQ(At(rgb, width, ContactSheet::TileLeft(2) + 10, cap + 10), ContactSheet::kBackground);

    // Only four tiles a row; pictures that cannot be read are refused.
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(sheet.AddCaptureFrame(capture.picture));
    Picture bad = capture.picture;
    bad.stride = 100;
    EXPECT_FALSE(sheet.AddCaptureFrame(bad));
    bad = capture.picture;
    bad.bytesPerPixel = 2;
    EXPECT_FALSE(sheet.AddCaptureFrame(bad));
    bad = capture.picture;
    bad.data = nullptr;
    EXPECT_FALSE(sheet.AddPreviewFrame(bad));
    const auto full = sheet.Render(&width, &height);
    EXPECT_EQ(At(full, width, ContactSheet::TileLeft(3) + 80, cap + 10), red);
}

TEST(ContactSheetTest, CaptionPairsShowTheirBitsAndParityErrors)
{
    ContactSheet sheet;
    // 0x94 0x2C: both odd parity. 0x41 (even parity: marked). Null pair 0x80 0x80.
    sheet.SetCaptionPairs({{0x94, 0x2C}, {0x41, 0x80}, {0x80, 0x80}});
    int width = 0, height = 0;
    const auto rgb = sheet.Render(&width, &height);
    const Rgb one = {255, 255, 255}, zero = {0, 0, 0};
    auto cell = [&](int pair, int byte, int bit) {
        return At(rgb, width, ContactSheet::kMargin + pair * ContactSheet::kCellSize + 1,
                  ContactSheet::StripTop() + (byte * 8 + bit) * ContactSheet::kCellSize + 1);
    };
    for (int bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(cell(0, 0, bit), ((0x94 >> bit) & 1) ? one : zero) << bit;
        EXPECT_EQ(cell(0, 1, bit), ((0x2C >> bit) & 1) ? one : zero) << bit;
        EXPECT_EQ(cell(2, 0, bit), bit == 7 ? one : zero) << bit;
    }
    EXPECT_EQ(cell(1, 0, 0), one);
    EXPECT_EQ(cell(1, 0, 7), ContactSheet::kParityError);
    EXPECT_EQ(cell(1, 1, 7), one);
    // After the last pair: background.
    EXPECT_EQ(cell(3, 0, 0), ContactSheet::kBackground);
}

TEST(ContactSheetTest, TheWaveformSpansEachColumnsSamplesPerChannel)
{
    ContactSheet sheet;
    // Left: a full-scale square wave at half the sample rate; right: silence.
    std::vector<int16_t> samples;
    for (int i = 0; i < 4800; ++i) {
        samples.push_back(int16_t(i % 2 ? 32767 : -32768));
        samples.push_back(0);
    }
    sheet.SetAudio(samples, 2);
    int width = 0, height = 0;
    const auto rgb = sheet.Render(&width, &height);
    EXPECT_EQ(height, sheet.BandTop(2));
    const int left = sheet.BandTop(0), right = sheet.BandTop(1);
    const int x = ContactSheet::kMargin + 100;
    // Every column holds both extremes of the square wave: the band's first and last rows.
    EXPECT_EQ(At(rgb, width, x, left + 1), ContactSheet::kWaveform);
    EXPECT_EQ(At(rgb, width, x, left + ContactSheet::kBandHeight - 1), ContactSheet::kWaveform);
    EXPECT_EQ(At(rgb, width, x, left), ContactSheet::kBackground);
    // Silence: the one row at the centre.
    const int centre = right + ContactSheet::kBandHeight / 2;
    EXPECT_EQ(At(rgb, width, x, centre), ContactSheet::kWaveform);
    EXPECT_EQ(At(rgb, width, x, centre - 1), ContactSheet::kBackground);
    EXPECT_EQ(At(rgb, width, x, centre + 1), ContactSheet::kBackground);
}

TEST(ContactSheetTest, ThePngFileDecodesToTheRenderedPixels)
{
    std::string pattern = (fs::temp_directory_path() / "contact-sheet-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    ContactSheet sheet;
    TwoTone capture(640, 480, 3, true, {10, 20, 30}, {40, 50, 60});
    ASSERT_TRUE(sheet.AddCaptureFrame(capture.picture));
    sheet.SetCaptionPairs({{0x94, 0x2C}});
    sheet.SetAudio(std::vector<int16_t>(960, 1000), 2);
    std::string error;
    ASSERT_TRUE(sheet.Write(folder / "contact.png", &error)) << error;
    int width = 0, height = 0;
    const auto expected = sheet.Render(&width, &height);

    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, (folder / "contact.png").string().c_str()), 0) << image.message;
    image.format = PNG_FORMAT_RGB;
    EXPECT_EQ(int(image.width), width);
    EXPECT_EQ(int(image.height), height);
    std::vector<uint8_t> decoded(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr), 0) << image.message;
    EXPECT_TRUE(decoded == expected);

    // A folder that is not there: a clear error.
    EXPECT_FALSE(sheet.Write(folder / "missing" / "contact.png", &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

} // namespace
