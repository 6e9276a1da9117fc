// The video capture filter's settings sets as the property pages and capture applications send
// them, on a simulated standard-definition board: crop, deinterlacing, image quality, logo, proc
// amp (private and standard), video decoder (private and standard), captions and loss of signal.
// Each test looks at what a client sees: the answers, the failure codes, the pin keys of the
// registry, and the notification records a page's buffered event receives.
#include "BmpTestFile.h"
#include "FilterFixture.h"
#include "../pins/PinFixture.h"

#include "shared/ksvidcaprecords.h"
#include "shared/ksvideorecords.h"

#include <cmath>

namespace filtertest {
namespace {

constexpr ULONG kGet = KSPROPERTY_TYPE_GET;
constexpr ULONG kSet = KSPROPERTY_TYPE_SET;
const std::u16string kVideo = u"Talvexon HD Video Device 1";

ULONG Word(const std::vector<UCHAR>& bytes, size_t offset)
{
    ULONG value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof(value));
    return value;
}

DWORD ErrorOf(ULONG status)
{
    return Win32Of(static_cast<NTSTATUS>(status));
}

class VideoSettingsTest : public FilterTest {
protected:
    void SetUp() override
    {
        FilterTest::SetUp();
        board_ = &Start();
        video_ = Open(KSCATEGORY_VIDEO, kVideo);
        ASSERT_NE(video_, INVALID_HANDLE_VALUE);
        EnableNotification(video_, &block_);
        // The records raised while the board came up are not the tests'.
        Records(video_, &block_);
    }

    std::u16string PinKey(ULONG pinType) const
    {
        return DriverKey(*board_) + u"\\VideoInputs\\Input1\\VideoPins\\" + (pinType == 1 ? u"Capture" : u"Preview");
    }
    std::optional<ULONG> PinValue(ULONG pinType, const std::u16string& name) const
    {
        return standin::ReadRegistryDword(PinKey(pinType), name);
    }
    // The records queued since the last call whose set is `set`.
    std::vector<std::vector<UCHAR>> Notifications(const GUID& set)
    {
        std::vector<std::vector<UCHAR>> found;
        for (auto& record : Records(video_, &block_))
            if (std::memcmp(record.data(), &set, sizeof(GUID)) == 0)
                found.push_back(std::move(record));
        return found;
    }
    // A file on the machine's C: drive, and the name a record gives it.
    std::u16string PutFile(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        bmptest::WriteFile(folder_ / "C" / "logos" / name, bytes);
        return u"C:\\logos\\" + std::u16string(name.begin(), name.end());
    }

    Record Crop(ULONG pin, ULONG enable, ULONG top, ULONG height, ULONG left, ULONG width, ULONG noSave = 0)
    {
        Record record(PROPSETID_BREVICOR_CROP, 0, kSet, 80);
        record.Put<ULONG>(24, pin);
        record.Put<ULONG>(28, enable);
        record.Put<ULONG>(32, top);
        record.Put<ULONG>(36, height);
        record.Put<ULONG>(40, left);
        record.Put<ULONG>(44, width);
        record.Put<ULONG>(48, 487);
        record.Put<ULONG>(52, 720);
        record.Put<ULONG>(76, noSave);
        return record;
    }
    Record Logo(ULONG enable, ULONG height, const std::u16string& file)
    {
        Record record(PROPSETID_BREVICOR_LOGO, 0, kSet, 1132);
        record.Put<ULONG>(24, 1);
        record.Put<ULONG>(28, 487);
        record.Put<ULONG>(32, 720);
        record.Put<ULONG>(36, 10);
        record.Put<ULONG>(40, 20);
        record.Put<ULONG>(44, height);
        record.Put<ULONG>(48, 64);
        record.Put<ULONG>(60, enable);
        record.PutText(92, file);
        return record;
    }
    Record Get(const GUID& set, ULONG length, ULONG pin)
    {
        Record record(set, 0, kGet, length);
        record.Put<ULONG>(24, pin);
        EXPECT_EQ(Send(video_, record).error, 0u);
        return record;
    }

    board::CaptureBoard* board_ = nullptr;
    HANDLE video_ = INVALID_HANDLE_VALUE;
    NotificationBlock block_{};
};

// ---- crop -----------------------------------------------------------------------------------------

TEST_F(VideoSettingsTest, CropForBothPinsChecksTheCapturePinAndReachesBothPinKeysAndNotifications)
{
    Record set = Crop(255, 1, 0, 200, 0, 300);
    const Result result = Send(video_, set);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 80u);
    for (ULONG pin : {1u, 2u}) {
        EXPECT_EQ(PinValue(pin, u"CropHeight"), 200u) << pin;
        EXPECT_EQ(PinValue(pin, u"CropWidth"), 300u) << pin;
        EXPECT_EQ(PinValue(pin, u"CropEnabled"), 1u) << pin;
        EXPECT_EQ(PinValue(pin, u"CropReferenceHeight"), 487u) << pin;
    }
    const auto records = Notifications(PROPSETID_BREVICOR_CROP);
    ASSERT_EQ(records.size(), 2u);
    for (ULONG pin = 1; pin <= 2; ++pin) {
        const std::vector<UCHAR>& one = records[pin - 1];
        const ULONG expected[8] = {pin, 1, 0, 200, 0, 300, 487, 720};
        for (size_t i = 0; i < 8; ++i)
            EXPECT_EQ(Word(one, 16 + 4 * i), expected[i]) << pin << " word " << i;
        for (size_t i = 16 + 32; i < one.size(); ++i)
            ASSERT_EQ(one[i], 0) << i;
    }

