// CColorSpaces: the chroma tables (saturation -100, the 64-bit products and the 16..240 limits),
// all-zero tables computed from the values, both passes against a model of the tables in and out
// of place, U and V both read before either is written, the in-place rule under one and two
// children, neutral frames passed on, SetTables from another thread while frames run, a short
// block, logged exceptions and the compare.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "FakeWorkItemOwner.h"
#include "FieldPictureFrames.h"
#include "RecordingChildStep.h"
#include "VideoStepsFixture.h"
#include "ccolorspaces.h"
#include "frameprocessingsource.h"
#include "procamptables.h"
#include "videoframe.h"

namespace {

using stepstest::FillPattern;
using stepstest::PictureBytes;
using stepstest::RecordingChildStep;

// A block of values with their tables from the shared formulas (or all zero).
ProcAmpBlock Block(LONG brightness, LONG contrast, LONG hue, LONG saturation, LONG gamma, bool zeroTables = false)
{
    ProcAmpBlock b{};
    b.hue = hue;
    b.saturation = saturation;
    b.contrast = contrast;
    b.contrastNeutral = 100;
    b.gamma = gamma;
    b.gammaNeutral = 100;
    b.brightness = brightness;
    if (!zeroTables) {
        ProcAmpTables t;
        ComputeProcAmpTables(ProcAmpValues{brightness, 0, contrast, hue, gamma}, &t);
        std::memcpy(b.lumaTable, t.luma, sizeof t.luma);
        std::memcpy(b.sineTable, t.sine, sizeof t.sine);
        std::memcpy(b.cosineTable, t.cosine, sizeof t.cosine);
    }
    return b;
}

// The chroma formula for a model of the picture: 128 + sum x k / 10^7 (truncated toward zero,
// as C++ divides), limited to 16..240.
int Chroma(long long sum, long long k)
{
    const long long v = 128 + sum * k / 10000000;
    return int(v < 16 ? 16 : (v > 240 ? 240 : v));
}

class ColorSpacesTest : public stepstest::VideoStepsTest {
protected:
    void Make(const ProcAmpBlock& block, int children = 1)
    {
        step = std::make_unique<CColorSpaces>();
        step->LoadSettings(block);
        step->UpdateSettings();
        recorders.clear();
        for (int i = 0; i < children; ++i) {
            recorders.push_back(new RecordingChildStep(kAlgorithmIdEnd, true));
            ASSERT_TRUE(recorders.back()->Connect(step.get()));
        }
    }
    static std::unique_ptr<VideoFrame> Frame(int width, int height, UCHAR y, UCHAR u, UCHAR v)
    {
        auto frame = std::make_unique<VideoFrame>(width, height, 8, true);
        frame->Fill(y, u, v);
        return frame;
    }
    // The expected picture: Y through the luma table, every (U, V) through the model.
    static std::vector<UCHAR> Model(const VideoFrame* in, const ProcAmpBlock& b, bool luma, bool chroma)
    {
        const long long k = b.saturation + 100;
        std::vector<UCHAR> out;
        const int w = in->GetWidth();
        for (int r = 0; r < in->GetHeight(); ++r)
            for (int x = 0; x < w; ++x) {
                const UCHAR s = in->GetPlane(0)[r * in->GetStride(0) + x];
                out.push_back(luma ? b.lumaTable[s] : s);
            }
        for (int plane = 1; plane < 3; ++plane)
            for (int r = 0; r < in->GetHeight(); ++r)
                for (int x = 0; x < w / 2; ++x) {
                    const long long u = in->GetPlane(1)[r * in->GetStride(1) + x];
                    const long long v = in->GetPlane(2)[r * in->GetStride(2) + x];
                    if (!chroma) {
                        out.push_back(UCHAR(plane == 1 ? u : v));
                        continue;
                    }
                    // U' = U cos - V sin, V' = V cos + U sin (tables scaled by 100000).
                    const long long sum = plane == 1 ? (long long)b.cosineTable[u] - b.sineTable[v]
                                                     : (long long)b.cosineTable[v] + b.sineTable[u];
                    out.push_back(UCHAR(Chroma(sum, k)));
                }
        return out;
    }

    std::unique_ptr<CColorSpaces> step;
    std::vector<RecordingChildStep*> recorders;
};

TEST_F(ColorSpacesTest, SaturationMinusHundredMakesEveryChromaSample128)
{
    Make(Block(0, 100, 30, -100, 100));
    EXPECT_TRUE(step->IsHueSaturationActive());
    EXPECT_FALSE(step->IsBrightnessContrastGammaActive());
    for (int u = 0; u < 256; ++u)
        for (int v = 0; v < 256; ++v) {
            ASSERT_EQ(step->NewU(UCHAR(u), UCHAR(v)), 128);
            ASSERT_EQ(step->NewV(UCHAR(u), UCHAR(v)), 128);
        }
    auto frame = Frame(32, 10, 90, 20, 230);
    FillPattern(frame.get(), 3);
    frame->SetWritable(true);
    step->Process(frame.get());
    const auto& bytes = recorders[0]->Frames().at(0).bytes;
    for (size_t i = 32 * 10; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], 128) << i;
}

