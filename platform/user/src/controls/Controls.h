// What the standard controls share: their state kept with their window, the notification of the
// parent, the font handle, scroll bars shown as content needs, and the procedures of the classes.
#pragma once
#include "um/commctrl.h"
#include "um/winuser.h"
#include "windows/WindowManager.h"

#include <memory>
#include <optional>
#include <string>

namespace user {

enum class ControlKind { button, staticText, edit, comboBox, listBox, trackbar, upDown, tabControl, treeView };

struct ControlState {
    explicit ControlState(ControlKind k) : kind(k) {}
    virtual ~ControlState() = default;
    const ControlKind kind;
    HFONT font = nullptr; // WM_SETFONT's handle, kept for the painting
};

// Line height of list boxes and of a combo box's list; base units are fixed, so are lines.
constexpr int kLineHeight = 13;

std::shared_ptr<ControlState> FindControlState(HWND hwnd);
void AttachControlState(HWND hwnd, std::shared_ptr<ControlState> state);

// The window's state when it is a control of that kind (null before WM_NCCREATE and after the end).
template <typename State>
std::shared_ptr<State> ControlStateOf(HWND hwnd, ControlKind kind)
{
    auto state = FindControlState(hwnd);
    if (!state || state->kind != kind)
        return nullptr;
    return std::static_pointer_cast<State>(state);
}

// WM_COMMAND (MAKEWPARAM(id, code), the control) sent to the control's parent.
void NotifyParent(HWND control, int code);
// WM_NOTIFY to the control's parent: the record starts with an NMHDR whose fields are filled here.
LRESULT NotifyParent(HWND control, NMHDR& header, UINT code);
// WM_HSCROLL (or WM_VSCROLL when `vertical`) to the parent: MAKEWPARAM(code, position), the control.
void ScrollParent(HWND control, bool vertical, int code, int position);
DWORD StyleOf(HWND hwnd);
// WM_SETFONT and WM_GETFONT, the same for every control; nullopt for other messages.
std::optional<LRESULT> FontMessage(ControlState& state, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The start of a control's procedure: makes the control's state at WM_NCCREATE and answers what
// every control answers alike (that message, messages for a window without the state, the font's).
// Gives the state for the control's own handling, or null with the answer in `*answer`.
template <typename State>
std::shared_ptr<State> EnterControlProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, ControlKind kind,
                                             LRESULT* answer)
{
    if (message == WM_NCCREATE)
        AttachControlState(hwnd, std::make_shared<State>());
    auto state = message == WM_NCCREATE ? nullptr : ControlStateOf<State>(hwnd, kind);
    if (!state) {
        *answer = DefWindowProcW(hwnd, message, wParam, lParam);
        return nullptr;
    }
    if (auto font = FontMessage(*state, hwnd, message, wParam, lParam)) {
        *answer = *font;
        return nullptr;
    }
    return state;
}
// Adds or takes away WS_VSCROLL / WS_HSCROLL and recomputes the client area when they change.
void ShowScrollBar(HWND hwnd, DWORD bar, bool show);
// Copies a text into a caller's buffer of `capacity` units in the caller's form (W or A), cut to
// fit with its terminating zero; nothing for no buffer or no room.
void CopyTextOut(const std::u16string& text, void* buffer, int capacity, bool wide);
// The client area's size.
SIZE ClientSize(HWND hwnd);
// A user's click of the left button (down, or a double click) at a client point, from lParam.
inline POINT PointOf(LPARAM lParam)
{
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

LRESULT WINAPI ButtonProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI StaticProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI EditProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI ComboBoxProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI ListBoxProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI TrackbarProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI UpDownProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI TabControlProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI TreeViewProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace user
