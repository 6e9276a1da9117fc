// CLossOfSignalPropPage: the property page of the picture and tones shown while the input has no signal.
// Title string 167, dialog template 166.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CLossOfSignalPropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CLossOfSignalPropPage, &CLSID_CLossOfSignalPropPage>,
      public IPropertyPageImpl<CLossOfSignalPropPage>,
      public CDialogImpl<CLossOfSignalPropPage> {
public:
    enum { IDD = IDD_LOSS_OF_SIGNAL_PAGE };

    CLossOfSignalPropPage();

    DECLARE_REGISTRY_RESOURCEID(IDR_LOSSOFSIGNAL)

    BEGIN_COM_MAP(CLossOfSignalPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CLossOfSignalPropPage)
    END_MSG_MAP()
};
