// Line-21 captions: the waveform in VBI row 19 of each field block read back by two independent
// readers, a reader after the host's own method (run-in edges, start bits, cells one measured bit
// apart) and libzvbi's raw decoder, at 20 sampling phases, with noise and a lower level, and
// through the board's captured buffers.
#include <gtest/gtest.h>
#include <libzvbi.h>

#include <cmath>
#include <optional>

#include "StreamTestHost.h"
#include "board/Line21Captions.h"
#include "board/VbiTestLines.h"
#include "board/VideoCapture.h"

namespace board {
namespace {

using Pair = Line21Captions::Pair;

// Reads a caption row as the host's VBI step does: over the first half of the row, rising edges
// (>= 64 while low) and falling edges (< 49 while high) of the run-in; the bit width from the
// first and seventh rising edge; then low, low, high at the middle of the next three cells; back
// from the third start bit to its edge; sixteen cells sampled at half a bit and a bit apart against
// half the swing.
std::optional<Pair> ReferenceRead(const uint8_t* row, uint32_t width)
{
    if (row[0] >= 64)
        return std::nullopt;
    bool high = false;
    int rises = 0, falls = 0;
    double firstRise = 0, lastRise = 0, seventhFall = 0;
    int highest = 0, lowest = 255;
    for (uint32_t i = 0; i < width / 2 && falls < 7; ++i) {
        highest = std::max<int>(highest, row[i]);
        lowest = std::min<int>(lowest, row[i]);
        if (!high && row[i] >= 64) {
            high = true;
            (rises == 0 ? firstRise : lastRise) = i;
            ++rises;
        } else if (high && row[i] < 49) {
            high = false;
            if (++falls == 7)
                seventhFall = i;
        }
    }
    if (rises < 7 || falls < 7)
        return std::nullopt;
    const double bit = (lastRise - firstRise) / 6;
    auto at = [&](double x) { return row[std::min<uint32_t>(static_cast<uint32_t>(std::lround(x)), width - 1)]; };
    const double start = seventhFall + bit / 2;
    if (!(at(start) < 49 && at(start + bit) < 49 && at(start + 2 * bit) >= 64))
        return std::nullopt;
    double edge = std::round(start + 2 * bit);
    while (edge > 0 && at(edge) > 48)
        --edge;
    const double data = edge + bit;
    const int threshold = (highest - lowest) / 2;
    uint32_t bits = 0;
    for (int k = 0; k < 16; ++k)
        if (at(data + bit / 2 + k * bit) >= threshold)
            bits |= 1u << k;
    Pair pair = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8)};
    for (uint8_t& b : pair)
        if (b == 0)
            b = 0x80;
    return pair;
}

// libzvbi's raw decoder over line 21 of NTSC field 1 and line 284 of field 2 (13.5 MHz luma, the
// row starting 122 samples after 0H). Returns the pairs of fields 1 and 2, when decoded.
struct ZvbiPairs {
    std::optional<Pair> field1, field2;
};

ZvbiPairs ZvbiRead(const uint8_t* field1Row, const uint8_t* field2Row)
{
    vbi_raw_decoder rd;
    vbi_raw_decoder_init(&rd);
    rd.scanning = 525;
    rd.sampling_format = VBI_PIXFMT_YUV420;
    rd.sampling_rate = 13'500'000;
    rd.bytes_per_line = 720;
    rd.offset = 122;
    rd.start[0] = 21;
    rd.count[0] = 1;
    rd.start[1] = 284;
    rd.count[1] = 1;
    rd.interlaced = FALSE;
    rd.synchronous = TRUE;
    EXPECT_NE(vbi_raw_decoder_add_services(&rd, VBI_SLICED_CAPTION_525, 1) & VBI_SLICED_CAPTION_525, 0u);
    std::vector<uint8_t> raw(2 * 720);
    std::copy(field1Row, field1Row + 720, raw.begin());
    std::copy(field2Row, field2Row + 720, raw.begin() + 720);
    vbi_sliced sliced[4];
    const int n = vbi_raw_decode(&rd, raw.data(), sliced);
    ZvbiPairs pairs;
    for (int i = 0; i < n; ++i) {
        const Pair pair = {sliced[i].data[0], sliced[i].data[1]};
        if (sliced[i].line == 21)
            pairs.field1 = pair;
        else if (sliced[i].line == 284)
            pairs.field2 = pair;
    }
    vbi_raw_decoder_destroy(&rd);
    return pairs;
}

