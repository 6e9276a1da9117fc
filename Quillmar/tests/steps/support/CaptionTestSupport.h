// Test support of the caption and overlay steps: DSP frames laid out as the DSP fills its video
// buffers (planar 4:2:2, field-sequential: field 0's VBI rows, its active rows, then field 1's),
// line 21 drawn and read by libzvbi (the independent check of the decoder and the VBI pin), glyph
// files of rectangles, broken ones and one made with FreeType from a Liberation face, and a
// recording stand-in for the separator's stream.
#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "vbiseparatorstream.h"
#include "videoframe.h"

namespace captiontest {

// A DSP buffer and a frame laid over it, with the field sizes the stream engine sets. Y row r,
// column c = (r + c) mod 256 outside VBI rows; VBI rows black (16); chroma 128.
class DspFrame {
public:
    DspFrame(LONG width, LONG vbi0, LONG active0, LONG vbi1, LONG active1, ULONG standard = kFrameStandard525);
    ~DspFrame();
    VideoFrame& Frame() { return frame_; }
    LONG Stride() const { return stride_; }
    LONG Rows() const { return rows_; }
    // Plane p (0 Y, 1 U, 2 V), buffer row r.
    uint8_t* Row(int plane, LONG row);
    // Y row `row` of frame field `field`'s VBI lines.
    uint8_t* VbiRow(LONG field, LONG row);
    // Y row `row` of frame field `field`'s active lines.
    uint8_t* ActiveRow(LONG field, LONG row);
    void WriteMarker(LONG line, bool halfScale);

private:
    LONG width_, stride_, rows_;
    LONG vbi_[2], active_[2];
    std::vector<uint8_t> buffer_;
    VideoFrame frame_;
};

// Line 21 by libzvbi's raw VBI encoder: blank 16, white 235, `samplingRate` Hz, 720 samples a row
// starting 122 samples (at 13.5 MHz) after 0H; the bytes are sent as given (with their parity).
std::vector<uint8_t> DrawLine21(uint8_t b1, uint8_t b2, int samplingRate = 13'500'000, unsigned noise = 0,
                                unsigned seed = 1);
// libzvbi's caption decoder over one line-21 row of `samples` bytes at `samplingRate` whose first
// sample is `offset` samples after 0H; false when it finds no caption.
bool DecodeLine21(const uint8_t* row, int samples, int samplingRate, int offset, std::array<uint8_t, 2>* pair);
// A byte's 7 bits with odd parity.
uint8_t OddParity(uint8_t value);

// Glyph files.
struct GlyphFont {
    std::vector<uint8_t> header;
    std::vector<std::vector<uint8_t>> bitmaps; // by slot (style x 177 + code)
};
// Every code 32..126 of every style a solid rectangle (width 4 + code % 7, height 12, on the
// base line of a 20-row cell with descent 4); "W" 10 x 12; code 7 (circumflex) 4 x 3.
GlyphFont RectangleFont();
// Codes 32..126 of LiberationSans at `pixels` pixels (regular, italic, bold, bold italic faces).
GlyphFont FreeTypeFont(int pixels);
// The file's bytes: the header with each bitmap's running offset, then the bitmaps.
std::vector<uint8_t> SerializeGlyphFile(const GlyphFont& font);
void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// The separator's stream, recording the records it is handed.
class RecordingStream : public VbiSeparatorStream {
public:
    RecordingStream() { current.fill(0); current[kInputDetectStateOffset] = 2; }
    bool GetCurrentInputDetectRecord(UCHAR record[kInputDetectRecordBytes]) override;
    void ProcessInputStateChanged(const UCHAR record[kInputDetectRecordBytes]) override;
    std::array<UCHAR, kInputDetectRecordBytes> current;
    bool hasCurrent = true;
    std::vector<std::array<UCHAR, kInputDetectRecordBytes>> records;
};

// A closed-caption record (600 bytes) and a loss-of-signal record (1,120 bytes).
std::vector<uint8_t> CaptionRecord(const std::u16string& font, uint32_t top, uint32_t left, uint32_t height,
                                   uint32_t width, uint32_t referenceHeight, uint32_t referenceWidth,
                                   uint32_t foreground = 0xFFFFFF, uint32_t background = 0, uint32_t transparency = 0,
                                   uint32_t field = 1, uint32_t channel = 1);
std::vector<uint8_t> LossOfSignalRecord(const std::u16string& font, const std::u16string& text, uint32_t top,
                                        uint32_t left, uint32_t height, uint32_t width, uint32_t referenceHeight,
                                        uint32_t referenceWidth, uint32_t transparency = 0);

} // namespace captiontest
