// Device: the one object per board. It carries its instance id and slot, its name in traces, its
// life cycle (add with the filter descriptors built from the input lists, start with the bring-up of
// the DSP, FPGA and daughter card, stop, removal, capabilities; docs/driver-device-life-cycle.md),
// the device-control entry the hooked dispatch hands requests to, the performance change it
// announces to its capture filters, the board's protocol manager, which it owns, the DMA common
// buffers with their delayed release by the old-buffer thread, the pool of DSP command records, the
// settings loaders and writers, the audio configuration, and the services the stream engine asks of
// its board (StreamDeviceServices): the table of live logical streams, the kill of a stream's
// outstanding records, the DSP clock rate and the processing queues.
#pragma once
#include <atomic>
#include <cstddef>
#include <type_traits>

#include "adevice.h"
#include "audiopeakleveltarget.h"
#include "audioinputitems.h"
#include "brevicorrecords.h"
#include "commandhandler.h"
#include "driver.h"
#include "hostbuffertable.h"
#include "kernel/driverheap.h"
#include "kernel/intrusivelist.h"
#include "kernel/kernelevent.h"
#include "kernel/systemthread.h"
#include "kplxfastlock.h"
#include "logicalstreamtable.h"
#include "physicalstreamservices.h"
#include "streamdeviceservices.h"
#include "km/process.h"
#include "km/dma.h"
#include "tidewellprotocolmanager.h"
#include "videofiltersettings.h"
#include "videoinputitems.h"
#include "km/iodevice.h"
#include "km/ks.h"
#include "km/ksfilter.h"
#include "km/csq.h"
#include "km/list.h"
#include "km/spinlock.h"
#include "km/types.h"
#include "shared/ksvidcaprecords.h"

class AudioCaptureFilter;
class BasicFilter;
class CrossbarFilter;
class FilterAutomation;
class LogicalStream;
class PhysicalStreamFactory;
class PinStreamFactory;
class StreamProcessorManager;
class StreamProcessorPin;
class StreamProcessorQueue;
class RegistryKey;
class VideoCaptureFilter;
struct RegistrySetting;

// The device values read at start: the test sources' settings.
struct DeviceRegistryValues {
    ULONG videoTestSignalPattern;
    ULONG videoTestSignalStandard;
    ULONG videoTestSignalFrameRate;
    ULONG audioTestSignalFrequency;
};

// The video decoder's values of the board key, read when a video capture filter is created.
struct FilterRegistryValues {
    ULONG standardsSupported;
    ULONG decoderCapabilities;
    ULONG decoderSettlingTime;
    ULONG hSyncPerVSync;
    ULONG decoderCurrentStandard;
    ULONG decoderNumberOfLines;
    ULONG decoderSignalLocked;
    ULONG decoderOutputEnable;
    ULONG decoderVCRTiming;
    ULONG decoderCurrentSignalType;
};

class Device : public ADevice, public StreamDeviceServices, public AudioPeakLevelTarget, public PhysicalStreamServices {
public:
    static constexpr ULONG kTraceNameCharacters = 32;
    static constexpr ULONG kDeviceNameCharacters = 256;

    explicit Device(Driver* driver);
    ~Device() override;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // ---- Life cycle (docs/driver-device-life-cycle.md) -------------------------------------------
    // The filters of one board: video capture, crossbar, and at most one audio filter per input.
    static constexpr ULONG kMaximumAudioFilters = 8;
    static constexpr ULONG kMaximumFilters = 2 + kMaximumAudioFilters;
    static constexpr ULONG kVideoCapturePins = 5;
    static constexpr ULONG kVideoCapturePinsWithoutHardware = 3;
    static constexpr ULONG kVideoAnalogInputPin = 0;
    static constexpr ULONG kVideoCapturePinId = 1;
    static constexpr ULONG kMaximumVideoInputs = 16;
    static constexpr ULONG kEepromBytes = 4096;
    // FPGA register 34: the alignment-marker control, written under this mask.
    static constexpr ULONG kAlignmentRegister = 34;
    static constexpr ULONG kAlignmentRegisterMask = 0xFFE0;
    static constexpr ULONG kAlignmentEnable = 32;
    static constexpr LONGLONG kAlignmentSettle = -1'000'000; // 100 ms before the read-back
    // Image paths, "\DosDevices\" excluded.
    static constexpr ULONG kMaximumImagePathBytes = 260;
    // The largest image file read: more than the DSP's memory and the FPGA's largest bit stream.
    static constexpr ULONG kMaximumImageBytes = 64 * 1024 * 1024;
    // Audio input types the configuration knows.
    static constexpr ULONG kAudioTypeSdi = 10;
    static constexpr ULONG kAudioTypeAes = 11;
    static constexpr ULONG kAudioTypeSpdif = 12;
    static constexpr ULONG kAudioTypeBalanced = 13;
    static constexpr ULONG kAudioTypeUnbalanced = 14;
    // Inputs 1 to 4 are the SDI's; 5 to 8 the daughter card's.
    static constexpr ULONG kFirstDaughterCardInput = 4;

    // The framework's dispatch table of the board's device.
    static const KSDEVICE_DISPATCH kDeviceDispatch;
    // The Device a framework device is the context of (null for null).
    static Device* FromKsDevice(PKSDEVICE device);

