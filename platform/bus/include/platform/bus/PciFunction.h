// A PCI function as a device model declares it to the machine: the identity its configuration
// header carries, where it sits on the bus, the memory ranges its base address registers decode with
// the handler behind each, and its interrupt line. The machine reads the declaration when the
// function is plugged in, places the ranges in physical address space and the line on a vector,
// registers both on the bus while the function is started, and tells the model through the plug and
// unplug hooks. board/ implements this for the capture board; tests implement it for their own
// devices.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bus/DeviceMemory.h"
#include "platform/bus/InterruptLine.h"

namespace platform {

// What the configuration header says about the function.
struct PciIdentity {
    uint16_t vendorId = 0;
    uint16_t deviceId = 0;
    uint16_t subsystemVendorId = 0;
    uint16_t subsystemId = 0;
    uint8_t revision = 0;
    uint32_t classCode = 0; // base class << 16 | sub-class << 8 | programming interface
};

// Bus 0..255, device 0..31, function 0..7.
struct PciLocation {
    uint32_t bus = 0;
    uint32_t device = 0;
    uint32_t function = 0;
    bool operator==(const PciLocation&) const = default;
};

// One memory base address register. A BAR decodes a naturally aligned block whose size is a power of
// two, so `size` must be one, of at least kPciMinimumRangeSize bytes; the machine places the range
// at a multiple of its size. The handler is the model's and must outlive the plug.
struct PciMemoryRange {
    uint64_t size = 0;
    DeviceMemory* handler = nullptr;
    std::string name; // names the range in bus reports
};

constexpr uint64_t kPciMinimumRangeSize = 4096;
// A type 0 configuration header has six base address registers.
constexpr size_t kPciMaximumRanges = 6;

// Where the machine put the function: the physical base of each range, in the order the function
// declared them, and the interrupt it routed the line to. The assignment stays the same from plug to
// unplug, across stops and starts.
struct PciAssignment {
    std::vector<uint64_t> memoryBases;
    uint32_t interruptRequest = 0; // the line's input on the interrupt controller (raw resource)
    uint32_t interruptVector = 0;  // the system vector (translated resource, bus line table)
    uint8_t interruptLevel = 0;    // the device level the vector runs at
    bool hasInterrupt = false;
};

enum class PciUnplug {
    Orderly,  // after the driver let the device go
    Surprise, // pulled out while the driver still drove it: the driver learns of it afterwards
};

class PciFunction {
public:
    virtual ~PciFunction();

    virtual PciIdentity Identity() const = 0;
    virtual PciLocation Location() const = 0;
    // The function's memory ranges in base-address-register order; read once, when it is plugged in.
    virtual std::vector<PciMemoryRange> MemoryRanges() = 0;
    // The function's level-triggered line, or null for a function without an interrupt.
    virtual std::shared_ptr<InterruptLine> Interrupt() = 0;

    // Called once the machine has placed the function, before its driver hears of it.
    virtual void OnPlugged(const PciAssignment& assignment);
    // Called when the function leaves the machine. For a surprise removal this comes at the moment of
    // removal, from which the machine already answers every access to its ranges with all ones: a
    // model must stop asserting its line, since a device that is gone drives no wire. The model may
    // be destroyed once Machine's removal call has returned.
    virtual void OnUnplugged(PciUnplug how);
};

// What is wrong with a declaration (a location out of range, too many ranges, a range without a
// handler or whose size is not a power of two of at least kPciMinimumRangeSize); empty when it is
// sound.
std::string CheckPciDeclaration(const PciLocation& location, const std::vector<PciMemoryRange>& ranges);

} // namespace platform
