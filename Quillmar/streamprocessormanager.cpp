// StreamProcessorManager: the two processor slots, the making and removal of processors, the
// routing of pin transitions, and the walks over the pins of both processors.
#include "streamprocessormanager.h"

#include "audiostreamprocessor.h"
#include "logicalstream.h"
#include "messages/Talvexon.h"
#include "streamdeviceservices.h"
#include "streamprocessorpin.h"
#include "tracelogger.h"
#include "km/irp.h"
#include "tracescope.h"
#include "videostreamprocessor.h"

StreamProcessorManager::StreamProcessorManager(StreamDeviceServices* services, PhysicalStreamFactory* factory)
    : m_services(services), m_factory(factory)
{
    TRACE_SCOPE(this, "StreamProcessorManager::StreamProcessorManager", kTraceLowEnter);
}

StreamProcessorManager::~StreamProcessorManager()
{
    TRACE_SCOPE(this, "StreamProcessorManager::~StreamProcessorManager", kTraceLowEnter);
    StopAllStreams();
}

StreamProcessor* StreamProcessorManager::GetProcessor(Kind kind)
{
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessorManager::GetProcessor", __LINE__);
    return Slot(kind);
}

bool StreamProcessorManager::Unlink(Kind kind, StreamProcessor* processor)
{
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessorManager::Unlink", __LINE__);
    if (Slot(kind) != processor)
        return false;
    Slot(kind) = nullptr;
    return true;
}

StreamProcessor* StreamProcessorManager::CreateNew(Kind kind, StreamDeviceServices* services, ULONG* index)
{
    if (index != nullptr)
        *index = 0;
    StreamProcessorQueue* queue = nullptr;
    if (services != nullptr)
        queue = kind == Kind::Video ? services->GetVideoStreamProcessorQueue()
                                    : services->GetAudioStreamProcessorQueue();
    StreamProcessor* processor = nullptr;
    {
        KPLXFastStackLock hold(&m_lock, this, "StreamProcessorManager::CreateNew", __LINE__);
        if (Slot(kind) == nullptr) {
            if (kind == Kind::Video)
                processor = new VideoStreamProcessor(this, queue);
            else
                processor = new AudioStreamProcessor(this, queue);
            Slot(kind) = processor;
            return processor;
        }
    }
    TRACE_STATUS(this, kind == Kind::Video ? "StreamProcessorManager::CreateNewVideoStreamProcessor"
                                           : "StreamProcessorManager::CreateNewAudioStreamProcessor",
                 kTraceErrors, MSG_UNABLE_CREATE_NEW_STREAM_ALL_SLOTS,
                 "Unable to create new physical stream.  All slots are busy.");
    return nullptr;
}

StreamProcessor* StreamProcessorManager::CreateNewVideoStreamProcessor(StreamDeviceServices* services, ULONG* index)
{
    TRACE_SCOPE(this, "StreamProcessorManager::CreateNewVideoStreamProcessor", kTraceLowEnter);
    return CreateNew(Kind::Video, services, index);
}

StreamProcessor* StreamProcessorManager::CreateNewAudioStreamProcessor(StreamDeviceServices* services, ULONG* index)
{
    TRACE_SCOPE(this, "StreamProcessorManager::CreateNewAudioStreamProcessor", kTraceLowEnter);
    return CreateNew(Kind::Audio, services, index);
}

NTSTATUS StreamProcessorManager::AttachToCompatible(Kind kind, StreamProcessorPin* pin, LogicalStream** stream,
                                                    bool* attached)
{
    *attached = false;
    StreamProcessor* processor = GetProcessor(kind);
    if (processor == nullptr)
        return STATUS_SUCCESS;
    *attached = true;
    NTSTATUS status = processor->AttachToStream(pin, stream);
    if (!NT_SUCCESS(status))
        return status;
    status = pin->StreamFromStopToAcquire();
    if (!NT_SUCCESS(status)) {
        // The pin stays in Stop: it does not hold a slot.
        processor->StreamFromAcquireToStop(pin);
        *stream = nullptr;
    }
    return status;
}