    // The add-device step after construction: the instance id, the PCI location, the input lists,
    // the filter descriptors and the kernel-streaming device, which then holds this object in its
    // bag. A failure leaves nothing behind but this object, which the caller deletes after giving
    // its id back.
    virtual NTSTATUS OnAdd(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject);
    // The framework's entries: each finds the Device in the device's context.
    static NTSTATUS NTAPI DeviceStart(PKSDEVICE device, PIRP irp, PCM_RESOURCE_LIST translatedResources,
                                      PCM_RESOURCE_LIST rawResources);
    static VOID NTAPI DeviceStop(PKSDEVICE device, PIRP irp);
    static VOID NTAPI DeviceRemove(PKSDEVICE device, PIRP irp);
    static NTSTATUS NTAPI DeviceQueryCapabilities(PKSDEVICE device, PIRP irp, PDEVICE_CAPABILITIES capabilities);
    // Start: names the board, brings the DSP and FPGA up, loads the settings, registers the crossbar
    // and names every filter interface.
    NTSTATUS OnStart(PIRP irp, PCM_RESOURCE_LIST rawResources, PCM_RESOURCE_LIST translatedResources);
    // Always succeeds: the host port and DMA adapter are given up.
    NTSTATUS OnStop();
    NTSTATUS OnRemove();
    // Releases the DMA adapter (stopping the old-buffer thread) and invalidates the host port.
    void Invalidate();
    // Bring-up of the DSP, the daughter card and the FPGA (success at once without hardware).
    NTSTATUS StartTheDSPAndFPGA();
    // Reads a whole file, `name` below "\DosDevices\", into a new paged buffer the caller frees
    // with ExFreePool. 0xC0071019 (logged with the path) when the path is over 260 bytes, or the
    // file cannot be opened, read or is empty; a file over kMaximumImageBytes is not read and
    // gives its own code and entry (MSG_IMAGE_FILE_TOO_LARGE).
    NTSTATUS LoadFile(PCWSTR name, PUCHAR* buffer, ULONG* size);
    // The driver's folder of the board's images, a backslash and `imageName`, into `path`.
    NTSTATUS BuildImagePath(PCWSTR imageName, WCHAR* path, ULONG capacity);
    // Command 8: the whole EEPROM into the device's image, which it replaces whole (under the
    // device lock) only when the read succeeded.
    NTSTATUS ReadDspEprom();
    const UCHAR* GetEepromImage() const { return m_eeprom; }
    bool HasDaughterCard() const;
    bool IsDaughterCardEnabled() const;
    // The DSP restarted with a tester image (no mailbox service afterwards).
    NTSTATUS StartTheDSPMemoryTester();
    NTSTATUS StartTheDSPPciTester();
    bool IsFpgaLoaded() const { return m_fpgaLoaded; }
    ULONG GetPciBusNumber() const { return m_pciBusNumber; }
    ULONG GetPciDeviceNumber() const { return m_pciDeviceNumber; }
    ULONG GetPciFunctionNumber() const { return m_pciFunctionNumber; }
    PKSDEVICE GetKsDevice() const { return m_ksDevice; }
    const KSDEVICE_DESCRIPTOR* GetDeviceDescriptor() const { return &m_deviceDescriptor; }
    // The audio filter layout add chose: one filter for every input (false) or one for all.
    bool HasCombinedAudioFilter() const { return m_combinedAudioFilter; }
    ULONG GetAudioFilterCount() const { return m_audioFilterCount; }
    // Builds the filter descriptors from the input lists (add's steps 4 and 5);
    // STATUS_INSUFFICIENT_RESOURCES when their block cannot be had.
    NTSTATUS BuildFilterDescriptors();

    // ---- Audio configuration ---------------------------------------------------------------------
    // The configuration record as the audio inputs hold it now.
    NTSTATUS GetAudioInputSettings(BrevicorAudioConfigRecord* record);
    // Checks the record, then stores and writes every changed value (failing checks: their message
    // and code, nothing applied).
    NTSTATUS SetAudioConfigurationSettings(BrevicorAudioConfigRecord* record);
    // Renames the system's audio capture endpoint of this board that shows identifier `oldType`'s
    // name to identifier `newType`'s name.
    void GoHackTheDisplayedInputName(ULONG oldType, ULONG newType);

