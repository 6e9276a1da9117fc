// Classes, creation and destruction, window data and styles, the tree and geometry, painting.
#include "WindowTestSupport.h"

#include <cstring>

using namespace windowtest;

namespace {

LRESULT AnsiProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

WNDPROC g_ansiSaved = nullptr;
// A UTF-16 subclass of an ANSI window: hands everything on to the ANSI procedure.
LRESULT WideSubclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(g_ansiSaved, hwnd, message, wParam, lParam);
}

LRESULT Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        return 1000 + CallWindowProcW(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)), hwnd,
                                      message, wParam, lParam);
    return CallWindowProcW(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)), hwnd, message,
                           wParam, lParam);
}

} // namespace

TEST_F(WindowTest, ClassesAreKnownByNameAndAtomOnce)
{
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    const BOOL atom = GetClassInfoExW(nullptr, u"windowtest", &info);
    EXPECT_NE(atom, 0);
    EXPECT_EQ(info.lpfnWndProc, &TestProcedure);
    EXPECT_EQ(RegisterTestClass(), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    HWND byAtom = CreateWindowExW(0, MAKEINTATOM(atom), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(byAtom, nullptr);
    EXPECT_FALSE(UnregisterClassW(kClass, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    EXPECT_TRUE(DestroyWindow(byAtom));

    EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(Make(WS_CHILD, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
}

TEST_F(WindowTest, CreationSendsItsMessagesInOrderAndHandlesAreNeverReused)
{
    CREATESTRUCTW seen{};
    HWND hwnd = Make(WS_POPUP, 5, 6, 70, 80, nullptr, [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
        if (m == WM_CREATE)
            seen = *reinterpret_cast<CREATESTRUCTW*>(l);
        return std::nullopt;
    });
    ASSERT_NE(hwnd, nullptr);
    EXPECT_LT(reinterpret_cast<uintptr_t>(hwnd), uintptr_t(1) << 32);
    EXPECT_EQ(standin::WindowMessageNumbers(hwnd),
              (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(seen.x, 5);
    EXPECT_EQ(seen.cy, 80);
    EXPECT_EQ(seen.style, static_cast<LONG>(WS_POPUP));
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    HWND next = Make(WS_POPUP, 0, 0, 1, 1);
    EXPECT_NE(next, hwnd);
    EXPECT_TRUE(DestroyWindow(next));

    // WM_CREATE answering -1 fails the creation; the window is gone.
    HWND refused = Make(WS_POPUP, 0, 0, 1, 1, nullptr, [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_CREATE)
            return -1;
        return std::nullopt;
    });
    EXPECT_EQ(refused, nullptr);

    // WM_NCCREATE answering FALSE: only WM_NCDESTROY follows.
    std::vector<UINT> seenThere;
    HWND early = Make(WS_POPUP, 0, 0, 1, 1, nullptr, [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        seenThere.push_back(m);
        if (m == WM_NCCREATE)
            return FALSE;
        return std::nullopt;
    });
    EXPECT_EQ(early, nullptr);
    EXPECT_EQ(seenThere, (std::vector<UINT>{WM_NCCREATE, WM_NCDESTROY}));
}

TEST_F(WindowTest, DestroyingAParentFromAChildsHandlerIsSafe)
{
    HWND parent = Make(WS_POPUP, 0, 0, 100, 100);
    std::vector<std::pair<HWND, UINT>> order;
    Handler record = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_DESTROY || m == WM_NCDESTROY)
            order.emplace_back(h, m);
        return std::nullopt;
    };
    {
        std::lock_guard<std::mutex> hold(HandlersLock());
        Handlers()[parent] = record;
    }
    LONG_PTR keptData = 0;
    BOOL aliveAfter = TRUE;
    HWND child = nullptr;
    child = Make(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent, [&](HWND h, UINT m, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
        record(h, m, w, l);
        if (m == WM_APP) {
            SetWindowLongPtrW(h, GWLP_USERDATA, 77);
            DestroyWindow(parent);
            aliveAfter = IsWindow(h);
            keptData = GetWindowLongPtrW(h, GWLP_USERDATA); // still usable by this handler
            return 5;
        }
        return std::nullopt;
    });
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(SendMessageW(child, WM_APP, 0, 0), 5);
    EXPECT_FALSE(aliveAfter);
    EXPECT_EQ(keptData, 77);
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{
                         {parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}}));
    // Once the handler has returned the window is freed: its handle names nothing.
    EXPECT_EQ(GetWindowLongPtrW(child, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, OwnedWindowsGoFirst)
{
    HWND owner = Make(WS_POPUP, 0, 0, 10, 10);
    HWND owned = Make(WS_POPUP, 0, 0, 10, 10, owner);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    EXPECT_EQ(GetParent(owned), owner); // a pop-up's parent is its owner
    EXPECT_TRUE(DestroyWindow(owner));
    EXPECT_FALSE(IsWindow(owned));
}

TEST_F(WindowTest, AWindowLeftAtTheEndIsReported)
{
    HWND left = Make(WS_POPUP, 0, 0, 10, 10);
    standin::VerifierSetEcho(false);
    EXPECT_GE(standin::VerifierCheckLeaks(), 1u);
    standin::VerifierSetEcho(true);
    bool named = false;
    for (const auto& breach : standin::VerifierTakeViolations())
        named = named || (breach.rule == "leak" && breach.detail.find("windows: window") == 0);
    EXPECT_TRUE(named);
    DestroyWindow(left);
}

TEST_F(WindowTest, WindowDataAndExtraBytes)
{
    UnregisterClassW(kClass, nullptr);
    ASSERT_NE(RegisterTestClass(nullptr, 16), 0);
    HWND parent = Make(WS_POPUP, 0, 0, 10, 10);
    HWND hwnd = Make(WS_CHILD, 0, 0, 10, 10, parent, nullptr, 0, 1234);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_ID), 1234);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE), 0);
    const auto instance = reinterpret_cast<LONG_PTR>(GetModuleHandleW(nullptr));
    EXPECT_EQ(SetWindowLongPtrW(hwnd, GWLP_HINSTANCE, instance), 0);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE), instance);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_HWNDPARENT), reinterpret_cast<LONG_PTR>(parent));
    EXPECT_EQ(SetWindowLongPtrW(hwnd, GWLP_USERDATA, 99), 0);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 99);
    EXPECT_EQ(SetWindowLongPtrW(hwnd, 8, 0x1122334455667788LL), 0);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, 8), 0x1122334455667788LL);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, 9), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));

    // Subclassing: the new procedure calls the old one.
    const LONG_PTR old = SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass));
    EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(&TestProcedure));
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, old);
    EXPECT_EQ(SendMessageW(hwnd, WM_APP, 0, 0), 1000);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&Subclass));
    DestroyWindow(parent);
}

