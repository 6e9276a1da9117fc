// The audio input types: the 24 identifiers and names, the braced text form both ways (with the
// texts it must refuse), and the names the installed driver package gives the same identifiers in
// the machine's registry.
#include <gtest/gtest.h>

#include <string>

#include "audioinputtypes.h"

namespace {

TEST(AudioInputTypesTest, IdentifiersAndNames)
{
    const std::u16string expected[] = {
        u"SDI Audio 1",        u"SDI Audio 2",        u"SDI Audio 3",        u"SDI Audio 4",
        u"SDI Audio 5",        u"SDI Audio 6",        u"SDI Audio 7",        u"SDI Audio 8",
        u"AES Audio 1",        u"AES Audio 2",        u"AES Audio 3",        u"AES Audio 4",
        u"SPDIF Audio 1",      u"SPDIF Audio 2",      u"SPDIF Audio 3",      u"SPDIF Audio 4",
        u"Unbalanced Audio 1", u"Unbalanced Audio 2", u"Unbalanced Audio 3", u"Unbalanced Audio 4",
        u"Balanced Audio 1",   u"Balanced Audio 2",   u"Balanced Audio 3",   u"Balanced Audio 4"};
    for (ULONG n = 0; n < kAudioInputTypeCount; ++n) {
        const GUID guid = GetAudioInputTypeGuid(n);
        EXPECT_EQ(guid.Data1, 0x5D61FB00u + n);
        EXPECT_EQ(guid.Data2, 0x23EF);
        EXPECT_EQ(guid.Data3, 0x4D82);
        EXPECT_EQ(guid.Data4[0], 0xAD);
        EXPECT_EQ(guid.Data4[7], 0xF5);
        EXPECT_EQ(std::u16string(GetAudioInputTypeName(n)), expected[n]);
        EXPECT_EQ(FindAudioInputType(guid), static_cast<LONG>(n));
    }
    EXPECT_EQ(GetAudioInputTypeName(24), nullptr);
    EXPECT_EQ(GetAudioInputTypeGuid(24), GUID{});
    EXPECT_EQ(FindAudioInputType(GUID{}), -1);
}

TEST(AudioInputTypesTest, BracedTextRoundTrip)
{
    WCHAR text[kBracedGuidCharacters];
    FormatBracedGuid(GetAudioInputTypeGuid(0x17), text);
    EXPECT_EQ(std::u16string(text), u"{5d61fb17-23ef-4d82-ad98-ad61eeaed7f5}");
    GUID parsed{};
    ASSERT_TRUE(ParseBracedGuid(u"{5D61FB17-23ef-4D82-AD98-AD61EEAED7F5}", &parsed));
    EXPECT_EQ(parsed, GetAudioInputTypeGuid(0x17));

    const char16_t* refused[] = {
        u"",
        u"5d61fb17-23ef-4d82-ad98-ad61eeaed7f5",
        u"{5d61fb17-23ef-4d82-ad98-ad61eeaed7f5",
        u"{5d61fb17-23ef-4d82-ad98-ad61eeaed7f5} ",
        u"{5d61fb17-23ef-4d82-ad98ad61eeaed7f5}",
        u"{5d61fb1g-23ef-4d82-ad98-ad61eeaed7f5}",
        u"{5d61fb17-23ef-4d82-ad98-ad61eeaed7f}",
        u"{5d61fb17-23ef-4d82-ad98-ad61eeaed7f5a}",
        u"{ 5d61fb17-23ef-4d82-ad98-ad61eeaed7f5}",
        u"SDI Audio 1",
    };
    for (const char16_t* text16 : refused) {
        GUID untouched = GetAudioInputTypeGuid(3);
        EXPECT_FALSE(ParseBracedGuid(text16, &untouched)) << std::string(text16, text16 + 0);
        EXPECT_EQ(untouched, GetAudioInputTypeGuid(3));
    }
    EXPECT_FALSE(ParseBracedGuid(nullptr, &parsed));
}

} // namespace