    // ---- Device-control dispatch and the private requests' queue (devicecontrolqueue.cpp,
    // docs/driver-private-requests.md) ----
    // Every device-control request of the board's device object, through the driver's hook: the
    // sixteen private codes are queued and served by a command record on a thread of its own
    // (STATUS_PENDING); every other code goes on to the framework's own handler.
    virtual NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp);
    // Whether `code` is one of the queued private codes.
    static bool IsPrivateRequestCode(ULONG code);
    PIO_CSQ GetIrpQueue() { return &m_irpQueue.csq; }
    // The queue's callbacks (IoCsqInitialize at construction).
    static VOID NTAPI InsertIrpIntoIrpQueue(PIO_CSQ csq, PIRP irp);
    static VOID NTAPI RemoveIrpFromIrpQueue(PIO_CSQ csq, PIRP irp);
    static PIRP NTAPI PeekNextIrpInIrpQueue(PIO_CSQ csq, PIRP irp, PVOID peekContext);
    static VOID NTAPI AcquireIrpQueueLock(PIO_CSQ csq, PKIRQL irql);
    static VOID NTAPI ReleaseIrpQueueLock(PIO_CSQ csq, KIRQL irql);
    static VOID NTAPI CompleteCanceledIrp(PIO_CSQ csq, PIRP irp);
    // The request threads' counts: a thread is counted before it is started (false, nothing
    // counted, while the device takes no private requests), leaves the board once its request is
    // completed, and ends as its last act on the device (or the starter does both when the start
    // failed).
    bool RequestThreadStarting();
    void RequestLeftBoard();
    void RequestThreadEnded();
    // A successful start: private requests are taken from here on.
    void AcceptPrivateRequests();
    // Stop and removal, before the board is given up: no new private request is taken, every queued
    // one completes as cancelled, and the requests being handled are waited for, so that none
    // touches the board after it is gone.
    void QuiescePrivateRequests();
    // Stop and removal, after the protocol manager's stop has ended the waits for late DSP answers:
    // waits for every request thread to end and forgets the host buffers the requests allocated.
    void StopPrivateRequests();
    // The host common buffers ALLOCATE MEMORY handed out, with their cookies.
    HostBufferTable* GetHostBuffers() { return &m_hostBuffers; }

    // Bytes of the device configuration record answered to clients (its property header left zero).
    static constexpr ULONG kDeviceConfigBytes = sizeof(BrevicorDeviceConfigRecord);

    // The performance settings changed: the 40-byte record announced on every open video capture
    // filter of the device.
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
    // The board's DSP host port; null only when it could not be allocated. A start replaces it, so
    // only the plug-and-play thread (and a test that starts no board) may keep the pointer without
    // a hold; every other user holds it through a ProtocolManagerReference.
    TidewellProtocolManager* GetProtocolManager() const { return m_protocolManager; }
    // The current host port with one more hold on it (null when there is none, and then nothing to
    // give back), and the hold given back. Any level up to DISPATCH_LEVEL.
    TidewellProtocolManager* ReferenceProtocolManager();
    void DereferenceProtocolManager(TidewellProtocolManager* manager);
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

    // ---- Services for the stream engine (docs/driver-device-services.md) ------------------------
    LogicalStreamTable* GetLogicalStreamTable() override { return &m_streamTable; }
    ULONG GetDspClockRate() override { return kDspClockRate; }
    // Made by the device's add (capacity 9, priorities 16 and 20); null before and after removal.
    StreamProcessorQueue* GetVideoStreamProcessorQueue() override { return m_videoQueue; }
    StreamProcessorQueue* GetAudioStreamProcessorQueue() override { return m_audioQueue; }
    // Under the device mutex: the current input of the first crossbar filter of board
    // `deviceNumber`; with none open, that of its first video capture filter; with neither, the
    // board's "ActiveInput".
    ULONG GetCurrentVideoInput(ULONG deviceNumber) override;
    // The same for the filter of that device number whose filter id is `filterIndex`.
    ULONG GetCurrentVideoInput(ULONG deviceNumber, ULONG filterIndex);
    // The same for the filter of that device number that `process` opened.
    ULONG GetCurrentVideoInputOfProcess(ULONG deviceNumber, PEPROCESS process);

    // The queues' capacity and their workers' priorities.
    static constexpr ULONG kStreamProcessorQueueCapacity = 9;
    static constexpr KPRIORITY kVideoQueuePriority = 16;
    static constexpr KPRIORITY kAudioQueuePriority = 20;
    // Add's step 8: the processor mask of the video queue for a board numbered `instanceId` on a
    // machine of `processors` processors (the audio queue takes it shifted right once).
    static KAFFINITY ComputeProcessorMask(ULONG processors, LONG instanceId);
    // Add's step 8: the mask, its two traces and both queues (a queue that cannot be had stays null).
    void CreateStreamProcessorQueues();
    // Removal: the queues purged, stopped and destroyed, video first. The streams must be gone.
    void DestroyStreamProcessorQueues();

    // The device's stream processors. The physical streams give the factory that makes a
    // processor's stream.
    StreamProcessorManager* GetStreamProcessorManager() const { return m_streamProcessorManager; }
    void SetPhysicalStreamFactory(PhysicalStreamFactory* factory);
    // Every stream of the board stopped (pins detached first, then processors and streams
    // destroyed), under the device mutex. Stop, surprise removal and removal run it first.
    void StopAllStreams();
    // Surprise removal: nothing more is sent to the board (its commands are refused at once), the
    // streams (their pins' pending reads completed with STATUS_DEVICE_REMOVED), the private requests
    // at work, invalidation, the private requests' threads, then the queues. The removal request
    // follows once the last handle has closed.
    NTSTATUS OnSurpriseRemoval();
    // Whether the board was pulled out: its pins fail every read, no stream starts again.
    bool IsBoardRemoved() const;
    static VOID NTAPI DeviceSurpriseRemoval(PKSDEVICE device, PIRP irp);

    // The twelve transitions of a pin's stream: each holds the device mutex around the manager's
    // transition of the same name and returns its status.
    NTSTATUS VideoStreamFromStopToAcquire(StreamProcessorPin* pin, LogicalStream** stream);
    NTSTATUS VideoStreamFromAcquireToPause(StreamProcessorPin* pin);
    NTSTATUS VideoStreamFromPauseToRun(StreamProcessorPin* pin);
    NTSTATUS VideoStreamFromRunToPause(StreamProcessorPin* pin);
    NTSTATUS VideoStreamFromPauseToAcquire(StreamProcessorPin* pin);
    NTSTATUS VideoStreamFromAcquireToStop(StreamProcessorPin* pin);
    NTSTATUS AudioStreamFromStopToAcquire(StreamProcessorPin* pin, LogicalStream** stream);
    NTSTATUS AudioStreamFromAcquireToPause(StreamProcessorPin* pin);
    NTSTATUS AudioStreamFromPauseToRun(StreamProcessorPin* pin);
    NTSTATUS AudioStreamFromRunToPause(StreamProcessorPin* pin);
    NTSTATUS AudioStreamFromPauseToAcquire(StreamProcessorPin* pin);
    NTSTATUS AudioStreamFromAcquireToStop(StreamProcessorPin* pin);

    // Rebuilds the running chains of `filter`'s pins of `pinType` after a settings change. The
    // typed forms (video capture filter, audio capture filter) pick the manager's video or audio
    // walk; ModifyActiveAlgorithmChainsEx is the audio form.
    NTSTATUS ModifyActiveVideoAlgorithmChains(BasicFilter* filter, ULONG pinType);
    NTSTATUS ModifyActiveAudioAlgorithmChains(BasicFilter* filter, ULONG pinType);
    template <class Filter>
    NTSTATUS ModifyActiveAlgorithmChains(Filter* filter, ULONG pinType)
    {
        if constexpr (std::is_same_v<Filter, AudioCaptureFilter>)
            return ModifyActiveAudioAlgorithmChains(filter, pinType);
        else {
            static_assert(std::is_same_v<Filter, VideoCaptureFilter>, "a video or audio capture filter");
            return ModifyActiveVideoAlgorithmChains(filter, pinType);
        }
    }
    template <class Filter>
    NTSTATUS ModifyActiveAlgorithmChainsEx(Filter* filter, ULONG pinType)
    {
        return ModifyActiveAudioAlgorithmChains(filter, pinType);
    }
    // STATUS_DEVICE_NOT_READY until a start has completed (and again after stop or removal).
    NTSTATUS CheckReady() const;

    // ---- Filter tables (docs/driver-device-services.md) -----------------------------------------
    // The open filters of the board, one table per kind. A filter's id is its slot + 1. Changes
    // take the device mutex, then the tables' own lock; the notification walk takes only the
    // tables' lock (it runs on the DSP's response thread, which never takes the device mutex).
    static constexpr ULONG kFilterTableSlots = 500;
    enum class FilterTable { Crossbar, VideoCapture, AudioCapture };
    // The filter's id (stored in the first empty slot when it is new); -1, with 0xC0071057,
    // 0xC0071059 or 0xC007105B logged, when the table is full.
    LONG GetFilterInstanceId(FilterTable table, BasicFilter* filter);
    // Clears the filter's slot; 0xC0071058, 0xC007105A or 0xC007105C logged when it is not there.
    void RemoveFilterInstanceId(FilterTable table, BasicFilter* filter);
    // The first filter of `table` with `filter`'s device number; false and null when none.
    bool FindMarriedFilter(FilterTable table, BasicFilter* filter, BasicFilter** married);
    // Filters of a table (the tests' and reports' view), under the tables' lock.
    ULONG GetFilterCount(FilterTable table);
    // The forms per filter kind.
    template <class Filter>
    LONG GetFilterInstanceId(Filter* filter)
    {
        return GetFilterInstanceId(TableOf<Filter>(), filter);
    }
    template <class Filter>
    void RemoveFilterInstanceId(Filter* filter)
    {
        RemoveFilterInstanceId(TableOf<Filter>(), filter);
    }
    // The crossbar form, the audio form and the video capture form, told by the married filter's
    // kind.
    template <class Married>
    bool FindMarriedFilter(BasicFilter* filter, Married** married)
    {
        BasicFilter* found = nullptr;
        const bool result = FindMarriedFilter(TableOf<Married>(), filter, &found);
        if (married != nullptr)
            *married = static_cast<Married*>(found);
        return result;
    }

    // ---- Crossbar (the crossbar records of the crossbar and video capture filters) ---------------
    // Inputs = the filter's video inputs, one output.
    NTSTATUS GetCrossbarCaps(BasicFilter* filter, KSPROPERTY_CROSSBAR_CAPS_S* caps);
    // The pin the request's direction and index name: an input has the connector type the filter
    // gives its input type (an index beyond the last reads the last) on the standard medium; any
    // other direction is the output, the video decoder on the medium the video capture filter's
    // analog input pin carries (with the filter's device number).
    NTSTATUS GetCrossbarPinInfo(BasicFilter* filter, KSPROPERTY_CROSSBAR_PININFO_S* request);
    // Both answer the filter's active input, output 0, can-route 1.
    NTSTATUS GetCrossbarRoute(BasicFilter* filter, KSPROPERTY_CROSSBAR_ROUTE_S* request);
    NTSTATUS GetCrossbarCanRoute(BasicFilter* filter, KSPROPERTY_CROSSBAR_ROUTE_S* request);
    // Makes the requested input the active input of every crossbar and video capture filter of
    // the filter's board and writes it as "VideoInputs\ActiveInput". STATUS_INVALID_PARAMETER,
    // nothing changed, for an input not below the count or an output other than 0.
    NTSTATUS SetCrossbarRoute(BasicFilter* filter, KSPROPERTY_CROSSBAR_ROUTE_S* request);

    // ---- Information records ----------------------------------------------------------------------
    static constexpr ULONG kBoardModelNumber = 1;
    static constexpr ULONG kDriverVersion[4] = {2, 1, 62, 0};
    // The records from offset 24 (the caller copied the request's header); each succeeds.
    NTSTATUS GetDriverConfig(BrevicorInterfaceVersionRecord* record, ULONG* length);
    NTSTATUS GetInterfaceVersion(BrevicorInterfaceVersionRecord* record, ULONG* length);
    NTSTATUS GetDriverInformation(BrevicorDriverInformationRecord* record);
    NTSTATUS GetDeviceConfig(BrevicorDeviceConfigRecord* record);

    // ---- Diagnostics (devicediagnostics.cpp) ------------------------------------------------------
    // The operation codes at record offset 60.
    static constexpr ULONG kDiagnosticsReset = 0;
    static constexpr ULONG kDiagnosticsMemoryTester = 1;
    static constexpr ULONG kDiagnosticsReadWindow = 2;
    static constexpr ULONG kDiagnosticsFill = 3;
    static constexpr ULONG kDiagnosticsFpgaRegister = 4;
    static constexpr ULONG kDiagnosticsWriteFpgaRegister = 5;
    static constexpr ULONG kDiagnosticsPciTester = 7;
    static constexpr ULONG kDiagnosticsEndPciTester = 8;
    static constexpr ULONG kDiagnosticsReadWindowAgain = 9;
    // The PCI tester's host buffer, and the largest DSP memory fill (the DSP's 4 MB window).
    static constexpr ULONG kPciTesterBufferBytes = 4320000;
    static constexpr ULONG kDiagnosticsFillLimit = 4 * 1024 * 1024;
    // A get: 2 and 9 read the window from DSP memory (STATUS_UNSUCCESSFUL without hardware), 4 reads
    // the FPGA register named at 40 into 48; any other leaves the record as it is.
    NTSTATUS GetDiagnostics(BrevicorDiagnosticsRecord* record);
    // A set: 0 resets (and restarts), 1 the memory tester and its window, 3 a fill (at most
    // kDiagnosticsFillLimit bytes, else STATUS_INVALID_PARAMETER; STATUS_UNSUCCESSFUL without
    // hardware), 5 an FPGA register write, 7 the PCI tester with a host buffer this device keeps
    // (its bus address at 160, a 32-bit cookie at 168), 8 frees that kept buffer (whatever the
    // record says) and resets; without hardware 0, 1, 7 and 8 do nothing; other codes succeed.
    NTSTATUS SetDiagnostics(BrevicorDiagnosticsRecord* record);
    // Whether a PCI tester buffer is kept (for the tests).
    bool HasDiagnosticsBuffer();
    // Frees the kept PCI tester buffer, if any (the ending operation, stop and removal).
    void ReleaseDiagnosticsBuffer();

    // ---- Change notification ----------------------------------------------------------------------
    // The 1,108-byte record (the set, `length` bytes of `data`, zeros; a longer payload is cut to
    // the record) raised as KSEVENTSETID_BREVICOR_NOTIFICATION event 0 on `filter`.
    virtual void GenerateNotificationEvent(BasicFilter* filter, const GUID& propertySet, ULONG length,
                                           const void* data);
    // The same on every open video capture filter of the board.
    void FireNotificationEvent(const GUID& propertySet, ULONG length, const void* data);
    static void BuildNotificationRecord(const GUID& propertySet, ULONG length, const void* data,
                                        BrevicorNotificationRecord* record);

    // ---- Other services ---------------------------------------------------------------------------
    // Sleeps `milliseconds` when `mayWait`, else stalls min(milliseconds, 50) microseconds.
    static constexpr ULONG kMaximumStallMicroseconds = 50;
    void DelayExecution(ULONG milliseconds, bool mayWait);
    // The audio input settings' peak levels; a set for an input not below the count goes to the
    // active input.
    NTSTATUS GetPeakLevel(ULONG input, ULONG pair, ULONG channel, LONG* value);
    NTSTATUS SetPeakLevel(ULONG input, ULONG pair, ULONG channel, LONG value) override;
    // A video-standard bit as frame width, height and time (100-ns units), the size lowered to the
    // capture pin's performance limits.
    struct StandardDimensions {
        ULONG width;
        ULONG height;
        ULONG frameTime;
    };
    StandardDimensions GetStandardDimensions(ULONG standard);

    // ---- Input state (docs/driver-input-state.md) -----------------------------------------------
    // An input-state message from the DSP (response id 6): the DSP's error codes logged, a record
    // for every video input (only I/O index 0 measured) and every audio input of I/O index 10,
    // stored and announced, and the records handed to the device's live streams. The caller
    // returns the record to the pool.
    void ProcessInputStateChanged(CommandHandler* handler);
    // The message's words (format, horizontal, vertical, blanking counted and captured, the four
    // audio words) as the record of a video input of I/O index `ioIndex`, the performance limits
    // given (0: none): state 0, 1 (signal without a known standard, or beyond the limits) or 2
    // with the standard bit and the rate.
    static void MeasureVideoInput(const ULONG words[9], ULONG widthLimit, ULONG heightLimit,
                                  BrevicorInputDetectRecord* record);
    // The standard bit of a measured signal (0: none known).
    static ULONG DetectStandard(bool highDefinition, bool interlaced, ULONG lines, ULONG rate);
    // Compares the record with the stored one of its input (all 580 bytes; `changed` optional),
    // stores it in the device's input items and in every open video capture filter's.
    NTSTATUS SetVideoInputState(const BrevicorInputDetectRecord* record, bool* changed);
    // Puts the video inputs a video capture filter loaded (`loaded`, left with the filter's old
    // list) in place as the filter's own (`filterInputs`) and gives each the detection record the
    // device holds for that input, in one step under the filter tables' lock: an input-state
    // change either is in the records copied or reaches the new list after them, and the response
    // thread never writes through a list being built.
    void AdoptVideoInputs(VideoInputItems* filterInputs, VideoInputItems* loaded);
    // PhysicalStreamServices: copies under the device lock.
    NTSTATUS GetVideoInputDetectRecord(ULONG input, BrevicorInputDetectRecord* record) override;
    NTSTATUS GetAudioInputDetectRecord(ULONG input, BrevicorInputDetectRecord* record) override;

    // ---- Settings persistence (docs/driver-settings.md) -------------------------------------------
    // Every setting of the board lives under the board's own registry key, found through its
    // physical device object. The loaders read a group, write back each missing value with its
    // default, and hand the group to its owner; the writers store one changed value. Only a missing
    // value (STATUS_OBJECT_NAME_NOT_FOUND) takes the default and is written back: a value of the
    // wrong type, a text over 259 characters or a binary of the wrong length keeps the default and
    // stays as it is. Each loader returns the last failure it met (0 when none): 0xC007100F for a
    // missing key (that group is skipped), 0xC0071012 for a write-back that failed, and
    // STATUS_UNSUCCESSFUL, with nothing read, when no Device is given. Callers serialise (the
    // property handlers and the life cycle hold the kernel-streaming device mutex).

    // The board's physical device object: where the registry key is found.
    void SetPhysicalDeviceObject(PDEVICE_OBJECT deviceObject) { m_physicalDeviceObject = deviceObject; }
    PDEVICE_OBJECT GetPhysicalDeviceObject() const { return m_physicalDeviceObject; }
    // The device's own input lists and values.
    VideoInputItems* GetVideoInputItems() { return &m_videoInputs; }
    AudioInputItems* GetAudioInputItems() { return &m_audioInputs; }
    DeviceRegistryValues GetDeviceValues() const { return m_deviceValues; }
    // "LegacyAudioFilters" as read (the life cycle forces the per-input filters from kernel
    // version 6 on).
    ULONG GetLegacyAudioFilters() const { return m_legacyAudioFilters; }
    // "DecoderCurrentStandard" as the last filter load read it.
    ULONG GetDecoderCurrentStandard() const { return m_decoderCurrentStandard; }

    // At add: "VideoInputs" into `inputs` (every input's name, type and I/O index, a fresh
    // detection record, the active input). At most 16 inputs; without hardware exactly one (type 0,
    // I/O index 2) whatever "Count" says. No "Count": 0xC0071010 and no inputs.
    static NTSTATUS LoadVideoInputsFromRegistry(Device* device, PDEVICE_OBJECT deviceObject,
                                                VideoInputItems* inputs);
    // At add: "AudioInputs" into `inputs`, every input and its channel pairs (keys created when
    // missing). At most 8 inputs of at most 8 pairs; without hardware every I/O index is 30. No
    // "Count": 0xC0071011 and no inputs.
    static NTSTATUS LoadAudioInputsFromRegistry(Device* device, PDEVICE_OBJECT deviceObject,
                                                AudioInputItems* inputs);
    // At start: the device values, then the loss-of-signal values through SetLOSSettings with the
    // from-registry flag.
    static NTSTATUS LoadDeviceFromRegistry(Device* device, PDEVICE_OBJECT deviceObject);
    // When a video capture filter is created: the decoder values and the stored connection
    // formats of the capture and preview pins, applied to `filter`.
    static NTSTATUS LoadFilterFromRegistry(Device* device, PDEVICE_OBJECT deviceObject,
                                           VideoFilterSettings* filter);
    // When a video capture filter is created, for each video input n (0-based) made current in
    // turn: creates VideoInputs\Input<n+1>\VideoPins and its four pin keys, and loads every group
    // of pin types 1 and 2 into `filter`.
    static NTSTATUS LoadVideoPinsFromRegistry(Device* device, PDEVICE_OBJECT deviceObject, ULONG input,
                                              VideoFilterSettings* filter);

    // The group loaders: read the group from an open pin key (or the board key for loss of
    // signal), build its record for `pinType` with the no-save flag set, and apply it.
    // `subKey` names the key in messages (its path below the board's key).
    NTSTATUS LoadCropSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                          VideoFilterSettings* filter);
    NTSTATUS LoadDeinterlaceSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                                 VideoFilterSettings* filter);
    NTSTATUS LoadImageQualitySettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                                  VideoFilterSettings* filter);
    NTSTATUS LoadLogoSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                          VideoFilterSettings* filter);
    NTSTATUS LoadProcAmpSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                             VideoFilterSettings* filter);
    NTSTATUS LoadCCSettingsFromRegistry(RegistryKey* key, PCWSTR subKey, ULONG pinType,
                                        VideoFilterSettings* filter);
    NTSTATUS LoadLOSSettingsFromRegistry(RegistryKey* key);

    // The writers: each opens its key (created when missing), writes one value and returns 0 or
    // 0xC0071012 (logged with the key, the value's name, the value and the failure; a key that
    // cannot be opened also logs 0xC007100F). Input numbers are 0-based here and 1-based in the
    // key names.
    virtual NTSTATUS WriteDevicePropertyToRegistry(PCWSTR name, ULONG value);
    virtual NTSTATUS WriteDevicePropertyToRegistry(PCWSTR name, PCWSTR text);
    virtual NTSTATUS WriteDevicePropertyToRegistry(PCWSTR name, const void* data, ULONG length);
    // "VideoInputs" itself when `list` is set, else VideoInputs\Input<n> of the device's current
    // video input.
    NTSTATUS WriteVideoInputPropertyToRegistry(bool list, PCWSTR name, ULONG value);
    // VideoInputs\Input<n>\VideoPins\<pin> for pin types 1 to 4 (Capture, Preview, VBI, CC); any
    // other pin type is STATUS_INVALID_PARAMETER.
    NTSTATUS WriteVideoPinPropertyToRegistry(ULONG input, ULONG pinType, PCWSTR name, ULONG value);
    NTSTATUS WriteVideoPinPropertyToRegistry(ULONG input, ULONG pinType, PCWSTR name, PCWSTR text);
    NTSTATUS WriteVideoPinPropertyToRegistry(ULONG input, ULONG pinType, PCWSTR name, const void* data,
                                             ULONG length);
    // "AudioInputs" itself, and AudioInputs\Input<n>.
    NTSTATUS WriteAudioInputPropertyToRegistry(PCWSTR name, ULONG value);
    NTSTATUS WriteAudioInputPropertyToRegistry(ULONG input, PCWSTR name, ULONG value);
    NTSTATUS WriteAudioInputPropertyToRegistry(ULONG input, PCWSTR name, PCWSTR text);
    // AudioInputs\Input<n>\Channel<pair+1>.
    NTSTATUS WriteAudioChannelPropertyToRegistry(ULONG input, ULONG pair, PCWSTR name, ULONG value);

    // ---- Loss of signal ---------------------------------------------------------------------------
    // The device's loss-of-signal record (the defaults of the registry table until a set or a
    // load): its payload, from offset 24, copied over `record`. STATUS_INVALID_PARAMETER for null.
    NTSTATUS GetLOSSettings(BrevicorLOSRecord* record) override;
    // Checks a record, writes its 15 registry values unless it comes from the registry, and keeps
    // it. With the video overlay enabled: transparency above 1 becomes 1, a signal type above 8
    // becomes 0, the reference size is cut to 1920 x 1080, and a named font file must open
    // (0xC0071019, nothing kept, whatever the record's no-save flag says; only the start's load
    // from the registry logs the failure and still keeps the record). Unterminated text fields are
    // STATUS_INVALID_PARAMETER. The first failed write ends the set with 0xC0071012 and nothing
    // kept. `changed` (optional) tells whether any field differs from the record kept before; the
    // no-save flag is no field (it is kept as 0).
    //
    // Unless it comes from the registry, a kept record is announced once (PROPSETID_BREVICOR_LOS,
    // the 1,092 payload bytes) on every open video capture filter; when it differs from the one
    // kept before, the running chains of the video capture and preview pins and of the audio pins
    // are rebuilt.
    virtual NTSTATUS SetLOSSettings(BrevicorLOSRecord* record, bool* changed = nullptr);

    // ---- Audio volume steps -------------------------------------------------------------------------
    // After a volume or mute change of audio input `input`: each running audio pin whose chain
    // ends in a volume step of that input gets the input's levels and mute flags in that step
    // (under the step's lock) when the step serves that pin alone; a shared step is rebuilt
    // through the pin's chains instead.
    void ModifyAudioVolumeControlChains(ULONG input);

