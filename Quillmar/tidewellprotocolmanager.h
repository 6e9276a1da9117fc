// TidewellProtocolManager: the board's DSP host port. One per Device, created and owned by it. It
// maps the register range and the 4 MB paged window onto the DSP's address space, offers register
// access, memory copies through the window and the external-memory-interface (EMIF) set-up,
// connects the DSP's host interrupt, and brings the DSP up (reset, image load, release) and down.
// Every access goes through the HAL's register accessors on the mapped ranges; every window access
// holds the window lock and leaves the page register at 0.
//
// The mailbox exchange: senders queue command records (QueueCommand); the command thread
// ("ProcessDPCThread"), woken by new commands and the DSP's interrupts, moves answers out of the
// mailbox into their records and pending records into it; the response thread
// ("ProcessResponseThread") hands answered records to CommandHandler::ProcessCommandResponse. The
// manager knows every record it holds (pending, in the mailbox, answered), so an echoed tag is
// looked up, never trusted, and its stop completes them all.
#pragma once
#include "dsphostsettings.h"
#include "kernel/driverheap.h"
#include "kernel/intrusivelist.h"
#include "kernel/iorange.h"
#include "kernel/systemthread.h"
#include "kplxfastlock.h"
#include "km/dpc.h"
#include "km/interrupt.h"
#include "km/resources.h"
#include "km/sync.h"
#include "km/types.h"

#include <cstddef>

class CommandHandler;
class Device;
class Driver;

// The records of the two private memory requests, as they travel in the request's buffers. All
// words little-endian 32-bit.
//
// "READ DSP MEMORY": the request names the range; the result carries a status word, a second word
// and then the bytes read.
struct DspMemoryReadRequest {
    ULONG dspAddress;
    ULONG length;
};
static_assert(sizeof(DspMemoryReadRequest) == 8);
static_assert(offsetof(DspMemoryReadRequest, length) == 4);

struct DspMemoryResultHeader {
    ULONG status;  // 0x1002 when the window did not hold what was written or read
    ULONG address; // the DSP address on that failure
};
static_assert(sizeof(DspMemoryResultHeader) == 8);
static_assert(offsetof(DspMemoryResultHeader, address) == 4);
// The bytes of a read follow the result header.
inline constexpr ULONG kDspMemoryReadDataOffset = sizeof(DspMemoryResultHeader);

// "WRITE DSP MEMORY": the request carries the range, the mode and then the bytes to write.
struct DspMemoryWriteRequestHeader {
    ULONG dspAddress;
    ULONG mode; // kDspMemoryWriteVerify: compare the window with the data afterwards
    ULONG length;
};
static_assert(sizeof(DspMemoryWriteRequestHeader) == 12);
static_assert(offsetof(DspMemoryWriteRequestHeader, mode) == 4);
static_assert(offsetof(DspMemoryWriteRequestHeader, length) == 8);
inline constexpr ULONG kDspMemoryWriteDataOffset = sizeof(DspMemoryWriteRequestHeader);
// As the request travels, its record is the header and the first data byte; its second buffer,
// length + 7 bytes, brings the other length - 1 data bytes after room for the result header.
inline constexpr ULONG kDspMemoryWriteRecordBytes = kDspMemoryWriteDataOffset + 1;
inline constexpr ULONG kDspMemoryWriteBufferExtraBytes = sizeof(DspMemoryResultHeader) - 1;
inline constexpr ULONG kDspMemoryWriteVerify = 2;
// The status word of a result whose compare failed.
inline constexpr ULONG kDspMemoryCompareFailed = 0x1002;

