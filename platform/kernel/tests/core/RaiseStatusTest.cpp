// ExRaiseStatus: thrown out of the kernel library, caught by type in the caller with its status.
#include <gtest/gtest.h>

#include <typeinfo>

#include "Breaches.h"
#include "km/irql.h"
#include "km/raise.h"
#include "km/status.h"

TEST(RaiseStatus, IsCaughtAsRaisedStatusWithItsStatus)
{
    try {
        ExRaiseStatus(STATUS_INSUFFICIENT_RESOURCES);
        FAIL() << "ExRaiseStatus returned";
    } catch (const standin::RaisedStatus& raised) {
        EXPECT_EQ(raised.status, STATUS_INSUFFICIENT_RESOURCES);
        EXPECT_STREQ(raised.what(), "ExRaiseStatus 0xC000009A");
        EXPECT_EQ(typeid(raised), typeid(standin::RaisedStatus));
    }
}

TEST(RaiseStatus, IsAStandardExceptionAndKeepsAnyStatus)
{
    EXPECT_THROW(ExRaiseStatus(STATUS_UNSUCCESSFUL), std::exception);
    try {
        ExRaiseStatus(STATUS_SUCCESS);
        FAIL() << "ExRaiseStatus returned";
    } catch (const standin::RaisedStatus& raised) {
        EXPECT_EQ(raised.status, STATUS_SUCCESS);
        EXPECT_STREQ(raised.what(), "ExRaiseStatus 0x00000000");
    }
}

TEST(RaiseStatus, AtDispatchIsAllowedAboveIsReported)
{
    QuietBreaches breaches;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    EXPECT_THROW(ExRaiseStatus(STATUS_NO_MEMORY), standin::RaisedStatus);
    EXPECT_TRUE(breaches.Take().empty());
    KeRaiseIrql(HIGH_LEVEL, &old);
    EXPECT_THROW(ExRaiseStatus(STATUS_NO_MEMORY), standin::RaisedStatus);
    KeLowerIrql(PASSIVE_LEVEL);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "irql");
    EXPECT_EQ(found[0].detail, "ExRaiseStatus(0xC0000017) at IRQL 31 above DISPATCH_LEVEL");
}
