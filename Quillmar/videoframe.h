// VideoFrame: the driver's internal picture, planar 4:2:2 ("Kp08"): three planes Y, U (Cb), V (Cr),
// the chroma planes half as wide as the luma plane and as tall. The row width S is the luma width
// rounded up to 16 bytes; with one byte a sample the Y stride is S, U starts S x height bytes in
// and V S x height / 2 after U, both chroma strides S / 2.
//
// Plane work (copies, imports, mirror, resize) goes through the image primitives under the frames'
// exception guard (planework.h): an exception is logged and the frame goes on. Every operation
// that reads another buffer or frame stays inside both: row counts and widths are the smaller of
// the two, imports refuse a source shorter than the picture needs.
#pragma once
#include "frame.h"

// Byte order of packed 4:2:2 pictures.
enum class PackedOrder {
    Yuy2, // Y0 U Y1 V
    Uyvy, // U Y0 V Y1
};

class VideoFrame : public Frame {
public:
    // Bytes added to the picture when a frame allocates its own buffer at construction.
    static constexpr ULONG kAllocationSlackBytes = 8192;

    // No buffer, all geometry 0, bytes per pixel 2.
    VideoFrame();
    // Width, height, row width (width rounded up to 16), row count = height, bytes per pixel (4
    // when the bit depth is not a multiple of 8, else 2); with allocate,
    // EnsureBufferSize(bytes per pixel x row width x height + kAllocationSlackBytes).
    VideoFrame(LONG width, LONG height, LONG bitDepth, bool allocate);
    ~VideoFrame() override;

    // Lays the frame over `data` (see the file comment; with a bit depth that is not a multiple of
    // 8, U starts 2 x S x height in and V S x height after U, the strides staying S and S / 2).
    // Negative sizes count as 0.
    void Initialize(PVOID data, ULONG size, LONG width, LONG height, LONG bitDepth);
    // Frame::DetachBuffer, then an empty 0 x 0 layout of depth 8.
    void DetachBuffer() override;
    // Makes sure the buffer holds `bytes`: nothing when it does already; otherwise the old buffer
    // is freed and `bytes` allocated from non-paged pool, else paged pool. Both failing: data size
    // 0, no buffer, result 0. Success: the frame is laid over the new buffer as 8-bit 4:2:2 at its
    // width and height, data size = bytes; result 1.
    ULONG EnsureBufferSize(ULONG bytes);

    // Each plane's stride x row count bytes set to its value.
    void Fill(UCHAR y, UCHAR u, UCHAR v);
    void FillBlack() { Fill(16, 128, 128); }
    void FillRed() { Fill(65, 98, 211); }

    // Imports of whole pictures at this frame's width and height, after FillBlack. `bytes` is the
    // size of the source buffer: a source shorter than the picture needs is refused (result 0,
    // nothing written); otherwise result 1.
    // A device-independent bitmap of 24-bit pixels: rows bottom-up, blue, green, red, each row
    // padded to 4 bytes ((3 x width + 3) / 4 x 4).
    ULONG ImportRGB24(const UCHAR* bitmap, ULONG bytes);
    // Packed 4:2:2, width / 2 pixel pairs a row, rows of 2 x width bytes.
    ULONG ImportPacked(const UCHAR* packed, ULONG bytes, PackedOrder order);
    // I420 in one buffer: Y with a stride of the picture's width, U after width x height bytes,
    // V after a further width x height / 4, chroma stride width / 2.
    ULONG AttachPlanar(const UCHAR* i420, ULONG bytes);

    // Copies the three planes from `source`: the smaller of the two row counts and of the two row
    // widths (chroma half the width), each side with its own strides. CopyPlane when the row count
    // is a multiple of 10, else row by row. Result 1 (0 for a null source or no buffer).
    ULONG CopyFrame(const VideoFrame* source);
    // Copies one field (every second line) of `source` into one field of this frame, from line
    // `firstLine` of each field on. Lines: the smaller of the source's active height of its field
    // and this frame's active height of its field, less firstLine. Luma lines start at
    // stride x (2 x firstLine + field index) of each frame and step 2 x stride, each frame with its
    // own strides; widths are the smaller row width (chroma: half). Rows stay inside both planes.
    // `source` may be this frame when the two field indices differ (one field over the other).
    void CopyFieldToFrame(const VideoFrame* source, LONG sourceField, LONG destinationField, LONG firstLine);
    // With skip 0: row r of each plane of this frame is written to row (destination rows - 1 - r)
    // of the destination, stopping before either plane is left; with skip non-zero nothing.
    void MirrorThisFrame(VideoFrame* destination, LONG skip) const;
    // Resizes this frame into `destination` at width x height with ResizePlane (interpolation code
    // of the image primitives), factors width / this width and height / this height; U and V at
    // half the widths with the same factors. Result 1 (0 for a null destination or empty frames).
    ULONG Scale(VideoFrame* destination, LONG interpolation, LONG width, LONG height) const;
    // Scale into the destination at the destination's own width and height.
    ULONG ScaleFrom(VideoFrame* destination, LONG interpolation) const;

    // False for null; else equal width and height.
    bool IsSameSize(const Frame* other) const;
    bool IsEqual(const Frame* other) const override { return IsSameSize(other); }
    // Frame::CopyAttributes, and for a destination frame also the VBI and active sizes of both
    // fields. Never planes, strides or buffers.
    void CopyAttributes(Frame* destination, bool withFormat) const override;

    // Bytes a picture of this geometry needs as 8-bit 4:2:2 (row width x height x 2).
    ULONG PictureBytes() const { return GetRowWidth() * GetRowCount() * 2; }

    // Whether the three planes lie inside the frame's buffer (planes laid over another frame's
    // buffer, with no data pointer of this frame, count as inside). Plane operations do nothing on
    // a frame whose planes do not.
    bool PlanesInBuffer() const;

private:
    void LayOut(PUCHAR data, LONG width, LONG height, LONG bitDepth);
};