class TidewellProtocolManager : public DriverAllocated {
public:
    // Register range offsets.
    static constexpr ULONG kRegEmifaGblctl = 0x00;
    static constexpr ULONG kRegEmifaCectl1 = 0x04;
    static constexpr ULONG kRegEmifaCectl0 = 0x08;
    static constexpr ULONG kRegEmifaCectl2 = 0x10;
    static constexpr ULONG kRegEmifaCectl3 = 0x14;
    static constexpr ULONG kRegEmifaSdctl = 0x18;
    static constexpr ULONG kRegEmifaSdtim = 0x1C;
    static constexpr ULONG kRegEmifaSdext = 0x20;
    static constexpr ULONG kRegEmifaCesec1 = 0x44;
    static constexpr ULONG kRegEmifaCesec0 = 0x48;
    static constexpr ULONG kRegEmifaCesec2 = 0x50;
    static constexpr ULONG kRegEmifaCesec3 = 0x54;
    static constexpr ULONG kRegDspControl = 0x400000;
    static constexpr ULONG kRegHostStatus = 0x41FFF0;
    static constexpr ULONG kRegHostToDspControl = 0x41FFF4;
    static constexpr ULONG kRegDspPage = 0x41FFF8;
    // The register range must reach the last host-port register.
    static constexpr ULONG kMinimumRegisterRangeBytes = kRegDspPage + 4;

    static constexpr ULONG kDspControlRun = 0x10;          // let the DSP run
    static constexpr ULONG kHostStatusInterrupt = 0x1;     // the DSP raised its host interrupt
    static constexpr ULONG kHostStatusAcknowledge = 3;     // written by the interrupt routine
    static constexpr ULONG kHostToDspWarmReset = 1;
    static constexpr ULONG kHostToDspDoorbell = 2;
    static constexpr ULONG kSdctlToggleBit = 0x01000000;   // inverted in the last SDCTL write

    // The window: 4 MB of DSP address space at a time, the page register selecting bits 31..22.
    static constexpr ULONG kWindowBytes = 0x400000;
    static constexpr ULONG kWindowOffsetMask = 0x3FFFFF;
    static constexpr ULONG kPageShift = 22;
    static constexpr ULONG kPageMask = 0x3FF;

    // The mailbox and the words of it this class touches, as DSP addresses (page 0).
    static constexpr ULONG kMailboxAddress = 0x20;
    static constexpr ULONG kMailboxBytes = 232;
    static constexpr ULONG kMailboxRestart = kMailboxAddress + 4;
    static constexpr ULONG kMailboxCounterA = kMailboxAddress + 12;
    static constexpr ULONG kMailboxCounterB = kMailboxAddress + 16;
    static constexpr ULONG kMailboxHeartbeat = kMailboxAddress + 32;
    static constexpr ULONG kMailboxResponseValid = kMailboxAddress + 36;
    static constexpr ULONG kMailboxCommandBusy = kMailboxAddress + 40;
    static constexpr ULONG kMailboxCommandSlot = kMailboxAddress + 64;
    static constexpr ULONG kMailboxResponseSlot = kMailboxAddress + 120;
    static constexpr ULONG kMailboxResponseId = kMailboxResponseSlot + 8;
    // The same, as offsets into a copy of the whole mailbox.
    static constexpr ULONG kMailboxFirstWordOffset = 0;
    static constexpr ULONG kMailboxRestartOffset = 4;
    static constexpr ULONG kMailboxCounterAOffset = 12;
    static constexpr ULONG kMailboxCounterBOffset = 16;
    static constexpr ULONG kMailboxResponseValidOffset = 36;
    static constexpr ULONG kMailboxCommandBusyOffset = 40;
    static constexpr ULONG kMailboxResponseSlotOffset = 120;
    static constexpr ULONG kMailboxAbsent = 0xFFFFFFFF;
    // Written to the restart word by a take-over; the firmware clears it once it has restarted.
    static constexpr ULONG kMailboxRestartRequest = 1;

    // The mailbox threads.
    static constexpr KPRIORITY kCommandThreadPriority = 25;
    static constexpr ULONG kPollStallMicroseconds = 50;

