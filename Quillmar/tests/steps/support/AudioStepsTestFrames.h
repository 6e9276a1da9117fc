// Audio frames for the audio step tests: DSP frames in the layout of docs/dsp-interface.md (rows of
// one block per present pair, the status words with format word, rate codes and pair masks) with a
// pattern or a tone per pair, and frames of the driver's own test tone source (every pair's 480
// samples in one run, the information blocks of a generated frame).
#pragma once
#include "audioframe.h"
#include "km/types.h"

#include <cstdint>
#include <vector>

namespace audiotest {

inline constexpr int kPairs = 8;
inline constexpr int kRate48k = 0;
inline constexpr int kRate44k = 1;
inline constexpr int kRate32k = 2;

// What one pair of a DSP frame carries.
struct DspPair {
    bool present = false;
    bool sound = true;          // set in the frame's second pair mask
    ULONG presentBits = 3;      // its 2 bits in the present mask (1: 16-bit samples)
    ULONG rateCode = kRate48k;
    // A tone (frequency above 0): amplitude as a fraction of 24-bit full scale (2^23), phase
    // running on from frame to frame; otherwise the pattern of PatternSample.
    double toneHz = 0.0;
    double amplitude = 0.0;
};

struct DspFrameSpec {
    bool hdClock = true;        // format word 0x2000000 (rate codes 2 bits a pair in word 1), else
                                // 0x1000000 (3 bits a pair in word 5)
    DspPair pairs[kPairs];
    int rows = 0;               // 0: 3 rows, or 2 when every present pair is at 32000 Hz
    ULONG trailingBytes = 0;    // bytes after the rows (the data size still covers only the rows)
    ULONG shortenBy = 0;        // data size this many bytes below what the rows need
};

// The pattern sample of pair p, stereo sample n of its frame (row x block samples + i) and
// channel ch: 24-bit, distinct for every pair, sample and channel.
int32_t PatternSample(int pair, int n, int ch);
// Sample rate of a rate code.
int RateOfCode(ULONG code);
// Bytes of one block at a rate code (1280 or 1176), 0 for other codes.
ULONG BlockBytes(ULONG code);

// A 24-bit value as the DSP stores it: bits 24-31 copy bit 23.
inline uint32_t DspWord(int32_t value)
{
    return static_cast<uint32_t>(value & 0xFFFFFF) | ((value & 0x800000) ? 0xFF000000u : 0u);
}

// A DSP frame: its buffer and an AudioFrame laid over it, as the stream hands it to the tree.
class DspAudioFrame {
public:
    explicit DspAudioFrame(const DspFrameSpec& spec, uint64_t firstSample = 0);
    ~DspAudioFrame();
    DspAudioFrame(const DspAudioFrame&) = delete;
    DspAudioFrame& operator=(const DspAudioFrame&) = delete;

    AudioFrame& Frame() { return m_frame; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    // The word the frame holds for pair p, row r, stereo sample i, channel ch (the pair's block
    // must be in the frame).
    uint32_t Word(int pair, int row, int i, int ch) const;
    ULONG BlockSize() const { return m_blockSize; }
    int Rows() const { return m_rows; }
    int PresentCount() const { return m_presentCount; }
    int PositionOf(int pair) const { return m_position[pair]; }

private:
    std::vector<uint8_t> m_bytes;
    AudioFrame m_frame;
    ULONG m_blockSize = 0;
    int m_rows = 0;
    int m_presentCount = 0;
    int m_position[kPairs] = {};
};

// The tone value (24-bit) of a DspPair tone at sample n of the stream.
int32_t ToneSample(const DspPair& pair, uint64_t n);

// The driver's test tone source: eight pairs of 480 sample frames, pair after pair, each sample
// a 16-bit table value as an unsigned 16-bit number shifted into bits 8-23; selectors 0 silence,
// 1 the base phase step, other values three times it.
class TestToneSource {
public:
    static constexpr ULONG kFrameBytes = 30720;
    static constexpr int kSamples = 480;

    TestToneSource(ULONG leftSelector, ULONG rightSelector);
    // The next frame's bytes, the phases running on.
    std::vector<uint8_t> NextFrame();
    // The 16-bit sine table entry (with its fixed entries).
    static int32_t TableEntry(int index);

private:
    ULONG m_step[2];
    ULONG m_phase[kPairs][2] = {};
};

// A generated frame over given bytes: data size = the bytes, information blocks cleared with
// words 2 and 3 65535 and word 4 100, the generated flag set.
class GeneratedAudioFrame {
public:
    explicit GeneratedAudioFrame(std::vector<uint8_t> bytes);
    ~GeneratedAudioFrame();
    GeneratedAudioFrame(const GeneratedAudioFrame&) = delete;
    GeneratedAudioFrame& operator=(const GeneratedAudioFrame&) = delete;

    AudioFrame& Frame() { return m_frame; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    AudioFrame m_frame;
};

// Little-endian reads of a frame's bytes.
uint32_t Word32(const uint8_t* bytes, size_t index);
int16_t Sample16(const uint8_t* bytes, size_t index);

} // namespace audiotest
