// The output colour-space step: every format's bytes on small frames against the formats'
// definitions, pitches and plane order, the 75 % yellow bar in the three RGB formats, mirroring
// into the buffer's last row without touching the input, and the lent client buffer: written
// directly when it is large enough, left alone (and the frame copied) when it is one byte short.
#include <gtest/gtest.h>

#include "LendingTestSink.h"
#include "OutputUnpackers.h"
#include "StepCompareChecks.h"
#include "StepTestPictures.h"
#include "coutcolorspace.h"
#include "imaging/imaging.h"
#include "videoframe.h"

#include <cstring>
#include <memory>

namespace {

// Y row r = 10 r + 10 + x, U = 100 + 10 r + k, V = 200 + 10 r + k: every sample its own value.
VideoFramePtr FourByTwo()
{
    return MakePicture(4, 2, [](int plane, int x, int r) { return uint8_t((plane == 0 ? 10 : plane * 100) + 10 * r + x); });
}

// Runs one frame through a step with one lending child of `bufferBytes`.
struct OutputRun {
    std::unique_ptr<COutColorSpace> step;
    std::unique_ptr<LendingTestSink> sink;
    OutputRun(bool mirror, ULONG index, size_t bufferBytes)
        : step(new COutColorSpace(mirror, index)), sink(new LendingTestSink(bufferBytes))
    {
        sink->Connect(step.get());
    }
    ~OutputRun()
    {
        sink.reset();
        step.reset();
    }
    std::vector<uint8_t> Process(VideoFrame* frame)
    {
        step->Process(frame);
        return sink->BufferCopy();
    }
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    return std::vector<uint8_t>(values.begin(), values.end());
}

TEST(COutColorSpaceTest, FourByTwoReferenceBytesOfEachFormat)
{
    VideoFramePtr frame = FourByTwo();
    struct Expected {
        ULONG index;
        std::vector<uint8_t> bytes;
    };
    const Expected expected[] = {
        {COutColorSpace::kUyvy, Bytes({100, 10, 200, 11, 101, 12, 201, 13, 110, 20, 210, 21, 111, 22, 211, 23})},
        {COutColorSpace::kYuy2, Bytes({10, 100, 11, 200, 12, 101, 13, 201, 20, 110, 21, 210, 22, 111, 23, 211})},
        // Y, then the even chroma rows: U then V.
        {COutColorSpace::kI420, Bytes({10, 11, 12, 13, 20, 21, 22, 23, 100, 101, 200, 201})},
        {COutColorSpace::kGray, Bytes({10, 11, 12, 13, 20, 21, 22, 23})},
    };
    for (const Expected& e : expected) {
        OutputRun run(false, e.index, e.bytes.size());
        EXPECT_EQ(run.Process(frame.get()), e.bytes) << e.index;
        EXPECT_EQ(run.sink->LastDataSize(), e.bytes.size()) << e.index;
        EXPECT_TRUE(run.sink->LastWasLent()) << e.index;
    }
}

TEST(COutColorSpaceTest, PitchesAndSizesOfEveryFormat)
{
    // 722 wide: grey rows of 724 bytes, RGB555 1444, RGB24 2168, RGB32 2888, packed 4:2:2 1444.
    struct Size {
        ULONG index;
        size_t bytes;
    };
    const int w = 722, h = 6;
    const Size sizes[] = {{COutColorSpace::kGray, 724 * h},        {COutColorSpace::kRgb555, 1444 * h},
                          {COutColorSpace::kRgb24, 2168 * h},      {COutColorSpace::kRgb32, 2888 * h},
                          {COutColorSpace::kUyvy, 1444 * h},       {COutColorSpace::kYuy2, 1444 * h},
                          {COutColorSpace::kI420, I420Bytes(w, h)}, {COutColorSpace::kYvu9, Yvu9Bytes(w, h)}};
    VideoFramePtr frame = MakeRandomPicture(w, h, 3);
    for (const Size& s : sizes) {
        OutputRun run(false, s.index, 0);
        run.Process(frame.get());
        EXPECT_EQ(run.sink->LastDataSize(), s.bytes) << s.index;
        EXPECT_EQ(run.sink->LastBytesNeeded(), s.bytes) << s.index;
        EXPECT_EQ(COutColorSpace::LayoutFor(s.index, w, h).bytes, s.bytes) << s.index;
    }
    // Grey into a lent buffer: every row's 722 samples; the two bytes of padding are not written.
    OutputRun grey(false, COutColorSpace::kGray, 724 * h);
    const std::vector<uint8_t> out = grey.Process(frame.get());
    for (int r = 0; r < h; ++r) {
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(out[size_t(r) * 724 + x], SampleAt(*frame, 0, x, r));
        EXPECT_EQ(out[size_t(r) * 724 + 722], 0xA5);
        EXPECT_EQ(out[size_t(r) * 724 + 723], 0xA5);
    }
}

TEST(COutColorSpaceTest, Yvu9Of640x480HasTheVPlaneFirst)
{
    VideoFramePtr frame = MakeRandomPicture(640, 480, 11);
    OutputRun run(false, COutColorSpace::kYvu9, 345600);
    const std::vector<uint8_t> out = run.Process(frame.get());
    ASSERT_TRUE(run.sink->LastWasLent());
    EXPECT_EQ(run.sink->LastDataSize(), 345600u);
    const UnpackedYuv planes = UnpackYvu9(out.data(), 640, 480);
    ASSERT_EQ(planes.chromaWidth, 160);
    ASSERT_EQ(planes.chromaHeight, 120);
    for (int r = 0; r < 480; ++r)
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(planes.Y(x, r), SampleAt(*frame, 0, x, r));
    // Each chroma plane is the 4:2:2 plane resized linearly by 0.5 across and 0.25 down.
    for (int p : {2, 1}) {
        std::vector<uint8_t> expected(160 * 120);
        ASSERT_EQ(ResizePlane(frame->GetPlane(p), 320, 480, frame->GetStride(p), {0, 0, 320, 480}, expected.data(), 160,
                              160, 120, 0.5, 0.25, 2),
                  StatusOk);
        const std::vector<uint8_t>& got = p == 2 ? planes.v : planes.u;
        EXPECT_EQ(got, expected) << "plane " << p;
    }
}

TEST(COutColorSpaceTest, SeventyFivePercentYellowInTheRgbFormats)
{
    VideoFramePtr frame = MakePicture(8, 2, 161, 43, 139);
    OutputRun rgb24(false, COutColorSpace::kRgb24, 48);
    OutputRun rgb32(false, COutColorSpace::kRgb32, 64);
    OutputRun rgb555(false, COutColorSpace::kRgb555, 32);
    const std::vector<uint8_t> b24 = rgb24.Process(frame.get());
    const std::vector<uint8_t> b32 = rgb32.Process(frame.get());
    const std::vector<uint8_t> b555 = rgb555.Process(frame.get());
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(b24[3 * i], 0);
        EXPECT_EQ(b24[3 * i + 1], 193);
        EXPECT_EQ(b24[3 * i + 2], 186);
        EXPECT_EQ(b32[4 * i], 0);
        EXPECT_EQ(b32[4 * i + 1], 188);
        EXPECT_EQ(b32[4 * i + 2], 174);
        EXPECT_EQ(b32[4 * i + 3], 0);
        EXPECT_EQ(b555[2 * i] | (b555[2 * i + 1] << 8), 0x5F00);
    }
    // Read back through the formats' definitions: red 186, green 193, blue 0.
    EXPECT_EQ(UnpackBgr24(b24.data(), 8, 2, false)[5], (UnpackedRgb{186, 193, 0, 0}));
    EXPECT_EQ(UnpackRgb555(b555.data(), 8, 2, false)[5], (UnpackedRgb{186 >> 3, 193 >> 3, 0, 0}));
}