TEST_F(ColorSpacesTest, AllZeroTablesAreComputedFromTheValues)
{
    Make(Block(20, 100, 0, 0, 100, true));
    EXPECT_TRUE(step->IsBrightnessContrastGammaActive());
    EXPECT_EQ(step->GetSettings().lumaTable[100], 151);
    auto frame = Frame(16, 10, 100, 128, 128);
    frame->GetPlane(0)[1] = 0;
    frame->SetWritable(true);
    step->Process(frame.get());
    EXPECT_EQ(frame->GetPlane(0)[0], 151);
    EXPECT_EQ(frame->GetPlane(0)[1], 51);
    // Tables with any entry set are taken as they are.
    ProcAmpBlock own = Block(20, 100, 0, 0, 100, true);
    own.lumaTable[100] = 7;
    Make(own);
    EXPECT_EQ(step->GetSettings().lumaTable[100], 7);
    EXPECT_EQ(step->GetSettings().lumaTable[0], 0);
}

TEST_F(ColorSpacesTest, ChromaProductsAreTakenInSixtyFourBits)
{
    Make(Block(0, 100, 0, 100, 100));
    // Hue 0, saturation 100: (22 x 100000) x 200 / 10^7 = 44.
    EXPECT_EQ(step->NewU(150, 128), 172);
    // (122 x 100000) x 200 = 2.44e9 does not fit 32 bits (wrapped, it would give 16).
    EXPECT_EQ(step->NewU(250, 128), 240);
    EXPECT_EQ(step->NewV(128, 250), 240);
    EXPECT_EQ(step->NewU(0, 128), 16);
    auto frame = Frame(8, 10, 50, 250, 150);
    frame->SetWritable(true);
    step->Process(frame.get());
    EXPECT_EQ(frame->GetPlane(1)[0], 240);
    EXPECT_EQ(frame->GetPlane(2)[0], 172);
}

TEST_F(ColorSpacesTest, ChromaNeverLeavesSixteenTo240EvenForForeignTables)
{
    ProcAmpBlock b = Block(0, 100, 45, 100, 100);
    b.saturation = 0x7FFFFFF0; // k far beyond a sane value: the products overflow 64 bits
    for (int j = 0; j < 256; ++j) {
        b.sineTable[j] = (j & 1) ? 0x7FFFFFFF : -0x7FFFFFFF;
        b.cosineTable[j] = (j & 2) ? 0x7FFFFFFF : -0x7FFFFFFF;
    }
    Make(b);
    for (int u = 0; u < 256; ++u)
        for (int v = 0; v < 256; ++v) {
            const int nu = step->NewU(UCHAR(u), UCHAR(v));
            const int nv = step->NewV(UCHAR(u), UCHAR(v));
            ASSERT_TRUE(nu >= 16 && nu <= 240 && nv >= 16 && nv <= 240) << u << "," << v;
        }
    // cos - sin with both at the extremes: -2^32 x k is far below: 16; 2^32 x k far above: 240.
    EXPECT_EQ(step->NewU(0, 1), 16);
    EXPECT_EQ(step->NewU(2, 0), 240);
}

TEST_F(ColorSpacesTest, BothPassesInPlaceMatchTheTableModelWithUAndVReadBeforeWriting)
{
    const ProcAmpBlock b = Block(-12, 130, 90, 40, 160);
    Make(b);
    auto frame = Frame(64, 20, 0, 0, 0);
    FillPattern(frame.get(), 11);
    const auto expected = Model(frame.get(), b, true, true);
    frame->SetWritable(true);
    step->Process(frame.get());
    const auto& r = recorders[0]->Frames().at(0);
    EXPECT_EQ(r.y, frame->GetPlane(0)) << "one child of no parent: in place";
    EXPECT_EQ(r.bytes, expected);
}

