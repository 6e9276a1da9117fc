// The processing queue: its worker (and not the caller) at the queue's priority, records run in
// the order queued on the worker, a full ring handing the buffer straight back, purges handing
// buffers back to their owner, and a stream destroyed while one of its items is being processed.
#include "CountingStep.h"
#include "FakePhysicalStream.h"
#include "LogicalStreamFixture.h"
#include "RecordingSink.h"

#include "algorithmlist.h"
#include "km/thread.h"
#include "platform/Clock.h"
#include "standin/control.h"

#include <atomic>
#include <thread>
#include <vector>

namespace streamtest {
namespace {

// Holds the worker inside a step until the test lets it go.
struct Gate {
    std::atomic<int> entered{0};
    std::atomic<bool> open{false};
    std::atomic<PKTHREAD> thread{nullptr};
    static void Hook(CountingStep*, Frame*, void* context)
    {
        auto* gate = static_cast<Gate*>(context);
        gate->thread = KeGetCurrentThread();
        ++gate->entered;
        while (!gate->open.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

class StreamProcessorQueueTest : public LogicalStreamFixture {
protected:
    // The device's queue (9, 16, 0): a ring of 18 records. 16 buffers give 32 host frames, more
    // than the ring and the worker can hold.
    std::string Parameters() const override
    {
        return LogicalStreamFixture::Parameters() + "\"VideoDMABuffers\"=dword:00000010\n";
    }

    void TearDown() override
    {
        platform::Clock::SetSpeedFactor(1.0);
        stream_.reset();
        LogicalStreamFixture::TearDown();
    }

    // A stream without the DSP in Pause whose tree is a gated step and the sink.
    void MakePausedStream(bool gated)
    {
        FakePhysicalStream::Options options;
        options.usesDsp = false; // every entry a host frame
        stream_ = std::make_unique<FakePhysicalStream>(services_.get(), Queue(), options);
        ASSERT_EQ(stream_->GetConstructionStatus(), STATUS_SUCCESS);
        step_ = new CountingStep(2, 0, &live_);
        gate_.open = !gated;
        step_->SetOnProcess(&Gate::Hook, &gate_);
        AlgorithmList list;
        ASSERT_TRUE(list.Append(step_));
        ASSERT_TRUE(list.Append(&sink_));
        ASSERT_EQ(stream_->AddAlgorithmChain(&list), STATUS_SUCCESS);
        ASSERT_EQ(stream_->StreamFromStopToAcquire(), STATUS_SUCCESS);
        ASSERT_EQ(stream_->StreamFromAcquireToPause(), STATUS_SUCCESS);
    }

    bool QueueOne(ULONG stamp)
    {
        FrameWorkItem* entry = stream_->TakeFreeHostEntry();
        EXPECT_NE(entry, nullptr);
        return entry != nullptr && stream_->QueueGeneratedFrame(entry, stamp);
    }

    StreamProcessorQueue* Queue() const { return services_->GetVideoStreamProcessorQueue(); }

    Gate gate_;
    std::atomic<int> live_{0};
    RecordingSink sink_;
    CountingStep* step_ = nullptr;
    std::unique_ptr<FakePhysicalStream> stream_;
};

TEST_F(StreamProcessorQueueTest, TheWorkerNotTheCallerRunsAtTheQueuesPriority)
{
    PKTHREAD caller = KeGetCurrentThread();
    const KPRIORITY before = standin::ThreadPriority(caller);
    StreamProcessorQueue video(9, 16, 0, Table());
    StreamProcessorQueue audio(9, 20, 0, Table());
    ASSERT_EQ(video.GetConstructionStatus(), STATUS_SUCCESS);
    EXPECT_EQ(standin::ThreadPriority(video.GetWorkerThread()), 16);
    EXPECT_EQ(standin::ThreadPriority(audio.GetWorkerThread()), 20);
    EXPECT_EQ(standin::ThreadPriority(caller), before);
    EXPECT_EQ(video.GetCapacity(), 9u);
    video.Uninitialize();
    video.Uninitialize(); // twice: nothing more
    EXPECT_FALSE(video.OnFrameReady(LogicalStreamHandle::Make(0, 1), 0, "VIDEO"));
    // Without a table nothing can be resolved: no queue.
    StreamProcessorQueue none(9, 16, 0, nullptr);
    EXPECT_NE(none.GetConstructionStatus(), STATUS_SUCCESS);
}

TEST_F(StreamProcessorQueueTest, ItemsQueuedFromAnotherThreadRunInTurnOnTheWorker)
{
    MakePausedStream(false);
    std::thread producer([&] {
        for (ULONG i = 0; i < 5; ++i) {
            // One at a time, so the ring of 8 never fills.
            ASSERT_TRUE(tracetest::WaitUntil([&] { return Queue()->GetQueuedCount() == 0; }));
            EXPECT_TRUE(QueueOne(1000 + i * 3'003'003));
        }
    });
    producer.join();
    // Through the step, and back in the ring: the tree is done with all five.
    ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 5 && stream_->GetFreeRingCount() == 32; }));
    EXPECT_EQ(gate_.thread.load(), Queue()->GetWorkerThread());
    ASSERT_EQ(sink_.Deliveries().size(), 5u);
    for (ULONG i = 0; i < 5; ++i) {
        EXPECT_EQ(sink_.Deliveries()[i].sequenceNumber, i);
        EXPECT_EQ(sink_.Deliveries()[i].frameTime, static_cast<LONGLONG>(i) * 333'667);
    }
}

TEST_F(StreamProcessorQueueTest, AFullRingHandsTheBufferBackAndAPurgeReturnsEveryItemToItsOwner)
{
    MakePausedStream(true);
    ASSERT_TRUE(QueueOne(0));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 1; }));
    EXPECT_EQ(gate_.thread.load(), Queue()->GetWorkerThread());
    // The worker is held: the ring takes 2 x 9 records, the nineteenth goes straight back.
    for (ULONG i = 1; i <= 18; ++i)
        EXPECT_TRUE(QueueOne(i * 3'003'003)) << i;
    EXPECT_EQ(Queue()->GetQueuedCount(), 18u);
    EXPECT_FALSE(QueueOne(19 * 3'003'003));
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::Queued), 18u);
    EXPECT_EQ(stream_->CountEntriesOwnedBy(MappingOwner::Processing), 1u);
    EXPECT_EQ(stream_->GetFreeRingCount(), 32u - 19u);

    // Pause to Acquire purges: the eighteen go back to the free ring at once, nothing is lost.
    ASSERT_EQ(stream_->StreamFromPauseToAcquire(), STATUS_SUCCESS);
    EXPECT_EQ(Queue()->GetQueuedCount(), 0u);
    EXPECT_EQ(stream_->GetFreeRingCount(), 31u);
    gate_.open = true;
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream_->GetFreeRingCount() == 32u; }));
    EXPECT_EQ(gate_.entered.load(), 1);
    EXPECT_EQ(sink_.Deliveries().size(), 1u);
}

