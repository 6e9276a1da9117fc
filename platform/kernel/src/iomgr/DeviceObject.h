// The object behind every device object, whether a driver made it with IoCreateDevice or a bus
// reported it as a physical device object: the DEVICE_OBJECT drivers see, its extension and name,
// known to the object manager under the device type. The creator's reference is the stand-in's own;
// IoDeleteDevice gives it back, and the memory goes when open files and referencers let go too.
// Device objects not deleted are listed by the "devices" leak check.
#pragma once
#include "km/iodevice.h"
#include "km/object.h"
#include "standin/object.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

class DeviceObjectRecord : public KernelObject {
public:
    PVOID Body() const override { return const_cast<DEVICE_OBJECT*>(&device_); }
    std::string Describe() const override;

    DEVICE_OBJECT* Device() { return &device_; }
    const std::u16string& Name() const { return name_; }
    // True the first time only: the creator's reference may be given back once.
    bool MarkDeleted() { return !deleted_.exchange(true); }
    bool IsDeleted() const { return deleted_.load(); }

    static POBJECT_TYPE ObjectType();

protected:
    DeviceObjectRecord(PDRIVER_OBJECT driver, std::u16string name, ULONG extensionSize, DEVICE_TYPE type,
                       ULONG characteristics, ULONG flags);
    ~DeviceObjectRecord() override;

    DEVOBJ_EXTENSION& Extension() { return extension_; }

private:
    DEVICE_OBJECT device_{};
    DEVOBJ_EXTENSION extension_{};
    std::u16string name_;
    void* deviceExtension_ = nullptr;
    std::atomic<bool> deleted_{false};
};

// A device object made by IoCreateDevice.
class FunctionalDeviceObject final : public DeviceObjectRecord {
public:
    FunctionalDeviceObject(PDRIVER_OBJECT driver, std::u16string name, ULONG extensionSize, DEVICE_TYPE type,
                           ULONG characteristics, ULONG flags)
        : DeviceObjectRecord(driver, std::move(name), extensionSize, type, characteristics, flags)
    {
    }
};

// The live device object at `deviceObject`, referenced (release with DereferenceObject), or null
// when no device object of the stand-in's lives there.
DeviceObjectRecord* ReferenceDeviceRecord(PVOID deviceObject);
// Kept for the callers that need only the object.
KernelObject* ReferenceDeviceObject(PVOID deviceObject);

// What a layer above the I/O manager keeps for a device (kernel streaming its KSDEVICE) goes with
// the device: the layer registers a hook, and IoDeleteDevice runs every hook, in registration
// order, once the device has left the namespace, the shutdown list and its interfaces. A hook
// registered again is kept once.
using DeviceDeletionHook = void (*)(PDEVICE_OBJECT device);
void RegisterDeviceDeletionHook(DeviceDeletionHook hook);

// The lock of the device database: driver device lists, stack links and device names change and
// are walked only under it.
std::mutex& DeviceDatabaseLock();

// Makes a device object known: inserts it, takes the creator's reference as the stand-in's own and
// lists it for the "devices" leak check.
void RegisterDeviceObject(DeviceObjectRecord* record);
// Everything IoDeleteDevice does after its checks: unlinks, unnames, unregisters, and gives the
// creator's reference back. The caller holds a reference of its own on the record.
void DeleteDeviceObject(DeviceObjectRecord* record);

// Points every device object record of `driver` that still exists (deleted ones that open files
// keep alive included) at `replacement`, so that no request reaches a driver that has gone.
void ReassignDevicesOfDriver(PDRIVER_OBJECT driver, PDRIVER_OBJECT replacement);

// The top of the stack `device` belongs to; the device database lock must be held.
PDEVICE_OBJECT TopOfStackLocked(PDEVICE_OBJECT device);

} // namespace standin
