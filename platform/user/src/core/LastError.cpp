// The calling thread's last error.
#include "um/errhandlingapi.h"

namespace {
thread_local DWORD t_lastError = 0;
}

extern "C" DWORD WINAPI GetLastError()
{
    return t_lastError;
}

extern "C" VOID WINAPI SetLastError(DWORD dwErrCode)
{
    t_lastError = dwErrCode;
}
