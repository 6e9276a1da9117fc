// CreateThread and the calls on threads: each runs as a system thread of the kernel side, whose
// routine runs the caller's and ends the thread object with its result.
#include "km/irp.h"
#include "km/object.h"
#include "km/status.h"
#include "km/thread.h"
#include "modules/LoadedModules.h"
#include "standin/system.h"
#include "standin/verifier.h"
#include "sync/UserThreads.h"
#include "um/errhandlingapi.h"
#include "um/processthreadsapi.h"
#include "um/synchapi.h"
#include "um/winerror.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::mutex g_lock;
// The records of threads whose handle is open or that still run, by thread object.
std::map<PVOID, std::shared_ptr<user::UserThread>> g_threads;

std::atomic<DWORD> g_nextId{4};
thread_local DWORD t_id = 0;
thread_local std::shared_ptr<user::UserThread> t_self;

std::shared_ptr<user::UserThread> FindLocked(PVOID threadObject)
{
    const auto found = g_threads.find(threadObject);
    return found == g_threads.end() ? nullptr : found->second;
}

// The thread object of a user handle, referenced; null (ERROR_INVALID_HANDLE set) for anything else.
PVOID ReferenceThread(HANDLE handle)
{
    PVOID thread = nullptr;
    if (!NT_SUCCESS(ObReferenceObjectByHandle(handle, 0, *PsThreadType, UserMode, &thread, nullptr))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return thread;
}

// Records how the thread ended; its record goes once its handle has closed too.
DWORD End(user::UserThread& self, DWORD code)
{
    std::lock_guard<std::mutex> hold(g_lock);
    self.ended = true;
    self.exitCode = self.terminated ? self.terminateCode : code;
    if (!self.handleOpen)
        g_threads.erase(self.thread);
    return self.exitCode;
}

VOID NTAPI RunUserThread(PVOID context)
{
    auto* handedOver = static_cast<std::shared_ptr<user::UserThread>*>(context);
    t_self = std::move(*handedOver);
    delete handedOver;
    user::UserThread& self = *t_self;
    t_id = self.id;
    // The loaded modules hear of the thread on it, before its routine and as it ends, whichever
    // way it ends.
    user::NotifyModulesOfThread(true);
    struct DetachNotice {
        ~DetachNotice() { user::NotifyModulesOfThread(false); }
    } detachNotice;
    DWORD code = 0;
    try {
        user::UnwindIfTerminated();
        code = self.routine(self.parameter);
    } catch (const standin::ThreadTermination& termination) {
        user::EndMessageQueue();
        // A code TerminateThread set first wins over ExitThread's, on both sides.
        const DWORD final = End(self, static_cast<DWORD>(termination.status));
        t_self.reset();
        throw standin::ThreadTermination{static_cast<NTSTATUS>(final)};
    } catch (...) {
        // The kernel side reports the exception and ends the thread with STATUS_UNSUCCESSFUL.
        user::EndMessageQueue();
        End(self, static_cast<DWORD>(STATUS_UNSUCCESSFUL));
        t_self.reset();
        throw;
    }
    user::EndMessageQueue();
    const DWORD final = End(self, code);
    t_self.reset();
    // The thread object ends with the exit code as its status.
    throw standin::ThreadTermination{static_cast<NTSTATUS>(final)};
}

} // namespace

namespace user {

UserThread* CurrentUserThread()
{
    return t_self.get();
}

void UnwindIfTerminated()
{
    UserThread* self = t_self.get();
    if (!self)
        return;
    DWORD code = 0;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!self->terminated)
            return;
        code = self->terminateCode;
    }
    throw standin::ThreadTermination{static_cast<NTSTATUS>(code)};
}

