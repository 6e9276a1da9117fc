// The line-21 scripts and waveform.
#include "board/Line21Captions.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace board {

namespace {

// 0 below -0.5, 1 above 0.5, a raised cosine between.
double SmoothStep(double x)
{
    if (x <= -0.5)
        return 0;
    if (x >= 0.5)
        return 1;
    return (1 - std::cos(std::numbers::pi * (x + 0.5))) / 2;
}

uint64_t Mix(uint64_t x)
{
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return x;
}

} // namespace

uint8_t Line21Captions::WithParity(uint8_t value)
{
    const uint8_t bits = value & 0x7F;
    return std::popcount(bits) % 2 ? bits : static_cast<uint8_t>(bits | 0x80);
}

bool Line21Captions::Queue(uint32_t ntscField, const std::vector<Pair>& pairs)
{
    if (ntscField != 1 && ntscField != 2)
        return false;
    auto& script = m_scripts[BlockOfField(ntscField)];
    for (const Pair& pair : pairs)
        script.push_back({WithParity(pair[0]), WithParity(pair[1])});
    return true;
}

size_t Line21Captions::Pending(uint32_t ntscField) const
{
    return ntscField == 1 || ntscField == 2 ? m_scripts[BlockOfField(ntscField)].size() : 0;
}

void Line21Captions::Clear()
{
    for (auto& script : m_scripts)
        script.clear();
}

std::array<Line21Captions::Pair, 2> Line21Captions::NextFrame()
{
    std::array<Pair, 2> pairs;
    for (uint32_t block = 0; block < 2; ++block) {
        if (m_scripts[block].empty()) {
            pairs[block] = {kNull, kNull};
        } else {
            pairs[block] = m_scripts[block].front();
            m_scripts[block].pop_front();
        }
    }
    return pairs;
}

double Line21Captions::Level(double t, Pair pair) const
{
    const double bit = 1 / kBitRate;
    const double swing = m_waveform.high - kBlank;
    if (t < kRunInStart)
        return kBlank;
    const double runInEnd = kRunInStart + kRunInCycles * bit;
    if (t < runInEnd)
        return kBlank + swing * (1 - std::cos(2 * std::numbers::pi * (t - kRunInStart) / bit)) / 2;
    // Cells: two zero start bits, the one start bit at its fixed time, then the 16 data bits.
    const uint32_t data = pair[0] | pair[1] << 8;
    double level = 0;
    for (int cell = 2; cell < 19; ++cell) {
        const bool one = cell == 2 || ((data >> (cell - 3)) & 1);
        if (!one)
            continue;
        const double start = kStartBitTime + (cell - 2) * bit;
        level += SmoothStep((t - start) / kEdgeWidth) - SmoothStep((t - start - bit) / kEdgeWidth);
    }
    return kBlank + swing * level;
}

void Line21Captions::RenderRow(uint8_t* y, uint32_t width, Pair pair, uint64_t noiseKey) const
{
    for (uint32_t i = 0; i < width; ++i) {
        const double t = (kRowStart + i + m_waveform.phase) / kSampleRate;
        double level = Level(t, pair);
        if (m_waveform.noise > 0) {
            const uint64_t r = Mix(Mix(m_waveform.seed ^ (noiseKey << 20)) + i);
            const double unit = static_cast<double>(r >> 11) / 9007199254740992.0; // [0, 1)
            level += (2 * unit - 1) * m_waveform.noise;
        }
        y[i] = static_cast<uint8_t>(std::clamp(std::lround(level), 1L, 254L));
    }
}

} // namespace board
