// The page base's test pages (BaseTestPages.h).
#include "BaseTestPages.h"
#include "BaseTestPageIds.h"

#include "base/CPropPageImpl.h"
#include "module/PageTitleTable.h"
#include "transport/PropertyRequests.h"

#include "atl/atlbase.h"
#include "atl/atlcom.h"
#include "shared/guiddef.h"
#include "um/windows.h"

#include "privatesetguids.h" // after the platform's GUID

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

using namespace ATL;

namespace {

CComModule g_module;
constexpr UINT WM_NOTES_CHANGED = WM_APP + 1;

// The crop values in the form the driver notifies them in.
BrevicorCropNotification NotificationForm(const CROP_RECORD& record)
{
    BrevicorCropNotification form{};
    std::memcpy(&form, &record.pinType, sizeof form);
    return form;
}

void TakeNotified(CROP_RECORD& record, const BrevicorCropNotification& form)
{
    std::memcpy(&record.pinType, &form, sizeof form);
}

// An editing page of the crop record's top line, per pin type.
template <class T, const CLSID* Clsid, UINT TitleId>
class ATL_NO_VTABLE CropEditPage : public CComObjectRootEx<CComSingleThreadModel>,
                                   public CComCoClass<T, Clsid>,
                                   public CPropPageImpl<T> {
public:
    enum { IDD = IDD_BASE_EDIT_PAGE };
    DECLARE_REGISTRY_RESOURCEID(IDR_BASE_TEST_PAGES)

    CropEditPage() : CPropPageImpl<T>(TitleId) {}

    BEGIN_COM_MAP(T)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(CropEditPage)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_NOTES_CHANGED, OnNotesChanged)
    COMMAND_HANDLER(IDC_BASE_TOP, EN_CHANGE, OnTopChanged)
    COMMAND_HANDLER(IDC_PIN_SELECTOR, CBN_SELCHANGE, OnPinChanged)
    CHAIN_MSG_MAP(CPropPageImpl<T>)
    END_MSG_MAP()

    void CheckDirty() override
    {
        const ULONG pin = this->GetSelectedPin();
        this->SetDirty(std::memcmp(&current_[pin], &saved_[pin], sizeof(CROP_RECORD)) != 0);
    }

    void OnDeviceNotification(const void* payload) override
    {
        const auto* record = static_cast<const NOTIFICATION_RECORD*>(payload);
        const bool crop = GUID(record->propertySet) == PROPSETID_BREVICOR_CROP;
        {
            BrevicorCropNotification seen{};
            std::memcpy(&seen, record->payload, sizeof seen);
            char note[48];
            if (crop)
                std::snprintf(note, sizeof note, "C%u:%u ", seen.pinType, seen.top);
            else
                std::snprintf(note, sizeof note, "? ");
            std::lock_guard<std::mutex> hold(notesLock_);
            notes_ += note;
        }
        if (HWND page = this->PageWindow())
            ::PostMessageA(page, WM_NOTES_CHANGED, 0, 0);
        if (!crop)
            return;
        BrevicorCropNotification form{};
        std::memcpy(&form, record->payload, sizeof form);
        if (form.pinType != kCapturePin && form.pinType != kPreviewPin)
            return;
        if (this->StoreNotified(form.pinType, &form, sizeof form))
            this->NoteChangePending(form.pinType);
    }

    void OnSettingsChanged() override { this->FollowSettingsChange(this->GetSelectedPin()); }

protected:
    HRESULT SendSettings() override
    {
        const ULONG pin = this->GetSelectedPin();
        CROP_RECORD record = current_[pin];
        record.noPersist = 0;
        if (this->IsBothPinsSelected())
            record.pinType = kBothPins;
        const BrevicorCropNotification form = NotificationForm(current_[pin]);
        this->StoreNotified(pin, &form, sizeof form);
        const HRESULT sent = SetCropRecord(this, &record);
        if (SUCCEEDED(sent))
            saved_[pin] = current_[pin];
        return sent;
    }

