// The tab control ("SysTabControl32"): a row of tabs along the top, each with a text, an image
// number, a state and the caller's value, and one selected. Messages that change the selection
// notify nobody; a click on a tab, or the left and right arrow keys, ask the parent with
// TCN_SELCHANGING (a nonzero answer keeps the selection) and then report TCN_SELCHANGE. Until text
// is measured by its font a tab is 6 pixels per character wide plus 12, and the row 20 high.
#include "controls/ControlPainting.h"
#include "controls/Controls.h"
#include "text/AnsiText.h"

#include <algorithm>
#include <string>
#include <vector>

namespace user {
namespace {

constexpr int kRowHeight = 20;
constexpr int kCharacterWidth = 6;
constexpr int kTabPadding = 12;
constexpr int kMargin = 4; // the display area's inset from the frame

struct Tab {
    std::u16string text;
    int image = -1;
    DWORD state = 0;
    LPARAM param = 0;
};

struct TabState : ControlState {
    TabState() : ControlState(ControlKind::tabControl) {}
    std::vector<Tab> tabs;
    int selected = -1;
    int focused = -1;
};

RECT TabRect(const TabState& state, size_t index)
{
    int left = 2;
    for (size_t i = 0; i < index; ++i)
        left += static_cast<int>(state.tabs[i].text.size()) * kCharacterWidth + kTabPadding;
    const int width = static_cast<int>(state.tabs[index].text.size()) * kCharacterWidth + kTabPadding;
    return RECT{left, 0, left + width, kRowHeight};
}

int TabAt(const TabState& state, POINT at)
{
    for (size_t i = 0; i < state.tabs.size(); ++i) {
        const RECT rect = TabRect(state, i);
        if (at.x >= rect.left && at.x < rect.right && at.y >= rect.top && at.y < rect.bottom)
            return static_cast<int>(i);
    }
    return -1;
}

// The row of tabs over a raised frame; the selected tab two pixels larger and open into the frame;
// the focus rectangle in the focused tab while the control has the focus.
void Paint(HWND hwnd, const TabState& state, HDC dc, const RECT& client)
{
    const bool enabled = IsWindowEnabled(hwnd);
    FillSystem(dc, client, COLOR_3DFACE);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    RECT body{client.left, kRowHeight, client.right, client.bottom};
    DrawEdge(dc, &body, EDGE_RAISED, BF_RECT);
    auto drawTab = [&](size_t i) {
        const bool selected = static_cast<int>(i) == state.selected;
        RECT tab = TabRect(state, i);
        if (selected) {
            InflateRect(&tab, 2, 0);
            tab.bottom += 1;
        } else {
            tab.top += 2;
        }
        FillSystem(dc, tab, COLOR_3DFACE);
        DrawEdge(dc, &tab, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT | BF_SOFT);
        RECT label = tab;
        if (selected)
            label.bottom -= 2;
        DrawLabel(dc, state.tabs[i].text, label, DT_CENTER | DT_VCENTER | DT_SINGLELINE, enabled);
        if (selected && static_cast<int>(i) == state.focused && GetFocus() == hwnd) {
            RECT focus = label;
            InflateRect(&focus, -3, -3);
            DrawFocusRect(dc, &focus);
        }
    };
    for (size_t i = 0; i < state.tabs.size(); ++i)
        if (static_cast<int>(i) != state.selected)
            drawTab(i);
    // The selected tab last: it overlaps its neighbours.
    if (state.selected >= 0 && state.selected < static_cast<int>(state.tabs.size()))
        drawTab(static_cast<size_t>(state.selected));
}

// The user's choice of a tab: asked of the parent, then reported.
void Choose(HWND hwnd, TabState& state, int index)
{
    if (index < 0 || index >= static_cast<int>(state.tabs.size()) || index == state.selected)
        return;
    NMHDR header{};
    if (NotifyParent(hwnd, header, TCN_SELCHANGING))
        return;
    // The parent's handler may have changed the tabs.
    auto again = ControlStateOf<TabState>(hwnd, ControlKind::tabControl);
    if (!again || index >= static_cast<int>(again->tabs.size()))
        return;
    again->selected = again->focused = index;
    InvalidateRect(hwnd, nullptr, TRUE);
    NotifyParent(hwnd, header, TCN_SELCHANGE);
}

template <typename Item>
void Store(Tab& tab, const Item& item, bool wide)
{
    if ((item.mask & TCIF_TEXT) && item.pszText)
        tab.text = wide ? std::u16string(reinterpret_cast<const char16_t*>(item.pszText))
                        : WideFromAnsi(reinterpret_cast<const char*>(item.pszText));
    if (item.mask & TCIF_IMAGE)
        tab.image = item.iImage;
    if (item.mask & TCIF_PARAM)
        tab.param = item.lParam;
    if (item.mask & TCIF_STATE)
        tab.state = (tab.state & ~item.dwStateMask) | (item.dwState & item.dwStateMask);
}

template <typename Item>
void Fetch(const Tab& tab, Item& item, bool wide)
{
    if (item.mask & TCIF_TEXT)
        CopyTextOut(tab.text, item.pszText, item.cchTextMax, wide);
    if (item.mask & TCIF_IMAGE)
        item.iImage = tab.image;
    if (item.mask & TCIF_PARAM)
        item.lParam = tab.param;
    if (item.mask & TCIF_STATE)
        item.dwState = tab.state & item.dwStateMask;
}

template <typename Item>
LRESULT Insert(HWND hwnd, TabState& state, WPARAM at, const Item* item, bool wide)
{
    if (!item || static_cast<int>(at) < 0)
        return -1;
    Tab tab;
    Store(tab, *item, wide);
    const size_t index = std::min(static_cast<size_t>(at), state.tabs.size());
    state.tabs.insert(state.tabs.begin() + static_cast<std::ptrdiff_t>(index), tab);
    if (state.selected < 0)
        state.selected = 0; // the first tab is selected
    else if (static_cast<int>(index) <= state.selected)
        ++state.selected;
    if (state.focused >= static_cast<int>(index))
        ++state.focused;
    InvalidateRect(hwnd, nullptr, TRUE);
    return static_cast<LRESULT>(index);
}

template <typename Item>
LRESULT Get(const TabState& state, WPARAM index, Item* item, bool wide)
{
    if (!item || index >= state.tabs.size())
        return FALSE;
    Fetch(state.tabs[index], *item, wide);
    return TRUE;
}

template <typename Item>
LRESULT Set(HWND hwnd, TabState& state, WPARAM index, const Item* item, bool wide)
{
    if (!item || index >= state.tabs.size())
        return FALSE;
    Store(state.tabs[index], *item, wide);
    InvalidateRect(hwnd, nullptr, TRUE);
    return TRUE;
}

} // namespace

LRESULT WINAPI TabControlProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = 0;
    auto state = EnterControlProcedure<TabState>(hwnd, message, wParam, lParam, ControlKind::tabControl, &answer);
    if (!state)
        return answer;
    switch (message) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font,
                     [&](HDC dc, const RECT& client) { Paint(hwnd, *state, dc, client); });
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case TCM_GETITEMCOUNT:
        return static_cast<LRESULT>(state->tabs.size());
    case TCM_INSERTITEMA:
        return Insert(hwnd, *state, wParam, reinterpret_cast<const TCITEMA*>(lParam), false);
    case TCM_INSERTITEMW:
        return Insert(hwnd, *state, wParam, reinterpret_cast<const TCITEMW*>(lParam), true);
    case TCM_GETITEMA:
        return Get(*state, wParam, reinterpret_cast<TCITEMA*>(lParam), false);
    case TCM_GETITEMW:
        return Get(*state, wParam, reinterpret_cast<TCITEMW*>(lParam), true);
    case TCM_SETITEMA:
        return Set(hwnd, *state, wParam, reinterpret_cast<const TCITEMA*>(lParam), false);
    case TCM_SETITEMW:
        return Set(hwnd, *state, wParam, reinterpret_cast<const TCITEMW*>(lParam), true);
    case TCM_DELETEITEM: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= static_cast<int>(state->tabs.size()))
            return FALSE;
        state->tabs.erase(state->tabs.begin() + index);
        // The selected tab gone leaves none selected; those after it move down one.
        if (state->selected == index)
            state->selected = -1;
        else if (state->selected > index)
            --state->selected;
        if (state->focused == index)
            state->focused = -1;
        else if (state->focused > index)
            --state->focused;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case TCM_DELETEALLITEMS:
        state->tabs.clear();
        state->selected = state->focused = -1;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    case TCM_GETCURSEL:
        return state->selected;
    case TCM_SETCURSEL: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= static_cast<int>(state->tabs.size()))
            return -1;
        const int previous = state->selected;
        state->selected = state->focused = index;
        InvalidateRect(hwnd, nullptr, TRUE);
        return previous;
    }
    case TCM_GETCURFOCUS:
        return state->focused;
    case TCM_SETCURFOCUS:
        if (static_cast<size_t>(wParam) < state->tabs.size())
            state->focused = state->selected = static_cast<int>(wParam);
        return 0;
    case TCM_GETITEMRECT:
        if (wParam >= state->tabs.size() || !lParam)
            return FALSE;
        *reinterpret_cast<RECT*>(lParam) = TabRect(*state, wParam);
        return TRUE;
    case TCM_HITTEST: {
        auto* info = reinterpret_cast<TCHITTESTINFO*>(lParam);
        if (!info)
            return -1;
        const int index = TabAt(*state, info->pt);
        info->flags = index < 0 ? TCHT_NOWHERE : TCHT_ONITEMLABEL;
        return index;
    }
    case TCM_ADJUSTRECT: {
        // FALSE: the display area of a window rectangle; TRUE: the window rectangle of a display area.
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect)
            return 0;
        const int sign = wParam ? -1 : 1;
        rect->left += sign * kMargin;
        rect->right -= sign * kMargin;
        rect->top += sign * (kRowHeight + kMargin);
        rect->bottom -= sign * kMargin;
        return 0;
    }
    case WM_LBUTTONDOWN: {
        const int index = TabAt(*state, PointOf(lParam));
        if (index >= 0) {
            if (!(StyleOf(hwnd) & TCS_FOCUSNEVER))
                SetFocus(hwnd);
            Choose(hwnd, *state, index);
        }
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_LEFT || wParam == VK_RIGHT) {
            const int from = state->selected < 0 ? 0 : state->selected;
            Choose(hwnd, *state, from + (wParam == VK_RIGHT ? 1 : -1));
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user
