// A small RIFF writer for the AVI test source's tests: files with a main header, one or two stream
// lists (optionally an audio stream before the video one), a "strf" bitmap information header, an
// optional "indx" chunk, a "movi" list of "NNdc" or "NNdb" frame chunks, odd-sized JUNK chunks, an
// "idx1" index and an "AVIX" continuation holding the later frames. Pictures are made here too,
// each frame telling itself apart from the others.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace streamtest {

struct AviWriterOptions {
    int32_t width = 16;
    int32_t height = 8; // negative: a top-down bitmap
    uint16_t bitCount = 16;
    uint32_t compression = 0;       // a four-character code, or 0 (uncompressed)
    uint32_t sizeImage = 0;         // biSizeImage as written (0 lets the reader compute it)
    bool dibChunks = false;         // "00db" instead of "00dc"
    bool withIndx = false;          // an "indx" chunk after "strf"
    bool oddJunk = false;           // odd-sized JUNK chunks in hdrl, before movi and between frames
    bool withIdx1 = true;           // the "idx1" index after movi
    size_t avixFrom = 0;            // frames from this one on go into an "AVIX" form (0: none)
    bool audioFirst = false;        // an "auds" stream list before the video one ("01dc" frames)
    uint32_t streamHeaderSize = 56; // 56, or 64 as some writers make it
};

// Frame bytes as the file stores them.
using AviFrameBytes = std::vector<uint8_t>;

std::vector<uint8_t> BuildAviFile(const AviWriterOptions& options, const std::vector<AviFrameBytes>& frames);
void WriteFileBytes(const std::string& hostPath, const std::vector<uint8_t>& bytes);

uint32_t FourCC(const char* code);
// The frame size the writer's reader computes for these options (biSizeImage when not 0).
uint32_t AviFrameSize(const AviWriterOptions& options);

// Packed 4:2:2 frames (UYVY or YUY2 order by `uyvy`) whose Y sample at (x, y) of frame n is
// PatternY(n, x, y) and whose chroma is 100 + n (U) and 150 - n (V).
AviFrameBytes PackedFrame(int width, int height, int n, bool uyvy);
// I420 frames with the same Y pattern.
AviFrameBytes I420Frame(int width, int height, int n);
// A bottom-up 24-bit bitmap, B G R, rows padded to 4, whose top picture row is `top` and the rest
// `rest` (three bytes R, G, B each).
AviFrameBytes Rgb24Frame(int width, int height, const uint8_t top[3], const uint8_t rest[3]);
uint8_t PatternY(int n, int x, int y);

} // namespace streamtest
