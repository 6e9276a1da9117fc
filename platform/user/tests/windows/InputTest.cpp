// Focus and activation, the mouse pipeline with capture and clipping, cursors, the keyboard.
#include "WindowTestSupport.h"

using namespace windowtest;

namespace {

std::optional<LRESULT> Answer(UINT message, UINT wanted, LRESULT answer)
{
    if (message == wanted)
        return answer;
    return std::nullopt;
}

} // namespace

TEST_F(WindowTest, FocusMovesWithKillThenSetEachNamingTheOther)
{
    HWND top = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND a = Make(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, top);
    HWND b = Make(WS_CHILD | WS_VISIBLE, 20, 0, 10, 10, top);
    EXPECT_EQ(SetFocus(a), nullptr);
    EXPECT_EQ(GetActiveWindow(), top);
    const auto activated = Only(top, WM_ACTIVATE);
    ASSERT_EQ(activated.size(), 1u);
    EXPECT_EQ(LOWORD(activated[0].wParam), WA_ACTIVE);
    EXPECT_TRUE(Only(top, WM_SETFOCUS).empty()); // activation for SetFocus leaves the focus alone
    standin::ClearWindowMessageLog(a);
    EXPECT_EQ(SetFocus(b), a);
    EXPECT_EQ(GetFocus(), b);
    const auto killed = Only(a, WM_KILLFOCUS);
    ASSERT_EQ(killed.size(), 1u);
    EXPECT_EQ(killed[0].wParam, reinterpret_cast<WPARAM>(b));
    const auto set = Only(b, WM_SETFOCUS);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].wParam, reinterpret_cast<WPARAM>(a));
    EXPECT_EQ(SetFocus(b), b);
    EXPECT_EQ(Only(b, WM_SETFOCUS).size(), 1u); // no change, no message

    // Activating another window: WM_ACTIVATE to each; the default moves the focus to it.
    HWND other = Make(WS_POPUP | WS_VISIBLE, 200, 0, 50, 50);
    EXPECT_EQ(SetActiveWindow(other), top);
    EXPECT_EQ(LOWORD(Only(top, WM_ACTIVATE).back().wParam), WA_INACTIVE);
    EXPECT_EQ(Only(top, WM_ACTIVATE).back().lParam, reinterpret_cast<LPARAM>(other));
    EXPECT_EQ(GetFocus(), other);
    DestroyWindow(top);
    DestroyWindow(other);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(WindowTest, APressOnAChildAnsweringNowhereGivesTheNonClientMessage)
{
    HWND top = Make(WS_POPUP | WS_VISIBLE, 100, 100, 400, 300);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 10, 10, 100, 50, top,
                      [](HWND, UINT m, WPARAM, LPARAM) { return Answer(m, WM_NCHITTEST, HTNOWHERE); });
    standin::MovePointer(150, 130);
    standin::PumpUntilIdle();
    standin::ClearWindowMessageLog(child);
    standin::ClearWindowMessageLog(top);
    standin::PressButton(VK_LBUTTON);
    standin::PumpUntilIdle();
    const auto log = standin::WindowMessageLog(child);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].message, static_cast<UINT>(WM_NCHITTEST));
    EXPECT_EQ(log[0].lParam, MAKELPARAM(150, 130));
    EXPECT_EQ(log[1].message, static_cast<UINT>(WM_SETCURSOR));
    EXPECT_EQ(log[1].wParam, reinterpret_cast<WPARAM>(child));
    EXPECT_EQ(log[1].lParam, 0x02010000);
    EXPECT_EQ(log[2].message, 161u);
    EXPECT_EQ(log[2].wParam, 0u);
    EXPECT_EQ(log[2].lParam, MAKELPARAM(150, 130));
    // The default procedure offered WM_SETCURSOR to the parent first.
    EXPECT_EQ(Only(top, WM_SETCURSOR).size(), 1u);
    standin::ReleaseButton(VK_LBUTTON);
    standin::PumpUntilIdle();

    // Captured: WM_NCHITTEST to the capture window, then client messages, no WM_SETCURSOR.
    EXPECT_EQ(SetCapture(child), nullptr);
    EXPECT_EQ(GetCapture(), child);
    standin::ClearWindowMessageLog(child);
    standin::ClearWindowMessageLog(top);
    standin::MovePointer(300, 250); // over the parent
    standin::PumpUntilIdle();
    EXPECT_EQ(standin::WindowMessageNumbers(child), (std::vector<UINT>{WM_NCHITTEST, WM_MOUSEMOVE}));
    EXPECT_EQ(standin::WindowMessageLog(child)[1].lParam, MAKELPARAM(300 - 110, 250 - 110));
    EXPECT_TRUE(standin::WindowMessageLog(top).empty());
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(Only(child, WM_CAPTURECHANGED).size(), 1u);
    EXPECT_EQ(GetCapture(), nullptr);

    // ClipCursor keeps moves inside its rectangle.
    RECT clip{120, 120, 200, 160};
    EXPECT_TRUE(ClipCursor(&clip));
    standin::MovePointer(500, 10);
    POINT at;
    GetCursorPos(&at);
    EXPECT_EQ(at.x, 199);
    EXPECT_EQ(at.y, 120);
    RECT got;
    GetClipCursor(&got);
    EXPECT_EQ(got.right, 200);
    ClipCursor(nullptr);
    GetClipCursor(&got);
    EXPECT_EQ(got.right, 1920);
    standin::PumpUntilIdle();
    DestroyWindow(top);
}

