// CClosedCaptionPropPage: the property page of the closed-caption decoding and overlay of each pin.
// Title string 147, dialog template 146.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CClosedCaptionPropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CClosedCaptionPropPage, &CLSID_CClosedCaptionPropPage>,
      public IPropertyPageImpl<CClosedCaptionPropPage>,
      public CDialogImpl<CClosedCaptionPropPage> {
public:
    enum { IDD = IDD_CLOSED_CAPTION_PAGE };

    CClosedCaptionPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_CLOSEDCAPTIONPROPPAGE)

    BEGIN_COM_MAP(CClosedCaptionPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CClosedCaptionPropPage)
    END_MSG_MAP()
};
