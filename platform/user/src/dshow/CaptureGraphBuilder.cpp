// The capture graph builder.
#include "dshow/CaptureGraphBuilder.h"

#include "dshow/FilterGraph.h"

#include <vector>

namespace dshow {

namespace {

// The pin's category from its property set; GUID_NULL when it tells none.
GUID CategoryOf(IPin* pin)
{
    GUID category = GUID_NULL;
    IKsPropertySet* properties = nullptr;
    if (SUCCEEDED(pin->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&properties)))) {
        DWORD returned = 0;
        if (FAILED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                   sizeof category, &returned)) ||
            returned != sizeof category)
            category = GUID_NULL;
        properties->Release();
    }
    return category;
}

// The pin carries `major`: its connection's type, or else one of the types it offers.
bool CarriesType(IPin* pin, const GUID& major)
{
    AM_MEDIA_TYPE connected{};
    if (pin->ConnectionMediaType(&connected) == S_OK) {
        const bool same = connected.majortype == major;
        FreeMediaType(connected);
        return same;
    }
    IEnumMediaTypes* types = nullptr;
    if (FAILED(pin->EnumMediaTypes(&types)) || !types)
        return false;
    bool found = false;
    AM_MEDIA_TYPE* type = nullptr;
    while (!found && types->Next(1, &type, nullptr) == S_OK) {
        found = type->majortype == major;
        DeleteMediaType(type);
    }
    types->Release();
    return found;
}

bool IsConnected(IPin* pin)
{
    IPin* peer = nullptr;
    const bool connected = SUCCEEDED(pin->ConnectedTo(&peer)) && peer;
    if (peer)
        peer->Release();
    return connected;
}

bool PinMatches(IPin* pin, PIN_DIRECTION direction, const GUID* category, const GUID* type, BOOL unconnected)
{
    PIN_DIRECTION its = PINDIR_INPUT;
    if (FAILED(pin->QueryDirection(&its)) || its != direction)
        return false;
    if (category && CategoryOf(pin) != *category)
        return false;
    if (type && !CarriesType(pin, *type))
        return false;
    return !(unconnected && IsConnected(pin));
}

std::vector<IPin*> PinsOf(IBaseFilter* filter)
{
    std::vector<IPin*> pins;
    IEnumPins* list = nullptr;
    if (FAILED(filter->EnumPins(&list)) || !list)
        return pins;
    IPin* pin = nullptr;
    while (list->Next(1, &pin, nullptr) == S_OK)
        pins.push_back(pin);
    list->Release();
    return pins;
}

void ReleaseAll(std::vector<IPin*>& pins)
{
    for (IPin* pin : pins)
        pin->Release();
    pins.clear();
}

IBaseFilter* OwnerOf(IPin* pin)
{
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info)))
        return nullptr;
    return info.pFilter; // with a reference
}

// The first filter reachable from `filter` through pins of `direction` (output: downstream) that
// answers riid, breadth first.
HRESULT SearchAlong(IBaseFilter* filter, PIN_DIRECTION direction, REFIID riid, void** ppint)
{
    std::vector<IBaseFilter*> frontier{filter};
    filter->AddRef();
    std::vector<IBaseFilter*> seen;
    HRESULT result = E_NOINTERFACE;
    while (!frontier.empty() && FAILED(result)) {
        IBaseFilter* current = frontier.front();
        frontier.erase(frontier.begin());
        seen.push_back(current);
        std::vector<IPin*> pins = PinsOf(current);
        for (IPin* pin : pins) {
            PIN_DIRECTION its = PINDIR_INPUT;
            IPin* peer = nullptr;
            if (FAILED(pin->QueryDirection(&its)) || its != direction || FAILED(pin->ConnectedTo(&peer)) || !peer)
                continue;
            IBaseFilter* next = OwnerOf(peer);
            peer->Release();
            if (!next)
                continue;
            bool known = false;
            for (IBaseFilter* f : seen)
                known |= f == next;
            for (IBaseFilter* f : frontier)
                known |= f == next;
            if (known) {
                next->Release();
                continue;
            }
            if (FAILED(result) && SUCCEEDED(next->QueryInterface(riid, ppint)))
                result = S_OK;
            frontier.push_back(next);
        }
        ReleaseAll(pins);
    }
    for (IBaseFilter* f : frontier)
        f->Release();
    for (IBaseFilter* f : seen)
        f->Release();
    return result;
}

} // namespace

HRESULT CaptureGraphBuilder::Create(REFIID riid, void** ppv)
{
    auto* builder = new (std::nothrow) CaptureGraphBuilder;
    if (!builder)
        return E_OUTOFMEMORY;
    return Hand(builder, riid, ppv);
}

CaptureGraphBuilder::~CaptureGraphBuilder()
{
    if (graph_)
        graph_->Release();
}

