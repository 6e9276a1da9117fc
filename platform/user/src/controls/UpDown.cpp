// The up-down ("msctls_updown32"): a position within a range (the minimum may exceed the maximum:
// the up arrow always moves toward the maximum), a buddy window, an acceleration table and a base.
// A click on an arrow, or an arrow key with UDS_ARROWKEYS (on the up-down or its buddy), proposes a
// step of the table's first increment: the parent gets UDN_DELTAPOS (a nonzero answer refuses it);
// the position moves, kept in the range (wrapping with UDS_WRAP), the buddy shows it
// (UDS_SETBUDDYINT, "1,000" unless UDS_NOTHOUSANDS), and the parent gets WM_VSCROLL (WM_HSCROLL
// with UDS_HORZ) SB_THUMBPOSITION with the position in the high word; the release of the button
// or key sends SB_ENDSCROLL. UDM_GETPOS32 and UDM_GETPOS read the buddy's text again first.
#include "controls/ControlPainting.h"
#include "controls/Controls.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace user {
namespace {

struct UpDownState : ControlState {
    UpDownState() : ControlState(ControlKind::upDown) {}
    int minimum = 100; // the documented start: 100 at the bottom, 0 at the top
    int maximum = 0;
    int position = 0;
    int base = 10;
    HWND buddy = nullptr;
    std::vector<UDACCEL> accel{{0, 1}, {2, 5}, {5, 20}};
    bool pressed = false;
    bool pressedUp = false; // which half the press is on
    UINT keyDown = 0;
};

// Buddies whose procedure the up-down replaced to see the arrow keys.
struct Subclass {
    HWND upDown;
    WNDPROC previous;
};
std::mutex& SubclassLock()
{
    static std::mutex lock;
    return lock;
}
std::map<HWND, Subclass>& Subclassed()
{
    static std::map<HWND, Subclass> subclassed;
    return subclassed;
}

int Low(const UpDownState& state)
{
    return std::min(state.minimum, state.maximum);
}
int High(const UpDownState& state)
{
    return std::max(state.minimum, state.maximum);
}

std::u16string FormatNumber(int value, int base, bool thousands)
{
    std::u16string text;
    if (base == 16) {
        const auto bits = static_cast<unsigned>(value);
        static constexpr char16_t digits[] = u"0123456789ABCDEF";
        std::u16string hex;
        for (int shift = 28; shift >= 0; shift -= 4)
            hex += digits[(bits >> shift) & 0xF];
        const size_t first = std::min(hex.find_first_not_of(u'0'), hex.size() - 4);
        return u"0x" + hex.substr(first);
    }
    long long magnitude = value < 0 ? -static_cast<long long>(value) : value;
    int count = 0;
    do {
        if (thousands && count > 0 && count % 3 == 0)
            text.insert(text.begin(), u',');
        text.insert(text.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
        ++count;
    } while (magnitude);
    if (value < 0)
        text.insert(text.begin(), u'-');
    return text;
}

// A number as the buddy shows it: decimal with optional group separators and sign, or hexadecimal
// with an optional "0x"; false for anything else.
bool ParseNumber(const std::u16string& raw, int base, int& value)
{
    size_t begin = raw.find_first_not_of(u' ');
    size_t end = raw.find_last_not_of(u' ');
    if (begin == std::u16string::npos)
        return false;
    std::u16string_view text(raw.data() + begin, end - begin + 1);
    long long result = 0;
    bool digits = false;
    if (base == 16) {
        if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
            text.remove_prefix(2);
        for (char16_t c : text) {
            int digit = -1;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            if (digit < 0)
                return false;
            result = result * 16 + digit;
            if (result > 0xFFFFFFFFLL)
                return false;
            digits = true;
        }
        value = static_cast<int>(static_cast<unsigned>(result));
        return digits;
    }
    bool negative = false;
    if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        text.remove_prefix(1);
    }
    for (char16_t c : text) {
        if (c == u',') {
            if (!digits)
                return false;
            continue;
        }
        if (c < u'0' || c > u'9')
            return false;
        result = result * 10 + (c - u'0');
        if (result > 0x80000000LL)
            return false;
        digits = true;
    }
    if (!digits || (!negative && result > 0x7FFFFFFFLL))
        return false;
    value = static_cast<int>(negative ? -result : result);
    return true;
}

void ShowInBuddy(HWND hwnd, const UpDownState& state)
{
    const DWORD style = StyleOf(hwnd);
    if (!(style & UDS_SETBUDDYINT) || !state.buddy || !IsWindow(state.buddy))
        return;
    const std::u16string text = FormatNumber(state.position, state.base, !(style & UDS_NOTHOUSANDS));
    SetWindowTextW(state.buddy, text.c_str());
}

// Reads the buddy's number into the position; false when the text is no number of the range.
bool ReadBuddy(HWND hwnd, UpDownState& state)
{
    if (!(StyleOf(hwnd) & UDS_SETBUDDYINT) || !state.buddy || !IsWindow(state.buddy))
        return true;
    const int length = GetWindowTextLengthW(state.buddy);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(state.buddy, text.data(), length + 1)));
    int value = 0;
    if (!ParseNumber(text, state.base, value) || value < Low(state) || value > High(state))
        return false;
    state.position = value;
    return true;
}

