// A plugged function's plug and play life.
#include "DeviceNode.h"

#include "MachineStatus.h"
#include "PnpRequests.h"
#include "ResourceList.h"
#include "SystemWork.h"
#include "Text.h"
#include "km/systeminfo.h"
#include "platform/bus/Bus.h"
#include "standin/devices.h"
#include "standin/verifier.h"

#include <cstdio>

namespace platform {

NTSTATUS DeviceNode::Create(PciFunction& function, ResourceArbiter& arbiter,
                            std::unique_ptr<DeviceNode>* node, std::string* error)
{
    std::unique_ptr<DeviceNode> made(new DeviceNode(function, arbiter));
    made->location_ = function.Location();
    made->ranges_ = function.MemoryRanges();
    made->line_ = function.Interrupt();
    *error = CheckPciDeclaration(made->location_, made->ranges_);
    if (!error->empty())
        return STATUS_INVALID_PARAMETER;
    if (!arbiter.Assign(made->ranges_, made->line_ != nullptr, &made->assignment_, error))
        return STATUS_INSUFFICIENT_RESOURCES;
    made->assigned_ = true;
    for (const auto& range : made->ranges_)
        made->gates_.push_back(std::make_unique<RangeGate>(*range.handler));
    made->ids_ = MakePciDeviceIds(function.Identity(), made->location_);
    const NTSTATUS installed = InstallDevice(made->ids_, &made->installation_, error);
    if (!NT_SUCCESS(installed))
        return installed;
    made->lastStatus_ = made->installation_ ? STATUS_SUCCESS : STATUS_NOT_FOUND;
    *node = std::move(made);
    return STATUS_SUCCESS;
}

DeviceNode::~DeviceNode()
{
    DecodeOff();
    DeletePhysicalDevice();
    if (assigned_)
        arbiter_.Release(assignment_);
}

std::u16string DeviceNode::Service() const
{
    return installation_ ? installation_->service : std::u16string();
}

std::string DeviceNode::Name() const
{
    return Utf8(ids_.instancePath);
}

PluggedDevice DeviceNode::Info() const
{
    PluggedDevice info;
    info.instancePath = ids_.instancePath;
    info.hardwareIds = ids_.hardwareIds;
    info.compatibleIds = ids_.compatibleIds;
    if (installation_) {
        info.service = installation_->service;
        info.driverKeyName = installation_->driverKeyName;
    }
    info.assignment = assignment_;
    info.state = state_;
    info.lastStatus = lastStatus_;
    info.physicalDeviceObject = pdo_;
    info.capabilities = capabilities_;
    return info;
}

NTSTATUS DeviceNode::DecodeOn()
{
    if (decoding_)
        return STATUS_SUCCESS;
    auto& bus = Bus::Instance();
    for (size_t i = 0; i < ranges_.size(); ++i) {
        std::string name = ranges_[i].name;
        if (name.empty()) {
            char text[64];
            std::snprintf(text, sizeof text, "PCI %u:%u.%u range %zu", location_.bus, location_.device,
                          location_.function, i);
            name = text;
        }
        if (bus.Memory().RegisterRange(assignment_.memoryBases[i], ranges_[i].size, *gates_[i], name) !=
            BusStatus::Ok) {
            for (size_t k = 0; k < i; ++k)
                bus.Memory().UnregisterRange(assignment_.memoryBases[k]);
            return STATUS_CONFLICTING_ADDRESSES;
        }
    }
    if (line_ && bus.Interrupts().Register(assignment_.interruptVector, line_) != BusStatus::Ok) {
        for (size_t k = 0; k < ranges_.size(); ++k)
            bus.Memory().UnregisterRange(assignment_.memoryBases[k]);
        return STATUS_CONFLICTING_ADDRESSES;
    }
    decoding_ = true;
    return STATUS_SUCCESS;
}

void DeviceNode::DecodeOff()
{
    if (!decoding_)
        return;
    // A range the driver still has mapped is reported by the bus (rule "bus"); it goes all the same.
    auto& bus = Bus::Instance();
    for (size_t i = 0; i < ranges_.size(); ++i)
        bus.Memory().UnregisterRange(assignment_.memoryBases[i]);
    if (line_)
        bus.Interrupts().Unregister(assignment_.interruptVector);
    decoding_ = false;
}

void DeviceNode::SendRequired(UCHAR minor)
{
    // Requests a driver must not fail: a failure is a breach and changes nothing of what follows.
    const NTSTATUS status = SendPnpRequest(pdo_, minor);
    if (!NT_SUCCESS(status)) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
        standin::VerifierReport("pnp", Utf8(Service()) + " failed " + PnpMinorName(minor) + " of " + Name() +
                                           " with " + text);
    }
}

void DeviceNode::DeletePhysicalDevice()
{
    if (!pdo_)
        return;
    PDEVICE_OBJECT top = IoGetAttachedDevice(pdo_);
    if (top != pdo_) {
        standin::VerifierReport("pnp", Utf8(Service()) + " left device " +
                                           Utf8(standin::DeviceObjectName(top)) + " on the stack of " +
                                           Name() + " after IRP_MN_REMOVE_DEVICE");
    }
    // A driver may have registered the physical device object itself for the shutdown request; the
    // registration goes with the object, as IoDeleteDevice withdraws it.
    IoUnregisterShutdownNotification(pdo_);
    standin::DeletePhysicalDeviceObject(pdo_);
    pdo_ = nullptr;
    driver_ = nullptr;
}

