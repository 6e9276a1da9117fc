// The "Edit" class, one line: typing at the caret (the selection replaced), backspace and delete,
// the caret and selection moved by the arrow, Home and End keys (extended with shift) and by the
// pointer, ES_NUMBER, ES_UPPERCASE, ES_LOWERCASE, ES_READONLY, the text limit, and the
// notifications: EN_UPDATE then EN_CHANGE for each change of the text, EN_MAXTEXT when the limit
// cuts what is typed, EN_SETFOCUS and EN_KILLFOCUS. Until text is measured by its font, the pointer
// finds the caret as if every character were 6 pixels wide (the dialog base unit).
#include "controls/ControlPainting.h"
#include "controls/Controls.h"

#include <algorithm>
#include <string>

namespace user {
namespace {

constexpr size_t kDefaultLimit = 32767;
constexpr size_t kLargestLimit = 0x7FFFFFFE;
constexpr int kCharacterWidth = 6;

struct EditState : ControlState {
    EditState() : ControlState(ControlKind::edit) {}
    size_t anchor = 0; // the selection runs from the anchor to the caret
    size_t caret = 0;
    size_t limit = kDefaultLimit;
    bool modified = false;
    bool captured = false;
};

std::u16string TextOf(HWND hwnd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindAny(hwnd);
    return window ? window->text : std::u16string();
}

void StoreText(HWND hwnd, const std::u16string& text)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    if (auto window = FindAny(hwnd))
        window->text = text;
}

char16_t Cased(char16_t c, DWORD style)
{
    const bool latinLower = (c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
    const bool latinUpper = (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
    if ((style & ES_UPPERCASE) && latinLower)
        return static_cast<char16_t>(c - 32);
    if ((style & ES_LOWERCASE) && latinUpper)
        return static_cast<char16_t>(c + 32);
    return c;
}

void Changed(HWND hwnd, EditState& state)
{
    state.modified = true;
    InvalidateRect(hwnd, nullptr, TRUE);
    NotifyParent(hwnd, EN_UPDATE);
    NotifyParent(hwnd, EN_CHANGE);
}

// The selection replaced by `insert` (cut to the limit); false when nothing changed.
bool ReplaceSelection(HWND hwnd, EditState& state, std::u16string insert)
{
    std::u16string text = TextOf(hwnd);
    const size_t start = std::min({state.anchor, state.caret, text.size()});
    const size_t end = std::min(std::max(state.anchor, state.caret), text.size());
    const size_t kept = text.size() - (end - start);
    bool cut = false;
    if (kept + insert.size() > state.limit) {
        insert.resize(kept < state.limit ? state.limit - kept : 0);
        cut = true;
    }
    const bool changes = start != end || !insert.empty();
    if (changes) {
        text.replace(start, end - start, insert);
        StoreText(hwnd, text);
        state.anchor = state.caret = start + insert.size();
        Changed(hwnd, state);
    }
    if (cut)
        NotifyParent(hwnd, EN_MAXTEXT);
    return changes;
}

void Typed(HWND hwnd, EditState& state, char16_t c)
{
    const DWORD style = StyleOf(hwnd);
    if (style & ES_READONLY)
        return;
    if (c == 8) { // backspace: the selection, else the character before the caret
        if (state.anchor == state.caret && state.caret > 0)
            state.anchor = state.caret - 1;
        ReplaceSelection(hwnd, state, u"");
        return;
    }
    if (c < 0x20 || c == 0x7F)
        return;
    if ((style & ES_NUMBER) && (c < u'0' || c > u'9'))
        return;
    ReplaceSelection(hwnd, state, std::u16string(1, Cased(c, style)));
}

void MoveCaret(HWND hwnd, EditState& state, size_t to, bool extend)
{
    state.caret = std::min(to, TextOf(hwnd).size());
    if (!extend)
        state.anchor = state.caret;
    InvalidateRect(hwnd, nullptr, FALSE);
}

void KeyDown(HWND hwnd, EditState& state, WPARAM key)
{
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const size_t length = TextOf(hwnd).size();
    switch (key) {
    case VK_LEFT:
        if (!shift && state.anchor != state.caret)
            MoveCaret(hwnd, state, std::min(state.anchor, state.caret), false);
        else
            MoveCaret(hwnd, state, state.caret > 0 ? state.caret - 1 : 0, shift);
        break;
    case VK_RIGHT:
        if (!shift && state.anchor != state.caret)
            MoveCaret(hwnd, state, std::max(state.anchor, state.caret), false);
        else
            MoveCaret(hwnd, state, state.caret + 1, shift);
        break;
    case VK_HOME:
        MoveCaret(hwnd, state, 0, shift);
        break;
    case VK_END:
        MoveCaret(hwnd, state, length, shift);
        break;
    case VK_DELETE: // the selection, else the character after the caret
        if (StyleOf(hwnd) & ES_READONLY)
            break;
        if (state.anchor == state.caret && state.caret < length)
            state.anchor = state.caret + 1;
        ReplaceSelection(hwnd, state, u"");
        break;
    default:
        break;
    }
}

size_t CaretAt(HWND hwnd, LPARAM lParam)
{
    const int x = std::max(0, static_cast<int>(PointOf(lParam).x));
    return std::min(static_cast<size_t>((x + kCharacterWidth / 2) / kCharacterWidth), TextOf(hwnd).size());
}

LRESULT GetSelection(const EditState& state, WPARAM wParam, LPARAM lParam)
{
    const size_t start = std::min(state.anchor, state.caret);
    const size_t end = std::max(state.anchor, state.caret);
    if (auto* out = reinterpret_cast<DWORD*>(wParam))
        *out = static_cast<DWORD>(start);
    if (auto* out = reinterpret_cast<DWORD*>(lParam))
        *out = static_cast<DWORD>(end);
    if (end > 0xFFFF)
        return -1;
    return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(start), static_cast<WORD>(end)));
}

void SetSelection(HWND hwnd, EditState& state, WPARAM wParam, LPARAM lParam)
{
    const size_t length = TextOf(hwnd).size();
    const auto start = static_cast<INT_PTR>(static_cast<int>(wParam));
    const auto end = static_cast<INT_PTR>(static_cast<int>(lParam));
    if (start == -1) { // the selection goes; the caret stays
        state.anchor = state.caret;
    } else {
        state.anchor = start < 0 ? length : std::min(static_cast<size_t>(start), length);
        state.caret = end < 0 ? length : std::min(static_cast<size_t>(end), length);
    }
    InvalidateRect(hwnd, nullptr, FALSE);
}

// The text in the field, one pixel in from the sides; the selection in the highlight colours and the
// caret as a line while the control has the focus. Read-only and disabled edits take the static
// colours.
void Paint(HWND hwnd, const EditState& state, DWORD style, HDC dc, const RECT& client)
{
    const bool enabled = IsWindowEnabled(hwnd);
    HBRUSH brush = ParentBrush(hwnd, dc, (style & ES_READONLY) || !enabled ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
    FillRect(dc, &client, brush);
    std::u16string text = TextOf(hwnd);
    if (style & ES_PASSWORD)
        text.assign(text.size(), u'*');
    RECT field = client;
    InflateRect(&field, -1, -1);
    if (style & ES_MULTILINE) {
        DrawLabel(dc, text, field, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX, enabled);
        return;
    }
    if (!enabled)
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    SIZE whole{};
    GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<int>(text.size()), &whole);
    int x = field.left;
    if (style & ES_CENTER)
        x = (field.left + field.right - whole.cx) / 2;
    else if (style & ES_RIGHT)
        x = field.right - whole.cx;
    const bool focused = GetFocus() == hwnd;
    const size_t start = std::min({state.anchor, state.caret, text.size()});
    const size_t end = std::min(std::max(state.anchor, state.caret), text.size());
    auto advance = [&](size_t count) {
        SIZE size{};
        GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<int>(count), &size);
        return static_cast<int>(size.cx);
    };
    SetBkMode(dc, TRANSPARENT);
    ExtTextOutW(dc, x, field.top, ETO_CLIPPED, &field, reinterpret_cast<LPCWSTR>(text.c_str()),
                static_cast<UINT>(text.size()), nullptr);
    if ((focused || (style & ES_NOHIDESEL)) && end > start) {
        const int from = x + advance(start);
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        ExtTextOutW(dc, from, field.top, ETO_CLIPPED, &field, reinterpret_cast<LPCWSTR>(text.c_str() + start),
                    static_cast<UINT>(end - start), nullptr);
    } else if (focused) {
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        RECT caret{x + advance(std::min(state.caret, text.size())), field.top, 0, field.top + tm.tmHeight};
        caret.right = caret.left + 1;
        FillSystem(dc, caret, COLOR_WINDOWTEXT);
    }
}

} // namespace

