// The plug and play manager's record of one plugged PCI function and the requests that move it
// through its life: a physical device object and the driver's add-device routine, the capabilities
// query and the start request with its resource lists, stop, start again, removal and surprise
// removal. The function's ranges decode (are registered on the bus) and its line is routed (is on
// the bus's line table) exactly while it is started.
#pragma once
#include "DevicePackage.h"
#include "PciDeviceIds.h"
#include "RangeGate.h"
#include "ResourceArbiter.h"
#include "platform/machine/PluggedDevice.h"

#include <memory>
#include <optional>
#include <vector>

namespace platform {

class DeviceNode {
public:
    // Reads the function's declaration, places its resources and installs it (writing its instance
    // and driver keys when a service serves it). STATUS_INVALID_PARAMETER for an unsound
    // declaration, STATUS_INSUFFICIENT_RESOURCES when the resources do not fit; *error says why.
    static NTSTATUS Create(PciFunction& function, ResourceArbiter& arbiter, std::unique_ptr<DeviceNode>* node,
                           std::string* error);
    ~DeviceNode();
    DeviceNode(const DeviceNode&) = delete;
    DeviceNode& operator=(const DeviceNode&) = delete;

    PciFunction& Function() const { return function_; }
    const PciLocation& Location() const { return location_; }
    // The serving service, or empty.
    std::u16string Service() const;
    DeviceState State() const { return state_; }
    bool HasStack() const { return pdo_ != nullptr; }
    PluggedDevice Info() const;
    void SetLastStatus(NTSTATUS status) { lastStatus_ = status; }

    // Inactive -> Started: a physical device object, AddDevice, the capabilities query and the
    // start. A failed add leaves it inactive with no stack; a failed start is followed by a removal
    // request, as Windows does, and leaves it inactive too.
    NTSTATUS AddAndStart(PDRIVER_OBJECT driver);
    // Stopped -> Started.
    NTSTATUS Start();
    // Started -> Stopped: the stop query (a veto is cancelled and returned), then the stop.
    NTSTATUS Stop();
    // Started or Stopped -> Inactive: with `query`, the removal query first (a veto is cancelled and
    // returned, and nothing changes); then the removal request, after which the driver's device must
    // be gone from the stack; the physical device object goes.
    NTSTATUS RemoveStack(bool query);
    // The function is pulled out: from now on its ranges read all ones, the model is told, a driver
    // stack gets the surprise-removal request and the ranges and line leave the bus. The node no
    // longer touches the function afterwards. The removal request follows with FinishRemoval, which
    // Windows sends once no file is open on the device any more.
    void SurpriseRemove();
    // The removal request (when the device has a stack) and the physical device object deleted.
    void FinishRemoval();
    PDEVICE_OBJECT PhysicalDeviceObject() const { return pdo_; }
    // The function leaves the machine in good order (its stack is gone): the model is told.
    void Unplugged();

private:
    DeviceNode(PciFunction& function, ResourceArbiter& arbiter) : function_(function), arbiter_(arbiter) {}
    NTSTATUS StartStack();
    NTSTATUS DecodeOn();
    void DecodeOff();
    void SendRequired(UCHAR minor);
    void DeletePhysicalDevice();
    std::string Name() const;

    PciFunction& function_;
    ResourceArbiter& arbiter_;
    PciLocation location_;
    std::vector<PciMemoryRange> ranges_;
    std::shared_ptr<InterruptLine> line_;
    std::vector<std::unique_ptr<RangeGate>> gates_;
    PciAssignment assignment_;
    bool assigned_ = false;
    PciDeviceIds ids_;
    std::optional<DeviceInstallation> installation_;
    DeviceState state_ = DeviceState::Inactive;
    NTSTATUS lastStatus_ = 0;
    PDEVICE_OBJECT pdo_ = nullptr;
    PDRIVER_OBJECT driver_ = nullptr;
    DEVICE_CAPABILITIES capabilities_{};
    bool decoding_ = false;
    bool modelTold_ = false;
};

} // namespace platform
