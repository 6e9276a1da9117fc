// Frame: the attributes and buffer of one picture or block of samples (see frame.h).
#include "frame.h"

#include "kernel/poolallocation.h"
#include "tracelogger.h"
#include "tracescope.h"

Frame::Frame()
{
    TRACE_SCOPE(this, "Frame::Frame", kTraceLowEnter);
}

Frame::~Frame()
{
    TRACE_SCOPE(this, "Frame::~Frame", kTraceLowEnter);
    FreeBuffer();
    FreePool(m_extraBuffer);
    m_extraBuffer = nullptr;
}

void Frame::Initialize(PVOID data, ULONG size, LONG format)
{
    TRACE_SCOPE(this, "Frame::Initialize", kTraceLowEnter, "pData=0x%08x, size=%d", static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(data)), size);
    m_format = format;
    m_data = static_cast<PUCHAR>(data);
    m_dataSize = data ? size : 0;
    m_frameTime = 0;
    m_formatWord = 0;
    m_flags = 0;
}

void Frame::DetachBuffer()
{
    TRACE_SCOPE(this, "Frame::DetachBuffer", kTraceLowEnter);
    m_data = nullptr;
    m_dataSize = 0;
    m_frameTime = 0;
    m_formatWord = 0;
}

void Frame::FreeBuffer()
{
    FreePool(m_data);
    m_data = nullptr;
    m_dataSize = 0;
}

void Frame::CopyAttributes(Frame* destination, bool withFormat) const
{
    TRACE_SCOPE(this, "Frame::CopyAttributes", kTraceLowEnter, "pDest=0x%p, bWithFormat=%d", destination, withFormat ? 1 : 0);
    if (destination == nullptr || destination == this)
        return;
    destination->m_frameTime = m_frameTime;
    destination->m_frameInterval = m_frameInterval;
    destination->m_intervalWord = m_intervalWord;
    destination->m_flags = m_flags;
    destination->m_timeOffset = m_timeOffset;
    destination->m_hostFrame = m_hostFrame;
    destination->m_sequenceNumber = m_sequenceNumber;
    destination->m_inputIdentifier = m_inputIdentifier;
    destination->m_keepContinuity = m_keepContinuity;
    destination->m_videoStandard = m_videoStandard;
    destination->m_lineRemoval = m_lineRemoval;
    destination->m_captionWord[0] = m_captionWord[0];
    destination->m_captionWord[1] = m_captionWord[1];
    destination->m_vbiInfoHeader = m_vbiInfoHeader;
    if (withFormat)
        destination->m_format = m_format;
}

bool Frame::IsEqual(const Frame* other) const
{
    return other != nullptr && other->GetDataSize() == GetDataSize();
}

bool Frame::IsSameInput(const Frame* other) const
{
    return other != nullptr && other->m_inputIdentifier == m_inputIdentifier;
}

void Frame::SetBuffer(PVOID data, ULONG size, LONG bitsPerSample, LONG channelPairs, LONG samples)
{
    TRACE_SCOPE(this, "Frame::SetBuffer", kTraceLowEnter, "pData=0x%p, size=%d, nBits=%d, nPairs=%d, nSamples=%d", data,
                size, bitsPerSample, channelPairs, samples);
    Initialize(data, size, bitsPerSample);
    SetGeometry(m_dataSize, 1, channelPairs, samples);
    SetSecondGeometry(m_dataSize, 1);
    const LONG stride = static_cast<LONG>(m_dataSize);
    SetPlanes(m_data, stride, nullptr, 0, nullptr, 0);
}

FrameFieldSize Frame::GetVbiSize(LONG field) const
{
    return (field == 0 || field == 1) ? m_vbiSize[field] : FrameFieldSize{0, 0};
}

void Frame::SetVbiSize(LONG field, LONG width, LONG lines)
{
    if (field == 0 || field == 1)
        m_vbiSize[field] = {width, lines};
}

FrameFieldSize Frame::GetActiveSize(LONG field) const
{
    return (field == 0 || field == 1) ? m_activeSize[field] : FrameFieldSize{0, 0};
}

void Frame::SetActiveSize(LONG field, LONG width, LONG height)
{
    if (field == 0 || field == 1)
        m_activeSize[field] = {width, height};
}

void Frame::SetPlanes(PUCHAR y, LONG strideY, PUCHAR u, LONG strideU, PUCHAR v, LONG strideV)
{
    m_plane[0] = y;
    m_plane[1] = u;
    m_plane[2] = v;
    m_stride[0] = strideY;
    m_stride[1] = strideU;
    m_stride[2] = strideV;
}

void Frame::SetGeometry(ULONG rowWidth, ULONG rowCount, LONG width, LONG height)
{
    m_rowWidth = rowWidth;
    m_rowCount = rowCount;
    m_width = width;
    m_height = height;
}
