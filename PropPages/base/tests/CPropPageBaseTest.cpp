// The page base on the whole stack: the bench's machine with the driver and a board, the base's test
// pages registered as a page library, opened in the property frame on the board's filters or hosted
// here with a site that records what the page tells it. A second application's crop SETs raise the
// driver's change notification, which each bound page's thread fetches.
#include "BaseTestPageIds.h"
#include "BaseTestPages.h"
#include "PageBench.h"
#include "SheetHost.h"
#include "base/CPropPageBase.h"

#include "shared/guiddef.h"
#include "um/commctrl.h"
#include "um/ks.h"
#include "um/ocidl.h"
#include "standin/windowing.h"

#include "privatesetguids.h" // after the platform's GUID

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using pagebench::PageBench;

constexpr char kPromptText[] =
    "The settings for this device have been changed by another application!\nDo you want to use the new values?";

std::u16string U16(const char* text)
{
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

// A page site that keeps every status the page reports.
class RecordingSite final : public IPropertyPageSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPageSite)) {
            *ppv = static_cast<IPropertyPageSite*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override
    {
        statuses.push_back(flags);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* locale) override
    {
        *locale = 1033;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** unknown) override
    {
        *unknown = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

    std::vector<DWORD> statuses;
    std::atomic<ULONG> refs{1};
};

class PageBaseTest : public testing::Test {
protected:
    void SetUp() override
    {
        bench = std::make_unique<PageBench>();
        ASSERT_EQ(bench->BoardStatus(), STATUS_SUCCESS);
        ASSERT_EQ(bench->RegisterPageLibrary(BASE_TEST_PAGES), S_OK);
    }
    void TearDown() override
    {
        Unhost();
        if (bench) {
            EXPECT_EQ(bench->Shutdown().leaks, 0u);
        }
        bench.reset();
    }

    // The page hosted as a frame would: a top-level window holding an "Apply" button and the
    // page's container, the recording site, the filter of that name, activated and pumped.
    void Host(const CLSID& page, const std::u16string& filterName)
    {
        ASSERT_EQ(CoCreateInstance(page, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                   reinterpret_cast<void**>(&hosted)),
                  S_OK);
        host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 400, nullptr,
                               nullptr, nullptr, nullptr);
        apply = CreateWindowExA(0, "BUTTON", "Apply", WS_CHILD | WS_VISIBLE, 500, 340, 80, 24, host, nullptr,
                                nullptr, nullptr);
        container = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 500, 330, host, nullptr,
                                    nullptr, nullptr);
        ASSERT_TRUE(host && apply && container);
        filter = sheethost::BindFilter(filterName);
        ASSERT_NE(filter, nullptr);
        ASSERT_EQ(hosted->SetPageSite(&site), S_OK);
        IUnknown* objects[] = {filter};
        ASSERT_EQ(hosted->SetObjects(1, objects), S_OK);
        RECT area{0, 0, 500, 330};
        ASSERT_EQ(hosted->Activate(container, &area, TRUE), S_OK);
        ASSERT_TRUE(PageBench::WaitUntil([this] { return HostedPage() != nullptr; }));
        standin::PumpUntilIdle();
    }
    void Unhost()
    {
        if (hosted) {
            hosted->Deactivate();
            hosted->SetObjects(0, nullptr);
            hosted->SetPageSite(nullptr);
            hosted->Release();
            hosted = nullptr;
        }
        if (filter)
            filter->Release();
        filter = nullptr;
        if (host)
            DestroyWindow(host);
        host = nullptr;
    }
    HWND HostedPage() const { return GetWindow(container, GW_CHILD); }

    // A second application's crop SET of the pin type with that top line.
    HRESULT SetCrop(ULONG pin, ULONG top, ULONG noPersist)
    {
        if (!other)
            other = bench->OpenFilter(pagebench::kVideoFilter);
        CROP_RECORD record{};
        record.pinType = pin;
        if (FAILED(PageBench::Get(other, PROPSETID_BREVICOR_CROP, record).result))
            return E_FAIL;
        record.pinType = pin;
        record.top = top;
        record.noPersist = noPersist;
        return PageBench::Set(other, PROPSETID_BREVICOR_CROP, record).result;
    }
    size_t CountRequests(ULONG ioControl, const GUID* set = nullptr, ULONG flags = 0) const
    {
        size_t count = 0;
        for (const auto& request : PageBench::Requests())
            if (request.ioControl == ioControl && (!set || (request.set == *set && request.flags == flags)))
                ++count;
        return count;
    }

    std::unique_ptr<PageBench> bench;
    RecordingSite site;
    IPropertyPage* hosted = nullptr;
    IBaseFilter* filter = nullptr;
    HWND host = nullptr;
    HWND apply = nullptr;
    HWND container = nullptr;
    HANDLE other = nullptr;
};

