// KeWaitForSingleObject and KeDelayExecutionThread: every time-out form and status at its
// boundary, the IRQL rule, objects that are not dispatcher objects, and the clock's speed factor.
#include "SyncTestSupport.h"

#include <future>

#include "km/irql.h"
#include "km/status.h"
#include "km/time.h"

using namespace synctest;
using platform::Clock;

namespace {

NTSTATUS Wait(PVOID object, LARGE_INTEGER* timeout)
{
    return KeWaitForSingleObject(object, Executive, KernelMode, FALSE, timeout);
}

class WaitTest : public ClockFixture {
protected:
    void SetUp() override { KeInitializeEvent(&event, NotificationEvent, FALSE); }
    KEVENT event;
};

} // namespace

TEST_F(WaitTest, ZeroTimeOutOnlyTestsAndASignalledObjectSatisfiesAtOnce)
{
    LARGE_INTEGER poll = Zero();
    LARGE_INTEGER timeout = Relative(10 * kSecond);
    const int64_t start = Clock::Now();
    EXPECT_EQ(Wait(&event, &poll), STATUS_TIMEOUT);
    KeSetEvent(&event, 0, FALSE);
    EXPECT_EQ(Wait(&event, &poll), STATUS_SUCCESS);
    EXPECT_EQ(Wait(&event, &timeout), STATUS_SUCCESS);
    EXPECT_EQ(Wait(&event, nullptr), STATUS_SUCCESS);
    EXPECT_LT(Clock::Now() - start, 5 * kSecond);
}

TEST_F(WaitTest, RelativeTimeOutExpiresNoEarlier)
{
    LARGE_INTEGER timeout = Relative(30 * kMs);
    const int64_t start = Clock::Now();
    EXPECT_EQ(Wait(&event, &timeout), STATUS_TIMEOUT);
    EXPECT_GE(Clock::Now() - start, 30 * kMs);
}

TEST_F(WaitTest, AbsoluteTimeOutExpiresAtThatSystemTime)
{
    LARGE_INTEGER systemNow;
    KeQuerySystemTime(&systemNow);
    LARGE_INTEGER deadline = Absolute(systemNow.QuadPart + 30 * kMs);
    EXPECT_EQ(Wait(&event, &deadline), STATUS_TIMEOUT);
    LARGE_INTEGER after;
    KeQuerySystemTime(&after);
    EXPECT_GE(after.QuadPart, deadline.QuadPart);

    // A system time already past only tests.
    LARGE_INTEGER past = Absolute(systemNow.QuadPart - kSecond);
    const int64_t start = Clock::Now();
    EXPECT_EQ(Wait(&event, &past), STATUS_TIMEOUT);
    EXPECT_LT(Clock::Now() - start, 5 * kSecond);
}

TEST_F(WaitTest, SignalledDuringTheWaitSucceeds)
{
    std::thread setter([this] {
        WaitForWaiters(&event, 1);
        KeSetEvent(&event, 0, FALSE);
    });
    LARGE_INTEGER timeout = Relative(60 * kSecond);
    EXPECT_EQ(Wait(&event, &timeout), STATUS_SUCCESS);
    setter.join();
}

TEST_F(WaitTest, BlockingWaitAtDispatchLevelIsABreachAndDoesNotBlock)
{
    ExpectedBreaches breaches;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(Wait(&event, &poll), STATUS_TIMEOUT); // testing is allowed at DISPATCH_LEVEL
    EXPECT_TRUE(breaches.Take().empty());

    EXPECT_EQ(Wait(&event, nullptr), STATUS_TIMEOUT);
    LARGE_INTEGER timeout = Relative(kSecond);
    EXPECT_EQ(Wait(&event, &timeout), STATUS_TIMEOUT);
    LARGE_INTEGER sleep = Relative(kSecond);
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &sleep), STATUS_SUCCESS);
    KeLowerIrql(old);
    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 3u);
    for (const auto& b : taken)
        EXPECT_EQ(b.rule, "wait-at-dispatch");
    EXPECT_NE(taken[0].detail.find("IRQL 2"), std::string::npos);

    KeRaiseIrql(HIGH_LEVEL, &old);
    EXPECT_EQ(Wait(&event, &poll), STATUS_TIMEOUT); // above DISPATCH_LEVEL not even a test is allowed
    KeLowerIrql(old);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"wait-at-dispatch"});
}

