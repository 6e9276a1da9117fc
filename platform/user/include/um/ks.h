// The kernel-streaming calls of applications and the property pages: KsSynchronousDeviceControl on a
// filter handle, the records that travel with IOCTL_KS_PROPERTY and the event requests, and the
// cookie a buffered-event query carries for the enabling KSEVENTDATA.
#pragma once
#include "shared/kscategories.h"
#include "shared/ksrecords.h"
#include "um/windef.h"
#include "um/winerror.h"

extern "C" {
// One synchronous device-control request: S_OK on success; otherwise HRESULT_FROM_WIN32 of the
// request's Win32 error (a buffer-overflow warning gives ERROR_MORE_DATA with the needed size in
// *BytesReturned). E_POINTER without BytesReturned.
HRESULT WINAPI KsSynchronousDeviceControl(HANDLE Handle, ULONG IoControl, PVOID InBuffer, ULONG InLength,
                                          PVOID OutBuffer, ULONG OutLength, PULONG BytesReturned);
}

namespace standin {
// The value a KSQUERYBUFFER's EventData carries for the KSEVENTDATA at `eventData` while it enables
// an event; 0 when it enables none.
ULONG KsEventDataCookie(const void* eventData);
} // namespace standin
