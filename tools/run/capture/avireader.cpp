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
    const uint64_t riffEnd = 8 + uint64_t(U32(4));
    if (riffEnd > m_bytes.size())
        return Fail("the RIFF size runs past the file");
    if (!ReadList(12, riffEnd, FourCC("AVI ")))
        return false;
    if (!m_hasMain)
        return Fail("no main header");
    if (!m_hasMovi)
        return Fail("no movi list");
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
            } else if (type == FourCC("movi") && listType == FourCC("AVI ")) {
                if (m_hasMovi)
                    return Fail("a second movi list");
                m_hasMovi = true;
                m_moviType = data;
                if (!ReadList(data + 4, data + size, type))
                    return false;
            } else if (listType == FourCC("movi") && type == FourCC("rec ")) {
                // Records group chunks one level deep; a record inside a record is not read.
                if (!ReadList(data + 4, data + size, type))
                    return false;
            }
        } else if (listType == FourCC("movi") || listType == FourCC("rec ")) {
            m_chunks.push_back({id, uint32_t(size), data});
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
