// KeWaitForMultipleObjects (which object satisfies a WaitAny, when a WaitAll is satisfied and what
// it takes, the argument checks) and the expiry of every kind of time-out at the timer tick.
#include "SyncTestSupport.h"

#include <future>

#include "km/irql.h"
#include "km/object.h"
#include "km/thread.h"
#include "km/status.h"
#include "km/time.h"

using namespace synctest;
using platform::Clock;

namespace {

NTSTATUS WaitMany(ULONG count, PVOID* objects, WAIT_TYPE type, LARGE_INTEGER* timeout,
                  KWAIT_BLOCK* blocks = nullptr)
{
    return KeWaitForMultipleObjects(count, objects, type, Executive, KernelMode, FALSE, timeout, blocks);
}

// Puts the timer resolution back however a test ends.
struct ResolutionRequest {
    explicit ResolutionRequest(ULONG units) { granted = ExSetTimerResolution(units, TRUE); }
    ~ResolutionRequest() { ExSetTimerResolution(0, FALSE); }
    ULONG granted;
};

class MultipleWaitTest : public ClockFixture {};

} // namespace

TEST_F(MultipleWaitTest, WaitAnyAnswersTheLowestSignalledIndexAndTakesOnlyIt)
{
    KEVENT terminate, stop, start;
    KeInitializeEvent(&terminate, SynchronizationEvent, FALSE);
    KeInitializeEvent(&stop, SynchronizationEvent, FALSE);
    KeInitializeEvent(&start, SynchronizationEvent, FALSE);
    PVOID objects[] = {&terminate, &stop, &start};
    KeSetEvent(&start, 0, FALSE);
    KeSetEvent(&stop, 0, FALSE);
    LARGE_INTEGER timeout = Relative(10 * kSecond);
    EXPECT_EQ(WaitMany(3, objects, WaitAny, &timeout), 0x1);
    EXPECT_EQ(KeReadStateEvent(&stop), 0);
    EXPECT_EQ(KeReadStateEvent(&start), 1) << "a WaitAny took more than the object that satisfied it";
    EXPECT_EQ(WaitMany(3, objects, WaitAny, &timeout), 0x2);
    EXPECT_EQ(KeReadStateEvent(&start), 0);
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(WaitMany(3, objects, WaitAny, &poll), STATUS_TIMEOUT);
}

TEST_F(MultipleWaitTest, ABlockedWaitAnyEndsWithTheObjectSignalledWhileItWaits)
{
    KEVENT first, second;
    KeInitializeEvent(&first, SynchronizationEvent, FALSE);
    KeInitializeEvent(&second, NotificationEvent, FALSE);
    PVOID objects[] = {&first, &second};
    auto waiter = std::async(std::launch::async, [&] {
        LARGE_INTEGER timeout = Relative(600 * kSecond);
        return WaitMany(2, objects, WaitAny, &timeout);
    });
    WaitForWaiters(&first, 1);
    WaitForWaiters(&second, 1);
    KeSetEvent(&second, 0, FALSE);
    EXPECT_EQ(waiter.get(), STATUS_WAIT_0 + 1);
    // The wait left both lists; a later signal of the first object stays signalled.
    EXPECT_EQ(standin::DispatcherWaiterCount(&first), 0u);
    EXPECT_EQ(standin::DispatcherWaiterCount(&second), 0u);
    KeSetEvent(&first, 0, FALSE);
    EXPECT_EQ(KeReadStateEvent(&first), 1);
}

TEST_F(MultipleWaitTest, WaitAllReturnsAfterTheOwnerReleasesAndOwnsTheMutex)
{
    KEVENT event;
    KMUTEX mutex;
    KeInitializeEvent(&event, SynchronizationEvent, TRUE);
    KeInitializeMutex(&mutex, 0);
    KEVENT owned, release;
    KeInitializeEvent(&owned, NotificationEvent, FALSE);
    KeInitializeEvent(&release, NotificationEvent, FALSE);
    std::thread owner([&] {
        EXPECT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
        KeSetEvent(&owned, 0, FALSE);
        KeWaitForSingleObject(&release, Executive, KernelMode, FALSE, nullptr);
        KeReleaseMutex(&mutex, FALSE);
    });
    KeWaitForSingleObject(&owned, Executive, KernelMode, FALSE, nullptr);
    PVOID objects[] = {&event, &mutex};

    // While the other thread owns the mutex the wait cannot be satisfied and takes nothing.
    LARGE_INTEGER shortWait = Relative(kMs);
    EXPECT_EQ(WaitMany(2, objects, WaitAll, &shortWait), 0x102);
    EXPECT_EQ(KeReadStateEvent(&event), 1) << "a timed-out WaitAll reset the event";

    std::thread releaser([&] {
        WaitForWaiters(&mutex, 1);
        EXPECT_EQ(KeReadStateEvent(&event), 1) << "the event was taken before the mutex came free";
        KeSetEvent(&release, 0, FALSE);
    });
    LARGE_INTEGER timeout = Relative(600 * kSecond);
    EXPECT_EQ(WaitMany(2, objects, WaitAll, &timeout), STATUS_SUCCESS);
    releaser.join();
    owner.join();
    EXPECT_EQ(KeReadStateEvent(&event), 0);
    EXPECT_EQ(mutex.OwnerThread, KeGetCurrentThread());
    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), 0);
}

