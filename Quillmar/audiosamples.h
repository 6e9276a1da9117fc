// Audio sample helpers shared by the audio steps: the DSP's rate codes, reading and writing
// little-endian samples of 1 to 4 bytes, sign extension, the attributes an audio step copies into
// its own frame, and the one way a step makes or reuses its output frame.
//
// A DSP sample is a 32-bit little-endian word with a 24-bit two's-complement value in bits 0-23.
// The DSP copies bit 23 into bits 24-31, the driver's own test tone does not, so every step reads
// bits 0-23 and sign-extends them itself.
#pragma once
#include "km/types.h"

class Algorithm;
class AudioFrame;

// Bits of a DSP sample's value.
inline constexpr LONG kDspSampleValueBits = 24;
// Bytes of one stereo sample (left and right 32-bit words) of a DSP or test-source frame.
inline constexpr ULONG kDspStereoSampleBytes = 8;

// Sample rate of a DSP rate code: 0 48000 Hz, 1 44100 Hz, 2 32000 Hz; 0 for any other code.
LONG AudioRateOfCode(ULONG rateCode);
// Samples of a 10 ms frame at a rate code (480, 441, 320), 0 for an unknown code.
LONG AudioFrameSamplesOfCode(ULONG rateCode);

// The low `bits` bits of `value` (1..32) as a two's-complement number.
LONG SignExtend(ULONG value, LONG bits);
// `bytes` (1..4) little-endian bytes as an unsigned value, and the low `bytes` bytes of `value`
// written little-endian.
ULONG ReadSample(const UCHAR* sample, ULONG bytes);
void WriteSample(UCHAR* sample, ULONG bytes, ULONG value);

// What travels from an audio step's input frame to the frame it delivers: the frame's attributes
// (timing, flags, ids; not the format) and both information blocks (the DSP's status words with
// the pair masks, rate codes and format word, and the stream descriptor).
void CopyAudioFrameAttributes(const AudioFrame* source, AudioFrame* destination);

// The step's own output frame (an AudioStepFrame), made on first use and made anew only when its
// channel pairs or bits per sample differ or it holds fewer than `samples` samples; a new one holds
// max(samples, capacitySamples) samples, zero-filled. Its sample count is set to `samples`, and it
// is marked writable (the step owns it). Null when it cannot be allocated or the geometry is not
// positive.
AudioFrame* PrepareAudioOutputFrame(Algorithm* step, LONG pairs, LONG bits, LONG samples, LONG capacitySamples = 0);
