// Pool usage by tag and type, the blocks outstanding, and failure injection. Stand-in facilities,
// not Windows functions: drivers never see them.
#pragma once
#include "km/pool.h"

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// A four-character tag as the pool stores it: the first character in the low byte, so "Wdm "
// is 0x206D6457.
constexpr ULONG MakePoolTag(const char (&text)[5])
{
    return static_cast<ULONG>(static_cast<unsigned char>(text[0])) |
           static_cast<ULONG>(static_cast<unsigned char>(text[1])) << 8 |
           static_cast<ULONG>(static_cast<unsigned char>(text[2])) << 16 |
           static_cast<ULONG>(static_cast<unsigned char>(text[3])) << 24;
}

// The tag as its four characters; a byte outside printable ASCII shows as \xNN.
std::string PoolTagText(ULONG tag);
// The canonical name of a pool type ("NonPagedPool", "PagedPoolCacheAligned", ...), or
// "POOL_TYPE(<n>)" for a value no driver may use.
std::string PoolTypeName(POOL_TYPE type);

// Counts kept per tag, per pool type and for the whole pool.
struct PoolUsage {
    uint64_t outstandingBlocks = 0;
    uint64_t outstandingBytes = 0;
    uint64_t totalBlocks = 0;       // every block ever handed out
    uint64_t totalBytes = 0;
    uint64_t failedAllocations = 0; // requests answered with NULL, injected or not
};
PoolUsage PoolUsageByTag(ULONG tag);
PoolUsage PoolUsageByType(POOL_TYPE type);
PoolUsage PoolUsageTotal();

// What the pool knows about a block it handed out and that is not yet freed.
struct PoolBlockInfo {
    ULONG tag = 0;
    SIZE_T size = 0;
    POOL_TYPE type = NonPagedPool;
    uint64_t sequence = 0; // 1 for the first block of the process, counting every block handed out
};
// False when p is not the start of an outstanding block.
bool PoolQueryBlock(const void* p, PoolBlockInfo* info);

// One line per outstanding block, oldest first, as the "pool" leak check gives them:
//   tag 'Wdm ': 24 bytes of NonPagedPool, allocation #17
// After the first kPoolLeakReportLimit blocks one summary line counts the rest.
constexpr size_t kPoolLeakReportLimit = 100;
std::vector<std::string> PoolLeakReport();

// The largest block the stand-in's pool grants; larger requests get NULL like an exhausted pool.
constexpr SIZE_T kPoolMaxBlockBytes = SIZE_T(1) << 30;

// Failure injection for tests. Every rule makes the request return NULL as an exhausted pool
// would, and counts as an injected failure. Rules add up until PoolClearFailures.
// The n-th allocation request from now fails (1 = the next one); one shot.
void PoolFailNthAllocation(uint64_t n);
// Every request with this tag fails.
void PoolFailTag(ULONG tag);
// Every request fails with the given probability, drawn from a generator seeded with seed, so a
// run repeats exactly.
void PoolFailRandomly(double probability, uint64_t seed);
// Removes every rule and sets the injected-failure count back to 0.
void PoolClearFailures();
uint64_t PoolInjectedFailures();

} // namespace standin