    // Start-up.
    static constexpr ULONG kDpcCount = 10;
    static constexpr ULONG kZeroedBytes = 0x40000; // the DSP's internal memory, cleared at every load
    static constexpr ULONG kStartTries = 5;
    static constexpr ULONG kEmifCheckRounds = 10;
    static constexpr ULONG kEmifCheckAddress1 = 0x80000000;
    static constexpr ULONG kEmifCheckAddress2 = 0x83000000;
    static constexpr ULONG kEmifCheckWord2 = 0xDEADDEAD;
    static constexpr ULONG kRunningCheckMilliseconds = 10;
    // Durations, in 100-ns units (negative: relative).
    static constexpr LONGLONG kWarmResetSettle = -10'000'000;   // 1000 ms after the warm reset
    static constexpr LONGLONG kReloadPause = -100'000;          // 10 ms after the warm reset returns
    static constexpr LONGLONG kInterruptWaitTimeout = -20'000'000; // 2 s for the DSP's interrupt
    static constexpr LONGLONG kStartSettle = -10'000'000;       // 1000 ms before Start returns

    // A program image is one byte of section count, then the sections packed: DSP address, length
    // (32-bit each) and the bytes.
    static constexpr ULONG kImageSectionHeaderBytes = 8;

    // What makes a program image malformed, for the report of it: the kind, and the section
    // (counted from 1 of `sections`) with its header fields, or the bytes after the last section.
    struct ImageFault {
        enum Kind { kNone, kEmpty, kHeaderCut, kOutsideWindowPage, kSectionCut, kTrailingBytes };
        Kind kind = kNone;
        ULONG section = 0;
        ULONG sections = 0;
        ULONG address = 0;
        ULONG length = 0;
        ULONGLONG spare = 0; // bytes left in the file at the section, or after the last one
    };
    // Checks the whole image: count byte, every section header and its bytes inside the buffer,
    // no section crossing a 4 MB page or wrapping. A malformed image gives 0xC000007B and, when
    // `fault` is given, what is wrong with it.
    static NTSTATUS ValidateImage(const UCHAR* image, ULONG imageBytes, ImageFault* fault = nullptr);

    explicit TidewellProtocolManager(Device* device);
    // Invalidates (once) what is still held, so no interrupt or DPC can reach a freed manager.
    virtual ~TidewellProtocolManager();
    TidewellProtocolManager(const TidewellProtocolManager&) = delete;
    TidewellProtocolManager& operator=(const TidewellProtocolManager&) = delete;

    // ---- Register access (offsets from the register range's base) ----
    // Reads always answer from the board; STATUS_INVALID_PARAMETER for an access outside the
    // register range and STATUS_DEVICE_NOT_READY while unmapped (the value is then all ones).
    NTSTATUS ReadDspRegisterValue(ULONG offset, UCHAR* value);
    NTSTATUS ReadDspRegisterValue(ULONG offset, USHORT* value);
    NTSTATUS ReadDspRegisterValue(ULONG offset, ULONG* value);
    NTSTATUS ReadDspRegisterValue(ULONG offset, PUCHAR values, ULONG count);
    // With validate set, read back and compare: 0xC0000001 on a difference (the written value
    // stays). The byte run reads back into a paged buffer: 0xC0000017 when none can be had.
    NTSTATUS WriteDspRegisterValue(ULONG offset, UCHAR value, bool validate);
    NTSTATUS WriteDspRegisterValue(ULONG offset, USHORT value, bool validate);
    NTSTATUS WriteDspRegisterValue(ULONG offset, ULONG value, bool validate);
    NTSTATUS WriteDspRegisterValue(ULONG offset, const UCHAR* values, ULONG count, bool validate);
    // Whether `bytes` at `offset` lie inside the mapped register range: STATUS_INVALID_PARAMETER
    // when not, STATUS_DEVICE_NOT_READY while unmapped. Touches nothing.
    NTSTATUS CheckRegisterRange(ULONG offset, ULONGLONG bytes) const;
    // Whether a DSP address range lies inside one 4 MB page without wrapping (the window
    // operations' own check). Touches nothing.
    NTSTATUS CheckDspRange(ULONG dspAddress, ULONGLONG length) const;
    // Read-modify-write of a 32-bit register: ORs `bits` in when `set`, clears them otherwise.
    NTSTATUS UpdateDspRegisterBits(ULONG offset, ULONG bits, bool set);

