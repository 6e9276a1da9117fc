// StreamProcessor: the pin table and the five shared transitions of the pins of one stream.
#include "streamprocessor.h"

#include "algorithmlist.h"
#include "logicalstream.h"
#include "messages/Talvexon.h"
#include "streamprocessorpin.h"
#include "tracelogger.h"
#include "km/irp.h"
#include "tracescope.h"

namespace {

LONG StateOf(const StreamProcessorPin* pin)
{
    return static_cast<LONG>(pin->GetRunState());
}

ULONG AddressCookie(const void* pointer)
{
    return static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(pointer));
}

} // namespace

StreamProcessor::StreamProcessor(StreamProcessorManager* manager, StreamProcessorQueue* queue, ULONG firstPinType,
                                 ULONG rowCount)
    : m_manager(manager), m_queue(queue), m_firstPinType(firstPinType),
      m_rowCount(rowCount > kMaximumRows ? kMaximumRows : rowCount)
{
    TRACE_SCOPE(this, "StreamProcessor::StreamProcessor", kTraceLowEnter, "nFirstPinType=%u, nRows=%u",
                static_cast<unsigned>(firstPinType), static_cast<unsigned>(rowCount));
}

StreamProcessor::~StreamProcessor()
{
    TRACE_SCOPE(this, "StreamProcessor::~StreamProcessor", kTraceLowEnter);
    delete m_stream;
    m_stream = nullptr;
}

StreamProcessorPin** StreamProcessor::RowOf(ULONG pinType)
{
    if (pinType < m_firstPinType || pinType >= m_rowCount)
        return nullptr;
    return m_pins[pinType];
}

NTSTATUS StreamProcessor::AttachToStream(StreamProcessorPin* pin, LogicalStream** stream)
{
    TRACE_SCOPE(this, "StreamProcessor::AttachToStream", kTraceLowEnter);
    if (stream != nullptr)
        *stream = nullptr;
    if (pin == nullptr)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::AttachToStream", __LINE__);
    StreamProcessorPin** row = RowOf(pin->GetPinId());
    if (row == nullptr) {
        TRACE_STATUS(this, "StreamProcessor::AttachToStream", kTraceErrors, MSG_SPECIFIED_PIN_TYPE_INVALID,
                     "Specified pin type of %d is invalid", static_cast<int>(pin->GetPinId()));
        return MSG_SPECIFIED_PIN_TYPE_INVALID;
    }
    for (ULONG slot = 0; slot < kSlotsPerRow; ++slot) {
        if (row[slot] != nullptr)
            continue;
        row[slot] = pin;
        pin->SetStreamProcessorQueue(m_queue);
        pin->SetLogicalStream(m_stream);
        if (stream != nullptr)
            *stream = m_stream;
        return STATUS_SUCCESS;
    }
    TRACE_STATUS(this, "StreamProcessor::AttachToStream", kTraceErrors, MSG_UNABLE_CREATE_NEW_STREAM_ALL_SLOTS,
                 "Unable to create new stream.  All slots are busy.");
    return STATUS_INSUFFICIENT_RESOURCES;
}

StreamProcessorPin* StreamProcessor::GetStreamingPin(ULONG pinType, ULONG slot)
{
    TRACE_SCOPE(this, "StreamProcessor::GetStreamingPin", kTraceLowEnter, "ePinType=%d, nStreamIndex=%d",
                static_cast<int>(pinType), static_cast<int>(slot));
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::GetStreamingPin", __LINE__);
    StreamProcessorPin** row = RowOf(pinType);
    if (row == nullptr || slot >= kSlotsPerRow)
        return nullptr;
    return row[slot];
}

ULONG StreamProcessor::GetActivePinCount()
{
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::GetActivePinCount", __LINE__);
    ULONG count = 0;
    for (ULONG type = 0; type < m_rowCount; ++type)
        for (ULONG slot = 0; slot < kSlotsPerRow; ++slot)
            count += m_pins[type][slot] != nullptr ? 1 : 0;
    return count;
}

