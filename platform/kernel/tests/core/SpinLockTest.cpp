// Spin locks: IRQL handling of each form, mutual exclusion under contention, and every misuse the
// lock word lets the stand-in catch.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Breaches.h"
#include "km/spinlock.h"
#include "standin/system.h"
#include "standin/verifier.h"

using testing::HasSubstr;

TEST(SpinLock, AcquireRaisesToDispatchAndReleaseGivesTheLevelBack)
{
    KSPIN_LOCK lock = 12345;
    KeInitializeSpinLock(&lock);
    EXPECT_EQ(lock, 0u);
    KIRQL old = 0xFF;
    KeAcquireSpinLock(&lock, &old);
    EXPECT_EQ(old, PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    EXPECT_NE(lock, 0u);
    EXPECT_EQ(standin::SpinLocksHeldByCurrentThread(), 1u);
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    EXPECT_EQ(lock, 0u);
    EXPECT_EQ(standin::SpinLocksHeldByCurrentThread(), 0u);

    KeRaiseIrql(APC_LEVEL, &old);
    const KIRQL fromApc = KeAcquireSpinLockRaiseToDpc(&lock);
    EXPECT_EQ(fromApc, APC_LEVEL);
    KeReleaseSpinLock(&lock, fromApc);
    EXPECT_EQ(KeGetCurrentIrql(), APC_LEVEL);
    KeLowerIrql(PASSIVE_LEVEL);
}

TEST(SpinLock, DpcLevelFormsLeaveTheLevelAlone)
{
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    KeAcquireSpinLockAtDpcLevel(&lock);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    EXPECT_NE(lock, 0u);
    KeReleaseSpinLockFromDpcLevel(&lock);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    EXPECT_EQ(lock, 0u);
    KeLowerIrql(old);
}

TEST(SpinLock, TryToAcquireNeverWaits)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    EXPECT_EQ(KeTryToAcquireSpinLockAtDpcLevel(&lock), TRUE);
    EXPECT_EQ(KeTryToAcquireSpinLockAtDpcLevel(&lock), FALSE); // held by this thread
    BOOLEAN other = TRUE;
    std::thread([&] {
        KIRQL o;
        KeRaiseIrql(DISPATCH_LEVEL, &o);
        other = KeTryToAcquireSpinLockAtDpcLevel(&lock);
        KeLowerIrql(o);
    }).join();
    EXPECT_EQ(other, FALSE);
    KeReleaseSpinLockFromDpcLevel(&lock);
    KeLowerIrql(old);
    EXPECT_TRUE(breaches.Take().empty());
}

TEST(SpinLock, ExcludesEveryOtherHolderUnderContention)
{
    constexpr int kThreads = 6;
    constexpr int kRounds = 20000;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    long counter = 0; // guarded by lock only
    int inside = 0;   // guarded by lock only
    int overlaps = 0; // guarded by lock only
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                KIRQL old;
                // Half the threads come in as DPC-level code, the others raise on the way in.
                if (t % 2) {
                    KeRaiseIrql(DISPATCH_LEVEL, &old);
                    KeAcquireSpinLockAtDpcLevel(&lock);
                } else {
                    KeAcquireSpinLock(&lock, &old);
                }
                if (inside++ != 0 || KeGetCurrentIrql() != DISPATCH_LEVEL)
                    ++overlaps;
                ++counter;
                --inside;
                if (t % 2) {
                    KeReleaseSpinLockFromDpcLevel(&lock);
                    KeLowerIrql(old);
                } else {
                    KeReleaseSpinLock(&lock, old);
                }
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, long(kThreads) * kRounds);
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(lock, 0u);
}

TEST(SpinLockMisuse, SecondAcquireByTheHolderIsReportedAndDoesNotHang)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL outer, inner;
    KeAcquireSpinLock(&lock, &outer);
    KeAcquireSpinLock(&lock, &inner);
    EXPECT_EQ(inner, DISPATCH_LEVEL);
    EXPECT_EQ(standin::SpinLocksHeldByCurrentThread(), 1u);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "spinlock");
    EXPECT_THAT(found[0].detail, HasSubstr("that this thread already holds (would deadlock)"));

    KeReleaseSpinLock(&lock, inner);
    EXPECT_EQ(lock, 0u);
    KeReleaseSpinLock(&lock, outer);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_THAT(found[0].detail, HasSubstr("KeReleaseSpinLock of the spin lock at 0x"));
    EXPECT_THAT(found[0].detail, HasSubstr("that nobody holds"));
}

