// The stereo-pair extractor on DSP frames of the documented layout and on the driver's own test
// tone frames: which bytes it takes, silence where it must, the status words it reads, the buffer
// given back before the chain goes on.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "AudioStepsRecorders.h"
#include "AudioStepsTestFrames.h"
#include "FakeWorkItemOwner.h"
#include "TraceTestSupport.h"
#include "caudiostereopairextractor.h"
#include "frameprocessingsource.h"
#include "km/pool.h"
#include "planework.h"

using namespace audiotest;

namespace {

DspFrameSpec PairsPresent(std::initializer_list<int> pairs, ULONG rateCode = kRate48k)
{
    DspFrameSpec spec;
    for (int p : pairs) {
        spec.pairs[p].present = true;
        spec.pairs[p].rateCode = rateCode;
    }
    return spec;
}

StereoPairSettings Pair(LONG index, LONG count = 1, LONG samples = 480)
{
    StereoPairSettings s;
    s.channelPairIndex = index;
    s.channelPairCount = count;
    s.samplesPerFrame = samples;
    return s;
}

using ExtractorRig = AudioStepRig<CAudioStereoPairExtractor>;

std::vector<uint8_t> RowBlocks(const DspAudioFrame& dsp, int pair)
{
    std::vector<uint8_t> expected;
    const size_t rowBytes = size_t(dsp.PresentCount()) * dsp.BlockSize();
    const size_t width = BlockBytes(kRate48k);
    for (int r = 0; r < dsp.Rows(); ++r) {
        const uint8_t* block = dsp.Bytes().data() + r * rowBytes + size_t(dsp.PositionOf(pair)) * dsp.BlockSize();
        expected.insert(expected.end(), block, block + width);
    }
    return expected;
}

} // namespace

TEST(CAudioStereoPairExtractorTest, TakesTheConfiguredPairsBlockOfEveryRowAt48k)
{
    DspAudioFrame dsp(PairsPresent({0, 2, 5}));
    ASSERT_EQ(dsp.Bytes().size(), 3u * 3840u);
    dsp.Frame().SetFrameNumber(123456789);
    dsp.Frame().SetInputIdentifier(10);
    ExtractorRig rig(Pair(2));
    const SeenAudioFrame& out = rig.Run(dsp.Frame());

    ASSERT_EQ(out.bytes.size(), 3840u);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(0, std::memcmp(out.bytes.data() + r * 1280, dsp.Bytes().data() + r * 3840 + 1280, 1280)) << "row " << r;
    EXPECT_EQ(out.bytes, RowBlocks(dsp, 2));
    // Sample 0 of row 1 is stereo sample 160 of pair 2.
    EXPECT_EQ(Word32(out.bytes.data(), 2 * 160), DspWord(PatternSample(2, 160, 0)));
    EXPECT_EQ(out.samples, 480);
    EXPECT_EQ(out.bits, 32);
    EXPECT_EQ(out.pairs, 1);
    EXPECT_EQ(rig.step->GetRows(), 3);
    EXPECT_EQ(rig.step->GetBlockSize(), 1280u);
    EXPECT_EQ(rig.step->GetPairPosition(), 1);
    // The attributes and both information blocks travel with the samples.
    EXPECT_EQ(out.frameTime, 123456789);
    EXPECT_EQ(out.inputIdentifier, 10u);
    for (ULONG w = 0; w < kFrameInfoBlockWords; ++w) {
        EXPECT_EQ(out.status[w], dsp.Frame().StatusWords()[w]) << w;
        EXPECT_EQ(out.descriptor[w], dsp.Frame().DescriptorWords()[w]) << w;
    }
}

