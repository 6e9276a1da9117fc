// The controls painted in a dialog made from a template: marks and dots, disabled text in
// COLOR_GRAYTEXT, the parent's WM_CTLCOLOR* brushes, a module's bitmap in an SS_BITMAP static,
// pressed and raised buttons, and every control of the dialogs drawing something of its own. The
// picture is saved as PNG where USER_PAINT_PICTURES names a folder, for people to look at.
#include "../windows/DialogTemplateBuilder.h"
#include "GdiTestSupport.h"
#include "standin/pictures.h"
#include "um/commctrl.h"
#include "um/prsht.h"
#include "standin/windowing.h"

#include <set>

namespace {

using windowtest::TemplateBuilder;

enum : int {
    kChecked = 10,
    kUnchecked,
    kRadio,
    kDisabled,
    kEnabledLabel,
    kRedLabel,
    kOk,
    kGroup,
    kEdit,
    kCombo,
    kList,
    kTrack,
    kSpin,
    kTabs,
    kTree,
    kPicture,
};

HBRUSH g_red = nullptr;

INT_PTR ColouringProcedure(HWND, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC && GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kRedLabel) {
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<INT_PTR>(g_red);
    }
    return FALSE;
}

class ControlPainting : public testing::Test {
protected:
    void SetUp() override { g_red = CreateSolidBrush(RGB(255, 0, 0)); }
    void TearDown() override
    {
        if (dialog)
            DestroyWindow(dialog);
        standin::PumpUntilIdle();
        DeleteObject(g_red);
        EXPECT_TRUE(gditest::Rules().empty());
    }
    HWND Make()
    {
        TemplateBuilder t(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SETFONT, 260, 170);
        t.Control(u"Button", kChecked, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 7, 80, 10, u"&Checked")
            .Control(u"Button", kUnchecked, BS_AUTOCHECKBOX, 7, 20, 80, 10, u"Unchecked")
            .Control(u"Button", kRadio, BS_AUTORADIOBUTTON, 7, 33, 80, 10, u"Radio")
            .Control(u"Static", kDisabled, SS_LEFT | WS_DISABLED, 7, 46, 80, 8, u"Disabled label")
            .Control(u"Static", kEnabledLabel, SS_LEFT, 7, 58, 80, 8, u"Enabled label")
            .Control(u"Static", kRedLabel, SS_LEFT, 7, 70, 80, 8, u"Red label")
            .Control(u"Button", kOk, BS_DEFPUSHBUTTON | WS_TABSTOP, 7, 84, 50, 14, u"OK")
            .Control(u"Button", kGroup, BS_GROUPBOX, 95, 5, 80, 40, u"Group")
            .Control(u"Edit", kEdit, WS_BORDER | ES_AUTOHSCROLL, 100, 17, 70, 12, u"Edit text")
            .Control(u"ComboBox", kCombo, CBS_DROPDOWNLIST, 95, 50, 80, 60)
            .Control(u"ListBox", kList, WS_BORDER, 95, 68, 80, 40)
            .Control(u"msctls_trackbar32", kTrack, TBS_AUTOTICKS, 7, 104, 80, 18)
            .Control(u"msctls_updown32", kSpin, 0, 60, 84, 10, 14)
            .Control(u"SysTabControl32", kTabs, 0, 180, 5, 75, 50)
            .Control(u"SysTreeView32", kTree, TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | WS_BORDER, 180, 60, 75,
                     60)
            .Control(u"Static", kPicture, SS_BITMAP, 95, 112, 20, 20, nullptr, 1);
        dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), t.Get(), nullptr, ColouringProcedure, 0);
        return dialog;
    }
    // The control's rectangle in the dialog's picture.
    RECT Where(int id)
    {
        RECT r{};
        GetWindowRect(GetDlgItem(dialog, id), &r);
        RECT frame{};
        GetWindowRect(dialog, &frame);
        OffsetRect(&r, -frame.left, -frame.top);
        return r;
    }
    static int Count(const standin::WindowPixels& p, const RECT& r, COLORREF c)
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += p.At(x, y) == c;
        return n;
    }
    static std::set<COLORREF> Colours(const standin::WindowPixels& p, const RECT& r)
    {
        std::set<COLORREF> seen;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                seen.insert(p.At(x, y));
        return seen;
    }
    void Save(const char* name)
    {
        if (const char* folder = std::getenv("USER_PAINT_PICTURES"))
            standin::SaveWindowPng(dialog, std::string(folder) + "/" + name);
    }
    HWND dialog = nullptr;
};

