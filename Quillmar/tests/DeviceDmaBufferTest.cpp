// The Device's DMA buffers: the adapter taken and given back, reuse of a freed buffer of the same
// length, release 30 seconds of clock time after the free and at once at release, the refusal of
// buffers the device did not hand out, allocation failures, a restart after a release, and the
// old-buffer thread working against allocating threads.
#include "TraceTestSupport.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "device.h"
#include "km/dma.h"
#include "km/pool.h"
#include "platform/Clock.h"
#include "standin/debugger.h"
#include "standin/devices.h"
#include "standin/dma.h"
#include "standin/pool.h"

namespace {

using tracetest::TraceTest;
using tracetest::WaitUntil;

class DeviceDmaTest : public TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        logger->SetTraceMask(kTraceAlways | kTraceWarnings);
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        pdo = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo, nullptr);
        before = standin::DmaUsageTotal();
        device = new Device(nullptr);
    }
    void TearDown() override
    {
        delete device;
        platform::Clock::SetSpeedFactor(1.0);
        const auto after = standin::DmaUsageTotal();
        EXPECT_EQ(after.outstandingBuffers, 0u);
        EXPECT_EQ(after.outstandingAdapters, 0u);
        standin::DeletePhysicalDeviceObject(pdo);
        TraceTest::TearDown();
    }

    // Common buffers the stand-in handed out since the test began.
    uint64_t BuffersAllocated() const { return standin::DmaUsageTotal().totalBuffers - before.totalBuffers; }
    uint64_t BuffersFreed() const { return standin::DmaUsageTotal().freedBuffers - before.freedBuffers; }

    PDEVICE_OBJECT pdo = nullptr;
    Device* device = nullptr;
    standin::DmaUsage before;
};

TEST_F(DeviceDmaTest, AdapterIsTakenOnceAndGivenBack)
{
    EXPECT_EQ(device->GetHeldDmaAdapter(), nullptr);
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    PDMA_ADAPTER adapter = device->GetHeldDmaAdapter();
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    EXPECT_EQ(device->GetHeldDmaAdapter(), adapter);
    EXPECT_EQ(standin::DmaUsageTotal().outstandingAdapters, 1u);
    device->ReleaseDmaAdapter();
    EXPECT_EQ(device->GetHeldDmaAdapter(), nullptr);
    EXPECT_EQ(standin::DmaUsageTotal().outstandingAdapters, 0u);
    device->ReleaseDmaAdapter(); // nothing held: nothing to do
}

TEST_F(DeviceDmaTest, NoAdapterFromTheBusFailsWithUnsuccessfulAndBuffersAreNone)
{
    standin::DmaFailNextAdapter();
    EXPECT_EQ(device->GetDmaAdapter(pdo), static_cast<NTSTATUS>(0xC0000001));
    EXPECT_EQ(device->GetHeldDmaAdapter(), nullptr);
    PHYSICAL_ADDRESS logical;
    logical.QuadPart = 5;
    EXPECT_EQ(device->AllocateDmaBuffer(4096, &logical), nullptr);
    EXPECT_EQ(logical.QuadPart, 0);
    EXPECT_EQ(BuffersAllocated(), 0u);
}

TEST_F(DeviceDmaTest, FreedBufferIsHandedOutAgainToTheSameLengthOnly)
{
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    PHYSICAL_ADDRESS first{};
    PVOID buffer = device->AllocateDmaBuffer(30720, &first);
    ASSERT_NE(buffer, nullptr);
    EXPECT_NE(first.QuadPart, 0);
    EXPECT_EQ(device->GetDmaBuffersInUseCount(), 1u);
    ASSERT_EQ(device->FreeDmaBuffer(30720, first, buffer), STATUS_SUCCESS);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 1u);
    EXPECT_EQ(device->GetDmaBuffersInUseCount(), 0u);

    PHYSICAL_ADDRESS other{};
    PVOID longer = device->AllocateDmaBuffer(30724, &other);
    ASSERT_NE(longer, nullptr);
    EXPECT_NE(longer, buffer);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 1u);

    PHYSICAL_ADDRESS again{};
    EXPECT_EQ(device->AllocateDmaBuffer(30720, &again), buffer);
    EXPECT_EQ(again.QuadPart, first.QuadPart);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 0u);
    EXPECT_EQ(BuffersAllocated(), 2u);
    EXPECT_EQ(BuffersFreed(), 0u);
    EXPECT_EQ(device->FreeDmaBuffer(30720, again, buffer), STATUS_SUCCESS);
    EXPECT_EQ(device->FreeDmaBuffer(30724, other, longer), STATUS_SUCCESS);
}

