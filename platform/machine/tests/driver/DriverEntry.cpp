// The test driver's entry, unload and add-device routines, its registry switches and its event-log
// writer.
#include "TestDriver.h"

#include <cstring>

#include <cstdio>

namespace machinetest {

Globals g_driver;

namespace {

UNICODE_STRING Counted(const char16_t* text)
{
    UNICODE_STRING string;
    RtlInitUnicodeString(&string, text);
    return string;
}

ULONG QueryDword(HANDLE key, const char16_t* name, ULONG fallback)
{
    UNICODE_STRING valueName = Counted(name);
    UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    ULONG length = 0;
    const NTSTATUS status =
        ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, buffer, sizeof buffer, &length);
    auto* information = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(buffer);
    if (!NT_SUCCESS(status) || information->Type != REG_DWORD || information->DataLength != sizeof(ULONG))
        return fallback;
    ULONG value;
    memcpy(&value, information->Data, sizeof value);
    return value;
}

// Reads the switches and counts this load in "Loads" under the service's "Parameters" key.
void ReadParameters(PUNICODE_STRING registryPath)
{
    g_driver.switches = Switches{};
    HANDLE service = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                               nullptr);
    if (!NT_SUCCESS(ZwOpenKey(&service, KEY_READ, &attributes)))
        return;
    UNICODE_STRING parametersName = Counted(u"Parameters");
    InitializeObjectAttributes(&attributes, &parametersName, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               service, nullptr);
    HANDLE parameters = nullptr;
    const NTSTATUS opened =
        ZwCreateKey(&parameters, KEY_ALL_ACCESS, &attributes, 0, nullptr, REG_OPTION_NON_VOLATILE, nullptr);
    ZwClose(service);
    if (!NT_SUCCESS(opened))
        return;
    Switches& s = g_driver.switches;
    s.failDriverEntry = static_cast<NTSTATUS>(QueryDword(parameters, kSwitchFailDriverEntry, 0));
    s.failStart = static_cast<NTSTATUS>(QueryDword(parameters, kSwitchFailStart, 0));
    s.vetoStop = QueryDword(parameters, kSwitchVetoStop, 0);
    s.vetoRemove = QueryDword(parameters, kSwitchVetoRemove, 0);
    s.leavePool = QueryDword(parameters, kSwitchLeavePool, 0);
    s.leaveRequestPending = QueryDword(parameters, kSwitchLeaveRequestPending, 0);
    ULONG loads = QueryDword(parameters, kValueLoads, 0) + 1;
    UNICODE_STRING loadsName = Counted(kValueLoads);
    ZwSetValueKey(parameters, &loadsName, 0, REG_DWORD, &loads, sizeof loads);
    ZwClose(parameters);
}

ULONG DeviceProperty(PDEVICE_OBJECT physical, DEVICE_REGISTRY_PROPERTY property)
{
    ULONG value = 0xFFFFFFFF;
    ULONG length = 0;
    if (!NT_SUCCESS(IoGetDeviceProperty(physical, property, sizeof value, &value, &length)))
        return 0xFFFFFFFF;
    return value;
}

} // namespace

void LogEvent(PVOID ioObject, ULONG messageId, ULONG first, LONGLONG second)
{
    char16_t inserts[48] = {};
    char text[24];
    int count = std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(first));
    size_t at = 0;
    for (int i = 0; i < count; ++i)
        inserts[at++] = static_cast<char16_t>(text[i]);
    inserts[at++] = 0;
    USHORT strings = 1;
    if (second >= 0) {
        count = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(second));
        for (int i = 0; i < count; ++i)
            inserts[at++] = static_cast<char16_t>(text[i]);
        inserts[at++] = 0;
        strings = 2;
    }
    const size_t bytes = sizeof(IO_ERROR_LOG_PACKET) + at * sizeof(char16_t);
    auto* packet =
        static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(ioObject, static_cast<UCHAR>(bytes)));
    if (!packet)
        return;
    packet->ErrorCode = static_cast<NTSTATUS>(messageId);
    packet->UniqueErrorValue = messageId & 0xFFFF;
    packet->NumberOfStrings = strings;
    packet->StringOffset = sizeof(IO_ERROR_LOG_PACKET);
    memcpy(reinterpret_cast<UCHAR*>(packet) + sizeof(IO_ERROR_LOG_PACKET), inserts, at * sizeof(char16_t));
    IoWriteErrorLogEntry(packet);
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical)
{
    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status =
        IoCreateDevice(driver, sizeof(DeviceExtension), nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    auto* extension = static_cast<DeviceExtension*>(device->DeviceExtension);
    extension->self = device;
    extension->physical = physical;
    KeInitializeSpinLock(&extension->holdLock);
    extension->state.size = sizeof(MachineTestState);
    extension->state.loadGeneration = g_driver.loadGeneration;
    extension->state.deviceNumber = ++g_driver.devicesAdded;
    extension->state.busNumber = DeviceProperty(physical, DevicePropertyBusNumber);
    extension->state.address = DeviceProperty(physical, DevicePropertyAddress);

    status = IoRegisterDeviceInterface(physical, &kInterfaceClass, nullptr, &extension->interfaceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    extension->lower = IoAttachDeviceToDeviceStack(device, physical);
    if (!extension->lower) {
        RtlFreeUnicodeString(&extension->interfaceName);
        IoDeleteDevice(device);
        return STATUS_NO_SUCH_DEVICE;
    }
    // Only the first device asks for the shutdown request, so that tests see it reach no other.
    if (extension->state.deviceNumber == 1 && NT_SUCCESS(IoRegisterShutdownNotification(device)))
        extension->state.registeredForShutdown = 1;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

VOID NTAPI Unload(PDRIVER_OBJECT driver)
{
    WaitForWorkers();
    if (g_driver.switches.leavePool)
        ExAllocatePoolWithTag(NonPagedPool, 64, kLeftBlockTag);
    g_driver.driver = nullptr;
    (void)driver;
}

} // namespace machinetest

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    using namespace machinetest;
    ++g_driver.loadGeneration;
    g_driver.devicesAdded = 0;
    ReadParameters(registryPath);
    if (g_driver.switches.failDriverEntry != 0)
        return g_driver.switches.failDriverEntry;
    g_driver.driver = driver;
    KeInitializeSpinLock(&g_driver.workers.lock);
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->MajorFunction[IRP_MJ_SHUTDOWN] = DispatchShutdown;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    LogEvent(driver, kMessageLoaded, g_driver.loadGeneration);
    return STATUS_SUCCESS;
}
