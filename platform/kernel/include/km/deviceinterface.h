// Device interfaces: how a driver makes a device findable by category. Registering an interface of a
// physical device object gives it a symbolic link name,
//   "\??\<instance path with '\' as '#'>#{<class guid>}[\<reference string>]",
// and its keys under "\Registry\Machine\System\CurrentControlSet\Control\DeviceClasses" in Windows'
// layout:
//   {<class guid>}\##?#<instance path with '#'>#{<class guid>}      "DeviceInstance" = instance path
//       \#[<reference string>]                                     "SymbolicLink" = "\\?\..." form
//           \Device Parameters                                     (the driver's; "FriendlyName")
//           \Control  (volatile, while enabled)                    "Linked" = 1
// Enabling an interface creates the link (to the physical device object, so that an open reaches the
// top of its stack with "\<reference string>" as the file name); only enabled interfaces are listed
// and can be opened. The class GUID appears in lower case, the rest as given.
#pragma once
#include "km/iodevice.h"
#include "km/types.h"
#include "shared/guiddef.h"

#include <string>
#include <vector>

// IoGetDeviceInterfaces flags.
#define DEVICE_INTERFACE_INCLUDE_NONACTIVE 0x00000001

extern "C" {
// Registers (or finds, when registered before) the interface of PhysicalDeviceObject for the class
// with the optional reference string, creates its keys, and returns its link name in
// SymbolicLinkName, allocated from paged pool (RtlFreeUnicodeString frees it). A registered interface
// starts disabled. STATUS_INVALID_DEVICE_REQUEST when PhysicalDeviceObject is not a physical device
// object with an instance path, STATUS_INVALID_PARAMETER for a missing argument or a reference string
// with "\" or "/" in it, STATUS_INSUFFICIENT_RESOURCES when pool fails. PASSIVE_LEVEL only.
NTSTATUS NTAPI IoRegisterDeviceInterface(PDEVICE_OBJECT PhysicalDeviceObject, const GUID* InterfaceClassGuid,
                                         PUNICODE_STRING ReferenceString, PUNICODE_STRING SymbolicLinkName);
// Enables or disables a registered interface. STATUS_OBJECT_NAME_EXISTS when enabling an enabled
// one, STATUS_OBJECT_NAME_NOT_FOUND for an unregistered name or when disabling a disabled one.
// Disabling does not close files already open through the link. PASSIVE_LEVEL only.
NTSTATUS NTAPI IoSetDeviceInterfaceState(PUNICODE_STRING SymbolicLinkName, BOOLEAN Enable);
// Opens the interface's "Device Parameters" key (the interface key itself is the driver's to read
// only). STATUS_OBJECT_NAME_NOT_FOUND for an unregistered name. PASSIVE_LEVEL only.
NTSTATUS NTAPI IoOpenDeviceInterfaceRegistryKey(PUNICODE_STRING SymbolicLinkName, ACCESS_MASK DesiredAccess,
                                                PHANDLE DeviceInterfaceKey);
// Lists the link names of the class's interfaces, enabled ones only unless Flags has
// DEVICE_INTERFACE_INCLUDE_NONACTIVE, of one physical device object or (NULL) of all, in the order
// they were registered: zero-terminated names one after the other and one more zero, in a paged pool
// block the caller frees with ExFreePool. PASSIVE_LEVEL only.
NTSTATUS NTAPI IoGetDeviceInterfaces(const GUID* InterfaceClassGuid, PDEVICE_OBJECT PhysicalDeviceObject,
                                     ULONG Flags, PWSTR* SymbolicLinkList);
}

