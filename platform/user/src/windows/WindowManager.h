// The window manager's records: classes, windows, the message queue of each thread, and the
// process-wide input state (capture, pointer, clip rectangle, cursor, keys). One lock guards them
// all; window procedures are always called with it released.
#pragma once
#include "km/sync.h"
#include "um/windef.h"
#include "um/sysinfoapi.h"
#include "um/winuser.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace user {

struct WindowClass {
    std::u16string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    bool unicode = true;
    int classExtra = 0;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::u16string menuName;
    HICON smallIcon = nullptr;
    size_t windows = 0; // live windows of the class
};

struct MessageQueue;
// The state a standard control keeps (controls/Controls.h); it goes with its window.
struct ControlState;
struct PixelBuffer;

struct LoggedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> cls;
    std::shared_ptr<MessageQueue> queue;
    DWORD thread = 0;
    WNDPROC proc = nullptr;
    bool unicode = true;
    DWORD style = 0;
    DWORD exStyle = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    std::u16string text;
    HWND parent = nullptr;          // child windows only
    HWND owner = nullptr;           // top-level windows only
    std::vector<HWND> children;     // top of the z-order first
    RECT rect{};                    // in the parent's client coordinates (the screen's for top-level)
    RECT client{};                  // relative to the window's top-left corner
    bool destroying = false;        // DestroyWindow has begun
    bool destroyed = false;         // WM_NCDESTROY has been sent: IsWindow is FALSE
    int busy = 0;                   // window procedure calls under way
    bool redraw = true;             // WM_SETREDRAW
    bool hasUpdate = false;         // the update region, kept as its bounding rectangle
    RECT update{};                  // client coordinates
    bool erase = false;
    bool frameDirty = false;        // the non-client area waits for WM_NCPAINT
    std::shared_ptr<PixelBuffer> surface; // top-level windows: what they and their children painted
    std::deque<LoggedMessage> log;
    std::shared_ptr<ControlState> control; // a standard control's state, made at WM_NCCREATE
};

// A message sent from another thread, waiting for its window's thread.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool unicode = true; // the form the sender used
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<MessageQueue> sender;
};

// Pointer and key events the stand-in injects, before the receiving thread turns them into
// messages (hit test and cursor included).
struct InputEvent {
    enum State { raw, cooking, cooked } state = raw;
    MSG msg{};           // for raw mouse events: message is the client message, pt the screen point
    std::array<BYTE, 256> keys{}; // the key state when the event happened
    std::vector<HWND> skip;       // windows that answered HTTRANSPARENT to it (on other threads too)
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    int64_t interval = 0; // clock units
    TIMERPROC proc = nullptr;
    int64_t due = 0;
};

struct MessageQueue {
    DWORD thread = 0;
    KEVENT wake{};
    bool alive = true;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::deque<MSG> posted;
    std::deque<InputEvent> input;
    bool quit = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    UINT_PTR nextThreadTimer = 1;
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND trackLeave = nullptr;
    int waiting = 0; // threads blocked in a message wait (0 or 1)
    // The key state as of the input message last taken: GetKeyState and TranslateMessage read it.
    std::array<BYTE, 256> keys{};
    // A character code being typed on the numeric pad with Alt held: its value and digits so far,
    // and whether it began with a zero (a code of the ANSI code page).
    unsigned altCode = 0;
    int altDigits = 0;
    bool altAnsi = false;
};

constexpr size_t kPostedLimit = 10000;
constexpr size_t kLogLimit = 10000;
constexpr LONG kScreenWidth = 1920;
constexpr LONG kScreenHeight = 1080;

struct WindowManager {
    std::recursive_mutex lock;
    std::map<uintptr_t, std::shared_ptr<Window>> windows; // live and busy-destroyed ones
    std::vector<HWND> topLevel;                           // top of the z-order first
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::map<DWORD, std::shared_ptr<MessageQueue>> queues;
    uintptr_t nextHandle = 0x10010;
    ATOM nextAtom = 0xC000;
    HWND capture = nullptr;
    POINT pointer{kScreenWidth / 2, kScreenHeight / 2};
    bool clipped = false;
    RECT clip{0, 0, kScreenWidth, kScreenHeight};
    HCURSOR cursor = nullptr;
    bool cursorSet = false;
    std::array<BYTE, 256> keys{};
    std::shared_ptr<MessageQueue> keyboardQueue; // the thread that last took the focus
    // The form (true: UTF-16) each procedure was installed with, by class or GWLP_WNDPROC.
    std::map<WNDPROC, bool> procedureForms;

    static WindowManager& Instance();
};