TEST_F(PageBaseTest, FirstOwnPageLeavesOnlyOwnTabsAndTheEarlierProcAmp)
{
    ASSERT_EQ(bench->OpenSheet(pagebench::kVideoFilter,
                               {CLSID_ForeignColorPage, CLSID_BaseTestDevicePage, CLSID_SystemProcAmpPage,
                                CLSID_BaseTestProcAmpPage, CLSID_BaseTestTracePage}),
              S_OK);
    ASSERT_EQ(bench->TabCount(), 5);
    ASSERT_TRUE(bench->PickTab(1)); // "Device", the first of the library's pages
    ASSERT_TRUE(PageBench::WaitUntil([&] { return bench->TabCount() == 3; }));
    EXPECT_EQ(bench->TabTitle(0), u"Device");
    EXPECT_EQ(bench->TabTitle(1), u"Video Proc Amp");
    EXPECT_EQ(bench->TabTitle(2), u"Trace");
    ASSERT_TRUE(bench->PickTab(1));
    EXPECT_NE(bench->Control(IDC_BASE_PLAIN), nullptr) << "the kept Video Proc Amp tab is the system's page";
    EXPECT_EQ(bench->Control(IDC_BASE_TOP), nullptr);
}

TEST_F(PageBaseTest, EditMakesDirtyAndApplySendsOneSetAndCleans)
{
    Host(CLSID_BaseTestDevicePage, pagebench::kVideoFilter);
    HWND page = HostedPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(hosted->IsPageDirty(), S_FALSE);
    SetDlgItemInt(page, IDC_BASE_TOP, 12, FALSE);
    ASSERT_FALSE(site.statuses.empty());
    EXPECT_EQ(site.statuses.back(), static_cast<DWORD>(PROPPAGESTATUS_DIRTY));
    EXPECT_TRUE(IsWindowEnabled(apply));
    EXPECT_EQ(hosted->IsPageDirty(), S_OK);

    PageBench::ClearRequests();
    EXPECT_EQ(hosted->Apply(), S_OK);
    EXPECT_EQ(CountRequests(IOCTL_KS_PROPERTY, &PROPSETID_BREVICOR_CROP, KSPROPERTY_TYPE_SET), 1u);
    EXPECT_EQ(site.statuses.back(), static_cast<DWORD>(PROPPAGESTATUS_CLEAN));
    EXPECT_FALSE(IsWindowEnabled(apply));
    EXPECT_EQ(hosted->IsPageDirty(), S_FALSE);

    HANDLE reader = bench->OpenFilter(pagebench::kVideoFilter);
    CROP_RECORD held{};
    held.pinType = kCapturePin;
    ASSERT_EQ(PageBench::Get(reader, PROPSETID_BREVICOR_CROP, held).result, S_OK);
    EXPECT_EQ(held.top, 12u);
}

