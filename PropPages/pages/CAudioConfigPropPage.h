// CAudioConfigPropPage: the property page of the board's audio input configuration.
// Title string 208, dialog template 187.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CAudioConfigPropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CAudioConfigPropPage, &CLSID_CAudioConfigPropPage>,
      public IPropertyPageImpl<CAudioConfigPropPage>,
      public CDialogImpl<CAudioConfigPropPage> {
public:
    enum { IDD = IDD_AUDIO_CONFIG_PAGE };

    CAudioConfigPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_CAUDIOCONFIGPROPPAGE)

    BEGIN_COM_MAP(CAudioConfigPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CAudioConfigPropPage)
    END_MSG_MAP()
};
