// The VBI separator and the glyph rasteriser: the separation of a 525-line DSP buffer with the
// caption search running on every VBI row (no caption present, the search's worst case) and of a
// 1080-line interlaced buffer, and the layout and drawing of a 32-character caption line, in
// frames or lines per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "cdelivercc.h"
#include "cseperatevbifromvideo.h"
#include "glyphfileformat.h"
#include "videoframe.h"

namespace {

// A separator with a caption delivery child, so that the caption search runs.
void SeparateFrame(benchmark::State& state)
{
    const LONG width = LONG(state.range(0)), vbi = LONG(state.range(1)), active0 = LONG(state.range(2)),
               active1 = LONG(state.range(3));
    const ULONG standard = width == 720 ? kFrameStandard525 : kFrameStandardOther;
    const LONG stride = (width + 15) & ~15, rows = 2 * vbi + active0 + active1;
    std::vector<UCHAR> buffer(size_t(stride) * rows * 2, 128);
    for (size_t i = 0; i < size_t(stride) * rows; ++i)
        buffer[i] = UCHAR(i % 251);
    VideoFrame frame;
    frame.Initialize(buffer.data(), ULONG(buffer.size()), width, rows, 8);
    frame.SetVbiSize(0, width, vbi);
    frame.SetVbiSize(1, width, vbi);
    frame.SetActiveSize(0, width, active0);
    frame.SetActiveSize(1, width, active1);
    frame.SetVideoStandard(standard);
    CSeperateVBIFromVideo separator(nullptr, nullptr, {});
    auto* cc = new CDeliverCC(1, 0, 0);
    cc->Connect(&separator);
    for (auto _ : state) {
        separator.Process(&frame);
        benchmark::DoNotOptimize(separator.GetVideoFrame());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    frame.DetachBuffer();
}

BENCHMARK(SeparateFrame)->Args({720, 20, 244, 243})->Args({1920, 22, 540, 540})->Unit(benchmark::kMicrosecond);

void DrawCaptionLine(benchmark::State& state)
{
    using namespace glyphfile;
    std::vector<uint8_t> header(kHeaderSize, 0);
    WriteU32(&header[0], kFormatNumber);
    WriteU32(&header[kHeaderSizeOffset], kHeaderSize);
    for (uint32_t s = 0; s < kStyleCount; ++s) {
        WriteU32(&header[kCellHeightOffset + 4 * s], 26);
        WriteU32(&header[kAscentOffset + 4 * s], 21);
        WriteU32(&header[kDescentOffset + 4 * s], 5);
    }
    std::vector<std::vector<uint8_t>> bits(kGlyphSlots);
    std::vector<const uint8_t*> bitmaps(kGlyphSlots, nullptr);
    for (uint32_t c = 32; c < 127; ++c) {
        const uint32_t w = 8 + c % 6, h = 18;
        GlyphEntry e = {w, h, 1, int32_t(h), 0, 0, h * RowBytes(w), 0};
        WriteEntry(header.data(), 0, c, e);
        bits[c].assign(e.bitmapBytes, 0x5A);
        bitmaps[c] = bits[c].data();
    }
    std::vector<uint16_t> codes;
    for (int i = 0; i < 32; ++i)
        codes.push_back(uint16_t('A' + i % 26));
    auto* layout = new TextLayout;
    std::vector<uint8_t> line;
    for (auto _ : state) {
        LayOutText(header.data(), codes.data(), nullptr, uint32_t(codes.size()), 2, 0, layout);
        const size_t stride = size_t(layout->lineWidth) * 3;
        line.resize(stride * size_t(layout->lineHeight));
        benchmark::DoNotOptimize(DrawText(header.data(), bitmaps.data(), *layout, 0, 0xFFFFFF,
                                          {line.data(), stride, false, PixelOrder::RedFirst}));
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    delete layout;
}

BENCHMARK(DrawCaptionLine)->Unit(benchmark::kMicrosecond);

} // namespace
