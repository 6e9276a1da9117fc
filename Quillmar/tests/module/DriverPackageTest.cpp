// The capture board's driver package as the system's machine installs it: a first plug of the
// default board writes its video and audio inputs under the board's driver key and the names of the
// audio input types, and an administrator's edit survives a re-plug. The machine has no driver file
// here: the package is the machine's work, done before any driver runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "board/CaptureBoard.h"
#include "BoardMachine.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"
#include "standin/registry.h"

namespace {

constexpr char16_t kClass[] = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\";
constexpr char16_t kMediaCategories[] = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\MediaCategories\\";

// Audio input type n and its display name, as the package lists them.
std::u16string AudioType(int n)
{
    char text[64];
    std::snprintf(text, sizeof text, "{5D61FB%02X-23EF-4D82-AD98-AD61EEAED7F5}", n);
    return std::u16string(text, text + std::strlen(text));
}

std::u16string AudioTypeName(int n)
{
    const char* kinds[] = {"SDI", "AES", "SPDIF", "Unbalanced", "Balanced"};
    const int firsts[] = {0, 8, 12, 16, 20, 24};
    int kind = 0;
    while (n >= firsts[kind + 1])
        ++kind;
    const std::string name = std::string(kinds[kind]) + " Audio " + std::to_string(n - firsts[kind] + 1);
    return std::u16string(name.begin(), name.end());
}

class DriverPackageTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() / ("driverpackage-" + std::to_string(random()));
        options_.speedFactor = 2.0;
    }
    void TearDown() override
    {
        machine_.reset();
        std::filesystem::remove_all(folder_);
    }
    void Boot()
    {
        machine_.reset();
        machine_ = toolboot::OpenMachine(folder_, options_);
    }
    std::u16string DriverKey(board::CaptureBoard& captureBoard)
    {
        auto device = machine_->Device(captureBoard);
        return device ? kClass + device->driverKeyName : std::u16string();
    }

    std::filesystem::path folder_;
    platform::MachineOptions options_;
    // Declared before the machine, so that the boards outlive it: it unplugs them at shutdown.
    board::CaptureBoard captureBoard_;
    std::unique_ptr<platform::Machine> machine_;
};

} // namespace

TEST_F(DriverPackageTest, AFirstPlugOfTheDefaultBoardWritesItsInputsAndTheAudioTypeNames)
{
    Boot();
    machine_->Plug(captureBoard_); // no driver file: the load fails, the installation stays
    const std::u16string key = DriverKey(captureBoard_);
    ASSERT_FALSE(key.empty());
    EXPECT_EQ(standin::ReadRegistryString(key, u"InfSection"), u"Talvexon.NT");

    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\VideoInputs", u"Count"), 2u);
    EXPECT_EQ(standin::ReadRegistryString(key + u"\\VideoInputs\\Input1", u"InputName"), u"SDI Input");
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\VideoInputs\\Input1", u"InputType"), 0u);
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\VideoInputs\\Input1", u"InputIOIndex"), 0u);
    EXPECT_EQ(standin::ReadRegistryString(key + u"\\VideoInputs\\Input2", u"InputName"), u"Test Signal");
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\VideoInputs\\Input2", u"InputType"), 2u);
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\VideoInputs\\Input2", u"InputIOIndex"), 2u);
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\AudioInputs", u"Count"), 2u);
    EXPECT_EQ(standin::ReadRegistryString(key + u"\\AudioInputs\\Input1", u"InputName"),
              u"{5D61FB00-23EF-4D82-AD98-AD61EEAED7F5}");
    EXPECT_EQ(standin::ReadRegistryString(key + u"\\AudioInputs\\Input2", u"InputName"), AudioType(1));
    EXPECT_FALSE(standin::RegistryKeyExists(key + u"\\VideoInputs\\Input3"));
    EXPECT_FALSE(standin::ReadRegistryValue(key + u"\\AudioInputs", u"ActiveInput")) << "left to the driver";

    EXPECT_EQ(standin::ReadRegistryString(kMediaCategories + AudioType(0), u"Name"), u"SDI Audio 1");
    for (int n = 0; n < 24; ++n)
        EXPECT_EQ(standin::ReadRegistryString(kMediaCategories + AudioType(n), u"Name"), AudioTypeName(n)) << n;
    EXPECT_EQ(standin::ReadRegistryString(kMediaCategories + std::u16string(u"{5D61FB17-23EF-4D82-AD98-AD61EEAED7F5}"),
                                          u"Name"),
              u"Balanced Audio 4");
    // The base machine names the standard pin categories.
    EXPECT_EQ(standin::ReadRegistryString(kMediaCategories + std::u16string(u"{FB6C4282-0353-11D1-905F-0000C0CC16BA}"),
                                          u"Name"),
              u"Preview");
}

TEST_F(DriverPackageTest, AnEditedCountSurvivesARePlugAndARun)
{
    Boot();
    machine_->Plug(captureBoard_);
    const std::u16string key = DriverKey(captureBoard_);
    ASSERT_FALSE(key.empty());
    std::string path(key.begin(), key.end());
    path.replace(0, std::strlen("\\Registry\\Machine"), "HKEY_LOCAL_MACHINE");
    ASSERT_TRUE(standin::ImportRegistryText("Windows Registry Editor Version 5.00\n\n[" + path +
                                            "\\VideoInputs]\n\"Count\"=dword:00000001\n"));
    ASSERT_EQ(machine_->Remove(captureBoard_), STATUS_SUCCESS);
    machine_->Plug(captureBoard_);
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\VideoInputs", u"Count"), 1u);
    Boot(); // the next run: the hive written back at shutdown and read again
    machine_->Plug(captureBoard_);
    ASSERT_EQ(DriverKey(captureBoard_), key);
    EXPECT_EQ(standin::ReadRegistryDword(key + u"\\VideoInputs", u"Count"), 1u);
}
