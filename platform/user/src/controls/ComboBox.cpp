// The "ComboBox" class as a drop-down list: the selection field (21 pixels high, whatever height
// the control is given; that height is the dropped list's) and a list of lines 13 pixels high that a
// click on the field opens below it. While the list is open the combo box holds the capture: the
// pointer over a line highlights it, a release over a line chooses it, a click elsewhere closes the
// list unchanged; up, down, Home, End, Page Up and Page Down move the highlight, Enter chooses and
// Escape closes. With the list closed those keys choose at once. A user's choice sends CBN_SELENDOK
// (or CBN_SELENDCANCEL), CBN_CLOSEUP, then CBN_SELCHANGE when the selection changed; opening sends
// CBN_DROPDOWN first. The CB_ messages themselves never notify. CBS_SIMPLE and CBS_DROPDOWN are
// drop-down lists too: no edit field is made.
#include "controls/ControlPainting.h"
#include "controls/Controls.h"
#include "controls/ItemList.h"

#include <algorithm>
#include <cstring>

namespace user {
namespace {

constexpr int kFieldHeight = 21;     // the control's own height
constexpr int kFieldItemHeight = 15; // CB_GETITEMHEIGHT(-1)

struct ComboState : ControlState {
    ComboState() : ControlState(ControlKind::comboBox) {}
    ItemList list;
    bool dropped = false;
    int highlight = -1; // the line the open list shows as chosen
    int listHeight = 0; // the height the control was given, for its list
    int itemHeight = kLineHeight;
    int fieldItemHeight = kFieldItemHeight;
    bool pressOpened = false; // the press that opened the list is still down
};

// The list's lines seen at once, and its rectangle in the control's client coordinates.
int VisibleLines(const ComboState& state, DWORD style)
{
    const int room = state.listHeight - kFieldHeight - 2;
    if (style & CBS_NOINTEGRALHEIGHT)
        return std::max(1, (room + state.itemHeight - 1) / state.itemHeight);
    return std::max(1, room / state.itemHeight);
}

RECT ListRect(HWND hwnd, const ComboState& state, DWORD style)
{
    const SIZE size = ClientSize(hwnd);
    const int height = (style & CBS_NOINTEGRALHEIGHT) ? std::max(state.itemHeight + 2, state.listHeight - kFieldHeight)
                                                      : VisibleLines(state, style) * state.itemHeight + 2;
    return RECT{0, kFieldHeight, size.cx, kFieldHeight + height};
}

// The line under a client point of the open list; -1 outside its lines.
int LineAt(HWND hwnd, const ComboState& state, DWORD style, POINT point)
{
    const RECT list = ListRect(hwnd, state, style);
    if (point.x < list.left || point.x >= list.right || point.y < list.top + 1 || point.y >= list.bottom - 1)
        return -1;
    const int line = state.list.top + (point.y - list.top - 1) / state.itemHeight;
    return state.list.Valid(line) ? line : -1;
}

void ShowLine(ComboState& state, DWORD style, int line)
{
    const int lines = VisibleLines(state, style);
    if (line < 0)
        return;
    if (line < state.list.top)
        state.list.top = line;
    else if (line >= state.list.top + lines)
        state.list.top = line - lines + 1;
}

void ShowSelectionText(HWND hwnd, const ComboState& state)
{
    const std::u16string text = state.list.Valid(state.list.selection) ? state.list.At(state.list.selection).text : u"";
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(hwnd, nullptr, TRUE);
}

void Select(HWND hwnd, ComboState& state, int index)
{
    state.list.selection = state.list.Valid(index) ? index : -1;
    ShowSelectionText(hwnd, state);
}

void Open(HWND hwnd, ComboState& state, DWORD style, bool user)
{
    if (state.dropped)
        return;
    if (user)
        NotifyParent(hwnd, CBN_DROPDOWN);
    state.dropped = true;
    state.highlight = state.list.selection;
    ShowLine(state, style, state.highlight);
    SetCapture(hwnd);
    InvalidateRect(hwnd, nullptr, TRUE);
}

// Closes the open list; a user's choice takes the highlighted line.
void Close(HWND hwnd, ComboState& state, bool user, bool choose)
{
    if (!state.dropped)
        return;
    state.dropped = false;
    state.pressOpened = false;
    if (GetCapture() == hwnd)
        ReleaseCapture();
    InvalidateRect(hwnd, nullptr, TRUE);
    if (!user)
        return;
    const int before = state.list.selection;
    if (choose && state.list.Valid(state.highlight))
        Select(hwnd, state, state.highlight);
    NotifyParent(hwnd, choose ? CBN_SELENDOK : CBN_SELENDCANCEL);
    NotifyParent(hwnd, CBN_CLOSEUP);
    if (choose && state.list.selection != before)
        NotifyParent(hwnd, CBN_SELCHANGE);
}

// A key's new line from `from`; `from` itself when the key moves nothing.
int Moved(const ComboState& state, DWORD style, int from, WPARAM key)
{
    const int last = state.list.Count() - 1;
    if (last < 0)
        return from;
    const int page = VisibleLines(state, style);
    switch (key) {
    case VK_DOWN:
    case VK_RIGHT:
        return from < 0 ? 0 : std::min(from + 1, last);
    case VK_UP:
    case VK_LEFT:
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
        return from;
    }
}

void Chosen(HWND hwnd, ComboState& state, int line)
{
    if (line == state.list.selection || !state.list.Valid(line))
        return;
    Select(hwnd, state, line);
    NotifyParent(hwnd, CBN_SELCHANGE);
}

void KeyDown(HWND hwnd, ComboState& state, DWORD style, WPARAM key)
{
    if (key == VK_F4) {
        if (state.dropped)
            Close(hwnd, state, true, true);
        else
            Open(hwnd, state, style, true);
        return;
    }
    if (state.dropped) {
        if (key == VK_RETURN)
            Close(hwnd, state, true, true);
        else if (key == VK_ESCAPE)
            Close(hwnd, state, true, false);
        else {
            state.highlight = Moved(state, style, state.highlight, key);
            ShowLine(state, style, state.highlight);
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return;
    }
    Chosen(hwnd, state, Moved(state, style, state.list.selection, key));
}

LRESULT CopyLine(const ComboState& state, WPARAM index, LPARAM buffer)
{
    const int line = static_cast<int>(index);
    if (!state.list.Valid(line) || !buffer)
        return CB_ERR;
    const std::u16string& text = state.list.At(line).text;
    std::memcpy(reinterpret_cast<char16_t*>(buffer), text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return static_cast<LRESULT>(text.size());
}

std::u16string TextArgument(LPARAM lParam)
{
    return lParam ? std::u16string(reinterpret_cast<const char16_t*>(lParam)) : std::u16string();
}

// The field: a sunken box holding the chosen line's text (highlighted while a drop-down list has the
// focus) and, but for a simple combo box, the button with its arrow at the right, pressed while the
// list is open.
void Paint(HWND hwnd, const ComboState& state, DWORD style, HDC dc, const RECT& client)
{
    const bool enabled = IsWindowEnabled(hwnd);
    HBRUSH brush = ParentBrush(hwnd, dc, enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC);
    RECT field = client;
    DrawEdge(dc, &field, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillRect(dc, &field, brush);
    if ((style & 3) != CBS_SIMPLE) {
        RECT button{field.right - 16, field.top, field.right, field.bottom};
        DrawButtonFace(dc, button, state.dropped, false);
        RECT arrow = button;
        if (state.dropped)
            OffsetRect(&arrow, 1, 1);
        DrawArrow(dc, arrow, VK_DOWN, enabled);
        field.right = button.left;
    }
    RECT text = field;
    InflateRect(&text, -1, -1);
    const bool highlighted = (style & 3) == CBS_DROPDOWNLIST && GetFocus() == hwnd && !state.dropped;
    if (highlighted) {
        FillSystem(dc, text, COLOR_HIGHLIGHT);
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    }
    RECT label = text;
    label.left += 2;
    DrawLabel(dc, WindowText(hwnd), label, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, enabled);
    if (highlighted)
        DrawFocusRect(dc, &text);
}

} // namespace

LRESULT WINAPI ComboBoxProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto made = std::make_shared<ComboState>();
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (!create)
            return FALSE;
        made->listHeight = create->cy;
        AttachControlState(hwnd, made);
        // The title is no line of the list.
        CREATESTRUCTW untitled = *create;
        untitled.lpszName = nullptr;
        return DefWindowProcW(hwnd, message, wParam, reinterpret_cast<LPARAM>(&untitled));
    }
    auto state = ControlStateOf<ComboState>(hwnd, ControlKind::comboBox);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (auto font = FontMessage(*state, hwnd, message, wParam, lParam))
        return *font;
    const DWORD style = StyleOf(hwnd);
    ItemList& list = state->list;
    switch (message) {
    case WM_CREATE: {
        RECT window{};
        GetWindowRect(hwnd, &window);
        SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left, kFieldHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_WINDOWPOSCHANGING: {
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (pos && !(pos->flags & SWP_NOSIZE) && pos->cy != kFieldHeight) {
            state->listHeight = pos->cy;
            pos->cy = kFieldHeight;
        }
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS | (state->dropped ? DLGC_WANTALLKEYS : 0);
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font,
                     [&](HDC dc, const RECT& client) { Paint(hwnd, *state, style, dc, client); });
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const POINT point = PointOf(lParam);
        if (!state->dropped) {
            SetFocus(hwnd);
            Open(hwnd, *state, style, true);
            state->pressOpened = true;
            return 0;
        }
        const int line = LineAt(hwnd, *state, style, point);
        if (line < 0) { // the field or anywhere outside the list
            Close(hwnd, *state, true, false);
            return 0;
        }
        state->highlight = line;
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (state->dropped) {
            const int line = LineAt(hwnd, *state, style, PointOf(lParam));
            if (line >= 0 && line != state->highlight) {
                state->highlight = line;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (state->dropped) {
            const bool opening = state->pressOpened;
            state->pressOpened = false;
            const int line = LineAt(hwnd, *state, style, PointOf(lParam));
            if (line >= 0) {
                state->highlight = line;
                Close(hwnd, *state, true, true);
            } else if (!opening) {
                Close(hwnd, *state, true, false);
            }
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (state->dropped) // another window took the capture
            Close(hwnd, *state, true, false);
        return 0;
    case WM_KEYDOWN:
        KeyDown(hwnd, *state, style, wParam);
        return 0;
    case WM_CHAR: {
        const auto c = static_cast<char16_t>(wParam);
        if (c < 0x20 || state->dropped)
            return 0;
        Chosen(hwnd, *state, list.Find(list.selection, std::u16string(1, c), false));
        return 0;
    }
    case WM_SETFOCUS:
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyParent(hwnd, CBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        Close(hwnd, *state, true, false);
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyParent(hwnd, CBN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        if (!wParam)
            Close(hwnd, *state, false, false);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_SETTEXT: {
        const int line = list.Find(-1, TextArgument(lParam), true);
        if (line < 0)
            return CB_ERR;
        Select(hwnd, *state, line);
        return TRUE;
    }
    case CB_ADDSTRING: {
        const int index = list.Add(TextArgument(lParam), 0, (style & CBS_SORT) != 0);
        InvalidateRect(hwnd, nullptr, FALSE);
        return index;
    }
    case CB_INSERTSTRING: {
        const int index = list.Insert(static_cast<int>(wParam), TextArgument(lParam), 0);
        InvalidateRect(hwnd, nullptr, FALSE);
        return index < 0 ? CB_ERR : index;
    }
    case CB_DELETESTRING: {
        const int selected = list.selection;
        const int left = list.Delete(static_cast<int>(wParam));
        if (left < 0)
            return CB_ERR;
        if (selected >= 0 && list.selection < 0)
            ShowSelectionText(hwnd, *state);
        return left;
    }
    case CB_RESETCONTENT:
        list.Clear();
        state->highlight = -1;
        ShowSelectionText(hwnd, *state);
        return 0;
    case CB_GETCOUNT:
        return list.Count();
    case CB_GETCURSEL:
        return list.selection;
    case CB_SETCURSEL: {
        const int index = static_cast<int>(wParam);
        Select(hwnd, *state, index);
        state->highlight = list.selection;
        return list.Valid(index) ? index : CB_ERR;
    }
    case CB_GETLBTEXT:
        return CopyLine(*state, wParam, lParam);
    case CB_GETLBTEXTLEN: {
        const int line = static_cast<int>(wParam);
        return list.Valid(line) ? static_cast<LRESULT>(list.At(line).text.size()) : CB_ERR;
    }
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT: {
        const int found = list.Find(static_cast<int>(wParam), TextArgument(lParam), message == CB_FINDSTRINGEXACT);
        return found < 0 ? CB_ERR : found;
    }
    case CB_SELECTSTRING: {
        const int found = list.Find(static_cast<int>(wParam), TextArgument(lParam), false);
        if (found < 0)
            return CB_ERR;
        Select(hwnd, *state, found);
        return found;
    }
    case CB_GETITEMDATA:
        return list.GetData(wParam, CB_ERR);
    case CB_SETITEMDATA:
        return list.SetData(wParam, lParam, CB_ERR);
    case CB_SHOWDROPDOWN:
        if (wParam)
            Open(hwnd, *state, style, false);
        else
            Close(hwnd, *state, false, false);
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return state->dropped ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT: {
        auto* out = reinterpret_cast<RECT*>(lParam);
        if (!out)
            return CB_ERR;
        const RECT list = ListRect(hwnd, *state, style);
        POINT corner{0, 0};
        ClientToScreen(hwnd, &corner);
        RECT window{};
        GetWindowRect(hwnd, &window);
        *out = RECT{window.left, window.top, window.right, corner.y + list.bottom};
        return TRUE;
    }
    case CB_GETITEMHEIGHT:
        return static_cast<int>(wParam) == -1 ? state->fieldItemHeight : state->itemHeight;
    case CB_SETITEMHEIGHT: {
        const int height = static_cast<int>(lParam);
        if (height <= 0 || height > 255)
            return CB_ERR;
        if (static_cast<int>(wParam) == -1)
            state->fieldItemHeight = height;
        else
            state->itemHeight = height;
        return 0;
    }
    case CB_GETTOPINDEX:
        return list.top;
    case CB_SETTOPINDEX: {
        const int line = static_cast<int>(wParam);
        if (!list.Valid(line))
            return CB_ERR;
        list.top = std::min(line, std::max(0, list.Count() - VisibleLines(*state, style)));
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user
