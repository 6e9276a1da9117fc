// CPropPageImpl<T>: the COM page machinery of ATL (IPropertyPageImpl<T>, CDialogImpl<T>) joined to
// CPropPageBase, so that each page class writes only what is its own. It binds on SetObjects after
// ATL has stored the objects; keeps ATL's dirty state (what IsPageDirty answers the frame) equal to
// the base's; handles the private messages and WM_STYLECHANGING in a message map that the page's
// own map chains (CHAIN_MSG_MAP(CPropPageImpl<T>)); and runs Apply: nothing while the site is being
// told of a status or before the page window is known or after the dialog is gone; otherwise the
// page's SendSettings, CheckDirty, and the first failure of the sends as the answer (the page stays
// dirty then, since only what was sent is copied over the saved values).
#pragma once
#include "base/CPropPageBase.h"

#include "atl/atlctl.h"
#include "atl/atlwin.h"

template <class T>
class ATL_NO_VTABLE CPropPageImpl : public ATL::IPropertyPageImpl<T>, public ATL::CDialogImpl<T>, public CPropPageBase {
public:
    explicit CPropPageImpl(UINT titleId) : CPropPageBase(titleId) { this->m_dwTitleID = titleId; }

    STDMETHOD(SetObjects)(ULONG count, IUnknown** objects) override
    {
        const HRESULT stored = ATL::IPropertyPageImpl<T>::SetObjects(count, objects);
        if (FAILED(stored))
            return stored;
        return CPropPageBase::SetObjects(count, objects);
    }

    STDMETHOD(Apply)() override
    {
        if (NotifyingSite() || !PageWindow() || !this->m_hWnd || !::IsWindow(this->m_hWnd))
            return S_OK;
        const HRESULT sent = SendSettings();
        CheckDirty();
        return sent;
    }

    // The page's dirty state, told to the site, the Apply button and the frame alike.
    void SetDirty(BOOL dirty)
    {
        this->m_bDirty = dirty ? TRUE : FALSE;
        CPropPageBase::SetDirty(dirty != FALSE, this->m_pPageSite);
    }

    BEGIN_MSG_MAP(CPropPageImpl)
    MESSAGE_HANDLER(WM_PRUNE_SHEET_TABS, PruneSheetTabs)
    MESSAGE_HANDLER(WM_DEVICE_SETTINGS_CHANGED, OnPrivateMessage)
    MESSAGE_HANDLER(WM_STYLECHANGING, OnStyleChanging)
    END_MSG_MAP()

protected:
    // Sends the current values (SET), copying each record sent successfully over its saved copy;
    // the first failure's HRESULT, or S_OK.
    virtual HRESULT SendSettings() { return S_OK; }
};
