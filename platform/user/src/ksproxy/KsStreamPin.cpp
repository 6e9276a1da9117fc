// Streaming output pins of the proxy.
#include "ksproxy/KsStreamPin.h"

#include "dshow/Filter.h"
#include "um/fileapi.h"
#include "um/handleapi.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace ksproxy {

KsStreamPin::KsStreamPin(dshow::Filter* filter, HANDLE filterHandle, PinFactory factory,
                         std::vector<OfferedType> types)
    : OutputPin(filter, factory.name), filterHandle_(filterHandle), factory_(std::move(factory)),
      types_(std::move(types)), capsSize_(CapsSize(types_))
{
}

KsStreamPin::~KsStreamPin()
{
    BreakConnect();
    FreeMediaType(set_);
}

STDMETHODIMP KsStreamPin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IAMStreamConfig)
        return dshow::Give<IAMStreamConfig>(this, ppv);
    if (riid == IID_IKsPropertySet)
        return dshow::Give<IKsPropertySet>(this, ppv);
    if (riid == IID_IKsObject)
        return dshow::Give<IKsObject>(this, ppv);
    return Pin::QueryInterface(riid, ppv);
}

HRESULT KsStreamPin::CheckMediaType(const AM_MEDIA_TYPE& type)
{
    if (hasSet_)
        return SameType(type, set_) ? S_OK : S_FALSE;
    for (const OfferedType& offered : types_) {
        if (offered.type.majortype == type.majortype && offered.type.subtype == type.subtype &&
            offered.type.formattype == type.formattype && offered.type.cbFormat <= type.cbFormat)
            return S_OK;
    }
    return S_FALSE;
}

HRESULT KsStreamPin::GetMediaType(int index, AM_MEDIA_TYPE* type)
{
    if (index < 0)
        return E_INVALIDARG;
    if (hasSet_)
        return index == 0 ? CopyMediaType(type, &set_) : S_FALSE;
    if (size_t(index) >= types_.size())
        return S_FALSE;
    return CopyMediaType(type, &types_[size_t(index)].type);
}

STDMETHODIMP KsStreamPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    createError_ = S_OK;
    const HRESULT hr = OutputPin::Connect(pReceivePin, pmt);
    return FAILED(hr) && FAILED(createError_) ? createError_ : hr;
}

HRESULT KsStreamPin::PrepareConnect(const AM_MEDIA_TYPE& type)
{
    const std::vector<BYTE> format = DataFormatOf(type);
    if (format.empty())
        return VFW_E_TYPE_NOT_ACCEPTED;
    // The connect record with the format after it, 8-byte aligned as the framework reads it.
    std::vector<uint64_t> request((sizeof(KSPIN_CONNECT) + format.size() + 7) / 8, 0);
    KSPIN_CONNECT connect{};
    connect.Medium = factory_.mediums.empty() ? KSPIN_MEDIUM{KSMEDIUMSETID_Standard, KSMEDIUM_STANDARD_DEVIO, 0}
                                              : factory_.mediums.front();
    connect.Interface = {KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING, 0};
    connect.PinId = factory_.id;
    connect.Priority.PriorityClass = KSPRIORITY_NORMAL;
    auto* bytes = reinterpret_cast<BYTE*>(request.data());
    std::memcpy(bytes, &connect, sizeof connect);
    std::memcpy(bytes + sizeof connect, format.data(), format.size());
    HANDLE pin = nullptr;
    const DWORD error = KsCreatePin(filterHandle_, reinterpret_cast<PKSPIN_CONNECT>(bytes), GENERIC_READ, &pin);
    if (error != ERROR_SUCCESS) {
        createError_ = HRESULT_FROM_WIN32(error);
        return createError_;
    }
    kernelPin_ = pin;
    state_ = KSSTATE_STOP;
    return S_OK;
}

HRESULT KsStreamPin::PinProperty(ULONG id, ULONG flags, void* data, ULONG length, ULONG* bytes)
{
    KSPROPERTY property{KSPROPSETID_Connection, id, flags};
    return KsSynchronousDeviceControl(kernelPin_.load(), IOCTL_KS_PROPERTY, &property, sizeof property, data,
                                      length, bytes);
}

HRESULT KsStreamPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    const LONG sampleSize = LONG(ConnectedType().lSampleSize);
    LONG count = 4;
    LONG size = sampleSize;
    ULONG bytes = 0;
    if (PinProperty(KSPROPERTY_CONNECTION_ALLOCATORFRAMING_EX, KSPROPERTY_TYPE_GET, nullptr, 0, &bytes) ==
            HRESULT_FROM_WIN32(ERROR_MORE_DATA) &&
        bytes >= sizeof(KSALLOCATOR_FRAMING_EX)) {
        std::vector<BYTE> framing(bytes);
        if (SUCCEEDED(PinProperty(KSPROPERTY_CONNECTION_ALLOCATORFRAMING_EX, KSPROPERTY_TYPE_GET, framing.data(),
                                  bytes, &bytes)) &&
            bytes >= sizeof(KSALLOCATOR_FRAMING_EX)) {
            KSALLOCATOR_FRAMING_EX head;
            std::memcpy(&head, framing.data(), sizeof head);
            if (head.CountItems >= 1) {
                count = LONG(std::max<uint32_t>(head.FramingItem[0].Frames, 1));
                size = LONG(head.FramingItem[0].FramingRange.Range.MaxFrameSize);
            }
        }
    }
    // A frame never gets less room than the format needs, or it would be cut.
    request->cBuffers = count;
    request->cbBuffer = std::max(size, sampleSize);
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    if (request->cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cbBuffer < request->cbBuffer || actual.cBuffers < 1)
        return E_FAIL;
    buffers_ = actual.cBuffers;
    return S_OK;
}

