// The trackbar ("msctls_trackbar32"): a range with a position, tick marks, line and page sizes,
// and the user's ways of moving it. Each move is reported to the parent with WM_HSCROLL
// (WM_VSCROLL for TBS_VERT), MAKEWPARAM(code, position) and the trackbar in lParam; the position
// travels only with TB_THUMBTRACK and TB_THUMBPOSITION. The keys: the left and up arrows
// TB_LINEUP, right and down TB_LINEDOWN, Page Up TB_PAGEUP, Page Down TB_PAGEDOWN, Home TB_TOP,
// End TB_BOTTOM, each followed by TB_ENDTRACK when the key goes up. A click in the channel pages
// toward the pointer; a press on the thumb drags it: TB_THUMBTRACK at each move, TB_THUMBPOSITION
// at the release; TB_ENDTRACK at every release. Messages that set the position notify nobody.
#include "controls/ControlPainting.h"
#include "controls/Controls.h"

#include <algorithm>

namespace user {
namespace {

constexpr int kChannelInset = 13; // from each end of the control to the channel's ends
constexpr int kThumbHalf = 5;     // the thumb is 11 pixels along the channel

struct TrackbarState : ControlState {
    TrackbarState() : ControlState(ControlKind::trackbar) {}
    int minimum = 0;
    int maximum = 100;
    int position = 0;
    int lineSize = 1;
    int pageSize = 20;
    bool pageSizeSet = false;
    int ticFrequency = 1;
    bool dragging = false;
    bool paging = false;
    UINT keyDown = 0; // the key whose release ends the move
};

bool Vertical(HWND hwnd)
{
    return (StyleOf(hwnd) & TBS_VERT) != 0;
}

int Clamped(const TrackbarState& state, int position)
{
    return std::clamp(position, state.minimum, std::max(state.minimum, state.maximum));
}

// The channel's extent along the control's direction.
void Channel(HWND hwnd, int& first, int& last)
{
    const SIZE size = ClientSize(hwnd);
    const int length = Vertical(hwnd) ? size.cy : size.cx;
    first = kChannelInset;
    last = std::max(first, length - kChannelInset);
}

int ThumbCentre(HWND hwnd, const TrackbarState& state)
{
    int first = 0;
    int last = 0;
    Channel(hwnd, first, last);
    const long long span = static_cast<long long>(state.maximum) - state.minimum;
    if (span <= 0)
        return first;
    return first + static_cast<int>((static_cast<long long>(state.position) - state.minimum) * (last - first) / span);
}

// The position whose thumb centre is nearest to a point along the channel.
int PositionAt(HWND hwnd, const TrackbarState& state, int along)
{
    int first = 0;
    int last = 0;
    Channel(hwnd, first, last);
    if (last == first)
        return state.minimum;
    const long long span = static_cast<long long>(state.maximum) - state.minimum;
    const long long offset = std::clamp(along, first, last) - first;
    const long long width = last - first;
    return Clamped(state, static_cast<int>(state.minimum + (offset * span * 2 + width) / (width * 2)));
}

RECT ThumbRect(HWND hwnd, const TrackbarState& state)
{
    const SIZE size = ClientSize(hwnd);
    const int centre = ThumbCentre(hwnd, state);
    if (Vertical(hwnd))
        return RECT{0, centre - kThumbHalf, size.cx, centre + kThumbHalf + 1};
    return RECT{centre - kThumbHalf, 0, centre + kThumbHalf + 1, size.cy};
}

void DefaultPageSize(TrackbarState& state)
{
    if (!state.pageSizeSet)
        state.pageSize = std::max(1, (state.maximum - state.minimum) / 5);
}

void SetRange(HWND hwnd, TrackbarState& state, int minimum, int maximum, bool redraw)
{
    state.minimum = minimum;
    state.maximum = maximum;
    state.position = Clamped(state, state.position);
    DefaultPageSize(state);
    if (redraw)
        InvalidateRect(hwnd, nullptr, TRUE);
}

// A user's move: the new position, then the report to the parent.
void Move(HWND hwnd, TrackbarState& state, int code, int position)
{
    state.position = Clamped(state, position);
    InvalidateRect(hwnd, nullptr, TRUE);
    const bool carries = code == TB_THUMBTRACK || code == TB_THUMBPOSITION;
    ScrollParent(hwnd, Vertical(hwnd), code, carries ? state.position : 0);
}

bool KeyMove(HWND hwnd, TrackbarState& state, UINT vk)
{
    switch (vk) {
    case VK_LEFT:
    case VK_UP:
        Move(hwnd, state, TB_LINEUP, state.position - state.lineSize);
        return true;
    case VK_RIGHT:
    case VK_DOWN:
        Move(hwnd, state, TB_LINEDOWN, state.position + state.lineSize);
        return true;
    case VK_PRIOR:
        Move(hwnd, state, TB_PAGEUP, state.position - state.pageSize);
        return true;
    case VK_NEXT:
        Move(hwnd, state, TB_PAGEDOWN, state.position + state.pageSize);
        return true;
    case VK_HOME:
        Move(hwnd, state, TB_TOP, state.minimum);
        return true;
    case VK_END:
        Move(hwnd, state, TB_BOTTOM, state.maximum);
        return true;
    default:
        return false;
    }
}

int NumberOfTics(const TrackbarState& state, DWORD style)
{
    if (style & TBS_NOTICKS)
        return 0;
    if (!(style & TBS_AUTOTICKS) || state.ticFrequency <= 0)
        return 2; // the two ends
    const int inner = (state.maximum - state.minimum - 1) / state.ticFrequency;
    return std::max(0, inner) + 2;
}

// A sunken channel along the control, the raised thumb at the position, tick marks below (right of)
// it at the ends and, with TBS_AUTOTICKS, at every tick frequency; a focus rectangle round the
// control while it has the focus.
void Paint(HWND hwnd, const TrackbarState& state, DWORD style, HDC dc, const RECT& client)
{
    HBRUSH brush = ParentBrush(hwnd, dc, WM_CTLCOLORSTATIC);
    FillRect(dc, &client, brush);
    const bool vertical = style & TBS_VERT;
    const int across = vertical ? client.right : client.bottom;
    // The thumb is at most 21 pixels across, from 2 pixels in; the channel runs through its middle.
    const int thumbFirst = std::min(2, across / 4);
    const int thumbLast = std::max(thumbFirst + 1, std::min(across - 2, thumbFirst + 21));
    const int middle = (thumbFirst + thumbLast) / 2;
    int first = 0, last = 0;
    Channel(hwnd, first, last);
    RECT channel = vertical ? RECT{middle - 2, first - kThumbHalf, middle + 2, last + kThumbHalf + 1}
                            : RECT{first - kThumbHalf, middle - 2, last + kThumbHalf + 1, middle + 2};
    DrawEdge(dc, &channel, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillSystem(dc, channel, COLOR_WINDOW);
    // Ticks.
    const int tickAt = thumbLast + 2;
    auto tick = [&](int position) {
        const long long span = static_cast<long long>(state.maximum) - state.minimum;
        const int along = span <= 0 ? first
                                    : first + static_cast<int>((static_cast<long long>(position) - state.minimum) *
                                                               (last - first) / span);
        RECT mark = vertical ? RECT{tickAt, along, tickAt + 3, along + 1} : RECT{along, tickAt, along + 1, tickAt + 3};
        FillSystem(dc, mark, COLOR_WINDOWTEXT);
    };
    if (NumberOfTics(state, style) > 0 && tickAt + 3 <= across) {
        tick(state.minimum);
        tick(state.maximum);
        if ((style & TBS_AUTOTICKS) && state.ticFrequency > 0)
            for (int p = state.minimum + state.ticFrequency; p < state.maximum; p += state.ticFrequency)
                tick(p);
    }
    RECT thumb = ThumbRect(hwnd, state);
    if (vertical) {
        thumb.left = thumbFirst;
        thumb.right = thumbLast;
    } else {
        thumb.top = thumbFirst;
        thumb.bottom = thumbLast;
    }
    FillSystem(dc, thumb, COLOR_3DFACE);
    DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT);
    if (GetFocus() == hwnd)
        DrawFocusRect(dc, &client);
}

} // namespace

LRESULT WINAPI TrackbarProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = 0;
    auto state = EnterControlProcedure<TrackbarState>(hwnd, message, wParam, lParam, ControlKind::trackbar, &answer);
    if (!state)
        return answer;
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font,
                     [&](HDC dc, const RECT& client) { Paint(hwnd, *state, StyleOf(hwnd), dc, client); });
        return 0;
    case TBM_GETPOS:
        return state->position;
    case TBM_GETRANGEMIN:
        return state->minimum;
    case TBM_GETRANGEMAX:
        return state->maximum;
    case TBM_SETPOS:
        state->position = Clamped(*state, static_cast<int>(lParam));
        if (wParam)
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case TBM_SETRANGE: // the halves are signed 16-bit numbers
        SetRange(hwnd, *state, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)), wParam != 0);
        return 0;
    case TBM_SETRANGEMIN:
        SetRange(hwnd, *state, static_cast<int>(lParam), state->maximum, wParam != 0);
        return 0;
    case TBM_SETRANGEMAX:
        SetRange(hwnd, *state, state->minimum, static_cast<int>(lParam), wParam != 0);
        return 0;
    case TBM_SETTICFREQ:
        state->ticFrequency = static_cast<int>(wParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case TBM_GETNUMTICS:
        return NumberOfTics(*state, StyleOf(hwnd));
    case TBM_SETLINESIZE: {
        const int previous = state->lineSize;
        state->lineSize = static_cast<int>(lParam);
        return previous;
    }
    case TBM_GETLINESIZE:
        return state->lineSize;
    case TBM_SETPAGESIZE: {
        const int previous = state->pageSize;
        state->pageSize = static_cast<int>(lParam);
        state->pageSizeSet = true;
        return previous;
    }
    case TBM_GETPAGESIZE:
        return state->pageSize;
    case TBM_GETTHUMBRECT:
        if (lParam)
            *reinterpret_cast<RECT*>(lParam) = ThumbRect(hwnd, *state);
        return 0;
    case TBM_GETCHANNELRECT:
        if (lParam) {
            int first = 0;
            int last = 0;
            Channel(hwnd, first, last);
            const SIZE size = ClientSize(hwnd);
            // The channel's rectangle is given as for a horizontal control.
            const int across = Vertical(hwnd) ? size.cx : size.cy;
            *reinterpret_cast<RECT*>(lParam) = RECT{first, across / 2 - 2, last, across / 2 + 2};
        }
        return 0;
    case WM_KEYDOWN:
        if (KeyMove(hwnd, *state, static_cast<UINT>(wParam)))
            state->keyDown = static_cast<UINT>(wParam);
        return 0;
    case WM_KEYUP:
        if (state->keyDown && state->keyDown == wParam) {
            state->keyDown = 0;
            ScrollParent(hwnd, Vertical(hwnd), TB_ENDTRACK, 0);
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetFocus(hwnd);
        SetCapture(hwnd);
        const POINT at = PointOf(lParam);
        const RECT thumb = ThumbRect(hwnd, *state);
        if (at.x >= thumb.left && at.x < thumb.right && at.y >= thumb.top && at.y < thumb.bottom) {
            state->dragging = true;
            return 0;
        }
        state->paging = true;
        const int along = Vertical(hwnd) ? at.y : at.x;
        if (along < ThumbCentre(hwnd, *state))
            Move(hwnd, *state, TB_PAGEUP, state->position - state->pageSize);
        else
            Move(hwnd, *state, TB_PAGEDOWN, state->position + state->pageSize);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (state->dragging) {
            const POINT at = PointOf(lParam);
            Move(hwnd, *state, TB_THUMBTRACK, PositionAt(hwnd, *state, Vertical(hwnd) ? at.y : at.x));
        }
        return 0;
    case WM_LBUTTONUP: {
        const bool dragged = state->dragging;
        const bool paged = state->paging;
        state->dragging = state->paging = false;
        if (GetCapture() == hwnd)
            ReleaseCapture();
        if (dragged)
            Move(hwnd, *state, TB_THUMBPOSITION, state->position);
        if (dragged || paged)
            ScrollParent(hwnd, Vertical(hwnd), TB_ENDTRACK, 0);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd && (state->dragging || state->paging)) {
            // Another window took the pointer: the move ends where it is.
            const bool dragged = state->dragging;
            state->dragging = state->paging = false;
            if (dragged)
                Move(hwnd, *state, TB_THUMBPOSITION, state->position);
            ScrollParent(hwnd, Vertical(hwnd), TB_ENDTRACK, 0);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user