protected:
    // Puts `manager` (owned from now on) in the place of the device's own manager: for doubles.
    void SetStreamProcessorManager(StreamProcessorManager* manager);

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
    // Owned; made with the device, the pins' stream factory its factory until a test sets another.
    StreamProcessorManager* m_streamProcessorManager = MakeStreamProcessorManager();
    PinStreamFactory* m_pinStreamFactory = nullptr;
    StreamProcessorManager* MakeStreamProcessorManager();
    // The filter tables, their lock and whether a start completed.
    template <class Filter>
    static constexpr FilterTable TableOf()
    {
        if constexpr (std::is_same_v<Filter, CrossbarFilter>)
            return FilterTable::Crossbar;
        else if constexpr (std::is_same_v<Filter, AudioCaptureFilter>)
            return FilterTable::AudioCapture;
        else {
            static_assert(std::is_same_v<Filter, VideoCaptureFilter>, "a crossbar, video or audio capture filter");
            return FilterTable::VideoCapture;
        }
    }
    BasicFilter** FilterSlots(FilterTable table);
    KPLXFastLock m_filterTableLock;
    BasicFilter* m_crossbarFilters[kFilterTableSlots] = {};
    BasicFilter* m_videoCaptureFilters[kFilterTableSlots] = {};
    BasicFilter* m_audioCaptureFilters[kFilterTableSlots] = {};
    volatile LONG m_started = 0;
    volatile LONG m_boardRemoved = 0; // surprise removal came (never cleared)
    // The device mutex when the framework's device exists (a board object alone has none).
    void AcquireKsDevice();
    void ReleaseKsDevice();
    // The device mutex for a scope. A start holds it for its whole run and a stop or removal while
    // it marks the board stopped (MarkStopped), as every property handler does for its own run: a
    // request sees the board started or stopped, never half way.
    class KsDeviceHold {
    public:
        explicit KsDeviceHold(Device* device) : m_device(device) { m_device->AcquireKsDevice(); }
        ~KsDeviceHold() { m_device->ReleaseKsDevice(); }
        KsDeviceHold(const KsDeviceHold&) = delete;
        KsDeviceHold& operator=(const KsDeviceHold&) = delete;

    private:
        Device* m_device;
    };

    KPLXFastLock m_commandLock;
    IntrusiveList m_freeCommandHandlers{CommandHandler::PoolLinkOffset()};
    IntrusiveList m_busyCommandHandlers{CommandHandler::PoolLinkOffset()};
    volatile LONG m_lastCommandTag = 0;

