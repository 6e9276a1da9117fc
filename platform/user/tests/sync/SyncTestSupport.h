// What the user side's thread and wait tests share: reaching the kernel object behind a user
// handle, waiting (with a generous bound) until a thread is parked in a wait on it, taking the
// breaches of one rule and running the clock faster; the window tests use the last two as well.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "km/eventobject.h"
#include "km/object.h"
#include "km/status.h"
#include "km/thread.h"
#include "platform/Clock.h"
#include "standin/system.h"
#include "standin/verifier.h"
#include "um/windows.h"

namespace usertest {

inline PVOID ObjectOf(HANDLE handle)
{
    PVOID object = nullptr;
    if (NT_SUCCESS(ObReferenceObjectByHandle(handle, 0, nullptr, UserMode, &object, nullptr)))
        ObDereferenceObject(object); // the handle keeps it
    return object;
}

// True once `count` threads wait on the object behind `handle`; false after ten seconds.
inline bool WaitForWaiters(HANDLE handle, size_t count)
{
    PVOID object = ObjectOf(handle);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (standin::DispatcherWaiterCount(object) < count) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Takes the breaches of one rule and returns how many there were; others stay.
inline size_t TakeBreaches(const std::string& rule)
{
    size_t found = 0;
    for (const auto& breach : standin::VerifierTakeViolations()) {
        if (breach.rule == rule)
            ++found;
        else
            standin::VerifierReport(breach.rule.c_str(), breach.detail);
    }
    return found;
}

// Keeps the clock's speed factor for the test and puts it back.
class ClockSpeed {
public:
    explicit ClockSpeed(double factor) : previous_(platform::Clock::SpeedFactor())
    {
        platform::Clock::SetSpeedFactor(factor);
    }
    ~ClockSpeed() { platform::Clock::SetSpeedFactor(previous_); }

private:
    double previous_;
};

} // namespace usertest
