// The page base (CPropPageBase.h): binding, dirty state, pin selector, sheet tidying, the prompt and
// the notification thread.
#include "base/CPropPageBase.h"

#include "module/PageTitleTable.h"

#include "atl/atlbase.h"
#include "shared/guiddef.h"
#include "um/commctrl.h"
#include "um/ks.h"
#include "um/prsht.h"

#include "privatesetguids.h" // after the platform's GUID

#include <cstring>
#include <exception>
#include <strings.h>

namespace {

constexpr int kApplyTextChars = 256;
constexpr int kTabTextChars = 260;
constexpr UINT kCaptureString = 2;
constexpr UINT kPreviewString = 40;
constexpr UINT kBothString = 41;
constexpr int kBothIndex = 2;
constexpr char kNewSettingsText[] =
    "The settings for this device have been changed by another application!\nDo you want to use the new values?";

HINSTANCE ResourceModule()
{
    return ATL::_pAtlModule ? ATL::_pAtlModule->GetResourceInstance() : ::GetModuleHandleA(nullptr);
}

template <class I> void ReleaseInto(I*& field)
{
    if (field)
        field->Release();
    field = nullptr;
}

bool TabText(HWND tabs, int index, char (&text)[kTabTextChars])
{
    std::memset(text, 0, sizeof text);
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = kTabTextChars;
    return ::SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) != 0;
}

bool IsOwnTitle(const char* text)
{
    for (const std::string& title : OwnPageTitles)
        if (!title.empty() && title == text)
            return true;
    return false;
}

} // namespace

CPropPageBase::CPropPageBase(UINT titleId) : m_titleId(titleId)
{
    char title[kTabTextChars] = {};
    const int length = ::LoadStringA(ResourceModule(), titleId, title, kTabTextChars);
    if (length > 0)
        m_title.assign(title, static_cast<size_t>(length));
}

CPropPageBase::~CPropPageBase()
{
    StopNotificationThread();
    ReleaseInterfaces();
}

void CPropPageBase::ReleaseInterfaces()
{
    ReleaseInto(m_pKsControl);
    ReleaseInto(m_pKsObject);
    ReleaseInto(m_pFilter);
}

LRESULT CPropPageBase::OnPrivateMessage(UINT, WPARAM wParam, LPARAM, BOOL& handled)
{
    handled = TRUE;
    if (wParam == 0)
        OnSettingsChanged();
    else
        OnPrivateCommand(wParam);
    return 1;
}

HRESULT CPropPageBase::SetObjects(ULONG count, IUnknown** objects)
{
    if (count == 0) {
        // The frame lets go of the page's objects before it releases the page: the thread, which
        // calls into the page, ends here, while the page is still whole.
        StopNotificationThread();
        return S_OK;
    }
    if (!objects || !objects[0])
        return S_OK;
    IBaseFilter* filter = nullptr;
    if (FAILED(objects[0]->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter))) || !filter)
        return S_OK;
    // The running thread uses the control interface of the old filter: it ends (and disables its
    // event there) before that interface goes.
    StopNotificationThread();
    ReleaseInterfaces();
    SetFilterHandle(nullptr);
    m_pFilter = filter;
    if (FAILED(m_pFilter->QueryInterface(IID_IKsObject, reinterpret_cast<void**>(&m_pKsObject))))
        m_pKsObject = nullptr;
    if (FAILED(m_pFilter->QueryInterface(IID_IKsControl, reinterpret_cast<void**>(&m_pKsControl))))
        m_pKsControl = nullptr;
    if (m_pKsControl)
        StartNotificationThread();
    if (m_pKsObject)
        SetFilterHandle(m_pKsObject->KsGetObjectHandle());
    return S_OK;
}

void CPropPageBase::SetDirty(bool dirty, IPropertyPageSite* site)
{
    m_dirty = dirty;
    if (!site)
        return;
    m_notifyingSite = 1;
    site->OnStatusChange(dirty ? PROPPAGESTATUS_DIRTY : PROPPAGESTATUS_CLEAN);
    if (m_hApplyButton && ::IsWindow(m_hApplyButton))
        ::EnableWindow(m_hApplyButton, dirty ? TRUE : FALSE);
    m_notifyingSite = 0;
}

void CPropPageBase::FindSheetWindow()
{
    if (!::IsWindow(m_hPageWnd))
        return;
    HWND parent = ::GetParent(m_hPageWnd);
    if (!::IsWindow(parent))
        return;
    HWND grandparent = ::GetParent(parent);
    if (!::IsWindow(grandparent))
        return;
    if (!::IsWindow(m_hSheetWnd) || m_hSheetWnd != grandparent)
        m_hSheetWnd = grandparent;
}

