// Device: the one object per board. Today it carries what the driver-wide object needs of it: its
// instance id and slot, its name in traces, the device-control entry the hooked dispatch hands
// requests to, the performance change it announces to its capture filters, the board's protocol
// manager, which it owns, and the DMA common buffers with their delayed release by the old-buffer
// thread, the pool of DSP command records, and the services the stream engine asks of its board
// (StreamDeviceServices): the table of live logical streams, the kill of a stream's outstanding
// records, the DSP clock rate and the processing queues. The board's life cycle (add, start, stop,
// removal) joins this class as the board control is built.
#pragma once
#include <cstddef>

#include "commandhandler.h"
#include "driver.h"
#include "kernel/driverheap.h"
#include "kernel/intrusivelist.h"
#include "kernel/kernelevent.h"
#include "kernel/systemthread.h"
#include "kplxfastlock.h"
#include "logicalstreamtable.h"
#include "streamdeviceservices.h"
#include "km/dma.h"
#include "tidewellprotocolmanager.h"
#include "km/iodevice.h"
#include "km/types.h"

class LogicalStream;
class StreamProcessorQueue;

class Device : public DriverAllocated, public StreamDeviceServices {
public:
    static constexpr ULONG kTraceNameCharacters = 32;
    static constexpr ULONG kDeviceNameCharacters = 256;

    explicit Device(Driver* driver);
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The add-device step after construction: takes an instance id and builds the kernel-streaming
    // device. Until the board's bring-up is part of the driver it answers STATUS_NOT_SUPPORTED, and
    // AddDevice refuses the board.
    virtual NTSTATUS OnAdd(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject);

    // Every device-control request of the board's device object, through the driver's hook. Until
    // the private requests exist, everything goes on to the framework's own handler.
    virtual NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp);

    // The performance settings changed: announced to the device's audio and video capture filters.
    virtual void NotifyPerformanceChange(const PerformanceNotification& notification);

    Driver* GetDriver() const override { return m_driver; }
    // 1 to 100 once numbered, 0 before.
    LONG GetInstanceId() const { return m_instanceId; }
    // Slot in the driver's table (instance id - 1), or -1 before numbering.
    LONG GetSlot() const { return m_instanceId > 0 ? m_instanceId - 1 : -1; }
    void SetInstanceId(LONG id);
    // "Device <id>" for trace lines.
    const char* GetTraceName() const { return m_traceName; }
    // "Talvexon HD <id>": the board's name in messages (empty before numbering).
    const char* GetDeviceName() const { return m_deviceName; }
    // The board's DSP host port; null only when it could not be allocated.
    TidewellProtocolManager* GetProtocolManager() const { return m_protocolManager; }
    // The functional device object the board's requests come to (null before it is built); the
    // shutdown notification is registered on it.
    PDEVICE_OBJECT GetFunctionalDeviceObject() const { return m_functionalDeviceObject; }
    void SetFunctionalDeviceObject(PDEVICE_OBJECT deviceObject) { m_functionalDeviceObject = deviceObject; }

    // ---- DMA common buffers with delayed release ----------------------------------------------
    // A freed buffer is kept this many one-second ticks of the old-buffer thread for reuse by an
    // allocation of the same length, then released.
    static constexpr ULONG kOldDmaBufferAge = 30;
    static constexpr LONGLONG kOldDmaBufferTick = -10000000; // relative, 100-ns units: 1 second
    static constexpr ULONG kDmaMaximumTransfer = 65535;
    static constexpr ULONG kDmaMapRegisters = 16;

    // Takes the adapter of a 32-bit bus master at start (success at once when one is held) and
    // starts the old-buffer thread again when an earlier release ended it. STATUS_UNSUCCESSFUL
    // when the bus gives no adapter.
    NTSTATUS GetDmaAdapter(PDEVICE_OBJECT physicalDeviceObject);
    // The DMA part of invalidation: when an adapter is held, stops the old-buffer thread, releases
    // every buffer (kept or still handed out) and gives the adapter back.
    void ReleaseDmaAdapter();
    PDMA_ADAPTER GetHeldDmaAdapter() const { return m_dmaAdapter; }

    // A common buffer of `length` bytes: a kept buffer of exactly that length, or a new one; null
    // without an adapter or when none can be had. PASSIVE_LEVEL.
    PVOID AllocateDmaBuffer(ULONG length, PHYSICAL_ADDRESS* logicalAddress);
    // Gives back a buffer AllocateDmaBuffer handed out; it is kept for reuse and released later.
    // STATUS_INVALID_PARAMETER, with nothing freed, for anything this device did not hand out (or
    // got back already). PASSIVE_LEVEL.
    NTSTATUS FreeDmaBuffer(ULONG length, PHYSICAL_ADDRESS logicalAddress, PVOID virtualAddress);
    // One tick of ageing: releases the kept buffers whose age runs out, or all of them when forced.
    void FreeOldDMAMemory(bool force);
    static void ProcessOldDMABuffersThread(PVOID context);

    // Counts for reports and tests, taken under the device lock.
    ULONG GetOldDmaBufferCount();
    ULONG GetDmaBuffersInUseCount();

    // ---- DSP command records ------------------------------------------------------------------
    // Records made at construction; the pool grows without bound beyond them.
    static constexpr ULONG kInitialCommandHandlers = 10;

    // A readied record on the busy list: the head of the free list, or a new one; null when memory
    // is short.
    CommandHandler* AllocateCommandHandler() override;
    // Back to the free list; null, and a record already there, are ignored. A record whose DSP may
    // still answer (abandoned after its time-out) stays out of the free list until the protocol
    // manager releases it.
    void FreeCommandHandler(CommandHandler* handler) override;
    // Sets the kill flag of every busy record that queued a buffer of `stream`, so that their
    // answers only give the buffers back (the stream's DSP stream is being destroyed).
    void KillStreamsPendingCommands(LogicalStreamHandle stream) override;
    // The protocol manager's side of a time-out: the DSP holds the record, so no free may reuse it
    // until ReleaseAbandonedCommandHandler (its late answer came, or the manager stopped).
    void AbandonCommandHandler(CommandHandler* handler);
    void ReleaseAbandonedCommandHandler(CommandHandler* handler);
    // The next host tag: a non-zero id, device-wide.
    ULONG NextCommandTag();
    // Counts for reports and tests, under the command lock.
    ULONG GetFreeCommandHandlerCount();
    ULONG GetBusyCommandHandlerCount();

    // Whether the stream `stream` names still exists, before a filled buffer is delivered to it:
    // false for a null or stale handle and for a stream being torn down. With `reference`, a live
    // stream is also referenced there, and cannot go before the reference is given back.
    bool ValidateLogicalStream(LogicalStreamHandle stream, LogicalStreamReference* reference = nullptr);

    // ---- Services for the stream engine ---------------------------------------------------------
    LogicalStreamTable* GetLogicalStreamTable() override { return &m_streamTable; }
    ULONG GetDspClockRate() override { return kDspClockRate; }
    // Made by the device's add (capacity 9, priorities 16 and 20); null before.
    StreamProcessorQueue* GetVideoStreamProcessorQueue() override { return m_videoQueue; }
    StreamProcessorQueue* GetAudioStreamProcessorQueue() override { return m_audioQueue; }
    // The crossbar filters arrive with the filters; until then no filter has an input: 0.
    ULONG GetCurrentVideoInput(ULONG deviceNumber) override;
    // An input-state message from the DSP (response id 6). Traced until input-state processing
    // exists; the caller returns the record to the pool.
    void ProcessInputStateChanged(CommandHandler* handler);

