// An interrupt the fake device asserts reaching the connected routines on the line's interrupt thread:
// level, spin lock and order of the calls, repetition while the line stays up, unclaimed
// interrupts, DPCs queued by a routine, and routines that break the rules.
#include "InterruptTestSupport.h"

#include "km/dpc.h"
#include "platform/Clock.h"
#include "standin/system.h"

using namespace inttest;

TEST_F(InterruptTest, AnAssertionReachesTheRoutineOnTheInterruptThreadAtItsLevelUnderItsLock)
{
    Isr isr;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KSPIN_LOCK seen = 0;
    isr.hook = [&] { seen = __atomic_load_n(&lock, __ATOMIC_RELAXED); };
    Connection connection = Connect(isr, 1, kCauseA, kDeviceIrql + 2, &lock);
    Raise(kCauseA);
    ASSERT_TRUE(Eventually([&] { return isr.claims == 1; }));
    EXPECT_TRUE(Eventually([&] { return !device.Line().IsAsserted(); }));
    EXPECT_EQ(device.Status(), 0u);
    EXPECT_EQ(isr.calls, 1);
    EXPECT_EQ(isr.irql, kDeviceIrql + 2); // the connection's SynchronizeIrql
    EXPECT_NE(isr.thread.load(), std::this_thread::get_id());
    EXPECT_EQ(isr.spinLocksHeld, 1u);
    EXPECT_NE(seen, 0u) << "the caller's spin lock was not held";
    EXPECT_TRUE(Eventually([&] { return __atomic_load_n(&lock, __ATOMIC_RELAXED) == 0; })); // given back
}

TEST_F(InterruptTest, ARoutineThatDoesNotClaimPassesItOnAndEachCauseGetsARound)
{
    Isr a, b;
    Connection first = Connect(a, 1, kCauseA);
    Connection second = Connect(b, 2, kCauseB);
    Raise(kCauseB);
    ASSERT_TRUE(Eventually([&] { return b.claims == 1; }));
    EXPECT_EQ(Log(), (std::vector<int>{1, 2}));
    EXPECT_EQ(a.thread.load(), b.thread.load());

    // Both causes at once: the first round ends with A's claim, the line stays up for B's cause, and
    // the next round starts from the first connection again.
    Raise(kCauseA | kCauseB);
    ASSERT_TRUE(Eventually([&] { return b.claims == 2; }));
    EXPECT_EQ(Log(), (std::vector<int>{1, 2, 1, 1, 2}));
    EXPECT_EQ(a.claims, 1);
}

TEST_F(InterruptTest, TheRoutinesAreCalledAgainWhileTheLineStaysAsserted)
{
    // Claims at every call but acknowledges the cause in the device only at the third.
    struct Late {
        PULONG status;
        std::atomic<int> calls{0};
    } late{StatusRegister()};
    auto claimLate = [](PKINTERRUPT, PVOID context) -> BOOLEAN {
        auto* l = static_cast<Late*>(context);
        if (++l->calls == 3)
            WRITE_REGISTER_ULONG(l->status, kCauseA);
        return TRUE;
    };
    Connection connection = ConnectRoutine(claimLate, &late);
    Raise(kCauseA);
    ASSERT_TRUE(Eventually([&] { return !device.Line().IsAsserted(); }));
    connection.Disconnect(); // no call can follow
    EXPECT_EQ(late.calls, 3);
    EXPECT_EQ(device.Line().AssertionCount(), 1u);
}

TEST_F(InterruptTest, AnUnclaimedInterruptIsReportedOnceAndRetriedAfterAPause)
{
    ExpectedBreaches breaches;
    Isr a;
    std::atomic<int64_t> firstCall{0}, secondCall{0};
    a.hook = [&] {
        const int64_t now = platform::Clock::Now();
        if (a.calls == 0)
            firstCall = now;
        else if (a.calls == 1)
            secondCall = now;
    };
    Connection first = Connect(a, 1, kCauseA);
    Raise(kCauseB); // a cause nobody connected yet owns
    ASSERT_TRUE(Eventually([&] { return a.calls >= 3; }));
    EXPECT_GE(secondCall - firstCall, platform::Clock::kUnitsPerMillisecond);
    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rule, "interrupt");
    EXPECT_EQ(taken[0].detail.rfind(
                  "vector 0x51 stays asserted and none of its 1 connected routine(s) claimed it", 0),
              0u);

    // The routine that owns the cause connects late and gets it.
    Isr b;
    Connection second = Connect(b, 2, kCauseB);
    ASSERT_TRUE(Eventually([&] { return b.claims == 1; }));
    EXPECT_TRUE(Eventually([&] { return !device.Line().IsAsserted(); }));
    EXPECT_TRUE(breaches.Take().empty());
}