TEST_F(WindowTest, TransparentHitsPassToTheWindowBeneathAndClientHitsGiveClientMessages)
{
    HWND top = Make(WS_POPUP | WS_VISIBLE, 0, 0, 300, 300);
    HWND below = Make(WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, top);
    HWND glass = Make(WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, top,
                      [](HWND, UINT m, WPARAM, LPARAM) { return Answer(m, WM_NCHITTEST, HTTRANSPARENT); });
    SetWindowPos(glass, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    standin::PumpUntilIdle();
    standin::ClearWindowMessageLog(glass);
    standin::MovePointer(40, 30);
    standin::PumpUntilIdle();
    EXPECT_EQ(Only(below, WM_MOUSEMOVE).size(), 1u);
    standin::ClearWindowMessageLog(glass);
    standin::PressButton(VK_LBUTTON);
    standin::PumpUntilIdle();
    EXPECT_EQ(standin::WindowMessageNumbers(glass), (std::vector<UINT>{WM_NCHITTEST}));
    const auto downs = Only(below, WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(MK_LBUTTON));
    EXPECT_EQ(downs[0].lParam, MAKELPARAM(40, 30));
    standin::ReleaseButton(VK_LBUTTON);
    standin::PumpUntilIdle();
    EXPECT_EQ(Only(below, WM_LBUTTONUP).size(), 1u);
    DestroyWindow(top);
}

TEST_F(WindowTest, TheClassCursorShowsOverTheClientAreaUnlessTheParentChooses)
{
    UnregisterClassW(kClass, nullptr);
    ASSERT_NE(RegisterTestClass(LoadCursorW(nullptr, IDC_SIZEALL)), 0);
    bool parentChooses = false;
    HWND top = Make(WS_POPUP | WS_VISIBLE, 0, 0, 300, 300, nullptr, [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_SETCURSOR && parentChooses) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        return std::nullopt;
    });
    Make(WS_CHILD | WS_VISIBLE, 10, 10, 100, 100, top);
    standin::MovePointer(50, 50);
    standin::PumpUntilIdle();
    EXPECT_EQ(standin::CursorName(GetCursor()), "IDC_SIZEALL");
    parentChooses = true;
    standin::MovePointer(51, 50);
    standin::PumpUntilIdle();
    EXPECT_EQ(standin::CursorName(standin::CurrentCursor()), "IDC_WAIT");
    DestroyWindow(top);
}

TEST_F(WindowTest, SystemCursorsAndSetCursorReturnsThePrevious)
{
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(wait, nullptr);
    EXPECT_NE(arrow, wait);
    for (LPCSTR id : {IDC_SIZEALL, IDC_SIZENESW, IDC_SIZENS, IDC_SIZENWSE, IDC_SIZEWE, IDC_IBEAM, IDC_HAND})
        EXPECT_NE(LoadCursorA(nullptr, id), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(SetCursor(nullptr), wait);
    EXPECT_EQ(standin::CursorName(GetCursor()), "none");
}

TEST_F(WindowTest, MouseLeaveTracking)
{
    HWND top = Make(WS_POPUP | WS_VISIBLE, 0, 0, 300, 300);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, top);
    standin::MovePointer(20, 20);
    standin::PumpUntilIdle();
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, child, 0};
    EXPECT_TRUE(TrackMouseEvent(&track));
    TRACKMOUSEEVENT query{sizeof(query), TME_QUERY, nullptr, 0};
    TrackMouseEvent(&query);
    EXPECT_EQ(query.hwndTrack, child);
    standin::MovePointer(25, 25);
    standin::PumpUntilIdle();
    EXPECT_TRUE(Only(child, WM_MOUSELEAVE).empty());
    standin::MovePointer(200, 200);
    standin::PumpUntilIdle();
    EXPECT_EQ(Only(child, WM_MOUSELEAVE).size(), 1u);
    // Tracking a window the pointer is not over gives the message at once.
    EXPECT_TRUE(TrackMouseEvent(&track));
    standin::PumpUntilIdle();
    EXPECT_EQ(Only(child, WM_MOUSELEAVE).size(), 2u);
    DestroyWindow(top);
}

