// Waits on events and threads through the Win32 calls.
#include "SyncTestSupport.h"

#include <vector>

namespace {

using usertest::WaitForWaiters;

constexpr int64_t kMs = platform::Clock::kUnitsPerMillisecond;

HANDLE Event(BOOL manual, BOOL signalled)
{
    HANDLE event = CreateEventW(nullptr, manual, signalled, nullptr);
    EXPECT_NE(event, nullptr);
    return event;
}

TEST(WaitForMultipleObjects, AnyOneReturnsItsIndex)
{
    HANDLE events[2] = {Event(FALSE, FALSE), Event(FALSE, FALSE)};
    ASSERT_TRUE(SetEvent(events[1]));
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    // The auto-reset event was taken by the wait.
    EXPECT_EQ(WaitForSingleObject(events[1], 0), DWORD(WAIT_TIMEOUT));
    // Both signalled: the lowest index wins and only it is taken.
    SetEvent(events[0]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    for (HANDLE e : events)
        CloseHandle(e);
}

TEST(WaitForMultipleObjects, TimeOutExpiresAtTheTickNotBefore)
{
    usertest::ClockSpeed fast(4.0);
    HANDLE events[2] = {Event(TRUE, FALSE), Event(TRUE, FALSE)};
    const int64_t before = platform::Clock::Now();
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 50), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 50), 258u);
    const standin::TimedWait timing = standin::LastTimedWait();
    EXPECT_GE(platform::Clock::Now() - before, 2 * 50 * kMs);
    EXPECT_GE(timing.expiry - timing.start, 50 * kMs);
    EXPECT_EQ(timing.expiry % timing.resolution, 0);
    // The single wait on a thread or an event keeps the same rule.
    EXPECT_EQ(WaitForSingleObject(events[0], 20), DWORD(WAIT_TIMEOUT));
    EXPECT_GE(standin::LastTimedWait().expiry - standin::LastTimedWait().start, 20 * kMs);
    for (HANDLE e : events)
        CloseHandle(e);
}

TEST(WaitForMultipleObjects, ASignalFromAnotherThreadEndsTheWait)
{
    HANDLE events[3] = {Event(FALSE, FALSE), Event(FALSE, FALSE), Event(FALSE, FALSE)};
    std::thread setter([&] {
        ASSERT_TRUE(WaitForWaiters(events[2], 1));
        SetEvent(events[2]);
    });
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    setter.join();
    for (HANDLE e : events)
        CloseHandle(e);
}

TEST(WaitForMultipleObjects, BadArguments)
{
    HANDLE events[2] = {Event(TRUE, TRUE), Event(TRUE, FALSE)};
    HANDLE closed = Event(TRUE, TRUE);
    CloseHandle(closed);
    HANDLE withClosed[2] = {events[0], closed};
    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(2, withClosed, FALSE, 0), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), 6u);
    EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(0, events, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(65, events, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(2, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    // A failed wait took nothing: the signalled manual event stays so.
    EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_OBJECT_0);
    for (HANDLE e : events)
        CloseHandle(e);
}

TEST(WaitForMultipleObjects, SixtyFourObjectsTheLastSignalled)
{
    std::vector<HANDLE> events;
    for (int i = 0; i < 64; ++i)
        events.push_back(Event(TRUE, FALSE));
    SetEvent(events[63]);
    EXPECT_EQ(WaitForMultipleObjects(64, events.data(), FALSE, 0), WAIT_OBJECT_0 + 63);
    for (HANDLE e : events)
        CloseHandle(e);
}

TEST(Sleep, RunsOnTheMachinesClock)
{
    usertest::ClockSpeed fast(4.0);
    const int64_t before = platform::Clock::Now();
    Sleep(30);
    EXPECT_GE(platform::Clock::Now() - before, 30 * kMs);
    Sleep(0);
}

} // namespace
