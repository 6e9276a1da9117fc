// What the machine tells about a function plugged into it: its names, its driver, where its
// resources were placed and where it stands in its plug and play life.
#pragma once
#include "km/iodevice.h"
#include "km/pnp.h"
#include "platform/bus/PciFunction.h"

#include <string>
#include <vector>

namespace platform {

enum class DeviceState {
    Inactive, // plugged, without a driver stack: no driver serves it, the driver is not loaded, or
              // adding or starting it failed (lastStatus says why)
    Started,  // its driver started it; its ranges decode and its line is on the bus
    Stopped,  // stopped by a stop request; its ranges do not decode
};

struct PluggedDevice {
    std::u16string instancePath; // "PCI\VEN_...&DEV_...&SUBSYS_...&REV_..\3&<hash>&0&<slot>"
    std::vector<std::u16string> hardwareIds;
    std::vector<std::u16string> compatibleIds;
    std::u16string service;       // the driver service serving it; empty when none does
    std::u16string driverKeyName; // "{class guid}\NNNN"; empty when no driver serves it
    PciAssignment assignment;
    DeviceState state = DeviceState::Inactive;
    NTSTATUS lastStatus = 0; // of the last load, add, start or stop attempt
    // The stack's bottom while the device has a driver stack, else NULL.
    PDEVICE_OBJECT physicalDeviceObject = nullptr;
    // As the stack answered the last IRP_MN_QUERY_CAPABILITIES.
    DEVICE_CAPABILITIES capabilities{};
};

} // namespace platform
