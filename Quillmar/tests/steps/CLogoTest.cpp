// The logo step on bitmap files of the test's own drive: the 100 x 50 red-and-magenta logo keyed
// on magenta (widened to 112, upright, the same in every file layout), the blend of a transparency
// percentage with its ties to even, the placement rules (minimum size, reference scaling, keeping
// inside the frame after the rounding to 16), refused files that leave frames unchanged, the
// work frame when the frame may not be written, the per-plane guard and the compare.
#include <gtest/gtest.h>

#include "LendingTestSink.h"
#include "LogoBitmapFiles.h"
#include "StepCompareChecks.h"
#include "StepTestPictures.h"
#include "clogo.h"
#include "imaging/imaging.h"
#include "km/pool.h"
#include "planework.h"
#include "standin/control.h"

#include <memory>

namespace {

constexpr LogoRgb kRed{255, 0, 0};
constexpr LogoRgb kMagenta{255, 0, 255};
constexpr ULONG kMagentaKey = 0x00FF00FF; // 0x00BBGGRR

class CLogoTest : public testing::Test {
protected:
    // A logo step with one recording child, settings for a logo placed at (top, left), right =
    // left + width, bottom = top + height, reference size 0 (the frame's).
    void Configure(const std::string& name, LONG top, LONG left, LONG width, LONG height)
    {
        LogoSettings& s = step->Settings();
        s = {};
        LogoTestDrive::ToSettingsName(name, s.fileName);
        s.top = top;
        s.left = left;
        s.width = width;
        s.height = height;
        s.right = left + width;
        s.bottom = top + height;
    }
    void Key(ULONG colour)
    {
        step->Settings().keyColorEnable = 1;
        step->Settings().keyColor = colour;
    }
    void Transparency(LONG percent)
    {
        step->Settings().transparencyEnable = 1;
        step->Settings().transparencyPercent = percent;
    }
    void SetUp() override { sink.Connect(step.get()); }
    void TearDown() override { sink.Disconnect(); }

    LogoTestDrive drive;
    std::unique_ptr<CLogo> step{new CLogo};
    LendingTestSink sink{0};
};

// The red 10 x 10 square at the top left of a magenta 100 x 50 picture.
LogoPicture RedCorner()
{
    LogoPicture picture(100, 50, kMagenta);
    picture.FillRect(0, 0, 10, 10, kRed);
    return picture;
}

TEST_F(CLogoTest, KeyedLogoCopiesOnlyTheRedCornerUpright)
{
    BmpWriteOptions bottomUp, topDown, offset138;
    topDown.topDown = true;
    offset138.pixelOffset = 138;
    int variant = 0;
    for (const BmpWriteOptions& options : {bottomUp, topDown, offset138}) {
        SCOPED_TRACE(variant);
        const std::string name = drive.Put("logo" + std::to_string(variant++) + ".bmp", EncodeBmp(RedCorner(), options));
        Configure(name, 0, 0, 100, 50);
        Key(kMagentaKey);
        step->InitLogo();
        ASSERT_TRUE(step->IsLoaded());
        EXPECT_EQ(step->BitmapWidth(), 112);
        EXPECT_EQ(step->BitmapHeight(), 50);

        VideoFramePtr frame = MakePicture(720, 480, 50, 60, 70);
        frame->SetWritable(true);
        step->Process(frame.get());
        ASSERT_EQ(sink.LastFrame(), frame.get());
        EXPECT_EQ(step->PlacedWidth(), 112);
        EXPECT_EQ(step->PlacedHeight(), 50);
        // Columns 0-11 take source columns x * 100 / 112 = 0-9 (red); 12 on take 10 on (magenta).
        for (int r = 0; r < 480; ++r)
            for (int x = 0; x < 720; ++x) {
                const bool red = x < 12 && r < 10;
                ASSERT_EQ(SampleAt(*frame, 0, x, r), red ? 76 : 50) << x << "," << r;
                if (x < 360) {
                    ASSERT_EQ(SampleAt(*frame, 1, x, r), (x < 6 && r < 10) ? 90 : 60) << x << "," << r;
                    ASSERT_EQ(SampleAt(*frame, 2, x, r), (x < 6 && r < 10) ? 255 : 70) << x << "," << r;
                }
            }
    }
}

TEST_F(CLogoTest, HalfTransparencyRoundsHalvesToEven)
{
    // A grey whose import gives Y 101.
    uint8_t grey = 0;
    for (int g = 0; g < 256 && !grey; ++g) {
        const uint8_t pixels[6] = {uint8_t(g), uint8_t(g), uint8_t(g), uint8_t(g), uint8_t(g), uint8_t(g)};
        uint8_t y[2], u[1], v[1];
        uint8_t* const planes[3] = {y, u, v};
        const int32_t steps[3] = {2, 1, 1};
        ASSERT_EQ(ConvertRGB24ToPlanar422(pixels, 6, planes, steps, 2, 1), StatusOk);
        if (y[0] == 101)
            grey = uint8_t(g);
    }
    ASSERT_NE(grey, 0);
    const std::string name = drive.Put("grey.bmp", EncodeBmp(LogoPicture(32, 16, {grey, grey, grey})));
    Configure(name, 4, 8, 32, 16);
    Transparency(50);
    step->InitLogo();
    ASSERT_TRUE(step->IsLoaded());
    VideoFramePtr frame = MakePicture(64, 32, 101, 128, 128);
    frame->SetWritable(true);
    step->Process(frame.get());
    // The logo premultiplied: 101 x 0.5 = 50.5 -> 50; then 101 x 0.5 + 50 = 100.5 -> 100.
    EXPECT_EQ(SampleAt(*step->GetSizedLogoFrame(), 0, 0, 0), 50);
    for (int r = 0; r < 32; ++r)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(SampleAt(*frame, 0, x, r), (r >= 4 && r < 20 && x >= 8 && x < 40) ? 100 : 101) << x << "," << r;
}

TEST_F(CLogoTest, KeyColourIsTransparentInTheBlend)
{
    // Transparency 30 with the magenta key: magenta pixels leave the frame alone, red ones blend.
    LogoPicture picture(16, 16, kMagenta);
    picture.FillRect(0, 0, 8, 16, kRed);
    const std::string name = drive.Put("half.bmp", EncodeBmp(picture));
    Configure(name, 0, 0, 16, 16);
    Key(kMagentaKey);
    Transparency(30);
    step->InitLogo();
    VideoFramePtr frame = MakePicture(32, 16, 200, 128, 128);
    frame->SetWritable(true);
    step->Process(frame.get());
    const int logoY = SampleAt(*step->GetSizedLogoFrame(), 0, 0, 0); // premultiplied red
    EXPECT_EQ(logoY, 53); // 76 x 0.7 = 53.2
    for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(SampleAt(*frame, 0, x, 5), x < 8 ? 60 + 53 : 200) << x; // 200 x 0.3 + 53
    }
}

