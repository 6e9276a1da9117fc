// CAudioSampleSizeConverter: the audio chain's step (algorithm id 13) that packs the 32-bit DSP
// samples into the pin's sample size. Each input word carries a 24-bit sample s in bits 0-23
// (sign-extended here); the modes write:
//
//   mode  used for  output
//   0     -         byte s >> 4
//   1     8 bits    byte (s >> 16) + 128: 8-bit PCM is offset binary, silence 0x80
//   2     -         byte s
//   3     -         16-bit s >> 4
//   4     16 bits   16-bit s >> 8
//   5     -         16-bit s
//   6     24 bits   the three low bytes of s
//   7     32 bits   32-bit s << 8: the sample left-justified, at full scale
//
// Shifts are arithmetic; every output is little-endian.
#pragma once
#include "algorithm.h"
#include "km/types.h"

class AudioFrame;

struct SampleSizeSettings {
    LONG channelPairCount = 1;
    LONG bitCount = 16;
    LONG samplesPerFrame = 480;
    LONG framesPerSecond = 100;
    LONG mode = 4;
};

class CAudioSampleSizeConverter : public Algorithm {
public:
    static constexpr LONG kModeCount = 8;

    // A mode outside 0..7 is traced and replaced by the mode of the bit count (8: 1, 24: 6, 32: 7,
    // else 4).
    explicit CAudioSampleSizeConverter(const SampleSizeSettings& settings = SampleSizeSettings());
    ~CAudioSampleSizeConverter() override;

    void Process(Frame* frame) override;
    // Equal ids, pair count, bit count, samples per frame and mode (two containers may carry the
    // same valid bits).
    bool IsEqual(const Algorithm* other) const override;

    const SampleSizeSettings& GetSettings() const { return m_settings; }
    // Bytes a mode writes per sample (1, 2, 3 or 4).
    static ULONG OutputBytesOfMode(LONG mode);
    // The mode the chain builder uses for a sample size (1 for 8, 4 for 16, 6 for 24, 7 for 32;
    // -1 for any other).
    static LONG ModeOfBitCount(LONG bits);
    // One input word in one mode: the output bytes in the low bytes of the result.
    static ULONG ConvertSample(ULONG word, LONG mode);

    // Converts every input word (pairs x 2 x samples of `out`) into `out`; input words the input
    // does not hold give silence.
    void ConvertThisFrame(const AudioFrame* in, AudioFrame* out) const;

private:
    SampleSizeSettings m_settings;
};
