// AviTestSource: the file processor and frame generator threads of the AVI test input.
#include "avitestsource.h"

#include "kernel/poolallocation.h"
#include "logicalstream.h"
#include "messages/Talvexon.h"
#include "testsignalgenerator.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include "km/time.h"

#include <cstring>

AviTestSource::AviTestSource(LogicalStream* stream, AviTestFile* file)
    : m_stream(stream), m_file(file), m_emptyRing(sizeof(ULONG), kAviBufferCount, NonPagedPool),
      m_filledRing(sizeof(ULONG), kAviBufferCount, NonPagedPool)
{
    KeInitializeEvent(&m_testEvent, SynchronizationEvent, FALSE);
    KeInitializeEvent(&m_fileReadyEvent, SynchronizationEvent, FALSE);
    KeInitializeEvent(&m_readMoreEvent, SynchronizationEvent, FALSE);
    KeInitializeSpinLock(&m_emptyLock);
    KeInitializeSpinLock(&m_filledLock);
}

AviTestSource::~AviTestSource()
{
    Stop();
}

NTSTATUS AviTestSource::Start()
{
    KPLXFastStackLock hold(&m_lock, this, "AviTestSource::Start", __LINE__);
    if (m_generatorThread.HoldsThread() || m_processorThread.HoldsThread())
        return STATUS_SUCCESS;
    if (!m_emptyRing.IsValid() || !m_filledRing.IsValid())
        return STATUS_INSUFFICIENT_RESOURCES;
    m_generatorStop.store(false);
    m_processorStop.store(false);
    KeResetEvent(&m_testEvent);
    KeResetEvent(&m_fileReadyEvent);
    KeResetEvent(&m_readMoreEvent);
    NTSTATUS status = m_generatorThread.Start(&AviTestSource::GeneratorRoutine, this, kSystemThreadAllAccess);
    if (NT_SUCCESS(status))
        status = m_processorThread.Start(&AviTestSource::ProcessorRoutine, this, kSystemThreadAllAccess);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "AviTestSource::Start", kTraceErrors, "Unable to start the AVI test threads. Status=0x%08x",
                   status);
        // The lock is recursive: the thread that did start is stopped again.
        Stop();
    }
    return status;
}

void AviTestSource::Stop()
{
    KPLXFastStackLock hold(&m_lock, this, "AviTestSource::Stop", __LINE__);
    m_generatorStop.store(true);
    if (m_generatorThread.HoldsThread()) {
        KeSetEvent(&m_testEvent, 0, FALSE);
        KeWaitForSingleObject(m_generatorThread.ThreadObject(), Executive, KernelMode, FALSE, nullptr);
    }
    m_processorStop.store(true);
    if (m_processorThread.HoldsThread()) {
        KeSetEvent(&m_readMoreEvent, 0, FALSE);
        KeWaitForSingleObject(m_processorThread.ThreadObject(), Executive, KernelMode, FALSE, nullptr);
    }
    m_generatorThread.Release();
    m_processorThread.Release();
    FreeAviBuffers();
}

bool AviTestSource::IsRunning()
{
    KPLXFastStackLock hold(&m_lock, this, "AviTestSource::IsRunning", __LINE__);
    return (m_generatorThread.HoldsThread() && !m_generatorThread.Finished()) ||
           (m_processorThread.HoldsThread() && !m_processorThread.Finished());
}

ULONG AviTestSource::Interval()
{
    const ULONG interval = m_stream->GetFrameInterval();
    return interval != 0 ? interval : TestSignalGenerator::kFallbackInterval;
}

bool AviTestSource::TakeRecord(RingBuffer* ring, KSPIN_LOCK* lock, ULONG* index)
{
    KIRQL irql;
    KeAcquireSpinLock(lock, &irql);
    const bool taken = ring->Read(index, 1) == 1;
    KeReleaseSpinLock(lock, irql);
    return taken;
}

ULONG AviTestSource::PutRecord(RingBuffer* ring, KSPIN_LOCK* lock, ULONG index)
{
    KIRQL irql;
    KeAcquireSpinLock(lock, &irql);
    ring->Write(&index, 1);
    const ULONG count = ring->Count();
    KeReleaseSpinLock(lock, irql);
    return count;
}

ULONG AviTestSource::CountRecords(RingBuffer* ring, KSPIN_LOCK* lock)
{
    KIRQL irql;
    KeAcquireSpinLock(lock, &irql);
    const ULONG count = ring->Count();
    KeReleaseSpinLock(lock, irql);
    return count;
}

