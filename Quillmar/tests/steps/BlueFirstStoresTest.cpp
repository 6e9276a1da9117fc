// The blue-first packed RGB stores: the primitive's arithmetic with red and blue exchanged, kept
// exactly (vector and scalar pixels of a row alike), negative steps, and the primitive's
// statuses with nothing written on failure.
#include <gtest/gtest.h>

#include "bluefirststores.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

// A planar 4:2:2 picture of width x height with its own planes.
struct Planar {
    int width, height;
    std::vector<uint8_t> y, u, v;
    Planar(int w, int h, uint8_t Y, uint8_t U, uint8_t V)
        : width(w), height(h), y(size_t(w) * h, Y), u(size_t((w + 1) / 2) * h, U), v(size_t((w + 1) / 2) * h, V)
    {
    }
    const uint8_t* planes[3];
    int32_t steps[3];
    const uint8_t* const* Planes()
    {
        planes[0] = y.data();
        planes[1] = u.data();
        planes[2] = v.data();
        return planes;
    }
    const int32_t* Steps()
    {
        steps[0] = width;
        steps[1] = steps[2] = (width + 1) / 2;
        return steps;
    }
};

TEST(BlueFirstStoresTest, EqualsThePrimitiveWithRedAndBlueExchanged)
{
    // Widths across the vector and scalar parts of each row, random samples, odd offsets.
    std::mt19937 random(7);
    for (int width : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 33, 70}) {
        const int height = 3;
        Planar picture(width, height, 0, 0, 0);
        for (auto* plane : {&picture.y, &picture.u, &picture.v})
            for (auto& s : *plane)
                s = uint8_t(random());
        const int32_t pitch24 = (3 * width + 3) / 4 * 4, pitch32 = 4 * width, pitch555 = (2 * width + 3) / 4 * 4;
        std::vector<uint8_t> ours(pitch32 * height + 1), theirs(pitch32 * height + 1);

        ASSERT_EQ(ConvertPlanar422ToBgr24(picture.Planes(), picture.Steps(), ours.data() + 1, pitch24, width, height),
                  StatusOk);
        ASSERT_EQ(ConvertPlanar422ToRGB24(picture.Planes(), picture.Steps(), theirs.data() + 1, pitch24, width, height),
                  StatusOk);
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x) {
                const uint8_t* a = ours.data() + 1 + r * pitch24 + 3 * x;
                const uint8_t* b = theirs.data() + 1 + r * pitch24 + 3 * x;
                ASSERT_EQ(a[0], b[2]) << width << " " << x;
                ASSERT_EQ(a[1], b[1]);
                ASSERT_EQ(a[2], b[0]);
            }

        ASSERT_EQ(ConvertPlanar422ToBgr32(picture.Planes(), picture.Steps(), ours.data(), pitch32, width, height),
                  StatusOk);
        ASSERT_EQ(ConvertPlanar422ToRGB32(picture.Planes(), picture.Steps(), theirs.data(), pitch32, width, height),
                  StatusOk);
        for (int i = 0; i < width * height; ++i) {
            ASSERT_EQ(ours[4 * i], theirs[4 * i + 2]) << width << " " << i;
            ASSERT_EQ(ours[4 * i + 1], theirs[4 * i + 1]);
            ASSERT_EQ(ours[4 * i + 2], theirs[4 * i]);
            ASSERT_EQ(ours[4 * i + 3], 0);
        }

        ASSERT_EQ(ConvertPlanar422ToBgr555(picture.Planes(), picture.Steps(), ours.data(), pitch555, width, height),
                  StatusOk);
        ASSERT_EQ(ConvertPlanar422ToRGB555(picture.Planes(), picture.Steps(), theirs.data(), pitch555, width, height),
                  StatusOk);
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x) {
                const int at = r * pitch555 + 2 * x;
                const unsigned a = ours[at] | (ours[at + 1] << 8), b = theirs[at] | (theirs[at + 1] << 8);
                ASSERT_EQ(a & 31, (b >> 10) & 31) << width << " " << x;
                ASSERT_EQ((a >> 5) & 31, (b >> 5) & 31);
                ASSERT_EQ((a >> 10) & 31, b & 31);
                ASSERT_EQ(a >> 15, 0u);
            }
    }
}

