// VideoPreviewPin: the video capture filter's preview pin (2), a VideoStreamingPin whose connection succeeds
// at once.
#pragma once
#include "videostreamingpin.h"

class VideoPreviewPin : public VideoStreamingPin {
public:
    using VideoStreamingPin::VideoStreamingPin;
    ~VideoPreviewPin() override;
    NTSTATUS OnConnect() override;
};
