// IoConnectInterrupt and IoDisconnectInterrupt: the checks of their arguments, and the count of
// interrupt threads for tests.
#include "InterruptConnections.h"
#include "Reports.h"
#include "km/interrupt.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/system.h"

extern "C" NTSTATUS NTAPI IoConnectInterrupt(PKINTERRUPT* InterruptObject, PKSERVICE_ROUTINE ServiceRoutine,
                                             PVOID ServiceContext, PKSPIN_LOCK SpinLock, ULONG Vector,
                                             KIRQL Irql, KIRQL SynchronizeIrql, KINTERRUPT_MODE InterruptMode,
                                             BOOLEAN ShareVector, KAFFINITY ProcessorEnableMask,
                                             BOOLEAN FloatingSave)
{
    standin::CheckIrqlAtMost("IoConnectInterrupt", PASSIVE_LEVEL);
    if (!InterruptObject || !ServiceRoutine)
        return STATUS_INVALID_PARAMETER;
    // A device interrupts above the levels at which threads and DPCs run.
    if (Irql <= DISPATCH_LEVEL || Irql > HIGH_LEVEL || SynchronizeIrql < Irql || SynchronizeIrql > HIGH_LEVEL)
        return STATUS_INVALID_PARAMETER;
    // The bus's lines are all level-triggered; an edge-triggered connection would not match its line.
    if (InterruptMode != LevelSensitive)
        return STATUS_INVALID_PARAMETER;
    if (ProcessorEnableMask == 0)
        return STATUS_INVALID_PARAMETER;
    const standin::InterruptConnections::Request request{.routine = ServiceRoutine,
                                                         .context = ServiceContext,
                                                         .spinLock = SpinLock,
                                                         .vector = Vector,
                                                         .irql = Irql,
                                                         .synchronizeIrql = SynchronizeIrql,
                                                         .mode = InterruptMode,
                                                         .share = ShareVector != FALSE,
                                                         .affinity = ProcessorEnableMask,
                                                         .floatingSave = FloatingSave != FALSE};
    return standin::InterruptConnections::Instance().Connect(request, InterruptObject);
}

extern "C" VOID NTAPI IoDisconnectInterrupt(PKINTERRUPT InterruptObject)
{
    standin::InterruptConnections::Instance().Disconnect(InterruptObject);
}

namespace standin {
size_t InterruptThreadCount()
{
    return InterruptThread::Count();
}
} // namespace standin
