// The AVI test file: the header checks with their event-log entries, the frame map over the test
// writer's files (odd JUNK, idx1, indx, AVIX, "00db", an audio stream first, 64-byte stream
// headers), the refusal of pictures that cannot be played before anything is allocated for them,
// the reads of frame n and the reopen.
#include "AviFileWriter.h"
#include "LogicalStreamFixture.h"

#include "avitestfile.h"
#include "standin/control.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

namespace streamtest {
namespace {

class AviTestFileTest : public LogicalStreamFixture {
protected:
    // Writes the file as C:\avi\<name> and returns the name as the registry would hold it.
    std::u16string Put(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::filesystem::create_directories(root_ / "C" / "avi");
        WriteFileBytes((root_ / "C" / "avi" / name).string(), bytes);
        return u"C:\\avi\\" + std::u16string(name.begin(), name.end());
    }

    static std::vector<uint8_t> Uyvy(int frames, AviWriterOptions options = Options720())
    {
        std::vector<AviFrameBytes> pictures;
        for (int n = 0; n < frames; ++n)
            pictures.push_back(PackedFrame(options.width, options.height < 0 ? -options.height : options.height, n, true));
        return BuildAviFile(options, pictures);
    }

    static AviWriterOptions Options720()
    {
        AviWriterOptions options;
        options.width = 720;
        options.height = 487;
        options.compression = FourCC("UYVY");
        return options;
    }

    static std::vector<ULONG> Ids()
    {
        std::vector<ULONG> ids;
        for (const auto& entry : standin::EventLogEntries())
            ids.push_back(entry.messageId);
        return ids;
    }

    // The only entry has `id`; its first insert is the file's path.
    void ExpectOneEntry(ULONG id, const std::u16string& name)
    {
        const auto entries = standin::EventLogEntries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].messageId, id);
        ASSERT_GE(entries[0].inserts.size(), 1u);
        EXPECT_EQ(entries[0].inserts[0], u"\\DosDevices\\" + name);
    }

