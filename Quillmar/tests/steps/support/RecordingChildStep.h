// A child step for the steps' tests: it records what every frame it receives looks like at the
// moment it arrives (the frame and its Y plane, stamp, flags, sequence word, writable mark,
// geometry, the picture index of each field and, on request, a copy of the picture bytes), then
// passes the frame on to its own children like any step. With writeMark set it also writes a mark
// into the first luma byte of every writable frame, as an in-place step below would.
#pragma once
#include <cstdint>
#include <vector>

#include "algorithm.h"

namespace stepstest {

struct RecordedFrame {
    const Frame* frame;
    const uint8_t* y;
    int64_t stamp;
    uint32_t interval;
    uint32_t flags;
    uint32_t sequenceWord;
    bool writable;
    int width;
    int height;
    int strideY;
    int fieldHeight[2];
    int topPicture;    // ReadFieldPicture of field 0
    int bottomPicture; // of field 1
    std::vector<uint8_t> bytes; // PictureBytes, when copying
};

class RecordingChildStep : public Algorithm {
public:
    explicit RecordingChildStep(LONG id = kAlgorithmIdEnd, bool copyBytes = false)
        : Algorithm(id), m_copyBytes(copyBytes)
    {
    }

    void Process(Frame* frame) override;

    const std::vector<RecordedFrame>& Frames() const { return m_frames; }
    void Clear() { m_frames.clear(); }
    // Written into the first luma byte of every writable frame received (when set).
    void SetWriteMark(bool write, uint8_t mark)
    {
        m_writeMark = write;
        m_mark = mark;
    }

private:
    bool m_copyBytes;
    bool m_writeMark = false;
    uint8_t m_mark = 0;
    std::vector<RecordedFrame> m_frames;
};

} // namespace stepstest
