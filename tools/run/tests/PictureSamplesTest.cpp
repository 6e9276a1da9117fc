// The contact sheet's picture samples: however long the capture, they hold no more than the
// sheet's tiles, and the sheet drawn from them is the one drawn from the whole pictures.
#include "contactsheet.h"
#include "picturesamples.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using capture::ContactSheet;
using capture::Picture;
using capture::PictureSamples;

// A picture whose every pixel differs from its neighbours and from the other pictures' (n).
std::vector<uint8_t> Pattern(int32_t width, int32_t height, uint32_t pixel, int n)
{
    std::vector<uint8_t> bytes(size_t(width) * height * pixel);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + i / (size_t(width) * pixel) * 13 + n * 31);
    return bytes;
}

TEST(PictureSamples, HoldNoMoreThanTheSheetsTilesHoweverLargeThePictures)
{
    constexpr size_t kTileBytes = size_t(ContactSheet::kTileWidth) * ContactSheet::kTileHeight * 4;
    PictureSamples samples(640, 480, 3, 1);
    for (int n = 0; n < 12; ++n) {
        const auto picture = Pattern(640, 480, 3, n);
        samples.Add(n, picture.data(), uint32_t(picture.size()));
    }
    EXPECT_EQ(samples.Count(), size_t(ContactSheet::kColumns));
    EXPECT_LE(samples.HeldBytes(), ContactSheet::kColumns * kTileBytes);
    // A picture cut short and one off the sampling step are left out.
    PictureSamples every(320, 240, 4, 3);
    const auto preview = Pattern(320, 240, 4, 0);
    every.Add(0, preview.data(), uint32_t(preview.size() - 1));
    every.Add(1, preview.data(), uint32_t(preview.size()));
    EXPECT_EQ(every.Count(), 0u);
    every.Add(3, preview.data(), uint32_t(preview.size()));
    EXPECT_EQ(every.Count(), 1u);
}

void ExpectSameSheet(int32_t width, int32_t height, uint32_t pixel, bool capture)
{
    SCOPED_TRACE(testing::Message() << width << " x " << height << " x " << pixel);
    PictureSamples samples(width, height, pixel, 2);
    ContactSheet direct;
    std::vector<std::vector<uint8_t>> pictures;
    for (int n = 0; n < 8; ++n)
        pictures.push_back(Pattern(width, height, pixel, n));
    // Handed on out of order, as reader threads finish: 2 before 0, 6 before 4.
    for (int n : {2, 1, 0, 3, 6, 5, 4, 7})
        samples.Add(n, pictures[n].data(), uint32_t(pictures[n].size()));
    for (int n : {0, 2, 4, 6}) {
        Picture picture;
        picture.width = width;
        picture.height = height;
        picture.bytesPerPixel = pixel;
        picture.bottomUp = true;
        picture.stride = size_t(width) * pixel;
        picture.data = pictures[n].data();
        ASSERT_TRUE(capture ? direct.AddCaptureFrame(picture) : direct.AddPreviewFrame(picture));
    }
    ContactSheet sampled;
    samples.AddTo(&sampled, capture);
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    const auto expected = direct.Render(&w1, &h1);
    const auto drawn = sampled.Render(&w2, &h2);
    ASSERT_EQ(w1, w2);
    ASSERT_EQ(h1, h2);
    EXPECT_TRUE(drawn == expected);
}

TEST(PictureSamples, TheSheetDrawnFromTheSamplesIsTheOneFromTheWholePictures)
{
    ExpectSameSheet(640, 480, 3, true);
    ExpectSameSheet(320, 240, 4, false);
    ExpectSameSheet(100, 75, 3, true); // smaller than a tile: pixels repeat
}

} // namespace
