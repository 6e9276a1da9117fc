// The framework's handling of IOCTL_KS_READ_STREAM on a pin: the caller's array of stream headers is
// checked header by header, each header becomes one frame on the pin's queue (the framework keeps its
// own copy of the header for the driver to write), and the request stays pending until all its frames
// have completed or been cancelled. Then the headers are written back to the caller, with the fields
// that describe the caller's buffer (Size, FrameExtent, Data) kept as the caller gave them and DataUsed
// never above FrameExtent.
#include "KsObjects.h"
#include "KsStream.h"

#include "km/irp.h"
#include "km/status.h"
#include "standin/ks.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

namespace standin {
namespace {

class ReadRequest : public KsQueueRequest {
public:
    struct Header {
        ULONG offset; // in the caller's array
        ULONG size;
        KSSTREAM_HEADER original;
        PUCHAR data;                      // the buffer the Data cookie names
        std::unique_ptr<uint64_t[]> copy; // the driver's to write: aligned for the header's fields
    };

    ReadRequest(PIRP irp, PUCHAR callerHeaders, ULONG length)
        : irp_(irp), callerHeaders_(callerHeaders), length_(length)
    {
    }
    void Finished(bool cancelled, NTSTATUS status) override
    {
        if (cancelled)
            cancelled_ = true;
        status_ = status;
        Release();
    }
    // The submitter's hold and the queue's: the request completes when both are given up, so a
    // request whose frames all finish while it is still being submitted does not complete early.
    void Release()
    {
        if (--holds_ == 0)
            Complete();
    }
    PIRP Irp() const { return irp_; }
    std::vector<Header> headers;
    std::weak_ptr<KsQueue> queue;

private:
    void Complete();

