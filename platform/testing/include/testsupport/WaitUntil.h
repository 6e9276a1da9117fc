// The tests' one wait for a state that another thread (or process) brings about: it polls the
// condition on real time, not on the machine's clock, so a slowed or stopped clock cannot make it
// give up early, and gives up only after a limit that means a hang, never a slow or loaded machine.
// A test never sleeps for a fixed time instead.
#pragma once
#include <chrono>
#include <thread>

namespace testsupport {

// How long a cross-thread check waits before it calls the state a hang.
inline constexpr std::chrono::seconds kCrossThreadTimeOut{120};

// True as soon as `done()` holds; false when it still does not after `limit`. The limit is for a
// test whose own logic gives a state a bounded grace and then acts otherwise; every check of a
// state the test needs takes the default.
template <class Condition>
bool WaitUntil(Condition&& done, std::chrono::steady_clock::duration limit = kCrossThreadTimeOut)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace testsupport
