// The "Button" class: push and default push buttons, check boxes (two and three states, plain and
// automatic), radio buttons (plain and automatic), group boxes and owner-drawn buttons. A press of
// the left button takes the focus and the capture; its release inside the button is a click, as is
// the space key pressed and released. A click changes an automatic button's check first, then
// sends BN_CLICKED.
#include "controls/ControlPainting.h"
#include "controls/Controls.h"

namespace user {
namespace {

struct ButtonState : ControlState {
    ButtonState() : ControlState(ControlKind::button) {}
    UINT check = BST_UNCHECKED;
    bool pushed = false;  // drawn pressed (BM_SETSTATE, a press under way)
    bool focused = false;
    bool captured = false; // a press of the left button under way
    bool spaceDown = false;
    HANDLE image = nullptr;
    WPARAM imageType = IMAGE_BITMAP;
};

bool HasCheck(DWORD type)
{
    switch (type) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
        return true;
    default:
        return false;
    }
}

void SetPushed(HWND hwnd, ButtonState& state, bool pushed)
{
    if (state.pushed == pushed)
        return;
    state.pushed = pushed;
    InvalidateRect(hwnd, nullptr, FALSE);
}

bool Inside(HWND hwnd, LPARAM lParam)
{
    const SIZE size = ClientSize(hwnd);
    const POINT point = PointOf(lParam);
    return point.x >= 0 && point.y >= 0 && point.x < size.cx && point.y < size.cy;
}

// The other buttons of the radio button's group: from the sibling with WS_GROUP at or before it to
// the next sibling with WS_GROUP.
void ClearGroup(HWND hwnd)
{
    HWND first = hwnd;
    while (!(StyleOf(first) & WS_GROUP)) {
        HWND previous = GetWindow(first, GW_HWNDPREV);
        if (!previous)
            break;
        first = previous;
    }
    for (HWND sibling = first; sibling; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling != first && (StyleOf(sibling) & WS_GROUP))
            break;
        if (sibling != hwnd && (SendMessageW(sibling, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON))
            SendMessageW(sibling, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

void Click(HWND hwnd, ButtonState& state, DWORD type)
{
    switch (type) {
    case BS_AUTOCHECKBOX:
        SendMessageW(hwnd, BM_SETCHECK, state.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
        break;
    case BS_AUTO3STATE:
        SendMessageW(hwnd, BM_SETCHECK, (state.check + 1) % 3, 0);
        break;
    case BS_AUTORADIOBUTTON:
        SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
        ClearGroup(hwnd);
        break;
    default:
        break;
    }
    NotifyParent(hwnd, BN_CLICKED);
}

LRESULT DialogCode(DWORD type)
{
    switch (type) {
    case BS_DEFPUSHBUTTON:
        return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
    case BS_PUSHBUTTON:
    case BS_OWNERDRAW:
        return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        return DLGC_BUTTON | DLGC_RADIOBUTTON;
    case BS_GROUPBOX:
        return DLGC_STATIC;
    default:
        return DLGC_BUTTON;
    }
}

// An owner-drawn button leaves its drawing to the parent, in the DC it is painting.
void DrawByOwner(HWND hwnd, const ButtonState& state, UINT action, HDC dc)
{
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(GetWindowLongPtrW(hwnd, GWLP_ID));
    item.itemAction = action;
    item.itemState = (state.pushed ? ODS_SELECTED : 0) | (state.focused ? ODS_FOCUS : 0) |
                     (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
    item.hwndItem = hwnd;
    item.hDC = dc;
    GetClientRect(hwnd, &item.rcItem);
    if (HWND parent = GetParent(hwnd))
        SendMessageW(parent, WM_DRAWITEM, static_cast<WPARAM>(item.CtlID), reinterpret_cast<LPARAM>(&item));
}

// The image of a BS_BITMAP or BS_ICON button, centred on its face.
void DrawImage(HDC dc, const ButtonState& state, const RECT& face, bool enabled)
{
    if (!state.image)
        return;
    int width = 0, height = 0;
    if (state.imageType == IMAGE_BITMAP) {
        BITMAP info{};
        if (!GetObjectW(state.image, sizeof info, &info))
            return;
        width = info.bmWidth;
        height = info.bmHeight;
    } else {
        width = height = 32;
    }
    const int x = (face.left + face.right - width) / 2, y = (face.top + face.bottom - height) / 2;
    const UINT kind = state.imageType == IMAGE_BITMAP ? DST_BITMAP : DST_ICON;
    DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(state.image), 0, x, y, width, height,
               kind | (enabled ? DSS_NORMAL : DSS_DISABLED));
}

void Paint(HWND hwnd, const ButtonState& state, DWORD style, HDC dc, const RECT& client)
{
    const DWORD type = style & BS_TYPEMASK;
    const bool enabled = IsWindowEnabled(hwnd);
    const std::u16string text = WindowText(hwnd);
    const bool pushLike = (style & BS_PUSHLIKE) && HasCheck(type);
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || pushLike) {
        // The parent hears of the paint; a push button's face stays the system's.
        ParentBrush(hwnd, dc, WM_CTLCOLORBTN);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        const bool pressed = state.pushed || (pushLike && state.check == BST_CHECKED);
        DrawButtonFace(dc, client, pressed, type == BS_DEFPUSHBUTTON);
        RECT face = client;
        if (pressed)
            OffsetRect(&face, 1, 1);
        if ((style & (BS_BITMAP | BS_ICON)) && state.image)
            DrawImage(dc, state, face, enabled);
        else
            DrawLabel(dc, text, face, DT_CENTER | DT_VCENTER | DT_SINGLELINE, enabled);
        if (state.focused) {
            RECT focus = client;
            InflateRect(&focus, -4, -4);
            DrawFocusRect(dc, &focus);
        }
        return;
    }
    HBRUSH brush = ParentBrush(hwnd, dc, WM_CTLCOLORSTATIC);
    if (type == BS_GROUPBOX) {
        // An etched frame from the middle of the text's line down, the text on the background at 8.
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        RECT frame = client;
        frame.top += tm.tmHeight / 2;
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
        if (!text.empty()) {
            RECT label{8, 0, client.right - 8, tm.tmHeight};
            RECT measured = label;
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_CALCRECT | DT_SINGLELINE);
            label.right = std::min(label.right, measured.right + 2);
            label.left = 6;
            FillRect(dc, &label, brush);
            label.left = 8;
            DrawLabel(dc, text, label, DT_LEFT | DT_SINGLELINE, enabled);
        }
        return;
    }
    FillRect(dc, &client, brush);
    // A check box or radio button: the mark at the left (at the right with BS_LEFTTEXT), centred
    // vertically, the text beside it.
    const bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
    const int mark = radio ? 12 : 13;
    const bool rightMark = style & BS_LEFTTEXT;
    const int markX = rightMark ? client.right - mark : 0;
    const int markY = (client.bottom - mark) / 2;
    if (radio)
        DrawRadio(dc, markX, markY, state.check == BST_CHECKED, state.pushed, enabled);
    else
        DrawCheckBox(dc, markX, markY, state.check, state.pushed, enabled);
    RECT label = client;
    if (rightMark)
        label.right -= mark + 4;
    else
        label.left += mark + 4;
    const UINT align = (style & BS_CENTER) == BS_CENTER ? DT_CENTER : (style & BS_RIGHT) ? DT_RIGHT : DT_LEFT;
    const UINT lines = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;
    DrawLabel(dc, text, label, align | lines, enabled);
    if (state.focused && !text.empty()) {
        RECT measured = label;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_CALCRECT | (lines & DT_WORDBREAK));
        const int height = measured.bottom - measured.top;
        RECT focus{label.left - 1, (client.bottom - height) / 2 - 1, label.left + (measured.right - measured.left) + 1,
                   (client.bottom - height) / 2 + height + 1};
        DrawFocusRect(dc, &focus);
    }
}

} // namespace

LRESULT WINAPI ButtonProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = 0;
    auto state = EnterControlProcedure<ButtonState>(hwnd, message, wParam, lParam, ControlKind::button, &answer);
    if (!state)
        return answer;
    const DWORD style = StyleOf(hwnd);
    const DWORD type = style & BS_TYPEMASK;
    switch (message) {
    case WM_GETDLGCODE:
        return DialogCode(type);
    case WM_NCHITTEST:
        if (type == BS_GROUPBOX)
            return HTTRANSPARENT;
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (type == BS_GROUPBOX)
            return 0;
        SetFocus(hwnd);
        SetCapture(hwnd);
        state->captured = true;
        SetPushed(hwnd, *state, true);
        return 0;
    case WM_MOUSEMOVE:
        if (state->captured)
            SetPushed(hwnd, *state, Inside(hwnd, lParam));
        return 0;
    case WM_LBUTTONUP: {
        if (!state->captured)
            return 0;
        const bool click = Inside(hwnd, lParam);
        state->captured = false;
        ReleaseCapture();
        SetPushed(hwnd, *state, false);
        if (click)
            Click(hwnd, *state, type);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (state->captured) {
            state->captured = false;
            SetPushed(hwnd, *state, false);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && type != BS_GROUPBOX && !state->captured && !state->spaceDown) {
            state->spaceDown = true;
            SetPushed(hwnd, *state, true);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && state->spaceDown) {
            state->spaceDown = false;
            const bool click = state->pushed;
            SetPushed(hwnd, *state, false);
            if (click)
                Click(hwnd, *state, type);
        }
        return 0;
    case WM_CHAR:
        return 0;
    case WM_SETFOCUS:
        state->focused = true;
        InvalidateRect(hwnd, nullptr, FALSE);
        if (style & BS_NOTIFY)
            NotifyParent(hwnd, BN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        state->focused = false;
        state->spaceDown = false;
        if (state->captured) {
            state->captured = false;
            ReleaseCapture();
        }
        SetPushed(hwnd, *state, false);
        InvalidateRect(hwnd, nullptr, FALSE);
        if (style & BS_NOTIFY)
            NotifyParent(hwnd, BN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_SETTEXT: {
        const LRESULT done = DefWindowProcW(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return done;
    }
    case BM_GETCHECK:
        return HasCheck(type) ? state->check : BST_UNCHECKED;
    case BM_SETCHECK: {
        if (!HasCheck(type))
            return 0;
        const bool threeState = type == BS_3STATE || type == BS_AUTO3STATE;
        UINT check = static_cast<UINT>(wParam) & 3;
        if (check == BST_INDETERMINATE && !threeState)
            check = BST_CHECKED;
        if (check == 3)
            check = BST_CHECKED;
        if (state->check != check) {
            state->check = check;
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    }
    case BM_GETSTATE:
        return (HasCheck(type) ? state->check : 0) | (state->pushed ? BST_PUSHED : 0) |
               (state->focused ? BST_FOCUS : 0);
    case BM_SETSTATE:
        SetPushed(hwnd, *state, wParam != 0);
        return 0;
    case BM_SETSTYLE:
        SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG_PTR>((style & 0xFFFF0000u) | (wParam & 0xFFFFu)));
        if (LOWORD(lParam))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case BM_CLICK:
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
        return 0;
    case BM_GETIMAGE:
        return wParam == state->imageType ? reinterpret_cast<LRESULT>(state->image) : 0;
    case BM_SETIMAGE: {
        if (wParam != IMAGE_BITMAP && wParam != IMAGE_ICON)
            return 0;
        HANDLE previous = wParam == state->imageType ? state->image : nullptr;
        state->image = reinterpret_cast<HANDLE>(lParam);
        state->imageType = wParam;
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font, [&](HDC dc, const RECT& client) {
            if (type == BS_OWNERDRAW)
                DrawByOwner(hwnd, *state, ODA_DRAWENTIRE, dc);
            else
                Paint(hwnd, *state, style, dc, client);
        });
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user
