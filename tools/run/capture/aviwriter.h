// AviWriter: writes the main job's capture file, an AVI (RIFF) file of one uncompressed video
// stream and one PCM audio stream: "RIFF" "AVI " holding a "LIST" "hdrl" (the main header "avih",
// a "LIST" "strl" per stream with its "strh" and "strf"), a "LIST" "movi" of the frames and audio
// blocks as the caller hands them ("00db" and "01wb" chunks, interleaved in the order given) and an
// "idx1" index of every chunk, offsets counted from the "movi" list's type.
//
// The video stream's rate is 10,000,000 / the frame duration in 100-ns units; its bitmap header
// says RGB (compression 0) at the given bit count, bottom-up when the height is positive. The
// audio stream's scale is the block size and its rate the bytes a second.
//
// The file never grows beyond 1 GiB: a chunk that would take it (with its index) past that is
// refused, and the file written so far is closed as a complete file. Sizes and counts are patched
// at Close; a writer destroyed without Close closes the file the same way.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace capture {

struct AviVideoFormat {
    int32_t width = 0;
    int32_t height = 0;        // positive: bottom-up rows
    uint16_t bitCount = 24;
    int64_t frameDuration = 0; // 100-ns units
};

struct AviAudioFormat {
    uint32_t samplesPerSecond = 0;
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0;
};

class AviWriter {
public:
    static constexpr uint64_t kMaximumFileBytes = uint64_t(1) << 30;

    // `maximumFileBytes` lower than 1 GiB lets tests reach the limit with small files.
    explicit AviWriter(uint64_t maximumFileBytes = kMaximumFileBytes)
        : m_limit(maximumFileBytes < kMaximumFileBytes ? maximumFileBytes : kMaximumFileBytes)
    {
    }
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates the file and writes the headers. False, with the reason in Error(), for a format that
    // cannot be written (no size, a frame duration of 0 or less, no channels, a bit count that is
    // not a multiple of 8) or a file that cannot be created.
    bool Open(const std::filesystem::path& path, const AviVideoFormat& video, const AviAudioFormat& audio);
    // One picture of exactly the frame size (rows padded to 4 bytes) or one block of whole audio
    // frames. False when the writer is not open, the size is wrong, the 1 GiB limit would be passed
    // or the write fails (the reason in Error()).
    bool AddVideoFrame(const uint8_t* data, size_t size);
    bool AddAudio(const uint8_t* data, size_t size);
    // Writes the index and patches every size and count; false when a write fails.
    bool Close();

    const std::string& Error() const { return m_error; }
    uint32_t VideoFrames() const { return m_videoFrames; }
    uint64_t AudioBytes() const { return m_audioBytes; }
    uint32_t FrameBytes() const { return m_frameBytes; }
    // The file's size were it closed now.
    uint64_t ClosedSize() const;

private:
    struct IndexEntry {
        uint32_t id;
        uint32_t flags;
        uint32_t offset;
        uint32_t size;
    };
    bool AddChunk(uint32_t id, const uint8_t* data, size_t size);
    bool Fail(const std::string& reason);

    uint64_t m_limit;
    std::FILE* m_file = nullptr;
    std::string m_error;
    AviVideoFormat m_video;
    AviAudioFormat m_audio;
    uint32_t m_frameBytes = 0;
    uint32_t m_blockAlign = 0;
    uint64_t m_moviType = 0; // file offset of the "movi" list's type
    uint64_t m_end = 0;      // bytes written
    uint32_t m_videoFrames = 0;
    uint64_t m_audioBytes = 0;
    uint32_t m_largestChunk = 0;
    std::vector<IndexEntry> m_index;
};

// "abcd" as the little-endian word RIFF files store.
constexpr uint32_t FourCC(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

} // namespace capture
