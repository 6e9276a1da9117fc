// CVideoSampleCB: the video grabber's callback. On the streaming thread it copies each sample into
// the owning control's frame buffer under the control's lock (32-bit RGB turned top-down, other
// compressed formats unchanged) and then posts WM_VIDEO_SAMPLE to the parent of the control window.
// The control owns it: AddRef and Release count nothing.
#pragma once
#include "um/qedit.h"
#include "um/windows.h"

class CVideoSampleCB final : public ISampleGrabberCB {
public:
    CVideoSampleCB(CRITICAL_SECTION* lock, const RECT& video, ULONG* frameSize, BYTE** frame, HWND control);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }

    // Copies `length` bytes of a sample into the frame buffer as SampleCB does; the caller holds
    // the lock. At most the buffer's size is written and at most `length` bytes are read.
    void CopyFrame(const BYTE* data, ULONG length);

    BITMAPINFOHEADER m_header{};
    IMediaSample* m_pSample = nullptr;
    CRITICAL_SECTION* m_pLock;
    RECT m_rcVideo;
    ULONG* m_pFrameSize;
    BYTE** m_ppFrame;
    HWND m_hWndControl;
    bool m_skip = false;
};
