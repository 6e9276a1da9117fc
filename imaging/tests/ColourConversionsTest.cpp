// The six colour conversion entry points: statuses in each entry's order, exact bytes against the
// reference model over random pictures, and the boundary values the formats are known by.
#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "ColourConversions.h"
#include "ColourReference.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xCD;

// A planar 4:2:2 picture with strides wider than its rows.
struct Planar {
    Planar(int w, int h, uint32_t seed, int pad = 5) : width(w), height(h)
    {
        const int chroma = (w + 1) / 2;
        steps[0] = w + pad;
        steps[1] = steps[2] = chroma + pad;
        std::mt19937 rng(seed);
        for (int p = 0; p < 3; ++p) {
            data[p].resize(size_t(steps[p]) * h);
            for (auto& b : data[p])
                b = uint8_t(rng());
            planes[p] = data[p].data();
        }
    }
    Planar(const Planar& other) : width(other.width), height(other.height)
    {
        for (int p = 0; p < 3; ++p) {
            steps[p] = other.steps[p];
            data[p] = other.data[p];
            planes[p] = data[p].data();
        }
    }
    Planar& operator=(const Planar&) = delete;
    void Fill(int y, int u, int v)
    {
        std::memset(data[0].data(), y, data[0].size());
        std::memset(data[1].data(), u, data[1].size());
        std::memset(data[2].data(), v, data[2].size());
    }
    uint8_t Sample(int p, int x, int r) const { return data[p][size_t(r) * steps[p] + x]; }
    int width, height;
    int32_t steps[3];
    std::vector<uint8_t> data[3];
    uint8_t* planes[3];
};

std::vector<uint8_t> ExpectedPacked(const Planar& src, int bytesPerPixel, int dstStep, size_t size,
                                    size_t offset)
{
    std::vector<uint8_t> out(size, kGuard);
    for (int r = 0; r < src.height; ++r) {
        for (int x = 0; x < src.width; ++x) {
            const int Y = src.Sample(0, x, r), U = src.Sample(1, x / 2, r), V = src.Sample(2, x / 2, r);
            uint8_t* p = out.data() + offset + int64_t(r) * dstStep + x * bytesPerPixel;
            if (bytesPerPixel == 2) {
                const uint16_t word = reference::ToRGB555(Y, U, V);
                p[0] = uint8_t(word);
                p[1] = uint8_t(word >> 8);
            } else if (bytesPerPixel == 3) {
                const auto c = reference::ToRGB24(x, src.width, Y, U, V);
                p[0] = c.r, p[1] = c.g, p[2] = c.b;
            } else {
                const auto c = reference::ToRGB32(x, src.width, Y, U, V);
                p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = 0;
            }
        }
    }
    return out;
}

using PackedEntry = ImagingStatus (*)(const uint8_t* const[3], const int32_t[3], uint8_t*, int32_t,
                                      int32_t, int32_t);
const struct {
    PackedEntry entry;
    int bytesPerPixel;
    const char* name;
} kPackedEntries[] = {{ConvertPlanar422ToRGB555, 2, "RGB555"},
                      {ConvertPlanar422ToRGB24, 3, "RGB24"},
                      {ConvertPlanar422ToRGB32, 4, "RGB32"}};

// One row of one pixel value through a packed conversion.
std::vector<uint8_t> OneRow(PackedEntry entry, int bytesPerPixel, int width, int y, int u, int v)
{
    Planar src(width, 1, 0);
    src.Fill(y, u, v);
    std::vector<uint8_t> out(size_t(width) * bytesPerPixel);
    EXPECT_EQ(entry(src.planes, src.steps, out.data(), int32_t(out.size()), width, 1), StatusOk);
    return out;
}

} // namespace

