// The dialog manager over templates built here: sizes in dialog units, controls made before
// WM_INITDIALOG and the focus it gives, the dialog's window bytes and font handle, the calls by
// control id, numbers read from a control's text, modal loops that disable the owner, and the
// refusal of bad templates.
#include "DialogTemplateBuilder.h"
#include "WindowTestSupport.h"
#include "standin/dialogs.h"

#include <cstring>
#include <string>
#include <vector>

using namespace windowtest;

namespace {

class DialogTest : public WindowTest {
protected:
    static TemplateBuilder ThreeControls(DWORD style)
    {
        TemplateBuilder t(style, 256, 234);
        t.Control(kClass, 10, 0, 7, 7, 40, 8).Control(kClass, 11, WS_TABSTOP, 7, 20, 40, 14)
            .Control(kClass, 12, WS_TABSTOP, 7, 40, 40, 14);
        return t;
    }
};

struct InitRecord {
    std::vector<std::string> events;
    bool controlsExisted = false;
    HWND focusOffered = nullptr;
    LPARAM param = 0;
    INT_PTR initAnswer = TRUE;
};
InitRecord* g_record = nullptr;

INT_PTR RecordingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        g_record->events.push_back("init");
        g_record->controlsExisted = GetDlgItem(dialog, 10) && GetDlgItem(dialog, 11) && GetDlgItem(dialog, 12);
        g_record->focusOffered = reinterpret_cast<HWND>(wParam);
        g_record->param = lParam;
        PostMessageW(dialog, WM_APP, 0, 0);
        g_record->events.push_back("init returns");
        return g_record->initAnswer;
    }
    if (message == WM_APP) {
        g_record->events.push_back("posted");
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 77);
        return TRUE;
    }
    return FALSE;
}

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

TEST_F(DialogTest, ControlsComeBeforeInitAndThePostedMessageAfterIt)
{
    InitRecord record;
    g_record = &record;
    TemplateBuilder t = ThreeControls(WS_POPUP | DS_SETFONT);
    HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, RecordingProcedure, 1234);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(record.controlsExisted);
    EXPECT_EQ(record.param, 1234);
    EXPECT_EQ(record.focusOffered, GetDlgItem(dialog, 11)); // the first WS_TABSTOP control
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 11));
    EXPECT_EQ(record.events, (std::vector<std::string>{"init", "init returns"}));
    Pump();
    EXPECT_EQ(record.events, (std::vector<std::string>{"init", "init returns", "posted"}));
    EXPECT_EQ(SendMessageW(dialog, WM_APP, 0, 0), 77); // through DWLP_MSGRESULT

    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 384);
    EXPECT_EQ(client.bottom, 380);
    RECT control{};
    GetWindowRect(GetDlgItem(dialog, 11), &control);
    EXPECT_EQ(control.right - control.left, 60);
    EXPECT_EQ(control.bottom - control.top, 22);
    EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dialog, 12)), 12);
    EXPECT_EQ(GetDlgItem(dialog, 99), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CONTROL_ID_NOT_FOUND));
    DestroyWindow(dialog);
    g_record = nullptr;
}

TEST_F(DialogTest, InitReturningFalseLeavesTheFocusAlone)
{
    InitRecord record;
    record.initAnswer = FALSE;
    g_record = &record;
    HWND before = Make(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    SetFocus(before);
    TemplateBuilder t = ThreeControls(WS_POPUP);
    HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, RecordingProcedure, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetFocus(), before);
    DestroyWindow(dialog);
    DestroyWindow(before);
    g_record = nullptr;
}

TEST_F(DialogTest, WindowBytesFontAndBaseUnits)
{
    TemplateBuilder t = ThreeControls(WS_CHILD | DS_CONTROL | WS_CAPTION | WS_SYSMENU);
    HWND parent = Make(WS_OVERLAPPEDWINDOW, 0, 0, 500, 500);
    HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), parent, nullptr, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetParent(dialog), parent);
    const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_NE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);
    SetWindowLongPtrW(dialog, DWLP_USER, 0x5151);
    EXPECT_EQ(GetWindowLongPtrW(dialog, DWLP_USER), 0x5151);
    HFONT font = reinterpret_cast<HFONT>(0x1234);
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    EXPECT_EQ(SendMessageW(dialog, WM_GETFONT, 0, 0), 0x1234);

    EXPECT_EQ(GetDialogBaseUnits(), MAKELONG(6, 13));
    RECT r{4, 8, 256, 234};
    EXPECT_TRUE(MapDialogRect(dialog, &r));
    EXPECT_EQ(r.left, 6);
    EXPECT_EQ(r.top, 13);
    EXPECT_EQ(r.right, 384);
    EXPECT_EQ(r.bottom, 380);
    EXPECT_FALSE(MapDialogRect(parent, &r)); // no dialog
    DestroyWindow(parent);
}

