// VideoCCPin: the video capture filter's closed-caption pin (4), a VideoStreamingPin whose connection
// succeeds at once.
#pragma once
#include "videostreamingpin.h"

class VideoCCPin : public VideoStreamingPin {
public:
    using VideoStreamingPin::VideoStreamingPin;
    ~VideoCCPin() override;
    NTSTATUS OnConnect() override;
};
