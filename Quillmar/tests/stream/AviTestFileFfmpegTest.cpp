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

namespace streamtest {
namespace {

class AviTestFileFfmpegTest : public LogicalStreamFixture {
protected:
    void SetUp() override
    {
        LogicalStreamFixture::SetUp();
        if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "ffmpeg not installed: AVI files from an independent writer not checked";
        folder_ = root_ / "C" / "ffmpeg";
        std::filesystem::create_directories(folder_);
    }

    // ffmpeg's 3-frame 320 x 240 test picture as raw video of `pixelFormat` (with `tag`).
    std::u16string Make(const std::string& name, const std::string& pixelFormat, const std::string& tag)
    {
        const std::string command = "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=30 -frames:v 3 "
                                    "-c:v rawvideo -pix_fmt " + pixelFormat + (tag.empty() ? "" : " -vtag " + tag) +
                                    " -y '" + (folder_ / name).string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return u"C:\\ffmpeg\\" + std::u16string(name.begin(), name.end());
    }

    // ffmpeg's decoding of the file to planar 4:2:2.
    std::vector<uint8_t> Planar422(const std::string& name)
    {
        const auto out = folder_ / (name + ".yuv");
        const std::string command = "ffmpeg -nostdin -v error -i '" + (folder_ / name).string() +
                                    "' -f rawvideo -pix_fmt yuv422p -y '" + out.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream in(out, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path folder_;
};

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr size_t kLuma = size_t(kWidth) * kHeight;

TEST_F(AviTestFileFfmpegTest, ItsFourRawFormatsMapThreeFramesEach)
{
    struct Case {
        const char* file;
        const char* format;
        const char* tag;
        ULONG compression;
        ULONG frameSize;
    };
    for (const Case& c : {Case{"uyvy.avi", "uyvy422", "UYVY", AviTestFile::kUyvy, kLuma * 2},
                          Case{"yuy2.avi", "yuyv422", "YUY2", AviTestFile::kYuy2, kLuma * 2},
                          Case{"i420.avi", "yuv420p", "I420", AviTestFile::kI420, kLuma * 3 / 2},
                          Case{"bgr24.avi", "bgr24", "", 0, kLuma * 3}}) {
        SCOPED_TRACE(c.file);
        const auto name = Make(c.file, c.format, c.tag);
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
        const char* format;
        const char* tag;
        bool chromaExact; // 4:2:2 in the file: no chroma resampling on either side
    };
    for (const Case& c : {Case{"uyvy.avi", "uyvy422", "UYVY", true}, Case{"yuy2.avi", "yuyv422", "YUY2", true},
                          Case{"i420.avi", "yuv420p", "I420", false}}) {
        SCOPED_TRACE(c.file);
        const auto name = Make(c.file, c.format, c.tag);
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
