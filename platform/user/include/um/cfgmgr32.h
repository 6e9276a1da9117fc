// Finding devices by interface class: the configuration manager's calls that list the enabled
// interfaces of a class (their paths, ready for CreateFile) and read an interface's properties, of
// which the stand-in keeps the friendly name (the "FriendlyName" value a driver writes under the
// interface's "Device Parameters" key).
#pragma once
#include "um/windef.h"
#include "shared/guiddef.h"
#include "um/winreg.h"

using CONFIGRET = DWORD;
using DEVINSTID_W = WCHAR*;

#define CR_SUCCESS 0x00000000
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_INVALID_DEVICE_ID 0x0000001E
#define CR_INVALID_DATA 0x0000001F
#define CR_BUFFER_SMALL 0x0000001A
#define CR_NO_SUCH_VALUE 0x00000025
#define CR_NO_SUCH_DEVICE_INTERFACE 0x00000037
#define CR_REGISTRY_ERROR 0x00000014
#define RegDisposition_OpenExisting 0x00000001

// ulFlags of the list calls.
#define CM_GET_DEVICE_INTERFACE_LIST_PRESENT 0x00000000     // enabled interfaces only
#define CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES 0x00000001 // registered ones too

// A property: its set and its number within the set.
using DEVPROPTYPE = ULONG;
using DEVPROPID = ULONG;
struct DEVPROPKEY {
    GUID fmtid;
    DEVPROPID pid;
};
#define DEVPROP_TYPE_STRING 0x00000012

inline constexpr DEVPROPKEY DEVPKEY_DeviceInterface_FriendlyName = {
    {0x026e516e, 0xb814, 0x414b, {0x83, 0xcd, 0x85, 0x6d, 0x6f, 0xef, 0x48, 0x22}}, 2};

extern "C" {
// *pulLen receives the length in characters of the list CM_Get_Device_Interface_ListW would give,
// its final zero included (1 for an empty list). pDeviceID, when not NULL, keeps only the interfaces
// of that device instance.
CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(PULONG pulLen, const GUID* InterfaceClassGuid,
                                                    DEVINSTID_W pDeviceID, ULONG ulFlags);
// Fills Buffer with the paths ("\\?\...") of the class's interfaces in registration order, each
// zero-terminated, and one more zero. CR_BUFFER_SMALL when BufferLen (characters) is too short.
CONFIGRET WINAPI CM_Get_Device_Interface_ListW(const GUID* InterfaceClassGuid, DEVINSTID_W pDeviceID,
                                               PZZWSTR Buffer, ULONG BufferLen, ULONG ulFlags);
// Reads a property of an interface named by its path. DEVPKEY_DeviceInterface_FriendlyName gives the
// "FriendlyName" text as DEVPROP_TYPE_STRING, zero-terminated; *PropertyBufferSize is in bytes and
// receives the size needed (CR_BUFFER_SMALL when the buffer is short). CR_NO_SUCH_DEVICE_INTERFACE
// for an unknown path, CR_NO_SUCH_VALUE when the interface has no such value or for another key.
CONFIGRET WINAPI CM_Get_Device_Interface_PropertyW(LPCWSTR pszDeviceInterface, const DEVPROPKEY* PropertyKey,
                                                   DEVPROPTYPE* PropertyType, PBYTE PropertyBuffer,
                                                   PULONG PropertyBufferSize, ULONG ulFlags);
// Opens the registry key of an interface named by its path (where its driver keeps "FriendlyName" and
// the pin description of a filter without kernel-streaming pins) as an HKEY for RegQueryValueExW;
// only RegDisposition_OpenExisting is served. CR_NO_SUCH_DEVICE_INTERFACE for an unknown path,
// CR_REGISTRY_ERROR when the key cannot be opened.
CONFIGRET WINAPI CM_Open_Device_Interface_KeyW(LPCWSTR pszDeviceInterface, REGSAM samDesired,
                                               DWORD Disposition, HKEY* phkDeviceInterface, ULONG ulFlags);
}
