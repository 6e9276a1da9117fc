// DMA for bus-master devices: the adapter a driver gets for its physical device object
// (IoGetDmaAdapter), and the adapter's operations that give it common buffers and take the adapter
// back. A common buffer is real host memory with a 32-bit bus address registered in the bus's DMA
// address map, through which device models (and only they) reach it, bounds-checked.
//
// Only the operations a bus master with common buffers needs exist here: map registers, adapter
// channels and scatter/gather lists are not offered, and an adapter is never handed out for a
// device that is not a bus master.
#pragma once
#include "km/iodevice.h"
#include "km/mm.h"
#include "km/resources.h"
#include "km/types.h"

#include <cstdint>

// Versions of DEVICE_DESCRIPTION the stand-in knows.
#define DEVICE_DESCRIPTION_VERSION 0
#define DEVICE_DESCRIPTION_VERSION1 1
#define DEVICE_DESCRIPTION_VERSION2 2

enum DMA_WIDTH { Width8Bits, Width16Bits, Width32Bits, Width64Bits, MaximumDmaWidth };
enum DMA_SPEED { Compatible, TypeA, TypeB, TypeC, TypeF, MaximumDmaSpeed };

// What a driver tells IoGetDmaAdapter about its device's DMA.
struct DEVICE_DESCRIPTION {
    ULONG Version;
    BOOLEAN Master;
    BOOLEAN ScatterGather;
    BOOLEAN DemandMode;
    BOOLEAN AutoInitialize;
    BOOLEAN Dma32BitAddresses;
    BOOLEAN IgnoreCount;
    BOOLEAN Reserved1;
    BOOLEAN Dma64BitAddresses;
    ULONG BusNumber;
    ULONG DmaChannel;
    INTERFACE_TYPE InterfaceType;
    DMA_WIDTH DmaWidth;
    DMA_SPEED DmaSpeed;
    ULONG MaximumLength;
    ULONG DmaPort;
};
using PDEVICE_DESCRIPTION = DEVICE_DESCRIPTION*;
static_assert(sizeof(DEVICE_DESCRIPTION) == 40);

struct DMA_ADAPTER;
using PDMA_ADAPTER = DMA_ADAPTER*;

using PPUT_DMA_ADAPTER = VOID(NTAPI*)(PDMA_ADAPTER DmaAdapter);
using PALLOCATE_COMMON_BUFFER = PVOID(NTAPI*)(PDMA_ADAPTER DmaAdapter, ULONG Length,
                                              PPHYSICAL_ADDRESS LogicalAddress, BOOLEAN CacheEnabled);
using PFREE_COMMON_BUFFER = VOID(NTAPI*)(PDMA_ADAPTER DmaAdapter, ULONG Length, PHYSICAL_ADDRESS LogicalAddress,
                                         PVOID VirtualAddress, BOOLEAN CacheEnabled);

struct DMA_OPERATIONS {
    ULONG Size; // sizeof(DMA_OPERATIONS)
    // Gives the adapter back. PASSIVE_LEVEL. Every common buffer should have been freed first.
    PPUT_DMA_ADAPTER PutDmaAdapter;
    // Length bytes of page-aligned host memory that the device reaches at the bus address returned
    // in *LogicalAddress (below 4 GB, page-aligned). The memory is not cleared: it holds 0xCD, so
    // that code reading before it writes shows up. NULL (and *LogicalAddress 0) for Length 0, when
    // the bus has no room for the block, or when a failure is injected. PASSIVE_LEVEL.
    PALLOCATE_COMMON_BUFFER AllocateCommonBuffer;
    // Frees a common buffer of this adapter. Length, LogicalAddress and VirtualAddress must name
    // exactly one block; otherwise the call is a breach and frees nothing. PASSIVE_LEVEL.
    PFREE_COMMON_BUFFER FreeCommonBuffer;
};
using PDMA_OPERATIONS = DMA_OPERATIONS*;

struct DMA_ADAPTER {
    USHORT Version; // 1
    USHORT Size;    // sizeof(DMA_ADAPTER)
    PDMA_OPERATIONS DmaOperations;
};

extern "C" {
// An adapter for the bus-master DMA of a physical device object, or NULL when the bus cannot serve
// the description: a device that is not a bus master (PCI has no system DMA controller), one that
// can address neither 32 nor 64 bits (bus addresses lie above 16 MB), a Version above
// DEVICE_DESCRIPTION_VERSION2, or an injected failure. A PhysicalDeviceObject that is not a live
// physical device object, or a missing DeviceDescription or NumberOfMapRegisters, is a breach
// ("bad-argument") and gets NULL. *NumberOfMapRegisters receives the pages of MaximumLength,
// at most standin::kDmaMaxMapRegisters. PASSIVE_LEVEL.
PDMA_ADAPTER NTAPI IoGetDmaAdapter(PDEVICE_OBJECT PhysicalDeviceObject, PDEVICE_DESCRIPTION DeviceDescription,
                                   PULONG NumberOfMapRegisters);
}

