// COutColorSpace (algorithm id 11): the last step before a video pin's sink. It converts the
// internal planar 4:2:2 frame into the pin's output format, by output index:
//   0 8-bit grey (the Y plane)      4 UYVY: U Y0 V Y1
//   1 RGB555, blue in bits 0-4      5 I420: Y, then U, then V at half width and height (rounded up)
//   2 RGB24: blue, green, red       6 YUY2: Y0 U Y1 V
//   3 RGB32: blue, green, red, 0    7 YVU9: Y, then V, then U at a quarter of width and height
// Rows of grey and RGB are padded to a multiple of 4 bytes; UYVY and YUY2 rows follow each other
// with no gap; the planes of I420 and YVU9 follow each other. With mirroring (bottom-up RGB) the
// picture's top row goes into the buffer's last row: the conversions write with a negative step
// from the last row, and the input frame is never written.
//
// When the step is its parent's only path to a single child that lends a buffer large enough for
// the whole output (the sink's client buffer), the output frame is laid over that buffer for the
// conversion, so the picture is written straight into the client's memory and the sink copies
// nothing; the frame's own layout is put back afterwards.
#pragma once
#include "algorithm.h"
#include "km/types.h"

class VideoFrame;

class COutColorSpace : public Algorithm {
public:
    enum OutputIndex : ULONG {
        kGray = 0,
        kRgb555 = 1,
        kRgb24 = 2,
        kRgb32 = 3,
        kUyvy = 4,
        kI420 = 5,
        kYuy2 = 6,
        kYvu9 = 7,
    };
    static constexpr ULONG kOutputCount = 8;
    // The largest width or height converted.
    static constexpr LONG kMaximumSide = 16384;

    // Where each plane of an output picture lies in its buffer, and how many bytes it writes.
    struct OutputLayout {
        ULONG offset[3];  // of each plane's first row
        LONG pitch[3];    // bytes from one row to the next
        LONG rows[3];
        ULONG bytes;      // the whole output
        ULONG planes;     // 1 for packed formats, 3 for I420 and YVU9
    };
    // The layout of output `index` for a width x height picture (bytes 0 for an unknown index, an
    // empty picture or a side above kMaximumSide).
    static OutputLayout LayoutFor(ULONG index, LONG width, LONG height);

    COutColorSpace(bool mirror, ULONG outputIndex);
    ~COutColorSpace() override;

    bool GetMirror() const { return m_mirror; }
    ULONG GetOutputIndex() const { return m_outputIndex; }

    // Converts the frame (format 8 only) and hands the output to the children.
    void Process(Frame* frame) override;
    // Same id, mirror flag and output index.
    bool IsEqual(const Algorithm* other) const override;

    // The output frame (null before the first frame).
    VideoFrame* GetOutputVideoFrame() const;
    // Whether the last frame was written into a lent buffer.
    bool LastOutputWasLent() const { return m_lastLent; }

    // The conversions, from `input` into the picture whose plane rows start at dst[p] with the
    // layout's pitches (negative pitches with mirroring). Each runs its plane work under the
    // frames' exception guard.
    void Kp08ToGray(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3]);
    void Kp08ToRGB555(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3]);
    void Kp08ToRGB24(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3]);
    void Kp08ToRGB32(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3]);
    void Kp08ToUyVy(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3]);
    void Kp08ToI420(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3]);
    void Kp08ToYUY2(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3]);
    void Kp08ToYVU9(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3]);

    class OutputFrame;

private:
    // (Re)makes the output frame for a width x height input; null when it cannot be allocated.
    OutputFrame* EnsureOutputFrame(LONG width, LONG height);
    // Converts `input` into the buffer at `data` laid out as `layout`.
    void Convert(const VideoFrame* input, PUCHAR data, const OutputLayout& layout);
    void ConvertPacked422(const VideoFrame* input, UCHAR* dst, LONG pitch, bool uFirst);

    bool m_mirror;
    ULONG m_outputIndex;
    bool m_lastLent = false;
};