    // The limits of the standard-definition pin: minimum 72 x 54, granularity 1 down and 2 across.
    Record get = Get(PROPSETID_BREVICOR_CROP, 80, 2);
    EXPECT_EQ(get.Get<ULONG>(36), 200u);
    EXPECT_EQ(get.Get<ULONG>(48), 487u);
    EXPECT_EQ(get.Get<ULONG>(52), 720u);
    EXPECT_EQ(get.Get<ULONG>(56), 54u);
    EXPECT_EQ(get.Get<ULONG>(60), 72u);
    EXPECT_EQ(get.Get<ULONG>(64), 1u);
    EXPECT_EQ(get.Get<ULONG>(68), 2u);
    EXPECT_EQ(get.Get<ULONG>(72), 0u);
    EXPECT_EQ(get.Get<ULONG>(76), 0u);
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

TEST_F(VideoSettingsTest, CropRefusalsComeInTheirOrderAndChangeNothing)
{
    struct Case {
        ULONG enable, top, height, left, width;
        ULONG status;
    };
    const Case cases[] = {
        {2, 0, 200, 0, 300, 0xC0071036},   // enable
        {1, 0, 488, 0, 9999, 0xC007102A},  // height over the frame, before the width
        {1, 0, 200, 0, 722, 0xC007102B},   // width over the frame
        {1, 0, 20, 0, 10, 0xC007102C},     // height below 54, before the width
        {1, 0, 200, 0, 70, 0xC007102D},    // width below 72
        {1, 0, 201, 1, 301, 0xC0071034},   // left off the 2-pixel grid, before the width
        {1, 0, 200, 0, 301, 0xC0071035},   // width off the grid
        {1, 0, 200, 0, 300, 0},            // a valid one
        {3, 0, 200, 0, 300, 0xC0071036},
        {7, 5, 5, 5, 5, 0xC0071036},
        {1, 0, 200, 2, 300, 0},
    };
    for (const Case& c : cases) {
        Record set = Crop(1, c.enable, c.top, c.height, c.left, c.width);
        EXPECT_EQ(Send(video_, set).error, ErrorOf(c.status)) << std::hex << c.status;
        if (c.status != 0)
            EXPECT_TRUE(Notifications(PROPSETID_BREVICOR_CROP).empty());
        else
            EXPECT_EQ(Notifications(PROPSETID_BREVICOR_CROP).size(), 1u);
    }
    EXPECT_EQ(PinValue(1, u"CropLeft"), 2u);
    EXPECT_EQ(PinValue(1, u"CropHeight"), 200u);
    // Disabled, nothing but the enable is checked.
    Record off = Crop(1, 0, 3, 1, 5, 9999);
    EXPECT_EQ(Send(video_, off).error, 0u);
    Record pin = Crop(3, 1, 0, 200, 0, 300);
    EXPECT_EQ(Send(video_, pin).error, ErrorOf(0xC007100B));
    Record getPin(PROPSETID_BREVICOR_CROP, 0, kGet, 80);
    getPin.Put<ULONG>(24, 0);
    EXPECT_EQ(Send(video_, getPin).error, ErrorOf(0xC007100B));
}

TEST_F(VideoSettingsTest, CropWithoutSaveChangesTheAnswerOnly)
{
    Record before = Crop(1, 1, 0, 200, 0, 300);
    ASSERT_EQ(Send(video_, before).error, 0u);
    Notifications(PROPSETID_BREVICOR_CROP);
    Record quiet = Crop(1, 1, 4, 100, 8, 120, 1);
    ASSERT_EQ(Send(video_, quiet).error, 0u);
    Record get = Get(PROPSETID_BREVICOR_CROP, 80, 1);
    EXPECT_EQ(get.Get<ULONG>(32), 4u);
    EXPECT_EQ(get.Get<ULONG>(36), 100u);
    EXPECT_EQ(get.Get<ULONG>(44), 120u);
    EXPECT_EQ(PinValue(1, u"CropHeight"), 200u);
    EXPECT_EQ(PinValue(1, u"CropTop"), 0u);
    EXPECT_TRUE(Notifications(PROPSETID_BREVICOR_CROP).empty());
    // The preview pin was not addressed.
    Record preview = Get(PROPSETID_BREVICOR_CROP, 80, 2);
    EXPECT_EQ(preview.Get<ULONG>(36), 0u);
}

// ---- deinterlace -------------------------------------------------------------------------------

TEST_F(VideoSettingsTest, DeinterlaceChecksWhatIsEnabledAndTheNoPersistFlagKeepsItInMemory)
{
    Record base = Get(PROPSETID_BREVICOR_DEINTERLACE, 60, 1);
    const auto registryType = PinValue(1, u"DeinterlaceType");
    Record set(PROPSETID_BREVICOR_DEINTERLACE, 0, kSet, 60);
    std::memcpy(set.data() + 24, base.data() + 24, 36);
    set.Put<ULONG>(24, 1);
    set.Put<ULONG>(28, 1);
    set.Put<ULONG>(32, 2);
    set.Put<ULONG>(56, 1);
    ASSERT_EQ(Send(video_, set).error, 0u);
    EXPECT_EQ(Get(PROPSETID_BREVICOR_DEINTERLACE, 60, 1).Get<ULONG>(32), 2u);
    EXPECT_EQ(PinValue(1, u"DeinterlaceType"), registryType);
    EXPECT_TRUE(Notifications(PROPSETID_BREVICOR_DEINTERLACE).empty());

    // Type 5 is refused only while deinterlacing is on; the resync interval only while resync is.
    set.Put<ULONG>(56, 0);
    set.Put<ULONG>(32, 5);
    EXPECT_EQ(Send(video_, set).error, ErrorOf(0xC007103A));
    set.Put<ULONG>(28, 0);
    EXPECT_EQ(Send(video_, set).error, 0u);
    set.Put<ULONG>(40, 1);
    set.Put<ULONG>(44, 429001);
    EXPECT_EQ(Send(video_, set).error, ErrorOf(0xC0071070));
    set.Put<ULONG>(44, 429000);
    EXPECT_EQ(Send(video_, set).error, 0u);
    EXPECT_EQ(PinValue(1, u"ResyncInterval"), 429000u);
    EXPECT_EQ(PinValue(1, u"DeinterlaceType"), 5u);
    set.Put<ULONG>(40, 0);
    set.Put<ULONG>(44, 0xFFFFFFFF);
    EXPECT_EQ(Send(video_, set).error, 0u);
    for (auto [offset, status] : {std::pair<size_t, ULONG>{28, 0xC0071039}, {36, 0xC007106E}, {40, 0xC007106F},
                                  {48, 0xC0071071}}) {
        Record bad = set;
        bad.Put<ULONG>(offset, 2);
        EXPECT_EQ(Send(video_, bad).error, ErrorOf(status)) << offset;
    }

    const auto records = Notifications(PROPSETID_BREVICOR_DEINTERLACE);
    ASSERT_EQ(records.size(), 3u);
    const ULONG expected[7] = {1, 0, 5, Word(records[2], 16 + 12), 0, 0xFFFFFFFF, Word(records[2], 16 + 24)};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(Word(records[2], 16 + 4 * i), expected[i]) << i;
    for (size_t i = 16 + 28; i < records[2].size(); ++i)
        ASSERT_EQ(records[2][i], 0) << i;
}

// ---- image quality -----------------------------------------------------------------------------

TEST_F(VideoSettingsTest, ImageQualityLevelsGoInStepsOfFiveAndAreAlwaysWritten)
{
    Record set(PROPSETID_BREVICOR_IMAGEQUALITY, 0, kSet, 40);
    set.Put<ULONG>(24, 255);
    set.Put<ULONG>(28, 1);
    set.Put<ULONG>(32, 2);
    for (ULONG level : {0u, 4u, 7u, 96u, 100u}) {
        set.Put<ULONG>(36, level);
        EXPECT_EQ(Send(video_, set).error, ErrorOf(0xC007103D)) << level;
    }
    set.Put<ULONG>(36, 95);
    set.Put<ULONG>(32, 3);
    EXPECT_EQ(Send(video_, set).error, ErrorOf(0xC007103C));
    set.Put<ULONG>(32, 2);
    ASSERT_EQ(Send(video_, set).error, 0u);
    for (ULONG pin : {1u, 2u}) {
        EXPECT_EQ(PinValue(pin, u"ImageQualityLevel"), 95u);
        EXPECT_EQ(PinValue(pin, u"ImageQualityMode"), 2u);
        Record get = Get(PROPSETID_BREVICOR_IMAGEQUALITY, 40, pin);
        EXPECT_EQ(get.Get<ULONG>(36), 95u);
    }
    // Disabled, mode and level are not checked.
    set.Put<ULONG>(28, 0);
    set.Put<ULONG>(32, 9);
    set.Put<ULONG>(36, 7);
    EXPECT_EQ(Send(video_, set).error, 0u);
    set.Put<ULONG>(28, 2);
    EXPECT_EQ(Send(video_, set).error, ErrorOf(0xC007103B));
    set.Put<ULONG>(24, 3);
    EXPECT_EQ(Send(video_, set).error, ErrorOf(STATUS_INVALID_PARAMETER));
    Record get(PROPSETID_BREVICOR_IMAGEQUALITY, 0, kGet, 40);
    get.Put<ULONG>(24, 3);
    EXPECT_EQ(Send(video_, get).error, ErrorOf(STATUS_INVALID_PARAMETER));
    EXPECT_TRUE(Records(video_, &block_).empty());
}

// ---- logo ----------------------------------------------------------------------------------------

TEST_F(VideoSettingsTest, LogoChecksTheBitmapFileAndStopsAtTheFirstFailure)
{
    const std::u16string good = PutFile("good.bmp", bmptest::Bitmap24(64, 32, bmptest::Rows::BottomUp));
    Record set = Logo(1, 32, good);
    ASSERT_EQ(Send(video_, set).error, 0u);
    EXPECT_EQ(standin::ReadRegistryString(PinKey(1), u"LogoFileName"), good);
    EXPECT_EQ(PinValue(1, u"LogoDestinationHeight"), 32u);
    const auto records = Notifications(PROPSETID_BREVICOR_LOGO);
    ASSERT_EQ(records.size(), 1u);
    // Pin, the reference, the rectangle, the flags and key colour, then the name and the filter.
    EXPECT_EQ(Word(records[0], 16), 1u);
    EXPECT_EQ(Word(records[0], 16 + 4), 487u);
    EXPECT_EQ(Word(records[0], 16 + 12), 10u);
    EXPECT_EQ(Word(records[0], 16 + 16), 20u);
    EXPECT_EQ(Word(records[0], 16 + 20), 32u);
    EXPECT_EQ(Word(records[0], 16 + 24), 64u);
    EXPECT_EQ(Word(records[0], 16 + 28), 1u);
    Record payload(GUID{}, 0, 0, records[0].size());
    std::memcpy(payload.data(), records[0].data(), records[0].size());
    EXPECT_EQ(payload.Text(16 + 48), good);
    EXPECT_EQ(payload.Text(16 + 48 + 520), u"Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*||");
    for (size_t i = 16 + 1088; i < records[0].size(); ++i)
        ASSERT_EQ(records[0][i], 0) << i;

    struct Case {
        std::u16string file;
        ULONG status;
    };
    const Case cases[] = {
        {PutFile("picture.bmp", bmptest::PngSignature()), 0xC0071048},
        {PutFile("ten.bmp", bmptest::Truncated(bmptest::Bitmap24(64, 32, bmptest::Rows::BottomUp), 10)), 0xC0071046},
        {PutFile("thirty.bmp", bmptest::Truncated(bmptest::Bitmap24(64, 32, bmptest::Rows::BottomUp), 30)),
         0xC0071047},
        {u"C:\\logos\\missing.bmp", 0xC0071019},
    };
    for (const Case& c : cases) {
        Record bad = Logo(1, 40, c.file);
        EXPECT_EQ(Send(video_, bad).error, ErrorOf(c.status)) << std::hex << c.status;
    }
    // The height is refused before any file is opened.
    Record small = Logo(1, 15, u"C:\\logos\\missing.bmp");
    EXPECT_EQ(Send(video_, small).error, ErrorOf(0xC0071043));
    EXPECT_TRUE(Events(0xC0071043).size() == 1u);
    EXPECT_EQ(Events(0xC0071019).size(), 1u);
    EXPECT_EQ(PinValue(1, u"LogoDestinationHeight"), 32u);
    EXPECT_EQ(standin::ReadRegistryString(PinKey(1), u"LogoFileName"), good);
    EXPECT_TRUE(Notifications(PROPSETID_BREVICOR_LOGO).empty());

    // Disabled, nothing else is checked, even a percentage of 500.
    Record off = Logo(0, 1, u"C:\\logos\\missing.bmp");
    off.Put<ULONG>(64, 1);
    off.Put<ULONG>(68, 500);
    EXPECT_EQ(Send(video_, off).error, 0u);
    Record on = Logo(1, 32, good);
    on.Put<ULONG>(64, 1);
    on.Put<ULONG>(68, 101);
    EXPECT_EQ(Send(video_, on).error, ErrorOf(0xC0071045));
    on.Put<ULONG>(68, 100);
    on.Put<ULONG>(36, 1049);
    EXPECT_EQ(Send(video_, on).error, ErrorOf(0xC0071041));
    on.Put<ULONG>(36, 10);
    on.Put<ULONG>(40, 0xFFFFFFF0); // a sum that would wrap in 32 bits
    EXPECT_EQ(Send(video_, on).error, ErrorOf(0xC0071042));
}

TEST_F(VideoSettingsTest, ANewFileAtTopZeroAfterAClearedNameMovesTheLogoToTheTop)
{
    const std::u16string good = PutFile("good.bmp", bmptest::Bitmap24(64, 32, bmptest::Rows::BottomUp));
    Record first = Logo(1, 32, good);
    ASSERT_EQ(Send(video_, first).error, 0u);
    EXPECT_EQ(PinValue(1, u"LogoDestinationTop"), 10u);
    // The name cleared, the rectangle as it was: the rectangle reads as 0 while no file is named.
    Record cleared = Logo(1, 32, u"");
    ASSERT_EQ(Send(video_, cleared).error, 0u);
    EXPECT_EQ(standin::ReadRegistryString(PinKey(1), u"LogoFileName"), u"");
    EXPECT_EQ(Get(PROPSETID_BREVICOR_LOGO, 1132, 1).Get<ULONG>(36), 0u);
    // A file again, now at the top and at the left edge: both are taken, in memory and in the key.
    Record again = Logo(1, 32, good);
    again.Put<ULONG>(36, 0);
    again.Put<ULONG>(40, 0);
    ASSERT_EQ(Send(video_, again).error, 0u);
    EXPECT_EQ(PinValue(1, u"LogoDestinationTop"), 0u);
    EXPECT_EQ(PinValue(1, u"LogoDestinationLeft"), 0u);
    const Record read = Get(PROPSETID_BREVICOR_LOGO, 1132, 1);
    EXPECT_EQ(read.Text(92), good);
    EXPECT_EQ(read.Get<ULONG>(36), 0u);
    EXPECT_EQ(read.Get<ULONG>(40), 0u);
    EXPECT_EQ(read.Get<ULONG>(44), 32u);
    EXPECT_EQ(read.Get<ULONG>(48), 64u);
}

TEST_F(VideoSettingsTest, LogoFilesOfEveryRowOrderAndDepthPassTheHeaderCheck)
{
    const std::u16string files[] = {
        PutFile("down.bmp", bmptest::Bitmap24(64, 32, bmptest::Rows::BottomUp)),
        PutFile("up.bmp", bmptest::Bitmap24(17, 16, bmptest::Rows::TopDown)),
        PutFile("palette.bmp", bmptest::Bitmap8(20, 20)),
    };
    for (const std::u16string& file : files) {
        Record set = Logo(1, 16, file);
        EXPECT_EQ(Send(video_, set).error, 0u);
        EXPECT_EQ(standin::ReadRegistryString(PinKey(1), u"LogoFileName"), file);
    }
    // An unterminated name is refused whatever the enable.
    Record unterminated = Logo(0, 16, u"");
    for (size_t i = 92; i < 612; i += 2)
        unterminated.Put<char16_t>(i, u'a');
    EXPECT_EQ(Send(video_, unterminated).error, ErrorOf(STATUS_INVALID_PARAMETER));
}

TEST_F(VideoSettingsTest, LogoFilesImageMagickWritesAreTakenAndItsOtherFormatsRefused)
{
    const std::filesystem::path folder = folder_ / "C" / "logos";
    // ImageMagick comes with the set-up.
    ASSERT_TRUE(bmptest::Convert("-size 64x32 xc:red BMP3:", folder / "magick24.bmp")) << "ImageMagick's convert";
    ASSERT_TRUE(bmptest::Convert("-size 64x32 xc:red -type palette BMP3:", folder / "magick8.bmp"));
    ASSERT_TRUE(bmptest::Convert("-size 64x32 xc:red PNG:", folder / "magickpng.bmp"));
    for (const char* name : {"magick24.bmp", "magick8.bmp"}) {
        Record set = Logo(1, 16, u"C:\\logos\\" + std::u16string(name, name + std::strlen(name)));
        EXPECT_EQ(Send(video_, set).error, 0u) << name;
    }
    bmptest::WriteFile(folder / "magickcut.bmp", bmptest::Truncated(bmptest::ReadFile(folder / "magick24.bmp"), 30));
    Record cut = Logo(1, 16, u"C:\\logos\\magickcut.bmp");
    EXPECT_EQ(Send(video_, cut).error, ErrorOf(0xC0071047));
    Record png = Logo(1, 16, u"C:\\logos\\magickpng.bmp");
    EXPECT_EQ(Send(video_, png).error, ErrorOf(0xC0071048));
}

TEST_F(VideoSettingsTest, LogoGetMovesTheRectangleIntoTheFrame)
{
    const std::u16string good = PutFile("good.bmp", bmptest::Bitmap24(64, 32, bmptest::Rows::BottomUp));
    // A rectangle placed on a picture half the frame's width, read on the 720 x 487 frame: its
    // horizontal place and size doubled, then moved back inside the frame.
    Record set = Logo(1, 100, good);
    set.Put<ULONG>(28, 487);
    set.Put<ULONG>(32, 360);
    set.Put<ULONG>(36, 10);
    set.Put<ULONG>(40, 350);
    set.Put<ULONG>(48, 64);
    ASSERT_EQ(Send(video_, set).error, 0u);
    Record get = Get(PROPSETID_BREVICOR_LOGO, 1132, 1);
    EXPECT_EQ(get.Get<ULONG>(28), 487u);
    EXPECT_EQ(get.Get<ULONG>(32), 720u);
    EXPECT_EQ(get.Get<ULONG>(36), 10u);
    EXPECT_EQ(get.Get<ULONG>(44), 100u);
    EXPECT_EQ(get.Get<ULONG>(48), 128u);
    EXPECT_EQ(get.Get<ULONG>(40), 720u - 128u);
    EXPECT_EQ(get.Text(92), good);
    EXPECT_EQ(get.Text(612), u"Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*||");

    // A full-size reference scales down, rounded to the nearest (halves to even).
    set.Put<ULONG>(28, 1080);
    set.Put<ULONG>(32, 1920);
    set.Put<ULONG>(36, 980);
    set.Put<ULONG>(40, 1800);
    set.Put<ULONG>(48, 120);
    ASSERT_EQ(Send(video_, set).error, 0u);
    get = Get(PROPSETID_BREVICOR_LOGO, 1132, 1);
    EXPECT_EQ(get.Get<ULONG>(44), static_cast<ULONG>(std::nearbyint(100 * 487.0 / 1080)));
    EXPECT_EQ(get.Get<ULONG>(36), static_cast<ULONG>(std::nearbyint(980 * 487.0 / 1080)));
    EXPECT_EQ(get.Get<ULONG>(40), 675u);
    EXPECT_EQ(get.Get<ULONG>(48), 45u);
}

// ---- closed captions -------------------------------------------------------------------------------

TEST_F(VideoSettingsTest, CaptionsTakeAnyEnableAsOneAndKeepTheirRectangleInsideTheReference)
{
    Record set(PROPSETID_BREVICOR_CC, 0, kSet, 600);
    set.Put<ULONG>(24, 1);
    set.Put<ULONG>(28, 1);
    set.Put<ULONG>(32, 2);
    set.Put<ULONG>(36, 5);
    set.Put<ULONG>(40, 1080);
    set.Put<ULONG>(44, 1920);
    set.Put<ULONG>(48, 100);
    set.Put<ULONG>(52, 100);
    set.Put<ULONG>(56, 10);
    set.Put<ULONG>(60, 300);
    set.Put<ULONG>(64, 7);
    set.Put<ULONG>(68, 0xFF00FF);
    ASSERT_EQ(Send(video_, set).error, 0u);
    Record get = Get(PROPSETID_BREVICOR_CC, 600, 1);
    EXPECT_EQ(get.Get<ULONG>(36), 1u);
    EXPECT_EQ(get.Get<ULONG>(56), 48u);
    EXPECT_EQ(get.Get<ULONG>(64), 1u);
    EXPECT_EQ(get.Get<ULONG>(68), 0xFF00FFu);
    EXPECT_EQ(PinValue(1, u"CCDestinationHeight"), 48u);
    EXPECT_EQ(PinValue(1, u"CCChannel"), 2u);
    const auto records = Notifications(PROPSETID_BREVICOR_CC);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Word(records[0], 16), 1u);
    EXPECT_EQ(Word(records[0], 16 + 12), 1u);
    EXPECT_EQ(Word(records[0], 16 + 32), 48u);
    for (size_t i = 16 + 572; i < records[0].size(); ++i)
        ASSERT_EQ(records[0][i], 0) << i;

