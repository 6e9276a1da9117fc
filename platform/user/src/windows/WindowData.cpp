// Window data: the GWL/GWLP values and extra bytes, style changes with WM_STYLECHANGING and
// WM_STYLECHANGED, and window text through WM_SETTEXT and WM_GETTEXT.
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <cstring>

namespace user {
namespace {

LONG_PTR Get(HWND hwnd, int index)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    // A window destroyed while its procedure runs keeps its data for that procedure.
    auto window = FindAny(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(window->parent ? window->parent : window->owner);
    case GWLP_ID:
        return window->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(window->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(window->exStyle);
    case GWLP_USERDATA:
        return window->userData;
    default:
        break;
    }
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > window->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, window->extra.data() + index, sizeof(value));
    return value;
}

LONG_PTR SetStyle(HWND hwnd, int index, DWORD value)
{
    auto& manager = WindowManager::Instance();
    STYLESTRUCT change{};
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hwnd);
        if (!window)
            return 0;
        change.styleOld = index == GWL_STYLE ? window->style : window->exStyle;
    }
    change.styleNew = value;
    // The handler of WM_STYLECHANGING may change the new style.
    Send(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hwnd);
        if (!window)
            return 0;
        (index == GWL_STYLE ? window->style : window->exStyle) = change.styleNew;
    }
    Send(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
    return static_cast<LONG_PTR>(change.styleOld);
}

LONG_PTR Set(HWND hwnd, int index, LONG_PTR value, bool unicode)
{
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return SetStyle(hwnd, index, static_cast<DWORD>(value));
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindAny(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_WNDPROC:
        if (!value) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(window->proc);
        window->proc = reinterpret_cast<WNDPROC>(value);
        window->unicode = unicode;
        manager.procedureForms[window->proc] = unicode;
        return previous;
    case GWLP_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(window->instance);
        window->instance = reinterpret_cast<HINSTANCE>(value);
        return previous;
    case GWLP_HWNDPARENT:
        // Sets the owner of a top-level window.
        if (window->parent) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(window->owner);
        window->owner = reinterpret_cast<HWND>(value);
        return previous;
    case GWLP_ID:
        previous = window->id;
        window->id = value;
        return previous;
    case GWLP_USERDATA:
        previous = window->userData;
        window->userData = value;
        return previous;
    default:
        break;
    }
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > window->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(&previous, window->extra.data() + index, sizeof(previous));
    std::memcpy(window->extra.data() + index, &value, sizeof(value));
    return previous;
}

} // namespace
} // namespace user

using namespace user;

extern "C" LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex)
{
    return Get(hWnd, nIndex);
}

extern "C" LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    return Get(hWnd, nIndex);
}

extern "C" LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    return Set(hWnd, nIndex, dwNewLong, true);
}

extern "C" LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    return Set(hWnd, nIndex, dwNewLong, false);
}

extern "C" int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount)
{
    if (!lpString || nMaxCount <= 0)
        return 0;
    lpString[0] = u'\0';
    return static_cast<int>(Send(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

extern "C" int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    if (!lpString || nMaxCount <= 0)
        return 0;
    lpString[0] = '\0';
    return static_cast<int>(
        Send(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString), false));
}

extern "C" int WINAPI GetWindowTextLengthW(HWND hWnd)
{
    return static_cast<int>(Send(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

extern "C" int WINAPI GetWindowTextLengthA(HWND hWnd)
{
    return static_cast<int>(Send(hWnd, WM_GETTEXTLENGTH, 0, 0, false));
}

extern "C" BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString)
{
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return Send(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return Send(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString), false) ? TRUE : FALSE;
}

extern "C" int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindOrFail(hWnd);
    if (!window || !lpClassName || nMaxCount <= 0)
        return 0;
    const size_t count = std::min<size_t>(window->cls->name.size(), static_cast<size_t>(nMaxCount - 1));
    std::memcpy(lpClassName, window->cls->name.data(), count * sizeof(WCHAR));
    lpClassName[count] = u'\0';
    return static_cast<int>(count);
}

extern "C" int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindOrFail(hWnd);
    if (!window || !lpClassName || nMaxCount <= 0)
        return 0;
    const std::string name = AnsiFromWide(window->cls->name);
    const size_t count = std::min<size_t>(name.size(), static_cast<size_t>(nMaxCount - 1));
    std::memcpy(lpClassName, name.data(), count);
    lpClassName[count] = '\0';
    return static_cast<int>(count);
}
