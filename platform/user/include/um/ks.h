// The kernel-streaming calls of applications and the property pages: KsSynchronousDeviceControl on a
// filter or pin handle, KsCreatePin, the records that travel with IOCTL_KS_PROPERTY and the event
// requests, the cookie a buffered-event query carries for the enabling KSEVENTDATA, and the master
// clock a graph sets on its pins; the stream headers of IOCTL_KS_READ_STREAM.
#pragma once
#include "shared/kscategories.h"
#include "shared/kspinrecords.h"
#include "shared/ksrecords.h"
#include "shared/ksstreamrecords.h"
#include "um/windef.h"
#include "um/winerror.h"

extern "C" {
// One synchronous device-control request: S_OK on success; otherwise HRESULT_FROM_WIN32 of the
// request's Win32 error (a buffer-overflow warning gives ERROR_MORE_DATA with the needed size in
// *BytesReturned). E_POINTER without BytesReturned.
HRESULT WINAPI KsSynchronousDeviceControl(HANDLE Handle, ULONG IoControl, PVOID InBuffer, ULONG InLength,
                                          PVOID OutBuffer, ULONG OutLength, PULONG BytesReturned);
// Creates a pin on the filter FilterHandle: Connect is followed in memory by the KSDATAFORMAT (with its
// format block, FormatSize bytes, and its attribute list when it has one). Returns ERROR_SUCCESS with
// the pin's handle in *ConnectionHandle, or the Win32 error of the driver's refusal;
// ERROR_INVALID_PARAMETER for a missing argument or a format too large to send.
DWORD WINAPI KsCreatePin(HANDLE FilterHandle, PKSPIN_CONNECT Connect, ACCESS_MASK DesiredAccess,
                         PHANDLE ConnectionHandle);
}

namespace standin {
// The value a KSQUERYBUFFER's EventData carries for the KSEVENTDATA at `eventData` while it enables
// an event; 0 when it enables none.
ULONG KsEventDataCookie(const void* eventData);
// A clock on the machine's clock for a graph to set on its pins (KSPROPERTY_STREAM_MASTERCLOCK with
// the handle's 32-bit value); CloseHandle closes it. NULL when it cannot be made.
HANDLE CreateMachineClock();
// KsCreatePin for pin `pinId` on the standard interface and medium at normal priority, with the
// connect record and the `formatBytes` bytes of `format` after it (8-byte aligned, as the framework
// reads them). KsCreatePin's result.
DWORD KsCreateStandardPin(HANDLE filter, ULONG pinId, const void* format, size_t formatBytes, PHANDLE pin);
} // namespace standin
