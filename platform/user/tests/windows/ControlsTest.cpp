// The standard controls driven as a user drives them, with the pointer and the keys: buttons
// (clicks, the space key, automatic check boxes and radio groups, group boxes, owner drawing),
// statics (the sunken edge, SS_NOTIFY, images), one-line edits (typing, the focus notifications
// and their order against a button's click, number-only, read-only, limits, selection), combo
// boxes (sorted lines, silent messages, the user's choices and their notifications) and list boxes
// (top line, scroll bars as content needs).
#include "ControlTestSupport.h"
#include "standin/controls.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

using namespace windowtest;

namespace {

TEST_F(ControlsTest, ClassesAreRegisteredAtStart)
{
    for (const char16_t* name : {u"Button", u"Static", u"Edit", u"ComboBox", u"ListBox", u"button", u"LISTBOX"}) {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        EXPECT_TRUE(GetClassInfoExW(nullptr, reinterpret_cast<LPCWSTR>(name), &info)) << std::string(name, name + 6);
    }
}

TEST_F(ControlsTest, AutoRadioClickChecksItAndClearsItsGroupOnly)
{
    HWND first = Control(u"Button", 2502, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 10, 10, 80, 16);
    HWND second = Control(u"Button", 2503, BS_AUTORADIOBUTTON, 10, 30, 80, 16);
    HWND third = Control(u"Button", 2504, BS_AUTORADIOBUTTON, 10, 50, 80, 16);
    HWND other = Control(u"Button", 2505, BS_AUTORADIOBUTTON | WS_GROUP, 10, 70, 80, 16);
    SendMessageW(first, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(second, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(other, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_TRUE(TakeCommands().empty()); // BM_SETCHECK notifies nobody

    ClickCentre(third);
    EXPECT_EQ(SendMessageW(third, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(second, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(first, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(other, BM_GETCHECK, 0, 0), BST_CHECKED); // the next group
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{2504, BN_CLICKED}}));
    EXPECT_EQ(GetFocus(), third);
    const auto commands = Only(page, WM_COMMAND);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().wParam, MAKEWPARAM(2504, BN_CLICKED));
    EXPECT_EQ(commands.back().lParam, reinterpret_cast<LPARAM>(third));
}

TEST_F(ControlsTest, ButtonClicksNeedPressAndReleaseInsideOrTheSpaceKey)
{
    HWND box = Control(u"Button", 300, BS_AUTOCHECKBOX, 10, 10, 100, 20);
    HWND push = Control(u"Button", 301, BS_PUSHBUTTON, 10, 40, 100, 20);
    ClickCentre(box);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    ClickCentre(box);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{300, BN_CLICKED}, {300, BN_CLICKED}}));

    // Pressed inside, released outside: shown pressed meanwhile, no click.
    POINT inside{50, 10};
    ClientToScreen(push, &inside);
    standin::MovePointer(inside.x, inside.y);
    standin::PressButton(VK_LBUTTON);
    standin::PumpUntilIdle();
    EXPECT_EQ(GetCapture(), push);
    EXPECT_NE(SendMessageW(push, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
    standin::MovePointer(inside.x, inside.y + 100);
    standin::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(push, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
    standin::ReleaseButton(VK_LBUTTON);
    standin::PumpUntilIdle();
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(TakeCommands().empty());

    // The space key on the focused button, and BM_CLICK.
    SetFocus(box);
    Key(VK_SPACE);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(push, BM_CLICK, 0, 0);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{300, BN_CLICKED}, {301, BN_CLICKED}}));

