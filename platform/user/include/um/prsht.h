// Property sheets: a dialog with a tab control, the area where the current page shows, and the
// buttons "OK", "Cancel" and "Apply" (disabled until a page reports a change). Pages are dialogs
// of a template, made when first shown, as children of the sheet; their procedures get
// WM_INITDIALOG with the address of the sheet's copy of their PROPSHEETPAGE, then WM_NOTIFY with
// PSN_SETACTIVE, PSN_KILLACTIVE (answer in DWLP_MSGRESULT: TRUE keeps the page), PSN_APPLY
// (PSNRET_NOERROR, or PSNRET_INVALID / PSNRET_INVALID_NOCHANGEPAGE to stay open) and PSN_RESET.
#pragma once
#include "um/commctrl.h"

struct _PSP;
using HPROPSHEETPAGE = _PSP*;

#define PSP_DEFAULT 0x00000000
#define PSP_DLGINDIRECT 0x00000001
#define PSP_USEHICON 0x00000002
#define PSP_USEICONID 0x00000004
#define PSP_USETITLE 0x00000008
#define PSP_RTLREADING 0x00000010
#define PSP_HASHELP 0x00000020
#define PSP_USEREFPARENT 0x00000040
#define PSP_USECALLBACK 0x00000080
#define PSP_PREMATURE 0x00000400

#define PSPCB_ADDREF 0
#define PSPCB_RELEASE 1
#define PSPCB_CREATE 2

struct PROPSHEETPAGEA;
struct PROPSHEETPAGEW;
using LPFNPSPCALLBACKA = UINT(WINAPI*)(HWND, UINT, PROPSHEETPAGEA*);
using LPFNPSPCALLBACKW = UINT(WINAPI*)(HWND, UINT, PROPSHEETPAGEW*);

struct PROPSHEETPAGEA {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    union {
        LPCSTR pszTemplate;
        LPCDLGTEMPLATEA pResource;
    };
    union {
        HICON hIcon;
        LPCSTR pszIcon;
    };
    LPCSTR pszTitle;
    DLGPROC pfnDlgProc;
    LPARAM lParam;
    LPFNPSPCALLBACKA pfnCallback;
    UINT* pcRefParent;
};
struct PROPSHEETPAGEW {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    union {
        LPCWSTR pszTemplate;
        LPCDLGTEMPLATEW pResource;
    };
    union {
        HICON hIcon;
        LPCWSTR pszIcon;
    };
    LPCWSTR pszTitle;
    DLGPROC pfnDlgProc;
    LPARAM lParam;
    LPFNPSPCALLBACKW pfnCallback;
    UINT* pcRefParent;
};
using LPPROPSHEETPAGEA = PROPSHEETPAGEA*;
using LPPROPSHEETPAGEW = PROPSHEETPAGEW*;
using LPCPROPSHEETPAGEA = const PROPSHEETPAGEA*;
using LPCPROPSHEETPAGEW = const PROPSHEETPAGEW*;

#define PSH_DEFAULT 0x00000000
#define PSH_PROPTITLE 0x00000001
#define PSH_USEHICON 0x00000002
#define PSH_USEICONID 0x00000004
#define PSH_PROPSHEETPAGE 0x00000008
#define PSH_WIZARD 0x00000020
#define PSH_USEPSTARTPAGE 0x00000040
#define PSH_NOAPPLYNOW 0x00000080
#define PSH_USECALLBACK 0x00000100
#define PSH_HASHELP 0x00000200
#define PSH_MODELESS 0x00000400

using PFNPROPSHEETCALLBACK = int(WINAPI*)(HWND, UINT, LPARAM);
struct PROPSHEETHEADERA {
    DWORD dwSize;
    DWORD dwFlags;
    HWND hwndParent;
    HINSTANCE hInstance;
    union {
        HICON hIcon;
        LPCSTR pszIcon;
    };
    LPCSTR pszCaption;
    UINT nPages;
    union {
        UINT nStartPage;
        LPCSTR pStartPage;
    };
    union {
        LPCPROPSHEETPAGEA ppsp;
        HPROPSHEETPAGE* phpage;
    };
    PFNPROPSHEETCALLBACK pfnCallback;
};
struct PROPSHEETHEADERW {
    DWORD dwSize;
    DWORD dwFlags;
    HWND hwndParent;
    HINSTANCE hInstance;
    union {
        HICON hIcon;
        LPCWSTR pszIcon;
    };
    LPCWSTR pszCaption;
    UINT nPages;
    union {
        UINT nStartPage;
        LPCWSTR pStartPage;
    };
    union {
        LPCPROPSHEETPAGEW ppsp;
        HPROPSHEETPAGE* phpage;
    };
    PFNPROPSHEETCALLBACK pfnCallback;
};
using LPCPROPSHEETHEADERA = const PROPSHEETHEADERA*;
using LPCPROPSHEETHEADERW = const PROPSHEETHEADERW*;

#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_REMOVEPAGE (WM_USER + 102)
#define PSM_ADDPAGE (WM_USER + 103)
#define PSM_CHANGED (WM_USER + 104)
#define PSM_CANCELTOCLOSE (WM_USER + 107)
#define PSM_UNCHANGED (WM_USER + 109)
#define PSM_APPLY (WM_USER + 110)
#define PSM_PRESSBUTTON (WM_USER + 113)
#define PSM_GETTABCONTROL (WM_USER + 116)
#define PSM_GETCURRENTPAGEHWND (WM_USER + 118)

#define PSBTN_OK 1
#define PSBTN_APPLYNOW 2
#define PSBTN_CANCEL 3

// The sheet's children.
#define ID_APPLY_NOW 0x3021
#define IDD_PROPSHEET_TAB 0x3020

#define PSN_FIRST (0U - 200U)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)

#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1
#define PSNRET_INVALID_NOCHANGEPAGE 2

struct PSHNOTIFY {
    NMHDR hdr;
    LPARAM lParam;
};
using LPPSHNOTIFY = PSHNOTIFY*;

extern "C" {
// A page from its description (copied); NULL for a bad record (ERROR_INVALID_PARAMETER).
HPROPSHEETPAGE WINAPI CreatePropertySheetPageA(LPCPROPSHEETPAGEA constPropSheetPagePointer);
HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW constPropSheetPagePointer);
// A page never given to a sheet; a sheet destroys its own pages.
BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE page);
// Modal: runs until OK or Cancel; 1 when changes were applied, 0 when none, -1 when the sheet
// could not be made. PSH_MODELESS: the sheet's window, at once; after OK or Cancel
// PSM_GETCURRENTPAGEHWND answers NULL and the owner destroys the sheet.
INT_PTR WINAPI PropertySheetA(LPCPROPSHEETHEADERA header);
INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW header);
}
