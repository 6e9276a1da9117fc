// The executive pool: block boundaries, accounting, misuse reports, IRQL rules, failure injection
// and the leak report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "Breaches.h"
#include "km/irql.h"
#include "km/pool.h"
#include "standin/pool.h"
#include "standin/verifier.h"

using standin::MakePoolTag;
using standin::PoolUsageByTag;
using testing::HasSubstr;

namespace {

constexpr ULONG kWdm = MakePoolTag("Wdm ");
constexpr ULONG kOther = MakePoolTag("Tst1");

// One tag's counts since the object was made, so that a repeated run sees the same figures.
class TagUsage {
public:
    explicit TagUsage(ULONG tag) : tag_(tag), start_(PoolUsageByTag(tag)) {}
    standin::PoolUsage operator()() const
    {
        const auto now = PoolUsageByTag(tag_);
        return {now.outstandingBlocks - start_.outstandingBlocks, now.outstandingBytes - start_.outstandingBytes,
                now.totalBlocks - start_.totalBlocks, now.totalBytes - start_.totalBytes,
                now.failedAllocations - start_.failedAllocations};
    }

private:
    ULONG tag_;
    standin::PoolUsage start_;
};

uint64_t SequenceOf(const void* p)
{
    standin::PoolBlockInfo info;
    EXPECT_TRUE(standin::PoolQueryBlock(p, &info));
    return info.sequence;
}

} // namespace

TEST(PoolTag, IsFourCharactersLowByteFirst)
{
    static_assert(MakePoolTag("Wdm ") == 0x206D6457);
    EXPECT_EQ(standin::PoolTagText(0x206D6457), "Wdm ");
    EXPECT_EQ(standin::PoolTagText(0x00016457), "Wd\\x01\\x00");
    EXPECT_EQ(standin::PoolTypeName(PagedPoolCacheAligned), "PagedPoolCacheAligned");
    EXPECT_EQ(standin::PoolTypeName(NonPagedPoolNx), "NonPagedPoolNx");
    EXPECT_EQ(standin::PoolTypeName(static_cast<POOL_TYPE>(3)), "POOL_TYPE(3)");
}

TEST(Pool, BlocksAreAlignedAndUsableToTheirLastByte)
{
    for (POOL_TYPE type : {NonPagedPool, PagedPool, NonPagedPoolNx, NonPagedPoolCacheAligned, PagedPoolCacheAligned}) {
        const uintptr_t alignment = (type == NonPagedPoolCacheAligned || type == PagedPoolCacheAligned) ? 64 : 16;
        for (SIZE_T size : {1, 15, 16, 17, 63, 64, 65, 100, 4096}) {
            auto* p = static_cast<unsigned char*>(ExAllocatePoolWithTag(type, size, kWdm));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignment, 0u) << standin::PoolTypeName(type) << " " << size;
            for (SIZE_T i = 0; i < size; ++i)
                p[i] = static_cast<unsigned char>(i);
            ExFreePoolWithTag(p, kWdm);
        }
    }
}

TEST(Pool, ZeroByteBlocksAreValidAndUnique)
{
    void* a = ExAllocatePoolWithTag(NonPagedPool, 0, kWdm);
    void* b = ExAllocatePoolWithTag(NonPagedPool, 0, kWdm);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    standin::PoolBlockInfo info;
    ASSERT_TRUE(standin::PoolQueryBlock(a, &info));
    EXPECT_EQ(info.size, 0u);
    EXPECT_EQ(info.tag, kWdm);
    ExFreePoolWithTag(a, kWdm);
    ExFreePool(b);
    EXPECT_FALSE(standin::PoolQueryBlock(a, nullptr));
}

TEST(Pool, CountsOutstandingAndTotalsPerTagAndType)
{
    const ULONG tag = MakePoolTag("Ac01");
    const TagUsage tagUsage(tag);
    const auto pagedBefore = standin::PoolUsageByType(PagedPool);
    const auto totalBefore = standin::PoolUsageTotal();
    void* a = ExAllocatePoolWithTag(NonPagedPool, 10, tag);
    void* b = ExAllocatePoolWithTag(PagedPool, 20, tag);
    void* c = ExAllocatePoolWithTag(PagedPool, 30, tag);
    auto usage = tagUsage();
    EXPECT_EQ(usage.outstandingBlocks, 3u);
    EXPECT_EQ(usage.outstandingBytes, 60u);
    EXPECT_EQ(usage.totalBlocks, 3u);
    EXPECT_EQ(usage.totalBytes, 60u);
    const auto paged = standin::PoolUsageByType(PagedPool);
    EXPECT_EQ(paged.outstandingBlocks - pagedBefore.outstandingBlocks, 2u);
    EXPECT_EQ(paged.outstandingBytes - pagedBefore.outstandingBytes, 50u);

    ExFreePoolWithTag(b, tag);
    usage = tagUsage();
    EXPECT_EQ(usage.outstandingBlocks, 2u);
    EXPECT_EQ(usage.outstandingBytes, 40u);
    EXPECT_EQ(usage.totalBlocks, 3u);
    EXPECT_EQ(usage.totalBytes, 60u);
    ExFreePoolWithTag(a, tag);
    ExFreePoolWithTag(c, tag);
    EXPECT_EQ(tagUsage().outstandingBlocks, 0u);
    EXPECT_EQ(tagUsage().outstandingBytes, 0u);
    const auto totalAfter = standin::PoolUsageTotal();
    EXPECT_EQ(totalAfter.outstandingBlocks, totalBefore.outstandingBlocks);
    EXPECT_EQ(totalAfter.totalBlocks - totalBefore.totalBlocks, 3u);
    EXPECT_EQ(PoolUsageByTag(MakePoolTag("Nvr1")).totalBlocks, 0u);
}