    // BM_SETSTATE shows pressed without a click; BM_SETCHECK means nothing to a push button.
    SendMessageW(push, BM_SETSTATE, TRUE, 0);
    EXPECT_EQ(SendMessageW(push, BM_GETSTATE, 0, 0) & (BST_PUSHED | BST_CHECKED), BST_PUSHED);
    SendMessageW(push, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(push, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_TRUE(TakeCommands().empty());
}

TEST_F(ControlsTest, GroupBoxesPassThePointerOnAndOwnerDrawnButtonsAskTheParent)
{
    HWND group = Control(u"Button", 310, BS_GROUPBOX, 10, 10, 200, 100, u"Cropping");
    ClickCentre(group);
    EXPECT_TRUE(TakeCommands().empty());
    EXPECT_FALSE(Only(page, WM_LBUTTONDOWN).empty()); // the page beneath got the press

    std::vector<DRAWITEMSTRUCT> drawn;
    HWND owner = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200, nullptr,
                      [&drawn](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
                          if (message == WM_DRAWITEM)
                              drawn.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
                          return std::nullopt;
                      });
    HWND button = CreateWindowExW(0, u"Button", u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 5, 5, 18, 18, owner,
                                  reinterpret_cast<HMENU>(2045), nullptr, nullptr);
    standin::PumpUntilIdle();
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.back().CtlType, UINT(ODT_BUTTON));
    EXPECT_EQ(drawn.back().CtlID, 2045u);
    EXPECT_EQ(drawn.back().hwndItem, button);
    EXPECT_EQ(drawn.back().rcItem.right, 18);
    EXPECT_EQ(drawn.back().itemState & ODS_SELECTED, 0u);
    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    standin::PumpUntilIdle();
    EXPECT_NE(drawn.back().itemState & ODS_SELECTED, 0u);
    DestroyWindow(owner);
}

TEST_F(ControlsTest, SunkenStaticsKeepAnEdgeAndPlainOnesLetClicksThrough)
{
    HWND sunken = Control(u"Static", 258, SS_SUNKEN, 10, 10, 322, 242);
    RECT client{};
    GetClientRect(sunken, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_NE(GetWindowLongPtrW(sunken, GWL_EXSTYLE) & WS_EX_STATICEDGE, 0);
    RECT window{};
    GetWindowRect(sunken, &window);
    EXPECT_EQ(window.right - window.left, 322);

    ClickCentre(sunken); // no SS_NOTIFY: transparent
    EXPECT_TRUE(TakeCommands().empty());
    EXPECT_FALSE(Only(page, WM_LBUTTONDOWN).empty());
    HWND notifying = Control(u"Static", 259, SS_NOTIFY | SS_CENTER, 400, 10, 100, 20, u"Note");
    ClickCentre(notifying);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{259, STN_CLICKED}}));
    char text[16];
    EXPECT_EQ(GetWindowTextA(notifying, text, 16), 4);
}

TEST_F(ControlsTest, ImageStaticsKeepTheirResourceAndTheImageSetLast)
{
    const char16_t title[] = {0xFFFF, 206, 0};
    HWND picture = Control(u"Static", 267, SS_BITMAP, 10, 10, 100, 100, title);
    const standin::StaticImage image = standin::StaticImageOf(picture);
    EXPECT_EQ(image.id, 206);
    EXPECT_EQ(GetWindowTextLengthW(picture), 0);
    HANDLE first = reinterpret_cast<HANDLE>(0x1000);
    HANDLE second = reinterpret_cast<HANDLE>(0x2000);
    EXPECT_EQ(SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(first)), 0);
    EXPECT_EQ(SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(second)),
              reinterpret_cast<LRESULT>(first));
    EXPECT_EQ(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0), reinterpret_cast<LRESULT>(second));
    EXPECT_EQ(SendMessageW(picture, STM_SETIMAGE, IMAGE_ICON, 0x3000), 0); // not this control's kind
    EXPECT_EQ(SendMessageW(picture, STM_GETIMAGE, IMAGE_ICON, 0), 0);
    EXPECT_EQ(standin::StaticImageOf(page).id, 0); // no static
}

