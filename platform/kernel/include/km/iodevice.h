// Driver and device objects as drivers see them, the properties the plug and play manager keeps for
// a physical device object (IoGetDeviceProperty), and the stand-in's record behind each physical
// device object. The I/O manager (device creation, requests, dispatch) extends this header: each
// section below is meant to grow in place rather than be replaced.
#pragma once
#include "km/dpc.h"
#include "km/object.h"
#include "km/sync.h"
#include "km/types.h"

#include <optional>
#include <string>
#include <vector>

using CSHORT = SHORT;

struct DRIVER_OBJECT;
using PDRIVER_OBJECT = DRIVER_OBJECT*;
struct DEVICE_OBJECT;
using PDEVICE_OBJECT = DEVICE_OBJECT*;
// Defined by the I/O manager; drivers here only pass pointers to them.
struct IRP;
using PIRP = IRP*;
struct IO_TIMER;
using PIO_TIMER = IO_TIMER*;
struct VPB;
using PVPB = VPB*;

namespace standin {
struct PhysicalDevice;
}

// ---- Object kinds -------------------------------------------------------------------------------
// The Type field that opens every I/O object tells a device object from a driver object.
#define IO_TYPE_DEVICE 0x0003
#define IO_TYPE_DRIVER 0x0004

// ---- Driver objects -----------------------------------------------------------------------------

// Major function codes: the index of a request's routine in DRIVER_OBJECT::MajorFunction.
#define IRP_MJ_CREATE 0x00
#define IRP_MJ_CREATE_NAMED_PIPE 0x01
#define IRP_MJ_CLOSE 0x02
#define IRP_MJ_READ 0x03
#define IRP_MJ_WRITE 0x04
#define IRP_MJ_QUERY_INFORMATION 0x05
#define IRP_MJ_SET_INFORMATION 0x06
#define IRP_MJ_QUERY_EA 0x07
#define IRP_MJ_SET_EA 0x08
#define IRP_MJ_FLUSH_BUFFERS 0x09
#define IRP_MJ_QUERY_VOLUME_INFORMATION 0x0a
#define IRP_MJ_SET_VOLUME_INFORMATION 0x0b
#define IRP_MJ_DIRECTORY_CONTROL 0x0c
#define IRP_MJ_FILE_SYSTEM_CONTROL 0x0d
#define IRP_MJ_DEVICE_CONTROL 0x0e
#define IRP_MJ_INTERNAL_DEVICE_CONTROL 0x0f
#define IRP_MJ_SHUTDOWN 0x10
#define IRP_MJ_LOCK_CONTROL 0x11
#define IRP_MJ_CLEANUP 0x12
#define IRP_MJ_CREATE_MAILSLOT 0x13
#define IRP_MJ_QUERY_SECURITY 0x14
#define IRP_MJ_SET_SECURITY 0x15
#define IRP_MJ_POWER 0x16
#define IRP_MJ_SYSTEM_CONTROL 0x17
#define IRP_MJ_DEVICE_CHANGE 0x18
#define IRP_MJ_QUERY_QUOTA 0x19
#define IRP_MJ_SET_QUOTA 0x1a
#define IRP_MJ_PNP 0x1b
#define IRP_MJ_MAXIMUM_FUNCTION 0x1b

using PDRIVER_DISPATCH = NTSTATUS(NTAPI*)(PDEVICE_OBJECT DeviceObject, PIRP Irp);
using PDRIVER_UNLOAD = VOID(NTAPI*)(PDRIVER_OBJECT DriverObject);
using PDRIVER_ADD_DEVICE = NTSTATUS(NTAPI*)(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject);

struct DRIVER_EXTENSION {
    PDRIVER_OBJECT DriverObject;
    PDRIVER_ADD_DEVICE AddDevice;
    ULONG Count;
    UNICODE_STRING ServiceKeyName;
};
using PDRIVER_EXTENSION = DRIVER_EXTENSION*;

// The fields a driver and the event log read so far; the I/O manager adds the rest.
struct DRIVER_OBJECT {
    CSHORT Type; // IO_TYPE_DRIVER
    CSHORT Size;
    PDRIVER_EXTENSION DriverExtension;
    UNICODE_STRING DriverName; // "\Driver\<service name>"
    PDRIVER_UNLOAD DriverUnload;
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
};

// ---- Device objects -----------------------------------------------------------------------------

using DEVICE_TYPE = ULONG;
#define FILE_DEVICE_UNKNOWN 0x00000022

// DEVICE_OBJECT::Flags: set on every device object a bus driver reports as a child.
#define DO_BUS_ENUMERATED_DEVICE 0x00001000

