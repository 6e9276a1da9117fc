// CDeliverCC: the two caption bytes of a field as the CC pin's frame.
#include "cdelivercc.h"

#include "frame.h"
#include "stepframes.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstdio>

namespace {

// A byte as its character and value when printable, else as its value.
void DescribeByte(UCHAR byte, char* text, size_t size)
{
    if (byte >= 0x20 && byte < 0x7F)
        std::snprintf(text, size, "%c 0x%02x", byte, byte);
    else
        std::snprintf(text, size, "0x%02x", byte);
}

} // namespace

CDeliverCC::CDeliverCC(LONG ccField, LONG idWord, LONG vbiField)
    : Algorithm(kAlgorithmIdCC), m_ccField(ccField), m_idWord(idWord), m_vbiField(vbiField)
{
    TRACE_SCOPE(this, "CDeliverCC::CDeliverCC", kTraceLowEnter, "CC Field=%d, VBI field=%d", ccField, vbiField);
}

CDeliverCC::~CDeliverCC()
{
    delete m_output;
}

bool CDeliverCC::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* o = static_cast<const CDeliverCC*>(other);
    return m_ccField == o->m_ccField && m_idWord == o->m_idWord && m_vbiField == o->m_vbiField;
}

void CDeliverCC::Process(Frame* frame)
{
    BeginTiming();
    // Without its frame (no memory) the step drops this field's bytes and tries again at the next.
    if (!m_output && !(m_output = NewDataFrame(2))) {
        EndTiming();
        return;
    }
    const USHORT word = frame ? frame->GetCaptionWord(m_vbiField) : 0x8080;
    if (frame)
        frame->CopyAttributes(m_output, false);
    PUCHAR data = m_output->GetFrameData();
    data[0] = static_cast<UCHAR>(word & 0xFF);
    data[1] = static_cast<UCHAR>(word >> 8);
    m_output->SetDataSize(2);
    char first[16], second[16];
    DescribeByte(data[0], first, sizeof(first));
    DescribeByte(data[1], second, sizeof(second));
    TRACE_LINE(this, "CDeliverCC::Process", kTraceLows, "Field %d CC data is [%s] [%s]", m_vbiField, first, second);
    m_output->SetWritable(true);
    EndTiming();
    DeliverToChildren(m_output);
}
