// The board object's operations that need the running board: the two tester images started from
// their files (the tester personality running with the mailbox left alone; names missing, files
// missing, empty, cut short or junk, and a tester that never boots, each leaving the board on its
// firmware), and the analog DC gain an audio configuration sends when a gain changes.
#include <filesystem>
#include <fstream>
#include <random>

#include "DspCommandFixture.h"
#include "standin/drives.h"
#include "standin/registry.h"

namespace dsptest {
namespace {

constexpr NTSTATUS kMemoryTesterNameMissing = static_cast<NTSTATUS>(0xC0071060L);
constexpr NTSTATUS kPciTesterNameMissing = static_cast<NTSTATUS>(0xC0071061L);
constexpr NTSTATUS kFileMissing = static_cast<NTSTATUS>(0xC0071019L);
constexpr NTSTATUS kNotResponding = static_cast<NTSTATUS>(0xC0071051L);

constexpr char kBoardReg[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
constexpr char16_t kBoardKey[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";

// The machine's drive C (the driver tests' machine root) holds the driver's folder with the board's images; `Names()` gives the
// tester image names the driver's parameters carry.
std::u16string Utf16(ULONG number)
{
    const std::string text = std::to_string(number);
    return std::u16string(text.begin(), text.end());
}

class DeviceBoardTest : public DspCommandTest {
protected:
    // The tester starts boot the DSP again and wait for its boot on the clock: it keeps running.
    bool HoldsClock() const override { return false; }
    struct TesterNames {
        const char* memory;
        const char* pci;
    };
    virtual TesterNames Names() const
    {
        return {board::StandardImages::kMemoryTesterFileName, board::StandardImages::kPciTesterFileName};
    }
    std::string Parameters() const override
    {
        // The firmware's names too: a failed tester start brings the firmware back from its files.
        std::string text = DspCommandTest::Parameters() + "\"DriversPath\"=\"C:\\\\drivers\"\n" +
                           "\"FirmwareImageName\"=\"" + board::StandardImages::kFirmwareFileName + "\"\n" +
                           "\"FPGAImageName\"=\"" + board::StandardImages::kFpgaFileName + "\"\n";
        const TesterNames names = Names();
        if (names.memory != nullptr)
            text += std::string("\"DSPMemoryTesterImageName\"=\"") + names.memory + "\"\n";
        if (names.pci != nullptr)
            text += std::string("\"DSPPciTesterImageName\"=\"") + names.pci + "\"\n";
        return text;
    }

    void SetUp() override
    {
        DspCommandTest::SetUp();
        if (HasFatalFailure())
            return;
        std::filesystem::create_directories(root_ / "C" / "drivers");
        WriteImage(board::StandardImages::kMemoryTesterFileName, ImageBytes(board::Personality::MemoryTester));
        WriteImage(board::StandardImages::kPciTesterFileName, ImageBytes(board::Personality::PciTester));
        WriteImage(board::StandardImages::kFirmwareFileName, ImageBytes(board::Personality::MainFirmware));
        const auto fpga = board::StandardImages::Fpga().Serialize();
        WriteImage(board::StandardImages::kFpgaFileName, std::vector<UCHAR>(fpga.begin(), fpga.end()));
    }
    void TearDown() override
    {
        DspCommandTest::TearDown();
        if (boardPdo_ != nullptr)
            standin::DeletePhysicalDeviceObject(boardPdo_);
    }

    void WriteImage(const std::string& name, const std::vector<UCHAR>& bytes) const
    {
        std::ofstream out(root_ / "C" / "drivers" / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good());
    }

    // What Invalidate leaves: no adapter, the manager invalidated and its ranges unmapped.
    void ExpectInvalidated() const
    {
        EXPECT_EQ(device_->GetHeldDmaAdapter(), nullptr);
        EXPECT_TRUE(manager_->IsInvalidated());
        ULONG value = 0;
        EXPECT_EQ(manager_->ReadDspRegisterValue(board::kHostStatus, &value), STATUS_DEVICE_NOT_READY);
    }

    // The board still on its firmware after a failed tester start: the host port stays, the
    // mailbox is served, a command is answered, and a reset with the firmware's restart works.
    void ExpectFirmwareAnswers()
    {
        EXPECT_FALSE(manager_->IsInvalidated());
        EXPECT_NE(device_->GetHeldDmaAdapter(), nullptr);
        EXPECT_FALSE(manager_->IsMailboxSuspended());
        EXPECT_EQ(board_->CurrentPersonality(), board::Personality::MainFirmware);
        ULONG signature = 0;
        EXPECT_EQ(Record()->GetDCSignature(&signature), STATUS_SUCCESS);
        EXPECT_EQ(manager_->WarmReset(), STATUS_SUCCESS);
        EXPECT_EQ(device_->StartTheDSPAndFPGA(), STATUS_SUCCESS);
        EXPECT_EQ(board_->CurrentPersonality(), board::Personality::MainFirmware);
    }
    // The one entry of `id`.
    standin::EventLogEntry OnlyEntry(NTSTATUS id) const
    {
        std::vector<standin::EventLogEntry> found;
        for (const auto& entry : standin::EventLogEntries())
            if (entry.messageId == static_cast<ULONG>(id))
                found.push_back(entry);
        EXPECT_EQ(found.size(), 1u) << std::hex << static_cast<ULONG>(id);
        return found.empty() ? standin::EventLogEntry{} : found[0];
    }

    // A tester holds the DSP: a command is completed at once, cancelled, and never reaches the board.
    void ExpectMailboxLeftAlone()
    {
        EXPECT_TRUE(manager_->IsMailboxSuspended());
        ULONG value = 0;
        EXPECT_EQ(Record()->ReadFPGARegister(34, &value), STATUS_CANCELLED);
        EXPECT_TRUE(Commands().empty());
    }

    // The board's key with `count` SDI audio inputs, the device reading its settings from it.
    void LoadAudioInputs(ULONG count)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n[" + std::string(kBoardReg) +
                           "\\AudioInputs]\n\"Count\"=dword:0000000" + std::to_string(count) + "\n";
        for (ULONG i = 1; i <= count; ++i) {
            char name[48];
            std::snprintf(name, sizeof(name), "{5D61FB%02X-23EF-4D82-AD98-AD61EEAED7F5}", static_cast<unsigned>(i - 1));
            text += "\n[" + std::string(kBoardReg) + "\\AudioInputs\\Input" + std::to_string(i) + "]\n\"InputName\"=\"" +
                    name + "\"\n\"InputType\"=dword:0000000a\n";
        }
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << error.line << ": " << error.message;
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
        properties.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
        boardPdo_ = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(boardPdo_, nullptr);
        device_->SetPhysicalDeviceObject(boardPdo_);
        Device::LoadAudioInputsFromRegistry(device_, boardPdo_, device_->GetAudioInputItems());
        ASSERT_EQ(device_->GetAudioInputItems()->GetInputCount(), count);
    }

    PDEVICE_OBJECT boardPdo_ = nullptr;
};

TEST_F(DeviceBoardTest, MemoryTesterRunsFromItsFileInTesterMode)
{
    ASSERT_EQ(board_->CurrentPersonality(), board::Personality::MainFirmware);
    ASSERT_EQ(device_->StartTheDSPMemoryTester(), STATUS_SUCCESS);
    EXPECT_TRUE(board_->IsBooted());
    EXPECT_EQ(board_->CurrentPersonality(), board::Personality::MemoryTester);
    EXPECT_FALSE(manager_->IsInvalidated());
    EXPECT_NE(device_->GetHeldDmaAdapter(), nullptr);
    ExpectMailboxLeftAlone();
}

TEST_F(DeviceBoardTest, PciTesterRunsFromItsFileInTesterMode)
{
    ASSERT_EQ(device_->StartTheDSPPciTester(), STATUS_SUCCESS);
    EXPECT_TRUE(board_->IsBooted());
    EXPECT_EQ(board_->CurrentPersonality(), board::Personality::PciTester);
    EXPECT_FALSE(manager_->IsInvalidated());
    ExpectMailboxLeftAlone();

    // The main firmware again: the mailbox answers once more.
    const auto image = ImageBytes(board::Personality::MainFirmware);
    ASSERT_EQ(manager_->Start(image.data(), static_cast<ULONG>(image.size()), false), STATUS_SUCCESS);
    EXPECT_FALSE(manager_->IsMailboxSuspended());
    ULONG signature = 0;
    EXPECT_EQ(Record()->GetDCSignature(&signature), STATUS_SUCCESS);
    EXPECT_EQ(CommandsWithId(16).size(), 1u);
}

TEST_F(DeviceBoardTest, AMissingOrEmptyTesterFileIsLoggedWithItsPathAndTheFirmwareRunsOn)
{
    std::filesystem::remove(root_ / "C" / "drivers" / board::StandardImages::kMemoryTesterFileName);
    WriteImage(board::StandardImages::kPciTesterFileName, {});
    standin::EventLogClear();
    board_->ClearAccessLog();
    EXPECT_EQ(device_->StartTheDSPMemoryTester(), kFileMissing);
    EXPECT_EQ(device_->StartTheDSPPciTester(), kFileMissing);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].messageId, static_cast<ULONG>(kFileMissing));
    ASSERT_FALSE(entries[0].inserts.empty());
    EXPECT_EQ(entries[0].inserts[0], u"\\DosDevices\\C:\\drivers\\TalvexonMemTest.bin");
    ASSERT_FALSE(entries[1].inserts.empty());
    EXPECT_EQ(entries[1].inserts[0], u"\\DosDevices\\C:\\drivers\\TalvexonPciTest.bin");
    // The DSP was never touched.
    EXPECT_EQ(CountOf(Log(), AccessKind::WindowWrite), 0u);
    ExpectFirmwareAnswers();
}

TEST_F(DeviceBoardTest, ImageFilesAreReadWholeUpToTheirPathLimitAndNeverEmpty)
{
    // "C:\drivers\" and a name: 130 characters (260 bytes) are the longest path taken.
    const std::string longest(130 - 11, 'n');
    WriteImage(longest, {1, 2, 3});
    WriteImage(longest + "x", {1, 2, 3});
    WriteImage("Empty.bin", {});
    auto path = [](const std::string& name) {
        std::u16string text = u"C:\\drivers\\";
        text.append(name.begin(), name.end());
        return text;
    };
    PUCHAR buffer = nullptr;
    ULONG size = 0;
    ASSERT_EQ(device_->LoadFile(path(longest).c_str(), &buffer, &size), STATUS_SUCCESS);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[2], 3);
    ExFreePool(buffer);

