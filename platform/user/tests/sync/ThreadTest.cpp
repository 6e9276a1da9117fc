// Threads of CreateThread: their exit codes, their handles as wait objects, ExitThread and
// TerminateThread.
#include "SyncTestSupport.h"

#include <atomic>
#include <stdexcept>

namespace {

using usertest::WaitForWaiters;

struct Gate {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> seenId{0};
    std::atomic<bool> unwound{false};
    ~Gate()
    {
        CloseHandle(go);
        CloseHandle(never);
    }
};

DWORD WINAPI ReturnSeven(LPVOID context)
{
    auto* gate = static_cast<Gate*>(context);
    gate->seenId = GetCurrentThreadId();
    WaitForSingleObject(gate->go, INFINITE);
    return 7;
}

TEST(CreateThread, ExitCodeIsStillActiveUntilTheRoutineReturns)
{
    Gate gate;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ReturnSeven, &gate, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(id % 4, 0u);
    ASSERT_TRUE(WaitForWaiters(gate.go, 1));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 259u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD(WAIT_TIMEOUT));
    SetEvent(gate.go);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), 0u);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(gate.seenId.load(), id);
    EXPECT_NE(GetCurrentThreadId(), id);
    EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(CreateThread, AThreadHandleAmongEventsInOneWait)
{
    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, ReturnSeven, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    HANDLE objects[2] = {gate.never, thread};
    ASSERT_TRUE(WaitForWaiters(gate.go, 1));
    SetEvent(gate.go);
    EXPECT_EQ(WaitForMultipleObjects(2, objects, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    CloseHandle(thread);
}

DWORD WINAPI ExitWithNine(LPVOID context)
{
    struct Flag {
        std::atomic<bool>* flag;
        ~Flag() { *flag = true; }
    } flag{&static_cast<Gate*>(context)->unwound};
    ExitThread(9);
    return 1;
}

TEST(CreateThread, ExitThreadUnwindsWithItsCode)
{
    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, ExitWithNine, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 9u);
    EXPECT_TRUE(gate.unwound.load());
    CloseHandle(thread);
    // Not a thread of CreateThread: reported, and the call returns.
    ExitThread(3);
    EXPECT_EQ(usertest::TakeBreaches("exit-thread"), 1u);
}

TEST(CreateThread, RefusedArguments)
{
    SetLastError(0);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    Gate gate;
    EXPECT_EQ(CreateThread(nullptr, 0, ReturnSeven, &gate, CREATE_SUSPENDED, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(CreateThread(nullptr, 0, ReturnSeven, &gate, 0x80, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(gate.go, &code));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(TerminateThread(gate.go, 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

DWORD WINAPI WaitForever(LPVOID context)
{
    auto* gate = static_cast<Gate*>(context);
    struct Flag {
        std::atomic<bool>* flag;
        ~Flag() { *flag = true; }
    } flag{&gate->unwound};
    // A catch-all handler must let the termination through.
    try {
        WaitForSingleObject(gate->never, INFINITE);
    } catch (const standin::ThreadTermination&) {
        throw;
    } catch (...) {
        return 1;
    }
    return 2;
}

TEST(TerminateThread, EndsAThreadInAnInfiniteWaitWithinOneTick)
{
    // A slow clock: one tick of machine time is long in real time.
    usertest::ClockSpeed slow(0.02);
    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, WaitForever, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitForWaiters(gate.never, 1));
    ASSERT_TRUE(TerminateThread(thread, 5));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    const DWORD tick = (standin::CurrentTimerResolution() + 9999) / 10000;
    EXPECT_EQ(WaitForSingleObject(thread, tick), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_TRUE(gate.unwound.load());
    EXPECT_EQ(standin::ThreadExitStatus(static_cast<PKTHREAD>(usertest::ObjectOf(thread))), 5);
    EXPECT_EQ(usertest::TakeBreaches("terminate-thread"), 1u);
    // An ended thread keeps its code.
    EXPECT_TRUE(TerminateThread(thread, 8));
    EXPECT_EQ(usertest::TakeBreaches("terminate-thread"), 1u);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    CloseHandle(thread);
}

DWORD WINAPI SleepLong(LPVOID)
{
    Sleep(INFINITE);
    return 0;
}

TEST(TerminateThread, EndsASleepAndASelfTermination)
{
    HANDLE thread = CreateThread(nullptr, 0, SleepLong, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Sleeping or not yet: either way it unwinds at its sleep.
    ASSERT_TRUE(TerminateThread(thread, 11));
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 11u);
    CloseHandle(thread);
    EXPECT_EQ(usertest::TakeBreaches("terminate-thread"), 1u);
}

DWORD WINAPI Throws(LPVOID)
{
    throw std::runtime_error("page fault in the routine");
}

TEST(CreateThread, AnExceptionEndsTheThreadAndIsReported)
{
    HANDLE thread = CreateThread(nullptr, 0, Throws, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, DWORD(STATUS_UNSUCCESSFUL));
    CloseHandle(thread);
    EXPECT_EQ(usertest::TakeBreaches("unhandled-exception"), 1u);
}

TEST(CreateThread, HandleClosedBeforeTheThreadEnds)
{
    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, ReturnSeven, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitForWaiters(gate.go, 1));
    PVOID object = nullptr;
    ASSERT_EQ(ObReferenceObjectByHandle(thread, 0, *PsThreadType, UserMode, &object, nullptr), STATUS_SUCCESS);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(gate.go);
    // The kernel's view of the same thread ends with its code.
    EXPECT_EQ(KeWaitForSingleObject(object, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(standin::ThreadExitStatus(static_cast<PKTHREAD>(object)), 7);
    ObDereferenceObject(object);
}

// The leak check's lines about threads still running; every other line (the open handles of the
// test's own events) is dropped.
size_t RunningThreadLeaks()
{
    standin::VerifierCheckLeaks();
    size_t running = 0;
    for (const auto& breach : standin::VerifierTakeViolations())
        if (breach.rule == "leak" && breach.detail.starts_with("system-threads:") &&
            breach.detail.ends_with("still running"))
            ++running;
    return running;
}

DWORD WINAPI SleepThenWait(LPVOID context)
{
    Sleep(20);
    WaitForSingleObject(static_cast<Gate*>(context)->go, INFINITE);
    return 4;
}

TEST(CreateThread, AThreadStillRunningIsALeakUntilItEnds)
{
    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, SleepThenWait, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitForWaiters(gate.go, 1));
    EXPECT_EQ(RunningThreadLeaks(), 1u);
    SetEvent(gate.go);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 4u);
    CloseHandle(thread);
    EXPECT_EQ(RunningThreadLeaks(), 0u);
}

} // namespace