NTSTATUS StreamProcessorManager::AttachToCompatibleVideoStreamProcessor(StreamProcessorPin* pin, LogicalStream** stream)
{
    bool attached;
    return AttachToCompatible(Kind::Video, pin, stream, &attached);
}

NTSTATUS StreamProcessorManager::AttachToCompatibleAudioStreamProcessor(StreamProcessorPin* pin, LogicalStream** stream)
{
    bool attached;
    return AttachToCompatible(Kind::Audio, pin, stream, &attached);
}

NTSTATUS StreamProcessorManager::StreamFromStopToAcquire(Kind kind, StreamProcessorPin* pin, LogicalStream** stream)
{
    const char* functionName = kind == Kind::Video ? "StreamProcessorManager::VideoStreamFromStopToAcquire"
                                                   : "StreamProcessorManager::AudioStreamFromStopToAcquire";
    if (stream == nullptr || pin == nullptr)
        return STATUS_INVALID_PARAMETER;
    *stream = nullptr;
    if (kind == Kind::Video && (pin->GetPinId() < kFirstVideoPinType || pin->GetPinId() > kLastVideoPinType)) {
        TRACE_STATUS(this, functionName, kTraceErrors, MSG_SPECIFIED_PIN_TYPE_INVALID,
                     "Specified pin type of %d is invalid", static_cast<int>(pin->GetPinId()));
        return MSG_SPECIFIED_PIN_TYPE_INVALID;
    }
    if (pin->GetFilter() == nullptr) {
        TRACE_STATUS(this, functionName, kTraceErrors, MSG_FILTER_STREAMING_PIN_NOT_FOUND,
                     "Filter for streaming pin %d was not found", static_cast<int>(pin->GetPinId()));
        return MSG_FILTER_STREAMING_PIN_NOT_FOUND;
    }
    bool attached;
    NTSTATUS status = AttachToCompatible(kind, pin, stream, &attached);
    if (attached)
        return status;
    ULONG index = 0;
    StreamProcessor* processor = CreateNew(kind, m_services, &index);
    if (processor == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    status = processor->StreamFromStopToAcquire(index, pin, stream);
    if (!NT_SUCCESS(status)) {
        // Undone completely; destroyed outside the manager's lock.
        if (Unlink(kind, processor))
            processor->Release();
        *stream = nullptr;
    }
    return status;
}

NTSTATUS StreamProcessorManager::VideoStreamFromStopToAcquire(StreamProcessorPin* pin, LogicalStream** stream)
{
    TRACE_SCOPE(this, "StreamProcessorManager::VideoStreamFromStopToAcquire", kTraceLowEnter);
    return StreamFromStopToAcquire(Kind::Video, pin, stream);
}

NTSTATUS StreamProcessorManager::AudioStreamFromStopToAcquire(StreamProcessorPin* pin, LogicalStream** stream)
{
    TRACE_SCOPE(this, "StreamProcessorManager::AudioStreamFromStopToAcquire", kTraceLowEnter);
    return StreamFromStopToAcquire(Kind::Audio, pin, stream);
}

NTSTATUS StreamProcessorManager::Route(Kind kind, Transition transition, StreamProcessorPin* pin,
                                       const char* functionName)
{
    TRACE_SCOPE(this, functionName, kTraceLowEnter);
    LogicalStream* stream = pin != nullptr ? pin->GetLogicalStream() : nullptr;
    if (stream != nullptr && stream->GetStreamId() != 0) {
        TRACE_STATUS(this, functionName, kTraceErrors, MSG_SPECIFIED_STREAM_ID_INVALID,
                     "Specified stream id of %d is invalid.", static_cast<int>(stream->GetStreamId()));
        return MSG_SPECIFIED_STREAM_ID_INVALID;
    }
    StreamProcessor* processor = GetProcessor(kind);
    if (processor == nullptr || pin == nullptr)
        return MSG_VIDEO_STREAMING_PIN_ADDRESS_NOT_FOUND;
    switch (transition) {
    case Transition::AcquireToPause:
        return processor->StreamFromAcquireToPause(pin);
    case Transition::PauseToRun:
        return processor->StreamFromPauseToRun(pin);
    case Transition::RunToPause:
        return processor->StreamFromRunToPause(pin);
    case Transition::PauseToAcquire:
        return processor->StreamFromPauseToAcquire(pin);
    case Transition::AcquireToStop:
        break;
    }
    const NTSTATUS status = processor->StreamFromAcquireToStop(pin);
    if (processor->GetActivePinCount() == 0 && Unlink(kind, processor)) {
        TRACE_LINE(this, functionName, kTraceHighs, "The last pin left: the %s stream processor goes",
                   kind == Kind::Video ? "video" : "audio");
        processor->Release();
    }
    return status;
}

NTSTATUS StreamProcessorManager::VideoStreamFromAcquireToPause(StreamProcessorPin* pin)
{
    return Route(Kind::Video, Transition::AcquireToPause, pin, "StreamProcessorManager::VideoStreamFromAcquireToPause");
}
NTSTATUS StreamProcessorManager::VideoStreamFromPauseToRun(StreamProcessorPin* pin)
{
    return Route(Kind::Video, Transition::PauseToRun, pin, "StreamProcessorManager::VideoStreamFromPauseToRun");
}
NTSTATUS StreamProcessorManager::VideoStreamFromRunToPause(StreamProcessorPin* pin)
{
    return Route(Kind::Video, Transition::RunToPause, pin, "StreamProcessorManager::VideoStreamFromRunToPause");
}
NTSTATUS StreamProcessorManager::VideoStreamFromPauseToAcquire(StreamProcessorPin* pin)
{
    return Route(Kind::Video, Transition::PauseToAcquire, pin, "StreamProcessorManager::VideoStreamFromPauseToAcquire");
}
NTSTATUS StreamProcessorManager::VideoStreamFromAcquireToStop(StreamProcessorPin* pin)
{
    return Route(Kind::Video, Transition::AcquireToStop, pin, "StreamProcessorManager::VideoStreamFromAcquireToStop");
}
NTSTATUS StreamProcessorManager::AudioStreamFromAcquireToPause(StreamProcessorPin* pin)
{
    return Route(Kind::Audio, Transition::AcquireToPause, pin, "StreamProcessorManager::AudioStreamFromAcquireToPause");
}
NTSTATUS StreamProcessorManager::AudioStreamFromPauseToRun(StreamProcessorPin* pin)
{
    return Route(Kind::Audio, Transition::PauseToRun, pin, "StreamProcessorManager::AudioStreamFromPauseToRun");
}
NTSTATUS StreamProcessorManager::AudioStreamFromRunToPause(StreamProcessorPin* pin)
{
    return Route(Kind::Audio, Transition::RunToPause, pin, "StreamProcessorManager::AudioStreamFromRunToPause");
}
NTSTATUS StreamProcessorManager::AudioStreamFromPauseToAcquire(StreamProcessorPin* pin)
{
    return Route(Kind::Audio, Transition::PauseToAcquire, pin, "StreamProcessorManager::AudioStreamFromPauseToAcquire");
}
NTSTATUS StreamProcessorManager::AudioStreamFromAcquireToStop(StreamProcessorPin* pin)
{
    return Route(Kind::Audio, Transition::AcquireToStop, pin, "StreamProcessorManager::AudioStreamFromAcquireToStop");
}

NTSTATUS StreamProcessorManager::ValidateLogicalStream(LogicalStream* stream)
{
    KPLXFastStackLock hold(&m_lock, this, "StreamProcessorManager::ValidateLogicalStream", __LINE__);
    if (stream != nullptr && ((m_videoProcessor != nullptr && m_videoProcessor->GetStreamPtr() == stream) ||
                              (m_audioProcessor != nullptr && m_audioProcessor->GetStreamPtr() == stream)))
        return STATUS_SUCCESS;
    return STATUS_UNSUCCESSFUL;
}

bool StreamProcessorManager::ValidateLogicalStream(LogicalStreamHandle handle, LogicalStreamReference* reference)
{
    LogicalStreamTable* table = m_services != nullptr ? m_services->GetLogicalStreamTable() : nullptr;
    if (table == nullptr || handle.IsNull())
        return false;
    if (reference == nullptr)
        return table->IsLive(handle);
    return reference->Take(table, handle);
}

NTSTATUS StreamProcessorManager::StopAllStreams()
{
    TRACE_SCOPE(this, "StreamProcessorManager::StopAllStreams", kTraceLowEnter);
    for (Kind kind : {Kind::Video, Kind::Audio}) {
        StreamProcessor* processor = GetProcessor(kind);
        if (processor == nullptr)
            continue;
        // The pins first: their sinks leave the tree before the tree goes.
        processor->DetachAllPins();
        if (Unlink(kind, processor))
            processor->Release();
    }
    return STATUS_SUCCESS;
}

StreamProcessorPin* StreamProcessorManager::FindVideoStreamingPin(PKSFILTER filter, ULONG pinType)
{
    StreamProcessor* processor = GetProcessor(Kind::Video);
    return processor != nullptr ? processor->FindStreamingPin(filter, pinType) : nullptr;
}

StreamProcessorPin* StreamProcessorManager::FindAudioStreamingPin(PKSFILTER filter, ULONG pinType)
{
    StreamProcessor* processor = GetProcessor(Kind::Audio);
    return processor != nullptr ? processor->FindStreamingPin(filter, pinType) : nullptr;
}

StreamProcessor* StreamProcessorManager::GetVideoStreamProcessor(ULONG index)
{
    return index == 0 ? GetProcessor(Kind::Video) : nullptr;
}

StreamProcessor* StreamProcessorManager::GetAudioStreamProcessor(ULONG index)
{
    return index == 0 ? GetProcessor(Kind::Audio) : nullptr;
}

ULONG StreamProcessorManager::GetCountOfVideoStreamsAtState(LONG state)
{
    StreamProcessor* processor = GetProcessor(Kind::Video);
    return processor != nullptr ? processor->CountPinsAtState(state, kFirstVideoPinType, kLastVideoPinType) : 0;
}

NTSTATUS StreamProcessorManager::ModifyActive(Kind kind, BasicFilter* filter, ULONG pinType)
{
    TRACE_SCOPE(this, "StreamProcessorManager::ModifyActiveAlgorithmChains", kTraceLowEnter, "ePinType=%d",
                static_cast<int>(pinType));
    if (filter == nullptr) {
        const bool video = kind == Kind::Video;
        const NTSTATUS messageId =
            video ? MSG_INVALID_VIDEO_CAPTURE_FILTER_POINTER_PASSED : MSG_INVALID_AUDIO_CAPTURE_FILTER_POINTER_PASSED;
        TRACE_STATUS(this, "StreamProcessorManager::ModifyActiveAlgorithmChains", kTraceErrors, messageId,
                     "An invalid %s capture filter pointer was passed to a function.", video ? "video" : "audio");
        return messageId;
    }
    if (StreamProcessor* processor = GetProcessor(kind))
        processor->ModifyActiveAlgorithmChains(filter, pinType);
    return STATUS_SUCCESS;
}

NTSTATUS StreamProcessorManager::ModifyActiveVideoAlgorithmChains(BasicFilter* filter, ULONG pinType)
{
    return ModifyActive(Kind::Video, filter, pinType);
}

NTSTATUS StreamProcessorManager::ModifyActiveAudioAlgorithmChains(BasicFilter* filter, ULONG pinType)
{
    return ModifyActive(Kind::Audio, filter, pinType);
}
