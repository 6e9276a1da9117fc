// Algorithm: the processing tree's node, its searches, timing and in-place frame choice (see
// algorithm.h).
#include "algorithm.h"

#include "audioframe.h"
#include "km/raise.h"
#include "km/time.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include <algorithm>
#include <cstring>

namespace {

const WCHAR* const kDisplayNames[kAlgorithmIdCount] = {
    u"Processing Source", u"Processing Sink", u"Frame Rate", u"Crop", u"Deinterlace", u"Scale",
    u"Image", u"Proc Amp", u"Color Space (Not Used)", u"Histogram", u"Renderer", u"Color Space",
    u"Logo", u"Sample Size", u"Stereo Pair", u"CC", u"Overlay CC", u"Volume", u"LOS Overlay",
    u"VBI", u"Seperate Frame", u"Sample Rate", u"End",
};

ULONGLONG ReadPerformanceCounter(ULONGLONG* frequency)
{
    LARGE_INTEGER f{};
    const LARGE_INTEGER counter = KeQueryPerformanceCounter(frequency ? &f : nullptr);
    if (frequency)
        *frequency = static_cast<ULONGLONG>(f.QuadPart);
    return static_cast<ULONGLONG>(counter.QuadPart);
}

// A new frame, or null when the driver's allocation cannot serve it.
template <typename FrameType, typename... Arguments>
FrameType* MakeFrame(Arguments... arguments)
{
    try {
        return new FrameType(arguments...);
    } catch (const standin::RaisedStatus&) {
        return nullptr;
    }
}

} // namespace

const WCHAR* AlgorithmDisplayName(LONG id)
{
    return (id >= 0 && id < kAlgorithmIdCount) ? kDisplayNames[id] : u"Unknown";
}

Algorithm::Algorithm(LONG algorithmId) : m_algorithmId(algorithmId)
{
    TRACE_SCOPE(this, "Algorithm::Algorithm", kTraceLowEnter, "eBrevicorAlgorithmId=%d (%ls)", algorithmId,
                AlgorithmDisplayName(algorithmId));
    ReadPerformanceCounter(&m_timing.frequency);
}

Algorithm::~Algorithm()
{
    TRACE_SCOPE(this, "Algorithm::~Algorithm", kTraceLowEnter, "eBrevicorAlgorithmId=%d (%ls)", m_algorithmId,
                AlgorithmDisplayName(m_algorithmId));
    Disconnect();
    // A destroyed child leaves the list itself, moving the others down: always take slot 0.
    while (m_childCount > 0) {
        Algorithm* child = m_children[0];
        if (child == nullptr) {
            m_childCount = 0;
            break;
        }
        if (child->GetAlgorithmId() == kAlgorithmIdProcessingSink) {
            // Sinks belong to their pins: they leave the tree, alive.
            child->Disconnect();
            child->m_root = nullptr;
        } else {
            delete child;
        }
    }
    delete m_outputFrame;
    m_outputFrame = nullptr;
    OutputCPUUsage();
}

void Algorithm::Process(Frame* frame)
{
    DeliverToChildren(frame);
}

void Algorithm::DeliverToChildren(Frame* frame)
{
    if (frame == nullptr)
        return;
    if (m_childCount != 1)
        frame->SetWritable(false);
    for (LONG slot = 0; slot < kMaximumChildren; ++slot) {
        Algorithm* child = m_children[slot];
        if (child == nullptr)
            break;
        child->Process(frame);
    }
}

bool Algorithm::IsEqual(const Algorithm* other) const
{
    return other != nullptr && other->m_algorithmId == m_algorithmId;
}

bool Algorithm::AddToChildList(Algorithm* child)
{
    if (child == nullptr || m_childCount >= kMaximumChildren)
        return false;
    m_children[m_childCount] = child;
    ++m_childCount;
    TRACE_LINE(this, "Algorithm::AddToChildList", kTraceHighs, "m_eBrevicorAlgorithmId=%d (%ls), m_nChildCount=%d",
               m_algorithmId, AlgorithmDisplayName(m_algorithmId), m_childCount);
    return true;
}

bool Algorithm::RemoveFromChildList(Algorithm* child)
{
    for (LONG slot = 0; slot < kMaximumChildren; ++slot) {
        if (m_children[slot] != child || child == nullptr)
            continue;
        for (LONG later = slot; later < kMaximumChildren - 1; ++later)
            m_children[later] = m_children[later + 1];
        m_children[kMaximumChildren - 1] = nullptr;
        --m_childCount;
        return true;
    }
    return false;
}

bool Algorithm::GetDestinationBuffer(Frame*, ULONG)
{
    return false;
}

void Algorithm::ReturnBuffer() {}

bool Algorithm::Connect(Algorithm* parent)
{
    TRACE_SCOPE(this, "Algorithm::Connect", kTraceLowEnter, "pParent=0x%p", parent);
    if (parent == nullptr || parent == this)
        return false;
    m_parent = parent;
    m_root = parent->m_root;
    if (parent->AddToChildList(this))
        return true;
    m_parent = nullptr;
    m_root = nullptr;
    return false;
}

void Algorithm::Disconnect()
{
    if (m_parent == nullptr)
        return;
    m_parent->RemoveFromChildList(this);
    m_parent = nullptr;
}

Algorithm* Algorithm::GetChild(LONG index) const
{
    return (index >= 0 && index < kMaximumChildren) ? m_children[index] : nullptr;
}

Algorithm* Algorithm::FindFirstAlgorithmWithId(LONG* index, LONG id) const
{
    for (LONG slot = 0; slot < kMaximumChildren; ++slot) {
        Algorithm* child = m_children[slot];
        if (child != nullptr && child->m_algorithmId == id) {
            if (index)
                *index = slot;
            return child;
        }
    }
    return nullptr;
}

