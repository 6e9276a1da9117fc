// CancelIo and CancelIoEx: cancel the requests pending on a device handle, as closing it would, but
// leave the handle open. Every request here is synchronous, so the thread that sent one is blocked in
// it: CancelIo (the calling thread's requests) finds one only when called from a routine that runs on
// that thread, and the way for another thread to stop a blocked caller is CancelIoEx with no
// OVERLAPPED record.
#include "km/fileobject.h"
#include "km/thread.h"
#include "standin/devicefile.h"
#include "um/errhandlingapi.h"
#include "um/ioapiset.h"
#include "um/winerror.h"
#include "um/winternl.h"

namespace {

BOOL CancelRequests(HANDLE hFile, PETHREAD thread)
{
    PFILE_OBJECT file = nullptr;
    const NTSTATUS opened = standin::ReferenceDeviceFile(hFile, UserMode, &file);
    if (!NT_SUCCESS(opened)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const size_t cancelled = standin::CancelDeviceFileRequests(file, thread);
    ObDereferenceObject(file);
    if (cancelled == 0) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

} // namespace

extern "C" BOOL WINAPI CancelIo(HANDLE hFile)
{
    return CancelRequests(hFile, PsGetCurrentThread());
}

extern "C" BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped)
{
    // No request here is overlapped, so no OVERLAPPED record names one.
    if (lpOverlapped) {
        PFILE_OBJECT file = nullptr;
        if (!NT_SUCCESS(standin::ReferenceDeviceFile(hFile, UserMode, &file))) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        ObDereferenceObject(file);
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    return CancelRequests(hFile, nullptr);
}