TEST_F(WindowTest, StyleChangingHandlerMayChangeTheNewStyle)
{
    STYLESTRUCT changed{};
    WPARAM which = 0;
    HWND hwnd = Make(WS_POPUP, 0, 0, 10, 10, nullptr, [&](HWND, UINT m, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
        if (m == WM_STYLECHANGING && w == static_cast<WPARAM>(GWL_EXSTYLE))
            reinterpret_cast<STYLESTRUCT*>(l)->styleNew |= 0x10000;
        if (m == WM_STYLECHANGED) {
            changed = *reinterpret_cast<STYLESTRUCT*>(l);
            which = w;
        }
        return std::nullopt;
    }, WS_EX_STATICEDGE);
    EXPECT_EQ(SetWindowLongPtrW(hwnd, GWL_EXSTYLE, WS_EX_CLIENTEDGE), WS_EX_STATICEDGE);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_EXSTYLE), WS_EX_CLIENTEDGE | 0x10000);
    EXPECT_EQ(which, static_cast<WPARAM>(GWL_EXSTYLE));
    EXPECT_EQ(changed.styleOld, static_cast<DWORD>(WS_EX_STATICEDGE));
    EXPECT_EQ(changed.styleNew, static_cast<DWORD>(WS_EX_CLIENTEDGE | 0x10000));
    DestroyWindow(hwnd);
}

