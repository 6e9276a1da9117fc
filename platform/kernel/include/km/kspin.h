// Kernel-streaming pins: the pin descriptors a filter descriptor lists, the pin's dispatch table and
// intersect handler, the pin object with its context, bag, connection format and state, and the
// calls that reach a pin from its filter and back.
#pragma once
#include "km/ksfilter.h"
#include "shared/kspinrecords.h"

struct KSCLOCK_DISPATCH;
struct KSALLOCATOR_DISPATCH;

using PFNKSPINIRP = NTSTATUS(NTAPI*)(PKSPIN Pin, PIRP Irp);
using PFNKSPIN = NTSTATUS(NTAPI*)(PKSPIN Pin);
using PFNKSPINVOID = VOID(NTAPI*)(PKSPIN Pin);
// The new format is already Pin->ConnectionFormat; OldFormat is NULL while the pin is created.
// DataRange is the pin's range the format matched; AttributeRange its attribute list, if any.
using PFNKSPINSETDATAFORMAT = NTSTATUS(NTAPI*)(PKSPIN Pin, PKSDATAFORMAT OldFormat,
                                               PKSMULTIPLE_ITEM OldAttributeList, const KSDATARANGE* DataRange,
                                               const KSATTRIBUTE_LIST* AttributeRange);
// One step: ToState and FromState are neighbours (Stop, Acquire, Pause, Run).
using PFNKSPINSETDEVICESTATE = NTSTATUS(NTAPI*)(PKSPIN Pin, KSSTATE ToState, KSSTATE FromState);

struct KSPIN_DISPATCH {
    PFNKSPINIRP Create; // after SetDataFormat accepted the format; a failure refuses the open
    PFNKSPINIRP Close;
    PFNKSPIN Process;
    PFNKSPINVOID Reset;
    PFNKSPINSETDATAFORMAT SetDataFormat;
    PFNKSPINSETDEVICESTATE SetDeviceState;
    PFNKSPIN Connect;
    PFNKSPINVOID Disconnect;
    const KSCLOCK_DISPATCH* Clock;
    const KSALLOCATOR_DISPATCH* Allocator;
};

// A pin type as the pin set describes it. DataRanges points to DataRangesCount ranges; a range with
// KSDATARANGE_ATTRIBUTES is followed in the array by its attribute list.
struct KSPIN_DESCRIPTOR {
    ULONG InterfacesCount;
    const KSPIN_INTERFACE* Interfaces;
    ULONG MediumsCount;
    const KSPIN_MEDIUM* Mediums;
    ULONG DataRangesCount;
    const PKSDATARANGE* DataRanges;
    KSPIN_DATAFLOW DataFlow;
    KSPIN_COMMUNICATION Communication;
    const GUID* Category;
    const GUID* Name;
    ULONG ConstrainedDataRangesCount;
    PKSDATARANGE* ConstrainedDataRanges;
};

// The intersect handler: for the caller's DataRange and the pin's matching MatchingDataRange, writes
// the format it would accept to Data (DataBufferSize bytes) and its size to *DataSize.
// DataBufferSize 0: *DataSize and STATUS_BUFFER_OVERFLOW; too small: STATUS_BUFFER_TOO_SMALL;
// no format for this pair: STATUS_NO_MATCH. Context is the filter.
using PFNKSINTERSECTHANDLEREX = NTSTATUS(NTAPI*)(PVOID Context, PIRP Irp, PKSP_PIN Pin, PKSDATARANGE DataRange,
                                                 PKSDATARANGE MatchingDataRange, ULONG DataBufferSize,
                                                 PVOID Data, PULONG DataSize);

// KSPIN_DESCRIPTOR_EX::Flags.
#define KSPIN_FLAG_DISPATCH_LEVEL_PROCESSING 0x00000002
#define KSPIN_FLAG_CRITICAL_PROCESSING 0x00000004
#define KSPIN_FLAG_HYPERCRITICAL_PROCESSING 0x00000008
#define KSPIN_FLAG_ASYNCHRONOUS_PROCESSING 0x00000010
#define KSPIN_FLAG_DO_NOT_INITIATE_PROCESSING 0x00000080
#define KSPIN_FLAG_INITIATE_PROCESSING_ON_EVERY_ARRIVAL 0x00000100
#define KSPIN_FLAG_FRAMES_NOT_REQUIRED_FOR_PROCESSING 0x00000200
#define KSPIN_FLAG_ENFORCE_FIFO 0x00000400
#define KSPIN_FLAG_GENERATE_MAPPINGS 0x00000800
#define KSPIN_FLAG_DISTINCT_TRAILING_EDGE 0x00001000
#define KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY 0x00010000
#define KSPIN_FLAG_SPLITTER 0x00020000
#define KSPIN_FLAG_USE_STANDARD_TRANSPORT 0x00040000
#define KSPIN_FLAG_DO_NOT_USE_STANDARD_TRANSPORT 0x00080000
#define KSPIN_FLAG_FIXED_FORMAT 0x00100000
#define KSPIN_FLAG_GENERATE_EOS_EVENTS 0x00200000
#define KSPIN_FLAG_RENDERER (KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY | KSPIN_FLAG_GENERATE_EOS_EVENTS)
#define KSPIN_FLAG_IMPLEMENT_CLOCK 0x00400000

struct KSPIN_DESCRIPTOR_EX {
    const KSPIN_DISPATCH* Dispatch;
    const KSAUTOMATION_TABLE* AutomationTable; // served on the pin's handles
    KSPIN_DESCRIPTOR PinDescriptor;
    ULONG Flags;
    ULONG InstancesPossible; // KSINSTANCE_INDETERMINATE: no limit
    ULONG InstancesNecessary;
    const KSALLOCATOR_FRAMING_EX* AllocatorFraming;
    PFNKSINTERSECTHANDLEREX IntersectHandler; // NULL: the framework's own (see KsHandlePinIntersection)
};
using PKSPIN_DESCRIPTOR_EX = KSPIN_DESCRIPTOR_EX*;

struct KSPIN {
    const KSPIN_DESCRIPTOR_EX* Descriptor; // the filter's, until _KsEdit gives this pin its own
    KSOBJECT_BAG Bag;
    PVOID Context; // the driver's; NULL when the pin is made
    ULONG Id;
    KSPIN_COMMUNICATION Communication;
    BOOLEAN ConnectionIsExternal;
    KSPIN_INTERFACE ConnectionInterface;
    KSPIN_MEDIUM ConnectionMedium;
    KSPRIORITY ConnectionPriority;
    PKSDATAFORMAT ConnectionFormat; // the framework's copy of the format the pin runs with
    PKSMULTIPLE_ITEM AttributeList;
    ULONG StreamHeaderSize; // 0: a bare KSSTREAM_HEADER; the driver sets it in its Create
    KSPIN_DATAFLOW DataFlow;
    KSSTATE DeviceState; // the state the last successful step reached
    KSRESET ResetState;
    KSSTATE ClientState; // the state the client last asked for
};

extern "C" {
// The filter the pin belongs to.
PKSFILTER NTAPI KsPinGetParentFilter(PKSPIN Pin);
// The next pin of the same id on the same filter (creation order); NULL after the last.
PKSPIN NTAPI KsPinGetNextSiblingPin(PKSPIN Pin);
// The pin whose request Irp is (a request on a pin handle); NULL for any other.
PKSPIN NTAPI KsGetPinFromIrp(PIRP Irp);
}

