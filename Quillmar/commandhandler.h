// CommandHandler: one DSP command record. It carries a command into the DSP mailbox and receives
// the DSP's answer back into itself: the command area and the response area are byte images of the
// mailbox's command slot and response slot. Records come from the Device's pool; the protocol
// manager moves them between its lists; the response thread hands answers nobody waits for to
// ProcessCommandResponse.
//
// The host tag is a non-zero record id (low half; high half 0) from a device-wide counter, never
// an address: the protocol manager looks an echoed tag up among the records the DSP holds.
#pragma once
#include "kernel/driverheap.h"
#include "kernel/intrusivelist.h"
#include "km/sync.h"
#include "km/types.h"

#include <cstddef>

class Device;
class LogicalStream;
class TidewellProtocolManager;

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

    LogicalStream* GetStream() const { return m_stream; }
    void SetStream(LogicalStream* stream) { m_stream = stream; }
    void SetWaited(bool waited) { m_waited = waited ? 1 : 0; }
    bool IsWaited() const { return m_waited != 0; }
    LONGLONG GetTimeout() const { return m_timeout.QuadPart; }
    void SetTimeout(LONGLONG timeout) { m_timeout.QuadPart = timeout; }
    PKEVENT CompletionEvent() { return &m_completionEvent; }

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

    // Where the protocol manager holds the record; read and written under its pending-list lock.
    enum class Exchange : UCHAR {
        Idle,      // not with the manager
        Pending,   // on the pending list
        InMailbox, // copied into the command slot, the DSP's answer outstanding
        Answered,  // answered (or completed by the manager)
        Abandoned, // in the mailbox, its sender gone after the time-out
    };

    static ULONG ReadWord(const UCHAR* area, ULONG offset);
    static void WriteWord(PUCHAR area, ULONG offset, ULONG value);
    // The manager completes the record without an answer: the DSP result, then the sender's wake.
    void Complete(ULONG dspResult);
    // Back to the pool, with a trace line saying why nobody kept it.
    void ReturnUnowned(const char* why);

    alignas(8) UCHAR m_commandArea[kCommandAreaBytes] = {};
    alignas(8) UCHAR m_responseArea[kResponseAreaBytes] = {};
    IntrusiveListLink m_listLink;
    KEVENT m_completionEvent{};
    KEVENT m_secondEvent{};
    Device* m_device;
    LARGE_INTEGER m_timeout{};
    UCHAR m_waited = 0;
    UCHAR m_secondFlag = 0;
    LogicalStream* m_stream = nullptr;

    ULONG m_hostTag = 0;
    Exchange m_exchange = Exchange::Idle;
    // Pool state, under the Device's command lock.
    IntrusiveListLink m_poolLink;
    bool m_pooled = false;        // on the free list
    bool m_abandoned = false;     // the DSP may still answer: keep it out of the free list
    bool m_freeWhenReleased = false; // given back while abandoned
};
