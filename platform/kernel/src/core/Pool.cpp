// The executive pool: tagged blocks with per-tag and per-type accounting, a guard area behind every
// block, a quarantine of freed blocks so that a second free is recognised, the "pool" leak check
// and failure injection.
#include "km/pool.h"

#include "km/irql.h"
#include "standin/pool.h"
#include "standin/verifier.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define POOL_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define POOL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define POOL_POISON(p, n) ((void)(p), (void)(n))
#define POOL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace standin {
namespace {

// Fresh blocks are not cleared on Windows either; a fixed pattern makes a read before the first
// write show up instead of passing on lucky zeros.
constexpr unsigned char kFreshFill = 0xCD;
constexpr unsigned char kGuardFill = 0xFB;
constexpr unsigned char kFreedFill = 0xDD;
constexpr size_t kMinGuardBytes = 16;
constexpr size_t kQuarantineBlocks = 1024;
constexpr size_t kQuarantineBytes = size_t(16) << 20;
constexpr ULONG kUntaggedTag = MakePoolTag("None");

struct Block {
    ULONG tag;
    SIZE_T size;
    POOL_TYPE type;
    uint64_t sequence;
    size_t footprint; // bytes taken from the system: the block, its guard and padding
};

struct PoolState {
    std::mutex lock;
    std::map<uintptr_t, Block> live;
    // Freed blocks still held back, so that their addresses cannot be handed out again yet.
    std::map<uintptr_t, Block> quarantined;
    std::deque<uintptr_t> quarantineOrder;
    size_t quarantinedBytes = 0;

    std::map<ULONG, PoolUsage> byTag;
    std::map<int, PoolUsage> byType;
    PoolUsage total;
    uint64_t nextSequence = 1;

    uint64_t failCountdown = 0; // 0: no n-th-request rule
    std::set<ULONG> failTags;
    double failProbability = 0;
    std::mt19937_64 failGenerator;
    uint64_t injected = 0;
};

PoolState& State()
{
    static PoolState* state = new PoolState; // never destroyed: threads may free at exit
    return *state;
}

bool IsValidType(POOL_TYPE type)
{
    switch (static_cast<int>(type)) {
    case 0: case 1: case 2: case 4: case 5: case 6:
    case 32: case 33: case 34: case 36: case 37: case 38:
    case 512: case 516: case 544:
        return true;
    default:
        return false;
    }
}

bool IsPaged(POOL_TYPE type)
{
    return (static_cast<int>(type) & 1) != 0;
}

size_t AlignmentOf(POOL_TYPE type)
{
    return (static_cast<int>(type) & 4) ? 64 : 16;
}

std::string Hex(const void* p)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

std::string Describe(const Block& b)
{
    return "tag '" + PoolTagText(b.tag) + "', " + std::to_string(b.size) + " bytes of " + PoolTypeName(b.type) +
           ", allocation #" + std::to_string(b.sequence);
}

void CountFailure(PoolState& s, ULONG tag, POOL_TYPE type)
{
    ++s.byTag[tag].failedAllocations;
    ++s.byType[type].failedAllocations;
    ++s.total.failedAllocations;
}

// Decides under the pool lock whether an injected failure answers this request. Every rule sees
// every request, so the n-th-request countdown runs whatever the other rules decide.
bool InjectFailure(PoolState& s, ULONG tag)
{
    bool fail = false;
    if (s.failCountdown != 0 && --s.failCountdown == 0)
        fail = true;
    if (s.failTags.count(tag))
        fail = true;
    if (s.failProbability > 0) {
        std::uniform_real_distribution<double> draw(0.0, 1.0);
        if (draw(s.failGenerator) < s.failProbability)
            fail = true;
    }
    if (fail)
        ++s.injected;
    return fail;
}

PVOID Allocate(const char* function, POOL_TYPE type, SIZE_T size, ULONG tag)
{
    auto& s = State();
    if (!IsValidType(type)) {
        {
            std::lock_guard<std::mutex> hold(s.lock);
            CountFailure(s, tag, type);
        }
        VerifierReport("pool", std::string(function) + " with invalid pool type " +
                                   std::to_string(static_cast<int>(type)) + " (tag '" + PoolTagText(tag) + "')");
        return nullptr;
    }
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL)
        VerifierReport("irql", std::string(function) + " at IRQL " + std::to_string(irql) +
                                   " above DISPATCH_LEVEL (tag '" + PoolTagText(tag) + "', " + PoolTypeName(type) + ")");
    else if (IsPaged(type) && irql >= DISPATCH_LEVEL)
        VerifierReport("irql", std::string(function) + " of " + PoolTypeName(type) + " at IRQL " + std::to_string(irql) +
                                   " (paged pool needs APC_LEVEL or below; tag '" + PoolTagText(tag) + "')");

    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (InjectFailure(s, tag) || size > kPoolMaxBlockBytes) {
            CountFailure(s, tag, type);
            return nullptr;
        }
    }

    const size_t alignment = AlignmentOf(type);
    const size_t footprint = (size + kMinGuardBytes + alignment - 1) / alignment * alignment;
    auto* memory = static_cast<unsigned char*>(std::aligned_alloc(alignment, footprint));
    if (memory) {
        std::memset(memory, kFreshFill, size);
        std::memset(memory + size, kGuardFill, footprint - size);
    }
    std::lock_guard<std::mutex> hold(s.lock);
    if (!memory) {
        CountFailure(s, tag, type);
        return nullptr;
    }
    const Block block{tag, size, type, s.nextSequence++, footprint};
    s.live.emplace(reinterpret_cast<uintptr_t>(memory), block);
    for (PoolUsage* u : {&s.byTag[tag], &s.byType[type], &s.total}) {
        ++u->outstandingBlocks;
        u->outstandingBytes += size;
        ++u->totalBlocks;
        u->totalBytes += size;
    }
    return memory;
}