    standin::EventLogClear();
    buffer = reinterpret_cast<PUCHAR>(&size);
    EXPECT_EQ(device_->LoadFile(path(longest + "x").c_str(), &buffer, &size), kFileMissing);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(device_->LoadFile(path("Empty.bin").c_str(), &buffer, &size), kFileMissing);
    EXPECT_EQ(buffer, nullptr);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& entry : entries)
        EXPECT_EQ(entry.messageId, static_cast<ULONG>(kFileMissing));
    ASSERT_FALSE(entries[1].inserts.empty());
    EXPECT_EQ(entries[1].inserts[0], u"\\DosDevices\\C:\\drivers\\Empty.bin");
}

TEST_F(DeviceBoardTest, AJunkTesterImageIsRefusedUntouchedAndLoggedAsNoImage)
{
    WriteImage(board::StandardImages::kPciTesterFileName, std::vector<UCHAR>(64, 0xA5));
    board_->ClearAccessLog();
    standin::EventLogClear();
    EXPECT_EQ(device_->StartTheDSPPciTester(), kInvalidImage);
    // Nothing of the image reached the board.
    EXPECT_EQ(CountOf(Log(), AccessKind::WindowWrite), 0u);
    EXPECT_NE(board_->CurrentPersonality(), board::Personality::PciTester);
    const auto entry = OnlyEntry(MSG_DSP_IMAGE_SECTION_OUTSIDE_PAGE);
    EXPECT_EQ(entry.inserts, (std::vector<std::u16string>{u"C:\\drivers\\TalvexonPciTest.bin", u"1", u"165",
                                                          u"a5a5a5a5", u"2779096485"}));
    ExpectFirmwareAnswers();
}

