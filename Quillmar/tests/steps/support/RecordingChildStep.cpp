// RecordingChildStep: what a frame looks like when it arrives.
#include "RecordingChildStep.h"

#include "FieldPictureFrames.h"
#include "videoframe.h"

namespace stepstest {

void RecordingChildStep::Process(Frame* frame)
{
    auto* video = static_cast<VideoFrame*>(frame);
    RecordedFrame r{};
    r.frame = frame;
    r.y = video->GetPlane(0);
    r.stamp = video->GetFrameNumber();
    r.interval = video->GetFrameInterval();
    r.flags = video->GetFlags();
    r.sequenceWord = video->GetIntervalWord();
    r.writable = video->IsWritable();
    r.width = video->GetWidth();
    r.height = video->GetHeight();
    r.strideY = video->GetStride(0);
    r.fieldHeight[0] = video->GetActiveSize(0).height;
    r.fieldHeight[1] = video->GetActiveSize(1).height;
    r.topPicture = video->GetPlane(0) != nullptr && video->GetWidth() > 2 ? ReadFieldPicture(video, 0) : -1;
    r.bottomPicture = video->GetPlane(0) != nullptr && video->GetWidth() > 2 ? ReadFieldPicture(video, 1) : -1;
    if (m_copyBytes)
        r.bytes = PictureBytes(video);
    m_frames.push_back(std::move(r));
    if (m_writeMark && video->IsWritable())
        video->GetPlane(0)[0] = m_mark;
    DeliverToChildren(frame);
}

} // namespace stepstest
