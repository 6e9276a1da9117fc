// CDiagnosticsPropPage: the property page of the board's DSP, memory, PCI and register tests.
// Title string 182, dialog template 181.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CDiagnosticsPropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CDiagnosticsPropPage, &CLSID_CDiagnosticsPropPage>,
      public IPropertyPageImpl<CDiagnosticsPropPage>,
      public CDialogImpl<CDiagnosticsPropPage> {
public:
    enum { IDD = IDD_DIAGNOSTICS_PAGE };

    CDiagnosticsPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_DIAGNOSTICSPROPPAGE)

    BEGIN_COM_MAP(CDiagnosticsPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CDiagnosticsPropPage)
    END_MSG_MAP()
};