    bool CurrentEqualsNotified(ULONG pin) const override
    {
        BrevicorCropNotification notified{};
        if (!this->ReadNotified(pin, &notified, sizeof notified))
            return true;
        const BrevicorCropNotification form = NotificationForm(current_[pin]);
        return std::memcmp(&form, &notified, sizeof form) == 0;
    }
    void UseNotifiedValues(ULONG pin) override
    {
        BrevicorCropNotification notified{};
        if (!this->ReadNotified(pin, &notified, sizeof notified))
            return;
        TakeNotified(current_[pin], notified);
        CROP_RECORD record = current_[pin];
        record.noPersist = 1;
        SetCropRecord(this, &record);
    }
    void SaveNotifiedValues(ULONG pin) override
    {
        BrevicorCropNotification notified{};
        if (this->ReadNotified(pin, &notified, sizeof notified))
            TakeNotified(saved_[pin], notified);
    }
    void RefreshControls() override
    {
        refreshing_ = true;
        ::SetDlgItemInt(this->m_hWnd, IDC_BASE_TOP, current_[this->GetSelectedPin()].top, FALSE);
        refreshing_ = false;
    }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        this->BeginInitDialog(this->m_hWnd);
        this->FillPinSelector(this->m_hWnd, _pAtlModule->GetResourceInstance());
        const bool first = !this->PageFlag(0);
        for (ULONG pin : {kCapturePin, kPreviewPin}) {
            CROP_RECORD record{};
            record.pinType = pin;
            GetCropRecord(this, &record);
            std::memset(record.header, 0, 8);
            record.noPersist = 0;
            record.pinType = pin;
            saved_[pin] = record;
            current_[pin] = record;
            if (first) {
                const BrevicorCropNotification form = NotificationForm(record);
                this->StoreNotified(pin, &form, sizeof form);
            }
        }
        this->EndInitDialog(this->m_hWnd);
        return TRUE;
    }

    LRESULT OnNotesChanged(UINT, WPARAM, LPARAM, BOOL&)
    {
        std::string notes;
        {
            std::lock_guard<std::mutex> hold(notesLock_);
            notes = notes_;
        }
        ::SetDlgItemTextA(this->m_hWnd, IDC_BASE_NOTES, notes.c_str());
        return 0;
    }

    LRESULT OnTopChanged(WORD, WORD, HWND, BOOL&)
    {
        if (refreshing_)
            return 0;
        BOOL read = FALSE;
        const UINT top = ::GetDlgItemInt(this->m_hWnd, IDC_BASE_TOP, &read, FALSE);
        if (read)
            current_[this->GetSelectedPin()].top = top;
        CheckDirty();
        return 0;
    }

    LRESULT OnPinChanged(WORD, WORD, HWND, BOOL&)
    {
        RefreshControls();
        CheckDirty();
        OnSettingsChanged();
        return 0;
    }

private:
    std::array<CROP_RECORD, 3> saved_{};
    std::array<CROP_RECORD, 3> current_{};
    bool refreshing_ = false;
    std::mutex notesLock_;
    std::string notes_;
};

class CBaseTestDevicePage : public CropEditPage<CBaseTestDevicePage, &CLSID_BaseTestDevicePage, IDS_TITLE_DEVICE> {};
class CBaseTestProcAmpPage
    : public CropEditPage<CBaseTestProcAmpPage, &CLSID_BaseTestProcAmpPage, IDS_TITLE_VIDEO_PROC_AMP> {};
class CBaseTestTracePage : public CropEditPage<CBaseTestTracePage, &CLSID_BaseTestTracePage, IDS_TITLE_TRACE> {};

// A page of another library: plain ATL, no page base.
template <class T, const CLSID* Clsid, UINT TitleId>
class ATL_NO_VTABLE PlainPage : public CComObjectRootEx<CComSingleThreadModel>,
                                public CComCoClass<T, Clsid>,
                                public IPropertyPageImpl<T>,
                                public CDialogImpl<T> {
public:
    enum { IDD = IDD_BASE_PLAIN_PAGE };
    DECLARE_REGISTRY_RESOURCEID(IDR_BASE_TEST_PAGES)

    PlainPage() { this->m_dwTitleID = TitleId; }

    BEGIN_COM_MAP(T)
    COM_INTERFACE_ENTRY(IPropertyPage)
    END_COM_MAP()

    BEGIN_MSG_MAP(PlainPage)
    END_MSG_MAP()
};

class CForeignColorPage : public PlainPage<CForeignColorPage, &CLSID_ForeignColorPage, IDS_FOREIGN_COLOR> {};
class CSystemProcAmpPage : public PlainPage<CSystemProcAmpPage, &CLSID_SystemProcAmpPage, IDS_SYSTEM_PROC_AMP> {};

BEGIN_OBJECT_MAP(g_objectMap)
OBJECT_ENTRY(CLSID_BaseTestDevicePage, CBaseTestDevicePage)
OBJECT_ENTRY(CLSID_BaseTestProcAmpPage, CBaseTestProcAmpPage)
OBJECT_ENTRY(CLSID_BaseTestTracePage, CBaseTestTracePage)
OBJECT_ENTRY(CLSID_ForeignColorPage, CForeignColorPage)
OBJECT_ENTRY(CLSID_SystemProcAmpPage, CSystemProcAmpPage)
END_OBJECT_MAP()

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module.Init(g_objectMap, instance);
        PageTitleTable(instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        ClearPageTitleTable();
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