// Why a pointer that is not an outstanding block cannot be freed. Called with the pool lock held.
std::string WhyNotABlock(PoolState& s, uintptr_t address)
{
    if (auto q = s.quarantined.find(address); q != s.quarantined.end())
        return "that was already freed (" + Describe(q->second) + ")";
    auto after = s.live.upper_bound(address);
    if (after != s.live.begin()) {
        const auto& [start, block] = *std::prev(after);
        if (address < start + block.footprint)
            return "that lies " + std::to_string(address - start) + " bytes inside a block (" + Describe(block) + ")";
    }
    return "that the pool never handed out";
}

bool GuardIntact(const unsigned char* memory, const Block& b)
{
    for (size_t i = b.size; i < b.footprint; ++i)
        if (memory[i] != kGuardFill)
            return false;
    return true;
}

void Free(const char* function, PVOID p, ULONG tag)
{
    if (!p) {
        VerifierReport("pool", std::string(function) + " of a null pointer");
        return;
    }
    auto& s = State();
    const auto address = reinterpret_cast<uintptr_t>(p);
    Block block{};
    std::string notABlock;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        auto found = s.live.find(address);
        if (found == s.live.end()) {
            notABlock = WhyNotABlock(s, address);
        } else {
            block = found->second;
            s.live.erase(found);
            for (PoolUsage* u : {&s.byTag[block.tag], &s.byType[block.type], &s.total}) {
                --u->outstandingBlocks;
                u->outstandingBytes -= block.size;
            }
        }
    }
    if (!notABlock.empty()) {
        VerifierReport("pool", std::string(function) + " of " + Hex(p) + " " + notABlock);
        return;
    }

    // The block is freed whatever the breaches: keeping it would only add a leak to the report.
    auto* memory = static_cast<unsigned char*>(p);
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL)
        VerifierReport("irql", std::string(function) + " at IRQL " + std::to_string(irql) + " above DISPATCH_LEVEL (" +
                                   Describe(block) + ")");
    else if (IsPaged(block.type) && irql >= DISPATCH_LEVEL)
        VerifierReport("irql", std::string(function) + " of paged pool at IRQL " + std::to_string(irql) +
                                   " (paged pool needs APC_LEVEL or below; " + Describe(block) + ")");
    if (tag != 0 && tag != block.tag)
        VerifierReport("pool", std::string(function) + " with tag '" + PoolTagText(tag) + "' of a block allocated with " +
                                   Describe(block));
    if (!GuardIntact(memory, block))
        VerifierReport("pool", std::string(function) + ": the guard behind the block was overwritten (" +
                                   Describe(block) + ")");

    if (block.footprint > kQuarantineBytes) {
        std::free(memory);
        return;
    }
    std::memset(memory, kFreedFill, block.footprint);
    POOL_POISON(memory, block.footprint);
    std::vector<std::pair<unsigned char*, size_t>> released;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.quarantined.emplace(address, block);
        s.quarantineOrder.push_back(address);
        s.quarantinedBytes += block.footprint;
        while (s.quarantineOrder.size() > kQuarantineBlocks || s.quarantinedBytes > kQuarantineBytes) {
            const uintptr_t oldest = s.quarantineOrder.front();
            s.quarantineOrder.pop_front();
            auto q = s.quarantined.find(oldest);
            s.quarantinedBytes -= q->second.footprint;
            released.emplace_back(reinterpret_cast<unsigned char*>(oldest), q->second.footprint);
            s.quarantined.erase(q);
        }
    }
    for (auto [old, footprint] : released) {
        POOL_UNPOISON(old, footprint);
        std::free(old);
    }
}

