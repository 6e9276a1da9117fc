// System threads and the current thread: PsCreateSystemThread, PsTerminateSystemThread,
// PsGetCurrentThread, KeGetCurrentThread, KeSetPriorityThread.
#include "KernelThread.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "km/thread.h"
#include "standin/object.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace {

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kSystemProcessId = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(4));

// The live thread object at `thread`, referenced, or null (reported) for anything else.
standin::KernelThread* ReferenceThread(PKTHREAD thread, const char* caller)
{
    standin::KernelObject* object = standin::ReferenceObjectByBody(thread);
    if (object && object->Type() == *PsThreadType)
        return standin::KernelThread::FromKThread(thread);
    if (object)
        standin::DereferenceObject(object);
    standin::VerifierReport("bad-object", std::string(caller) + " on something that is not a thread object");
    return nullptr;
}

// The hold on system thread starts (standin::HoldSystemThreadsStartedBy).
struct StartHold {
    std::mutex lock;
    std::condition_variable released;
    bool active = false;
    std::thread::id creator;
    uint64_t generation = 0; // advanced by every release
    size_t waiting = 0;
    // Injected start failures (standin::FailSystemThreadStartsBy).
    std::thread::id failingCreator;
    NTSTATUS failure = STATUS_SUCCESS;
    unsigned failures = 0;
};

StartHold& TheStartHold()
{
    static StartHold* hold = new StartHold;
    return *hold;
}

// At creation: the generation of the hold the new thread falls under, or none.
std::optional<uint64_t> HoldOfNewThread()
{
    StartHold& hold = TheStartHold();
    std::lock_guard lock(hold.lock);
    if (hold.active && hold.creator == std::this_thread::get_id())
        return hold.generation;
    return std::nullopt;
}

// At creation: the injected failure of this start, or success.
NTSTATUS InjectedStartFailure()
{
    StartHold& hold = TheStartHold();
    std::lock_guard lock(hold.lock);
    if (hold.failures == 0 || hold.failingCreator != std::this_thread::get_id())
        return STATUS_SUCCESS;
    --hold.failures;
    return hold.failure;
}

void WaitWhileHeld(std::optional<uint64_t> generation)
{
    if (!generation)
        return;
    StartHold& hold = TheStartHold();
    std::unique_lock lock(hold.lock);
    ++hold.waiting;
    hold.released.wait(lock, [&] { return hold.generation != *generation; });
    --hold.waiting;
}

} // namespace

void standin::HoldSystemThreadsStartedBy(std::thread::id creator)
{
    StartHold& hold = TheStartHold();
    std::lock_guard lock(hold.lock);
    hold.active = true;
    hold.creator = creator;
}

void standin::ReleaseHeldSystemThreads()
{
    StartHold& hold = TheStartHold();
    {
        std::lock_guard lock(hold.lock);
        hold.active = false;
        ++hold.generation;
    }
    hold.released.notify_all();
}

void standin::FailSystemThreadStartsBy(std::thread::id creator, NTSTATUS status, unsigned count)
{
    StartHold& hold = TheStartHold();
    std::lock_guard lock(hold.lock);
    hold.failingCreator = creator;
    hold.failure = status;
    hold.failures = NT_SUCCESS(status) ? 0 : count;
}

size_t standin::HeldSystemThreadCount()
{
    StartHold& hold = TheStartHold();
    std::lock_guard lock(hold.lock);
    return hold.waiting;
}

extern "C" NTSTATUS NTAPI PsCreateSystemThread(PHANDLE ThreadHandle, ULONG DesiredAccess,
                                               POBJECT_ATTRIBUTES ObjectAttributes, HANDLE ProcessHandle,
                                               PCLIENT_ID ClientId, PKSTART_ROUTINE StartRoutine,
                                               PVOID StartContext)
{
    standin::CheckIrqlAtMost("PsCreateSystemThread", PASSIVE_LEVEL);
    if (!ThreadHandle || !StartRoutine) {
        standin::VerifierReport("bad-argument",
                                "PsCreateSystemThread without a handle pointer or start routine");
        return STATUS_INVALID_PARAMETER;
    }
    if (ProcessHandle && ProcessHandle != kCurrentProcess)
        return STATUS_INVALID_HANDLE;
    if (const NTSTATUS injected = InjectedStartFailure(); !NT_SUCCESS(injected))
        return injected;

    auto* thread = standin::KernelThread::CreateSystemThread(StartRoutine, StartContext);
    HANDLE handle = nullptr;
    const ULONG attributes = ObjectAttributes ? ObjectAttributes->Attributes : 0;
    NTSTATUS status = standin::CreateHandle(thread, DesiredAccess, attributes, &handle);
    if (!NT_SUCCESS(status)) {
        standin::DereferenceObject(thread);
        return status;
    }
    thread->MarkStarted();
    try {
        std::thread([thread, held = HoldOfNewThread()] {
            WaitWhileHeld(held);
            thread->RunSystemThread();
        }).detach();
    } catch (const std::system_error&) {
        ZwClose(handle);
        thread->AbandonStart();
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    *ThreadHandle = handle;
    if (ClientId) {
        ClientId->UniqueProcess = kSystemProcessId;
        ClientId->UniqueThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(thread->Id()));
    }
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS NTAPI PsTerminateSystemThread(NTSTATUS ExitStatus)
{
    if (!standin::KernelThread::CurrentSystemThread())
        return STATUS_INVALID_PARAMETER;
    throw standin::ThreadTermination{ExitStatus};
}

extern "C" PETHREAD NTAPI PsGetCurrentThread()
{
    return standin::KernelThread::Current();
}

extern "C" PKTHREAD NTAPI KeGetCurrentThread()
{
    return standin::KernelThread::Current();
}

extern "C" KPRIORITY NTAPI KeSetPriorityThread(PKTHREAD Thread, KPRIORITY Priority)
{
    standin::CheckIrqlAtMost("KeSetPriorityThread", DISPATCH_LEVEL);
    standin::KernelThread* thread = ReferenceThread(Thread, "KeSetPriorityThread");
    if (!thread)
        return 0;
    KPRIORITY previous;
    if (Priority <= LOW_PRIORITY || Priority > HIGH_PRIORITY) {
        standin::VerifierReport("bad-argument", "KeSetPriorityThread to priority " +
                                                    std::to_string(Priority) + " outside 1 to 31");
        previous = thread->priority;
    } else {
        previous = thread->priority.exchange(Priority);
    }
    standin::DereferenceObject(thread);
    return previous;
}

namespace standin {

KPRIORITY ThreadPriority(PKTHREAD thread)
{
    KernelThread* t = ReferenceThread(thread, "ThreadPriority");
    if (!t)
        return 0;
    const KPRIORITY priority = t->priority;
    DereferenceObject(t);
    return priority;
}

NTSTATUS ThreadExitStatus(PKTHREAD thread)
{
    KernelThread* t = ReferenceThread(thread, "ThreadExitStatus");
    if (!t)
        return STATUS_INVALID_PARAMETER;
    const NTSTATUS status = t->exitStatus;
    DereferenceObject(t);
    return status;
}

} // namespace standin
