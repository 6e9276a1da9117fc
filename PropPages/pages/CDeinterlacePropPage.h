// CDeinterlacePropPage: the property page of the deinterlacing and inverse telecine of each pin.
// Title string 152, dialog template 151.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CDeinterlacePropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CDeinterlacePropPage, &CLSID_CDeinterlacePropPage>,
      public IPropertyPageImpl<CDeinterlacePropPage>,
      public CDialogImpl<CDeinterlacePropPage> {
public:
    enum { IDD = IDD_DEINTERLACE_PAGE };

    CDeinterlacePropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_DEINTERLACEPROPPAGE)

    BEGIN_COM_MAP(CDeinterlacePropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CDeinterlacePropPage)
    END_MSG_MAP()
};
