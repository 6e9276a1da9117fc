// LogicalStream: one capture stream from the DSP, video or audio. It owns the buffers the DSP fills
// and the host frames of its generators (the mapping table), the processing tree rooted at its
// embedded FrameProcessingSource, the ring of free host frames, the DSP time-stamp bookkeeping, and
// the flags, events and input-state list its backup frame generator and stream control thread work
// with. The physical streams (video, audio) derive from it: they supply the DSP- and format-
// specific operations (pure here) and the two threads (virtual here).
//
// Every mapping entry has an owner state (docs/driver-logical-stream.md): a buffer is with the
// DSP, in the processing queue, being processed, in the free ring, with a generator, or idle, and
// only an idle buffer is queued anew. One spin lock guards the owner states and the free ring.
//
// The stream is reached from outside only through its handle in the device's stream table: the
// command records of queued buffers and the processing queue's records carry the handle, and use
// the stream under a rundown reference. Destruction (Shutdown) ends the threads, walks the state
// down to Stop, makes the handle stale, purges the stream's queued work, waits until no reference is
// held and then frees the frames; a DSP answer that comes later finds the handle stale and its
// record goes back to the device's pool.
//
// Locks, in the order they are taken: the processing lock (the source's), the control lock, the
// input-state list lock, then the entry spin lock. No wait for a DSP answer or a thread is made
// under the processing or the control lock.
#pragma once
#include "frameprocessingsource.h"
#include "kernel/driverheap.h"
#include "kernel/intrusivelist.h"
#include "kernel/ringbuffer.h"
#include "kernel/systemthread.h"
#include "kplxfastlock.h"
#include "km/spinlock.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/types.h"
#include "logicalstreamtable.h"

class Algorithm;
class AlgorithmList;
class CommandHandler;
class Frame;
class StreamDeviceServices;
class StreamProcessorQueue;
class VbiSeparatorStream;
struct DspStreamSettings;

enum class LogicalStreamType : LONG { Video = 0, Audio = 1 };

// Where a mapping entry's buffer is (FrameWorkItem::ownerState).
enum class MappingOwner : UCHAR {
    Idle = 0,   // nobody holds it: queued anew by the next Stop to Acquire or return
    WithDsp,    // queued to the DSP, its command record outstanding
    Queued,     // a record of it waits in the processing queue
    Processing, // being walked through the tree
    FreeRing,   // a host frame in the free ring
    Generator,  // a host frame taken by a generator
};

// The kernel-streaming states.
inline constexpr LONG kStreamStateStop = 0;
inline constexpr LONG kStreamStateAcquire = 1;
inline constexpr LONG kStreamStatePause = 2;
inline constexpr LONG kStreamStateRun = 3;

class LogicalStream : public FrameWorkItemOwner, public DriverAllocated {
public:
    // The buffer count's bounds ("VideoDMABuffers", "AudioDMABuffers" are clamped to them).
    static constexpr ULONG kMinimumBufferCount = 2;
    static constexpr ULONG kMaximumBufferCount = 32;
    // The lowest DSP clock rate a stream accepts: below it a tick is longer than a microsecond and
    // the time stamps cannot be converted.
    static constexpr ULONG kMinimumDspClockRate = 1'000'000;
    // The accepted jitter of a DSP time stamp around the frame interval, in per cent.
    static constexpr double kIntervalTolerance = 0.02;
    // The farthest a DSP time stamp may lie ahead of the last one, in ticks (half the 32-bit
    // counter's range, about 23.9 s at 90 MHz); one farther ahead lies behind it.
    static constexpr ULONG kLargestStampStep = 0x7FFF'FFFF;
    // The wait for the DSP to give its buffers back after a destroy.
    static constexpr ULONG kDestroyPollRounds = 100;
    static constexpr ULONG kDestroyPollStall = 10;              // microseconds
    static constexpr LONGLONG kDestroyFinalSleep = -100'000;    // relative 100-ns units: 10 ms
    static constexpr ULONG kCreateStall = 10;                   // microseconds
    // Size of an input-state record.
    static constexpr ULONG kInputStateRecordBytes = 580;
    // A manual transition waits this long between its tries to take the manual-transition flag.
    static constexpr LONGLONG kManualTransitionRetry = -10'000; // 1 ms
    // Real frames a restarted stream lets go back to the DSP before it stops its generator.
    static constexpr ULONG kStartupFrames = 2;
    // The DSP's completion codes the stream reads.
    static constexpr ULONG kDspNoSignal = 23;
    // Offsets in a filled buffer's response area.
    static constexpr ULONG kResponseTimeStampOffset = 32;
    // A running DSP stream that gives no buffer back for the DSP command time-out (4 s) and this
    // many frame intervals more is taken for a DSP that stopped answering: it is logged, its buffers
    // are taken back and its pins go on with backup frames while the stream is remade, at most once
    // in the same time, until the DSP answers again.
    static constexpr LONGLONG kDspSilenceTimeout = 40'000'000; // 100-ns units
    static constexpr ULONG kDspSilenceFrames = 4;
    // The mapping entry's word that holds the host tag of the record that queued its buffer.
    static constexpr ULONG kQueueTagWord = 0;