VideoCaptureFrame NtscFrame(Line21Captions& captions, uint32_t counter)
{
    VideoCaptureFrame frame;
    frame.geometry = VideoStandards::Find(VideoStandards::kNtsc)->CaptureGeometry(false);
    frame.line21 = true;
    frame.captions = captions.NextFrame();
    frame.frameCounter = counter;
    return frame;
}

const std::vector<Pair> kScript = {{0x14, 0x2C}, {0x14, 0x2C}, {0x48, 0x45}};

std::vector<Pair> Expected()
{
    std::vector<Pair> expected;
    for (const Pair& p : kScript)
        expected.push_back({Line21Captions::WithParity(p[0]), Line21Captions::WithParity(p[1])});
    expected.push_back({0x80, 0x80});
    return expected;
}

// Renders the script in both fields and reads every frame back with both readers.
void ExpectScriptDecodes(const Line21Waveform& waveform)
{
    Line21Captions captions;
    captions.SetWaveform(waveform);
    ASSERT_TRUE(captions.Queue(1, kScript));
    ASSERT_TRUE(captions.Queue(2, kScript));
    const std::vector<Pair> expected = Expected();
    for (uint32_t k = 0; k < expected.size(); ++k) {
        const VideoCaptureFrame frame = NtscFrame(captions, k);
        std::vector<uint8_t> data = VideoCapture::Render(frame, captions);
        PlanarFrame planes(data.data(), frame.geometry);
        const uint8_t* field1 = planes.YRow(frame.geometry.FieldFirstRow(1) + Line21Captions::kRow);
        const uint8_t* field2 = planes.YRow(frame.geometry.FieldFirstRow(0) + Line21Captions::kRow);
        EXPECT_EQ(ReferenceRead(field1, 720), expected[k]) << "field 1, frame " << k << ", phase " << waveform.phase;
        EXPECT_EQ(ReferenceRead(field2, 720), expected[k]) << "field 2, frame " << k << ", phase " << waveform.phase;
        const ZvbiPairs z = ZvbiRead(field1, field2);
        EXPECT_EQ(z.field1, expected[k]) << "libzvbi field 1, frame " << k << ", phase " << waveform.phase;
        EXPECT_EQ(z.field2, expected[k]) << "libzvbi field 2, frame " << k << ", phase " << waveform.phase;
    }
}

TEST(Line21, ParityIsOddAndTheNullPairIsEightyEighty)
{
    EXPECT_EQ(Line21Captions::WithParity(0x14), 0x94);
    EXPECT_EQ(Line21Captions::WithParity(0x2C), 0x2C);
    EXPECT_EQ(Line21Captions::WithParity(0x48), 0xC8);
    EXPECT_EQ(Line21Captions::WithParity(0x45), 0x45);
    EXPECT_EQ(Line21Captions::WithParity(0x00), Line21Captions::kNull);
    EXPECT_EQ(Line21Captions::WithParity(0xFF), 0x7F); // only the low seven bits count
    Line21Captions captions;
    EXPECT_FALSE(captions.Queue(3, kScript));
    EXPECT_TRUE(captions.Queue(2, {{0x41, 0x42}}));
    EXPECT_EQ(captions.Pending(2), 1u);
    EXPECT_EQ(captions.Pending(1), 0u);
    const auto frame = captions.NextFrame();
    EXPECT_EQ(frame[0], (Pair{0xC1, 0xC2})); // field 2 is buffer block 0
    EXPECT_EQ(frame[1], (Pair{0x80, 0x80}));
}