TEST_F(PageBaseTest, FailedSetKeepsThePageDirtyAndApplyAnswersTheFailure)
{
    Host(CLSID_BaseTestDevicePage, pagebench::kCrossbarFilter);
    HWND page = HostedPage();
    ASSERT_NE(page, nullptr);
    SetDlgItemInt(page, IDC_BASE_TOP, 20, FALSE);
    ASSERT_EQ(hosted->IsPageDirty(), S_OK);
    PageBench::ClearRequests();
    const HRESULT applied = hosted->Apply();
    EXPECT_TRUE(FAILED(applied)) << std::hex << applied;
    ASSERT_EQ(CountRequests(IOCTL_KS_PROPERTY, &PROPSETID_BREVICOR_CROP, KSPROPERTY_TYPE_SET), 1u);
    HRESULT driverAnswer = S_OK;
    for (const auto& request : PageBench::Requests())
        if (request.set == PROPSETID_BREVICOR_CROP)
            driverAnswer = request.status;
    EXPECT_LT(driverAnswer, 0);
    EXPECT_EQ(hosted->IsPageDirty(), S_OK);
    EXPECT_EQ(site.statuses.back(), static_cast<DWORD>(PROPPAGESTATUS_DIRTY));
    EXPECT_TRUE(IsWindowEnabled(apply));
    // Still dirty: a second Apply sends again and fails again.
    EXPECT_EQ(hosted->Apply(), applied);
}

TEST_F(PageBaseTest, TwoPagesEachReceiveEveryCropNotificationAndNoPersistRaisesNone)
{
    ASSERT_EQ(bench->OpenSheet(pagebench::kVideoFilter, {CLSID_BaseTestDevicePage, CLSID_BaseTestTracePage}), S_OK);
    ASSERT_TRUE(bench->PickTab(1));
    ASSERT_TRUE(bench->PickTab(0));
    ASSERT_EQ(bench->TabCount(), 2);
    // The visible page asks about every change for its pin type: the user keeps the page's values.
    PageBench::AnswerMessageBoxes(std::vector<int>(8, IDNO));

    auto notesOf = [&](int tab) {
        bench->PickTab(tab);
        return bench->Text(IDC_BASE_NOTES);
    };
    ASSERT_EQ(SetCrop(kCapturePin, 10, 0), S_OK);
    for (int tab : {0, 1})
        EXPECT_TRUE(PageBench::WaitUntil([&] { return notesOf(tab) == "C1:10 "; })) << notesOf(tab);

    ASSERT_EQ(SetCrop(kCapturePin, 11, 0), S_OK);
    ASSERT_EQ(SetCrop(kCapturePin, 12, 0), S_OK);
    ASSERT_EQ(SetCrop(kCapturePin, 13, 0), S_OK);
    for (int tab : {0, 1})
        EXPECT_TRUE(PageBench::WaitUntil([&] { return notesOf(tab) == "C1:10 C1:11 C1:12 C1:13 "; }))
            << notesOf(tab);

    ASSERT_EQ(SetCrop(kCapturePin, 77, 1), S_OK);
    ASSERT_EQ(SetCrop(kCapturePin, 14, 0), S_OK);
    for (int tab : {0, 1})
        EXPECT_TRUE(PageBench::WaitUntil([&] { return notesOf(tab) == "C1:10 C1:11 C1:12 C1:13 C1:14 "; }))
            << notesOf(tab);
}

