// The framework's handling of IOCTL_KS_PROPERTY on a filter or a pin: the set and item looked up in
// the object's automation table (the filter's, a node's for topology requests, or the pin's), the
// lengths checked before any handler runs, the handler called with kernel copies of the request and
// its data, basic support answered from the item's values table, the list of the sets an object
// answers (set support naming no set), and the sets the framework answers itself for items the table
// lacks: topology and pin on a filter, connection and stream on a pin.
#include "KsObjects.h"
#include "km/pool.h"
#include "km/status.h"

#include <cstring>
#include <initializer_list>
#include <vector>

namespace standin {
namespace {

constexpr ULONG kTag = 0x7250734B; // "KsPr"

const KSPROPERTY_ITEM* FindItem(const KSAUTOMATION_TABLE* table, const GUID& set, ULONG id, bool* setFound)
{
    if (!table)
        return nullptr;
    for (ULONG s = 0; s < table->PropertySetsCount; ++s) {
        const KSPROPERTY_SET& candidate = table->PropertySets[s];
        if (!candidate.Set || !(*candidate.Set == set))
            continue;
        *setFound = true;
        const ULONG stride = table->PropertyItemSize ? table->PropertyItemSize : sizeof(KSPROPERTY_ITEM);
        const auto* base = reinterpret_cast<const UCHAR*>(candidate.PropertyItem);
        for (ULONG i = 0; i < candidate.PropertiesCount; ++i) {
            const auto* item = reinterpret_cast<const KSPROPERTY_ITEM*>(base + size_t(i) * stride);
            if (item->PropertyId == id)
                return item;
        }
    }
    return nullptr;
}

ULONG MembersBytes(const KSPROPERTY_VALUES* values)
{
    ULONG total = sizeof(KSPROPERTY_DESCRIPTION);
    for (ULONG i = 0; values && i < values->MembersListCount; ++i)
        total += sizeof(KSPROPERTY_MEMBERSHEADER) + values->MembersList[i].MembersHeader.MembersSize;
    return total;
}

// Basic support without a support handler: the access flags alone, the description alone (with the
// whole size), or the description with every members list.
NTSTATUS DefaultBasicSupport(const KSPROPERTY_ITEM& item, UCHAR* data, ULONG length, ULONG_PTR* information)
{
    const ULONG access = KSPROPERTY_TYPE_BASICSUPPORT | (item.GetPropertyHandler ? KSPROPERTY_TYPE_GET : 0) |
                         (item.SetPropertyHandler ? KSPROPERTY_TYPE_SET : 0);
    const ULONG whole = MembersBytes(item.Values);
    if (length == 0) {
        *information = whole;
        return STATUS_BUFFER_OVERFLOW;
    }
    if (length < sizeof(KSPROPERTY_DESCRIPTION)) {
        if (length < sizeof(ULONG))
            return STATUS_BUFFER_TOO_SMALL;
        std::memcpy(data, &access, sizeof access);
        *information = sizeof(ULONG);
        return STATUS_SUCCESS;
    }
    KSPROPERTY_DESCRIPTION description{};
    description.AccessFlags = access;
    description.DescriptionSize = whole;
    if (item.Values) {
        description.PropTypeSet = item.Values->PropTypeSet;
        description.MembersListCount = item.Values->MembersListCount;
    } else {
        description.PropTypeSet.Set = KSPROPTYPESETID_General;
    }
    std::memcpy(data, &description, sizeof description);
    if (length < whole) {
        *information = sizeof description;
        return STATUS_SUCCESS;
    }
    ULONG at = sizeof description;
    for (ULONG i = 0; item.Values && i < item.Values->MembersListCount; ++i) {
        const KSPROPERTY_MEMBERSLIST& list = item.Values->MembersList[i];
        std::memcpy(data + at, &list.MembersHeader, sizeof list.MembersHeader);
        at += sizeof list.MembersHeader;
        if (list.MembersHeader.MembersSize)
            std::memcpy(data + at, list.Members, list.MembersHeader.MembersSize);
        at += list.MembersHeader.MembersSize;
    }
    *information = at;
    return STATUS_SUCCESS;
}

// The topology set, answered from the filter's descriptor when the driver has no item of its own.
NTSTATUS TopologyAnswer(const KSFILTER_DESCRIPTOR* descriptor, ULONG id, UCHAR* data, ULONG length,
                        ULONG_PTR* information)
{
    std::vector<UCHAR> answer;
    auto put = [&](const void* bytes, size_t size) {
        const auto* b = static_cast<const UCHAR*>(bytes);
        answer.insert(answer.end(), b, b + size);
    };
    KSMULTIPLE_ITEM head{};
    answer.resize(sizeof head);
    switch (id) {
    case KSPROPERTY_TOPOLOGY_CATEGORIES:
        head.Count = descriptor->CategoriesCount;
        for (ULONG i = 0; i < descriptor->CategoriesCount; ++i)
            put(&descriptor->Categories[i], sizeof(GUID));
        break;
    case KSPROPERTY_TOPOLOGY_NODES: {
        head.Count = descriptor->NodeDescriptorsCount;
        const ULONG stride = descriptor->NodeDescriptorSize ? descriptor->NodeDescriptorSize
                                                            : sizeof(KSNODE_DESCRIPTOR);
        for (ULONG i = 0; i < descriptor->NodeDescriptorsCount; ++i) {
            const auto* node = reinterpret_cast<const KSNODE_DESCRIPTOR*>(
                reinterpret_cast<const UCHAR*>(descriptor->NodeDescriptors) + size_t(i) * stride);
            put(node->Type ? node->Type : &GUID_NULL, sizeof(GUID));
        }
        break;
    }
    case KSPROPERTY_TOPOLOGY_CONNECTIONS:
        head.Count = descriptor->ConnectionsCount;
        for (ULONG i = 0; i < descriptor->ConnectionsCount; ++i)
            put(&descriptor->Connections[i], sizeof(KSTOPOLOGY_CONNECTION));
        break;
    default:
        return STATUS_NOT_FOUND;
    }
    head.Size = static_cast<ULONG>(answer.size());
    std::memcpy(answer.data(), &head, sizeof head);
    if (length == 0) {
        *information = answer.size();
        return STATUS_BUFFER_OVERFLOW;
    }
    if (length < answer.size())
        return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(data, answer.data(), answer.size());
    *information = answer.size();
    return STATUS_SUCCESS;
}

// The sets an object answers, for a set-support request naming no set: the table's sets in table
// order, then the framework's sets the table does not name, as an array of GUIDs. A zero-length
// buffer asks for the size (STATUS_BUFFER_OVERFLOW), a shorter one is STATUS_BUFFER_TOO_SMALL.
NTSTATUS SetListAnswer(PIRP irp, const KSAUTOMATION_TABLE* table, std::initializer_list<const GUID*> framework)
{
    std::vector<GUID> sets;
    auto add = [&](const GUID& set) {
        for (const GUID& known : sets)
            if (known == set)
                return;
        sets.push_back(set);
    };
    for (ULONG s = 0; table && s < table->PropertySetsCount; ++s)
        if (table->PropertySets[s].Set)
            add(*table->PropertySets[s].Set);
    for (const GUID* set : framework)
        add(*set);
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const ULONG outLength = location->Parameters.DeviceIoControl.OutputBufferLength;
    const ULONG needed = static_cast<ULONG>(sets.size() * sizeof(GUID));
    if (outLength == 0) {
        irp->IoStatus.Information = needed;
        return STATUS_BUFFER_OVERFLOW;
    }
    if (outLength < needed)
        return STATUS_BUFFER_TOO_SMALL;
    if (needed)
        std::memcpy(irp->UserBuffer, sets.data(), needed);
    irp->IoStatus.Information = needed;
    return STATUS_SUCCESS;
}

bool AsksForSetList(const KSPROPERTY& head)
{
    return head.Set == GUID_NULL && (head.Flags & ~KSPROPERTY_TYPE_TOPOLOGY) == KSPROPERTY_TYPE_SETSUPPORT;
}

// Pool copies of the caller's request and data, released on every path.
struct KernelCopy {
    PVOID block = nullptr;
    ~KernelCopy()
    {
        if (block)
            ExFreePoolWithTag(block, kTag);
    }
    bool Make(const void* from, ULONG length, bool copyIn)
    {
        block = ExAllocatePoolWithTag(NonPagedPool, length ? length : 1, kTag);
        if (!block)
            return false;
        if (copyIn && length)
            std::memcpy(block, from, length);
        else
            std::memset(block, 0, length ? length : 1);
        return true;
    }
};

} // namespace

// One property request against `table`; `framework` answers what the table does not have.
NTSTATUS KsServeProperty(PIRP irp, const KSAUTOMATION_TABLE* table, const KsFrameworkAnswer& framework)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const ULONG inLength = location->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outLength = location->Parameters.DeviceIoControl.OutputBufferLength;
    const auto* callerRequest = static_cast<const UCHAR*>(location->Parameters.DeviceIoControl.Type3InputBuffer);
    auto* callerData = static_cast<UCHAR*>(irp->UserBuffer);
    KSPROPERTY head{};
    std::memcpy(&head, callerRequest, sizeof head);
    bool setFound = false;
    const KSPROPERTY_ITEM* item = FindItem(table, head.Set, head.Id, &setFound);
    if (!item) {
        if (!framework)
            return STATUS_NOT_FOUND;
        KernelCopy request, data;
        if (!request.Make(callerRequest, inLength, true) || !data.Make(callerData, outLength, true))
            return STATUS_INSUFFICIENT_RESOURCES;
        ULONG_PTR information = 0;
        const NTSTATUS status = framework(head, static_cast<UCHAR*>(request.block), inLength,
                                          static_cast<UCHAR*>(data.block), outLength, &information);
        if (information > outLength && NT_SUCCESS(status))
            information = outLength; // never more than the caller's buffer holds
        if (NT_SUCCESS(status) && information)
            std::memcpy(callerData, data.block, information);
        irp->IoStatus.Information = NT_ERROR(status) ? 0 : information;
        return status;
    }
    const ULONG type = head.Flags & ~KSPROPERTY_TYPE_TOPOLOGY;
    PFNKSHANDLER handler = nullptr;
    switch (type) {
    case KSPROPERTY_TYPE_GET:
        handler = item->GetPropertyHandler;
        break;
    case KSPROPERTY_TYPE_SET:
        handler = item->SetPropertyHandler;
        break;
    case KSPROPERTY_TYPE_BASICSUPPORT:
    case KSPROPERTY_TYPE_SETSUPPORT:
        break;
    default:
        return STATUS_INVALID_PARAMETER;
    }
    if ((type == KSPROPERTY_TYPE_GET || type == KSPROPERTY_TYPE_SET) && !handler)
        return STATUS_NOT_FOUND;
    if (inLength < item->MinProperty)
        return STATUS_INVALID_BUFFER_SIZE;
    if (type == KSPROPERTY_TYPE_SETSUPPORT)
        return STATUS_SUCCESS; // the item exists
    KernelCopy request, data;
    if (!request.Make(callerRequest, inLength, true))
        return STATUS_INSUFFICIENT_RESOURCES;
    if (type == KSPROPERTY_TYPE_BASICSUPPORT && !item->SupportHandler) {
        if (!data.Make(callerData, outLength, false))
            return STATUS_INSUFFICIENT_RESOURCES;
        ULONG_PTR information = 0;
        const NTSTATUS status = DefaultBasicSupport(*item, static_cast<UCHAR*>(data.block), outLength, &information);
        if (NT_SUCCESS(status) && information)
            std::memcpy(callerData, data.block, information);
        irp->IoStatus.Information = information;
        return status;
    }
    if (type != KSPROPERTY_TYPE_BASICSUPPORT && item->MinData) {
        if (outLength == 0) {
            irp->IoStatus.Information = item->MinData; // the caller asked for the size
            return STATUS_BUFFER_OVERFLOW;
        }
        if (outLength < item->MinData)
            return STATUS_BUFFER_TOO_SMALL;
    }
    if (!data.Make(callerData, outLength, true))
        return STATUS_INSUFFICIENT_RESOURCES;
    if (type == KSPROPERTY_TYPE_BASICSUPPORT)
        handler = item->SupportHandler;
    irp->IoStatus.Information = 0;
    const NTSTATUS status = handler(irp, static_cast<PKSIDENTIFIER>(request.block), data.block);
    const ULONG_PTR reported = irp->IoStatus.Information;
    const ULONG_PTR copied = reported > outLength ? outLength : reported; // never more than the caller's buffer holds
    if (!NT_ERROR(status) && copied)
        std::memcpy(callerData, data.block, copied);
    // A buffer overflow reports the size the answer needs; any other status what was copied.
    irp->IoStatus.Information = NT_ERROR(status) ? 0 : (status == STATUS_BUFFER_OVERFLOW ? reported : copied);
    return status;
}

