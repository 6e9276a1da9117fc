// ATL's window classes and WTL's wrappers on the window manager: message maps and their entries,
// handlers that pass a message on, chained maps, a window destroyed in its own handler, subclassing
// and giving back a control's procedure, a superclass of the static control as the picture
// controls use it, dialogs of the program's resources, and the wrappers over the controls.
#include "ControlTestSupport.h"
#include "DialogTemplateBuilder.h"
#include "atl/atlctl.h"
#include "atl/atlwin.h"
#include "standin/actions.h"
#include "standin/com.h"
#include "standin/frames.h"
#include "um/olectl.h"
#include "um/prsht.h"
#include "um/resourcetable.h"
#include "wtl/atlctrls.h"

#include <string>
#include <vector>

using namespace windowtest;

namespace {

constexpr WORD kDialogId = 4108;
constexpr WORD kPageId = 4109;

const std::vector<unsigned char>& DialogBytes()
{
    static const std::vector<unsigned char> bytes = [] {
        TemplateBuilder t(DS_SETFONT | WS_POPUP | WS_CAPTION, 200, 100);
        t.Control(u"Edit", 1001, WS_TABSTOP, 7, 7, 60, 12).Control(u"Button", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 7, 30, 50, 14);
        return t.Bytes();
    }();
    return bytes;
}

// A property page's template: a child dialog.
const std::vector<unsigned char>& PageBytes()
{
    static const std::vector<unsigned char> bytes = [] {
        TemplateBuilder t(DS_SETFONT | DS_CONTROL | WS_CHILD, 200, 100);
        t.Control(u"Edit", 1001, WS_TABSTOP, 7, 7, 60, 12);
        return t.Bytes();
    }();
    return bytes;
}

// The string block of ids 96 to 111: 100 is "Color".
const std::vector<char16_t>& StringBlock()
{
    static const std::vector<char16_t> block = [] {
        std::vector<char16_t> out;
        for (int i = 0; i < 16; ++i) {
            const std::u16string text = i == 4 ? u"Color" : u"";
            out.push_back(static_cast<char16_t>(text.size()));
            out.insert(out.end(), text.begin(), text.end());
        }
        return out;
    }();
    return block;
}

} // namespace

// The program's resources: a dialog, a page and a string.
extern "C" const standin::ResourceEntry StandinResourceTable[] = {
    {nullptr, 5, nullptr, kDialogId, 0x0409, DialogBytes().data(), static_cast<DWORD>(DialogBytes().size())},
    {nullptr, 5, nullptr, kPageId, 0x0409, PageBytes().data(), static_cast<DWORD>(PageBytes().size())},
    {nullptr, 6, nullptr, 7, 0x0409, StringBlock().data(), static_cast<DWORD>(StringBlock().size() * 2)},
};
extern "C" const size_t StandinResourceTableCount = 3;

namespace {

class BaseMap : public ATL::CMessageMap {
public:
    std::vector<std::string> seen;
    BEGIN_MSG_MAP(BaseMap)
        MESSAGE_HANDLER(WM_APP + 5, OnBase)
    END_MSG_MAP()
    LRESULT OnBase(UINT, WPARAM, LPARAM, BOOL&)
    {
        seen.push_back("base");
        return 55;
    }
};

class Window : public ATL::CWindowImpl<Window>, public BaseMap {
public:
    DECLARE_WND_CLASS("AtlTestWindow")
    std::vector<std::string> events;
    std::vector<UINT> mouse;
    int finals = 0;
    HWND finalWindow = nullptr;

