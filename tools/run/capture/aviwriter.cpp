#include "aviwriter.h"

#include <cerrno>
#include <cstring>

namespace capture {

namespace {

constexpr uint32_t kMainHeaderBytes = 56;
constexpr uint32_t kStreamHeaderBytes = 56;
constexpr uint32_t kBitmapHeaderBytes = 40;
constexpr uint32_t kWaveFormatBytes = 16;
constexpr uint32_t kExtendedHeaderBytes = 248; // "dmlh": the total frames and room the format reserves
constexpr uint32_t kIndexHeadBytes = 24;       // of "indx" and "ix##" after their chunk head
constexpr uint32_t kSuperIndexBytes = kIndexHeadBytes + 16 * AviWriter::kSuperIndexEntries;
constexpr uint32_t kHasIndex = 0x10;
constexpr uint32_t kIsInterleaved = 0x100;
constexpr uint32_t kKeyFrame = 0x10;
constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint8_t kIndexOfChunks = 0x01;
// RIFF, hdrl list (avih, two strl lists, the odml list), movi list head.
constexpr uint32_t kStrlVideoBytes = 4 + (8 + kStreamHeaderBytes) + (8 + kBitmapHeaderBytes) + (8 + kSuperIndexBytes);
constexpr uint32_t kStrlAudioBytes = 4 + (8 + kStreamHeaderBytes) + (8 + kWaveFormatBytes) + (8 + kSuperIndexBytes);
constexpr uint32_t kOdmlBytes = 4 + (8 + kExtendedHeaderBytes);
constexpr uint32_t kHdrlBytes =
    4 + (8 + kMainHeaderBytes) + (8 + kStrlVideoBytes) + (8 + kStrlAudioBytes) + (8 + kOdmlBytes);
constexpr uint64_t kHeaderBytes = 12 + (8 + kHdrlBytes) + 12;
// A later segment's heads: "RIFF" size "AVIX" "LIST" size "movi".
constexpr uint64_t kExtensionHeadBytes = 24;
constexpr uint32_t kChunkIds[2] = {FourCC("00db"), FourCC("01wb")};
constexpr uint32_t kIndexIds[2] = {FourCC("ix00"), FourCC("ix01")};

void Put8(std::vector<uint8_t>* out, uint32_t value)
{
    out->push_back(uint8_t(value));
}

void Put16(std::vector<uint8_t>* out, uint32_t value)
{
    out->push_back(uint8_t(value));
    out->push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(uint8_t(value >> (8 * i)));
}

void Put64(std::vector<uint8_t>* out, uint64_t value)
{
    Put32(out, uint32_t(value));
    Put32(out, uint32_t(value >> 32));
}

uint64_t Padded(uint64_t size)
{
    return (size + 1) & ~uint64_t(1);
}

uint64_t StandardIndexBytes(size_t entries)
{
    return 8 + kIndexHeadBytes + 8 * uint64_t(entries);
}

} // namespace

AviWriter::~AviWriter()
{
    if (m_file != nullptr)
        Close();
}

bool AviWriter::Fail(const std::string& reason)
{
    m_error = reason;
    return false;
}

bool AviWriter::Write(const std::vector<uint8_t>& bytes)
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
        return Fail("a write failed: " + std::string(std::strerror(errno)));
    m_end += bytes.size();
    return true;
}

bool AviWriter::Open(const std::filesystem::path& path, const AviVideoFormat& video, const AviAudioFormat& audio)
{
    if (m_file != nullptr)
        return Fail("the writer has a file open already");
    if (video.width <= 0 || video.height == 0 || video.bitCount == 0 || video.bitCount % 8 != 0 ||
        video.frameDuration <= 0)
        return Fail("the video format cannot be written");
    if (audio.samplesPerSecond == 0 || audio.channels == 0 || audio.bitsPerSample == 0 || audio.bitsPerSample % 8 != 0)
        return Fail("the audio format cannot be written");
    const uint64_t rowBytes = (uint64_t(video.width) * video.bitCount / 8 + 3) & ~uint64_t(3);
    const uint64_t height = uint64_t(video.height < 0 ? -int64_t(video.height) : video.height);
    // The first segment holds the headers, one frame, its index entries and its standard index.
    if (kHeaderBytes + 8 + Padded(rowBytes * height) + StandardIndexBytes(1) + 8 + 16 > m_limit)
        return Fail("the video frame is larger than a segment of the file may grow");
    m_video = video;
    m_audio = audio;
    m_frameBytes = uint32_t(rowBytes * height);
    m_blockAlign = uint32_t(audio.channels) * audio.bitsPerSample / 8;
    m_file = std::fopen(path.string().c_str(), "wb");
    if (m_file == nullptr)
        return Fail("cannot create " + path.string() + ": " + std::strerror(errno));
    m_error.clear();
    m_legacy.clear();
    for (int s = 0; s < kStreams; ++s) {
        m_chunks[s].clear();
        m_super[s].clear();
        m_segmentDuration[s] = 0;
    }
    m_videoFrames = 0;
    m_firstSegmentFrames = 0;
    m_audioBytes = 0;
    m_largestChunk = 0;
    m_end = 0;
    m_segments = 1;
    m_segmentStart = 0;
    // The headers go out now with zero counts and are written again at Close.
    if (!Write(std::vector<uint8_t>(kHeaderBytes, 0)))
        return false;
    m_moviType = kHeaderBytes - 4;
    m_firstMoviType = m_moviType;
    return true;
}

