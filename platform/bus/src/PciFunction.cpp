// The PCI function interface: its default hooks and the check of what a function declares.
#include "platform/bus/PciFunction.h"

#include <bit>
#include <cinttypes>
#include <cstdio>

namespace platform {

PciFunction::~PciFunction() = default;

void PciFunction::OnPlugged(const PciAssignment&) {}

void PciFunction::OnUnplugged(PciUnplug) {}

std::string CheckPciDeclaration(const PciLocation& location, const std::vector<PciMemoryRange>& ranges)
{
    char text[160];
    if (location.bus > 255 || location.device > 31 || location.function > 7) {
        std::snprintf(text, sizeof text, "location bus %u, device %u, function %u is outside 255, 31, 7",
                      location.bus, location.device, location.function);
        return text;
    }
    if (ranges.size() > kPciMaximumRanges) {
        std::snprintf(text, sizeof text,
                      "%zu memory ranges declared; a function has %zu base address registers", ranges.size(),
                      kPciMaximumRanges);
        return text;
    }
    for (size_t i = 0; i < ranges.size(); ++i) {
        const PciMemoryRange& range = ranges[i];
        if (!range.handler) {
            std::snprintf(text, sizeof text, "memory range %zu has no handler", i);
            return text;
        }
        if (range.size < kPciMinimumRangeSize || !std::has_single_bit(range.size)) {
            std::snprintf(text, sizeof text,
                          "memory range %zu is 0x%" PRIx64
                          " bytes; a base address register decodes a power of "
                          "two of at least 0x%" PRIx64,
                          i, range.size, kPciMinimumRangeSize);
            return text;
        }
    }
    return {};
}

} // namespace platform
