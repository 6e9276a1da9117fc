// The tests' kernel-streaming minidriver: descriptors built at load time, handlers that count their
// calls, a post-start step writing the friendly name, and private device-control codes.
#include "KsMinidriver.h"
#include "KsMinidriverProxyFilters.h"
#include "standin/devices.h"

#include <cstdio>
#include <cstring>

namespace kstest {
namespace {

Counters g_seen;
PDRIVER_DISPATCH g_frameworkDeviceControl = nullptr;

NTSTATUS NTAPI GetLevel(PIRP irp, PKSIDENTIFIER, PVOID data)
{
    ++g_seen.handlerCalls;
    auto* filter = KsGetFilterFromIrp(irp);
    *static_cast<ULONG*>(data) = *static_cast<ULONG*>(filter->Context);
    irp->IoStatus.Information = sizeof(ULONG);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI SetLevel(PIRP irp, PKSIDENTIFIER, PVOID data)
{
    ++g_seen.handlerCalls;
    const ULONG value = *static_cast<ULONG*>(data);
    if (value > 100)
        return STATUS_INVALID_PARAMETER;
    *static_cast<ULONG*>(KsGetFilterFromIrp(irp)->Context) = value;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI GetWideRecord(PIRP irp, PKSIDENTIFIER request, PVOID data)
{
    ++g_seen.handlerCalls;
    const ULONG words[2] = {request->Id, 0xABCD};
    std::memcpy(data, words, sizeof words);
    irp->IoStatus.Information = sizeof words;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI SetEditFlags(PIRP irp, PKSIDENTIFIER, PVOID data)
{
    ++g_seen.handlerCalls;
    PKSFILTER filter = KsGetFilterFromIrp(irp);
    KsAcquireControl(filter);
    NTSTATUS status = KsEdit(filter, &filter->Descriptor, 0x74736554);
    if (NT_SUCCESS(status))
        const_cast<KSFILTER_DESCRIPTOR*>(filter->Descriptor)->Flags = *static_cast<ULONG*>(data);
    KsReleaseControl(filter);
    return status;
}

NTSTATUS NTAPI GetEditFlags(PIRP irp, PKSIDENTIFIER, PVOID data)
{
    ++g_seen.handlerCalls;
    PKSFILTER filter = KsGetFilterFromIrp(irp);
    const ULONG words[2] = {filter->Descriptor->Flags, filter->Descriptor != &TemplateDescriptor() ? 1u : 0u};
    std::memcpy(data, words, sizeof words);
    irp->IoStatus.Information = sizeof words;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI GetNodeValue(PIRP irp, PKSIDENTIFIER request, PVOID data)
{
    ++g_seen.handlerCalls;
    *static_cast<ULONG*>(data) = 0x1000 + reinterpret_cast<KSP_NODE*>(request)->NodeId;
    irp->IoStatus.Information = sizeof(ULONG);
    return STATUS_SUCCESS;
}

const KSPROPERTY_STEPPING_LONG kLevelSteps = {5, 0, {0, 100}};
const ULONG kLevelDefault = 50;
const KSPROPERTY_MEMBERSLIST kLevelMembers[] = {
    {{KSPROPERTY_MEMBER_STEPPEDRANGES, sizeof kLevelSteps, 1, 0}, &kLevelSteps},
    {{KSPROPERTY_MEMBER_VALUES, sizeof kLevelDefault, 1, KSPROPERTY_MEMBER_FLAG_DEFAULT}, &kLevelDefault},
};
const KSPROPERTY_VALUES kLevelValues = {{KSPROPTYPESETID_General, 19 /* VT_UI4 */, 0}, 2, kLevelMembers};

const KSPROPERTY_ITEM kTestItems[] = {
    {kLevel, GetLevel, sizeof(KSPROPERTY), sizeof(ULONG), SetLevel, &kLevelValues, 0, nullptr, nullptr, 0},
    {kWideRecord, GetWideRecord, 28, 8, nullptr, nullptr, 0, nullptr, nullptr, 0},
    {kEditFlags, GetEditFlags, sizeof(KSPROPERTY), 8, SetEditFlags, nullptr, 0, nullptr, nullptr, 0},
};
const KSPROPERTY_SET kFilterSets[] = {{&kTestPropertySet, 3, kTestItems, 0, nullptr}};
const KSEVENT_ITEM kNotifyItems[] = {{0, kNotifyEnableSize, 0, nullptr, nullptr, nullptr}};
GUID gNotificationSet = kNotificationSet;
const KSEVENT_SET kEventSets[] = {{&gNotificationSet, 1, kNotifyItems}};
const KSAUTOMATION_TABLE kFilterAutomation = {1, sizeof(KSPROPERTY_ITEM), kFilterSets, 0, 0, nullptr,
                                              1, sizeof(KSEVENT_ITEM),    kEventSets,  nullptr};

const KSPROPERTY_ITEM kNodeItems[] = {
    {kNodeValue, GetNodeValue, sizeof(KSP_NODE), sizeof(ULONG), nullptr, nullptr, 0, nullptr, nullptr, 0}};
const KSPROPERTY_SET kNodeSets[] = {{&kNodePropertySet, 1, kNodeItems, 0, nullptr}};
const KSAUTOMATION_TABLE kNodeAutomation = {1, sizeof(KSPROPERTY_ITEM), kNodeSets, 0, 0, nullptr, 0, 0, nullptr, nullptr};
const KSNODE_DESCRIPTOR kNodes[] = {{&kNodeAutomation, &kNodeType, nullptr}, {&kNodeAutomation, &kNodeType, nullptr}};
const KSTOPOLOGY_CONNECTION kConnections[] = {{KSFILTER_NODE, 0, 0, 1}, {0, 0, 1, 1}};
const GUID kCategories[] = {KSCATEGORY_CAPTURE, KSCATEGORY_VIDEO};

VOID NTAPI FreeContext(PVOID context)
{
    ++g_seen.bagItemsFreed;
    ExFreePool(context);
}

NTSTATUS NTAPI FilterCreate(PKSFILTER filter, PIRP)
{
    auto* level = static_cast<ULONG*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(ULONG), 0x74736554));
    if (!level)
        return STATUS_INSUFFICIENT_RESOURCES;
    *level = kLevelDefault;
    const NTSTATUS status = KsAddItemToObjectBag(filter->Bag, level, FreeContext);
    if (!NT_SUCCESS(status)) {
        ExFreePool(level);
        return status;
    }
    filter->Context = level;
    ++g_seen.creates;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI FilterClose(PKSFILTER, PIRP)
{
    ++g_seen.closes;
    return STATUS_SUCCESS;
}

const KSFILTER_DISPATCH kFilterDispatch = {FilterCreate, FilterClose, nullptr, nullptr};
const KSFILTER_DESCRIPTOR kFilter = {&kFilterDispatch, &kFilterAutomation, KSFILTER_DESCRIPTOR_VERSION, 0,
                                     &kFilterReference, kPinCount, sizeof(KSPIN_DESCRIPTOR_EX), kCapturePins,
                                     2, kCategories, 2,
                                     sizeof(KSNODE_DESCRIPTOR), kNodes, 2, kConnections, nullptr};
const KSFILTER_DESCRIPTOR* const kFilters[] = {&kFilter};
const KSFILTER_DESCRIPTOR* const kFiltersWithProxyFilters[] = {&kFilter, &kProxyCaptureFilter, &kCrossbarFilter};
bool g_withProxyFilters = false;

bool LinkNames(const char16_t* link, const GUID& reference)
{
    char narrow[40];
    std::snprintf(narrow, sizeof narrow, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  unsigned(reference.Data1), reference.Data2, reference.Data3, reference.Data4[0],
                  reference.Data4[1], reference.Data4[2], reference.Data4[3], reference.Data4[4],
                  reference.Data4[5], reference.Data4[6], reference.Data4[7]);
    const std::u16string text(narrow, narrow + std::strlen(narrow));
    std::u16string upper(link);
    for (auto& c : upper)
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
    return upper.find(text) != std::u16string::npos;
}

// Names each interface of a category as the product driver does: "FriendlyName" under the
// interface's "Device Parameters".
NTSTATUS NameInterfaces(PKSDEVICE device, const GUID& category)
{
    PWSTR links = nullptr;
    NTSTATUS status = IoGetDeviceInterfaces(&category, device->PhysicalDeviceObject,
                                            DEVICE_INTERFACE_INCLUDE_NONACTIVE, &links);
    if (!NT_SUCCESS(status))
        return status;
    for (PWSTR link = links; *link; link += std::char_traits<char16_t>::length(link) + 1) {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, link);
        HANDLE key = nullptr;
        if (!NT_SUCCESS(IoOpenDeviceInterfaceRegistryKey(&name, KEY_SET_VALUE, &key)))
            continue;
        UNICODE_STRING valueName;
        RtlInitUnicodeString(&valueName, u"FriendlyName");
        const char16_t* friendly = LinkNames(link, kProxyCaptureReference) ? kProxyCaptureName
                                   : LinkNames(link, kCrossbarReference)   ? kCrossbarName
                                                                           : kFriendlyName;
        ZwSetValueKey(key, &valueName, 0, REG_SZ, const_cast<char16_t*>(friendly),
                      ULONG((std::char_traits<char16_t>::length(friendly) + 1) * sizeof(char16_t)));
        ZwClose(key);
    }
    ExFreePool(links);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PostStart(PKSDEVICE device)
{
    NTSTATUS status = NameInterfaces(device, KSCATEGORY_CAPTURE);
    if (NT_SUCCESS(status))
        status = NameInterfaces(device, KSCATEGORY_VIDEO);
    if (NT_SUCCESS(status) && g_withProxyFilters)
        status = NameInterfaces(device, KSCATEGORY_CROSSBAR);
    if (NT_SUCCESS(status) && g_withProxyFilters)
        status = RegisterCrossbarPins(device->PhysicalDeviceObject, kAnalogMediumId);
    return status;
}

VOID NTAPI SurpriseRemoval(PKSDEVICE, PIRP)
{
    ++g_seen.surpriseRemovals;
}

const KSDEVICE_DISPATCH kDeviceDispatch = {nullptr, nullptr, PostStart, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr,   SurpriseRemoval, nullptr, nullptr, nullptr};
const KSDEVICE_DESCRIPTOR kDevice = {&kDeviceDispatch, 1, kFilters, KSDEVICE_DESCRIPTOR_VERSION, 0};
const KSDEVICE_DESCRIPTOR kDeviceWithProxyFilters = {&kDeviceDispatch, 3, kFiltersWithProxyFilters,
                                                     KSDEVICE_DESCRIPTOR_VERSION, 0};

NTSTATUS NTAPI DeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = location->Parameters.DeviceIoControl.IoControlCode;
    if (code != kRaiseNotification && code != kOpeningProcess)
        return g_frameworkDeviceControl(deviceObject, irp);
    NTSTATUS status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    PKSFILTER filter = KsGetFilterFromIrp(irp);
    if (!filter) {
        status = STATUS_INVALID_DEVICE_REQUEST;
    } else if (code == kRaiseNotification) {
        KsGenerateEvents(filter, &gNotificationSet, 0, location->Parameters.DeviceIoControl.InputBufferLength,
                         irp->AssociatedIrp.SystemBuffer, nullptr, nullptr);
    } else if (location->Parameters.DeviceIoControl.OutputBufferLength < sizeof(PVOID)) {
        status = STATUS_BUFFER_TOO_SMALL;
    } else {
        PEPROCESS process = IoGetCurrentProcess();
        std::memcpy(irp->AssociatedIrp.SystemBuffer, &process, sizeof process);
        irp->IoStatus.Information = sizeof process;
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

} // namespace

Counters& Seen()
{
    return g_seen;
}

void ResetSeen()
{
    g_seen.handlerCalls = 0;
    g_seen.creates = 0;
    g_seen.closes = 0;
    g_seen.bagItemsFreed = 0;
    g_seen.surpriseRemovals = 0;
    ResetPin();
}

const KSFILTER_DESCRIPTOR& TemplateDescriptor()
{
    return kFilter;
}

PDRIVER_OBJECT LoadMinidriver(bool withProxyFilters)
{
    g_withProxyFilters = withProxyFilters;
    ResetProxyPins();
    PDRIVER_OBJECT driver = standin::CreateDriverObject(u"KsMini");
    if (!driver ||
        !NT_SUCCESS(KsInitializeDriver(driver, nullptr, withProxyFilters ? &kDeviceWithProxyFilters : &kDevice)))
        return nullptr;
    g_frameworkDeviceControl = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DeviceControl;
    return driver;
}

void UnloadMinidriver(PDRIVER_OBJECT driver)
{
    standin::DeleteDriverObject(driver);
    gNotificationSet = kNotificationSet;
}

void UseNotificationSet(const GUID& set)
{
    gNotificationSet = set;
}

} // namespace kstest