    // An origin past the reference leaves an empty rectangle, not a wrapped one.
    set.Put<ULONG>(48, 2000);
    set.Put<ULONG>(56, 100);
    ASSERT_EQ(Send(video_, set).error, 0u);
    EXPECT_EQ(Get(PROPSETID_BREVICOR_CC, 600, 1).Get<ULONG>(56), 0u);
    set.Put<ULONG>(48, 1000);
    set.Put<ULONG>(56, 121);
    ASSERT_EQ(Send(video_, set).error, 0u);
    EXPECT_EQ(Get(PROPSETID_BREVICOR_CC, 600, 1).Get<ULONG>(56), 80u);

    // The references are cut to 1080 and 1920 even with captions off.
    set.Put<ULONG>(36, 0);
    set.Put<ULONG>(40, 5000);
    set.Put<ULONG>(44, 5000);
    set.Put<ULONG>(56, 3);
    ASSERT_EQ(Send(video_, set).error, 0u);
    get = Get(PROPSETID_BREVICOR_CC, 600, 1);
    EXPECT_EQ(get.Get<ULONG>(56), 3u);
    EXPECT_EQ(PinValue(1, u"CCReferenceHeight"), 1080u);
    EXPECT_EQ(PinValue(1, u"CCReferenceWidth"), 1920u);

