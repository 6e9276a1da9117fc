// Kernel-streaming automation tables: property sets with their items, minimum lengths and values
// tables, event sets with their items, and the handlers the framework calls. The records that
// cross to callers are in shared/ksrecords.h.
#pragma once
#include "km/irp.h"
#include "km/types.h"
#include "shared/ksrecords.h"

// A property handler: Request is a kernel copy of the caller's property record (at least MinProperty
// bytes), Data a kernel copy of its data buffer (at least MinData bytes). It sets
// Irp->IoStatus.Information to the bytes of Data to return.
using PFNKSHANDLER = NTSTATUS(NTAPI*)(PIRP Irp, PKSIDENTIFIER Request, PVOID Data);

struct KSPROPERTY_MEMBERSLIST {
    KSPROPERTY_MEMBERSHEADER MembersHeader;
    const VOID* Members; // MembersSize bytes
};

struct KSPROPERTY_VALUES {
    KSIDENTIFIER PropTypeSet;
    ULONG MembersListCount;
    const KSPROPERTY_MEMBERSLIST* MembersList;
};

struct KSPROPERTY_ITEM {
    ULONG PropertyId;
    PFNKSHANDLER GetPropertyHandler; // NULL: the item cannot be read
    ULONG MinProperty;
    ULONG MinData;
    PFNKSHANDLER SetPropertyHandler; // NULL: the item cannot be written
    const KSPROPERTY_VALUES* Values;
    ULONG RelationsCount;
    const KSPROPERTY* Relations;
    PFNKSHANDLER SupportHandler; // answers basic support itself when set
    ULONG SerializedSize;
};

struct KSPROPERTY_SET {
    const GUID* Set;
    ULONG PropertiesCount;
    const KSPROPERTY_ITEM* PropertyItem;
    ULONG FastIoCount;
    const VOID* FastIoTable;
};

struct KSEVENT_ENTRY;
using PKSEVENT_ENTRY = KSEVENT_ENTRY*;
using PFNKSADDEVENT = NTSTATUS(NTAPI*)(PIRP Irp, PKSEVENTDATA EventData, PKSEVENT_ENTRY EventEntry);
using PFNKSREMOVEEVENT = VOID(NTAPI*)(PFILE_OBJECT FileObject, PKSEVENT_ENTRY EventEntry);

struct KSEVENT_ITEM {
    ULONG EventId;
    ULONG DataInput; // the least size of the caller's enable data, KSEVENTDATA included
    ULONG ExtraEntryData;
    PFNKSADDEVENT AddHandler;       // not called: the framework's buffered handling serves every event
    PFNKSREMOVEEVENT RemoveHandler; // not called, likewise
    PFNKSHANDLER SupportHandler;
};

struct KSEVENT_SET {
    const GUID* Set;
    ULONG EventsCount;
    const KSEVENT_ITEM* EventItem;
};

struct KSAUTOMATION_TABLE {
    ULONG PropertySetsCount;
    ULONG PropertyItemSize; // sizeof(KSPROPERTY_ITEM), or a driver's larger item
    const KSPROPERTY_SET* PropertySets;
    ULONG MethodSetsCount;
    ULONG MethodItemSize;
    const VOID* MethodSets;
    ULONG EventSetsCount;
    ULONG EventItemSize;
    const KSEVENT_SET* EventSets;
    PVOID Alignment;
};
using PKSAUTOMATION_TABLE = KSAUTOMATION_TABLE*;
