// A level-triggered interrupt line. A device model asserts it and it stays asserted until the model
// releases it (typically when the driver acknowledges the cause in a device register). Several
// interrupt connections may share one line: the line keeps no list of them, it only has a level that
// any number of threads may watch.
//
// Interface for the kernel side (interrupt connection and the interrupt thread):
//   - WaitUntilAsserted(stop) blocks until the line is asserted and returns true; it returns false as
//     soon as `stop` is requested instead, which is how an interrupt thread is woken for shutdown
//     (request the stop on its std::stop_source; no wake-up can be lost). It returns at once while the
//     line is asserted, so a thread that serviced the line calls it again and is kept busy exactly as
//     long as the level stays up.
//   - IsAsserted() reads the level, e.g. to decide whether to go round the connected routines again.
//   - Any number of threads may wait on one line at once; every one of them is woken by an assertion.
// Assert and Release are idempotent, as for a wire. All of it is thread-safe; no lock is held while a
// caller runs its own code.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>

namespace platform {

class InterruptLine {
public:
    InterruptLine() = default;
    InterruptLine(const InterruptLine&) = delete;
    InterruptLine& operator=(const InterruptLine&) = delete;

    // Device side.
    void Assert();
    void Release();

    // Kernel side.
    bool IsAsserted() const;
    bool WaitUntilAsserted(std::stop_token stop) const;
    // How many times the line went from released to asserted: lets a waiter tell a new assertion
    // from the one it has already serviced.
    uint64_t AssertionCount() const;

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable_any m_raised;
    bool m_asserted = false;
    uint64_t m_assertions = 0;
};

} // namespace platform