TEST_F(CLogoTest, NarrowLogosAreWidenedAndKeptInsideTheRow)
{
    // 20 wide at the right edge of a 722-wide frame: widened to 32 and moved to 690.
    const std::string name = drive.Put("narrow.bmp", EncodeBmp(LogoPicture(20, 16, kRed)));
    Configure(name, 0, 702, 20, 16);
    step->InitLogo();
    VideoFramePtr frame = MakePicture(722, 20, 16, 128, 128);
    ASSERT_EQ(frame->GetStride(0), 736);
    frame->SetWritable(true);
    step->Process(frame.get());
    EXPECT_EQ(step->PlacedLeft(), 690);
    EXPECT_EQ(step->PlacedWidth(), 32);
    EXPECT_EQ(step->PlacedHeight(), 16);
    for (int r = 0; r < 20; ++r) {
        for (int x = 0; x < 736; ++x) // the row's padding past 722 is not written
            ASSERT_EQ(SampleAt(*frame, 0, x, r), (r < 16 && x >= 690 && x < 722) ? 76 : 16) << x << "," << r;
        for (int x = 0; x < 368; ++x)
            ASSERT_EQ(SampleAt(*frame, 1, x, r), (r < 16 && x >= 345 && x < 361) ? 90 : 128) << x << "," << r;
    }

    // A 10-wide placement becomes 16 wide; a frame narrower than 16 takes the logo at its width.
    Configure(name, 0, 0, 10, 16);
    step->InitLogo();
    step->ResizeTheLogo(480, 720);
    EXPECT_EQ(step->PlacedWidth(), 16);
    EXPECT_EQ(step->PlacedLeft(), 0);
    step->ResizeTheLogo(40, 12);
    EXPECT_EQ(step->PlacedWidth(), 12);
    EXPECT_EQ(step->PlacedLeft(), 0);
}

