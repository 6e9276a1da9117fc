// The pin's queue engine on its own: frames submitted by fake requests, the leading edge, locking and
// ejecting, clones holding frames, cancellation, flushing and a worker racing submitters.
#include "KsQueue.h"

#include "km/status.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace standin;

namespace {

// Records the order requests finish in.
struct FinishLog {
    std::mutex lock;
    std::vector<int> order;
    std::vector<bool> cancelled;
};

class FakeRequest : public KsQueueRequest {
public:
    FakeRequest(int id, size_t frames, FinishLog* log, ULONG extent = 16) : id_(id), log_(log)
    {
        headers_.resize(frames);
        buffers_.resize(frames, std::vector<UCHAR>(extent));
        for (size_t i = 0; i < frames; ++i) {
            headers_[i].Size = sizeof(KSSTREAM_HEADER);
            headers_[i].FrameExtent = extent;
            specs_.push_back({&headers_[i], buffers_[i].data(), extent});
        }
    }
    void Finished(bool cancelled, NTSTATUS) override
    {
        std::lock_guard<std::mutex> guard(log_->lock);
        log_->order.push_back(id_);
        log_->cancelled.push_back(cancelled);
        ++finishes;
    }
    const std::vector<KsQueue::FrameSpec>& Specs() const { return specs_; }
    std::vector<KSSTREAM_HEADER> headers_;
    std::vector<std::vector<UCHAR>> buffers_;
    std::atomic<int> finishes{0};

private:
    int id_;
    FinishLog* log_;
    std::vector<KsQueue::FrameSpec> specs_;
};

PKSPIN const kPin = reinterpret_cast<PKSPIN>(0x1000);

KsStreamPointerObject* Object(PKSSTREAM_POINTER pointer)
{
    return reinterpret_cast<KsStreamPointerObject*>(pointer);
}

class KsQueueTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeRequest> Submit(int id, size_t frames, ULONG extent = 16)
    {
        auto request = std::make_shared<FakeRequest>(id, frames, &log, extent);
        queue.Submit(request, request->Specs());
        return request;
    }
    // Locks the leading edge, writes `value` into its frame's header and ejects it.
    void FillOne(ULONG value)
    {
        PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
        ASSERT_NE(p, nullptr);
        p->StreamHeader->DataUsed = value;
        queue.Unlock(Object(p), true);
    }

    FinishLog log;
    KsQueue queue{kPin};
};

TEST_F(KsQueueTest, EmptyQueueHasNoLeadingEdge)
{
    EXPECT_EQ(queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED), nullptr);
    EXPECT_EQ(queue.LeadingEdge(KSSTREAM_POINTER_STATE_UNLOCKED), nullptr);
    EXPECT_EQ(queue.FirstClone(), nullptr);
}

TEST_F(KsQueueTest, LockedLeadingEdgeDescribesTheOldestFrame)
{
    auto request = Submit(1, 2, 64);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Pin, kPin);
    EXPECT_EQ(p->Context, nullptr);
    EXPECT_EQ(p->StreamHeader, &request->headers_[0]);
    EXPECT_EQ(p->Offset, &p->OffsetOut);
    EXPECT_EQ(p->OffsetOut.Data, request->buffers_[0].data());
    EXPECT_EQ(p->OffsetOut.Count, 64u);
    EXPECT_EQ(p->OffsetOut.Remaining, 64u);
    EXPECT_EQ(p->OffsetIn.Data, nullptr);
    // One locker at a time.
    EXPECT_EQ(queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED), nullptr);
    EXPECT_EQ(queue.Lock(Object(p)), STATUS_INVALID_DEVICE_STATE);
    queue.Unlock(Object(p), false);
    EXPECT_EQ(p->StreamHeader, nullptr);
    EXPECT_EQ(p->OffsetOut.Data, nullptr);
    queue.End();
}

TEST_F(KsQueueTest, UnlockWithoutEjectKeepsTheFrameAtTheLeadingEdge)
{
    auto request = Submit(1, 2);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    queue.Unlock(Object(p), false);
    p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->StreamHeader, &request->headers_[0]);
    EXPECT_EQ(request->finishes, 0);
    EXPECT_EQ(queue.FrameCount(), 2u);
    queue.Unlock(Object(p), false);
    queue.End();
}

TEST_F(KsQueueTest, EjectCompletesRequestsInQueueOrder)
{
    auto first = Submit(1, 2);
    auto second = Submit(2, 1);
    FillOne(10);
    EXPECT_EQ(first->finishes, 0); // one of its two frames is still queued
    FillOne(11);
    EXPECT_EQ(first->finishes, 1);
    FillOne(12);
    EXPECT_EQ(second->finishes, 1);
    EXPECT_EQ(log.order, (std::vector<int>{1, 2}));
    EXPECT_EQ(log.cancelled, (std::vector<bool>{false, false}));
    EXPECT_EQ(first->headers_[0].DataUsed, 10u);
    EXPECT_EQ(first->headers_[1].DataUsed, 11u);
    EXPECT_EQ(second->headers_[0].DataUsed, 12u);
    EXPECT_EQ(queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED), nullptr);
}

