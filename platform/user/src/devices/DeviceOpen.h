// Opening a device by its object-namespace name, for CreateFile.
#pragma once
#include "um/windef.h"

#include <string>

namespace user {

// A user handle to a new file object on the device named `ntName` ("\??\<link>..."), or
// INVALID_HANDLE_VALUE with the last error set.
HANDLE OpenDevice(const std::u16string& ntName, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                  DWORD flagsAndAttributes);

} // namespace user
