// The page library's entry point, its object map and the four exports COM calls.
#include "module/PageLibraryModule.h"

#include "module/PageClassIds.h"
#include "module/PageTitleTable.h"
#include "pages/CAudioConfigPropPage.h"
#include "pages/CAudioInputMixerPropPage.h"
#include "pages/CClosedCaptionPropPage.h"
#include "pages/CCropPropPage.h"
#include "pages/CCrossbarPropPage.h"
#include "pages/CDeinterlacePropPage.h"
#include "pages/CDeviceInfoPropPage.h"
#include "pages/CDiagnosticsPropPage.h"
#include "pages/CInputDetectPropPage.h"
#include "pages/CLossOfSignalPropPage.h"
#include "pages/CPerformancePropPage.h"
#include "pages/CTracePropPage.h"
#include "pages/CVideoDecoderPropPage.h"
#include "pages/CVideoProcAmp.h"
#include "pages/CWatermarkPropPage.h"

#include "atl/atlbase.h"
#include "atl/atlcom.h"

namespace {

HINSTANCE g_instance = nullptr;
CComModule g_module;

// The order of registration and of class-object lookup.
BEGIN_OBJECT_MAP(g_objectMap)
OBJECT_ENTRY(CLSID_CAudioConfigPropPage, CAudioConfigPropPage)
OBJECT_ENTRY(CLSID_CAudioInputMixerPropPage, CAudioInputMixerPropPage)
OBJECT_ENTRY(CLSID_CClosedCaptionPropPage, CClosedCaptionPropPage)
OBJECT_ENTRY(CLSID_CCropPropPage, CCropPropPage)
OBJECT_ENTRY(CLSID_CCrossbarPropPage, CCrossbarPropPage)
OBJECT_ENTRY(CLSID_CDeinterlacePropPage, CDeinterlacePropPage)
OBJECT_ENTRY(CLSID_CDeviceInfoPropPage, CDeviceInfoPropPage)
OBJECT_ENTRY(CLSID_CDiagnosticsPropPage, CDiagnosticsPropPage)
OBJECT_ENTRY(CLSID_CInputDetectPropPage, CInputDetectPropPage)
OBJECT_ENTRY(CLSID_CLossOfSignalPropPage, CLossOfSignalPropPage)
OBJECT_ENTRY(CLSID_CPerformancePropPage, CPerformancePropPage)
OBJECT_ENTRY(CLSID_CTracePropPage, CTracePropPage)
OBJECT_ENTRY(CLSID_CVideoDecoderPropPage, CVideoDecoderPropPage)
OBJECT_ENTRY(CLSID_CVideoProcAmp, CVideoProcAmp)
OBJECT_ENTRY(CLSID_CWatermarkPropPage, CWatermarkPropPage)
END_OBJECT_MAP()

} // namespace

HINSTANCE PageLibraryInstance()
{
    return g_instance;
}

// Runs under the loader lock: no more than storing the instance, the module's set-up and the
// title lists.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        g_module.Init(g_objectMap, instance, &LIBID_KPLXPROPERTYPAGESLib);
        DisableThreadLibraryCalls(instance);
        PageTitleTable(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        g_module.Term();
        ClearPageTitleTable();
        g_instance = nullptr;
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return g_module.GetLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return g_module.GetClassObject(rclsid, riid, ppv);
}

// Every class's script in map order, stopping at the first failure; then the type library.
STDAPI DllRegisterServer()
{
    return g_module.RegisterServer(TRUE);
}

// Every class's script and then the type library, all of them run; the first failure is the answer.
STDAPI DllUnregisterServer()
{
    return g_module.UnregisterServer(TRUE);
}