NTSTATUS DeviceNode::AddAndStart(PDRIVER_OBJECT driver)
{
    if (state_ != DeviceState::Inactive || !installation_)
        return STATUS_INVALID_DEVICE_STATE;

    standin::PhysicalDeviceProperties properties;
    properties.deviceDescription = installation_->deviceDescription;
    properties.hardwareIds = ids_.hardwareIds;
    properties.compatibleIds = ids_.compatibleIds;
    properties.className = installation_->className;
    properties.classGuid = installation_->classGuid;
    properties.driverKeyName = installation_->driverKeyName;
    properties.locationInformation = ids_.location;
    properties.enumeratorName = u"PCI";
    properties.instancePath = ids_.instancePath;
    properties.busNumber = location_.bus;
    properties.address = ids_.address;
    properties.installState = InstallStateInstalled;
    pdo_ = standin::CreatePhysicalDeviceObject(properties);
    driver_ = driver;

    NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
    PDRIVER_ADD_DEVICE addDevice = driver->DriverExtension ? driver->DriverExtension->AddDevice : nullptr;
    if (addDevice) {
        PDEVICE_OBJECT pdo = pdo_;
        RunOnSystemThread([&] { status = addDevice(driver, pdo); });
    }
    if (!NT_SUCCESS(status)) {
        lastStatus_ = status;
        DeletePhysicalDevice();
        return status;
    }

    capabilities_ = DEVICE_CAPABILITIES{};
    capabilities_.Size = sizeof(DEVICE_CAPABILITIES);
    capabilities_.Version = 1;
    capabilities_.Address = 0xFFFFFFFF;
    capabilities_.UINumber = 0xFFFFFFFF;
    DEVICE_CAPABILITIES* capabilities = &capabilities_;
    SendPnpRequest(pdo_, IRP_MN_QUERY_CAPABILITIES, [capabilities](IO_STACK_LOCATION& request) {
        request.Parameters.DeviceCapabilities.Capabilities = capabilities;
    });
    return StartStack();
}

NTSTATUS DeviceNode::StartStack()
{
    NTSTATUS status = DecodeOn();
    if (NT_SUCCESS(status)) {
        const KAFFINITY processors = KeQueryActiveProcessors();
        ResourceList raw = ResourceList::Raw(location_.bus, ranges_, assignment_, processors);
        ResourceList translated = ResourceList::Translated(location_.bus, ranges_, assignment_, processors);
        status = SendPnpRequest(pdo_, IRP_MN_START_DEVICE, [&](IO_STACK_LOCATION& request) {
            request.Parameters.StartDevice.AllocatedResources = raw.Get();
            request.Parameters.StartDevice.AllocatedResourcesTranslated = translated.Get();
        });
    }
    lastStatus_ = status;
    if (NT_SUCCESS(status)) {
        state_ = DeviceState::Started;
        return status;
    }
    // A device that fails to start gets the removal request, and stays without a driver stack.
    SendRequired(IRP_MN_REMOVE_DEVICE);
    DecodeOff();
    DeletePhysicalDevice();
    state_ = DeviceState::Inactive;
    return status;
}

NTSTATUS DeviceNode::Start()
{
    if (state_ != DeviceState::Stopped)
        return STATUS_INVALID_DEVICE_STATE;
    return StartStack();
}

NTSTATUS DeviceNode::Stop()
{
    if (state_ != DeviceState::Started)
        return STATUS_INVALID_DEVICE_STATE;
    const NTSTATUS veto = SendPnpRequest(pdo_, IRP_MN_QUERY_STOP_DEVICE);
    if (!NT_SUCCESS(veto)) {
        SendPnpRequest(pdo_, IRP_MN_CANCEL_STOP_DEVICE);
        lastStatus_ = veto;
        return veto;
    }
    SendRequired(IRP_MN_STOP_DEVICE);
    DecodeOff();
    state_ = DeviceState::Stopped;
    lastStatus_ = STATUS_SUCCESS;
    return STATUS_SUCCESS;
}

NTSTATUS DeviceNode::RemoveStack(bool query)
{
    if (!pdo_)
        return STATUS_SUCCESS;
    if (query) {
        const NTSTATUS veto = SendPnpRequest(pdo_, IRP_MN_QUERY_REMOVE_DEVICE);
        if (!NT_SUCCESS(veto)) {
            SendPnpRequest(pdo_, IRP_MN_CANCEL_REMOVE_DEVICE);
            return veto;
        }
    }
    SendRequired(IRP_MN_REMOVE_DEVICE);
    DecodeOff();
    DeletePhysicalDevice();
    state_ = DeviceState::Inactive;
    return STATUS_SUCCESS;
}

void DeviceNode::SurpriseRemove()
{
    for (auto& gate : gates_)
        gate->Remove();
    modelTold_ = true;
    function_.OnUnplugged(PciUnplug::Surprise);
    if (pdo_)
        SendRequired(IRP_MN_SURPRISE_REMOVAL);
    DecodeOff();
}

void DeviceNode::FinishRemoval()
{
    if (pdo_)
        SendRequired(IRP_MN_REMOVE_DEVICE);
    DeletePhysicalDevice();
    state_ = DeviceState::Inactive;
}

void DeviceNode::Unplugged()
{
    DecodeOff();
    if (!modelTold_) {
        modelTold_ = true;
        function_.OnUnplugged(PciUnplug::Orderly);
    }
}

} // namespace platform
