// Hardware resource lists as the PnP manager hands them to a driver at start: a list of full
// descriptors (one per bus), each with a list of partial descriptors (one per port range,
// interrupt, memory range, ...). The lists are variable-length: the partial descriptors of a full
// descriptor follow it back to back, and the next full descriptor begins right after its last
// partial descriptor (and after the data of a device-specific descriptor). The layouts are the
// 64-bit ones: a partial descriptor is 20 bytes with its union packed to 4-byte alignment.
#pragma once
#include "km/mm.h"
#include "km/types.h"

#include <cstddef>

enum INTERFACE_TYPE {
    InterfaceTypeUndefined = -1,
    Internal = 0,
    Isa = 1,
    Eisa = 2,
    MicroChannel = 3,
    TurboChannel = 4,
    PCIBus = 5,
    VMEBus = 6,
    NuBus = 7,
    PCMCIABus = 8,
    CBus = 9,
    MPIBus = 10,
    MPSABus = 11,
    ProcessorInternal = 12,
    InternalPowerBus = 13,
    PNPISABus = 14,
    PNPBus = 15,
    MaximumInterfaceType
};

// Partial descriptor types (the Type byte).
#define CmResourceTypeNull 0
#define CmResourceTypePort 1
#define CmResourceTypeInterrupt 2
#define CmResourceTypeMemory 3
#define CmResourceTypeDma 4
#define CmResourceTypeDeviceSpecific 5
#define CmResourceTypeBusNumber 6

// ShareDisposition values.
enum CM_SHARE_DISPOSITION {
    CmResourceShareUndetermined = 0,
    CmResourceShareDeviceExclusive = 1,
    CmResourceShareDriverExclusive = 2,
    CmResourceShareShared = 3
};

// Flags of an interrupt descriptor.
#define CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE 0x0000
#define CM_RESOURCE_INTERRUPT_LATCHED 0x0001
// Flags of a memory descriptor.
#define CM_RESOURCE_MEMORY_READ_WRITE 0x0000
#define CM_RESOURCE_MEMORY_READ_ONLY 0x0001
#define CM_RESOURCE_MEMORY_WRITE_ONLY 0x0002
#define CM_RESOURCE_MEMORY_PREFETCHABLE 0x0004
// Flags of a port descriptor: where the range lives after translation.
#define CM_RESOURCE_PORT_MEMORY 0x0000
#define CM_RESOURCE_PORT_IO 0x0001

#pragma pack(push, 4)
struct CM_PARTIAL_RESOURCE_DESCRIPTOR {
    UCHAR Type;
    UCHAR ShareDisposition;
    USHORT Flags;
    union {
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Generic;
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Port;
        struct {
            ULONG Level;
            ULONG Vector;
            KAFFINITY Affinity;
        } Interrupt;
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Memory;
        struct {
            ULONG Channel;
            ULONG Port;
            ULONG Reserved1;
        } Dma;
        struct {
            ULONG Data[3];
        } DevicePrivate;
        struct {
            ULONG Start;
            ULONG Length;
            ULONG Reserved;
        } BusNumber;
        // DataSize bytes of device-specific data follow the descriptor directly.
        struct {
            ULONG DataSize;
            ULONG Reserved1;
            ULONG Reserved2;
        } DeviceSpecificData;
    } u;
};
#pragma pack(pop)
using PCM_PARTIAL_RESOURCE_DESCRIPTOR = CM_PARTIAL_RESOURCE_DESCRIPTOR*;

struct CM_PARTIAL_RESOURCE_LIST {
    USHORT Version;
    USHORT Revision;
    ULONG Count;
    CM_PARTIAL_RESOURCE_DESCRIPTOR PartialDescriptors[1]; // Count of them
};
using PCM_PARTIAL_RESOURCE_LIST = CM_PARTIAL_RESOURCE_LIST*;

struct CM_FULL_RESOURCE_DESCRIPTOR {
    INTERFACE_TYPE InterfaceType;
    ULONG BusNumber;
    CM_PARTIAL_RESOURCE_LIST PartialResourceList;
};
using PCM_FULL_RESOURCE_DESCRIPTOR = CM_FULL_RESOURCE_DESCRIPTOR*;

struct CM_RESOURCE_LIST {
    ULONG Count;
    CM_FULL_RESOURCE_DESCRIPTOR List[1]; // Count of them, each of its own length
};
using PCM_RESOURCE_LIST = CM_RESOURCE_LIST*;

static_assert(sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR) == 20);
static_assert(offsetof(CM_PARTIAL_RESOURCE_DESCRIPTOR, u) == 4);
static_assert(offsetof(CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Memory.Length) == 12);
static_assert(offsetof(CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Interrupt.Affinity) == 12);
static_assert(sizeof(CM_PARTIAL_RESOURCE_LIST) == 28);
static_assert(offsetof(CM_PARTIAL_RESOURCE_LIST, PartialDescriptors) == 8);
static_assert(sizeof(CM_FULL_RESOURCE_DESCRIPTOR) == 36);
static_assert(offsetof(CM_FULL_RESOURCE_DESCRIPTOR, PartialResourceList) == 8);
static_assert(sizeof(CM_RESOURCE_LIST) == 40);
static_assert(offsetof(CM_RESOURCE_LIST, List) == 4);
