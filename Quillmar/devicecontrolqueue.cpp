// Device: the device-control dispatch and the private requests' cancel-safe queue. The sixteen
// private codes are queued with the queue context of a fresh command record and served by that
// record on a system thread of its own (commandhandlerrequests.cpp); everything else goes on to the
// kernel-streaming framework's handler. Private requests are taken while the device is started. At
// stop and removal queued requests complete as cancelled and the requests being handled are waited
// for before the board is given up; the threads still waiting for a late DSP answer after that.
#include "device.h"

#include "km/kernel.h"
#include "tracelogger.h"
#include "tracescope.h"

void Device::InitializeIrpQueue()
{
    m_irpQueue.device = this;
    InitializeListHead(&m_irpQueue.head);
    KeInitializeSpinLock(&m_irpQueue.lock);
    IoCsqInitialize(&m_irpQueue.csq, &Device::InsertIrpIntoIrpQueue, &Device::RemoveIrpFromIrpQueue,
                    &Device::PeekNextIrpInIrpQueue, &Device::AcquireIrpQueueLock, &Device::ReleaseIrpQueueLock,
                    &Device::CompleteCanceledIrp);
    KeInitializeSpinLock(&m_requestThreadLock);
    m_acceptingRequests = false;
    m_requestThreads = 0;
    m_requestsOnBoard = 0;
    KeInitializeEvent(&m_requestThreadsIdle, NotificationEvent, TRUE);
    KeInitializeEvent(&m_requestsOffBoard, NotificationEvent, TRUE);
}

bool Device::IsPrivateRequestCode(ULONG code)
{
    switch (code) {
    case CommandHandler::kIoctlGetDspMemoryInfo:
    case CommandHandler::kIoctlReadDspMemory:
    case CommandHandler::kIoctlWriteDspMemory:
    case CommandHandler::kIoctlReadDspRegister:
    case CommandHandler::kIoctlWriteDspRegister:
    case CommandHandler::kIoctlWaitForDspInterrupt:
    case CommandHandler::kIoctlReadFpgaRegister:
    case CommandHandler::kIoctlWriteFpgaRegister:
    case CommandHandler::kIoctlUnused807:
    case CommandHandler::kIoctlResetDsp:
    case CommandHandler::kIoctlAllocateMemory:
    case CommandHandler::kIoctlFreeMemory:
    case CommandHandler::kIoctlDspCopyMemory:
    case CommandHandler::kIoctlReadDspEeprom:
    case CommandHandler::kIoctlWriteDspEeprom:
    case CommandHandler::kIoctlReadDeviceConfig:
        return true;
    default:
        return false;
    }
}

NTSTATUS Device::DispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    TRACE_SCOPE(this, "Device::DispatchDeviceControl", kTraceEnter);
    const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
    TRACE_LINE(this, "Device::DispatchDeviceControl", kTraceLows,
               "pIrpStack->Parameters.DeviceIoControl.IoControlCode=0x%08x", code);
    if (!IsPrivateRequestCode(code)) {
        PDRIVER_DISPATCH next = m_driver != nullptr ? m_driver->GetSavedDeviceControlDispatch() : nullptr;
        if (next != nullptr)
            return next(deviceObject, irp);
        irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
        irp->IoStatus.Information = 0;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_INVALID_DEVICE_REQUEST;
    }

    // Counted first, so that a stop from here on waits for this request; refused while the device
    // is not started.
    if (!RequestThreadStarting()) {
        TRACE_LINE(this, "Device::DispatchDeviceControl", kTraceErrors, "Request 0x%08x while the device is stopped",
                   code);
        irp->IoStatus.Status = STATUS_DEVICE_NOT_READY;
        irp->IoStatus.Information = 0;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_DEVICE_NOT_READY;
    }
    // The record next: its own queue context goes with the request, so that the context lives as
    // long as the request may be in the queue.
    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr) {
        TRACE_LINE(this, "Device::DispatchDeviceControl", kTraceErrors, "No command record for request 0x%08x", code);
        RequestLeftBoard();
        RequestThreadEnded();
        irp->IoStatus.Status = STATUS_INSUFFICIENT_RESOURCES;
        irp->IoStatus.Information = 0;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    IoCsqInsertIrp(&m_irpQueue.csq, irp, handler->QueueContext());
    const NTSTATUS status = handler->ProcessIOCTL();
    if (!NT_SUCCESS(status)) {
        // Nobody will take it: out of the queue again (unless a cancel has it already) and
        // completed with the failure.
        if (PIRP queued = IoCsqRemoveIrp(&m_irpQueue.csq, handler->QueueContext())) {
            queued->IoStatus.Status = status;
            queued->IoStatus.Information = 0;
            IofCompleteRequest(queued, IO_NO_INCREMENT);
        }
        FreeCommandHandler(handler);
        RequestLeftBoard();
        RequestThreadEnded();
    }
    return STATUS_PENDING;
}

