// What every booted personality does: set up the mailbox, announce the boot with an interrupt; and
// the factory of personalities.
#include "board/Firmware.h"

#include "board/DspMemory.h"
#include "board/MainFirmware.h"
#include "board/MailboxLayout.h"
#include "board/MemoryTester.h"
#include "board/PciTester.h"

namespace board {

Firmware::Firmware(FirmwareHost& host, const ImageHeader& header)
    : m_host(host), m_header(header)
{
}

std::unique_ptr<Firmware> Firmware::Make(FirmwareHost& host, const ImageHeader& header)
{
    switch (header.personality) {
    case Personality::MainFirmware: return std::make_unique<MainFirmware>(host, header);
    case Personality::MemoryTester: return std::make_unique<MemoryTester>(host, header);
    case Personality::PciTester: return std::make_unique<PciTester>(host, header);
    default: return std::make_unique<Firmware>(host, header);
    }
}

void Firmware::Boot()
{
    DspMemory& memory = m_host.Memory();
    // The whole mailbox starts clear: no response, a free command slot, counters at 0. The first
    // word carries the version, which is never all ones, so the host sees a DSP that is there.
    memory.Fill(kMailboxAddress, 0, kMailboxSize);
    memory.Write32(kMailboxAddress + kMailboxFirstWord, m_header.version);
    m_heartbeat = 0;
    memory.Write32(kHeartbeatAddress, m_heartbeat);
    m_host.RaiseHostInterrupt();
}

void Firmware::Tick()
{
    ++m_heartbeat;
    m_host.Memory().Write32(kHeartbeatAddress, m_heartbeat);
}

void Firmware::OnDoorbell()
{
    ++m_doorbells;
}

} // namespace board
