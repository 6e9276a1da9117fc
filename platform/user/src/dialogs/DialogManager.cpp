// The dialog manager: the dialog class and DefDlgProc, dialogs made from templates, modal loops.
// A dialog's state lives in its window bytes: DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER, then the
// font handle, EndDialog's result and whether EndDialog was called.
#include "dialogs/DialogTemplate.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winbase.h"
#include "um/winerror.h"
#include "um/wingdi.h"
#include "um/winuser.h"
#include "windows/WindowManager.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>

namespace {

// The fonts dialogs made from their templates, deleted with their dialogs.
std::mutex& DialogFontsLock()
{
    static std::mutex lock;
    return lock;
}
std::map<HWND, HFONT>& DialogFonts()
{
    static std::map<HWND, HFONT> fonts;
    return fonts;
}

// The template's font: its point size at 96 pixels an inch, its weight, italics, character set and
// face.
HFONT MakeTemplateFont(const user::DialogTemplate& t)
{
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(t.pointSize, 96, 72);
    lf.lfWeight = t.weight ? t.weight : FW_NORMAL;
    lf.lfItalic = t.italic ? 1 : 0;
    lf.lfCharSet = t.charset;
    const size_t n = std::min<size_t>(t.typeface.size(), LF_FACESIZE - 1);
    std::copy_n(t.typeface.begin(), n, lf.lfFaceName);
    return CreateFontIndirectW(&lf);
}

constexpr int kFontOffset = 24;
constexpr int kResultOffset = 32;
constexpr int kEndedOffset = 40;
constexpr char16_t kDialogClass[] = u"#32770";
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

const char16_t* PredefinedClass(WORD ordinal)
{
    switch (ordinal) {
    case 0x80: return u"Button";
    case 0x81: return u"Edit";
    case 0x82: return u"Static";
    case 0x83: return u"ListBox";
    case 0x84: return u"ScrollBar";
    case 0x85: return u"ComboBox";
    default: return nullptr;
    }
}

bool EnsureDialogClass()
{
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(nullptr, reinterpret_cast<LPCWSTR>(kDialogClass), &existing))
        return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefDlgProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.lpszClassName = reinterpret_cast<LPCWSTR>(kDialogClass);
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool IsDialog(HWND hwnd)
{
    WCHAR name[16] = {};
    return IsWindow(hwnd) && GetClassNameW(hwnd, name, 16) > 0 &&
           std::u16string(reinterpret_cast<const char16_t*>(name)) == kDialogClass;
}

int MulDivFloor(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>(product >= 0 ? product / denominator : -((-product + denominator - 1) / denominator));
}

// The messages whose result the dialog procedure returns itself rather than through DWLP_MSGRESULT.
bool ReturnsItsOwnResult(UINT message)
{
    return message == WM_INITDIALOG || (message >= 0x0132 && message <= 0x0138) || // WM_CTLCOLOR*
           message == 0x0039 || message == 0x002E || message == 0x002F ||           // compare, vkey, char item
           message == 0x0037;                                                       // WM_QUERYDRAGICON
}

HWND CreateFromTemplate(HINSTANCE instance, const void* data, size_t size, HWND parent, DLGPROC proc, LPARAM param)
{
    const std::optional<user::DialogTemplate> t = user::ReadDialogTemplate(data, size);
    if (!t) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!EnsureDialogClass())
        return nullptr;
    DWORD style = t->style;
    DWORD exStyle = t->exStyle;
    if (style & DS_CONTROL) {
        style &= ~(WS_CAPTION | WS_SYSMENU);
        style |= WS_CHILD;
        exStyle |= WS_EX_CONTROLPARENT;
    }
    const bool visible = (style & WS_VISIBLE) != 0;
    style &= ~WS_VISIBLE;
    RECT client{0, 0, t->cx, t->cy};
    RECT origin{t->x, t->y, 0, 0};
    client.right = MulDivFloor(client.right, kBaseX, 4);
    client.bottom = MulDivFloor(client.bottom, kBaseY, 8);
    origin.left = MulDivFloor(origin.left, kBaseX, 4);
    origin.top = MulDivFloor(origin.top, kBaseY, 8);
    const RECT edges = user::NonClientEdges(style, exStyle);
    const LPCWSTR cls = t->windowClass.isOrdinal ? reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(t->windowClass.ordinal))
                        : t->windowClass.text.empty() ? reinterpret_cast<LPCWSTR>(kDialogClass)
                                                      : reinterpret_cast<LPCWSTR>(t->windowClass.text.c_str());
    HWND dialog = CreateWindowExW(exStyle, cls, reinterpret_cast<LPCWSTR>(t->title.c_str()), style, origin.left,
                                  origin.top, client.right + edges.left + edges.right,
                                  client.bottom + edges.top + edges.bottom, parent, nullptr, instance, nullptr);
    if (!dialog)
        return nullptr;
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    HFONT font = t->hasFont ? MakeTemplateFont(*t) : nullptr;
    if (font) {
        std::lock_guard<std::mutex> hold(DialogFontsLock());
        DialogFonts()[dialog] = font;
    }
    if (font)
        SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    HWND firstTab = nullptr;
    for (const user::DialogItemTemplate& item : t->items) {
        const char16_t* itemClass = nullptr;
        if (item.windowClass.isOrdinal)
            itemClass = PredefinedClass(item.windowClass.ordinal);
        else
            itemClass = item.windowClass.text.c_str();
        std::u16string title;
        if (item.title.isOrdinal) {
            title = u"\xFFFF";
            title += static_cast<char16_t>(item.title.ordinal);
        } else {
            title = item.title.text;
        }
        HWND control = itemClass
                           ? CreateWindowExW(item.exStyle | WS_EX_NOPARENTNOTIFY, reinterpret_cast<LPCWSTR>(itemClass),
                                             reinterpret_cast<LPCWSTR>(title.c_str()), item.style | WS_CHILD,
                                             MulDivFloor(item.x, kBaseX, 4), MulDivFloor(item.y, kBaseY, 8),
                                             MulDivFloor(item.cx, kBaseX, 4), MulDivFloor(item.cy, kBaseY, 8), dialog,
                                             reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(item.id)), instance,
                                             item.creationData.empty() ? nullptr
                                                                       : const_cast<BYTE*>(item.creationData.data()))
                           : nullptr;
        if (!control) {
            if (t->style & DS_NOFAILCREATE)
                continue;
            DestroyWindow(dialog);
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (font)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (!firstTab && (item.style & WS_TABSTOP) && !(item.style & WS_DISABLED))
            firstTab = control;
    }
    const LRESULT focus = SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param);
    if (!IsWindow(dialog))
        return nullptr;
    if (focus && firstTab)
        SetFocus(firstTab);
    if (visible)
        ShowWindow(dialog, SW_SHOWNORMAL);
    return dialog;
}