TEST_F(MultipleWaitTest, WaitAllPassesOverToALaterWaitAnyWhileItCannotBeSatisfied)
{
    KEVENT shared, other;
    KeInitializeEvent(&shared, SynchronizationEvent, FALSE);
    KeInitializeEvent(&other, SynchronizationEvent, FALSE);
    PVOID both[] = {&shared, &other};
    auto all = std::async(std::launch::async, [&] {
        LARGE_INTEGER timeout = Relative(600 * kSecond);
        return WaitMany(2, both, WaitAll, &timeout);
    });
    WaitForWaiters(&shared, 1);
    auto any = std::async(std::launch::async, [&] {
        LARGE_INTEGER timeout = Relative(600 * kSecond);
        return KeWaitForSingleObject(&shared, Executive, KernelMode, FALSE, &timeout);
    });
    WaitForWaiters(&shared, 2);
    KeSetEvent(&shared, 0, FALSE); // the WaitAll, first in line, cannot use it alone
    EXPECT_EQ(any.get(), STATUS_SUCCESS);
    KeSetEvent(&other, 0, FALSE);
    KeSetEvent(&shared, 0, FALSE);
    EXPECT_EQ(all.get(), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(&shared), 0);
    EXPECT_EQ(KeReadStateEvent(&other), 0);
}

TEST_F(MultipleWaitTest, SixtyFourObjectsWithTheCallersWaitBlocks)
{
    std::vector<KEVENT> events(MAXIMUM_WAIT_OBJECTS);
    std::vector<PVOID> objects;
    for (auto& e : events) {
        KeInitializeEvent(&e, NotificationEvent, FALSE);
        objects.push_back(&e);
    }
    std::vector<KWAIT_BLOCK> blocks(MAXIMUM_WAIT_OBJECTS);
    auto waiter = std::async(std::launch::async, [&] {
        return WaitMany(MAXIMUM_WAIT_OBJECTS, objects.data(), WaitAny, nullptr, blocks.data());
    });
    WaitForWaiters(&events.back(), 1);
    KeSetEvent(&events.back(), 0, FALSE);
    EXPECT_EQ(waiter.get(), STATUS_WAIT_0 + 63);

    // A system thread's object among them (referenced, so that it outlives the thread): its end
    // satisfies the wait.
    KEVENT never;
    KeInitializeEvent(&never, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    ASSERT_EQ(PsCreateSystemThread(&handle, 0x1F03FF, nullptr, nullptr, nullptr, [](PVOID) {}, nullptr),
              STATUS_SUCCESS);
    PVOID thread = nullptr;
    ASSERT_EQ(ObReferenceObjectByHandle(handle, 0x1F03FF, *PsThreadType, KernelMode, &thread, nullptr),
              STATUS_SUCCESS);
    ZwClose(handle);
    PVOID mixed[] = {&never, thread};
    EXPECT_EQ(WaitMany(2, mixed, WaitAny, nullptr), STATUS_WAIT_0 + 1);
    ObDereferenceObject(thread);
}

TEST_F(MultipleWaitTest, BadArgumentsAreRefused)
{
    ExpectedBreaches breaches;
    KEVENT events[4];
    PVOID objects[4];
    for (int i = 0; i < 4; ++i) {
        KeInitializeEvent(&events[i], NotificationEvent, TRUE);
        objects[i] = &events[i];
    }
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(WaitMany(0, objects, WaitAny, &poll), STATUS_INVALID_PARAMETER);
    std::vector<PVOID> many(65, &events[0]);
    std::vector<KWAIT_BLOCK> blocks(65);
    EXPECT_EQ(WaitMany(65, many.data(), WaitAny, &poll, blocks.data()), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(WaitMany(4, objects, WaitAny, &poll), STATUS_INVALID_PARAMETER);
    PVOID twice[] = {&events[0], &events[1], &events[0]};
    EXPECT_EQ(WaitMany(3, twice, WaitAll, &poll), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>(4, "bad-argument"));
    EXPECT_EQ(KeReadStateEvent(&events[0]), 1);

    // The same object twice is allowed in a WaitAny; four objects with blocks of the caller's too.
    EXPECT_EQ(WaitMany(3, twice, WaitAny, &poll), STATUS_WAIT_0);
    KWAIT_BLOCK four[4];
    EXPECT_EQ(WaitMany(4, objects, WaitAll, &poll, four), STATUS_SUCCESS);

    alignas(KEVENT) unsigned char zeroed[sizeof(KEVENT)] = {};
    PVOID withJunk[] = {&events[0], zeroed};
    EXPECT_EQ(WaitMany(2, withJunk, WaitAny, &poll), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"bad-object"});
}

TEST_F(MultipleWaitTest, AtDispatchLevelOnlyAPollIsAllowed)
{
    ExpectedBreaches breaches;
    KEVENT a, b;
    KeInitializeEvent(&a, NotificationEvent, FALSE);
    KeInitializeEvent(&b, NotificationEvent, TRUE);
    PVOID objects[] = {&a, &b};
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(WaitMany(2, objects, WaitAny, &poll), STATUS_WAIT_0 + 1);
    EXPECT_EQ(WaitMany(2, objects, WaitAll, nullptr), STATUS_TIMEOUT);
    KeLowerIrql(old);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"wait-at-dispatch"});
}