    static std::u16string Lower(std::u16string text)
    {
        for (auto& c : text)
            c = (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
        return text;
    }
};

TEST_F(AviTestFileTest, AFourFrameUyvyFileMapsFourFramesAtTheirChunkData)
{
    const auto bytes = Uyvy(4);
    const auto name = Put("four.avi", bytes);
    AviTestFile file;
    ASSERT_TRUE(file.CheckForAviFile(name.c_str()));
    EXPECT_TRUE(file.IsAviMode());
    EXPECT_TRUE(standin::EventLogEntries().empty());
    EXPECT_EQ(file.GetFrameCount(), 4u);
    EXPECT_EQ(file.GetWidth(), 720);
    EXPECT_EQ(file.GetHeight(), 487);
    EXPECT_EQ(file.GetFrameSize(), 720u * 487 * 2);
    EXPECT_EQ(file.GetCompressedChunkId(), FourCC("00dc"));
    EXPECT_EQ(file.GetDibChunkId(), FourCC("00db"));
    EXPECT_EQ(file.GetStreamHeader().fccType, FourCC("vids"));
    EXPECT_EQ(file.GetMainHeader().totalFrames, 4u);
    EXPECT_EQ(std::u16string(file.GetPath()), u"\\DosDevices\\" + name);
    for (ULONG i = 0; i < 4; ++i) {
        const ULONGLONG offset = file.GetFrameOffset(i);
        ASSERT_GE(offset, 8u);
        EXPECT_EQ(std::memcmp(bytes.data() + offset - 8, "00dc", 4), 0);
    }
    // Frame n, and n modulo the count.
    std::vector<UCHAR> frame(file.GetFrameSize());
    for (ULONG n : {0u, 3u, 5u}) {
        ASSERT_EQ(file.ReadFrame(n, frame.data(), ULONG(frame.size())), STATUS_SUCCESS);
        EXPECT_EQ(frame, PackedFrame(720, 487, int(n % 4), true)) << n;
    }
    EXPECT_EQ(file.ReadFrame(0, frame.data(), ULONG(frame.size() - 1)), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(DebugLinesWith("End of file found at " + std::to_string(bytes.size())), 1u);
    EXPECT_EQ(DebugLinesWith("Video AVI File name is [C:\\avi\\four.avi]"), 1u);
}

TEST_F(AviTestFileTest, AnEmptyNameIsNoAviModeAndNoEntry)
{
    AviTestFile file;
    EXPECT_FALSE(file.CheckForAviFile(u""));
    EXPECT_FALSE(file.CheckForAviFile(nullptr));
    EXPECT_FALSE(file.IsAviMode());
    EXPECT_TRUE(standin::EventLogEntries().empty());
    std::vector<UCHAR> frame(16);
    EXPECT_EQ(file.ReadFrame(0, frame.data(), 16), STATUS_NOT_FOUND);
}

TEST_F(AviTestFileTest, AMissingFileGivesTheOpenEntryWithItsStatus)
{
    std::filesystem::create_directories(root_ / "C" / "avi");
    AviTestFile file;
    EXPECT_FALSE(file.CheckForAviFile(u"C:\\avi\\none.avi"));
    ExpectOneEntry(0xC0071019, u"C:\\avi\\none.avi");
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries[0].inserts.size(), 2u);
    EXPECT_EQ(Lower(entries[0].inserts[1]), u"c0000034");
    EXPECT_EQ(DebugLinesWith("Attempt to open file [\\DosDevices\\C:\\avi\\none.avi] failed.  Status returned was "
                             "0xc0000034"),
              1u);
}

TEST_F(AviTestFileTest, BadHeadersGiveTheirEntryNameTheFileAndStayOnBars)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> spoil;
        ULONG id;
    };
    const std::vector<Case> cases = {
        {"RIFX", [](auto& b) { std::memcpy(b.data(), "RIFX", 4); }, 0xC0071025},
        {"AVI form", [](auto& b) { std::memcpy(b.data() + 8, "WAVE", 4); }, 0xC0071025},
        {"cut at 20", [](auto& b) { b.resize(20); }, 0xC007101B},
        {"cut at 8", [](auto& b) { b.resize(8); }, 0xC007101A},
        {"hdrX", [](auto& b) { std::memcpy(b.data() + 20, "hdrX", 4); }, 0xC0071026},
        {"avix", [](auto& b) { std::memcpy(b.data() + 24, "avix", 4); }, 0xC0071027},
        {"cut in avih", [](auto& b) { b.resize(60); }, 0xC007101D},
        {"cut at avih header", [](auto& b) { b.resize(28); }, 0xC007101C},
        {"strl", [](auto& b) { std::memcpy(b.data() + 96, "strX", 4); }, 0xC0071028},
        {"cut in strl header", [](auto& b) { b.resize(94); }, 0xC007101E},
        {"cut at strh", [](auto& b) { b.resize(104); }, 0xC007101F},
        {"cut in strh", [](auto& b) { b.resize(130); }, 0xC0071020},
        {"cut at strf", [](auto& b) { b.resize(168); }, 0xC0071021},
        {"cut in bitmap", [](auto& b) { b.resize(190); }, 0xC0071022},
        {"cut at indx", [](auto& b) { b.resize(212); }, 0xC0071024},
    };
    const auto good = Uyvy(2);
    // The layout the offsets above count on.
    ASSERT_EQ(std::memcmp(good.data() + 88, "LIST", 4), 0);
    ASSERT_EQ(std::memcmp(good.data() + 96, "strl", 4), 0);
    ASSERT_EQ(std::memcmp(good.data() + 100, "strh", 4), 0);
    ASSERT_EQ(std::memcmp(good.data() + 164, "strf", 4), 0);
    ASSERT_EQ(std::memcmp(good.data() + 212, "LIST", 4), 0);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        auto bytes = good;
        cases[i].spoil(bytes);
        const auto name = Put("bad" + std::to_string(i) + ".avi", bytes);
        standin::EventLogClear();
        AviTestFile file;
        EXPECT_FALSE(file.CheckForAviFile(name.c_str()));
        EXPECT_FALSE(file.IsAviMode());
        EXPECT_EQ(file.GetFrameCount(), 0u);
        ExpectOneEntry(cases[i].id, name);
    }
}

