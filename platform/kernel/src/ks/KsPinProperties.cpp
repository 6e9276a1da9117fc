// The pin set on a filter handle, answered from the filter's pin descriptors (its edited copy when it
// has one) under the filter's control mutex: counts, flow, communication, interfaces, mediums, data
// ranges, category, name and the instance counts. Intersection is in KsPinIntersection.cpp.
#include "KsDataRanges.h"
#include "KsObjects.h"
#include "km/registry.h"
#include "km/status.h"
#include "km/string.h"

#include <cstring>
#include <vector>

namespace standin {
namespace {

// A KSMULTIPLE_ITEM list being built: the head, then items each starting 8-byte aligned.
class MultipleItem {
public:
    MultipleItem() : bytes_(sizeof(KSMULTIPLE_ITEM)) {}
    void Add(const void* item, size_t size, bool aligned)
    {
        if (aligned)
            bytes_.resize(KsAlign8(bytes_.size()));
        const auto* b = static_cast<const UCHAR*>(item);
        bytes_.insert(bytes_.end(), b, b + size);
        ++count_;
    }
    NTSTATUS Answer(UCHAR* data, ULONG dataLength, ULONG_PTR* information)
    {
        KSMULTIPLE_ITEM head{static_cast<uint32_t>(bytes_.size()), count_};
        std::memcpy(bytes_.data(), &head, sizeof head);
        return KsAnswerBytes(bytes_.data(), bytes_.size(), data, dataLength, information);
    }

private:
    std::vector<UCHAR> bytes_;
    uint32_t count_ = 0;
};

NTSTATUS Ranges(const std::vector<KsRangeEntry>& entries, UCHAR* data, ULONG dataLength, ULONG_PTR* information)
{
    // A range with attributes is followed by its attribute list, an item of the list in its own right.
    MultipleItem list;
    for (const KsRangeEntry& entry : entries) {
        list.Add(entry.range, entry.range->FormatSize, true);
        if (entry.attributes)
            list.Add(entry.attributes, entry.attributes->Size, true);
    }
    return list.Answer(data, dataLength, information);
}

// The "Name" registered for `guid` under the media categories, as a terminated wide string.
bool MediaCategoryName(const GUID& guid, std::u16string* name)
{
    std::u16string path = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\MediaCategories\\" +
                          KsGuidText(guid);
    UNICODE_STRING keyName{static_cast<USHORT>(path.size() * sizeof(char16_t)),
                           static_cast<USHORT>(path.size() * sizeof(char16_t)), path.data()};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &keyName, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE key = nullptr;
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_QUERY_VALUE, &attributes)))
        return false;
    char16_t valueText[] = u"Name";
    UNICODE_STRING valueName{8, 10, valueText};
    ULONG needed = 0;
    std::vector<UCHAR> buffer(sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 512);
    NTSTATUS status = ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, buffer.data(),
                                      static_cast<ULONG>(buffer.size()), &needed);
    if (status == STATUS_BUFFER_OVERFLOW || status == STATUS_BUFFER_TOO_SMALL) {
        buffer.resize(needed);
        status = ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, buffer.data(),
                                 static_cast<ULONG>(buffer.size()), &needed);
    }
    ZwClose(key);
    if (!NT_SUCCESS(status))
        return false;
    const auto* value = reinterpret_cast<const KEY_VALUE_PARTIAL_INFORMATION*>(buffer.data());
    if (value->Type != REG_SZ && value->Type != REG_EXPAND_SZ)
        return false;
    std::u16string text(value->DataLength / sizeof(char16_t), u'\0');
    std::memcpy(text.data(), value->Data, text.size() * sizeof(char16_t));
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    *name = text;
    return true;
}

NTSTATUS Name(const KSPIN_DESCRIPTOR& pin, UCHAR* data, ULONG dataLength, ULONG_PTR* information)
{
    // The name GUID's registered name, else the category's.
    std::u16string name;
    const bool found = (pin.Name && MediaCategoryName(*pin.Name, &name)) ||
                       (pin.Category && MediaCategoryName(*pin.Category, &name));
    if (!found)
        return STATUS_NOT_FOUND;
    return KsAnswerBytes(name.c_str(), (name.size() + 1) * sizeof(char16_t), data, dataLength, information);
}