    // ---- Window access (DSP addresses). A range must lie inside one 4 MB page and must not wrap
    // past 0xFFFFFFFF (STATUS_INVALID_PARAMETER); length 0 succeeds and touches nothing;
    // STATUS_DEVICE_NOT_READY while unmapped. ----
    // Copies in and verifies once: 0xC0071049 with its event-log entry when the window differs.
    NTSTATUS ProgramDspMemory(const UCHAR* data, ULONG dspAddress, ULONG length);
    NTSTATUS ReadDspMemory(PUCHAR buffer, ULONG dspAddress, ULONG length);
    // Copies in without a check.
    NTSTATUS WriteDspMemory(const UCHAR* data, ULONG dspAddress, ULONG length);
    NTSTATUS ZeroDspMemory(ULONG dspAddress, ULONG length);

    // The request forms of the private memory requests, on the request's buffers with their sizes.
    // A request too short for its header, or whose length runs past the bytes given, is refused
    // with STATUS_INVALID_PARAMETER; a result buffer too short for the header (and, for a read, the
    // data) with STATUS_BUFFER_TOO_SMALL. Nothing is touched then. A compare that fails fills the
    // result header with 0x1002 and the address and returns 0xC0000001; success leaves the result
    // header to the caller.
    NTSTATUS WriteDspMemoryRequest(const UCHAR* request, ULONG requestBytes, UCHAR* result, ULONG resultBytes);
    NTSTATUS ReadDspMemoryRequest(const UCHAR* request, ULONG requestBytes, UCHAR* result, ULONG resultBytes);

    // ---- EMIF ----
    // Traces the twelve EMIF registers at level 0x20.
    void OutputEmifSettings();
    // Programs the twelve EMIF registers from the handed settings, then SDCTL twice more (the
    // second time with bit 24 inverted). Always succeeds.
    NTSTATUS SetupEmif();

    // ---- Start-up and tear-down ----
    // Takes the driver's settings, maps both ranges from the translated resources and connects the
    // interrupt; any failure is logged (0xC007104F registers, 0xC007104A window, 0xC0071050
    // interrupt), invalidates the manager and is returned. STATUS_INVALID_DEVICE_STATE when already
    // initialized or invalidated.
    NTSTATUS Initialize(PCM_RESOURCE_LIST rawResources, PCM_RESOURCE_LIST translatedResources,
                        const DspHostSettings& settings);
    // Loads and releases the DSP (or takes over one that runs already, for the firmware image).
    // A malformed image: 0xC000007B before anything is touched. A section that does not verify:
    // 0xC0071049. No interrupt after kStartTries tries: 0xC0071051, logged.
    NTSTATUS Start(const UCHAR* image, ULONG imageBytes, bool testerImage);
    // Warm reset and external-memory check; success also when the check fails (only logged).
    // Does nothing without hardware. The DSP is held from here until it is released again (a
    // start, or its interrupt after WAIT FOR DSP INTERRUPT): meanwhile nothing serves the mailbox
    // or rings the doorbell, which would let it run the image left in its memory, and what the
    // mailbox held is completed as cancelled.
    NTSTATUS WarmReset();
    NTSTATUS Reset(UCHAR clearStatus);
    // Whether the DSP's heartbeat word changes within `milliseconds`.
    bool IsDspRunning(ULONG milliseconds);
    // Once only: stops, disconnects the interrupt, waits for queued DPCs and unmaps both ranges.
    void Invalidate();
    // The board is gone: from here on nothing reaches it (no command, doorbell or reset), every
    // command is refused at once and what the mailbox held is completed as cancelled, so no sender
    // waits out its time-out. The threads are stopped; Invalidate still releases the rest.
    void MarkBoardRemoved();
    bool IsBoardRemoved() const;
    void Stop();

