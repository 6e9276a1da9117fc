// The driver package the boot installs for a configured board: the inputs section made from the
// configuration, the rest of the system's package kept byte for byte, the refusals, and what a
// booted machine's driver key holds after the board's first plug.
#include "BoardMachine.h"
#include "BoardPackage.h"

#include "standin/registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;
using board::VideoInputKind;

constexpr char16_t kClass[] = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\";
constexpr uint32_t kSdi = board::BoardConfiguration::kSdiAudio;

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string SystemPackage()
{
    const std::string text = ReadFile(toolboot::SystemDriverPackage());
    EXPECT_FALSE(text.empty());
    return text;
}

board::BoardConfiguration ThreeSdi()
{
    board::BoardConfiguration configuration;
    configuration.videoInputs.assign(3, VideoInputKind::Sdi);
    configuration.audioInputs.assign(3, kSdi);
    return configuration;
}

const std::string kThreeSdiLines = "HKR, VideoInputs, Count, 0x00010001, 3\n"
                                   "HKR, VideoInputs\\Input1, InputName, , \"SDI Input 1\"\n"
                                   "HKR, VideoInputs\\Input1, InputType, 0x00010001, 0\n"
                                   "HKR, VideoInputs\\Input1, InputIOIndex, 0x00010001, 0\n"
                                   "HKR, VideoInputs\\Input2, InputName, , \"SDI Input 2\"\n"
                                   "HKR, VideoInputs\\Input2, InputType, 0x00010001, 0\n"
                                   "HKR, VideoInputs\\Input2, InputIOIndex, 0x00010001, 1\n"
                                   "HKR, VideoInputs\\Input3, InputName, , \"SDI Input 3\"\n"
                                   "HKR, VideoInputs\\Input3, InputType, 0x00010001, 0\n"
                                   "HKR, VideoInputs\\Input3, InputIOIndex, 0x00010001, 2\n"
                                   "HKR, AudioInputs, Count, 0x00010001, 3\n"
                                   "HKR, AudioInputs\\Input1, InputName, , \"{5D61FB00-23EF-4D82-AD98-AD61EEAED7F5}\"\n"
                                   "HKR, AudioInputs\\Input2, InputName, , \"{5D61FB01-23EF-4D82-AD98-AD61EEAED7F5}\"\n"
                                   "HKR, AudioInputs\\Input3, InputName, , \"{5D61FB02-23EF-4D82-AD98-AD61EEAED7F5}\"\n";

