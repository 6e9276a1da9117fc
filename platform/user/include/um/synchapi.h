// Unnamed event objects for applications: made with CreateEvent, signalled by SetEvent (or by a
// driver given the handle in an event-enable record), waited on with WaitForSingleObject, closed
// with CloseHandle.
#pragma once
#include "um/minwinbase.h"
#include "um/windef.h"

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

extern "C" {
// A manual-reset or auto-reset event; NULL with ERROR_NOT_SUPPORTED for a named event.
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName);
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName);
// FALSE with ERROR_INVALID_HANDLE for a handle that is not a user handle of an event.
BOOL WINAPI SetEvent(HANDLE hEvent);
BOOL WINAPI ResetEvent(HANDLE hEvent);
// WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED with ERROR_INVALID_HANDLE. Events only.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
}
#define CreateEvent CreateEventW
