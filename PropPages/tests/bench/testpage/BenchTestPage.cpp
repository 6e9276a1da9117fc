// The bench's test page (BenchTestPage.h).
#include "BenchTestPage.h"
#include "BenchTestPageIds.h"

#include "atl/atlbase.h"
#include "atl/atlcom.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"
#include "shared/guiddef.h"
#include "um/commctrl.h"
#include "um/commdlg.h"
#include "um/ks.h"
#include "um/ksproxy.h"
#include "um/windows.h"

#include "privatesetguids.h" // after the platform's GUID

#include <cstdio>
#include <cstring>
#include <string>

using namespace ATL;

namespace {

CComModule g_module;

class ATL_NO_VTABLE BenchTestPage : public CComObjectRootEx<CComSingleThreadModel>,
                                    public CComCoClass<BenchTestPage, &CLSID_BenchTestPage>,
                                    public IPropertyPageImpl<BenchTestPage>,
                                    public CDialogImpl<BenchTestPage> {
public:
    enum { IDD = IDD_BENCH_PAGE };
    DECLARE_REGISTRY_RESOURCEID(IDR_BENCH_PAGE)

    BenchTestPage() { m_dwTitleID = IDS_BENCH_TITLE; }

    BEGIN_COM_MAP(BenchTestPage)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(BenchTestPage)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_HSCROLL, OnScroll)
    MESSAGE_HANDLER(WM_VSCROLL, OnScroll)
    COMMAND_HANDLER(IDC_BENCH_ASK, BN_CLICKED, OnAsk)
    COMMAND_HANDLER(IDC_BENCH_BROWSE, BN_CLICKED, OnBrowse)
    COMMAND_HANDLER(IDC_BENCH_FONT, BN_CLICKED, OnFont)
    COMMAND_HANDLER(IDC_BENCH_ENABLED, BN_CLICKED, OnEdited)
    COMMAND_HANDLER(IDC_BENCH_PATH, EN_CHANGE, OnEdited)
    COMMAND_HANDLER(IDC_BENCH_CHOICE, CBN_SELCHANGE, OnEdited)
    END_MSG_MAP()