// The refusal's text for the configuration; empty when it is accepted.
std::string Refusal(const board::BoardConfiguration& configuration)
{
    try {
        toolboot::CheckBoardInputs(configuration);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return {};
}

// ---- the package's text ------------------------------------------------------------------------

TEST(BoardPackage, TheDefaultBoardsInputsGiveTheSystemsPackageByteForByte)
{
    const std::string package = SystemPackage();
    const board::BoardConfiguration defaults;
    EXPECT_TRUE(toolboot::HasDefaultInputs(defaults));
    EXPECT_EQ(toolboot::BoardPackageText(package, defaults), package);
}

TEST(BoardPackage, ThreeSdiInputsAreNumberedAndOnlyTheInputsEntriesChange)
{
    const std::string package = SystemPackage();
    const board::BoardConfiguration configuration = ThreeSdi();
    EXPECT_FALSE(toolboot::HasDefaultInputs(configuration));
    EXPECT_EQ(toolboot::InputsSectionLines(configuration), kThreeSdiLines);

    const std::string made = toolboot::BoardPackageText(package, configuration);
    // Everything up to the first entry and from the line after the last one is the system's.
    const std::string firstEntry = "HKR, VideoInputs, Count";
    const std::string lastEntry = "HKR, AudioInputs\\Input2, InputName, , \"{5D61FB01-23EF-4D82-AD98-AD61EEAED7F5}\"\n";
    const size_t begin = package.find(firstEntry);
    const size_t end = package.find(lastEntry);
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::string after = package.substr(end + lastEntry.size());
    EXPECT_EQ(made, package.substr(0, begin) + kThreeSdiLines + after);
    // The next section's comment stays where it was.
    EXPECT_EQ(after.rfind("\n; Audio input type n is", 0), 0u);
}

TEST(BoardPackage, TestConnectorsAndTheCardsAudioTypesTakeTheirOwnNamesAndIdentifiers)
{
    board::BoardConfiguration configuration;
    configuration.videoInputs = {VideoInputKind::TestConnector, VideoInputKind::Sdi, VideoInputKind::TestConnector};
    configuration.audioInputs = {kSdi, 11, 11, 12, 14, 13, kSdi};
    EXPECT_EQ(toolboot::InputsSectionLines(configuration),
              "HKR, VideoInputs, Count, 0x00010001, 3\n"
              "HKR, VideoInputs\\Input1, InputName, , \"Test Signal 1\"\n"
              "HKR, VideoInputs\\Input1, InputType, 0x00010001, 2\n"
              "HKR, VideoInputs\\Input1, InputIOIndex, 0x00010001, 2\n"
              "HKR, VideoInputs\\Input2, InputName, , \"SDI Input\"\n"
              "HKR, VideoInputs\\Input2, InputType, 0x00010001, 0\n"
              "HKR, VideoInputs\\Input2, InputIOIndex, 0x00010001, 1\n"
              "HKR, VideoInputs\\Input3, InputName, , \"Test Signal 2\"\n"
              "HKR, VideoInputs\\Input3, InputType, 0x00010001, 2\n"
              "HKR, VideoInputs\\Input3, InputIOIndex, 0x00010001, 2\n"
              "HKR, AudioInputs, Count, 0x00010001, 7\n"
              "HKR, AudioInputs\\Input1, InputName, , \"{5D61FB00-23EF-4D82-AD98-AD61EEAED7F5}\"\n"
              "HKR, AudioInputs\\Input2, InputName, , \"{5D61FB08-23EF-4D82-AD98-AD61EEAED7F5}\"\n"
              "HKR, AudioInputs\\Input2, InputType, 0x00010001, 11\n"
              "HKR, AudioInputs\\Input3, InputName, , \"{5D61FB09-23EF-4D82-AD98-AD61EEAED7F5}\"\n"
              "HKR, AudioInputs\\Input3, InputType, 0x00010001, 11\n"
              "HKR, AudioInputs\\Input4, InputName, , \"{5D61FB0C-23EF-4D82-AD98-AD61EEAED7F5}\"\n"
              "HKR, AudioInputs\\Input4, InputType, 0x00010001, 12\n"
              "HKR, AudioInputs\\Input5, InputName, , \"{5D61FB10-23EF-4D82-AD98-AD61EEAED7F5}\"\n"
              "HKR, AudioInputs\\Input5, InputType, 0x00010001, 14\n"
              "HKR, AudioInputs\\Input6, InputName, , \"{5D61FB14-23EF-4D82-AD98-AD61EEAED7F5}\"\n"
              "HKR, AudioInputs\\Input6, InputType, 0x00010001, 13\n"
              "HKR, AudioInputs\\Input7, InputName, , \"{5D61FB06-23EF-4D82-AD98-AD61EEAED7F5}\"\n");
}

TEST(BoardPackage, TheSectionIsFoundWhateverItsCaseAndKeepsTheHeadersLineEnds)
{
    board::BoardConfiguration configuration;
    configuration.videoInputs = {VideoInputKind::Sdi};
    configuration.audioInputs = {kSdi};
    const std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[ talvexon.INPUTS ]\r\n; ours\r\n"
                             "HKR, VideoInputs, Count, 0x00010001, 9\r\n\r\n[Strings]\r\nA = \"b\"\r\n";
    EXPECT_EQ(toolboot::BoardPackageText(text, configuration),
              "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[ talvexon.INPUTS ]\r\n; ours\r\n"
              "HKR, VideoInputs, Count, 0x00010001, 1\r\n"
              "HKR, VideoInputs\\Input1, InputName, , \"SDI Input\"\r\n"
              "HKR, VideoInputs\\Input1, InputType, 0x00010001, 0\r\n"
              "HKR, VideoInputs\\Input1, InputIOIndex, 0x00010001, 0\r\n"
              "HKR, AudioInputs, Count, 0x00010001, 1\r\n"
              "HKR, AudioInputs\\Input1, InputName, , \"{5D61FB00-23EF-4D82-AD98-AD61EEAED7F5}\"\r\n"
              "\r\n[Strings]\r\nA = \"b\"\r\n");
    // An empty section at the end of a text without a last line end.
    EXPECT_EQ(toolboot::BoardPackageText("[Talvexon.Inputs]", configuration),
              "[Talvexon.Inputs]\n" + toolboot::InputsSectionLines(configuration));
}

TEST(BoardPackage, APackageWithoutTheSectionOrWithItTwiceIsRefused)
{
    const board::BoardConfiguration configuration = ThreeSdi();
    EXPECT_THROW(toolboot::BoardPackageText("[Version]\nSignature=\"$Windows NT$\"\n", configuration),
                 std::runtime_error);
    EXPECT_THROW(toolboot::BoardPackageText("; [Talvexon.Inputs]\n", configuration), std::runtime_error);
    EXPECT_THROW(toolboot::BoardPackageText("[Talvexon.Inputs]\n[Strings]\n[talvexon.inputs]\n", configuration),
                 std::runtime_error);
}

// ---- refusals ----------------------------------------------------------------------------------

TEST(BoardPackage, InputsThePackageCannotDescribeAreRefusedSayingWhichAndWhy)
{
    EXPECT_EQ(Refusal({}), "");
    EXPECT_EQ(Refusal(ThreeSdi()), "");

    board::BoardConfiguration configuration;
    configuration.videoInputs.clear();
    EXPECT_EQ(Refusal(configuration), "board configuration: no video input (a board has at least one)");

    configuration = {};
    configuration.audioInputs.clear();
    EXPECT_EQ(Refusal(configuration), "board configuration: no audio input (a board has at least one)");

    configuration = {};
    configuration.videoInputs = {VideoInputKind::Sdi, static_cast<VideoInputKind>(7)};
    EXPECT_EQ(Refusal(configuration),
              "board configuration: video input 2 is of an unknown kind (7; SDI or test connector)");

    configuration = {};
    configuration.audioInputs = {kSdi, kSdi, 9};
    EXPECT_EQ(Refusal(configuration), "board configuration: audio input 3 is of an unknown type (9; 10 SDI, 11 AES, "
                                      "12 S/PDIF, 13 balanced, 14 unbalanced)");
    configuration.audioInputs = {15};
    EXPECT_NE(Refusal(configuration).find("audio input 1 is of an unknown type (15;"), std::string::npos);

    configuration = {};
    configuration.videoInputs.assign(toolboot::kMaximumVideoInputs, VideoInputKind::Sdi);
    EXPECT_EQ(Refusal(configuration), "");
    configuration.videoInputs.push_back(VideoInputKind::Sdi);
    EXPECT_EQ(Refusal(configuration), "board configuration: 17 video inputs (the driver reads 16 at most)");

    configuration = {};
    configuration.audioInputs.assign(toolboot::kMaximumAudioInputs, kSdi);
    EXPECT_EQ(Refusal(configuration), "");
    configuration.audioInputs.push_back(kSdi);
    EXPECT_EQ(Refusal(configuration), "board configuration: 9 audio inputs (the driver reads 8 at most)");

    configuration = {};
    configuration.audioInputs = {kSdi, 11, 11, 11, 11};
    EXPECT_EQ(Refusal(configuration), "");
    configuration.audioInputs.push_back(11);
    EXPECT_EQ(Refusal(configuration), "board configuration: audio input 6 is a fifth AES input (the type has four names)");
    // The section's lines refuse the same.
    EXPECT_THROW(toolboot::InputsSectionLines(configuration), std::invalid_argument);
}

// ---- on the machine ----------------------------------------------------------------------------

class BoardPackageMachineTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("board-package-" + std::to_string(random()));
    }
    void TearDown() override
    {
        ShutDown();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    toolboot::BoardMachine& Boot(const board::BoardConfiguration& configuration)
    {
        ShutDown();
        toolboot::BoardMachineOptions options;
        options.configuration = configuration;
        options.bootOnRelease = true;
        booted_ = toolboot::BootBoardMachine(folder_, options);
        return booted_;
    }
    // The machine first: it unplugs the board at shutdown.
    void ShutDown()
    {
        booted_.machine.reset();
        booted_.board.reset();
    }
    std::u16string DriverKey()
    {
        const auto device = booted_.machine->Device(*booted_.board);
        return device ? kClass + device->driverKeyName : std::u16string();
    }
    std::string InstalledPackage() const { return ReadFile(folder_ / "C" / "Windows" / "INF" / "oem0.inf"); }

    fs::path folder_;
    toolboot::BoardMachine booted_;
};

