// LogicalStream: construction and destruction, the mapping table with its owner states and the
// free ring, the filled-buffer path, time stamps, the merge and removal of chains, the six
// transitions and the generator side.
#include "logicalstream.h"

#include "algorithm.h"
#include "algorithmlist.h"
#include "commandhandler.h"
#include "driver.h"
#include "frame.h"
#include "kernel/poolallocation.h"
#include "km/kernel.h"
#include "km/pool.h"
#include "km/time.h"
#include "messages/Talvexon.h"
#include "roundtoint.h"
#include "streamdeviceservices.h"
#include "streamprocessorqueue.h"
#include "tracelogger.h"
#include "km/irp.h"
#include "tracescope.h"

#include <cstring>
#include <new>

namespace {

ULONG ClampedBufferCount(LogicalStreamType type, StreamDeviceServices* services)
{
    Driver* driver = services != nullptr ? services->GetDriver() : nullptr;
    ULONG count = 9;
    if (driver != nullptr)
        count = type == LogicalStreamType::Audio ? driver->GetAudioDMABuffers() : driver->GetVideoDMABuffers();
    if (count < LogicalStream::kMinimumBufferCount)
        return LogicalStream::kMinimumBufferCount;
    if (count > LogicalStream::kMaximumBufferCount)
        return LogicalStream::kMaximumBufferCount;
    return count;
}

ULONG ReadAreaWord(const UCHAR* area, ULONG offset)
{
    ULONG value;
    memcpy(&value, area + offset, sizeof(value));
    return value;
}

} // namespace

LogicalStream::LogicalStream(LogicalStreamType type, StreamDeviceServices* services, StreamProcessorQueue* queue,
                             ULONG maximumQueuedFrames)
    : m_type(type),
      m_services(services),
      m_queue(queue),
      m_bufferCount(ClampedBufferCount(type, services)),
      m_source(this),
      m_freeRing(sizeof(ULONG), 2 * m_bufferCount, NonPagedPool)
{
    TRACE_SCOPE(this, "LogicalStream::LogicalStream", kTraceLowEnter,
                "eKplxStreamType=%d, pDevice=0x%08p, pStreamProcessorQueue=0x%08p, nMaxQueuedFrames=%d, kIrql=%d",
                static_cast<int>(type), static_cast<void*>(services), static_cast<void*>(queue),
                static_cast<int>(maximumQueuedFrames), static_cast<int>(KeGetCurrentIrql()));
    KeInitializeSpinLock(&m_entryLock);
    for (PKEVENT event : {&m_inputStateChangedEvent, &m_controlTerminateEvent, &m_controlExitedEvent,
                          &m_generatorTerminateEvent, &m_generatorStopEvent, &m_generatorStartEvent,
                          &m_generatorExitedEvent, &m_generatorStoppedEvent, &m_generatorStartedEvent})
        KeInitializeEvent(event, SynchronizationEvent, FALSE);
    if (services == nullptr) {
        m_constructionStatus = STATUS_INVALID_PARAMETER;
        return;
    }
    const ULONG clockRate = services->GetDspClockRate();
    if (clockRate < kMinimumDspClockRate) {
        // Ticks per microsecond would be 0, and no time stamp could be converted.
        TRACE_LINE(this, "LogicalStream::LogicalStream", kTraceErrors,
                   "%s stream refused: a DSP clock rate of %u Hz is below %u Hz", GetStreamName(),
                   static_cast<unsigned>(clockRate), static_cast<unsigned>(kMinimumDspClockRate));
        m_constructionStatus = STATUS_UNSUCCESSFUL;
        return;
    }
    const ULONG tableSize = GetTableSize();
    m_table = static_cast<FrameWorkItem*>(DriverAllocateNoRaise(sizeof(FrameWorkItem) * tableSize));
    if (m_table == nullptr || !m_freeRing.IsValid()) {
        m_constructionStatus = STATUS_INSUFFICIENT_RESOURCES;
        return;
    }
    m_handle = services->GetLogicalStreamTable()->Insert(this);
    if (m_handle.IsNull()) {
        m_constructionStatus = STATUS_INSUFFICIENT_RESOURCES;
        return;
    }
    for (ULONG i = 0; i < tableSize; ++i) {
        FrameWorkItem& entry = m_table[i];
        memset(&entry, 0, sizeof(entry));
        entry.owner = this;
        entry.self = &entry;
        entry.ownerState = static_cast<UCHAR>(MappingOwner::Idle);
        entry.ownerGeneration = m_handle.Generation();
    }
}

void LogicalStream::Publish()
{
    if (NT_SUCCESS(m_constructionStatus) && !m_handle.IsNull())
        m_services->GetLogicalStreamTable()->Publish(m_handle);
}

LogicalStream::~LogicalStream()
{
    TRACE_SCOPE(this, "LogicalStream::~LogicalStream", kTraceLowEnter);
    if (!m_shutDown) {
        // The derived part is gone already: nothing of it may be called. What needs no derived
        // operation still runs, so that nothing reaches freed memory.
        TRACE_LINE(this, "LogicalStream::~LogicalStream", kTraceWarnings,
                   "%s stream destroyed without its shutdown: threads and DSP stream left as they were",
                   GetStreamName());
        m_shutDown = true;
        RemoveFromTableAndFreeFrames();
    }
    FreeInputStateRecords();
    DriverFree(m_table);
    m_table = nullptr;
    // The source's destructor destroys the steps left in the tree; sinks stay their pins'.
}

void LogicalStream::Shutdown()
{
    TRACE_SCOPE(this, "LogicalStream::Shutdown", kTraceLowEnter);
    if (m_shutDown)
        return;
    m_shutDown = true;
    TerminateStreamControlThread();
    TerminateBackupFrameGenerator();
    if (GetState() == kStreamStateRun)
        StreamFromRunToPause();
    if (GetState() == kStreamStatePause)
        StreamFromPauseToAcquire();
    if (GetState() == kStreamStateAcquire)
        StreamFromAcquireToStop();
    RemoveFromTableAndFreeFrames();
    FreeInputStateRecords();
}

void LogicalStream::RemoveFromTableAndFreeFrames()
{
    if (!m_handle.IsNull()) {
        LogicalStreamTable* table = m_services->GetLogicalStreamTable();
        // Stale from here on: no new completion or work item reaches the stream.
        table->Revoke(m_handle);
        if (m_queue != nullptr)
            m_queue->PurgeWorkItems(m_handle);
        // The completion or work item being handled now finishes first.
        table->AwaitRundown(m_handle);
    }
    ReleaseStreamFrames();
}

// ---- state and flags -----------------------------------------------------------------------------

LONG LogicalStream::GetState() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_state), 0, 0);
}

void LogicalStream::SetState(LONG state)
{
    InterlockedExchange(&m_state, state);
}

bool LogicalStream::IsManualTransition()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::IsManualTransition", __LINE__);
    return m_flags.manualTransition != 0;
}

bool LogicalStream::IsRestartNeeded()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::IsRestartNeeded", __LINE__);
    return m_flags.restartNeeded != 0;
}

ULONG LogicalStream::GetDspStreamHandle()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetDspStreamHandle", __LINE__);
    return m_dspStreamHandle;
}

bool LogicalStream::IsDspStreamCreated()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::IsDspStreamCreated", __LINE__);
    return m_flags.dspStreamCreated != 0;
}

bool LogicalStream::IsProcessingEnabled()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::IsProcessingEnabled", __LINE__);
    return m_flags.processingEnabled != 0;
}

bool LogicalStream::IsGeneratorRunning()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::IsGeneratorRunning", __LINE__);
    return m_flags.generatorRunning != 0;
}

bool LogicalStream::IsFirstTimeStampPending()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::IsFirstTimeStampPending", __LINE__);
    return m_flags.firstTimeStampPending != 0;
}

ULONG LogicalStream::GetFrameInterval()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetFrameInterval", __LINE__);
    return m_frameInterval;
}

ULONG LogicalStream::GetTimeStampStep()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetTimeStampStep", __LINE__);
    return m_timeStampStep;
}

ULONG LogicalStream::GetStartupCounter()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetStartupCounter", __LINE__);
    return m_startupCounter;
}

