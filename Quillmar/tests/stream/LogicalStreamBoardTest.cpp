// The logical stream against the simulated board's firmware: the create and queue commands of
// Stop to Acquire, completions that fail or come below Run going straight back, the owner states
// keeping every buffer with exactly one holder across purges and restarts, the hand-over from the
// generator at the second real frame, the killed answers of a destroy, and a completion that comes
// after its stream is gone.
#include "CountingStep.h"
#include "DspCommandFixture.h"
#include "FakePhysicalStream.h"
#include "LogicalStreamTestServices.h"
#include "RecordingSink.h"

#include "algorithmlist.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <thread>

namespace streamtest {
namespace {

// A board whose enabled streams fill their buffers by their own frame clock is put on manual frames,
// so that only FillQueuedBuffer fills: the tests count every answer. (A board without frame clocks
// has nothing to stop.)
template <typename Commands>
auto StopFrameClocks(Commands& commands, int) -> decltype(commands.SetFrameClockManual(true), void())
{
    commands.SetFrameClockManual(true);
}
template <typename Commands>
void StopFrameClocks(Commands&, long)
{
}

struct Gate {
    std::atomic<int> entered{0};
    std::atomic<bool> closed{false};
    static void Hook(CountingStep*, Frame*, void* context)
    {
        auto* gate = static_cast<Gate*>(context);
        ++gate->entered;
        while (gate->closed.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

class LogicalStreamBoardTest : public dsptest::DspCommandTest {
protected:
    // The generator and the frame clocks run on the clock.
    bool HoldsClock() const override { return false; }
    std::string Parameters() const override
    {
        return DspCommandTest::Parameters() + "\"TraceWarnings\"=dword:00000001\n";
    }

    void SetUp() override
    {
        DspCommandTest::SetUp();
        if (HasFatalFailure())
            return;
        StopFrameClocks(board_->Commands(), 0);
        services_ = std::make_unique<LogicalStreamTestServices>(device_);
        stream_ = std::make_unique<FakePhysicalStream>(services_.get(), services_->GetVideoStreamProcessorQueue());
        ASSERT_EQ(stream_->GetConstructionStatus(), STATUS_SUCCESS);
        for (ULONG i = 0; i < stream_->GetBufferCount(); ++i)
            addresses_.insert(static_cast<ULONG>(stream_->GetEntry(i)->physicalAddress));
        ASSERT_EQ(addresses_.size(), 9u);
        step_ = new CountingStep(2, 0, &live_);
        step_->SetOnProcess(&Gate::Hook, &gate_);
        AlgorithmList list;
        ASSERT_TRUE(list.Append(step_));
        ASSERT_TRUE(list.Append(&sink_));
        ASSERT_EQ(stream_->AddAlgorithmChain(&list), STATUS_SUCCESS);
        busyAtStart_ = device_->GetBusyCommandHandlerCount();
    }

    void TearDown() override
    {
        gate_.closed = false;
        stream_.reset();
        services_.reset();
        DspCommandTest::TearDown();
    }

    ULONG Handle() { return stream_->GetDspStreamHandle(); }
    LogicalStreamTable* Table() { return device_->GetLogicalStreamTable(); }

    // The bus addresses the DSP holds for the stream, oldest first.
    std::vector<ULONG> Held(ULONG handle)
    {
        std::vector<ULONG> held;
        if (auto stream = board_->Commands().Stream(handle))
            for (const auto& buffer : stream->queued)
                held.push_back(buffer.busAddress);
        return held;
    }

    // No buffer is held twice by the DSP, none is both with the DSP and elsewhere on the host, and
    // every buffer has exactly one owner.
    void ExpectOneHolderEach(ULONG handle)
    {
        const std::vector<ULONG> held = Held(handle);
        const std::set<ULONG> unique(held.begin(), held.end());
        EXPECT_EQ(unique.size(), held.size()) << "a bus address is held twice";
        for (ULONG address : held)
            EXPECT_EQ(addresses_.count(address), 1u) << std::hex << address;
        ULONG owned = 0;
        for (MappingOwner owner : {MappingOwner::Idle, MappingOwner::WithDsp, MappingOwner::Queued,
                                   MappingOwner::Processing, MappingOwner::FreeRing, MappingOwner::Generator})
            owned += stream_->CountEntriesOwnedBy(owner);
        EXPECT_EQ(owned, stream_->GetTableSize());
    }

    bool WaitHeld(ULONG handle, size_t count)
    {
        return tracetest::WaitUntil([&] { return Held(handle).size() == count; });
    }

    size_t QueuesOf(ULONG address)
    {
        size_t n = 0;
        for (const auto& command : CommandsWithId(5))
            n += command.payload[0] == address ? 1 : 0;
        return n;
    }

    // Stop to Acquire with the create and the nine buffers held by the DSP.
    void Acquire()
    {
        ASSERT_EQ(stream_->StreamFromStopToAcquire(), STATUS_SUCCESS);
        ASSERT_TRUE(stream_->IsDspStreamCreated());
        ASSERT_TRUE(WaitHeld(Handle(), 9));
    }

    void Run()
    {
        ASSERT_EQ(stream_->StreamFromAcquireToPause(), STATUS_SUCCESS);
        ASSERT_EQ(stream_->StreamFromPauseToRun(), STATUS_SUCCESS);
        ASSERT_EQ(stream_->GetState(), kStreamStateRun);
        ASSERT_TRUE(stream_->IsProcessingEnabled());
    }

    std::unique_ptr<LogicalStreamTestServices> services_;
    std::unique_ptr<FakePhysicalStream> stream_;
    std::set<ULONG> addresses_;
    std::atomic<int> live_{0};
    Gate gate_;
    CountingStep* step_ = nullptr;
    RecordingSink sink_;
    ULONG busyAtStart_ = 0;
};

TEST_F(LogicalStreamBoardTest, StopToAcquireCreatesTheStreamAndQueuesEveryBufferOnce)
{
    Acquire();
    const auto creates = CommandsWithId(3);
    ASSERT_EQ(creates.size(), 1u);
    const DspStreamSettings settings = FakePhysicalStream::DefaultSettings();
    for (ULONG i = 0; i < 8; ++i)
        EXPECT_EQ(creates[0].payload[i], settings.descriptor[i]) << i;
    const auto queues = CommandsWithId(5);
    ASSERT_EQ(queues.size(), 9u);
    for (const auto& queue : queues) {
        EXPECT_EQ(queue.parameter, Handle());
        EXPECT_EQ(queue.payload[1], 4096u);
    }
    ExpectOneHolderEach(Handle());
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::WithDsp), 9u);
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::FreeRing), 9u); // the generator's frames
    EXPECT_EQ(DebugLinesWith("VIDEO stream handle is 0x"), 1u);
}

TEST_F(LogicalStreamBoardTest, FailedAndEarlyCompletionsGoStraightBackAndNoBufferIsEverHeldTwice)
{
    Acquire();
    const ULONG handle = Handle();
    const ULONG first = Held(handle)[0];

    // Below Run a filled buffer goes back at once; the DSP then refuses it twice (result 2) and
    // each refusal sends it again, until it is taken.
    FailCommand(5, 2);
    ASSERT_TRUE(board_->Commands().FillQueuedBuffer(handle, first).has_value());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return QueuesOf(first) >= 4; }));
    board_->Mailbox().SetCommandFault(5, std::nullopt);
    ASSERT_TRUE(WaitHeld(handle, 9));
    ExpectOneHolderEach(handle);
    EXPECT_EQ(gate_.entered.load(), 0);
    EXPECT_TRUE(sink_.Deliveries().empty());

    // Running: a filled buffer is processed and given back; then one is held in the tree while
    // three more wait in the queue.
    Run();
    ASSERT_TRUE(board_->Commands().FillQueuedBuffer(handle).has_value());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 1; }));
    ASSERT_TRUE(WaitHeld(handle, 9)); // back with the DSP: the tree is done with it
    EXPECT_EQ(sink_.Deliveries().size(), 1u);
    ExpectOneHolderEach(handle);

    gate_.closed = true;
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(board_->Commands().FillQueuedBuffer(handle).has_value());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 2; }));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return services_->GetVideoStreamProcessorQueue()->GetQueuedCount() == 3; }));
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::Queued), 3u);
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::Processing), 1u);
    EXPECT_EQ(Held(handle).size(), 5u);
    ExpectOneHolderEach(handle);

    // Run to Pause, then Pause to Acquire: the three queued go straight back to the DSP; the one
    // in the tree follows when it is done.
    ASSERT_EQ(stream_->StreamFromRunToPause(), STATUS_SUCCESS);
    ASSERT_EQ(stream_->StreamFromPauseToAcquire(), STATUS_SUCCESS);
    EXPECT_EQ(services_->GetVideoStreamProcessorQueue()->GetQueuedCount(), 0u);
    ASSERT_TRUE(WaitHeld(handle, 8));
    ExpectOneHolderEach(handle);
    gate_.closed = false;
    ASSERT_TRUE(WaitHeld(handle, 9));
    ExpectOneHolderEach(handle);
    EXPECT_EQ(sink_.Deliveries().size(), 2u);

    // Back to Run: frames flow again; every buffer ends with the DSP.
    Run();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(board_->Commands().FillQueuedBuffer(handle).has_value());
        ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 3 + i; }));
        ASSERT_TRUE(WaitHeld(handle, 9));
    }
    EXPECT_EQ(sink_.Deliveries().size(), 5u);
    ExpectOneHolderEach(handle);
    const std::vector<ULONG> held = Held(handle);
    EXPECT_EQ(std::set<ULONG>(held.begin(), held.end()), addresses_);
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::WithDsp), 9u);
    // Stamped on the board's grid and in order.
    for (size_t i = 1; i < sink_.Deliveries().size(); ++i)
        EXPECT_GE(sink_.Deliveries()[i].frameTime, sink_.Deliveries()[i - 1].frameTime);
}