TEST_F(ControlsTest, TypingNotifiesAndAButtonPressTakesTheFocusBeforeItsClick)
{
    HWND edit = Control(u"Edit", 1285, ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 10, 10, 100, 20);
    HWND button = Control(u"Button", 1187, BS_PUSHBUTTON, 10, 40, 100, 20, u"Start");
    SetFocus(edit);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{1285, EN_SETFOCUS}}));
    Key('1');
    Key('0');
    Key('A'); // refused: numbers only
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{1285, EN_UPDATE}, {1285, EN_CHANGE}, {1285, EN_UPDATE},
                                                    {1285, EN_CHANGE}}));
    WCHAR text[8];
    GetWindowTextW(edit, text, 8);
    EXPECT_EQ(std::u16string(text), u"10");
    ClickCentre(button);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{1285, EN_KILLFOCUS}, {1187, BN_CLICKED}}));
}

TEST_F(ControlsTest, EditingAtTheCaretAndTheSelection)
{
    HWND edit = Control(u"Edit", 2404, ES_AUTOHSCROLL, 10, 10, 200, 20, u"abcdef");
    SetFocus(edit);
    DWORD start = 9, end = 9;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u);
    SendMessageW(edit, EM_SETSEL, 1, 3); // "bc"
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELONG(1, 3));
    Key('X');
    char text[32];
    GetWindowTextA(edit, text, 32);
    EXPECT_STREQ(text, "axdef");
    Key(VK_BACK);
    Key(VK_DELETE);
    GetWindowTextA(edit, text, 32);
    EXPECT_STREQ(text, "aef");
    Key(VK_END);
    standin::PressKey(VK_SHIFT);
    Key(VK_LEFT);
    standin::ReleaseKey(VK_SHIFT);
    standin::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELONG(2, 3));
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("\xE9t\xE9")); // A form: converted
    WCHAR wide[32];
    GetWindowTextW(edit, wide, 32);
    EXPECT_EQ(std::u16string(wide), u"ae\u00E9t\u00E9");
    EXPECT_TRUE(SendMessageW(edit, EM_GETMODIFY, 0, 0));

    SendMessageW(edit, EM_SETSEL, 0, -1);
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELONG(0, 5));
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0); // deselect, the caret stays
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELONG(5, 5));
    SendMessageW(edit, EM_SETSEL, 4, 100); // past the end: the end
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELONG(4, 5));

    // Read-only: keys change nothing, messages still do.
    TakeCommands();
    EXPECT_TRUE(SendMessageW(edit, EM_SETREADONLY, TRUE, 0));
    EXPECT_NE(GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY, 0);
    Key('Z');
    Key(VK_BACK);
    EXPECT_TRUE(TakeCommands().empty());
    SetWindowTextA(edit, "fixed");
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{2404, EN_UPDATE}, {2404, EN_CHANGE}}));
    EXPECT_FALSE(SendMessageW(edit, EM_GETMODIFY, 0, 0));
    SendMessageW(edit, EM_SETREADONLY, FALSE, 0);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY, 0);
}

TEST_F(ControlsTest, TheLimitCutsWhatIsTypedAndThePointerPlacesTheCaret)
{
    HWND edit = Control(u"Edit", 253, 0, 10, 10, 200, 20);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 32767);
    SendMessageW(edit, EM_LIMITTEXT, 3, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
    ClickCentre(edit);
    EXPECT_EQ(GetFocus(), edit);
    TakeCommands();
    for (UINT key : {'A', 'B', 'C', 'D'})
        Key(key);
    char text[8];
    GetWindowTextA(edit, text, 8);
    EXPECT_STREQ(text, "abc");
    const std::vector<Command> commands = TakeCommands();
    ASSERT_EQ(commands.size(), 7u);
    EXPECT_EQ(commands.back(), (Command{253, EN_MAXTEXT}));
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"xyz")); // nothing fits
    GetWindowTextA(edit, text, 8);
    EXPECT_STREQ(text, "abc");
    SetWindowTextA(edit, "longer than three"); // the limit is the user's, not the program's
    EXPECT_EQ(GetWindowTextLengthW(edit), 17);
    Click(edit, 13, 5); // two characters in
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELONG(2, 2));
    SendMessageW(edit, EM_LIMITTEXT, 0, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
}

