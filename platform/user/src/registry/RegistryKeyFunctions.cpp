// Opening, creating, closing and deleting keys.
#include "km/object.h"
#include "km/status.h"
#include "registry/RegistryKeys.h"
#include "text/AnsiText.h"
#include "um/winerror.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

std::u16string Text(LPCWSTR text)
{
    return text ? std::u16string(text) : std::u16string();
}

// The steps of a sub-key path, empty ones included.
std::vector<std::u16string> StepsOf(const std::u16string& path)
{
    std::vector<std::u16string> steps;
    size_t start = 0;
    while (true) {
        const size_t end = path.find(u'\\', start);
        steps.push_back(path.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
        if (end == std::u16string::npos)
            return steps;
        start = end + 1;
    }
}

LSTATUS CreateKey(HKEY key, const std::u16string& subKey, const std::u16string* keyClass, DWORD options,
                  REGSAM access, PHKEY result, LPDWORD disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    HANDLE parent = nullptr;
    LSTATUS error = user::OpenKey(key, std::u16string(), KEY_CREATE_SUB_KEY, &parent);
    if (error != ERROR_SUCCESS)
        return error;
    if (subKey.empty()) {
        // The key itself, opened again with the access asked for.
        ZwClose(parent);
        error = user::OpenKey(key, std::u16string(), access, &parent);
        if (error == ERROR_SUCCESS) {
            *result = static_cast<HKEY>(parent);
            if (disposition)
                *disposition = REG_OPENED_EXISTING_KEY;
        }
        return error;
    }
    UNICODE_STRING classText{};
    if (keyClass && !user::CountedString(*keyClass, &classText)) {
        ZwClose(parent);
        return ERROR_INVALID_PARAMETER;
    }
    const std::vector<std::u16string> steps = StepsOf(subKey);
    for (const auto& step : steps) {
        if (step.empty()) {
            ZwClose(parent);
            return ERROR_INVALID_NAME;
        }
    }
    for (size_t i = 0; i < steps.size(); ++i) {
        const bool last = i + 1 == steps.size();
        UNICODE_STRING name;
        user::CountedString(steps[i], &name);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, parent, nullptr);
        HANDLE child = nullptr;
        ULONG made = 0;
        const NTSTATUS status =
            ZwCreateKey(&child, last ? (access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY)) : KEY_CREATE_SUB_KEY,
                        &attributes, 0, keyClass ? &classText : nullptr, options, &made);
        ZwClose(parent);
        if (!NT_SUCCESS(status))
            return user::RegistryError(status);
        parent = child;
        if (last && disposition)
            *disposition = made;
    }
    *result = static_cast<HKEY>(parent);
    return ERROR_SUCCESS;
}

LSTATUS DeleteKey(HKEY key, LPCWSTR subKey)
{
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    if (!*subKey && user::IsPredefinedKey(key))
        return ERROR_ACCESS_DENIED;
    HANDLE handle = nullptr;
    LSTATUS error = user::OpenKey(key, subKey, DELETE, &handle);
    if (error != ERROR_SUCCESS)
        return error;
    const NTSTATUS status = ZwDeleteKey(handle);
    ZwClose(handle);
    return NT_SUCCESS(status) ? ERROR_SUCCESS : user::RegistryError(status);
}

