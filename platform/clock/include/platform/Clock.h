// The one clock of the process: simulated time in 100-ns units since the clock started, running at
// a settable multiple (the speed factor) of real time, and the wall-clock origin that turns it into
// system time. Everything that sleeps or waits on time in the stand-in and in the board model blocks
// through here, so that raising the speed factor shortens every pending sleep and time-out at once.
// The clock knows no kernel types: it sits below the kernel stand-in and below the board.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>

namespace platform {

class Clock {
public:
    static constexpr int64_t kUnitsPerSecond = 10'000'000; // 100-ns units
    static constexpr int64_t kUnitsPerMillisecond = 10'000;
    static constexpr int64_t kUnitsPerMicrosecond = 10;
    // A deadline that never comes.
    static constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

    // Simulated time since the clock started, in 100-ns units; never decreases.
    static int64_t Now();

    // How many simulated seconds pass per real second (default 1). Changing it keeps simulated time
    // continuous and re-times every pending sleep and wait. Throws std::invalid_argument unless the
    // factor is finite and above zero.
    static void SetSpeedFactor(double factor);
    static double SpeedFactor();
    // Moves simulated time forward by `interval` (>= 0) at once, as if that much had passed: every
    // sleep and wait whose deadline it passes wakes; deadlines taken afterwards count from the new
    // time. With a slow speed factor this lets a test run out one wait on demand while every other
    // time-out stays far away. Throws std::invalid_argument for a negative interval.
    static void Advance(int64_t interval);

    // System time: 100-ns units since 1601-01-01 00:00 UTC. At the clock's start it is the host's
    // UTC time; afterwards it advances with simulated time.
    static int64_t SystemTime();
    // Makes the system time read `systemTime` now; it advances with simulated time from there.
    static void SetSystemTime(int64_t systemTime);
    // The simulated instant at which the system time reads `systemTime` (may lie in the past).
    static int64_t SimulatedFromSystemTime(int64_t systemTime);

    // Sleeps until `interval` simulated units have passed (nothing for interval <= 0).
    static void SleepFor(int64_t interval);
    // Sleeps until simulated time reaches `deadline`.
    static void SleepUntil(int64_t deadline);
    // Adds a non-negative interval to a simulated instant without overflowing past kForever.
    static int64_t DeadlineAfter(int64_t interval);

    // Blocks on `cv` until `ready()` holds (returns true) or simulated time reaches `deadline`
    // (returns ready() then). `lock` holds the caller's mutex, which guards what `ready` reads and
    // which the notifier holds while changing it. `ready` runs with the caller's mutex and a clock
    // lock held: it may read the clock but must not change the speed factor.
    template <class Ready>
    static bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv,
                          int64_t deadline, Ready ready)
    {
        return WaitUntilImpl(
            lock, cv, deadline, [](void* r) { return static_cast<bool>((*static_cast<Ready*>(r))()); },
            &ready);
    }

private:
    static bool WaitUntilImpl(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv,
                              int64_t deadline, bool (*ready)(void*), void* readyArg);
};

} // namespace platform