TEST(CAudioStereoPairExtractorTest, AnAbsentOrSilentPairGivesSilence)
{
    DspAudioFrame dsp(PairsPresent({0, 2, 5}));
    ExtractorRig absent(Pair(1));
    const SeenAudioFrame& out = absent.Run(dsp.Frame());
    EXPECT_EQ(out.bytes, std::vector<uint8_t>(3840, 0));
    EXPECT_EQ(absent.step->GetPairPosition(), -1);

    // Present, but not among the pairs carrying sound.
    DspFrameSpec spec = PairsPresent({0, 2, 5});
    spec.pairs[2].sound = false;
    DspAudioFrame quiet(spec);
    ExtractorRig silent(Pair(2));
    EXPECT_EQ(silent.Run(quiet.Frame()).bytes, std::vector<uint8_t>(3840, 0));

    // A pair index beyond the eight is taken as pair 0 (traced), never read outside the table.
    DspAudioFrame first(PairsPresent({0}));
    ExtractorRig outside(Pair(9));
    EXPECT_EQ(outside.step->GetSettings().channelPairIndex, 0);
    EXPECT_EQ(outside.Run(first.Frame()).bytes, RowBlocks(first, 0));
}

TEST(CAudioStereoPairExtractorTest, At44kTakes441SamplesFromBlocksOf1176Bytes)
{
    DspAudioFrame dsp(PairsPresent({0, 2, 5}, kRate44k));
    ASSERT_EQ(dsp.BlockSize(), 1176u);
    ExtractorRig rig(Pair(2, 1, 441));
    const SeenAudioFrame& out = rig.Run(dsp.Frame());
    ASSERT_EQ(out.bytes.size(), 441u * 8u);
    EXPECT_EQ(out.samples, 441);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(0, std::memcmp(out.bytes.data() + r * 1176, dsp.Bytes().data() + r * 3528 + 1176, 1176)) << "row " << r;
    EXPECT_EQ(Word32(out.bytes.data(), 2 * 440 + 1), DspWord(PatternSample(2, 440, 1)));
}

TEST(CAudioStereoPairExtractorTest, At32kTakesTwoRowsOf160Samples)
{
    DspAudioFrame dsp(PairsPresent({1, 3}, kRate32k));
    ASSERT_EQ(dsp.Rows(), 2);
    ExtractorRig rig(Pair(3, 1, 320));
    const SeenAudioFrame& out = rig.Run(dsp.Frame());
    ASSERT_EQ(out.bytes.size(), 2560u);
    EXPECT_EQ(out.samples, 320);
    EXPECT_EQ(rig.step->GetRows(), 2);
    EXPECT_EQ(0, std::memcmp(out.bytes.data() + 1280, dsp.Bytes().data() + 2560 + 1280, 1280));
}

TEST(CAudioStereoPairExtractorTest, ReadsTheRateCodesOfTheFormatWordsClock)
{
    // HD clock: the 2-bit codes of word 1; the 3-bit word says 32 kHz and must not be read.
    DspAudioFrame hd(PairsPresent({2}, kRate44k));
    hd.Frame().StatusWords()[5] = 02222222u; // code 2 for every pair, 3 bits a pair
    ExtractorRig rigHd(Pair(2, 1, 441));
    EXPECT_EQ(rigHd.Run(hd.Frame()).samples, 441);

    // SD clock: the 3-bit codes of word 5; word 1's codes say 32 kHz and must not be read.
    DspFrameSpec spec = PairsPresent({2}, kRate44k);
    spec.hdClock = false;
    DspAudioFrame sd(spec);
    ASSERT_EQ(sd.Frame().StatusWords()[0], 0x1000000u);
    sd.Frame().StatusWords()[1] = 0xAAAAu; // code 2 for every pair, 2 bits a pair
    ExtractorRig rigSd(Pair(2, 1, 441));
    const SeenAudioFrame& out = rigSd.Run(sd.Frame());
    EXPECT_EQ(out.samples, 441);
    EXPECT_EQ(out.bytes, std::vector<uint8_t>(sd.Bytes().begin(), sd.Bytes().end()));

    // A 3-bit code of 4 (only the 3-bit word can carry it) is unknown: silence at the pin's frame
    // length.
    sd.Frame().StatusWords()[5] = 4u << 6;
    EXPECT_EQ(rigSd.Run(sd.Frame()).bytes, std::vector<uint8_t>(441 * 8, 0));
}