TEST(COutColorSpaceTest, BottomUpRgb24PutsTheTopRowLastAndLeavesTheInput)
{
    // 20 wide: a row's first 16 pixels take the vector arithmetic (white 255), the last 4 the
    // scalar one (254).
    const int w = 20, h = 4;
    VideoFramePtr frame = MakePicture(w, h, [](int plane, int, int r) { return uint8_t(plane ? 128 : (r == 0 ? 235 : 16)); });
    const std::vector<uint8_t> before = Snapshot(*frame);
    const size_t pitch = PackedRowBytes(3, w);
    OutputRun run(true, COutColorSpace::kRgb24, pitch * h);
    const std::vector<uint8_t> out = run.Process(frame.get());
    ASSERT_TRUE(run.sink->LastWasLent());
    for (size_t i = 0; i < size_t(w) * 3; ++i) {
        EXPECT_EQ(out[pitch * (h - 1) + i], i < 48 ? 255 : 254) << i;
        EXPECT_EQ(out[i], 0) << i;
    }
    const std::vector<UnpackedRgb> picture = UnpackBgr24(out.data(), w, h, true);
    EXPECT_EQ(picture[0], (UnpackedRgb{255, 255, 255, 0}));
    EXPECT_EQ(picture[w], (UnpackedRgb{0, 0, 0, 0}));
    EXPECT_EQ(Snapshot(*frame), before);
}

