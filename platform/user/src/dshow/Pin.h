// The common part of the platform's pins: the connection and its media type, the pin's identity,
// the types it offers and accepts. References count on the owning filter.
#pragma once
#include "dshow/ComObject.h"

#include <string>

namespace dshow {

class Filter;

// True when every GUID of `partial` that is not GUID_NULL equals the same one of `type`.
bool TypeMatches(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& partial);

class Pin : public IPin {
public:
    Pin(Filter* filter, std::u16string name, PIN_DIRECTION direction);
    virtual ~Pin();
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pPin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
    STDMETHODIMP QueryId(LPWSTR* Id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // S_OK when the pin can carry `type`.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE& type) = 0;
    // The index-th type the pin offers into *type (S_OK), or S_FALSE past the last.
    virtual HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type);
    // The filter leaves or enters the stopped state.
    virtual HRESULT Active() { return S_OK; }
    virtual void Inactive() {}

    bool IsConnected() const { return connected_ != nullptr; }
    // The connection's type; valid while connected.
    const AM_MEDIA_TYPE& ConnectedType() const { return type_; }
    IPin* ConnectedPin() const { return connected_; }
    const std::u16string& Name() const { return name_; }

protected:
    // Called under the filter lock when a connection is made or broken.
    virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
    virtual void BreakConnect() {}
    // Whether this pin can connect to `peer` now: VFW_E_ALREADY_CONNECTED, VFW_E_NOT_STOPPED, or
    // VFW_E_INVALID_DIRECTION for a peer of the same direction.
    HRESULT CanConnect(IPin* peer);
    // Records the connection (the pin and a copy of the type).
    HRESULT SetConnection(IPin* pin, const AM_MEDIA_TYPE& type);
    void ClearConnection();

    Filter* const filter_;

private:
    const std::u16string name_;
    const PIN_DIRECTION direction_;
    IPin* connected_ = nullptr;
    AM_MEDIA_TYPE type_{};
};

} // namespace dshow
