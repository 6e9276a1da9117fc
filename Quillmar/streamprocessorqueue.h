// StreamProcessorQueue: the worker thread that runs a device's frames (one queue for video, one
// for audio). Filled DSP buffers and generated frames are queued to it as records of stream handle
// and mapping-entry index; the worker takes them one at a time and hands each to its stream's
// Process under a rundown reference; while records are waiting it takes the next at once, and once
// the ring is empty it waits for its event or 1 ms. A record whose stream is gone (stale handle)
// is dropped: its buffer went with the stream.
//
// The ring (2 x capacity records) is guarded by a spin lock: records are written at any level up
// to DISPATCH_LEVEL by the response thread and the generators; the worker is the only reader but
// for the purges.
#pragma once
#include "kernel/driverheap.h"
#include "kernel/ringbuffer.h"
#include "kernel/systemthread.h"
#include "kplxfastlock.h"
#include "km/spinlock.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/types.h"
#include "logicalstreamtable.h"

class StreamProcessorQueue : public DriverAllocated {
public:
    // The worker's wait between two records: relative, 100-ns units.
    static constexpr LONGLONG kWorkerWait = -10'000; // 1 ms

    struct Record {
        LogicalStreamHandle stream;
        ULONG entryIndex;
    };

    // A ring of 2 x capacity records; starts the worker and gives it `priority`. The processor
    // mask is not used. `table` resolves the records' handles.
    StreamProcessorQueue(ULONG capacity, KPRIORITY priority, KAFFINITY processorMask, LogicalStreamTable* table);
    // Uninitialize.
    ~StreamProcessorQueue();
    StreamProcessorQueue(const StreamProcessorQueue&) = delete;
    StreamProcessorQueue& operator=(const StreamProcessorQueue&) = delete;

    // STATUS_SUCCESS when the ring and the worker are there.
    NTSTATUS GetConstructionStatus() const { return m_constructionStatus; }

    // Queues entry `entryIndex` of `stream` and wakes the worker. False when the ring is full (or
    // the queue has no ring or worker): nothing is queued and the caller gives the buffer back to
    // its owner. `streamName` is for the trace.
    bool OnFrameReady(LogicalStreamHandle stream, ULONG entryIndex, const char* streamName);
    // Empties the ring. Each record taken off goes back to its stream (LogicalStream::
    // ReturnPurgedWorkItem), outside the spin lock; a record of a stream that is gone is dropped.
    void PurgeWorkItems();
    // The same for the records of one stream only.
    void PurgeWorkItems(LogicalStreamHandle stream);
    // Stops the worker and waits for it to end. PASSIVE_LEVEL, not on the worker.
    void Uninitialize();

    ULONG GetQueuedCount();
    ULONG GetCapacity() const { return m_capacity; }
    PKTHREAD GetWorkerThread() const { return m_worker.ThreadObject(); }

private:
    static void ThreadStartRoutine(PVOID context);
    void WorkerLoop();
    void Purge(const LogicalStreamHandle* only);

    ULONG m_capacity;
    LogicalStreamTable* m_table;
    RingBuffer m_ring;
    // Where a purge copies the ring's records to hand them back outside the spin lock; one purge
    // at a time.
    KPLXFastLock m_purgeLock;
    Record* m_purged = nullptr;
    KSPIN_LOCK m_lock = 0;
    KEVENT m_wakeEvent{};
    volatile LONG m_stop = 0;
    SystemThread m_worker;
    bool m_workerStarted = false;
    NTSTATUS m_constructionStatus = STATUS_SUCCESS;
};
