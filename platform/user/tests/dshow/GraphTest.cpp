// The filter graph manager with the sample grabber, the null renderer and the synthetic source:
// names, direct connections, running and stopping, the grabber's callback and one-shot mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SyntheticSource.h"
#include "dshow/InputPin.h"
#include "dshow/OutputPin.h"
#include "um/dshow.h"
#include "um/windows.h"

using dshowtest::SyntheticSource;

namespace {

std::u16string NameOf(IBaseFilter* filter)
{
    FILTER_INFO info{};
    EXPECT_EQ(filter->QueryFilterInfo(&info), S_OK);
    if (info.pGraph)
        info.pGraph->Release();
    return info.achName;
}

IPin* PinOf(IBaseFilter* filter, PIN_DIRECTION wanted)
{
    IEnumPins* pins = nullptr;
    EXPECT_EQ(filter->EnumPins(&pins), S_OK);
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction == wanted)
            break;
        pin->Release();
        pin = nullptr;
    }
    pins->Release();
    return pin;
}

bool Connected(IPin* pin)
{
    IPin* peer = nullptr;
    const HRESULT hr = pin->ConnectedTo(&peer);
    if (peer)
        peer->Release();
    return hr == S_OK;
}

// Records every SampleCB: the thread, the data length, the sample time, the frame number.
class Recorder final : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = riid == IID_IUnknown || riid == IID_ISampleGrabberCB ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override
    {
        std::lock_guard<std::mutex> hold(lock);
        inside = true;
        threads.push_back(std::this_thread::get_id());
        lengths.push_back(sample->GetActualDataLength());
        times.push_back(time);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        frames.push_back(*reinterpret_cast<unsigned*>(data));
        inside = false;
        changed.notify_all();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG length) override
    {
        std::lock_guard<std::mutex> hold(lock);
        buffers.push_back(length);
        changed.notify_all();
        return S_OK;
    }
    void WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return times.size() + buffers.size() >= count; });
    }
    size_t Calls()
    {
        std::lock_guard<std::mutex> hold(lock);
        return times.size() + buffers.size();
    }

    std::mutex lock;
    std::condition_variable changed;
    bool inside = false;
    std::vector<std::thread::id> threads;
    std::vector<LONG> lengths;
    std::vector<double> times;
    std::vector<unsigned> frames;
    std::vector<LONG> buffers;
};

// A filter with one input and one output pin that accept any type, recording in a shared log the
// order in which filters pause and stop, and reporting a chosen result from GetState.
class Probe final : public dshow::Filter {
public:
    Probe(std::vector<Probe*>* log) : Filter(GUID_NULL), in_(this), out_(this), log_(log) {}
    int PinCount() override { return 2; }
    dshow::Pin* GetPin(int index) override
    {
        if (index == 0)
            return &in_;
        return index == 1 ? static_cast<dshow::Pin*>(&out_) : nullptr;
    }
    IPin* In() { return &in_; }
    int Samples() const { return in_.samples; }
    int EndsOfStream() const { return in_.endsOfStream; }
    int Flushes() const { return in_.flushes; }
    IPin* Out() { return &out_; }
    HRESULT stateResult = S_OK;

protected:
    HRESULT OnActive() override
    {
        log_->push_back(this);
        return S_OK;
    }
    void OnStop() override { log_->push_back(this); }
    HRESULT StateResult(FILTER_STATE) override { return stateResult; }

private:
    class AnyIn final : public dshow::InputPin {
    public:
        explicit AnyIn(Filter* filter) : InputPin(filter, u"In") {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE&) override { return S_OK; }
        std::atomic<int> samples{0}, endsOfStream{0}, flushes{0};

    protected:
        HRESULT OnReceive(IMediaSample*) override
        {
            ++samples;
            return S_OK;
        }
        HRESULT OnEndOfStream() override
        {
            ++endsOfStream;
            return S_OK;
        }
        HRESULT OnBeginFlush() override
        {
            ++flushes;
            return S_OK;
        }
    };
    class AnyOut final : public dshow::OutputPin {
    public:
        explicit AnyOut(Filter* filter) : OutputPin(filter, u"Out") {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE&) override { return S_OK; }
        HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override
        {
            if (index != 0)
                return S_FALSE;
            *type = AM_MEDIA_TYPE{};
            type->majortype = MEDIATYPE_Stream;
            type->subtype = MEDIATYPE_Stream;
            type->formattype = FORMAT_None;
            type->lSampleSize = 16;
            return S_OK;
        }
    };
    AnyIn in_;
    AnyOut out_;
    std::vector<Probe*>* const log_;
};

class GraphTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&graph_)),
                  S_OK);
        ASSERT_EQ(graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control_)), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   reinterpret_cast<void**>(&grabberFilter_)),
                  S_OK);
        ASSERT_EQ(grabberFilter_->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&grabber_)), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   reinterpret_cast<void**>(&renderer_)),
                  S_OK);
    }
    void TearDown() override
    {
        for (IUnknown* object : std::initializer_list<IUnknown*>{control_, graph_, grabber_, grabberFilter_,
                                                                  renderer_, source_})
            if (object)
                object->Release();
        CoUninitialize();
    }
    // Source (of `subtypes`) -> grabber (wanting `subtype`) -> renderer, connected.
    void Build(std::vector<GUID> subtypes, const GUID& subtype)
    {
        source_ = SyntheticSource::Create(std::move(subtypes));
        ASSERT_EQ(graph_->AddFilter(source_, dshowtest::kSyntheticSourceName), S_OK);
        ASSERT_EQ(graph_->AddFilter(grabberFilter_, u"Video Sample Grabber"), S_OK);
        ASSERT_EQ(graph_->AddFilter(renderer_, u"NULL Renderer"), S_OK);
        AM_MEDIA_TYPE wanted{};
        wanted.majortype = MEDIATYPE_Video;
        wanted.subtype = subtype;
        ASSERT_EQ(grabber_->SetMediaType(&wanted), S_OK);
    }
    HRESULT ConnectAll()
    {
        IPin* out = source_->Output();
        IPin* in = PinOf(grabberFilter_, PINDIR_INPUT);
        HRESULT hr = graph_->Connect(out, in);
        in->Release();
        if (FAILED(hr))
            return hr;
        IPin* grabbed = PinOf(grabberFilter_, PINDIR_OUTPUT);
        IPin* rendered = PinOf(renderer_, PINDIR_INPUT);
        hr = graph_->Connect(grabbed, rendered);
        grabbed->Release();
        rendered->Release();
        return hr;
    }

    Recorder recorder_; // outlives the grabber that calls it
    IGraphBuilder* graph_ = nullptr;
    IMediaControl* control_ = nullptr;
    IBaseFilter* grabberFilter_ = nullptr;
    ISampleGrabber* grabber_ = nullptr;
    IBaseFilter* renderer_ = nullptr;
    SyntheticSource* source_ = nullptr;
};

} // namespace

