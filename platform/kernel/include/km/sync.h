// Dispatcher objects and waits: notification and synchronization events, recursive mutexes, and the
// wait and delay functions that block on them and on time. The objects live in the caller's memory
// and own nothing else: their state, including the list of blocked waiters (whose records sit on
// the waiters' stacks), is in the structure, guarded by one process-wide dispatcher lock.
// Every time-out runs on the process clock (platform/Clock.h).
#pragma once
#include "km/types.h"

using CCHAR = char;
using KPROCESSOR_MODE = CCHAR;
enum MODE { KernelMode, UserMode, MaximumMode };

enum KWAIT_REASON {
    Executive,
    FreePage,
    PageIn,
    PoolAllocation,
    DelayExecution,
    Suspended,
    UserRequest,
    WrExecutive,
};

enum EVENT_TYPE { NotificationEvent, SynchronizationEvent };

// Kernel object kinds (DISPATCHER_HEADER::Type, KDPC::Type).
enum KOBJECTS {
    EventNotificationObject = 0,
    EventSynchronizationObject = 1,
    MutantObject = 2,
    ThreadObject = 6,
    DpcObject = 19,
};

// Common head of every waitable object. Type and Size say what the object is; Signature marks an
// initialised object, so that waiting on something that is not one is reported instead of obeyed.
// The waiters are a doubly linked list of wait records on the waiters' stacks.
struct DISPATCHER_HEADER {
    UCHAR Type;
    UCHAR Signature;
    UCHAR Size; // object size in 32-bit units
    UCHAR Reserved;
    LONG SignalState;
    PVOID WaitListFirst;
    PVOID WaitListLast;
};
static_assert(sizeof(DISPATCHER_HEADER) == 24);

struct KEVENT {
    DISPATCHER_HEADER Header;
};
using PKEVENT = KEVENT*;
using PRKEVENT = KEVENT*;
static_assert(sizeof(KEVENT) == 24);

struct KTHREAD;
using PKTHREAD = KTHREAD*;
using PRKTHREAD = KTHREAD*;

// A recursive mutex. Header.SignalState is 1 when free and 1 - n while its owner holds it n times.
struct KMUTEX {
    DISPATCHER_HEADER Header;
    ULONG Level; // as given to KeInitializeMutex; kept, not enforced
    ULONG Reserved1;
    PVOID Reserved2;
    PKTHREAD OwnerThread;
    BOOLEAN Abandoned;
    UCHAR ApcDisable;
};
using PKMUTEX = KMUTEX*;
using PRKMUTEX = KMUTEX*;
static_assert(sizeof(KMUTEX) == 56);

extern "C" {
VOID NTAPI KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State);
// Signals the event and returns its previous state. A synchronization event with waiters releases
// the first of them and stays not signalled; a notification event releases every waiter.
// Increment and Wait are accepted and have no effect here.
LONG NTAPI KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait);
// Sets the event to not signalled; KeResetEvent also returns the previous state.
VOID NTAPI KeClearEvent(PRKEVENT Event);
LONG NTAPI KeResetEvent(PRKEVENT Event);
LONG NTAPI KeReadStateEvent(PRKEVENT Event);

// Level is kept but not enforced.
VOID NTAPI KeInitializeMutex(PRKMUTEX Mutex, ULONG Level);
// Releases one level of ownership and returns the previous signal state (0 when this release frees
// it). A release by a thread that does not own the mutex is a breach and changes nothing.
LONG NTAPI KeReleaseMutex(PRKMUTEX Mutex, BOOLEAN Wait);

// Waits on an event, a mutex or a thread. Timeout: NULL waits without end, 0 only tests, a negative
// value is an interval relative to now, a positive one an absolute system time (100-ns units).
// Returns STATUS_SUCCESS (STATUS_WAIT_0) when the object was signalled (a synchronization event is
// reset, a mutex is taken) and STATUS_TIMEOUT otherwise. A wait that may block at DISPATCH_LEVEL or
// above is a breach and does not block. There are no alerts or APCs here: Alertable and WaitMode
// change nothing.
NTSTATUS NTAPI KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                                     BOOLEAN Alertable, PLARGE_INTEGER Timeout);

// Sleeps for a relative (negative) interval or until an absolute (positive) system time, in 100-ns
// units; returns STATUS_SUCCESS. At DISPATCH_LEVEL or above it is a breach and returns at once.
NTSTATUS NTAPI KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable, PLARGE_INTEGER Interval);
}

