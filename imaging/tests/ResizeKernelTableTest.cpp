// The resize kernel table: its fixed layout in both halves, the shared 16-bit members, and the
// entry that runs one slot directly.
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
    // The plain half: the same grouping 48 slots on, with the same three shared members.
    EXPECT_EQ(ResizeKernelTable[51], ResizeKernelTable[49]);
    EXPECT_EQ(ResizeKernelTable[55], ResizeKernelTable[53]);
    EXPECT_EQ(ResizeKernelTable[59], ResizeKernelTable[57]);
    EXPECT_EQ(ResizeKernelTable[48], &PlainNearestRows8u_C3);
    EXPECT_EQ(ResizeKernelTable[49], &PlainNearestRows16u_C3);
    EXPECT_EQ(ResizeKernelTable[52], &PlainNearestRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[54], &PlainNearestRows32f_C1);
    EXPECT_EQ(ResizeKernelTable[57], &PlainNearestRows16u_C4);
    EXPECT_EQ(ResizeKernelTable[58], &PlainNearestRows32f_C4);
    EXPECT_EQ(ResizeKernelTable[60], &PlainLinearRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[63], &PlainLinearRows16s_MC);
    EXPECT_EQ(ResizeKernelTable[64], &PlainLinearRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[67], &PlainLinearRows16s_C1);
    EXPECT_EQ(ResizeKernelTable[68], &PlainCubicRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[70], &PlainCubicRows32f_MC);
    EXPECT_EQ(ResizeKernelTable[71], &PlainCubicRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[73], &PlainCubicRows32f_C1);
    EXPECT_EQ(ResizeKernelTable[74], &PlainFourTapRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[77], &PlainFourTapRows16s_MC);
    EXPECT_EQ(ResizeKernelTable[78], &PlainFourTapRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[81], &PlainFourTapRows16s_C1);
    EXPECT_EQ(ResizeKernelTable[82], &PlainLanczosRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[84], &PlainLanczosRows32f_MC);
    EXPECT_EQ(ResizeKernelTable[85], &PlainLanczosRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[87], &PlainLanczosRows32f_C1);
    EXPECT_EQ(ResizeKernelTable[88], &PlainLanczosInteriorRows8u_MC);
    EXPECT_EQ(ResizeKernelTable[91], &PlainLanczosInteriorRows16s_MC);
    EXPECT_EQ(ResizeKernelTable[92], &PlainLanczosInteriorRows8u_C1);
    EXPECT_EQ(ResizeKernelTable[95], &PlainLanczosInteriorRows16s_C1);
    // Every other slot is a kernel of its own, and no plain slot holds a vector kernel.
    std::set<ResizeKernel> distinct(ResizeKernelTable.begin(), ResizeKernelTable.end());
    EXPECT_EQ(distinct.size(), 90u);
    std::set<ResizeKernel> vector(ResizeKernelTable.begin(), ResizeKernelTable.begin() + 48);
    for (int slot = kPlainKernelSet; slot < 96; ++slot)
        EXPECT_EQ(vector.count(ResizeKernelTable[size_t(slot)]), 0u) << slot;
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
    for (int slot = 0; slot < kResizeKernelSlots; ++slot)
        ResizeKernelTable[size_t(slot)](args);
    // The filtering kernels look at the width before filtering their first rows.
    args.dstHeight = 3;
    args.dstWidth = 0;
    for (int slot = 0; slot < kResizeKernelSlots; ++slot)
        if (slot % kPlainKernelSet >= kSlotLinearMC)
            ResizeKernelTable[size_t(slot)](args);
    args.dstHeight = -1;
    args.dstWidth = 4;
    for (int slot = 0; slot < kResizeKernelSlots; ++slot)
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
