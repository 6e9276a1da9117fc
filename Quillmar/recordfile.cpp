// OpenRecordFile: the one way a record's file name becomes an opened file.
#include "recordfile.h"

#include "km/status.h"

#include <cstring>

NTSTATUS OpenRecordFile(const WCHAR* field, KernelFile* file, WCHAR (&path)[kRecordFilePathCharacters])
{
    static constexpr WCHAR kPrefix[] = u"\\DosDevices\\";
    constexpr ULONG kPrefixCharacters = sizeof(kPrefix) / sizeof(WCHAR) - 1;
    static_assert(kPrefixCharacters + kRecordTextCharacters == kRecordFilePathCharacters);
    path[0] = 0;
    const LONG length = BoundedRecordTextLength(field, kRecordTextCharacters);
    if (length <= 0)
        return STATUS_OBJECT_NAME_INVALID;
    std::memcpy(path, kPrefix, kPrefixCharacters * sizeof(WCHAR));
    std::memcpy(path + kPrefixCharacters, field, static_cast<size_t>(length) * sizeof(WCHAR));
    path[kPrefixCharacters + static_cast<ULONG>(length)] = 0;
    return file->Create(path, nullptr, GENERIC_READ | SYNCHRONIZE, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                        FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OPEN,
                        FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr);
}
