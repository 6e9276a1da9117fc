// The configuration manager's view of device interfaces: the paths of a class's interfaces and the
// friendly name an interface's driver wrote.
#include "km/deviceinterface.h"
#include "km/registry.h"
#include "standin/devices.h"
#include "standin/registry.h"
#include "um/cfgmgr32.h"
#include "um/winerror.h"
#include "um/winreg.h"

#include <cstring>
#include <optional>
#include <string>

namespace {

std::u16string Upcase(std::u16string_view text)
{
    std::u16string upper(text);
    for (auto& c : upper)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - (u'a' - u'A'));
    return upper;
}

// "\??\X" as user mode writes it: "\\?\X".
std::u16string UserPath(const std::u16string& link)
{
    return u"\\\\?\\" + link.substr(4);
}

CONFIGRET BuildList(const GUID* interfaceClass, DEVINSTID_W deviceId, ULONG flags, std::u16string* list)
{
    if (!interfaceClass)
        return CR_INVALID_POINTER;
    if (flags & ~ULONG(CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES))
        return CR_INVALID_FLAG;
    const std::optional<std::u16string> device =
        deviceId ? std::optional<std::u16string>(Upcase(deviceId)) : std::nullopt;
    list->clear();
    for (const auto& record : standin::DeviceInterfaces(interfaceClass)) {
        if (!record.enabled && !(flags & CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES))
            continue;
        if (device && Upcase(record.instancePath) != *device)
            continue;
        *list += UserPath(record.symbolicLinkName);
        *list += u'\0';
    }
    *list += u'\0';
    return CR_SUCCESS;
}

std::optional<standin::DeviceInterfaceRecord> FindInterface(LPCWSTR userPath)
{
    const std::u16string path = Upcase(userPath);
    std::optional<standin::DeviceInterfaceRecord> found;
    for (const auto& record : standin::DeviceInterfaces())
        if (Upcase(UserPath(record.symbolicLinkName)) == path)
            found = record;
    return found;
}

} // namespace

extern "C" CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(PULONG pulLen, const GUID* InterfaceClassGuid,
                                                               DEVINSTID_W pDeviceID, ULONG ulFlags)
{
    if (!pulLen)
        return CR_INVALID_POINTER;
    *pulLen = 0;
    std::u16string list;
    const CONFIGRET result = BuildList(InterfaceClassGuid, pDeviceID, ulFlags, &list);
    if (result == CR_SUCCESS)
        *pulLen = static_cast<ULONG>(list.size());
    return result;
}

extern "C" CONFIGRET WINAPI CM_Get_Device_Interface_ListW(const GUID* InterfaceClassGuid,
                                                          DEVINSTID_W pDeviceID, PZZWSTR Buffer,
                                                          ULONG BufferLen, ULONG ulFlags)
{
    if (!Buffer || !BufferLen)
        return CR_INVALID_POINTER;
    std::u16string list;
    const CONFIGRET result = BuildList(InterfaceClassGuid, pDeviceID, ulFlags, &list);
    if (result != CR_SUCCESS)
        return result;
    if (list.size() > BufferLen)
        return CR_BUFFER_SMALL;
    std::memcpy(Buffer, list.data(), list.size() * sizeof(WCHAR));
    return CR_SUCCESS;
}

extern "C" CONFIGRET WINAPI CM_Open_Device_Interface_KeyW(LPCWSTR pszDeviceInterface, REGSAM samDesired,
                                                          DWORD Disposition, HKEY* phkDeviceInterface, ULONG ulFlags)
{
    if (!pszDeviceInterface || !phkDeviceInterface)
        return CR_INVALID_POINTER;
    *phkDeviceInterface = nullptr;
    if (ulFlags || Disposition != RegDisposition_OpenExisting)
        return CR_INVALID_FLAG;
    const std::optional<standin::DeviceInterfaceRecord> found = FindInterface(pszDeviceInterface);
    if (!found)
        return CR_NO_SUCH_DEVICE_INTERFACE;
    constexpr std::u16string_view machine = u"\\Registry\\Machine\\";
    const std::u16string& path = found->deviceParametersKeyPath;
    if (Upcase(path.substr(0, machine.size())) != Upcase(machine))
        return CR_REGISTRY_ERROR;
    const std::u16string below = path.substr(machine.size());
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, below.c_str(), 0, samDesired, phkDeviceInterface) == ERROR_SUCCESS
               ? CR_SUCCESS
               : CR_REGISTRY_ERROR;
}

extern "C" CONFIGRET WINAPI CM_Get_Device_Interface_PropertyW(LPCWSTR pszDeviceInterface,
                                                              const DEVPROPKEY* PropertyKey,
                                                              DEVPROPTYPE* PropertyType, PBYTE PropertyBuffer,
                                                              PULONG PropertyBufferSize, ULONG ulFlags)
{
    if (!pszDeviceInterface || !PropertyKey || !PropertyType || !PropertyBufferSize ||
        (!PropertyBuffer && *PropertyBufferSize))
        return CR_INVALID_POINTER;
    if (ulFlags)
        return CR_INVALID_FLAG;
    const std::optional<standin::DeviceInterfaceRecord> found = FindInterface(pszDeviceInterface);
    if (!found)
        return CR_NO_SUCH_DEVICE_INTERFACE;
    if (!(PropertyKey->fmtid == DEVPKEY_DeviceInterface_FriendlyName.fmtid) ||
        PropertyKey->pid != DEVPKEY_DeviceInterface_FriendlyName.pid)
        return CR_NO_SUCH_VALUE;
    const std::optional<std::u16string> name =
        standin::ReadRegistryString(found->deviceParametersKeyPath, u"FriendlyName");
    if (!name)
        return CR_NO_SUCH_VALUE;
    const ULONG bytes = static_cast<ULONG>((name->size() + 1) * sizeof(WCHAR));
    *PropertyType = DEVPROP_TYPE_STRING;
    if (*PropertyBufferSize < bytes) {
        *PropertyBufferSize = bytes;
        return CR_BUFFER_SMALL;
    }
    std::memcpy(PropertyBuffer, name->c_str(), bytes);
    *PropertyBufferSize = bytes;
    return CR_SUCCESS;
}
