// Device-control requests: how the I/O manager passes a caller's buffers to the driver by the
// control code's transfer method, for IoBuildDeviceIoControlRequest and for user-mode requests.
#include "IoRequests.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "km/thread.h"
#include "standin/devicefile.h"
#include "standin/verifier.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace standin {

IrpRecord* BuildDeviceControlIrp(const DeviceControlParameters& p)
{
    IrpRecord* record = AllocateIrpRecord(p.target->StackSize, IrpOrigin::IoManager);
    if (!record)
        return nullptr;
    PIRP irp = record->irp;
    irp->RequestorMode = p.requestorMode;
    irp->Flags = IRP_SYNCHRONOUS_API;
    irp->Tail.Overlay.Thread = PsGetCurrentThread();
    irp->Tail.Overlay.OriginalFileObject = p.fileObject;
    irp->UserBuffer = p.outputBuffer;
    record->outputLength = p.outputBufferLength;

    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = p.internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    next->FileObject = p.fileObject;
    next->Parameters.DeviceIoControl.IoControlCode = p.ioControlCode;
    next->Parameters.DeviceIoControl.InputBufferLength = p.inputBufferLength;
    next->Parameters.DeviceIoControl.OutputBufferLength = p.outputBufferLength;

    bool built = true;
    switch (METHOD_FROM_CTL_CODE(p.ioControlCode)) {
    case METHOD_BUFFERED: {
        const ULONG length = std::max(p.inputBufferLength, p.outputBufferLength);
        if (length) {
            // Zeroed beyond the input, so a driver that returns more than it wrote leaks nothing.
            void* buffer = std::calloc(length, 1);
            built = buffer != nullptr;
            if (buffer && p.inputBufferLength)
                std::memcpy(buffer, p.inputBuffer, p.inputBufferLength);
            irp->AssociatedIrp.SystemBuffer = buffer;
            irp->Flags |= IRP_BUFFERED_IO | IRP_DEALLOCATE_BUFFER;
            if (p.outputBufferLength)
                irp->Flags |= IRP_INPUT_OPERATION;
        }
        break;
    }
    case METHOD_IN_DIRECT:
    case METHOD_OUT_DIRECT:
        if (p.inputBufferLength) {
            void* buffer = std::malloc(p.inputBufferLength);
            built = buffer != nullptr;
            if (buffer)
                std::memcpy(buffer, p.inputBuffer, p.inputBufferLength);
            irp->AssociatedIrp.SystemBuffer = buffer;
            irp->Flags |= IRP_BUFFERED_IO | IRP_DEALLOCATE_BUFFER;
        }
        if (built && p.outputBufferLength) {
            PMDL mdl = IoAllocateMdl(p.outputBuffer, p.outputBufferLength, FALSE, FALSE, irp);
            if (mdl)
                MmProbeAndLockPages(
                    mdl, p.requestorMode,
                    METHOD_FROM_CTL_CODE(p.ioControlCode) == METHOD_IN_DIRECT ? IoReadAccess : IoWriteAccess);
            built = mdl != nullptr;
        }
        break;
    case METHOD_NEITHER:
        next->Parameters.DeviceIoControl.Type3InputBuffer = p.inputBuffer;
        break;
    }
    if (!built) {
        if (irp->Flags & IRP_DEALLOCATE_BUFFER)
            std::free(irp->AssociatedIrp.SystemBuffer);
        if (PMDL mdl = irp->MdlAddress) {
            MmUnlockPages(mdl);
            IoFreeMdl(mdl);
        }
        RetireIrp(record);
        return nullptr;
    }
    return record;
}

IO_STATUS_BLOCK SendAndWait(PDEVICE_OBJECT target, IrpRecord* record, const std::function<void()>& dispatched)
{
    KEVENT finished{};
    KeInitializeEvent(&finished, NotificationEvent, FALSE);
    IO_STATUS_BLOCK result{};
    PIRP irp = record->irp;
    irp->UserEvent = &finished;
    irp->UserIosb = &result;
    const UCHAR major = IoGetNextIrpStackLocation(irp)->MajorFunction;
    const NTSTATUS returned = IoCallDriver(target, irp);
    if (returned != STATUS_PENDING && !KeReadStateEvent(&finished))
        VerifierReport("irp-completion", "the dispatch routine of " + MajorFunctionName(major) + " for " +
                                             PointerText(target) + " returned " + StatusText(returned) +
                                             " without completing the request");
    if (dispatched)
        dispatched();
    KeWaitForSingleObject(&finished, Executive, KernelMode, FALSE, nullptr);
    return result;
}

IO_STATUS_BLOCK CallDriverAndWait(PDEVICE_OBJECT target, const IO_STACK_LOCATION& request,
                                  NTSTATUS initialStatus)
{
    CheckIrqlAtMost("CallDriverAndWait", PASSIVE_LEVEL);
    IrpRecord* record = target ? AllocateIrpRecord(target->StackSize, IrpOrigin::IoManager) : nullptr;
    if (!record)
        return {{target ? STATUS_INSUFFICIENT_RESOURCES : STATUS_INVALID_PARAMETER}, 0};
    PIRP irp = record->irp;
    irp->IoStatus.Status = initialStatus;
    irp->RequestorMode = KernelMode;
    irp->Flags = IRP_SYNCHRONOUS_API;
    irp->Tail.Overlay.Thread = PsGetCurrentThread();
    irp->Tail.Overlay.OriginalFileObject = request.FileObject;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    *next = request;
    next->Control = 0;
    next->CompletionRoutine = nullptr;
    next->Context = nullptr;
    next->DeviceObject = nullptr;
    return SendAndWait(target, record);
}

} // namespace standin

extern "C" PIRP NTAPI IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject,
                                                    PVOID InputBuffer, ULONG InputBufferLength,
                                                    PVOID OutputBuffer, ULONG OutputBufferLength,
                                                    BOOLEAN InternalDeviceIoControl, PKEVENT Event,
                                                    PIO_STATUS_BLOCK IoStatusBlock)
{
    using namespace standin;
    CheckIrqlAtMost("IoBuildDeviceIoControlRequest", PASSIVE_LEVEL);
    if (!DeviceObject || (!InputBuffer && InputBufferLength) || (!OutputBuffer && OutputBufferLength)) {
        VerifierReport("bad-argument", "IoBuildDeviceIoControlRequest for " + PointerText(DeviceObject) +
                                           " with a missing device or buffer");
        return nullptr;
    }
    DeviceControlParameters parameters;
    parameters.ioControlCode = IoControlCode;
    parameters.target = DeviceObject;
    parameters.inputBuffer = InputBuffer;
    parameters.inputBufferLength = InputBufferLength;
    parameters.outputBuffer = OutputBuffer;
    parameters.outputBufferLength = OutputBufferLength;
    parameters.internal = InternalDeviceIoControl != FALSE;
    IrpRecord* record = BuildDeviceControlIrp(parameters);
    if (!record)
        return nullptr;
    record->irp->UserEvent = Event;
    record->irp->UserIosb = IoStatusBlock;
    return record->irp;
}