// ---- The queue's callbacks ----------------------------------------------------------------------

VOID NTAPI Device::InsertIrpIntoIrpQueue(PIO_CSQ csq, PIRP irp)
{
    InsertTailList(&FromCsq(csq)->head, &irp->Tail.Overlay.ListEntry);
}

VOID NTAPI Device::RemoveIrpFromIrpQueue(PIO_CSQ csq, PIRP irp)
{
    (void)csq;
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
}

PIRP NTAPI Device::PeekNextIrpInIrpQueue(PIO_CSQ csq, PIRP irp, PVOID peekContext)
{
    PLIST_ENTRY head = &FromCsq(csq)->head;
    for (PLIST_ENTRY entry = irp != nullptr ? irp->Tail.Overlay.ListEntry.Flink : head->Flink; entry != head;
         entry = entry->Flink) {
        PIRP next = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (peekContext == nullptr || IoGetCurrentIrpStackLocation(next)->FileObject == peekContext)
            return next;
    }
    return nullptr;
}

VOID NTAPI Device::AcquireIrpQueueLock(PIO_CSQ csq, PKIRQL irql)
{
    KeAcquireSpinLock(&FromCsq(csq)->lock, irql);
}

VOID NTAPI Device::ReleaseIrpQueueLock(PIO_CSQ csq, KIRQL irql)
{
    KeReleaseSpinLock(&FromCsq(csq)->lock, irql);
}

VOID NTAPI Device::CompleteCanceledIrp(PIO_CSQ csq, PIRP irp)
{
    (void)csq;
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
}

// ---- The request threads ----------------------------------------------------------------------

bool Device::RequestThreadStarting()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_requestThreadLock, &irql);
    const bool accepted = m_acceptingRequests;
    if (accepted) {
        if (m_requestThreads++ == 0)
            KeClearEvent(&m_requestThreadsIdle);
        if (m_requestsOnBoard++ == 0)
            KeClearEvent(&m_requestsOffBoard);
    }
    KeReleaseSpinLock(&m_requestThreadLock, irql);
    return accepted;
}

void Device::RequestLeftBoard()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_requestThreadLock, &irql);
    if (m_requestsOnBoard != 0 && --m_requestsOnBoard == 0)
        KeSetEvent(&m_requestsOffBoard, IO_NO_INCREMENT, FALSE);
    KeReleaseSpinLock(&m_requestThreadLock, irql);
}

void Device::RequestThreadEnded()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_requestThreadLock, &irql);
    if (m_requestThreads != 0 && --m_requestThreads == 0)
        KeSetEvent(&m_requestThreadsIdle, IO_NO_INCREMENT, FALSE);
    KeReleaseSpinLock(&m_requestThreadLock, irql);
}

void Device::AcceptPrivateRequests()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_requestThreadLock, &irql);
    m_acceptingRequests = true;
    KeReleaseSpinLock(&m_requestThreadLock, irql);
}

void Device::QuiescePrivateRequests()
{
    TRACE_SCOPE(this, "Device::QuiescePrivateRequests", kTraceLowEnter);
    KIRQL irql;
    KeAcquireSpinLock(&m_requestThreadLock, &irql);
    m_acceptingRequests = false;
    const ULONG onBoard = m_requestsOnBoard;
    KeReleaseSpinLock(&m_requestThreadLock, irql);
    ULONG cancelled = 0;
    while (PIRP irp = IoCsqRemoveNextIrp(&m_irpQueue.csq, nullptr)) {
        CompleteCanceledIrp(&m_irpQueue.csq, irp);
        ++cancelled;
    }
    if (cancelled != 0)
        TRACE_LINE(this, "Device::QuiescePrivateRequests", kTraceWarnings, "%u queued request(s) cancelled", cancelled);
    if (onBoard != 0)
        TRACE_LINE(this, "Device::QuiescePrivateRequests", kTraceAlways,
                   "Waiting for %u private request(s) to finish with the board", onBoard);
    // A request waiting for the DSP waits no longer than its command's time-out.
    KeWaitForSingleObject(&m_requestsOffBoard, Executive, KernelMode, FALSE, nullptr);
}

void Device::StopPrivateRequests()
{
    TRACE_SCOPE(this, "Device::StopPrivateRequests", kTraceLowEnter);
    QuiescePrivateRequests();
    // A thread waiting for a late DSP answer was woken by the protocol manager's stop.
    KeWaitForSingleObject(&m_requestThreadsIdle, Executive, KernelMode, FALSE, nullptr);
    m_hostBuffers.Clear();
}
