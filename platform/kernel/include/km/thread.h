// Threads: system threads that run a driver routine on a real thread at PASSIVE_LEVEL, the thread
// objects every thread has (the test's own threads included), and their priorities. A thread
// object is a dispatcher object that becomes signalled when its thread ends.
#pragma once
#include "km/object.h"
#include "km/sync.h"
#include "km/types.h"

// The waitable head of a thread object; the rest of it is the stand-in's own.
struct KTHREAD {
    DISPATCHER_HEADER Header;
};
// The executive's view of the same object; both pointers name one object.
struct ETHREAD : KTHREAD {};
using PETHREAD = ETHREAD*;

struct CLIENT_ID {
    HANDLE UniqueProcess;
    HANDLE UniqueThread;
};
using PCLIENT_ID = CLIENT_ID*;

using PKSTART_ROUTINE = VOID(NTAPI*)(PVOID StartContext);

#define LOW_PRIORITY 0
#define LOW_REALTIME_PRIORITY 16
#define HIGH_PRIORITY 31

extern "C" {
// Starts StartRoutine(StartContext) on a new thread at PASSIVE_LEVEL and returns a handle to its
// thread object. ProcessHandle must be NULL or the current process ((HANDLE)-1). ClientId, when
// given, receives the process and thread ids. Must be called at PASSIVE_LEVEL.
NTSTATUS NTAPI PsCreateSystemThread(PHANDLE ThreadHandle, ULONG DesiredAccess,
                                    POBJECT_ATTRIBUTES ObjectAttributes, HANDLE ProcessHandle,
                                    PCLIENT_ID ClientId, PKSTART_ROUTINE StartRoutine, PVOID StartContext);
// Ends the calling system thread with ExitStatus; does not return. Called from any other thread it
// returns STATUS_INVALID_PARAMETER. The routine's frames are unwound, so its destructors run; a
// handler that catches everything must rethrow standin::ThreadTermination.
NTSTATUS NTAPI PsTerminateSystemThread(NTSTATUS ExitStatus);
// The calling thread's object; threads the stand-in did not start get one on first use.
PETHREAD NTAPI PsGetCurrentThread();
PKTHREAD NTAPI KeGetCurrentThread();
// Records the thread's priority (1 to 31; system threads start at 8) and returns the previous one.
// The host scheduler is not told.
KPRIORITY NTAPI KeSetPriorityThread(PKTHREAD Thread, KPRIORITY Priority);
}

