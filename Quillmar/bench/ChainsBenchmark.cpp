// Whole processing trees on one thread, without the board: a capture chain (1280 x 720 RGB32) and a
// preview chain (640 x 360 RGB32) built by the chain builder from settings records, both with
// advanced deinterlacing, a proc amp away from neutral and the caption overlay, merged into one
// tree below the VBI separator and fed interlaced buffers whose line-21 rows carry a roll-up
// caption: 1920 x 1080 (22 VBI rows a field), and 720 x 487 of the 525-line standard (20 VBI rows
// a field). Line-21 captions are decoded only in 525-line pictures, so only the second input makes
// the overlay draw text; the 1080-line one measures the search-free path with the overlay idle. One
// iteration is one input buffer through the whole tree; items per second are input frames per
// second. The counters give the pictures each output converted and the caption rows the overlay
// rendered.
#include <benchmark/benchmark.h>

#include "algorithmlist.h"
#include "board/Line21Captions.h"
#include "coutcolorspace.h"
#include "coverlaycc.h"
#include "frameprocessedsink.h"
#include "frameprocessingsource.h"
#include "glyphfileformat.h"
#include "standin/drives.h"
#include "videochainbuilder.h"
#include "videoframe.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr ULONG kFrameInterval = 333667;

// A drive C under a temporary machine root holding captions.gph: every printable code a solid
// rectangle in each style.
class GlyphDrive {
public:
    GlyphDrive()
    {
        using namespace glyphfile;
        std::string pattern = (std::filesystem::temp_directory_path() / "chains-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_root = pattern;
        std::filesystem::create_directory(m_root / "C");
        standin::SetMachineRoot(m_root.string());
        std::vector<uint8_t> header(kHeaderSize, 0);
        WriteU32(&header[0], kFormatNumber);
        WriteU32(&header[kHeaderSizeOffset], kHeaderSize);
        WriteU32(&header[kFontWeightOffset], 400);
        std::vector<uint8_t> bitmaps;
        for (uint32_t s = 0; s < kStyleCount; ++s) {
            WriteU32(&header[kCellHeightOffset + 4 * s], 20);
            WriteU32(&header[kAscentOffset + 4 * s], 16);
            WriteU32(&header[kDescentOffset + 4 * s], 4);
            for (uint32_t c = 0; c < kGlyphCodes; ++c) {
                if (c < 32 || c > 126)
                    continue;
                const uint32_t w = 4 + c % 7, h = 12;
                GlyphEntry e = {w, h, 0, int32_t(h), 0, 0, h * RowBytes(w), bitmaps.size()};
                WriteEntry(header.data(), s, c, e);
                bitmaps.insert(bitmaps.end(), e.bitmapBytes, 0xFF);
            }
        }
        std::ofstream out(m_root / "C" / "captions.gph", std::ios::binary);
        out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
        out.write(reinterpret_cast<const char*>(bitmaps.data()), std::streamsize(bitmaps.size()));
    }
    ~GlyphDrive()
    {
        standin::SetMachineRoot("");
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

private:
    std::filesystem::path m_root;
};

VideoChainSettings PinSettings(ULONG pinId, LONG width, LONG height)
{
    VideoChainSettings settings;
    settings.pinId = pinId;
    KS_VIDEOINFOHEADER info = {};
    info.AvgTimePerFrame = kFrameInterval;
    info.bmiHeader.biSize = sizeof(KS_BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biSizeImage = ULONG(width * height * 4);
    settings.SetVideoInfo(info);
    settings.scalingAlgorithm = 1;
    settings.deinterlace.enable = 1;
    settings.deinterlace.type = 3;
    settings.procAmp.brightness.value = 12;
    settings.procAmp.contrast.value = 115;
    settings.procAmp.hue.value = 8;
    settings.procAmp.saturation.value = 20;
    settings.procAmp.gamma.value = 100;
    BrevicorCCRecord& cc = settings.cc;
    cc.enable = 1;
    cc.field = 1;
    cc.channel = 1;
    cc.referenceHeight = 1080;
    cc.referenceWidth = 1920;
    cc.destinationTop = 820;
    cc.destinationLeft = 160;
    cc.destinationHeight = 200;
    cc.destinationWidth = 1600;
    cc.foregroundColor = 0xFFFFFF;
    const char16_t font[] = u"C:\\captions.gph";
    std::memcpy(cc.fontFileName, font, sizeof(font));
    return settings;
}

// Roll-up captions on CC1: the mode twice, a carriage return twice, then text pairs.
std::vector<board::Line21Captions::Pair> CaptionScript()
{
    std::vector<board::Line21Captions::Pair> pairs = {{0x14, 0x25}, {0x14, 0x25}, {0x14, 0x2D}, {0x14, 0x2D}};
    const char text[] = "CHAINS AT WORK ON ONE THREAD  ";
    for (size_t i = 0; i + 1 < sizeof(text) - 1; i += 2)
        pairs.push_back({uint8_t(text[i]), uint8_t(text[i + 1])});
    for (auto& pair : pairs)
        pair = {board::Line21Captions::WithParity(pair[0]), board::Line21Captions::WithParity(pair[1])};
    return pairs;
}

// Arguments: width, VBI rows a field, active rows of field 0 and of field 1.
void CaptureAndPreviewChains(benchmark::State& state)
{
    const LONG kWidth = LONG(state.range(0)), kVbiRows = LONG(state.range(1));
    const LONG kFieldRows[2] = {LONG(state.range(2)), LONG(state.range(3))};
    const ULONG standard = kWidth == 720 ? kFrameStandard525 : kFrameStandardOther;
    GlyphDrive drive;
    FrameProcessingSource source;
    class NoStream : public VbiSeparatorStream {
        bool GetCurrentInputDetectRecord(UCHAR*) override { return false; }
        void ProcessInputStateChanged(const UCHAR*) override {}
    } stream;
    FrameProcessedSink sinks[2];
    const VideoChainSettings settings[2] = {PinSettings(kVideoPinIdCapture, 1280, 720),
                                            PinSettings(kVideoPinIdPreview, 640, 360)};
    COutColorSpace* outputs[2] = {};
    for (int i = 0; i < 2; ++i) {
        AlgorithmList list(AlgorithmList::Locking::None);
        ULONGLONG interval = 0;
        if (VideoChainBuilder(settings[i], &stream).BuildProcessingSteps(&list, &interval) != STATUS_SUCCESS ||
            !list.Append(&sinks[i]) || !list.MergeInto(&source)) {
            state.SkipWithError("the chain was not built");
            return;
        }
        sinks[i].SetInterval(interval);
        outputs[i] = static_cast<COutColorSpace*>(sinks[i].GetParent());
    }
    const auto* overlay = static_cast<const COverlayCC*>(source.FindAlgorithmWithId(kAlgorithmIdOverlayCC));

    // The DSP's buffer: each field's VBI rows, then its active rows; planar 4:2:2.
    const LONG rows = 2 * kVbiRows + kFieldRows[0] + kFieldRows[1];
    const LONG stride = (kWidth + 15) & ~15;
    std::vector<UCHAR> buffer(size_t(stride) * rows * 2, 128);
    VideoFrame frame;
    frame.Initialize(buffer.data(), ULONG(buffer.size()), kWidth, rows, 8);
    for (LONG f = 0; f < 2; ++f) {
        frame.SetVbiSize(f, kWidth, kVbiRows);
        frame.SetActiveSize(f, kWidth, kFieldRows[f]);
    }
    frame.SetVideoStandard(standard);
    frame.SetFrameInterval(kFrameInterval);
    for (LONG r = 0; r < rows; ++r)
        for (LONG x = 0; x < kWidth; ++x)
            frame.GetPlane(0)[size_t(r) * frame.GetStride(0) + x] = UCHAR(16 + (x / 240) * 27 + (r & 1) * 6);

    board::Line21Captions captions;
    const auto script = CaptionScript();
    size_t next = 0;
    FrameWorkItem item = {};
    item.frame = &frame;
    LONGLONG stamp = 0;
    ULONGLONG sequence = 0;
    for (auto _ : state) {
        // This frame's caption pair into line 21 of NTSC field 1's block, a null pair into the other.
        const board::Line21Captions::Pair pair = script[next++ % script.size()];
        const board::Line21Captions::Pair null = {board::Line21Captions::kNull, board::Line21Captions::kNull};
        for (LONG block = 0; block < 2; ++block) {
            UCHAR* row = frame.GetPlane(0) +
                         size_t(block * (kVbiRows + kFieldRows[0]) + LONG(board::Line21Captions::kRow)) *
                             frame.GetStride(0);
            captions.RenderRow(row, kWidth, block == LONG(board::Line21Captions::BlockOfField(1)) ? pair : null,
                               sequence);
        }
        frame.SetFrameNumber(stamp);
        frame.SetSequenceNumber(++sequence);
        source.Process(&item);
        stamp += kFrameInterval;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["capture"] = double(outputs[0]->GetTiming().count);
    state.counters["preview"] = double(outputs[1]->GetTiming().count);
    state.counters["captionDraws"] = overlay != nullptr ? double(overlay->Renders()) : 0;

    // The tree goes before the sinks, which stay this function's.
    while (source.GetChildCount() > 0)
        delete source.GetChild(0);
    frame.DetachBuffer();
}

BENCHMARK(CaptureAndPreviewChains)
    ->Args({1920, 22, 540, 540})
    ->Args({720, 20, 244, 243})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

} // namespace
