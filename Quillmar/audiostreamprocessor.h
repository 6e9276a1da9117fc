// AudioStreamProcessor: the stream processor of a device's audio capture pins, over one audio
// stream made for the first pin's format.
#pragma once
#include "streamprocessor.h"

class AudioStreamProcessor : public StreamProcessor {
public:
    static constexpr ULONG kFirstPinType = 0;
    static constexpr ULONG kRows = 9;

    AudioStreamProcessor(StreamProcessorManager* manager, StreamProcessorQueue* queue);
    ~AudioStreamProcessor() override;

    // As the video form, without the pin-id check: the factory makes the audio stream of the pin's
    // format.
    NTSTATUS StreamFromStopToAcquire(ULONG streamIndex, StreamProcessorPin* pin, LogicalStream** stream) override;
};
