// The simulated capture board as one PCI function: memory resource 0 the 4 MB DSP window, memory
// resource 1 the register range, one level-triggered shared interrupt line. The DSP runs on the
// board's own thread on the common clock; the host reaches the board only through the bus (the two
// DeviceMemory handlers and the line). Tests also get backdoors (DSP memory, registers, state),
// the access log and fault injection, all thread-safe.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "board/AccessLog.h"
#include "board/BoardConfiguration.h"
#include "board/CommandSet.h"
#include "board/DspMemory.h"
#include "board/Eeprom.h"
#include "board/Firmware.h"
#include "board/FpgaModel.h"
#include "board/MailboxService.h"
#include "board/HostPortRegisters.h"
#include "board/PciTester.h"
#include "platform/bus/PciFunction.h"

namespace board {

class RegisterRange;
class DspWindow;

class CaptureBoard : public platform::PciFunction, private FirmwareHost {
public:
    explicit CaptureBoard(platform::PciLocation location = {}, BoardConfiguration configuration = {});
    ~CaptureBoard() override;
    CaptureBoard(const CaptureBoard&) = delete;
    CaptureBoard& operator=(const CaptureBoard&) = delete;

    // platform::PciFunction
    platform::PciIdentity Identity() const override;
    platform::PciLocation Location() const override;
    std::vector<platform::PciMemoryRange> MemoryRanges() override;
    std::shared_ptr<platform::InterruptLine> Interrupt() override;
    void OnPlugged(const platform::PciAssignment& assignment) override;
    // The board loses power: the DSP halts and the line is released; memory and registers stay.
    void OnUnplugged(platform::PciUnplug how) override;

    // The two ranges' handlers, for tests that drive the board without a bus.
    platform::DeviceMemory& Window();
    platform::DeviceMemory& Registers();

    // Access log.
    std::vector<AccessRecord> AccessLog() const;
    void ClearAccessLog();
    void SetAccessLogEnabled(bool enabled);
    void SetAccessLogCapacity(size_t capacity);

    // Fault injection.
    // The board answers nothing: registers and window read all ones, writes are ignored.
    void SetDspAbsent(bool absent);
    // A valid image never boots, so the boot interrupt never comes.
    void SetNoBootInterrupt(bool on);
    // Bits `mask` of the byte at `dspAddress` read as `stuckHigh` (1s) or 0s, whatever is written.
    void SetStuckBits(uint32_t dspAddress, uint8_t mask, bool stuckHigh);
    void ClearStuckBits();
    // External memory (kExternalMemoryBase and up) loses every write and reads 0.
    void SetExternalMemoryBroken(bool broken);
    // Host writes to the 32-bit register at `offset` (any byte of it) are ignored; none to clear.
    void SetRegisterIgnoresWrites(std::optional<uint32_t> offset);
    // Strict: external memory works only after every EMIF register was written since the last
    // reset and SDCTL's init bit toggled; otherwise one SDCTL write is enough.
    void SetStrictEmifCheck(bool strict);
    // Stepping on demand: while on, every host read of the heartbeat word makes the running DSP
    // tick once before the read returns (the board's thread runs the tick; the read waits for it),
    // so a host that samples the heartbeat twice sees it move however late the threads run.
    void SetTickOnHeartbeatRead(bool on);
    // Stepping on demand: while on, a release doorbell boots the DSP on the writing thread, before
    // the register write returns, instead of on the board's thread one boot delay later. The boot
    // is the same (its Boot record after the doorbell's, the firmware's mailbox, the heartbeat
    // from then on, the boot interrupt); a host that waits for the boot interrupt after the release
    // finds the board booted. Doorbells that are no release behave as without it. Off by default.
    void SetBootOnRelease(bool on);

    // Backdoors for tests: no log, no faults.
    void ReadDspMemory(uint32_t address, void* data, size_t length) const;
    void WriteDspMemory(uint32_t address, const void* data, size_t length);
    uint32_t ReadDspWord(uint32_t address) const;
    uint32_t RegisterValue(uint32_t offset) const;
    bool IsBooted() const;
    Personality CurrentPersonality() const;
    uint32_t Heartbeat() const;
    bool ExternalMemoryReady() const;
    uint64_t MailboxDoorbells() const;
    void RaiseHostInterrupt() override;
    // One pass of the main firmware's mailbox service on the caller's thread, also while the
    // service is stepped by the test (MailboxService::SetSteppedByTest); nothing when the main
    // firmware does not run. Not from within a handler of the board.
    void StepMailbox();
    // Called after every host write through the window, on the writer's thread and with none of
    // the board's locks held, with the write's DSP address and length (none: no hook). A test
    // uses it to step the firmware between two of the host's writes.
    using WindowWriteHook = std::function<void(uint32_t dspAddress, size_t bytes)>;
    void SetHostWindowWriteHook(WindowWriteHook hook);
    // The main firmware's mailbox service: its command log, counters and test hooks (held,
    // dropped, delayed and failing answers, posted messages, a hung DSP). See MailboxService.h.
    MailboxService& Mailbox() override { return m_mailbox; }
    // The main firmware's command set: DSP memory blocks, streams and queued buffers, stored
    // values, signature, signal flag and the fill-now hook. See CommandSet.h.
    CommandSet& Commands() override { return m_commands; }
    // The FPGA (configuration, registers and shadows) and the EEPROM, as the commands leave them.
    FpgaModel& Fpga() { return m_fpga; }
    board::Eeprom& Eeprom() { return m_eeprom; }
    // What the board was built with.
    const BoardConfiguration& Configuration() const override { return m_configuration; }
    // The PCI tester's faults: corrupted host words, aborted transfers.
    PciTesterHooks& PciHooks() override { return m_pciHooks; }

