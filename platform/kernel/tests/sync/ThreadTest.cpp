// System threads and thread objects: the routine's level and identity, waits on a thread's end,
// PsTerminateSystemThread, priorities, the end-of-thread checks and the leak checks.
#include "SyncTestSupport.h"

#include <atomic>
#include <stdexcept>

#include "km/irql.h"
#include "km/object.h"
#include "km/status.h"
#include "km/thread.h"
#include "standin/object.h"
#include "standin/system.h"
#include "standin/verifier.h"

using namespace synctest;

namespace {

constexpr ULONG kAllAccess = 0x1F03FF;

// Starts a system thread and returns its referenced thread object; the handle is closed.
PVOID StartThread(PKSTART_ROUTINE routine, PVOID context, PCLIENT_ID clientId = nullptr)
{
    HANDLE handle = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    EXPECT_EQ(PsCreateSystemThread(&handle, kAllAccess, &attributes, nullptr, clientId, routine, context),
              STATUS_SUCCESS);
    PVOID thread = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(handle, kAllAccess, *PsThreadType, KernelMode, &thread, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(ZwClose(handle), STATUS_SUCCESS);
    return thread;
}

NTSTATUS WaitFor(PVOID object, LARGE_INTEGER* timeout = nullptr)
{
    return KeWaitForSingleObject(object, Executive, KernelMode, FALSE, timeout);
}

struct Observed {
    KIRQL irql = 0xFF;
    PETHREAD ps = nullptr;
    PKTHREAD ke = nullptr;
};

VOID Observe(PVOID context)
{
    auto* seen = static_cast<Observed*>(context);
    seen->irql = KeGetCurrentIrql();
    seen->ps = PsGetCurrentThread();
    seen->ke = KeGetCurrentThread();
}

struct SetsOnDestruction {
    bool* flag;
    ~SetsOnDestruction() { *flag = true; }
};

struct Terminating {
    bool unwound = false;
    bool ranPastTerminate = false;
};

VOID TerminateEarly(PVOID context)
{
    auto* state = static_cast<Terminating*>(context);
    SetsOnDestruction guard{&state->unwound};
    PsTerminateSystemThread(static_cast<NTSTATUS>(0xC0001234));
    state->ranPastTerminate = true;
}

VOID WaitForEvent(PVOID context)
{
    KeWaitForSingleObject(context, Executive, KernelMode, FALSE, nullptr);
}

VOID EndAtDispatchLevel(PVOID)
{
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
}

VOID Throw(PVOID)
{
    throw std::runtime_error("out of the routine");
}

} // namespace

TEST(SystemThread, RunsAtPassiveLevelAsItsOwnThreadObject)
{
    Observed seen;
    CLIENT_ID client{};
    PVOID thread = StartThread(Observe, &seen, &client);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitFor(thread), STATUS_SUCCESS);
    EXPECT_EQ(seen.irql, PASSIVE_LEVEL);
    EXPECT_EQ(static_cast<PVOID>(static_cast<PKTHREAD>(seen.ps)), thread);
    EXPECT_EQ(static_cast<PVOID>(seen.ke), thread);
    EXPECT_NE(client.UniqueThread, nullptr);
    EXPECT_EQ(standin::ThreadExitStatus(static_cast<PKTHREAD>(thread)), STATUS_SUCCESS);
    ObDereferenceObject(thread);
}

TEST(SystemThread, ItsObjectIsSignalledOnlyWhenItEnds)
{
    KEVENT release;
    KeInitializeEvent(&release, NotificationEvent, FALSE);
    PVOID thread = StartThread(WaitForEvent, &release);
    LARGE_INTEGER timeout = Relative(30 * kMs);
    const int64_t start = platform::Clock::Now();
    EXPECT_EQ(WaitFor(thread, &timeout), STATUS_TIMEOUT);
    EXPECT_GE(platform::Clock::Now() - start, 30 * kMs);
    EXPECT_EQ(standin::ThreadExitStatus(static_cast<PKTHREAD>(thread)), STATUS_PENDING);
    KeSetEvent(&release, 0, FALSE);
    EXPECT_EQ(WaitFor(thread), STATUS_SUCCESS);
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(WaitFor(thread, &poll), STATUS_SUCCESS) << "an ended thread stays signalled";
    ObDereferenceObject(thread);
}

