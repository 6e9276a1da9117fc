// The "ListBox" class with one selection: lines 13 pixels high, sorted with LBS_SORT, the top line,
// a horizontal extent, and scroll bars as the content needs them: a control made with WS_VSCROLL
// shows its vertical bar while there are more lines than fit, one made with WS_HSCROLL its
// horizontal bar while the extent is wider than the client area (LBS_DISABLENOSCROLL: always).
// Without LBS_NOINTEGRALHEIGHT the control's height is cut to whole lines when it is made. A click
// or a key that moves the selection sends LBN_SELCHANGE (LBS_NOTIFY), a double click LBN_DBLCLK;
// focus changes send LBN_SETFOCUS and LBN_KILLFOCUS. The LB_ messages themselves never notify.
#include "controls/ControlPainting.h"
#include "controls/Controls.h"
#include "controls/ItemList.h"

#include <algorithm>
#include <cstring>

namespace user {
namespace {

constexpr int kScrollBarSize = 17;
constexpr int kHorizontalLine = 6; // a line left or right: the average character

struct ListState : ControlState {
    ListState() : ControlState(ControlKind::listBox) {}
    ItemList list;
    int itemHeight = kLineHeight;
    int extent = 0; // LB_SETHORIZONTALEXTENT, pixels
    int offset = 0; // pixels scrolled to the left
    bool wantsVertical = false;
    bool wantsHorizontal = false;
    bool captured = false;
    bool updatingBars = false;
};

bool HasStrings(DWORD style)
{
    return !(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) || (style & LBS_HASSTRINGS);
}

int VisibleLines(HWND hwnd, const ListState& state)
{
    return std::max(1, static_cast<int>(ClientSize(hwnd).cy) / state.itemHeight);
}

void ClampScroll(HWND hwnd, ListState& state)
{
    const int highest = std::max(0, state.list.Count() - VisibleLines(hwnd, state));
    state.list.top = std::clamp(state.list.top, 0, highest);
    state.offset = std::clamp(state.offset, 0, std::max(0, state.extent - static_cast<int>(ClientSize(hwnd).cx)));
}

void UpdateScrollBars(HWND hwnd, ListState& state)
{
    if (state.updatingBars)
        return;
    state.updatingBars = true;
    const DWORD style = StyleOf(hwnd);
    SIZE full = ClientSize(hwnd);
    if (style & WS_VSCROLL)
        full.cx += kScrollBarSize;
    if (style & WS_HSCROLL)
        full.cy += kScrollBarSize;
    const bool always = (style & LBS_DISABLENOSCROLL) != 0;
    bool vertical = false;
    bool horizontal = false;
    for (int round = 0; round < 2; ++round) { // each bar takes room from the other's direction
        const int width = static_cast<int>(full.cx) - (vertical ? kScrollBarSize : 0);
        const int height = static_cast<int>(full.cy) - (horizontal ? kScrollBarSize : 0);
        vertical = state.wantsVertical && (always || state.list.Count() > std::max(1, height / state.itemHeight));
        horizontal = state.wantsHorizontal && (always || state.extent > width);
    }
    ShowScrollBar(hwnd, WS_VSCROLL, vertical);
    ShowScrollBar(hwnd, WS_HSCROLL, horizontal);
    ClampScroll(hwnd, state);
    state.updatingBars = false;
    InvalidateRect(hwnd, nullptr, TRUE);
}

void ShowLine(HWND hwnd, ListState& state, int line)
{
    if (!state.list.Valid(line))
        return;
    const int lines = VisibleLines(hwnd, state);
    if (line < state.list.top)
        state.list.top = line;
    else if (line >= state.list.top + lines)
        state.list.top = line - lines + 1;
    ClampScroll(hwnd, state);
    InvalidateRect(hwnd, nullptr, TRUE);
}

// A user's selection: LBN_SELCHANGE when it changed and the style asks for notifications.
void UserSelects(HWND hwnd, ListState& state, int line)
{
    const DWORD style = StyleOf(hwnd);
    if ((style & LBS_NOSEL) || !state.list.Valid(line))
        return;
    ShowLine(hwnd, state, line);
    if (line == state.list.selection)
        return;
    state.list.selection = line;
    if (style & LBS_NOTIFY)
        NotifyParent(hwnd, LBN_SELCHANGE);
}

int LineAt(HWND hwnd, const ListState& state, POINT point)
{
    const SIZE size = ClientSize(hwnd);
    if (point.x < 0 || point.y < 0 || point.x >= size.cx || point.y >= size.cy)
        return -1;
    const int line = state.list.top + point.y / state.itemHeight;
    return state.list.Valid(line) ? line : -1;
}

int Moved(HWND hwnd, const ListState& state, WPARAM key)
{
    const int from = state.list.selection;
    const int last = state.list.Count() - 1;
    const int page = VisibleLines(hwnd, state);
    switch (key) {
    case VK_DOWN:
        return from < 0 ? 0 : std::min(from + 1, last);
    case VK_UP:
        return from < 0 ? 0 : std::max(from - 1, 0);
    case VK_HOME:
        return 0;
    case VK_END:
        return last;
    case VK_NEXT:
        return from < 0 ? 0 : std::min(from + page - 1, last);
    case VK_PRIOR:
        return from < 0 ? 0 : std::max(from - page + 1, 0);
    default:
        return -1;
    }
}

// WM_VSCROLL and WM_HSCROLL's new position from the request, the current one, a line, a page and
// the highest.
int Scrolled(WPARAM request, int now, int line, int page, int highest)
{
    int to = now;
    switch (LOWORD(request)) {
    case SB_LINEUP:
        to = now - line;
        break;
    case SB_LINEDOWN:
        to = now + line;
        break;
    case SB_PAGEUP:
        to = now - page;
        break;
    case SB_PAGEDOWN:
        to = now + page;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        to = static_cast<int>(HIWORD(request));
        break;
    case SB_TOP:
        to = 0;
        break;
    case SB_BOTTOM:
        to = highest;
        break;
    default:
        break;
    }
    return std::clamp(to, 0, std::max(0, highest));
}

LRESULT CopyLine(const ListState& state, WPARAM index, LPARAM buffer, DWORD style)
{
    const int line = static_cast<int>(index);
    if (!state.list.Valid(line) || !buffer)
        return LB_ERR;
    if (!HasStrings(style)) {
        std::memcpy(reinterpret_cast<void*>(buffer), &state.list.At(line).data, sizeof(ULONG_PTR));
        return sizeof(ULONG_PTR);
    }
    const std::u16string& text = state.list.At(line).text;
    std::memcpy(reinterpret_cast<char16_t*>(buffer), text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return static_cast<LRESULT>(text.size());
}

void Create(HWND hwnd, ListState& state)
{
    const DWORD style = StyleOf(hwnd);
    state.wantsVertical = (style & WS_VSCROLL) != 0;
    state.wantsHorizontal = (style & WS_HSCROLL) != 0;
    if (!(style & LBS_NOINTEGRALHEIGHT)) {
        const SIZE client = ClientSize(hwnd);
        const int cut = static_cast<int>(client.cy) % state.itemHeight;
        if (cut && client.cy > state.itemHeight) {
            RECT window{};
            GetWindowRect(hwnd, &window);
            SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left, window.bottom - window.top - cut,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    UpdateScrollBars(hwnd, state);
}

std::u16string TextArgument(LPARAM lParam)
{
    return lParam ? std::u16string(reinterpret_cast<const char16_t*>(lParam)) : std::u16string();
}

// The lines from the top one, scrolled left by the offset; the selected line in the highlight
// colours and the focus rectangle around it while the list has the focus. Owner-drawn lines are
// the parent's to draw (WM_DRAWITEM).
void Paint(HWND hwnd, const ListState& state, DWORD style, HDC dc, const RECT& client)
{
    const bool enabled = IsWindowEnabled(hwnd);
    HBRUSH brush = ParentBrush(hwnd, dc, WM_CTLCOLORLISTBOX);
    FillRect(dc, &client, brush);
    const COLORREF text = GetTextColor(dc);
    const bool focused = GetFocus() == hwnd;
    for (int line = state.list.top; line < state.list.Count(); ++line) {
        const int y = (line - state.list.top) * state.itemHeight;
        if (y >= client.bottom)
            break;
        RECT row{client.left, y, client.right, y + state.itemHeight};
        const bool selected = line == state.list.selection;
        if (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) {
            DRAWITEMSTRUCT item{};
            item.CtlType = ODT_LISTBOX;
            item.CtlID = static_cast<UINT>(GetWindowLongPtrW(hwnd, GWLP_ID));
            item.itemID = static_cast<UINT>(line);
            item.itemAction = ODA_DRAWENTIRE;
            item.itemState = (selected ? ODS_SELECTED : 0) | (selected && focused ? ODS_FOCUS : 0) |
                             (enabled ? 0 : ODS_DISABLED);
            item.hwndItem = hwnd;
            item.hDC = dc;
            item.rcItem = row;
            item.itemData = state.list.At(line).data;
            if (HWND parent = GetParent(hwnd))
                SendMessageW(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
            continue;
        }
        SetTextColor(dc, text);
        if (selected) {
            FillSystem(dc, row, COLOR_HIGHLIGHT);
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        }
        RECT label = row;
        label.left += 2 - state.offset;
        DrawLabel(dc, state.list.At(line).text, label, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
                  enabled || selected);
        if (selected && focused)
            DrawFocusRect(dc, &row);
    }
}

} // namespace

LRESULT WINAPI ListBoxProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = 0;
    auto state = EnterControlProcedure<ListState>(hwnd, message, wParam, lParam, ControlKind::listBox, &answer);
    if (!state)
        return answer;
    const DWORD style = StyleOf(hwnd);
    ItemList& list = state->list;
    const bool strings = HasStrings(style);
    switch (message) {
    case WM_CREATE:
        Create(hwnd, *state);
        return 0;
    case WM_SIZE:
        UpdateScrollBars(hwnd, *state);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font,
                     [&](HDC dc, const RECT& client) { Paint(hwnd, *state, style, dc, client); });
        return 0;
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        SetCapture(hwnd);
        state->captured = true;
        UserSelects(hwnd, *state, LineAt(hwnd, *state, PointOf(lParam)));
        return 0;
    }
    case WM_MOUSEMOVE:
        if (state->captured)
            UserSelects(hwnd, *state, LineAt(hwnd, *state, PointOf(lParam)));
        return 0;
    case WM_LBUTTONUP:
        if (state->captured) {
            state->captured = false;
            ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        state->captured = false;
        return 0;
    case WM_LBUTTONDBLCLK: {
        const int line = LineAt(hwnd, *state, PointOf(lParam));
        UserSelects(hwnd, *state, line);
        if (line >= 0 && (style & LBS_NOTIFY))
            NotifyParent(hwnd, LBN_DBLCLK);
        return 0;
    }
    case WM_KEYDOWN: {
        const int line = Moved(hwnd, *state, wParam);
        if (line >= 0)
            UserSelects(hwnd, *state, line);
        return 0;
    }
    case WM_CHAR: {
        const auto c = static_cast<char16_t>(wParam);
        if (c >= 0x20 && strings)
            UserSelects(hwnd, *state, list.Find(list.selection, std::u16string(1, c), false));
        return 0;
    }
    case WM_SETFOCUS:
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyParent(hwnd, LBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (state->captured) {
            state->captured = false;
            ReleaseCapture();
        }
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyParent(hwnd, LBN_KILLFOCUS);
        return 0;
    case WM_VSCROLL:
        list.top = Scrolled(wParam, list.top, 1, VisibleLines(hwnd, *state),
                            list.Count() - VisibleLines(hwnd, *state));
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_HSCROLL: {
        const int width = static_cast<int>(ClientSize(hwnd).cx);
        state->offset = Scrolled(wParam, state->offset, kHorizontalLine, width, state->extent - width);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case LB_ADDSTRING: {
        const int index = strings ? list.Add(TextArgument(lParam), 0, (style & LBS_SORT) != 0)
                                  : list.Add(std::u16string(), static_cast<ULONG_PTR>(lParam), false);
        UpdateScrollBars(hwnd, *state);
        return index;
    }
    case LB_INSERTSTRING: {
        const int index = strings ? list.Insert(static_cast<int>(wParam), TextArgument(lParam), 0)
                                  : list.Insert(static_cast<int>(wParam), std::u16string(), static_cast<ULONG_PTR>(lParam));
        if (index < 0)
            return LB_ERR;
        UpdateScrollBars(hwnd, *state);
        return index;
    }
    case LB_DELETESTRING: {
        const int left = list.Delete(static_cast<int>(wParam));
        if (left < 0)
            return LB_ERR;
        UpdateScrollBars(hwnd, *state);
        return left;
    }
    case LB_RESETCONTENT:
        list.Clear();
        UpdateScrollBars(hwnd, *state);
        return 0;
    case LB_GETCOUNT:
        return list.Count();
    case LB_SETCURSEL: {
        const int line = static_cast<int>(wParam);
        if ((style & LBS_NOSEL) || !list.Valid(line)) {
            list.selection = -1;
            InvalidateRect(hwnd, nullptr, TRUE);
            return LB_ERR;
        }
        list.selection = line;
        ShowLine(hwnd, *state, line);
        return line;
    }
    case LB_GETCURSEL:
        return list.selection;
    case LB_GETSEL: {
        const int line = static_cast<int>(wParam);
        return list.Valid(line) ? (line == list.selection ? 1 : 0) : LB_ERR;
    }
    case LB_SETSEL: // a list of one selection takes none this way
        return LB_ERR;
    case LB_GETCARETINDEX:
        return list.selection < 0 ? 0 : list.selection;
    case LB_SETCARETINDEX: {
        const int line = static_cast<int>(wParam);
        if (!list.Valid(line))
            return LB_ERR;
        ShowLine(hwnd, *state, line);
        return LB_OKAY;
    }
    case LB_GETTEXT:
        return CopyLine(*state, wParam, lParam, style);
    case LB_GETTEXTLEN: {
        const int line = static_cast<int>(wParam);
        if (!list.Valid(line))
            return LB_ERR;
        return strings ? static_cast<LRESULT>(list.At(line).text.size()) : static_cast<LRESULT>(sizeof(ULONG_PTR));
    }
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT: {
        if (!strings) {
            for (int line = 0; line < list.Count(); ++line)
                if (list.At(line).data == static_cast<ULONG_PTR>(lParam))
                    return line;
            return LB_ERR;
        }
        const int found = list.Find(static_cast<int>(wParam), TextArgument(lParam), message == LB_FINDSTRINGEXACT);
        return found < 0 ? LB_ERR : found;
    }
    case LB_SELECTSTRING: {
        const int found = strings ? list.Find(static_cast<int>(wParam), TextArgument(lParam), false) : -1;
        if (found < 0 || (style & LBS_NOSEL))
            return LB_ERR;
        list.selection = found;
        ShowLine(hwnd, *state, found);
        return found;
    }
    case LB_GETTOPINDEX:
        return list.top;
    case LB_SETTOPINDEX: {
        const int line = static_cast<int>(wParam);
        if (!list.Valid(line))
            return LB_ERR;
        list.top = line;
        ClampScroll(hwnd, *state);
        InvalidateRect(hwnd, nullptr, TRUE);
        return LB_OKAY;
    }
    case LB_GETHORIZONTALEXTENT:
        return state->extent;
    case LB_SETHORIZONTALEXTENT:
        state->extent = static_cast<int>(std::min<WPARAM>(wParam, 0x7FFFFFFF));
        UpdateScrollBars(hwnd, *state);
        return 0;
    case LB_GETITEMDATA:
        return list.GetData(wParam, LB_ERR);
    case LB_SETITEMDATA:
        return list.SetData(wParam, lParam, LB_ERR);
    case LB_GETITEMHEIGHT:
        return state->itemHeight;
    case LB_SETITEMHEIGHT: {
        const int height = static_cast<int>(LOWORD(lParam));
        if (height <= 0 || height > 255)
            return LB_ERR;
        state->itemHeight = height;
        UpdateScrollBars(hwnd, *state);
        return LB_OKAY;
    }
    case LB_GETITEMRECT: {
        const int line = static_cast<int>(wParam);
        auto* out = reinterpret_cast<RECT*>(lParam);
        if (!list.Valid(line) || !out)
            return LB_ERR;
        const int top = (line - list.top) * state->itemHeight;
        *out = RECT{-state->offset, top, static_cast<LONG>(ClientSize(hwnd).cx), top + state->itemHeight};
        return 1;
    }
    case LB_ITEMFROMPOINT: {
        const POINT point = PointOf(lParam);
        const SIZE size = ClientSize(hwnd);
        const bool outside = point.x < 0 || point.y < 0 || point.x >= size.cx || point.y >= size.cy;
        if (list.Count() == 0)
            return MAKELONG(0, 1);
        const int line = std::clamp(list.top + (point.y < 0 ? -1 : static_cast<int>(point.y) / state->itemHeight), 0,
                                    list.Count() - 1);
        return MAKELONG(static_cast<WORD>(line), outside ? 1 : 0);
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user
