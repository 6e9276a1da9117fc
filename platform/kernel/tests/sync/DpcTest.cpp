// DPCs: where and how they run, queueing a DPC that is already queued, removal, order, flushing,
// and the checks on DPC routines.
#include "SyncTestSupport.h"

#include <atomic>
#include <mutex>

#include "km/dpc.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/verifier.h"

using namespace synctest;

namespace {

struct Record {
    std::mutex lock;
    std::vector<int> order;
    KIRQL irql = 0xFF;
    std::thread::id thread;
    PVOID context = nullptr;
    PVOID argument1 = nullptr;
    PVOID argument2 = nullptr;
    int runs = 0;
};

struct Tagged {
    Record* record;
    int tag;
};

VOID Note(KDPC*, PVOID context, PVOID argument1, PVOID argument2)
{
    auto* tagged = static_cast<Tagged*>(context);
    Record& r = *tagged->record;
    std::lock_guard<std::mutex> hold(r.lock);
    r.order.push_back(tagged->tag);
    r.irql = KeGetCurrentIrql();
    r.thread = std::this_thread::get_id();
    r.context = context;
    r.argument1 = argument1;
    r.argument2 = argument2;
    ++r.runs;
}

// Holds the DPC thread (spinning, as DISPATCH_LEVEL code may) until released.
struct Gate {
    std::atomic<bool> entered{false};
    std::atomic<bool> open{false};
    KDPC dpc;
    Gate()
    {
        KeInitializeDpc(&dpc, Hold, this);
        EXPECT_TRUE(KeInsertQueueDpc(&dpc, nullptr, nullptr));
        while (!entered)
            std::this_thread::yield();
    }
    void Open()
    {
        open = true;
        KeFlushQueuedDpcs();
    }
    static VOID Hold(KDPC*, PVOID context, PVOID, PVOID)
    {
        auto* gate = static_cast<Gate*>(context);
        gate->entered = true;
        while (!gate->open)
            std::this_thread::yield();
    }
};

} // namespace

