// The kernel-streaming minimum: KsInitializeDriver's dispatch table and add-device routine, a
// driver's own entry installed afterwards, the device KsCreateDevice builds on a physical device
// object, KsGetDeviceForDeviceObject, and plug and play requests reaching the device's dispatch
// table in Windows' order with the resources of the start request.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestDriver.h"
#include "standin/devicefile.h"
#include "standin/devices.h"

using testing::ElementsAre;

namespace {

std::vector<std::string> g_calls;
NTSTATUS g_addResult = STATUS_SUCCESS;
PCM_RESOURCE_LIST g_translated = nullptr, g_raw = nullptr;
int g_context;

NTSTATUS NTAPI Add(PKSDEVICE device)
{
    g_calls.push_back("add");
    device->Context = &g_context;
    return g_addResult;
}
NTSTATUS NTAPI Start(PKSDEVICE, PIRP, PCM_RESOURCE_LIST translated, PCM_RESOURCE_LIST raw)
{
    g_calls.push_back("start");
    g_translated = translated;
    g_raw = raw;
    return STATUS_SUCCESS;
}
VOID NTAPI Stop(PKSDEVICE, PIRP)
{
    g_calls.push_back("stop");
}
VOID NTAPI Remove(PKSDEVICE, PIRP)
{
    g_calls.push_back("remove");
}
VOID NTAPI SurpriseRemoval(PKSDEVICE, PIRP)
{
    g_calls.push_back("surprise");
}
NTSTATUS NTAPI QueryCapabilities(PKSDEVICE, PIRP, PDEVICE_CAPABILITIES capabilities)
{
    g_calls.push_back("capabilities");
    capabilities->Removable = 0;
    capabilities->D1Latency = 0;
    return STATUS_SUCCESS;
}

const KSDEVICE_DISPATCH kDispatch = {Add,     Start,   nullptr, nullptr,           nullptr,         Stop,
                                     nullptr, nullptr, Remove,  QueryCapabilities, SurpriseRemoval, nullptr,
                                     nullptr, nullptr};
const KSDEVICE_DESCRIPTOR kDescriptor = {&kDispatch, 0, nullptr, KSDEVICE_DESCRIPTOR_VERSION, 0};

// The bus below: logs what reaches it and answers capability queries as a bus does.
NTSTATUS NTAPI BusPnp(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    g_calls.push_back("bus " + std::to_string(location->MinorFunction));
    if (location->MinorFunction == IRP_MN_QUERY_CAPABILITIES) {
        location->Parameters.DeviceCapabilities.Capabilities->Removable = 1;
        location->Parameters.DeviceCapabilities.Capabilities->D1Latency = 9;
    }
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

NTSTATUS Pnp(PDEVICE_OBJECT pdo, UCHAR minor, PVOID argument1 = nullptr, PVOID argument2 = nullptr)
{
    IO_STACK_LOCATION request{};
    request.MajorFunction = IRP_MJ_PNP;
    request.MinorFunction = minor;
    request.Parameters.Others.Argument1 = argument1;
    request.Parameters.Others.Argument2 = argument2;
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(pdo);
    const IO_STATUS_BLOCK result = standin::CallDriverAndWait(top, request);
    ObDereferenceObject(top);
    return result.Status;
}

PDRIVER_DISPATCH g_savedDeviceControl;
NTSTATUS NTAPI Hook(PDEVICE_OBJECT device, PIRP irp)
{
    g_calls.push_back(std::string("hook ks=") + (KsGetDeviceForDeviceObject(device) ? "1" : "0"));
    return g_savedDeviceControl(device, irp);
}

} // namespace

class KernelStreaming : public testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_addResult = STATUS_SUCCESS;
        bus_ = standin::CreateDriverObject(u"KsBus");
        bus_->MajorFunction[IRP_MJ_PNP] = BusPnp;
        standin::PhysicalDeviceProperties properties;
        pdo_ = standin::CreatePhysicalDeviceObject(properties, bus_);
        driver_ = standin::CreateDriverObject(u"KsDriver");
        // The framework's routines serve the devices; the descriptor comes with each KsCreateDevice.
        ASSERT_EQ(KsInitializeDriver(driver_, nullptr, nullptr), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        standin::DeletePhysicalDeviceObject(pdo_);
        standin::DeleteDriverObject(driver_);
        standin::DeleteDriverObject(bus_);
    }
    PDRIVER_OBJECT bus_ = nullptr;
    PDRIVER_OBJECT driver_ = nullptr;
    PDEVICE_OBJECT pdo_ = nullptr;
};

