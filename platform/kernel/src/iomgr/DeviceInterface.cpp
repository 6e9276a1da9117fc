// Device interfaces: registration with the link name and the "DeviceClasses" keys in Windows'
// layout, enabling and disabling (the symbolic link that lets an open reach the device, and the
// volatile "Control\Linked" value), the interface's "Device Parameters" key, and the lists of a
// class's interfaces.
#include "DeviceInterfaceTable.h"

#include "DeviceObject.h"
#include "ObjectNamespace.h"
#include "Reports.h"
#include "km/deviceinterface.h"
#include "km/irql.h"
#include "km/pool.h"
#include "km/registry.h"
#include "km/status.h"
#include "standin/devices.h"
#include "standin/object.h"
#include "standin/pool.h"
#include "standin/verifier.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace standin {
namespace {

constexpr std::u16string_view kDeviceClasses =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses";
constexpr ULONG kInterfacePoolTag = MakePoolTag("IoDi");

struct InterfaceEntry {
    DeviceInterfaceRecord record;
    std::u16string referenceKeyPath; // "...\#<reference string>"
    std::u16string linkTarget;       // the physical device object's name, with "\<reference string>"
    PDEVICE_OBJECT device = nullptr; // the physical device object while it exists
};

struct InterfaceTable {
    std::mutex lock;
    std::vector<std::unique_ptr<InterfaceEntry>> entries; // registration order

    static InterfaceTable& Instance()
    {
        static InterfaceTable* table = new InterfaceTable;
        return *table;
    }
    // The lock must be held.
    InterfaceEntry* FindByLink(std::u16string_view link)
    {
        const std::u16string upper = UpcaseName(CanonicalLinkName(link));
        for (auto& entry : entries)
            if (UpcaseName(entry->record.symbolicLinkName) == upper)
                return entry.get();
        return nullptr;
    }
};

std::u16string Text(const UNICODE_STRING* string)
{
    if (!string || !string->Buffer)
        return {};
    return std::u16string(string->Buffer, string->Length / sizeof(WCHAR));
}

UNICODE_STRING Counted(const std::u16string& text)
{
    UNICODE_STRING string;
    string.Buffer = const_cast<WCHAR*>(text.c_str());
    string.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    string.MaximumLength = static_cast<USHORT>(string.Length + sizeof(WCHAR));
    return string;
}

// Opens or creates the key at `path`, creating each missing key on the way.
NTSTATUS CreateKeyPath(const std::u16string& path, ULONG lastKeyOptions, PHANDLE handle)
{
    size_t end = std::u16string::npos;
    // "\Registry\Machine" exists always; create from the component after it.
    size_t position = std::u16string_view(u"\\Registry\\Machine").size();
    for (;;) {
        end = path.find(u'\\', position + 1);
        const bool last = end == std::u16string::npos;
        std::u16string prefix = path.substr(0, last ? path.size() : end);
        UNICODE_STRING name = Counted(prefix);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                                   nullptr);
        HANDLE key = nullptr;
        const NTSTATUS status = ZwCreateKey(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr,
                                            last ? lastKeyOptions : REG_OPTION_NON_VOLATILE, nullptr);
        if (!NT_SUCCESS(status))
            return status;
        if (last) {
            *handle = key;
            return STATUS_SUCCESS;
        }
        ZwClose(key);
        position = end;
    }
}

NTSTATUS SetString(HANDLE key, const char16_t* valueName, const std::u16string& text)
{
    std::u16string name(valueName);
    UNICODE_STRING counted = Counted(name);
    return ZwSetValueKey(key, &counted, 0, REG_SZ, const_cast<char16_t*>(text.c_str()),
                         static_cast<ULONG>((text.size() + 1) * sizeof(WCHAR)));
}

NTSTATUS CreateKeyWithString(const std::u16string& path, const char16_t* valueName,
                             const std::u16string& text)
{
    HANDLE key;
    NTSTATUS status = CreateKeyPath(path, REG_OPTION_NON_VOLATILE, &key);
    if (!NT_SUCCESS(status))
        return status;
    if (valueName)
        status = SetString(key, valueName, text);
    ZwClose(key);
    return status;
}

NTSTATUS SetLinked(const InterfaceEntry& entry, bool linked)
{
    const std::u16string path = entry.referenceKeyPath + u"\\Control";
    HANDLE key;
    if (linked) {
        NTSTATUS status = CreateKeyPath(path, REG_OPTION_VOLATILE, &key);
        if (!NT_SUCCESS(status))
            return status;
        std::u16string valueName(u"Linked");
        UNICODE_STRING name = Counted(valueName);
        ULONG one = 1;
        status = ZwSetValueKey(key, &name, 0, REG_DWORD, &one, sizeof one);
        ZwClose(key);
        return status;
    }
    UNICODE_STRING name = Counted(path);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                               nullptr);
    if (NT_SUCCESS(ZwOpenKey(&key, DELETE, &attributes))) {
        ZwDeleteKey(key);
        ZwClose(key);
    }
    return STATUS_SUCCESS;
}

