// The kernel-streaming records that cross between a caller and a filter, with the byte layouts both
// sides rely on: the property/event identifier, the node property, the event-enable data and the
// buffered-event query, the basic-support description, and the device-control codes that carry them.
// Handle and pointer fields of the event records are 32 bits wide: a handle is its 32-bit value, an
// address a cookie the kernel side resolves.
#pragma once
#include "shared/devioctl.h"
#include "shared/guiddef.h"

#include <cstddef>
#include <cstdint>

#ifndef FILE_DEVICE_KS
#define FILE_DEVICE_KS 0x0000002F
#endif
#define IOCTL_KS_PROPERTY CTL_CODE(FILE_DEVICE_KS, 0x000, METHOD_NEITHER, FILE_ANY_ACCESS)
#define IOCTL_KS_ENABLE_EVENT CTL_CODE(FILE_DEVICE_KS, 0x001, METHOD_NEITHER, FILE_ANY_ACCESS)
#define IOCTL_KS_DISABLE_EVENT CTL_CODE(FILE_DEVICE_KS, 0x002, METHOD_NEITHER, FILE_ANY_ACCESS)
static_assert(IOCTL_KS_PROPERTY == 0x2F0003 && IOCTL_KS_ENABLE_EVENT == 0x2F0007 &&
              IOCTL_KS_DISABLE_EVENT == 0x2F000B);

#define KSPROPERTY_TYPE_GET 0x00000001
#define KSPROPERTY_TYPE_SET 0x00000002
#define KSPROPERTY_TYPE_SETSUPPORT 0x00000100
#define KSPROPERTY_TYPE_BASICSUPPORT 0x00000200
#define KSPROPERTY_TYPE_TOPOLOGY 0x10000000

#define KSEVENT_TYPE_ENABLE 0x00000001
#define KSEVENT_TYPE_ONESHOT 0x00000002
#define KSEVENT_TYPE_ENABLEBUFFERED 0x00000004
#define KSEVENT_TYPE_SETSUPPORT 0x00000100
#define KSEVENT_TYPE_BASICSUPPORT 0x00000200
#define KSEVENT_TYPE_QUERYBUFFER 0x00000400
#define KSEVENT_TYPE_TOPOLOGY 0x10000000

#define KSEVENTF_EVENT_HANDLE 0x00000001

// Set, id and flags: the head of every property, method and event request.
struct alignas(8) KSIDENTIFIER {
    GUID Set;
    uint32_t Id;
    uint32_t Flags;
};
static_assert(sizeof(KSIDENTIFIER) == 24 && offsetof(KSIDENTIFIER, Id) == 16 && offsetof(KSIDENTIFIER, Flags) == 20);
using KSPROPERTY = KSIDENTIFIER;
using KSEVENT = KSIDENTIFIER;
using KSMETHOD = KSIDENTIFIER;
using PKSIDENTIFIER = KSIDENTIFIER*;
using PKSPROPERTY = KSPROPERTY*;
using PKSEVENT = KSEVENT*;

// A property addressed to one node of a filter's topology (KSPROPERTY_TYPE_TOPOLOGY).
struct KSP_NODE {
    KSPROPERTY Property;
    uint32_t NodeId;
    uint32_t Reserved;
};
static_assert(sizeof(KSP_NODE) == 32 && offsetof(KSP_NODE, NodeId) == 24);

// How an enabled event notifies: only the event-handle form is served. EventHandle is the 32-bit
// value of the caller's event handle.
struct KSEVENTDATA {
    uint32_t NotificationType;
    uint32_t EventHandle;
    uint32_t Reserved[2];
};
static_assert(sizeof(KSEVENTDATA) == 16 && offsetof(KSEVENTDATA, EventHandle) == 4);
using PKSEVENTDATA = KSEVENTDATA*;

// Fetches the oldest record of a buffered event. EventData is the cookie of the KSEVENTDATA that
// enabled the event (standin::KsEventDataCookie gives it to the caller).
struct KSQUERYBUFFER {
    KSEVENT Event;
    uint32_t EventData;
    uint32_t Reserved;
};
static_assert(sizeof(KSQUERYBUFFER) == 32 && offsetof(KSQUERYBUFFER, EventData) == 24);

// A list answer: the whole size in bytes (this header included) and the count of items after it.
struct KSMULTIPLE_ITEM {
    uint32_t Size;
    uint32_t Count;
};
static_assert(sizeof(KSMULTIPLE_ITEM) == 8);

