// The memory tester's personality: it owns DSP 0x20 to 0x717 (the block the host reads back as its
// diagnostics record, record offset r at DSP address r - 32) and keeps no heartbeat (0x40 holds the
// address under test). 100 ms after the host's command word 3 appears at 0x20 (time for the host to
// verify its write of the block) it tests its span of external memory, a chunk a tick, in three
// phases: bit masks (0, 0x55555555, 0xAAAAAAAA, 0xFFFFFFFF written and read back), address lines
// (every word its own address) and a walking bit; then counts an iteration and starts again. The
// DSP's accesses see the board's memory faults, so stuck bits show as errors.
#pragma once
#include <array>
#include <cstdint>

#include "board/Firmware.h"

namespace board {

class MemoryTester final : public Firmware {
public:
    static constexpr uint32_t kBlockAddress = 0x20;
    static constexpr uint32_t kBlockSize = 1784;
    // DSP addresses of the block's fields.
    static constexpr uint32_t kCommandWord = 32;
    static constexpr uint32_t kStartCommand = 3;
    static constexpr uint32_t kPhase = 36;
    static constexpr uint32_t kIterations = 40;
    static constexpr uint32_t kMaskTotal = 44;
    static constexpr uint32_t kMaskErrors = 48;    // four words, by mask
    static constexpr uint32_t kMaskAddress = 64;
    static constexpr uint32_t kAddressTotal = 72;
    static constexpr uint32_t kAddressErrors = 76; // four words, by 16 MB range
    static constexpr uint32_t kAddressAddress = 92;
    static constexpr uint32_t kWalkerTotal = 100;
    static constexpr uint32_t kWalkerErrors = 104; // four words, by 16 MB range
    static constexpr uint32_t kWalkerAddress = 120;
    static constexpr uint32_t kErrorCount = 208;
    static constexpr uint32_t kErrorAddresses = 212;
    static constexpr uint32_t kErrorValues = 1012;
    static constexpr uint32_t kMaxListedErrors = 200;

    static constexpr uint32_t kExternalBase = 0x80000000;
    static constexpr uint32_t kMaxSpan = 64u << 20;
    static constexpr uint32_t kChunkBytes = 64u << 10; // tested per tick
    static constexpr int64_t kStartDelay = 100 * 10'000; // 100 ms
    static constexpr std::array<uint32_t, 4> kMasks = {0x00000000, 0x55555555, 0xAAAAAAAA, 0xFFFFFFFF};

    MemoryTester(FirmwareHost& host, const ImageHeader& header);

    void Boot() override;
    void Tick() override;

private:
    enum class Stage { Waiting, Armed, Masks, AddressWrite, AddressVerify, Walker };

    void Begin();
    void TestChunk();
    void Error(uint32_t totalField, uint32_t classField, uint32_t address, uint32_t value);
    void Add(uint32_t field, uint32_t amount = 1);

    uint32_t m_span;
    Stage m_stage = Stage::Waiting;
    int64_t m_startAt = 0;
    uint32_t m_mask = 0;
    uint32_t m_offset = 0;
};

} // namespace board
