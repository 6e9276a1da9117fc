// Matching devices to driver services and writing their instance and driver keys.
#include "DevicePackage.h"

#include "DriverPackage.h"
#include "MachineKey.h"
#include "MachinePaths.h"
#include "Text.h"
#include "km/registry.h"
#include "standin/registry.h"

#include <cstdio>

namespace platform {
namespace {

struct Match {
    std::u16string service;
    std::u16string matchingId;
};

std::optional<Match> FindService(const PciDeviceIds& ids)
{
    const auto services = SubKeys(kServicesKey);
    auto search = [&](const std::vector<std::u16string>& deviceIds) -> std::optional<Match> {
        for (const auto& id : deviceIds)
            for (const auto& service : services)
                for (const auto& served : ReadMultiStringValue(ServiceKeyPath(service), u"HardwareIds"))
                    if (EqualNoCase(served, id))
                        return Match{service, id};
        return std::nullopt;
    };
    if (auto match = search(ids.hardwareIds))
        return match;
    return search(ids.compatibleIds);
}

std::u16string ServiceValue(const std::u16string& service, std::u16string_view name)
{
    return ReadStringValue(ServiceKeyPath(service), name).value_or(u"");
}

// The first instance number not yet taken under the class key, as four decimal digits.
std::u16string NextDriverKeyName(const std::u16string& classGuid)
{
    const auto taken = SubKeys(std::u16string(kClassKey) + u"\\" + classGuid);
    for (unsigned n = 0; n < 10000; ++n) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04u", n);
        const std::u16string name = Utf16(digits);
        bool used = false;
        for (const auto& key : taken)
            used = used || EqualNoCase(key, name);
        if (!used)
            return classGuid + u"\\" + name;
    }
    return {};
}

bool WriteClassKeys(const DeviceInstallation& installation, const std::u16string& matchingId)
{
    MachineKey classKey;
    if (!NT_SUCCESS(classKey.Create(std::u16string(kClassKey) + u"\\" + installation.classGuid)))
        return false;
    if (!ReadStringValue(std::u16string(kClassKey) + u"\\" + installation.classGuid, u"Class"))
        classKey.SetString(u"Class", installation.className);
    classKey.Close();

    MachineKey driverKey;
    if (!NT_SUCCESS(driverKey.Create(DriverKeyPath(installation.driverKeyName))))
        return false;
    driverKey.SetString(u"DriverDesc", installation.deviceDescription);
    driverKey.SetString(u"MatchingDeviceId", LowerAscii(matchingId));
    driverKey.SetString(u"DriverVersion", ServiceValue(installation.service, u"DriverVersion"));
    driverKey.SetString(u"ProviderName", ServiceValue(installation.service, u"ProviderName"));
    const std::u16string infPath = ServiceValue(installation.service, u"InfPath");
    if (!infPath.empty())
        driverKey.SetString(u"InfPath", infPath);
    driverKey.SetString(u"InfSection", ServiceValue(installation.service, u"InfSection"));
    return true;
}

} // namespace

std::u16string DeviceInstanceKeyPath(const std::u16string& instancePath)
{
    return std::u16string(kEnumKey) + u"\\" + instancePath;
}

std::u16string DriverKeyPath(const std::u16string& driverKeyName)
{
    return std::u16string(kClassKey) + u"\\" + driverKeyName;
}

NTSTATUS InstallDevice(const PciDeviceIds& ids, std::optional<DeviceInstallation>* result, std::string* error)
{
    result->reset();
    const std::u16string instanceKey = DeviceInstanceKeyPath(ids.instancePath);
    DeviceInstallation installation;
    std::u16string matchingId;

    // A device installed before keeps its service and driver key.
    const auto service = ReadStringValue(instanceKey, u"Service");
    const auto driver = ReadStringValue(instanceKey, u"Driver");
    if (service && !service->empty() && driver && !driver->empty()) {
        installation.service = *service;
        installation.driverKeyName = *driver;
        installation.classGuid = ReadStringValue(instanceKey, u"ClassGUID").value_or(u"");
        installation.className = ReadStringValue(instanceKey, u"Class").value_or(u"");
        installation.deviceDescription = ReadStringValue(instanceKey, u"DeviceDesc").value_or(u"");
        installation.manufacturer = ReadStringValue(instanceKey, u"Mfg").value_or(u"");
        if (!standin::RegistryKeyExists(DriverKeyPath(installation.driverKeyName))) {
            // The driver key went missing (an edited hive): make it again, empty, so the driver finds it.
            MachineKey driverKey;
            if (!NT_SUCCESS(driverKey.Create(DriverKeyPath(installation.driverKeyName))))
                return STATUS_SUCCESS;
        }
        *result = installation;
        return STATUS_SUCCESS;
    }

    auto match = FindService(ids);
    if (!match)
        return STATUS_SUCCESS;
    installation.service = match->service;
    installation.classGuid = ServiceValue(match->service, u"ClassGUID");
    installation.className = ServiceValue(match->service, u"Class");
    installation.deviceDescription = ServiceValue(match->service, u"DeviceDesc");
    installation.manufacturer = ServiceValue(match->service, u"Mfg");
    if (installation.classGuid.empty())
        return STATUS_SUCCESS;

    // The package is read and checked whole before anything is written.
    std::vector<std::u16string> deviceIds = ids.hardwareIds;
    deviceIds.insert(deviceIds.end(), ids.compatibleIds.begin(), ids.compatibleIds.end());
    DriverPackagePlan package;
    const NTSTATUS planned = PlanDriverPackage(ServiceValue(match->service, u"InfPath"), deviceIds,
                                               ServiceValue(match->service, u"InfSection"), &package, error);
    if (!NT_SUCCESS(planned))
        return planned;

    installation.driverKeyName = NextDriverKeyName(installation.classGuid);
    if (installation.driverKeyName.empty() || !WriteClassKeys(installation, match->matchingId))
        return STATUS_SUCCESS;
    const NTSTATUS applied = ApplyDriverPackage(package, DriverKeyPath(installation.driverKeyName));
    if (!NT_SUCCESS(applied)) {
        *error = "the driver package's registry lines could not be written";
        return applied;
    }

    MachineKey key;
    if (!NT_SUCCESS(key.Create(instanceKey)))
        return STATUS_SUCCESS;
    key.SetMultiString(u"HardwareID", ids.hardwareIds);
    key.SetMultiString(u"CompatibleIDs", ids.compatibleIds);
    key.SetString(u"Service", installation.service);
    key.SetString(u"Driver", installation.driverKeyName);
    key.SetString(u"ClassGUID", installation.classGuid);
    key.SetString(u"Class", installation.className);
    key.SetString(u"DeviceDesc", installation.deviceDescription);
    key.SetString(u"Mfg", installation.manufacturer);
    key.SetString(u"LocationInformation", ids.location);
    key.SetDword(u"ConfigFlags", 0);
    *result = installation;
    return STATUS_SUCCESS;
}

} // namespace platform