TEST(CAudioStereoPairExtractorTest, AnUnknownRateCodeAfterAFrameOfSoundGivesZeros)
{
    DspAudioFrame sound(PairsPresent({0, 2}));
    ExtractorRig rig(Pair(2));
    const SeenAudioFrame first = rig.Run(sound.Frame());
    ASSERT_NE(first.bytes, std::vector<uint8_t>(3840, 0));

    DspAudioFrame unknown(PairsPresent({0, 2}));
    unknown.Frame().StatusWords()[1] = 3u << 4; // pair 2: code 3
    const SeenAudioFrame& out = rig.Run(unknown.Frame());
    EXPECT_EQ(out.bytes, std::vector<uint8_t>(3840, 0));
    EXPECT_EQ(out.samples, 480);
    // The same output frame served both.
    EXPECT_EQ(rig.leaf.frames[0].frame, rig.leaf.frames[1].frame);

    // Another present pair with an unknown code: the rows cannot be placed, so silence too.
    DspAudioFrame other(PairsPresent({0, 2}));
    other.Frame().StatusWords()[1] = 3u; // pair 0: code 3
    EXPECT_EQ(rig.Run(other.Frame()).bytes, std::vector<uint8_t>(3840, 0));
}

TEST(CAudioStereoPairExtractorTest, PresentBitsBecomeTheSampleFormatCode)
{
    DspFrameSpec spec = PairsPresent({0, 2});
    spec.pairs[2].presentBits = 1;
    DspAudioFrame dsp(spec);
    ExtractorRig rig(Pair(2));
    EXPECT_EQ(rig.Run(dsp.Frame()).formatWord, 1u);
    EXPECT_EQ(rig.step->GetSampleFormatCode(), 1u);
    EXPECT_EQ(rig.step->GetPairPosition(), 1);

    DspAudioFrame three(PairsPresent({0, 2}));
    EXPECT_EQ(rig.Run(three.Frame()).formatWord, 3u);
    // Silence carries no code.
    DspAudioFrame without(PairsPresent({0}));
    EXPECT_EQ(rig.Run(without.Frame()).formatWord, 0u);
}

TEST(CAudioStereoPairExtractorTest, AFrameShorterThanItsRowsGivesSilenceAndReadsNothingPastIt)
{
    DspFrameSpec spec = PairsPresent({0, 2, 5});
    spec.shortenBy = 4;
    DspAudioFrame dsp(spec);
    ExtractorRig last(Pair(5));
    EXPECT_EQ(last.Run(dsp.Frame()).bytes, std::vector<uint8_t>(3840, 0));
    // Pair 0's rows end well inside the shortened frame.
    ExtractorRig first(Pair(0));
    EXPECT_EQ(first.Run(dsp.Frame()).bytes, RowBlocks(dsp, 0));

    // A frame without data.
    AudioFrame empty;
    empty.StatusWords()[0] = 0x2000000;
    empty.StatusWords()[2] = 3;
    empty.StatusWords()[3] = 3;
    EXPECT_EQ(first.Run(empty).bytes, std::vector<uint8_t>(3840, 0));
}

TEST(CAudioStereoPairExtractorTest, MixedRatesLayEveryBlockAtTheLargestSize)
{
    DspFrameSpec spec = PairsPresent({0, 2});
    spec.pairs[2].rateCode = kRate44k;
    DspAudioFrame dsp(spec);
    ASSERT_EQ(dsp.BlockSize(), 1280u);
    ExtractorRig rig(Pair(2, 1, 441));
    const SeenAudioFrame& out = rig.Run(dsp.Frame());
    ASSERT_EQ(out.bytes.size(), 441u * 8u);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(0, std::memcmp(out.bytes.data() + r * 1176, dsp.Bytes().data() + r * 2560 + 1280, 1176)) << r;
    EXPECT_EQ(rig.step->GetBlockSize(), 1280u);
}

