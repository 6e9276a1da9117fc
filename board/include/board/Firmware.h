// The program the board's DSP runs once it has booted a valid image: one object per boot, made from
// the image header's personality, dropped at warm reset. All its calls come from the board's DSP
// thread, one at a time. Every personality sets up the mailbox and announces itself with the boot
// interrupt; the main firmware (MainFirmware) keeps the heartbeat, serves the mailbox and runs the
// frame clocks; the testers (MemoryTester, PciTester) run their diagnostics in their block.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "board/ImageHeader.h"

namespace platform {
class DmaAddressMap;
}

namespace board {

struct BoardConfiguration;
class CommandSet;
class DspMemory;
class MailboxService;
class PciTesterHooks;

// What the firmware may do to the board beyond its own memory.
class FirmwareHost {
public:
    virtual ~FirmwareHost() = default;
    virtual DspMemory& Memory() = 0;
    // Sets host status bit 0 and asserts the interrupt line.
    virtual void RaiseHostInterrupt() = 0;
    // The board's mailbox service (it outlives every boot: its test settings and log stay).
    virtual MailboxService& Mailbox() = 0;
    // The main firmware's command set (it too outlives every boot; its state is dropped at each).
    virtual CommandSet& Commands() = 0;
    virtual const BoardConfiguration& Configuration() const = 0;
    // DSP memory as the DSP's own accesses see it, with the board's memory faults (stuck bits,
    // broken external memory).
    virtual void ReadAsDsp(uint32_t address, void* data, size_t length) = 0;
    virtual void WriteAsDsp(uint32_t address, const void* data, size_t length) = 0;
    // Host memory by bus address (the bus's DMA map).
    virtual platform::DmaAddressMap& Dma() = 0;
    // The PCI tester's fault hooks (they outlive every boot).
    virtual PciTesterHooks& PciHooks() = 0;
};

class Firmware {
public:
    // Simulated delay from the release doorbell to the boot, and the heartbeat period.
    static constexpr int64_t kBootDelay = 10'000;       // 1 ms in 100-ns units
    static constexpr int64_t kHeartbeatPeriod = 10'000; // 1 ms

    Firmware(FirmwareHost& host, const ImageHeader& header);
    // The firmware object of the header's personality.
    static std::unique_ptr<Firmware> Make(FirmwareHost& host, const ImageHeader& header);
    virtual ~Firmware() = default;

    Personality personality() const { return m_header.personality; }
    uint32_t version() const { return m_header.version; }

    // Initialises the mailbox and raises the boot interrupt.
    virtual void Boot();
    // Advances the heartbeat word; called every kHeartbeatPeriod.
    virtual void Tick();
    // The host rang the doorbell while this firmware runs.
    virtual void OnDoorbell();
    // Something on the board (a test hook) has work for the firmware between doorbells and ticks.
    virtual void OnWake() {}

    uint32_t heartbeat() const { return m_heartbeat; }
    uint64_t doorbells() const { return m_doorbells; }

protected:
    FirmwareHost& m_host;
    ImageHeader m_header;
    uint32_t m_heartbeat = 0;
    uint64_t m_doorbells = 0;
};

} // namespace board