TEST_F(DeviceBoardTest, ACutTesterImageIsRefusedUntouchedAndLoggedAsCutShort)
{
    auto image = ImageBytes(board::Personality::MemoryTester);
    // The shipped tester: 32 bytes at 0, then 2 KB of code at 0x400, of which 100 bytes are lost.
    const ULONG codeBytes = static_cast<ULONG>(image.size()) - 1 - 8 - 32 - 8;
    image.resize(image.size() - 100);
    WriteImage(board::StandardImages::kMemoryTesterFileName, image);
    board_->ClearAccessLog();
    standin::EventLogClear();
    EXPECT_EQ(device_->StartTheDSPMemoryTester(), kInvalidImage);
    EXPECT_EQ(CountOf(Log(), AccessKind::WindowWrite), 0u);
    const auto entry = OnlyEntry(MSG_DSP_IMAGE_CUT_SHORT);
    EXPECT_EQ(entry.inserts, (std::vector<std::u16string>{u"C:\\drivers\\TalvexonMemTest.bin", u"2", u"2",
                                                          Utf16(codeBytes), Utf16(codeBytes - 100)}));
    // Cut inside the second section's header: that header is what is missing.
    image.resize(1 + 8 + 32 + 5);
    WriteImage(board::StandardImages::kMemoryTesterFileName, image);
    standin::EventLogClear();
    EXPECT_EQ(device_->StartTheDSPMemoryTester(), kInvalidImage);
    EXPECT_EQ(OnlyEntry(MSG_DSP_IMAGE_CUT_SHORT).inserts,
              (std::vector<std::u16string>{u"C:\\drivers\\TalvexonMemTest.bin", u"2", u"2", u"8", u"5"}));
    ExpectFirmwareAnswers();
}

