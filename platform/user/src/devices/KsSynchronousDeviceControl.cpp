// KsSynchronousDeviceControl: DeviceIoControl with the outcome as an HRESULT.
#include "um/errhandlingapi.h"
#include "um/ioapiset.h"
#include "um/ks.h"

extern "C" HRESULT WINAPI KsSynchronousDeviceControl(HANDLE Handle, ULONG IoControl, PVOID InBuffer, ULONG InLength,
                                                     PVOID OutBuffer, ULONG OutLength, PULONG BytesReturned)
{
    if (!BytesReturned)
        return E_POINTER;
    DWORD bytes = 0;
    const BOOL done = DeviceIoControl(Handle, IoControl, InBuffer, InLength, OutBuffer, OutLength, &bytes, nullptr);
    *BytesReturned = bytes;
    return done ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}
