// The common controls driven as a user drives them: the trackbar (signed ranges, silent position
// messages, keys, channel clicks, thumb drags and the scroll codes they send) and the up-down
// (ranges either way round, its buddy's number with and without group separators, clicks and
// arrow keys with their notifications, refusals and wrapping).
#include "ControlTestSupport.h"

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

} // namespace
