// The two records that pass through the mailbox slots, as the firmware sees them: the 56-byte
// command the host writes at mailbox +64 and the 112-byte response the DSP writes at +120, with the
// DSP result codes both sides share. All words are little-endian.
#pragma once
#include <array>
#include <cstdint>
#include <span>

namespace board {

// DSP results (response +16). 1 is success; the rest are our firmware's error codes.
constexpr uint32_t kDspResultSuccess = 1;
constexpr uint32_t kDspErrorBadParameter = 2;
constexpr uint32_t kDspErrorNoMemory = 3;
constexpr uint32_t kDspErrorBadHandle = 4;
constexpr uint32_t kDspErrorFpgaChecksum = 5;
constexpr uint32_t kDspErrorFpgaNotConfigured = 6;
constexpr uint32_t kDspErrorDmaNotMapped = 7;
constexpr uint32_t kDspErrorCancelled = 8;
constexpr uint32_t kDspErrorNoSignal = 23;
constexpr uint32_t kDspErrorUnknownCommand = 0xFFFF;

// Response ids of the messages the DSP sends on its own (tag 0).
constexpr uint32_t kDspMessageInputState = 6;

// Command ids of the main firmware's command set (docs/dsp-interface.md, "The command set"). No
// command uses id 11.
constexpr uint32_t kCommandAllocateDspMemory = 1;
constexpr uint32_t kCommandProgramFpga = 2;
constexpr uint32_t kCommandCreateStream = 3;
constexpr uint32_t kCommandFreeDspMemory = 4;
constexpr uint32_t kCommandQueueCaptureBuffer = 5; // answered when the buffer is filled
constexpr uint32_t kCommandEnableStream = 6;
constexpr uint32_t kCommandCopyMemory = 7;
constexpr uint32_t kCommandEeprom = 8;
constexpr uint32_t kCommandReadFpgaRegister = 9;
constexpr uint32_t kCommandWriteFpgaRegister = 10;
constexpr uint32_t kCommandPerformanceParameters = 12;
constexpr uint32_t kCommandAudioConfiguration = 13;
constexpr uint32_t kCommandDestroyStream = 14;
constexpr uint32_t kCommandAnalogDcGain = 15;
constexpr uint32_t kCommandDcSignature = 16;

// Copy direction (command 7, +28): host bus address to DSP address; any other value the reverse.
constexpr uint32_t kCopyHostToDsp = 2;

// Offsets inside the command slot.
constexpr uint32_t kCommandTag = 0;       // 8 bytes, echoed whole in the response
constexpr uint32_t kCommandId = 8;
constexpr uint32_t kCommandParameter = 16; // parameter word 0
constexpr uint32_t kCommandPayload = 20;   // payload words 1 to 8
constexpr uint32_t kCommandPayloadWords = 8;

// Offsets inside the response slot.
constexpr uint32_t kResponseTag = 0; // 8 bytes: the command's tag, or 0 for the DSP's own messages
constexpr uint32_t kResponseId = 8;
constexpr uint32_t kResponseResult = 16;
constexpr uint32_t kResponseWordA = 24;
constexpr uint32_t kResponseWordB = 28;
// A filled-buffer answer (id 5): A = bus address, B = data size, then these.
constexpr uint32_t kResponseTimeStamp = 32;   // 90 MHz DSP ticks, wrapping
constexpr uint32_t kResponseStatusWords = 36; // eight words, +36..+67
constexpr uint32_t kStatusWordCount = 8;
// The input-state message (id 6).
constexpr uint32_t kInputStateFormat = 24;
constexpr uint32_t kInputStateHorizontal = 28;
constexpr uint32_t kInputStateVertical = 32;
constexpr uint32_t kInputStateBlankingCounted = 36;
constexpr uint32_t kInputStateBlankingCaptured = 40;
constexpr uint32_t kInputStateAudioWords = 44; // four words, +44..+56

// One command as the firmware took it from the slot: the 56 bytes and the fields it reads.
// Bytes +12 and +52 are not written by the host (records are reused) and mean nothing.
struct MailboxCommand {
    std::array<uint8_t, 56> bytes{};
    uint64_t tag = 0;
    uint32_t id = 0;
    uint32_t parameter = 0;
    std::array<uint32_t, kCommandPayloadWords> payload{};

    static MailboxCommand Decode(std::span<const uint8_t, 56> slot);
    bool operator==(const MailboxCommand&) const = default;
};

// One response, whole: what the firmware writes into the response slot.
struct MailboxResponse {
    std::array<uint8_t, 112> bytes{};

    // An answer to `command`: its tag echoed, response id = command id, the result and words A, B;
    // the rest 0.
    static MailboxResponse AnswerTo(const MailboxCommand& command, uint32_t result, uint32_t wordA = 0,
                                    uint32_t wordB = 0);
    // A message the DSP sends on its own: tag 0, response id `id`, the rest 0.
    static MailboxResponse Message(uint32_t id);

    uint64_t Tag() const;
    void SetTag(uint64_t tag);
    // The 32-bit word at byte `offset` (a multiple of 4 below 112; std::out_of_range otherwise).
    uint32_t Word(uint32_t offset) const;
    void SetWord(uint32_t offset, uint32_t value);

    uint32_t Id() const { return Word(kResponseId); }
    uint32_t Result() const { return Word(kResponseResult); }
    uint32_t WordA() const { return Word(kResponseWordA); }
    uint32_t WordB() const { return Word(kResponseWordB); }

    bool operator==(const MailboxResponse&) const = default;
};

} // namespace board
