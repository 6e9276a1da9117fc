// The arena heap: block sizes and headers, carving from the middle, merging, both fit modes, the
// release callback, descriptor exhaustion, and a randomised allocate/free run checked against a
// reference model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <tuple>
#include <map>
#include <random>
#include <vector>

#include "kernel/heap.h"

namespace {

constexpr size_t kDescriptor = sizeof(HeapDescriptor);

uint32_t HeaderOf(const void* p)
{
    uint32_t header;
    std::memcpy(&header, static_cast<const uint8_t*>(p) - 8, sizeof header);
    return header;
}

const uint8_t* BlockOf(const void* p)
{
    return static_cast<const uint8_t*>(p) - 8;
}

struct FreeBlock {
    const uint8_t* address;
    size_t size;
    bool operator==(const FreeBlock&) const = default;
};

// The free blocks by address, checked against the size list, the spare list and the counts.
std::vector<FreeBlock> CheckedFreeBlocks(const Heap& heap)
{
    std::vector<FreeBlock> byAddress;
    const uint8_t* middleTop = heap.LowMark() + heap.MiddleSize();
    const uint8_t* end = heap.Base() + heap.TotalSize();
    auto inDescriptorArea = [&](const HeapDescriptor* d) {
        auto offset = reinterpret_cast<const uint8_t*>(d) - heap.Base();
        return reinterpret_cast<const uint8_t*>(d) >= heap.Base() &&
               reinterpret_cast<const uint8_t*>(d) + kDescriptor <= heap.LowMark() &&
               offset % kDescriptor == 0;
    };
    const HeapDescriptor* previous = nullptr;
    for (const HeapDescriptor* d = heap.AddressListHead(); d; d = d->addressNext) {
        EXPECT_TRUE(inDescriptorArea(d));
        EXPECT_EQ(d->addressPrevious, previous);
        EXPECT_GE(d->address, middleTop);
        EXPECT_LE(d->address + d->size, end);
        EXPECT_EQ(d->size % 8, 0u);
        EXPECT_GE(d->size, 8u);
        if (previous) { // ordered, and never two free blocks touching: they would have merged
            EXPECT_LT(previous->address + previous->size, d->address);
        }
        byAddress.push_back({d->address, d->size});
        previous = d;
        if (byAddress.size() > heap.TotalSize())
            break;
    }
    std::vector<FreeBlock> bySize;
    previous = nullptr;
    for (const HeapDescriptor* d = heap.SizeListHead(); d; d = d->sizeNext) {
        EXPECT_EQ(d->sizePrevious, previous);
        if (previous) {
            EXPECT_GE(previous->size, d->size);
        }
        bySize.push_back({d->address, d->size});
        previous = d;
        if (bySize.size() > heap.TotalSize())
            break;
    }
    EXPECT_EQ(heap.SizeListTail(), previous);
    auto byAddressOrder = [](const FreeBlock& a, const FreeBlock& b) { return a.address < b.address; };
    std::sort(bySize.begin(), bySize.end(), byAddressOrder);
    EXPECT_EQ(bySize, byAddress);

    size_t spares = 0;
    for (const HeapDescriptor* d = heap.SpareListHead(); d && spares <= heap.TotalSize();
         d = d->addressNext) {
        EXPECT_TRUE(inDescriptorArea(d));
        ++spares;
    }
    EXPECT_EQ(spares, heap.SpareDescriptors());
    // Every descriptor carved is either spare or describes a free block.
    EXPECT_EQ(static_cast<size_t>(heap.LowMark() - heap.Base()), (spares + byAddress.size()) * kDescriptor);
    return byAddress;
}

size_t FreeBytes(const std::vector<FreeBlock>& blocks)
{
    size_t sum = 0;
    for (const auto& b : blocks)
        sum += b.size;
    return sum;
}

class HeapTest : public testing::Test {
protected:
    void Make(size_t size, ULONG fitMode)
    {
        arena.assign(size + 16, 0);
        heap.Initialize(Aligned(), size, fitMode);
    }
    uint8_t* Aligned()
    {
        auto p = reinterpret_cast<uintptr_t>(arena.data());
        return reinterpret_cast<uint8_t*>((p + 15) & ~uintptr_t{15});
    }
    const uint8_t* Top() const { return heap.Base() + heap.TotalSize(); }

    std::vector<uint8_t> arena;
    Heap heap;
};

} // namespace

