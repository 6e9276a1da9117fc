// The capture file: written by our AVI writer and read back by our reader (headers, streams,
// interleaved chunks, the index and its offsets, the exact frame bytes) and, where ffprobe is
// installed by tools/setup.sh, by ffprobe: raw BGR video and PCM audio of the length
// written. Bad formats, wrong chunk sizes and the 1 GiB limit are refused with the file left whole.
#include "avireader.h"
#include "aviwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
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

    // Interleaved: picture, audio, picture, audio ..., then the two streams' standard indexes; the
    // legacy index lists the same chunks with offsets from the movi list's type and the keyframe flag.
    const auto& chunks = reader.MoviChunks();
    ASSERT_EQ(chunks.size(), 22u);
    EXPECT_EQ(chunks[20].id, FourCC("ix00"));
    EXPECT_EQ(chunks[21].id, FourCC("ix01"));
    EXPECT_EQ(reader.Segments(), 1u);
    EXPECT_TRUE(reader.HasExtendedHeader());
    EXPECT_EQ(reader.ExtendedTotalFrames(), 10u);
    ASSERT_EQ(reader.Index().size(), 20u);
    const auto& bytes = reader.Bytes();
    for (size_t i = 0; i < 20; ++i) {
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
    ASSERT_EQ(reader.MoviChunks().size(), 5u); // the standard indexes at the end
    EXPECT_EQ(reader.MoviChunks()[1].size, 3u);
    EXPECT_EQ(reader.MoviChunks()[2].id, FourCC("00db")); // found after the pad byte
    EXPECT_EQ(reader.MoviChunks()[3].id, FourCC("ix00"));
}

