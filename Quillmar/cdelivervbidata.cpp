// CDeliverVBIData: the VBI pin's rows from the separator's VBI frame.
#include "cdelivervbidata.h"

#include "imaging/imaging.h"
#include "kernel/poolallocation.h"
#include "roundtoint.h"
#include "stepframes.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr double kSourceSampling = 13.5e6;
// A VBI row of the DSP: 720 samples at 13.5 MHz.
constexpr LONG kSourceSamples = 720;
// Rows of the pin's frame and the bytes a row (headers asking for more are cut to these).
constexpr ULONG kMaximumRows = 64;
constexpr ULONG kMaximumStride = 8192;

} // namespace

CDeliverVBIData::CDeliverVBIData(const KS_VBIINFOHEADER& header) : Algorithm(kAlgorithmIdVBI), m_header(header)
{
    TRACE_SCOPE(this, "CDeliverVBIData::CDeliverVBIData", kTraceLowEnter,
                "StartLine=%u, EndLine=%u, SamplingFrequency=%u, SamplesPerLine=%u, StrideInBytes=%u", header.StartLine,
                header.EndLine, header.SamplingFrequency, header.SamplesPerLine, header.StrideInBytes);
    m_header.StrideInBytes = std::min<ULONG>(std::max(m_header.StrideInBytes, m_header.SamplesPerLine), kMaximumStride);
    m_header.SamplesPerLine = std::min(m_header.SamplesPerLine, m_header.StrideInBytes);
}

CDeliverVBIData::~CDeliverVBIData()
{
    delete m_output;
    FreePool(m_doubled);
    FreePool(m_scaled);
}

ULONG CDeliverVBIData::Rows() const
{
    if (m_header.EndLine < m_header.StartLine)
        return 0;
    return std::min<ULONG>(m_header.EndLine - m_header.StartLine + 1, kMaximumRows);
}

LONG CDeliverVBIData::RescaledSamples() const
{
    const LONG samples = RoundToInt(double(kSourceSamples) * m_header.SamplingFrequency / kSourceSampling);
    return std::clamp<LONG>(samples, 0, LONG(m_header.SamplesPerLine));
}

bool CDeliverVBIData::CreateVBIDataFromFrame(const VideoFrame* vbi, LONG field, PUCHAR output)
{
    const ULONG stride = m_header.StrideInBytes;
    const ULONG rows = Rows();
    std::memset(output, 0, size_t(stride) * rows);
    if (!vbi || (field != 0 && field != 1))
        return true;
    const FrameFieldSize block = vbi->GetVbiSize(field);
    const LONG width = std::min<LONG>(block.width, vbi->GetWidth());
    const LONG base = field == 0 ? 0 : vbi->GetVbiSize(0).height;
    const LONG samples = RescaledSamples();
    if (width < 2 || samples < 1 || base + block.height > vbi->GetHeight())
        return true;
    if (m_doubledCapacity < 2 * width) {
        FreePool(m_doubled);
        FreePool(m_scaled);
        m_doubled = static_cast<PUCHAR>(AllocatePoolOfType(size_t(2 * width), NonPagedPool));
        m_scaled = static_cast<PUCHAR>(AllocatePoolOfType(kMaximumStride, NonPagedPool));
        m_doubledCapacity = m_doubled && m_scaled ? 2 * width : 0;
        if (!m_doubledCapacity)
            return false;
    }
    const LONG offset = (LONG(m_header.SamplesPerLine) - samples) / 2;
    const LONG rowOfLine = vbi->GetVideoStandard() == kFrameStandard625 ? 1 : -2;
    for (ULONG r = 0; r < rows; ++r) {
        const LONG row = LONG(m_header.StartLine + r) + rowOfLine;
        if (row < 0 || row >= block.height)
            continue;
        const UCHAR* luma = vbi->GetPlane(0) + size_t(base + row) * vbi->GetStride(0);
        for (LONG i = 0; i < width; ++i) {
            m_doubled[2 * i] = luma[i];
            m_doubled[2 * i + 1] = i + 1 < width ? UCHAR((luma[i] + luma[i + 1]) / 2) : luma[i];
        }
        const ImagingRegion region = {0, 0, 2 * width, 1};
        const double factor = double(samples) / (2.0 * width);
        const ImagingStatus resized = ResizePlane(m_doubled, 2 * width, 1, 2 * width, region, m_scaled,
                                                  LONG(kMaximumStride), samples, 1, factor, 1.0, 2);
        if (resized == StatusNoMemory)
            return false;
        if (resized < 0)
            continue;
        std::memcpy(output + size_t(r) * stride + offset, m_scaled, size_t(samples));
    }
    return true;
}

void CDeliverVBIData::Process(Frame* frame)
{
    BeginTiming();
    const ULONG rows = Rows();
    const ULONG bytes = m_header.StrideInBytes * rows;
    if (bytes == 0) {
        EndTiming();
        return;
    }
    // Without its frame (no memory) the step drops this frame and tries again at the next.
    if (!m_output && !(m_output = NewDataFrame(bytes))) {
        EndTiming();
        return;
    }
    const auto* vbi = static_cast<const VideoFrame*>(frame);
    if (vbi)
        vbi->CopyAttributes(m_output, false);
    m_output->SetVBIInfoHeader(m_header);
    const LONGLONG time = vbi ? vbi->GetFrameNumber() : 0;
    const ULONG interval = vbi ? vbi->GetFrameInterval() : 0;
    m_output->SetFrameInterval(interval / 2);
    EndTiming();
    for (LONG field : {1, 0}) {
        BeginTiming();
        const bool hasLines = vbi && vbi->GetVbiSize(field).height > 0;
        if (hasLines && !CreateVBIDataFromFrame(vbi, field, m_output->GetFrameData())) {
            // The rows could not be made (no memory): this field is dropped, and with it field 0
            // when field 1 failed; the next frame tries again.
            TRACE_LINE(this, "CDeliverVBIData::Process", kTraceWarnings,
                       "VBI field %d rows could not be made: the frame is dropped", static_cast<int>(field));
            EndTiming();
            return;
        }
        if (!hasLines)
            std::memset(m_output->GetFrameData(), 0, bytes);
        m_output->SetDataSize(bytes);
        m_output->ClearFlags(kFrameFlagVbiField1 | kFrameFlagVbiField0);
        m_output->AddFlags(field == 1 ? kFrameFlagVbiField1 : kFrameFlagVbiField0);
        m_output->SetFrameNumber(field == 1 ? time : time + interval / 2);
        m_output->SetWritable(true);
        EndTiming();
        DeliverToChildren(m_output);
    }
}
