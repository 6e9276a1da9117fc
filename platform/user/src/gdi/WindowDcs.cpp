// Windows' device contexts. Every top-level window owns a 32-bit surface of its size, into which
// it and its children paint: a window's DC draws at the window's place in it, clipped to the
// window's ancestors' client areas, to its siblings above it (WS_CLIPSIBLINGS), away from its
// children (WS_CLIPCHILDREN), and in BeginPaint to the update region. Hidden windows draw nothing.
// The screen's DC draws nowhere.
#include "gdi/GdiTable.h"
#include "gdi/WindowPainting.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>
#include <cstring>

namespace user {
namespace {

RECT Offset(RECT r, POINT by)
{
    return RECT{r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y};
}

POINT Minus(POINT a, POINT b)
{
    return POINT{a.x - b.x, a.y - b.y};
}

// A window's rectangle in its top-level window's surface.
RECT SurfaceRect(const Window& window, const Window& top)
{
    const POINT at = Minus(WindowOrigin(window), WindowOrigin(top));
    return RECT{at.x, at.y, at.x + window.rect.right - window.rect.left, at.y + window.rect.bottom - window.rect.top};
}

RECT SurfaceClient(const Window& window, const Window& top)
{
    const POINT at = Minus(ClientOrigin(window), WindowOrigin(top));
    return RECT{at.x, at.y, at.x + window.client.right - window.client.left,
                at.y + window.client.bottom - window.client.top};
}

// Everything of a window's DC but its GDI part; the manager's lock is held.
bool PrepareLocked(HWND hwnd, bool client, DcState& dc)
{
    auto window = FindOrFail(hwnd);
    if (!window)
        return false;
    auto top = FindLive(TopLevelOf(hwnd));
    if (!top)
        return false;
    dc.kind = DcState::window;
    dc.hwnd = hwnd;
    dc.surface = SurfaceOfLocked(top->handle, top->rect.right - top->rect.left, top->rect.bottom - top->rect.top);
    const RECT area = client ? SurfaceClient(*window, *top) : SurfaceRect(*window, *top);
    dc.origin = POINT{area.left, area.top};
    dc.visible.clear();
    if (!VisibleLocked(*window))
        return true;
    Region visible{area};
    if (window->style & WS_CLIPCHILDREN)
        for (HWND handle : window->children)
            if (auto child = FindLive(handle); child && (child->style & WS_VISIBLE))
                visible = SubtractRect(visible, SurfaceRect(*child, *top));
    for (auto node = window; node->parent;) {
        auto parent = FindLive(node->parent);
        if (!parent)
            break;
        visible = IntersectRegion(visible, SurfaceClient(*parent, *top));
        if (node->style & WS_CLIPSIBLINGS)
            for (HWND handle : parent->children) {
                if (handle == node->handle)
                    break; // the siblings above come first
                if (auto sibling = FindLive(handle); sibling && (sibling->style & WS_VISIBLE))
                    visible = SubtractRect(visible, SurfaceRect(*sibling, *top));
            }
        node = parent;
    }
    dc.visible = std::move(visible);
    return true;
}

HDC MakeDc(const std::shared_ptr<DcState>& dc)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    return AddWindowDcLocked(table, dc);
}

HDC WindowDc(HWND hwnd, bool client)
{
    auto dc = std::make_shared<DcState>();
    if (hwnd) {
        auto& manager = WindowManager::Instance();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (!PrepareLocked(hwnd, client, *dc))
            return nullptr;
    } else {
        dc->kind = DcState::screen;
    }
    return MakeDc(dc);
}

void Shrink(RECT& r)
{
    r.left += 1;
    r.top += 1;
    r.right -= 1;
    r.bottom -= 1;
}

void FillSystem(HDC hdc, const RECT& r, int index)
{
    FillRect(hdc, &r, GetSysColorBrush(index));
}

// The frame of a style into a DC whose origin is the window's top-left corner.
void DrawFrame(HWND hwnd, HDC hdc)
{
    DWORD style, exStyle;
    RECT rect;
    bool active;
    {
        auto& manager = WindowManager::Instance();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        if (!window)
            return;
        style = window->style;
        exStyle = window->exStyle;
        rect = RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
        active = window->queue && window->queue->active == hwnd;
    }
    if (style & WS_THICKFRAME) {
        DrawEdge(hdc, &rect, EDGE_RAISED, BF_RECT | BF_ADJUST);
        for (int i = 0; i < 2; ++i) {
            FrameRect(hdc, &rect, GetSysColorBrush(active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER));
            Shrink(rect);
        }
    } else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
        DrawEdge(hdc, &rect, EDGE_RAISED, BF_RECT | BF_ADJUST);
        FrameRect(hdc, &rect, GetSysColorBrush(COLOR_3DFACE));
        Shrink(rect);
    } else if (style & WS_BORDER) {
        FrameRect(hdc, &rect, GetSysColorBrush(COLOR_WINDOWFRAME));
        Shrink(rect);
    }
    if ((style & WS_CAPTION) == WS_CAPTION) {
        FillSystem(hdc, RECT{rect.left, rect.top, rect.right, rect.top + 18},
                   active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
        FillSystem(hdc, RECT{rect.left, rect.top + 18, rect.right, rect.top + 19}, COLOR_3DFACE);
        // The title in the bold 8-point face.
        WCHAR title[256] = {};
        if (GetWindowTextW(hwnd, title, 256) > 0) {
            if (HFONT bold = CreateFontW(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, u"MS Shell Dlg")) {
                HGDIOBJ previous = SelectObject(hdc, bold);
                const int mode = SetBkMode(hdc, TRANSPARENT);
                const COLORREF text =
                    SetTextColor(hdc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
                RECT caption{rect.left + 3, rect.top, rect.right - 3, rect.top + 18};
                DrawTextW(hdc, title, -1, &caption, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
                SetTextColor(hdc, text);
                SetBkMode(hdc, mode);
                SelectObject(hdc, previous);
                DeleteObject(bold);
            }
        }
        rect.top += 19;
    }
    if (exStyle & WS_EX_CLIENTEDGE)
        DrawEdge(hdc, &rect, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (exStyle & WS_EX_STATICEDGE)
        DrawEdge(hdc, &rect, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    if (style & WS_VSCROLL)
        FillSystem(hdc, RECT{rect.right - 17, rect.top, rect.right, rect.bottom}, COLOR_SCROLLBAR);
    if (style & WS_HSCROLL)
        FillSystem(hdc, RECT{rect.left, rect.bottom - 17, rect.right, rect.bottom}, COLOR_SCROLLBAR);
}

void MoveOrigin(HDC hdc, POINT by)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    if (DcState* dc = FindDcLocked(table, hdc, "WM_PRINT")) {
        dc->origin.x += by.x;
        dc->origin.y += by.y;
    }
}

} // namespace

std::shared_ptr<PixelBuffer> SurfaceOfLocked(HWND topLevel, LONG width, LONG height)
{
    auto window = FindAny(topLevel);
    if (!window)
        return nullptr;
    width = std::max<LONG>(width, 0);
    height = std::max<LONG>(height, 0);
    auto& surface = window->surface;
    if (surface && surface->width == width && surface->height == height)
        return surface;
    auto made = MakeDeviceBitmap(width, height, 32);
    if (!made)
        made = MakeDeviceBitmap(0, 0, 32);
    if (surface) {
        // What was painted stays where it was.
        auto& table = Table();
        std::lock_guard<std::mutex> hold(table.lock);
        const LONG rows = std::min(height, surface->height);
        const size_t bytes = static_cast<size_t>(std::min(width, surface->width)) * 4;
        for (LONG y = 0; y < rows; ++y)
            std::memcpy(made->Row(y), surface->Row(y), bytes);
    }
    surface = made;
    return surface;
}

LRESULT DefaultEraseBackground(HWND hwnd, HDC hdc)
{
    HBRUSH brush;
    {
        auto& manager = WindowManager::Instance();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        if (!window || !window->cls->background)
            return 0;
        brush = window->cls->background;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(hdc, &client, brush);
    return 1;
}

void DefaultNcPaint(HWND hwnd)
{
    if (HDC hdc = GetWindowDC(hwnd)) {
        DrawFrame(hwnd, hdc);
        ReleaseDC(hwnd, hdc);
    }
}

void DefaultPrint(HWND hwnd, HDC hdc, LPARAM flags)
{
    POINT client{0, 0};
    std::vector<std::pair<HWND, POINT>> children; // bottom of the z-order first
    {
        auto& manager = WindowManager::Instance();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        if (!window)
            return;
        if ((flags & PRF_CHECKVISIBLE) && !VisibleLocked(*window))
            return;
        client = POINT{window->client.left, window->client.top};
        for (auto it = window->children.rbegin(); it != window->children.rend(); ++it)
            if (auto child = FindLive(*it); child && (child->style & WS_VISIBLE))
                children.emplace_back(*it, POINT{client.x + child->rect.left, client.y + child->rect.top});
    }
    if (flags & PRF_NONCLIENT)
        DrawFrame(hwnd, hdc);
    MoveOrigin(hdc, client);
    if (flags & PRF_ERASEBKGND)
        SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    if (flags & PRF_CLIENT)
        SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), flags);
    MoveOrigin(hdc, POINT{-client.x, -client.y});
    if (flags & PRF_CHILDREN)
        for (const auto& [child, at] : children) {
            MoveOrigin(hdc, at);
            SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(hdc), flags);
            MoveOrigin(hdc, POINT{-at.x, -at.y});
        }
}

HDC UpdateRegionDc(HWND hwnd)
{
    auto dc = std::make_shared<DcState>();
    {
        auto& manager = WindowManager::Instance();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (!PrepareLocked(hwnd, true, *dc))
            return nullptr;
        auto window = FindLive(hwnd);
        dc->visible = window->hasUpdate ? IntersectRegion(dc->visible, Offset(window->update, dc->origin)) : Region{};
    }
    return MakeDc(dc);
}

} // namespace user

