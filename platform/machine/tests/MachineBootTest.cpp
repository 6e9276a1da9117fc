// The machine's folder and boot, what it keeps from run to run, and ending a run without shutdown.
#include "MachineFixture.h"

#include "km/eventlog.h"
#include "km/registry.h"
#include "platform/Clock.h"
#include "standin/drives.h"
#include "standin/eventlog.h"
#include "standin/registry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace machinetest;

namespace {

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

const std::u16string kParameters =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\MachineTest\\Parameters";

} // namespace

TEST(MachineFolder, IsCopiedFromTheTemplateWhichIsNeverWritten)
{
    TemporaryFolder folder;
    const auto machine = folder.Path() / "m";
    const std::string templateHive = ReadFile(DefaultTemplate() / "registry.reg");
    platform::Machine::CreateFolder(machine, DefaultTemplate());
    EXPECT_EQ(ReadFile(machine / "registry.reg"), templateHive);
    EXPECT_TRUE(std::filesystem::is_directory(machine / "C" / "Windows" / "System32" / "drivers"));

    // A second creation fills only what is missing.
    std::ofstream(machine / "registry.reg", std::ios::app) << "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Edited]\n";
    std::filesystem::remove_all(machine / "C");
    platform::Machine::CreateFolder(machine, DefaultTemplate());
    EXPECT_NE(ReadFile(machine / "registry.reg").find("Edited"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(machine / "C" / "Windows" / "System32" / "drivers"));

    {
        auto booted = platform::Machine::Open(machine, DefaultTemplate());
        booted->Shutdown();
    }
    EXPECT_EQ(ReadFile(DefaultTemplate() / "registry.reg"), templateHive);
    EXPECT_THROW(platform::Machine::CreateFolder(machine, folder.Path() / "no-template"), std::runtime_error);
}

// A template folder of its own with the given hive and one file.
std::filesystem::path MakeTemplate(const std::filesystem::path& folder, const std::string& hive,
                                   const std::string& fileName, const std::string& fileText)
{
    std::filesystem::create_directories(folder / "C");
    std::ofstream(folder / "registry.reg", std::ios::binary) << hive;
    std::ofstream(folder / "C" / fileName, std::ios::binary) << fileText;
    return folder;
}

TEST(MachineFolder, LayeredTemplatesImportEachHiveOverTheOnesBefore)
{
    TemporaryFolder folder;
    const auto base =
        MakeTemplate(folder.Path() / "base",
                     "Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n\"a\"=dword:00000001\r\n\"b\"=\"base\"\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n\"c\"=dword:00000003",
                     "shared.txt", "from base");
    std::filesystem::create_directories(base / "C" / "Windows");
    std::ofstream(base / "C" / "Windows" / "base-only.txt") << "base only";
    const auto layer = MakeTemplate(folder.Path() / "layer",
                                    "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
                                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\n\"b\"=\"layer\"\n\"a\"=-\n"
                                    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n"
                                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Added]\n\"d\"=dword:00000004\n",
                                    "shared.txt", "from layer");
    const std::string baseHive = ReadFile(base / "registry.reg");
    const std::string layerHive = ReadFile(layer / "registry.reg");
    const auto machine = folder.Path() / "m";
    platform::Machine::CreateFolder(machine, std::vector<std::filesystem::path>{base, layer});

    // A file both have comes from the later layer; one only the base has is there too.
    EXPECT_EQ(ReadFile(machine / "C" / "shared.txt"), "from layer");
    EXPECT_EQ(ReadFile(machine / "C" / "Windows" / "base-only.txt"), "base only");
    // The templates are only read.
    EXPECT_EQ(ReadFile(base / "registry.reg"), baseHive);
    EXPECT_EQ(ReadFile(layer / "registry.reg"), layerHive);

    // Importing the folder's hive is importing the layer over the base.
    standin::ResetRegistry();
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ImportRegistryFile(machine / "registry.reg", &error))
        << error.line << ": " << error.message;
    const std::u16string kept = u"\\Registry\\Machine\\SOFTWARE\\Kept";
    EXPECT_EQ(standin::ReadRegistryString(kept, u"b"), std::u16string(u"layer"));
    EXPECT_FALSE(standin::ReadRegistryValue(kept, u"a").has_value());
    EXPECT_FALSE(standin::RegistryKeyExists(u"\\Registry\\Machine\\SOFTWARE\\Gone"));
    EXPECT_EQ(standin::ReadRegistryDword(u"\\Registry\\Machine\\SOFTWARE\\Added", u"d"), 4u);
    standin::ResetRegistry();

    // A folder that has its hive keeps it; only missing files are filled in.
    std::ofstream(machine / "registry.reg", std::ios::binary) << "Windows Registry Editor Version 5.00\n";
    std::filesystem::remove(machine / "C" / "shared.txt");
    platform::Machine::CreateFolder(machine, std::vector<std::filesystem::path>{base, layer});
    EXPECT_EQ(ReadFile(machine / "registry.reg"), "Windows Registry Editor Version 5.00\n");
    EXPECT_EQ(ReadFile(machine / "C" / "shared.txt"), "from layer");
}

