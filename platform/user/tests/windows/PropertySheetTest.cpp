// Property sheets as a user drives them: the tab control and the three buttons, pages made when
// first shown, the notifications of selection, apply and reset, "Apply" following PSM_CHANGED and
// PSM_UNCHANGED, pages added and removed (the current one, and one removing itself while it is
// made), refusals that keep a page or the sheet, and the modal sheet's answer.
#include "ControlTestSupport.h"
#include "DialogTemplateBuilder.h"
#include "um/prsht.h"

#include <map>
#include <string>
#include <vector>

using namespace windowtest;

namespace {

// What each page's procedure saw, by the lParam of its PROPSHEETPAGE.
struct PageLog {
    std::vector<std::string> events;
    HWND hwnd = nullptr;
    LRESULT killAnswer = FALSE;
    LRESULT applyAnswer = PSNRET_NOERROR;
    bool removeSelfAtInit = false;
    bool pressOkAtInit = false;
    bool pressCancelAtInit = false;
};
std::map<LPARAM, PageLog>& Logs()
{
    static std::map<LPARAM, PageLog> logs;
    return logs;
}

INT_PTR WINAPI PageProcedure(HWND hwnd, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        const auto* record = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, record->lParam);
        PageLog& log = Logs()[record->lParam];
        log.hwnd = hwnd;
        log.events.push_back("init");
        HWND sheet = GetParent(hwnd);
        if (log.removeSelfAtInit)
            SendMessageW(sheet, PSM_REMOVEPAGE, 0, 0);
        if (log.pressOkAtInit)
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        if (log.pressCancelAtInit)
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return TRUE;
    }
    PageLog& log = Logs()[GetWindowLongPtrW(hwnd, DWLP_USER)];
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        switch (header->code) {
        case PSN_SETACTIVE:
            log.events.push_back("setactive");
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
            return TRUE;
        case PSN_KILLACTIVE:
            log.events.push_back("killactive");
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, log.killAnswer);
            return TRUE;
        case PSN_APPLY:
            log.events.push_back("apply");
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, log.applyAnswer);
            return TRUE;
        case PSN_RESET:
            log.events.push_back("reset");
            return TRUE;
        default:
            return FALSE;
        }
    }
    if (message == WM_DESTROY)
        log.events.push_back("destroy");
    return FALSE;
}

class PropertySheetTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        Logs().clear();
    }
    void TearDown() override
    {
        for (HWND sheet : sheets_)
            if (IsWindow(sheet))
                DestroyWindow(sheet);
        ControlsTest::TearDown();
    }
    // A page of a template `cx` by `cy` dialog units titled `title`, or titled "Color" by its record.
    HPROPSHEETPAGE Page(LPARAM id, short cx = 200, short cy = 100, bool colorTitle = false)
    {
        templates_.emplace_back(WS_CHILD | DS_SETFONT, cx, cy);
        templates_.back().Control(u"Edit", 100, WS_TABSTOP, 7, 7, 50, 12);
        PROPSHEETPAGEA page{};
        page.dwSize = sizeof page;
        page.dwFlags = PSP_DLGINDIRECT | (colorTitle ? PSP_USETITLE : 0);
        page.pResource = reinterpret_cast<LPCDLGTEMPLATEA>(templates_.back().Get());
        page.pszTitle = "Color";
        page.pfnDlgProc = PageProcedure;
        page.lParam = id;
        return CreatePropertySheetPageA(&page);
    }
    HWND Modeless(std::vector<HPROPSHEETPAGE> pages, DWORD flags = 0)
    {
        PROPSHEETHEADERA header{};
        header.dwSize = sizeof header;
        header.dwFlags = PSH_MODELESS | flags;
        header.hwndParent = page;
        header.pszCaption = "Properties";
        header.nPages = static_cast<UINT>(pages.size());
        header.phpage = pages.data();
        HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
        sheets_.push_back(sheet);
        return sheet;
    }
    static std::string TabText(HWND tab, int index)
    {
        char text[32] = "";
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageW(tab, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    static HWND Child(HWND sheet, const char* text)
    {
        for (HWND child = GetWindow(sheet, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char found[32] = "";
            GetWindowTextA(child, found, sizeof found);
            if (std::string(found) == text)
                return child;
        }
        return nullptr;
    }
    static void ClickTab(HWND tab, int index)
    {
        RECT rect{};
        SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect));
        Click(tab, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    static std::vector<std::string> Events(LPARAM id) { return Logs()[id].events; }

private:
    std::vector<TemplateBuilder> templates_;
    std::vector<HWND> sheets_;
};

using Strings = std::vector<std::string>;

TEST_F(PropertySheetTest, TabsButtonsAndPagesMadeAtFirstShow)
{
    HWND sheet = Modeless({Page(1, 200, 100, true), Page(2, 250, 80), Page(3, 100, 150)});
    ASSERT_NE(sheet, nullptr);
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(TabText(tab, 0), "Color");
    EXPECT_EQ(TabText(tab, 1), "Dialog"); // the template's own title
    HWND ok = Child(sheet, "OK");
    HWND cancel = Child(sheet, "Cancel");
    HWND apply = Child(sheet, "Apply");
    ASSERT_TRUE(ok && cancel && apply);
    EXPECT_EQ(GetDlgCtrlID(apply), ID_APPLY_NOW);
    EXPECT_FALSE(IsWindowEnabled(apply));
    char caption[32];
    GetWindowTextA(sheet, caption, 32);
    EXPECT_STREQ(caption, "Properties");

    // Only the first page is made, and it is told it is active.
    EXPECT_EQ(Events(1), (Strings{"init", "setactive"}));
    EXPECT_TRUE(Events(2).empty());
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), Logs()[1].hwnd);
    // The page area takes the largest page: 250 by 150 dialog units.
    RECT area{};
    GetClientRect(Logs()[1].hwnd, &area);
    EXPECT_GE(area.right, 250 * 6 / 4);
    EXPECT_GE(area.bottom, 150 * 13 / 8);

    // "Apply" follows the pages' changes.
    SendMessageW(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(Logs()[1].hwnd), 0);
    EXPECT_TRUE(IsWindowEnabled(apply));
    SendMessageW(sheet, PSM_UNCHANGED, reinterpret_cast<WPARAM>(Logs()[1].hwnd), 0);
    EXPECT_FALSE(IsWindowEnabled(apply));

    // The user picks the second tab: the first page is asked, hidden; the second made and shown.
    ClickTab(tab, 1);
    EXPECT_EQ(Events(1), (Strings{"init", "setactive", "killactive"}));
    EXPECT_EQ(Events(2), (Strings{"init", "setactive"}));
    EXPECT_FALSE(IsWindowVisible(Logs()[1].hwnd));
    EXPECT_TRUE(IsWindowVisible(Logs()[2].hwnd));
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 1);
    // A page that refuses to be left keeps the selection.
    Logs()[2].killAnswer = TRUE;
    ClickTab(tab, 2);
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(Events(3).empty());
    Logs()[2].killAnswer = FALSE;
    EXPECT_TRUE(SendMessageW(sheet, PSM_SETCURSEL, 2, 0));
    EXPECT_EQ(Events(3), (Strings{"init", "setactive"}));
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_FALSE(SendMessageW(sheet, PSM_SETCURSEL, 7, 0));
}

// A page lies over the tab control's display area: a click on a control of the shown page reaches
// that control, on the first page and on one shown later, not the tab control beneath.
TEST_F(PropertySheetTest, AClickOnAPagesControlReachesThatControl)
{
    HWND sheet = Modeless({Page(1), Page(2)});
    ASSERT_NE(sheet, nullptr);
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    for (LPARAM id : {LPARAM(1), LPARAM(2)}) {
        if (id == 2)
            ClickTab(tab, 1);
        HWND edit = GetDlgItem(Logs()[id].hwnd, 100);
        ASSERT_NE(edit, nullptr);
        RECT rect{};
        GetWindowRect(edit, &rect);
        EXPECT_EQ(WindowFromPoint(POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}), edit) << id;
        ClickCentre(edit);
        EXPECT_EQ(GetFocus(), edit) << id;
    }
}