TEST(Dpc, RunsOnTheDpcThreadAtDispatchLevelWithItsArguments)
{
    Record record;
    Tagged tagged{&record, 1};
    KDPC dpc;
    KeInitializeDpc(&dpc, Note, &tagged);
    int a = 0, b = 0;
    EXPECT_TRUE(KeInsertQueueDpc(&dpc, &a, &b));
    KeFlushQueuedDpcs();
    std::lock_guard<std::mutex> hold(record.lock);
    EXPECT_EQ(record.runs, 1);
    EXPECT_EQ(record.irql, DISPATCH_LEVEL);
    EXPECT_NE(record.thread, std::this_thread::get_id());
    EXPECT_EQ(record.context, &tagged);
    EXPECT_EQ(record.argument1, &a);
    EXPECT_EQ(record.argument2, &b);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

TEST(Dpc, QueueingAQueuedDpcReturnsFalseAndRemovalTakesItOff)
{
    Record record;
    Tagged tagged{&record, 2};
    KDPC dpc;
    KeInitializeDpc(&dpc, Note, &tagged);
    EXPECT_FALSE(KeRemoveQueueDpc(&dpc));
    int first = 0, second = 0, third = 0;
    {
        Gate gate;
        EXPECT_TRUE(KeInsertQueueDpc(&dpc, &first, nullptr));
        EXPECT_FALSE(KeInsertQueueDpc(&dpc, &second, nullptr)); // keeps the first arguments
        EXPECT_TRUE(KeRemoveQueueDpc(&dpc));
        EXPECT_FALSE(KeRemoveQueueDpc(&dpc));
        EXPECT_TRUE(KeInsertQueueDpc(&dpc, &third, nullptr));
        EXPECT_FALSE(KeInsertQueueDpc(&dpc, &second, nullptr));
        gate.Open();
    }
    std::lock_guard<std::mutex> hold(record.lock);
    EXPECT_EQ(record.runs, 1);
    EXPECT_EQ(record.argument1, &third);
}

TEST(Dpc, RunInTheOrderQueuedFromAnyLevel)
{
    Record record;
    std::vector<Tagged> tags;
    for (int i = 0; i < 6; ++i)
        tags.push_back({&record, i});
    std::vector<KDPC> dpcs(tags.size());
    {
        Gate gate;
        KIRQL old;
        KeRaiseIrql(HIGH_LEVEL, &old); // as the interrupt thread queues them
        for (size_t i = 0; i < dpcs.size(); ++i) {
            KeInitializeDpc(&dpcs[i], Note, &tags[i]);
            EXPECT_TRUE(KeInsertQueueDpc(&dpcs[i], nullptr, nullptr));
        }
        KeLowerIrql(old);
        EXPECT_TRUE(KeRemoveQueueDpc(&dpcs[2]));                   // from the middle
        EXPECT_TRUE(KeRemoveQueueDpc(&dpcs[5]));                   // the tail
        EXPECT_TRUE(KeInsertQueueDpc(&dpcs[2], nullptr, nullptr)); // now last
        gate.Open();
    }
    std::lock_guard<std::mutex> hold(record.lock);
    EXPECT_EQ(record.order, (std::vector<int>{0, 1, 3, 4, 2}));
}

namespace {
struct Requeue {
    KDPC dpc;
    std::atomic<int> runs{0};
    std::atomic<bool> requeued{true};
    KEVENT done;
};

VOID RequeueTwice(KDPC* dpc, PVOID context, PVOID, PVOID)
{
    auto* r = static_cast<Requeue*>(context);
    if (++r->runs < 3)
        r->requeued = r->requeued && KeInsertQueueDpc(dpc, nullptr, nullptr);
    else
        KeSetEvent(&r->done, 0, FALSE);
}
} // namespace

TEST(Dpc, ARoutineMayQueueItsOwnDpcAgain)
{
    Requeue r;
    KeInitializeEvent(&r.done, NotificationEvent, FALSE);
    KeInitializeDpc(&r.dpc, RequeueTwice, &r);
    EXPECT_TRUE(KeInsertQueueDpc(&r.dpc, nullptr, nullptr));
    LARGE_INTEGER timeout = Relative(60 * kSecond);
    EXPECT_EQ(KeWaitForSingleObject(&r.done, Executive, KernelMode, FALSE, &timeout), STATUS_SUCCESS);
    KeFlushQueuedDpcs();
    EXPECT_EQ(r.runs, 3);
    EXPECT_TRUE(r.requeued);
}

TEST(Dpc, FlushWaitsForTheDpcThatIsRunning)
{
    Gate gate;
    std::atomic<bool> flushed{false};
    std::thread flusher([&] {
        KeFlushQueuedDpcs();
        flushed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(flushed);
    gate.open = true;
    flusher.join();
    EXPECT_TRUE(flushed);
}

namespace {
VOID DropToPassive(KDPC*, PVOID, PVOID, PVOID)
{
    KeLowerIrql(PASSIVE_LEVEL);
}

VOID BlockInDpc(KDPC*, PVOID context, PVOID, PVOID)
{
    auto* event = static_cast<PRKEVENT>(context);
    LARGE_INTEGER poll = Zero();
    KeWaitForSingleObject(event, Executive, KernelMode, FALSE, &poll); // allowed
    KeWaitForSingleObject(event, Executive, KernelMode, FALSE, nullptr);
    LARGE_INTEGER sleep = Relative(kSecond);
    KeDelayExecutionThread(KernelMode, FALSE, &sleep);
}
} // namespace

TEST(Dpc, RoutinesMustNotBlockAndMustReturnAtDispatchLevel)
{
    ExpectedBreaches breaches;
    KDPC lowers;
    KeInitializeDpc(&lowers, DropToPassive, nullptr);
    KeInsertQueueDpc(&lowers, nullptr, nullptr);
    KeFlushQueuedDpcs();
    auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rule, "irql");
    EXPECT_NE(taken[0].detail.find("returned at IRQL 0"), std::string::npos);

    KEVENT never;
    KeInitializeEvent(&never, NotificationEvent, FALSE);
    KDPC blocks;
    KeInitializeDpc(&blocks, BlockInDpc, &never);
    KeInsertQueueDpc(&blocks, nullptr, nullptr);
    KeFlushQueuedDpcs(); // returns: the waits were reported, not obeyed
    EXPECT_EQ(breaches.Rules(), (std::vector<std::string>{"wait-at-dispatch", "wait-at-dispatch"}));

    // The next DPC runs at DISPATCH_LEVEL again.
    Record record;
    Tagged tagged{&record, 9};
    KDPC next;
    KeInitializeDpc(&next, Note, &tagged);
    KeInsertQueueDpc(&next, nullptr, nullptr);
    KeFlushQueuedDpcs();
    EXPECT_EQ(record.irql, DISPATCH_LEVEL);
}

TEST(Dpc, MisuseAndLeftoversAreReported)
{
    ExpectedBreaches breaches;
    alignas(KDPC) unsigned char zeroed[sizeof(KDPC)] = {};
    EXPECT_FALSE(KeInsertQueueDpc(reinterpret_cast<PRKDPC>(zeroed), nullptr, nullptr));
    EXPECT_FALSE(KeRemoveQueueDpc(reinterpret_cast<PRKDPC>(zeroed)));
    KeInitializeDpc(nullptr, Note, nullptr);
    EXPECT_EQ(breaches.Rules(), (std::vector<std::string>{"bad-object", "bad-object", "bad-argument"}));

    Record record;
    Tagged tagged{&record, 4};
    KDPC dpc;
    KeInitializeDpc(&dpc, Note, &tagged);
    {
        Gate gate;
        KeInsertQueueDpc(&dpc, nullptr, nullptr);
        KeInitializeDpc(&dpc, Note, nullptr);
        EXPECT_EQ(breaches.Rules(), std::vector<std::string>{"reinitialise"});
        EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
        auto leaks = breaches.Take();
        ASSERT_EQ(leaks.size(), 1u);
        EXPECT_EQ(leaks[0].detail.rfind("dpc-queue: DPC", 0), 0u) << leaks[0].detail;
        gate.Open();
    }
    EXPECT_EQ(record.runs, 1);
    EXPECT_EQ(record.context, &tagged) << "the queued DPC kept its routine and context";
}