using namespace user;

extern "C" HDC WINAPI GetDC(HWND hWnd)
{
    return WindowDc(hWnd, true);
}

extern "C" HDC WINAPI GetWindowDC(HWND hWnd)
{
    return WindowDc(hWnd, false);
}

extern "C" int WINAPI ReleaseDC(HWND hWnd, HDC hDC)
{
    (void)hWnd;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, hDC, "ReleaseDC");
    // Memory DCs go with DeleteDC.
    if (!object || object->type != OBJ_DC)
        return 0;
    RemoveDcLocked(table, hDC);
    return 1;
}

extern "C" HWND WINAPI WindowFromDC(HDC hDC)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hDC, "WindowFromDC");
    return dc ? dc->hwnd : nullptr;
}

extern "C" HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto dc = std::make_shared<DcState>();
    bool erase = false;
    bool frame = false;
    RECT paint{0, 0, 0, 0};
    {
        auto& manager = WindowManager::Instance();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (!PrepareLocked(hWnd, true, *dc))
            return nullptr;
        auto window = FindLive(hWnd);
        if (window->hasUpdate)
            paint = window->update;
        erase = window->hasUpdate && window->erase;
        frame = window->frameDirty;
        dc->visible = window->hasUpdate ? IntersectRegion(dc->visible, Offset(paint, dc->origin)) : Region{};
        dc->paint = true;
        // The update region is validated now: what invalidates it again while painting comes back.
        window->hasUpdate = false;
        window->erase = false;
        window->frameDirty = false;
    }
    if (frame)
        SendMessageW(hWnd, WM_NCPAINT, 1, 0);
    HDC hdc = MakeDc(dc);
    std::memset(lpPaint, 0, sizeof *lpPaint);
    lpPaint->hdc = hdc;
    lpPaint->rcPaint = paint;
    lpPaint->fErase = TRUE;
    if (erase)
        lpPaint->fErase = SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
    else
        lpPaint->fErase = FALSE;
    return hdc;
}

extern "C" BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    if (!lpPaint)
        return FALSE;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto object = FindLocked(table, lpPaint->hdc, "EndPaint");
    if (!object || object->type != OBJ_DC || !object->dc->paint || object->dc->hwnd != hWnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RemoveDcLocked(table, lpPaint->hdc);
    return TRUE;
}
