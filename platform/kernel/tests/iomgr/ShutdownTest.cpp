// Shutdown notification: only registered devices get IRP_MJ_SHUTDOWN, at the top of their stack,
// the most recent registration first; deleting a device withdraws its registration.
#include <gtest/gtest.h>

#include "TestDriver.h"
#include "standin/devices.h"

using iotest::TestDriver;

TEST(Shutdown, ReachesOnlyRegisteredDevicesAtTheTopOfTheirStacks)
{
    TestDriver driver;
    standin::PhysicalDeviceProperties properties;
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(properties);
    PDEVICE_OBJECT fdo = driver.AddDevice(u"");
    ASSERT_EQ(IoAttachDeviceToDeviceStack(fdo, pdo), pdo);
    PDEVICE_OBJECT alone = driver.AddDevice(u"Alone");
    PDEVICE_OBJECT silent = driver.AddDevice(u"Silent");

    // Registering the physical device object reaches the driver's device above it.
    EXPECT_EQ(IoRegisterShutdownNotification(pdo), STATUS_SUCCESS);
    EXPECT_EQ(IoRegisterShutdownNotification(alone), STATUS_SUCCESS);
    EXPECT_EQ(IoRegisterShutdownNotification(alone), STATUS_SUCCESS); // once is enough
    EXPECT_NE(alone->Flags & DO_SHUTDOWN_REGISTERED, 0u);
    EXPECT_EQ(standin::ShutdownRegistrations(), (std::vector<PDEVICE_OBJECT>{alone, pdo}));

    EXPECT_EQ(standin::SendShutdownNotifications(), 2u);
    EXPECT_EQ(TestDriver::State(fdo).shutdowns.load(), 1);
    EXPECT_EQ(TestDriver::State(alone).shutdowns.load(), 1);
    EXPECT_EQ(TestDriver::State(silent).shutdowns.load(), 0);

    IoUnregisterShutdownNotification(alone);
    EXPECT_EQ(alone->Flags & DO_SHUTDOWN_REGISTERED, 0u);
    IoDetachDevice(pdo);
    driver.RemoveDevice(fdo);
    standin::DeletePhysicalDeviceObject(pdo);
    EXPECT_TRUE(standin::ShutdownRegistrations().empty());
    EXPECT_EQ(standin::SendShutdownNotifications(), 0u);
}

TEST(Shutdown, HooksRunFirstInRegistrationOrderAndReplaceByName)
{
    static std::vector<std::string> calls;
    calls.clear();
    standin::RegisterShutdownHook("test-first", [] { calls.push_back("first"); });
    standin::RegisterShutdownHook("test-second", [] { calls.push_back("second"); });
    standin::RegisterShutdownHook("test-first", [] { calls.push_back("first again"); });
    standin::SendShutdownNotifications();
    EXPECT_EQ(calls, (std::vector<std::string>{"first again", "second"}));
    // Hooks stay: a later shutdown calls them again; these do nothing from here on.
    standin::RegisterShutdownHook("test-first", [] {});
    standin::RegisterShutdownHook("test-second", [] {});
}