    // A font file that cannot be opened is refused only with captions on.
    set.PutText(80, u"C:\\fonts\\none.gph");
    ASSERT_EQ(Send(video_, set).error, 0u);
    set.Put<ULONG>(36, 1);
    EXPECT_EQ(Send(video_, set).error, ErrorOf(0xC0071019));
    PutFile("font.gph", std::vector<uint8_t>(64, 1));
    set.PutText(80, u"C:\\logos\\font.gph");
    EXPECT_EQ(Send(video_, set).error, 0u);
    EXPECT_EQ(standin::ReadRegistryString(PinKey(1), u"CCFontFileName"), u"C:\\logos\\font.gph");
}

// ---- video decoder ---------------------------------------------------------------------------------

TEST_F(VideoSettingsTest, DecoderSignalTypeIsWrittenAndTheRangesFollowIt)
{
    Record set(PROPSETID_BREVICOR_VIDEODECODER, 0, kSet, 60);
    set.Put<ULONG>(28, 0x00800000);
    EXPECT_EQ(Send(video_, set).error, ErrorOf(0xC0071073));
    set.Put<ULONG>(28, 2);
    ASSERT_EQ(Send(video_, set).error, 0u);
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(*board_), u"DecoderCurrentSignalType"), 2u);
    Record get(PROPSETID_BREVICOR_VIDEODECODER, 0, kGet, 60);
    ASSERT_EQ(Send(video_, get).error, 0u);
    EXPECT_EQ(get.Get<ULONG>(24), 0x61FFFFu);
    EXPECT_EQ(get.Get<ULONG>(28), 2u);
    EXPECT_EQ(get.Get<ULONG>(32), 576u);
    EXPECT_EQ(get.Get<ULONG>(36), 720u);
    EXPECT_EQ(get.Get<ULONG>(40), 400000u);
    for (const auto& range : pintest::DataRanges(video_, 1)) {
        const auto caps = pintest::As<KS_DATARANGE_VIDEO>(range).ConfigCaps;
        EXPECT_EQ(caps.MinFrameInterval, 200000);
        EXPECT_EQ(caps.VideoStandard, 0x1F0u);
        EXPECT_EQ(caps.MaxOutputSize.cy, 576);
    }
    EXPECT_FALSE(pintest::DataRanges(video_, 1).empty());
    EXPECT_TRUE(Notifications(PROPSETID_BREVICOR_VIDEODECODER).empty());
    EXPECT_TRUE(Records(video_, &block_).empty());
}