void ThreadHandleClosing(PVOID threadObject)
{
    std::lock_guard<std::mutex> hold(g_lock);
    const auto record = FindLocked(threadObject);
    if (!record)
        return;
    record->handleOpen = false;
    if (record->ended)
        g_threads.erase(threadObject);
}

} // namespace user

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                                      LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (dwCreationFlags) {
        const DWORD known = CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION;
        SetLastError((dwCreationFlags & ~known) ? ERROR_INVALID_PARAMETER : ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto record = std::make_shared<user::UserThread>();
    record->routine = lpStartAddress;
    record->parameter = lpParameter;
    record->id = g_nextId.fetch_add(4);
    KeInitializeEvent(&record->terminate, NotificationEvent, FALSE);

    auto* handedOver = new std::shared_ptr<user::UserThread>(record);
    HANDLE handle = nullptr;
    // The lock keeps the new thread from ending before its record is listed.
    std::unique_lock<std::mutex> hold(g_lock);
    const NTSTATUS status =
        PsCreateSystemThread(&handle, 0x1FFFFF, nullptr, nullptr, nullptr, RunUserThread, handedOver);
    if (!NT_SUCCESS(status)) {
        hold.unlock();
        delete handedOver;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    PVOID thread = nullptr;
    ObReferenceObjectByHandle(handle, 0, *PsThreadType, UserMode, &thread, nullptr);
    record->thread = static_cast<PKTHREAD>(thread);
    g_threads[thread] = record;
    hold.unlock();
    ObDereferenceObject(thread);
    if (lpThreadId)
        *lpThreadId = record->id;
    return handle;
}

extern "C" VOID WINAPI ExitThread(DWORD dwExitCode)
{
    if (!t_self) {
        standin::VerifierReport("exit-thread", "ExitThread on thread " + std::to_string(GetCurrentThreadId()) +
                                                   ", which CreateThread did not start");
        return;
    }
    throw standin::ThreadTermination{static_cast<NTSTATUS>(dwExitCode)};
}

extern "C" BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    PVOID thread = ReferenceThread(hThread);
    if (!thread)
        return FALSE;
    if (!lpExitCode) {
        ObDereferenceObject(thread);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (const auto record = FindLocked(thread)) {
            *lpExitCode = record->terminated ? record->terminateCode
                                             : (record->ended ? record->exitCode : STILL_ACTIVE);
            ObDereferenceObject(thread);
            return TRUE;
        }
    }
    // A thread the kernel side started: its status, STATUS_PENDING (STILL_ACTIVE) while it runs.
    *lpExitCode = static_cast<DWORD>(standin::ThreadExitStatus(static_cast<PKTHREAD>(thread)));
    ObDereferenceObject(thread);
    return TRUE;
}

extern "C" DWORD WINAPI GetCurrentThreadId()
{
    if (!t_id)
        t_id = g_nextId.fetch_add(4);
    return t_id;
}

extern "C" BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode)
{
    PVOID thread = ReferenceThread(hThread);
    if (!thread)
        return FALSE;
    std::shared_ptr<user::UserThread> record;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        record = FindLocked(thread);
        if (record && !record->ended && !record->terminated) {
            record->terminated = true;
            record->terminateCode = dwExitCode;
        }
    }
    ObDereferenceObject(thread);
    if (!record) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    standin::VerifierReport("terminate-thread", "TerminateThread of thread " + std::to_string(record->id) +
                                                    " with exit code " + std::to_string(dwExitCode) +
                                                    ": it unwinds at its next wait");
    KeSetEvent(&record->terminate, IO_NO_INCREMENT, FALSE);
    if (record.get() == t_self.get())
        user::UnwindIfTerminated();
    return TRUE;
}

extern "C" VOID WINAPI Sleep(DWORD dwMilliseconds)
{
    user::UnwindIfTerminated();
    if (dwMilliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    LARGE_INTEGER interval{};
    interval.QuadPart = -static_cast<LONGLONG>(dwMilliseconds) * 10000;
    PLARGE_INTEGER timeout = dwMilliseconds == INFINITE ? nullptr : &interval;
    if (user::UserThread* self = user::CurrentUserThread()) {
        // Sleeping on the thread's own termination event lets TerminateThread end the sleep.
        KeWaitForSingleObject(&self->terminate, UserRequest, UserMode, FALSE, timeout);
        user::UnwindIfTerminated();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        KEVENT never;
        KeInitializeEvent(&never, NotificationEvent, FALSE);
        KeWaitForSingleObject(&never, UserRequest, UserMode, FALSE, nullptr);
        return;
    }
    KeDelayExecutionThread(UserMode, FALSE, &interval);
}
