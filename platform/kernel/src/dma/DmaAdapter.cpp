// IoGetDmaAdapter and the adapter's PutDmaAdapter: which descriptions the bus serves, the map
// registers granted, and giving the adapter back.
#include "DeviceObject.h"
#include "DmaAdapterTable.h"
#include "Reports.h"
#include "Utf8Conversion.h"
#include "km/irql.h"
#include "standin/dma.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <algorithm>

namespace standin {

DMA_OPERATIONS g_dmaOperations = {sizeof(DMA_OPERATIONS), &PutDmaAdapter, &AllocateCommonBuffer,
                                  &FreeCommonBuffer};

namespace {

constexpr uint64_t kPageBytes = 4096;

// "0x... (\Device\NTPNP_PCI0001)" for a live physical device object; empty for anything else.
std::string PhysicalDeviceText(PDEVICE_OBJECT deviceObject)
{
    DeviceObjectRecord* record = ReferenceDeviceRecord(deviceObject);
    if (!record)
        return {};
    std::string text;
    const DEVICE_OBJECT* device = record->Device();
    if (device->DeviceObjectExtension && device->DeviceObjectExtension->DeviceNode)
        text = PointerText(deviceObject) + " (" + Utf16ToUtf8Lossy(record->Name()) + ")";
    DereferenceObject(record);
    return text;
}

// Whether the bus can serve this description; the reason goes nowhere, since a refusal is a
// documented answer and not a breach.
bool Servable(const DEVICE_DESCRIPTION& description)
{
    if (description.Version > DEVICE_DESCRIPTION_VERSION2)
        return false;
    if (!description.Master)
        return false;
    // A bus master with neither flag has 24-bit addresses, and every bus address lies above 16 MB.
    return description.Dma32BitAddresses || description.Dma64BitAddresses;
}

} // namespace

VOID NTAPI PutDmaAdapter(PDMA_ADAPTER DmaAdapter)
{
    CheckIrqlAtMost("PutDmaAdapter", PASSIVE_LEVEL);
    DmaAdapterTable& table = DmaAdapterTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    DmaAdapterRecord* record = table.Find(DmaAdapter);
    if (!record) {
        VerifierReport("bad-object", CallText("PutDmaAdapter", DmaAdapter) + ", which is no DMA adapter");
        return;
    }
    if (record->put) {
        VerifierReport("dma", "PutDmaAdapter: " + DmaAdapterText(*record) + " was already put");
        return;
    }
    // Buffers still out stay allocated and registered, since the device may still be using them;
    // they are listed by the leak check until freed.
    if (!record->buffers.empty())
        VerifierReport("dma", "PutDmaAdapter: " + DmaAdapterText(*record) + " put with " +
                                  std::to_string(record->buffers.size()) + " common buffer(s) not freed");
    record->put = true;
    --table.usage.outstandingAdapters;
}

} // namespace standin

extern "C" PDMA_ADAPTER NTAPI IoGetDmaAdapter(PDEVICE_OBJECT PhysicalDeviceObject,
                                              PDEVICE_DESCRIPTION DeviceDescription, PULONG NumberOfMapRegisters)
{
    standin::CheckIrqlAtMost("IoGetDmaAdapter", PASSIVE_LEVEL);
    const std::string owner = standin::PhysicalDeviceText(PhysicalDeviceObject);
    if (owner.empty()) {
        standin::VerifierReport("bad-argument", standin::CallText("IoGetDmaAdapter", PhysicalDeviceObject) +
                                                    ", which is not a physical device object");
        return nullptr;
    }
    if (!DeviceDescription || !NumberOfMapRegisters) {
        standin::VerifierReport("bad-argument", "IoGetDmaAdapter without a device description or a place "
                                                "for the number of map registers");
        return nullptr;
    }
    if (!standin::Servable(*DeviceDescription))
        return nullptr;

    standin::DmaAdapterTable& table = standin::DmaAdapterTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    if (table.failNextAdapter) {
        table.failNextAdapter = false;
        return nullptr;
    }
    auto record = std::make_unique<standin::DmaAdapterRecord>();
    record->adapter.Version = 1;
    record->adapter.Size = sizeof(DMA_ADAPTER);
    record->adapter.DmaOperations = &standin::g_dmaOperations;
    record->owner = owner;
    PDMA_ADAPTER adapter = &record->adapter;
    table.adapters.emplace(adapter, std::move(record));
    ++table.usage.outstandingAdapters;
    ++table.usage.totalAdapters;

    const uint64_t pages = (uint64_t{DeviceDescription->MaximumLength} + standin::kPageBytes - 1) / standin::kPageBytes;
    *NumberOfMapRegisters = static_cast<ULONG>(std::min<uint64_t>(pages, standin::kDmaMaxMapRegisters));
    return adapter;
}
