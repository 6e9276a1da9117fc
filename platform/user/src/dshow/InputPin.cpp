// Input pins of the platform's filters.
#include "dshow/InputPin.h"

#include "dshow/Filter.h"
#include "dshow/MemAllocator.h"

namespace dshow {

InputPin::~InputPin()
{
    if (allocator_)
        allocator_->Release();
}

STDMETHODIMP InputPin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMemInputPin)
        return Give<IMemInputPin>(this, ppv);
    return Pin::QueryInterface(riid, ppv);
}

STDMETHODIMP InputPin::Connect(IPin*, const AM_MEDIA_TYPE*)
{
    // Connections are made from the output side.
    return E_UNEXPECTED;
}

STDMETHODIMP InputPin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    if (!pConnector || !pmt)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (const HRESULT hr = CanConnect(pConnector); FAILED(hr))
        return hr;
    if (CheckMediaType(*pmt) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (const HRESULT hr = SetConnection(pConnector, *pmt); FAILED(hr))
        return hr;
    const HRESULT completed = CompleteConnect(pConnector);
    if (FAILED(completed)) {
        BreakConnect();
        ClearConnection();
    }
    return completed;
}

void InputPin::BreakConnect()
{
    if (allocator_) {
        allocator_->Release();
        allocator_ = nullptr;
    }
}

STDMETHODIMP InputPin::EndOfStream()
{
    if (filter_->State() == State_Stopped)
        return VFW_E_WRONG_STATE;
    if (flushing_)
        return S_FALSE;
    endOfStream_ = true;
    return OnEndOfStream();
}

STDMETHODIMP InputPin::BeginFlush()
{
    flushing_ = true;
    return OnBeginFlush();
}

STDMETHODIMP InputPin::EndFlush()
{
    flushing_ = false;
    endOfStream_ = false;
    return OnEndFlush();
}

HRESULT InputPin::Active()
{
    flushing_ = false;
    endOfStream_ = false;
    return S_OK;
}

STDMETHODIMP InputPin::GetAllocator(IMemAllocator** ppAllocator)
{
    if (!ppAllocator)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (!allocator_ && FAILED(MemAllocator::Create(&allocator_)))
        return E_OUTOFMEMORY;
    *ppAllocator = allocator_;
    allocator_->AddRef();
    return S_OK;
}

STDMETHODIMP InputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL)
{
    if (!pAllocator)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    pAllocator->AddRef();
    if (allocator_)
        allocator_->Release();
    allocator_ = pAllocator;
    return S_OK;
}

STDMETHODIMP InputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*)
{
    return E_NOTIMPL;
}

STDMETHODIMP InputPin::Receive(IMediaSample* pSample)
{
    if (!pSample)
        return E_POINTER;
    if (filter_->State() == State_Stopped)
        return VFW_E_WRONG_STATE;
    if (flushing_)
        return S_FALSE;
    if (endOfStream_)
        return VFW_E_SAMPLE_REJECTED_EOS;
    return OnReceive(pSample);
}

STDMETHODIMP InputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed)
{
    if (!pSamples || !nSamplesProcessed)
        return E_POINTER;
    *nSamplesProcessed = 0;
    HRESULT hr = S_OK;
    while (*nSamplesProcessed < nSamples) {
        hr = Receive(pSamples[*nSamplesProcessed]);
        if (hr != S_OK)
            break;
        ++*nSamplesProcessed;
    }
    return hr;
}

STDMETHODIMP InputPin::ReceiveCanBlock()
{
    return S_FALSE;
}

} // namespace dshow
