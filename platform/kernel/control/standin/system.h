// Threads, levels, waits, time and system information as tests and the machine set and read them.
// Stand-in facilities, not Windows functions: drivers never see them.
#pragma once
#include "km/interrupt.h"
#include "km/irql.h"
#include "km/spinlock.h"
#include "km/sync.h"
#include "km/systeminfo.h"
#include "km/thread.h"
#include "km/time.h"

#include <cstddef>
#include <thread>
#include <vector>

namespace standin {

// Sets the calling thread's level directly: for the stand-in's own DPC and interrupt threads.
void SetCurrentIrql(KIRQL irql);

// How many spin locks the calling thread holds now.
size_t SpinLocksHeldByCurrentThread();

// How many threads are blocked in a wait on the object (for tests that need a waiter to be parked
// before they signal). Returns 0 for anything that is not an initialised dispatcher object.
size_t DispatcherWaiterCount(PVOID object);

// Thrown by PsTerminateSystemThread to leave the routine; caught where the thread started.
struct ThreadTermination {
    NTSTATUS status;
};
// The priority last set on the thread.
KPRIORITY ThreadPriority(PKTHREAD thread);
// The status a system thread ended with (PsTerminateSystemThread's argument, STATUS_SUCCESS when
// its routine returned); STATUS_PENDING while it runs.
NTSTATUS ThreadExitStatus(PKTHREAD thread);

// From now on, every system thread that the host thread `creator` starts with PsCreateSystemThread
// waits before its routine runs, until ReleaseHeldSystemThreads; threads other threads start run as
// usual. For tests that need work queued before its thread takes it.
void HoldSystemThreadsStartedBy(std::thread::id creator);
// Ends the hold: the waiting threads run.
void ReleaseHeldSystemThreads();
// How many started system threads are waiting for the hold to end.
size_t HeldSystemThreadCount();
// The next `count` PsCreateSystemThread calls the host thread `creator` makes fail with `status`
// (a failure status; success ends the injection), as when the system is out of threads. Replaces
// an earlier injection.
void FailSystemThreadStartsBy(std::thread::id creator, NTSTATUS status, unsigned count = 1);

// UTC = local time + bias, in 100-ns units (so a zone east of Greenwich has a negative bias). The
// default is the host's current offset.
void SetTimeZoneBias(LONGLONG bias);
LONGLONG TimeZoneBias();

// One call of ExSetTimerResolution, as made and answered.
struct TimerResolutionRequest {
    ULONG desiredTime;
    bool setResolution;
    ULONG result;
};
// Every call since the process started, oldest first.
std::vector<TimerResolutionRequest> TimerResolutionRequests();

// The resolution in effect now: what ExSetTimerResolution last answered, 156,250 before any call.
ULONG CurrentTimerResolution();

// How the calling thread's last wait or sleep with a non-zero time-out was timed, on the process
// clock: when it began, the deadline its time-out named, the tick it was to expire at (a multiple of
// the resolution, or the deadline itself when that had already come), and the resolution used.
struct TimedWait {
    int64_t start = 0;
    int64_t deadline = 0;
    int64_t expiry = 0;
    ULONG resolution = 0;
};
TimedWait LastTimedWait();

// The microseconds the calling thread last asked KeStallExecutionProcessor for (0 before any).
ULONG LastStallMicroseconds();

// How many interrupt threads exist now: one for each interrupt line with at least one connection.
size_t InterruptThreadCount();

// Sets the version the system offers.
void SetWdmVersion(UCHAR majorVersion, UCHAR minorVersion);
// Sets the number of processors, 1 to 64; other values are a breach ("bad-argument") and change
// nothing. Set it before the driver runs: readers take KeNumberProcessors without a lock.
void SetNumberOfProcessors(int count);
// Back to version 6.0 and 4 processors.
void ResetSystemInformation();

} // namespace standin
