// Filter factories: one per filter descriptor of a device, each registering a device interface per
// category with the descriptor's reference GUID as reference string; the table of kernel-streaming
// objects and the walks over device, factories, filters and pins.
#include "KsDevice.h"
#include "KsObjects.h"
#include "km/deviceinterface.h"
#include "km/status.h"
#include "km/string.h"

#include <cstdio>
#include <map>

namespace standin {
namespace {

struct KsTree {
    std::recursive_mutex lock;
    std::map<PVOID, KsObjectKind> kinds;
    std::map<PKSDEVICE, std::unique_ptr<KsDeviceObject>> devices;
    static KsTree& Instance()
    {
        static KsTree* tree = new KsTree;
        return *tree;
    }
};

} // namespace

std::u16string KsGuidText(const GUID& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::recursive_mutex& KsTreeLock()
{
    return KsTree::Instance().lock;
}

void KsRegisterObject(PVOID object, KsObjectKind kind)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    KsTree::Instance().kinds[object] = kind;
}

void KsForgetObject(PVOID object)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    KsTree::Instance().kinds.erase(object);
}

KsObjectKind KsKindOf(PVOID object)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    auto& kinds = KsTree::Instance().kinds;
    auto it = kinds.find(object);
    return it == kinds.end() ? KsObjectKind::None : it->second;
}

KsDeviceObject* KsDeviceRecord(PKSDEVICE device)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    auto& devices = KsTree::Instance().devices;
    auto it = devices.find(device);
    return it == devices.end() ? nullptr : it->second.get();
}

NTSTATUS KsAttachDeviceRecord(PKSDEVICE device)
{
    auto record = std::make_unique<KsDeviceObject>();
    KeInitializeMutex(&record->mutex, 0);
    device->Bag = &record->bag;
    const KSDEVICE_DESCRIPTOR* descriptor = device->Descriptor;
    const ULONG count = descriptor ? descriptor->FilterDescriptorsCount : 0;
    for (ULONG i = 0; i < count; ++i) {
        const KSFILTER_DESCRIPTOR* filter = descriptor->FilterDescriptors[i];
        if (!filter)
            continue;
        auto factory = std::make_unique<KsFactoryObject>();
        factory->factory.FilterDescriptor = filter;
        factory->factory.Bag = &factory->bag;
        factory->device = device;
        if (filter->ReferenceGuid)
            factory->referenceString = KsGuidText(*filter->ReferenceGuid);
        UNICODE_STRING reference{};
        reference.Buffer = factory->referenceString.data();
        reference.Length = reference.MaximumLength =
            static_cast<USHORT>(factory->referenceString.size() * sizeof(char16_t));
        for (ULONG c = 0; c < filter->CategoriesCount; ++c) {
            UNICODE_STRING link{};
            const NTSTATUS status = IoRegisterDeviceInterface(device->PhysicalDeviceObject, &filter->Categories[c],
                                                              reference.Length ? &reference : nullptr, &link);
            if (!NT_SUCCESS(status)) {
                for (auto& made : factory->links)
                    RtlFreeUnicodeString(&made);
                for (auto& f : record->factories)
                    for (auto& made : f->links)
                        RtlFreeUnicodeString(&made);
                device->Bag = nullptr;
                return status;
            }
            factory->links.push_back(link);
        }
        record->factories.push_back(std::move(factory));
    }
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    auto& tree = KsTree::Instance();
    tree.kinds[device] = KsObjectKind::Device;
    for (auto& factory : record->factories)
        tree.kinds[&factory->factory] = KsObjectKind::FilterFactory;
    tree.devices[device] = std::move(record);
    return STATUS_SUCCESS;
}

void KsSetDeviceInterfacesState(PKSDEVICE device, bool enable)
{
    std::vector<UNICODE_STRING> links;
    {
        std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
        if (KsDeviceObject* record = KsDeviceRecord(device))
            for (auto& factory : record->factories)
                links.insert(links.end(), factory->links.begin(), factory->links.end());
    }
    for (auto& link : links)
        IoSetDeviceInterfaceState(&link, enable ? TRUE : FALSE); // a repeat is answered, not harmful
}

