// CVideoDecoderPropPage: the property page of the signal type the capture filter expects on its input.
// Title string 127, dialog template 126.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CVideoDecoderPropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CVideoDecoderPropPage, &CLSID_CVideoDecoderPropPage>,
      public IPropertyPageImpl<CVideoDecoderPropPage>,
      public CDialogImpl<CVideoDecoderPropPage> {
public:
    enum { IDD = IDD_VIDEO_DECODER_PAGE };

    CVideoDecoderPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_VIDEODECODERPROPPAGE)

    BEGIN_COM_MAP(CVideoDecoderPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CVideoDecoderPropPage)
    END_MSG_MAP()
};
