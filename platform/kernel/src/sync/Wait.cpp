// KeWaitForSingleObject: time-out forms, the IRQL rule, and the check that the object is one.
#include "Dispatcher.h"
#include "KernelThread.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "km/sync.h"
#include "platform/Clock.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <limits>
#include <string>

namespace standin {

int64_t DeadlineOfTimeout(const LARGE_INTEGER* timeout)
{
    if (!timeout)
        return platform::Clock::kForever;
    const LONGLONG value = timeout->QuadPart;
    if (value < 0)
        return platform::Clock::DeadlineAfter(
            value == std::numeric_limits<LONGLONG>::min() ? std::numeric_limits<int64_t>::max() : -value);
    if (value > 0)
        return platform::Clock::SimulatedFromSystemTime(value);
    return platform::Clock::Now();
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
    const bool poll = Timeout && Timeout->QuadPart == 0;
    const KIRQL irql = KeGetCurrentIrql();
    bool mayBlock = !poll;
    if (irql > DISPATCH_LEVEL || (irql == DISPATCH_LEVEL && !poll)) {
        standin::VerifierReport("wait-at-dispatch", standin::CallText("KeWaitForSingleObject", Object) +
                                                        " at IRQL " + std::to_string(irql) + " with " +
                                                        (!Timeout ? "no time-out" : poll ? "a zero time-out" : "a time-out"));
        mayBlock = false; // blocking here would stall the DPC or interrupt thread; answer as a poll
    }
    const int64_t deadline = mayBlock ? standin::DeadlineOfTimeout(Timeout) : 0;
    auto* self = standin::KernelThread::Current();
    auto* header = static_cast<DISPATCHER_HEADER*>(Object);

    auto& dispatcher = standin::Dispatcher::Instance();
    std::unique_lock<std::mutex> hold(dispatcher.Lock());
    if (!Object || !standin::Dispatcher::IsValid(header)) {
        hold.unlock();
        standin::VerifierReport("bad-object", standin::CallText("KeWaitForSingleObject", Object) +
                                                  ", which is not an initialised dispatcher object");
        return STATUS_INVALID_PARAMETER;
    }
    if (dispatcher.TrySatisfy(header, self))
        return STATUS_SUCCESS;
    if (!mayBlock)
        return STATUS_TIMEOUT;
    return dispatcher.Block(hold, header, self, deadline);
}