TEST_F(HeapTest, GrossSizeIsRequestPlusHeaderRoundedToEight)
{
    Make(4096, Heap::kBestFit);
    void* one = heap.Allocate(1);
    void* eight = heap.Allocate(8);
    void* nine = heap.Allocate(9);
    EXPECT_EQ(HeaderOf(one), 16u);
    EXPECT_EQ(HeaderOf(eight), 16u);
    EXPECT_EQ(HeaderOf(nine), 24u);
    EXPECT_EQ(heap.Allocate(0), nullptr);
    EXPECT_EQ(heap.AllocatedBlocks(), 3u);
    // Carved downwards from the arena's top.
    EXPECT_EQ(BlockOf(one), Top() - 16);
    EXPECT_EQ(BlockOf(eight), Top() - 32);
    EXPECT_EQ(BlockOf(nine), Top() - 56);
    // The last block returns to the middle and is carved again at the same place.
    heap.Free(nine);
    EXPECT_EQ(heap.Allocate(9), nine);
    EXPECT_EQ(Heap::GrossSize(16), 24u);
    EXPECT_EQ(Heap::GrossSize(17), 32u);
}

TEST_F(HeapTest, InitializeAlignsTheArenaAndRefusesWhatCannotFit)
{
    arena.assign(4096 + 16, 0);
    heap.Initialize(Aligned() + 3, 1000, Heap::kBestFit);
    EXPECT_EQ(heap.Base(), Aligned() + 8);
    EXPECT_EQ(heap.TotalSize(), 992u); // 1000 - 5 skipped, down to a multiple of 8
    EXPECT_EQ(heap.MiddleSize(), 992u);
    EXPECT_EQ(heap.Allocate(993), nullptr); // more than the arena
    EXPECT_EQ(heap.Allocate(SIZE_MAX), nullptr);
    void* all = heap.Allocate(992 - 8);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(BlockOf(all), heap.Base());
    EXPECT_EQ(heap.MiddleSize(), 0u);

    Heap empty;
    empty.Initialize(nullptr, 4096, Heap::kBestFit);
    EXPECT_EQ(empty.Allocate(1), nullptr);
    EXPECT_FALSE(empty.Contains(nullptr));
}

TEST_F(HeapTest, FreedBlockJoinsTheMiddleOnlyWhileItBordersIt)
{
    Make(4096, Heap::kBestFit);
    void* older = heap.Allocate(24);
    void* recent = heap.Allocate(24);
    size_t middle = heap.MiddleSize();
    heap.Free(recent);
    EXPECT_EQ(heap.MiddleSize(), middle + 32);
    EXPECT_EQ(heap.AddressListHead(), nullptr);
    EXPECT_EQ(heap.Allocate(24), recent);
    middle = heap.MiddleSize();

    // With the recent block in use again, the older one borders nothing free: it goes on the free
    // list, merged with nothing.
    heap.Free(older);
    auto blocks = CheckedFreeBlocks(heap);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], (FreeBlock{BlockOf(older), 32}));
    EXPECT_EQ(heap.MiddleSize(), middle);

    // Freeing the recent block now grows the middle by its own size only; the free block above it
    // stays on the list.
    heap.Free(recent);
    EXPECT_EQ(heap.MiddleSize(), middle + 32);
    EXPECT_EQ(CheckedFreeBlocks(heap), blocks);
    EXPECT_EQ(heap.AllocatedBlocks(), 0u);
}

TEST_F(HeapTest, AdjacentFreeBlocksMergeInEitherOrder)
{
    for (bool lowerFirst : {false, true}) {
        SCOPED_TRACE(lowerFirst ? "lower first" : "upper first");
        Make(4096, Heap::kBestFit);
        void* top = heap.Allocate(40);
        void* upper = heap.Allocate(40);
        void* lower = heap.Allocate(24);
        void* guard = heap.Allocate(8); // keeps both away from the middle
        heap.Free(lowerFirst ? lower : upper);
        heap.Free(lowerFirst ? upper : lower);
        auto blocks = CheckedFreeBlocks(heap);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(blocks[0], (FreeBlock{BlockOf(lower), 48 + 32}));
        // One allocation of the summed size takes the merged block, at the lower address.
        EXPECT_EQ(heap.Allocate(80 - 8), lower);
        EXPECT_TRUE(CheckedFreeBlocks(heap).empty());
        heap.Free(top);
        heap.Free(guard);
    }
}

