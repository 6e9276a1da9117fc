// A 3:2 pull-down source: 24 progressive pictures a second laid into interlaced frames at 29.97,
// as a telecine does. Pictures A, B, C, D become the frames (A, A), (B, B), (B, C), (C, D), (D, D)
// (field 0, field 1): field 0 of the third frame repeats the second frame's. Frames are stamped
// 333667 apart and carry that interval.
#pragma once
#include <cstdint>
#include <memory>

#include "videoframe.h"

namespace stepstest {

class PullDownGenerator {
public:
    static constexpr uint32_t kFrameInterval = 333667;

    // `phase` (0..4) is where in the five-frame cycle the first frame lies.
    PullDownGenerator(int width, int height, int phase = 0) : m_width(width), m_height(height), m_phase(phase) {}

    // The pictures in the two fields of frame n.
    static void FieldPictures(int64_t n, int* top, int* bottom);
    // Frame n of the sequence (counted from the generator's first frame).
    std::unique_ptr<VideoFrame> Frame(int64_t n) const;
    // How many pictures the frames before frame n have started (the picture count of n frames).
    int64_t CycleFrame(int64_t n) const { return n + m_phase; }

private:
    int m_width;
    int m_height;
    int m_phase;
};

} // namespace stepstest
