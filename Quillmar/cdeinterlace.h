// CDeInterlace: the deinterlace step (algorithm id 4) of the video chains. Type 1 ("Bob 0")
// rebuilds the picture from one field, type 2 ("Bob 1") from the other, type 3 (advanced) works
// per pixel pair: where the two lines of a pair differ by the line-difference threshold or more
// the second line takes the first's samples, where they differ by the blend threshold or more
// both are averaged into the second, elsewhere the picture stays. Other types copy only.
//
// The step writes into the incoming frame when that frame is writable, else into a work frame of
// its own (Algorithm::PrepareInPlaceFrame). A frame without a second field goes on unchanged.
#pragma once
#include "algorithm.h"
#include "km/types.h"

class VideoFrame;

class CDeInterlace : public Algorithm {
public:
    static constexpr LONG kTypeBob0 = 1;
    static constexpr LONG kTypeBob1 = 2;
    static constexpr LONG kTypeAdvanced = 3;
    static constexpr LONG kDefaultLineDifferenceThreshold = 10;
    // Below the line-difference threshold: pairs that differ by 5 to 9 are blended, smaller
    // differences are taken as detail of a still picture and kept.
    static constexpr LONG kBlendThreshold = 5;

    // Enabled, with the given type (1 when built without one).
    explicit CDeInterlace(LONG type = kTypeBob0);
    ~CDeInterlace() override;

    void Process(Frame* frame) override;
    // Ids, enabled flags, types and line-difference thresholds equal.
    bool IsEqual(const Algorithm* other) const override;

    // Not in place, `in` is copied into `out` first; then by type: 1 out's field 0 from in's
    // field 1, 2 out's field 1 from in's field 0, 3 DeinterlaceAdvanced(out), others nothing more.
    void DeInterlace(const VideoFrame* in, VideoFrame* out, bool inPlace);
    // The per-pixel pass, in place, over the line pairs both fields have. An exception ends the
    // pass (the rest of the frame stays as it is) and is counted; the first ten are logged.
    void DeinterlaceAdvanced(VideoFrame* frame);

    LONG GetType() const { return m_nType; }
    bool IsEnabled() const { return m_nEnabled != 0; }
    LONG GetLineDifferenceThreshold() const { return m_nLineDifferenceThreshold; }
    LONG GetBlendThreshold() const { return m_nBlendThreshold; }
    ULONG GetExceptionCount() const { return m_nExceptionCount; }

private:
    LONG m_nEnabled = 1;
    LONG m_nType;
    LONG m_nLineDifferenceThreshold = kDefaultLineDifferenceThreshold;
    LONG m_nBlendThreshold = kBlendThreshold;
    ULONG m_nExceptionCount = 0;
};