void KsStreamPin::BreakConnect()
{
    StopReading();
    if (HANDLE pin = kernelPin_.exchange(nullptr))
        CloseHandle(pin);
    state_ = KSSTATE_STOP;
    OutputPin::BreakConnect();
}

HRESULT KsStreamPin::StepTo(KSSTATE target)
{
    if (!kernelPin_)
        return S_OK;
    while (state_ != target) {
        KSSTATE next = KSSTATE(state_ < target ? state_ + 1 : state_ - 1);
        ULONG bytes = 0;
        const HRESULT hr = PinProperty(KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET, &next, sizeof next, &bytes);
        if (FAILED(hr))
            return hr;
        state_ = next;
    }
    return S_OK;
}

HRESULT KsStreamPin::SetMasterClock(HANDLE clock)
{
    if (!kernelPin_)
        return S_OK;
    uint32_t value = uint32_t(reinterpret_cast<uintptr_t>(clock));
    KSPROPERTY property{KSPROPSETID_Stream, KSPROPERTY_STREAM_MASTERCLOCK, KSPROPERTY_TYPE_SET};
    ULONG bytes = 0;
    return KsSynchronousDeviceControl(kernelPin_.load(), IOCTL_KS_PROPERTY, &property, sizeof property, &value,
                                      sizeof value, &bytes);
}

void KsStreamPin::StartReading()
{
    if (!kernelPin_ || reader_)
        return;
    // A driver may ask for extended headers on any pin, and a header shorter than its pin's is
    // refused: audio and other types get the video header's room, its extension zeroed.
    uint32_t headerSize = KS_VIDEO_STREAM_HEADER_SIZE;
    if (ConnectedType().majortype == MEDIATYPE_VBI)
        headerSize = KS_VBI_STREAM_HEADER_SIZE;
    reader_ = std::make_unique<KsPinReader>(this, filter_, kernelPin_.load(), headerSize, std::max(buffers_, 1));
}

void KsStreamPin::StopReading()
{
    if (reader_) {
        reader_->Stop();
        reader_.reset();
    }
}

STDMETHODIMP KsStreamPin::SetFormat(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (filter_->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    const OfferedType* match = nullptr;
    for (const OfferedType& offered : types_) {
        if (offered.type.majortype == pmt->majortype && offered.type.subtype == pmt->subtype &&
            offered.type.formattype == pmt->formattype)
            match = &offered;
    }
    if (!match || pmt->cbFormat < match->type.cbFormat || (pmt->cbFormat && !pmt->pbFormat))
        return VFW_E_INVALIDMEDIATYPE;
    AM_MEDIA_TYPE chosen{};
    if (FAILED(CopyMediaType(&chosen, pmt)))
        return E_OUTOFMEMORY;
    chosen.lSampleSize = SampleSizeOf(chosen);
    AM_MEDIA_TYPE previous = set_;
    const bool hadPrevious = hasSet_;
    set_ = chosen;
    hasSet_ = true;
    HRESULT hr = S_OK;
    if (IsConnected()) {
        // A connected pin reconnects with the new format; if the peer refuses it, the old connection
        // comes back.
        IPin* peer = ConnectedPin();
        peer->AddRef();
        AM_MEDIA_TYPE old{};
        CopyMediaType(&old, &ConnectedType());
        peer->Disconnect();
        Disconnect();
        hr = Connect(peer, &set_);
        if (FAILED(hr)) {
            FreeMediaType(set_);
            set_ = previous;
            hasSet_ = hadPrevious;
            previous = AM_MEDIA_TYPE{};
            Connect(peer, &old);
        }
        FreeMediaType(old);
        peer->Release();
    }
    FreeMediaType(previous);
    return hr;
}

STDMETHODIMP KsStreamPin::GetFormat(AM_MEDIA_TYPE** ppmt)
{
    if (!ppmt)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    const AM_MEDIA_TYPE* source = hasSet_ ? &set_ : IsConnected() ? &ConnectedType() : nullptr;
    if (!source && types_.empty())
        return VFW_E_NO_TYPES;
    *ppmt = CreateMediaType(source ? source : &types_.front().type);
    return *ppmt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP KsStreamPin::GetNumberOfCapabilities(int* piCount, int* piSize)
{
    if (!piCount || !piSize)
        return E_POINTER;
    *piCount = int(types_.size());
    *piSize = capsSize_;
    return S_OK;
}

STDMETHODIMP KsStreamPin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC)
{
    if (!ppmt || !pSCC)
        return E_POINTER;
    if (iIndex < 0)
        return E_INVALIDARG;
    if (size_t(iIndex) >= types_.size())
        return S_FALSE;
    const OfferedType& offered = types_[size_t(iIndex)];
    *ppmt = CreateMediaType(&offered.type);
    if (!*ppmt)
        return E_OUTOFMEMORY;
    std::memset(pSCC, 0, size_t(capsSize_));
    std::memcpy(pSCC, offered.caps.data(), std::min(offered.caps.size(), size_t(capsSize_)));
    return S_OK;
}

STDMETHODIMP KsStreamPin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID pPropData,
                              DWORD cbPropData, DWORD* pcbReturned)
{
    return GetPinSetProperty(factory_, guidPropSet, dwPropID, pPropData, cbPropData, pcbReturned);
}

STDMETHODIMP KsStreamPin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport)
{
    return QueryPinSetSupport(guidPropSet, dwPropID, pTypeSupport);
}

} // namespace ksproxy
