// The Windows directory and the current directory.
#include "files/FileNames.h"
#include "files/FileOpen.h"
#include "km/file.h"
#include "km/object.h"
#include "km/status.h"
#include "text/AnsiText.h"
#include "text/TextOut.h"
#include "um/errhandlingapi.h"
#include "um/processenv.h"
#include "um/sysinfoapi.h"
#include "um/winerror.h"
#include "um/winternl.h"

namespace {

const std::u16string kWindowsDirectory = u"C:\\Windows";

} // namespace

extern "C" UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize)
{
    return user::CopyTextOut(kWindowsDirectory, lpBuffer, uSize);
}

extern "C" UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return user::CopyTextOut(user::AnsiFromWide(kWindowsDirectory), lpBuffer, uSize);
}

extern "C" DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer)
{
    return user::CopyTextOut(user::CurrentDirectory(), lpBuffer, nBufferLength);
}

extern "C" DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    return user::CopyTextOut(user::AnsiFromWide(user::CurrentDirectory()), lpBuffer, nBufferLength);
}

extern "C" BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName)
{
    if (!lpPathName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const user::ResolvedName name = user::ResolveWin32Name(lpPathName);
    if (name.kind != user::ResolvedName::File) {
        SetLastError(name.kind == user::ResolvedName::Network ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // The folder must exist: open it as one.
    user::FileOpen open;
    open.access = FILE_READ_DATA | SYNCHRONIZE;
    open.shareAccess = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    open.disposition = FILE_OPEN;
    open.options = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT;
    std::u16string folder = name.ntName;
    if (folder.size() > 7 && folder.ends_with(u'\\'))
        folder.pop_back();
    HANDLE handle = nullptr;
    ULONG_PTR information = 0;
    const NTSTATUS status = user::OpenFile(folder, open, &handle, &information);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));
        return FALSE;
    }
    ZwClose(handle);
    user::SetCurrentDirectoryName(folder.substr(4));
    return TRUE;
}

extern "C" BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName)
{
    if (!lpPathName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return SetCurrentDirectoryW(user::WideFromAnsi(lpPathName).c_str());
}
