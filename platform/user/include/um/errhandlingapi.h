// The calling thread's last error, which failing Win32 calls set.
#pragma once
#include "um/windef.h"

extern "C" {
DWORD WINAPI GetLastError();
VOID WINAPI SetLastError(DWORD dwErrCode);
}
