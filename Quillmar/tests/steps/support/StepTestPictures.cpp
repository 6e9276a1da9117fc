// Test pictures.
#include "StepTestPictures.h"

#include <random>

VideoFramePtr MakePicture(int width, int height, uint8_t y, uint8_t u, uint8_t v)
{
    VideoFramePtr frame(new VideoFrame(width, height, 8, true));
    frame->Fill(y, u, v);
    return frame;
}

VideoFramePtr MakePicture(int width, int height, const std::function<uint8_t(int plane, int x, int row)>& sample)
{
    VideoFramePtr frame = MakePicture(width, height, 0, 0, 0);
    for (int p = 0; p < 3; ++p) {
        const int columns = p == 0 ? width : width / 2;
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < columns; ++x)
                frame->GetPlane(p)[size_t(r) * frame->GetStride(p) + x] = sample(p, x, r);
    }
    return frame;
}

VideoFramePtr MakeRandomPicture(int width, int height, uint32_t seed)
{
    std::mt19937 random(seed);
    return MakePicture(width, height, [&](int, int, int) { return uint8_t(random()); });
}

std::vector<uint8_t> Snapshot(const VideoFrame& frame)
{
    std::vector<uint8_t> bytes;
    for (int p = 0; p < 3; ++p) {
        const uint8_t* plane = frame.GetPlane(p);
        bytes.insert(bytes.end(), plane, plane + size_t(frame.GetStride(p)) * frame.GetRowCount());
    }
    return bytes;
}

uint8_t SampleAt(const VideoFrame& frame, int plane, int x, int row)
{
    return frame.GetPlane(plane)[size_t(row) * frame.GetStride(plane) + x];
}