TEST(MachineFolder, RefusedLayersMakeNothing)
{
    TemporaryFolder folder;
    const auto base =
        MakeTemplate(folder.Path() / "base", "Windows Registry Editor Version 5.00\n", "a.txt", "a");
    const auto noHeader =
        MakeTemplate(folder.Path() / "no-header", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n", "b.txt", "b");
    const auto utf16 = MakeTemplate(folder.Path() / "utf16", std::string("\xFF\xFEW\0", 4), "c.txt", "c");
    const auto machine = folder.Path() / "m";
    for (const auto& layers :
         {std::vector<std::filesystem::path>{},
          std::vector<std::filesystem::path>{base, folder.Path() / "missing"},
          std::vector<std::filesystem::path>{base, noHeader}, std::vector<std::filesystem::path>{base, utf16},
          std::vector<std::filesystem::path>{utf16, base}}) {
        EXPECT_THROW(platform::Machine::CreateFolder(machine, layers), std::runtime_error) << layers.size();
        EXPECT_FALSE(std::filesystem::exists(machine));
    }
    // One template is copied as it stands, whatever its encoding: the boot's import judges it.
    platform::Machine::CreateFolder(machine, std::vector<std::filesystem::path>{utf16});
    EXPECT_EQ(ReadFile(machine / "registry.reg"), ReadFile(utf16 / "registry.reg"));
}

TEST_F(MachineTest, BootReadsTheHiveSetsTheDrivesAndInstallsDriverFiles)
{
    const double before = platform::Clock::SpeedFactor();
    Boot(TestMachineOptions(25.0));
    EXPECT_EQ(platform::Clock::SpeedFactor(), 25.0);
    EXPECT_TRUE(standin::RegistryKeyExists(kParameters));
    EXPECT_EQ(standin::MachineRoot(), folder_.Path().string());
    const auto installed = folder_.Path() / "C" / "Windows" / "System32" / "drivers" / "MachineTest.sys";
    EXPECT_EQ(ReadFile(installed), ReadFile(MACHINE_TEST_DRIVER_FILE));

    // The test driver's table was read out of the installed file for its event source, although the
    // source also names a file the machine does not have.
    standin::EventLogEntry entry;
    entry.source = "MachineTest";
    entry.messageId = kMessageShutdown;
    entry.inserts = {u"7"};
    EXPECT_EQ(standin::RenderEventLogEntry(entry), "Device 7 received the shutdown request.\r\n");

    machine_->Shutdown();
    EXPECT_EQ(platform::Clock::SpeedFactor(), before);
    EXPECT_EQ(standin::MachineRoot(), "");
    entry.inserts = {u"7"};
    EXPECT_NE(standin::RenderEventLogEntry(entry).find("cannot be found"), std::string::npos);
}

TEST_F(MachineTest, OnlyOneMachineIsOpenAtATime)
{
    Boot();
    TemporaryFolder other;
    EXPECT_THROW(platform::Machine::Open(other.Path(), DefaultTemplate()), std::logic_error);
    machine_->Shutdown();
    auto second = platform::Machine::Open(other.Path(), DefaultTemplate());
    EXPECT_TRUE(std::filesystem::exists(other.Path() / "registry.reg"));
}

TEST_F(MachineTest, AHiveThatCannotBeReadStopsTheBoot)
{
    std::ofstream(folder_.Path() / "registry.reg", std::ios::app)
        << "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"a\"=dword:xyz\n";
    EXPECT_THROW(Boot(), std::runtime_error);
    // Nothing stays open: a sound machine boots afterwards.
    TemporaryFolder other;
    EXPECT_NO_THROW(platform::Machine::Open(other.Path(), DefaultTemplate()));
}

TEST_F(MachineTest, SettingsAndTheEventLogCarryOverToTheNextRun)
{
    Boot();
    ASSERT_EQ(machine_->LoadDriver(kService), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(kParameters, kValueLoads), 1u);
    machine_->Shutdown();
    EXPECT_NE(ReadFile(folder_.Path() / "registry.reg").find("\"Loads\"=dword:00000001"), std::string::npos);
    const std::string firstLog = ReadFile(folder_.Path() / "eventlog.txt");
    EXPECT_EQ(Count(firstLog, "MachineTest Information 0x40FF0001 Driver MachineTest loaded, load 1."), 1u)
        << firstLog;

    Boot();
    EXPECT_EQ(standin::EventLogCount(), 0u); // the store starts empty; the file keeps the old runs
    ASSERT_EQ(machine_->LoadDriver(kService), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(kParameters, kValueLoads), 2u);
    EXPECT_TRUE(machine_->Save());
    EXPECT_TRUE(machine_->Save());
    machine_->Shutdown();
    const std::string log = ReadFile(folder_.Path() / "eventlog.txt");
    EXPECT_EQ(log.rfind(firstLog, 0), 0u);
    EXPECT_EQ(Count(log, "Driver MachineTest loaded, load 1."), 2u) << log; // once per run, never repeated
}

TEST_F(MachineTest, TheEventLogFileKeepsWithinTheHivesMaxSizeDroppingTheOldestEntries)
{
    Boot();
    machine_->Shutdown();
    // Room for three of the test driver's load entries (about 90 bytes each), not four.
    std::ofstream(folder_.Path() / "registry.reg", std::ios::app)
        << "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System]\n"
           "\"MaxSize\"=dword:00000140\n";
    std::vector<std::string> newest; // each run's entry, as the file shows it
    for (int run = 1; run <= 6; ++run) {
        Boot();
        ASSERT_EQ(machine_->LoadDriver(kService), STATUS_SUCCESS);
        // The file is within its size as soon as the entry is written, before any save.
        const std::string written = ReadFile(folder_.Path() / "eventlog.txt");
        EXPECT_LE(written.size(), 0x140u);
        ASSERT_FALSE(written.empty());
        const size_t last = written.rfind('\n', written.size() - 2);
        newest.push_back(written.substr(last == std::string::npos ? 0 : last + 1));
        EXPECT_NE(newest.back().find("Driver MachineTest loaded"), std::string::npos) << written;
        machine_->Shutdown();
    }
    // The newest three entries, whole and in order; the oldest went first.
    EXPECT_EQ(ReadFile(folder_.Path() / "eventlog.txt"), newest[3] + newest[4] + newest[5]);
    EXPECT_NE(newest[2], newest[3]);
}

TEST_F(MachineTest, EndingWithoutShutdownSavesTheHiveButSendsNoShutdown)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child, a new run of this program, works in the parent's folder, found through the
    // environment.
    const char* shared = std::getenv("MACHINE_CRASH_FOLDER");
    const std::filesystem::path folder = shared ? std::filesystem::path(shared) : folder_.Path();
    setenv("MACHINE_CRASH_FOLDER", folder.c_str(), 1);
    EXPECT_EXIT(
        {
            if (folder != folder_.Path())
                std::filesystem::remove_all(folder_.Path());
            auto machine = platform::Machine::Open(folder, DefaultTemplate(), TestMachineOptions());
            TestBoard board({1, 2, 0});
            machine->Plug(board);
            machine->EndWithoutShutdown(7);
        },
        testing::ExitedWithCode(7), "");
    unsetenv("MACHINE_CRASH_FOLDER");

    const std::string hive = ReadFile(folder / "registry.reg");
    EXPECT_NE(hive.find("\"Loads\"=dword:00000001"), std::string::npos);
    EXPECT_NE(hive.find("Enum\\PCI\\VEN_7A1E&DEV_7E57&SUBSYS_00017A1E&REV_02\\"), std::string::npos);
    const std::string log = ReadFile(folder / "eventlog.txt");
    EXPECT_NE(log.find("Driver MachineTest loaded, load 1."), std::string::npos) << log;
    EXPECT_EQ(log.find("shutdown request"), std::string::npos) << log;
}
