// The tree's root: each work item goes back exactly once, an early return is honoured only for a
// single branch, the frame is writable only for one child, the tree runs under the processing lock,
// and a real sink below a destroyed step stays its pin's.
#include "CountingStep.h"
#include "FakeWorkItemOwner.h"
#include "frameprocessedsink.h"
#include "frameprocessingsource.h"
#include "km/thread.h"
#include "videoframe.h"

#include <gtest/gtest.h>

#include <atomic>

using streamtest::CountingStep;
using streamtest::FakeWorkItemOwner;

namespace {

class SourceTest : public testing::Test {
protected:
    void SetUp() override { owner.InitializeEntry(&entry, &frame); }

    FakeWorkItemOwner owner;
    FrameProcessingSource source{&owner};
    VideoFrame frame{32, 4, 8, true};
    FrameWorkItem entry{};
};

TEST_F(SourceTest, EachWorkItemGoesBackOnceAfterTheTree)
{
    CountingStep child(kAlgorithmIdSeparateFrame);
    ASSERT_TRUE(child.Connect(&source));
    EXPECT_EQ(source.GetRoot(), &source);
    // A copy of the entry, as the rings carry: the owner sees the entry itself.
    FrameWorkItem copy = entry;
    source.Process(&copy);
    source.Process(&copy);
    EXPECT_EQ(child.ProcessCount(), 2u);
    EXPECT_EQ(owner.ReturnCount(&entry), 2);
    EXPECT_EQ(owner.TotalReturns(), 2u);
    EXPECT_EQ(source.GetCurrentWorkItem(), nullptr);
    // A step asking again after the tree is done changes nothing.
    source.ReturnBuffer();
    EXPECT_EQ(owner.TotalReturns(), 2u);
    child.Disconnect();
}

TEST_F(SourceTest, AnEarlyReturnWithOneChildHappensAtOnceAndOnlyOnce)
{
    CountingStep child(kAlgorithmIdSeparateFrame);
    child.SetReturnBufferEarly(true);
    CountingStep grandchild(kAlgorithmIdCrop);
    ASSERT_TRUE(child.Connect(&source));
    ASSERT_TRUE(grandchild.Connect(&child));
    struct Seen {
        CountingStep* grandchild;
        size_t grandchildRunsAtReturn = 99;
    } seen{&grandchild};
    owner.SetOnReturn([](FrameWorkItem*, void* context) {
        auto* s = static_cast<Seen*>(context);
        s->grandchildRunsAtReturn = s->grandchild->ProcessCount();
    }, &seen);
    source.Process(&entry);
    EXPECT_EQ(owner.ReturnCount(&entry), 1);
    EXPECT_EQ(seen.grandchildRunsAtReturn, 0u); // given back before the rest of the tree ran
    EXPECT_EQ(grandchild.ProcessCount(), 1u);
    grandchild.Disconnect();
    child.Disconnect();
}

TEST_F(SourceTest, WithTwoChildrenAnEarlyReturnWaitsForBoth)
{
    CountingStep first(kAlgorithmIdStereoPair, 0), second(kAlgorithmIdStereoPair, 1);
    first.SetReturnBufferEarly(true);
    second.SetReturnBufferEarly(true);
    ASSERT_TRUE(first.Connect(&source));
    ASSERT_TRUE(second.Connect(&source));
    struct Seen {
        CountingStep* second;
        size_t secondRunsAtReturn = 99;
    } seen{&second};
    owner.SetOnReturn([](FrameWorkItem*, void* context) {
        auto* s = static_cast<Seen*>(context);
        s->secondRunsAtReturn = s->second->ProcessCount();
    }, &seen);
    source.Process(&entry);
    EXPECT_EQ(owner.ReturnCount(&entry), 1);
    EXPECT_EQ(seen.secondRunsAtReturn, 1u);
    // Both read a frame the other also reads: neither may change it.
    EXPECT_FALSE(first.WritableOnArrival()[0]);
    EXPECT_FALSE(second.WritableOnArrival()[0]);
    first.Disconnect();
    second.Disconnect();
}

TEST_F(SourceTest, AFrameForOneChildIsWritable)
{
    CountingStep child(kAlgorithmIdSeparateFrame);
    ASSERT_TRUE(child.Connect(&source));
    frame.SetWritable(false);
    source.Process(&entry);
    ASSERT_EQ(child.WritableOnArrival().size(), 1u);
    EXPECT_TRUE(child.WritableOnArrival()[0]);
    child.Disconnect();
}

TEST_F(SourceTest, ItemsWithoutAFrameGoBackWithoutRunningTheTree)
{
    CountingStep child(kAlgorithmIdSeparateFrame);
    ASSERT_TRUE(child.Connect(&source));
    entry.frame = nullptr;
    source.Process(&entry);
    EXPECT_EQ(child.ProcessCount(), 0u);
    EXPECT_EQ(owner.ReturnCount(&entry), 1);
    source.Process(static_cast<FrameWorkItem*>(nullptr));
    EXPECT_EQ(owner.TotalReturns(), 1u);
    // Without an owner of its own the source gives the item to the item's owner.
    FrameProcessingSource orphan;
    orphan.Process(&entry);
    EXPECT_EQ(owner.ReturnCount(&entry), 2);
    child.Disconnect();
}

TEST_F(SourceTest, TheTreeRunsUnderTheProcessingLock)
{
    CountingStep child(kAlgorithmIdSeparateFrame);
    ASSERT_TRUE(child.Connect(&source));
    struct Seen {
        FrameProcessingSource* source;
        PVOID holder = nullptr;
        FrameWorkItem* current = nullptr;
    } seen{&source};
    child.SetOnProcess([](CountingStep*, Frame*, void* context) {
        auto* s = static_cast<Seen*>(context);
        s->holder = s->source->GetProcessingLock()->GetHolder().ownerThread;
        s->current = s->source->GetCurrentWorkItem();
    }, &seen);
    source.Process(&entry);
    EXPECT_EQ(seen.holder, static_cast<PVOID>(KeGetCurrentThread()));
    EXPECT_EQ(seen.current, &entry);
    EXPECT_EQ(source.GetProcessingLock()->GetHolder().ownerThread, nullptr);
    child.Disconnect();
}

TEST(SourceTreeTest, DestroyingAStepLeavesARealSinkWithItsPin)
{
    std::atomic<int> live{0};
    FrameProcessingSource source;
    auto* step = new CountingStep(kAlgorithmIdCrop, 0, &live);
    auto* inner = new CountingStep(kAlgorithmIdScale, 0, &live);
    FrameProcessedSink sink;
    ASSERT_TRUE(step->Connect(&source));
    ASSERT_TRUE(inner->Connect(step));
    ASSERT_TRUE(sink.Connect(inner));
    EXPECT_EQ(sink.GetRoot(), &source);
    delete step;
    EXPECT_EQ(live.load(), 0);
    EXPECT_EQ(sink.GetParent(), nullptr);
    EXPECT_EQ(source.GetChildCount(), 0);
    // A sink without a pin takes frames and delivers nothing.
    VideoFrame frame(16, 2, 8, true);
    sink.Process(&frame);
    EXPECT_EQ(sink.GetDeliveredFrameCount(), 0u);
}

} // namespace