    // The mapping table (2 x buffer count entries), the free ring (2 x buffer count records), the
    // locks and events; the stream takes a handle in the device's table. maximumQueuedFrames is
    // the caller's hint for the queue; the rings are sized from the buffer count. A DSP clock rate
    // under 1 MHz, no table slot or no memory leave a construction status that refuses the stream.
    LogicalStream(LogicalStreamType type, StreamDeviceServices* services, StreamProcessorQueue* queue,
                  ULONG maximumQueuedFrames);
    // Runs Shutdown's parts that need no derived operation when the derived destructor did not
    // call Shutdown (it must), then frees the table, the ring and what is left of the tree.
    virtual ~LogicalStream();
    LogicalStream(const LogicalStream&) = delete;
    LogicalStream& operator=(const LogicalStream&) = delete;

    NTSTATUS GetConstructionStatus() const { return m_constructionStatus; }
    LogicalStreamHandle GetHandle() const { return m_handle; }
    LogicalStreamType GetStreamType() const { return m_type; }
    // "VIDEO" or "AUDIO".
    const char* GetStreamName() const { return m_type == LogicalStreamType::Audio ? "AUDIO" : "VIDEO"; }
    // The stream processor's index of the stream (always 0), read by the routing.
    ULONG GetStreamId() const { return m_streamId; }
    void SetStreamId(ULONG id) { m_streamId = id; }
    LONG GetState() const;
    StreamDeviceServices* GetServices() const { return m_services; }
    StreamProcessorQueue* GetQueue() const { return m_queue; }
    FrameProcessingSource* GetSource() { return &m_source; }
    ULONG GetBufferCount() const { return m_bufferCount; }
    ULONG GetTableSize() const { return 2 * m_bufferCount; }

    // ---- The physical stream's operations ----------------------------------------------------
    // Re-reads the frame geometry the DSP reported with a filled buffer into the entry's frame.
    // False when the report cannot describe a picture in the buffer: the buffer is recycled.
    virtual bool ReconditionFrame(FrameWorkItem* entry, CommandHandler* handler) = 0;
    virtual bool DoesDSPHaveSignalLock() = 0;
    // Lay a frame over a DMA buffer (entries 0 .. count - 1) or a host buffer (the rest).
    virtual NTSTATUS AllocateDSPFrame(ULONG index) = 0;
    virtual NTSTATUS AllocateHostFrame(ULONG index) = 0;
    // Loads the stream's settings from an input-state record (null: the current one); true when
    // the input changed.
    virtual bool LoadStreamSettings(const UCHAR* inputStateRecord) = 0;
    virtual bool UsesDsp() = 0;
    virtual NTSTATUS StartTestStream() = 0;
    virtual void StopTestStream() = 0;
    virtual void InitBackupFrameGeneratorValues() = 0;
    virtual void FillBackupFrame(FrameWorkItem* entry) = 0;
    // The descriptor and input type the create command sends.
    virtual void GetStreamSettings(DspStreamSettings* settings) = 0;

