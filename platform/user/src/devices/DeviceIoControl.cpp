// DeviceIoControl: a synchronous device-control request on a device handle, with the final status
// turned into Win32's result, byte count and last error; kernel-streaming requests are logged.
#include "devices/DeviceControl.h"
#include "devices/KsRequestLog.h"
#include "km/fileobject.h"
#include "standin/devicefile.h"
#include "um/errhandlingapi.h"
#include "um/ioapiset.h"
#include "um/winerror.h"
#include "um/winternl.h"

BOOL user::DeviceControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                         LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                         const std::function<void()>& dispatched)
{
    if (!lpBytesReturned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpBytesReturned = 0;
    if ((!lpInBuffer && nInBufferSize) || (!lpOutBuffer && nOutBufferSize)) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    PFILE_OBJECT file = nullptr;
    const NTSTATUS opened = standin::ReferenceDeviceFile(hDevice, UserMode, &file);
    if (!NT_SUCCESS(opened)) {
        SetLastError(RtlNtStatusToDosError(opened));
        return FALSE;
    }
    const IO_STATUS_BLOCK result = standin::DeviceIoControlFile(
        file, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, UserMode, dispatched);
    ObDereferenceObject(file);
    const bool gaveCount = NT_SUCCESS(result.Status) || NT_WARNING(result.Status);
    user::LogKsRequest(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, nOutBufferSize,
                       gaveCount ? static_cast<ULONG>(result.Information) : 0, result.Status);
    if (NT_SUCCESS(result.Status)) {
        *lpBytesReturned = static_cast<DWORD>(result.Information);
        return TRUE;
    }
    if (NT_WARNING(result.Status))
        *lpBytesReturned = static_cast<DWORD>(result.Information);
    SetLastError(RtlNtStatusToDosError(result.Status));
    return FALSE;
}

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                       DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                                       LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped)
{
    if (lpOverlapped) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return user::DeviceControl(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize,
                               lpBytesReturned, {});
}
