// Frames for the logo, scale and output tests: allocated internal frames filled plane by plane
// (constant samples, a function of the position, or random), and snapshots of a frame's picture
// to compare before and after a step.
#pragma once
#include "videoframe.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct FrameDeleter {
    void operator()(VideoFrame* frame) const { delete frame; }
};
using VideoFramePtr = std::unique_ptr<VideoFrame, FrameDeleter>;

// An allocated 8-bit frame of width x height with every sample of its planes (the whole stride)
// set to y, u, v.
VideoFramePtr MakePicture(int width, int height, uint8_t y, uint8_t u, uint8_t v);
// Samples set by position: plane 0 is Y (x < width), planes 1 and 2 chroma (x < width / 2).
VideoFramePtr MakePicture(int width, int height, const std::function<uint8_t(int plane, int x, int row)>& sample);
// Random samples from a fixed seed.
VideoFramePtr MakeRandomPicture(int width, int height, uint32_t seed);

// Every byte of the three planes, stride by stride, over the frame's rows.
std::vector<uint8_t> Snapshot(const VideoFrame& frame);
uint8_t SampleAt(const VideoFrame& frame, int plane, int x, int row);
