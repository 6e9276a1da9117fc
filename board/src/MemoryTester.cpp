// The memory tester's phases.
#include "board/MemoryTester.h"

#include <algorithm>
#include <vector>

#include "board/BoardConfiguration.h"
#include "board/DspMemory.h"
#include "platform/Clock.h"

namespace board {

namespace {

constexpr uint32_t kRangeShift = 24; // the block reports errors per 16 MB

uint32_t RangeOf(uint32_t address)
{
    return std::min<uint32_t>((address - MemoryTester::kExternalBase) >> kRangeShift, 3);
}

} // namespace

MemoryTester::MemoryTester(FirmwareHost& host, const ImageHeader& header)
    : Firmware(host, header), m_span(std::clamp<uint32_t>(host.Configuration().testerSpan / 4 * 4, 4, kMaxSpan))
{
}

void MemoryTester::Boot()
{
    m_host.Memory().Fill(kBlockAddress, 0, kBlockSize);
    Firmware::Boot();
}

void MemoryTester::Add(uint32_t field, uint32_t amount)
{
    DspMemory& memory = m_host.Memory();
    memory.Write32(field, memory.Read32(field) + amount);
}

void MemoryTester::Error(uint32_t totalField, uint32_t classField, uint32_t address, uint32_t value)
{
    Add(totalField);
    Add(classField);
    DspMemory& memory = m_host.Memory();
    const uint32_t listed = memory.Read32(kErrorCount);
    if (listed < kMaxListedErrors) {
        memory.Write32(kErrorAddresses + 4 * listed, address);
        memory.Write32(kErrorValues + 4 * listed, value);
        memory.Write32(kErrorCount, listed + 1);
    }
}

void MemoryTester::Begin()
{
    // The host's block stays as written up to here; from now on the fields are the tester's.
    DspMemory& memory = m_host.Memory();
    memory.Fill(kPhase, 0, kBlockAddress + kBlockSize - kPhase);
    memory.Write32(kPhase, 1);
    m_stage = Stage::Masks;
    m_mask = 0;
    m_offset = 0;
}

void MemoryTester::Tick()
{
    // No heartbeat: its word is the address under test.
    switch (m_stage) {
    case Stage::Waiting:
        if (m_host.Memory().Read32(kCommandWord) == kStartCommand) {
            m_stage = Stage::Armed;
            m_startAt = platform::Clock::DeadlineAfter(kStartDelay);
        }
        return;
    case Stage::Armed:
        if (platform::Clock::Now() >= m_startAt)
            Begin();
        return;
    default:
        TestChunk();
        return;
    }
}

void MemoryTester::TestChunk()
{
    DspMemory& memory = m_host.Memory();
    const uint32_t address = kExternalBase + m_offset;
    const uint32_t words = std::min(kChunkBytes, m_span - m_offset) / 4;
    std::vector<uint32_t> written(words), read(words);
    auto expect = [&](uint32_t i) -> uint32_t {
        const uint32_t at = address + 4 * i;
        switch (m_stage) {
        case Stage::Masks: return kMasks[m_mask];
        case Stage::Walker: return 1u << ((at - kExternalBase) / 4 % 32);
        default: return at;
        }
    };
    for (uint32_t i = 0; i < words; ++i)
        written[i] = expect(i);
    if (m_stage != Stage::AddressVerify)
        m_host.WriteAsDsp(address, written.data(), 4 * words);
    if (m_stage != Stage::AddressWrite) {
        m_host.ReadAsDsp(address, read.data(), 4 * words);
        for (uint32_t i = 0; i < words; ++i) {
            if (read[i] == written[i])
                continue;
            const uint32_t at = address + 4 * i;
            if (m_stage == Stage::Masks)
                Error(kMaskTotal, kMaskErrors + 4 * m_mask, at, read[i]);
            else if (m_stage == Stage::Walker)
                Error(kWalkerTotal, kWalkerErrors + 4 * RangeOf(at), at, read[i]);
            else
                Error(kAddressTotal, kAddressErrors + 4 * RangeOf(at), at, read[i]);
        }
    }
    memory.Write32(m_stage == Stage::Masks    ? kMaskAddress
                   : m_stage == Stage::Walker ? kWalkerAddress
                                              : kAddressAddress,
                   address);

    m_offset += 4 * words;
    if (m_offset < m_span)
        return;
    m_offset = 0;
    switch (m_stage) {
    case Stage::Masks:
        if (++m_mask == kMasks.size()) {
            m_stage = Stage::AddressWrite;
            memory.Write32(kPhase, 2);
        }
        break;
    case Stage::AddressWrite: m_stage = Stage::AddressVerify; break;
    case Stage::AddressVerify:
        m_stage = Stage::Walker;
        memory.Write32(kPhase, 3);
        break;
    default:
        Add(kIterations);
        m_stage = Stage::Masks;
        m_mask = 0;
        memory.Write32(kPhase, 1);
        break;
    }
}

} // namespace board