TEST_F(BoardPackageMachineTest, AFirstPlugOfThreeSdiInputsWritesThemUnderTheDriverKey)
{
    Boot(ThreeSdi());
    ASSERT_EQ(booted_.status, STATUS_SUCCESS);
    EXPECT_EQ(InstalledPackage(), toolboot::BoardPackageText(SystemPackage(), ThreeSdi()));
    const std::u16string key = DriverKey();
    ASSERT_FALSE(key.empty());
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\VideoInputs", u"Count"), 3u);
    for (int n = 1; n <= 3; ++n) {
        const std::u16string input = key + u"\\VideoInputs\\Input" + std::u16string(1, static_cast<char16_t>(u'0' + n));
        EXPECT_EQ(standin::ReadRegistryString(input, u"InputName"),
                  u"SDI Input " + std::u16string(1, static_cast<char16_t>(u'0' + n)));
        EXPECT_EQ(standin::ReadRegistryDword(input, u"InputType"), 0u) << n;
        EXPECT_EQ(standin::ReadRegistryDword(input, u"InputIOIndex"), static_cast<ULONG>(n - 1));
    }
    EXPECT_FALSE(standin::RegistryKeyExists(key + u"\\VideoInputs\\Input4"));
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\AudioInputs", u"Count"), 3u);
    EXPECT_EQ(standin::ReadRegistryString(key + u"\\AudioInputs\\Input1", u"InputName"),
              u"{5D61FB00-23EF-4D82-AD98-AD61EEAED7F5}");
    EXPECT_EQ(standin::ReadRegistryString(key + u"\\AudioInputs\\Input3", u"InputName"),
              u"{5D61FB02-23EF-4D82-AD98-AD61EEAED7F5}");
    // The driver's start completed the third input with its defaults, as the first two.
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\AudioInputs\\Input3", u"InputType"), 10u);
    EXPECT_EQ(booted_.board->Commands().InputCount(), 3u);
}

TEST_F(BoardPackageMachineTest, TheDefaultBoardGetsTheSystemsPackageEvenWhereAnotherWasInstalledBefore)
{
    const std::string system = SystemPackage();
    Boot({});
    ASSERT_EQ(booted_.status, STATUS_SUCCESS);
    EXPECT_EQ(InstalledPackage(), system);
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey() + u"\\VideoInputs", u"Count"), 2u);

    // A run with three inputs, then the default board again on the same machine.
    Boot(ThreeSdi());
    EXPECT_NE(InstalledPackage(), system);
    Boot({});
    EXPECT_EQ(InstalledPackage(), system);
}

TEST_F(BoardPackageMachineTest, ARefusedConfigurationMakesNoMachine)
{
    board::BoardConfiguration configuration;
    configuration.videoInputs.clear();
    toolboot::BoardMachineOptions options;
    options.configuration = configuration;
    EXPECT_THROW(toolboot::OpenBoardMachine(folder_, options), std::invalid_argument);
    options.configuration = {};
    options.configuration.audioInputs = {kSdi, 99};
    EXPECT_THROW(toolboot::BootBoardMachine(folder_, options), std::invalid_argument);
    EXPECT_FALSE(fs::exists(folder_));
}

} // namespace
