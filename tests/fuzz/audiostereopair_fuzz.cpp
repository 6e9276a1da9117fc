// Fuzz harness of the audio chain's reading of a filled DSP audio buffer: any bytes as the eight
// status words, the pin's pair settings and the buffer's samples, through the stereo-pair
// extractor, the sample-rate and sample-size converters and the volume step.
//
// Input: bytes 0-31 the status words (little-endian), byte 32 the pair index, byte 33 the pair
// count, byte 34 the pin's rate (0 48 kHz, 1 44.1 kHz, 2 32 kHz, else the byte as samples), byte
// 35 bit 0 the generated flag and bits 1-2 the sample size (8, 16, 24, 32 bits), then the samples.
// Checked: the extractor's output has exactly the samples its configured pair's rate code gives
// (the pin's length for silence), silence when that pair is absent or quiet, every step's output
// fits its frame, and all pool blocks come back.
#include "audioframe.h"
#include "caudiosamplerateconverter.h"
#include "caudiosamplesizeconverter.h"
#include "caudiostereopairextractor.h"
#include "caudiovolumecontrol.h"
#include "km/pool.h"
#include "standin/control.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The leaf of the chain: looks at what arrives.
class CheckingLeaf : public Algorithm {
public:
    CheckingLeaf() : Algorithm(kAlgorithmIdProcessingSink) {}
    void Process(Frame* frame) override
    {
        auto* audio = static_cast<AudioFrame*>(frame);
        const ULONGLONG needed = ULONGLONG(audio->SampleFrameBytes()) * ULONG(audio->GetSamplesPerFrame());
        if (audio->GetFrameData() != nullptr && needed > audio->GetDataSize())
            std::abort();
        ++frames;
    }
    int frames = 0;
};

uint32_t WordAt(const uint8_t* data, size_t index)
{
    const uint8_t* p = data + 4 * index;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 36)
        return 0;
    const uint64_t outstanding = standin::PoolUsageTotal().outstandingBlocks;
    {
        StereoPairSettings pair;
        pair.channelPairIndex = data[32] % 10; // 8 and 9: outside the DSP's pairs
        pair.channelPairCount = data[33] % 10;
        const uint8_t rate = data[34];
        pair.samplesPerFrame = rate == 0 ? 480 : rate == 1 ? 441 : rate == 2 ? 320 : rate;
        const bool generated = (data[35] & 1) != 0;
        const LONG bits = 8 * (1 + ((data[35] >> 1) & 3));

        std::vector<uint8_t> samples(data + 36, data + size);
        AudioFrame in;
        in.SetBuffer(samples.empty() ? nullptr : samples.data(), ULONG(samples.size()), 32, 8, 480);
        for (size_t w = 0; w < kFrameInfoBlockWords; ++w)
            in.StatusWords()[w] = WordAt(data, w);
        if (generated)
            in.AddFlags(kFrameFlagGenerated);

        auto* extractor = new CAudioStereoPairExtractor(pair);
        SampleRateSettings rateSettings;
        rateSettings.bitsPerSample = 32;
        rateSettings.samplesPerFrame = pair.samplesPerFrame > 0 ? pair.samplesPerFrame : 480;
        auto* converter = new CAudioSampleRateConverter(rateSettings);
        SampleSizeSettings sizeSettings;
        sizeSettings.bitCount = bits;
        sizeSettings.mode = CAudioSampleSizeConverter::ModeOfBitCount(bits);
        auto* packer = new CAudioSampleSizeConverter(sizeSettings);
        auto* volume = new CAudioVolumeControl;
        volume->SetChannelPairCount(extractor->GetSettings().channelPairCount);
        for (LONG c = 0; c < CAudioVolumeControl::kChannels; ++c)
            volume->SetVolume(c / 2, c % 2, static_cast<LONG>(0u - WordAt(data, c % 8)), LONG(data[35] >> 7));
        CheckingLeaf leaf;
        if (!converter->Connect(extractor) || !packer->Connect(converter) || !volume->Connect(packer) ||
            !leaf.Connect(volume))
            std::abort();

        extractor->Process(&in);

        const auto* out = static_cast<const AudioFrame*>(extractor->GetOutputFrame());
        if (out != nullptr && out->GetFrameData() != nullptr) {
            const StereoPairSettings& used = extractor->GetSettings();
            const LONG k = used.channelPairIndex;
            const ULONG* status = in.StatusWords();
            const bool present = ((status[2] >> (2 * k)) & 3u) != 0 && ((status[3] >> (2 * k)) & 3u) != 0;
            const ULONG code = status[0] == 0x2000000u ? (status[1] >> (2 * k)) & 3u : (status[5] >> (3 * k)) & 7u;
            const LONG codeSamples = code == 0 ? 480 : code == 1 ? 441 : code == 2 ? 320 : 0;
            const LONG expected = present && codeSamples > 0 ? codeSamples : used.samplesPerFrame;
            if (out->GetSamplesPerFrame() != expected || out->GetChannelPairs() != used.channelPairCount ||
                out->GetDataSize() != ULONG(expected) * ULONG(used.channelPairCount) * 8)
                std::abort();
            if (!present)
                for (ULONG b = 0; b < out->GetDataSize(); ++b)
                    if (out->GetFrameData()[b] != 0)
                        std::abort();
            if (leaf.frames != 1)
                std::abort();
        }
        in.DetachBuffer();
        delete extractor;
    }
    if (standin::PoolUsageTotal().outstandingBlocks != outstanding)
        std::abort();
    return 0;
}
