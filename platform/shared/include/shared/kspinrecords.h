// The kernel-streaming records of pins that cross between a caller and a filter, with the byte
// layouts both sides rely on: data formats and data ranges, the connect record a pin is created
// with, the pin property request and its answers, stream states, the extended allocator framing,
// and the property sets a pin answers (pin, connection, stream) with their item ids. The handle
// field of the connect record is 32 bits wide, a handle's 32-bit value.
#pragma once
#include "shared/ksrecords.h"

#include <cstddef>
#include <cstdint>

// A data format: the head of every format and of every data range (the same record), followed by
// the format block its specifier names; FormatSize counts the head and the block.
struct alignas(8) KSDATAFORMAT {
    uint32_t FormatSize;
    uint32_t Flags;
    uint32_t SampleSize;
    uint32_t Reserved;
    GUID MajorFormat;
    GUID SubFormat;
    GUID Specifier;
};
static_assert(sizeof(KSDATAFORMAT) == 64 && offsetof(KSDATAFORMAT, MajorFormat) == 16 &&
              offsetof(KSDATAFORMAT, SubFormat) == 32 && offsetof(KSDATAFORMAT, Specifier) == 48);
using KSDATARANGE = KSDATAFORMAT;
using PKSDATAFORMAT = KSDATAFORMAT*;
using PKSDATARANGE = KSDATARANGE*;

// KSDATAFORMAT::Flags.
#define KSDATAFORMAT_TEMPORAL_COMPRESSION 0x00000001
#define KSDATAFORMAT_ATTRIBUTES 0x00000002
// A range with attributes: in a pin's array of data ranges, the next entry is its attribute list
// (a KSMULTIPLE_ITEM followed by the attributes), which the range count does not count.
#define KSDATARANGE_ATTRIBUTES 0x00000002
#define KSDATARANGE_REQUIRED_ATTRIBUTES 0x00000004

// One attribute of a range or a format's attribute list.
struct alignas(8) KSATTRIBUTE {
    uint32_t Size;
    uint32_t Flags;
    GUID Attribute;
};
static_assert(sizeof(KSATTRIBUTE) == 24);
#define KSATTRIBUTE_REQUIRED 0x00000001
using KSATTRIBUTE_LIST = KSMULTIPLE_ITEM;
using PKSMULTIPLE_ITEM = KSMULTIPLE_ITEM*;

// The wildcards: a range whose major format, subformat or specifier is GUID_NULL matches any.
inline constexpr GUID KSDATAFORMAT_TYPE_WILDCARD = GUID_NULL;
inline constexpr GUID KSDATAFORMAT_SUBTYPE_WILDCARD = GUID_NULL;
inline constexpr GUID KSDATAFORMAT_SPECIFIER_WILDCARD = GUID_NULL;
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SPECIFIER_NONE, 0x0F6417D6L, 0xC318, 0x11D0, 0xA4, 0x3F, 0x00, 0xA0, 0xC9,
                        0x22, 0x31, 0x96);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_TYPE_VIDEO, 0x73646976L, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                        0x9B, 0x71);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SPECIFIER_VIDEOINFO, 0x05589F80L, 0xC356, 0x11CE, 0xBF, 0x01, 0x00, 0xAA,
                        0x00, 0x55, 0x59, 0x5A);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_UYVY, 0x59565955L, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00,
                        0x38, 0x9B, 0x71);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_RGB32, 0xE436EB7EL, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF,
                        0x0B, 0xA7, 0x70);

// How a pin moves data, and which way.
enum KSPIN_DATAFLOW : uint32_t { KSPIN_DATAFLOW_IN = 1, KSPIN_DATAFLOW_OUT = 2 };
enum KSPIN_COMMUNICATION : uint32_t {
    KSPIN_COMMUNICATION_NONE = 0,
    KSPIN_COMMUNICATION_SINK = 1,
    KSPIN_COMMUNICATION_SOURCE = 2,
    KSPIN_COMMUNICATION_BOTH = 3,
    KSPIN_COMMUNICATION_BRIDGE = 4,
};
static_assert(sizeof(KSPIN_DATAFLOW) == 4 && sizeof(KSPIN_COMMUNICATION) == 4);

// A pin's interface: how its data travels (standard streaming).
using KSPIN_INTERFACE = KSIDENTIFIER;
DEFINE_GUIDSTRUCT_VALUE(KSINTERFACESETID_Standard, 0x1A8766A0L, 0x62CE, 0x11CF, 0xA5, 0xD6, 0x28, 0xDB, 0x04,
                        0xC1, 0x00, 0x00);