TEST_F(DeviceBoardTest, ATesterWithBytesAfterItsLastSectionIsNoImage)
{
    auto image = ImageBytes(board::Personality::PciTester);
    image.insert(image.end(), {1, 2, 3});
    WriteImage(board::StandardImages::kPciTesterFileName, image);
    standin::EventLogClear();
    EXPECT_EQ(device_->StartTheDSPPciTester(), kInvalidImage);
    EXPECT_EQ(OnlyEntry(MSG_DSP_IMAGE_BYTES_AFTER_LAST_SECTION).inserts,
              (std::vector<std::u16string>{u"C:\\drivers\\TalvexonPciTest.bin", u"3", u"2"}));
    ExpectFirmwareAnswers();
}

TEST_F(DeviceBoardTest, ATesterThatNeverBootsIsReturnedAndTheFirmwareComesBack)
{
    // A well-formed image whose header is no personality's: the DSP stays silent at its release.
    auto image = ImageBytes(board::Personality::MemoryTester);
    image[1 + 8] ^= 0xFF; // the first byte of the magic
    WriteImage(board::StandardImages::kMemoryTesterFileName, image);
    standin::EventLogClear();
    NTSTATUS status;
    {
        // The start's five tries wait for a boot that never comes: the clock is pushed on through
        // them, and left alone from the failure on, while the firmware comes back.
        ClockPush push(kShortStep, [] { return true; }, [] { return !Events(static_cast<ULONG>(kNotResponding)).empty(); });
        status = device_->StartTheDSPMemoryTester();
    }
    EXPECT_EQ(status, kNotResponding);
    EXPECT_EQ(OnlyEntry(kNotResponding).messageId, static_cast<ULONG>(kNotResponding));
    EXPECT_EQ(OnlyEntry(MSG_DSP_TESTER_FAILED_FIRMWARE_RESTARTED).inserts,
              (std::vector<std::u16string>{u"memory tester"}));
    ExpectFirmwareAnswers();
}

