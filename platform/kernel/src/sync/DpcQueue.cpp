// The DPC queue: first in, first out; a DPC leaves the queue before its routine runs, so it can be
// queued again at once; KeFlushQueuedDpcs waits by ticket for the DPCs queued before it.
#include "DpcQueue.h"

#include "Reports.h"
#include "km/irql.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <exception>

namespace standin {

namespace {
constexpr ULONG kDpcSignature = 0x43504453; // "SDPC"

std::string RoutineText(PKDEFERRED_ROUTINE routine)
{
    return "DPC routine " + PointerText(reinterpret_cast<const void*>(routine));
}
} // namespace

DpcQueue::DpcQueue()
{
    VerifierRegisterLeakCheck("dpc-queue", [this] { return Queued(); });
}

DpcQueue& DpcQueue::Instance()
{
    static DpcQueue* queue = new DpcQueue; // never destroyed: its thread runs until the process ends
    return *queue;
}

bool DpcQueue::IsInitialised(const KDPC* dpc)
{
    return dpc && dpc->Type == DpcObject && dpc->Signature == kDpcSignature && dpc->DeferredRoutine;
}

void DpcQueue::Initialize(KDPC* dpc, PKDEFERRED_ROUTINE routine, PVOID context)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!IsInitialised(dpc) || !dpc->DpcData) {
            dpc->Type = DpcObject;
            dpc->Importance = 1; // medium
            dpc->Number = 0;
            dpc->Signature = kDpcSignature;
            dpc->DpcListEntry = nullptr;
            dpc->QueueTicket = 0;
            dpc->DeferredRoutine = routine;
            dpc->DeferredContext = context;
            dpc->SystemArgument1 = nullptr;
            dpc->SystemArgument2 = nullptr;
            dpc->DpcData = nullptr;
            return;
        }
    }
    VerifierReport("reinitialise",
                   CallText("KeInitializeDpc", dpc) + " while it is queued; it was left as it was");
}

bool DpcQueue::Insert(KDPC* dpc, PVOID argument1, PVOID argument2)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!IsInitialised(dpc)) {
        VerifierReport("bad-object", CallText("KeInsertQueueDpc", dpc) + ", which is not an initialised DPC");
        return false;
    }
    if (dpc->DpcData)
        return false;
    dpc->SystemArgument1 = argument1;
    dpc->SystemArgument2 = argument2;
    dpc->QueueTicket = ++lastTicket_;
    dpc->DpcListEntry = nullptr;
    dpc->DpcData = this;
    if (tail_)
        tail_->DpcListEntry = dpc;
    else
        head_ = dpc;
    tail_ = dpc;
    if (!threadStarted_) {
        std::thread thread([this] { Run(); });
        threadId_ = thread.get_id();
        thread.detach();
        threadStarted_ = true;
    }
    work_.notify_one();
    return true;
}

bool DpcQueue::Remove(KDPC* dpc)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!IsInitialised(dpc)) {
        VerifierReport("bad-object", CallText("KeRemoveQueueDpc", dpc) + ", which is not an initialised DPC");
        return false;
    }
    if (!dpc->DpcData)
        return false;
    KDPC* previous = nullptr;
    for (KDPC* d = head_; d != dpc; d = d->DpcListEntry)
        previous = d;
    (previous ? previous->DpcListEntry : head_) = dpc->DpcListEntry;
    if (tail_ == dpc)
        tail_ = previous;
    dpc->DpcListEntry = nullptr;
    dpc->DpcData = nullptr;
    progress_.notify_all();
    return true;
}

void DpcQueue::Flush()
{
    std::unique_lock<std::mutex> hold(lock_);
    if (threadStarted_ && std::this_thread::get_id() == threadId_)
        return; // a DPC waiting for itself would never return; the IRQL check has reported it
    const uint64_t target = lastTicket_;
    progress_.wait(hold, [&] {
        return (!head_ || head_->QueueTicket > target) && (runningTicket_ == 0 || runningTicket_ > target);
    });
}

std::vector<std::string> DpcQueue::Queued()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> lines;
    for (KDPC* d = head_; d; d = d->DpcListEntry)
        lines.push_back("DPC " + PointerText(d) + " (routine " +
                        PointerText(reinterpret_cast<const void*>(d->DeferredRoutine)) + ") still queued");
    return lines;
}

void DpcQueue::Run()
{
    SetCurrentIrql(DISPATCH_LEVEL);
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        work_.wait(hold, [this] { return head_ != nullptr; });
        KDPC* dpc = head_;
        head_ = dpc->DpcListEntry;
        if (!head_)
            tail_ = nullptr;
        dpc->DpcListEntry = nullptr;
        dpc->DpcData = nullptr;
        runningTicket_ = dpc->QueueTicket;
        const PKDEFERRED_ROUTINE routine = dpc->DeferredRoutine;
        const PVOID context = dpc->DeferredContext;
        const PVOID argument1 = dpc->SystemArgument1;
        const PVOID argument2 = dpc->SystemArgument2;
        hold.unlock();

        // The routine may free the KDPC; it is not touched again.
        try {
            routine(dpc, context, argument1, argument2);
        } catch (...) {
            VerifierReport("unhandled-exception",
                           RoutineText(routine) + " ended by an exception it did not handle");
        }
        const KIRQL irql = KeGetCurrentIrql();
        if (irql != DISPATCH_LEVEL) {
            VerifierReport("irql", RoutineText(routine) + " returned at IRQL " + std::to_string(irql) +
                                       " instead of DISPATCH_LEVEL");
            SetCurrentIrql(DISPATCH_LEVEL);
        }

        hold.lock();
        runningTicket_ = 0;
        progress_.notify_all();
    }
}

} // namespace standin