TEST_F(VideoSettingsTest, StandardDecoderSetMapsAnalogStandardsToTheTwoDefinitions)
{
    Record standard(PROPSETID_VIDCAP_VIDEODECODER, KSPROPERTY_VIDEODECODER_STANDARD, kSet, 32);
    standard.Put<ULONG>(24, KS_AnalogVideo_PAL_B);
    ASSERT_EQ(Send(video_, standard).error, 0u);
    Record get(PROPSETID_BREVICOR_VIDEODECODER, 0, kGet, 60);
    ASSERT_EQ(Send(video_, get).error, 0u);
    EXPECT_EQ(get.Get<ULONG>(28), 2u);
    for (ULONG value : {0u, 0x00200000u, 0x80000000u, ULONG(KS_AnalogVideo_NTSC_M | KS_AnalogVideo_PAL_B)}) {
        standard.Put<ULONG>(24, value);
        EXPECT_EQ(Send(video_, standard).error, ErrorOf(0xC0071073)) << std::hex << value;
    }
    standard.Put<ULONG>(24, KS_AnalogVideo_SECAM_L);
    EXPECT_EQ(Send(video_, standard).error, 0u);
    standard.Put<ULONG>(24, KS_AnalogVideo_NTSC_M_J);
    ASSERT_EQ(Send(video_, standard).error, 0u);
    ASSERT_EQ(Send(video_, get).error, 0u);
    EXPECT_EQ(get.Get<ULONG>(28), 1u);

    Record caps(PROPSETID_VIDCAP_VIDEODECODER, KSPROPERTY_VIDEODECODER_CAPS, kGet, 40);
    ASSERT_EQ(Send(video_, caps).error, 0u);
    EXPECT_EQ(caps.Get<ULONG>(28), 6u);
    EXPECT_EQ(caps.Get<ULONG>(32), 10u);
}

