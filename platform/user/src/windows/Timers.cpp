// Timers on the machine's clock: WM_TIMER (or the TIMERPROC) when a timer is due and the queue has
// nothing else; one message per timer however late, the next due an interval after it is taken.
#include "platform/Clock.h"
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

#include <algorithm>

namespace user {

void KillTimersOf(MessageQueue& queue, HWND hwnd)
{
    auto& timers = queue.timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [hwnd](const Timer& t) { return t.hwnd == hwnd; }),
                 timers.end());
}

} // namespace user

using namespace user;

extern "C" UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    auto& manager = WindowManager::Instance();
    std::shared_ptr<MessageQueue> queue;
    if (hWnd) {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        auto window = FindOrFail(hWnd);
        if (!window || !OwnedByCaller(*window, "SetTimer"))
            return 0;
        queue = window->queue;
    } else {
        queue = CurrentQueue();
    }
    // Windows' bounds: 10 ms to 0x7FFFFFFF ms.
    const UINT elapse = std::clamp<UINT>(uElapse, 10, 0x7FFFFFFF);
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    Timer timer;
    timer.hwnd = hWnd;
    timer.proc = lpTimerFunc;
    timer.interval = static_cast<int64_t>(elapse) * platform::Clock::kUnitsPerMillisecond;
    timer.due = platform::Clock::DeadlineAfter(timer.interval);
    auto& timers = queue->timers;
    if (hWnd) {
        timer.id = nIDEvent;
    } else {
        // A thread timer keeps its id when nIDEvent names one, else gets a new one.
        const bool existing = nIDEvent && std::any_of(timers.begin(), timers.end(), [&](const Timer& t) {
                                  return !t.hwnd && t.id == nIDEvent;
                              });
        if (existing) {
            timer.id = nIDEvent;
        } else {
            do
                timer.id = queue->nextThreadTimer++;
            while (std::any_of(timers.begin(), timers.end(), [&](const Timer& t) { return !t.hwnd && t.id == timer.id; }));
        }
    }
    // The same window and id replace the timer.
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.hwnd == timer.hwnd && t.id == timer.id; }),
                 timers.end());
    timers.push_back(timer);
    Wake(*queue);
    return hWnd && timer.id == 0 ? 1 : timer.id;
}

extern "C" BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    auto& manager = WindowManager::Instance();
    std::shared_ptr<MessageQueue> queue;
    {
        std::lock_guard<std::recursive_mutex> hold(manager.lock);
        if (hWnd) {
            auto window = FindOrFail(hWnd);
            if (!window || !OwnedByCaller(*window, "KillTimer"))
                return FALSE;
            queue = window->queue;
        }
    }
    if (!queue)
        queue = CurrentQueue();
    std::lock_guard<std::recursive_mutex> hold(manager.lock);
    auto& timers = queue->timers;
    const auto found = std::find_if(timers.begin(), timers.end(),
                                    [&](const Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; });
    if (found == timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timers.erase(found);
    return TRUE;
}
