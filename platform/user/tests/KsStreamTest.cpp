// Streaming end to end from user mode: a reader drives the test minidriver's capture pin with
// IOCTL_KS_READ_STREAM and reads back the headers and frames the pin's generator wrote through its
// stream pointers, with refusals, short buffers, cancellation (close, CancelIoEx, Stop), clones
// that hold frames, and the VBI header form.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "KsMinidriver.h"
#include "KsMinidriverFixture.h"
#include "KsStreamReader.h"
#include "um/ks.h"
#include "um/windows.h"

using kstest::KsStreamReader;

namespace {

constexpr uint64_t kPeriod = 20000;          // 2 ms of the machine's clock
constexpr uint64_t kNoFramesSoon = 600000000; // a minute: the generator stays quiet during a test
constexpr uint32_t kFrameBytes = 16 * 8 * 2;  // the UYVY 16x8 format


KS_VIDEO_STREAM_HEADER VideoHeader(const KsStreamReader::Read& read, size_t index)
{
    return KsStreamReader::HeaderAt<KS_VIDEO_STREAM_HEADER>(read, index * KS_VIDEO_STREAM_HEADER_SIZE);
}

// The first `count` bytes of the buffer are frame `number`'s pattern.
bool HoldsFrame(const KsStreamReader::Buffer& buffer, LONGLONG number, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (buffer.bytes[i] != kstest::FramePattern(number, i))
            return false;
    }
    return true;
}

} // namespace

class KsStreamTest : public kstest::MinidriverTest {
protected:
    void SetUp() override
    {
        MinidriverTest::SetUp();
        if (HasFatalFailure())
            return;
        filter_ = OpenCapture();
        ASSERT_NE(filter_, INVALID_HANDLE_VALUE);
        reader_ = std::make_unique<KsStreamReader>(filter_);
    }
    void TearDown() override
    {
        reader_.reset(); // closes the pin, joins the request threads, unregisters the buffers
        if (filter_ != INVALID_HANDLE_VALUE)
            CloseHandle(filter_);
        MinidriverTest::TearDown();
    }
    // `count` video headers, each with a buffer of its own as large as a frame.
    std::vector<UCHAR> FrameHeaders(size_t count, std::vector<KsStreamReader::Buffer*>* buffers)
    {
        std::vector<const KsStreamReader::Buffer*> named;
        for (size_t i = 0; i < count; ++i) {
            buffers->push_back(&reader_->AddBuffer(kFrameBytes));
            named.push_back(buffers->back());
        }
        return KsStreamReader::Headers(KS_VIDEO_STREAM_HEADER_SIZE, named,
                                       std::vector<uint32_t>(count, kFrameBytes));
    }

    HANDLE filter_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<KsStreamReader> reader_;
};

