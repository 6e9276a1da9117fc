// The machine's test driver: a small plug and play function driver that the machine's tests load,
// plug devices into and talk to from user mode. It records what it is given (resources, requests)
// and can be made to misbehave through its registry switches. Its data are plain zero-initialised
// globals, so that a freshly mapped image starts from nothing.
#pragma once
#include "MachineTestProtocol.h"
#include "km/hal.h"
#include "km/kernel.h"
#include "km/mm.h"

namespace machinetest {

constexpr ULONG kPoolTag = 'v' << 24 | 'r' << 16 | 'D' << 8 | 'M'; // "MDrv"
constexpr ULONG kMaximumWorkers = 16;

struct Switches {
    NTSTATUS failDriverEntry;
    NTSTATUS failStart;
    ULONG vetoStop;
    ULONG vetoRemove;
    ULONG leavePool;
    ULONG leaveRequestPending;
};

// The system threads that complete pended requests; DriverUnload waits for every one of them, so
// that none runs in an image that is gone.
struct Workers {
    KSPIN_LOCK lock;
    PETHREAD threads[kMaximumWorkers];
};

struct Globals {
    PDRIVER_OBJECT driver;
    ULONG loadGeneration;
    ULONG devicesAdded;
    Switches switches;
    Workers workers;
};
extern Globals g_driver;

struct DeviceExtension {
    PDEVICE_OBJECT self;
    PDEVICE_OBJECT lower;
    PDEVICE_OBJECT physical;
    UNICODE_STRING interfaceName; // from IoRegisterDeviceInterface
    BOOLEAN interfaceEnabled;
    BOOLEAN started;
    MachineTestState state;
    PVOID mapped[kMaximumRanges];
    SIZE_T mappedLength[kMaximumRanges];
    PKINTERRUPT interrupt;
    KSPIN_LOCK holdLock;
    PIRP held;
};

// DriverEntry.cpp
NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical);
VOID NTAPI Unload(PDRIVER_OBJECT driver);
// Writes one event-log entry for `ioObject` with the inserts %2 and %3 (as decimal numbers; a
// negative `second` leaves %3 out).
void LogEvent(PVOID ioObject, ULONG messageId, ULONG first, LONGLONG second = -1);

// Pnp.cpp
NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp);

// Requests.cpp
NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchShutdown(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp);
// Completes a held request with `status` (the device is going).
void ReleaseHeld(DeviceExtension* extension, NTSTATUS status);
// Waits until no worker thread runs.
void WaitForWorkers();

} // namespace machinetest
