// The simulated board running its main firmware under a Device that holds a DMA adapter, for the
// typed DSP commands: records from the device's pool, the firmware's command log, fault injection
// and the event-log entries the commands write.
#pragma once
#include "DspBoardFixture.h"

#include "board/CommandSet.h"
#include "board/Eeprom.h"
#include "board/FpgaModel.h"
#include "board/MailboxMessages.h"
#include "board/MailboxService.h"
#include "km/dma.h"
#include "standin/devices.h"
#include "standin/dma.h"
#include "standin/eventlog.h"
#include "messages/Talvexon.h"

#include <chrono>
#include <functional>
#include <thread>

namespace dsptest {

// The clock's pace while the commands run: a record's 4 s would be 400 s of real time.
inline constexpr double kHeldClock = 0.01;

// Moves the held clock on by `step` at a time, once `begin()` holds (the command whose answer never
// comes has been taken by the firmware, so the records before it are answered) and until `done()`
// holds or the scope ends, so that the wait of that record runs out. A wait that begins once
// `done()` holds loses at most one step of its time-out.
class ClockPush {
public:
    ClockPush(int64_t step, std::function<bool()> begin, std::function<bool()> done = [] { return false; })
        : thread_([step, begin = std::move(begin), done = std::move(done)](std::stop_token stop) {
              while (!stop.stop_requested() && !begin())
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              while (!stop.stop_requested() && !done()) {
                  platform::Clock::Advance(step);
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {
    }

private:
    std::jthread thread_;
};
// A quarter of kShortTimeout, and a quarter of a record's own 4 s.
inline constexpr int64_t kShortStep = 25 * platform::Clock::kUnitsPerMillisecond;
inline constexpr int64_t kRecordStep = platform::Clock::kUnitsPerSecond;

class DspCommandTest : public DspBoardTest {
protected:
    void SetUp() override
    {
        DspBoardTest::SetUp();
        if (HasFatalFailure())
            return;
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo_, nullptr);
        ASSERT_EQ(device_->GetDmaAdapter(pdo_), STATUS_SUCCESS);
        if (StartsFirmware()) {
            const auto image = ImageBytes(board::Personality::MainFirmware);
            ASSERT_EQ(manager_->Start(image.data(), static_cast<ULONG>(image.size()), false), STATUS_SUCCESS);
        }
        board_->Mailbox().ClearCommandLog();
        standin::EventLogClear();
        // Held from here on: an answer that comes is never beaten by a record's time-out, however
        // late the threads run; a wait meant to run out is run out by a ClockPush.
        if (HoldsClock())
            platform::Clock::SetSpeedFactor(kHeldClock);
    }

    void TearDown() override
    {
        for (CommandHandler* handler : records_)
            device_->FreeCommandHandler(handler);
        records_.clear();
        delete device_; // stops the manager and releases every DMA buffer and the adapter
        device_ = nullptr;
        EXPECT_EQ(standin::DmaUsageTotal().outstandingBuffers, 0u);
        if (pdo_)
            standin::DeletePhysicalDeviceObject(pdo_);
        DspBoardTest::TearDown();
    }

    virtual bool StartsFirmware() const { return true; }
    // Fixtures whose board must run frames on the clock keep it at the start-up's pace.
    virtual bool HoldsClock() const { return true; }

    // A record of the device's pool, given back at the end of the test.
    CommandHandler* Record()
    {
        CommandHandler* handler = device_->AllocateCommandHandler();
        EXPECT_NE(handler, nullptr);
        records_.push_back(handler);
        return handler;
    }

    std::vector<board::MailboxCommand> Commands() const { return board_->Mailbox().CommandLog(); }
    std::vector<board::MailboxCommand> CommandsWithId(uint32_t id) const
    {
        std::vector<board::MailboxCommand> found;
        for (const auto& command : Commands())
            if (command.id == id)
                found.push_back(command);
        return found;
    }

    void FailCommand(uint32_t id, uint32_t result) { board_->Mailbox().SetCommandFault(id, board::MailboxService::CommandFault{false, result, 0x77, 0x88}); }
    // The command is taken and never answered; the record waits only `timeout` (clock units).
    void DropCommand(uint32_t id) { board_->Mailbox().SetCommandFault(id, board::MailboxService::CommandFault{true, 0, 0, 0}); }
    // Whether the firmware has taken command `id` (a dropped one is logged, never answered).
    std::function<bool()> Taken(uint32_t id)
    {
        return [this, id] { return !CommandsWithId(id).empty(); };
    }

    static std::string Insert(const standin::EventLogEntry& entry, size_t i)
    {
        if (i >= entry.inserts.size())
            return {};
        return std::string(entry.inserts[i].begin(), entry.inserts[i].end());
    }

    PDEVICE_OBJECT pdo_ = nullptr;
    std::vector<CommandHandler*> records_;
};

// A short wait for the no-answer cases: 100 ms of the clock.
inline constexpr LONGLONG kShortTimeout = -1'000'000;
inline constexpr NTSTATUS kWaitFailed = static_cast<NTSTATUS>(0xC0000001);

} // namespace dsptest
