// The video callback's copy: 32-bit RGB rows turned top-down, compressed samples unchanged, and no
// byte written past the buffer made at the first sample or read past the sample.
#include "graphs/CVideoSampleCB.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

struct Copier {
    CRITICAL_SECTION lock;
    BYTE* frame = nullptr;
    ULONG size = 0;
    CVideoSampleCB callback{&lock, RECT{0, 0, 4, 3}, &size, &frame, nullptr};
    Copier() { InitializeCriticalSection(&lock); }
    ~Copier()
    {
        std::free(frame);
        DeleteCriticalSection(&lock);
    }
};

// A picture of `rows` rows of `width` 32-bit pixels whose every byte is its row's number.
std::vector<BYTE> NumberedRows(int width, int rows)
{
    std::vector<BYTE> picture;
    for (int row = 0; row < rows; ++row)
        picture.insert(picture.end(), size_t(width) * 4, BYTE(row + 1));
    return picture;
}

TEST(VideoSampleCopyTest, Rgb32RowsArriveInReverseOrder)
{
    Copier copier;
    copier.callback.m_header.biWidth = 4;
    copier.callback.m_header.biHeight = 3;
    copier.callback.m_header.biBitCount = 32;
    const std::vector<BYTE> sample = NumberedRows(4, 3);
    copier.callback.CopyFrame(sample.data(), ULONG(sample.size()));
    ASSERT_EQ(copier.size, 48u);
    for (int row = 0; row < 3; ++row)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(copier.frame[row * 16 + i], BYTE(3 - row)) << row;
}

TEST(VideoSampleCopyTest, ACompressedSampleIsCopiedUnchanged)
{
    Copier copier;
    copier.callback.m_header.biCompression = 0x59565955;
    copier.callback.m_header.biBitCount = 16;
    std::vector<BYTE> sample(24);
    for (size_t i = 0; i < sample.size(); ++i)
        sample[i] = BYTE(i * 7);
    copier.callback.CopyFrame(sample.data(), ULONG(sample.size()));
    ASSERT_EQ(copier.size, 24u);
    EXPECT_EQ(std::vector<BYTE>(copier.frame, copier.frame + 24), sample);
}

TEST(VideoSampleCopyTest, ASecondLargerSampleWritesNothingPastTheBuffer)
{
    // Compressed: the buffer of the first sample's size takes the start of a larger one.
    Copier packed;
    packed.callback.m_header.biCompression = 0x59565955;
    std::vector<BYTE> first(16, 1), second(64, 2);
    packed.callback.CopyFrame(first.data(), ULONG(first.size()));
    packed.callback.CopyFrame(second.data(), ULONG(second.size()));
    ASSERT_EQ(packed.size, 16u);
    EXPECT_EQ(std::vector<BYTE>(packed.frame, packed.frame + 16), std::vector<BYTE>(16, 2));

    // 32-bit RGB: a one-row first sample, then a whole frame; then a sample shorter than the frame.
    Copier rgb;
    rgb.callback.m_header.biWidth = 4;
    rgb.callback.m_header.biHeight = 3;
    rgb.callback.m_header.biBitCount = 32;
    const std::vector<BYTE> row = NumberedRows(4, 1);
    rgb.callback.CopyFrame(row.data(), ULONG(row.size()));
    const std::vector<BYTE> whole = NumberedRows(4, 3);
    rgb.callback.CopyFrame(whole.data(), ULONG(whole.size()));
    ASSERT_EQ(rgb.size, 16u);
    EXPECT_EQ(rgb.frame[0], BYTE(1));

    Copier shorter;
    shorter.callback.m_header = rgb.callback.m_header;
    shorter.callback.CopyFrame(whole.data(), ULONG(whole.size()));
    std::vector<BYTE> half(whole.begin(), whole.begin() + 16);
    shorter.callback.CopyFrame(half.data(), ULONG(half.size()));
    EXPECT_EQ(shorter.frame[0], BYTE(1));
}

} // namespace
