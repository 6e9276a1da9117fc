// Keys as the registry calls name them: a predefined key (its path in the machine's tree) or an open
// key handle, and a sub-key path below it.
#pragma once
#include "km/registry.h"
#include "km/status.h"
#include "um/winerror.h"
#include "um/winreg.h"

#include <string>
#include <vector>

namespace user {

// A counted view of `text`; false when it is too long for one.
bool CountedString(const std::u16string& text, UNICODE_STRING* counted);

// Opens `subKey` below `key` (an empty one: the key itself) with `access`; the handle is a user
// handle. Win32 errors.
LSTATUS OpenKey(HKEY key, const std::u16string& subKey, ACCESS_MASK access, HANDLE* handle);

// An open key for one call: the caller's handle, or a handle of a predefined key opened for it.
class KeyForCall {
public:
    KeyForCall(HKEY key, ACCESS_MASK access);
    ~KeyForCall();
    KeyForCall(const KeyForCall&) = delete;
    KeyForCall& operator=(const KeyForCall&) = delete;
    LSTATUS error() const { return error_; }
    HANDLE handle() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
    bool owned_ = false;
    LSTATUS error_ = 0;
};

// Win32's error for a kernel status of the registry.
LSTATUS RegistryError(NTSTATUS status);

// A query's or enumeration's record of `key` (opened for the call with `access`): `query(handle,
// buffer, length, &resultLength)` asked again with a larger buffer until the record fits. The
// Win32 error; ERROR_NO_MORE_ITEMS past the last entry.
template <typename Query>
LSTATUS FetchRecord(HKEY key, ACCESS_MASK access, Query query, std::vector<UCHAR>* record)
{
    KeyForCall open(key, access);
    if (open.error() != ERROR_SUCCESS)
        return open.error();
    record->resize(256);
    while (true) {
        ULONG length = 0;
        const NTSTATUS status =
            query(open.handle(), record->data(), static_cast<ULONG>(record->size()), &length);
        if (status == STATUS_BUFFER_OVERFLOW || status == STATUS_BUFFER_TOO_SMALL) {
            record->resize(length);
            continue;
        }
        if (status == STATUS_NO_MORE_ENTRIES)
            return ERROR_NO_MORE_ITEMS;
        return NT_SUCCESS(status) ? ERROR_SUCCESS : RegistryError(status);
    }
}

// Whether `key` is one of the predefined keys (served or not).
bool IsPredefinedKey(HKEY key);

// Hands a value's type and data to the caller by RegQueryValueEx's rule: with lpData NULL only the
// size; ERROR_MORE_DATA with the size needed when *lpcbData is too small.
LSTATUS DeliverValue(ULONG type, const std::vector<UCHAR>& data, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ: the types whose data the A forms convert.
bool IsTextType(DWORD type);
// UTF-16 data bytes as code-page bytes, and back.
std::vector<UCHAR> AnsiDataFromWide(const std::vector<UCHAR>& wide);
std::vector<UCHAR> WideDataFromAnsi(const UCHAR* ansi, size_t size);

} // namespace user
