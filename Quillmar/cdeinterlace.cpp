// CDeInterlace: the field copies of the two bob types and the per-pixel pass of the advanced type.
#include "cdeinterlace.h"

#include "picturegeometry.h"
#include "stepguard.h"
#include "tracescope.h"
#include "videoframe.h"

CDeInterlace::CDeInterlace(LONG type) : Algorithm(kAlgorithmIdDeinterlace), m_nType(type)
{
    TRACE_SCOPE(this, "CDeInterlace::CDeInterlace", kTraceLowEnter, "nType=%d", type);
}

CDeInterlace::~CDeInterlace()
{
    TRACE_SCOPE(this, "CDeInterlace::~CDeInterlace", kTraceLowEnter);
}

bool CDeInterlace::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* peer = static_cast<const CDeInterlace*>(other);
    return m_nEnabled == peer->m_nEnabled && m_nType == peer->m_nType &&
           m_nLineDifferenceThreshold == peer->m_nLineDifferenceThreshold;
}

void CDeInterlace::Process(Frame* frame)
{
    BeginTiming();
    auto* in = static_cast<VideoFrame*>(frame);
    Frame* result = frame;
    if (in != nullptr && in->GetActiveSize(1).height > 0 && IsPictureUsable(in)) {
        VideoFrame* out = PrepareInPlaceFrame(in, false);
        if (out != nullptr) {
            DeInterlace(in, out, out == in);
            result = out;
        }
    }
    // A single field (or a frame whose planes cannot be worked on) goes on as it came.
    EndTiming();
    DeliverToChildren(result);
}

void CDeInterlace::DeInterlace(const VideoFrame* in, VideoFrame* out, bool inPlace)
{
    if (!inPlace)
        out->CopyFrame(in);
    switch (m_nType) {
    case kTypeBob0:
        out->CopyFieldToFrame(in, 1, 0, 0);
        break;
    case kTypeBob1:
        out->CopyFieldToFrame(in, 0, 1, 0);
        break;
    case kTypeAdvanced:
        DeinterlaceAdvanced(out);
        break;
    default:
        break;
    }
}

void CDeInterlace::DeinterlaceAdvanced(VideoFrame* frame)
{
    if (!IsPictureUsable(frame))
        return;
    LONG pairs = frame->GetActiveSize(0).height;
    if (frame->GetActiveSize(1).height < pairs)
        pairs = frame->GetActiveSize(1).height;
    // Both lines of every pair lie inside the picture, whatever the field sizes claim.
    if (pairs > frame->GetHeight() / 2)
        pairs = frame->GetHeight() / 2;
    const LONG width = frame->GetWidth();
    const LONG line = m_nLineDifferenceThreshold;
    const LONG blend = m_nBlendThreshold;
    GuardedStepWork(this, "CDeInterlace::DeinterlaceAdvanced", "deinterlace the video frame", &m_nExceptionCount, [&] {
        const LONGLONG strideY = frame->GetStride(0);
        const LONGLONG strideU = frame->GetStride(1);
        const LONGLONG strideV = frame->GetStride(2);
        for (LONG r = 0; r < pairs; ++r) {
            UCHAR* evenY = frame->GetPlane(0) + strideY * 2 * r;
            UCHAR* oddY = evenY + strideY;
            UCHAR* evenU = frame->GetPlane(1) + strideU * 2 * r;
            UCHAR* oddU = evenU + strideU;
            UCHAR* evenV = frame->GetPlane(2) + strideV * 2 * r;
            UCHAR* oddV = evenV + strideV;
            for (LONG x = 0; x < width - 2; x += 2) {
                const LONG c = x / 2;
                LONG d = static_cast<LONG>(evenY[x]) - static_cast<LONG>(oddY[x]);
                if (d < 0)
                    d = -d;
                if (d >= line) {
                    oddY[x] = evenY[x];
                    oddY[x + 1] = evenY[x + 1];
                    oddU[c] = evenU[c];
                    oddV[c] = evenV[c];
                } else if (d >= blend) {
                    oddY[x] = static_cast<UCHAR>((evenY[x] + oddY[x]) >> 1);
                    oddY[x + 1] = static_cast<UCHAR>((evenY[x + 1] + oddY[x + 1]) >> 1);
                    oddU[c] = static_cast<UCHAR>((evenU[c] + oddU[c]) >> 1);
                    oddV[c] = static_cast<UCHAR>((evenV[c] + oddV[c]) >> 1);
                }
            }
        }
    });
}
