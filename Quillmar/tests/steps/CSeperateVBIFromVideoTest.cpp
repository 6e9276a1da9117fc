// The VBI separator with its caption decoder, and the CC and VBI delivery steps: line 21 drawn by
// libzvbi's encoder read back through the CC pin at swept phases and with noise, the VBI pin's
// rows read back by libzvbi's decoder, the caption script, the alignment check with its restart
// record, the separation's rows and the drop of implausible frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "CaptionTestSupport.h"
#include "board/Line21Captions.h"
#include "RecordingSink.h"
#include "TraceTestSupport.h"
#include "cdelivercc.h"
#include "cdelivervbidata.h"
#include "cseperatevbifromvideo.h"
#include "FakeWorkItemOwner.h"
#include "frameprocessingsource.h"
#include "km/eventlog.h"
#include "kernel/poolallocation.h"
#include "planework.h"
#include "standin/pool.h"

using captiontest::DspFrame;
using streamtest::RecordingSink;

namespace {

constexpr LONG kVbiLines = 20;
constexpr LONG kCaptionRow = 19; // line 21

struct CaptionChain {
    captiontest::RecordingStream stream;
    CSeperateVBIFromVideo* separator;
    CDeliverCC* cc = new CDeliverCC(1, 0, 0);
    RecordingSink* ccSink = new RecordingSink();
    RecordingSink* videoSink = new RecordingSink();

    explicit CaptionChain(const VbiSeparatorSettings& settings = {})
        : separator(new CSeperateVBIFromVideo(&stream, nullptr, settings))
    {
        EXPECT_TRUE(cc->Connect(separator));
        EXPECT_TRUE(ccSink->Connect(cc));
        EXPECT_TRUE(videoSink->Connect(separator));
    }
    ~CaptionChain()
    {
        delete separator;
        delete ccSink;
        delete videoSink;
    }
};

std::unique_ptr<DspFrame> NtscFrame() { return std::make_unique<DspFrame>(720, kVbiLines, 244, kVbiLines, 243); }

void DrawPair(DspFrame& frame, LONG frameField, uint8_t b1, uint8_t b2, int rate = 13'500'000, unsigned noise = 0,
              unsigned seed = 1)
{
    const std::vector<uint8_t> row = captiontest::DrawLine21(b1, b2, rate, noise, seed);
    std::memcpy(frame.VbiRow(frameField, kCaptionRow), row.data(), row.size());
}

USHORT Word(uint8_t b1, uint8_t b2) { return USHORT(b1 | b2 << 8); }

class SeparatorTest : public tracetest::TraceTest {};

} // namespace

TEST_F(SeparatorTest, CaptionPinReadsLibzvbiLine21AtSweptPhasesAndWithNoise)
{
    CaptionChain chain;
    // Only the video frames' caption words are read: a copy of each of the 631 pictures would
    // make the copying, not the separator, most of this test's time.
    chain.videoSink->SetKeepBytes(false);
    std::mt19937 random(2126);
    std::vector<std::pair<uint8_t, uint8_t>> pairs = {{0x14, 0x2C}};
    for (int i = 0; i < 40; ++i)
        pairs.emplace_back(uint8_t(random() & 0x7F), uint8_t(random() & 0x7F));
    auto frame = NtscFrame();
    size_t sent = 0;
    for (int phase = 0; phase < 40; ++phase) {
        // 40 sampling rates from -1,500 to +1,500 ppm move the run-in across a whole sample.
        const int rate = 13'500'000 + (phase - 20) * 1012; // 75 ppm steps
        for (size_t p = 0; p < pairs.size(); p += (phase % 4 == 0 ? 1 : 7)) {
            const uint8_t b1 = captiontest::OddParity(pairs[p].first), b2 = captiontest::OddParity(pairs[p].second);
            DrawPair(*frame, 1, b1, b2, rate);
            chain.separator->Process(&frame->Frame());
            ASSERT_EQ(chain.ccSink->Count(), ++sent);
            const auto& bytes = chain.ccSink->Deliveries().back().bytes;
            ASSERT_EQ(bytes.size(), 2u);
            ASSERT_EQ(Word(bytes[0], bytes[1]), Word(b1, b2)) << "rate " << rate << " pair " << p;
        }
    }
    // Noise of 20 over the whole row.
    for (size_t p = 0; p < pairs.size(); ++p) {
        const uint8_t b1 = captiontest::OddParity(pairs[p].first), b2 = captiontest::OddParity(pairs[p].second);
        DrawPair(*frame, 1, b1, b2, 13'500'000 + int(p % 10) * 2000 - 10000, 20, unsigned(p + 1));
        chain.separator->Process(&frame->Frame());
        const auto& bytes = chain.ccSink->Deliveries().back().bytes;
        ASSERT_EQ(Word(bytes[0], bytes[1]), Word(b1, b2)) << "noisy pair " << p;
    }
    // NTSC field 2 (frame field 0) carries nothing: the separator's word for its field is empty.
    EXPECT_EQ(chain.videoSink->Deliveries().back().captionWord[1], 0x8080);
}

