// The common controls driven as a user drives them: the trackbar (signed ranges, silent position
// messages, keys, channel clicks, thumb drags and the scroll codes they send) and the up-down
// (ranges either way round, its buddy's number with and without group separators, clicks and
// arrow keys with their notifications, refusals and wrapping), the tab control (items in both
// text forms, silent selection, the user's choice and its refusal) and the tree view (insertion
// places, navigation, deletion, expansion and selection by the user).
#include "ControlTestSupport.h"

#include <cstring>
#include <string>
#include <vector>

using namespace windowtest;

namespace {

class CommonControlsTest : public ControlsTest {
protected:
    std::u16string TextOf(HWND hwnd)
    {
        WCHAR text[64]{};
        GetWindowTextW(hwnd, text, 64);
        return text;
    }
    // Moves the pointer, with the left button held, to a client point of the window.
    static void DragTo(HWND hwnd, int x, int y)
    {
        POINT at{x, y};
        ClientToScreen(hwnd, &at);
        standin::MovePointer(at.x, at.y);
        standin::PumpUntilIdle();
    }
    static void PressAt(HWND hwnd, int x, int y)
    {
        DragTo(hwnd, x, y);
        standin::PressButton(VK_LBUTTON);
        standin::PumpUntilIdle();
    }
    static void Release()
    {
        standin::ReleaseButton(VK_LBUTTON);
        standin::PumpUntilIdle();
    }
};

TEST_F(CommonControlsTest, InitCommonControlsExChecksItsRecordAndTheClassesExist)
{
    INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES | ICC_TREEVIEW_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&init));
    init.dwSize = 4;
    SetLastError(0);
    EXPECT_FALSE(InitCommonControlsEx(&init));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(InitCommonControlsEx(nullptr));
    for (const char16_t* name : {TRACKBAR_CLASSW, UPDOWN_CLASSW}) {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        EXPECT_TRUE(GetClassInfoExW(nullptr, name, &info));
    }
    HWND made = CreateWindowExA(0, TRACKBAR_CLASSA, "", WS_CHILD, 0, 0, 100, 20, page, nullptr, nullptr, nullptr);
    EXPECT_NE(made, nullptr);
}

TEST_F(CommonControlsTest, TrackbarRangeHalvesAreSignedAndSettingThePositionIsSilent)
{
    HWND bar = Control(TRACKBAR_CLASSW, 274, TBS_AUTOTICKS, 10, 10, 200, 30);
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMAX, 0, 0), 100);
    SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELONG(-20, 20));
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMIN, 0, 0), -20);
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMAX, 0, 0), 20);
    SendMessageW(bar, TBM_SETRANGE, FALSE, MAKELONG(-9, 15));
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMIN, 0, 0), -9);
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMAX, 0, 0), 15);
    SendMessageW(bar, TBM_SETPOS, TRUE, 3);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 3);
    SendMessageW(bar, TBM_SETPOS, TRUE, 99); // kept in the range
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 15);
    SendMessageW(bar, TBM_SETPOS, TRUE, -99);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -9);
    SendMessageW(bar, TBM_SETRANGEMIN, TRUE, -4);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -4); // a new range takes the position in
    SendMessageW(bar, TBM_SETRANGEMAX, TRUE, 200);
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMIN, 0, 0), -4);
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMAX, 0, 0), 200);
    EXPECT_TRUE(TakeScrolls().empty());
    EXPECT_TRUE(Only(page, WM_HSCROLL).empty());

    SendMessageW(bar, TBM_SETRANGE, FALSE, MAKELONG(0, 100));
    SendMessageW(bar, TBM_SETTICFREQ, 10, 0);
    EXPECT_EQ(SendMessageW(bar, TBM_GETNUMTICS, 0, 0), 11);
    EXPECT_EQ(SendMessageW(bar, TBM_SETLINESIZE, 0, 4), 1);
    EXPECT_EQ(SendMessageW(bar, TBM_GETLINESIZE, 0, 0), 4);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPAGESIZE, 0, 0), 20); // a fifth of the range
    EXPECT_EQ(SendMessageW(bar, TBM_SETPAGESIZE, 0, 5), 20);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPAGESIZE, 0, 0), 5);
}

