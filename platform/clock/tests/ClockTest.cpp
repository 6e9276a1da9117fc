// The process clock: continuity across speed changes, sleeps and waits on simulated deadlines,
// re-timing of pending waits, and the system-time origin.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Clock.h"

using platform::Clock;

namespace {

using Steady = std::chrono::steady_clock;

constexpr int64_t kMs = Clock::kUnitsPerMillisecond;
constexpr int64_t kSecond = Clock::kUnitsPerSecond;

// Host UTC in 100-ns units since 1601.
int64_t HostSystemTime()
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return 116'444'736'000'000'000 + ns.count() / 100;
}

const int64_t g_hostTimeAtProgramStart = HostSystemTime();

double RealUnits(Steady::duration d)
{
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) / 100.0;
}

class ClockTest : public testing::Test {
protected:
    void TearDown() override { Clock::SetSpeedFactor(1.0); }
};

} // namespace

TEST_F(ClockTest, SpeedChangesNeitherJumpNorRewindTime)
{
    // Slow to fast: the new factor applies only from the change on.
    Clock::SetSpeedFactor(1.0);
    const auto r0 = Steady::now();
    const int64_t a = Clock::Now();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto beforeChange = Steady::now();
    Clock::SetSpeedFactor(1e6);
    const int64_t b = Clock::Now();
    const auto r1 = Steady::now();
    EXPECT_GE(b, a);
    EXPECT_LE(static_cast<double>(b - a),
              RealUnits(beforeChange - r0) + 1e6 * RealUnits(r1 - beforeChange) + 1);

    // Fast to slow: time already run stays run.
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // 20,000 s simulated
    const int64_t c = Clock::Now();
    Clock::SetSpeedFactor(1.0);
    const int64_t d = Clock::Now();
    EXPECT_GE(c - b, 20'000 * kSecond);
    EXPECT_GE(d, c);
}

TEST_F(ClockTest, ReadingsNeverDecreaseAcrossThreadsWhileTheFactorChanges)
{
    std::atomic<bool> stop{false};
    std::atomic<bool> decreased{false};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            int64_t last = Clock::Now();
            while (!stop) {
                const int64_t now = Clock::Now();
                if (now < last)
                    decreased = true;
                last = now;
            }
        });
    }
    for (double factor : {3.0, 0.25, 1000.0, 1.0, 0.001, 50.0})
        for (int i = 0; i < 50; ++i)
            Clock::SetSpeedFactor(factor * (1 + i % 3));
    stop = true;
    for (auto& t : readers)
        t.join();
    EXPECT_FALSE(decreased);
}

TEST_F(ClockTest, SleepLastsAtLeastItsSimulatedInterval)
{
    int64_t start = Clock::Now();
    Clock::SleepFor(20 * kMs);
    EXPECT_GE(Clock::Now() - start, 20 * kMs);

    Clock::SetSpeedFactor(1000.0);
    start = Clock::Now();
    Clock::SleepFor(10 * kSecond);
    EXPECT_GE(Clock::Now() - start, 10 * kSecond);

    Clock::SetSpeedFactor(1.0);
    start = Clock::Now();
    Clock::SleepFor(0);
    Clock::SleepFor(-kSecond);
    Clock::SleepUntil(start - kSecond);
    EXPECT_LT(Clock::Now() - start, 10 * kSecond); // none of these waits for anything
    EXPECT_EQ(Clock::DeadlineAfter(Clock::kForever), Clock::kForever);
    EXPECT_GE(Clock::DeadlineAfter(-5), start);
}

