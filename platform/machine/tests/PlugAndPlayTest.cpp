// Plug and play through the test driver: the keys a plugged device gets, two devices started,
// stopped, started again, pulled out and removed with the driver seeing their resources each time,
// vetoes, a failed start, and the plugs the machine refuses.
#include "MachineFixture.h"

#include "km/eventlog.h"
#include "km/registry.h"
#include "km/systeminfo.h"
#include "platform/bus/Bus.h"
#include "standin/devices.h"
#include "standin/eventlog.h"
#include "standin/registry.h"

using namespace machinetest;
using platform::DeviceState;

namespace {

const std::u16string kSystemClass = u"{4d36e97d-e325-11ce-bfc1-08002be10318}";
const std::u16string kControl = u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\";
const std::u16string kEnum = u"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\";

// The handle of the device whose interface path names the given instance.
HANDLE OpenInstance(const platform::PluggedDevice& device)
{
    std::u16string wanted = device.instancePath;
    for (auto& c : wanted)
        if (c == u'\\')
            c = u'#';
    for (const auto& path : TestInterfacePaths())
        if (path.find(wanted) != std::u16string::npos)
            return OpenPath(path);
    return INVALID_HANDLE_VALUE;
}

// What the driver saw in its last start matches where the machine put the function.
void ExpectResourcesSeen(const MachineTestState& state, const platform::PluggedDevice& device)
{
    const auto& placed = device.assignment;
    ASSERT_EQ(state.rawMemoryCount, 2u);
    ASSERT_EQ(state.translatedMemoryCount, 2u);
    const uint64_t sizes[2] = {TestBoard::kRegisterSize, TestBoard::kMemorySize};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(state.rawMemory[i].start, placed.memoryBases[i]);
        EXPECT_EQ(state.translatedMemory[i].start, placed.memoryBases[i]);
        EXPECT_EQ(state.rawMemory[i].length, sizes[i]);
        EXPECT_EQ(state.translatedMemory[i].length, sizes[i]);
    }
    EXPECT_EQ(state.hasInterrupt, 1u);
    EXPECT_EQ(state.rawInterruptLevel, placed.interruptRequest);
    EXPECT_EQ(state.rawInterruptVector, placed.interruptRequest);
    EXPECT_EQ(state.translatedInterruptVector, placed.interruptVector);
    EXPECT_EQ(state.translatedInterruptLevel, placed.interruptLevel);
    EXPECT_EQ(state.interruptAffinity, KeQueryActiveProcessors());
    EXPECT_EQ(state.interruptConnectStatus, 0u); // the vector had a line on the bus
    EXPECT_EQ(state.identity, kIdentity);        // read through the mapping of range 0
}

size_t EventsWith(ULONG messageId)
{
    size_t count = 0;
    for (const auto& entry : standin::EventLogEntries())
        count += entry.messageId == messageId;
    return count;
}

} // namespace

