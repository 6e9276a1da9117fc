// The framework's own records behind the kernel-streaming objects: each device's filter factories,
// each factory's filters, the object bag, the event entries enabled on a filter, and the one table
// that tells which kind of object an address is, so the walks and the mutex calls can take any
// object a driver hands them.
#pragma once
#include "km/ksfilter.h"
#include "km/process.h"
#include "km/sync.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

// Items and the routines that free them, freed in reverse order of adding.
class KsObjectBag {
public:
    ~KsObjectBag();
    NTSTATUS Add(PVOID item, PFNKSFREE free);
    bool Contains(PVOID item);
    // Frees the item (with its routine) when the bag has it; true if so.
    bool Free(PVOID item);

private:
    struct Item {
        PVOID item;
        PFNKSFREE free;
    };
    std::mutex lock_;
    std::vector<Item> items_;
};

// An event enabled on a filter, known by the caller's KSEVENTDATA.
struct KsEventEntry {
    GUID set{};
    ULONG id = 0;
    ULONG flags = 0;
    const void* eventData = nullptr;
    ULONG cookie = 0;
    PRKEVENT event = nullptr; // referenced
    std::deque<std::vector<UCHAR>> records;
};

struct KsFilterObject {
    KSFILTER filter{};                 // first: a PKSFILTER is this record's address
    struct KsFactoryObject* factory = nullptr;
    const KSFILTER_DISPATCH* dispatch = nullptr; // kept: Close runs even after the factory went
    PFILE_OBJECT file = nullptr;
    PEPROCESS process = nullptr;
    KMUTEX control{};
    KsObjectBag bag;
    std::mutex eventLock;
    std::vector<std::unique_ptr<KsEventEntry>> events;
};

struct KsFactoryObject {
    KSFILTERFACTORY factory{};
    PKSDEVICE device = nullptr;
    KsObjectBag bag;
    std::u16string referenceString;
    std::vector<UNICODE_STRING> links; // one per category, registered with the I/O manager
    std::vector<KsFilterObject*> filters; // under the device's table lock
};

struct KsDeviceObject {
    KMUTEX mutex{};
    KsObjectBag bag;
    std::vector<std::unique_ptr<KsFactoryObject>> factories;
};

enum class KsObjectKind { None, Device, FilterFactory, Filter };

// The kind of object at `object` (a PKSDEVICE, PKSFILTERFACTORY or PKSFILTER).
KsObjectKind KsKindOf(PVOID object);
// The framework's record of a device (made by KsCreateDevice, ended by its removal).
KsDeviceObject* KsDeviceRecord(PKSDEVICE device);
// Builds the device's record and its filter factories (interfaces registered, not yet enabled).
NTSTATUS KsAttachDeviceRecord(PKSDEVICE device);
// Ends the record: open filters are left to their close; factories and the device bag go.
void KsDetachDeviceRecord(PKSDEVICE device);
// Enables or disables every interface of the device's factories.
void KsSetDeviceInterfacesState(PKSDEVICE device, bool enable);
// The lock of the object tables and the walks.
std::recursive_mutex& KsTreeLock();
void KsRegisterObject(PVOID object, KsObjectKind kind);
void KsForgetObject(PVOID object);

// The framework's handling of a filter's requests.
NTSTATUS KsCreateFilter(PKSDEVICE device, PIRP irp);
NTSTATUS KsCloseFilter(PIRP irp);
KsFilterObject* KsFilterOfFile(PFILE_OBJECT file);
NTSTATUS KsHandleProperty(KsFilterObject* filter, PIRP irp);
NTSTATUS KsHandleEnableEvent(KsFilterObject* filter, PIRP irp);
NTSTATUS KsHandleDisableEvent(KsFilterObject* filter, PIRP irp);
// Drops every event enabled on the filter.
void KsFreeFilterEvents(KsFilterObject* filter);

} // namespace standin
