// Synchronisation for applications: unnamed events (made with CreateEvent, signalled by SetEvent or
// by a driver given the handle in an event-enable record), waits on events and threads, Sleep, and
// critical sections. Waits run on the kernel side's waits: time-outs are on the machine's clock and
// expire at its timer tick.
#pragma once
#include "um/minwinbase.h"
#include "um/windef.h"

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED_0 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#ifndef MAXIMUM_WAIT_OBJECTS
#define MAXIMUM_WAIT_OBJECTS 64
#endif

extern "C" {
// A manual-reset or auto-reset event; NULL with ERROR_NOT_SUPPORTED for a named event.
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName);
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName);
// FALSE with ERROR_INVALID_HANDLE for a handle that is not a user handle of an event.
BOOL WINAPI SetEvent(HANDLE hEvent);
BOOL WINAPI ResetEvent(HANDLE hEvent);

// Waits on an event or a thread (signalled when it ends): WAIT_OBJECT_0, WAIT_TIMEOUT, or
// WAIT_FAILED with ERROR_INVALID_HANDLE for a handle that is neither. A wait on an auto-reset event
// resets it. A thread that TerminateThread named leaves its wait here by unwinding (see
// um/processthreadsapi.h).
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// Waits until any one of nCount (1 to 64) events or threads is signalled: WAIT_OBJECT_0 + i of the
// lowest signalled one, or WAIT_TIMEOUT. WAIT_FAILED with ERROR_INVALID_PARAMETER for a count out of
// range or no array, ERROR_INVALID_HANDLE when one handle is neither, ERROR_NOT_SUPPORTED for
// bWaitAll TRUE.
DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);
// Sleeps on the machine's clock; 0 gives up the rest of the time slice.
VOID WINAPI Sleep(DWORD dwMilliseconds);

// Critical sections: recursive locks of one process. Misuse is a verifier breach under rule
// "critical-section" and changes nothing: entering, leaving or deleting one never initialised (or
// already deleted), leaving one the caller does not hold, deleting one that is held (the section
// then stays). A section not deleted is reported by the leak check "critical-sections".
VOID WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
VOID WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
// TRUE when the caller now holds the section (once more if it held it already), FALSE when another
// thread holds it.
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
VOID WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
VOID WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
}
#define CreateEvent CreateEventW