TEST_F(PageBaseTest, ChangeForTheOtherPinAsksOnlyWhenThatPinIsChosenAndYesResendsWithoutPersisting)
{
    ASSERT_EQ(bench->OpenSheet(pagebench::kVideoFilter, {CLSID_BaseTestDevicePage}), S_OK);
    ASSERT_NE(bench->Control(IDC_PIN_SELECTOR), nullptr);
    ASSERT_EQ(bench->Text(IDC_PIN_SELECTOR), "Capture");
    PageBench::MessageBoxes(); // forget what came before

    ASSERT_EQ(SetCrop(kPreviewPin, 40, 0), S_OK);
    ASSERT_TRUE(PageBench::WaitUntil([&] { return bench->Text(IDC_BASE_NOTES) == "C2:40 "; }));
    EXPECT_TRUE(PageBench::MessageBoxes().empty()) << "no prompt for the pin type not chosen";

    PageBench::AnswerMessageBoxes({IDYES});
    PageBench::ClearRequests();
    ASSERT_TRUE(bench->Select(IDC_PIN_SELECTOR, 1));
    const auto boxes = PageBench::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, U16(kPromptText));
    EXPECT_EQ(boxes[0].caption, u"Device");
    EXPECT_EQ(boxes[0].answer, IDYES);
    EXPECT_EQ(bench->Text(IDC_BASE_TOP), "40");

    std::vector<CROP_RECORD> sent;
    for (const auto& request : PageBench::Requests())
        if (request.ioControl == IOCTL_KS_PROPERTY && request.set == PROPSETID_BREVICOR_CROP &&
            request.flags == KSPROPERTY_TYPE_SET && request.input.size() >= sizeof(CROP_RECORD)) {
            CROP_RECORD record{};
            std::memcpy(&record, request.input.data(), sizeof record);
            sent.push_back(record);
        }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].pinType, kPreviewPin);
    EXPECT_EQ(sent[0].top, 40u);
    EXPECT_EQ(sent[0].noPersist, 1u);
}

TEST_F(PageBaseTest, DestroyingAPageWhoseThreadWaitsJoinsItAfterTheDisable)
{
    ASSERT_EQ(bench->OpenSheet(pagebench::kVideoFilter, {CLSID_BaseTestDevicePage}), S_OK);
    // The thread has enabled its event (a crop SET reaches it) and waits again.
    ASSERT_EQ(SetCrop(kPreviewPin, 30, 0), S_OK);
    ASSERT_TRUE(PageBench::WaitUntil([&] { return bench->Text(IDC_BASE_NOTES) == "C2:30 "; }));
    EXPECT_EQ(CountRequests(IOCTL_KS_DISABLE_EVENT), 0u);
    bench->CloseSheet();
    // The page is gone only once its thread has disabled its event and ended.
    EXPECT_EQ(CountRequests(IOCTL_KS_DISABLE_EVENT), 1u);
}

TEST_F(PageBaseTest, NotifiedValuesEqualToTheEditedOnesBecomeTheSavedCopyWithoutAPrompt)
{
    Host(CLSID_BaseTestDevicePage, pagebench::kVideoFilter);
    HWND page = HostedPage();
    ASSERT_NE(page, nullptr);
    SetDlgItemInt(page, IDC_BASE_TOP, 50, FALSE);
    ASSERT_EQ(hosted->IsPageDirty(), S_OK);
    PageBench::MessageBoxes();
    // Another application writes what the page shows: nothing to ask, and the page is clean.
    ASSERT_EQ(SetCrop(kCapturePin, 50, 0), S_OK);
    EXPECT_TRUE(PageBench::WaitUntil([&] { return hosted->IsPageDirty() == S_FALSE; }));
    EXPECT_EQ(site.statuses.back(), static_cast<DWORD>(PROPPAGESTATUS_CLEAN));
    EXPECT_FALSE(IsWindowEnabled(apply));
    EXPECT_TRUE(PageBench::MessageBoxes().empty());
    // A later change is offered again: the flag was cleared and the notified copy holds 50.
    PageBench::AnswerMessageBoxes({IDNO});
    ASSERT_EQ(SetCrop(kCapturePin, 51, 0), S_OK);
    EXPECT_TRUE(PageBench::WaitUntil([&] { return !PageBench::MessageBoxes().empty(); }));
    // After No the page keeps 50 while the device holds 51: dirty.
    EXPECT_EQ(hosted->IsPageDirty(), S_OK);
}