// Basic support: the description, then for each members list its header and its members.
struct KSPROPERTY_DESCRIPTION {
    uint32_t AccessFlags;
    uint32_t DescriptionSize;
    KSIDENTIFIER PropTypeSet;
    uint32_t MembersListCount;
    uint32_t Reserved;
};
static_assert(sizeof(KSPROPERTY_DESCRIPTION) == 40 && offsetof(KSPROPERTY_DESCRIPTION, PropTypeSet) == 8 &&
              offsetof(KSPROPERTY_DESCRIPTION, MembersListCount) == 32);

#define KSPROPERTY_MEMBER_RANGES 0x00000001
#define KSPROPERTY_MEMBER_STEPPEDRANGES 0x00000002
#define KSPROPERTY_MEMBER_VALUES 0x00000003
#define KSPROPERTY_MEMBER_FLAG_DEFAULT 0x00000001

struct KSPROPERTY_MEMBERSHEADER {
    uint32_t MembersFlags;
    uint32_t MembersSize;
    uint32_t MembersCount;
    uint32_t Flags;
};
static_assert(sizeof(KSPROPERTY_MEMBERSHEADER) == 16);

struct KSPROPERTY_BOUNDS_LONG {
    int32_t SignedMinimum;
    int32_t SignedMaximum;
};
struct KSPROPERTY_STEPPING_LONG {
    uint32_t SteppingDelta;
    uint32_t Reserved;
    KSPROPERTY_BOUNDS_LONG Bounds;
};
static_assert(sizeof(KSPROPERTY_STEPPING_LONG) == 16);

// A filter's topology connection: from node (or the filter, KSFILTER_NODE) and pin, to node and pin.
#define KSFILTER_NODE ((uint32_t)-1)
struct KSTOPOLOGY_CONNECTION {
    uint32_t FromNode;
    uint32_t FromNodePin;
    uint32_t ToNode;
    uint32_t ToNodePin;
};
static_assert(sizeof(KSTOPOLOGY_CONNECTION) == 16);

// A pin's medium: how it connects outside kernel streaming (a bus, a crossbar wire).
struct KSPIN_MEDIUM {
    GUID Set;
    uint32_t Id;
    uint32_t Flags;
};
static_assert(sizeof(KSPIN_MEDIUM) == 24);
DEFINE_GUIDSTRUCT_VALUE(KSMEDIUMSETID_Standard, 0x4747B320L, 0x62CE, 0x11CF, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1,
                        0x00, 0x00);
DEFINE_GUIDSTRUCT_VALUE(PINNAME_VIDEO_ANALOGVIDEOIN, 0xFB6C4283L, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0,
                        0xCC, 0x16, 0xBA);

// The standard sets the framework and drivers answer.
DEFINE_GUIDSTRUCT_VALUE(KSPROPSETID_General, 0x1464EDA5L, 0x6A8F, 0x11D1, 0x9A, 0xA7, 0x00, 0xA0, 0xC9, 0x22,
                        0x31, 0x96);
DEFINE_GUIDSTRUCT_VALUE(KSPROPSETID_Topology, 0x720D4AC0L, 0x7533, 0x11D0, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1,
                        0x00, 0x00);
DEFINE_GUIDSTRUCT_VALUE(KSPROPSETID_Pin, 0x8C134960L, 0x51AD, 0x11CF, 0x87, 0x8A, 0x94, 0xF8, 0x01, 0xC1,
                        0x00, 0x00);
DEFINE_GUIDSTRUCT_VALUE(KSPROPTYPESETID_General, 0x97E99BA0L, 0xBDEA, 0x11CF, 0xA5, 0xD6, 0x28, 0xDB, 0x04,
                        0xC1, 0x00, 0x00);

#define KSPROPERTY_GENERAL_COMPONENTID 0

// The answer of KSPROPERTY_GENERAL_COMPONENTID.
struct KSCOMPONENTID {
    GUID Manufacturer;
    GUID Product;
    GUID Component;
    GUID Name;
    uint32_t Version;
    uint32_t Revision;
};
static_assert(sizeof(KSCOMPONENTID) == 72 && offsetof(KSCOMPONENTID, Name) == 48 &&
              offsetof(KSCOMPONENTID, Version) == 64);
#define KSPROPERTY_TOPOLOGY_CATEGORIES 0
#define KSPROPERTY_TOPOLOGY_NODES 1
#define KSPROPERTY_TOPOLOGY_CONNECTIONS 2
#define KSPROPERTY_TOPOLOGY_NAME 3