TEST_F(ColorSpacesTest, OutOfPlaceEachPassCopiesThePlanesItDoesNotAdjust)
{
    const ProcAmpBlock lumaOnly = Block(10, 100, 0, 0, 100);
    const ProcAmpBlock chromaOnly = Block(0, 100, -30, 20, 100);
    for (const ProcAmpBlock* b : {&lumaOnly, &chromaOnly}) {
        Make(*b);
        auto frame = Frame(48, 13, 0, 0, 0); // 13 rows: the row-by-row copy
        FillPattern(frame.get(), 5);
        const auto before = PictureBytes(frame.get());
        frame->SetWritable(false);
        step->Process(frame.get());
        const auto& r = recorders[0]->Frames().at(0);
        EXPECT_NE(r.y, frame->GetPlane(0));
        EXPECT_EQ(PictureBytes(frame.get()), before) << "the input is not written";
        EXPECT_EQ(r.bytes, Model(frame.get(), *b, b == &lumaOnly, b == &chromaOnly));
    }
}

TEST_F(ColorSpacesTest, UnderTwoChildrenTheSiblingSeesTheInputAndWithOneChildTheStepWorksInPlace)
{
    auto parent = std::make_unique<RecordingChildStep>(kAlgorithmIdCrop);
    auto* procAmp = new CColorSpaces();
    procAmp->LoadSettings(Block(20, 150, 45, 50, 80));
    procAmp->UpdateSettings();
    auto* below = new RecordingChildStep(kAlgorithmIdEnd, true);
    auto* sibling = new RecordingChildStep(kAlgorithmIdEnd, true);
    ASSERT_TRUE(procAmp->Connect(parent.get()));
    ASSERT_TRUE(below->Connect(procAmp));
    ASSERT_TRUE(sibling->Connect(parent.get()));
    auto frame = Frame(32, 10, 0, 0, 0);
    FillPattern(frame.get(), 9);
    const auto before = PictureBytes(frame.get());
    frame->SetWritable(true);
    parent->Process(frame.get());
    EXPECT_EQ(sibling->Frames().at(0).bytes, before);
    EXPECT_EQ(PictureBytes(frame.get()), before);
    EXPECT_NE(below->Frames().at(0).y, frame->GetPlane(0));
    EXPECT_NE(below->Frames().at(0).bytes, before);

    // One child: the frame arrives writable and is changed where it is.
    sibling->Disconnect();
    delete sibling;
    frame->SetWritable(true);
    parent->Process(frame.get());
    EXPECT_EQ(below->Frames().at(1).y, frame->GetPlane(0));
    EXPECT_EQ(below->Frames().at(1).bytes, below->Frames().at(0).bytes);
}

TEST_F(ColorSpacesTest, NeutralSettingsOrTablesNotLoadedPassTheFrameOn)
{
    Make(Block(0, 100, 0, 0, 100));
    EXPECT_TRUE(step->AreTablesLoaded());
    auto frame = Frame(16, 10, 77, 66, 55);
    step->Process(frame.get());
    EXPECT_EQ(recorders[0]->Frames().at(0).frame, frame.get());

    CColorSpaces fresh; // values loaded, tables not built
    fresh.LoadSettings(Block(20, 100, 0, 0, 100));
    EXPECT_FALSE(fresh.AreTablesLoaded());
    auto* recorder = new RecordingChildStep(kAlgorithmIdEnd, true);
    ASSERT_TRUE(recorder->Connect(&fresh));
    frame->SetWritable(true);
    fresh.Process(frame.get());
    EXPECT_EQ(frame->GetPlane(0)[0], 77);
}

TEST_F(ColorSpacesTest, SetTablesTakesTheBlockAndRefusesAShortOne)
{
    Make(Block(0, 100, 0, 0, 100));
    ProcAmpBlock next = Block(-20, 100, 0, -100, 100);
    std::vector<ULONG> words(kProcAmpBlockWords);
    std::memcpy(words.data(), &next, sizeof next);
    EXPECT_FALSE(step->SetTables(words.data(), kProcAmpBlockWords - 1));
    EXPECT_FALSE(step->SetTables(nullptr, kProcAmpBlockWords));
    EXPECT_FALSE(step->IsBrightnessContrastGammaActive());
    EXPECT_TRUE(step->SetTables(words.data(), kProcAmpBlockWords));
    EXPECT_TRUE(step->IsBrightnessContrastGammaActive());
    EXPECT_TRUE(step->IsHueSaturationActive());
    EXPECT_EQ(step->GetSettings().brightness, -20);
    EXPECT_EQ(step->NewU(200, 30), 128);
    // All-zero tables in the block are computed from its values.
    ProcAmpBlock zero = Block(20, 100, 0, 0, 100, true);
    std::memcpy(words.data(), &zero, sizeof zero);
    EXPECT_TRUE(step->SetTables(words.data(), kProcAmpBlockWords));
    EXPECT_EQ(step->GetSettings().lumaTable[0], 51);
}

// The stream's processing runs on this thread while another thread swaps the settings.
class ColorSpacesSetTablesTest : public ColorSpacesTest {};

