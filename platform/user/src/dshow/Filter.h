// The common part of the platform's filters: state, the graph the filter joined and its name, the
// reference clock, pin enumeration. A derived filter lists its pins and reacts to state changes.
// Pins count their references on their filter.
#pragma once
#include "dshow/ComObject.h"

#include <atomic>
#include <mutex>
#include <string>

namespace dshow {

class Pin;

class Filter : public IBaseFilter, public ComObject {
public:
    explicit Filter(const CLSID& clsid) : clsid_(clsid) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    // Stopping: the state is Stopped at once (input pins refuse samples), the pins' allocators are
    // decommitted, then OnStop waits for the filter's own streaming to end.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* pVendorInfo) override;

    virtual int PinCount() = 0;
    virtual Pin* GetPin(int index) = 0;

    FILTER_STATE State() const { return state_.load(); }
    REFERENCE_TIME StreamStart() const { return start_.load(); }
    // Guards connections and state changes; never taken on a streaming thread.
    std::recursive_mutex& FilterLock() { return lock_; }

protected:
    ~Filter() override;
    // Further interfaces of the derived filter.
    virtual HRESULT QueryOther(REFIID, void** ppv)
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Stopped to paused, after the pins became active.
    virtual HRESULT OnActive() { return S_OK; }
    // Paused to running, and back.
    virtual HRESULT OnRun(REFERENCE_TIME) { return S_OK; }
    virtual void OnPauseFromRun() {}
    // To stopped, after the pins became inactive: the filter's streaming has ended when it returns.
    virtual void OnStop() {}
    // The state GetState reports for `state` (a live source's paused state cannot cue).
    virtual HRESULT StateResult(FILTER_STATE) { return S_OK; }

private:
    const CLSID clsid_;
    std::recursive_mutex lock_;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    std::atomic<REFERENCE_TIME> start_{0};
    IFilterGraph* graph_ = nullptr; // not counted: the graph holds the filter
    std::u16string name_;
    IReferenceClock* clock_ = nullptr;
};

} // namespace dshow