TEST_F(PageBaseTest, ASecondBindMovesTheNotificationThreadToTheNewFilter)
{
    Host(CLSID_BaseTestDevicePage, pagebench::kCrossbarFilter);
    HWND page = HostedPage();
    ASSERT_NE(page, nullptr);
    IBaseFilter* video = sheethost::BindFilter(pagebench::kVideoFilter);
    ASSERT_NE(video, nullptr);
    IUnknown* objects[] = {video};
    PageBench::ClearRequests();
    ASSERT_EQ(hosted->SetObjects(1, objects), S_OK);
    video->Release();
    // The old thread disabled its event on the crossbar before the new one enabled on the video filter.
    EXPECT_EQ(CountRequests(IOCTL_KS_DISABLE_EVENT), 1u);
    ASSERT_TRUE(PageBench::WaitUntil([&] { return CountRequests(IOCTL_KS_ENABLE_EVENT) >= 1; }));
    ASSERT_EQ(SetCrop(kPreviewPin, 33, 0), S_OK);
    EXPECT_TRUE(PageBench::WaitUntil([&] {
        char notes[64] = {};
        GetDlgItemTextA(page, IDC_BASE_NOTES, notes, sizeof notes);
        return std::string(notes) == "C2:33 ";
    }));
}

TEST_F(PageBaseTest, BothReadsTheCapturePinAndAppliesToBothPinTypes)
{
    ASSERT_EQ(SetCrop(kCapturePin, 8, 0), S_OK);
    ASSERT_EQ(SetCrop(kPreviewPin, 9, 0), S_OK);
    Host(CLSID_BaseTestDevicePage, pagebench::kVideoFilter);
    HWND page = HostedPage();
    ASSERT_NE(page, nullptr);
    HWND selector = GetDlgItem(page, IDC_PIN_SELECTOR);
    ASSERT_EQ(SendMessageA(selector, CB_GETCOUNT, 0, 0), 3);
    ASSERT_EQ(SendMessageA(selector, CB_SETCURSEL, 2, 0), 2);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_PIN_SELECTOR, CBN_SELCHANGE), reinterpret_cast<LPARAM>(selector));
    EXPECT_EQ(GetDlgItemInt(page, IDC_BASE_TOP, nullptr, FALSE), 8u) << "\"Both\" shows the capture pin's values";
    SetDlgItemInt(page, IDC_BASE_TOP, 21, FALSE);
    PageBench::ClearRequests();
    ASSERT_EQ(hosted->Apply(), S_OK);
    std::vector<CROP_RECORD> sent;
    for (const auto& request : PageBench::Requests())
        if (request.set == PROPSETID_BREVICOR_CROP && request.flags == KSPROPERTY_TYPE_SET &&
            request.input.size() >= sizeof(CROP_RECORD)) {
            CROP_RECORD record{};
            std::memcpy(&record, request.input.data(), sizeof record);
            sent.push_back(record);
        }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].pinType, kBothPins);
    EXPECT_EQ(sent[0].top, 21u);
    EXPECT_EQ(sent[0].noPersist, 0u);
}

TEST_F(PageBaseTest, ExtendedStyleChangesGainControlParentAndOthersAreRefused)
{
    Host(CLSID_BaseTestDevicePage, pagebench::kVideoFilter);
    HWND page = HostedPage();
    ASSERT_NE(page, nullptr);
    STYLESTRUCT style{};
    style.styleOld = 0;
    style.styleNew = 0x4;
    EXPECT_EQ(SendMessageA(page, WM_STYLECHANGING, static_cast<WPARAM>(GWL_EXSTYLE), reinterpret_cast<LPARAM>(&style)), 0);
    EXPECT_EQ(style.styleNew, 0x4u | WS_EX_CONTROLPARENT);
    STYLESTRUCT plain{};
    plain.styleNew = 0x4;
    EXPECT_EQ(SendMessageA(page, WM_STYLECHANGING, static_cast<WPARAM>(GWL_STYLE), reinterpret_cast<LPARAM>(&plain)), 1);
    EXPECT_EQ(plain.styleNew, 0x4u);
}

} // namespace
