// TestSignalGenerator: the thread that makes the colour-bar and tone frames of a stream whose
// input is the test input (or that runs without the board). It works through the logical stream's
// generator side: at every due time, while the stream is in Run, it takes a free host frame, lets
// the physical stream fill it (FillBackupFrame: the bars, a flat colour or the tone), stamps it
// with ComputeTimeStamp(counter, step, generated) and queues it for processing; with no free host
// frame the frame is dropped with one event-log entry. The due times lie on a grid of the stream's
// frame interval from the start, in Run or not, and the thread waits for its test event with the
// next one as absolute time-out, so a stop ends the wait at once.
//
// The physical stream's StartTestStream and StopTestStream call Start and Stop.
#pragma once
#include "kernel/driverheap.h"
#include "kernel/systemthread.h"
#include "kplxfastlock.h"
#include "km/sync.h"
#include "km/types.h"

#include <atomic>

class LogicalStream;

class TestSignalGenerator : public DriverAllocated {
public:
    // The grid's spacing while the stream has no frame interval (100-ns units: 1/30 s).
    static constexpr ULONG kFallbackInterval = 333'333;

    explicit TestSignalGenerator(LogicalStream* stream);
    // Stops a running thread.
    ~TestSignalGenerator();
    TestSignalGenerator(const TestSignalGenerator&) = delete;
    TestSignalGenerator& operator=(const TestSignalGenerator&) = delete;

    // Stop flag cleared, an old thread object released, the thread started; the start's status.
    // A generator already running is left alone (success).
    NTSTATUS Start();
    // Stop flag set, test event set, the thread awaited without time-out and released. Nothing
    // when no thread runs.
    void Stop();

    bool IsRunning();
    // For the reports and the tests: rounds made (due times passed), frames queued, frames
    // dropped for want of a free host frame, the first due time and the one after the last round.
    ULONG GetRounds() const { return m_rounds.load(); }
    ULONG GetFramesQueued() const { return m_queued.load(); }
    ULONG GetFramesDropped() const { return m_dropped.load(); }
    LONGLONG GetFirstDueTime() const { return m_firstDue.load(); }
    LONGLONG GetNextDueTime() const { return m_nextDue.load(); }

private:
    static void ThreadRoutine(PVOID context);
    void Run();
    // One round in Run: a frame made and queued, or the drop logged.
    void MakeFrame(ULONG counter);

    LogicalStream* m_stream;
    KPLXFastLock m_lock; // Start against Stop
    SystemThread m_thread;
    KEVENT m_testEvent{};
    std::atomic<bool> m_stop{false};
    std::atomic<ULONG> m_rounds{0};
    std::atomic<ULONG> m_queued{0};
    std::atomic<ULONG> m_dropped{0};
    std::atomic<LONGLONG> m_firstDue{0};
    std::atomic<LONGLONG> m_nextDue{0};
};