size_t AviWriter::HeldIndexEntries() const
{
    return m_legacy.size() + m_chunks[0].size() + m_chunks[1].size();
}

uint64_t AviWriter::SegmentSizeWith(int stream, size_t size) const
{
    uint64_t bytes = m_end - m_segmentStart;
    size_t legacy = m_legacy.size();
    if (stream >= 0) {
        bytes += 8 + Padded(size);
        ++legacy;
    }
    for (int s = 0; s < kStreams; ++s) {
        const size_t entries = m_chunks[s].size() + (s == stream ? 1 : 0);
        if (entries > 0)
            bytes += StandardIndexBytes(entries);
    }
    if (m_segments == 1)
        bytes += 8 + 16 * uint64_t(legacy);
    return bytes;
}

uint64_t AviWriter::SegmentClosedSize() const
{
    return SegmentSizeWith(-1, 0);
}

bool AviWriter::AddVideoFrame(const uint8_t* data, size_t size)
{
    if (m_file != nullptr && size != m_frameBytes)
        return Fail("a video frame of " + std::to_string(size) + " bytes where the format has " +
                    std::to_string(m_frameBytes));
    if (!AddChunk(0, data, size, 1))
        return false;
    ++m_videoFrames;
    if (m_segments == 1)
        m_firstSegmentFrames = m_videoFrames;
    return true;
}

bool AviWriter::AddAudio(const uint8_t* data, size_t size)
{
    if (m_file != nullptr && (size == 0 || size % m_blockAlign != 0))
        return Fail("an audio block of " + std::to_string(size) + " bytes is not whole frames of " +
                    std::to_string(m_blockAlign));
    if (!AddChunk(1, data, size, m_file != nullptr ? uint32_t(size / m_blockAlign) : 0))
        return false;
    m_audioBytes += size;
    return true;
}

bool AviWriter::AddChunk(int stream, const uint8_t* data, size_t size, uint32_t duration)
{
    if (m_file == nullptr)
        return Fail("the writer has no file open");
    if (data == nullptr)
        return Fail("no data");
    if (SegmentSizeWith(stream, size) > m_limit) {
        // A segment of this one chunk alone.
        if (kExtensionHeadBytes + 8 + Padded(size) + StandardIndexBytes(1) > m_limit)
            return Fail("a chunk of " + std::to_string(size) + " bytes is larger than a segment of the file (" +
                        std::to_string(m_limit) + " bytes): the chunk is refused");
        if (m_segments >= kSuperIndexEntries)
            return Fail("the file's super index is full (" + std::to_string(kSuperIndexEntries) +
                        " segments of at most " + std::to_string(m_limit) + " bytes): the chunk is refused");
        if (!EndSegment() || !BeginSegment())
            return false;
    }
    std::vector<uint8_t> head;
    Put32(&head, kChunkIds[stream]);
    Put32(&head, uint32_t(size));
    const uint64_t dataOffset = m_end + 8;
    const uint8_t pad = 0;
    if (std::fwrite(head.data(), 1, head.size(), m_file) != head.size() ||
        std::fwrite(data, 1, size, m_file) != size || (Padded(size) != size && std::fwrite(&pad, 1, 1, m_file) != 1))
        return Fail("a write failed: " + std::string(std::strerror(errno)));
    if (m_segments == 1)
        m_legacy.push_back({kChunkIds[stream], uint32_t(m_end - m_moviType), uint32_t(size)});
    m_chunks[stream].push_back({uint32_t(dataOffset - m_moviType), uint32_t(size)});
    m_segmentDuration[stream] += duration;
    m_end += 8 + Padded(size);
    if (size > m_largestChunk)
        m_largestChunk = uint32_t(size);
    return true;
}

bool AviWriter::BeginSegment()
{
    m_segmentStart = m_end;
    ++m_segments;
    std::vector<uint8_t> head;
    Put32(&head, FourCC("RIFF"));
    Put32(&head, 0); // patched at the segment's end
    Put32(&head, FourCC("AVIX"));
    Put32(&head, FourCC("LIST"));
    Put32(&head, 0);
    Put32(&head, FourCC("movi"));
    m_moviType = m_end + 20;
    return Write(head);
}

