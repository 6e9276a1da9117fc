// CommandHandler: one DSP command record. It carries a command into the DSP mailbox and receives
// the DSP's answer back into itself: the command area and the response area are byte images of the
// mailbox's command slot and response slot. Records come from the Device's pool; the protocol
// manager moves them between its lists; the response thread hands answers nobody waits for to
// ProcessCommandResponse.
//
// The host tag is a non-zero record id (low half; high half 0) from a device-wide counter, never
// an address: the protocol manager looks an echoed tag up among the records the DSP holds.
#pragma once
#include "commandexchange.h"
#include "kernel/driverheap.h"
#include "kernel/intrusivelist.h"
#include "logicalstreamtable.h"
#include "km/csq.h"
#include "km/irp.h"
#include "km/mm.h"
#include "km/object.h"
#include "km/sync.h"
#include "km/types.h"

#include <atomic>
#include <cstddef>

class Device;
class LogicalStream;
class TidewellProtocolManager;

// What the create-stream commands send: the eight-word stream descriptor (payload words 1 to 8) and
// the 8-bit input type that follows it (parameter word 0: 0 live video, 2 test video, 10 live
// audio, 16 test audio).
struct DspStreamSettings {
    ULONG descriptor[8];
    UCHAR inputType;
};
static_assert(offsetof(DspStreamSettings, descriptor) == 0);
static_assert(offsetof(DspStreamSettings, inputType) == 32);
static_assert(sizeof(DspStreamSettings) == 36);

// Which stream a create or destroy names in its failure message.
enum class DspStreamKind { Video, Audio };

class CommandHandler : public DriverAllocated {
public:
    static constexpr ULONG kCommandAreaBytes = 56;
    static constexpr ULONG kResponseAreaBytes = 112;
    // Command area offsets.
    static constexpr ULONG kTagOffset = 0;          // 8 bytes, both areas
    static constexpr ULONG kCommandIdOffset = 8;
    static constexpr ULONG kParameterOffset = 16;   // parameter word 0
    static constexpr ULONG kPayloadOffset = 20;     // payload words 1 to 8
    static constexpr ULONG kPayloadWords = 8;
    // Response area offsets.
    static constexpr ULONG kResponseIdOffset = 8;
    static constexpr ULONG kDspResultOffset = 16;
    static constexpr ULONG kResultWordAOffset = 24;
    static constexpr ULONG kResultWordBOffset = 28;

    static constexpr ULONG kDspResultSuccess = 1;
    // Written by the host when the DSP did not answer in time.
    static constexpr ULONG kDspResultNoAnswer = 0x1100;
    // Written by the protocol manager into records it completes without an answer (stopped, or the
    // mailbox taken over by a tester image). Also the status of a command refused for that reason.
    static constexpr ULONG kDspResultCancelled = 0xC0000120;

    // Command ids of the DSP's command set.
    static constexpr ULONG kCommandAllocateDspMemory = 1;
    static constexpr ULONG kCommandProgramFpga = 2;
    static constexpr ULONG kCommandCreateStream = 3;
    static constexpr ULONG kCommandFreeDspMemory = 4;
    static constexpr ULONG kCommandQueueCaptureBuffer = 5;
    static constexpr ULONG kCommandEnableStream = 6;
    static constexpr ULONG kCommandCopyMemory = 7;
    static constexpr ULONG kCommandEeprom = 8;
    static constexpr ULONG kCommandReadFpgaRegister = 9;
    static constexpr ULONG kCommandWriteFpgaRegister = 10;
    static constexpr ULONG kCommandPerformanceParams = 12;
    static constexpr ULONG kCommandAudioConfig = 13;
    static constexpr ULONG kCommandDestroyStream = 14;
    static constexpr ULONG kCommandAnalogDCGain = 15;
    static constexpr ULONG kCommandDCSignature = 16;

