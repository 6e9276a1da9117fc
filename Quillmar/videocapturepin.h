// VideoCapturePin: the video capture filter's capture pin (1), a VideoStreamingPin whose connection succeeds
// at once.
#pragma once
#include "videostreamingpin.h"

class VideoCapturePin : public VideoStreamingPin {
public:
    using VideoStreamingPin::VideoStreamingPin;
    ~VideoCapturePin() override;
    NTSTATUS OnConnect() override;
};
