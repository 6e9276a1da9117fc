// StreamFilter: what a physical stream reads of the filter its pin belongs to: the signal type the
// filter's video decoder settings name, and the type and index of the filter's current input. The
// filters implement it (the video capture filter for the video stream, the audio capture filter
// for the audio stream); the stream tests give a double.
#pragma once
#include "km/types.h"

class StreamFilter {
public:
    // The decoder's current signal type (a video standard bit; 1 for NTSC).
    virtual ULONG GetDecoderSignalType() = 0;
    // The input type of the filter's current input: video 0 live, 2 the test input; audio 10 live,
    // 16 the test input.
    virtual ULONG GetCurrentInputType() = 0;
    // The filter's current input (the index into the device's video or audio input items).
    virtual ULONG GetCurrentInputIndex() = 0;

protected:
    ~StreamFilter() = default;
};