TEST_F(HeapTest, BlockBetweenTwoFreeBlocksMergesAllThree)
{
    Make(4096, Heap::kBestFit);
    heap.Allocate(8);
    void* a = heap.Allocate(8);
    void* b = heap.Allocate(16);
    void* c = heap.Allocate(24);
    heap.Allocate(8);
    heap.Free(a);
    heap.Free(c);
    EXPECT_EQ(CheckedFreeBlocks(heap).size(), 2u);
    heap.Free(b);
    auto blocks = CheckedFreeBlocks(heap); // also: the descriptor of the upper block was given back
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], (FreeBlock{BlockOf(c), 16 + 24 + 32}));
}

// Three free blocks of 48, 32 and 64 bytes, kept apart by blocks in use.
class HeapFitTest : public HeapTest {
protected:
    void MakeHoles(ULONG fitMode)
    {
        Make(4096, fitMode);
        hole48 = heap.Allocate(40);
        heap.Allocate(8);
        hole32 = heap.Allocate(24);
        heap.Allocate(8);
        hole64 = heap.Allocate(56);
        heap.Allocate(8);
        heap.Free(hole48);
        heap.Free(hole32);
        heap.Free(hole64);
        ASSERT_EQ(CheckedFreeBlocks(heap).size(), 3u);
        ASSERT_EQ(heap.SizeListHead()->size, 64u);
    }
    void* hole48 = nullptr;
    void* hole32 = nullptr;
    void* hole64 = nullptr;
};

TEST_F(HeapFitTest, BestFitSplitsTheSmallestLargerBlock)
{
    MakeHoles(Heap::kBestFit);
    void* p = heap.Allocate(16); // gross 24: the 32-byte block is the smallest that fits
    EXPECT_EQ(p, hole32);
    auto blocks = CheckedFreeBlocks(heap);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[1], (FreeBlock{BlockOf(hole32) + 24, 8})); // the rest stays in place
    EXPECT_EQ(heap.SizeListTail()->size, 8u);
    // An exact size is taken wherever it is in the size list.
    EXPECT_EQ(heap.Allocate(40), hole48);
}

TEST_F(HeapFitTest, SplitLargestModeSplitsTheFirstLargerBlockMet)
{
    MakeHoles(Heap::kSplitLargest);
    EXPECT_EQ(heap.Allocate(16), hole64); // sizes now 48, 40, 32
    // The exact 32-byte block further down loses to the largest.
    EXPECT_EQ(heap.Allocate(24), hole48); // sizes now 40, 32, 16
    EXPECT_EQ(heap.SizeListHead()->size, 40u);
    // An exact fit at the head is taken whole.
    EXPECT_EQ(heap.Allocate(32), static_cast<uint8_t*>(hole64) + 24);
    auto blocks = CheckedFreeBlocks(heap);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], (FreeBlock{BlockOf(hole32), 32}));
    EXPECT_EQ(blocks[1], (FreeBlock{BlockOf(hole48) + 32, 16}));
}

TEST_F(HeapTest, SizeListKeepsEqualSizesInArrivalOrder)
{
    Make(4096, Heap::kBestFit);
    std::vector<void*> p;
    for (int i = 0; i < 6; ++i)
        p.push_back(heap.Allocate(8));
    heap.Free(p[0]);
    heap.Free(p[4]);
    heap.Free(p[2]);
    const HeapDescriptor* d = heap.SizeListHead();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->address, BlockOf(p[0]));
    EXPECT_EQ(d->sizeNext->address, BlockOf(p[4]));
    EXPECT_EQ(d->sizeNext->sizeNext->address, BlockOf(p[2]));
    // With equal sizes the first met is taken.
    EXPECT_EQ(heap.Allocate(8), p[0]);
}

TEST_F(HeapTest, ForeignPointersGoToTheReleaseCallback)
{
    Make(1024, Heap::kBestFit);
    int outside = 0;
    heap.Free(&outside); // no callback: nothing happens

    static std::vector<std::pair<Heap*, void*>> calls;
    calls.clear();
    heap.SetReleaseCallback([](Heap* h, void* p) { calls.emplace_back(h, p); });
    heap.Free(&outside);
    heap.Free(nullptr);
    heap.Free(const_cast<uint8_t*>(Top())); // one past the arena
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], std::make_pair(&heap, static_cast<void*>(&outside)));
    EXPECT_EQ(calls[1].second, nullptr);
    EXPECT_EQ(calls[2].second, Top());
    EXPECT_EQ(heap.MiddleSize(), 1024u);

    // Initialize takes the callback away again.
    heap.Initialize(Aligned(), 1024, Heap::kBestFit);
    heap.Free(&outside);
    EXPECT_EQ(calls.size(), 3u);
}

