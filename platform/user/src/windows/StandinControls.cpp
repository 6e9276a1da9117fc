// The window manager's stand-in controls (standin/windowing.h).
#include "platform/Clock.h"
#include "standin/verifier.h"
#include "standin/windowing.h"
#include "windows/WindowManager.h"

#include <algorithm>

namespace {

constexpr size_t kPumpLimit = 100000;

UINT ButtonMessage(UINT button, bool down)
{
    switch (button) {
    case VK_LBUTTON:
        return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case VK_RBUTTON:
        return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case VK_MBUTTON:
        return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    default:
        return 0;
    }
}

void Button(UINT button, bool down)
{
    const UINT message = ButtonMessage(button, down);
    if (!message) {
        standin::VerifierReport("bad-argument", "a pointer button that is not VK_LBUTTON, VK_RBUTTON or VK_MBUTTON");
        return;
    }
    auto& manager = user::WindowManager::Instance();
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (down)
            manager.keys[button] |= 0x80;
        else
            manager.keys[button] &= 0x7F;
    }
    user::InjectMouse(message);
}

} // namespace

namespace standin {

size_t PumpUntilIdle()
{
    size_t count = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (++count >= kPumpLimit) {
            VerifierReport("pump-limit", "PumpUntilIdle stopped after 100000 messages: a window never validates "
                                         "its update region or a message keeps posting itself");
            break;
        }
    }
    return count;
}

bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMilliseconds)
{
    auto queue = user::CurrentQueue();
    const int64_t deadline =
        platform::Clock::DeadlineAfter(static_cast<int64_t>(timeoutMilliseconds) * platform::Clock::kUnitsPerMillisecond);
    for (;;) {
        PumpUntilIdle();
        if (predicate())
            return true;
        auto& manager = user::WindowManager::Instance();
        int64_t until = deadline;
        {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            if (queue->quit)
                return predicate();
            for (const auto& timer : queue->timers)
                until = std::min(until, timer.due);
        }
        if (platform::Clock::Now() >= deadline)
            return predicate();
        // The predicate may turn on something other than messages: look again at least every
        // 10 ms of the clock.
        until = std::min(until, platform::Clock::DeadlineAfter(10 * platform::Clock::kUnitsPerMillisecond));
        user::WaitForQueue(*queue, until);
    }
}

std::vector<WindowMessage> WindowMessageLog(HWND hwnd)
{
    auto& manager = user::WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    std::vector<WindowMessage> log;
    if (auto window = user::FindAny(hwnd))
        for (const auto& entry : window->log)
            log.push_back({entry.message, entry.wParam, entry.lParam});
    return log;
}

void ClearWindowMessageLog(HWND hwnd)
{
    auto& manager = user::WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    if (auto window = user::FindAny(hwnd))
        window->log.clear();
}

std::vector<UINT> WindowMessageNumbers(HWND hwnd)
{
    std::vector<UINT> numbers;
    for (const auto& entry : WindowMessageLog(hwnd))
        numbers.push_back(entry.message);
    return numbers;
}

void MovePointer(int x, int y)
{
    auto& manager = user::WindowManager::Instance();
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        const RECT& clip = manager.clip;
        manager.pointer.x = std::clamp<LONG>(x, clip.left, clip.right - 1);
        manager.pointer.y = std::clamp<LONG>(y, clip.top, clip.bottom - 1);
    }
    user::InjectMouse(WM_MOUSEMOVE);
}

void PressButton(UINT button)
{
    Button(button, true);
}

void ReleaseButton(UINT button)
{
    Button(button, false);
}

void PressKey(UINT vk)
{
    user::InjectKey(vk, true);
}

void ReleaseKey(UINT vk)
{
    user::InjectKey(vk, false);
}

HCURSOR CurrentCursor()
{
    auto& manager = user::WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    return user::CurrentCursorLocked();
}

std::string CursorName(HCURSOR cursor)
{
    return user::SystemCursorName(cursor);
}

bool WaitingForMessages(DWORD threadId)
{
    auto& manager = user::WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    const auto found = manager.queues.find(threadId);
    return found != manager.queues.end() && found->second->waiting > 0;
}

void ResetInput()
{
    auto& manager = user::WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    manager.pointer = POINT{user::kScreenWidth / 2, user::kScreenHeight / 2};
    manager.keys.fill(0);
    for (auto& [thread, queue] : manager.queues)
        queue->keys.fill(0);
    manager.clipped = false;
    manager.clip = RECT{0, 0, user::kScreenWidth, user::kScreenHeight};
    manager.cursor = nullptr;
    manager.cursorSet = false;
}

} // namespace standin
