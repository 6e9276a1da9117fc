// The RIFF writer of the AVI test source's tests.
#include "AviFileWriter.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace streamtest {

uint32_t FourCC(const char* code)
{
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

namespace {

// The picture's height as the headers give it (a top-down bitmap's negative height counts as its size).
uint32_t AbsoluteHeight(int32_t height)
{
    return uint32_t(height < 0 ? -int64_t(height) : int64_t(height));
}

class RiffBuffer {
public:
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(v >> (8 * i)));
    }
    void U16(uint16_t v)
    {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    void Code(const char* code) { U32(FourCC(code)); }
    // "LIST" (or "RIFF") size type; EndList fills the size in.
    size_t BeginList(const char* id, const char* type)
    {
        const size_t at = bytes.size();
        Code(id);
        U32(0);
        Code(type);
        return at;
    }
    void EndList(size_t at)
    {
        const uint32_t size = uint32_t(bytes.size() - at - 8);
        std::memcpy(bytes.data() + at + 4, &size, 4);
    }
    // A chunk with its data padded to an even length; returns the data's offset.
    size_t Chunk(const char* id, const std::vector<uint8_t>& data)
    {
        Code(id);
        U32(uint32_t(data.size()));
        const size_t at = bytes.size();
        bytes.insert(bytes.end(), data.begin(), data.end());
        if (data.size() & 1)
            bytes.push_back(0);
        return at;
    }
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Zeros(size_t n)
{
    return std::vector<uint8_t>(n, 0);
}

void StreamList(RiffBuffer& riff, const AviWriterOptions& o, bool video, size_t frameCount)
{
    const size_t strl = riff.BeginList("LIST", "strl");
    RiffBuffer strh;
    strh.Code(video ? "vids" : "auds");
    strh.U32(video ? o.compression : 1);
    strh.U32(0);                 // flags
    strh.U16(0);                 // priority
    strh.U16(0);                 // language
    strh.U32(0);                 // initial frames
    strh.U32(video ? 1001 : 1);  // scale
    strh.U32(video ? 30000 : 48000);
    strh.U32(0);                 // start
    strh.U32(uint32_t(frameCount));
    strh.U32(video ? AviFrameSize(o) : 0);
    strh.U32(0xFFFFFFFF);        // quality
    strh.U32(video ? 0 : 4);     // sample size
    strh.U16(0);
    strh.U16(0);
    strh.U16(uint16_t(o.width));
    strh.U16(uint16_t(AbsoluteHeight(o.height)));
    while (strh.bytes.size() < o.streamHeaderSize)
        strh.bytes.push_back(0);
    riff.Chunk("strh", strh.bytes);
    RiffBuffer strf;
    if (video) {
        strf.U32(40);
        strf.U32(uint32_t(o.width));
        strf.U32(uint32_t(o.height));
        strf.U16(1);
        strf.U16(o.bitCount);
        strf.U32(o.compression);
        strf.U32(o.sizeImage);
        strf.U32(0);
        strf.U32(0);
        strf.U32(0);
        strf.U32(0);
    } else {
        strf.U16(1); // PCM
        strf.U16(2);
        strf.U32(48000);
        strf.U32(192000);
        strf.U16(4);
        strf.U16(16);
    }
    riff.Chunk("strf", strf.bytes);
    if (video && o.withIndx)
        riff.Chunk("indx", Zeros(24));
    riff.EndList(strl);
}

} // namespace

uint32_t AviFrameSize(const AviWriterOptions& o)
{
    if (o.sizeImage != 0)
        return o.sizeImage;
    const uint32_t w = uint32_t(o.width);
    const uint32_t h = AbsoluteHeight(o.height);
    if (o.compression == FourCC("UYVY") || o.compression == FourCC("YUY2"))
        return 2 * w * h;
    if (o.compression == FourCC("I420"))
        return w * h * 3 / 2;
    return (o.bitCount * w + 31) / 32 * 4 * h;
}

std::vector<uint8_t> BuildAviFile(const AviWriterOptions& o, const std::vector<AviFrameBytes>& frames)
{
    RiffBuffer riff;
    const size_t form = riff.BeginList("RIFF", "AVI ");
    const size_t hdrl = riff.BeginList("LIST", "hdrl");
    RiffBuffer avih;
    avih.U32(33367);
    avih.U32(0);
    avih.U32(0);
    avih.U32(0x10); // has index
    avih.U32(uint32_t(frames.size()));
    avih.U32(0);
    avih.U32(o.audioFirst ? 2 : 1);
    avih.U32(AviFrameSize(o));
    avih.U32(uint32_t(o.width));
    avih.U32(AbsoluteHeight(o.height));
    for (int i = 0; i < 4; ++i)
        avih.U32(0);
    riff.Chunk("avih", avih.bytes);
    if (o.oddJunk)
        riff.Chunk("JUNK", Zeros(7));
    if (o.audioFirst)
        StreamList(riff, o, false, frames.size());
    StreamList(riff, o, true, frames.size());
    riff.EndList(hdrl);
    if (o.oddJunk)
        riff.Chunk("JUNK", Zeros(13));
    const char* id = o.audioFirst ? (o.dibChunks ? "01db" : "01dc") : (o.dibChunks ? "00db" : "00dc");
    const size_t mainFrames = o.avixFrom != 0 && o.avixFrom < frames.size() ? o.avixFrom : frames.size();
    const size_t movi = riff.BeginList("LIST", "movi");
    std::vector<uint32_t> offsets;
    for (size_t i = 0; i < mainFrames; ++i) {
        offsets.push_back(uint32_t(riff.bytes.size() - movi - 8));
        riff.Chunk(id, frames[i]);
        if (o.oddJunk)
            riff.Chunk("JUNK", Zeros(3));
        if (o.audioFirst)
            riff.Chunk("00wb", Zeros(9));
    }
    riff.EndList(movi);
    if (o.withIdx1) {
        RiffBuffer index;
        for (size_t i = 0; i < mainFrames; ++i) {
            index.Code(id);
            index.U32(0x10);
            index.U32(offsets[i]);
            index.U32(uint32_t(frames[i].size()));
        }
        riff.Chunk("idx1", index.bytes);
    }
    riff.EndList(form);
    if (mainFrames < frames.size()) {
        const size_t avix = riff.BeginList("RIFF", "AVIX");
        const size_t moreMovi = riff.BeginList("LIST", "movi");
        for (size_t i = mainFrames; i < frames.size(); ++i)
            riff.Chunk(id, frames[i]);
        riff.EndList(moreMovi);
        riff.EndList(avix);
    }
    return riff.bytes;
}

void WriteFileBytes(const std::string& hostPath, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + hostPath);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint8_t PatternY(int n, int x, int y)
{
    return uint8_t(16 + (n * 53 + x * 3 + y * 7) % 220);
}

AviFrameBytes PackedFrame(int width, int height, int n, bool uyvy)
{
    AviFrameBytes frame(size_t(2) * width * height);
    for (int y = 0; y < height; ++y) {
        for (int p = 0; p < width / 2; ++p) {
            uint8_t* pair = frame.data() + size_t(y) * 2 * width + 4 * p;
            const uint8_t y0 = PatternY(n, 2 * p, y), y1 = PatternY(n, 2 * p + 1, y);
            const uint8_t u = uint8_t(100 + n), v = uint8_t(150 - n);
            if (uyvy) {
                pair[0] = u, pair[1] = y0, pair[2] = v, pair[3] = y1;
            } else {
                pair[0] = y0, pair[1] = u, pair[2] = y1, pair[3] = v;
            }
        }
    }
    return frame;
}

AviFrameBytes I420Frame(int width, int height, int n)
{
    AviFrameBytes frame(size_t(width) * height * 3 / 2, uint8_t(128));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame[size_t(y) * width + x] = PatternY(n, x, y);
    return frame;
}

AviFrameBytes Rgb24Frame(int width, int height, const uint8_t top[3], const uint8_t rest[3])
{
    const size_t rowBytes = (size_t(3) * width + 3) / 4 * 4;
    AviFrameBytes frame(rowBytes * height, 0);
    for (int row = 0; row < height; ++row) {
        // Stored bottom-up: the last stored row is the top picture row.
        const uint8_t* rgb = row == height - 1 ? top : rest;
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = frame.data() + size_t(row) * rowBytes + 3 * x;
            pixel[0] = rgb[2], pixel[1] = rgb[1], pixel[2] = rgb[0];
        }
    }
    return frame;
}

} // namespace streamtest
