// The main firmware's command set: the typed commands of the mailbox (docs/dsp-interface.md, "The
// command set") over the DSP memory allocator, the copy engine between host bus addresses and DSP
// memory, the FPGA, the EEPROM, the daughter-card signature, the stored performance,
// audio-configuration and DC-gain values, and the stream slots with their queued capture buffers;
// the signal of every video input, and the frame clocks that fill the queued buffers of enabled
// streams from input 0's signal at its exact rate.
//
// One object lives as long as the board. `Install` puts its handlers into the mailbox service's
// command table; they run on the DSP thread under the service's lock. `RunFrameClocks` runs on the
// DSP thread at every tick. A boot, a warm reset and the host's restart of the mailbox drop blocks,
// streams, queued buffers and stored values; the FPGA, the EEPROM, the signature, the signals and
// the faults stay.
//
// Thread-safe. Lock order: the mailbox service's lock, then this object's, then the faults'; the
// answers the frame clocks and the test hooks make (filled buffers, input-state messages) wait in
// this object until the firmware posts them from its thread, in the order made, ahead of the answers
// of the next command.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "board/BoardConfiguration.h"
#include "board/DspAllocator.h"
#include "board/FrameClock.h"
#include "board/MailboxMessages.h"
#include "board/SignalModel.h"
#include "board/StreamFaults.h"

namespace platform {
class DmaAddressMap;
}

namespace board {

class DspMemory;
class Eeprom;
class FpgaModel;
class MailboxService;

enum class StreamKind { Video, Audio };

// A capture buffer a queue command (id 5) handed to the DSP, held until filled or cancelled.
struct QueuedBuffer {
    MailboxCommand command; // answered with its tag
    uint32_t busAddress = 0;
    uint32_t size = 0;
    bool operator==(const QueuedBuffer&) const = default;
};

struct DspStream {
    uint32_t handle = 0;
    uint8_t inputType = 0; // 0 live video, 2 test video, 10 live audio, 16 test audio
    StreamKind kind = StreamKind::Video;
    std::array<uint32_t, 8> descriptor{};
    bool enabled = false;
    std::vector<QueuedBuffer> queued; // oldest first
    uint64_t filled = 0;              // buffers filled and answered
    uint64_t dropped = 0;             // frames that found no buffer queued
    uint64_t skipped = 0;             // frames not captured by the SkipFrames fault
    FrameClock clock;                 // running while enabled with a signal
    uint64_t stepsAllowed = 0;        // frames the manual frame clock may still take
    std::optional<uint32_t> lastStamp; // of the last capture answered
};

class CommandSet {
public:
    static constexpr uint32_t kMaxStreams = 16;
    static constexpr uint32_t kMaxQueuedBuffers = 64; // per stream
    static constexpr uint32_t kMaxBufferSize = 16u << 20;
    static constexpr uint32_t kMaxCopyLength = 64u << 20;
    static constexpr uint32_t kMaxFpgaImage = 16u << 20;
    static constexpr uint32_t kNoDaughterCard = 31;
    // DSP time stamps: 90 MHz, i.e. 9 ticks per 100-ns unit of the clock.
    static constexpr uint32_t kTicksPerClockUnit = 9;
    static constexpr uint64_t kAudioBufferTicks = 900'000; // 10 ms
    // The input the DSP measures and captures.
    static constexpr uint32_t kCapturedInput = 0;

    // `dma` is the bus's map of registered host memory (platform::Bus::Instance().Dma() on a
    // board; tests may give their own).
    CommandSet(DspMemory& memory, FpgaModel& fpga, Eeprom& eeprom, platform::DmaAddressMap& dma,
               const BoardConfiguration& configuration = {});

    // ---- the firmware's side ----

    // Puts a handler for every command id 1..16 but 11 into the service's table.
    void Install(MailboxService& service);
    // The answers to post now for `command`, in order: answers made earlier by test hooks first,
    // then the command's own (none for a queued buffer, several for a destroy).
    std::vector<MailboxResponse> Handle(const MailboxCommand& command);
    // Answers made by the frame clocks and test hooks since the last call that are due now, in the
    // order made (the firmware posts them).
    std::vector<MailboxResponse> TakeMadeAnswers();
    // Takes every frame of every enabled stream whose end has passed: fills the oldest queued buffer
    // by DMA and makes its answer, or counts a drop when none is queued.
    void RunFrameClocks();
    // A boot, a warm reset or the host's restart: no blocks, streams, queued buffers, stored values
    // or unposted hook answers; handles start at 1 again.
    void Restart();
    // Called (without this object's lock) when a hook made answers for the firmware to post.
    void SetWake(std::function<void()> wake);

    // ---- test hooks ----

    std::vector<DspBlock> Allocations() const;
    std::vector<DspStream> Streams() const;
    std::optional<DspStream> Stream(uint32_t handle) const;
    // Command 12: parameter word 0 and the seven payload words; none until one came.
    std::optional<std::array<uint32_t, 8>> PerformanceParameters() const;
    // Command 13: parameter word 0 and the eight payload words; none until one came.
    std::optional<std::array<uint32_t, 9>> AudioConfiguration() const;
    // Command 15: the last gain per channel.
    std::map<uint8_t, uint8_t> DcGains() const;
    // The daughter-card signature command 16 answers (31 = none, the default).
    void SetDcSignature(uint32_t signature);
    uint32_t DcSignature() const;
    // Input 0's cable (plugged by default): without a signal enable answers 23 and nothing fills.
    void SetSignalPresent(bool present);
    bool SignalPresent() const;

