// IoGetDeviceProperty: the plug and play properties of a physical device object, in the forms
// Windows returns them.
#include "PhysicalDeviceObject.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/devices.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Append(Bytes& bytes, const std::u16string& text)
{
    const auto* begin = reinterpret_cast<const unsigned char*>(text.c_str());
    bytes.insert(bytes.end(), begin, begin + (text.size() + 1) * sizeof(char16_t)); // with its zero
}

std::optional<Bytes> Text(const std::u16string& text)
{
    if (text.empty())
        return std::nullopt;
    Bytes bytes;
    Append(bytes, text);
    return bytes;
}

std::optional<Bytes> List(const std::vector<std::u16string>& texts)
{
    if (texts.empty())
        return std::nullopt;
    Bytes bytes;
    for (const auto& text : texts)
        Append(bytes, text);
    Append(bytes, u"");
    return bytes;
}

std::optional<Bytes> Number(std::optional<ULONG> value)
{
    if (!value)
        return std::nullopt;
    Bytes bytes(sizeof(ULONG));
    std::memcpy(bytes.data(), &*value, sizeof(ULONG));
    return bytes;
}

enum class Lookup { Found, Absent, Unsupported };

Lookup ValueOf(const standin::PhysicalDeviceProperties& p, DEVICE_REGISTRY_PROPERTY property, Bytes& value)
{
    std::optional<Bytes> found;
    switch (property) {
    case DevicePropertyDeviceDescription:
        found = Text(p.deviceDescription);
        break;
    case DevicePropertyHardwareID:
        found = List(p.hardwareIds);
        break;
    case DevicePropertyCompatibleIDs:
        found = List(p.compatibleIds);
        break;
    case DevicePropertyClassName:
        found = Text(p.className);
        break;
    case DevicePropertyClassGuid:
        found = Text(p.classGuid);
        break;
    case DevicePropertyDriverKeyName:
        found = Text(p.driverKeyName);
        break;
    case DevicePropertyFriendlyName:
        found = Text(p.friendlyName);
        break;
    case DevicePropertyLocationInformation:
        found = Text(p.locationInformation);
        break;
    case DevicePropertyPhysicalDeviceObjectName:
        found = Text(p.physicalDeviceObjectName);
        break;
    case DevicePropertyEnumeratorName:
        found = Text(p.enumeratorName);
        break;
    case DevicePropertyBusNumber:
        found = Number(p.busNumber);
        break;
    case DevicePropertyAddress:
        found = Number(p.address);
        break;
    case DevicePropertyInstallState:
        found =
            Number(p.installState ? std::optional<ULONG>(static_cast<ULONG>(*p.installState)) : std::nullopt);
        break;
    default:
        return Lookup::Unsupported;
    }
    if (!found)
        return Lookup::Absent;
    value = std::move(*found);
    return Lookup::Found;
}

// The record of a physical device object, or null for anything else.
const standin::PhysicalDevice* RecordOf(standin::KernelObject* object)
{
    if (!object)
        return nullptr;
    const auto* device = static_cast<const DEVICE_OBJECT*>(object->Body());
    return device->DeviceObjectExtension ? device->DeviceObjectExtension->DeviceNode : nullptr;
}

} // namespace

extern "C" NTSTATUS NTAPI IoGetDeviceProperty(PDEVICE_OBJECT DeviceObject,
                                              DEVICE_REGISTRY_PROPERTY DeviceProperty, ULONG BufferLength,
                                              PVOID PropertyBuffer, PULONG ResultLength)
{
    standin::CheckIrqlAtMost("IoGetDeviceProperty", PASSIVE_LEVEL);
    standin::KernelObject* object = standin::ReferenceDeviceObject(DeviceObject);
    struct Release {
        standin::KernelObject* object;
        ~Release()
        {
            if (object)
                standin::DereferenceObject(object);
        }
    } release{object};

    const standin::PhysicalDevice* record = RecordOf(object);
    if (!record) {
        standin::VerifierReport("bad-argument", standin::CallText("IoGetDeviceProperty", DeviceObject) +
                                                    ", which is not a physical device object");
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (!ResultLength) {
        standin::VerifierReport("bad-argument", "IoGetDeviceProperty without ResultLength");
        return STATUS_INVALID_PARAMETER;
    }
    Bytes value;
    switch (ValueOf(record->properties, DeviceProperty, value)) {
    case Lookup::Unsupported:
        *ResultLength = 0;
        return STATUS_INVALID_PARAMETER_2;
    case Lookup::Absent:
        *ResultLength = 0;
        return STATUS_OBJECT_NAME_NOT_FOUND;
    case Lookup::Found:
        break;
    }
    if (!PropertyBuffer && BufferLength > 0) {
        standin::VerifierReport("bad-argument", "IoGetDeviceProperty with a NULL buffer of " +
                                                    std::to_string(BufferLength) + " bytes");
        return STATUS_INVALID_PARAMETER;
    }
    *ResultLength = static_cast<ULONG>(value.size());
    if (BufferLength < value.size())
        return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(PropertyBuffer, value.data(), value.size());
    return STATUS_SUCCESS;
}