ULONG LogicalStream::GetMinimumInterval()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetMinimumInterval", __LINE__);
    return m_shortestInterval;
}

ULONG LogicalStream::GetMaximumInterval()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetMaximumInterval", __LINE__);
    return m_longestInterval;
}

ULONG LogicalStream::GetTicksPerMicrosecond()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetTicksPerMicrosecond", __LINE__);
    return m_ticksPerMicrosecond;
}

ULONGLONG LogicalStream::GetStreamTime()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetStreamTime", __LINE__);
    return m_streamTime;
}

void LogicalStream::SetTiming(ULONG step, ULONG interval)
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::SetTiming", __LINE__);
    m_timeStampStep = step;
    m_frameInterval = interval;
    // The window the next run measures again at its first stamp.
    const ULONG tolerance = static_cast<ULONG>(RoundToInt(static_cast<double>(interval) * kIntervalTolerance));
    m_shortestInterval = interval - tolerance;
    m_longestInterval = interval + tolerance;
}

// ---- the mapping table -----------------------------------------------------------------------

FrameWorkItem* LogicalStream::GetEntry(ULONG index)
{
    return m_table != nullptr && index < GetTableSize() ? &m_table[index] : nullptr;
}

MappingOwner LogicalStream::GetEntryOwner(ULONG index)
{
    FrameWorkItem* entry = GetEntry(index);
    if (entry == nullptr)
        return MappingOwner::Idle;
    KIRQL irql;
    KeAcquireSpinLock(&m_entryLock, &irql);
    const auto owner = static_cast<MappingOwner>(entry->ownerState);
    KeReleaseSpinLock(&m_entryLock, irql);
    return owner;
}

ULONG LogicalStream::CountEntriesOwnedBy(MappingOwner owner)
{
    if (m_table == nullptr)
        return 0;
    ULONG count = 0;
    KIRQL irql;
    KeAcquireSpinLock(&m_entryLock, &irql);
    for (ULONG i = 0; i < GetTableSize(); ++i)
        count += m_table[i].frame != nullptr && static_cast<MappingOwner>(m_table[i].ownerState) == owner ? 1 : 0;
    KeReleaseSpinLock(&m_entryLock, irql);
    return count;
}

ULONG LogicalStream::GetFreeRingCount()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_entryLock, &irql);
    const ULONG count = m_freeRing.Count();
    KeReleaseSpinLock(&m_entryLock, irql);
    return count;
}

void LogicalStream::SetOwner(FrameWorkItem* entry, MappingOwner owner)
{
    KIRQL irql;
    KeAcquireSpinLock(&m_entryLock, &irql);
    entry->ownerState = static_cast<UCHAR>(owner);
    if (owner != MappingOwner::WithDsp) {
        entry->withDsp = 0;
        entry->reserved[kQueueTagWord] = 0;
    }
    KeReleaseSpinLock(&m_entryLock, irql);
}

void LogicalStream::PutInFreeRingLocked(FrameWorkItem* entry)
{
    if (static_cast<MappingOwner>(entry->ownerState) == MappingOwner::FreeRing)
        return; // already there: never twice
    const ULONG index = static_cast<ULONG>(entry - m_table);
    if (m_freeRing.Write(&index, 1) == 1) {
        entry->ownerState = static_cast<UCHAR>(MappingOwner::FreeRing);
    } else {
        // Cannot happen with a ring as large as the table; the entry is then kept idle.
        entry->ownerState = static_cast<UCHAR>(MappingOwner::Idle);
    }
}

FrameWorkItem* LogicalStream::EntryOf(const FrameWorkItem* item)
{
    if (item == nullptr || m_table == nullptr)
        return nullptr;
    for (ULONG i = 0; i < GetTableSize(); ++i)
        if (&m_table[i] == item->self)
            return &m_table[i];
    return nullptr;
}

void LogicalStream::SetEntryFrame(ULONG index, Frame* frame, PVOID virtualAddress, ULONGLONG physicalAddress)
{
    FrameWorkItem* entry = GetEntry(index);
    if (entry == nullptr)
        return;
    KIRQL irql;
    KeAcquireSpinLock(&m_entryLock, &irql);
    entry->frame = frame;
    entry->virtualAddress = virtualAddress;
    entry->physicalAddress = physicalAddress;
    entry->withDsp = 0;
    entry->ownerState = static_cast<UCHAR>(MappingOwner::Idle);
    if (frame != nullptr && physicalAddress == 0) {
        frame->SetHostFrame(true);
        PutInFreeRingLocked(entry);
    }
    KeReleaseSpinLock(&m_entryLock, irql);
}

PVOID LogicalStream::AllocateDmaBufferForEntry(ULONGLONG* physicalAddress)
{
    *physicalAddress = 0;
    CommandHandler* handler = m_services->AllocateCommandHandler();
    if (handler == nullptr)
        return nullptr;
    PHYSICAL_ADDRESS bus{};
    PVOID buffer = handler->AllocateDmaMemory(m_bufferLength, &bus);
    m_services->FreeCommandHandler(handler);
    if (buffer != nullptr)
        *physicalAddress = static_cast<ULONGLONG>(bus.QuadPart);
    return buffer;
}

PVOID LogicalStream::AllocateHostBuffer()
{
    return ExAllocatePoolWithTag(PagedPool, m_bufferLength, kDriverPoolTag);
}

void LogicalStream::AllocateStreamFrames()
{
    TRACE_SCOPE(this, "LogicalStream::AllocateStreamFrames", kTraceLowEnter);
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::AllocateStreamFrames", __LINE__);
        m_flags.framesAllocated = 0;
    }
    if (!NT_SUCCESS(m_constructionStatus))
        return;
    const bool dsp = UsesDsp();
    for (ULONG i = 0; i < m_bufferCount; ++i) {
        // A failure is reported by the allocation; the stream runs with fewer frames.
        if (dsp)
            AllocateDSPFrame(i);
        else
            AllocateHostFrame(i);
    }
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::AllocateStreamFrames", __LINE__);
    m_flags.framesAllocated = 1;
}

NTSTATUS LogicalStream::PrepareBackupFrameGenerator(SystemThread::Routine generator)
{
    TRACE_SCOPE(this, "LogicalStream::PrepareBackupFrameGenerator", kTraceLowEnter);
    if (!NT_SUCCESS(m_constructionStatus))
        return m_constructionStatus;
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG i = m_bufferCount; i < GetTableSize(); ++i) {
        const NTSTATUS status = AllocateHostFrame(i);
        if (!NT_SUCCESS(status))
            result = status;
    }
    if (generator != nullptr) {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::PrepareBackupFrameGenerator", __LINE__);
        const NTSTATUS status = m_generatorThread.Start(generator, this, kSystemThreadAllAccess);
        if (!NT_SUCCESS(status))
            result = status;
    }
    return result;
}

void LogicalStream::ReleaseStreamFrames()
{
    TRACE_SCOPE(this, "LogicalStream::ReleaseStreamFrames", kTraceLowEnter);
    if (m_table == nullptr)
        return;
    for (ULONG i = 0; i < GetTableSize(); ++i) {
        FrameWorkItem& entry = m_table[i];
        if (entry.frame == nullptr && entry.virtualAddress == nullptr)
            continue;
        if (entry.physicalAddress != 0) {
            // Kept by the device for a while before it is released, so a late DMA lands in
            // memory that is still the device's.
            CommandHandler* handler = m_services->AllocateCommandHandler();
            if (handler != nullptr) {
                PHYSICAL_ADDRESS bus;
                bus.QuadPart = static_cast<LONGLONG>(entry.physicalAddress);
                handler->FreeDmaMemory(m_bufferLength, bus, entry.virtualAddress);
                m_services->FreeCommandHandler(handler);
            }
        } else if (entry.virtualAddress != nullptr) {
            if (entry.frame != nullptr)
                entry.frame->DetachBuffer();
            ExFreePool(entry.virtualAddress);
        }
        if (entry.frame != nullptr && entry.physicalAddress != 0)
            entry.frame->DetachBuffer();
        delete entry.frame;
        const FrameWorkItem* self = entry.self;
        memset(&entry, 0, sizeof(entry));
        entry.owner = this;
        entry.self = const_cast<FrameWorkItem*>(self);
    }
    KIRQL irql;
    KeAcquireSpinLock(&m_entryLock, &irql);
    m_freeRing.Reset();
    KeReleaseSpinLock(&m_entryLock, irql);
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::ReleaseStreamFrames", __LINE__);
    m_flags.framesAllocated = 0;
}

