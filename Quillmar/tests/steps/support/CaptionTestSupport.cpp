// Test support of the caption and overlay steps.
#include "CaptionTestSupport.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <libzvbi.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "glyphfileformat.h"

namespace captiontest {

using namespace glyphfile;

DspFrame::DspFrame(LONG width, LONG vbi0, LONG active0, LONG vbi1, LONG active1, ULONG standard)
    : width_(width), stride_((width + 15) & ~15), rows_(vbi0 + active0 + vbi1 + active1), vbi_{vbi0, vbi1},
      active_{active0, active1}
{
    buffer_.assign(size_t(stride_) * rows_ * 2, 128);
    for (LONG r = 0; r < rows_; ++r)
        for (LONG c = 0; c < stride_; ++c)
            buffer_[size_t(r) * stride_ + c] = c < width ? uint8_t((r + c) & 0xFF) : 0;
    for (LONG f = 0; f < 2; ++f)
        for (LONG r = 0; r < vbi_[f]; ++r)
            std::memset(VbiRow(f, r), 16, size_t(width));
    frame_.Initialize(buffer_.data(), ULONG(buffer_.size()), width, rows_, 8);
    frame_.SetVbiSize(0, width, vbi0);
    frame_.SetVbiSize(1, width, vbi1);
    frame_.SetActiveSize(0, width, active0);
    frame_.SetActiveSize(1, width, active1);
    frame_.SetVideoStandard(standard);
    frame_.SetFrameInterval(333667);
}

DspFrame::~DspFrame() { frame_.DetachBuffer(); }

uint8_t* DspFrame::Row(int plane, LONG row)
{
    const size_t y = size_t(stride_) * rows_;
    if (plane == 0)
        return buffer_.data() + size_t(row) * stride_;
    return buffer_.data() + y + (plane == 2 ? y / 2 : 0) + size_t(row) * (stride_ / 2);
}

uint8_t* DspFrame::VbiRow(LONG field, LONG row) { return Row(0, (field ? vbi_[0] + active_[0] : 0) + row); }
uint8_t* DspFrame::ActiveRow(LONG field, LONG row)
{
    return Row(0, (field ? vbi_[0] + active_[0] + vbi_[1] : vbi_[0]) + row);
}

void DspFrame::WriteMarker(LONG line, bool halfScale)
{
    static const uint8_t full[8] = {0x0D, 0x0E, 0x0A, 0x0D, 0x0B, 0x0A, 0x0B, 0x0E};
    static const uint8_t half[4] = {0x0C, 0x0B, 0x0A, 0x0D};
    std::memcpy(Row(0, line - 1), halfScale ? half : full, halfScale ? 4 : 8);
}

uint8_t OddParity(uint8_t value) { return uint8_t(vbi_par8(value & 0x7F)); }

namespace {

vbi_sampling_par Sampling(int samplingRate, int samples, int offset, int lines)
{
    vbi_sampling_par sp;
    std::memset(&sp, 0, sizeof(sp));
    sp.scanning = 525;
    sp.sampling_format = VBI_PIXFMT_YUV420;
    sp.sampling_rate = samplingRate;
    sp.bytes_per_line = samples;
    sp.offset = offset;
    sp.start[0] = 21;
    sp.start[1] = lines > 1 ? 284 : 0;
    sp.count[0] = 1;
    sp.count[1] = lines > 1 ? 1 : 0;
    sp.interlaced = FALSE;
    sp.synchronous = TRUE;
    return sp;
}

} // namespace

std::vector<uint8_t> DrawLine21(uint8_t b1, uint8_t b2, int samplingRate, unsigned noise, unsigned seed)
{
    vbi_sampling_par sp = Sampling(samplingRate, 720, 122 * samplingRate / 13'500'000, 2);
    std::vector<uint8_t> raw(720 * 2, 0);
    vbi_sliced sliced;
    std::memset(&sliced, 0, sizeof(sliced));
    sliced.id = VBI_SLICED_CAPTION_525_F1;
    sliced.line = 21;
    sliced.data[0] = b1;
    sliced.data[1] = b2;
    if (!vbi_raw_vbi_image(raw.data(), raw.size(), &sp, 16, 235, FALSE, &sliced, 1))
        throw std::runtime_error("vbi_raw_vbi_image failed");
    if (noise > 0 && !vbi_raw_add_noise(raw.data(), &sp, 0, 5'000'000, noise, seed))
        throw std::runtime_error("vbi_raw_add_noise failed");
    raw.resize(720);
    return raw;
}

bool DecodeLine21(const uint8_t* row, int samples, int samplingRate, int offset, std::array<uint8_t, 2>* pair)
{
    vbi_raw_decoder rd;
    vbi_raw_decoder_init(&rd);
    vbi_sampling_par sp = Sampling(samplingRate, samples, offset, 1);
    rd.scanning = sp.scanning;
    rd.sampling_format = sp.sampling_format;
    rd.sampling_rate = sp.sampling_rate;
    rd.bytes_per_line = sp.bytes_per_line;
    rd.offset = sp.offset;
    rd.start[0] = sp.start[0];
    rd.start[1] = sp.start[1];
    rd.count[0] = sp.count[0];
    rd.count[1] = sp.count[1];
    rd.interlaced = sp.interlaced;
    rd.synchronous = sp.synchronous;
    vbi_raw_decoder_add_services(&rd, VBI_SLICED_CAPTION_525, 0);
    vbi_sliced out[4];
    std::vector<uint8_t> raw(row, row + samples);
    const int n = vbi_raw_decode(&rd, raw.data(), out);
    vbi_raw_decoder_destroy(&rd);
    for (int i = 0; i < n; ++i)
        if (out[i].id & VBI_SLICED_CAPTION_525) {
            (*pair)[0] = out[i].data[0];
            (*pair)[1] = out[i].data[1];
            return true;
        }
    return false;
}

namespace {

GlyphFont EmptyFont(int32_t height, int32_t ascent, int32_t descent)
{
    GlyphFont font;
    font.header.assign(kHeaderSize, 0);
    font.bitmaps.resize(kGlyphSlots);
    WriteU32(&font.header[0], kFormatNumber);
    WriteU32(&font.header[kHeaderSizeOffset], kHeaderSize);
    WriteU32(&font.header[kFontWeightOffset], 400);
    for (uint32_t s = 0; s < kStyleCount; ++s) {
        WriteU32(&font.header[kCellHeightOffset + 4 * s], uint32_t(height));
        WriteU32(&font.header[kAscentOffset + 4 * s], uint32_t(ascent));
        WriteU32(&font.header[kDescentOffset + 4 * s], uint32_t(descent));
    }
    return font;
}

void SetGlyph(GlyphFont& font, uint32_t style, uint32_t code, uint32_t width, uint32_t height, int32_t originX,
              int32_t originY, const std::vector<uint8_t>& bits)
{
    GlyphEntry e = {width, height, originX, originY, 0, 0, uint32_t(bits.size()), 0};
    WriteEntry(font.header.data(), style, code, e);
    font.bitmaps[GlyphSlot(style, code)] = bits;
}

void Rectangle(GlyphFont& font, uint32_t style, uint32_t code, uint32_t width, uint32_t height)
{
    std::vector<uint8_t> bits(size_t(height) * RowBytes(width), 0);
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t c = 0; c < width; ++c)
            bits[r * RowBytes(width) + c / 8] |= uint8_t(0x80 >> (c % 8));
    SetGlyph(font, style, code, width, height, 0, int32_t(height), bits);
}

} // namespace

