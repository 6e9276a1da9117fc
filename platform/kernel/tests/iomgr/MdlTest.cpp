// Memory descriptor lists: what they describe, their chains on an IRP, locking and mapping, and the
// breaches and leaks the verifier reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../core/Breaches.h"
#include "km/kernel.h"
#include "standin/devicefile.h"
#include "standin/verifier.h"

using testing::HasSubstr;

TEST(Mdl, DescribesTheBufferByPageAndOffsetAndMapsItOnceLocked)
{
    alignas(4096) static unsigned char buffer[3 * PAGE_SIZE];
    PMDL mdl = IoAllocateMdl(buffer + 100, 5000, FALSE, FALSE, nullptr);
    ASSERT_NE(mdl, nullptr);
    EXPECT_EQ(mdl->StartVa, buffer);
    EXPECT_EQ(MmGetMdlByteOffset(mdl), 100u);
    EXPECT_EQ(MmGetMdlByteCount(mdl), 5000u);
    EXPECT_EQ(MmGetMdlVirtualAddress(mdl), buffer + 100);
    MmProbeAndLockPages(mdl, KernelMode, IoWriteAccess);
    EXPECT_EQ(mdl->MdlFlags & (MDL_PAGES_LOCKED | MDL_WRITE_OPERATION),
              MDL_PAGES_LOCKED | MDL_WRITE_OPERATION);
    EXPECT_EQ(MmGetSystemAddressForMdlSafe(mdl, NormalPagePriority | MdlMappingNoExecute), buffer + 100);
    EXPECT_NE(mdl->MdlFlags & MDL_MAPPED_TO_SYSTEM_VA, 0);
    MmUnlockPages(mdl);
    IoFreeMdl(mdl);
    EXPECT_EQ(IoAllocateMdl(buffer, 0, FALSE, FALSE, nullptr), nullptr);
}

TEST(Mdl, NonPagedMdlsAreMappedWithoutLocking)
{
    unsigned char block[64];
    PMDL mdl = IoAllocateMdl(block, sizeof block, FALSE, FALSE, nullptr);
    MmBuildMdlForNonPagedPool(mdl);
    EXPECT_EQ(MmGetSystemAddressForMdlSafe(mdl, NormalPagePriority), block);
    IoFreeMdl(mdl);
}

TEST(Mdl, SecondaryBuffersChainBehindTheIrpsFirst)
{
    unsigned char a[8], b[8], c[8];
    PIRP irp = IoAllocateIrp(1, FALSE);
    PMDL first = IoAllocateMdl(a, 8, FALSE, FALSE, irp);
    PMDL second = IoAllocateMdl(b, 8, TRUE, FALSE, irp);
    PMDL third = IoAllocateMdl(c, 8, TRUE, FALSE, irp);
    EXPECT_EQ(irp->MdlAddress, first);
    EXPECT_EQ(first->Next, second);
    EXPECT_EQ(second->Next, third);
    EXPECT_EQ(third->Next, nullptr);
    IoFreeMdl(third);
    IoFreeMdl(second);
    IoFreeMdl(first);
    IoFreeIrp(irp);
}

TEST(Mdl, MisuseIsReportedAndLeftMdlsAreListed)
{
    QuietBreaches quiet;
    unsigned char block[16];
    PMDL mdl = IoAllocateMdl(block, sizeof block, FALSE, FALSE, nullptr);
    EXPECT_EQ(MmGetSystemAddressForMdlSafe(mdl, NormalPagePriority), nullptr); // neither locked nor non-paged
    MmUnlockPages(mdl);
    MmProbeAndLockPages(mdl, KernelMode, IoReadAccess);
    MmProbeAndLockPages(mdl, KernelMode, IoReadAccess);
    auto breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 3u);
    EXPECT_THAT(breaches[0].detail, HasSubstr("neither locked nor non-paged"));
    EXPECT_THAT(breaches[1].detail, HasSubstr("not locked"));
    EXPECT_THAT(breaches[2].detail, HasSubstr("already locked"));

    standin::VerifierCheckLeaks();
    breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_THAT(breaches[0].detail, HasSubstr("mdls: MDL"));
    EXPECT_THAT(breaches[0].detail, HasSubstr("over 16 bytes"));

    IoFreeMdl(mdl); // still locked
    IoFreeMdl(mdl); // gone
    breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_THAT(breaches[0].detail, HasSubstr("still locked"));
    EXPECT_THAT(breaches[1].detail, HasSubstr("not a live MDL"));
    EXPECT_EQ(standin::LiveMdlCount(), 0u);
}
