// What every booted personality does today: set up the mailbox, keep the heartbeat, announce the
// boot with an interrupt.
#include "board/Firmware.h"

#include "board/DspMemory.h"
#include "board/MainFirmware.h"
#include "board/MailboxLayout.h"

namespace board {

Firmware::Firmware(FirmwareHost& host, const ImageHeader& header)
    : m_host(host), m_header(header)
{
}

std::unique_ptr<Firmware> Firmware::Make(FirmwareHost& host, const ImageHeader& header)
{
    if (header.personality == Personality::MainFirmware)
        return std::make_unique<MainFirmware>(host, header);
    return std::make_unique<Firmware>(host, header);
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