TEST_F(MachineTest, PluggingWritesTheDeviceAndDriverKeys)
{
    Boot();
    TestBoard& first = Board({2, 4, 0});
    TestBoard& second = Board({2, 5, 0});
    ASSERT_EQ(machine_->Plug(first), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(second), STATUS_SUCCESS);
    const auto device = *machine_->Device(first);
    EXPECT_EQ(device.service, kService);
    EXPECT_EQ(device.state, DeviceState::Started);
    EXPECT_EQ(device.driverKeyName, kSystemClass + u"\\0000");
    EXPECT_EQ(machine_->Device(second)->driverKeyName, kSystemClass + u"\\0001");
    EXPECT_EQ(first.Plugs(), 1);
    EXPECT_EQ(first.Assignment().memoryBases, device.assignment.memoryBases);

    const std::u16string instance = kEnum + device.instancePath;
    EXPECT_EQ(device.instancePath.rfind(u"PCI\\VEN_7A1E&DEV_7E57&SUBSYS_00017A1E&REV_02\\3&", 0), 0u);
    EXPECT_EQ(MultiString(instance, u"HardwareID"), device.hardwareIds);
    EXPECT_EQ(MultiString(instance, u"CompatibleIDs"), device.compatibleIds);
    EXPECT_EQ(standin::ReadRegistryString(instance, u"Service"), kService);
    EXPECT_EQ(standin::ReadRegistryString(instance, u"Driver"), device.driverKeyName);
    EXPECT_EQ(standin::ReadRegistryString(instance, u"ClassGUID"), kSystemClass);
    EXPECT_EQ(standin::ReadRegistryString(instance, u"Class"), u"System");
    EXPECT_EQ(standin::ReadRegistryString(instance, u"DeviceDesc"), u"Machine test device");
    EXPECT_EQ(standin::ReadRegistryString(instance, u"Mfg"), u"Test maker");
    EXPECT_EQ(standin::ReadRegistryString(instance, u"LocationInformation"),
              u"PCI bus 2, device 4, function 0");
    EXPECT_EQ(standin::ReadRegistryDword(instance, u"ConfigFlags"), 0u);

    EXPECT_EQ(standin::ReadRegistryString(kControl + kSystemClass, u"Class"), u"System");
    const std::u16string driverKey = kControl + device.driverKeyName;
    EXPECT_EQ(standin::ReadRegistryString(driverKey, u"DriverDesc"), u"Machine test device");
    EXPECT_EQ(standin::ReadRegistryString(driverKey, u"MatchingDeviceId"), u"pci\\ven_7a1e&dev_7e57");
    EXPECT_EQ(standin::ReadRegistryString(driverKey, u"DriverVersion"), u"1.0.0.7");
    EXPECT_EQ(standin::ReadRegistryString(driverKey, u"ProviderName"), u"Test provider");
    EXPECT_EQ(standin::ReadRegistryString(driverKey, u"InfSection"), u"MachineTest.NT");

    // The driver reads the location through the physical device object's properties.
    HANDLE handle = OpenInstance(device);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const MachineTestState state = QueryState(handle);
    CloseHandle(handle);
    EXPECT_EQ(state.busNumber, 2u);
    EXPECT_EQ(state.address, 4u << 16);

    // The next run finds the device by its instance key and keeps its driver key.
    Reboot();
    TestBoard& third = Board({2, 6, 0});
    ASSERT_EQ(machine_->Plug(third), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(first), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Device(third)->driverKeyName, kSystemClass + u"\\0002");
    EXPECT_EQ(machine_->Device(first)->driverKeyName, kSystemClass + u"\\0000");
}

