// The level of an interrupt line and the waits on it.
#include "platform/bus/InterruptLine.h"

#include <utility>

namespace platform {

void InterruptLine::Assert()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_asserted)
            return;
        m_asserted = true;
        ++m_assertions;
    }
    m_raised.notify_all();
}

void InterruptLine::Release()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_asserted = false;
}

bool InterruptLine::IsAsserted() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_asserted;
}

bool InterruptLine::WaitUntilAsserted(std::stop_token stop) const
{
    std::unique_lock<std::mutex> hold(m_lock);
    // The stop-aware wait checks the stop request under the lock, so a stop requested at any moment
    // before or during the wait ends it.
    return m_raised.wait(hold, std::move(stop), [this] { return m_asserted; });
}

uint64_t InterruptLine::AssertionCount() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_assertions;
}

} // namespace platform
