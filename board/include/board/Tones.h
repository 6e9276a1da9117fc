// The sound of every input's embedded audio: pair p plays (p + 1) kHz on the left and (p + 1) x
// 500 Hz on the right at amplitude 2^20, its phase following the signal's sample count so that it
// runs on across buffers. Pairs present but not carrying sound are silent (zeros); absent pairs get
// no block at all. Also the audio buffer layout of one 10 ms buffer: rows of one block per present
// pair, in pair order.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

namespace board {

class Tones {
public:
    static constexpr int32_t kAmplitude = 1 << 20;
    static constexpr uint32_t kPairs = 8;
    static constexpr uint32_t kBytesPerStereoSample = 8;

    // Rate code of the status words: 0 48,000 Hz, 1 44,100 Hz, 2 32,000 Hz; none for other rates.
    static std::optional<uint32_t> RateCode(uint32_t sampleRate);
    static uint32_t BlockSamples(uint32_t sampleRate); // 160, or 147 at 44,100 Hz
    static uint32_t Rows(uint32_t sampleRate);         // 3, or 2 at 32,000 Hz
    static uint32_t SamplesPerBuffer(uint32_t sampleRate) { return BlockSamples(sampleRate) * Rows(sampleRate); }
    static uint32_t DataSize(uint8_t presentPairs, uint32_t sampleRate);
    static uint32_t LeftFrequency(uint32_t pair) { return (pair + 1) * 1000; }
    static uint32_t RightFrequency(uint32_t pair) { return (pair + 1) * 500; }
    // The tone's sample `n` of the signal (a quarter sample off the sine's zero, so that no sample
    // is exactly 0), a 24-bit value.
    static int32_t Sample(uint32_t pair, uint32_t channel, uint64_t n, uint32_t sampleRate);
    // One 10 ms buffer whose first stereo sample is the signal's sample `firstSample`.
    static std::vector<uint8_t> Render(uint8_t presentPairs, uint8_t soundPairs, uint32_t sampleRate,
                                       uint64_t firstSample);
};

} // namespace board