TEST_F(MachineTest, TwoDevicesStartStopStartAgainArePulledOutAndRemoved)
{
    Boot();
    TestBoard& a = Board({1, 1, 0});
    TestBoard& b = Board({1, 2, 0});
    ASSERT_EQ(machine_->Plug(a), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(b), STATUS_SUCCESS);
    ASSERT_EQ(TestInterfacePaths().size(), 2u);
    const auto deviceA = *machine_->Device(a);
    const auto deviceB = *machine_->Device(b);
    EXPECT_NE(deviceA.assignment.memoryBases, deviceB.assignment.memoryBases);
    EXPECT_NE(deviceA.assignment.interruptVector, deviceB.assignment.interruptVector);

    HANDLE handleA = OpenInstance(deviceA);
    HANDLE handleB = OpenInstance(deviceB);
    ASSERT_NE(handleA, INVALID_HANDLE_VALUE);
    ASSERT_NE(handleB, INVALID_HANDLE_VALUE);
    ExpectResourcesSeen(QueryState(handleA), deviceA);
    ExpectResourcesSeen(QueryState(handleB), deviceB);

    // Stopped: the ranges no longer decode, the driver let its resources go.
    ASSERT_EQ(machine_->Stop(a), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Device(a)->state, DeviceState::Stopped);
    MachineTestState state = QueryState(handleA);
    EXPECT_EQ(state.stopCount, 1u);
    void* mapping = nullptr;
    EXPECT_EQ(platform::Bus::Instance().Memory().Map(deviceA.assignment.memoryBases[0], 4, mapping),
              platform::BusStatus::NotRegistered);
    EXPECT_EQ(machine_->Stop(a), STATUS_INVALID_DEVICE_STATE);

    // Started again with the same resources, seen afresh.
    ASSERT_EQ(machine_->Start(a), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Start(a), STATUS_INVALID_DEVICE_STATE);
    state = QueryState(handleA);
    EXPECT_EQ(state.startCount, 2u);
    ExpectResourcesSeen(state, *machine_->Device(a));
    // The new mapping reaches the board: its scratch register, written from the board's side.
    a.SetScratch(0x600DF00D);
    uint32_t offset = 4, value = 0;
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(handleA, kIoctlReadRegister, &offset, sizeof offset, &value, sizeof value,
                                &returned, nullptr));
    EXPECT_EQ(value, 0x600DF00Du);
    offset = TestBoard::kRegisterSize; // past the range: refused by the driver
    EXPECT_FALSE(DeviceIoControl(handleA, kIoctlReadRegister, &offset, sizeof offset, &value, sizeof value,
                                 &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(handleA);

    // Pulled out: the driver finds the ranges reading all ones, and the device is gone.
    ASSERT_EQ(machine_->SurpriseRemove(a), STATUS_SUCCESS);
    EXPECT_EQ(a.Unplug(), platform::PciUnplug::Surprise);
    EXPECT_FALSE(machine_->Device(a));
    bool found = false;
    for (const auto& entry : standin::EventLogEntries())
        if (entry.messageId == kMessageSurprise)
            found = entry.inserts == std::vector<std::u16string>{u"1", u"4294967295"};
    EXPECT_TRUE(found);
    EXPECT_EQ(TestInterfacePaths().size(), 1u);

    // The other device is untouched, then leaves in good order.
    ExpectResourcesSeen(QueryState(handleB), deviceB);
    CloseHandle(handleB);
    ASSERT_EQ(machine_->Remove(b), STATUS_SUCCESS);
    EXPECT_EQ(b.Unplug(), platform::PciUnplug::Orderly);
    EXPECT_TRUE(machine_->Devices().empty());
    EXPECT_TRUE(TestInterfacePaths().empty());
    EXPECT_EQ(machine_->Remove(b), STATUS_NOT_FOUND);
    // The device keys stay for the next time the boards come.
    EXPECT_TRUE(standin::RegistryKeyExists(kEnum + deviceA.instancePath));
}

TEST_F(MachineTest, ASurpriseRemovalsRemovalRequestWaitsForTheLastOpenFile)
{
    Boot();
    TestBoard& board = Board({1, 3, 0});
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    PDRIVER_OBJECT driver = machine_->DriverObject(kService);
    ASSERT_NE(driver, nullptr);
    const auto device = *machine_->Device(board);
    HANDLE first = OpenInstance(device);
    HANDLE second = OpenInstance(device);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);

    ASSERT_EQ(machine_->SurpriseRemove(board), STATUS_SUCCESS);
    EXPECT_EQ(board.Unplug(), platform::PciUnplug::Surprise);
    EXPECT_FALSE(machine_->Device(board)); // no longer listed
    // Files are open: the driver keeps its device, and still answers them.
    EXPECT_EQ(standin::DriverDeviceObjects(driver).size(), 1u);
    EXPECT_EQ(QueryState(first).deviceNumber, 1u);
    CloseHandle(first);
    EXPECT_EQ(standin::DriverDeviceObjects(driver).size(), 1u);
    // The last close sends the removal request before it returns.
    CloseHandle(second);
    EXPECT_TRUE(standin::DriverDeviceObjects(driver).empty());

    // Without a file open it follows at once, and the function may come back.
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    ASSERT_EQ(standin::DriverDeviceObjects(driver).size(), 1u);
    ASSERT_EQ(machine_->SurpriseRemove(board), STATUS_SUCCESS);
    EXPECT_TRUE(standin::DriverDeviceObjects(driver).empty());
}

