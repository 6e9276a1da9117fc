// The cancel-safe queue: IoCsqInitialize, IoCsqInsertIrp, IoCsqRemoveIrp, IoCsqRemoveNextIrp and
// the cancel routine they install. The race between cancellation and removal is decided by who
// clears the request's cancel routine first; the loser leaves the request alone.
#include "Reports.h"
#include "km/csq.h"
#include "km/irql.h"
#include "standin/verifier.h"

#include <string>

namespace {

// DriverContext[3] of a queued request: its context, or the queue when it has none. Both records
// start with their type.
PVOID& QueueLink(PIRP irp)
{
    return irp->Tail.Overlay.DriverContext[3];
}

PIO_CSQ_IRP_CONTEXT ContextOf(PIRP irp)
{
    PVOID link = QueueLink(irp);
    return link && *static_cast<ULONG*>(link) == IO_TYPE_CSQ_IRP_CONTEXT ? static_cast<PIO_CSQ_IRP_CONTEXT>(link)
                                                                         : nullptr;
}

PIO_CSQ QueueOf(PIRP irp)
{
    PVOID link = QueueLink(irp);
    if (!link)
        return nullptr;
    if (auto* context = ContextOf(irp))
        return context->Csq;
    return *static_cast<ULONG*>(link) == IO_TYPE_CSQ ? static_cast<PIO_CSQ>(link) : nullptr;
}

// Unpairs a request that left the queue. The queue's lock is held.
void Unpair(PIRP irp)
{
    if (auto* context = ContextOf(irp))
        context->Irp = nullptr;
    QueueLink(irp) = nullptr;
}

bool IsQueue(const char* function, PIO_CSQ csq)
{
    if (csq && csq->Type == IO_TYPE_CSQ)
        return true;
    standin::VerifierReport("bad-object",
                            standin::CallText(function, csq) + ", which is not an initialised cancel-safe queue");
    return false;
}

VOID NTAPI CancelQueuedIrp(PDEVICE_OBJECT, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    PIO_CSQ csq = QueueOf(irp);
    if (!csq) {
        standin::VerifierReport("bad-object", standin::CallText("the cancel-safe queue's cancel routine", irp) +
                                                  ", whose queue link was overwritten; the request was left");
        return;
    }
    KIRQL irql;
    csq->CsqAcquireLock(csq, &irql);
    csq->CsqRemoveIrp(csq, irp);
    Unpair(irp);
    csq->CsqReleaseLock(csq, irql);
    csq->CsqCompleteCanceledIrp(csq, irp);
}

} // namespace

extern "C" NTSTATUS NTAPI IoCsqInitialize(PIO_CSQ Csq, PIO_CSQ_INSERT_IRP CsqInsertIrp,
                                          PIO_CSQ_REMOVE_IRP CsqRemoveIrp, PIO_CSQ_PEEK_NEXT_IRP CsqPeekNextIrp,
                                          PIO_CSQ_ACQUIRE_LOCK CsqAcquireLock, PIO_CSQ_RELEASE_LOCK CsqReleaseLock,
                                          PIO_CSQ_COMPLETE_CANCELED_IRP CsqCompleteCanceledIrp)
{
    if (!Csq || !CsqInsertIrp || !CsqRemoveIrp || !CsqPeekNextIrp || !CsqAcquireLock || !CsqReleaseLock ||
        !CsqCompleteCanceledIrp) {
        standin::VerifierReport("bad-argument", standin::CallText("IoCsqInitialize", Csq) +
                                                    " without a queue or one of its six callbacks");
        return STATUS_INVALID_PARAMETER;
    }
    Csq->Type = IO_TYPE_CSQ;
    Csq->CsqInsertIrp = CsqInsertIrp;
    Csq->CsqRemoveIrp = CsqRemoveIrp;
    Csq->CsqPeekNextIrp = CsqPeekNextIrp;
    Csq->CsqAcquireLock = CsqAcquireLock;
    Csq->CsqReleaseLock = CsqReleaseLock;
    Csq->CsqCompleteCanceledIrp = CsqCompleteCanceledIrp;
    Csq->ReservePointer = nullptr;
    return STATUS_SUCCESS;
}

extern "C" VOID NTAPI IoCsqInsertIrp(PIO_CSQ Csq, PIRP Irp, PIO_CSQ_IRP_CONTEXT Context)
{
    if (!IsQueue("IoCsqInsertIrp", Csq))
        return;
    if (!Irp) {
        standin::VerifierReport("bad-argument", "IoCsqInsertIrp without a request");
        return;
    }
    if (Context) {
        Context->Type = IO_TYPE_CSQ_IRP_CONTEXT;
        Context->Irp = Irp;
        Context->Csq = Csq;
        QueueLink(Irp) = Context;
    } else {
        QueueLink(Irp) = Csq;
    }
    KIRQL irql;
    Csq->CsqAcquireLock(Csq, &irql);
    Csq->CsqInsertIrp(Csq, Irp);
    IoMarkIrpPending(Irp);
    IoSetCancelRoutine(Irp, CancelQueuedIrp);
    // Cancelled before the routine was in place: whoever clears it now owns the request. Getting
    // NULL back means the cancel routine is already on its way and will take it out.
    if (__atomic_load_n(&Irp->Cancel, __ATOMIC_SEQ_CST) && IoSetCancelRoutine(Irp, nullptr)) {
        Csq->CsqRemoveIrp(Csq, Irp);
        Unpair(Irp);
        Csq->CsqReleaseLock(Csq, irql);
        Csq->CsqCompleteCanceledIrp(Csq, Irp);
        return;
    }
    Csq->CsqReleaseLock(Csq, irql);
}

extern "C" PIRP NTAPI IoCsqRemoveIrp(PIO_CSQ Csq, PIO_CSQ_IRP_CONTEXT Context)
{
    if (!IsQueue("IoCsqRemoveIrp", Csq))
        return nullptr;
    if (!Context) {
        standin::VerifierReport("bad-argument", "IoCsqRemoveIrp without a context");
        return nullptr;
    }
    KIRQL irql;
    Csq->CsqAcquireLock(Csq, &irql);
    PIRP irp = Context->Irp;
    if (irp) {
        if (IoSetCancelRoutine(irp, nullptr)) {
            Csq->CsqRemoveIrp(Csq, irp);
            Unpair(irp);
        } else {
            irp = nullptr; // being cancelled: the cancel routine takes it out
        }
    }
    Csq->CsqReleaseLock(Csq, irql);
    return irp;
}

extern "C" PIRP NTAPI IoCsqRemoveNextIrp(PIO_CSQ Csq, PVOID PeekContext)
{
    if (!IsQueue("IoCsqRemoveNextIrp", Csq))
        return nullptr;
    KIRQL irql;
    Csq->CsqAcquireLock(Csq, &irql);
    PIRP irp = Csq->CsqPeekNextIrp(Csq, nullptr, PeekContext);
    while (irp && !IoSetCancelRoutine(irp, nullptr))
        irp = Csq->CsqPeekNextIrp(Csq, irp, PeekContext);
    if (irp) {
        Csq->CsqRemoveIrp(Csq, irp);
        Unpair(irp);
    }
    Csq->CsqReleaseLock(Csq, irql);
    return irp;
}
