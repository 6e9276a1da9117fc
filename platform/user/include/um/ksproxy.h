// The kernel-streaming proxy's interfaces: the filter (and each connected pin) hands out its kernel
// handle through IKsObject and sends property and event requests through IKsControl; the media types
// of pins that connect outside kernel streaming (a crossbar's wires, a capture filter's analog input).
#pragma once
#include "um/ks.h"
#include "um/strmif.h"

// The kernel handle of a proxied filter or of a connected pin's instance; NULL for a pin that has none.
// The handle stays the proxy's: callers never close it.
struct IKsObject : IUnknown {
    STDMETHOD_(HANDLE, KsGetObjectHandle)() PURE;

protected:
    ~IKsObject() = default;
};
STANDIN_INTERFACE_IID(IKsObject, 0x423C13A2, 0x2070, 0x11D0, 0x9E, 0xF7, 0x00, 0xAA, 0x00, 0xA2, 0x16, 0xA1);

// Requests on the proxied object. KsProperty sends IOCTL_KS_PROPERTY. KsEvent with a descriptor sends
// it as IOCTL_KS_ENABLE_EVENT (an enable, a basic-support or a buffer query, by its flags); with no
// descriptor (NULL, length 0) it disables the event that EventData enabled (IOCTL_KS_DISABLE_EVENT).
// Results are S_OK or HRESULT_FROM_WIN32 of the request's Win32 error, as KsSynchronousDeviceControl
// gives them.
struct IKsControl : IUnknown {
    STDMETHOD(KsProperty)(PKSPROPERTY Property, ULONG PropertyLength, LPVOID PropertyData, ULONG DataLength,
                          ULONG* BytesReturned) PURE;
    STDMETHOD(KsEvent)(PKSEVENT Event, ULONG EventLength, LPVOID EventData, ULONG DataLength,
                       ULONG* BytesReturned) PURE;

protected:
    ~IKsControl() = default;
};
STANDIN_INTERFACE_IID(IKsControl, 0x28F54685, 0x06FD, 0x11D2, 0xB2, 0x7A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96);

// Analog signals between filters: connected by medium, never streamed through kernel streaming.
DEFINE_GUIDSTRUCT_VALUE(MEDIATYPE_AnalogVideo, 0x0482DDE1L, 0x7817, 0x11CF, 0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E,
                        0xCB, 0x65);
DEFINE_GUIDSTRUCT_VALUE(MEDIATYPE_AnalogAudio, 0x0482DEE1L, 0x7817, 0x11CF, 0x8A, 0x03, 0x00, 0xAA, 0x00, 0x6E,
                        0xCB, 0x65);