    // ---- Stream control and backup frames ------------------------------------------------------
    // The control thread runs while the stream processor holds the stream in Run: a running one is
    // ended first (taken out under the control lock, awaited outside it).
    virtual void StartStreamControlThread();
    // Terminate set, the thread's exit awaited, its object released. Nothing without a thread.
    virtual void TerminateStreamControlThread();
    // Synchronous: the event set and the thread's acknowledgement awaited. Start only when the
    // generator thread exists and does not generate; stop only when it generates.
    virtual void StartBackupFrameGenerator();
    virtual void StopBackupFrameGenerator();
    // The generator thread ended and released (the stream's destruction).
    virtual void TerminateBackupFrameGenerator();
    // Takes the DSP stream down (or up) without leaving the logical Run state. A manual start
    // that fails undoes itself to Stop and clears restart pending; its status.
    virtual void ManuallyStopStream();
    virtual NTSTATUS ManuallyStartStream();
    // Queues a copy of a 580-byte input-state record for the stream control thread. Without a
    // control thread only the newest record is kept: the next Run loads it.
    virtual void ProcessInputStateChanged(const UCHAR* inputStateRecord);
    // What the VBI separator of a chain reads of this stream; null for a stream that carries no
    // picture (the separator then works without an input record and asks for no restart).
    virtual VbiSeparatorStream* GetVbiSeparatorStream() { return nullptr; }
    // For the reports and the tests.
    ULONG GetQueuedInputStateCount();
    bool HasStreamControlThread();
    bool HasBackupFrameGeneratorThread();
    bool IsRestartPending();
    // Whether the DSP stopped answering the running stream (until its next answer).
    bool IsDspSilent();
    // How long (100-ns units) a running DSP stream may give no buffer back.
    LONGLONG GetDspSilenceBound();
    // The generator's absolute due time of its next frame and its next DSP time-stamp counter.
    LONGLONG GetNextGeneratorDue();
    ULONG GetGeneratorCounter();
    // The generator's thread routine, which PrepareBackupFrameGenerator starts (context: the stream).
    static void BackupFrameGeneratorRoutine(PVOID context);

    // ---- The stream table's operations ---------------------------------------------------------
    // 0xC0000017 before the frames are allocated.
    virtual NTSTATUS StreamFromStopToAcquire();
    virtual NTSTATUS StreamFromAcquireToPause();
    virtual NTSTATUS StreamFromPauseToRun();
    virtual NTSTATUS StreamFromRunToPause();
    virtual NTSTATUS StreamFromPauseToAcquire();
    virtual NTSTATUS StreamFromAcquireToStop();
    // Gives an entry's buffer to its owner: a host frame to the free ring; a DSP buffer to the
    // DSP when the stream is at least in Acquire with a DSP stream, else it stays idle. The
    // result of the queue command (STATUS_SUCCESS when nothing was sent).
    virtual NTSTATUS QueueWorkItem(FrameWorkItem* entry);
    // A filled buffer's answer (response id 5). The stream owns the record and frees it.
    virtual void OnFrameReady(CommandHandler* handler);
    virtual bool IsRestartNeeded();
    // Audio: re-reads the capture parameters at Pause to Run. Video: nothing.
    virtual void ResetStartingCaptureParams() {}

    // QueueWorkItem through the table.
    NTSTATUS AddMapping(FrameWorkItem* entry);
    // FrameWorkItemOwner: the entry whose self pointer `item` carries goes to AddMapping; an item
    // of no entry of this stream is ignored.
    void ReturnDMABuffer(FrameWorkItem* item) override;

    // The queue thread's turn for entry `index`: below Pause the buffer goes straight back;
    // otherwise the frame gets the next sequence number and runs through the tree.
    NTSTATUS Process(ULONG index);
    // A record the queue purged: its buffer goes back to its owner.
    void ReturnPurgedWorkItem(ULONG index);

    // Merges one pin's chain into the tree; 0xC0071014 for an empty list, 0xC000009A when a node
    // would get a 17th child (the chain's own steps are then destroyed, its sink left alone).
    NTSTATUS AddAlgorithmChain(AlgorithmList* list);
    // Takes a sink (a step of id 1, a pin's FrameProcessedSink) out of the tree (it stays its
    // pin's) and every step above it that has no child left, up to the source. 0xC0000001 for a
    // null sink, a step that is no sink, or a sink of another tree.
    NTSTATUS RemoveFrameSink(Algorithm* sink);
    // The new stream time (100-ns units) for a frame of DSP time stamp `timeStamp`. The counter
    // runs forward and wraps at 2^32: a stamp less than half the counter's range ahead of the last
    // one (modulo 2^32) is later, past the top when it is below it; a stamp equal to the last or
    // behind it (a repeated or late answer) counts as one step after the last.
    ULONGLONG ComputeTimeStamp(ULONG timeStamp, ULONG step, bool real);
    // True when DSP time stamp `stamp` lies behind `last` on the wrapping counter.
    static bool IsStampBehind(ULONG stamp, ULONG last) { return stamp - last > kLargestStampStep; }

