// Window classes: registered per process, known by name (case ignored) or atom.
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>

namespace user {
namespace {

char16_t Upper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool SameName(const std::u16string& a, const std::u16string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char16_t x, char16_t y) { return Upper(x) == Upper(y); });
}

} // namespace

std::shared_ptr<WindowClass> FindClass(LPCWSTR name)
{
    auto& manager = WindowManager::Instance();
    if (!name)
        return nullptr;
    if (IS_INTRESOURCE(name)) {
        const ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
        for (auto& cls : manager.classes)
            if (cls->atom == atom)
                return cls;
        return nullptr;
    }
    const std::u16string wanted(name);
    for (auto& cls : manager.classes)
        if (SameName(cls->name, wanted))
            return cls;
    return nullptr;
}

namespace {

ATOM Register(const WNDCLASSEXW& wc, const std::u16string& name, const std::u16string& menu, bool unicode)
{
    if (wc.cbSize != sizeof(WNDCLASSEXW) || name.empty() || wc.cbClsExtra < 0 || wc.cbWndExtra < 0 ||
        wc.cbClsExtra > 4096 || wc.cbWndExtra > 4096) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    for (auto& cls : manager.classes)
        if (SameName(cls->name, name)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    auto cls = std::make_shared<WindowClass>();
    cls->name = name;
    cls->atom = manager.nextAtom++;
    cls->style = wc.style;
    cls->proc = wc.lpfnWndProc;
    cls->unicode = unicode;
    cls->classExtra = wc.cbClsExtra;
    cls->windowExtra = wc.cbWndExtra;
    cls->instance = wc.hInstance;
    cls->icon = wc.hIcon;
    cls->cursor = wc.hCursor;
    cls->background = wc.hbrBackground;
    cls->menuName = menu;
    cls->smallIcon = wc.hIconSm;
    manager.classes.push_back(cls);
    if (cls->proc)
        manager.procedureForms[cls->proc] = unicode;
    return cls->atom;
}

BOOL Unregister(LPCWSTR name)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto cls = FindClass(name);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (cls->windows) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    manager.classes.erase(std::remove(manager.classes.begin(), manager.classes.end(), cls), manager.classes.end());
    return TRUE;
}

template <typename Record>
void Fill(const WindowClass& cls, Record& out)
{
    out.style = cls.style;
    out.lpfnWndProc = cls.proc;
    out.cbClsExtra = cls.classExtra;
    out.cbWndExtra = cls.windowExtra;
    out.hInstance = cls.instance;
    out.hIcon = cls.icon;
    out.hCursor = cls.cursor;
    out.hbrBackground = cls.background;
    out.hIconSm = cls.smallIcon;
}

// Names handed back by GetClassInfoExA live as long as the process, as the class names of Windows do.
const char* KeptAnsi(const std::u16string& text)
{
    static std::vector<std::unique_ptr<std::string>> kept;
    for (auto& entry : kept)
        if (WideFromAnsi(*entry) == text)
            return entry->c_str();
    kept.push_back(std::make_unique<std::string>(AnsiFromWide(text)));
    return kept.back()->c_str();
}

} // namespace
} // namespace user

using namespace user;

extern "C" ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx)
{
    if (!lpwcx || !lpwcx->lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (IS_INTRESOURCE(lpwcx->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string menu =
        (lpwcx->lpszMenuName && !IS_INTRESOURCE(lpwcx->lpszMenuName)) ? lpwcx->lpszMenuName : u"";
    return Register(*lpwcx, lpwcx->lpszClassName, menu, true);
}

extern "C" ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx)
{
    if (!lpwcx || !lpwcx->lpszClassName || IS_INTRESOURCE(lpwcx->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW wide{};
    wide.cbSize = lpwcx->cbSize == sizeof(WNDCLASSEXA) ? sizeof(WNDCLASSEXW) : 0;
    wide.style = lpwcx->style;
    wide.lpfnWndProc = lpwcx->lpfnWndProc;
    wide.cbClsExtra = lpwcx->cbClsExtra;
    wide.cbWndExtra = lpwcx->cbWndExtra;
    wide.hInstance = lpwcx->hInstance;
    wide.hIcon = lpwcx->hIcon;
    wide.hCursor = lpwcx->hCursor;
    wide.hbrBackground = lpwcx->hbrBackground;
    wide.hIconSm = lpwcx->hIconSm;
    const std::u16string menu = (lpwcx->lpszMenuName && !IS_INTRESOURCE(lpwcx->lpszMenuName))
                                    ? WideFromAnsi(lpwcx->lpszMenuName)
                                    : std::u16string();
    return Register(wide, WideFromAnsi(lpwcx->lpszClassName), menu, false);
}

extern "C" BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE)
{
    return Unregister(lpClassName);
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE)
{
    if (!lpClassName || IS_INTRESOURCE(lpClassName))
        return Unregister(reinterpret_cast<LPCWSTR>(lpClassName));
    const std::u16string name = WideFromAnsi(lpClassName);
    return Unregister(name.c_str());
}

extern "C" BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR lpszClass, LPWNDCLASSEXW lpwcx)
{
    if (!lpwcx) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto cls = FindClass(lpszClass);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    Fill(*cls, *lpwcx);
    lpwcx->lpszClassName = lpszClass;
    lpwcx->lpszMenuName = cls->menuName.empty() ? nullptr : cls->menuName.c_str();
    return cls->atom;
}

extern "C" BOOL WINAPI GetClassInfoExA(HINSTANCE, LPCSTR lpszClass, LPWNDCLASSEXA lpwcx)
{
    if (!lpwcx) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string name = (lpszClass && !IS_INTRESOURCE(lpszClass)) ? WideFromAnsi(lpszClass) : u"";
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto cls = FindClass(lpszClass && !IS_INTRESOURCE(lpszClass) ? name.c_str() : reinterpret_cast<LPCWSTR>(lpszClass));
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    Fill(*cls, *lpwcx);
    lpwcx->lpszClassName = lpszClass;
    lpwcx->lpszMenuName = cls->menuName.empty() ? nullptr : KeptAnsi(cls->menuName);
    return cls->atom;
}