// Per-device-object data the I/O manager keeps beside the object. Drivers do not read it. Windows
// keeps the object's name in the object header and the plug and play data here; the stand-in keeps
// both here.
struct DEVOBJ_EXTENSION {
    CSHORT Type; // IO_TYPE_DEVICE
    USHORT Size;
    PDEVICE_OBJECT DeviceObject;
    UNICODE_STRING ObjectName;           // "\Device\..."; empty for an unnamed device object
    standin::PhysicalDevice* DeviceNode; // the record of a physical device object, else NULL
};
using PDEVOBJ_EXTENSION = DEVOBJ_EXTENSION*;

// Windows' field names; the order follows Windows but the byte layout need not, since no driver
// record embeds one. The device queue is added with the I/O manager.
struct DEVICE_OBJECT {
    CSHORT Type; // IO_TYPE_DEVICE
    USHORT Size;
    LONG ReferenceCount;
    PDRIVER_OBJECT DriverObject;   // the driver that created the object (a bus driver for a PDO)
    PDEVICE_OBJECT NextDevice;     // the next device object of the same driver
    PDEVICE_OBJECT AttachedDevice; // the next higher device object of the stack
    PIRP CurrentIrp;
    PIO_TIMER Timer;
    ULONG Flags;
    ULONG Characteristics;
    PVPB Vpb;
    PVOID DeviceExtension;
    DEVICE_TYPE DeviceType;
    CCHAR StackSize;
    ULONG AlignmentRequirement;
    KDPC Dpc;
    ULONG ActiveThreadCount;
    PVOID SecurityDescriptor;
    KEVENT DeviceLock;
    USHORT SectorSize;
    USHORT Spare1;
    PDEVOBJ_EXTENSION DeviceObjectExtension;
    PVOID Reserved;
};

// ---- Device properties --------------------------------------------------------------------------

enum DEVICE_REGISTRY_PROPERTY {
    DevicePropertyDeviceDescription = 0,
    DevicePropertyHardwareID = 1,
    DevicePropertyCompatibleIDs = 2,
    DevicePropertyBootConfiguration = 3,
    DevicePropertyBootConfigurationTranslated = 4,
    DevicePropertyClassName = 5,
    DevicePropertyClassGuid = 6,
    DevicePropertyDriverKeyName = 7,
    DevicePropertyManufacturer = 8,
    DevicePropertyFriendlyName = 9,
    DevicePropertyLocationInformation = 10,
    DevicePropertyPhysicalDeviceObjectName = 11,
    DevicePropertyBusTypeGuid = 12,
    DevicePropertyLegacyBusType = 13,
    DevicePropertyBusNumber = 14,
    DevicePropertyEnumeratorName = 15,
    DevicePropertyAddress = 16,
    DevicePropertyUINumber = 17,
    DevicePropertyInstallState = 18,
    DevicePropertyRemovalPolicy = 19,
    DevicePropertyResourceRequirements = 20,
    DevicePropertyAllocatedResources = 21,
    DevicePropertyContainerID = 22,
};

// The value of DevicePropertyInstallState.
enum DEVICE_INSTALL_STATE {
    InstallStateInstalled = 0,
    InstallStateNeedsReinstall = 1,
    InstallStateFailedInstall = 2,
    InstallStateFinishInstall = 3,
};

extern "C" {
// The object type of device objects; callers pass *IoDeviceObjectType.
extern POBJECT_TYPE* IoDeviceObjectType;

// Reads one property of a physical device object into PropertyBuffer; *ResultLength receives the
// bytes the value takes. Text comes as zero-terminated UTF-16, lists (hardware and compatible ids)
// as strings each terminated with one more zero after the last, numbers and the install state as
// one ULONG, the class GUID as its "{...}" text. Statuses:
//   STATUS_SUCCESS                  the value is in the buffer;
//   STATUS_BUFFER_TOO_SMALL         BufferLength is short (a NULL buffer with length 0 asks the
//                                   size); nothing is copied, *ResultLength is the size needed;
//   STATUS_OBJECT_NAME_NOT_FOUND    the device has no value for this property;
//   STATUS_INVALID_PARAMETER_2      a property the stand-in does not keep;
//   STATUS_INVALID_DEVICE_REQUEST   DeviceObject is not a physical device object (a breach);
//   STATUS_INVALID_PARAMETER        no ResultLength, or a NULL buffer with a length (a breach).
// PASSIVE_LEVEL only.
NTSTATUS NTAPI IoGetDeviceProperty(PDEVICE_OBJECT DeviceObject, DEVICE_REGISTRY_PROPERTY DeviceProperty,
                                   ULONG BufferLength, PVOID PropertyBuffer, PULONG ResultLength);
}

// ---- The stand-in's physical devices -------------------------------------------------------------

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
// The stand-in's PCI bus driver object.
PDRIVER_OBJECT PciBusDriverObject();

} // namespace standin
