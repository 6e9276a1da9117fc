// KPLXFastLock: recursion per thread, release only by the holder, the misuse report of a foreign
// unlock, contention lines while waiting (also past the try budget) and while the guard is busy,
// destruction of free and held locks, the cut function name, and mutual exclusion under load.
#include "TraceTestSupport.h"

#include <atomic>
#include <regex>

#include "kplxfastlock.h"
#include "km/interlocked.h"
#include "km/thread.h"
#include "platform/Clock.h"
#include "standin/eventlog.h"

class KPLXFastLockTestPeer {
public:
    static void HoldGuard(KPLXFastLock& lock) { ASSERT_TRUE(lock.TryTakeGuard()); }
    static void ReleaseGuard(KPLXFastLock& lock) { lock.GiveBackGuard(); }
};

namespace {

using tracetest::TraceTest;
using tracetest::WaitUntil;

int lockerA;
int lockerB;

class LockTest : public TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        logger->SetTraceMask(kTraceAlways | kTraceErrors | kTraceLocks);
    }
    void TearDown() override
    {
        platform::Clock::SetSpeedFactor(1.0);
        TraceTest::TearDown();
    }
};

TEST_F(LockTest, HolderTakesItAgainAndOtherThreadWaitsForTheLastUnlock)
{
    KPLXFastLock lock;
    lock.Lock(&lockerA, "Holder::Run", 10);
    lock.Lock(&lockerA, "Holder::Run", 11);
    lock.Lock(&lockerA, "Holder::Run", 12);
    EXPECT_EQ(lock.GetHolder().recursionCount, 3u);

    std::atomic<bool> gotIt{false};
    std::thread waiter([&] {
        lock.Lock(&lockerB, "Waiter::Run", 20);
        gotIt = true;
        lock.Unlock(&lockerB);
    });
    lock.Unlock(&lockerA);
    lock.Unlock(&lockerA);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(gotIt);
    const auto holder = lock.GetHolder();
    EXPECT_EQ(holder.recursionCount, 1u);
    EXPECT_STREQ(holder.functionName, "Holder::Run");
    EXPECT_EQ(holder.line, 10); // the first Lock recorded the holder; re-entry does not
    lock.Unlock(&lockerA);
    waiter.join();
    EXPECT_TRUE(gotIt);
    const auto after = lock.GetHolder();
    EXPECT_EQ(after.ownerThread, nullptr);
    EXPECT_EQ(after.recursionCount, 0u);
    EXPECT_EQ(after.locker, 0u);
    EXPECT_STREQ(after.functionName, "");
}

