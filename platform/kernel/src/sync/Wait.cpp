// KeWaitForSingleObject and KeWaitForMultipleObjects: time-out forms and their expiry at the timer
// tick, the IRQL rule, and the checks of the objects and the arguments.
#include "Dispatcher.h"
#include "KernelThread.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "km/sync.h"
#include "platform/Clock.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <algorithm>
#include <limits>
#include <string>

namespace standin {
namespace {

thread_local TimedWait t_lastTimedWait;

// Whether a wait with this time-out may block at the caller's level; a blocking wait at
// DISPATCH_LEVEL or above is a breach and is answered as a poll, since blocking there would stall
// the DPC or interrupt thread.
bool MayBlock(const char* function, PVOID object, const LARGE_INTEGER* timeout)
{
    const bool poll = timeout && timeout->QuadPart == 0;
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL || (irql == DISPATCH_LEVEL && !poll)) {
        VerifierReport("wait-at-dispatch", CallText(function, object) + " at IRQL " + std::to_string(irql) +
                                               " with " +
                                               (!timeout ? "no time-out" : poll ? "a zero time-out" : "a time-out"));
        return false;
    }
    return !poll;
}

// The waits' common path over objects already checked to be dispatcher objects.
NTSTATUS WaitForObjects(const char* function, DISPATCHER_HEADER* const* objects, ULONG count, bool all,
                        const LARGE_INTEGER* timeout, KWAIT_BLOCK* blocks)
{
    const bool mayBlock = MayBlock(function, objects[0], timeout);
    auto* self = KernelThread::Current();
    const int64_t expiry = mayBlock ? ExpiryOfTimeout(timeout) : 0;
    auto& dispatcher = Dispatcher::Instance();
    std::unique_lock<std::mutex> hold(dispatcher.Lock());
    for (ULONG i = 0; i < count; ++i) {
        if (!Dispatcher::IsValid(objects[i])) {
            hold.unlock();
            VerifierReport("bad-object", CallText(function, objects[i]) + " (object " + std::to_string(i) +
                                             "), which is not an initialised dispatcher object");
            return STATUS_INVALID_PARAMETER;
        }
    }
    return dispatcher.Wait(hold, objects, count, all, self, blocks ? blocks : self->ownWaitBlocks, mayBlock,
                           expiry);
}

} // namespace

int64_t DeadlineOfTimeout(const LARGE_INTEGER* timeout, int64_t now)
{
    if (!timeout)
        return platform::Clock::kForever;
    const LONGLONG value = timeout->QuadPart;
    if (value < 0) {
        const int64_t interval =
            value == std::numeric_limits<LONGLONG>::min() ? std::numeric_limits<int64_t>::max() : -value;
        return now > platform::Clock::kForever - interval ? platform::Clock::kForever : now + interval;
    }
    if (value > 0)
        return platform::Clock::SimulatedFromSystemTime(value);
    return now;
}

int64_t ExpiryOfTimeout(const LARGE_INTEGER* timeout)
{
    TimedWait timing;
    timing.resolution = CurrentTimerResolution();
    timing.start = platform::Clock::Now();
    timing.deadline = DeadlineOfTimeout(timeout, timing.start);
    timing.expiry = timing.deadline;
    if (timing.deadline != platform::Clock::kForever && timing.deadline > timing.start) {
        const int64_t tick = timing.resolution;
        const int64_t rest = timing.deadline % tick;
        if (rest != 0)
            timing.expiry = timing.deadline > platform::Clock::kForever - (tick - rest)
                                ? platform::Clock::kForever
                                : timing.deadline + (tick - rest);
    }
    if (timeout)
        t_lastTimedWait = timing;
    return timing.expiry;
}

TimedWait LastTimedWait()
{
    return t_lastTimedWait;
}

size_t DispatcherWaiterCount(PVOID object)
{
    auto* header = static_cast<DISPATCHER_HEADER*>(object);
    std::lock_guard<std::mutex> hold(Dispatcher::Instance().Lock());
    return object && Dispatcher::IsValid(header) ? Dispatcher::WaiterCount(header) : 0;
}

} // namespace standin

extern "C" NTSTATUS NTAPI KeWaitForSingleObject(PVOID Object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN,
                                                PLARGE_INTEGER Timeout)
{
    auto* header = static_cast<DISPATCHER_HEADER*>(Object);
    if (!Object) {
        standin::MayBlock("KeWaitForSingleObject", Object, Timeout);
        standin::VerifierReport("bad-object", standin::CallText("KeWaitForSingleObject", Object) +
                                                  ", which is not an initialised dispatcher object");
        return STATUS_INVALID_PARAMETER;
    }
    return standin::WaitForObjects("KeWaitForSingleObject", &header, 1, false, Timeout, nullptr);
}

extern "C" NTSTATUS NTAPI KeWaitForMultipleObjects(ULONG Count, PVOID Object[], WAIT_TYPE WaitType, KWAIT_REASON,
                                                   KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER Timeout,
                                                   PKWAIT_BLOCK WaitBlockArray)
{
    const char* function = "KeWaitForMultipleObjects";
    auto refuse = [&](const std::string& why) {
        standin::VerifierReport("bad-argument", std::string(function) + " with " + why);
        return STATUS_INVALID_PARAMETER;
    };
    if (Count == 0 || Count > MAXIMUM_WAIT_OBJECTS)
        return refuse(std::to_string(Count) + " objects (1 to " + std::to_string(MAXIMUM_WAIT_OBJECTS) +
                      " may be waited on)");
    if (Count > THREAD_WAIT_OBJECTS && !WaitBlockArray)
        return refuse(std::to_string(Count) + " objects and no wait blocks (the thread's own serve " +
                      std::to_string(THREAD_WAIT_OBJECTS) + ")");
    if (!Object)
        return refuse("no object array");
    if (WaitType != WaitAll && WaitType != WaitAny)
        return refuse("wait type " + std::to_string(static_cast<int>(WaitType)));
    DISPATCHER_HEADER* objects[MAXIMUM_WAIT_OBJECTS];
    for (ULONG i = 0; i < Count; ++i) {
        objects[i] = static_cast<DISPATCHER_HEADER*>(Object[i]);
        if (!objects[i]) {
            standin::VerifierReport("bad-object", std::string(function) + " with object " + std::to_string(i) +
                                                      " NULL");
            return STATUS_INVALID_PARAMETER;
        }
    }
    if (WaitType == WaitAll) {
        for (ULONG i = 0; i < Count; ++i)
            if (std::find(objects, objects + i, objects[i]) != objects + i)
                return refuse("object " + standin::PointerText(objects[i]) + " named twice in a WaitAll");
    }
    return standin::WaitForObjects(function, objects, Count, WaitType == WaitAll, Timeout, WaitBlockArray);
}
