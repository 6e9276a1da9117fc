// The simulated board on the process's bus under a loaded driver, with one Device and its protocol
// manager initialized from raw and translated resource lists, for the host-port and start-up tests.
// Also: a peer into the manager's interrupt side, the access-log helpers and the board's images.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DriverTestSupport.h"
#include "TraceTestSupport.h"
#include "board/CaptureBoard.h"
#include "board/HostPortRegisters.h"
#include "board/MailboxLayout.h"
#include "board/StandardImages.h"
#include "commandhandler.h"
#include "device.h"
#include "km/kernel.h"
#include "platform/Clock.h"
#include "platform/bus/Bus.h"
#include "standin/debugger.h"
#include "tidewellprotocolmanager.h"

// How much faster than real time the clock runs while a board test starts its DSP: the start's
// pauses pass in half the time, while its waits for the boot interrupt (2 s) and for command
// answers (4 s) leave the interrupt and DPC threads a second or more of real time on a loaded machine.
inline constexpr double kBoardClockSpeed = 2.0;

class TidewellProtocolManagerTestPeer {
public:
    static KDPC* Dpc(TidewellProtocolManager* m, ULONG i) { return &m->m_dpcs[i]; }
    static PKEVENT InterruptEvent(TidewellProtocolManager* m) { return &m->m_interruptEvent; }
    static PKEVENT CommandWakeEvent(TidewellProtocolManager* m) { return &m->m_commandWakeEvent; }
    static void SetForwarding(TidewellProtocolManager* m, bool on) { InterlockedExchange(&m->m_interruptForwarding, on); }
    // Puts an answered record on the response list, as the command thread does, for a manager
    // whose threads do not run.
    static void AppendResponse(TidewellProtocolManager* m, CommandHandler* handler)
    {
        handler->Exchange().Answer();
        m->m_responses.InsertTail(handler);
    }
    // Returns once a call of the interrupt routine in progress has returned (it runs under the
    // interrupt's spin lock).
    static void SyncWithInterruptRoutine(TidewellProtocolManager* m)
    {
        KeSynchronizeExecution(m->m_interrupt, [](PVOID) -> BOOLEAN { return TRUE; }, nullptr);
    }
    // Records queued and not yet taken into the mailbox.
    static ULONG PendingCount(TidewellProtocolManager* m)
    {
        KPLXFastStackLock pending(&m->m_pendingLock, m, "TidewellProtocolManagerTestPeer::PendingCount", __LINE__);
        return m->m_pendingCommands.Count();
    }
};

namespace dsptest {

using board::AccessKind;
using board::AccessRecord;
using Peer = TidewellProtocolManagerTestPeer;

inline constexpr uint64_t kWindowBase = 0xE8000000;
inline constexpr uint64_t kRegisterBase = 0xE8800000;
inline constexpr ULONG kVector = 0x71;
inline constexpr ULONG kLevel = 7;
inline constexpr NTSTATUS kInvalidImage = STATUS_INVALID_IMAGE_FORMAT;

// One full descriptor with the given partial descriptors, laid out as the PnP manager does.
class ResourceListBuilder {
public:
    explicit ResourceListBuilder(const std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>& partials)
        : bytes_((sizeof(CM_RESOURCE_LIST) + partials.size() * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR)) / 8 + 1)
    {
        auto* list = Get();
        list->Count = 1;
        list->List[0].InterfaceType = PCIBus;
        list->List[0].PartialResourceList.Version = 1;
        list->List[0].PartialResourceList.Revision = 1;
        list->List[0].PartialResourceList.Count = static_cast<ULONG>(partials.size());
        std::memcpy(list->List[0].PartialResourceList.PartialDescriptors, partials.data(),
                    partials.size() * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR));
    }
    PCM_RESOURCE_LIST Get() { return reinterpret_cast<PCM_RESOURCE_LIST>(bytes_.data()); }

private:
    std::vector<uint64_t> bytes_;
};

inline CM_PARTIAL_RESOURCE_DESCRIPTOR MemoryDescriptor(uint64_t start, ULONG length)
{
    CM_PARTIAL_RESOURCE_DESCRIPTOR d{};
    d.Type = CmResourceTypeMemory;
    d.ShareDisposition = CmResourceShareDeviceExclusive;
    d.u.Memory.Start.QuadPart = static_cast<LONGLONG>(start);
    d.u.Memory.Length = length;
    return d;
}

