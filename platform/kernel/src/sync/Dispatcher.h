// The dispatcher: the one lock over every waitable object's state, the wait records that blocked
// threads keep on their stacks, and the rules by which a signal satisfies waiters.
#pragma once
#include "km/sync.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <unordered_set>

namespace standin {

class KernelThread;

// The simulated deadline of a kernel time-out: NULL never, negative relative, positive an absolute
// system time, 0 now.
int64_t DeadlineOfTimeout(const LARGE_INTEGER* timeout);

// A blocked thread's entry in an object's wait list; lives on the waiter's stack.
struct WaitBlock {
    WaitBlock* prev = nullptr;
    WaitBlock* next = nullptr;
    DISPATCHER_HEADER* object = nullptr;
    KernelThread* thread = nullptr;
    bool satisfied = false;
    std::condition_variable_any wake;
};

class Dispatcher {
public:
    static Dispatcher& Instance();
    std::mutex& Lock() { return lock_; }

    // Everything below runs with Lock() held.

    static void InitializeHeader(DISPATCHER_HEADER* header, UCHAR type, size_t objectSize, LONG signalState);
    // Whether the header belongs to an initialised object of a waitable kind.
    static bool IsValid(const DISPATCHER_HEADER* header);
    static bool IsEvent(const DISPATCHER_HEADER* header);
    static bool IsMutex(const DISPATCHER_HEADER* header);
    // Whether threads wait on the object now. Decided by the dispatcher's own record rather than by
    // the header, whose memory may be a stale copy: an event on a stack that once held another event
    // must still initialise.
    static bool HasWaiters(const DISPATCHER_HEADER* header);
    static size_t WaiterCount(const DISPATCHER_HEADER* header);

    // Takes the object for `thread` when its state allows (resetting a synchronization event,
    // taking or re-taking a mutex) and returns true; otherwise changes nothing.
    bool TrySatisfy(DISPATCHER_HEADER* object, KernelThread* thread);
    // After a state change: releases waiters, first come first served, while the state allows.
    void SatisfyWaiters(DISPATCHER_HEADER* object);
    // Blocks until the object satisfies this thread or simulated time reaches `deadline`.
    // `hold` holds Lock(). Returns STATUS_SUCCESS or STATUS_TIMEOUT.
    NTSTATUS Block(std::unique_lock<std::mutex>& hold, DISPATCHER_HEADER* object, KernelThread* thread,
                   int64_t deadline);

private:
    Dispatcher() = default;
    static void Link(DISPATCHER_HEADER* object, WaitBlock* block);
    static void Unlink(DISPATCHER_HEADER* object, WaitBlock* block);

    std::mutex lock_;
    std::unordered_set<const DISPATCHER_HEADER*> waitedOn_; // objects with a non-empty wait list
};

} // namespace standin
