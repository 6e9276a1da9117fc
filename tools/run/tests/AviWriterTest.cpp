// The capture file: written by our AVI writer and read back by our reader (headers, streams,
// interleaved chunks, the index and its offsets, the exact frame bytes) and, where ffprobe is
// installed by tools/setup.sh, by ffprobe: raw BGR video and PCM audio of the length
// written. Bad formats, wrong chunk sizes and the 1 GiB limit are refused with the file left whole.
#include "avireader.h"
#include "aviwriter.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using capture::AviAudioFormat;
using capture::AviReader;
using capture::AviVideoFormat;
using capture::AviWriter;
using capture::FourCC;

class AviWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "avi-writer-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    static uint32_t U32(const std::vector<uint8_t>& bytes, size_t at)
    {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    }
    static uint16_t U16(const std::vector<uint8_t>& bytes, size_t at)
    {
        return uint16_t(bytes[at] | bytes[at + 1] << 8);
    }

    // `frames` pictures of 64 x 48 (frame n's bytes n + offset within the frame) with 1/30 s of
    // 48 kHz stereo 16-bit audio after each (sample values counting up).
    fs::path WriteFile(int frames, int64_t frameDuration = 333667)
    {
        const fs::path path = folder_ / "capture.avi";
        AviWriter writer;
        EXPECT_TRUE(writer.Open(path, {64, 48, 24, frameDuration}, {48000, 2, 16})) << writer.Error();
        std::vector<uint8_t> picture(64 * 3 * 48);
        std::vector<uint8_t> audio(1600 * 4);
        for (int n = 0; n < frames; ++n) {
            for (size_t i = 0; i < picture.size(); ++i)
                picture[i] = uint8_t(n + i);
            EXPECT_TRUE(writer.AddVideoFrame(picture.data(), picture.size())) << writer.Error();
            for (size_t i = 0; i < audio.size(); i += 2) {
                const uint16_t sample = uint16_t(n * 3200 + i / 2);
                audio[i] = uint8_t(sample);
                audio[i + 1] = uint8_t(sample >> 8);
            }
            EXPECT_TRUE(writer.AddAudio(audio.data(), audio.size())) << writer.Error();
        }
        EXPECT_TRUE(writer.Close()) << writer.Error();
        return path;
    }

    static std::string Shell(const std::string& command)
    {
        std::string output;
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        if (!pipe)
            return output;
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
            output += buffer;
        return output;
    }

    fs::path folder_;
};

TEST_F(AviWriterTest, OurReaderFindsBothStreamsTheFrameCountAndEveryChunkWhereTheIndexSays)
{
    const fs::path path = WriteFile(10);
    AviReader reader;
    ASSERT_TRUE(reader.ReadFile(path)) << reader.Error();
    const auto& main = reader.MainHeader();
    EXPECT_EQ(main.totalFrames, 10u);
    EXPECT_EQ(main.streams, 2u);
    EXPECT_EQ(main.width, 64u);
    EXPECT_EQ(main.height, 48u);
    EXPECT_EQ(main.microSecondsPerFrame, 33366u);
    EXPECT_EQ(main.flags, 0x110u); // an index, interleaved

    ASSERT_EQ(reader.Streams().size(), 2u);
    const auto& video = reader.Streams()[0];
    EXPECT_EQ(video.type, FourCC("vids"));
    EXPECT_EQ(video.scale, 333667u);
    EXPECT_EQ(video.rate, 10000000u);
    EXPECT_EQ(video.length, 10u);
    ASSERT_EQ(video.format.size(), 40u);
    EXPECT_EQ(U32(video.format, 0), 40u);
    EXPECT_EQ(int32_t(U32(video.format, 4)), 64);
    EXPECT_EQ(int32_t(U32(video.format, 8)), 48); // bottom-up
    EXPECT_EQ(U16(video.format, 14), 24);
    EXPECT_EQ(U32(video.format, 16), 0u); // RGB
    EXPECT_EQ(U32(video.format, 20), 64u * 3 * 48);
    const auto& audio = reader.Streams()[1];
    EXPECT_EQ(audio.type, FourCC("auds"));
    EXPECT_EQ(audio.scale, 4u);
    EXPECT_EQ(audio.rate, 192000u);
    EXPECT_EQ(audio.sampleSize, 4u);
    EXPECT_EQ(audio.length, 16000u);
    ASSERT_EQ(audio.format.size(), 16u);
    EXPECT_EQ(U16(audio.format, 0), 1);
    EXPECT_EQ(U16(audio.format, 2), 2);
    EXPECT_EQ(U32(audio.format, 4), 48000u);
    EXPECT_EQ(U32(audio.format, 8), 192000u);
    EXPECT_EQ(U16(audio.format, 12), 4);
    EXPECT_EQ(U16(audio.format, 14), 16);

    // Interleaved: picture, audio, picture, audio ...; the index lists the same chunks with offsets
    // from the movi list's type and the keyframe flag.
    const auto& chunks = reader.MoviChunks();
    ASSERT_EQ(chunks.size(), 20u);
    ASSERT_EQ(reader.Index().size(), 20u);
    const auto& bytes = reader.Bytes();
    for (size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].id, i % 2 == 0 ? FourCC("00db") : FourCC("01wb")) << i;
        const auto& entry = reader.Index()[i];
        EXPECT_EQ(entry.id, chunks[i].id);
        EXPECT_EQ(entry.flags, 0x10u);
        EXPECT_EQ(entry.size, chunks[i].size);
        EXPECT_EQ(reader.MoviTypeOffset() + entry.offset + 8, chunks[i].offset) << i;
    }
    const auto pictures = reader.StreamChunks(0);
    ASSERT_EQ(pictures.size(), 10u);
    EXPECT_EQ(bytes[pictures[7].offset], 7);
    EXPECT_EQ(bytes[pictures[7].offset + 100], uint8_t(107));
    const auto blocks = reader.StreamChunks(1);
    ASSERT_EQ(blocks.size(), 10u);
    // Frame 2's block starts with sample 6400.
    EXPECT_EQ(U16(bytes, blocks[2].offset), 6400);
    // The RIFF size is the file's.
    EXPECT_EQ(U32(bytes, 4) + 8, fs::file_size(path));
}

