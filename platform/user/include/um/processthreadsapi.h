// Threads of applications: each is a host thread with a kernel thread object behind its user handle,
// so that waits, the verifier's end-of-test check of running threads and the kernel's view of it
// agree.
#pragma once
#include "um/minwinbase.h"
#include "um/windef.h"

// GetExitCodeThread's answer while the thread runs (a thread that returns 259 cannot be told apart).
#define STILL_ACTIVE 259L
#define CREATE_SUSPENDED 0x00000004UL
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000UL

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID lpThreadParameter);

extern "C" {
// Starts lpStartAddress(lpParameter) at once on a new thread and returns a handle to it (close it
// with CloseHandle; the thread runs on). dwStackSize and the security attributes are not used.
// NULL with ERROR_INVALID_PARAMETER without a start address, ERROR_NOT_SUPPORTED for
// CREATE_SUSPENDED or STACK_SIZE_PARAM_IS_A_RESERVATION, ERROR_INVALID_PARAMETER for other flags.
// A thread still running when a test ends is a leak.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId);
// Ends the calling thread with dwExitCode by unwinding it (destructors run; a handler that catches
// everything must rethrow standin::ThreadTermination). Only threads of CreateThread can end so;
// called on another thread it is a verifier breach under rule "exit-thread" and returns.
VOID WINAPI ExitThread(DWORD dwExitCode);
// STILL_ACTIVE while the thread runs, then its exit code (what its routine returned, ExitThread's or
// TerminateThread's code). FALSE with ERROR_INVALID_HANDLE for a handle that is not a thread's, and
// ERROR_INVALID_PARAMETER without lpExitCode.
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// The calling thread's id: a multiple of 4, unique while the process runs, the one CreateThread
// gave for it.
DWORD WINAPI GetCurrentThreadId();
// A host thread cannot be stopped from outside at once. The call sets the exit code (what
// GetExitCodeThread answers from then on) and makes the thread unwind, as ExitThread would, at its
// next wait or sleep of this user side (at once when it is blocked in
// one); its handle is signalled when it has unwound. Every call is a verifier breach under rule
// "terminate-thread", because Windows' TerminateThread leaves what the thread held in an unknown
// state. A thread that has ended already keeps its code. FALSE with ERROR_INVALID_HANDLE for a handle
// that is not a thread's, ERROR_NOT_SUPPORTED for a thread that CreateThread did not start.
BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode);
}
