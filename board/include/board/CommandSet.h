// The main firmware's command set: the typed commands of the mailbox (docs/dsp-interface.md, "The
// command set") over the DSP memory allocator, the copy engine between host bus addresses and DSP
// memory, the FPGA, the EEPROM, the daughter-card signature, the stored performance,
// audio-configuration and DC-gain values, and the stream slots with their queued capture buffers.
//
// One object lives as long as the board. `Install` puts its handlers into the mailbox service's
// command table; they run on the DSP thread under the service's lock. A boot, a warm reset and the
// host's restart of the mailbox drop blocks, streams, queued buffers and stored values; the FPGA,
// the EEPROM, the signature and the signal flag stay.
//
// Thread-safe. Lock order: the mailbox service's lock, then this object's; answers a test hook
// makes (FillQueuedBuffer) wait in this object until the firmware posts them from its thread, in
// the order made, ahead of the answers of the next command.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "board/DspAllocator.h"
#include "board/MailboxMessages.h"

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

    // `dma` is the bus's map of registered host memory (platform::Bus::Instance().Dma() on a
    // board; tests may give their own).
    CommandSet(DspMemory& memory, FpgaModel& fpga, Eeprom& eeprom, platform::DmaAddressMap& dma);

    // ---- the firmware's side ----

    // Puts a handler for every command id 1..16 but 11 into the service's table.
    void Install(MailboxService& service);
    // The answers to post now for `command`, in order: answers made earlier by test hooks first,
    // then the command's own (none for a queued buffer, several for a destroy).
    std::vector<MailboxResponse> Handle(const MailboxCommand& command);
    // Answers made by test hooks since the last call, in the order made (the firmware posts them).
    std::vector<MailboxResponse> TakeMadeAnswers();
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
    // Whether the board sees an input signal (present by default); without one, enable answers 23.
    void SetSignalPresent(bool present);
    bool SignalPresent() const;
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
    std::deque<MailboxResponse> m_made; // hook answers not yet posted
    std::optional<std::array<uint32_t, 8>> m_performance;
    std::optional<std::array<uint32_t, 9>> m_audioConfiguration;
    std::map<uint8_t, uint8_t> m_dcGains;
    uint32_t m_signature = kNoDaughterCard;
    bool m_signalPresent = true;
};

} // namespace board