TEST(Pool, UntaggedBlocksCarryNoneAndSequenceNumbersCountBlocks)
{
    void* a = ExAllocatePool(NonPagedPool, 8);
    void* b = ExAllocatePoolWithTag(NonPagedPool, 8, kWdm);
    standin::PoolBlockInfo info;
    ASSERT_TRUE(standin::PoolQueryBlock(a, &info));
    EXPECT_EQ(info.tag, MakePoolTag("None"));
    EXPECT_EQ(SequenceOf(b), SequenceOf(a) + 1);
    ExFreePoolWithTag(a, MakePoolTag("None"));
    ExFreePoolWithTag(b, kWdm);
}

TEST(PoolMisuse, FreeWithAnotherTagIsReportedAndStillFrees)
{
    QuietBreaches breaches;
    void* p = ExAllocatePoolWithTag(NonPagedPool, 24, kWdm);
    ExFreePoolWithTag(p, kOther);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "pool");
    EXPECT_THAT(found[0].detail, HasSubstr("ExFreePoolWithTag with tag 'Tst1' of a block allocated with tag 'Wdm ', "
                                           "24 bytes of NonPagedPool"));
    EXPECT_FALSE(standin::PoolQueryBlock(p, nullptr));
}

TEST(PoolMisuse, TagZeroAndExFreePoolSkipTheComparison)
{
    QuietBreaches breaches;
    ExFreePoolWithTag(ExAllocatePoolWithTag(NonPagedPool, 4, kWdm), 0);
    ExFreePool(ExAllocatePoolWithTag(PagedPool, 4, kOther));
    EXPECT_TRUE(breaches.Take().empty());
}

TEST(PoolMisuse, SecondFreeIsReportedAndChangesNothing)
{
    QuietBreaches breaches;
    const ULONG tag = MakePoolTag("Df01");
    const TagUsage tagUsage(tag);
    void* p = ExAllocatePoolWithTag(NonPagedPool, 40, tag);
    void* keep = ExAllocatePoolWithTag(NonPagedPool, 8, tag);
    ExFreePoolWithTag(p, tag);
    ExFreePoolWithTag(p, tag);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "pool");
    EXPECT_THAT(found[0].detail, HasSubstr("that was already freed (tag 'Df01', 40 bytes of NonPagedPool"));
    const auto usage = tagUsage();
    EXPECT_EQ(usage.outstandingBlocks, 1u);
    EXPECT_EQ(usage.outstandingBytes, 8u);
    EXPECT_TRUE(standin::PoolQueryBlock(keep, nullptr));
    ExFreePoolWithTag(keep, tag);
}

TEST(PoolMisuse, ForeignInteriorAndNullPointersAreReported)
{
    QuietBreaches breaches;
    int onStack = 0;
    auto* block = static_cast<char*>(ExAllocatePoolWithTag(NonPagedPool, 32, kWdm));
    ExFreePool(&onStack);
    ExFreePoolWithTag(block + 8, kWdm);
    ExFreePool(nullptr);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_THAT(found[0].detail, HasSubstr("that the pool never handed out"));
    EXPECT_THAT(found[1].detail, HasSubstr("that lies 8 bytes inside a block (tag 'Wdm ', 32 bytes"));
    EXPECT_EQ(found[2].detail, "ExFreePool of a null pointer");
    EXPECT_TRUE(standin::PoolQueryBlock(block, nullptr));
    ExFreePoolWithTag(block, kWdm);
}

