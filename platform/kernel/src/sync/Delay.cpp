// Sleeping and stalling on the process clock: KeDelayExecutionThread, which ends at the timer tick,
// and KeStallExecutionProcessor, which stays busy for exactly its time.
#include "Dispatcher.h"
#include "km/irql.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/time.h"
#include "platform/Clock.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <string>
#include <thread>

namespace standin {
namespace {
thread_local ULONG t_lastStall = 0;
}

ULONG LastStallMicroseconds()
{
    return t_lastStall;
}

} // namespace standin

extern "C" NTSTATUS NTAPI KeDelayExecutionThread(KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER Interval)
{
    if (!Interval) {
        standin::VerifierReport("bad-argument", "KeDelayExecutionThread without an interval");
        return STATUS_INVALID_PARAMETER;
    }
    const KIRQL irql = KeGetCurrentIrql();
    if (irql >= DISPATCH_LEVEL) {
        standin::VerifierReport("wait-at-dispatch", "KeDelayExecutionThread of " +
                                                        std::to_string(Interval->QuadPart) + " at IRQL " +
                                                        std::to_string(irql) + "; it did not sleep");
        return STATUS_SUCCESS;
    }
    if (Interval->QuadPart == 0) {
        std::this_thread::yield();
        return STATUS_SUCCESS;
    }
    platform::Clock::SleepUntil(standin::ExpiryOfTimeout(Interval));
    return STATUS_SUCCESS;
}

extern "C" VOID NTAPI KeStallExecutionProcessor(ULONG MicroSeconds)
{
    standin::t_lastStall = MicroSeconds;
    const int64_t deadline = platform::Clock::DeadlineAfter(static_cast<int64_t>(MicroSeconds) *
                                                            platform::Clock::kUnitsPerMicrosecond);
    while (platform::Clock::Now() < deadline)
        std::this_thread::yield();
}
