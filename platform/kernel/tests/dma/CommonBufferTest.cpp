// Common buffers: host memory a device reaches by its 32-bit bus address and only inside its
// length, the frees that name no block, the leak report, failures, IRQL, and allocations and frees
// from several threads while a device transfers.
#include "DmaTestSupport.h"

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/bus/Bus.h"
#include "standin/dma.h"

namespace {

using dmatest::DmaTest;
using platform::BusStatus;
using Strings = std::vector<std::string>;

class CommonBufferTest : public DmaTest {
protected:
    void SetUp() override
    {
        DmaTest::SetUp();
        adapter = GetAdapter();
        ASSERT_NE(adapter, nullptr);
        ops = adapter->DmaOperations;
    }
    void TearDown() override
    {
        ops->PutDmaAdapter(adapter);
        DmaTest::TearDown();
    }

    PVOID Allocate(ULONG length, PHYSICAL_ADDRESS& logical)
    {
        return ops->AllocateCommonBuffer(adapter, length, &logical, FALSE);
    }
    static platform::DmaAddressMap& Bus() { return platform::Bus::Instance().Dma(); }

    PDMA_ADAPTER adapter = nullptr;
    PDMA_OPERATIONS ops = nullptr;
};

TEST_F(CommonBufferTest, BufferIsHostMemoryTheDeviceReachesByItsBusAddress)
{
    PHYSICAL_ADDRESS logical{};
    auto* host = static_cast<unsigned char*>(Allocate(10000, logical));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(host) % 4096, 0u);
    EXPECT_GT(logical.QuadPart, 0);
    EXPECT_LT(logical.QuadPart, int64_t{1} << 32);
    EXPECT_EQ(logical.QuadPart % 4096, 0);
    // Not cleared: the fill shows code that reads before it writes.
    EXPECT_EQ(host[0], 0xCD);
    EXPECT_EQ(host[9999], 0xCD);

    const uint32_t bus = static_cast<uint32_t>(logical.QuadPart);
    const unsigned char written[4] = {1, 2, 3, 4};
    ASSERT_EQ(Bus().Write(bus + 9996, written, 4), BusStatus::Ok);
    EXPECT_EQ(std::memcmp(host + 9996, written, 4), 0);
    host[100] = 0x5A;
    unsigned char read = 0;
    ASSERT_EQ(Bus().Read(bus + 100, &read, 1), BusStatus::Ok);
    EXPECT_EQ(read, 0x5A);

    // The device reaches exactly the length asked for, not the rest of the page.
    EXPECT_EQ(Bus().Write(bus + 9997, written, 4), BusStatus::OutsideMemory);
    EXPECT_EQ(host[9999], 4);
    const auto usage = standin::DmaUsageTotal();
    EXPECT_EQ(usage.outstandingBuffers, 1u);
    EXPECT_EQ(usage.outstandingBytes, 10000u);

    ops->FreeCommonBuffer(adapter, 10000, logical, host, FALSE);
    EXPECT_EQ(Bus().Read(bus + 100, &read, 1), BusStatus::OutsideMemory);
    EXPECT_EQ(standin::DmaUsageTotal().outstandingBuffers, 0u);
    EXPECT_TRUE(TakeRules().empty());
}

TEST_F(CommonBufferTest, ZeroLengthAndTooLargeGetNothing)
{
    PHYSICAL_ADDRESS logical;
    logical.QuadPart = 77;
    EXPECT_EQ(Allocate(0, logical), nullptr);
    EXPECT_EQ(logical.QuadPart, 0);
    EXPECT_EQ(Allocate(standin::kDmaMaxCommonBufferBytes + 1, logical), nullptr);
    EXPECT_EQ(ops->AllocateCommonBuffer(adapter, 16, nullptr, FALSE), nullptr);
    EXPECT_EQ(TakeRules(), (Strings{"bad-argument"}));
}

TEST_F(CommonBufferTest, InjectedFailuresRefuseTheChosenRequests)
{
    const uint64_t failedBefore = standin::DmaUsageTotal().failedBuffers;
    standin::DmaFailNthCommonBuffer(2);
    PHYSICAL_ADDRESS first{}, second{}, third{};
    PVOID a = Allocate(64, first);
    PVOID b = Allocate(64, second);
    PVOID c = Allocate(64, third);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(second.QuadPart, 0);
    EXPECT_NE(c, nullptr);
    standin::DmaFailEveryCommonBuffer();
    PHYSICAL_ADDRESS none{};
    EXPECT_EQ(Allocate(64, none), nullptr);
    EXPECT_EQ(Allocate(64, none), nullptr);
    standin::DmaClearFailures();
    PHYSICAL_ADDRESS fourth{};
    PVOID d = Allocate(64, fourth);
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(standin::DmaUsageTotal().failedBuffers - failedBefore, 3u);
    ops->FreeCommonBuffer(adapter, 64, first, a, FALSE);
    ops->FreeCommonBuffer(adapter, 64, third, c, FALSE);
    ops->FreeCommonBuffer(adapter, 64, fourth, d, FALSE);
}