struct LeakCheckRegistration {
    LeakCheckRegistration()
    {
        VerifierRegisterLeakCheck("pool", [] { return PoolLeakReport(); });
    }
} g_leakCheckRegistration;

} // namespace

std::string PoolTagText(ULONG tag)
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(tag >> (8 * i));
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

std::string PoolTypeName(POOL_TYPE type)
{
    switch (static_cast<int>(type)) {
    case NonPagedPool: return "NonPagedPool";
    case PagedPool: return "PagedPool";
    case NonPagedPoolMustSucceed: return "NonPagedPoolMustSucceed";
    case NonPagedPoolCacheAligned: return "NonPagedPoolCacheAligned";
    case PagedPoolCacheAligned: return "PagedPoolCacheAligned";
    case NonPagedPoolCacheAlignedMustS: return "NonPagedPoolCacheAlignedMustS";
    case NonPagedPoolSession: return "NonPagedPoolSession";
    case PagedPoolSession: return "PagedPoolSession";
    case NonPagedPoolMustSucceedSession: return "NonPagedPoolMustSucceedSession";
    case NonPagedPoolCacheAlignedSession: return "NonPagedPoolCacheAlignedSession";
    case PagedPoolCacheAlignedSession: return "PagedPoolCacheAlignedSession";
    case NonPagedPoolCacheAlignedMustSSession: return "NonPagedPoolCacheAlignedMustSSession";
    case NonPagedPoolNx: return "NonPagedPoolNx";
    case NonPagedPoolNxCacheAligned: return "NonPagedPoolNxCacheAligned";
    case NonPagedPoolSessionNx: return "NonPagedPoolSessionNx";
    default: return "POOL_TYPE(" + std::to_string(static_cast<int>(type)) + ")";
    }
}

PoolUsage PoolUsageByTag(ULONG tag)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    auto found = s.byTag.find(tag);
    return found == s.byTag.end() ? PoolUsage{} : found->second;
}

PoolUsage PoolUsageByType(POOL_TYPE type)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    auto found = s.byType.find(type);
    return found == s.byType.end() ? PoolUsage{} : found->second;
}

PoolUsage PoolUsageTotal()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.total;
}

bool PoolQueryBlock(const void* p, PoolBlockInfo* info)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    auto found = s.live.find(reinterpret_cast<uintptr_t>(p));
    if (found == s.live.end())
        return false;
    if (info)
        *info = {found->second.tag, found->second.size, found->second.type, found->second.sequence};
    return true;
}

std::vector<std::string> PoolLeakReport()
{
    std::vector<Block> blocks;
    {
        auto& s = State();
        std::lock_guard<std::mutex> hold(s.lock);
        blocks.reserve(s.live.size());
        for (const auto& entry : s.live)
            blocks.push_back(entry.second);
    }
    std::sort(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) { return a.sequence < b.sequence; });
    std::vector<std::string> lines;
    uint64_t restBytes = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const Block& b = blocks[i];
        if (i < kPoolLeakReportLimit)
            lines.push_back("tag '" + PoolTagText(b.tag) + "': " + std::to_string(b.size) + " bytes of " +
                            PoolTypeName(b.type) + ", allocation #" + std::to_string(b.sequence));
        else
            restBytes += b.size;
    }
    if (blocks.size() > kPoolLeakReportLimit)
        lines.push_back("and " + std::to_string(blocks.size() - kPoolLeakReportLimit) + " more blocks, " +
                        std::to_string(restBytes) + " bytes");
    return lines;
}

void PoolFailNthAllocation(uint64_t n)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.failCountdown = n;
}

void PoolFailTag(ULONG tag)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.failTags.insert(tag);
}

void PoolFailRandomly(double probability, uint64_t seed)
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.failProbability = probability;
    s.failGenerator.seed(seed);
}

void PoolClearFailures()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.failCountdown = 0;
    s.failTags.clear();
    s.failProbability = 0;
    s.injected = 0;
}

uint64_t PoolInjectedFailures()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.injected;
}

} // namespace standin

extern "C" PVOID NTAPI ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag)
{
    return standin::Allocate("ExAllocatePoolWithTag", PoolType, NumberOfBytes, Tag);
}

extern "C" PVOID NTAPI ExAllocatePool(POOL_TYPE PoolType, SIZE_T NumberOfBytes)
{
    return standin::Allocate("ExAllocatePool", PoolType, NumberOfBytes, standin::kUntaggedTag);
}

extern "C" VOID NTAPI ExFreePool(PVOID P)
{
    standin::Free("ExFreePool", P, 0);
}

extern "C" VOID NTAPI ExFreePoolWithTag(PVOID P, ULONG Tag)
{
    standin::Free("ExFreePoolWithTag", P, Tag);
}
