// AudioCapturePin: the audio capture filter's output pin. It keeps a copy of its connection's wave
// format (in a zeroed record the size of the extensible form), frames its buffers as 50 of 10 ms
// of audio each, turns state steps into the device's audio stream transitions and answers the
// audio intersection.
#pragma once
#include "audiochainsettings.h"
#include "basicstreamingpin.h"
#include "shared/ksaudiorecords.h"

class AudioCapturePin : public BasicStreamingPin {
public:
    static constexpr ULONG kStreamHeaderSize = 112;
    static constexpr ULONG kFrames = 50;
    // 10 ms in 100-ns units: one buffer's audio.
    static constexpr LONGLONG kSampleDuration = 100000;
    // The intersection's result: the format head and the extensible wave format.
    static constexpr ULONG kResultBytes = sizeof(KSDATAFORMAT_WAVEFORMATEXTENSIBLE);
    // The head and the plain wave format before its extra bytes.
    static constexpr ULONG kWaveFormatBytes = sizeof(KSDATAFORMAT_WAVEFORMATEX);

    explicit AudioCapturePin(PKSPIN pin);
    ~AudioCapturePin() override;

    LONGLONG GetSampleDuration() override { return kSampleDuration; }
    // The pin's chain: the last chain's sink out of the tree, the audio processing steps of the
    // connection format and the filter's current input, then the sink every 10 ms.
    NTSTATUS BuildAlgorithmChain(AlgorithmList* list) override;
    // The record the chain is built from: the saved wave format, the filter's current input with
    // its pairs, detection record, bypass, levels and mutes, and the device for peak levels.
    void GatherChainSettings(AudioChainSettings* settings);
    NTSTATUS OnSetDeviceState(KSSTATE to, KSSTATE from) override;
    // Header size 112, the format copy, 50 buffers of (bits / 8) x (rate / 100) x channels bytes.
    NTSTATUS OnCreate(PIRP irp) override;
    const void* GetSavedFormat() const override { return &m_format; }

    const char* GetStreamName() const override { return "AUDIO"; }
    // The saved wave format in its extensible layout; a plain format's valid bits are its bits.
    bool GetAudioFormat(StreamAudioFormat* format) const override;

    // The framing's frame size of a wave format (0 for a format without samples).
    static ULONG FrameSizeOf(const WAVEFORMATEX& format);

    // The intersect handler of the audio capture pin (see the source for the size protocol).
    static NTSTATUS NTAPI IntersectHandler(PVOID context, PIRP irp, PKSP_PIN pin, PKSDATARANGE callerRange,
                                           PKSDATARANGE descriptorRange, ULONG bufferSize, PVOID data,
                                           PULONG dataSize);

private:
    KSDATAFORMAT_WAVEFORMATEXTENSIBLE m_format{};
    bool m_hasFormat = false;
};
