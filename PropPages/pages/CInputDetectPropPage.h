// CInputDetectPropPage: the property page of what the board detects on each input, read only.
// Title string 177, dialog template 176.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CInputDetectPropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CInputDetectPropPage, &CLSID_CInputDetectPropPage>,
      public IPropertyPageImpl<CInputDetectPropPage>,
      public CDialogImpl<CInputDetectPropPage> {
public:
    enum { IDD = IDD_INPUT_DETECT_PAGE };

    CInputDetectPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_INPUTDETECTPROPPAGE)

    BEGIN_COM_MAP(CInputDetectPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CInputDetectPropPage)
    END_MSG_MAP()
};
