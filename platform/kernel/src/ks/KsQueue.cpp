// A pin's queue of client frames and its stream pointers (see KsQueue.h). Callbacks (request
// completion, clones' cancel callbacks) always run after the queue's lock is dropped, so a driver may
// call back into the queue from them.
#include "KsQueue.h"

#include "km/status.h"

#include <algorithm>

namespace standin {

KsQueue::KsQueue(PKSPIN pin) : pin_(pin)
{
    leading_.queue = this;
    leading_.pointer.Pin = pin;
    leading_.pointer.Offset = &leading_.pointer.OffsetOut;
}

KsQueue::~KsQueue()
{
    End();
}

void KsQueue::RunDeferred(Deferred& deferred)
{
    for (KsStreamPointerObject* clone : deferred.cancelNotices) {
        // An earlier callback may have deleted this clone too.
        if (Owns(clone))
            clone->cancelCallback(&clone->pointer);
    }
    for (const std::shared_ptr<KsQueueRequest>& request : deferred.finished)
        request->Finished(request->cancelled_, request->status_);
}

// The first frame after `after` (from the front when NULL) that is neither left by the leading edge
// nor cancelled.
KsQueueFrame* KsQueue::NextLive(KsQueueFrame* after)
{
    auto it = frames_.begin();
    if (after) {
        it = std::find_if(frames_.begin(), frames_.end(), [after](const KsQueueFrame& f) { return &f == after; });
        if (it != frames_.end())
            ++it;
    }
    for (; it != frames_.end(); ++it) {
        if (!it->passed && !it->cancelled)
            return &*it;
    }
    return nullptr;
}

void KsQueue::Describe(KsStreamPointerObject* pointer)
{
    KSSTREAM_POINTER& p = pointer->pointer;
    p.OffsetIn = {};
    if (pointer->locked && pointer->frame) {
        KsQueueFrame* frame = pointer->frame;
        p.StreamHeader = frame->header;
        p.OffsetOut.Data = frame->data ? frame->data + pointer->used : nullptr;
        p.OffsetOut.Count = frame->extent;
        p.OffsetOut.Remaining = frame->extent - pointer->used;
    } else {
        p.StreamHeader = nullptr;
        p.OffsetOut = {};
    }
}

void KsQueue::SetLocked(KsStreamPointerObject* pointer, bool locked)
{
    if (pointer->locked == locked)
        return;
    pointer->locked = locked;
    if (locked) {
        ++lockedCount_;
    } else {
        --lockedCount_;
        unlocked_.notify_all();
    }
}

void KsQueue::ReleaseIfDone(KsQueueFrame* frame, Deferred& deferred)
{
    // Looked up by address first: a frame met earlier in the same step may already have gone.
    auto it = std::find_if(frames_.begin(), frames_.end(), [frame](const KsQueueFrame& f) { return &f == frame; });
    if (it == frames_.end() || it->holders > 0 || !(it->passed || it->cancelled))
        return;
    std::shared_ptr<KsQueueRequest> request = std::move(it->request);
    frames_.erase(it);
    if (--request->outstanding_ == 0)
        deferred.finished.push_back(std::move(request));
}

// Puts the pointer on `frame` (NULL: past the last frame) at its start; the frame it leaves is
// released if nothing else keeps it.
void KsQueue::Place(KsStreamPointerObject* pointer, KsQueueFrame* frame, Deferred& deferred)
{
    KsQueueFrame* old = pointer->frame;
    pointer->frame = frame;
    pointer->used = 0;
    if (frame)
        ++frame->holders;
    if (old) {
        --old->holders;
        ReleaseIfDone(old, deferred);
    }
    if (!frame)
        SetLocked(pointer, false);
    Describe(pointer);
}

// The pointer leaves its frame for the next live one; the leading edge marks the frame it leaves.
void KsQueue::MoveOn(KsStreamPointerObject* pointer, Deferred& deferred)
{
    KsQueueFrame* old = pointer->frame;
    if (!old)
        return;
    if (pointer == &leading_)
        old->passed = true;
    Place(pointer, NextLive(old), deferred);
}

void KsQueue::Submit(const std::shared_ptr<KsQueueRequest>& request, const std::vector<FrameSpec>& frames)
{
    if (frames.empty())
        return;
    std::lock_guard<std::mutex> guard(lock_);
    request->outstanding_ += frames.size();
    KsQueueFrame* first = nullptr;
    for (const FrameSpec& spec : frames) {
        KsQueueFrame& frame = frames_.emplace_back();
        frame.request = request;
        frame.header = spec.header;
        frame.data = spec.data;
        frame.extent = spec.extent;
        if (!first)
            first = &frame;
    }
    if (!leading_.frame) {
        Deferred none;
        Place(&leading_, first, none);
    }
}

void KsQueue::CancelFrames(KsQueueRequest* only, Deferred& deferred)
{
    std::vector<KsQueueFrame*> affected;
    for (KsQueueFrame& frame : frames_) {
        if ((only && frame.request.get() != only) || frame.cancelled)
            continue;
        frame.cancelled = true;
        frame.request->cancelled_ = true;
        affected.push_back(&frame);
    }
    // An unlocked leading edge gives its cancelled frame up now; a locked one at its unlock.
    if (leading_.frame && leading_.frame->cancelled && !leading_.locked)
        Place(&leading_, NextLive(leading_.frame), deferred);
    for (auto& clone : clones_) {
        if (clone->frame && clone->frame->cancelled && clone->cancelCallback && !clone->cancelNotified) {
            clone->cancelNotified = true;
            deferred.cancelNotices.push_back(clone.get());
        }
    }
    for (KsQueueFrame* frame : affected)
        ReleaseIfDone(frame, deferred);
}

void KsQueue::Cancel(KsQueueRequest* request)
{
    Deferred deferred;
    {
        std::lock_guard<std::mutex> guard(lock_);
        CancelFrames(request, deferred);
    }
    RunDeferred(deferred);
}

void KsQueue::Flush()
{
    Deferred deferred;
    {
        std::unique_lock<std::mutex> guard(lock_);
        flushing_ = true;
        unlocked_.wait(guard, [this] { return lockedCount_ == 0; });
        CancelFrames(nullptr, deferred);
        flushing_ = false;
    }
    RunDeferred(deferred);
}

void KsQueue::End()
{
    Flush();
    Deferred deferred;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // The pin is going: clones the driver kept die with it, releasing their frames.
        for (auto& clone : clones_) {
            SetLocked(clone.get(), false);
            Place(clone.get(), nullptr, deferred);
        }
        clones_.clear();
        Place(&leading_, nullptr, deferred);
    }
    RunDeferred(deferred);
}

