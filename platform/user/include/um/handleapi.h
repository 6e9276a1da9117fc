// Closing handles. User handles live in the same process-wide table as the kernel's own but are
// marked as the user's, so user mode can neither use nor close a kernel handle.
#pragma once
#include "um/windef.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

extern "C" {
// Closes a user handle of any kind. Closing the last handle of a device file cancels the requests
// still pending on it and sends the cleanup request; the close request follows when the last of
// them has finished. FALSE with ERROR_INVALID_HANDLE for a handle that is not an open user handle.
BOOL WINAPI CloseHandle(HANDLE hObject);
}
