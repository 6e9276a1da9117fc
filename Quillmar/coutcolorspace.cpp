// COutColorSpace: conversion of the internal frame into the pin's output format.
#include "coutcolorspace.h"

#include "bluefirststores.h"
#include "imaging/imaging.h"
#include "km/raise.h"
#include "planework.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include <cstdlib>
#include <cstring>

// The step's output frame: a VideoFrame whose planes are laid out for the output format, over its
// own buffer or over a lent one, with the descriptor saved and put back around a lent buffer.
class COutColorSpace::OutputFrame : public VideoFrame {
public:
    struct Descriptor {
        PUCHAR data;
        ULONG size;
        PUCHAR plane[3];
        LONG stride[3];
    };

    OutputFrame(LONG width, LONG height) : VideoFrame(width, height, 8, false) {}

    Descriptor Save() const
    {
        return {GetFrameData(), GetDataSize(), {GetPlane(0), GetPlane(1), GetPlane(2)},
                {GetStride(0), GetStride(1), GetStride(2)}};
    }
    void Restore(const Descriptor& saved)
    {
        SetData(saved.data);
        SetDataSize(saved.size);
        SetPlanes(saved.plane[0], saved.stride[0], saved.plane[1], saved.stride[1], saved.plane[2], saved.stride[2]);
    }
    // The planes of `layout` over `data`; the data size is what the conversion writes.
    void LayOver(PUCHAR data, const OutputLayout& layout)
    {
        SetData(data);
        SetDataSize(layout.bytes);
        SetPlanes(data + layout.offset[0], layout.pitch[0], data + layout.offset[1], layout.pitch[1],
                  data + layout.offset[2], layout.pitch[2]);
    }
};

namespace {

// Rows of grey and packed RGB: the row's bytes rounded up to a multiple of 4.
LONG PaddedPitch(LONG rowBytes)
{
    return (rowBytes + 3) / 4 * 4;
}

// The first row to write and the step between rows of one plane: top-down from its start, or,
// mirrored, from its last row upwards.
UCHAR* FirstRow(PUCHAR plane, LONG pitch, LONG rows, bool mirror)
{
    return mirror && rows > 0 ? plane + static_cast<ptrdiff_t>(rows - 1) * pitch : plane;
}

} // namespace

COutColorSpace::OutputLayout COutColorSpace::LayoutFor(ULONG index, LONG width, LONG height)
{
    OutputLayout layout{};
    // Pictures past any format's size would only make the byte counts wrap.
    if (width < 1 || height < 1 || width > kMaximumSide || height > kMaximumSide || index >= kOutputCount)
        return layout;
    const ULONG w = static_cast<ULONG>(width);
    const ULONG h = static_cast<ULONG>(height);
    layout.planes = 1;
    layout.rows[0] = height;
    switch (index) {
    case kGray:
        layout.pitch[0] = PaddedPitch(width);
        break;
    case kRgb555:
        layout.pitch[0] = PaddedPitch(width * 2);
        break;
    case kRgb24:
        layout.pitch[0] = PaddedPitch(width * 3);
        break;
    case kRgb32:
        layout.pitch[0] = width * 4;
        break;
    case kUyvy:
    case kYuy2:
        layout.pitch[0] = width * 2;
        break;
    case kI420:
        // U after the luma plane, V after U. An odd height's last luma row has chroma rows of its
        // own, so each chroma plane has half the rows rounded up.
        layout.planes = 3;
        layout.pitch[0] = width;
        layout.pitch[1] = layout.pitch[2] = width / 2;
        layout.rows[1] = layout.rows[2] = (height + 1) / 2;
        layout.offset[1] = w * h;
        layout.offset[2] = layout.offset[1] + ULONG(layout.pitch[1]) * ULONG(layout.rows[1]);
        layout.bytes = layout.offset[2] + ULONG(layout.pitch[2]) * ULONG(layout.rows[2]);
        return layout;
    case kYvu9:
        // The luma plane as for grey, then the two chroma planes of a quarter of its pitch and rows.
        layout.planes = 3;
        layout.pitch[0] = PaddedPitch(width);
        layout.pitch[1] = layout.pitch[2] = layout.pitch[0] / 4;
        layout.rows[1] = layout.rows[2] = height / 4;
        layout.offset[1] = ULONG(layout.pitch[0]) * h;
        layout.offset[2] = layout.offset[1] + ULONG(layout.pitch[1]) * ULONG(layout.rows[1]);
        layout.bytes = layout.offset[2] + ULONG(layout.pitch[2]) * ULONG(layout.rows[2]);
        return layout;
    }
    layout.bytes = ULONG(layout.pitch[0]) * h;
    return layout;
}

