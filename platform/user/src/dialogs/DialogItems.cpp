// The calls on a dialog's controls by id: finding them, their text and numbers, button checks.
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "um/winuser.h"

#include <string>

namespace {

HWND Item(HWND hDlg, int id)
{
    HWND item = GetDlgItem(hDlg, id);
    return item;
}

} // namespace

extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND child = GetWindow(hDlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (static_cast<int>(GetWindowLongPtrW(child, GWLP_ID)) == nIDDlgItem)
            return child;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

extern "C" int WINAPI GetDlgCtrlID(HWND hWnd)
{
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(GetWindowLongPtrW(hWnd, GWLP_ID));
}

extern "C" LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND item = Item(hDlg, nIDDlgItem);
    return item ? SendMessageW(item, Msg, wParam, lParam) : 0;
}

extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND item = Item(hDlg, nIDDlgItem);
    return item ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString)
{
    HWND item = Item(hDlg, nIDDlgItem);
    return item ? SetWindowTextW(item, lpString) : FALSE;
}

extern "C" BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    HWND item = Item(hDlg, nIDDlgItem);
    return item ? SetWindowTextA(item, lpString) : FALSE;
}

extern "C" UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax)
{
    HWND item = Item(hDlg, nIDDlgItem);
    if (!item) {
        if (lpString && cchMax > 0)
            lpString[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(item, lpString, cchMax));
}

extern "C" UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax)
{
    HWND item = Item(hDlg, nIDDlgItem);
    if (!item) {
        if (lpString && cchMax > 0)
            lpString[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

extern "C" BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned)
{
    const std::string text = bSigned ? std::to_string(static_cast<int>(uValue)) : std::to_string(uValue);
    return SetDlgItemTextA(hDlg, nIDDlgItem, text.c_str());
}

extern "C" UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned)
{
    if (lpTranslated)
        *lpTranslated = FALSE;
    HWND item = Item(hDlg, nIDDlgItem);
    if (!item)
        return 0;
    const int length = GetWindowTextLengthW(item);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(item, reinterpret_cast<LPWSTR>(text.data()), length + 1)));
    size_t at = 0;
    while (at < text.size() && (text[at] == u' ' || text[at] == u'\t'))
        ++at;
    bool negative = false;
    if (bSigned && at < text.size() && (text[at] == u'-' || text[at] == u'+')) {
        negative = text[at] == u'-';
        ++at;
    }
    if (at == text.size())
        return 0;
    unsigned long long value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < u'0' || text[at] > u'9')
            return 0;
        value = value * 10 + static_cast<unsigned>(text[at] - u'0');
        if (value > 0xFFFFFFFFull)
            return 0;
    }
    if (bSigned) {
        if ((!negative && value > 0x7FFFFFFFull) || (negative && value > 0x80000000ull))
            return 0;
        if (lpTranslated)
            *lpTranslated = TRUE;
        return negative ? static_cast<UINT>(-static_cast<long long>(value)) : static_cast<UINT>(value);
    }
    if (lpTranslated)
        *lpTranslated = TRUE;
    return static_cast<UINT>(value);
}

extern "C" BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck)
{
    HWND item = Item(hDlg, nIDButton);
    if (!item)
        return FALSE;
    SendMessageW(item, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

extern "C" UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton)
{
    HWND item = Item(hDlg, nIDButton);
    return item ? static_cast<UINT>(SendMessageW(item, BM_GETCHECK, 0, 0)) : 0;
}

extern "C" BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton)
{
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    for (int id = nIDFirstButton; id <= nIDLastButton; ++id)
        if (HWND item = GetDlgItem(hDlg, id))
            SendMessageW(item, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}
