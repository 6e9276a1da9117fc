// The mouse: injected pointer events become messages in the receiving thread. The target is the
// capture window, else the deepest visible, enabled window under the pointer; WM_NCHITTEST goes to
// it (HTTRANSPARENT passes to the window beneath); without capture WM_SETCURSOR (hit code, mouse
// message) follows; then the client message for HTCLIENT or under capture, else the non-client
// message with the hit code. Capture, mouse-leave tracking, the pointer position and ClipCursor.
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>

namespace user {
namespace {

WPARAM KeyStateLocked()
{
    const auto& keys = WindowManager::Instance().keys;
    WPARAM state = 0;
    if (keys[VK_LBUTTON] & 0x80)
        state |= MK_LBUTTON;
    if (keys[VK_RBUTTON] & 0x80)
        state |= MK_RBUTTON;
    if (keys[VK_MBUTTON] & 0x80)
        state |= MK_MBUTTON;
    if (keys[VK_SHIFT] & 0x80)
        state |= MK_SHIFT;
    if (keys[VK_CONTROL] & 0x80)
        state |= MK_CONTROL;
    return state;
}

InputEvent* FirstRaw(MessageQueue& queue)
{
    for (auto& event : queue.input)
        if (event.state == InputEvent::raw)
            return &event;
    return nullptr;
}

InputEvent* FirstCooking(MessageQueue& queue)
{
    for (auto& event : queue.input)
        if (event.state == InputEvent::cooking)
            return &event;
    return nullptr;
}

void DropCooking(MessageQueue& queue)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto& input = queue.input;
    const auto found =
        std::find_if(input.begin(), input.end(), [](const InputEvent& e) { return e.state == InputEvent::cooking; });
    if (found != input.end())
        input.erase(found);
}

} // namespace

void InjectMouse(UINT clientMessage)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    std::shared_ptr<Window> target = FindLive(manager.capture);
    if (!target)
        target = FindLive(WindowAt(manager.pointer, {}));
    if (!target || !target->queue->alive)
        return;
    InputEvent event;
    event.msg.message = clientMessage;
    event.msg.wParam = KeyStateLocked();
    event.msg.time = GetTickCount();
    event.msg.pt = manager.pointer;
    event.keys = manager.keys;
    target->queue->input.push_back(event);
    Wake(*target->queue);
}

bool CookInput(MessageQueue& queue)
{
    auto& manager = WindowManager::Instance();
    MSG raw;
    std::array<BYTE, 256> keys{};
    std::vector<HWND> skip;
    HWND capture = nullptr;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        InputEvent* event = FirstRaw(queue);
        if (!event)
            return false;
        event->state = InputEvent::cooking;
        raw = event->msg;
        keys = event->keys;
        skip = event->skip;
        if (auto window = FindLive(manager.capture); window && window->queue.get() == &queue)
            capture = window->handle;
    }
    const LPARAM screen = MAKELPARAM(raw.pt.x, raw.pt.y);
    HWND target = capture;
    LONG hit = HTCLIENT;
    if (capture) {
        hit = static_cast<LONG>(Send(capture, WM_NCHITTEST, 0, screen));
    } else {
        // The window under the point, passing over `skip`; false when the event has gone (no
        // window, or on to another thread's queue).
        const auto resolve = [&]() {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            target = WindowAt(raw.pt, skip);
            auto window = FindLive(target);
            if (window && window->queue.get() == &queue)
                return true;
            if (window && window->queue->alive) {
                InputEvent moved;
                moved.msg = raw;
                moved.keys = keys;
                moved.skip = skip;
                window->queue->input.push_back(moved);
                Wake(*window->queue);
            }
            DropCooking(queue);
            return false;
        };
        if (!resolve())
            return true;
        for (;;) {
            hit = static_cast<LONG>(Send(target, WM_NCHITTEST, 0, screen));
            if (hit != HTTRANSPARENT)
                break;
            skip.push_back(target);
            if (!resolve())
                return true;
        }
        Send(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(static_cast<WORD>(hit), raw.message));
    }
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    InputEvent* event = FirstCooking(queue);
    if (!event)
        return true; // the queue went meanwhile
    auto window = FindLive(target);
    if (!window) {
        DropCooking(queue);
        return true;
    }
    if (queue.trackLeave && (queue.trackLeave != target || (!capture && hit != HTCLIENT))) {
        MSG leave = raw;
        leave.hwnd = queue.trackLeave;
        leave.message = WM_MOUSELEAVE;
        leave.wParam = 0;
        leave.lParam = 0;
        PostLocked(queue, leave);
        queue.trackLeave = nullptr;
    }
    event->msg.hwnd = target;
    if (capture || hit == HTCLIENT) {
        const POINT origin = ClientOrigin(*window);
        event->msg.lParam = MAKELPARAM(raw.pt.x - origin.x, raw.pt.y - origin.y);
    } else {
        event->msg.message = raw.message - (WM_MOUSEMOVE - WM_NCMOUSEMOVE);
        event->msg.wParam = static_cast<WPARAM>(hit);
        event->msg.lParam = screen;
    }
    event->state = InputEvent::cooked;
    return true;
}

} // namespace user

