// IoConnectInterrupt's argument checks and sharing rules, IoDisconnectInterrupt's misuse, the
// interrupt threads' life and the leak check of connections never disconnected.
#include "InterruptTestSupport.h"

#include "km/pool.h"
#include "standin/pool.h"
#include "standin/system.h"
#include "standin/verifier.h"

using namespace inttest;

namespace {

BOOLEAN Decline(PKINTERRUPT, PVOID)
{
    return FALSE;
}

struct Arguments {
    PKSERVICE_ROUTINE routine = Decline;
    ULONG vector = FakeDevice::kVector;
    KIRQL irql = kDeviceIrql;
    KIRQL synchronizeIrql = kDeviceIrql;
    KINTERRUPT_MODE mode = LevelSensitive;
    BOOLEAN share = TRUE;
    KAFFINITY affinity = 1;

    NTSTATUS Connect(PKINTERRUPT* interrupt) const
    {
        return IoConnectInterrupt(interrupt, routine, nullptr, nullptr, vector, irql, synchronizeIrql, mode,
                                  share, affinity, FALSE);
    }
};

} // namespace

TEST_F(InterruptTest, ConnectRefusesBadArgumentsAndLeavesTheResultAlone)
{
    const auto untouched = reinterpret_cast<PKINTERRUPT>(0x5a5a);
    std::vector<std::pair<std::string, Arguments>> cases;
    auto add = [&](const char* name, auto change) {
        Arguments a;
        change(a);
        cases.emplace_back(name, a);
    };
    add("no routine", [](Arguments& a) { a.routine = nullptr; });
    add("vector without a line", [](Arguments& a) { a.vector = FakeDevice::kVector + 1; });
    add("DISPATCH_LEVEL", [](Arguments& a) { a.irql = a.synchronizeIrql = DISPATCH_LEVEL; });
    add("above HIGH_LEVEL", [](Arguments& a) { a.irql = a.synchronizeIrql = HIGH_LEVEL + 1; });
    add("SynchronizeIrql below Irql", [](Arguments& a) { a.synchronizeIrql = kDeviceIrql - 1; });
    add("SynchronizeIrql above HIGH_LEVEL", [](Arguments& a) { a.synchronizeIrql = HIGH_LEVEL + 1; });
    add("latched", [](Arguments& a) { a.mode = Latched; });
    add("unknown mode", [](Arguments& a) { a.mode = static_cast<KINTERRUPT_MODE>(2); });
    add("no processor", [](Arguments& a) { a.affinity = 0; });
    for (const auto& [name, arguments] : cases) {
        PKINTERRUPT interrupt = untouched;
        EXPECT_EQ(arguments.Connect(&interrupt), STATUS_INVALID_PARAMETER) << name;
        EXPECT_EQ(interrupt, untouched) << name;
    }
    EXPECT_EQ(Arguments{}.Connect(nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(standin::InterruptThreadCount(), 0u);

    // The limits themselves are accepted.
    Arguments highest;
    highest.irql = highest.synchronizeIrql = HIGH_LEVEL;
    highest.affinity = ~KAFFINITY{0};
    PKINTERRUPT interrupt = nullptr;
    ASSERT_EQ(highest.Connect(&interrupt), STATUS_SUCCESS);
    IoDisconnectInterrupt(interrupt);
}

TEST_F(InterruptTest, AVectorIsSharedOnlyWhenEveryConnectionSharesItAtOneLevel)
{
    Arguments exclusive;
    exclusive.share = FALSE;
    Arguments shared;
    PKINTERRUPT first = nullptr, second = nullptr, third = nullptr, refused = nullptr;

    ASSERT_EQ(exclusive.Connect(&first), STATUS_SUCCESS);
    EXPECT_EQ(shared.Connect(&refused), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(exclusive.Connect(&refused), STATUS_INVALID_PARAMETER);
    IoDisconnectInterrupt(first);

    ASSERT_EQ(shared.Connect(&first), STATUS_SUCCESS);
    ASSERT_EQ(shared.Connect(&second), STATUS_SUCCESS);
    EXPECT_NE(first, second);
    EXPECT_EQ(exclusive.Connect(&refused), STATUS_INVALID_PARAMETER);
    Arguments otherLevel;
    otherLevel.irql = otherLevel.synchronizeIrql = kDeviceIrql + 1;
    EXPECT_EQ(otherLevel.Connect(&refused), STATUS_INVALID_PARAMETER);
    Arguments higherSynchronize; // the level of the line is Irql; SynchronizeIrql is each connection's own
    higherSynchronize.synchronizeIrql = kDeviceIrql + 2;
    ASSERT_EQ(higherSynchronize.Connect(&third), STATUS_SUCCESS);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(standin::InterruptThreadCount(), 1u);

    IoDisconnectInterrupt(second);
    IoDisconnectInterrupt(first);
    EXPECT_EQ(standin::InterruptThreadCount(), 1u);
    IoDisconnectInterrupt(third); // the last one stops the line's thread
    EXPECT_EQ(standin::InterruptThreadCount(), 0u);
    // With no connection left the vector is free for an exclusive one again.
    ASSERT_EQ(exclusive.Connect(&first), STATUS_SUCCESS);
    IoDisconnectInterrupt(first);
}

TEST_F(InterruptTest, AnObjectThePoolCannotGiveIsInsufficientResources)
{
    standin::PoolFailTag(standin::MakePoolTag("Intr"));
    PKINTERRUPT interrupt = nullptr;
    EXPECT_EQ(Arguments{}.Connect(&interrupt), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(interrupt, nullptr);
    EXPECT_EQ(standin::PoolInjectedFailures(), 1u);
    EXPECT_EQ(standin::InterruptThreadCount(), 0u);
    standin::PoolClearFailures();
    // Nothing of the failed attempt holds the vector.
    Arguments exclusive;
    exclusive.share = FALSE;
    ASSERT_EQ(exclusive.Connect(&interrupt), STATUS_SUCCESS);
    IoDisconnectInterrupt(interrupt);
}

TEST_F(InterruptTest, MisuseIsReportedAndChangesNothing)
{
    ExpectedBreaches breaches;
    PKINTERRUPT interrupt = nullptr;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    EXPECT_EQ(Arguments{}.Connect(&interrupt), STATUS_SUCCESS); // reported, and done all the same
    KeLowerIrql(old);
    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rule, "irql");
    EXPECT_EQ(taken[0].detail, "IoConnectInterrupt at IRQL 2");

    IoDisconnectInterrupt(interrupt);
    IoDisconnectInterrupt(interrupt); // twice
    IoDisconnectInterrupt(nullptr);
    int notAnInterrupt = 0;
    IoDisconnectInterrupt(reinterpret_cast<PKINTERRUPT>(&notAnInterrupt));
    taken = breaches.Take();
    ASSERT_EQ(taken.size(), 3u);
    for (const auto& breach : taken) {
        EXPECT_EQ(breach.rule, "bad-object");
        EXPECT_NE(breach.detail.find("which is not a connected interrupt object"), std::string::npos);
    }
}

TEST_F(InterruptTest, TheLeakCheckListsConnectionsNeverDisconnected)
{
    ExpectedBreaches breaches;
    PKINTERRUPT interrupt = nullptr;
    int context = 0;
    ASSERT_EQ(IoConnectInterrupt(&interrupt, Decline, &context, nullptr, FakeDevice::kVector, kDeviceIrql,
                                 kDeviceIrql, LevelSensitive, TRUE, 1, FALSE),
              STATUS_SUCCESS);
    // The fixture's own mapping is still there too: only the interrupt lines matter here.
    auto interruptLeaks = [&] {
        standin::VerifierCheckLeaks();
        std::vector<std::string> lines;
        for (const auto& breach : breaches.Take())
            if (breach.rule == "leak" && breach.detail.rfind("interrupt: ", 0) == 0)
                lines.push_back(breach.detail);
        return lines;
    };
    const auto lines = interruptLeaks();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("of vector 0x51 (routine "), std::string::npos);
    EXPECT_NE(lines[0].find(") never disconnected"), std::string::npos);
    IoDisconnectInterrupt(interrupt);
    EXPECT_TRUE(interruptLeaks().empty());
}