ULONG AviTestSource::GetEmptyCount()
{
    return CountRecords(&m_emptyRing, &m_emptyLock);
}

ULONG AviTestSource::GetFilledCount()
{
    return CountRecords(&m_filledRing, &m_filledLock);
}

void AviTestSource::ResetRings()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_emptyLock, &irql);
    m_emptyRing.Reset();
    KeReleaseSpinLock(&m_emptyLock, irql);
    KeAcquireSpinLock(&m_filledLock, &irql);
    m_filledRing.Reset();
    KeReleaseSpinLock(&m_filledLock, irql);
}

ULONG AviTestSource::MakeAviBuffers()
{
    ResetRings();
    const LONG width = m_file->GetWidth();
    const LONG height = m_file->GetHeight();
    ULONG made = 0;
    for (ULONG i = 0; i < kAviBufferCount; ++i) {
        auto* frame = new VideoFrame(width, height, 16, false);
        // Sized from the checked frame size, whatever the bit count says.
        if (frame == nullptr || frame->EnsureBufferSize(m_file->GetFrameSize()) == 0) {
            TRACE_LINE(this, "AviTestSource::AviFileProcessor", kTraceErrors, "Unable to allocate AVI frame buffer %u.", i);
            delete frame;
            continue;
        }
        // One progressive field.
        frame->SetActiveSize(0, width, height);
        frame->SetActiveSize(1, 0, 0);
        frame->SetVbiSize(0, 0, 0);
        frame->SetVbiSize(1, 0, 0);
        m_records[i] = AviRecord{frame, 0};
        PutRecord(&m_emptyRing, &m_emptyLock, i);
        ++made;
    }
    return made;
}

void AviTestSource::FreeAviBuffers()
{
    for (AviRecord& record : m_records) {
        delete record.frame;
        record = AviRecord{};
    }
    ResetRings();
}

void AviTestSource::FlipRows(PUCHAR picture, PUCHAR row)
{
    const ULONG rowBytes = (3 * ULONG(m_file->GetWidth()) + 3) / 4 * 4;
    const ULONG rows = m_file->GetHeight();
    for (ULONG top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        std::memcpy(row, picture + top * rowBytes, rowBytes);
        std::memcpy(picture + top * rowBytes, picture + bottom * rowBytes, rowBytes);
        std::memcpy(picture + bottom * rowBytes, row, rowBytes);
    }
}

void AviTestSource::ProcessorRoutine(PVOID context)
{
    static_cast<AviTestSource*>(context)->AviFileProcessor();
}

void AviTestSource::GeneratorRoutine(PVOID context)
{
    static_cast<AviTestSource*>(context)->AviFrameGenerator();
}

void AviTestSource::AviFileProcessor()
{
    MakeAviBuffers();
    const bool flip = m_file->IsTopDown() && m_file->GetCompression() == BI_RGB && m_file->GetBitCount() == 24;
    auto* row = flip ? static_cast<PUCHAR>(AllocatePool(3 * size_t(m_file->GetWidth()) + 3)) : nullptr;
    ULONG next = 0;
    const ULONG frames = m_file->GetFrameCount();
    while (!m_processorStop.load()) {
        bool failed = false;
        ULONG index;
        while (!m_processorStop.load() && TakeRecord(&m_emptyRing, &m_emptyLock, &index)) {
            AviRecord& record = m_records[index];
            const NTSTATUS status =
                m_file->ReadFrame(next, record.frame->GetFrameData(), record.frame->GetDataSize());
            if (!NT_SUCCESS(status)) {
                // The record stays in circulation; the read is tried again an interval later.
                m_readFailures.fetch_add(1);
                PutRecord(&m_emptyRing, &m_emptyLock, index);
                failed = true;
                break;
            }
            if (flip && row != nullptr)
                FlipRows(record.frame->GetFrameData(), row);
            record.frameIndex = next;
            next = frames != 0 ? (next + 1) % frames : 0;
            m_framesRead.fetch_add(1);
            PutRecord(&m_filledRing, &m_filledLock, index);
            KeSetEvent(&m_fileReadyEvent, 0, FALSE);
        }
        if (m_processorStop.load())
            break;
        LARGE_INTEGER retry;
        retry.QuadPart = -LONGLONG(Interval());
        KeWaitForSingleObject(&m_readMoreEvent, Executive, KernelMode, FALSE, failed ? &retry : nullptr);
    }
    if (row != nullptr)
        FreePool(row);
    TRACE_LINE(this, "AviTestSource::AviFileProcessor", kTraceHighs, "Terminating the AVI file processor thread.");
}

