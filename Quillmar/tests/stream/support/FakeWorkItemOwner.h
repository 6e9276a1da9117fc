// A work-item owner for tests: it records every buffer given back (the entry named by the item's
// self pointer) in order, so a test can check that each item came back exactly once, and can look
// at the tree while a return happens.
#pragma once
#include "frameprocessingsource.h"

#include <map>
#include <mutex>
#include <vector>

namespace streamtest {

class FakeWorkItemOwner : public FrameWorkItemOwner {
public:
    void ReturnDMABuffer(FrameWorkItem* item) override;

    // The entries given back, in order (self pointers; the item itself when it has none).
    std::vector<FrameWorkItem*> Returned() const;
    // How often `entry` came back.
    int ReturnCount(const FrameWorkItem* entry) const;
    size_t TotalReturns() const;
    // Called in ReturnDMABuffer, after recording.
    void SetOnReturn(void (*hook)(FrameWorkItem* item, void* context), void* context)
    {
        hook_ = hook;
        context_ = context;
    }

    // An entry over `frame`, owned by this owner, its self pointer set.
    void InitializeEntry(FrameWorkItem* entry, Frame* frame);

private:
    mutable std::mutex lock_;
    std::vector<FrameWorkItem*> returned_;
    std::map<const FrameWorkItem*, int> counts_;
    void (*hook_)(FrameWorkItem*, void*) = nullptr;
    void* context_ = nullptr;
};

} // namespace streamtest