    // ---- The generator side (backup frame generator, test sources) -----------------------------
    // A host entry from the free ring (owner: the generator), or null when the ring is empty.
    FrameWorkItem* TakeFreeHostEntry();
    // Stamps the entry's frame for DSP time stamp `timeStamp` (generated time) with the stream's
    // frame interval and queues it for processing; a full queue puts it back into the free ring.
    // False when it was not queued.
    bool QueueGeneratedFrame(FrameWorkItem* entry, ULONG timeStamp);
    // Stamps the entry's frame with the stream time, which then advances by one frame interval,
    // and queues it as QueueGeneratedFrame does (the AVI test source's frames).
    bool QueueFrameAtStreamTime(FrameWorkItem* entry);
    // Bytes of every buffer of the table (a generator lays its frames inside them).
    ULONG GetEntryBufferLength() const { return m_bufferLength; }
    // A taken host entry the generator does not use goes back to the free ring.
    void ReturnGeneratorEntry(FrameWorkItem* entry);
    // Under the control lock: the control thread changes them with the input.
    ULONG GetFrameInterval();
    ULONG GetTimeStampStep();
    ULONGLONG GetStreamTime();

    // ---- Reports and tests ---------------------------------------------------------------------
    FrameWorkItem* GetEntry(ULONG index);
    MappingOwner GetEntryOwner(ULONG index);
    ULONG CountEntriesOwnedBy(MappingOwner owner);
    ULONG GetFreeRingCount();
    ULONG GetStartupCounter();
    ULONG GetDspStreamHandle();
    bool IsDspStreamCreated();
    bool IsProcessingEnabled();
    bool IsGeneratorRunning();
    bool IsFirstTimeStampPending();
    ULONG GetMinimumInterval();
    ULONG GetMaximumInterval();
    ULONG GetTicksPerMicrosecond();

protected:
    // The last step of the most derived constructor: once construction has succeeded, the table
    // lets the device's threads reach the stream. Until then its slot is reserved only, since a
    // thread calling in would meet a half-built object.
    void Publish();

    // The first part of destruction, which every physical stream's destructor runs first: the
    // threads ended, the state walked down, the handle made stale, the queued work purged, the
    // rundown awaited, the frames released. Once only.
    void Shutdown();

    // For the physical streams' frame allocation: lays `frame` into entry `index` over the buffer
    // at `virtualAddress`: a DMA buffer when `physicalAddress` is not 0 (from
    // AllocateDmaBufferForEntry), a host buffer otherwise (from AllocateHostBuffer; marked as host
    // frame and put into the free ring). ReleaseStreamFrames frees both kinds.
    void SetEntryFrame(ULONG index, Frame* frame, PVOID virtualAddress, ULONGLONG physicalAddress);
    // A DMA buffer of the buffer length through a record of the device; null when none.
    PVOID AllocateDmaBufferForEntry(ULONGLONG* physicalAddress);
    // A paged host buffer of the buffer length; ReleaseStreamFrames frees it.
    PVOID AllocateHostBuffer();
    void AllocateStreamFrames();
    // Allocates the host frames of the generator (entries count .. 2 x count - 1) and starts the
    // generator thread running `generator`(this stream) (none when null). The status of the last
    // failing allocation, or of the thread's start.
    NTSTATUS PrepareBackupFrameGenerator(SystemThread::Routine generator);
    void ReleaseStreamFrames();

    void SetState(LONG state);
    void SetBufferLength(ULONG length) { m_bufferLength = length; }
    ULONG GetBufferLength() const { return m_bufferLength; }
    void SetTiming(ULONG step, ULONG interval);

    // The flags; the control lock guards them.
    KPLXFastLock* GetControlLock() { return &m_controlLock; }
    struct Flags {
        UCHAR dspStreamCreated = 0;
        UCHAR processingEnabled = 0;
        UCHAR generatorRunning = 0;
        UCHAR manualTransition = 0;
        UCHAR firstTimeStampPending = 1;
        UCHAR framesAllocated = 0;
        UCHAR restartPending = 0;
        UCHAR timeStampSourceReal = 0;
        UCHAR restartNeeded = 0;
        UCHAR dspEnabled = 0; // the DSP stream's enable was answered: its buffers are due to come back
        UCHAR dspSilent = 0;  // it gave nothing back for the silence bound, and has not since
    };
    Flags m_flags; // control lock

