// Completing requests: IofCompleteRequest's walk up the stack with the completion routines, and the
// I/O manager's finish of the requests it built (copy-back, status block, buffers, MDLs, event).
#include "IrpTable.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/verifier.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace standin {
namespace {

bool ShouldInvoke(const IO_STACK_LOCATION& location, const IRP& irp)
{
    const NTSTATUS status = irp.IoStatus.Status;
    return (NT_SUCCESS(status) && (location.Control & SL_INVOKE_ON_SUCCESS)) ||
           (!NT_SUCCESS(status) && (location.Control & SL_INVOKE_ON_ERROR)) ||
           (irp.Cancel && (location.Control & SL_INVOKE_ON_CANCEL));
}

void ZeroLocation(PIO_STACK_LOCATION location)
{
    location->MinorFunction = 0;
    location->Flags = 0;
    location->Control = 0;
    location->Parameters.Others = {};
    location->FileObject = nullptr;
    location->CompletionRoutine = nullptr;
    location->Context = nullptr;
}

// Walks from the current location up to the top. Returns false when a completion routine kept the
// IRP (STATUS_MORE_PROCESSING_REQUIRED).
bool WalkCompletionRoutines(PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    for (irp->CurrentLocation++, irp->Tail.Overlay.CurrentStackLocation++;
         irp->CurrentLocation <= irp->StackCount + 1;
         location++, irp->CurrentLocation++, irp->Tail.Overlay.CurrentStackLocation++) {
        irp->PendingReturned = (location->Control & SL_PENDING_RETURNED) != 0;
        if (location->CompletionRoutine && ShouldInvoke(*location, *irp)) {
            PIO_COMPLETION_ROUTINE routine = location->CompletionRoutine;
            PVOID context = location->Context;
            ZeroLocation(location);
            // The routine belongs to the driver of the location above; the originator of the
            // request, above the top, has no device object.
            PDEVICE_OBJECT device = irp->CurrentLocation == irp->StackCount + 1
                                        ? nullptr
                                        : IoGetCurrentIrpStackLocation(irp)->DeviceObject;
            if (routine(device, irp, context) == STATUS_MORE_PROCESSING_REQUIRED)
                return false;
        } else {
            if (irp->CurrentLocation <= irp->StackCount && irp->PendingReturned)
                IoMarkIrpPending(irp);
            ZeroLocation(location);
        }
    }
    return true;
}

void FreeMdlChain(PIRP irp)
{
    PMDL mdl = irp->MdlAddress;
    irp->MdlAddress = nullptr;
    while (mdl) {
        PMDL next = mdl->Next;
        if (mdl->MdlFlags & MDL_PAGES_LOCKED)
            MmUnlockPages(mdl);
        IoFreeMdl(mdl);
        mdl = next;
    }
}

} // namespace

void FinishIoManagerRequest(IrpRecord* record)
{
    PIRP irp = record->irp;
    const NTSTATUS status = irp->IoStatus.Status;
    // A driver may not claim more than the caller's buffer holds; the caller is told what fitted.
    const bool bounded = (irp->Flags & IRP_INPUT_OPERATION) || irp->MdlAddress;
    if (bounded && irp->IoStatus.Information > record->outputLength) {
        VerifierReport("irp-completion", "IRP " + PointerText(irp) + " completed with Information " +
                                             std::to_string(irp->IoStatus.Information) +
                                             " for an output buffer of " +
                                             std::to_string(record->outputLength) + " bytes");
        irp->IoStatus.Information = record->outputLength;
    }
    if (irp->Flags & IRP_BUFFERED_IO) {
        if ((irp->Flags & IRP_INPUT_OPERATION) && !NT_ERROR(status) && irp->UserBuffer &&
            irp->AssociatedIrp.SystemBuffer)
            std::memcpy(irp->UserBuffer, irp->AssociatedIrp.SystemBuffer, irp->IoStatus.Information);
        if (irp->Flags & IRP_DEALLOCATE_BUFFER)
            std::free(irp->AssociatedIrp.SystemBuffer);
        irp->AssociatedIrp.SystemBuffer = nullptr;
    }
    FreeMdlChain(irp);
    if (irp->UserIosb)
        *irp->UserIosb = irp->IoStatus;
    if (record->onFinish)
        record->onFinish(irp);
    PKEVENT event = irp->UserEvent;
    RetireIrp(record);
    // The waiter may return the moment the event is set: nothing of its may be touched after.
    if (event)
        KeSetEvent(event, IO_NO_INCREMENT, FALSE);
}

} // namespace standin

extern "C" VOID NTAPI IofCompleteRequest(PIRP Irp, CCHAR)
{
    using namespace standin;
    CheckIrqlAtMost("IofCompleteRequest", DISPATCH_LEVEL);
    IrpRecord* record = LookupIrp(Irp);
    if (!record) {
        VerifierReport("irp-completion", CallText("IofCompleteRequest", Irp) +
                                             ", which is not a live IRP (completed after the I/O manager "
                                             "finished it, or never allocated)");
        return;
    }
    if (record->completing.exchange(true)) {
        VerifierReport("irp-completion",
                       CallText("IofCompleteRequest", Irp) + ", which is already completed");
        ReleaseIrp(record);
        return;
    }
    if (Irp->IoStatus.Status == STATUS_PENDING) {
        VerifierReport("irp-completion", CallText("IofCompleteRequest", Irp) + " with status STATUS_PENDING");
    }
    if (IoSetCancelRoutine(Irp, nullptr)) {
        VerifierReport("irp-completion",
                       CallText("IofCompleteRequest", Irp) + " with its cancel routine still set");
    }
    if (Irp->CurrentLocation > Irp->StackCount) {
        VerifierReport("irp-completion", CallText("IofCompleteRequest", Irp) +
                                             ", which no driver holds (completed already, or never sent)");
        record->completing.store(false);
        ReleaseIrp(record);
        return;
    }
    if (!WalkCompletionRoutines(Irp)) {
        // A routine took the IRP back; its owner may complete it again.
        record->completing.store(false);
    } else if (record->origin == IrpOrigin::IoManager) {
        FinishIoManagerRequest(record);
    } else {
        VerifierReport("irp-completion", "IRP " + PointerText(Irp) +
                                             " from IoAllocateIrp completed to the top without a completion "
                                             "routine that keeps it; its owner must still free it");
    }
    ReleaseIrp(record);
}