TEST_F(DeviceDmaTest, SearchRotatesTheKeptBuffersAndFindsOneBehindOthers)
{
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    const ULONG lengths[] = {100, 200, 300};
    PVOID buffers[3];
    PHYSICAL_ADDRESS logical[3];
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(buffers[i] = device->AllocateDmaBuffer(lengths[i], &logical[i]), nullptr);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(device->FreeDmaBuffer(lengths[i], logical[i], buffers[i]), STATUS_SUCCESS);
    PHYSICAL_ADDRESS found{};
    EXPECT_EQ(device->AllocateDmaBuffer(300, &found), buffers[2]);
    EXPECT_EQ(device->AllocateDmaBuffer(100, &found), buffers[0]);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 1u);
    EXPECT_EQ(BuffersAllocated(), 3u);
    // The two still out go with the release.
    device->ReleaseDmaAdapter();
    EXPECT_EQ(BuffersFreed(), 3u);
}

TEST_F(DeviceDmaTest, FreedBufferIsReleasedThirtySecondsOfClockTimeLater)
{
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    PHYSICAL_ADDRESS logical{};
    PVOID buffer = device->AllocateDmaBuffer(4096, &logical);
    ASSERT_NE(buffer, nullptr);
    const int64_t second = platform::Clock::kUnitsPerSecond;
    // The clock runs at a hundredth of real time and is moved on by hand, a second at a time, up to
    // 28 seconds after the free: however the old-buffer thread is scheduled, it cannot have counted
    // more than 28 of the 30 one-second ticks the buffer waits (drifting a further second on its own
    // would take 100 s). It still runs, so a lock's back-off sleep ends.
    platform::Clock::SetSpeedFactor(0.01);
    const int64_t freedAt = platform::Clock::Now();
    ASSERT_EQ(device->FreeDmaBuffer(4096, logical, buffer), STATUS_SUCCESS);
    for (int i = 0; i < 28; ++i) {
        platform::Clock::Advance(second);
        // Room for the thread to take the tick just due; nothing below depends on it having done so.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(BuffersFreed(), 0u);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 1u);
    // Running again, the buffer goes once its ticks are counted.
    platform::Clock::SetSpeedFactor(100.0);
    ASSERT_TRUE(WaitUntil([&] { return BuffersFreed() != 0; }));
    EXPECT_LT(platform::Clock::Now() - freedAt, 90 * second);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 0u);
}

TEST_F(DeviceDmaTest, ReleaseFreesEverythingAtOnceAndAStartAfterwardsAgesAgain)
{
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    PHYSICAL_ADDRESS logical[3];
    PVOID buffers[3];
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(buffers[i] = device->AllocateDmaBuffer(8192, &logical[i]), nullptr);
    ASSERT_EQ(device->FreeDmaBuffer(8192, logical[0], buffers[0]), STATUS_SUCCESS);
    ASSERT_EQ(device->FreeDmaBuffer(8192, logical[1], buffers[1]), STATUS_SUCCESS);
    device->ReleaseDmaAdapter();
    EXPECT_EQ(BuffersFreed(), 3u);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 0u);
    EXPECT_EQ(device->GetDmaBuffersInUseCount(), 0u);
    // The one that was still out is not this device's any more.
    EXPECT_EQ(device->FreeDmaBuffer(8192, logical[2], buffers[2]), STATUS_INVALID_PARAMETER);

    // Started again: the thread runs again, so a freed buffer is kept rather than released.
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    PHYSICAL_ADDRESS next{};
    PVOID buffer = device->AllocateDmaBuffer(8192, &next);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(device->FreeDmaBuffer(8192, next, buffer), STATUS_SUCCESS);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 1u);
    EXPECT_EQ(BuffersFreed(), 3u);
    // Destruction releases the rest and gives the adapter back (checked in TearDown).
}

