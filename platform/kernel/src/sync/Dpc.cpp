// The DPC functions: KeInitializeDpc, KeInsertQueueDpc, KeRemoveQueueDpc, KeFlushQueuedDpcs.
#include "DpcQueue.h"
#include "Reports.h"
#include "km/dpc.h"
#include "km/irql.h"
#include "standin/verifier.h"

#include <string>

extern "C" VOID NTAPI KeInitializeDpc(PRKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext)
{
    if (!Dpc || !DeferredRoutine) {
        standin::VerifierReport("bad-argument", "KeInitializeDpc without a DPC or routine");
        return;
    }
    standin::DpcQueue::Instance().Initialize(Dpc, DeferredRoutine, DeferredContext);
}

extern "C" BOOLEAN NTAPI KeInsertQueueDpc(PRKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2)
{
    return standin::DpcQueue::Instance().Insert(Dpc, SystemArgument1, SystemArgument2) ? TRUE : FALSE;
}

extern "C" BOOLEAN NTAPI KeRemoveQueueDpc(PRKDPC Dpc)
{
    return standin::DpcQueue::Instance().Remove(Dpc) ? TRUE : FALSE;
}

extern "C" VOID NTAPI KeFlushQueuedDpcs()
{
    standin::CheckIrqlAtMost("KeFlushQueuedDpcs", PASSIVE_LEVEL);
    standin::DpcQueue::Instance().Flush();
}
