// CCropPropPage: the property page of the crop rectangle of each pin.
// Title string 157, dialog template 105.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CCropPropPage : public CComObjectRootEx<CComSingleThreadModel>,
                                    public CComCoClass<CCropPropPage, &CLSID_CCropPropPage>,
                                    public IPropertyPageImpl<CCropPropPage>,
                                    public CDialogImpl<CCropPropPage> {
public:
    enum { IDD = IDD_CROP_PAGE };

    CCropPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_CROPPROPPAGE)

    BEGIN_COM_MAP(CCropPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CCropPropPage)
    END_MSG_MAP()
};
