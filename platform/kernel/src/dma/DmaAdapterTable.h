// The DMA adapters the stand-in handed out and the common buffers of each, shared by the adapter
// functions and the common-buffer operations; also the usage counts and the injected failures.
//
// An adapter's record is kept after the adapter is put (it costs a few dozen bytes), so a put
// adapter's address never comes back for another adapter and a later use of it is recognised.
#pragma once
#include "km/dma.h"
#include "standin/dma.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace standin {

struct DmaCommonBuffer {
    void* host = nullptr;
    ULONG length = 0;
    uint32_t busAddress = 0;
    BOOLEAN cacheEnabled = FALSE;
};

struct DmaAdapterRecord {
    DMA_ADAPTER adapter{};
    std::string owner; // the physical device object, for reports
    bool put = false;
    std::map<const void*, DmaCommonBuffer> buffers; // by host address
};

struct DmaAdapterTable {
    std::mutex lock;
    std::map<const DMA_ADAPTER*, std::unique_ptr<DmaAdapterRecord>> adapters;
    DmaUsage usage;
    bool failNextAdapter = false;
    uint64_t failNthBuffer = 0; // 0: no such rule
    bool failEveryBuffer = false;

    // Lives as long as the process: device threads may still free buffers at exit.
    static DmaAdapterTable& Instance();
    // The record of an adapter the stand-in handed out (put or not), or null. Lock held.
    DmaAdapterRecord* Find(const void* adapter);
};

// The operations every adapter points to.
extern DMA_OPERATIONS g_dmaOperations;

// "adapter 0x... of <physical device object>", for reports.
std::string DmaAdapterText(const DmaAdapterRecord& record);

// The adapter operations behind g_dmaOperations.
VOID NTAPI PutDmaAdapter(PDMA_ADAPTER DmaAdapter);
PVOID NTAPI AllocateCommonBuffer(PDMA_ADAPTER DmaAdapter, ULONG Length, PPHYSICAL_ADDRESS LogicalAddress,
                                 BOOLEAN CacheEnabled);
VOID NTAPI FreeCommonBuffer(PDMA_ADAPTER DmaAdapter, ULONG Length, PHYSICAL_ADDRESS LogicalAddress,
                            PVOID VirtualAddress, BOOLEAN CacheEnabled);

} // namespace standin
