// ExSetTimerResolution: the standing requests, the resolution in effect, and the record of calls.
#include "km/time.h"
#include "standin/system.h"

#include <algorithm>
#include <mutex>

namespace standin {
namespace {

struct TimerResolutionState {
    std::mutex lock;
    std::vector<ULONG> standing; // in the order they were made
    std::vector<TimerResolutionRequest> calls;
};

TimerResolutionState& State()
{
    static auto* state = new TimerResolutionState;
    return *state;
}

// The finest standing request, or the default when none stands. `s.lock` is held.
ULONG ResolutionInEffect(const TimerResolutionState& s)
{
    return s.standing.empty() ? STANDIN_DEFAULT_TIMER_RESOLUTION
                              : *std::min_element(s.standing.begin(), s.standing.end());
}

} // namespace

std::vector<TimerResolutionRequest> TimerResolutionRequests()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.calls;
}

ULONG CurrentTimerResolution()
{
    auto& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    return ResolutionInEffect(s);
}

} // namespace standin

extern "C" ULONG NTAPI ExSetTimerResolution(ULONG DesiredTime, BOOLEAN SetResolution)
{
    auto& s = standin::State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (SetResolution)
        s.standing.push_back(std::clamp<ULONG>(DesiredTime, STANDIN_MINIMUM_TIMER_RESOLUTION,
                                               STANDIN_DEFAULT_TIMER_RESOLUTION));
    else if (!s.standing.empty())
        s.standing.pop_back();
    const ULONG result = standin::ResolutionInEffect(s);
    s.calls.push_back({DesiredTime, SetResolution != 0, result});
    return result;
}
