// The keyboard: injected keys reach the focus window of the thread that last took the focus (its
// active window when nothing has the focus) as WM_KEYDOWN and WM_KEYUP; TranslateMessage makes
// WM_CHAR from a key press with the shift and control state of the moment (a US layout), and from a
// decimal code typed on the numeric pad while Alt is held, when Alt is let go: led by a zero, the
// code (modulo 256) names a character of the ANSI code page (Windows-1252); without the zero it
// names one of the OEM code page, of which the stand-in types the printable ASCII half only.
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "text/AnsiText.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

namespace user {
namespace {

char16_t CharacterOf(UINT vk, bool shift, bool control)
{
    if (vk >= 'A' && vk <= 'Z') {
        if (control)
            return static_cast<char16_t>(vk - 'A' + 1);
        return static_cast<char16_t>(shift ? vk : vk + 32);
    }
    if (control)
        return 0;
    if (vk >= '0' && vk <= '9')
        return shift ? u")!@#$%^&*("[vk - '0'] : static_cast<char16_t>(vk);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9)
        return static_cast<char16_t>(u'0' + (vk - VK_NUMPAD0));
    switch (vk) {
    case VK_SPACE:
        return u' ';
    case VK_RETURN:
        return u'\r';
    case VK_BACK:
        return 8;
    case VK_TAB:
        return 9;
    case VK_ESCAPE:
        return 27;
    case VK_OEM_MINUS:
        return shift ? u'_' : u'-';
    case VK_OEM_PLUS:
        return shift ? u'+' : u'=';
    case VK_OEM_COMMA:
        return shift ? u'<' : u',';
    case VK_OEM_PERIOD:
        return shift ? u'>' : u'.';
    case VK_OEM_2:
        return shift ? u'?' : u'/';
    case VK_OEM_1:
        return shift ? u':' : u';';
    case VK_OEM_3:
        return shift ? u'~' : u'`';
    case VK_OEM_4:
        return shift ? u'{' : u'[';
    case VK_OEM_5:
        return shift ? u'|' : u'\\';
    case VK_OEM_6:
        return shift ? u'}' : u']';
    case VK_OEM_7:
        return shift ? u'"' : u'\'';
    case VK_MULTIPLY:
        return u'*';
    case VK_ADD:
        return u'+';
    case VK_SUBTRACT:
        return u'-';
    case VK_DECIMAL:
        return u'.';
    case VK_DIVIDE:
        return u'/';
    default:
        return 0;
    }
}

// The character of a code typed with Alt on the numeric pad; 0 for none.
char16_t CharacterOfAltCode(unsigned code, bool ansi)
{
    code %= 256;
    if (ansi) {
        const char byte = static_cast<char>(code);
        const std::u16string wide = WideFromAnsi(std::string_view(&byte, 1));
        return wide.size() == 1 ? wide[0] : 0;
    }
    return code >= 0x20 && code < 0x7F ? static_cast<char16_t>(code) : 0;
}

// Puts a character in front of the thread's posted messages, as the key message's own.
void PostCharacter(MessageQueue& queue, const MSG& key, char16_t character)
{
    MSG typed = key;
    typed.message = WM_CHAR;
    typed.wParam = character;
    queue.posted.push_front(typed);
    Wake(queue);
}

} // namespace

void InjectKey(UINT vk, bool down)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    vk &= 0xFF;
    const bool wasDown = (manager.keys[vk] & 0x80) != 0;
    if (down)
        manager.keys[vk] = static_cast<BYTE>((manager.keys[vk] | 0x80) ^ (wasDown ? 0 : 1)); // bit 0 toggles
    else
        manager.keys[vk] &= 0x7F;
    auto queue = manager.keyboardQueue;
    if (!queue || !queue->alive)
        return;
    HWND target = queue->focus ? queue->focus : queue->active;
    if (!FindLive(target))
        return;
    // Repeat count 1; bit 30 the previous state; bit 31 set on release.
    LPARAM lParam = 1;
    if (wasDown)
        lParam |= LPARAM(1) << 30;
    if (!down)
        lParam |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
    InputEvent event;
    event.state = InputEvent::cooked;
    event.msg.hwnd = target;
    event.msg.message = down ? WM_KEYDOWN : WM_KEYUP;
    event.msg.wParam = vk;
    event.msg.lParam = lParam;
    event.msg.time = GetTickCount();
    event.msg.pt = manager.pointer;
    event.keys = manager.keys;
    queue->input.push_back(event);
    Wake(*queue);
}

} // namespace user

using namespace user;

extern "C" BOOL WINAPI TranslateMessage(const MSG* lpMsg)
{
    if (!lpMsg)
        return FALSE;
    if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_KEYUP)
        return FALSE;
    auto& manager = WindowManager::Instance();
    auto queue = CurrentQueue();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    const UINT vk = static_cast<UINT>(lpMsg->wParam);
    if (lpMsg->message == WM_KEYUP) {
        // Letting Alt go ends a numeric-pad code: its character comes next.
        if (vk == VK_MENU && queue->altDigits > 0) {
            const char16_t character = CharacterOfAltCode(queue->altCode, queue->altAnsi);
            queue->altDigits = 0;
            if (character)
                PostCharacter(*queue, *lpMsg, character);
        }
        return TRUE;
    }
    if (vk == VK_MENU) {
        if ((lpMsg->lParam & (LPARAM(1) << 30)) == 0) // a new press, not a repeat
            queue->altDigits = 0;
        return TRUE;
    }
    // The state as of the key message, not of the keyboard now.
    const bool alt = (queue->keys[VK_MENU] & 0x80) != 0;
    if (alt && vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) {
        const unsigned digit = vk - VK_NUMPAD0;
        if (queue->altDigits == 0) {
            queue->altCode = 0;
            queue->altAnsi = digit == 0;
        }
        queue->altCode = (queue->altCode * 10 + digit) % 1000000;
        ++queue->altDigits;
        return TRUE;
    }
    const bool shift = (queue->keys[VK_SHIFT] & 0x80) != 0;
    const bool control = (queue->keys[VK_CONTROL] & 0x80) != 0;
    const char16_t character = CharacterOf(vk, shift, control);
    if (!character)
        return TRUE;
    // The character comes next, before anything posted meanwhile.
    PostCharacter(*queue, *lpMsg, character);
    return TRUE;
}

// The state as of the input message the thread last took (the keyboard's now on a thread without
// a queue).
extern "C" SHORT WINAPI GetKeyState(int nVirtKey)
{
    auto& manager = WindowManager::Instance();
    auto queue = CurrentQueueIfAny();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    const BYTE state = queue ? queue->keys[nVirtKey & 0xFF] : manager.keys[nVirtKey & 0xFF];
    return static_cast<SHORT>(((state & 0x80) ? 0xFF80 : 0) | (state & 1));
}