TEST(PoolMisuse, GuardOverrunIsReportedNamingTheTag)
{
    QuietBreaches breaches;
    auto* p = static_cast<unsigned char*>(ExAllocatePoolWithTag(NonPagedPool, 24, kWdm));
    p[24] = 0; // one past the end
    ExFreePoolWithTag(p, kWdm);
    // A cache-aligned block's padding up to the line counts as guard too.
    auto* q = static_cast<unsigned char*>(ExAllocatePoolWithTag(NonPagedPoolCacheAligned, 1, kOther));
    q[40] = 0;
    ExFreePool(q);
    auto* intact = static_cast<unsigned char*>(ExAllocatePoolWithTag(NonPagedPool, 16, kWdm));
    intact[15] = 0xFB;
    ExFreePool(intact);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].rule, "pool");
    EXPECT_THAT(found[0].detail, HasSubstr("guard behind the block was overwritten (tag 'Wdm ', 24 bytes"));
    EXPECT_THAT(found[1].detail, HasSubstr("(tag 'Tst1', 1 bytes of NonPagedPoolCacheAligned"));
}

TEST(PoolMisuse, InvalidPoolTypeGetsNull)
{
    QuietBreaches breaches;
    for (int type : {3, 7, 35, 513, 1000})
        EXPECT_EQ(ExAllocatePoolWithTag(static_cast<POOL_TYPE>(type), 8, kWdm), nullptr) << type;
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[0].detail, "ExAllocatePoolWithTag with invalid pool type 3 (tag 'Wdm ')");
}

TEST(PoolMisuse, OversizedRequestGetsNullWithoutBreach)
{
    const ULONG tag = MakePoolTag("Big1");
    const TagUsage tagUsage(tag);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPool, SIZE_MAX, tag), nullptr);
    EXPECT_EQ(ExAllocatePoolWithTag(PagedPool, standin::kPoolMaxBlockBytes + 1, tag), nullptr);
    EXPECT_EQ(tagUsage().failedAllocations, 2u);
    EXPECT_EQ(tagUsage().totalBlocks, 0u);
}

TEST(PoolIrql, NonPagedAtDispatchAndPagedAtApcAreAllowed)
{
    KIRQL old;
    KeRaiseIrql(APC_LEVEL, &old);
    ExFreePool(ExAllocatePoolWithTag(PagedPool, 8, kWdm));
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    ExFreePool(ExAllocatePoolWithTag(NonPagedPool, 8, kWdm));
    KeLowerIrql(PASSIVE_LEVEL);
}

TEST(PoolIrql, PagedPoolAtDispatchIsReportedButSatisfied)
{
    QuietBreaches breaches;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    void* p = ExAllocatePoolWithTag(PagedPoolCacheAligned, 8, kWdm);
    EXPECT_NE(p, nullptr);
    ExFreePool(p);
    KeLowerIrql(old);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].rule, "irql");
    EXPECT_EQ(found[0].detail, "ExAllocatePoolWithTag of PagedPoolCacheAligned at IRQL 2 (paged pool needs APC_LEVEL "
                               "or below; tag 'Wdm ')");
    EXPECT_EQ(found[1].rule, "irql");
    EXPECT_THAT(found[1].detail, HasSubstr("ExFreePool of paged pool at IRQL 2"));
}

TEST(PoolIrql, AnyPoolAboveDispatchIsReported)
{
    QuietBreaches breaches;
    KIRQL old;
    KeRaiseIrql(PROFILE_LEVEL, &old);
    void* p = ExAllocatePoolWithTag(NonPagedPool, 8, kWdm);
    EXPECT_NE(p, nullptr);
    ExFreePoolWithTag(p, kWdm);
    KeLowerIrql(old);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].detail, "ExAllocatePoolWithTag at IRQL 27 above DISPATCH_LEVEL (tag 'Wdm ', NonPagedPool)");
    EXPECT_THAT(found[1].detail, HasSubstr("ExFreePoolWithTag at IRQL 27 above DISPATCH_LEVEL"));
}

TEST(PoolInjection, NthRequestFromNowFailsOnce)
{
    const ULONG tag = MakePoolTag("In01");
    const TagUsage tagUsage(tag);
    standin::PoolFailNthAllocation(3);
    void* first = ExAllocatePoolWithTag(NonPagedPool, 8, tag);
    void* second = ExAllocatePoolWithTag(NonPagedPool, 8, tag);
    void* third = ExAllocatePoolWithTag(NonPagedPool, 8, tag);
    void* fourth = ExAllocatePoolWithTag(NonPagedPool, 8, tag);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);
    EXPECT_EQ(standin::PoolInjectedFailures(), 1u);
    EXPECT_EQ(tagUsage().failedAllocations, 1u);
    EXPECT_EQ(tagUsage().totalBlocks, 3u);
    for (void* p : {first, second, fourth})
        ExFreePool(p);
}

