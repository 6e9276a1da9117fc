// What the window manager's tests share: a window class whose procedure runs a handler the test
// gives each window (the default procedure otherwise), a thread of CreateThread running a
// function, and waiting for a thread to park in a message wait.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "../sync/SyncTestSupport.h"
#include "platform/Clock.h"
#include "standin/verifier.h"
#include "standin/windowing.h"
#include "um/windows.h"

namespace windowtest {

using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

inline std::mutex& HandlersLock()
{
    static std::mutex lock;
    return lock;
}
inline std::map<HWND, Handler>& Handlers()
{
    static std::map<HWND, Handler> handlers;
    return handlers;
}
// The handler the next window this thread creates takes at WM_NCCREATE.
inline thread_local Handler t_next;

inline LRESULT TestProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Handler handler;
    {
        std::lock_guard<std::mutex> hold(HandlersLock());
        if (message == WM_NCCREATE && t_next) {
            Handlers()[hwnd] = std::move(t_next);
            t_next = nullptr;
        }
        const auto found = Handlers().find(hwnd);
        if (found != Handlers().end())
            handler = found->second;
        if (message == WM_NCDESTROY)
            Handlers().erase(hwnd);
    }
    if (handler)
        if (auto result = handler(hwnd, message, wParam, lParam))
            return *result;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

inline constexpr const char16_t* kClass = u"WindowTest";

inline ATOM RegisterTestClass(HCURSOR cursor = nullptr, int extra = 0)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = TestProcedure;
    wc.cbWndExtra = extra;
    wc.hCursor = cursor;
    wc.lpszClassName = kClass;
    return RegisterClassExW(&wc);
}

inline HWND Make(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, Handler handler = nullptr,
                 DWORD exStyle = 0, LONG_PTR id = 0)
{
    t_next = std::move(handler);
    HWND hwnd = CreateWindowExW(exStyle, kClass, u"", style, x, y, cx, cy, parent,
                                reinterpret_cast<HMENU>(id), nullptr, nullptr);
    t_next = nullptr;
    return hwnd;
}

// Runs `body` on a thread of CreateThread; Join waits for it and closes the handle.
class Thread {
public:
    explicit Thread(std::function<DWORD()> body) : body_(std::move(body))
    {
        handle_ = CreateThread(nullptr, 0, &Thread::Run, this, 0, &id_);
    }
    ~Thread() { Join(); }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return handle_; }
    DWORD Join()
    {
        if (!handle_)
            return code_;
        WaitForSingleObject(handle_, INFINITE);
        GetExitCodeThread(handle_, &code_);
        CloseHandle(handle_);
        handle_ = nullptr;
        return code_;
    }

private:
    static DWORD Run(LPVOID self) { return static_cast<Thread*>(self)->body_(); }
    std::function<DWORD()> body_;
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
    DWORD code_ = 0;
};

// True once the thread is blocked in a message wait; false after ten seconds of real time.
inline bool WaitUntilWaiting(DWORD thread)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!standin::WaitingForMessages(thread)) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

using usertest::ClockSpeed;
using usertest::TakeBreaches;

// The messages of one number in a window's log.
inline std::vector<standin::WindowMessage> Only(HWND hwnd, UINT message)
{
    std::vector<standin::WindowMessage> found;
    for (const auto& entry : standin::WindowMessageLog(hwnd))
        if (entry.message == message)
            found.push_back(entry);
    return found;
}

// The log's numbers restricted to a set.
inline std::vector<UINT> Among(HWND hwnd, std::initializer_list<UINT> wanted)
{
    std::vector<UINT> found;
    for (UINT message : standin::WindowMessageNumbers(hwnd))
        if (std::find(wanted.begin(), wanted.end(), message) != wanted.end())
            found.push_back(message);
    return found;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        standin::ResetInput();
        ASSERT_NE(RegisterTestClass(), 0);
    }
    void TearDown() override
    {
        UnregisterClassW(kClass, nullptr);
        standin::ResetInput();
    }
};

} // namespace windowtest
