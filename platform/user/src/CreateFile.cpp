// CreateFile for devices: the Win32 path forms turned into the object namespace's names, the
// disposition and flags into the create request's, and the outcome into a handle or a last error.
#include "km/fileobject.h"
#include "km/string.h"
#include "standin/devicefile.h"
#include "um/errhandlingapi.h"
#include "um/fileapi.h"
#include "um/handleapi.h"
#include "um/winerror.h"
#include "um/winternl.h"

#include <string>

namespace {

// "\\.\X" and "\\?\X" name "\??\X"; a name already in the "\??\" form passes as it is.
std::u16string NtPathOf(std::u16string_view path)
{
    if (path.starts_with(u"\\\\.\\") || path.starts_with(u"\\\\?\\") || path.starts_with(u"\\??\\"))
        return u"\\??\\" + std::u16string(path.substr(4));
    return u"\\??\\" + std::u16string(path);
}

bool DispositionOf(DWORD creationDisposition, ULONG* disposition)
{
    switch (creationDisposition) {
    case CREATE_NEW:
        *disposition = FILE_CREATE;
        return true;
    case CREATE_ALWAYS:
        *disposition = FILE_OVERWRITE_IF;
        return true;
    case OPEN_EXISTING:
        *disposition = FILE_OPEN;
        return true;
    case OPEN_ALWAYS:
        *disposition = FILE_OPEN_IF;
        return true;
    case TRUNCATE_EXISTING:
        *disposition = FILE_OVERWRITE;
        return true;
    default:
        return false;
    }
}

} // namespace

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE)
{
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string_view name(lpFileName);
    if (name.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    standin::DeviceOpenRequest request;
    if (!DispositionOf(dwCreationDisposition, &request.createDisposition)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Win32 always asks for the right to wait on the handle and to read attributes.
    request.desiredAccess = dwDesiredAccess | SYNCHRONIZE | FILE_READ_ATTRIBUTES;
    request.shareAccess = dwShareMode;
    request.createOptions =
        FILE_NON_DIRECTORY_FILE |
        ((dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) ? 0 : FILE_SYNCHRONOUS_IO_NONALERT);
    request.fileAttributes = dwFlagsAndAttributes & 0x7FA7;
    request.requestorMode = UserMode;

    HANDLE handle = nullptr;
    const NTSTATUS status = standin::OpenDeviceFile(NtPathOf(name), nullptr, request, &handle);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
}

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ANSI_STRING ansi;
    RtlInitAnsiString(&ansi, lpFileName);
    UNICODE_STRING wide{};
    const NTSTATUS status = RtlAnsiStringToUnicodeString(&wide, &ansi, TRUE);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string name(wide.Buffer, wide.Length / sizeof(WCHAR));
    RtlFreeUnicodeString(&wide);
    return CreateFileW(name.c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                       dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}