GlyphFont RectangleFont()
{
    GlyphFont font = EmptyFont(20, 16, 4);
    for (uint32_t s = 0; s < kStyleCount; ++s) {
        for (uint32_t c = 32; c < 127; ++c)
            Rectangle(font, s, c, 4 + c % 7, 12);
        Rectangle(font, s, 'W', 10, 12);
        Rectangle(font, s, 7, 4, 3);
    }
    return font;
}

GlyphFont FreeTypeFont(int pixels)
{
    static const char* const kFaces[4] = {"LiberationSans-Regular.ttf", "LiberationSans-Italic.ttf",
                                          "LiberationSans-Bold.ttf", "LiberationSans-BoldItalic.ttf"};
    FT_Library library;
    if (FT_Init_FreeType(&library))
        throw std::runtime_error("FreeType did not start");
    GlyphFont font;
    for (uint32_t s = 0; s < kStyleCount; ++s) {
        const std::string path = std::string("/usr/share/fonts/truetype/liberation/") + kFaces[s];
        FT_Face face;
        if (FT_New_Face(library, path.c_str(), 0, &face))
            throw std::runtime_error("no face " + path);
        FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels));
        const int32_t ascent = int32_t(face->size->metrics.ascender >> 6);
        const int32_t descent = int32_t(-face->size->metrics.descender >> 6);
        if (s == 0)
            font = EmptyFont(ascent + descent, ascent, descent);
        WriteU32(&font.header[kCellHeightOffset + 4 * s], uint32_t(ascent + descent));
        WriteU32(&font.header[kAscentOffset + 4 * s], uint32_t(ascent));
        WriteU32(&font.header[kDescentOffset + 4 * s], uint32_t(descent));
        for (uint32_t c = 32; c < 127; ++c) {
            if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO))
                continue;
            const FT_Bitmap& b = face->glyph->bitmap;
            if (b.width == 0 || b.rows == 0) {
                SetGlyph(font, s, c, 8, uint32_t(ascent), 0, ascent, std::vector<uint8_t>(size_t(4) * ascent, 0));
                continue;
            }
            std::vector<uint8_t> bits(size_t(b.rows) * RowBytes(b.width), 0);
            for (unsigned r = 0; r < b.rows; ++r)
                std::memcpy(&bits[r * RowBytes(b.width)], b.buffer + ptrdiff_t(r) * b.pitch, (b.width + 7) / 8);
            SetGlyph(font, s, c, b.width, b.rows, face->glyph->bitmap_left, face->glyph->bitmap_top, bits);
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return font;
}