COutColorSpace::COutColorSpace(bool mirror, ULONG outputIndex)
    : Algorithm(kAlgorithmIdColorSpace), m_mirror(mirror), m_outputIndex(outputIndex)
{
    TRACE_SCOPE(this, "COutColorSpace::COutColorSpace", kTraceLowEnter, "bMirror=%d, nOutputIndex=%u", mirror ? 1 : 0,
                outputIndex);
}

COutColorSpace::~COutColorSpace()
{
    TRACE_SCOPE(this, "COutColorSpace::~COutColorSpace", kTraceLowEnter);
}

VideoFrame* COutColorSpace::GetOutputVideoFrame() const
{
    return static_cast<VideoFrame*>(GetOutputFrame());
}

bool COutColorSpace::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* step = static_cast<const COutColorSpace*>(other);
    return m_mirror == step->m_mirror && m_outputIndex == step->m_outputIndex;
}

COutColorSpace::OutputFrame* COutColorSpace::EnsureOutputFrame(LONG width, LONG height)
{
    auto* current = static_cast<OutputFrame*>(GetOutputFrame());
    if (current && current->GetWidth() == width && current->GetHeight() == height)
        return current;
    const OutputLayout layout = LayoutFor(m_outputIndex, width, height);
    if (layout.bytes == 0)
        return nullptr;
    OutputFrame* frame = nullptr;
    try {
        frame = new OutputFrame(width, height);
    } catch (const standin::RaisedStatus&) {
        return nullptr;
    }
    if (!frame->EnsureBufferSize(layout.bytes)) {
        delete frame;
        return nullptr;
    }
    // Bytes a conversion leaves alone (the padding of odd widths) stay 0 rather than pool garbage.
    std::memset(frame->GetFrameData(), 0, layout.bytes);
    frame->LayOver(frame->GetFrameData(), layout);
    SetOutputFrame(frame);
    return frame;
}

void COutColorSpace::Process(Frame* frame)
{
    TRACE_SCOPE(this, "COutColorSpace::Process", kTraceLowEnter);
    BeginTiming();
    m_lastLent = false;
    auto* input = static_cast<VideoFrame*>(frame);
    const LONG width = input ? input->GetWidth() : 0;
    const LONG height = input ? input->GetHeight() : 0;
    // Only the internal 8-bit format is converted. A frame that is not converted is not handed on:
    // the pin would otherwise deliver whatever the buffer held before.
    if (!input || input->GetFormat() != 8 || width < 1 || height < 1 || !input->GetPlane(0) || !input->GetPlane(1) ||
        !input->GetPlane(2)) {
        TRACE_LINE(this, "COutColorSpace::Process", kTraceWarnings, "Frame not converted: format=%d, width=%d, height=%d",
                   input ? input->GetFormat() : 0, width, height);
        EndTiming();
        return;
    }
    OutputFrame* output = EnsureOutputFrame(width, height);
    if (!output) {
        TRACE_LINE(this, "COutColorSpace::Process", kTraceErrors, "No output frame for %d x %d", width, height);
        EndTiming();
        return;
    }
    const OutputLayout layout = LayoutFor(m_outputIndex, width, height);
    const OutputFrame::Descriptor own = output->Save();
    PUCHAR data = own.data;
    // Borrow the single child's buffer (the sink's client frame) when it holds the whole output.
    if (GetChildCount() == 1 && GetChild(0)->GetDestinationBuffer(output, layout.bytes)) {
        data = output->GetFrameData();
        m_lastLent = true;
    }
    output->LayOver(data, layout);
    Convert(input, data, layout);
    input->CopyAttributes(output, true);
    output->SetWritable(true);
    EndTiming();
    DeliverToChildren(output);
    output->Restore(own);
}