// Deletes every sub-key of the open key, depth first, and then, when `values`, every value.
LSTATUS EmptyKey(HANDLE key, bool values)
{
    while (true) {
        union {
            KEY_BASIC_INFORMATION info;
            UCHAR bytes[sizeof(KEY_BASIC_INFORMATION) + 256 * sizeof(WCHAR)];
        } record;
        ULONG length = 0;
        NTSTATUS status = ZwEnumerateKey(key, 0, KeyBasicInformation, &record, sizeof(record), &length);
        if (status == STATUS_NO_MORE_ENTRIES)
            break;
        if (!NT_SUCCESS(status))
            return user::RegistryError(status);
        const std::u16string name(record.info.Name, record.info.NameLength / sizeof(WCHAR));
        HANDLE child = nullptr;
        LSTATUS error = user::OpenKey(static_cast<HKEY>(key), name, KEY_ALL_ACCESS, &child);
        if (error != ERROR_SUCCESS)
            return error;
        error = EmptyKey(child, false);
        status = error == ERROR_SUCCESS ? ZwDeleteKey(child) : STATUS_SUCCESS;
        ZwClose(child);
        if (error != ERROR_SUCCESS)
            return error;
        if (!NT_SUCCESS(status))
            return user::RegistryError(status);
    }
    // On the heap: value names run to 16,383 characters, and the walk recurses once a level.
    std::vector<UCHAR> record(values ? sizeof(KEY_VALUE_BASIC_INFORMATION) + 16384 * sizeof(WCHAR) : 0);
    while (values) {
        ULONG length = 0;
        NTSTATUS status = ZwEnumerateValueKey(key, 0, KeyValueBasicInformation, record.data(),
                                              static_cast<ULONG>(record.size()), &length);
        if (status == STATUS_NO_MORE_ENTRIES)
            break;
        if (!NT_SUCCESS(status))
            return user::RegistryError(status);
        KEY_VALUE_BASIC_INFORMATION info;
        std::memcpy(&info, record.data(), offsetof(KEY_VALUE_BASIC_INFORMATION, Name));
        UNICODE_STRING name;
        name.Buffer = reinterpret_cast<PWSTR>(record.data() + offsetof(KEY_VALUE_BASIC_INFORMATION, Name));
        name.Length = name.MaximumLength = static_cast<USHORT>(info.NameLength);
        status = ZwDeleteValueKey(key, &name);
        if (!NT_SUCCESS(status))
            return user::RegistryError(status);
    }
    return ERROR_SUCCESS;
}

LSTATUS DeleteTree(HKEY key, LPCWSTR subKey)
{
    HANDLE handle = nullptr;
    LSTATUS error = user::OpenKey(key, Text(subKey), KEY_ALL_ACCESS, &handle);
    if (error != ERROR_SUCCESS)
        return error;
    // An empty sub-key names the key itself, which stays, as with NULL.
    const bool keepKey = !subKey || !*subKey;
    error = EmptyKey(handle, keepKey);
    if (error == ERROR_SUCCESS && !keepKey) {
        const NTSTATUS status = ZwDeleteKey(handle);
        if (!NT_SUCCESS(status))
            error = user::RegistryError(status);
    }
    ZwClose(handle);
    return error;
}

} // namespace

extern "C" LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                        PHKEY phkResult)
{
    if (!phkResult || ulOptions)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    HANDLE handle = nullptr;
    const LSTATUS error = user::OpenKey(hKey, Text(lpSubKey), samDesired, &handle);
    if (error == ERROR_SUCCESS)
        *phkResult = static_cast<HKEY>(handle);
    return error;
}

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                        PHKEY phkResult)
{
    return RegOpenKeyExW(hKey, lpSubKey ? user::WideFromAnsi(lpSubKey).c_str() : nullptr, ulOptions, samDesired,
                         phkResult);
}

extern "C" LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR lpClass, DWORD dwOptions,
                                          REGSAM samDesired, const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                                          LPDWORD lpdwDisposition)
{
    const std::u16string keyClass = Text(lpClass);
    return CreateKey(hKey, Text(lpSubKey), lpClass ? &keyClass : nullptr, dwOptions, samDesired, phkResult,
                     lpdwDisposition);
}

extern "C" LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD dwOptions,
                                          REGSAM samDesired, const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                                          LPDWORD lpdwDisposition)
{
    const std::u16string keyClass = user::WideFromAnsi(lpClass);
    return CreateKey(hKey, user::WideFromAnsi(lpSubKey), lpClass ? &keyClass : nullptr, dwOptions, samDesired,
                     phkResult, lpdwDisposition);
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    if (user::IsPredefinedKey(hKey))
        return ERROR_SUCCESS;
    // Only key handles close here.
    PVOID key = nullptr;
    if (!hKey || !NT_SUCCESS(ObReferenceObjectByHandle(hKey, 0, *CmKeyObjectType, UserMode, &key, nullptr)))
        return ERROR_INVALID_HANDLE;
    ObDereferenceObject(key);
    return NT_SUCCESS(ZwClose(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

extern "C" LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    return DeleteKey(hKey, lpSubKey);
}

extern "C" LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    return DeleteKey(hKey, lpSubKey ? user::WideFromAnsi(lpSubKey).c_str() : nullptr);
}

extern "C" LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey)
{
    return DeleteTree(hKey, lpSubKey);
}

extern "C" LSTATUS WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    return DeleteTree(hKey, lpSubKey ? user::WideFromAnsi(lpSubKey).c_str() : nullptr);
}