void CPropPageBase::FindApplyButton()
{
    if (!::IsWindow(m_hSheetWnd))
        return;
    for (HWND child = ::GetWindow(m_hSheetWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char text[kApplyTextChars + 1] = {};
        ::GetWindowTextA(child, text, kApplyTextChars);
        if (std::strcmp(text, "Apply") == 0) {
            m_hApplyButton = child;
            return;
        }
    }
}

ULONG CPropPageBase::GetSelectedPin() const
{
    if (!m_hPageWnd)
        return kCapturePin;
    const LRESULT index = ::SendDlgItemMessageA(m_hPageWnd, IDC_PIN_SELECTOR, CB_GETCURSEL, 0, 0);
    return index == 1 ? kPreviewPin : kCapturePin;
}

bool CPropPageBase::IsBothPinsSelected() const
{
    return m_hPageWnd && ::SendDlgItemMessageA(m_hPageWnd, IDC_PIN_SELECTOR, CB_GETCURSEL, 0, 0) == kBothIndex;
}

void CPropPageBase::FillPinSelector(HWND dialog, HINSTANCE module)
{
    if (!dialog)
        return;
    for (UINT id : {kCaptureString, kPreviewString, kBothString}) {
        char text[kTabTextChars] = {};
        ::LoadStringA(module, id, text, kTabTextChars);
        ::SendDlgItemMessageA(dialog, IDC_PIN_SELECTOR, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    ::SendDlgItemMessageA(dialog, IDC_PIN_SELECTOR, CB_SETCURSEL, 0, 0);
}

LRESULT CPropPageBase::PruneSheetTabs(UINT, WPARAM, LPARAM lParam, BOOL& handled)
{
    m_hPageWnd = reinterpret_cast<HWND>(lParam);
    if (!m_hSheetWnd)
        FindSheetWindow();
    if (!m_hApplyButton)
        FindApplyButton();
    handled = TRUE;
    HWND sheet = m_hSheetWnd;
    if (!::IsWindow(sheet))
        return E_FAIL;
    HWND tabs = reinterpret_cast<HWND>(::SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
    const int count = static_cast<int>(::SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int i = count - 1; i >= 0; --i) {
        char text[kTabTextChars];
        if (!TabText(tabs, i, text))
            continue;
        if (!IsOwnTitle(text)) {
            ::SendMessageA(sheet, PSM_REMOVEPAGE, static_cast<WPARAM>(i), 0);
            continue;
        }
        bool removed = false;
        for (const char* shared : SharedPageTitles) {
            if (removed || !shared || strcasecmp(text, shared) != 0)
                continue;
            for (int m = i - 1; m >= 0; --m) {
                char earlier[kTabTextChars];
                if (!TabText(tabs, m, earlier))
                    continue;
                if (strcasecmp(earlier, text) == 0) {
                    ::SendMessageA(sheet, PSM_REMOVEPAGE, static_cast<WPARAM>(i), 0);
                    removed = true;
                    break;
                }
            }
        }
    }
    return 1;
}

LRESULT CPropPageBase::OnStyleChanging(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled)
{
    handled = TRUE;
    if (static_cast<int>(wParam) != GWL_EXSTYLE)
        return 1;
    if (auto* style = reinterpret_cast<STYLESTRUCT*>(lParam))
        style->styleNew |= WS_EX_CONTROLPARENT;
    return 0;
}

int CPropPageBase::AskUseNewSettings() const
{
    return ::MessageBoxA(m_hSheetWnd, kNewSettingsText, m_title.c_str(), MB_YESNO);
}

void CPropPageBase::BeginInitDialog(HWND dialog) const
{
    ::PostMessageA(dialog, WM_PRUNE_SHEET_TABS, 0, reinterpret_cast<LPARAM>(dialog));
}

void CPropPageBase::EndInitDialog(HWND dialog)
{
    if (m_pageFlags[0].load())
        ::PostMessageA(dialog, WM_DEVICE_SETTINGS_CHANGED, 0, reinterpret_cast<LPARAM>(dialog));
    m_pageFlags[0].store(true);
}

void CPropPageBase::NoteChangePending(ULONG pin)
{
    SetPageFlag(pin, true);
    HWND page = m_hPageWnd;
    if (page && ::IsWindow(page) && ::IsWindowVisible(page))
        ::PostMessageA(page, WM_DEVICE_SETTINGS_CHANGED, 0, reinterpret_cast<LPARAM>(page));
}

void CPropPageBase::FollowSettingsChange(ULONG pin)
{
    if (!PageFlag(pin) || !m_hPageWnd || !::IsWindowVisible(m_hPageWnd))
        return;
    SetPageFlag(pin, false);
    // The device already holds what the page shows (its own Apply, or the same change made
    // elsewhere): those values are what was last written, and there is nothing to ask.
    if (!CurrentEqualsNotified(pin)) {
        if (AskUseNewSettings() == IDYES)
            UseNotifiedValues(pin);
    }
    SaveNotifiedValues(pin);
    CheckDirty();
    RefreshControls();
}

bool CPropPageBase::StoreNotified(ULONG pin, const void* bytes, size_t length)
{
    if (pin >= m_notified.size())
        return false;
    std::lock_guard<std::mutex> hold(m_notifiedLock);
    std::vector<uint8_t>& copy = m_notified[pin];
    const auto* first = static_cast<const uint8_t*>(bytes);
    if (copy.size() == length && std::memcmp(copy.data(), first, length) == 0)
        return false;
    copy.assign(first, first + length);
    return true;
}

bool CPropPageBase::ReadNotified(ULONG pin, void* bytes, size_t length) const
{
    if (pin >= m_notified.size())
        return false;
    std::lock_guard<std::mutex> hold(m_notifiedLock);
    const std::vector<uint8_t>& copy = m_notified[pin];
    if (copy.size() != length)
        return false;
    std::memcpy(bytes, copy.data(), length);
    return true;
}

DWORD CPropPageBase::StartNotificationThread()
{
    if (m_hThread)
        return 0;
    m_hNotifyEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hStopEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!m_hNotifyEvent || !m_hStopEvent) {
        StopNotificationThread();
        return 0;
    }
    m_hThread = ::CreateThread(nullptr, 0, &CPropPageBase::NotificationThreadEntry, this, 0, &m_threadId);
    if (!m_hThread)
        StopNotificationThread();
    return 0;
}

DWORD CPropPageBase::StopNotificationThread()
{
    if (m_hThread) {
        // The thread blocks only in its wait and in short requests: it always comes back to the
        // wait and sees the stop, so it is joined and never killed.
        ::SetEvent(m_hStopEvent);
        ::WaitForSingleObject(m_hThread, INFINITE);
    }
    for (HANDLE* handle : {&m_hThread, &m_hNotifyEvent, &m_hStopEvent}) {
        if (*handle)
            ::CloseHandle(*handle);
        *handle = nullptr;
    }
    m_threadId = 0;
    return 0;
}

DWORD WINAPI CPropPageBase::NotificationThreadEntry(LPVOID self)
{
    return static_cast<CPropPageBase*>(self)->NotificationThread();
}

DWORD CPropPageBase::NotificationThread()
{
    std::vector<uint8_t> buffer(kNotificationEnableDataBytes, 0);
    try {
        KSEVENTDATA data{};
        data.NotificationType = KSEVENTF_EVENT_HANDLE;
        data.EventHandle = static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(m_hNotifyEvent));
        std::memcpy(buffer.data(), &data, sizeof data);
        KSEVENT enable{};
        enable.Set = KSEVENTSETID_BREVICOR_NOTIFICATION;
        enable.Id = kBrevicorNotificationEventId;
        enable.Flags = KSEVENT_TYPE_ENABLEBUFFERED;
        ULONG returned = 0;
        m_pKsControl->KsEvent(&enable, sizeof enable, buffer.data(), kNotificationEnableDataBytes, &returned);
        const HANDLE waits[2] = {m_hNotifyEvent, m_hStopEvent};
        for (;;) {
            const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (woke != WAIT_OBJECT_0)
                break; // the stop, or a wait that failed: either ends the loop
            // One wake-up may stand for several raises: fetch until the queue is empty, oldest first.
            KSQUERYBUFFER query{};
            query.Event = enable;
            query.Event.Flags = KSEVENT_TYPE_QUERYBUFFER;
            query.EventData = standin::KsEventDataCookie(buffer.data());
            uint8_t* record = buffer.data() + kNotificationEventDataBytes;
            const ULONG recordBytes = kNotificationEnableDataBytes - kNotificationEventDataBytes;
            for (;;) {
                returned = 0;
                const HRESULT fetched = m_pKsControl->KsEvent(reinterpret_cast<PKSEVENT>(&query), sizeof query,
                                                              record, recordBytes, &returned);
                if (FAILED(fetched))
                    break;
                OnDeviceNotification(record);
            }
        }
    } catch (const std::exception&) {
        // A fault in a page's hook ends the loop.
    }
    // Disabled before the buffer goes, so that the driver never signals or fills a freed block.
    ULONG returned = 0;
    m_pKsControl->KsEvent(nullptr, 0, buffer.data(), kNotificationEnableDataBytes, &returned);
    return 0;
}
