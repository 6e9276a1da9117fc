// The graph tests' fixture over the real driver.
#include "BoardGraphFixture.h"

#include "testsupport/WaitUntil.h"
#include "um/oleauto.h"

#include <chrono>
#include <random>

namespace graphtest {

namespace {

// Samples come from the proxy's streaming threads: the tests' one cross-thread time-out.
constexpr auto kPatience = testsupport::kCrossThreadTimeOut;

template <typename Visit> void ForEachMoniker(const GUID& category, Visit visit)
{
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&devices))))
        return;
    IEnumMoniker* list = nullptr;
    if (devices->CreateClassEnumerator(category, &list, 0) == S_OK) {
        IMoniker* moniker = nullptr;
        bool more = true;
        while (more && list->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
                VARIANT value;
                VariantInit(&value);
                if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR)
                    more = visit(moniker, std::u16string(value.bstrVal));
                VariantClear(&value);
                bag->Release();
            }
            moniker->Release();
        }
        list->Release();
    }
    devices->Release();
}

} // namespace

std::vector<std::u16string> FriendlyNames(const GUID& category)
{
    std::vector<std::u16string> names;
    ForEachMoniker(category, [&](IMoniker*, const std::u16string& name) {
        names.push_back(name);
        return true;
    });
    return names;
}

IBaseFilter* FindFilter(const GUID& category, const std::u16string& name)
{
    IBaseFilter* filter = nullptr;
    ForEachMoniker(category, [&](IMoniker* moniker, const std::u16string& friendly) {
        if (friendly != name)
            return true;
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
        return false;
    });
    return filter;
}

std::vector<IPin*> PinsOf(IBaseFilter* filter, PIN_DIRECTION direction)
{
    std::vector<IPin*> pins;
    IEnumPins* list = nullptr;
    if (FAILED(filter->EnumPins(&list)))
        return pins;
    IPin* pin = nullptr;
    while (list->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION its = PINDIR_INPUT;
        pin->QueryDirection(&its);
        if (its == direction)
            pins.push_back(pin);
        else
            pin->Release();
    }
    list->Release();
    return pins;
}

void Release(std::vector<IPin*>& pins)
{
    for (IPin* pin : pins)
        pin->Release();
    pins.clear();
}

HRESULT Samples::QueryInterface(REFIID riid, void** ppv)
{
    *ppv = riid == IID_IUnknown || riid == IID_ISampleGrabberCB ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
}

HRESULT Samples::SampleCB(double, IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)))
        return S_OK;
    const LONG length = sample->GetActualDataLength();
    std::lock_guard<std::mutex> hold(lock_);
    samples_.emplace_back(data, data + (length > 0 ? length : 0));
    threads_.push_back(std::this_thread::get_id());
    bytes_ += size_t(length > 0 ? length : 0);
    changed_.notify_all();
    return S_OK;
}

bool Samples::WaitForSamples(size_t count)
{
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, kPatience, [&] { return samples_.size() >= count; });
}

bool Samples::WaitForBytes(size_t bytes)
{
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, kPatience, [&] { return bytes_ >= bytes; });
}

std::vector<std::vector<BYTE>> Samples::Taken()
{
    std::lock_guard<std::mutex> hold(lock_);
    return samples_;
}

std::vector<BYTE> Samples::Joined()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<BYTE> all;
    for (const auto& sample : samples_)
        all.insert(all.end(), sample.begin(), sample.end());
    return all;
}

bool Samples::AllOffThread(std::thread::id thread)
{
    std::lock_guard<std::mutex> hold(lock_);
    for (const auto& id : threads_)
        if (id == thread)
            return false;
    return !threads_.empty();
}

Graph::Graph()
{
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(&graph));
    CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                     reinterpret_cast<void**>(&builder));
    if (graph) {
        graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
        if (builder)
            builder->SetFiltergraph(graph);
    }
}

Graph::~Graph()
{
    if (control) {
        control->Stop();
        control->Release();
    }
    for (ISampleGrabber* grabber : grabbers_) {
        grabber->SetCallback(nullptr, 0);
        grabber->Release();
    }
    for (IBaseFilter* filter : filters_) {
        if (graph)
            graph->RemoveFilter(filter);
        filter->Release();
    }
    if (builder)
        builder->Release();
    if (graph)
        graph->Release();
}

HRESULT Graph::Add(IBaseFilter* filter, const std::u16string& name)
{
    if (!graph || !filter)
        return E_POINTER;
    const HRESULT hr = graph->AddFilter(filter, name.c_str());
    if (SUCCEEDED(hr)) {
        filter->AddRef();
        filters_.push_back(filter);
    }
    return hr;
}

IBaseFilter* Graph::AddGrabber(Samples* samples, const std::u16string& name)
{
    IBaseFilter* grabber = nullptr;
    IBaseFilter* renderer = nullptr;
    CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                     reinterpret_cast<void**>(&grabber));
    CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                     reinterpret_cast<void**>(&renderer));
    if (!grabber || !renderer) {
        if (grabber)
            grabber->Release();
        if (renderer)
            renderer->Release();
        return nullptr;
    }
    ISampleGrabber* grab = nullptr;
    grabber->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&grab));
    if (grab) {
        grab->SetBufferSamples(FALSE);
        grab->SetOneShot(FALSE);
        grab->SetCallback(samples, 0);
        grabbers_.push_back(grab);
    }
    Add(grabber, name);
    Add(renderer, u"NULL Renderer " + name);
    renderers_.push_back(renderer);
    grabber->Release();
    renderer->Release();
    return grabber;
}

void BoardGraphTest::SetUp()
{
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() / ("board-graphs-" + std::to_string(random()));
    booted_ = toolboot::BootBoardMachine(folder_);
    ASSERT_EQ(booted_.status, STATUS_SUCCESS);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
}

void BoardGraphTest::TearDown()
{
    CoUninitialize();
    booted_.machine.reset();
    booted_.board.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

} // namespace graphtest