    // Copy directions of command 7.
    static constexpr ULONG kCopyHostToDsp = 2;
    static constexpr ULONG kCopyDspToHost = 1;
    // DSP memory types of command 1.
    static constexpr ULONG kDspMemoryInternal = 0;
    static constexpr ULONG kDspMemoryExternal = 1;
    // The audio create forces the fifth descriptor word to this.
    static constexpr ULONG kAudioDescriptorWord4 = 100;
    // The EEPROM: 16-bit words; the staging block the reads go through.
    static constexpr ULONG kEepromWords = 2048;
    static constexpr ULONG kEepromStagingBytes = 4096;
    // ReadDspEeprom's parts: the identity words, the manufacturing words, everything.
    static constexpr ULONG kEepromPartIdentity = 0;
    static constexpr ULONG kEepromPartManufacturing = 1;
    static constexpr ULONG kEepromIdentityWords = 14;
    static constexpr ULONG kEepromManufacturingOffset = 14;
    static constexpr ULONG kEepromManufacturingWords = 19;
    static constexpr ULONG kEepromManufacturingBufferOffset = 28;
    // SetAudioConfig reads words 7 and 10 to 17 of the audio configuration record.
    static constexpr ULONG kAudioConfigurationWords = 18;
    // GetDCSignature's value when the DSP gave none.
    static constexpr ULONG kNoDCSignature = 0xFFFFFFFF;

    // Response ids of answers nobody waits for.
    static constexpr ULONG kResponseFilledBuffer = 5;
    static constexpr ULONG kResponseInputState = 6;

    // Relative, 100-ns units.
    static constexpr LONGLONG kDefaultTimeout = -40'000'000; // 4 s

    explicit CommandHandler(Device* device);
    virtual ~CommandHandler();
    CommandHandler(const CommandHandler&) = delete;
    CommandHandler& operator=(const CommandHandler&) = delete;

    // Readies a record taken from the pool.
    void Initialize();
    // Queues the record to the protocol manager. 0xC0000120 (with that DSP result written and the
    // completion event set) when the manager is stopped or its mailbox is suspended, or when the
    // device has no manager.
    NTSTATUS SendCommand();
    // Sends and waits at most the record's time-out for the answer. Success without sending when
    // "HardwareInstalled" is off. 0xC0000001 when no answer came in time: the record then stays
    // out of the pool until the DSP's late answer (discarded) or the manager's stop, even after
    // FreeCommandHandler.
    NTSTATUS SendCommandAndWait();
    // The response thread's dispatch of an answer copied into this record.
    void ProcessCommandResponse();
    // For callers that check the DSP result after a failed wait: 0x1100 into the DSP result and
    // 0xC0071051 reported with `noAnswerText`.
    void ReportNoAnswer(const char* functionName, const char* noAnswerText);

    // ---- The typed commands. Each fills this record's command area and sends it; all but
    // QueueCaptureBufferToDsp wait for the answer, which the caller may read afterwards (DSP result,
    // words A and B). Where the answer is checked, a DSP error is logged with the command's message
    // and returned as that message id; a failed wait is reported as "no answer" (0x1100 in the DSP
    // result, 0xC0071051 logged) and its status returned. ----