TEST_F(SeparatorTest, BoardLine21ReadsRightAtEveryPhaseLevelAndWithNoise)
{
    CaptionChain chain;
    chain.videoSink->SetKeepBytes(false); // as above: only the caption words are read
    board::Line21Captions captions;
    std::mt19937 random(608);
    auto frame = NtscFrame();
    int frames = 0;
    for (double high : {90.0, 126.0, 170.0})
        for (int phase = 0; phase < 40; ++phase)
            for (double noise : {0.0, 20.0}) {
                captions.SetWaveform({phase / 40.0, high, noise, uint32_t(phase + 1)});
                const board::Line21Captions::Pair pair = {board::Line21Captions::WithParity(uint8_t(random())),
                                                          board::Line21Captions::WithParity(uint8_t(random()))};
                captions.RenderRow(frame->VbiRow(1, board::Line21Captions::kRow), 720, pair, uint64_t(++frames));
                chain.separator->Process(&frame->Frame());
                const auto& bytes = chain.ccSink->Deliveries().back().bytes;
                ASSERT_EQ(Word(bytes[0], bytes[1]), Word(pair[0], pair[1]))
                    << "phase " << phase << " high " << high << " noise " << noise;
                // The board's row, read by libzvbi, carries the same bytes.
                if (noise == 0 && high == 126.0) {
                    std::array<uint8_t, 2> check = {};
                    ASSERT_TRUE(captiontest::DecodeLine21(frame->VbiRow(1, board::Line21Captions::kRow), 720,
                                                          13'500'000, 122, &check));
                    EXPECT_EQ(check[0], pair[0]);
                    EXPECT_EQ(check[1], pair[1]);
                }
            }
    // NTSC field 2's block gets its own line: both words arrive, each under its decoder field.
    captions.SetWaveform({});
    captions.RenderRow(frame->VbiRow(0, board::Line21Captions::kRow), 720, {0x15, 0x2C}, 1);
    chain.separator->Process(&frame->Frame());
    EXPECT_EQ(chain.videoSink->Deliveries().back().captionWord[1], Word(0x15, 0x2C));
}

TEST_F(SeparatorTest, EveryPrintablePairReadsRight)
{
    for (int b1 = 0x20; b1 < 0x80; ++b1)
        for (int b2 = 0x20; b2 < 0x80; ++b2) {
            const uint8_t p1 = captiontest::OddParity(uint8_t(b1)), p2 = captiontest::OddParity(uint8_t(b2));
            const std::vector<uint8_t> row = captiontest::DrawLine21(p1, p2, 13'500'000 + (b1 * 7 + b2) % 41 * 500 - 10000);
            CSeperateVBIFromVideo::RunIn runIn;
            ASSERT_TRUE(CSeperateVBIFromVideo::FindRunInInRow(row.data(), 720, &runIn));
            ASSERT_EQ(CSeperateVBIFromVideo::ReadCaptionBytes(row.data(), 720, runIn), Word(p1, p2)) << b1 << " " << b2;
        }
    // A row without run-in, and one that starts high, are no caption lines.
    std::vector<uint8_t> flat(720, 16), high(720, 100);
    CSeperateVBIFromVideo::RunIn runIn;
    EXPECT_FALSE(CSeperateVBIFromVideo::FindRunInInRow(flat.data(), 720, &runIn));
    EXPECT_FALSE(CSeperateVBIFromVideo::FindRunInInRow(high.data(), 720, &runIn));
}

