// The preview graphs on the whole stack (the machine, the driver, a board): a video graph on the
// board's capture filter and crossbar delivering the colour bars into the control's frame, an
// audio graph delivering the tone, the control's handle outliving the graph, and the callbacks'
// copies kept inside the buffer and the sample.
#include "PageBench.h"
#include "graphs/CAudioSampleCB.h"
#include "graphs/CFilterGraphCtrl.h"
#include "graphs/CVideoSampleCB.h"
#include "transport/PropertyRequests.h"

#include "ColorBarExpected.h"
#include "board/ColourBars.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr char16_t kAudioFilter[] = u"SDI Audio 1 (Talvexon HD 1)";

// The parent that the callbacks post to, and the static control window of the graph.
struct PreviewWindows {
    static inline int videoSamples = 0;
    static inline int audioSamples = 0;
    static inline WPARAM lastVideoParam = 0;
    HWND parent = nullptr;
    HWND control = nullptr;

    static LRESULT Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_VIDEO_SAMPLE) {
            ++videoSamples;
            lastVideoParam = wParam;
            return 0;
        }
        if (message == WM_AUDIO_SAMPLE) {
            ++audioSamples;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    PreviewWindows()
    {
        videoSamples = audioSamples = 0;
        lastVideoParam = 0;
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = Procedure;
        type.lpszClassName = u"PreviewGraphTestParent";
        RegisterClassExW(&type);
        parent = CreateWindowExW(0, u"PreviewGraphTestParent", u"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                 nullptr, nullptr, nullptr);
        control = CreateWindowExW(0, u"Static", u"", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, parent, nullptr,
                                  nullptr, nullptr);
    }
    ~PreviewWindows()
    {
        if (parent)
            DestroyWindow(parent);
    }
};

bool Near(int actual, int expected)
{
    return std::abs(actual - expected) <= 2;
}

class PreviewGraphTest : public testing::Test {
protected:
    pagebench::PageBench bench;
};

TEST_F(PreviewGraphTest, AVideoGraphOnTheCaptureFilterAndItsCrossbarShowsTheBarsTopDown)
{
    ASSERT_EQ(bench.BoardStatus(), STATUS_SUCCESS);
    {
        PreviewWindows windows;
        ASSERT_NE(windows.control, nullptr);
        CFilterGraphCtrl graph;
        graph.m_rcVideo = RECT{0, 0, 320, 240};
        graph.m_hWndControl = windows.control;
        graph.SelectCaptureDevice(pagebench::kVideoFilter, pagebench::kCrossbarFilter);
        ASSERT_NE(graph.m_pCapture, nullptr);
        ASSERT_NE(graph.m_pCrossbar, nullptr);
        ASSERT_NE(graph.GetFilterHandle(), nullptr);
        ASSERT_TRUE(graph.StartCaptureGraph());

        // The format set on the pin, as the callback took it after SetFormat succeeded.
        ASSERT_NE(graph.m_pVideoCB, nullptr);
        const BITMAPINFOHEADER& set = graph.m_pVideoCB->m_header;
        EXPECT_EQ(set.biWidth, 320);
        EXPECT_EQ(set.biHeight, 240);
        EXPECT_EQ(set.biBitCount, 32);
        EXPECT_EQ(set.biCompression, DWORD(BI_RGB));
        EXPECT_EQ(set.biSizeImage, 307200u);
        ASSERT_NE(graph.m_pMediaType, nullptr);
        ASSERT_EQ(graph.m_pMediaType->cbFormat, sizeof(VIDEOINFOHEADER));
        EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(graph.m_pMediaType->pbFormat)->bmiHeader.biSizeImage, 307200u);
        // The graph's members under their names.
        IBaseFilter* found = nullptr;
        for (const char16_t* name : {u"Video Sample Grabber", u"NULL Renderer", pagebench::kVideoFilter,
                                     pagebench::kCrossbarFilter}) {
            EXPECT_EQ(graph.m_pGraph->FindFilterByName(name, &found), S_OK) << std::string(name, name + 5);
            if (found)
                found->Release();
            found = nullptr;
        }

        ASSERT_TRUE(pagebench::PageBench::WaitUntil([] { return PreviewWindows::videoSamples >= 1; }));
        EXPECT_EQ(PreviewWindows::lastVideoParam, reinterpret_cast<WPARAM>(windows.control));
        EnterCriticalSection(&graph.m_lock);
        ASSERT_EQ(graph.m_cbFrame, 307200u);
        std::vector<BYTE> frame(graph.m_pFrame, graph.m_pFrame + graph.m_cbFrame);
        LeaveCriticalSection(&graph.m_lock);
        // Top-down now: rows 40, 120 and 200 from the top at each bar's centre.
        for (int bar = 0; bar < 8; ++bar) {
            const std::array<int, 3> expected = colorbartest::Rgb32(bar);
            for (int row : {0, 40, 120, 200}) {
                const BYTE* p = frame.data() + (size_t(row) * 320 + size_t(40 * bar + 20)) * 4;
                EXPECT_TRUE(Near(p[0], expected[0]) && Near(p[1], expected[1]) && Near(p[2], expected[2]))
                    << "bar " << bar << " row " << row << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
            }
        }
        EXPECT_EQ(graph.StopGraphAndWait(), 1);
        EXPECT_EQ(graph.m_pControl, nullptr);
        EXPECT_EQ(graph.m_pBuilder, nullptr);
        EXPECT_EQ(graph.m_pFrame, nullptr);
        EXPECT_EQ(graph.m_pVideoCB, nullptr);

        // No callback after the stop: the count stays where it is however long the queue is pumped.
        const int seen = PreviewWindows::videoSamples;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        const int queued = PreviewWindows::videoSamples;
        EXPECT_GE(queued, seen);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        EXPECT_EQ(PreviewWindows::videoSamples, queued);

        // The filter handle serves property requests with no graph.
        DEVICE_CONFIG config{};
        EXPECT_EQ(GetDeviceInfoRecord(&graph, &config), S_OK);
        // And a second run builds again.
        ASSERT_TRUE(graph.StartCaptureGraph());
        ASSERT_TRUE(pagebench::PageBench::WaitUntil([&] { return PreviewWindows::videoSamples > queued; }));
        EXPECT_EQ(graph.StopGraphAndWait(), 1);
    }
    EXPECT_EQ(bench.Shutdown().leaks, 0u);
}