#define KSINTERFACE_STANDARD_STREAMING 0
#define KSMEDIUM_TYPE_ANYINSTANCE 0
#define KSMEDIUM_STANDARD_DEVIO KSMEDIUM_TYPE_ANYINSTANCE

struct KSPRIORITY {
    uint32_t PriorityClass;
    uint32_t PrioritySubClass;
};
static_assert(sizeof(KSPRIORITY) == 8);
#define KSPRIORITY_NORMAL 0x40000000

// What a pin is created with: the connect record, then the KSDATAFORMAT with its format block.
// PinToHandle is the 32-bit value of the handle of the pin connected to (0 for none).
struct KSPIN_CONNECT {
    KSPIN_MEDIUM Medium;
    KSPIN_INTERFACE Interface;
    uint32_t PinId;
    uint32_t PinToHandle;
    KSPRIORITY Priority;
};
static_assert(sizeof(KSPIN_CONNECT) == 64 && offsetof(KSPIN_CONNECT, Interface) == 24 &&
              offsetof(KSPIN_CONNECT, PinId) == 48 && offsetof(KSPIN_CONNECT, PinToHandle) == 52 &&
              offsetof(KSPIN_CONNECT, Priority) == 56);
using PKSPIN_CONNECT = KSPIN_CONNECT*;

// The name a pin's create request carries before the connect record; its text form follows the
// filter's name, then a backslash and the binary records.
DEFINE_GUIDSTRUCT_VALUE(KSNAME_Pin, 0x146F1A80L, 0x4791, 0x11D0, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00);
inline constexpr char16_t KSSTRING_Pin[] = u"{146F1A80-4791-11D0-A5D6-28DB04C10000}";

// A stream's state; a pin moves one step at a time between Stop and Run.
enum KSSTATE : uint32_t { KSSTATE_STOP = 0, KSSTATE_ACQUIRE = 1, KSSTATE_PAUSE = 2, KSSTATE_RUN = 3 };
static_assert(sizeof(KSSTATE) == 4);
enum KSRESET : uint32_t { KSRESET_BEGIN = 0, KSRESET_END = 1 };

// A property addressed to one pin type of a filter (KSPROPSETID_Pin).
struct KSP_PIN {
    KSPROPERTY Property;
    uint32_t PinId;
    uint32_t Reserved;
};
static_assert(sizeof(KSP_PIN) == 32 && offsetof(KSP_PIN, PinId) == 24);
using PKSP_PIN = KSP_PIN*;

struct KSPIN_CINSTANCES {
    uint32_t PossibleCount;
    uint32_t CurrentCount;
};
static_assert(sizeof(KSPIN_CINSTANCES) == 8);
#define KSINSTANCE_INDETERMINATE ((uint32_t)-1)

// The extended allocator framing: a pin's buffer needs, one framing item per kind of memory.
struct KS_FRAMING_RANGE {
    uint32_t MinFrameSize;
    uint32_t MaxFrameSize;
    uint32_t Stepping;
};
struct KS_FRAMING_RANGE_WEIGHTED {
    KS_FRAMING_RANGE Range;
    uint32_t InPlaceWeight;
    uint32_t NotInPlaceWeight;
};
struct KS_COMPRESSION {
    uint32_t RatioNumerator;
    uint32_t RatioDenominator;
    uint32_t RatioConstantMargin;
};
struct KS_FRAMING_ITEM {
    GUID MemoryType;
    GUID BusType;
    uint32_t MemoryFlags;
    uint32_t BusFlags;
    uint32_t Flags;
    uint32_t Frames;
    uint32_t FileAlignment;
    uint32_t MemoryTypeWeight;
    KS_FRAMING_RANGE PhysicalRange;
    KS_FRAMING_RANGE_WEIGHTED FramingRange;
};
static_assert(sizeof(KS_FRAMING_RANGE) == 12 && sizeof(KS_FRAMING_RANGE_WEIGHTED) == 20 &&
              sizeof(KS_COMPRESSION) == 12 && sizeof(KS_FRAMING_ITEM) == 88 &&
              offsetof(KS_FRAMING_ITEM, Frames) == 44 && offsetof(KS_FRAMING_ITEM, PhysicalRange) == 56 &&
              offsetof(KS_FRAMING_ITEM, FramingRange) == 68);
