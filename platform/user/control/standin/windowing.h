// The window manager's controls for tests and tools: pumping the calling thread's queue, the
// messages each window's procedure received, pointer and key input as a user makes it, and the
// current cursor. Stand-in facilities, not Windows functions.
#pragma once
#include "um/windows.h"

#include <functional>
#include <string>
#include <vector>

namespace standin {

// Dispatches (after TranslateMessage) every message of the calling thread that is waiting now:
// sent, posted, input, WM_PAINT and timers already due; returns how many it dispatched. It never
// waits. A window that never validates its update region gets WM_PAINT again each round: the pump
// stops after 100,000 messages with a breach ("pump-limit").
size_t PumpUntilIdle();
// Pumps, waiting for messages, until `predicate` holds or `timeoutMilliseconds` of the machine's
// clock (one second by default) have passed; returns the predicate's last answer. A WM_QUIT ends
// the pump (and is kept for the caller's loop: PostQuitMessage is called again).
bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMilliseconds = 1000);

// One message a window procedure received, as it received it.
struct WindowMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// The messages the window's procedure received, oldest first (the last 10,000); empty for a handle
// that names no window.
std::vector<WindowMessage> WindowMessageLog(HWND hwnd);
void ClearWindowMessageLog(HWND hwnd);
// The numbers alone, for comparing sequences.
std::vector<UINT> WindowMessageNumbers(HWND hwnd);

// The pointer moves to (x, y) on the screen (kept inside the ClipCursor rectangle and the screen).
void MovePointer(int x, int y);
// A button (VK_LBUTTON, VK_RBUTTON or VK_MBUTTON) goes down or up where the pointer is.
void PressButton(UINT button);
void ReleaseButton(UINT button);
// A key goes down or up; it reaches the focus window of the thread that last took the focus.
void PressKey(UINT vk);
void ReleaseKey(UINT vk);

// The cursor SetCursor last set (the arrow at start) and the name of a system cursor
// ("IDC_ARROW", ..., "none" for NULL, "" for a cursor that is not a system one).
HCURSOR CurrentCursor();
std::string CursorName(HCURSOR cursor);

// Whether the thread is blocked waiting for messages (GetMessage, WaitMessage, SendMessage to
// another thread, PumpUntil).
bool WaitingForMessages(DWORD threadId);

// The input state back to its start: pointer at the screen's centre, buttons and keys up, no clip
// rectangle, the arrow cursor. Windows are not touched.
void ResetInput();

} // namespace standin