TEST(SystemThread, TerminateEndsTheRoutineWithItsStatus)
{
    Terminating state;
    PVOID thread = StartThread(TerminateEarly, &state);
    EXPECT_EQ(WaitFor(thread), STATUS_SUCCESS);
    EXPECT_TRUE(state.unwound);
    EXPECT_FALSE(state.ranPastTerminate);
    EXPECT_EQ(standin::ThreadExitStatus(static_cast<PKTHREAD>(thread)), static_cast<NTSTATUS>(0xC0001234));
    ObDereferenceObject(thread);

    // Not a system thread: refused, and the caller goes on.
    EXPECT_EQ(PsTerminateSystemThread(STATUS_SUCCESS), STATUS_INVALID_PARAMETER);
}

TEST(SystemThread, CreationChecksItsArguments)
{
    ExpectedBreaches breaches;
    HANDLE handle = nullptr;
    EXPECT_EQ(PsCreateSystemThread(nullptr, kAllAccess, nullptr, nullptr, nullptr, Observe, nullptr),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(PsCreateSystemThread(&handle, kAllAccess, nullptr, nullptr, nullptr, nullptr, nullptr),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(breaches.Rules(), (std::vector<std::string>{"bad-argument", "bad-argument"}));
    EXPECT_EQ(PsCreateSystemThread(&handle, kAllAccess, nullptr, reinterpret_cast<HANDLE>(0x1234), nullptr,
                                   Observe, nullptr),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(standin::OpenHandleCount(), 0u);
}

TEST(SystemThread, PriorityIsRecordedAndThePreviousOneReturned)
{
    KEVENT release;
    KeInitializeEvent(&release, NotificationEvent, FALSE);
    PVOID thread = StartThread(WaitForEvent, &release);
    auto* kthread = static_cast<PKTHREAD>(thread);
    EXPECT_EQ(standin::ThreadPriority(kthread), 8);
    EXPECT_EQ(KeSetPriorityThread(kthread, 25), 8);
    EXPECT_EQ(KeSetPriorityThread(kthread, 25), 25);
    EXPECT_EQ(standin::ThreadPriority(kthread), 25);

    ExpectedBreaches breaches;
    EXPECT_EQ(KeSetPriorityThread(kthread, 0), 25);
    EXPECT_EQ(KeSetPriorityThread(kthread, 32), 25);
    EXPECT_EQ(standin::ThreadPriority(kthread), 25);
    KEVENT notAThread;
    KeInitializeEvent(&notAThread, NotificationEvent, FALSE);
    EXPECT_EQ(KeSetPriorityThread(reinterpret_cast<PKTHREAD>(&notAThread), 10), 0);
    EXPECT_EQ(breaches.Rules(), (std::vector<std::string>{"bad-argument", "bad-argument", "bad-object"}));

    KeSetEvent(&release, 0, FALSE);
    WaitFor(thread);
    ObDereferenceObject(thread);
}

TEST(SystemThread, EveryThreadHasOneStableThreadObject)
{
    PETHREAD mine = PsGetCurrentThread();
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(PsGetCurrentThread(), mine);
    EXPECT_EQ(KeGetCurrentThread(), static_cast<PKTHREAD>(mine));
    PETHREAD other = nullptr;
    std::thread([&] { other = PsGetCurrentThread(); }).join();
    EXPECT_NE(other, nullptr);
    EXPECT_NE(other, mine);
}

TEST(SystemThread, EndingAtARaisedLevelOrByAnExceptionIsABreach)
{
    ExpectedBreaches breaches;
    PVOID thread = StartThread(EndAtDispatchLevel, nullptr);
    EXPECT_EQ(WaitFor(thread), STATUS_SUCCESS);
    ObDereferenceObject(thread);
    EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"thread-exit-irql"});

    thread = StartThread(Throw, nullptr);
    EXPECT_EQ(WaitFor(thread), STATUS_SUCCESS);
    EXPECT_EQ(standin::ThreadExitStatus(static_cast<PKTHREAD>(thread)), STATUS_UNSUCCESSFUL);
    ObDereferenceObject(thread);
    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rule, "unhandled-exception");
    EXPECT_NE(taken[0].detail.find("out of the routine"), std::string::npos);
}

