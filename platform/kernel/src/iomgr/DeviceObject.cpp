// Device objects: their records, IoCreateDevice and IoDeleteDevice, and the "devices" leak check.
#include "DeviceObject.h"

#include "DeviceInterfaceTable.h"
#include "DriverObjectTable.h"
#include "ObjectNamespace.h"
#include "Reports.h"
#include "ShutdownList.h"
#include "Utf8.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/devices.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>

namespace standin {
namespace {

OBJECT_TYPE g_deviceType{"Device"};
POBJECT_TYPE g_deviceTypePointer = &g_deviceType;
std::atomic<unsigned> g_nextGeneratedName{1};

struct DeletionHooks {
    std::mutex lock;
    std::vector<DeviceDeletionHook> hooks;
    static DeletionHooks& Instance()
    {
        static DeletionHooks* hooks = new DeletionHooks;
        return *hooks;
    }
};

// Runs with no lock of the I/O manager held, as the hooks take their own.
void RunDeviceDeletionHooks(PDEVICE_OBJECT device)
{
    std::vector<DeviceDeletionHook> hooks;
    {
        auto& table = DeletionHooks::Instance();
        std::lock_guard<std::mutex> hold(table.lock);
        hooks = table.hooks;
    }
    for (DeviceDeletionHook hook : hooks)
        hook(device);
}

void PointAt(UNICODE_STRING& string, const std::u16string& text)
{
    const size_t bytes = std::min<size_t>(text.size() * sizeof(WCHAR), 0xFFFC);
    string.Buffer = text.empty() ? nullptr : const_cast<WCHAR*>(text.c_str());
    string.Length = static_cast<USHORT>(bytes);
    string.MaximumLength = text.empty() ? 0 : static_cast<USHORT>(bytes + sizeof(WCHAR));
}

// Device objects not yet deleted, for the leak check.
struct LiveDevices {
    std::mutex lock;
    std::set<DeviceObjectRecord*> records;

    LiveDevices()
    {
        VerifierRegisterLeakCheck("devices", [this] {
            std::lock_guard<std::mutex> hold(lock);
            std::vector<std::string> lines;
            for (auto* record : records)
                lines.push_back(record->Describe() + " not deleted");
            return lines;
        });
    }
    static LiveDevices& Instance()
    {
        static LiveDevices* devices = new LiveDevices;
        return *devices;
    }
};

// Every device object record that exists, deleted or not, so that the records of an ended driver
// can be pointed away from it.
struct AllDevices {
    std::mutex lock;
    std::set<DeviceObjectRecord*> records;
    static AllDevices& Instance()
    {
        static AllDevices* devices = new AllDevices;
        return *devices;
    }
};

} // namespace

POBJECT_TYPE DeviceObjectRecord::ObjectType()
{
    return g_deviceTypePointer;
}

DeviceObjectRecord::DeviceObjectRecord(PDRIVER_OBJECT driver, std::u16string name, ULONG extensionSize,
                                       DEVICE_TYPE type, ULONG characteristics, ULONG flags)
    : KernelObject(g_deviceTypePointer), name_(std::move(name))
{
    if (extensionSize) {
        deviceExtension_ = ::operator new(extensionSize, std::align_val_t(16));
        std::memset(deviceExtension_, 0, extensionSize);
    }
    extension_.Type = IO_TYPE_DEVICE;
    extension_.Size = sizeof(DEVOBJ_EXTENSION);
    extension_.DeviceObject = &device_;
    PointAt(extension_.ObjectName, name_);

    device_.Type = IO_TYPE_DEVICE;
    device_.Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) +
                                       std::min<ULONG>(extensionSize, 0xFFFF - sizeof(DEVICE_OBJECT)));
    device_.DriverObject = driver;
    device_.Flags = flags | (name_.empty() ? 0 : DO_DEVICE_HAS_NAME);
    device_.Characteristics = characteristics;
    device_.DeviceExtension = deviceExtension_;
    device_.DeviceType = type;
    device_.StackSize = 1;
    KeInitializeEvent(&device_.DeviceLock, SynchronizationEvent, TRUE);
    device_.DeviceObjectExtension = &extension_;
    auto& all = AllDevices::Instance();
    std::lock_guard<std::mutex> hold(all.lock);
    all.records.insert(this);
}

