// The stand-in's user actions reach the controls as input and produce the controls' own
// notifications: typing, choosing lines, spinning, sliding, dragging, tabs and "Apply".
#include "ControlTestSupport.h"
#include "standin/actions.h"
#include "um/prsht.h"

#include <cstring>
#include <string>
#include <vector>

using namespace windowtest;

namespace {

class UserActionsTest : public ControlsTest {};

TEST_F(UserActionsTest, TypeSelectAndClick)
{
    HWND edit = Control(u"Edit", 249, ES_AUTOHSCROLL, 10, 10, 100, 20, u"old");
    standin::Type(edit, "Key 1,000.5-x");
    char text[32];
    GetWindowTextA(edit, text, 32);
    EXPECT_STREQ(text, "Key 1,000.5-x");
    EXPECT_EQ(GetFocus(), edit);

    HWND list = Control(u"ListBox", 250, LBS_NOTIFY, 10, 40, 100, 40);
    for (const char* line : {"a", "b", "c", "d", "e", "f"})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    TakeCommands();
    EXPECT_TRUE(standin::Select(list, 5));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 5);
    const auto commands = TakeCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().code, LBN_SELCHANGE);
    EXPECT_FALSE(standin::Select(list, 6));

    HWND combo = Control(u"ComboBox", 251, CBS_DROPDOWNLIST, 10, 90, 100, 100);
    for (const char* line : {"one", "two", "three"})
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    EXPECT_TRUE(standin::Select(combo, 2));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_FALSE(standin::Select(edit, 0));

    HWND box = Control(u"Button", 252, BS_AUTOCHECKBOX, 10, 200, 80, 20);
    standin::Click(box);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
}

// Every character of the ANSI code page types: those of the keyboard by their keys (shift where
// the layout needs it), the others as Alt and a zero-led decimal code on the numeric pad.
TEST_F(UserActionsTest, TypeGivesEveryAnsiCharacter)
{
    HWND edit = Control(u"Edit", 249, ES_AUTOHSCROLL, 10, 10, 300, 20);
    standin::Type(edit, "C:\\logs\\t_1.log");
    char text[300];
    GetWindowTextA(edit, text, sizeof(text));
    EXPECT_STREQ(text, "C:\\logs\\t_1.log");

    std::string printable;
    for (int c = 0x20; c <= 0x7E; ++c)
        printable += static_cast<char>(c);
    standin::Type(edit, printable);
    GetWindowTextA(edit, text, sizeof(text));
    EXPECT_EQ(std::string(text), printable);

    // The upper half of the code page: accents, the euro sign, the no-break space, the y diaeresis.
    std::string upper;
    for (int c = 0x80; c <= 0xFF; ++c)
        upper += static_cast<char>(c);
    standin::Type(edit, upper);
    std::vector<char> all(512, 0);
    GetWindowTextA(edit, all.data(), static_cast<int>(all.size()));
    EXPECT_EQ(std::string(all.data()), upper);
    WCHAR euro[4] = {};
    standin::Type(edit, "\x80\xE9");
    GetWindowTextW(edit, euro, 4);
    EXPECT_EQ(euro[0], 0x20AC);
    EXPECT_EQ(euro[1], 0x00E9);
}

// A code typed on the numeric pad with Alt held gives its character when Alt is let go, and
// nothing before; the digits themselves are not typed.
TEST_F(UserActionsTest, AltAndANumericPadCodeTypeOneCharacter)
{
    HWND edit = Control(u"Edit", 249, ES_AUTOHSCROLL, 10, 10, 300, 20);
    SetFocus(edit);
    standin::PumpUntilIdle();
    standin::PressKey(VK_MENU);
    standin::PumpUntilIdle();
    for (UINT digit : {0u, 1u, 9u, 1u}) {
        standin::PressKey(VK_NUMPAD0 + digit);
        standin::PumpUntilIdle();
        standin::ReleaseKey(VK_NUMPAD0 + digit);
        standin::PumpUntilIdle();
    }
    char text[8] = {};
    GetWindowTextA(edit, text, sizeof(text));
    EXPECT_STREQ(text, "");
    standin::ReleaseKey(VK_MENU);
    standin::PumpUntilIdle();
    GetWindowTextA(edit, text, sizeof(text));
    EXPECT_STREQ(text, "\xBF"); // the inverted question mark, 0191
}

