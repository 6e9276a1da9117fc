// DeleteFile: an open for deletion that removes the file when it closes.
#include "files/FileNames.h"
#include "files/FileOpen.h"
#include "km/file.h"
#include "km/object.h"
#include "km/status.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/fileapi.h"
#include "um/winerror.h"
#include "um/winternl.h"

extern "C" BOOL WINAPI DeleteFileW(LPCWSTR lpFileName)
{
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const user::ResolvedName name = user::ResolveWin32Name(lpFileName);
    if (name.kind != user::ResolvedName::File) {
        SetLastError(name.kind == user::ResolvedName::Network ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    user::FileOpen open;
    open.access = DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES;
    open.shareAccess = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    open.disposition = FILE_OPEN;
    open.options = FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE | FILE_SYNCHRONOUS_IO_NONALERT;
    HANDLE handle = nullptr;
    ULONG_PTR information = 0;
    const NTSTATUS status = user::OpenFile(name.ntName, open, &handle, &information);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));
        return FALSE;
    }
    ZwClose(handle);
    return TRUE;
}

extern "C" BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return DeleteFileW(user::WideFromAnsi(lpFileName).c_str());
}
