// A proxy pin that connects by medium alone: a bridge pin of a capture filter (its analog input), a
// pin that does not communicate, or a pin of a filter registered without kernel-streaming pins (a
// crossbar's wires). Its one media type is MEDIATYPE_AnalogVideo or MEDIATYPE_AnalogAudio without a
// format block; it carries no samples and makes no kernel pin. Two such pins connect when their
// mediums match (the same set and id; a standard medium matches any).
#pragma once
#include "dshow/Pin.h"
#include "ksproxy/KsPinFactory.h"
#include "um/ksproxy.h"

namespace ksproxy {

class KsMediumPin final : public dshow::Pin, public IKsPropertySet {
public:
    KsMediumPin(dshow::Filter* filter, PinFactory factory);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return Pin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return Pin::Release(); }

    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EndOfStream() override { return S_OK; }
    STDMETHODIMP BeginFlush() override { return S_OK; }
    STDMETHODIMP EndFlush() override { return S_OK; }

    STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                     LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
    STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

    HRESULT CheckMediaType(const AM_MEDIA_TYPE& type) override;
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
    // Nothing to commit: the signal does not pass through the graph.
    HRESULT Active() override { return S_OK; }

private:
    // S_OK when `peer` tells a medium that matches this pin's.
    HRESULT CheckPeerMedium(IPin* peer) const;

    const PinFactory factory_;
    const GUID analogType_;
};

} // namespace ksproxy
