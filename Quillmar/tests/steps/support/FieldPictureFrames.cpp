// Field picture frames: writing and reading the per-field picture indices.
#include "FieldPictureFrames.h"

#include <vector>

namespace stepstest {

uint8_t FieldPictureLevel(int index)
{
    return static_cast<uint8_t>(40 + (index % 8) * 20);
}

void WriteFieldPicture(VideoFrame* frame, int field, int index)
{
    const int width = frame->GetWidth();
    for (int row = field; row < frame->GetHeight(); row += 2) {
        uint8_t* y = frame->GetPlane(0) + static_cast<int64_t>(frame->GetStride(0)) * row;
        for (int x = 0; x < width; ++x)
            y[x] = FieldPictureLevel(index);
        y[0] = static_cast<uint8_t>(index & 0xFF);
        y[1] = static_cast<uint8_t>((index >> 8) & 0xFF);
        for (int p = 1; p < 3; ++p) {
            uint8_t* c = frame->GetPlane(p) + static_cast<int64_t>(frame->GetStride(p)) * row;
            for (int x = 0; x < width / 2; ++x)
                c[x] = static_cast<uint8_t>(100 + (index % 5) * 10 + p);
        }
    }
}

int ReadFieldPicture(const VideoFrame* frame, int field)
{
    int found = -1;
    for (int row = field; row < frame->GetHeight(); row += 2) {
        const uint8_t* y = frame->GetPlane(0) + static_cast<int64_t>(frame->GetStride(0)) * row;
        const int index = y[0] | (y[1] << 8);
        if (found == -1)
            found = index;
        if (index != found || y[2] != FieldPictureLevel(index) || y[frame->GetWidth() - 1] != FieldPictureLevel(index))
            return -1;
    }
    return found;
}

int ReadFramePicture(const VideoFrame* frame)
{
    const int top = ReadFieldPicture(frame, 0);
    return top >= 0 && top == ReadFieldPicture(frame, 1) ? top : -1;
}

std::unique_ptr<VideoFrame> MakeFieldPictureFrame(int width, int height, int top, int bottom, int64_t stamp,
                                                  uint32_t interval)
{
    auto frame = std::make_unique<VideoFrame>(width, height, 8, true);
    frame->FillBlack();
    WriteFieldPicture(frame.get(), 0, top);
    WriteFieldPicture(frame.get(), 1, bottom);
    frame->SetFrameNumber(stamp);
    frame->SetFrameInterval(interval);
    frame->SetActiveSize(0, width, (height + 1) / 2);
    frame->SetActiveSize(1, width, height / 2);
    frame->SetWritable(false);
    return frame;
}

void FillPattern(VideoFrame* frame, uint32_t seed)
{
    const int width = frame->GetWidth();
    const int widths[3] = {width, width / 2, width / 2};
    for (int p = 0; p < 3; ++p)
        for (int row = 0; row < frame->GetHeight(); ++row) {
            uint8_t* line = frame->GetPlane(p) + static_cast<int64_t>(frame->GetStride(p)) * row;
            for (int x = 0; x < widths[p]; ++x)
                line[x] = static_cast<uint8_t>((x * 7 + row * 13 + p * 61 + seed * 29 + (x * row) % 11) & 0xFF);
        }
}

std::vector<uint8_t> PictureBytes(const VideoFrame* frame)
{
    std::vector<uint8_t> bytes;
    const int width = frame->GetWidth();
    const int widths[3] = {width, width / 2, width / 2};
    for (int p = 0; p < 3; ++p)
        for (int row = 0; row < frame->GetHeight(); ++row) {
            const uint8_t* line = frame->GetPlane(p) + static_cast<int64_t>(frame->GetStride(p)) * row;
            bytes.insert(bytes.end(), line, line + widths[p]);
        }
    return bytes;
}

} // namespace stepstest