TEST_F(SeparatorTest, VbiPinRowsDecodeWithTheirHeaderAndFieldsAreHalfAnIntervalApart)
{
    KS_VBIINFOHEADER header = {};
    header.StartLine = 10;
    header.EndLine = 21;
    header.SamplingFrequency = 28'636'363;
    header.SamplesPerLine = 1600;
    header.StrideInBytes = 1600;
    header.BufferSize = 1600 * 12;
    CaptionChain chain;
    auto* vbi = new CDeliverVBIData(header);
    auto* vbiSink = new RecordingSink();
    ASSERT_TRUE(vbi->Connect(chain.separator));
    ASSERT_TRUE(vbiSink->Connect(vbi));
    auto frame = NtscFrame();
    frame->Frame().SetFrameNumber(1'000'000);
    const uint8_t b1 = captiontest::OddParity('C'), b2 = captiontest::OddParity('Q');
    DrawPair(*frame, 1, b1, b2);
    chain.separator->Process(&frame->Frame());
    ASSERT_EQ(vbiSink->Count(), 2u);
    const auto& field1 = vbiSink->Deliveries()[0];
    const auto& field0 = vbiSink->Deliveries()[1];
    EXPECT_EQ(field1.flags & (kFrameFlagVbiField1 | kFrameFlagVbiField0), kFrameFlagVbiField1);
    EXPECT_EQ(field0.flags & (kFrameFlagVbiField1 | kFrameFlagVbiField0), kFrameFlagVbiField0);
    EXPECT_EQ(field1.frameTime, 1'000'000);
    EXPECT_EQ(field0.frameTime, 1'000'000 + 333667 / 2);
    EXPECT_EQ(field1.frameInterval, 333667u / 2);
    ASSERT_EQ(field1.bytes.size(), 1600u * 12);
    const LONG samples = vbi->RescaledSamples();
    EXPECT_EQ(samples, 1527);
    const int offset = int(std::lround(122.0 * header.SamplingFrequency / 13.5e6)) - (1600 - samples) / 2;
    std::array<uint8_t, 2> pair = {};
    ASSERT_TRUE(captiontest::DecodeLine21(&field1.bytes[11 * 1600], 1600, int(header.SamplingFrequency), offset, &pair));
    const auto& cc = chain.ccSink->Deliveries().back().bytes;
    EXPECT_EQ(pair[0], cc[0]);
    EXPECT_EQ(pair[1], cc[1]);
    EXPECT_EQ(pair[0], b1);
    EXPECT_EQ(pair[1], b2);
    // Field 0 has no caption; the margins of every row are zero.
    EXPECT_FALSE(captiontest::DecodeLine21(&field0.bytes[11 * 1600], 1600, int(header.SamplingFrequency), offset, &pair));
    for (int r = 0; r < 12; ++r)
        EXPECT_EQ(field1.bytes[size_t(r) * 1600], 0);
    // Without a VBI frame (a generated frame) both fields are zero rows.
    vbiSink->Clear();
    frame->Frame().AddFlags(kFrameFlagGenerated);
    chain.separator->Process(&frame->Frame());
    ASSERT_EQ(vbiSink->Count(), 2u);
    for (const auto& d : vbiSink->Deliveries())
        EXPECT_EQ(std::count(d.bytes.begin(), d.bytes.end(), 0), 1600 * 12);
    delete vbiSink;
}

