// The main job: boots the machine and shows what the system does. Until the driver exists it runs a
// short self-check of the machine's pieces that exist (the clock, kernel time, events, system
// threads, DPCs), prints what it ran with the results, and exits non-zero when something fails.
#include <chrono>
#include <cstdio>
#include <string>

#include "km/dpc.h"
#include "km/irql.h"
#include "km/object.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/thread.h"
#include "km/time.h"
#include "km/verifier.h"
#include "platform/Clock.h"

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what)
{
    std::printf("  [%s] %s\n", ok ? " ok " : "FAIL", what.c_str());
    if (!ok)
        ++g_failures;
}

double Seconds(int64_t units)
{
    return static_cast<double>(units) / platform::Clock::kUnitsPerSecond;
}

LARGE_INTEGER Relative(int64_t units)
{
    LARGE_INTEGER t;
    t.QuadPart = -units;
    return t;
}

void CheckClock()
{
    std::printf("clock\n");
    constexpr double kFactor = 100.0;
    platform::Clock::SetSpeedFactor(kFactor);
    const int64_t simulatedStart = platform::Clock::Now();
    const auto realStart = std::chrono::steady_clock::now();
    LARGE_INTEGER interval = Relative(2 * platform::Clock::kUnitsPerSecond);
    const NTSTATUS status = KeDelayExecutionThread(KernelMode, FALSE, &interval);
    const double simulated = Seconds(platform::Clock::Now() - simulatedStart);
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    std::printf("  slept 2 s of simulated time at speed factor %.0f: %.3f s simulated, %.3f s real\n",
                kFactor, simulated, real);
    Check(status == STATUS_SUCCESS && simulated >= 2.0, "the sleep lasted at least its simulated interval");
    platform::Clock::SetSpeedFactor(1.0);

    LARGE_INTEGER frequency, system, local;
    KeQueryPerformanceCounter(&frequency);
    KeQuerySystemTime(&system);
    ExSystemTimeToLocalTime(&system, &local);
    TIME_FIELDS fields;
    RtlTimeToTimeFields(&local, &fields);
    std::printf("  local time %04d-%02d-%02d %02d:%02d:%02d, performance counter at %lld Hz\n", fields.Year,
                fields.Month, fields.Day, fields.Hour, fields.Minute, fields.Second,
                static_cast<long long>(frequency.QuadPart));
    Check(fields.Year >= 2000 && frequency.QuadPart == STANDIN_PERFORMANCE_FREQUENCY,
          "system time and performance counter are plausible");
}

void CheckEventWait()
{
    std::printf("event wait\n");
    KEVENT event;
    KeInitializeEvent(&event, SynchronizationEvent, FALSE);
    LARGE_INTEGER timeout = Relative(50 * platform::Clock::kUnitsPerMillisecond);
    const int64_t start = platform::Clock::Now();
    const NTSTATUS timedOut = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout);
    const double waited = Seconds(platform::Clock::Now() - start);
    std::printf("  wait of 50 ms on an unsignalled event: status 0x%08X after %.3f s\n",
                static_cast<unsigned>(timedOut), waited);
    Check(timedOut == STATUS_TIMEOUT && waited >= 0.05, "the wait timed out, not before its time");
    KeSetEvent(&event, 0, FALSE);
    const NTSTATUS signalled = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout);
    Check(signalled == STATUS_SUCCESS && KeReadStateEvent(&event) == 0,
          "a signalled synchronization event satisfies the wait and resets");
}

struct ThreadWork {
    KEVENT started;
    KIRQL irql = 0xFF;
};

VOID ThreadRoutine(PVOID context)
{
    auto* work = static_cast<ThreadWork*>(context);
    work->irql = KeGetCurrentIrql();
    KeSetEvent(&work->started, 0, FALSE);
    LARGE_INTEGER pause = Relative(10 * platform::Clock::kUnitsPerMillisecond);
    KeDelayExecutionThread(KernelMode, FALSE, &pause);
    PsTerminateSystemThread(STATUS_SUCCESS);
}

void CheckSystemThread()
{
    std::printf("system thread\n");
    ThreadWork work;
    KeInitializeEvent(&work.started, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    NTSTATUS status =
        PsCreateSystemThread(&handle, 0x1F03FF, &attributes, nullptr, nullptr, ThreadRoutine, &work);
    Check(status == STATUS_SUCCESS, "PsCreateSystemThread succeeded");
    if (!NT_SUCCESS(status))
        return;
    PVOID thread = nullptr;
    status = ObReferenceObjectByHandle(handle, 0x1F03FF, *PsThreadType, KernelMode, &thread, nullptr);
    ZwClose(handle);
    Check(status == STATUS_SUCCESS, "the handle gave a referenced thread object");
    if (!NT_SUCCESS(status))
        return;
    const NTSTATUS waited = KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    std::printf("  thread ran at IRQL %u; wait on its end: status 0x%08X\n", work.irql,
                static_cast<unsigned>(waited));
    Check(waited == STATUS_SUCCESS && work.irql == PASSIVE_LEVEL && KeReadStateEvent(&work.started) == 1,
          "the thread ran at PASSIVE_LEVEL and its end satisfied the wait");
    ObDereferenceObject(thread);
}

struct DpcWork {
    KEVENT done;
    KIRQL irql = 0xFF;
    PVOID argument = nullptr;
};

VOID DpcRoutine(KDPC*, PVOID context, PVOID argument1, PVOID)
{
    auto* work = static_cast<DpcWork*>(context);
    work->irql = KeGetCurrentIrql();
    work->argument = argument1;
    KeSetEvent(&work->done, 0, FALSE);
}

void CheckDpc()
{
    std::printf("DPC\n");
    DpcWork work;
    KeInitializeEvent(&work.done, NotificationEvent, FALSE);
    KDPC dpc;
    KeInitializeDpc(&dpc, DpcRoutine, &work);
    int marker = 0;
    const BOOLEAN queued = KeInsertQueueDpc(&dpc, &marker, nullptr);
    LARGE_INTEGER timeout = Relative(5 * platform::Clock::kUnitsPerSecond);
    const NTSTATUS status = KeWaitForSingleObject(&work.done, Executive, KernelMode, FALSE, &timeout);
    KeFlushQueuedDpcs();
    std::printf("  DPC queued %s, ran at IRQL %u; wait for it: status 0x%08X\n", queued ? "yes" : "no",
                work.irql, static_cast<unsigned>(status));
    Check(queued && status == STATUS_SUCCESS && work.irql == DISPATCH_LEVEL && work.argument == &marker,
          "the DPC ran at DISPATCH_LEVEL with its argument");
}

} // namespace

int main()
{
    std::printf("talvexon-run: self-check of the machine's pieces\n");
    CheckClock();
    CheckEventWait();
    CheckSystemThread();
    CheckDpc();

    standin::VerifierCheckLeaks();
    const auto breaches = standin::VerifierTakeViolations();
    Check(breaches.empty(), "no verifier breach and nothing left outstanding");

    if (g_failures) {
        std::printf("talvexon-run: %d check(s) failed\n", g_failures);
        return 1;
    }
    std::printf("talvexon-run: all checks passed\n");
    return 0;
}