TEST_F(ControlsTest, ComboMessagesAreSilentAndAUsersChoiceNotifies)
{
    HWND combo = Control(u"ComboBox", 1910, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL, 10, 10, 150, 120);
    RECT window{};
    GetWindowRect(combo, &window);
    EXPECT_EQ(window.bottom - window.top, 21); // the field; the given height is the list's
    for (const char* line : {"2: Tuner", "10: S-Video", "1: Composite", "3: tuner audio"})
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    char text[32];
    // Case-blind, character by character: "10: ..." before "2: ...".
    const char* sorted[] = {"10: S-Video", "1: Composite", "2: Tuner", "3: tuner audio"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text)),
                  static_cast<LRESULT>(std::strlen(sorted[i])));
        EXPECT_STREQ(text, sorted[i]);
    }
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(SendMessageW(combo, CB_SETITEMDATA, 1, 77), TRUE);
    EXPECT_EQ(SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0), TRUE);
    EXPECT_TRUE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_TRUE(TakeCommands().empty()); // none of this is the user's
    EXPECT_TRUE(Only(page, WM_COMMAND).empty());
    GetWindowTextA(combo, text, 32);
    EXPECT_STREQ(text, "2: Tuner");

    // The user opens the list and chooses its second line.
    ClickCentre(combo);
    EXPECT_TRUE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    RECT dropped{};
    SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_EQ(dropped.top, window.top);
    EXPECT_GT(dropped.bottom, window.bottom + 4 * 13);
    Click(combo, 20, 21 + 1 + 13 + 6);
    EXPECT_FALSE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, SendMessageW(combo, CB_GETCURSEL, 0, 0), 0), 77);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{1910, CBN_SETFOCUS}, {1910, CBN_DROPDOWN},
                                                    {1910, CBN_SELENDOK}, {1910, CBN_CLOSEUP},
                                                    {1910, CBN_SELCHANGE}}));
    const auto commands = Only(page, WM_COMMAND);
    EXPECT_EQ(commands.back().wParam, MAKEWPARAM(1910, CBN_SELCHANGE));
    EXPECT_EQ(commands.back().lParam, reinterpret_cast<LPARAM>(combo));
    GetWindowTextA(combo, text, 32);
    EXPECT_STREQ(text, "1: Composite");

    // Opened and closed by a click outside: nothing chosen.
    ClickCentre(combo);
    Click(combo, 20, 300);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{1910, CBN_DROPDOWN}, {1910, CBN_SELENDCANCEL},
                                                    {1910, CBN_CLOSEUP}}));
    EXPECT_EQ(GetCapture(), nullptr);
    // Keys on the closed list choose at once; on the open one Escape takes nothing back.
    Key(VK_DOWN);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{1910, CBN_SELCHANGE}}));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    Key(VK_DOWN); // the last but one
    Key(VK_DOWN); // the last
    Key(VK_DOWN); // nothing further
    EXPECT_EQ(TakeCommands().size(), 1u);
    Key(VK_F4);
    Key(VK_UP);
    Key(VK_ESCAPE);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{1910, CBN_DROPDOWN}, {1910, CBN_SELENDCANCEL},
                                                    {1910, CBN_CLOSEUP}}));
}

TEST_F(ControlsTest, ComboLinesFindDeleteAndRefuse)
{
    HWND combo = Control(u"ComboBox", 247, CBS_DROPDOWNLIST, 10, 10, 150, 120);
    for (const char16_t* line : {u"Small", u"Medium", u"Large"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"Tiny")), 0);
    EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 9, reinterpret_cast<LPARAM>(u"x")), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"medium")), 2);
    EXPECT_EQ(SendMessageA(combo, CB_FINDSTRING, 2, reinterpret_cast<LPARAM>("s")), 1); // after 2, round to Small
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"Huge")), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"la")), 3);
    EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, 0, 0), 3); // the selection moves with its line
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, 2, 0), 2); // its own line goes: no selection
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(GetWindowTextLengthW(combo), 0);
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 5, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 5, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 5, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0), 13);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE(TakeCommands().empty());
}