TEST(SpinLockMisuse, ReleaseByAnotherThreadIsReportedAndLeavesTheLockHeld)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    const KSPIN_LOCK held = lock;
    std::thread([&] {
        KIRQL o;
        KeRaiseIrql(DISPATCH_LEVEL, &o);
        KeReleaseSpinLockFromDpcLevel(&lock);
        KeLowerIrql(o);
    }).join();
    EXPECT_EQ(lock, held);
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(lock, 0u);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "spinlock");
    EXPECT_THAT(found[0].detail, HasSubstr("KeReleaseSpinLockFromDpcLevel of the spin lock"));
    EXPECT_THAT(found[0].detail, HasSubstr(", not by the caller (thread #"));
}

TEST(SpinLockMisuse, ReleaseToAHigherLevelIsReportedAndKeepsTheLevel)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    KeReleaseSpinLock(&lock, PROFILE_LEVEL);
    EXPECT_EQ(lock, 0u);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    KeLowerIrql(old);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "irql");
    EXPECT_EQ(found[0].detail, "KeReleaseSpinLock to IRQL 27 above the current level 2");
}

TEST(SpinLockMisuse, AcquireAboveDispatchIsReportedAndKeepsTheLevel)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old, base;
    KeRaiseIrql(PROFILE_LEVEL, &base);
    KeAcquireSpinLock(&lock, &old);
    EXPECT_EQ(old, PROFILE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), PROFILE_LEVEL);
    EXPECT_NE(lock, 0u);
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(lock, 0u);
    KeLowerIrql(base);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "irql");
    EXPECT_EQ(found[0].detail, "KeAcquireSpinLock at IRQL 27 above DISPATCH_LEVEL");
}

TEST(SpinLockMisuse, DpcLevelFormsBelowDispatchAreReportedAndStillWork)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KeAcquireSpinLockAtDpcLevel(&lock);
    EXPECT_NE(lock, 0u);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    KeReleaseSpinLockFromDpcLevel(&lock);
    EXPECT_EQ(lock, 0u);
    EXPECT_EQ(KeTryToAcquireSpinLockAtDpcLevel(&lock), TRUE);
    KeReleaseSpinLockFromDpcLevel(&lock);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 4u);
    for (const auto& b : found)
        EXPECT_EQ(b.rule, "irql");
    EXPECT_EQ(found[0].detail, "KeAcquireSpinLockAtDpcLevel at IRQL 0 below DISPATCH_LEVEL");
    EXPECT_EQ(found[1].detail, "KeReleaseSpinLockFromDpcLevel at IRQL 0 below DISPATCH_LEVEL");
    EXPECT_EQ(found[2].detail, "KeTryToAcquireSpinLockAtDpcLevel at IRQL 0 below DISPATCH_LEVEL");
}

TEST(SpinLockMisuse, UninitialisedWordIsReportedAndTaken)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock = 0xCDCDCDCDCDCDCDCDull;
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    EXPECT_NE(lock, 0xCDCDCDCDCDCDCDCDull);
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(lock, 0u);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "spinlock");
    EXPECT_THAT(found[0].detail, HasSubstr("whose word 0xCDCDCDCDCDCDCDCD was never initialised"));
}

TEST(SpinLockMisuse, NullLockIsReportedAndTheLevelStillFollows)
{
    QuietBreaches breaches;
    KIRQL old;
    KeAcquireSpinLock(nullptr, &old);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    KeReleaseSpinLock(nullptr, old);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].detail, "KeAcquireSpinLock with a null lock pointer");
    EXPECT_EQ(found[1].detail, "KeReleaseSpinLock with a null lock pointer");
}

TEST(SpinLockMisuse, HolderThatEndsIsReportedAndAWaiterTakesOver)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    std::thread([&] {
        KIRQL o;
        KeAcquireSpinLock(&lock, &o);
    }).join();
    KIRQL old;
    KeAcquireSpinLock(&lock, &old); // would spin for ever without the holder check
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(lock, 0u);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].rule, "spinlock");
    EXPECT_THAT(found[0].detail, HasSubstr(" ended holding the spin lock at 0x"));
    EXPECT_THAT(found[1].detail, HasSubstr("KeAcquireSpinLock: thread #"));
    EXPECT_THAT(found[1].detail, HasSubstr("; taking it over"));
}

TEST(SpinLockMisuse, LockStillHeldAtTheCheckIsALeak)
{
    QuietBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "leak");
    EXPECT_THAT(found[0].detail, HasSubstr("spinlock: thread #"));
    EXPECT_THAT(found[0].detail, HasSubstr(" still holds the spin lock at 0x"));
}