TEST_F(CLogoTest, PlacementScalesFromTheReferenceAndStaysInsideTheFrame)
{
    const std::string name = drive.Put("box.bmp", EncodeBmp(LogoPicture(64, 32, kRed)));
    // Reference 480 x 720 on a 960 x 1440 frame doubles every edge: 10,20 - 42,84 -> 20,40 - 84,168.
    Configure(name, 10, 20, 64, 32);
    step->Settings().referenceHeight = 480;
    step->Settings().referenceWidth = 720;
    step->InitLogo();
    step->ResizeTheLogo(960, 1440);
    EXPECT_EQ(step->PlacedTop(), 20);
    EXPECT_EQ(step->PlacedLeft(), 40);
    EXPECT_EQ(step->PlacedWidth(), 128);
    EXPECT_EQ(step->PlacedHeight(), 64);
    ASSERT_NE(step->GetSizedLogoFrame(), nullptr);
    EXPECT_EQ(step->GetSizedLogoFrame()->GetWidth(), 128);
    // Placed again from the saved settings, not from the scaled ones.
    step->ResizeTheLogo(480, 720);
    EXPECT_EQ(step->PlacedTop(), 10);
    EXPECT_EQ(step->PlacedLeft(), 20);
    EXPECT_EQ(step->PlacedWidth(), 64);

    // Past the bottom right: moved up and left; a height of 7 grows to 16; 31 rows give 30.
    Configure(name, 470, 700, 64, 7);
    step->InitLogo();
    step->ResizeTheLogo(480, 720);
    EXPECT_EQ(step->PlacedTop(), 464);
    EXPECT_EQ(step->PlacedHeight(), 16);
    EXPECT_EQ(step->PlacedLeft(), 656);
    EXPECT_EQ(step->PlacedWidth(), 64);
    Configure(name, 0, 0, 64, 31);
    step->InitLogo();
    step->ResizeTheLogo(480, 720);
    EXPECT_EQ(step->PlacedHeight(), 30);

    // Negative edges: top and left become 0, bottom and right the logo's size.
    Configure(name, -5, -5, 0, 0);
    step->Settings().right = -1;
    step->Settings().bottom = -1;
    step->InitLogo();
    step->ResizeTheLogo(480, 720);
    EXPECT_EQ(step->PlacedTop(), 0);
    EXPECT_EQ(step->PlacedLeft(), 0);
    EXPECT_EQ(step->PlacedWidth(), 64);
    EXPECT_EQ(step->PlacedHeight(), 32);
}

TEST_F(CLogoTest, EdgesFarOutsideTheFrameEndInsideIt)
{
    const std::string name = drive.Put("box.bmp", EncodeBmp(LogoPicture(64, 32, kRed)));
    Configure(name, 0, 0, 64, 32);
    LogoSettings& s = step->Settings();
    s.top = s.bottom = INT32_MAX;
    s.left = s.right = INT32_MAX;
    step->Settings().referenceHeight = 1;
    step->Settings().referenceWidth = 1;
    step->InitLogo();
    step->ResizeTheLogo(480, 720);
    EXPECT_EQ(step->PlacedTop(), 464);
    EXPECT_EQ(step->PlacedHeight(), 16);
    EXPECT_EQ(step->PlacedLeft(), 704);
    EXPECT_EQ(step->PlacedWidth(), 16);
}

TEST_F(CLogoTest, PlacementFollowsEveryFrameSizeChange)
{
    const std::string name = drive.Put("box.bmp", EncodeBmp(LogoPicture(64, 32, kRed)));
    Configure(name, 100, 200, 64, 32);
    step->Settings().referenceHeight = 480;
    step->Settings().referenceWidth = 720;
    step->InitLogo();
    VideoFramePtr full = MakePicture(720, 480, 16, 128, 128);
    full->SetWritable(true);
    step->Process(full.get());
    EXPECT_EQ(step->PlacedTop(), 100);
    VideoFramePtr half = MakePicture(360, 240, 16, 128, 128);
    half->SetWritable(true);
    step->Process(half.get());
    EXPECT_EQ(step->PlacedTop(), 50);
    EXPECT_EQ(step->PlacedLeft(), 100);
    EXPECT_EQ(step->PlacedWidth(), 32);
    EXPECT_EQ(SampleAt(*half, 0, 100, 50), 76);
    EXPECT_EQ(SampleAt(*half, 0, 99, 50), 16);
}