TEST_F(KsStreamTest, FramesArriveInOrderWithIncreasingTimesAndPictureNumbers)
{
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kPeriod)), 0u);
    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    std::vector<KsStreamReader::Buffer*> buffers;
    KsStreamReader::Read& first = reader_->Submit(FrameHeaders(3, &buffers));
    // The second goes in once the first has reached the pin's queue (or is already done): the
    // reader's own count rises before the request gets there.
    ASSERT_TRUE(KsStreamReader::WaitFor([&] { return first.done || KsStreamReader::Queued() != 0; }));
    KsStreamReader::Read& second = reader_->Submit(FrameHeaders(2, &buffers));
    ASSERT_TRUE(reader_->WaitDone(first));
    ASSERT_TRUE(reader_->WaitDone(second));
    ASSERT_TRUE(first.result) << first.error;
    ASSERT_TRUE(second.result) << second.error;
    EXPECT_EQ(first.bytes, 3 * KS_VIDEO_STREAM_HEADER_SIZE);
    EXPECT_EQ(second.bytes, 2 * KS_VIDEO_STREAM_HEADER_SIZE);

    LONGLONG lastNumber = -1;
    LONGLONG lastDrops = 0;
    for (size_t i = 0; i < 5; ++i) {
        const KS_VIDEO_STREAM_HEADER h = i < 3 ? VideoHeader(first, i) : VideoHeader(second, i - 3);
        SCOPED_TRACE(i);
        EXPECT_EQ(h.Header.Size, KS_VIDEO_STREAM_HEADER_SIZE);
        EXPECT_EQ(h.Header.Data, buffers[i]->cookie);
        EXPECT_EQ(h.Header.FrameExtent, kFrameBytes);
        EXPECT_EQ(h.Header.DataUsed, kFrameBytes);
        EXPECT_EQ(h.Header.OptionsFlags, 0x111u);
        EXPECT_EQ(h.Header.Duration, LONGLONG(kPeriod));
        EXPECT_EQ(h.Header.PresentationTime.Numerator, 1u);
        EXPECT_EQ(h.Header.PresentationTime.Denominator, 1u);
        EXPECT_EQ(h.FrameInfo.ExtendedHeaderSize, sizeof(KS_FRAME_INFO));
        EXPECT_EQ(h.FrameInfo.dwFrameFlags, KS_VIDEO_FLAG_FRAME);
        // No master clock: the time counts frame periods.
        EXPECT_EQ(h.Header.PresentationTime.Time, h.FrameInfo.PictureNumber * LONGLONG(kPeriod));
        EXPECT_GT(h.FrameInfo.PictureNumber, lastNumber);
        EXPECT_GE(h.FrameInfo.DropCount, lastDrops);
        EXPECT_LE(h.FrameInfo.DropCount, h.FrameInfo.PictureNumber);
        EXPECT_TRUE(HoldsFrame(*buffers[i], h.FrameInfo.PictureNumber, kFrameBytes));
        EXPECT_TRUE(KsStreamReader::GuardIntact(*buffers[i]));
        lastNumber = h.FrameInfo.PictureNumber;
        lastDrops = h.FrameInfo.DropCount;
    }
    // The framework asked the pin to process as frames arrived in Run.
    std::lock_guard<std::mutex> hold(kstest::Pin().lock);
    EXPECT_GE(kstest::Pin().processCalls, 1);
}

TEST_F(KsStreamTest, WithAMasterClockFramesCarryTheClocksTime)
{
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kPeriod)), 0u);
    HANDLE clock = standin::CreateMachineClock();
    ASSERT_NE(clock, nullptr);
    ASSERT_EQ(reader_->SetMasterClock(clock), 0u);
    CloseHandle(clock); // the pin holds it
    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    std::vector<KsStreamReader::Buffer*> buffers;
    KsStreamReader::Read& read = reader_->Submit(FrameHeaders(3, &buffers));
    ASSERT_TRUE(reader_->WaitDone(read));
    ASSERT_TRUE(read.result) << read.error;
    LONGLONG lastTime = -1;
    for (size_t i = 0; i < 3; ++i) {
        const KS_VIDEO_STREAM_HEADER h = VideoHeader(read, i);
        EXPECT_GT(h.Header.PresentationTime.Time, lastTime);
        EXPECT_EQ(h.Header.OptionsFlags, 0x111u);
        // Frames are a period apart at least, so the clock has moved on by as much.
        if (lastTime >= 0) {
            EXPECT_GE(h.Header.PresentationTime.Time - lastTime, LONGLONG(kPeriod));
        }
        lastTime = h.Header.PresentationTime.Time;
    }
}