void AviTestSource::Deliver(FrameWorkItem* entry, ULONG record)
{
    auto* host = dynamic_cast<VideoFrame*>(entry->frame);
    const AviRecord& avi = m_records[record];
    const LONG width = m_file->GetWidth();
    const LONG height = m_file->GetHeight();
    const ULONG pictureBytes = ((ULONG(width) + 15) & ~15u) * ULONG(height) * 2;
    if (host == nullptr || entry->virtualAddress == nullptr || pictureBytes > m_stream->GetEntryBufferLength()) {
        TRACE_LINE(this, "AviTestSource::AviFrameGenerator", kTraceErrors,
                   "The host frame cannot hold a %d x %d AVI picture.", width, height);
        m_stream->ReturnGeneratorEntry(entry);
        return;
    }
    // The host frame at the AVI picture's size.
    host->Initialize(entry->virtualAddress, m_stream->GetEntryBufferLength(), width, height, 8);
    const PUCHAR data = avi.frame->GetFrameData();
    const ULONG size = m_file->GetFrameSize();
    switch (m_file->GetCompression()) {
    case AviTestFile::kUyvy:
        host->ImportPacked(data, size, PackedOrder::Uyvy);
        break;
    case AviTestFile::kYuy2:
        host->ImportPacked(data, size, PackedOrder::Yuy2);
        break;
    case AviTestFile::kI420:
        host->AttachPlanar(data, size);
        break;
    case BI_RGB:
        if (m_file->GetBitCount() == 24)
            host->ImportRGB24(data, size);
        break;
    default:
        break;
    }
    host->SetFlags(host->GetFlags() | 1);
    host->SetInputIdentifier(0);
    for (LONG field = 0; field < 2; ++field) {
        const FrameFieldSize vbi = avi.frame->GetVbiSize(field);
        const FrameFieldSize active = avi.frame->GetActiveSize(field);
        host->SetVbiSize(field, vbi.width, vbi.height);
        host->SetActiveSize(field, active.width, active.height);
    }
    if (m_stream->QueueFrameAtStreamTime(entry))
        m_queued.fetch_add(1);
}

void AviTestSource::AviFrameGenerator()
{
    LARGE_INTEGER due;
    KeQuerySystemTime(&due);
    PVOID readyOrStop[2] = {&m_fileReadyEvent, &m_testEvent};
    KeWaitForMultipleObjects(2, readyOrStop, WaitAny, Executive, KernelMode, FALSE, nullptr, nullptr);
    while (!m_generatorStop.load()) {
        if (m_stream->GetState() == kStreamStateRun) {
            // Only this thread takes filled records: one counted is one there.
            if (GetFilledCount() == 0) {
                KeWaitForMultipleObjects(2, readyOrStop, WaitAny, Executive, KernelMode, FALSE, nullptr, nullptr);
                // The grid starts anew after the file kept the generator waiting.
                KeQuerySystemTime(&due);
                continue;
            }
            FrameWorkItem* entry = m_stream->TakeFreeHostEntry();
            ULONG record;
            if (entry == nullptr) {
                // The picture waits for the next round.
                m_dropped.fetch_add(1);
                TRACE_STATUS(this, "AviTestSource::AviFrameGenerator", kTraceErrors,
                             MSG_NO_EMPTY_FRAMES_AVAILABLE_PIN_ACCEPT,
                             "*** Frame Dropped... No empty %s frames available (pin %d)...****",
                             m_stream->GetStreamName(), 0);
            } else if (TakeRecord(&m_filledRing, &m_filledLock, &record)) {
                Deliver(entry, record);
                if (PutRecord(&m_emptyRing, &m_emptyLock, record) >= kReadMoreThreshold)
                    KeSetEvent(&m_readMoreEvent, 0, FALSE);
            } else {
                m_stream->ReturnGeneratorEntry(entry);
            }
        }
        due.QuadPart += Interval();
        KeWaitForSingleObject(&m_testEvent, Executive, KernelMode, FALSE, &due);
    }
    TRACE_LINE(this, "AviTestSource::AviFrameGenerator", kTraceHighs, "Terminating the AVI frame generator thread.");
}
