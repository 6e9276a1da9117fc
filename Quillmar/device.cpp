// Device: instance id and names, the device-control entry and the performance announcement of one
// board, its protocol manager, its DMA common buffers with the old-buffer thread that releases
// them, and its pool of DSP command records.
#include "device.h"

#include "km/kernel.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <new>

Device::Device(Driver* driver)
    : m_driver(driver)
{
    TRACE_SCOPE(this, "Device::Device", kTraceLowEnter);
    m_protocolManager = new TidewellProtocolManager(this);
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
    // The thread works on this object: it must have ended before the memory goes.
    StopOldDmaBufferThread();
    ReleaseDmaAdapter();
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

NTSTATUS Device::OnAdd(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject)
{
    TRACE_SCOPE(this, "Device::OnAdd", kTraceLowEnter);
    (void)driverObject;
    (void)physicalDeviceObject;
    return STATUS_NOT_SUPPORTED;
}

NTSTATUS Device::DispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    TRACE_SCOPE(this, "Device::DispatchDeviceControl", kTraceEnter);
    PDRIVER_DISPATCH next = m_driver != nullptr ? m_driver->GetSavedDeviceControlDispatch() : nullptr;
    if (next != nullptr)
        return next(deviceObject, irp);
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

void Device::NotifyPerformanceChange(const PerformanceNotification& notification)
{
    TRACE_SCOPE(this, "Device::NotifyPerformanceChange", kTraceLowEnter, "pin kind %u", notification.pinKind);
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
    if (reference == nullptr)
        return m_streamTable.IsLive(stream);
    return reference->Take(&m_streamTable, stream);
}

ULONG Device::GetCurrentVideoInput(ULONG deviceNumber)
{
    TRACE_SCOPE(this, "Device::GetCurrentVideoInput", kTraceLowEnter, "nDeviceNumber=%u", static_cast<unsigned>(deviceNumber));
    return 0;
}

void Device::ProcessInputStateChanged(CommandHandler* handler)
{
    TRACE_SCOPE(this, "Device::ProcessInputStateChanged", kTraceLowEnter);
    TRACE_LINE(this, "Device::ProcessInputStateChanged", kTraceHighs,
               "Input state message: words 0x%08x 0x%08x, DSP result 0x%08x", handler->GetResultWordA(),
               handler->GetResultWordB(), handler->GetDspResult());
}