TEST(COutColorSpaceTest, MirroringFlipsEveryPlaneOfEveryFormat)
{
    const int w = 24, h = 8;
    VideoFramePtr frame = MakeRandomPicture(w, h, 5);
    const std::vector<uint8_t> before = Snapshot(*frame);
    for (ULONG index = 0; index < COutColorSpace::kOutputCount; ++index) {
        const COutColorSpace::OutputLayout layout = COutColorSpace::LayoutFor(index, w, h);
        OutputRun upright(false, index, layout.bytes);
        OutputRun mirrored(true, index, layout.bytes);
        const std::vector<uint8_t> a = upright.Process(frame.get());
        const std::vector<uint8_t> b = mirrored.Process(frame.get());
        for (ULONG p = 0; p < layout.planes; ++p)
            for (LONG r = 0; r < layout.rows[p]; ++r)
                ASSERT_EQ(0, std::memcmp(&a[layout.offset[p] + size_t(r) * layout.pitch[p]],
                                         &b[layout.offset[p] + size_t(layout.rows[p] - 1 - r) * layout.pitch[p]],
                                         size_t(layout.pitch[p])))
                    << "format " << index << " plane " << p << " row " << r;
    }
    EXPECT_EQ(Snapshot(*frame), before);
}

TEST(COutColorSpaceTest, PackedAndPlanarFormatsAgreeWithTheirDefinitions)
{
    const int w = 16, h = 6;
    VideoFramePtr frame = MakeRandomPicture(w, h, 9);
    auto check422 = [&](const UnpackedYuv& got) {
        for (int r = 0; r < h; ++r) {
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(got.Y(x, r), SampleAt(*frame, 0, x, r));
            for (int k = 0; k < w / 2; ++k) {
                ASSERT_EQ(got.U(k, r), SampleAt(*frame, 1, k, r));
                ASSERT_EQ(got.V(k, r), SampleAt(*frame, 2, k, r));
            }
        }
    };
    OutputRun uyvy(false, COutColorSpace::kUyvy, size_t(w) * h * 2);
    check422(UnpackUyvy(uyvy.Process(frame.get()).data(), w, h));
    OutputRun yuy2(false, COutColorSpace::kYuy2, size_t(w) * h * 2);
    check422(UnpackYuy2(yuy2.Process(frame.get()).data(), w, h));
    OutputRun i420(false, COutColorSpace::kI420, I420Bytes(w, h));
    const UnpackedYuv planar = UnpackI420(i420.Process(frame.get()).data(), w, h);
    for (int r = 0; r < h / 2; ++r)
        for (int k = 0; k < w / 2; ++k) {
            ASSERT_EQ(planar.U(k, r), SampleAt(*frame, 1, k, 2 * r));
            ASSERT_EQ(planar.V(k, r), SampleAt(*frame, 2, k, 2 * r));
        }
}