TEST_F(ControlPainting, ADialogShowsCheckMarksDisabledGreyTextAndItsParentsColours)
{
    ASSERT_NE(Make(), nullptr);
    CheckDlgButton(dialog, kChecked, BST_CHECKED);
    CheckDlgButton(dialog, kRadio, BST_CHECKED);
    HWND combo = GetDlgItem(dialog, kCombo);
    for (const char16_t* line : {u"First", u"Second"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    HWND list = GetDlgItem(dialog, kList);
    for (const char16_t* line : {u"Alpha", u"Beta", u"Gamma"})
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    SendMessageW(list, LB_SETCURSEL, 1, 0);
    SendMessageW(GetDlgItem(dialog, kTrack), TBM_SETRANGE, TRUE, MAKELPARAM(0, 10));
    SendMessageW(GetDlgItem(dialog, kTrack), TBM_SETPOS, TRUE, 7);
    HWND tabs = GetDlgItem(dialog, kTabs);
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<LPWSTR>(u"One");
    SendMessageW(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));
    tab.pszText = const_cast<LPWSTR>(u"Two");
    SendMessageW(tabs, TCM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&tab));
    HWND tree = GetDlgItem(dialog, kTree);
    TVINSERTSTRUCTW insert{};
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<LPWSTR>(u"Root");
    auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    insert.hParent = root;
    insert.item.pszText = const_cast<LPWSTR>(u"Leaf");
    SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));

    standin::PumpUntilIdle();
    Save("control-painting.png");
    const standin::WindowPixels p = standin::ReadWindowPixels(dialog);
    ASSERT_GT(p.width, 0);
    const COLORREF face = GetSysColor(COLOR_3DFACE), black = GetSysColor(COLOR_WINDOWTEXT),
                   grey = GetSysColor(COLOR_GRAYTEXT), white = GetSysColor(COLOR_WINDOW);

    // The checked box carries its mark inside the 13 x 13 box, the unchecked one is white there.
    const RECT checked = Where(kChecked), unchecked = Where(kUnchecked);
    auto box = [](const RECT& control) {
        const int top = control.top + ((control.bottom - control.top) - 13) / 2;
        return RECT{control.left + 2, top + 2, control.left + 11, top + 11};
    };
    EXPECT_GE(Count(p, box(checked), black), 15);
    EXPECT_EQ(Count(p, box(unchecked), black), 0);
    EXPECT_GT(Count(p, box(unchecked), white), 60);
    // The checked radio button's dot.
    const RECT radio = Where(kRadio);
    const int radioTop = radio.top + ((radio.bottom - radio.top) - 12) / 2;
    EXPECT_GE(Count(p, RECT{radio.left + 4, radioTop + 4, radio.left + 8, radioTop + 8}, black), 4);
    // The disabled label is grey text only; the enabled one black.
    const RECT disabled = Where(kDisabled);
    EXPECT_GT(Count(p, disabled, grey), 10);
    EXPECT_EQ(Count(p, disabled, black), 0);
    const RECT enabled = Where(kEnabledLabel);
    EXPECT_GT(Count(p, enabled, black), 10);
    EXPECT_EQ(Count(p, enabled, grey), 0);
    // The label whose parent answers WM_CTLCOLORSTATIC with red and white text.
    const RECT red = Where(kRedLabel);
    EXPECT_EQ(p.At(red.right - 1, red.bottom - 1), RGB(255, 0, 0));
    EXPECT_GT(Count(p, red, RGB(255, 255, 255)), 10);
    // The dialog's own background is the face colour (WM_CTLCOLORDLG's default).
    EXPECT_EQ(p.At(p.width / 2, p.height - 5), face);
    // The default button: a black frame round a raised face with black text.
    const RECT ok = Where(kOk);
    EXPECT_EQ(p.At(ok.left, ok.top), GetSysColor(COLOR_WINDOWFRAME));
    EXPECT_EQ(p.At(ok.left + 1, ok.top + 1), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_GT(Count(p, ok, black), 40);
    // The module's bitmap in the SS_BITMAP static: its two table colours at its origin.
    const RECT picture = Where(kPicture);
    EXPECT_EQ(p.At(picture.left, picture.top), RGB(10, 20, 30));
    EXPECT_EQ(p.At(picture.left + 1, picture.top), RGB(200, 0, 0));
    // Each of the other controls draws more than its background: text, edges, marks in black.
    for (int id : {kGroup, kEdit, kCombo, kList, kTrack, kSpin, kTabs, kTree}) {
        const std::set<COLORREF> seen = Colours(p, Where(id));
        EXPECT_GE(seen.size(), 2u) << "control " << id;
        EXPECT_TRUE(seen.count(black)) << "control " << id;
    }
    // The edit's text and the tree's labels on the window colour.
    EXPECT_GT(Count(p, Where(kEdit), white), 100);
    EXPECT_GT(Count(p, Where(kTree), white), 100);
    // The list's chosen line is highlighted.
    EXPECT_GT(Count(p, Where(kList), GetSysColor(COLOR_HIGHLIGHT)), 50);
}