TEST(ColourConversions, PackedOutputsMatchTheFormulasOnRandomPictures)
{
    for (const auto& e : kPackedEntries) {
        for (int width = 1; width <= 70; ++width) {
            for (int height : {1, 3}) {
                const Planar src(width, height, uint32_t(width * 7 + height));
                for (int offset : {0, 1, 6}) {
                    const int step = width * e.bytesPerPixel + 7;
                    const size_t size = size_t(step) * height + 16;
                    std::vector<uint8_t> out(size, kGuard);
                    ASSERT_EQ(e.entry(src.planes, src.steps, out.data() + offset, step, width, height),
                              StatusOk);
                    // RGB555 steps are whole words: an odd byte stride loses its last byte.
                    const int used = e.bytesPerPixel == 2 ? step & ~1 : step;
                    ASSERT_EQ(out, ExpectedPacked(src, e.bytesPerPixel, used, size, offset))
                        << e.name << " width " << width << " height " << height;
                }
            }
        }
    }
}

TEST(ColourConversions, PackedOutputsWriteBottomUpWithNegativeStrides)
{
    const Planar src(37, 4, 11);
    for (const auto& e : kPackedEntries) {
        const int step = 37 * e.bytesPerPixel;
        std::vector<uint8_t> out(size_t(step) * 4, kGuard);
        ASSERT_EQ(e.entry(src.planes, src.steps, out.data() + 3 * step, -step, 37, 4), StatusOk);
        const auto upright = ExpectedPacked(src, e.bytesPerPixel, step, out.size(), 0);
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(std::memcmp(out.data() + (3 - r) * step, upright.data() + r * step, step), 0)
                << e.name;
    }
}

TEST(ColourConversions, BlackWhiteAndTheVectorScalarBoundary)
{
    // Y 16 with neutral chroma: black, except in RGB32, which has no luma offset.
    EXPECT_EQ(OneRow(ConvertPlanar422ToRGB24, 3, 11, 16, 128, 128), std::vector<uint8_t>(33, 0));
    EXPECT_EQ(OneRow(ConvertPlanar422ToRGB555, 2, 7, 16, 128, 128), std::vector<uint8_t>(14, 0));
    std::vector<uint8_t> grey(7 * 4, 16);
    for (int i = 3; i < 28; i += 4)
        grey[i] = 0;
    EXPECT_EQ(OneRow(ConvertPlanar422ToRGB32, 4, 7, 16, 128, 128), grey);

    // Y 235: 255 in the vector part of an RGB24 row, 254 in its last width mod 8 pixels.
    std::vector<uint8_t> white(36, 255);
    std::fill(white.begin() + 24, white.end(), 254);
    EXPECT_EQ(OneRow(ConvertPlanar422ToRGB24, 3, 12, 235, 128, 128), white);
    const auto words = OneRow(ConvertPlanar422ToRGB555, 2, 7, 235, 128, 128);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(words[2 * i] | words[2 * i + 1] << 8, 0x7FFF) << i;
    // RGB32 at Y 235: 235 everywhere (vector 3760 + 8 >> 4, scalar 235 exactly).
    const auto rgb32 = OneRow(ConvertPlanar422ToRGB32, 4, 6, 235, 128, 128);
    EXPECT_EQ(rgb32[0], 235);
    EXPECT_EQ(rgb32[4 * 5 + 2], 235);
}

TEST(ColourConversions, SaturatedColoursClampAndKnownBars)
{
    // Red-difference 255 at full luma clamps red to 255; blue-difference 0 at black clamps to 0.
    auto rgb = OneRow(ConvertPlanar422ToRGB24, 3, 9, 235, 128, 255);
    EXPECT_EQ(rgb[0], 255);
    EXPECT_EQ(rgb[24], 255);
    rgb = OneRow(ConvertPlanar422ToRGB24, 3, 9, 16, 0, 128);
    EXPECT_EQ(rgb[2], 0);
    EXPECT_EQ(rgb[26], 0);
    EXPECT_EQ(rgb[1], 50); // (802 + 8) >> 4: green rises instead, no wrap anywhere
    // The 75 % yellow bar (Y 161, Cb 43, Cr 139).
    rgb = OneRow(ConvertPlanar422ToRGB24, 3, 9, 161, 43, 139);
    EXPECT_EQ((std::vector<uint8_t>{rgb[0], rgb[1], rgb[2]}), (std::vector<uint8_t>{186, 193, 0}));
    const auto rgb32 = OneRow(ConvertPlanar422ToRGB32, 4, 5, 161, 43, 139);
    EXPECT_EQ((std::vector<uint8_t>{rgb32[0], rgb32[1], rgb32[2], rgb32[3]}),
              (std::vector<uint8_t>{174, 188, 0, 0}));
    EXPECT_EQ((std::vector<uint8_t>{rgb32[16], rgb32[17], rgb32[18], rgb32[19]}),
              (std::vector<uint8_t>{173, 188, 0, 0}));
    const auto word = OneRow(ConvertPlanar422ToRGB555, 2, 1, 161, 43, 139);
    EXPECT_EQ(word[0] | word[1] << 8, 0x0317);
}

