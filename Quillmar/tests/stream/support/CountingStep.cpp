// The counting test step (see CountingStep.h).
#include "CountingStep.h"

#include "frame.h"

namespace streamtest {

CountingStep::CountingStep(LONG id, int setting, std::atomic<int>* live)
    : Algorithm(id), setting_(setting), live_(live)
{
    if (live_)
        live_->fetch_add(1);
}

CountingStep::~CountingStep()
{
    if (live_)
        live_->fetch_sub(1);
}

bool CountingStep::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* step = dynamic_cast<const CountingStep*>(other);
    return step == nullptr || step->setting_ == setting_;
}

void CountingStep::Process(Frame* frame)
{
    BeginTiming();
    frames_.push_back(frame);
    writable_.push_back(frame != nullptr && frame->IsWritable());
    if (hook_)
        hook_(this, frame, hookContext_);
    if (returnEarly_ && GetRoot() != nullptr)
        GetRoot()->ReturnBuffer();
    EndTiming();
    DeliverToChildren(frame);
}

} // namespace streamtest