const void* FindTemplate(HINSTANCE instance, LPCWSTR name, DWORD& size)
{
    HRSRC found = FindResourceW(instance, name, reinterpret_cast<LPCWSTR>(RT_DIALOG));
    if (!found)
        return nullptr;
    size = SizeofResource(instance, found);
    return LockResource(LoadResource(instance, found));
}

std::u16string WideName(LPCSTR name)
{
    return IS_INTRESOURCE(name) ? std::u16string() : user::WideFromAnsi(name);
}

LPCWSTR AsWide(LPCSTR name, const std::u16string& converted)
{
    return IS_INTRESOURCE(name) ? reinterpret_cast<LPCWSTR>(name) : reinterpret_cast<LPCWSTR>(converted.c_str());
}

// The top-level window a parent belongs to: the owner a modal dialog disables.
HWND GetAncestorTopLevel(HWND hwnd)
{
    HWND top = hwnd;
    while (top && (GetWindowLongPtrW(top, GWL_STYLE) & WS_CHILD)) {
        HWND up = GetParent(top);
        if (!up)
            break;
        top = up;
    }
    return top;
}

INT_PTR RunModal(HWND dialog, HWND parent)
{
    HWND owner = parent ? GetAncestorTopLevel(parent) : nullptr;
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);
    ShowWindow(dialog, SW_SHOWNORMAL);
    MSG msg{};
    while (IsWindow(dialog) && !GetWindowLongPtrW(dialog, kEndedOffset)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam)); // the quit message is the caller's
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    const INT_PTR result = IsWindow(dialog) ? GetWindowLongPtrW(dialog, kResultOffset) : -1;
    if (ownerWasEnabled)
        EnableWindow(owner, TRUE);
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return result;
}

} // namespace

namespace {
// The font a dialog made goes with it, after its procedure saw WM_NCDESTROY (its controls are
// gone by then).
struct DialogFontRelease {
    HWND dialog = nullptr;
    ~DialogFontRelease()
    {
        if (!dialog)
            return;
        HFONT made = nullptr;
        {
            std::lock_guard<std::mutex> hold(DialogFontsLock());
            if (auto found = DialogFonts().find(dialog); found != DialogFonts().end()) {
                made = found->second;
                DialogFonts().erase(found);
            }
        }
        if (made)
            DeleteObject(made);
    }
};
} // namespace