void KsDetachDeviceRecord(PKSDEVICE device)
{
    std::unique_ptr<KsDeviceObject> record;
    {
        std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
        auto& tree = KsTree::Instance();
        auto it = tree.devices.find(device);
        if (it == tree.devices.end())
            return;
        record = std::move(it->second);
        tree.devices.erase(it);
        KsForgetMutexOrder(&record->mutex);
        tree.kinds.erase(device);
        for (auto& factory : record->factories) {
            tree.kinds.erase(&factory->factory);
            // Filters still open outlive their factory; they no longer reach it.
            for (KsFilterObject* filter : factory->filters)
                filter->factory = nullptr;
        }
    }
    for (auto& factory : record->factories)
        for (auto& link : factory->links)
            RtlFreeUnicodeString(&link);
}

} // namespace standin

using namespace standin;

extern "C" PVOID NTAPI KsGetFirstChild(PVOID Object)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    switch (KsKindOf(Object)) {
    case KsObjectKind::Device: {
        KsDeviceObject* record = KsDeviceRecord(static_cast<PKSDEVICE>(Object));
        return record && !record->factories.empty() ? &record->factories.front()->factory : nullptr;
    }
    case KsObjectKind::FilterFactory: {
        auto* factory = reinterpret_cast<KsFactoryObject*>(Object);
        return factory->filters.empty() ? nullptr : &factory->filters.front()->filter;
    }
    case KsObjectKind::Filter: {
        auto* filter = reinterpret_cast<KsFilterObject*>(Object);
        return filter->pins.empty() ? nullptr : &filter->pins.front()->pin;
    }
    default:
        return nullptr;
    }
}

extern "C" PVOID NTAPI KsGetNextSibling(PVOID Object)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    switch (KsKindOf(Object)) {
    case KsObjectKind::FilterFactory: {
        auto* factory = reinterpret_cast<KsFactoryObject*>(Object);
        KsDeviceObject* record = KsDeviceRecord(factory->device);
        if (!record)
            return nullptr;
        for (size_t i = 0; i + 1 < record->factories.size(); ++i)
            if (record->factories[i].get() == factory)
                return &record->factories[i + 1]->factory;
        return nullptr;
    }
    case KsObjectKind::Filter: {
        auto* filter = reinterpret_cast<KsFilterObject*>(Object);
        if (!filter->factory)
            return nullptr;
        auto& filters = filter->factory->filters;
        for (size_t i = 0; i + 1 < filters.size(); ++i)
            if (filters[i] == filter)
                return &filters[i + 1]->filter;
        return nullptr;
    }
    case KsObjectKind::Pin:
        return KsPinGetNextSiblingPin(static_cast<PKSPIN>(Object)); // the next pin of the same type
    default:
        return nullptr;
    }
}

extern "C" PVOID NTAPI KsGetParent(PVOID Object)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    switch (KsKindOf(Object)) {
    case KsObjectKind::FilterFactory:
        return reinterpret_cast<KsFactoryObject*>(Object)->device;
    case KsObjectKind::Filter: {
        auto* filter = reinterpret_cast<KsFilterObject*>(Object);
        return filter->factory ? &filter->factory->factory : nullptr;
    }
    case KsObjectKind::Pin:
        return &KsPinRecord(static_cast<PKSPIN>(Object))->filter->filter;
    default:
        return nullptr;
    }
}

extern "C" PKSDEVICE NTAPI KsGetDevice(PVOID Object)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    switch (KsKindOf(Object)) {
    case KsObjectKind::Device:
        return static_cast<PKSDEVICE>(Object);
    case KsObjectKind::FilterFactory:
        return reinterpret_cast<KsFactoryObject*>(Object)->device;
    case KsObjectKind::Filter: {
        auto* filter = reinterpret_cast<KsFilterObject*>(Object);
        return filter->factory ? filter->factory->device : nullptr;
    }
    case KsObjectKind::Pin: {
        KsFilterObject* filter = KsPinRecord(static_cast<PKSPIN>(Object))->filter;
        return filter->factory ? filter->factory->device : nullptr;
    }
    default:
        return nullptr;
    }
}

extern "C" PKSFILTERFACTORY NTAPI KsFilterGetParentFilterFactory(PKSFILTER Filter)
{
    return static_cast<PKSFILTERFACTORY>(KsGetParent(Filter));
}
