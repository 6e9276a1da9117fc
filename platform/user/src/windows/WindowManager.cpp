// The window manager's table of windows and queues: lookups, the queue of each thread and its
// wait, delivery to window procedures, the "windows" leak check and the end of message loops at
// system shutdown.
#include "windows/WindowManager.h"

#include "km/irp.h"
#include "km/status.h"
#include "km/thread.h"
#include "platform/Clock.h"
#include "standin/devices.h"
#include "standin/verifier.h"
#include "sync/UserThreads.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace user {
namespace {

std::string Describe(const Window& window)
{
    char text[200];
    std::snprintf(text, sizeof(text), "window 0x%llx of class \"%s\" titled \"%s\" on thread %u",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window.handle)),
                  AnsiFromWide(window.cls->name).c_str(), AnsiFromWide(window.text).c_str(), window.thread);
    return text;
}

// Every thread's queue goes when the thread ends: its pending senders get 0 and its windows go.
void EndQueue(std::shared_ptr<MessageQueue> queue)
{
    if (!queue)
        return;
    auto& manager = WindowManager::Instance();
    std::vector<std::shared_ptr<SentMessage>> pending;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        queue->alive = false;
        pending.assign(queue->sent.begin(), queue->sent.end());
        queue->sent.clear();
        queue->posted.clear();
        queue->input.clear();
        queue->timers.clear();
        for (auto& message : pending)
            message->done = true;
        ForgetWindowsOf(*queue);
        manager.queues.erase(queue->thread);
        if (manager.keyboardQueue == queue)
            manager.keyboardQueue.reset();
    }
    for (auto& message : pending)
        if (message->sender)
            Wake(*message->sender);
}

struct QueueHolder {
    std::shared_ptr<MessageQueue> queue;
    ~QueueHolder() { EndQueue(std::move(queue)); }
};

thread_local QueueHolder t_queue;

} // namespace

WindowManager& WindowManager::Instance()
{
    static WindowManager* manager = [] {
        auto* made = new WindowManager;
        standin::VerifierRegisterLeakCheck("windows", [made] {
            std::lock_guard<std::recursive_mutex> hold(made->lock);
            std::vector<std::string> lines;
            for (const auto& [handle, window] : made->windows)
                if (!window->destroyed)
                    lines.push_back(Describe(*window) + " was never destroyed");
            return lines;
        });
        // At system shutdown every thread's message loop ends as PostQuitMessage(0) would end it.
        standin::RegisterShutdownHook("message-queues", [made] {
            std::vector<std::shared_ptr<MessageQueue>> queues;
            {
                std::lock_guard<std::recursive_mutex> hold(made->lock);
                for (auto& [thread, queue] : made->queues) {
                    queue->quit = true;
                    queue->quitCode = 0;
                    queues.push_back(queue);
                }
            }
            for (auto& queue : queues)
                Wake(*queue);
        });
        RegisterStandardControls(*made);
        return made;
    }();
    return *manager;
}

std::shared_ptr<Window> FindAny(HWND hwnd)
{
    auto& manager = WindowManager::Instance();
    const auto found = manager.windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return found == manager.windows.end() ? nullptr : found->second;
}

std::shared_ptr<Window> FindLive(HWND hwnd)
{
    auto window = FindAny(hwnd);
    return window && !window->destroyed ? window : nullptr;
}

std::shared_ptr<Window> FindOrFail(HWND hwnd)
{
    auto window = FindLive(hwnd);
    if (!window)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

std::shared_ptr<MessageQueue> CurrentQueueIfAny()
{
    return t_queue.queue;
}

std::shared_ptr<MessageQueue> CurrentQueue()
{
    if (t_queue.queue)
        return t_queue.queue;
    auto& manager = WindowManager::Instance();
    auto queue = std::make_shared<MessageQueue>();
    queue->thread = GetCurrentThreadId();
    KeInitializeEvent(&queue->wake, SynchronizationEvent, FALSE);
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        manager.queues[queue->thread] = queue;
    }
    t_queue.queue = queue;
    return queue;
}

