// The process-wide simulated clock: rate state, system-time origin, and the registry of blocked
// waiters that a speed change re-times.
//
// Locks, outermost first: a waiter's own mutex, then `waitersLock` (the registry), then `rateLock`
// (the rate state). A waiter holds its own mutex and the registry lock from the moment it checks
// its condition until the condition variable has taken it in; a speed change updates the rate and
// then notifies every registered waiter under the registry lock, so no waiter can sleep on a
// deadline computed from the old rate without being woken to recompute it.
#include "platform/Clock.h"

#include <chrono>
#include <cmath>
#include <stdexcept>

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

// 100-ns units between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochInSystemTime = 116'444'736'000'000'000;
// Speeds above this would overflow 64-bit simulated time within days of real time.
constexpr double kMaximumSpeedFactor = 1e9;
// Longest single real-time sleep; the loop around it re-checks the simulated deadline.
constexpr auto kLongestRealSleep = std::chrono::hours(1);

struct Waiter {
    std::condition_variable_any* cv;
    Waiter* prev;
    Waiter* next;
};

struct ClockState {
    std::mutex rateLock;
    SteadyClock::time_point baseReal;
    int64_t baseSimulated = 0;
    double factor = 1.0;
    int64_t lastReturned = 0;
    int64_t systemOrigin = 0; // system time at simulated instant 0

    std::mutex waitersLock;
    Waiter* firstWaiter = nullptr;

    ClockState()
    {
        baseReal = SteadyClock::now();
        const auto sinceUnixEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        systemOrigin = kUnixEpochInSystemTime + sinceUnixEpoch.count() / 100;
    }

    // Simulated time at real instant `real`; rateLock held.
    int64_t SimulatedAt(SteadyClock::time_point real) const
    {
        const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(real - baseReal).count();
        if (ns <= 0)
            return baseSimulated;
        const double units = std::floor(static_cast<double>(ns) * factor / 100.0);
        const double limit = static_cast<double>(Clock::kForever - 1 - baseSimulated);
        return baseSimulated + (units >= limit ? static_cast<int64_t>(limit) : static_cast<int64_t>(units));
    }

    // Monotonic reading; rateLock held.
    int64_t NowLocked()
    {
        const int64_t now = SimulatedAt(SteadyClock::now());
        if (now > lastReturned)
            lastReturned = now;
        return lastReturned;
    }

    // The real instant at which simulated time reaches `deadline`, at most an hour away.
    SteadyClock::time_point RealInstantOf(int64_t deadline)
    {
        std::lock_guard<std::mutex> hold(rateLock);
        const auto now = SteadyClock::now();
        const double ns = std::ceil(static_cast<double>(deadline - baseSimulated) * 100.0 / factor);
        const auto latest = now + kLongestRealSleep;
        const double untilLatest = static_cast<double>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(latest - baseReal).count());
        if (ns >= untilLatest)
            return latest;
        return baseReal + std::chrono::nanoseconds(static_cast<int64_t>(ns));
    }
};

ClockState& State()
{
    static ClockState* state = new ClockState; // never destroyed: detached threads may read it at exit
    return *state;
}

int64_t SaturatingSubtract(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_sub_overflow(a, b, &r))
        return b > 0 ? std::numeric_limits<int64_t>::min() : Clock::kForever;
    return r;
}

} // namespace

int64_t Clock::Now()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.rateLock);
    return s.NowLocked();
}

void Clock::SetSpeedFactor(double factor)
{
    if (!std::isfinite(factor) || factor <= 0.0 || factor > kMaximumSpeedFactor)
        throw std::invalid_argument("clock speed factor must be above 0 and at most 1e9");
    auto& s = State();
    {
        std::lock_guard<std::mutex> hold(s.rateLock);
        const auto now = SteadyClock::now();
        s.baseSimulated = s.SimulatedAt(now);
        if (s.baseSimulated < s.lastReturned)
            s.baseSimulated = s.lastReturned;
        s.baseReal = now;
        s.factor = factor;
    }
    std::lock_guard<std::mutex> hold(s.waitersLock);
    for (Waiter* w = s.firstWaiter; w; w = w->next)
        w->cv->notify_all();
}

void Clock::Advance(int64_t interval)
{
    if (interval < 0)
        throw std::invalid_argument("the clock only moves forward");
    auto& s = State();
    {
        std::lock_guard<std::mutex> hold(s.rateLock);
        const auto now = SteadyClock::now();
        int64_t base = s.SimulatedAt(now);
        if (base < s.lastReturned)
            base = s.lastReturned;
        s.baseSimulated = interval >= kForever - 1 - base ? kForever - 1 : base + interval;
        s.baseReal = now;
    }
    std::lock_guard<std::mutex> hold(s.waitersLock);
    for (Waiter* w = s.firstWaiter; w; w = w->next)
        w->cv->notify_all();
}

double Clock::SpeedFactor()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.rateLock);
    return s.factor;
}

int64_t Clock::SystemTime()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.rateLock);
    return s.systemOrigin + s.NowLocked();
}

void Clock::SetSystemTime(int64_t systemTime)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.rateLock);
    s.systemOrigin = SaturatingSubtract(systemTime, s.NowLocked());
}

int64_t Clock::SimulatedFromSystemTime(int64_t systemTime)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.rateLock);
    return SaturatingSubtract(systemTime, s.systemOrigin);
}

int64_t Clock::DeadlineAfter(int64_t interval)
{
    const int64_t now = Now();
    if (interval <= 0)
        return now;
    if (interval >= kForever - now)
        return kForever;
    return now + interval;
}

void Clock::SleepFor(int64_t interval)
{
    if (interval > 0)
        SleepUntil(DeadlineAfter(interval));
}

void Clock::SleepUntil(int64_t deadline)
{
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock<std::mutex> lock(m);
    WaitUntil(lock, cv, deadline, [] { return false; });
}

bool Clock::WaitUntilImpl(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv,
                          int64_t deadline, bool (*ready)(void*), void* readyArg)
{
    auto& s = State();
    // The caller's lock and the registry lock, released and retaken together by the condition
    // variable, so that a speed change cannot slip between the check and the sleep.
    struct BothLocks {
        std::unique_lock<std::mutex>& caller;
        std::mutex& registry;
        void lock()
        {
            caller.lock();
            registry.lock();
        }
        void unlock()
        {
            registry.unlock();
            caller.unlock();
        }
    } both{lock, s.waitersLock};

    s.waitersLock.lock();
    Waiter self{&cv, nullptr, s.firstWaiter};
    if (s.firstWaiter)
        s.firstWaiter->prev = &self;
    s.firstWaiter = &self;

    bool result = false;
    for (;;) {
        if (ready(readyArg)) {
            result = true;
            break;
        }
        if (deadline == kForever) {
            cv.wait(both);
            continue;
        }
        if (Now() >= deadline)
            break;
        cv.wait_until(both, s.RealInstantOf(deadline));
    }

    if (self.prev)
        self.prev->next = self.next;
    else
        s.firstWaiter = self.next;
    if (self.next)
        self.next->prev = self.prev;
    s.waitersLock.unlock();
    return result;
}

} // namespace platform
