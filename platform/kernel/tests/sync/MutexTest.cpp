// Recursive kernel mutexes: ownership and release states, hand-over order, mutual exclusion,
// release by a non-owner, and a thread ending while it holds one.
#include "SyncTestSupport.h"

#include <mutex>

#include "km/object.h"
#include "km/status.h"
#include "km/thread.h"

using namespace synctest;

namespace {

NTSTATUS Acquire(KMUTEX* mutex, LARGE_INTEGER* timeout = nullptr)
{
    return KeWaitForSingleObject(mutex, Executive, KernelMode, FALSE, timeout);
}

NTSTATUS PollFromAnotherThread(KMUTEX* mutex)
{
    NTSTATUS status = -1;
    std::thread([&] {
        LARGE_INTEGER poll = Zero();
        status = Acquire(mutex, &poll);
        if (status == STATUS_SUCCESS)
            KeReleaseMutex(mutex, FALSE);
    }).join();
    return status;
}

} // namespace

TEST(Mutex, OwnerMayTakeItAgainAndEachReleaseReturnsThePreviousState)
{
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    EXPECT_EQ(mutex.Header.SignalState, 1);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Acquire(&mutex), STATUS_SUCCESS);
    EXPECT_EQ(mutex.OwnerThread, KeGetCurrentThread());
    EXPECT_EQ(PollFromAnotherThread(&mutex), STATUS_TIMEOUT);

    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), -2);
    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), -1);
    EXPECT_EQ(PollFromAnotherThread(&mutex), STATUS_TIMEOUT) << "still held once";
    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), 0);
    EXPECT_EQ(mutex.OwnerThread, nullptr);
    EXPECT_EQ(PollFromAnotherThread(&mutex), STATUS_SUCCESS);
}

TEST(Mutex, ReleasePassesItToWaitersInTheOrderTheyCame)
{
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    ASSERT_EQ(Acquire(&mutex), STATUS_SUCCESS);
    std::mutex orderLock;
    std::vector<int> order;
    auto contender = [&](int id) {
        return std::thread([&, id] {
            ASSERT_EQ(Acquire(&mutex), STATUS_SUCCESS);
            {
                std::lock_guard<std::mutex> hold(orderLock);
                order.push_back(id);
            }
            KeReleaseMutex(&mutex, FALSE);
        });
    };
    std::thread first = contender(1);
    WaitForWaiters(&mutex, 1);
    std::thread second = contender(2);
    WaitForWaiters(&mutex, 2);

    // Handed over at once to the first waiter, so the second cannot overtake it.
    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), 0);
    first.join();
    second.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(mutex.Header.SignalState, 1);
}

TEST(Mutex, ExcludesOtherThreadsUnderContention)
{
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    constexpr int kThreads = 6, kRounds = 300;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            for (int r = 0; r < kRounds; ++r) {
                ASSERT_EQ(Acquire(&mutex), STATUS_SUCCESS);
                ASSERT_EQ(Acquire(&mutex), STATUS_SUCCESS); // recursion inside the held region
                const long seen = counter;
                std::this_thread::yield();
                counter = seen + 1;
                KeReleaseMutex(&mutex, FALSE);
                KeReleaseMutex(&mutex, FALSE);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, kThreads * kRounds);
    EXPECT_EQ(mutex.Header.SignalState, 1);
}

TEST(Mutex, ReleaseByANonOwnerIsABreachAndReleasesNothing)
{
    ExpectedBreaches breaches;
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), 1); // free: nobody owns it
    EXPECT_EQ(mutex.Header.SignalState, 1);

    KEVENT held, release;
    KeInitializeEvent(&held, NotificationEvent, FALSE);
    KeInitializeEvent(&release, NotificationEvent, FALSE);
    std::thread owner([&] {
        ASSERT_EQ(Acquire(&mutex), STATUS_SUCCESS);
        KeSetEvent(&held, 0, FALSE);
        KeWaitForSingleObject(&release, Executive, KernelMode, FALSE, nullptr);
        KeReleaseMutex(&mutex, FALSE);
    });
    KeWaitForSingleObject(&held, Executive, KernelMode, FALSE, nullptr);
    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), 0);
    EXPECT_EQ(mutex.Header.SignalState, 0);
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(Acquire(&mutex, &poll), STATUS_TIMEOUT);
    KeSetEvent(&release, 0, FALSE);
    owner.join();

    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].rule, "mutex-not-owned");
    EXPECT_EQ(taken[1].rule, "mutex-not-owned");
    EXPECT_EQ(mutex.Header.SignalState, 1);

    alignas(KMUTEX) unsigned char zeroed[sizeof(KMUTEX)] = {};
    EXPECT_EQ(KeReleaseMutex(reinterpret_cast<PRKMUTEX>(zeroed), FALSE), 0);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"bad-object"});
}

TEST(Mutex, ReinitialisingAHeldMutexIsReportedAndLeavesIt)
{
    ExpectedBreaches breaches;
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    ASSERT_EQ(Acquire(&mutex), STATUS_SUCCESS);
    KeInitializeMutex(&mutex, 0);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"reinitialise"});
    EXPECT_EQ(mutex.OwnerThread, KeGetCurrentThread());
    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), 0);
}

namespace {
VOID TakeAndReturn(PVOID context)
{
    KeWaitForSingleObject(context, Executive, KernelMode, FALSE, nullptr);
}
} // namespace

TEST(Mutex, AThreadEndingWhileHoldingAMutexIsABreachAndFreesIt)
{
    ExpectedBreaches breaches;
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    HANDLE handle;
    ASSERT_EQ(PsCreateSystemThread(&handle, 0x1F03FF, nullptr, nullptr, nullptr, TakeAndReturn, &mutex),
              STATUS_SUCCESS);
    PVOID thread;
    ASSERT_EQ(ObReferenceObjectByHandle(handle, 0, *PsThreadType, KernelMode, &thread, nullptr),
              STATUS_SUCCESS);
    ZwClose(handle);
    EXPECT_EQ(KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    ObDereferenceObject(thread);

    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rule, "thread-exit-mutex");
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(Acquire(&mutex, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeReleaseMutex(&mutex, FALSE), 0);
}
