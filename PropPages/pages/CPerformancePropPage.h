// CPerformancePropPage: the property page of the driver-wide scaling, video size and buffer settings.
// Title string 187, dialog template 186.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CPerformancePropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CPerformancePropPage, &CLSID_CPerformancePropPage>,
      public IPropertyPageImpl<CPerformancePropPage>,
      public CDialogImpl<CPerformancePropPage> {
public:
    enum { IDD = IDD_PERFORMANCE_PAGE };

    CPerformancePropPage();

    DECLARE_REGISTRY_RESOURCE("IDR_CPERFORMANCEPROPPAGE")

    BEGIN_COM_MAP(CPerformancePropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CPerformancePropPage)
    END_MSG_MAP()
};