TEST_F(CommonControlsTest, TrackbarKeysSendTheirCodesThenEndTrackAtTheRelease)
{
    HWND bar = Control(TRACKBAR_CLASSW, 2409, 0, 10, 10, 200, 30);
    SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELONG(-20, 20));
    SendMessageW(bar, TBM_SETLINESIZE, 0, 2);
    SendMessageW(bar, TBM_SETPAGESIZE, 0, 5);
    SetFocus(bar);
    TakeScrolls();
    Key(VK_HOME);
    EXPECT_EQ(TakeScrolls(), (std::vector<Scroll>{{WM_HSCROLL, TB_TOP, 0, bar}, {WM_HSCROLL, TB_ENDTRACK, 0, bar}}));
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -20);
    Key(VK_RIGHT);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -18);
    Key(VK_NEXT);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -13);
    Key(VK_UP);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -15);
    Key(VK_PRIOR);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -20);
    Key(VK_LEFT); // already at the minimum: reported, not moved
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), -20);
    Key(VK_END);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 20);
    std::vector<int> codes;
    for (const auto& scroll : TakeScrolls())
        codes.push_back(scroll.code);
    EXPECT_EQ(codes, (std::vector<int>{TB_LINEDOWN, TB_ENDTRACK, TB_PAGEDOWN, TB_ENDTRACK, TB_LINEUP, TB_ENDTRACK,
                                       TB_PAGEUP, TB_ENDTRACK, TB_LINEUP, TB_ENDTRACK, TB_BOTTOM, TB_ENDTRACK}));
    Key('A'); // no move, no report
    EXPECT_TRUE(TakeScrolls().empty());
    EXPECT_EQ(SendMessageW(bar, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);

    // A vertical trackbar reports with WM_VSCROLL.
    HWND upright = Control(TRACKBAR_CLASSW, 2410, TBS_VERT, 250, 10, 30, 200);
    SetFocus(upright);
    Key(VK_END);
    EXPECT_EQ(TakeScrolls(), (std::vector<Scroll>{{WM_VSCROLL, TB_BOTTOM, 0, upright}, {WM_VSCROLL, TB_ENDTRACK, 0, upright}}));
    EXPECT_EQ(SendMessageW(upright, TBM_GETPOS, 0, 0), 100);
}

TEST_F(CommonControlsTest, TrackbarThumbDragTracksEachMoveAndPositionsAtTheRelease)
{
    HWND bar = Control(TRACKBAR_CLASSW, 274, 0, 10, 10, 226, 30); // channel 13..213: two pixels a step
    SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELONG(0, 100));
    SendMessageW(bar, TBM_SETPOS, TRUE, 50);
    RECT thumb{};
    SendMessageW(bar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    EXPECT_EQ((thumb.left + thumb.right) / 2, 113);
    RECT channel{};
    SendMessageW(bar, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    EXPECT_EQ(channel.left, 13);
    EXPECT_EQ(channel.right, 213);

    PressAt(bar, 113, 15);
    EXPECT_EQ(GetCapture(), bar);
    EXPECT_EQ(GetFocus(), bar);
    EXPECT_TRUE(TakeScrolls().empty()); // pressing the thumb moves nothing
    DragTo(bar, 133, 15);
    DragTo(bar, 153, 40); // off the control: the position follows along the channel
    DragTo(bar, 500, 15); // beyond the end: the maximum
    DragTo(bar, 33, 15);
    Release();
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(TakeScrolls(), (std::vector<Scroll>{{WM_HSCROLL, TB_THUMBTRACK, 60, bar},
                                                  {WM_HSCROLL, TB_THUMBTRACK, 70, bar},
                                                  {WM_HSCROLL, TB_THUMBTRACK, 100, bar},
                                                  {WM_HSCROLL, TB_THUMBTRACK, 10, bar},
                                                  {WM_HSCROLL, TB_THUMBPOSITION, 10, bar},
                                                  {WM_HSCROLL, TB_ENDTRACK, 0, bar}}));
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 10);

    // Negative positions travel signed in the high word.
    SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELONG(-50, 50));
    SendMessageW(bar, TBM_SETPOS, TRUE, 0);
    PressAt(bar, 113, 15);
    DragTo(bar, 23, 15);
    Release();
    const auto scrolls = TakeScrolls();
    ASSERT_EQ(scrolls.size(), 3u);
    EXPECT_EQ(scrolls[0].position, -45);
    EXPECT_EQ(scrolls[1].code, TB_THUMBPOSITION);
    EXPECT_EQ(scrolls[1].position, -45);
}

