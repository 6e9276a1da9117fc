// Sending, posting and retrieving messages. A thread's queue yields, in this order: messages
// other threads sent (handled inside the call, never returned), posted messages, input, WM_PAINT
// while a window has an update region, and WM_TIMER of a timer that is due.
#include "km/status.h"
#include "platform/Clock.h"
#include "sync/UserThreads.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>

namespace user {
namespace {

bool Matches(const MSG& msg, HWND filter, UINT low, UINT high)
{
    if ((low || high) && (msg.message < low || msg.message > high))
        return false;
    if (filter == reinterpret_cast<HWND>(-1))
        return msg.hwnd == nullptr;
    if (filter)
        return msg.hwnd == filter || IsDescendant(filter, msg.hwnd);
    return true;
}

bool InRange(UINT message, UINT low, UINT high)
{
    return (!low && !high) || (message >= low && message <= high);
}

MSG Make(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    msg.pt = WindowManager::Instance().pointer;
    return msg;
}

// The queue keeps character messages in UTF-16; the A forms post and retrieve them in ANSI.
WPARAM WideCharacter(UINT message, WPARAM wParam, bool unicode)
{
    if (unicode || message != WM_CHAR)
        return wParam;
    const char byte = static_cast<char>(wParam & 0xFF);
    const std::u16string wide = WideFromAnsi(std::string_view(&byte, 1));
    return wide.empty() ? 0 : wide[0];
}

WPARAM AnsiCharacter(UINT message, WPARAM wParam, bool unicode)
{
    if (unicode || message != WM_CHAR)
        return wParam;
    const char16_t unit = static_cast<char16_t>(wParam & 0xFFFF);
    const std::string narrow = AnsiFromWide(std::u16string_view(&unit, 1));
    return narrow.empty() ? 0 : static_cast<unsigned char>(narrow[0]);
}

// One look at the queue; the lock is taken inside (input cooking sends messages).
bool Retrieve(MessageQueue& queue, MSG& out, HWND filter, UINT low, UINT high, bool remove)
{
    auto& manager = WindowManager::Instance();
    ProcessSentMessages(queue);
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        for (auto it = queue.posted.begin(); it != queue.posted.end();) {
            if (it->hwnd && !FindLive(it->hwnd)) {
                it = queue.posted.erase(it); // a destroyed window's message is dropped
                continue;
            }
            if (Matches(*it, filter, low, high)) {
                out = *it;
                if (remove)
                    queue.posted.erase(it);
                return true;
            }
            ++it;
        }
        if (queue.quit && InRange(WM_QUIT, low, high)) {
            out = Make(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
            if (remove)
                queue.quit = false;
            return true;
        }
    }
    // Input: raw events become messages in order, as they reach the front.
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            bool raw = false;
            for (auto it = queue.input.begin(); it != queue.input.end(); ++it) {
                if (it->state != InputEvent::cooked) {
                    // One being cooked further up this thread's stack ends the look.
                    raw = it->state == InputEvent::raw;
                    break;
                }
                if (Matches(it->msg, filter, low, high)) {
                    out = it->msg;
                    if (remove) {
                        queue.keys = it->keys;
                        queue.input.erase(it);
                    }
                    return true;
                }
            }
            if (!raw)
                break;
        }
        if (!CookInput(queue))
            break;
    }
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    if (InRange(WM_PAINT, low, high)) {
        for (auto& [handle, window] : manager.windows) {
            if (window->queue.get() != &queue || window->destroyed || !window->hasUpdate || !window->redraw ||
                !VisibleLocked(*window))
                continue;
            const MSG paint = Make(window->handle, WM_PAINT, 0, 0);
            if (Matches(paint, filter, low, high)) {
                out = paint;
                return true;
            }
        }
    }
    if (InRange(WM_TIMER, low, high)) {
        const int64_t now = platform::Clock::Now();
        Timer* first = nullptr;
        for (auto& timer : queue.timers) {
            if (timer.due > now)
                continue;
            const MSG tick = Make(timer.hwnd, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc));
            if (Matches(tick, filter, low, high) && (!first || timer.due < first->due))
                first = &timer;
        }
        if (first) {
            out = Make(first->hwnd, WM_TIMER, first->id, reinterpret_cast<LPARAM>(first->proc));
            if (remove)
                first->due = platform::Clock::DeadlineAfter(first->interval);
            return true;
        }
    }
    return false;
}

int64_t NextTimer(MessageQueue& queue)
{
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    int64_t next = platform::Clock::kForever;
    for (const auto& timer : queue.timers)
        next = std::min(next, timer.due);
    return next;
}

bool ValidFilter(HWND filter)
{
    if (!filter || filter == reinterpret_cast<HWND>(-1))
        return true;
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    return FindOrFail(filter) != nullptr;
}

BOOL Get(LPMSG msg, HWND filter, UINT low, UINT high, bool unicode)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!ValidFilter(filter))
        return -1;
    auto queue = CurrentQueue();
    for (;;) {
        // A terminated thread unwinds here even while messages keep coming.
        UnwindIfTerminated();
        if (Retrieve(*queue, *msg, filter, low, high, true)) {
            msg->wParam = AnsiCharacter(msg->message, msg->wParam, unicode);
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        WaitForQueue(*queue, NextTimer(*queue));
    }
}