TEST_F(AviWriterTest, FfprobeReadsRawBgrVideoAndStereoPcmOfTheLengthWritten)
{
    // tools/setup.sh installs ffmpeg; a machine without it has not been set up.
    ASSERT_FALSE(Shell("command -v ffprobe").empty()) << "ffprobe missing: run tools/setup.sh";
    const fs::path path = WriteFile(90); // three seconds
    const std::string video = Shell("ffprobe -v error -select_streams v:0 -show_entries "
                                  "stream=codec_name,pix_fmt,width,height,nb_frames -of default=nw=1 '" +
                                  path.string() + "'");
    EXPECT_NE(video.find("codec_name=rawvideo"), std::string::npos) << video;
    EXPECT_NE(video.find("pix_fmt=bgr24"), std::string::npos) << video;
    EXPECT_NE(video.find("width=64"), std::string::npos) << video;
    EXPECT_NE(video.find("height=48"), std::string::npos) << video;
    EXPECT_NE(video.find("nb_frames=90"), std::string::npos) << video;
    const std::string audio = Shell("ffprobe -v error -select_streams a:0 -show_entries "
                                  "stream=codec_name,sample_rate,channels,nb_frames:format=duration -of default=nw=1 '" +
                                  path.string() + "'");
    EXPECT_NE(audio.find("codec_name=pcm_s16le"), std::string::npos) << audio;
    EXPECT_NE(audio.find("sample_rate=48000"), std::string::npos) << audio;
    EXPECT_NE(audio.find("channels=2"), std::string::npos) << audio;
    SCOPED_TRACE(audio);
    // The audio stream's length in samples (the stream gives no duration of its own for PCM in
    // AVI) and the file's duration: three seconds within 10 %.
    const auto samples = audio.find("nb_frames=");
    ASSERT_NE(samples, std::string::npos);
    EXPECT_NEAR(std::strtod(audio.c_str() + samples + 10, nullptr) / 48000.0, 3.0, 0.3);
    const auto duration = audio.find("\nduration=");
    ASSERT_NE(duration, std::string::npos);
    EXPECT_NEAR(std::strtod(audio.c_str() + duration + 10, nullptr), 3.0, 0.3);
    // Decoding every packet finds no damage.
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + path.string() + "' -f null - 2>&1"), "");
}

