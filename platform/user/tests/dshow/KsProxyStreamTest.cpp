// Graphs over the proxy: frames of the test minidriver through a grabber to the null renderer, the
// kernel pin's states, the audio pin's blocks, and a refused state step failing the graph's Run.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "KsProxyFixture.h"
#include "KsStreamReader.h"
#include "km/fileobject.h"
#include "standin/devicefile.h"
#include "standin/object.h"
#include "um/winternl.h"
#include "um/windows.h"

using dshowtest::KsProxyTest;

namespace {

class Frames final : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = riid == IID_IUnknown || riid == IID_ISampleGrabberCB ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override
    {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        Seen seen;
        seen.length = sample->GetActualDataLength();
        seen.discontinuity = sample->IsDiscontinuity() == S_OK;
        sample->GetTime(&seen.start, &seen.end);
        // The frame's number from its first byte (37 * 173 = 1 modulo 256), then every byte checked.
        seen.number = (data[0] * 173) & 0xFF;
        seen.intact = true;
        for (LONG i = 0; i < seen.length; ++i)
            seen.intact = seen.intact && data[i] == kstest::FramePattern(seen.number, size_t(i));
        std::lock_guard<std::mutex> hold(lock);
        seen_.push_back(seen);
        changed.notify_all();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }

    struct Seen {
        LONG length = 0;
        bool discontinuity = false;
        REFERENCE_TIME start = 0, end = 0;
        int number = 0;
        bool intact = false;
    };
    bool WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, std::chrono::seconds(20), [&] { return seen_.size() >= count; });
    }
    std::vector<Seen> Taken()
    {
        std::lock_guard<std::mutex> hold(lock);
        return seen_;
    }

    std::mutex lock;
    std::condition_variable changed;
    std::vector<Seen> seen_;
};

// A graph with the proxy of "Test Video Device 2" and, per branch, a grabber calling back a Frames
// and a null renderer behind one of the proxy's output pins. The graph is stopped and every object
// released at the end.
class ProxyGraph {
public:
    struct Branch {
        IBaseFilter* grabber = nullptr;
        IBaseFilter* renderer = nullptr;
        ISampleGrabber* grab = nullptr;
    };
    explicit ProxyGraph(IBaseFilter* proxy) : filter(proxy), pins(KsProxyTest::Pins(proxy))
    {
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&graph));
        graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
        added = graph->AddFilter(filter, kstest::kProxyCaptureName);
    }
    ProxyGraph(const ProxyGraph&) = delete;
    ProxyGraph& operator=(const ProxyGraph&) = delete;
    ~ProxyGraph()
    {
        control->Stop();
        for (Branch& branch : branches) {
            branch.grab->SetCallback(nullptr, 0);
            branch.grab->Release();
            graph->RemoveFilter(branch.grabber);
            graph->RemoveFilter(branch.renderer);
            branch.grabber->Release();
            branch.renderer->Release();
        }
        graph->RemoveFilter(filter);
        KsProxyTest::ReleasePins(pins);
        control->Release();
        graph->Release();
    }

    // A grabber and a renderer for output pin `pin`; with `connect`, the pin connected through them.
    HRESULT AddBranch(size_t pin, Frames* frames, bool connect = true)
    {
        Branch branch;
        CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                         reinterpret_cast<void**>(&branch.grabber));
        CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                         reinterpret_cast<void**>(&branch.renderer));
        branch.grabber->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&branch.grab));
        branch.grab->SetBufferSamples(FALSE);
        branch.grab->SetOneShot(FALSE);
        branch.grab->SetCallback(frames, 0);
        const std::u16string suffix(1, char16_t(u'0' + branches.size()));
        graph->AddFilter(branch.grabber, (u"Grabber " + suffix).c_str());
        graph->AddFilter(branch.renderer, (u"NULL Renderer " + suffix).c_str());
        branches.push_back(branch);
        if (!connect)
            return S_OK;
        auto grabberPins = KsProxyTest::Pins(branch.grabber);
        auto rendererPins = KsProxyTest::Pins(branch.renderer);
        HRESULT hr = graph->Connect(pins[pin], grabberPins[0]);
        if (SUCCEEDED(hr))
            hr = graph->Connect(grabberPins[1], rendererPins[0]);
        KsProxyTest::ReleasePins(grabberPins);
        KsProxyTest::ReleasePins(rendererPins);
        return hr;
    }
    // The kernel pin's handle behind output pin `pin`.
    HANDLE KernelPin(size_t pin) const
    {
        IKsObject* object = nullptr;
        if (FAILED(pins[pin]->QueryInterface(IID_IKsObject, reinterpret_cast<void**>(&object))))
            return nullptr;
        HANDLE handle = object->KsGetObjectHandle();
        object->Release();
        return handle;
    }

    IBaseFilter* const filter;
    std::vector<IPin*> pins;
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    HRESULT added = E_FAIL;
    std::vector<Branch> branches;
};