    // Waits up to 2 s for the DSP's interrupt; true (and the event cleared) when it came.
    bool WaitForDspInterrupt();
    // The DSP came out of a reset on its own release (its interrupt came): the mailbox is served
    // again, unless a tester image holds it.
    void EndResetHold();

    // ---- The mailbox exchange ----
    // Appends the record to the pending list and wakes the command thread when the list was empty.
    // Once the manager is stopped, or while a tester image or a warm reset holds the DSP, the
    // record is completed at once with 0xC0000120 in its DSP result and STATUS_CANCELLED returned.
    NTSTATUS QueueCommand(CommandHandler* handler);
    // A sender's time-out: true when the sender may give up, the record then being off the
    // pending list, or abandoned in the mailbox (its late answer discarded, the record kept out of
    // the pool until then); false when the answer or a completion has already reached it.
    bool WithdrawCommand(CommandHandler* handler);
    // Whether the record is still in the mailbox after its sender's time-out: its late answer (or
    // the stop) then sets its completion event.
    bool IsHeldForLateAnswer(CommandHandler* handler);
    static void ProcessDPCThread(PVOID context);
    static void ProcessResponseThread(PVOID context);
    // Whether the mailbox threads run (they start with the first firmware start).
    bool HasMailboxThreads() const;
    // While a tester image runs the DSP, the mailbox is left alone.
    bool IsMailboxSuspended() const;
    // While a warm reset holds the DSP, too.
    bool IsHeldInReset() const;

    // ---- Interrupt side ----
    static BOOLEAN NTAPI InterruptService(PKINTERRUPT interrupt, PVOID context);
    // Queues the first of the ten DPCs that is not queued already; false when all ten are.
    bool QueueDpc();
    static VOID NTAPI DpcRoutine(PKDPC dpc, PVOID context, PVOID argument1, PVOID argument2);

    bool IsStarted() const;
    bool IsInvalidated() const;
    bool IsInterruptForwarding() const;
    Device* GetDevice() const { return m_device; }
    // The settings handed at initialisation (all zero before).
    const DspHostSettings& GetSettings() const { return m_settings; }

private:
    friend class TidewellProtocolManagerTestPeer;

    // How a window operation moves bytes.
    enum class WindowMove { In, Out, Zero };

    bool RegistersMapped() const { return m_registers.IsMapped(); }
    bool WindowMapped() const { return m_window.IsMapped(); }
    NTSTATUS CheckRegisterAccess(ULONG offset, ULONG bytes) const;
    NTSTATUS CheckWindowRange(ULONG dspAddress, ULONG length) const;
    volatile UCHAR* RegisterAddress(ULONG offset) const { return m_registers.Address() + offset; }
    volatile UCHAR* WindowAddress(ULONG dspAddress) const
    {
        return m_window.Address() + (dspAddress & kWindowOffsetMask);
    }
    void ReadRegister(ULONG offset, ULONG* value) const;
    void WriteRegister(ULONG offset, ULONG value) const;

    // Page selection: the caller holds the window lock.
    void SelectPage(ULONG dspAddress);
    void ResetPage();
    // The window copies themselves, under the lock and with the page selected.
    void MoveToWindow(const UCHAR* data, ULONG dspAddress, ULONG length, WindowMove move);
    void MoveFromWindow(PUCHAR buffer, ULONG dspAddress, ULONG length);
    // Whether the window holds `data` at dspAddress.
    bool WindowEquals(const UCHAR* data, ULONG dspAddress, ULONG length);
    // A window operation under the lock, with its page; the page register is 0 afterwards.
    NTSTATUS WindowOperation(const UCHAR* data, PUCHAR buffer, ULONG dspAddress, ULONG length, WindowMove move,
                             bool verify, bool* equal);

