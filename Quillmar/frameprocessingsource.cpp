// FrameProcessingSource: the processing tree's root (see frameprocessingsource.h).
#include "frameprocessingsource.h"

#include "frame.h"
#include "tracelogger.h"
#include "tracescope.h"

FrameProcessingSource::FrameProcessingSource(FrameWorkItemOwner* owner)
    : Algorithm(kAlgorithmIdProcessingSource), m_owner(owner)
{
    TRACE_SCOPE(this, "FrameProcessingSource::FrameProcessingSource", kTraceLowEnter, "pOwner=0x%p", owner);
    SetRoot(this);
}

FrameProcessingSource::~FrameProcessingSource()
{
    TRACE_SCOPE(this, "FrameProcessingSource::~FrameProcessingSource", kTraceLowEnter);
}

void FrameProcessingSource::Process(FrameWorkItem* item)
{
    TRACE_SCOPE(this, "FrameProcessingSource::Process", kTraceLowEnter, "pWorkItem=0x%p", item);
    if (item == nullptr)
        return;
    KPLXFastStackLock lock(&m_processingLock, this, "FrameProcessingSource::Process", __LINE__);
    SetCurrentWorkItem(item);
    if (Frame* frame = item->frame) {
        // The buffer's frame is the tree's to change only when one branch reads it.
        frame->SetWritable(true);
        m_processing = true;
        DeliverToChildren(frame);
        m_processing = false;
    }
    if (GetCurrentWorkItem() != nullptr)
        GiveBack();
}

void FrameProcessingSource::ReturnBuffer()
{
    TRACE_SCOPE(this, "FrameProcessingSource::ReturnBuffer", kTraceLowEnter);
    // While the tree runs, siblings of the caller may still read the buffer.
    if (m_processing && GetChildCount() != 1)
        return;
    if (GetCurrentWorkItem() != nullptr)
        GiveBack();
}

void FrameProcessingSource::GiveBack()
{
    FrameWorkItem* item = GetCurrentWorkItem();
    SetCurrentWorkItem(nullptr);
    if (item == nullptr)
        return;
    FrameWorkItemOwner* owner = m_owner != nullptr ? m_owner : item->owner;
    if (owner != nullptr)
        owner->ReturnDMABuffer(item);
}
