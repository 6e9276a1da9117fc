// The sample grabber's interfaces: ISampleGrabber to set what it accepts and how it hands samples
// on, ISampleGrabberCB for the application's callback.
#pragma once
#include "um/strmif.h"

struct ISampleGrabberCB : IUnknown {
    // Called on the upstream streaming thread with the sample (WhichMethodToCallback 0).
    STDMETHOD(SampleCB)(double SampleTime, IMediaSample* pSample) PURE;
    // Called on the upstream streaming thread with the sample's bytes (WhichMethodToCallback 1).
    STDMETHOD(BufferCB)(double SampleTime, BYTE* pBuffer, LONG BufferLen) PURE;

protected:
    ~ISampleGrabberCB() = default;
};
STANDIN_INTERFACE_IID(ISampleGrabberCB, 0x0579154A, 0x2B53, 0x4994, 0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF,
                      0x85);

struct ISampleGrabber : IUnknown {
    STDMETHOD(SetOneShot)(BOOL OneShot) PURE;
    STDMETHOD(SetMediaType)(const AM_MEDIA_TYPE* pType) PURE;
    STDMETHOD(GetConnectedMediaType)(AM_MEDIA_TYPE* pType) PURE;
    STDMETHOD(SetBufferSamples)(BOOL BufferThem) PURE;
    STDMETHOD(GetCurrentBuffer)(LONG* pBufferSize, LONG* pBuffer) PURE;
    STDMETHOD(GetCurrentSample)(IMediaSample** ppSample) PURE;
    STDMETHOD(SetCallback)(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) PURE;

protected:
    ~ISampleGrabber() = default;
};
STANDIN_INTERFACE_IID(ISampleGrabber, 0x6B652FFF, 0x11FE, 0x4FCE, 0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F);