TEST_F(KsStreamTest, MalformedRequestsAreRefusedAndQueueNothing)
{
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kPeriod)), 0u);
    KsStreamReader::Buffer& buffer = reader_->AddBuffer(kFrameBytes);
    auto one = [&](uint32_t size, uint32_t cookie, uint32_t extent) {
        std::vector<UCHAR> headers(KS_VIDEO_STREAM_HEADER_SIZE, 0);
        KSSTREAM_HEADER h{};
        h.Size = size;
        h.Data = cookie;
        h.FrameExtent = extent;
        std::memcpy(headers.data(), &h, sizeof h);
        return headers;
    };
    std::vector<UCHAR> good = one(KS_VIDEO_STREAM_HEADER_SIZE, buffer.cookie, kFrameBytes);
    EXPECT_EQ(reader_->Send(good), DWORD(ERROR_BAD_COMMAND)); // the pin is in Stop
    ASSERT_EQ(reader_->SetState(KSSTATE_PAUSE), 0u);

    std::vector<UCHAR> shortHeader = one(sizeof(KSSTREAM_HEADER), buffer.cookie, kFrameBytes);
    EXPECT_EQ(reader_->Send(shortHeader), DWORD(ERROR_INVALID_USER_BUFFER)); // below the pin's 112
    std::vector<UCHAR> pastEnd = one(KS_VIDEO_STREAM_HEADER_SIZE + 8, buffer.cookie, kFrameBytes);
    EXPECT_EQ(reader_->Send(pastEnd), DWORD(ERROR_INVALID_USER_BUFFER));
    std::vector<UCHAR> tiny(40, 0);
    EXPECT_EQ(reader_->Send(tiny), DWORD(ERROR_INVALID_USER_BUFFER));
    std::vector<UCHAR> torn = good; // a whole header, then the start of another
    torn.resize(KS_VIDEO_STREAM_HEADER_SIZE + 40, 0);
    EXPECT_EQ(reader_->Send(torn), DWORD(ERROR_INVALID_USER_BUFFER));
    std::vector<UCHAR> unknownCookie = one(KS_VIDEO_STREAM_HEADER_SIZE, buffer.cookie + 1000, kFrameBytes);
    EXPECT_EQ(reader_->Send(unknownCookie), DWORD(ERROR_INVALID_PARAMETER));
    std::vector<UCHAR> noBuffer = one(KS_VIDEO_STREAM_HEADER_SIZE, 0, kFrameBytes);
    EXPECT_EQ(reader_->Send(noBuffer), DWORD(ERROR_INVALID_PARAMETER));
    std::vector<UCHAR> beyond = one(KS_VIDEO_STREAM_HEADER_SIZE, buffer.cookie, kFrameBytes + 1);
    EXPECT_EQ(reader_->Send(beyond), DWORD(ERROR_INVALID_USER_BUFFER));
    // A bad second header refuses the first too.
    std::vector<UCHAR> pair = good;
    const std::vector<UCHAR> bad = one(KS_VIDEO_STREAM_HEADER_SIZE, buffer.cookie, kFrameBytes + 1);
    pair.insert(pair.end(), bad.begin(), bad.end());
    EXPECT_EQ(reader_->Send(pair), DWORD(ERROR_INVALID_USER_BUFFER));
    EXPECT_EQ(reader_->Pending(), 0u);
    EXPECT_EQ(KsStreamReader::Queued(), 0u);
}

TEST_F(KsStreamTest, AFrameLargerThanTheBufferNeverWritesPastIt)
{
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kPeriod)), 0u);
    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    KsStreamReader::Buffer& small = reader_->AddBuffer(100);  // the frame needs 256
    KsStreamReader::Buffer& larger = reader_->AddBuffer(200); // but the header lends only 64 of it
    std::vector<UCHAR> headers =
        KsStreamReader::Headers(KS_VIDEO_STREAM_HEADER_SIZE, {&small, &larger, nullptr}, {100, 64, 0});
    KsStreamReader::Read& read = reader_->Submit(std::move(headers));
    ASSERT_TRUE(reader_->WaitDone(read));
    ASSERT_TRUE(read.result) << read.error;

    const KS_VIDEO_STREAM_HEADER a = VideoHeader(read, 0);
    EXPECT_EQ(a.Header.DataUsed, 100u);
    EXPECT_EQ(a.Header.FrameExtent, 100u);
    EXPECT_TRUE(HoldsFrame(small, a.FrameInfo.PictureNumber, 100));
    EXPECT_TRUE(KsStreamReader::GuardIntact(small));

    const KS_VIDEO_STREAM_HEADER b = VideoHeader(read, 1);
    EXPECT_EQ(b.Header.DataUsed, 64u);
    EXPECT_TRUE(HoldsFrame(larger, b.FrameInfo.PictureNumber, 64));
    for (size_t i = 64; i < 200; ++i)
        ASSERT_EQ(larger.bytes[i], 0) << "byte " << i << " past the frame extent was written";
    EXPECT_TRUE(KsStreamReader::GuardIntact(larger));

    // A header without a buffer still gets its frame's header.
    const KS_VIDEO_STREAM_HEADER c = VideoHeader(read, 2);
    EXPECT_EQ(c.Header.DataUsed, 0u);
    EXPECT_EQ(c.Header.Data, 0u);
    EXPECT_EQ(c.Header.OptionsFlags, 0x111u);
    EXPECT_GT(c.FrameInfo.PictureNumber, b.FrameInfo.PictureNumber);
}

