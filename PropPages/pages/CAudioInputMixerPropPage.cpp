// CAudioInputMixerPropPage: the page's title and its own registration. The class keeps no script
// among the module's resources: it registers its CLSID with the text below, of the same shape as
// the other classes' scripts, with %MODULE% = the module's full path.
#include "pages/CAudioInputMixerPropPage.h"

#include "atl/statreg.h"

namespace {

const char16_t kRegistrationScript[] = uR"(HKCR
{
	KPLXPROPERTYPAGESLib.CAudioInputMixer.1 = s 'CAudioInputMixerPropPage Class'
	{
		CLSID = s '{A96E4E71-A87C-4D5D-9ECF-C539E1FA2840}'
	}
	KPLXPROPERTYPAGESLib.CAudioInputMixerPr = s 'CAudioInputMixerPropPage Class'
	{
		CLSID = s '{A96E4E71-A87C-4D5D-9ECF-C539E1FA2840}'
		CurVer = s 'KPLXPROPERTYPAGESLib.CAudioInputMixer.1'
	}
	NoRemove CLSID
	{
		ForceRemove {A96E4E71-A87C-4D5D-9ECF-C539E1FA2840} = s 'CAudioInputMixerPropPage Class'
		{
			ProgID = s 'KPLXPROPERTYPAGESLib.CAudioInputMixer.1'
			VersionIndependentProgID = s 'KPLXPROPERTYPAGESLib.CAudioInputMixerPr'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Both'
			}
			'TypeLib' = s '{6B22BB19-4035-49AB-95BF-754DB7DB0E6F}'
		}
	}
}
)";

} // namespace

CAudioInputMixerPropPage::CAudioInputMixerPropPage()
{
    m_dwTitleID = IDS_TITLE_AUDIO_INPUT_MIXER;
}

HRESULT WINAPI CAudioInputMixerPropPage::UpdateRegistry(BOOL bRegister)
{
    if (!_pAtlModule)
        return E_UNEXPECTED;
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(_pAtlModule->GetModuleInstance(), path, MAX_PATH);
    if (length == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    if (length >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    CRegObject registrar;
    registrar.AddReplacement(u"MODULE", path);
    return bRegister ? registrar.StringRegister(kRegistrationScript)
                     : registrar.StringUnregister(kRegistrationScript);
}