bool AviWriter::EndSegment()
{
    // The standard index of each stream that has chunks here, at the end of the movi list.
    for (int s = 0; s < kStreams; ++s) {
        if (m_chunks[s].empty())
            continue;
        std::vector<uint8_t> index;
        Put32(&index, kIndexIds[s]);
        Put32(&index, uint32_t(StandardIndexBytes(m_chunks[s].size()) - 8));
        Put16(&index, 2); // longs an entry
        Put8(&index, 0);  // sub-type
        Put8(&index, kIndexOfChunks);
        Put32(&index, uint32_t(m_chunks[s].size()));
        Put32(&index, kChunkIds[s]);
        Put64(&index, m_moviType); // the base the entries' offsets count from
        Put32(&index, 0);
        for (const ChunkEntry& entry : m_chunks[s]) {
            Put32(&index, entry.offset);
            Put32(&index, entry.size); // bit 31 clear: every frame is a key frame
        }
        m_super[s].push_back({m_end, uint32_t(index.size()), m_segmentDuration[s]});
        if (!Write(index))
            return false;
        m_chunks[s].clear();
        m_segmentDuration[s] = 0;
    }
    const uint64_t moviBytes = m_end - m_moviType;
    if (m_segments == 1) {
        // The legacy index, of this segment only.
        std::vector<uint8_t> index;
        Put32(&index, FourCC("idx1"));
        Put32(&index, uint32_t(16 * m_legacy.size()));
        for (const LegacyEntry& entry : m_legacy) {
            Put32(&index, entry.id);
            Put32(&index, kKeyFrame);
            Put32(&index, entry.offset);
            Put32(&index, entry.size);
        }
        if (!Write(index))
            return false;
        m_legacy.clear();
        m_legacy.shrink_to_fit();
    }
    // This segment's sizes; the first segment's are written again with the headers at Close.
    std::vector<uint8_t> riff, movi;
    Put32(&riff, uint32_t(m_end - m_segmentStart - 8));
    Put32(&movi, uint32_t(moviBytes));
    const bool ok = std::fseek(m_file, long(m_segmentStart + 4), SEEK_SET) == 0 &&
                    std::fwrite(riff.data(), 1, 4, m_file) == 4 &&
                    std::fseek(m_file, long(m_moviType - 4), SEEK_SET) == 0 &&
                    std::fwrite(movi.data(), 1, 4, m_file) == 4 && std::fseek(m_file, 0, SEEK_END) == 0;
    if (!ok)
        return Fail("a segment's sizes could not be written: " + std::string(std::strerror(errno)));
    if (m_segments == 1) {
        m_firstRiffBytes = uint32_t(m_end - 8);
        m_firstMoviBytes = uint32_t(moviBytes);
    }
    return true;
}

