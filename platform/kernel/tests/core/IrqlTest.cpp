// Per-thread IRQL and the verifier's record of misuse.
#include <gtest/gtest.h>

#include <thread>

#include "km/irql.h"
#include "standin/verifier.h"

TEST(Irql, RaiseAndLowerArePerThread)
{
    ASSERT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    KIRQL old = 0xFF;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    EXPECT_EQ(old, PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    KIRQL other = 0xFF;
    std::thread([&] { other = KeGetCurrentIrql(); }).join();
    EXPECT_EQ(other, PASSIVE_LEVEL);
    KeLowerIrql(old);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    EXPECT_TRUE(standin::VerifierTakeViolations().empty());
}

TEST(Irql, MisuseIsReportedAndLeavesTheLevel)
{
    standin::VerifierSetEcho(false);
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    KeRaiseIrql(APC_LEVEL, &old); // lower than current
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    KeLowerIrql(PROFILE_LEVEL); // higher than current
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    KeLowerIrql(PASSIVE_LEVEL);
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "irql");
    EXPECT_NE(breaches[0].detail.find("KeRaiseIrql"), std::string::npos);
    EXPECT_NE(breaches[1].detail.find("KeLowerIrql"), std::string::npos);
}

TEST(Verifier, LeakChecksReportEachOutstandingResource)
{
    standin::VerifierSetEcho(false);
    std::vector<std::string> outstanding{"one", "two"};
    standin::VerifierRegisterLeakCheck("test-resource", [&] { return outstanding; });
    EXPECT_EQ(standin::VerifierCheckLeaks(), 2u);
    auto breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "leak");
    EXPECT_EQ(breaches[0].detail, "test-resource: one");
    outstanding.clear();
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
    standin::VerifierUnregisterLeakCheck("test-resource");
    standin::VerifierSetEcho(true);
}