// The lock must be held.
NTSTATUS Enable(InterfaceEntry& entry)
{
    if (!entry.device)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    auto& names = ObjectNamespace::Instance();
    NTSTATUS status = names.AddLink(entry.record.symbolicLinkName, entry.linkTarget);
    if (status == STATUS_OBJECT_NAME_COLLISION) {
        names.RemoveLink(entry.record.symbolicLinkName);
        status = names.AddLink(entry.record.symbolicLinkName, entry.linkTarget);
    }
    if (!NT_SUCCESS(status))
        return status;
    SetLinked(entry, true);
    entry.record.enabled = true;
    return STATUS_SUCCESS;
}

// The lock must be held.
void Disable(InterfaceEntry& entry)
{
    ObjectNamespace::Instance().RemoveLink(entry.record.symbolicLinkName);
    SetLinked(entry, false);
    entry.record.enabled = false;
}

} // namespace

std::u16string GuidText(const GUID& guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", guid.Data1,
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                  guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return std::u16string(text, text + std::strlen(text));
}

std::vector<DeviceInterfaceRecord> DeviceInterfaces(const GUID* interfaceClass)
{
    auto& table = InterfaceTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    std::vector<DeviceInterfaceRecord> records;
    for (auto& entry : table.entries)
        if (!interfaceClass || entry->record.interfaceClass == *interfaceClass)
            records.push_back(entry->record);
    return records;
}

void ResetDeviceInterfaces()
{
    auto& table = InterfaceTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    for (auto& entry : table.entries)
        if (entry->record.enabled)
            ObjectNamespace::Instance().RemoveLink(entry->record.symbolicLinkName);
    table.entries.clear();
}

void DisableInterfacesOfDevice(PDEVICE_OBJECT device)
{
    auto& table = InterfaceTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    for (auto& entry : table.entries) {
        if (entry->device != device)
            continue;
        if (entry->record.enabled)
            Disable(*entry);
        entry->device = nullptr;
    }
}

} // namespace standin

