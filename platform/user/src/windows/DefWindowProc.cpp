// The default window procedure for every message the window manager sends, and CallWindowProc.
#include "gdi/WindowPainting.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>
#include <cstring>

namespace user {

// Whether WM_ACTIVATE's default should leave the focus alone (SetFocus activates first).
thread_local bool t_activatingForFocus = false;

namespace {

LRESULT HitTest(const Window& window, LPARAM lParam)
{
    const POINT origin = WindowOrigin(window);
    const LONG x = GET_X_LPARAM(lParam) - origin.x;
    const LONG y = GET_Y_LPARAM(lParam) - origin.y;
    const LONG width = window.rect.right - window.rect.left;
    const LONG height = window.rect.bottom - window.rect.top;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return HTNOWHERE;
    const RECT& c = window.client;
    if (x >= c.left && x < c.right && y >= c.top && y < c.bottom)
        return HTCLIENT;
    if ((window.style & WS_VSCROLL) && x >= c.right && x < c.right + 17 && y >= c.top && y < c.bottom)
        return HTVSCROLL;
    if ((window.style & WS_HSCROLL) && y >= c.bottom && y < c.bottom + 17 && x >= c.left && x < c.right)
        return HTHSCROLL;
    if (window.style & WS_THICKFRAME) {
        const bool left = x < 4, right = x >= width - 4, top = y < 4, bottom = y >= height - 4;
        const bool nearLeft = x < 16, nearRight = x >= width - 16, nearTop = y < 16, nearBottom = y >= height - 16;
        if ((top && nearLeft) || (left && nearTop))
            return HTTOPLEFT;
        if ((top && nearRight) || (right && nearTop))
            return HTTOPRIGHT;
        if ((bottom && nearLeft) || (left && nearBottom))
            return HTBOTTOMLEFT;
        if ((bottom && nearRight) || (right && nearBottom))
            return HTBOTTOMRIGHT;
        if (left)
            return HTLEFT;
        if (right)
            return HTRIGHT;
        if (top)
            return HTTOP;
        if (bottom)
            return HTBOTTOM;
    }
    if ((window.style & WS_CAPTION) == WS_CAPTION) {
        const RECT edges = NonClientEdges(window.style & ~(WS_VSCROLL | WS_HSCROLL), 0);
        const LONG frame = edges.left;
        if (y >= frame && y < frame + 19 && x >= frame && x < width - frame)
            return HTCAPTION;
    }
    return HTBORDER;
}

LPCSTR CursorForHit(LONG hit)
{
    switch (hit) {
    case HTLEFT:
    case HTRIGHT:
        return IDC_SIZEWE;
    case HTTOP:
    case HTBOTTOM:
        return IDC_SIZENS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return IDC_SIZENWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return IDC_SIZENESW;
    default:
        return IDC_ARROW;
    }
}

LRESULT SetCursorDefault(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    auto& manager = WindowManager::Instance();
    HWND parent = nullptr;
    HCURSOR classCursor = nullptr;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        if (!window)
            return FALSE;
        if (window->style & WS_CHILD)
            parent = window->parent;
        classCursor = window->cls->cursor;
    }
    // A child offers the choice to its parent first.
    if (parent && Send(parent, WM_SETCURSOR, wParam, lParam))
        return TRUE;
    const auto hit = static_cast<SHORT>(LOWORD(lParam));
    if (hit == HTCLIENT) {
        if (!classCursor)
            return FALSE;
        SetCursor(classCursor);
        return TRUE;
    }
    if (hit == HTERROR)
        return FALSE;
    SetCursor(LoadCursorA(nullptr, CursorForHit(hit)));
    return TRUE;
}

LRESULT CopyText(const std::u16string& text, WPARAM size, LPARAM buffer)
{
    if (!buffer || size == 0)
        return 0;
    const size_t count = std::min<size_t>(text.size(), size - 1);
    auto* out = reinterpret_cast<char16_t*>(buffer);
    std::memcpy(out, text.data(), count * sizeof(char16_t));
    out[count] = u'\0';
    return static_cast<LRESULT>(count);
}

} // namespace

