// Window creation and destruction: CreateWindowEx with WM_NCCREATE, WM_NCCALCSIZE and WM_CREATE;
// DestroyWindow with WM_DESTROY (parent before children) and WM_NCDESTROY (children first), owned
// windows first. Handles count up from 0x10010 in steps of 4 and are never reused.
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>

namespace user {
namespace {

// Marks the windows destroyed (the first is the root of the tree), takes them out of the tree,
// drops their timers and waiting messages, and frees those no procedure call holds.
void Unlink(const std::vector<std::shared_ptr<Window>>& tree)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    for (auto& each : tree) {
        each->destroyed = true;
        each->cls->windows--;
        ForgetInputOf(each->handle);
        KillTimersOf(*each->queue, each->handle);
        // Its messages still waiting are never dispatched.
        auto& posted = each->queue->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(), [&](const MSG& m) { return m.hwnd == each->handle; }),
                     posted.end());
        auto& input = each->queue->input;
        input.erase(std::remove_if(input.begin(), input.end(),
                                   [&](const InputEvent& e) {
                                       return e.state == InputEvent::cooked && e.msg.hwnd == each->handle;
                                   }),
                    input.end());
    }
    const HWND root = tree.front()->handle;
    if (auto parent = FindAny(tree.front()->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), root), siblings.end());
    }
    manager.topLevel.erase(std::remove(manager.topLevel.begin(), manager.topLevel.end(), root), manager.topLevel.end());
    for (auto& each : tree) {
        each->children.clear();
        ReleaseIfDone(each);
    }
}

HWND Create(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
            int height, HWND parentHandle, HMENU menu, HINSTANCE instance, LPVOID param, bool unicode,
            LPCSTR ansiClass, LPCSTR ansiName)
{
    auto& manager = WindowManager::Instance();
    auto queue = CurrentQueue();
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto cls = FindClass(className);
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (parentHandle == HWND_MESSAGE)
            parentHandle = nullptr;
        std::shared_ptr<Window> parent;
        if (parentHandle) {
            parent = FindLive(parentHandle);
            if (!parent) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        }
        if ((style & WS_CHILD) && !parent) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        window = std::make_shared<Window>();
        window->handle = reinterpret_cast<HWND>(manager.nextHandle);
        manager.nextHandle += 4;
        window->cls = cls;
        window->queue = queue;
        window->thread = queue->thread;
        window->proc = cls->proc;
        window->unicode = cls->unicode;
        window->style = style;
        window->exStyle = exStyle;
        window->instance = instance;
        window->extra.assign(static_cast<size_t>(cls->windowExtra), 0);
        if (style & WS_CHILD) {
            window->parent = parentHandle;
            window->id = reinterpret_cast<LONG_PTR>(menu);
            parent->children.push_back(window->handle); // below its siblings
        } else {
            window->owner = parentHandle ? TopLevelOf(parentHandle) : nullptr;
            manager.topLevel.insert(manager.topLevel.begin(), window->handle);
        }
        // CW_USEDEFAULT places a top-level window at the screen's corner with a 640 x 480 size;
        // a child gets 0.
        const bool top = !(style & WS_CHILD);
        if (x == CW_USEDEFAULT) {
            x = 0;
            y = 0;
        }
        if (width == CW_USEDEFAULT) {
            width = top ? 640 : 0;
            height = top ? 480 : 0;
        }
        window->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
        window->client = RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
        cls->windows++;
        manager.windows[reinterpret_cast<uintptr_t>(window->handle)] = window;
    }
    const HWND hwnd = window->handle;

    CREATESTRUCTW wide{param, instance, menu, parentHandle, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
    CREATESTRUCTA ansi{param, instance, menu, parentHandle, height, width, y, x, static_cast<LONG>(style),
                       ansiName, ansiClass, exStyle};
    const LPARAM create = unicode ? reinterpret_cast<LPARAM>(&wide) : reinterpret_cast<LPARAM>(&ansi);

    if (!Deliver(window, WM_NCCREATE, 0, create, unicode)) {
        // A window refused at WM_NCCREATE gets WM_NCDESTROY alone.
        {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            window->destroying = true;
        }
        Deliver(window, WM_NCDESTROY, 0, 0, true);
        Unlink({window});
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    RECT frame;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        frame = window->rect;
    }
    Deliver(window, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&frame), true);
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        window->client = RECT{frame.left - window->rect.left, frame.top - window->rect.top,
                              std::max(frame.left, frame.right) - window->rect.left,
                              std::max(frame.top, frame.bottom) - window->rect.top};
    }
    if (Deliver(window, WM_CREATE, 0, create, unicode) == -1) {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsWindow(hwnd))
        return nullptr;
    RECT client;
    POINT at;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        client = window->client;
        at = POINT{window->rect.left + client.left, window->rect.top + client.top};
    }
    Deliver(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right - client.left, client.bottom - client.top), true);
    Deliver(window, WM_MOVE, 0, MAKELPARAM(at.x, at.y), true);
    if (style & WS_VISIBLE) {
        Deliver(window, WM_SHOWWINDOW, TRUE, 0, true);
        RedrawWhole(hwnd);
    }
    return IsWindow(hwnd) ? hwnd : nullptr;
}