TEST_F(SeparatorTest, CaptionScriptLeavesOneRowAndTheSecondChannelIsReached)
{
    CSeperateVBIFromVideo separator(nullptr, nullptr, {});
    const std::vector<std::pair<uint8_t, uint8_t>> script = {{0x14, 0x20}, {0x14, 0x20}, {0x14, 0x50}, {'H', 'E'},
                                                             {'L', 'L'},   {'O', 0x00},  {0x14, 0x2F}, {0x14, 0x2F}};
    for (const auto& [b1, b2] : script)
        separator.ProcessCCData(0, captiontest::OddParity(b1), captiontest::OddParity(b2));
    ASSERT_EQ(separator.GetCaptionRowCount(0, 0), 1u);
    const CaptionRow* row = separator.GetCaptionRow(0, 0, 0);
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->count, 5u);
    const USHORT expected[] = {72, 69, 76, 76, 79};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(row->codes[i], expected[i]);
        EXPECT_EQ(row->styles[i], 0x400u);
    }
    EXPECT_EQ(row->indent, 0);
    EXPECT_EQ(separator.GetCaptionRowCount(0, 1), 0u);

    // CC2: 0x1C is 0x14 with the channel bit.
    for (const auto& [b1, b2] : std::vector<std::pair<uint8_t, uint8_t>>{{0x1C, 0x20}, {'A', 'B'}, {0x1C, 0x2F}})
        separator.ProcessCCData(0, b1, b2);
    ASSERT_EQ(separator.GetCaptionRowCount(0, 1), 1u);
    EXPECT_EQ(separator.GetCaptionRow(0, 1, 0)->codes[1], 'B');
    EXPECT_EQ(separator.GetCaptionRowCount(0, 0), 1u);
    // Miscellaneous codes of NTSC field 1 do nothing on field 2, where 0x15 serves.
    separator.ProcessCCData(1, 0x14, 0x20);
    separator.ProcessCCData(1, 'X', 'Y');
    separator.ProcessCCData(1, 0x14, 0x2F);
    EXPECT_EQ(separator.GetCaptionRowCount(1, 0), 0u);
    separator.ProcessCCData(1, 0x15, 0x20);
    separator.ProcessCCData(1, 'X', 'Y');
    separator.ProcessCCData(1, 0x15, 0x2F);
    EXPECT_EQ(separator.GetCaptionRowCount(1, 0), 1u);
}

TEST_F(SeparatorTest, DecoderRepeatsSpecialsAndRows)
{
    CSeperateVBIFromVideo s(nullptr, nullptr, {});
    auto send = [&](uint8_t b1, uint8_t b2) { s.ProcessCCData(0, b1, b2); };
    send(0x14, 0x20);
    // A single-sent end of caption after text acts each time: the text clears the stored pair.
    for (int i = 0; i < 4; ++i) {
        send('A' + i, 0x00);
        send(0x14, 0x2F);
    }
    EXPECT_EQ(s.GetCaptionRowCount(0, 0), 3u); // a fourth row evicted the oldest
    EXPECT_EQ(s.GetCaptionRow(0, 0, 0)->codes[0], 'B');
    EXPECT_EQ(s.GetCaptionRow(0, 0, 2)->codes[0], 'D');
    // A doubled pair acts once, a third identical pair again.
    send(0x14, 0x2E); // erase the line being received
    send('Q', 0x00);
    send(0x14, 0x2F);
    send(0x14, 0x2F);
    EXPECT_EQ(s.GetCaptionRow(0, 0, 2)->codes[0], 'Q');
    send('R', 0x00);
    // Special characters: 0x39 at column 0 indents by 2; accented letters map to composites.
    send(0x11, 0x39);
    send(0x11, 0x3E);
    send(0x7B, 0x7C);
    send(0x14, 0x2F);
    const CaptionRow* row = s.GetCaptionRow(0, 0, 2);
    ASSERT_EQ(row->count, 5u); // not at column 0: the transparent space is a space
    EXPECT_EQ(row->codes[0], 'R');
    EXPECT_EQ(row->codes[1], 0x20);
    EXPECT_EQ(row->codes[2], 146);
    EXPECT_EQ(row->codes[3], 138);
    EXPECT_EQ(row->codes[4], 0x20);
    // A preamble of 0x70..0x7F sends the next row to slot 1 and frees the rows above it.
    send(0x14, 0x70);
    EXPECT_EQ(s.GetCaptionRowCount(0, 0), 1u);
    EXPECT_EQ(s.GetCaptionRow(0, 0, 1), nullptr);
    send(0x11, 0x39); // at column 0: an indent of 2
    send('Z', 0x00);
    send(0x14, 0x2F);
    EXPECT_EQ(s.GetCaptionRowCount(0, 0), 2u);
    EXPECT_EQ(s.GetCaptionRow(0, 0, 1)->codes[0], 'Z');
    EXPECT_EQ(s.GetCaptionRow(0, 0, 1)->count, 1u);
    EXPECT_EQ(s.GetCaptionRow(0, 0, 1)->indent, 2);
    // Extended data: its text is not captions.
    send(0x01, 0x03);
    send('E', 'X');
    send(0x0F, 0x10);
    EXPECT_EQ(s.GetCaptionRowCount(0, 0), 2u);
}

