// Physical device objects: how the stand-in makes, finds and deletes them, and the PCI bus driver
// object that reports them.
#include "PhysicalDeviceObject.h"

#include "Reports.h"
#include "Utf8.h"
#include "km/verifier.h"

#include <algorithm>
#include <cstdio>

namespace standin {
namespace {

OBJECT_TYPE g_deviceType{"Device"};
POBJECT_TYPE g_deviceTypePointer = &g_deviceType;
std::atomic<unsigned> g_nextGeneratedName{1};

std::u16string GeneratedName()
{
    char text[32];
    std::snprintf(text, sizeof text, "\\Device\\NTPNP_PCI%04u", g_nextGeneratedName.fetch_add(1));
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

void PointAt(UNICODE_STRING& string, const std::u16string& text)
{
    const size_t bytes = std::min<size_t>(text.size() * sizeof(WCHAR), 0xFFFC);
    string.Buffer = const_cast<WCHAR*>(text.c_str());
    string.Length = static_cast<USHORT>(bytes);
    string.MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
}

} // namespace

PhysicalDeviceObject::PhysicalDeviceObject(const PhysicalDeviceProperties& properties,
                                           PDRIVER_OBJECT busDriver)
    : KernelObject(g_deviceTypePointer), record_{properties}
{
    if (record_.properties.physicalDeviceObjectName.empty())
        record_.properties.physicalDeviceObjectName = GeneratedName();
    name_ = record_.properties.physicalDeviceObjectName;

    extension_.Type = IO_TYPE_DEVICE;
    extension_.Size = sizeof(DEVOBJ_EXTENSION);
    extension_.DeviceObject = &device_;
    PointAt(extension_.ObjectName, name_);
    extension_.DeviceNode = &record_;

    device_.Type = IO_TYPE_DEVICE;
    device_.Size = sizeof(DEVICE_OBJECT);
    device_.ReferenceCount = 0;
    device_.DriverObject = busDriver ? busDriver : PciBusDriverObject();
    device_.Flags = DO_BUS_ENUMERATED_DEVICE;
    device_.DeviceType = FILE_DEVICE_UNKNOWN;
    device_.StackSize = 1;
    KeInitializeEvent(&device_.DeviceLock, SynchronizationEvent, TRUE);
    device_.DeviceObjectExtension = &extension_;
}

PhysicalDeviceObject* PhysicalDeviceObject::Create(const PhysicalDeviceProperties& properties,
                                                   PDRIVER_OBJECT busDriver)
{
    auto* object = new PhysicalDeviceObject(properties, busDriver);
    InsertObject(object);
    return object;
}

std::string PhysicalDeviceObject::Describe() const
{
    return "physical device object " + Utf8Text(name_) + " at " + PointerText(Body());
}

KernelObject* ReferenceDeviceObject(PVOID deviceObject)
{
    KernelObject* object = ReferenceObjectByBody(deviceObject);
    if (object && object->Type() != g_deviceTypePointer) {
        DereferenceObject(object);
        return nullptr;
    }
    return object;
}

PDEVICE_OBJECT CreatePhysicalDeviceObject(const PhysicalDeviceProperties& properties,
                                          PDRIVER_OBJECT busDriver)
{
    return static_cast<PDEVICE_OBJECT>(PhysicalDeviceObject::Create(properties, busDriver)->Body());
}

void DeletePhysicalDeviceObject(PDEVICE_OBJECT deviceObject)
{
    KernelObject* object = ReferenceDeviceObject(deviceObject);
    auto* physical = dynamic_cast<PhysicalDeviceObject*>(object);
    if (!physical || !physical->MarkDeleted()) {
        VerifierReport("bad-object", "DeletePhysicalDeviceObject of " + PointerText(deviceObject) +
                                         ", which is not a physical device object the caller still holds");
        if (object)
            DereferenceObject(object);
        return;
    }
    DereferenceObject(physical); // the lookup's reference
    DereferenceObject(physical); // the creator's
}

PDRIVER_OBJECT PciBusDriverObject()
{
    static DRIVER_OBJECT* driver = [] {
        static const char16_t name[] = u"\\Driver\\PCI";
        auto* d = new DRIVER_OBJECT{};
        d->Type = IO_TYPE_DRIVER;
        d->Size = sizeof(DRIVER_OBJECT);
        d->DriverName.Buffer = const_cast<WCHAR*>(name);
        d->DriverName.Length = sizeof name - sizeof(WCHAR);
        d->DriverName.MaximumLength = sizeof name;
        return d;
    }();
    return driver;
}

} // namespace standin

POBJECT_TYPE* IoDeviceObjectType = &standin::g_deviceTypePointer;