inline CM_PARTIAL_RESOURCE_DESCRIPTOR InterruptDescriptor(ULONG level, ULONG vector, KAFFINITY affinity)
{
    CM_PARTIAL_RESOURCE_DESCRIPTOR d{};
    d.Type = CmResourceTypeInterrupt;
    d.ShareDisposition = CmResourceShareShared;
    d.Flags = CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE;
    d.u.Interrupt.Level = level;
    d.u.Interrupt.Vector = vector;
    d.u.Interrupt.Affinity = affinity;
    return d;
}

// The board's standard images as the host loads them.
inline std::vector<UCHAR> ImageBytes(board::Personality personality)
{
    const auto bytes = board::StandardImages::DspImage(personality).Serialize();
    return std::vector<UCHAR>(bytes.begin(), bytes.end());
}

// A bootable image of two sections: the firmware's header and code at DSP 0, and `dataBytes` bytes
// of data at the firmware's data address.
inline board::FirmwareImage TwoSectionImage(size_t dataBytes = 0x123)
{
    const board::FirmwareImage firmware = board::StandardImages::DspImage(board::Personality::MainFirmware);
    board::FirmwareImage image;
    image.AddSection(firmware.Sections()[0].address, firmware.Sections()[0].bytes);
    std::vector<uint8_t> data(dataBytes);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(0x5A ^ i);
    image.AddSection(board::StandardImages::kDataSectionAddress, data);
    return image;
}

inline std::vector<UCHAR> Bytes(const board::FirmwareImage& image)
{
    const auto bytes = image.Serialize();
    return std::vector<UCHAR>(bytes.begin(), bytes.end());
}

// Consecutive window writes (or reads) that continue each other become one record, so sequences
// do not depend on how a copy is cut into runs.
inline std::vector<AccessRecord> Coalesced(const std::vector<AccessRecord>& log)
{
    std::vector<AccessRecord> out;
    for (AccessRecord r : log) {
        const bool window = r.kind == AccessKind::WindowRead || r.kind == AccessKind::WindowWrite;
        if (window) {
            r.width = 0;
            if (!out.empty() && out.back().kind == r.kind && out.back().address + out.back().count == r.address) {
                out.back().count += r.count;
                continue;
            }
        }
        out.push_back(r);
    }
    return out;
}

inline std::vector<AccessRecord> Without(const std::vector<AccessRecord>& log, std::initializer_list<AccessKind> kinds)
{
    std::vector<AccessRecord> out;
    for (const AccessRecord& r : log) {
        bool drop = false;
        for (AccessKind k : kinds)
            drop = drop || r.kind == k;
        if (!drop)
            out.push_back(r);
    }
    return out;
}

inline size_t CountOf(const std::vector<AccessRecord>& log, AccessKind kind, uint32_t address = ~0u, uint32_t value = ~0u)
{
    size_t n = 0;
    for (const AccessRecord& r : log)
        if (r.kind == kind && (address == ~0u || r.address == address) && (value == ~0u || r.value == value))
            ++n;
    return n;
}

inline std::string Describe(const std::vector<AccessRecord>& log)
{
    std::string text;
    for (const AccessRecord& r : log)
        text += board::Describe(r) + "\n";
    return text;
}

inline AccessRecord RegWrite(uint32_t offset, uint32_t value) { return {AccessKind::RegisterWrite, offset, 4, value, 0}; }
inline AccessRecord Page(uint32_t value) { return {AccessKind::PageSwitch, 0, 0, value, 0}; }
inline AccessRecord WinWrite(uint32_t address, uint64_t bytes) { return {AccessKind::WindowWrite, address, 0, 0, bytes}; }
inline AccessRecord WinRead(uint32_t address, uint64_t bytes) { return {AccessKind::WindowRead, address, 0, 0, bytes}; }
// A page register write as the board logs it: the write, then the switch.
inline void AppendPage(std::vector<AccessRecord>& seq, uint32_t page)
{
    seq.push_back(RegWrite(board::kPageRegister, page));
    seq.push_back(Page(page));
}

class DspBoardTest : public drivertest::DriverTest {
protected:
    // Parameters of the driver's "Parameters" key for this test (lines of .reg values).
    virtual std::string Parameters() const
    {
        return "\"HardwareInstalled\"=dword:00000001\n\"ResetDSPOnStartup\"=dword:00000001\n"
               "\"TraceHighs\"=dword:00000001\n\"TraceErrors\"=dword:00000001\n";
    }
    virtual bool InitializeManager() const { return true; }
    // The device under test; a fixture may give a double that records what the device does.
    virtual Device* MakeDevice() { return new Device(driver()); }