LRESULT WINAPI EditProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = 0;
    auto state = EnterControlProcedure<EditState>(hwnd, message, wParam, lParam, ControlKind::edit, &answer);
    if (!state)
        return answer;
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETTEXT: {
        const LRESULT done = DefWindowProcW(hwnd, message, wParam, lParam);
        state->anchor = state->caret = 0;
        state->modified = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        NotifyParent(hwnd, EN_UPDATE);
        NotifyParent(hwnd, EN_CHANGE);
        return done;
    }
    case WM_CHAR:
        Typed(hwnd, *state, static_cast<char16_t>(wParam));
        return 0;
    case WM_KEYDOWN:
        KeyDown(hwnd, *state, wParam);
        return 0;
    case WM_CLEAR:
        if (!(StyleOf(hwnd) & ES_READONLY))
            ReplaceSelection(hwnd, *state, u"");
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetFocus(hwnd);
        const bool shift = (wParam & MK_SHIFT) != 0;
        MoveCaret(hwnd, *state, CaretAt(hwnd, lParam), shift);
        SetCapture(hwnd);
        state->captured = true;
        return 0;
    }
    case WM_MOUSEMOVE:
        if (state->captured)
            MoveCaret(hwnd, *state, CaretAt(hwnd, lParam), true);
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
    case WM_SETFOCUS:
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyParent(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (state->captured) {
            state->captured = false;
            ReleaseCapture();
        }
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyParent(hwnd, EN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case EM_GETSEL:
        return GetSelection(*state, wParam, lParam);
    case EM_SETSEL:
        SetSelection(hwnd, *state, wParam, lParam);
        return 0;
    case EM_REPLACESEL:
        ReplaceSelection(hwnd, *state, lParam ? std::u16string(reinterpret_cast<const char16_t*>(lParam)) : u"");
        return 0;
    case EM_LIMITTEXT:
        state->limit = wParam == 0 ? kLargestLimit : std::min<size_t>(wParam, kLargestLimit);
        return 0;
    case EM_GETLIMITTEXT:
        return static_cast<LRESULT>(state->limit);
    case EM_SETREADONLY: {
        const DWORD style = StyleOf(hwnd);
        SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG_PTR>(wParam ? (style | ES_READONLY) : (style & ~ES_READONLY)));
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case EM_GETMODIFY:
        return state->modified ? TRUE : FALSE;
    case EM_SETMODIFY:
        state->modified = wParam != 0;
        return 0;
    case EM_GETLINECOUNT:
        return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font,
                     [&](HDC dc, const RECT& client) { Paint(hwnd, *state, StyleOf(hwnd), dc, client); });
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user
