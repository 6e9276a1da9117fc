// Waiting for the threads inside a range or block to leave it.
#include "InFlightGate.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace platform {
namespace {
// The gates this thread is inside, innermost last.
thread_local std::vector<const InFlightGate*> t_inside;
} // namespace

void InFlightGate::Enter()
{
    t_inside.push_back(this);
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_inside;
}

void InFlightGate::Leave()
{
    auto it = std::find(t_inside.rbegin(), t_inside.rend(), this);
    if (it != t_inside.rend())
        t_inside.erase(std::next(it).base());
    std::lock_guard<std::mutex> hold(m_lock);
    --m_inside;
    // Every leave wakes the waiter: it may be waiting for its own entries only, not for zero.
    m_left.notify_all();
}

void InFlightGate::WaitIdle()
{
    const auto own = static_cast<size_t>(std::count(t_inside.begin(), t_inside.end(), this));
    std::unique_lock<std::mutex> hold(m_lock);
    m_left.wait(hold, [&] { return m_inside <= own; });
}

} // namespace platform