// A class by name or atom (an integer name), or null.
std::shared_ptr<WindowClass> FindClass(LPCWSTR name);

// All below: the caller holds the manager's lock unless the name says otherwise.
std::shared_ptr<Window> FindLive(HWND hwnd);
// A live window, or one destroyed while its procedure still runs.
std::shared_ptr<Window> FindAny(HWND hwnd);
// FindLive, else ERROR_INVALID_WINDOW_HANDLE set.
std::shared_ptr<Window> FindOrFail(HWND hwnd);
// The calling thread's queue, made on first use.
std::shared_ptr<MessageQueue> CurrentQueue();
// The calling thread's queue if it has one.
std::shared_ptr<MessageQueue> CurrentQueueIfAny();
void Wake(MessageQueue& queue);
// The owner-only rule: false, with a "window-thread" breach and ERROR_ACCESS_DENIED, when the
// window is another thread's.
bool OwnedByCaller(const Window& window, const char* call);
// The screen position of a window's top-left corner and of its client area's.
POINT WindowOrigin(const Window& window);
POINT ClientOrigin(const Window& window);
HWND TopLevelOf(HWND hwnd);
bool IsDescendant(HWND ancestor, HWND hwnd);
bool VisibleLocked(const Window& window);
// The non-client edges of a style: left, top, right, bottom.
RECT NonClientEdges(DWORD style, DWORD exStyle);
// Removes a window from the table when it is destroyed and no procedure runs on it.
void ReleaseIfDone(const std::shared_ptr<Window>& window);
// Posts to a queue, within the limit; false when it is full.
bool PostLocked(MessageQueue& queue, const MSG& msg);

// Without the lock held:
// Calls the window's procedure (with A/W text conversion when the caller's form differs) and
// logs the message. The window stays allocated for the call.
LRESULT Deliver(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam, bool unicode);
// The standard controls' classes, added to the manager's table when it starts (caller holds no lock;
// the manager is not yet shared).
void RegisterStandardControls(WindowManager& manager);
// A standard control's own text messages (CB_ADDSTRING, LB_GETTEXT, EM_REPLACESEL, ...) called in
// the other form: converted and passed to `proc`; nullopt for any other message or window.
std::optional<LRESULT> ConvertControlText(WNDPROC proc, bool toUnicode, HWND hwnd, UINT message, WPARAM wParam,
                                          LPARAM lParam);
// Calls a procedure of the given form with a message in the caller's form (text messages change
// form when they differ).
LRESULT CallInForm(WNDPROC proc, bool procUnicode, bool callerUnicode, HWND hwnd, UINT message, WPARAM wParam,
                   LPARAM lParam);
// SendMessage's work, for the system's own messages too (UTF-16 form).
LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool unicode = true);
// Delivers the messages other threads sent to the calling thread's queue; true when there were any.
bool ProcessSentMessages(MessageQueue& queue);
// Whether the calling thread is handling a message another thread sent.
bool InsideSentMessage();
// Blocks until the queue is woken, the deadline (clock units) passes, or the thread is terminated
// (then it unwinds).
void WaitForQueue(MessageQueue& queue, int64_t deadline);
// The default procedure in its UTF-16 form.
LRESULT DefaultProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Turns the first raw input event of the queue into its message (hit test, WM_SETCURSOR);
// false when no event was left to cook.
bool CookInput(MessageQueue& queue);
// The windows a thread still has when it ends go without messages.
void ForgetWindowsOf(MessageQueue& queue);
// Validation after WM_PAINT: the whole update region goes.
void ValidateAll(HWND hwnd);
// The whole window waits for painting: its frame and its client (erased), as after it is shown,
// sized or has its frame changed.
void RedrawWhole(HWND hwnd);
// Timers of a window go with it.
void KillTimersOf(MessageQueue& queue, HWND hwnd);
// Focus, activation, capture and tracking leave a window being destroyed.
void ForgetInputOf(HWND hwnd);
// The deepest visible, enabled window under a screen point, passing over the windows in `skip`
// and their descendants; null when there is none.
HWND WindowAt(POINT point, const std::vector<HWND>& skip);
// The system cursor of an IDC_ number (null for others), its name ("IDC_ARROW"; "none" for null),
// and the current cursor.
HCURSOR SystemCursorHandle(WORD id);
std::string SystemCursorName(HCURSOR cursor);
HCURSOR CurrentCursorLocked();
// Stand-in input: a pointer event at the current position, a key event to the focus window.
void InjectMouse(UINT clientMessage);
void InjectKey(UINT vk, bool down);

} // namespace user
