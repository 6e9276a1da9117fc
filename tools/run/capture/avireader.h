// AviReader: reads back what an AVI (RIFF) file says about itself, for the tests of the capture
// file and anyone checking one: the main header, each stream's header, format and super index, the
// OpenDML total of frames, the chunks of every segment's "movi" list in order (the first "RIFF"
// "AVI " and each "RIFF" "AVIX" after it), the standard indexes ("ix##") those lists hold and the
// "idx1" index. It reads any RIFF walk of 8-byte chunk heads with data padded to even lengths;
// every size and count is checked against what encloses it, so a damaged file gives an error,
// never a read outside the bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace capture {

struct AviMainHeader {
    uint32_t microSecondsPerFrame = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t streams = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

struct AviStream {
    uint32_t type = 0;    // "vids", "auds"
    uint32_t handler = 0;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t length = 0;
    uint32_t sampleSize = 0;
    std::vector<uint8_t> format; // the "strf" bytes
    struct SuperIndexEntry {
        uint64_t offset = 0; // of a standard index chunk's head in the file
        uint32_t size = 0;   // of that chunk, head included
        uint32_t duration = 0;
    };
    bool hasSuperIndex = false;
    uint32_t superIndexChunkId = 0;
    std::vector<SuperIndexEntry> superIndex; // the entries in use
};

// A standard index ("ix##") as found in a movi list.
struct AviStandardIndex {
    uint32_t id = 0;         // "ix00" ...
    uint64_t offset = 0;     // of its chunk head in the file
    uint32_t chunkId = 0;    // "00db" ...
    uint64_t baseOffset = 0; // the entries' offsets count from here to a chunk's data
    struct Entry {
        uint32_t offset = 0;
        uint32_t size = 0; // bit 31 set: not a key frame
    };
    std::vector<Entry> entries;
};

struct AviChunk {
    uint32_t id = 0;
    uint32_t size = 0;
    uint64_t offset = 0; // of the data, in the file
};

struct AviIndexEntry {
    uint32_t id = 0;
    uint32_t flags = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
};

class AviReader {
public:
    // False with the reason in Error() for anything but a well-formed "RIFF" "AVI " file.
    bool Read(const std::vector<uint8_t>& bytes);
    bool ReadFile(const std::filesystem::path& path);

    const std::string& Error() const { return m_error; }
    const AviMainHeader& MainHeader() const { return m_main; }
    const std::vector<AviStream>& Streams() const { return m_streams; }
    const std::vector<AviChunk>& MoviChunks() const { return m_chunks; }
    const std::vector<AviIndexEntry>& Index() const { return m_index; }
    bool HasIndex() const { return m_hasIndex; }
    uint64_t MoviTypeOffset() const { return m_moviType; }
    // "RIFF" segments: 1 for a plain file, one more for each "AVIX" after it.
    size_t Segments() const { return m_segments; }
    // The offsets and sizes (heads included) of the segments' "RIFF" chunks.
    const std::vector<std::pair<uint64_t, uint64_t>>& SegmentSpans() const { return m_spans; }
    bool HasExtendedHeader() const { return m_hasExtended; }
    uint32_t ExtendedTotalFrames() const { return m_extendedFrames; }
    const std::vector<AviStandardIndex>& StandardIndexes() const { return m_standardIndexes; }
    // The chunks of stream n ("nn.." ids), in file order.
    std::vector<AviChunk> StreamChunks(uint32_t stream) const;
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    bool ReadList(uint64_t begin, uint64_t end, uint32_t listType);
    bool ReadStreamList(uint64_t begin, uint64_t end);
    bool ReadSuperIndex(uint64_t data, uint64_t size, AviStream* stream);
    bool ReadStandardIndex(uint32_t id, uint64_t data, uint64_t size);
    // Each chunk from `begin` to `end` in turn, as `visit(id, size, data)`, until a visit answers
    // false; a chunk that runs past `end` fails with `pastEnd`.
    template <typename Visit>
    bool ForEachChunk(uint64_t begin, uint64_t end, const char* pastEnd, Visit visit);
    bool Fail(const std::string& reason);
    uint32_t U32(uint64_t at) const;

    std::vector<uint8_t> m_bytes;
    std::string m_error;
    AviMainHeader m_main;
    std::vector<AviStream> m_streams;
    std::vector<AviChunk> m_chunks;
    std::vector<AviIndexEntry> m_index;
    bool m_hasMain = false;
    bool m_hasMovi = false;
    bool m_hasIndex = false;
    uint64_t m_moviType = 0;
    size_t m_segments = 0;
    bool m_segmentHasMovi = false;
    std::vector<std::pair<uint64_t, uint64_t>> m_spans;
    bool m_hasExtended = false;
    uint32_t m_extendedFrames = 0;
    std::vector<AviStandardIndex> m_standardIndexes;
};

} // namespace capture
