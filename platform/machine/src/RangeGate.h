// What the bus reaches for a plugged function's memory range: the model's handler while the function
// is in the machine, and nothing once it has been pulled out. A removed function answers every read
// with all ones and drops every write, as a master abort does on PCI, from the moment of removal,
// while the driver may still hold mappings of the range.
#pragma once
#include "platform/bus/DeviceMemory.h"

#include <atomic>

namespace platform {

class RangeGate : public DeviceMemory {
public:
    explicit RangeGate(DeviceMemory& model) : model_(model) {}

    void Remove() { present_.store(false, std::memory_order_release); }
    bool Present() const { return present_.load(std::memory_order_acquire); }

    uint8_t Read8(uint64_t offset) override;
    uint16_t Read16(uint64_t offset) override;
    uint32_t Read32(uint64_t offset) override;
    void Write8(uint64_t offset, uint8_t value) override;
    void Write16(uint64_t offset, uint16_t value) override;
    void Write32(uint64_t offset, uint32_t value) override;
    void ReadBuffer(uint64_t offset, AccessWidth width, void* data, size_t count) override;
    void WriteBuffer(uint64_t offset, AccessWidth width, const void* data, size_t count) override;

private:
    DeviceMemory& model_;
    std::atomic<bool> present_{true};
};

} // namespace platform