NTSTATUS LogicalStream::QueueWorkItem(FrameWorkItem* entry)
{
    if (entry == nullptr)
        return STATUS_INVALID_PARAMETER;
    if (entry->frame != nullptr)
        entry->frame->ClearFlags(kFrameFlagsClearedOnReturn);
    if (entry->physicalAddress == 0) {
        // A host frame: back into the free ring.
        KIRQL irql;
        KeAcquireSpinLock(&m_entryLock, &irql);
        entry->withDsp = 0;
        PutInFreeRingLocked(entry);
        KeReleaseSpinLock(&m_entryLock, irql);
        return STATUS_SUCCESS;
    }
    ULONG dspHandle = 0;
    bool created = false;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::QueueWorkItem", __LINE__);
        created = m_flags.dspStreamCreated != 0;
        dspHandle = m_dspStreamHandle;
    }
    if (GetState() < kStreamStateAcquire || !created) {
        // Nobody to give it to: it waits, idle, for the next start.
        SetOwner(entry, MappingOwner::Idle);
        return STATUS_SUCCESS;
    }
    CommandHandler* handler = m_services->AllocateCommandHandler();
    if (handler == nullptr) {
        TRACE_LINE(this, "LogicalStream::QueueWorkItem", kTraceErrors,
                   "No command record to queue a %s buffer: it stays idle", GetStreamName());
        SetOwner(entry, MappingOwner::Idle);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // With the DSP before the send: its answer may come before the send returns. The record's tag
    // is the buffer's: only this record's answer gives it back.
    {
        KIRQL irql;
        KeAcquireSpinLock(&m_entryLock, &irql);
        entry->withDsp = 1;
        entry->ownerState = static_cast<UCHAR>(MappingOwner::WithDsp);
        entry->reserved[kQueueTagWord] = handler->GetHostTag();
        KeReleaseSpinLock(&m_entryLock, irql);
    }
    const NTSTATUS status = handler->QueueCaptureBufferToDsp(m_handle, dspHandle,
                                                             static_cast<ULONG>(entry->physicalAddress), m_bufferLength);
    if (!NT_SUCCESS(status)) {
        // Refused before it reached the DSP: no answer will come, the record is still ours.
        SetOwner(entry, MappingOwner::Idle);
        m_services->FreeCommandHandler(handler);
    }
    return status;
}

NTSTATUS LogicalStream::AddMapping(FrameWorkItem* entry)
{
    return QueueWorkItem(entry);
}

void LogicalStream::ReturnDMABuffer(FrameWorkItem* item)
{
    FrameWorkItem* entry = EntryOf(item);
    if (entry == nullptr)
        return;
    AddMapping(entry);
}

void LogicalStream::ReturnPurgedWorkItem(ULONG index)
{
    FrameWorkItem* entry = GetEntry(index);
    if (entry == nullptr)
        return;
    AddMapping(entry);
}

void LogicalStream::QueueForProcessing(FrameWorkItem* entry)
{
    SetOwner(entry, MappingOwner::Queued);
    const ULONG index = static_cast<ULONG>(entry - m_table);
    if (m_queue == nullptr || !m_queue->OnFrameReady(m_handle, index, GetStreamName()))
        AddMapping(entry); // the queue is full: the buffer goes back to its owner at once
}

NTSTATUS LogicalStream::Process(ULONG index)
{
    FrameWorkItem* entry = GetEntry(index);
    if (entry == nullptr || entry->frame == nullptr)
        return STATUS_SUCCESS;
    {
        KIRQL irql;
        KeAcquireSpinLock(&m_entryLock, &irql);
        const bool queued = static_cast<MappingOwner>(entry->ownerState) == MappingOwner::Queued;
        if (queued)
            entry->ownerState = static_cast<UCHAR>(MappingOwner::Processing);
        KeReleaseSpinLock(&m_entryLock, irql);
        if (!queued)
            return STATUS_SUCCESS; // given back already (purged): not ours to run
    }
    if (GetState() < kStreamStatePause) {
        AddMapping(entry);
        return STATUS_SUCCESS;
    }
    entry->frame->SetSequenceNumber(m_sequenceCounter++);
    // The source gives the buffer back exactly once (ReturnDMABuffer).
    m_source.Process(entry);
    return STATUS_SUCCESS;
}

// ---- the filled-buffer path ------------------------------------------------------------------

void LogicalStream::OnFrameReady(CommandHandler* handler)
{
    TRACE_SCOPE(this, "LogicalStream::OnFrameReady", kTraceHighEnter);
    if (handler == nullptr)
        return;
    // The bus address the record queued (its own command area, not the DSP's echo).
    const ULONG busAddress = ReadAreaWord(handler->CommandArea(), CommandHandler::kPayloadOffset);
    FrameWorkItem* entry = nullptr;
    for (ULONG i = 0; m_table != nullptr && i < m_bufferCount; ++i)
        if (m_table[i].frame != nullptr && m_table[i].physicalAddress != 0 &&
            static_cast<ULONG>(m_table[i].physicalAddress) == busAddress) {
            entry = &m_table[i];
            break;
        }
    bool withDsp = false;
    if (entry != nullptr) {
        KIRQL irql;
        KeAcquireSpinLock(&m_entryLock, &irql);
        // The answer of the record that queued the buffer this time: an earlier record's late answer
        // (of a DSP stream taken down since) must not take a buffer queued again meanwhile.
        withDsp = static_cast<MappingOwner>(entry->ownerState) == MappingOwner::WithDsp &&
                  entry->reserved[kQueueTagWord] == handler->GetHostTag();
        KeReleaseSpinLock(&m_entryLock, irql);
    }
    if (entry == nullptr || !withDsp) {
        TRACE_LINE(this, "LogicalStream::OnFrameReady", kTraceWarnings,
                   "%s buffer answer for bus address 0x%08x that no buffer with the DSP has: ignored",
                   GetStreamName(), busAddress);
        m_services->FreeCommandHandler(handler);
        return;
    }
    const ULONG completion = handler->GetDspResult();
    bool created;
    bool answersAgain = false;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::OnFrameReady", __LINE__);
        created = m_flags.dspStreamCreated != 0;
        if (created && !handler->IsKilled()) {
            LARGE_INTEGER now;
            KeQuerySystemTime(&now);
            m_lastDspAnswerTime = now.QuadPart;
            answersAgain = m_flags.dspSilent != 0;
            m_flags.dspSilent = 0;
        }
    }
    if (answersAgain)
        TRACE_LINE(this, "LogicalStream::OnFrameReady", kTraceWarnings,
                   "The DSP answers the %s stream again", GetStreamName());
    if (handler->IsKilled() || !created) {
        // Its DSP stream is gone or going: the buffer is back, nothing more.
        SetOwner(entry, MappingOwner::Idle);
    } else if (completion != CommandHandler::kDspResultSuccess || GetState() != kStreamStateRun) {
        AddMapping(entry);
    } else {
        bool process = true;
        bool stopGenerator = false;
        ULONG step;
        ULONG interval;
        {
            KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::OnFrameReady", __LINE__);
            step = m_timeStampStep;
            interval = m_frameInterval;
            if (m_flags.generatorRunning) {
                if (m_flags.manualTransition) {
                    process = false;
                } else if (++m_startupCounter < kStartupFrames) {
                    process = false;
                } else {
                    // The second real frame: the generator hands over to it. Nothing waits on
                    // this thread: the generator acknowledges the stop on its own.
                    m_flags.processingEnabled = 1;
                    m_flags.generatorRunning = 0;
                    m_flags.restartPending = 0;
                    stopGenerator = true;
                    // Set under the lock: a start that sees the generator idle sets its event
                    // after this one, and the generator takes the stop first.
                    KeSetEvent(&m_generatorStopEvent, IO_NO_INCREMENT, FALSE);
                }
            }
            if (process && !m_flags.processingEnabled)
                process = false;
        }
        if (stopGenerator)
            TRACE_LINE(this, "LogicalStream::OnFrameReady", kTraceHighs,
                       "%s stream: the second real frame after the restart stops the backup frames", GetStreamName());
        if (process && !ReconditionFrame(entry, handler)) {
            TRACE_LINE(this, "LogicalStream::OnFrameReady", kTraceWarnings,
                       "%s buffer with a geometry it cannot hold: recycled", GetStreamName());
            process = false;
        }
        if (process) {
            const ULONG timeStamp = ReadAreaWord(handler->ResponseArea(), kResponseTimeStampOffset);
            entry->frame->SetFrameNumber(static_cast<LONGLONG>(ComputeTimeStamp(timeStamp, step, true)));
            entry->frame->SetFrameInterval(interval);
            QueueForProcessing(entry);
        } else {
            AddMapping(entry);
        }
    }
    m_services->FreeCommandHandler(handler);
}

