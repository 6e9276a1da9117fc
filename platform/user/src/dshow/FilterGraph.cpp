// The filter graph manager.
#include "dshow/FilterGraph.h"

#include "dshow/ObjectEnumerator.h"
#include "dshow/SystemClock.h"
#include "platform/Clock.h"
#include "um/synchapi.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace dshow {

namespace {

constexpr size_t kLongestName = MAX_FILTER_NAME - 1;
// How far ahead of the clock's time a run starts, so every filter is running by then.
constexpr REFERENCE_TIME kStartDelay = 10 * platform::Clock::kUnitsPerMillisecond;

IBaseFilter* OwnerOf(IPin* pin)
{
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info)))
        return nullptr;
    if (info.pFilter)
        info.pFilter->Release(); // the graph holds the filter
    return info.pFilter;
}

template <class Each> void ForEachPin(IBaseFilter* filter, Each each)
{
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        each(pin);
        pin->Release();
    }
    pins->Release();
}

std::u16string Numbered(const std::u16string& base, unsigned n)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04u", n);
    std::u16string suffix = base.empty() ? u"" : u" ";
    for (const char* d = digits; *d; ++d)
        suffix += char16_t(*d);
    return base.substr(0, kLongestName - suffix.size()) + suffix;
}

} // namespace

HRESULT FilterGraph::Create(REFIID riid, void** ppv)
{
    auto* graph = new (std::nothrow) FilterGraph;
    if (!graph)
        return E_OUTOFMEMORY;
    return Hand(graph, riid, ppv);
}

FilterGraph::~FilterGraph()
{
    ToState(State_Stopped, 0);
    // Pins hold their peers (and so their filters) while connected: break every connection first.
    for (const Entry& entry : filters_)
        DisconnectAll(entry.filter);
    for (const Entry& entry : filters_) {
        entry.filter->SetSyncSource(nullptr);
        entry.filter->JoinFilterGraph(nullptr, nullptr);
        entry.filter->Release();
    }
    if (clock_)
        clock_->Release();
}

STDMETHODIMP FilterGraph::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder)
        return Give<IGraphBuilder>(this, ppv);
    if (riid == IID_IMediaControl)
        return Give<IMediaControl>(this, ppv);
    if (riid == IID_IMediaFilter || riid == IID_IPersist)
        return Give<IMediaFilter>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

bool FilterGraph::InGraph(IBaseFilter* filter) const
{
    return std::any_of(filters_.begin(), filters_.end(), [filter](const Entry& e) { return e.filter == filter; });
}

bool FilterGraph::NameInUse(const std::u16string& name) const
{
    return std::any_of(filters_.begin(), filters_.end(), [&name](const Entry& e) { return e.name == name; });
}

STDMETHODIMP FilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName)
{
    if (!pFilter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_ != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (InGraph(pFilter))
        return E_INVALIDARG;
    std::u16string name = pName ? std::u16string(pName).substr(0, kLongestName) : u"";
    HRESULT result = S_OK;
    if (name.empty() || NameInUse(name)) {
        unsigned n = 1;
        while (NameInUse(Numbered(name, n)))
            ++n;
        if (!name.empty())
            result = VFW_S_DUPLICATE_NAME;
        name = Numbered(name, n);
    }
    const HRESULT joined = pFilter->JoinFilterGraph(this, name.c_str());
    if (FAILED(joined))
        return joined;
    pFilter->AddRef();
    pFilter->SetSyncSource(clock_);
    filters_.push_back({pFilter, name});
    ++version_;
    return result;
}

void FilterGraph::DisconnectAll(IBaseFilter* filter)
{
    ForEachPin(filter, [](IPin* pin) {
        IPin* peer = nullptr;
        if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
            peer->Disconnect();
            peer->Release();
        }
        pin->Disconnect();
    });
}

