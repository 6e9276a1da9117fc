// The processing-step base: child slots and their limit, the searches, the modified flags, the
// destruction of subtrees (sinks excepted), the timing summary and the writable rule of delivery.
#include "CountingStep.h"
#include "TraceTestSupport.h"
#include "algorithm.h"
#include "audioframe.h"
#include "km/pool.h"
#include "km/time.h"
#include "frameprocessingsource.h"
#include "videoframe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

using streamtest::CountingStep;

namespace {

TEST(AlgorithmTest, SixteenChildrenFitAndTheSeventeenthIsRefusedAndLeftParentless)
{
    FrameProcessingSource source;
    std::vector<std::unique_ptr<CountingStep>> children;
    for (int i = 0; i < 16; ++i) {
        children.push_back(std::make_unique<CountingStep>(kAlgorithmIdCrop, i));
        ASSERT_TRUE(children.back()->Connect(&source));
        EXPECT_EQ(children.back()->GetRoot(), &source);
    }
    CountingStep extra(kAlgorithmIdCrop);
    EXPECT_FALSE(extra.Connect(&source));
    EXPECT_EQ(extra.GetParent(), nullptr);
    EXPECT_EQ(extra.GetRoot(), nullptr);
    EXPECT_EQ(source.GetChildCount(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(source.GetChild(i), children[i].get());

    // Removing slot 5 moves 6..15 down one place and clears slot 15.
    children[5]->Disconnect();
    EXPECT_EQ(children[5]->GetParent(), nullptr);
    EXPECT_EQ(source.GetChildCount(), 15);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(source.GetChild(i), children[i < 5 ? i : i + 1].get()) << "slot " << i;
    EXPECT_EQ(source.GetChild(15), nullptr);
    EXPECT_FALSE(source.RemoveFromChildList(children[5].get()));
    EXPECT_FALSE(source.RemoveFromChildList(nullptr));
    EXPECT_EQ(source.GetChildCount(), 15);

    EXPECT_EQ(source.GetChild(16), nullptr);
    EXPECT_EQ(source.GetChild(-1), nullptr);
    LONG index = 15;
    EXPECT_EQ(source.FindNextAlgorithmWithId(&index, kAlgorithmIdCrop), nullptr);
    EXPECT_EQ(index, 15);
    // Slot 15 is free again: the refused step fits now.
    EXPECT_TRUE(extra.Connect(&source));
    EXPECT_EQ(source.GetChild(15), &extra);
    extra.Disconnect();
    for (auto& child : children)
        child->Disconnect();
}

TEST(AlgorithmTest, SearchesWalkSlotsInOrderAndTheTreeDepthFirst)
{
    FrameProcessingSource source;
    CountingStep a(kAlgorithmIdFrameRate), b(kAlgorithmIdScale), c(kAlgorithmIdScale), d(kAlgorithmIdLogo);
    ASSERT_TRUE(a.Connect(&source));
    ASSERT_TRUE(b.Connect(&a));
    ASSERT_TRUE(c.Connect(&source));
    ASSERT_TRUE(d.Connect(&c));

    // Pre-order: the grandchild under slot 0 before the child in slot 1.
    EXPECT_EQ(source.FindAlgorithmWithId(kAlgorithmIdScale), &b);
    EXPECT_EQ(source.FindAlgorithmWithId(kAlgorithmIdLogo), &d);
    EXPECT_EQ(source.FindAlgorithmWithId(kAlgorithmIdProcessingSource), nullptr); // never the step itself
    EXPECT_EQ(b.FindAlgorithmWithId(kAlgorithmIdScale), nullptr);

    LONG index = -7;
    EXPECT_EQ(source.FindFirstAlgorithmWithId(&index, kAlgorithmIdLogo), nullptr);
    EXPECT_EQ(index, -7);
    EXPECT_EQ(source.FindFirstAlgorithmWithId(&index, kAlgorithmIdScale), &c);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(source.FindNextAlgorithmWithId(&index, kAlgorithmIdScale), nullptr);
    index = -1;
    EXPECT_EQ(source.FindNextAlgorithmWithId(&index, kAlgorithmIdFrameRate), &a);
    EXPECT_EQ(index, 0);

    EXPECT_EQ(d.FindParentWithId(kAlgorithmIdProcessingSource), &source);
    EXPECT_EQ(d.FindParentWithId(kAlgorithmIdScale), &c);
    EXPECT_EQ(b.FindParentWithId(kAlgorithmIdScale), nullptr);
    EXPECT_EQ(d.GetRoot(), &source);
    b.Disconnect();
    d.Disconnect();
    a.Disconnect();
    c.Disconnect();
}

TEST(AlgorithmTest, ModifiedFlagsRiseToTheRootAndClearUpToTheFirstSharedStep)
{
    FrameProcessingSource source;
    CountingStep shared(kAlgorithmIdSeparateFrame), left(kAlgorithmIdCrop), leftLeaf(kAlgorithmIdScale),
        right(kAlgorithmIdCrop);
    ASSERT_TRUE(shared.Connect(&source));
    ASSERT_TRUE(left.Connect(&shared));
    ASSERT_TRUE(leftLeaf.Connect(&left));
    ASSERT_TRUE(right.Connect(&shared));
    EXPECT_TRUE(source.IsModified()); // 1 at construction

    // A step with children keeps its flag.
    left.ClearModifiedUpward();
    EXPECT_TRUE(left.IsModified());

    leftLeaf.Disconnect();
    leftLeaf.ClearModifiedUpward();
    EXPECT_FALSE(leftLeaf.IsModified());
    EXPECT_TRUE(left.IsModified()); // the leaf left the tree first: the walk ended at the leaf
    left.ClearModifiedUpward();
    EXPECT_FALSE(left.IsModified());
    EXPECT_TRUE(shared.IsModified()); // has children: the walk stops there
    EXPECT_TRUE(source.IsModified());

    left.MarkChainModified();
    EXPECT_TRUE(left.IsModified());
    EXPECT_TRUE(shared.IsModified());
    EXPECT_TRUE(source.IsModified());
    EXPECT_TRUE(right.IsModified());
    right.Disconnect();
    left.Disconnect();
    shared.Disconnect();
}

TEST(AlgorithmTest, EqualityComparesIdsInTheBase)
{
    Algorithm crop(kAlgorithmIdCrop), otherCrop(kAlgorithmIdCrop), scale(kAlgorithmIdScale);
    EXPECT_TRUE(crop.IsEqual(&otherCrop));
    EXPECT_FALSE(crop.IsEqual(&scale));
    EXPECT_FALSE(crop.IsEqual(nullptr));
    CountingStep one(kAlgorithmIdCrop, 1), two(kAlgorithmIdCrop, 2);
    EXPECT_FALSE(one.IsEqual(&two));
    EXPECT_TRUE(one.IsEqual(&crop));
    EXPECT_FALSE(crop.GetDestinationBuffer(nullptr, 0));
}

TEST(AlgorithmTest, DisplayNamesKeepTheirSpellingAndUnknownIdsAreNamed)
{
    EXPECT_EQ(std::u16string(AlgorithmDisplayName(kAlgorithmIdSeparateFrame)), u"Seperate Frame");
    EXPECT_EQ(std::u16string(AlgorithmDisplayName(kAlgorithmIdProcessingSource)), u"Processing Source");
    EXPECT_EQ(std::u16string(AlgorithmDisplayName(kAlgorithmIdColorSpaceNotUsed)), u"Color Space (Not Used)");
    EXPECT_EQ(std::u16string(AlgorithmDisplayName(kAlgorithmIdEnd)), u"End");
    EXPECT_EQ(std::u16string(AlgorithmDisplayName(23)), u"Unknown");
    EXPECT_EQ(std::u16string(AlgorithmDisplayName(-1)), u"Unknown");
}

class AlgorithmTraceTest : public tracetest::TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        logger->SetTraceMask(kTraceHighs);
    }
};

TEST_F(AlgorithmTraceTest, DestroyingAStepDestroysItsSubtreeButLeavesSinksToTheirPins)
{
    std::atomic<int> live{0};
    FrameProcessingSource source;
    auto* top = new CountingStep(kAlgorithmIdSeparateFrame, 0, &live);
    auto* b = new CountingStep(kAlgorithmIdCrop, 0, &live);
    auto* c = new CountingStep(kAlgorithmIdScale, 0, &live);
    auto* d = new CountingStep(kAlgorithmIdLogo, 0, &live);
    CountingStep sink(kAlgorithmIdProcessingSink, 0, &live);
    ASSERT_TRUE(top->Connect(&source));
    ASSERT_TRUE(b->Connect(top));
    ASSERT_TRUE(c->Connect(top));
    ASSERT_TRUE(d->Connect(c));
    ASSERT_TRUE(sink.Connect(top));
    EXPECT_EQ(live.load(), 5);
    // The line the child list writes at each join.
    EXPECT_EQ(DebugLinesWith("m_eBrevicorAlgorithmId=20 (Seperate Frame), m_nChildCount=3").size(), 1u);

    top->BeginTimingAt(100);
    top->EndTimingAt(105);
    top->BeginTimingAt(200);
    top->EndTimingAt(203);
    standin::DebugOutputClear();
    delete top;

    EXPECT_EQ(live.load(), 1); // only the sink
    EXPECT_EQ(source.GetChildCount(), 0);
    EXPECT_EQ(sink.GetParent(), nullptr);
    EXPECT_EQ(sink.GetRoot(), nullptr);
    const auto usage = DebugLinesWith("Algorithm=Seperate Frame, TF=");
    ASSERT_EQ(usage.size(), 1u);
    EXPECT_NE(usage[0].find("FC=2, ACU=4, HCU=5, LCU=3"), std::string::npos) << usage[0];
    // The children never ran: no usage line of theirs.
    EXPECT_TRUE(DebugLinesWith("Algorithm=Crop").empty());
    EXPECT_TRUE(DebugLinesWith("Algorithm=Scale").empty());
    EXPECT_TRUE(DebugLinesWith("Algorithm=Logo").empty());
}

TEST_F(AlgorithmTraceTest, TimingKeepsLongestShortestAndTheirAverage)
{
    Algorithm step(kAlgorithmIdVolume);
    step.BeginTimingAt(10);
    step.EndTimingAt(17);
    step.BeginTimingAt(20);
    step.EndTimingAt(22);
    step.BeginTimingAt(30);
    step.EndTimingAt(39);
    const AlgorithmTiming& timing = step.GetTiming();
    EXPECT_EQ(timing.count, 3u);
    EXPECT_EQ(timing.accumulated, 18u);
    EXPECT_EQ(timing.longest, 9u);
    EXPECT_EQ(timing.shortest, 2u);
    EXPECT_EQ(timing.frequency, ULONGLONG(STANDIN_PERFORMANCE_FREQUENCY));
    step.OutputCPUUsage();
    const auto usage = DebugLinesWith("Algorithm=Volume, TF=10000000, FC=3, ACU=6, HCU=9, LCU=2");
    EXPECT_EQ(usage.size(), 1u);

    // The counter brackets of a real call are counted too.
    step.BeginTiming();
    step.EndTiming();
    EXPECT_EQ(step.GetTiming().count, 4u);
}

// Each child records the writable flag the frame arrived with.
TEST(AlgorithmDeliveryTest, OneChildKeepsTheWritableFlagSeveralChildrenClearIt)
{
    VideoFrame frame(16, 4, 8, true);
    CountingStep parent(kAlgorithmIdSeparateFrame), only(kAlgorithmIdCrop);
    ASSERT_TRUE(only.Connect(&parent));
    frame.SetWritable(true);
    parent.DeliverToChildren(&frame);
    ASSERT_EQ(only.WritableOnArrival().size(), 1u);
    EXPECT_TRUE(only.WritableOnArrival()[0]);

    CountingStep second(kAlgorithmIdScale);
    ASSERT_TRUE(second.Connect(&parent));
    frame.SetWritable(true);
    parent.DeliverToChildren(&frame);
    EXPECT_FALSE(only.WritableOnArrival()[1]);
    ASSERT_EQ(second.WritableOnArrival().size(), 1u);
    EXPECT_FALSE(second.WritableOnArrival()[0]);

    // A frame that arrived read-only stays read-only under a single child.
    second.Disconnect();
    frame.SetWritable(false);
    parent.DeliverToChildren(&frame);
    EXPECT_FALSE(only.WritableOnArrival()[2]);
    parent.DeliverToChildren(nullptr); // not delivered
    EXPECT_EQ(only.ProcessCount(), 3u);
    only.Disconnect();
}

TEST(AlgorithmDeliveryTest, InPlaceStepsWorkInAWritableFrameElseInTheirOwnCopy)
{
    CountingStep step(kAlgorithmIdProcAmp);
    VideoFrame incoming(64, 20, 8, true);
    for (ULONG i = 0; i < incoming.GetDataSize(); ++i)
        incoming.GetFrameData()[i] = static_cast<UCHAR>(i * 13);
    incoming.SetFrameNumber(333667);
    incoming.SetSequenceNumber(9);
    incoming.SetActiveSize(0, 64, 10);
    incoming.SetActiveSize(1, 64, 10);

    incoming.SetWritable(true);
    EXPECT_EQ(step.PrepareInPlaceFrame(&incoming, true), &incoming);
    EXPECT_EQ(step.GetOutputFrame(), nullptr);

    incoming.SetWritable(false);
    VideoFrame* work = step.PrepareInPlaceFrame(&incoming, true);
    ASSERT_NE(work, nullptr);
    ASSERT_NE(work, &incoming);
    EXPECT_EQ(step.GetOutputFrame(), work);
    EXPECT_TRUE(work->IsWritable());
    EXPECT_FALSE(incoming.IsWritable());
    EXPECT_EQ(work->GetFrameNumber(), 333667);
    EXPECT_EQ(work->GetSequenceNumber(), 9u);
    EXPECT_EQ(work->GetActiveSize(1).height, 10);
    for (ULONG plane = 0; plane < 3; ++plane) {
        const LONG width = plane == 0 ? 64 : 32;
        for (LONG row = 0; row < 20; ++row)
            ASSERT_EQ(0, std::memcmp(work->GetPlane(plane) + row * work->GetStride(plane),
                                     incoming.GetPlane(plane) + row * incoming.GetStride(plane), width))
                << "plane " << plane << " row " << row;
    }
    // The same geometry reuses the work frame; a new size makes it anew.
    EXPECT_EQ(step.PrepareInPlaceFrame(&incoming, false), work);
    VideoFrame larger(80, 20, 8, true);
    VideoFrame* remade = step.PrepareInPlaceFrame(&larger, false);
    ASSERT_NE(remade, nullptr);
    EXPECT_EQ(remade->GetWidth(), 80);
    EXPECT_EQ(step.GetOutputFrame(), remade);
    EXPECT_EQ(step.PrepareInPlaceFrame(static_cast<VideoFrame*>(nullptr), true), nullptr);
}

TEST(AlgorithmDeliveryTest, InPlaceWorkFrameThatCannotBeAllocatedLeavesTheStepWithout)
{
    CountingStep step(kAlgorithmIdLogo);
    VideoFrame incoming(32, 8, 8, true);
    standin::PoolFailTag(standin::MakePoolTag("Wdm "));
    EXPECT_EQ(step.PrepareInPlaceFrame(&incoming, true), nullptr);
    standin::PoolClearFailures();
    EXPECT_NE(step.PrepareInPlaceFrame(&incoming, true), nullptr);
}

TEST(AlgorithmDeliveryTest, AudioInPlaceStepsGetACopyOfTheSamples)
{
    CountingStep step(kAlgorithmIdVolume);
    AudioFrame incoming(1, 16, 8);
    for (ULONG i = 0; i < incoming.GetDataSize(); ++i)
        incoming.GetFrameData()[i] = static_cast<UCHAR>(i + 1);
    incoming.StatusWords()[3] = 0x1234;
    AudioFrame* work = step.PrepareInPlaceFrame(&incoming, true);
    ASSERT_NE(work, nullptr);
    ASSERT_NE(work, &incoming);
    ASSERT_EQ(work->GetDataSize(), incoming.GetDataSize());
    EXPECT_EQ(0, std::memcmp(work->GetFrameData(), incoming.GetFrameData(), incoming.GetDataSize()));
    EXPECT_EQ(work->StatusWords()[3], 0x1234u);
    incoming.SetWritable(true);
    EXPECT_EQ(step.PrepareInPlaceFrame(&incoming, true), &incoming);
}

} // namespace