private:
    struct OldDmaBuffer {
        IntrusiveListLink link;
        PVOID virtualAddress;
        PHYSICAL_ADDRESS logicalAddress;
        ULONG length;
        ULONG age;
    };
    NTSTATUS StartOldDmaBufferThread();
    void StopOldDmaBufferThread();
    // Device lock held.
    void ReleaseDmaBuffer(OldDmaBuffer* buffer);
    void ReleaseAllDmaBuffers();

    PDMA_ADAPTER m_dmaAdapter = nullptr;
    KPLXFastLock m_deviceLock;
    IntrusiveList m_oldDmaBuffers{offsetof(OldDmaBuffer, link)};
    ULONG m_oldDmaBufferCount = 0;
    // The buffers handed out and not yet given back: what FreeDmaBuffer accepts.
    IntrusiveList m_dmaBuffersInUse{offsetof(OldDmaBuffer, link)};
    bool m_oldDmaThreadRunning = false; // device lock
    KernelEvent m_oldDmaStopEvent{NotificationEvent, FALSE};
    KernelEvent m_oldDmaStoppedEvent{NotificationEvent, FALSE};
    SystemThread m_oldDmaBufferThread;
    // ---- end of the DMA buffers -------------------------------------------------------------

    LogicalStreamTable m_streamTable;
    StreamProcessorQueue* m_videoQueue = nullptr;
    StreamProcessorQueue* m_audioQueue = nullptr;

    KPLXFastLock m_commandLock;
    IntrusiveList m_freeCommandHandlers{CommandHandler::PoolLinkOffset()};
    IntrusiveList m_busyCommandHandlers{CommandHandler::PoolLinkOffset()};
    volatile LONG m_lastCommandTag = 0;

private:
    Driver* m_driver;
    LONG m_instanceId = 0;
    PDEVICE_OBJECT m_functionalDeviceObject = nullptr;
    char m_traceName[kTraceNameCharacters] = "Device";
    char m_deviceName[kDeviceNameCharacters] = "";
    TidewellProtocolManager* m_protocolManager = nullptr;
};