TEST_F(SeparatorTest, SeparatedRowsFieldsAndAttributes)
{
    CaptionChain chain(VbiSeparatorSettings{12, false, 0, false});
    auto frame = NtscFrame();
    frame->Frame().SetSequenceNumber(77);
    chain.separator->Process(&frame->Frame());
    VideoFrame* video = chain.separator->GetVideoFrame();
    VideoFrame* vbi = chain.separator->GetVbiFrame();
    ASSERT_TRUE(video && vbi);
    EXPECT_EQ(video->GetHeight(), 487);
    EXPECT_EQ(vbi->GetHeight(), 2 * (kVbiLines + 14));
    for (LONG r : {0L, 1L, 100L, 485L, 486L}) {
        const LONG field = r % 2, line = r / 2;
        EXPECT_EQ(std::memcmp(video->GetPlane(0) + r * video->GetStride(0), frame->ActiveRow(field, line), 720), 0) << r;
    }
    // Field 1's block follows field 0's; its VBI lines, then the first active lines.
    EXPECT_EQ(std::memcmp(vbi->GetPlane(0) + (34 + 25) * vbi->GetStride(0), frame->ActiveRow(1, 5), 720), 0);
    EXPECT_EQ(std::memcmp(vbi->GetPlane(0) + 3 * vbi->GetStride(0), frame->VbiRow(0, 3), 720), 0);
    const auto& d = chain.videoSink->Deliveries().back();
    EXPECT_EQ(d.sequenceNumber, 77u);
    EXPECT_EQ(d.vbiSize[0].height, 0);
    EXPECT_EQ(d.activeSize[1].height, 243);
    EXPECT_EQ(video->GetLineRemoval(), 12);
    EXPECT_EQ(d.flags & kFrameFlagGenerated, 0u);
    EXPECT_TRUE(d.writable); // the one video child may draw into the separator's frame

    // Implausible or too large for the buffer: dropped.
    const size_t before = chain.videoSink->Count();
    frame->Frame().SetActiveSize(1, 720, 900);
    chain.separator->Process(&frame->Frame());
    frame->Frame().SetActiveSize(1, 2000, 243);
    chain.separator->Process(&frame->Frame());
    frame->Frame().SetActiveSize(1, 720, 250); // more rows than the buffer holds
    chain.separator->Process(&frame->Frame());
    EXPECT_EQ(chain.videoSink->Count(), before);
}

TEST_F(SeparatorTest, AlignmentMarkerMissesForceOneRestart)
{
    logger->SetTraceMask(kTraceErrors | kTraceHighs);
    VbiSeparatorSettings settings{0, true, 5, false};
    CaptionChain chain(settings);
    chain.stream.current[100] = 0x5A;
    auto frame = NtscFrame();
    auto with = NtscFrame();
    with->WriteMarker(5, false);
    // Four misses and a hit: nothing restarts.
    for (int i = 0; i < 4; ++i)
        chain.separator->Process(&frame->Frame());
    chain.separator->Process(&with->Frame());
    EXPECT_TRUE(chain.stream.records.empty());
    EXPECT_EQ(chain.videoSink->Count(), 5u);
    // Five misses: one record, the input's current one with state 3; the fifth frame reaches no child.
    for (int i = 0; i < 5; ++i)
        chain.separator->Process(&frame->Frame());
    ASSERT_EQ(chain.stream.records.size(), 1u);
    EXPECT_EQ(chain.stream.records[0][37], 3);
    EXPECT_EQ(chain.stream.records[0][100], 0x5A);
    EXPECT_EQ(chain.videoSink->Count(), 9u);
    EXPECT_EQ(chain.ccSink->Count(), 9u);
    EXPECT_EQ(chain.separator->GetAlignmentMisses(), 0u);
    EXPECT_EQ(DebugLinesWith("Video frame alignment marker was NOT detected on line 5.  Forcing video stream to "
                             "restart...").size(), 1u);
    EXPECT_EQ(DebugLinesWith("Video frame alignment marker WAS detected on line 5...").size(), 1u);
    // A 960-wide half-scale picture carries the 4-byte marker.
    CaptionChain half(VbiSeparatorSettings{0, true, 5, true});
    DspFrame wide(960, kVbiLines, 540, 0, 0, kFrameStandardOther);
    wide.WriteMarker(5, true);
    for (int i = 0; i < 6; ++i)
        half.separator->Process(&wide.Frame());
    EXPECT_TRUE(half.stream.records.empty());
    EXPECT_EQ(half.videoSink->Count(), 6u);
}

