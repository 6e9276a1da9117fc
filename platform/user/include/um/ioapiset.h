// Device control from user mode. Every call travels as an IRP_MJ_DEVICE_CONTROL request through the
// I/O manager to the driver, with the caller's buffers passed as the control code's transfer method
// says (see IoBuildDeviceIoControlRequest in the kernel side).
#pragma once
#include "um/minwinbase.h"
#include "um/windef.h"

extern "C" {
// Sends the request and waits for it to finish, however long the driver keeps it pending. Results:
//   success status          TRUE, *lpBytesReturned = the request's Information;
//   STATUS_BUFFER_OVERFLOW  FALSE, ERROR_MORE_DATA, the data copied and *lpBytesReturned set (as
//                           for any warning status, with its own error);
//   error status            FALSE, the last error RtlNtStatusToDosError(status),
//                           *lpBytesReturned = 0 (a cancelled request gives ERROR_OPERATION_ABORTED).
// Bad arguments: an invalid handle gives ERROR_INVALID_HANDLE, a NULL lpBytesReturned
// ERROR_INVALID_PARAMETER, a NULL buffer with a non-zero length ERROR_NOACCESS; an lpOverlapped other
// than NULL ERROR_NOT_SUPPORTED (requests are synchronous here).
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped);
// Cancels the requests pending on hFile that the calling thread sent; each completes with its
// cancelled status (ERROR_OPERATION_ABORTED to its caller). FALSE with ERROR_NOT_FOUND when there is
// none, ERROR_INVALID_HANDLE for a handle that is not a device's. The handle stays open.
BOOL WINAPI CancelIo(HANDLE hFile);
// With lpOverlapped NULL: cancels every request pending on hFile, whichever thread sent it. Requests
// here are never overlapped, so an lpOverlapped record names none (ERROR_NOT_FOUND).
BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped);
}
