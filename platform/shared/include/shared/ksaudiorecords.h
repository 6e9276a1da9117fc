// The audio records that filters, pins and their clients exchange: the wave format (plain and
// extensible), the audio data range and formats, the audio property set with its item ids, the
// node property records, and the GUIDs of the audio formats and of the topology node types.
#pragma once
#include "shared/kspinrecords.h"
#include "shared/ksrecords.h"

#include <cstddef>
#include <cstdint>

// The wave format: 18 bytes with no padding, so that cbSize extra bytes follow it directly.
#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize; // bytes that follow the record
};

// The extensible form (wFormatTag WAVE_FORMAT_EXTENSIBLE, cbSize 22).
struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    union {
        uint16_t wValidBitsPerSample;
        uint16_t wSamplesPerBlock;
        uint16_t wReserved;
    } Samples;
    uint32_t dwChannelMask;
    GUID SubFormat;
};

// An audio data format: the format head and the wave format, 82 bytes (without the padding the
// head's alignment would add).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpacked-not-aligned"
#endif
struct KSDATAFORMAT_WAVEFORMATEX {
    KSDATAFORMAT DataFormat;
    WAVEFORMATEX WaveFormatEx;
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#pragma pack(pop)

// The head and the extensible wave format, 104 bytes.
struct KSDATAFORMAT_WAVEFORMATEXTENSIBLE {
    KSDATAFORMAT DataFormat;
    WAVEFORMATEXTENSIBLE WaveFormatExt;
};
static_assert(sizeof(WAVEFORMATEX) == 18 && offsetof(WAVEFORMATEX, nSamplesPerSec) == 4 &&
              offsetof(WAVEFORMATEX, nBlockAlign) == 12 && offsetof(WAVEFORMATEX, cbSize) == 16);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40 && offsetof(WAVEFORMATEXTENSIBLE, Samples) == 18 &&
              offsetof(WAVEFORMATEXTENSIBLE, dwChannelMask) == 20 && offsetof(WAVEFORMATEXTENSIBLE, SubFormat) == 24);
static_assert(sizeof(KSDATAFORMAT_WAVEFORMATEX) == 82 && offsetof(KSDATAFORMAT_WAVEFORMATEX, WaveFormatEx) == 64);
static_assert(sizeof(KSDATAFORMAT_WAVEFORMATEXTENSIBLE) == 104);

#define WAVE_FORMAT_PCM 0x0001
#define WAVE_FORMAT_EXTENSIBLE 0xFFFE
#define SPEAKER_FRONT_LEFT 0x1
#define SPEAKER_FRONT_RIGHT 0x2

// An audio data range: channel, sample-size and sample-rate bounds.
struct KSDATARANGE_AUDIO {
    KSDATARANGE DataRange;
    uint32_t MaximumChannels;
    uint32_t MinimumBitsPerSample;
    uint32_t MaximumBitsPerSample;
    uint32_t MinimumSampleFrequency;
    uint32_t MaximumSampleFrequency;
};
static_assert(sizeof(KSDATARANGE_AUDIO) == 88 && offsetof(KSDATARANGE_AUDIO, MaximumChannels) == 64 &&
              offsetof(KSDATARANGE_AUDIO, MaximumSampleFrequency) == 80);

DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_TYPE_AUDIO, 0x73647561L, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                        0x9B, 0x71);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_PCM, 0x00000001L, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                        0x9B, 0x71);
// The analog signal an audio input pin carries before it is sampled.
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_ANALOG, 0x6DBA3190L, 0x67BD, 0x11CF, 0xA0, 0xF7, 0x00, 0x20, 0xAF, 0xD1,
                        0x56, 0xE4);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 0x05589F81L, 0xC356, 0x11CE, 0xBF, 0x01, 0x00, 0xAA,
                        0x00, 0x55, 0x59, 0x5A);

// A property addressed to a node (KSPROPERTY_TYPE_TOPOLOGY), and to one channel of it.
struct KSNODEPROPERTY {
    KSPROPERTY Property;
    uint32_t NodeId;
    uint32_t Reserved;
};
static_assert(sizeof(KSNODEPROPERTY) == 32 && offsetof(KSNODEPROPERTY, NodeId) == 24);

struct KSNODEPROPERTY_AUDIO_CHANNEL {
    KSNODEPROPERTY NodeProperty;
    int32_t Channel; // -1: every channel
    uint32_t Reserved;
};
static_assert(sizeof(KSNODEPROPERTY_AUDIO_CHANNEL) == 40 && offsetof(KSNODEPROPERTY_AUDIO_CHANNEL, Channel) == 32);

// The audio property set and the items the filters and nodes answer.
DEFINE_GUIDSTRUCT_VALUE(KSPROPSETID_Audio, 0x45FFAAA0L, 0x6E1B, 0x11D0, 0xBC, 0xF2, 0x44, 0x45, 0x53, 0x54, 0x00,
                        0x00);
#define KSPROPERTY_AUDIO_LATENCY 1
#define KSPROPERTY_AUDIO_VOLUMELEVEL 4
#define KSPROPERTY_AUDIO_MUX_SOURCE 12
#define KSPROPERTY_AUDIO_MUTE 13
#define KSPROPERTY_AUDIO_CPU_RESOURCES 33
#define KSPROPERTY_AUDIO_PEAKMETER 37
// KSPROPERTY_AUDIO_CPU_RESOURCES answers.
#define KSAUDIO_CPU_RESOURCES_NOT_HOST_CPU 0x00000000
#define KSAUDIO_CPU_RESOURCES_HOST_CPU 0x7FFFFFFF

// Topology node types.
DEFINE_GUIDSTRUCT_VALUE(KSNODETYPE_VOLUME, 0x3A5ACC00L, 0xC557, 0x11D0, 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A,
                        0xC1);
DEFINE_GUIDSTRUCT_VALUE(KSNODETYPE_MUTE, 0x02B223C0L, 0xC557, 0x11D0, 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A,
                        0xC1);
DEFINE_GUIDSTRUCT_VALUE(KSNODETYPE_PEAKMETER, 0xA085651EL, 0x5F0D, 0x4B36, 0xA8, 0x69, 0xD1, 0x95, 0xD6, 0xAB, 0x4B,
                        0x9E);
DEFINE_GUIDSTRUCT_VALUE(KSNODETYPE_SUM, 0xDA441A60L, 0xC556, 0x11D0, 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A,
                        0xC1);
DEFINE_GUIDSTRUCT_VALUE(KSNODETYPE_MUX, 0x2CEAF780L, 0xC556, 0x11D0, 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A,
                        0xC1);
