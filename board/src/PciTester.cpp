// The PCI tester's transfers and its hooks.
#include "board/PciTester.h"

#include <algorithm>
#include <vector>

#include "board/BoardConfiguration.h"
#include "board/DspMemory.h"
#include "platform/Clock.h"
#include "platform/bus/DmaAddressMap.h"

namespace board {

using platform::Clock;

void PciTesterHooks::CorruptHostWords(uint32_t transfers)
{
    std::lock_guard lock(m_lock);
    m_corruptions = transfers;
}

void PciTesterHooks::AbortDspTransfers(uint32_t transfers)
{
    std::lock_guard lock(m_lock);
    m_aborts = transfers;
}

void PciTesterHooks::Clear()
{
    std::lock_guard lock(m_lock);
    m_corruptions = m_aborts = 0;
}

bool PciTesterHooks::TakeCorruption()
{
    std::lock_guard lock(m_lock);
    if (m_corruptions == 0)
        return false;
    --m_corruptions;
    return true;
}

bool PciTesterHooks::TakeDspAbort()
{
    std::lock_guard lock(m_lock);
    if (m_aborts == 0)
        return false;
    --m_aborts;
    return true;
}

PciTester::PciTester(FirmwareHost& host, const ImageHeader& header)
    : Firmware(host, header), m_length(std::max<uint32_t>(host.Configuration().pciTesterLength / 16 * 16, 16))
{
}

void PciTester::Boot()
{
    m_host.Memory().Fill(kBlockAddress, 0, kBlockSize);
    Firmware::Boot();
}

void PciTester::OnDoorbell()
{
    Firmware::OnDoorbell();
    Add(kDoorbells);
}

void PciTester::Add(uint32_t field, uint32_t amount)
{
    DspMemory& memory = m_host.Memory();
    memory.Write32(field, memory.Read32(field) + amount);
}

void PciTester::Tick()
{
    // No heartbeat: the block is the tester's.
    const int64_t now = Clock::Now();
    if (!m_armed) {
        if (m_host.Memory().Read32(kBusAddress) != 0) {
            m_armed = true;
            m_startAt = Clock::DeadlineAfter(kStartDelay);
        }
        return;
    }
    if (!m_running) {
        if (now < m_startAt)
            return;
        m_running = true;
        StartTransfer();
        return;
    }
    if (now >= m_transferEnd) {
        FinishTransfer();
        StartTransfer();
    }
}

void PciTester::StartTransfer()
{
    DspMemory& memory = m_host.Memory();
    memory.Write32(kSequence, m_sequence);
    memory.Write32(kDirection, m_writing ? 1 : 0);
    // The length at 100 MB/s, give or take half a percent, as a bus with other traffic would.
    const uint64_t nominal = uint64_t{m_length} * 90'000'000 / kBytesPerSecond;
    m_jitter = m_jitter * 6364136223846793005ull + 1442695040888963407ull;
    const int64_t permille = static_cast<int64_t>((m_jitter >> 33) % 11) - 5; // -5..5 per mille
    m_transferTicks = static_cast<uint32_t>(nominal + static_cast<int64_t>(nominal) * permille / 1000);
    m_transferEnd = Clock::DeadlineAfter(m_transferTicks / 9 + 1);
}

void PciTester::FinishTransfer()
{
    DspMemory& memory = m_host.Memory();
    platform::DmaAddressMap& dma = m_host.Dma();
    const uint32_t bus = memory.Read32(kBusAddress);
    const auto& pattern = kSequences[m_sequence];
    std::vector<uint32_t> words(m_length / 4);
    if (m_writing)
        m_writeAborted = true; // until the write lands
    if (m_host.PciHooks().TakeDspAbort()) {
        Add(kDspAborts);
    } else if (m_writing) {
        for (size_t i = 0; i < words.size(); ++i)
            words[i] = pattern[i % 4];
        if (dma.Write(bus, words.data(), m_length) != platform::BusStatus::Ok) {
            Add(kHostAborts);
        } else {
            m_writeAborted = false;
            Record(m_writes, kWriteHigh, m_transferTicks);
            if (m_host.PciHooks().TakeCorruption()) {
                // Another bus master changes one word before the tester reads it back.
                const uint32_t at = bus + 4 * (m_corrupted++ * 7919 % words.size());
                uint32_t word = 0;
                if (dma.Read(at, &word, 4) == platform::BusStatus::Ok) {
                    word ^= 0x00010000;
                    dma.Write(at, &word, 4);
                }
            }
        }
    } else {
        if (dma.Read(bus, words.data(), m_length) != platform::BusStatus::Ok) {
            Add(kHostAborts);
        } else if (!m_writeAborted) {
            Record(m_reads, kReadHigh, m_transferTicks);
            uint32_t failures = 0;
            for (size_t i = 0; i < words.size(); ++i)
                failures += words[i] != pattern[i % 4];
            Add(kFailureTotal, failures);
            Add(kSequenceFailures + 4 * m_sequence, failures);
        }
    }
    if (m_writing) {
        m_writing = false;
        return;
    }
    m_writing = true;
    m_sequence = (m_sequence + 1) % kSequences.size();
    if (m_sequence == 0)
        Add(kIterations);
}

void PciTester::Record(Times& times, uint32_t field, uint32_t ticks)
{
    times.total += ticks;
    ++times.count;
    times.high = times.count == 1 ? ticks : std::max(times.high, ticks);
    times.low = times.count == 1 ? ticks : std::min(times.low, ticks);
    DspMemory& memory = m_host.Memory();
    memory.Write32(field, times.high);
    memory.Write32(field + 4, times.low);
    memory.Write32(field + 8, static_cast<uint32_t>(times.total / times.count));
}

} // namespace board
