// PhysicalStreamFactory: how a stream processor gets the physical stream of its first pin. The
// physical DSP streams implement it: the video form first hands the current video input of the
// pin's board to the filter's input index and input type, then makes the video stream for the pin;
// the audio form makes the audio stream of the pin's format. Either answers null when no stream
// can be made; a stream it returns may still carry a failed construction status, which the caller
// checks (LogicalStream::GetConstructionStatus) before using it.
#pragma once
#include "km/types.h"

class LogicalStream;
class StreamDeviceServices;
class StreamProcessorPin;
class StreamProcessorQueue;
struct StreamAudioFormat;

class PhysicalStreamFactory {
public:
    virtual LogicalStream* CreateVideoStream(StreamDeviceServices* services, StreamProcessorQueue* queue,
                                             StreamProcessorPin* pin) = 0;
    virtual LogicalStream* CreateAudioStream(StreamDeviceServices* services, StreamProcessorQueue* queue,
                                             StreamProcessorPin* pin, const StreamAudioFormat& format) = 0;

protected:
    ~PhysicalStreamFactory() = default;
};