TEST_F(GraphTest, NamesInUseGetANumberAndEveryFilterIsFoundByName)
{
    IBaseFilter* second = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&second)),
              S_OK);
    IBaseFilter* third = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&third)),
              S_OK);
    EXPECT_EQ(graph_->AddFilter(renderer_, u"NULL Renderer"), S_OK);
    EXPECT_EQ(graph_->AddFilter(second, u"NULL Renderer"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(graph_->AddFilter(renderer_, u"Again"), E_INVALIDARG);
    EXPECT_EQ(graph_->AddFilter(third, nullptr), S_OK);
    EXPECT_EQ(NameOf(renderer_), u"NULL Renderer");
    EXPECT_EQ(NameOf(second), u"NULL Renderer 0001");
    EXPECT_EQ(NameOf(third), u"0001");

    IBaseFilter* found = nullptr;
    ASSERT_EQ(graph_->FindFilterByName(u"NULL Renderer", &found), S_OK);
    EXPECT_EQ(found, renderer_);
    found->Release();
    ASSERT_EQ(graph_->FindFilterByName(u"NULL Renderer 0001", &found), S_OK);
    EXPECT_EQ(found, second);
    found->Release();
    EXPECT_EQ(graph_->FindFilterByName(u"null renderer", &found), VFW_E_NOT_FOUND);
    EXPECT_EQ(found, nullptr);

    IEnumFilters* filters = nullptr;
    ASSERT_EQ(graph_->EnumFilters(&filters), S_OK);
    IBaseFilter* listed[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(filters->Next(4, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    for (ULONG i = 0; i < fetched; ++i)
        listed[i]->Release();
    // Removing a filter puts every enumerator out of step until it is reset.
    EXPECT_EQ(graph_->RemoveFilter(second), S_OK);
    EXPECT_EQ(graph_->RemoveFilter(second), VFW_E_NOT_FOUND);
    EXPECT_EQ(NameOf(second), u"");
    filters->Reset();
    EXPECT_EQ(filters->Skip(1), S_OK);
    EXPECT_EQ(graph_->RemoveFilter(third), S_OK);
    EXPECT_EQ(filters->Next(1, listed, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(filters->Reset(), S_OK);
    EXPECT_EQ(filters->Next(4, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    listed[0]->Release();
    filters->Release();

    // A name longer than a FILTER_INFO holds is cut, and its numbered twin too.
    const std::u16string longName(200, u'x');
    EXPECT_EQ(graph_->AddFilter(second, longName.c_str()), S_OK);
    EXPECT_EQ(NameOf(second), longName.substr(0, 127));
    EXPECT_EQ(graph_->AddFilter(third, longName.c_str()), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(NameOf(third), longName.substr(0, 122) + u" 0001");
    second->Release();
    third->Release();
}

TEST_F(GraphTest, ConnectUsesASharedTypeOrLeavesBothPinsUnconnected)
{
    Build({MEDIASUBTYPE_RGB32}, MEDIASUBTYPE_UYVY);
    IPin* in = PinOf(grabberFilter_, PINDIR_INPUT);
    const HRESULT refused = graph_->Connect(source_->Output(), in);
    EXPECT_TRUE(FAILED(refused));
    EXPECT_EQ(HRESULT(unsigned(refused) & 0xFFFFFE00u), HRESULT(0x80040200u)) << std::hex << refused;
    EXPECT_FALSE(Connected(source_->Output()));
    EXPECT_FALSE(Connected(in));

    // Wrong directions, pins of filters outside the graph, twice the same connection.
    IPin* rendered = PinOf(renderer_, PINDIR_INPUT);
    EXPECT_EQ(graph_->ConnectDirect(in, source_->Output(), nullptr), VFW_E_INVALID_DIRECTION);
    SyntheticSource* stranger = SyntheticSource::Create();
    EXPECT_EQ(graph_->Connect(stranger->Output(), rendered), VFW_E_NOT_IN_GRAPH);
    stranger->Release();

    AM_MEDIA_TYPE rgb{};
    rgb.majortype = MEDIATYPE_Video;
    rgb.subtype = MEDIASUBTYPE_RGB32;
    ASSERT_EQ(grabber_->SetMediaType(&rgb), S_OK);
    ASSERT_EQ(graph_->Connect(source_->Output(), in), S_OK);
    EXPECT_EQ(graph_->Connect(source_->Output(), in), VFW_E_ALREADY_CONNECTED);
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(grabber_->GetConnectedMediaType(&connected), S_OK);
    EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB32);
    ASSERT_EQ(connected.cbFormat, sizeof(VIDEOINFOHEADER));
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(connected.pbFormat)->bmiHeader.biWidth, 320);

    // The grabber's output offers exactly its input's type.
    IPin* grabbed = PinOf(grabberFilter_, PINDIR_OUTPUT);
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(grabbed->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* offered[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(2, offered, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(offered[0]->subtype, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(std::memcmp(offered[0]->pbFormat, connected.pbFormat, connected.cbFormat), 0);
    DeleteMediaType(offered[0]);
    types->Release();
    FreeMediaType(connected);

    ASSERT_EQ(graph_->Connect(grabbed, rendered), S_OK);
    AM_MEDIA_TYPE atRenderer{};
    ASSERT_EQ(rendered->ConnectionMediaType(&atRenderer), S_OK);
    EXPECT_EQ(atRenderer.subtype, MEDIASUBTYPE_RGB32);
    FreeMediaType(atRenderer);

    // Disconnect takes one side at a time.
    EXPECT_EQ(graph_->Disconnect(rendered), S_OK);
    EXPECT_FALSE(Connected(rendered));
    EXPECT_TRUE(Connected(grabbed));
    EXPECT_EQ(graph_->Disconnect(grabbed), S_OK);
    EXPECT_EQ(graph_->Disconnect(grabbed), S_FALSE);
    grabbed->Release();
    rendered->Release();
    in->Release();
}

TEST_F(GraphTest, RunningGraphCallsBackOnTheStreamingThreadUntilStopReturns)
{
    Build({MEDIASUBTYPE_RGB32, MEDIASUBTYPE_UYVY}, MEDIASUBTYPE_RGB32);
    Recorder& recorder = recorder_;
    ASSERT_EQ(grabber_->SetBufferSamples(FALSE), S_OK);
    ASSERT_EQ(grabber_->SetCallback(&recorder, 0), S_OK);
    ASSERT_EQ(grabber_->SetOneShot(FALSE), S_OK);
    ASSERT_EQ(ConnectAll(), S_OK);

    OAFilterState state = -1;
    EXPECT_EQ(control_->GetState(10, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    const HRESULT ran = control_->Run();
    EXPECT_TRUE(ran == S_OK || ran == S_FALSE);
    EXPECT_EQ(control_->GetState(10, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    recorder.WaitFor(10);
    ASSERT_EQ(control_->Stop(), S_OK);
    const size_t atStop = recorder.Calls();
    {
        std::lock_guard<std::mutex> hold(recorder.lock);
        EXPECT_FALSE(recorder.inside);
    }
    EXPECT_EQ(control_->GetState(10, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // The streaming thread has been joined: nothing can call back any more.
    EXPECT_EQ(recorder.Calls(), atStop);
    EXPECT_EQ(source_->FramesDelivered(), atStop);

    std::lock_guard<std::mutex> hold(recorder.lock);
    ASSERT_GE(recorder.times.size(), 10u);
    for (size_t i = 0; i < recorder.times.size(); ++i) {
        EXPECT_NE(recorder.threads[i], std::this_thread::get_id());
        EXPECT_EQ(recorder.lengths[i], 307200);
        EXPECT_EQ(recorder.frames[i], i);
        if (i > 0) {
            EXPECT_GT(recorder.times[i], recorder.times[i - 1]);
        }
    }
}

TEST_F(GraphTest, OneShotGrabsOneSampleAndBuffersItWhenAsked)
{
    Build({MEDIASUBTYPE_RGB32}, GUID_NULL);
    Recorder& recorder = recorder_;
    ASSERT_EQ(grabber_->SetBufferSamples(TRUE), S_OK);
    ASSERT_EQ(grabber_->SetCallback(&recorder, 0), S_OK);
    ASSERT_EQ(grabber_->SetOneShot(TRUE), S_OK);
    ASSERT_EQ(ConnectAll(), S_OK);
    LONG size = 0;
    EXPECT_EQ(grabber_->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE);
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    recorder.WaitFor(1);
    // Let the source offer several more frames before stopping.
    while (source_->FramesDelivered() < 4)
        std::this_thread::yield();
    ASSERT_EQ(control_->Stop(), S_OK);
    EXPECT_EQ(recorder.Calls(), 1u);
    ASSERT_EQ(grabber_->GetCurrentBuffer(&size, nullptr), S_OK);
    EXPECT_EQ(size, 307200);
    std::vector<LONG> copy(size_t(size) / 4);
    LONG small = size - 1;
    EXPECT_EQ(grabber_->GetCurrentBuffer(&small, copy.data()), E_OUTOFMEMORY);
    ASSERT_EQ(grabber_->GetCurrentBuffer(&size, copy.data()), S_OK);
    EXPECT_EQ(copy[0], 0); // frame 0
    EXPECT_EQ(grabber_->SetCallback(&recorder, 2), E_INVALIDARG);
}

TEST_F(GraphTest, BufferCallbackGetsTheBytes)
{
    Build({MEDIASUBTYPE_UYVY}, MEDIASUBTYPE_UYVY);
    Recorder& recorder = recorder_;
    ASSERT_EQ(grabber_->SetCallback(&recorder, 1), S_OK);
    ASSERT_EQ(ConnectAll(), S_OK);
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    recorder.WaitFor(2);
    ASSERT_EQ(control_->Stop(), S_OK);
    std::lock_guard<std::mutex> hold(recorder.lock);
    EXPECT_TRUE(recorder.times.empty());
    ASSERT_GE(recorder.buffers.size(), 2u);
    EXPECT_EQ(recorder.buffers[0], 320 * 240 * 2);
}

TEST_F(GraphTest, StateChangesAndTheClock)
{
    Build({MEDIASUBTYPE_RGB32}, MEDIASUBTYPE_RGB32);
    ASSERT_EQ(ConnectAll(), S_OK);
    IMediaFilter* filter = nullptr;
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&filter)), S_OK);
    IReferenceClock* clock = nullptr;
    ASSERT_EQ(filter->GetSyncSource(&clock), S_OK);
    EXPECT_EQ(clock, nullptr);
    ASSERT_EQ(control_->Pause(), S_OK);
    OAFilterState state = -1;
    // A live source cannot cue while paused.
    EXPECT_EQ(control_->GetState(0, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    SyntheticSource* late = SyntheticSource::Create();
    EXPECT_EQ(graph_->AddFilter(late, u"Late"), VFW_E_NOT_STOPPED);
    late->Release();
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    ASSERT_EQ(filter->GetSyncSource(&clock), S_OK);
    ASSERT_NE(clock, nullptr);
    // Every filter runs on the graph's clock.
    IReferenceClock* sourceClock = nullptr;
    ASSERT_EQ(source_->GetSyncSource(&sourceClock), S_OK);
    EXPECT_EQ(sourceClock, clock);
    sourceClock->Release();
    EXPECT_EQ(filter->SetSyncSource(nullptr), VFW_E_NOT_STOPPED);
    REFERENCE_TIME first = 0, second = 0;
    clock->GetTime(&first);
    clock->GetTime(&second);
    EXPECT_GE(second, first);
    EXPECT_GT(source_->StreamStart(), 0);
    ASSERT_EQ(control_->Stop(), S_OK);

    // AdviseTime signals its event once the clock passes the time asked.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD_PTR cookie = 0;
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    ASSERT_EQ(clock->AdviseTime(now, 10'000, reinterpret_cast<HEVENT>(event), &cookie), S_OK);
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(clock->Unadvise(cookie), S_FALSE);
    CloseHandle(event);
    clock->Release();
    filter->Release();
}

TEST_F(GraphTest, CaptureGraphBuilderRendersThroughTheGrabberAndFindsInterfaces)
{
    Build({MEDIASUBTYPE_RGB32, MEDIASUBTYPE_UYVY}, MEDIASUBTYPE_RGB32);
    ICaptureGraphBuilder2* builder = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_ICaptureGraphBuilder2,
                               reinterpret_cast<void**>(&builder)),
              S_OK);
    ASSERT_EQ(builder->SetFiltergraph(graph_), S_OK);
    EXPECT_EQ(builder->SetFiltergraph(graph_), E_UNEXPECTED);
    IGraphBuilder* attached = nullptr;
    ASSERT_EQ(builder->GetFiltergraph(&attached), S_OK);
    EXPECT_EQ(attached, graph_);
    attached->Release();

    // No sink, a category the source has no pin of: nothing is added or connected.
    EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source_, grabberFilter_, nullptr),
              E_FAIL);
    EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source_, grabberFilter_, renderer_),
              E_FAIL);
    EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, source_, grabberFilter_, renderer_),
              E_FAIL);
    EXPECT_FALSE(Connected(source_->Output()));

    ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source_, grabberFilter_, renderer_),
              S_OK);
    IPin* grabbed = PinOf(grabberFilter_, PINDIR_OUTPUT);
    IPin* rendered = PinOf(renderer_, PINDIR_INPUT);
    EXPECT_TRUE(Connected(source_->Output()));
    EXPECT_TRUE(Connected(grabbed));
    EXPECT_TRUE(Connected(rendered));
    grabbed->Release();
    rendered->Release();

    // The interface of the source's capture pin, not of the filter.
    IAMStreamConfig* config = nullptr;
    ASSERT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source_, IID_IAMStreamConfig,
                                     reinterpret_cast<void**>(&config)),
              S_OK);
    IAMStreamConfig* direct = nullptr;
    ASSERT_EQ(source_->Output()->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&direct)), S_OK);
    EXPECT_EQ(config, direct);
    direct->Release();
    config->Release();
    EXPECT_EQ(builder->FindInterface(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source_, IID_IAMStreamConfig,
                                     reinterpret_cast<void**>(&config)),
              E_NOINTERFACE);
    EXPECT_EQ(config, nullptr);

    // Up- and downstream.
    ISampleGrabber* found = nullptr;
    ASSERT_EQ(builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, renderer_, IID_ISampleGrabber,
                                     reinterpret_cast<void**>(&found)),
              S_OK);
    EXPECT_EQ(found, grabber_);
    found->Release();
    EXPECT_EQ(builder->FindInterface(&LOOK_DOWNSTREAM_ONLY, nullptr, renderer_, IID_ISampleGrabber,
                                     reinterpret_cast<void**>(&found)),
              E_NOINTERFACE);
    ASSERT_EQ(builder->FindInterface(nullptr, nullptr, source_, IID_ISampleGrabber,
                                     reinterpret_cast<void**>(&found)),
              S_OK);
    found->Release();

    // FindPin counts matching pins; connected ones only when asked for.
    IPin* pin = nullptr;
    EXPECT_EQ(builder->FindPin(source_, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, TRUE, 0, &pin), E_FAIL);
    ASSERT_EQ(builder->FindPin(source_, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0, &pin), S_OK);
    EXPECT_EQ(pin, source_->Output());
    pin->Release();
    EXPECT_EQ(builder->FindPin(source_, PINDIR_OUTPUT, nullptr, nullptr, FALSE, 1, &pin), E_FAIL);
    EXPECT_EQ(builder->FindPin(source_, PINDIR_INPUT, nullptr, nullptr, FALSE, 0, &pin), E_FAIL);
    builder->Release();

    // The graph built this way runs.
    Recorder& recorder = recorder_;
    ASSERT_EQ(grabber_->SetCallback(&recorder, 0), S_OK);
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    recorder.WaitFor(2);
    ASSERT_EQ(control_->Stop(), S_OK);
}

TEST_F(GraphTest, StateChangesReachTheRenderersFirstAndGetStateReportsTransitions)
{
    // Added upstream first: a -> b -> c, and d alone.
    std::vector<Probe*> log;
    Probe* a = new Probe(&log);
    Probe* b = new Probe(&log);
    Probe* c = new Probe(&log);
    Probe* d = new Probe(&log);
    ASSERT_EQ(graph_->AddFilter(a, u"a"), S_OK);
    ASSERT_EQ(graph_->AddFilter(b, u"b"), S_OK);
    ASSERT_EQ(graph_->AddFilter(d, u"d"), S_OK);
    ASSERT_EQ(graph_->AddFilter(c, u"c"), S_OK);
    ASSERT_EQ(graph_->Connect(b->Out(), c->In()), S_OK);
    ASSERT_EQ(graph_->ConnectDirect(a->Out(), b->In(), nullptr), S_OK);
    ASSERT_EQ(control_->Pause(), S_OK);
    ASSERT_EQ(log.size(), 4u);
    // c before b before a; d has nothing downstream.
    auto at = [&log](Probe* p) { return std::find(log.begin(), log.end(), p) - log.begin(); };
    EXPECT_LT(at(c), at(b));
    EXPECT_LT(at(b), at(a));
    EXPECT_EQ(graph_->Disconnect(b->In()), VFW_E_NOT_STOPPED);

    b->stateResult = VFW_S_STATE_INTERMEDIATE;
    OAFilterState state = -1;
    EXPECT_EQ(control_->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(state, State_Paused);
    b->stateResult = S_OK;
    EXPECT_EQ(control_->GetState(0, &state), S_OK);
    EXPECT_EQ(control_->GetState(0, nullptr), E_POINTER);

    log.clear();
    ASSERT_EQ(control_->Stop(), S_OK);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_LT(at(c), at(b));
    EXPECT_LT(at(b), at(a));
    for (Probe* p : {a, b, c, d})
        p->Release();
}

TEST(SystemClassTest, EveryClassIsMadeInAnyApartmentAndUsedFromAnyThread)
{
    const CLSID classes[] = {CLSID_SystemDeviceEnum, CLSID_FilterGraph, CLSID_CaptureGraphBuilder2,
                             CLSID_SampleGrabber, CLSID_NullRenderer};
    for (const DWORD model : {DWORD(COINIT_APARTMENTTHREADED), DWORD(COINIT_MULTITHREADED)}) {
        std::vector<IUnknown*> made;
        std::thread maker([&] {
            ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
            for (const CLSID& clsid : classes) {
                IUnknown* object = nullptr;
                EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                           reinterpret_cast<void**>(&object)),
                          S_OK);
                if (object)
                    made.push_back(object);
            }
            CoUninitialize();
        });
        maker.join();
        ASSERT_EQ(made.size(), 5u);
        // Free-threaded: the objects answer on this thread, outside the maker's apartment.
        IGraphBuilder* graph = nullptr;
        ASSERT_EQ(made[1]->QueryInterface(IID_IGraphBuilder, reinterpret_cast<void**>(&graph)), S_OK);
        IBaseFilter* renderer = nullptr;
        ASSERT_EQ(made[4]->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&renderer)), S_OK);
        EXPECT_EQ(graph->AddFilter(renderer, u"NULL Renderer"), S_OK);
        renderer->Release();
        graph->Release();
        IUnknown* aggregate = nullptr;
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoCreateInstance(CLSID_NullRenderer, made[0], CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&aggregate)),
                  CLASS_E_NOAGGREGATION);
        CoUninitialize();
        for (IUnknown* object : made)
            object->Release();
    }
}

