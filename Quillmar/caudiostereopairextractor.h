// CAudioStereoPairExtractor: the first step of an audio pin's chain (algorithm id 14). It takes the
// pin's channel pairs out of the DSP's multi-pair frame into a frame of its own and gives the DMA
// buffer back to the DSP at once, before the rest of the chain runs.
//
// A DSP frame (docs/dsp-interface.md, "Audio buffers") is a run of rows; each row holds one block
// per present pair, in pair order: 1280 bytes (160 stereo samples) at 48000 and 32000 Hz, 1176
// bytes (147) at 44100 Hz. The frame's status words say which pairs are present (word 2, 2 bits a
// pair), which carry sound (word 3), and each pair's rate code (word 1, 2 bits a pair, with the HD
// clock format word 0x2000000 in word 0; else word 5, 3 bits a pair). A frame the driver made
// itself (test tone or backup frame, the generated flag set) holds each pair's samples in one run
// of data size / 8 bytes instead.
//
// The output is 32-bit samples, the pins' pairs interleaved (pair index first), 480, 441 or 320
// samples by the configured pair's rate code; silence when that pair is absent or silent, when a
// present pair's rate code is unknown (the rows cannot be placed) or when the frame is too short
// for the rows it announces. The configured pair's present bits go with the frame as its sample
// format code, in the frame's format word (1: 16-bit samples); 0 with silence.
#pragma once
#include "algorithm.h"
#include "km/types.h"

class AudioFrame;
class LogicalStream;

// The extractor's settings as the chain builder gives them.
struct StereoPairSettings {
    LONG channelPairIndex = 0; // the input's first pair among the DSP's eight
    LONG channelPairCount = 1; // pairs the pin delivers
    LONG samplesPerFrame = 480; // the pin's rate / 100
    LONG framesPerSecond = 100;
    LONG bitsPerSample = 32;
};

class CAudioStereoPairExtractor : public Algorithm {
public:
    static constexpr LONG kDspPairs = 8;
    static constexpr ULONG kBlockBytes48k = 1280;  // rate codes 0 and 2: 160 stereo samples
    static constexpr ULONG kBlockBytes44k = 1176;  // rate code 1: 147 stereo samples
    static constexpr ULONG kHdClockFormat = 0x2000000;
    static constexpr LONG kDefaultRows = 10;
    static constexpr ULONG kInputDetectRecordBytes = 580;
    // Status words of a DSP frame.
    static constexpr ULONG kStatusFormat = 0;
    static constexpr ULONG kStatusRateCodes2Bit = 1;
    static constexpr ULONG kStatusPresentMask = 2;
    static constexpr ULONG kStatusSoundMask = 3;
    static constexpr ULONG kStatusRateCodes3Bit = 5;
    // The most samples a 10 ms frame carries (48000 Hz).
    static constexpr LONG kMaximumFrameSamples = 480;

    // Pair count is kept within 1..8 and the pairs within the DSP's eight; other values are traced
    // and replaced by the defaults.
    explicit CAudioStereoPairExtractor(const StereoPairSettings& settings = StereoPairSettings());
    ~CAudioStereoPairExtractor() override;

    void Process(Frame* frame) override;
    // Equal ids, pair index and pair count.
    bool IsEqual(const Algorithm* other) const override;

    // The input's detection record (580 bytes; a shorter record is zero-padded) and the pin's
    // logical stream, kept with the step.
    void SetInputDetectInfo(const void* record, ULONG bytes);
    const UCHAR* GetInputDetectInfo() const { return m_inputDetectInfo; }
    void SetLogicalStream(LogicalStream* stream) { m_logicalStream = stream; }
    LogicalStream* GetLogicalStream() const { return m_logicalStream; }

    const StereoPairSettings& GetSettings() const { return m_settings; }
    // Of the last frame: rows copied, the block size of its rows, the configured pair's position
    // among the present pairs (-1 when absent), and the sample format code.
    LONG GetRows() const { return m_rows; }
    ULONG GetBlockSize() const { return m_blockSize; }
    LONG GetPairPosition() const { return m_position; }
    ULONG GetSampleFormatCode() const { return m_sampleFormatCode; }

    // Copies the configured pairs of `in` into `out` (see the file comment); false when nothing
    // could be copied (then `out` holds silence).
    bool ExtractStereoPairs(const AudioFrame* in, AudioFrame* out);

private:
    // What the status words say about one of the eight pairs.
    struct PairState {
        ULONG presentBits;
        bool carriesSound;
        ULONG rateCode;
        LONG position; // among the present pairs, -1 when absent
    };
    struct FrameLayout {
        PairState pairs[kDspPairs];
        LONG presentCount;
        ULONG blockSize;   // of every block of a row: the largest of the present pairs'
        bool ratesKnown;   // every present pair has a known rate code
    };
    static FrameLayout ReadLayout(const ULONG* statusWords);
    static ULONG BlockBytesOfCode(ULONG rateCode);
    bool CopyDspPair(const AudioFrame* in, AudioFrame* out, LONG outPair, const PairState& pair);
    bool CopyGeneratedPair(const AudioFrame* in, AudioFrame* out, LONG outPair, LONG dspPair);

    StereoPairSettings m_settings;
    UCHAR m_inputDetectInfo[kInputDetectRecordBytes] = {};
    LogicalStream* m_logicalStream = nullptr;
    FrameLayout m_layout = {};
    LONG m_rows = kDefaultRows;
    ULONG m_blockSize = 0;
    ULONG m_copyWidth = 0;
    LONG m_position = -1;
    ULONG m_sampleFormatCode = 0;
    LONG m_samples = 0;
};
