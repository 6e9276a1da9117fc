// The logo bitmap reader on bitmaps in memory: widening to 16 by nearest neighbour, the byte
// exchange, both row orders, pixel offsets and larger headers, and every refusal with its status,
// without a large allocation for a header that claims a huge picture.
#include <gtest/gtest.h>

#include "LogoBitmapFiles.h"
#include "bmplogofile.h"
#include "km/pool.h"
#include "km/status.h"
#include "standin/control.h"

#include <cstring>

namespace {

constexpr LogoRgb kRed{255, 0, 0};
constexpr LogoRgb kMagenta{255, 0, 255};

// A picture whose every pixel tells its own column and row.
LogoPicture Numbered(int32_t width, int32_t height)
{
    LogoPicture picture(width, height, {0, 0, 0});
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            picture.At(x, y) = {uint8_t(x), uint8_t(y), uint8_t(x * 3 + y)};
    return picture;
}

NTSTATUS Read(const std::vector<uint8_t>& file, BmpLogoFile& bitmap, bool* widened = nullptr)
{
    MemoryBitmapSource source(file.data(), file.size());
    NTSTATUS status = bitmap.ReadHeaders(source);
    return NT_SUCCESS(status) ? bitmap.ReadPicture(source, widened) : status;
}

LogoRgb PixelAt(const BmpLogoFile& bitmap, int32_t x, int32_t y)
{
    const uint8_t* p = bitmap.Pixels() + size_t(y) * bitmap.Stride() + 3 * size_t(x);
    return {p[0], p[1], p[2]};
}

TEST(BmpLogoFileTest, WidthsAreWidenedToSixteenByNearestNeighbour)
{
    // 100 wide becomes 112 (column x takes x * 100 / 112); 32 stays; 1 becomes 16 copies.
    struct Case {
        int32_t width, height, widened;
    };
    for (const Case c : {Case{100, 50, 112}, Case{32, 3, 32}, Case{1, 2, 16}}) {
        const LogoPicture picture = Numbered(c.width, c.height);
        BmpLogoFile bitmap;
        bool widened = false;
        ASSERT_EQ(Read(EncodeBmp(picture), bitmap, &widened), STATUS_SUCCESS);
        EXPECT_EQ(widened, c.widened != c.width);
        EXPECT_EQ(bitmap.Width(), c.widened);
        EXPECT_EQ(bitmap.FileWidth(), c.width);
        EXPECT_EQ(bitmap.Height(), c.height);
        EXPECT_EQ(bitmap.Stride(), 3 * c.widened);
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.widened; ++x)
                ASSERT_EQ(PixelAt(bitmap, x, y), picture.At(x * c.width / c.widened, y)) << x << "," << y;
    }
}

TEST(BmpLogoFileTest, RowOrdersOffsetsAndHeaderSizesGiveTheSamePicture)
{
    LogoPicture picture(100, 50, kMagenta);
    picture.FillRect(0, 0, 10, 10, kRed);
    BmpLogoFile reference;
    ASSERT_EQ(Read(EncodeBmp(picture), reference), STATUS_SUCCESS);
    // Red at the top left: the rows come out top-down, red first in each pixel.
    EXPECT_EQ(PixelAt(reference, 0, 0), kRed);
    EXPECT_EQ(PixelAt(reference, 0, 10), kMagenta);
    EXPECT_EQ(PixelAt(reference, 11, 0), kRed);
    EXPECT_EQ(PixelAt(reference, 12, 0), kMagenta);

    BmpWriteOptions topDown;
    topDown.topDown = true;
    BmpWriteOptions offset138;
    offset138.pixelOffset = 138;
    BmpWriteOptions v5Header;
    v5Header.infoHeaderSize = 124;
    v5Header.pixelOffset = 138;
    for (const BmpWriteOptions& options : {topDown, offset138, v5Header}) {
        BmpLogoFile bitmap;
        ASSERT_EQ(Read(EncodeBmp(picture, options), bitmap), STATUS_SUCCESS);
        ASSERT_EQ(bitmap.Width(), reference.Width());
        ASSERT_EQ(bitmap.Height(), reference.Height());
        EXPECT_EQ(0, std::memcmp(bitmap.Pixels(), reference.Pixels(), size_t(reference.Stride()) * reference.Height()));
    }
}

