// The cancel-safe queue: a driver keeps its own queue of pending requests (its insert, remove and
// peek callbacks, under its own lock) and the I/O manager takes care of cancellation. A request in
// the queue carries a cancel routine of the I/O manager's; whoever clears that routine first (the
// cancel routine itself, IoCsqRemoveIrp or IoCsqRemoveNextIrp) owns the request, so each request
// leaves the queue exactly once and a cancelled one goes to the driver's completion callback once.
#pragma once
#include "km/irp.h"
#include "km/types.h"

struct IO_CSQ;
using PIO_CSQ = IO_CSQ*;

using PIO_CSQ_INSERT_IRP = VOID(NTAPI*)(PIO_CSQ Csq, PIRP Irp);
using PIO_CSQ_REMOVE_IRP = VOID(NTAPI*)(PIO_CSQ Csq, PIRP Irp);
// The next request after Irp (after the head when Irp is NULL) that matches PeekContext, or NULL.
using PIO_CSQ_PEEK_NEXT_IRP = PIRP(NTAPI*)(PIO_CSQ Csq, PIRP Irp, PVOID PeekContext);
using PIO_CSQ_ACQUIRE_LOCK = VOID(NTAPI*)(PIO_CSQ Csq, PKIRQL Irql);
using PIO_CSQ_RELEASE_LOCK = VOID(NTAPI*)(PIO_CSQ Csq, KIRQL Irql);
using PIO_CSQ_COMPLETE_CANCELED_IRP = VOID(NTAPI*)(PIO_CSQ Csq, PIRP Irp);

#define IO_TYPE_CSQ_IRP_CONTEXT 1
#define IO_TYPE_CSQ 2

// The queue's callbacks; the driver embeds it in its own queue record and finds that record from
// the IO_CSQ pointer the callbacks receive.
struct IO_CSQ {
    ULONG Type; // IO_TYPE_CSQ
    PIO_CSQ_INSERT_IRP CsqInsertIrp;
    PIO_CSQ_REMOVE_IRP CsqRemoveIrp;
    PIO_CSQ_PEEK_NEXT_IRP CsqPeekNextIrp;
    PIO_CSQ_ACQUIRE_LOCK CsqAcquireLock;
    PIO_CSQ_RELEASE_LOCK CsqReleaseLock;
    PIO_CSQ_COMPLETE_CANCELED_IRP CsqCompleteCanceledIrp;
    PVOID ReservePointer;
};

// Pairs a queued request with a record of the driver's: Irp is the request while it is queued and
// NULL once it was cancelled or taken. The context must live until the request leaves the queue
// (not on the stack of a dispatch routine that returns STATUS_PENDING).
struct IO_CSQ_IRP_CONTEXT {
    ULONG Type; // IO_TYPE_CSQ_IRP_CONTEXT
    PIRP Irp;
    PIO_CSQ Csq;
};
using PIO_CSQ_IRP_CONTEXT = IO_CSQ_IRP_CONTEXT*;

extern "C" {
// Fills Csq with the six callbacks. Every callback is required: a missing one is a breach
// ("bad-argument") and STATUS_INVALID_PARAMETER.
NTSTATUS NTAPI IoCsqInitialize(PIO_CSQ Csq, PIO_CSQ_INSERT_IRP CsqInsertIrp, PIO_CSQ_REMOVE_IRP CsqRemoveIrp,
                               PIO_CSQ_PEEK_NEXT_IRP CsqPeekNextIrp, PIO_CSQ_ACQUIRE_LOCK CsqAcquireLock,
                               PIO_CSQ_RELEASE_LOCK CsqReleaseLock,
                               PIO_CSQ_COMPLETE_CANCELED_IRP CsqCompleteCanceledIrp);
// Under the queue's lock: pairs Context (may be NULL) with the request (Irp's
// Tail.Overlay.DriverContext[3] names the context, or the queue without one), inserts it, marks it
// pending and sets the cancel routine. A request already cancelled is taken out again and handed to
// CsqCompleteCanceledIrp once the lock is released.
VOID NTAPI IoCsqInsertIrp(PIO_CSQ Csq, PIRP Irp, PIO_CSQ_IRP_CONTEXT Context);
// Takes the context's request out of the queue and returns it, or NULL when it was cancelled
// (or is being cancelled) or already taken.
PIRP NTAPI IoCsqRemoveIrp(PIO_CSQ Csq, PIO_CSQ_IRP_CONTEXT Context);
// Takes the first request the peek callback finds for PeekContext (NULL: the driver's choice),
// passing over those being cancelled; NULL when there is none.
PIRP NTAPI IoCsqRemoveNextIrp(PIO_CSQ Csq, PVOID PeekContext);
}