// A stamp behind the last one is no wrap of the counter (that would be 2^32 ticks, 47.7 s at 90 MHz):
// the DSP answered a buffer with an old stamp. It counts as one step after the last.
ULONG LogicalStream::CorrectStampBehind(ULONG stamp, ULONG step)
{
    const ULONG corrected = m_lastDspTimeStamp + step;
    TRACE_LINE(this, "LogicalStream::ComputeTimeStamp", kTraceWarnings,
               "%s DSP time stamp %u is %u ticks behind the last one (%u): taken as %u", GetStreamName(), stamp,
               m_lastDspTimeStamp - stamp, m_lastDspTimeStamp, corrected);
    return corrected;
}

ULONGLONG LogicalStream::ComputeTimeStamp(ULONG timeStamp, ULONG step, bool real)
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::ComputeTimeStamp", __LINE__);
    ULONG stamp = timeStamp;
    const UCHAR source = real ? 1 : 0;
    if (m_flags.firstTimeStampPending) {
        m_ticksPerMicrosecond = static_cast<ULONG>(static_cast<ULONGLONG>(m_services->GetDspClockRate()) * 10 / 10'000'000);
        m_flags.firstTimeStampPending = 0;
        m_firstDspTimeStamp = stamp;
        const ULONG tolerance = static_cast<ULONG>(RoundToInt(static_cast<double>(m_frameInterval) * kIntervalTolerance));
        m_shortestInterval = m_frameInterval - tolerance;
        m_longestInterval = m_frameInterval + tolerance;
        TRACE_LINE(this, "LogicalStream::ComputeTimeStamp", kTraceLows, "%s stream. Min interval=%u, Max interval=%u",
                   GetStreamName(), m_shortestInterval, m_longestInterval);
        if (source != m_flags.timeStampSourceReal && m_streamTime != 0 && m_ticksPerMicrosecond != 0) {
            if (IsStampBehind(stamp, m_lastDspTimeStamp))
                stamp = CorrectStampBehind(stamp, step);
            ULONG delta = stamp - m_lastDspTimeStamp;
            if (stamp < m_lastDspTimeStamp)
                delta -= 1;
            m_streamTime += static_cast<ULONGLONG>(delta) * 10 / m_ticksPerMicrosecond;
        }
        m_flags.timeStampSourceReal = source;
        m_lastDelta = step;
    } else {
        ULONG delta;
        if (source == m_flags.timeStampSourceReal) {
            if (stamp == m_lastDspTimeStamp)
                stamp += step; // a repeated stamp counts as one step later
            else if (IsStampBehind(stamp, m_lastDspTimeStamp))
                stamp = CorrectStampBehind(stamp, step);
            delta = stamp - m_lastDspTimeStamp;
            if (stamp < m_lastDspTimeStamp)
                delta -= 1; // past the top of the counter
        } else {
            m_flags.timeStampSourceReal = source;
            delta = step;
        }
        // The construction refused clocks that would make this 0.
        const ULONGLONG elapsed =
            m_ticksPerMicrosecond != 0 ? static_cast<ULONGLONG>(delta) * 10 / m_ticksPerMicrosecond : m_frameInterval;
        if (elapsed < m_shortestInterval || elapsed > m_longestInterval) {
            TRACE_LINE(this, "LogicalStream::ComputeTimeStamp", kTraceLows,
                       "DSP has dropped a %s frame. Expected interval=%u, delta interval=%u, min interval=%u, max "
                       "interval=%u",
                       GetStreamName(), m_frameInterval, static_cast<unsigned>(elapsed), m_shortestInterval,
                       m_longestInterval);
            m_streamTime += elapsed;
        } else {
            m_streamTime += m_frameInterval;
        }
        m_lastDelta = delta;
    }
    m_lastDspTimeStamp = stamp;
    TRACE_LINE(this, "LogicalStream::ComputeTimeStamp", kTraceLows, "%s SRT=%I64u, DT=%u, Int=%u, DSP=%u, HF=%d",
               GetStreamName(), m_streamTime, m_lastDelta, m_frameInterval, stamp, real ? 0 : 1);
    if (real) {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        m_lastRealFrameTime = now.QuadPart;
    }
    return m_streamTime;
}

// ---- the tree ----------------------------------------------------------------------------------

NTSTATUS LogicalStream::AddAlgorithmChain(AlgorithmList* list)
{
    TRACE_SCOPE(this, "LogicalStream::AddAlgorithmChain", kTraceLowEnter);
    if (list == nullptr || list->IsEmpty()) {
        TRACE_STATUS(this, "LogicalStream::AddAlgorithmChain", kTraceErrors,
                     MSG_NO_ALGORITHMS_INCLUDED_LIST_PASSED_LOGICALSTREAM, "No algorithms included in list passed in.");
        return MSG_NO_ALGORITHMS_INCLUDED_LIST_PASSED_LOGICALSTREAM;
    }
    KPLXFastStackLock hold(m_source.GetProcessingLock(), this, "LogicalStream::AddAlgorithmChain", __LINE__);
    // A new chain starts the caption detection of the VBI separator anew.
    if (Algorithm* separator = m_source.FindAlgorithmWithId(kAlgorithmIdSeparateFrame))
        separator->ResetDetectionState();

    if (!list->MergeInto(&m_source)) {
        TRACE_LINE(this, "LogicalStream::AddAlgorithmChain", kTraceErrors,
                   "A %s processing step has no room for another child: the chain is not added", GetStreamName());
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return STATUS_SUCCESS;
}

NTSTATUS LogicalStream::RemoveFrameSink(Algorithm* sink)
{
    TRACE_SCOPE(this, "LogicalStream::RemoveFrameSink", kTraceLowEnter, "pSink=0x%p", static_cast<void*>(sink));
    if (sink == nullptr || sink->GetAlgorithmId() != kAlgorithmIdProcessingSink)
        return STATUS_UNSUCCESSFUL;
    KPLXFastStackLock hold(m_source.GetProcessingLock(), this, "LogicalStream::RemoveFrameSink", __LINE__);
    Algorithm* parent = sink->GetParent();
    if (parent == nullptr)
        return STATUS_SUCCESS; // not in a tree
    if (sink->GetRoot() != &m_source)
        return STATUS_UNSUCCESSFUL; // another stream's
    sink->ClearModifiedUpward();
    sink->Disconnect();
    Algorithm* node = parent;
    while (node != nullptr && node->GetAlgorithmId() != kAlgorithmIdProcessingSource && node->GetChildCount() == 0) {
        Algorithm* above = node->GetParent();
        node->Disconnect();
        delete node;
        node = above;
    }
    return STATUS_SUCCESS;
}

// ---- the transitions -----------------------------------------------------------------------------

NTSTATUS LogicalStream::StreamFromStopToAcquire()
{
    TRACE_SCOPE(this, "LogicalStream::StreamFromStopToAcquire", kTraceLowEnter);
    if (!NT_SUCCESS(m_constructionStatus))
        return m_constructionStatus;
    bool manual;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromStopToAcquire", __LINE__);
        if (!m_flags.framesAllocated)
            return STATUS_NO_MEMORY;
        manual = m_flags.manualTransition != 0;
    }
    const bool dsp = UsesDsp();
    bool created = false;
    if (!dsp) {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromStopToAcquire", __LINE__);
        m_dspStreamHandle = 0;
        m_flags.dspStreamCreated = 0;
    } else {
        DspStreamSettings settings{};
        GetStreamSettings(&settings);
        CommandHandler* handler = m_services->AllocateCommandHandler();
        NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
        if (handler != nullptr)
            status = m_type == LogicalStreamType::Audio ? handler->CreateAudioDspStream(settings)
                                                         : handler->CreateVideoDspStream(settings);
        {
            KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromStopToAcquire", __LINE__);
            if (NT_SUCCESS(status)) {
                m_flags.dspStreamCreated = 1;
                m_dspStreamHandle = handler->GetResultWordA();
                created = true;
                TRACE_LINE(this, "LogicalStream::StreamFromStopToAcquire", kTraceHighs, "%s stream handle is 0x%08x",
                           GetStreamName(), m_dspStreamHandle);
            } else {
                m_dspStreamHandle = 0;
                m_flags.dspStreamCreated = 0;
            }
        }
        m_services->FreeCommandHandler(handler);
        if (created)
            KeStallExecutionProcessor(kCreateStall);
    }
    if (!manual)
        SetState(kStreamStateAcquire);
    if (dsp && created) {
        // Only what nobody holds: a buffer still in the queue or in processing is queued again
        // when it comes back, a host frame in the free ring stays there. An entry whose frame
        // could not be made is passed over; the ones after it are queued all the same.
        for (ULONG i = 0; i < GetTableSize(); ++i)
            if (m_table[i].frame != nullptr && GetEntryOwner(i) == MappingOwner::Idle)
                AddMapping(&m_table[i]);
    }
    return STATUS_SUCCESS;
}

