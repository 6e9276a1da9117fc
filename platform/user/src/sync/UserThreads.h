// The user side's record of each thread CreateThread started: what TerminateThread asked of it and
// how it ended, found by its kernel thread object, and the calling thread's own record.
#pragma once
#include "km/sync.h"
#include "km/thread.h"
#include "um/windef.h"

#include <atomic>
#include <memory>

namespace user {

struct UserThread {
    DWORD (*routine)(LPVOID) = nullptr;
    LPVOID parameter = nullptr;
    DWORD id = 0;
    PKTHREAD thread = nullptr;
    // Signalled by TerminateThread; every wait of the thread's own waits on it too.
    KEVENT terminate{};
    // Guarded by the records' lock.
    bool terminated = false;
    DWORD terminateCode = 0;
    bool ended = false;
    DWORD exitCode = 0;
    bool handleOpen = true;
};

// The calling thread's record; null on threads CreateThread did not start.
UserThread* CurrentUserThread();
// Unwinds the calling thread (standin::ThreadTermination) when TerminateThread named it.
void UnwindIfTerminated();
// CloseHandle's notice that the handle of a thread object is closing.
void ThreadHandleClosing(PVOID threadObject);
// The calling thread's message queue ends as the thread does: its windows go without messages and
// threads waiting on its SendMessage get 0 (windows/WindowManager.cpp). Never throws.
void EndMessageQueue();

} // namespace user