    // Command 1. Success: word A the block's DSP address, word B its handle. A DSP error clears
    // both words.
    NTSTATUS AllocateDspMemory(ULONG length, ULONG memoryType, bool flag, ULONG value4, ULONG value5);
    // Command 4.
    NTSTATUS FreeDspMemory(ULONG handle);
    // Stages `image` in DSP memory through a host common buffer (checksum word first), copies it
    // over (command 7) and has the DSP program the FPGA from it (command 2); the host buffer and
    // the DSP block are always freed. 0xC0000017 when no host buffer can be had, 0xC007104D when
    // the copy fails, 0xC007107C when the DSP refuses the image.
    NTSTATUS ProgramFPGA(const UCHAR* image, ULONG size);
    // Command 3; word A of the answer is the stream's handle. The audio form sends 100 as the fifth
    // descriptor word whatever the settings hold.
    NTSTATUS CreateVideoDspStream(const DspStreamSettings& settings);
    NTSTATUS CreateAudioDspStream(const DspStreamSettings& settings);
    // Command 5, not waited: the record is the buffer's until the DSP answers (response id 5) and
    // the answer goes to the stream `stream` names through ProcessCommandResponse, while that
    // handle is live. `dspStreamHandle` is the handle the create answered, which the stream keeps
    // under its own lock.
    NTSTATUS QueueCaptureBufferToDsp(LogicalStreamHandle stream, ULONG dspStreamHandle, ULONG busAddress, ULONG size);
    // Command 6. The wait's status only: the DSP result says whether the stream runs (23: the board
    // sees no input signal).
    NTSTATUS EnableDspStream(ULONG dspStreamHandle, bool enable);
    // Command 14. The DSP answers every buffer still queued on the stream first.
    NTSTATUS DestroyDspStream(ULONG dspStreamHandle, DspStreamKind kind);
    // Command 7: `direction` kCopyHostToDsp, or anything else for DSP to host. The DSP result says
    // whether it copied.
    NTSTATUS CopyDspMemory(ULONG source, ULONG destination, ULONG length, ULONG direction);
    // Reads part 0 (14 words from word 0 into the buffer at byte 0), part 1 (19 words from word 14
    // into byte 28) or any other part (all 2,048 words into byte 0) through a DSP staging block,
    // always freed. STATUS_BUFFER_TOO_SMALL, with nothing sent, when `bufferBytes` does not reach
    // the part's end.
    NTSTATUS ReadDspEeprom(ULONG part, PUCHAR buffer, ULONG bufferBytes);
    // Writes `words` 16-bit words at EEPROM word `offset`, staged at the DSP address
    // `stagingAddress` (a block the caller holds).
    NTSTATUS WriteDspEeprom(const USHORT* data, ULONG words, ULONG offset, ULONG stagingAddress);
    // Commands 9 and 10. Without hardware they succeed on their own (a read gives the register
    // number).
    NTSTATUS ReadFPGARegister(ULONG reg, ULONG* value);
    NTSTATUS WriteFPGARegister(ULONG reg, ULONG value, ULONG mask, bool shadowWrite);
    // Command 12 with the Driver's transfer sizes, priorities and half-scale setting.
    NTSTATUS SetDspPerformanceParams();
    // Command 13: word 7 and words 10 to 17 of the audio configuration record (`words` long).
    NTSTATUS SetAudioConfig(const ULONG* record, ULONG words);
    // Command 15.
    NTSTATUS SetAnalogDCGain(UCHAR gain, UCHAR channel);
    // Command 16: `signature` is 0xFFFFFFFF unless the DSP answered.
    NTSTATUS GetDCSignature(ULONG* signature);
    // A host common buffer of the device for the DSP's copies.
    PVOID AllocateDmaMemory(ULONG length, PHYSICAL_ADDRESS* busAddress);
    // Gives back a buffer AllocateDmaMemory handed out; the device refuses anything else.
    NTSTATUS FreeDmaMemory(ULONG length, PHYSICAL_ADDRESS busAddress, PVOID virtualAddress);