namespace {

// A child that notes how often the DMA buffer had gone back when the frame reached it.
class ReturnProbe : public Algorithm {
public:
    explicit ReturnProbe(const streamtest::FakeWorkItemOwner* owner) : Algorithm(kAlgorithmIdCrop), owner_(owner) {}
    void Process(Frame* frame) override
    {
        returnsSeen.push_back(owner_->TotalReturns());
        DeliverToChildren(frame);
    }
    std::vector<size_t> returnsSeen;

private:
    const streamtest::FakeWorkItemOwner* owner_;
};

} // namespace

TEST_F(SeparatorTest, BufferGoesBackBeforeTheChildrenRunAndCopyFaultsAreLogged)
{
    streamtest::FakeWorkItemOwner owner;
    FrameProcessingSource source(&owner);
    auto* separator = new CSeperateVBIFromVideo(nullptr, nullptr, {});
    auto* probe = new ReturnProbe(&owner);
    ASSERT_TRUE(separator->Connect(&source));
    ASSERT_TRUE(probe->Connect(separator));
    auto frame = NtscFrame();
    FrameWorkItem item = {};
    owner.InitializeEntry(&item, &frame->Frame());
    source.Process(&item);
    ASSERT_EQ(probe->returnsSeen.size(), 1u);
    EXPECT_EQ(probe->returnsSeen[0], 1u);
    EXPECT_EQ(owner.TotalReturns(), 1u); // once, not again at the end

    // A fault in one plane copy is logged with its text; the frame still goes on.
    standin::EventLogClear();
    InjectPlaneWorkExceptions(1, STATUS_ACCESS_VIOLATION);
    separator->Process(&frame->Frame());
    EXPECT_EQ(probe->returnsSeen.size(), 2u);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].messageId, 0xC0071085u);
    bool named = false;
    for (const auto& insert : entries[0].inserts)
        named = named || insert.find(u"seperate VBI and video data") != std::u16string::npos;
    EXPECT_TRUE(named);
    source.RemoveFromChildList(separator);
    delete separator;
}

namespace {

KS_VBIINFOHEADER VbiPinHeader()
{
    KS_VBIINFOHEADER header = {};
    header.StartLine = 10;
    header.EndLine = 21;
    header.SamplingFrequency = 28'636'363;
    header.SamplesPerLine = 1600;
    header.StrideInBytes = 1600;
    header.BufferSize = 1600 * 12;
    return header;
}

} // namespace