STDMETHODIMP CaptureGraphBuilder::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ICaptureGraphBuilder2)
        return Give<ICaptureGraphBuilder2>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CaptureGraphBuilder::SetFiltergraph(IGraphBuilder* pfg)
{
    if (!pfg)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(lock_);
    if (graph_)
        return E_UNEXPECTED;
    pfg->AddRef();
    graph_ = pfg;
    return S_OK;
}

STDMETHODIMP CaptureGraphBuilder::GetFiltergraph(IGraphBuilder** ppfg)
{
    if (!ppfg)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(lock_);
    if (!graph_) {
        if (const HRESULT hr = FilterGraph::Create(IID_IGraphBuilder, reinterpret_cast<void**>(&graph_)); FAILED(hr)) {
            *ppfg = nullptr;
            return hr;
        }
    }
    *ppfg = graph_;
    graph_->AddRef();
    return S_OK;
}

STDMETHODIMP CaptureGraphBuilder::FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory,
                                          const GUID* pType, BOOL fUnconnected, int num, IPin** ppPin)
{
    if (!pSource || !ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    IPin* asPin = nullptr;
    if (SUCCEEDED(pSource->QueryInterface(IID_IPin, reinterpret_cast<void**>(&asPin)))) {
        if (num == 0 && PinMatches(asPin, pindir, pCategory, pType, fUnconnected)) {
            *ppPin = asPin;
            return S_OK;
        }
        asPin->Release();
        return E_FAIL;
    }
    IBaseFilter* filter = nullptr;
    if (FAILED(pSource->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter))))
        return E_NOINTERFACE;
    std::vector<IPin*> pins = PinsOf(filter);
    filter->Release();
    int matched = 0;
    for (IPin* pin : pins) {
        if (!PinMatches(pin, pindir, pCategory, pType, fUnconnected))
            continue;
        if (matched++ == num) {
            *ppPin = pin;
            pin->AddRef();
            break;
        }
    }
    ReleaseAll(pins);
    return *ppPin ? S_OK : E_FAIL;
}

STDMETHODIMP CaptureGraphBuilder::FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf,
                                                REFIID riid, void** ppint)
{
    if (!pf || !ppint)
        return E_POINTER;
    *ppint = nullptr;
    if (SUCCEEDED(pf->QueryInterface(riid, ppint)))
        return S_OK;
    const bool upOnly = pCategory && *pCategory == LOOK_UPSTREAM_ONLY;
    const bool downOnly = pCategory && *pCategory == LOOK_DOWNSTREAM_ONLY;
    if (!upOnly && !downOnly) {
        std::vector<IPin*> pins = PinsOf(pf);
        for (IPin* pin : pins) {
            if (pCategory && CategoryOf(pin) != *pCategory)
                continue;
            if (pType && !CarriesType(pin, *pType))
                continue;
            if (SUCCEEDED(pin->QueryInterface(riid, ppint)))
                break;
        }
        ReleaseAll(pins);
        if (*ppint)
            return S_OK;
    }
    if (!downOnly && SUCCEEDED(SearchAlong(pf, PINDIR_INPUT, riid, ppint)))
        return S_OK;
    if (!upOnly && SUCCEEDED(SearchAlong(pf, PINDIR_OUTPUT, riid, ppint)))
        return S_OK;
    *ppint = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CaptureGraphBuilder::RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                                               IBaseFilter* pfCompressor, IBaseFilter* pfRenderer)
{
    if (!pSource)
        return E_POINTER;
    if (!pfRenderer)
        return E_FAIL;
    IGraphBuilder* graph = nullptr;
    if (const HRESULT hr = GetFiltergraph(&graph); FAILED(hr))
        return hr;
    IPin* out = nullptr;
    HRESULT hr = FindPin(pSource, PINDIR_OUTPUT, pCategory, pType, TRUE, 0, &out);
    if (SUCCEEDED(hr)) {
        IBaseFilter* next = pfCompressor ? pfCompressor : pfRenderer;
        IPin* in = nullptr;
        hr = FindPin(next, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, &in);
        if (SUCCEEDED(hr)) {
            hr = graph->Connect(out, in);
            in->Release();
        }
        out->Release();
        if (SUCCEEDED(hr) && pfCompressor) {
            IPin* middle = nullptr;
            hr = FindPin(pfCompressor, PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, &middle);
            if (SUCCEEDED(hr)) {
                hr = FindPin(pfRenderer, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, &in);
                if (SUCCEEDED(hr)) {
                    hr = graph->Connect(middle, in);
                    in->Release();
                }
                middle->Release();
            }
        }
    } else {
        hr = E_FAIL; // no pin of that category and type: no Smart Tee or other filter is added here
    }
    graph->Release();
    return hr;
}

} // namespace dshow