TEST(ColourConversions, RGB555FieldOrderAndWordStride)
{
    // Pure red output (Y 82, Cb 90, Cr 240): red in bits 0-4, blue in bits 10-14, bit 15 clear.
    const auto red = OneRow(ConvertPlanar422ToRGB555, 2, 1, 82, 90, 240);
    const int word = red[0] | red[1] << 8;
    EXPECT_EQ(word, reference::ToRGB555(82, 90, 240));
    EXPECT_EQ(word & 0x1F, 31);
    EXPECT_EQ(word >> 10, 0);
    EXPECT_EQ(word & 0x8000, 0);
    // The exchanged layout puts red at bits 10-14.
    Planar src(5, 1, 0);
    src.Fill(82, 90, 240);
    uint8_t swapped[10];
    imaging::Planar422ToRGB555(src.planes, src.steps, swapped, 5, 5, 1, true);
    EXPECT_EQ(swapped[8] | swapped[9] << 8, reference::ToRGB555(82, 90, 240, true));
    EXPECT_EQ((swapped[8] | swapped[9] << 8) >> 10, 31);

    // A byte stride of 1,281 is 640 words: the second row starts at byte 1,280.
    const Planar pic(640, 2, 12);
    std::vector<uint8_t> out(2 * 1281, kGuard);
    ASSERT_EQ(ConvertPlanar422ToRGB555(pic.planes, pic.steps, out.data(), 1281, 640, 2), StatusOk);
    EXPECT_EQ(out, ExpectedPacked(pic, 2, 1280, out.size(), 0));
    EXPECT_EQ(out[2560], kGuard);
}

TEST(ColourConversions, ImportMatchesTheFormulas)
{
    for (int width = 1; width <= 70; ++width) {
        const int height = 2, srcStep = 3 * width + 5;
        std::vector<uint8_t> rgb(size_t(srcStep) * height);
        std::mt19937 rng{uint32_t(width)};
        for (auto& b : rgb)
            b = uint8_t(rng());
        Planar dst(width, height, 99);
        Planar expected = dst;
        for (int r = 0; r < height; ++r)
            reference::ImportRow(rgb.data() + r * srcStep, width,
                                 expected.planes[0] + r * expected.steps[0],
                                 expected.planes[1] + r * expected.steps[1],
                                 expected.planes[2] + r * expected.steps[2]);
        ASSERT_EQ(ConvertRGB24ToPlanar422(rgb.data(), srcStep, dst.planes, dst.steps, width, height),
                  StatusOk);
        for (int p = 0; p < 3; ++p)
            ASSERT_EQ(dst.data[p], expected.data[p]) << "width " << width << " plane " << p;
    }
}