// Every segment's chunks as its standard indexes list them, and every standard index where the
// super index says: the stream's chunks in order, of the sizes written, `frames` in all.
void ExpectIndexesFindEveryChunk(const AviReader& reader, uint32_t stream, size_t chunks, uint64_t duration)
{
    SCOPED_TRACE("stream " + std::to_string(stream));
    const auto& bytes = reader.Bytes();
    auto u32 = [&](uint64_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    const uint32_t chunkId = stream == 0 ? FourCC("00db") : FourCC("01wb");
    const uint32_t indexId = stream == 0 ? FourCC("ix00") : FourCC("ix01");
    const auto& super = reader.Streams()[stream];
    ASSERT_TRUE(super.hasSuperIndex);
    EXPECT_EQ(super.superIndexChunkId, chunkId);
    const auto written = reader.StreamChunks(stream);
    ASSERT_EQ(written.size(), chunks);
    size_t next = 0;
    uint64_t total = 0;
    for (const auto& entry : super.superIndex) {
        const auto found = std::find_if(reader.StandardIndexes().begin(), reader.StandardIndexes().end(),
                                        [&](const capture::AviStandardIndex& index) { return index.offset == entry.offset; });
        ASSERT_NE(found, reader.StandardIndexes().end()) << "no standard index at " << entry.offset;
        EXPECT_EQ(found->id, indexId);
        EXPECT_EQ(found->chunkId, chunkId);
        EXPECT_EQ(entry.size, 8 + u32(entry.offset + 4));
        uint64_t duration = 0;
        for (const auto& chunk : found->entries) {
            ASSERT_LT(next, written.size());
            EXPECT_EQ(found->baseOffset + chunk.offset, written[next].offset) << "chunk " << next;
            EXPECT_EQ(chunk.size, written[next].size) << "chunk " << next; // bit 31 clear: key frames
            EXPECT_EQ(u32(written[next].offset - 8), chunkId);
            duration += stream == 0 ? 1 : chunk.size / 4;
            ++next;
        }
        EXPECT_EQ(entry.duration, duration);
        total += duration;
    }
    EXPECT_EQ(next, written.size());
    EXPECT_EQ(total, duration);
}

TEST_F(AviWriterTest, ALongCaptureGoesOnInRiffAvixSegmentsThatFfprobeReadsWhole)
{
    // Segments of 64 KiB: the first holds the headers and three pictures with their audio, each
    // later one about four; 90 pictures (three seconds) make 23 segments.
    constexpr uint64_t kSegment = 65536;
    const fs::path path = folder_ / "segmented.avi";
    {
        AviWriter writer(kSegment);
        ASSERT_TRUE(writer.Open(path, {64, 48, 24, 333667}, {48000, 2, 16})) << writer.Error();
        std::vector<uint8_t> picture(64 * 3 * 48), audio(1600 * 4);
        for (int n = 0; n < 90; ++n) {
            for (size_t i = 0; i < picture.size(); ++i)
                picture[i] = uint8_t(n + i);
            ASSERT_TRUE(writer.AddVideoFrame(picture.data(), picture.size())) << n << ": " << writer.Error();
            for (size_t i = 0; i < audio.size(); i += 2) {
                const uint16_t sample = uint16_t(n * 3200 + i / 2);
                audio[i] = uint8_t(sample);
                audio[i + 1] = uint8_t(sample >> 8);
            }
            ASSERT_TRUE(writer.AddAudio(audio.data(), audio.size())) << n << ": " << writer.Error();
        }
        ASSERT_TRUE(writer.Close()) << writer.Error();
    }
    AviReader reader;
    ASSERT_TRUE(reader.ReadFile(path)) << reader.Error();
    EXPECT_GT(reader.Segments(), 20u);
    uint64_t covered = 0;
    for (const auto& [offset, size] : reader.SegmentSpans()) {
        EXPECT_LE(size, kSegment) << "segment at " << offset;
        EXPECT_EQ(offset, covered);
        covered = offset + size;
    }
    EXPECT_EQ(covered, fs::file_size(path));
    // The first segment's frames in the main header and idx1; all of them in the stream headers
    // and dmlh.
    const auto first = std::count_if(reader.Index().begin(), reader.Index().end(),
                                     [](const auto& entry) { return entry.id == FourCC("00db"); });
    EXPECT_GE(first, 1);
    EXPECT_LT(first, 90);
    EXPECT_EQ(reader.MainHeader().totalFrames, uint32_t(first));
    EXPECT_EQ(reader.ExtendedTotalFrames(), 90u);
    EXPECT_EQ(reader.Streams()[0].length, 90u);
    EXPECT_EQ(reader.Streams()[1].length, 90u * 1600);
    for (const auto& entry : reader.Index())
        EXPECT_LT(reader.MoviTypeOffset() + entry.offset, reader.SegmentSpans()[0].second);
    ExpectIndexesFindEveryChunk(reader, 0, 90, 90);
    ExpectIndexesFindEveryChunk(reader, 1, 90, 90 * 1600);
    // The pictures' bytes, the last segment's included.
    const auto pictures = reader.StreamChunks(0);
    EXPECT_EQ(reader.Bytes()[pictures[89].offset + 5], uint8_t(94));

    ASSERT_FALSE(Shell("command -v ffprobe").empty()) << "ffprobe missing: run tools/setup.sh";
    const std::string probe = Shell("ffprobe -v error -count_packets -show_entries "
                                    "stream=codec_type,nb_read_packets:format=duration -of default=nw=1 '" +
                                    path.string() + "'");
    SCOPED_TRACE(probe);
    EXPECT_NE(probe.find("codec_type=video\nnb_read_packets=90"), std::string::npos);
    // The audio's bytes, however the reader cuts them into packets: every block of every segment.
    const std::string sizes = Shell("ffprobe -v error -select_streams a:0 -show_entries packet=size -of csv=p=0 '" +
                                    path.string() + "'");
    uint64_t audioBytes = 0;
    for (const char* at = sizes.c_str(); *at != 0;) {
        char* end = nullptr;
        audioBytes += std::strtoull(at, &end, 10);
        at = *end != 0 ? end + 1 : end;
    }
    EXPECT_EQ(audioBytes, 90u * 6400);
    const auto duration = probe.find("duration=");
    ASSERT_NE(duration, std::string::npos);
    EXPECT_NEAR(std::strtod(probe.c_str() + duration + 9, nullptr), 3.0, 0.06);
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + path.string() + "' -f null - 2>&1"), "");
}