void Wake(MessageQueue& queue)
{
    KeSetEvent(&queue.wake, IO_NO_INCREMENT, FALSE);
}

bool OwnedByCaller(const Window& window, const char* call)
{
    if (window.thread == GetCurrentThreadId())
        return true;
    char text[160];
    std::snprintf(text, sizeof(text), "%s of window 0x%llx on thread %u, which thread %u owns", call,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window.handle)),
                  GetCurrentThreadId(), window.thread);
    standin::VerifierReport("window-thread", text);
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

POINT WindowOrigin(const Window& window)
{
    POINT origin{window.rect.left, window.rect.top};
    if (window.parent)
        if (auto parent = FindAny(window.parent)) {
            const POINT base = ClientOrigin(*parent);
            origin.x += base.x;
            origin.y += base.y;
        }
    return origin;
}

POINT ClientOrigin(const Window& window)
{
    POINT origin = WindowOrigin(window);
    origin.x += window.client.left;
    origin.y += window.client.top;
    return origin;
}

HWND TopLevelOf(HWND hwnd)
{
    auto window = FindAny(hwnd);
    while (window && window->parent) {
        auto parent = FindAny(window->parent);
        if (!parent)
            break;
        window = parent;
    }
    return window ? window->handle : nullptr;
}

bool IsDescendant(HWND ancestor, HWND hwnd)
{
    auto window = FindAny(hwnd);
    while (window && window->parent) {
        if (window->parent == ancestor)
            return true;
        window = FindAny(window->parent);
    }
    return false;
}

bool VisibleLocked(const Window& window)
{
    if (!(window.style & WS_VISIBLE))
        return false;
    if (!window.parent)
        return true;
    auto parent = FindLive(window.parent);
    return parent && VisibleLocked(*parent);
}

RECT NonClientEdges(DWORD style, DWORD exStyle)
{
    LONG frame = 0;
    if (style & WS_THICKFRAME)
        frame = 4; // SM_CXFRAME
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        frame = 3; // SM_CXDLGFRAME
    else if (style & WS_BORDER)
        frame = 1; // SM_CXBORDER
    RECT edges{frame, frame, frame, frame};
    if ((style & WS_CAPTION) == WS_CAPTION)
        edges.top += 19; // SM_CYCAPTION
    LONG inner = 0;
    if (exStyle & WS_EX_CLIENTEDGE)
        inner += 2; // SM_CXEDGE
    if (exStyle & WS_EX_STATICEDGE)
        inner += 1; // SM_CXBORDER
    edges.left += inner;
    edges.top += inner;
    edges.right += inner;
    edges.bottom += inner;
    if (style & WS_VSCROLL)
        edges.right += 17; // SM_CXVSCROLL
    if (style & WS_HSCROLL)
        edges.bottom += 17; // SM_CYHSCROLL
    return edges;
}

void ReleaseIfDone(const std::shared_ptr<Window>& window)
{
    if (window->destroyed && window->busy == 0)
        WindowManager::Instance().windows.erase(reinterpret_cast<uintptr_t>(window->handle));
}

bool PostLocked(MessageQueue& queue, const MSG& msg)
{
    if (!queue.alive)
        return false;
    if (queue.posted.size() >= kPostedLimit) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    queue.posted.push_back(msg);
    Wake(queue);
    return true;
}

void ForgetWindowsOf(MessageQueue& queue)
{
    auto& manager = WindowManager::Instance();
    std::vector<std::shared_ptr<Window>> owned;
    for (auto& [handle, window] : manager.windows)
        if (window->queue.get() == &queue && !window->destroyed)
            owned.push_back(window);
    for (auto& window : owned) {
        ForgetInputOf(window->handle);
        window->destroying = true;
        window->destroyed = true;
        window->cls->windows--;
        if (auto parent = FindAny(window->parent)) {
            auto& siblings = parent->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), window->handle), siblings.end());
        }
        manager.topLevel.erase(std::remove(manager.topLevel.begin(), manager.topLevel.end(), window->handle),
                               manager.topLevel.end());
        ReleaseIfDone(window);
    }
}

