// AVI files from an independent writer: ffmpeg's raw-video files in the four formats the test
// source plays map their frames, and the pictures the source takes from them match ffmpeg's own
// decoding to planar 4:2:2.
#include "LogicalStreamFixture.h"

#include "avitestfile.h"
#include "standin/control.h"
#include "videoframe.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include <unistd.h>

namespace streamtest {
namespace {

class AviTestFileFfmpegTest : public LogicalStreamFixture {
protected:
    // ffmpeg's 3-frame 320 x 240 test picture as raw video in the four formats, and its decoding of
    // the three YUV files to planar 4:2:2: two runs of ffmpeg for the whole suite.
    static void SetUpTestSuite()
    {
        if (!HasFfmpeg())
            return;
        made_ = std::filesystem::temp_directory_path() / ("ffmpeg-avi-" + std::to_string(::getpid()));
        std::filesystem::create_directories(made_);
        const auto path = [](const char* name) { return " '" + (made_ / name).string() + "'"; };
        std::string make = "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=30";
        for (const auto& [name, format, tag] : kFiles)
            make += std::string(" -frames:v 3 -c:v rawvideo -pix_fmt ") + format + (*tag ? std::string(" -vtag ") + tag : "") +
                    " -y" + path(name);
        madeOk_ = std::system(make.c_str()) == 0;
        std::string decode = "ffmpeg -nostdin -v error";
        for (int i = 0; i < 3; ++i)
            decode += std::string(" -i") + path(std::get<0>(kFiles[i]));
        for (int i = 0; i < 3; ++i)
            decode += " -map " + std::to_string(i) + " -f rawvideo -pix_fmt yuv422p -y" +
                      path((std::string(std::get<0>(kFiles[i])) + ".yuv").c_str());
        madeOk_ = madeOk_ && std::system(decode.c_str()) == 0;
    }
    static void TearDownTestSuite()
    {
        std::error_code error;
        if (!made_.empty())
            std::filesystem::remove_all(made_, error);
    }
    static bool HasFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

    void SetUp() override
    {
        LogicalStreamFixture::SetUp();
        if (!HasFfmpeg())
            GTEST_SKIP() << "ffmpeg not installed: AVI files from an independent writer not checked";
        ASSERT_TRUE(madeOk_) << "ffmpeg failed to make or decode the files";
        std::filesystem::create_directories(root_ / "C" / "ffmpeg");
        for (const auto& file : kFiles)
            std::filesystem::copy_file(made_ / std::get<0>(file), root_ / "C" / "ffmpeg" / std::get<0>(file));
    }

    static std::u16string Name(const std::string& file)
    {
        return u"C:\\ffmpeg\\" + std::u16string(file.begin(), file.end());
    }

    // ffmpeg's decoding of the file to planar 4:2:2.
    static std::vector<uint8_t> Planar422(const std::string& file)
    {
        std::ifstream in(made_ / (file + ".yuv"), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    static constexpr std::tuple<const char*, const char*, const char*> kFiles[4] = {
        {"uyvy.avi", "uyvy422", "UYVY"}, {"yuy2.avi", "yuyv422", "YUY2"}, {"i420.avi", "yuv420p", "I420"},
        {"bgr24.avi", "bgr24", ""}};
    static inline std::filesystem::path made_;
    static inline bool madeOk_ = false;
};

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr size_t kLuma = size_t(kWidth) * kHeight;

TEST_F(AviTestFileFfmpegTest, ItsFourRawFormatsMapThreeFramesEach)
{
    struct Case {
        const char* file;
        ULONG compression;
        ULONG frameSize;
    };
    for (const Case& c : {Case{"uyvy.avi", AviTestFile::kUyvy, kLuma * 2},
                          Case{"yuy2.avi", AviTestFile::kYuy2, kLuma * 2},
                          Case{"i420.avi", AviTestFile::kI420, kLuma * 3 / 2},
                          Case{"bgr24.avi", 0, kLuma * 3}}) {
        SCOPED_TRACE(c.file);
        const auto name = Name(c.file);
        AviTestFile file;
        ASSERT_TRUE(file.CheckForAviFile(name.c_str()));
        EXPECT_EQ(file.GetFrameCount(), 3u);
        EXPECT_EQ(file.GetWidth(), kWidth);
        EXPECT_EQ(file.GetHeight(), kHeight);
        EXPECT_EQ(file.GetCompression(), c.compression);
        EXPECT_EQ(file.GetFrameSize(), c.frameSize);
    }
    EXPECT_TRUE(standin::EventLogEntries().empty());
}

TEST_F(AviTestFileFfmpegTest, ThePicturesTakenFromItsFilesMatchItsOwnDecoding)
{
    struct Case {
        const char* file;
        bool chromaExact; // 4:2:2 in the file: no chroma resampling on either side
    };
    for (const Case& c : {Case{"uyvy.avi", true}, Case{"yuy2.avi", true},
                          Case{"i420.avi", false}}) {
        SCOPED_TRACE(c.file);
        const auto name = Name(c.file);
        const auto reference = Planar422(c.file);
        ASSERT_EQ(reference.size(), 3 * kLuma * 2);
        AviTestFile file;
        ASSERT_TRUE(file.CheckForAviFile(name.c_str()));
        std::vector<UCHAR> data(file.GetFrameSize());
        VideoFrame picture(kWidth, kHeight, 16, true);
        for (ULONG n = 0; n < 3; ++n) {
            ASSERT_EQ(file.ReadFrame(n, data.data(), ULONG(data.size())), STATUS_SUCCESS);
            ULONG imported = 0;
            if (file.GetCompression() == AviTestFile::kI420)
                imported = picture.AttachPlanar(data.data(), ULONG(data.size()));
            else
                imported = picture.ImportPacked(data.data(), ULONG(data.size()),
                                                file.GetCompression() == AviTestFile::kUyvy ? PackedOrder::Uyvy
                                                                                            : PackedOrder::Yuy2);
            ASSERT_EQ(imported, 1u);
            const uint8_t* frame = reference.data() + n * kLuma * 2;
            for (int row = 0; row < kHeight; ++row) {
                ASSERT_EQ(std::memcmp(picture.GetPlane(0) + row * picture.GetStride(0), frame + row * kWidth, kWidth), 0)
                    << "frame " << n << " luma row " << row;
                if (c.chromaExact) {
                    ASSERT_EQ(std::memcmp(picture.GetPlane(1) + row * picture.GetStride(1),
                                          frame + kLuma + row * (kWidth / 2), kWidth / 2),
                              0)
                        << "frame " << n << " Cb row " << row;
                    ASSERT_EQ(std::memcmp(picture.GetPlane(2) + row * picture.GetStride(2),
                                          frame + kLuma * 3 / 2 + row * (kWidth / 2), kWidth / 2),
                              0)
                        << "frame " << n << " Cr row " << row;
                }
            }
        }
    }
}

} // namespace
} // namespace streamtest
