// VideoStreamProcessor: the stream processor of a device's video pins (capture, preview, VBI,
// closed captions: pin ids 1 to 4), over one video stream.
#pragma once
#include "streamprocessor.h"

class VideoStreamProcessor : public StreamProcessor {
public:
    static constexpr ULONG kFirstPinType = 1;
    static constexpr ULONG kRows = 5;

    VideoStreamProcessor(StreamProcessorManager* manager, StreamProcessorQueue* queue);
    ~VideoStreamProcessor() override;

    // Checks the pin id (1 to 4, else 0xC007100B) and its filter (0xC007100C), has the factory
    // make the video stream (none: 0xC0071000 logged, 0xC000009A), then the pin's and the stream's
    // Stop to Acquire.
    NTSTATUS StreamFromStopToAcquire(ULONG streamIndex, StreamProcessorPin* pin, LogicalStream** stream) override;
};
