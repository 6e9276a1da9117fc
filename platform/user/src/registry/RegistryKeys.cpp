// Predefined keys, key paths and the conversions the registry calls share.
#include "registry/RegistryKeys.h"

#include "km/object.h"
#include "km/status.h"
#include "text/AnsiText.h"
#include "um/winerror.h"
#include "um/winternl.h"

#include <cstring>

namespace {

// The machine's tree path of a served predefined key; null for the others.
const char16_t* RootPathOf(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE)
        return u"\\Registry\\Machine";
    if (key == HKEY_CLASSES_ROOT)
        return u"\\Registry\\Machine\\SOFTWARE\\Classes";
    return nullptr;
}

} // namespace

namespace user {

bool CountedString(const std::u16string& text, UNICODE_STRING* counted)
{
    if (text.size() * sizeof(WCHAR) > 0xFFFE)
        return false;
    counted->Buffer = const_cast<PWSTR>(text.data());
    counted->Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    counted->MaximumLength = counted->Length;
    return true;
}

bool IsPredefinedKey(HKEY key)
{
    const auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    return reinterpret_cast<uintptr_t>(key) >= 0xFFFFFFFF80000000ull && value >= 0x80000000u && value <= 0x80000006u;
}

LSTATUS RegistryError(NTSTATUS status)
{
    if (status == STATUS_OBJECT_TYPE_MISMATCH)
        return ERROR_INVALID_HANDLE;
    return static_cast<LSTATUS>(RtlNtStatusToDosError(status));
}

LSTATUS OpenKey(HKEY key, const std::u16string& subKey, ACCESS_MASK access, HANDLE* handle)
{
    std::u16string path;
    HANDLE root = nullptr;
    if (IsPredefinedKey(key)) {
        const char16_t* rootPath = RootPathOf(key);
        if (!rootPath)
            return ERROR_INVALID_HANDLE;
        path = rootPath;
        if (!subKey.empty())
            path += u"\\" + subKey;
    } else {
        if (!key)
            return ERROR_INVALID_HANDLE;
        root = key;
        path = subKey;
    }
    UNICODE_STRING name;
    if (!CountedString(path, &name))
        return ERROR_INVALID_PARAMETER;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, root, nullptr);
    const NTSTATUS status = ZwOpenKey(handle, access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY), &attributes);
    return NT_SUCCESS(status) ? ERROR_SUCCESS : RegistryError(status);
}

KeyForCall::KeyForCall(HKEY key, ACCESS_MASK access)
{
    if (!IsPredefinedKey(key)) {
        handle_ = key;
        if (!key)
            error_ = ERROR_INVALID_HANDLE;
        return;
    }
    error_ = OpenKey(key, std::u16string(), access, &handle_);
    owned_ = error_ == ERROR_SUCCESS;
}

KeyForCall::~KeyForCall()
{
    if (owned_)
        ZwClose(handle_);
}

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::vector<UCHAR> AnsiDataFromWide(const std::vector<UCHAR>& wide)
{
    std::u16string text(wide.size() / 2, u'\0');
    std::memcpy(text.data(), wide.data(), text.size() * sizeof(char16_t));
    const std::string ansi = AnsiFromWide(text);
    return std::vector<UCHAR>(ansi.begin(), ansi.end());
}

std::vector<UCHAR> WideDataFromAnsi(const UCHAR* ansi, size_t size)
{
    const std::u16string text = WideFromAnsi(std::string_view(reinterpret_cast<const char*>(ansi), size));
    std::vector<UCHAR> wide(text.size() * sizeof(char16_t));
    std::memcpy(wide.data(), text.data(), wide.size());
    return wide;
}

} // namespace user
