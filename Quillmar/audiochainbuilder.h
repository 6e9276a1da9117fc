// AudioChainBuilder: the processing steps of an audio pin's chain between the pin's own ends,
// built from an AudioChainSettings record alone: stereo-pair extraction of the input's pairs
// (32-bit samples, 100 frames a second of rate / 100 samples), sample-rate conversion, sample-size
// conversion into the connection's sample container (mode 1 for 8 bits, 4 for 16, 6 for 24, 7 for
// 32: the DSP's 24-bit sample signed and at full scale in every one of them, whatever part of the
// container the format calls valid), and the volume control with the input's levels and mutes. The audio capture pin delegates to
// BuildProcessingSteps; its sink follows at kOutputInterval.
//
// A step that cannot be allocated or appended ends the build with STATUS_INSUFFICIENT_RESOURCES
// and every step already on the list destroyed.
#pragma once
#include "audiochainsettings.h"
#include "km/types.h"

class AlgorithmList;
class LogicalStream;

class AudioChainBuilder {
public:
    static constexpr ULONGLONG kOutputInterval = 100000;
    static constexpr LONG kFramesPerSecond = 100;
    static constexpr LONG kInternalBits = 32;

    // `stream` is the pin's logical stream, which the pair extractor reads.
    AudioChainBuilder(const AudioChainSettings& settings, LogicalStream* stream);

    NTSTATUS BuildProcessingSteps(AlgorithmList* list);

    // The size converter's mode for a container of `bits` bits a sample: 1 for 8, 4 for 16, 6 for
    // 24, 7 for 32; -1 for any other (the audio filter accepts no such format).
    static LONG SampleSizeMode(ULONG bits);

private:
    const AudioChainSettings m_settings; // a copy: the caller's record may be a temporary
    LogicalStream* m_stream;
};
