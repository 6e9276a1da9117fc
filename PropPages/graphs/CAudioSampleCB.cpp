#include "graphs/CAudioSampleCB.h"

#include "graphs/CFilterGraphCtrl.h"

#include <cstdlib>
#include <cstring>

CAudioSampleCB::CAudioSampleCB(CRITICAL_SECTION* lock, ULONG* frameSize, BYTE** frame, HWND control)
    : m_pLock(lock), m_pFrameSize(frameSize), m_ppFrame(frame), m_hWndControl(control)
{
}

HRESULT CAudioSampleCB::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = riid == IID_ISampleGrabberCB || riid == IID_IUnknown ? static_cast<ISampleGrabberCB*>(this) : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
}

HRESULT CAudioSampleCB::SampleCB(double, IMediaSample* sample)
{
    if (!sample || !IsWindow(m_hWndControl))
        return S_OK;
    EnterCriticalSection(m_pLock);
    const LONG length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    if (length <= 0 || FAILED(sample->GetPointer(&data)) || !data) {
        LeaveCriticalSection(m_pLock);
        return S_OK;
    }
    if (!*m_ppFrame) {
        *m_ppFrame = static_cast<BYTE*>(std::malloc(size_t(length)));
        *m_pFrameSize = *m_ppFrame ? ULONG(length) : 0;
    }
    // The buffer keeps the size of the first block: a larger block is cut to it.
    if (*m_ppFrame)
        std::memcpy(*m_ppFrame, data, std::min<size_t>(size_t(length), *m_pFrameSize));
    LeaveCriticalSection(m_pLock);
    if (IsWindow(m_hWndControl))
        PostMessageW(GetParent(m_hWndControl), WM_AUDIO_SAMPLE, 0, 0);
    return S_OK;
}