TEST_F(KsStreamTest, ClosingThePinCancelsAPendingReadOnce)
{
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kNoFramesSoon)), 0u);
    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    std::vector<KsStreamReader::Buffer*> buffers;
    KsStreamReader::Read& read = reader_->Submit(FrameHeaders(2, &buffers));
    ASSERT_TRUE(KsStreamReader::WaitFor([&] { return KsStreamReader::Queued() == 2; }));
    EXPECT_FALSE(read.done);
    reader_->Close();
    ASSERT_TRUE(reader_->WaitDone(read));
    EXPECT_FALSE(read.result);
    EXPECT_EQ(read.error, DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(read.bytes, 0u);
    EXPECT_EQ(VideoHeader(read, 0).Header.DataUsed, 0u);
    EXPECT_EQ(VideoHeader(read, 1).Header.Data, buffers[1]->cookie);
    // The close walked the pin down: Run to Pause stopped the generator, Stop flushed.
    std::lock_guard<std::mutex> hold(kstest::Pin().lock);
    ASSERT_FALSE(kstest::Pin().steps.empty());
    EXPECT_EQ(kstest::Pin().steps.back(), std::make_pair(KSSTATE_STOP, KSSTATE_ACQUIRE));
}

TEST_F(KsStreamTest, CancelIoExCancelsTheHandlesPendingReadsAndLeavesThePinUsable)
{
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kPeriod)), 0u);
    ASSERT_EQ(reader_->SetState(KSSTATE_PAUSE), 0u); // frames wait: the generator runs in Run only
    EXPECT_FALSE(CancelIoEx(reader_->Pin(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_FOUND));
    std::vector<KsStreamReader::Buffer*> buffers;
    KsStreamReader::Read& first = reader_->Submit(FrameHeaders(1, &buffers));
    KsStreamReader::Read& second = reader_->Submit(FrameHeaders(2, &buffers));
    ASSERT_TRUE(KsStreamReader::WaitFor([&] { return KsStreamReader::Queued() == 3; }));
    EXPECT_EQ(reader_->Pending(), 2u);
    EXPECT_FALSE(CancelIo(reader_->Pin())); // this thread sent neither
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_FOUND));
    OVERLAPPED overlapped{};
    EXPECT_FALSE(CancelIoEx(reader_->Pin(), &overlapped));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_FOUND));
    EXPECT_FALSE(CancelIoEx(INVALID_HANDLE_VALUE, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

    EXPECT_TRUE(CancelIoEx(reader_->Pin(), nullptr));
    ASSERT_TRUE(reader_->WaitDone(first));
    ASSERT_TRUE(reader_->WaitDone(second));
    EXPECT_EQ(first.error, DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(second.error, DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(reader_->Pending(), 0u);

    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    KsStreamReader::Read& after = reader_->Submit(FrameHeaders(1, &buffers));
    ASSERT_TRUE(reader_->WaitDone(after));
    EXPECT_TRUE(after.result) << after.error;
    EXPECT_EQ(VideoHeader(after, 0).Header.DataUsed, kFrameBytes);
}

TEST_F(KsStreamTest, AClonedFrameStaysUntilItsCloneIsDeletedWhileLaterFramesComplete)
{
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kPeriod)), 0u);
    ASSERT_EQ(reader_->SetHold(kstest::kHoldFrames), 0u);
    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    std::vector<KsStreamReader::Buffer*> buffers;
    KsStreamReader::Read& held = reader_->Submit(FrameHeaders(1, &buffers));
    ASSERT_TRUE(KsStreamReader::WaitFor([&] { return reader_->HeldFrames() == 1; }));
    ASSERT_EQ(reader_->SetHold(kstest::kHoldNone), 0u);
    KsStreamReader::Read& later = reader_->Submit(FrameHeaders(1, &buffers));
    ASSERT_TRUE(reader_->WaitDone(later));
    EXPECT_TRUE(later.result) << later.error;
    // The filled frame is still with the pin: its request has not completed.
    EXPECT_FALSE(held.done);
    EXPECT_EQ(reader_->Pending(), 1u);
    EXPECT_EQ(reader_->HeldFrames(), 1u);

    EXPECT_EQ(KsStreamReader::Queued(), 1u);
    EXPECT_EQ(reader_->SetHold(3), DWORD(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(reader_->SetHold(kstest::kReleaseHeld), 0u);
    ASSERT_TRUE(reader_->WaitDone(held));
    ASSERT_TRUE(held.result) << held.error;
    EXPECT_EQ(reader_->HeldFrames(), 0u);
    const KS_VIDEO_STREAM_HEADER first = VideoHeader(held, 0);
    EXPECT_EQ(first.Header.DataUsed, kFrameBytes);
    EXPECT_LT(first.FrameInfo.PictureNumber, VideoHeader(later, 0).FrameInfo.PictureNumber);
    EXPECT_TRUE(HoldsFrame(*buffers[0], first.FrameInfo.PictureNumber, kFrameBytes));
}

TEST_F(KsStreamTest, StopCancelsQueuedAndHeldFramesAndWritesBackWhatWasFilled)
{
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kPeriod)), 0u);
    ASSERT_EQ(reader_->SetHold(kstest::kHoldFrames), 0u);
    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    std::vector<KsStreamReader::Buffer*> buffers;
    KsStreamReader::Read& filled = reader_->Submit(FrameHeaders(2, &buffers));
    ASSERT_TRUE(KsStreamReader::WaitFor([&] { return reader_->HeldFrames() == 2; }));
    ASSERT_EQ(reader_->SetState(KSSTATE_PAUSE), 0u); // the generator stops; the clones stay
    KsStreamReader::Read& waiting = reader_->Submit(FrameHeaders(1, &buffers));
    ASSERT_TRUE(KsStreamReader::WaitFor([&] { return KsStreamReader::Queued() == 3; }));
    EXPECT_FALSE(filled.done);

    ASSERT_EQ(reader_->SetState(KSSTATE_STOP), 0u);
    ASSERT_TRUE(reader_->WaitDone(filled));
    ASSERT_TRUE(reader_->WaitDone(waiting));
    EXPECT_EQ(filled.error, DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(waiting.error, DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(filled.bytes, 0u);
    EXPECT_EQ(reader_->HeldFrames(), 0u); // the pin let go of them when told they were cancelled
    // The frames the pin filled keep what it wrote; the one never filled has nothing.
    for (size_t i = 0; i < 2; ++i) {
        const KS_VIDEO_STREAM_HEADER h = VideoHeader(filled, i);
        EXPECT_EQ(h.Header.DataUsed, kFrameBytes);
        EXPECT_EQ(h.Header.OptionsFlags, 0x111u);
        EXPECT_TRUE(HoldsFrame(*buffers[i], h.FrameInfo.PictureNumber, kFrameBytes));
    }
    EXPECT_EQ(VideoHeader(waiting, 0).Header.DataUsed, 0u);
    EXPECT_EQ(reader_->Pending(), 0u);
    EXPECT_EQ(KsStreamReader::Queued(), 0u);
}

TEST_F(KsStreamTest, AVbiPinWritesTheVbiHeaderAndRefusesTheVideoOne)
{
    {
        std::lock_guard<std::mutex> hold(kstest::Pin().lock);
        kstest::Pin().vbiHeaders = true;
    }
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kPeriod)), 0u);
    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    KsStreamReader::Buffer& buffer = reader_->AddBuffer(kFrameBytes);
    std::vector<UCHAR> video = KsStreamReader::Headers(KS_VIDEO_STREAM_HEADER_SIZE, {&buffer}, {kFrameBytes});
    EXPECT_EQ(reader_->Send(video), DWORD(ERROR_INVALID_USER_BUFFER));

    KsStreamReader::Read& read =
        reader_->Submit(KsStreamReader::Headers(KS_VBI_STREAM_HEADER_SIZE, {&buffer}, {kFrameBytes}));
    ASSERT_TRUE(reader_->WaitDone(read));
    ASSERT_TRUE(read.result) << read.error;
    EXPECT_EQ(read.bytes, KS_VBI_STREAM_HEADER_SIZE);
    const auto h = KsStreamReader::HeaderAt<KS_VBI_STREAM_HEADER>(read, 0);
    EXPECT_EQ(h.Header.Size, KS_VBI_STREAM_HEADER_SIZE);
    EXPECT_EQ(h.Header.DataUsed, kFrameBytes);
    EXPECT_EQ(h.Header.OptionsFlags, 0x111u);
    EXPECT_EQ(h.Header.PresentationTime.Time, h.FrameInfo.PictureNumber * LONGLONG(kPeriod));
    EXPECT_EQ(h.FrameInfo.ExtendedHeaderSize, sizeof(KS_VBI_FRAME_INFO));
    EXPECT_EQ(h.FrameInfo.dwFrameFlags,
              (h.FrameInfo.PictureNumber & 1) ? ULONG(KS_VBI_FLAG_FIELD2) : ULONG(KS_VBI_FLAG_FIELD1));
    EXPECT_EQ(h.FrameInfo.dwSamplingFrequency, 28636363u);
    EXPECT_EQ(h.FrameInfo.VBIInfoHeader.StartLine, kstest::kVbiStartLine);
    EXPECT_EQ(h.FrameInfo.VBIInfoHeader.EndLine, kstest::kVbiEndLine);
    EXPECT_EQ(h.FrameInfo.VBIInfoHeader.SamplesPerLine, kstest::kVbiSamplesPerLine);
    EXPECT_EQ(h.FrameInfo.VBIInfoHeader.BufferSize, kstest::kVbiSamplesPerLine * 12);
    EXPECT_TRUE(HoldsFrame(buffer, h.FrameInfo.PictureNumber, kFrameBytes));
}