TEST_F(DialogTest, TheTemplatesFontIsMadeForTheDialogAndItsControlsAndGoesWithIt)
{
    TemplateBuilder t(WS_POPUP | DS_SETFONT, 100, 50);
    t.Control(u"Button", 1, BS_PUSHBUTTON, 5, 5, 50, 14).Control(u"Static", 2, SS_LEFT, 5, 25, 50, 8);
    HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, nullptr, 0);
    ASSERT_NE(dialog, nullptr);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 1), WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font));
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 2), WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font));
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -11); // 8 points at 96 pixels an inch
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"MS Shell Dlg");
    // Text measured in it is the 8-point face's.
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 11);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    // The dialog deletes its font when it goes (the test main's leak check would see it left).
    DestroyWindow(dialog);

    // A template without a font gives none.
    TemplateBuilder plain(WS_POPUP, 100, 50);
    HWND bare = CreateDialogIndirectParamW(nullptr, plain.Get(), nullptr, nullptr, 0);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(SendMessageW(bare, WM_GETFONT, 0, 0), 0);
    DestroyWindow(bare);
}

TEST_F(DialogTest, NumbersAndTextsByControlId)
{
    TemplateBuilder t = ThreeControls(WS_POPUP);
    HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, nullptr, 0);
    ASSERT_NE(dialog, nullptr);
    BOOL ok = FALSE;
    EXPECT_TRUE(SetDlgItemTextA(dialog, 10, "  42"));
    EXPECT_EQ(GetDlgItemInt(dialog, 10, &ok, FALSE), 42u);
    EXPECT_TRUE(ok);
    SetDlgItemTextA(dialog, 10, "1,000");
    EXPECT_EQ(GetDlgItemInt(dialog, 10, &ok, FALSE), 0u);
    EXPECT_FALSE(ok);
    for (const char* bad : {"", "  ", "-3", "42 ", "4294967296"}) {
        SetDlgItemTextA(dialog, 10, bad);
        GetDlgItemInt(dialog, 10, &ok, FALSE);
        EXPECT_FALSE(ok) << bad;
    }
    SetDlgItemTextA(dialog, 10, " -2147483648");
    EXPECT_EQ(static_cast<int>(GetDlgItemInt(dialog, 10, &ok, TRUE)), INT32_MIN);
    EXPECT_TRUE(ok);
    SetDlgItemTextA(dialog, 10, "2147483648");
    GetDlgItemInt(dialog, 10, &ok, TRUE);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(SetDlgItemInt(dialog, 11, static_cast<UINT>(-7), TRUE));
    char text[16];
    EXPECT_EQ(GetDlgItemTextA(dialog, 11, text, 16), 2u);
    EXPECT_STREQ(text, "-7");
    SetDlgItemInt(dialog, 11, 4000000000u, FALSE);
    WCHAR wide[16];
    EXPECT_EQ(GetDlgItemTextW(dialog, 11, wide, 16), 10u);
    EXPECT_EQ(std::u16string(wide), u"4000000000");
    EXPECT_EQ(SendDlgItemMessageW(dialog, 11, WM_GETTEXTLENGTH, 0, 0), 10);
    EXPECT_FALSE(SetDlgItemTextA(dialog, 99, "x"));
    DestroyWindow(dialog);
}

HWND g_owner = nullptr;
bool g_ownerDisabledInside = false;
int g_otherWindowMessages = 0;

INT_PTR ModalProcedure(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        PostMessageW(dialog, WM_APP, 0, 0);
        return TRUE;
    }
    if (message == WM_APP) {
        g_ownerDisabledInside = !IsWindowEnabled(g_owner);
        EndDialog(dialog, 7);
        return TRUE;
    }
    return FALSE;
}