STDMETHODIMP FilterGraph::RemoveFilter(IBaseFilter* pFilter)
{
    if (!pFilter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const auto found =
        std::find_if(filters_.begin(), filters_.end(), [pFilter](const Entry& e) { return e.filter == pFilter; });
    if (found == filters_.end())
        return VFW_E_NOT_FOUND;
    if (state_ != State_Stopped)
        return VFW_E_NOT_STOPPED;
    DisconnectAll(pFilter);
    filters_.erase(found);
    ++version_;
    pFilter->SetSyncSource(nullptr);
    pFilter->JoinFilterGraph(nullptr, nullptr);
    pFilter->Release();
    return S_OK;
}

STDMETHODIMP FilterGraph::EnumFilters(IEnumFilters** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    AddRef();
    std::shared_ptr<FilterGraph> graph(this, [](FilterGraph* g) { g->Release(); });
    *ppEnum = ObjectEnumerator<IEnumFilters, IBaseFilter>::Create(
        [graph] {
            std::lock_guard<std::recursive_mutex> hold(graph->lock_);
            std::vector<IBaseFilter*> filters;
            for (const Entry& entry : graph->filters_) {
                entry.filter->AddRef();
                filters.push_back(entry.filter);
            }
            return filters;
        },
        [graph] {
            std::lock_guard<std::recursive_mutex> hold(graph->lock_);
            return graph->version_;
        });
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP FilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter)
{
    if (!pName || !ppFilter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *ppFilter = nullptr;
    for (const Entry& entry : filters_) {
        if (entry.name == pName) {
            *ppFilter = entry.filter;
            entry.filter->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::CheckPins(IPin* out, IPin* in) const
{
    if (!out || !in)
        return E_POINTER;
    if (state_ != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!InGraph(OwnerOf(out)) || !InGraph(OwnerOf(in)))
        return VFW_E_NOT_IN_GRAPH;
    PIN_DIRECTION outDirection = PINDIR_INPUT, inDirection = PINDIR_OUTPUT;
    out->QueryDirection(&outDirection);
    in->QueryDirection(&inDirection);
    if (outDirection != PINDIR_OUTPUT || inDirection != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    for (IPin* pin : {out, in}) {
        IPin* peer = nullptr;
        if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
            peer->Release();
            return VFW_E_ALREADY_CONNECTED;
        }
    }
    return S_OK;
}

STDMETHODIMP FilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (const HRESULT hr = CheckPins(ppinOut, ppinIn); FAILED(hr))
        return hr;
    return ppinOut->Connect(ppinIn, pmt);
}

STDMETHODIMP FilterGraph::Connect(IPin* ppinOut, IPin* ppinIn)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (const HRESULT hr = CheckPins(ppinOut, ppinIn); FAILED(hr))
        return hr;
    bool offered = false;
    for (IPin* side : {ppinOut, ppinIn}) {
        IEnumMediaTypes* types = nullptr;
        if (FAILED(side->EnumMediaTypes(&types)) || !types)
            continue;
        AM_MEDIA_TYPE* type = nullptr;
        bool connected = false;
        while (!connected && types->Next(1, &type, nullptr) == S_OK) {
            offered = true;
            connected = SUCCEEDED(ppinOut->Connect(ppinIn, type));
            DeleteMediaType(type);
        }
        types->Release();
        if (connected)
            return S_OK;
    }
    if (!offered && SUCCEEDED(ppinOut->Connect(ppinIn, nullptr)))
        return S_OK;
    return VFW_E_CANNOT_CONNECT;
}

STDMETHODIMP FilterGraph::Reconnect(IPin*)
{
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::Disconnect(IPin* ppin)
{
    if (!ppin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_ != State_Stopped)
        return VFW_E_NOT_STOPPED;
    return ppin->Disconnect();
}

STDMETHODIMP FilterGraph::SetDefaultSyncSource()
{
    IReferenceClock* clock = nullptr;
    if (const HRESULT hr = SystemClock::Create(IID_IReferenceClock, reinterpret_cast<void**>(&clock)); FAILED(hr))
        return hr;
    const HRESULT hr = SetSyncSource(clock);
    clock->Release();
    return hr;
}

STDMETHODIMP FilterGraph::Render(IPin*)
{
    return VFW_E_CANNOT_RENDER;
}

STDMETHODIMP FilterGraph::RenderFile(LPCWSTR, LPCWSTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter** ppFilter)
{
    if (ppFilter)
        *ppFilter = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::SetLogFile(DWORD_PTR)
{
    return S_OK;
}

STDMETHODIMP FilterGraph::Abort()
{
    return S_OK;
}

STDMETHODIMP FilterGraph::ShouldOperationContinue()
{
    return S_OK;
}

std::vector<IBaseFilter*> FilterGraph::RenderersFirst() const
{
    std::vector<std::vector<IBaseFilter*>> downstream(filters_.size());
    for (size_t i = 0; i < filters_.size(); ++i) {
        ForEachPin(filters_[i].filter, [&](IPin* pin) {
            PIN_DIRECTION direction = PINDIR_INPUT;
            IPin* peer = nullptr;
            if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT &&
                SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
                downstream[i].push_back(OwnerOf(peer));
                peer->Release();
            }
        });
    }
    std::vector<IBaseFilter*> order;
    std::vector<bool> placed(filters_.size(), false);
    auto isPlaced = [&](IBaseFilter* f) {
        return !InGraph(f) || std::find(order.begin(), order.end(), f) != order.end();
    };
    for (bool progress = true; progress;) {
        progress = false;
        for (size_t i = 0; i < filters_.size(); ++i) {
            if (placed[i] || !std::all_of(downstream[i].begin(), downstream[i].end(), isPlaced))
                continue;
            order.push_back(filters_[i].filter);
            placed[i] = progress = true;
        }
    }
    for (size_t i = 0; i < filters_.size(); ++i) // a loop of connections: the rest in the graph's order
        if (!placed[i])
            order.push_back(filters_[i].filter);
    return order;
}

HRESULT FilterGraph::ToState(FILTER_STATE target, REFERENCE_TIME start)
{
    const std::vector<IBaseFilter*> order = RenderersFirst();
    HRESULT result = S_OK;
    auto every = [&](auto change) {
        for (IBaseFilter* filter : order) {
            const HRESULT hr = change(filter);
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr;
            else if (hr == S_FALSE && result == S_OK)
                result = S_FALSE;
        }
    };
    if (target == State_Stopped) {
        if (state_ == State_Running)
            every([](IBaseFilter* f) { return f->Pause(); });
        result = S_OK;
        every([](IBaseFilter* f) { return f->Stop(); });
        state_ = State_Stopped;
        return result;
    }
    if (target == State_Paused || state_ == State_Stopped) {
        every([](IBaseFilter* f) { return f->Pause(); });
        if (FAILED(result)) {
            every([](IBaseFilter* f) { return f->Stop(); });
            state_ = State_Stopped;
            return result;
        }
        state_ = State_Paused;
        if (target == State_Paused)
            return result;
    }
    const HRESULT paused = result;
    result = S_OK;
    every([start](IBaseFilter* f) { return f->Run(start); });
    if (FAILED(result)) {
        every([](IBaseFilter* f) { return f->Stop(); });
        state_ = State_Stopped;
        return result;
    }
    state_ = State_Running;
    return result == S_OK ? paused : result;
}

STDMETHODIMP FilterGraph::Run()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_ == State_Running)
        return S_OK;
    if (!clock_ && !clockChosen_) {
        IReferenceClock* clock = nullptr;
        if (const HRESULT hr = SystemClock::Create(IID_IReferenceClock, reinterpret_cast<void**>(&clock));
            FAILED(hr))
            return hr;
        UseClock(clock);
        clock->Release();
    }
    REFERENCE_TIME start = 0;
    if (clock_) {
        clock_->GetTime(&start);
        start += kStartDelay;
    }
    return ToState(State_Running, start);
}

STDMETHODIMP FilterGraph::Run(REFERENCE_TIME tStart)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return state_ == State_Running ? S_OK : ToState(State_Running, tStart);
}

STDMETHODIMP FilterGraph::Pause()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return ToState(State_Paused, 0);
}

