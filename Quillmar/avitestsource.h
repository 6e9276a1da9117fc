// AviTestSource: plays the AVI test file in a loop into a video logical stream, with two threads.
// The file processor (AviFileProcessor) reads frames ahead into ten AVI buffers: it takes an
// empty record, reads the next frame of the file's frame list into it and puts it into the filled
// ring (file-ready event), and waits for the read-more event when the empty ring is drained. The
// frame generator (AviFrameGenerator) makes one host frame a frame interval while the stream is in
// Run: it takes a filled record and a free host frame, converts the AVI picture into the host frame
// laid at the AVI picture's size (UYVY and YUY2 through ImportPacked, I420 through AttachPlanar,
// 24-bit uncompressed through ImportRGB24, any other code leaving the frame as it is), gives the
// record back to the empty ring (read-more once 4 records are empty) and queues the frame stamped
// with the stream time.
//
// Every wait can end by a stop: the generator waits for file-ready or its test event, the
// processor for read-more, which Stop sets after the stop flags. A failed read returns its record
// to the empty ring and the processor tries again a frame interval later; a missing host frame
// drops the round with one event-log entry.
//
// The physical stream's StartTestStream and StopTestStream call Start and Stop in AVI mode.
#pragma once
#include "avitestfile.h"
#include "kernel/driverheap.h"
#include "kernel/ringbuffer.h"
#include "kernel/systemthread.h"
#include "kplxfastlock.h"
#include "km/spinlock.h"
#include "km/sync.h"
#include "km/types.h"

#include <atomic>

class LogicalStream;
struct FrameWorkItem;
class VideoFrame;

class AviTestSource : public DriverAllocated {
public:
    static constexpr ULONG kAviBufferCount = 10;
    // The generator wakes the file processor once this many records are empty.
    static constexpr ULONG kReadMoreThreshold = 4;

    // `file` has passed CheckForAviFile (AVI mode) and outlives the source.
    AviTestSource(LogicalStream* stream, AviTestFile* file);
    // Stops running threads.
    ~AviTestSource();
    AviTestSource(const AviTestSource&) = delete;
    AviTestSource& operator=(const AviTestSource&) = delete;

    // Both stop flags cleared, the frame generator and the file processor started. The first
    // failing start's status (the other thread is then stopped again).
    NTSTATUS Start();
    // Generator stop, test event, the generator awaited; processor stop, read-more event, the
    // processor awaited; both released and the AVI buffers freed. Without time-outs.
    void Stop();

    bool IsRunning();
    // For the reports and the tests.
    ULONG GetFramesQueued() const { return m_queued.load(); }
    ULONG GetFramesDropped() const { return m_dropped.load(); }
    ULONG GetReadFailures() const { return m_readFailures.load(); }
    ULONG GetFramesRead() const { return m_framesRead.load(); }
    ULONG GetEmptyCount();
    ULONG GetFilledCount();

private:
    struct AviRecord {
        VideoFrame* frame; // the AVI buffer, with the picture's field sizes
        ULONG frameIndex;  // of the file's frame list
    };

    static void ProcessorRoutine(PVOID context);
    static void GeneratorRoutine(PVOID context);
    void AviFileProcessor();
    void AviFrameGenerator();
    // Makes the ten AVI buffers and puts them into the empty ring; the number made.
    ULONG MakeAviBuffers();
    void FreeAviBuffers();
    // Both rings emptied, each under its lock (the counts are read from other threads).
    void ResetRings();
    bool TakeRecord(RingBuffer* ring, KSPIN_LOCK* lock, ULONG* index);
    static ULONG CountRecords(RingBuffer* ring, KSPIN_LOCK* lock);
    // The ring's count after the record went in.
    ULONG PutRecord(RingBuffer* ring, KSPIN_LOCK* lock, ULONG index);
    // Bottom-up is what ImportRGB24 reads: a top-down picture's rows are turned over in place.
    void FlipRows(PUCHAR picture, PUCHAR row);
    // One record's picture into the taken host frame, which is queued (or given back when it
    // cannot hold the picture).
    void Deliver(FrameWorkItem* entry, ULONG record);
    ULONG Interval();

    LogicalStream* m_stream;
    AviTestFile* m_file;
    KPLXFastLock m_lock; // Start against Stop
    SystemThread m_generatorThread;
    SystemThread m_processorThread;
    KEVENT m_testEvent{};
    KEVENT m_fileReadyEvent{};
    KEVENT m_readMoreEvent{};
    std::atomic<bool> m_generatorStop{false};
    std::atomic<bool> m_processorStop{false};

    AviRecord m_records[kAviBufferCount] = {};
    RingBuffer m_emptyRing;
    RingBuffer m_filledRing;
    KSPIN_LOCK m_emptyLock = 0;
    KSPIN_LOCK m_filledLock = 0;

    std::atomic<ULONG> m_queued{0};
    std::atomic<ULONG> m_dropped{0};
    std::atomic<ULONG> m_readFailures{0};
    std::atomic<ULONG> m_framesRead{0};
};