    // The events of the two threads (synchronization events, not signalled at start).
    KEVENT m_inputStateChangedEvent{};
    KEVENT m_controlTerminateEvent{};
    KEVENT m_controlExitedEvent{};
    KEVENT m_generatorTerminateEvent{};
    KEVENT m_generatorStopEvent{};
    KEVENT m_generatorStartEvent{};
    KEVENT m_generatorExitedEvent{};
    KEVENT m_generatorStoppedEvent{};
    KEVENT m_generatorStartedEvent{};
    SystemThread m_generatorThread;
    SystemThread m_controlThread;
    PVOID m_testStream = nullptr;
    // Records queued by ProcessInputStateChanged (list nodes of the physical stream's choice).
    KPLXFastLock m_inputStateListLock;
    IntrusiveList m_inputStateList;
    UCHAR m_currentInputState[kInputStateRecordBytes] = {};

    // Generator bookkeeping.
    LONGLONG m_nextGeneratorDue = 0;  // control lock
    LONGLONG m_lastRealFrameTime = 0; // control lock
    ULONG m_startupCounter = 0;       // control lock
    ULONG m_generatorCounter = 0;     // control lock: the next generated frame's DSP time stamp
    LONGLONG m_lastDspAnswerTime = 0; // control lock: the enable's or the last buffer answer's system time
    LONGLONG m_lastDspRecovery = 0;   // control lock: when the silent DSP's stream was last remade

    // The generator's and the control thread's bodies.
    void BackupFrameGenerator();
    static void StreamControlThreadRoutine(PVOID context);
    void StreamControlThread();
    // The generator's start handler: the first due time on the grid of the last real frame.
    void BeginBackupGeneration(LARGE_INTEGER* due);
    // One due time while generating: a backup frame made and queued, or the drop logged.
    void MakeBackupFrame();
    // One input-state record of the list, handled by the control thread.
    void ProcessInputStateRecord(const UCHAR* record);
    // Takes the manual-transition flag (1 ms retries) and sets restart pending to `restartPending`.
    void BeginManualTransition(bool restartPending);
    // Frees every queued input-state record.
    void FreeInputStateRecords();
    // The control thread's look at the DSP, each time it wakes: a running DSP stream that has given
    // nothing back for the silence bound is logged (once a silence), stopped and started again, a
    // silent DSP whose stream could not be remade is tried again after the bound; otherwise the DSP
    // buffers left idle while the stream runs (no record, a refused send) are queued again.
    void WatchDspAnswers();
    void RequeueIdleBuffers();
    bool IsListEmptyLocked();

private:
    // Entry spin lock held.
    void PutInFreeRingLocked(FrameWorkItem* entry);
    FrameWorkItem* EntryOf(const FrameWorkItem* item);
    void SetOwner(FrameWorkItem* entry, MappingOwner owner);
    // The generated frame's time and interval set, the entry queued (or back in the free ring).
    bool QueueStampedFrame(FrameWorkItem* entry, LONGLONG frameTime, ULONG interval);
    // Queues the entry for processing, or gives it back when the queue refuses it.
    void QueueForProcessing(FrameWorkItem* entry);
    bool IsManualTransition();
    // Shared by Shutdown and the destructor's fallback.
    void RemoveFromTableAndFreeFrames();
    // Control lock held: the stamp that replaces `stamp`, found behind the last one.
    ULONG CorrectStampBehind(ULONG stamp, ULONG step);

    LogicalStreamType m_type;
    StreamDeviceServices* m_services;
    StreamProcessorQueue* m_queue;
    NTSTATUS m_constructionStatus = STATUS_SUCCESS;
    LogicalStreamHandle m_handle{};
    ULONG m_streamId = 0;
    volatile LONG m_state = kStreamStateStop;
    bool m_shutDown = false;

    // Time-stamp bookkeeping (control lock).
    ULONG m_lastDelta = 0;
    ULONGLONG m_streamTime = 0;
    ULONGLONG m_sequenceCounter = 0; // the queue thread's
    ULONG m_firstDspTimeStamp = 0;
    ULONG m_bufferLength = 0;
    ULONG m_lastDspTimeStamp = 0;
    ULONG m_timeStampStep = 0;
    ULONG m_frameInterval = 0;
    ULONG m_shortestInterval = 0;
    ULONG m_longestInterval = 0;
    ULONG m_dspStreamHandle = 0; // control lock
    ULONG m_ticksPerMicrosecond = 0;
    ULONG m_bufferCount = 0;

    FrameProcessingSource m_source;
    KPLXFastLock m_controlLock;

    // The mapping table and the free ring, under the entry spin lock.
    FrameWorkItem* m_table = nullptr;
    RingBuffer m_freeRing;
    KSPIN_LOCK m_entryLock = 0;
};