bool Vertical(HWND hwnd)
{
    return !(StyleOf(hwnd) & UDS_HORZ);
}

// One step toward the maximum (`up`) or the minimum, as the user asks it.
void Step(HWND hwnd, UpDownState& state, bool up)
{
    ReadBuddy(hwnd, state);
    const int increment = static_cast<int>(state.accel.empty() ? 1 : state.accel.front().nInc);
    const bool rising = state.maximum >= state.minimum;
    NMUPDOWN change{};
    change.iPos = state.position;
    change.iDelta = (up == rising) ? increment : -increment;
    if (NotifyParent(hwnd, change.hdr, UDN_DELTAPOS))
        return;
    long long wanted = static_cast<long long>(state.position) + change.iDelta;
    if (wanted > High(state))
        wanted = (StyleOf(hwnd) & UDS_WRAP) ? Low(state) : High(state);
    else if (wanted < Low(state))
        wanted = (StyleOf(hwnd) & UDS_WRAP) ? High(state) : Low(state);
    if (wanted == state.position)
        return;
    state.position = static_cast<int>(wanted);
    ShowInBuddy(hwnd, state);
    ScrollParent(hwnd, Vertical(hwnd), SB_THUMBPOSITION, state.position);
}

LRESULT WINAPI BuddyProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void ReleaseBuddy(HWND upDown, HWND buddy)
{
    std::lock_guard<std::mutex> hold(SubclassLock());
    auto found = Subclassed().find(buddy);
    if (found == Subclassed().end() || found->second.upDown != upDown)
        return;
    if (IsWindow(buddy) && reinterpret_cast<WNDPROC>(GetWindowLongPtrW(buddy, GWLP_WNDPROC)) == BuddyProcedure)
        SetWindowLongPtrW(buddy, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.previous));
    Subclassed().erase(found);
}