    PIRP irp_;
    PUCHAR callerHeaders_;
    ULONG length_;
    std::atomic<int> holds_{2};
    std::atomic<bool> cancelled_{false};
    std::atomic<NTSTATUS> status_{STATUS_SUCCESS};
};

// Pending read requests by IRP, for the cancel routine.
struct PendingReads {
    std::mutex lock;
    std::map<PIRP, std::shared_ptr<ReadRequest>> requests;
};

PendingReads& Pending()
{
    static PendingReads* pending = new PendingReads; // never destroyed: cancel routines may run at exit
    return *pending;
}

std::shared_ptr<ReadRequest> PendingRequest(PIRP irp)
{
    PendingReads& pending = Pending();
    std::lock_guard<std::mutex> guard(pending.lock);
    auto it = pending.requests.find(irp);
    return it == pending.requests.end() ? nullptr : it->second;
}

VOID NTAPI CancelRead(PDEVICE_OBJECT, PIRP irp)
{
    // Looked up while the cancel lock is held: a request completing meanwhile waits for that lock
    // before its IRP goes, so the address cannot yet name a newer request's IRP.
    std::shared_ptr<ReadRequest> request = PendingRequest(irp);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    // From here on the IRP itself is not touched: the request may complete at any moment.
    if (request) {
        if (std::shared_ptr<KsQueue> queue = request->queue.lock())
            queue->Cancel(request.get());
    }
}

void ReadRequest::Complete()
{
    if (IoSetCancelRoutine(irp_, nullptr) == nullptr) {
        // A cancel routine may have the IRP: let it get past its look at the IRP before the IRP goes.
        // (Irp->Cancel is written under the cancel lock, so it is not read here without it.)
        KIRQL irql;
        IoAcquireCancelSpinLock(&irql);
        IoReleaseCancelSpinLock(irql);
    }
    for (const Header& header : headers) {
        auto* written = reinterpret_cast<KSSTREAM_HEADER*>(header.copy.get());
        written->Size = header.original.Size;
        written->FrameExtent = header.original.FrameExtent;
        written->Data = header.original.Data;
        if (written->DataUsed > written->FrameExtent)
            written->DataUsed = written->FrameExtent;
        std::memcpy(callerHeaders_ + header.offset, written, header.size);
    }
    const bool cancelled = cancelled_;
    const NTSTATUS failure = status_;
    const NTSTATUS status = cancelled ? STATUS_CANCELLED : failure;
    irp_->IoStatus.Status = status;
    irp_->IoStatus.Information = NT_SUCCESS(status) ? length_ : 0;
    PIRP irp = irp_;
    std::shared_ptr<ReadRequest> self;
    {
        PendingReads& pending = Pending();
        std::lock_guard<std::mutex> guard(pending.lock);
        auto it = pending.requests.find(irp);
        if (it != pending.requests.end()) {
            self = std::move(it->second); // keeps this request alive to the end of this call
            pending.requests.erase(it);
        }
    }
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

// Checks the caller's headers and builds the request's frames; a status other than success refuses
// the whole request.
NTSTATUS ReadHeaders(PKSPIN pin, PUCHAR caller, ULONG length, ReadRequest& request,
                     std::vector<KsQueue::FrameSpec>& frames)
{
    if (!caller || length < sizeof(KSSTREAM_HEADER))
        return STATUS_INVALID_BUFFER_SIZE;
    for (ULONG offset = 0; offset < length;) {
        const ULONG remaining = length - offset;
        if (remaining < sizeof(KSSTREAM_HEADER))
            return STATUS_INVALID_BUFFER_SIZE;
        KSSTREAM_HEADER header;
        std::memcpy(&header, caller + offset, sizeof header);
        // A header smaller than the pin's would let the driver write its extended part past it.
        if (header.Size < sizeof(KSSTREAM_HEADER) || header.Size > remaining || header.Size < pin->StreamHeaderSize)
            return STATUS_INVALID_BUFFER_SIZE;
        PUCHAR data = nullptr;
        ULONG bufferLength = 0;
        if (header.Data == 0) {
            if (header.FrameExtent != 0)
                return STATUS_INVALID_PARAMETER;
        } else if (!KsResolveStreamBuffer(header.Data, &data, &bufferLength)) {
            return STATUS_INVALID_PARAMETER;
        } else if (header.FrameExtent > bufferLength) {
            return STATUS_INVALID_BUFFER_SIZE;
        }
        ReadRequest::Header& kept = request.headers.emplace_back();
        kept.offset = offset;
        kept.size = header.Size;
        kept.original = header;
        kept.data = data;
        kept.copy.reset(new uint64_t[(header.Size + 7) / 8]());
        std::memcpy(kept.copy.get(), caller + offset, header.Size);
        reinterpret_cast<KSSTREAM_HEADER*>(kept.copy.get())->DataUsed = 0; // what the driver writes
        offset += header.Size;
    }
    for (ReadRequest::Header& kept : request.headers)
        frames.push_back({reinterpret_cast<PKSSTREAM_HEADER>(kept.copy.get()), kept.data, kept.original.FrameExtent});
    return STATUS_SUCCESS;
}

} // namespace

bool KsPinProcesses(PKSPIN pin)
{
    const ULONG flags = pin->Descriptor ? pin->Descriptor->Flags : 0;
    if (flags & KSPIN_FLAG_DO_NOT_INITIATE_PROCESSING)
        return false;
    if (flags & KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY)
        return pin->DeviceState == KSSTATE_RUN;
    return pin->DeviceState == KSSTATE_PAUSE || pin->DeviceState == KSSTATE_RUN;
}

void KsPinCallProcess(PKSPIN pin, KsQueue& queue)
{
    const KSPIN_DISPATCH* dispatch = pin->Descriptor ? pin->Descriptor->Dispatch : nullptr;
    if (!dispatch || !dispatch->Process)
        return;
    std::lock_guard<std::mutex> guard(queue.ProcessLock());
    dispatch->Process(pin);
}

NTSTATUS KsPinStreamRequest(PKSPIN pin, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    irp->IoStatus.Information = 0;
    if (location->Parameters.DeviceIoControl.IoControlCode != IOCTL_KS_READ_STREAM ||
        pin->DataFlow != KSPIN_DATAFLOW_OUT)
        return STATUS_INVALID_DEVICE_REQUEST;

    auto callerHeaders = static_cast<PUCHAR>(irp->UserBuffer);
    const ULONG length = location->Parameters.DeviceIoControl.OutputBufferLength;
    auto request = std::make_shared<ReadRequest>(irp, callerHeaders, length);
    std::vector<KsQueue::FrameSpec> frames;
    bool process = false;
    std::shared_ptr<KsQueue> queue;

    // Under the control mutex, so no frame is queued behind a step to Stop that has flushed.
    KsAcquireControl(pin);
    NTSTATUS status = STATUS_SUCCESS;
    if (pin->DeviceState == KSSTATE_STOP)
        status = STATUS_INVALID_DEVICE_STATE;
    else
        status = ReadHeaders(pin, callerHeaders, length, *request, frames);
    if (NT_SUCCESS(status)) {
        queue = KsQueueOfPin(pin, true);
        request->queue = queue;
        IoMarkIrpPending(irp);
        {
            PendingReads& pending = Pending();
            std::lock_guard<std::mutex> guard(pending.lock);
            pending.requests[irp] = request;
        }
        queue->Submit(request, frames);
        IoSetCancelRoutine(irp, CancelRead);
        // A cancellation that came before the routine was set found none to call: the request is
        // ours to cancel. Cancel is written under the cancel lock, so it is read under it too.
        KIRQL irql;
        IoAcquireCancelSpinLock(&irql);
        const bool cancelledEarly = irp->Cancel;
        IoReleaseCancelSpinLock(irql);
        if (cancelledEarly && IoSetCancelRoutine(irp, nullptr) != nullptr)
            queue->Cancel(request.get());
        process = KsPinProcesses(pin);
    }
    KsReleaseControl(pin);
    if (!NT_SUCCESS(status))
        return status;
    request->Release();
    if (process)
        KsPinCallProcess(pin, *queue);
    return STATUS_PENDING;
}

} // namespace standin
