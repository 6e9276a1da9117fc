// The board: its PCI declaration, the register file and its side effects, the paged window with
// the memory faults, warm reset, the release doorbell, and the DSP thread that boots the firmware
// and keeps it running on the common clock.
#include "board/CaptureBoard.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "DspWindow.h"
#include "RegisterRange.h"
#include "board/MailboxLayout.h"
#include "platform/Clock.h"
#include "platform/bus/Bus.h"

namespace board {

using platform::AccessWidth;
using platform::Clock;

namespace {

constexpr uint32_t WidthMask(uint32_t width)
{
    return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

int EmifIndex(uint32_t offset)
{
    const auto found = std::find(kEmifRegisters.begin(), kEmifRegisters.end(), offset);
    return found == kEmifRegisters.end() ? -1 : static_cast<int>(found - kEmifRegisters.begin());
}

constexpr uint32_t kAllEmifWritten = (1u << kEmifRegisters.size()) - 1;

// The configuration, refused (std::invalid_argument) before anything of the board is made.
BoardConfiguration Checked(BoardConfiguration configuration)
{
    configuration.EepromContents();
    return configuration;
}

} // namespace

CaptureBoard::CaptureBoard(platform::PciLocation location, BoardConfiguration configuration)
    : m_location(location),
      m_configuration(Checked(std::move(configuration))),
      m_line(std::make_shared<platform::InterruptLine>()),
      m_registerRange(std::make_unique<RegisterRange>(*this)),
      m_window(std::make_unique<DspWindow>(*this)),
      m_commands(m_memory, m_fpga, m_eeprom, platform::Bus::Instance().Dma(), m_configuration),
      m_thread([this](std::stop_token stop) { Run(stop); })
{
    const Eeprom::Contents words = m_configuration.EepromContents();
    for (uint32_t i = 0; i < Eeprom::kWordCount; ++i)
        m_eeprom.SetWord(i, words[i]);
    m_mailbox.SetWake([this] { WakeFirmware(); });
    m_commands.SetWake([this] { WakeFirmware(); });
    m_commands.Install(m_mailbox);
    // Whatever the service drops (boot, warm reset, the host's restart) takes the commands' state
    // with it: blocks, streams and buffers belong to the host of those exchanges.
    m_mailbox.SetRestartHandler([this] { m_commands.Restart(); });
}

CaptureBoard::~CaptureBoard()
{
    m_thread.request_stop();
    m_thread.join();
    m_line->Release();
}

platform::PciIdentity CaptureBoard::Identity() const
{
    platform::PciIdentity identity;
    identity.vendorId = kVendorId;
    identity.deviceId = kDeviceId;
    identity.subsystemVendorId = kVendorId;
    identity.subsystemId = m_configuration.subsystemId;
    identity.revision = 1;
    identity.classCode = kClassCode;
    return identity;
}

platform::PciLocation CaptureBoard::Location() const
{
    return m_location;
}

std::vector<platform::PciMemoryRange> CaptureBoard::MemoryRanges()
{
    return {
        platform::PciMemoryRange{kWindowSize, m_window.get(), "DSP window"},
        platform::PciMemoryRange{kRegisterRangeSize, m_registerRange.get(), "DSP registers"},
    };
}

std::shared_ptr<platform::InterruptLine> CaptureBoard::Interrupt()
{
    return m_line;
}

void CaptureBoard::OnPlugged(const platform::PciAssignment&)
{
    std::lock_guard lock(m_lock);
    m_plugged = true;
}

void CaptureBoard::OnUnplugged(platform::PciUnplug)
{
    std::lock_guard cpu(m_cpuLock);
    std::lock_guard lock(m_lock);
    HaltLocked();
    m_plugged = false;
}

platform::DeviceMemory& CaptureBoard::Window()
{
    return *m_window;
}

platform::DeviceMemory& CaptureBoard::Registers()
{
    return *m_registerRange;
}

// ---- access log ----

std::vector<AccessRecord> CaptureBoard::AccessLog() const { return m_log.Records(); }
void CaptureBoard::ClearAccessLog() { m_log.Clear(); }
void CaptureBoard::SetAccessLogEnabled(bool enabled) { m_log.SetEnabled(enabled); }
void CaptureBoard::SetAccessLogCapacity(size_t capacity) { m_log.SetCapacity(capacity); }

// ---- faults ----

void CaptureBoard::SetDspAbsent(bool absent)
{
    std::lock_guard lock(m_lock);
    m_absent = absent;
}

void CaptureBoard::SetNoBootInterrupt(bool on)
{
    std::lock_guard lock(m_lock);
    m_noBootInterrupt = on;
}

void CaptureBoard::SetStuckBits(uint32_t dspAddress, uint8_t mask, bool stuckHigh)
{
    std::lock_guard lock(m_lock);
    if (mask == 0)
        m_stuck.erase(dspAddress);
    else
        m_stuck[dspAddress] = StuckBits{mask, stuckHigh};
}

void CaptureBoard::ClearStuckBits()
{
    std::lock_guard lock(m_lock);
    m_stuck.clear();
}

void CaptureBoard::SetExternalMemoryBroken(bool broken)
{
    std::lock_guard lock(m_lock);
    m_externalBroken = broken;
}

void CaptureBoard::SetRegisterIgnoresWrites(std::optional<uint32_t> offset)
{
    std::lock_guard lock(m_lock);
    m_ignoreWrites = offset ? std::optional<uint32_t>(*offset & ~3u) : std::nullopt;
}

void CaptureBoard::SetStrictEmifCheck(bool strict)
{
    std::lock_guard lock(m_lock);
    m_strictEmif = strict;
}

void CaptureBoard::SetTickOnHeartbeatRead(bool on)
{
    std::lock_guard lock(m_lock);
    m_tickOnHeartbeatRead = on;
}

void CaptureBoard::SetBootOnRelease(bool on)
{
    std::lock_guard lock(m_lock);
    m_bootOnRelease = on;
}

// ---- backdoors ----

void CaptureBoard::ReadDspMemory(uint32_t address, void* data, size_t length) const
{
    m_memory.Read(address, data, length);
}

void CaptureBoard::WriteDspMemory(uint32_t address, const void* data, size_t length)
{
    m_memory.Write(address, data, length);
}

uint32_t CaptureBoard::ReadDspWord(uint32_t address) const
{
    return m_memory.Read32(address);
}

uint32_t CaptureBoard::RegisterValue(uint32_t offset) const
{
    std::lock_guard lock(m_lock);
    switch (offset) {
    case kDspControl: return m_dspControl;
    case kHostStatus: return m_hostStatus;
    case kHostToDspControl: return 0;
    case kPageRegister: return m_page;
    default: break;
    }
    const auto emif = m_emif.find(offset);
    return emif == m_emif.end() ? 0 : emif->second;
}

bool CaptureBoard::IsBooted() const
{
    std::lock_guard lock(m_lock);
    return m_running != Personality::None;
}

Personality CaptureBoard::CurrentPersonality() const
{
    std::lock_guard lock(m_lock);
    return m_running;
}

uint32_t CaptureBoard::Heartbeat() const
{
    return m_memory.Read32(kHeartbeatAddress);
}

bool CaptureBoard::ExternalMemoryReady() const
{
    std::lock_guard lock(m_lock);
    return ExternalMemoryReadyLocked();
}

uint64_t CaptureBoard::MailboxDoorbells() const
{
    std::lock_guard lock(m_lock);
    return m_mailboxDoorbells;
}

void CaptureBoard::RaiseHostInterrupt()
{
    std::lock_guard lock(m_lock);
    RaiseHostInterruptLocked();
}

void CaptureBoard::RaiseHostInterruptLocked()
{
    m_hostStatus |= kHostStatusInterrupt;
    m_log.Add({AccessKind::InterruptRaised, 0, 0, 0, 0});
    // A board without power drives no wire.
    if (m_plugged)
        m_line->Assert();
}

bool CaptureBoard::ExternalMemoryReadyLocked() const
{
    if (m_externalBroken)
        return false;
    if (m_strictEmif)
        return m_emifWrittenMask == kAllEmifWritten && m_sdctlToggled;
    return m_sdctlWrites > 0;
}

// ---- registers ----

uint32_t CaptureBoard::HostReadRegister(uint32_t offset, uint32_t width, uint32_t lane)
{
    std::lock_guard lock(m_lock);
    uint32_t value = WidthMask(width);
    if (!m_absent) {
        uint32_t whole = 0;
        switch (offset) {
        case kDspControl: whole = m_dspControl; break;
        case kHostStatus: whole = m_hostStatus; break;
        case kPageRegister: whole = m_page; break;
        default: {
            const auto emif = m_emif.find(offset);
            whole = emif == m_emif.end() ? 0 : emif->second;
        }
        }
        value = (whole >> (8 * lane)) & WidthMask(width);
    }
    m_log.Add({AccessKind::RegisterRead, offset + lane, width, value, 0});
    return value;
}

void CaptureBoard::HostWriteRegister(uint32_t offset, uint32_t width, uint32_t lane, uint32_t value)
{
    // A warm reset must wait for the firmware step in flight, so that register takes the DSP lock
    // first, in the one order both locks are ever taken.
    std::unique_lock cpu(m_cpuLock, std::defer_lock);
    if (offset == kHostToDspControl)
        cpu.lock();
    std::unique_lock lock(m_lock);
    m_log.Add({AccessKind::RegisterWrite, offset + lane, width, value, 0});
    if (m_absent || (m_ignoreWrites && *m_ignoreWrites == offset))
        return;
    const uint32_t mask = WidthMask(width) << (8 * lane);
    const uint32_t bits = (value << (8 * lane)) & mask;
    auto merge = [&](uint32_t old) { return (old & ~mask) | bits; };

    switch (offset) {
    case kDspControl: {
        const uint32_t next = merge(m_dspControl);
        m_dspControl = next & ~kDspControlRaiseInterrupt;
        if (next & kDspControlRaiseInterrupt)
            RaiseHostInterruptLocked();
        return;
    }
    case kHostStatus:
        m_hostStatus &= ~kHostStatusInterrupt;
        m_line->Release();
        return;
    case kHostToDspControl:
        if (bits & kHostToDspWarmReset)
            WarmReset();
        else if (bits & kHostToDspDoorbell)
            Doorbell(lock);
        return;
    case kPageRegister:
        m_page = merge(m_page) & kPageMask;
        m_log.Add({AccessKind::PageSwitch, 0, 0, m_page, 0});
        return;
    default:
        break;
    }
    const int emif = EmifIndex(offset);
    if (emif < 0)
        return; // no register there
    uint32_t& stored = m_emif[offset];
    const uint32_t next = merge(stored);
    if (offset == kEmifSdctl) {
        if (m_sdctlWrites > 0 && ((stored ^ next) & kSdctlInitBit))
            m_sdctlToggled = true;
        ++m_sdctlWrites;
    }
    stored = next;
    m_emifWrittenMask |= 1u << emif;
}

void CaptureBoard::WarmReset()
{
    m_log.Add({AccessKind::WarmReset, 0, 0, 0, 0});
    HaltLocked();
}

void CaptureBoard::HaltLocked()
{
    m_firmware.reset();
    m_mailbox.Restart();
    m_firmwareWake = false;
    m_running = Personality::None;
    m_beatDone.notify_all();
    m_pendingBoot.reset();
    m_pendingDoorbells = 0;
    m_hostStatus = 0;
    m_line->Release();
    // The memory interface forgets its set-up; the register values stay until the host rewrites them.
    m_emifWrittenMask = 0;
    m_sdctlWrites = 0;
    m_sdctlToggled = false;
    ++m_generation;
    m_changed = true;
    m_wake.notify_all();
}

void CaptureBoard::Doorbell(std::unique_lock<std::mutex>& lock)
{
    if (m_running != Personality::None) {
        ++m_pendingDoorbells;
        ++m_mailboxDoorbells;
        m_log.Add({AccessKind::Doorbell, 0, 0, 0, 0});
        m_changed = true;
        m_wake.notify_all();
        return;
    }
    bool release = false;
    if ((m_dspControl & kDspControlRunEnable) && !m_pendingBoot && !m_noBootInterrupt) {
        uint8_t bytes[ImageHeader::kSize];
        m_memory.Read(0, bytes, sizeof bytes);
        if (const auto header = ImageHeader::Decode(bytes)) {
            m_pendingBoot = header;
            // Booted here, the DSP thread is not to boot it: the boot stays pending, with no time.
            m_bootAt = m_bootOnRelease ? Clock::kForever : Clock::DeadlineAfter(Firmware::kBootDelay);
            release = true;
            m_changed = true;
            m_wake.notify_all();
        }
    }
    m_log.Add({AccessKind::Doorbell, 0, 0, release ? 1u : 0u, 0});
    if (!release || !m_bootOnRelease)
        return;
    // The boot as the DSP thread runs it, on this thread: the caller holds the DSP lock, so no reset,
    // power loss or other firmware step comes in between; the register lock is let go while the
    // firmware boots, as on the DSP thread, since the firmware reaches the board through it.
    Firmware* firmware = BeginBootLocked();
    lock.unlock();
    firmware->Boot();
    lock.lock();
    EndBootLocked();
    m_changed = true; // the DSP thread takes up the heartbeat's schedule
    m_wake.notify_all();
}

// The first half of a boot, under the DSP lock and the register lock: the firmware object and the
// Boot record. The caller runs the firmware's Boot with the register lock released.
Firmware* CaptureBoard::BeginBootLocked()
{
    m_firmware = Firmware::Make(static_cast<FirmwareHost&>(*this), *m_pendingBoot);
    m_log.Add({AccessKind::Boot, 0, 0, static_cast<uint32_t>(m_pendingBoot->personality), 0});
    return m_firmware.get();
}

// The boot is done: the DSP counts as running and its heartbeat starts.
void CaptureBoard::EndBootLocked()
{
    m_running = m_pendingBoot->personality;
    m_pendingBoot.reset();
    m_nextBeat = Clock::DeadlineAfter(Firmware::kHeartbeatPeriod);
}

void CaptureBoard::WakeFirmware()
{
    std::lock_guard lock(m_lock);
    if (m_running == Personality::None)
        return; // a booting firmware serves its mailbox from the first tick on
    m_firmwareWake = true;
    m_changed = true;
    m_wake.notify_all();
}

// ---- window ----

void CaptureBoard::HostReadWindow(uint32_t offset, AccessWidth width, void* data, size_t count)
{
    const size_t bytes = platform::WidthBytes(width) * count;
    std::unique_lock lock(m_lock);
    const uint32_t address = (m_page << kPageShift) | (offset & kWindowOffsetMask);
    m_log.Add({AccessKind::WindowRead, address, static_cast<uint32_t>(platform::WidthBytes(width)), 0, bytes});
    auto* out = static_cast<uint8_t*>(data);
    if (m_absent) {
        std::memset(out, 0xFF, bytes);
        return;
    }
    if (address >= kExternalMemoryBase && !ExternalMemoryReadyLocked()) {
        std::memset(out, 0, bytes);
        return;
    }
    m_memory.Read(address, out, bytes);
    ApplyStuckBitsLocked(address, out, bytes);
    if (m_tickOnHeartbeatRead && m_running != Personality::None && !m_pendingBoot && address <= kHeartbeatAddress &&
        kHeartbeatAddress - address < bytes) {
        // The tick is due now; the read returns once the DSP thread has run it (or the DSP stopped).
        // A tick already under way may have written the heartbeat before this read: only one the
        // DSP thread decides on after this request counts.
        const uint64_t ticket = ++m_beatRequests;
        const uint64_t generation = m_generation;
        m_nextBeat = Clock::Now();
        m_changed = true;
        m_wake.notify_all();
        m_beatDone.wait(lock, [&] {
            return m_beatsServed >= ticket || m_generation != generation || m_running == Personality::None;
        });
    }
}

void CaptureBoard::ApplyStuckBitsLocked(uint32_t address, uint8_t* data, size_t length) const
{
    for (auto it = m_stuck.lower_bound(address); it != m_stuck.end() && it->first - address < length; ++it) {
        uint8_t& byte = data[it->first - address];
        byte = it->second.high ? (byte | it->second.mask) : (byte & ~it->second.mask);
    }
}

void CaptureBoard::ReadAsDsp(uint32_t address, void* data, size_t length)
{
    auto* out = static_cast<uint8_t*>(data);
    std::lock_guard lock(m_lock);
    if (address >= kExternalMemoryBase && m_externalBroken) {
        std::memset(out, 0, length);
        return;
    }
    m_memory.Read(address, out, length);
    ApplyStuckBitsLocked(address, out, length);
}

void CaptureBoard::WriteAsDsp(uint32_t address, const void* data, size_t length)
{
    std::lock_guard lock(m_lock);
    if (address >= kExternalMemoryBase && m_externalBroken)
        return;
    m_memory.Write(address, data, length);
}

platform::DmaAddressMap& CaptureBoard::Dma()
{
    return platform::Bus::Instance().Dma();
}

void CaptureBoard::HostWriteWindow(uint32_t offset, AccessWidth width, const void* data, size_t count)
{
    const size_t bytes = platform::WidthBytes(width) * count;
    std::shared_ptr<const WindowWriteHook> hook;
    uint32_t address = 0;
    {
        std::lock_guard lock(m_lock);
        address = (m_page << kPageShift) | (offset & kWindowOffsetMask);
        m_log.Add(
            {AccessKind::WindowWrite, address, static_cast<uint32_t>(platform::WidthBytes(width)), 0, bytes});
        hook = m_windowWriteHook;
        if (m_absent)
            return;
        // Unless the memory interface is not set up: the write to external memory goes nowhere.
        if (address < kExternalMemoryBase || ExternalMemoryReadyLocked())
            m_memory.Write(address, data, bytes);
    }
    if (hook)
        (*hook)(address, bytes);
}

void CaptureBoard::SetHostWindowWriteHook(WindowWriteHook hook)
{
    std::lock_guard lock(m_lock);
    m_windowWriteHook = hook ? std::make_shared<const WindowWriteHook>(std::move(hook)) : nullptr;
}

void CaptureBoard::StepMailbox()
{
    std::lock_guard cpu(m_cpuLock);
    {
        std::lock_guard lock(m_lock);
        if (m_running != Personality::MainFirmware)
            return;
    }
    for (const MailboxResponse& answer : m_commands.TakeMadeAnswers())
        m_mailbox.Post(answer);
    m_mailbox.Serve(*this, true);
}

// ---- the DSP thread ----

void CaptureBoard::Run(std::stop_token stop)
{
    // Registered before the lock is taken: a stop already requested runs the callback at once.
    std::stop_callback wake(stop, [this] {
        std::lock_guard lock(m_lock);
        m_wake.notify_all();
    });
    std::unique_lock lock(m_lock);
    while (!stop.stop_requested()) {
        int64_t deadline = Clock::kForever;
        if (m_pendingBoot)
            deadline = m_bootAt;
        else if (m_running != Personality::None)
            deadline = m_nextBeat;
        if (m_pendingDoorbells == 0)
            Clock::WaitUntil(lock, m_wake, deadline, [&] { return stop.stop_requested() || m_changed; });
        m_changed = false;
        if (stop.stop_requested())
            break;

        const int64_t now = Clock::Now();
        const bool boot = m_pendingBoot && now >= m_bootAt;
        const bool beat = !boot && m_running != Personality::None && now >= m_nextBeat;
        const uint64_t requests = m_beatRequests; // what this step's tick serves
        const uint64_t doorbells = boot ? 0 : std::exchange(m_pendingDoorbells, 0);
        const bool wake = !boot && std::exchange(m_firmwareWake, false);
        if (!boot && !beat && doorbells == 0 && !wake)
            continue;

        // Take the DSP lock in order; a reset that came in between makes this step void.
        const uint64_t generation = m_generation;
        lock.unlock();
        std::unique_lock cpu(m_cpuLock);
        lock.lock();
        if (generation != m_generation)
            continue;
        if (boot) {
            // The boot stays pending (doorbells meanwhile are not releases) until the firmware has
            // set up its mailbox and raised its interrupt; only then does the DSP count as running.
            BeginBootLocked();
        }
        if (beat) {
            // A late tick is not made up for: the heartbeat only has to keep moving.
            m_nextBeat += Firmware::kHeartbeatPeriod;
            if (m_nextBeat <= now)
                m_nextBeat = now + Firmware::kHeartbeatPeriod;
        }
        Firmware* firmware = m_firmware.get();
        lock.unlock();
        if (boot)
            firmware->Boot();
        if (beat)
            firmware->Tick();
        for (uint64_t i = 0; i < doorbells; ++i)
            firmware->OnDoorbell();
        if (wake)
            firmware->OnWake();
        lock.lock();
        if (boot)
            EndBootLocked();
        if (beat) {
            m_beatsServed = requests;
            m_beatDone.notify_all();
        }
        cpu.unlock();
    }
}

} // namespace board
