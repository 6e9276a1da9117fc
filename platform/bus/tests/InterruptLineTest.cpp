// Level-triggered interrupt lines, their waiters, and the table of lines by vector.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "FakeDevice.h"
#include "platform/bus/InterruptLineTable.h"

using platform::BusStatus;
using platform::InterruptLine;

TEST(InterruptLine, AssertAndReleaseSetALevel)
{
    InterruptLine line;
    EXPECT_FALSE(line.IsAsserted());
    line.Assert();
    line.Assert();
    EXPECT_TRUE(line.IsAsserted());
    EXPECT_EQ(line.AssertionCount(), 1u);
    line.Release();
    line.Release();
    EXPECT_FALSE(line.IsAsserted());
    line.Assert();
    EXPECT_EQ(line.AssertionCount(), 2u);
    // A level stays up: every wait returns at once until the line is released.
    std::stop_source never;
    EXPECT_TRUE(line.WaitUntilAsserted(never.get_token()));
    EXPECT_TRUE(line.WaitUntilAsserted(never.get_token()));
}

TEST(InterruptLine, EveryWaiterOnTheLineWakesWhenItIsAsserted)
{
    InterruptLine line;
    std::atomic<int> woken{0};
    std::stop_source stop;
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (line.WaitUntilAsserted(stop.get_token()) && line.IsAsserted())
                ++woken;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(woken, 0);
    line.Assert();
    for (auto& w : waiters)
        w.join();
    EXPECT_EQ(woken, 4);
}

TEST(InterruptLine, AStopRequestEndsTheWaitWithoutAnAssertion)
{
    InterruptLine line;
    std::jthread waiter([&](std::stop_token stop) { EXPECT_FALSE(line.WaitUntilAsserted(stop)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    waiter.request_stop();
    waiter.join();
    // A stop requested before the wait starts is not lost either.
    std::stop_source early;
    early.request_stop();
    EXPECT_FALSE(line.WaitUntilAsserted(early.get_token()));
    EXPECT_FALSE(line.IsAsserted());
}

TEST(InterruptLineTable, LinesAreFoundByVectorAndOutliveTheirRegistration)
{
    platform::InterruptLineTable table;
    auto line = std::make_shared<InterruptLine>();
    EXPECT_EQ(table.Register(7, nullptr), BusStatus::InvalidArgument);
    EXPECT_EQ(table.Register(7, line), BusStatus::Ok);
    EXPECT_EQ(table.Register(7, std::make_shared<InterruptLine>()), BusStatus::Overlap);
    auto first = table.Find(7);
    auto second = table.Find(7); // a second connection shares the same line
    EXPECT_EQ(first, line);
    EXPECT_EQ(second, line);
    EXPECT_EQ(table.Find(8), nullptr);
    EXPECT_EQ(table.Unregister(7), BusStatus::Ok);
    EXPECT_EQ(table.Unregister(7), BusStatus::NotRegistered);
    EXPECT_EQ(table.Find(7), nullptr);
    line.reset();
    first->Assert(); // still a valid object for whoever holds it
    EXPECT_TRUE(second->IsAsserted());
}

TEST(InterruptLine, TheFakeDeviceDrivesItsLineFromItsRegisters)
{
    platform::BusMemoryMap bus{size_t{64} << 20};
    platform::InterruptLineTable table;
    fake::FakeDevice device(bus, table);
    ASSERT_EQ(device.Plug(), BusStatus::Ok);
    auto line = table.Find(fake::FakeDevice::kVector);
    ASSERT_NE(line, nullptr);
    void* regs = nullptr;
    ASSERT_EQ(bus.Map(fake::FakeDevice::kRegisterBase, fake::FakeDevice::kRegisterLength, regs), BusStatus::Ok);
    auto* base = static_cast<char*>(regs);

    std::stop_source stop;
    uint32_t seenStatus = 0;
    std::thread waiter([&] {
        ASSERT_TRUE(line->WaitUntilAsserted(stop.get_token()));
        EXPECT_EQ(bus.Read(base + fake::FakeDevice::kStatus, platform::AccessWidth::Dword, seenStatus), BusStatus::Ok);
    });
    EXPECT_EQ(bus.Write(base + fake::FakeDevice::kRaise, platform::AccessWidth::Dword, 0x5), BusStatus::Ok);
    waiter.join();
    EXPECT_EQ(seenStatus, 0x5u);
    // The line stays up until every cause is acknowledged.
    EXPECT_EQ(bus.Write(base + fake::FakeDevice::kStatus, platform::AccessWidth::Dword, 0x1), BusStatus::Ok);
    EXPECT_TRUE(line->IsAsserted());
    EXPECT_EQ(bus.Write(base + fake::FakeDevice::kStatus, platform::AccessWidth::Byte, 0x4), BusStatus::Ok);
    EXPECT_FALSE(line->IsAsserted());
    EXPECT_EQ(line->AssertionCount(), 1u);
    EXPECT_EQ(bus.Unmap(regs, fake::FakeDevice::kRegisterLength), BusStatus::Ok);
}
