// The private set contract without the platform: the identifiers' values, their conversion to and
// comparison with a GUID type of the caller's, and that both names of a field reach the same bytes.
#include "privatesets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A GUID type as the platform declares one.
struct PlatformGuid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
    friend constexpr bool operator==(const PlatformGuid& a, const PlatformGuid& b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};

using Sets = BrevicorPrivateSets<>;

std::string Text(const BrevicorGuid& g)
{
    char text[40];
    std::snprintf(text, sizeof(text), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", unsigned(g.Data1),
                  unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

template <class T> std::uint32_t WordAt(const T& record, size_t offset)
{
    std::uint32_t word;
    std::memcpy(&word, reinterpret_cast<const std::uint8_t*>(&record) + offset, sizeof(word));
    return word;
}

TEST(PrivateSetsTest, IdentifiersHaveTheSetsValues)
{
    const std::pair<BrevicorGuid, const char*> sets[] = {
        {Sets::PROPSETID_BREVICOR_DEVICE_CONFIG, "558207A6-E472-420B-AFC6-FF990907E6FE"},
        {Sets::PROPSETID_BREVICOR_AUDIO_CONFIG, "E5D2B57A-6352-4B4F-88D5-4271072F584A"},
        {Sets::PROPSETID_BREVICOR_AUDIO_INPUT_INFO, "1577AC43-A6EA-4745-9C57-256762313FBA"},
        {Sets::PROPSETID_BREVICOR_VIDEODECODER, "FE57CE7E-67F4-4D00-B674-073816ADA764"},
        {Sets::PROPSETID_BREVICOR_CROP, "D52525F4-5FA9-4A79-8DF7-691DF9EC87FF"},
        {Sets::PROPSETID_BREVICOR_CC, "0E5D1E1D-1251-41EF-9A0C-548A5C7019E6"},
        {Sets::PROPSETID_BREVICOR_CROSSBAR, "D1B620E9-7DDF-4FB5-BC93-0055991E753C"},
        {Sets::PROPSETID_BREVICOR_DEINTERLACE, "0564D75C-E596-4811-B661-D8E5C52A15EC"},
        {Sets::PROPSETID_BREVICOR_DIAGNOSTICS, "4A5EB9FB-DF54-4115-BC44-E7EDC3B52D25"},
        {Sets::PROPSETID_BREVICOR_INPUTDETECT, "C82227CC-7BA6-4EF0-9502-D7B515E43B2D"},
        {Sets::PROPSETID_BREVICOR_LOS, "1FC0CD53-E668-46C5-A1B4-8FFACF57AE41"},
        {Sets::PROPSETID_BREVICOR_PERFORMANCE, "BECF09FF-66FE-47AE-9EAA-4794678B860F"},
        {Sets::PROPSETID_BREVICOR_TRACE, "07F60A7C-78E7-432B-BC23-9BF19336153B"},
        {Sets::PROPSETID_BREVICOR_VIDEOPROCAMP, "7CA213A8-CEE0-4609-B970-3E0E669AA646"},
        {Sets::PROPSETID_BREVICOR_LOGO, "344FFA73-7BC0-4453-8736-529B94A45604"},
    };
    for (const auto& [set, text] : sets)
        EXPECT_EQ(Text(set), text);
    // Every identifier differs from every other.
    for (size_t i = 0; i < std::size(sets); ++i)
        for (size_t j = i + 1; j < std::size(sets); ++j)
            EXPECT_FALSE(sets[i].first == sets[j].first) << i << " " << j;
}

TEST(PrivateSetsTest, IdentifiersAreTheCallersGuidsByValue)
{
    // The same identifier as the caller's GUID type, byte for byte.
    constexpr PlatformGuid crop = BrevicorPrivateSets<PlatformGuid>::PROPSETID_BREVICOR_CROP;
    EXPECT_EQ(std::memcmp(&crop, &Sets::PROPSETID_BREVICOR_CROP, 16), 0);
    // The contract's value converts to the caller's GUID and compares with it, both ways round.
    const PlatformGuid converted = Sets::PROPSETID_BREVICOR_CROP;
    EXPECT_TRUE(converted == crop);
    EXPECT_TRUE(crop == Sets::PROPSETID_BREVICOR_CROP);
    EXPECT_TRUE(Sets::PROPSETID_BREVICOR_CROP == crop);
    EXPECT_FALSE(crop == Sets::PROPSETID_BREVICOR_DEINTERLACE);
    PlatformGuid last = crop;
    last.Data4[7] ^= 1;
    EXPECT_FALSE(last == Sets::PROPSETID_BREVICOR_CROP);
    // A record's GUID field takes the caller's value.
    BrevicorNotificationRecord record{};
    record.propertySet = crop;
    EXPECT_TRUE(record.propertySet == Sets::PROPSETID_BREVICOR_CROP);
    EXPECT_EQ(std::memcmp(&record, &crop, 16), 0);
}

TEST(PrivateSetsTest, DeviceConfigNamesReachTheDriversBytes)
{
    DEVICE_CONFIG record{};
    static_assert(sizeof(record) == 628);
    record.pciBusNumber = 3;
    record.hardwareWordD = 7;
    record.version.fourth = 62;
    record.production.pciVendorId = 0x10B5;
    record.identity.serialNumber[0] = u'Q';
    record.identity.second = 59;
    record.namePrefix[0] = u'B';
    EXPECT_EQ(record.hardwareByteA, 3);
    EXPECT_EQ(record.deviceNumber, 7);
    EXPECT_EQ(record.driverVersion[2], 62u);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    EXPECT_EQ(bytes[42], 3);
    EXPECT_EQ(bytes[48], 7);
    EXPECT_EQ(WordAt(record, 32), 62u);
    EXPECT_EQ(record.identification1[0], 0xB5);
    EXPECT_EQ(record.identification1[1], 0x10);
    EXPECT_EQ(bytes[78], 'Q');
    EXPECT_EQ(bytes[112], 59);
    EXPECT_EQ(record.productName[0], u'B');
    EXPECT_EQ(bytes[116], 'B');
}

TEST(PrivateSetsTest, PageNamesAndDriverNamesShareTheirWords)
{
    CROP_RECORD crop{};
    crop.CropWidth = 704;
    crop.noPersist = 1;
    EXPECT_EQ(crop.width, 704u);
    EXPECT_EQ(WordAt(crop, 44), 704u);
    EXPECT_EQ(WordAt(crop, 76), 1u);

    BrevicorCCRecord cc{};
    cc.CCDestinationLeft = 40;
    cc.CCFontFileName[0] = u'C';
    EXPECT_EQ(WordAt(cc, 52), 40u);
    EXPECT_EQ(cc.fontFileName[0], u'C');

    BrevicorLOSRecord los{};
    los.LOSVideoVideoSignalType = 8;
    los.noPersist = 1;
    EXPECT_EQ(los.videoSignalType, 8u);
    EXPECT_EQ(los.fromRegistry, 1u);
    EXPECT_EQ(WordAt(los, 72), 1u);
    EXPECT_EQ(WordAt(los, 76), 8u);

    DEINTERLACE_RECORD deinterlace{};
    deinterlace.ResyncInterval = 429000;
    EXPECT_EQ(WordAt(deinterlace, 44), 429000u);
}

TEST(PrivateSetsTest, GammaGroupNamesItsNeutralValueFifth)
{
    VIDEOPROCAMP_RECORD record{};
    record.brightness.neutral = 5;
    record.brightness.flags = 1;
    record.gamma.defaultValue = 1; // the driver fills gamma's fourth word with 1 and its fifth with 100
    record.gamma.step = 100;
    EXPECT_EQ(WordAt(record, 40), 5u);
    EXPECT_EQ(WordAt(record, 44), 1u);
    EXPECT_EQ(record.gamma.neutral(), 100);
    EXPECT_EQ(record.gamma.flags(), 1);
    EXPECT_EQ(WordAt(record, 124), 100u);
}

} // namespace