TEST_F(PropertySheetTest, OkAppliesEveryPageMadeAndAnInvalidPageKeepsTheSheet)
{
    HWND sheet = Modeless({Page(1), Page(2), Page(3)});
    SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
    Logs()[2].applyAnswer = PSNRET_INVALID;
    SendMessageW(sheet, PSM_SETCURSEL, 0, 0);
    HWND ok = Child(sheet, "OK");
    ClickCentre(ok);
    // Page 1 applied first; page 2 refused and is shown again; the sheet stays.
    EXPECT_EQ(Events(1), (Strings{"init", "setactive", "killactive", "setactive", "killactive", "apply"}));
    EXPECT_EQ(Events(2), (Strings{"init", "setactive", "killactive", "apply", "setactive"}));
    EXPECT_TRUE(Events(3).empty());            // never made, never applied
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), Logs()[2].hwnd);
    Logs()[2].applyAnswer = PSNRET_NOERROR;
    Logs()[1].events.clear();
    Logs()[2].events.clear();
    SendMessageW(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(Logs()[2].hwnd), 0);
    ClickCentre(Child(sheet, "Apply"));
    EXPECT_EQ(Events(1), (Strings{"apply"}));
    EXPECT_EQ(Events(2), (Strings{"killactive", "apply"}));
    EXPECT_FALSE(IsWindowEnabled(Child(sheet, "Apply")));
    Logs()[1].events.clear();
    Logs()[2].events.clear();
    ClickCentre(ok);
    EXPECT_EQ(Events(1), (Strings{"apply", "destroy"}));
    EXPECT_EQ(Events(2), (Strings{"killactive", "apply", "destroy"}));
    EXPECT_EQ(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0), 0); // closed: the owner destroys it
    EXPECT_TRUE(DestroyWindow(sheet));
}

TEST_F(PropertySheetTest, PagesAddedAndRemoved)
{
    HWND sheet = Modeless({Page(1), Page(2), Page(3)});
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    EXPECT_TRUE(SendMessageW(sheet, PSM_ADDPAGE, 0, reinterpret_cast<LPARAM>(Page(4, 200, 100, true))));
    EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(TabText(tab, 3), "Color");
    // Removing the current page shows the next one first.
    SendMessageW(sheet, PSM_REMOVEPAGE, 0, 0);
    EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(Events(1), (Strings{"init", "setactive", "destroy"}));
    EXPECT_EQ(Events(2), (Strings{"init", "setactive"}));
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 0);
    // The last page, current, gives way to the one before it.
    SendMessageW(sheet, PSM_SETCURSEL, 2, 0);
    SendMessageW(sheet, PSM_REMOVEPAGE, 2, 0);
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), Logs()[3].hwnd);
    // A page not current goes without a change of page.
    SendMessageW(sheet, PSM_REMOVEPAGE, 0, 0);
    EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 0);
    SendMessageW(sheet, PSM_REMOVEPAGE, 5, 0); // no such page
    EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 1);
}

TEST_F(PropertySheetTest, APageRemovingItselfWhileItIsMade)
{
    Logs()[1].removeSelfAtInit = true;
    HWND sheet = Modeless({Page(1), Page(2)});
    ASSERT_NE(sheet, nullptr);
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(Events(1), (Strings{"init", "destroy"}));
    EXPECT_EQ(Events(2), (Strings{"init", "setactive"}));
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), Logs()[2].hwnd);
    EXPECT_FALSE(IsWindow(Logs()[1].hwnd));
}

TEST_F(PropertySheetTest, ModalSheetAnswersWhetherChangesWereApplied)
{
    Logs()[1].pressOkAtInit = true;
    HPROPSHEETPAGE pages[] = {Page(1), Page(2)};
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof header;
    header.hwndParent = page;
    header.nPages = 2;
    header.phpage = pages;
    EXPECT_EQ(PropertySheetA(&header), 1);
    EXPECT_EQ(Events(1), (Strings{"init", "setactive", "killactive", "apply", "destroy"}));
    EXPECT_TRUE(IsWindowEnabled(page)); // the owner enabled again

    Logs().clear();
    Logs()[1].pressCancelAtInit = true;
    HPROPSHEETPAGE again[] = {Page(1)};
    header.phpage = again;
    header.nPages = 1;
    EXPECT_EQ(PropertySheetA(&header), 0);
    EXPECT_EQ(Events(1), (Strings{"init", "setactive", "reset", "destroy"}));

    header.dwSize = 4;
    EXPECT_EQ(PropertySheetA(&header), -1);
    PROPSHEETPAGEA bad{};
    bad.dwSize = 2;
    EXPECT_EQ(CreatePropertySheetPageA(&bad), nullptr);
    EXPECT_EQ(CreatePropertySheetPageA(nullptr), nullptr);
}

} // namespace