    NTSTATUS ProgramImage(const UCHAR* image);
    void TakeOverRunningDsp();
    void ReleaseDsp();
    NTSTATUS ConnectInterrupt(PCM_RESOURCE_LIST translatedResources);
    BOOLEAN OnInterrupt();
    void OnDpc();
    static void Sleep(LONGLONG interval);

    NTSTATUS StartMailboxThreads();
    void StopMailboxThreads();
    // Command thread: the loops, one round over the mailbox (true when something moved; the
    // counters are read out), and the answer's hand-over. The pending-list lock is held by a round.
    void RunCommandThread();
    void RunResponseThread();
    bool ServeMailbox(bool* absent, ULONG* counterA, ULONG* counterB);
    void TakeResponse(const UCHAR* responseSlot);
    bool IsStopping() const;
    // Completes every record still pending or in the mailbox with `dspResult` (abandoned ones are
    // released to the pool), then, when `answered` is set, those on the response list. Takes the
    // locks.
    void CompleteInFlight(ULONG dspResult, bool answered);
    // Tester images: the mailbox is suspended and what it held is completed; resumed when the
    // firmware is started again.
    void SuspendMailbox();
    void ResumeMailbox();
    // A warm reset: the mailbox is held and what it held is completed.
    void BeginResetHold();
    // The command thread's doorbell after a round, unless a suspension or a reset came since: the
    // pending-list lock orders it against them.
    void RingDoorbellAfterRound();

    // Members in the order the mailbox exchange uses them.
    KPLXFastLock m_windowLock;
    IoRange m_registers;
    IoRange m_window;
    PKINTERRUPT m_interrupt = nullptr;
    // The command records waiting for the mailbox's command slot and those answered, linked through
    // the record's list link (pending-list lock, response-list lock).
    IntrusiveList m_pendingCommands;
    IntrusiveList m_responses;
    // The records copied into the command slot whose answers are outstanding (pending-list lock):
    // where an echoed tag is looked up.
    IntrusiveList m_mailboxCommands;
    Device* m_device;
    DspHostSettings m_settings;
    KDPC m_dpcs[kDpcCount] = {};
    // Window token of the mailbox (window base + 32): only for traces; every mailbox access goes
    // through the window operations by DSP address.
    PUCHAR m_mailbox = nullptr;
    KPLXFastLock m_stopLock;
    KPLXFastLock m_pendingLock;
    KPLXFastLock m_responseLock;
    volatile LONG m_started = 0;
    KEVENT m_interruptEvent{};        // notification: a DSP interrupt came
    KEVENT m_commandWakeEvent{};      // synchronization: wakes the command thread
    KEVENT m_responseWakeEvent{};     // synchronization: wakes the response thread
    KEVENT m_commandLifeEvent{};      // synchronization: the command thread began or ended
    KEVENT m_responseLifeEvent{};     // synchronization: the response thread began or ended
    volatile LONG m_stop = 0;           // the threads leave; commands are refused; never cleared
    volatile LONG m_invalidated = 0;    // Invalidate ran
    volatile LONG m_boardRemoved = 0;   // the board was pulled out: nothing is sent to it (never cleared)
    volatile LONG m_mailboxSuspended = 0; // a tester image runs (pending-list lock for writes)
    volatile LONG m_heldInReset = 0;      // a warm reset holds the DSP (pending-list lock for writes)
    bool m_testerImageLoaded = false;   // the last image started was a tester (start path only)
    SystemThread m_commandThread;
    SystemThread m_responseThread;
    LARGE_INTEGER m_interruptWaitTimeout{};
    volatile LONG m_interruptForwarding = 0; // the DSP's interrupts may wake the command thread
    KAFFINITY m_processorAffinity = 0;
    ULONG m_interruptVector = 0;
    KIRQL m_interruptLevel = 0;
};
