// The main firmware's personality: everything every personality does, plus the mailbox service,
// served on the doorbell, on every heartbeat tick (the fallback poll) and on a wake-up, and the frame
// clocks of the command set, run at every tick.
#pragma once
#include "board/Firmware.h"

namespace board {

class MainFirmware final : public Firmware {
public:
    MainFirmware(FirmwareHost& host, const ImageHeader& header);

    void Boot() override;
    void Tick() override;
    void OnDoorbell() override;
    void OnWake() override;

private:
    void Serve();
};

} // namespace board
