// TestSignalGenerator: the colour-bar and tone frame thread of a test stream.
#include "testsignalgenerator.h"

#include "frame.h"
#include "logicalstream.h"
#include "messages/Talvexon.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include "km/time.h"

TestSignalGenerator::TestSignalGenerator(LogicalStream* stream) : m_stream(stream)
{
    KeInitializeEvent(&m_testEvent, SynchronizationEvent, FALSE);
}

TestSignalGenerator::~TestSignalGenerator()
{
    Stop();
}

NTSTATUS TestSignalGenerator::Start()
{
    KPLXFastStackLock hold(&m_lock, this, "TestSignalGenerator::Start", __LINE__);
    if (m_thread.HoldsThread() && !m_thread.Finished())
        return STATUS_SUCCESS;
    m_stop.store(false);
    m_thread.Release();
    KeResetEvent(&m_testEvent);
    return m_thread.Start(&TestSignalGenerator::ThreadRoutine, this, kSystemThreadAllAccess);
}

void TestSignalGenerator::Stop()
{
    KPLXFastStackLock hold(&m_lock, this, "TestSignalGenerator::Stop", __LINE__);
    m_stop.store(true);
    if (!m_thread.HoldsThread())
        return;
    KeSetEvent(&m_testEvent, 0, FALSE);
    KeWaitForSingleObject(m_thread.ThreadObject(), Executive, KernelMode, FALSE, nullptr);
    m_thread.Release();
}

bool TestSignalGenerator::IsRunning()
{
    KPLXFastStackLock hold(&m_lock, this, "TestSignalGenerator::IsRunning", __LINE__);
    return m_thread.HoldsThread() && !m_thread.Finished();
}

void TestSignalGenerator::ThreadRoutine(PVOID context)
{
    static_cast<TestSignalGenerator*>(context)->Run();
}

void TestSignalGenerator::MakeFrame(ULONG counter)
{
    FrameWorkItem* entry = m_stream->TakeFreeHostEntry();
    if (entry == nullptr) {
        m_dropped.fetch_add(1);
        TRACE_STATUS(this, "TestSignalGenerator::Run", kTraceErrors, MSG_NO_EMPTY_FRAMES_AVAILABLE_PIN_ACCEPT,
                     "*** Frame Dropped... No empty %s frames available (pin %d)...****", m_stream->GetStreamName(), 0);
        return;
    }
    m_stream->FillBackupFrame(entry);
    Frame* frame = entry->frame;
    // A generated frame: pair-major tone blocks, one progressive picture field.
    frame->SetFlags(frame->GetFlags() | 1);
    frame->SetInputIdentifier(0);
    if (m_stream->GetStreamType() == LogicalStreamType::Video) {
        if (auto* video = dynamic_cast<VideoFrame*>(frame)) {
            video->SetActiveSize(0, video->GetWidth(), video->GetHeight());
            video->SetActiveSize(1, 0, 0);
        }
    }
    if (m_stream->QueueGeneratedFrame(entry, counter))
        m_queued.fetch_add(1);
}

void TestSignalGenerator::Run()
{
    const char* name = m_stream->GetStreamName();
    m_stream->InitBackupFrameGeneratorValues();
    LARGE_INTEGER due;
    KeQuerySystemTime(&due);
    m_firstDue.store(due.QuadPart);
    m_nextDue.store(due.QuadPart);
    TRACE_LINE(this, "TestSignalGenerator::Run", kTraceHighs, "%s Test signal generation has been activated.", name);
    ULONG counter = 0;
    while (!m_stop.load()) {
        const ULONG interval = m_stream->GetFrameInterval();
        if (m_stream->GetState() == kStreamStateRun) {
            MakeFrame(counter);
            counter += m_stream->GetTimeStampStep();
        }
        // The grid goes on outside Run too: a stream held in Pause waits, it does not spin.
        due.QuadPart += interval != 0 ? interval : kFallbackInterval;
        m_nextDue.store(due.QuadPart);
        m_rounds.fetch_add(1);
        KeWaitForSingleObject(&m_testEvent, Executive, KernelMode, FALSE, &due);
    }
    TRACE_LINE(this, "TestSignalGenerator::Run", kTraceHighs, "Stopped test %s signal frame generation.", name);
}