TEST_F(AviTestFileTest, AnEmptyMoviOrFramesOfAnotherSizeMapNothing)
{
    AviTestFile file;
    const auto empty = Put("empty.avi", Uyvy(0));
    EXPECT_FALSE(file.CheckForAviFile(empty.c_str()));
    ExpectOneEntry(0xC0071027, empty);

    standin::EventLogClear();
    AviWriterOptions options = Options720();
    std::vector<AviFrameBytes> frames = {AviFrameBytes(1000, 1), AviFrameBytes(720 * 487 * 2 + 2, 1)};
    const auto wrong = Put("wrong.avi", BuildAviFile(options, frames));
    EXPECT_FALSE(file.CheckForAviFile(wrong.c_str()));
    ExpectOneEntry(0xC0071027, wrong);
}

TEST_F(AviTestFileTest, PicturesThatCannotBePlayedAreRefusedBeforeAnyAllocation)
{
    struct Case {
        const char* what;
        int32_t width;
        int32_t height;
        uint32_t compression;
        uint16_t bitCount;
        uint32_t sizeImage;
    };
    const std::vector<Case> cases = {
        {"width 100000", 100000, 487, FourCC("UYVY"), 16, 0},
        {"size 0xFFFFFFF0", 720, 487, FourCC("UYVY"), 16, 0xFFFFFFF0},
        {"odd width", 721, 487, FourCC("UYVY"), 16, 0},
        {"width 1", 1, 487, FourCC("UYVY"), 16, 0},
        {"height 1126", 720, 1126, FourCC("UYVY"), 16, 0},
        {"height -1126", 720, -1126, FourCC("UYVY"), 16, 0},
        {"height INT_MIN", 720, INT32_MIN, FourCC("UYVY"), 16, 0},
        {"frame below the picture", 720, 487, FourCC("UYVY"), 16, 1000},
        {"above 1920 x 1125 x 3", 1920, 1125, 0, 32, 0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        AviWriterOptions options;
        options.width = cases[i].width;
        options.height = cases[i].height;
        options.compression = cases[i].compression;
        options.bitCount = cases[i].bitCount;
        options.sizeImage = cases[i].sizeImage;
        const auto name = Put("picture" + std::to_string(i) + ".avi", BuildAviFile(options, {AviFrameBytes(64, 0)}));
        standin::EventLogClear();
        const auto before = standin::PoolUsageTotal().totalBytes;
        AviTestFile file;
        EXPECT_FALSE(file.CheckForAviFile(name.c_str()));
        EXPECT_LT(standin::PoolUsageTotal().totalBytes - before, 1u << 20);
        ExpectOneEntry(0xC0071022, name);
        const auto entries = standin::EventLogEntries();
        ASSERT_EQ(entries[0].inserts.size(), 2u);
        EXPECT_EQ(Lower(entries[0].inserts[1]), u"c00000bb");
    }
}

TEST_F(AviTestFileTest, JunkIndexesAnAudioStreamFirstAndAnAvixContinuationAreWalked)
{
    AviWriterOptions options;
    options.width = 32;
    options.height = -6; // top-down: frames of the absolute height
    options.compression = FourCC("YUY2");
    options.oddJunk = true;
    options.withIndx = true;
    options.avixFrom = 3;
    options.audioFirst = true;
    options.dibChunks = true;
    options.streamHeaderSize = 64;
    std::vector<AviFrameBytes> frames;
    for (int n = 0; n < 5; ++n)
        frames.push_back(PackedFrame(32, 6, n, false));
    const auto bytes = BuildAviFile(options, frames);
    const auto name = Put("junk.avi", bytes);
    AviTestFile file;
    ASSERT_TRUE(file.CheckForAviFile(name.c_str()));
    EXPECT_TRUE(standin::EventLogEntries().empty());
    EXPECT_EQ(file.GetCompressedChunkId(), FourCC("01dc"));
    EXPECT_EQ(file.GetDibChunkId(), FourCC("01db"));
    EXPECT_EQ(file.GetHeight(), 6);
    EXPECT_TRUE(file.IsTopDown());
    ASSERT_EQ(file.GetFrameCount(), 5u);
    std::vector<UCHAR> frame(file.GetFrameSize());
    for (ULONG n = 0; n < 5; ++n) {
        ASSERT_EQ(file.ReadFrame(n, frame.data(), ULONG(frame.size())), STATUS_SUCCESS);
        EXPECT_EQ(frame, frames[n]) << n;
    }
    // The frames of the continuation lie behind the first form.
    EXPECT_GT(file.GetFrameOffset(3), ULONGLONG(bytes.size()) / 2);
}

TEST_F(AviTestFileTest, FrameSizesFollowTheFormatWhenTheHeaderGivesNone)
{
    struct Case {
        uint32_t compression;
        uint16_t bitCount;
        ULONG expected;
    };
    for (const Case& c : {Case{FourCC("I420"), 12, 104 * 60 * 3 / 2}, Case{0, 24, 312 * 60},
                          Case{FourCC("UYVY"), 16, 104 * 60 * 2}}) {
        BITMAPINFOHEADER header{};
        header.biWidth = 104;
        header.biHeight = -60;
        header.biBitCount = c.bitCount;
        header.biCompression = c.compression;
        EXPECT_EQ(AviTestFile::PictureBytes(header), c.expected);
    }
    BITMAPINFOHEADER rgb{};
    rgb.biWidth = 6;
    rgb.biHeight = 2;
    rgb.biBitCount = 24;
    EXPECT_EQ(AviTestFile::PictureBytes(rgb), 20u * 2); // 18 bytes padded to 20
}

TEST_F(AviTestFileTest, AFailedReopenIsMadeGoodByTheNextReadAndAShortenedFileFailsItsRead)
{
    AviWriterOptions options;
    options.width = 16;
    options.height = 4;
    options.compression = FourCC("UYVY");
    auto bytes = BuildAviFile(options, {PackedFrame(16, 4, 0, true), PackedFrame(16, 4, 1, true)});
    const auto name = Put("reopen.avi", bytes);
    AviTestFile second;
    ASSERT_TRUE(second.CheckForAviFile(name.c_str()));
    second.CloseFile();
    standin::InjectOpenFailure(u"*reopen.avi", STATUS_ACCESS_DENIED, 1);
    std::vector<UCHAR> frame(second.GetFrameSize());
    EXPECT_EQ(second.ReadFrame(1, frame.data(), ULONG(frame.size())), STATUS_ACCESS_DENIED);
    EXPECT_EQ(second.ReadFrame(1, frame.data(), ULONG(frame.size())), STATUS_SUCCESS);
    EXPECT_EQ(frame, PackedFrame(16, 4, 1, true));

    // Cut inside frame 1 after the map.
    second.CloseFile();
    std::filesystem::resize_file(root_ / "C" / "avi" / "reopen.avi", second.GetFrameOffset(1) + 10);
    EXPECT_EQ(second.ReadFrame(0, frame.data(), ULONG(frame.size())), STATUS_SUCCESS);
    EXPECT_NE(second.ReadFrame(1, frame.data(), ULONG(frame.size())), STATUS_SUCCESS);
    standin::ClearFileFailures();
}

} // namespace
} // namespace streamtest
