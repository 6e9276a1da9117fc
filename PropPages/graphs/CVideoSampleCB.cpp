#include "graphs/CVideoSampleCB.h"

#include "graphs/CFilterGraphCtrl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

CVideoSampleCB::CVideoSampleCB(CRITICAL_SECTION* lock, const RECT& video, ULONG* frameSize, BYTE** frame,
                               HWND control)
    : m_pLock(lock), m_rcVideo(video), m_pFrameSize(frameSize), m_ppFrame(frame), m_hWndControl(control)
{
}

HRESULT CVideoSampleCB::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = riid == IID_ISampleGrabberCB || riid == IID_IUnknown ? static_cast<ISampleGrabberCB*>(this) : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
}

void CVideoSampleCB::CopyFrame(const BYTE* data, ULONG length)
{
    if (!*m_ppFrame) {
        *m_ppFrame = static_cast<BYTE*>(std::malloc(length));
        *m_pFrameSize = *m_ppFrame ? length : 0;
        if (!*m_ppFrame)
            return;
    }
    BYTE* frame = *m_ppFrame;
    const size_t capacity = *m_pFrameSize;
    if (m_header.biCompression != BI_RGB) {
        std::memcpy(frame, data, std::min<size_t>(length, capacity));
        return;
    }
    if (m_header.biBitCount != 32 || m_header.biWidth <= 0)
        return;
    // Bottom-up rows turned top-down: the buffer's first row is the sample's last. Only rows that
    // both the sample and the buffer hold whole are copied.
    const size_t stride = size_t((m_header.biWidth * 32 + 31) / 32) * 4;
    const size_t height = size_t(m_header.biHeight < 0 ? -m_header.biHeight : m_header.biHeight);
    const size_t rows = std::min({height, size_t(length) / stride, capacity / stride});
    for (size_t row = 0; row < rows; ++row)
        std::memcpy(frame + row * stride, data + (rows - 1 - row) * stride, stride);
}

HRESULT CVideoSampleCB::SampleCB(double, IMediaSample* sample)
{
    if (!sample || !IsWindow(m_hWndControl))
        return S_OK;
    EnterCriticalSection(m_pLock);
    if (m_skip) {
        LeaveCriticalSection(m_pLock);
        return S_OK;
    }
    const LONG length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    if (length <= 0 || FAILED(sample->GetPointer(&data)) || !data) {
        LeaveCriticalSection(m_pLock);
        return S_OK;
    }
    m_pSample = sample;
    CopyFrame(data, ULONG(length));
    m_pSample = nullptr;
    LeaveCriticalSection(m_pLock);
    if (IsWindow(m_hWndControl))
        PostMessageW(GetParent(m_hWndControl), WM_VIDEO_SAMPLE, reinterpret_cast<WPARAM>(m_hWndControl), 0);
    return S_OK;
}