TEST_F(HeapTest, PointersThatNameNoBlockAreLeftAlone)
{
    Make(1024, Heap::kBestFit);
    void* a = heap.Allocate(8);
    void* b = heap.Allocate(8);
    heap.Allocate(8);
    heap.Free(a);
    const auto before = CheckedFreeBlocks(heap);
    const size_t middle = heap.MiddleSize();

    heap.Free(a);                                     // a second release
    heap.Free(const_cast<uint8_t*>(heap.Base()) + 8); // the descriptor area
    heap.Free(static_cast<uint8_t*>(b) + 8);          // inside a block: its "header" reads 0
    const uint32_t pastTheArena = 0x10000;
    std::memcpy(b, &pastTheArena, 4);
    heap.Free(static_cast<uint8_t*>(b) + 8);
    const uint32_t overlapsFreeBlock = 16; // [b, b + 16) runs into a's free block at b + 8
    std::memcpy(b, &overlapsFreeBlock, 4);
    heap.Free(static_cast<uint8_t*>(b) + 8);
    EXPECT_EQ(CheckedFreeBlocks(heap), before);
    EXPECT_EQ(heap.MiddleSize(), middle);
    EXPECT_EQ(heap.AllocatedBlocks(), 2u);
}

// Blocks of 1 byte until the arena is full: the first costs 16 bytes, each later one 16 plus the
// 48-byte descriptor carved for it, so 32,768 bytes hold 512 of them (docs/driver-heap.md).
TEST_F(HeapTest, ArenaCapacityFollowsTheDescriptorArithmetic)
{
    Make(32768, Heap::kBestFit);
    size_t blocks = 0;
    while (heap.Allocate(1))
        ++blocks;
    EXPECT_EQ(blocks, 512u);
    EXPECT_EQ(heap.LowMark() - heap.Base(), static_cast<ptrdiff_t>(512 * kDescriptor));
    EXPECT_EQ(heap.SpareDescriptors(), 512u);
    EXPECT_EQ(heap.MiddleSize(), 0u);
}

TEST_F(HeapTest, DescriptorExhaustionLosesOnlyIsolatedBlocks)
{
    // One large block and a guard below it use the arena up, with one descriptor carved.
    Make(4096, Heap::kBestFit);
    void* large = heap.Allocate(4096 - 64 - 8);
    void* guard = heap.Allocate(8);
    ASSERT_NE(guard, nullptr);
    ASSERT_EQ(heap.MiddleSize(), 0u);
    heap.Free(large); // takes the only spare descriptor
    ASSERT_EQ(heap.SpareDescriptors(), 0u);

    // Small blocks split off the free block; no descriptor can be carved for them.
    std::vector<void*> small;
    for (int i = 0; i < 5; ++i)
        small.push_back(heap.Allocate(8));
    EXPECT_EQ(small[0], large);
    const size_t freeBefore = FreeBytes(CheckedFreeBlocks(heap));

    heap.Free(small[1]); // between two blocks in use: needs a descriptor, none left
    auto blocks = CheckedFreeBlocks(heap);
    EXPECT_EQ(FreeBytes(blocks), freeBefore);
    EXPECT_EQ(heap.AllocatedBlocks(), 5u);

    heap.Free(small[4]); // joins the free block above it without a descriptor
    blocks = CheckedFreeBlocks(heap);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].address, BlockOf(small[4]));
    EXPECT_EQ(FreeBytes(blocks), freeBefore + 16);

    heap.Free(guard); // joins the middle without a descriptor
    EXPECT_EQ(heap.MiddleSize(), 16u);
    EXPECT_EQ(heap.AllocatedBlocks(), 3u);
    // The lists still work: the free block serves requests.
    EXPECT_EQ(heap.Allocate(8), small[4]);
}

// A random run of allocations and releases against a model of the blocks in use. After every
// step: the lists are consistent, no two blocks overlap, every block keeps its contents, and every
// byte of the arena is in use, free, in the middle, in the descriptor area or lost; bytes are lost
// only by a release that found no descriptor. A starved run begins with the middle used up and no
// spare descriptor, so that its releases meet descriptor exhaustion.
class HeapModelTest : public testing::TestWithParam<std::tuple<ULONG, size_t, uint32_t, bool>> {};

