// The framework's event handling on a filter: enabling an item of the filter's event sets with an
// event handle (plain or buffered), fetching the oldest buffered record, disabling by the caller's
// KSEVENTDATA, and KsGenerateEvents raising an event on every matching entry of a filter.
#include "KsObjects.h"
#include "km/eventobject.h"
#include "km/pointercookie.h"
#include "km/status.h"
#include "standin/ks.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

namespace standin {

namespace {

// The pointer cookies of enabled events' KSEVENTDATA addresses, owned by their filter, by address
// and filter.
struct Cookies {
    std::mutex lock;
    std::map<std::pair<const void*, const void*>, ULONG> byAddress;
    static Cookies& Instance()
    {
        static Cookies* cookies = new Cookies;
        return *cookies;
    }
};

ULONG GiveCookie(const void* address, const KsFilterObject* filter)
{
    auto& cookies = Cookies::Instance();
    std::lock_guard<std::mutex> hold(cookies.lock);
    const ULONG cookie = PointerCookie::Give(const_cast<void*>(address), sizeof(KSEVENTDATA), filter);
    if (cookie)
        cookies.byAddress[{address, filter}] = cookie;
    return cookie;
}

void DropCookie(const void* address, const KsFilterObject* filter)
{
    auto& cookies = Cookies::Instance();
    std::lock_guard<std::mutex> hold(cookies.lock);
    auto it = cookies.byAddress.find({address, filter});
    if (it == cookies.byAddress.end())
        return;
    PointerCookie::Drop(it->second, filter);
    cookies.byAddress.erase(it);
}

const KSEVENT_ITEM* FindEvent(const KSAUTOMATION_TABLE* table, const GUID& set, ULONG id)
{
    if (!table)
        return nullptr;
    for (ULONG s = 0; s < table->EventSetsCount; ++s) {
        const KSEVENT_SET& candidate = table->EventSets[s];
        if (!candidate.Set || !(*candidate.Set == set))
            continue;
        const ULONG stride = table->EventItemSize ? table->EventItemSize : sizeof(KSEVENT_ITEM);
        for (ULONG i = 0; i < candidate.EventsCount; ++i) {
            const auto* item = reinterpret_cast<const KSEVENT_ITEM*>(
                reinterpret_cast<const UCHAR*>(candidate.EventItem) + size_t(i) * stride);
            if (item->EventId == id)
                return item;
        }
    }
    return nullptr;
}

void EndEntry(std::unique_ptr<KsEventEntry> entry, const KsFilterObject* filter)
{
    DropCookie(entry->eventData, filter);
    if (entry->event)
        ObDereferenceObject(entry->event);
}

NTSTATUS QueryBuffer(KsFilterObject* filter, PIRP irp, const UCHAR* input, ULONG inLength)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const ULONG outLength = location->Parameters.DeviceIoControl.OutputBufferLength;
    if (inLength < sizeof(KSQUERYBUFFER))
        return STATUS_INVALID_BUFFER_SIZE;
    KSQUERYBUFFER query{};
    std::memcpy(&query, input, sizeof query);
    std::lock_guard<std::mutex> hold(filter->eventLock);
    // The cookie names the caller's KSEVENTDATA only when this filter gave it.
    const void* eventData = PointerCookie::Resolve(query.EventData, filter);
    auto it = std::find_if(filter->events.begin(), filter->events.end(), [&](const auto& e) {
        return eventData && e->eventData == eventData && e->set == query.Event.Set && e->id == query.Event.Id;
    });
    if (it == filter->events.end() || !((*it)->flags & KSEVENT_TYPE_ENABLEBUFFERED))
        return STATUS_INVALID_PARAMETER;
    auto& records = (*it)->records;
    if (records.empty())
        return STATUS_NO_MORE_ENTRIES;
    const auto& oldest = records.front();
    if (outLength < oldest.size())
        return STATUS_BUFFER_TOO_SMALL; // the record stays for a larger buffer
    if (!oldest.empty()) {
        if (!irp->UserBuffer)
            return STATUS_INVALID_PARAMETER;
        std::memcpy(irp->UserBuffer, oldest.data(), oldest.size());
    }
    irp->IoStatus.Information = oldest.size();
    records.pop_front();
    return STATUS_SUCCESS;
}

} // namespace

