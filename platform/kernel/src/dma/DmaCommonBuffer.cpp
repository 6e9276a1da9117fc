// The adapter's common buffers: page-aligned host memory registered in the bus's DMA address map
// under a 32-bit bus address, and its release, which must name exactly the block it frees.
#include "DmaAdapterTable.h"
#include "Reports.h"
#include "km/irql.h"
#include "platform/bus/Bus.h"
#include "standin/dma.h"
#include "standin/verifier.h"

#include <cstdlib>
#include <cstring>

namespace standin {

namespace {

constexpr size_t kPageBytes = platform::DmaAddressMap::kPageSize;
// Fresh buffers hold this, as fresh pool does: the memory is not promised to be cleared.
constexpr unsigned char kFreshFill = 0xCD;

std::string BlockText(ULONG length, uint64_t logical, const void* virtualAddress)
{
    return std::to_string(length) + " bytes, logical " + HexText(logical) + ", virtual " + PointerText(virtualAddress);
}

// Whether this request is one an injected rule fails. Lock held.
bool InjectedFailure(DmaAdapterTable& table)
{
    if (table.failEveryBuffer)
        return true;
    if (table.failNthBuffer != 0 && --table.failNthBuffer == 0)
        return true;
    return false;
}

} // namespace

PVOID NTAPI AllocateCommonBuffer(PDMA_ADAPTER DmaAdapter, ULONG Length, PPHYSICAL_ADDRESS LogicalAddress,
                                 BOOLEAN CacheEnabled)
{
    CheckIrqlAtMost("AllocateCommonBuffer", PASSIVE_LEVEL);
    if (!LogicalAddress) {
        VerifierReport("bad-argument", CallText("AllocateCommonBuffer", DmaAdapter) + " without LogicalAddress");
        return nullptr;
    }
    LogicalAddress->QuadPart = 0;
    DmaAdapterTable& table = DmaAdapterTable::Instance();
    {
        std::lock_guard<std::mutex> hold(table.lock);
        DmaAdapterRecord* record = table.Find(DmaAdapter);
        if (!record) {
            VerifierReport("bad-object", CallText("AllocateCommonBuffer", DmaAdapter) + ", which is no DMA adapter");
            return nullptr;
        }
        if (record->put) {
            VerifierReport("dma", "AllocateCommonBuffer on " + DmaAdapterText(*record) + ", which was put");
            return nullptr;
        }
        if (Length == 0 || Length > kDmaMaxCommonBufferBytes || InjectedFailure(table)) {
            ++table.usage.failedBuffers;
            return nullptr;
        }
    }

    const size_t footprint = (size_t{Length} + kPageBytes - 1) / kPageBytes * kPageBytes;
    void* host = std::aligned_alloc(kPageBytes, footprint);
    uint32_t busAddress = 0;
    if (host) {
        std::memset(host, kFreshFill, footprint);
        // The device reaches exactly the bytes asked for, not the rest of the last page.
        if (platform::Bus::Instance().Dma().Register(host, Length, busAddress) != platform::BusStatus::Ok) {
            std::free(host);
            host = nullptr;
        }
    }

    std::lock_guard<std::mutex> hold(table.lock);
    if (!host) {
        ++table.usage.failedBuffers;
        return nullptr;
    }
    // The adapter cannot have been put meanwhile by a correct driver; a racing put is the driver's
    // breach, and the buffer is listed under the adapter all the same.
    DmaAdapterRecord* record = table.Find(DmaAdapter);
    record->buffers.emplace(host, DmaCommonBuffer{host, Length, busAddress, CacheEnabled});
    ++table.usage.outstandingBuffers;
    table.usage.outstandingBytes += Length;
    ++table.usage.totalBuffers;
    LogicalAddress->QuadPart = busAddress;
    return host;
}

VOID NTAPI FreeCommonBuffer(PDMA_ADAPTER DmaAdapter, ULONG Length, PHYSICAL_ADDRESS LogicalAddress,
                            PVOID VirtualAddress, BOOLEAN CacheEnabled)
{
    CheckIrqlAtMost("FreeCommonBuffer", PASSIVE_LEVEL);
    const uint64_t logical = static_cast<uint64_t>(LogicalAddress.QuadPart);
    DmaCommonBuffer buffer;
    {
        DmaAdapterTable& table = DmaAdapterTable::Instance();
        std::lock_guard<std::mutex> hold(table.lock);
        DmaAdapterRecord* record = table.Find(DmaAdapter);
        if (!record) {
            VerifierReport("bad-object", CallText("FreeCommonBuffer", DmaAdapter) + ", which is no DMA adapter");
            return;
        }
        const auto found = record->buffers.find(VirtualAddress);
        if (found == record->buffers.end() || found->second.length != Length ||
            found->second.busAddress != logical) {
            VerifierReport("dma", "FreeCommonBuffer(" + BlockText(Length, logical, VirtualAddress) + ") on " +
                                      DmaAdapterText(*record) + " names no common buffer of it; nothing freed");
            return;
        }
        buffer = found->second;
        if (record->put)
            VerifierReport("dma", "FreeCommonBuffer on " + DmaAdapterText(*record) + ", which was put");
        if (buffer.cacheEnabled != CacheEnabled)
            VerifierReport("dma", "FreeCommonBuffer(" + BlockText(Length, logical, VirtualAddress) +
                                      ") with CacheEnabled " + std::to_string(CacheEnabled) +
                                      ", allocated with " + std::to_string(buffer.cacheEnabled));
        record->buffers.erase(found);
        --table.usage.outstandingBuffers;
        table.usage.outstandingBytes -= Length;
        ++table.usage.freedBuffers;
    }
    // Outside the table's lock: unregistering waits for device transfers still copying.
    const platform::BusStatus status =
        platform::Bus::Instance().Dma().Unregister(buffer.busAddress, buffer.host, buffer.length);
    if (status != platform::BusStatus::Ok) {
        // Still reachable by the device: leaving the memory allocated is the only safe answer.
        VerifierReport("dma", "FreeCommonBuffer: the bus kept bus address " + HexText(buffer.busAddress) + ": " +
                                  platform::BusStatusText(status));
        return;
    }
    std::free(buffer.host);
}

} // namespace standin