TEST_F(LogicalStreamBoardTest, TheGeneratorHandsOverAtTheSecondRealFrameAndKilledAnswersOnlyComeBack)
{
    Acquire();
    const ULONG handle = Handle();
    Run();
    stream_->StartBackupFrameGenerator();
    ASSERT_TRUE(stream_->IsGeneratorRunning());
    ASSERT_FALSE(stream_->IsProcessingEnabled());

    const ULONG first = Held(handle)[0];
    ASSERT_TRUE(board_->Commands().FillQueuedBuffer(handle, first).has_value());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return QueuesOf(first) == 2; }));
    ASSERT_TRUE(WaitHeld(handle, 9));
    EXPECT_EQ(stream_->GetStartupCounter(), 1u);
    EXPECT_TRUE(sink_.Deliveries().empty());
    EXPECT_TRUE(stream_->IsGeneratorRunning());

    const ULONG second = Held(handle)[0];
    ASSERT_TRUE(board_->Commands().FillQueuedBuffer(handle, second).has_value());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 1; }));
    ASSERT_TRUE(WaitHeld(handle, 9));
    EXPECT_EQ(sink_.Deliveries().size(), 1u);
    EXPECT_EQ(QueuesOf(second), 2u); // queued once more, after the tree: not twice
    EXPECT_EQ(stream_->GetStartupCounter(), 2u);
    EXPECT_FALSE(stream_->IsGeneratorRunning());
    EXPECT_TRUE(stream_->IsProcessingEnabled());
    EXPECT_EQ(gate_.entered.load(), 1);

    // Acquire to Stop: the destroy's nine cancelled answers carry the kill flag and only come
    // back; their records go to the pool.
    ASSERT_EQ(stream_->StreamFromRunToPause(), STATUS_SUCCESS);
    ASSERT_EQ(stream_->StreamFromPauseToAcquire(), STATUS_SUCCESS);
    ASSERT_EQ(stream_->StreamFromAcquireToStop(), STATUS_SUCCESS);
    EXPECT_EQ(services_->KillCount(), 1);
    EXPECT_FALSE(stream_->IsDspStreamCreated());
    EXPECT_EQ(stream_->GetDspStreamHandle(), 0u);
    EXPECT_FALSE(board_->Commands().Stream(handle).has_value());
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::WithDsp), 0u);
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::Idle), 9u);
    EXPECT_EQ(stream_->GetStartupCounter(), 2u);
    EXPECT_EQ(device_->GetBusyCommandHandlerCount(), busyAtStart_);
    EXPECT_EQ(QueuesOf(first), 2u);
    EXPECT_EQ(sink_.Deliveries().size(), 1u);

    // A new start queues the idle buffers again, each once.
    Acquire();
    ExpectOneHolderEach(Handle());
    EXPECT_EQ(CommandsWithId(3).size(), 2u);
}

