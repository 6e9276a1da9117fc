// Audio frames for the audio step tests (see AudioStepsTestFrames.h).
#include "AudioStepsTestFrames.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace audiotest {

namespace {

void PutWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t word)
{
    for (int b = 0; b < 4; ++b)
        bytes[offset + b] = static_cast<uint8_t>(word >> (8 * b));
}

} // namespace

int32_t PatternSample(int pair, int n, int ch)
{
    return (pair << 16) | (n << 1) | ch;
}

int RateOfCode(ULONG code)
{
    return code == 0 ? 48000 : code == 1 ? 44100 : code == 2 ? 32000 : 0;
}

ULONG BlockBytes(ULONG code)
{
    return (code == 0 || code == 2) ? 1280 : code == 1 ? 1176 : 0;
}

int32_t ToneSample(const DspPair& pair, uint64_t n)
{
    const double pi = std::acos(-1.0);
    const double rate = RateOfCode(pair.rateCode);
    const double value = pair.amplitude * 8388608.0 * std::sin(2.0 * pi * pair.toneHz * double(n) / rate);
    const long rounded = std::lround(value);
    return static_cast<int32_t>(rounded > 8388607 ? 8388607 : (rounded < -8388608 ? -8388608 : rounded));
}

DspAudioFrame::DspAudioFrame(const DspFrameSpec& spec, uint64_t firstSample)
{
    ULONG rate2 = 0;
    ULONG rate3 = 0;
    ULONG present = 0;
    ULONG sound = 0;
    bool all32k = true;
    for (int k = 0; k < kPairs; ++k) {
        const DspPair& p = spec.pairs[k];
        m_position[k] = -1;
        rate2 |= (p.rateCode & 3u) << (2 * k);
        rate3 |= (p.rateCode & 7u) << (3 * k);
        if (!p.present)
            continue;
        present |= (p.presentBits & 3u) << (2 * k);
        if (p.sound)
            sound |= 3u << (2 * k);
        m_position[k] = m_presentCount++;
        if (BlockBytes(p.rateCode) > m_blockSize)
            m_blockSize = BlockBytes(p.rateCode);
        if (p.rateCode != kRate32k)
            all32k = false;
    }
    m_rows = spec.rows > 0 ? spec.rows : (all32k && m_presentCount > 0 ? 2 : 3);
    const size_t rowBytes = size_t(m_presentCount) * m_blockSize;
    const size_t dataBytes = rowBytes * m_rows;
    m_bytes.assign(dataBytes + spec.trailingBytes, 0);
    for (int k = 0; k < kPairs; ++k) {
        const DspPair& p = spec.pairs[k];
        if (!p.present || BlockBytes(p.rateCode) == 0)
            continue;
        const int blockSamples = int(BlockBytes(p.rateCode) / 8);
        for (int r = 0; r < m_rows; ++r)
            for (int i = 0; i < blockSamples; ++i) {
                const int n = r * blockSamples + i;
                for (int ch = 0; ch < 2; ++ch) {
                    const int32_t value = p.toneHz > 0 ? ToneSample(p, firstSample + uint64_t(n)) : PatternSample(k, n, ch);
                    PutWord(m_bytes, size_t(r) * rowBytes + size_t(m_position[k]) * m_blockSize + size_t(i) * 8 + ch * 4,
                            DspWord(value));
                }
            }
    }
    if (spec.trailingBytes > 0)
        std::memset(m_bytes.data() + dataBytes, 0xA5, spec.trailingBytes);
    const ULONG size = ULONG(dataBytes > spec.shortenBy ? dataBytes - spec.shortenBy : 0);
    m_frame.SetBuffer(m_bytes.data(), size, 32, kPairs, 480);
    ULONG* status = m_frame.StatusWords();
    status[0] = spec.hdClock ? 0x2000000u : 0x1000000u;
    status[1] = rate2;
    status[2] = present;
    status[3] = sound;
    status[4] = 100;
    status[5] = rate3;
    m_frame.DescriptorWords()[4] = 100;
}

DspAudioFrame::~DspAudioFrame()
{
    m_frame.DetachBuffer();
}

uint32_t DspAudioFrame::Word(int pair, int row, int i, int ch) const
{
    if (pair < 0 || pair >= kPairs || m_position[pair] < 0)
        throw std::out_of_range("pair not in the frame");
    const size_t offset = size_t(row) * m_presentCount * m_blockSize + size_t(m_position[pair]) * m_blockSize +
                          size_t(i) * 8 + size_t(ch) * 4;
    return Word32(m_bytes.data() + offset, 0);
}

int32_t TestToneSource::TableEntry(int index)
{
    const double pi = std::acos(-1.0);
    const int32_t eightBit = static_cast<int32_t>(std::trunc(100.0 * std::sin(2.0 * pi * index / 256.0)));
    if (index == 82)
        return 24040;
    if (index == 210)
        return -24040;
    if (index % 8 == 0 && index != 0 && index != 128)
        return eightBit;
    return 256 * eightBit;
}

TestToneSource::TestToneSource(ULONG leftSelector, ULONG rightSelector)
{
    const ULONG selectors[2] = {leftSelector, rightSelector};
    for (int ch = 0; ch < 2; ++ch)
        m_step[ch] = selectors[ch] == 0 ? 0 : (selectors[ch] == 1 ? 1000 : 3000);
}

std::vector<uint8_t> TestToneSource::NextFrame()
{
    std::vector<uint8_t> bytes(kFrameBytes, 0);
    for (int p = 0; p < kPairs; ++p)
        for (int n = 0; n < kSamples; ++n)
            for (int ch = 0; ch < 2; ++ch) {
                if (m_step[ch] == 0)
                    continue;
                ULONG& phase = m_phase[p][ch];
                const uint32_t sample = uint32_t(uint16_t(TableEntry(int(phase / 1000)))) << 8;
                PutWord(bytes, (size_t(p) * kSamples + n) * 8 + ch * 4, sample);
                phase += m_step[ch];
                if (phase > 255000)
                    phase = 0;
            }
    return bytes;
}

GeneratedAudioFrame::GeneratedAudioFrame(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes))
{
    m_frame.SetBuffer(m_bytes.data(), ULONG(m_bytes.size()), 32, kPairs, TestToneSource::kSamples);
    for (ULONG* block : {m_frame.StatusWords(), m_frame.DescriptorWords()}) {
        std::memset(block, 0, sizeof(ULONG) * kFrameInfoBlockWords);
        block[2] = 65535;
        block[3] = 65535;
        block[4] = 100;
    }
    m_frame.AddFlags(kFrameFlagGenerated);
}

GeneratedAudioFrame::~GeneratedAudioFrame()
{
    m_frame.DetachBuffer();
}

uint32_t Word32(const uint8_t* bytes, size_t index)
{
    const uint8_t* p = bytes + index * 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int16_t Sample16(const uint8_t* bytes, size_t index)
{
    const uint8_t* p = bytes + index * 2;
    return static_cast<int16_t>(uint16_t(p[0]) | uint16_t(p[1]) << 8);
}

} // namespace audiotest
