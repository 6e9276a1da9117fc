// Driver objects: made before a driver's entry point runs and ended after it unloads, with their
// names, extensions and default dispatch table; the devices each one has; and the "drivers" leak
// check of driver objects never ended.
#include "DeviceObject.h"
#include "DriverObjectTable.h"
#include "Reports.h"
#include "Utf8.h"
#include "km/irp.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/devices.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <map>
#include <memory>

namespace standin {
namespace {

struct DriverRecord {
    DRIVER_OBJECT driver{};
    DRIVER_EXTENSION extension{};
    std::u16string name;        // "\Driver\<service>"
    std::u16string serviceName; // "<service>"
};

struct DriverTable {
    std::mutex lock;
    std::map<PDRIVER_OBJECT, std::unique_ptr<DriverRecord>> records;

    DriverTable()
    {
        VerifierRegisterLeakCheck("drivers", [this] {
            std::lock_guard<std::mutex> hold(lock);
            std::vector<std::string> lines;
            for (auto& [driver, record] : records)
                lines.push_back("driver object " + Utf8Text(record->name) + " at " + PointerText(driver) +
                                " not ended");
            return lines;
        });
    }
    static DriverTable& Instance()
    {
        static DriverTable* table = new DriverTable;
        return *table;
    }
};

bool SameNameIgnoringCase(const std::u16string& a, const std::u16string& b);

void PointAt(UNICODE_STRING& string, const std::u16string& text)
{
    string.Buffer = const_cast<WCHAR*>(text.c_str());
    string.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    string.MaximumLength = static_cast<USHORT>(string.Length + sizeof(WCHAR));
}

bool SameNameIgnoringCase(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

bool IsLiveDriverObject(PDRIVER_OBJECT driver)
{
    if (driver == PciBusDriverObject())
        return true;
    auto& table = DriverTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    return table.records.count(driver) != 0;
}

void LinkDeviceToDriverLocked(PDRIVER_OBJECT driver, PDEVICE_OBJECT device)
{
    device->NextDevice = driver->DeviceObject;
    driver->DeviceObject = device;
}

void UnlinkDeviceFromDriverLocked(PDEVICE_OBJECT device)
{
    PDRIVER_OBJECT driver = device->DriverObject;
    if (!driver)
        return;
    for (PDEVICE_OBJECT* link = &driver->DeviceObject; *link; link = &(*link)->NextDevice) {
        if (*link == device) {
            *link = device->NextDevice;
            device->NextDevice = nullptr;
            return;
        }
    }
}

void FillDefaultDispatch(PDRIVER_OBJECT driver)
{
    for (auto& entry : driver->MajorFunction)
        entry = InvalidDeviceRequest;
}

NTSTATUS NTAPI InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp)
{
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

PDRIVER_OBJECT CreateDriverObject(std::u16string_view serviceName)
{
    if (serviceName.empty() || serviceName.find(u'\\') != std::u16string_view::npos)
        return nullptr;
    auto record = std::make_unique<DriverRecord>();
    record->serviceName = std::u16string(serviceName);
    record->name = u"\\Driver\\" + record->serviceName;

    auto& table = DriverTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    for (auto& [driver, other] : table.records)
        if (SameNameIgnoringCase(other->name, record->name))
            return nullptr;

    DRIVER_OBJECT& driver = record->driver;
    driver.Type = IO_TYPE_DRIVER;
    driver.Size = sizeof(DRIVER_OBJECT);
    driver.DriverExtension = &record->extension;
    PointAt(driver.DriverName, record->name);
    FillDefaultDispatch(&driver);
    record->extension.DriverObject = &driver;
    PointAt(record->extension.ServiceKeyName, record->serviceName);

    PDRIVER_OBJECT result = &driver;
    table.records.emplace(result, std::move(record));
    return result;
}

std::vector<PDEVICE_OBJECT> DriverDeviceObjects(PDRIVER_OBJECT driverObject)
{
    std::vector<PDEVICE_OBJECT> devices;
    if (!driverObject || !IsLiveDriverObject(driverObject))
        return devices;
    std::lock_guard<std::mutex> hold(DeviceDatabaseLock());
    for (PDEVICE_OBJECT device = driverObject->DeviceObject; device; device = device->NextDevice)
        devices.push_back(device);
    return devices;
}

size_t DeleteDriverObject(PDRIVER_OBJECT driverObject)
{
    CheckIrqlAtMost("DeleteDriverObject", PASSIVE_LEVEL);
    auto& table = DriverTable::Instance();
    {
        std::lock_guard<std::mutex> hold(table.lock);
        if (!driverObject || !table.records.count(driverObject)) {
            VerifierReport("bad-object", CallText("DeleteDriverObject", driverObject) +
                                             ", which is not a live driver object");
            return 0;
        }
    }
    // A device the driver left behind would keep pointing at a driver that is gone: end it here.
    size_t left = 0;
    for (PDEVICE_OBJECT device : DriverDeviceObjects(driverObject)) {
        DeviceObjectRecord* record = ReferenceDeviceRecord(device);
        if (!record)
            continue;
        ++left;
        VerifierReport("leak", "devices: " + record->Describe() + " left at unload");
        if (record->MarkDeleted())
            DeleteDeviceObject(record);
        DereferenceObject(record);
    }
    // Requests that still arrive for objects kept alive by open files get "invalid device request".
    static DRIVER_OBJECT* ended = [] {
        static const char16_t name[] = u"\\Driver\\(unloaded)";
        auto* driver = new DRIVER_OBJECT{};
        driver->Type = IO_TYPE_DRIVER;
        driver->Size = sizeof(DRIVER_OBJECT);
        driver->DriverName.Buffer = const_cast<WCHAR*>(name);
        driver->DriverName.Length = sizeof name - sizeof(WCHAR);
        driver->DriverName.MaximumLength = sizeof name;
        FillDefaultDispatch(driver);
        return driver;
    }();
    ReassignDevicesOfDriver(driverObject, ended);
    std::lock_guard<std::mutex> hold(table.lock);
    table.records.erase(driverObject);
    return left;
}

} // namespace standin