size_t Pending(HANDLE handle)
{
    PFILE_OBJECT file = nullptr;
    if (!NT_SUCCESS(standin::ReferenceDeviceFile(handle, UserMode, &file)))
        return 0;
    const size_t count = standin::PendingRequestCount(file);
    ObDereferenceObject(file);
    return count;
}

std::vector<KSSTATE> StepsOf(ULONG pin)
{
    std::lock_guard<std::mutex> hold(kstest::ProxyPins().lock);
    std::vector<KSSTATE> steps;
    for (const auto& step : kstest::ProxyPins().steps)
        if (step.first == pin)
            steps.push_back(step.second);
    return steps;
}

} // namespace

TEST_F(KsProxyTest, ProxyGrabberAndNullRendererRunFramesInOrderAndStopLeavesNothingBehind)
{
    const size_t handlesBefore = standin::OpenHandleCount();
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    Frames frames;
    HANDLE kernelPin = nullptr;
    {
        ProxyGraph graph(filter);
        ASSERT_EQ(graph.added, S_OK);
        IAMStreamConfig* config = nullptr;
        ASSERT_EQ(graph.pins[1]->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config)), S_OK);
        AM_MEDIA_TYPE* rgb = VideoFormat(config, 1, 320, 240);
        ASSERT_EQ(config->SetFormat(rgb), S_OK);
        DeleteMediaType(rgb);
        ASSERT_EQ(graph.AddBranch(1, &frames), S_OK);
        kernelPin = graph.KernelPin(1);
        ASSERT_NE(kernelPin, nullptr);
        standin::ClearKsRequests();
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        ASSERT_TRUE(frames.WaitFor(6));
        // Running, the format cannot change.
        AM_MEDIA_TYPE* other = VideoFormat(config, 0, 320, 240);
        EXPECT_EQ(config->SetFormat(other), VFW_E_NOT_STOPPED);
        DeleteMediaType(other);
        config->Release();
        ASSERT_EQ(graph.control->Stop(), S_OK);
        EXPECT_EQ(Pending(kernelPin), 0u);
        // The graph's clock became the pin's master clock before its first step; every state step
        // went to the kernel pin's handle.
        std::vector<ULONG> stepped;
        bool clockFirst = false;
        for (const auto& request : standin::KsRequests()) {
            if (request.handle != kernelPin || request.ioControl != IOCTL_KS_PROPERTY)
                continue;
            if (request.set == KSPROPSETID_Stream && request.id == KSPROPERTY_STREAM_MASTERCLOCK) {
                clockFirst = stepped.empty();
                EXPECT_EQ(request.flags, ULONG(KSPROPERTY_TYPE_SET));
                EXPECT_EQ(request.status, 0);
            }
            if (request.set == KSPROPSETID_Connection && request.id == KSPROPERTY_CONNECTION_STATE)
                stepped.push_back(request.flags);
        }
        EXPECT_TRUE(clockFirst);
        EXPECT_EQ(stepped.size(), 6u);
        const auto seen = frames.Taken();
        ASSERT_GE(seen.size(), 6u);
        EXPECT_TRUE(seen[0].discontinuity);
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].length, 307200) << i;
            EXPECT_TRUE(seen[i].intact) << i;
            if (i > 0) {
                EXPECT_FALSE(seen[i].discontinuity) << i;
                EXPECT_GT((seen[i].number - seen[i - 1].number) & 0xFF, 0) << i;
                EXPECT_GT(seen[i].start, seen[i - 1].start) << i;
            }
        }
        EXPECT_EQ(StepsOf(kstest::kVideoPin), (std::vector<KSSTATE>{KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN,
                                                                     KSSTATE_PAUSE, KSSTATE_ACQUIRE, KSSTATE_STOP}));
    }
    filter->Release();
    // The kernel pin's handle went with the filter, and so did every other (filter, clock, threads).
    EXPECT_TRUE(HandleClosed(kernelPin));
    EXPECT_EQ(standin::OpenHandleCount(), handlesBefore);
}

