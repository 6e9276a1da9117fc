// The system facts a driver asks for: the driver model version and the processor count, both set
// by tests.
#include <gtest/gtest.h>

#include "../core/Breaches.h"
#include "km/kernel.h"
#include "standin/system.h"

TEST(SystemInformation, WdmVersionIsAvailableUpToTheConfiguredOne)
{
    EXPECT_TRUE(IoIsWdmVersionAvailable(6, 0));
    EXPECT_TRUE(IoIsWdmVersionAvailable(1, 0x30));
    EXPECT_FALSE(IoIsWdmVersionAvailable(6, 1));
    standin::SetWdmVersion(5, 2);
    EXPECT_FALSE(IoIsWdmVersionAvailable(6, 0));
    EXPECT_TRUE(IoIsWdmVersionAvailable(5, 2));
    EXPECT_FALSE(IoIsWdmVersionAvailable(5, 3));
    standin::ResetSystemInformation();
    EXPECT_TRUE(IoIsWdmVersionAvailable(6, 0));
}

TEST(SystemInformation, ProcessorCountAndMaskFollowTheSetting)
{
    EXPECT_EQ(KeNumberProcessors, 4);
    EXPECT_EQ(KeQueryActiveProcessors(), KAFFINITY(0xF));
    standin::SetNumberOfProcessors(64);
    EXPECT_EQ(KeQueryActiveProcessors(), ~KAFFINITY(0));
    standin::SetNumberOfProcessors(1);
    KAFFINITY mask = 0;
    EXPECT_EQ(KeQueryActiveProcessorCount(&mask), 1u);
    EXPECT_EQ(mask, KAFFINITY(1));
    {
        QuietBreaches quiet;
        standin::SetNumberOfProcessors(0);
        standin::SetNumberOfProcessors(65);
        EXPECT_EQ(quiet.Take().size(), 2u);
    }
    EXPECT_EQ(KeNumberProcessors, 1);
    standin::ResetSystemInformation();
    EXPECT_EQ(KeNumberProcessors, 4);
}
