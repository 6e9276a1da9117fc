// ComputeProcAmpTables: the neutral tables, the brightness offset's truncation, gamma and contrast
// against an integer model, the 16..235 limits, the hue rotation, and the record form (offsets,
// byte order, a short buffer).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "procamptables.h"

namespace {

ProcAmpValues Neutral()
{
    return ProcAmpValues{0, 0, 100, 0, 100};
}

int Clamp(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

TEST(ProcAmpTables, NeutralValuesGiveTheIdentityWithinStudioRangeAndAPlainCosine)
{
    ProcAmpTables t;
    ComputeProcAmpTables(Neutral(), &t);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(t.luma[i], Clamp(i, 16, 235)) << i;
        EXPECT_EQ(t.sine[i], 0) << i;
        EXPECT_EQ(t.cosine[i], (i - 128) * 100000) << i;
    }
}

TEST(ProcAmpTables, BrightnessOffsetIsTruncatedTowardZero)
{
    ProcAmpTables t;
    ProcAmpValues v = Neutral();
    v.brightness = 10; // 25.6
    ComputeProcAmpTables(v, &t);
    EXPECT_EQ(t.luma[100], 125);
    v.brightness = -10; // -25.6
    ComputeProcAmpTables(v, &t);
    EXPECT_EQ(t.luma[100], 75);
    v.brightness = 20; // 51.2
    ComputeProcAmpTables(v, &t);
    EXPECT_EQ(t.luma[0], 51);
    EXPECT_EQ(t.luma[100], 151);
    EXPECT_EQ(t.luma[200], 235);
    // The offset is taken from the neutral value.
    v.brightness = 15;
    v.brightnessNeutral = 5;
    ComputeProcAmpTables(v, &t);
    EXPECT_EQ(t.luma[100], 125);
}

TEST(ProcAmpTables, GammaTwoSquaresTheNormalisedSample)
{
    ProcAmpTables t;
    ProcAmpValues v = Neutral();
    v.gamma = 200;
    ComputeProcAmpTables(v, &t);
    // 255 x (i / 255)^2 = i^2 / 255, never within a rounding error of an integer but at 0 and 255.
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(t.luma[i], Clamp(i * i / 255, 16, 235)) << i;
}

TEST(ProcAmpTables, GammaZeroMakesEveryEntryEqual)
{
    ProcAmpTables t;
    ProcAmpValues v = Neutral();
    v.gamma = 0; // 0 to the power 0 counts as 1
    v.contrast = 50;
    v.brightness = -20; // offset -51
    ComputeProcAmpTables(v, &t);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(t.luma[i], 76) << i; // 127.5 - 51, truncated
}

TEST(ProcAmpTables, ContrastScalesBeforeTheOffsetAndTheResultIsTruncated)
{
    ProcAmpTables t;
    ProcAmpValues v = Neutral();
    v.contrast = 150;
    v.brightness = 4; // offset 10
    ComputeProcAmpTables(v, &t);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(t.luma[i], Clamp(i * 3 / 2 + 10, 16, 235)) << i;
}

TEST(ProcAmpTables, NegativeGammaWithZeroContrastStaysAtTheLowLimit)
{
    ProcAmpTables t;
    ProcAmpValues v = Neutral();
    v.gamma = -100; // pow(0, -1) is infinite; times 0 contrast it is NaN
    v.contrast = 0;
    ComputeProcAmpTables(v, &t);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(t.luma[i], 16) << i;
}

TEST(ProcAmpTables, HueRotatesTheChromaAxes)
{
    ProcAmpTables t;
    ProcAmpValues v = Neutral();
    v.hue = 90;
    ComputeProcAmpTables(v, &t);
    for (int j = 0; j < 256; ++j) {
        EXPECT_EQ(t.sine[j], (j - 128) * 100000) << j;
        EXPECT_EQ(t.cosine[j], 0) << j; // cos(pi / 2) is 6e-17, truncated away
    }
    v.hue = -90;
    ComputeProcAmpTables(v, &t);
    EXPECT_EQ(t.sine[228], -10000000);
    v.hue = 30;
    ComputeProcAmpTables(v, &t);
    // sin 30 degrees = 0.49999999999999994 in double: 100 x 0.5 x 100000 falls just short.
    EXPECT_EQ(t.sine[228], 4999999);
    EXPECT_EQ(t.sine[28], -4999999);
    EXPECT_EQ(t.cosine[228], 8660254);
}

void PutWord(std::vector<uint8_t>& r, size_t offset, int32_t value)
{
    const uint32_t w = static_cast<uint32_t>(value);
    for (int b = 0; b < 4; ++b)
        r[offset + b] = static_cast<uint8_t>(w >> (8 * b));
}

int32_t GetWord(const std::vector<uint8_t>& r, size_t offset)
{
    uint32_t w = 0;
    for (int b = 0; b < 4; ++b)
        w |= static_cast<uint32_t>(r[offset + b]) << (8 * b);
    return static_cast<int32_t>(w);
}

TEST(ProcAmpTables, RecordFormReadsTheValuesAndWritesTheTablesLittleEndian)
{
    std::vector<uint8_t> record(2436, 0xCC);
    PutWord(record, 28, 10);   // brightness
    PutWord(record, 40, 0);    // brightness neutral
    PutWord(record, 48, 120);  // contrast
    PutWord(record, 68, -45);  // hue
    PutWord(record, 88, 77);   // saturation: no table depends on it
    PutWord(record, 108, 150); // gamma
    PutWord(record, 124, 100); // gamma neutral: not used
    ASSERT_TRUE(ComputeProcAmpTables(record.data(), record.size()));

    ProcAmpTables expected;
    ComputeProcAmpTables(ProcAmpValues{10, 0, 120, -45, 150}, &expected);
    EXPECT_EQ(0, std::memcmp(record.data() + 132, expected.luma, 256));
    for (int j = 0; j < 256; ++j) {
        EXPECT_EQ(GetWord(record, 388 + 4 * j), expected.sine[j]) << j;
        EXPECT_EQ(GetWord(record, 1412 + 4 * j), expected.cosine[j]) << j;
    }
    EXPECT_LT(expected.sine[255], 0); // a negative hue turns the positive side down
    // Everything before the tables is left as it was.
    EXPECT_EQ(GetWord(record, 88), 77);
    EXPECT_EQ(record[128], 0xCC);
}

TEST(ProcAmpTables, RecordFormRefusesAShortBufferAndLeavesItUntouched)
{
    std::vector<uint8_t> record(2435, 0xAB);
    EXPECT_FALSE(ComputeProcAmpTables(record.data(), record.size()));
    for (uint8_t b : record)
        ASSERT_EQ(b, 0xAB);
    EXPECT_FALSE(ComputeProcAmpTables(nullptr, 2436));
}

} // namespace