TEST_F(LogicalStreamBoardTest, ACompletionAfterTheStreamIsGoneReturnsItsRecordToThePool)
{
    Acquire();
    const ULONG handle = Handle();
    const LogicalStreamHandle streamHandle = stream_->GetHandle();
    // The DSP takes the destroy and never answers it: its buffers stay queued on the board.
    DropCommand(14);
    const ULONG busyWithQueued = device_->GetBusyCommandHandlerCount();
    stream_.reset();
    EXPECT_FALSE(device_->ValidateLogicalStream(streamHandle));
    EXPECT_EQ(Held(handle).size(), 9u);
    EXPECT_EQ(live_.load(), 0);
    standin::DebugOutputClear();
    const ULONG busyAfter = device_->GetBusyCommandHandlerCount();
    // Late: the buffer is the device's still (kept before it is released), the record goes back.
    ASSERT_TRUE(board_->Commands().FillQueuedBuffer(handle).has_value());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return device_->GetBusyCommandHandlerCount() == busyAfter - 1; }));
    EXPECT_EQ(DebugLinesWith("A filled buffer for a stream that is gone: response id 5"), 1u);
    EXPECT_GE(busyWithQueued, 9u);
}

TEST_F(LogicalStreamBoardTest, CompletionsRacingTheTeardownNeverReachTheStreamOnceItIsGone)
{
    Acquire();
    Run();
    const ULONG handle = Handle();
    std::atomic<bool> stop{false};
    std::atomic<int> fills{0};
    // The DSP fills whatever the stream has queued, as fast as it can, while the stream goes.
    std::thread dsp([&] {
        while (!stop.load()) {
            if (board_->Commands().FillQueuedBuffer(handle).has_value())
                ++fills;
            else
                std::this_thread::yield();
        }
    });
    ASSERT_TRUE(tracetest::WaitUntil([&] { return fills.load() >= 20; }));
    stream_.reset();
    stop = true;
    dsp.join();
    // Every record came back to the pool: the destroy's own answers and every fill.
    EXPECT_TRUE(tracetest::WaitUntil([&] { return device_->GetBusyCommandHandlerCount() == busyAtStart_; }));
    EXPECT_FALSE(board_->Commands().Stream(handle).has_value());
    EXPECT_EQ(Table()->GetCount(), 0u);
    EXPECT_EQ(live_.load(), 0);
}