TEST_F(AviWriterTest, AChunkNoSegmentHoldsAndAFullSuperIndexAreRefusedWithTheFileWhole)
{
    static_assert(AviWriter::kMaximumSegmentBytes == 1073741824);
    // The headers take 8,848 bytes: a segment of 18,000 cannot hold them with a 64 x 48 picture
    // (9,224 bytes in movi, 40 of standard index, 24 in idx1).
    AviWriter tiny(18000);
    EXPECT_FALSE(tiny.Open(folder_ / "tiny.avi", {64, 48, 24, 333667}, {48000, 2, 16}));
    EXPECT_NE(tiny.Error().find("larger than a segment"), std::string::npos) << tiny.Error();
    // A limit above 1 GiB is cut to it: a frame of more than 1 GiB is refused.
    AviWriter large(uint64_t(1) << 40);
    EXPECT_FALSE(large.Open(folder_ / "large.avi", {32768, 16384, 24, 333667}, {48000, 2, 16}));

    // Segments of 18,200 bytes hold one picture each (a later one: 24 + 9,224 + 40), so the super
    // index is full after 256 pictures.
    const fs::path path = folder_ / "full.avi";
    AviWriter writer(18200);
    ASSERT_TRUE(writer.Open(path, {64, 48, 24, 333667}, {48000, 2, 16})) << writer.Error();
    std::vector<uint8_t> picture(writer.FrameBytes(), 0x40);
    uint32_t written = 0;
    while (written < 300 && writer.AddVideoFrame(picture.data(), picture.size()))
        ++written;
    EXPECT_EQ(written, AviWriter::kSuperIndexEntries);
    EXPECT_NE(writer.Error().find("super index is full"), std::string::npos) << writer.Error();
    EXPECT_EQ(writer.Segments(), AviWriter::kSuperIndexEntries);
    // Audio of 18,200 bytes fits no segment.
    std::vector<uint8_t> audio(18200, 0);
    EXPECT_FALSE(writer.AddAudio(audio.data(), audio.size()));
    EXPECT_NE(writer.Error().find("larger than a segment"), std::string::npos) << writer.Error();
    EXPECT_LE(writer.SegmentClosedSize(), 18200u);
    ASSERT_TRUE(writer.Close());
    AviReader reader;
    ASSERT_TRUE(reader.ReadFile(path)) << reader.Error();
    EXPECT_EQ(reader.Segments(), AviWriter::kSuperIndexEntries);
    EXPECT_EQ(reader.MainHeader().totalFrames, 1u);
    EXPECT_EQ(reader.ExtendedTotalFrames(), AviWriter::kSuperIndexEntries);
    ExpectIndexesFindEveryChunk(reader, 0, AviWriter::kSuperIndexEntries, AviWriter::kSuperIndexEntries);
    EXPECT_TRUE(reader.Streams()[1].superIndex.empty());
    const std::string probe = Shell("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                    "stream=nb_read_packets -of default=nw=1 '" + path.string() + "'");
    EXPECT_NE(probe.find("nb_read_packets=256"), std::string::npos) << probe;
}

TEST_F(AviWriterTest, TheIndexEntriesHeldInMemoryStayWithinTheFirstAndTheCurrentSegment)
{
    // The standard index entries of a segment are let go once it is written: a long capture holds
    // no more than its first segment's legacy entries and its current segment's.
    const fs::path path = folder_ / "held.avi";
    AviWriter writer(65536);
    ASSERT_TRUE(writer.Open(path, {64, 48, 24, 333667}, {48000, 2, 16})) << writer.Error();
    std::vector<uint8_t> picture(writer.FrameBytes(), 1), audio(400, 2);
    size_t most = 0;
    for (int n = 0; n < 600; ++n) {
        ASSERT_TRUE(writer.AddVideoFrame(picture.data(), picture.size())) << writer.Error();
        ASSERT_TRUE(writer.AddAudio(audio.data(), audio.size())) << writer.Error();
        most = std::max(most, writer.HeldIndexEntries());
    }
    EXPECT_GT(writer.Segments(), 100u);
    // The first segment holds six pairs of chunks, a later one seven.
    EXPECT_LE(most, 12u + 14u);
    ASSERT_TRUE(writer.Close());
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
