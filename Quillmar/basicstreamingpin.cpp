// BasicStreamingPin: the state steps, the stream processor's callbacks, the two ends of a chain
// and the framing.
#include "basicstreamingpin.h"

#include "algorithmlist.h"
#include "device.h"
#include "driver.h"
#include "frameprocessedsink.h"
#include "km/interlocked.h"
#include "km/ksfilter.h"
#include "km/raise.h"
#include "km/ksstream.h"
#include "km/status.h"
#include "logicalstream.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

BasicStreamingPin::~BasicStreamingPin()
{
    TRACE_SCOPE(this, "BasicStreamingPin::~BasicStreamingPin", kTraceLowEnter);
    ReleaseClock();
    if (m_sink != nullptr) {
        TakeSinkOutOfTree();
        delete m_sink;
        m_sink = nullptr;
    }
}

PKSFILTER BasicStreamingPin::GetKsFilter() const
{
    return GetKsPin() != nullptr ? KsPinGetParentFilter(GetKsPin()) : nullptr;
}

Algorithm* BasicStreamingPin::GetFrameSink() const
{
    return m_sink;
}

void BasicStreamingPin::SetState(LONG state)
{
    InterlockedExchange(&m_previousState, ReadWord(&m_state));
    InterlockedExchange(&m_state, state);
}

void BasicStreamingPin::ReleaseClock()
{
    if (m_clock != nullptr) {
        m_clock->Release();
        m_clock = nullptr;
    }
}

NTSTATUS BasicStreamingPin::ChangeDeviceState(KSSTATE to, KSSTATE from)
{
    Device* device = GetDevice();
    if (device == nullptr)
        return STATUS_UNSUCCESSFUL;
    if (IsBoardRemoved()) {
        // The stream went with the board: the steps down to Stop are the pin's alone, and nothing
        // starts again.
        if (to > from)
            return STATUS_DEVICE_REMOVED;
        if (to == KSSTATE_STOP)
            ReleaseClock();
        InterlockedExchange(&m_running, 0);
        SetState(to);
        return STATUS_SUCCESS;
    }
    const bool video = m_kind == kStreamingPinKindVideo;
    NTSTATUS status = STATUS_SUCCESS;
    if (from == KSSTATE_STOP && to == KSSTATE_ACQUIRE) {
        LogicalStream* stream = nullptr;
        status = video ? device->VideoStreamFromStopToAcquire(this, &stream)
                       : device->AudioStreamFromStopToAcquire(this, &stream);
        if (stream != nullptr)
            m_stream = stream;
        // The clock is the graph's while the pin streams: taken once the pin joined its stream.
        if (NT_SUCCESS(status) && !device->GetDriver()->GetIgnoreReferenceClock() && m_clock == nullptr &&
            !NT_SUCCESS(KsPinGetReferenceClockInterface(GetKsPin(), &m_clock)))
            m_clock = nullptr;
    } else if (from == KSSTATE_ACQUIRE && to == KSSTATE_PAUSE) {
        status =
            video ? device->VideoStreamFromAcquireToPause(this) : device->AudioStreamFromAcquireToPause(this);
    } else if (from == KSSTATE_PAUSE && to == KSSTATE_RUN) {
        InterlockedExchange(&m_running, 1);
        if (m_sink != nullptr) {
            // The stream's thread runs Pause frames through the sink: its times change under the
            // stream's processing lock.
            m_sink->ResetDeliveryCounters();
            LogicalStream* stream = GetLogicalStream();
            if (stream != nullptr) {
                KPLXFastStackLock hold(stream->GetSource()->GetProcessingLock(), this,
                                       "BasicStreamingPin::ChangeDeviceState", __LINE__);
                m_sink->ResetFrameTimes();
            } else {
                m_sink->ResetFrameTimes();
            }
        }
        OnPauseToRun();
        status = video ? device->VideoStreamFromPauseToRun(this) : device->AudioStreamFromPauseToRun(this);
    } else if (from == KSSTATE_RUN && to == KSSTATE_PAUSE) {
        InterlockedExchange(&m_running, 0);
        status = video ? device->VideoStreamFromRunToPause(this) : device->AudioStreamFromRunToPause(this);
    } else if (from == KSSTATE_PAUSE && to == KSSTATE_ACQUIRE) {
        status =
            video ? device->VideoStreamFromPauseToAcquire(this) : device->AudioStreamFromPauseToAcquire(this);
    } else if (from == KSSTATE_ACQUIRE && to == KSSTATE_STOP) {
        const NTSTATUS stopped =
            video ? device->VideoStreamFromAcquireToStop(this) : device->AudioStreamFromAcquireToStop(this);
        if (!NT_SUCCESS(stopped))
            TRACE_LINE(this, "BasicStreamingPin::ChangeDeviceState", kTraceWarnings,
                       "Pin(%d) Acquire to Stop: the stream answered 0x%08x", static_cast<int>(m_pinId),
                       static_cast<unsigned>(stopped));
        ReleaseClock();
        // A pin always reaches Stop: its client may close it and open another.
        status = STATUS_SUCCESS;
    }
    return status;
}

NTSTATUS BasicStreamingPin::StreamFromStopToAcquire()
{
    SetState(KSSTATE_ACQUIRE);
    return STATUS_SUCCESS;
}

