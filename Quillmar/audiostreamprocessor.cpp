// AudioStreamProcessor: the first audio pin's format and the making of the audio stream.
#include "audiostreamprocessor.h"

#include "messages/Talvexon.h"
#include "physicalstreamfactory.h"
#include "streamprocessormanager.h"
#include "streamprocessorpin.h"
#include "tracelogger.h"
#include "km/irp.h"
#include "tracescope.h"

AudioStreamProcessor::AudioStreamProcessor(StreamProcessorManager* manager, StreamProcessorQueue* queue)
    : StreamProcessor(manager, queue, kFirstPinType, kRows)
{
    TRACE_SCOPE(this, "AudioStreamProcessor::AudioStreamProcessor", kTraceLowEnter);
}

AudioStreamProcessor::~AudioStreamProcessor()
{
    TRACE_SCOPE(this, "AudioStreamProcessor::~AudioStreamProcessor", kTraceLowEnter);
}

NTSTATUS AudioStreamProcessor::StreamFromStopToAcquire(ULONG streamIndex, StreamProcessorPin* pin,
                                                       LogicalStream** stream)
{
    TRACE_SCOPE(this, "AudioStreamProcessor::StreamFromStopToAcquire", kTraceLowEnter, "nStreamIndex=%u",
                static_cast<unsigned>(streamIndex));
    if (stream != nullptr)
        *stream = nullptr;
    if (pin == nullptr || stream == nullptr)
        return STATUS_INVALID_PARAMETER;
    if (pin->GetFilter() == nullptr) {
        TRACE_STATUS(this, "AudioStreamProcessor::StreamFromStopToAcquire", kTraceErrors,
                     MSG_FILTER_STREAMING_PIN_NOT_FOUND, "Filter for streaming pin %d was not found",
                     static_cast<int>(pin->GetPinId()));
        return MSG_FILTER_STREAMING_PIN_NOT_FOUND;
    }
    StreamAudioFormat format{};
    pin->GetAudioFormat(&format);
    StreamProcessorManager* manager = GetManager();
    PhysicalStreamFactory* factory = manager->GetFactory();
    LogicalStream* created =
        factory != nullptr ? factory->CreateAudioStream(manager->GetServices(), GetQueue(), pin, format) : nullptr;
    return StartFirstPin(streamIndex, pin, created, stream, "AudioStreamProcessor::StreamFromStopToAcquire");
}