// The request's own checks before any table is looked at.
NTSTATUS KsCheckPropertyRequest(PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const ULONG inLength = location->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outLength = location->Parameters.DeviceIoControl.OutputBufferLength;
    if (inLength < sizeof(KSPROPERTY) || !location->Parameters.DeviceIoControl.Type3InputBuffer)
        return STATUS_INVALID_BUFFER_SIZE;
    if (outLength && !irp->UserBuffer)
        return STATUS_INVALID_PARAMETER;
    return STATUS_SUCCESS;
}

NTSTATUS KsHandleProperty(KsFilterObject* filter, PIRP irp)
{
    NTSTATUS status = KsCheckPropertyRequest(irp);
    if (!NT_SUCCESS(status))
        return status;
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const ULONG inLength = location->Parameters.DeviceIoControl.InputBufferLength;
    const auto* callerRequest = static_cast<const UCHAR*>(location->Parameters.DeviceIoControl.Type3InputBuffer);
    KSPROPERTY head{};
    std::memcpy(&head, callerRequest, sizeof head);
    const KSFILTER_DESCRIPTOR* descriptor = filter->filter.Descriptor;
    const KSAUTOMATION_TABLE* table = descriptor->AutomationTable;
    if (head.Flags & KSPROPERTY_TYPE_TOPOLOGY) {
        if (inLength < sizeof(KSP_NODE))
            return STATUS_INVALID_BUFFER_SIZE;
        KSP_NODE node{};
        std::memcpy(&node, callerRequest, sizeof node);
        if (node.NodeId >= descriptor->NodeDescriptorsCount)
            return STATUS_NOT_FOUND;
        const ULONG stride = descriptor->NodeDescriptorSize ? descriptor->NodeDescriptorSize
                                                            : sizeof(KSNODE_DESCRIPTOR);
        table = reinterpret_cast<const KSNODE_DESCRIPTOR*>(reinterpret_cast<const UCHAR*>(descriptor->NodeDescriptors) +
                                                           size_t(node.NodeId) * stride)
                    ->AutomationTable;
        if (AsksForSetList(head))
            return SetListAnswer(irp, table, {});
        return KsServeProperty(irp, table, nullptr);
    }
    if (AsksForSetList(head))
        return SetListAnswer(irp, table, {&KSPROPSETID_Pin, &KSPROPSETID_Topology});
    // The topology and pin sets are the framework's, for the items the filter's table lacks.
    return KsServeProperty(irp, table,
                           [&](const KSPROPERTY& h, UCHAR* request, ULONG requestLength, UCHAR* data,
                               ULONG dataLength, ULONG_PTR* information) -> NTSTATUS {
                               if (h.Set == KSPROPSETID_Topology && h.Flags == KSPROPERTY_TYPE_GET)
                                   return TopologyAnswer(descriptor, h.Id, data, dataLength, information);
                               if (h.Set == KSPROPSETID_Pin)
                                   return KsAnswerPinSet(filter, irp, request, requestLength, data, dataLength,
                                                         information);
                               return STATUS_NOT_FOUND;
                           });
}

NTSTATUS KsHandlePinProperty(KsPinObject* pin, PIRP irp)
{
    NTSTATUS status = KsCheckPropertyRequest(irp);
    if (!NT_SUCCESS(status))
        return status;
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    KSPROPERTY head{};
    std::memcpy(&head, location->Parameters.DeviceIoControl.Type3InputBuffer, sizeof head);
    if (head.Flags & KSPROPERTY_TYPE_TOPOLOGY)
        return STATUS_NOT_FOUND; // node requests go to the filter
    if (AsksForSetList(head))
        return SetListAnswer(irp, pin->pin.Descriptor->AutomationTable, {&KSPROPSETID_Connection, &KSPROPSETID_Stream});
    return KsServeProperty(irp, pin->pin.Descriptor->AutomationTable,
                           [&](const KSPROPERTY&, UCHAR* request, ULONG requestLength, UCHAR* data, ULONG dataLength,
                               ULONG_PTR* information) {
                               return KsAnswerPinConnection(pin, irp, request, requestLength, data, dataLength,
                                                            information);
                           });
}

} // namespace standin