TEST_F(DialogTest, AModalDialogDisablesItsOwnerWhileOtherMessagesFlow)
{
    g_owner = Make(WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr, [](HWND, UINT message, WPARAM, LPARAM) {
        if (message == WM_APP + 1)
            ++g_otherWindowMessages;
        return std::optional<LRESULT>();
    });
    HWND child = Make(WS_CHILD, 0, 0, 50, 50, g_owner);
    PostMessageW(g_owner, WM_APP + 1, 0, 0);
    TemplateBuilder t = ThreeControls(WS_POPUP);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, t.Get(), child, ModalProcedure, 0), 7);
    EXPECT_TRUE(g_ownerDisabledInside);
    EXPECT_TRUE(IsWindowEnabled(g_owner));
    EXPECT_EQ(g_otherWindowMessages, 1);
    EXPECT_FALSE(EndDialog(g_owner, 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(g_owner);
}

TEST_F(DialogTest, BadTemplatesMakeNoDialog)
{
    TemplateBuilder good = ThreeControls(WS_POPUP);
    std::vector<unsigned char> bytes = good.Bytes();
    bytes[2] = 0; // signature
    std::vector<uint32_t> copy(bytes.size() / 4 + 1);
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    EXPECT_EQ(CreateDialogIndirectParamW(nullptr, reinterpret_cast<DLGTEMPLATE*>(copy.data()), nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    TemplateBuilder unknown(WS_POPUP, 10, 10);
    unknown.Control(u"NoSuchClass", 1, 0, 0, 0, 5, 5);
    EXPECT_EQ(CreateDialogIndirectParamW(nullptr, unknown.Get(), nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
    TemplateBuilder tolerant(WS_POPUP | DS_NOFAILCREATE, 10, 10);
    tolerant.Control(u"NoSuchClass", 1, 0, 0, 0, 5, 5).Control(kClass, 2, 0, 0, 0, 5, 5);
    HWND dialog = CreateDialogIndirectParamW(nullptr, tolerant.Get(), nullptr, nullptr, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(GetDlgItem(dialog, 2), nullptr);
    DestroyWindow(dialog);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(114), nullptr, nullptr, 0), -1); // no such resource
}

std::vector<WPARAM> g_enables;

TEST_F(DialogTest, AScriptedMessageBoxAnswersAndIsRecorded)
{
    standin::ResetMessageBoxes();
    g_enables.clear();
    HWND page = Make(WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr, [](HWND, UINT message, WPARAM wParam, LPARAM) {
        if (message == WM_ENABLE)
            g_enables.push_back(wParam);
        return std::optional<LRESULT>();
    });
    standin::ScriptMessageBoxAnswers({IDYES});
    EXPECT_EQ(MessageBoxA(page, "Crop the picture?", "Cropping", MB_YESNO), 6);
    EXPECT_EQ(g_enables, (std::vector<WPARAM>{FALSE, TRUE})); // disabled for the call, enabled after
    EXPECT_TRUE(IsWindowEnabled(page));
    std::vector<standin::MessageBoxRecord> records = standin::TakeMessageBoxRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].owner, page);
    EXPECT_EQ(records[0].text, u"Crop the picture?");
    EXPECT_EQ(records[0].caption, u"Cropping");
    EXPECT_EQ(records[0].type, 4u);
    EXPECT_EQ(records[0].answer, IDYES);

    standin::ScriptMessageBoxAnswers({IDCANCEL, IDOK});
    EXPECT_EQ(MessageBoxW(page, u"Lost", nullptr, MB_YESNOCANCEL | MB_ICONEXCLAMATION), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"Done", u"Note", MB_OK), IDOK);
    records = standin::TakeMessageBoxRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].caption, u"Error");
    EXPECT_EQ(records[1].owner, nullptr);
    EXPECT_TRUE(standin::VerifierTakeViolations().empty());
    DestroyWindow(page);
}

TEST_F(DialogTest, AnUnscriptedOrImpossibleAnswerTakesTheDefaultButton)
{
    standin::ResetMessageBoxes();
    standin::VerifierSetEcho(false);
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Ask", MB_YESNO | MB_DEFBUTTON2), IDNO);
    std::vector<standin::VerifierViolation> breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "unscripted-dialog");
    standin::ScriptMessageBoxAnswers({IDRETRY});
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Ask", MB_OKCANCEL), IDOK);
    breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "message-box-answer");
    standin::VerifierSetEcho(true);
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", 0x7), 0); // no such type
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(standin::TakeMessageBoxRecords().size(), 2u);
}

} // namespace