bool AviWriter::WriteHeaders()
{
    const uint32_t height = uint32_t(m_video.height < 0 ? -int64_t(m_video.height) : m_video.height);
    const uint32_t bytesPerSecond = m_audio.samplesPerSecond * m_blockAlign;
    const double framesPerSecond = 1e7 / double(m_video.frameDuration);
    auto superIndex = [&](std::vector<uint8_t>* h, int stream) {
        Put32(h, FourCC("indx"));
        Put32(h, kSuperIndexBytes);
        Put16(h, 4); // longs an entry
        Put8(h, 0);  // sub-type
        Put8(h, kIndexOfIndexes);
        Put32(h, uint32_t(m_super[stream].size()));
        Put32(h, kChunkIds[stream]);
        for (int i = 0; i < 3; ++i)
            Put32(h, 0);
        for (uint32_t i = 0; i < kSuperIndexEntries; ++i) {
            const SuperEntry entry = i < m_super[stream].size() ? m_super[stream][i] : SuperEntry{0, 0, 0};
            Put64(h, entry.offset);
            Put32(h, entry.size);
            Put32(h, entry.duration);
        }
    };
    std::vector<uint8_t> h;
    Put32(&h, FourCC("RIFF"));
    Put32(&h, m_firstRiffBytes);
    Put32(&h, FourCC("AVI "));
    Put32(&h, FourCC("LIST"));
    Put32(&h, kHdrlBytes);
    Put32(&h, FourCC("hdrl"));
    Put32(&h, FourCC("avih"));
    Put32(&h, kMainHeaderBytes);
    Put32(&h, uint32_t(m_video.frameDuration / 10));                                // microseconds a frame
    Put32(&h, uint32_t(double(m_frameBytes) * framesPerSecond) + bytesPerSecond); // bytes a second
    Put32(&h, 0);                                                                   // padding granularity
    Put32(&h, kHasIndex | kIsInterleaved);
    Put32(&h, m_firstSegmentFrames); // the frames of the first segment, which idx1 lists
    Put32(&h, 0);                    // initial frames
    Put32(&h, 2);                    // streams
    Put32(&h, m_largestChunk + 8);
    Put32(&h, uint32_t(m_video.width));
    Put32(&h, height);
    for (int i = 0; i < 4; ++i)
        Put32(&h, 0);

    Put32(&h, FourCC("LIST"));
    Put32(&h, kStrlVideoBytes);
    Put32(&h, FourCC("strl"));
    Put32(&h, FourCC("strh"));
    Put32(&h, kStreamHeaderBytes);
    Put32(&h, FourCC("vids"));
    Put32(&h, FourCC("DIB "));
    Put32(&h, 0);    // flags
    Put16(&h, 0);    // priority
    Put16(&h, 0);    // language
    Put32(&h, 0);    // initial frames
    Put32(&h, uint32_t(m_video.frameDuration)); // scale
    Put32(&h, 10000000);                        // rate
    Put32(&h, 0);                               // start
    Put32(&h, m_videoFrames);                   // length: every segment's
    Put32(&h, m_frameBytes);                    // suggested buffer size
    Put32(&h, 0xFFFFFFFF);                      // quality: default
    Put32(&h, 0);                               // sample size: a chunk a frame
    Put16(&h, 0);
    Put16(&h, 0);
    Put16(&h, uint32_t(m_video.width));
    Put16(&h, height);
    Put32(&h, FourCC("strf"));
    Put32(&h, kBitmapHeaderBytes);
    Put32(&h, kBitmapHeaderBytes);
    Put32(&h, uint32_t(m_video.width));
    Put32(&h, uint32_t(m_video.height));
    Put16(&h, 1);
    Put16(&h, m_video.bitCount);
    Put32(&h, 0); // RGB
    Put32(&h, m_frameBytes);
    for (int i = 0; i < 4; ++i)
        Put32(&h, 0);
    superIndex(&h, 0);

    Put32(&h, FourCC("LIST"));
    Put32(&h, kStrlAudioBytes);
    Put32(&h, FourCC("strl"));
    Put32(&h, FourCC("strh"));
    Put32(&h, kStreamHeaderBytes);
    Put32(&h, FourCC("auds"));
    Put32(&h, 0);
    Put32(&h, 0);
    Put16(&h, 0);
    Put16(&h, 0);
    Put32(&h, 0);
    Put32(&h, m_blockAlign);                          // scale
    Put32(&h, bytesPerSecond);                        // rate
    Put32(&h, 0);                                     // start
    Put32(&h, uint32_t(m_audioBytes / m_blockAlign)); // length in blocks
    Put32(&h, m_blockAlign * (m_audio.samplesPerSecond / 10));
    Put32(&h, 0xFFFFFFFF);
    Put32(&h, m_blockAlign); // sample size
    for (int i = 0; i < 4; ++i)
        Put16(&h, 0);
    Put32(&h, FourCC("strf"));
    Put32(&h, kWaveFormatBytes);
    Put16(&h, 1); // PCM
    Put16(&h, m_audio.channels);
    Put32(&h, m_audio.samplesPerSecond);
    Put32(&h, bytesPerSecond);
    Put16(&h, m_blockAlign);
    Put16(&h, m_audio.bitsPerSample);
    superIndex(&h, 1);

    Put32(&h, FourCC("LIST"));
    Put32(&h, kOdmlBytes);
    Put32(&h, FourCC("odml"));
    Put32(&h, FourCC("dmlh"));
    Put32(&h, kExtendedHeaderBytes);
    Put32(&h, m_videoFrames); // every frame of the file
    h.resize(h.size() + kExtendedHeaderBytes - 4, 0);

    Put32(&h, FourCC("LIST"));
    Put32(&h, m_firstMoviBytes);
    Put32(&h, FourCC("movi"));
    if (h.size() != kHeaderBytes)
        return Fail("internal: header size");
    if (std::fseek(m_file, 0, SEEK_SET) != 0 || std::fwrite(h.data(), 1, h.size(), m_file) != h.size())
        return Fail("the headers could not be written: " + std::string(std::strerror(errno)));
    return true;
}

bool AviWriter::Close()
{
    if (m_file == nullptr)
        return Fail("the writer has no file open");
    const std::string refused = m_error; // a chunk refused earlier leaves the file whole
    bool ok = EndSegment();
    ok = WriteHeaders() && ok;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    if (!ok && m_error.empty())
        m_error = "the file could not be completed";
    if (ok)
        m_error = refused;
    return ok;
}

} // namespace capture