NTSTATUS BasicStreamingPin::StreamFromAcquireToPause()
{
    TRACE_SCOPE(this, "BasicStreamingPin::StreamFromAcquireToPause", kTraceLowEnter, "PID=%d",
                static_cast<int>(m_pinId));
    if (m_sink != nullptr)
        m_sink->ResetStatistics();
    AlgorithmList list;
    NTSTATUS status = BuildAlgorithmChain(&list);
    if (NT_SUCCESS(status)) {
        LogicalStream* stream = GetLogicalStream();
        status = stream != nullptr ? stream->AddAlgorithmChain(&list) : STATUS_UNSUCCESSFUL;
    }
    // What the merge did not adopt (everything, when the build failed); the sink stays the pin's.
    list.DestroySteps();
    SetState(KSSTATE_PAUSE);
    return status;
}

NTSTATUS BasicStreamingPin::StreamFromPauseToRun()
{
    SetState(KSSTATE_RUN);
    return STATUS_SUCCESS;
}

NTSTATUS BasicStreamingPin::StreamFromRunToPause()
{
    SetState(KSSTATE_PAUSE);
    DeleteClones();
    return STATUS_SUCCESS;
}

NTSTATUS BasicStreamingPin::StreamFromPauseToAcquire()
{
    SetState(KSSTATE_ACQUIRE);
    if (m_sink != nullptr) {
        TakeSinkOutOfTree();
        delete m_sink;
        m_sink = nullptr;
    }
    return STATUS_SUCCESS;
}

NTSTATUS BasicStreamingPin::StreamFromAcquireToStop()
{
    SetState(KSSTATE_STOP);
    return STATUS_SUCCESS;
}

void BasicStreamingPin::DeleteClones()
{
    if (GetKsPin() == nullptr)
        return;
    while (PKSSTREAM_POINTER clone = KsPinGetFirstCloneStreamPointer(GetKsPin()))
        KsStreamPointerDelete(clone);
}

void BasicStreamingPin::DetachFromStream()
{
    TRACE_SCOPE(this, "BasicStreamingPin::DetachFromStream", kTraceLowEnter, "PID=%d",
                static_cast<int>(m_pinId));
    TakeSinkOutOfTree();
    m_stream = nullptr;
    m_queue = nullptr;
    Device* device = GetDevice();
    if (device != nullptr && device->IsBoardRemoved()) {
        m_boardRemoved = true;
        FailQueuedFrames(STATUS_DEVICE_REMOVED);
    }
}

NTSTATUS BasicStreamingPin::OnProcess()
{
    if (!IsBoardRemoved())
        return STATUS_PENDING; // the sink fills the frames as the stream delivers
    FailQueuedFrames(STATUS_DEVICE_REMOVED);
    return STATUS_SUCCESS;
}

void BasicStreamingPin::FailQueuedFrames(NTSTATUS status)
{
    PKSPIN pin = GetKsPin();
    if (pin == nullptr)
        return;
    DeleteClones();
    // Each frame in turn, left empty: its request completes with the status once all its frames have.
    while (PKSSTREAM_POINTER pointer = KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED)) {
        KsStreamPointerSetStatusCode(pointer, status);
        KsStreamPointerUnlock(pointer, TRUE);
    }
}

void BasicStreamingPin::TakeSinkOutOfTree()
{
    LogicalStream* stream = GetLogicalStream();
    if (m_sink != nullptr && stream != nullptr && m_sink->GetParent() != nullptr)
        stream->RemoveFrameSink(m_sink);
}

NTSTATUS BasicStreamingPin::AppendSink(AlgorithmList* list, ULONGLONG interval)
{
    if (m_sink == nullptr) {
        // A sink the driver's allocation cannot serve fails this chain; the next one tries again.
        try {
            m_sink = new FrameProcessedSink(this);
        } catch (const standin::RaisedStatus&) {
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    } else {
        m_sink->ResetFrameTimes();
    }
    m_sink->SetInterval(interval);
    return list->Append(m_sink) ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
}

NTSTATUS BasicStreamingPin::SetAllocatorFraming(ULONG frames, ULONG frameSize)
{
    PKSPIN pin = GetKsPin();
    if (pin == nullptr || pin->Descriptor == nullptr)
        return STATUS_UNSUCCESSFUL;
    NTSTATUS status =
        _KsEdit(pin->Bag, reinterpret_cast<PVOID*>(const_cast<KSPIN_DESCRIPTOR_EX**>(&pin->Descriptor)),
                sizeof(KSPIN_DESCRIPTOR_EX), sizeof(KSPIN_DESCRIPTOR_EX), kFramingTag);
    if (!NT_SUCCESS(status))
        return status;
    auto* descriptor = const_cast<KSPIN_DESCRIPTOR_EX*>(pin->Descriptor);
    const ULONG bytes = static_cast<ULONG>(KsAllocatorFramingExSize(1));
    const ULONG oldBytes =
        descriptor->AllocatorFraming != nullptr
            ? static_cast<ULONG>(KsAllocatorFramingExSize(descriptor->AllocatorFraming->CountItems))
            : 0;
    status =
        _KsEdit(pin->Bag,
                reinterpret_cast<PVOID*>(const_cast<KSALLOCATOR_FRAMING_EX**>(&descriptor->AllocatorFraming)),
                bytes, oldBytes, kFramingTag);
    if (!NT_SUCCESS(status))
        return status;
    auto* framing = const_cast<KSALLOCATOR_FRAMING_EX*>(descriptor->AllocatorFraming);
    std::memset(framing, 0, bytes);
    framing->CountItems = 1;
    KS_FRAMING_ITEM& item = framing->FramingItem[0];
    item.MemoryType = KSMEMORY_TYPE_KERNEL_NONPAGED;
    item.Frames = frames;
    item.PhysicalRange = KS_FRAMING_RANGE{frameSize, frameSize, 0};
    item.FramingRange.Range = KS_FRAMING_RANGE{frameSize, frameSize, 0};
    m_frameSize = frameSize;
    return STATUS_SUCCESS;
}
