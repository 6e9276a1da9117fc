// The main firmware: the common boot and heartbeat, and the mailbox served at every chance.
#include "board/MainFirmware.h"

#include "board/MailboxService.h"

namespace board {

MainFirmware::MainFirmware(FirmwareHost& host, const ImageHeader& header) : Firmware(host, header) {}

void MainFirmware::Boot()
{
    // The service forgets the previous boot before the mailbox it serves is cleared and announced.
    m_host.Mailbox().Restart();
    Firmware::Boot();
}

void MainFirmware::Tick()
{
    Firmware::Tick();
    // The fallback poll: a doorbell the host rang before the slot was ready, or an answer whose
    // delay has run out, is served within a tick.
    m_host.Mailbox().Serve(m_host);
}

void MainFirmware::OnDoorbell()
{
    Firmware::OnDoorbell();
    m_host.Mailbox().Serve(m_host);
}

void MainFirmware::OnWake()
{
    m_host.Mailbox().Serve(m_host);
}

} // namespace board
