// Plane checks shared by the picture steps.
#include "picturegeometry.h"

#include "videoframe.h"

namespace {

// Rows [0, rows) of `rowBytes` at `stride` from `plane` stay inside [data, data + size).
bool PlaneInside(const UCHAR* plane, LONG stride, LONG rowBytes, LONG rows, const UCHAR* data, ULONG size)
{
    const LONGLONG first = plane - data;
    const LONGLONG last = first + static_cast<LONGLONG>(stride) * (rows - 1);
    const LONGLONG low = first < last ? first : last;
    const LONGLONG high = (first < last ? last : first) + rowBytes;
    return low >= 0 && high <= static_cast<LONGLONG>(size);
}

} // namespace

bool IsPictureUsable(const VideoFrame* frame)
{
    if (frame == nullptr)
        return false;
    const LONG width = frame->GetWidth();
    const LONG height = frame->GetHeight();
    if (width < 1 || height < 1)
        return false;
    const LONG rowBytes[3] = {width, width / 2, width / 2};
    for (ULONG p = 0; p < 3; ++p) {
        const LONG stride = frame->GetStride(p);
        const LONG magnitude = stride < 0 ? -stride : stride;
        if (frame->GetPlane(p) == nullptr || magnitude < rowBytes[p])
            return false;
    }
    const UCHAR* data = frame->GetFrameData();
    const ULONG size = frame->GetDataSize();
    if (data == nullptr || size == 0)
        return true;
    for (ULONG p = 0; p < 3; ++p)
        if (!PlaneInside(frame->GetPlane(p), frame->GetStride(p), rowBytes[p], height, data, size))
            return false;
    return true;
}

bool ArePicturesCompatible(const VideoFrame* a, const VideoFrame* b)
{
    return IsPictureUsable(a) && IsPictureUsable(b) && a->GetWidth() == b->GetWidth() &&
           a->GetHeight() == b->GetHeight();
}
