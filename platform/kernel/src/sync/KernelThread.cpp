// Thread objects: creation, the life of a system thread, the end-of-thread checks, and the leak
// check of system threads still running.
#include "KernelThread.h"

#include "Dispatcher.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/object.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <exception>

namespace standin {

namespace {

OBJECT_TYPE g_threadType{"Thread"};

std::atomic<ULONG> g_nextThreadId{4};

thread_local KernelThread* t_systemThread = nullptr;

// The object of a thread the stand-in did not start; it ends with the host thread.
struct ForeignThread {
    KernelThread* thread = nullptr;
    ~ForeignThread()
    {
        if (thread) {
            thread->Finish(STATUS_SUCCESS);
            DereferenceObjectOwn(thread);
        }
    }
};
thread_local ForeignThread t_foreignThread;

} // namespace

POBJECT_TYPE g_threadTypePointer = &g_threadType;

} // namespace standin

POBJECT_TYPE* PsThreadType = &standin::g_threadTypePointer;

namespace standin {

KernelThread::KernelThread(PKSTART_ROUTINE routine, PVOID context)
    : KernelObject(&g_threadType), exitStatus(STATUS_PENDING), id_(g_nextThreadId.fetch_add(4)),
      routine_(routine), context_(context)
{
    std::lock_guard<std::mutex> hold(Dispatcher::Instance().Lock());
    Dispatcher::InitializeHeader(&Header, ThreadObject, sizeof(KTHREAD), 0);
}

std::string KernelThread::Describe() const
{
    std::string text = "Thread " + HexText(id_);
    if (routine_)
        text += " (system thread, routine " + PointerText(reinterpret_cast<const void*>(routine_)) + ")";
    return text;
}

KernelThread* KernelThread::Current()
{
    if (t_systemThread)
        return t_systemThread;
    if (!t_foreignThread.thread) {
        auto* thread = new KernelThread(nullptr, nullptr);
        InsertObject(thread);
        ReferenceObjectOwn(thread);
        DereferenceObject(thread);
        t_foreignThread.thread = thread;
    }
    return t_foreignThread.thread;
}

KernelThread* KernelThread::CurrentSystemThread()
{
    return t_systemThread;
}

KernelThread* KernelThread::CreateSystemThread(PKSTART_ROUTINE routine, PVOID context)
{
    auto* thread = new KernelThread(routine, context);
    InsertObject(thread);
    return thread;
}

std::mutex& KernelThread::RunningLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::set<KernelThread*>& KernelThread::Running()
{
    static auto* running = [] {
        VerifierRegisterLeakCheck("system-threads", [] { return RunningSystemThreads(); });
        return new std::set<KernelThread*>;
    }();
    return *running;
}

void KernelThread::MarkStarted()
{
    ReferenceObjectOwn(this);
    DereferenceObject(this);
    std::lock_guard<std::mutex> hold(RunningLock());
    Running().insert(this);
}

void KernelThread::AbandonStart()
{
    {
        std::lock_guard<std::mutex> hold(RunningLock());
        Running().erase(this);
    }
    DereferenceObjectOwn(this);
}

void KernelThread::RunSystemThread()
{
    t_systemThread = this;
    NTSTATUS status = STATUS_SUCCESS;
    try {
        routine_(context_);
    } catch (const ThreadTermination& termination) {
        status = termination.status;
    } catch (const std::exception& e) {
        VerifierReport("unhandled-exception",
                       Describe() + " ended by an exception it did not handle: " + e.what());
        status = STATUS_UNSUCCESSFUL;
    } catch (...) {
        VerifierReport("unhandled-exception", Describe() + " ended by an exception it did not handle");
        status = STATUS_UNSUCCESSFUL;
    }
    const KIRQL irql = KeGetCurrentIrql();
    if (irql != PASSIVE_LEVEL) {
        VerifierReport("thread-exit-irql", Describe() + " ended at IRQL " + std::to_string(irql));
        SetCurrentIrql(PASSIVE_LEVEL);
    }
    Finish(status);
    t_systemThread = nullptr;
    DereferenceObjectOwn(this);
}

void KernelThread::Finish(NTSTATUS status)
{
    // Off the running list before waiters wake, so that whoever waited on the thread finds it ended.
    if (IsSystem()) {
        std::lock_guard<std::mutex> hold(RunningLock());
        Running().erase(this);
    }
    exitStatus = status;
    auto& dispatcher = Dispatcher::Instance();
    std::vector<KMUTEX*> abandoned;
    {
        std::lock_guard<std::mutex> hold(dispatcher.Lock());
        abandoned.swap(heldMutexes);
        // Releasing what the thread still holds keeps the mutexes' waiters from waiting forever.
        for (KMUTEX* mutex : abandoned) {
            mutex->OwnerThread = nullptr;
            mutex->Header.SignalState = 1;
            dispatcher.SatisfyWaiters(&mutex->Header);
        }
    }
    // Reported before the thread object is signalled, so that whoever waits for the end sees it.
    for (KMUTEX* mutex : abandoned)
        VerifierReport("thread-exit-mutex", Describe() + " ended holding mutex " + PointerText(mutex));
    std::lock_guard<std::mutex> hold(dispatcher.Lock());
    Header.SignalState = 1;
    dispatcher.SatisfyWaiters(&Header);
}

std::vector<std::string> KernelThread::RunningSystemThreads()
{
    std::lock_guard<std::mutex> hold(RunningLock());
    std::vector<std::string> lines;
    for (KernelThread* thread : Running())
        lines.push_back(thread->Describe() + " still running");
    return lines;
}

} // namespace standin
