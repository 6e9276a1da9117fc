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

// How KeWaitForMultipleObjects is satisfied: by every object at once, or by any one of them.
enum WAIT_TYPE { WaitAll, WaitAny };

// How many objects a thread can wait on with its own wait blocks, and at most in one wait.
#define THREAD_WAIT_OBJECTS 3
#define MAXIMUM_WAIT_OBJECTS 64

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

// One object's entry in a wait: linked into the object's list of waiters while the thread waits.
// KeWaitForMultipleObjects uses the caller's array of them for more than THREAD_WAIT_OBJECTS
// objects; the array must stay untouched until the wait returns.
struct KWAIT_BLOCK {
    KWAIT_BLOCK* WaitListPrev;
    KWAIT_BLOCK* WaitListNext;
    PKTHREAD Thread;
    PVOID Object;
    USHORT WaitKey; // the object's index in the wait
    UCHAR WaitType; // WAIT_TYPE
    UCHAR BlockState;
    ULONG Reserved;
};
using PKWAIT_BLOCK = KWAIT_BLOCK*;
using PRKWAIT_BLOCK = KWAIT_BLOCK*;
static_assert(sizeof(KWAIT_BLOCK) == 40);

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
// A time-out expires at the timer tick: at the first multiple, on the process clock, of the timer
// resolution in effect when the wait began (ExSetTimerResolution, km/time.h) at or after the
// deadline; a deadline already reached only tests. A signal ends the wait at once.
// Returns STATUS_SUCCESS (STATUS_WAIT_0) when the object was signalled (a synchronization event is
// reset, a mutex is taken) and STATUS_TIMEOUT otherwise. A wait that may block at DISPATCH_LEVEL or
// above is a breach and does not block. There are no alerts or APCs here: Alertable and WaitMode
// change nothing.
NTSTATUS NTAPI KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                                     BOOLEAN Alertable, PLARGE_INTEGER Timeout);

// Waits on Count (1 to MAXIMUM_WAIT_OBJECTS) events, mutexes or threads. WaitAny: returns
// STATUS_WAIT_0 + n for the lowest-indexed object that satisfies the wait, and takes only that one
// (a synchronization event is reset, a mutex taken). WaitAll: returns STATUS_SUCCESS once every
// object satisfies it at the same moment, and takes them all at once, none before. Timeout and the
// IRQL rule as KeWaitForSingleObject; STATUS_TIMEOUT when it expires. WaitBlockArray may be NULL
// for up to THREAD_WAIT_OBJECTS objects (the thread's own blocks serve); otherwise it has Count
// entries. Count 0, above MAXIMUM_WAIT_OBJECTS, above THREAD_WAIT_OBJECTS without wait blocks, or
// an object named twice in a WaitAll is a breach ("bad-argument") and STATUS_INVALID_PARAMETER.
NTSTATUS NTAPI KeWaitForMultipleObjects(ULONG Count, PVOID Object[], WAIT_TYPE WaitType, KWAIT_REASON WaitReason,
                                        KPROCESSOR_MODE WaitMode, BOOLEAN Alertable, PLARGE_INTEGER Timeout,
                                        PKWAIT_BLOCK WaitBlockArray);

// Sleeps for a relative (negative) interval or until an absolute (positive) system time, in 100-ns
// units; returns STATUS_SUCCESS. The sleep ends at the timer tick, as a wait's time-out does.
// At DISPATCH_LEVEL or above it is a breach and returns at once.
NTSTATUS NTAPI KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable, PLARGE_INTEGER Interval);
}

