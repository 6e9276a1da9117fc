// Pins that connect by medium alone.
#include "ksproxy/KsMediumPin.h"

#include "dshow/Filter.h"

#include <cstring>
#include <mutex>

namespace ksproxy {

namespace {

GUID AnalogTypeOf(const PinFactory& factory)
{
    for (const std::vector<BYTE>& range : factory.ranges) {
        KSDATARANGE head;
        std::memcpy(&head, range.data(), sizeof head);
        if (head.MajorFormat == MEDIATYPE_AnalogAudio || head.MajorFormat == MEDIATYPE_Audio)
            return MEDIATYPE_AnalogAudio;
    }
    return MEDIATYPE_AnalogVideo;
}

} // namespace

KsMediumPin::KsMediumPin(dshow::Filter* filter, PinFactory factory)
    : Pin(filter, factory.name, factory.dataFlow == KSPIN_DATAFLOW_IN ? PINDIR_INPUT : PINDIR_OUTPUT),
      factory_(std::move(factory)), analogType_(AnalogTypeOf(factory_))
{
}

STDMETHODIMP KsMediumPin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IKsPropertySet)
        return dshow::Give<IKsPropertySet>(this, ppv);
    return Pin::QueryInterface(riid, ppv);
}

HRESULT KsMediumPin::CheckMediaType(const AM_MEDIA_TYPE& type)
{
    return type.majortype == analogType_ ? S_OK : S_FALSE;
}

HRESULT KsMediumPin::GetMediaType(int index, AM_MEDIA_TYPE* type)
{
    if (index != 0)
        return S_FALSE;
    *type = AM_MEDIA_TYPE{};
    type->majortype = analogType_;
    type->formattype = FORMAT_None;
    return S_OK;
}

HRESULT KsMediumPin::CheckPeerMedium(IPin* peer) const
{
    IKsPropertySet* properties = nullptr;
    if (FAILED(peer->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&properties))))
        return VFW_E_NO_ACCEPTABLE_TYPES;
    KSPIN_MEDIUM theirs{};
    DWORD bytes = 0;
    const HRESULT hr = properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, nullptr, 0, &theirs, sizeof theirs,
                                       &bytes);
    properties->Release();
    if (FAILED(hr) || bytes < sizeof theirs)
        return VFW_E_NO_ACCEPTABLE_TYPES;
    const KSPIN_MEDIUM standard{KSMEDIUMSETID_Standard, KSMEDIUM_STANDARD_DEVIO, 0};
    const KSPIN_MEDIUM& mine = factory_.mediums.empty() ? standard : factory_.mediums.front();
    return MediumsMatch(mine, theirs) ? S_OK : VFW_E_NO_ACCEPTABLE_TYPES;
}

STDMETHODIMP KsMediumPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    if (!pReceivePin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    PIN_DIRECTION mine = PINDIR_INPUT;
    QueryDirection(&mine);
    if (mine == PINDIR_INPUT)
        return E_UNEXPECTED;
    if (const HRESULT hr = CanConnect(pReceivePin); FAILED(hr))
        return hr;
    AM_MEDIA_TYPE type{};
    GetMediaType(0, &type);
    if (pmt && pmt->majortype != GUID_NULL && pmt->majortype != type.majortype)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (const HRESULT hr = CheckPeerMedium(pReceivePin); FAILED(hr))
        return hr;
    if (const HRESULT hr = pReceivePin->ReceiveConnection(this, &type); FAILED(hr))
        return hr;
    const HRESULT hr = SetConnection(pReceivePin, type);
    if (FAILED(hr))
        pReceivePin->Disconnect();
    return hr;
}

STDMETHODIMP KsMediumPin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    if (!pConnector || !pmt)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    PIN_DIRECTION mine = PINDIR_OUTPUT;
    QueryDirection(&mine);
    if (mine == PINDIR_OUTPUT)
        return E_UNEXPECTED;
    if (const HRESULT hr = CanConnect(pConnector); FAILED(hr))
        return hr;
    if (CheckMediaType(*pmt) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (const HRESULT hr = CheckPeerMedium(pConnector); FAILED(hr))
        return hr;
    return SetConnection(pConnector, *pmt);
}

STDMETHODIMP KsMediumPin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID pPropData,
                              DWORD cbPropData, DWORD* pcbReturned)
{
    return GetPinSetProperty(factory_, guidPropSet, dwPropID, pPropData, cbPropData, pcbReturned);
}

STDMETHODIMP KsMediumPin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport)
{
    return QueryPinSetSupport(guidPropSet, dwPropID, pTypeSupport);
}

} // namespace ksproxy
