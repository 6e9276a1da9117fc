// The cancel-safe queue as a driver uses it: requests from two file objects queued with their
// contexts by a dispatch routine, cancelled, taken by context and taken by file object, each
// completed exactly once; requests cancelled before they were queued; and cancellation racing
// removal from other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "TestDriver.h"
#include "standin/verifier.h"

using iotest::TestDriver;

namespace {

constexpr ULONG kQueue = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x8A0, METHOD_BUFFERED, FILE_ANY_ACCESS);

// The driver's side: a list under a spin lock, a context per request, and the requests its
// completion callback completed as cancelled.
struct Queue {
    IO_CSQ csq{};
    KSPIN_LOCK lock{};
    LIST_ENTRY head{};
    std::atomic<int> cancelledCompletions{0};
    std::vector<IO_CSQ_IRP_CONTEXT> contexts;
    PIO_CSQ_IRP_CONTEXT pendingContext = nullptr; // the context the next dispatch inserts with

    static Queue* From(PIO_CSQ csq) { return CONTAINING_RECORD(csq, Queue, csq); }

    static VOID NTAPI Insert(PIO_CSQ csq, PIRP irp) { InsertTailList(&From(csq)->head, &irp->Tail.Overlay.ListEntry); }
    static VOID NTAPI Remove(PIO_CSQ, PIRP irp) { RemoveEntryList(&irp->Tail.Overlay.ListEntry); }
    // The next request after `irp` whose file object is the peek context (any for NULL).
    static PIRP NTAPI Peek(PIO_CSQ csq, PIRP irp, PVOID peekContext)
    {
        PLIST_ENTRY head = &From(csq)->head;
        for (PLIST_ENTRY e = irp ? irp->Tail.Overlay.ListEntry.Flink : head->Flink; e != head; e = e->Flink) {
            PIRP candidate = CONTAINING_RECORD(e, IRP, Tail.Overlay.ListEntry);
            if (!peekContext || IoGetCurrentIrpStackLocation(candidate)->FileObject == peekContext)
                return candidate;
        }
        return nullptr;
    }
    static VOID NTAPI Acquire(PIO_CSQ csq, PKIRQL irql) { KeAcquireSpinLock(&From(csq)->lock, irql); }
    static VOID NTAPI Release(PIO_CSQ csq, KIRQL irql) { KeReleaseSpinLock(&From(csq)->lock, irql); }
    static VOID NTAPI CompleteCanceled(PIO_CSQ csq, PIRP irp)
    {
        ++From(csq)->cancelledCompletions;
        irp->IoStatus.Status = STATUS_CANCELLED;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }

    explicit Queue(size_t count) : contexts(count)
    {
        KeInitializeSpinLock(&lock);
        InitializeListHead(&head);
        EXPECT_EQ(IoCsqInitialize(&csq, Insert, Remove, Peek, Acquire, Release, CompleteCanceled), STATUS_SUCCESS);
    }
};

Queue* g_queue = nullptr;

NTSTATUS NTAPI DispatchQueue(PDEVICE_OBJECT, PIRP irp)
{
    IoCsqInsertIrp(&g_queue->csq, irp, g_queue->pendingContext);
    return STATUS_PENDING;
}

struct Request {
    KEVENT event{};
    IO_STATUS_BLOCK iosb{};
    PIRP irp = nullptr;
    NTSTATUS returned = 0;
};

class CancelSafeQueueTest : public testing::Test {
protected:
    void SetUp() override
    {
        device = driver.AddDevice(u"Queued");
        driver.Driver()->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchQueue;
    }
    void TearDown() override { g_queue = nullptr; }

    // Sends a request from `file` that the dispatch routine queues with `context`.
    void Send(Request& r, PFILE_OBJECT file, PIO_CSQ_IRP_CONTEXT context, bool cancelFirst = false)
    {
        KeInitializeEvent(&r.event, NotificationEvent, FALSE);
        r.irp = IoBuildDeviceIoControlRequest(kQueue, device, nullptr, 0, nullptr, 0, FALSE, &r.event, &r.iosb);
        ASSERT_NE(r.irp, nullptr);
        IoGetNextIrpStackLocation(r.irp)->FileObject = file;
        if (cancelFirst) {
            EXPECT_EQ(IoCancelIrp(r.irp), FALSE); // no cancel routine yet: only the flag
        }
        g_queue->pendingContext = context;
        r.returned = IoCallDriver(device, r.irp);
    }

