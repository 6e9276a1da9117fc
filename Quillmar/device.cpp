// Device: instance id and names, the life cycle of the board (add, start with the DSP, FPGA and
// daughter-card bring-up, stop, removal) and its audio configuration, the device-control entry and
// the performance announcement, its protocol manager, its DMA common buffers with the old-buffer
// thread that releases them, its pool of DSP command records, and the settings loaders and writers.
#include "device.h"
#include "recordfile.h"

#include "audioinputtypes.h"
#include "audiostream.h"
#include "basicfilter.h"
#include "filterautomation.h"
#include "caudiovolumecontrol.h"
#include "frameprocessingsource.h"
#include "streamprocessor.h"
#include "streamprocessorpin.h"
#include "streamprocessormanager.h"
#include "streamprocessorqueue.h"
#include "kernel/kernelfile.h"
#include "kernel/poolallocation.h"
#include "kernel/registrykey.h"
#include "kernel/unicodetext.h"
#include "km/format.h"
#include "km/deviceinterface.h"
#include "km/kernel.h"
#include "km/raise.h"
#include "km/systeminfo.h"
#include "km/time.h"
#include "km/registry.h"
#include "messages/Talvexon.h"
#include "pindataranges.h"
#include "pinstreamfactory.h"
#include "audiocapturepin.h"
#include "basicpindispatch.h"
#include "videostreamingpin.h"
#include "roundtoint.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstdarg>
#include <cstring>
#include <new>

Device::Device(Driver* driver)
    : m_driver(driver)
{
    TRACE_SCOPE(this, "Device::Device", kTraceLowEnter);
    SetDefaultLOSSettings();
    m_pinStreamFactory = new PinStreamFactory(this);
    SetPhysicalStreamFactory(m_pinStreamFactory);
    KeInitializeSpinLock(&m_protocolManagerLock);
    KeInitializeEvent(&m_protocolManagerReleased, NotificationEvent, FALSE);
    m_protocolManager = new TidewellProtocolManager(this);
    InitializeIrpQueue();
    StartOldDmaBufferThread();
    KPLXFastStackLock hold(&m_commandLock, this, "Device::Device", __LINE__);
    for (ULONG i = 0; i < kInitialCommandHandlers; ++i) {
        auto* handler = new CommandHandler(this);
        handler->m_pooled = true;
        m_freeCommandHandlers.InsertTail(handler);
    }
}

Device::~Device()
{
    TRACE_SCOPE(this, "Device::~Device", kTraceLowEnter);
    StopPrivateRequests();
    // The streams first (they use the queues, the pool and the host port), then the queues.
    if (m_streamProcessorManager != nullptr)
        m_streamProcessorManager->StopAllStreams();
    // Then the mailbox threads, as at a stop: a message the response thread is still handling (an
    // input-state change, say) must never meet the stream manager, the queues or the filter tables
    // going away. A device destroyed after its stop or removal finds them ended already.
    if (m_protocolManager != nullptr)
        m_protocolManager->Stop();
    DestroyStreamProcessorQueues();
    delete m_streamProcessorManager;
    m_streamProcessorManager = nullptr;
    delete m_pinStreamFactory;
    m_pinStreamFactory = nullptr;
    // The thread works on this object: it must have ended before the memory goes.
    StopOldDmaBufferThread();
    ReleaseDmaAdapter();
    if (m_filters != nullptr)
        FreePool(m_filters);
    m_filters = nullptr;
    delete m_automation;
    m_automation = nullptr;
    // The manager's stop has given back every record the DSP held.
    delete m_protocolManager;
    m_protocolManager = nullptr;
    KPLXFastStackLock hold(&m_commandLock, this, "Device::~Device", __LINE__);
    while (auto* handler = static_cast<CommandHandler*>(m_busyCommandHandlers.RemoveHead())) {
        TRACE_LINE(this, "Device::~Device", kTraceWarnings, "Command record 0x%08x still in use at removal",
                   handler->GetHostTag());
        delete handler;
    }
    while (auto* handler = static_cast<CommandHandler*>(m_freeCommandHandlers.RemoveHead()))
        delete handler;
}

void Device::SetInstanceId(LONG id)
{
    m_instanceId = id;
    if (id > 0) {
        _snprintf(m_traceName, sizeof(m_traceName) - 1, "Device %d", static_cast<int>(id));
        _snprintf(m_deviceName, sizeof(m_deviceName) - 1, "Talvexon HD %d", static_cast<int>(id));
    } else {
        _snprintf(m_traceName, sizeof(m_traceName) - 1, "Device");
        m_deviceName[0] = 0;
    }
}

void Device::NotifyPerformanceChange(const PerformanceNotification& notification)
{
    TRACE_SCOPE(this, "Device::NotifyPerformanceChange", kTraceLowEnter, "pin kind %u", notification.pinKind);
    FireNotificationEvent(PROPSETID_BREVICOR_PERFORMANCE, sizeof(notification), &notification);
}

// ---- DMA common buffers with delayed release ---------------------------------------------------

NTSTATUS Device::StartOldDmaBufferThread()
{
    TRACE_SCOPE(this, "Device::StartOldDmaBufferThread", kTraceLowEnter);
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::StartOldDmaBufferThread", __LINE__);
    if (m_oldDmaThreadRunning)
        return STATUS_SUCCESS;
    // Both events stay signalled after a stop; a new thread needs them clear.
    KeClearEvent(m_oldDmaStopEvent.Event());
    KeClearEvent(m_oldDmaStoppedEvent.Event());
    const NTSTATUS status = m_oldDmaBufferThread.Start(&Device::ProcessOldDMABuffersThread, this, kSystemThreadAllAccess);
    if (!NT_SUCCESS(status)) {
        // Without the thread, FreeDmaBuffer releases at once.
        TRACE_LINE(this, "Device::StartOldDmaBufferThread", kTraceWarnings,
                   "The old DMA buffer thread could not be started: 0x%08x", static_cast<unsigned>(status));
        return status;
    }
    m_oldDmaThreadRunning = true;
    return STATUS_SUCCESS;
}

void Device::StopOldDmaBufferThread()
{
    TRACE_SCOPE(this, "Device::StopOldDmaBufferThread", kTraceLowEnter);
    bool running;
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::StopOldDmaBufferThread", __LINE__);
        running = m_oldDmaThreadRunning;
        m_oldDmaThreadRunning = false;
    }
    if (running) {
        KeSetEvent(m_oldDmaStopEvent.Event(), IO_NO_INCREMENT, FALSE);
        KeWaitForSingleObject(m_oldDmaStoppedEvent.Event(), Executive, KernelMode, FALSE, nullptr);
        // The stopped event comes just before the routine returns; the thread still touches its
        // wrapper after that, so wait for the thread itself before the wrapper may go.
        KeWaitForSingleObject(m_oldDmaBufferThread.ThreadObject(), Executive, KernelMode, FALSE, nullptr);
    }
    m_oldDmaBufferThread.Release();
}

NTSTATUS Device::GetDmaAdapter(PDEVICE_OBJECT physicalDeviceObject)
{
    TRACE_SCOPE(this, "Device::GetDmaAdapter", kTraceLowEnter);
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::GetDmaAdapter", __LINE__);
        if (m_dmaAdapter != nullptr)
            return STATUS_SUCCESS;
        DEVICE_DESCRIPTION description{};
        description.Version = DEVICE_DESCRIPTION_VERSION;
        description.Master = TRUE;
        description.ScatterGather = FALSE;
        description.Dma32BitAddresses = TRUE;
        description.IgnoreCount = TRUE;
        description.InterfaceType = PCIBus;
        description.DmaWidth = Width32Bits;
        description.MaximumLength = kDmaMaximumTransfer;
        ULONG mapRegisters = kDmaMapRegisters;
        m_dmaAdapter = IoGetDmaAdapter(physicalDeviceObject, &description, &mapRegisters);
        if (m_dmaAdapter == nullptr)
            return STATUS_UNSUCCESSFUL;
        TRACE_LINE(this, "Device::GetDmaAdapter", kTraceHighs, "DMA adapter 0x%p, %u map registers", m_dmaAdapter,
                   static_cast<unsigned>(mapRegisters));
    }
    // A stop ended the thread; the buffers of this start need it again.
    StartOldDmaBufferThread();
    return STATUS_SUCCESS;
}

void Device::ReleaseDmaAdapter()
{
    TRACE_SCOPE(this, "Device::ReleaseDmaAdapter", kTraceLowEnter);
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::ReleaseDmaAdapter", __LINE__);
        if (m_dmaAdapter == nullptr)
            return;
    }
    StopOldDmaBufferThread();
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::ReleaseDmaAdapter", __LINE__);
    // Buffers given back after the thread's last pass, and any still handed out, belong to this
    // adapter: release them now rather than through an adapter that is gone.
    ReleaseAllDmaBuffers();
    m_dmaAdapter->DmaOperations->PutDmaAdapter(m_dmaAdapter);
    m_dmaAdapter = nullptr;
}

PVOID Device::AllocateDmaBuffer(ULONG length, PHYSICAL_ADDRESS* logicalAddress)
{
    TRACE_SCOPE(this, "Device::AllocateDmaBuffer", kTraceLowEnter, "length=%u", static_cast<unsigned>(length));
    if (logicalAddress == nullptr)
        return nullptr;
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::AllocateDmaBuffer", __LINE__);
    logicalAddress->QuadPart = 0;
    // One pass through the kept buffers, each going to the back, so the search starts elsewhere
    // next time.
    for (ULONG i = m_oldDmaBufferCount; i > 0; --i) {
        auto* buffer = static_cast<OldDmaBuffer*>(m_oldDmaBuffers.RemoveHead());
        if (buffer->length == length) {
            --m_oldDmaBufferCount;
            m_dmaBuffersInUse.InsertTail(buffer);
            *logicalAddress = buffer->logicalAddress;
            return buffer->virtualAddress;
        }
        m_oldDmaBuffers.InsertTail(buffer);
    }
    if (m_dmaAdapter == nullptr) {
        TRACE_LINE(this, "Device::AllocateDmaBuffer", kTraceWarnings, "No DMA adapter for a buffer of %u bytes",
                   static_cast<unsigned>(length));
        return nullptr;
    }
    // The record first: a buffer this device cannot account for would be refused when given back.
    auto* buffer = static_cast<OldDmaBuffer*>(DriverAllocateNoRaise(sizeof(OldDmaBuffer)));
    if (buffer == nullptr)
        return nullptr;
    new (buffer) OldDmaBuffer{};
    buffer->virtualAddress =
        m_dmaAdapter->DmaOperations->AllocateCommonBuffer(m_dmaAdapter, length, &buffer->logicalAddress, FALSE);
    if (buffer->virtualAddress == nullptr) {
        DriverFree(buffer);
        return nullptr;
    }
    buffer->length = length;
    m_dmaBuffersInUse.InsertTail(buffer);
    *logicalAddress = buffer->logicalAddress;
    return buffer->virtualAddress;
}

NTSTATUS Device::FreeDmaBuffer(ULONG length, PHYSICAL_ADDRESS logicalAddress, PVOID virtualAddress)
{
    TRACE_SCOPE(this, "Device::FreeDmaBuffer", kTraceLowEnter, "length=%u", static_cast<unsigned>(length));
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::FreeDmaBuffer", __LINE__);
    OldDmaBuffer* buffer = nullptr;
    for (void* element = m_dmaBuffersInUse.First(); element != nullptr; element = m_dmaBuffersInUse.Next(element)) {
        auto* candidate = static_cast<OldDmaBuffer*>(element);
        if (candidate->virtualAddress == virtualAddress && candidate->length == length &&
            candidate->logicalAddress.QuadPart == logicalAddress.QuadPart) {
            buffer = candidate;
            break;
        }
    }
    if (buffer == nullptr) {
        // Freeing what this device never handed out would release someone else's memory.
        TRACE_LINE(this, "Device::FreeDmaBuffer", kTraceWarnings,
                   "Refused to free a DMA buffer this device did not allocate: length=%u pVirtualAddress=0x%p, "
                   "physicalAddress=0x%08x %08x",
                   static_cast<unsigned>(length), virtualAddress, static_cast<unsigned>(logicalAddress.u.HighPart),
                   static_cast<unsigned>(logicalAddress.u.LowPart));
        return STATUS_INVALID_PARAMETER;
    }
    m_dmaBuffersInUse.Remove(buffer);
    if (!m_oldDmaThreadRunning) {
        // Nothing would age it: release it now.
        ReleaseDmaBuffer(buffer);
        return STATUS_SUCCESS;
    }
    buffer->age = kOldDmaBufferAge;
    m_oldDmaBuffers.InsertTail(buffer);
    ++m_oldDmaBufferCount;
    return STATUS_SUCCESS;
}

void Device::FreeOldDMAMemory(bool force)
{
    TRACE_SCOPE(this, "Device::FreeOldDMAMemory", kTraceLowEnter, "force=%d", force ? 1 : 0);
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::FreeOldDMAMemory", __LINE__);
    for (ULONG i = m_oldDmaBufferCount; i > 0; --i) {
        auto* buffer = static_cast<OldDmaBuffer*>(m_oldDmaBuffers.RemoveHead());
        if (buffer->age > 0)
            --buffer->age;
        if (force || buffer->age == 0) {
            --m_oldDmaBufferCount;
            ReleaseDmaBuffer(buffer);
        } else {
            m_oldDmaBuffers.InsertTail(buffer);
        }
    }
}

void Device::ProcessOldDMABuffersThread(PVOID context)
{
    auto* device = static_cast<Device*>(context);
    TRACE_SCOPE(device, "Device::ProcessOldDMABuffersThread", kTraceLowEnter);
    LARGE_INTEGER tick;
    tick.QuadPart = kOldDmaBufferTick;
    while (KeWaitForSingleObject(device->m_oldDmaStopEvent.Event(), Executive, KernelMode, FALSE, &tick) ==
           STATUS_TIMEOUT)
        device->FreeOldDMAMemory(false);
    device->FreeOldDMAMemory(true);
    KeSetEvent(device->m_oldDmaStoppedEvent.Event(), IO_NO_INCREMENT, FALSE);
}

ULONG Device::GetOldDmaBufferCount()
{
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::GetOldDmaBufferCount", __LINE__);
    return m_oldDmaBufferCount;
}

ULONG Device::GetDmaBuffersInUseCount()
{
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::GetDmaBuffersInUseCount", __LINE__);
    return m_dmaBuffersInUse.Count();
}

void Device::ReleaseDmaBuffer(OldDmaBuffer* buffer)
{
    TRACE_LINE(this, "Device::ReleaseDmaBuffer", kTraceLows,
               "length=%u pVirtualAddress=0x%p, physicalAddress=0x%08x %08x", static_cast<unsigned>(buffer->length),
               buffer->virtualAddress, static_cast<unsigned>(buffer->logicalAddress.u.HighPart),
               static_cast<unsigned>(buffer->logicalAddress.u.LowPart));
    if (m_dmaAdapter != nullptr)
        m_dmaAdapter->DmaOperations->FreeCommonBuffer(m_dmaAdapter, buffer->length, buffer->logicalAddress,
                                                      buffer->virtualAddress, FALSE);
    DriverFree(buffer);
}

void Device::ReleaseAllDmaBuffers()
{
    FreeOldDMAMemory(true);
    while (auto* buffer = static_cast<OldDmaBuffer*>(m_dmaBuffersInUse.RemoveHead())) {
        TRACE_LINE(this, "Device::ReleaseAllDmaBuffers", kTraceWarnings,
                   "DMA buffer of %u bytes still in use at release", static_cast<unsigned>(buffer->length));
        ReleaseDmaBuffer(buffer);
    }
}

// ---- DSP command records ------------------------------------------------------------------------

ULONG Device::NextCommandTag()
{
    // 0 marks the DSP's own messages: skipped when the counter wraps.
    for (;;) {
        const ULONG tag = static_cast<ULONG>(InterlockedIncrement(&m_lastCommandTag));
        if (tag != 0)
            return tag;
    }
}

CommandHandler* Device::AllocateCommandHandler()
{
    TRACE_SCOPE(this, "Device::AllocateCommandHandler", kTraceLowEnter);
    KPLXFastStackLock hold(&m_commandLock, this, "Device::AllocateCommandHandler", __LINE__);
    auto* handler = static_cast<CommandHandler*>(m_freeCommandHandlers.RemoveHead());
    if (!handler) {
        void* memory = DriverAllocateNoRaise(sizeof(CommandHandler));
        if (!memory) {
            TRACE_LINE(this, "Device::AllocateCommandHandler", kTraceErrors, "No memory for a command record");
            return nullptr;
        }
        handler = ::new (memory) CommandHandler(this);
    }
    handler->m_pooled = false;
    handler->Initialize();
    m_busyCommandHandlers.InsertTail(handler);
    return handler;
}

void Device::FreeCommandHandler(CommandHandler* handler)
{
    TRACE_SCOPE(this, "Device::FreeCommandHandler", kTraceLowEnter);
    if (!handler)
        return;
    KPLXFastStackLock hold(&m_commandLock, this, "Device::FreeCommandHandler", __LINE__);
    if (handler->m_pooled) {
        TRACE_LINE(this, "Device::FreeCommandHandler", kTraceWarnings, "Command record 0x%08x freed twice",
                   handler->GetHostTag());
        return;
    }
    if (handler->m_abandoned) {
        handler->m_freeWhenReleased = true;
        return;
    }
    m_busyCommandHandlers.Remove(handler);
    handler->m_pooled = true;
    m_freeCommandHandlers.InsertTail(handler);
}

void Device::AbandonCommandHandler(CommandHandler* handler)
{
    TRACE_SCOPE(this, "Device::AbandonCommandHandler", kTraceLowEnter);
    KPLXFastStackLock hold(&m_commandLock, this, "Device::AbandonCommandHandler", __LINE__);
    handler->m_abandoned = true;
    handler->m_freeWhenReleased = false;
}

void Device::ReleaseAbandonedCommandHandler(CommandHandler* handler)
{
    TRACE_SCOPE(this, "Device::ReleaseAbandonedCommandHandler", kTraceLowEnter);
    bool free;
    {
        KPLXFastStackLock hold(&m_commandLock, this, "Device::ReleaseAbandonedCommandHandler", __LINE__);
        handler->m_abandoned = false;
        free = handler->m_freeWhenReleased;
        handler->m_freeWhenReleased = false;
    }
    if (free)
        FreeCommandHandler(handler);
}

ULONG Device::GetFreeCommandHandlerCount()
{
    KPLXFastStackLock hold(&m_commandLock, this, "Device::GetFreeCommandHandlerCount", __LINE__);
    return m_freeCommandHandlers.Count();
}

ULONG Device::GetBusyCommandHandlerCount()
{
    KPLXFastStackLock hold(&m_commandLock, this, "Device::GetBusyCommandHandlerCount", __LINE__);
    return m_busyCommandHandlers.Count();
}

void Device::KillStreamsPendingCommands(LogicalStreamHandle stream)
{
    TRACE_SCOPE(this, "Device::KillStreamsPendingCommands", kTraceLowEnter, "handle=0x%08x", stream.value);
    if (stream.IsNull())
        return;
    ULONG killed = 0;
    KPLXFastStackLock hold(&m_commandLock, this, "Device::KillStreamsPendingCommands", __LINE__);
    for (void* element = m_busyCommandHandlers.First(); element != nullptr;
         element = m_busyCommandHandlers.Next(element)) {
        auto* handler = static_cast<CommandHandler*>(element);
        if (handler->GetStream() == stream) {
            handler->m_killed.store(1, std::memory_order_release);
            ++killed;
        }
    }
    TRACE_LINE(this, "Device::KillStreamsPendingCommands", kTraceLows, "%u outstanding records of stream 0x%08x killed",
               static_cast<unsigned>(killed), stream.value);
}

bool Device::ValidateLogicalStream(LogicalStreamHandle stream, LogicalStreamReference* reference)
{
    TRACE_SCOPE(this, "Device::ValidateLogicalStream", kTraceLowEnter, "handle=0x%08x", stream.value);
    return m_streamProcessorManager != nullptr && m_streamProcessorManager->ValidateLogicalStream(stream, reference);
}

// ---- Input state ---------------------------------------------------------------------------------

namespace {

// The input-state message's words, from response offset 24.
constexpr ULONG kInputStateWordsOffset = 24;
constexpr ULONG kInputStateWords = 9;
enum InputStateWord : ULONG { kFormat, kHorizontal, kVertical, kBlankingCounted, kBlankingCaptured, kAudioRates2,
                              kAudioRates3, kAudioPairs, kAudioSound };
constexpr ULONG kFormatHighDefinition = 0x1;
constexpr ULONG kFormatThousandOne = 0x2;
constexpr ULONG kFormatInterlaced = 0x4;
constexpr ULONG kFormatGoodSet = 0xA00188;
constexpr ULONG kFormatGoodClear = 0x4C0000;
// The audio records: input type and I/O index 10, the standard by the clock.
constexpr ULONG kAudioRecordType = 10;
constexpr UCHAR kAudioRecordIoIndex = 10;
constexpr ULONG kAudioStandardHd = 0x2000000;
constexpr ULONG kAudioStandardSd = 0x1000000;
// The audio record's fields beyond the video layout.
constexpr ULONG kAudioRecordPairCount = 58;
constexpr ULONG kAudioRecordPairIndex = 62;

struct DspErrorMessage {
    NTSTATUS id;
    const char* format;
};
const DspErrorMessage kDspErrors[] = {
    {MSG_FIFO_OVERRUN_ERROR_OCCURRED_DSP_LEVEL, "A %s FIFO overrun error occurred at the DSP level"},
    {MSG_FRAME_SYNCRONIZATION_ERROR_OCCURRED_DSP_LEVEL, "A %s frame syncronization error occurred at the DSP level"},
    {MSG_FRAME_SHORT_FIELD_ERROR_OCCURRED_DSP, "A %s frame short field error occurred at the DSP level"},
    {MSG_FRAME_LONG_FIELD_ERROR_OCCURRED_DSP, "A %s frame long field error occurred at the DSP level"},
    {MSG_TOP_FRAME_ERROR_OCCURRED_DSP_LEVEL, "A %s top of frame error occurred at the DSP level"},
};

void PutWord(BrevicorInputDetectRecord* record, ULONG offset, ULONG value)
{
    std::memcpy(reinterpret_cast<UCHAR*>(record) + offset, &value, sizeof(value));
}

} // namespace

ULONG Device::DetectStandard(bool highDefinition, bool interlaced, ULONG lines, ULONG rate)
{
    // Rates in hundredths; 29.97 covers 2997 to 2999.
    if (!highDefinition) {
        if (interlaced)
            return lines < 576 ? 0x1 : 0x2;
        return lines == 483 ? 0x800000 : 0;
    }
    if (lines < 1035) {
        if (rate > 5994)
            return 0x4;
        if (rate == 5994)
            return 0x8;
        if (rate >= 5000)
            return 0x10;
        if (rate >= 3000)
            return 0x20;
        if (rate >= 2997)
            return 0x40;
        if (rate >= 2500)
            return 0x20000;
        if (rate >= 2400)
            return 0x80;
        return 0x100;
    }
    if (lines < 1080)
        return rate >= 3000 ? 0x200000 : 0x400000;
    if (rate >= 3000)
        return interlaced ? 0x200 : 0x1000;
    if (rate >= 2997)
        return interlaced ? 0x400 : 0x2000;
    if (rate >= 2500)
        return interlaced ? 0x800 : 0x4000;
    if (rate >= 2400)
        return 0x8000;
    return 0x10000;
}

void Device::MeasureVideoInput(const ULONG words[9], ULONG widthLimit, ULONG heightLimit,
                               BrevicorInputDetectRecord* record)
{
    const ULONG format = words[kFormat];
    const bool interlaced = (format & kFormatInterlaced) != 0;
    const bool highDefinition = (format & kFormatHighDefinition) != 0;
    record->state = kInputStateSignalPresent;
    record->activePixels = words[kHorizontal] & 0x7FF;
    record->blankingPixels = (words[kHorizontal] >> 11) & 0x1FFF;
    record->activeLinesField1 = words[kVertical] & 0xFFF;
    record->activeLinesField2 = interlaced ? (words[kVertical] >> 12) & 0xFFF : 0;
    const ULONG captured0 = words[kBlankingCaptured] & 0x7F;
    const ULONG captured1 = (words[kBlankingCaptured] >> 8) & 0x7F;
    const ULONG counted = (words[kBlankingCounted] & 0x7F) + ((words[kBlankingCounted] >> 8) & 0x7F);
    if (counted != captured0 + captured1) {
        // The counted lines split in halves, the odd one to field 1.
        record->blankingLinesField1 = counted / 2 + counted % 2;
        record->blankingLinesField2 = counted / 2;
    } else {
        record->blankingLinesField1 = captured0;
        record->blankingLinesField2 = captured1;
    }
    const ULONG activeLines = record->activeLinesField1 + record->activeLinesField2;
    const ULONG totalLines = activeLines + record->blankingLinesField1 + record->blankingLinesField2;
    ULONG totalClocks = totalLines * (record->activePixels + record->blankingPixels);
    if (IsBeyondPerformanceLimit(activeLines, heightLimit) ||
        IsBeyondPerformanceLimit(record->activePixels, widthLimit) || totalClocks == 0) {
        TRACE_LINE(nullptr, "Device::ProcessInputStateChanged", kTraceWarnings, "Invalid signal");
        return;
    }
    double clock;
    if (highDefinition) {
        clock = (format & kFormatThousandOne) != 0 ? 74.176e6 : 74.25e6;
    } else {
        totalClocks *= 2;
        clock = 27e6;
    }
    const auto rate = static_cast<ULONG>(RoundToInt(clock / static_cast<double>(totalClocks) * 100.0));
    const ULONG standard = DetectStandard(highDefinition, interlaced, activeLines, rate);
    TRACE_LINE(nullptr, "Device::ProcessInputStateChanged", kTraceHighs, "Total clocks = %d, Frame rate = %d",
               static_cast<int>(totalClocks), static_cast<int>(rate));
    record->frameRate = rate;
    if (standard == 0)
        return; // a signal, but no standard the board knows: state 1
    record->detectedStandard = standard;
    record->state = kInputStateStandardDetected;
}