void TakeBuddy(HWND hwnd, UpDownState& state, HWND buddy)
{
    state.buddy = buddy;
    if (!buddy || !IsWindow(buddy))
        return;
    const DWORD style = StyleOf(hwnd);
    if (style & UDS_ARROWKEYS) {
        std::lock_guard<std::mutex> hold(SubclassLock());
        if (!Subclassed().count(buddy)) {
            const auto previous =
                reinterpret_cast<WNDPROC>(SetWindowLongPtrW(buddy, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BuddyProcedure)));
            Subclassed()[buddy] = Subclass{hwnd, previous};
        }
    }
    if (style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT)) {
        // The up-down sits inside the buddy's edge, and the buddy gives up that width.
        HWND parent = GetParent(hwnd);
        RECT own{};
        RECT other{};
        GetWindowRect(hwnd, &own);
        GetWindowRect(buddy, &other);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&other), 2);
        const int width = own.right - own.left;
        const int height = other.bottom - other.top;
        const int buddyWidth = std::max(0, static_cast<int>(other.right - other.left) - width);
        if (style & UDS_ALIGNRIGHT) {
            SetWindowPos(buddy, nullptr, 0, 0, buddyWidth, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            SetWindowPos(hwnd, nullptr, other.left + buddyWidth, other.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        } else {
            SetWindowPos(buddy, nullptr, other.left + width, other.top, buddyWidth, height, SWP_NOZORDER | SWP_NOACTIVATE);
            SetWindowPos(hwnd, nullptr, other.left, other.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    ShowInBuddy(hwnd, state);
}

bool ArrowKey(WPARAM key)
{
    return key == VK_UP || key == VK_DOWN;
}

// The arrow keys pressed in a buddy, for an up-down with UDS_ARROWKEYS.
LRESULT WINAPI BuddyProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Subclass found{};
    {
        std::lock_guard<std::mutex> hold(SubclassLock());
        auto entry = Subclassed().find(hwnd);
        if (entry == Subclassed().end())
            return DefWindowProcW(hwnd, message, wParam, lParam);
        found = entry->second;
        if (message == WM_NCDESTROY) {
            Subclassed().erase(entry);
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found.previous));
        }
    }
    if ((message == WM_KEYDOWN || message == WM_KEYUP) && ArrowKey(wParam) && IsWindow(found.upDown))
        return SendMessageW(found.upDown, message, wParam, lParam);
    if (message == WM_GETDLGCODE)
        return CallWindowProcW(found.previous, hwnd, message, wParam, lParam) | DLGC_WANTARROWS;
    return CallWindowProcW(found.previous, hwnd, message, wParam, lParam);
}

} // namespace

// Two raised buttons, one above the other (side by side with UDS_HORZ), with their arrows; the
// pressed one sunken.
void Paint(HWND hwnd, const UpDownState& state, HDC dc, const RECT& client)
{
    const bool enabled = IsWindowEnabled(hwnd);
    const bool vertical = Vertical(hwnd);
    RECT up = client, down = client;
    if (vertical) {
        up.bottom = down.top = client.bottom / 2;
    } else {
        down.right = up.left = client.right / 2;
    }
    for (const bool isUp : {true, false}) {
        RECT button = isUp ? up : down;
        const bool pressed = state.pressed && state.pressedUp == isUp;
        DrawButtonFace(dc, button, pressed, false);
        if (pressed)
            OffsetRect(&button, 1, 1);
        DrawArrow(dc, button, vertical ? (isUp ? VK_UP : VK_DOWN) : (isUp ? VK_RIGHT : VK_LEFT), enabled);
    }
}