TEST_F(WindowTest, TextThroughMessagesInBothForms)
{
    HWND hwnd = Make(WS_POPUP, 0, 0, 10, 10);
    EXPECT_TRUE(SetWindowTextA(hwnd, "Gr\xFC\xDF" "e"));
    WCHAR wide[16];
    EXPECT_EQ(GetWindowTextW(hwnd, wide, 16), 5);
    EXPECT_EQ(std::u16string(wide), u"Grüße");
    char small[4];
    EXPECT_EQ(GetWindowTextA(hwnd, small, 4), 3);
    EXPECT_STREQ(small, "Gr\xFC");
    EXPECT_EQ(GetWindowTextLengthW(hwnd), 5);
    DestroyWindow(hwnd);

    // A window of an ANSI class gets its text in ANSI.
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = AnsiProcedure;
    wc.lpszClassName = "AnsiWindow";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    HWND ansi = CreateWindowExA(0, "AnsiWindow", "\xC4pfel", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(ansi, nullptr);
    EXPECT_EQ(GetWindowTextW(ansi, wide, 16), 5);
    EXPECT_EQ(std::u16string(wide), u"Äpfel");
    char name[32];
    EXPECT_EQ(GetClassNameA(ansi, name, 32), 10);
    EXPECT_STREQ(name, "AnsiWindow");
    // Subclassed in the other form, the messages change form on the way down the chain.
    g_ansiSaved = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(ansi, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WideSubclass)));
    EXPECT_EQ(g_ansiSaved, &AnsiProcedure);
    EXPECT_TRUE(SetWindowTextW(ansi, u"€uro"));
    char bytes[16];
    EXPECT_EQ(GetWindowTextA(ansi, bytes, 16), 4);
    EXPECT_STREQ(bytes, "\x80uro");
    EXPECT_EQ(GetWindowTextW(ansi, wide, 16), 4);
    EXPECT_EQ(std::u16string(wide), u"€uro");
    DestroyWindow(ansi);
    EXPECT_TRUE(UnregisterClassA("AnsiWindow", nullptr));
}

TEST_F(WindowTest, TreeOrderNewChildGoesBelowItsSiblings)
{
    HWND parent = Make(WS_POPUP, 0, 0, 100, 100);
    HWND a = Make(WS_CHILD, 0, 0, 1, 1, parent);
    HWND b = Make(WS_CHILD, 0, 0, 1, 1, parent);
    HWND c = Make(WS_CHILD, 0, 0, 1, 1, parent);
    HWND grandchild = Make(WS_CHILD, 0, 0, 1, 1, b);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), c);
    EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(c, GW_HWNDPREV), b);
    EXPECT_EQ(GetParent(grandchild), b);
    EXPECT_TRUE(IsChild(parent, grandchild));
    EXPECT_FALSE(IsChild(a, grandchild));
    // To the top, then to the bottom.
    SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), c);
    SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), c);
    DestroyWindow(parent);
}

TEST_F(WindowTest, NonClientEdgesAndCoordinates)
{
    EXPECT_EQ(GetSystemMetrics(SM_CXEDGE), 2);
    EXPECT_EQ(GetSystemMetrics(SM_CYEDGE), 2);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);

    HWND top = Make(WS_POPUP | WS_CAPTION, 100, 50, 300, 200);
    RECT r;
    GetClientRect(top, &r);
    EXPECT_EQ(r.right, 300 - 6);
    EXPECT_EQ(r.bottom, 200 - 6 - 19);
    HWND sunken = Make(WS_CHILD, 10, 20, 322, 242, top, nullptr, WS_EX_STATICEDGE);
    GetClientRect(sunken, &r);
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 240);
    HWND edged = Make(WS_CHILD | WS_BORDER | WS_VSCROLL | WS_HSCROLL, 0, 0, 100, 100, top, nullptr, WS_EX_CLIENTEDGE);
    GetClientRect(edged, &r);
    EXPECT_EQ(r.right, 100 - 6 - 17);
    EXPECT_EQ(r.bottom, 100 - 6 - 17);
    HWND thick = Make(WS_POPUP | WS_THICKFRAME, 0, 0, 100, 100);
    GetClientRect(thick, &r);
    EXPECT_EQ(r.right, 92);
    HWND dialogFrame = Make(WS_POPUP | WS_DLGFRAME, 0, 0, 100, 100);
    GetClientRect(dialogFrame, &r);
    EXPECT_EQ(r.right, 94); // a dialog frame without the caption's border bit
    EXPECT_EQ(r.bottom, 94);
    DestroyWindow(dialogFrame);

    GetWindowRect(sunken, &r);
    EXPECT_EQ(r.left, 100 + 3 + 10);
    EXPECT_EQ(r.top, 50 + 3 + 19 + 20);
    POINT p{0, 0};
    ClientToScreen(sunken, &p);
    EXPECT_EQ(p.x, 114);
    EXPECT_EQ(p.y, 93);
    ScreenToClient(sunken, &p);
    EXPECT_EQ(p.x, 0);
    POINT q{5, 5};
    MapWindowPoints(sunken, top, &q, 1);
    EXPECT_EQ(q.x, 5 + 10 + 1);
    EXPECT_EQ(q.y, 5 + 20 + 1);
    DestroyWindow(top);
    DestroyWindow(thick);
}

