// The fixture of the graph tests over the real driver: a machine of its own in a fresh folder with
// the driver and one simulated board brought up, COM, the board's filters bound by friendly name
// through the system device enumerator, and a graph of a capture application (filter graph,
// capture graph builder, sample grabbers with callbacks, null renderers).
#pragma once
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BoardMachine.h"
#include "um/dshow.h"
#include "um/ksproxy.h"
#include "um/qedit.h"

namespace graphtest {

// The board's filters as the driver names them.
inline constexpr char16_t kVideoName[] = u"Talvexon HD Video Device 1";
inline constexpr char16_t kCrossbarName[] = u"Talvexon HD Crossbar Device 1";
inline constexpr char16_t kAudioName[] = u"SDI Audio 1 (Talvexon HD 1)";

// The friendly names of the monikers of `category`, in enumeration order.
std::vector<std::u16string> FriendlyNames(const GUID& category);
// The filter of the moniker named exactly `name` in `category` (null when none is).
IBaseFilter* FindFilter(const GUID& category, const std::u16string& name);
// The filter's pins of `direction`, each with a reference.
std::vector<IPin*> PinsOf(IBaseFilter* filter, PIN_DIRECTION direction);
void Release(std::vector<IPin*>& pins);

// A grabber callback keeping the bytes of the samples it is given on the streaming thread.
class Samples final : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }

    // Waits (a minute at most) until `count` samples came; false when they did not.
    bool WaitForSamples(size_t count);
    // Waits until the samples hold `bytes` bytes in all.
    bool WaitForBytes(size_t bytes);
    // The samples' bytes, each sample whole, in arrival order.
    std::vector<std::vector<BYTE>> Taken();
    // Every byte of every sample, in order.
    std::vector<BYTE> Joined();
    // Whether every sample came on a thread other than `thread`.
    bool AllOffThread(std::thread::id thread);

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::vector<BYTE>> samples_;
    std::vector<std::thread::id> threads_;
    size_t bytes_ = 0;
};

// A filter graph with its capture graph builder; stopped and emptied when it goes.
class Graph {
public:
    Graph();
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;
    ~Graph();

    // Adds `filter` (the graph keeps its own reference).
    HRESULT Add(IBaseFilter* filter, const std::u16string& name);
    // A sample grabber calling `samples` back and a null renderer, in the graph; the grabber.
    IBaseFilter* AddGrabber(Samples* samples, const std::u16string& name);
    // The null renderer of the last AddGrabber.
    IBaseFilter* LastRenderer() const { return renderers_.empty() ? nullptr : renderers_.back(); }

    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    ICaptureGraphBuilder2* builder = nullptr;

private:
    std::vector<IBaseFilter*> filters_;
    std::vector<ISampleGrabber*> grabbers_;
    std::vector<IBaseFilter*> renderers_;
};

class BoardGraphTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path folder_;
    toolboot::BoardMachine booted_;
};

} // namespace graphtest
