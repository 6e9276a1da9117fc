// The window tree and geometry: parents, owners and z-order, positions with WM_WINDOWPOSCHANGING,
// WM_NCCALCSIZE and WM_WINDOWPOSCHANGED, coordinates, system metrics, showing and enabling, and the
// window under a point.
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>

namespace user {
namespace {

// Returned by the search below when a disabled window covers the point: its parent takes it.
const HWND kBlocked = reinterpret_cast<HWND>(-1);

bool Inside(POINT point, POINT origin, LONG width, LONG height)
{
    return point.x >= origin.x && point.y >= origin.y && point.x < origin.x + width && point.y < origin.y + height;
}

HWND Search(const std::vector<HWND>& list, POINT point, const std::vector<HWND>& skip)
{
    for (HWND handle : list) {
        auto window = FindLive(handle);
        if (!window || !(window->style & WS_VISIBLE) || std::find(skip.begin(), skip.end(), handle) != skip.end())
            continue;
        const POINT origin = WindowOrigin(*window);
        if (!Inside(point, origin, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top))
            continue;
        if (window->style & WS_DISABLED)
            return kBlocked;
        const POINT client = ClientOrigin(*window);
        if (Inside(point, client, window->client.right - window->client.left,
                   window->client.bottom - window->client.top)) {
            const HWND child = Search(window->children, point, skip);
            if (child == kBlocked)
                return handle;
            if (child)
                return child;
        }
        return handle;
    }
    return nullptr;
}

std::vector<HWND>* SiblingsOf(const Window& window)
{
    auto& manager = WindowManager::Instance();
    if (!window.parent)
        return &manager.topLevel;
    auto parent = FindAny(window.parent);
    return parent ? &parent->children : nullptr;
}

} // namespace

HWND WindowAt(POINT point, const std::vector<HWND>& skip)
{
    const HWND found = Search(WindowManager::Instance().topLevel, point, skip);
    return found == kBlocked ? nullptr : found;
}

} // namespace user

using namespace user;

extern "C" HWND WINAPI GetParent(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindOrFail(hWnd);
    if (!window)
        return nullptr;
    if (window->style & WS_CHILD)
        return window->parent;
    // A pop-up window's parent is its owner; an overlapped window has none.
    return (window->style & WS_POPUP) ? window->owner : nullptr;
}

extern "C" HWND WINAPI GetWindow(HWND hWnd, UINT uCmd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindOrFail(hWnd);
    if (!window)
        return nullptr;
    if (uCmd == GW_CHILD)
        return window->children.empty() ? nullptr : window->children.front();
    if (uCmd == GW_OWNER)
        return window->owner;
    if (uCmd > GW_CHILD) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::vector<HWND>* siblings = SiblingsOf(*window);
    if (!siblings || siblings->empty())
        return nullptr;
    const auto at = std::find(siblings->begin(), siblings->end(), hWnd);
    switch (uCmd) {
    case GW_HWNDFIRST:
        return siblings->front();
    case GW_HWNDLAST:
        return siblings->back();
    case GW_HWNDNEXT:
        return (at == siblings->end() || at + 1 == siblings->end()) ? nullptr : *(at + 1);
    case GW_HWNDPREV:
        return (at == siblings->end() || at == siblings->begin()) ? nullptr : *(at - 1);
    default:
        return nullptr;
    }
}

extern "C" BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    if (!FindLive(hWndParent) || !FindLive(hWnd))
        return FALSE;
    // Only the child-window chain counts, not owners.
    auto window = FindLive(hWnd);
    while (window && (window->style & WS_CHILD) && window->parent) {
        if (window->parent == hWndParent)
            return TRUE;
        window = FindLive(window->parent);
    }
    return FALSE;
}

extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
    auto& manager = WindowManager::Instance();
    WINDOWPOS pos{hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags};
    RECT old;
    RECT oldClient;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window)
            return FALSE;
        old = window->rect;
        oldClient = window->client;
    }
    if (uFlags & SWP_NOMOVE) {
        pos.x = old.left;
        pos.y = old.top;
    }
    if (uFlags & SWP_NOSIZE) {
        pos.cx = old.right - old.left;
        pos.cy = old.bottom - old.top;
    }
    if (!(uFlags & SWP_NOSENDCHANGING))
        Send(hWnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));

    const RECT now{pos.x, pos.y, pos.x + std::max(pos.cx, 0), pos.y + std::max(pos.cy, 0)};
    const bool moved = now.left != old.left || now.top != old.top;
    const bool sized = (now.right - now.left) != (old.right - old.left) || (now.bottom - now.top) != (old.bottom - old.top);
    bool shown = false;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window)
            return FALSE;
        window->rect = now;
        if (!(uFlags & SWP_NOZORDER))
            if (std::vector<HWND>* siblings = SiblingsOf(*window)) {
                siblings->erase(std::remove(siblings->begin(), siblings->end(), hWnd), siblings->end());
                const HWND after = pos.hwndInsertAfter;
                if (after == HWND_BOTTOM) {
                    siblings->push_back(hWnd);
                } else {
                    auto at = std::find(siblings->begin(), siblings->end(), after);
                    siblings->insert(at == siblings->end() ? siblings->begin() : at + 1, hWnd);
                }
            }
        if ((uFlags & SWP_SHOWWINDOW) && !(window->style & WS_VISIBLE)) {
            window->style |= WS_VISIBLE;
            shown = true;
        }
        if (uFlags & SWP_HIDEWINDOW)
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    if (sized || moved || (uFlags & SWP_FRAMECHANGED)) {
        NCCALCSIZE_PARAMS params{};
        params.rgrc[0] = now;
        params.rgrc[1] = old;
        params.rgrc[2] = RECT{old.left + oldClient.left, old.top + oldClient.top, old.left + oldClient.right,
                              old.top + oldClient.bottom};
        params.lppos = &pos;
        Send(hWnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (auto window = FindLive(hWnd))
            window->client = RECT{params.rgrc[0].left - now.left, params.rgrc[0].top - now.top,
                                  std::max(params.rgrc[0].left, params.rgrc[0].right) - now.left,
                                  std::max(params.rgrc[0].top, params.rgrc[0].bottom) - now.top};
    }
    pos.x = now.left;
    pos.y = now.top;
    pos.cx = now.right - now.left;
    pos.cy = now.bottom - now.top;
    pos.flags = uFlags | (moved ? 0u : static_cast<UINT>(SWP_NOMOVE)) | (sized ? 0u : static_cast<UINT>(SWP_NOSIZE));
    Send(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    if (!(uFlags & SWP_NOREDRAW) && (sized || shown || (uFlags & SWP_FRAMECHANGED)))
        RedrawWhole(hWnd);
    return TRUE;
}

extern "C" BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint)
{
    return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight,
                        SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0u : static_cast<UINT>(SWP_NOREDRAW)));
}

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindOrFail(hWnd);
    if (!window)
        return FALSE;
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const POINT origin = WindowOrigin(*window);
    *lpRect = RECT{origin.x, origin.y, origin.x + window->rect.right - window->rect.left,
                   origin.y + window->rect.bottom - window->rect.top};
    return TRUE;
}

extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindOrFail(hWnd);
    if (!window)
        return FALSE;
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpRect = RECT{0, 0, window->client.right - window->client.left, window->client.bottom - window->client.top};
    return TRUE;
}

extern "C" int WINAPI MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    POINT from{0, 0};
    POINT to{0, 0};
    if (hWndFrom) {
        auto window = FindOrFail(hWndFrom);
        if (!window)
            return 0;
        from = ClientOrigin(*window);
    }
    if (hWndTo) {
        auto window = FindOrFail(hWndTo);
        if (!window)
            return 0;
        to = ClientOrigin(*window);
    }
    const LONG dx = from.x - to.x;
    const LONG dy = from.y - to.y;
    SetLastError(ERROR_SUCCESS);
    for (UINT i = 0; lpPoints && i < cPoints; ++i) {
        lpPoints[i].x += dx;
        lpPoints[i].y += dy;
    }
    return MAKELONG(static_cast<SHORT>(dx), static_cast<SHORT>(dy));
}

extern "C" BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint)
{
    if (!lpPoint || !IsWindow(hWnd)) {
        SetLastError(lpPoint ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MapWindowPoints(hWnd, nullptr, lpPoint, 1);
    return TRUE;
}

extern "C" BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint)
{
    if (!lpPoint || !IsWindow(hWnd)) {
        SetLastError(lpPoint ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MapWindowPoints(nullptr, hWnd, lpPoint, 1);
    return TRUE;
}

extern "C" int WINAPI GetSystemMetrics(int nIndex)
{
    switch (nIndex) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
    case SM_CXFULLSCREEN:
        return kScreenWidth;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return kScreenHeight;
    case SM_CYFULLSCREEN:
        return kScreenHeight - 19;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return 17;
    case SM_CYCAPTION:
    case SM_CYMENU:
        return 19;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CYSMCAPTION:
        return 15;
    case SM_CXSIZE:
    case SM_CYSIZE:
        return 18;
    case SM_CXMIN:
        return 112;
    case SM_CYMIN:
        return 27;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG:
        return 4;
    case SM_MOUSEPRESENT:
    case SM_CMONITORS:
        return 1;
    case SM_SWAPBUTTON:
        return 0;
    default:
        return 0;
    }
}

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    auto& manager = WindowManager::Instance();
    bool wasVisible;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window)
            return FALSE;
        wasVisible = (window->style & WS_VISIBLE) != 0;
    }
    const bool show = nCmdShow != SW_HIDE;
    if (show == wasVisible)
        return wasVisible ? TRUE : FALSE;
    Send(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    HWND parent = nullptr;
    RECT uncovered{};
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindLive(hWnd);
        if (!window)
            return wasVisible ? TRUE : FALSE;
        if (show)
            window->style |= WS_VISIBLE;
        else
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        parent = window->parent;
        uncovered = window->rect;
    }
    if (show)
        RedrawWhole(hWnd);
    else if (parent)
        InvalidateRect(parent, &uncovered, TRUE); // what the child covered shows again
    return wasVisible ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindLive(hWnd);
    return window && VisibleLocked(*window) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable)
{
    auto& manager = WindowManager::Instance();
    bool wasDisabled;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window)
            return FALSE;
        wasDisabled = (window->style & WS_DISABLED) != 0;
        if (wasDisabled == !bEnable)
            return wasDisabled ? TRUE : FALSE;
        if (bEnable)
            window->style &= ~static_cast<DWORD>(WS_DISABLED);
        else
            window->style |= WS_DISABLED;
    }
    Send(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindLive(hWnd);
    return window && !(window->style & WS_DISABLED) ? TRUE : FALSE;
}

extern "C" HWND WINAPI WindowFromPoint(POINT Point)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    return WindowAt(Point, {});
}
