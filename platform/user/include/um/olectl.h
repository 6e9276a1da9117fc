// The OLE property frame: a modal property sheet whose pages are the property page objects of the
// CLSIDs given, each in a container page of the sheet, editing the objects given.
#pragma once
#include "um/ocidl.h"
#include "um/oleauto.h"

using DISPID = LONG;

struct OCPFIPARAMS {
    ULONG cbStructSize;
    HWND hWndOwner;
    int x;
    int y;
    LPCOLESTR lpszCaption;
    ULONG cObjects;
    LPUNKNOWN* lplpUnk;
    ULONG cPages;
    CLSID* lpPages;
    LCID lcid;
    DISPID dispidInitialProperty;
};
using LPOCPFIPARAMS = OCPFIPARAMS*;

extern "C" {
// For each CLSID: the page object made, given its site and the objects, asked for its title and
// size; the frame takes the largest page's size. A page is activated in its container when first
// shown and shown or hidden as the tabs change; OK and Apply call Apply of each page whose
// IsPageDirty is S_OK. At the end every page gets Deactivate (when it was activated),
// SetObjects(0, NULL), SetPageSite(NULL) and Release. The site turns PROPPAGESTATUS_DIRTY into
// PSM_CHANGED and PROPPAGESTATUS_CLEAN into PSM_UNCHANGED; its locale is 1033. S_OK once the frame
// closes; E_INVALIDARG for a bad record; a page's creation error when one cannot be made.
HRESULT STDAPICALLTYPE OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCOLESTR lpszCaption, ULONG cObjects,
                                              LPUNKNOWN* ppUnk, ULONG cPages, LPCLSID pPageClsID, LCID lcid,
                                              DWORD dwReserved, LPVOID pvReserved);
HRESULT STDAPICALLTYPE OleCreatePropertyFrameIndirect(LPOCPFIPARAMS lpParams);
}
