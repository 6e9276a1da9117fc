// CScale: resizing to the pin's output size.
#include "cscale.h"

#include "planework.h"
#include "stepframes.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include <cstdlib>

namespace {

// |value| of a size from a format header; the lowest LONG, which has no magnitude, counts as 0.
LONG Magnitude(LONG value)
{
    return value == LONG(0x80000000) ? 0 : std::abs(value);
}

} // namespace

CScale::CScale(ULONG method) : Algorithm(kAlgorithmIdScale), m_method(method)
{
    TRACE_SCOPE(this, "CScale::CScale", kTraceLowEnter);
}

void CScale::SetScaling(LONG sourceWidth, LONG sourceHeight, LONG targetWidth, LONG targetHeight)
{
    TRACE_SCOPE(this, "CScale::SetScaling", kTraceLowEnter, "nSrcWidth=%d, nSrcHeight=%d, nDstWidth=%d, nDstHeight=%d",
                sourceWidth, sourceHeight, targetWidth, targetHeight);
    m_sourceWidth = sourceWidth;
    m_sourceHeight = sourceHeight;
    m_targetWidth = targetWidth;
    m_targetHeight = targetHeight;
    switch (m_method) {
    case kNearest:
        m_interpolation = kCodeNearest;
        break;
    case kLinear:
        m_interpolation = kCodeLinear;
        break;
    case kCubic:
        m_interpolation = kCodeCubic;
        break;
    case kLanczos:
        m_interpolation = kCodeLanczos;
        break;
    default:
        break; // left as it was: nearest unless a valid method set it before
    }
}

LONG CScale::ScaledWidth() const
{
    const LONG target = Magnitude(m_targetWidth);
    const LONG source = Magnitude(m_sourceWidth);
    return (source > 0 && target > source) ? source : target;
}

LONG CScale::ScaledHeight() const
{
    const LONG target = Magnitude(m_targetHeight);
    const LONG source = Magnitude(m_sourceHeight);
    return (source > 0 && target > source) ? source : target;
}

VideoFrame* CScale::GetWorkFrame() const
{
    return static_cast<VideoFrame*>(GetOutputFrame());
}

VideoFrame* CScale::EnsureWorkFrame()
{
    if (VideoFrame* work = GetWorkFrame())
        return work;
    VideoFrame* work = NewVideoFrame(OutputWidth(), OutputHeight());
    if (!work)
        return nullptr;
    work->FillBlack();
    SetOutputFrame(work);
    return work;
}

LONG CScale::OutputWidth() const
{
    return m_sourceWidth != 0 ? Magnitude(m_sourceWidth) : ScaledWidth();
}

LONG CScale::OutputHeight() const
{
    return m_sourceHeight != 0 ? Magnitude(m_sourceHeight) : ScaledHeight();
}

void CScale::Process(Frame* frame)
{
    TRACE_SCOPE(this, "CScale::Process", kTraceLowEnter);
    BeginTiming();
    auto* input = static_cast<VideoFrame*>(frame);
    const LONG width = ScaledWidth();
    const LONG height = ScaledHeight();
    Frame* output = frame;
    if (input && width > 0 && height > 0) {
        const bool atTarget = Magnitude(input->GetWidth()) == width && Magnitude(input->GetHeight()) == height;
        // A frame at the target size needs no resize; it goes on as it is only when the target
        // fills the bitmap. Inside a larger bitmap it is laid into the work frame as it is, so
        // that what follows writes rows of the bitmap's pitch, not of the target's.
        const bool fillsBitmap = width == OutputWidth() && height == OutputHeight();
        if (!atTarget || !fillsBitmap) {
            if (VideoFrame* work = EnsureWorkFrame()) {
                if (atTarget)
                    CopyIntoWorkFrame(input, work, width, height);
                else
                    input->Scale(work, m_interpolation, width, height);
                input->CopyAttributes(work, true);
                work->SetWritable(true);
                output = work;
            }
        }
    }
    EndTiming();
    DeliverToChildren(output);
}

void CScale::CopyIntoWorkFrame(const VideoFrame* input, VideoFrame* work, LONG width, LONG height)
{
    if (!input->PlanesInBuffer() || !work->PlanesInBuffer() || ULONG(width) > work->GetRowWidth() ||
        ULONG(height) > work->GetRowCount())
        return;
    for (ULONG plane = 0; plane < 3; ++plane) {
        GuardedPlaneWork(this, "CScale::CopyIntoWorkFrame", "copy the frame into the scaled frame", [&] {
            CopyPlaneRows(input->GetPlane(plane), input->GetStride(plane), work->GetPlane(plane), work->GetStride(plane),
                          plane == 0 ? width : width / 2, height);
        });
    }
}

bool CScale::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* scale = static_cast<const CScale*>(other);
    return m_sourceWidth == scale->m_sourceWidth && m_sourceHeight == scale->m_sourceHeight &&
           m_targetWidth == scale->m_targetWidth && m_targetHeight == scale->m_targetHeight &&
           m_method == scale->m_method;
}
