// CWatermarkPropPage: the property page of the bitmap logo laid over each pin's video.
// Title string 162, dialog template 161.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CWatermarkPropPage : public CComObjectRootEx<CComSingleThreadModel>,
                                         public CComCoClass<CWatermarkPropPage, &CLSID_CWatermarkPropPage>,
                                         public IPropertyPageImpl<CWatermarkPropPage>,
                                         public CDialogImpl<CWatermarkPropPage> {
public:
    enum { IDD = IDD_WATERMARK_PAGE };

    CWatermarkPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_WATERMARKPROPPAGE)

    BEGIN_COM_MAP(CWatermarkPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CWatermarkPropPage)
    END_MSG_MAP()
};