    // The inputs' signals. Every change of the captured input (0) posts its input-state message
    // (id 6, tag 0); filling then stops or resumes on the new signal's grid, queued buffers kept.
    // False for an input the board lacks or a setting no signal has.
    size_t InputCount() const;
    std::optional<SignalModel> Signal(uint32_t input = kCapturedInput) const;
    bool PullCable(uint32_t input = kCapturedInput);
    bool PlugCable(uint32_t input = kCapturedInput);
    bool SetStandard(uint32_t input, uint32_t standardBit);
    bool SetAudio(uint32_t input, const AudioSignal& audio);
    // One message with these error codes in its format word (video 1 to 5, audio 1 to 4, 0 none).
    bool ReportErrors(uint32_t input, uint32_t videoError, uint32_t audioError);
    // Line-21 caption pairs (7 bits each; parity is added) for NTSC field 1 or 2 of an input.
    bool QueueCaptions(uint32_t ntscField, const std::vector<Line21Captions::Pair>& pairs,
                       uint32_t input = kCapturedInput);
    bool SetCaptionWaveform(const Line21Waveform& waveform, uint32_t input = kCapturedInput);

    // The 90 MHz time-stamp counter reads `value` now and runs on from there.
    void SetTimeStampCounter(uint32_t value);
    uint32_t TimeStampCounter() const;
    // Manual: frame clocks take a frame only when a test allowed it (StepFrames), still no sooner
    // than the frame's end. Switching either way allows none.
    void SetFrameClockManual(bool manual);
    // Allows stream `handle` `frames` more frames (captured, dropped or skipped); false: no stream.
    bool StepFrames(uint32_t handle, uint64_t frames = 1);
    // The capture faults of video or audio streams.
    StreamFaults& Faults(StreamKind kind);
    // Fills a queued buffer of stream `handle` now: the oldest, or the one at `busAddress`. Writes
    // the test pattern by DMA, takes the buffer off the queue and makes its answer (id 5), which
    // the firmware posts from its thread. Returns the answer, or none when there is no such stream
    // or buffer.
    std::optional<MailboxResponse> FillQueuedBuffer(uint32_t handle, std::optional<uint32_t> busAddress = {});

private:
    std::vector<MailboxResponse> HandleLocked(const MailboxCommand& command);
    MailboxResponse AllocateLocked(const MailboxCommand& command);
    MailboxResponse FreeLocked(const MailboxCommand& command);
    MailboxResponse ProgramFpgaLocked(const MailboxCommand& command);
    MailboxResponse CopyLocked(const MailboxCommand& command);
    MailboxResponse EepromLocked(const MailboxCommand& command);
    MailboxResponse CreateStreamLocked(const MailboxCommand& command);
    std::optional<MailboxResponse> QueueBufferLocked(const MailboxCommand& command);
    MailboxResponse EnableStreamLocked(const MailboxCommand& command);
    std::vector<MailboxResponse> DestroyStreamLocked(const MailboxCommand& command);
    MailboxResponse FillLocked(DspStream& stream, const QueuedBuffer& buffer);
    MailboxResponse CaptureLocked(DspStream& stream, const QueuedBuffer& buffer, SignalModel& signal);
    void RunStreamLocked(DspStream& stream, SignalModel& signal, int64_t now);
    void MakeLocked(const MailboxResponse& answer, int64_t delay = 0);
    std::vector<MailboxResponse> TakeDueLocked();
    // Posts the captured input's message when `input` is it; true when one was made.
    bool AnnounceLocked(uint32_t input, uint32_t videoError = 0, uint32_t audioError = 0);
    uint32_t CounterAt(uint64_t ticks) const;
    bool HalfScaleLocked() const;
    void WakeFirmware();

    DspMemory& m_memory;
    FpgaModel& m_fpga;
    Eeprom& m_eeprom;
    platform::DmaAddressMap& m_dma;

    mutable std::mutex m_lock;
    std::function<void()> m_wake;
    DspAllocator m_allocator;
    std::map<uint32_t, DspStream> m_streams; // by handle
    uint32_t m_nextStream = 1;
    struct Made {
        MailboxResponse response;
        int64_t due = 0;
    };
    std::deque<Made> m_made; // answers of the frame clocks and hooks not yet posted
    std::map<uint32_t, std::vector<MailboxResponse>> m_heldPastDestroy; // by stream handle
    std::optional<std::array<uint32_t, 8>> m_performance;
    std::optional<std::array<uint32_t, 9>> m_audioConfiguration;
    std::map<uint8_t, uint8_t> m_dcGains;
    uint32_t m_signature = kNoDaughterCard;
    bool m_bootAnnouncement = false;
    std::vector<SignalModel> m_inputs;
    uint32_t m_counterOffset = 0; // time-stamp counter = ticks + offset, mod 2^32
    bool m_manualClock = false;
    StreamFaults m_videoFaults;
    StreamFaults m_audioFaults;
};

} // namespace board