// ---- proc amp --------------------------------------------------------------------------------------

TEST_F(VideoSettingsTest, StandardBrightnessRecomputesTheTablesOfBothPinsAndAnnouncesEachOnce)
{
    Record set(PROPSETID_VIDCAP_VIDEOPROCAMP, KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS, kSet, 40);
    set.Put<LONG>(24, 5);
    const Result result = Send(video_, set);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 40u);
    for (ULONG pin : {1u, 2u}) {
        Record get = Get(PROPSETID_BREVICOR_VIDEOPROCAMP, 2436, pin);
        EXPECT_EQ(get.Get<LONG>(28), 5) << pin;
        EXPECT_EQ(get.Get<UCHAR>(132 + 0), 16) << pin;
        EXPECT_EQ(get.Get<UCHAR>(132 + 128), 140) << pin;
        EXPECT_EQ(get.Get<UCHAR>(132 + 255), 235) << pin;
        for (LONG j : {0, 1, 128, 200, 255})
            EXPECT_EQ(get.Get<LONG>(1412 + 4 * j), (j - 128) * 100000) << pin << " " << j;
        EXPECT_EQ(get.Get<LONG>(388 + 4 * 200), 0) << pin;
        EXPECT_EQ(PinValue(pin, u"Brightness"), 5u);
    }
    const auto records = Notifications(PROPSETID_BREVICOR_VIDEOPROCAMP);
    ASSERT_EQ(records.size(), 2u);
    for (ULONG pin = 1; pin <= 2; ++pin) {
        EXPECT_EQ(Word(records[pin - 1], 16), pin);
        EXPECT_EQ(static_cast<LONG>(Word(records[pin - 1], 20)), 5);
        EXPECT_EQ(Word(records[pin - 1], 24), 100u);
        for (size_t i = 16 + 24; i < records[pin - 1].size(); ++i)
            ASSERT_EQ(records[pin - 1][i], 0) << i;
    }
    Record standardGet(PROPSETID_VIDCAP_VIDEOPROCAMP, KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS, kGet, 40);
    ASSERT_EQ(Send(video_, standardGet).error, 0u);
    EXPECT_EQ(standardGet.Get<LONG>(24), 5);
    EXPECT_EQ(standardGet.Get<ULONG>(28), 2u);
    EXPECT_EQ(standardGet.Get<ULONG>(32), 2u);
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