    // Sends the device configuration back (a SET the driver takes and changes nothing with), so
    // that a test sees on the wire whether the frame applied the page; a failed SET keeps the page
    // dirty and is the answer.
    STDMETHOD(Apply)() override
    {
        BrevicorDeviceConfigRecord record{};
        if (const HRESULT sent = Request(KSPROPERTY_TYPE_SET, &record); FAILED(sent))
            return sent;
        ++applied_;
        char text[32];
        std::snprintf(text, sizeof text, "applied %d", applied_);
        if (m_hWnd)
            ::SetDlgItemTextA(m_hWnd, IDC_BENCH_APPLIED, text);
        SetDirty(FALSE);
        return S_OK;
    }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        ::SendDlgItemMessageW(m_hWnd, IDC_BENCH_SLIDER, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        ::SendDlgItemMessageW(m_hWnd, IDC_BENCH_SLIDER, TBM_SETLINESIZE, 0, 1);
        ::SendDlgItemMessageW(m_hWnd, IDC_BENCH_SLIDER, TBM_SETPAGESIZE, 0, 10);
        ::SendDlgItemMessageW(m_hWnd, IDC_BENCH_SLIDER, TBM_SETPOS, TRUE, 50);
        for (const char* item : {"One", "Two", "Three"})
            ::SendDlgItemMessageA(m_hWnd, IDC_BENCH_CHOICE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        ::SendDlgItemMessageW(m_hWnd, IDC_BENCH_CHOICE, CB_SETCURSEL, 0, 0);
        ::SendDlgItemMessageW(m_hWnd, IDC_BENCH_COUNT_SPIN, UDM_SETRANGE32, 0, 99);
        ::SendDlgItemMessageW(m_hWnd, IDC_BENCH_COUNT_SPIN, UDM_SETPOS32, 0, 5);
        ::SetDlgItemTextA(m_hWnd, IDC_BENCH_SERIAL, SerialText().c_str());
        return TRUE;
    }

    // DEVICE_CONFIG sent (GET or SET) through the handle of the filter the page is bound to.
    HRESULT Request(ULONG flags, BrevicorDeviceConfigRecord* record) const
    {
        if (m_nObjects == 0 || !m_ppUnk[0])
            return E_UNEXPECTED;
        IKsObject* object = nullptr;
        if (FAILED(m_ppUnk[0]->QueryInterface(IID_IKsObject, reinterpret_cast<void**>(&object))) || !object)
            return E_NOINTERFACE;
        HANDLE filter = object->KsGetObjectHandle();
        object->Release();
        KSPROPERTY header{};
        header.Set = PROPSETID_BREVICOR_DEVICE_CONFIG;
        header.Id = 0;
        header.Flags = flags;
        std::memcpy(record->header, &header, sizeof header);
        ULONG returned = 0;
        const HRESULT sent =
            KsSynchronousDeviceControl(filter, IOCTL_KS_PROPERTY, record, sizeof *record, record, sizeof *record, &returned);
        return SUCCEEDED(sent) && returned != sizeof *record ? E_FAIL : sent;
    }

    // The serial number of the board behind the bound filter, read through its handle.
    std::string SerialText() const
    {
        BrevicorDeviceConfigRecord record{};
        if (FAILED(Request(KSPROPERTY_TYPE_GET, &record)))
            return "no device";
        std::string serial = "serial ";
        for (uint16_t c : record.identity.serialNumber)
            if (c != 0)
                serial += static_cast<char>(c);
        return serial;
    }

    LRESULT OnScroll(UINT, WPARAM, LPARAM, BOOL&)
    {
        SetDirty(TRUE);
        return 0;
    }
    LRESULT OnEdited(WORD, WORD, HWND, BOOL&)
    {
        SetDirty(TRUE);
        return 0;
    }
    LRESULT OnAsk(WORD, WORD, HWND, BOOL&)
    {
        const int answer = ::MessageBoxA(m_hWnd, "Keep the settings?", "Bench", MB_YESNO | MB_ICONQUESTION);
        ::SetDlgItemTextA(m_hWnd, IDC_BENCH_ANSWER, answer == IDYES ? "yes" : answer == IDNO ? "no" : "?");
        return 0;
    }
    LRESULT OnBrowse(WORD, WORD, HWND, BOOL&)
    {
        char path[MAX_PATH] = {};
        OPENFILENAMEA open{};
        open.lStructSize = sizeof open;
        open.hwndOwner = m_hWnd;
        open.lpstrFilter = "Log files (*.log)\0*.log\0All files\0*.*\0";
        open.lpstrFile = path;
        open.nMaxFile = sizeof path;
        open.lpstrTitle = "Log file";
        open.Flags = OFN_PATHMUSTEXIST;
        if (::GetOpenFileNameA(&open))
            ::SetDlgItemTextA(m_hWnd, IDC_BENCH_PATH, path);
        return 0;
    }
    LRESULT OnFont(WORD, WORD, HWND, BOOL&)
    {
        LOGFONTA font{};
        CHOOSEFONTA choose{};
        choose.lStructSize = sizeof choose;
        choose.hwndOwner = m_hWnd;
        choose.lpLogFont = &font;
        choose.Flags = CF_SCREENFONTS | CF_TTONLY;
        if (::ChooseFontA(&choose)) {
            char text[64];
            std::snprintf(text, sizeof text, "%s %d", font.lfFaceName, choose.iPointSize);
            ::SetDlgItemTextA(m_hWnd, IDC_BENCH_ANSWER, text);
        }
        return 0;
    }

    int applied_ = 0;
};

BEGIN_OBJECT_MAP(g_objectMap)
OBJECT_ENTRY(CLSID_BenchTestPage, BenchTestPage)
END_OBJECT_MAP()

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module.Init(g_objectMap, instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        g_module.Term();
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

STDAPI DllRegisterServer()
{
    return g_module.RegisterServer(FALSE);
}

STDAPI DllUnregisterServer()
{
    return g_module.UnregisterServer(FALSE);
}
