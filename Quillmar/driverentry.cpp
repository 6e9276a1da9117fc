// DriverEntryMain, the exported DriverEntry, AddDevice and DriverUnload.
#include "driverentry.h"

#include "device.h"
#include "driver.h"
#include "kernel/staticlifetime.h"
#include "km/kernel.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <atomic>

namespace {

constinit std::atomic<DeviceFactory> g_deviceFactory{nullptr};

Device* MakeDevice(Driver* driver)
{
    if (DeviceFactory factory = g_deviceFactory.load(std::memory_order_acquire))
        return factory(driver);
    return new Device(driver);
}

// Everything the load built, newest first.
void TearDown(Driver* driver)
{
    if (driver != nullptr) {
        Driver::SetInstance(nullptr);
        delete driver;
    }
    TraceLogger::DestroyInstance();
    RunStaticDestruction();
    ExSetTimerResolution(0, FALSE);
}

} // namespace

void SetDeviceFactory(DeviceFactory factory)
{
    g_deviceFactory.store(factory, std::memory_order_release);
}

NTSTATUS DriverEntryMain(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    if (driverObject == nullptr)
        return STATUS_INVALID_PARAMETER;
    NTSTATUS status = RunStaticConstruction();
    if (!NT_SUCCESS(status))
        return status;
    status = TraceLogger::CreateInstance(driverObject);
    if (!NT_SUCCESS(status)) {
        RunStaticDestruction();
        return status;
    }
    Driver* driver = nullptr;
    try {
        driver = new Driver(driverObject, registryPath);
    } catch (const standin::RaisedStatus& raised) {
        TearDown(nullptr);
        return raised.status;
    }
    Driver::SetInstance(driver);
    try {
        status = driver->DriverEntry();
    } catch (const standin::RaisedStatus& raised) {
        status = raised.status;
    }
    if (!NT_SUCCESS(status)) {
        TearDown(driver);
        return status;
    }
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject)
{
    Driver* driver = Driver::Instance();
    TRACE_SCOPE(driver, "AddDevice", kTraceLowEnter);
    if (driver == nullptr)
        return STATUS_UNSUCCESSFUL;
    Device* device = nullptr;
    NTSTATUS status = STATUS_SUCCESS;
    try {
        device = MakeDevice(driver);
        status = device->OnAdd(driverObject, physicalDeviceObject);
    } catch (const standin::RaisedStatus& raised) {
        status = raised.status;
    }
    if (!NT_SUCCESS(status)) {
        // A board that could not be added gives its id back and leaves nothing behind.
        if (device != nullptr) {
            if (device->GetInstanceId() > 0)
                driver->RemoveDeviceInstanceId(device);
            delete device;
        }
        return status;
    }
    // The shutdown request must reach this driver: register the board's own device object, which
    // heads its stack, rather than the bus driver's physical device object below it.
    PDEVICE_OBJECT notified = device->GetFunctionalDeviceObject();
    IoRegisterShutdownNotification(notified != nullptr ? notified : physicalDeviceObject);
    return STATUS_SUCCESS;
}

VOID NTAPI DriverUnload(PDRIVER_OBJECT driverObject)
{
    (void)driverObject;
    Driver* driver = Driver::Instance();
    Driver::SetInstance(nullptr);
    delete driver;
    TraceLogger::DestroyInstance();
    RunStaticDestruction();
    ExSetTimerResolution(0, FALSE);
}

extern "C" __attribute__((visibility("default"))) NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject,
                                                                            PUNICODE_STRING registryPath)
{
    return DriverEntryMain(driverObject, registryPath);
}