NTSTATUS LogicalStream::StreamFromAcquireToPause()
{
    TRACE_SCOPE(this, "LogicalStream::StreamFromAcquireToPause", kTraceLowEnter);
    if (!IsManualTransition())
        SetState(kStreamStatePause);
    return STATUS_SUCCESS;
}

NTSTATUS LogicalStream::StreamFromPauseToRun()
{
    TRACE_SCOPE(this, "LogicalStream::StreamFromPauseToRun", kTraceLowEnter);
    const bool manual = IsManualTransition();
    if (!UsesDsp()) {
        {
            KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromPauseToRun", __LINE__);
            m_flags.processingEnabled = 0;
        }
        const NTSTATUS status = StartTestStream();
        if (NT_SUCCESS(status) && !manual)
            SetState(kStreamStateRun);
        return status;
    }
    bool created;
    ULONG dspHandle;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromPauseToRun", __LINE__);
        m_firstDspTimeStamp = 0;
        // Every run measures its own window on its first stamp.
        m_flags.firstTimeStampPending = 1;
        created = m_flags.dspStreamCreated != 0;
        dspHandle = m_dspStreamHandle;
    }
    if (!created) {
        if (manual)
            return MSG_FAILED_START_STREAM_ERROR_CODE;
        SetState(kStreamStateRun);
        ManuallyStopStream(); // the generator takes over
        return STATUS_SUCCESS;
    }
    ResetStartingCaptureParams();
    CommandHandler* handler = m_services->AllocateCommandHandler();
    if (handler == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    NTSTATUS status = handler->EnableDspStream(dspHandle, true);
    const ULONG completion = handler->GetDspResult();
    m_services->FreeCommandHandler(handler);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "LogicalStream::StreamFromPauseToRun", kTraceErrors,
                   "Failed to start %s stream.  Error code is %d.", GetStreamName(), static_cast<int>(status));
        return status;
    }
    if (completion == CommandHandler::kDspResultSuccess) {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromPauseToRun", __LINE__);
        // Its buffers are due from now on: the silence bound counts from here.
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        m_lastDspAnswerTime = now.QuadPart;
        m_flags.dspEnabled = 1;
        m_flags.processingEnabled = 1;
        if (!manual)
            SetState(kStreamStateRun);
        return STATUS_SUCCESS;
    }
    if (completion == kDspNoSignal && !manual) {
        // No signal is no error: the stream runs on generated frames.
        SetState(kStreamStateRun);
        ManuallyStopStream();
        return STATUS_SUCCESS;
    }
    // Any other answer, or no signal while a manual start is in progress (whose own stop would
    // wait for the manual transition this thread holds): the start failed.
    TRACE_STATUS(this, "LogicalStream::StreamFromPauseToRun", kTraceErrors, MSG_FAILED_START_STREAM_ERROR_CODE,
                 "Failed to start %s stream.  Error code is %d.", GetStreamName(), static_cast<int>(completion));
    return MSG_FAILED_START_STREAM_ERROR_CODE;
}

NTSTATUS LogicalStream::StreamFromRunToPause()
{
    TRACE_SCOPE(this, "LogicalStream::StreamFromRunToPause", kTraceLowEnter);
    const bool manual = IsManualTransition();
    if (!manual)
        SetState(kStreamStatePause);
    if (!UsesDsp()) {
        StopTestStream();
        return STATUS_SUCCESS;
    }
    bool created;
    ULONG dspHandle;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromRunToPause", __LINE__);
        m_firstDspTimeStamp = 0;
        m_flags.dspEnabled = 0;
        created = m_flags.dspStreamCreated != 0;
        dspHandle = m_dspStreamHandle;
    }
    if (created) {
        if (CommandHandler* handler = m_services->AllocateCommandHandler()) {
            handler->EnableDspStream(dspHandle, false);
            m_services->FreeCommandHandler(handler);
        }
    }
    if (!manual)
        StopBackupFrameGenerator();
    return STATUS_SUCCESS;
}

NTSTATUS LogicalStream::StreamFromPauseToAcquire()
{
    TRACE_SCOPE(this, "LogicalStream::StreamFromPauseToAcquire", kTraceLowEnter);
    if (!IsManualTransition()) {
        SetState(kStreamStateAcquire);
        // Purged work goes straight back to its owner (the DSP, or the free ring).
        if (m_queue != nullptr)
            m_queue->PurgeWorkItems();
    }
    return STATUS_SUCCESS;
}

NTSTATUS LogicalStream::StreamFromAcquireToStop()
{
    TRACE_SCOPE(this, "LogicalStream::StreamFromAcquireToStop", kTraceLowEnter);
    if (!IsManualTransition())
        SetState(kStreamStateStop);
    if (!UsesDsp())
        return STATUS_SUCCESS;
    ULONG dspHandle;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromAcquireToStop", __LINE__);
        m_flags.dspEnabled = 0;
        if (!m_flags.dspStreamCreated)
            return STATUS_SUCCESS;
        m_flags.dspStreamCreated = 0;
        dspHandle = m_dspStreamHandle;
    }
    m_services->KillStreamsPendingCommands(m_handle);
    NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
    if (CommandHandler* handler = m_services->AllocateCommandHandler()) {
        status = handler->DestroyDspStream(dspHandle, m_type == LogicalStreamType::Audio ? DspStreamKind::Audio
                                                                                          : DspStreamKind::Video);
        m_services->FreeCommandHandler(handler);
    }
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamFromAcquireToStop", __LINE__);
        m_dspStreamHandle = 0;
    }
    // The DSP answers its buffers before the destroy; wait a little for the last of them.
    for (ULONG round = 0;; ++round) {
        if (CountEntriesOwnedBy(MappingOwner::WithDsp) == 0)
            break;
        if (round == kDestroyPollRounds) {
            LARGE_INTEGER sleep;
            sleep.QuadPart = kDestroyFinalSleep;
            KeDelayExecutionThread(KernelMode, FALSE, &sleep);
            break;
        }
        KeStallExecutionProcessor(kDestroyPollStall);
    }
    // What the DSP has not given back by now belongs to a stream it no longer has (or one whose
    // DSP answers nothing): the buffers are the stream's again, and a late answer of their old
    // records is ignored. No buffer leaves circulation for good.
    ULONG reclaimed = 0;
    {
        KIRQL irql;
        KeAcquireSpinLock(&m_entryLock, &irql);
        for (ULONG i = 0; m_table != nullptr && i < m_bufferCount; ++i) {
            FrameWorkItem& entry = m_table[i];
            if (static_cast<MappingOwner>(entry.ownerState) != MappingOwner::WithDsp)
                continue;
            entry.ownerState = static_cast<UCHAR>(MappingOwner::Idle);
            entry.withDsp = 0;
            entry.reserved[kQueueTagWord] = 0;
            ++reclaimed;
        }
        KeReleaseSpinLock(&m_entryLock, irql);
    }
    if (reclaimed != 0)
        TRACE_LINE(this, "LogicalStream::StreamFromAcquireToStop", kTraceWarnings,
                   "%s stream: %u buffers the DSP did not give back are taken back", GetStreamName(),
                   static_cast<unsigned>(reclaimed));
    return status;
}

