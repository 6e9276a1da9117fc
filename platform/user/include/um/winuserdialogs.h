// The dialog manager: dialogs made from DLGTEMPLATEEX templates (a module's RT_DIALOG resources,
// written by the resource compiler), the dialog class "#32770" and its DefDlgProc, modal loops, and
// the calls on a dialog's controls by id. Dialog base units are fixed at 6 x 13 pixels whatever the
// dialog's font: 4 horizontal dialog units are 6 pixels, 8 vertical ones 13.
#pragma once
#include "um/winusercontrols.h"
#include "um/winuserwindows.h"

#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111

#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_NOFAILCREATE 0x10L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L

// The dialog's window bytes: the message result, the dialog procedure, the application's value.
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC ((LONG_PTR)sizeof(LRESULT))
#define DWLP_USER (DWLP_DLGPROC + (LONG_PTR)sizeof(DLGPROC))
#define DLGWINDOWEXTRA 48

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

#define WC_DIALOG MAKEINTATOM(0x8002)
#ifndef MAKEINTATOM
#define MAKEINTATOM(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#endif

using HFONT = struct HFONT__*;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

#pragma pack(push, 2)
// The fixed head of a classic template; a DLGTEMPLATEEX starts with version 1 and 0xFFFF instead.
struct DLGTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
};
#pragma pack(pop)
using LPCDLGTEMPLATEA = const DLGTEMPLATE*;
using LPCDLGTEMPLATEW = const DLGTEMPLATE*;

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0L
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFMASK 0x00000F00L

extern "C" {
// A modeless dialog from a template: the dialog window (class "#32770", or the template's class),
// its controls made in template order, WM_SETFONT to each when the template names a font, then
// WM_INITDIALOG (wParam the first WS_TABSTOP control, lParam dwInitParam); when it returns TRUE the
// focus goes to that control. A template that is not a DLGTEMPLATEEX, is cut short, or names a
// control class not registered (without DS_NOFAILCREATE) gives NULL: ERROR_INVALID_PARAMETER,
// ERROR_RESOURCE_DATA_NOT_FOUND or ERROR_CANNOT_FIND_WND_CLASS. DS_CONTROL makes the dialog a child
// without caption or system menu, with WS_EX_CONTROLPARENT.
HWND WINAPI CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam);
HWND WINAPI CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam);
// The same from the module's RT_DIALOG resource lpTemplateName.
HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);
HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);
// A modal dialog: the owner (hWndParent's top-level window) disabled, the dialog's messages and
// every other window's of the thread dispatched until EndDialog; the owner enabled again, the
// dialog destroyed, EndDialog's result returned. -1 when the dialog cannot be made.
INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam);
INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam);
INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);
INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);
// Ends a modal dialog with nResult (its loop returns after the current message); FALSE with
// ERROR_INVALID_WINDOW_HANDLE for a window that is no dialog.
BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
// The dialog class's procedure: the dialog procedure first; when it returns TRUE the result is
// DWLP_MSGRESULT (WM_INITDIALOG: its own value), otherwise WM_SETFONT / WM_GETFONT keep the font
// handle, WM_CLOSE sends WM_COMMAND IDCANCEL, the rest goes to DefWindowProc.
LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);

// Dialog units to pixels in place (6 x 13 base units); FALSE for a window that is no dialog.
BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect);
// The base units: 6 in the low word, 13 in the high one.
LONG WINAPI GetDialogBaseUnits();

// A child of the dialog by its id (NULL with ERROR_CONTROL_ID_NOT_FOUND), a window's id.
HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
int WINAPI GetDlgCtrlID(HWND hWnd);
LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);
BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax);
UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);
// The number as decimal text (signed when bSigned).
BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned);
// The control's text as a number: leading blanks skipped, a sign when bSigned, then digits and
// nothing after them; *lpTranslated FALSE and 0 returned for anything else or a value out of range.
UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned);
// BM_SETCHECK / BM_GETCHECK to the button with the id; CheckRadioButton checks nIDCheckButton
// and clears the others from nIDFirstButton to nIDLastButton.
BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck);
UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton);
BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton);

// A modal box over hWnd (disabled meanwhile) with lpText, the caption lpCaption ("Error" for
// NULL), the buttons of uType's MB_OK ... MB_RETRYCANCEL, its icon and default button; returns the
// pressed button's id (IDOK ...). 0 with ERROR_INVALID_PARAMETER for an unknown type. In the
// stand-in the user's answer comes from the script of standin/dialogs.h.
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
}