    BEGIN_MSG_MAP(Window)
        MESSAGE_HANDLER(WM_CREATE, OnCreate)
        MESSAGE_RANGE_HANDLER(0x200, 0x20D, OnMouse)
        MESSAGE_HANDLER(WM_APP, OnDestroyMe)
        MESSAGE_HANDLER(WM_APP + 1, OnPassOn)
        MESSAGE_HANDLER(WM_SETTEXT, OnSetText)
        COMMAND_HANDLER(10, 3, OnCommand)
        COMMAND_ID_HANDLER(10, OnCommandId)
        COMMAND_CODE_HANDLER(7, OnCommandCode)
        NOTIFY_HANDLER(20, 100, OnNotify)
        CHAIN_MSG_MAP(BaseMap)
    END_MSG_MAP()

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&)
    {
        events.push_back("create");
        return 0;
    }
    LRESULT OnMouse(UINT message, WPARAM, LPARAM, BOOL& handled)
    {
        mouse.push_back(message);
        handled = FALSE; // the default procedure has it too
        return 0;
    }
    LRESULT OnDestroyMe(UINT, WPARAM, LPARAM, BOOL&)
    {
        DestroyWindow();
        events.push_back(m_hWnd ? "handler returns, window kept" : "handler returns");
        return 0;
    }
    LRESULT OnPassOn(UINT, WPARAM, LPARAM, BOOL& handled)
    {
        handled = FALSE;
        return 99;
    }
    LRESULT OnSetText(UINT message, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        events.push_back(std::string("text ") + reinterpret_cast<const char*>(lParam));
        return DefWindowProc(message, wParam, lParam);
    }
    LRESULT OnCommand(WORD code, WORD id, HWND, BOOL&)
    {
        events.push_back("command " + std::to_string(id) + "/" + std::to_string(code));
        return 0;
    }
    LRESULT OnCommandId(WORD code, WORD id, HWND, BOOL&)
    {
        events.push_back("id " + std::to_string(id) + "/" + std::to_string(code));
        return 0;
    }
    LRESULT OnCommandCode(WORD code, WORD id, HWND, BOOL&)
    {
        events.push_back("code " + std::to_string(id) + "/" + std::to_string(code));
        return 0;
    }
    LRESULT OnNotify(int id, LPNMHDR header, BOOL&)
    {
        events.push_back("notify " + std::to_string(id) + "/" + std::to_string(header->code));
        return 77;
    }
    void OnFinalMessage(HWND hWnd) override
    {
        events.push_back("final");
        ++finals;
        finalWindow = hWnd;
    }
};

class AtlWindowTest : public ControlsTest {};

TEST_F(AtlWindowTest, MessageMapEntriesRouteAndPassOn)
{
    Window window;
    RECT rect{10, 10, 210, 110};
    HWND hwnd = window.Create(page, rect, "atl", 0, 0, 33U);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(window.m_hWnd, hwnd);
    EXPECT_EQ(window.GetStyle() & (WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE)); // the control traits
    EXPECT_EQ(window.GetDlgCtrlID(), 33);
    EXPECT_EQ(window.events, (std::vector<std::string>{"create"}));
    char name[32];
    GetClassNameA(hwnd, name, 32);
    EXPECT_STREQ(name, "AtlTestWindow");

    // Injected pointer input reaches the range handler, and the default procedure after it.
    Click(hwnd, 20, 20);
    EXPECT_EQ(window.mouse, (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_TRUE(Only(hwnd, WM_SETCURSOR).size() >= 1); // WM_NCHITTEST answered by the default procedure
    window.events.clear();
    EXPECT_EQ(window.SendMessage(WM_APP + 1), 0);   // passed on to DefWindowProc
    EXPECT_EQ(window.SendMessage(WM_APP + 5), 55);  // the chained map
    EXPECT_EQ(window.seen, (std::vector<std::string>{"base"}));
    window.SetWindowText("shown");
    char text[16];
    window.GetWindowText(text, 16);
    EXPECT_STREQ(text, "shown");
    window.SendMessage(WM_COMMAND, MAKEWPARAM(10, 3), 0);
    window.SendMessage(WM_COMMAND, MAKEWPARAM(10, 4), 0);
    window.SendMessage(WM_COMMAND, MAKEWPARAM(11, 7), 0);
    window.SendMessage(WM_COMMAND, MAKEWPARAM(12, 8), 0); // no entry
    NMHDR header{hwnd, 20, 100};
    EXPECT_EQ(window.SendMessage(WM_NOTIFY, 20, reinterpret_cast<LPARAM>(&header)), 77);
    header.code = 101;
    EXPECT_EQ(window.SendMessage(WM_NOTIFY, 20, reinterpret_cast<LPARAM>(&header)), 0);
    EXPECT_EQ(window.events, (std::vector<std::string>{"text shown", "command 10/3", "id 10/4", "code 11/7", "notify 20/100"}));
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(window.finals, 1);
    EXPECT_EQ(window.m_hWnd, nullptr);
}

TEST_F(AtlWindowTest, DestroyedInItsOwnHandlerTheFinalMessageComesAfterItReturns)
{
    Window window;
    HWND hwnd = window.Create(page, nullptr, nullptr, WS_CHILD);
    ASSERT_NE(hwnd, nullptr);
    window.events.clear();
    SendMessageW(hwnd, WM_APP, 0, 0);
    EXPECT_EQ(window.events, (std::vector<std::string>{"handler returns, window kept", "final"}));
    EXPECT_EQ(window.finals, 1);
    EXPECT_EQ(window.finalWindow, hwnd);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(window.m_hWnd, nullptr);
    // The object can make a window again.
    EXPECT_NE(window.Create(page, nullptr, nullptr, WS_CHILD), nullptr);
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(window.finals, 2);
}

// A control that sees an edit's keys before the edit does.
class KeyWatcher : public ATL::CWindowImpl<KeyWatcher> {
public:
    std::vector<UINT> keys;
    int creates = 0;
    BEGIN_MSG_MAP(KeyWatcher)
        MESSAGE_HANDLER(WM_CREATE, OnCreate)
        MESSAGE_HANDLER(WM_CHAR, OnChar)
    END_MSG_MAP()
    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&)
    {
        ++creates;
        return 0;
    }
    LRESULT OnChar(UINT message, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        keys.push_back(static_cast<UINT>(wParam));
        if (wParam == 'x')
            return 0; // swallowed
        return DefWindowProc(message, wParam, lParam);
    }
};

LRESULT WINAPI Above(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(AtlWindowTest, SubclassingAControlAndGivingItBack)
{
    HWND edit = Control(u"Edit", 1285, ES_AUTOHSCROLL, 10, 10, 100, 20);
    const LONG_PTR original = GetWindowLongPtrA(edit, GWLP_WNDPROC);
    KeyWatcher watcher;
    ASSERT_TRUE(watcher.SubclassWindow(edit));
    EXPECT_EQ(watcher.creates, 0); // no WM_CREATE for a window that already exists
    EXPECT_EQ(watcher.m_hWnd, edit);
    EXPECT_FALSE(KeyWatcher().SubclassWindow(edit)); // one object a window
    SetFocus(edit);
    Key('A');
    Key('X');
    Key('B');
    EXPECT_EQ(watcher.keys, (std::vector<UINT>{'a', 'x', 'b'}));
    char text[16];
    GetWindowTextA(edit, text, 16);
    EXPECT_STREQ(text, "ab"); // the edit typed what the watcher passed on
    EXPECT_EQ(watcher.UnsubclassWindow(), edit);
    EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), original);
    EXPECT_EQ(watcher.m_hWnd, nullptr);
    Key('C');
    EXPECT_EQ(watcher.keys.size(), 3u);

    // With another procedure above ours, giving back is refused unless forced.
    ASSERT_TRUE(watcher.SubclassWindow(edit));
    const LONG_PTR ours = SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Above));
    EXPECT_EQ(watcher.UnsubclassWindow(), nullptr);
    EXPECT_EQ(watcher.m_hWnd, edit);
    SetWindowLongPtrA(edit, GWLP_WNDPROC, ours);
    EXPECT_EQ(watcher.UnsubclassWindow(), edit);
    EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), original);
    EXPECT_EQ(watcher.UnsubclassWindow(), nullptr); // nothing left to give back

    // A subclassed window destroyed gets its procedure back and the object its final message.
    KeyWatcher last;
    ASSERT_TRUE(last.SubclassWindow(edit));
    DestroyWindow(edit);
    EXPECT_EQ(last.m_hWnd, nullptr);
}