// ---- the generator side ----------------------------------------------------------------------

FrameWorkItem* LogicalStream::TakeFreeHostEntry()
{
    if (m_table == nullptr)
        return nullptr;
    FrameWorkItem* entry = nullptr;
    KIRQL irql;
    KeAcquireSpinLock(&m_entryLock, &irql);
    ULONG index;
    while (entry == nullptr && m_freeRing.Read(&index, 1) == 1) {
        if (index < GetTableSize() && static_cast<MappingOwner>(m_table[index].ownerState) == MappingOwner::FreeRing) {
            entry = &m_table[index];
            entry->ownerState = static_cast<UCHAR>(MappingOwner::Generator);
        }
    }
    KeReleaseSpinLock(&m_entryLock, irql);
    return entry;
}

bool LogicalStream::QueueGeneratedFrame(FrameWorkItem* entry, ULONG timeStamp)
{
    entry = EntryOf(entry);
    if (entry == nullptr || entry->frame == nullptr || GetEntryOwner(static_cast<ULONG>(entry - m_table)) != MappingOwner::Generator)
        return false;
    const ULONG step = GetTimeStampStep();
    const auto frameTime = static_cast<LONGLONG>(ComputeTimeStamp(timeStamp, step, false));
    return QueueStampedFrame(entry, frameTime, GetFrameInterval());
}

bool LogicalStream::QueueFrameAtStreamTime(FrameWorkItem* entry)
{
    entry = EntryOf(entry);
    if (entry == nullptr || entry->frame == nullptr || GetEntryOwner(static_cast<ULONG>(entry - m_table)) != MappingOwner::Generator)
        return false;
    LONGLONG frameTime;
    ULONG interval;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::QueueFrameAtStreamTime", __LINE__);
        frameTime = static_cast<LONGLONG>(m_streamTime);
        interval = m_frameInterval;
        m_streamTime += interval;
    }
    return QueueStampedFrame(entry, frameTime, interval);
}

bool LogicalStream::QueueStampedFrame(FrameWorkItem* entry, LONGLONG frameTime, ULONG interval)
{
    entry->frame->SetFrameNumber(frameTime);
    entry->frame->SetFrameInterval(interval);
    SetOwner(entry, MappingOwner::Queued);
    const ULONG index = static_cast<ULONG>(entry - m_table);
    if (m_queue != nullptr && m_queue->OnFrameReady(m_handle, index, GetStreamName()))
        return true;
    AddMapping(entry);
    return false;
}

void LogicalStream::ReturnGeneratorEntry(FrameWorkItem* entry)
{
    entry = EntryOf(entry);
    if (entry != nullptr && GetEntryOwner(static_cast<ULONG>(entry - m_table)) == MappingOwner::Generator)
        AddMapping(entry);
}

// ---- stream control and backup frames --------------------------------------------------------

namespace {

// A queued copy of an input-state record.
struct InputStateNode {
    IntrusiveListLink link;
    UCHAR record[LogicalStream::kInputStateRecordBytes];
};
static_assert(offsetof(InputStateNode, link) == 0);

// The generator's and the control thread's waits.
constexpr LONGLONG kControlThreadPoll = -10;          // 1 microsecond: one clock tick
constexpr LONGLONG kLossRestartPoll = -100'000;       // 10 ms
constexpr ULONG kLossRestartPolls = 10;

ULONG SignalTypeOf(const UCHAR* record)
{
    ULONG type;
    memcpy(&type, record + 38, sizeof(type));
    return type;
}

void Sleep100ns(LONGLONG relative)
{
    LARGE_INTEGER interval;
    interval.QuadPart = relative;
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

} // namespace

void LogicalStream::BackupFrameGeneratorRoutine(PVOID context)
{
    static_cast<LogicalStream*>(context)->BackupFrameGenerator();
}

void LogicalStream::BackupFrameGenerator()
{
    const char* name = GetStreamName();
    PVOID events[3] = {&m_generatorTerminateEvent, &m_generatorStopEvent, &m_generatorStartEvent};
    bool generating = false;
    LARGE_INTEGER due{};
    for (;;) {
        const NTSTATUS status = KeWaitForMultipleObjects(3, events, WaitAny, Executive, KernelMode, FALSE,
                                                         generating ? &due : nullptr, nullptr);
        if (status == STATUS_WAIT_0) {
            TRACE_LINE(this, "LogicalStream::BackupFrameGenerator", kTraceHighs,
                       "Terminating the %s test signal generation thread.", name);
            KeSetEvent(&m_generatorExitedEvent, IO_NO_INCREMENT, FALSE);
            return;
        }
        if (status == STATUS_WAIT_0 + 1) {
            TRACE_LINE(this, "LogicalStream::BackupFrameGenerator", kTraceHighs,
                       "STOPPING the %s test signal generation process.", name);
            {
                KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::BackupFrameGenerator", __LINE__);
                m_flags.generatorRunning = 0;
                m_flags.processingEnabled = 1;
            }
            generating = false;
            KeSetEvent(&m_generatorStoppedEvent, IO_NO_INCREMENT, FALSE);
            continue;
        }
        if (status == STATUS_WAIT_0 + 2) {
            BeginBackupGeneration(&due);
            generating = true;
            KeSetEvent(&m_generatorStartedEvent, IO_NO_INCREMENT, FALSE);
            continue;
        }
        if (status != STATUS_TIMEOUT)
            continue;
        // A due time. While processing is enabled (a manual start's enable until its second real
        // frame) nothing is made, but the grid goes on.
        if (!IsProcessingEnabled())
            MakeBackupFrame();
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::BackupFrameGenerator", __LINE__);
        m_generatorCounter += m_timeStampStep;
        m_nextGeneratorDue += m_frameInterval;
        due.QuadPart = m_nextGeneratorDue;
    }
}

void LogicalStream::BeginBackupGeneration(LARGE_INTEGER* due)
{
    const char* name = GetStreamName();
    TRACE_LINE(this, "LogicalStream::BackupFrameGenerator", kTraceHighs,
               "STARTING the %s test signal generation process.", name);
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::BackupFrameGenerator", __LINE__);
        m_flags.generatorRunning = 1;
        m_flags.processingEnabled = 0;
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        const ULONG interval = m_frameInterval != 0 ? m_frameInterval : 1;
        const ULONG step = m_timeStampStep;
        TRACE_LINE(this, "LogicalStream::BackupFrameGenerator", kTraceHighs,
                   "%s stream. m_BFGStartTime=%I64u, m_LastFrameTime=%I64u, nTimerInterval=%u", name,
                   static_cast<ULONGLONG>(now.QuadPart), static_cast<ULONGLONG>(m_lastRealFrameTime), interval);
        if (m_flags.firstTimeStampPending || m_lastRealFrameTime == 0) {
            // No real frame since the start: a grid of its own from now.
            m_nextGeneratorDue = now.QuadPart + interval;
            m_generatorCounter = 0;
        } else {
            const ULONGLONG elapsed =
                now.QuadPart > m_lastRealFrameTime ? static_cast<ULONGLONG>(now.QuadPart - m_lastRealFrameTime) : 0;
            TRACE_LINE(this, "LogicalStream::BackupFrameGenerator", kTraceHighs,
                       "%s stream. nElapsed=%I64u, m_nFrameInterval=%u", name, elapsed, interval);
            if (elapsed == 0) {
                m_generatorCounter = m_lastDspTimeStamp + step;
                m_nextGeneratorDue = now.QuadPart + interval;
            } else if (elapsed < interval) {
                m_generatorCounter = m_lastDspTimeStamp + step;
                m_nextGeneratorDue = now.QuadPart + static_cast<LONGLONG>(interval - elapsed);
            } else {
                // Frames on the last real frame's grid and its time-stamp sequence.
                const ULONGLONG whole = elapsed / interval;
                const ULONGLONG rest = elapsed % interval;
                m_generatorCounter = m_lastDspTimeStamp + static_cast<ULONG>(whole * step);
                if (rest != 0) {
                    m_generatorCounter += step;
                    m_nextGeneratorDue = now.QuadPart + static_cast<LONGLONG>(interval - rest);
                } else {
                    m_nextGeneratorDue = now.QuadPart + interval;
                }
            }
        }
        due->QuadPart = m_nextGeneratorDue;
        const LONGLONG wait = m_nextGeneratorDue - now.QuadPart;
        TRACE_LINE(this, "LogicalStream::BackupFrameGenerator", kTraceHighs,
                   "%s stream. m_nLastTS=%u, nTS=%u, wait=0x%08x %08x", name, m_lastDspTimeStamp, m_generatorCounter,
                   static_cast<unsigned>(static_cast<ULONGLONG>(wait) >> 32), static_cast<unsigned>(wait));
    }
    InitBackupFrameGeneratorValues();
}