TEST_F(KsProxyTest, PauseKeepsTheReadsAndRunResumesFromThem)
{
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    Frames frames;
    {
        ProxyGraph graph(filter);
        ASSERT_EQ(graph.AddBranch(1, &frames), S_OK);
        ASSERT_EQ(graph.control->Pause(), S_OK);
        FILTER_STATE state = State_Stopped;
        // A live source has nothing to cue while paused.
        EXPECT_EQ(filter->GetState(0, &state), VFW_S_CANT_CUE);
        EXPECT_EQ(state, State_Paused);
        EXPECT_EQ(StepsOf(kstest::kVideoPin), (std::vector<KSSTATE>{KSSTATE_ACQUIRE, KSSTATE_PAUSE}));
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        ASSERT_TRUE(frames.WaitFor(2));
        ASSERT_TRUE(SUCCEEDED(graph.control->Pause()));
        const size_t before = frames.Taken().size();
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        ASSERT_TRUE(frames.WaitFor(before + 3));
        ASSERT_EQ(graph.control->Stop(), S_OK);
        EXPECT_EQ(StepsOf(kstest::kVideoPin),
                  (std::vector<KSSTATE>{KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN, KSSTATE_PAUSE, KSSTATE_RUN,
                                        KSSTATE_PAUSE, KSSTATE_ACQUIRE, KSSTATE_STOP}));
        const auto seen = frames.Taken();
        // Only the first sample after the start is a discontinuity; the numbers keep rising.
        EXPECT_TRUE(seen[0].discontinuity);
        for (size_t i = 1; i < seen.size(); ++i) {
            EXPECT_TRUE(seen[i].intact) << i;
            EXPECT_FALSE(seen[i].discontinuity) << i;
            EXPECT_GT((seen[i].number - seen[i - 1].number) & 0xFF, 0) << i;
        }
    }
    filter->Release();
}

TEST_F(KsProxyTest, ANotificationThreadUsesTheFilterBesideARunningGraph)
{
    // The capture filter of the first factory has the notification event; the second streams.
    IBaseFilter* events = Bind(AM_KSCATEGORY_CAPTURE, kstest::kFriendlyName);
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(events, nullptr);
    ASSERT_NE(filter, nullptr);
    IKsControl* control = nullptr;
    ASSERT_EQ(events->QueryInterface(IID_IKsControl, reinterpret_cast<void**>(&control)), S_OK);
    IKsObject* object = nullptr;
    ASSERT_EQ(events->QueryInterface(IID_IKsObject, reinterpret_cast<void**>(&object)), S_OK);
    HANDLE notify = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE stop = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE enabled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE fetched = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    constexpr int kRaises = 5;
    std::atomic<int> records{0};
    std::atomic<bool> disabled{false};
    // The page's thread: enable, wait, fetch one record per wake-up, disable at the stop event.
    std::thread notifications([&] {
        struct {
            KSEVENTDATA data;
            BYTE record[kstest::kNotifyRecordSize];
        } block{};
        block.data.NotificationType = KSEVENTF_EVENT_HANDLE;
        block.data.EventHandle = uint32_t(reinterpret_cast<uintptr_t>(notify));
        KSEVENT enable{kstest::kNotificationSet, 0, KSEVENT_TYPE_ENABLEBUFFERED};
        ULONG bytes = 0;
        if (FAILED(control->KsEvent(&enable, sizeof enable, &block, sizeof block, &bytes)))
            return;
        SetEvent(enabled);
        KSQUERYBUFFER query{};
        query.Event = {kstest::kNotificationSet, 0, KSEVENT_TYPE_QUERYBUFFER};
        query.EventData = standin::KsEventDataCookie(&block.data);
        HANDLE both[2] = {notify, stop};
        while (WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0) {
            if (SUCCEEDED(control->KsEvent(&query.Event, sizeof query, block.record, sizeof block.record, &bytes)))
                ++records;
            SetEvent(fetched);
        }
        disabled = SUCCEEDED(control->KsEvent(nullptr, 0, &block, sizeof block, &bytes));
    });
    ASSERT_EQ(WaitForSingleObject(enabled, 10000), WAIT_OBJECT_0);
    Frames frames;
    {
        ProxyGraph graph(filter);
        ASSERT_EQ(graph.AddBranch(1, &frames), S_OK);
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        std::vector<BYTE> raised(kstest::kNotifyRecordSize, 0x5A);
        for (int i = 0; i < kRaises; ++i) {
            DWORD count = 0;
            ASSERT_TRUE(DeviceIoControl(object->KsGetObjectHandle(), kstest::kRaiseNotification, raised.data(),
                                        DWORD(raised.size()), nullptr, 0, &count, nullptr));
            ASSERT_EQ(WaitForSingleObject(fetched, 10000), WAIT_OBJECT_0);
            // The window thread's own request meanwhile.
            KSPROPERTY level{kstest::kTestPropertySet, kstest::kLevel, KSPROPERTY_TYPE_GET};
            ULONG value = 0, bytes = 0;
            EXPECT_EQ(control->KsProperty(&level, sizeof level, &value, sizeof value, &bytes), S_OK);
            EXPECT_EQ(value, 50u);
        }
        ASSERT_TRUE(frames.WaitFor(3));
        ASSERT_EQ(graph.control->Stop(), S_OK);
    }
    SetEvent(stop);
    notifications.join();
    EXPECT_EQ(records.load(), kRaises);
    EXPECT_TRUE(disabled.load());
    for (HANDLE handle : {notify, stop, enabled, fetched})
        CloseHandle(handle);
    object->Release();
    control->Release();
    events->Release();
    filter->Release();
}

