// Loading and unloading driver services: a load, an unload and a second load in one process, the
// ways a load fails, and what the verifier reports of a driver that leaves things behind.
#include "MachineFixture.h"

#include "km/registry.h"
#include "standin/registry.h"
#include "standin/verifier.h"

#include <fstream>
#include <unistd.h>

using namespace machinetest;

namespace {

const std::u16string kParameters =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\MachineTest\\Parameters";

void AddService(const std::string& name, const std::string& imagePath)
{
    const std::string text = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\" +
                             name + "]\n\"ImagePath\"=\"" + imagePath + "\"\n";
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << error.message;
}

MachineTestState StateOfOnlyDevice()
{
    const auto paths = TestInterfacePaths();
    EXPECT_EQ(paths.size(), 1u);
    if (paths.empty())
        return {};
    HANDLE device = OpenPath(paths[0]);
    EXPECT_NE(device, INVALID_HANDLE_VALUE);
    const MachineTestState state = QueryState(device);
    CloseHandle(device);
    return state;
}

bool HasBreach(const std::vector<standin::VerifierViolation>& breaches, const std::string& rule,
               const std::string& text)
{
    for (const auto& b : breaches)
        if (b.rule == rule && b.detail.find(text) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST_F(MachineTest, ADriverLoadsUnloadsAndLoadsAgainFromAFreshImage)
{
    Boot();
    TestBoard& board = Board({0, 3, 0});
    ASSERT_EQ(machine_->LoadDriver(kService), STATUS_SUCCESS);
    EXPECT_EQ(machine_->LoadDriver(kService), static_cast<NTSTATUS>(0xC000010E)); // already loaded
    PDRIVER_OBJECT driver = machine_->DriverObject(kService);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(std::u16string(driver->DriverName.Buffer, driver->DriverName.Length / 2),
              u"\\Driver\\MachineTest");
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    MachineTestState state = StateOfOnlyDevice();
    EXPECT_EQ(state.loadGeneration, 1u);
    EXPECT_EQ(state.deviceNumber, 1u);
    ASSERT_EQ(machine_->Remove(board), STATUS_SUCCESS);

    platform::UnloadReport report;
    ASSERT_EQ(machine_->UnloadDriver(kService, &report), STATUS_SUCCESS);
    EXPECT_FALSE(machine_->IsDriverLoaded(kService));
    EXPECT_TRUE(report.leakChecksRun);
    EXPECT_EQ(report.leaks, 0u);
    EXPECT_EQ(report.devicesLeft, 0u);
    EXPECT_TRUE(report.imagesUnmapped);
    EXPECT_EQ(machine_->UnloadDriver(kService), STATUS_NOT_FOUND);

    // The second load maps the file anew: the driver's data start from nothing again.
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS); // loads the driver it needs
    EXPECT_TRUE(machine_->IsDriverLoaded(kService));
    state = StateOfOnlyDevice();
    EXPECT_EQ(state.loadGeneration, 1u);
    EXPECT_EQ(state.deviceNumber, 1u);
    EXPECT_EQ(standin::ReadRegistryDword(kParameters, kValueLoads), 2u);
}

TEST_F(MachineTest, UnloadingTakesTheDevicesAwayAndLoadingGivesThemBack)
{
    Boot();
    TestBoard& board = Board({0, 3, 0});
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    ASSERT_EQ(machine_->UnloadDriver(kService), STATUS_SUCCESS);
    auto device = machine_->Device(board);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->state, platform::DeviceState::Inactive);
    EXPECT_EQ(device->physicalDeviceObject, nullptr);
    EXPECT_TRUE(TestInterfacePaths().empty());

    ASSERT_EQ(machine_->LoadDriver(kService), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Device(board)->state, platform::DeviceState::Started);
    const MachineTestState state = StateOfOnlyDevice();
    EXPECT_EQ(state.startCount, 1u);
    EXPECT_EQ(state.loadGeneration, 1u);
}

TEST_F(MachineTest, LoadFailuresSayWhy)
{
    Boot();
    EXPECT_EQ(machine_->LoadDriver(u"NoSuchService"), STATUS_OBJECT_NAME_NOT_FOUND);

    AddService("Ghost", "\\\\SystemRoot\\\\System32\\\\drivers\\\\Ghost.sys");
    EXPECT_EQ(machine_->LoadDriver(u"Ghost"), STATUS_OBJECT_NAME_NOT_FOUND);

    const auto drivers = folder_.Path() / "C" / "Windows" / "System32" / "drivers";
    std::ofstream(drivers / "Junk.sys") << "not a shared object";
    AddService("Junk", "System32\\\\drivers\\\\Junk.sys");
    standin::VerifierSetEcho(false);
    EXPECT_EQ(machine_->LoadDriver(u"Junk"), static_cast<NTSTATUS>(0xC000007B));
    const auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    EXPECT_TRUE(HasBreach(breaches, "driver-load", "Junk.sys")) << breaches.size();

    std::filesystem::copy_file(MACHINE_TEST_NO_ENTRY_FILE, drivers / "NoEntry.sys");
    AddService("NoEntry", "System32\\\\drivers\\\\NoEntry.sys");
    EXPECT_EQ(machine_->LoadDriver(u"NoEntry"), static_cast<NTSTATUS>(0xC000007A));

    // A failing DriverEntry: its status comes back and nothing stays loaded (no DriverUnload).
    SetDriverSwitch(kSwitchFailDriverEntry, 0xC0000001);
    TestBoard& board = Board({0, 3, 0});
    EXPECT_EQ(machine_->Plug(board), static_cast<NTSTATUS>(0xC0000001));
    EXPECT_FALSE(machine_->IsDriverLoaded(kService));
    EXPECT_EQ(machine_->Device(board)->lastStatus, static_cast<NTSTATUS>(0xC0000001));
    SetDriverSwitch(kSwitchFailDriverEntry, 0);
    EXPECT_EQ(machine_->LoadDriver(kService), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Device(board)->state, platform::DeviceState::Started);
}

TEST_F(MachineTest, PoolLeftAtUnloadIsReported)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Boot();
            SetDriverSwitch(kSwitchLeavePool, 1);
            standin::VerifierSetEcho(false);
            machine_->LoadDriver(kService);
            platform::UnloadReport report;
            machine_->UnloadDriver(kService, &report);
            const auto breaches = standin::VerifierTakeViolations();
            const bool reported = report.leaks >= 1 && !report.imagesUnmapped &&
                                  HasBreach(breaches, "leak", "MTlk") &&
                                  HasBreach(breaches, "driver-unload", "");
            std::filesystem::remove_all(folder_.Path());
            _exit(reported ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
