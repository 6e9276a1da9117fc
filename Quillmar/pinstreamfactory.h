// PinStreamFactory: the board's physical streams as its pins' stream processors ask for them: a
// VideoStream for the first video pin to leave Stop, an AudioStream of the pin's format for the
// first audio pin, each reading its filter's signal type and current input through the filter's
// StreamFilter side. One per Device, set as its stream processor manager's factory.
#pragma once
#include "physicalstreamfactory.h"

class Device;

class PinStreamFactory : public PhysicalStreamFactory {
public:
    explicit PinStreamFactory(Device* device) : m_device(device) {}
    virtual ~PinStreamFactory() = default;

    // Null when the pin's filter reads no stream (a filter of another kind).
    LogicalStream* CreateVideoStream(StreamDeviceServices* services, StreamProcessorQueue* queue,
                                     StreamProcessorPin* pin) override;
    LogicalStream* CreateAudioStream(StreamDeviceServices* services, StreamProcessorQueue* queue,
                                     StreamProcessorPin* pin, const StreamAudioFormat& format) override;

private:
    Device* m_device;
};
