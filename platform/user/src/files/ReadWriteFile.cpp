// ReadFile and WriteFile: synchronous transfers at the handle's file pointer, through ZwReadFile and
// ZwWriteFile.
#include "km/file.h"
#include "km/status.h"
#include "um/errhandlingapi.h"
#include "um/fileapi.h"
#include "um/winerror.h"
#include "um/winternl.h"

namespace {

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// The checks both calls make before the transfer.
bool Acceptable(const void* buffer, DWORD length, LPDWORD count, LPOVERLAPPED overlapped)
{
    if (overlapped) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    if (!count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    *count = 0;
    if (!buffer && length) {
        SetLastError(ERROR_NOACCESS);
        return false;
    }
    return true;
}

} // namespace

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped)
{
    if (!Acceptable(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped))
        return FALSE;
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        ZwReadFile(hFile, nullptr, nullptr, nullptr, &io, lpBuffer, nNumberOfBytesToRead, nullptr, nullptr);
    // The end of the file is a read of nothing.
    if (status == STATUS_END_OF_FILE)
        return TRUE;
    if (!NT_SUCCESS(status))
        return Fail(RtlNtStatusToDosError(status));
    *lpNumberOfBytesRead = static_cast<DWORD>(io.Information);
    return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped)
{
    if (!Acceptable(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped))
        return FALSE;
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ZwWriteFile(hFile, nullptr, nullptr, nullptr, &io, const_cast<PVOID>(lpBuffer),
                                        nNumberOfBytesToWrite, nullptr, nullptr);
    *lpNumberOfBytesWritten = static_cast<DWORD>(io.Information);
    if (!NT_SUCCESS(status))
        return Fail(RtlNtStatusToDosError(status));
    return TRUE;
}
