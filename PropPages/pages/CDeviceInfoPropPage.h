// CDeviceInfoPropPage: the property page of which board the sheet belongs to, read only.
// Title string 115, dialog template 114.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CDeviceInfoPropPage : public CComObjectRootEx<CComSingleThreadModel>,
                                          public CComCoClass<CDeviceInfoPropPage, &CLSID_CDeviceInfoPropPage>,
                                          public IPropertyPageImpl<CDeviceInfoPropPage>,
                                          public CDialogImpl<CDeviceInfoPropPage> {
public:
    enum { IDD = IDD_DEVICE_INFO_PAGE };

    CDeviceInfoPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_DEVICEINFOPROPPAGE)

    BEGIN_COM_MAP(CDeviceInfoPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CDeviceInfoPropPage)
    END_MSG_MAP()
};
