#include "FakePhysicalStreamFactory.h"

namespace streamtest {

LogicalStream* FakePhysicalStreamFactory::CreateVideoStream(StreamDeviceServices* services,
                                                            StreamProcessorQueue* queue, StreamProcessorPin*)
{
    ++videoCreates;
    if (refuse)
        return nullptr;
    FakePhysicalStream::Options video = options;
    video.type = LogicalStreamType::Video;
    last = new FakePhysicalStream(services, queue, video);
    return last;
}

LogicalStream* FakePhysicalStreamFactory::CreateAudioStream(StreamDeviceServices* services,
                                                            StreamProcessorQueue* queue, StreamProcessorPin*,
                                                            const StreamAudioFormat& format)
{
    ++audioCreates;
    lastAudioFormat = format;
    if (refuse)
        return nullptr;
    FakePhysicalStream::Options audio = options;
    audio.type = LogicalStreamType::Audio;
    last = new FakePhysicalStream(services, queue, audio);
    return last;
}

} // namespace streamtest
