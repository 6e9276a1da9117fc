// What the machine's tests share: a test machine made in a temporary folder from a copy of the
// default machine with the test driver's service added (MachineTest.reg) and its driver file
// installed at boot, and the user-mode side of talking to the test driver's devices.
#pragma once
#include "MachineTestProtocol.h"
#include "TestBoard.h"
#include "km/status.h"
#include "platform/machine/Machine.h"
#include "um/windows.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace machinetest {

// A fresh folder under the system's temporary folder, removed with the object.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The committed default machine.
std::filesystem::path DefaultTemplate();
// Makes `folder` a machine from the default template with the test driver's service installed.
void PrepareTestMachine(const std::filesystem::path& folder);
// Options that install the built test driver file; the clock runs `speed` times real time.
platform::MachineOptions TestMachineOptions(double speed = 50.0);
// Sets a DWORD value under the test driver's "Parameters" key, as an administrator edits the hive.
void SetDriverSwitch(const char16_t* name, uint32_t value);

// The strings of a REG_MULTI_SZ value read by path (none when it is missing or of another type).
std::vector<std::u16string> MultiString(const std::u16string& key, const std::u16string& name);

// The paths of the enabled interfaces of the test driver's class, as CM_Get_Device_Interface_List
// gives them.
std::vector<std::u16string> TestInterfacePaths();
// Opens a path with CreateFileW; INVALID_HANDLE_VALUE on failure.
HANDLE OpenPath(const std::u16string& path);
// The state of the device behind `handle`; fails the test when the request fails.
MachineTestState QueryState(HANDLE handle);

// A test with one machine in a temporary folder, booted in SetUp and shut down in TearDown unless the
// test did so itself.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Boot(platform::MachineOptions options = TestMachineOptions());
    void Reboot();
    // A board that lives as long as the test, so that it outlives the machine it is plugged into.
    TestBoard& Board(platform::PciLocation location, uint16_t deviceId = kDeviceId);

    TemporaryFolder folder_;
    std::vector<std::unique_ptr<TestBoard>> boards_;
    std::unique_ptr<platform::Machine> machine_;
};

} // namespace machinetest