    // ---- Private device-control requests (commandhandlerrequests.cpp,
    // docs/driver-private-requests.md) ----
    // The control codes (device type 0x22, functions 0x800 to 0x80E).
    static constexpr ULONG kIoctlGetDspMemoryInfo = 0x226002;
    static constexpr ULONG kIoctlReadDspMemory = 0x226006;
    static constexpr ULONG kIoctlWriteDspMemory = 0x22A009;
    static constexpr ULONG kIoctlReadDspRegister = 0x22600E;
    static constexpr ULONG kIoctlWriteDspRegister = 0x22A00D;
    static constexpr ULONG kIoctlWaitForDspInterrupt = 0x226012;
    static constexpr ULONG kIoctlReadFpgaRegister = 0x226016;
    static constexpr ULONG kIoctlWriteFpgaRegister = 0x22A019;
    static constexpr ULONG kIoctlUnused807 = 0x22A01E; // queued, then refused
    static constexpr ULONG kIoctlResetDsp = 0x22A022;
    static constexpr ULONG kIoctlAllocateMemory = 0x226026;
    static constexpr ULONG kIoctlFreeMemory = 0x22602A;
    static constexpr ULONG kIoctlDspCopyMemory = 0x22602E;
    static constexpr ULONG kIoctlReadDspEeprom = 0x226032;
    static constexpr ULONG kIoctlWriteDspEeprom = 0x22A035;
    static constexpr ULONG kIoctlReadDeviceConfig = 0x22A03A;
    // Status words of the output records.
    static constexpr ULONG kRequestInputSizeWrong = 0x1200;
    static constexpr ULONG kRequestOutputSizeWrong = 0x1201;
    static constexpr ULONG kRequestNoHostBuffer = 0x1202;
    // "GET DSP MEMORY INFO"'s constants.
    static constexpr ULONG kDspMemoryInfoWord1 = 0x400000;
    static constexpr ULONG kDspMemoryInfoWord2 = 0x800000;
    // "ALLOCATE MEMORY" and "FREE MEMORY": kind 1 is DSP memory, any other a host buffer.
    static constexpr ULONG kMemoryKindDsp = 1;
    // "WRITE DSP EEPROM": the chunks of the last part.
    static constexpr ULONG kEepromChunkWords = 200;
    static constexpr ULONG kEepromRestOffset = 33;
    static constexpr ULONG kEepromImageBytes = 4096;
    // GetInputParameters: which buffers the request must carry.
    static constexpr ULONG kNeedInput = 1;
    static constexpr ULONG kNeedOutput = 2;

    // The record's queue context: the dispatch queues the request with it, so that it lives as
    // long as the request may be in the queue.
    PIO_CSQ_IRP_CONTEXT QueueContext() { return &m_queueContext; }
    // Starts the request thread on this record; returns PsCreateSystemThread's status (the caller
    // then still owns the queued request and the record).
    NTSTATUS ProcessIOCTL();
    // Takes the request out of the queue (none: it was cancelled), runs its handler and completes
    // it; then, when the DSP still holds this record (a command of the handler got no answer),
    // waits for its late answer or the protocol manager's stop.
    void ProcessIOCTLCommand();
    // The request's system buffer and the mapped output buffer with their lengths. A buffer that
    // `required` names and that is missing: 0xC007107E (input) or 0xC007107D (output), logged.
    NTSTATUS GetInputParameters(PVOID* input, ULONG* inputLength, PVOID* output, ULONG* outputLength,
                                ULONG required = kNeedInput | kNeedOutput);
    // Exact sizes, computed in 64 bits by the caller: 0xC0071080 with status word 0x1200 for the
    // input, 0xC007107F with 0x1201 for the output, each logged with the lengths.
    NTSTATUS VerifyBufferSizes(ULONG inputLength, ULONGLONG expectedInput, ULONG outputLength,
                               ULONGLONG expectedOutput, ULONG* statusWord);
    // The table's name of a control code ("UNKNOWN" for any other).
    static const char* RequestName(ULONG code);

    ULONG GetHostTag() const { return m_hostTag; }
    Device* GetDevice() const { return m_device; }
    PUCHAR CommandArea() { return m_commandArea; }
    const UCHAR* ResponseArea() const { return m_responseArea; }
    PUCHAR ResponseArea() { return m_responseArea; }

    void SetCommandId(ULONG id) { WriteWord(m_commandArea, kCommandIdOffset, id); }
    ULONG GetCommandId() const { return ReadWord(m_commandArea, kCommandIdOffset); }
    void SetParameter(ULONG value) { WriteWord(m_commandArea, kParameterOffset, value); }
    // Payload word 1 to 8 (command area +20 + 4 * (index - 1)); other indexes are ignored.
    void SetPayloadWord(ULONG index, ULONG value);
    ULONG GetResponseId() const { return ReadWord(m_responseArea, kResponseIdOffset); }
    ULONG GetDspResult() const { return ReadWord(m_responseArea, kDspResultOffset); }
    void SetDspResult(ULONG value) { WriteWord(m_responseArea, kDspResultOffset, value); }
    ULONG GetResultWordA() const { return ReadWord(m_responseArea, kResultWordAOffset); }
    ULONG GetResultWordB() const { return ReadWord(m_responseArea, kResultWordBOffset); }