LRESULT WINAPI UpDownProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = 0;
    auto state = EnterControlProcedure<UpDownState>(hwnd, message, wParam, lParam, ControlKind::upDown, &answer);
    if (!state)
        return answer;
    switch (message) {
    case WM_CREATE:
        if (StyleOf(hwnd) & UDS_AUTOBUDDY)
            TakeBuddy(hwnd, *state, GetWindow(hwnd, GW_HWNDPREV));
        return 0;
    case WM_DESTROY:
        ReleaseBuddy(hwnd, state->buddy);
        break;
    case WM_GETDLGCODE:
        return (StyleOf(hwnd) & UDS_ARROWKEYS) ? DLGC_WANTARROWS : 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font,
                     [&](HDC dc, const RECT& client) { Paint(hwnd, *state, dc, client); });
        return 0;
    case UDM_SETRANGE: // LOWORD the maximum, HIWORD the minimum, both signed
        state->maximum = static_cast<short>(LOWORD(lParam));
        state->minimum = static_cast<short>(HIWORD(lParam));
        state->position = std::clamp(state->position, Low(*state), High(*state));
        return 0;
    case UDM_GETRANGE:
        return MAKELONG(static_cast<WORD>(state->maximum), static_cast<WORD>(state->minimum));
    case UDM_SETRANGE32:
        state->minimum = static_cast<int>(wParam);
        state->maximum = static_cast<int>(lParam);
        state->position = std::clamp(state->position, Low(*state), High(*state));
        return 0;
    case UDM_GETRANGE32:
        if (wParam)
            *reinterpret_cast<int*>(wParam) = state->minimum;
        if (lParam)
            *reinterpret_cast<int*>(lParam) = state->maximum;
        return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
        const int previous = state->position;
        const int wanted = message == UDM_SETPOS ? static_cast<short>(LOWORD(lParam)) : static_cast<int>(lParam);
        state->position = std::clamp(wanted, Low(*state), High(*state));
        ShowInBuddy(hwnd, *state);
        return previous;
    }
    case UDM_GETPOS: {
        const bool read = ReadBuddy(hwnd, *state);
        return MAKELONG(static_cast<WORD>(state->position), read ? 0 : 1);
    }
    case UDM_GETPOS32: {
        const bool read = ReadBuddy(hwnd, *state);
        if (lParam)
            *reinterpret_cast<BOOL*>(lParam) = read ? FALSE : TRUE;
        return state->position;
    }
    case UDM_SETBUDDY: {
        HWND previous = state->buddy;
        ReleaseBuddy(hwnd, previous);
        TakeBuddy(hwnd, *state, reinterpret_cast<HWND>(wParam));
        return reinterpret_cast<LRESULT>(previous);
    }
    case UDM_GETBUDDY:
        return reinterpret_cast<LRESULT>(state->buddy);
    case UDM_SETACCEL: {
        if (wParam == 0 || !lParam)
            return FALSE;
        const auto* table = reinterpret_cast<const UDACCEL*>(lParam);
        state->accel.assign(table, table + wParam);
        return TRUE;
    }
    case UDM_GETACCEL: {
        const size_t wanted = std::min<size_t>(wParam, state->accel.size());
        if (lParam)
            std::copy_n(state->accel.begin(), wanted, reinterpret_cast<UDACCEL*>(lParam));
        return static_cast<LRESULT>(state->accel.size());
    }
    case UDM_SETBASE: {
        if (wParam != 10 && wParam != 16)
            return 0;
        const int previous = state->base;
        state->base = static_cast<int>(wParam);
        ShowInBuddy(hwnd, *state);
        return previous;
    }
    case UDM_GETBASE:
        return state->base;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (!IsWindowEnabled(hwnd))
            return 0;
        const POINT at = PointOf(lParam);
        const SIZE size = ClientSize(hwnd);
        const bool up = Vertical(hwnd) ? at.y < size.cy / 2 : at.x >= size.cx / 2;
        SetCapture(hwnd);
        state->pressed = true;
        state->pressedUp = up;
        InvalidateRect(hwnd, nullptr, FALSE);
        Step(hwnd, *state, up);
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (state->pressed && (message == WM_LBUTTONUP || reinterpret_cast<HWND>(lParam) != hwnd)) {
            state->pressed = false;
            InvalidateRect(hwnd, nullptr, FALSE);
            if (message == WM_LBUTTONUP && GetCapture() == hwnd)
                ReleaseCapture();
            ScrollParent(hwnd, Vertical(hwnd), SB_ENDSCROLL, state->position);
        }
        return 0;
    case WM_KEYDOWN:
        if ((StyleOf(hwnd) & UDS_ARROWKEYS) && ArrowKey(wParam)) {
            state->keyDown = static_cast<UINT>(wParam);
            Step(hwnd, *state, wParam == VK_UP);
            return 0;
        }
        break;
    case WM_KEYUP:
        if (state->keyDown && state->keyDown == wParam) {
            state->keyDown = 0;
            ScrollParent(hwnd, Vertical(hwnd), SB_ENDSCROLL, state->position);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user