TEST_F(MachineTest, AVetoedStopOrRemovalChangesNothing)
{
    Boot();
    SetDriverSwitch(kSwitchVetoStop, 1);
    SetDriverSwitch(kSwitchVetoRemove, 1);
    TestBoard& board = Board({0, 7, 0});
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Stop(board), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(machine_->Remove(board), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(machine_->Device(board)->state, DeviceState::Started);
    HANDLE handle = OpenPath(TestInterfacePaths().at(0));
    const MachineTestState state = QueryState(handle);
    CloseHandle(handle);
    EXPECT_EQ(state.stopCount, 0u);
    EXPECT_EQ(state.startCount, 1u);
    EXPECT_FALSE(board.Unplug());
}

TEST_F(MachineTest, AFailedStartLeavesTheDeviceWithoutADriverStack)
{
    Boot();
    SetDriverSwitch(kSwitchFailStart, 0xC00000A3);
    TestBoard& board = Board({0, 8, 0});
    EXPECT_EQ(machine_->Plug(board), STATUS_DEVICE_NOT_READY);
    const auto device = *machine_->Device(board);
    EXPECT_EQ(device.state, DeviceState::Inactive);
    EXPECT_EQ(device.lastStatus, STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(device.physicalDeviceObject, nullptr); // the driver removed its device again
    EXPECT_TRUE(TestInterfacePaths().empty());
    void* mapping = nullptr;
    EXPECT_EQ(platform::Bus::Instance().Memory().Map(device.assignment.memoryBases[0], 4, mapping),
              platform::BusStatus::NotRegistered);
    EXPECT_EQ(machine_->Start(board), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(machine_->Remove(board), STATUS_SUCCESS);
    EXPECT_EQ(board.Unplug(), platform::PciUnplug::Orderly);
}

TEST_F(MachineTest, PlugsTheMachineRefuses)
{
    Boot();
    TestBoard& board = Board({3, 1, 0});
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Plug(board), STATUS_OBJECT_NAME_COLLISION);
    TestBoard& sameSlot = Board({3, 1, 0});
    EXPECT_EQ(machine_->Plug(sameSlot), STATUS_OBJECT_NAME_COLLISION);

    TestBoard& odd = Board({3, 2, 0});
    odd.SetRanges({{0x420000, nullptr, "odd"}});
    EXPECT_EQ(machine_->Plug(odd), STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(machine_->Device(odd));

    // A device no driver serves stays plugged without a stack, and gets no keys.
    TestBoard& stranger = Board({3, 3, 0}, 0x0BAD);
    EXPECT_EQ(machine_->Plug(stranger), STATUS_NOT_FOUND);
    const auto device = *machine_->Device(stranger);
    EXPECT_EQ(device.state, DeviceState::Inactive);
    EXPECT_TRUE(device.service.empty());
    EXPECT_FALSE(standin::RegistryKeyExists(kEnum + device.instancePath));
    EXPECT_EQ(machine_->Stop(sameSlot), STATUS_NOT_FOUND);
    EXPECT_EQ(machine_->Remove(stranger), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Devices().size(), 1u);
}

TEST_F(MachineTest, ShutdownReachesOnlyTheRegisteredDevice)
{
    Boot();
    TestBoard& a = Board({4, 1, 0});
    TestBoard& b = Board({4, 2, 0});
    ASSERT_EQ(machine_->Plug(a), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(b), STATUS_SUCCESS);
    const platform::UnloadReport report = machine_->Shutdown();
    EXPECT_EQ(report.shutdownRequests, 1u);
    EXPECT_EQ(report.leaks, 0u);
    EXPECT_TRUE(report.imagesUnmapped);
    EXPECT_EQ(EventsWith(kMessageShutdown), 1u);
    for (const auto& entry : standin::EventLogEntries()) {
        if (entry.messageId == kMessageShutdown) {
            EXPECT_EQ(entry.inserts, std::vector<std::u16string>{u"1"});
        }
    }
    EXPECT_EQ(a.Unplug(), platform::PciUnplug::Orderly);
    EXPECT_EQ(b.Unplug(), platform::PciUnplug::Orderly);
    EXPECT_EQ(machine_->Shutdown().shutdownRequests, 0u);
}

TEST_F(MachineTest, AShutdownRegistrationOfThePhysicalDeviceGoesWithIt)
{
    Boot();
    SetDriverSwitch(kSwitchShutdownOnPhysical, 1);
    TestBoard& a = Board({4, 3, 0});
    TestBoard& b = Board({4, 4, 0});
    ASSERT_EQ(machine_->Plug(a), STATUS_SUCCESS); // device 1 registers the physical device object
    ASSERT_EQ(machine_->Remove(a), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(b), STATUS_SUCCESS); // device 2 registers nothing
    EXPECT_EQ(machine_->Shutdown().shutdownRequests, 0u);
    EXPECT_EQ(EventsWith(kMessageShutdown), 0u);
}

TEST_F(MachineTest, ShutdownThroughThePhysicalDeviceReachesTheDriver)
{
    Boot();
    SetDriverSwitch(kSwitchShutdownOnPhysical, 1);
    TestBoard& a = Board({4, 5, 0});
    ASSERT_EQ(machine_->Plug(a), STATUS_SUCCESS);
    EXPECT_EQ(machine_->Shutdown().shutdownRequests, 1u);
    EXPECT_EQ(EventsWith(kMessageShutdown), 1u);
}
