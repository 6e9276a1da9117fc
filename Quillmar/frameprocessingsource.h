// FrameProcessingSource: the root of a logical stream's processing tree (algorithm id 0), embedded
// in the stream. The stream's queue thread hands it one work item at a time; it runs the whole tree
// over the item's frame under the stream's processing lock and then gives the buffer back to its
// owner, exactly once.
//
// FrameWorkItem is the mapping entry of one DMA or host buffer: the stream's table holds one per
// buffer, and the rings between the response thread, the generators and the queue thread carry
// copies of it. The entry's self pointer is its identity: the owner finds its table entry through
// it, so a copy may be handed back. FrameWorkItemOwner is what the source gives buffers back to
// (the logical stream implements it).
#pragma once
#include "algorithm.h"
#include "kplxfastlock.h"
#include "km/types.h"

class Frame;
struct FrameWorkItem;

class FrameWorkItemOwner {
public:
    // Takes the buffer of `item` back (queues it to the DSP again, or to the free ring for host
    // frames). `item` may be a copy of the table entry: its self pointer names the entry.
    virtual void ReturnDMABuffer(FrameWorkItem* item) = 0;

protected:
    ~FrameWorkItemOwner() = default;
};

struct FrameWorkItem {
    FrameWorkItemOwner* owner;  // the owning stream
    Frame* frame;               // laid over the buffer
    PVOID virtualAddress;       // the buffer
    ULONGLONG physicalAddress;  // its bus address (0 for host frames)
    FrameWorkItem* self;        // the table entry: the item's identity
    ULONG reserved[2];          // two further words, left to the owner
    UCHAR withDsp;              // 1 while the DSP holds the buffer
    UCHAR ownerState;           // where the buffer is now, in the owner's own terms
    ULONG ownerGeneration;      // the owner's handle generation when the item was made
};

class FrameProcessingSource : public Algorithm {
public:
    // The owner the source gives buffers back to (may be set later with SetOwner). The source is
    // its own root.
    explicit FrameProcessingSource(FrameWorkItemOwner* owner = nullptr);
    ~FrameProcessingSource() override;

    void SetOwner(FrameWorkItemOwner* owner) { m_owner = owner; }
    FrameWorkItemOwner* GetOwner() const { return m_owner; }

    // Under the processing lock: current work item := item; the item's frame (marked writable
    // when the source has exactly one child) goes to the children; if the item is still current,
    // ReturnBuffer gives it back. A null item or one without frame is given straight back (when it
    // is not null) without running the tree.
    void Process(FrameWorkItem* item);
    // A frame entering without a work item goes to the children as the base does.
    using Algorithm::Process;
    // Gives the current work item back to the owner and forgets it. Called by a step before the
    // tree is done (the step copied what it needs), it is honoured only when the source has a
    // single child: with several children the others still read the buffer, and it goes back when
    // all are done. Nothing when no item is current.
    void ReturnBuffer() override;

    // The stream's processing lock: tree processing and chain changes take it.
    KPLXFastLock* GetProcessingLock() { return &m_processingLock; }
    // The work item being processed; null outside Process and after an early return.
    FrameWorkItem* GetCurrentWorkItem() const { return Algorithm::GetCurrentWorkItem(); }

private:
    void GiveBack();

    KPLXFastLock m_processingLock;
    FrameWorkItemOwner* m_owner = nullptr;
    bool m_processing = false;
};