PKSSTREAM_POINTER KsQueue::LeadingEdge(KSSTREAM_POINTER_STATE state)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!leading_.frame)
        return nullptr;
    if (state == KSSTREAM_POINTER_STATE_LOCKED) {
        if (leading_.locked || flushing_)
            return nullptr;
        SetLocked(&leading_, true);
        Describe(&leading_);
    }
    return &leading_.pointer;
}

bool KsQueue::LiveLocked(const KsStreamPointerObject* pointer) const
{
    return pointer->locked && pointer->frame;
}

NTSTATUS KsQueue::Lock(KsStreamPointerObject* pointer)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!Known(pointer))
        return STATUS_INVALID_PARAMETER;
    if (pointer->locked)
        return STATUS_INVALID_DEVICE_STATE;
    if (!pointer->frame || flushing_)
        return STATUS_DEVICE_NOT_READY;
    SetLocked(pointer, true);
    Describe(pointer);
    return STATUS_SUCCESS;
}

void KsQueue::Unlock(KsStreamPointerObject* pointer, bool eject)
{
    Deferred deferred;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!Known(pointer))
            return;
        SetLocked(pointer, false);
        if (eject || (pointer->frame && pointer->frame->cancelled && pointer == &leading_))
            MoveOn(pointer, deferred);
        Describe(pointer);
    }
    RunDeferred(deferred);
}

NTSTATUS KsQueue::Advance(KsStreamPointerObject* pointer)
{
    Deferred deferred;
    NTSTATUS status;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!Known(pointer))
            return STATUS_INVALID_PARAMETER;
        const bool wasLocked = pointer->locked;
        MoveOn(pointer, deferred);
        if (!pointer->frame) {
            status = STATUS_DEVICE_NOT_READY;
        } else {
            SetLocked(pointer, wasLocked && !flushing_);
            Describe(pointer);
            status = STATUS_SUCCESS;
        }
    }
    RunDeferred(deferred);
    return status;
}

