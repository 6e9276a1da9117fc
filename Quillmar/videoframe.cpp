// VideoFrame: the planar 4:2:2 picture and its plane operations (see videoframe.h).
#include "videoframe.h"

#include "imaging/imaging.h"
#include "kernel/poolallocation.h"
#include "km/format.h"
#include "planework.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr LONG RoundUpTo16(LONG value)
{
    return value <= 0 ? 0 : (value + 15) & ~15;
}

// The 32 low bits of an address, as the traces print buffers.
ULONG TraceAddress(const void* p)
{
    return static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(p));
}

// Bytes from `base` to the end of a plane of `rows` rows, or ~0 when the plane does not start in
// the buffer.
ULONGLONG PlaneEnd(const UCHAR* base, const UCHAR* plane, LONG stride, ULONG rows)
{
    if (plane < base || stride < 0)
        return ~0ULL;
    return ULONGLONG(plane - base) + ULONGLONG(stride) * rows;
}

const char* const kPlaneCopyText[3] = {"copy Y plane", "copy U plane", "copy V plane"};
const char* const kPlaneResizeText[3] = {"resize the Y plane", "resize the U plane", "resize the V plane"};

} // namespace

VideoFrame::VideoFrame()
{
    TRACE_SCOPE(this, "VideoFrame::VideoFrame", kTraceLowEnter);
    SetBytesPerPixel(2);
}

VideoFrame::VideoFrame(LONG width, LONG height, LONG bitDepth, bool allocate)
{
    TRACE_SCOPE(this, "VideoFrame::VideoFrame", kTraceLowEnter, "nWidth=%d, nHeight=%d, nBitDepth=%d, bAllocate=%d",
                width, height, bitDepth, allocate ? 1 : 0);
    width = std::max<LONG>(width, 0);
    height = std::max<LONG>(height, 0);
    SetFormat(bitDepth);
    SetGeometry(static_cast<ULONG>(RoundUpTo16(width)), static_cast<ULONG>(height), width, height);
    SetBytesPerPixel(bitDepth % 8 != 0 ? 4 : 2);
    if (allocate) {
        const ULONGLONG bytes =
            ULONGLONG(GetBytesPerPixel()) * GetRowWidth() * ULONGLONG(height) + kAllocationSlackBytes;
        if (bytes <= 0xFFFFFFFFULL)
            EnsureBufferSize(static_cast<ULONG>(bytes));
    }
}

VideoFrame::~VideoFrame()
{
    TRACE_SCOPE(this, "VideoFrame::~VideoFrame", kTraceLowEnter);
}

void VideoFrame::Initialize(PVOID data, ULONG size, LONG width, LONG height, LONG bitDepth)
{
    TRACE_SCOPE(this, "VideoFrame::Initialize", kTraceLowEnter,
                "pData=0x%08x, size=%d, nWidth=%d, nHeight=%d, nBitDepth=%d", TraceAddress(data), size, width,
                height, bitDepth);
    Frame::Initialize(data, size, bitDepth);
    LayOut(static_cast<PUCHAR>(data), width, height, bitDepth);
}

void VideoFrame::LayOut(PUCHAR data, LONG width, LONG height, LONG bitDepth)
{
    width = std::max<LONG>(width, 0);
    height = std::max<LONG>(height, 0);
    const LONG rowWidth = RoundUpTo16(width);
    SetGeometry(static_cast<ULONG>(rowWidth), static_cast<ULONG>(height), width, height);
    SetBytesPerPixel(bitDepth % 8 != 0 ? 4 : 2);
    if (data == nullptr) {
        SetPlanes(nullptr, rowWidth, nullptr, rowWidth / 2, nullptr, rowWidth / 2);
        return;
    }
    const size_t lumaBytes = size_t(rowWidth) * size_t(height);
    PUCHAR u;
    PUCHAR v;
    if (bitDepth % 8 == 0) {
        u = data + lumaBytes;
        v = u + lumaBytes / 2;
    } else {
        // Two bytes a sample: the chroma planes start twice as far in; the strides stay those of
        // one-byte samples.
        u = data + 2 * lumaBytes;
        v = u + lumaBytes;
    }
    SetPlanes(data, rowWidth, u, rowWidth / 2, v, rowWidth / 2);
}

void VideoFrame::DetachBuffer()
{
    TRACE_SCOPE(this, "VideoFrame::DetachBuffer", kTraceLowEnter);
    Frame::DetachBuffer();
    Initialize(nullptr, 0, 0, 0, 8);
}