TEST_F(CommonControlsTest, TrackbarChannelClickPagesTowardThePointer)
{
    HWND bar = Control(TRACKBAR_CLASSW, 282, 0, 10, 10, 226, 30);
    SendMessageW(bar, TBM_SETPOS, FALSE, 50);
    Click(bar, 200, 15);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 70);
    Click(bar, 20, 15);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 50);
    EXPECT_EQ(TakeScrolls(), (std::vector<Scroll>{{WM_HSCROLL, TB_PAGEDOWN, 0, bar},
                                                  {WM_HSCROLL, TB_ENDTRACK, 0, bar},
                                                  {WM_HSCROLL, TB_PAGEUP, 0, bar},
                                                  {WM_HSCROLL, TB_ENDTRACK, 0, bar}}));
    // Another window taking the pointer ends the move.
    PressAt(bar, 113, 15);
    SetCapture(page);
    EXPECT_EQ(TakeScrolls(), (std::vector<Scroll>{{WM_HSCROLL, TB_THUMBPOSITION, 50, bar}, {WM_HSCROLL, TB_ENDTRACK, 0, bar}}));
    Release();
    ReleaseCapture();
    EXPECT_TRUE(TakeScrolls().empty());
}

TEST_F(CommonControlsTest, UpDownShowsItsPositionInTheBuddyWithOrWithoutSeparators)
{
    HWND buddy = Control(u"Edit", 250, ES_AUTOHSCROLL, 10, 10, 80, 20);
    HWND spin = Control(UPDOWN_CLASSW, 260, UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_ALIGNRIGHT | UDS_AUTOBUDDY, 0, 0, 16, 10);
    EXPECT_EQ(SendMessageW(spin, UDM_GETBUDDY, 0, 0), reinterpret_cast<LRESULT>(buddy));
    RECT edit{};
    RECT arrows{};
    GetWindowRect(buddy, &edit);
    GetWindowRect(spin, &arrows);
    EXPECT_EQ(edit.right - edit.left, 64); // gave up the arrows' width
    EXPECT_EQ(arrows.left, edit.right);
    EXPECT_EQ(arrows.bottom - arrows.top, 20);

    SendMessageW(spin, UDM_SETRANGE32, 10, 1000);
    int low = 0, high = 0;
    SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 10);
    EXPECT_EQ(high, 1000);
    SendMessageW(spin, UDM_SETPOS32, 0, 1000);
    EXPECT_EQ(TextOf(buddy), u"1,000");
    EXPECT_EQ(SendMessageW(spin, UDM_SETPOS32, 0, 5000), 1000); // the previous position
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 1000);    // kept in the range
    SendMessageW(spin, UDM_SETRANGE32, -2000000, 2000000);
    SendMessageW(spin, UDM_SETPOS32, 0, -1234567);
    EXPECT_EQ(TextOf(buddy), u"-1,234,567");

    HWND plain = Control(u"Edit", 254, ES_AUTOHSCROLL, 10, 40, 80, 20);
    HWND spinPlain = Control(UPDOWN_CLASSW, 264, UDS_SETBUDDYINT | UDS_NOTHOUSANDS, 0, 0, 16, 20);
    SendMessageW(spinPlain, UDM_SETBUDDY, reinterpret_cast<WPARAM>(plain), 0);
    SendMessageW(spinPlain, UDM_SETRANGE32, 10, 1000);
    SendMessageW(spinPlain, UDM_SETPOS32, 0, 1000);
    EXPECT_EQ(TextOf(plain), u"1000");
    EXPECT_EQ(SendMessageW(spinPlain, UDM_SETBASE, 16, 0), 10);
    EXPECT_EQ(TextOf(plain), u"0x03E8");
    EXPECT_EQ(SendMessageW(spinPlain, UDM_SETBASE, 8, 0), 0); // only 10 and 16
    EXPECT_EQ(SendMessageW(spinPlain, UDM_GETBASE, 0, 0), 16);
    // GetDlgItemInt stops at a group separator.
    SendMessageW(spin, UDM_SETPOS32, 0, 1000);
    BOOL translated = TRUE;
    EXPECT_EQ(GetDlgItemInt(page, 250, &translated, FALSE), 0u);
    EXPECT_FALSE(translated);
}

