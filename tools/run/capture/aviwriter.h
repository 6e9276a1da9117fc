// AviWriter: writes the main job's capture file, an AVI (RIFF) file of one uncompressed video
// stream and one PCM audio stream, with the OpenDML extension so that it may grow past what one
// RIFF holds. The first segment is "RIFF" "AVI ": a "LIST" "hdrl" (the main header "avih", a
// "LIST" "strl" per stream with its "strh", "strf" and super index "indx", and a "LIST" "odml"
// whose "dmlh" counts every frame of the file), a "LIST" "movi" of the frames and audio blocks as
// the caller hands them ("00db" and "01wb" chunks, interleaved in the order given) ending in a
// standard index per stream ("ix00", "ix01"), and the legacy "idx1" index of that segment's
// chunks (offsets counted from its "movi" list's type), which readers without the extension use.
// Each later segment is "RIFF" "AVIX" holding a "LIST" "movi" of chunks and its standard indexes.
// The super indexes list every standard index with its file offset, size and duration.
//
// The video stream's rate is 10,000,000 / the frame duration in 100-ns units; its bitmap header
// says RGB (compression 0) at the given bit count, bottom-up when the height is positive. The
// audio stream's scale is the block size and its rate the bytes a second. The main header counts
// the first segment's frames; the stream headers and "dmlh" count all of them.
//
// No segment grows beyond its limit (1 GiB): a chunk that would take one past it (with its
// indexes) starts the next. A file whose super indexes are full (kSuperIndexEntries segments)
// refuses further chunks and is closed as a complete file. Sizes and counts are patched at each
// segment's end and at Close; a writer destroyed without Close closes the file the same way.
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
    static constexpr uint64_t kMaximumSegmentBytes = uint64_t(1) << 30;
    // Entries each stream's super index has room for: 256 segments of 1 GiB.
    static constexpr uint32_t kSuperIndexEntries = 256;

    // `segmentBytes` lower than 1 GiB lets tests make many segments with small files.
    explicit AviWriter(uint64_t segmentBytes = kMaximumSegmentBytes)
        : m_limit(segmentBytes < kMaximumSegmentBytes ? segmentBytes : kMaximumSegmentBytes)
    {
    }
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates the file and writes the headers. False, with the reason in Error(), for a format that
    // cannot be written (no size, a frame duration of 0 or less, no channels, a bit count that is
    // not a multiple of 8, a frame that no segment can hold) or a file that cannot be created.
    bool Open(const std::filesystem::path& path, const AviVideoFormat& video, const AviAudioFormat& audio);
    // One picture of exactly the frame size (rows padded to 4 bytes) or one block of whole audio
    // frames. False when the writer is not open, the size is wrong, no segment can hold the chunk,
    // the super indexes are full or a write fails (the reason in Error()).
    bool AddVideoFrame(const uint8_t* data, size_t size);
    bool AddAudio(const uint8_t* data, size_t size);
    // Ends the last segment and patches every size and count; false when a write fails.
    bool Close();

    const std::string& Error() const { return m_error; }
    uint32_t VideoFrames() const { return m_videoFrames; }
    uint64_t AudioBytes() const { return m_audioBytes; }
    uint32_t FrameBytes() const { return m_frameBytes; }
    // Segments begun so far (1 once open).
    uint32_t Segments() const { return m_segments; }
    // The current segment's size were it ended now (its standard indexes, and idx1 in the first).
    uint64_t SegmentClosedSize() const;
    // Index entries held in memory: the legacy index of the first segment and the standard indexes
    // of the current one.
    size_t HeldIndexEntries() const;

private:
    static constexpr int kStreams = 2;
    struct LegacyEntry {
        uint32_t id;
        uint32_t offset; // from the first movi list's type
        uint32_t size;
    };
    struct ChunkEntry {
        uint32_t offset; // of the data, from the segment's movi list's type
        uint32_t size;
    };
    struct SuperEntry {
        uint64_t offset; // of the standard index chunk in the file
        uint32_t size;   // of that chunk, its head included
        uint32_t duration;
    };

    bool AddChunk(int stream, const uint8_t* data, size_t size, uint32_t duration);
    uint64_t SegmentSizeWith(int stream, size_t size) const;
    bool BeginSegment();
    bool EndSegment();
    bool WriteHeaders();
    bool Write(const std::vector<uint8_t>& bytes);
    bool Fail(const std::string& reason);

    uint64_t m_limit;
    std::FILE* m_file = nullptr;
    std::string m_error;
    AviVideoFormat m_video;
    AviAudioFormat m_audio;
    uint32_t m_frameBytes = 0;
    uint32_t m_blockAlign = 0;
    uint64_t m_end = 0;          // bytes written
    uint64_t m_segmentStart = 0; // file offset of the current segment's "RIFF"
    uint64_t m_moviType = 0;     // file offset of the current segment's "movi" list's type
    uint64_t m_firstMoviType = 0;
    uint32_t m_firstRiffBytes = 0; // the first segment's sizes, known at its end
    uint32_t m_firstMoviBytes = 0;
    uint32_t m_segments = 0;
    uint32_t m_videoFrames = 0;
    uint32_t m_firstSegmentFrames = 0;
    uint64_t m_audioBytes = 0;
    uint32_t m_largestChunk = 0;
    std::vector<LegacyEntry> m_legacy;
    std::vector<ChunkEntry> m_chunks[kStreams];
    uint32_t m_segmentDuration[kStreams] = {};
    std::vector<SuperEntry> m_super[kStreams];
};

// "abcd" as the little-endian word RIFF files store.
constexpr uint32_t FourCC(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

} // namespace capture