ULONG VideoFrame::EnsureBufferSize(ULONG bytes)
{
    TRACE_SCOPE(this, "VideoFrame::EnsureBufferSize", kTraceLowEnter, "nBytes=%u", bytes);
    if (GetFrameData() != nullptr && GetDataSize() >= bytes)
        return 1;
    FreeBuffer();
    PVOID buffer = AllocatePoolOfType(bytes, NonPagedPool);
    if (buffer == nullptr)
        buffer = AllocatePoolOfType(bytes, PagedPool);
    if (buffer == nullptr) {
        SetData(nullptr);
        SetDataSize(0);
        LayOut(nullptr, GetWidth(), GetHeight(), 8);
        return 0;
    }
    const LONG width = GetWidth();
    const LONG height = GetHeight();
    const LONG format = GetFormat();
    Initialize(buffer, bytes, width, height, format);
    SetDataSize(bytes);
    // Whatever the format, a frame's own buffer is laid out as 8-bit 4:2:2.
    LayOut(static_cast<PUCHAR>(buffer), width, height, 8);
    SetBytesPerPixel(format % 8 != 0 ? 4 : 2);
    return 1;
}

bool VideoFrame::PlanesInBuffer() const
{
    const PUCHAR data = GetFrameData();
    if (GetPlane(0) == nullptr || GetPlane(1) == nullptr || GetPlane(2) == nullptr)
        return false;
    if (data == nullptr)
        return true; // planes laid over another frame's buffer by their owner
    for (ULONG plane = 0; plane < 3; ++plane) {
        if (PlaneEnd(data, GetPlane(plane), GetStride(plane), GetRowCount()) > GetDataSize())
            return false;
    }
    return true;
}

void VideoFrame::Fill(UCHAR y, UCHAR u, UCHAR v)
{
    TRACE_SCOPE(this, "VideoFrame::Fill", kTraceLowEnter, "Y=%d, U=%d, V=%d", y, u, v);
    if (!PlanesInBuffer())
        return;
    const UCHAR value[3] = {y, u, v};
    for (ULONG plane = 0; plane < 3; ++plane)
        std::memset(GetPlane(plane), value[plane], size_t(GetStride(plane)) * GetRowCount());
}

ULONG VideoFrame::ImportRGB24(const UCHAR* bitmap, ULONG bytes)
{
    TRACE_SCOPE(this, "VideoFrame::ImportRGB24", kTraceLowEnter, "pBitmap=0x%08x, nBytes=%u", TraceAddress(bitmap), bytes);
    const LONG width = GetWidth();
    const LONG height = GetHeight();
    const ULONGLONG rowBytes = (3ULL * ULONG(width) + 3) / 4 * 4;
    if (bitmap == nullptr || width <= 0 || height <= 0 || rowBytes * ULONG(height) > bytes || !PlanesInBuffer())
        return 0;
    // One row in the primitive's red-green-blue order; rows are independent in 4:2:2.
    auto* row = static_cast<UCHAR*>(AllocatePool(size_t(rowBytes)));
    if (row == nullptr)
        return 0;
    FillBlack();
    for (LONG r = 0; r < height; ++r) {
        const UCHAR* source = bitmap + ULONGLONG(height - 1 - r) * rowBytes; // bottom-up
        for (LONG x = 0; x < width; ++x) {
            row[3 * x] = source[3 * x + 2];
            row[3 * x + 1] = source[3 * x + 1];
            row[3 * x + 2] = source[3 * x];
        }
        UCHAR* const planes[3] = {GetPlane(0) + ptrdiff_t(r) * GetStride(0), GetPlane(1) + ptrdiff_t(r) * GetStride(1),
                                  GetPlane(2) + ptrdiff_t(r) * GetStride(2)};
        const int32_t strides[3] = {GetStride(0), GetStride(1), GetStride(2)};
        ConvertRGB24ToPlanar422(row, static_cast<int32_t>(rowBytes), planes, strides, width, 1);
    }
    FreePool(row);
    return 1;
}

ULONG VideoFrame::ImportPacked(const UCHAR* packed, ULONG bytes, PackedOrder order)
{
    TRACE_SCOPE(this, "VideoFrame::ImportPacked", kTraceLowEnter, "pPacked=0x%08x, nBytes=%u, nOrder=%d",
                TraceAddress(packed), bytes, static_cast<int>(order));
    const LONG width = GetWidth();
    const LONG height = GetHeight();
    const LONG pairs = width / 2;
    const ULONGLONG rowBytes = 4ULL * ULONG(pairs);
    if (packed == nullptr || width <= 0 || height <= 0 || rowBytes * ULONG(height) > bytes || !PlanesInBuffer())
        return 0;
    FillBlack();
    // Offsets of Y0, U, Y1, V within a pixel pair.
    const int y0 = order == PackedOrder::Yuy2 ? 0 : 1;
    const int u = order == PackedOrder::Yuy2 ? 1 : 0;
    const int y1 = order == PackedOrder::Yuy2 ? 2 : 3;
    const int v = order == PackedOrder::Yuy2 ? 3 : 2;
    for (LONG r = 0; r < height; ++r) {
        const UCHAR* source = packed + ULONGLONG(r) * rowBytes;
        UCHAR* luma = GetPlane(0) + ptrdiff_t(r) * GetStride(0);
        UCHAR* cb = GetPlane(1) + ptrdiff_t(r) * GetStride(1);
        UCHAR* cr = GetPlane(2) + ptrdiff_t(r) * GetStride(2);
        for (LONG p = 0; p < pairs; ++p, source += 4) {
            luma[2 * p] = source[y0];
            luma[2 * p + 1] = source[y1];
            cb[p] = source[u];
            cr[p] = source[v];
        }
    }
    return 1;
}