void LogicalStream::MakeBackupFrame()
{
    FrameWorkItem* entry = TakeFreeHostEntry();
    if (entry == nullptr) {
        TRACE_STATUS(this, "LogicalStream::BackupFrameGenerator", kTraceErrors,
                     MSG_FRAME_DROPPED_NO_EMPTY_FRAMES_AVAILABLE, "*** Frame Dropped... No empty %s frames available...****",
                     GetStreamName());
        return;
    }
    FillBackupFrame(entry);
    entry->frame->SetInputIdentifier(0);
    entry->frame->AddFlags(kFrameFlagBackup | kFrameFlagGenerated);
    ULONG counter;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::BackupFrameGenerator", __LINE__);
        counter = m_generatorCounter;
    }
    QueueGeneratedFrame(entry, counter);
}

void LogicalStream::StartBackupFrameGenerator()
{
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StartBackupFrameGenerator", __LINE__);
        if (!m_generatorThread.HoldsThread() || m_flags.generatorRunning)
            return;
    }
    TRACE_LINE(this, "LogicalStream::StartBackupFrameGenerator", kTraceHighs, "STARTING %s backup frame generation.",
               GetStreamName());
    KeClearEvent(&m_generatorStartedEvent);
    KeSetEvent(&m_generatorStartEvent, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(&m_generatorStartedEvent, Executive, KernelMode, FALSE, nullptr);
    TRACE_LINE(this, "LogicalStream::StartBackupFrameGenerator", kTraceHighs, "%s backup frame generation STARTED.",
               GetStreamName());
}

void LogicalStream::StopBackupFrameGenerator()
{
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StopBackupFrameGenerator", __LINE__);
        if (!m_generatorThread.HoldsThread() || !m_flags.generatorRunning)
            return;
    }
    TRACE_LINE(this, "LogicalStream::StopBackupFrameGenerator", kTraceHighs, "STOPPING %s backup frame generation.",
               GetStreamName());
    KeClearEvent(&m_generatorStoppedEvent);
    KeSetEvent(&m_generatorStopEvent, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(&m_generatorStoppedEvent, Executive, KernelMode, FALSE, nullptr);
}

void LogicalStream::TerminateBackupFrameGenerator()
{
    PKTHREAD thread;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::TerminateBackupFrameGenerator", __LINE__);
        if (!m_generatorThread.HoldsThread())
            return;
        thread = m_generatorThread.ThreadObject();
    }
    TRACE_LINE(this, "LogicalStream::TerminateBackupFrameGenerator", kTraceHighs,
               "TERMINATING %s backup frame generation.", GetStreamName());
    KeSetEvent(&m_generatorTerminateEvent, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(&m_generatorExitedEvent, Executive, KernelMode, FALSE, nullptr);
    // Its last lines done: nothing of the thread runs on this stream any more.
    if (thread != nullptr)
        KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::TerminateBackupFrameGenerator", __LINE__);
        m_generatorThread.Release();
        m_flags.generatorRunning = 0;
    }
    TRACE_LINE(this, "LogicalStream::TerminateBackupFrameGenerator", kTraceHighs,
               "%s backup frame generation has been TERMINATED.", GetStreamName());
}

void LogicalStream::StartStreamControlThread()
{
    TRACE_SCOPE(this, "LogicalStream::StartStreamControlThread", kTraceLowEnter);
    bool running;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StartStreamControlThread", __LINE__);
        running = m_controlThread.HoldsThread();
    }
    // Awaited outside the lock: the old thread may need it to finish its record.
    if (running)
        TerminateStreamControlThread();
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StartStreamControlThread", __LINE__);
    if (m_controlThread.HoldsThread())
        return;
    KeClearEvent(&m_controlTerminateEvent);
    KeClearEvent(&m_controlExitedEvent);
    const NTSTATUS status = m_controlThread.Start(&LogicalStream::StreamControlThreadRoutine, this, kSystemThreadAllAccess);
    if (!NT_SUCCESS(status))
        TRACE_LINE(this, "LogicalStream::StartStreamControlThread", kTraceErrors,
                   "The %s stream control thread could not be started: 0x%08x", GetStreamName(),
                   static_cast<unsigned>(status));
    else if (!IsListEmptyLocked())
        KeSetEvent(&m_inputStateChangedEvent, IO_NO_INCREMENT, FALSE);
}

void LogicalStream::TerminateStreamControlThread()
{
    PKTHREAD thread;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::TerminateStreamControlThread", __LINE__);
        if (!m_controlThread.HoldsThread())
            return;
        thread = m_controlThread.ThreadObject();
    }
    KeSetEvent(&m_controlTerminateEvent, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(&m_controlExitedEvent, Executive, KernelMode, FALSE, nullptr);
    if (thread != nullptr)
        KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::TerminateStreamControlThread", __LINE__);
    m_controlThread.Release();
}

void LogicalStream::StreamControlThreadRoutine(PVOID context)
{
    static_cast<LogicalStream*>(context)->StreamControlThread();
}

void LogicalStream::StreamControlThread()
{
    PVOID events[2] = {&m_controlTerminateEvent, &m_inputStateChangedEvent};
    for (;;) {
        LARGE_INTEGER timeout;
        timeout.QuadPart = kControlThreadPoll;
        const NTSTATUS status =
            KeWaitForMultipleObjects(2, events, WaitAny, Executive, KernelMode, FALSE, &timeout, nullptr);
        if (status == STATUS_WAIT_0)
            break;
        for (;;) {
            InputStateNode* node;
            {
                KPLXFastStackLock hold(&m_inputStateListLock, this, "LogicalStream::StreamControlThread", __LINE__);
                node = static_cast<InputStateNode*>(m_inputStateList.RemoveHead());
            }
            if (node == nullptr)
                break;
            ProcessInputStateRecord(node->record);
            ExFreePool(node);
            TRACE_LINE(this, "LogicalStream::StreamControlThread", kTraceHighs, "Processed signal state change...");
        }
        WatchDspAnswers();
    }
    TRACE_LINE(this, "LogicalStream::StreamControlThread", kTraceHighs, "Exiting StreamControlThread");
    KeSetEvent(&m_controlExitedEvent, IO_NO_INCREMENT, FALSE);
}

void LogicalStream::ProcessInputStateRecord(const UCHAR* record)
{
    TRACE_LINE(this, "LogicalStream::StreamControlThread", kTraceHighs, "Processing signal state (0x%08x) change...",
               SignalTypeOf(record));
    const bool changed = LoadStreamSettings(record);
    if (GetState() != kStreamStateRun || !changed)
        return;
    TRACE_LINE(this, "LogicalStream::StreamControlThread", kTraceHighs, "New signal type = 0x%08x", SignalTypeOf(record));
    if (!DoesDSPHaveSignalLock()) {
        // A restart under way gets up to 100 ms to finish before the stream goes down again.
        if (IsGeneratorRunning())
            for (ULONG i = 0; i < kLossRestartPolls && IsRestartPending(); ++i)
                Sleep100ns(kLossRestartPoll);
        ManuallyStopStream();
        return;
    }
    if (IsGeneratorRunning()) {
        ManuallyStartStream();
        return;
    }
    bool restart;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::StreamControlThread", __LINE__);
        restart = m_flags.restartNeeded != 0;
        m_flags.restartNeeded = 0;
    }
    if (restart) {
        ManuallyStopStream();
        ManuallyStartStream();
    }
}