TEST_F(KsProxyTest, TheAudioPinDeliversTenMillisecondBlocks)
{
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    Frames frames;
    {
        ProxyGraph graph(filter);
        ASSERT_EQ(graph.AddBranch(2, &frames), S_OK);
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        ASSERT_TRUE(frames.WaitFor(5));
        ASSERT_EQ(graph.control->Stop(), S_OK);
        const auto seen = frames.Taken();
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].length, LONG(kstest::kAudioBytesPer10ms)) << i;
            EXPECT_EQ(seen[i].end - seen[i].start, 100000) << i;
            EXPECT_TRUE(seen[i].intact) << i;
            if (i > 0) {
                EXPECT_GT(seen[i].start, seen[i - 1].start) << i;
            }
        }
    }
    filter->Release();
}

TEST_F(KsProxyTest, APinRefusingPauseFailsRunAndEveryPinIsLeftStopped)
{
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    Frames video;
    Frames audio;
    {
        ProxyGraph graph(filter);
        ASSERT_EQ(graph.AddBranch(1, &video), S_OK);
        ASSERT_EQ(graph.AddBranch(2, &audio), S_OK);
        {
            std::lock_guard<std::mutex> hold(kstest::ProxyPins().lock);
            kstest::ProxyPins().refuseStateTo = KSSTATE_PAUSE;
            kstest::ProxyPins().refusePin = int(kstest::kAudioPin);
        }
        EXPECT_EQ(graph.control->Run(), HRESULT_FROM_WIN32(RtlNtStatusToDosError(STATUS_INVALID_DEVICE_STATE)));
        OAFilterState state = State_Running;
        graph.control->GetState(0, &state);
        EXPECT_EQ(state, State_Stopped);
        // The video pin reached Pause and was stepped back; the audio pin refused Pause from Acquire
        // and went back too.
        EXPECT_EQ(StepsOf(kstest::kVideoPin),
                  (std::vector<KSSTATE>{KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_ACQUIRE, KSSTATE_STOP}));
        EXPECT_EQ(StepsOf(kstest::kAudioPin), (std::vector<KSSTATE>{KSSTATE_ACQUIRE, KSSTATE_STOP}));
        KSPROPERTY get{KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_GET};
        for (size_t pin : {size_t(1), size_t(2)}) {
            KSSTATE now = KSSTATE_RUN;
            ULONG bytes = 0;
            ASSERT_EQ(KsSynchronousDeviceControl(graph.KernelPin(pin), IOCTL_KS_PROPERTY, &get, sizeof get, &now,
                                                 sizeof now, &bytes),
                      S_OK);
            EXPECT_EQ(now, KSSTATE_STOP) << pin;
        }
        EXPECT_TRUE(video.Taken().empty());
        EXPECT_TRUE(audio.Taken().empty());
    }
    filter->Release();
}

TEST_F(KsProxyTest, AKernelPinRefusedFailsConnectWithTheRequestsResult)
{
    IBaseFilter* filter = Bind(AM_KSCATEGORY_CAPTURE, kstest::kProxyCaptureName);
    ASSERT_NE(filter, nullptr);
    Frames frames;
    {
        ProxyGraph graph(filter);
        ASSERT_EQ(graph.AddBranch(1, &frames, false), S_OK);
        {
            std::lock_guard<std::mutex> hold(kstest::ProxyPins().lock);
            kstest::ProxyPins().refuseCreate = true;
        }
        auto grabberPins = Pins(graph.branches[0].grabber);
        EXPECT_EQ(graph.pins[1]->Connect(grabberPins[0], nullptr),
                  HRESULT_FROM_WIN32(RtlNtStatusToDosError(STATUS_INSUFFICIENT_RESOURCES)));
        IPin* peer = nullptr;
        EXPECT_EQ(graph.pins[1]->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(grabberPins[0]->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(graph.KernelPin(1), nullptr);
        // Accepted again, the same pin connects.
        {
            std::lock_guard<std::mutex> hold(kstest::ProxyPins().lock);
            kstest::ProxyPins().refuseCreate = false;
        }
        EXPECT_EQ(graph.pins[1]->Connect(grabberPins[0], nullptr), S_OK);
        EXPECT_NE(graph.KernelPin(1), nullptr);
        ReleasePins(grabberPins);
    }
    filter->Release();
}