extern "C" LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    const DialogFontRelease release{Msg == WM_NCDESTROY ? hDlg : nullptr};
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hDlg, DWLP_DLGPROC));
    if (proc) {
        SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, 0);
        const INT_PTR handled = proc(hDlg, Msg, wParam, lParam);
        if (Msg == WM_INITDIALOG)
            return handled;
        if (handled)
            return ReturnsItsOwnResult(Msg) ? handled
                                            : (IsWindow(hDlg) ? GetWindowLongPtrW(hDlg, DWLP_MSGRESULT) : 0);
    } else if (Msg == WM_INITDIALOG) {
        return TRUE;
    }
    switch (Msg) {
    case WM_SETFONT:
        SetWindowLongPtrW(hDlg, kFontOffset, static_cast<LONG_PTR>(wParam));
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtrW(hDlg, kFontOffset);
    case WM_CLOSE:
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        return 0;
    case WM_ERASEBKGND: {
        // The brush WM_CTLCOLORDLG gives (the face colour by default).
        HDC dc = reinterpret_cast<HDC>(wParam);
        auto brush = reinterpret_cast<HBRUSH>(SendMessageW(hDlg, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hDlg)));
        if (!brush)
            brush = GetSysColorBrush(COLOR_3DFACE);
        RECT client{};
        GetClientRect(hDlg, &client);
        FillRect(dc, &client, brush);
        return 1;
    }
    default:
        // The colours a dialog procedure leaves alone are the default window procedure's.
        if (Msg >= WM_CTLCOLORMSGBOX && Msg <= WM_CTLCOLORSTATIC)
            return DefWindowProcW(hDlg, Msg, wParam, lParam);
        if (ReturnsItsOwnResult(Msg))
            return 0;
        return DefWindowProcW(hDlg, Msg, wParam, lParam);
    }
}

extern "C" LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return DefDlgProcW(hDlg, Msg, wParam, lParam);
}

extern "C" HWND WINAPI CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate, HWND hWndParent,
                                                  DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    return CreateFromTemplate(hInstance, lpTemplate, SIZE_MAX, hWndParent, lpDialogFunc, dwInitParam);
}

extern "C" HWND WINAPI CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate, HWND hWndParent,
                                                  DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    return CreateFromTemplate(hInstance, lpTemplate, SIZE_MAX, hWndParent, lpDialogFunc, dwInitParam);
}

extern "C" HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    DWORD size = 0;
    const void* data = FindTemplate(hInstance, lpTemplateName, size);
    if (!data)
        return nullptr;
    return CreateFromTemplate(hInstance, data, size, hWndParent, lpDialogFunc, dwInitParam);
}

extern "C" HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    const std::u16string name = WideName(lpTemplateName);
    return CreateDialogParamW(hInstance, AsWide(lpTemplateName, name), hWndParent, lpDialogFunc, dwInitParam);
}

extern "C" INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate, HWND hWndParent,
                                                  DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    HWND dialog = CreateFromTemplate(hInstance, hDialogTemplate, SIZE_MAX, hWndParent, lpDialogFunc, dwInitParam);
    return dialog ? RunModal(dialog, hWndParent) : -1;
}

extern "C" INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate, HWND hWndParent,
                                                  DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    return DialogBoxIndirectParamW(hInstance, hDialogTemplate, hWndParent, lpDialogFunc, dwInitParam);
}

extern "C" INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    DWORD size = 0;
    const void* data = FindTemplate(hInstance, lpTemplateName, size);
    if (!data)
        return -1;
    HWND dialog = CreateFromTemplate(hInstance, data, size, hWndParent, lpDialogFunc, dwInitParam);
    return dialog ? RunModal(dialog, hWndParent) : -1;
}

extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    const std::u16string name = WideName(lpTemplateName);
    return DialogBoxParamW(hInstance, AsWide(lpTemplateName, name), hWndParent, lpDialogFunc, dwInitParam);
}

extern "C" BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    if (!IsDialog(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    SetWindowLongPtrW(hDlg, kResultOffset, nResult);
    SetWindowLongPtrW(hDlg, kEndedOffset, 1);
    ShowWindow(hDlg, SW_HIDE);
    PostMessageW(hDlg, WM_NULL, 0, 0); // wakes the modal loop
    return TRUE;
}

extern "C" BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect)
{
    if (!IsDialog(hDlg) || !lpRect) {
        SetLastError(lpRect ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpRect->left = MulDivFloor(lpRect->left, kBaseX, 4);
    lpRect->right = MulDivFloor(lpRect->right, kBaseX, 4);
    lpRect->top = MulDivFloor(lpRect->top, kBaseY, 8);
    lpRect->bottom = MulDivFloor(lpRect->bottom, kBaseY, 8);
    return TRUE;
}

extern "C" LONG WINAPI GetDialogBaseUnits()
{
    return MAKELONG(kBaseX, kBaseY);
}
