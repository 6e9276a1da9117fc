// Events: notification and synchronization semantics, returned states, auto-reset under
// contention, and misuse caught by the verifier.
#include "SyncTestSupport.h"

#include <array>
#include <atomic>
#include <cstring>

#include "km/status.h"
#include "standin/system.h"

using namespace synctest;

TEST(Event, NotificationEventReleasesEveryWaiterAndStaysSignalled)
{
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    std::array<NTSTATUS, 3> results{-1, -1, -1};
    std::vector<std::thread> waiters;
    for (auto& result : results)
        waiters.emplace_back([&event, &result] {
            result = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
        });
    WaitForWaiters(&event, 3);
    EXPECT_EQ(KeSetEvent(&event, 0, FALSE), 0);
    EXPECT_EQ(standin::DispatcherWaiterCount(&event), 0u);
    for (auto& t : waiters)
        t.join();
    for (NTSTATUS r : results)
        EXPECT_EQ(r, STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(&event), 1);
    EXPECT_EQ(KeSetEvent(&event, 0, FALSE), 1);

    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(&event), 1) << "a satisfied wait leaves a notification event signalled";
    EXPECT_EQ(KeResetEvent(&event), 1);
    EXPECT_EQ(KeResetEvent(&event), 0);
    KeSetEvent(&event, 0, FALSE);
    KeClearEvent(&event);
    EXPECT_EQ(KeReadStateEvent(&event), 0);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &poll), STATUS_TIMEOUT);
}

TEST(Event, SynchronizationEventReleasesExactlyOneWaiterPerSignal)
{
    KEVENT event;
    KeInitializeEvent(&event, SynchronizationEvent, FALSE);
    constexpr size_t kWaiters = 4;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (size_t i = 0; i < kWaiters; ++i)
        waiters.emplace_back([&] {
            if (KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr) == STATUS_SUCCESS)
                ++released;
        });
    WaitForWaiters(&event, kWaiters);
    for (size_t left = kWaiters; left > 0; --left) {
        // The signal goes to one parked waiter; the event itself never shows signalled.
        EXPECT_EQ(KeSetEvent(&event, 0, FALSE), 0);
        EXPECT_EQ(KeReadStateEvent(&event), 0);
        EXPECT_EQ(standin::DispatcherWaiterCount(&event), left - 1);
    }
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released, static_cast<int>(kWaiters));
    EXPECT_EQ(KeReadStateEvent(&event), 0);

    // Set with nobody waiting, it stays signalled until one wait takes it.
    KeInitializeEvent(&event, SynchronizationEvent, TRUE);
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(&event), 0);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &poll), STATUS_TIMEOUT);
}

TEST(Event, SynchronizationEventAdmitsOneThreadAtATimeUnderContention)
{
    // Used as a lock: if a signal ever let two threads through, the unguarded counter would lose
    // updates (and ThreadSanitizer would report the race).
    KEVENT gate;
    KeInitializeEvent(&gate, SynchronizationEvent, TRUE);
    constexpr int kThreads = 6, kRounds = 300;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            for (int r = 0; r < kRounds; ++r) {
                ASSERT_EQ(KeWaitForSingleObject(&gate, Executive, KernelMode, FALSE, nullptr),
                          STATUS_SUCCESS);
                const long seen = counter;
                std::this_thread::yield();
                counter = seen + 1;
                KeSetEvent(&gate, 0, FALSE);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, kThreads * kRounds);
    EXPECT_EQ(KeReadStateEvent(&gate), 1);
}

TEST(Event, MisuseIsReportedAndChangesNothing)
{
    ExpectedBreaches breaches;
    alignas(KEVENT) unsigned char zeroed[sizeof(KEVENT)] = {};
    auto* notAnEvent = reinterpret_cast<PRKEVENT>(zeroed);
    EXPECT_EQ(KeSetEvent(notAnEvent, 0, FALSE), 0);
    EXPECT_EQ(KeReadStateEvent(notAnEvent), 0);
    EXPECT_EQ(breaches.Rules(), (std::vector<std::string>{"bad-object", "bad-object"}));
    unsigned char untouched[sizeof(KEVENT)] = {};
    EXPECT_EQ(std::memcmp(zeroed, untouched, sizeof zeroed), 0);

    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    EXPECT_EQ(KeSetEvent(reinterpret_cast<PRKEVENT>(&mutex), 0, FALSE), 0);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"bad-object"});

    KEVENT event;
    KeInitializeEvent(&event, static_cast<EVENT_TYPE>(7), FALSE);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"bad-argument"});
}

TEST(Event, ReinitialisingWhileWaitedOnIsReportedAndKeepsTheWaiter)
{
    ExpectedBreaches breaches;
    KEVENT event;
    KeInitializeEvent(&event, SynchronizationEvent, FALSE);
    NTSTATUS result = -1;
    std::thread waiter(
        [&] { result = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr); });
    WaitForWaiters(&event, 1);
    KeInitializeEvent(&event, NotificationEvent, TRUE);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"reinitialise"});
    EXPECT_EQ(KeReadStateEvent(&event), 0);
    KeSetEvent(&event, 0, FALSE);
    waiter.join();
    EXPECT_EQ(result, STATUS_SUCCESS);
}

TEST(Event, StaleMemoryThatLooksLikeAWaitedEventStillInitialises)
{
    // A stack slot that once held an initialised event and was written over since: the header's
    // signature survives and its wait list points anywhere. Nobody waits on it, so it must initialise.
    KEVENT first;
    KeInitializeEvent(&first, NotificationEvent, FALSE);
    alignas(KEVENT) unsigned char slot[sizeof(KEVENT)];
    std::memcpy(slot, &first, sizeof first);
    auto* stale = reinterpret_cast<KEVENT*>(slot);
    stale->Header.WaitListFirst = &first; // any non-null garbage
    stale->Header.WaitListLast = &first;
    KeInitializeEvent(stale, NotificationEvent, FALSE);
    EXPECT_EQ(standin::DispatcherWaiterCount(stale), 0u);
    KeSetEvent(stale, 0, FALSE);
    EXPECT_EQ(KeReadStateEvent(stale), 1);
}