STDMETHODIMP FilterGraph::Stop()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return ToState(State_Stopped, 0);
}

STDMETHODIMP FilterGraph::StopWhenReady()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const HRESULT paused = ToState(State_Paused, 0);
    const HRESULT stopped = ToState(State_Stopped, 0);
    return FAILED(paused) ? paused : stopped;
}

STDMETHODIMP FilterGraph::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State)
{
    if (!State)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *State = state_;
    const int64_t deadline =
        dwMilliSecsTimeout == INFINITE
            ? platform::Clock::kForever
            : platform::Clock::DeadlineAfter(int64_t(dwMilliSecsTimeout) * platform::Clock::kUnitsPerMillisecond);
    HRESULT result = S_OK;
    for (const Entry& entry : filters_) {
        DWORD left = INFINITE;
        if (deadline != platform::Clock::kForever) {
            const int64_t remaining = std::max<int64_t>(0, deadline - platform::Clock::Now());
            left = DWORD(remaining / platform::Clock::kUnitsPerMillisecond);
        }
        FILTER_STATE filterState = State_Stopped;
        const HRESULT hr = entry.filter->GetState(left, &filterState);
        if (FAILED(hr))
            return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE)
            result = VFW_S_STATE_INTERMEDIATE;
        else if (hr == VFW_S_CANT_CUE && result == S_OK)
            result = VFW_S_CANT_CUE;
    }
    return result;
}

STDMETHODIMP FilterGraph::GetState(LONG msTimeout, OAFilterState* pfs)
{
    if (!pfs)
        return E_POINTER;
    FILTER_STATE state = State_Stopped;
    const HRESULT hr = GetState(DWORD(msTimeout), &state);
    *pfs = OAFilterState(state);
    return hr;
}

STDMETHODIMP FilterGraph::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_FilterGraph;
    return S_OK;
}

STDMETHODIMP FilterGraph::SetSyncSource(IReferenceClock* pClock)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_ != State_Stopped)
        return VFW_E_NOT_STOPPED;
    UseClock(pClock);
    return S_OK;
}

void FilterGraph::UseClock(IReferenceClock* clock)
{
    if (clock)
        clock->AddRef();
    if (clock_)
        clock_->Release();
    clock_ = clock;
    clockChosen_ = true;
    for (const Entry& entry : filters_)
        entry.filter->SetSyncSource(clock);
}

STDMETHODIMP FilterGraph::GetSyncSource(IReferenceClock** pClock)
{
    if (!pClock)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *pClock = clock_;
    if (clock_)
        clock_->AddRef();
    return S_OK;
}

} // namespace dshow
