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

// The simulated deadline of a kernel time-out begun at `now`: NULL never, negative relative,
// positive an absolute system time, 0 now.
int64_t DeadlineOfTimeout(const LARGE_INTEGER* timeout, int64_t now);
// When a wait or sleep with that time-out expires: the deadline rounded up to the timer tick in
// effect now (a deadline already reached, or none, stays as it is). Records the timing for
// LastTimedWait.
int64_t ExpiryOfTimeout(const LARGE_INTEGER* timeout);

// A blocked thread's wait: its blocks (one per object, linked into the objects' wait lists), how it
// is satisfied, and the key of the object that satisfied it. Lives on the waiter's stack; the
// waiting thread points to it while it waits.
struct WaitRecord {
    KWAIT_BLOCK* blocks = nullptr;
    ULONG count = 0;
    bool all = false;
    LONG satisfiedKey = -1; // the WaitKey that ended a WaitAny; 0 for a WaitAll
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

    // Whether the object's state would satisfy `thread` now; changes nothing.
    static bool CanSatisfy(const DISPATCHER_HEADER* object, const KernelThread* thread);
    // Takes the object for `thread` when its state allows (resetting a synchronization event,
    // taking or re-taking a mutex) and returns true; otherwise changes nothing.
    bool TrySatisfy(DISPATCHER_HEADER* object, KernelThread* thread);
    // After a state change: releases waiters, first come first served, while the state allows. A
    // WaitAll waiter is released only when every one of its objects allows it, and takes them all.
    void SatisfyWaiters(DISPATCHER_HEADER* object);
    // Satisfies the wait on `count` valid objects at once when it can (WaitAny: the lowest index
    // that allows it); otherwise, unless `mayBlock` is false, links `blocks` into the objects' wait
    // lists and blocks until a signal satisfies it or simulated time reaches `expiry`. `hold` holds
    // Lock(). Returns STATUS_WAIT_0 + index (WaitAny), STATUS_SUCCESS (WaitAll) or STATUS_TIMEOUT.
    NTSTATUS Wait(std::unique_lock<std::mutex>& hold, DISPATCHER_HEADER* const* objects, ULONG count, bool all,
                  KernelThread* thread, KWAIT_BLOCK* blocks, bool mayBlock, int64_t expiry);

private:
    Dispatcher() = default;
    static void Link(DISPATCHER_HEADER* object, KWAIT_BLOCK* block);
    static void Unlink(DISPATCHER_HEADER* object, KWAIT_BLOCK* block);
    // Takes every object of a satisfied WaitAll, or the one of a WaitAny.
    bool TrySatisfyWait(WaitRecord& wait, KernelThread* thread, KWAIT_BLOCK* through);
    static void UnlinkAll(WaitRecord& wait);

    std::mutex lock_;
    std::unordered_set<const DISPATCHER_HEADER*> waitedOn_; // objects with a non-empty wait list
};

} // namespace standin