extern "C" NTSTATUS NTAPI IoRegisterDeviceInterface(PDEVICE_OBJECT PhysicalDeviceObject,
                                                    const GUID* InterfaceClassGuid,
                                                    PUNICODE_STRING ReferenceString,
                                                    PUNICODE_STRING SymbolicLinkName)
{
    using namespace standin;
    CheckIrqlAtMost("IoRegisterDeviceInterface", PASSIVE_LEVEL);
    if (!PhysicalDeviceObject || !InterfaceClassGuid || !SymbolicLinkName)
        return STATUS_INVALID_PARAMETER;
    SymbolicLinkName->Buffer = nullptr;
    SymbolicLinkName->Length = SymbolicLinkName->MaximumLength = 0;

    DeviceObjectRecord* device = ReferenceDeviceRecord(PhysicalDeviceObject);
    const PhysicalDevice* node = device ? device->Device()->DeviceObjectExtension->DeviceNode : nullptr;
    if (!node || node->properties.instancePath.empty()) {
        VerifierReport("bad-argument", CallText("IoRegisterDeviceInterface", PhysicalDeviceObject) +
                                           ", which is not a physical device object with an instance path");
        if (device)
            DereferenceObject(device);
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    const std::u16string instancePath = node->properties.instancePath;
    const std::u16string deviceName = device->Name();
    DereferenceObject(device);

    const std::u16string reference = Text(ReferenceString);
    if (reference.find_first_of(u"\\/") != std::u16string::npos)
        return STATUS_INVALID_PARAMETER;
    std::u16string mangled = instancePath;
    for (auto& c : mangled)
        if (c == u'\\')
            c = u'#';
    const std::u16string guid = GuidText(*InterfaceClassGuid);
    const std::u16string tail = reference.empty() ? u"" : u"\\" + reference;
    const std::u16string link = u"\\??\\" + mangled + u"#" + guid + tail;
    const std::u16string interfaceKey =
        std::u16string(kDeviceClasses) + u"\\" + guid + u"\\##?#" + mangled + u"#" + guid;
    const std::u16string referenceKey = interfaceKey + u"\\#" + reference;

    auto& table = InterfaceTable::Instance();
    {
        std::lock_guard<std::mutex> hold(table.lock);
        NTSTATUS status = CreateKeyWithString(interfaceKey, u"DeviceInstance", instancePath);
        if (NT_SUCCESS(status))
            status =
                CreateKeyWithString(referenceKey, u"SymbolicLink", u"\\\\?\\" + mangled + u"#" + guid + tail);
        if (NT_SUCCESS(status))
            status = CreateKeyWithString(referenceKey + u"\\Device Parameters", nullptr, {});
        if (!NT_SUCCESS(status))
            return status;
        InterfaceEntry* entry = table.FindByLink(link);
        if (!entry) {
            table.entries.push_back(std::make_unique<InterfaceEntry>());
            entry = table.entries.back().get();
            entry->record = {
                link, *InterfaceClassGuid, reference, instancePath, referenceKey + u"\\Device Parameters",
                false};
            entry->referenceKeyPath = referenceKey;
        }
        entry->device = PhysicalDeviceObject;
        entry->linkTarget = deviceName + tail;
    }

    const size_t bytes = link.size() * sizeof(WCHAR);
    auto* buffer =
        static_cast<WCHAR*>(ExAllocatePoolWithTag(PagedPool, bytes + sizeof(WCHAR), kInterfacePoolTag));
    if (!buffer)
        return STATUS_INSUFFICIENT_RESOURCES;
    std::memcpy(buffer, link.c_str(), bytes + sizeof(WCHAR));
    SymbolicLinkName->Buffer = buffer;
    SymbolicLinkName->Length = static_cast<USHORT>(bytes);
    SymbolicLinkName->MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS NTAPI IoSetDeviceInterfaceState(PUNICODE_STRING SymbolicLinkName, BOOLEAN Enable)
{
    using namespace standin;
    CheckIrqlAtMost("IoSetDeviceInterfaceState", PASSIVE_LEVEL);
    if (!SymbolicLinkName || !SymbolicLinkName->Buffer)
        return STATUS_INVALID_PARAMETER;
    auto& table = InterfaceTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    InterfaceEntry* entry = table.FindByLink(Text(SymbolicLinkName));
    if (!entry)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    if (Enable) {
        if (entry->record.enabled)
            return STATUS_OBJECT_NAME_EXISTS;
        return standin::Enable(*entry);
    }
    if (!entry->record.enabled)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    Disable(*entry);
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS NTAPI IoOpenDeviceInterfaceRegistryKey(PUNICODE_STRING SymbolicLinkName,
                                                           ACCESS_MASK DesiredAccess,
                                                           PHANDLE DeviceInterfaceKey)
{
    using namespace standin;
    CheckIrqlAtMost("IoOpenDeviceInterfaceRegistryKey", PASSIVE_LEVEL);
    if (!SymbolicLinkName || !SymbolicLinkName->Buffer || !DeviceInterfaceKey)
        return STATUS_INVALID_PARAMETER;
    std::u16string path;
    {
        auto& table = InterfaceTable::Instance();
        std::lock_guard<std::mutex> hold(table.lock);
        InterfaceEntry* entry = table.FindByLink(Text(SymbolicLinkName));
        if (!entry)
            return STATUS_OBJECT_NAME_NOT_FOUND;
        path = entry->record.deviceParametersKeyPath;
    }
    UNICODE_STRING name = Counted(path);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                               nullptr);
    return ZwOpenKey(DeviceInterfaceKey, DesiredAccess, &attributes);
}

extern "C" NTSTATUS NTAPI IoGetDeviceInterfaces(const GUID* InterfaceClassGuid,
                                                PDEVICE_OBJECT PhysicalDeviceObject, ULONG Flags,
                                                PWSTR* SymbolicLinkList)
{
    using namespace standin;
    CheckIrqlAtMost("IoGetDeviceInterfaces", PASSIVE_LEVEL);
    if (!InterfaceClassGuid || !SymbolicLinkList)
        return STATUS_INVALID_PARAMETER;
    *SymbolicLinkList = nullptr;
    std::u16string list;
    {
        auto& table = InterfaceTable::Instance();
        std::lock_guard<std::mutex> hold(table.lock);
        for (auto& entry : table.entries) {
            if (!(entry->record.interfaceClass == *InterfaceClassGuid))
                continue;
            if (PhysicalDeviceObject && entry->device != PhysicalDeviceObject)
                continue;
            if (!entry->record.enabled && !(Flags & DEVICE_INTERFACE_INCLUDE_NONACTIVE))
                continue;
            list += entry->record.symbolicLinkName;
            list += u'\0';
        }
    }
    list += u'\0';
    auto* buffer =
        static_cast<WCHAR*>(ExAllocatePoolWithTag(PagedPool, list.size() * sizeof(WCHAR), kInterfacePoolTag));
    if (!buffer)
        return STATUS_INSUFFICIENT_RESOURCES;
    std::memcpy(buffer, list.data(), list.size() * sizeof(WCHAR));
    *SymbolicLinkList = buffer;
    return STATUS_SUCCESS;
}