TEST_F(GraphTest, OneShotEndsTheStreamDownstreamAndFlushingPassesThrough)
{
    std::vector<Probe*> log;
    Probe* sink = new Probe(&log);
    source_ = SyntheticSource::Create({MEDIASUBTYPE_RGB32});
    ASSERT_EQ(graph_->AddFilter(source_, u"Source"), S_OK);
    ASSERT_EQ(graph_->AddFilter(grabberFilter_, u"Video Sample Grabber"), S_OK);
    ASSERT_EQ(graph_->AddFilter(sink, u"Sink"), S_OK);
    ASSERT_EQ(grabber_->SetOneShot(TRUE), S_OK);
    IPin* in = PinOf(grabberFilter_, PINDIR_INPUT);
    IPin* out = PinOf(grabberFilter_, PINDIR_OUTPUT);
    ASSERT_EQ(graph_->Connect(source_->Output(), in), S_OK);
    ASSERT_EQ(graph_->Connect(out, sink->In()), S_OK);
    ASSERT_TRUE(SUCCEEDED(control_->Run()));
    while (sink->EndsOfStream() == 0 || source_->FramesDelivered() < 3)
        std::this_thread::yield();
    EXPECT_EQ(sink->Samples(), 1);
    EXPECT_EQ(sink->EndsOfStream(), 1);
    // A flush passes through the grabber to the sink.
    EXPECT_EQ(in->BeginFlush(), S_OK);
    EXPECT_EQ(sink->Flushes(), 1);
    EXPECT_EQ(in->EndFlush(), S_OK);
    ASSERT_EQ(control_->Stop(), S_OK);
    EXPECT_EQ(sink->Samples(), 1);
    EXPECT_EQ(out->EndOfStream(), E_UNEXPECTED);
    EXPECT_EQ(in->Connect(out, nullptr), E_UNEXPECTED);
    in->Release();
    out->Release();
    sink->Release();
}