struct KSALLOCATOR_FRAMING_EX {
    uint32_t CountItems;
    uint32_t PinFlags;
    KS_COMPRESSION OutputCompression;
    uint32_t PinWeight;
    KS_FRAMING_ITEM FramingItem[1];
};
static_assert(sizeof(KSALLOCATOR_FRAMING_EX) == 112 && offsetof(KSALLOCATOR_FRAMING_EX, FramingItem) == 24);
using PKSALLOCATOR_FRAMING_EX = KSALLOCATOR_FRAMING_EX*;
// The size of a framing record with `count` items.
constexpr size_t KsAllocatorFramingExSize(uint32_t count)
{
    return offsetof(KSALLOCATOR_FRAMING_EX, FramingItem) + size_t(count ? count : 1) * sizeof(KS_FRAMING_ITEM);
}

DEFINE_GUIDSTRUCT_VALUE(KSMEMORY_TYPE_KERNEL_PAGED, 0xD833F8F8L, 0x7894, 0x11D1, 0xB0, 0x69, 0x00, 0xA0, 0xC9,
                        0x06, 0x28, 0x98);
DEFINE_GUIDSTRUCT_VALUE(KSMEMORY_TYPE_KERNEL_NONPAGED, 0x4A6D5FC4L, 0x7895, 0x11D1, 0xB0, 0x69, 0x00, 0xA0,
                        0xC9, 0x06, 0x28, 0x98);
DEFINE_GUIDSTRUCT_VALUE(KSMEMORY_TYPE_SYSTEM, 0x091BB638L, 0x603F, 0x11D1, 0xB0, 0x67, 0x00, 0xA0, 0xC9, 0x06,
                        0x28, 0x98);
#define KSALLOCATOR_REQUIREMENTF_SYSTEM_MEMORY 0x00000002
#define KSALLOCATOR_REQUIREMENTF_PREFERENCES_ONLY 0x80000000
#define KSALLOCATOR_FLAG_PARTIAL_READ_SUPPORT 0x00000001

// The pin set: filter-level requests about a pin type, addressed by a KSP_PIN.
#define KSPROPERTY_PIN_CINSTANCES 0
#define KSPROPERTY_PIN_CTYPES 1
#define KSPROPERTY_PIN_DATAFLOW 2
#define KSPROPERTY_PIN_DATARANGES 3
#define KSPROPERTY_PIN_DATAINTERSECTION 4
#define KSPROPERTY_PIN_INTERFACES 5
#define KSPROPERTY_PIN_MEDIUMS 6
#define KSPROPERTY_PIN_COMMUNICATION 7
#define KSPROPERTY_PIN_GLOBALCINSTANCES 8
#define KSPROPERTY_PIN_NECESSARYINSTANCES 9
#define KSPROPERTY_PIN_PHYSICALCONNECTION 10
#define KSPROPERTY_PIN_CATEGORY 11
#define KSPROPERTY_PIN_NAME 12
#define KSPROPERTY_PIN_CONSTRAINEDDATARANGES 13

// The connection set, on a pin handle.
DEFINE_GUIDSTRUCT_VALUE(KSPROPSETID_Connection, 0x1D58C920L, 0xAC9B, 0x11CF, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1,
                        0x00, 0x00);
#define KSPROPERTY_CONNECTION_STATE 0
#define KSPROPERTY_CONNECTION_PRIORITY 1
#define KSPROPERTY_CONNECTION_DATAFORMAT 2
#define KSPROPERTY_CONNECTION_ALLOCATORFRAMING 3
#define KSPROPERTY_CONNECTION_PROPOSEDATAFORMAT 4
#define KSPROPERTY_CONNECTION_ACQUIREORDERING 5
#define KSPROPERTY_CONNECTION_ALLOCATORFRAMING_EX 6

// The stream set, on a pin handle: the master clock is the 32-bit value of a clock handle
// (0 removes the clock).
DEFINE_GUIDSTRUCT_VALUE(KSPROPSETID_Stream, 0x65AABA60L, 0x98AE, 0x11CF, 0xA1, 0x0D, 0x00, 0x20, 0xAF, 0xD1,
                        0x56, 0xE4);
#define KSPROPERTY_STREAM_ALLOCATOR 0
#define KSPROPERTY_STREAM_QUALITY 1
#define KSPROPERTY_STREAM_DEGRADATION 2
#define KSPROPERTY_STREAM_MASTERCLOCK 3

// The category the pin NAME answer falls back to, and where names of name GUIDs are registered.
DEFINE_GUIDSTRUCT_VALUE(PINNAME_CAPTURE, 0xFB6C4281L, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16,
                        0xBA);
