// Kernel-streaming devices: KsCreateDevice, the table of KSDEVICEs by functional device object, and
// KsGetDeviceForDeviceObject.
#include "KsDevice.h"
#include "KsObjects.h"

#include "DeviceObject.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/verifier.h"

#include <map>
#include <memory>
#include <mutex>

namespace standin {
namespace {

struct KsDevices {
    std::mutex lock;
    std::map<PDEVICE_OBJECT, std::unique_ptr<KSDEVICE>> devices;
    // Made at the first use of the table, before any device enters it; from then on every deleted
    // device object leaves it.
    static KsDevices& Instance()
    {
        static KsDevices* devices = [] {
            auto* table = new KsDevices;
            RegisterDeviceDeletionHook(&ForgetKsDevice);
            return table;
        }();
        return *devices;
    }
};

} // namespace

PKSDEVICE FindKsDevice(PDEVICE_OBJECT functionalDeviceObject)
{
    auto& table = KsDevices::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.devices.find(functionalDeviceObject);
    return it == table.devices.end() ? nullptr : it->second.get();
}

void ForgetKsDevice(PDEVICE_OBJECT functionalDeviceObject)
{
    std::unique_ptr<KSDEVICE> gone;
    auto& table = KsDevices::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.devices.find(functionalDeviceObject);
    if (it != table.devices.end()) {
        gone = std::move(it->second);
        table.devices.erase(it);
    }
    if (gone)
        KsDetachDeviceRecord(gone.get());
}

} // namespace standin

extern "C" NTSTATUS NTAPI KsCreateDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject,
                                         const KSDEVICE_DESCRIPTOR* Descriptor, ULONG ExtensionSize,
                                         PKSDEVICE* Device)
{
    using namespace standin;
    CheckIrqlAtMost("KsCreateDevice", PASSIVE_LEVEL);
    if (Device)
        *Device = nullptr;
    if (!DriverObject || !PhysicalDeviceObject)
        return STATUS_INVALID_PARAMETER;
    PDEVICE_OBJECT fdo = nullptr;
    NTSTATUS status = IoCreateDevice(DriverObject, ExtensionSize, nullptr, FILE_DEVICE_KS,
                                     FILE_DEVICE_SECURE_OPEN, FALSE, &fdo);
    if (!NT_SUCCESS(status))
        return status;
    PDEVICE_OBJECT next = IoAttachDeviceToDeviceStack(fdo, PhysicalDeviceObject);
    if (!next) {
        IoDeleteDevice(fdo);
        return STATUS_NO_SUCH_DEVICE;
    }
    auto device = std::make_unique<KSDEVICE>();
    device->Descriptor = Descriptor;
    device->FunctionalDeviceObject = fdo;
    device->PhysicalDeviceObject = PhysicalDeviceObject;
    device->NextDeviceObject = next;
    device->SystemPowerState = PowerSystemWorking;
    device->DevicePowerState = PowerDeviceD0;
    PKSDEVICE ksdevice = device.get();
    status = KsAttachDeviceRecord(ksdevice);
    if (!NT_SUCCESS(status)) {
        IoDetachDevice(next);
        IoDeleteDevice(fdo);
        return status;
    }
    {
        auto& table = KsDevices::Instance();
        std::lock_guard<std::mutex> hold(table.lock);
        table.devices[fdo] = std::move(device);
    }
    if (Descriptor && Descriptor->Dispatch && Descriptor->Dispatch->Add) {
        status = Descriptor->Dispatch->Add(ksdevice);
        if (!NT_SUCCESS(status)) {
            IoDetachDevice(next);
            IoDeleteDevice(fdo);
            return status;
        }
    }
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    if (Device)
        *Device = ksdevice;
    return STATUS_SUCCESS;
}

extern "C" PKSDEVICE NTAPI KsGetDeviceForDeviceObject(PDEVICE_OBJECT FunctionalDeviceObject)
{
    return standin::FindKsDevice(FunctionalDeviceObject);
}
