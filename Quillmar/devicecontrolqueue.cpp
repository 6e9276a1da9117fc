// Device: the device-control dispatch and the private requests' cancel-safe queue. The sixteen
// private codes are queued with the queue context of a fresh command record and served by that
// record on a system thread of its own (commandhandlerrequests.cpp); everything else goes on to the
// kernel-streaming framework's handler. At stop and removal queued requests complete as cancelled
// and the running request threads are waited for.
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
    m_requestThreads = 0;
    KeInitializeEvent(&m_requestThreadsIdle, NotificationEvent, TRUE);
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

    // The record first: its own queue context goes with the request, so that the context lives
    // as long as the request may be in the queue.
    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr) {
        TRACE_LINE(this, "Device::DispatchDeviceControl", kTraceErrors, "No command record for request 0x%08x", code);
        irp->IoStatus.Status = STATUS_INSUFFICIENT_RESOURCES;
        irp->IoStatus.Information = 0;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    IoCsqInsertIrp(&m_irpQueue.csq, irp, handler->QueueContext());
    RequestThreadStarting();
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

void Device::RequestThreadStarting()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_requestThreadLock, &irql);
    if (m_requestThreads++ == 0)
        KeClearEvent(&m_requestThreadsIdle);
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

ULONG Device::GetRequestThreadCount()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_requestThreadLock, &irql);
    const ULONG count = m_requestThreads;
    KeReleaseSpinLock(&m_requestThreadLock, irql);
    return count;
}

void Device::StopPrivateRequests()
{
    TRACE_SCOPE(this, "Device::StopPrivateRequests", kTraceLowEnter);
    ULONG cancelled = 0;
    while (PIRP irp = IoCsqRemoveNextIrp(&m_irpQueue.csq, nullptr)) {
        CompleteCanceledIrp(&m_irpQueue.csq, irp);
        ++cancelled;
    }
    if (cancelled != 0)
        TRACE_LINE(this, "Device::StopPrivateRequests", kTraceWarnings, "%u queued request(s) cancelled", cancelled);
    // A thread waiting for a late DSP answer was woken by the protocol manager's stop.
    KeWaitForSingleObject(&m_requestThreadsIdle, Executive, KernelMode, FALSE, nullptr);
    m_hostBuffers.Clear();
}