void LogicalStream::ProcessInputStateChanged(const UCHAR* inputStateRecord)
{
    if (inputStateRecord == nullptr)
        return;
    auto* node = static_cast<InputStateNode*>(ExAllocatePoolWithTag(PagedPool, sizeof(InputStateNode), kDriverPoolTag));
    if (node == nullptr) {
        TRACE_LINE(this, "LogicalStream::ProcessInputStateChanged", kTraceErrors,
                   "No memory for a %s input-state record: the change is lost", GetStreamName());
        return;
    }
    new (&node->link) IntrusiveListLink();
    memcpy(node->record, inputStateRecord, kInputStateRecordBytes);
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::ProcessInputStateChanged", __LINE__);
    const bool controlThread = m_controlThread.HoldsThread();
    {
        KPLXFastStackLock list(&m_inputStateListLock, this, "LogicalStream::ProcessInputStateChanged", __LINE__);
        if (!controlThread) {
            // Nobody reads them until the next Run: only the newest counts.
            while (void* old = m_inputStateList.RemoveHead())
                ExFreePool(old);
        }
        m_inputStateList.InsertTail(node);
    }
    KeSetEvent(&m_inputStateChangedEvent, IO_NO_INCREMENT, FALSE);
}

bool LogicalStream::IsListEmptyLocked()
{
    KPLXFastStackLock list(&m_inputStateListLock, this, "LogicalStream::IsListEmptyLocked", __LINE__);
    return m_inputStateList.IsEmpty();
}

void LogicalStream::FreeInputStateRecords()
{
    KPLXFastStackLock list(&m_inputStateListLock, this, "LogicalStream::FreeInputStateRecords", __LINE__);
    while (void* node = m_inputStateList.RemoveHead())
        ExFreePool(node);
}

ULONG LogicalStream::GetQueuedInputStateCount()
{
    KPLXFastStackLock list(&m_inputStateListLock, this, "LogicalStream::GetQueuedInputStateCount", __LINE__);
    return m_inputStateList.Count();
}

bool LogicalStream::HasStreamControlThread()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::HasStreamControlThread", __LINE__);
    return m_controlThread.HoldsThread();
}

bool LogicalStream::HasBackupFrameGeneratorThread()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::HasBackupFrameGeneratorThread", __LINE__);
    return m_generatorThread.HoldsThread();
}

bool LogicalStream::IsDspSilent()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::IsDspSilent", __LINE__);
    return m_flags.dspSilent != 0;
}

LONGLONG LogicalStream::GetDspSilenceBound()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetDspSilenceBound", __LINE__);
    return kDspSilenceTimeout + static_cast<LONGLONG>(kDspSilenceFrames) * m_frameInterval;
}

void LogicalStream::WatchDspAnswers()
{
    if (GetState() != kStreamStateRun || !UsesDsp())
        return;
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    bool silent = false;
    bool firstSilence = false;
    bool retry = false;
    LONGLONG waited = 0;
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::WatchDspAnswers", __LINE__);
        if (m_flags.manualTransition)
            return;
        const LONGLONG bound = kDspSilenceTimeout + static_cast<LONGLONG>(kDspSilenceFrames) * m_frameInterval;
        if (m_flags.dspStreamCreated && m_flags.dspEnabled) {
            waited = now.QuadPart - m_lastDspAnswerTime;
            silent = waited > bound;
        } else if (m_flags.dspSilent && !m_flags.dspStreamCreated) {
            // The last remake failed (no answer to the create, or the enable): try again later.
            retry = now.QuadPart - m_lastDspRecovery > bound;
        }
        if (silent) {
            firstSilence = m_flags.dspSilent == 0;
            m_flags.dspSilent = 1;
        }
        if (silent || retry)
            m_lastDspRecovery = now.QuadPart;
    }
    if (!silent && !retry) {
        RequeueIdleBuffers();
        return;
    }
    if (firstSilence)
        TRACE_STATUS(this, "LogicalStream::WatchDspAnswers", kTraceErrors, MSG_ADAPTER_FIRMWARE_STOPPED_RESPONDING,
                     "The DSP has given no %s buffer back for %u ms: the stream is remade and backup frames "
                     "delivered until it answers",
                     GetStreamName(), static_cast<unsigned>(waited / 10'000));
    // Down (the generator takes over, the buffers come back) and up again: a DSP that answers its
    // commands gets every buffer anew, one that does not leaves the generator running.
    if (silent)
        ManuallyStopStream();
    ManuallyStartStream();
    // Unlike a restart on a new signal, the enable's answer promises nothing here: the backup
    // frames go on until the second real frame takes over (OnFrameReady), as long as none has.
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::WatchDspAnswers", __LINE__);
    if (m_flags.generatorRunning && m_flags.dspSilent)
        m_flags.processingEnabled = 0;
}

void LogicalStream::RequeueIdleBuffers()
{
    if (GetState() < kStreamStateAcquire || !IsDspStreamCreated() || IsManualTransition())
        return;
    for (ULONG i = 0; m_table != nullptr && i < m_bufferCount; ++i)
        if (m_table[i].frame != nullptr && m_table[i].physicalAddress != 0 && GetEntryOwner(i) == MappingOwner::Idle)
            AddMapping(&m_table[i]);
}

bool LogicalStream::IsRestartPending()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::IsRestartPending", __LINE__);
    return m_flags.restartPending != 0;
}

LONGLONG LogicalStream::GetNextGeneratorDue()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetNextGeneratorDue", __LINE__);
    return m_nextGeneratorDue;
}

ULONG LogicalStream::GetGeneratorCounter()
{
    KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::GetGeneratorCounter", __LINE__);
    return m_generatorCounter;
}

void LogicalStream::BeginManualTransition(bool restartPending)
{
    for (;;) {
        {
            KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::BeginManualTransition", __LINE__);
            if (!m_flags.manualTransition) {
                m_flags.manualTransition = 1;
                m_flags.restartPending = restartPending ? 1 : 0;
                if (restartPending)
                    m_startupCounter = 0;
                return;
            }
        }
        Sleep100ns(kManualTransitionRetry);
    }
}

void LogicalStream::ManuallyStopStream()
{
    const char* name = GetStreamName();
    TRACE_LINE(this, "LogicalStream::ManuallyStopStream", kTraceHighs, "Manually STOPPING the %s stream...", name);
    BeginManualTransition(false);
    StartBackupFrameGenerator();
    if (IsDspStreamCreated()) {
        StreamFromRunToPause();
        StreamFromPauseToAcquire();
        StreamFromAcquireToStop();
    }
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::ManuallyStopStream", __LINE__);
        m_flags.manualTransition = 0;
    }
    TRACE_LINE(this, "LogicalStream::ManuallyStopStream", kTraceHighs, "Manually STOPPED the %s stream...", name);
}

NTSTATUS LogicalStream::ManuallyStartStream()
{
    const char* name = GetStreamName();
    TRACE_LINE(this, "LogicalStream::ManuallyStartStream", kTraceHighs, "Manually STARTING the %s stream...", name);
    BeginManualTransition(true);
    NTSTATUS status = StreamFromStopToAcquire();
    if (NT_SUCCESS(status)) {
        status = StreamFromAcquireToPause();
        if (NT_SUCCESS(status))
            status = StreamFromPauseToRun();
        if (!NT_SUCCESS(status)) {
            StreamFromPauseToAcquire();
            StreamFromAcquireToStop();
        }
    }
    {
        KPLXFastStackLock hold(&m_controlLock, this, "LogicalStream::ManuallyStartStream", __LINE__);
        m_flags.manualTransition = 0;
        if (!NT_SUCCESS(status))
            m_flags.restartPending = 0;
    }
    if (NT_SUCCESS(status))
        TRACE_LINE(this, "LogicalStream::ManuallyStartStream", kTraceHighs, "Manually STARTED the %s stream...", name);
    else
        TRACE_LINE(this, "LogicalStream::ManuallyStartStream", kTraceErrors, "FAILED to Manually start the %s stream...",
                   name);
    return status;
}
