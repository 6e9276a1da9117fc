// KeSynchronizeExecution and the interrupt spin lock keeping other code and the service routine
// apart, and their misuse.
#include "InterruptTestSupport.h"

using namespace inttest;

namespace {

struct Shared {
    int counter = 0; // plain on purpose: ThreadSanitizer sees any unserialised access
    std::atomic<bool> inRoutine{false};
    std::atomic<bool> inSynchronized{false};
    std::atomic<int> overlaps{0};
    std::atomic<KIRQL> synchronizedIrql{0xFF};
    int synchronizedCalls = 0;
};

BOOLEAN Synchronized(PVOID context)
{
    auto* shared = static_cast<Shared*>(context);
    shared->inSynchronized = true;
    if (shared->inRoutine)
        ++shared->overlaps;
    shared->synchronizedIrql = KeGetCurrentIrql();
    ++shared->counter;
    shared->inSynchronized = false;
    return ++shared->synchronizedCalls % 2 == 0 ? TRUE : FALSE;
}

} // namespace

TEST_F(InterruptTest, KeSynchronizeExecutionNeverOverlapsTheRoutine)
{
    Shared shared;
    Isr isr;
    isr.hook = [&] {
        shared.inRoutine = true;
        if (shared.inSynchronized)
            ++shared.overlaps;
        ++shared.counter;
        std::this_thread::yield(); // widen the window
        shared.inRoutine = false;
    };
    constexpr KIRQL kSynchronizeIrql = kDeviceIrql + 3;
    Connection connection = Connect(isr, 1, kCauseA, kSynchronizeIrql);
    std::jthread busy([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            Raise(kCauseA);
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    constexpr int kCalls = 2000;
    int evenResults = 0;
    for (int i = 0; i < kCalls; ++i) {
        const BOOLEAN result = KeSynchronizeExecution(connection.get(), Synchronized, &shared);
        EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
        evenResults += result;
    }
    ASSERT_TRUE(Eventually([&] { return isr.claims > 10; }));
    busy.request_stop();
    busy.join();
    ASSERT_TRUE(Eventually([&] { return !device.Line().IsAsserted(); }));
    connection.Disconnect();
    EXPECT_EQ(shared.overlaps, 0);
    EXPECT_EQ(shared.synchronizedIrql, kSynchronizeIrql);
    EXPECT_EQ(shared.counter, kCalls + isr.calls);
    EXPECT_EQ(evenResults, kCalls / 2); // the routine's result is passed back
}

TEST_F(InterruptTest, TheInterruptSpinLockHoldsOffTheRoutine)
{
    Isr isr;
    Connection connection = Connect(isr, 1, kCauseA, kDeviceIrql + 1);
    const KIRQL old = KeAcquireInterruptSpinLock(connection.get());
    EXPECT_EQ(old, PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), kDeviceIrql + 1);
    Raise(kCauseA);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(isr.calls, 0);
    KeReleaseInterruptSpinLock(connection.get(), old);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    EXPECT_TRUE(Eventually([&] { return isr.claims == 1; }));
}

TEST_F(InterruptTest, SynchronizationMisuseIsReported)
{
    ExpectedBreaches breaches;
    Shared shared;
    int notAnInterrupt = 0;
    auto* bogus = reinterpret_cast<PKINTERRUPT>(&notAnInterrupt);
    EXPECT_FALSE(KeSynchronizeExecution(bogus, Synchronized, &shared));
    EXPECT_EQ(KeAcquireInterruptSpinLock(bogus), PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    KeReleaseInterruptSpinLock(bogus, PASSIVE_LEVEL);
    EXPECT_EQ(shared.counter, 0);
    std::vector<std::string> details;
    for (const auto& breach : breaches.Take()) {
        EXPECT_EQ(breach.rule, "bad-object");
        details.push_back(breach.detail.substr(0, breach.detail.find(' ')));
    }
    EXPECT_EQ(details, (std::vector<std::string>{"KeSynchronizeExecution", "KeAcquireInterruptSpinLock",
                                                 "KeReleaseInterruptSpinLock"}));

    Isr isr;
    Connection connection = Connect(isr, 1, kCauseA);
    EXPECT_FALSE(KeSynchronizeExecution(connection.get(), nullptr, nullptr));
    KIRQL old;
    KeRaiseIrql(HIGH_LEVEL, &old); // above the interrupt's SynchronizeIrql: reported, runs where it is
    EXPECT_FALSE(KeSynchronizeExecution(connection.get(), Synchronized, &shared));
    EXPECT_EQ(shared.synchronizedIrql, HIGH_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), HIGH_LEVEL);
    KeLowerIrql(old);
    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].rule, "bad-argument");
    EXPECT_EQ(taken[1].rule, "irql");
    EXPECT_NE(taken[1].detail.find("at IRQL 31, above the interrupt's SynchronizeIrql 5"), std::string::npos);
}
