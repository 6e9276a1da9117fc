// CAudioInputMixerPropPage: the property page of the volume and source of each audio input, with its live
// waveforms. Title string 202, dialog template 188.
#pragma once
#include "module/PageClassIds.h"
#include "resources/resource.h"

#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"

class ATL_NO_VTABLE CAudioInputMixerPropPage
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CAudioInputMixerPropPage, &CLSID_CAudioInputMixerPropPage>,
      public IPropertyPageImpl<CAudioInputMixerPropPage>,
      public CDialogImpl<CAudioInputMixerPropPage> {
public:
    enum { IDD = IDD_AUDIO_INPUT_MIXER_PAGE };

    CAudioInputMixerPropPage();

    // Registers its own class: the script is this class's, not a resource of the module.
    static HRESULT WINAPI UpdateRegistry(BOOL bRegister);

    BEGIN_COM_MAP(CAudioInputMixerPropPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CAudioInputMixerPropPage)
    END_MSG_MAP()
};
