// The audio input types against the system's driver package: after the machine installed the
// default board, every type identifier of the driver's table has the table's name under the system's
// "MediaCategories", the audio input settings read their names from there, and the board's own
// input lists load through the device's loaders. The machine has no driver file here: the package
// is installed at the first plug, before any driver runs, and the driver's classes run in this
// program.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "audioinputitems.h"
#include "audioinputtypes.h"
#include "board/CaptureBoard.h"
#include "device.h"
#include "BoardMachine.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"
#include "standin/devices.h"
#include "standin/registry.h"

namespace {

constexpr char16_t kMediaCategories[] =
    u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\MediaCategories\\";

class AudioTypesPackageTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() / ("audiotypes-" + std::to_string(random()));
        options_.speedFactor = 2.0;
        machine_ = toolboot::OpenMachine(folder_, options_);
        ASSERT_NE(machine_, nullptr);
        machine_->Plug(captureBoard_); // no driver file: the load fails, the installation stays
        const auto device = machine_->Device(captureBoard_);
        ASSERT_TRUE(device.has_value());
        driverKeyName_ = device->driverKeyName;
        ASSERT_FALSE(driverKeyName_.empty());
    }
    void TearDown() override
    {
        machine_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::filesystem::path folder_;
    platform::MachineOptions options_;
    std::u16string driverKeyName_;
    // Declared before the machine, so that the board outlives it.
    board::CaptureBoard captureBoard_;
    std::unique_ptr<platform::Machine> machine_;
};

TEST_F(AudioTypesPackageTest, EveryTypeOfTheTableHasItsNameInTheHive)
{
    for (ULONG n = 0; n < kAudioInputTypeCount; ++n) {
        WCHAR braced[kBracedGuidCharacters];
        FormatBracedGuid(GetAudioInputTypeGuid(n), braced);
        const auto name = standin::ReadRegistryString(kMediaCategories + std::u16string(braced), u"Name");
        ASSERT_TRUE(name.has_value()) << n;
        EXPECT_EQ(*name, std::u16string(GetAudioInputTypeName(n))) << n;
    }
    // Nothing beyond the table is named.
    GUID beyond = GetAudioInputTypeGuid(0);
    beyond.Data1 += kAudioInputTypeCount;
    WCHAR braced[kBracedGuidCharacters];
    FormatBracedGuid(beyond, braced);
    EXPECT_FALSE(standin::RegistryKeyExists(kMediaCategories + std::u16string(braced)));
}

TEST_F(AudioTypesPackageTest, InputNamesComeFromTheInstalledHive)
{
    AudioInputItems items;
    ASSERT_EQ(items.AllocateInputs(3), STATUS_SUCCESS);
    items.SetInputName(0, GetAudioInputTypeGuid(0));
    GUID unseeded = GetAudioInputTypeGuid(0);
    unseeded.Data4[7] ^= 0xFF;
    items.SetInputName(1, unseeded);
    items.SetInputName(2, GetAudioInputTypeGuid(23));
    WCHAR text[64];
    ASSERT_EQ(items.GetInputNameString(0, text, 64), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"SDI Audio 1");
    ASSERT_EQ(items.GetInputNameString(1, text, 64), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"Unknown");
    ASSERT_EQ(items.GetInputNameString(0, text, 4), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"SDI");
    ASSERT_EQ(items.GetInputNameString(2, text, 64), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"Balanced Audio 4");
}

TEST_F(AudioTypesPackageTest, TheInstalledBoardsInputsLoad)
{
    standin::PhysicalDeviceProperties properties;
    properties.enumeratorName = u"PCI";
    properties.driverKeyName = driverKeyName_;
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(properties);
    ASSERT_NE(pdo, nullptr);
    auto* device = new Device(nullptr);
    EXPECT_EQ(Device::LoadVideoInputsFromRegistry(device, pdo, device->GetVideoInputItems()), STATUS_SUCCESS);
    EXPECT_EQ(Device::LoadAudioInputsFromRegistry(device, pdo, device->GetAudioInputItems()), STATUS_SUCCESS);
    VideoInputItems* video = device->GetVideoInputItems();
    ASSERT_EQ(video->GetInputCount(), 2u);
    EXPECT_EQ(std::u16string(video->GetInput(0)->GetInputName()), u"SDI Input");
    ULONG io = 0;
    video->GetInput(1)->GetInputIOIndex(&io);
    EXPECT_EQ(io, 2u);
    AudioInputItems* audio = device->GetAudioInputItems();
    ASSERT_EQ(audio->GetInputCount(), 2u);
    WCHAR text[64];
    audio->GetInputNameString(0, text, 64);
    EXPECT_EQ(std::u16string(text), u"SDI Audio 1");
    audio->GetInputNameString(1, text, 64);
    EXPECT_EQ(std::u16string(text), u"SDI Audio 2");
    delete device;
    standin::DeletePhysicalDeviceObject(pdo);
}

} // namespace
