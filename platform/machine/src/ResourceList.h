// The raw and translated resource lists the plug and play manager hands a driver with the start
// request, built from what a function declared and where the arbiter put it: one full descriptor for
// the function's PCI bus, with a memory descriptor per range in declaration order and then the
// interrupt. Raw lists say what the bus sees (the interrupt request number as level and vector);
// translated lists say what the processor sees (the system vector, its device level and the
// processors it may run on). Memory translates to the same physical address on this machine.
#pragma once
#include "km/resources.h"
#include "platform/bus/PciFunction.h"

#include <cstdint>
#include <vector>

namespace platform {

// A CM_RESOURCE_LIST in a buffer of its exact length.
class ResourceList {
public:
    ResourceList() = default;
    PCM_RESOURCE_LIST Get() { return reinterpret_cast<PCM_RESOURCE_LIST>(bytes_.data()); }
    size_t Bytes() const { return bytes_.size(); }

    static ResourceList Raw(uint32_t bus, const std::vector<PciMemoryRange>& ranges,
                            const PciAssignment& placed, KAFFINITY processors);
    static ResourceList Translated(uint32_t bus, const std::vector<PciMemoryRange>& ranges,
                                   const PciAssignment& placed, KAFFINITY processors);

private:
    static ResourceList Build(uint32_t bus, const std::vector<PciMemoryRange>& ranges,
                              const PciAssignment& placed, KAFFINITY processors, bool translated);
    std::vector<uint64_t> bytes_; // 8-byte words keep the list's 64-bit fields aligned
};

} // namespace platform