void Device::ProcessInputStateChanged(CommandHandler* handler)
{
    TRACE_SCOPE(this, "Device::ProcessInputStateChanged", kTraceLowEnter);
    ULONG words[kInputStateWords];
    std::memcpy(words, handler->ResponseArea() + kInputStateWordsOffset, sizeof(words));
    const ULONG format = words[kFormat];
    TRACE_LINE(this, "Device::ProcessInputStateChanged", kTraceHighs, "New format detected = 0x%08x", format);
    const bool good = (format & kFormatGoodSet) == kFormatGoodSet && (format & kFormatGoodClear) == 0;
    const ULONG videoError = (format >> 24) & 0xF;
    const ULONG audioError = (format >> 28) & 0xF;
    if (videoError >= 1 && videoError <= 5)
        TRACE_STATUS(this, "Device::ProcessInputStateChanged", kTraceErrors, kDspErrors[videoError - 1].id,
                     kDspErrors[videoError - 1].format, "VIDEO");
    if (audioError >= 1 && audioError <= 4)
        TRACE_STATUS(this, "Device::ProcessInputStateChanged", kTraceErrors, kDspErrors[audioError - 1].id,
                     kDspErrors[audioError - 1].format, "AUDIO");

    PerformanceSettings limits{};
    limits.pinKind = 1;
    if (m_driver == nullptr || !NT_SUCCESS(m_driver->GetPerformanceSettings(&limits))) {
        limits.maximumVideoWidth = 1920;
        limits.maximumVideoHeight = 1080;
    }
    const ULONG videoCount = m_videoInputs.GetInputCount();
    const ULONG audioCount = m_audioInputs.GetInputCount();
    auto* records = static_cast<BrevicorInputDetectRecord*>(
        ExAllocatePoolWithTag(PagedPool, sizeof(BrevicorInputDetectRecord) * (videoCount + audioCount + 1), kDriverPoolTag));
    if (records == nullptr) {
        TRACE_LINE(this, "Device::ProcessInputStateChanged", kTraceErrors, "No memory for the input-state records");
        return;
    }
    BrevicorInputDetectRecord* video = records;
    BrevicorInputDetectRecord* audio = records + videoCount;
    for (ULONG i = 0; i < videoCount; ++i) {
        BrevicorInputDetectRecord& record = video[i];
        std::memset(&record, 0, sizeof(record));
        record.listSelector = 1;
        record.inputNumber = i;
        ULONG type = 0;
        ULONG ioIndex = 0;
        if (const VideoInputItem* input = m_videoInputs.GetInput(i)) {
            input->GetInputType(&type);
            input->GetInputIOIndex(&ioIndex);
        }
        record.inputType = type;
        record.ioIndex = static_cast<UCHAR>(ioIndex);
        if (ioIndex == 0 && good)
            MeasureVideoInput(words, limits.maximumVideoWidth, limits.maximumVideoHeight, &record);
        SetVideoInputState(&record, nullptr);
        NotifyInputDetect(false, &record);
    }
    const bool audioPresent = (words[kAudioSound] & 0xFFFF) != 0;
    ULONG audioRecords = 0;
    for (ULONG i = 0; i < audioCount; ++i) {
        ULONG ioIndex = 0;
        if (!NT_SUCCESS(m_audioInputs.GetInputIOIndex(i, &ioIndex)) || ioIndex != kAudioRecordIoIndex)
            continue;
        BrevicorInputDetectRecord& record = audio[audioRecords++];
        std::memset(&record, 0, sizeof(record));
        record.inputNumber = i;
        record.inputType = kAudioRecordType;
        record.ioIndex = kAudioRecordIoIndex;
        PutWord(&record, offsetof(BrevicorInputDetectRecord, activePixels), words[kAudioRates2]);
        PutWord(&record, offsetof(BrevicorInputDetectRecord, blankingPixels), words[kAudioRates3]);
        PutWord(&record, offsetof(BrevicorInputDetectRecord, activeLinesField1), words[kAudioPairs]);
        PutWord(&record, offsetof(BrevicorInputDetectRecord, activeLinesField2), words[kAudioSound]);
        ULONG pairCount = 0;
        ULONG pairIndex = 0;
        m_audioInputs.GetChannelPairCount(i, &pairCount);
        m_audioInputs.GetChannelPairIndex(i, &pairIndex);
        PutWord(&record, kAudioRecordPairCount, pairCount);
        PutWord(&record, kAudioRecordPairIndex, pairIndex);
        if (good && audioPresent) {
            record.state = kInputStateStandardDetected;
            record.detectedStandard = (format & kFormatHighDefinition) != 0 ? kAudioStandardHd : kAudioStandardSd;
        }
        {
            KPLXFastStackLock hold(&m_deviceLock, this, "Device::ProcessInputStateChanged", __LINE__);
            m_audioInputs.SetInputDetectInfo(i, &record);
        }
        NotifyInputDetect(true, &record);
    }
    HandInputStateToStreams(video, videoCount, audio, audioRecords);
    ExFreePool(records);
}

NTSTATUS Device::SetVideoInputState(const BrevicorInputDetectRecord* record, bool* changed)
{
    if (changed != nullptr)
        *changed = false;
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    NTSTATUS status;
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::SetVideoInputState", __LINE__);
        VideoInputItem* input = m_videoInputs.GetInput(record->inputNumber);
        if (input == nullptr)
            return STATUS_INVALID_PARAMETER;
        BrevicorInputDetectRecord stored{};
        input->GetInputDetectInfo(&stored);
        if (changed != nullptr)
            *changed = std::memcmp(&stored, record, sizeof(stored)) != 0;
        status = input->SetInputDetectInfo(record);
    }
    // Each open video capture filter keeps its own copy of the input's record.
    KPLXFastStackLock tables(&m_filterTableLock, this, "Device::SetVideoInputState", __LINE__);
    for (ULONG i = 0; i < kFilterTableSlots; ++i) {
        if (m_videoCaptureFilters[i] == nullptr)
            continue;
        VideoInputItems* items = m_videoCaptureFilters[i]->GetVideoInputItems();
        if (items == nullptr || items == &m_videoInputs)
            continue;
        if (VideoInputItem* own = items->GetInput(record->inputNumber))
            own->SetInputDetectInfo(record);
    }
    return status;
}

void Device::AdoptVideoInputs(VideoInputItems* filterInputs, VideoInputItems* loaded)
{
    if (filterInputs == nullptr || loaded == nullptr)
        return;
    KPLXFastStackLock tables(&m_filterTableLock, this, "Device::AdoptVideoInputs", __LINE__);
    filterInputs->Exchange(loaded);
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::AdoptVideoInputs", __LINE__);
    for (ULONG i = 0; i < filterInputs->GetInputCount(); ++i) {
        const VideoInputItem* known = m_videoInputs.GetInput(i);
        if (known == nullptr)
            break;
        BrevicorInputDetectRecord record{};
        known->GetInputDetectInfo(&record);
        filterInputs->GetInput(i)->SetInputDetectInfo(&record);
    }
}

NTSTATUS Device::GetVideoInputDetectRecord(ULONG input, BrevicorInputDetectRecord* record)
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::GetVideoInputDetectRecord", __LINE__);
    const VideoInputItem* item = m_videoInputs.GetInput(input);
    if (item == nullptr)
        return STATUS_INVALID_PARAMETER;
    return item->GetInputDetectInfo(record);
}

NTSTATUS Device::GetAudioInputDetectRecord(ULONG input, BrevicorInputDetectRecord* record)
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::GetAudioInputDetectRecord", __LINE__);
    return m_audioInputs.GetInputDetectInfo(input, record);
}

void Device::HandInputStateToStreams(const BrevicorInputDetectRecord* videoRecords, ULONG videoCount,
                                     const BrevicorInputDetectRecord* audioRecords, ULONG audioCount)
{
    const ULONG currentVideo = m_videoInputs.GetSecondWord();
    for (ULONG slot = 0; slot < LogicalStreamTable::kSlots; ++slot) {
        LogicalStreamReference reference;
        if (!reference.Take(&m_streamTable, m_streamTable.HandleOfSlot(slot)))
            continue;
        LogicalStream* stream = reference.Get();
        if (stream->GetStreamType() == LogicalStreamType::Video) {
            if (currentVideo < videoCount)
                stream->ProcessInputStateChanged(reinterpret_cast<const UCHAR*>(&videoRecords[currentVideo]));
            continue;
        }
        // An audio stream takes its own input's record.
        const auto* audioStream = dynamic_cast<const AudioStream*>(stream);
        for (ULONG i = 0; i < audioCount; ++i)
            if (audioStream == nullptr || audioRecords[i].inputNumber == audioStream->GetInputIndex()) {
                stream->ProcessInputStateChanged(reinterpret_cast<const UCHAR*>(&audioRecords[i]));
                break;
            }
    }
}

void Device::NotifyInputDetect(bool audio, const BrevicorInputDetectRecord* record)
{
    TRACE_LINE(this, "Device::NotifyInputDetect", kTraceLows, "%s input %u: state %u, standard 0x%08x",
               audio ? "Audio" : "Video", static_cast<unsigned>(record->inputNumber),
               static_cast<unsigned>(record->state), static_cast<unsigned>(record->detectedStandard));
    // The tables' lock alone, as FireNotificationEvent: this runs on the DSP's response thread.
    BasicFilter* const* filters = audio ? m_audioCaptureFilters : m_videoCaptureFilters;
    KPLXFastStackLock hold(&m_filterTableLock, this, "Device::NotifyInputDetect", __LINE__);
    for (ULONG i = 0; i < kFilterTableSlots; ++i)
        if (filters[i] != nullptr)
            GenerateNotificationEvent(filters[i], PROPSETID_BREVICOR_INPUTDETECT, kInputDetectNotificationBytes,
                                      reinterpret_cast<const UCHAR*>(record) + kPropertyHeaderBytes);
}

// ---- Stream engine on the board ----------------------------------------------------------------

StreamProcessorManager* Device::MakeStreamProcessorManager()
{
    return new StreamProcessorManager(this, nullptr);
}

void Device::SetStreamProcessorManager(StreamProcessorManager* manager)
{
    if (m_streamProcessorManager != nullptr)
        m_streamProcessorManager->StopAllStreams();
    delete m_streamProcessorManager;
    m_streamProcessorManager = manager;
}

void Device::SetPhysicalStreamFactory(PhysicalStreamFactory* factory)
{
    if (m_streamProcessorManager != nullptr)
        m_streamProcessorManager->SetFactory(factory);
}

void Device::AcquireKsDevice()
{
    if (m_ksDevice != nullptr)
        KsAcquireDevice(m_ksDevice);
}

void Device::ReleaseKsDevice()
{
    if (m_ksDevice != nullptr)
        KsReleaseDevice(m_ksDevice);
}

KAFFINITY Device::ComputeProcessorMask(ULONG processors, LONG instanceId)
{
    // The board numbered n runs on the processors counted down from the highest, two a board; a
    // board numbered beyond the processor count shifts by the count. Shift counts wrap at 32 and
    // the shift right carries the sign, as the 32-bit arithmetic of the mask always did.
    const LONG shift = static_cast<LONG>(processors) < instanceId ? static_cast<LONG>(processors) : 2 * instanceId - 2;
    const LONG top = static_cast<LONG>(1u << ((processors - 1) & 31));
    return static_cast<ULONG>(top >> (static_cast<ULONG>(shift) & 31));
}

void Device::CreateStreamProcessorQueues()
{
    TRACE_SCOPE(this, "Device::CreateStreamProcessorQueues", kTraceLowEnter);
    const ULONG processors = static_cast<ULONG>(KeNumberProcessors);
    const ULONG mask = static_cast<ULONG>(ComputeProcessorMask(processors, m_instanceId));
    const ULONG audioMask = static_cast<ULONG>(static_cast<LONG>(mask) >> 1);
    TRACE_LINE(this, "Device::OnAdd", kTraceHighs, "Setting VIDEO stream processor queue affinity to 0x%08x", mask);
    if (m_videoQueue == nullptr)
        m_videoQueue = new StreamProcessorQueue(kStreamProcessorQueueCapacity, kVideoQueuePriority, mask, &m_streamTable);
    TRACE_LINE(this, "Device::OnAdd", kTraceHighs, "Setting AUDIO stream processor queue affinity to 0x%08x",
               audioMask);
    if (m_audioQueue == nullptr)
        m_audioQueue =
            new StreamProcessorQueue(kStreamProcessorQueueCapacity, kAudioQueuePriority, audioMask, &m_streamTable);
    // A queue without its ring or worker runs nothing: the board goes on without it.
    for (StreamProcessorQueue** queue : {&m_videoQueue, &m_audioQueue})
        if (*queue != nullptr && !NT_SUCCESS((*queue)->GetConstructionStatus())) {
            TRACE_LINE(this, "Device::OnAdd", kTraceErrors, "A stream processor queue could not be made: 0x%08x",
                       static_cast<unsigned>((*queue)->GetConstructionStatus()));
            delete *queue;
            *queue = nullptr;
        }
}

void Device::DestroyStreamProcessorQueues()
{
    TRACE_SCOPE(this, "Device::DestroyStreamProcessorQueues", kTraceLowEnter);
    for (StreamProcessorQueue** queue : {&m_videoQueue, &m_audioQueue}) {
        StreamProcessorQueue* gone = *queue;
        *queue = nullptr;
        if (gone == nullptr)
            continue;
        gone->PurgeWorkItems();
        gone->Uninitialize();
        delete gone;
    }
}

void Device::MarkStopped()
{
    TRACE_SCOPE(this, "Device::MarkStopped", kTraceLowEnter);
    // Under the device mutex: a property request under way ends first, and every one after it
    // finds the board stopped before any of it is taken down. The rest of the tear-down runs
    // without the mutex, since it waits for private requests whose threads may still be to come,
    // while a filter's close, which takes the mutex, has to go on meanwhile.
    KsDeviceHold hold(this);
    InterlockedExchange(&m_started, 0);
    StopAllStreams();
}

void Device::StopAllStreams()
{
    TRACE_SCOPE(this, "Device::StopAllStreams", kTraceLowEnter);
    if (m_streamProcessorManager == nullptr)
        return;
    // Under the device mutex no pin changes state meanwhile; the streams' own threads never take it.
    AcquireKsDevice();
    m_streamProcessorManager->StopAllStreams();
    ReleaseKsDevice();
}

NTSTATUS Device::OnSurpriseRemoval()
{
    TRACE_SCOPE(this, "Device::OnSurpriseRemoval", kTraceEnter);
    InterlockedExchange(&m_boardRemoved, 1);
    // First of all: a board that is gone answers nothing, so no sender may wait for it (a
    // property request under way, its sends refused now, ends at once).
    if (m_protocolManager != nullptr)
        m_protocolManager->MarkBoardRemoved();
    MarkStopped();
    ReleaseDiagnosticsBuffer();
    QuiescePrivateRequests();
    Invalidate();
    StopPrivateRequests();
    DestroyStreamProcessorQueues();
    return STATUS_SUCCESS;
}

bool Device::IsBoardRemoved() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_boardRemoved), 0, 0) != 0;
}

VOID NTAPI Device::DeviceSurpriseRemoval(PKSDEVICE device, PIRP irp)
{
    (void)irp;
    if (Device* self = FromKsDevice(device))
        self->OnSurpriseRemoval();
}

