// CPropPageBase: what every property page of the library shares beyond the COM page machinery.
// It binds the page to the filter its sheet was opened for (the kernel-streaming handle of
// CPropertyGetSetCtrl, IKsObject and IKsControl), keeps the dirty state with the site's status and
// the sheet's Apply button, reads the pin selector, tidies the sheet's tabs so that only this
// library's pages stay (and of two shared titles the earlier), and runs one notification thread per
// bound page that hands every change another application makes to OnDeviceNotification.
//
// Threads: everything runs on the page's window thread except the notification thread, which calls
// OnDeviceNotification; that hook keeps to the notified copies (StoreNotified, under their own
// lock) and the change-pending flags, and reaches the window only by posting
// WM_DEVICE_SETTINGS_CHANGED. The thread is stopped and joined before the page is bound again and
// before the interfaces are released.
#pragma once
#include "transport/CPropertyGetSetCtrl.h"

#include "um/ksproxy.h"
#include "um/ocidl.h"
#include "um/strmif.h"
#include "um/windows.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// The page library's private window messages.
inline constexpr UINT WM_PRUNE_SHEET_TABS = 0xA66;
inline constexpr UINT WM_DEVICE_SETTINGS_CHANGED = 0xA68;
// The pin selector of the pages with per-pin settings ("Capture", "Preview", "Both").
inline constexpr int IDC_PIN_SELECTOR = 1910;
inline constexpr ULONG kCapturePin = 1;
inline constexpr ULONG kPreviewPin = 2;
inline constexpr ULONG kBothPins = 255;

class CPropPageBase : public CPropertyGetSetCtrl {
public:
    explicit CPropPageBase(UINT titleId);
    virtual ~CPropPageBase();
    CPropPageBase(const CPropPageBase&) = delete;
    CPropPageBase& operator=(const CPropPageBase&) = delete;

    // Compares the page's current values with the saved ones and calls SetDirty.
    virtual void CheckDirty() {}
    // On the notification thread: one NOTIFICATION_RECORD (1108 bytes).
    virtual void OnDeviceNotification(const void* payload) { (void)payload; }
    virtual void OnPrivateCommand(WPARAM command) { (void)command; }
    virtual void OnSettingsChanged() {}
    // WM_DEVICE_SETTINGS_CHANGED: wParam 0 is OnSettingsChanged, any other OnPrivateCommand.
    virtual LRESULT OnPrivateMessage(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);

    // Binds to the first object's filter; S_OK always. Zero objects leave a bound page bound. A
    // second bind stops the notification thread first and starts it again on the new filter.
    HRESULT SetObjects(ULONG count, IUnknown** objects);
    // Tells the site (PROPPAGESTATUS_DIRTY 1 or PROPPAGESTATUS_CLEAN 4) and enables or disables the
    // sheet's Apply button; nothing without a site.
    void SetDirty(bool dirty, IPropertyPageSite* site);
    bool IsDirty() const { return m_dirty; }

    void FindSheetWindow();
    void FindApplyButton();
    // The pin type to read (1 for "Capture", no selection and "Both"; 2 for "Preview").
    ULONG GetSelectedPin() const;
    bool IsBothPinsSelected() const;
    // Fills the dialog's pin selector with strings 2, 40 and 41 of `module` and selects "Capture".
    static void FillPinSelector(HWND dialog, HINSTANCE module);

    LRESULT PruneSheetTabs(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnStyleChanging(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    // IDYES or IDNO.
    int AskUseNewSettings() const;

    DWORD StartNotificationThread();
    DWORD StopNotificationThread();

    // What a page and its tests read.
    const std::string& Title() const { return m_title; }
    HWND PageWindow() const { return m_hPageWnd; }
    HWND SheetWindow() const { return m_hSheetWnd; }
    HWND ApplyButton() const { return m_hApplyButton; }
    bool NotifyingSite() const { return m_notifyingSite != 0; }
    IBaseFilter* Filter() const { return m_pFilter; }
    bool NotificationThreadRunning() const { return m_hThread != nullptr; }

    // The notified copy of a pin type (0 for the pages without pins, 1, 2): StoreNotified keeps the
    // bytes and answers whether they differ from the copy held (a first copy always differs);
    // ReadNotified copies what is held (false when nothing is).
    bool StoreNotified(ULONG pin, const void* bytes, size_t length);
    bool ReadNotified(ULONG pin, void* bytes, size_t length) const;
    // The change-pending flag of a pin type (1 or 2; 0 is the dialog-initialised flag).
    bool PageFlag(size_t index) const { return index < m_pageFlags.size() && m_pageFlags[index].load(); }
    void SetPageFlag(size_t index, bool value)
    {
        if (index < m_pageFlags.size())
            m_pageFlags[index].store(value);
    }

protected:
    // The common page flow. BeginInitDialog (first thing in WM_INITDIALOG) posts
    // WM_PRUNE_SHEET_TABS; EndInitDialog (last) posts WM_DEVICE_SETTINGS_CHANGED when the dialog was
    // made before and marks it made.
    void BeginInitDialog(HWND dialog) const;
    void EndInitDialog(HWND dialog);
    // From OnDeviceNotification: marks the pin type's change pending and posts
    // WM_DEVICE_SETTINGS_CHANGED when the page window is there and visible.
    void NoteChangePending(ULONG pin);
    // From OnSettingsChanged, for the selected pin type: when its change is pending, either the
    // current values already equal the notified ones (then they become the saved copy without a
    // prompt) or the user is asked; Yes takes and sends the notified values (UseNotifiedValues),
    // either answer makes them the saved copy (SaveNotifiedValues); then CheckDirty.
    void FollowSettingsChange(ULONG pin);
    virtual bool CurrentEqualsNotified(ULONG pin) const { (void)pin; return true; }
    virtual void UseNotifiedValues(ULONG pin) { (void)pin; }
    virtual void SaveNotifiedValues(ULONG pin) { (void)pin; }
    virtual void RefreshControls() {}

private:
    static DWORD WINAPI NotificationThreadEntry(LPVOID self);
    DWORD NotificationThread();
    void ReleaseInterfaces();

    HWND m_hSheetWnd = nullptr;
    std::atomic<HWND> m_hPageWnd{nullptr}; // read by the notification thread too
    IBaseFilter* m_pFilter = nullptr;
    IKsObject* m_pKsObject = nullptr;
    IKsControl* m_pKsControl = nullptr;
    std::string m_title;
    UINT m_titleId = 0;
    uint8_t m_notifyingSite = 0;
    HWND m_hApplyButton = nullptr;
    HANDLE m_hNotifyEvent = nullptr;
    HANDLE m_hStopEvent = nullptr;
    DWORD m_threadId = 0;
    HANDLE m_hThread = nullptr;
    std::array<std::atomic<bool>, 4> m_pageFlags{};
    bool m_dirty = false;
    mutable std::mutex m_notifiedLock;
    std::array<std::vector<uint8_t>, 3> m_notified;
};
