// The DSP program image and FPGA image formats: exact bytes, the shipped images, and parsing of
// malformed files.
#include <gtest/gtest.h>

#include "board/FirmwareImage.h"
#include "board/FpgaImage.h"
#include "board/StandardImages.h"

namespace board {
namespace {

TEST(FirmwareImageFormat, SerializesPackedLittleEndianSections)
{
    FirmwareImage image;
    image.AddSection(0x01020304, {0xAA, 0xBB});
    image.AddSection(0x80000000, {});
    const std::vector<uint8_t> expected = {2,    0x04, 0x03, 0x02, 0x01, 2, 0, 0, 0, 0xAA, 0xBB,
                                           0x00, 0x00, 0x00, 0x80, 0,    0, 0, 0};
    EXPECT_EQ(image.Serialize(), expected);
    FirmwareImage parsed;
    ASSERT_EQ(FirmwareImage::Parse(expected, parsed), ImageParseError::None);
    ASSERT_EQ(parsed.Sections().size(), 2u);
    EXPECT_EQ(parsed.Sections()[0].address, 0x01020304u);
    EXPECT_EQ(parsed.Sections()[0].bytes, (std::vector<uint8_t>{0xAA, 0xBB}));
    EXPECT_TRUE(parsed.Sections()[1].bytes.empty());
    EXPECT_FALSE(parsed.Header().has_value());
    FirmwareImage none;
    ASSERT_EQ(FirmwareImage::Parse(std::vector<uint8_t>{0}, none), ImageParseError::None);
    EXPECT_TRUE(none.Sections().empty());
}

TEST(FirmwareImageFormat, MalformedFilesAreRefusedAndLeaveNothing)
{
    const std::vector<uint8_t> good = StandardImages::DspImage(Personality::MainFirmware).Serialize();
    auto parse = [](std::vector<uint8_t> bytes) {
        FirmwareImage image;
        image.AddSection(5, {1});
        const ImageParseError error = FirmwareImage::Parse(bytes, image);
        if (error != ImageParseError::None) {
            EXPECT_TRUE(image.Sections().empty());
        }
        return error;
    };
    EXPECT_EQ(parse({}), ImageParseError::Empty);
    // The count promises one section more than the file holds.
    std::vector<uint8_t> extraCount = good;
    extraCount[0] += 1;
    EXPECT_EQ(parse(extraCount), ImageParseError::TruncatedSectionHeader);
    EXPECT_EQ(parse({1, 0, 0, 0, 0, 4, 0, 0}), ImageParseError::TruncatedSectionHeader);
    EXPECT_EQ(parse({1, 0, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3}), ImageParseError::TruncatedSectionData);
    EXPECT_EQ(parse({1, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1}), ImageParseError::TruncatedSectionData);
    EXPECT_EQ(parse({1, 0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 1, 2, 3}), ImageParseError::SectionWraps);
    EXPECT_EQ(parse({1, 0xFD, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 1, 2, 3}), ImageParseError::None);
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0);
    EXPECT_EQ(parse(trailing), ImageParseError::TrailingBytes);
    EXPECT_EQ(parse(std::vector<uint8_t>(good.begin(), good.end() - 1)), ImageParseError::TruncatedSectionData);
}

TEST(FirmwareImageFormat, BuilderRefusesWhatTheFormatCannotHold)
{
    FirmwareImage image;
    EXPECT_THROW(image.AddSection(0xFFFFFFFF, {1, 2}), std::out_of_range);
    for (size_t i = 0; i < FirmwareImage::kMaximumSections; ++i)
        image.AddSection(static_cast<uint32_t>(i), {});
    EXPECT_THROW(image.AddSection(0, {}), std::length_error);
}

TEST(ImageHeaderFormat, DecodesOnlyOurHeaders)
{
    uint8_t bytes[ImageHeader::kSize];
    ImageHeader{Personality::MemoryTester, 0x0102}.Encode(bytes);
    EXPECT_EQ(bytes[0], 'T');
    EXPECT_EQ(bytes[3], 'D');
    auto decoded = ImageHeader::Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->personality, Personality::MemoryTester);
    EXPECT_EQ(decoded->version, 0x0102u);
    EXPECT_FALSE(ImageHeader::Decode(std::span<const uint8_t>(bytes, 15)));
    bytes[8] ^= 1; // version no longer matches the check word
    EXPECT_FALSE(ImageHeader::Decode(bytes));
    ImageHeader{Personality::None, 1}.Encode(bytes);
    EXPECT_FALSE(ImageHeader::Decode(bytes));
    const uint8_t zeros[ImageHeader::kSize] = {};
    EXPECT_FALSE(ImageHeader::Decode(zeros));
}