TEST(ColourConversions, ImportBoundaryValues)
{
    // White in pairs gives 254; the odd last pixel, single-stage, gives 255.
    const std::vector<uint8_t> white(9, 255);
    Planar dst(3, 1, 0);
    ASSERT_EQ(ConvertRGB24ToPlanar422(white.data(), 9, dst.planes, dst.steps, 3, 1), StatusOk);
    EXPECT_EQ(dst.Sample(0, 0, 0), 254);
    EXPECT_EQ(dst.Sample(0, 1, 0), 254);
    EXPECT_EQ(dst.Sample(0, 2, 0), 255);
    for (int p = 1; p <= 2; ++p) {
        EXPECT_EQ(dst.Sample(p, 0, 0), 128);
        EXPECT_EQ(dst.Sample(p, 1, 0), 128);
    }
    // Red and blue pairs; a one-pixel-wide red picture by the single-pixel formulas.
    const uint8_t colours[] = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
    Planar pairs(4, 1, 0);
    ASSERT_EQ(ConvertRGB24ToPlanar422(colours, 12, pairs.planes, pairs.steps, 4, 1), StatusOk);
    EXPECT_EQ(pairs.Sample(0, 0, 0), 76);
    EXPECT_EQ(pairs.Sample(1, 0, 0), 90);
    EXPECT_EQ(pairs.Sample(2, 0, 0), 255);
    EXPECT_EQ(pairs.Sample(0, 2, 0), 29);
    EXPECT_EQ(pairs.Sample(1, 1, 0), 239);
    EXPECT_EQ(pairs.Sample(2, 1, 0), 102);
    Planar one(1, 1, 0);
    ASSERT_EQ(ConvertRGB24ToPlanar422(colours, 3, one.planes, one.steps, 1, 1), StatusOk);
    EXPECT_EQ(one.Sample(0, 0, 0), 76);
    EXPECT_EQ(one.Sample(1, 0, 0), 90);
    EXPECT_EQ(one.Sample(2, 0, 0), 255);
    // Black in pairs and alone.
    const std::vector<uint8_t> black(9, 0);
    ASSERT_EQ(ConvertRGB24ToPlanar422(black.data(), 9, dst.planes, dst.steps, 3, 1), StatusOk);
    EXPECT_EQ(dst.Sample(0, 2, 0), 0);
    EXPECT_EQ(dst.Sample(1, 1, 0), 128);
    EXPECT_EQ(dst.Sample(2, 1, 0), 128);
}

TEST(ColourConversions, StatusesInEachEntrysOrder)
{
    Planar pic(4, 4, 0);
    uint8_t* withNull[3] = {pic.planes[0], nullptr, pic.planes[2]};
    uint8_t out[64];
    const uint8_t* const* in = pic.planes;
    for (const auto& e : kPackedEntries) {
        EXPECT_EQ(e.entry(nullptr, pic.steps, out, 16, 0, 4), StatusNullPointer) << e.name;
        EXPECT_EQ(e.entry(in, nullptr, out, 16, 4, 4), StatusNullPointer) << e.name;
        EXPECT_EQ(e.entry(in, pic.steps, nullptr, 16, 0, 4), StatusNullPointer) << e.name;
        // The null plane is checked after the size.
        EXPECT_EQ(e.entry(withNull, pic.steps, out, 16, 0, 4), StatusSizeError) << e.name;
        EXPECT_EQ(e.entry(withNull, pic.steps, out, 16, 4, -1), StatusSizeError) << e.name;
        EXPECT_EQ(e.entry(withNull, pic.steps, out, 16, 4, 4), StatusNullPointer) << e.name;
    }
    const uint8_t rgb[48] = {};
    EXPECT_EQ(ConvertRGB24ToPlanar422(nullptr, 12, pic.planes, pic.steps, 0, 4), StatusNullPointer);
    EXPECT_EQ(ConvertRGB24ToPlanar422(rgb, 12, nullptr, pic.steps, 4, 4), StatusNullPointer);
    EXPECT_EQ(ConvertRGB24ToPlanar422(rgb, 12, pic.planes, nullptr, 4, 4), StatusNullPointer);
    EXPECT_EQ(ConvertRGB24ToPlanar422(rgb, 12, withNull, pic.steps, 0, 4), StatusSizeError);
    EXPECT_EQ(ConvertRGB24ToPlanar422(rgb, 12, withNull, pic.steps, 4, 4), StatusNullPointer);

    // The 4:2:0 entries check every pointer before the size, and need at least 2 x 2.
    Planar other(4, 4, 1);
    for (auto entry : {ConvertI420ToPlanar422, ConvertPlanar422ToI420}) {
        EXPECT_EQ(entry(nullptr, pic.steps, other.planes, other.steps, 4, 4), StatusNullPointer);
        EXPECT_EQ(entry(in, pic.steps, nullptr, other.steps, 4, 4), StatusNullPointer);
        EXPECT_EQ(entry(in, nullptr, other.planes, other.steps, 4, 4), StatusNullPointer);
        EXPECT_EQ(entry(in, pic.steps, other.planes, nullptr, 4, 4), StatusNullPointer);
        EXPECT_EQ(entry(withNull, pic.steps, other.planes, other.steps, 0, 4), StatusNullPointer);
        EXPECT_EQ(entry(in, pic.steps, withNull, other.steps, 0, 4), StatusNullPointer);
        EXPECT_EQ(entry(in, pic.steps, other.planes, other.steps, 1, 4), StatusSizeError);
        EXPECT_EQ(entry(in, pic.steps, other.planes, other.steps, 4, 1), StatusSizeError);
    }
    EXPECT_EQ(other.data[0], Planar(4, 4, 1).data[0]); // nothing written by any failure
}

