// Frames the video steps make for themselves (work frames, logo frames): allocated without
// raising, so that a pool that cannot serve one makes the step do without it instead of ending the
// frame's walk through the tree.
#pragma once
#include "km/types.h"

class Frame;
class VideoFrame;

// An allocated 8-bit 4:2:2 frame of width x height with its buffer, or null when the object or
// its buffer cannot be had (nothing is left allocated then).
VideoFrame* NewVideoFrame(LONG width, LONG height);
// A frame that owns a buffer of `bytes` bytes of non-paged pool (format 8), for the steps that
// deliver bytes rather than pictures; null when the object or its buffer cannot be had (nothing is
// left allocated then).
Frame* NewDataFrame(ULONG bytes);
