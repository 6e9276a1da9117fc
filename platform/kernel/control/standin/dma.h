// DMA usage over every adapter of the process, and failure injection for the no-adapter and
// no-buffer paths. Stand-in facilities, not Windows functions: drivers never see them.
#pragma once
#include "km/dma.h"

#include <cstdint>

namespace standin {

// The most map registers an adapter grants: 256 pages, one megabyte per transfer.
constexpr ULONG kDmaMaxMapRegisters = 256;
// The largest common buffer granted; larger requests get NULL like a bus without room.
constexpr ULONG kDmaMaxCommonBufferBytes = 256u << 20;

// Counts over every adapter of the process.
struct DmaUsage {
    uint64_t outstandingAdapters = 0; // got and not yet put
    uint64_t outstandingBuffers = 0;  // allocated and not yet freed
    uint64_t outstandingBytes = 0;
    uint64_t totalAdapters = 0;       // every adapter ever handed out
    uint64_t totalBuffers = 0;        // every common buffer ever handed out
    uint64_t freedBuffers = 0;
    uint64_t failedBuffers = 0;       // AllocateCommonBuffer answered with NULL, injected or not
};
DmaUsage DmaUsageTotal();

// Failure injection for the drivers' "no adapter" and "no buffer" paths; cleared by
// DmaClearFailures, which the test main calls after every test.
// The next IoGetDmaAdapter returns NULL; one shot.
void DmaFailNextAdapter();
// The n-th AllocateCommonBuffer from now returns NULL (1 = the next one); one shot.
void DmaFailNthCommonBuffer(uint64_t n);
// Every AllocateCommonBuffer returns NULL until cleared.
void DmaFailEveryCommonBuffer();
void DmaClearFailures();

} // namespace standin
