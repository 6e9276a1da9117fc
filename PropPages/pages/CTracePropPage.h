// CTracePropPage: the property page of the driver's trace switches and log file.
// Title string 132, dialog template 131.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CTracePropPage : public CComObjectRootEx<CComSingleThreadModel>,
                                     public CComCoClass<CTracePropPage, &CLSID_CTracePropPage>,
                                     public IPropertyPageImpl<CTracePropPage>,
                                     public CDialogImpl<CTracePropPage> {
public:
    enum { IDD = IDD_TRACE_PAGE };

    CTracePropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_TRACEPROPPAGE)

    BEGIN_COM_MAP(CTracePropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CTracePropPage)
    END_MSG_MAP()
};