TEST_F(MultipleWaitTest, TimeOutsExpireAtTheTimerTickInEffectAtTheWaitsStart)
{
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    auto checkTick = [](int64_t tick, int64_t requested) {
        const standin::TimedWait timing = standin::LastTimedWait();
        EXPECT_EQ(timing.resolution, static_cast<ULONG>(tick));
        EXPECT_EQ(timing.deadline, timing.start + requested);
        EXPECT_EQ(timing.expiry % tick, 0);
        EXPECT_GE(timing.expiry, timing.deadline);
        EXPECT_LT(timing.expiry - timing.deadline, tick);
        EXPECT_GE(Clock::Now(), timing.expiry) << "the wait ended before its tick";
    };
    LARGE_INTEGER micro = Relative(10);
    {
        ResolutionRequest fine(10000);
        ASSERT_EQ(fine.granted, 10000u);
        EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &micro), STATUS_TIMEOUT);
        checkTick(10000, 10);
        PVOID objects[] = {&event};
        EXPECT_EQ(WaitMany(1, objects, WaitAny, &micro), STATUS_TIMEOUT);
        checkTick(10000, 10);
        EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &micro), STATUS_SUCCESS);
        checkTick(10000, 10);
    }
    EXPECT_EQ(standin::CurrentTimerResolution(), STANDIN_DEFAULT_TIMER_RESOLUTION);
    Clock::SetSpeedFactor(20.0); // a default tick is 15.625 ms; a faster clock keeps the test short
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &micro), STATUS_TIMEOUT);
    checkTick(156250, 10);

    // An absolute time-out is rounded the same way; one already past only tests. Two seconds
    // ahead (100 ms of real time at this speed) it has not passed before the wait begins.
    LARGE_INTEGER system;
    KeQuerySystemTime(&system);
    LARGE_INTEGER absolute = Absolute(system.QuadPart + 2 * kSecond);
    EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &absolute), STATUS_SUCCESS);
    const standin::TimedWait timing = standin::LastTimedWait();
    EXPECT_EQ(timing.expiry % 156250, 0);
    EXPECT_GE(timing.expiry, timing.deadline);
    LARGE_INTEGER past = Absolute(system.QuadPart - kSecond);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &past), STATUS_TIMEOUT);
    EXPECT_EQ(standin::LastTimedWait().expiry, standin::LastTimedWait().deadline);
}

TEST_F(MultipleWaitTest, ASignalEndsAWaitBeforeItsTickAndAStallStaysExact)
{
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    std::thread setter([&] {
        WaitForWaiters(&event, 1);
        KeSetEvent(&event, 0, FALSE);
    });
    LARGE_INTEGER hour = Relative(3600 * kSecond);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &hour), STATUS_SUCCESS);
    setter.join();
    EXPECT_LT(Clock::Now(), standin::LastTimedWait().expiry);

    const int64_t before = Clock::Now();
    KeStallExecutionProcessor(10);
    const int64_t stalled = Clock::Now() - before;
    EXPECT_GE(stalled, 10 * platform::Clock::kUnitsPerMicrosecond);
    EXPECT_EQ(standin::LastStallMicroseconds(), 10u);
}
