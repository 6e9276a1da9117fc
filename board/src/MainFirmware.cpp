// The main firmware: the common boot and heartbeat, and the mailbox served at every chance.
#include "board/MainFirmware.h"

#include "board/CommandSet.h"
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
    // Frames whose end has passed are captured (or dropped) before the mailbox is served, so their
    // answers go out in this tick.
    m_host.Commands().RunFrameClocks();
    // The fallback poll: a doorbell the host rang before the slot was ready, or an answer whose
    // delay has run out, is served within a tick.
    Serve();
}

void MainFirmware::OnDoorbell()
{
    Firmware::OnDoorbell();
    Serve();
}

void MainFirmware::OnWake()
{
    Serve();
}

void MainFirmware::Serve()
{
    // Answers the command set made between steps (a buffer filled by a test hook) join the FIFO
    // before the next command is taken, in the order they were made.
    for (const MailboxResponse& answer : m_host.Commands().TakeMadeAnswers())
        m_host.Mailbox().Post(answer);
    m_host.Mailbox().Serve(m_host);
}

} // namespace board