LRESULT DefaultProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& manager = WindowManager::Instance();
    switch (message) {
    case WM_NCCREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (auto window = FindAny(hwnd); window && create && create->lpszName)
            window->text = create->lpszName;
        return TRUE;
    }
    case WM_NCCALCSIZE: {
        if (!lParam)
            return 0;
        RECT* rect = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        if (!window)
            return 0;
        const RECT edges = NonClientEdges(window->style, window->exStyle);
        rect->left += edges.left;
        rect->top += edges.top;
        rect->right = std::max(rect->left, rect->right - edges.right);
        rect->bottom = std::max(rect->top, rect->bottom - edges.bottom);
        return 0;
    }
    case WM_SETTEXT: {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        if (!window)
            return FALSE;
        window->text = lParam ? std::u16string(reinterpret_cast<const char16_t*>(lParam)) : std::u16string();
        return TRUE;
    }
    case WM_GETTEXT: {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        return window ? CopyText(window->text, wParam, lParam) : 0;
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        return window ? static_cast<LRESULT>(window->text.size()) : 0;
    }
    case WM_NCHITTEST: {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindAny(hwnd);
        return window ? HitTest(*window, lParam) : HTNOWHERE;
    }
    case WM_SETCURSOR:
        return SetCursorDefault(hwnd, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(hwnd, &paint))
            EndPaint(hwnd, &paint);
        else
            ValidateAll(hwnd);
        return 0;
    }
    case WM_ERASEBKGND:
        return DefaultEraseBackground(hwnd, reinterpret_cast<HDC>(wParam));
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        // The classic colours: window text on the window colour for edits and lists, on the face
        // colour for the rest.
        const bool window = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(window ? COLOR_WINDOW : COLOR_3DFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(window ? COLOR_WINDOW : COLOR_3DFACE));
    }
    case WM_NCPAINT:
        DefaultNcPaint(hwnd);
        return 0;
    case WM_PRINT:
        DefaultPrint(hwnd, reinterpret_cast<HDC>(wParam), lParam);
        return 0;
    case WM_SETREDRAW: {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (auto window = FindAny(hwnd))
            window->redraw = wParam != 0;
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_WINDOWPOSCHANGED: {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!pos)
            return 0;
        RECT client;
        POINT at;
        {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            auto window = FindAny(hwnd);
            if (!window)
                return 0;
            client = window->client;
            at = POINT{window->rect.left + client.left, window->rect.top + client.top};
        }
        const bool frame = (pos->flags & SWP_FRAMECHANGED) != 0;
        if (!(pos->flags & SWP_NOMOVE) || frame)
            Send(hwnd, WM_MOVE, 0, MAKELPARAM(at.x, at.y));
        if (!(pos->flags & SWP_NOSIZE) || frame)
            Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right - client.left, client.bottom - client.top));
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !t_activatingForFocus)
            SetFocus(hwnd);
        return 0;
    case WM_MOUSEACTIVATE:
        return 1; // MA_ACTIVATE
    default:
        return 0;
    }
}

} // namespace user

using namespace user;

extern "C" LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return DefaultProcedure(hWnd, Msg, wParam, lParam);
}

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    switch (Msg) {
    case WM_NCCREATE:
    case WM_CREATE: {
        if (!lParam)
            break;
        const auto& from = *reinterpret_cast<const CREATESTRUCTA*>(lParam);
        const std::u16string name = WideFromAnsi(from.lpszName);
        CREATESTRUCTW to{from.lpCreateParams, from.hInstance, from.hMenu, from.hwndParent, from.cy, from.cx, from.y,
                         from.x, from.style, from.lpszName ? name.c_str() : nullptr, nullptr, from.dwExStyle};
        return DefaultProcedure(hWnd, Msg, wParam, reinterpret_cast<LPARAM>(&to));
    }
    case WM_SETTEXT: {
        if (!lParam)
            break;
        const std::u16string text = WideFromAnsi(reinterpret_cast<const char*>(lParam));
        return DefaultProcedure(hWnd, Msg, wParam, reinterpret_cast<LPARAM>(text.c_str()));
    }
    case WM_GETTEXT: {
        if (!lParam || wParam == 0)
            return 0;
        std::u16string buffer(wParam, u'\0');
        DefaultProcedure(hWnd, Msg, wParam, reinterpret_cast<LPARAM>(buffer.data()));
        const std::string text = AnsiFromWide(std::u16string_view(buffer.c_str()));
        const size_t count = std::min<size_t>(text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), text.data(), count);
        reinterpret_cast<char*>(lParam)[count] = '\0';
        return static_cast<LRESULT>(count);
    }
    default:
        break;
    }
    return DefaultProcedure(hWnd, Msg, wParam, lParam);
}

namespace {

// A procedure installed in the other form gets the message converted, as subclass chains of A and
// W procedures need; one never installed is called as it is.
LRESULT CallSaved(WNDPROC proc, bool callerUnicode, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    bool procUnicode = callerUnicode;
    {
        auto& manager = WindowManager::Instance();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        const auto found = manager.procedureForms.find(proc);
        if (found != manager.procedureForms.end())
            procUnicode = found->second;
    }
    return CallInForm(proc, procUnicode, callerUnicode, hwnd, message, wParam, lParam);
}

} // namespace

extern "C" LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return CallSaved(lpPrevWndFunc, true, hWnd, Msg, wParam, lParam);
}

extern "C" LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return CallSaved(lpPrevWndFunc, false, hWnd, Msg, wParam, lParam);
}
