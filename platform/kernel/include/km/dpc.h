// Deferred procedure calls. A KDPC lives in the caller's memory; queued DPCs run one at a time, in
// the order they were queued, on the stand-in's one DPC thread at DISPATCH_LEVEL.
#pragma once
#include "km/sync.h"
#include "km/types.h"

struct KDPC;
using PKDPC = KDPC*;
using PRKDPC = KDPC*;

using PKDEFERRED_ROUTINE = VOID(NTAPI*)(KDPC* Dpc, PVOID DeferredContext, PVOID SystemArgument1,
                                        PVOID SystemArgument2);

struct KDPC {
    UCHAR Type; // DpcObject once initialised
    UCHAR Importance;
    USHORT Number;
    ULONG Signature;     // marks an initialised DPC
    KDPC* DpcListEntry;  // next in the queue
    ULONG64 QueueTicket; // order of queueing, for KeFlushQueuedDpcs
    PKDEFERRED_ROUTINE DeferredRoutine;
    PVOID DeferredContext;
    PVOID SystemArgument1;
    PVOID SystemArgument2;
    PVOID DpcData; // non-null while queued
};
static_assert(sizeof(KDPC) == 64);

extern "C" {
VOID NTAPI KeInitializeDpc(PRKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext);
// Queues the DPC with the two arguments and returns TRUE; returns FALSE, changing nothing, when it
// is already queued. Callable at any IRQL. A DPC is taken off the queue before its routine runs,
// so the routine may queue it again.
BOOLEAN NTAPI KeInsertQueueDpc(PRKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2);
// Takes a queued DPC off the queue (TRUE), or returns FALSE when it was not queued.
BOOLEAN NTAPI KeRemoveQueueDpc(PRKDPC Dpc);
// Returns once every DPC queued before the call has run or been removed. PASSIVE_LEVEL only.
VOID NTAPI KeFlushQueuedDpcs();
}