#define DEVICE_STREAM_TRANSITION(name)                                                                 \
    NTSTATUS Device::name(StreamProcessorPin* pin)                                                     \
    {                                                                                                  \
        TRACE_SCOPE(this, "Device::" #name, kTraceLowEnter);                                           \
        if (m_streamProcessorManager == nullptr)                                                       \
            return STATUS_INSUFFICIENT_RESOURCES;                                                      \
        AcquireKsDevice();                                                                             \
        const NTSTATUS status = m_streamProcessorManager->name(pin);                                   \
        ReleaseKsDevice();                                                                             \
        return status;                                                                                 \
    }
DEVICE_STREAM_TRANSITION(VideoStreamFromAcquireToPause)
DEVICE_STREAM_TRANSITION(VideoStreamFromPauseToRun)
DEVICE_STREAM_TRANSITION(VideoStreamFromRunToPause)
DEVICE_STREAM_TRANSITION(VideoStreamFromPauseToAcquire)
DEVICE_STREAM_TRANSITION(VideoStreamFromAcquireToStop)
DEVICE_STREAM_TRANSITION(AudioStreamFromAcquireToPause)
DEVICE_STREAM_TRANSITION(AudioStreamFromPauseToRun)
DEVICE_STREAM_TRANSITION(AudioStreamFromRunToPause)
DEVICE_STREAM_TRANSITION(AudioStreamFromPauseToAcquire)
DEVICE_STREAM_TRANSITION(AudioStreamFromAcquireToStop)
#undef DEVICE_STREAM_TRANSITION

NTSTATUS Device::VideoStreamFromStopToAcquire(StreamProcessorPin* pin, LogicalStream** stream)
{
    TRACE_SCOPE(this, "Device::VideoStreamFromStopToAcquire", kTraceLowEnter);
    if (m_streamProcessorManager == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    if (IsBoardRemoved())
        return STATUS_DEVICE_REMOVED; // its queues are gone with it
    AcquireKsDevice();
    const NTSTATUS status = m_streamProcessorManager->VideoStreamFromStopToAcquire(pin, stream);
    ReleaseKsDevice();
    return status;
}

NTSTATUS Device::AudioStreamFromStopToAcquire(StreamProcessorPin* pin, LogicalStream** stream)
{
    TRACE_SCOPE(this, "Device::AudioStreamFromStopToAcquire", kTraceLowEnter);
    if (m_streamProcessorManager == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    if (IsBoardRemoved())
        return STATUS_DEVICE_REMOVED; // its queues are gone with it
    AcquireKsDevice();
    const NTSTATUS status = m_streamProcessorManager->AudioStreamFromStopToAcquire(pin, stream);
    ReleaseKsDevice();
    return status;
}

NTSTATUS Device::ModifyActiveVideoAlgorithmChains(BasicFilter* filter, ULONG pinType)
{
    TRACE_SCOPE(this, "Device::ModifyActiveAlgorithmChains", kTraceLowEnter, "ePinType=%d", static_cast<int>(pinType));
    if (m_streamProcessorManager == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    return m_streamProcessorManager->ModifyActiveVideoAlgorithmChains(filter, pinType);
}

NTSTATUS Device::ModifyActiveAudioAlgorithmChains(BasicFilter* filter, ULONG pinType)
{
    TRACE_SCOPE(this, "Device::ModifyActiveAlgorithmChains", kTraceLowEnter, "ePinType=%d", static_cast<int>(pinType));
    if (m_streamProcessorManager == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    return m_streamProcessorManager->ModifyActiveAudioAlgorithmChains(filter, pinType);
}

NTSTATUS Device::CheckReady() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_started), 0, 0) != 0 ? STATUS_SUCCESS
                                                                                          : STATUS_DEVICE_NOT_READY;
}

// ---- Filter tables -------------------------------------------------------------------------------

BasicFilter** Device::FilterSlots(FilterTable table)
{
    switch (table) {
    case FilterTable::Crossbar:
        return m_crossbarFilters;
    case FilterTable::VideoCapture:
        return m_videoCaptureFilters;
    case FilterTable::AudioCapture:
        break;
    }
    return m_audioCaptureFilters;
}

LONG Device::GetFilterInstanceId(FilterTable table, BasicFilter* filter)
{
    TRACE_SCOPE(this, "Device::GetFilterInstanceId", kTraceLowEnter, "table=%d", static_cast<int>(table));
    if (filter == nullptr)
        return -1;
    BasicFilter** slots = FilterSlots(table);
    LONG id = -1;
    AcquireKsDevice();
    {
        KPLXFastStackLock hold(&m_filterTableLock, this, "Device::GetFilterInstanceId", __LINE__);
        LONG empty = -1;
        for (ULONG i = 0; i < kFilterTableSlots && id < 0; ++i) {
            if (slots[i] == filter)
                id = static_cast<LONG>(i) + 1; // the same id a filter got when it was stored
            else if (slots[i] == nullptr && empty < 0)
                empty = static_cast<LONG>(i);
        }
        if (id < 0 && empty >= 0) {
            slots[empty] = filter;
            id = empty + 1;
        }
    }
    ReleaseKsDevice();
    if (id < 0) {
        switch (table) {
        case FilterTable::Crossbar:
            TRACE_STATUS(this, "Device::GetFilterInstanceId", kTraceErrors, MSG_MAXIMUM_ALLOWED_ACTIVE_CROSSBAR_FILTER_COUNT,
                         "The maximum allowed active crossbar filter count of %u has been reached.",
                         static_cast<unsigned>(kFilterTableSlots));
            break;
        case FilterTable::VideoCapture:
            TRACE_STATUS(this, "Device::GetFilterInstanceId", kTraceErrors, MSG_MAXIMUM_ALLOWED_ACTIVE_VIDEO_CAPTURE_FILTER,
                         "The maximum allowed active video capture filter count of %u has been reached.",
                         static_cast<unsigned>(kFilterTableSlots));
            break;
        case FilterTable::AudioCapture:
            TRACE_STATUS(this, "Device::GetFilterInstanceId", kTraceErrors, MSG_MAXIMUM_ALLOWED_ACTIVE_AUDIO_CAPTURE_FILTER,
                         "The maximum allowed active audio capture filter count of %u has been reached.",
                         static_cast<unsigned>(kFilterTableSlots));
            break;
        }
    }
    return id;
}

void Device::RemoveFilterInstanceId(FilterTable table, BasicFilter* filter)
{
    TRACE_SCOPE(this, "Device::RemoveFilterInstanceId", kTraceLowEnter, "table=%d", static_cast<int>(table));
    BasicFilter** slots = FilterSlots(table);
    bool found = false;
    AcquireKsDevice();
    {
        KPLXFastStackLock hold(&m_filterTableLock, this, "Device::RemoveFilterInstanceId", __LINE__);
        for (ULONG i = 0; filter != nullptr && i < kFilterTableSlots && !found; ++i)
            if (slots[i] == filter) {
                slots[i] = nullptr;
                found = true;
            }
    }
    ReleaseKsDevice();
    if (found)
        return;
    const unsigned address = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(filter));
    switch (table) {
    case FilterTable::Crossbar:
        TRACE_STATUS(this, "Device::RemoveFilterInstanceId", kTraceErrors, MSG_CROSSBAR_FILTER_NOT_FOUND_CROSSBARFILTERS,
                     "Crossbar filter 0x%08x was not found in m_arrayCrossbarFilters.", address);
        break;
    case FilterTable::VideoCapture:
        TRACE_STATUS(this, "Device::RemoveFilterInstanceId", kTraceErrors,
                     MSG_VIDEO_CAPTURE_FILTER_NOT_FOUND_VIDEOCAPTUREFILTERS,
                     "Video capture filter 0x%08x was not found in m_arrayVideoCaptureFilters.", address);
        break;
    case FilterTable::AudioCapture:
        TRACE_STATUS(this, "Device::RemoveFilterInstanceId", kTraceErrors,
                     MSG_AUDIO_CAPTURE_FILTER_NOT_FOUND_AUDIOCAPTUREFILTERS,
                     "Audio capture filter 0x%08x was not found in m_arrayAudioCaptureFilters.", address);
        break;
    }
}

bool Device::FindMarriedFilter(FilterTable table, BasicFilter* filter, BasicFilter** married)
{
    TRACE_SCOPE(this, "Device::FindMarriedFilter", kTraceLowEnter, "table=%d", static_cast<int>(table));
    BasicFilter* found = nullptr;
    if (filter != nullptr) {
        BasicFilter** slots = FilterSlots(table);
        const ULONG deviceNumber = filter->GetDeviceNumber();
        KPLXFastStackLock hold(&m_filterTableLock, this, "Device::FindMarriedFilter", __LINE__);
        for (ULONG i = 0; i < kFilterTableSlots && found == nullptr; ++i)
            if (slots[i] != nullptr && slots[i]->GetDeviceNumber() == deviceNumber)
                found = slots[i];
    }
    if (married != nullptr)
        *married = found;
    return found != nullptr;
}

ULONG Device::GetFilterCount(FilterTable table)
{
    BasicFilter** slots = FilterSlots(table);
    ULONG count = 0;
    KPLXFastStackLock hold(&m_filterTableLock, this, "Device::GetFilterCount", __LINE__);
    for (ULONG i = 0; i < kFilterTableSlots; ++i)
        count += slots[i] != nullptr;
    return count;
}

ULONG Device::GetCurrentVideoInput(ULONG deviceNumber)
{
    return CurrentVideoInputOf(deviceNumber, nullptr);
}

ULONG Device::GetCurrentVideoInput(ULONG deviceNumber, ULONG filterIndex)
{
    return CurrentVideoInputOf(deviceNumber, &filterIndex);
}

ULONG Device::GetCurrentVideoInputOfProcess(ULONG deviceNumber, PEPROCESS process)
{
    return CurrentVideoInputOf(deviceNumber, nullptr, process);
}

ULONG Device::CurrentVideoInputOf(ULONG deviceNumber, const ULONG* filterIndex, PEPROCESS process)
{
    TRACE_SCOPE(this, "Device::GetCurrentVideoInput", kTraceLowEnter, "nDeviceNumber=%u", static_cast<unsigned>(deviceNumber));
    ULONG input = 0;
    bool found = false;
    AcquireKsDevice();
    {
        KPLXFastStackLock hold(&m_filterTableLock, this, "Device::GetCurrentVideoInput", __LINE__);
        // A capture-only application has no crossbar open: its video capture filter's input holds.
        for (BasicFilter** slots : {m_crossbarFilters, m_videoCaptureFilters}) {
            for (ULONG i = 0; i < kFilterTableSlots && !found; ++i) {
                BasicFilter* filter = slots[i];
                if (filter == nullptr || filter->GetDeviceNumber() != deviceNumber)
                    continue;
                if (filterIndex != nullptr && filter->GetInstanceId() != *filterIndex)
                    continue;
                if (process != nullptr && filter->GetOwningProcess() != process)
                    continue;
                if (VideoInputItems* items = filter->GetVideoInputItems()) {
                    input = items->GetSecondWord();
                    found = true;
                }
            }
            if (found)
                break;
        }
    }
    if (!found)
        input = m_videoInputs.GetSecondWord(); // "ActiveInput" as read at add or last routed
    ReleaseKsDevice();
    return input;
}

// ---- Crossbar ------------------------------------------------------------------------------------

namespace {

ULONG ActiveInputOf(BasicFilter* filter)
{
    VideoInputItems* items = filter->GetVideoInputItems();
    return items != nullptr ? items->GetSecondWord() : 0;
}

} // namespace

NTSTATUS Device::GetCrossbarCaps(BasicFilter* filter, KSPROPERTY_CROSSBAR_CAPS_S* caps)
{
    TRACE_SCOPE(this, "Device::GetCrossbarCaps", kTraceLowEnter);
    if (filter == nullptr || caps == nullptr)
        return STATUS_INVALID_PARAMETER;
    caps->NumberOfInputs = filter->GetInputCount();
    caps->NumberOfOutputs = 1;
    return STATUS_SUCCESS;
}

NTSTATUS Device::GetCrossbarPinInfo(BasicFilter* filter, KSPROPERTY_CROSSBAR_PININFO_S* request)
{
    TRACE_SCOPE(this, "Device::GetCrossbarPinInfo", kTraceLowEnter);
    if (filter == nullptr || request == nullptr)
        return STATUS_INVALID_PARAMETER;
    request->RelatedPinIndex = 0xFFFFFFFFu;
    if (request->Direction == KSPIN_DATAFLOW_IN) {
        // An index beyond the last input reads the last one's type.
        request->PinType = filter->TranslateInputType(filter->GetInputType(request->Index));
        request->Medium.Set = KSMEDIUMSETID_Standard;
        request->Medium.Id = 0;
    } else {
        request->PinType = KS_PhysConn_Video_VideoDecoder;
        request->Medium.Set = kCrossbarFilterReference;
        request->Medium.Id = filter->GetDeviceNumber();
    }
    request->Medium.Flags = 0;
    return STATUS_SUCCESS;
}

NTSTATUS Device::GetCrossbarRoute(BasicFilter* filter, KSPROPERTY_CROSSBAR_ROUTE_S* request)
{
    TRACE_SCOPE(this, "Device::GetCrossbarRoute", kTraceLowEnter);
    if (filter == nullptr || request == nullptr)
        return STATUS_INVALID_PARAMETER;
    request->IndexInputPin = ActiveInputOf(filter);
    request->IndexOutputPin = 0;
    request->CanRoute = 1;
    return STATUS_SUCCESS;
}

NTSTATUS Device::GetCrossbarCanRoute(BasicFilter* filter, KSPROPERTY_CROSSBAR_ROUTE_S* request)
{
    TRACE_SCOPE(this, "Device::GetCrossbarCanRoute", kTraceLowEnter);
    return GetCrossbarRoute(filter, request);
}

NTSTATUS Device::SetCrossbarRoute(BasicFilter* filter, KSPROPERTY_CROSSBAR_ROUTE_S* request)
{
    TRACE_SCOPE(this, "Device::SetCrossbarRoute", kTraceLowEnter);
    if (filter == nullptr || request == nullptr)
        return STATUS_INVALID_PARAMETER;
    const ULONG input = request->IndexInputPin;
    // Every per-input setting is indexed by the active input: one beyond the list is refused.
    if (input >= filter->GetInputCount() || request->IndexOutputPin != 0) {
        TRACE_LINE(this, "Device::SetCrossbarRoute", kTraceErrors,
                   "Route from input %u to output %u refused: %u inputs, one output", static_cast<unsigned>(input),
                   static_cast<unsigned>(request->IndexOutputPin), static_cast<unsigned>(filter->GetInputCount()));
        return STATUS_INVALID_PARAMETER;
    }
    const ULONG deviceNumber = filter->GetDeviceNumber();
    AcquireKsDevice();
    {
        KPLXFastStackLock hold(&m_filterTableLock, this, "Device::SetCrossbarRoute", __LINE__);
        for (BasicFilter** slots : {m_crossbarFilters, m_videoCaptureFilters})
            for (ULONG i = 0; i < kFilterTableSlots; ++i)
                if (slots[i] != nullptr && slots[i]->GetDeviceNumber() == deviceNumber)
                    if (VideoInputItems* items = slots[i]->GetVideoInputItems())
                        items->SetSecondWord(input);
    }
    if (input < m_videoInputs.GetInputCount())
        m_videoInputs.SetSecondWord(input);
    WriteVideoInputPropertyToRegistry(true, u"ActiveInput", input);
    ReleaseKsDevice();
    return STATUS_SUCCESS;
}

// ---- Information records -------------------------------------------------------------------------

NTSTATUS Device::GetDriverConfig(BrevicorInterfaceVersionRecord* record, ULONG* length)
{
    TRACE_SCOPE(this, "Device::GetDriverConfig", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    record->interfaceVersion = 1;
    if (length != nullptr)
        *length = sizeof(*record);
    return STATUS_SUCCESS;
}

NTSTATUS Device::GetInterfaceVersion(BrevicorInterfaceVersionRecord* record, ULONG* length)
{
    TRACE_SCOPE(this, "Device::GetInterfaceVersion", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    record->interfaceVersion = 1;
    if (length != nullptr)
        *length = sizeof(*record);
    return STATUS_SUCCESS;
}

NTSTATUS Device::GetDriverInformation(BrevicorDriverInformationRecord* record)
{
    TRACE_SCOPE(this, "Device::GetDriverInformation", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    record->manufacturer = kBrevicorManufacturerGuid;
    record->identifier2 = kBrevicorDriverInformationGuid2;
    record->identifier3 = GUID{};
    record->identifier4 = kBrevicorDriverInformationGuid4;
    record->value1 = 1;
    record->value2 = 1;
    record->value3 = 1;
    return STATUS_SUCCESS;
}

NTSTATUS Device::GetDeviceConfig(BrevicorDeviceConfigRecord* record)
{
    TRACE_SCOPE(this, "Device::GetDeviceConfig", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    for (ULONG i = 0; i < 4; ++i)
        record->driverVersion[i] = kDriverVersion[i];
    record->boardModel = static_cast<USHORT>(kBoardModelNumber);
    record->hardwareByteA = static_cast<USHORT>(m_pciBusNumber);
    record->hardwareByteB = static_cast<USHORT>(m_pciDeviceNumber);
    record->hardwareByteC = static_cast<USHORT>(m_pciFunctionNumber);
    record->hardwareWordD = static_cast<USHORT>(m_instanceId > 0 ? m_instanceId : 0);
    // EEPROM bytes 0 to 27, then 28 to 65 (the identification block and the word at 64), of one
    // image: a read of the EEPROM replaces it whole under the device lock.
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::GetDeviceConfig", __LINE__);
        std::memcpy(record->identification1, m_eeprom, sizeof(record->identification1));
        std::memcpy(record->identification2, m_eeprom + sizeof(record->identification1),
                    sizeof(record->identification2));
    }
    std::memset(record->productName, 0, sizeof(record->productName));
    static constexpr char16_t kProduct[] = u"Talvexon HD ";
    std::memcpy(record->productName, kProduct, sizeof(kProduct));
    return STATUS_SUCCESS;
}

// ---- Change notification -------------------------------------------------------------------------

void Device::BuildNotificationRecord(const GUID& propertySet, ULONG length, const void* data,
                                     BrevicorNotificationRecord* record)
{
    std::memset(record, 0, sizeof(*record));
    record->propertySet = propertySet;
    if (length > kNotificationPayloadBytes)
        length = kNotificationPayloadBytes;
    if (data != nullptr && length > 0)
        std::memcpy(record->payload, data, length);
}

void Device::GenerateNotificationEvent(BasicFilter* filter, const GUID& propertySet, ULONG length, const void* data)
{
    TRACE_SCOPE(this, "Device::GenerateNotificationEvent", kTraceLowEnter, "length=%u", static_cast<unsigned>(length));
    if (filter == nullptr || filter->GetKsFilter() == nullptr)
        return;
    BrevicorNotificationRecord record;
    BuildNotificationRecord(propertySet, length, data, &record);
    KsGenerateEvents(filter->GetKsFilter(), &KSEVENTSETID_BREVICOR_NOTIFICATION, 0, sizeof(record), &record, nullptr,
                     nullptr);
}

void Device::FireNotificationEvent(const GUID& propertySet, ULONG length, const void* data)
{
    TRACE_SCOPE(this, "Device::FireNotificationEvent", kTraceLowEnter, "length=%u", static_cast<unsigned>(length));
    // The tables' lock alone: this runs on the DSP's response thread too, which must never wait for
    // the device mutex. A filter closing meanwhile waits here before it leaves its table.
    KPLXFastStackLock hold(&m_filterTableLock, this, "Device::FireNotificationEvent", __LINE__);
    for (ULONG i = 0; i < kFilterTableSlots; ++i)
        if (m_videoCaptureFilters[i] != nullptr)
            GenerateNotificationEvent(m_videoCaptureFilters[i], propertySet, length, data);
}

// ---- Other services ------------------------------------------------------------------------------

void Device::DelayExecution(ULONG milliseconds, bool mayWait)
{
    TRACE_SCOPE(this, "Device::DelayExecution", kTraceLowEnter, "n=%u, wait=%d", static_cast<unsigned>(milliseconds),
                mayWait ? 1 : 0);
    if (mayWait) {
        LARGE_INTEGER interval;
        interval.QuadPart = -10000LL * static_cast<LONGLONG>(milliseconds);
        KeDelayExecutionThread(KernelMode, FALSE, &interval);
    } else {
        KeStallExecutionProcessor(milliseconds < kMaximumStallMicroseconds ? milliseconds : kMaximumStallMicroseconds);
    }
}

NTSTATUS Device::GetPeakLevel(ULONG input, ULONG pair, ULONG channel, LONG* value)
{
    return m_audioInputs.GetPeakLevel(input, pair, channel, value);
}

NTSTATUS Device::SetPeakLevel(ULONG input, ULONG pair, ULONG channel, LONG value)
{
    if (input >= m_audioInputs.GetInputCount())
        input = m_audioInputs.GetCurrentInput();
    return m_audioInputs.SetPeakLevel(input, pair, channel, value);
}

namespace {

struct StandardRow {
    ULONG standard;
    Device::StandardDimensions dimensions;
};

// Every detected standard bit with its frame size and time; any other bit is 525-line standard
// definition.
constexpr StandardRow kStandardRows[] = {
    {0x2, {720, 576, 400000}},          {0x4, {1280, 720, 166666}},         {0x8, {1280, 720, 166833}},
    {0x10, {1280, 720, 200000}},        {0x20, {1280, 720, 333333}},        {0x40, {1280, 720, 333667}},
    {0x80, {1280, 720, 416666}},        {0x100, {1280, 720, 417014}},       {0x200, {1920, 1080, 333333}},
    {0x400, {1920, 1080, 333667}},      {0x800, {1920, 1080, 400000}},      {0x1000, {1920, 1080, 333333}},
    {0x2000, {1920, 1080, 333667}},     {0x4000, {1920, 1080, 400000}},     {0x8000, {1920, 1080, 416666}},
    {0x10000, {1920, 1080, 417014}},    {0x20000, {1280, 720, 400000}},     {0x200000, {1920, 1035, 333333}},
    {0x400000, {1920, 1035, 333667}},   {0x800000, {720, 483, 166833}},
};
constexpr Device::StandardDimensions kOtherStandard = {720, 487, 333333};

} // namespace

Device::StandardDimensions Device::GetStandardDimensions(ULONG standard)
{
    TRACE_SCOPE(this, "Device::GetStandardDimensions", kTraceLowEnter, "standard=0x%08x", static_cast<unsigned>(standard));
    StandardDimensions dimensions = kOtherStandard;
    for (const StandardRow& row : kStandardRows)
        if (row.standard == standard) {
            dimensions = row.dimensions;
            break;
        }
    PerformanceSettings limits{};
    limits.pinKind = kPinKindCapture;
    if (m_driver != nullptr && NT_SUCCESS(m_driver->GetPerformanceSettings(&limits))) {
        if (IsBeyondPerformanceLimit(dimensions.width, limits.maximumVideoWidth))
            dimensions.width = limits.maximumVideoWidth;
        if (IsBeyondPerformanceLimit(dimensions.height, limits.maximumVideoHeight))
            dimensions.height = limits.maximumVideoHeight;
    }
    return dimensions;
}

// ---- Settings persistence ------------------------------------------------------------------------

// One registry value of a settings table: its name, kind, default and the field of the record it
// is read into.
enum class SettingKind {
    Number,               // 32-bit, default written back when missing
    NumberWithoutDefault, // 32-bit, left as it was when missing
    Text,                 // REG_SZ of up to 259 characters into a field of `bytes`
    Binary,               // REG_BINARY of exactly `bytes`; the default is all zero
};
struct RegistrySetting {
    PCWSTR name;
    SettingKind kind;
    ULONG defaultValue;
    PCWSTR defaultText;
    ULONG offset;
    ULONG bytes;
};

namespace {

#define SETTING_NUMBER(name, value, Record, field)                                                           \
    RegistrySetting                                                                                          \
    {                                                                                                        \
        name, SettingKind::Number, value, nullptr, offsetof(Record, field), 4                                \
    }
#define SETTING_NO_DEFAULT(name, Record, field)                                                              \
    RegistrySetting                                                                                          \
    {                                                                                                        \
        name, SettingKind::NumberWithoutDefault, 0, nullptr, offsetof(Record, field), 4                      \
    }
#define SETTING_TEXT(name, text, Record, field)                                                              \
    RegistrySetting                                                                                          \
    {                                                                                                        \
        name, SettingKind::Text, 0, text, offsetof(Record, field), sizeof(Record::field)                     \
    }
#define SETTING_BINARY(name, Record, field)                                                                  \
    RegistrySetting                                                                                          \
    {                                                                                                        \
        name, SettingKind::Binary, 0, nullptr, offsetof(Record, field), sizeof(Record::field)                \
    }

template <size_t N> constexpr ULONG CountOf(const RegistrySetting (&)[N])
{
    return static_cast<ULONG>(N);
}

// Per-pin groups, in their load order.
const RegistrySetting kCropSettings[] = {
    SETTING_NUMBER(u"CropEnabled", 0, BrevicorCropRecord, enable),
    SETTING_NUMBER(u"CropTop", 0, BrevicorCropRecord, top),
    SETTING_NUMBER(u"CropHeight", 0, BrevicorCropRecord, height),
    SETTING_NUMBER(u"CropLeft", 0, BrevicorCropRecord, left),
    SETTING_NUMBER(u"CropWidth", 0, BrevicorCropRecord, width),
    SETTING_NUMBER(u"CropReferenceHeight", 0, BrevicorCropRecord, referenceHeight),
    SETTING_NUMBER(u"CropReferenceWidth", 0, BrevicorCropRecord, referenceWidth),
};

const RegistrySetting kDeinterlaceSettings[] = {
    SETTING_NUMBER(u"DeinterlaceEnabled", 1, BrevicorDeinterlaceRecord, enable),
    SETTING_NUMBER(u"DeinterlaceType", 3, BrevicorDeinterlaceRecord, type),
    SETTING_NUMBER(u"InverseTelecineEnabled", 1, BrevicorDeinterlaceRecord, inverseTelecineEnable),
    SETTING_NUMBER(u"ResyncIntervalEnabled", 1, BrevicorDeinterlaceRecord, resyncIntervalEnable),
    SETTING_NUMBER(u"ResyncInterval", 10000, BrevicorDeinterlaceRecord, resyncInterval),
    SETTING_NUMBER(u"AutoDetectTelecine", 1, BrevicorDeinterlaceRecord, autoDetectTelecine),
};

const RegistrySetting kImageQualitySettings[] = {
    SETTING_NUMBER(u"ImageQualityEnabled", 0, BrevicorImageQualityRecord, enable),
    SETTING_NUMBER(u"ImageQualityMode", 0, BrevicorImageQualityRecord, mode),
    SETTING_NUMBER(u"ImageQualityLevel", 5, BrevicorImageQualityRecord, level),
};

const RegistrySetting kLogoSettings[] = {
    SETTING_NUMBER(u"LogoDestinationHeight", 16, BrevicorLogoRecord, destinationHeight),
    SETTING_NUMBER(u"LogoDestinationWidth", 16, BrevicorLogoRecord, destinationWidth),
    SETTING_NUMBER(u"LogoDestinationTop", 0, BrevicorLogoRecord, destinationTop),
    SETTING_NUMBER(u"LogoDestinationLeft", 0, BrevicorLogoRecord, destinationLeft),
    SETTING_NUMBER(u"LogoEnable", 0, BrevicorLogoRecord, enable),
    SETTING_NUMBER(u"LogoTransparencyEnable", 0, BrevicorLogoRecord, transparencyEnable),
    SETTING_NUMBER(u"LogoTransparencyPercent", 0, BrevicorLogoRecord, transparencyPercent),
    SETTING_NUMBER(u"LogoDuration", 0, BrevicorLogoRecord, duration),
    SETTING_NUMBER(u"LogoKeyColorEnable", 0, BrevicorLogoRecord, keyColorEnable),
    SETTING_NUMBER(u"LogoKeyColor", 0, BrevicorLogoRecord, keyColor),
    SETTING_NUMBER(u"LogoReferenceHeight", 0, BrevicorLogoRecord, referenceHeight),
    SETTING_NUMBER(u"LogoReferenceWidth", 0, BrevicorLogoRecord, referenceWidth),
    SETTING_TEXT(u"LogoFileName", u"", BrevicorLogoRecord, fileName),
};

// "Hue" is written by the proc-amp set as the other three values are, so it loads with them.
const RegistrySetting kProcAmpSettings[] = {
    SETTING_NUMBER(u"Brightness", 0, BrevicorProcAmpRecord, brightness.value),
    SETTING_NUMBER(u"Contrast", 100, BrevicorProcAmpRecord, contrast.value),
    SETTING_NUMBER(u"Hue", 0, BrevicorProcAmpRecord, hue.value),
    SETTING_NUMBER(u"Saturation", 0, BrevicorProcAmpRecord, saturation.value),
    SETTING_NUMBER(u"Gamma", 100, BrevicorProcAmpRecord, gamma.value),
    SETTING_BINARY(u"GammaValues", BrevicorProcAmpRecord, gammaTable),
    SETTING_BINARY(u"SinValues", BrevicorProcAmpRecord, sineTable),
    SETTING_BINARY(u"CosValues", BrevicorProcAmpRecord, cosineTable),
};

const RegistrySetting kCCSettings[] = {
    SETTING_NUMBER(u"CCReferenceHeight", 0, BrevicorCCRecord, referenceHeight),
    SETTING_NUMBER(u"CCReferenceWidth", 0, BrevicorCCRecord, referenceWidth),
    SETTING_NUMBER(u"CCDestinationTop", 180, BrevicorCCRecord, destinationTop),
    SETTING_NUMBER(u"CCDestinationLeft", 270, BrevicorCCRecord, destinationLeft),
    SETTING_NUMBER(u"CCDestinationHeight", 121, BrevicorCCRecord, destinationHeight),
    SETTING_NUMBER(u"CCDestinationWidth", 180, BrevicorCCRecord, destinationWidth),
    SETTING_NUMBER(u"CCEnable", 0, BrevicorCCRecord, enable),
    SETTING_NUMBER(u"CCTransparencyEnable", 0, BrevicorCCRecord, transparencyEnable),
    SETTING_NUMBER(u"CCForegroundColor", 0xFFFFFF, BrevicorCCRecord, foregroundColor),
    SETTING_NUMBER(u"CCBackgroundColor", 0, BrevicorCCRecord, backgroundColor),
    SETTING_NUMBER(u"CCField", 1, BrevicorCCRecord, field),
    SETTING_NUMBER(u"CCChannel", 1, BrevicorCCRecord, channel),
    SETTING_TEXT(u"CCFontFileName", u"", BrevicorCCRecord, fontFileName),
};

// Board key.
const RegistrySetting kLOSSettings[] = {
    SETTING_NUMBER(u"LOSVideoReferenceHeight", 487, BrevicorLOSRecord, referenceHeight),
    SETTING_NUMBER(u"LOSVideoReferenceWidth", 720, BrevicorLOSRecord, referenceWidth),
    SETTING_NUMBER(u"LOSVideoDestinationTop", 180, BrevicorLOSRecord, destinationTop),
    SETTING_NUMBER(u"LOSVideoDestinationLeft", 270, BrevicorLOSRecord, destinationLeft),
    SETTING_NUMBER(u"LOSVideoDestinationHeight", 121, BrevicorLOSRecord, destinationHeight),
    SETTING_NUMBER(u"LOSVideoDestinationWidth", 180, BrevicorLOSRecord, destinationWidth),
    SETTING_NUMBER(u"LOSVideoEnable", 0, BrevicorLOSRecord, videoEnable),
    SETTING_NUMBER(u"LOSVideoTransparencyEnable", 0, BrevicorLOSRecord, transparencyEnable),
    SETTING_NUMBER(u"LOSVideoForegroundColor", 0xFFFFFF, BrevicorLOSRecord, foregroundColor),
    SETTING_NUMBER(u"LOSVideoBackgroundColor", 0, BrevicorLOSRecord, backgroundColor),
    SETTING_NUMBER(u"LOSVideoVideoSignalType", 0, BrevicorLOSRecord, videoSignalType),
    SETTING_TEXT(u"LOSVideoCaption", u"Signal Lost", BrevicorLOSRecord, caption),
    SETTING_TEXT(u"LOSVideoFontFileName", u"", BrevicorLOSRecord, fontFileName),
    SETTING_NUMBER(u"LOSAudioOddChannelsTone", 0, BrevicorLOSRecord, oddChannelsTone),
    SETTING_NUMBER(u"LOSAudioEvenChannelsTone", 0, BrevicorLOSRecord, evenChannelsTone),
};

// The order in which a set writes the loss-of-signal values.
const RegistrySetting kLOSWriteOrder[] = {
    kLOSSettings[2],  kLOSSettings[3], kLOSSettings[4], kLOSSettings[5],  kLOSSettings[6],
    kLOSSettings[7],  kLOSSettings[9], kLOSSettings[8], kLOSSettings[10], kLOSSettings[11],
    kLOSSettings[12], kLOSSettings[0], kLOSSettings[1], kLOSSettings[13], kLOSSettings[14],
};

const RegistrySetting kDeviceSettings[] = {
    SETTING_NUMBER(u"VideoTestSignalPattern", 0, DeviceRegistryValues, videoTestSignalPattern),
    SETTING_NUMBER(u"VideoTestSignalStandard", 0, DeviceRegistryValues, videoTestSignalStandard),
    SETTING_NUMBER(u"VideoTestSignalFrameRate", 0, DeviceRegistryValues, videoTestSignalFrameRate),
    SETTING_NUMBER(u"AudioTestSignalFrequency", 2, DeviceRegistryValues, audioTestSignalFrequency),
};

const RegistrySetting kFilterSettings[] = {
    SETTING_NUMBER(u"StandardsSupported", 499, FilterRegistryValues, standardsSupported),
    SETTING_NUMBER(u"DecoderCapabilities", 6, FilterRegistryValues, decoderCapabilities),
    SETTING_NUMBER(u"DecoderSettlingTime", 10, FilterRegistryValues, decoderSettlingTime),
    SETTING_NUMBER(u"HSyncPerVSync", 6, FilterRegistryValues, hSyncPerVSync),
    SETTING_NUMBER(u"DecoderCurrentStandard", 1, FilterRegistryValues, decoderCurrentStandard),
    SETTING_NUMBER(u"DecoderNumberOfLines", 525, FilterRegistryValues, decoderNumberOfLines),
    SETTING_NUMBER(u"DecoderSignalLocked", 0, FilterRegistryValues, decoderSignalLocked),
    SETTING_NUMBER(u"DecoderOutputEnable", 1, FilterRegistryValues, decoderOutputEnable),
    SETTING_NUMBER(u"DecoderVCRTiming", 0, FilterRegistryValues, decoderVCRTiming),
    SETTING_NUMBER(u"DecoderCurrentSignalType", 1, FilterRegistryValues, decoderCurrentSignalType),
};

struct VideoInputsValues {
    ULONG activeInput;
};
const RegistrySetting kVideoInputsSettings[] = {
    SETTING_NUMBER(u"ActiveInput", 0, VideoInputsValues, activeInput),
};

struct VideoInputValues {
    ULONG inputType;
    ULONG ioIndex;
};
const RegistrySetting kVideoInputSettings[] = {
    SETTING_NO_DEFAULT(u"InputType", VideoInputValues, inputType),
    SETTING_NO_DEFAULT(u"InputIOIndex", VideoInputValues, ioIndex),
};

struct AudioInputsValues {
    ULONG activeInput;
    ULONG daughterCardEnabled;
    ULONG legacyAudioFilters;
};
const RegistrySetting kAudioInputsSettings[] = {
    SETTING_NUMBER(u"ActiveInput", 0, AudioInputsValues, activeInput),
    SETTING_NUMBER(u"DaughterCardEnabled", 0, AudioInputsValues, daughterCardEnabled),
    SETTING_NUMBER(u"LegacyAudioFilters", 1, AudioInputsValues, legacyAudioFilters),
};

struct AudioInputValues {
    ULONG inputType;
    ULONG inputEnabled;
    ULONG defaultFrequency;
    ULONG bypassMode;
    ULONG inputGain;
    ULONG ioIndex;
    ULONG pairIndex;
    ULONG pairCount;
};
// "ChannelPairIndex" defaults to the number of inputs read before; the loader sets it.
constexpr ULONG kAudioPairIndexSetting = 6;
const RegistrySetting kAudioInputSettings[] = {
    SETTING_NUMBER(u"InputType", 10, AudioInputValues, inputType),
    SETTING_NUMBER(u"InputEnabled", 1, AudioInputValues, inputEnabled),
    SETTING_NUMBER(u"InputDefaultFrequency", 0, AudioInputValues, defaultFrequency),
    SETTING_NUMBER(u"AudioIsInBypassMode", 0, AudioInputValues, bypassMode),
    SETTING_NUMBER(u"InputGain", 0, AudioInputValues, inputGain),
    SETTING_NUMBER(u"InputIOIndex", 10, AudioInputValues, ioIndex),
    SETTING_NUMBER(u"ChannelPairIndex", 0, AudioInputValues, pairIndex),
    SETTING_NUMBER(u"ChannelPairCount", 1, AudioInputValues, pairCount),
};

struct AudioChannelValues {
    LONG leftVolume;
    LONG rightVolume;
    LONG leftMute;
    LONG rightMute;
};
const RegistrySetting kAudioChannelSettings[] = {
    SETTING_NUMBER(u"LeftVolume", 0, AudioChannelValues, leftVolume),
    SETTING_NUMBER(u"RightVolume", 0, AudioChannelValues, rightVolume),
    SETTING_NUMBER(u"LeftMute", 0, AudioChannelValues, leftMute),
    SETTING_NUMBER(u"RightMute", 0, AudioChannelValues, rightMute),
};

#undef SETTING_NUMBER
#undef SETTING_NO_DEFAULT
#undef SETTING_TEXT
#undef SETTING_BINARY

// The key words of the per-pin keys, by pin type 1 to 4.
constexpr PCWSTR kPinWords[] = {nullptr, u"Capture", u"Preview", u"VBI", u"CC"};
constexpr ULONG kLastPinType = 4;
constexpr ULONG kMaximumTextCharacters = kRecordTextCharacters - 1;
// "VideoInputs\Input16\VideoPins\Preview" and the like.
constexpr ULONG kKeyNameCharacters = 96;
// "\\{class identifier}\\0000" and more.
constexpr ULONG kBoardNameCharacters = 128;
// The I/O indexes of the inputs without hardware.
constexpr ULONG kNoHardwareVideoIOIndex = 2;
constexpr ULONG kNoHardwareAudioIOIndex = 30;
constexpr ULONG kMaximumLOSReferenceHeight = 1080;
constexpr ULONG kMaximumLOSReferenceWidth = 1920;

void SetField(void* record, const RegistrySetting& setting, const void* data, ULONG bytes)
{
    std::memcpy(static_cast<UCHAR*>(record) + setting.offset, data, bytes);
}

ULONG GetNumberField(const void* record, const RegistrySetting& setting)
{
    ULONG value;
    std::memcpy(&value, static_cast<const UCHAR*>(record) + setting.offset, sizeof(value));
    return value;
}

// Puts a setting's default into its field.
void SetDefault(void* record, const RegistrySetting& setting)
{
    switch (setting.kind) {
    case SettingKind::Number:
        SetField(record, setting, &setting.defaultValue, 4);
        break;
    case SettingKind::NumberWithoutDefault:
        break;
    case SettingKind::Text: {
        std::memset(static_cast<UCHAR*>(record) + setting.offset, 0, setting.bytes);
        ULONG length = 0;
        while (setting.defaultText[length] != 0)
            ++length;
        SetField(record, setting, setting.defaultText, length * sizeof(WCHAR));
        break;
    }
    case SettingKind::Binary:
        std::memset(static_cast<UCHAR*>(record) + setting.offset, 0, setting.bytes);
        break;
    }
}

// "%ls\%ls%d", "%ls\%ls%d\%ls" and "%ls\%ls%d\%ls\%ls".
void FormatInputKey(WCHAR* name, PCWSTR list, ULONG number, PCWSTR second = nullptr, PCWSTR third = nullptr)
{
    if (third != nullptr)
        _snwprintf(name, kKeyNameCharacters, u"%ls\\%ls%d\\%ls\\%ls", list, u"Input",
                   static_cast<int>(number), second, third);
    else if (second != nullptr)
        _snwprintf(name, kKeyNameCharacters, u"%ls\\%ls%d\\%ls", list, u"Input", static_cast<int>(number),
                   second);
    else
        _snwprintf(name, kKeyNameCharacters, u"%ls\\%ls%d", list, u"Input", static_cast<int>(number));
    name[kKeyNameCharacters - 1] = 0;
}

// Deletes a key object when it goes.
struct KeyHolder {
    RegistryKey* key;
    ~KeyHolder() { delete key; }
};

} // namespace

void Device::SetDefaultLOSSettings()
{
    for (const RegistrySetting& setting : kLOSSettings)
        SetDefault(&m_losSettings, setting);
}

RegistryKey* Device::OpenBoardKey(PCWSTR subKey, bool create, NTSTATUS* status)
{
    RegistryKey* key = RegistryKey::OpenDeviceKey(m_physicalDeviceObject, subKey, create ? TRUE : FALSE, 0,
                                                  kRegistryWriteAccess, kRegistryWriteAttributes);
    *status = key->Status();
    if (!key->IsOpen()) {
        LogMissingKey(subKey);
        *status = MSG_REGISTRY_KEY_MISSING_CARD;
    }
    return key;
}

void Device::GetBoardName(WCHAR* name, ULONG capacity)
{
    name[0] = 0;
    if (m_physicalDeviceObject == nullptr || capacity < 2)
        return;
    ULONG bytes = 0;
    name[0] = u'\\';
    if (!NT_SUCCESS(IoGetDeviceProperty(m_physicalDeviceObject, DevicePropertyDriverKeyName,
                                        (capacity - 1) * sizeof(WCHAR), name + 1, &bytes))) {
        name[0] = 0;
        return;
    }
    const ULONG characters = bytes / sizeof(WCHAR);
    name[characters < capacity - 1 ? characters + 1 : capacity - 1] = 0;
}

void Device::LogMissingKey(PCWSTR subKey)
{
    WCHAR board[kBoardNameCharacters];
    GetBoardName(board, kBoardNameCharacters);
    TRACE_STATUS(this, "Device::LogMissingKey", kTraceErrors, MSG_REGISTRY_KEY_MISSING_CARD,
                 "Registry key %ls is missing for card at %ls", subKey[0] != 0 ? subKey : board, board);
}

NTSTATUS Device::LogWriteFailure(PCWSTR subKey, PCWSTR name, PCWSTR valueText, NTSTATUS status)
{
    WCHAR board[kBoardNameCharacters];
    GetBoardName(board, kBoardNameCharacters);
    TRACE_STATUS(
        this, "Device::LogWriteFailure", kTraceErrors, MSG_ATTEMPT_UPDATE_REGISTRY_FIELD_VALUE_FAILED,
        "Attempt to update registry field %ls\\%ls with a value of %ls failed with return code %#010x",
        subKey[0] != 0 ? subKey : board, name, valueText, static_cast<unsigned>(status));
    return MSG_ATTEMPT_UPDATE_REGISTRY_FIELD_VALUE_FAILED;
}

NTSTATUS Device::ReadRequiredText(RegistryKey* key, PCWSTR name, WCHAR* text)
{
    WCHAR buffer[kRecordTextCharacters];
    ULONG type = 0;
    ULONG length = sizeof(buffer);
    NTSTATUS status = key->QueryValue(name, &type, &length, buffer);
    if (!NT_SUCCESS(status))
        return status == STATUS_BUFFER_OVERFLOW ? STATUS_OBJECT_TYPE_MISMATCH : status;
    if (type != REG_SZ)
        return STATUS_OBJECT_TYPE_MISMATCH;
    const LONG characters = BoundedRecordTextLength(buffer, length / sizeof(WCHAR));
    ULONG count = characters >= 0 ? static_cast<ULONG>(characters) : length / sizeof(WCHAR);
    if (count > kMaximumTextCharacters)
        return STATUS_OBJECT_TYPE_MISMATCH;
    std::memcpy(text, buffer, count * sizeof(WCHAR));
    text[count] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS Device::ReadSetting(RegistryKey* key, PCWSTR subKey, const RegistrySetting& setting, void* record)
{
    NTSTATUS status = STATUS_SUCCESS;
    switch (setting.kind) {
    case SettingKind::Number:
    case SettingKind::NumberWithoutDefault: {
        ULONG value = 0;
        status = key->QueryDword(setting.name, &value);
        if (NT_SUCCESS(status)) {
            SetField(record, setting, &value, 4);
            return STATUS_SUCCESS;
        }
        if (status == STATUS_OBJECT_NAME_NOT_FOUND && setting.kind == SettingKind::NumberWithoutDefault)
            return STATUS_SUCCESS; // left as it was
        if (status != STATUS_OBJECT_NAME_NOT_FOUND)
            break;
        SetDefault(record, setting);
        status = key->SetDword(setting.name, setting.defaultValue);
        if (!NT_SUCCESS(status)) {
            WCHAR text[16];
            _snwprintf(text, 16, u"%u", static_cast<unsigned>(setting.defaultValue));
            text[15] = 0;
            return LogWriteFailure(subKey, setting.name, text, status);
        }
        return STATUS_SUCCESS;
    }
    case SettingKind::Text: {
        WCHAR text[kRecordTextCharacters];
        status = ReadRequiredText(key, setting.name, text);
        if (NT_SUCCESS(status)) {
            std::memset(static_cast<UCHAR*>(record) + setting.offset, 0, setting.bytes);
            ULONG length = 0;
            while (text[length] != 0)
                ++length;
            SetField(record, setting, text, length * sizeof(WCHAR));
            return STATUS_SUCCESS;
        }
        if (status != STATUS_OBJECT_NAME_NOT_FOUND)
            break;
        SetDefault(record, setting);
        status = key->SetString(setting.name, setting.defaultText);
        if (!NT_SUCCESS(status))
            return LogWriteFailure(subKey, setting.name, setting.defaultText, status);
        return STATUS_SUCCESS;
    }
    case SettingKind::Binary: {
        UCHAR* buffer = static_cast<UCHAR*>(AllocatePoolOfType(setting.bytes, PagedPool));
        if (buffer == nullptr)
            return STATUS_INSUFFICIENT_RESOURCES;
        ULONG type = 0;
        ULONG length = setting.bytes;
        status = key->QueryValue(setting.name, &type, &length, buffer);
        if (NT_SUCCESS(status) && type == REG_BINARY && length == setting.bytes) {
            SetField(record, setting, buffer, setting.bytes);
            FreePool(buffer);
            return STATUS_SUCCESS;
        }
        if (NT_SUCCESS(status))
            status = STATUS_OBJECT_TYPE_MISMATCH;
        if (status != STATUS_OBJECT_NAME_NOT_FOUND) {
            FreePool(buffer);
            break;
        }
        SetDefault(record, setting);
        std::memset(buffer, 0, setting.bytes);
        status = key->SetValue(setting.name, REG_BINARY, buffer, setting.bytes);
        FreePool(buffer);
        if (!NT_SUCCESS(status)) {
            WCHAR text[24];
            _snwprintf(text, 24, u"(%u bytes)", static_cast<unsigned>(setting.bytes));
            text[23] = 0;
            return LogWriteFailure(subKey, setting.name, text, status);
        }
        return STATUS_SUCCESS;
    }
    }
    // Present but unreadable (wrong type, too long, wrong length): the field keeps its default and
    // the value stays as it is.
    TRACE_LINE(this, "Device::ReadSetting", kTraceWarnings,
               "Registry value %ls is unusable (0x%08x); default kept", setting.name,
               static_cast<unsigned>(status));
    if (setting.kind != SettingKind::NumberWithoutDefault)
        SetDefault(record, setting);
    return STATUS_SUCCESS;
}

NTSTATUS Device::ReadSettings(RegistryKey* key, PCWSTR subKey, const RegistrySetting* table, ULONG count,
                              void* record)
{
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG i = 0; i < count; ++i) {
        const NTSTATUS status = ReadSetting(key, subKey, table[i], record);
        if (!NT_SUCCESS(status))
            result = status;
    }
    return result;
}

// ---- Loaders -------------------------------------------------------------------------------------

RegistryKey* Device::OpenInputList(PCWSTR listName, NTSTATUS missingCount, const char* missingCountText,
                                   ULONG maximum, ULONG* count, NTSTATUS* status)
{
    RegistryKey* list = OpenBoardKey(listName, false, status);
    if (!list->IsOpen())
        return list;
    *status = list->QueryDword(u"Count", count);
    if (!NT_SUCCESS(*status)) {
        WCHAR board[kBoardNameCharacters];
        GetBoardName(board, kBoardNameCharacters);
        TRACE_STATUS(this, "Device::OpenInputList", kTraceErrors, missingCount, missingCountText, board);
        *status = missingCount;
        return list;
    }
    if (*count > maximum) {
        TRACE_LINE(this, "Device::OpenInputList", kTraceWarnings, "%ls Count %u cut to %u", listName,
                   static_cast<unsigned>(*count), static_cast<unsigned>(maximum));
        *count = maximum;
    }
    return list;
}

void Device::LogMissingInputName(ULONG number)
{
    WCHAR board[kBoardNameCharacters];
    GetBoardName(board, kBoardNameCharacters);
    TRACE_STATUS(this, "Device::LogMissingInputName", kTraceErrors,
                 MSG_INPUT_REGISTRY_SECTION_MISSING_ENTRY_CARD,
                 "Input%d registry section is missing the %ls entry for card at %ls",
                 static_cast<int>(number), u"InputName", board);
}

ULONG Device::CheckActiveInput(ULONG active, ULONG count)
{
    if (active < count || active == 0)
        return active;
    TRACE_LINE(this, "Device::CheckActiveInput", kTraceWarnings,
               "ActiveInput %u is not an input; input 0 is current", static_cast<unsigned>(active));
    return 0;
}

NTSTATUS Device::LoadVideoInputsFromRegistry(Device* device, PDEVICE_OBJECT deviceObject,
                                             VideoInputItems* inputs)
{
    if (device == nullptr || inputs == nullptr)
        return STATUS_UNSUCCESSFUL;
    TRACE_SCOPE(device, "Device::LoadVideoInputsFromRegistry", kTraceLowEnter);
    if (deviceObject != nullptr)
        device->SetPhysicalDeviceObject(deviceObject);
    NTSTATUS status = STATUS_SUCCESS;
    ULONG count = 0;
    KeyHolder list{
        device->OpenInputList(u"VideoInputs", MSG_VIDEOINPUTS_REGISTRY_SECTION_MISSING_COUNT_ENTRY,
                              "VideoInputs registry section is missing the Count entry for card at %ls",
                              VideoInputItems::kMaximumInputs, &count, &status)};
    if (!list.key->IsOpen())
        return status;
    if (!NT_SUCCESS(status)) {
        inputs->FreeInputs();
        return status;
    }
    VideoInputsValues values{};
    NTSTATUS result = device->ReadSettings(list.key, u"VideoInputs", kVideoInputsSettings,
                                           CountOf(kVideoInputsSettings), &values);

    const bool hardware = device->GetDriver() == nullptr || device->GetDriver()->GetHardwareInstalled();
    if (!hardware)
        count = 1;
    status = inputs->AllocateInputs(count);
    if (!NT_SUCCESS(status))
        return status;

    for (ULONG i = 0; i < count; ++i) {
        VideoInputItem* input = inputs->GetInput(i);
        WCHAR keyName[kKeyNameCharacters];
        FormatInputKey(keyName, u"VideoInputs", i + 1);
        KeyHolder inputKey{device->OpenBoardKey(keyName, false, &status)};
        VideoInputValues inputValues{};
        if (inputKey.key->IsOpen()) {
            WCHAR name[kRecordTextCharacters];
            status = device->ReadRequiredText(inputKey.key, u"InputName", name);
            if (NT_SUCCESS(status)) {
                input->SetInputName(name);
            } else {
                device->LogMissingInputName(i + 1);
                result = MSG_INPUT_REGISTRY_SECTION_MISSING_ENTRY_CARD;
            }
            status = device->ReadSettings(inputKey.key, keyName, kVideoInputSettings,
                                          CountOf(kVideoInputSettings), &inputValues);
            if (!NT_SUCCESS(status))
                result = status;
        } else {
            result = status;
        }
        if (!hardware) {
            inputValues.inputType = 0;
            inputValues.ioIndex = kNoHardwareVideoIOIndex;
        }
        input->SetInputType(inputValues.inputType);
        input->SetInputIOIndex(inputValues.ioIndex);
        BrevicorInputDetectRecord detect{};
        detect.inputNumber = i;
        detect.ioIndex = static_cast<UCHAR>(inputValues.ioIndex);
        input->SetInputDetectInfo(&detect);
    }

    inputs->SetSecondWord(device->CheckActiveInput(hardware ? values.activeInput : 0, count));
    return result;
}

NTSTATUS Device::LoadAudioInputsFromRegistry(Device* device, PDEVICE_OBJECT deviceObject,
                                             AudioInputItems* inputs)
{
    if (device == nullptr || inputs == nullptr)
        return STATUS_UNSUCCESSFUL;
    TRACE_SCOPE(device, "Device::LoadAudioInputsFromRegistry", kTraceLowEnter);
    if (deviceObject != nullptr)
        device->SetPhysicalDeviceObject(deviceObject);
    NTSTATUS status = STATUS_SUCCESS;
    ULONG count = 0;
    KeyHolder list{
        device->OpenInputList(u"AudioInputs", MSG_AUDIOINPUTS_REGISTRY_SECTION_MISSING_COUNT_ENTRY,
                              "AudioInputs registry section is missing the Count entry for card at %ls",
                              AudioInputItems::kMaximumInputs, &count, &status)};
    if (!list.key->IsOpen())
        return status;
    if (!NT_SUCCESS(status)) {
        inputs->FreeInputs();
        return status;
    }
    AudioInputsValues values{};
    NTSTATUS result = device->ReadSettings(list.key, u"AudioInputs", kAudioInputsSettings,
                                           CountOf(kAudioInputsSettings), &values);
    device->m_legacyAudioFilters = values.legacyAudioFilters;

    const bool hardware = device->GetDriver() == nullptr || device->GetDriver()->GetHardwareInstalled();
    status = inputs->AllocateInputs(count);
    if (!NT_SUCCESS(status))
        return status;
    inputs->SetDaughterCardEnable(values.daughterCardEnabled);

    for (ULONG i = 0; i < count; ++i) {
        AudioInputItem* input = inputs->GetInput(i);
        input->SetInputType(10);
        input->SetChannelPairCount(1);
        input->SetChannelPairIndex(0);
        WCHAR keyName[kKeyNameCharacters];
        FormatInputKey(keyName, u"AudioInputs", i + 1);
        KeyHolder inputKey{device->OpenBoardKey(keyName, false, &status)};
        if (!inputKey.key->IsOpen()) {
            result = status;
            continue;
        }
        WCHAR name[kRecordTextCharacters];
        status = device->ReadRequiredText(inputKey.key, u"InputName", name);
        if (NT_SUCCESS(status)) {
            GUID type{};
            if (ParseBracedGuid(name, &type)) {
                input->SetInputName(type);
            } else {
                TRACE_STATUS(device, "Device::LoadAudioInputsFromRegistry", kTraceErrors,
                             MSG_AUDIO_INPUT_NAME_INVALID, "Audio input name %ls is invalid.", name);
                result = MSG_AUDIO_INPUT_NAME_INVALID;
            }
        } else {
            device->LogMissingInputName(i + 1);
            result = MSG_INPUT_REGISTRY_SECTION_MISSING_ENTRY_CARD;
        }

        RegistrySetting table[CountOf(kAudioInputSettings)];
        std::memcpy(table, kAudioInputSettings, sizeof(table));
        table[kAudioPairIndexSetting].defaultValue = i;
        AudioInputValues inputValues{};
        status =
            device->ReadSettings(inputKey.key, keyName, table, CountOf(kAudioInputSettings), &inputValues);
        if (!NT_SUCCESS(status))
            result = status;
        input->SetInputType(inputValues.inputType);
        input->SetInputEnabled(inputValues.inputEnabled);
        input->SetDefaultFrequency(inputValues.defaultFrequency);
        input->SetAudioIsInBypassMode(static_cast<UCHAR>(inputValues.bypassMode));
        input->SetInputGain(static_cast<LONG>(inputValues.inputGain));
        input->SetInputIOIndex(hardware ? inputValues.ioIndex : kNoHardwareAudioIOIndex);
        input->SetChannelPairIndex(inputValues.pairIndex);
        input->SetChannelPairCount(inputValues.pairCount);
        ULONG pairs = 0;
        input->GetChannelPairCount(&pairs);
        if (pairs != inputValues.pairCount)
            TRACE_LINE(device, "Device::LoadAudioInputsFromRegistry", kTraceWarnings,
                       "Input%d ChannelPairCount %u cut to %u", static_cast<int>(i + 1),
                       static_cast<unsigned>(inputValues.pairCount), static_cast<unsigned>(pairs));

        for (ULONG pair = 0; pair < pairs; ++pair) {
            WCHAR channelName[16];
            _snwprintf(channelName, 16, u"%ls%d", u"Channel", static_cast<int>(pair + 1));
            channelName[15] = 0;
            FormatInputKey(keyName, u"AudioInputs", i + 1, channelName);
            KeyHolder channelKey{device->OpenBoardKey(keyName, true, &status)};
            if (!channelKey.key->IsOpen()) {
                result = status;
                continue;
            }
            AudioChannelValues channel{};
            status = device->ReadSettings(channelKey.key, keyName, kAudioChannelSettings,
                                          CountOf(kAudioChannelSettings), &channel);
            if (!NT_SUCCESS(status))
                result = status;
            input->SetVolumeLevel(pair, 0, channel.leftVolume);
            input->SetVolumeLevel(pair, 1, channel.rightVolume);
            input->SetMute(pair, 0, channel.leftMute);
            input->SetMute(pair, 1, channel.rightMute);
        }
    }

    inputs->SetCurrentInput(device->CheckActiveInput(values.activeInput, count));
    return result;
}

NTSTATUS Device::LoadDeviceFromRegistry(Device* device, PDEVICE_OBJECT deviceObject)
{
    if (device == nullptr)
        return STATUS_UNSUCCESSFUL;
    TRACE_SCOPE(device, "Device::LoadDeviceFromRegistry", kTraceLowEnter);
    if (deviceObject != nullptr)
        device->SetPhysicalDeviceObject(deviceObject);
    NTSTATUS status = STATUS_SUCCESS;
    KeyHolder board{device->OpenBoardKey(u"", false, &status)};
    if (!board.key->IsOpen())
        return status;
    DeviceRegistryValues values{};
    NTSTATUS result =
        device->ReadSettings(board.key, u"", kDeviceSettings, CountOf(kDeviceSettings), &values);
    device->m_deviceValues = values;
    status = device->LoadLOSSettingsFromRegistry(board.key);
    return NT_SUCCESS(status) ? result : status;
}

NTSTATUS Device::LoadLOSSettingsFromRegistry(RegistryKey* key)
{
    TRACE_SCOPE(this, "Device::LoadLOSSettingsFromRegistry", kTraceLowEnter);
    BrevicorLOSRecord record{};
    NTSTATUS result = ReadSettings(key, u"", kLOSSettings, CountOf(kLOSSettings), &record);
    record.fromRegistry = 1;
    const NTSTATUS status = ApplyLOSSettings(&record, true, nullptr);
    return NT_SUCCESS(status) ? result : status;
}

NTSTATUS Device::LoadFilterFromRegistry(Device* device, PDEVICE_OBJECT deviceObject,
                                        VideoFilterSettings* filter)
{
    if (device == nullptr || filter == nullptr)
        return STATUS_UNSUCCESSFUL;
    TRACE_SCOPE(device, "Device::LoadFilterFromRegistry", kTraceLowEnter);
    if (deviceObject != nullptr)
        device->SetPhysicalDeviceObject(deviceObject);
    NTSTATUS status = STATUS_SUCCESS;
    KeyHolder board{device->OpenBoardKey(u"", false, &status)};
    if (!board.key->IsOpen())
        return status;
    FilterRegistryValues values{};
    NTSTATUS result =
        device->ReadSettings(board.key, u"", kFilterSettings, CountOf(kFilterSettings), &values);
    filter->SetVideoDecoderStandardsSupported(values.standardsSupported);
    filter->SetVideoDecoderCapabilities(values.decoderCapabilities);
    filter->SetVideoDecoderSettlingTime(values.decoderSettlingTime);
    filter->SetVideoDecoderHSyncPerVSync(values.hSyncPerVSync);
    device->m_decoderCurrentStandard = values.decoderCurrentStandard;
    filter->SetVideoDecoderNumberOfLines(values.decoderNumberOfLines);
    filter->SetVideoDecoderSignalLocked(values.decoderSignalLocked);
    filter->SetVideoDecoderOutputEnable(values.decoderOutputEnable);
    filter->SetVideoDecoderVCRTiming(values.decoderVCRTiming);
    BrevicorVideoDecoderRecord decoder{};
    decoder.currentSignalType = values.decoderCurrentSignalType;
    status = filter->SetVideoDecoderSettings(&decoder, false);
    if (!NT_SUCCESS(status))
        result = status;

    // The stored connection formats: a type of 1 or 2 and a binary of exactly that form's size.
    struct StoredFormat {
        ULONG pinId;
        PCWSTR typeName;
        PCWSTR formatName;
    };
    static constexpr StoredFormat kFormats[] = {
        {1, u"CaptureDataFormatType", u"CaptureDataFormat"},
        {2, u"PreviewDataFormatType", u"PreviewDataFormat"},
    };
    for (const StoredFormat& stored : kFormats) {
        ULONG form = 0;
        if (!NT_SUCCESS(board.key->QueryDword(stored.typeName, &form)))
            continue;
        ULONG bytes;
        if (form == VideoFilterSettings::kConnectionFormatVideoInfo)
            bytes = VideoFilterSettings::kVideoInfoFormatBytes;
        else if (form == VideoFilterSettings::kConnectionFormatVideoInfo2)
            bytes = VideoFilterSettings::kVideoInfo2FormatBytes;
        else {
            TRACE_LINE(device, "Device::LoadFilterFromRegistry", kTraceWarnings,
                       "%ls %u is not a format form", stored.typeName, static_cast<unsigned>(form));
            continue;
        }
        UCHAR format[VideoFilterSettings::kVideoInfo2FormatBytes];
        ULONG type = 0;
        ULONG length = bytes;
        status = board.key->QueryValue(stored.formatName, &type, &length, format);
        if (!NT_SUCCESS(status) || type != REG_BINARY || length != bytes) {
            TRACE_LINE(device, "Device::LoadFilterFromRegistry", kTraceWarnings,
                       "%ls is not a stored format of form %u", stored.formatName,
                       static_cast<unsigned>(form));
            continue;
        }
        status = filter->SetConnectionFormat(stored.pinId, format, bytes);
        if (!NT_SUCCESS(status))
            result = status;
    }
    return result;
}

NTSTATUS Device::LoadVideoPinsFromRegistry(Device* device, PDEVICE_OBJECT deviceObject, ULONG input,
                                           VideoFilterSettings* filter)
{
    if (device == nullptr || filter == nullptr)
        return STATUS_UNSUCCESSFUL;
    TRACE_SCOPE(device, "Device::LoadVideoPinsFromRegistry", kTraceLowEnter, "input %u",
                static_cast<unsigned>(input));
    if (deviceObject != nullptr)
        device->SetPhysicalDeviceObject(deviceObject);
    NTSTATUS status = STATUS_SUCCESS;
    WCHAR keyName[kKeyNameCharacters];
    FormatInputKey(keyName, u"VideoInputs", input + 1, u"VideoPins");
    KeyHolder pins{device->OpenBoardKey(keyName, true, &status)};
    if (!pins.key->IsOpen())
        return status;
    NTSTATUS result = STATUS_SUCCESS;
    for (ULONG pinType = 1; pinType <= kLastPinType; ++pinType) {
        FormatInputKey(keyName, u"VideoInputs", input + 1, u"VideoPins", kPinWords[pinType]);
        KeyHolder pin{device->OpenBoardKey(keyName, true, &status)};
        if (!pin.key->IsOpen()) {
            result = status;
            continue;
        }
        if (pinType > 2)
            continue; // the VBI and caption pins keep no settings
        const NTSTATUS group[] = {
            device->LoadCropSettingsFromRegistry(pin.key, keyName, pinType, filter),
            device->LoadDeinterlaceSettingsFromRegistry(pin.key, keyName, pinType, filter),
            device->LoadImageQualitySettingsFromRegistry(pin.key, keyName, pinType, filter),
            device->LoadLogoSettingsFromRegistry(pin.key, keyName, pinType, filter),
            device->LoadProcAmpSettingsFromRegistry(pin.key, keyName, pinType, filter),
            device->LoadCCSettingsFromRegistry(pin.key, keyName, pinType, filter),
        };
        for (NTSTATUS s : group)
            if (!NT_SUCCESS(s))
                result = s;
    }
    return result;
}

NTSTATUS Device::LoadCropSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                              VideoFilterSettings* filter)
{
    BrevicorCropRecord record{};
    NTSTATUS result = ReadSettings(key, subKey, kCropSettings, CountOf(kCropSettings), &record);
    record.pinType = pinType;
    record.noSave = 1;
    const NTSTATUS status = filter->SetCropSettings(&record);
    return NT_SUCCESS(status) ? result : status;
}

NTSTATUS Device::LoadDeinterlaceSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                                     VideoFilterSettings* filter)
{
    BrevicorDeinterlaceRecord record{};
    NTSTATUS result = ReadSettings(key, subKey, kDeinterlaceSettings, CountOf(kDeinterlaceSettings), &record);
    record.pinType = pinType;
    record.noSave = 1;
    const NTSTATUS status = filter->SetDeinterlaceSettings(&record);
    return NT_SUCCESS(status) ? result : status;
}

NTSTATUS Device::LoadImageQualitySettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                                      VideoFilterSettings* filter)
{
    BrevicorImageQualityRecord record{};
    NTSTATUS result =
        ReadSettings(key, subKey, kImageQualitySettings, CountOf(kImageQualitySettings), &record);
    record.pinType = pinType;
    const NTSTATUS status = filter->SetImageQualitySettings(&record, false);
    return NT_SUCCESS(status) ? result : status;
}

NTSTATUS Device::LoadLogoSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                              VideoFilterSettings* filter)
{
    BrevicorLogoRecord record{};
    NTSTATUS result = ReadSettings(key, subKey, kLogoSettings, CountOf(kLogoSettings), &record);
    record.pinType = pinType;
    record.noSave = 1;
    const NTSTATUS status = filter->SetLogoSettings(&record);
    return NT_SUCCESS(status) ? result : status;
}

