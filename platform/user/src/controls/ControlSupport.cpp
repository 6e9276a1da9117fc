// The standard controls' registration when the window manager starts, their state kept with the
// window, notifications to the parent, fonts, scroll bars, and their text messages in the other form.
#include "controls/Controls.h"
#include "text/AnsiText.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace user {
namespace {

void AddClass(WindowManager& manager, const char16_t* name, WNDPROC proc, UINT style, WORD cursor = 32512)
{
    auto cls = std::make_shared<WindowClass>();
    cls->name = name;
    cls->atom = manager.nextAtom++;
    cls->style = style;
    cls->proc = proc;
    cls->unicode = true;
    cls->cursor = SystemCursorHandle(cursor);
    manager.classes.push_back(cls);
    manager.procedureForms[proc] = true;
}

enum class TextArgument { none, in, out };

// How a control's message carries text: a text in lParam, or a buffer lParam the control fills.
TextArgument TextArgumentOf(ControlKind kind, DWORD style, UINT message)
{
    switch (kind) {
    case ControlKind::comboBox: {
        const bool strings = !(style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) || (style & CBS_HASSTRINGS);
        if (!strings)
            return TextArgument::none;
        switch (message) {
        case CB_ADDSTRING:
        case CB_INSERTSTRING:
        case CB_FINDSTRING:
        case CB_FINDSTRINGEXACT:
        case CB_SELECTSTRING:
            return TextArgument::in;
        case CB_GETLBTEXT:
            return TextArgument::out;
        default:
            return TextArgument::none;
        }
    }
    case ControlKind::listBox: {
        const bool strings = !(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) || (style & LBS_HASSTRINGS);
        if (!strings)
            return TextArgument::none;
        switch (message) {
        case LB_ADDSTRING:
        case LB_INSERTSTRING:
        case LB_FINDSTRING:
        case LB_FINDSTRINGEXACT:
        case LB_SELECTSTRING:
            return TextArgument::in;
        case LB_GETTEXT:
            return TextArgument::out;
        default:
            return TextArgument::none;
        }
    }
    case ControlKind::edit:
        return message == EM_REPLACESEL ? TextArgument::in : TextArgument::none;
    default:
        return TextArgument::none;
    }
}

} // namespace

void RegisterStandardControls(WindowManager& manager)
{
    AddClass(manager, u"Button", ButtonProcedure, CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW);
    AddClass(manager, u"Static", StaticProcedure, CS_DBLCLKS | CS_PARENTDC);
    AddClass(manager, u"Edit", EditProcedure, CS_DBLCLKS | CS_PARENTDC, 32513); // IDC_IBEAM
    AddClass(manager, u"ComboBox", ComboBoxProcedure, CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW);
    AddClass(manager, u"ListBox", ListBoxProcedure, CS_DBLCLKS | CS_PARENTDC);
    AddClass(manager, TRACKBAR_CLASSW, TrackbarProcedure, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
    AddClass(manager, UPDOWN_CLASSW, UpDownProcedure, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
    AddClass(manager, WC_TABCONTROLW, TabControlProcedure, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
    AddClass(manager, WC_TREEVIEWW, TreeViewProcedure, CS_DBLCLKS);
}

std::shared_ptr<ControlState> FindControlState(HWND hwnd)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto window = FindAny(hwnd);
    return window ? window->control : nullptr;
}

void AttachControlState(HWND hwnd, std::shared_ptr<ControlState> state)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    if (auto window = FindAny(hwnd))
        window->control = std::move(state);
}

void NotifyParent(HWND control, int code)
{
    HWND parent = GetParent(control);
    if (!parent)
        return;
    const int id = static_cast<int>(GetWindowLongPtrW(control, GWLP_ID));
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(code)),
                 reinterpret_cast<LPARAM>(control));
}

LRESULT NotifyParent(HWND control, NMHDR& header, UINT code)
{
    HWND parent = GetParent(control);
    header.hwndFrom = control;
    header.idFrom = static_cast<UINT_PTR>(GetWindowLongPtrW(control, GWLP_ID));
    header.code = code;
    if (!parent)
        return 0;
    return SendMessageW(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

void ScrollParent(HWND control, bool vertical, int code, int position)
{
    if (HWND parent = GetParent(control))
        SendMessageW(parent, vertical ? WM_VSCROLL : WM_HSCROLL,
                     MAKEWPARAM(static_cast<WORD>(code), static_cast<WORD>(position)), reinterpret_cast<LPARAM>(control));
}

DWORD StyleOf(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
}

std::optional<LRESULT> FontMessage(ControlState& state, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETFONT) {
        state.font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    if (message == WM_GETFONT)
        return reinterpret_cast<LRESULT>(state.font);
    return std::nullopt;
}

void ShowScrollBar(HWND hwnd, DWORD bar, bool show)
{
    const DWORD style = StyleOf(hwnd);
    const DWORD wanted = show ? (style | bar) : (style & ~bar);
    if (wanted == style)
        return;
    SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG_PTR>(wanted));
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CopyTextOut(const std::u16string& text, void* buffer, int capacity, bool wide)
{
    if (!buffer || capacity <= 0)
        return;
    const size_t room = static_cast<size_t>(capacity) - 1;
    if (wide) {
        const size_t n = std::min(room, text.size());
        auto* out = static_cast<char16_t*>(buffer);
        std::copy_n(text.begin(), n, out);
        out[n] = 0;
        return;
    }
    const std::string ansi = AnsiFromWide(text);
    const size_t n = std::min(room, ansi.size());
    auto* out = static_cast<char*>(buffer);
    std::copy_n(ansi.begin(), n, out);
    out[n] = 0;
}

SIZE ClientSize(HWND hwnd)
{
    RECT client{};
    GetClientRect(hwnd, &client);
    return SIZE{client.right - client.left, client.bottom - client.top};
}

std::optional<LRESULT> ConvertControlText(WNDPROC proc, bool toUnicode, HWND hwnd, UINT message, WPARAM wParam,
                                          LPARAM lParam)
{
    auto state = FindControlState(hwnd);
    if (!state || !lParam)
        return std::nullopt;
    const TextArgument argument = TextArgumentOf(state->kind, StyleOf(hwnd), message);
    if (argument == TextArgument::none)
        return std::nullopt;
    if (argument == TextArgument::in) {
        if (toUnicode) {
            const std::u16string text = WideFromAnsi(reinterpret_cast<const char*>(lParam));
            return proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(text.c_str()));
        }
        const std::string text = AnsiFromWide(reinterpret_cast<const char16_t*>(lParam));
        return proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // The caller's buffer holds the item's length (its *_GETTEXTLEN answer) and the terminating
    // zero; Windows-1252 keeps one unit per character, so the length is the same in both forms.
    const UINT lengthMessage = message == CB_GETLBTEXT ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const LRESULT length = proc(hwnd, lengthMessage, wParam, 0);
    if (length < 0)
        return length;
    if (toUnicode) {
        std::u16string buffer(static_cast<size_t>(length) + 1, u'\0');
        const LRESULT copied = proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(buffer.data()));
        if (copied < 0)
            return copied;
        const std::string text = AnsiFromWide(std::u16string_view(buffer.c_str()));
        std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
        return static_cast<LRESULT>(text.size());
    }
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(buffer.data()));
    if (copied < 0)
        return copied;
    const std::u16string text = WideFromAnsi(std::string_view(buffer.c_str()));
    std::memcpy(reinterpret_cast<char16_t*>(lParam), text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return static_cast<LRESULT>(text.size());
}

} // namespace user