TEST_F(WindowTest, MovingSendsPositionMessages)
{
    HWND parent = Make(WS_POPUP, 0, 0, 200, 200);
    HWND hwnd = Make(WS_CHILD, 0, 0, 10, 10, parent);
    standin::ClearWindowMessageLog(hwnd);
    EXPECT_TRUE(MoveWindow(hwnd, 20, 30, 40, 50, TRUE));
    EXPECT_EQ(Among(hwnd, {WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
              (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
    const auto size = Only(hwnd, WM_SIZE);
    ASSERT_EQ(size.size(), 1u);
    EXPECT_EQ(size[0].lParam, MAKELPARAM(40, 50));
    EXPECT_EQ(Only(hwnd, WM_MOVE)[0].lParam, MAKELPARAM(20, 30));
    RECT r;
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.bottom, 80);
    DestroyWindow(parent);
}

TEST_F(WindowTest, VisibilityEnablingAndWindowFromPoint)
{
    HWND top = Make(WS_POPUP, 0, 0, 200, 200);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, top);
    EXPECT_FALSE(IsWindowVisible(child)); // its parent is hidden
    EXPECT_EQ(WindowFromPoint(POINT{20, 20}), nullptr);
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_EQ(Only(top, WM_SHOWWINDOW).size(), 1u);
    EXPECT_EQ(WindowFromPoint(POINT{20, 20}), child);
    EXPECT_EQ(WindowFromPoint(POINT{100, 100}), top);
    EXPECT_FALSE(EnableWindow(child, FALSE));
    EXPECT_FALSE(IsWindowEnabled(child));
    EXPECT_EQ(Only(child, WM_ENABLE).size(), 1u);
    EXPECT_EQ(WindowFromPoint(POINT{20, 20}), top); // a disabled window is passed over
    EXPECT_TRUE(EnableWindow(child, TRUE));
    ShowWindow(child, SW_HIDE);
    EXPECT_EQ(WindowFromPoint(POINT{20, 20}), top);
    DestroyWindow(top);
}

TEST_F(WindowTest, PaintingBookkeeping)
{
    HWND hwnd = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 80);
    standin::PumpUntilIdle(); // the first WM_PAINT validates through the default procedure
    RECT r;
    EXPECT_FALSE(GetUpdateRect(hwnd, &r, FALSE));
    standin::ClearWindowMessageLog(hwnd);

    RECT a{10, 10, 20, 20};
    RECT b{50, 5, 60, 200};
    InvalidateRect(hwnd, &a, FALSE);
    InvalidateRect(hwnd, &b, TRUE);
    EXPECT_TRUE(GetUpdateRect(hwnd, &r, FALSE));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.right, 60);
    EXPECT_EQ(r.bottom, 80); // clipped to the client area
    // The erase flag: WM_ERASEBKGND when asked.
    EXPECT_TRUE(GetUpdateRect(hwnd, &r, TRUE));
    EXPECT_EQ(Only(hwnd, WM_ERASEBKGND).size(), 1u);
    RECT band{0, 0, 100, 40};
    ValidateRect(hwnd, &band);
    GetUpdateRect(hwnd, &r, FALSE);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(standin::PumpUntilIdle(), 1u);
    EXPECT_EQ(Only(hwnd, WM_PAINT).size(), 1u);
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE));

    // UpdateWindow sends WM_PAINT at once; WM_SETREDRAW FALSE ignores invalidation.
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
    EXPECT_EQ(Only(hwnd, WM_PAINT).size(), 2u);
    SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
    InvalidateRect(hwnd, nullptr, FALSE);
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE));
    SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
    DestroyWindow(hwnd);
}

TEST_F(WindowTest, DestroyingAParentReachesAChildOfAnotherThreadThroughThatThread)
{
    HWND parent = Make(WS_POPUP, 0, 0, 100, 100);
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> child{nullptr};
    std::atomic<DWORD> destroyedOn{0};
    std::atomic<int> ncdestroys{0};
    Thread other([&]() -> DWORD {
        child = Make(WS_CHILD, 0, 0, 10, 10, parent, [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (m == WM_DESTROY)
                destroyedOn = GetCurrentThreadId();
            if (m == WM_NCDESTROY)
                ++ncdestroys;
            return std::nullopt;
        });
        SetEvent(made);
        return standin::PumpUntil([&] { return !IsWindow(child); }, 60000) ? 0 : 1;
    });
    WaitForSingleObject(made, INFINITE);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), child.load());
    EXPECT_TRUE(DestroyWindow(parent));
    EXPECT_EQ(other.Join(), 0u);
    EXPECT_EQ(destroyedOn.load(), other.Id());
    EXPECT_EQ(ncdestroys.load(), 1);
    EXPECT_FALSE(IsWindow(child));
    CloseHandle(made);
}
