// The video input and pin settings: routing by the current input and the pin type, the refusals of
// a pin type above 4 and of operations without inputs, the logo rectangle that reads 0 without a
// logo file, the bounded logo and caption file names, the caption record's pin-type rule, the
// detection records routed by their input number, and the list's allocation limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "km/status.h"
#include "videoinputitems.h"

namespace {

class VideoInputItemsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(items.AllocateInputs(2), STATUS_SUCCESS); }
    VideoInputItems items;
};

TEST_F(VideoInputItemsTest, SettingsFollowTheCurrentInput)
{
    ASSERT_EQ(items.SetSecondWord(1), STATUS_SUCCESS);
    ASSERT_EQ(items.SetCropTop(1, 8), STATUS_SUCCESS);
    ULONG value = 99;
    ASSERT_EQ(items.GetCropTop(1, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 8u);
    // The preview pin of the same input is its own.
    ASSERT_EQ(items.GetCropTop(2, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0u);

    ASSERT_EQ(items.SetSecondWord(0), STATUS_SUCCESS);
    ASSERT_EQ(items.GetCropTop(1, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(items.GetSecondWord(), 0u);

    // Every field forwards the same way: a signed proc-amp value on input 1 is seen only there.
    items.SetSecondWord(1);
    ASSERT_EQ(items.SetVideoProcAmpSaturation(2, -40), STATUS_SUCCESS);
    LONG saturation = 0;
    items.GetVideoProcAmpSaturation(2, &saturation);
    EXPECT_EQ(saturation, -40);
    items.SetSecondWord(0);
    items.GetVideoProcAmpSaturation(2, &saturation);
    EXPECT_EQ(saturation, 0);
}

TEST_F(VideoInputItemsTest, PinTypeAboveFourAndMissingInputsAreRefused)
{
    ULONG value = 77;
    EXPECT_EQ(items.SetCropTop(5, 8), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(items.GetCropTop(5, &value), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(value, 77u);
    // Pin types 0, 3 and 4 have settings of their own.
    EXPECT_EQ(items.SetCropTop(4, 2), STATUS_SUCCESS);
    EXPECT_EQ(items.GetCropTop(4, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 2u);

    EXPECT_EQ(items.SetSecondWord(2), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(items.GetSecondWord(), 0u);

    VideoInputItems empty;
    value = 77;
    EXPECT_EQ(empty.GetCropTop(1, &value), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(empty.SetCropTop(1, 3), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(empty.GetInput(0), nullptr);
}

TEST_F(VideoInputItemsTest, LogoRectangleReadsZeroWithoutAFileName)
{
    ASSERT_EQ(items.SetLogoDestinationTop(1, 40), STATUS_SUCCESS);
    ASSERT_EQ(items.SetLogoDestinationWidth(1, 64), STATUS_SUCCESS);
    ASSERT_EQ(items.SetLogoOriginationHeight(1, 32), STATUS_SUCCESS);
    ASSERT_EQ(items.SetLogoDuration(1, 5), STATUS_SUCCESS);
    ULONG top = 1, width = 1, origination = 1, duration = 0;
    items.GetLogoDestinationTop(1, &top);
    items.GetLogoDestinationWidth(1, &width);
    items.GetLogoOriginationHeight(1, &origination);
    items.GetLogoDuration(1, &duration);
    EXPECT_EQ(top, 0u);
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(origination, 0u);
    EXPECT_EQ(duration, 5u); // not part of the rectangle
    // What is stored reads as it is, for the setters' comparisons.
    ULONG stored[6] = {};
    items.GetStoredLogoDestinationTop(1, &stored[0]);
    items.GetStoredLogoDestinationLeft(1, &stored[1]);
    items.GetStoredLogoDestinationHeight(1, &stored[2]);
    items.GetStoredLogoDestinationWidth(1, &stored[3]);
    items.GetStoredLogoOriginationHeight(1, &stored[4]);
    items.GetStoredLogoOriginationWidth(1, &stored[5]);
    EXPECT_EQ(stored[0], 40u);
    EXPECT_EQ(stored[1], 0u);
    EXPECT_EQ(stored[3], 64u);
    EXPECT_EQ(stored[4], 32u);
    EXPECT_EQ(items.GetStoredLogoDestinationTop(5, &stored[0]), STATUS_INVALID_PARAMETER);

    WCHAR name[kRecordTextCharacters] = u"C:\\logo.bmp";
    ASSERT_EQ(items.SetLogoFileName(1, name), STATUS_SUCCESS);
    items.GetLogoDestinationTop(1, &top);
    items.GetLogoDestinationWidth(1, &width);
    items.GetLogoOriginationHeight(1, &origination);
    EXPECT_EQ(top, 40u);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(origination, 32u);
}

TEST_F(VideoInputItemsTest, LogoFileNameIsMeasuredWithinItsField)
{
    // A 259-character name fills the field with its terminator.
    WCHAR longest[kRecordTextCharacters];
    for (ULONG i = 0; i < kRecordTextCharacters - 1; ++i)
        longest[i] = u'a' + static_cast<WCHAR>(i % 26);
    longest[kRecordTextCharacters - 1] = 0;
    ASSERT_EQ(items.SetLogoFileName(1, longest), STATUS_SUCCESS);
    WCHAR out[kRecordTextCharacters];
    ASSERT_EQ(items.GetLogoFileName(1, out), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(out, longest, sizeof(out)), 0);

    // A shorter name clears what the longer one left behind.
    WCHAR shorter[kRecordTextCharacters] = {};
    std::memcpy(shorter, u"b.bmp", 5 * sizeof(WCHAR));
    for (ULONG i = 6; i < kRecordTextCharacters; ++i)
        shorter[i] = u'x'; // bytes after the terminator are not copied
    ASSERT_EQ(items.SetLogoFileName(1, shorter), STATUS_SUCCESS);
    items.GetLogoFileName(1, out);
    EXPECT_EQ(std::u16string(out), u"b.bmp");
    for (ULONG i = 5; i < kRecordTextCharacters; ++i)
        ASSERT_EQ(out[i], 0) << i;

    // No terminator within 260 characters: refused, the stored name stays.
    WCHAR unterminated[kRecordTextCharacters];
    for (auto& c : unterminated)
        c = u'z';
    EXPECT_EQ(items.SetLogoFileName(1, unterminated), STATUS_INVALID_PARAMETER);
    items.GetLogoFileName(1, out);
    EXPECT_EQ(std::u16string(out), u"b.bmp");
}

TEST_F(VideoInputItemsTest, CaptionRecordOutsideCaptureAndPreviewIsPinTypeOne)
{
    BrevicorCCRecord record{};
    record.field = 2;
    record.channel = 3;
    std::memcpy(record.fontFileName, u"C:\\f.gph", 9 * sizeof(WCHAR));
    ASSERT_EQ(items.SetCCSettings(3, &record), STATUS_SUCCESS);
    BrevicorCCRecord out{};
    ASSERT_EQ(items.GetCCSettings(1, &out), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(&out, &record, sizeof(record)), 0);
    ASSERT_EQ(items.GetCCSettings(0, &out), STATUS_SUCCESS);
    EXPECT_EQ(out.channel, 3u);
    ASSERT_EQ(items.GetCCSettings(2, &out), STATUS_SUCCESS);
    EXPECT_EQ(out.channel, 0u);

    BrevicorCCRecord bad = record;
    for (auto& c : bad.fontFileName)
        c = u'q';
    bad.channel = 9;
    EXPECT_EQ(items.SetCCSettings(1, &bad), STATUS_INVALID_PARAMETER);
    items.GetCCSettings(1, &out);
    EXPECT_EQ(out.channel, 3u);
}

TEST_F(VideoInputItemsTest, TablesCopyTheCountGivenAndNoMore)
{
    LONG sine[256];
    for (int i = 0; i < 256; ++i)
        sine[i] = i - 128;
    ASSERT_EQ(items.SetVideoProcAmpSinValues(1, sine, 256), STATUS_SUCCESS);
    LONG partial[4] = {7, 7, 7, 7};
    ASSERT_EQ(items.SetVideoProcAmpSinValues(1, partial, 2), STATUS_SUCCESS);
    LONG out[256];
    ASSERT_EQ(items.GetVideoProcAmpSinValues(1, out, 256), STATUS_SUCCESS);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 7);
    EXPECT_EQ(out[2], -126);
    EXPECT_EQ(out[255], 127);
    EXPECT_EQ(items.SetVideoProcAmpSinValues(1, sine, 257), STATUS_INVALID_PARAMETER);
    UCHAR gamma[257] = {};
    EXPECT_EQ(items.GetVideoProcAmpGammaValues(1, gamma, 257), STATUS_INVALID_PARAMETER);
}

TEST_F(VideoInputItemsTest, DetectionRecordsAreRoutedByTheirInputNumber)
{
    BrevicorInputDetectRecord record{};
    record.inputNumber = 1;
    record.state = kInputStateStandardDetected;
    record.detectedStandard = 0x4000;
    ASSERT_EQ(items.SetInputDetectInfo(&record), STATUS_SUCCESS);

    BrevicorInputDetectRecord out{};
    out.inputNumber = 0;
    ASSERT_EQ(items.GetInputDetectInfo(&out), STATUS_SUCCESS);
    EXPECT_EQ(ULONG{out.detectedStandard}, 0u);
    out.inputNumber = 1;
    ASSERT_EQ(items.GetInputDetectInfo(&out), STATUS_SUCCESS);
    EXPECT_EQ(ULONG{out.detectedStandard}, 0x4000u);
    EXPECT_EQ(out.state, kInputStateStandardDetected);

    BrevicorInputDetectRecord beyond{};
    beyond.inputNumber = 2;
    beyond.frameRate = 1234;
    EXPECT_EQ(items.GetInputDetectInfo(&beyond), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(ULONG{beyond.frameRate}, 1234u);
    EXPECT_EQ(items.SetInputDetectInfo(&beyond), STATUS_UNSUCCESSFUL);
}

TEST_F(VideoInputItemsTest, InputsKeepKindNumberNameAndPinIds)
{
    VideoInputItem* input = items.GetInput(1);
    ASSERT_NE(input, nullptr);
    for (ULONG pin = 0; pin < VideoInputItem::kPinCount; ++pin)
        EXPECT_EQ(input->GetPinDetails(pin)->GetPinId(), pin);
    EXPECT_EQ(input->GetPinDetails(5), nullptr);
    EXPECT_EQ(std::u16string(input->GetInputName()), u"");
    ASSERT_EQ(input->SetInputName(u"SDI 2"), STATUS_SUCCESS);
    ASSERT_EQ(input->SetInputName(u"Composite"), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(input->GetInputName()), u"Composite");
    EXPECT_EQ(input->GetInputNameLength(), 9u);
    std::u16string tooLong(VideoInputItem::kMaximumNameCharacters + 1, u'n');
    EXPECT_EQ(input->SetInputName(tooLong.c_str()), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(std::u16string(input->GetInputName()), u"Composite");
    ASSERT_EQ(input->SetInputName(nullptr), STATUS_SUCCESS);
    EXPECT_EQ(input->GetInputNameLength(), 0u);
}

TEST_F(VideoInputItemsTest, ListSizeIsBoundedAndReallocationStartsFresh)
{
    items.SetSecondWord(1);
    items.SetCropTop(1, 8);
    EXPECT_EQ(items.AllocateInputs(VideoInputItems::kMaximumInputs + 1), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(items.GetInputCount(), 2u); // the old list stays
    ASSERT_EQ(items.AllocateInputs(VideoInputItems::kMaximumInputs), STATUS_SUCCESS);
    EXPECT_EQ(items.GetInputCount(), VideoInputItems::kMaximumInputs);
    EXPECT_EQ(items.GetSecondWord(), 0u);
    ULONG value = 5;
    items.SetSecondWord(1);
    items.GetCropTop(1, &value);
    EXPECT_EQ(value, 0u);
    for (ULONG i = 0; i < items.GetInputCount(); ++i)
        ASSERT_EQ(items.GetInput(i)->SetInputName(u"x"), STATUS_SUCCESS);
    items.FreeInputs();
    EXPECT_EQ(items.GetInputCount(), 0u);
}

} // namespace
