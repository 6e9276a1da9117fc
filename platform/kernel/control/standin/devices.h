// The machine's driver and device objects: physical devices with their properties, the PCI bus
// driver, driver objects of services, shutdown registrations, and the registered device interfaces.
// Stand-in facilities, not Windows functions: drivers never see them.
#pragma once
#include "km/deviceinterface.h"
#include "km/iodevice.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// What the plug and play manager knows of one physical device. An empty text, an empty list or an
// absent number means the device has no such property.
struct PhysicalDeviceProperties {
    std::u16string deviceDescription;
    std::vector<std::u16string> hardwareIds; // most specific first, "PCI\VEN_...&DEV_..."
    std::vector<std::u16string> compatibleIds;
    std::u16string className;     // "MEDIA"
    std::u16string classGuid;     // "{4d36e96c-e325-11ce-bfc1-08002be10318}"
    std::u16string driverKeyName; // "<class guid>\0000": the device's key under ...\Control\Class
    std::u16string friendlyName;
    std::u16string locationInformation;      // "PCI bus 2, device 4, function 0"
    std::u16string physicalDeviceObjectName; // empty: the stand-in names it "\Device\NTPNP_PCI<nnnn>"
    std::u16string enumeratorName;           // "PCI"
    // The device instance path, "PCI\VEN_1234&DEV_5678&SUBSYS_...&REV_01\4&1a2b3c4d&0&0020": the
    // device's key under "...\Enum" and the base of its device-interface names.
    std::u16string instancePath;
    std::optional<ULONG> busNumber;
    std::optional<ULONG> address; // device number << 16 | function number
    std::optional<DEVICE_INSTALL_STATE> installState;
};

// The record behind a physical device object (DEVOBJ_EXTENSION::DeviceNode). Its properties do not
// change while the object lives. Plug and play adds its own state here.
struct PhysicalDevice {
    PhysicalDeviceProperties properties;
};

// Makes a physical device object as a bus driver reports one: Type IO_TYPE_DEVICE, Flags
// DO_BUS_ENUMERATED_DEVICE, DriverObject the given bus driver (NULL: the stand-in's own PCI bus
// driver, "\Driver\PCI"), the name of the properties (or a generated one) as its object name. The
// caller holds the object until DeletePhysicalDeviceObject; one left is reported as a leak.
PDEVICE_OBJECT CreatePhysicalDeviceObject(const PhysicalDeviceProperties& properties,
                                          PDRIVER_OBJECT busDriver = nullptr);
// Gives back the object CreatePhysicalDeviceObject returned. Anything else is a breach.
void DeletePhysicalDeviceObject(PDEVICE_OBJECT deviceObject);
// The stand-in's PCI bus driver object. As a bus driver it completes the plug and play requests its
// physical device objects receive (start, stop, remove, surprise removal, the queries) with
// success, leaving the status of those it does not know as it found it, and answers power and
// shutdown requests with success.
PDRIVER_OBJECT PciBusDriverObject();

// Makes the driver object of a service as the I/O manager does before DriverEntry: Type
// IO_TYPE_DRIVER, DriverName "\Driver\<serviceName>", a DriverExtension whose ServiceKeyName is
// serviceName, and every MajorFunction entry set to InvalidDeviceRequest. Returns NULL for an empty
// name or one that is already a live driver object's (two loads of one service at once).
PDRIVER_OBJECT CreateDriverObject(std::u16string_view serviceName);
// Ends a driver object after its driver has unloaded. Each device object the driver still has is
// reported as a breach (rule "leak", "devices: <device>") and deleted as IoDeleteDevice would;
// returns how many there were. Anything but a live driver object from CreateDriverObject is a breach
// and changes nothing.
size_t DeleteDriverObject(PDRIVER_OBJECT driverObject);
// The device objects the driver has now (not yet deleted), most recently created first.
std::vector<PDEVICE_OBJECT> DriverDeviceObjects(PDRIVER_OBJECT driverObject);
// The "invalid device request" dispatch routine every fresh MajorFunction entry holds: completes the
// request with STATUS_INVALID_DEVICE_REQUEST and returns it.
NTSTATUS NTAPI InvalidDeviceRequest(PDEVICE_OBJECT deviceObject, PIRP irp);

// Sends IRP_MJ_SHUTDOWN to every registered device as IoRegisterShutdownNotification describes,
// waiting for each, and returns how many were sent. Registrations stay, so a later shutdown reaches
// them again.
size_t SendShutdownNotifications();
// Calls made first at system shutdown, before the shutdown requests, in the order registered (the
// user side ends the message loops of its threads there). A second registration under the same name
// replaces the first.
void RegisterShutdownHook(const std::string& name, std::function<void()> hook);
// The device objects registered for shutdown, in the order they will be notified.
std::vector<PDEVICE_OBJECT> ShutdownRegistrations();
// The object name of a device object ("\Device\X"), or empty for an unnamed one or a pointer that
// is not a live device object.
std::u16string DeviceObjectName(PDEVICE_OBJECT deviceObject);

// Plug and play's wait for a surprise-removed device's open files: `then` runs once no file object
// is open on `deviceObject` any more (its ReferenceCount is 0), on the thread that let the last one
// go, after that file's close request. True when it was registered; false, with nothing kept, when
// no file is open now (the caller goes on at once). One wait per device: a second registration
// replaces the first.
bool CallWhenDeviceUnused(PDEVICE_OBJECT deviceObject, std::function<void()> then);
// Withdraws a wait not yet run; true when there was one.
bool CancelWhenDeviceUnused(PDEVICE_OBJECT deviceObject);

// "{65e8773d-8f56-11d0-a3b9-00a0c9223196}": a GUID as device-interface names and keys write it.
std::u16string GuidText(const GUID& guid);

// One registered interface as the stand-in keeps it.
struct DeviceInterfaceRecord {
    std::u16string symbolicLinkName; // "\??\..."
    GUID interfaceClass;
    std::u16string referenceString; // empty when none was given
    std::u16string instancePath;
    std::u16string deviceParametersKeyPath; // "\Registry\Machine\...\Device Parameters"
    bool enabled;
};
// Every registered interface of the class (all classes when null), in registration order.
std::vector<DeviceInterfaceRecord> DeviceInterfaces(const GUID* interfaceClass = nullptr);
// Forgets every registration and removes the links of enabled interfaces, as a new boot starts with
// none; the registry keys stay, as they do on disk.
void ResetDeviceInterfaces();

} // namespace standin
