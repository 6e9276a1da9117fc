// The physical stream factory of the stream-engine tests: FakePhysicalStreams with the options the
// test sets, the pins and audio formats it was asked for, and an optional refusal (null).
#pragma once
#include "FakePhysicalStream.h"
#include "physicalstreamfactory.h"
#include "streamprocessorpin.h"

#include <atomic>
#include <vector>

namespace streamtest {

class FakePhysicalStreamFactory : public PhysicalStreamFactory {
public:
    LogicalStream* CreateVideoStream(StreamDeviceServices* services, StreamProcessorQueue* queue,
                                     StreamProcessorPin* pin) override;
    LogicalStream* CreateAudioStream(StreamDeviceServices* services, StreamProcessorQueue* queue,
                                     StreamProcessorPin* pin, const StreamAudioFormat& format) override;

    FakePhysicalStream::Options options;
    bool refuse = false;
    std::atomic<int> videoCreates{0};
    std::atomic<int> audioCreates{0};
    StreamAudioFormat lastAudioFormat{};
    // The last stream made (it belongs to its processor).
    FakePhysicalStream* last = nullptr;
};

} // namespace streamtest