TEST_F(UserActionsTest, SpinSlideAndDrag)
{
    HWND buddy = Control(u"Edit", 250, ES_AUTOHSCROLL, 10, 10, 80, 20);
    HWND spin = Control(UPDOWN_CLASSW, 260, UDS_SETBUDDYINT, 90, 10, 16, 20);
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    SendMessageW(spin, UDM_SETRANGE32, 0, 540);
    SendMessageW(spin, UDM_SETPOS32, 0, 100);
    UDACCEL accel{0, 2};
    SendMessageW(spin, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
    TakeScrolls();
    standin::Spin(spin, 3);
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 106);
    standin::Spin(spin, -1);
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 104);
    EXPECT_EQ(TakeScrolls().size(), 8u); // a position and an end for each click

    HWND bar = Control(TRACKBAR_CLASSW, 274, 0, 10, 50, 226, 30);
    SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELONG(-9, 15));
    standin::Slide(bar, 3);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 3);
    auto scrolls = TakeScrolls();
    ASSERT_GE(scrolls.size(), 3u);
    EXPECT_EQ(scrolls[0].code, TB_THUMBTRACK);
    EXPECT_EQ(scrolls[0].position, 3);
    EXPECT_EQ(scrolls.back().code, TB_ENDTRACK);
    standin::Slide(bar, -9, true);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -9);
    scrolls = TakeScrolls();
    ASSERT_EQ(scrolls.size(), 2u);
    EXPECT_EQ(scrolls[0].code, TB_TOP);

    RECT thumb{};
    SendMessageW(bar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    const int x = (thumb.left + thumb.right) / 2;
    standin::Drag(bar, POINT{x, 15}, POINT{x + 100, 15}, 4);
    scrolls = TakeScrolls();
    ASSERT_EQ(scrolls.size(), 6u); // four moves, the release's position and its end
    EXPECT_EQ(scrolls[3].code, TB_THUMBTRACK);
    EXPECT_EQ(scrolls[4].code, TB_THUMBPOSITION);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 3);
}

INT_PTR WINAPI DirtyPage(HWND hwnd, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_APP) {
        SendMessageW(GetParent(hwnd), PSM_CHANGED, reinterpret_cast<WPARAM>(hwnd), 0);
        return TRUE;
    }
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY) {
        SetWindowTextW(hwnd, u"applied");
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, PSNRET_NOERROR);
        return TRUE;
    }
    return FALSE;
}

TEST_F(UserActionsTest, TabsAndApplyOfASheet)
{
    std::vector<uint32_t> bytes(16, 0);
    // An empty child template, 100 by 50 units.
    const unsigned char raw[] = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0,
                                 100, 0, 50, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(bytes.data(), raw, sizeof raw);
    HPROPSHEETPAGE pages[2];
    for (auto& made : pages) {
        PROPSHEETPAGEA record{};
        record.dwSize = sizeof record;
        record.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
        record.pResource = reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data());
        record.pszTitle = "Page";
        record.pfnDlgProc = DirtyPage;
        made = CreatePropertySheetPageA(&record);
    }
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_MODELESS;
    header.hwndParent = page;
    header.nPages = 2;
    header.phpage = pages;
    HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
    ASSERT_NE(sheet, nullptr);
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    EXPECT_FALSE(standin::PressApply(sheet)); // nothing changed yet
    EXPECT_TRUE(standin::SelectTab(tab, 1));
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_FALSE(standin::SelectTab(tab, 2));
    HWND current = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    SendMessageW(current, WM_APP, 0, 0);
    EXPECT_TRUE(standin::PressApply(sheet));
    char text[16];
    GetWindowTextA(current, text, 16);
    EXPECT_STREQ(text, "applied");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, ID_APPLY_NOW)));
    DestroyWindow(sheet);
    // PumpUntil gives up after its default second of the machine's clock.
    EXPECT_FALSE(standin::PumpUntil([] { return false; }));
}

} // namespace
