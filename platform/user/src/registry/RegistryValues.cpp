// Reading, setting and deleting values.
#include "km/object.h"
#include "km/status.h"
#include "registry/RegistryKeys.h"
#include "text/AnsiText.h"
#include "um/winerror.h"

#include <cstring>
#include <vector>

namespace {

std::u16string Text(LPCWSTR text)
{
    return text ? std::u16string(text) : std::u16string();
}

// The value's type and data.
LSTATUS ReadValue(HKEY key, const std::u16string& valueName, ULONG* type, std::vector<UCHAR>* data)
{
    UNICODE_STRING name;
    if (!user::CountedString(valueName, &name))
        return ERROR_INVALID_PARAMETER;
    std::vector<UCHAR> record;
    const LSTATUS error = user::FetchRecord(
        key, KEY_QUERY_VALUE,
        [&](HANDLE handle, PVOID buffer, ULONG length, PULONG result) {
            return ZwQueryValueKey(handle, &name, KeyValuePartialInformation, buffer, length, result);
        },
        &record);
    if (error != ERROR_SUCCESS)
        return error;
    KEY_VALUE_PARTIAL_INFORMATION info;
    std::memcpy(&info, record.data(), offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data));
    *type = info.Type;
    const UCHAR* bytes = record.data() + offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
    data->assign(bytes, bytes + info.DataLength);
    return ERROR_SUCCESS;
}

} // namespace

namespace user {

LSTATUS DeliverValue(ULONG type, const std::vector<UCHAR>& data, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpType)
        *lpType = type;
    if (!lpcbData)
        return ERROR_SUCCESS;
    const auto size = static_cast<DWORD>(data.size());
    if (!lpData) {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (size)
        std::memcpy(lpData, data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

} // namespace user

namespace {

LSTATUS QueryValue(HKEY key, const std::u16string& valueName, bool ansi, LPDWORD lpReserved, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    ULONG type = REG_NONE;
    std::vector<UCHAR> data;
    const LSTATUS error = ReadValue(key, valueName, &type, &data);
    if (error != ERROR_SUCCESS)
        return error;
    if (ansi && user::IsTextType(type))
        data = user::AnsiDataFromWide(data);
    return user::DeliverValue(type, data, lpType, lpData, lpcbData);
}

LSTATUS SetValue(HKEY key, const std::u16string& valueName, DWORD type, const BYTE* data, DWORD size)
{
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    user::KeyForCall open(key, KEY_SET_VALUE);
    if (open.error() != ERROR_SUCCESS)
        return open.error();
    UNICODE_STRING name;
    if (!user::CountedString(valueName, &name))
        return ERROR_INVALID_PARAMETER;
    const NTSTATUS status = ZwSetValueKey(open.handle(), &name, 0, type, const_cast<BYTE*>(data), size);
    return NT_SUCCESS(status) ? ERROR_SUCCESS : user::RegistryError(status);
}

LSTATUS DeleteValue(HKEY key, const std::u16string& valueName)
{
    user::KeyForCall open(key, KEY_SET_VALUE);
    if (open.error() != ERROR_SUCCESS)
        return open.error();
    UNICODE_STRING name;
    if (!user::CountedString(valueName, &name))
        return ERROR_INVALID_PARAMETER;
    const NTSTATUS status = ZwDeleteValueKey(open.handle(), &name);
    return NT_SUCCESS(status) ? ERROR_SUCCESS : user::RegistryError(status);
}

} // namespace

extern "C" LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData)
{
    return QueryValue(hKey, Text(lpValueName), false, lpReserved, lpType, lpData, lpcbData);
}

extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData)
{
    return QueryValue(hKey, user::WideFromAnsi(lpValueName), true, lpReserved, lpType, lpData, lpcbData);
}

extern "C" LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                         DWORD cbData)
{
    return SetValue(hKey, Text(lpValueName), dwType, lpData, cbData);
}

extern "C" LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                         DWORD cbData)
{
    if (!lpData && cbData)
        return ERROR_INVALID_PARAMETER;
    if (!user::IsTextType(dwType))
        return SetValue(hKey, user::WideFromAnsi(lpValueName), dwType, lpData, cbData);
    const std::vector<UCHAR> wide = user::WideDataFromAnsi(lpData, cbData);
    return SetValue(hKey, user::WideFromAnsi(lpValueName), dwType, wide.data(), static_cast<DWORD>(wide.size()));
}

extern "C" LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    return DeleteValue(hKey, Text(lpValueName));
}

extern "C" LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    return DeleteValue(hKey, user::WideFromAnsi(lpValueName));
}
