// A preview control of the window family over its own graph on the whole stack: the still picture
// while no video runs, the board's colour bars once the first frame came (written as a PNG for a
// person to look at), and the true-colour note at 16 bits a pixel.
#include "PageBench.h"
#include "controls/CVideoCtrlImpl.h"
#include "graphs/CFilterGraphCtrl.h"

#include "ColorBarExpected.h"
#include "standin/pictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

class TestPreviewCtrl : public CVideoCtrlImpl<TestPreviewCtrl>, public CFilterGraphCtrl {
public:
    BEGIN_MSG_MAP(TestPreviewCtrl)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnErase)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
    END_MSG_MAP()

    LRESULT OnErase(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&)
    {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(m_hWnd, &paint);
        PaintPreview(dc);
        EndPaint(m_hWnd, &paint);
        return 0;
    }
};

// The page: on each WM_VIDEO_SAMPLE it puts the control's frame into the picture under the lock;
// a sample whose frame is gone (the graph stopped) is skipped.
struct PreviewPage {
    static inline TestPreviewCtrl* ctrl = nullptr;
    static inline int frames = 0;
    static LRESULT Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_VIDEO_SAMPLE && ctrl) {
            EnterCriticalSection(&ctrl->m_lock);
            if (ctrl->m_pFrame && ctrl->ShowFrame(ctrl->m_pFrame, ctrl->m_cbFrame))
                ++frames;
            LeaveCriticalSection(&ctrl->m_lock);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

// PAGE_PICTURES names the folder of the pictures; otherwise they go to the temporary folder.
std::filesystem::path PictureFolder()
{
    const char* folder = std::getenv("PAGE_PICTURES");
    return folder ? std::filesystem::path(folder) : std::filesystem::temp_directory_path() / "page-pictures";
}

bool Near(int actual, int expected)
{
    return std::abs(actual - expected) <= 2;
}

TEST(PreviewControlTest, ShowsTheStillPictureThenTheBarsAndTheNoteAtSixteenBits)
{
    pagebench::PageBench bench;
    ASSERT_EQ(bench.BoardStatus(), STATUS_SUCCESS);
    ASSERT_EQ(bench.RegisterPageLibrary(PAGE_LIBRARY_FILE), S_OK);
    HMODULE resources = LoadLibraryW(u"C:\\Windows\\System32\\Talvexon_x86.ax");
    ASSERT_NE(resources, nullptr);
    {
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = PreviewPage::Procedure;
        type.lpszClassName = u"PreviewControlTestPage";
        RegisterClassExW(&type);
        HWND page = CreateWindowExW(0, u"PreviewControlTestPage", u"", WS_POPUP | WS_VISIBLE, 0, 0, 322, 242,
                                    nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(page, nullptr);
        TestPreviewCtrl ctrl;
        PreviewPage::ctrl = &ctrl;
        PreviewPage::frames = 0;
        RECT place{1, 1, 321, 241};
        ASSERT_NE(ctrl.Create(page, place), nullptr);
        EXPECT_EQ(DWORD(GetWindowLongPtrW(ctrl.m_hWnd, GWL_STYLE)) & 0x56000000u, 0x56000000u);
        ASSERT_TRUE(ctrl.LoadIdlePicture(resources));

        // No video yet: the still picture, not the bars.
        const standin::WindowPixels still = pagebench::PageBench::Pixels(ctrl.m_hWnd);
        ASSERT_EQ(still.width, 320);
        const COLORREF stillCentre = still.At(20, 120);

        ctrl.m_rcVideo = RECT{0, 0, 320, 240};
        ctrl.m_hWndControl = ctrl.m_hWnd;
        ctrl.SelectCaptureDevice(pagebench::kVideoFilter, pagebench::kCrossbarFilter);
        ASSERT_TRUE(ctrl.StartCaptureGraph());
        ASSERT_TRUE(pagebench::PageBench::WaitUntil([] { return PreviewPage::frames >= 2; }));
        EXPECT_EQ(ctrl.StopGraphAndWait(), 1);
        // Samples still queued find no frame and change nothing.
        const int shown = PreviewPage::frames;
        pagebench::PageBench::WaitUntil([] { return true; });

        const standin::WindowPixels bars = pagebench::PageBench::Pixels(ctrl.m_hWnd);
        ASSERT_EQ(bars.width, 320);
        ASSERT_EQ(bars.height, 240);
        EXPECT_TRUE(pagebench::PageBench::SavePicture(ctrl.m_hWnd, PictureFolder(), "preview-control-bars"));
        for (int bar = 0; bar < 8; ++bar) {
            const std::array<int, 3> bgr = colorbartest::Rgb32(bar);
            for (int row : {40, 120, 200}) {
                const COLORREF pixel = bars.At(40 * bar + 20, row);
                EXPECT_TRUE(Near(GetBValue(pixel), bgr[0]) && Near(GetGValue(pixel), bgr[1]) &&
                            Near(GetRValue(pixel), bgr[2]))
                    << "bar " << bar << " row " << row << ": " << std::hex << pixel;
            }
        }
        EXPECT_NE(bars.At(20, 120), stillCentre);
        EXPECT_EQ(PreviewPage::frames, shown);

        // At 16 bits a pixel the control shows the note instead of a picture.
        ASSERT_TRUE(standin::SetScreenDepth(16));
        InvalidateRect(ctrl.m_hWnd, nullptr, FALSE);
        const standin::WindowPixels note = pagebench::PageBench::Pixels(ctrl.m_hWnd);
        EXPECT_TRUE(pagebench::PageBench::SavePicture(ctrl.m_hWnd, PictureFolder(), "preview-control-16-bits"));
        ASSERT_TRUE(standin::SetScreenDepth(32));
        int dark = 0, white = 0;
        for (COLORREF pixel : note.pixels) {
            dark += pixel == RGB(0, 0, 0);
            white += pixel == RGB(255, 255, 255);
        }
        EXPECT_GT(dark, 100);   // the text
        EXPECT_GT(white, 50000); // the rest
        char text[512] = {};
        EXPECT_GT(LoadStringA(resources, kNeedsTrueColourString, text, int(sizeof text)), 0);
        EXPECT_NE(std::string(text).find("24 or 32 bit"), std::string::npos);

        PreviewPage::ctrl = nullptr;
        ctrl.DestroyWindow();
        DestroyWindow(page);
    }
    FreeLibrary(resources);
    EXPECT_EQ(bench.Shutdown().leaks, 0u);
}

} // namespace
