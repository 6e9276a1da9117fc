#include "avireader.h"

#include "aviwriter.h"

#include <fstream>
#include <iterator>

namespace capture {

bool AviReader::Fail(const std::string& reason)
{
    m_error = reason;
    return false;
}

uint32_t AviReader::U32(uint64_t at) const
{
    return uint32_t(m_bytes[at]) | uint32_t(m_bytes[at + 1]) << 8 | uint32_t(m_bytes[at + 2]) << 16 |
           uint32_t(m_bytes[at + 3]) << 24;
}

bool AviReader::ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Fail("cannot open " + path.string());
    return Read(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

bool AviReader::Read(const std::vector<uint8_t>& bytes)
{
    *this = AviReader();
    m_bytes = bytes;
    if (m_bytes.size() < 12 || U32(0) != FourCC("RIFF") || U32(8) != FourCC("AVI "))
        return Fail("not a RIFF AVI file");
    uint64_t riffEnd = 8 + uint64_t(U32(4));
    if (riffEnd > m_bytes.size())
        return Fail("the RIFF size runs past the file");
    m_segments = 1;
    m_spans.push_back({0, riffEnd});
    if (!ReadList(12, riffEnd, FourCC("AVI ")))
        return false;
    if (!m_hasMain)
        return Fail("no main header");
    if (!m_hasMovi)
        return Fail("no movi list");
    // The OpenDML segments after the first, each a "RIFF" "AVIX" with a movi list of its own.
    uint64_t at = (riffEnd + 1) & ~uint64_t(1);
    while (at + 12 <= m_bytes.size()) {
        if (U32(at) != FourCC("RIFF") || U32(at + 8) != FourCC("AVIX"))
            return Fail("what follows the first RIFF is not a RIFF AVIX segment");
        riffEnd = at + 8 + uint64_t(U32(at + 4));
        if (riffEnd > m_bytes.size())
            return Fail("a RIFF AVIX size runs past the file");
        ++m_segments;
        m_spans.push_back({at, riffEnd - at});
        m_segmentHasMovi = false;
        if (!ReadList(at + 12, riffEnd, FourCC("AVIX")))
            return false;
        if (!m_segmentHasMovi)
            return Fail("a RIFF AVIX segment without a movi list");
        at = (riffEnd + 1) & ~uint64_t(1);
    }
    return true;
}

template <typename Visit>
bool AviReader::ForEachChunk(uint64_t begin, uint64_t end, const char* pastEnd, Visit visit)
{
    uint64_t at = begin;
    while (at + 8 <= end) {
        const uint32_t id = U32(at);
        const uint64_t size = U32(at + 4);
        const uint64_t data = at + 8;
        if (data + size > end)
            return Fail(pastEnd);
        if (!visit(id, size, data))
            return false;
        at = data + ((size + 1) & ~uint64_t(1));
    }
    return true;
}

bool AviReader::ReadList(uint64_t begin, uint64_t end, uint32_t listType)
{
    return ForEachChunk(begin, end, "a chunk runs past its list", [&](uint32_t id, uint64_t size, uint64_t data) {
        if (id == FourCC("LIST")) {
            if (size < 4)
                return Fail("a list without a type");
            const uint32_t type = U32(data);
            if (type == FourCC("hdrl") && listType == FourCC("AVI ")) {
                if (!ReadList(data + 4, data + size, type))
                    return false;
            } else if (type == FourCC("strl") && listType == FourCC("hdrl")) {
                if (!ReadStreamList(data + 4, data + size))
                    return false;
            } else if (type == FourCC("odml") && listType == FourCC("hdrl")) {
                if (!ReadList(data + 4, data + size, type))
                    return false;
            } else if (type == FourCC("movi") && listType == FourCC("AVI ")) {
                if (m_hasMovi)
                    return Fail("a second movi list");
                m_hasMovi = true;
                m_moviType = data;
                if (!ReadList(data + 4, data + size, type))
                    return false;
            } else if (type == FourCC("movi") && listType == FourCC("AVIX")) {
                if (m_segmentHasMovi)
                    return Fail("a second movi list in a segment");
                m_segmentHasMovi = true;
                if (!ReadList(data + 4, data + size, type))
                    return false;
            } else if (listType == FourCC("movi") && type == FourCC("rec ")) {
                // Records group chunks one level deep; a record inside a record is not read.
                if (!ReadList(data + 4, data + size, type))
                    return false;
            }
        } else if (listType == FourCC("movi") || listType == FourCC("rec ")) {
            m_chunks.push_back({id, uint32_t(size), data});
            if ((id & 0xFFFF) == (FourCC("ix00") & 0xFFFF) && !ReadStandardIndex(id, data, size))
                return false;
        } else if (id == FourCC("dmlh") && listType == FourCC("odml")) {
            if (size < 4)
                return Fail("a short extended header");
            m_hasExtended = true;
            m_extendedFrames = U32(data);
        } else if (id == FourCC("avih") && listType == FourCC("hdrl")) {
            if (size < 40)
                return Fail("a short main header");
            m_main.microSecondsPerFrame = U32(data);
            m_main.flags = U32(data + 12);
            m_main.totalFrames = U32(data + 16);
            m_main.streams = U32(data + 24);
            m_main.width = U32(data + 32);
            m_main.height = U32(data + 36);
            m_hasMain = true;
        } else if (id == FourCC("idx1") && listType == FourCC("AVI ")) {
            m_hasIndex = true;
            for (uint64_t e = data; e + 16 <= data + size; e += 16)
                m_index.push_back({U32(e), U32(e + 4), U32(e + 8), U32(e + 12)});
        }
        return true;
    });
}

bool AviReader::ReadStreamList(uint64_t begin, uint64_t end)
{
    AviStream stream;
    bool hasHeader = false;
    const bool read = ForEachChunk(begin, end, "a stream chunk runs past its list", [&](uint32_t id, uint64_t size,
                                                                                       uint64_t data) {
        if (id == FourCC("strh")) {
            if (size < 48)
                return Fail("a short stream header");
            stream.type = U32(data);
            stream.handler = U32(data + 4);
            stream.scale = U32(data + 20);
            stream.rate = U32(data + 24);
            stream.length = U32(data + 32);
            stream.sampleSize = U32(data + 44);
            hasHeader = true;
        } else if (id == FourCC("strf")) {
            stream.format.assign(m_bytes.begin() + std::ptrdiff_t(data), m_bytes.begin() + std::ptrdiff_t(data + size));
        } else if (id == FourCC("indx")) {
            return ReadSuperIndex(data, size, &stream);
        }
        return true;
    });
    if (!read)
        return false;
    if (!hasHeader)
        return Fail("a stream list without a stream header");
    m_streams.push_back(std::move(stream));
    return true;
}

// An index's head after its chunk head: longs an entry (16 bits), sub-type and type (8 bits each),
// entries in use, the chunk id they index, then 12 bytes the kinds use differently.
constexpr uint64_t kIndexHeadBytes = 24;

bool AviReader::ReadSuperIndex(uint64_t data, uint64_t size, AviStream* stream)
{
    if (size < kIndexHeadBytes)
        return Fail("a short super index");
    const uint32_t longs = m_bytes[data] | m_bytes[data + 1] << 8;
    const uint8_t type = m_bytes[data + 3];
    const uint64_t count = U32(data + 4);
    if (type != 0x00 || longs != 4)
        return Fail("an indx chunk that is no super index of 4-long entries");
    if (count > (size - kIndexHeadBytes) / 16)
        return Fail("a super index with more entries than its chunk holds");
    stream->hasSuperIndex = true;
    stream->superIndexChunkId = U32(data + 8);
    for (uint64_t e = data + kIndexHeadBytes, n = 0; n < count; ++n, e += 16)
        stream->superIndex.push_back({uint64_t(U32(e)) | uint64_t(U32(e + 4)) << 32, U32(e + 8), U32(e + 12)});
    return true;
}

bool AviReader::ReadStandardIndex(uint32_t id, uint64_t data, uint64_t size)
{
    if (size < kIndexHeadBytes)
        return Fail("a short standard index");
    const uint32_t longs = m_bytes[data] | m_bytes[data + 1] << 8;
    const uint8_t type = m_bytes[data + 3];
    const uint64_t count = U32(data + 4);
    if (type != 0x01 || longs != 2)
        return Fail("an ix chunk that is no standard index of 2-long entries");
    if (count > (size - kIndexHeadBytes) / 8)
        return Fail("a standard index with more entries than its chunk holds");
    AviStandardIndex index;
    index.id = id;
    index.offset = data - 8;
    index.chunkId = U32(data + 8);
    index.baseOffset = uint64_t(U32(data + 12)) | uint64_t(U32(data + 16)) << 32;
    for (uint64_t e = data + kIndexHeadBytes, n = 0; n < count; ++n, e += 8)
        index.entries.push_back({U32(e), U32(e + 4)});
    m_standardIndexes.push_back(std::move(index));
    return true;
}

std::vector<AviChunk> AviReader::StreamChunks(uint32_t stream) const
{
    std::vector<AviChunk> chunks;
    const char tens = char('0' + stream / 10 % 10), ones = char('0' + stream % 10);
    for (const AviChunk& chunk : m_chunks)
        if (char(chunk.id & 0xFF) == tens && char((chunk.id >> 8) & 0xFF) == ones)
            chunks.push_back(chunk);
    return chunks;
}

} // namespace capture