TEST_F(KernelStreaming, InitializeDriverInstallsTheFrameworksRoutinesAndAReplacedEntryIsHonoured)
{
    ASSERT_EQ(KsInitializeDriver(driver_, nullptr, &kDescriptor), STATUS_SUCCESS);
    EXPECT_EQ(driver_->DriverExtension->AddDevice, KsAddDevice);
    for (UCHAR major : {IRP_MJ_CREATE, IRP_MJ_CLOSE, IRP_MJ_DEVICE_CONTROL, IRP_MJ_PNP, IRP_MJ_POWER,
                        IRP_MJ_SYSTEM_CONTROL})
        EXPECT_NE(driver_->MajorFunction[major], standin::InvalidDeviceRequest) << int(major);
    EXPECT_EQ(driver_->MajorFunction[IRP_MJ_SHUTDOWN], standin::InvalidDeviceRequest);

    ASSERT_EQ(driver_->DriverExtension->AddDevice(driver_, pdo_), STATUS_SUCCESS);
    PDEVICE_OBJECT fdo = pdo_->AttachedDevice;
    // The hook goes in after the framework's, as a driver that saves and replaces the entry does.
    g_savedDeviceControl = driver_->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    driver_->MajorFunction[IRP_MJ_DEVICE_CONTROL] = Hook;
    const IO_STATUS_BLOCK result = iotest::SendDeviceControl(fdo, 0x226006, nullptr, 0, nullptr, 0);
    EXPECT_EQ(result.Status,
              STATUS_INVALID_DEVICE_REQUEST); // the framework's answer, reached through the hook
    EXPECT_THAT(g_calls, ElementsAre("add", "hook ks=1"));
    Pnp(pdo_, IRP_MN_REMOVE_DEVICE);
}

TEST_F(KernelStreaming, CreateDeviceAttachesAKsDeviceThatIsFoundByItsDeviceObject)
{
    PKSDEVICE device = nullptr;
    ASSERT_EQ(KsCreateDevice(driver_, pdo_, &kDescriptor, 24, &device), STATUS_SUCCESS);
    ASSERT_NE(device, nullptr);
    PDEVICE_OBJECT fdo = device->FunctionalDeviceObject;
    EXPECT_EQ(KsGetDeviceForDeviceObject(fdo), device);
    EXPECT_EQ(KsGetDeviceForDeviceObject(pdo_), nullptr);
    EXPECT_EQ(device->PhysicalDeviceObject, pdo_);
    EXPECT_EQ(device->NextDeviceObject, pdo_);
    EXPECT_EQ(device->Descriptor, &kDescriptor);
    EXPECT_EQ(device->Context, &g_context);
    EXPECT_EQ(fdo->DeviceType, ULONG(FILE_DEVICE_KS));
    EXPECT_EQ(fdo->Flags & DO_DEVICE_INITIALIZING, 0u);
    EXPECT_NE(fdo->DeviceExtension, nullptr);
    EXPECT_EQ(pdo_->AttachedDevice, fdo);
    Pnp(pdo_, IRP_MN_REMOVE_DEVICE);
    EXPECT_EQ(KsGetDeviceForDeviceObject(fdo), nullptr);
    EXPECT_EQ(pdo_->AttachedDevice, nullptr);
    EXPECT_TRUE(standin::DriverDeviceObjects(driver_).empty());
}

TEST_F(KernelStreaming, AFailingAddUndoesTheDevice)
{
    g_addResult = STATUS_INSUFFICIENT_RESOURCES;
    PKSDEVICE device = reinterpret_cast<PKSDEVICE>(1);
    EXPECT_EQ(KsCreateDevice(driver_, pdo_, &kDescriptor, 0, &device), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(pdo_->AttachedDevice, nullptr);
    EXPECT_TRUE(standin::DriverDeviceObjects(driver_).empty());
}

TEST_F(KernelStreaming, PlugAndPlayRequestsReachTheDispatchTableInWindowsOrder)
{
    PKSDEVICE device = nullptr;
    ASSERT_EQ(KsCreateDevice(driver_, pdo_, &kDescriptor, 0, &device), STATUS_SUCCESS);
    CM_RESOURCE_LIST raw{}, translated{};
    EXPECT_EQ(Pnp(pdo_, IRP_MN_START_DEVICE, &raw, &translated), STATUS_SUCCESS);
    EXPECT_EQ(g_translated, &translated);
    EXPECT_EQ(g_raw, &raw);
    EXPECT_TRUE(device->Started);

    DEVICE_CAPABILITIES capabilities{};
    capabilities.Size = sizeof capabilities;
    EXPECT_EQ(Pnp(pdo_, IRP_MN_QUERY_CAPABILITIES, &capabilities), STATUS_SUCCESS);
    EXPECT_EQ(capabilities.Removable, 0u); // the bus said 1, the device cleared it on the way back
    EXPECT_EQ(capabilities.D1Latency, 0u);

    EXPECT_EQ(Pnp(pdo_, IRP_MN_STOP_DEVICE), STATUS_SUCCESS);
    EXPECT_FALSE(device->Started);
    EXPECT_EQ(Pnp(pdo_, IRP_MN_START_DEVICE, &raw, &translated), STATUS_SUCCESS);
    EXPECT_EQ(Pnp(pdo_, IRP_MN_SURPRISE_REMOVAL), STATUS_SUCCESS);
    EXPECT_EQ(Pnp(pdo_, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
    EXPECT_THAT(g_calls, ElementsAre("add", "bus 0", "start", "bus 9", "capabilities", "stop", "bus 4",
                                     "bus 0", "start", "surprise", "stop", "bus 23", "remove", "bus 2"));
}