TEST_F(CommonControlsTest, UpDownRereadsTheBuddyTypedInto)
{
    HWND buddy = Control(u"Edit", 250, ES_AUTOHSCROLL, 10, 10, 80, 20);
    HWND spin = Control(UPDOWN_CLASSW, 260, UDS_SETBUDDYINT, 90, 10, 16, 20);
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    SendMessageW(spin, UDM_SETRANGE32, 10, 1000);
    SendMessageW(spin, UDM_SETPOS32, 0, 64);
    SetFocus(buddy);
    SendMessageW(buddy, EM_SETSEL, 0, -1);
    for (UINT key : {UINT('1'), UINT(VK_OEM_COMMA), UINT('0'), UINT('0'), UINT('0')})
        Key(key);
    EXPECT_EQ(TextOf(buddy), u"1,000");
    BOOL error = TRUE;
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error)), 1000);
    EXPECT_FALSE(error);
    SetWindowTextW(buddy, u"12a");
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error)), 1000); // the last good one
    EXPECT_TRUE(error);
    SetWindowTextW(buddy, u"5"); // outside the range
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error)), 1000);
    EXPECT_TRUE(error);
    SetWindowTextW(buddy, u" 250 ");
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS, 0, 0), MAKELONG(250, 0));
    SetWindowTextW(buddy, u"");
    EXPECT_EQ(HIWORD(SendMessageW(spin, UDM_GETPOS, 0, 0)), 1);
    // Without UDS_SETBUDDYINT the buddy's text is not the position.
    HWND loose = Control(UPDOWN_CLASSW, 261, 0, 120, 10, 16, 20);
    SendMessageW(loose, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    SendMessageW(loose, UDM_SETRANGE32, 0, 10);
    SendMessageW(loose, UDM_SETPOS32, 0, 7);
    EXPECT_EQ(TextOf(buddy), u"");
    EXPECT_EQ(SendMessageW(loose, UDM_GETPOS32, 0, 0), 7);
}

TEST_F(CommonControlsTest, UpDownClickStepsByTheAccelerationAndReportsThePosition)
{
    HWND buddy = Control(u"Edit", 250, ES_AUTOHSCROLL, 10, 10, 80, 20);
    HWND spin = Control(UPDOWN_CLASSW, 260, UDS_SETBUDDYINT, 90, 10, 16, 20);
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    SendMessageW(spin, UDM_SETRANGE32, 10, 1000);
    SendMessageW(spin, UDM_SETPOS32, 0, 500);
    UDACCEL accel{0, 2};
    EXPECT_TRUE(SendMessageW(spin, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel)));
    UDACCEL read[3]{};
    EXPECT_EQ(SendMessageW(spin, UDM_GETACCEL, 3, reinterpret_cast<LPARAM>(read)), 1);
    EXPECT_EQ(read[0].nInc, 2u);
    std::vector<NMUPDOWN> deltas;
    onNotify = [&](NMHDR* header) -> std::optional<LRESULT> {
        if (header->code == UDN_DELTAPOS)
            deltas.push_back(*reinterpret_cast<NMUPDOWN*>(header));
        return std::nullopt;
    };
    TakeScrolls();
    Click(spin, 8, 3); // the up arrow
    EXPECT_EQ(TakeScrolls(), (std::vector<Scroll>{{WM_VSCROLL, SB_THUMBPOSITION, 502, spin},
                                                  {WM_VSCROLL, SB_ENDSCROLL, 502, spin}}));
    ASSERT_EQ(deltas.size(), 1u);
    EXPECT_EQ(deltas[0].hdr.hwndFrom, spin);
    EXPECT_EQ(deltas[0].hdr.idFrom, 260u);
    EXPECT_EQ(deltas[0].iPos, 500);
    EXPECT_EQ(deltas[0].iDelta, 2);
    EXPECT_EQ(TextOf(buddy), u"502");
    Click(spin, 8, 17); // the down arrow
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 500);
    EXPECT_EQ(deltas.back().iDelta, -2);

    // A refusal leaves everything as it was.
    onNotify = [&](NMHDR*) -> std::optional<LRESULT> { return 1; };
    TakeScrolls();
    Click(spin, 8, 3);
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 500);
    EXPECT_EQ(TakeScrolls(), (std::vector<Scroll>{{WM_VSCROLL, SB_ENDSCROLL, 500, spin}}));
    onNotify = nullptr;

    // At the top the step is held back; with UDS_WRAP it goes round.
    SendMessageW(spin, UDM_SETPOS32, 0, 999);
    Click(spin, 8, 3);
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 1000);
    Click(spin, 8, 3);
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 1000);
    SetWindowLongPtrW(spin, GWL_STYLE, GetWindowLongPtrW(spin, GWL_STYLE) | UDS_WRAP);
    Click(spin, 8, 3);
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 10);
}