    // The stream that owns the queued capture buffer: a handle of the device's stream table (null
    // for every other command).
    LogicalStreamHandle GetStream() const { return LogicalStreamHandle{m_stream.load(std::memory_order_acquire)}; }
    void SetStream(LogicalStreamHandle stream) { m_stream.store(stream.value, std::memory_order_release); }
    // Set by Device::KillStreamsPendingCommands when the stream's DSP stream is being destroyed:
    // the answer only gives the buffer back to its stream, which queues nothing again.
    bool IsKilled() const { return m_killed.load(std::memory_order_acquire) != 0; }
    void SetWaited(bool waited) { m_waited = waited ? 1 : 0; }
    bool IsWaited() const { return m_waited != 0; }
    LONGLONG GetTimeout() const { return m_timeout.QuadPart; }
    void SetTimeout(LONGLONG timeout) { m_timeout.QuadPart = timeout; }
    PKEVENT CompletionEvent() { return &m_completionEvent; }
    // Where the protocol manager holds the record (under its pending-list lock).
    CommandExchange& Exchange() { return m_exchange; }

    // The links sit at fixed offsets; the record is not standard-layout (it has a vtable), which
    // the compiler lays out as one object all the same.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
    // The link the Device's free and busy lists use.
    static constexpr size_t PoolLinkOffset() { return offsetof(CommandHandler, m_poolLink); }
    // The link the protocol manager's lists (pending, in the mailbox, answered) use.
    static constexpr size_t ListLinkOffset() { return offsetof(CommandHandler, m_listLink); }
#pragma GCC diagnostic pop

private:
    friend class Device;
    friend class TidewellProtocolManager;
    friend class TidewellProtocolManagerTestPeer;