void COutColorSpace::Convert(const VideoFrame* input, PUCHAR data, const OutputLayout& layout)
{
    UCHAR* dst[3] = {};
    LONG pitch[3] = {};
    for (ULONG p = 0; p < layout.planes; ++p) {
        dst[p] = FirstRow(data + layout.offset[p], layout.pitch[p], layout.rows[p], m_mirror);
        pitch[p] = m_mirror ? -layout.pitch[p] : layout.pitch[p];
    }
    switch (m_outputIndex) {
    case kGray:
        Kp08ToGray(input, dst, pitch);
        break;
    case kRgb555:
        Kp08ToRGB555(input, dst, pitch);
        break;
    case kRgb24:
        Kp08ToRGB24(input, dst, pitch);
        break;
    case kRgb32:
        Kp08ToRGB32(input, dst, pitch);
        break;
    case kUyvy:
        Kp08ToUyVy(input, dst, pitch);
        break;
    case kI420:
        Kp08ToI420(input, dst, pitch);
        break;
    case kYuy2:
        Kp08ToYUY2(input, dst, pitch);
        break;
    case kYvu9:
        Kp08ToYVU9(input, dst, pitch);
        break;
    default:
        break;
    }
}

namespace {

struct InputPlanes {
    const uint8_t* plane[3];
    int32_t stride[3];
};

InputPlanes PlanesOf(const VideoFrame* input)
{
    return {{input->GetPlane(0), input->GetPlane(1), input->GetPlane(2)},
            {input->GetStride(0), input->GetStride(1), input->GetStride(2)}};
}

} // namespace

void COutColorSpace::Kp08ToGray(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3])
{
    TRACE_SCOPE(this, "COutColorSpace::Kp08ToGray", kTraceLowEnter);
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToGray", "copy the Y plane to the grey picture", [&] {
        CopyPlaneRows(input->GetPlane(0), input->GetStride(0), dst[0], pitch[0], input->GetWidth(), input->GetHeight());
    });
}

void COutColorSpace::Kp08ToRGB555(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3])
{
    TRACE_SCOPE(this, "COutColorSpace::Kp08ToRGB555", kTraceLowEnter);
    const InputPlanes in = PlanesOf(input);
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToRGB555", "convert the frame to RGB555", [&] {
        ConvertPlanar422ToBgr555(in.plane, in.stride, dst[0], pitch[0], input->GetWidth(), input->GetHeight());
    });
}

void COutColorSpace::Kp08ToRGB24(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3])
{
    TRACE_SCOPE(this, "COutColorSpace::Kp08ToRGB24", kTraceLowEnter);
    const InputPlanes in = PlanesOf(input);
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToRGB24", "convert the frame to RGB24", [&] {
        ConvertPlanar422ToBgr24(in.plane, in.stride, dst[0], pitch[0], input->GetWidth(), input->GetHeight());
    });
}

void COutColorSpace::Kp08ToRGB32(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3])
{
    TRACE_SCOPE(this, "COutColorSpace::Kp08ToRGB32", kTraceLowEnter);
    const InputPlanes in = PlanesOf(input);
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToRGB32", "convert the frame to RGB32", [&] {
        ConvertPlanar422ToBgr32(in.plane, in.stride, dst[0], pitch[0], input->GetWidth(), input->GetHeight());
    });
}