TEST_F(KsQueueTest, AdvancePastTheLastFrameWaitsThereForTheNext)
{
    auto first = Submit(1, 1);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    EXPECT_EQ(queue.Advance(Object(p)), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(first->finishes, 1);
    EXPECT_EQ(p->StreamHeader, nullptr);
    EXPECT_EQ(queue.Lock(Object(p)), STATUS_DEVICE_NOT_READY);
    auto second = Submit(2, 2);
    EXPECT_EQ(queue.Lock(Object(p)), STATUS_SUCCESS);
    EXPECT_EQ(p->StreamHeader, &second->headers_[0]);
    EXPECT_EQ(queue.Advance(Object(p)), STATUS_SUCCESS); // stays locked on the next frame
    EXPECT_EQ(p->StreamHeader, &second->headers_[1]);
    queue.Unlock(Object(p), true);
    EXPECT_EQ(second->finishes, 1);
}

TEST_F(KsQueueTest, AdvanceOffsetsMovesWithinTheFrameAndAddsDataUsed)
{
    auto request = Submit(1, 2, 100);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    EXPECT_EQ(queue.AdvanceOffsets(Object(p), 0, 30, false), STATUS_SUCCESS);
    EXPECT_EQ(p->OffsetOut.Data, request->buffers_[0].data() + 30);
    EXPECT_EQ(p->OffsetOut.Remaining, 70u);
    EXPECT_EQ(p->OffsetOut.Count, 100u);
    EXPECT_EQ(request->headers_[0].DataUsed, 30u);
    EXPECT_EQ(queue.AdvanceOffsets(Object(p), 0, 71, false), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(queue.AdvanceOffsets(Object(p), 1, 0, false), STATUS_INVALID_PARAMETER);
    // Using the frame up moves on to the next one.
    EXPECT_EQ(queue.AdvanceOffsets(Object(p), 0, 70, false), STATUS_SUCCESS);
    EXPECT_EQ(request->headers_[0].DataUsed, 100u);
    EXPECT_EQ(p->StreamHeader, &request->headers_[1]);
    EXPECT_EQ(p->OffsetOut.Remaining, 100u);
    EXPECT_EQ(queue.AdvanceOffsets(Object(p), 0, 5, true), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(request->headers_[1].DataUsed, 5u);
    EXPECT_EQ(request->finishes, 1);
}

TEST_F(KsQueueTest, CloneHoldsItsFrameUntilDeleted)
{
    auto first = Submit(1, 1);
    auto second = Submit(2, 1);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    PKSSTREAM_POINTER clone = nullptr;
    ASSERT_EQ(queue.Clone(Object(p), nullptr, 12, &clone), STATUS_SUCCESS);
    ASSERT_NE(clone, nullptr);
    ASSERT_NE(clone->Context, nullptr);
    EXPECT_EQ(std::memcmp(clone->Context, std::vector<UCHAR>(12).data(), 12), 0);
    EXPECT_EQ(clone->StreamHeader, &first->headers_[0]); // locked as its original was
    EXPECT_EQ(queue.FirstClone(), clone);
    EXPECT_EQ(queue.NextClone(Object(clone)), nullptr);
    queue.Unlock(Object(p), true);
    EXPECT_EQ(first->finishes, 0);
    // The leading edge went on; the second request completes before the held first one.
    FillOne(1);
    EXPECT_EQ(second->finishes, 1);
    EXPECT_EQ(first->finishes, 0);
    clone->StreamHeader->DataUsed = 7;
    EXPECT_TRUE(queue.Delete(Object(clone)));
    EXPECT_EQ(first->finishes, 1);
    EXPECT_EQ(first->headers_[0].DataUsed, 7u);
    EXPECT_EQ(queue.FirstClone(), nullptr);
    EXPECT_FALSE(queue.Delete(Object(p))); // the leading edge is not a clone
}

TEST_F(KsQueueTest, ClonesListInCreationOrder)
{
    Submit(1, 2);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_UNLOCKED);
    PKSSTREAM_POINTER a = nullptr, b = nullptr;
    ASSERT_EQ(queue.Clone(Object(p), nullptr, 0, &a), STATUS_SUCCESS);
    EXPECT_EQ(a->StreamHeader, nullptr); // unlocked as its original
    ASSERT_EQ(queue.Clone(Object(a), nullptr, 0, &b), STATUS_SUCCESS);
    EXPECT_EQ(queue.FirstClone(), a);
    EXPECT_EQ(queue.NextClone(Object(a)), b);
    while (PKSSTREAM_POINTER c = queue.FirstClone())
        queue.Delete(Object(c));
    queue.End();
    EXPECT_EQ(log.cancelled, (std::vector<bool>{true}));
}

TEST_F(KsQueueTest, CancelCompletesOnceAndSkipsTheFrames)
{
    auto first = Submit(1, 2);
    auto second = Submit(2, 1);
    queue.Cancel(first.get());
    EXPECT_EQ(first->finishes, 1);
    queue.Cancel(first.get());
    EXPECT_EQ(first->finishes, 1);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->StreamHeader, &second->headers_[0]);
    queue.Unlock(Object(p), true);
    EXPECT_EQ(log.order, (std::vector<int>{1, 2}));
    EXPECT_EQ(log.cancelled, (std::vector<bool>{true, false}));
}

TEST_F(KsQueueTest, CancelOfALockedFrameWaitsForItsUnlock)
{
    auto first = Submit(1, 1);
    auto second = Submit(2, 1);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    queue.Cancel(first.get());
    EXPECT_EQ(first->finishes, 0);
    EXPECT_EQ(p->StreamHeader, &first->headers_[0]); // still the driver's to write
    queue.Unlock(Object(p), false);                   // even without eject the cancelled frame goes
    EXPECT_EQ(first->finishes, 1);
    p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    EXPECT_EQ(p->StreamHeader, &second->headers_[0]);
    queue.Unlock(Object(p), false);
    queue.End();
}

std::atomic<int> cancelCallbacks{0};
void NTAPI DeleteOnCancel(PKSSTREAM_POINTER clone)
{
    ++cancelCallbacks;
    Object(clone)->queue->Delete(Object(clone));
}

TEST_F(KsQueueTest, CancelTellsClonesAndCompletesWhenTheyGo)
{
    cancelCallbacks = 0;
    auto request = Submit(1, 1);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    PKSSTREAM_POINTER told = nullptr, silent = nullptr;
    ASSERT_EQ(queue.Clone(Object(p), DeleteOnCancel, 0, &told), STATUS_SUCCESS);
    ASSERT_EQ(queue.Clone(Object(p), nullptr, 0, &silent), STATUS_SUCCESS);
    queue.Unlock(Object(p), true);
    queue.Unlock(Object(told), false);
    queue.Unlock(Object(silent), false);
    queue.Cancel(request.get());
    EXPECT_EQ(cancelCallbacks, 1);
    EXPECT_EQ(request->finishes, 0); // the clone without a callback still holds it
    EXPECT_EQ(queue.FirstClone(), silent);
    queue.Delete(Object(silent));
    EXPECT_EQ(request->finishes, 1);
    EXPECT_EQ(log.cancelled, (std::vector<bool>{true}));
}

TEST_F(KsQueueTest, FlushWaitsForTheLockedPointer)
{
    auto request = Submit(1, 3);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    std::atomic<bool> flushed{false};
    std::thread stopper([&] {
        queue.Flush();
        flushed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(flushed);
    p->StreamHeader->DataUsed = 3;
    queue.Unlock(Object(p), true);
    stopper.join();
    EXPECT_TRUE(flushed);
    EXPECT_EQ(request->finishes, 1);
    EXPECT_EQ(log.cancelled, (std::vector<bool>{true}));
    EXPECT_EQ(request->headers_[0].DataUsed, 3u);
    EXPECT_EQ(queue.FrameCount(), 0u);
    EXPECT_EQ(queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED), nullptr);
}

TEST_F(KsQueueTest, EndDeletesClonesAndKillsThePointers)
{
    auto request = Submit(1, 1);
    PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_UNLOCKED);
    PKSSTREAM_POINTER clone = nullptr;
    ASSERT_EQ(queue.Clone(Object(p), nullptr, 4, &clone), STATUS_SUCCESS);
    queue.End();
    EXPECT_EQ(request->finishes, 1);
    EXPECT_FALSE(queue.Owns(Object(clone)));
    EXPECT_EQ(queue.FrameCount(), 0u);
}

// A worker filling frames while clients submit and cancel: every request finishes exactly once.
TEST_F(KsQueueTest, ConcurrentSubmitFillAndCancel)
{
    constexpr int kRequests = 200;
    std::vector<std::shared_ptr<FakeRequest>> requests(kRequests);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        while (!done) {
            if (PKSSTREAM_POINTER p = queue.LeadingEdge(KSSTREAM_POINTER_STATE_LOCKED)) {
                p->StreamHeader->DataUsed = p->OffsetOut.Count;
                PKSSTREAM_POINTER clone = nullptr;
                if (queue.Clone(Object(p), nullptr, 0, &clone) == STATUS_SUCCESS) {
                    queue.Unlock(Object(p), true);
                    queue.Delete(Object(clone));
                }
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::thread canceller([&] {
        for (int i = 0; i < kRequests; i += 3) {
            while (!std::atomic_load(&requests[i]))
                std::this_thread::yield();
            queue.Cancel(std::atomic_load(&requests[i]).get());
        }
    });
    for (int i = 0; i < kRequests; ++i) {
        auto request = std::make_shared<FakeRequest>(i, 1 + i % 3, &log);
        queue.Submit(request, request->Specs());
        std::atomic_store(&requests[i], request);
    }
    canceller.join();
    for (int tries = 0; queue.FrameCount() > 0 && tries < 5000; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    done = true;
    worker.join();
    queue.End();
    for (const auto& request : requests)
        EXPECT_EQ(request->finishes, 1);
    EXPECT_EQ(log.order.size(), static_cast<size_t>(kRequests));
}

} // namespace
