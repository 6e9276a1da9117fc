// AudioFrame: one block of interleaved PCM samples of up to eight channel pairs. The frame's width
// word holds the channel pairs, its height word the samples per frame (one sample = one value for
// every channel), its format the bits per sample; the plane fields describe the buffer as one plane
// of one row. A sample frame (all channels of one sample) is bits / 8 x pairs x 2 bytes.
//
// Frames laid over DMA buffers also carry two blocks of eight words: the DSP's status words of the
// buffer and the stream's descriptor.
#pragma once
#include "frame.h"

class AudioFrame : public Frame {
public:
    static constexpr LONG kMaximumChannelPairs = 8;

    // No buffer, one channel pair, 0 samples, format 8; the plane fields describe one row.
    AudioFrame();
    // An owned, zero-filled buffer of bits / 8 x pairs x samples x 2 bytes from paged pool; when it
    // cannot be had (or the arguments are not positive) the frame has no buffer (data null, size 0).
    AudioFrame(LONG channelPairs, LONG bitsPerSample, LONG samples);
    ~AudioFrame() override;

    LONG GetChannelPairs() const { return GetWidth(); }
    LONG GetSamplesPerFrame() const { return GetHeight(); }
    LONG GetBitsPerSample() const { return GetFormat(); }
    // Bytes of one sample of all channels (0 when the format is not a whole number of bytes).
    ULONG SampleFrameBytes() const;

    // When the destination holds fewer bytes than this frame, DownConvertFrame into it; otherwise
    // nothing.
    void DoFrameRateConversion(AudioFrame* destination) const;
    // Fills the whole destination buffer with 0xFF, then copies destination-samples sample frames
    // (this frame's sample frame size) from source sample i: i = 0 for the first, then
    // position += samples / destination samples (kept in single precision) and
    // i = round(position - 0.45). Copies never leave either buffer.
    void DownConvertFrame(AudioFrame* destination) const;

    // The DSP's status words of the buffer and the stream descriptor, kFrameInfoBlockWords each.
    ULONG* StatusWords() { return InfoBlock(0); }
    const ULONG* StatusWords() const { return InfoBlock(0); }
    ULONG* DescriptorWords() { return InfoBlock(1); }
    const ULONG* DescriptorWords() const { return InfoBlock(1); }
};
