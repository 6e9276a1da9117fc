// CScale (algorithm id 5): resizes the frame to the pin's output size. The chain builder gives it
// the pin's scaling method and the sizes of the output format: its bitmap (the source size, the
// size of the work frame) and the target rectangle the picture is scaled to inside it.
//
// A frame already at the target size, when the target fills the bitmap, is passed on as it is,
// without a copy (DeliverToChildren keeps it writable for a single child only). Any other frame
// goes into the step's work frame, which has the bitmap's size and is filled black when made, so
// that a target smaller than the bitmap leaves black borders: resized with VideoFrame::Scale, or,
// when it is at the target size already, copied in as it is. A target larger than the bitmap is
// clipped to it.
#pragma once
#include "algorithm.h"
#include "km/types.h"

class VideoFrame;

class CScale : public Algorithm {
public:
    // Scaling methods and the interpolation codes of the image primitives they stand for.
    enum Method : ULONG { kNearest = 0, kLinear = 1, kCubic = 2, kLanczos = 3 };
    static constexpr LONG kCodeNearest = 1;
    static constexpr LONG kCodeLinear = 2;
    static constexpr LONG kCodeCubic = 4;
    static constexpr LONG kCodeLanczos = 16;

    explicit CScale(ULONG method = kNearest);
    ~CScale() override = default;

    void SetMethod(ULONG method) { m_method = method; }
    ULONG GetMethod() const { return m_method; }
    // Stores the sizes and sets the interpolation code from the method: 0 to 3 give 1, 2, 4, 16;
    // a method above 3 leaves the code as it was (nearest unless set before).
    void SetScaling(LONG sourceWidth, LONG sourceHeight, LONG targetWidth, LONG targetHeight);
    LONG GetInterpolationCode() const { return m_interpolation; }
    // The target size the frames are scaled to: the target clipped to the source size (a source
    // size of 0 does not clip).
    LONG ScaledWidth() const;
    LONG ScaledHeight() const;

    // Pass-through or resize (see the file comment).
    void Process(Frame* frame) override;
    // Same id, the same four sizes and method.
    bool IsEqual(const Algorithm* other) const override;

    // The work frame (null before the first resize).
    VideoFrame* GetWorkFrame() const;

private:
    // The size of the work frame: the source size (the scaled size without one).
    LONG OutputWidth() const;
    LONG OutputHeight() const;
    // Makes the work frame on first use, of the output size, filled black. Null when it cannot be
    // allocated.
    VideoFrame* EnsureWorkFrame();
    // A frame at the target size copied into the work frame's top left corner.
    void CopyIntoWorkFrame(const VideoFrame* input, VideoFrame* work, LONG width, LONG height);

    LONG m_sourceWidth = 0;
    LONG m_sourceHeight = 0;
    LONG m_targetWidth = 0;
    LONG m_targetHeight = 0;
    ULONG m_method;
    LONG m_interpolation = kCodeNearest;
};