TEST(Line21, TimingAndLevelsFollowTheLine21Waveform)
{
    Line21Captions captions;
    const double bit = 1 / 503'496.5;
    const Pair pair = {0x01, 0x80}; // data bits 0 and 15 set, the rest 0
    const double mid = (16.0 + 126.0) / 2;
    EXPECT_DOUBLE_EQ(captions.Level(10.4e-6, pair), 16);
    // Seven run-in cycles from 10.5 us: high at each half cycle, blank between.
    for (int c = 0; c < 7; ++c) {
        EXPECT_NEAR(captions.Level(10.5e-6 + (c + 0.5) * bit, pair), 126, 1e-6) << c;
        EXPECT_NEAR(captions.Level(10.5e-6 + c * bit, pair), 16, 1e-6) << c;
    }
    // Two zero bits, then the one start bit whose edge is at 27.382 us.
    EXPECT_NEAR(captions.Level(27.382e-6 - 0.5 * bit, pair), 16, 1e-6);
    EXPECT_NEAR(captions.Level(27.382e-6 - 1.5 * bit, pair), 16, 1e-6);
    EXPECT_NEAR(captions.Level(27.382e-6, pair), mid, 1e-6);
    EXPECT_NEAR(captions.Level(27.382e-6 + 0.5 * bit, pair), 126, 1e-6);
    // Data bit k is the cell after it: bit 0 high, bits 1..14 low, bit 15 high, then blank.
    EXPECT_NEAR(captions.Level(27.382e-6 + 1.5 * bit, pair), 126, 1e-6);
    for (int k = 1; k < 15; ++k)
        EXPECT_NEAR(captions.Level(27.382e-6 + (k + 1.5) * bit, pair), 16, 1e-6) << k;
    EXPECT_NEAR(captions.Level(27.382e-6 + 16.5 * bit, pair), 126, 1e-6);
    EXPECT_NEAR(captions.Level(27.382e-6 + 17.5 * bit, pair), 16, 1e-6);
    // The edges are shaped: a quarter of the way through the 0.4 us edge the level is on its way.
    const double quarter = captions.Level(27.382e-6 - 0.1e-6, pair);
    EXPECT_GT(quarter, 20);
    EXPECT_LT(quarter, mid);
    // Sample i of the row lies (122 + i) / 13.5 MHz after 0H; the phase delays the grid.
    std::vector<uint8_t> row(720);
    captions.RenderRow(row.data(), 720, pair, 0);
    const double edgeSample = 27.382e-6 * 13.5e6 - 122; // 247.66
    EXPECT_LT(row[247], mid);
    EXPECT_GT(row[248], mid);
    Line21Waveform late;
    late.phase = 0.8; // sample 247 now lies at 247.8, after the edge
    captions.SetWaveform(late);
    captions.RenderRow(row.data(), 720, pair, 0);
    EXPECT_GT(row[247], mid) << edgeSample;
    // The waveform's last cell ends inside the row.
    EXPECT_LT((27.382e-6 + 17 * bit) * 13.5e6 - 122, 720);
}

TEST(Line21, TheScriptDecodesInBothFieldsAtTwentyPhases)
{
    for (int i = 0; i < 20; ++i) {
        Line21Waveform waveform;
        waveform.phase = i / 20.0;
        ExpectScriptDecodes(waveform);
    }
}

TEST(Line21, NoiseAndALowerLevelStillDecode)
{
    Line21Waveform noisy;
    noisy.noise = 12;
    noisy.seed = 1234;
    noisy.phase = 0.35;
    ExpectScriptDecodes(noisy);
    Line21Waveform low;
    low.high = 100;
    ExpectScriptDecodes(low);
}

TEST(Line21, EveryPrintablePairDecodes)
{
    Line21Captions captions;
    std::vector<Pair> pairs;
    for (uint8_t c = 0x20; c < 0x80; c += 2)
        pairs.push_back({c, static_cast<uint8_t>(c + 1)});
    captions.Queue(1, pairs);
    for (const Pair& p : pairs) {
        VideoCaptureFrame frame = NtscFrame(captions, 0);
        const std::vector<uint8_t> data = VideoCapture::Render(frame, captions);
        const uint8_t* row = data.data() + (frame.geometry.FieldFirstRow(1) + Line21Captions::kRow) * 720;
        const Pair expected = {Line21Captions::WithParity(p[0]), Line21Captions::WithParity(p[1])};
        EXPECT_EQ(ReferenceRead(row, 720), expected);
        EXPECT_EQ(ZvbiRead(row, row).field1, expected);
    }
}

