// The object behind each physical device object: the DEVICE_OBJECT a bus driver reports, its
// extension and its plug and play record, known to the object manager under the device type.
#pragma once
#include "km/iodevice.h"
#include "km/object.h"

#include <atomic>
#include <string>

namespace standin {

class PhysicalDeviceObject final : public KernelObject {
public:
    // A new object with one reference for the caller.
    static PhysicalDeviceObject* Create(const PhysicalDeviceProperties& properties, PDRIVER_OBJECT busDriver);

    PVOID Body() const override { return const_cast<DEVICE_OBJECT*>(&device_); }
    std::string Describe() const override;

    // True the first time only: the creator's reference may be given back once.
    bool MarkDeleted() { return !deleted_.exchange(true); }

private:
    PhysicalDeviceObject(const PhysicalDeviceProperties& properties, PDRIVER_OBJECT busDriver);
    ~PhysicalDeviceObject() override = default;

    DEVICE_OBJECT device_{};
    DEVOBJ_EXTENSION extension_{};
    PhysicalDevice record_;
    std::u16string name_;
    std::atomic<bool> deleted_{false};
};

// The live device object at `deviceObject`, referenced (release with DereferenceObject), or null
// when no device object of the stand-in's lives there.
KernelObject* ReferenceDeviceObject(PVOID deviceObject);

} // namespace standin
