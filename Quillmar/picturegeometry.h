// Checks the picture steps make before touching planes: a frame's three planes exist, their
// strides hold a row, and, when the frame knows its buffer, every row of every plane lies inside
// it. A frame laid over somebody else's picture (a crop view) has no buffer of its own; its rows
// were checked against the picture it views when it was made.
#pragma once
#include "km/types.h"

class VideoFrame;

// The planes of an 8-bit 4:2:2 picture of the frame's width and height can be read and written:
// width and height at least 1, Y rows of width bytes, U and V rows of width / 2 bytes, every plane
// `height` rows.
bool IsPictureUsable(const VideoFrame* frame);
// Both usable and of the same width and height.
bool ArePicturesCompatible(const VideoFrame* a, const VideoFrame* b);
