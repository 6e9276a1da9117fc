// SystemThread: owner of one system thread of the driver. The thread runs a trampoline that is
// given the SystemThread itself; it marks the thread started, calls the owner's routine with the
// owner's context word, and marks it finished however the routine ends (also through
// PsTerminateSystemThread). The wrapper keeps a referenced thread object, which the owner may wait
// on (it is signalled when the thread has ended) or give a priority; the creation handle is closed
// at once. The owner serialises Start and Release; the flags are read with interlocked operations
// because the thread writes them.
#pragma once
#include "km/thread.h"
#include "km/types.h"

// The access every caller asks for (THREAD_ALL_ACCESS).
inline constexpr ACCESS_MASK kSystemThreadAllAccess = 0x1F03FF;

class SystemThread {
public:
    using Routine = void (*)(PVOID context);

    SystemThread() = default;
    ~SystemThread() { Release(); }
    SystemThread(const SystemThread&) = delete;
    SystemThread& operator=(const SystemThread&) = delete;

    // Starts a thread running routine(context) and returns the creation status. While the wrapper
    // holds a thread that has not finished, it starts nothing and answers success; once that thread
    // has finished its object is released and a new thread started.
    NTSTATUS Start(Routine routine, PVOID context, ACCESS_MASK access);
    // Drops the reference on the thread object (the thread itself runs on).
    void Release();

    bool HoldsThread() const { return m_holdsThread; }
    // Null while no thread is held.
    PKTHREAD ThreadObject() const { return m_thread; }
    PVOID Context() const { return m_context; }
    bool Started() const;
    bool Finished() const;

private:
    static VOID NTAPI ThreadStart(PVOID self);

    HANDLE m_handle = nullptr; // only between creation and referencing
    PKTHREAD m_thread = nullptr;
    bool m_holdsThread = false;
    PVOID m_context = nullptr;
    Routine m_routine = nullptr;
    volatile LONG m_started = 0;
    volatile LONG m_finished = 0;
};