NTSTATUS KsHandleEnableEvent(KsFilterObject* filter, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const ULONG inLength = location->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outLength = location->Parameters.DeviceIoControl.OutputBufferLength;
    const auto* input = static_cast<const UCHAR*>(location->Parameters.DeviceIoControl.Type3InputBuffer);
    if (!input || inLength < sizeof(KSEVENT))
        return STATUS_INVALID_BUFFER_SIZE;
    KSEVENT request{};
    std::memcpy(&request, input, sizeof request);
    const KSEVENT_ITEM* item = FindEvent(filter->filter.Descriptor->AutomationTable, request.Set, request.Id);
    if (!item)
        return STATUS_NOT_FOUND;
    if (request.Flags == KSEVENT_TYPE_QUERYBUFFER)
        return QueryBuffer(filter, irp, input, inLength);
    if (request.Flags == KSEVENT_TYPE_BASICSUPPORT || request.Flags == KSEVENT_TYPE_SETSUPPORT)
        return STATUS_SUCCESS;
    if (request.Flags != KSEVENT_TYPE_ENABLE && request.Flags != KSEVENT_TYPE_ENABLEBUFFERED)
        return STATUS_INVALID_PARAMETER;
    const auto* eventData = static_cast<const UCHAR*>(irp->UserBuffer);
    if (outLength < std::max<ULONG>(item->DataInput, sizeof(KSEVENTDATA)))
        return STATUS_BUFFER_TOO_SMALL;
    if (!eventData)
        return STATUS_INVALID_PARAMETER;
    KSEVENTDATA data{};
    std::memcpy(&data, eventData, sizeof data);
    if (data.NotificationType != KSEVENTF_EVENT_HANDLE)
        return STATUS_NOT_SUPPORTED;
    PVOID event = nullptr;
    NTSTATUS status =
        ObReferenceObjectByHandle(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(data.EventHandle)),
                                  EVENT_MODIFY_STATE, *ExEventObjectType, irp->RequestorMode, &event, nullptr);
    if (!NT_SUCCESS(status))
        return status;
    auto entry = std::make_unique<KsEventEntry>();
    entry->set = request.Set;
    entry->id = request.Id;
    entry->flags = request.Flags;
    entry->eventData = eventData;
    entry->event = static_cast<PRKEVENT>(event);
    std::lock_guard<std::mutex> hold(filter->eventLock);
    if (std::any_of(filter->events.begin(), filter->events.end(),
                    [&](const auto& e) { return e->eventData == eventData; })) {
        ObDereferenceObject(event);
        return STATUS_INVALID_PARAMETER; // one KSEVENTDATA enables one entry
    }
    entry->cookie = GiveCookie(eventData, filter);
    filter->events.push_back(std::move(entry));
    return STATUS_SUCCESS;
}

NTSTATUS KsHandleDisableEvent(KsFilterObject* filter, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    const ULONG inLength = location->Parameters.DeviceIoControl.InputBufferLength;
    const void* eventData = location->Parameters.DeviceIoControl.Type3InputBuffer;
    if (inLength == 0 && !eventData) {
        KsFreeFilterEvents(filter); // no data: every event of the caller's filter
        return STATUS_SUCCESS;
    }
    if (inLength < sizeof(KSEVENTDATA) || !eventData)
        return STATUS_INVALID_BUFFER_SIZE;
    std::unique_ptr<KsEventEntry> gone;
    {
        std::lock_guard<std::mutex> hold(filter->eventLock);
        auto it = std::find_if(filter->events.begin(), filter->events.end(),
                               [&](const auto& e) { return e->eventData == eventData; });
        if (it == filter->events.end())
            return STATUS_UNSUCCESSFUL;
        gone = std::move(*it);
        filter->events.erase(it);
    }
    EndEntry(std::move(gone), filter);
    return STATUS_SUCCESS;
}

void KsFreeFilterEvents(KsFilterObject* filter)
{
    std::vector<std::unique_ptr<KsEventEntry>> events;
    {
        std::lock_guard<std::mutex> hold(filter->eventLock);
        events.swap(filter->events);
    }
    for (auto& entry : events)
        EndEntry(std::move(entry), filter);
}

ULONG KsEventDataCookie(const void* eventData)
{
    auto& cookies = Cookies::Instance();
    std::lock_guard<std::mutex> hold(cookies.lock);
    for (const auto& [key, cookie] : cookies.byAddress)
        if (key.first == eventData)
            return cookie;
    return 0;
}

} // namespace standin

extern "C" VOID NTAPI KsGenerateEvents(PVOID Object, const GUID* EventSet, ULONG EventId, ULONG DataSize,
                                       PVOID Data, PFNKSGENERATEEVENTCALLBACK CallBack, PVOID CallBackContext)
{
    using namespace standin;
    std::lock_guard<std::recursive_mutex> tree(KsTreeLock());
    if (KsKindOf(Object) != KsObjectKind::Filter)
        return; // devices and factories have no events of their own
    auto* filter = static_cast<KsFilterObject*>(Object);
    std::lock_guard<std::mutex> hold(filter->eventLock);
    for (auto& entry : filter->events) {
        if ((EventSet && !(entry->set == *EventSet)) || entry->id != EventId)
            continue;
        if (CallBack && !CallBack(CallBackContext, reinterpret_cast<PKSEVENT_ENTRY>(entry.get())))
            continue;
        if (entry->flags & KSEVENT_TYPE_ENABLEBUFFERED) {
            if (entry->records.size() == kKsEventBufferRecords)
                entry->records.pop_front();
            const auto* bytes = static_cast<const UCHAR*>(Data);
            entry->records.emplace_back(bytes && DataSize ? bytes : nullptr,
                                        bytes && DataSize ? bytes + DataSize : nullptr);
        }
        KeSetEvent(entry->event, IO_NO_INCREMENT, FALSE);
    }
}
