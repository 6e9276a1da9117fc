// The recording work-item owner (see FakeWorkItemOwner.h).
#include "FakeWorkItemOwner.h"

namespace streamtest {

void FakeWorkItemOwner::ReturnDMABuffer(FrameWorkItem* item)
{
    FrameWorkItem* entry = (item != nullptr && item->self != nullptr) ? item->self : item;
    void (*hook)(FrameWorkItem*, void*) = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> hold(lock_);
        returned_.push_back(entry);
        ++counts_[entry];
        hook = hook_;
        context = context_;
    }
    if (hook)
        hook(item, context);
}

std::vector<FrameWorkItem*> FakeWorkItemOwner::Returned() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return returned_;
}

int FakeWorkItemOwner::ReturnCount(const FrameWorkItem* entry) const
{
    std::lock_guard<std::mutex> hold(lock_);
    auto found = counts_.find(entry);
    return found == counts_.end() ? 0 : found->second;
}

size_t FakeWorkItemOwner::TotalReturns() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return returned_.size();
}

void FakeWorkItemOwner::InitializeEntry(FrameWorkItem* entry, Frame* frame)
{
    *entry = FrameWorkItem{};
    entry->owner = this;
    entry->frame = frame;
    entry->self = entry;
}

} // namespace streamtest