private:
    ULONG CurrentVideoInputOf(ULONG deviceNumber, const ULONG* filterIndex, PEPROCESS process = nullptr);

    Driver* m_driver;
    LONG m_instanceId = 0;
    PDEVICE_OBJECT m_functionalDeviceObject = nullptr;
    char m_traceName[kTraceNameCharacters] = "Device";
    char m_deviceName[kDeviceNameCharacters] = "";
    TidewellProtocolManager* m_protocolManager = nullptr;
    // The holds on the host port, under their spin lock: those on the current one, and while a
    // start replaces it, those still on the one it replaces, whose last release sets the event.
    KSPIN_LOCK m_protocolManagerLock = 0;
    ULONG m_protocolManagerHolds = 0;
    TidewellProtocolManager* m_retiringProtocolManager = nullptr;
    ULONG m_retiringProtocolManagerHolds = 0;
    KEVENT m_protocolManagerReleased{};

    // ---- settings -------------------------------------------------------------------------------
    // Opens `subKey` of the board's key (created when `create`), logging 0xC007100F when it cannot
    // be had; the caller deletes the key. Null when no object could be made.
    RegistryKey* OpenBoardKey(PCWSTR subKey, bool create, NTSTATUS* status);
    // The messages name a key by its path below the board's key (the board's key itself by the
    // board's name, the class path tail "\<class>\<instance>"), so that every insert fits an
    // event-log entry.
    void LogMissingKey(PCWSTR subKey);
    // Opens an input list's key and reads its "Count", cut to `maximum`. A missing count logs
    // `missingCount` (its text naming the board by one %ls) and is the status. Null only when no
    // key object could be made; the caller deletes the key.
    RegistryKey* OpenInputList(PCWSTR listName, NTSTATUS missingCount, const char* missingCountText,
                               ULONG maximum, ULONG* count, NTSTATUS* status);
    void LogMissingInputName(ULONG number);
    // An "ActiveInput" that names no input of `count` gives 0.
    ULONG CheckActiveInput(ULONG active, ULONG count);
    // Logs 0xC0071012 for `name` = `valueText` in `subKey`; returns 0xC0071012.
    NTSTATUS LogWriteFailure(PCWSTR subKey, PCWSTR name, PCWSTR valueText, NTSTATUS status);
    // "\<class>\<instance>" of the board's driver key; empty when it cannot be had.
    void GetBoardName(WCHAR* name, ULONG capacity);
    // Reads every value of `table` from `key` into `record` by the rules above.
    NTSTATUS ReadSettings(RegistryKey* key, PCWSTR subKey, const RegistrySetting* table, ULONG count,
                          void* record);
    NTSTATUS ReadSetting(RegistryKey* key, PCWSTR subKey, const RegistrySetting& setting, void* record);
    // A value without a default: STATUS_OBJECT_NAME_NOT_FOUND when missing, nothing written back.
    NTSTATUS ReadRequiredText(RegistryKey* key, PCWSTR name, WCHAR* text);
    NTSTATUS WriteValue(PCWSTR subKey, PCWSTR name, ULONG type, const void* data, ULONG length);
    NTSTATUS CheckLOSFont(const BrevicorLOSRecord* record);
    // SetLOSSettings, for a client's set or for the start's load of the stored record
    // (`storedAtStart`: a font that went missing is logged and the record still kept).
    NTSTATUS ApplyLOSSettings(BrevicorLOSRecord* record, bool storedAtStart, bool* changed);
    // The loss-of-signal record of the registry table's defaults.
    void SetDefaultLOSSettings();

    // ---- life cycle -----------------------------------------------------------------------------
    NTSTATUS TakeInstanceId(PDEVICE_OBJECT physicalDeviceObject);
    NTSTATUS ReadPciLocation(PDEVICE_OBJECT physicalDeviceObject);
    void BuildAudioFilters();
    void BuildCombinedAudioFilter(ULONG inputs);
    void BuildPerInputAudioFilter(ULONG input);
    NTSTATUS WriteDeviceDescription();
    NTSTATUS RegisterCrossbar();
    void NameFilterInterfaces();
    // "FriendlyName" under the interface of `category` with `reference` of the physical device.
    NTSTATUS WriteFriendlyName(const GUID& category, const GUID& reference, PCWSTR name);
    // Loads an image of the driver's folder: 0xC0071019 and friends as LoadFile.
    NTSTATUS LoadImage(PCWSTR imageName, PUCHAR* buffer, ULONG* size);
    // LoadImage of a DSP program image, checked whole: a malformed one is freed, logged with what
    // is wrong with it (MSG_DSP_IMAGE_CUT_SHORT, MSG_DSP_IMAGE_SECTION_OUTSIDE_PAGE or
    // MSG_DSP_IMAGE_BYTES_AFTER_LAST_SECTION) and refused with 0xC000007B.
    NTSTATUS LoadProgramImage(PCWSTR imageName, PUCHAR* buffer, ULONG* size);
    // An image-name value that is there but could not be read (`unreadBytes` not 0) is logged as
    // too long (MSG_IMAGE_NAME_TOO_LONG), which is returned; otherwise success.
    NTSTATUS CheckImageNameRead(PCWSTR valueName, ULONG unreadBytes);
    // A fresh host port for a start, initialised with the board's resources before any sender can
    // reach it: the old one cannot start again once invalidated. The old one is invalidated first
    // (which completes every command it holds, refuses new ones and lets go of the board's
    // registers and interrupt), stays the current one while the fresh one is initialised, and is
    // deleted once every hold on it is given back. Returns the initialisation's status (the fresh
    // port is current either way); STATUS_INSUFFICIENT_RESOURCES, the old one kept, when no new
    // one can be had.
    NTSTATUS RenewProtocolManager(PCM_RESOURCE_LIST rawResources, PCM_RESOURCE_LIST translatedResources);
    // The first step of a stop or removal, under the device mutex: the board is no longer started
    // (CheckReady refuses from here on) and every stream is stopped.
    void MarkStopped();
    // A tester personality from its image. A failure leaves the board usable: one found before the
    // DSP was touched (no name, no file, a malformed image) leaves the firmware running; a start
    // that failed on the DSP brings the firmware back (StartTheDSPAndFPGA). The failure is returned.
    NTSTATUS StartTester(PCWSTR valueName, PCWSTR imageName, ULONG unreadBytes, NTSTATUS missingMessage,
                         const char* missingText, const char* testerText);
    NTSTATUS ConfigureDaughterCard(ULONG signature);
    NTSTATUS ConfigureAlignmentDetection();
    // Input state: the records handed to every live stream of the device (the video stream gets
    // the current video input's, an audio stream its input's).
    void HandInputStateToStreams(const BrevicorInputDetectRecord* videoRecords, ULONG videoCount,
                                 const BrevicorInputDetectRecord* audioRecords, ULONG audioCount);
    // The 556 bytes of a record from offset 24 on every filter of the first video (or audio)
    // capture factory.
    void NotifyInputDetect(bool audio, const BrevicorInputDetectRecord* record);
    // Rebuilds the running chains of every open video capture filter's capture and preview pins
    // (`video`) and of every open audio capture filter's pins (`audio`). The walk holds the filter
    // tables' lock, so no filter leaves meanwhile.
    void RebuildOpenChains(bool video, bool audio);
    // Audio configuration helpers.
    NTSTATUS CheckAudioConfiguration(const BrevicorAudioConfigRecord* record, ULONG count);
    // `chainsChanged` becomes true when a field the audio chains use (type, enable, default rate,
    // bypass) changed; a gain change goes to the DSP alone.
    NTSTATUS ApplyAudioInput(ULONG input, const BrevicorAudioConfigRecord* record, ULONG newTypeIdentifier,
                             bool* chainsChanged);
    NTSTATUS SendAnalogDCGain(ULONG input, LONG gain);

    NTSTATUS FillDspMemory(ULONG address, ULONG length, UCHAR fill);
    NTSTATUS StartPciTest(BrevicorDiagnosticsRecord* record);
    // The PCI tester's buffer between operations 7 and 8, under the device lock.
    struct DiagnosticsBuffer {
        PVOID buffer;
        PHYSICAL_ADDRESS physical;
        ULONG cookie;
    };
    DiagnosticsBuffer m_diagnosticsBuffer{};
    ULONG m_diagnosticsCookie = 0;

    PKSDEVICE m_ksDevice = nullptr;
    KSDEVICE_DESCRIPTOR m_deviceDescriptor{};
    KSPIN_MEDIUM m_crossbarMedium{};
    // The descriptors built at add and the crossbar's registration, in one block of pool that the
    // framework's device uses until it deletes the device with this object.
    struct AudioFilterArrays {
        KSPIN_DESCRIPTOR_EX pins[1 + AudioInputItems::kMaximumInputs];
        KSNODE_DESCRIPTOR nodes[AudioInputItems::kMaximumInputs + 3];
        KSTOPOLOGY_CONNECTION connections[2 * AudioInputItems::kMaximumInputs + 3];
        GUID pinNames[AudioInputItems::kMaximumInputs];
        GUID reference;
    };
    struct FilterDescriptors {
        const KSFILTER_DESCRIPTOR* list[kMaximumFilters];
        KSFILTER_DESCRIPTOR videoCapture;
        KSPIN_DESCRIPTOR_EX videoCapturePins[kVideoCapturePins];
        KSFILTER_DESCRIPTOR crossbar;
        // One combined filter (index 0 only) or one per input.
        KSFILTER_DESCRIPTOR audio[kMaximumAudioFilters];
        AudioFilterArrays audioArrays[kMaximumAudioFilters];
        // The crossbar's registration: one entry per video input, then the output.
        int crossbarDirections[kMaximumVideoInputs + 1];
        KSPIN_MEDIUM crossbarMediums[kMaximumVideoInputs + 1];
        GUID crossbarCategories[kMaximumVideoInputs + 1];
    };
    FilterDescriptors* m_filters = nullptr;
    // The automation tables the descriptors point to (built once, freed with the descriptors).
    FilterAutomation* m_automation = nullptr;
    NTSTATUS BuildFilterAutomation();
    ULONG m_audioFilterCount = 0;
    bool m_combinedAudioFilter = false;
    ULONG m_pciBusNumber = 0;
    ULONG m_pciDeviceNumber = 0;
    ULONG m_pciFunctionNumber = 0;
    bool m_fpgaLoaded = false;
    UCHAR m_eeprom[kEepromBytes] = {};

    // Set again by each start's registry load, while a pin's format change (which holds its
    // filter's control mutex only) opens the board's key through it to store the format.
    std::atomic<PDEVICE_OBJECT> m_physicalDeviceObject{nullptr};
    VideoInputItems m_videoInputs;
    AudioInputItems m_audioInputs;
    DeviceRegistryValues m_deviceValues{};
    // Under the device mutex (audio-configuration sets, the audio filters' loads, the start).
    ULONG m_legacyAudioFilters = 1;
    ULONG m_decoderCurrentStandard = 1;
    BrevicorLOSRecord m_losSettings{};

    // ---- the private requests ----------------------------------------------------------------
    // The cancel-safe queue with its list and lock; the callbacks find it from the IO_CSQ, its
    // first member.
    struct IrpQueue {
        IO_CSQ csq;
        Device* device;
        LIST_ENTRY head;
        KSPIN_LOCK lock;
    };
    static IrpQueue* FromCsq(PIO_CSQ csq) { return reinterpret_cast<IrpQueue*>(csq); }
    void InitializeIrpQueue();
    IrpQueue m_irpQueue{};
    // Request threads running and, of them, those whose request is not completed yet, with whether
    // private requests are taken, under their spin lock; each event is set while its count is 0.
    KSPIN_LOCK m_requestThreadLock = 0;
    bool m_acceptingRequests = false;
    ULONG m_requestThreads = 0;
    ULONG m_requestsOnBoard = 0;
    KEVENT m_requestThreadsIdle{};
    KEVENT m_requestsOffBoard{};
    HostBufferTable m_hostBuffers;
};

// A hold on a device's host port for a scope: the port is not deleted while it is held (a start
// that replaces it waits for the hold). Empty when the device has no port.
class ProtocolManagerReference {
public:
    explicit ProtocolManagerReference(Device* device)
        : m_device(device), m_manager(device != nullptr ? device->ReferenceProtocolManager() : nullptr)
    {
    }
    ~ProtocolManagerReference()
    {
        if (m_manager != nullptr)
            m_device->DereferenceProtocolManager(m_manager);
    }
    ProtocolManagerReference(const ProtocolManagerReference&) = delete;
    ProtocolManagerReference& operator=(const ProtocolManagerReference&) = delete;

    TidewellProtocolManager* Get() const { return m_manager; }
    TidewellProtocolManager* operator->() const { return m_manager; }
    explicit operator bool() const { return m_manager != nullptr; }

private:
    Device* m_device;
    TidewellProtocolManager* m_manager;
};
