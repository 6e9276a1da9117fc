// SystemThread: the owner's routine runs with its context, the flags follow the thread, a second
// Start while the thread runs starts nothing, and a finished thread can be restarted.
#include <gtest/gtest.h>

#include <atomic>

#include "kernel/systemthread.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/thread.h"
#include "standin/system.h"

namespace {

struct Owner {
    KEVENT release;
    std::atomic<int> runs{0};
    std::atomic<PVOID> seenContext{nullptr};
    bool terminate = false;

    Owner() { KeInitializeEvent(&release, NotificationEvent, FALSE); }

    static void Routine(PVOID context)
    {
        auto* owner = static_cast<Owner*>(context);
        owner->seenContext = context;
        ++owner->runs;
        KeWaitForSingleObject(&owner->release, Executive, KernelMode, FALSE, nullptr);
        if (owner->terminate)
            PsTerminateSystemThread(STATUS_CANCELLED);
    }
};

void WaitForEnd(SystemThread& thread)
{
    ASSERT_NE(thread.ThreadObject(), nullptr);
    EXPECT_EQ(KeWaitForSingleObject(thread.ThreadObject(), Executive, KernelMode, FALSE, nullptr),
              STATUS_SUCCESS);
}

} // namespace

TEST(SystemThread, RunsTheRoutineWithItsContextAndHoldsTheThreadObject)
{
    Owner owner;
    SystemThread thread;
    EXPECT_FALSE(thread.HoldsThread());
    EXPECT_EQ(thread.ThreadObject(), nullptr);
    ASSERT_EQ(thread.Start(&Owner::Routine, &owner, kSystemThreadAllAccess), STATUS_SUCCESS);
    EXPECT_TRUE(thread.HoldsThread());
    EXPECT_EQ(thread.Context(), &owner);
    // The thread object is waitable and not yet signalled while the routine waits.
    LARGE_INTEGER zero{};
    EXPECT_EQ(KeWaitForSingleObject(thread.ThreadObject(), Executive, KernelMode, FALSE, &zero),
              STATUS_TIMEOUT);
    EXPECT_FALSE(thread.Finished());
    KeSetEvent(&owner.release, 0, FALSE);
    WaitForEnd(thread);
    EXPECT_TRUE(thread.Started());
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(owner.runs, 1);
    EXPECT_EQ(owner.seenContext, &owner);
    EXPECT_EQ(standin::ThreadExitStatus(thread.ThreadObject()), STATUS_SUCCESS);
    thread.Release();
    EXPECT_FALSE(thread.HoldsThread());
    EXPECT_EQ(thread.ThreadObject(), nullptr);
}

TEST(SystemThread, StartWhileRunningStartsNothing)
{
    Owner owner;
    SystemThread thread;
    ASSERT_EQ(thread.Start(&Owner::Routine, &owner, kSystemThreadAllAccess), STATUS_SUCCESS);
    PKTHREAD first = thread.ThreadObject();
    Owner other;
    EXPECT_EQ(thread.Start(&Owner::Routine, &other, kSystemThreadAllAccess), STATUS_SUCCESS);
    EXPECT_EQ(thread.ThreadObject(), first);
    EXPECT_EQ(thread.Context(), &owner);
    KeSetEvent(&owner.release, 0, FALSE);
    WaitForEnd(thread);
    EXPECT_EQ(owner.runs, 1);
    EXPECT_EQ(other.runs, 0);
}

TEST(SystemThread, FinishedThreadIsReplacedByANewOne)
{
    Owner owner;
    KeSetEvent(&owner.release, 0, FALSE);
    SystemThread thread;
    ASSERT_EQ(thread.Start(&Owner::Routine, &owner, kSystemThreadAllAccess), STATUS_SUCCESS);
    WaitForEnd(thread);
    ASSERT_TRUE(thread.Finished());

    // The old object's reference is given back (the leak check would name it otherwise).
    ASSERT_EQ(thread.Start(&Owner::Routine, &owner, kSystemThreadAllAccess), STATUS_SUCCESS);
    WaitForEnd(thread);
    EXPECT_EQ(owner.runs, 2);
    EXPECT_TRUE(thread.Finished());
}

TEST(SystemThread, TerminationFromTheRoutineStillMarksItFinished)
{
    Owner owner;
    owner.terminate = true;
    KeSetEvent(&owner.release, 0, FALSE);
    {
        SystemThread thread;
        ASSERT_EQ(thread.Start(&Owner::Routine, &owner, kSystemThreadAllAccess), STATUS_SUCCESS);
        WaitForEnd(thread);
        EXPECT_TRUE(thread.Finished());
        EXPECT_EQ(standin::ThreadExitStatus(thread.ThreadObject()), STATUS_CANCELLED);
    } // the destructor releases the thread object
    EXPECT_EQ(owner.runs, 1);
}

TEST(SystemThread, StartWithoutRoutineFails)
{
    SystemThread thread;
    EXPECT_EQ(thread.Start(nullptr, nullptr, kSystemThreadAllAccess), STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(thread.HoldsThread());
}
