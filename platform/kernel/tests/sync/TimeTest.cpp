// Kernel time: calendar fields, local time, the performance counter, the timer resolution
// requests, and stalls.
#include "SyncTestSupport.h"

#include <limits>

#include "km/irql.h"
#include "km/time.h"
#include "standin/system.h"

using namespace synctest;
using platform::Clock;

namespace {

TIME_FIELDS Fields(LONGLONG time)
{
    LARGE_INTEGER t;
    t.QuadPart = time;
    TIME_FIELDS f;
    RtlTimeToTimeFields(&t, &f);
    return f;
}

struct Expected {
    LONGLONG time;
    CSHORT year, month, day, hour, minute, second, milliseconds, weekday;
};

} // namespace

TEST(TimeFields, SplitsTimesIntoCalendarFields)
{
    const Expected cases[] = {
        {0, 1601, 1, 1, 0, 0, 0, 0, 1},                              // the origin was a Monday
        {314'496'000'000'000, 1601, 12, 31, 0, 0, 0, 0, 1},          // last day of a common year
        {116'444'736'000'000'000, 1970, 1, 1, 0, 0, 0, 0, 4},        // Thursday
        {125'963'012'967'890'000, 2000, 2, 29, 12, 34, 56, 789, 2},  // leap day of a 400-year
        {133'801'631'999'990'000, 2024, 12, 31, 23, 59, 59, 999, 2}, // day 366
        {157'520'160'000'000'000, 2100, 3, 1, 0, 0, 0, 0, 1},        // 2100 has no 29 February
        {125'963'012'967'899'999, 2000, 2, 29, 12, 34, 56, 789, 2},  // sub-millisecond units drop
        {-1, 1600, 12, 31, 23, 59, 59, 999, 0},                      // before the origin: Sunday
        {std::numeric_limits<LONGLONG>::max(), 30828, 9, 14, 2, 48, 5, 477, 4},
    };
    for (const auto& c : cases) {
        const TIME_FIELDS f = Fields(c.time);
        EXPECT_EQ(f.Year, c.year) << c.time;
        EXPECT_EQ(f.Month, c.month) << c.time;
        EXPECT_EQ(f.Day, c.day) << c.time;
        EXPECT_EQ(f.Hour, c.hour) << c.time;
        EXPECT_EQ(f.Minute, c.minute) << c.time;
        EXPECT_EQ(f.Second, c.second) << c.time;
        EXPECT_EQ(f.Milliseconds, c.milliseconds) << c.time;
        EXPECT_EQ(f.Weekday, c.weekday) << c.time;
    }
}

TEST(TimeFields, MissingPointersAreReported)
{
    ExpectedBreaches breaches;
    TIME_FIELDS f{};
    RtlTimeToTimeFields(nullptr, &f);
    KeQuerySystemTime(nullptr);
    EXPECT_EQ(breaches.Rules(), (std::vector<std::string>{"bad-argument", "bad-argument"}));
}

TEST(LocalTime, SubtractsTheTimeZoneBias)
{
    const LONGLONG hostBias = standin::TimeZoneBias();
    standin::SetTimeZoneBias(-60 * 60 * kSecond); // one hour east of Greenwich
    LARGE_INTEGER system, local;
    system.QuadPart = 116'444'736'000'000'000;
    ExSystemTimeToLocalTime(&system, &local);
    EXPECT_EQ(local.QuadPart - system.QuadPart, 60 * 60 * kSecond);
    EXPECT_EQ(Fields(local.QuadPart).Hour, 1);

    standin::SetTimeZoneBias(5 * 60 * 60 * kSecond); // five hours west
    ExSystemTimeToLocalTime(&system, &local);
    const TIME_FIELDS f = Fields(local.QuadPart);
    EXPECT_EQ(f.Year, 1969);
    EXPECT_EQ(f.Hour, 19);
    standin::SetTimeZoneBias(hostBias);
}

TEST(PerformanceCounter, CountsSimulatedTimeAtTenMegahertz)
{
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    const LONGLONG before = Clock::Now();
    const LARGE_INTEGER counter = KeQueryPerformanceCounter(&frequency);
    const LONGLONG after = Clock::Now();
    EXPECT_EQ(frequency.QuadPart, 10'000'000);
    EXPECT_GE(counter.QuadPart, before);
    EXPECT_LE(counter.QuadPart, after);
    EXPECT_GE(KeQueryPerformanceCounter(nullptr).QuadPart, counter.QuadPart);
}

TEST(TimerResolution, StandingRequestsDecideTheResolutionInEffect)
{
    const size_t earlier = standin::TimerResolutionRequests().size();
    EXPECT_EQ(ExSetTimerResolution(10000, TRUE), 10000u); // 1 ms, as the driver asks at load
    EXPECT_EQ(ExSetTimerResolution(50000, TRUE), 10000u); // the finest standing request wins
    EXPECT_EQ(ExSetTimerResolution(1, TRUE), 5000u);      // bounded to what the timer offers
    EXPECT_EQ(ExSetTimerResolution(0, FALSE), 10000u);
    EXPECT_EQ(ExSetTimerResolution(0, FALSE), 10000u);
    EXPECT_EQ(ExSetTimerResolution(0, FALSE), 156250u); // all withdrawn: the default
    EXPECT_EQ(ExSetTimerResolution(0, FALSE), 156250u); // nothing left to withdraw
    EXPECT_EQ(ExSetTimerResolution(1'000'000, TRUE), 156250u);
    EXPECT_EQ(ExSetTimerResolution(0, FALSE), 156250u);

    const auto calls = standin::TimerResolutionRequests();
    ASSERT_EQ(calls.size(), earlier + 9);
    EXPECT_EQ(calls[earlier].desiredTime, 10000u);
    EXPECT_TRUE(calls[earlier].setResolution);
    EXPECT_EQ(calls[earlier].result, 10000u);
    EXPECT_FALSE(calls[earlier + 5].setResolution);
    EXPECT_EQ(calls[earlier + 5].result, 156250u);
}

class Stall : public ClockFixture {};

TEST_F(Stall, BusyWaitsItsSimulatedTimeAtAnyLevel)
{
    KIRQL old;
    KeRaiseIrql(HIGH_LEVEL, &old);
    int64_t start = Clock::Now();
    KeStallExecutionProcessor(50);
    EXPECT_GE(Clock::Now() - start, 50 * platform::Clock::kUnitsPerMicrosecond);
    EXPECT_EQ(standin::LastStallMicroseconds(), 50u);
    KeLowerIrql(old);

    Clock::SetSpeedFactor(10000.0);
    start = Clock::Now();
    KeStallExecutionProcessor(2'000'000); // two simulated seconds
    EXPECT_GE(Clock::Now() - start, 2 * kSecond);
    EXPECT_EQ(standin::LastStallMicroseconds(), 2'000'000u);
}