TEST_F(DeviceDmaTest, BuffersTheDeviceDidNotHandOutAreRefusedAndNothingIsFreed)
{
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    PHYSICAL_ADDRESS logical{};
    auto* buffer = static_cast<unsigned char*>(device->AllocateDmaBuffer(1000, &logical));
    ASSERT_NE(buffer, nullptr);
    PHYSICAL_ADDRESS wrongLogical = logical;
    wrongLogical.QuadPart += 4096;
    unsigned char foreign[16];
    standin::DebugOutputClear();
    EXPECT_EQ(device->FreeDmaBuffer(1000, logical, foreign), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device->FreeDmaBuffer(999, logical, buffer), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device->FreeDmaBuffer(1000, wrongLogical, buffer), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device->FreeDmaBuffer(1000, logical, buffer + 8), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(DebugLinesWith("Refused to free a DMA buffer this device did not allocate").size(), 4u);
    EXPECT_EQ(device->GetDmaBuffersInUseCount(), 1u);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 0u);

    ASSERT_EQ(device->FreeDmaBuffer(1000, logical, buffer), STATUS_SUCCESS);
    // Given back already: a second free is refused too.
    EXPECT_EQ(device->FreeDmaBuffer(1000, logical, buffer), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device->GetOldDmaBufferCount(), 1u);
    EXPECT_EQ(BuffersFreed(), 0u);
}

TEST_F(DeviceDmaTest, NoCommonBufferOrNoRecordGivesNoBuffer)
{
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    standin::DmaFailNthCommonBuffer(1);
    PHYSICAL_ADDRESS logical;
    logical.QuadPart = 7;
    EXPECT_EQ(device->AllocateDmaBuffer(512, &logical), nullptr);
    EXPECT_EQ(logical.QuadPart, 0);
    EXPECT_EQ(device->GetDmaBuffersInUseCount(), 0u);

    // Without memory for the record no common buffer is taken at all.
    logger->SetTraceMask(kTraceAlways);
    standin::PoolFailTag(standin::MakePoolTag("Wdm "));
    EXPECT_EQ(device->AllocateDmaBuffer(512, &logical), nullptr);
    standin::PoolClearFailures();
    EXPECT_EQ(BuffersAllocated(), 0u);
    EXPECT_EQ(device->GetDmaBuffersInUseCount(), 0u);
}

TEST_F(DeviceDmaTest, ThreadsAllocateAndFreeWhileTheOldBufferThreadReleases)
{
    ASSERT_EQ(device->GetDmaAdapter(pdo), STATUS_SUCCESS);
    // Ticks every few milliseconds, so buffers age out while the threads work.
    platform::Clock::SetSpeedFactor(1000.0);
    std::mutex heldLock;
    std::set<PVOID> held;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const ULONG length = 256 * static_cast<ULONG>(1 + (i + t) % 3);
                PHYSICAL_ADDRESS logical{};
                auto* buffer = static_cast<unsigned char*>(device->AllocateDmaBuffer(length, &logical));
                if (buffer == nullptr) {
                    ++wrong;
                    continue;
                }
                {
                    std::lock_guard<std::mutex> hold(heldLock);
                    if (!held.insert(buffer).second)
                        ++wrong; // handed out twice at once
                }
                buffer[0] = static_cast<unsigned char>(t);
                buffer[length - 1] = static_cast<unsigned char>(i);
                {
                    std::lock_guard<std::mutex> hold(heldLock);
                    held.erase(buffer);
                }
                if (device->FreeDmaBuffer(length, logical, buffer) != STATUS_SUCCESS)
                    ++wrong;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    device->ReleaseDmaAdapter();
    EXPECT_EQ(BuffersFreed(), BuffersAllocated());
}

} // namespace