NTSTATUS Answer(KsFilterObject* filter, PIRP irp, UCHAR* request, ULONG requestLength, UCHAR* data,
                ULONG dataLength, ULONG_PTR* information)
{
    KSPROPERTY head;
    std::memcpy(&head, request, sizeof head);
    const KSFILTER_DESCRIPTOR* descriptor = filter->filter.Descriptor;
    if (head.Id == KSPROPERTY_PIN_CTYPES) {
        const ULONG count = descriptor->PinDescriptorsCount;
        return KsAnswerBytes(&count, sizeof count, data, dataLength, information);
    }
    switch (head.Id) {
    case KSPROPERTY_PIN_CINSTANCES:
    case KSPROPERTY_PIN_DATAFLOW:
    case KSPROPERTY_PIN_DATARANGES:
    case KSPROPERTY_PIN_DATAINTERSECTION:
    case KSPROPERTY_PIN_INTERFACES:
    case KSPROPERTY_PIN_MEDIUMS:
    case KSPROPERTY_PIN_COMMUNICATION:
    case KSPROPERTY_PIN_NECESSARYINSTANCES:
    case KSPROPERTY_PIN_CATEGORY:
    case KSPROPERTY_PIN_NAME:
    case KSPROPERTY_PIN_CONSTRAINEDDATARANGES:
        break;
    default:
        return STATUS_NOT_FOUND;
    }
    if (requestLength < sizeof(KSP_PIN))
        return STATUS_INVALID_BUFFER_SIZE;
    KSP_PIN address;
    std::memcpy(&address, request, sizeof address);
    const KSPIN_DESCRIPTOR_EX* pin = KsFilterPinDescriptor(filter, address.PinId);
    if (!pin)
        return STATUS_INVALID_PARAMETER;
    const KSPIN_DESCRIPTOR& d = pin->PinDescriptor;
    switch (head.Id) {
    case KSPROPERTY_PIN_CINSTANCES: {
        const KSPIN_CINSTANCES counts{pin->InstancesPossible, KsFilterPinCount(filter, address.PinId)};
        return KsAnswerBytes(&counts, sizeof counts, data, dataLength, information);
    }
    case KSPROPERTY_PIN_NECESSARYINSTANCES:
        return KsAnswerBytes(&pin->InstancesNecessary, sizeof(ULONG), data, dataLength, information);
    case KSPROPERTY_PIN_DATAFLOW:
        return KsAnswerBytes(&d.DataFlow, sizeof d.DataFlow, data, dataLength, information);
    case KSPROPERTY_PIN_COMMUNICATION:
        return KsAnswerBytes(&d.Communication, sizeof d.Communication, data, dataLength, information);
    case KSPROPERTY_PIN_CATEGORY:
        if (!d.Category)
            return STATUS_NOT_FOUND;
        return KsAnswerBytes(d.Category, sizeof(GUID), data, dataLength, information);
    case KSPROPERTY_PIN_NAME:
        return Name(d, data, dataLength, information);
    case KSPROPERTY_PIN_INTERFACES: {
        // A pin that lists none moves data by standard streaming.
        MultipleItem list;
        const KSPIN_INTERFACE standard{KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING, 0};
        for (ULONG i = 0; i < d.InterfacesCount && d.Interfaces; ++i)
            list.Add(&d.Interfaces[i], sizeof(KSPIN_INTERFACE), false);
        if (d.InterfacesCount == 0 || !d.Interfaces)
            list.Add(&standard, sizeof standard, false);
        return list.Answer(data, dataLength, information);
    }
    case KSPROPERTY_PIN_MEDIUMS: {
        MultipleItem list;
        const KSPIN_MEDIUM standard{KSMEDIUMSETID_Standard, KSMEDIUM_STANDARD_DEVIO, 0};
        for (ULONG i = 0; i < d.MediumsCount && d.Mediums; ++i)
            list.Add(&d.Mediums[i], sizeof(KSPIN_MEDIUM), false);
        if (d.MediumsCount == 0 || !d.Mediums)
            list.Add(&standard, sizeof standard, false);
        return list.Answer(data, dataLength, information);
    }
    case KSPROPERTY_PIN_DATARANGES:
        return Ranges(KsPinRanges(d), data, dataLength, information);
    case KSPROPERTY_PIN_CONSTRAINEDDATARANGES:
        return Ranges(KsPinConstrainedRanges(d), data, dataLength, information);
    case KSPROPERTY_PIN_DATAINTERSECTION:
        return KsIntersectPin(filter, irp, *pin, request, requestLength, data, dataLength, information);
    default:
        return STATUS_NOT_FOUND;
    }
}

} // namespace

NTSTATUS KsAnswerBytes(const void* bytes, size_t size, UCHAR* data, ULONG dataLength, ULONG_PTR* information)
{
    if (dataLength == 0) {
        *information = size;
        return STATUS_BUFFER_OVERFLOW;
    }
    if (dataLength < size)
        return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(data, bytes, size);
    *information = size;
    return STATUS_SUCCESS;
}

NTSTATUS KsAnswerPinSet(KsFilterObject* filter, PIRP irp, UCHAR* request, ULONG requestLength, UCHAR* data,
                        ULONG dataLength, ULONG_PTR* information)
{
    KSPROPERTY head;
    std::memcpy(&head, request, sizeof head);
    if (head.Flags != KSPROPERTY_TYPE_GET)
        return STATUS_NOT_FOUND; // every item of the set is read-only
    // The descriptor may be edited meanwhile only under the same mutex.
    KsAcquireControl(&filter->filter);
    const NTSTATUS status = Answer(filter, irp, request, requestLength, data, dataLength, information);
    KsReleaseControl(&filter->filter);
    return status;
}

} // namespace standin
