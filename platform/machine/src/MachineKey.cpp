// The machine's registry writes and reads.
#include "MachineKey.h"

#include "Text.h"
#include "km/object.h"
#include "km/status.h"
#include "km/string.h"
#include "standin/registry.h"

namespace platform {
namespace {

UNICODE_STRING Counted(std::u16string_view text)
{
    UNICODE_STRING string;
    string.Buffer = const_cast<PWSTR>(text.data());
    string.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    string.MaximumLength = string.Length;
    return string;
}

} // namespace

MachineKey::~MachineKey()
{
    Close();
}

void MachineKey::Close()
{
    if (handle_)
        ZwClose(handle_);
    handle_ = nullptr;
}

NTSTATUS MachineKey::Create(std::u16string_view path)
{
    Close();
    // ZwCreateKey makes only the last component, so walk down from the top, one key at a time.
    NTSTATUS status = STATUS_OBJECT_NAME_INVALID;
    size_t end = 0;
    while (end < path.size()) {
        end = path.find(u'\\', end + 1);
        if (end == std::u16string_view::npos)
            end = path.size();
        const std::u16string_view prefix = path.substr(0, end);
        if (prefix == u"\\Registry")
            continue;
        UNICODE_STRING name = Counted(prefix);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                                   nullptr);
        HANDLE handle = nullptr;
        status =
            ZwCreateKey(&handle, KEY_ALL_ACCESS, &attributes, 0, nullptr, REG_OPTION_NON_VOLATILE, nullptr);
        if (!NT_SUCCESS(status))
            return status;
        if (end == path.size())
            handle_ = handle;
        else
            ZwClose(handle);
    }
    return status;
}

NTSTATUS MachineKey::SetValue(std::u16string_view name, ULONG type, const void* data, size_t bytes)
{
    if (!handle_)
        return STATUS_INVALID_HANDLE;
    UNICODE_STRING valueName = Counted(name);
    return ZwSetValueKey(handle_, &valueName, 0, type, const_cast<void*>(data), static_cast<ULONG>(bytes));
}

NTSTATUS MachineKey::SetString(std::u16string_view name, std::u16string_view text, ULONG type)
{
    std::u16string data(text);
    return SetValue(name, type, data.c_str(), (data.size() + 1) * sizeof(char16_t));
}

NTSTATUS MachineKey::SetMultiString(std::u16string_view name, const std::vector<std::u16string>& strings)
{
    std::u16string data;
    for (const auto& s : strings) {
        data += s;
        data.push_back(u'\0');
    }
    data.push_back(u'\0');
    return SetValue(name, REG_MULTI_SZ, data.data(), data.size() * sizeof(char16_t));
}

NTSTATUS MachineKey::SetDword(std::u16string_view name, ULONG value)
{
    return SetValue(name, REG_DWORD, &value, sizeof value);
}

std::optional<std::u16string> ReadStringValue(std::u16string_view keyPath, std::u16string_view name)
{
    return standin::ReadRegistryString(keyPath, name);
}

std::vector<std::u16string> ReadMultiStringValue(std::u16string_view keyPath, std::u16string_view name)
{
    auto value = standin::ReadRegistryValue(keyPath, name);
    if (!value || value->type != REG_MULTI_SZ)
        return {};
    return SplitMultiString(value->data);
}

std::vector<std::u16string> SubKeys(std::u16string_view keyPath)
{
    auto names = standin::RegistrySubKeyNames(keyPath);
    return names ? *names : std::vector<std::u16string>{};
}

} // namespace platform