namespace {

thread_local int t_inSend = 0;

// A character of WM_CHAR in the other form.
WPARAM CharacterIn(WPARAM wParam, bool toUnicode)
{
    if (toUnicode) {
        const char byte = static_cast<char>(wParam & 0xFF);
        const std::u16string wide = WideFromAnsi(std::string_view(&byte, 1));
        return wide.empty() ? 0 : wide[0];
    }
    const char16_t unit = static_cast<char16_t>(wParam & 0xFFFF);
    const std::string narrow = AnsiFromWide(std::u16string_view(&unit, 1));
    return narrow.empty() ? 0 : static_cast<unsigned char>(narrow[0]);
}

// Text messages change form between the A and W procedures; code page 1252 maps one character to
// one unit, so counts stay the same.
LRESULT ConvertAndCall(WNDPROC proc, bool toUnicode, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT: {
        if (!lParam)
            break;
        if (toUnicode) {
            const std::u16string text = WideFromAnsi(reinterpret_cast<const char*>(lParam));
            return proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(text.c_str()));
        }
        const std::string text = AnsiFromWide(reinterpret_cast<const char16_t*>(lParam));
        return proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(text.c_str()));
    }
    case WM_GETTEXT: {
        if (!lParam || wParam == 0)
            break;
        if (toUnicode) {
            std::u16string buffer(wParam, u'\0');
            const LRESULT copied = proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(buffer.data()));
            const std::string text = AnsiFromWide(std::u16string_view(buffer.c_str()));
            const size_t count = std::min<size_t>(text.size(), wParam - 1);
            std::memcpy(reinterpret_cast<char*>(lParam), text.data(), count);
            reinterpret_cast<char*>(lParam)[count] = '\0';
            return copied < 0 ? copied : static_cast<LRESULT>(count);
        }
        std::string buffer(wParam, '\0');
        const LRESULT copied = proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(buffer.data()));
        const std::u16string text = WideFromAnsi(std::string_view(buffer.c_str()));
        const size_t count = std::min<size_t>(text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char16_t*>(lParam), text.data(), count * sizeof(char16_t));
        reinterpret_cast<char16_t*>(lParam)[count] = u'\0';
        return copied < 0 ? copied : static_cast<LRESULT>(count);
    }
    case WM_NCCREATE:
    case WM_CREATE: {
        if (!lParam)
            break;
        if (toUnicode) {
            const auto& from = *reinterpret_cast<const CREATESTRUCTA*>(lParam);
            const std::u16string name = WideFromAnsi(from.lpszName);
            const std::u16string cls = IS_INTRESOURCE(from.lpszClass) ? std::u16string() : WideFromAnsi(from.lpszClass);
            CREATESTRUCTW to{from.lpCreateParams, from.hInstance, from.hMenu, from.hwndParent, from.cy, from.cx,
                             from.y, from.x, from.style, from.lpszName ? name.c_str() : nullptr,
                             IS_INTRESOURCE(from.lpszClass) ? reinterpret_cast<LPCWSTR>(from.lpszClass) : cls.c_str(),
                             from.dwExStyle};
            return proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(&to));
        }
        const auto& from = *reinterpret_cast<const CREATESTRUCTW*>(lParam);
        const std::string name = from.lpszName ? AnsiFromWide(from.lpszName) : std::string();
        const std::string cls = IS_INTRESOURCE(from.lpszClass) ? std::string() : AnsiFromWide(from.lpszClass);
        CREATESTRUCTA to{from.lpCreateParams, from.hInstance, from.hMenu, from.hwndParent, from.cy, from.cx,
                         from.y, from.x, from.style, from.lpszName ? name.c_str() : nullptr,
                         IS_INTRESOURCE(from.lpszClass) ? reinterpret_cast<LPCSTR>(from.lpszClass) : cls.c_str(),
                         from.dwExStyle};
        return proc(hwnd, message, wParam, reinterpret_cast<LPARAM>(&to));
    }
    case WM_CHAR:
        return proc(hwnd, message, CharacterIn(wParam, toUnicode), lParam);
    default:
        if (auto converted = ConvertControlText(proc, toUnicode, hwnd, message, wParam, lParam))
            return *converted;
        break;
    }
    return proc(hwnd, message, wParam, lParam);
}

} // namespace