std::vector<uint8_t> SerializeGlyphFile(const GlyphFont& font)
{
    std::vector<uint8_t> bytes = font.header;
    uint64_t offset = 0;
    for (uint32_t s = 0; s < kStyleCount; ++s)
        for (uint32_t c = 0; c < kGlyphCodes; ++c) {
            GlyphEntry e = ReadEntry(bytes.data(), s, c);
            e.bitmapField = offset;
            WriteEntry(bytes.data(), s, c, e);
            offset += e.bitmapBytes;
        }
    for (uint32_t slot = 0; slot < kGlyphSlots; ++slot)
        bytes.insert(bytes.end(), font.bitmaps[slot].begin(), font.bitmaps[slot].end());
    return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool RecordingStream::GetCurrentInputDetectRecord(UCHAR record[kInputDetectRecordBytes])
{
    if (!hasCurrent)
        return false;
    std::memcpy(record, current.data(), current.size());
    return true;
}

void RecordingStream::ProcessInputStateChanged(const UCHAR record[kInputDetectRecordBytes])
{
    std::array<UCHAR, kInputDetectRecordBytes> copy;
    std::memcpy(copy.data(), record, copy.size());
    records.push_back(copy);
}

namespace {

void Put(std::vector<uint8_t>& record, size_t offset, uint32_t value) { WriteU32(&record[offset], value); }
void PutText(std::vector<uint8_t>& record, size_t offset, const std::u16string& text, size_t characters)
{
    for (size_t i = 0; i < text.size() && i + 1 < characters; ++i) {
        record[offset + 2 * i] = uint8_t(text[i] & 0xFF);
        record[offset + 2 * i + 1] = uint8_t(text[i] >> 8);
    }
}

} // namespace

std::vector<uint8_t> CaptionRecord(const std::u16string& font, uint32_t top, uint32_t left, uint32_t height,
                                   uint32_t width, uint32_t referenceHeight, uint32_t referenceWidth,
                                   uint32_t foreground, uint32_t background, uint32_t transparency, uint32_t field,
                                   uint32_t channel)
{
    std::vector<uint8_t> r(600, 0);
    Put(r, 24, 1);
    Put(r, 28, field);
    Put(r, 32, channel);
    Put(r, 36, 1);
    Put(r, 40, referenceHeight);
    Put(r, 44, referenceWidth);
    Put(r, 48, top);
    Put(r, 52, left);
    Put(r, 56, height);
    Put(r, 60, width);
    Put(r, 64, transparency);
    Put(r, 68, foreground);
    Put(r, 72, background);
    PutText(r, 80, font, 260);
    return r;
}

std::vector<uint8_t> LossOfSignalRecord(const std::u16string& font, const std::u16string& text, uint32_t top,
                                        uint32_t left, uint32_t height, uint32_t width, uint32_t referenceHeight,
                                        uint32_t referenceWidth, uint32_t transparency)
{
    std::vector<uint8_t> r(1120, 0);
    Put(r, 32, 1);
    Put(r, 36, referenceHeight);
    Put(r, 40, referenceWidth);
    Put(r, 44, top);
    Put(r, 48, left);
    Put(r, 52, height);
    Put(r, 56, width);
    Put(r, 60, transparency);
    Put(r, 64, 0xFFFFFF);
    Put(r, 68, 0);
    PutText(r, 80, text, 260);
    PutText(r, 600, font, 260);
    return r;
}

} // namespace captiontest