namespace {
struct DpcSeen {
    KDPC dpc;
    std::atomic<bool> ran{false};
    std::atomic<KIRQL> irql{0xFF};
    std::atomic<std::thread::id> thread{};
};

VOID NoteDpc(KDPC*, PVOID context, PVOID, PVOID)
{
    auto* seen = static_cast<DpcSeen*>(context);
    seen->irql = KeGetCurrentIrql();
    seen->thread = std::this_thread::get_id();
    seen->ran = true;
}
} // namespace

TEST_F(InterruptTest, ADpcQueuedByTheRoutineRunsOnTheDpcThreadAtDispatchLevel)
{
    DpcSeen seen;
    KeInitializeDpc(&seen.dpc, NoteDpc, &seen);
    Isr isr;
    std::atomic<bool> queued{false};
    isr.hook = [&] { queued = KeInsertQueueDpc(&seen.dpc, nullptr, nullptr); };
    Connection connection = Connect(isr, 1, kCauseA);
    Raise(kCauseA);
    ASSERT_TRUE(Eventually([&] { return isr.claims == 1; }));
    KeFlushQueuedDpcs();
    EXPECT_TRUE(queued);
    ASSERT_TRUE(seen.ran);
    EXPECT_EQ(seen.irql, DISPATCH_LEVEL);
    EXPECT_NE(seen.thread.load(), isr.thread.load());
    EXPECT_NE(seen.thread.load(), std::this_thread::get_id());
}

TEST_F(InterruptTest, RoutinesThatThrowOrChangeTheLevelAreReportedAndServiceGoesOn)
{
    ExpectedBreaches breaches;
    Isr isr;
    std::atomic<int> calls{0};
    isr.hook = [&] {
        const int call = calls++;
        if (call == 0)
            throw std::runtime_error("device fault");
        if (call == 1)
            KeLowerIrql(DISPATCH_LEVEL);
    };
    Connection connection = Connect(isr, 1, kCauseA);
    Raise(kCauseA); // the first call throws and leaves the cause set: unclaimed, called again
    ASSERT_TRUE(Eventually([&] { return isr.claims == 1; }));
    Raise(kCauseA);
    ASSERT_TRUE(Eventually([&] { return isr.claims == 2; }));
    EXPECT_EQ(isr.irql, kDeviceIrql); // put back after the second call
    std::vector<std::string> rules;
    for (const auto& breach : breaches.Take())
        rules.push_back(breach.rule);
    EXPECT_EQ(rules, (std::vector<std::string>{"unhandled-exception", "interrupt", "irql"}));
}

TEST_F(InterruptTest, EachLineHasAThreadOfItsOwn)
{
    // A second line, as another device would register it.
    constexpr ULONG kOtherVector = FakeDevice::kVector + 1;
    auto other = std::make_shared<platform::InterruptLine>();
    ASSERT_EQ(platform::Bus::Instance().Interrupts().Register(kOtherVector, other), platform::BusStatus::Ok);
    struct Blocked {
        platform::InterruptLine* line;
        std::atomic<bool> entered{false};
        std::atomic<bool> release{false};
        ~Blocked() { platform::Bus::Instance().Interrupts().Unregister(kOtherVector); }
    } blocked{other.get()};
    auto holdLine = [](PKINTERRUPT, PVOID context) -> BOOLEAN {
        auto* b = static_cast<Blocked*>(context);
        b->entered = true;
        while (!b->release)
            std::this_thread::yield();
        b->line->Release();
        return TRUE;
    };
    Connection slow =
        ConnectRoutine(holdLine, &blocked, kOtherVector, kDeviceIrql + 1, kDeviceIrql + 1, FALSE);
    struct Open {
        Blocked& b;
        ~Open() { b.release = true; } // before the disconnection waits for the routine
    } open{blocked};
    Isr isr;
    Connection connection = Connect(isr, 1, kCauseA);
    EXPECT_EQ(standin::InterruptThreadCount(), 2u);
    other->Assert();
    ASSERT_TRUE(Eventually([&] { return blocked.entered.load(); }));
    Raise(kCauseA); // served while the other line's routine is still busy
    EXPECT_TRUE(Eventually([&] { return isr.claims == 1; }));
    blocked.release = true;
    slow.Disconnect();
    EXPECT_FALSE(other->IsAsserted());
    EXPECT_EQ(standin::InterruptThreadCount(), 1u);
}
