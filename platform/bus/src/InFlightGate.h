// Counts the threads currently inside a device model's range or a DMA block, so that whoever
// removes it can wait until they have all left before the model or the host memory goes away. A
// thread that removes the very thing it is inside (a model unregistering itself from one of its own
// handlers) does not wait for itself.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace platform {

class InFlightGate {
public:
    // Enter is called while the owner's table lock still guarantees the entry is registered, so that
    // a removal made after that lock is released always sees this thread.
    void Enter();
    void Leave();
    // Returns once every thread but the caller has left.
    void WaitIdle();

private:
    std::mutex m_lock;
    std::condition_variable m_left;
    size_t m_inside = 0;
};

// Leaves a gate, entered under the owner's lock, when the scope ends.
class InFlightScope {
public:
    InFlightScope(InFlightGate& gate, std::adopt_lock_t) : m_gate(gate) {}
    ~InFlightScope() { m_gate.Leave(); }
    InFlightScope(const InFlightScope&) = delete;
    InFlightScope& operator=(const InFlightScope&) = delete;

private:
    InFlightGate& m_gate;
};

} // namespace platform
