// Building the resource lists of a start request.
#include "ResourceList.h"

#include <cstring>

namespace platform {

ResourceList ResourceList::Build(uint32_t bus, const std::vector<PciMemoryRange>& ranges,
                                 const PciAssignment& placed, KAFFINITY processors, bool translated)
{
    const size_t descriptors = ranges.size() + (placed.hasInterrupt ? 1 : 0);
    // CM_RESOURCE_LIST holds one full descriptor with one partial descriptor; the rest follow it.
    const size_t bytes = sizeof(CM_RESOURCE_LIST) +
                         (descriptors > 0 ? descriptors - 1 : 0) * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
    ResourceList list;
    list.bytes_.assign((bytes + 7) / 8, 0);
    auto* resources = list.Get();
    resources->Count = 1;
    CM_FULL_RESOURCE_DESCRIPTOR& full = resources->List[0];
    full.InterfaceType = PCIBus;
    full.BusNumber = bus;
    full.PartialResourceList.Version = 1;
    full.PartialResourceList.Revision = 1;
    full.PartialResourceList.Count = static_cast<ULONG>(descriptors);

    CM_PARTIAL_RESOURCE_DESCRIPTOR* partial = full.PartialResourceList.PartialDescriptors;
    for (size_t i = 0; i < ranges.size(); ++i, ++partial) {
        partial->Type = CmResourceTypeMemory;
        partial->ShareDisposition = CmResourceShareDeviceExclusive;
        partial->Flags = CM_RESOURCE_MEMORY_READ_WRITE;
        partial->u.Memory.Start.QuadPart = static_cast<LONGLONG>(placed.memoryBases[i]);
        partial->u.Memory.Length = static_cast<ULONG>(ranges[i].size);
    }
    if (placed.hasInterrupt) {
        partial->Type = CmResourceTypeInterrupt;
        partial->ShareDisposition = CmResourceShareShared;
        partial->Flags = CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE;
        partial->u.Interrupt.Level = translated ? placed.interruptLevel : placed.interruptRequest;
        partial->u.Interrupt.Vector = translated ? placed.interruptVector : placed.interruptRequest;
        partial->u.Interrupt.Affinity = processors;
    }
    return list;
}

ResourceList ResourceList::Raw(uint32_t bus, const std::vector<PciMemoryRange>& ranges,
                               const PciAssignment& placed, KAFFINITY processors)
{
    return Build(bus, ranges, placed, processors, false);
}

ResourceList ResourceList::Translated(uint32_t bus, const std::vector<PciMemoryRange>& ranges,
                                      const PciAssignment& placed, KAFFINITY processors)
{
    return Build(bus, ranges, placed, processors, true);
}

} // namespace platform
