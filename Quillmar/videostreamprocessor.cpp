// VideoStreamProcessor: the first video pin's checks and the making of the video stream.
#include "videostreamprocessor.h"

#include "messages/Talvexon.h"
#include "physicalstreamfactory.h"
#include "streamprocessormanager.h"
#include "streamprocessorpin.h"
#include "tracelogger.h"
#include "km/irp.h"
#include "tracescope.h"

VideoStreamProcessor::VideoStreamProcessor(StreamProcessorManager* manager, StreamProcessorQueue* queue)
    : StreamProcessor(manager, queue, kFirstPinType, kRows)
{
    TRACE_SCOPE(this, "VideoStreamProcessor::VideoStreamProcessor", kTraceLowEnter);
}

VideoStreamProcessor::~VideoStreamProcessor()
{
    TRACE_SCOPE(this, "VideoStreamProcessor::~VideoStreamProcessor", kTraceLowEnter);
}

NTSTATUS VideoStreamProcessor::StreamFromStopToAcquire(ULONG streamIndex, StreamProcessorPin* pin,
                                                       LogicalStream** stream)
{
    TRACE_SCOPE(this, "VideoStreamProcessor::StreamFromStopToAcquire", kTraceLowEnter, "nStreamIndex=%u",
                static_cast<unsigned>(streamIndex));
    if (stream != nullptr)
        *stream = nullptr;
    if (pin == nullptr || stream == nullptr)
        return STATUS_INVALID_PARAMETER;
    const ULONG pinId = pin->GetPinId();
    if (pinId < kFirstPinType || pinId >= kRows) {
        TRACE_STATUS(this, "VideoStreamProcessor::StreamFromStopToAcquire", kTraceErrors,
                     MSG_SPECIFIED_PIN_TYPE_INVALID, "Specified pin type of %d is invalid", static_cast<int>(pinId));
        return MSG_SPECIFIED_PIN_TYPE_INVALID;
    }
    if (pin->GetFilter() == nullptr) {
        TRACE_STATUS(this, "VideoStreamProcessor::StreamFromStopToAcquire", kTraceErrors,
                     MSG_FILTER_STREAMING_PIN_NOT_FOUND, "Filter for streaming pin %d was not found",
                     static_cast<int>(pinId));
        return MSG_FILTER_STREAMING_PIN_NOT_FOUND;
    }
    StreamProcessorManager* manager = GetManager();
    PhysicalStreamFactory* factory = manager->GetFactory();
    // The factory hands the board's current video input to the filter before it makes the stream.
    LogicalStream* created =
        factory != nullptr ? factory->CreateVideoStream(manager->GetServices(), GetQueue(), pin) : nullptr;
    return StartFirstPin(streamIndex, pin, created, stream, "VideoStreamProcessor::StreamFromStopToAcquire");
}
