#include "FakeProcessorPin.h"

#include "algorithm.h"
#include "logicalstream.h"

namespace streamtest {

FakeProcessorPin::FakeProcessorPin(ULONG pinId, BasicFilter* filter, PKSFILTER ksFilter, ULONG kind)
    : m_pinId(pinId), m_filter(filter), m_ksFilter(ksFilter), m_kind(kind)
{
}

FakeProcessorPin::~FakeProcessorPin()
{
    // A sink still in a tree leaves it first (a tree never destroys sinks).
    if (m_sink && m_sink->GetParent() != nullptr)
        m_sink->Disconnect();
}

NTSTATUS FakeProcessorPin::Own(Step step, LONG newState)
{
    ++m_calls[step];
    if (m_failStatus[step] != STATUS_SUCCESS) {
        const NTSTATUS status = m_failStatus[step];
        m_failStatus[step] = STATUS_SUCCESS;
        return status;
    }
    m_state = newState;
    return STATUS_SUCCESS;
}

void FakeProcessorPin::FailNext(Step step, NTSTATUS status)
{
    m_failStatus[step] = status;
}

NTSTATUS FakeProcessorPin::BuildAlgorithmChain(AlgorithmList* list)
{
    ++m_builds;
    return m_builder ? m_builder(list) : STATUS_SUCCESS;
}

bool FakeProcessorPin::GetAudioFormat(StreamAudioFormat* format) const
{
    if (!m_hasFormat)
        return false;
    *format = m_format;
    return true;
}

void FakeProcessorPin::SetAudioFormat(const StreamAudioFormat& format)
{
    m_format = format;
    m_hasFormat = true;
}

void FakeProcessorPin::DetachFromStream()
{
    ++m_detaches;
    if (m_onDetach)
        m_onDetach();
    LogicalStream* stream = m_stream.load();
    if (stream != nullptr && m_sink)
        stream->RemoveFrameSink(m_sink.get());
    m_stream = nullptr;
    m_queue = nullptr;
}

} // namespace streamtest
