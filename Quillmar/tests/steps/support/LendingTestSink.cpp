// The lending sink double.
#include "LendingTestSink.h"

#include <algorithm>
#include <cstring>

LendingTestSink::LendingTestSink(size_t bufferBytes, uint8_t fill)
    : Algorithm(kAlgorithmIdProcessingSink), m_bytes(bufferBytes), m_buffer(new uint8_t[bufferBytes ? bufferBytes : 1])
{
    std::memset(m_buffer.get(), fill, m_bytes);
}

LendingTestSink::~LendingTestSink()
{
    if (m_lentFrame)
        m_lentFrame->SetFrameData(m_savedData);
}

bool LendingTestSink::GetDestinationBuffer(Frame* frame, ULONG bytesNeeded)
{
    ++m_lendRequests;
    m_lastBytesNeeded = bytesNeeded;
    if (!frame || m_lentFrame || m_bytes < bytesNeeded || m_bytes == 0)
        return false;
    m_lentFrame = frame;
    m_savedData = frame->GetFrameData();
    m_savedSize = frame->GetDataSize();
    frame->SetFrameData(m_buffer.get());
    frame->SetDataSize(static_cast<ULONG>(m_bytes));
    ++m_lends;
    return true;
}

void LendingTestSink::Process(Frame* frame)
{
    BeginTiming();
    ++m_deliveries;
    m_lastFrame = frame;
    m_lastData = frame ? frame->GetFrameData() : nullptr;
    m_lastDataSize = frame ? frame->GetDataSize() : 0;
    m_lastPlaneY = frame ? frame->GetPlane(0) : nullptr;
    m_lastWritable = frame && frame->IsWritable();
    m_lastWidth = frame ? frame->GetWidth() : 0;
    m_lastHeight = frame ? frame->GetHeight() : 0;
    m_lastWasLent = frame && frame == m_lentFrame;
    if (frame && frame != m_lentFrame && frame->GetFrameData()) {
        std::memcpy(m_buffer.get(), frame->GetFrameData(), std::min<size_t>(m_bytes, frame->GetDataSize()));
        ++m_copies;
    }
    if (m_lentFrame) {
        m_lentFrame->SetFrameData(m_savedData);
        m_lentFrame->SetDataSize(m_savedSize);
        m_lentFrame = nullptr;
    }
    EndTiming();
}