    void SetUp() override
    {
        DriverTest::SetUp();
        ImportService(Parameters());
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        // The start-up's one-second pauses and two-second waits, compressed.
        platform::Clock::SetSpeedFactor(kBoardClockSpeed);
        standin::DebugOutputClear();

        board_ = std::make_unique<board::CaptureBoard>(platform::PciLocation{0, 5, 0});
        // A release boots the DSP before the doorbell's write returns: the start's wait for the
        // boot interrupt never waits for the board's thread, however late it runs.
        board_->SetBootOnRelease(true);
        auto ranges = board_->MemoryRanges();
        auto& memory = platform::Bus::Instance().Memory();
        ASSERT_EQ(memory.RegisterRange(kWindowBase, ranges[0].size, *ranges[0].handler, ranges[0].name),
                  platform::BusStatus::Ok);
        ASSERT_EQ(memory.RegisterRange(kRegisterBase, ranges[1].size, *ranges[1].handler, ranges[1].name),
                  platform::BusStatus::Ok);
        ASSERT_EQ(platform::Bus::Instance().Interrupts().Register(kVector, board_->Interrupt()),
                  platform::BusStatus::Ok);
        registered_ = true;

        device_ = MakeDevice();
        device_->SetInstanceId(1);
        manager_ = device_->GetProtocolManager();
        ASSERT_NE(manager_, nullptr);
        if (InitializeManager()) {
            ASSERT_EQ(manager_->Initialize(RawResources().Get(), TranslatedResources().Get(), Settings()),
                      STATUS_SUCCESS);
        }
        board_->ClearAccessLog();
    }

    void TearDown() override
    {
        delete device_; // the manager goes with it, invalidated
        device_ = nullptr;
        if (registered_) {
            auto& bus = platform::Bus::Instance();
            bus.Interrupts().Unregister(kVector);
            bus.Memory().UnregisterRange(kWindowBase);
            bus.Memory().UnregisterRange(kRegisterBase);
        }
        board_.reset();
        platform::Clock::SetSpeedFactor(1.0);
        DriverTest::TearDown();
    }

    static ResourceListBuilder RawResources()
    {
        return ResourceListBuilder({MemoryDescriptor(kWindowBase, board::kWindowSize),
                                    MemoryDescriptor(kRegisterBase, board::kRegisterRangeSize),
                                    InterruptDescriptor(11, 11, 1)});
    }
    static ResourceListBuilder TranslatedResources()
    {
        return ResourceListBuilder({MemoryDescriptor(kWindowBase, board::kWindowSize),
                                    MemoryDescriptor(kRegisterBase, board::kRegisterRangeSize),
                                    InterruptDescriptor(kLevel, kVector, 1)});
    }

    // What the device hands its manager at the start: the loaded driver's settings.
    virtual DspHostSettings Settings() const { return DspHostSettings::FromDriver(*driver()); }

    std::vector<AccessRecord> Log() const { return board_->AccessLog(); }

    // Loads `personality` through the board's backdoor and releases it, as an earlier driver load
    // would have left it running.
    void BootBehindTheDriversBack(board::Personality personality)
    {
        const board::FirmwareImage image = board::StandardImages::DspImage(personality);
        for (const auto& section : image.Sections())
            board_->WriteDspMemory(section.address, section.bytes.data(), section.bytes.size());
        auto& registers = board_->Registers();
        registers.Write32(board::kDspControl, registers.Read32(board::kDspControl) | board::kDspControlRunEnable);
        registers.Write32(board::kPageRegister, 0);
        registers.Write32(board::kHostToDspControl, board::kHostToDspDoorbell);
        ASSERT_TRUE(board_->IsBooted()); // booted on release
    }

    static size_t DebugLinesWith(const std::string& needle)
    {
        size_t n = 0;
        for (const auto& line : standin::DebugOutput())
            n += line.find(needle) != std::string::npos;
        return n;
    }

    std::unique_ptr<board::CaptureBoard> board_;
    Device* device_ = nullptr;
    TidewellProtocolManager* manager_ = nullptr;
    bool registered_ = false;
};

} // namespace dsptest