TEST(BmpLogoFileTest, RefusalsAndTheirStatuses)
{
    const LogoPicture picture = Numbered(20, 10);
    struct Case {
        const char* what;
        BmpWriteOptions options;
        NTSTATUS status;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, NTSTATUS status, auto change) {
        BmpWriteOptions o;
        change(o);
        cases.push_back({what, o, status});
    };
    add("8 bits", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.bitCount = 8; });
    add("32 bits", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.bitCount = 32; });
    add("compression 1", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.compression = 1; });
    add("bit fields", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.compression = 3; });
    add("two planes", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.planes = 2; });
    add("not BM", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.signature = 0x4142; });
    add("12-byte header", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.infoHeaderSize = 12; });
    add("pixels inside the headers", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.pixelOffset = 40; });
    add("negative width", STATUS_INVALID_IMAGE_FORMAT, [](BmpWriteOptions& o) { o.claimedWidth = -5; });
    add("40000 x 40000", STATUS_NOT_SUPPORTED, [](BmpWriteOptions& o) {
        o.claimedWidth = 40000;
        o.claimedHeight = 40000;
    });
    add("4097 wide", STATUS_NOT_SUPPORTED, [](BmpWriteOptions& o) { o.claimedWidth = 4097; });
    add("4097 tall, top-down", STATUS_NOT_SUPPORTED, [](BmpWriteOptions& o) {
        o.claimedHeight = 4097;
        o.topDown = true;
    });
    add("lowest height", STATUS_NOT_SUPPORTED, [](BmpWriteOptions& o) { o.claimedHeight = INT32_MIN; });
    add("one pixel row short", STATUS_END_OF_FILE, [](BmpWriteOptions& o) { o.truncateTo = 54 + 60 * 10 - 1; });
    add("11 rows claimed", STATUS_END_OF_FILE, [](BmpWriteOptions& o) { o.claimedHeight = 11; });
    add("no information header", STATUS_END_OF_FILE, [](BmpWriteOptions& o) { o.truncateTo = 30; });
    add("empty", STATUS_END_OF_FILE, [](BmpWriteOptions& o) { o.truncateTo = 0; });

    for (const Case& c : cases) {
        const std::vector<uint8_t> file = EncodeBmp(picture, c.options);
        const uint64_t bytesBefore = standin::PoolUsageTotal().totalBytes;
        BmpLogoFile bitmap;
        EXPECT_EQ(Read(file, bitmap), c.status) << c.what;
        EXPECT_EQ(bitmap.Pixels(), nullptr) << c.what;
        EXPECT_EQ(bitmap.Width(), 0) << c.what;
        // Refused before any pixel buffer is taken.
        EXPECT_EQ(standin::PoolUsageTotal().totalBytes, bytesBefore) << c.what;
    }
}

TEST(BmpLogoFileTest, LargestPictureIsTaken)
{
    LogoPicture picture(4096, 2, kRed);
    picture.At(4095, 1) = kMagenta;
    BmpLogoFile bitmap;
    ASSERT_EQ(Read(EncodeBmp(picture), bitmap), STATUS_SUCCESS);
    EXPECT_EQ(bitmap.Width(), 4096);
    EXPECT_EQ(PixelAt(bitmap, 4095, 1), kMagenta);
}

TEST(BmpLogoFileTest, PoolFailureLeavesNoPicture)
{
    const std::vector<uint8_t> file = EncodeBmp(Numbered(20, 4));
    for (uint64_t n = 1; n <= 2; ++n) {
        BmpLogoFile bitmap;
        standin::PoolFailNthAllocation(n);
        EXPECT_EQ(Read(file, bitmap), STATUS_INSUFFICIENT_RESOURCES) << n;
        EXPECT_EQ(bitmap.Pixels(), nullptr);
        standin::PoolClearFailures();
    }
}

TEST(BmpLogoFileTest, ReadingAgainReplacesThePicture)
{
    BmpLogoFile bitmap;
    ASSERT_EQ(Read(EncodeBmp(Numbered(20, 4)), bitmap), STATUS_SUCCESS);
    BmpWriteOptions broken;
    broken.bitCount = 16;
    EXPECT_EQ(Read(EncodeBmp(Numbered(20, 4), broken), bitmap), STATUS_INVALID_IMAGE_FORMAT);
    EXPECT_EQ(bitmap.Pixels(), nullptr);
}

} // namespace