TEST_F(LogicalStreamBoardTest, PauseToRunAnswersNoSignalWithTheGeneratorAndRefusesItInAManualStart)
{
    Acquire();
    ASSERT_EQ(stream_->StreamFromAcquireToPause(), STATUS_SUCCESS);
    board_->Commands().SetSignalPresent(false);

    // A manual start (the control thread restarting the DSP stream) that meets no signal fails:
    // its own stop would wait for the manual transition it holds. The logical state stays.
    stream_->SetManualTransition(true);
    EXPECT_EQ(stream_->StreamFromPauseToRun(), static_cast<NTSTATUS>(MSG_FAILED_START_STREAM_ERROR_CODE));
    EXPECT_EQ(stream_->manualStops.load(), 0);
    EXPECT_EQ(stream_->GetState(), kStreamStatePause);
    stream_->SetManualTransition(false);

    // Outside one, no signal is no error: the stream runs on the generator.
    EXPECT_EQ(stream_->StreamFromPauseToRun(), STATUS_SUCCESS);
    EXPECT_EQ(stream_->GetState(), kStreamStateRun);
    EXPECT_EQ(stream_->manualStops.load(), 1);
    EXPECT_TRUE(stream_->IsGeneratorRunning());
    EXPECT_FALSE(stream_->IsProcessingEnabled());
    EXPECT_EQ(CommandsWithId(6).size(), 2u);

    // Any other answer to the enable is a failed start.
    ASSERT_EQ(stream_->StreamFromRunToPause(), STATUS_SUCCESS);
    board_->Commands().SetSignalPresent(true);
    FailCommand(6, 5);
    EXPECT_EQ(stream_->StreamFromPauseToRun(), static_cast<NTSTATUS>(MSG_FAILED_START_STREAM_ERROR_CODE));
    EXPECT_EQ(stream_->GetState(), kStreamStatePause);
    const auto events = Events(MSG_FAILED_START_STREAM_ERROR_CODE);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(Insert(events[1], 0), "VIDEO");
    EXPECT_EQ(Insert(events[1], 1), "5");
    board_->Mailbox().SetCommandFault(6, std::nullopt);
    EXPECT_EQ(stream_->StreamFromPauseToRun(), STATUS_SUCCESS);
    EXPECT_TRUE(stream_->IsProcessingEnabled());
}

TEST_F(LogicalStreamBoardTest, WithoutADspStreamRunStartsTheGeneratorAndAManualStartFails)
{
    FailCommand(3, 3); // the DSP has no stream slot left
    ASSERT_EQ(stream_->StreamFromStopToAcquire(), STATUS_SUCCESS);
    EXPECT_FALSE(stream_->IsDspStreamCreated());
    EXPECT_EQ(stream_->GetState(), kStreamStateAcquire);
    EXPECT_TRUE(CommandsWithId(5).empty()); // nothing queued without a DSP stream
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::Idle), 9u);
    ASSERT_EQ(stream_->StreamFromAcquireToPause(), STATUS_SUCCESS);
    stream_->SetManualTransition(true);
    EXPECT_EQ(stream_->StreamFromPauseToRun(), static_cast<NTSTATUS>(MSG_FAILED_START_STREAM_ERROR_CODE));
    stream_->SetManualTransition(false);
    EXPECT_EQ(stream_->StreamFromPauseToRun(), STATUS_SUCCESS);
    EXPECT_EQ(stream_->GetState(), kStreamStateRun);
    EXPECT_EQ(stream_->manualStops.load(), 1);
    EXPECT_TRUE(CommandsWithId(6).empty());
}

} // namespace
} // namespace streamtest
