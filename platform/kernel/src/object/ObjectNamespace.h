// The object namespace the I/O manager resolves names in: named device objects ("\Device\X") and
// symbolic links ("\??\Y", also written "\DosDevices\Y" and "\GLOBAL??\Y") whose targets are names
// again. Names compare case-insensitively. Resolving a path follows links until it reaches a device
// and returns what remains of the path after the device's name.
#pragma once
#include "km/iodevice.h"
#include "km/types.h"

#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace standin {

class DeviceObjectRecord;

class ObjectNamespace {
public:
    static ObjectNamespace& Instance();

    // How a resolution finds the live record behind a named device: the I/O manager, which keeps
    // the records, gives its reference call with every device it names. It returns the record
    // referenced, or null once the device is going away.
    using DeviceReference = DeviceObjectRecord* (*)(PVOID deviceObject);

    // False when the name is taken.
    bool AddDevice(const std::u16string& name, PDEVICE_OBJECT device, DeviceReference reference);
    void RemoveDevice(const std::u16string& name, PDEVICE_OBJECT device);
    bool DeviceNameTaken(const std::u16string& name);

    // `link` in any of its spellings; STATUS_OBJECT_NAME_INVALID outside the link directory,
    // STATUS_OBJECT_NAME_COLLISION when it exists.
    NTSTATUS AddLink(std::u16string_view link, std::u16string_view target);
    // STATUS_OBJECT_NAME_NOT_FOUND when there is no such link.
    NTSTATUS RemoveLink(std::u16string_view link);

    struct Resolution {
        NTSTATUS status;
        DeviceObjectRecord* device; // referenced (DereferenceObject) when status is success
        std::u16string remaining;   // "" or "\..."
    };
    Resolution Resolve(std::u16string_view path);

private:
    ObjectNamespace() = default;

    std::mutex lock_;
    DeviceReference reference_ = nullptr;              // set with the first named device
    std::map<std::u16string, PDEVICE_OBJECT> devices_; // keyed by the upper-cased name
    std::map<std::u16string, std::u16string> links_;   // "\??\<NAME>" upper-cased -> target
};

// The upper-cased form names are compared in.
std::u16string UpcaseName(std::u16string_view name);
// "\DosDevices\X" and "\GLOBAL??\X" as "\??\X"; other names unchanged.
std::u16string CanonicalLinkName(std::u16string_view name);

} // namespace standin
