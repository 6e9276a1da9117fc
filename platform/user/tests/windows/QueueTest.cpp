// Message queues: sending across threads, posting and its limit, retrieval order and filters,
// timers on the machine's clock, and the end of message loops (termination, system shutdown).
#include "WindowTestSupport.h"

#include "standin/devices.h"

#include <atomic>

using namespace windowtest;

namespace {

// A message loop until WM_QUIT; returns its exit code.
DWORD Loop()
{
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return got == 0 ? static_cast<DWORD>(msg.wParam) : 0xFFFFFFFF;
}

// A handler that ends the thread's loop when its window goes.
std::optional<LRESULT> QuitOnDestroy(HWND, UINT m, WPARAM, LPARAM)
{
    if (m == WM_DESTROY)
        PostQuitMessage(3);
    return std::nullopt;
}

std::atomic<DWORD> g_timerProcId{0};
void TimerProcedure(HWND, UINT message, UINT_PTR id, DWORD)
{
    if (message == WM_TIMER)
        g_timerProcId = static_cast<DWORD>(id);
}

} // namespace

TEST_F(WindowTest, SendAcrossThreadsWaitsForTheOwnerAndHandlesSendsMeanwhile)
{
    HWND mine = Make(WS_POPUP, 0, 0, 10, 10, nullptr, [](HWND, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_APP + 2)
            return 100 + static_cast<LRESULT>(w);
        return std::nullopt;
    });
    std::atomic<HWND> theirs{nullptr};
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Thread owner([&]() -> DWORD {
        theirs = Make(WS_POPUP, 0, 0, 10, 10, nullptr, [&](HWND h, UINT m, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
            if (m == WM_APP + 1)
                return SendMessageW(mine, WM_APP + 2, 5, 0) + static_cast<LRESULT>(w); // back to the waiting sender
            return QuitOnDestroy(h, m, w, l);
        });
        SetEvent(ready);
        return Loop();
    });
    ASSERT_EQ(WaitForSingleObject(ready, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(SendMessageW(theirs, WM_APP + 1, 20, 0), 125);
    EXPECT_EQ(Only(mine, WM_APP + 2).size(), 1u);
    EXPECT_EQ(GetWindowThreadProcessId(theirs, nullptr), owner.Id());

    // Owner-only calls from another thread are refused and reported.
    EXPECT_FALSE(DestroyWindow(theirs));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(TakeBreaches("window-thread"), 1u);
    EXPECT_EQ(SetTimer(theirs, 1, 100, nullptr), 0u);
    EXPECT_FALSE(KillTimer(theirs, 1));
    EXPECT_EQ(SetFocus(theirs), nullptr);
    EXPECT_EQ(SetActiveWindow(theirs), nullptr);
    EXPECT_EQ(SetCapture(theirs), nullptr);
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, theirs, 0};
    SetLastError(0);
    EXPECT_FALSE(TrackMouseEvent(&track));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(TakeBreaches("window-thread"), 6u);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_NE(GetFocus(), theirs);

    EXPECT_TRUE(PostMessageW(theirs, WM_CLOSE, 0, 0));
    EXPECT_EQ(owner.Join(), 3u);
    EXPECT_FALSE(IsWindow(theirs));
    CloseHandle(ready);
    DestroyWindow(mine);
}

TEST_F(WindowTest, SentComeBeforePostedBeforePaint)
{
    std::atomic<HWND> target{nullptr};
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<UINT> order;
    Thread owner([&]() -> DWORD {
        target = Make(WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, [&](HWND h, UINT m, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
            if (m == WM_APP + 3 || m == WM_APP + 4 || m == WM_PAINT)
                order.push_back(m);
            if (m == WM_PAINT && order.size() >= 3)
                DestroyWindow(h);
            return QuitOnDestroy(h, m, w, l);
        });
        ValidateRect(target, nullptr);
        SetEvent(made);
        WaitForSingleObject(go, INFINITE);
        return Loop();
    });
    ASSERT_EQ(WaitForSingleObject(made, INFINITE), WAIT_OBJECT_0);
    InvalidateRect(target, nullptr, FALSE);
    EXPECT_TRUE(PostMessageW(target, WM_APP + 3, 0, 0));
    Thread sender([&]() -> DWORD { return static_cast<DWORD>(SendMessageW(target, WM_APP + 4, 0, 0)); });
    ASSERT_TRUE(WaitUntilWaiting(sender.Id()));
    SetEvent(go);
    EXPECT_EQ(owner.Join(), 3u);
    sender.Join();
    EXPECT_EQ(order, (std::vector<UINT>{WM_APP + 4, WM_APP + 3, WM_PAINT}));
    CloseHandle(made);
    CloseHandle(go);
}

