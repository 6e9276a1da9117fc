// Kernel-streaming filter factories and filters: the descriptors a driver builds, the filter object
// with its context, bag and own copy of the descriptor, object bags and _KsEdit, the device and
// control mutexes (a pin's is its filter's), the object walks, and KsGenerateEvents. Pins are in
// km/kspin.h, included at the end.
#pragma once
#include "km/ks.h"
#include "km/ksautomation.h"

struct KSFILTER;
using PKSFILTER = KSFILTER*;
struct KSPIN;
using PKSPIN = KSPIN*;

using PFNKSFILTERIRP = NTSTATUS(NTAPI*)(PKSFILTER Filter, PIRP Irp);
using PFNKSFILTERPROCESS = NTSTATUS(NTAPI*)(PKSFILTER Filter, PVOID IndexEntries);
using PFNKSFILTERVOID = NTSTATUS(NTAPI*)(PKSFILTER Filter);

struct KSFILTER_DISPATCH {
    PFNKSFILTERIRP Create; // a failure refuses the open
    PFNKSFILTERIRP Close;
    PFNKSFILTERPROCESS Process;
    PFNKSFILTERVOID Reset;
};

struct KSNODE_DESCRIPTOR {
    const KSAUTOMATION_TABLE* AutomationTable;
    const GUID* Type;
    const GUID* Name;
};

struct KSPIN_DESCRIPTOR_EX; // km/kspin.h

#define KSFILTER_DESCRIPTOR_VERSION ((ULONG)-1)

struct KSFILTER_DESCRIPTOR {
    const KSFILTER_DISPATCH* Dispatch;
    const KSAUTOMATION_TABLE* AutomationTable;
    ULONG Version;
    ULONG Flags;
    const GUID* ReferenceGuid; // the interface's reference string, as "{GUID}"
    ULONG PinDescriptorsCount;
    ULONG PinDescriptorSize;
    const KSPIN_DESCRIPTOR_EX* PinDescriptors;
    ULONG CategoriesCount;
    const GUID* Categories;
    ULONG NodeDescriptorsCount;
    ULONG NodeDescriptorSize;
    const KSNODE_DESCRIPTOR* NodeDescriptors;
    ULONG ConnectionsCount;
    const KSTOPOLOGY_CONNECTION* Connections;
    const VOID* ComponentId;
};
using PKSFILTER_DESCRIPTOR = KSFILTER_DESCRIPTOR*;

struct KSFILTERFACTORY {
    const KSFILTER_DESCRIPTOR* FilterDescriptor;
    KSOBJECT_BAG Bag;
    PVOID Context;
};
using PKSFILTERFACTORY = KSFILTERFACTORY*;

struct KSFILTER {
    const KSFILTER_DESCRIPTOR* Descriptor; // the factory's, until _KsEdit gives this filter its own
    KSOBJECT_BAG Bag;
    PVOID Context;
};

using PFNKSFREE = VOID(NTAPI*)(PVOID Data);
using PFNKSGENERATEEVENTCALLBACK = BOOLEAN(NTAPI*)(PVOID Context, PKSEVENT_ENTRY EventEntry);

#define KsEdit(Object, PointerToPointer, Tag)                                                                \
    _KsEdit((Object)->Bag, (PVOID*)(PointerToPointer), sizeof(**(PointerToPointer)),                        \
            sizeof(**(PointerToPointer)), (Tag))

extern "C" {
// Adds Item to the bag; Free (ExFreePool when NULL) frees it when the bag's object goes.
// STATUS_INVALID_PARAMETER for a NULL bag or item; on failure the item stays the caller's.
NTSTATUS NTAPI KsAddItemToObjectBag(KSOBJECT_BAG ObjectBag, PVOID Item, PFNKSFREE Free);
// Gives the object its own copy of *PointerToPointerToItem: NewSize bytes of pool (the first OldSize
// copied, the rest zero) kept in the bag; the pointer is replaced. An item already the bag's own and
// as large is left as it is; a smaller own item is replaced and freed.
NTSTATUS NTAPI _KsEdit(KSOBJECT_BAG ObjectBag, PVOID* PointerToPointerToItem, ULONG NewSize, ULONG OldSize,
                       ULONG Tag);

// The device mutex and each filter's control mutex; both recursive for their owner.
VOID NTAPI KsAcquireDevice(PKSDEVICE Device);
VOID NTAPI KsReleaseDevice(PKSDEVICE Device);
VOID NTAPI KsAcquireControl(PVOID Object);
VOID NTAPI KsReleaseControl(PVOID Object);

// The walks: device → filter factories (descriptor order) → filters (creation order) → pins.
PVOID NTAPI KsGetFirstChild(PVOID Object);
PVOID NTAPI KsGetNextSibling(PVOID Object);
PVOID NTAPI KsGetParent(PVOID Object);
PKSDEVICE NTAPI KsGetDevice(PVOID Object);
PKSFILTER NTAPI KsGetFilterFromIrp(PIRP Irp);
PKSFILTERFACTORY NTAPI KsFilterGetParentFilterFactory(PKSFILTER Filter);
// The first pin of PinId on the filter (creation order); NULL while the filter has none.
PKSPIN NTAPI KsFilterGetFirstChildPin(PKSFILTER Filter, ULONG PinId);
// How many pins of PinId the filter has open now; 0 for a pin id it does not describe.
ULONG NTAPI KsFilterGetChildPinCount(PKSFILTER Filter, ULONG PinId);

// Describes a filter without kernel-streaming pins to the graph tools: on every interface of
// InterfaceClassGUID that DeviceObject (a physical device object) has registered, writes
// "FilterData" (REG_BINARY) under "Device Parameters": a ULONG pin count, then for each pin its
// direction (ULONG: 0 in, 1 out), its KSPIN_MEDIUM and its category GUID (GUID_NULL for none).
// STATUS_INVALID_PARAMETER for a missing argument or no pins, STATUS_OBJECT_NAME_NOT_FOUND when the
// device has no interface of the class. PASSIVE_LEVEL only.
NTSTATUS NTAPI KsRegisterFilterWithNoKSPins(PDEVICE_OBJECT DeviceObject, const GUID* InterfaceClassGUID,
                                            ULONG PinCount, int* PinDirection, KSPIN_MEDIUM* MediumList,
                                            GUID* CategoryList);

// Raises an event on a filter: every enabled entry of EventSet (NULL: any set) and EventId gets a
// copy of the DataSize bytes of Data in its buffer (when enabled buffered) and its event set.
VOID NTAPI KsGenerateEvents(PVOID Object, const GUID* EventSet, ULONG EventId, ULONG DataSize, PVOID Data,
                            PFNKSGENERATEEVENTCALLBACK CallBack, PVOID CallBackContext);
}

#include "km/kspin.h"
