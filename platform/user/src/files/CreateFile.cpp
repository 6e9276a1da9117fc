// CreateFile: a Win32 name to a file on the machine's drives or to a device, with Win32's
// dispositions and last errors.
#include "devices/DeviceOpen.h"
#include "files/FileNames.h"
#include "files/FileOpen.h"
#include "km/file.h"
#include "km/status.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/fileapi.h"
#include "um/handleapi.h"
#include "um/winerror.h"
#include "um/winternl.h"

namespace {

HANDLE Fail(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenDriveFile(const std::u16string& ntName, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                     DWORD flagsAndAttributes)
{
    user::FileOpen open;
    if (!user::NtDispositionOf(creationDisposition, &open.disposition))
        return Fail(ERROR_INVALID_PARAMETER);
    if (creationDisposition == TRUNCATE_EXISTING && !(desiredAccess & (GENERIC_WRITE | GENERIC_ALL)) &&
        !(desiredAccess & FILE_WRITE_DATA))
        return Fail(ERROR_INVALID_PARAMETER);
    // Reads and writes here are synchronous only.
    if (flagsAndAttributes & FILE_FLAG_OVERLAPPED)
        return Fail(ERROR_NOT_SUPPORTED);
    open.access = desiredAccess | SYNCHRONIZE | FILE_READ_ATTRIBUTES;
    open.shareAccess = shareMode;
    open.options = FILE_SYNCHRONOUS_IO_NONALERT;
    if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS))
        open.options |= FILE_NON_DIRECTORY_FILE;
    if (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH)
        open.options |= FILE_WRITE_THROUGH;
    if (flagsAndAttributes & FILE_FLAG_NO_BUFFERING)
        open.options |= FILE_NO_INTERMEDIATE_BUFFERING;
    if (flagsAndAttributes & FILE_FLAG_RANDOM_ACCESS)
        open.options |= FILE_RANDOM_ACCESS;
    if (flagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN)
        open.options |= FILE_SEQUENTIAL_ONLY;
    if (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) {
        open.options |= FILE_DELETE_ON_CLOSE;
        open.access |= DELETE;
    }
    // The attribute bits a file can carry; the host keeps none of them.
    open.attributes = flagsAndAttributes & 0x7FA7 & ~FILE_ATTRIBUTE_DIRECTORY;

    HANDLE handle = nullptr;
    ULONG_PTR information = 0;
    const NTSTATUS status = user::OpenFile(ntName, open, &handle, &information);
    if (status == STATUS_OBJECT_NAME_COLLISION)
        return Fail(ERROR_FILE_EXISTS);
    if (!NT_SUCCESS(status))
        return Fail(RtlNtStatusToDosError(status));
    const bool existed = information == FILE_OPENED || information == FILE_OVERWRITTEN;
    SetLastError((creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS) && existed
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    return handle;
}

} // namespace

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE)
{
    if (!lpFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    const user::ResolvedName name = user::ResolveWin32Name(lpFileName);
    switch (name.kind) {
    case user::ResolvedName::File:
        return OpenDriveFile(name.ntName, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
    case user::ResolvedName::Device:
        return user::OpenDevice(name.ntName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                                dwFlagsAndAttributes);
    case user::ResolvedName::Network:
        return Fail(ERROR_BAD_NETPATH);
    case user::ResolvedName::Invalid:
        break;
    }
    return Fail(ERROR_PATH_NOT_FOUND);
}

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    if (!lpFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    const std::u16string name = user::WideFromAnsi(lpFileName);
    return CreateFileW(name.c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                       dwFlagsAndAttributes, hTemplateFile);
}
