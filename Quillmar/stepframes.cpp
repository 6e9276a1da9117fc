// Allocation of the video steps' own frames.
#include "stepframes.h"

#include "frame.h"
#include "kernel/poolallocation.h"
#include "km/raise.h"
#include "videoframe.h"

VideoFrame* NewVideoFrame(LONG width, LONG height)
{
    if (width < 1 || height < 1)
        return nullptr;
    VideoFrame* frame = nullptr;
    try {
        frame = new VideoFrame(width, height, 8, true);
    } catch (const standin::RaisedStatus&) {
        return nullptr;
    }
    if (!frame->GetFrameData()) {
        delete frame;
        return nullptr;
    }
    return frame;
}

Frame* NewDataFrame(ULONG bytes)
{
    auto* data = static_cast<PUCHAR>(AllocatePoolOfType(bytes, NonPagedPool));
    if (!data)
        return nullptr;
    Frame* frame = nullptr;
    try {
        frame = new Frame();
    } catch (const standin::RaisedStatus&) {
        FreePool(data);
        return nullptr;
    }
    frame->Initialize(data, bytes, 8);
    return frame;
}