TEST_F(ControlsTest, ListTopLineAndScrollBarsFollowTheContent)
{
    HWND list = Control(u"ListBox", 1329, LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY, 10, 10, 300,
                        200);
    // Made with both bars; shown only as content needs.
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL), 0);
    RECT client{};
    GetClientRect(list, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);
    for (int i = 0; i < 100; ++i)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("line " + std::to_string(i)).c_str()));
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 100);
    EXPECT_NE(GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL, 0);
    EXPECT_EQ(SendMessageW(list, LB_SETTOPINDEX, 40, 0), LB_OKAY);
    EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 40);
    SendMessageW(list, LB_SETTOPINDEX, 99, 0); // as far as the last page goes
    EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 100 - 200 / 13);
    EXPECT_EQ(SendMessageW(list, LB_SETTOPINDEX, 100, 0), LB_ERR);

    SendMessageW(list, LB_SETHORIZONTALEXTENT, 32767, 0);
    EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), 32767);
    EXPECT_NE(GetWindowLongPtrW(list, GWL_STYLE) & WS_HSCROLL, 0);
    GetClientRect(list, &client);
    EXPECT_EQ(client.right, 300 - 17);
    EXPECT_EQ(client.bottom, 200 - 17);
    SendMessageW(list, LB_SETHORIZONTALEXTENT, 100, 0);
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & WS_HSCROLL, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL, 0);
    EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 0);

    // A plain list box never shows bars it was not made with.
    HWND plain = Control(u"ListBox", 1330, 0, 320, 10, 100, 40);
    for (int i = 0; i < 20; ++i)
        SendMessageW(plain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"x"));
    EXPECT_EQ(GetWindowLongPtrW(plain, GWL_STYLE) & WS_VSCROLL, 0);
    GetClientRect(plain, &client);
    EXPECT_EQ(client.bottom, 39); // whole lines
    EXPECT_TRUE(TakeCommands().empty());
}

TEST_F(ControlsTest, ListSelectionBySilentMessagesAndByTheUser)
{
    HWND list = Control(u"ListBox", 1290, LBS_NOTIFY | LBS_SORT | WS_VSCROLL, 10, 10, 200, 40);
    for (const char* line : {"PAL", "NTSC", "HD 1080I 50", "SECAM"})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    char text[16];
    SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "HD 1080I 50");
    EXPECT_EQ(SendMessageW(list, LB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendMessageW(list, LB_GETSEL, 1, 0), 1);
    EXPECT_EQ(SendMessageW(list, LB_SETCURSEL, 9, 0), LB_ERR);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_TRUE(TakeCommands().empty());
    Click(list, 20, 13 * 2 + 3); // the third line
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);
    Key(VK_DOWN);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(TakeCommands(), (std::vector<Command>{{1290, LBN_SETFOCUS}, {1290, LBN_SELCHANGE},
                                                    {1290, LBN_SELCHANGE}}));
    EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 1); // scrolled to show it
    EXPECT_EQ(SendMessageW(list, LB_DELETESTRING, 0, 0), 3);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);
}

TEST(ControlsThreads, AnotherThreadsControlAnswersThroughItsOwner)
{
    standin::ResetInput();
    std::atomic<HWND> list{nullptr};
    std::atomic<bool> done{false};
    windowtest::Thread owner([&]() -> DWORD {
        HWND made = CreateWindowExW(0, u"ListBox", u"", WS_POPUP | LBS_SORT, 0, 0, 100, 100, nullptr, nullptr,
                                    nullptr, nullptr);
        list = made;
        standin::PumpUntil([&] { return done.load(); }, 60000);
        DestroyWindow(made);
        return 0;
    });
    while (!list.load())
        std::this_thread::yield();
    ASSERT_TRUE(WaitUntilWaiting(owner.Id()));
    for (const char* line : {"b", "C", "a"})
        EXPECT_GE(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line)), 0);
    char text[4];
    EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(text)), 1);
    EXPECT_STREQ(text, "C");
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
    done = true;
    PostMessageW(list, WM_NULL, 0, 0);
    EXPECT_EQ(owner.Join(), 0u);
}

} // namespace
