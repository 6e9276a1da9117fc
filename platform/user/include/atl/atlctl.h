// ATL's property page base, header-only: IPropertyPageImpl<T> for a page class that is also a
// CDialogImpl<T> (the page's window is T's dialog, made by Activate and destroyed by Deactivate).
// The page keeps its site, the objects it edits and its dirty state; SetDirty reports the state to
// the site: PROPPAGESTATUS_DIRTY when the page becomes dirty, PROPPAGESTATUS_CLEAN when it no
// longer is.
#pragma once
#include "atl/atlbase.h"
#include "atl/atlwin.h"
#include "um/ocidl.h"

namespace ATL {

template <class T> class ATL_NO_VTABLE IPropertyPageImpl : public IPropertyPage {
public:
    IPropertyPageSite* m_pPageSite = nullptr;
    IUnknown** m_ppUnk = nullptr;
    ULONG m_nObjects = 0;
    BOOL m_bDirty = FALSE;
    DWORD m_dwTitleID = 0;
    DWORD m_dwHelpFileID = 0;
    DWORD m_dwDocStringID = 0;
    DWORD m_dwHelpContext = 0;
    SIZE m_size{0, 0};

    IPropertyPageImpl() = default;
    IPropertyPageImpl(const IPropertyPageImpl&) = delete;
    IPropertyPageImpl& operator=(const IPropertyPageImpl&) = delete;
    ~IPropertyPageImpl()
    {
        if (m_pPageSite)
            m_pPageSite->Release();
        ReleaseObjects();
    }

    void SetDirty(BOOL bDirty)
    {
        if (m_bDirty == bDirty)
            return;
        m_bDirty = bDirty;
        if (m_pPageSite)
            m_pPageSite->OnStatusChange(bDirty ? PROPPAGESTATUS_DIRTY : PROPPAGESTATUS_CLEAN);
    }

    // NULL lets go of the site; a second site while one is held is E_UNEXPECTED.
    STDMETHOD(SetPageSite)(IPropertyPageSite* pPageSite) override
    {
        if (!pPageSite) {
            if (m_pPageSite)
                m_pPageSite->Release();
            m_pPageSite = nullptr;
            return S_OK;
        }
        if (m_pPageSite)
            return E_UNEXPECTED;
        m_pPageSite = pPageSite;
        m_pPageSite->AddRef();
        return S_OK;
    }
    // The page's dialog made as a child of the parent, placed in the rectangle and shown.
    STDMETHOD(Activate)(HWND hWndParent, LPCRECT pRect, BOOL) override
    {
        T* page = static_cast<T*>(this);
        if (page->m_hWnd)
            return E_UNEXPECTED;
        HWND hwnd = page->Create(hWndParent);
        if (!hwnd)
            return E_FAIL;
        if (pRect)
            ::MoveWindow(hwnd, pRect->left, pRect->top, pRect->right - pRect->left, pRect->bottom - pRect->top, TRUE);
        ::ShowWindow(hwnd, SW_SHOW);
        return S_OK;
    }
    STDMETHOD(Deactivate)() override
    {
        T* page = static_cast<T*>(this);
        if (!page->m_hWnd)
            return E_UNEXPECTED;
        page->DestroyWindow();
        return S_OK;
    }
    // The title, description and help file from the module's strings (task memory), and the
    // template's size in pixels.
    STDMETHOD(GetPageInfo)(PROPPAGEINFO* pPageInfo) override
    {
        if (!pPageInfo)
            return E_POINTER;
        if (pPageInfo->cb != sizeof(PROPPAGEINFO))
            return E_INVALIDARG;
        if (m_size.cx == 0 && m_size.cy == 0)
            m_size = TemplateSize();
        pPageInfo->pszTitle = LoadText(m_dwTitleID);
        pPageInfo->size = m_size;
        pPageInfo->pszDocString = LoadText(m_dwDocStringID);
        pPageInfo->pszHelpFile = LoadText(m_dwHelpFileID);
        pPageInfo->dwHelpContext = m_dwHelpContext;
        return S_OK;
    }
    // The objects the page edits, each referenced; (0, NULL) lets go of them all.
    STDMETHOD(SetObjects)(ULONG nObjects, IUnknown** ppUnk) override
    {
        if (nObjects && !ppUnk)
            return E_POINTER;
        ReleaseObjects();
        if (!nObjects)
            return S_OK;
        m_ppUnk = new (std::nothrow) IUnknown*[nObjects];
        if (!m_ppUnk)
            return E_OUTOFMEMORY;
        for (ULONG i = 0; i < nObjects; ++i) {
            m_ppUnk[i] = ppUnk[i];
            if (m_ppUnk[i])
                m_ppUnk[i]->AddRef();
        }
        m_nObjects = nObjects;
        return S_OK;
    }
    STDMETHOD(Show)(UINT nCmdShow) override
    {
        T* page = static_cast<T*>(this);
        if (!page->m_hWnd)
            return E_UNEXPECTED;
        ::ShowWindow(page->m_hWnd, static_cast<int>(nCmdShow));
        return S_OK;
    }
    STDMETHOD(Move)(LPCRECT pRect) override
    {
        T* page = static_cast<T*>(this);
        if (!pRect)
            return E_POINTER;
        if (!page->m_hWnd)
            return E_UNEXPECTED;
        ::MoveWindow(page->m_hWnd, pRect->left, pRect->top, pRect->right - pRect->left, pRect->bottom - pRect->top, TRUE);
        return S_OK;
    }
    STDMETHOD(IsPageDirty)() override { return m_bDirty ? S_OK : S_FALSE; }
    STDMETHOD(Apply)() override { return S_OK; }
    STDMETHOD(Help)(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHOD(TranslateAccelerator)(MSG*) override { return S_FALSE; }

private:
    void ReleaseObjects()
    {
        for (ULONG i = 0; i < m_nObjects; ++i)
            if (m_ppUnk[i])
                m_ppUnk[i]->Release();
        delete[] m_ppUnk;
        m_ppUnk = nullptr;
        m_nObjects = 0;
    }
    static HINSTANCE ResourceInstance()
    {
        return _pAtlModule ? _pAtlModule->GetResourceInstance() : ::GetModuleHandleA(nullptr);
    }
    static LPOLESTR LoadText(DWORD id)
    {
        if (!id)
            return nullptr;
        const WCHAR* text = nullptr;
        const int length = ::LoadStringW(ResourceInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
        if (length <= 0 || !text)
            return nullptr;
        auto* copy = static_cast<LPOLESTR>(::CoTaskMemAlloc((static_cast<size_t>(length) + 1) * sizeof(OLECHAR)));
        if (!copy)
            return nullptr;
        for (int i = 0; i < length; ++i)
            copy[i] = text[i];
        copy[length] = 0;
        return copy;
    }
    // The dialog template's width and height (DLGTEMPLATEEX) in pixels of the dialog base units.
    static SIZE TemplateSize()
    {
        const HINSTANCE module = ResourceInstance();
        HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(T::IDD), MAKEINTRESOURCEA(5));
        if (!found || ::SizeofResource(module, found) < 26)
            return SIZE{0, 0};
        const auto* bytes = static_cast<const unsigned char*>(::LockResource(::LoadResource(module, found)));
        if (!bytes || bytes[2] != 0xFF || bytes[3] != 0xFF)
            return SIZE{0, 0};
        const int cx = static_cast<short>(bytes[22] | (bytes[23] << 8));
        const int cy = static_cast<short>(bytes[24] | (bytes[25] << 8));
        const LONG units = ::GetDialogBaseUnits();
        return SIZE{cx * LOWORD(units) / 4, cy * HIWORD(units) / 8};
    }
};

} // namespace ATL
