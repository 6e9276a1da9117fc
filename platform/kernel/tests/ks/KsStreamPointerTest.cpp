// The stream-pointer functions a driver calls, on a pin's queue reached through the table of queues:
// the same engine as KsQueueTest, here checked for what the functions add (finding the queue,
// refusing pointers that are not live, the pin's clone walk, ending a pin's stream).
#include "KsStream.h"

#include "km/status.h"
#include "standin/ks.h"
#include "standin/verifier.h"

#include <gtest/gtest.h>

using namespace standin;

namespace {

class CountingRequest : public KsQueueRequest {
public:
    explicit CountingRequest(size_t frames) : headers(frames), buffer(frames * 32)
    {
        for (size_t i = 0; i < frames; ++i) {
            headers[i].Size = sizeof(KSSTREAM_HEADER);
            specs.push_back({&headers[i], buffer.data() + i * 32, 32});
        }
    }
    void Finished(bool wasCancelled, NTSTATUS finalStatus) override
    {
        ++finishes;
        cancelled = wasCancelled;
        status = finalStatus;
    }
    std::vector<KSSTREAM_HEADER> headers;
    std::vector<UCHAR> buffer;
    std::vector<KsQueue::FrameSpec> specs;
    int finishes = 0;
    bool cancelled = false;
    NTSTATUS status = STATUS_SUCCESS;
};

PKSPIN const kPin = reinterpret_cast<PKSPIN>(0x2000);

bool TookBreach(const char* rule)
{
    bool found = false;
    for (const VerifierViolation& violation : VerifierTakeViolations())
        found = found || violation.rule == rule;
    return found;
}

TEST(KsStreamPointerTest, FunctionsReachThePinsQueue)
{
    EXPECT_EQ(KsPinGetLeadingEdgeStreamPointer(kPin, KSSTREAM_POINTER_STATE_LOCKED), nullptr);
    auto request = std::make_shared<CountingRequest>(2);
    KsQueueOfPin(kPin, true)->Submit(request, request->specs);
    EXPECT_EQ(KsPinQueuedFrameCount(kPin), 2u);

    PKSSTREAM_POINTER p = KsPinGetLeadingEdgeStreamPointer(kPin, KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->OffsetOut.Data, request->buffer.data());
    PKSSTREAM_POINTER clone = nullptr;
    ASSERT_EQ(KsStreamPointerClone(p, nullptr, 8, &clone), STATUS_SUCCESS);
    EXPECT_EQ(KsPinGetFirstCloneStreamPointer(kPin), clone);
    EXPECT_EQ(KsStreamPointerGetNextClone(clone), nullptr);
    EXPECT_EQ(KsStreamPointerAdvanceOffsets(p, 0, 32, FALSE), STATUS_SUCCESS); // used up: next frame
    EXPECT_EQ(p->OffsetOut.Data, request->buffer.data() + 32);
    EXPECT_EQ(KsStreamPointerAdvance(p), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(request->finishes, 0); // the clone holds the first frame
    KsStreamPointerDelete(clone);
    EXPECT_EQ(request->finishes, 1);
    EXPECT_FALSE(request->cancelled);
    EXPECT_EQ(request->headers[0].DataUsed, 32u);
    EXPECT_EQ(KsPinQueuedFrameCount(kPin), 0u);
    KsPinEndStream(kPin);
}

TEST(KsStreamPointerTest, AFailureSetOnAFrameIsItsRequestsStatusAndTheFirstOneStands)
{
    auto failed = std::make_shared<CountingRequest>(2);
    auto clean = std::make_shared<CountingRequest>(1);
    KsQueueOfPin(kPin, true)->Submit(failed, failed->specs);
    KsQueueOfPin(kPin, true)->Submit(clean, clean->specs);
    PKSSTREAM_POINTER p = KsPinGetLeadingEdgeStreamPointer(kPin, KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(KsStreamPointerSetStatusCode(p, STATUS_SUCCESS), STATUS_SUCCESS); // no failure: nothing set
    EXPECT_EQ(KsStreamPointerSetStatusCode(p, STATUS_DEVICE_REMOVED), STATUS_SUCCESS);
    EXPECT_EQ(KsStreamPointerAdvance(p), STATUS_SUCCESS);
    EXPECT_EQ(KsStreamPointerSetStatusCode(p, STATUS_UNSUCCESSFUL), STATUS_SUCCESS); // the second frame
    EXPECT_EQ(KsStreamPointerAdvance(p), STATUS_SUCCESS);
    EXPECT_EQ(failed->finishes, 1);
    EXPECT_FALSE(failed->cancelled);
    EXPECT_EQ(failed->status, STATUS_DEVICE_REMOVED);
    KsStreamPointerUnlock(p, TRUE);
    EXPECT_EQ(clean->finishes, 1);
    EXPECT_EQ(clean->status, STATUS_SUCCESS) << "another request keeps its own status";
    // Past the last frame there is nothing to set.
    PKSSTREAM_POINTER past = KsPinGetLeadingEdgeStreamPointer(kPin, KSSTREAM_POINTER_STATE_UNLOCKED);
    EXPECT_EQ(past, nullptr);
    KsPinEndStream(kPin);
}

TEST(KsStreamPointerTest, PointersThatAreNotLiveAreReportedNotFollowed)
{
    auto request = std::make_shared<CountingRequest>(1);
    KsQueueOfPin(kPin, true)->Submit(request, request->specs);
    PKSSTREAM_POINTER p = KsPinGetLeadingEdgeStreamPointer(kPin, KSSTREAM_POINTER_STATE_UNLOCKED);
    ASSERT_NE(p, nullptr);
    KsStreamPointerDelete(p);
    EXPECT_TRUE(TookBreach("bad-argument"));
    PKSSTREAM_POINTER clone = nullptr;
    EXPECT_EQ(KsStreamPointerClone(p, nullptr, 0, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(TookBreach("bad-argument"));
    ASSERT_EQ(KsStreamPointerClone(p, nullptr, 0, &clone), STATUS_SUCCESS);

    // Closing the pin ends its stream: the frame is cancelled, the clone deleted with it.
    KsPinEndStream(kPin);
    EXPECT_EQ(request->finishes, 1);
    EXPECT_TRUE(request->cancelled);
    EXPECT_EQ(KsStreamPointerLock(clone), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(TookBreach("bad-object"));
    KsStreamPointerUnlock(p, TRUE);
    EXPECT_TRUE(TookBreach("bad-object"));
    EXPECT_EQ(KsStreamPointerAdvance(nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(TookBreach("bad-object"));
    EXPECT_EQ(KsPinGetLeadingEdgeStreamPointer(nullptr, KSSTREAM_POINTER_STATE_LOCKED), nullptr);
    EXPECT_TRUE(TookBreach("bad-argument"));
}

TEST(KsStreamPointerTest, BufferCookiesResolveUntilForgotten)
{
    UCHAR buffer[10];
    EXPECT_EQ(KsRegisterStreamBuffer(nullptr, 10), 0u);
    const uint32_t a = KsRegisterStreamBuffer(buffer, sizeof buffer);
    const uint32_t b = KsRegisterStreamBuffer(buffer, 4);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    PUCHAR data = nullptr;
    ULONG length = 0;
    ASSERT_TRUE(KsResolveStreamBuffer(b, &data, &length));
    EXPECT_EQ(data, buffer);
    EXPECT_EQ(length, 4u);
    KsUnregisterStreamBuffer(a);
    KsUnregisterStreamBuffer(b);
    EXPECT_FALSE(KsResolveStreamBuffer(a, &data, &length));
    EXPECT_FALSE(KsResolveStreamBuffer(0, &data, &length));
}

} // namespace
