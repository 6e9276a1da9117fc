// A user's actions on controls, made of pointer and key input (standin/actions.h).
#include "controls/Controls.h"
#include "standin/actions.h"
#include "standin/windowing.h"
#include "um/prsht.h"

#include <algorithm>

namespace standin {
namespace {

void PointerTo(HWND hwnd, int x, int y)
{
    POINT at{x, y};
    ClientToScreen(hwnd, &at);
    MovePointer(at.x, at.y);
    PumpUntilIdle();
}

void Key(UINT vk)
{
    PressKey(vk);
    PumpUntilIdle();
    ReleaseKey(vk);
    PumpUntilIdle();
}

// The key that types a character, and whether shift goes with it.
bool KeyOf(char c, UINT& vk, bool& shift)
{
    shift = false;
    if (c >= 'a' && c <= 'z') {
        vk = static_cast<UINT>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
        vk = static_cast<UINT>(c);
        shift = true;
    } else if (c >= '0' && c <= '9') {
        vk = static_cast<UINT>(c);
    } else {
        switch (c) {
        case ' ': vk = VK_SPACE; break;
        case ',': vk = VK_OEM_COMMA; break;
        case '.': vk = VK_OEM_PERIOD; break;
        case '-': vk = VK_OEM_MINUS; break;
        default: return false;
        }
    }
    return true;
}

} // namespace

void Click(HWND hwnd, int x, int y)
{
    PointerTo(hwnd, x, y);
    PressButton(VK_LBUTTON);
    PumpUntilIdle();
    ReleaseButton(VK_LBUTTON);
    PumpUntilIdle();
}

void Click(HWND hwnd)
{
    RECT client{};
    GetClientRect(hwnd, &client);
    Click(hwnd, client.right / 2, client.bottom / 2);
}

void Drag(HWND hwnd, POINT from, POINT to, int steps)
{
    PointerTo(hwnd, from.x, from.y);
    PressButton(VK_LBUTTON);
    PumpUntilIdle();
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i)
        PointerTo(hwnd, from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps);
    ReleaseButton(VK_LBUTTON);
    PumpUntilIdle();
}

void Type(HWND hwnd, const std::string& text)
{
    SetFocus(hwnd);
    PumpUntilIdle();
    SendMessageW(hwnd, EM_SETSEL, 0, -1);
    for (char c : text) {
        UINT vk = 0;
        bool shift = false;
        if (!KeyOf(c, vk, shift))
            continue;
        if (shift)
            PressKey(VK_SHIFT);
        Key(vk);
        if (shift) {
            ReleaseKey(VK_SHIFT);
            PumpUntilIdle();
        }
    }
}

bool Select(HWND hwnd, int index)
{
    auto state = user::FindControlState(hwnd);
    if (!state || index < 0)
        return false;
    if (state->kind == user::ControlKind::listBox) {
        if (index >= SendMessageW(hwnd, LB_GETCOUNT, 0, 0))
            return false;
        SendMessageW(hwnd, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
        const int top = static_cast<int>(SendMessageW(hwnd, LB_GETTOPINDEX, 0, 0));
        Click(hwnd, 4, (index - top) * user::kLineHeight + user::kLineHeight / 2);
        return true;
    }
    if (state->kind == user::ControlKind::comboBox) {
        if (index >= SendMessageW(hwnd, CB_GETCOUNT, 0, 0))
            return false;
        SetFocus(hwnd);
        PumpUntilIdle();
        Key(VK_HOME);
        for (int i = 0; i < index; ++i)
            Key(VK_DOWN);
        return true;
    }
    return false;
}

void Spin(HWND upDown, int delta)
{
    RECT client{};
    GetClientRect(upDown, &client);
    const bool horizontal = (GetWindowLongPtrW(upDown, GWL_STYLE) & UDS_HORZ) != 0;
    for (int i = 0; i < std::abs(delta); ++i) {
        const bool up = delta > 0;
        if (horizontal)
            Click(upDown, up ? client.right * 3 / 4 : client.right / 4, client.bottom / 2);
        else
            Click(upDown, client.right / 2, up ? client.bottom / 4 : client.bottom * 3 / 4);
    }
}

void Slide(HWND trackbar, int position, bool keys)
{
    const auto minimum = static_cast<int>(SendMessageW(trackbar, TBM_GETRANGEMIN, 0, 0));
    const auto maximum = static_cast<int>(SendMessageW(trackbar, TBM_GETRANGEMAX, 0, 0));
    SetFocus(trackbar);
    PumpUntilIdle();
    if (keys && (position <= minimum || position >= maximum)) {
        Key(position <= minimum ? VK_HOME : VK_END);
        return;
    }
    RECT thumb{};
    RECT channel{};
    SendMessageW(trackbar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    SendMessageW(trackbar, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    const bool vertical = (GetWindowLongPtrW(trackbar, GWL_STYLE) & TBS_VERT) != 0;
    const int span = std::max(1, maximum - minimum);
    const int clamped = std::clamp(position, minimum, std::max(minimum, maximum));
    const int along = channel.left + static_cast<int>(static_cast<long long>(clamped - minimum) *
                                                          (channel.right - channel.left) / span);
    const POINT from{(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
    const POINT to = vertical ? POINT{from.x, along} : POINT{along, from.y};
    Drag(trackbar, from, to);
}

bool SelectTab(HWND tab, int index)
{
    RECT rect{};
    if (!SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)))
        return false;
    Click(tab, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return true;
}

bool PressApply(HWND sheet)
{
    HWND apply = GetDlgItem(sheet, ID_APPLY_NOW);
    if (!apply || !IsWindowEnabled(apply))
        return false;
    Click(apply);
    return true;
}

} // namespace standin
