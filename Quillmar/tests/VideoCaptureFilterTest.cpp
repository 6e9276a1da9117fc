// The video capture filter's own data without a board: the connection formats of its capture and
// preview pins in either form, the decoder's signal type with its check, and the settings records'
// checks and storage.
#include <gtest/gtest.h>

#include "km/status.h"
#include "videocapturefilter.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

TEST(VideoCaptureFilterTest, ConnectionFormatsKeepOneFormPerPin)
{
    VideoCaptureFilter filter;
    std::vector<UCHAR> info(152, 0x11), info2(176, 0x22), out(176, 0);
    ULONG length = 99;
    ASSERT_EQ(filter.GetConnectionFormat(1, out.data(), 176, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 0u);

    EXPECT_EQ(filter.SetConnectionFormat(0, info.data(), 152), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(filter.SetConnectionFormat(3, info.data(), 152), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(filter.SetConnectionFormat(1, nullptr, 152), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(filter.SetConnectionFormat(1, info.data(), 151), STATUS_INVALID_PARAMETER);

    ASSERT_EQ(filter.SetConnectionFormat(1, info.data(), 152), STATUS_SUCCESS);
    ASSERT_EQ(filter.GetConnectionFormat(1, out.data(), 176, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 152u);
    EXPECT_EQ(std::memcmp(out.data(), info.data(), 152), 0);
    // The other pin has none; the other form replaces the first.
    ASSERT_EQ(filter.GetConnectionFormat(2, out.data(), 176, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 0u);
    ASSERT_EQ(filter.SetConnectionFormat(1, info2.data(), 176), STATUS_SUCCESS);
    EXPECT_EQ(filter.GetConnectionFormat(1, out.data(), 175, &length), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 176u);
    ASSERT_EQ(filter.GetConnectionFormat(1, out.data(), 176, &length), STATUS_SUCCESS);
    EXPECT_EQ(out, info2);
    EXPECT_EQ(filter.GetConnectionFormat(4, out.data(), 176, &length), STATUS_INVALID_PARAMETER);
}

TEST(VideoCaptureFilterTest, SignalTypeTakesTheTwoDefinitionsAndTheStandardBits)
{
    VideoCaptureFilter filter;
    BrevicorVideoDecoderRecord record{};
    for (ULONG type : {2u, 1u, 0x4u, 0x400000u, 0x61FFFFu}) {
        record.currentSignalType = type;
        EXPECT_EQ(filter.SetVideoDecoderSettings(&record, false), STATUS_SUCCESS) << type;
        EXPECT_EQ(filter.GetVideoDecoderCurrentSignalType(), type);
    }
    for (ULONG type : {0u, 0x800000u, 0x80000000u}) {
        record.currentSignalType = type;
        EXPECT_EQ(filter.SetVideoDecoderSettings(&record, false), static_cast<NTSTATUS>(0xC0071073)) << type;
        EXPECT_EQ(filter.GetVideoDecoderCurrentSignalType(), 0x61FFFFu);
    }
}

} // namespace

namespace settingsunit {

// A filter with its own inputs and no board: the setters' checks and storage without registry,
// notifications or chains.
class FilterSettingsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(filter_.GetVideoInputItems()->AllocateInputs(2), STATUS_SUCCESS); }
    VideoCaptureFilter filter_;
};

TEST_F(FilterSettingsTest, WithoutInputsEveryPinPassFailsAndTheLastStatusIsReturned)
{
    VideoCaptureFilter empty;
    BrevicorDeinterlaceRecord deinterlace{};
    deinterlace.pinType = 255;
    deinterlace.enable = 1;
    deinterlace.type = 2;
    EXPECT_EQ(empty.SetDeinterlaceSettings(&deinterlace), STATUS_UNSUCCESSFUL);
    BrevicorImageQualityRecord quality{};
    quality.pinType = 2;
    quality.level = 5;
    EXPECT_EQ(empty.SetImageQualitySettings(&quality, false), STATUS_UNSUCCESSFUL);
    // With inputs the same records are taken, and only the addressed pin changes.
    EXPECT_EQ(filter_.SetImageQualitySettings(&quality, false), STATUS_SUCCESS);
    BrevicorImageQualityRecord read{};
    read.pinType = 2;
    ASSERT_EQ(filter_.GetImageQualitySettings(&read), STATUS_SUCCESS);
    EXPECT_EQ(read.level, 5u);
    read.pinType = 1;
    ASSERT_EQ(filter_.GetImageQualitySettings(&read), STATUS_SUCCESS);
    EXPECT_EQ(read.level, 0u);
    EXPECT_EQ(filter_.SetDeinterlaceSettings(&deinterlace), STATUS_SUCCESS);
}

TEST_F(FilterSettingsTest, DeinterlaceTypeFourMeansNoneAndIsAccepted)
{
    BrevicorDeinterlaceRecord record{};
    record.pinType = 1;
    record.enable = 1;
    for (ULONG type : {1u, 2u, 3u, 4u})
        EXPECT_EQ((record.type = type, filter_.SetDeinterlaceSettings(&record)), STATUS_SUCCESS) << type;
    for (ULONG type : {0u, 5u, 0xFFFFFFFFu})
        EXPECT_EQ((record.type = type, filter_.SetDeinterlaceSettings(&record)), static_cast<NTSTATUS>(0xC007103A))
            << type;
    BrevicorDeinterlaceRecord read{};
    read.pinType = 255;
    ASSERT_EQ(filter_.GetDeinterlaceSettings(&read), STATUS_SUCCESS);
    EXPECT_EQ(read.type, 4u);
}

TEST_F(FilterSettingsTest, AllZeroProcAmpTablesAreComputedFromTheValues)
{
    auto record = std::make_unique<BrevicorProcAmpRecord>();
    record->pinType = 255;
    record->contrast.value = 100;
    record->gamma.value = 100;
    ASSERT_EQ(filter_.SetProcAmpSettings(record.get()), STATUS_SUCCESS);
    auto read = std::make_unique<BrevicorProcAmpRecord>();
    read->pinType = 2;
    ASSERT_EQ(filter_.GetProcAmpSettings(read.get()), STATUS_SUCCESS);
    // Neutral values: the identity within the video range, cosine (j - 128) x 100000, sine 0.
    EXPECT_EQ(read->gammaTable[0], 16);
    EXPECT_EQ(read->gammaTable[100], 100);
    EXPECT_EQ(read->gammaTable[255], 235);
    EXPECT_EQ(read->cosineTable[0], -128 * 100000);
    EXPECT_EQ(read->sineTable[0], 0);
    // The request carries the computed tables back.
    EXPECT_EQ(record->gammaTable[255], 235);
    // Tables the sender computed are kept as sent.
    record->gammaTable[7] = 99;
    ASSERT_EQ(filter_.SetProcAmpSettings(record.get()), STATUS_SUCCESS);
    read->pinType = 1;
    ASSERT_EQ(filter_.GetProcAmpSettings(read.get()), STATUS_SUCCESS);
    EXPECT_EQ(read->gammaTable[7], 99);
    EXPECT_EQ(read->gammaTable[8], 16);
}

TEST_F(FilterSettingsTest, CaptionRectangleStopsAtItsReferenceEdge)
{
    BrevicorCCRecord record{};
    record.pinType = 1;
    record.enable = 1;
    record.referenceHeight = 480;
    record.referenceWidth = 640;
    struct Case {
        ULONG origin, size, expected;
    };
    for (const Case& c : {Case{480, 60, 0}, Case{479, 60, 1}, Case{432, 60, 48}, Case{0, 0, 48}, Case{0, 600, 480},
                          Case{0xFFFFFFF0u, 100, 0}}) {
        record.destinationTop = c.origin;
        record.destinationHeight = c.size;
        ASSERT_EQ(filter_.SetCCSettings(&record), STATUS_SUCCESS);
        BrevicorCCRecord read{};
        read.pinType = 1;
        ASSERT_EQ(filter_.GetCCSettings(&read), STATUS_SUCCESS);
        EXPECT_EQ(read.destinationHeight, c.expected) << c.origin << " " << c.size;
    }
    for (char16_t& c : record.fontFileName)
        c = u'x';
    EXPECT_EQ(filter_.SetCCSettings(&record), STATUS_INVALID_PARAMETER);
}

TEST_F(FilterSettingsTest, LogoRectangleMayReachTheFullSizeEdgeExactly)
{
    BrevicorLogoRecord record{};
    record.pinType = 2;
    record.enable = 1;
    record.destinationHeight = 16;
    record.destinationWidth = 16;
    record.destinationTop = 1064;
    record.destinationLeft = 1904;
    record.referenceHeight = 5000;
    EXPECT_EQ(filter_.SetLogoSettings(&record), STATUS_SUCCESS);
    BrevicorLogoRecord read{};
    read.pinType = 2;
    ASSERT_EQ(filter_.GetLogoSettings(&read), STATUS_SUCCESS);
    EXPECT_EQ(read.enable, 1u);
    // The reference is cut to the full height before it is kept.
    EXPECT_EQ(read.referenceHeight, 1080u);
    record.destinationTop = 1065;
    EXPECT_EQ(filter_.SetLogoSettings(&record), static_cast<NTSTATUS>(0xC0071041));
    record.destinationTop = 0;
    record.destinationLeft = 1905;
    EXPECT_EQ(filter_.SetLogoSettings(&record), static_cast<NTSTATUS>(0xC0071042));
    record.destinationLeft = 0;
    record.destinationWidth = 15;
    EXPECT_EQ(filter_.SetLogoSettings(&record), static_cast<NTSTATUS>(0xC0071044));
    record.destinationWidth = 16;
    record.keyColorEnable = 2;
    EXPECT_EQ(filter_.SetLogoSettings(&record), static_cast<NTSTATUS>(0xC0071040));
    record.keyColorEnable = 0;
    record.transparencyEnable = 2;
    EXPECT_EQ(filter_.SetLogoSettings(&record), static_cast<NTSTATUS>(0xC007103F));
    record.enable = 2;
    EXPECT_EQ(filter_.SetLogoSettings(&record), static_cast<NTSTATUS>(0xC007103E));
    record.pinType = 0;
    EXPECT_EQ(filter_.SetLogoSettings(&record), static_cast<NTSTATUS>(0xC007100B));
}

TEST_F(FilterSettingsTest, CropNeedsTheLimitsOfItsPinsRangesOnlyWhenEnabled)
{
    BrevicorCropRecord record{};
    record.pinType = 255;
    record.height = 5;
    EXPECT_EQ(filter_.SetCropSettings(&record), STATUS_SUCCESS);
    // Without a filter object there are no ranges to check an enabled crop against.
    record.enable = 1;
    EXPECT_EQ(filter_.SetCropSettings(&record), STATUS_UNSUCCESSFUL);
    BrevicorCropRecord read{};
    read.pinType = 2;
    filter_.GetCropSettings(&read);
    EXPECT_EQ(read.height, 5u);
    EXPECT_EQ(read.enable, 0u);
}

} // namespace settingsunit
