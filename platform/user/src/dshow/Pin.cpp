// What every pin of the platform's filters shares.
#include "dshow/Pin.h"

#include "dshow/Filter.h"
#include "dshow/MediaTypeEnumerator.h"

#include <algorithm>
#include <cstring>

namespace dshow {

bool TypeMatches(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& partial)
{
    return (partial.majortype == GUID_NULL || partial.majortype == type.majortype) &&
           (partial.subtype == GUID_NULL || partial.subtype == type.subtype) &&
           (partial.formattype == GUID_NULL || partial.formattype == type.formattype);
}

Pin::Pin(Filter* filter, std::u16string name, PIN_DIRECTION direction)
    : filter_(filter), name_(std::move(name)), direction_(direction)
{
}

Pin::~Pin()
{
    ClearConnection();
}

STDMETHODIMP Pin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin)
        return Give<IPin>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) Pin::AddRef()
{
    return filter_->AddRef();
}

STDMETHODIMP_(ULONG) Pin::Release()
{
    return filter_->Release();
}

HRESULT Pin::CanConnect(IPin* peer)
{
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    if (filter_->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    PIN_DIRECTION theirs = direction_;
    if (FAILED(peer->QueryDirection(&theirs)) || theirs == direction_)
        return VFW_E_INVALID_DIRECTION;
    return S_OK;
}

HRESULT Pin::SetConnection(IPin* pin, const AM_MEDIA_TYPE& type)
{
    AM_MEDIA_TYPE copy{};
    if (FAILED(CopyMediaType(&copy, &type)))
        return E_OUTOFMEMORY;
    ClearConnection();
    connected_ = pin;
    connected_->AddRef();
    type_ = copy;
    return S_OK;
}

void Pin::ClearConnection()
{
    if (connected_) {
        connected_->Release();
        connected_ = nullptr;
    }
    FreeMediaType(type_);
    type_ = AM_MEDIA_TYPE{};
}

STDMETHODIMP Pin::Disconnect()
{
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (filter_->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!connected_)
        return S_FALSE;
    BreakConnect();
    ClearConnection();
    return S_OK;
}

STDMETHODIMP Pin::ConnectedTo(IPin** pPin)
{
    if (!pPin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    *pPin = connected_;
    if (!connected_)
        return VFW_E_NOT_CONNECTED;
    connected_->AddRef();
    return S_OK;
}

STDMETHODIMP Pin::ConnectionMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (!connected_) {
        *pmt = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &type_);
}

STDMETHODIMP Pin::QueryPinInfo(PIN_INFO* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    *pInfo = PIN_INFO{};
    pInfo->pFilter = filter_;
    filter_->AddRef();
    pInfo->dir = direction_;
    const size_t n = std::min(name_.size(), size_t(MAX_PIN_NAME - 1));
    std::memcpy(pInfo->achName, name_.data(), n * sizeof(WCHAR));
    return S_OK;
}

STDMETHODIMP Pin::QueryDirection(PIN_DIRECTION* pPinDir)
{
    if (!pPinDir)
        return E_POINTER;
    *pPinDir = direction_;
    return S_OK;
}

STDMETHODIMP Pin::QueryId(LPWSTR* Id)
{
    if (!Id)
        return E_POINTER;
    auto* text = static_cast<LPWSTR>(CoTaskMemAlloc((name_.size() + 1) * sizeof(WCHAR)));
    *Id = text;
    if (!text)
        return E_OUTOFMEMORY;
    std::memcpy(text, name_.c_str(), (name_.size() + 1) * sizeof(WCHAR));
    return S_OK;
}

STDMETHODIMP Pin::QueryAccept(const AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    return CheckMediaType(*pmt) == S_OK ? S_OK : S_FALSE;
}

HRESULT Pin::GetMediaType(int, AM_MEDIA_TYPE*)
{
    return S_FALSE;
}

STDMETHODIMP Pin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    return MediaTypeEnumerator::Create(this, ppEnum);
}

STDMETHODIMP Pin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP Pin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

} // namespace dshow