    static ULONG ReadWord(const UCHAR* area, ULONG offset);
    static void WriteWord(PUCHAR area, ULONG offset, ULONG value);
    // The manager completes the record without an answer: the DSP result, then the sender's wake.
    void Complete(ULONG dspResult);
    // Back to the pool, with a trace line saying why nobody kept it.
    void ReturnUnowned(const char* why);
    // Whether "HardwareInstalled" is 1: otherwise nothing is sent.
    bool HardwareInstalled() const;
    // Queues the record to `manager`, which the caller holds (a null one completes it cancelled).
    NTSTATUS QueueTo(TidewellProtocolManager* manager);
    // A command's id and parameter word into the command area.
    void Prepare(ULONG commandId, ULONG parameter);
    // Payload word `index` with bit 0 set to `bit` and its other bits kept.
    void SetPayloadBit0(ULONG index, bool bit);
    ULONG GetPayloadWord(ULONG index) const;
    // Sends and waits; a failed wait is reported as no answer with `noAnswerText`.
    NTSTATUS SendCheckedCommand(const char* functionName, const char* noAnswerText);
    NTSTATUS CreateDspStream(const DspStreamSettings& settings, DspStreamKind kind, const char* functionName);
    // The part of ProgramFPGA that runs once the DSP block and host buffer are held.
    NTSTATUS CopyAndProgramFpga(const UCHAR* image, ULONG size, ULONG dspAddress, PVOID hostBuffer,
                                PHYSICAL_ADDRESS busAddress);
    // ---- the request thread and the handlers; each returns the status the request completes with
    // and the bytes of output on success ----
    static VOID NTAPI RequestThread(PVOID context);
    NTSTATUS HandleRequest(ULONG code, ULONG* bytes);
    NTSTATUS GetDspMemoryInfo(ULONG* bytes);
    NTSTATUS ReadDspMemoryRequest(ULONG* bytes);
    NTSTATUS WriteDspMemoryRequest(ULONG* bytes);
    NTSTATUS ReadDspRegisterRequest(ULONG* bytes);
    NTSTATUS WriteDspRegisterRequest(ULONG* bytes);
    NTSTATUS WaitForDspInterruptRequest(ULONG* bytes);
    NTSTATUS ReadFpgaRegisterRequest(ULONG* bytes);
    NTSTATUS WriteFpgaRegisterRequest(ULONG* bytes);
    NTSTATUS ResetDspRequest(ULONG* bytes);
    NTSTATUS AllocateMemoryRequest(ULONG* bytes);
    NTSTATUS FreeMemoryRequest(ULONG* bytes);
    NTSTATUS DspCopyMemoryRequest(ULONG* bytes);
    NTSTATUS ReadDspEepromRequest(ULONG* bytes);
    NTSTATUS WriteDspEepromRequest(ULONG* bytes);
    NTSTATUS ReadDeviceConfigRequest(ULONG* bytes);
    // Writes the image's parts through the staging block (the chunks of part 2 until the DSP
    // refuses one); the DSP result of the last write into *dspResult.
    NTSTATUS WriteEepromParts(ULONG part, USHORT* image, ULONG stagingAddress, ULONG* dspResult);
    // A request's two buffers as the handlers see them.
    struct RequestBuffers {
        PUCHAR input = nullptr;
        ULONG inputLength = 0;
        PUCHAR output = nullptr;
        ULONG outputLength = 0;
    };
    // GetInputParameters for the handlers' byte views.
    NTSTATUS Buffers(ULONG required, RequestBuffers* io);
    // Buffers, then CheckSizes against sizes that do not depend on the record.
    NTSTATUS FixedBuffers(ULONG required, ULONGLONG expectedInput, ULONGLONG expectedOutput, RequestBuffers* io);
    // VerifyBufferSizes; a size error's status word goes into the output's first word when there is
    // room for it.
    NTSTATUS CheckSizes(const RequestBuffers& io, ULONGLONG expectedInput, ULONGLONG expectedOutput);
    // Whether the protocol manager still holds this record for a late answer.
    bool HeldForLateAnswer();

    // Frees a DSP block after a composite command: on this record, or on a fresh one from the pool
    // when this record's last wait failed (the DSP may still hold it).
    void ReleaseDspBlock(ULONG handle, bool recordUsable);

    alignas(8) UCHAR m_commandArea[kCommandAreaBytes] = {};
    alignas(8) UCHAR m_responseArea[kResponseAreaBytes] = {};
    IntrusiveListLink m_listLink;
    KEVENT m_completionEvent{};
    KEVENT m_secondEvent{};
    Device* m_device;
    LARGE_INTEGER m_timeout{};
    UCHAR m_waited = 0;
    UCHAR m_secondFlag = 0;
    // The stream's handle value: written by the record's user, read by the kill pass under the
    // Device's command lock.
    std::atomic<ULONG> m_stream{0};
    // The kill flag (under the Device's command lock while on the busy list).
    std::atomic<UCHAR> m_killed{0};

    ULONG m_hostTag = 0;
    CommandExchange m_exchange;
    // Pool state, under the Device's command lock.
    IntrusiveListLink m_poolLink;
    bool m_pooled = false;        // on the free list
    bool m_abandoned = false;     // the DSP may still answer: keep it out of the free list
    bool m_freeWhenReleased = false; // given back while abandoned

    // The private request this record serves: the thread's attributes and handle, the request and
    // its stack location while the thread has it, and the queue context it was queued with. The
    // ready event tells the thread that its handle has been stored. A copy pins the host buffer it
    // goes through (its cookie here) until the record is given back.
    OBJECT_ATTRIBUTES m_objectAttributes{};
    HANDLE m_threadHandle = nullptr;
    PIRP m_irp = nullptr;
    PIO_STACK_LOCATION m_irpStack = nullptr;
    IO_CSQ_IRP_CONTEXT m_queueContext{};
    KEVENT m_threadReadyEvent{};
    ULONG m_pinnedHostBuffer = 0;
};