NTSTATUS KsQueue::AdvanceOffsets(KsStreamPointerObject* pointer, ULONG inUsed, ULONG outUsed, bool eject)
{
    Deferred deferred;
    NTSTATUS status = STATUS_SUCCESS;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!Known(pointer))
            return STATUS_INVALID_PARAMETER;
        if (!LiveLocked(pointer))
            return STATUS_DEVICE_NOT_READY;
        KsQueueFrame* frame = pointer->frame;
        if (inUsed != 0 || outUsed > frame->extent - pointer->used)
            return STATUS_INVALID_PARAMETER;
        pointer->used += outUsed;
        frame->header->DataUsed += outUsed;
        if (eject || pointer->used == frame->extent) {
            MoveOn(pointer, deferred);
            if (!pointer->frame)
                status = STATUS_DEVICE_NOT_READY;
            else if (flushing_)
                SetLocked(pointer, false);
        }
        Describe(pointer);
    }
    RunDeferred(deferred);
    return status;
}

NTSTATUS KsQueue::SetStatus(KsStreamPointerObject* pointer, NTSTATUS status)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!Known(pointer))
        return STATUS_INVALID_PARAMETER;
    if (!pointer->frame)
        return STATUS_DEVICE_NOT_READY;
    KsQueueRequest& request = *pointer->frame->request;
    if (!NT_SUCCESS(status) && NT_SUCCESS(request.status_))
        request.status_ = status;
    return STATUS_SUCCESS;
}

NTSTATUS KsQueue::Clone(KsStreamPointerObject* pointer, PFNKSSTREAMPOINTER cancelCallback, ULONG contextSize,
                        PKSSTREAM_POINTER* clone)
{
    auto copy = std::make_unique<KsStreamPointerObject>();
    if (contextSize > 0) {
        copy->context.reset(new (std::nothrow) uint64_t[(contextSize + 7) / 8]());
        if (!copy->context)
            return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!Known(pointer))
        return STATUS_INVALID_PARAMETER;
    if (!pointer->frame)
        return STATUS_DEVICE_NOT_READY;
    KsStreamPointerObject* made = copy.get();
    made->queue = this;
    made->clone = true;
    made->cancelCallback = cancelCallback;
    made->pointer.Context = made->context.get();
    made->pointer.Pin = pin_;
    made->pointer.Offset = &made->pointer.OffsetOut;
    made->frame = pointer->frame;
    made->used = pointer->used;
    ++made->frame->holders;
    SetLocked(made, pointer->locked && !flushing_);
    Describe(made);
    clones_.push_back(std::move(copy));
    *clone = &made->pointer;
    return STATUS_SUCCESS;
}

bool KsQueue::Delete(KsStreamPointerObject* pointer)
{
    Deferred deferred;
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = std::find_if(clones_.begin(), clones_.end(), [pointer](const auto& c) { return c.get() == pointer; });
        if (it == clones_.end())
            return false;
        SetLocked(pointer, false);
        Place(pointer, nullptr, deferred);
        clones_.erase(it);
    }
    RunDeferred(deferred);
    return true;
}

PKSSTREAM_POINTER KsQueue::FirstClone()
{
    std::lock_guard<std::mutex> guard(lock_);
    return clones_.empty() ? nullptr : &clones_.front()->pointer;
}

PKSSTREAM_POINTER KsQueue::NextClone(KsStreamPointerObject* pointer)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = std::find_if(clones_.begin(), clones_.end(), [pointer](const auto& c) { return c.get() == pointer; });
    if (it == clones_.end() || ++it == clones_.end())
        return nullptr;
    return &(*it)->pointer;
}

size_t KsQueue::FrameCount()
{
    std::lock_guard<std::mutex> guard(lock_);
    return frames_.size();
}

bool KsQueue::Owns(const KsStreamPointerObject* pointer)
{
    std::lock_guard<std::mutex> guard(lock_);
    return Known(pointer);
}

bool KsQueue::Known(const KsStreamPointerObject* pointer) const
{
    if (pointer == &leading_)
        return true;
    return std::any_of(clones_.begin(), clones_.end(), [pointer](const auto& c) { return c.get() == pointer; });
}

} // namespace standin