// A picture control as the pages make them: a superclass of the static control.
template <class T, class TBase, class TWinTraits> class PictureImpl : public ATL::CWindowImpl<T, TBase, TWinTraits> {
public:
    DECLARE_WND_SUPERCLASS(nullptr, TBase::GetWndClassName())
    int paints = 0;
    BEGIN_MSG_MAP(PictureImpl)
        MESSAGE_HANDLER(WM_APP, OnApp)
    END_MSG_MAP()
    LRESULT OnApp(UINT, WPARAM, LPARAM, BOOL&) { return 1234; }
};
class Picture : public PictureImpl<Picture, WTL::CStaticT<ATL::CWindow>, ATL::CWinTraits<0x56000000, 0>> {};

TEST_F(AtlWindowTest, SuperclassOfTheStaticKeepsItsBehaviour)
{
    Picture picture;
    RECT rect{0, 0, 80, 60};
    HWND hwnd = picture.Create(page, rect);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(picture.GetStyle(), DWORD(0x56000000));
    EXPECT_EQ(picture.GetExStyle(), 0u);
    EXPECT_EQ(picture.SendMessage(WM_APP), 1234);
    EXPECT_EQ(picture.SendMessage(WM_GETDLGCODE), DLGC_STATIC); // the static's procedure behind ours
    char name[32];
    GetClassNameA(hwnd, name, 32);
    EXPECT_EQ(std::string(name).substr(0, 4), "ATL:");
    Picture second;
    EXPECT_NE(second.Create(page, rect), nullptr); // the class is registered once
    char secondName[32];
    GetClassNameA(second.m_hWnd, secondName, 32);
    EXPECT_STREQ(secondName, name);
    EXPECT_TRUE(second.DestroyWindow());
    // An object gone before its window leaves the window to the default procedure.
    {
        Picture shortLived;
        ASSERT_NE(shortLived.Create(page, rect), nullptr);
        hwnd = shortLived.m_hWnd;
    }
    EXPECT_EQ(SendMessageW(hwnd, WM_APP, 0, 0), 0);
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(picture.DestroyWindow());
}

