// Mapping device memory into the kernel's address space.
//
// MmMapIoSpace returns a token address, not memory: it keeps the physical address's offset within
// its page and covers exactly the bytes asked for, but it lies in a host address span with no access
// rights, so a direct dereference faults at once. Device memory is reached only through the HAL's
// register accessors (km/hal.h), which route token addresses to the device model behind them. A
// request that is not wholly inside one device range registered on the bus gets NULL.
#pragma once
#include "km/types.h"

using PHYSICAL_ADDRESS = LARGE_INTEGER;
using PPHYSICAL_ADDRESS = PHYSICAL_ADDRESS*;

enum MEMORY_CACHING_TYPE {
    MmNonCached = FALSE,
    MmCached = TRUE,
    MmWriteCombined = 2,
    MmHardwareCoherentCached,
    MmNonCachedUnordered,
    MmUSWCCached,
    MmMaximumCacheType
};

extern "C" {
// IRQL <= DISPATCH_LEVEL. NULL for zero bytes, a negative or wrapping physical range, an invalid
// caching type, or bytes that are not all inside one registered device range. Mappings left at the
// end of a test (or at unload) are reported by the "io-space" leak check.
PVOID NTAPI MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes, MEMORY_CACHING_TYPE CacheType);
// IRQL <= DISPATCH_LEVEL. BaseAddress and NumberOfBytes must be exactly those of one MmMapIoSpace;
// anything else is a breach (rule "io-space") and unmaps nothing.
VOID NTAPI MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes);
}
