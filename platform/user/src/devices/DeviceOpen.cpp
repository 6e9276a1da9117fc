// Opening devices: the disposition and flags of CreateFile as the create request's, and the outcome
// as a handle or a last error.
#include "devices/DeviceOpen.h"

#include "files/FileNames.h"
#include "km/fileobject.h"
#include "standin/devicefile.h"
#include "um/errhandlingapi.h"
#include "um/fileapi.h"
#include "um/handleapi.h"
#include "um/winerror.h"
#include "um/winternl.h"

namespace user {

HANDLE OpenDevice(const std::u16string& ntName, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                  DWORD flagsAndAttributes)
{
    standin::DeviceOpenRequest request;
    if (!NtDispositionOf(creationDisposition, &request.createDisposition)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Win32 always asks for the right to wait on the handle and to read attributes.
    request.desiredAccess = desiredAccess | SYNCHRONIZE | FILE_READ_ATTRIBUTES;
    request.shareAccess = shareMode;
    request.createOptions =
        FILE_NON_DIRECTORY_FILE | ((flagsAndAttributes & FILE_FLAG_OVERLAPPED) ? 0 : FILE_SYNCHRONOUS_IO_NONALERT);
    request.fileAttributes = flagsAndAttributes & 0x7FA7;
    request.requestorMode = UserMode;

    HANDLE handle = nullptr;
    const NTSTATUS status = standin::OpenDeviceFile(ntName, nullptr, request, &handle);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
}

} // namespace user