TEST_F(CommonControlsTest, UpDownReversedRangeAndArrowKeysInTheBuddy)
{
    HWND buddy = Control(u"Edit", 251, ES_AUTOHSCROLL, 10, 10, 80, 20);
    HWND spin = Control(UPDOWN_CLASSW, 261, UDS_SETBUDDYINT | UDS_ARROWKEYS, 90, 10, 16, 20);
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    // The default range runs from 100 at the bottom to 0 at the top.
    int low = 0, high = 0;
    SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 100);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(SendMessageW(spin, UDM_GETRANGE, 0, 0), MAKELONG(0, 100));
    SendMessageW(spin, UDM_SETRANGE32, 540, 0);
    SendMessageW(spin, UDM_SETPOS32, 0, 100);
    SendMessageW(spin, UDM_SETPOS32, 0, 600);
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 540);
    SetFocus(buddy);
    TakeScrolls();
    Key(VK_UP); // toward the maximum, 0
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 539);
    EXPECT_EQ(TextOf(buddy), u"539");
    EXPECT_EQ(TakeScrolls(), (std::vector<Scroll>{{WM_VSCROLL, SB_THUMBPOSITION, 539, spin},
                                                  {WM_VSCROLL, SB_ENDSCROLL, 539, spin}}));
    Key(VK_DOWN);
    EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, 0), 540);
    EXPECT_EQ(GetFocus(), buddy);
    // The 16-bit range message takes the maximum low and the minimum high.
    SendMessageW(spin, UDM_SETRANGE, 0, MAKELONG(-5, 5));
    SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 5);
    EXPECT_EQ(high, -5);
    // Other keys still reach the edit; a buddy let go of no longer steps the up-down.
    SetWindowTextW(buddy, u"5");
    SendMessageW(buddy, EM_SETSEL, 1, 1);
    Key('3');
    EXPECT_EQ(TextOf(buddy), u"53");
    SendMessageW(spin, UDM_SETBUDDY, 0, 0);
    TakeScrolls();
    Key(VK_UP);
    EXPECT_TRUE(TakeScrolls().empty());
    DestroyWindow(spin);
    Key('1');
    EXPECT_EQ(TextOf(buddy), u"531");
}

TEST_F(CommonControlsTest, UpDownDestroyedBeforeItsBuddyGivesItsProcedureBack)
{
    HWND buddy = Control(u"Edit", 252, ES_AUTOHSCROLL, 10, 10, 80, 20);
    const LONG_PTR edit = GetWindowLongPtrW(buddy, GWLP_WNDPROC);
    HWND spin = Control(UPDOWN_CLASSW, 262, UDS_SETBUDDYINT | UDS_ARROWKEYS, 90, 10, 16, 20);
    SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    EXPECT_NE(GetWindowLongPtrW(buddy, GWLP_WNDPROC), edit);
    DestroyWindow(spin);
    EXPECT_EQ(GetWindowLongPtrW(buddy, GWLP_WNDPROC), edit);
    // And a buddy destroyed first leaves the up-down working.
    HWND other = Control(u"Edit", 253, ES_AUTOHSCROLL, 10, 40, 80, 20);
    HWND second = Control(UPDOWN_CLASSW, 263, UDS_SETBUDDYINT | UDS_ARROWKEYS, 90, 40, 16, 20);
    SendMessageW(second, UDM_SETBUDDY, reinterpret_cast<WPARAM>(other), 0);
    DestroyWindow(other);
    SendMessageW(second, UDM_SETPOS32, 0, 5);
    EXPECT_EQ(SendMessageW(second, UDM_GETPOS32, 0, 0), 5);
}

// Records the codes of the WM_NOTIFY the page receives, answering `refuse` to one code.
struct NotifyLog {
    std::vector<UINT> codes;
    UINT refuse = 0;
};

