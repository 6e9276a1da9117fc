#include "aviwriter.h"

#include <cerrno>
#include <cstring>

namespace capture {

namespace {

constexpr uint32_t kMainHeaderBytes = 56;
constexpr uint32_t kStreamHeaderBytes = 56;
constexpr uint32_t kBitmapHeaderBytes = 40;
constexpr uint32_t kWaveFormatBytes = 16;
constexpr uint32_t kHasIndex = 0x10;
constexpr uint32_t kIsInterleaved = 0x100;
constexpr uint32_t kKeyFrame = 0x10;
// RIFF, hdrl list (avih, two strl lists), movi list head.
constexpr uint32_t kStrlVideoBytes = 4 + (8 + kStreamHeaderBytes) + (8 + kBitmapHeaderBytes);
constexpr uint32_t kStrlAudioBytes = 4 + (8 + kStreamHeaderBytes) + (8 + kWaveFormatBytes);
constexpr uint32_t kHdrlBytes = 4 + (8 + kMainHeaderBytes) + (8 + kStrlVideoBytes) + (8 + kStrlAudioBytes);
constexpr uint64_t kHeaderBytes = 12 + (8 + kHdrlBytes) + 12;

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
    if (rowBytes * height >= m_limit)
        return Fail("the video frame is larger than the file may grow");
    m_video = video;
    m_audio = audio;
    m_frameBytes = uint32_t(rowBytes * height);
    m_blockAlign = uint32_t(audio.channels) * audio.bitsPerSample / 8;
    m_file = std::fopen(path.string().c_str(), "wb");
    if (m_file == nullptr)
        return Fail("cannot create " + path.string() + ": " + std::strerror(errno));
    m_error.clear();
    m_index.clear();
    m_videoFrames = 0;
    m_audioBytes = 0;
    m_largestChunk = 0;
    // The headers go out now with zero counts and are written again at Close.
    const std::vector<uint8_t> zeros(kHeaderBytes, 0);
    if (std::fwrite(zeros.data(), 1, zeros.size(), m_file) != zeros.size())
        return Fail("cannot write " + path.string());
    m_moviType = kHeaderBytes - 4;
    m_end = kHeaderBytes;
    return true;
}

uint64_t AviWriter::ClosedSize() const
{
    return m_end + 8 + 16 * uint64_t(m_index.size());
}

bool AviWriter::AddVideoFrame(const uint8_t* data, size_t size)
{
    if (m_file != nullptr && size != m_frameBytes)
        return Fail("a video frame of " + std::to_string(size) + " bytes where the format has " +
                    std::to_string(m_frameBytes));
    if (!AddChunk(FourCC("00db"), data, size))
        return false;
    ++m_videoFrames;
    return true;
}

bool AviWriter::AddAudio(const uint8_t* data, size_t size)
{
    if (m_file != nullptr && (size == 0 || size % m_blockAlign != 0))
        return Fail("an audio block of " + std::to_string(size) + " bytes is not whole frames of " +
                    std::to_string(m_blockAlign));
    if (!AddChunk(FourCC("01wb"), data, size))
        return false;
    m_audioBytes += size;
    return true;
}

bool AviWriter::AddChunk(uint32_t id, const uint8_t* data, size_t size)
{
    if (m_file == nullptr)
        return Fail("the writer has no file open");
    if (data == nullptr)
        return Fail("no data");
    const uint64_t padded = (uint64_t(size) + 1) & ~uint64_t(1);
    if (ClosedSize() + 8 + padded + 16 > m_limit)
        return Fail("the file would grow beyond its limit (" + std::to_string(m_limit) + " bytes; 1 GiB at most): the chunk is refused");
    std::vector<uint8_t> head;
    Put32(&head, id);
    Put32(&head, uint32_t(size));
    const uint8_t pad = 0;
    if (std::fwrite(head.data(), 1, head.size(), m_file) != head.size() ||
        std::fwrite(data, 1, size, m_file) != size || (padded != size && std::fwrite(&pad, 1, 1, m_file) != 1))
        return Fail("a write failed: " + std::string(std::strerror(errno)));
    m_index.push_back({id, kKeyFrame, uint32_t(m_end - m_moviType), uint32_t(size)});
    m_end += 8 + padded;
    if (size > m_largestChunk)
        m_largestChunk = uint32_t(size);
    return true;
}

bool AviWriter::Close()
{
    if (m_file == nullptr)
        return Fail("the writer has no file open");
    bool ok = true;
    // The index.
    std::vector<uint8_t> index;
    Put32(&index, FourCC("idx1"));
    Put32(&index, uint32_t(16 * m_index.size()));
    for (const IndexEntry& entry : m_index) {
        Put32(&index, entry.id);
        Put32(&index, entry.flags);
        Put32(&index, entry.offset);
        Put32(&index, entry.size);
    }
    ok = std::fwrite(index.data(), 1, index.size(), m_file) == index.size();
    const uint64_t fileBytes = m_end + index.size();

    // The headers, now with their counts.
    const uint32_t height = uint32_t(m_video.height < 0 ? -int64_t(m_video.height) : m_video.height);
    const uint32_t bytesPerSecond = m_audio.samplesPerSecond * m_blockAlign;
    const double framesPerSecond = 1e7 / double(m_video.frameDuration);
    std::vector<uint8_t> h;
    Put32(&h, FourCC("RIFF"));
    Put32(&h, uint32_t(fileBytes - 8));
    Put32(&h, FourCC("AVI "));
    Put32(&h, FourCC("LIST"));
    Put32(&h, kHdrlBytes);
    Put32(&h, FourCC("hdrl"));
    Put32(&h, FourCC("avih"));
    Put32(&h, kMainHeaderBytes);
    Put32(&h, uint32_t(m_video.frameDuration / 10));                                     // microseconds a frame
    Put32(&h, uint32_t(double(m_frameBytes) * framesPerSecond) + bytesPerSecond);      // bytes a second
    Put32(&h, 0);                                                                        // padding granularity
    Put32(&h, kHasIndex | kIsInterleaved);
    Put32(&h, m_videoFrames);
    Put32(&h, 0); // initial frames
    Put32(&h, 2); // streams
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
    Put32(&h, m_videoFrames);                   // length
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
    Put32(&h, m_blockAlign);                                // scale
    Put32(&h, bytesPerSecond);                              // rate
    Put32(&h, 0);                                           // start
    Put32(&h, uint32_t(m_audioBytes / m_blockAlign));       // length in blocks
    Put32(&h, m_blockAlign * (m_audio.samplesPerSecond / 10));
    Put32(&h, 0xFFFFFFFF);
    Put32(&h, m_blockAlign);                                // sample size
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

    Put32(&h, FourCC("LIST"));
    Put32(&h, uint32_t(m_end - m_moviType));
    Put32(&h, FourCC("movi"));
    if (h.size() != kHeaderBytes) {
        ok = false;
        m_error = "internal: header size";
    }
    ok = ok && std::fseek(m_file, 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, h.size(), m_file) == h.size();
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    if (!ok && m_error.empty())
        m_error = "the file could not be completed";
    return ok;
}

} // namespace capture
