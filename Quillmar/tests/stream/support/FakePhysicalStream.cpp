#include "FakePhysicalStream.h"

#include "videoframe.h"

#include <cstring>

namespace streamtest {

DspStreamSettings FakePhysicalStream::DefaultSettings()
{
    DspStreamSettings settings{};
    // 16 x 8, no pixel clock, 8 + 0 active lines, active width 16, no blanking.
    const ULONG words[8] = {0, 16u | (8u << 16), 0, 8u, 16u, 0, 16, 8};
    memcpy(settings.descriptor, words, sizeof(words));
    settings.inputType = 0;
    return settings;
}

FakePhysicalStream::FakePhysicalStream(StreamDeviceServices* services, StreamProcessorQueue* queue,
                                       const Options& options)
    : LogicalStream(options.type, services, queue, 9), m_options(options)
{
    if (!NT_SUCCESS(GetConstructionStatus()))
        return;
    SetBufferLength(options.bufferLength);
    SetTiming(options.step, options.interval);
    if (options.allocateFrames) {
        AllocateStreamFrames();
        if (options.backupFrames)
            PrepareBackupFrameGenerator(nullptr);
    }
    Publish();
}

FakePhysicalStream::~FakePhysicalStream()
{
    Shutdown();
}

bool FakePhysicalStream::ReconditionFrame(FrameWorkItem*, CommandHandler* handler)
{
    ULONG stamp;
    memcpy(&stamp, handler->ResponseArea() + kResponseTimeStampOffset, sizeof(stamp));
    lastTimeStamp = stamp;
    ++reconditions;
    return true;
}

NTSTATUS FakePhysicalStream::AllocateDSPFrame(ULONG index)
{
    ULONGLONG physical = 0;
    PVOID buffer = AllocateDmaBufferForEntry(&physical);
    if (buffer == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    auto* frame = new VideoFrame();
    frame->Initialize(buffer, m_options.bufferLength, m_options.width, m_options.height, 8);
    SetEntryFrame(index, frame, buffer, physical);
    return STATUS_SUCCESS;
}

NTSTATUS FakePhysicalStream::AllocateHostFrame(ULONG index)
{
    PVOID buffer = AllocateHostBuffer();
    if (buffer == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    auto* frame = new VideoFrame();
    frame->Initialize(buffer, m_options.bufferLength, m_options.width, m_options.height, 8);
    SetEntryFrame(index, frame, buffer, 0);
    return STATUS_SUCCESS;
}

NTSTATUS FakePhysicalStream::StartTestStream()
{
    ++testStarts;
    return m_options.testStreamStatus;
}

void FakePhysicalStream::StartBackupFrameGenerator()
{
    ++generatorStarts;
    KPLXFastStackLock hold(GetControlLock(), this, "FakePhysicalStream::StartBackupFrameGenerator", __LINE__);
    m_flags.generatorRunning = 1;
    m_flags.processingEnabled = 0;
}

void FakePhysicalStream::StopBackupFrameGenerator()
{
    KPLXFastStackLock hold(GetControlLock(), this, "FakePhysicalStream::StopBackupFrameGenerator", __LINE__);
    if (!m_flags.generatorRunning)
        return;
    ++generatorStops;
    m_flags.generatorRunning = 0;
    m_flags.processingEnabled = 1;
}

void FakePhysicalStream::ManuallyStopStream()
{
    ++manualStops;
    StartBackupFrameGenerator();
}

void FakePhysicalStream::SetManualTransition(bool on)
{
    KPLXFastStackLock hold(GetControlLock(), this, "FakePhysicalStream::SetManualTransition", __LINE__);
    m_flags.manualTransition = on ? 1 : 0;
}

void FakePhysicalStream::SetProcessingEnabled(bool on)
{
    KPLXFastStackLock hold(GetControlLock(), this, "FakePhysicalStream::SetProcessingEnabled", __LINE__);
    m_flags.processingEnabled = on ? 1 : 0;
}

void FakePhysicalStream::SetGeneratorRunning(bool on)
{
    KPLXFastStackLock hold(GetControlLock(), this, "FakePhysicalStream::SetGeneratorRunning", __LINE__);
    m_flags.generatorRunning = on ? 1 : 0;
}

void FakePhysicalStream::SetDspStreamCreated(bool on)
{
    KPLXFastStackLock hold(GetControlLock(), this, "FakePhysicalStream::SetDspStreamCreated", __LINE__);
    m_flags.dspStreamCreated = on ? 1 : 0;
}

void FakePhysicalStream::SetFirstTimeStampPending()
{
    KPLXFastStackLock hold(GetControlLock(), this, "FakePhysicalStream::SetFirstTimeStampPending", __LINE__);
    m_flags.firstTimeStampPending = 1;
}

} // namespace streamtest
