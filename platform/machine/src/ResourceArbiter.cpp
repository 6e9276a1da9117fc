// Placing memory ranges and routing interrupts for plugged functions.
#include "ResourceArbiter.h"

#include "platform/bus/Bus.h"

#include <cinttypes>
#include <cstdio>

namespace platform {

bool ResourceArbiter::PlaceRange(uint64_t size, uint64_t* base)
{
    // First fit at multiples of the size; the map is ordered, so one pass over the taken ranges.
    uint64_t candidate = kMemoryBase;
    for (const auto& [takenBase, takenSize] : ranges_) {
        if (candidate + size <= takenBase)
            break;
        if (takenBase + takenSize > candidate)
            candidate = (takenBase + takenSize + size - 1) / size * size;
    }
    if (candidate < kMemoryBase || candidate + size > kMemoryEnd)
        return false;
    ranges_[candidate] = size;
    *base = candidate;
    return true;
}

bool ResourceArbiter::Assign(const std::vector<PciMemoryRange>& ranges, bool interrupt,
                             PciAssignment* assignment, std::string* error)
{
    std::lock_guard<std::mutex> hold(lock_);
    PciAssignment placed;
    for (size_t i = 0; i < ranges.size(); ++i) {
        uint64_t base = 0;
        if (!PlaceRange(ranges[i].size, &base)) {
            for (uint64_t taken : placed.memoryBases)
                ranges_.erase(taken);
            char text[128];
            std::snprintf(text, sizeof text, "no room for memory range %zu (0x%" PRIx64 " bytes) below 4 GB",
                          i, ranges[i].size);
            *error = text;
            return false;
        }
        placed.memoryBases.push_back(base);
    }
    if (interrupt) {
        auto& lines = Bus::Instance().Interrupts();
        for (uint32_t vector = kFirstVector; vector <= kLastVector; ++vector) {
            if (vectors_.count(vector) || lines.Find(vector))
                continue;
            vectors_.insert(vector);
            placed.hasInterrupt = true;
            placed.interruptVector = vector;
            placed.interruptRequest = vector - kVectorToRequest;
            placed.interruptLevel = static_cast<uint8_t>(vector >> 4);
            break;
        }
        if (!placed.hasInterrupt) {
            for (uint64_t taken : placed.memoryBases)
                ranges_.erase(taken);
            *error = "no interrupt vector left";
            return false;
        }
    }
    *assignment = placed;
    return true;
}

void ResourceArbiter::Release(const PciAssignment& assignment)
{
    std::lock_guard<std::mutex> hold(lock_);
    for (uint64_t base : assignment.memoryBases)
        ranges_.erase(base);
    if (assignment.hasInterrupt)
        vectors_.erase(assignment.interruptVector);
}

} // namespace platform