TEST(CAudioStereoPairExtractorTest, SeveralPairsAreInterleavedInPairOrder)
{
    DspAudioFrame dsp(PairsPresent({1, 2, 4}));
    ExtractorRig rig(Pair(1, 3));
    const SeenAudioFrame& out = rig.Run(dsp.Frame());
    ASSERT_EQ(out.pairs, 3);
    ASSERT_EQ(out.bytes.size(), 3u * 3840u);
    for (int n : {0, 159, 160, 479})
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_EQ(Word32(out.bytes.data(), size_t(n) * 6 + ch), DspWord(PatternSample(1, n, ch)));
            EXPECT_EQ(Word32(out.bytes.data(), size_t(n) * 6 + 2 + ch), DspWord(PatternSample(2, n, ch)));
            // Pair 3 is not in the frame: its place is silent.
            EXPECT_EQ(Word32(out.bytes.data(), size_t(n) * 6 + 4 + ch), 0u);
        }
}

TEST(CAudioStereoPairExtractorTest, TestToneFramesHoldEachPairInOneRun)
{
    TestToneSource tone(1, 2);
    GeneratedAudioFrame generated(tone.NextFrame());
    ExtractorRig rig(Pair(3));
    const SeenAudioFrame& out = rig.Run(generated.Frame());
    ASSERT_EQ(out.bytes.size(), 3840u);
    const std::vector<uint8_t> expected(generated.Bytes().begin() + 3 * 3840, generated.Bytes().begin() + 4 * 3840);
    EXPECT_EQ(out.bytes, expected);
    EXPECT_EQ(out.flags & kFrameFlagGenerated, kFrameFlagGenerated);
    // Sample 64 of the left channel (base step) is the table's peak, in bits 8-23 and not
    // sign-extended; the right channel runs three times as fast.
    EXPECT_EQ(Word32(out.bytes.data(), 2 * 64), uint32_t(uint16_t(TestToneSource::TableEntry(64))) << 8);
    EXPECT_EQ(Word32(out.bytes.data(), 2 * 64 + 1), uint32_t(uint16_t(TestToneSource::TableEntry(192))) << 8);
    EXPECT_EQ(Word32(out.bytes.data(), 2 * 64 + 1) >> 24, 0u);

    // Two pairs of a test frame, interleaved.
    ExtractorRig two(Pair(6, 2));
    const SeenAudioFrame& both = two.Run(generated.Frame());
    ASSERT_EQ(both.bytes.size(), 2u * 3840u);
    for (int n : {0, 100, 479}) {
        EXPECT_EQ(Word32(both.bytes.data(), size_t(n) * 4), Word32(generated.Bytes().data(), (6 * 480 + n) * 2));
        EXPECT_EQ(Word32(both.bytes.data(), size_t(n) * 4 + 3), Word32(generated.Bytes().data(), (7 * 480 + n) * 2 + 1));
    }
}

TEST(CAudioStereoPairExtractorTest, GivesTheBufferBackBeforeTheChildrenRun)
{
    Journal journal;
    streamtest::FakeWorkItemOwner owner;
    FrameProcessingSource source(&owner);
    auto* extractor = new CAudioStereoPairExtractor(Pair(2));
    ASSERT_TRUE(extractor->Connect(&source));
    CapturingAudioLeaf leaf(&journal);
    ASSERT_TRUE(leaf.Connect(extractor));

    DspAudioFrame dsp(PairsPresent({0, 2, 5}));
    dsp.Frame().SetFrameNumber(777);
    FrameWorkItem item{};
    owner.InitializeEntry(&item, &dsp.Frame());
    // When the buffer goes back, the output already holds the samples and the status words: the
    // DSP may refill the buffer (and the frame's status words) from then on.
    struct AtReturn {
        Journal* journal;
        CAudioStereoPairExtractor* extractor;
        DspAudioFrame* dsp;
        bool attributesTaken;
    } atReturn{&journal, extractor, &dsp, false};
    owner.SetOnReturn(
        [](FrameWorkItem*, void* context) {
            auto* state = static_cast<AtReturn*>(context);
            state->journal->Add("return");
            auto* out = static_cast<AudioFrame*>(state->extractor->GetOutputFrame());
            state->attributesTaken = out != nullptr && out->GetFrameNumber() == 777 &&
                                     out->StatusWords()[2] == state->dsp->Frame().StatusWords()[2] &&
                                     std::memcmp(out->GetFrameData(), RowBlocks(*state->dsp, 2).data(), 3840) == 0;
        },
        &atReturn);
    source.Process(&item);

    EXPECT_EQ(journal.Events(), (std::vector<std::string>{"return", "frame"}));
    EXPECT_EQ(owner.ReturnCount(&item), 1);
    EXPECT_EQ(owner.TotalReturns(), 1u);
    EXPECT_TRUE(atReturn.attributesTaken);
    ASSERT_EQ(leaf.frames.size(), 1u);
    EXPECT_EQ(leaf.frames[0].bytes, RowBlocks(dsp, 2));
    // The output is the extractor's own: its only child may change it.
    EXPECT_TRUE(leaf.frames[0].writable);
    delete extractor;
}