// The window and its descendants, parents before their children.
void Subtree(const std::shared_ptr<Window>& window, std::vector<std::shared_ptr<Window>>& out)
{
    out.push_back(window);
    for (HWND child : window->children)
        if (auto found = FindLive(child))
            Subtree(found, out);
}

} // namespace
} // namespace user

using namespace user;

extern "C" HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                                       int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam)
{
    return Create(dwExStyle, lpClassName, lpWindowName, dwStyle, X, Y, nWidth, nHeight, hWndParent, hMenu, hInstance,
                  lpParam, true, nullptr, nullptr);
}

extern "C" HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                                       int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam)
{
    const bool atom = !lpClassName || IS_INTRESOURCE(lpClassName);
    const std::u16string cls = atom ? std::u16string() : WideFromAnsi(lpClassName);
    const std::u16string name = WideFromAnsi(lpWindowName);
    return Create(dwExStyle, atom ? reinterpret_cast<LPCWSTR>(lpClassName) : cls.c_str(),
                  lpWindowName ? name.c_str() : nullptr, dwStyle, X, Y, nWidth, nHeight, hWndParent, hMenu, hInstance,
                  lpParam, false, lpClassName, lpWindowName);
}

extern "C" BOOL WINAPI DestroyWindow(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    std::shared_ptr<Window> window;
    std::vector<HWND> owned;
    HWND uncoveredParent = nullptr; // a visible child's parent shows again what it covered
    RECT uncovered{};
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        window = FindOrFail(hWnd);
        if (!window)
            return FALSE;
        if (!OwnedByCaller(*window, "DestroyWindow"))
            return FALSE;
        if (window->destroying)
            return TRUE;
        window->destroying = true;
        if (window->parent && (window->style & WS_VISIBLE)) {
            uncoveredParent = window->parent;
            uncovered = window->rect;
        }
        for (auto& [handle, other] : manager.windows)
            if (!other->destroying && other->owner == hWnd)
                owned.push_back(other->handle);
    }
    // Owned windows go first.
    for (HWND each : owned)
        DestroyWindow(each);

    std::vector<std::shared_ptr<Window>> tree;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        Subtree(window, tree);
        for (auto& each : tree) {
            each->destroying = true;
            ForgetInputOf(each->handle);
        }
    }
    // A child another thread owns gets its messages through that thread.
    const DWORD me = GetCurrentThreadId();
    const auto tell = [me](const std::shared_ptr<Window>& each, UINT message) {
        if (each->thread == me)
            Deliver(each, message, 0, 0, true);
        else
            Send(each->handle, message, 0, 0);
    };
    for (auto& each : tree)
        tell(each, WM_DESTROY);
    for (auto each = tree.rbegin(); each != tree.rend(); ++each)
        tell(*each, WM_NCDESTROY);

    Unlink(tree);
    if (uncoveredParent && IsWindow(uncoveredParent))
        InvalidateRect(uncoveredParent, &uncovered, TRUE);
    return TRUE;
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    return FindLive(hWnd) ? TRUE : FALSE;
}

extern "C" DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindOrFail(hWnd);
    if (!window)
        return 0;
    if (lpdwProcessId)
        *lpdwProcessId = 1;
    return window->thread;
}