TEST_F(VideoSettingsTest, PrivateProcAmpAnswersItsConstantsAndAnEqualRecordChangesNothing)
{
    Record get = Get(PROPSETID_BREVICOR_VIDEOPROCAMP, 2436, 255);
    const LONG constants[5][4] = {{-20, 20, 0, 1}, {50, 200, 100, 1}, {-90, 90, 0, 1}, {-100, 100, 0, 1}, {0, 500, 1, 100}};
    for (size_t g = 0; g < 5; ++g)
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(get.Get<LONG>(28 + 20 * g + 4 + 4 * i), constants[g][i]) << g << " " << i;
    EXPECT_EQ(get.Get<LONG>(48), 100);
    EXPECT_EQ(get.Get<LONG>(108), 100);

    Record same(PROPSETID_BREVICOR_VIDEOPROCAMP, 0, kSet, 2436);
    std::memcpy(same.data() + 24, get.data() + 24, 2436 - 24);
    same.Put<ULONG>(24, 255);
    const auto hueBefore = PinValue(1, u"Hue");
    ASSERT_EQ(Send(video_, same).error, 0u);
    EXPECT_TRUE(Notifications(PROPSETID_BREVICOR_VIDEOPROCAMP).empty());
    EXPECT_EQ(PinValue(1, u"Hue"), hueBefore);

    // Hue with the no-save flag: applied, not written, not announced.
    same.Put<LONG>(68, 30);
    same.Put<ULONG>(128, 1);
    ASSERT_EQ(Send(video_, same).error, 0u);
    EXPECT_EQ(Get(PROPSETID_BREVICOR_VIDEOPROCAMP, 2436, 2).Get<LONG>(68), 30);
    EXPECT_NE(PinValue(2, u"Hue"), 30u);
    EXPECT_TRUE(Notifications(PROPSETID_BREVICOR_VIDEOPROCAMP).empty());
    // Saved: written for the one pin and announced once.
    same.Put<ULONG>(24, 1);
    same.Put<LONG>(68, -30);
    same.Put<ULONG>(128, 0);
    ASSERT_EQ(Send(video_, same).error, 0u);
    EXPECT_EQ(PinValue(1, u"Hue"), static_cast<ULONG>(-30));
    EXPECT_EQ(Notifications(PROPSETID_BREVICOR_VIDEOPROCAMP).size(), 1u);
    same.Put<ULONG>(24, 4);
    EXPECT_EQ(Send(video_, same).error, ErrorOf(0xC007100B));
}

