// The object behind each physical device object: a device object a bus driver reports, with its plug
// and play record.
#pragma once
#include "DeviceObject.h"
#include "km/iodevice.h"
#include "standin/devices.h"

#include <string>

namespace standin {

class PhysicalDeviceObject final : public DeviceObjectRecord {
public:
    // A new object, registered, with the creator's reference held by the stand-in.
    static PhysicalDeviceObject* Create(const PhysicalDeviceProperties& properties, PDRIVER_OBJECT busDriver);

    std::string Describe() const override;

private:
    PhysicalDeviceObject(PhysicalDevice record, PDRIVER_OBJECT busDriver);
    ~PhysicalDeviceObject() override = default;

    PhysicalDevice record_;
};

} // namespace standin