TEST_F(CommonControlsTest, TabItemsInBothFormsAndSilentSelection)
{
    HWND tabs = Control(WC_TABCONTROLW, 12320, 0, 10, 10, 300, 200);
    NotifyLog log;
    onNotify = [&](NMHDR* header) -> std::optional<LRESULT> {
        log.codes.push_back(header->code);
        return header->code == log.refuse ? 1 : 0;
    };
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), -1);
    TCITEMA first{};
    first.mask = TCIF_TEXT | TCIF_PARAM;
    first.pszText = const_cast<char*>("Color");
    first.lParam = 77;
    EXPECT_EQ(SendMessageW(tabs, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&first)), 0);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0); // the first tab is selected
    TCITEMW second{};
    second.mask = TCIF_TEXT;
    second.pszText = const_cast<char16_t*>(u"Video");
    EXPECT_EQ(SendMessageW(tabs, TCM_INSERTITEMW, 9, reinterpret_cast<LPARAM>(&second)), 1); // appended
    second.pszText = const_cast<char16_t*>(u"Audio");
    EXPECT_EQ(SendMessageW(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&second)), 0);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 1); // "Color" moved along
    char text[4];
    TCITEMA read{};
    read.mask = TCIF_TEXT | TCIF_PARAM;
    read.pszText = text;
    read.cchTextMax = sizeof text; // cut to the buffer
    EXPECT_TRUE(SendMessageW(tabs, TCM_GETITEMA, 1, reinterpret_cast<LPARAM>(&read)));
    EXPECT_STREQ(text, "Col");
    EXPECT_EQ(read.lParam, 77);
    char16_t wide[16];
    TCITEMW readWide{};
    readWide.mask = TCIF_TEXT;
    readWide.pszText = wide;
    readWide.cchTextMax = 16;
    EXPECT_TRUE(SendMessageW(tabs, TCM_GETITEMW, 2, reinterpret_cast<LPARAM>(&readWide)));
    EXPECT_EQ(std::u16string(wide), u"Video");
    EXPECT_FALSE(SendMessageW(tabs, TCM_GETITEMW, 3, reinterpret_cast<LPARAM>(&readWide)));

    EXPECT_EQ(SendMessageW(tabs, TCM_SETCURSEL, 2, 0), 1);
    EXPECT_EQ(SendMessageW(tabs, TCM_SETCURSEL, 3, 0), -1);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_TRUE(log.codes.empty());
    EXPECT_TRUE(SendMessageW(tabs, TCM_DELETEITEM, 0, 0));
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(SendMessageW(tabs, TCM_DELETEITEM, 1, 0)); // the selected one
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), -1);
    EXPECT_FALSE(SendMessageW(tabs, TCM_DELETEITEM, 5, 0));
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_TRUE(log.codes.empty());

    RECT area{0, 0, 300, 200};
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    EXPECT_GT(area.top, 0);
    SendMessageW(tabs, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&area));
    EXPECT_EQ(area.top, 0);
    EXPECT_EQ(area.right, 300);
}

TEST_F(CommonControlsTest, TabChosenByTheUserAsksThenReports)
{
    HWND tabs = Control(WC_TABCONTROLW, 12320, 0, 10, 10, 300, 200);
    for (const char* name : {"Color", "Video", "Audio"}) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(name);
        SendMessageW(tabs, TCM_INSERTITEMA, 99, reinterpret_cast<LPARAM>(&item));
    }
    NotifyLog log;
    std::vector<LRESULT> selectedWhenAsked;
    onNotify = [&](NMHDR* header) -> std::optional<LRESULT> {
        EXPECT_EQ(header->hwndFrom, tabs);
        EXPECT_EQ(header->idFrom, 12320u);
        log.codes.push_back(header->code);
        selectedWhenAsked.push_back(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
        return header->code == log.refuse ? 1 : 0;
    };
    RECT rect{};
    ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rect)));
    Click(tabs, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(log.codes, (std::vector<UINT>{TCN_SELCHANGING, TCN_SELCHANGE}));
    EXPECT_EQ(selectedWhenAsked, (std::vector<LRESULT>{0, 2}));
    EXPECT_EQ(GetFocus(), tabs);
    log.codes.clear();
    Click(tabs, (rect.left + rect.right) / 2, 5); // the selected one again: nothing
    Click(tabs, 299, 5);                          // beyond the tabs
    EXPECT_TRUE(log.codes.empty());
    log.refuse = TCN_SELCHANGING;
    Key(VK_LEFT);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(log.codes, (std::vector<UINT>{TCN_SELCHANGING}));
    log.refuse = 0;
    log.codes.clear();
    Key(VK_LEFT);
    Key(VK_RIGHT);
    Key(VK_RIGHT); // past the last: nothing
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(log.codes, (std::vector<UINT>{TCN_SELCHANGING, TCN_SELCHANGE, TCN_SELCHANGING, TCN_SELCHANGE}));
}

