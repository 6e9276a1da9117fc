// Driver and device objects as drivers see them: the driver object with its dispatch table, device
// creation, naming, stacking and deletion, symbolic links in the object namespace, shutdown
// notification, the properties the plug and play manager keeps for a physical device object
// (IoGetDeviceProperty), and the stand-in's record behind each physical device object. Requests
// themselves (IRPs) are in km/irp.h.
#pragma once
#include "km/dpc.h"
#include "km/object.h"
#include "km/sync.h"
#include "km/types.h"
#include "shared/devioctl.h"

#include <optional>
#include <string>
#include <string_view>
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

using PDRIVER_INITIALIZE = NTSTATUS(NTAPI*)(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
using PDRIVER_STARTIO = VOID(NTAPI*)(PDEVICE_OBJECT DeviceObject, PIRP Irp);

// DRIVER_OBJECT::Flags
#define DRVO_UNLOAD_INVOKED 0x00000001

// Windows' field names and order. The I/O manager fills every MajorFunction entry with its own
// "invalid device request" routine before DriverEntry runs; a driver replaces the entries it serves.
// Requests are dispatched through the table as it stands when each request is sent, so an entry
// replaced at any time takes effect for the next request.
struct DRIVER_OBJECT {
    CSHORT Type; // IO_TYPE_DRIVER
    CSHORT Size;
    PDEVICE_OBJECT DeviceObject; // the most recently created device object of the driver
    ULONG Flags;
    PVOID DriverStart;
    ULONG DriverSize;
    PVOID DriverSection;
    PDRIVER_EXTENSION DriverExtension;
    UNICODE_STRING DriverName; // "\Driver\<service name>"
    PUNICODE_STRING HardwareDatabase;
    PVOID FastIoDispatch;
    PDRIVER_INITIALIZE DriverInit;
    PDRIVER_STARTIO DriverStartIo;
    PDRIVER_UNLOAD DriverUnload;
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
};

// ---- Device objects -----------------------------------------------------------------------------

using DEVICE_TYPE = ULONG;

// DEVICE_OBJECT::Flags.
#define DO_VERIFY_VOLUME 0x00000002
#define DO_BUFFERED_IO 0x00000004
#define DO_EXCLUSIVE 0x00000008 // one open file object at a time
#define DO_DIRECT_IO 0x00000010
#define DO_MAP_IO_BUFFER 0x00000020
#define DO_DEVICE_HAS_NAME 0x00000040
#define DO_DEVICE_INITIALIZING 0x00000080 // set by IoCreateDevice; opens fail until the driver clears it
#define DO_SHUTDOWN_REGISTERED 0x00000800
#define DO_BUS_ENUMERATED_DEVICE 0x00001000 // set on every device object a bus driver reports as a child
#define DO_POWER_PAGABLE 0x00002000
#define DO_POWER_INRUSH 0x00004000

// DEVICE_OBJECT::Characteristics (IoCreateDevice's DeviceCharacteristics).
#define FILE_REMOVABLE_MEDIA 0x00000001
#define FILE_READ_ONLY_DEVICE 0x00000002
#define FILE_FLOPPY_DISKETTE 0x00000004
#define FILE_WRITE_ONCE_MEDIA 0x00000008
#define FILE_REMOTE_DEVICE 0x00000010
#define FILE_DEVICE_IS_MOUNTED 0x00000020
#define FILE_VIRTUAL_VOLUME 0x00000040
#define FILE_AUTOGENERATED_DEVICE_NAME 0x00000080
#define FILE_DEVICE_SECURE_OPEN 0x00000100

// Per-device-object data the I/O manager keeps beside the object. Drivers do not read it. Windows
// keeps the object's name in the object header and the plug and play data here; the stand-in keeps
// both here.
struct DEVOBJ_EXTENSION {
    CSHORT Type; // IO_TYPE_DEVICE
    USHORT Size;
    PDEVICE_OBJECT DeviceObject;
    UNICODE_STRING ObjectName;           // "\Device\..."; empty for an unnamed device object
    standin::PhysicalDevice* DeviceNode; // the record of a physical device object, else NULL
    PDEVICE_OBJECT AttachedTo;           // the next lower device object of the stack, else NULL
};
using PDEVOBJ_EXTENSION = DEVOBJ_EXTENSION*;

// Windows' field names; the order follows Windows but the byte layout need not, since no driver
// record embeds one. DeviceExtension points to DeviceExtensionSize zeroed bytes, 16-byte aligned.
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

extern "C" {
// Creates a device object of DriverObject with DeviceExtensionSize zeroed bytes of extension.
// DeviceName NULL makes an unnamed object (FILE_AUTOGENERATED_DEVICE_NAME in DeviceCharacteristics
// asks for a generated "\Device\<number>" name instead); a name must begin with "\" and must not
// be taken (STATUS_OBJECT_NAME_COLLISION), and is looked up case-insensitively. Exclusive sets
// DO_EXCLUSIVE. The new object has StackSize 1, DO_DEVICE_INITIALIZING set (the driver clears it
// when ready) and is linked at the head of DriverObject->DeviceObject. STATUS_INVALID_PARAMETER for
// a NULL DriverObject or DeviceObject, STATUS_OBJECT_NAME_INVALID for a malformed name,
// STATUS_INSUFFICIENT_RESOURCES when pool fails. PASSIVE_LEVEL only.
NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                              PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType, ULONG DeviceCharacteristics,
                              BOOLEAN Exclusive, PDEVICE_OBJECT* DeviceObject);
// Unlinks the device object from its driver, removes its name and its shutdown registration and
// drops the creator's reference; the memory goes when open files and referencers let go. A device
// that still has a device attached above it, or one still attached to a lower device, is a breach
// (rule "device-stack"); it is deleted all the same. Deleting twice is a breach and does nothing.
VOID NTAPI IoDeleteDevice(PDEVICE_OBJECT DeviceObject);
// Attaches SourceDevice on top of the stack that TargetDevice belongs to and returns the device it
// now sits on (the previous top), or NULL when TargetDevice is being deleted. SourceDevice's
// StackSize becomes the top's plus one.
PDEVICE_OBJECT NTAPI IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice, PDEVICE_OBJECT TargetDevice);
// Detaches whatever is attached directly above TargetDevice.
VOID NTAPI IoDetachDevice(PDEVICE_OBJECT TargetDevice);
// The top of DeviceObject's stack, referenced (ObDereferenceObject when done).
PDEVICE_OBJECT NTAPI IoGetAttachedDeviceReference(PDEVICE_OBJECT DeviceObject);
// The top of DeviceObject's stack, without a reference.
PDEVICE_OBJECT NTAPI IoGetAttachedDevice(PDEVICE_OBJECT DeviceObject);

// Symbolic links of the object namespace: "\??\<name>" and "\DosDevices\<name>" are one
// directory (a user opens "\\.\<name>" through it). The target is a name such as "\Device\X",
// resolved when the link is opened. STATUS_OBJECT_NAME_COLLISION when the link exists,
// STATUS_OBJECT_NAME_INVALID for a name outside "\??\", "\DosDevices\" and "\GLOBAL??\".
NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName);
// STATUS_OBJECT_NAME_NOT_FOUND when there is no such link.
NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName);

// Asks for an IRP_MJ_SHUTDOWN request at system shutdown. At shutdown the request goes to the top
// of the registered device's stack, most recent registration first. A second registration of the
// same device object is ignored. PASSIVE_LEVEL only.
NTSTATUS NTAPI IoRegisterShutdownNotification(PDEVICE_OBJECT DeviceObject);
// Withdraws the registration; IoDeleteDevice does so too.
VOID NTAPI IoUnregisterShutdownNotification(PDEVICE_OBJECT DeviceObject);
}

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