TEST(SystemThread, LeakChecksReportRunningThreadsOpenHandlesAndHeldReferences)
{
    ExpectedBreaches breaches;
    KEVENT release;
    KeInitializeEvent(&release, NotificationEvent, FALSE);
    HANDLE handle;
    ASSERT_EQ(PsCreateSystemThread(&handle, kAllAccess, nullptr, nullptr, nullptr, WaitForEvent, &release),
              STATUS_SUCCESS);
    PVOID thread;
    ASSERT_EQ(ObReferenceObjectByHandle(handle, kAllAccess, *PsThreadType, KernelMode, &thread, nullptr),
              STATUS_SUCCESS);

    EXPECT_EQ(standin::VerifierCheckLeaks(), 3u);
    std::vector<std::string> details;
    for (const auto& b : breaches.Take()) {
        EXPECT_EQ(b.rule, "leak");
        details.push_back(b.detail.substr(0, b.detail.find(':')));
    }
    std::sort(details.begin(), details.end());
    EXPECT_EQ(details, (std::vector<std::string>{"handles", "object-references", "system-threads"}));

    KeSetEvent(&release, 0, FALSE);
    WaitFor(thread);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 2u) << "the ended thread no longer counts";
    breaches.Take();
    ZwClose(handle);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
    breaches.Take();
    ObDereferenceObject(thread);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
}

namespace {

VOID CountRun(PVOID context)
{
    static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

} // namespace

TEST(SystemThread, HeldStartsOfOneCreatorRunOnlyOnceLetGo)
{
    std::atomic<int> runs{0};
    standin::HoldSystemThreadsStartedBy(std::this_thread::get_id());
    PVOID first = StartThread(CountRun, &runs);
    PVOID second = StartThread(CountRun, &runs);
    // A thread another thread starts is not held.
    PVOID other = nullptr;
    std::thread([&] { other = StartThread(CountRun, &runs); }).join();
    EXPECT_EQ(WaitFor(other), STATUS_SUCCESS);
    EXPECT_EQ(runs.load(), 1);
    ObDereferenceObject(other);
    while (standin::HeldSystemThreadCount() < 2)
        std::this_thread::yield();
    EXPECT_EQ(runs.load(), 1);
    LARGE_INTEGER poll = Zero();
    EXPECT_EQ(WaitFor(first, &poll), STATUS_TIMEOUT) << "a held thread has not ended";
    standin::ReleaseHeldSystemThreads();
    EXPECT_EQ(WaitFor(first), STATUS_SUCCESS);
    EXPECT_EQ(WaitFor(second), STATUS_SUCCESS);
    EXPECT_EQ(runs.load(), 3);
    EXPECT_EQ(standin::HeldSystemThreadCount(), 0u);
    ObDereferenceObject(first);
    ObDereferenceObject(second);
}

TEST(SystemThread, InjectedStartFailuresReachOnlyTheirCreatorAndRunOut)
{
    std::atomic<int> runs{0};
    standin::FailSystemThreadStartsBy(std::this_thread::get_id(), STATUS_INSUFFICIENT_RESOURCES, 2);
    // Another thread's start is not touched.
    PVOID other = nullptr;
    std::thread([&] { other = StartThread(CountRun, &runs); }).join();
    EXPECT_EQ(WaitFor(other), STATUS_SUCCESS);
    ObDereferenceObject(other);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    for (int i = 0; i < 2; ++i) {
        HANDLE handle = reinterpret_cast<HANDLE>(1);
        EXPECT_EQ(PsCreateSystemThread(&handle, kAllAccess, &attributes, nullptr, nullptr, CountRun, &runs),
                  STATUS_INSUFFICIENT_RESOURCES);
    }
    EXPECT_EQ(runs.load(), 1) << "no failed start ran its routine";
    // The injection is used up: the next start runs.
    PVOID thread = StartThread(CountRun, &runs);
    EXPECT_EQ(WaitFor(thread), STATUS_SUCCESS);
    ObDereferenceObject(thread);
    EXPECT_EQ(runs.load(), 2);
}
