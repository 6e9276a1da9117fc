// A PCI function for the machine's tests: a 4 KB register file whose first register reads the test
// driver's identity and whose second is scratch storage, a 64 KB plain memory, and an interrupt line
// it never raises. It records what the machine tells it through the plug and unplug hooks.
#pragma once
#include "platform/bus/PciFunction.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

namespace machinetest {

class TestBoard : public platform::PciFunction {
public:
    static constexpr uint64_t kRegisterSize = 0x1000;
    static constexpr uint64_t kMemorySize = 0x10000;

    explicit TestBoard(platform::PciLocation location, uint16_t deviceId = 0x7E57, bool withInterrupt = true);
    ~TestBoard() override;

    platform::PciIdentity Identity() const override { return identity_; }
    platform::PciLocation Location() const override { return location_; }
    std::vector<platform::PciMemoryRange> MemoryRanges() override;
    std::shared_ptr<platform::InterruptLine> Interrupt() override { return line_; }
    void OnPlugged(const platform::PciAssignment& assignment) override;
    void OnUnplugged(platform::PciUnplug how) override;

    void SetIdentity(const platform::PciIdentity& identity) { identity_ = identity; }
    void SetRanges(std::vector<platform::PciMemoryRange> ranges) { customRanges_ = std::move(ranges); }

    int Plugs() const { return plugs_; }
    std::optional<platform::PciUnplug> Unplug() const;
    platform::PciAssignment Assignment() const;
    uint32_t Scratch() const { return scratch_; }

private:
    class Registers;
    class Memory;

    platform::PciIdentity identity_;
    platform::PciLocation location_;
    std::unique_ptr<Registers> registers_;
    std::unique_ptr<Memory> memory_;
    std::shared_ptr<platform::InterruptLine> line_;
    std::optional<std::vector<platform::PciMemoryRange>> customRanges_;
    mutable std::mutex lock_;
    std::atomic<int> plugs_{0};
    std::atomic<uint32_t> scratch_{0};
    std::optional<platform::PciUnplug> unplug_;
    platform::PciAssignment assignment_;
};

} // namespace machinetest