DeviceObjectRecord::~DeviceObjectRecord()
{
    {
        auto& all = AllDevices::Instance();
        std::lock_guard<std::mutex> hold(all.lock);
        all.records.erase(this);
    }
    if (deviceExtension_)
        ::operator delete(deviceExtension_, std::align_val_t(16));
}

std::string DeviceObjectRecord::Describe() const
{
    std::string text = "device object ";
    if (!name_.empty())
        text += Utf8Text(name_) + " ";
    text += "at " + PointerText(Body());
    const DRIVER_OBJECT* driver = device_.DriverObject;
    if (driver && driver->DriverName.Buffer)
        text += " of " + Utf8Text(std::u16string_view(driver->DriverName.Buffer,
                                                      driver->DriverName.Length / sizeof(WCHAR)));
    return text;
}

DeviceObjectRecord* ReferenceDeviceRecord(PVOID deviceObject)
{
    KernelObject* object = ReferenceObjectByBody(deviceObject);
    if (!object)
        return nullptr;
    if (object->Type() != g_deviceTypePointer) {
        DereferenceObject(object);
        return nullptr;
    }
    return static_cast<DeviceObjectRecord*>(object);
}

KernelObject* ReferenceDeviceObject(PVOID deviceObject)
{
    return ReferenceDeviceRecord(deviceObject);
}

std::mutex& DeviceDatabaseLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

PDEVICE_OBJECT TopOfStackLocked(PDEVICE_OBJECT device)
{
    while (device->AttachedDevice)
        device = device->AttachedDevice;
    return device;
}

std::u16string DeviceObjectName(PDEVICE_OBJECT deviceObject)
{
    DeviceObjectRecord* record = ReferenceDeviceRecord(deviceObject);
    if (!record)
        return {};
    std::u16string name = record->IsDeleted() ? std::u16string() : record->Name();
    DereferenceObject(record);
    return name;
}

void RegisterDeviceObject(DeviceObjectRecord* record)
{
    InsertObject(record);
    ReferenceObjectOwn(record);
    DereferenceObject(record);
    auto& live = LiveDevices::Instance();
    std::lock_guard<std::mutex> hold(live.lock);
    live.records.insert(record);
}

void RegisterDeviceDeletionHook(DeviceDeletionHook hook)
{
    auto& table = DeletionHooks::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    if (std::find(table.hooks.begin(), table.hooks.end(), hook) == table.hooks.end())
        table.hooks.push_back(hook);
}

void ReassignDevicesOfDriver(PDRIVER_OBJECT driver, PDRIVER_OBJECT replacement)
{
    auto& all = AllDevices::Instance();
    std::lock_guard<std::mutex> hold(all.lock);
    for (auto* record : all.records)
        if (__atomic_load_n(&record->Device()->DriverObject, __ATOMIC_ACQUIRE) == driver)
            __atomic_store_n(&record->Device()->DriverObject, replacement, __ATOMIC_RELEASE);
}