TEST_F(StreamProcessorQueueTest, RecordsQueuedWhileTheWorkerIsBusyRunWithoutASignalOrTimeOutEach)
{
    MakePausedStream(true);
    ASSERT_TRUE(QueueOne(0));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 1; }));
    // Six records while the worker is held: their six signals of the event merge into one.
    for (ULONG i = 1; i <= 6; ++i)
        ASSERT_TRUE(QueueOne(i * 3'003'003)) << i;
    EXPECT_EQ(Queue()->GetQueuedCount(), 6u);
    // Time nearly stands still from here on: the worker's 1-ms wait does not run out during the
    // test, so nothing but the records waiting in the ring can make it go on.
    platform::Clock::SetSpeedFactor(1e-6);
    gate_.open = true;
    ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 7 && Queue()->GetQueuedCount() == 0; }))
        << gate_.entered.load() << " of 7 records processed";
    ASSERT_TRUE(tracetest::WaitUntil([&] { return sink_.Count() == 7u; }));
    for (ULONG i = 0; i < 7; ++i)
        EXPECT_EQ(sink_.Deliveries()[i].sequenceNumber, i);
}

TEST_F(StreamProcessorQueueTest, DestroyingAStreamWaitsForTheItemInProcessAndDropsTheQueuedOnes)
{
    MakePausedStream(true);
    ASSERT_TRUE(QueueOne(0));
    ASSERT_TRUE(tracetest::WaitUntil([&] { return gate_.entered.load() == 1; }));
    for (ULONG i = 1; i <= 3; ++i)
        ASSERT_TRUE(QueueOne(i * 3'003'003));
    EXPECT_EQ(Queue()->GetQueuedCount(), 3u);
    const LogicalStreamHandle handle = stream_->GetHandle();

    std::atomic<bool> destroyed{false};
    bool openWhenDestroyed = false;
    std::thread destroyer([&] {
        stream_.reset();
        openWhenDestroyed = gate_.open.load();
        destroyed = true;
    });
    // The handle goes stale first; the stream itself waits for the worker.
    ASSERT_TRUE(tracetest::WaitUntil([&] { return !Table()->IsLive(handle); }));
    EXPECT_EQ(Table()->GetReferenceCount(handle), 1u); // the worker's
    EXPECT_FALSE(destroyed.load());
    gate_.open = true;
    destroyer.join();
    EXPECT_TRUE(openWhenDestroyed);
    EXPECT_EQ(live_.load(), 0); // the step went with the tree, the sink is the test's
    EXPECT_EQ(sink_.Deliveries().size(), 1u);
    EXPECT_EQ(Queue()->GetQueuedCount(), 0u);
    EXPECT_EQ(Table()->GetCount(), 0u);
    EXPECT_EQ(sink_.GetParent(), nullptr);
}

} // namespace
} // namespace streamtest
