// Executive pool: tagged allocation of paged and non-paged memory, with the stand-in's accounting,
// leak report, guard check and failure injection (those in standin/pool.h). Blocks are 16-byte aligned (64 for the
// cache-aligned types) as on x64 Windows.
#pragma once
#include "km/types.h"

#include <cstdint>
#include <string>
#include <vector>

// The pool types a driver may name. Bit 0 set means paged, bit 2 cache-aligned, 32 session, 512
// no-execute; the aliases share the value of their base type.
enum POOL_TYPE {
    NonPagedPool = 0,
    NonPagedPoolExecute = 0,
    PagedPool = 1,
    NonPagedPoolMustSucceed = 2,
    DontUseThisType = 3,
    NonPagedPoolCacheAligned = 4,
    PagedPoolCacheAligned = 5,
    NonPagedPoolCacheAlignedMustS = 6,
    MaxPoolType = 7,
    NonPagedPoolBase = 0,
    NonPagedPoolBaseMustSucceed = 2,
    NonPagedPoolBaseCacheAligned = 4,
    NonPagedPoolBaseCacheAlignedMustS = 6,
    NonPagedPoolSession = 32,
    PagedPoolSession = 33,
    NonPagedPoolMustSucceedSession = 34,
    DontUseThisTypeSession = 35,
    NonPagedPoolCacheAlignedSession = 36,
    PagedPoolCacheAlignedSession = 37,
    NonPagedPoolCacheAlignedMustSSession = 38,
    NonPagedPoolNx = 512,
    NonPagedPoolNxCacheAligned = 516,
    NonPagedPoolSessionNx = 544,
};

extern "C" {
// Returns NumberOfBytes of uninitialised memory, or NULL when the pool cannot satisfy the request.
// A request of 0 bytes gives a valid block of its own.
PVOID NTAPI ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag);
// The untagged form; the block carries the tag 'None'.
PVOID NTAPI ExAllocatePool(POOL_TYPE PoolType, SIZE_T NumberOfBytes);
VOID NTAPI ExFreePool(PVOID P);
// Tag 0 frees without comparing tags, as ExFreePool does.
VOID NTAPI ExFreePoolWithTag(PVOID P, ULONG Tag);
}