TEST_F(AviWriterTest, BadFormatsAndChunksAreRefusedAndTheFileStaysWhole)
{
    AviWriter writer;
    const fs::path path = folder_ / "bad.avi";
    EXPECT_FALSE(writer.Open(path, {0, 48, 24, 333667}, {48000, 2, 16}));
    EXPECT_FALSE(writer.Open(path, {64, 48, 24, 0}, {48000, 2, 16}));
    EXPECT_FALSE(writer.Open(path, {64, 48, 12, 333667}, {48000, 2, 16}));
    EXPECT_FALSE(writer.Open(path, {64, 48, 24, 333667}, {48000, 0, 16}));
    EXPECT_FALSE(writer.Open(path, {64, 48, 24, 333667}, {0, 2, 16}));
    EXPECT_FALSE(writer.Open(path, {40000, 40000, 32, 333667}, {48000, 2, 16})); // a frame beyond 1 GiB
    EXPECT_FALSE(writer.Open(folder_ / "missing" / "x.avi", {64, 48, 24, 333667}, {48000, 2, 16}));
    EXPECT_FALSE(fs::exists(path));
    uint8_t byte = 0;
    EXPECT_FALSE(writer.AddVideoFrame(&byte, 1)); // not open
    EXPECT_FALSE(writer.Close());

    // A 17 x 3 picture has rows padded to 52 bytes.
    ASSERT_TRUE(writer.Open(path, {17, -3, 24, 400000}, {44100, 1, 8})) << writer.Error();
    EXPECT_EQ(writer.FrameBytes(), 156u);
    std::vector<uint8_t> picture(156, 9);
    EXPECT_FALSE(writer.AddVideoFrame(picture.data(), 153));
    EXPECT_TRUE(writer.AddVideoFrame(picture.data(), 156));
    const uint8_t samples[3] = {1, 2, 3};
    EXPECT_TRUE(writer.AddAudio(samples, 3)); // odd: padded
    EXPECT_FALSE(writer.AddAudio(samples, 0));
    EXPECT_TRUE(writer.AddVideoFrame(picture.data(), 156));
    ASSERT_TRUE(writer.Close());
    AviReader reader;
    ASSERT_TRUE(reader.ReadFile(path)) << reader.Error();
    EXPECT_EQ(reader.MainHeader().totalFrames, 2u);
    EXPECT_EQ(int32_t(U32(reader.Streams()[0].format, 8)), -3); // top-down as asked
    ASSERT_EQ(reader.MoviChunks().size(), 3u);
    EXPECT_EQ(reader.MoviChunks()[1].size, 3u);
    EXPECT_EQ(reader.MoviChunks()[2].id, FourCC("00db")); // found after the pad byte
}

TEST_F(AviWriterTest, TheFileNeverGrowsBeyondItsLimit)
{
    static_assert(AviWriter::kMaximumFileBytes == 1073741824);
    // A limit of 40,000 bytes: headers (324), index head (8), then 64 x 48 pictures of 9,216 bytes
    // each taking 9,224 in movi and 16 in the index: four fit (37,292 when closed), a fifth would
    // not (46,532).
    const fs::path path = folder_ / "limited.avi";
    AviWriter writer(40000);
    ASSERT_TRUE(writer.Open(path, {64, 48, 24, 333667}, {48000, 2, 16})) << writer.Error();
    std::vector<uint8_t> picture(writer.FrameBytes(), 0x40);
    int written = 0;
    while (written < 10 && writer.AddVideoFrame(picture.data(), picture.size()))
        ++written;
    EXPECT_EQ(written, 4);
    EXPECT_NE(writer.Error().find("beyond its limit"), std::string::npos) << writer.Error();
    EXPECT_EQ(writer.ClosedSize(), 37292u);
    // Audio that still fits is taken; then nothing more.
    std::vector<uint8_t> audio(2000, 0);
    EXPECT_TRUE(writer.AddAudio(audio.data(), audio.size()));
    EXPECT_FALSE(writer.AddAudio(audio.data(), audio.size()));
    EXPECT_LE(writer.ClosedSize(), 40000u);
    ASSERT_TRUE(writer.Close());
    EXPECT_LE(fs::file_size(path), 40000u);
    AviReader reader;
    ASSERT_TRUE(reader.ReadFile(path)) << reader.Error();
    EXPECT_EQ(reader.MainHeader().totalFrames, 4u);
    EXPECT_EQ(reader.Index().size(), 5u);
    // A limit above 1 GiB is cut to it: a frame of more than 1 GiB is refused.
    AviWriter large(uint64_t(1) << 40);
    EXPECT_FALSE(large.Open(folder_ / "large.avi", {32768, 16384, 24, 333667}, {48000, 2, 16}));
}

TEST_F(AviWriterTest, TheReaderRefusesDamagedFilesWithoutReadingOutsideThem)
{
    const fs::path path = WriteFile(2);
    AviReader reader;
    ASSERT_TRUE(reader.ReadFile(path));
    const std::vector<uint8_t> good = reader.Bytes();
    // Cut short: the RIFF size runs past the end.
    std::vector<uint8_t> cut(good.begin(), good.end() - 10);
    EXPECT_FALSE(reader.Read(cut));
    EXPECT_NE(reader.Error().find("RIFF size"), std::string::npos);
    // A chunk inside the movi list claiming more than the list holds.
    std::vector<uint8_t> swollen = good;
    AviReader fine;
    ASSERT_TRUE(fine.Read(good));
    const uint64_t firstChunkHead = fine.MoviChunks()[0].offset - 8;
    swollen[firstChunkHead + 7] = 0x7F;
    EXPECT_FALSE(reader.Read(swollen));
    // Not RIFF, or empty.
    EXPECT_FALSE(reader.Read({}));
    std::vector<uint8_t> other = good;
    other[8] = 'W';
    EXPECT_FALSE(reader.Read(other));
}

} // namespace