// A memory tester name of 40,000 characters: more than a value the driver reads.
class DeviceBoardLongTesterNameTest : public DeviceBoardTest {
protected:
    TesterNames Names() const override
    {
        static const std::string name(40'000, 'm');
        return {name.c_str(), board::StandardImages::kPciTesterFileName};
    }
};

TEST_F(DeviceBoardLongTesterNameTest, ANameTooLongToReadIsLoggedAsTooLongNotAsMissing)
{
    board_->ClearAccessLog();
    EXPECT_EQ(device_->StartTheDSPMemoryTester(), MSG_IMAGE_NAME_TOO_LONG);
    EXPECT_EQ(OnlyEntry(MSG_IMAGE_NAME_TOO_LONG).inserts,
              (std::vector<std::u16string>{u"DSPMemoryTesterImageName", u"40000", u"130"}));
    EXPECT_TRUE(Events(static_cast<ULONG>(kMemoryTesterNameMissing)).empty());
    EXPECT_EQ(CountOf(Log(), AccessKind::WindowWrite), 0u);
    ExpectFirmwareAnswers();
}

class DeviceBoardWithoutTesterNamesTest : public DeviceBoardTest {
protected:
    TesterNames Names() const override { return {nullptr, nullptr}; }
};

TEST_F(DeviceBoardWithoutTesterNamesTest, EachTesterWithoutItsNameIsLoggedWithItsCodeAndTheFirmwareRunsOn)
{
    board_->ClearAccessLog();
    EXPECT_EQ(device_->StartTheDSPMemoryTester(), kMemoryTesterNameMissing);
    auto entries = standin::EventLogEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().messageId, static_cast<ULONG>(kMemoryTesterNameMissing));
    EXPECT_EQ(device_->StartTheDSPPciTester(), kPciTesterNameMissing);
    entries = standin::EventLogEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().messageId, static_cast<ULONG>(kPciTesterNameMissing));
    // Nothing was loaded.
    EXPECT_EQ(CountOf(Log(), AccessKind::WindowWrite), 0u);
    ExpectFirmwareAnswers();
}

TEST_F(DeviceBoardTest, GainChangeSendsTheOffsetGainAsASignedByteWithTheInputIndex)
{
    LoadAudioInputs(4);
    BrevicorAudioConfigRecord record{};
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    // The defaults: -4 to 20 above the DSP's zero, whose offset is 5.
    ASSERT_EQ(record.gainMinimum, -9);
    ASSERT_EQ(record.gainMaximum, 15);
    record.gain[1] = -9; // -4 at the DSP: 0xFC
    record.gain[3] = 15; // 20: 0x14
    board_->Mailbox().ClearCommandLog();
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);

    const auto gains = CommandsWithId(15);
    ASSERT_EQ(gains.size(), 2u);
    EXPECT_EQ(gains[0].bytes[16], 0xFC);
    EXPECT_EQ(gains[0].bytes[17], 1);
    EXPECT_EQ(gains[1].bytes[16], 0x14);
    EXPECT_EQ(gains[1].bytes[17], 3);
    EXPECT_EQ(board_->Commands().DcGains().at(1), static_cast<uint8_t>(0xFC));
    EXPECT_EQ(board_->Commands().DcGains().at(3), 0x14);
    EXPECT_EQ(standin::ReadRegistryDword(std::u16string(kBoardKey) + u"\\AudioInputs\\Input2", u"InputGain"),
              static_cast<ULONG>(-9));
    EXPECT_EQ(standin::ReadRegistryDword(std::u16string(kBoardKey) + u"\\AudioInputs\\Input4", u"InputGain"), 15u);

    // The same record again changes nothing: no gain is sent.
    board_->Mailbox().ClearCommandLog();
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);
    EXPECT_TRUE(CommandsWithId(15).empty());

    // A gain out of range is refused before anything is sent.
    record.gain[0] = 16;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC0071091L));
    EXPECT_TRUE(CommandsWithId(15).empty());
}

class DeviceBoardGainOffsetTest : public DeviceBoardTest {
protected:
    std::string Parameters() const override
    {
        return DeviceBoardTest::Parameters() + "\"DspAnalogDCGainMin\"=dword:ffffff80\n"
                                               "\"DspAnalogDCGainMax\"=dword:0000007f\n"
                                               "\"DspAnalogDCGainOffset\"=dword:ffffffe0\n";
    }
};

TEST_F(DeviceBoardGainOffsetTest, TheWholeSignedByteRangeReachesTheBoard)
{
    LoadAudioInputs(3);
    BrevicorAudioConfigRecord record{};
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    ASSERT_EQ(record.gainMinimum, -96);
    ASSERT_EQ(record.gainMaximum, 159);
    record.gain[0] = -96; // -128
    record.gain[1] = 159; // 127
    record.gain[2] = 31;  // -1
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);
    const auto gains = CommandsWithId(15);
    ASSERT_EQ(gains.size(), 3u);
    const uint8_t expected[3] = {0x80, 0x7F, 0xFF};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(gains[i].bytes[16], expected[i]) << i;
        EXPECT_EQ(gains[i].bytes[17], i) << i;
    }
}

} // namespace
} // namespace dsptest
