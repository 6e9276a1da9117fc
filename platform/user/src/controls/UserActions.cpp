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

// The key that types a character on a US layout, and whether shift goes with it; false for a
// character without a key.
bool KeyOf(char c, UINT& vk, bool& shift)
{
    shift = false;
    if (c >= 'a' && c <= 'z') {
        vk = static_cast<UINT>(c - 'a' + 'A');
        return true;
    }
    if (c >= 'A' && c <= 'Z') {
        vk = static_cast<UINT>(c);
        shift = true;
        return true;
    }
    if (c >= '0' && c <= '9') {
        vk = static_cast<UINT>(c);
        return true;
    }
    // The shifted digits, ')' on 0 to '(' on 9.
    static constexpr char kShiftedDigits[] = ")!@#$%^&*(";
    for (int digit = 0; digit < 10; ++digit) {
        if (c == kShiftedDigits[digit]) {
            vk = static_cast<UINT>('0' + digit);
            shift = true;
            return true;
        }
    }
    struct Punctuation {
        UINT vk;
        char plain;
        char shifted;
    };
    static constexpr Punctuation kPunctuation[] = {
        {VK_SPACE, ' ', 0},       {VK_OEM_MINUS, '-', '_'}, {VK_OEM_PLUS, '=', '+'},  {VK_OEM_COMMA, ',', '<'},
        {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'},    {VK_OEM_1, ';', ':'},     {VK_OEM_3, '`', '~'},
        {VK_OEM_4, '[', '{'},     {VK_OEM_5, '\\', '|'},   {VK_OEM_6, ']', '}'},     {VK_OEM_7, '\'', '"'},
    };
    for (const Punctuation& key : kPunctuation) {
        if (c == key.plain || (key.shifted != 0 && c == key.shifted)) {
            vk = key.vk;
            shift = c != key.plain;
            return true;
        }
    }
    return false;
}

// A character without a key: Alt held while its code, led by a zero, is typed on the numeric pad.
void AltCode(unsigned char c)
{
    PressKey(VK_MENU);
    PumpUntilIdle();
    const unsigned digits[] = {0u, c / 100u, c / 10u % 10u, c % 10u};
    for (unsigned digit : digits)
        Key(VK_NUMPAD0 + digit);
    ReleaseKey(VK_MENU);
    PumpUntilIdle();
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
        if (!KeyOf(c, vk, shift)) {
            AltCode(static_cast<unsigned char>(c));
            continue;
        }
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
