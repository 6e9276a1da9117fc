// What the machine's test driver (MachineTest.sys) and the tests that drive it agree on: the service
// and the hardware it serves, its device-interface class, its device-control codes with their records,
// the registry switches that make it misbehave on purpose, and the ids of its event-log messages. Only
// the declarations both sides of the stand-in share are used here.
#pragma once
#include "shared/devioctl.h"
#include "shared/guiddef.h"

#include <cstddef>
#include <cstdint>

namespace machinetest {

inline constexpr char16_t kService[] = u"MachineTest";
inline constexpr char16_t kFileName[] = u"C:\\Windows\\System32\\drivers\\MachineTest.sys";
constexpr uint16_t kVendorId = 0x7A1E;
constexpr uint16_t kDeviceId = 0x7E57;

// The interface every device of the driver registers (without a reference string) and enables while
// it is started.
DEFINE_GUIDSTRUCT_VALUE(kInterfaceClass, 0x7a1e7e57, 0x5d1c, 0x4a6e, 0x9b, 0x31, 0x2c, 0x44, 0x8e, 0x61, 0x07,
                        0xd2);

// The test device's first range: a register file whose first register reads kIdentity.
constexpr uint32_t kIdentity = 0x7A1E7E57;

// Device-control codes, all METHOD_BUFFERED.
// The device's state (MachineTestState) as output.
constexpr uint32_t kIoctlGetState = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Input PendRequest; pended and completed from a system thread after the delay, with the value as
// output (4 bytes).
constexpr uint32_t kIoctlPend = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Held pending until cancelled (STATUS_CANCELLED) or the device goes (STATUS_DEVICE_REMOVED); with the
// switch "LeaveRequestPending" it is never completed at all.
constexpr uint32_t kIoctlHold = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Input: a 4-byte offset into the first range; output: the 32-bit register read there.
constexpr uint32_t kIoctlReadRegister =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS);

struct PendRequest {
    uint32_t delayMilliseconds;
    uint32_t value;
};
static_assert(sizeof(PendRequest) == 8);

struct MemoryResource {
    uint64_t start;
    uint32_t length;
    uint32_t reserved;
};
static_assert(sizeof(MemoryResource) == 16);

constexpr uint32_t kMaximumRanges = 4;

// What the driver saw. The resources are those of the last start request.
struct MachineTestState {
    uint32_t size;           // sizeof(MachineTestState)
    uint32_t loadGeneration; // DriverEntry calls this image's data has seen: 1 for a freshly mapped image
    uint32_t deviceNumber;   // 1, 2, ... in the order the driver's AddDevice made them in this load
    uint32_t registeredForShutdown;
    uint32_t startCount;
    uint32_t stopCount;
    uint32_t shutdownCount;
    uint32_t pendingHeld; // 1 while a held request waits
    uint32_t busNumber;   // IoGetDeviceProperty of the physical device object
    uint32_t address;
    uint32_t rawMemoryCount;
    uint32_t translatedMemoryCount;
    MemoryResource rawMemory[kMaximumRanges];
    MemoryResource translatedMemory[kMaximumRanges];
    uint32_t hasInterrupt;
    uint32_t rawInterruptLevel;
    uint32_t rawInterruptVector;
    uint32_t translatedInterruptLevel;
    uint32_t translatedInterruptVector;
    uint32_t interruptConnectStatus; // IoConnectInterrupt's status at the last start
    uint64_t interruptAffinity;      // of the translated interrupt
    uint32_t identity;               // the first register of the first range, read at start
    uint32_t reserved;
};
static_assert(sizeof(MachineTestState) == 216);
static_assert(offsetof(MachineTestState, rawMemory) == 48);
static_assert(offsetof(MachineTestState, interruptAffinity) == 200);

// DWORD switches under the service's "Parameters" key, read at DriverEntry.
inline constexpr char16_t kSwitchFailDriverEntry[] = u"FailDriverEntry";         // status to return
inline constexpr char16_t kSwitchFailStart[] = u"FailStart";                     // status to fail starts with
inline constexpr char16_t kSwitchVetoStop[] = u"VetoStop";                       // fail stop queries
inline constexpr char16_t kSwitchVetoRemove[] = u"VetoRemove";                   // fail removal queries
inline constexpr char16_t kSwitchLeavePool[] = u"LeavePoolAtUnload";             // leave a block behind
inline constexpr char16_t kSwitchLeaveRequestPending[] = u"LeaveRequestPending"; // never complete holds
// Written by the driver: DriverEntry calls so far, kept in the hive from run to run.
inline constexpr char16_t kValueLoads[] = u"Loads";

// The block a driver with "LeavePoolAtUnload" leaves behind carries this tag.
constexpr uint32_t kLeftBlockTag = 'k' << 24 | 'l' << 16 | 'T' << 8 | 'M'; // "MTlk"

// Event-log messages of the driver's table (source "MachineTest").
constexpr uint32_t kMessageLoaded = 0x40FF0001;   // "Driver %1 loaded, load %2."
constexpr uint32_t kMessageShutdown = 0x40FF0002; // "Device %2 received the shutdown request."
constexpr uint32_t kMessageSurprise = 0x40FF0003; // "Device %2 was pulled out; its first register read %3."

} // namespace machinetest
