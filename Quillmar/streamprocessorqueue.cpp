// StreamProcessorQueue: the ring of work records, its worker thread, the purges and the stop.
#include "streamprocessorqueue.h"

#include "logicalstream.h"
#include "km/interlocked.h"
#include "km/irp.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <new>

StreamProcessorQueue::StreamProcessorQueue(ULONG capacity, KPRIORITY priority, KAFFINITY processorMask,
                                           LogicalStreamTable* table)
    : m_capacity(capacity), m_table(table), m_ring(sizeof(Record), 2 * capacity, NonPagedPool)
{
    TRACE_SCOPE(this, "StreamProcessorQueue::StreamProcessorQueue", kTraceLowEnter,
                "nCapacity=%u, nPriority=%d, processorMask=0x%08x", static_cast<unsigned>(capacity),
                static_cast<int>(priority), static_cast<unsigned>(processorMask));
    KeInitializeSpinLock(&m_lock);
    KeInitializeEvent(&m_wakeEvent, SynchronizationEvent, FALSE);
    if (!m_ring.IsValid() || table == nullptr) {
        m_constructionStatus = STATUS_INSUFFICIENT_RESOURCES;
        return;
    }
    m_purged = static_cast<Record*>(DriverAllocateNoRaise(sizeof(Record) * m_ring.Room()));
    if (m_purged == nullptr) {
        m_constructionStatus = STATUS_INSUFFICIENT_RESOURCES;
        return;
    }
    const NTSTATUS status = m_worker.Start(&StreamProcessorQueue::ThreadStartRoutine, this, kSystemThreadAllAccess);
    if (!NT_SUCCESS(status)) {
        m_constructionStatus = status;
        return;
    }
    m_workerStarted = true;
    // The worker runs the frames, so it is the one that gets the priority (not the thread that
    // makes the queue).
    KeSetPriorityThread(m_worker.ThreadObject(), priority);
}

StreamProcessorQueue::~StreamProcessorQueue()
{
    TRACE_SCOPE(this, "StreamProcessorQueue::~StreamProcessorQueue", kTraceLowEnter);
    Uninitialize();
    DriverFree(m_purged);
}

void StreamProcessorQueue::Uninitialize()
{
    TRACE_SCOPE(this, "StreamProcessorQueue::Uninitialize", kTraceLowEnter);
    if (!m_workerStarted)
        return;
    InterlockedExchange(&m_stop, 1);
    KeSetEvent(&m_wakeEvent, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(m_worker.ThreadObject(), Executive, KernelMode, FALSE, nullptr);
    m_worker.Release();
    m_workerStarted = false;
}

bool StreamProcessorQueue::OnFrameReady(LogicalStreamHandle stream, ULONG entryIndex, const char* streamName)
{
    if (!NT_SUCCESS(m_constructionStatus) || InterlockedCompareExchange(&m_stop, 0, 0) != 0)
        return false;
    const Record record{stream, entryIndex};
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    const ULONG written = m_ring.Write(&record, 1);
    const ULONG waiting = m_ring.Count();
    KeReleaseSpinLock(&m_lock, irql);
    if (written == 0) {
        TRACE_LINE(this, "StreamProcessorQueue::OnFrameReady", kTraceWarnings,
                   "The queue is full (%u records): the %s frame goes back to its stream",
                   static_cast<unsigned>(m_ring.Room()), streamName != nullptr ? streamName : "");
        return false;
    }
    TRACE_LINE(this, "StreamProcessorQueue::OnFrameReady", kTraceLows, "%d HOST %s frames queued for processing",
               static_cast<int>(waiting), streamName != nullptr ? streamName : "");
    KeSetEvent(&m_wakeEvent, IO_NO_INCREMENT, FALSE);
    return true;
}

void StreamProcessorQueue::PurgeWorkItems()
{
    TRACE_SCOPE(this, "StreamProcessorQueue::PurgeWorkItems", kTraceLowEnter);
    Purge(nullptr);
}

void StreamProcessorQueue::PurgeWorkItems(LogicalStreamHandle stream)
{
    TRACE_SCOPE(this, "StreamProcessorQueue::PurgeWorkItems", kTraceLowEnter, "handle=0x%08x", stream.value);
    Purge(&stream);
}

void StreamProcessorQueue::Purge(const LogicalStreamHandle* only)
{
    if (m_purged == nullptr)
        return;
    KPLXFastStackLock hold(&m_purgeLock, this, "StreamProcessorQueue::Purge", __LINE__);
    ULONG purged = 0;
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    const ULONG waiting = m_ring.Count();
    for (ULONG i = 0; i < waiting; ++i) {
        Record record;
        m_ring.Read(&record, 1);
        if (only == nullptr || record.stream == *only)
            m_purged[purged++] = record;
        else
            m_ring.Write(&record, 1); // another stream's: back in the same order
    }
    KeReleaseSpinLock(&m_lock, irql);
    // Outside the spin lock: giving a buffer back may send it to the DSP.
    for (ULONG i = 0; i < purged; ++i) {
        LogicalStreamReference reference(m_table, m_purged[i].stream);
        if (reference)
            reference->ReturnPurgedWorkItem(m_purged[i].entryIndex);
    }
    TRACE_LINE(this, "StreamProcessorQueue::Purge", kTraceLows, "%u work items purged, %u left",
               static_cast<unsigned>(purged), static_cast<unsigned>(waiting - purged));
}

ULONG StreamProcessorQueue::GetQueuedCount()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_lock, &irql);
    const ULONG count = m_ring.Count();
    KeReleaseSpinLock(&m_lock, irql);
    return count;
}

void StreamProcessorQueue::ThreadStartRoutine(PVOID context)
{
    static_cast<StreamProcessorQueue*>(context)->WorkerLoop();
}

void StreamProcessorQueue::WorkerLoop()
{
    TRACE_SCOPE(this, "StreamProcessorQueue::ThreadStartRoutine", kTraceLowEnter);
    LARGE_INTEGER wait;
    wait.QuadPart = kWorkerWait;
    while (InterlockedCompareExchange(&m_stop, 0, 0) == 0) {
        Record record{};
        KIRQL irql;
        KeAcquireSpinLock(&m_lock, &irql);
        const bool have = m_ring.Count() > 0 && m_ring.Read(&record, 1) == 1;
        KeReleaseSpinLock(&m_lock, irql);
        if (have) {
            // The reference keeps the stream from going while it processes; a stream that went
            // since the record was queued took its buffers with it.
            LogicalStreamReference reference(m_table, record.stream);
            if (reference)
                reference->Process(record.entryIndex);
            else
                TRACE_LINE(this, "StreamProcessorQueue::ThreadStartRoutine", kTraceLows,
                           "A work item of a stream that is gone (handle 0x%08x) is dropped", record.stream.value);
        }
        // Records queued while the worker was busy set the event once between them (it is an
        // auto-reset event: signals merge), so the worker takes the next record at once while
        // the ring holds any, and waits only when it is empty.
        if (have && GetQueuedCount() > 0)
            continue;
        KeWaitForSingleObject(&m_wakeEvent, Executive, KernelMode, FALSE, &wait);
    }
    TRACE_LINE(this, "StreamProcessorQueue::ThreadStartRoutine", kTraceHighs,
               "Terminating the queue processing thread.");
}