    // Register range side (called by the range handler with the register's dword-aligned offset).
    uint32_t HostReadRegister(uint32_t offset, uint32_t width, uint32_t lane);
    void HostWriteRegister(uint32_t offset, uint32_t width, uint32_t lane, uint32_t value);
    // Window side (offset within the window).
    void HostReadWindow(uint32_t offset, platform::AccessWidth width, void* data, size_t count);
    void HostWriteWindow(uint32_t offset, platform::AccessWidth width, const void* data, size_t count);

private:
    struct StuckBits {
        uint8_t mask = 0;
        bool high = false;
    };

    DspMemory& Memory() override { return m_memory; }
    void ReadAsDsp(uint32_t address, void* data, size_t length) override;
    void WriteAsDsp(uint32_t address, const void* data, size_t length) override;
    platform::DmaAddressMap& Dma() override;
    void ApplyStuckBitsLocked(uint32_t address, uint8_t* data, size_t length) const;
    void WriteRegisterLocked(uint32_t offset, uint32_t value, uint32_t mask);
    void WarmReset();
    void Doorbell(std::unique_lock<std::mutex>& lock);
    Firmware* BeginBootLocked();
    void EndBootLocked();
    void WakeFirmware();
    void HaltLocked();
    void RaiseHostInterruptLocked();
    bool ExternalMemoryReadyLocked() const;
    void Run(std::stop_token stop);

    const platform::PciLocation m_location;
    const BoardConfiguration m_configuration;
    std::shared_ptr<platform::InterruptLine> m_line;
    std::unique_ptr<RegisterRange> m_registerRange;
    std::unique_ptr<DspWindow> m_window;
    DspMemory m_memory;
    board::AccessLog m_log;
    MailboxService m_mailbox;
    FpgaModel m_fpga;
    board::Eeprom m_eeprom;
    CommandSet m_commands;
    PciTesterHooks m_pciHooks;

    // Held by the DSP thread while the firmware runs a step, and by a warm reset, so that a reset
    // waits for the step in flight and nothing of the firmware happens after it. Taken before m_lock.
    mutable std::mutex m_cpuLock;
    // Registers, DSP state and faults.
    mutable std::mutex m_lock;
    std::condition_variable_any m_wake;
    std::map<uint32_t, uint32_t> m_emif;
    uint32_t m_dspControl = 0;
    uint32_t m_hostStatus = 0;
    uint32_t m_page = 0;
    uint32_t m_emifWrittenMask = 0; // one bit per kEmifRegisters entry since the last reset
    uint32_t m_sdctlWrites = 0;
    bool m_sdctlToggled = false;
    bool m_plugged = true;
    std::unique_ptr<Firmware> m_firmware;   // touched under m_cpuLock
    std::optional<ImageHeader> m_pendingBoot;
    int64_t m_bootAt = 0;
    int64_t m_nextBeat = 0;
    uint64_t m_pendingDoorbells = 0;
    uint64_t m_mailboxDoorbells = 0;
    bool m_firmwareWake = false; // a mailbox hook has work for the running firmware
    uint64_t m_generation = 0; // advanced by every reset and power loss
    uint64_t m_beatRequests = 0; // heartbeat reads that asked for a tick
    uint64_t m_beatsServed = 0;  // the requests the last tick begun after them has served
    bool m_tickOnHeartbeatRead = false;
    bool m_bootOnRelease = false;
    std::condition_variable_any m_beatDone; // a tick ran, or the DSP stopped
    bool m_changed = false;    // wakes the DSP thread to look at its schedule again
    Personality m_running = Personality::None;

    bool m_absent = false;
    bool m_noBootInterrupt = false;
    bool m_externalBroken = false;
    bool m_strictEmif = false;
    std::optional<uint32_t> m_ignoreWrites;
    std::shared_ptr<const WindowWriteHook> m_windowWriteHook;
    std::map<uint32_t, StuckBits> m_stuck;

    std::jthread m_thread; // last: started after everything it uses exists
};

} // namespace board