HTREEITEM InsertTree(HWND tree, HTREEITEM parent, HTREEITEM after, const char* text, LPARAM param = 0)
{
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.lParam = param;
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

std::string TreeText(HWND tree, HTREEITEM item)
{
    char text[32] = "?";
    TVITEMA read{};
    read.mask = TVIF_TEXT;
    read.hItem = item;
    read.pszText = text;
    read.cchTextMax = sizeof text;
    if (!SendMessageW(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&read)))
        return "(none)";
    return text;
}

HTREEITEM Next(HWND tree, UINT relation, HTREEITEM from)
{
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
}

TEST_F(CommonControlsTest, TreeInsertionPlacesNavigationAndDeletion)
{
    HWND tree = Control(WC_TREEVIEWW, 1010, TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT, 10, 10, 200, 200);
    std::vector<LPARAM> deleted;
    onNotify = [&](NMHDR* header) -> std::optional<LRESULT> {
        if (header->code == TVN_DELETEITEMW)
            deleted.push_back(reinterpret_cast<NMTREEVIEWW*>(header)->itemOld.lParam);
        return 0;
    };
    HTREEITEM sources = InsertTree(tree, TVI_ROOT, TVI_LAST, "Sources", 1);
    HTREEITEM outputs = InsertTree(tree, TVI_ROOT, TVI_LAST, "Outputs", 2);
    HTREEITEM first = InsertTree(tree, TVI_ROOT, TVI_FIRST, "First", 3);
    HTREEITEM video = InsertTree(tree, sources, TVI_LAST, "Video", 4);
    HTREEITEM audio = InsertTree(tree, sources, TVI_FIRST, "Audio", 5);
    HTREEITEM middle = InsertTree(tree, sources, audio, "Middle", 6);
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(InsertTree(tree, outputs, audio, "Wrong"), nullptr); // after an item of another parent
    EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 6);
    EXPECT_EQ(Next(tree, TVGN_ROOT, nullptr), first);
    EXPECT_EQ(Next(tree, TVGN_NEXT, first), sources);
    EXPECT_EQ(Next(tree, TVGN_NEXT, outputs), nullptr);
    EXPECT_EQ(Next(tree, TVGN_PREVIOUS, sources), first);
    EXPECT_EQ(Next(tree, TVGN_CHILD, sources), audio);
    EXPECT_EQ(Next(tree, TVGN_NEXT, audio), middle);
    EXPECT_EQ(Next(tree, TVGN_NEXT, middle), video);
    EXPECT_EQ(Next(tree, TVGN_PARENT, video), sources);
    EXPECT_EQ(Next(tree, TVGN_PARENT, sources), nullptr);
    EXPECT_EQ(TreeText(tree, middle), "Middle");
    // Shown items follow expansion.
    EXPECT_EQ(Next(tree, TVGN_NEXTVISIBLE, sources), outputs);
    EXPECT_FALSE(SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(outputs))); // no children
    EXPECT_TRUE(SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(sources)));
    EXPECT_EQ(Next(tree, TVGN_NEXTVISIBLE, sources), audio);
    EXPECT_EQ(Next(tree, TVGN_LASTVISIBLE, nullptr), outputs);
    TVITEMW state{};
    state.mask = TVIF_STATE | TVIF_CHILDREN;
    state.hItem = sources;
    state.stateMask = TVIS_EXPANDED;
    EXPECT_TRUE(SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&state)));
    EXPECT_EQ(state.state, UINT(TVIS_EXPANDED));
    EXPECT_EQ(state.cChildren, 1);
    EXPECT_TRUE(SendMessageW(tree, TVM_EXPAND, TVE_TOGGLE, reinterpret_cast<LPARAM>(sources)));
    EXPECT_EQ(Next(tree, TVGN_NEXTVISIBLE, sources), outputs);
    EXPECT_TRUE(deleted.empty());

    // Deleting an item takes its subtree; the root empties the tree.
    EXPECT_TRUE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(sources)));
    EXPECT_EQ(deleted, (std::vector<LPARAM>{4, 6, 5, 1}));
    EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(TreeText(tree, video), "(none)");
    EXPECT_FALSE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(video)));
    EXPECT_EQ(Next(tree, TVGN_NEXT, first), outputs);
    EXPECT_TRUE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)));
    EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(Next(tree, TVGN_ROOT, nullptr), nullptr);
    EXPECT_EQ(deleted.size(), 6u);

    EXPECT_EQ(SendMessageW(tree, TVM_SETBKCOLOR, 0, RGB(0, 0, 0)), -1); // the system's colour before
    EXPECT_EQ(SendMessageW(tree, TVM_GETBKCOLOR, 0, 0), LRESULT(RGB(0, 0, 0)));
    EXPECT_EQ(SendMessageW(tree, TVM_SETBKCOLOR, 0, RGB(1, 2, 3)), LRESULT(RGB(0, 0, 0)));
}