TEST_F(WaitTest, WaitOnSomethingThatIsNotADispatcherObjectIsABreach)
{
    ExpectedBreaches breaches;
    alignas(KEVENT) unsigned char zeroed[sizeof(KEVENT)] = {};
    struct {
        int a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;
    } unrelated;
    EXPECT_EQ(Wait(zeroed, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Wait(&unrelated, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Wait(nullptr, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(breaches.Rules(), (std::vector<std::string>{"bad-object", "bad-object", "bad-object"}));
}

TEST_F(WaitTest, DelayHonoursRelativeAndAbsoluteIntervals)
{
    LARGE_INTEGER relative = Relative(20 * kMs);
    int64_t start = Clock::Now();
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &relative), STATUS_SUCCESS);
    EXPECT_GE(Clock::Now() - start, 20 * kMs);

    LARGE_INTEGER systemNow;
    KeQuerySystemTime(&systemNow);
    LARGE_INTEGER absolute = Absolute(systemNow.QuadPart + 20 * kMs);
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &absolute), STATUS_SUCCESS);
    LARGE_INTEGER after;
    KeQuerySystemTime(&after);
    EXPECT_GE(after.QuadPart, absolute.QuadPart);

    LARGE_INTEGER zero = Zero();
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &zero), STATUS_SUCCESS);

    ExpectedBreaches breaches;
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"bad-argument"});
}

TEST_F(WaitTest, SpeedFactorAppliesAlikeToSleepsWaitsAndTimeQueries)
{
    Clock::SetSpeedFactor(200.0);
    // System time minus performance counter is the clock's origin; bracketing each system-time
    // reading between two counter readings bounds it without timing assumptions.
    auto originBounds = [] {
        const LONGLONG before = KeQueryPerformanceCounter(nullptr).QuadPart;
        LARGE_INTEGER system;
        KeQuerySystemTime(&system);
        const LONGLONG after = KeQueryPerformanceCounter(nullptr).QuadPart;
        return std::pair<LONGLONG, LONGLONG>{system.QuadPart - after, system.QuadPart - before};
    };
    const auto [low0, high0] = originBounds();
    LARGE_INTEGER system0, counter0;
    KeQuerySystemTime(&system0);
    counter0 = KeQueryPerformanceCounter(nullptr);

    LARGE_INTEGER interval = Relative(5 * kSecond);
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &interval), STATUS_SUCCESS);
    LARGE_INTEGER system1;
    KeQuerySystemTime(&system1);
    EXPECT_GE(system1.QuadPart - system0.QuadPart, 5 * kSecond);

    EXPECT_EQ(Wait(&event, &interval), STATUS_TIMEOUT);
    const LARGE_INTEGER counter2 = KeQueryPerformanceCounter(nullptr);
    EXPECT_GE(counter2.QuadPart - counter0.QuadPart, 10 * kSecond);

    const auto [low1, high1] = originBounds();
    EXPECT_LE(std::max(low0, low1), std::min(high0, high1)) << "system time and counter drifted apart";
}

TEST_F(WaitTest, RaisingTheSpeedShortensAPendingKernelWait)
{
    auto waiter = std::async(std::launch::async, [this] {
        LARGE_INTEGER hour = Relative(3600 * kSecond);
        const int64_t start = Clock::Now();
        const NTSTATUS status = Wait(&event, &hour);
        return std::pair<NTSTATUS, int64_t>{status, Clock::Now() - start};
    });
    WaitForWaiters(&event, 1);
    Clock::SetSpeedFactor(1e6);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    const auto [status, waited] = waiter.get();
    EXPECT_EQ(status, STATUS_TIMEOUT);
    EXPECT_GE(waited, 3600 * kSecond);
}