    static void Complete(PIRP irp, NTSTATUS status)
    {
        irp->IoStatus.Status = status;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }

    TestDriver driver;
    PDEVICE_OBJECT device = nullptr;
    FILE_OBJECT fileA{}, fileB{};
};

} // namespace

TEST_F(CancelSafeQueueTest, CancelledRequestCompletesOnceAndItsContextGivesNothing)
{
    Queue queue(16);
    g_queue = &queue;
    std::vector<Request> requests(16);
    for (size_t i = 0; i < requests.size(); ++i) {
        Send(requests[i], i % 2 ? &fileB : &fileA, &queue.contexts[i]);
        EXPECT_EQ(requests[i].returned, STATUS_PENDING);
        EXPECT_EQ(queue.contexts[i].Irp, requests[i].irp);
        EXPECT_EQ(queue.contexts[i].Csq, &queue.csq);
        EXPECT_EQ(requests[i].irp->Tail.Overlay.DriverContext[3], &queue.contexts[i]);
        EXPECT_NE(requests[i].irp->CancelRoutine, nullptr);
    }

    // Request 5 (file B) is cancelled: the completion callback completes it once.
    EXPECT_EQ(IoCancelIrp(requests[5].irp), TRUE);
    EXPECT_EQ(KeReadStateEvent(&requests[5].event), 1);
    EXPECT_EQ(requests[5].iosb.Status, static_cast<NTSTATUS>(0xC0000120));
    EXPECT_EQ(requests[5].iosb.Information, 0u);
    EXPECT_EQ(queue.cancelledCompletions.load(), 1);
    EXPECT_EQ(queue.contexts[5].Irp, nullptr);
    EXPECT_EQ(IoCsqRemoveIrp(&queue.csq, &queue.contexts[5]), nullptr);

    // Peeking with file B takes B's requests in the order they came, passing over A's.
    for (size_t i = 1; i < requests.size(); i += 2) {
        if (i == 5)
            continue;
        PIRP irp = IoCsqRemoveNextIrp(&queue.csq, &fileB);
        ASSERT_EQ(irp, requests[i].irp) << "request " << i;
        EXPECT_EQ(irp->CancelRoutine, nullptr);
        EXPECT_EQ(queue.contexts[i].Irp, nullptr);
        EXPECT_EQ(IoCsqRemoveIrp(&queue.csq, &queue.contexts[i]), nullptr) << "taken twice";
        Complete(irp, STATUS_SUCCESS);
    }
    EXPECT_EQ(IoCsqRemoveNextIrp(&queue.csq, &fileB), nullptr);

    // A taken request no longer reacts to cancellation; A's are taken by context and by any.
    EXPECT_EQ(IoCsqRemoveIrp(&queue.csq, &queue.contexts[2]), requests[2].irp);
    EXPECT_EQ(IoCancelIrp(requests[2].irp), FALSE);
    Complete(requests[2].irp, STATUS_SUCCESS);
    for (size_t i = 0; i < requests.size(); i += 2) {
        if (i == 2)
            continue;
        PIRP irp = IoCsqRemoveNextIrp(&queue.csq, nullptr);
        ASSERT_EQ(irp, requests[i].irp);
        Complete(irp, STATUS_SUCCESS);
    }
    EXPECT_EQ(IoCsqRemoveNextIrp(&queue.csq, nullptr), nullptr);
    EXPECT_TRUE(IsListEmpty(&queue.head));
    EXPECT_EQ(queue.cancelledCompletions.load(), 1);
    for (size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(requests[i].iosb.Status, i == 5 ? STATUS_CANCELLED : STATUS_SUCCESS) << "request " << i;
}

TEST_F(CancelSafeQueueTest, ARequestCancelledBeforeItIsQueuedGoesToTheCompletionCallback)
{
    Queue queue(2);
    g_queue = &queue;
    Request withContext, without;
    Send(withContext, &fileA, &queue.contexts[0], true);
    EXPECT_EQ(withContext.returned, STATUS_PENDING);
    EXPECT_EQ(withContext.iosb.Status, STATUS_CANCELLED);
    EXPECT_EQ(queue.contexts[0].Irp, nullptr);
    Send(without, &fileA, nullptr, true);
    EXPECT_EQ(without.iosb.Status, STATUS_CANCELLED);
    EXPECT_EQ(queue.cancelledCompletions.load(), 2);
    EXPECT_TRUE(IsListEmpty(&queue.head));

    // Without a context the request is still found by peeking, and cancellation still works.
    Request plain;
    Send(plain, &fileA, nullptr);
    EXPECT_EQ(plain.irp->Tail.Overlay.DriverContext[3], &queue.csq);
    EXPECT_EQ(IoCancelIrp(plain.irp), TRUE);
    EXPECT_EQ(plain.iosb.Status, STATUS_CANCELLED);
    EXPECT_EQ(IoCsqRemoveNextIrp(&queue.csq, nullptr), nullptr);
}

TEST_F(CancelSafeQueueTest, BadArgumentsAreBreaches)
{
    standin::VerifierSetEcho(false);
    IO_CSQ csq{};
    EXPECT_EQ(IoCsqInitialize(&csq, Queue::Insert, Queue::Remove, nullptr, Queue::Acquire, Queue::Release,
                              Queue::CompleteCanceled),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(IoCsqRemoveNextIrp(&csq, nullptr), nullptr); // never initialised
    Queue queue(1);
    EXPECT_EQ(IoCsqRemoveIrp(&queue.csq, nullptr), nullptr);
    std::vector<std::string> rules;
    for (const auto& v : standin::VerifierTakeViolations())
        rules.push_back(v.rule);
    standin::VerifierSetEcho(true);
    EXPECT_EQ(rules, (std::vector<std::string>{"bad-argument", "bad-object", "bad-argument"}));
}

TEST_F(CancelSafeQueueTest, CancellationRacingRemovalCompletesEachRequestOnce)
{
    constexpr size_t kCount = 100;
    Queue queue(kCount);
    g_queue = &queue;
    std::vector<Request> requests(kCount);
    for (size_t i = 0; i < kCount; ++i)
        Send(requests[i], &fileA, &queue.contexts[i]);
    // The takers keep what they take until the cancelling is over, so that every IRP the canceller
    // names is still alive; cancelling a request already taken only sets its flag.
    std::vector<PIRP> byContextTaken, byPeekTaken;
    std::thread canceller([&] {
        for (size_t i = 0; i < kCount; i += 3)
            IoCancelIrp(requests[i].irp);
    });
    std::thread byContext([&] {
        for (size_t i = kCount; i-- > 0;)
            if (PIRP irp = IoCsqRemoveIrp(&queue.csq, &queue.contexts[i]))
                byContextTaken.push_back(irp);
    });
    while (PIRP irp = IoCsqRemoveNextIrp(&queue.csq, nullptr))
        byPeekTaken.push_back(irp);
    canceller.join();
    byContext.join();
    while (PIRP irp = IoCsqRemoveNextIrp(&queue.csq, nullptr))
        byPeekTaken.push_back(irp);
    const int taken = static_cast<int>(byContextTaken.size() + byPeekTaken.size());
    for (PIRP irp : byContextTaken)
        Complete(irp, STATUS_SUCCESS);
    for (PIRP irp : byPeekTaken)
        Complete(irp, STATUS_SUCCESS);
    EXPECT_EQ(taken + queue.cancelledCompletions.load(), static_cast<int>(kCount));
    for (auto& r : requests) {
        EXPECT_EQ(KeReadStateEvent(&r.event), 1);
        EXPECT_TRUE(r.iosb.Status == STATUS_SUCCESS || r.iosb.Status == STATUS_CANCELLED);
    }
}