void StreamProcessor::StopAllPins()
{
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::StopAllPins", __LINE__);
    for (auto& row : m_pins)
        for (auto& pin : row)
            pin = nullptr;
}

bool StreamProcessor::CountOtherPins(StreamProcessorPin* pin, LONG minimum, LONG maximum, ULONG* others)
{
    bool found = false;
    *others = 0;
    for (ULONG type = 0; type < m_rowCount; ++type)
        for (ULONG slot = 0; slot < kSlotsPerRow; ++slot) {
            StreamProcessorPin* other = m_pins[type][slot];
            if (other == nullptr)
                continue;
            if (other == pin) {
                found = true;
                continue;
            }
            const LONG state = StateOf(other);
            if (state >= minimum && state <= maximum)
                ++*others;
        }
    return found;
}

void StreamProcessor::RemovePin(StreamProcessorPin* pin)
{
    for (ULONG type = 0; type < m_rowCount; ++type)
        for (ULONG slot = 0; slot < kSlotsPerRow; ++slot) {
            if (m_pins[type][slot] != pin)
                continue;
            for (ULONG later = slot; later + 1 < kSlotsPerRow; ++later)
                m_pins[type][later] = m_pins[type][later + 1];
            m_pins[type][kSlotsPerRow - 1] = nullptr;
            return;
        }
}

bool StreamProcessor::PutFirstPin(StreamProcessorPin* pin)
{
    StreamProcessorPin** row = RowOf(pin->GetPinId());
    if (row == nullptr)
        return false;
    row[0] = pin;
    pin->SetStreamProcessorQueue(m_queue);
    pin->SetLogicalStream(m_stream);
    return true;
}

void StreamProcessor::DiscardStream(StreamProcessorPin* pin)
{
    RemovePin(pin);
    pin->SetLogicalStream(nullptr);
    pin->SetStreamProcessorQueue(nullptr);
    LogicalStream* stream = m_stream;
    m_stream = nullptr;
    delete stream;
}

NTSTATUS StreamProcessor::StartFirstPin(ULONG streamIndex, StreamProcessorPin* pin, LogicalStream* created,
                                       LogicalStream** stream, const char* functionName)
{
    *stream = nullptr;
    if (created == nullptr) {
        TRACE_STATUS(this, functionName, kTraceErrors, MSG_UNABLE_CREATE_NEW_STREAM_ALL_SLOTS,
                     "Unable to create new stream.  All slots are busy.");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    KPLXFastStackLock hold(&m_lock, this, functionName, __LINE__);
    if (m_stream != nullptr) {
        // A processor has one stream: the new one is not wanted.
        delete created;
        return STATUS_INVALID_DEVICE_STATE;
    }
    m_stream = created;
    if (!NT_SUCCESS(created->GetConstructionStatus())) {
        const NTSTATUS status = created->GetConstructionStatus();
        m_stream = nullptr;
        delete created;
        return status;
    }
    created->SetStreamId(streamIndex);
    if (!PutFirstPin(pin)) {
        TRACE_STATUS(this, functionName, kTraceErrors, MSG_SPECIFIED_PIN_TYPE_INVALID,
                     "Specified pin type of %d is invalid", static_cast<int>(pin->GetPinId()));
        m_stream = nullptr;
        delete created;
        return MSG_SPECIFIED_PIN_TYPE_INVALID;
    }
    NTSTATUS status = pin->StreamFromStopToAcquire();
    if (NT_SUCCESS(status))
        status = created->StreamFromStopToAcquire();
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, functionName, kTraceErrors, "The %s stream did not start: 0x%08x", created->GetStreamName(),
                   static_cast<unsigned>(status));
        DiscardStream(pin);
        return status;
    }
    *stream = created;
    return STATUS_SUCCESS;
}

NTSTATUS StreamProcessor::PinNotFound(StreamProcessorPin* pin, NTSTATUS messageId, const char* functionName)
{
    TRACE_STATUS(this, functionName, kTraceErrors, messageId,
                 "Physical stream for the pin at address 0x%08x was not found", AddressCookie(pin));
    return messageId;
}