void COutColorSpace::ConvertPacked422(const VideoFrame* input, UCHAR* dst, LONG pitch, bool uFirst)
{
    const LONG pairs = input->GetWidth() / 2;
    const LONG height = input->GetHeight();
    const UCHAR* y = input->GetPlane(0);
    const UCHAR* u = input->GetPlane(1);
    const UCHAR* v = input->GetPlane(2);
    for (LONG r = 0; r < height; ++r) {
        UCHAR* out = dst;
        if (uFirst) {
            for (LONG k = 0; k < pairs; ++k, out += 4) {
                out[0] = u[k];
                out[1] = y[2 * k];
                out[2] = v[k];
                out[3] = y[2 * k + 1];
            }
        } else {
            for (LONG k = 0; k < pairs; ++k, out += 4) {
                out[0] = y[2 * k];
                out[1] = u[k];
                out[2] = y[2 * k + 1];
                out[3] = v[k];
            }
        }
        y += input->GetStride(0);
        u += input->GetStride(1);
        v += input->GetStride(2);
        dst += pitch;
    }
}

void COutColorSpace::Kp08ToUyVy(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3])
{
    TRACE_SCOPE(this, "COutColorSpace::Kp08ToUyVy", kTraceLowEnter);
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToUyVy", "pack the frame as UYVY",
                     [&] { ConvertPacked422(input, dst[0], pitch[0], true); });
}

void COutColorSpace::Kp08ToYUY2(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3])
{
    TRACE_SCOPE(this, "COutColorSpace::Kp08ToYUY2", kTraceLowEnter);
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToYUY2", "pack the frame as YUY2",
                     [&] { ConvertPacked422(input, dst[0], pitch[0], false); });
}

void COutColorSpace::Kp08ToI420(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3])
{
    TRACE_SCOPE(this, "COutColorSpace::Kp08ToI420", kTraceLowEnter);
    const InputPlanes in = PlanesOf(input);
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToI420", "convert the frame to I420", [&] {
        uint8_t* const out[3] = {dst[0], dst[1], dst[2]};
        const int32_t steps[3] = {pitch[0], pitch[1], pitch[2]};
        ConvertPlanar422ToI420(in.plane, in.stride, out, steps, input->GetWidth(), input->GetHeight());
    });
    // The conversion takes rows in pairs: an odd height's last row, and the chroma rows it alone
    // gives (its own samples, as every even row gives its chroma rows), are copied here.
    const LONG height = input->GetHeight();
    if (height % 2 == 0)
        return;
    const LONG last = height - 1;
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToI420", "copy the last row to the I420 picture", [&] {
        for (ULONG p = 0; p < 3; ++p) {
            const LONG row = p == 0 ? last : last / 2;
            CopyPlaneRows(input->GetPlane(p) + static_cast<ptrdiff_t>(last) * input->GetStride(p), 0,
                          dst[p] + static_cast<ptrdiff_t>(row) * pitch[p], 0,
                          p == 0 ? input->GetWidth() : input->GetWidth() / 2, 1);
        }
    });
}

void COutColorSpace::Kp08ToYVU9(const VideoFrame* input, UCHAR* const dst[3], const LONG pitch[3])
{
    TRACE_SCOPE(this, "COutColorSpace::Kp08ToYVU9", kTraceLowEnter);
    const LONG width = input->GetWidth();
    const LONG height = input->GetHeight();
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToYVU9", "copy the Y plane to the YVU9 picture",
                     [&] { CopyPlaneRows(input->GetPlane(0), input->GetStride(0), dst[0], pitch[0], width, height); });
    if (width / 4 < 1 || height / 4 < 1)
        return;
    // The first chroma plane is V, the second U: each is the 4:2:2 chroma plane at half the width
    // and a quarter of the height.
    const ImagingRegion region{0, 0, width / 2, height};
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToYVU9", "resize the V plane", [&] {
        ResizePlane(input->GetPlane(2), width / 2, height, input->GetStride(2), region, dst[1], pitch[1], width / 4,
                    height / 4, 0.5, 0.25, 2);
    });
    GuardedPlaneWork(this, "COutColorSpace::Kp08ToYVU9", "resize the U plane", [&] {
        ResizePlane(input->GetPlane(1), width / 2, height, input->GetStride(1), region, dst[2], pitch[2], width / 4,
                    height / 4, 0.5, 0.25, 2);
    });
}
