// PullDownGenerator: the 3:2 field pattern.
#include "PullDownGenerator.h"

#include "FieldPictureFrames.h"

namespace stepstest {

void PullDownGenerator::FieldPictures(int64_t n, int* top, int* bottom)
{
    // Four pictures per five frames: fields (0,0) (1,1) (1,2) (2,3) (3,3).
    static const int kTop[5] = {0, 1, 1, 2, 3};
    static const int kBottom[5] = {0, 1, 2, 3, 3};
    const int64_t cycle = n / 5;
    const int position = static_cast<int>(n % 5);
    *top = static_cast<int>(cycle * 4 + kTop[position]);
    *bottom = static_cast<int>(cycle * 4 + kBottom[position]);
}

std::unique_ptr<VideoFrame> PullDownGenerator::Frame(int64_t n) const
{
    int top = 0;
    int bottom = 0;
    FieldPictures(CycleFrame(n), &top, &bottom);
    return MakeFieldPictureFrame(m_width, m_height, top, bottom, n * static_cast<int64_t>(kFrameInterval),
                                 kFrameInterval);
}

} // namespace stepstest
