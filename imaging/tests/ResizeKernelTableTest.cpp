// The resize kernel table: its fixed layout, the shared 16-bit members, the traps in the slots
// whose kernels are not built (the plain set), and the entry that runs one slot directly.
#include <gtest/gtest.h>

#include "ResizeKernels.h"

#include <set>

using namespace imaging;

TEST(ResizeKernelTable, HoldsNinetySixEntriesWithTheSixteenBitNearestKernelsShared)
{
    ASSERT_EQ(ResizeKernelTable.size(), 96u);
    for (ResizeKernel k : ResizeKernelTable)
        EXPECT_NE(k, nullptr);
    EXPECT_EQ(ResizeKernelTable[3], ResizeKernelTable[1]);
    EXPECT_EQ(ResizeKernelTable[7], ResizeKernelTable[5]);
    EXPECT_EQ(ResizeKernelTable[11], ResizeKernelTable[9]);
    EXPECT_EQ(ResizeKernelTable[4], &ResizeNearestRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[16], &ResizeLinearRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[12], &ResizeLinearRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[15], &ResizeLinearRows16s_MC);
    EXPECT_EQ(ResizeKernelTable[19], &ResizeLinearRows16s_C1);
    EXPECT_EQ(ResizeKernelTable[20], &ResizeCubicRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[22], &ResizeCubicRows32f_MC);
    EXPECT_EQ(ResizeKernelTable[23], &ResizeCubicRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[25], &ResizeCubicRows32f_C1);
    EXPECT_EQ(ResizeKernelTable[26], &ResizeTaps4Rows8u_MC);
    EXPECT_EQ(ResizeKernelTable[29], &ResizeTaps4Rows16s_MC);
    EXPECT_EQ(ResizeKernelTable[30], &ResizeTaps4Rows8u_C1);
    EXPECT_EQ(ResizeKernelTable[33], &ResizeTaps4Rows16s_C1);
    EXPECT_EQ(ResizeKernelTable[34], &ResizeLanczosRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[37], &ResizeLanczosRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[39], &ResizeLanczosRows32f_C1);
    EXPECT_EQ(ResizeKernelTable[40], &ResizeLanczosInnerRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[43], &ResizeLanczosInnerRows16s_MC);
    EXPECT_EQ(ResizeKernelTable[44], &ResizeLanczosInnerRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[47], &ResizeLanczosInnerRows16s_C1);
    // Every other built slot is a kernel of its own; every trap is distinct.
    std::set<ResizeKernel> distinct(ResizeKernelTable.begin(), ResizeKernelTable.end());
    EXPECT_EQ(distinct.size(), 93u);
}

using ResizeKernelTableDeathTest = ::testing::Test;

TEST(ResizeKernelTableDeathTest, SlotsNotBuiltAbortNamingTheSlot)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    uint8_t sample = 0;
    ResizeKernelArgs args;
    args.src = &sample;
    args.dst = &sample;
    for (int slot = kPlainKernelSet; slot < 96; ++slot) {
        const std::string message = "resize kernel slot " + std::to_string(slot) + " is not built";
        EXPECT_DEATH(ResizeKernelTable[size_t(slot)](args), message) << slot;
    }
}

TEST(ResizeKernelTable, AnEmptyDestinationReadsAndWritesNothing)
{
    // No tables and no row buffers: a kernel that touched any of them would fault.
    uint8_t sample = 0x5A;
    ResizeKernelArgs args;
    args.src = &sample;
    args.dst = &sample;
    args.dstHeight = 0;
    args.dstWidth = 4;
    for (int slot = 0; slot < kPlainKernelSet; ++slot)
        ResizeKernelTable[size_t(slot)](args);
    // The filtering kernels look at the width before filtering their first rows.
    args.dstHeight = 3;
    args.dstWidth = 0;
    for (int slot = kSlotLinearMC; slot < kPlainKernelSet; ++slot)
        ResizeKernelTable[size_t(slot)](args);
    EXPECT_EQ(sample, 0x5A);
}

TEST(CallResizeKernel, RefusesUnknownSlotsAndNullBuffersThenRunsTheSlot)
{
    const uint8_t src[4] = {1, 2, 3, 4};
    uint8_t dst[4] = {};
    const int32_t rows[1] = {0};
    const int32_t columns[2] = {3, 1};
    ResizeKernelArgs args;
    args.src = src;
    args.dst = dst;
    args.dstStep = 4;
    args.dstWidth = 2;
    args.dstHeight = 1;
    args.rowOffsets = rows;
    args.colOffsets = columns;
    EXPECT_EQ(CallResizeKernel(-1, args), StatusInterpolationError);
    EXPECT_EQ(CallResizeKernel(96, args), StatusInterpolationError);
    ResizeKernelArgs noSource = args;
    noSource.src = nullptr;
    EXPECT_EQ(CallResizeKernel(kSlotNearestC1, noSource), StatusNullPointer);
    ResizeKernelArgs noDestination = args;
    noDestination.dst = nullptr;
    EXPECT_EQ(CallResizeKernel(kSlotNearestC1, noDestination), StatusNullPointer);
    EXPECT_EQ(dst[0], 0);
    ASSERT_EQ(CallResizeKernel(kSlotNearestC1, args), StatusOk);
    EXPECT_EQ(dst[0], 4);
    EXPECT_EQ(dst[1], 2);
    EXPECT_EQ(dst[2], 0);
}
