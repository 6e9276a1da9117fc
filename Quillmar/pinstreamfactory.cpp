// PinStreamFactory: the video and audio streams of the board's pins.
#include "pinstreamfactory.h"

#include "audiostream.h"
#include "basicfilter.h"
#include "device.h"
#include "streamfilter.h"
#include "streamprocessorpin.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videostream.h"

namespace {

StreamFilter* StreamFilterOf(StreamProcessorPin* pin)
{
    return pin != nullptr ? dynamic_cast<StreamFilter*>(pin->GetFilter()) : nullptr;
}

} // namespace

LogicalStream* PinStreamFactory::CreateVideoStream(StreamDeviceServices* services,
                                                   StreamProcessorQueue* queue, StreamProcessorPin* pin)
{
    TRACE_SCOPE(m_device, "PinStreamFactory::CreateVideoStream", kTraceLowEnter);
    StreamFilter* filter = StreamFilterOf(pin);
    if (filter == nullptr)
        return nullptr;
    return new VideoStream(services, m_device, queue, filter, pin->GetPinId());
}

LogicalStream* PinStreamFactory::CreateAudioStream(StreamDeviceServices* services,
                                                   StreamProcessorQueue* queue, StreamProcessorPin* pin,
                                                   const StreamAudioFormat& format)
{
    TRACE_SCOPE(m_device, "PinStreamFactory::CreateAudioStream", kTraceLowEnter);
    StreamFilter* filter = StreamFilterOf(pin);
    if (filter == nullptr)
        return nullptr;
    return new AudioStream(services, m_device, queue, filter, format.validBitsPerSample);
}