TEST(COutColorSpaceTest, I420OfAnOddHeightWritesEveryRowWithTheStandardPlaneOffsets)
{
    // 720 x 487, the full standard-definition frame: U after the 350,640 luma bytes, V after
    // 360 x 244 chroma bytes, the last chroma rows from the picture's last row.
    const COutColorSpace::OutputLayout full = COutColorSpace::LayoutFor(COutColorSpace::kI420, 720, 487);
    EXPECT_EQ(full.offset[1], 350640u);
    EXPECT_EQ(full.offset[2], 350640u + 360u * 244u);
    EXPECT_EQ(full.rows[1], 244);
    EXPECT_EQ(full.rows[2], 244);
    EXPECT_EQ(full.bytes, 350640u + 2u * 360u * 244u);
    EXPECT_EQ(full.bytes, I420Bytes(720, 487));

    for (const int h : {7, 1, 487}) {
        SCOPED_TRACE(h);
        const int w = h == 487 ? 720 : 16;
        VideoFramePtr frame = MakeRandomPicture(w, h, 31 + h);
        OutputRun run(false, COutColorSpace::kI420, I420Bytes(w, h));
        const std::vector<uint8_t> out = run.Process(frame.get());
        ASSERT_TRUE(run.sink->LastWasLent());
        EXPECT_EQ(run.sink->LastDataSize(), I420Bytes(w, h));
        const UnpackedYuv planes = UnpackI420(out.data(), w, h);
        ASSERT_EQ(planes.chromaHeight, (h + 1) / 2);
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(planes.Y(x, r), SampleAt(*frame, 0, x, r)) << x << "," << r;
        // Chroma row r from the picture's row 2 r, the last one included.
        for (int r = 0; r < planes.chromaHeight; ++r)
            for (int k = 0; k < w / 2; ++k) {
                ASSERT_EQ(planes.U(k, r), SampleAt(*frame, 1, k, 2 * r)) << k << "," << r;
                ASSERT_EQ(planes.V(k, r), SampleAt(*frame, 2, k, 2 * r)) << k << "," << r;
            }
    }
}

TEST(COutColorSpaceTest, LentBufferOfExactlyTheSizeIsWrittenDirectly)
{
    VideoFramePtr frame = MakeRandomPicture(32, 8, 21);
    const size_t bytes = PackedRowBytes(4, 32) * 8;
    OutputRun exact(false, COutColorSpace::kRgb32, bytes);
    const std::vector<uint8_t> written = exact.Process(frame.get());
    EXPECT_EQ(exact.sink->Lends(), 1u);
    EXPECT_EQ(exact.sink->Copies(), 0u);
    EXPECT_TRUE(exact.sink->LastWasLent());
    EXPECT_TRUE(exact.step->LastOutputWasLent());
    EXPECT_EQ(exact.sink->LastData(), exact.sink->Buffer());
    // The output frame has its own buffer and layout back.
    VideoFrame* output = exact.step->GetOutputVideoFrame();
    ASSERT_NE(output, nullptr);
    EXPECT_NE(output->GetFrameData(), exact.sink->Buffer());
    EXPECT_EQ(output->GetPlane(0), output->GetFrameData());
    EXPECT_EQ(output->GetDataSize(), bytes);

    // One byte short: not lent; the sink copies what fits of the frame's own buffer.
    OutputRun shortBy1(false, COutColorSpace::kRgb32, bytes - 1);
    const std::vector<uint8_t> copied = shortBy1.Process(frame.get());
    EXPECT_EQ(shortBy1.sink->LendRequests(), 1u);
    EXPECT_EQ(shortBy1.sink->Lends(), 0u);
    EXPECT_EQ(shortBy1.sink->Copies(), 1u);
    EXPECT_FALSE(shortBy1.step->LastOutputWasLent());
    EXPECT_EQ(shortBy1.sink->LastData(), shortBy1.step->GetOutputVideoFrame()->GetFrameData());
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), written.begin()));
}