TEST_F(ControlPainting, PressingAButtonSinksItAndFocusingItDrawsItsFocusRectangle)
{
    ASSERT_NE(Make(), nullptr);
    standin::PumpUntilIdle();
    HWND ok = GetDlgItem(dialog, kOk);
    const RECT r = Where(kOk);
    const COLORREF highlight = GetSysColor(COLOR_3DHILIGHT), shadow = GetSysColor(COLOR_3DSHADOW);
    standin::WindowPixels p = standin::ReadWindowPixels(dialog);
    EXPECT_EQ(p.At(r.left + 1, r.top + 1), highlight);
    SendMessageW(ok, BM_SETSTATE, TRUE, 0);
    standin::PumpUntilIdle();
    p = standin::ReadWindowPixels(dialog);
    EXPECT_EQ(p.At(r.left + 1, r.top + 1), shadow);
    SendMessageW(ok, BM_SETSTATE, FALSE, 0);
    SetFocus(ok);
    standin::PumpUntilIdle();
    p = standin::ReadWindowPixels(dialog);
    EXPECT_EQ(p.At(r.left + 1, r.top + 1), highlight);
    // The dotted focus rectangle four pixels in: alternate pixels differ from the face.
    int dots = 0;
    for (int x = r.left + 4; x < r.right - 4; ++x)
        dots += p.At(x, r.top + 4) != GetSysColor(COLOR_3DFACE);
    EXPECT_GE(dots, (r.right - r.left - 8) / 2 - 1);
    // Disabled: the text turns grey.
    EnableWindow(ok, FALSE);
    standin::PumpUntilIdle();
    p = standin::ReadWindowPixels(dialog);
    EXPECT_EQ(Count(p, RECT{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2}, GetSysColor(COLOR_WINDOWTEXT)), 0);
    EXPECT_GT(Count(p, r, GetSysColor(COLOR_GRAYTEXT)), 10);
}

TEST_F(ControlPainting, PrintClientPaintsIntoTheGivenContext)
{
    ASSERT_NE(Make(), nullptr);
    CheckDlgButton(dialog, kChecked, BST_CHECKED);
    standin::PumpUntilIdle();
    HWND check = GetDlgItem(dialog, kChecked);
    RECT client{};
    GetClientRect(check, &client);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(check, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    int ink = 0;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < 13; ++x)
            ink += GetPixel(memory, x, y) == GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_GE(ink, 15);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

INT_PTR SheetPageProcedure(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST_F(ControlPainting, APropertySheetShowsItsTabsButtonsAndPageInItsFont)
{
    TemplateBuilder page(WS_CHILD | DS_SETFONT, 160, 60);
    page.Control(u"Static", 100, SS_LEFT, 7, 7, 100, 8, u"Page text");
    PROPSHEETPAGEW record{};
    record.dwSize = sizeof record;
    record.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
    record.pResource = reinterpret_cast<LPCDLGTEMPLATEW>(page.Get());
    record.pszTitle = u"General";
    record.pfnDlgProc = SheetPageProcedure;
    HPROPSHEETPAGE pages[] = {CreatePropertySheetPageW(&record)};
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_MODELESS;
    header.pszCaption = u"Filter Properties";
    header.nPages = 1;
    header.phpage = pages;
    dialog = reinterpret_cast<HWND>(PropertySheetW(&header));
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOWNORMAL);
    standin::PumpUntilIdle();
    Save("property-sheet.png");
    const standin::WindowPixels p = standin::ReadWindowPixels(dialog);
    const COLORREF black = GetSysColor(COLOR_WINDOWTEXT), grey = GetSysColor(COLOR_GRAYTEXT);
    auto inside = [&](HWND child) {
        RECT r{}, frame{};
        GetWindowRect(child, &r);
        GetWindowRect(dialog, &frame);
        OffsetRect(&r, -frame.left, -frame.top);
        return r;
    };
    HWND ok = GetDlgItem(dialog, IDOK), apply = GetDlgItem(dialog, ID_APPLY_NOW);
    ASSERT_TRUE(ok && apply);
    EXPECT_GT(Count(p, inside(ok), black), 20);
    // Apply starts disabled: grey text (its black is only the edge's dark shadow).
    RECT face = inside(apply);
    InflateRect(&face, -2, -2);
    EXPECT_GT(Count(p, face, grey), 20);
    EXPECT_EQ(Count(p, face, black), 0);
    // The tab's title and the page's text.
    HWND tab = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETTABCONTROL, 0, 0));
    RECT tabs = inside(tab);
    tabs.bottom = tabs.top + 20;
    EXPECT_GT(Count(p, tabs, black), 20);
    HWND shown = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(shown, nullptr);
    EXPECT_GT(Count(p, inside(GetDlgItem(shown, 100)), black), 20);
}

} // namespace
