// CVideoProcAmp: the property page of the picture adjustments of each pin.
// Title string 122, dialog template 121.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CVideoProcAmp : public CComObjectRootEx<CComSingleThreadModel>,
                                    public CComCoClass<CVideoProcAmp, &CLSID_CVideoProcAmp>,
                                    public IPropertyPageImpl<CVideoProcAmp>,
                                    public CDialogImpl<CVideoProcAmp> {
public:
    enum { IDD = IDD_VIDEO_PROC_AMP_PAGE };

    CVideoProcAmp();

    DECLARE_REGISTRY_RESOURCEID(IDR_VIDEOPROCAMP)

    BEGIN_COM_MAP(CVideoProcAmp)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CVideoProcAmp)
    END_MSG_MAP()
};
