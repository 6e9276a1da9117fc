// Test tones and the audio buffer rows.
#include "board/Tones.h"

#include <bit>
#include <cmath>
#include <numbers>

#include "LittleEndian.h"

namespace board {

std::optional<uint32_t> Tones::RateCode(uint32_t sampleRate)
{
    switch (sampleRate) {
    case 48000: return 0;
    case 44100: return 1;
    case 32000: return 2;
    default: return std::nullopt;
    }
}

uint32_t Tones::BlockSamples(uint32_t sampleRate)
{
    return sampleRate == 44100 ? 147 : 160;
}

uint32_t Tones::Rows(uint32_t sampleRate)
{
    return sampleRate == 32000 ? 2 : 3;
}

uint32_t Tones::DataSize(uint8_t presentPairs, uint32_t sampleRate)
{
    return Rows(sampleRate) * static_cast<uint32_t>(std::popcount(presentPairs)) * BlockSamples(sampleRate) *
           kBytesPerStereoSample;
}

int32_t Tones::Sample(uint32_t pair, uint32_t channel, uint64_t n, uint32_t sampleRate)
{
    const uint64_t frequency = channel == 0 ? LeftFrequency(pair) : RightFrequency(pair);
    // The phase in cycles x rate, reduced exactly before it becomes a double.
    const double phase = static_cast<double>((n * frequency) % sampleRate) + 0.25 * static_cast<double>(frequency);
    const double value = kAmplitude * std::sin(2 * std::numbers::pi * phase / sampleRate);
    return static_cast<int32_t>(std::lround(value));
}

std::vector<uint8_t> Tones::Render(uint8_t presentPairs, uint8_t soundPairs, uint32_t sampleRate, uint64_t firstSample)
{
    std::vector<uint8_t> data(DataSize(presentPairs, sampleRate));
    const uint32_t block = BlockSamples(sampleRate);
    uint8_t* at = data.data();
    for (uint32_t row = 0; row < Rows(sampleRate); ++row)
        for (uint32_t pair = 0; pair < kPairs; ++pair) {
            if (!(presentPairs >> pair & 1))
                continue;
            const bool sound = soundPairs >> pair & 1;
            for (uint32_t i = 0; i < block; ++i)
                for (uint32_t channel = 0; channel < 2; ++channel, at += 4) {
                    const uint64_t n = firstSample + uint64_t{row} * block + i;
                    // 24-bit two's complement, bits 24-31 copies of bit 23.
                    StoreLittle32(at, sound ? static_cast<uint32_t>(Sample(pair, channel, n, sampleRate)) : 0);
                }
        }
    return data;
}

} // namespace board
