// The audio input settings: construction defaults, the STATUS_UNSUCCESSFUL checks of input index,
// pair and channel with the out-values left alone, the pair count's limit, and the input name text
// from the system's media categories (seeded here; the driver package's own names are compared in
// AudioInputTypesTest).
#include <gtest/gtest.h>

#include <string>

#include "audioinputitems.h"
#include "audioinputtypes.h"
#include "km/status.h"
#include "standin/registry.h"

namespace {

class AudioInputItemsTest : public testing::Test {
protected:
    void SetUp() override
    {
        standin::ResetRegistry();
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText(
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\MediaCategories\\"
            "{5D61FB00-23EF-4D82-AD98-AD61EEAED7F5}]\n"
            "\"Name\"=\"SDI Audio 1\"\n\n"
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\MediaCategories\\"
            "{5D61FB09-23EF-4D82-AD98-AD61EEAED7F5}]\n"
            "\"Name\"=dword:00000001\n",
            &error))
            << error.message;
        ASSERT_EQ(items.AllocateInputs(2), STATUS_SUCCESS);
    }
    void TearDown() override { standin::ResetRegistry(); }
    AudioInputItems items;
};

TEST_F(AudioInputItemsTest, ConstructionDefaults)
{
    ULONG enabled = 0, type = 9, frequency = 9;
    LONG gain = 0;
    UCHAR bypass = 9;
    ASSERT_EQ(items.GetInputEnabled(1, &enabled), STATUS_SUCCESS);
    ASSERT_EQ(items.GetInputGain(1, &gain), STATUS_SUCCESS);
    ASSERT_EQ(items.GetInputType(1, &type), STATUS_SUCCESS);
    ASSERT_EQ(items.GetDefaultFrequency(1, &frequency), STATUS_SUCCESS);
    ASSERT_EQ(items.GetAudioIsInBypassMode(1, &bypass), STATUS_SUCCESS);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(gain, -4);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(frequency, 0u);
    EXPECT_EQ(bypass, 0);
    ULONG pairs = 9;
    items.GetChannelPairCount(1, &pairs);
    EXPECT_EQ(pairs, 0u);
    EXPECT_EQ(items.GetDaughterCardState(), 0u);
    EXPECT_EQ(items.GetCurrentInput(), 0u);
}

TEST_F(AudioInputItemsTest, IndexPairAndChannelChecksLeaveTheOutputUntouched)
{
    ASSERT_EQ(items.GetInput(0)->SetChannelPairCount(2), STATUS_SUCCESS);
    ASSERT_EQ(items.SetVolumeLevel(0, 1, 1, -65536), STATUS_SUCCESS);
    LONG value = 0;
    ASSERT_EQ(items.GetVolumeLevel(0, 1, 1, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, -65536);

    value = 12345;
    EXPECT_EQ(items.GetVolumeLevel(2, 0, 0, &value), STATUS_UNSUCCESSFUL); // index = count
    EXPECT_EQ(value, 12345);
    EXPECT_EQ(items.GetVolumeLevel(0, 0, 2, &value), STATUS_UNSUCCESSFUL); // channel 2
    EXPECT_EQ(value, 12345);
    EXPECT_EQ(items.GetVolumeLevel(0, 2, 0, &value), STATUS_UNSUCCESSFUL); // pair = pair count
    EXPECT_EQ(value, 12345);
    EXPECT_EQ(items.SetMute(0, 0, 2, 1), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(items.SetPeakLevel(1, 0, 0, 1), STATUS_UNSUCCESSFUL); // input 1 has no pairs
    EXPECT_EQ(items.SetInputGain(2, 3), STATUS_UNSUCCESSFUL);
    ULONG word = 77;
    EXPECT_EQ(items.GetInputIOIndex(2, &word), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(word, 77u);
    EXPECT_EQ(items.SetCurrentInput(2), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(items.AllocateInputs(AudioInputItems::kMaximumInputs + 1), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(items.GetInputCount(), 2u);
}

TEST_F(AudioInputItemsTest, PairCountIsCutToEight)
{
    AudioInputItem* input = items.GetInput(0);
    input->SetChannelPairCount(9);
    ULONG pairs = 0;
    input->GetChannelPairCount(&pairs);
    EXPECT_EQ(pairs, AudioInputItem::kMaximumChannelPairs);
    EXPECT_EQ(input->SetMute(7, 1, 1), STATUS_SUCCESS);
    EXPECT_EQ(input->SetMute(8, 1, 1), STATUS_UNSUCCESSFUL);
}

TEST_F(AudioInputItemsTest, NameTextComesFromTheMediaCategories)
{
    WCHAR text[64];
    ASSERT_EQ(items.SetInputName(0, GetAudioInputTypeGuid(0)), STATUS_SUCCESS);
    ASSERT_EQ(items.GetInputNameString(0, text, 64), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"SDI Audio 1");
    ASSERT_EQ(items.GetInputNameString(0, text, 4), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"SDI");
    ASSERT_EQ(items.GetInputNameString(0, text, 1), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"");

    // Unseeded, zero, and a "Name" that is no text.
    ASSERT_EQ(items.SetInputName(1, GetAudioInputTypeGuid(3)), STATUS_SUCCESS);
    ASSERT_EQ(items.GetInputNameString(1, text, 64), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"Unknown");
    ASSERT_EQ(items.SetInputName(1, GUID{}), STATUS_SUCCESS);
    ASSERT_EQ(items.GetInputNameString(1, text, 64), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"Unknown");
    ASSERT_EQ(items.SetInputName(1, GetAudioInputTypeGuid(9)), STATUS_SUCCESS);
    ASSERT_EQ(items.GetInputNameString(1, text, 64), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"Unknown");

    text[0] = u'k';
    EXPECT_EQ(items.GetInputNameString(2, text, 64), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(text[0], u'k');
    EXPECT_EQ(items.GetInputNameString(0, text, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(items.GetInputNameString(0, nullptr, 8), STATUS_INVALID_PARAMETER);
}

} // namespace
