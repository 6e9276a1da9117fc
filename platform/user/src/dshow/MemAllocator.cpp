// The platform's sample allocator.
#include "dshow/MemAllocator.h"

#include "dshow/MediaSample.h"

#include <algorithm>

namespace dshow {

HRESULT MemAllocator::Create(IMemAllocator** allocator)
{
    auto* made = new (std::nothrow) MemAllocator;
    *allocator = made;
    return made ? S_OK : E_OUTOFMEMORY;
}

MemAllocator::~MemAllocator()
{
    for (MediaSample* sample : samples_)
        delete sample;
}

STDMETHODIMP MemAllocator::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMemAllocator)
        return Give<IMemAllocator>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP MemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual)
{
    if (!pRequest || !pActual)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(lock_);
    if (committed_)
        return VFW_E_ALREADY_COMMITTED;
    if (free_.size() != samples_.size())
        return VFW_E_BUFFERS_OUTSTANDING;
    const LONG align = pRequest->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0)
        return VFW_E_BADALIGN;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0)
        return E_INVALIDARG;
    properties_ = *pRequest;
    // Each buffer is rounded up to the alignment.
    properties_.cbBuffer = (pRequest->cbBuffer + align - 1) / align * align;
    propertiesSet_ = true;
    FreeSamplesLocked();
    *pActual = properties_;
    return S_OK;
}

STDMETHODIMP MemAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps)
{
    if (!pProps)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(lock_);
    *pProps = properties_;
    return S_OK;
}

STDMETHODIMP MemAllocator::Commit()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!propertiesSet_ || properties_.cBuffers <= 0 || properties_.cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    if (committed_)
        return S_OK;
    if (samples_.empty()) {
        for (LONG i = 0; i < properties_.cBuffers; ++i) {
            auto* sample = new (std::nothrow) MediaSample(this, properties_.cbBuffer, properties_.cbPrefix);
            if (!sample) {
                FreeSamplesLocked();
                return E_OUTOFMEMORY;
            }
            samples_.push_back(sample);
            free_.push_back(sample);
        }
    }
    committed_ = true;
    return S_OK;
}

STDMETHODIMP MemAllocator::Decommit()
{
    std::lock_guard<std::mutex> hold(lock_);
    committed_ = false;
    if (free_.size() == samples_.size())
        FreeSamplesLocked();
    returned_.notify_all();
    return S_OK;
}

void MemAllocator::FreeSamplesLocked()
{
    for (MediaSample* sample : samples_)
        delete sample;
    samples_.clear();
    free_.clear();
}

STDMETHODIMP MemAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME*, REFERENCE_TIME*, DWORD dwFlags)
{
    if (!ppBuffer)
        return E_POINTER;
    *ppBuffer = nullptr;
    std::unique_lock<std::mutex> hold(lock_);
    if (dwFlags & AM_GBF_NOWAIT) {
        if (committed_ && free_.empty())
            return VFW_E_TIMEOUT;
    } else {
        returned_.wait(hold, [this] { return !committed_ || !free_.empty(); });
    }
    if (!committed_)
        return VFW_E_NOT_COMMITTED;
    MediaSample* sample = free_.back();
    free_.pop_back();
    sample->Prepare();
    AddRefObject(); // the sample keeps its allocator until it comes back
    *ppBuffer = sample;
    return S_OK;
}

STDMETHODIMP MemAllocator::ReleaseBuffer(IMediaSample* pBuffer)
{
    if (!pBuffer)
        return E_POINTER;
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto* sample = static_cast<MediaSample*>(pBuffer);
        if (std::find(samples_.begin(), samples_.end(), sample) == samples_.end() ||
            std::find(free_.begin(), free_.end(), sample) != free_.end())
            return E_INVALIDARG;
        free_.push_back(sample);
        if (!committed_ && free_.size() == samples_.size())
            FreeSamplesLocked();
        returned_.notify_all();
    }
    ReleaseObject();
    return S_OK;
}

} // namespace dshow
