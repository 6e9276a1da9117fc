// The aligned allocators: alignment, room, the hook's own pointer handed back, refused counts.
#include <gtest/gtest.h>

#include "ScratchSupport.h"
#include "TestAllocationHooks.h"

#include <climits>
#include <cstring>

using namespace imaging;
using namespace imaging_test;

namespace {

class ScratchAllocation : public ::testing::Test {
protected:
    void SetUp() override { ResetAllocationHooks(); }
    void TearDown() override { ResetAllocationHooks(); }
};

template <typename Alloc>
void CheckBlocks(Alloc alloc, uint32_t elementSize)
{
    for (int32_t n = 1; n <= 1000; ++n) {
        ResetAllocationHooks();
        void* p = alloc(n);
        ASSERT_NE(p, nullptr) << n;
        ASSERT_EQ(Allocations().size(), 1u);
        const AllocationRecord raw = Allocations()[0];
        EXPECT_EQ(raw.bytes, uint32_t(n) * elementSize + 40) << n;
        const auto address = reinterpret_cast<uintptr_t>(p);
        const auto base = reinterpret_cast<uintptr_t>(raw.block);
        EXPECT_EQ(address % 32, 0u) << n;
        EXPECT_GE(address - 8, base) << n;
        EXPECT_LE(address + uint64_t(n) * elementSize, base + raw.bytes) << n;
        std::memset(p, 0xA5, size_t(n) * elementSize); // the whole room is writable
        FreeAligned(p);
        ASSERT_EQ(Releases().size(), 1u);
        EXPECT_EQ(Releases()[0], raw.block) << n;
    }
}

} // namespace

TEST_F(ScratchAllocation, BlocksAreAlignedRoomyAndHandBackTheHookPointer)
{
    CheckBlocks([](int32_t n) -> void* { return AllocAlignedFloats(n); }, 4);
    CheckBlocks([](int32_t n) -> void* { return AllocAligned16(n); }, 2);
    CheckBlocks([](int32_t n) -> void* { return AllocAlignedBytes(n); }, 1);
}

TEST_F(ScratchAllocation, CountsBelowOneAllocateNothing)
{
    for (int32_t n : {0, -1, INT_MIN}) {
        EXPECT_EQ(AllocAlignedFloats(n), nullptr);
        EXPECT_EQ(AllocAligned16(n), nullptr);
        EXPECT_EQ(AllocAlignedBytes(n), nullptr);
    }
    EXPECT_TRUE(Allocations().empty());
    EXPECT_TRUE(RefusedRequests().empty());
}

TEST_F(ScratchAllocation, BlocksBeyondTheHookSizeAreRefusedWithoutAsking)
{
    FailAllocationsAfter(0); // nothing is really allocated; the requests are recorded
    // The largest float count whose block still fits 32 bits reaches the hook; one more does not.
    EXPECT_EQ(AllocAlignedFloats(1073741813), nullptr);
    ASSERT_EQ(RefusedRequests().size(), 1u);
    EXPECT_EQ(RefusedRequests()[0], 4294967292u);
    EXPECT_EQ(AllocAlignedFloats(1073741814), nullptr);
    EXPECT_EQ(AllocAlignedFloats(INT_MAX), nullptr);
    EXPECT_EQ(AllocAligned16(INT_MAX), nullptr);
    EXPECT_EQ(RefusedRequests().size(), 1u);
    EXPECT_EQ(AllocAlignedBytes(INT_MAX), nullptr);
    ASSERT_EQ(RefusedRequests().size(), 2u);
    EXPECT_EQ(RefusedRequests()[1], uint32_t(INT_MAX) + 40u);
}

TEST_F(ScratchAllocation, HookFailureGivesNullAndNullIsNotReleased)
{
    FailAllocationsAfter(0);
    EXPECT_EQ(AllocAlignedFloats(16), nullptr);
    EXPECT_EQ(AllocAligned16(16), nullptr);
    EXPECT_EQ(AllocAlignedBytes(16), nullptr);
    EXPECT_EQ(RefusedRequests().size(), 3u);
    FreeAligned(nullptr);
    EXPECT_TRUE(Releases().empty());
}