BOOL Peek(LPMSG msg, HWND filter, UINT low, UINT high, UINT flags, bool unicode)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ValidFilter(filter))
        return FALSE;
    UnwindIfTerminated();
    auto queue = CurrentQueue();
    if (!Retrieve(*queue, *msg, filter, low, high, (flags & PM_REMOVE) != 0))
        return FALSE;
    msg->wParam = AnsiCharacter(msg->message, msg->wParam, unicode);
    return TRUE;
}

BOOL Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool unicode)
{
    auto& manager = WindowManager::Instance();
    wParam = WideCharacter(message, wParam, unicode);
    if (!hwnd) {
        auto queue = CurrentQueue();
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        return PostLocked(*queue, Make(nullptr, message, wParam, lParam)) ? TRUE : FALSE;
    }
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    if (hwnd == HWND_BROADCAST) {
        for (HWND top : manager.topLevel)
            if (auto window = FindLive(top))
                PostLocked(*window->queue, Make(top, message, wParam, lParam));
        return TRUE;
    }
    auto window = FindOrFail(hwnd);
    if (!window)
        return FALSE;
    if (!window->queue->alive) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return PostLocked(*window->queue, Make(hwnd, message, wParam, lParam)) ? TRUE : FALSE;
}

BOOL PostToThread(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam, bool unicode)
{
    auto& manager = WindowManager::Instance();
    wParam = WideCharacter(message, wParam, unicode);
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    const auto found = manager.queues.find(thread);
    if (found == manager.queues.end() || !found->second->alive) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return PostLocked(*found->second, Make(nullptr, message, wParam, lParam)) ? TRUE : FALSE;
}

LRESULT Dispatch(const MSG* msg, bool unicode)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& manager = WindowManager::Instance();
    if (msg->message == WM_TIMER && msg->lParam) {
        // Only a TIMERPROC a live timer of this thread names is called.
        const auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        bool known = false;
        if (auto queue = CurrentQueueIfAny()) {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            for (const auto& timer : queue->timers)
                known = known || (timer.proc == proc && timer.hwnd == msg->hwnd && timer.id == msg->wParam);
        }
        if (known)
            proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (!msg->hwnd)
            return 0;
        window = FindOrFail(msg->hwnd);
    }
    if (!window)
        return 0;
    return Deliver(window, msg->message, msg->wParam, msg->lParam, unicode);
}

} // namespace

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool unicode)
{
    auto& manager = WindowManager::Instance();
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        window = FindOrFail(hwnd);
        if (!window)
            return 0;
    }
    if (window->thread == GetCurrentThreadId())
        return Deliver(window, message, wParam, lParam, unicode);

    auto mine = CurrentQueue();
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->unicode = unicode;
    sent->sender = mine;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (!window->queue->alive)
            return 0;
        window->queue->sent.push_back(sent);
        Wake(*window->queue);
    }
    // While waiting, messages other threads send to this one are handled.
    for (;;) {
        ProcessSentMessages(*mine);
        {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            if (sent->done)
                return sent->result;
        }
        WaitForQueue(*mine, platform::Clock::kForever);
    }
}

} // namespace user

using namespace user;

extern "C" LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return Send(hWnd, Msg, wParam, lParam, true);
}

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return Send(hWnd, Msg, wParam, lParam, false);
}

extern "C" BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return Post(hWnd, Msg, wParam, lParam, true);
}

extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return Post(hWnd, Msg, wParam, lParam, false);
}

extern "C" BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return PostToThread(idThread, Msg, wParam, lParam, true);
}

extern "C" BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return PostToThread(idThread, Msg, wParam, lParam, false);
}

extern "C" VOID WINAPI PostQuitMessage(int nExitCode)
{
    auto queue = CurrentQueue();
    auto& manager = WindowManager::Instance();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    queue->quit = true;
    queue->quitCode = nExitCode;
    Wake(*queue);
}

extern "C" BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    return Get(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true);
}

extern "C" BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    return Get(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, false);
}

extern "C" BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    return Peek(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg, true);
}

extern "C" BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    return Peek(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg, false);
}

extern "C" LRESULT WINAPI DispatchMessageW(const MSG* lpMsg)
{
    return Dispatch(lpMsg, true);
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG* lpMsg)
{
    return Dispatch(lpMsg, false);
}

extern "C" BOOL WINAPI WaitMessage()
{
    auto queue = CurrentQueue();
    for (;;) {
        UnwindIfTerminated();
        MSG msg;
        if (Retrieve(*queue, msg, nullptr, 0, 0, false))
            return TRUE;
        WaitForQueue(*queue, NextTimer(*queue));
    }
}

extern "C" BOOL WINAPI InSendMessage()
{
    return InsideSentMessage() ? TRUE : FALSE;
}

extern "C" DWORD WINAPI GetTickCount()
{
    return static_cast<DWORD>(platform::Clock::Now() / platform::Clock::kUnitsPerMillisecond);
}