TEST(COutColorSpaceTest, TwoChildrenBorrowNothing)
{
    VideoFramePtr frame = MakeRandomPicture(16, 4, 2);
    COutColorSpace step(false, COutColorSpace::kUyvy);
    LendingTestSink first(128), second(128);
    first.Connect(&step);
    second.Connect(&step);
    step.Process(frame.get());
    EXPECT_EQ(first.LendRequests() + second.LendRequests(), 0u);
    EXPECT_EQ(first.Copies(), 1u);
    EXPECT_EQ(second.Copies(), 1u);
    EXPECT_EQ(first.BufferCopy(), second.BufferCopy());
    EXPECT_FALSE(first.LastWritable());
    first.Disconnect();
    second.Disconnect();
}

TEST(COutColorSpaceTest, OutputFollowsTheInputSizeAndAttributes)
{
    OutputRun run(false, COutColorSpace::kYuy2, 0);
    VideoFramePtr small = MakePicture(8, 2, 50, 60, 70);
    small->SetFrameNumber(333667);
    small->SetSequenceNumber(42);
    run.step->Process(small.get());
    EXPECT_EQ(run.sink->LastWidth(), 8);
    EXPECT_EQ(run.sink->LastDataSize(), 32u);
    EXPECT_EQ(run.sink->LastFrame()->GetFrameNumber(), 333667);
    EXPECT_EQ(run.sink->LastFrame()->GetSequenceNumber(), 42u);
    EXPECT_TRUE(run.sink->LastWritable());
    VideoFramePtr large = MakePicture(20, 4, 50, 60, 70);
    run.step->Process(large.get());
    EXPECT_EQ(run.sink->LastWidth(), 20);
    EXPECT_EQ(run.sink->LastHeight(), 4);
    EXPECT_EQ(run.sink->LastDataSize(), 160u);
}

TEST(COutColorSpaceTest, OnlyEightBitFramesAreConverted)
{
    OutputRun run(false, COutColorSpace::kUyvy, 64);
    VideoFramePtr frame = MakePicture(8, 2, 50, 60, 70);
    frame->SetFormat(10);
    run.step->Process(frame.get());
    EXPECT_EQ(run.sink->Deliveries(), 0u);
    run.step->Process(nullptr);
    EXPECT_EQ(run.sink->Deliveries(), 0u);
    VideoFrame empty;
    run.step->Process(&empty);
    EXPECT_EQ(run.sink->Deliveries(), 0u);
    // No output index 8: nothing to convert into.
    OutputRun unknown(false, COutColorSpace::kOutputCount, 64);
    VideoFramePtr good = MakePicture(8, 2, 50, 60, 70);
    unknown.step->Process(good.get());
    EXPECT_EQ(unknown.sink->Deliveries(), 0u);
    EXPECT_EQ(COutColorSpace::LayoutFor(COutColorSpace::kRgb24, COutColorSpace::kMaximumSide + 1, 2).bytes, 0u);
}

TEST(COutColorSpaceTest, ComparesMirrorAndIndex)
{
    COutColorSpace a(true, COutColorSpace::kRgb24), b(true, COutColorSpace::kRgb24);
    COutColorSpace c(false, COutColorSpace::kRgb24), d(true, COutColorSpace::kRgb32);
    ExpectComparesLike(a, b, {&c, &d});
}

} // namespace