NTSTATUS Device::LoadProcAmpSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                                 VideoFilterSettings* filter)
{
    // The record is 2.4 KB: from the pool, not the stack.
    auto* record =
        static_cast<BrevicorProcAmpRecord*>(AllocatePoolOfType(sizeof(BrevicorProcAmpRecord), PagedPool));
    if (record == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    std::memset(record, 0, sizeof(*record));
    NTSTATUS result = ReadSettings(key, subKey, kProcAmpSettings, CountOf(kProcAmpSettings), record);
    record->pinType = pinType;
    record->noSave = 1;
    const NTSTATUS status = filter->SetProcAmpSettings(record);
    FreePool(record);
    return NT_SUCCESS(status) ? result : status;
}

NTSTATUS Device::LoadCCSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                            VideoFilterSettings* filter)
{
    BrevicorCCRecord record{};
    NTSTATUS result = ReadSettings(key, subKey, kCCSettings, CountOf(kCCSettings), &record);
    record.pinType = pinType;
    record.noSave = 1;
    const NTSTATUS status = filter->SetCCSettings(&record);
    return NT_SUCCESS(status) ? result : status;
}

// ---- Writers -------------------------------------------------------------------------------------

NTSTATUS Device::WriteValue(PCWSTR subKey, PCWSTR name, ULONG type, const void* data, ULONG length)
{
    NTSTATUS status = STATUS_SUCCESS;
    KeyHolder key{OpenBoardKey(subKey, true, &status)};
    if (key.key->IsOpen())
        status = key.key->SetValue(name, type, data, length);
    else
        status = key.key->Status();
    if (NT_SUCCESS(status))
        return STATUS_SUCCESS;
    WCHAR text[kRecordTextCharacters];
    if (type == REG_DWORD) {
        ULONG value;
        std::memcpy(&value, data, sizeof(value));
        _snwprintf(text, kRecordTextCharacters, u"%u", static_cast<unsigned>(value));
    } else if (type == REG_SZ) {
        _snwprintf(text, kRecordTextCharacters, u"%ls", static_cast<PCWSTR>(data));
    } else {
        _snwprintf(text, kRecordTextCharacters, u"(%u bytes)", static_cast<unsigned>(length));
    }
    text[kRecordTextCharacters - 1] = 0;
    return LogWriteFailure(subKey, name, text, status);
}