TEST(PoolInjection, TaggedRequestsFailUntilCleared)
{
    const ULONG failing = MakePoolTag("In02");
    standin::PoolFailTag(failing);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPool, 8, failing), nullptr);
    EXPECT_EQ(ExAllocatePoolWithTag(PagedPool, 0, failing), nullptr);
    void* other = ExAllocatePoolWithTag(NonPagedPool, 8, kWdm);
    EXPECT_NE(other, nullptr);
    ExFreePool(other);
    EXPECT_EQ(standin::PoolInjectedFailures(), 2u);
    standin::PoolClearFailures();
    EXPECT_EQ(standin::PoolInjectedFailures(), 0u);
    void* p = ExAllocatePoolWithTag(NonPagedPool, 8, failing);
    EXPECT_NE(p, nullptr);
    ExFreePool(p);
}

TEST(PoolInjection, RandomFailuresRepeatWithTheSeed)
{
    auto run = [](double probability, uint64_t seed) {
        standin::PoolFailRandomly(probability, seed);
        std::vector<bool> failed;
        for (int i = 0; i < 200; ++i) {
            void* p = ExAllocatePoolWithTag(NonPagedPool, 4, kWdm);
            failed.push_back(p == nullptr);
            if (p)
                ExFreePool(p);
        }
        const uint64_t injected = standin::PoolInjectedFailures();
        standin::PoolClearFailures();
        EXPECT_EQ(injected, static_cast<uint64_t>(std::count(failed.begin(), failed.end(), true)));
        return failed;
    };
    const auto first = run(0.5, 42);
    EXPECT_EQ(run(0.5, 42), first);
    EXPECT_NE(run(0.5, 43), first);
    const auto failures = std::count(first.begin(), first.end(), true);
    EXPECT_GT(failures, 50);
    EXPECT_LT(failures, 150);
    const auto all = run(1.0, 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), true), 200);
}

TEST(PoolLeaks, CheckListsEachOutstandingBlockOldestFirst)
{
    QuietBreaches breaches;
    void* a = ExAllocatePoolWithTag(NonPagedPool, 24, kWdm);
    void* b = ExAllocatePoolWithTag(PagedPool, 7, MakePoolTag("Lk\x01!"));
    EXPECT_EQ(standin::VerifierCheckLeaks(), 2u);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].rule, "leak");
    EXPECT_EQ(found[0].detail,
              "pool: tag 'Wdm ': 24 bytes of NonPagedPool, allocation #" + std::to_string(SequenceOf(a)));
    EXPECT_EQ(found[1].detail,
              "pool: tag 'Lk\\x01!': 7 bytes of PagedPool, allocation #" + std::to_string(SequenceOf(b)));
    ExFreePool(b);
    ExFreePool(a);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
}

TEST(PoolLeaks, ReportIsCappedWithASummaryLine)
{
    std::vector<void*> blocks;
    for (size_t i = 0; i < standin::kPoolLeakReportLimit + 3; ++i)
        blocks.push_back(ExAllocatePoolWithTag(NonPagedPool, 2, kWdm));
    const auto lines = standin::PoolLeakReport();
    ASSERT_EQ(lines.size(), standin::kPoolLeakReportLimit + 1);
    EXPECT_EQ(lines[0], "tag 'Wdm ': 2 bytes of NonPagedPool, allocation #" + std::to_string(SequenceOf(blocks[0])));
    EXPECT_EQ(lines.back(), "and 3 more blocks, 6 bytes");
    for (void* p : blocks)
        ExFreePool(p);
    EXPECT_TRUE(standin::PoolLeakReport().empty());
}

TEST(PoolThreads, ConcurrentAllocationAndFreeKeepExactCounts)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    constexpr ULONG tag = MakePoolTag("Thr1");
    const TagUsage tagUsage(tag);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::vector<void*> held;
            for (int i = 0; i < kRounds; ++i) {
                held.push_back(ExAllocatePoolWithTag(t % 2 ? PagedPool : NonPagedPool, i % 64, tag));
                if (held.size() == 8) {
                    for (void* p : held)
                        ExFreePoolWithTag(p, tag);
                    held.clear();
                }
            }
            for (void* p : held)
                ExFreePoolWithTag(p, tag);
        });
    }
    for (auto& t : threads)
        t.join();
    const auto usage = tagUsage();
    EXPECT_EQ(usage.outstandingBlocks, 0u);
    EXPECT_EQ(usage.outstandingBytes, 0u);
    EXPECT_EQ(usage.totalBlocks, uint64_t(kThreads) * kRounds);
    uint64_t bytesPerThread = 0;
    for (int i = 0; i < kRounds; ++i)
        bytesPerThread += i % 64;
    EXPECT_EQ(usage.totalBytes, kThreads * bytesPerThread);
}