ULONG VideoFrame::AttachPlanar(const UCHAR* i420, ULONG bytes)
{
    TRACE_SCOPE(this, "VideoFrame::AttachPlanar", kTraceLowEnter, "pI420=0x%08x, nBytes=%u", TraceAddress(i420), bytes);
    const LONG width = GetWidth();
    const LONG height = GetHeight();
    if (i420 == nullptr || width <= 0 || height <= 0 || !PlanesInBuffer())
        return 0;
    const ULONGLONG lumaBytes = ULONGLONG(width) * ULONG(height);
    const ULONGLONG uOffset = lumaBytes;
    const ULONGLONG vOffset = lumaBytes * 5 / 4;
    const ULONGLONG chromaStride = ULONG(width) / 2;
    const ULONGLONG chromaRows = (ULONG(height) + 1) / 2;
    if (std::max(uOffset, vOffset) + chromaStride * chromaRows > bytes)
        return 0;
    FillBlack();
    const uint8_t* const source[3] = {i420, i420 + uOffset, i420 + vOffset};
    const int32_t sourceStrides[3] = {width, static_cast<int32_t>(chromaStride), static_cast<int32_t>(chromaStride)};
    uint8_t* const planes[3] = {GetPlane(0), GetPlane(1), GetPlane(2)};
    const int32_t strides[3] = {GetStride(0), GetStride(1), GetStride(2)};
    ConvertI420ToPlanar422(source, sourceStrides, planes, strides, width, height);
    return 1;
}

ULONG VideoFrame::CopyFrame(const VideoFrame* source)
{
    TRACE_SCOPE(this, "VideoFrame::CopyFrame", kTraceLowEnter, "pSrc=0x%08x", TraceAddress(source));
    if (source == nullptr || source == this || !PlanesInBuffer() || !source->PlanesInBuffer())
        return 0;
    const LONG rows = static_cast<LONG>(std::min(GetRowCount(), source->GetRowCount()));
    const LONG width = static_cast<LONG>(std::min(GetRowWidth(), source->GetRowWidth()));
    for (ULONG plane = 0; plane < 3; ++plane) {
        const LONG planeWidth = plane == 0 ? width : width / 2;
        GuardedPlaneWork(this, "VideoFrame::CopyFrame", kPlaneCopyText[plane], [&] {
            CopyPlaneRows(source->GetPlane(plane), source->GetStride(plane), GetPlane(plane), GetStride(plane),
                          planeWidth, rows);
        });
    }
    return 1;
}

void VideoFrame::CopyFieldToFrame(const VideoFrame* source, LONG sourceField, LONG destinationField, LONG firstLine)
{
    TRACE_SCOPE(this, "VideoFrame::CopyFieldToFrame", kTraceLowEnter,
                "pSrc=0x%08x, nSourceFieldIndex=%d, nDestFieldIndex=%d", TraceAddress(source), sourceField,
                destinationField);
    // A frame may copy one of its fields over its other field (the lines interleave, never
    // overlap), not a field over itself.
    const bool self = source == this;
    if (source == nullptr || (self && sourceField == destinationField) || (sourceField != 0 && sourceField != 1) ||
        (destinationField != 0 && destinationField != 1) || firstLine < 0 || !PlanesInBuffer() ||
        !source->PlanesInBuffer())
        return;
    const LONGLONG sourceStart = 2LL * firstLine + sourceField;
    const LONGLONG destinationStart = 2LL * firstLine + destinationField;
    LONGLONG lines = std::min<LONGLONG>(source->GetActiveSize(sourceField).height,
                                        GetActiveSize(destinationField).height) - firstLine;
    // Every line stays inside both planes.
    lines = std::min(lines, (LONGLONG(source->GetRowCount()) - sourceStart + 1) / 2);
    lines = std::min(lines, (LONGLONG(GetRowCount()) - destinationStart + 1) / 2);
    if (lines <= 0)
        return;
    const LONG width = static_cast<LONG>(std::min(GetRowWidth(), source->GetRowWidth()));
    static const char* const kPlaneName[3] = {"Y", "U", "V"};
    for (ULONG plane = 0; plane < 3; ++plane) {
        char description[80] = {};
        _snprintf(description, sizeof description - 1, "copy %s plane for source field %d to destination field %d",
                  kPlaneName[plane], sourceField, destinationField);
        const LONG sourceStride = source->GetStride(plane);
        const LONG destinationStride = GetStride(plane);
        const UCHAR* from = source->GetPlane(plane) + sourceStart * sourceStride;
        UCHAR* to = GetPlane(plane) + destinationStart * destinationStride;
        const LONG bytes = plane == 0 ? width : width / 2;
        GuardedPlaneWork(this, "VideoFrame::CopyFieldToFrame", description, [&] {
            if (!self) {
                CopyPlaneRows(from, 2 * sourceStride, to, 2 * destinationStride, bytes, static_cast<LONG>(lines));
                return;
            }
            // Within one buffer the plane copy's no-overlap rule does not hold: line by line.
            for (LONGLONG line = 0; line < lines; ++line)
                std::memcpy(to + line * 2 * destinationStride, from + line * 2 * sourceStride, size_t(bytes));
        });
    }
}

