// The colour-bar picture: bar boundaries, the three planes, the row copies at the frames' stride,
// the animation and its wrap, and descriptions it refuses to draw.
#include "colorbargenerator.h"
#include "videoframe.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

BITMAPINFOHEADER Header(int32_t width, int32_t height, uint32_t sizeImage = 0)
{
    BITMAPINFOHEADER header{};
    header.biSize = 40;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 16;
    header.biSizeImage = sizeImage;
    return header;
}

TEST(ColorBarGeneratorTest, BarsAt720x487FillEveryRowOfThreePlanes)
{
    const ULONG imageSize = 720 * 487 * 2;
    ColorBarGenerator bars(Header(720, 487, imageSize), false);
    EXPECT_EQ(bars.GetRowSize(), 1440u);
    std::vector<UCHAR> buffer(imageSize + 64, 0x55);
    ASSERT_EQ(bars.Render(buffer.data()), imageSize);
    const UCHAR* y = buffer.data();
    const UCHAR* u = buffer.data() + imageSize / 2;
    const UCHAR* v = buffer.data() + imageSize * 3 / 4;
    for (int row = 0; row < 487; ++row) {
        const UCHAR* line = y + row * 720;
        for (int x = 0; x < 720; ++x) {
            const int bar = x / 90;
            ASSERT_EQ(line[x], ColorBarGenerator::kBarY[bar]) << "row " << row << " x " << x;
        }
        for (int k = 0; k < 360; ++k) {
            ASSERT_EQ(u[row * 360 + k], ColorBarGenerator::kBarU[k / 45]) << row << " " << k;
            ASSERT_EQ(v[row * 360 + k], ColorBarGenerator::kBarV[k / 45]) << row << " " << k;
        }
    }
    EXPECT_EQ(y[89], 235);
    EXPECT_EQ(y[90], 161);
    EXPECT_EQ(y[179], 161);
    EXPECT_EQ(y[630], 16);
    EXPECT_EQ(y[719], 16);
    EXPECT_EQ(u[45], 43);
    EXPECT_EQ(v[45], 139);
    // Nothing beyond the image size.
    EXPECT_EQ(buffer[imageSize], 0x55);
}

TEST(ColorBarGeneratorTest, AnimationRaisesWhiteByOneARenderAndWrapsAtThe22nd)
{
    ColorBarGenerator bars(Header(64, 4), true);
    std::vector<UCHAR> buffer(bars.GetImageSize());
    std::vector<int> white;
    for (int i = 0; i < 23; ++i) {
        bars.Render(buffer.data());
        white.push_back(buffer[0]);
        ASSERT_EQ(buffer[63], UCHAR(16 + i)) << i; // black rises too
        ASSERT_EQ(buffer[3 * 64], buffer[0]) << "row 3 is row 0";
    }
    EXPECT_EQ(white[0], 235);
    EXPECT_EQ(white[1], 236);
    EXPECT_EQ(white[20], 255);
    EXPECT_EQ(white[21], 0);
    EXPECT_EQ(white[22], 1);
    // Not animated: the same picture every time.
    ColorBarGenerator still(Header(64, 4), false);
    still.Render(buffer.data());
    still.Render(buffer.data());
    EXPECT_EQ(buffer[0], 235);
}

TEST(ColorBarGeneratorTest, RowsFollowTheStrideOfAFrameLaidAtTheSameSize)
{
    // 100 pixels: rows of 112 bytes in a VideoFrame; the padding is left at 0xFF.
    VideoFrame frame(100, 6, 16, true);
    ColorBarGenerator bars(Header(100, -6), false); // top-down counts as its size
    ASSERT_EQ(bars.GetStride(), frame.GetRowWidth());
    ASSERT_EQ(bars.GetImageSize(), 112u * 6 * 2);
    ASSERT_EQ(bars.Render(frame.GetFrameData()), bars.GetImageSize());
    for (int row = 0; row < 6; ++row) {
        const UCHAR* y = frame.GetPlane(0) + row * frame.GetStride(0);
        const UCHAR* u = frame.GetPlane(1) + row * frame.GetStride(1);
        const UCHAR* v = frame.GetPlane(2) + row * frame.GetStride(2);
        EXPECT_EQ(y[0], 235);
        EXPECT_EQ(y[99], 16);
        EXPECT_EQ(y[100], 0xFF);
        // 50 pairs: pair 7 is the first of bar 1 (8 x 7 / 50 = 1).
        EXPECT_EQ(u[6], 128);
        EXPECT_EQ(u[7], 43);
        EXPECT_EQ(v[49], 128);
        EXPECT_EQ(u[50], 0xFF);
    }
}

TEST(ColorBarGeneratorTest, AWidth1920GivesBarsOf240Pixels)
{
    ColorBarGenerator bars(Header(1920, 2), false);
    std::vector<UCHAR> buffer(bars.GetImageSize());
    bars.Render(buffer.data());
    for (int bar = 0; bar < 8; ++bar) {
        EXPECT_EQ(buffer[bar * 240], ColorBarGenerator::kBarY[bar]);
        EXPECT_EQ(buffer[bar * 240 + 239], ColorBarGenerator::kBarY[bar]);
    }
}

TEST(ColorBarGeneratorTest, AnImageSizeTooSmallForThePlanesCutsTheRowsNotTheBuffer)
{
    // 32 x 8 needs 512 bytes; 256 hold 4 rows of each plane.
    ColorBarGenerator bars(Header(32, 8, 256), false);
    std::vector<UCHAR> buffer(300, 0x11);
    ASSERT_EQ(bars.Render(buffer.data()), 256u);
    // Four rows a plane: Y in 0..127, U in 128..191, V in 192..255.
    EXPECT_EQ(buffer[3 * 32], 235);
    EXPECT_EQ(buffer[3 * 32 + 31], 16);
    EXPECT_EQ(buffer[128], 128);
    EXPECT_EQ(buffer[128 + 3 * 16 + 2], 43);
    EXPECT_EQ(buffer[192 + 3 * 16 + 2], 139);
    EXPECT_EQ(buffer[256], 0x11);
}

TEST(ColorBarGeneratorTest, DescriptionsOutsideTheDrawnRangeRenderNothing)
{
    std::vector<UCHAR> buffer(16, 0x22);
    for (const auto& header : {Header(0, 8), Header(1, 8), Header(1921, 8), Header(64, 0), Header(64, 1126),
                               Header(64, INT32_MIN)}) {
        ColorBarGenerator bars(header, false);
        EXPECT_EQ(bars.GetImageSize(), 0u);
        EXPECT_EQ(bars.Render(buffer.data()), 0u);
    }
    ColorBarGenerator good(Header(64, 4), false);
    EXPECT_EQ(good.Render(nullptr), 0u);
    EXPECT_EQ(buffer[0], 0x22);
}

} // namespace