namespace {
ULONG TextBytes(PCWSTR text)
{
    ULONG length = 0;
    while (text[length] != 0)
        ++length;
    return (length + 1) * sizeof(WCHAR);
}
} // namespace

NTSTATUS Device::WriteDevicePropertyToRegistry(PCWSTR name, ULONG value)
{
    return WriteValue(u"", name, REG_DWORD, &value, sizeof(value));
}

NTSTATUS Device::WriteDevicePropertyToRegistry(PCWSTR name, PCWSTR text)
{
    if (text == nullptr)
        return STATUS_INVALID_PARAMETER;
    return WriteValue(u"", name, REG_SZ, text, TextBytes(text));
}

NTSTATUS Device::WriteDevicePropertyToRegistry(PCWSTR name, const void* data, ULONG length)
{
    return WriteValue(u"", name, REG_BINARY, data, length);
}

NTSTATUS Device::WriteVideoInputPropertyToRegistry(bool list, PCWSTR name, ULONG value)
{
    WCHAR keyName[kKeyNameCharacters];
    if (list)
        _snwprintf(keyName, kKeyNameCharacters, u"%ls", u"VideoInputs");
    else
        FormatInputKey(keyName, u"VideoInputs", m_videoInputs.GetSecondWord() + 1);
    keyName[kKeyNameCharacters - 1] = 0;
    return WriteValue(keyName, name, REG_DWORD, &value, sizeof(value));
}

#define DEVICE_PIN_KEY(keyName, input, pinType)                                                              \
    if ((pinType) < 1 || (pinType) > kLastPinType)                                                           \
        return STATUS_INVALID_PARAMETER;                                                                     \
    WCHAR keyName[kKeyNameCharacters];                                                                       \
    FormatInputKey(keyName, u"VideoInputs", (input) + 1, u"VideoPins", kPinWords[pinType])

NTSTATUS Device::WriteVideoPinPropertyToRegistry(ULONG input, ULONG pinType, PCWSTR name, ULONG value)
{
    DEVICE_PIN_KEY(keyName, input, pinType);
    return WriteValue(keyName, name, REG_DWORD, &value, sizeof(value));
}

NTSTATUS Device::WriteVideoPinPropertyToRegistry(ULONG input, ULONG pinType, PCWSTR name, PCWSTR text)
{
    if (text == nullptr)
        return STATUS_INVALID_PARAMETER;
    DEVICE_PIN_KEY(keyName, input, pinType);
    return WriteValue(keyName, name, REG_SZ, text, TextBytes(text));
}

NTSTATUS Device::WriteVideoPinPropertyToRegistry(ULONG input, ULONG pinType, PCWSTR name, const void* data,
                                                 ULONG length)
{
    DEVICE_PIN_KEY(keyName, input, pinType);
    return WriteValue(keyName, name, REG_BINARY, data, length);
}
#undef DEVICE_PIN_KEY

NTSTATUS Device::WriteAudioInputPropertyToRegistry(PCWSTR name, ULONG value)
{
    return WriteValue(u"AudioInputs", name, REG_DWORD, &value, sizeof(value));
}

NTSTATUS Device::WriteAudioInputPropertyToRegistry(ULONG input, PCWSTR name, ULONG value)
{
    WCHAR keyName[kKeyNameCharacters];
    FormatInputKey(keyName, u"AudioInputs", input + 1);
    return WriteValue(keyName, name, REG_DWORD, &value, sizeof(value));
}

NTSTATUS Device::WriteAudioInputPropertyToRegistry(ULONG input, PCWSTR name, PCWSTR text)
{
    if (text == nullptr)
        return STATUS_INVALID_PARAMETER;
    WCHAR keyName[kKeyNameCharacters];
    FormatInputKey(keyName, u"AudioInputs", input + 1);
    return WriteValue(keyName, name, REG_SZ, text, TextBytes(text));
}

NTSTATUS Device::WriteAudioChannelPropertyToRegistry(ULONG input, ULONG pair, PCWSTR name, ULONG value)
{
    WCHAR channelName[16];
    _snwprintf(channelName, 16, u"%ls%d", u"Channel", static_cast<int>(pair + 1));
    channelName[15] = 0;
    WCHAR keyName[kKeyNameCharacters];
    FormatInputKey(keyName, u"AudioInputs", input + 1, channelName);
    return WriteValue(keyName, name, REG_DWORD, &value, sizeof(value));
}

// ---- Loss of signal ------------------------------------------------------------------------------

NTSTATUS Device::GetLOSSettings(BrevicorLOSRecord* record)
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::GetLOSSettings", __LINE__);
    std::memcpy(reinterpret_cast<UCHAR*>(record) + kPropertyHeaderBytes,
                reinterpret_cast<const UCHAR*>(&m_losSettings) + kPropertyHeaderBytes,
                sizeof(BrevicorLOSRecord) - kPropertyHeaderBytes);
    return STATUS_SUCCESS;
}

NTSTATUS Device::CheckLOSFont(const BrevicorLOSRecord* record)
{
    if (BoundedRecordTextLength(record->fontFileName, kRecordTextCharacters) <= 0)
        return STATUS_SUCCESS;
    WCHAR path[kRecordFilePathCharacters];
    KernelFile file;
    const NTSTATUS status = OpenRecordFile(record->fontFileName, &file, path);
    if (NT_SUCCESS(status))
        return STATUS_SUCCESS;
    TRACE_STATUS(this, "Device::SetLOSSettings", kTraceErrors, MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED,
                 "Attempt to open file [%ls] failed.  Status returned was %#010x.", path,
                 static_cast<unsigned>(status));
    return MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED;
}

NTSTATUS Device::SetLOSSettings(BrevicorLOSRecord* record, bool* changed)
{
    return ApplyLOSSettings(record, false, changed);
}

NTSTATUS Device::ApplyLOSSettings(BrevicorLOSRecord* record, bool storedAtStart, bool* changed)
{
    TRACE_SCOPE(this, "Device::SetLOSSettings", kTraceLowEnter);
    if (changed != nullptr)
        *changed = false;
    if (record == nullptr || BoundedRecordTextLength(record->caption, kRecordTextCharacters) < 0 ||
        BoundedRecordTextLength(record->fontFileName, kRecordTextCharacters) < 0)
        return STATUS_INVALID_PARAMETER;
    const bool fromRegistry = record->fromRegistry != 0;
    if (record->videoEnable != 0) {
        if (record->transparencyEnable > 1)
            record->transparencyEnable = 1;
        if (record->videoSignalType > kLosMaximumSignalType)
            record->videoSignalType = 0;
        if (record->referenceHeight > kMaximumLOSReferenceHeight)
            record->referenceHeight = kMaximumLOSReferenceHeight;
        if (record->referenceWidth > kMaximumLOSReferenceWidth)
            record->referenceWidth = kMaximumLOSReferenceWidth;
        const NTSTATUS status = CheckLOSFont(record);
        // A stored font that went missing by the start is logged and the other stored values still
        // apply; a client's set is refused, with or without its no-save flag (its overlay would
        // draw no caption).
        if (!NT_SUCCESS(status) && !storedAtStart)
            return status;
    }

    // The no-save flag is how the record came, not a setting: it is kept as 0, and a set that
    // differs from the kept record only in it changes nothing.
    BrevicorLOSRecord kept = *record;
    kept.fromRegistry = 0;
    bool differs;
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::SetLOSSettings", __LINE__);
        differs = std::memcmp(reinterpret_cast<const UCHAR*>(&kept) + kPropertyHeaderBytes,
                              reinterpret_cast<const UCHAR*>(&m_losSettings) + kPropertyHeaderBytes,
                              sizeof(BrevicorLOSRecord) - kPropertyHeaderBytes) != 0;
    }
    if (!fromRegistry) {
        for (const RegistrySetting& setting : kLOSWriteOrder) {
            NTSTATUS status = STATUS_SUCCESS;
            if (setting.kind == SettingKind::Text) {
                WCHAR text[kRecordTextCharacters];
                std::memcpy(text, reinterpret_cast<const UCHAR*>(record) + setting.offset, sizeof(text));
                status = WriteDevicePropertyToRegistry(setting.name, static_cast<PCWSTR>(text));
            } else {
                status = WriteDevicePropertyToRegistry(setting.name, GetNumberField(record, setting));
            }
            if (!NT_SUCCESS(status))
                return status;
        }
    }
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::SetLOSSettings", __LINE__);
        std::memcpy(&m_losSettings, &kept, sizeof(m_losSettings));
    }
    // Announced once a set: a second announcement of the same values would only make every page
    // read them again.
    if (!fromRegistry) {
        BrevicorLOSNotification payload;
        std::memcpy(&payload, reinterpret_cast<const UCHAR*>(record) + offsetof(BrevicorLOSRecord, oddChannelsTone),
                    offsetof(BrevicorLOSNotification, videoSignalType));
        std::memcpy(&payload.videoSignalType,
                    reinterpret_cast<const UCHAR*>(record) + offsetof(BrevicorLOSRecord, videoSignalType),
                    sizeof(payload) - offsetof(BrevicorLOSNotification, videoSignalType));
        FireNotificationEvent(PROPSETID_BREVICOR_LOS, sizeof(payload), &payload);
    }
    if (differs)
        RebuildOpenChains(true, true);
    if (changed != nullptr)
        *changed = differs;
    return STATUS_SUCCESS;
}

namespace {
// The video capture filter's pins whose chains carry the loss-of-signal overlay.
constexpr ULONG kVideoCapturePinType = 1;
constexpr ULONG kVideoPreviewPinType = 2;
} // namespace

void Device::RebuildOpenChains(bool video, bool audio)
{
    TRACE_SCOPE(this, "Device::RebuildOpenChains", kTraceLowEnter, "video=%d, audio=%d", video ? 1 : 0,
                audio ? 1 : 0);
    if (m_streamProcessorManager == nullptr)
        return;
    KPLXFastStackLock hold(&m_filterTableLock, this, "Device::RebuildOpenChains", __LINE__);
    for (ULONG i = 0; i < kFilterTableSlots; ++i) {
        if (video && m_videoCaptureFilters[i] != nullptr) {
            m_streamProcessorManager->ModifyActiveVideoAlgorithmChains(m_videoCaptureFilters[i], kVideoCapturePinType);
            m_streamProcessorManager->ModifyActiveVideoAlgorithmChains(m_videoCaptureFilters[i], kVideoPreviewPinType);
        }
        if (audio && m_audioCaptureFilters[i] != nullptr)
            for (ULONG type = 0; type < StreamProcessor::kMaximumRows; ++type)
                m_streamProcessorManager->ModifyActiveAudioAlgorithmChains(m_audioCaptureFilters[i], type);
    }
}

// ---- Audio volume steps -------------------------------------------------------------------------

namespace {

struct VolumeRefresh {
    ULONG input;
    LONG pairCount;
    LONG levels[CAudioVolumeControl::kChannels];
    LONG mutes[CAudioVolumeControl::kChannels];
    // Pins whose volume step is shared: their chains are rebuilt after the walk.
    struct Rebuild {
        BasicFilter* filter;
        ULONG pinType;
    } rebuilds[StreamProcessor::kMaximumRows * StreamProcessor::kSlotsPerRow];
    ULONG rebuildCount;
};

void RefreshPinVolume(StreamProcessorPin* pin, ULONG pinType, void* context)
{
    auto* refresh = static_cast<VolumeRefresh*>(context);
    Algorithm* sink = pin->GetFrameSink();
    auto* source = sink != nullptr ? dynamic_cast<FrameProcessingSource*>(sink->GetRoot()) : nullptr;
    if (source == nullptr)
        return;
    bool rebuild = false;
    {
        // The tree does not change under the processing lock.
        KPLXFastStackLock tree(source->GetProcessingLock(), nullptr, "Device::ModifyAudioVolumeControlChains",
                               __LINE__);
        Algorithm* step = sink->FindParentWithId(kAlgorithmIdVolume);
        if (step == nullptr)
            return;
        auto* volume = static_cast<CAudioVolumeControl*>(step);
        if (volume->GetInput() != refresh->input)
            return;
        if (volume->GetChildCount() == 1) {
            KPLXFastStackLock settings(volume->GetSettingsLock(), nullptr, "Device::ModifyAudioVolumeControlChains",
                                       __LINE__);
            const LONG pairs = volume->GetChannelPairCount() < refresh->pairCount ? volume->GetChannelPairCount()
                                                                                   : refresh->pairCount;
            for (LONG pair = 0; pair < pairs; ++pair)
                for (LONG channel = 0; channel < 2; ++channel)
                    volume->SetVolume(pair, channel, refresh->levels[2 * pair + channel],
                                      refresh->mutes[2 * pair + channel]);
        } else {
            rebuild = true;
        }
    }
    if (!rebuild || pin->GetFilter() == nullptr)
        return;
    for (ULONG i = 0; i < refresh->rebuildCount; ++i)
        if (refresh->rebuilds[i].filter == pin->GetFilter() && refresh->rebuilds[i].pinType == pinType)
            return;
    if (refresh->rebuildCount < sizeof(refresh->rebuilds) / sizeof(refresh->rebuilds[0]))
        refresh->rebuilds[refresh->rebuildCount++] = {pin->GetFilter(), pinType};
}

} // namespace

void Device::ModifyAudioVolumeControlChains(ULONG input)
{
    TRACE_SCOPE(this, "Device::ModifyAudioVolumeControlChains", kTraceLowEnter, "nInput=%u",
                static_cast<unsigned>(input));
    StreamProcessor* processor =
        m_streamProcessorManager != nullptr ? m_streamProcessorManager->GetAudioStreamProcessor(0) : nullptr;
    if (processor == nullptr)
        return;
    auto* refresh = static_cast<VolumeRefresh*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(VolumeRefresh), kDriverPoolTag));
    if (refresh == nullptr)
        return;
    std::memset(refresh, 0, sizeof(*refresh));
    refresh->input = input;
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::ModifyAudioVolumeControlChains", __LINE__);
        ULONG pairs = 0;
        if (NT_SUCCESS(m_audioInputs.GetChannelPairCount(input, &pairs))) {
            if (pairs > static_cast<ULONG>(CAudioVolumeControl::kMaximumPairs))
                pairs = CAudioVolumeControl::kMaximumPairs;
            refresh->pairCount = static_cast<LONG>(pairs);
            for (ULONG pair = 0; pair < pairs; ++pair)
                for (ULONG channel = 0; channel < 2; ++channel) {
                    m_audioInputs.GetVolumeLevel(input, pair, channel, &refresh->levels[2 * pair + channel]);
                    m_audioInputs.GetMute(input, pair, channel, &refresh->mutes[2 * pair + channel]);
                }
        }
    }
    if (refresh->pairCount > 0) {
        processor->ForEachStreamingPin(RefreshPinVolume, refresh);
        // Outside the processor's walk: a rebuild takes the processor's lock itself.
        for (ULONG i = 0; i < refresh->rebuildCount; ++i)
            m_streamProcessorManager->ModifyActiveAudioAlgorithmChains(refresh->rebuilds[i].filter,
                                                                       refresh->rebuilds[i].pinType);
    }
    ExFreePool(refresh);
}

// ---- Life cycle ---------------------------------------------------------------------------------