// ---- loss of signal --------------------------------------------------------------------------------

TEST_F(VideoSettingsTest, LossOfSignalTypeOutOfRangeIsStoredAsNoneAndAnnouncedOnce)
{
    Record get(PROPSETID_BREVICOR_LOS, 0, kGet, 1120);
    ASSERT_EQ(Send(video_, get).error, 0u);
    // The flag is the caller's: a get answers 0 there, even for the record the registry gave.
    EXPECT_EQ(get.Get<ULONG>(72), 0u);
    Record set(PROPSETID_BREVICOR_LOS, 0, kSet, 1120);
    std::memcpy(set.data() + 24, get.data() + 24, 1120 - 24);
    set.Put<ULONG>(32, 1);
    set.Put<ULONG>(76, 9);
    set.PutText(80, u"No signal");
    set.PutText(600, u"");
    ASSERT_EQ(Send(video_, set).error, 0u);
    Record after(PROPSETID_BREVICOR_LOS, 0, kGet, 1120);
    ASSERT_EQ(Send(video_, after).error, 0u);
    EXPECT_EQ(after.Get<ULONG>(76), 0u);
    EXPECT_EQ(after.Text(80), u"No signal");
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(*board_), u"LOSVideoVideoSignalType"), 0u);
    const auto records = Notifications(PROPSETID_BREVICOR_LOS);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Word(records[0], 16 + 8), 1u);
    EXPECT_EQ(Word(records[0], 16 + 48), 0u);
}

// ---- creation -------------------------------------------------------------------------------------

TEST_F(VideoSettingsTest, ANewFilterLoadsEveryPinsStoredSettingsQuietly)
{
    Import("[" + pintest::RegPath(PinKey(1)) +
           "]\r\n\"CropHeight\"=dword:000000c8\r\n\"DeinterlaceType\"=dword:00000002\r\n"
           "\"Brightness\"=dword:00000007\r\n\"CCEnable\"=dword:00000001\r\n\"CCDestinationHeight\"=dword:00000005\r\n"
           "\"GammaValues\"=hex:" +
           [] {
               std::string zeros;
               for (int i = 0; i < 256; ++i)
                   zeros += i == 0 ? "00" : ",00";
               return zeros;
           }() +
           "\r\n");
    Import("[" + pintest::RegPath(PinKey(2)) + "]\r\n\"CropHeight\"=dword:00000064\r\n");
    std::string before;
    ASSERT_TRUE(standin::ExportRegistryText(DriverKey(*board_), &before));

    // A second filter instance loads the settings; the open one hears nothing of it.
    HANDLE second = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Records(video_, &block_).empty());
    std::string after;
    ASSERT_TRUE(standin::ExportRegistryText(DriverKey(*board_), &after));
    EXPECT_EQ(after, before);

    std::swap(video_, second);
    EXPECT_EQ(Get(PROPSETID_BREVICOR_CROP, 80, 1).Get<ULONG>(36), 200u);
    EXPECT_EQ(Get(PROPSETID_BREVICOR_CROP, 80, 2).Get<ULONG>(36), 100u);
    EXPECT_EQ(Get(PROPSETID_BREVICOR_DEINTERLACE, 60, 1).Get<ULONG>(32), 2u);
    // The stored caption rectangle went through the setter's rules.
    EXPECT_EQ(Get(PROPSETID_BREVICOR_CC, 600, 1).Get<ULONG>(56), 48u);
    // Tables stored as zeros are computed from the values: brightness 7 lifts mid-grey by 17.
    Record procAmp = Get(PROPSETID_BREVICOR_VIDEOPROCAMP, 2436, 1);
    EXPECT_EQ(procAmp.Get<LONG>(28), 7);
    EXPECT_EQ(procAmp.Get<UCHAR>(132 + 128), 145);
    EXPECT_EQ(procAmp.Get<LONG>(1412), -128 * 100000);
    std::swap(video_, second);
}

} // namespace
} // namespace filtertest