NTSTATUS StreamProcessor::StreamFromAcquireToPause(StreamProcessorPin* pin)
{
    TRACE_SCOPE(this, "StreamProcessor::StreamFromAcquireToPause", kTraceLowEnter);
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::StreamFromAcquireToPause", __LINE__);
    ULONG others = 0;
    if (pin == nullptr || !CountOtherPins(pin, kStreamStatePause, kStreamStateRun, &others))
        return PinNotFound(pin, MSG_VIDEO_STREAMING_PIN_ADDRESS_NOT_FOUND, "StreamProcessor::StreamFromAcquireToPause");
    NTSTATUS status = pin->StreamFromAcquireToPause();
    if (!NT_SUCCESS(status) || others != 0 || m_stream == nullptr)
        return status;
    status = m_stream->StreamFromAcquireToPause();
    if (!NT_SUCCESS(status))
        pin->StreamFromPauseToAcquire();
    return status;
}

NTSTATUS StreamProcessor::StreamFromPauseToRun(StreamProcessorPin* pin)
{
    TRACE_SCOPE(this, "StreamProcessor::StreamFromPauseToRun", kTraceLowEnter);
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::StreamFromPauseToRun", __LINE__);
    ULONG others = 0;
    if (pin == nullptr || !CountOtherPins(pin, kStreamStateRun, kStreamStateRun, &others))
        return PinNotFound(pin, MSG_PHYSICAL_STREAM_PIN_ADDRESS_NOT_FOUND, "StreamProcessor::StreamFromPauseToRun");
    NTSTATUS status = pin->StreamFromPauseToRun();
    if (!NT_SUCCESS(status) || m_stream == nullptr)
        return status;
    if (others != 0 && m_stream->GetState() == kStreamStateRun)
        return STATUS_SUCCESS; // joins a running stream
    m_stream->StartStreamControlThread();
    status = m_stream->StreamFromPauseToRun();
    if (!NT_SUCCESS(status)) {
        // The stream did not start: neither its control thread nor the pin stay in Run.
        m_stream->TerminateStreamControlThread();
        pin->StreamFromRunToPause();
    }
    return status;
}

NTSTATUS StreamProcessor::StreamFromRunToPause(StreamProcessorPin* pin)
{
    TRACE_SCOPE(this, "StreamProcessor::StreamFromRunToPause", kTraceLowEnter);
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::StreamFromRunToPause", __LINE__);
    ULONG others = 0;
    // Only pins still in Run keep the stream running.
    if (pin == nullptr || !CountOtherPins(pin, kStreamStateRun, kStreamStateRun, &others))
        return PinNotFound(pin, MSG_PHYSICAL_STREAM_PIN_ADDRESS_NOT_FOUND, "StreamProcessor::StreamFromRunToPause");
    NTSTATUS status = pin->StreamFromRunToPause();
    if (others != 0 || m_stream == nullptr)
        return status;
    m_stream->TerminateStreamControlThread();
    return m_stream->StreamFromRunToPause();
}

NTSTATUS StreamProcessor::StreamFromPauseToAcquire(StreamProcessorPin* pin)
{
    TRACE_SCOPE(this, "StreamProcessor::StreamFromPauseToAcquire", kTraceLowEnter);
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::StreamFromPauseToAcquire", __LINE__);
    ULONG others = 0;
    // Pins in Pause or Run keep the stream in Pause.
    if (pin == nullptr || !CountOtherPins(pin, kStreamStatePause, kStreamStateRun, &others))
        return PinNotFound(pin, MSG_PHYSICAL_STREAM_PIN_ADDRESS_NOT_FOUND, "StreamProcessor::StreamFromPauseToAcquire");
    NTSTATUS status = pin->StreamFromPauseToAcquire();
    if (others != 0 || m_stream == nullptr)
        return status;
    return m_stream->StreamFromPauseToAcquire();
}

