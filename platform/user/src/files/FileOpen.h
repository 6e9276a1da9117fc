// Opening a file on the machine's drives by its object-namespace name, through ZwCreateFile.
#pragma once
#include "um/windef.h"

#include <string>

namespace user {

struct FileOpen {
    ACCESS_MASK access = 0;
    ULONG shareAccess = 0;
    ULONG disposition = 0;
    ULONG options = 0;
    ULONG attributes = 0;
};

// The kernel side's status; on success *handle is a user handle and *information the create's
// outcome (FILE_CREATED, FILE_OPENED, FILE_OVERWRITTEN, ...).
NTSTATUS OpenFile(const std::u16string& ntName, const FileOpen& open, HANDLE* handle, ULONG_PTR* information);

} // namespace user
