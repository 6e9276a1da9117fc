// The PCI tester's personality: like the memory tester it owns DSP 0x20 to 0x717 and keeps no
// heartbeat. 100 ms after the host put a buffer's bus address at DSP 128 it moves bit-mask
// sequences through that buffer by DMA, over and over: each sequence (four words repeated) is
// written to the host buffer, then read back and compared. It counts iterations, comparison
// failures (total and per sequence), the host's doorbells, host aborts (a range not inside one
// registered buffer) and DSP aborts (a hook), and keeps the highest, lowest and average write and
// read times in 90 MHz ticks, a transfer taking its length at 100 MB/s of the board's clock.
// PciTesterHooks make the faults a test needs: host words corrupted between the write and the read,
// and aborted transfers.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>

#include "board/Firmware.h"

namespace board {

// Thread-safe; lives as long as the board.
class PciTesterHooks {
public:
    // The next `transfers` buffers written get one host word changed before they are read back.
    void CorruptHostWords(uint32_t transfers);
    // The next `transfers` transfers abort on the DSP's side (nothing moves).
    void AbortDspTransfers(uint32_t transfers);
    void Clear();

    bool TakeCorruption();
    bool TakeDspAbort();

private:
    std::mutex m_lock;
    uint32_t m_corruptions = 0;
    uint32_t m_aborts = 0;
};

class PciTester final : public Firmware {
public:
    static constexpr uint32_t kBlockAddress = 0x20;
    static constexpr uint32_t kBlockSize = 1784;
    // DSP addresses of the block's fields.
    static constexpr uint32_t kBusAddress = 128; // 8 bytes, the host's; the high half is 0
    static constexpr uint32_t kIterations = 140;
    static constexpr uint32_t kSequence = 144;
    static constexpr uint32_t kDirection = 148; // 0 reading from the host buffer, 1 writing to it
    static constexpr uint32_t kFailureTotal = 152;
    static constexpr uint32_t kSequenceFailures = 156; // four words
    static constexpr uint32_t kDoorbells = 172;
    static constexpr uint32_t kHostAborts = 176;
    static constexpr uint32_t kDspAborts = 180;
    static constexpr uint32_t kWriteHigh = 184, kWriteLow = 188, kWriteAverage = 192;
    static constexpr uint32_t kReadHigh = 196, kReadLow = 200, kReadAverage = 204;

    static constexpr int64_t kStartDelay = 100 * 10'000; // 100 ms
    static constexpr uint64_t kBytesPerSecond = 100'000'000;
    static constexpr std::array<std::array<uint32_t, 4>, 4> kSequences = {{
        {0xFFFFFFFF, 0xAAAAAAAA, 0x55555555, 0x00000000},
        {0xAAAAAAAA, 0x55555555, 0x00000000, 0xFFFFFFFF},
        {0x55555555, 0x00000000, 0xFFFFFFFF, 0xAAAAAAAA},
        {0x00000000, 0xFFFFFFFF, 0xAAAAAAAA, 0x55555555},
    }};

    PciTester(FirmwareHost& host, const ImageHeader& header);

    void Boot() override;
    void Tick() override;
    void OnDoorbell() override;

private:
    struct Times {
        uint64_t total = 0;
        uint64_t count = 0;
        uint32_t high = 0;
        uint32_t low = 0;
    };

    void StartTransfer();
    void FinishTransfer();
    void Record(Times& times, uint32_t field, uint32_t ticks);
    void Add(uint32_t field, uint32_t amount = 1);

    uint32_t m_length;
    bool m_armed = false;
    bool m_running = false;
    int64_t m_startAt = 0;
    int64_t m_transferEnd = 0;
    uint32_t m_transferTicks = 0;
    uint32_t m_sequence = 0;
    bool m_writing = true;
    // The sequence's write aborted: its read has nothing to compare against.
    bool m_writeAborted = false;
    uint64_t m_jitter = 0x9E3779B97F4A7C15ull;
    uint32_t m_corrupted = 0;
    Times m_writes;
    Times m_reads;
};

} // namespace board