TEST_F(ClockTest, RaisingTheFactorShortensASleepAlreadyUnderWay)
{
    auto sleeper = std::async(std::launch::async, [] {
        const int64_t start = Clock::Now();
        Clock::SleepFor(3600 * kSecond); // an hour at factor 1
        return Clock::Now() - start;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let it begin sleeping at factor 1
    Clock::SetSpeedFactor(1e6);
    ASSERT_EQ(sleeper.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_GE(sleeper.get(), 3600 * kSecond);
}

TEST_F(ClockTest, WaitUntilReturnsWhenReadyOrAtTheDeadline)
{
    std::mutex m;
    std::condition_variable_any cv;
    bool ready = false;

    {
        // Ready before the wait: true at once, even with a deadline already past.
        std::unique_lock<std::mutex> lock(m);
        ready = true;
        EXPECT_TRUE(Clock::WaitUntil(lock, cv, Clock::Now() - kSecond, [&] { return ready; }));
        ready = false;
    }
    {
        // Nobody makes it ready: false, not before the deadline.
        std::unique_lock<std::mutex> lock(m);
        const int64_t deadline = Clock::Now() + 30 * kMs;
        EXPECT_FALSE(Clock::WaitUntil(lock, cv, deadline, [&] { return ready; }));
        EXPECT_GE(Clock::Now(), deadline);
    }
}

TEST_F(ClockTest, SystemTimeStartsAtHostUtcAndFollowsSimulatedTime)
{
    const int64_t origin = Clock::SystemTime() - Clock::Now();
    const int64_t tolerance = kSecond;
    EXPECT_GE(origin, g_hostTimeAtProgramStart - tolerance);
    EXPECT_LE(origin, HostSystemTime() + tolerance);

    const int64_t set = 131'000'000'000'000'000; // 2016
    Clock::SetSystemTime(set);
    const int64_t read = Clock::SystemTime();
    EXPECT_GE(read, set);
    EXPECT_LT(read, set + 10 * kSecond);
    Clock::SetSpeedFactor(1000.0);
    const int64_t before = Clock::SystemTime();
    Clock::SleepFor(5 * kSecond);
    EXPECT_GE(Clock::SystemTime() - before, 5 * kSecond);

    // An absolute instant maps to the simulated time at which the system time reaches it.
    const int64_t now = Clock::Now();
    const int64_t inFiveSeconds = Clock::SimulatedFromSystemTime(Clock::SystemTime() + 5 * kSecond);
    EXPECT_GE(inFiveSeconds, now + 5 * kSecond);
    EXPECT_EQ(Clock::SimulatedFromSystemTime(std::numeric_limits<int64_t>::min()),
              std::numeric_limits<int64_t>::min());
}

TEST_F(ClockTest, RejectsSpeedFactorsThatAreNotPositiveAndFinite)
{
    for (double bad : {0.0, -1.0, std::nan(""), static_cast<double>(INFINITY), 2e9})
        EXPECT_THROW(Clock::SetSpeedFactor(bad), std::invalid_argument) << bad;
    EXPECT_EQ(Clock::SpeedFactor(), 1.0);
    Clock::SetSpeedFactor(1e9);
    EXPECT_EQ(Clock::SpeedFactor(), 1e9);
}

TEST_F(ClockTest, AdvanceRunsOutThePassedDeadlinesOnlyAndCountsLaterOnesFromTheNewTime)
{
    // Nearly held: nothing expires on its own while the test runs.
    Clock::SetSpeedFactor(1e-6);
    const int64_t start = Clock::Now();
    std::mutex m;
    std::condition_variable_any cv;
    std::atomic<int> waiting{0};
    auto waitFor = [&](int64_t deadline) {
        std::unique_lock lock(m);
        ++waiting;
        return Clock::WaitUntil(lock, cv, deadline, [] { return false; });
    };
    auto soon = std::async(std::launch::async, waitFor, start + 4 * kSecond);
    auto later = std::async(std::launch::async, waitFor, start + 10 * kSecond);
    while (waiting.load() != 2)
        std::this_thread::yield();
    {
        std::lock_guard lock(m); // both are inside the wait, not between the count and the wait
    }
    Clock::Advance(5 * kSecond);
    ASSERT_EQ(soon.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_FALSE(soon.get());
    EXPECT_GE(Clock::Now(), start + 5 * kSecond);
    EXPECT_LT(Clock::Now(), start + 6 * kSecond);

    // A deadline taken after the jump counts from the new time.
    const int64_t deadline = Clock::DeadlineAfter(4 * kSecond);
    EXPECT_GE(deadline, start + 9 * kSecond);
    Clock::Advance(6 * kSecond);
    ASSERT_EQ(later.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_FALSE(later.get());
    EXPECT_GE(Clock::Now(), deadline);
    EXPECT_THROW(Clock::Advance(-1), std::invalid_argument);
}