void DeleteDeviceObject(DeviceObjectRecord* record)
{
    PDEVICE_OBJECT device = record->Device();
    {
        std::lock_guard<std::mutex> hold(DeviceDatabaseLock());
        if (device->AttachedDevice) {
            VerifierReport("device-stack", "IoDeleteDevice of " + record->Describe() + ", which still has " +
                                               PointerText(device->AttachedDevice) + " attached above it");
            device->AttachedDevice->DeviceObjectExtension->AttachedTo = nullptr;
            device->AttachedDevice = nullptr;
        }
        PDEVICE_OBJECT lower = device->DeviceObjectExtension->AttachedTo;
        if (lower) {
            VerifierReport("device-stack", "IoDeleteDevice of " + record->Describe() +
                                               ", which is still attached to " + PointerText(lower));
            if (lower->AttachedDevice == device)
                lower->AttachedDevice = nullptr;
            device->DeviceObjectExtension->AttachedTo = nullptr;
        }
        UnlinkDeviceFromDriverLocked(device);
    }
    if (!record->Name().empty())
        ObjectNamespace::Instance().RemoveDevice(record->Name(), device);
    UnregisterShutdownNotificationOf(device);
    DisableInterfacesOfDevice(device);
    RunDeviceDeletionHooks(device);
    {
        auto& live = LiveDevices::Instance();
        std::lock_guard<std::mutex> hold(live.lock);
        live.records.erase(record);
    }
    DereferenceObjectOwn(record);
}

} // namespace standin

POBJECT_TYPE* IoDeviceObjectType = &standin::g_deviceTypePointer;

extern "C" NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                                         PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                                         ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                                         PDEVICE_OBJECT* DeviceObject)
{
    using namespace standin;
    CheckIrqlAtMost("IoCreateDevice", PASSIVE_LEVEL);
    if (!DriverObject || !DeviceObject || !IsLiveDriverObject(DriverObject)) {
        VerifierReport("bad-argument", "IoCreateDevice with driver object " + PointerText(DriverObject) +
                                           " and result pointer " + PointerText(DeviceObject));
        return STATUS_INVALID_PARAMETER;
    }
    *DeviceObject = nullptr;
    std::u16string name;
    if (DeviceName && DeviceName->Length) {
        if (!DeviceName->Buffer || DeviceName->Length % sizeof(WCHAR))
            return STATUS_OBJECT_NAME_INVALID;
        name.assign(DeviceName->Buffer, DeviceName->Length / sizeof(WCHAR));
        if (name.front() != u'\\' || name.back() == u'\\' || name.find(u"\\\\") != std::u16string::npos)
            return STATUS_OBJECT_NAME_INVALID;
    } else if (DeviceCharacteristics & FILE_AUTOGENERATED_DEVICE_NAME) {
        char text[32];
        std::snprintf(text, sizeof text, "\\Device\\%08X", g_nextGeneratedName.fetch_add(1));
        name.assign(text, text + std::strlen(text));
    }
    if (DeviceExtensionSize > 0x7FFFFFFF)
        return STATUS_INSUFFICIENT_RESOURCES;

    auto* record = new (std::nothrow)
        FunctionalDeviceObject(DriverObject, name, DeviceExtensionSize, DeviceType, DeviceCharacteristics,
                               DO_DEVICE_INITIALIZING | (Exclusive ? DO_EXCLUSIVE : 0));
    if (!record)
        return STATUS_INSUFFICIENT_RESOURCES;
    if (!name.empty() &&
        !ObjectNamespace::Instance().AddDevice(name, record->Device(), &ReferenceDeviceRecord)) {
        delete record;
        return STATUS_OBJECT_NAME_COLLISION;
    }
    RegisterDeviceObject(record);
    {
        std::lock_guard<std::mutex> hold(DeviceDatabaseLock());
        LinkDeviceToDriverLocked(DriverObject, record->Device());
    }
    *DeviceObject = record->Device();
    return STATUS_SUCCESS;
}

extern "C" VOID NTAPI IoDeleteDevice(PDEVICE_OBJECT DeviceObject)
{
    using namespace standin;
    CheckIrqlAtMost("IoDeleteDevice", PASSIVE_LEVEL);
    DeviceObjectRecord* record = ReferenceDeviceRecord(DeviceObject);
    if (!record || record->Device()->DeviceObjectExtension->DeviceNode || !record->MarkDeleted()) {
        VerifierReport("bad-object", CallText("IoDeleteDevice", DeviceObject) +
                                         ", which is not a device object its driver may still delete");
        if (record)
            DereferenceObject(record);
        return;
    }
    DeleteDeviceObject(record);
    DereferenceObject(record);
}
