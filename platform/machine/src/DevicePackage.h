// Installing a plugged function the way setup does: finding the driver service that serves one of
// its ids, and writing its device instance key under "...\Enum" and its driver key under
// "...\Control\Class\{class guid}\NNNN" in Windows' layout.
//
// Which service serves which device is a table in the registry: each service key lists the hardware
// ids it drives in "HardwareIds" (REG_MULTI_SZ) and carries what its installation writes into a
// device's keys: "ClassGUID", "Class", "DeviceDesc", "Mfg", "DriverVersion", "ProviderName",
// "InfPath" and "InfSection". A device already installed in an earlier run keeps its instance key,
// whose "Service" and "Driver" values then decide, so its settings under the driver key carry over.
#pragma once
#include "PciDeviceIds.h"
#include "km/status.h"

#include <optional>
#include <string>

namespace platform {

struct DeviceInstallation {
    std::u16string service;
    std::u16string classGuid;     // "{4d36e96c-e325-11ce-bfc1-08002be10318}"
    std::u16string className;     // "MEDIA"
    std::u16string driverKeyName; // "<class guid>\0000"
    std::u16string deviceDescription;
    std::u16string manufacturer;
};

// The device's installation: from its instance key when that names a service, otherwise from the
// first service whose "HardwareIds" holds one of the device's hardware ids or, failing those, its
// compatible ids (in the device's order, most specific first). The keys are written (or completed)
// on the way; at a first installation the service's driver package (DriverPackage.h) is applied to
// them, so it applies once per device instance. Nothing when no service serves the device; no key
// is written then. A driver package that cannot be read or applied fails the installation before
// any key is written: its status, and `error` naming the file and line.
NTSTATUS InstallDevice(const PciDeviceIds& ids, std::optional<DeviceInstallation>* installation,
                       std::string* error);

// "\Registry\Machine\System\CurrentControlSet\Enum\<instance path>".
std::u16string DeviceInstanceKeyPath(const std::u16string& instancePath);
// "\Registry\Machine\System\CurrentControlSet\Control\Class\<driver key name>".
std::u16string DriverKeyPath(const std::u16string& driverKeyName);

} // namespace platform