TEST_F(WindowTest, APostWakesAThreadWaitingInGetMessage)
{
    std::atomic<UINT> got{0};
    Thread waiter([&]() -> DWORD {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // the queue exists from here
        GetMessageW(&msg, nullptr, 0, 0);
        got = msg.message;
        return static_cast<DWORD>(msg.wParam);
    });
    ASSERT_TRUE(WaitUntilWaiting(waiter.Id()));
    EXPECT_TRUE(PostThreadMessageW(waiter.Id(), WM_APP + 9, 44, 0));
    EXPECT_EQ(waiter.Join(), 44u);
    EXPECT_EQ(got.load(), static_cast<UINT>(WM_APP + 9));
    EXPECT_FALSE(PostThreadMessageW(waiter.Id(), WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST_F(WindowTest, PostedToADestroyedWindowIsNeverDispatched)
{
    HWND hwnd = Make(WS_POPUP, 0, 0, 10, 10);
    EXPECT_TRUE(PostMessageW(hwnd, WM_APP + 1, 0, 0));
    DestroyWindow(hwnd);
    EXPECT_FALSE(PostMessageW(hwnd, WM_APP + 1, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, TheQueueHoldsTenThousandPostedMessages)
{
    size_t handled = 0;
    HWND hwnd = Make(WS_POPUP, 0, 0, 10, 10, nullptr, [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_USER)
            ++handled;
        return std::nullopt;
    });
    for (int i = 0; i < 10000; ++i)
        ASSERT_TRUE(PostMessageW(hwnd, WM_USER, i, 0));
    EXPECT_FALSE(PostMessageW(hwnd, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    EXPECT_EQ(standin::PumpUntilIdle(), 10000u);
    EXPECT_EQ(handled, 10000u);
    DestroyWindow(hwnd);
}

TEST_F(WindowTest, PeekFiltersAndPrivateNumbersPassUnchanged)
{
    HWND a = Make(WS_POPUP, 0, 0, 10, 10);
    HWND b = Make(WS_POPUP, 0, 0, 10, 10);
    PostMessageW(a, 0x8001, 0xDEADBEEF, -7);
    PostMessageW(b, WM_USER + 3, 1, 2);
    PostMessageW(nullptr, WM_APP + 5, 3, 4);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
    ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_NOREMOVE)); // still there
    ASSERT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 5));
    EXPECT_EQ(msg.hwnd, nullptr);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0x8000, 0x8FFF, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, a);
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(0xDEADBEEF));
    EXPECT_EQ(msg.lParam, -7);
    DispatchMessageW(&msg);
    ASSERT_EQ(Only(a, 0x8001).size(), 1u);
    EXPECT_EQ(Only(a, 0x8001)[0].lParam, -7);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessageW(&msg, reinterpret_cast<HWND>(0x7777), 0, 0), -1);
    PostQuitMessage(9);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 9u);
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST_F(WindowTest, TimersRunOnTheMachinesClock)
{
    ClockSpeed fast(20.0);
    HWND hwnd = Make(WS_POPUP, 0, 0, 10, 10);
    const int64_t start = platform::Clock::Now();
    EXPECT_EQ(SetTimer(hwnd, 7, 100, nullptr), 7u);
    MSG msg;
    do
        ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    while (msg.message != WM_TIMER);
    EXPECT_GE(platform::Clock::Now() - start, 100 * platform::Clock::kUnitsPerMillisecond);
    EXPECT_EQ(msg.hwnd, hwnd);
    EXPECT_EQ(msg.wParam, 7u);
    DispatchMessageW(&msg);
    EXPECT_EQ(Only(hwnd, WM_TIMER).size(), 1u);
    EXPECT_TRUE(KillTimer(hwnd, 7));
    EXPECT_FALSE(KillTimer(hwnd, 7));

    // A thread timer with a TIMERPROC.
    g_timerProcId = 0;
    const UINT_PTR id = SetTimer(nullptr, 0, 50, TimerProcedure);
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(standin::PumpUntil([] { return g_timerProcId != 0; }, 5000));
    EXPECT_EQ(g_timerProcId.load(), static_cast<DWORD>(id));
    EXPECT_TRUE(KillTimer(nullptr, id));

    // A destroyed window's timer goes with it.
    SetTimer(hwnd, 8, 10, nullptr);
    DestroyWindow(hwnd);
    EXPECT_FALSE(KillTimer(hwnd, 8));
}

TEST_F(WindowTest, ATerminatedThreadLeavesGetMessage)
{
    std::atomic<HWND> theirs{nullptr};
    Thread looper([&]() -> DWORD {
        theirs = Make(WS_POPUP, 0, 0, 10, 10);
        Loop();
        return 1;
    });
    ASSERT_TRUE(WaitUntilWaiting(looper.Id()));
    EXPECT_TRUE(TerminateThread(looper.Handle(), 5));
    EXPECT_EQ(looper.Join(), 5u);
    EXPECT_EQ(TakeBreaches("terminate-thread"), 1u);
    EXPECT_FALSE(IsWindow(theirs)); // a thread's windows end with it
}