// Each allocation the separator and the two delivery steps make while they take a frame fails in
// turn, both when the steps make their frames for the first time and when a new geometry makes
// them make them again: no raise leaves the steps (on the queue's thread it would end the worker
// and with it the device's video), nothing leaks, what a pin gets of that frame is whole or
// nothing, and the next frame goes through whole.
TEST_F(SeparatorTest, AFailedAllocationCostsOnlyThatFrame)
{
    logger->SetTraceMask(0); // no trace line takes pool of its own
    const uint8_t b1 = captiontest::OddParity('C'), b2 = captiontest::OddParity('Q');
    auto first = NtscFrame();
    auto second = std::make_unique<DspFrame>(704, kVbiLines + 2, 240, kVbiLines + 2, 240);
    DrawPair(*first, 1, b1, b2);
    DrawPair(*second, 1, b1, b2);
    const KS_VBIINFOHEADER header = VbiPinHeader();
    // What each sink got of one frame: `whole` asks for every delivery, else each may be missing.
    auto check = [&](DspFrame& frame, CaptionChain& chain, CDeliverVBIData& vbi, RecordingSink& vbiSink, bool whole,
                     uint64_t n) {
        EXPECT_EQ(chain.videoSink->Count(), whole ? 1u : chain.videoSink->Count()) << "allocation " << n;
        for (const auto& d : chain.videoSink->Deliveries()) {
            EXPECT_EQ(d.width, frame.Frame().GetWidth()) << "allocation " << n;
            EXPECT_EQ(d.height, frame.Frame().GetActiveSize(0).height + frame.Frame().GetActiveSize(1).height)
                << "allocation " << n;
            EXPECT_EQ(d.captionWord[0], Word(b1, b2)) << "allocation " << n;
        }
        EXPECT_EQ(chain.ccSink->Count(), whole ? 1u : chain.ccSink->Count()) << "allocation " << n;
        for (const auto& d : chain.ccSink->Deliveries()) {
            ASSERT_EQ(d.bytes.size(), 2u);
            EXPECT_EQ(Word(d.bytes[0], d.bytes[1]), Word(b1, b2)) << "allocation " << n;
        }
        // The VBI pin gets field 1, then field 0, each whole; field 1 carries the caption line.
        EXPECT_EQ(vbiSink.Count(), whole ? 2u : std::min<size_t>(vbiSink.Count(), 2)) << "allocation " << n;
        for (size_t i = 0; i < vbiSink.Count(); ++i)
            EXPECT_EQ(vbiSink.Deliveries()[i].flags & (kFrameFlagVbiField1 | kFrameFlagVbiField0),
                      i == 0 ? kFrameFlagVbiField1 : kFrameFlagVbiField0)
                << "allocation " << n;
        if (vbiSink.Count() == 0)
            return;
        const auto& field1 = vbiSink.Deliveries()[0];
        ASSERT_EQ(field1.bytes.size(), size_t(header.BufferSize));
        const int offset = int(std::lround(122.0 * header.SamplingFrequency / 13.5e6)) -
                           (LONG(header.SamplesPerLine) - vbi.RescaledSamples()) / 2;
        std::array<uint8_t, 2> pair = {};
        EXPECT_TRUE(captiontest::DecodeLine21(&field1.bytes[11 * 1600], 1600, int(header.SamplingFrequency), offset,
                                              &pair))
            << "allocation " << n;
        EXPECT_EQ(pair[0], b1) << "allocation " << n;
        EXPECT_EQ(pair[1], b2) << "allocation " << n;
    };
    for (int remake = 0; remake < 2; ++remake) {
        DspFrame& frame = remake ? *second : *first;
        uint64_t n = 1;
        for (;; ++n) {
            uint64_t injected = 0;
            const uint64_t baseline = standin::PoolUsageByTag(kDriverPoolTag).outstandingBlocks;
            {
                CaptionChain chain;
                auto* vbi = new CDeliverVBIData(header);
                auto vbiSink = std::make_unique<RecordingSink>();
                ASSERT_TRUE(vbi->Connect(chain.separator));
                ASSERT_TRUE(vbiSink->Connect(vbi));
                if (remake) {
                    chain.separator->Process(&first->Frame());
                    chain.videoSink->Clear();
                    chain.ccSink->Clear();
                    vbiSink->Clear();
                }
                standin::PoolFailNthAllocation(n);
                EXPECT_NO_THROW(chain.separator->Process(&frame.Frame())) << "allocation " << n;
                injected = standin::PoolInjectedFailures();
                standin::PoolClearFailures();
                check(frame, chain, *vbi, *vbiSink, injected == 0, n);
                chain.videoSink->Clear();
                chain.ccSink->Clear();
                vbiSink->Clear();
                chain.separator->Process(&frame.Frame());
                check(frame, chain, *vbi, *vbiSink, true, n);
                chain.separator->RemoveFromChildList(vbi);
                delete vbi;
            }
            EXPECT_EQ(standin::PoolUsageByTag(kDriverPoolTag).outstandingBlocks, baseline) << "allocation " << n;
            if (injected == 0)
                break; // the frame needed fewer allocations: every one has failed once
        }
        // The steps' objects and buffers: at least the separator's two frames, the CC frame and
        // the VBI frame with its bytes.
        EXPECT_GT(n, 6u) << "remake " << remake;
    }
}