Algorithm* Algorithm::FindNextAlgorithmWithId(LONG* index, LONG id) const
{
    if (index == nullptr || *index + 1 >= kMaximumChildren)
        return nullptr;
    for (LONG slot = *index < 0 ? 0 : *index + 1; slot < kMaximumChildren; ++slot) {
        Algorithm* child = m_children[slot];
        if (child != nullptr && child->m_algorithmId == id) {
            *index = slot;
            return child;
        }
    }
    return nullptr;
}

Algorithm* Algorithm::FindAlgorithmWithId(LONG id) const
{
    for (LONG slot = 0; slot < kMaximumChildren; ++slot) {
        Algorithm* child = m_children[slot];
        if (child == nullptr)
            continue;
        if (child->m_algorithmId == id)
            return child;
        if (Algorithm* found = child->FindAlgorithmWithId(id))
            return found;
    }
    return nullptr;
}

Algorithm* Algorithm::FindParentWithId(LONG id) const
{
    for (Algorithm* step = m_parent; step != nullptr; step = step->m_parent) {
        if (step->m_algorithmId == id)
            return step;
    }
    return nullptr;
}

void Algorithm::MarkChainModified()
{
    for (Algorithm* step = this; step != nullptr; step = step->m_parent)
        step->m_modified = 1;
}

void Algorithm::ClearModifiedUpward()
{
    for (Algorithm* step = this; step != nullptr && step->m_childCount == 0; step = step->m_parent)
        step->m_modified = 0;
}

void Algorithm::BeginTiming()
{
    BeginTimingAt(ReadPerformanceCounter(nullptr));
}

void Algorithm::EndTiming()
{
    EndTimingAt(ReadPerformanceCounter(nullptr));
}

void Algorithm::BeginTimingAt(ULONGLONG counter)
{
    m_timing.start = counter;
}

void Algorithm::EndTimingAt(ULONGLONG counter)
{
    m_timing.end = counter;
    const ULONGLONG delta = m_timing.end - m_timing.start;
    m_timing.accumulated += delta;
    if (m_timing.longest == 0 || delta > m_timing.longest)
        m_timing.longest = delta;
    if (m_timing.shortest == 0 || delta < m_timing.shortest)
        m_timing.shortest = delta;
    ++m_timing.count;
}

void Algorithm::OutputCPUUsage() const
{
    if (m_timing.count == 0)
        return;
    TRACE_LINE(this, "Algorithm::OutputCPUUsage", kTraceHighs,
               "Algorithm=%ls, TF=%I64u, FC=%I64u, ACU=%I64u, HCU=%I64u, LCU=%I64u", AlgorithmDisplayName(m_algorithmId),
               m_timing.frequency, m_timing.count, m_timing.accumulated / m_timing.count, m_timing.longest,
               m_timing.shortest);
}

void Algorithm::SetOutputFrame(Frame* frame)
{
    if (frame == m_outputFrame)
        return;
    delete m_outputFrame;
    m_outputFrame = frame;
}

VideoFrame* Algorithm::PrepareInPlaceFrame(VideoFrame* incoming, bool copyPicture)
{
    if (incoming == nullptr)
        return nullptr;
    if (incoming->IsWritable())
        return incoming;
    auto* work = dynamic_cast<VideoFrame*>(m_outputFrame);
    if (work == nullptr || work == incoming || work->GetWidth() != incoming->GetWidth() ||
        work->GetHeight() != incoming->GetHeight() || work->GetFormat() != incoming->GetFormat() ||
        work->GetFrameData() == nullptr) {
        work = MakeFrame<VideoFrame>(incoming->GetWidth(), incoming->GetHeight(), incoming->GetFormat(), true);
        if (work == nullptr)
            return nullptr;
        SetOutputFrame(work);
        if (work->GetFrameData() == nullptr)
            return nullptr;
    }
    incoming->CopyAttributes(work, true);
    if (copyPicture)
        work->CopyFrame(incoming);
    work->SetWritable(true);
    return work;
}

AudioFrame* Algorithm::PrepareInPlaceFrame(AudioFrame* incoming, bool copySamples)
{
    if (incoming == nullptr)
        return nullptr;
    if (incoming->IsWritable())
        return incoming;
    auto* work = dynamic_cast<AudioFrame*>(m_outputFrame);
    if (work == nullptr || work == incoming || work->GetChannelPairs() != incoming->GetChannelPairs() ||
        work->GetBitsPerSample() != incoming->GetBitsPerSample() ||
        work->GetSamplesPerFrame() != incoming->GetSamplesPerFrame() || work->GetFrameData() == nullptr) {
        work = MakeFrame<AudioFrame>(incoming->GetChannelPairs(), incoming->GetBitsPerSample(),
                                     incoming->GetSamplesPerFrame());
        if (work == nullptr)
            return nullptr;
        SetOutputFrame(work);
        if (work->GetFrameData() == nullptr)
            return nullptr;
    }
    incoming->CopyAttributes(work, true);
    std::memcpy(work->StatusWords(), incoming->StatusWords(), sizeof(ULONG) * kFrameInfoBlockWords);
    std::memcpy(work->DescriptorWords(), incoming->DescriptorWords(), sizeof(ULONG) * kFrameInfoBlockWords);
    if (copySamples && incoming->GetFrameData() != nullptr)
        std::memcpy(work->GetFrameData(), incoming->GetFrameData(),
                    std::min(work->GetDataSize(), incoming->GetDataSize()));
    work->SetWritable(true);
    return work;
}