TEST_F(CLogoTest, RefusedFilesLeaveTheLogoUnloadedAndFramesUnchanged)
{
    struct Refused {
        const char* what;
        BmpWriteOptions options;
    };
    BmpWriteOptions huge, eightBit, compressed;
    huge.claimedWidth = 40000;
    huge.claimedHeight = 40000;
    eightBit.bitCount = 8;
    compressed.compression = 1;
    for (const Refused& r : {Refused{"huge", huge}, Refused{"8-bit", eightBit}, Refused{"compressed", compressed}}) {
        const std::string name = drive.Put(std::string(r.what) + ".bmp", EncodeBmp(LogoPicture(20, 16, kRed), r.options));
        Configure(name, 0, 0, 20, 16);
        const uint64_t bytesBefore = standin::PoolUsageTotal().totalBytes;
        step->InitLogo();
        EXPECT_FALSE(step->IsLoaded()) << r.what;
        EXPECT_LT(standin::PoolUsageTotal().totalBytes - bytesBefore, 64u * 1024) << r.what;
        VideoFramePtr frame = MakeRandomPicture(64, 32, 7);
        frame->SetWritable(true);
        const std::vector<uint8_t> before = Snapshot(*frame);
        step->Process(frame.get());
        EXPECT_EQ(sink.LastFrame(), frame.get()) << r.what;
        EXPECT_EQ(Snapshot(*frame), before) << r.what;
    }
    // No name, or a file that is not there.
    Configure("", 0, 0, 20, 16);
    step->InitLogo();
    EXPECT_FALSE(step->IsLoaded());
    Configure("C:\\missing.bmp", 0, 0, 20, 16);
    step->InitLogo();
    EXPECT_FALSE(step->IsLoaded());
}

TEST_F(CLogoTest, ReloadedLogoIsPlacedAtTheNextFrame)
{
    const std::string red = drive.Put("red.bmp", EncodeBmp(LogoPicture(16, 16, kRed)));
    const std::string blue = drive.Put("blue.bmp", EncodeBmp(LogoPicture(16, 16, {0, 0, 255})));
    Configure(red, 0, 0, 16, 16);
    step->InitLogo();
    VideoFramePtr frame = MakePicture(64, 32, 16, 128, 128);
    frame->SetWritable(true);
    step->Process(frame.get());
    EXPECT_EQ(SampleAt(*frame, 0, 0, 0), 76);
    ASSERT_TRUE(step->ReadBmpLogo("C:\\blue.bmp"));
    step->Process(frame.get());
    EXPECT_EQ(SampleAt(*frame, 0, 0, 0), 29); // the import's blue
}

TEST_F(CLogoTest, ReadOnlyFrameGetsTheLogoInTheWorkFrame)
{
    const std::string name = drive.Put("box.bmp", EncodeBmp(LogoPicture(16, 16, kRed)));
    Configure(name, 0, 0, 16, 16);
    step->InitLogo();
    VideoFramePtr frame = MakeRandomPicture(64, 32, 8);
    frame->SetWritable(false);
    const std::vector<uint8_t> before = Snapshot(*frame);
    step->Process(frame.get());
    EXPECT_EQ(Snapshot(*frame), before);
    ASSERT_NE(sink.LastFrame(), frame.get());
    const auto* out = static_cast<const VideoFrame*>(sink.LastFrame());
    EXPECT_EQ(SampleAt(*out, 0, 0, 0), 76);
    EXPECT_EQ(SampleAt(*out, 0, 20, 20), SampleAt(*frame, 0, 20, 20));
    EXPECT_TRUE(sink.LastWritable());
}

TEST_F(CLogoTest, ExceptionInOnePlaneLeavesTheOthersDone)
{
    const std::string name = drive.Put("box.bmp", EncodeBmp(LogoPicture(16, 16, kRed)));
    Configure(name, 0, 0, 16, 16);
    step->InitLogo();
    step->ResizeTheLogo(32, 32);
    VideoFramePtr frame = MakePicture(32, 32, 16, 128, 128);
    InjectPlaneWorkExceptions(1);
    step->ApplyLogo(frame.get());
    EXPECT_EQ(PendingPlaneWorkExceptions(), 0u);
    EXPECT_EQ(SampleAt(*frame, 0, 0, 0), 16); // the Y copy threw
    EXPECT_EQ(SampleAt(*frame, 1, 0, 0), 90); // U and V went on
    EXPECT_EQ(SampleAt(*frame, 2, 0, 0), 255);
}

TEST_F(CLogoTest, ComparesTheSavedSettings)
{
    const std::string name = drive.Put("box.bmp", EncodeBmp(LogoPicture(16, 16, kRed)));
    auto make = [&](LONG percent, const std::string& file) {
        auto* logo = new CLogo;
        LogoSettings& s = logo->Settings();
        LogoTestDrive::ToSettingsName(file, s.fileName);
        s.top = 4;
        s.bottom = 20;
        s.right = 16;
        s.width = 16;
        s.height = 16;
        s.transparencyPercent = percent;
        logo->InitLogo();
        return std::unique_ptr<CLogo>(logo);
    };
    auto a = make(20, name), b = make(20, name), c = make(30, name), d = make(20, "C:\\other.bmp");
    ExpectComparesLike(*a, *b, {c.get(), d.get()});
    // Placing for a frame changes the working settings, not what is compared.
    a->ResizeTheLogo(960, 1440);
    EXPECT_TRUE(a->IsEqual(b.get()));
}

} // namespace