TEST_F(PreviewGraphTest, AnAudioGraphDeliversTheTone)
{
    ASSERT_EQ(bench.BoardStatus(), STATUS_SUCCESS);
    {
        PreviewWindows windows;
        CFilterGraphCtrl graph;
        graph.m_hWndControl = windows.control;
        graph.SelectCaptureDevice(kAudioFilter, u"");
        ASSERT_NE(graph.m_pCapture, nullptr);
        ASSERT_TRUE(graph.StartCaptureGraph());
        ASSERT_NE(graph.m_pAudioCB, nullptr);
        EXPECT_EQ(graph.m_pVideoCB, nullptr);
        ASSERT_NE(graph.m_pMediaType, nullptr);
        ASSERT_GE(graph.m_pMediaType->cbFormat, sizeof(WAVEFORMATEX));
        WAVEFORMATEX wave{};
        std::memcpy(&wave, graph.m_pMediaType->pbFormat, sizeof wave);
        EXPECT_EQ(wave.wBitsPerSample, 16);
        EXPECT_EQ(wave.nSamplesPerSec, 48000u);
        IBaseFilter* found = nullptr;
        EXPECT_EQ(graph.m_pGraph->FindFilterByName(u"Audio Sample Grabber", &found), S_OK);
        if (found)
            found->Release();

        ASSERT_TRUE(pagebench::PageBench::WaitUntil([] { return PreviewWindows::audioSamples >= 2; }));
        EnterCriticalSection(&graph.m_lock);
        std::vector<BYTE> block(graph.m_pFrame, graph.m_pFrame + graph.m_cbFrame);
        LeaveCriticalSection(&graph.m_lock);
        ASSERT_GE(block.size(), 4u * 96);
        ASSERT_EQ(block.size() % 4, 0u);
        // 1 kHz on the left at 48000 Hz: two zero crossings every 48 samples.
        const size_t frames = block.size() / 4;
        int crossings = 0, peak = 0;
        int16_t previous = 0;
        for (size_t i = 0; i < frames; ++i) {
            int16_t value = 0;
            std::memcpy(&value, block.data() + i * 4, 2);
            if (i > 0 && (previous < 0) != (value < 0))
                ++crossings;
            previous = value;
            peak = std::max(peak, std::abs(int(value)));
        }
        EXPECT_GT(peak, 1000);
        EXPECT_NEAR(crossings, int(frames * 2 / 48), 2);
        EXPECT_EQ(graph.StopGraphAndWait(), 1);
    }
    EXPECT_EQ(bench.Shutdown().leaks, 0u);
}