TEST(Line21, OnlyTheCaptionRowCarriesARunIn)
{
    Line21Captions captions;
    const VideoCaptureFrame frame = NtscFrame(captions, 5);
    const std::vector<uint8_t> data = VideoCapture::Render(frame, captions);
    PlanarFrame planes(const_cast<uint8_t*>(data.data()), frame.geometry);
    for (uint32_t block = 0; block < 2; ++block)
        for (uint32_t row = 0; row < 32; ++row) {
            const uint8_t* y = planes.YRow(frame.geometry.FieldFirstRow(block) + row);
            EXPECT_EQ(ReferenceRead(y, 720).has_value(), row == Line21Captions::kRow) << block << " " << row;
        }
    // Field 1's block has 20 VBI rows: row 19 is its last; field 0's has 18, so row 19 is the
    // second active row. The rows around keep their own content.
    EXPECT_EQ(planes.YRow(frame.geometry.FieldFirstRow(1) + 18)[16], VbiTestLines::Value(1, 18));
    EXPECT_EQ(planes.YRow(18)[0], 235); // field 0's first active row: the white bar
    EXPECT_EQ(planes.CbRow(19)[100], 128);
}

class BoardCaptions : public testing::StreamTest {};

TEST_F(BoardCaptions, CapturedBuffersCarryTheScript)
{
    commands().SetFrameClockManual(true);
    ASSERT_TRUE(commands().QueueCaptions(1, kScript));
    ASSERT_TRUE(commands().QueueCaptions(2, kScript));
    EXPECT_FALSE(commands().QueueCaptions(1, kScript, 9));
    Line21Waveform waveform;
    waveform.phase = 0.6;
    waveform.noise = 6;
    ASSERT_TRUE(commands().SetCaptionWaveform(waveform));
    const std::vector<Pair> expected = Expected();
    const uint32_t handle = CreateQueued(0, static_cast<uint32_t>(expected.size()), testing::kVideoBufferSize);
    Enable(handle);
    commands().StepFrames(handle, expected.size());
    const VideoGeometry g = VideoStandards::Find(VideoStandards::kNtsc)->CaptureGeometry(false);
    for (const Pair& pair : expected) {
        const MailboxResponse filled = NextFill();
        ASSERT_EQ(filled.Result(), kDspResultSuccess);
        const uint8_t* y = Data(IndexOf(filled));
        const uint8_t* field1 = y + (g.FieldFirstRow(1) + Line21Captions::kRow) * 720;
        const uint8_t* field2 = y + (g.FieldFirstRow(0) + Line21Captions::kRow) * 720;
        EXPECT_EQ(ReferenceRead(field1, 720), pair);
        EXPECT_EQ(ReferenceRead(field2, 720), pair);
        const ZvbiPairs z = ZvbiRead(field1, field2);
        EXPECT_EQ(z.field1, pair);
        EXPECT_EQ(z.field2, pair);
    }
    EXPECT_EQ(commands().Signal()->Captions().Pending(1), 0u);
}

TEST_F(BoardCaptions, OtherStandardsCarryNone)
{
    commands().SetFrameClockManual(true);
    ASSERT_TRUE(commands().SetStandard(0, VideoStandards::kPal));
    EXPECT_EQ(Next().Id(), kDspMessageInputState);
    commands().QueueCaptions(1, kScript);
    const MailboxResponse filled = CaptureOne(0, testing::kVideoBufferSize);
    ASSERT_EQ(filled.Result(), kDspResultSuccess);
    EXPECT_EQ(filled.WordB(), 2u * 720 * 625);
    const uint8_t* y = Data(0);
    for (uint32_t block : {0u, 1u}) {
        const uint32_t first = block == 0 ? 0 : 25 + 288;
        EXPECT_FALSE(ReferenceRead(y + (first + Line21Captions::kRow) * 720, 720));
        EXPECT_EQ(y[(first + Line21Captions::kRow) * 720 + 16], VbiTestLines::Value(block, Line21Captions::kRow));
    }
    EXPECT_EQ(commands().Signal()->Captions().Pending(1), kScript.size()); // nothing taken
}

} // namespace
} // namespace board
