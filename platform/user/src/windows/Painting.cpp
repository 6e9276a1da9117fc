// Painting bookkeeping: each window's update region (kept as its bounding rectangle) and erase
// flag. WM_PAINT comes from the queue while a visible window with redrawing on has a region.
#include "gdi/WindowPainting.h"
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>

namespace user {
namespace {

bool Empty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

void Invalidate(Window& window, const RECT* rect, bool erase)
{
    if (!window.redraw)
        return;
    // Children share their parent's pixels: unless the parent clips them out, what it repaints
    // they repaint after it.
    if (!(window.style & WS_CLIPCHILDREN)) {
        for (HWND handle : window.children) {
            auto child = FindLive(handle);
            if (!child)
                continue;
            if (!rect) {
                Invalidate(*child, nullptr, erase);
                continue;
            }
            const RECT at{rect->left - child->rect.left - child->client.left,
                          rect->top - child->rect.top - child->client.top,
                          rect->right - child->rect.left - child->client.left,
                          rect->bottom - child->rect.top - child->client.top};
            if (rect->left < child->rect.right && rect->right > child->rect.left && rect->top < child->rect.bottom &&
                rect->bottom > child->rect.top)
                Invalidate(*child, &at, erase);
        }
    }
    const RECT client{0, 0, window.client.right - window.client.left, window.client.bottom - window.client.top};
    RECT area = rect ? *rect : client;
    area.left = std::max(area.left, client.left);
    area.top = std::max(area.top, client.top);
    area.right = std::min(area.right, client.right);
    area.bottom = std::min(area.bottom, client.bottom);
    if (Empty(area))
        return;
    if (window.hasUpdate) {
        window.update.left = std::min(window.update.left, area.left);
        window.update.top = std::min(window.update.top, area.top);
        window.update.right = std::max(window.update.right, area.right);
        window.update.bottom = std::max(window.update.bottom, area.bottom);
    } else {
        window.update = area;
        window.hasUpdate = true;
    }
    window.erase = window.erase || erase;
    Wake(*window.queue);
}

void Validate(Window& window, const RECT* rect)
{
    if (!window.hasUpdate)
        return;
    if (!rect) {
        window.hasUpdate = false;
        window.erase = false;
        return;
    }
    RECT& u = window.update;
    const bool coversX = rect->left <= u.left && rect->right >= u.right;
    const bool coversY = rect->top <= u.top && rect->bottom >= u.bottom;
    if (coversX && coversY) {
        window.hasUpdate = false;
        window.erase = false;
        return;
    }
    // A band across the whole region shrinks it; anything else leaves the bounding rectangle.
    if (coversX) {
        if (rect->top <= u.top && rect->bottom > u.top)
            u.top = rect->bottom;
        else if (rect->bottom >= u.bottom && rect->top < u.bottom)
            u.bottom = rect->top;
    } else if (coversY) {
        if (rect->left <= u.left && rect->right > u.left)
            u.left = rect->right;
        else if (rect->right >= u.right && rect->left < u.right)
            u.right = rect->left;
    }
    if (Empty(u)) {
        window.hasUpdate = false;
        window.erase = false;
    }
}

} // namespace

void ValidateAll(HWND hwnd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    if (auto window = FindAny(hwnd))
        Validate(*window, nullptr);
}

void RedrawWhole(HWND hwnd)
{
    {
        auto& manager = WindowManager::Instance();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindLive(hwnd);
        if (!window)
            return;
        window->frameDirty = true;
        Wake(*window->queue);
    }
    InvalidateRect(hwnd, nullptr, TRUE);
}

} // namespace user

using namespace user;

extern "C" BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    if (!hWnd) {
        // Every window.
        for (auto& [handle, window] : manager.windows)
            if (!window->destroyed)
                Invalidate(*window, nullptr, bErase != 0);
        return TRUE;
    }
    auto window = FindOrFail(hWnd);
    if (!window)
        return FALSE;
    Invalidate(*window, lpRect, bErase != 0);
    return TRUE;
}

extern "C" BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindOrFail(hWnd);
    if (!window)
        return FALSE;
    Validate(*window, lpRect);
    return TRUE;
}

extern "C" BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase)
{
    auto& manager = WindowManager::Instance();
    bool erase = false;
    BOOL any;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window)
            return FALSE;
        any = window->hasUpdate ? TRUE : FALSE;
        if (lpRect)
            *lpRect = window->hasUpdate ? window->update : RECT{0, 0, 0, 0};
        erase = bErase && window->hasUpdate && window->erase;
    }
    // The background is erased now when asked, through a DC clipped to the update region; an
    // unerased background stays marked.
    if (erase) {
        HDC hdc = UpdateRegionDc(hWnd);
        const LRESULT erased = hdc ? Send(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) : 0;
        if (hdc)
            ReleaseDC(hWnd, hdc);
        if (erased) {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            if (auto window = FindLive(hWnd))
                window->erase = false;
        }
    }
    return any;
}

extern "C" BOOL WINAPI UpdateWindow(HWND hWnd)
{
    auto& manager = WindowManager::Instance();
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window)
            return FALSE;
        if (!window->hasUpdate || !window->redraw || !VisibleLocked(*window))
            return TRUE;
    }
    Send(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}