namespace {

DEFINE_GUIDSTRUCT_VALUE(kNodeTypeVolume, 0x3A5ACC00L, 0xC557, 0x11D0, 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1);
DEFINE_GUIDSTRUCT_VALUE(kNodeTypeMute, 0x02B223C0L, 0xC557, 0x11D0, 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1);
DEFINE_GUIDSTRUCT_VALUE(kNodeTypePeakMeter, 0xA085651EL, 0x5F0D, 0x4B36, 0xA8, 0x69, 0xD1, 0x95, 0xD6, 0xAB, 0x4B,
                        0x9F);
DEFINE_GUIDSTRUCT_VALUE(kNodeTypeMux, 0x2CEAF780L, 0xC556, 0x11D0, 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1);
// The video capture filter's pin names besides the capture and analog-input ones.
DEFINE_GUIDSTRUCT_VALUE(kPinNamePreview, 0xFB6C4282L, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA);
DEFINE_GUIDSTRUCT_VALUE(kPinNameVbi, 0xFB6C4284L, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA);
DEFINE_GUIDSTRUCT_VALUE(kPinNameClosedCaption, 0xFB6C4289L, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16,
                        0xBA);

const GUID kVideoCaptureCategories[] = {KSCATEGORY_VIDEO, KSCATEGORY_CAPTURE, KSCATEGORY_CROSSBAR};
const GUID kCrossbarCategories[] = {KSCATEGORY_CROSSBAR};
const GUID kAudioCaptureCategories[] = {KSCATEGORY_AUDIO, KSCATEGORY_CAPTURE};

template <ULONG N>
KSPIN_DESCRIPTOR_EX PinTemplate(KSPIN_DATAFLOW flow, const GUID* category, const GUID* name,
                                const PKSDATARANGE (&ranges)[N])
{
    KSPIN_DESCRIPTOR_EX pin{};
    pin.PinDescriptor.DataFlow = flow;
    pin.PinDescriptor.Communication = flow == KSPIN_DATAFLOW_IN ? KSPIN_COMMUNICATION_BRIDGE : KSPIN_COMMUNICATION_SINK;
    pin.PinDescriptor.Category = category;
    pin.PinDescriptor.Name = name;
    pin.PinDescriptor.DataRangesCount = N;
    pin.PinDescriptor.DataRanges = ranges;
    pin.Dispatch = &BasicPinDispatch::kDispatch;
    pin.InstancesPossible = 1;
    return pin;
}

template <ULONG N>
KSPIN_DESCRIPTOR_EX StreamingPinTemplate(const GUID* category, const PKSDATARANGE (&ranges)[N],
                                         PFNKSINTERSECTHANDLEREX intersect)
{
    KSPIN_DESCRIPTOR_EX pin = PinTemplate(KSPIN_DATAFLOW_OUT, category, category, ranges);
    pin.IntersectHandler = intersect;
    return pin;
}

// The video capture filter's pins by their ids: the analog input the crossbar feeds (a bridge),
// capture, preview, then VBI and closed captions, which only a board offers.
const KSPIN_DESCRIPTOR_EX kVideoCapturePinTemplates[Device::kVideoCapturePins] = {
    PinTemplate(KSPIN_DATAFLOW_IN, &PINNAME_VIDEO_ANALOGVIDEOIN, &PINNAME_VIDEO_ANALOGVIDEOIN,
                PinDataRanges::kAnalogVideoInRanges),
    StreamingPinTemplate(&PINNAME_CAPTURE, PinDataRanges::kVideoRanges, &VideoStreamingPin::IntersectHandler),
    StreamingPinTemplate(&kPinNamePreview, PinDataRanges::kVideoRanges, &VideoStreamingPin::IntersectHandler),
    StreamingPinTemplate(&kPinNameVbi, PinDataRanges::kVbiRanges525, &VideoStreamingPin::IntersectHandler),
    // The caption pin's one range is a whole format: the framework's own intersection offers it.
    StreamingPinTemplate(&kPinNameClosedCaption, PinDataRanges::kClosedCaptionRanges, nullptr),
};

KSFILTER_DESCRIPTOR FilterTemplate(const GUID* reference, const GUID* categories, ULONG categoryCount)
{
    KSFILTER_DESCRIPTOR filter{};
    filter.Dispatch = &BasicFilter::kFilterDispatch;
    filter.Version = KSFILTER_DESCRIPTOR_VERSION;
    filter.ReferenceGuid = reference;
    filter.PinDescriptorSize = sizeof(KSPIN_DESCRIPTOR_EX);
    filter.CategoriesCount = categoryCount;
    filter.Categories = categories;
    filter.NodeDescriptorSize = sizeof(KSNODE_DESCRIPTOR);
    return filter;
}

KSTOPOLOGY_CONNECTION Connection(ULONG fromNode, ULONG fromPin, ULONG toNode, ULONG toPin)
{
    return KSTOPOLOGY_CONNECTION{fromNode, fromPin, toNode, toPin};
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as the framework forms reference strings.
void FormatReferenceString(const GUID& guid, WCHAR text[kBracedGuidCharacters])
{
    _snwprintf(text, kBracedGuidCharacters, u"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
               static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
               guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    text[kBracedGuidCharacters - 1] = 0;
}

size_t WideLength(PCWSTR text)
{
    size_t n = 0;
    while (text != nullptr && text[n] != 0)
        ++n;
    return n;
}

// The media-category name of audio identifier `type` (0 to 23); false when the system has none.
bool ReadMediaCategoryName(ULONG type, WCHAR* name, ULONG capacity)
{
    if (type >= kAudioInputTypeCount || capacity == 0)
        return false;
    WCHAR braced[kBracedGuidCharacters];
    FormatBracedGuid(GetAudioInputTypeGuid(type), braced);
    WCHAR path[16 + kBracedGuidCharacters];
    std::memcpy(path, u"MediaCategories\\", 16 * sizeof(WCHAR));
    std::memcpy(path + 16, braced, sizeof(braced));
    RegistryKey key(kRegistryRootControl, path, FALSE, 0, kRegistryReadAccess, kRegistryReadAttributes);
    PWSTR text = nullptr;
    ULONG length = 0;
    if (!key.IsOpen() || !NT_SUCCESS(key.QueryString(u"Name", &text, &length, PagedPool)) || text == nullptr) {
        if (text != nullptr)
            FreePool(text);
        return false;
    }
    ULONG n = 0;
    while (n + 1 < capacity && n < length / sizeof(WCHAR) && text[n] != 0) {
        name[n] = text[n];
        ++n;
    }
    name[n] = 0;
    FreePool(text);
    return n > 0;
}

// A string value of an open key, compared with `expected`.
bool StringValueEquals(RegistryKey* key, PCWSTR valueName, PCWSTR expected)
{
    PWSTR text = nullptr;
    ULONG length = 0;
    if (!NT_SUCCESS(key->QueryString(valueName, &text, &length, PagedPool)) || text == nullptr) {
        if (text != nullptr)
            FreePool(text);
        return false;
    }
    const size_t expectedLength = WideLength(expected);
    size_t n = 0;
    while (n < length / sizeof(WCHAR) && text[n] != 0)
        ++n;
    const bool equal = n == expectedLength && std::memcmp(text, expected, n * sizeof(WCHAR)) == 0;
    FreePool(text);
    return equal;
}

void Widen(const char* text, WCHAR* wide, ULONG capacity)
{
    ULONG n = 0;
    for (; text[n] != 0 && n + 1 < capacity; ++n)
        wide[n] = static_cast<WCHAR>(static_cast<unsigned char>(text[n]));
    wide[n] = 0;
}

} // namespace

const KSDEVICE_DISPATCH Device::kDeviceDispatch = {
    nullptr,                           // Add
    &Device::DeviceStart,              // Start
    nullptr,                           // PostStart
    nullptr,                           // QueryStop
    nullptr,                           // CancelStop
    &Device::DeviceStop,               // Stop
    nullptr,                           // QueryRemove
    nullptr,                           // CancelRemove
    &Device::DeviceRemove,             // Remove
    &Device::DeviceQueryCapabilities,  // QueryCapabilities
    &Device::DeviceSurpriseRemoval,    // SurpriseRemoval
    nullptr,                           // QueryPower
    nullptr,                           // SetPower
    nullptr,                           // QueryInterface
};

Device* Device::FromKsDevice(PKSDEVICE device)
{
    return device != nullptr ? static_cast<Device*>(device->Context) : nullptr;
}

NTSTATUS Device::TakeInstanceId(PDEVICE_OBJECT physicalDeviceObject)
{
    TRACE_SCOPE(this, "Device::TakeInstanceId", kTraceLowEnter);
    RegistryKey* key = RegistryKey::OpenDeviceKey(physicalDeviceObject, u"", FALSE, 0, kRegistryWriteAccess,
                                                  kRegistryWriteAttributes);
    ULONG stored = 0;
    const bool present = key->IsOpen() && NT_SUCCESS(key->QueryDword(u"InstanceId", &stored));
    LONG id = -1;
    if (present && m_driver->RecordAssignedDeviceInstanceId(this, static_cast<LONG>(stored))) {
        id = static_cast<LONG>(stored);
    } else {
        if (present)
            TRACE_LINE(this, "Device::TakeInstanceId", kTraceWarnings,
                       "Stored InstanceId %u is taken or out of range: a new one is assigned",
                       static_cast<unsigned>(stored));
        id = m_driver->GetDeviceInstanceId(this);
        if (id < 0) {
            // The driver logged that every slot is taken; the board gets no id and nothing is written.
            delete key;
            return MSG_MAXIMUM_ALLOWED_ACTIVE_DEVICE_COUNT_REACHED;
        }
        if (key->IsOpen()) {
            const NTSTATUS status = key->SetDword(u"InstanceId", static_cast<ULONG>(id));
            if (!NT_SUCCESS(status))
                TRACE_LINE(this, "Device::TakeInstanceId", kTraceErrors, "InstanceId could not be written: 0x%08x",
                           static_cast<unsigned>(status));
        }
    }
    delete key;
    SetInstanceId(id);
    TRACE_LINE(this, "Device::TakeInstanceId", kTraceHighs, "Instance id %d", static_cast<int>(id));
    return STATUS_SUCCESS;
}

NTSTATUS Device::ReadPciLocation(PDEVICE_OBJECT physicalDeviceObject)
{
    TRACE_SCOPE(this, "Device::ReadPciLocation", kTraceLowEnter);
    m_pciBusNumber = m_pciDeviceNumber = m_pciFunctionNumber = 0;
    if (m_driver->GetHardwareInstalled()) {
        ULONG value = 0;
        ULONG length = 0;
        NTSTATUS status =
            IoGetDeviceProperty(physicalDeviceObject, DevicePropertyBusNumber, sizeof(value), &value, &length);
        if (!NT_SUCCESS(status)) {
            TRACE_LINE(this, "Device::ReadPciLocation", kTraceErrors, "DevicePropertyBusNumber=%08X",
                       static_cast<unsigned>(status));
            return status;
        }
        m_pciBusNumber = value;
        status = IoGetDeviceProperty(physicalDeviceObject, DevicePropertyAddress, sizeof(value), &value, &length);
        if (!NT_SUCCESS(status)) {
            TRACE_LINE(this, "Device::ReadPciLocation", kTraceErrors, "DevicePropertyAddress=%08X",
                       static_cast<unsigned>(status));
            return status;
        }
        m_pciDeviceNumber = value >> 16;
        m_pciFunctionNumber = value & 7;
    }
    TRACE_LINE(this, "Device::ReadPciLocation", kTraceHighs, "Bus=%d, Device=%d, Function=%d",
               static_cast<int>(m_pciBusNumber), static_cast<int>(m_pciDeviceNumber),
               static_cast<int>(m_pciFunctionNumber));
    return STATUS_SUCCESS;
}

NTSTATUS Device::BuildFilterAutomation()
{
    if (m_automation != nullptr)
        return STATUS_SUCCESS;
    auto* automation = new FilterAutomation();
    if (automation == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    const NTSTATUS status = automation->Build();
    if (!NT_SUCCESS(status)) {
        delete automation;
        return status;
    }
    m_automation = automation;
    return STATUS_SUCCESS;
}

NTSTATUS Device::BuildFilterDescriptors()
{
    TRACE_SCOPE(this, "Device::BuildFilterDescriptors", kTraceLowEnter);
    if (m_filters == nullptr) {
        m_filters = static_cast<FilterDescriptors*>(AllocatePoolOfType(sizeof(FilterDescriptors), NonPagedPool));
        if (m_filters == nullptr)
            return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::memset(static_cast<void*>(m_filters), 0, sizeof(FilterDescriptors));
    m_crossbarMedium = KSPIN_MEDIUM{kCrossbarFilterReference, static_cast<ULONG>(m_instanceId), 0};

    NTSTATUS status = BuildFilterAutomation();
    if (!NT_SUCCESS(status))
        return status;
    KSFILTER_DESCRIPTOR& video = m_filters->videoCapture;
    video = FilterTemplate(&kVideoCaptureFilterReference, kVideoCaptureCategories, 3);
    video.AutomationTable = m_automation->Get(FilterAutomation::VideoCaptureFilter);
    std::memcpy(m_filters->videoCapturePins, kVideoCapturePinTemplates, sizeof(m_filters->videoCapturePins));
    for (ULONG pin = 0; pin < kVideoCapturePins; ++pin)
        if (pin != kVideoAnalogInputPin)
            m_filters->videoCapturePins[pin].AutomationTable = m_automation->Get(
                pin == kVideoCapturePinId ? FilterAutomation::VideoCapturePin : FilterAutomation::VideoStreamingPin);
    m_filters->videoCapturePins[kVideoAnalogInputPin].PinDescriptor.MediumsCount = 1;
    m_filters->videoCapturePins[kVideoAnalogInputPin].PinDescriptor.Mediums = &m_crossbarMedium;
    video.PinDescriptors = m_filters->videoCapturePins;
    video.PinDescriptorsCount =
        m_driver->GetHardwareInstalled() ? kVideoCapturePins : kVideoCapturePinsWithoutHardware;

    m_filters->crossbar = FilterTemplate(&kCrossbarFilterReference, kCrossbarCategories, 1);
    m_filters->crossbar.AutomationTable = m_automation->Get(FilterAutomation::CrossbarFilter);

    BuildAudioFilters();

    m_filters->list[0] = &m_filters->videoCapture;
    m_filters->list[1] = &m_filters->crossbar;
    for (ULONG i = 0; i < m_audioFilterCount; ++i)
        m_filters->list[2 + i] = &m_filters->audio[i];
    m_deviceDescriptor = KSDEVICE_DESCRIPTOR{};
    m_deviceDescriptor.Dispatch = &kDeviceDispatch;
    m_deviceDescriptor.FilterDescriptorsCount = 2 + m_audioFilterCount;
    m_deviceDescriptor.FilterDescriptors = m_filters->list;
    m_deviceDescriptor.Version = KSDEVICE_DESCRIPTOR_VERSION;
    return STATUS_SUCCESS;
}

void Device::BuildAudioFilters()
{
    const ULONG inputs = m_audioInputs.GetInputCount();
    m_audioFilterCount = 0;
    // The layout is decided here once; start names the filters by it.
    m_combinedAudioFilter = inputs > 0 && !m_driver->GetWdm6Available() && m_legacyAudioFilters != 0;
    if (inputs == 0)
        return;
    if (m_combinedAudioFilter) {
        BuildCombinedAudioFilter(inputs);
        m_audioFilterCount = 1;
        return;
    }
    for (ULONG i = 0; i < inputs && i < kMaximumAudioFilters; ++i)
        BuildPerInputAudioFilter(i);
    m_audioFilterCount = inputs < kMaximumAudioFilters ? inputs : kMaximumAudioFilters;
}

void Device::BuildCombinedAudioFilter(ULONG n)
{
    AudioFilterArrays& arrays = m_filters->audioArrays[0];
    arrays.reference = BasicFilter::GetAudioCaptureFilterReference(0);
    arrays.pins[0] = StreamingPinTemplate(&PINNAME_CAPTURE, PinDataRanges::kAudioCaptureRanges,
                                          &AudioCapturePin::IntersectHandler);
    for (ULONG i = 0; i < n; ++i) {
        m_audioInputs.GetInputName(i, &arrays.pinNames[i]);
        arrays.pins[1 + i] = PinTemplate(KSPIN_DATAFLOW_IN, &arrays.pinNames[i], &arrays.pinNames[i],
                                         PinDataRanges::kAudioInputRanges);
        arrays.pins[1 + i].AutomationTable = m_automation->Get(FilterAutomation::AudioInputPin);
        arrays.nodes[i] = KSNODE_DESCRIPTOR{m_automation->Get(FilterAutomation::VolumeNode), &kNodeTypeVolume, nullptr};
    }
    // The sum of the inputs is a selector: one input at a time reaches the output.
    arrays.nodes[n] = KSNODE_DESCRIPTOR{m_automation->Get(FilterAutomation::MuxNode), &kNodeTypeMux, nullptr};
    arrays.nodes[n + 1] = KSNODE_DESCRIPTOR{m_automation->Get(FilterAutomation::MuteNode), &kNodeTypeMute, nullptr};
    arrays.nodes[n + 2] = KSNODE_DESCRIPTOR{m_automation->Get(FilterAutomation::PeakNode), &kNodeTypePeakMeter, nullptr};
    ULONG c = 0;
    for (ULONG i = 1; i <= n; ++i) {
        arrays.connections[c++] = Connection(KSFILTER_NODE, i, i - 1, 1);
        arrays.connections[c++] = Connection(i - 1, 0, n, i);
    }
    arrays.connections[c++] = Connection(n, 0, n + 1, 1);
    arrays.connections[c++] = Connection(n + 1, 0, n + 2, 1);
    arrays.connections[c++] = Connection(n + 2, 0, KSFILTER_NODE, 0);
    for (ULONG i = 0; i < c; ++i)
        TRACE_LINE(this, "Device::BuildCombinedAudioFilter", kTraceLows,
                   "Connection %d from node %d pin %d to node %d pin %d", static_cast<int>(i),
                   static_cast<int>(arrays.connections[i].FromNode), static_cast<int>(arrays.connections[i].FromNodePin),
                   static_cast<int>(arrays.connections[i].ToNode), static_cast<int>(arrays.connections[i].ToNodePin));

    KSFILTER_DESCRIPTOR& filter = m_filters->audio[0];
    filter = FilterTemplate(&arrays.reference, kAudioCaptureCategories, 2);
    filter.AutomationTable = m_automation->Get(FilterAutomation::AudioCaptureFilter);
    filter.PinDescriptorsCount = n + 1;
    filter.PinDescriptors = arrays.pins;
    filter.NodeDescriptorsCount = n + 3;
    filter.NodeDescriptors = arrays.nodes;
    filter.ConnectionsCount = c;
    filter.Connections = arrays.connections;
}

void Device::BuildPerInputAudioFilter(ULONG input)
{
    AudioFilterArrays& arrays = m_filters->audioArrays[input];
    arrays.reference = BasicFilter::GetAudioCaptureFilterReference(input);
    m_audioInputs.GetInputName(input, &arrays.pinNames[0]);
    arrays.pins[0] = StreamingPinTemplate(&PINNAME_CAPTURE, PinDataRanges::kAudioCaptureRanges,
                                          &AudioCapturePin::IntersectHandler);
    arrays.pins[1] = PinTemplate(KSPIN_DATAFLOW_IN, &arrays.pinNames[0], &arrays.pinNames[0],
                                 PinDataRanges::kAudioInputRanges);
    arrays.pins[1].AutomationTable = m_automation->Get(FilterAutomation::AudioInputPin);
    arrays.nodes[0] = KSNODE_DESCRIPTOR{m_automation->Get(FilterAutomation::VolumeNode), &kNodeTypeVolume, nullptr};
    arrays.nodes[1] = KSNODE_DESCRIPTOR{m_automation->Get(FilterAutomation::MuteNode), &kNodeTypeMute, nullptr};
    arrays.nodes[2] = KSNODE_DESCRIPTOR{m_automation->Get(FilterAutomation::PeakNode), &kNodeTypePeakMeter, nullptr};
    arrays.connections[0] = Connection(KSFILTER_NODE, 1, 0, 1);
    arrays.connections[1] = Connection(0, 0, 1, 1);
    arrays.connections[2] = Connection(1, 0, 2, 1);
    arrays.connections[3] = Connection(2, 0, KSFILTER_NODE, 0);
    for (ULONG i = 0; i < 4; ++i)
        TRACE_LINE(this, "Device::BuildPerInputAudioFilter", kTraceLows,
                   "Filter %d Connection %d from node %d pin %d to node %d pin %d", static_cast<int>(input),
                   static_cast<int>(i), static_cast<int>(arrays.connections[i].FromNode),
                   static_cast<int>(arrays.connections[i].FromNodePin), static_cast<int>(arrays.connections[i].ToNode),
                   static_cast<int>(arrays.connections[i].ToNodePin));

    KSFILTER_DESCRIPTOR& filter = m_filters->audio[input];
    filter = FilterTemplate(&arrays.reference, kAudioCaptureCategories, 2);
    filter.AutomationTable = m_automation->Get(FilterAutomation::AudioCaptureFilter);
    filter.PinDescriptorsCount = 2;
    filter.PinDescriptors = arrays.pins;
    filter.NodeDescriptorsCount = 3;
    filter.NodeDescriptors = arrays.nodes;
    filter.ConnectionsCount = 4;
    filter.Connections = arrays.connections;
}

NTSTATUS Device::OnAdd(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject)
{
    TRACE_SCOPE(this, "Device::OnAdd", kTraceLowEnter);
    if (m_driver == nullptr || physicalDeviceObject == nullptr)
        return STATUS_INVALID_PARAMETER;
    SetPhysicalDeviceObject(physicalDeviceObject);
    NTSTATUS status = TakeInstanceId(physicalDeviceObject);
    if (!NT_SUCCESS(status))
        return status;
    status = ReadPciLocation(physicalDeviceObject);
    if (!NT_SUCCESS(status))
        return status;
    // A list that cannot be read is logged by its loader and leaves the board without those inputs.
    LoadVideoInputsFromRegistry(this, physicalDeviceObject, &m_videoInputs);
    LoadAudioInputsFromRegistry(this, physicalDeviceObject, &m_audioInputs);
    status = BuildFilterDescriptors();
    if (!NT_SUCCESS(status))
        return status;

    PKSDEVICE ksDevice = nullptr;
    status = KsCreateDevice(driverObject, physicalDeviceObject, &m_deviceDescriptor, 0, &ksDevice);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "Device::OnAdd", kTraceErrors, "KsCreateDevice failed with a return code of 0x%08x",
                   static_cast<unsigned>(status));
        return status;
    }
    m_ksDevice = ksDevice;
    SetFunctionalDeviceObject(ksDevice->FunctionalDeviceObject);
    KsAcquireDevice(ksDevice);
    status = KsAddItemToObjectBag(ksDevice->Bag, static_cast<ADevice*>(this), &ADevice::Cleanup);
    if (NT_SUCCESS(status))
        ksDevice->Context = this;
    KsReleaseDevice(ksDevice);
    if (!NT_SUCCESS(status)) {
        // The device object stays without a board behind it: its start fails.
        TRACE_LINE(this, "Device::OnAdd", kTraceErrors, "The device could not be put in its object bag: 0x%08x",
                   static_cast<unsigned>(status));
        m_ksDevice = nullptr;
        SetFunctionalDeviceObject(nullptr);
        return status;
    }
    CreateStreamProcessorQueues();
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI Device::DeviceStart(PKSDEVICE device, PIRP irp, PCM_RESOURCE_LIST translatedResources,
                                   PCM_RESOURCE_LIST rawResources)
{
    Device* self = FromKsDevice(device);
    if (self == nullptr)
        return STATUS_UNSUCCESSFUL;
    try {
        return self->OnStart(irp, rawResources, translatedResources);
    } catch (const standin::RaisedStatus& raised) {
        self->Invalidate();
        return raised.status;
    }
}

VOID NTAPI Device::DeviceStop(PKSDEVICE device, PIRP irp)
{
    (void)irp;
    if (Device* self = FromKsDevice(device))
        self->OnStop();
}

VOID NTAPI Device::DeviceRemove(PKSDEVICE device, PIRP irp)
{
    (void)irp;
    if (Device* self = FromKsDevice(device))
        self->OnRemove();
}

NTSTATUS NTAPI Device::DeviceQueryCapabilities(PKSDEVICE device, PIRP irp, PDEVICE_CAPABILITIES capabilities)
{
    (void)irp;
    TRACE_SCOPE(FromKsDevice(device), "Device::DeviceQueryCapabilities", kTraceLowEnter);
    if (capabilities == nullptr)
        return STATUS_INVALID_PARAMETER;
    capabilities->DeviceD1 = 0;
    capabilities->DeviceD2 = 0;
    capabilities->LockSupported = 0;
    capabilities->EjectSupported = 0;
    capabilities->Removable = 0;
    capabilities->DockDevice = 0;
    capabilities->UniqueID = 0;
    capabilities->SilentInstall = 0;
    capabilities->RawDeviceOK = 0;
    capabilities->SurpriseRemovalOK = 0;
    capabilities->WakeFromD0 = 0;
    capabilities->WakeFromD1 = 0;
    capabilities->WakeFromD2 = 0;
    capabilities->WakeFromD3 = 0;
    capabilities->HardwareDisabled = 0;
    capabilities->NonDynamic = 0;
    capabilities->WarmEjectSupported = 0;
    capabilities->NoDisplayInUI = 0;
    capabilities->SystemWake = PowerSystemUnspecified;
    capabilities->DeviceWake = PowerDeviceUnspecified;
    capabilities->D1Latency = 0;
    capabilities->D2Latency = 0;
    capabilities->D3Latency = 0;
    return STATUS_SUCCESS;
}

NTSTATUS Device::WriteDeviceDescription()
{
    TRACE_SCOPE(this, "Device::WriteDeviceDescription", kTraceLowEnter);
    UNICODE_STRING link{};
    NTSTATUS status = IoRegisterDeviceInterface(m_physicalDeviceObject, &KSCATEGORY_CAPTURE, nullptr, &link);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "Device::WriteDeviceDescription", kTraceErrors,
                   "The capture interface could not be registered: 0x%08x", static_cast<unsigned>(status));
        return status;
    }
    // "\??\PCI#<hardware id>#<instance>#{class}": the Enum key is "PCI\<hardware id>\<instance>".
    static constexpr WCHAR kEnumRoot[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\PCI\\";
    constexpr ULONG kEnumRootCharacters = sizeof(kEnumRoot) / sizeof(WCHAR) - 1;
    const ULONG linkCharacters = link.Length / sizeof(WCHAR);
    WCHAR path[kEnumRootCharacters + 512];
    std::memcpy(path, kEnumRoot, kEnumRootCharacters * sizeof(WCHAR));
    ULONG out = kEnumRootCharacters;
    ULONG i = 0;
    while (i < linkCharacters && link.Buffer[i] != u'#')
        ++i;
    ++i; // past the bus's own '#'
    ULONG hashes = 0;
    for (; i < linkCharacters && out + 1 < sizeof(path) / sizeof(WCHAR); ++i) {
        WCHAR c = link.Buffer[i];
        if (c == u'#') {
            if (++hashes == 2)
                break;
            c = u'\\';
        }
        path[out++] = c;
    }
    path[out] = 0;
    RtlFreeUnicodeString(&link);
    if (hashes < 1) {
        TRACE_LINE(this, "Device::WriteDeviceDescription", kTraceErrors, "Unexpected interface link name");
        return STATUS_OBJECT_NAME_INVALID;
    }
    WCHAR name[kDeviceNameCharacters];
    Widen(m_deviceName, name, kDeviceNameCharacters);
    RegistryKey key(kRegistryRootAbsolute, path, FALSE, 0, kRegistryWriteAccess, kRegistryWriteAttributes);
    status = key.IsOpen() ? key.SetString(u"DeviceDesc", name) : key.Status();
    if (!NT_SUCCESS(status))
        TRACE_LINE(this, "Device::WriteDeviceDescription", kTraceErrors, "DeviceDesc could not be written: 0x%08x",
                   static_cast<unsigned>(status));
    return status;
}

NTSTATUS Device::WriteFriendlyName(const GUID& category, const GUID& reference, PCWSTR name)
{
    WCHAR referenceText[kBracedGuidCharacters];
    FormatReferenceString(reference, referenceText);
    UNICODE_STRING referenceString;
    RtlInitUnicodeString(&referenceString, referenceText);
    UNICODE_STRING link{};
    NTSTATUS status = IoRegisterDeviceInterface(m_physicalDeviceObject, &category, &referenceString, &link);
    if (!NT_SUCCESS(status))
        return status;
    HANDLE handle = nullptr;
    status = IoOpenDeviceInterfaceRegistryKey(&link, KEY_ALL_ACCESS, &handle);
    RtlFreeUnicodeString(&link);
    if (!NT_SUCCESS(status))
        return status;
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, u"FriendlyName");
    status = ZwSetValueKey(handle, &valueName, 0, REG_SZ, const_cast<PWSTR>(name),
                           static_cast<ULONG>((WideLength(name) + 1) * sizeof(WCHAR)));
    ZwClose(handle);
    return status;
}

void Device::NameFilterInterfaces()
{
    TRACE_SCOPE(this, "Device::NameFilterInterfaces", kTraceLowEnter);
    WCHAR name[kDeviceNameCharacters + 64];
    auto check = [this](NTSTATUS status, const char* what) {
        if (!NT_SUCCESS(status))
            TRACE_LINE(this, "Device::NameFilterInterfaces", kTraceErrors, "FriendlyName of the %s: 0x%08x", what,
                       static_cast<unsigned>(status));
    };
    _snwprintf(name, sizeof(name) / sizeof(WCHAR), u"Talvexon HD Video Device %d", static_cast<int>(m_instanceId));
    check(WriteFriendlyName(KSCATEGORY_CAPTURE, kVideoCaptureFilterReference, name), "video capture filter");
    check(WriteFriendlyName(KSCATEGORY_VIDEO, kVideoCaptureFilterReference, name), "video capture filter");
    check(WriteFriendlyName(KSCATEGORY_CROSSBAR, kVideoCaptureFilterReference, name), "video capture filter");
    if (m_combinedAudioFilter) {
        _snwprintf(name, sizeof(name) / sizeof(WCHAR), u"Talvexon HD Audio Device %d", static_cast<int>(m_instanceId));
        check(WriteFriendlyName(KSCATEGORY_CAPTURE, m_filters->audioArrays[0].reference, name), "audio filter");
        check(WriteFriendlyName(KSCATEGORY_AUDIO, m_filters->audioArrays[0].reference, name), "audio filter");
    } else {
        for (ULONG i = 0; i < m_audioFilterCount; ++i) {
            GUID type{};
            m_audioInputs.GetInputName(i, &type);
            const LONG identifier = FindAudioInputType(type);
            WCHAR category[128];
            if (identifier < 0 || !ReadMediaCategoryName(static_cast<ULONG>(identifier), category, 128)) {
                TRACE_LINE(this, "Device::NameFilterInterfaces", kTraceWarnings,
                           "Audio input %u has a type without a name: its filter is not named",
                           static_cast<unsigned>(i + 1));
                continue;
            }
            _snwprintf(name, sizeof(name) / sizeof(WCHAR), u"%ls (Talvexon HD %d)", category,
                       static_cast<int>(m_instanceId));
            check(WriteFriendlyName(KSCATEGORY_CAPTURE, m_filters->audioArrays[i].reference, name), "audio filter");
            check(WriteFriendlyName(KSCATEGORY_AUDIO, m_filters->audioArrays[i].reference, name), "audio filter");
        }
    }
    _snwprintf(name, sizeof(name) / sizeof(WCHAR), u"Talvexon HD Crossbar Device %d", static_cast<int>(m_instanceId));
    check(WriteFriendlyName(KSCATEGORY_CROSSBAR, kCrossbarFilterReference, name), "crossbar");
}

NTSTATUS Device::RegisterCrossbar()
{
    TRACE_SCOPE(this, "Device::RegisterCrossbar", kTraceLowEnter);
    if (m_filters == nullptr)
        return STATUS_INVALID_DEVICE_STATE;
    ULONG inputs = m_videoInputs.GetInputCount();
    if (inputs > kMaximumVideoInputs)
        inputs = kMaximumVideoInputs;
    for (ULONG i = 0; i < inputs; ++i) {
        m_filters->crossbarDirections[i] = 0; // in
        m_filters->crossbarMediums[i] = KSPIN_MEDIUM{KSMEDIUMSETID_Standard, 0, 0};
        m_filters->crossbarCategories[i] = GUID{};
    }
    m_filters->crossbarDirections[inputs] = 1; // out
    m_filters->crossbarMediums[inputs] = m_crossbarMedium;
    m_filters->crossbarCategories[inputs] = PINNAME_VIDEO_ANALOGVIDEOIN;
    return KsRegisterFilterWithNoKSPins(m_physicalDeviceObject, &KSCATEGORY_CROSSBAR, inputs + 1, m_filters->crossbarDirections,
                                        m_filters->crossbarMediums, m_filters->crossbarCategories);
}

TidewellProtocolManager* Device::ReferenceProtocolManager()
{
    KIRQL irql;
    KeAcquireSpinLock(&m_protocolManagerLock, &irql);
    TidewellProtocolManager* manager = m_protocolManager;
    if (manager != nullptr)
        ++m_protocolManagerHolds;
    KeReleaseSpinLock(&m_protocolManagerLock, irql);
    return manager;
}

void Device::DereferenceProtocolManager(TidewellProtocolManager* manager)
{
    if (manager == nullptr)
        return;
    KIRQL irql;
    KeAcquireSpinLock(&m_protocolManagerLock, &irql);
    if (manager == m_retiringProtocolManager) {
        if (--m_retiringProtocolManagerHolds == 0)
            KeSetEvent(&m_protocolManagerReleased, IO_NO_INCREMENT, FALSE);
    } else {
        --m_protocolManagerHolds;
    }
    KeReleaseSpinLock(&m_protocolManagerLock, irql);
}

NTSTATUS Device::RenewProtocolManager(PCM_RESOURCE_LIST rawResources, PCM_RESOURCE_LIST translatedResources)
{
    TRACE_SCOPE(this, "Device::RenewProtocolManager", kTraceLowEnter);
    // Every start builds a fresh host port: a stopped one never restarts. Command records of other
    // threads (a client's gain set, say) take the port at any time, so the fresh one becomes
    // current only once it is initialised, and the old one goes only once they have let go of it.
    auto* fresh = new TidewellProtocolManager(this);
    if (fresh == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    // The old one first: its invalidation completes every command it still holds (a holder
    // waiting for an answer lets go at once), refuses new ones until the fresh one is current,
    // and gives the board's registers and interrupt back before the fresh one takes them.
    {
        ProtocolManagerReference current(this);
        if (current)
            current->Invalidate();
    }
    const NTSTATUS status = fresh->Initialize(rawResources, translatedResources, DspHostSettings::FromDriver(*m_driver));
    KIRQL irql;
    KeAcquireSpinLock(&m_protocolManagerLock, &irql);
    TidewellProtocolManager* old = m_protocolManager;
    m_protocolManager = fresh;
    m_retiringProtocolManager = old;
    m_retiringProtocolManagerHolds = m_protocolManagerHolds;
    m_protocolManagerHolds = 0;
    const bool held = old != nullptr && m_retiringProtocolManagerHolds != 0;
    KeClearEvent(&m_protocolManagerReleased);
    KeReleaseSpinLock(&m_protocolManagerLock, irql);
    if (old == nullptr)
        return status;
    if (held) {
        TRACE_LINE(this, "Device::RenewProtocolManager", kTraceHighs,
                   "Waiting for the old host port's holders to let go");
        KeWaitForSingleObject(&m_protocolManagerReleased, Executive, KernelMode, FALSE, nullptr);
    }
    KeAcquireSpinLock(&m_protocolManagerLock, &irql);
    m_retiringProtocolManager = nullptr;
    KeReleaseSpinLock(&m_protocolManagerLock, irql);
    delete old;
    return status;
}

NTSTATUS Device::OnStart(PIRP irp, PCM_RESOURCE_LIST rawResources, PCM_RESOURCE_LIST translatedResources)
{
    TRACE_SCOPE(this, "Device::OnStart", kTraceEnter);
    (void)irp;
    // The whole start under the device mutex, which every property handler holds: a request that
    // comes meanwhile waits for the start's end and finds the board started (or, after a failure,
    // still stopped), never its host port, settings or audio configuration half built.
    KsDeviceHold hold(this);
    WriteDeviceDescription();
    TRACE_STATUS(this, "Device::OnStart", kTraceAlways, MSG_DEVICE_STARTING, "Device %s is starting", m_deviceName);

    if (m_driver->GetHardwareInstalled()) {
        NTSTATUS status = GetDmaAdapter(m_physicalDeviceObject);
        if (!NT_SUCCESS(status))
            return STATUS_UNSUCCESSFUL;
        status = RenewProtocolManager(rawResources, translatedResources);
        if (!NT_SUCCESS(status)) {
            Invalidate();
            return status;
        }
        status = StartTheDSPAndFPGA();
        if (!NT_SUCCESS(status))
            return status;
    } else {
        m_audioInputs.SetDaughterCardState(AudioInputItems::kNoDaughterCard);
        m_audioInputs.SetDaughterCardEnable(0);
    }

    LoadDeviceFromRegistry(this, m_physicalDeviceObject);

    const NTSTATUS registered = RegisterCrossbar();
    if (!NT_SUCCESS(registered))
        TRACE_LINE(this, "Device::OnStart", kTraceErrors, "The crossbar could not be registered: 0x%08x",
                   static_cast<unsigned>(registered));
    NameFilterInterfaces();
    TRACE_STATUS(this, "Device::OnStart", kTraceAlways, MSG_DEVICE_STARTED, "Device %s is started", m_deviceName);
    if (!NT_SUCCESS(registered)) {
        Invalidate();
    } else {
        InterlockedExchange(&m_started, 1);
        AcceptPrivateRequests();
    }
    return registered;
}

NTSTATUS Device::OnStop()
{
    TRACE_SCOPE(this, "Device::OnStop", kTraceEnter);
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > PASSIVE_LEVEL)
        KeLowerIrql(PASSIVE_LEVEL);
    TRACE_STATUS(this, "Device::OnStop", kTraceAlways, MSG_DEVICE_STOPPING, "Device %s is stopping", m_deviceName);
    MarkStopped();
    ReleaseDiagnosticsBuffer();
    QuiescePrivateRequests();
    Invalidate();
    StopPrivateRequests();
    TRACE_STATUS(this, "Device::OnStop", kTraceAlways, MSG_DEVICE_STOPPED, "Device %s is stopped", m_deviceName);
    if (irql > PASSIVE_LEVEL) {
        KIRQL ignored;
        KeRaiseIrql(irql, &ignored);
    }
    return STATUS_SUCCESS;
}

NTSTATUS Device::OnRemove()
{
    TRACE_SCOPE(this, "Device::OnRemove", kTraceEnter);
    MarkStopped();
    ReleaseDiagnosticsBuffer();
    QuiescePrivateRequests();
    Invalidate();
    StopPrivateRequests();
    DestroyStreamProcessorQueues();
    if (m_functionalDeviceObject != nullptr)
        IoUnregisterShutdownNotification(m_functionalDeviceObject);
    if (m_instanceId > 0)
        m_driver->RemoveDeviceInstanceId(this);
    return STATUS_SUCCESS;
}

void Device::Invalidate()
{
    TRACE_SCOPE(this, "Device::Invalidate", kTraceLowEnter);
    ReleaseDmaAdapter();
    if (!m_driver->GetHardwareInstalled())
        return;
    ProtocolManagerReference manager(this);
    if (manager)
        manager->Invalidate();
}

NTSTATUS Device::BuildImagePath(PCWSTR imageName, WCHAR* path, ULONG capacity)
{
    PCWSTR folder = m_driver->GetDriversPath();
    const size_t folderLength = WideLength(folder);
    const size_t nameLength = WideLength(imageName);
    const size_t total = folderLength + (folderLength != 0 ? 1 : 0) + nameLength;
    if (total + 1 > capacity)
        return STATUS_OBJECT_NAME_INVALID;
    size_t out = 0;
    if (folderLength != 0) {
        std::memcpy(path, folder, folderLength * sizeof(WCHAR));
        out = folderLength;
        path[out++] = u'\\';
    }
    std::memcpy(path + out, imageName, nameLength * sizeof(WCHAR));
    path[out + nameLength] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS Device::LoadFile(PCWSTR name, PUCHAR* buffer, ULONG* size)
{
    TRACE_SCOPE(this, "Device::LoadFile", kTraceLowEnter);
    if (buffer == nullptr || size == nullptr || name == nullptr)
        return STATUS_INVALID_PARAMETER;
    *buffer = nullptr;
    *size = 0;
    static constexpr WCHAR kPrefix[] = u"\\DosDevices\\";
    constexpr ULONG kPrefixCharacters = sizeof(kPrefix) / sizeof(WCHAR) - 1;
    const size_t nameLength = WideLength(name);
    WCHAR path[kPrefixCharacters + kMaximumImagePathBytes + 1];
    std::memcpy(path, kPrefix, kPrefixCharacters * sizeof(WCHAR));
    const size_t copied = nameLength < kMaximumImagePathBytes ? nameLength : kMaximumImagePathBytes;
    std::memcpy(path + kPrefixCharacters, name, copied * sizeof(WCHAR));
    path[kPrefixCharacters + copied] = 0;
    NTSTATUS status = STATUS_OBJECT_NAME_INVALID;
    if (nameLength * sizeof(WCHAR) <= kMaximumImagePathBytes) {
        KernelFile file;
        status = file.Create(path, nullptr, GENERIC_READ | SYNCHRONIZE, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OPEN,
                             FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr);
        if (NT_SUCCESS(status)) {
            FILE_STANDARD_INFORMATION information{};
            status = file.QueryStandardInfo(&information);
            if (NT_SUCCESS(status) && information.EndOfFile.QuadPart > static_cast<LONGLONG>(kMaximumImageBytes)) {
                file.Close();
                TRACE_STATUS(this, "Device::LoadFile", kTraceErrors, MSG_IMAGE_FILE_TOO_LARGE,
                             "Image file [%ls] is %I64u bytes long, more than the %u bytes an image may have.", path,
                             static_cast<ULONGLONG>(information.EndOfFile.QuadPart),
                             static_cast<unsigned>(kMaximumImageBytes));
                return MSG_IMAGE_FILE_TOO_LARGE;
            }
            if (NT_SUCCESS(status) && information.EndOfFile.QuadPart <= 0)
                status = STATUS_END_OF_FILE;
            PUCHAR data = nullptr;
            if (NT_SUCCESS(status)) {
                const ULONG length = static_cast<ULONG>(information.EndOfFile.QuadPart);
                data = static_cast<PUCHAR>(AllocatePoolOfType(length, PagedPool));
                status = data != nullptr ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
                ULONG transferred = 0;
                LARGE_INTEGER offset{};
                if (NT_SUCCESS(status))
                    status = file.Read(data, length, &transferred, &offset);
                if (NT_SUCCESS(status) && transferred != length)
                    status = STATUS_END_OF_FILE;
                if (NT_SUCCESS(status)) {
                    *buffer = data;
                    *size = length;
                    data = nullptr;
                }
            }
            if (data != nullptr)
                FreePool(data);
            file.Close();
        }
    }
    if (NT_SUCCESS(status))
        return STATUS_SUCCESS;
    TRACE_STATUS(this, "Device::LoadFile", kTraceErrors, MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED,
                 "Attempt to open file [%ls] failed.  Status returned was %#010x.", path, static_cast<unsigned>(status));
    return MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED;
}

NTSTATUS Device::LoadImage(PCWSTR imageName, PUCHAR* buffer, ULONG* size)
{
    WCHAR path[kMaximumImagePathBytes + 2];
    const NTSTATUS status = BuildImagePath(imageName, path, sizeof(path) / sizeof(WCHAR));
    if (!NT_SUCCESS(status)) {
        // A path over the limit: LoadFile reports it with as much of it as fits.
        WCHAR cut[kMaximumImagePathBytes + 2];
        std::memset(cut, 0, sizeof(cut));
        PCWSTR folder = m_driver->GetDriversPath();
        const size_t folderLength = WideLength(folder);
        size_t n = 0;
        for (; n < folderLength && n < kMaximumImagePathBytes; ++n)
            cut[n] = folder[n];
        if (n < kMaximumImagePathBytes && folderLength != 0)
            cut[n++] = u'\\';
        for (size_t i = 0; imageName[i] != 0 && n < kMaximumImagePathBytes + 1; ++i)
            cut[n++] = imageName[i];
        return LoadFile(cut, buffer, size);
    }
    return LoadFile(path, buffer, size);
}

NTSTATUS Device::LoadProgramImage(PCWSTR imageName, PUCHAR* buffer, ULONG* size)
{
    NTSTATUS status = LoadImage(imageName, buffer, size);
    if (!NT_SUCCESS(status))
        return status;
    TidewellProtocolManager::ImageFault fault;
    status = TidewellProtocolManager::ValidateImage(*buffer, *size, &fault);
    if (NT_SUCCESS(status))
        return status;
    WCHAR path[kMaximumImagePathBytes + 2];
    if (!NT_SUCCESS(BuildImagePath(imageName, path, sizeof(path) / sizeof(WCHAR))))
        path[0] = 0;
    const unsigned section = static_cast<unsigned>(fault.section);
    const unsigned sections = static_cast<unsigned>(fault.sections);
    switch (fault.kind) {
    case TidewellProtocolManager::ImageFault::kHeaderCut:
    case TidewellProtocolManager::ImageFault::kSectionCut:
        TRACE_STATUS(this, "Device::LoadProgramImage", kTraceErrors, MSG_DSP_IMAGE_CUT_SHORT,
                     "The DSP image [%ls] is cut short: section %u of %u needs %u more bytes, but only %I64u are "
                     "left.  Nothing of it was loaded.",
                     path, section, sections,
                     static_cast<unsigned>(fault.kind == TidewellProtocolManager::ImageFault::kHeaderCut
                                               ? TidewellProtocolManager::kImageSectionHeaderBytes
                                               : fault.length),
                     fault.spare);
        break;
    case TidewellProtocolManager::ImageFault::kOutsideWindowPage:
        TRACE_STATUS(this, "Device::LoadProgramImage", kTraceErrors, MSG_DSP_IMAGE_SECTION_OUTSIDE_PAGE,
                     "The file [%ls] is no DSP program image: its section %u of %u (DSP address 0x%08x, %u bytes) "
                     "does not fit in one 4 MB page of DSP memory.  Nothing of it was loaded.",
                     path, section, sections, static_cast<unsigned>(fault.address),
                     static_cast<unsigned>(fault.length));
        break;
    default:
        // Bytes after the last section (an empty file never gets here: LoadFile refuses it).
        TRACE_STATUS(this, "Device::LoadProgramImage", kTraceErrors, MSG_DSP_IMAGE_BYTES_AFTER_LAST_SECTION,
                     "The file [%ls] is no DSP program image: %I64u bytes follow the last of its %u sections.  "
                     "Nothing of it was loaded.",
                     path, fault.spare, sections);
        break;
    }
    FreePool(*buffer);
    *buffer = nullptr;
    *size = 0;
    return status;
}

NTSTATUS Device::CheckImageNameRead(PCWSTR valueName, ULONG unreadBytes)
{
    if (unreadBytes == 0)
        return STATUS_SUCCESS;
    // A text value's data end in its terminating zero, which is no character of the name.
    TRACE_STATUS(this, "Device::CheckImageNameRead", kTraceErrors, MSG_IMAGE_NAME_TOO_LONG,
                 "The %ls registry value is %u characters long, more than the %u characters an image's path may "
                 "have.",
                 valueName, static_cast<unsigned>(unreadBytes / sizeof(WCHAR) - (unreadBytes >= sizeof(WCHAR) ? 1 : 0)),
                 static_cast<unsigned>(kMaximumImagePathBytes / sizeof(WCHAR)));
    return MSG_IMAGE_NAME_TOO_LONG;
}

NTSTATUS Device::ReadDspEprom()
{
    TRACE_SCOPE(this, "Device::ReadDspEprom", kTraceLowEnter);
    // Staged aside and taken over whole under the device lock: a configuration read meanwhile
    // (a private request rewrites the EEPROM and reads it again) sees the image before or after,
    // never a mix, and a read that fails leaves the image as it was.
    auto* staged = static_cast<UCHAR*>(AllocatePool(kEepromBytes));
    if (staged == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr) {
        FreePool(staged);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    const NTSTATUS status = handler->ReadDspEeprom(2, staged, kEepromBytes);
    FreeCommandHandler(handler);
    if (NT_SUCCESS(status)) {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::ReadDspEprom", __LINE__);
        std::memcpy(m_eeprom, staged, kEepromBytes);
    }
    FreePool(staged);
    return status;
}

bool Device::HasDaughterCard() const
{
    return (m_audioInputs.GetDaughterCardState() & AudioInputItems::kNoDaughterCard) != AudioInputItems::kNoDaughterCard;
}

bool Device::IsDaughterCardEnabled() const
{
    return m_audioInputs.GetDaughterCardEnable() != 0;
}

NTSTATUS Device::StartTester(PCWSTR valueName, PCWSTR imageName, ULONG unreadBytes, NTSTATUS missingMessage,
                             const char* missingText, const char* testerText)
{
    if (!m_driver->GetHardwareInstalled())
        return STATUS_SUCCESS;
    // Until the start itself, nothing has touched the DSP: a failure leaves the firmware running.
    NTSTATUS status = CheckImageNameRead(valueName, unreadBytes);
    if (!NT_SUCCESS(status))
        return status;
    if (imageName == nullptr) {
        TRACE_STATUS(this, "Device::StartTester", kTraceErrors, missingMessage, "%s", missingText);
        return missingMessage;
    }
    PUCHAR image = nullptr;
    ULONG size = 0;
    status = LoadProgramImage(imageName, &image, &size);
    if (!NT_SUCCESS(status))
        return status;
    {
        ProtocolManagerReference manager(this);
        status = manager ? manager->Start(image, size, true) : STATUS_DEVICE_NOT_READY;
    }
    FreePool(image);
    if (NT_SUCCESS(status))
        return status;
    // The DSP was reset for the tester that did not come up: the firmware comes back, so that the
    // board answers again without a restart of the device (a failure there invalidates).
    if (NT_SUCCESS(StartTheDSPAndFPGA()))
        TRACE_STATUS(this, "Device::StartTester", kTraceErrors, MSG_DSP_TESTER_FAILED_FIRMWARE_RESTARTED,
                     "The DSP %s did not start; the board was returned to its firmware.", testerText);
    return status;
}

NTSTATUS Device::StartTheDSPMemoryTester()
{
    TRACE_SCOPE(this, "Device::StartTheDSPMemoryTester", kTraceLowEnter);
    return StartTester(u"DSPMemoryTesterImageName", m_driver->GetDSPMemoryTesterImageName(),
                       m_driver->GetUnreadDSPMemoryTesterImageNameBytes(), MSG_DSP_MEMORY_TESTER_IMAGE_NAME_NOT,
                       "The DSP memory tester image name was not specified in the registry.", "memory tester");
}

NTSTATUS Device::StartTheDSPPciTester()
{
    TRACE_SCOPE(this, "Device::StartTheDSPPciTester", kTraceLowEnter);
    return StartTester(u"DSPPciTesterImageName", m_driver->GetDSPPciTesterImageName(),
                       m_driver->GetUnreadDSPPciTesterImageNameBytes(), MSG_DSP_PCI_TESTER_IMAGE_NAME_NOT,
                       "The DSP PCI tester image name was not specified in the registry.", "PCI tester");
}

NTSTATUS Device::ConfigureDaughterCard(ULONG signature)
{
    TRACE_SCOPE(this, "Device::ConfigureDaughterCard", kTraceLowEnter);
    const ULONG type = signature & AudioInputItems::kNoDaughterCard;
    m_audioInputs.SetDaughterCardState(type);
    BrevicorAudioConfigRecord record{};
    GetAudioInputSettings(&record);
    auto setCardInputs = [&record](UCHAR a, UCHAR b, UCHAR c, UCHAR d) {
        const UCHAR types[4] = {a, b, c, d};
        for (ULONG i = 0; i < 4; ++i)
            record.inputs[kFirstDaughterCardInput + i].connectorType = types[i];
    };
    NTSTATUS status;
    if (HasDaughterCard() && IsDaughterCardEnabled()) {
        record.daughterCardEnable = 0;
        setCardInputs(kAudioTypeSdi, kAudioTypeSdi, kAudioTypeSdi, kAudioTypeSdi);
        status = SetAudioConfigurationSettings(&record);
        if (!NT_SUCCESS(status))
            TRACE_LINE(this, "Device::ConfigureDaughterCard", kTraceWarnings,
                       "The audio configuration without the card was refused: 0x%08x", static_cast<unsigned>(status));
        record.daughterCardEnable = 1;
        if (type == 0 || type == 23) {
            setCardInputs(kAudioTypeAes, kAudioTypeAes, kAudioTypeAes, kAudioTypeAes);
        } else if (type == 7 || type == 16) {
            setCardInputs(kAudioTypeBalanced, kAudioTypeUnbalanced, kAudioTypeAes, kAudioTypeAes);
        } else {
            record.daughterCardEnable = 0;
            TRACE_STATUS(this, "Device::ConfigureDaughterCard", kTraceErrors,
                         MSG_DAUGHTERCARD_SIGNATURE_INVALID_DAUGHTERCARD_DISABLED,
                         "Daughtercard signature of %u is invalid.  Daughtercard has been disabled.",
                         static_cast<unsigned>(type));
        }
        status = SetAudioConfigurationSettings(&record);
    } else {
        setCardInputs(kAudioTypeSdi, kAudioTypeSdi, kAudioTypeSdi, kAudioTypeSdi);
        record.daughterCardEnable = 0;
        status = SetAudioConfigurationSettings(&record);
    }
    if (!NT_SUCCESS(status))
        TRACE_LINE(this, "Device::ConfigureDaughterCard", kTraceWarnings, "The audio configuration was refused: 0x%08x",
                   static_cast<unsigned>(status));
    // The DSP takes the configuration the inputs now hold (nothing for inputs the board lacks).
    record = BrevicorAudioConfigRecord{};
    GetAudioInputSettings(&record);
    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    status = handler->SetAudioConfig(reinterpret_cast<const ULONG*>(&record), sizeof(record) / sizeof(ULONG));
    FreeCommandHandler(handler);
    return status;
}

NTSTATUS Device::ConfigureAlignmentDetection()
{
    TRACE_SCOPE(this, "Device::ConfigureAlignmentDetection", kTraceLowEnter);
    const ULONG value = m_driver->GetVideoAlignmentDetectionEnable()
                            ? (m_driver->GetVideoAlignmentDetectionLine() << 6) | kAlignmentEnable
                            : 0;
    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    const NTSTATUS written = handler->WriteFPGARegister(kAlignmentRegister, value, kAlignmentRegisterMask, true);
    FreeCommandHandler(handler);
    // Read back also when the write was refused: the trace then tells what the register holds.
    if (!NT_SUCCESS(written))
        TRACE_LINE(this, "Device::ConfigureAlignmentDetection", kTraceErrors,
                   "The video frame alignment detection register was not written: 0x%08x",
                   static_cast<unsigned>(written));
    LARGE_INTEGER settle;
    settle.QuadPart = kAlignmentSettle;
    KeDelayExecutionThread(KernelMode, FALSE, &settle);
    handler = AllocateCommandHandler();
    if (handler == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    ULONG readBack = 0;
    NTSTATUS status = handler->ReadFPGARegister(kAlignmentRegister, &readBack);
    FreeCommandHandler(handler);
    if (NT_SUCCESS(status))
        TRACE_LINE(this, "Device::ConfigureAlignmentDetection", kTraceHighs,
                   "Video frame alignment detection register value = 0x%08x", static_cast<unsigned>(readBack));
    return NT_SUCCESS(written) ? status : written;
}

NTSTATUS Device::StartTheDSPAndFPGA()
{
    TRACE_SCOPE(this, "Device::StartTheDSPAndFPGA", kTraceEnter);
    if (!m_driver->GetHardwareInstalled())
        return STATUS_SUCCESS;
    m_fpgaLoaded = false;
    PCWSTR firmwareName = m_driver->GetFirmwareImageName();
    NTSTATUS status = CheckImageNameRead(u"FirmwareImageName", m_driver->GetUnreadFirmwareImageNameBytes());
    if (!NT_SUCCESS(status)) {
        Invalidate();
        return status;
    }
    if (firmwareName == nullptr) {
        TRACE_STATUS(this, "Device::StartTheDSPAndFPGA", kTraceErrors, MSG_DSP_IMAGE_NAME_NOT_SPECIFIED_REGISTRY,
                     "The DSP image name was not specified in the registry.");
        Invalidate();
        return MSG_DSP_IMAGE_NAME_NOT_SPECIFIED_REGISTRY;
    }
    PUCHAR image = nullptr;
    ULONG size = 0;
    status = LoadProgramImage(firmwareName, &image, &size);
    if (!NT_SUCCESS(status)) {
        Invalidate();
        return status;
    }
    {
        ProtocolManagerReference manager(this);
        status = manager ? manager->Start(image, size, false) : STATUS_DEVICE_NOT_READY;
        if (NT_SUCCESS(status)) {
            // The SDI clock adjustments of the capture pins' performance record, for the firmware.
            const PerformanceSettings performance = m_driver->GetStoredPerformanceSettings(kPinKindCapture);
            ULONG words[2];
            std::memcpy(&words[0], reinterpret_cast<const UCHAR*>(&performance) + 60, 4);
            std::memcpy(&words[1], reinterpret_cast<const UCHAR*>(&performance) + 64, 4);
            status = manager->WriteDspMemory(reinterpret_cast<const UCHAR*>(words), 36, sizeof(words));
        }
    }
    FreePool(image);
    image = nullptr;
    if (!NT_SUCCESS(status)) {
        Invalidate();
        return status;
    }

    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr) {
        Invalidate();
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    status = handler->SetDspPerformanceParams();
    FreeCommandHandler(handler);
    if (!NT_SUCCESS(status)) {
        Invalidate();
        return status;
    }
    // The EEPROM and the daughter card's signature only inform: a board whose DSP refuses them
    // still runs, its configuration showing the EEPROM image read before and no daughter card.
    NTSTATUS informational = ReadDspEprom();
    if (!NT_SUCCESS(informational))
        TRACE_LINE(this, "Device::StartTheDSPAndFPGA", kTraceErrors, "The EEPROM could not be read: 0x%08x",
                   static_cast<unsigned>(informational));
    ULONG signature = CommandHandler::kNoDCSignature;
    handler = AllocateCommandHandler();
    informational = handler != nullptr ? handler->GetDCSignature(&signature) : STATUS_INSUFFICIENT_RESOURCES;
    FreeCommandHandler(handler);
    if (!NT_SUCCESS(informational)) {
        signature = CommandHandler::kNoDCSignature;
        TRACE_LINE(this, "Device::StartTheDSPAndFPGA", kTraceErrors,
                   "No daughter card signature (0x%08x): no daughter card is assumed",
                   static_cast<unsigned>(informational));
    }
    TRACE_LINE(this, "Device::StartTheDSPAndFPGA", kTraceHighs, "Daughter card signature = 0x%08x",
               static_cast<unsigned>(signature));
    m_audioInputs.SetDaughterCardState(signature & AudioInputItems::kNoDaughterCard);

    if (m_driver->GetBypassLoadingFPGA())
        return STATUS_SUCCESS;

    PCWSTR fpgaName = m_driver->GetFPGAImageName();
    status = CheckImageNameRead(u"FPGAImageName", m_driver->GetUnreadFPGAImageNameBytes());
    if (!NT_SUCCESS(status)) {
        Invalidate();
        return status;
    }
    if (fpgaName == nullptr) {
        TRACE_STATUS(this, "Device::StartTheDSPAndFPGA", kTraceErrors, MSG_FPGA_IMAGE_NAME_NOT_SPECIFIED_REGISTRY,
                     "The FPGA image name was not specified in the registry.");
        Invalidate();
        return MSG_FPGA_IMAGE_NAME_NOT_SPECIFIED_REGISTRY;
    }
    status = LoadImage(fpgaName, &image, &size);
    if (!NT_SUCCESS(status)) {
        Invalidate();
        return status;
    }
    handler = AllocateCommandHandler();
    status = handler != nullptr ? handler->ProgramFPGA(image, size) : STATUS_INSUFFICIENT_RESOURCES;
    FreeCommandHandler(handler);
    FreePool(image);
    if (!NT_SUCCESS(status)) {
        Invalidate();
        return status;
    }
    const NTSTATUS programmed = status;

    // With the FPGA programmed the board runs: the audio configuration and the alignment register
    // that follow are logged when the DSP refuses them, and the start goes on.
    status = ConfigureDaughterCard(signature);
    if (!NT_SUCCESS(status))
        TRACE_LINE(this, "Device::StartTheDSPAndFPGA", kTraceErrors,
                   "The audio configuration did not reach the DSP: 0x%08x", static_cast<unsigned>(status));
    status = ConfigureAlignmentDetection();
    if (!NT_SUCCESS(status))
        TRACE_LINE(this, "Device::StartTheDSPAndFPGA", kTraceErrors,
                   "The video frame alignment detection register could not be set: 0x%08x",
                   static_cast<unsigned>(status));
    m_fpgaLoaded = true;
    TRACE_LINE(this, "Device::StartTheDSPAndFPGA", kTraceHighs, "Completed the FGPA load processing.");
    return programmed;
}

// ---- Audio configuration ------------------------------------------------------------------------

NTSTATUS Device::GetAudioInputSettings(BrevicorAudioConfigRecord* record)
{
    TRACE_SCOPE(this, "Device::GetAudioInputSettings", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    record->daughterCardState = m_audioInputs.GetDaughterCardState();
    record->daughterCardEnable = m_audioInputs.GetDaughterCardEnable();
    // The setting as read ("LegacyAudioFilters"), never set from kernel version 6 on.
    record->legacyAudioFilters = static_cast<UCHAR>(m_legacyAudioFilters != 0 && !m_driver->GetWdm6Available() ? 1 : 0);
    record->kernelVersion6 = static_cast<UCHAR>(m_driver->GetWdm6Available() ? 1 : 0);
    const ULONG count = m_audioInputs.GetInputCount();
    for (ULONG i = 0; i < count && i < kAudioConfigInputs; ++i) {
        ULONG type = 0, enabled = 0, frequency = 0;
        LONG gain = 0;
        UCHAR bypass = 0;
        m_audioInputs.GetInputType(i, &type);
        m_audioInputs.GetInputEnabled(i, &enabled);
        m_audioInputs.GetDefaultFrequency(i, &frequency);
        m_audioInputs.GetInputGain(i, &gain);
        m_audioInputs.GetAudioIsInBypassMode(i, &bypass);
        record->inputs[i].connectorType = static_cast<UCHAR>(type);
        record->inputs[i].defaultFrequency = static_cast<UCHAR>(frequency);
        record->inputs[i].inputEnabled = static_cast<UCHAR>(enabled);
        record->inputs[i].unused = 0;
        record->volumeAdjustmentDisabled[i] = bypass;
        record->gain[i] = gain;
    }
    const LONG base = m_driver->GetDspAnalogDCGainOffset();
    record->gainMinimum = m_driver->GetDspAnalogDCGainMin() - base;
    record->gainMaximum = m_driver->GetDspAnalogDCGainMax() - base;
    record->gainSpan = record->gainMaximum - record->gainMinimum;
    record->reserved = 0;
    return STATUS_SUCCESS;
}

namespace {

// A gain in tenths of a decibel as the decibels the event log shows: "-0.9", "1.5", "0.0".
struct GainDecibels {
    explicit GainDecibels(LONG tenths)
    {
        const LONGLONG magnitude = tenths < 0 ? -LONGLONG(tenths) : LONGLONG(tenths);
        _snprintf(text, sizeof(text) - 1, "%s%I64d.%I64d", tenths < 0 ? "-" : "", magnitude / 10, magnitude % 10);
    }
    char text[32] = {};
};

} // namespace

NTSTATUS Device::CheckAudioConfiguration(const BrevicorAudioConfigRecord* record, ULONG count)
{
    if (record->daughterCardEnable > 1) {
        TRACE_STATUS(this, "Device::SetAudioConfigurationSettings", kTraceErrors,
                     MSG_SPECIFIED_DAUGHTER_CARD_ENABLE_INVALID_VALID,
                     "Specified daughter card enable of %u is invalid.  Valid values are 0 (FALSE) and 1 (TRUE).",
                     static_cast<unsigned>(record->daughterCardEnable));
        return MSG_SPECIFIED_DAUGHTER_CARD_ENABLE_INVALID_VALID;
    }
    for (ULONG i = 0; i < count && i < kFirstDaughterCardInput; ++i) {
        if (record->inputs[i].connectorType != kAudioTypeSdi) {
            TRACE_STATUS(this, "Device::SetAudioConfigurationSettings", kTraceErrors,
                         MSG_SPECIFIED_SDI_CONNECTOR_TYPE_INVALID,
                         "Specified connector type of %u is invalid for audio input %u.  Valid value is 10 (SDI).",
                         static_cast<unsigned>(record->inputs[i].connectorType), static_cast<unsigned>(i + 1));
            return MSG_SPECIFIED_SDI_CONNECTOR_TYPE_INVALID;
        }
    }
    const LONG base = m_driver->GetDspAnalogDCGainOffset();
    const LONG minimum = m_driver->GetDspAnalogDCGainMin() - base;
    const LONG maximum = m_driver->GetDspAnalogDCGainMax() - base;
    for (ULONG i = 0; i < count; ++i) {
        if (record->inputs[i].inputEnabled > 1) {
            TRACE_STATUS(this, "Device::SetAudioConfigurationSettings", kTraceErrors,
                         MSG_SPECIFIED_AUDIO_INPUT_ENABLED_VALUE_INVALID,
                         "Specified audio input enabled value of %u is invalid.  Valid values are 0 (FALSE) and 1 "
                         "(TRUE).",
                         static_cast<unsigned>(record->inputs[i].inputEnabled));
            return MSG_SPECIFIED_AUDIO_INPUT_ENABLED_VALUE_INVALID;
        }
        if (record->inputs[i].defaultFrequency > 2) {
            TRACE_STATUS(this, "Device::SetAudioConfigurationSettings", kTraceErrors,
                         MSG_INVALID_DEFAULT_AUDIO_FREQUENCY_TYPE_INVALID,
                         "Invalid default audio frequency type of %u is invalid.  Valid value range is 0 - %u",
                         static_cast<unsigned>(record->inputs[i].defaultFrequency), 2u);
            return MSG_INVALID_DEFAULT_AUDIO_FREQUENCY_TYPE_INVALID;
        }
        if (record->gain[i] < minimum || record->gain[i] > maximum) {
            // Gains are in tenths of a decibel; each conversion is one insert of the message.
            TRACE_STATUS(this, "Device::SetAudioConfigurationSettings", kTraceErrors,
                         MSG_AUDIO_GAIN_VALUE_INVALID_VALID_VALUE,
                         "Audio gain value of %d is invalid.  Valid value range is %d (%s dB) to %d (%s dB)",
                         static_cast<int>(record->gain[i]), static_cast<int>(minimum), GainDecibels(minimum).text,
                         static_cast<int>(maximum), GainDecibels(maximum).text);
            return MSG_AUDIO_GAIN_VALUE_INVALID_VALID_VALUE;
        }
        if (record->volumeAdjustmentDisabled[i] > 1) {
            TRACE_STATUS(this, "Device::SetAudioConfigurationSettings", kTraceErrors,
                         MSG_SPECIFIED_DISABLE_VOLUME_ADJUSTMENT_VALUE_INVALID,
                         "Specified disable volume adjustment value of %u is invalid.  Valid values are 0 (FALSE) and 1 "
                         "(TRUE).",
                         static_cast<unsigned>(record->volumeAdjustmentDisabled[i]));
            return MSG_SPECIFIED_DISABLE_VOLUME_ADJUSTMENT_VALUE_INVALID;
        }
    }
    if (record->daughterCardEnable == 1) {
        if (!HasDaughterCard()) {
            TRACE_STATUS(this, "Device::SetAudioConfigurationSettings", kTraceErrors,
                         MSG_ATTEMPT_ENABLE_DAUGHTER_CARD_ENABLE_INVALID,
                         "Attempt to enable daughter card enable is invalid.  No daughter card is installed.");
            return MSG_ATTEMPT_ENABLE_DAUGHTER_CARD_ENABLE_INVALID;
        }
        for (ULONG i = kFirstDaughterCardInput; i < count; ++i) {
            const ULONG type = record->inputs[i].connectorType;
            if (type < kAudioTypeAes || type > kAudioTypeUnbalanced) {
                TRACE_STATUS(this, "Device::SetAudioConfigurationSettings", kTraceErrors,
                             MSG_SPECIFIED_CONNECTOR_TYPE_INVALID_AUDIO_INPUT,
                             "Specified connector type of %u is invalid for audio input %u.  Valid values are 11 (AES) "
                             "and 12 (SPDIF).",
                             static_cast<unsigned>(type), static_cast<unsigned>(i + 1));
                return MSG_SPECIFIED_CONNECTOR_TYPE_INVALID_AUDIO_INPUT;
            }
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS Device::SendAnalogDCGain(ULONG input, LONG gain)
{
    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    // The DSP takes the gain above its zero point as a signed byte.
    const LONG absolute = gain + m_driver->GetDspAnalogDCGainOffset();
    const NTSTATUS status =
        handler->SetAnalogDCGain(static_cast<UCHAR>(static_cast<signed char>(absolute)), static_cast<UCHAR>(input));
    FreeCommandHandler(handler);
    return status;
}

NTSTATUS Device::ApplyAudioInput(ULONG input, const BrevicorAudioConfigRecord* record, ULONG newTypeIdentifier,
                                 bool* chainsChanged)
{
    NTSTATUS result = STATUS_SUCCESS;
    auto keep = [&result](NTSTATUS status) {
        if (!NT_SUCCESS(status) && NT_SUCCESS(result))
            result = status;
    };
    ULONG type = 0, enabled = 0, frequency = 0;
    LONG gain = 0;
    UCHAR bypass = 0;
    m_audioInputs.GetInputType(input, &type);
    m_audioInputs.GetInputEnabled(input, &enabled);
    m_audioInputs.GetDefaultFrequency(input, &frequency);
    m_audioInputs.GetInputGain(input, &gain);
    m_audioInputs.GetAudioIsInBypassMode(input, &bypass);
    const BrevicorAudioInputConfiguration& wanted = record->inputs[input];
    if (wanted.connectorType != type) {
        *chainsChanged = true;
        m_audioInputs.SetInputType(input, wanted.connectorType);
        keep(WriteAudioInputPropertyToRegistry(input, u"InputType", wanted.connectorType));
        GUID oldName{};
        m_audioInputs.GetInputName(input, &oldName);
        const GUID newName = GetAudioInputTypeGuid(newTypeIdentifier);
        m_audioInputs.SetInputName(input, newName);
        WCHAR braced[kBracedGuidCharacters];
        FormatBracedGuid(newName, braced);
        keep(WriteAudioInputPropertyToRegistry(input, u"InputName", braced));
        const LONG oldIdentifier = FindAudioInputType(oldName);
        if (oldIdentifier >= 0)
            GoHackTheDisplayedInputName(static_cast<ULONG>(oldIdentifier), newTypeIdentifier);
    }
    if (wanted.inputEnabled != enabled) {
        *chainsChanged = true;
        m_audioInputs.SetInputEnabled(input, wanted.inputEnabled);
        keep(WriteAudioInputPropertyToRegistry(input, u"InputEnabled", wanted.inputEnabled));
    }
    if (wanted.defaultFrequency != frequency) {
        *chainsChanged = true;
        m_audioInputs.SetDefaultFrequency(input, wanted.defaultFrequency);
        keep(WriteAudioInputPropertyToRegistry(input, u"InputDefaultFrequency", wanted.defaultFrequency));
    }
    if (record->volumeAdjustmentDisabled[input] != bypass) {
        *chainsChanged = true;
        m_audioInputs.SetAudioIsInBypassMode(input, record->volumeAdjustmentDisabled[input]);
        keep(WriteAudioInputPropertyToRegistry(input, u"AudioIsInBypassMode", record->volumeAdjustmentDisabled[input]));
    }
    if (record->gain[input] != gain) {
        m_audioInputs.SetInputGain(input, record->gain[input]);
        keep(WriteAudioInputPropertyToRegistry(input, u"InputGain", static_cast<ULONG>(record->gain[input])));
        keep(SendAnalogDCGain(input, record->gain[input]));
    }
    return result;
}

NTSTATUS Device::SetAudioConfigurationSettings(BrevicorAudioConfigRecord* record)
{
    TRACE_SCOPE(this, "Device::SetAudioConfigurationSettings", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    ULONG count = m_audioInputs.GetInputCount();
    if (count > kAudioConfigInputs)
        count = kAudioConfigInputs;
    NTSTATUS status = CheckAudioConfiguration(record, count);
    if (!NT_SUCCESS(status))
        return status;
    if (record->daughterCardEnable == 0)
        for (ULONG i = kFirstDaughterCardInput; i < count; ++i)
            record->inputs[i].connectorType = kAudioTypeSdi;

    NTSTATUS result = STATUS_SUCCESS;
    auto keep = [&result](NTSTATUS written) {
        if (!NT_SUCCESS(written) && NT_SUCCESS(result))
            result = written;
    };
    if (record->daughterCardEnable != m_audioInputs.GetDaughterCardEnable()) {
        m_audioInputs.SetDaughterCardEnable(record->daughterCardEnable);
        keep(WriteAudioInputPropertyToRegistry(u"DaughterCardEnabled", record->daughterCardEnable));
    }
    // From kernel version 6 on the filters are always one per input.
    const ULONG legacy = m_driver->GetWdm6Available() ? 0 : record->legacyAudioFilters;
    m_legacyAudioFilters = legacy;
    keep(WriteAudioInputPropertyToRegistry(u"LegacyAudioFilters", legacy));

    // The identifier of an input whose type changes: among the inputs that change in this call,
    // in input order, each daughter-card kind hands out its four identifiers in turn from its
    // first; any other type takes the identifier numbered like the input. An input whose type
    // stays keeps its identifier.
    constexpr ULONG kFirstCardTypeIdentifier = 8; // AES 8 to 11, S/PDIF 12, unbalanced 16, balanced 20
    ULONG handedOut[4] = {};
    bool rebuild = false;
    for (ULONG i = 0; i < count; ++i) {
        ULONG identifier = i;
        ULONG kind = 4;
        switch (record->inputs[i].connectorType) {
        case kAudioTypeAes: kind = 0; break;
        case kAudioTypeSpdif: kind = 1; break;
        case kAudioTypeUnbalanced: kind = 2; break;
        case kAudioTypeBalanced: kind = 3; break;
        default: break;
        }
        ULONG type = 0;
        m_audioInputs.GetInputType(i, &type);
        if (record->inputs[i].connectorType != type && kind < 4) {
            // Only inputs 5 to 8 take these types, so a kind never runs out of identifiers.
            identifier = kFirstCardTypeIdentifier + 4 * kind + handedOut[kind] % 4;
            ++handedOut[kind];
        }
        keep(ApplyAudioInput(i, record, identifier, &rebuild));
    }
    // The steps of the running audio chains follow the inputs' types, enables, rates and bypass.
    if (rebuild)
        RebuildOpenChains(false, true);
    return result;
}

void Device::GoHackTheDisplayedInputName(ULONG oldType, ULONG newType)
{
    TRACE_SCOPE(this, "Device::GoHackTheDisplayedInputName", kTraceLowEnter);
    WCHAR oldName[128];
    WCHAR newName[128];
    if (!ReadMediaCategoryName(oldType, oldName, 128) || !ReadMediaCategoryName(newType, newName, 128))
        return;
    WCHAR deviceName[kDeviceNameCharacters];
    Widen(m_deviceName, deviceName, kDeviceNameCharacters);
    static constexpr WCHAR kCapture[] =
        u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture";
    RegistryKey endpoints(kRegistryRootAbsolute, kCapture, FALSE, 0, kRegistryReadAccess, kRegistryReadAttributes);
    if (!endpoints.IsOpen())
        return;
    for (;;) {
        WCHAR nameBuffer[128];
        UNICODE_STRING name{0, sizeof(nameBuffer) - sizeof(WCHAR), nameBuffer};
        WCHAR classBuffer[8];
        UNICODE_STRING className{0, sizeof(classBuffer), classBuffer};
        RegistryKeySummary summary{};
        const NTSTATUS status = endpoints.EnumerateKey(&name, &className, &summary);
        if (status == STATUS_NO_MORE_ENTRIES || (!NT_SUCCESS(status) && status != STATUS_BUFFER_OVERFLOW))
            return;
        if (!NT_SUCCESS(status))
            continue;
        nameBuffer[name.Length / sizeof(WCHAR)] = 0;
        WCHAR path[sizeof(kCapture) / sizeof(WCHAR) + 140];
        _snwprintf(path, sizeof(path) / sizeof(WCHAR), u"%ls\\%ls", kCapture, nameBuffer);
        path[sizeof(path) / sizeof(WCHAR) - 1] = 0;
        RegistryKey endpoint(kRegistryRootAbsolute, path, FALSE, 0, kRegistryReadAccess, kRegistryReadAttributes);
        ULONG state = 0;
        if (!endpoint.IsOpen() || !NT_SUCCESS(endpoint.QueryDword(u"DeviceState", &state)) || state != 1)
            continue;
        WCHAR propertiesPath[sizeof(path) / sizeof(WCHAR) + 12];
        _snwprintf(propertiesPath, sizeof(propertiesPath) / sizeof(WCHAR), u"%ls\\Properties", path);
        propertiesPath[sizeof(propertiesPath) / sizeof(WCHAR) - 1] = 0;
        RegistryKey values(kRegistryRootAbsolute, propertiesPath, FALSE, 0, kRegistryWriteAccess,
                           kRegistryWriteAttributes);
        if (!values.IsOpen())
            continue;
        if (!StringValueEquals(&values, u"{b3f8fa53-0004-438e-9003-51a46e139bfc},6", deviceName) ||
            !StringValueEquals(&values, u"{a45c254e-df1c-4efd-8020-67d146a850e0},2", oldName))
            continue;
        values.SetString(u"{a45c254e-df1c-4efd-8020-67d146a850e0},2", newName);
        return;
    }
}