// A two-line pop-on caption keeps both lines on every pair of rows: rows 14 and 15 share one
// preamble code (0x14 with 0x50 and 0x70), rows 11 and 12 take codes of their own (0x10 and 0x13,
// both with 0x50). A caption on row 12 after one on row 11 has ended starts afresh.
TEST_F(SeparatorTest, TwoLinePopOnCaptionsKeepBothLinesOnEveryPairOfRows)
{
    struct Pair {
        uint8_t b1, b2;
    };
    struct Rows {
        Pair first, second;
    };
    const Rows cases[] = {{{0x14, 0x50}, {0x14, 0x70}}, {{0x10, 0x50}, {0x13, 0x50}}, {{0x13, 0x52}, {0x13, 0x72}}};
    for (const Rows& rows : cases) {
        CSeperateVBIFromVideo s(nullptr, nullptr, {});
        // Control pairs come twice, as broadcasters send them; the repeat is dropped.
        auto control = [&](uint8_t b1, uint8_t b2) {
            for (int i = 0; i < 2; ++i)
                s.ProcessCCData(0, captiontest::OddParity(b1), captiontest::OddParity(b2));
        };
        auto text = [&](uint8_t b1, uint8_t b2) {
            s.ProcessCCData(0, captiontest::OddParity(b1), captiontest::OddParity(b2));
        };
        auto caption = [&](const char* one, const char* two) {
            control(0x14, 0x20); // resume caption loading
            control(0x14, 0x2E); // erase the lines being loaded
            control(rows.first.b1, rows.first.b2);
            text(uint8_t(one[0]), uint8_t(one[1]));
            control(rows.second.b1, rows.second.b2);
            text(uint8_t(two[0]), uint8_t(two[1]));
            control(0x14, 0x2F); // end of caption
        };
        const std::string where = "rows from " + std::to_string(rows.first.b1) + "/" + std::to_string(rows.first.b2);
        const std::vector<std::array<const char*, 2>> captions = {{"AB", "CD"}, {"EF", "GH"}};
        for (const auto& lines : captions) {
            caption(lines[0], lines[1]);
            ASSERT_EQ(s.GetCaptionRowCount(0, 0), 2u) << where;
            for (ULONG r = 0; r < 2; ++r) {
                const CaptionRow* row = s.GetCaptionRow(0, 0, r);
                ASSERT_NE(row, nullptr) << where << " slot " << r;
                ASSERT_EQ(row->count, 2u) << where;
                EXPECT_EQ(row->codes[0], lines[r][0]) << where;
                EXPECT_EQ(row->codes[1], lines[r][1]) << where;
            }
        }
        // Rows 11 and 12: one line on row 11, then, in the next caption, one line on row 12.
        if (rows.second.b2 >= 0x70)
            continue;
        control(0x14, 0x20);
        control(rows.first.b1, rows.first.b2);
        text('I', 'J');
        control(0x14, 0x2F);
        control(0x14, 0x20);
        control(rows.second.b1, rows.second.b2);
        text('K', 'L');
        control(0x14, 0x2F);
        const ULONG count = s.GetCaptionRowCount(0, 0);
        ASSERT_GE(count, 1u) << where;
        ULONG present = 0;
        for (ULONG r = 0; r < count; ++r)
            if (const CaptionRow* row = s.GetCaptionRow(0, 0, r)) {
                ++present;
                EXPECT_EQ(row->codes[0], 'K') << where << " slot " << r;
            }
        EXPECT_EQ(present, 1u) << where;
    }
}

// What the separator decides for a frame rests on the frame as it came, not on what the buffer's
// next fill leaves in it: once the DMA buffer is back with the DSP its descriptor may change at
// any time (here a refill not yet read, with its standard word cleared).
TEST_F(SeparatorTest, TheFrameIsNotReadAfterItsBufferWentBack)
{
    streamtest::FakeWorkItemOwner owner;
    owner.SetOnReturn([](FrameWorkItem* item, void*) { static_cast<VideoFrame*>(item->frame)->SetVideoStandard(0); },
                      nullptr);
    FrameProcessingSource source(&owner);
    captiontest::RecordingStream stream;
    auto* separator = new CSeperateVBIFromVideo(&stream, nullptr, VbiSeparatorSettings{0, true, 5, false});
    auto* sink = new RecordingSink();
    ASSERT_TRUE(separator->Connect(&source));
    ASSERT_TRUE(sink->Connect(separator));
    auto frame = NtscFrame(); // no alignment marker
    FrameWorkItem item = {};
    owner.InitializeEntry(&item, &frame->Frame());
    for (int i = 0; i < 5; ++i) {
        frame->Frame().SetVideoStandard(kFrameStandard525);
        source.Process(&item);
    }
    EXPECT_EQ(owner.TotalReturns(), 5u);
    // Five misses: the stream restarts and the fifth frame is not delivered.
    EXPECT_EQ(stream.records.size(), 1u);
    EXPECT_EQ(sink->Count(), 4u);
    source.RemoveFromChildList(separator);
    delete separator;
    delete sink;
}
