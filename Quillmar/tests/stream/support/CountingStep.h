// A processing step for tests: any algorithm id, one setting that IsEqual compares, a record of
// the frames it processed (with the writable flag each arrived with), and a live count shared by
// the steps a test makes, so that a test sees which steps a tree destroyed. It may also give the
// work item back early through the tree's root, as steps that copied the buffer do.
#pragma once
#include "algorithm.h"

#include <atomic>
#include <vector>

class Frame;

namespace streamtest {

class CountingStep : public Algorithm {
public:
    // `live`, when given, counts the steps alive: +1 here, -1 in the destructor.
    explicit CountingStep(LONG id, int setting = 0, std::atomic<int>* live = nullptr);
    ~CountingStep() override;

    // Same id and, for another CountingStep, the same setting.
    bool IsEqual(const Algorithm* other) const override;
    // Records the frame, optionally returns the buffer early, times itself and hands the frame on.
    void Process(Frame* frame) override;

    int Setting() const { return setting_; }
    // Frames processed, in order, and whether each was writable on arrival.
    const std::vector<Frame*>& Frames() const { return frames_; }
    const std::vector<bool>& WritableOnArrival() const { return writable_; }
    size_t ProcessCount() const { return frames_.size(); }
    // With true, every Process calls GetRoot()->ReturnBuffer() before handing the frame on.
    void SetReturnBufferEarly(bool early) { returnEarly_ = early; }
    // Called in Process after recording (for tests that look at the tree mid-way).
    void SetOnProcess(void (*hook)(CountingStep* step, Frame* frame, void* context), void* context)
    {
        hook_ = hook;
        hookContext_ = context;
    }

    using Algorithm::DeliverToChildren;
    using Algorithm::PrepareInPlaceFrame;

private:
    int setting_;
    std::atomic<int>* live_;
    std::vector<Frame*> frames_;
    std::vector<bool> writable_;
    bool returnEarly_ = false;
    void (*hook_)(CountingStep*, Frame*, void*) = nullptr;
    void* hookContext_ = nullptr;
};

} // namespace streamtest
