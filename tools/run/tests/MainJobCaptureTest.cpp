// The main job's capture as a user runs it, in a child process: it exits 0 after a progress line a
// second and the summary; capture.avi holds both streams with the pictures the seconds asked for,
// as our reader and ffprobe (installed by tools/setup.sh) read it; contact.png decodes; the
// board's line-21 captions come back as text from the caption pin and the capture pin's pictures
// are the board's colour bars.
#include <gtest/gtest.h>

#include "avireader.h"
#include "aviwriter.h"

#include <png.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using capture::AviReader;
using capture::FourCC;

constexpr int kSeconds = 2;
// 2 s of 333667-unit pictures, rounded up.
constexpr uint32_t kPictures = 60;

std::string Shell(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int code = pclose(pipe);
    if (status != nullptr)
        *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
    return output;
}

// The number after `key` in `text` (0 when absent).
double NumberAfter(const std::string& text, const std::string& key)
{
    const size_t at = text.find(key);
    return at == std::string::npos ? 0 : std::strtod(text.c_str() + at + key.size(), nullptr);
}

class MainJobCaptureTest : public ::testing::Test {
protected:
    // One run serves every test of the suite: it takes a few seconds of real time.
    static void SetUpTestSuite()
    {
        std::string pattern = (fs::temp_directory_path() / "main-job-capture-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        output_ = Shell("'" + std::string(TALVEXON_RUN) + "' --machine '" + (folder_ / "machine").string() +
                            "' --out '" + (folder_ / "out").string() + "' --seconds " + std::to_string(kSeconds) +
                            " 2>&1",
                        &status_);
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    static fs::path Out(const char* name) { return folder_ / "out" / name; }

    static inline fs::path folder_;
    static inline std::string output_;
    static inline int status_ = -1;
};

TEST_F(MainJobCaptureTest, TheRunExitsZeroWithProgressAndASummaryOfEveryPin)
{
    SCOPED_TRACE(output_);
    EXPECT_EQ(status_, 0);
    EXPECT_NE(output_.find("caption overlay on for the preview pin"), std::string::npos);
    EXPECT_NE(output_.find("   1 s: capture "), std::string::npos);
    EXPECT_NE(output_.find("\nsummary:\n"), std::string::npos);
    for (const char* pin : {"capture  pin: ", "preview  pin: ", "captions pin: ", "audio    pin: "}) {
        const size_t at = output_.find(pin);
        ASSERT_NE(at, std::string::npos) << pin;
        // At least the seconds' worth of buffers came, delivered or counted as dropped (10 ms audio
        // buffers, 29.97 pictures a second): "N delivered, M dropped".
        char* rest = nullptr;
        const double delivered = std::strtod(output_.c_str() + at + std::strlen(pin), &rest);
        ASSERT_EQ(std::string(rest, 12), " delivered, ") << pin;
        const double dropped = std::strtod(rest + 12, nullptr);
        EXPECT_GE(delivered + dropped, std::string(pin).rfind("audio", 0) == 0 ? 100.0 * kSeconds : double(kPictures))
            << pin;
        EXPECT_GT(delivered, 0) << pin;
        EXPECT_NE(output_.find(" dropped", at), std::string::npos);
    }
    EXPECT_NE(output_.find("event-log entries this run: "), std::string::npos);
    EXPECT_EQ(output_.find("capture failed"), std::string::npos);
}

TEST_F(MainJobCaptureTest, TheCaptionPinGivesBackTheBoardsLine21Text)
{
    const size_t at = output_.find("caption text seen: \"");
    ASSERT_NE(at, std::string::npos) << output_;
    const std::string text = output_.substr(at + 20, output_.find('"', at + 20) - (at + 20));
    EXPECT_NE(text.find("INPUT 0 COLOUR BARS - 1 KHZ TONE"), std::string::npos) << text;
}

TEST_F(MainJobCaptureTest, OurReaderFindsBothStreamsAndThePicturesAskedFor)
{
    AviReader reader;
    ASSERT_TRUE(reader.ReadFile(Out("capture.avi"))) << reader.Error();
    EXPECT_EQ(reader.MainHeader().streams, 2u);
    EXPECT_EQ(reader.MainHeader().totalFrames, kPictures);
    EXPECT_EQ(reader.MainHeader().width, 640u);
    EXPECT_EQ(reader.MainHeader().height, 480u);
    ASSERT_EQ(reader.Streams().size(), 2u);
    EXPECT_EQ(reader.Streams()[0].type, FourCC("vids"));
    EXPECT_EQ(reader.Streams()[1].type, FourCC("auds"));
    const auto pictures = reader.StreamChunks(0);
    ASSERT_EQ(pictures.size(), kPictures);
    size_t audioBytes = 0;
    for (const auto& chunk : reader.StreamChunks(1))
        audioBytes += chunk.size;
    EXPECT_EQ(audioBytes, size_t(48000) * 4 * kSeconds);

    // The middle picture's middle row (bottom-up BGR) crosses the eight bars: white first, black
    // last, each bar 80 pixels wide.
    const auto& bytes = reader.Bytes();
    const auto& middle = pictures[kPictures / 2];
    ASSERT_EQ(middle.size, 640u * 480 * 3);
    const uint8_t* row = bytes.data() + middle.offset + size_t(240) * 640 * 3;
    EXPECT_EQ((std::array<int, 3>{row[40 * 3], row[40 * 3 + 1], row[40 * 3 + 2]}), (std::array<int, 3>{255, 255, 255}));
    const uint8_t* black = row + (7 * 80 + 40) * 3;
    EXPECT_EQ((std::array<int, 3>{black[0], black[1], black[2]}), (std::array<int, 3>{0, 0, 0}));
}

TEST_F(MainJobCaptureTest, FfprobeReadsRawBgrVideoAndStereoPcmLastingTheSecondsAsked)
{
    // tools/setup.sh installs ffmpeg; a machine without it has not been set up.
    ASSERT_FALSE(Shell("command -v ffprobe").empty()) << "ffprobe missing: run tools/setup.sh";
    const std::string path = Out("capture.avi").string();
    const std::string video = Shell("ffprobe -v error -select_streams v:0 -show_entries "
                                    "stream=codec_name,pix_fmt,width,height,nb_frames -of default=nw=1 '" +
                                    path + "'");
    EXPECT_NE(video.find("codec_name=rawvideo"), std::string::npos) << video;
    EXPECT_NE(video.find("pix_fmt=bgr24"), std::string::npos) << video;
    EXPECT_NE(video.find("width=640"), std::string::npos) << video;
    EXPECT_NE(video.find("height=480"), std::string::npos) << video;
    EXPECT_NEAR(NumberAfter(video, "nb_frames=") / (10'000'000.0 / 333667), kSeconds, 0.1 * kSeconds) << video;
    const std::string audio = Shell("ffprobe -v error -select_streams a:0 -show_entries "
                                    "stream=codec_name,sample_rate,channels,nb_frames:format=duration "
                                    "-of default=nw=1 '" + path + "'");
    EXPECT_NE(audio.find("codec_name=pcm_s16le"), std::string::npos) << audio;
    EXPECT_NE(audio.find("sample_rate=48000"), std::string::npos) << audio;
    EXPECT_NE(audio.find("channels=2"), std::string::npos) << audio;
    EXPECT_NEAR(NumberAfter(audio, "nb_frames=") / 48000.0, kSeconds, 0.1 * kSeconds) << audio;
    EXPECT_NEAR(NumberAfter(audio, "\nduration="), kSeconds, 0.1 * kSeconds) << audio;
}

TEST_F(MainJobCaptureTest, TheContactSheetDecodes)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, Out("contact.png").c_str())) << image.message;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
    EXPECT_EQ(image.width, 680u);
    EXPECT_GT(image.height, 2u * 120);
    // The first capture tile starts with the white bar.
    const uint8_t* white = pixels.data() + (size_t(8 + 60) * image.width + 8 + 5) * 3;
    EXPECT_EQ((std::array<int, 3>{white[0], white[1], white[2]}), (std::array<int, 3>{255, 255, 255}));
}

} // namespace
