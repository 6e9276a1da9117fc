// System threads of the driver: creation, the trampoline, and release of the thread object.
#include "kernel/systemthread.h"

#include "km/interlocked.h"
#include "km/object.h"
#include "km/status.h"

namespace {

// Marks the thread finished when the routine's frame goes, by return or by termination.
struct FinishedMark {
    volatile LONG* finished;
    ~FinishedMark() { InterlockedExchange(finished, 1); }
};

} // namespace

NTSTATUS SystemThread::Start(Routine routine, PVOID context, ACCESS_MASK access)
{
    if (m_holdsThread) {
        if (!Finished())
            return STATUS_SUCCESS;
        Release();
    }
    if (!routine)
        return STATUS_INVALID_PARAMETER;

    m_routine = routine;
    m_context = context;
    InterlockedExchange(&m_started, 0);
    InterlockedExchange(&m_finished, 0);

    NTSTATUS status = PsCreateSystemThread(&m_handle, access, nullptr, nullptr, nullptr, &ThreadStart, this);
    if (!NT_SUCCESS(status)) {
        m_handle = nullptr;
        return status;
    }
    PVOID object = nullptr;
    status = ObReferenceObjectByHandle(m_handle, access, *PsThreadType, KernelMode, &object, nullptr);
    ZwClose(m_handle);
    m_handle = nullptr;
    if (!NT_SUCCESS(status))
        return status;
    m_thread = static_cast<PKTHREAD>(object);
    m_holdsThread = true;
    return STATUS_SUCCESS;
}

void SystemThread::Release()
{
    if (m_thread)
        ObfDereferenceObject(m_thread);
    m_thread = nullptr;
    m_holdsThread = false;
}

bool SystemThread::Started() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_started), 0, 0) != 0;
}

bool SystemThread::Finished() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_finished), 0, 0) != 0;
}

VOID NTAPI SystemThread::ThreadStart(PVOID self)
{
    auto* thread = static_cast<SystemThread*>(self);
    InterlockedExchange(&thread->m_started, 1);
    FinishedMark mark{&thread->m_finished};
    thread->m_routine(thread->m_context);
}
