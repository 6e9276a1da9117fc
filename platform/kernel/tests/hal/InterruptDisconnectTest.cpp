// Disconnection: waiting for a routine under way, no call afterwards, during a burst of interrupts,
// and the cases where waiting would never end.
#include "InterruptTestSupport.h"
#include "standin/system.h"

using namespace inttest;

namespace {

// Keeps raising a cause of the fake device from a thread of its own, as a busy device would.
class Burst {
public:
    Burst(PUCHAR regs, ULONG causes)
        : thread_([regs, causes](std::stop_token stop) {
              auto* raise = reinterpret_cast<PULONG>(regs + FakeDevice::kRaise);
              while (!stop.stop_requested()) {
                  WRITE_REGISTER_ULONG(raise, causes);
                  std::this_thread::sleep_for(std::chrono::microseconds(50));
              }
          })
    {
    }

private:
    std::jthread thread_;
};

} // namespace

TEST_F(InterruptTest, DisconnectDuringABurstWaitsForTheRoutineAndNoCallFollows)
{
    // `slow` comes first on the vector and takes a while over every interrupt it is shown, which
    // belongs to `fast`.
    Isr slow, fast;
    std::atomic<bool> hold{false}, entered{false}, release{false}, exited{false};
    slow.hook = [&] {
        if (!hold.exchange(false))
            return;
        entered = true;
        while (!release)
            std::this_thread::yield();
        exited = true;
    };
    Connection first = Connect(slow, 1, kCauseA);
    Connection second = Connect(fast, 2, kCauseB);
    Burst burst(regs, kCauseB);
    ASSERT_TRUE(Eventually([&] { return fast.claims > 10; }));

    hold = true;
    ASSERT_TRUE(Eventually([&] { return entered.load(); }));
    std::atomic<bool> disconnected{false};
    std::atomic<bool> routineEndedFirst{false};
    std::thread disconnecting([&] {
        first.Disconnect();
        routineEndedFirst = exited.load();
        disconnected = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(disconnected);
    release = true;
    disconnecting.join();
    EXPECT_TRUE(routineEndedFirst);

    // The other connection goes on being served; the disconnected routine is never called again.
    const int slowCalls = slow.calls;
    const int fastClaims = fast.claims;
    ASSERT_TRUE(Eventually([&] { return fast.claims > fastClaims + 10; }));
    EXPECT_EQ(slow.calls, slowCalls);

    // The last connection goes while the device keeps interrupting: its thread stops.
    second.Disconnect();
    EXPECT_EQ(standin::InterruptThreadCount(), 0u);
    const int fastCalls = fast.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(fast.calls, fastCalls);
}

TEST_F(InterruptTest, ARoutineCannotDisconnectItself)
{
    ExpectedBreaches breaches;
    Isr isr;
    PKINTERRUPT self = nullptr;
    isr.hook = [&] {
        if (isr.calls == 0)
            IoDisconnectInterrupt(self);
    };
    Connection connection = Connect(isr, 1, kCauseA);
    self = connection.get();
    Raise(kCauseA);
    ASSERT_TRUE(Eventually([&] { return isr.claims == 1; }));
    Raise(kCauseA); // still connected
    ASSERT_TRUE(Eventually([&] { return isr.claims == 2; }));
    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rule, "irql");
    EXPECT_NE(
        taken[0].detail.find("on the interrupt thread of its own line, which would wait for itself; it stays "
                             "connected"),
        std::string::npos);
}

TEST_F(InterruptTest, DisconnectWhileHoldingTheRoutinesLockDoesNotWaitForACallThatCannotBegin)
{
    ExpectedBreaches breaches;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    Isr isr;
    Connection connection = Connect(isr, 1, kCauseA, kDeviceIrql, &lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    Raise(kCauseA);
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the interrupt thread spins for the lock
    connection.Disconnect();
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(isr.calls, 0);
    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rule, "irql");
    EXPECT_EQ(taken[0].detail, "IoDisconnectInterrupt at IRQL 2");
}

TEST_F(InterruptTest, AConnectionKeepsTheLineItFoundWhenTheVectorGetsANewOne)
{
    constexpr ULONG kVector = 0x60;
    auto& lines = platform::Bus::Instance().Interrupts();
    struct Seen {
        platform::InterruptLine* line;
        std::atomic<int> calls{0};
    };
    auto claim = [](PKINTERRUPT, PVOID context) -> BOOLEAN {
        auto* seen = static_cast<Seen*>(context);
        ++seen->calls;
        seen->line->Release();
        return TRUE;
    };
    auto oldLine = std::make_shared<platform::InterruptLine>();
    auto newLine = std::make_shared<platform::InterruptLine>();
    Seen onOld{oldLine.get()}, onNew{newLine.get()};
    ASSERT_EQ(lines.Register(kVector, oldLine), platform::BusStatus::Ok);
    Connection first = ConnectRoutine(claim, &onOld, kVector, kDeviceIrql, kDeviceIrql, FALSE);
    lines.Unregister(kVector); // the model went, and a new one took the vector
    ASSERT_EQ(lines.Register(kVector, newLine), platform::BusStatus::Ok);
    Connection second = ConnectRoutine(claim, &onNew, kVector, kDeviceIrql, kDeviceIrql, FALSE);
    EXPECT_EQ(standin::InterruptThreadCount(), 2u);
    oldLine->Assert();
    ASSERT_TRUE(Eventually([&] { return onOld.calls == 1; }));
    newLine->Assert();
    ASSERT_TRUE(Eventually([&] { return onNew.calls == 1; }));
    EXPECT_EQ(onOld.calls, 1);
    second.Disconnect();
    first.Disconnect();
    lines.Unregister(kVector);
}