LRESULT CallInForm(WNDPROC proc, bool procUnicode, bool callerUnicode, HWND hwnd, UINT message, WPARAM wParam,
                   LPARAM lParam)
{
    if (procUnicode == callerUnicode)
        return proc(hwnd, message, wParam, lParam);
    return ConvertAndCall(proc, procUnicode, hwnd, message, wParam, lParam);
}

LRESULT Deliver(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam, bool unicode)
{
    auto& manager = WindowManager::Instance();
    WNDPROC proc;
    bool procUnicode;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (window->destroyed)
            return 0;
        window->busy++;
        proc = window->proc;
        procUnicode = window->unicode;
        if (window->log.size() >= kLogLimit)
            window->log.pop_front();
        // The log holds what the procedure gets: a character in its own form.
        const WPARAM logged = (message == WM_CHAR && procUnicode != unicode && proc) ? CharacterIn(wParam, procUnicode)
                                                                                    : wParam;
        window->log.push_back({message, logged, lParam});
    }
    struct Done {
        const std::shared_ptr<Window>& window;
        ~Done()
        {
            auto& manager = WindowManager::Instance();
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            window->busy--;
            ReleaseIfDone(window);
        }
    } done{window};
    if (!proc)
        return unicode ? DefaultProcedure(window->handle, message, wParam, lParam)
                       : DefWindowProcA(window->handle, message, wParam, lParam);
    return CallInForm(proc, procUnicode, unicode, window->handle, message, wParam, lParam);
}

bool ProcessSentMessages(MessageQueue& queue)
{
    auto& manager = WindowManager::Instance();
    bool any = false;
    for (;;) {
        std::shared_ptr<SentMessage> message;
        std::shared_ptr<Window> window;
        {
            std::lock_guard<std::recursive_mutex> hold(manager.lock);
            if (queue.sent.empty())
                return any;
            message = queue.sent.front();
            queue.sent.pop_front();
            window = FindLive(message->hwnd);
        }
        any = true;
        // The sender hears the answer however the handler ends: a handler whose thread is
        // terminated meanwhile unwinds through here, and its sender gets 0.
        struct Answer {
            SentMessage& message;
            LRESULT result = 0;
            ~Answer()
            {
                {
                    std::lock_guard<std::recursive_mutex> hold(WindowManager::Instance().lock);
                    message.result = result;
                    message.done = true;
                }
                if (message.sender)
                    Wake(*message.sender);
            }
        } answer{*message};
        if (window) {
            ++t_inSend;
            struct Leave {
                ~Leave() { --t_inSend; }
            } leave;
            answer.result = Deliver(window, message->message, message->wParam, message->lParam, message->unicode);
        }
    }
}

void EndMessageQueue()
{
    EndQueue(std::move(t_queue.queue));
    t_queue.queue.reset();
}

bool InsideSentMessage()
{
    return t_inSend > 0;
}

void WaitForQueue(MessageQueue& queue, int64_t deadline)
{
    auto& manager = WindowManager::Instance();
    UnwindIfTerminated();
    const int64_t now = platform::Clock::Now();
    if (deadline <= now)
        return;
    LARGE_INTEGER interval{};
    interval.QuadPart = -(deadline - now);
    PLARGE_INTEGER timeout = deadline == platform::Clock::kForever ? nullptr : &interval;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        queue.waiting++;
    }
    UserThread* self = CurrentUserThread();
    if (self) {
        PVOID objects[2] = {&queue.wake, &self->terminate};
        KWAIT_BLOCK blocks[2];
        KeWaitForMultipleObjects(2, objects, WaitAny, UserRequest, UserMode, FALSE, timeout, blocks);
    } else {
        KeWaitForSingleObject(&queue.wake, UserRequest, UserMode, FALSE, timeout);
    }
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        queue.waiting--;
    }
    UnwindIfTerminated();
}

} // namespace user
