// CAudioSampleCB: the audio grabber's callback. On the streaming thread it copies each block of
// samples into the owning control's buffer under the control's lock and then posts
// WM_AUDIO_SAMPLE to the parent of the control window. The control owns it.
#pragma once
#include "um/qedit.h"
#include "um/windows.h"

class CAudioSampleCB final : public ISampleGrabberCB {
public:
    CAudioSampleCB(CRITICAL_SECTION* lock, ULONG* frameSize, BYTE** frame, HWND control);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }

    CRITICAL_SECTION* m_pLock;
    ULONG* m_pFrameSize;
    BYTE** m_ppFrame;
    HWND m_hWndControl;
};