class Dialog : public ATL::CDialogImpl<Dialog> {
public:
    enum { IDD = kDialogId };
    std::vector<std::string> events;
    int finals = 0;
    BEGIN_MSG_MAP(Dialog)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        COMMAND_ID_HANDLER(IDOK, OnOK)
        COMMAND_HANDLER(1001, EN_CHANGE, OnChange)
    END_MSG_MAP()
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&)
    {
        events.push_back("init " + std::to_string(lParam));
        SetDlgItemText(1001, "start");
        return TRUE;
    }
    LRESULT OnOK(WORD, WORD, HWND, BOOL&)
    {
        events.push_back("ok");
        EndDialog(7);
        return 0;
    }
    LRESULT OnChange(WORD, WORD, HWND, BOOL&)
    {
        events.push_back("change");
        return 0;
    }
    void OnFinalMessage(HWND) override { ++finals; }
};

TEST_F(AtlWindowTest, DialogsOfTheProgramsResources)
{
    Dialog modal;
    PostMessageW(page, WM_NULL, 0, 0);
    // The user presses OK once the dialog runs its loop.
    SetTimer(page, 1, 10, [](HWND owner, UINT, UINT_PTR id, DWORD) {
        KillTimer(owner, id);
        HWND dialog = GetActiveWindow();
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(modal.DoModal(page, 42), 7);
    EXPECT_EQ(modal.events, (std::vector<std::string>{"init 42", "change", "ok"}));
    EXPECT_EQ(modal.finals, 1);
    EXPECT_EQ(modal.m_hWnd, nullptr);

    Dialog modeless;
    HWND hwnd = modeless.Create(page, 5);
    ASSERT_NE(hwnd, nullptr);
    char text[16];
    EXPECT_EQ(modeless.GetDlgItemText(1001, text, 16), 5u);
    EXPECT_STREQ(text, "start");
    EXPECT_TRUE(modeless.DestroyWindow());
    EXPECT_EQ(modeless.finals, 1);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(AtlWindowTest, WtlWrappersSendTheControlsMessages)
{
    WTL::CTrackBarCtrl bar = Control(TRACKBAR_CLASSW, 1, 0, 10, 10, 200, 30);
    bar.SetRange(-20, 20);
    EXPECT_EQ(bar.GetRangeMin(), -20);
    EXPECT_EQ(bar.GetRangeMax(), 20);
    bar.SetPos(5);
    EXPECT_EQ(bar.GetPos(), 5);
    bar.SetTicFreq(5);
    EXPECT_EQ(bar.SetLineSize(2), 1);
    EXPECT_EQ(bar.SetPageSize(4), 8);
    EXPECT_TRUE(TakeScrolls().empty());

    WTL::CEdit edit = Control(u"Edit", 2, ES_AUTOHSCROLL, 10, 50, 80, 20);
    WTL::CUpDownCtrl spin = Control(UPDOWN_CLASSW, 3, UDS_SETBUDDYINT | UDS_NOTHOUSANDS, 90, 50, 16, 20);
    EXPECT_EQ(spin.SetBuddy(edit), nullptr);
    EXPECT_EQ(spin.GetBuddy(), edit.m_hWnd);
    spin.SetRange32(10, 5000);
    spin.SetPos32(2048);
    char text[16];
    edit.GetWindowText(text, 16);
    EXPECT_STREQ(text, "2048");
    edit.SetWindowText("300");
    BOOL error = TRUE;
    EXPECT_EQ(spin.GetPos32(&error), 300);
    EXPECT_FALSE(error);
    int low = 0, high = 0;
    spin.GetRange32(low, high);
    EXPECT_EQ(high, 5000);
    UDACCEL accel{0, 16};
    EXPECT_TRUE(spin.SetAccel(1, &accel));

    WTL::CTabCtrl tabs = Control(WC_TABCONTROLW, 4, 0, 10, 80, 200, 100);
    EXPECT_EQ(tabs.InsertItem(0, "Color"), 0);
    EXPECT_EQ(tabs.InsertItem(1, "Video"), 1);
    EXPECT_EQ(tabs.GetItemCount(), 2);
    EXPECT_EQ(tabs.SetCurSel(1), 0);
    EXPECT_TRUE(tabs.DeleteItem(0));
    EXPECT_EQ(tabs.GetCurSel(), 0);

    WTL::CTreeViewCtrl tree = Control(WC_TREEVIEWW, 5, TVS_HASLINES, 220, 10, 150, 150);
    HTREEITEM root = tree.InsertItem("root", TVI_ROOT, TVI_LAST);
    HTREEITEM leaf = tree.InsertItem("leaf", root, TVI_LAST);
    EXPECT_EQ(tree.GetChildItem(root), leaf);
    EXPECT_EQ(tree.GetParentItem(leaf), root);
    EXPECT_TRUE(tree.Expand(root));
    EXPECT_TRUE(tree.SelectItem(leaf));
    EXPECT_EQ(tree.GetSelectedItem(), leaf);
    EXPECT_EQ(tree.GetCount(), 2u);
    tree.SetBkColor(RGB(10, 20, 30));
    EXPECT_EQ(tree.GetBkColor(), RGB(10, 20, 30));
    EXPECT_TRUE(tree.DeleteAllItems());
    EXPECT_EQ(tree.GetCount(), 0u);

    WTL::CComboBox combo = Control(u"ComboBox", 6, CBS_DROPDOWNLIST, 10, 200, 100, 100);
    EXPECT_EQ(combo.AddString("one"), 0);
    EXPECT_EQ(combo.AddString("two"), 1);
    EXPECT_EQ(combo.SetCurSel(1), 1);
    EXPECT_EQ(combo.GetLBTextLen(1), 3);
    combo.GetLBText(1, text);
    EXPECT_STREQ(text, "two");
    WTL::CListBox list = Control(u"ListBox", 7, 0, 120, 200, 100, 100);
    EXPECT_EQ(list.AddString("line"), 0);
    EXPECT_EQ(list.GetCount(), 1);
    list.GetText(0, text);
    EXPECT_STREQ(text, "line");
    WTL::CButton check = Control(u"Button", 8, BS_AUTOCHECKBOX, 10, 300, 80, 20);
    check.SetCheck(BST_CHECKED);
    EXPECT_EQ(check.GetCheck(), BST_CHECKED);
    WTL::CStatic label = Control(u"Static", 9, SS_BITMAP, 100, 300, 20, 20);
    EXPECT_EQ(label.SetBitmap(reinterpret_cast<HBITMAP>(0x4000)), nullptr);
    EXPECT_EQ(label.GetBitmap(), reinterpret_cast<HBITMAP>(0x4000));
    EXPECT_STREQ(WTL::CStatic::GetWndClassName(), "STATIC");
    EXPECT_STREQ(WTL::CTrackBarCtrl::GetWndClassName(), "msctls_trackbar32");
}

// A page object as the pages are: the property page base and the dialog, with counted references.
class TestPage : public ATL::IPropertyPageImpl<TestPage>, public ATL::CDialogImpl<TestPage> {
public:
    enum { IDD = kPageId };
    ULONG refs = 1;
    TestPage() { m_dwTitleID = 100; }
    STDMETHOD(QueryInterface)(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    BEGIN_MSG_MAP(TestPage)
    END_MSG_MAP()
};

struct Counted : IUnknown {
    ULONG refs = 1;
    STDMETHOD(QueryInterface)(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
};

struct Site : IPropertyPageSite {
    ULONG refs = 1;
    std::vector<DWORD> status;
    STDMETHOD(QueryInterface)(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    STDMETHOD(OnStatusChange)(DWORD flags) override
    {
        status.push_back(flags);
        return S_OK;
    }
    STDMETHOD(GetLocaleID)(LCID* id) override
    {
        *id = 1033;
        return S_OK;
    }
    STDMETHOD(GetPageContainer)(IUnknown** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(TranslateAccelerator)(MSG*) override { return S_FALSE; }
};

TEST_F(AtlWindowTest, PropertyPageImplKeepsSiteObjectsAndDirtiness)
{
    TestPage page;
    Site site;
    Site other;
    EXPECT_EQ(page.SetPageSite(&site), S_OK);
    EXPECT_EQ(site.refs, 2u);
    EXPECT_EQ(page.SetPageSite(&other), E_UNEXPECTED);
    PROPPAGEINFO info{};
    EXPECT_EQ(page.GetPageInfo(&info), E_INVALIDARG);
    info.cb = sizeof info;
    ASSERT_EQ(page.GetPageInfo(&info), S_OK);
    ASSERT_NE(info.pszTitle, nullptr);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.pszTitle)), u"Color");
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(info.size.cx, 200 * 6 / 4); // the template's 200 x 100 units in pixels
    EXPECT_EQ(info.size.cy, 100 * 13 / 8);
    EXPECT_EQ(info.pszDocString, nullptr);

    Counted first;
    Counted second;
    IUnknown* objects[] = {&first, &second};
    EXPECT_EQ(page.SetObjects(2, objects), S_OK);
    EXPECT_EQ(page.m_nObjects, 2u);
    EXPECT_EQ(page.m_ppUnk[1], &second);
    EXPECT_EQ(first.refs, 2u);
    EXPECT_EQ(page.SetObjects(1, nullptr), E_POINTER);

    RECT area{5, 30, 305, 230};
    EXPECT_EQ(page.Activate(this->page, &area, TRUE), S_OK);
    ASSERT_NE(page.m_hWnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(page.m_hWnd));
    EXPECT_EQ(::GetParent(page.m_hWnd), this->page); // a child of the frame's page area
    RECT placed{};
    GetWindowRect(page.m_hWnd, &placed);
    EXPECT_EQ(placed.right - placed.left, 300);
    EXPECT_EQ(page.Show(SW_HIDE), S_OK);
    EXPECT_FALSE(IsWindowVisible(page.m_hWnd));
    RECT moved{0, 0, 100, 50};
    EXPECT_EQ(page.Move(&moved), S_OK);

    EXPECT_EQ(page.IsPageDirty(), S_FALSE);
    page.SetDirty(TRUE);
    page.SetDirty(TRUE); // no change, no report
    EXPECT_EQ(page.IsPageDirty(), S_OK);
    page.SetDirty(FALSE);
    EXPECT_EQ(site.status, (std::vector<DWORD>{PROPPAGESTATUS_DIRTY, PROPPAGESTATUS_CLEAN}));
    EXPECT_EQ(page.Apply(), S_OK);

    HWND hwnd = page.m_hWnd;
    EXPECT_EQ(page.Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(page.Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(page.Show(SW_SHOW), E_UNEXPECTED);
    EXPECT_EQ(page.SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(page.SetPageSite(nullptr), S_OK);
    EXPECT_EQ(site.refs, 1u);
}

// What the frame did to its pages, in order, across all of them.
std::vector<std::string>& FrameCalls()
{
    static std::vector<std::string> calls;
    return calls;
}

// A page written without ATL, titled "Color", whose window runs the user's script once shown.
class ForeignPage final : public IPropertyPage {
public:
    std::function<void(HWND)> script;
    ULONG refs = 1;
    IPropertyPageSite* site = nullptr;
    HWND window = nullptr;
    STDMETHOD(QueryInterface)(REFIID riid, void** out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPage)) {
            *out = static_cast<IPropertyPage*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override
    {
        FrameCalls().push_back("color release");
        return --refs;
    }
    STDMETHOD(SetPageSite)(IPropertyPageSite* s) override
    {
        FrameCalls().push_back(s ? "color site" : "color site null");
        site = s;
        return S_OK;
    }
    STDMETHOD(Activate)(HWND parent, LPCRECT rect, BOOL) override
    {
        FrameCalls().push_back("color activate");
        window = windowtest::Make(WS_CHILD | WS_VISIBLE, rect->left, rect->top, rect->right - rect->left,
                                  rect->bottom - rect->top, parent,
                                  [this](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
                                      if (message == WM_APP && script)
                                          script(hwnd);
                                      return std::nullopt;
                                  });
        PostMessageW(window, WM_APP, 0, 0);
        return S_OK;
    }
    STDMETHOD(Deactivate)() override
    {
        FrameCalls().push_back("color deactivate");
        if (window)
            DestroyWindow(window);
        window = nullptr;
        return S_OK;
    }
    STDMETHOD(GetPageInfo)(PROPPAGEINFO* info) override
    {
        static const char16_t title[] = u"Color";
        info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof title));
        std::memcpy(info->pszTitle, title, sizeof title);
        info->size = SIZE{360, 240};
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    }
    STDMETHOD(SetObjects)(ULONG n, IUnknown**) override
    {
        FrameCalls().push_back("color objects " + std::to_string(n));
        return S_OK;
    }
    STDMETHOD(Show)(UINT) override { return S_OK; }
    STDMETHOD(Move)(LPCRECT) override { return S_OK; }
    STDMETHOD(IsPageDirty)() override { return S_FALSE; }
    STDMETHOD(Apply)() override
    {
        FrameCalls().push_back("color apply");
        return S_OK;
    }
    STDMETHOD(Help)(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHOD(TranslateAccelerator)(MSG*) override { return S_FALSE; }
};

// A page of ours, which reports every call the frame makes.
class FramedPage : public TestPage {
public:
    std::string name;
    bool removeAtInit = false;
    BEGIN_MSG_MAP(FramedPage)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInit)
    END_MSG_MAP()
    LRESULT OnInit(UINT, WPARAM, LPARAM, BOOL&)
    {
        if (removeAtInit) {
            // Its own tab: the one the user just chose.
            HWND sheet = ::GetParent(::GetParent(m_hWnd));
            HWND tab = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
            ::SendMessageW(sheet, PSM_REMOVEPAGE, static_cast<WPARAM>(::SendMessageW(tab, TCM_GETCURSEL, 0, 0)), 0);
        }
        return TRUE;
    }
    STDMETHOD(QueryInterface)(REFIID riid, void** out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPage)) {
            *out = static_cast<IPropertyPage*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, Release)() override
    {
        FrameCalls().push_back(name + " release");
        return --refs;
    }
    STDMETHOD(Activate)(HWND parent, LPCRECT rect, BOOL modal) override
    {
        FrameCalls().push_back(name + " activate");
        return IPropertyPageImpl<TestPage>::Activate(parent, rect, modal);
    }
    STDMETHOD(Deactivate)() override
    {
        FrameCalls().push_back(name + " deactivate");
        return m_hWnd ? IPropertyPageImpl<TestPage>::Deactivate() : S_OK;
    }
    STDMETHOD(Apply)() override
    {
        FrameCalls().push_back(name + " apply");
        SetDirty(FALSE);
        return S_OK;
    }
};

constexpr CLSID kColorPage{0x11110001, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr CLSID kFirstPage{0x11110002, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr CLSID kSecondPage{0x11110003, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};

// A class object handing out one existing page.
class OneObjectFactory final : public IClassFactory {
public:
    explicit OneObjectFactory(IPropertyPage* page) : page_(page) {}
    STDMETHOD(QueryInterface)(REFIID, void** out) override
    {
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(CreateInstance)(IUnknown*, REFIID riid, void** out) override { return page_->QueryInterface(riid, out); }
    STDMETHOD(LockServer)(BOOL) override { return S_OK; }

private:
    IPropertyPage* page_;
};

class PropertyFrameTest : public AtlWindowTest {
protected:
    void SetUp() override
    {
        AtlWindowTest::SetUp();
        CoInitialize(nullptr);
        FrameCalls().clear();
        first.name = "first";
        second.name = "second";
        Register(kColorPage, colorFactory);
        Register(kFirstPage, firstFactory);
        Register(kSecondPage, secondFactory);
    }
    void TearDown() override
    {
        for (const CLSID* clsid : {&kColorPage, &kFirstPage, &kSecondPage})
            standin::UnregisterSystemClass(*clsid);
        CoUninitialize();
        AtlWindowTest::TearDown();
    }
    static void Register(const CLSID& clsid, OneObjectFactory& factory)
    {
        standin::RegisterSystemClass(clsid, [&factory](REFIID riid, void** out) { return factory.QueryInterface(riid, out); });
    }
    HRESULT Run(std::vector<CLSID> pages)
    {
        IUnknown* objects[] = {&object};
        return OleCreatePropertyFrame(page, 0, 0, reinterpret_cast<LPCOLESTR>(u"Filter"), 1, objects,
                                      static_cast<ULONG>(pages.size()), pages.data(), 0, 0, nullptr);
    }
    ForeignPage color;
    FramedPage first;
    FramedPage second;
    Counted object;
    OneObjectFactory colorFactory{&color};
    OneObjectFactory firstFactory{&first};
    OneObjectFactory secondFactory{&second};
};

TEST_F(PropertyFrameTest, TabsOfThePagesTheDirtyPageAppliedAndEverythingReleased)
{
    LRESULT tabs = 0;
    std::string firstTab;
    bool applyBefore = true;
    bool applyAfter = false;
    LCID locale = 0;
    HWND sheetSeen = nullptr;
    color.script = [&](HWND window) {
        HWND sheet = GetParent(GetParent(window));
        sheetSeen = sheet;
        HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
        tabs = SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0);
        char text[16] = "";
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageW(tab, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        firstTab = text;
        color.site->GetLocaleID(&locale);
        HWND apply = GetDlgItem(sheet, ID_APPLY_NOW);
        applyBefore = IsWindowEnabled(apply);
        standin::SelectTab(tab, 1); // the first test page shows and is activated
        first.SetDirty(TRUE);       // its site reports it: "Apply" follows
        applyAfter = IsWindowEnabled(apply);
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    };
    EXPECT_EQ(Run({kColorPage, kFirstPage, kSecondPage}), S_OK);
    EXPECT_EQ(tabs, 3);
    EXPECT_EQ(firstTab, "Color");
    EXPECT_EQ(locale, 1033u);
    EXPECT_FALSE(applyBefore);
    EXPECT_TRUE(applyAfter);
    const auto& calls = FrameCalls();
    auto has = [&](const std::string& call) { return std::count(calls.begin(), calls.end(), call); };
    EXPECT_EQ(has("first apply"), 1);
    EXPECT_EQ(has("color apply"), 0);  // not dirty
    EXPECT_EQ(has("second apply"), 0); // never shown
    EXPECT_EQ(has("color deactivate"), 1);
    EXPECT_EQ(has("first deactivate"), 1);
    EXPECT_EQ(has("second deactivate"), 1);
    EXPECT_EQ(has("color objects 0"), 1);
    EXPECT_EQ(has("color site null"), 1);
    // Every reference the frame took is given back: only the test's own remains.
    EXPECT_GE(has("color release"), 1);
    EXPECT_EQ(color.refs, 1u);
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(first.m_nObjects, 0u);
    EXPECT_EQ(first.m_pPageSite, nullptr);
    EXPECT_EQ(object.refs, 1u);
    EXPECT_FALSE(IsWindow(sheetSeen)); // no window left
    EXPECT_EQ(first.m_hWnd, nullptr);
    EXPECT_EQ(color.window, nullptr);
}

TEST_F(PropertyFrameTest, PagesRemovedThroughTheTabControlAndByThemselves)
{
    LRESULT afterRemove = 0;
    LRESULT afterSelfRemove = 0;
    second.removeAtInit = true;
    color.script = [&](HWND window) {
        HWND sheet = GetParent(GetParent(window));
        HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
        SendMessageW(sheet, PSM_REMOVEPAGE, 0, 0); // the current one: the next shows first
        afterRemove = SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0);
        standin::SelectTab(tab, 1); // the second page removes its own tab while it is made
        afterSelfRemove = SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0);
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    };
    EXPECT_EQ(Run({kColorPage, kFirstPage, kSecondPage}), S_OK);
    EXPECT_EQ(afterRemove, 2);
    EXPECT_EQ(afterSelfRemove, 1);
    const auto& calls = FrameCalls();
    for (const char* call : {"color deactivate", "first deactivate", "second deactivate"})
        EXPECT_EQ(std::count(calls.begin(), calls.end(), call), 1) << call;
    EXPECT_EQ(color.refs, 1u);
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(second.m_hWnd, nullptr);
}

TEST_F(PropertyFrameTest, TheModelessFrameReleasesItsPagesWithItsSheet)
{
    CLSID classes[] = {kColorPage, kFirstPage};
    IUnknown* objects[] = {&object};
    OCPFIPARAMS params{};
    params.cbStructSize = sizeof params;
    params.hWndOwner = page;
    params.lpszCaption = reinterpret_cast<LPCOLESTR>(u"Filter");
    params.cObjects = 1;
    params.lplpUnk = objects;
    params.cPages = 2;
    params.lpPages = classes;
    HWND sheet = nullptr;
    ASSERT_EQ(standin::OpenPropertyFrame(params, &sheet), S_OK);
    ASSERT_NE(sheet, nullptr);
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    EXPECT_TRUE(standin::SelectTab(tab, 1));
    first.SetDirty(TRUE);
    ASSERT_NE(first.m_hWnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(first.m_hWnd));
    EXPECT_TRUE(standin::PressApply(sheet));
    auto has = [](const std::string& call) { return std::count(FrameCalls().begin(), FrameCalls().end(), call); };
    EXPECT_EQ(has("first apply"), 1);
    // Apply leaves the shown page shown: the user goes on editing it.
    EXPECT_TRUE(IsWindowVisible(first.m_hWnd));
    // Leaving its tab hides it; coming back shows it again.
    EXPECT_TRUE(standin::SelectTab(tab, 0));
    EXPECT_FALSE(IsWindowVisible(first.m_hWnd));
    EXPECT_TRUE(standin::SelectTab(tab, 1));
    EXPECT_TRUE(IsWindowVisible(first.m_hWnd));
    EXPECT_EQ(object.refs, 2u); // the ATL page holds the object (the foreign one keeps no reference)
    DestroyWindow(sheet);
    EXPECT_EQ(has("color deactivate"), 1);
    EXPECT_EQ(has("first deactivate"), 1);
    EXPECT_EQ(object.refs, 1u);
    EXPECT_EQ(color.refs, 1u);
    EXPECT_EQ(first.refs, 1u);
    params.cbStructSize = 4;
    EXPECT_EQ(standin::OpenPropertyFrame(params, &sheet), E_INVALIDARG);
    EXPECT_EQ(OleCreatePropertyFrameIndirect(&params), E_INVALIDARG);
}

} // namespace