TEST_F(PreviewGraphTest, TheBoardsAudioDeviceNameFindsItsFirstAudioFilter)
{
    ASSERT_EQ(bench.BoardStatus(), STATUS_SUCCESS);
    CFilterGraphCtrl graph;
    const std::u16string name = CFilterGraphCtrl::DeviceFilterName(u"Talvexon HD ", 1, u"Audio");
    EXPECT_EQ(name, u"Talvexon HD Audio Device 1");
    EXPECT_EQ(CFilterGraphCtrl::DeviceFilterName(u"Talvexon HD ", 1, u"Video"), pagebench::kVideoFilter);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(graph.FindCaptureFilterByName(&filter, name.c_str()), S_OK);
    ASSERT_NE(filter, nullptr);
    filter->Release();
    // Exact names only otherwise: case counts.
    filter = nullptr;
    EXPECT_EQ(graph.FindCaptureFilterByName(&filter, u"talvexon HD Video Device 1"), E_FAIL);
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(graph.FindCaptureFilterByName(nullptr, name.c_str()), E_POINTER);
    EXPECT_EQ(graph.FindCrossbarFilterByName(nullptr, name.c_str()), E_POINTER);
}

TEST_F(PreviewGraphTest, TearingDownARunningGraphStopsItBeforeTheCallbacksGo)
{
    ASSERT_EQ(bench.BoardStatus(), STATUS_SUCCESS);
    {
        PreviewWindows windows;
        CFilterGraphCtrl graph;
        graph.m_rcVideo = RECT{0, 0, 320, 240};
        graph.m_hWndControl = windows.control;
        graph.SelectCaptureDevice(pagebench::kVideoFilter, pagebench::kCrossbarFilter);
        ASSERT_TRUE(graph.StartCaptureGraph());
        ASSERT_TRUE(pagebench::PageBench::WaitUntil([] { return PreviewWindows::videoSamples >= 1; }));
        // Teardown alone, the graph running: it is stopped, nothing is left of it, and the next
        // start builds a new one instead of running the old media control.
        EXPECT_EQ(graph.TeardownFilterGraph(), 0);
        EXPECT_EQ(graph.m_pControl, nullptr);
        EXPECT_EQ(graph.m_pGrabber, nullptr);
        EXPECT_EQ(graph.m_pVideoCB, nullptr);
        EXPECT_EQ(graph.m_pFrame, nullptr);
        const int seen = PreviewWindows::videoSamples;
        pagebench::PageBench::WaitUntil([] { return true; });
        const int drained = PreviewWindows::videoSamples;
        EXPECT_GE(drained, seen);
        ASSERT_TRUE(graph.StartCaptureGraph());
        ASSERT_TRUE(pagebench::PageBench::WaitUntil([&] { return PreviewWindows::videoSamples > drained; }));
        DEVICE_CONFIG config{};
        EXPECT_EQ(GetDeviceInfoRecord(&graph, &config), S_OK);
    } // the destructor stops the running graph
    EXPECT_EQ(bench.Shutdown().leaks, 0u);
}

TEST_F(PreviewGraphTest, StoppingAControlThatNeverBuiltAGraphReturnsOne)
{
    CFilterGraphCtrl graph;
    EXPECT_EQ(graph.StopGraphAndWait(), 1);
    EXPECT_EQ(graph.TeardownFilterGraph(), 0);
    EXPECT_EQ(graph.m_wantedBitCount, 32u);
    EXPECT_EQ(graph.m_wantedCompression, 0u);
    EXPECT_EQ(graph.m_wantedAudioBits, 16u);
    EXPECT_EQ(graph.m_wantedAudioRate, 48000u);
    EXPECT_EQ(graph.ConnectFilters(nullptr, nullptr, 0, 0), E_POINTER);
}

} // namespace
