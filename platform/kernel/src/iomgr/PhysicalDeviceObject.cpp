// Physical device objects: how the stand-in makes and deletes them.
#include "PhysicalDeviceObject.h"

#include "DriverObjectTable.h"
#include "ObjectNamespace.h"
#include "Reports.h"
#include "Utf8.h"
#include "standin/devices.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <cstdio>

namespace standin {
namespace {

std::atomic<unsigned> g_nextGeneratedName{1};

PhysicalDevice Named(const PhysicalDeviceProperties& properties)
{
    PhysicalDevice record{properties};
    // Names are unique: a name a caller gave that is taken (two plugs of one model) gets a number.
    auto& names = ObjectNamespace::Instance();
    std::u16string& name = record.properties.physicalDeviceObjectName;
    while (name.empty() || names.DeviceNameTaken(name)) {
        char text[40];
        std::snprintf(text, sizeof text, "\\Device\\NTPNP_PCI%04u", g_nextGeneratedName.fetch_add(1));
        name.assign(text, text + std::char_traits<char>::length(text));
    }
    return record;
}

} // namespace

PhysicalDeviceObject::PhysicalDeviceObject(PhysicalDevice record, PDRIVER_OBJECT busDriver)
    : DeviceObjectRecord(busDriver ? busDriver : PciBusDriverObject(),
                         record.properties.physicalDeviceObjectName, 0, FILE_DEVICE_UNKNOWN, 0,
                         DO_BUS_ENUMERATED_DEVICE),
      record_(std::move(record))
{
    Extension().DeviceNode = &record_;
}

PhysicalDeviceObject* PhysicalDeviceObject::Create(const PhysicalDeviceProperties& properties,
                                                   PDRIVER_OBJECT busDriver)
{
    PhysicalDevice record = Named(properties);
    auto* object = new PhysicalDeviceObject(std::move(record), busDriver);
    while (!ObjectNamespace::Instance().AddDevice(object->Name(), object->Device(), &ReferenceDeviceRecord)) {
        // Taken between the check and now by another thread: name it afresh.
        delete object;
        object = new PhysicalDeviceObject(Named(PhysicalDeviceProperties{properties}), busDriver);
    }
    RegisterDeviceObject(object);
    std::lock_guard<std::mutex> hold(DeviceDatabaseLock());
    LinkDeviceToDriverLocked(object->Device()->DriverObject, object->Device());
    return object;
}

std::string PhysicalDeviceObject::Describe() const
{
    return "physical " + DeviceObjectRecord::Describe();
}

PDEVICE_OBJECT CreatePhysicalDeviceObject(const PhysicalDeviceProperties& properties,
                                          PDRIVER_OBJECT busDriver)
{
    return PhysicalDeviceObject::Create(properties, busDriver)->Device();
}

void DeletePhysicalDeviceObject(PDEVICE_OBJECT deviceObject)
{
    DeviceObjectRecord* record = ReferenceDeviceRecord(deviceObject);
    auto* physical = dynamic_cast<PhysicalDeviceObject*>(record);
    if (!physical || !physical->MarkDeleted()) {
        VerifierReport("bad-object", "DeletePhysicalDeviceObject of " + PointerText(deviceObject) +
                                         ", which is not a physical device object the caller still holds");
        if (record)
            DereferenceObject(record);
        return;
    }
    DeleteDeviceObject(physical);
    DereferenceObject(physical);
}

} // namespace standin
