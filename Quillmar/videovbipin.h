// VideoVBIPin: the video capture filter's VBI pin (3), a VideoStreamingPin whose connection succeeds at once.
#pragma once
#include "videostreamingpin.h"

class VideoVBIPin : public VideoStreamingPin {
public:
    using VideoStreamingPin::VideoStreamingPin;
    ~VideoVBIPin() override;
    NTSTATUS OnConnect() override;
};