TEST_F(GraphTest, PinsTellTheirIdentity)
{
    IPin* pin = nullptr;
    ASSERT_EQ(grabberFilter_->FindPin(u"Output", &pin), S_OK);
    LPWSTR id = nullptr;
    ASSERT_EQ(pin->QueryId(&id), S_OK);
    EXPECT_EQ(std::u16string(id), u"Output");
    CoTaskMemFree(id);
    PIN_INFO info{};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, grabberFilter_);
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(std::u16string(info.achName), u"Output");
    info.pFilter->Release();
    AM_MEDIA_TYPE none{};
    EXPECT_EQ(pin->ConnectionMediaType(&none), VFW_E_NOT_CONNECTED);
    IPin* peer = nullptr;
    EXPECT_EQ(pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
    pin->Release();
    EXPECT_EQ(grabberFilter_->FindPin(u"output", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin, nullptr);

    // The renderer's input takes several samples at once while running, and none while stopped.
    ASSERT_EQ(renderer_->FindPin(u"In", &pin), S_OK);
    IMemInputPin* input = nullptr;
    ASSERT_EQ(pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)), S_OK);
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
    ALLOCATOR_PROPERTIES request{2, 16, 1, 0}, actual{};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* samples[2] = {};
    ASSERT_EQ(allocator->GetBuffer(&samples[0], nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&samples[1], nullptr, nullptr, 0), S_OK);
    LONG done = -1;
    EXPECT_EQ(input->ReceiveMultiple(samples, 2, &done), VFW_E_WRONG_STATE);
    EXPECT_EQ(done, 0);
    ASSERT_EQ(renderer_->Pause(), S_OK);
    EXPECT_EQ(input->ReceiveMultiple(samples, 2, &done), S_OK);
    EXPECT_EQ(done, 2);
    ASSERT_EQ(renderer_->Stop(), S_OK);
    samples[0]->Release();
    samples[1]->Release();
    allocator->Decommit();
    allocator->Release();
    input->Release();
    pin->Release();
}