class CAudioStereoPairExtractorGuardTest : public tracetest::TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        logger->SetTraceMask(kTraceErrors);
    }
    void TearDown() override
    {
        InjectPlaneWorkExceptions(0);
        TraceTest::TearDown();
    }
};

TEST_F(CAudioStereoPairExtractorGuardTest, AFailedCopyOrAllocationLeavesNoStaleSamples)
{
    DspAudioFrame dsp(PairsPresent({0, 2}));
    ExtractorRig rig(Pair(2));
    ASSERT_NE(rig.Run(dsp.Frame()).bytes, std::vector<uint8_t>(3840, 0));
    // The copy raises: logged, and the frame goes on as silence rather than the last samples.
    InjectPlaneWorkExceptions(1, STATUS_ACCESS_VIOLATION);
    EXPECT_EQ(rig.Run(dsp.Frame()).bytes, std::vector<uint8_t>(3840, 0));
    EXPECT_EQ(PendingPlaneWorkExceptions(), 0u);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].messageId, 0xC0071085u);
    ASSERT_EQ(entries[0].inserts.size(), 2u);
    EXPECT_EQ(entries[0].inserts[1], u"copy the stereo pair");
    EXPECT_EQ(DebugLinesWith("Exception 0xc0000005 caught while attempting to copy the stereo pair").size(), 1u);

    // No output frame can be made: nothing is delivered, the buffer still goes back.
    streamtest::FakeWorkItemOwner owner;
    FrameProcessingSource source(&owner);
    auto* extractor = new CAudioStereoPairExtractor(Pair(2));
    ASSERT_TRUE(extractor->Connect(&source));
    CapturingAudioLeaf leaf;
    ASSERT_TRUE(leaf.Connect(extractor));
    FrameWorkItem item{};
    owner.InitializeEntry(&item, &dsp.Frame());
    standin::PoolFailRandomly(1.0, 1);
    source.Process(&item);
    standin::PoolClearFailures();
    EXPECT_TRUE(leaf.frames.empty());
    EXPECT_EQ(owner.ReturnCount(&item), 1);
    delete extractor;
}

TEST(CAudioStereoPairExtractorTest, ComparesEqualByIdPairIndexAndPairCount)
{
    CAudioStereoPairExtractor a(Pair(2, 1, 480));
    CAudioStereoPairExtractor sameAtAnotherRate(Pair(2, 1, 441));
    CAudioStereoPairExtractor otherPair(Pair(3, 1, 480));
    CAudioStereoPairExtractor otherCount(Pair(2, 2, 480));
    EXPECT_TRUE(a.IsEqual(&sameAtAnotherRate));
    EXPECT_FALSE(a.IsEqual(&otherPair));
    EXPECT_FALSE(a.IsEqual(&otherCount));
    EXPECT_FALSE(a.IsEqual(nullptr));
    Algorithm otherStep(kAlgorithmIdSampleRate);
    EXPECT_FALSE(a.IsEqual(&otherStep));
}