TEST_F(CommonControlsTest, TreeSortedInsertionAndTheUsersClicksAndKeys)
{
    HWND tree = Control(WC_TREEVIEWW, 1011, TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT, 10, 10, 200, 200);
    NotifyLog log;
    onNotify = [&](NMHDR* header) -> std::optional<LRESULT> {
        log.codes.push_back(header->code);
        return header->code == log.refuse ? 1 : 0;
    };
    HTREEITEM b = InsertTree(tree, TVI_ROOT, TVI_SORT, "b");
    HTREEITEM a = InsertTree(tree, TVI_ROOT, TVI_SORT, "a");
    HTREEITEM c = InsertTree(tree, TVI_ROOT, TVI_SORT, "c");
    HTREEITEM child = InsertTree(tree, b, TVI_LAST, "child");
    EXPECT_EQ(Next(tree, TVGN_ROOT, nullptr), a);
    EXPECT_EQ(Next(tree, TVGN_NEXT, a), b);
    EXPECT_EQ(Next(tree, TVGN_NEXT, b), c);
    EXPECT_EQ(SendMessageW(tree, TVM_GETINDENT, 0, 0), 19);

    // Rows: a, b, c at 16 pixels; labels after the root level's button column.
    RECT label{};
    std::memcpy(&label, &b, sizeof b); // the item goes in the rectangle's place
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)));
    EXPECT_EQ(label.top, 16);
    EXPECT_EQ(label.left, 19);
    Click(tree, label.left + 2, label.top + 4);
    EXPECT_EQ(Next(tree, TVGN_CARET, nullptr), b);
    EXPECT_EQ(log.codes, (std::vector<UINT>{TVN_SELCHANGINGW, TVN_SELCHANGEDW}));
    log.codes.clear();
    Click(tree, 8, label.top + 4); // b's button
    EXPECT_EQ(Next(tree, TVGN_NEXTVISIBLE, b), child);
    EXPECT_EQ(log.codes, (std::vector<UINT>{TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW}));
    log.codes.clear();
    Key(VK_DOWN);
    EXPECT_EQ(Next(tree, TVGN_CARET, nullptr), child);
    Key(VK_LEFT); // a child goes to its parent
    EXPECT_EQ(Next(tree, TVGN_CARET, nullptr), b);
    Key(VK_LEFT); // an expanded item collapses
    EXPECT_EQ(Next(tree, TVGN_NEXTVISIBLE, b), c);
    log.codes.clear();
    log.refuse = TVN_SELCHANGINGW;
    Key(VK_DOWN);
    EXPECT_EQ(Next(tree, TVGN_CARET, nullptr), b);
    EXPECT_EQ(log.codes, (std::vector<UINT>{TVN_SELCHANGINGW}));
    log.refuse = TVN_ITEMEXPANDINGW;
    Key(VK_RIGHT);
    EXPECT_EQ(Next(tree, TVGN_NEXTVISIBLE, b), c);
    // Silent selection, which shows the item it selects.
    log.codes.clear();
    EXPECT_TRUE(SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child)));
    EXPECT_EQ(Next(tree, TVGN_NEXTVISIBLE, b), child);
    EXPECT_TRUE(log.codes.empty());
    TVITEMA selected{};
    selected.mask = TVIF_STATE;
    selected.hItem = child;
    selected.stateMask = TVIS_SELECTED;
    SendMessageW(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&selected));
    EXPECT_EQ(selected.state, UINT(TVIS_SELECTED));
    // Without lines or buttons at the root, root items have no button and start at the edge.
    HWND flat = Control(WC_TREEVIEWW, 1012, TVS_HASBUTTONS, 220, 10, 200, 200);
    HTREEITEM top = InsertTree(flat, TVI_ROOT, TVI_LAST, "top");
    InsertTree(flat, top, TVI_LAST, "under");
    TVHITTESTINFO hit{{4, 4}, 0, nullptr};
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageW(flat, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))), top);
    EXPECT_EQ(hit.flags, UINT(TVHT_ONITEMLABEL));
}

} // namespace