NTSTATUS StreamProcessor::StreamFromAcquireToStop(StreamProcessorPin* pin)
{
    TRACE_SCOPE(this, "StreamProcessor::StreamFromAcquireToStop", kTraceLowEnter);
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::StreamFromAcquireToStop", __LINE__);
    ULONG others = 0;
    if (pin == nullptr || !CountOtherPins(pin, kStreamStateStop, kStreamStateRun, &others))
        return PinNotFound(pin, MSG_PHYSICAL_STREAM_PIN_ADDRESS_NOT_FOUND, "StreamProcessor::StreamFromAcquireToStop");
    NTSTATUS status = pin->StreamFromAcquireToStop();
    if (!NT_SUCCESS(status))
        return status;
    RemovePin(pin);
    pin->SetLogicalStream(nullptr);
    pin->SetStreamProcessorQueue(nullptr);
    if (others != 0 || m_stream == nullptr)
        return status;
    return m_stream->StreamFromAcquireToStop();
}

StreamProcessorPin* StreamProcessor::FindStreamingPin(PKSFILTER filter, ULONG pinType)
{
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::FindStreamingPin", __LINE__);
    StreamProcessorPin** row = RowOf(pinType);
    if (row == nullptr || filter == nullptr)
        return nullptr;
    for (ULONG slot = 0; slot < kSlotsPerRow; ++slot)
        if (row[slot] != nullptr && row[slot]->GetKsFilter() == filter)
            return row[slot];
    return nullptr;
}

ULONG StreamProcessor::CountPinsAtState(LONG state, ULONG firstType, ULONG lastType)
{
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::CountPinsAtState", __LINE__);
    ULONG count = 0;
    for (ULONG type = firstType; type <= lastType; ++type) {
        StreamProcessorPin** row = RowOf(type);
        if (row == nullptr)
            continue;
        for (ULONG slot = 0; slot < kSlotsPerRow; ++slot)
            count += row[slot] != nullptr && StateOf(row[slot]) >= state ? 1 : 0;
    }
    return count;
}

void StreamProcessor::ModifyActiveAlgorithmChains(BasicFilter* filter, ULONG pinType)
{
    TRACE_SCOPE(this, "StreamProcessor::ModifyActiveAlgorithmChains", kTraceLowEnter, "ePinType=%d",
                static_cast<int>(pinType));
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::ModifyActiveAlgorithmChains", __LINE__);
    StreamProcessorPin** row = RowOf(pinType);
    if (row == nullptr)
        return;
    for (ULONG slot = 0; slot < kSlotsPerRow; ++slot) {
        StreamProcessorPin* pin = row[slot];
        if (pin == nullptr || pin->GetFilter() != filter || pin->GetLogicalStream() == nullptr)
            continue;
        // Only this thread touches the list.
        AlgorithmList list(AlgorithmList::Locking::None);
        const NTSTATUS status = pin->BuildAlgorithmChain(&list);
        if (NT_SUCCESS(status))
            pin->GetLogicalStream()->AddAlgorithmChain(&list);
        list.DestroySteps(); // what the merge did not take (nothing, after a merge)
    }
}

void StreamProcessor::ForEachStreamingPin(void (*visit)(StreamProcessorPin* pin, ULONG pinType, void* context),
                                          void* context)
{
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::ForEachStreamingPin", __LINE__);
    // The rows are indexed by the pin type itself.
    for (ULONG type = m_firstPinType; type < m_rowCount; ++type)
        for (ULONG slot = 0; slot < kSlotsPerRow; ++slot) {
            StreamProcessorPin* pin = m_pins[type][slot];
            if (pin != nullptr && pin->GetLogicalStream() != nullptr)
                visit(pin, type, context);
        }
}

void StreamProcessor::DetachAllPins()
{
    TRACE_SCOPE(this, "StreamProcessor::DetachAllPins", kTraceLowEnter);
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessor::DetachAllPins", __LINE__);
    for (auto& row : m_pins)
        for (auto& pin : row) {
            if (pin != nullptr)
                pin->DetachFromStream();
            pin = nullptr;
        }
}