TEST_F(LockTest, UnlockByAnotherThreadChangesNothingAndIsReported)
{
    KPLXFastLock lock;
    lock.Lock(&lockerA, "Holder::Run", 10);
    std::thread other([&] { lock.Unlock(&lockerB); });
    other.join();
    const auto holder = lock.GetHolder();
    EXPECT_EQ(holder.ownerThread, static_cast<PVOID>(KeGetCurrentThread()));
    EXPECT_EQ(holder.recursionCount, 1u);
    EXPECT_STREQ(holder.functionName, "Holder::Run");
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].messageId, 0xC0071017u);
    char b[16], a[16];
    snprintf(b, sizeof(b), "%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(&lockerB)));
    snprintf(a, sizeof(a), "%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(&lockerA)));
    ASSERT_EQ(entries[0].inserts.size(), 2u);
    EXPECT_EQ(std::string(entries[0].inserts[0].begin(), entries[0].inserts[0].end()), std::string(b));
    EXPECT_EQ(std::string(entries[0].inserts[1].begin(), entries[0].inserts[1].end()), std::string(a));
    EXPECT_EQ(DebugLinesWith("Unlock requested by 0x").size(), 1u);
    lock.Unlock(&lockerA);
}

TEST_F(LockTest, WaiterReportsContentionEveryThousandTriesAndWaitsPastTheBudget)
{
    platform::Clock::SetSpeedFactor(1000.0); // the 10-microsecond sleeps are not what is measured
    KPLXFastLock lock(2000, KPLXFastLock::kDefaultSleepInterval);
    lock.Lock(&lockerA, "Holder::Run", 10);
    std::atomic<bool> gotIt{false};
    std::thread waiter([&] {
        lock.Lock(&lockerB, "Waiter::Run", 20);
        gotIt = true;
        lock.Unlock(&lockerB);
    });
    // Five lines are 5,000 failed tries: two and a half times the budget of 2,000.
    ASSERT_TRUE(WaitUntil([] { return DebugLinesWith("Requester=").size() >= 5; }));
    EXPECT_FALSE(gotIt);
    const auto lines = DebugLinesWith("Requester=");
    const std::regex format(
        R"( L \S+ KPLXFastLock::Lock: Locker=0x[0-9a-f]{8} Holder::Run line=10 thread=[0-9a-f]{4,8}\. Requester=0x[0-9a-f]{8} Waiter::Run line=20 thread=[0-9a-f]{8}\n$)");
    EXPECT_TRUE(std::regex_search(lines[0], format)) << lines[0];
    lock.Unlock(&lockerA);
    waiter.join();
    EXPECT_TRUE(gotIt);
}

TEST_F(LockTest, UnlockWaitingForTheGuardReportsEveryHundredTries)
{
    platform::Clock::SetSpeedFactor(1000.0);
    KPLXFastLock lock;
    std::atomic<bool> holding{false};
    std::atomic<bool> done{false};
    std::thread holder([&] {
        lock.Lock(&lockerA, "Holder::Run", 10);
        KPLXFastLockTestPeer::HoldGuard(lock);
        holding = true;
        EXPECT_TRUE(WaitUntil([] { return DebugLinesWith("Unlock: Failed to get lock.").size() >= 2; }));
        KPLXFastLockTestPeer::ReleaseGuard(lock);
        EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
        lock.Unlock(&lockerA);
    });
    ASSERT_TRUE(WaitUntil([&] { return holding.load(); }));
    // This thread waits for the guard, reporting, and is then refused: it does not hold the lock.
    lock.Unlock(&lockerB);
    done = true;
    holder.join();
    const auto lines = DebugLinesWith("Unlock: Failed to get lock.");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" Holder::Run line=10 thread="), std::string::npos) << lines[0];
    EXPECT_EQ(standin::EventLogCount(), 1u);
    EXPECT_EQ(lock.GetHolder().ownerThread, nullptr);
}

TEST_F(LockTest, DestroyingFreeAndHeldLocks)
{
    { KPLXFastLock lock; }
    EXPECT_EQ(standin::EventLogCount(), 0u);

    auto* held = new KPLXFastLock;
    held->Lock(&lockerA, "Holder::Run", 1);
    std::thread other([&] { delete held; }); // one level released on the holder's behalf: refused here
    other.join();
    ASSERT_EQ(standin::EventLogCount(), 1u);
    EXPECT_EQ(standin::EventLogEntries()[0].messageId, 0xC0071017u);

    // On the holder's own thread the release is accepted: no report.
    auto* own = new KPLXFastLock;
    own->Lock(&lockerA, "Holder::Run", 1);
    delete own;
    EXPECT_EQ(standin::EventLogCount(), 1u);
}

TEST_F(LockTest, LongFunctionNameIsCutToFit)
{
    KPLXFastLock lock;
    const std::string name(300, 'f');
    lock.Lock(&lockerA, name.c_str(), 1);
    EXPECT_EQ(std::string(lock.GetHolder().functionName), std::string(259, 'f'));
    lock.Unlock(&lockerA);
}

TEST_F(LockTest, StackLocksExcludeEachOther)
{
    logger->SetTraceMask(kTraceAlways | kTraceLocksEnter | kTraceLocksExit);
    KPLXFastLock lock;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                KPLXFastStackLock hold(&lock, &lockerA, "Worker::Run", 5);
                KPLXFastStackLock again(&lock, &lockerA, "Worker::Run", 6);
                const long seen = counter;
                counter = seen + 1;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 800);
    EXPECT_EQ(lock.GetHolder().ownerThread, nullptr);
    EXPECT_FALSE(DebugLinesWith("KPLXFastStackLock: pKPLXFastLock=0x").empty());
    EXPECT_FALSE(DebugLinesWith("KPLXFastLock::Lock: pLocker=0x").empty());
}

} // namespace