TEST_F(WindowTest, ATerminatedThreadLeavesWaitMessageAndItsOwnSend)
{
    Thread waiter([]() -> DWORD {
        WaitMessage();
        return 1;
    });
    ASSERT_TRUE(WaitUntilWaiting(waiter.Id()));
    EXPECT_TRUE(TerminateThread(waiter.Handle(), 6));
    EXPECT_EQ(waiter.Join(), 6u);

    // A thread waiting for the answer to its send: this thread does not pump until it has gone.
    HWND mine = Make(WS_POPUP, 0, 0, 10, 10);
    Thread sender([&]() -> DWORD { return static_cast<DWORD>(SendMessageW(mine, WM_APP + 5, 0, 0)) + 100; });
    ASSERT_TRUE(WaitUntilWaiting(sender.Id()));
    EXPECT_TRUE(TerminateThread(sender.Handle(), 7));
    EXPECT_EQ(sender.Join(), 7u);
    EXPECT_EQ(TakeBreaches("terminate-thread"), 2u);
    // The message it left is still handled here, with nobody to answer.
    standin::PumpUntilIdle();
    EXPECT_EQ(Only(mine, WM_APP + 5).size(), 1u);
    DestroyWindow(mine);
}

TEST_F(WindowTest, ASendWhoseHandlerIsTerminatedAnswersZero)
{
    std::atomic<HWND> theirs{nullptr};
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE inside = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Thread owner([&]() -> DWORD {
        theirs = Make(WS_POPUP, 0, 0, 10, 10, nullptr, [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (m != WM_APP)
                return std::nullopt;
            SetEvent(inside);
            WaitForSingleObject(never, INFINITE); // ended here by TerminateThread
            return 99;
        });
        SetEvent(made);
        return Loop();
    });
    ASSERT_EQ(WaitForSingleObject(made, INFINITE), WAIT_OBJECT_0);
    Thread killer([&]() -> DWORD {
        WaitForSingleObject(inside, INFINITE);
        return TerminateThread(owner.Handle(), 9) ? 0 : 1;
    });
    EXPECT_EQ(SendMessageW(theirs, WM_APP, 0, 0), 0);
    EXPECT_EQ(killer.Join(), 0u);
    EXPECT_EQ(owner.Join(), 9u);
    EXPECT_EQ(TakeBreaches("terminate-thread"), 1u);
    EXPECT_FALSE(IsWindow(theirs));
    CloseHandle(made);
    CloseHandle(inside);
    CloseHandle(never);
}

TEST_F(WindowTest, SystemShutdownEndsMessageLoops)
{
    Thread looper([&]() -> DWORD {
        HWND hwnd = Make(WS_POPUP, 0, 0, 10, 10);
        const DWORD code = Loop();
        DestroyWindow(hwnd);
        return code + 10;
    });
    ASSERT_TRUE(WaitUntilWaiting(looper.Id()));
    MSG probe;
    PeekMessageW(&probe, nullptr, 0, 0, PM_NOREMOVE); // this thread has a queue too
    standin::SendShutdownNotifications();
    EXPECT_EQ(looper.Join(), 10u); // GetMessage answered WM_QUIT with 0
    // The test thread's own queue was told to quit too.
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(WindowTest, WaitMessageReturnsWhenSomethingArrives)
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<BOOL> woke{FALSE};
    Thread waiter([&]() -> DWORD {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        SetEvent(ready);
        woke = WaitMessage();
        return PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) ? msg.message : 0;
    });
    WaitForSingleObject(ready, INFINITE);
    ASSERT_TRUE(WaitUntilWaiting(waiter.Id()));
    PostThreadMessageW(waiter.Id(), WM_APP + 7, 0, 0);
    EXPECT_EQ(waiter.Join(), static_cast<DWORD>(WM_APP + 7));
    EXPECT_TRUE(woke.load());
    CloseHandle(ready);
}

TEST_F(WindowTest, ASendToAThreadThatEndsWithoutPumpingAnswersZero)
{
    std::atomic<HWND> theirs{nullptr};
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Thread owner([&]() -> DWORD {
        theirs = Make(WS_POPUP, 0, 0, 10, 10, nullptr,
                      [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                          if (m == WM_APP)
                              return 99;
                          return std::nullopt;
                      });
        SetEvent(made);
        WaitForSingleObject(go, INFINITE);
        return 0; // ends with the message unhandled and its window still there
    });
    WaitForSingleObject(made, INFINITE);
    const DWORD me = GetCurrentThreadId();
    Thread releaser([&]() -> DWORD {
        if (!WaitUntilWaiting(me))
            return 1;
        SetEvent(go);
        return 0;
    });
    EXPECT_EQ(SendMessageW(theirs, WM_APP, 0, 0), 0);
    EXPECT_EQ(releaser.Join(), 0u);
    owner.Join();
    EXPECT_FALSE(IsWindow(theirs));
    CloseHandle(made);
    CloseHandle(go);
}

TEST_F(WindowTest, CharactersChangeFormBetweenAnsiAndUnicode)
{
    HWND hwnd = Make(WS_POPUP, 0, 0, 10, 10);
    // 0x80 is the euro sign in code page 1252.
    EXPECT_TRUE(PostMessageA(hwnd, WM_CHAR, 0x80, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 0x20ACu);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0x80u);
    DispatchMessageA(&msg); // the W procedure gets the UTF-16 unit
    ASSERT_EQ(Only(hwnd, WM_CHAR).size(), 1u);
    EXPECT_EQ(Only(hwnd, WM_CHAR)[0].wParam, 0x20ACu);
    DestroyWindow(hwnd);
}
