// The machine's arbiter of PCI resources: it places each function's memory ranges in the part of the
// 32-bit physical space the bus leaves to device ranges (above the DMA pool, from 0xE0000000), each
// range at a multiple of its size as a base address register decodes, and routes each function's
// interrupt to a vector of its own. What it hands out stays taken until released.
//
// Interrupt routing follows the x64 APIC convention: interrupt request n (the raw resource) arrives
// on vector n + 0x40 (the translated resource), which runs at device level vector / 16. Vectors
// 0x50 to 0x8F are used, so requests 16 to 79, levels 5 to 8; a vector that already has a line on the
// bus is skipped.
#pragma once
#include "platform/bus/PciFunction.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace platform {

class ResourceArbiter {
public:
    static constexpr uint64_t kMemoryBase = 0xE000'0000;
    static constexpr uint64_t kMemoryEnd = 0x1'0000'0000;
    static constexpr uint32_t kFirstVector = 0x50;
    static constexpr uint32_t kLastVector = 0x8F;
    static constexpr uint32_t kVectorToRequest = 0x40;

    // Places the ranges and, when wanted, the interrupt; on failure nothing stays taken and *error
    // says what could not be placed.
    bool Assign(const std::vector<PciMemoryRange>& ranges, bool interrupt, PciAssignment* assignment,
                std::string* error);
    void Release(const PciAssignment& assignment);

private:
    bool PlaceRange(uint64_t size, uint64_t* base); // caller holds lock_
    std::mutex lock_;
    std::map<uint64_t, uint64_t> ranges_; // base -> size
    std::set<uint32_t> vectors_;
};

} // namespace platform