void VideoFrame::MirrorThisFrame(VideoFrame* destination, LONG skip) const
{
    TRACE_SCOPE(this, "VideoFrame::MirrorThisFrame", kTraceLowEnter, "pDest=0x%08x, bSkip=%d",
                TraceAddress(destination), skip);
    if (skip != 0 || destination == nullptr || destination == this || !PlanesInBuffer() ||
        !destination->PlanesInBuffer())
        return;
    GuardedPlaneWork(this, "VideoFrame::MirrorThisFrame", "mirror the frame", [&] {
        for (ULONG plane = 0; plane < 3; ++plane) {
            const LONG bytes = std::min(GetStride(plane), destination->GetStride(plane));
            const LONG destinationRows = static_cast<LONG>(destination->GetRowCount());
            const LONG rows = std::min(static_cast<LONG>(GetRowCount()), destinationRows);
            for (LONG r = 0; r < rows; ++r) {
                std::memcpy(destination->GetPlane(plane) + ptrdiff_t(destinationRows - 1 - r) * destination->GetStride(plane),
                            GetPlane(plane) + ptrdiff_t(r) * GetStride(plane), size_t(bytes));
            }
        }
    });
}

ULONG VideoFrame::Scale(VideoFrame* destination, LONG interpolation, LONG width, LONG height) const
{
    TRACE_SCOPE(this, "VideoFrame::Scale", kTraceLowEnter, "pDest=0x%08x, nInterpolation=%d, nWidth=%d, nHeight=%d",
                TraceAddress(destination), interpolation, width, height);
    if (destination == nullptr || destination == this || GetWidth() <= 0 || GetHeight() <= 0 || width <= 0 ||
        height <= 0 || ULONG(width) > destination->GetRowWidth() || ULONG(height) > destination->GetRowCount() ||
        ULONG(GetWidth()) > GetRowWidth() || ULONG(GetHeight()) > GetRowCount() || !PlanesInBuffer() ||
        !destination->PlanesInBuffer())
        return 0;
    const double xFactor = double(width) / double(GetWidth());
    const double yFactor = double(height) / double(GetHeight());
    for (ULONG plane = 0; plane < 3; ++plane) {
        const LONG sourceWidth = plane == 0 ? GetWidth() : GetWidth() / 2;
        const LONG destinationWidth = plane == 0 ? width : width / 2;
        if (sourceWidth <= 0 || destinationWidth <= 0)
            continue;
        GuardedPlaneWork(this, "VideoFrame::Scale", kPlaneResizeText[plane], [&] {
            ResizePlane(GetPlane(plane), sourceWidth, GetHeight(), GetStride(plane),
                        ImagingRegion{0, 0, sourceWidth, GetHeight()}, destination->GetPlane(plane),
                        destination->GetStride(plane), destinationWidth, height, xFactor, yFactor, interpolation);
        });
    }
    return 1;
}

ULONG VideoFrame::ScaleFrom(VideoFrame* destination, LONG interpolation) const
{
    if (destination == nullptr)
        return 0;
    return Scale(destination, interpolation, destination->GetWidth(), destination->GetHeight());
}

bool VideoFrame::IsSameSize(const Frame* other) const
{
    return other != nullptr && other->GetWidth() == GetWidth() && other->GetHeight() == GetHeight();
}

void VideoFrame::CopyAttributes(Frame* destination, bool withFormat) const
{
    Frame::CopyAttributes(destination, withFormat);
    if (destination == nullptr || destination == this)
        return;
    for (LONG field = 0; field < 2; ++field) {
        const FrameFieldSize vbi = GetVbiSize(field);
        const FrameFieldSize active = GetActiveSize(field);
        destination->SetVbiSize(field, vbi.width, vbi.height);
        destination->SetActiveSize(field, active.width, active.height);
    }
}
