// The OLE property page interfaces: a page object shown in a frame's page area, the frame's site
// each page reports its state to, and an object's list of the page classes that show it.
#pragma once
#include "um/objbase.h"
#include "um/windows.h"
#include "um/wtypes.h"

struct PROPPAGEINFO {
    ULONG cb;
    LPOLESTR pszTitle; // task memory, freed by the caller
    SIZE size;         // pixels
    LPOLESTR pszDocString;
    LPOLESTR pszHelpFile;
    DWORD dwHelpContext;
};
using LPPROPPAGEINFO = PROPPAGEINFO*;

// IPropertyPageSite::OnStatusChange's flags.
#define PROPPAGESTATUS_DIRTY 0x1
#define PROPPAGESTATUS_VALIDATE 0x2
#define PROPPAGESTATUS_CLEAN 0x4

struct IPropertyPageSite : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pLocaleID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** ppUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* pMsg) = 0;

protected:
    ~IPropertyPageSite() = default;
};
STANDIN_INTERFACE_IID(IPropertyPageSite, 0xB196B28C, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);

struct IPropertyPage : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* pPageSite) = 0;
    virtual HRESULT STDMETHODCALLTYPE Activate(HWND hWndParent, LPCRECT pRect, BOOL bModal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Deactivate() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* pPageInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetObjects(ULONG cObjects, IUnknown** ppUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE Show(UINT nCmdShow) = 0;
    virtual HRESULT STDMETHODCALLTYPE Move(LPCRECT pRect) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPageDirty() = 0;
    virtual HRESULT STDMETHODCALLTYPE Apply() = 0;
    virtual HRESULT STDMETHODCALLTYPE Help(LPCOLESTR pszHelpDir) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* pMsg) = 0;

protected:
    ~IPropertyPage() = default;
};
STANDIN_INTERFACE_IID(IPropertyPage, 0xB196B28D, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);

// A counted array of identifiers; `pElems` is task memory the receiver frees.
struct CAUUID {
    ULONG cElems;
    GUID* pElems;
};
using LPCAUUID = CAUUID*;

struct ISpecifyPropertyPages : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pPages) = 0;

protected:
    ~ISpecifyPropertyPages() = default;
};
STANDIN_INTERFACE_IID(ISpecifyPropertyPages, 0xB196B28B, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D,
                      0x07);
