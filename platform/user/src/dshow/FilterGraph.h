// The filter graph manager (CLSID_FilterGraph): the graph's filters under unique names, direct
// connections between their pins, and the graph's state, which reaches every filter from the
// renderers upstream. No converter or renderer is ever added by the graph itself. The clock is a
// system clock on the machine's clock.
#pragma once
#include "dshow/ComObject.h"

#include <mutex>
#include <string>
#include <vector>

namespace dshow {

class FilterGraph final : public IGraphBuilder, public IMediaControl, public IMediaFilter, ComObject {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT

    // IFilterGraph, IGraphBuilder
    // A name in use gets " 0001", " 0002", ... (VFW_S_DUPLICATE_NAME); no name gets "0001", ...;
    // names are cut to 127 characters. Only a stopped graph takes filters (VFW_E_NOT_STOPPED).
    STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
    STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Reconnect(IPin* ppin) override;
    STDMETHODIMP Disconnect(IPin* ppin) override;
    STDMETHODIMP SetDefaultSyncSource() override;
    // Direct connections only: the output pin's types, then the input pin's.
    STDMETHODIMP Connect(IPin* ppinOut, IPin* ppinIn) override;
    STDMETHODIMP Render(IPin* ppinOut) override;
    STDMETHODIMP RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
    STDMETHODIMP AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                 IBaseFilter** ppFilter) override;
    STDMETHODIMP SetLogFile(DWORD_PTR hFile) override;
    STDMETHODIMP Abort() override;
    STDMETHODIMP ShouldOperationContinue() override;

    // IMediaControl
    STDMETHODIMP Run() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP GetState(LONG msTimeout, OAFilterState* pfs) override;
    STDMETHODIMP StopWhenReady() override;

    // IMediaFilter
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;

private:
    struct Entry {
        IBaseFilter* filter;
        std::u16string name;
    };

    FilterGraph() = default;
    ~FilterGraph() override;
    bool InGraph(IBaseFilter* filter) const;
    HRESULT CheckPins(IPin* out, IPin* in) const;
    bool NameInUse(const std::u16string& name) const;
    // The filters with every filter downstream of a filter before it.
    std::vector<IBaseFilter*> RenderersFirst() const;
    HRESULT ToState(FILTER_STATE target, REFERENCE_TIME start);
    void DisconnectAll(IBaseFilter* filter);
    // The graph's clock, given to every filter.
    void UseClock(IReferenceClock* clock);

    mutable std::recursive_mutex lock_;
    std::vector<Entry> filters_;
    unsigned version_ = 0;
    FILTER_STATE state_ = State_Stopped;
    IReferenceClock* clock_ = nullptr;
    bool clockChosen_ = false;
};

} // namespace dshow
