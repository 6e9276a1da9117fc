// ZwCreateFile on a name, for the user side's file calls.
#include "files/FileOpen.h"

#include "km/file.h"
#include "km/status.h"
#include "km/string.h"

namespace user {

NTSTATUS OpenFile(const std::u16string& ntName, const FileOpen& open, HANDLE* handle, ULONG_PTR* information)
{
    if (ntName.size() * sizeof(WCHAR) > 0xFFFE)
        return STATUS_OBJECT_NAME_INVALID;
    UNICODE_STRING name;
    name.Buffer = const_cast<PWSTR>(ntName.data());
    name.Length = static_cast<USHORT>(ntName.size() * sizeof(WCHAR));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes;
    // No OBJ_KERNEL_HANDLE: the handle is the user's.
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ZwCreateFile(handle, open.access, &attributes, &io, nullptr, open.attributes,
                                         open.shareAccess, open.disposition, open.options, nullptr, 0);
    *information = io.Information;
    return status;
}

} // namespace user