TEST(StandardImageSet, EachImageCarriesItsPersonalityAndTheFirmwareItsDataSection)
{
    for (Personality p : {Personality::MainFirmware, Personality::MemoryTester, Personality::PciTester}) {
        const FirmwareImage image = StandardImages::DspImage(p);
        FirmwareImage parsed;
        ASSERT_EQ(FirmwareImage::Parse(image.Serialize(), parsed), ImageParseError::None);
        ASSERT_TRUE(parsed.Header());
        EXPECT_EQ(parsed.Header()->personality, p);
        EXPECT_EQ(parsed.Sections()[0].address, 0u);
        // Nothing in an image touches the mailbox, which the firmware owns.
        for (const ImageSection& s : parsed.Sections())
            EXPECT_TRUE(s.address + s.bytes.size() <= 0x20 || s.address >= 0x20 + 232) << s.address;
    }
    const FirmwareImage firmware = StandardImages::DspImage(Personality::MainFirmware);
    ASSERT_GE(firmware.Sections().size(), 2u);
    EXPECT_EQ(firmware.Sections().back().address, StandardImages::kDataSectionAddress);
    EXPECT_EQ(firmware.Serialize(), StandardImages::DspImage(Personality::MainFirmware).Serialize());
    EXPECT_NE(firmware.Serialize(), StandardImages::DspImage(Personality::PciTester).Serialize());
    EXPECT_THROW(StandardImages::DspImage(Personality::None), std::invalid_argument);
}

TEST(FpgaImageFormat, RoundTripsAndRefusesDamage)
{
    const FpgaImage image = StandardImages::Fpga();
    const std::vector<uint8_t> bytes = image.Serialize();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4), (std::vector<uint8_t>{'T', 'V', 'X', 'F'}));
    FpgaImage parsed;
    ASSERT_EQ(FpgaImage::Parse(bytes, parsed), FpgaImageParseError::None);
    EXPECT_EQ(parsed.designVersion, image.designVersion);
    EXPECT_EQ(parsed.registerDefaults, image.registerDefaults);
    EXPECT_EQ(parsed.payload, image.payload);

    auto parse = [](std::vector<uint8_t> b) {
        FpgaImage out;
        return FpgaImage::Parse(b, out);
    };
    EXPECT_EQ(parse({}), FpgaImageParseError::Truncated);
    EXPECT_EQ(parse(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1)), FpgaImageParseError::Truncated);
    std::vector<uint8_t> magic = bytes;
    magic[0] = 'X';
    EXPECT_EQ(parse(magic), FpgaImageParseError::BadMagic);
    std::vector<uint8_t> version = bytes;
    version[4] = 2;
    EXPECT_EQ(parse(version), FpgaImageParseError::BadVersion);
    std::vector<uint8_t> payload = bytes;
    payload[bytes.size() - 10] ^= 0x40;
    EXPECT_EQ(parse(payload), FpgaImageParseError::BadChecksum);
    std::vector<uint8_t> forged = bytes;
    forged[12] = forged[13] = forged[14] = forged[15] = 0xFF; // a register count no file could hold
    EXPECT_EQ(parse(forged), FpgaImageParseError::Truncated);
    std::vector<uint8_t> trailing = bytes;
    trailing.push_back(0);
    EXPECT_EQ(parse(trailing), FpgaImageParseError::TrailingBytes);
}

} // namespace
} // namespace board