TEST_F(CommonBufferTest, FreeMustNameExactlyOneBlockOfTheAdapter)
{
    PHYSICAL_ADDRESS logical{};
    auto* host = static_cast<unsigned char*>(Allocate(8192, logical));
    ASSERT_NE(host, nullptr);
    PHYSICAL_ADDRESS otherLogical = logical;
    otherLogical.QuadPart += 4096;
    PDMA_ADAPTER other = GetAdapter();
    ASSERT_NE(other, nullptr);

    ops->FreeCommonBuffer(adapter, 4096, logical, host, FALSE);        // wrong length
    ops->FreeCommonBuffer(adapter, 8192, otherLogical, host, FALSE);   // wrong bus address
    ops->FreeCommonBuffer(adapter, 8192, logical, host + 16, FALSE);   // inside the block
    ops->FreeCommonBuffer(other, 8192, logical, host, FALSE);          // another adapter's
    EXPECT_EQ(TakeRules(), (Strings{"dma", "dma", "dma", "dma"}));
    // Nothing was freed: the device still reaches the block.
    unsigned char byte = 0;
    EXPECT_EQ(Bus().Read(static_cast<uint32_t>(logical.QuadPart), &byte, 1), BusStatus::Ok);
    EXPECT_EQ(standin::DmaUsageTotal().outstandingBuffers, 1u);

    // The block is named exactly; the other caching flag is reported but the block goes.
    ops->FreeCommonBuffer(adapter, 8192, logical, host, TRUE);
    EXPECT_EQ(TakeRules(), (Strings{"dma"}));
    EXPECT_EQ(standin::DmaUsageTotal().outstandingBuffers, 0u);
    ops->FreeCommonBuffer(adapter, 8192, logical, host, FALSE); // twice
    EXPECT_EQ(TakeRules(), (Strings{"dma"}));
    other->DmaOperations->PutDmaAdapter(other);
}

TEST_F(CommonBufferTest, BufferNotFreedIsALeakAndSurvivesThePutOfItsAdapter)
{
    PHYSICAL_ADDRESS logical{};
    PVOID host = Allocate(300, logical);
    ASSERT_NE(host, nullptr);
    // The fixture's adapter is not put yet either.
    const auto leaks = DmaLeaks();
    ASSERT_EQ(leaks.size(), 2u);
    EXPECT_NE(leaks[0].find("never put"), std::string::npos) << leaks[0];
    EXPECT_EQ(leaks[1].rfind("dma: common buffer of 300 bytes at bus address ", 0), 0u) << leaks[1];

    // Put with the buffer out: reported, and the buffer stays usable for the device until freed.
    PDMA_ADAPTER early = GetAdapter();
    ASSERT_NE(early, nullptr);
    PHYSICAL_ADDRESS earlyLogical{};
    PVOID earlyHost = early->DmaOperations->AllocateCommonBuffer(early, 40, &earlyLogical, FALSE);
    ASSERT_NE(earlyHost, nullptr);
    early->DmaOperations->PutDmaAdapter(early);
    EXPECT_EQ(TakeRules(), (Strings{"dma"}));
    unsigned char byte = 0;
    EXPECT_EQ(Bus().Read(static_cast<uint32_t>(earlyLogical.QuadPart), &byte, 1), BusStatus::Ok);
    PHYSICAL_ADDRESS refused{};
    EXPECT_EQ(early->DmaOperations->AllocateCommonBuffer(early, 40, &refused, FALSE), nullptr);
    early->DmaOperations->FreeCommonBuffer(early, 40, earlyLogical, earlyHost, FALSE);
    EXPECT_EQ(TakeRules(), (Strings{"dma", "dma"}));
    ops->FreeCommonBuffer(adapter, 300, logical, host, FALSE);
    EXPECT_EQ(DmaLeaks().size(), 1u); // the adapter

}

TEST_F(CommonBufferTest, AllocateAndFreeAbovePassiveLevelAreIrqlBreaches)
{
    KIRQL old = 0;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    PHYSICAL_ADDRESS logical{};
    PVOID host = Allocate(32, logical);
    if (host)
        ops->FreeCommonBuffer(adapter, 32, logical, host, FALSE);
    KeLowerIrql(old);
    EXPECT_NE(host, nullptr);
    EXPECT_EQ(TakeRules(), (Strings{"irql", "irql"}));
}

TEST_F(CommonBufferTest, ThreadsAllocateAndFreeWhileADeviceTransfers)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::atomic<uint32_t> lastBus{0};
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    // The device writes wherever the last buffer was; a stale address must simply fail.
    std::thread device([&] {
        const unsigned char data[8] = {};
        while (!done.load()) {
            const BusStatus s = Bus().Write(lastBus.load(), data, sizeof data);
            if (s != BusStatus::Ok && s != BusStatus::OutsideMemory)
                ++wrong;
        }
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const ULONG length = 64 + 8 * static_cast<ULONG>(t + i);
                PHYSICAL_ADDRESS logical{};
                auto* host = static_cast<unsigned char*>(Allocate(length, logical));
                if (!host) {
                    ++wrong;
                    continue;
                }
                lastBus.store(static_cast<uint32_t>(logical.QuadPart));
                host[length - 1] = static_cast<unsigned char>(t);
                unsigned char back = 0xFF;
                if (Bus().Read(static_cast<uint32_t>(logical.QuadPart) + length - 1, &back, 1) != BusStatus::Ok)
                    back = 0xFF;
                // The device's zeros may have landed in the first 8 bytes only.
                if (back != static_cast<unsigned char>(t) && length > 8)
                    ++wrong;
                ops->FreeCommonBuffer(adapter, length, logical, host, FALSE);
            }
        });
    for (auto& thread : threads)
        thread.join();
    done = true;
    device.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(standin::DmaUsageTotal().outstandingBuffers, 0u);
    EXPECT_TRUE(TakeRules().empty());
}

} // namespace