TEST_F(ColorSpacesSetTablesTest, FramesAreAdjustedWhollyWithTheOldOrWhollyWithTheNewSettings)
{
    const ProcAmpBlock a = Block(20, 120, 30, 50, 90);
    const ProcAmpBlock b = Block(-15, 80, -60, -40, 140);
    FrameProcessingSource source;
    streamtest::FakeWorkItemOwner owner;
    source.SetOwner(&owner);
    auto* procAmp = new CColorSpaces();
    procAmp->LoadSettings(a);
    procAmp->UpdateSettings();
    ASSERT_TRUE(procAmp->Connect(&source));
    auto* recorder = new RecordingChildStep(kAlgorithmIdEnd, true);
    ASSERT_TRUE(recorder->Connect(procAmp));

    VideoFrame input(64, 20, 8, true);
    FillPattern(&input, 17);
    const auto expectedA = Model(&input, a, true, true);
    const auto expectedB = Model(&input, b, true, true);
    ASSERT_NE(expectedA, expectedB);

    std::vector<ULONG> blockA(kProcAmpBlockWords), blockB(kProcAmpBlockWords);
    std::memcpy(blockA.data(), &a, sizeof a);
    std::memcpy(blockB.data(), &b, sizeof b);
    VideoFrame frame(64, 20, 8, true);
    auto run = [&] {
        frame.CopyFrame(&input);
        FrameWorkItem item{};
        owner.InitializeEntry(&item, &frame);
        source.Process(&item);
    };
    run(); // frame 0: settings a
    // The writer swaps 201 times, ending at b, while frames 1 to 498 run; frame 499 runs after it.
    constexpr int kSwaps = 201;
    std::thread writer([&] {
        for (int i = 0; i < kSwaps; ++i)
            EXPECT_TRUE(procAmp->SetTables(i % 2 == 0 ? blockB.data() : blockA.data(), kProcAmpBlockWords));
    });
    for (int i = 1; i < 499; ++i)
        run();
    writer.join();
    run();

    ASSERT_EQ(recorder->Frames().size(), 500u);
    int withA = 0;
    int withB = 0;
    for (const auto& r : recorder->Frames()) {
        if (r.bytes == expectedA)
            ++withA;
        else if (r.bytes == expectedB)
            ++withB;
        else
            ADD_FAILURE() << "a frame adjusted with parts of both settings";
    }
    EXPECT_EQ(recorder->Frames().front().bytes, expectedA);
    EXPECT_EQ(recorder->Frames().back().bytes, expectedB);
    EXPECT_EQ(withA + withB, 500);
    EXPECT_EQ(owner.TotalReturns(), 500u);
}

TEST_F(ColorSpacesTest, ExceptionsAreLoggedTenTimesThenOnlyCounted)
{
    Make(Block(10, 100, 0, 0, 100));
    auto frame = Frame(16, 10, 100, 128, 128);
    for (int i = 0; i < 13; ++i) {
        frame->SetWritable(true);
        InjectPlaneWorkExceptions(1);
        step->Process(frame.get());
    }
    EXPECT_EQ(frame->GetPlane(0)[0], 100) << "every adjustment ended at its exception";
    EXPECT_EQ(step->GetExceptionCount(), 13u);
    const auto work = LoggedWork(0xC0071085);
    ASSERT_EQ(work.size(), 10u);
    EXPECT_EQ(work[0], u"adjust brightness, contrast and gamma");
    EXPECT_EQ(recorders[0]->Frames().size(), 13u);
}

TEST_F(ColorSpacesTest, CompareTakesTheFlagsAndValuesButNotTheTables)
{
    CColorSpaces a, b, c;
    a.LoadSettings(Block(5, 100, 0, 0, 100));
    b.LoadSettings(Block(5, 100, 0, 0, 100));
    ProcAmpBlock other = Block(5, 100, 0, 0, 100);
    other.lumaTable[3] = 99;
    c.LoadSettings(other);
    a.UpdateSettings();
    b.UpdateSettings();
    c.UpdateSettings();
    EXPECT_TRUE(a.IsEqual(&b));
    EXPECT_TRUE(a.IsEqual(&c));
    CColorSpaces d;
    d.LoadSettings(Block(6, 100, 0, 0, 100));
    d.UpdateSettings();
    EXPECT_FALSE(a.IsEqual(&d));
    ProcAmpBlock neutralMoved = Block(5, 100, 0, 0, 100);
    neutralMoved.gammaNeutral = 90;
    CColorSpaces e;
    e.LoadSettings(neutralMoved);
    e.UpdateSettings();
    EXPECT_FALSE(a.IsEqual(&e));
    EXPECT_FALSE(a.IsEqual(nullptr));
}

} // namespace