TEST(ColourConversions, FourTwoZeroCopiesAndRepeatsRows)
{
    // 5 x 7 converts a 4 x 6 area and leaves the last column and row alone.
    Planar i420(5, 7, 21), out(5, 7, 22);
    const Planar before = out;
    ASSERT_EQ(ConvertI420ToPlanar422(i420.planes, i420.steps, out.planes, out.steps, 5, 7), StatusOk);
    for (int r = 0; r < 7; ++r) {
        for (int x = 0; x < 5; ++x) {
            const bool inside = r < 6 && x < 4;
            EXPECT_EQ(out.Sample(0, x, r), inside ? i420.Sample(0, x, r) : before.Sample(0, x, r));
        }
        for (int p = 1; p <= 2; ++p)
            for (int x = 0; x < 3; ++x) {
                const bool inside = r < 6 && x < 2;
                EXPECT_EQ(out.Sample(p, x, r), inside ? i420.Sample(p, x, r / 2) : before.Sample(p, x, r));
            }
    }
    // Back to 4:2:0: even rows are kept.
    Planar back(5, 7, 23);
    const Planar backBefore = back;
    ASSERT_EQ(ConvertPlanar422ToI420(before.planes, before.steps, back.planes, back.steps, 5, 7),
              StatusOk);
    for (int r = 0; r < 7; ++r)
        for (int x = 0; x < 3; ++x)
            for (int p = 1; p <= 2; ++p) {
                const bool inside = r < 3 && x < 2;
                EXPECT_EQ(back.Sample(p, x, r),
                          inside ? before.Sample(p, x, 2 * r) : backBefore.Sample(p, x, r));
            }
}

TEST(ColourConversions, FourTwoZeroRoundTripReturnsTheStart)
{
    for (auto [w, h] : {std::pair{64, 48}, std::pair{1920, 1080}, std::pair{2, 2}, std::pair{130, 6}}) {
        Planar start(w, h, 31, 0), mid(w, h, 32, 3), end(w, h, 33, 0);
        // A 4:2:0 picture: chroma only on the first h / 2 rows.
        ASSERT_EQ(ConvertI420ToPlanar422(start.planes, start.steps, mid.planes, mid.steps, w, h), StatusOk);
        ASSERT_EQ(ConvertPlanar422ToI420(mid.planes, mid.steps, end.planes, end.steps, w, h), StatusOk);
        EXPECT_EQ(end.data[0], start.data[0]);
        for (int p = 1; p <= 2; ++p)
            EXPECT_EQ(std::memcmp(end.data[p].data(), start.data[p].data(),
                                  size_t(start.steps[p]) * (h / 2)),
                      0)
                << w << "x" << h;
    }
}

TEST(ColourConversions, SwappedChromaPlanesExchangeBeforeCopying)
{
    Planar i420(8, 4, 41), out(8, 4, 42);
    imaging::I420ToPlanar422(i420.planes, i420.steps, out.planes, out.steps, 8, 4, true);
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(out.Sample(1, x, r), i420.Sample(2, x, r / 2));
            EXPECT_EQ(out.Sample(2, x, r), i420.Sample(1, x, r / 2));
        }
}