TEST_P(HeapModelTest, RandomRunKeepsEveryByteAccountedFor)
{
    const auto [fitMode, arenaSize, seed, starved] = GetParam();
    std::vector<uint8_t> arena(arenaSize + 16);
    auto* base =
        reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(arena.data()) + 15) & ~uintptr_t{15});
    Heap heap;
    heap.Initialize(base, arenaSize, fitMode);

    struct Live {
        size_t gross;
        size_t n;
        uint8_t fill;
    };
    std::map<uint8_t*, Live> live; // by the caller's pointer
    std::mt19937 random(seed);
    size_t lost = 0;
    size_t losses = 0;
    uint8_t nextFill = 1;
    void* guard = nullptr;
    if (starved) {
        void* large = heap.Allocate(arenaSize - 64 - 8);
        guard = heap.Allocate(8);
        ASSERT_NE(guard, nullptr);
        heap.Free(large);
        ASSERT_EQ(heap.SpareDescriptors(), 0u);
        ASSERT_EQ(heap.MiddleSize(), 0u);
        // The guard stays, so the middle never grows back beyond what descriptors give back.
    }

    auto accounted = [&](const std::vector<FreeBlock>& blocks) {
        size_t inUse = guard ? 16 : 0;
        for (const auto& [p, l] : live)
            inUse += l.gross;
        return static_cast<size_t>(heap.LowMark() - heap.Base()) + heap.MiddleSize() + FreeBytes(blocks) +
               inUse;
    };

    for (int step = 0; step < 4000; ++step) {
        const bool allocate = live.empty() || random() % 100 < 55;
        if (allocate) {
            size_t n = random() % 4 == 0 ? 1 + random() % 600 : 1 + random() % 64;
            auto* p = static_cast<uint8_t*>(heap.Allocate(n));
            if (!p)
                continue;
            const size_t gross = Heap::GrossSize(n);
            ASSERT_EQ(HeaderOf(p), gross);
            ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
            ASSERT_GE(p - 8, heap.LowMark() + heap.MiddleSize());
            ASSERT_LE(p - 8 + gross, heap.Base() + heap.TotalSize());
            // No overlap with any block in use.
            auto after = live.lower_bound(p);
            if (after != live.end()) {
                ASSERT_LE(p - 8 + gross, after->first - 8);
            }
            if (after != live.begin()) {
                ASSERT_LE(std::prev(after)->first - 8 + std::prev(after)->second.gross, p - 8);
            }
            const uint8_t fill = nextFill;
            nextFill = nextFill == 255 ? 1 : nextFill + 1;
            std::memset(p, fill, n);
            live[p] = {gross, n, fill};
        } else {
            auto it = live.begin();
            std::advance(it, random() % live.size());
            auto [p, l] = *it;
            for (size_t i = 0; i < l.n; ++i)
                ASSERT_EQ(p[i], l.fill) << "block at " << static_cast<void*>(p) << " overwritten";
            const bool couldLose = heap.SpareDescriptors() == 0 && heap.MiddleSize() < kDescriptor;
            const size_t before = accounted(CheckedFreeBlocks(heap));
            live.erase(it);
            heap.Free(p);
            const size_t after = accounted(CheckedFreeBlocks(heap));
            if (after + l.gross == before) {
                ASSERT_TRUE(couldLose) << "a block was lost while descriptors were to be had";
                lost += l.gross;
                ++losses;
            } else {
                ASSERT_EQ(after, before);
            }
        }
        const auto blocks = CheckedFreeBlocks(heap);
        ASSERT_EQ(accounted(blocks) + lost, heap.TotalSize());
        for (const auto& b : blocks) { // free blocks never overlap blocks in use
            auto above = live.lower_bound(const_cast<uint8_t*>(b.address) + 8);
            if (above != live.end()) {
                ASSERT_LE(b.address + b.size, above->first - 8);
            }
            if (above != live.begin()) {
                ASSERT_LE(std::prev(above)->first - 8 + std::prev(above)->second.gross, b.address);
            }
        }
        ASSERT_EQ(heap.AllocatedBlocks(), live.size() + (guard ? 1 : 0));
        if (HasFatalFailure())
            return;
    }
    if (starved) {
        EXPECT_GT(losses, 0u);
    }
    RecordProperty("lost_blocks", static_cast<int>(losses));
}

INSTANTIATE_TEST_SUITE_P(FitModesAndArenas, HeapModelTest,
                         testing::Combine(testing::Values(Heap::kSplitLargest, Heap::kBestFit),
                                          testing::Values(size_t{2048}, size_t{32768}),
                                          testing::Values(1u, 2u, 3u), testing::Bool()));
