// CCrossbarPropPage: the property page of the routing of the board's analog crossbar.
// Title string 142, dialog template 141.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CCrossbarPropPage : public CComObjectRootEx<CComSingleThreadModel>,
                                        public CComCoClass<CCrossbarPropPage, &CLSID_CCrossbarPropPage>,
                                        public IPropertyPageImpl<CCrossbarPropPage>,
                                        public CDialogImpl<CCrossbarPropPage> {
public:
    enum { IDD = IDD_CROSSBAR_PAGE };

    CCrossbarPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_CROSSBARPROPPAGE)

    BEGIN_COM_MAP(CCrossbarPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CCrossbarPropPage)
    END_MSG_MAP()
};
