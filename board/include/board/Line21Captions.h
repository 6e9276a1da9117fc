// Line-21 closed captions of the 525-line standard: a byte-pair script per field, one pair a
// captured frame (the null pair 0x80 0x80 when the script is empty), drawn into VBI row 19 (line
// 21 - 2) of each field's block as the EIA-608 waveform: 7 cycles of clock run-in at 32 fH, two zero
// start bits and a one, then 16 data bits least significant first, two bytes of 7 bits and odd
// parity, at 13.5 MHz sampling with the row starting 122 samples after 0H. Buffer field block 1 is
// NTSC field 1 (CC1, CC2), block 0 NTSC field 2 (CC3, CC4, XDS). Phase, level and noise can be set.
// Not thread-safe: the command set guards it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace board {

struct Line21Waveform {
    double phase = 0;   // delay of the sampling grid, in samples (0.25: every sample a quarter later)
    double high = 126;  // data and run-in high level (50 IRE); blank is 16
    double noise = 0;   // peak of the uniform noise added to every sample
    uint32_t seed = 1;  // of the noise
};

class Line21Captions {
public:
    using Pair = std::array<uint8_t, 2>;

    static constexpr uint32_t kRow = 19; // row of each field block
    static constexpr double kSampleRate = 13.5e6;
    static constexpr double kRowStart = 122;        // samples after 0H
    static constexpr double kBitRate = 503'496.5;   // 32 x the line rate
    static constexpr double kRunInStart = 10.5e-6;  // seconds after 0H
    static constexpr double kStartBitTime = 27.382e-6;
    static constexpr uint32_t kRunInCycles = 7;
    static constexpr double kEdgeWidth = 0.4e-6;    // raised-cosine data edges
    static constexpr double kBlank = 16;
    static constexpr uint8_t kNull = 0x80; // 0x00 with odd parity

    // `value`'s low 7 bits with odd parity in bit 7.
    static uint8_t WithParity(uint8_t value);
    // The buffer's field block of NTSC field 1 or 2.
    static uint32_t BlockOfField(uint32_t ntscField) { return ntscField == 1 ? 1 : 0; }

    // Appends 7-bit pairs to NTSC field 1's or 2's script (parity is added); false for another field.
    bool Queue(uint32_t ntscField, const std::vector<Pair>& pairs);
    size_t Pending(uint32_t ntscField) const;
    void Clear();
    void SetWaveform(const Line21Waveform& waveform) { m_waveform = waveform; }
    const Line21Waveform& Waveform() const { return m_waveform; }

    // The pairs of the next captured frame, by buffer block (parity included).
    std::array<Pair, 2> NextFrame();
    // Draws one row of `width` samples carrying `pair` (parity included); `noiseKey` varies the
    // noise from row to row.
    void RenderRow(uint8_t* y, uint32_t width, Pair pair, uint64_t noiseKey) const;
    // The waveform's level at `seconds` after 0H for `pair`, without noise.
    double Level(double seconds, Pair pair) const;

private:
    std::array<std::deque<Pair>, 2> m_scripts; // by buffer block
    Line21Waveform m_waveform;
};

} // namespace board