using namespace user;

extern "C" HWND WINAPI SetCapture(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    HWND previous;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window || !OwnedByCaller(*window, "SetCapture"))
            return nullptr;
        previous = manager.capture;
        manager.capture = hWnd;
    }
    if (previous && previous != hWnd && IsWindow(previous))
        Send(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    return previous;
}

extern "C" BOOL WINAPI ReleaseCapture()
{
    auto& manager = WindowManager::Instance();
    HWND previous = nullptr;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindLive(manager.capture);
        if (window && window->thread != GetCurrentThreadId())
            return TRUE; // another thread's capture stays
        previous = manager.capture;
        manager.capture = nullptr;
    }
    if (previous && IsWindow(previous))
        Send(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

extern "C" HWND WINAPI GetCapture()
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindLive(manager.capture);
    return window && window->thread == GetCurrentThreadId() ? window->handle : nullptr;
}

extern "C" BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack)
{
    if (!lpEventTrack || lpEventTrack->cbSize != sizeof(TRACKMOUSEEVENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& manager = WindowManager::Instance();
    auto queue = CurrentQueue();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    const DWORD flags = lpEventTrack->dwFlags;
    if (flags & TME_QUERY) {
        lpEventTrack->dwFlags = queue->trackLeave ? TME_LEAVE : 0;
        lpEventTrack->hwndTrack = queue->trackLeave;
        lpEventTrack->dwHoverTime = 0;
        return TRUE;
    }
    if (flags & ~(TME_LEAVE | TME_CANCEL)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return FALSE;
    }
    auto window = FindOrFail(lpEventTrack->hwndTrack);
    if (!window)
        return FALSE;
    if (!OwnedByCaller(*window, "TrackMouseEvent"))
        return FALSE;
    if (flags & TME_CANCEL) {
        if ((flags & TME_LEAVE) && queue->trackLeave == window->handle)
            queue->trackLeave = nullptr;
        return TRUE;
    }
    if (!(flags & TME_LEAVE))
        return TRUE;
    // A pointer already outside the window's client area gives WM_MOUSELEAVE at once.
    const POINT origin = ClientOrigin(*window);
    const POINT at = manager.pointer;
    const bool over = WindowAt(at, {}) == window->handle && at.x >= origin.x && at.y >= origin.y &&
                      at.x < origin.x + (window->client.right - window->client.left) &&
                      at.y < origin.y + (window->client.bottom - window->client.top);
    if (!over) {
        MSG leave{};
        leave.hwnd = window->handle;
        leave.message = WM_MOUSELEAVE;
        leave.time = GetTickCount();
        leave.pt = at;
        PostLocked(*queue, leave);
        queue->trackLeave = nullptr;
        return TRUE;
    }
    queue->trackLeave = window->handle;
    return TRUE;
}

extern "C" BOOL WINAPI GetCursorPos(LPPOINT lpPoint)
{
    if (!lpPoint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    *lpPoint = manager.pointer;
    return TRUE;
}

extern "C" BOOL WINAPI ClipCursor(const RECT* lpRect)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    const RECT screen{0, 0, kScreenWidth, kScreenHeight};
    if (!lpRect) {
        manager.clipped = false;
        manager.clip = screen;
        return TRUE;
    }
    RECT clip{std::max(lpRect->left, screen.left), std::max(lpRect->top, screen.top),
              std::min(lpRect->right, screen.right), std::min(lpRect->bottom, screen.bottom)};
    if (clip.right <= clip.left || clip.bottom <= clip.top) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    manager.clipped = true;
    manager.clip = clip;
    // The pointer moves inside at once.
    manager.pointer.x = std::clamp(manager.pointer.x, clip.left, clip.right - 1);
    manager.pointer.y = std::clamp(manager.pointer.y, clip.top, clip.bottom - 1);
    return TRUE;
}

extern "C" BOOL WINAPI GetClipCursor(LPRECT lpRect)
{
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    *lpRect = manager.clip;
    return TRUE;
}
