// Output pins of the platform's filters.
#include "dshow/OutputPin.h"

#include "dshow/Filter.h"
#include "dshow/MemAllocator.h"

namespace dshow {

namespace {

bool Complete(const AM_MEDIA_TYPE& type)
{
    return type.majortype != GUID_NULL && type.subtype != GUID_NULL && type.formattype != GUID_NULL;
}

} // namespace

OutputPin::~OutputPin()
{
    BreakConnect();
}

STDMETHODIMP OutputPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    if (!pReceivePin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (const HRESULT hr = CanConnect(pReceivePin); FAILED(hr))
        return hr;
    if (pmt && Complete(*pmt))
        return TryType(pReceivePin, *pmt);
    const AM_MEDIA_TYPE any{};
    const AM_MEDIA_TYPE& wanted = pmt ? *pmt : any;
    for (int i = 0;; ++i) {
        AM_MEDIA_TYPE type{};
        if (GetMediaType(i, &type) != S_OK)
            break;
        const bool connected = TypeMatches(type, wanted) && SUCCEEDED(TryType(pReceivePin, type));
        FreeMediaType(type);
        if (connected)
            return S_OK;
    }
    IEnumMediaTypes* theirs = nullptr;
    if (SUCCEEDED(pReceivePin->EnumMediaTypes(&theirs)) && theirs) {
        AM_MEDIA_TYPE* type = nullptr;
        bool connected = false;
        while (!connected && theirs->Next(1, &type, nullptr) == S_OK) {
            connected = TypeMatches(*type, wanted) && SUCCEEDED(TryType(pReceivePin, *type));
            DeleteMediaType(type);
        }
        theirs->Release();
        if (connected)
            return S_OK;
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT OutputPin::TryType(IPin* receiver, const AM_MEDIA_TYPE& type)
{
    if (CheckMediaType(type) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (const HRESULT hr = PrepareConnect(type); FAILED(hr))
        return hr;
    if (const HRESULT hr = receiver->ReceiveConnection(this, &type); FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    HRESULT hr = SetConnection(receiver, type);
    IMemInputPin* input = nullptr;
    if (SUCCEEDED(hr))
        hr = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (SUCCEEDED(hr)) {
        input_ = input;
        hr = DecideAllocator(input);
    }
    if (SUCCEEDED(hr))
        hr = CompleteConnect(receiver);
    if (FAILED(hr)) {
        receiver->Disconnect();
        BreakConnect();
        ClearConnection();
    }
    return hr;
}

HRESULT OutputPin::DecideAllocator(IMemInputPin* input)
{
    ALLOCATOR_PROPERTIES request{};
    input->GetAllocatorRequirements(&request);
    IMemAllocator* allocator = nullptr;
    if (FAILED(input->GetAllocator(&allocator)) && FAILED(MemAllocator::Create(&allocator)))
        return E_OUTOFMEMORY;
    HRESULT hr = DecideBufferSize(allocator, &request);
    if (SUCCEEDED(hr))
        hr = input->NotifyAllocator(allocator, FALSE);
    if (FAILED(hr)) {
        allocator->Release();
        return hr;
    }
    allocator_ = allocator;
    return S_OK;
}

HRESULT OutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    const AM_MEDIA_TYPE& type = ConnectedType();
    if (request->cBuffers < 1)
        request->cBuffers = 1;
    if (request->cbBuffer < LONG(type.lSampleSize))
        request->cbBuffer = LONG(type.lSampleSize);
    if (request->cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

void OutputPin::BreakConnect()
{
    if (allocator_) {
        allocator_->Release();
        allocator_ = nullptr;
    }
    if (input_) {
        input_->Release();
        input_ = nullptr;
    }
}

STDMETHODIMP OutputPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*)
{
    return E_UNEXPECTED;
}

STDMETHODIMP OutputPin::EndOfStream()
{
    return E_UNEXPECTED;
}

STDMETHODIMP OutputPin::BeginFlush()
{
    return E_UNEXPECTED;
}

STDMETHODIMP OutputPin::EndFlush()
{
    return E_UNEXPECTED;
}

HRESULT OutputPin::Active()
{
    return allocator_ ? allocator_->Commit() : VFW_E_NO_ALLOCATOR;
}

void OutputPin::Inactive()
{
    if (allocator_)
        allocator_->Decommit();
}

HRESULT OutputPin::GetDeliveryBuffer(IMediaSample** sample, DWORD flags)
{
    if (!allocator_)
        return VFW_E_NO_ALLOCATOR;
    return allocator_->GetBuffer(sample, nullptr, nullptr, flags);
}

HRESULT OutputPin::Deliver(IMediaSample* sample)
{
    return input_ ? input_->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT OutputPin::DeliverEndOfStream()
{
    IPin* pin = ConnectedPin();
    return pin ? pin->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT OutputPin::DeliverBeginFlush()
{
    IPin* pin = ConnectedPin();
    return pin ? pin->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT OutputPin::DeliverEndFlush()
{
    IPin* pin = ConnectedPin();
    return pin ? pin->EndFlush() : VFW_E_NOT_CONNECTED;
}

} // namespace dshow