TEST(BlueFirstStoresTest, NegativeStepWritesBottomUp)
{
    // Top row white (Y 235), bottom row black: with the step negative from the last row, the
    // buffer's last row is white: 255 for the 8 vector pixels, 254 for the two scalar ones.
    Planar picture(10, 2, 16, 128, 128);
    std::fill(picture.y.begin(), picture.y.begin() + 10, uint8_t(235));
    const int32_t pitch = 32;
    std::vector<uint8_t> out(pitch * 2, 0x77);
    ASSERT_EQ(ConvertPlanar422ToBgr24(picture.Planes(), picture.Steps(), out.data() + pitch, -pitch, 10, 2), StatusOk);
    for (int x = 0; x < 30; ++x) {
        EXPECT_EQ(out[pitch + x], x < 24 ? 255 : 254) << x;
        EXPECT_EQ(out[x], 0) << x;
    }
    EXPECT_EQ(out[30], 0x77); // the row padding is not written
}

TEST(BlueFirstStoresTest, RefusedCallsWriteNothing)
{
    Planar picture(4, 2, 100, 100, 100);
    std::vector<uint8_t> out(64, 0x5A);
    const uint8_t* missing[3] = {picture.y.data(), nullptr, picture.v.data()};
    for (auto convert : {ConvertPlanar422ToBgr24, ConvertPlanar422ToBgr32, ConvertPlanar422ToBgr555}) {
        EXPECT_EQ(convert(nullptr, picture.Steps(), out.data(), 16, 4, 2), StatusNullPointer);
        EXPECT_EQ(convert(picture.Planes(), picture.Steps(), nullptr, 16, 4, 2), StatusNullPointer);
        EXPECT_EQ(convert(picture.Planes(), picture.Steps(), out.data(), 16, 0, 2), StatusSizeError);
        EXPECT_EQ(convert(picture.Planes(), picture.Steps(), out.data(), 16, 4, 0), StatusSizeError);
        // The size check comes before the plane check, as in the primitive.
        EXPECT_EQ(convert(missing, picture.Steps(), out.data(), 16, 0, 2), StatusSizeError);
        EXPECT_EQ(convert(missing, picture.Steps(), out.data(), 16, 4, 2), StatusNullPointer);
    }
    for (uint8_t b : out)
        ASSERT_EQ(b, 0x5A);
}

TEST(BlueFirstStoresTest, SwapsLeaveTheirNeighboursAlone)
{
    // Row lengths around the 4- and 8-pixel vector steps: bytes past the row are untouched.
    for (int pixels = 0; pixels <= 19; ++pixels) {
        std::vector<uint8_t> row(4 * 20 + 4), expected;
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = uint8_t(i * 13 + 1);
        expected = row;
        for (int x = 0; x < pixels; ++x)
            std::swap(expected[4 * x], expected[4 * x + 2]);
        SwapRedBlue32(row.data(), pixels);
        ASSERT_EQ(row, expected) << pixels;

        for (size_t i = 0; i < row.size(); ++i)
            row[i] = uint8_t(i * 29 + 3);
        expected = row;
        for (int x = 0; x < pixels; ++x) {
            const unsigned w = expected[2 * x] | (expected[2 * x + 1] << 8);
            const unsigned s = (w & 0x83E0) | ((w & 31) << 10) | ((w >> 10) & 31);
            expected[2 * x] = uint8_t(s);
            expected[2 * x + 1] = uint8_t(s >> 8);
        }
        SwapRedBlue555(row.data(), pixels);
        ASSERT_EQ(row, expected) << pixels;
    }
}

} // namespace
