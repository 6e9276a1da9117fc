// Cancellation: IoCancelIrp and the cancel spin lock that serialises cancel routines with the
// queues of drivers.
#include "IrpTable.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/spinlock.h"
#include "standin/verifier.h"

namespace {

KSPIN_LOCK& CancelLock()
{
    static KSPIN_LOCK* lock = [] {
        auto* l = new KSPIN_LOCK;
        KeInitializeSpinLock(l);
        return l;
    }();
    return *lock;
}

} // namespace

namespace standin {

BOOLEAN CancelIrpRecord(IrpRecord* record)
{
    PIRP irp = record->irp;
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    // A driver may look at the flag without the cancel lock (IoCsqInsertIrp does, just after
    // installing its routine): stored atomically, before the routine is taken.
    __atomic_store_n(&irp->Cancel, static_cast<BOOLEAN>(TRUE), __ATOMIC_SEQ_CST);
    PDRIVER_CANCEL routine = IoSetCancelRoutine(irp, nullptr);
    if (!routine) {
        IoReleaseCancelSpinLock(irql);
        return FALSE;
    }
    // A routine is set only by a driver that holds the IRP, so the current location is a real one.
    irp->CancelIrql = irql;
    routine(IoGetCurrentIrpStackLocation(irp)->DeviceObject, irp);
    return TRUE;
}

} // namespace standin

extern "C" BOOLEAN NTAPI IoCancelIrp(PIRP Irp)
{
    using namespace standin;
    CheckIrqlAtMost("IoCancelIrp", DISPATCH_LEVEL);
    IrpRecord* record = LookupIrp(Irp);
    if (!record) {
        VerifierReport("bad-object", CallText("IoCancelIrp", Irp) + ", which is not a live IRP");
        return FALSE;
    }
    const BOOLEAN called = CancelIrpRecord(record);
    ReleaseIrp(record);
    return called;
}

extern "C" VOID NTAPI IoAcquireCancelSpinLock(PKIRQL Irql)
{
    KeAcquireSpinLock(&CancelLock(), Irql);
}

extern "C" VOID NTAPI IoReleaseCancelSpinLock(KIRQL Irql)
{
    KeReleaseSpinLock(&CancelLock(), Irql);
}
