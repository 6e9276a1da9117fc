// Helpers shared by the dispatcher, thread, time and DPC tests.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "km/sync.h"
#include "platform/Clock.h"
#include "standin/system.h"
#include "standin/verifier.h"

namespace synctest {

constexpr int64_t kMs = platform::Clock::kUnitsPerMillisecond;
constexpr int64_t kSecond = platform::Clock::kUnitsPerSecond;

inline LARGE_INTEGER Relative(int64_t units)
{
    LARGE_INTEGER t;
    t.QuadPart = -units;
    return t;
}

inline LARGE_INTEGER Absolute(int64_t systemTime)
{
    LARGE_INTEGER t;
    t.QuadPart = systemTime;
    return t;
}

inline LARGE_INTEGER Zero()
{
    LARGE_INTEGER t;
    t.QuadPart = 0;
    return t;
}

// Waits (in real time, up to a minute) until `count` threads are parked in a wait on `object`.
inline void WaitForWaiters(PVOID object, size_t count)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (standin::DispatcherWaiterCount(object) != count) {
        ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << "waiters never parked";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Silences the verifier's echo for a test that provokes breaches, and hands them over. Breaches
// the test does not take stay recorded and fail it.
class ExpectedBreaches {
public:
    ExpectedBreaches() { standin::VerifierSetEcho(false); }
    ~ExpectedBreaches() { standin::VerifierSetEcho(true); }
    std::vector<standin::VerifierViolation> Take() { return standin::VerifierTakeViolations(); }
    // Takes the breaches and returns the rule names in order.
    std::vector<std::string> Rules()
    {
        std::vector<std::string> rules;
        for (const auto& v : Take())
            rules.push_back(v.rule);
        return rules;
    }
};

// Tests that change the clock's speed put it back.
class ClockFixture : public testing::Test {
protected:
    void TearDown() override { platform::Clock::SetSpeedFactor(1.0); }
};

} // namespace synctest
