// CAudioSampleRateConverter: the audio chain's second step (algorithm id 21). It turns the
// extractor's 10 ms frame (480, 441 or 320 samples by the DSP's rate) into the pin's frame length.
// Equal lengths are copied; longer frames are thinned by a nearest-sample walk; shorter ones are
// stretched by the same walk, each repeated source sample replaced by the mean of it and the next.
//
// The walk keeps its position in single precision: step = input / output samples, and after each
// output sample position += step, source index = round(position - 0.5) (halves to even), never past
// the last input sample. The means sign-extend each sample from 16 bits when the frame's sample
// format code is 1 (16-bit samples) and from 24 bits otherwise, and halve with an arithmetic shift;
// the first output sample is always a copy. The code is the input frame's format word, which the
// stereo-pair extractor sets from the pair's present bits.
//
// A converter is never shared between chains.
#pragma once
#include "algorithm.h"
#include "km/types.h"

class AudioFrame;

struct SampleRateSettings {
    LONG channelPairCount = 1;
    LONG bitsPerSample = 16;
    LONG samplesPerFrame = 480; // of the output: the pin's rate / 100
    LONG framesPerSecond = 100;
};

class CAudioSampleRateConverter : public Algorithm {
public:
    // The 16-bit sample format code.
    static constexpr ULONG kSampleFormat16Bit = 1;

    explicit CAudioSampleRateConverter(const SampleRateSettings& settings = SampleRateSettings());
    ~CAudioSampleRateConverter() override;

    void Process(Frame* frame) override;
    // Never equal: every chain has its own converter.
    bool IsEqual(const Algorithm* other) const override;

    const SampleRateSettings& GetSettings() const { return m_settings; }
    // 48000 Hz until the first frame; then 32000 for 320 samples, 44100 for 441, else 48000.
    LONG GetOutputRate() const { return m_outputRate; }

    // The walks, from `in` (its samples) into `out` (its samples); both frames must have the same
    // sample layout. `formatCode` is the input's sample format code.
    void DownSampleTheFrame(const AudioFrame* in, AudioFrame* out) const;
    void UpSampleTheFrame(const AudioFrame* in, AudioFrame* out, ULONG formatCode) const;

private:
    SampleRateSettings m_settings;
    LONG m_outputRate = 48000;
    bool m_rateSet = false;
};