TEST_F(WindowTest, KeysReachTheFocusWindowAndTranslateToCharacters)
{
    HWND top = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND edit = Make(WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top);
    SetFocus(edit);
    standin::ClearWindowMessageLog(edit);
    standin::PressKey('A');
    standin::ReleaseKey('A');
    standin::PressKey(VK_SHIFT);
    standin::PressKey('2');
    standin::ReleaseKey('2');
    standin::ReleaseKey(VK_SHIFT);
    standin::PumpUntilIdle();
    std::vector<std::pair<UINT, WPARAM>> seen;
    for (const auto& m : standin::WindowMessageLog(edit))
        if (m.message == WM_KEYDOWN || m.message == WM_KEYUP || m.message == WM_CHAR)
            seen.emplace_back(m.message, m.wParam);
    EXPECT_EQ(seen, (std::vector<std::pair<UINT, WPARAM>>{{WM_KEYDOWN, 'A'},
                                                         {WM_CHAR, 'a'},
                                                         {WM_KEYUP, 'A'},
                                                         {WM_KEYDOWN, VK_SHIFT},
                                                         {WM_KEYDOWN, '2'},
                                                         {WM_CHAR, '@'},
                                                         {WM_KEYUP, '2'},
                                                         {WM_KEYUP, VK_SHIFT}}));
    const auto ups = Only(edit, WM_KEYUP);
    EXPECT_EQ(static_cast<uint64_t>(ups[0].lParam) & 0xC0000001u, 0xC0000001u);
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);
    DestroyWindow(top);
}

TEST_F(WindowTest, PointerInputReachesTheThreadOwningTheWindow)
{
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<LPARAM> moved{-1};
    Thread owner([&]() -> DWORD {
        HWND hwnd = Make(WS_POPUP | WS_VISIBLE, 500, 400, 100, 100, nullptr,
                         [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
                             if (m == WM_MOUSEMOVE)
                                 moved = l;
                             return std::nullopt;
                         });
        SetEvent(made);
        const bool got = standin::PumpUntil([&] { return moved != -1; }, 60000);
        DestroyWindow(hwnd);
        return got ? 0 : 1;
    });
    WaitForSingleObject(made, INFINITE);
    standin::MovePointer(530, 420);
    EXPECT_EQ(owner.Join(), 0u);
    EXPECT_EQ(moved.load(), MAKELPARAM(30, 20));
    CloseHandle(made);
}

TEST_F(WindowTest, TheDefaultHitTestAndItsCursors)
{
    HWND frame = Make(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME | WS_VSCROLL, 100, 100, 300, 200);
    const auto hit = [&](int x, int y) { return SendMessageW(frame, WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
    EXPECT_EQ(hit(50, 50), HTNOWHERE);
    EXPECT_EQ(hit(200, 150), HTCLIENT);
    EXPECT_EQ(hit(101, 200), HTLEFT);
    EXPECT_EQ(hit(398, 200), HTRIGHT);
    EXPECT_EQ(hit(200, 101), HTTOP);
    EXPECT_EQ(hit(200, 298), HTBOTTOM);
    EXPECT_EQ(hit(101, 101), HTTOPLEFT);
    EXPECT_EQ(hit(398, 298), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(200, 110), HTCAPTION);
    EXPECT_EQ(hit(400 - 4 - 8, 200), HTVSCROLL);
    standin::MovePointer(101, 200);
    standin::PumpUntilIdle();
    EXPECT_EQ(standin::CursorName(GetCursor()), "IDC_SIZEWE");
    standin::MovePointer(200, 101);
    standin::PumpUntilIdle();
    EXPECT_EQ(standin::CursorName(GetCursor()), "IDC_SIZENS");
    standin::MovePointer(200, 110);
    standin::PumpUntilIdle();
    EXPECT_EQ(standin::CursorName(GetCursor()), "IDC_ARROW");
    EXPECT_FALSE(Only(frame, WM_NCMOUSEMOVE).empty());
    EXPECT_EQ(Only(frame, WM_NCMOUSEMOVE).back().wParam, static_cast<WPARAM>(HTCAPTION));
    DestroyWindow(frame);
}

TEST_F(WindowTest, ATransparentHitPassesTheEventToAnotherThreadsWindowBeneath)
{
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<LPARAM> moved{-1};
    Thread owner([&]() -> DWORD {
        HWND below = Make(WS_POPUP | WS_VISIBLE, 700, 700, 100, 100, nullptr,
                          [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
                              if (m == WM_MOUSEMOVE)
                                  moved = l;
                              return std::nullopt;
                          });
        SetEvent(made);
        const bool got = standin::PumpUntil([&] { return moved != -1; }, 60000);
        DestroyWindow(below);
        return got ? 0 : 1;
    });
    WaitForSingleObject(made, INFINITE);
    HWND glass = Make(WS_POPUP | WS_VISIBLE, 700, 700, 100, 100, nullptr,
                      [](HWND, UINT m, WPARAM, LPARAM) { return Answer(m, WM_NCHITTEST, HTTRANSPARENT); });
    standin::PumpUntilIdle();
    standin::ClearWindowMessageLog(glass);
    standin::MovePointer(710, 720);
    standin::PumpUntilIdle(); // the glass is asked first, on this thread
    EXPECT_EQ(standin::WindowMessageNumbers(glass), (std::vector<UINT>{WM_NCHITTEST}));
    EXPECT_EQ(owner.Join(), 0u);
    EXPECT_EQ(moved.load(), MAKELPARAM(10, 20));
    DestroyWindow(glass);
    CloseHandle(made);
}
