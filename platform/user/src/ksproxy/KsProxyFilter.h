// The kernel-streaming proxy (CLSID_Proxy): the DirectShow filter a device interface's moniker binds
// to. IPersistPropertyBag::Load opens the bag's "DevicePath" and makes one pin per pin factory in id
// order (or the pins of the interface's "FilterData" for a filter registered without kernel-streaming
// pins). The filter hands out its handle (IKsObject) and sends requests on it (IKsControl); its state
// changes step every kernel pin one state at a time; its property pages (ISpecifyPropertyPages) are the
// classes registered under "MediaSets\{set}\PropertyPages" of the machine's Control key for each set
// the driver's filter answers. Free-threaded: a page's notification thread sends events beside the
// window thread.
#pragma once
#include "dshow/Filter.h"
#include "dshow/Pin.h"
#include "um/ksproxy.h"
#include "um/ocidl.h"

#include <atomic>
#include <vector>

namespace ksproxy {

class KsStreamPin;

class KsProxyFilter final : public dshow::Filter,
                            public IPersistPropertyBag,
                            public IKsObject,
                            public IKsControl,
                            public ISpecifyPropertyPages {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return Filter::QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefObject(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseObject(); }
    STDMETHODIMP GetClassID(CLSID* pClassID) override { return Filter::GetClassID(pClassID); }

    STDMETHODIMP InitNew() override { return S_OK; }
    STDMETHODIMP Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) override;
    STDMETHODIMP Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

    STDMETHODIMP_(HANDLE) KsGetObjectHandle() override { return handle_.load(); }

    STDMETHODIMP KsProperty(PKSPROPERTY Property, ULONG PropertyLength, LPVOID PropertyData, ULONG DataLength,
                            ULONG* BytesReturned) override;
    STDMETHODIMP KsEvent(PKSEVENT Event, ULONG EventLength, LPVOID EventData, ULONG DataLength,
                         ULONG* BytesReturned) override;

    // The page classes of every set the filter answers, in the order the driver lists its sets and
    // each set's classes in key order, each class once.
    STDMETHODIMP GetPages(CAUUID* pPages) override;

    int PinCount() override { return int(pins_.size()); }
    dshow::Pin* GetPin(int index) override { return pins_[size_t(index)]; }

protected:
    HRESULT QueryOther(REFIID riid, void** ppv) override;
    HRESULT OnActive() override;
    HRESULT OnRun(REFERENCE_TIME start) override;
    void OnPauseFromRun() override;
    void OnStop() override;
    HRESULT StateResult(FILTER_STATE state) override;

private:
    KsProxyFilter() : Filter(CLSID_Proxy) {}
    ~KsProxyFilter() override;

    std::vector<KsStreamPin*> StreamPins() const;
    // Steps every kernel pin towards `target`; the first refusal is returned after the others were tried.
    HRESULT StepAll(KSSTATE target);

    std::atomic<HANDLE> handle_{nullptr};
    HANDLE clock_ = nullptr; // the pins' master clock while paused or running with a graph clock
    std::vector<dshow::Pin*> pins_;
    std::vector<KsStreamPin*> streamPins_;
};

} // namespace ksproxy