// A driver's Process may take its filter's control mutex, as ours does. A state change that finds
// frames waiting calls Process only once it has let go of that mutex: here one reader's Process
// holds the pin's processing lock, waiting, while a walk from Pause back to Run finds the reader's
// frame queued. Calling Process under the control mutex would leave each thread waiting on the other.
TEST_F(KsStreamTest, AStateChangeCallsProcessOutsideTheControlMutexThatProcessMayTake)
{
    kstest::PinLog& pin = kstest::Pin();
    ASSERT_EQ(reader_->Open(kstest::StreamFormat(16, 8, kNoFramesSoon)), 0u);
    ASSERT_EQ(reader_->SetState(KSSTATE_RUN), 0u);
    {
        std::lock_guard<std::mutex> hold(pin.lock);
        pin.processTakesControl = true;
        pin.processGateOpen = false;
    }
    std::vector<KsStreamReader::Buffer*> buffers;
    KsStreamReader::Read& read = reader_->Submit(FrameHeaders(1, &buffers));
    {
        std::unique_lock<std::mutex> hold(pin.lock);
        ASSERT_TRUE(pin.changed.wait_for(hold, std::chrono::seconds(60), [&] { return pin.inGatedProcess; }));
    }

    std::atomic<bool> walked{false};
    DWORD toPause = 1;
    DWORD toRun = 1;
    std::thread walker([&] {
        toPause = reader_->SetState(KSSTATE_PAUSE);
        toRun = reader_->SetState(KSSTATE_RUN);
        walked = true;
    });
    // The walk back to Run is inside the driver's SetDeviceState, under the control mutex.
    const auto backToRun = [&] {
        std::lock_guard<std::mutex> hold(pin.lock);
        return std::count(pin.steps.begin(), pin.steps.end(), std::make_pair(KSSTATE_RUN, KSSTATE_PAUSE)) == 2;
    };
    ASSERT_TRUE(KsStreamReader::WaitFor(backToRun, 60000));
    {
        std::lock_guard<std::mutex> hold(pin.lock);
        pin.processGateOpen = true;
        pin.changed.notify_all();
    }
    if (!KsStreamReader::WaitFor([&] { return walked.load(); }, 120000)) {
        // Both threads wait on each other for good: nothing can be joined or closed.
        std::fprintf(stderr, "deadlock: the state walk and the reader's Process wait on each other\n");
        std::_Exit(1);
    }
    walker.join();
    EXPECT_EQ(toPause, 0u);
    EXPECT_EQ(toRun, 0u);
    {
        std::lock_guard<std::mutex> hold(pin.lock);
        // The reader's call, and the walk's for the frame it found queued in Run.
        EXPECT_EQ(pin.processCalls, 2);
    }
    EXPECT_FALSE(read.done);
    ASSERT_EQ(reader_->SetState(KSSTATE_STOP), 0u);
    ASSERT_TRUE(reader_->WaitDone(read));
}
