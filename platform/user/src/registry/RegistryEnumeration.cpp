// Enumerating sub-keys and values.
#include "km/status.h"
#include "registry/RegistryKeys.h"
#include "text/AnsiText.h"
#include "um/winerror.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::u16string TextAt(const std::vector<UCHAR>& record, size_t offset, size_t bytes)
{
    std::u16string text(bytes / sizeof(WCHAR), u'\0');
    std::memcpy(text.data(), record.data() + offset, text.size() * sizeof(WCHAR));
    return text;
}

// A name into a buffer of *size characters with its zero; *size becomes the length without it.
template <typename CharT>
LSTATUS DeliverName(const std::basic_string<CharT>& name, CharT* buffer, LPDWORD size)
{
    if (!buffer || !size)
        return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *size)
        return ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(CharT));
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

struct KeyEntry {
    std::u16string name;
    std::u16string keyClass;
    LARGE_INTEGER lastWrite{};
};

LSTATUS EnumKey(HKEY key, DWORD index, KeyEntry* entry)
{
    std::vector<UCHAR> record;
    const LSTATUS error = user::FetchRecord(
        key, KEY_ENUMERATE_SUB_KEYS,
        [&](HANDLE handle, PVOID buffer, ULONG length, PULONG result) {
            return ZwEnumerateKey(handle, index, KeyNodeInformation, buffer, length, result);
        },
        &record);
    if (error != ERROR_SUCCESS)
        return error;
    KEY_NODE_INFORMATION info;
    std::memcpy(&info, record.data(), offsetof(KEY_NODE_INFORMATION, Name));
    entry->name = TextAt(record, offsetof(KEY_NODE_INFORMATION, Name), info.NameLength);
    if (info.ClassOffset != 0xFFFFFFFF)
        entry->keyClass = TextAt(record, info.ClassOffset, info.ClassLength);
    entry->lastWrite = info.LastWriteTime;
    return ERROR_SUCCESS;
}

template <typename CharT>
LSTATUS DeliverKey(const KeyEntry& entry, const std::basic_string<CharT>& name,
                   const std::basic_string<CharT>& keyClass, CharT* lpName, LPDWORD lpcchName, CharT* lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    LSTATUS error = DeliverName(name, lpName, lpcchName);
    if (error != ERROR_SUCCESS)
        return error;
    if (lpClass) {
        error = DeliverName(keyClass, lpClass, lpcchClass);
        if (error != ERROR_SUCCESS)
            return error;
    } else if (lpcchClass) {
        *lpcchClass = static_cast<DWORD>(keyClass.size());
    }
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(entry.lastWrite.QuadPart);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(entry.lastWrite.QuadPart) >> 32);
    }
    return ERROR_SUCCESS;
}

struct ValueEntry {
    std::u16string name;
    ULONG type = REG_NONE;
    std::vector<UCHAR> data;
};

LSTATUS EnumValue(HKEY key, DWORD index, ValueEntry* entry)
{
    std::vector<UCHAR> record;
    const LSTATUS error = user::FetchRecord(
        key, KEY_QUERY_VALUE,
        [&](HANDLE handle, PVOID buffer, ULONG length, PULONG result) {
            return ZwEnumerateValueKey(handle, index, KeyValueFullInformation, buffer, length, result);
        },
        &record);
    if (error != ERROR_SUCCESS)
        return error;
    KEY_VALUE_FULL_INFORMATION info;
    std::memcpy(&info, record.data(), offsetof(KEY_VALUE_FULL_INFORMATION, Name));
    entry->name = TextAt(record, offsetof(KEY_VALUE_FULL_INFORMATION, Name), info.NameLength);
    entry->type = info.Type;
    const UCHAR* data = record.data() + info.DataOffset;
    entry->data.assign(data, data + info.DataLength);
    return ERROR_SUCCESS;
}

} // namespace

extern "C" LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                        PFILETIME lpftLastWriteTime)
{
    if (lpReserved || !lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    KeyEntry entry;
    const LSTATUS error = EnumKey(hKey, dwIndex, &entry);
    if (error != ERROR_SUCCESS)
        return error;
    return DeliverKey(entry, entry.name, entry.keyClass, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
}

extern "C" LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                        PFILETIME lpftLastWriteTime)
{
    if (lpReserved || !lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    KeyEntry entry;
    const LSTATUS error = EnumKey(hKey, dwIndex, &entry);
    if (error != ERROR_SUCCESS)
        return error;
    return DeliverKey(entry, user::AnsiFromWide(entry.name), user::AnsiFromWide(entry.keyClass), lpName, lpcchName,
                      lpClass, lpcchClass, lpftLastWriteTime);
}

extern "C" LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                        LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    ValueEntry entry;
    LSTATUS error = EnumValue(hKey, dwIndex, &entry);
    if (error != ERROR_SUCCESS)
        return error;
    error = DeliverName(entry.name, lpValueName, lpcchValueName);
    if (error != ERROR_SUCCESS)
        return error;
    return user::DeliverValue(entry.type, entry.data, lpType, lpData, lpcbData);
}

extern "C" LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                        LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    ValueEntry entry;
    LSTATUS error = EnumValue(hKey, dwIndex, &entry);
    if (error != ERROR_SUCCESS)
        return error;
    error = DeliverName(user::AnsiFromWide(entry.name), lpValueName, lpcchValueName);
    if (error != ERROR_SUCCESS)
        return error;
    if (user::IsTextType(entry.type))
        entry.data = user::AnsiDataFromWide(entry.data);
    return user::DeliverValue(entry.type, entry.data, lpType, lpData, lpcbData);
}
