// What every filter of the platform shares.
#include "dshow/Filter.h"

#include "dshow/ObjectEnumerator.h"
#include "dshow/Pin.h"

#include <algorithm>
#include <cstring>

namespace dshow {

Filter::~Filter()
{
    if (clock_)
        clock_->Release();
}

STDMETHODIMP Filter::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter || riid == IID_IBaseFilter)
        return Give<IBaseFilter>(this, ppv);
    return QueryOther(riid, ppv);
}

STDMETHODIMP Filter::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = clsid_;
    return S_OK;
}

STDMETHODIMP Filter::Stop()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_ == State_Stopped)
        return S_OK;
    if (state_ == State_Running)
        OnPauseFromRun();
    state_ = State_Stopped;
    for (int i = 0; i < PinCount(); ++i)
        GetPin(i)->Inactive();
    OnStop();
    return S_OK;
}

STDMETHODIMP Filter::Pause()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_ == State_Paused)
        return S_OK;
    if (state_ == State_Stopped) {
        for (int i = 0; i < PinCount(); ++i) {
            if (!GetPin(i)->IsConnected())
                continue;
            const HRESULT hr = GetPin(i)->Active();
            if (FAILED(hr)) {
                for (int j = 0; j < i; ++j)
                    GetPin(j)->Inactive();
                return hr;
            }
        }
        const HRESULT hr = OnActive();
        if (FAILED(hr)) {
            for (int i = 0; i < PinCount(); ++i)
                GetPin(i)->Inactive();
            return hr;
        }
    } else {
        OnPauseFromRun();
    }
    state_ = State_Paused;
    return S_OK;
}

STDMETHODIMP Filter::Run(REFERENCE_TIME tStart)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_ == State_Running)
        return S_OK;
    if (state_ == State_Stopped) {
        const HRESULT paused = Pause();
        if (FAILED(paused))
            return paused;
    }
    start_ = tStart;
    state_ = State_Running;
    const HRESULT hr = OnRun(tStart);
    if (FAILED(hr)) {
        state_ = State_Paused;
        OnPauseFromRun();
    }
    return hr;
}

STDMETHODIMP Filter::GetState(DWORD, FILTER_STATE* State)
{
    if (!State)
        return E_POINTER;
    const FILTER_STATE now = state_;
    *State = now;
    return StateResult(now);
}

STDMETHODIMP Filter::SetSyncSource(IReferenceClock* pClock)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (pClock)
        pClock->AddRef();
    if (clock_)
        clock_->Release();
    clock_ = pClock;
    return S_OK;
}

STDMETHODIMP Filter::GetSyncSource(IReferenceClock** pClock)
{
    if (!pClock)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *pClock = clock_;
    if (clock_)
        clock_->AddRef();
    return S_OK;
}

STDMETHODIMP Filter::EnumPins(IEnumPins** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = ObjectEnumerator<IEnumPins, IPin>::Create([this] {
        std::lock_guard<std::recursive_mutex> hold(lock_);
        std::vector<IPin*> pins;
        for (int i = 0; i < PinCount(); ++i) {
            pins.push_back(GetPin(i));
            pins.back()->AddRef();
        }
        return pins;
    });
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Filter::FindPin(LPCWSTR Id, IPin** ppPin)
{
    if (!Id || !ppPin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    for (int i = 0; i < PinCount(); ++i) {
        if (GetPin(i)->Name() == Id) {
            *ppPin = GetPin(i);
            (*ppPin)->AddRef();
            return S_OK;
        }
    }
    *ppPin = nullptr;
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP Filter::QueryFilterInfo(FILTER_INFO* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *pInfo = FILTER_INFO{};
    const size_t n = std::min(name_.size(), size_t(MAX_FILTER_NAME - 1));
    std::memcpy(pInfo->achName, name_.data(), n * sizeof(WCHAR));
    pInfo->pGraph = graph_;
    if (graph_)
        graph_->AddRef();
    return S_OK;
}

STDMETHODIMP Filter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    graph_ = pGraph;
    name_ = pGraph && pName ? pName : u"";
    return S_OK;
}

STDMETHODIMP Filter::QueryVendorInfo(LPWSTR* pVendorInfo)
{
    if (pVendorInfo)
        *pVendorInfo = nullptr;
    return E_NOTIMPL;
}

} // namespace dshow
