// Focus and activation, per thread: WM_KILLFOCUS then WM_SETFOCUS, each naming the other window;
// WM_ACTIVATE to the window losing activation, then to the one gaining it.
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

namespace user {

extern thread_local bool t_activatingForFocus;

void ForgetInputOf(HWND hwnd)
{
    auto& manager = WindowManager::Instance();
    for (auto& [thread, queue] : manager.queues) {
        if (queue->focus == hwnd)
            queue->focus = nullptr;
        if (queue->active == hwnd)
            queue->active = nullptr;
        if (queue->trackLeave == hwnd)
            queue->trackLeave = nullptr;
    }
    if (manager.capture == hwnd)
        manager.capture = nullptr;
}

namespace {

HWND Activate(HWND hwnd)
{
    auto& manager = WindowManager::Instance();
    auto queue = CurrentQueue();
    HWND previous;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        previous = queue->active;
        if (previous == hwnd)
            return previous;
        queue->active = hwnd;
        manager.keyboardQueue = queue;
    }
    if (previous && IsWindow(previous))
        Send(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(hwnd));
    if (hwnd)
        Send(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), reinterpret_cast<LPARAM>(previous));
    return previous;
}

} // namespace
} // namespace user

using namespace user;

extern "C" HWND WINAPI SetFocus(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    auto queue = CurrentQueue();
    HWND top = nullptr;
    if (hWnd) {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window || !OwnedByCaller(*window, "SetFocus"))
            return nullptr;
        if (queue->focus == hWnd)
            return hWnd;
        top = TopLevelOf(hWnd);
    }
    // The window's top-level window becomes active first, without moving the focus itself.
    bool activate;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        activate = top && queue->active != top;
    }
    if (activate) {
        t_activatingForFocus = true;
        struct Reset {
            ~Reset() { t_activatingForFocus = false; }
        } reset;
        Activate(top);
    }
    HWND previous;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        previous = queue->focus;
        if (previous == hWnd)
            return previous;
        queue->focus = nullptr;
        manager.keyboardQueue = queue;
    }
    if (previous && IsWindow(previous))
        Send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (hWnd && IsWindow(hWnd)) {
        {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            queue->focus = hWnd;
        }
        Send(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

extern "C" HWND WINAPI GetFocus()
{
    auto queue = CurrentQueueIfAny();
    if (!queue)
        return nullptr;
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    return queue->focus;
}

extern "C" HWND WINAPI SetActiveWindow(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    HWND top = nullptr;
    if (hWnd) {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window || !OwnedByCaller(*window, "SetActiveWindow"))
            return nullptr;
        top = TopLevelOf(hWnd);
    }
    return Activate(top);
}

extern "C" HWND WINAPI GetActiveWindow()
{
    auto queue = CurrentQueueIfAny();
    if (!queue)
        return nullptr;
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    return queue->active;
}
