// AudioCapturePin: creation, state steps, the chain's ends and the audio intersection.
#include "audiocapturepin.h"

#include "algorithmlist.h"
#include "audiochainbuilder.h"
#include "basicaudiofilter.h"
#include "device.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

AudioCapturePin::AudioCapturePin(PKSPIN pin) : BasicStreamingPin(pin, kStreamingPinKindAudio)
{
    SetPinId(pin != nullptr ? pin->Id : 0);
}

AudioCapturePin::~AudioCapturePin()
{
    TRACE_SCOPE(this, "AudioCapturePin::~AudioCapturePin", kTraceLowEnter);
}

ULONG AudioCapturePin::FrameSizeOf(const WAVEFORMATEX& format)
{
    return (format.wBitsPerSample / 8u) * (format.nSamplesPerSec / 100u) * format.nChannels;
}

NTSTATUS AudioCapturePin::OnCreate(PIRP)
{
    TRACE_SCOPE(this, "AudioCapturePin::OnCreate", kTraceLowEnter);
    PKSPIN pin = GetKsPin();
    pin->StreamHeaderSize = kStreamHeaderSize;
    const KSDATAFORMAT* format = pin->ConnectionFormat;
    if (format == nullptr || format->FormatSize < kWaveFormatBytes)
        return STATUS_NO_MATCH;
    WAVEFORMATEX wave;
    std::memcpy(&wave, reinterpret_cast<const UCHAR*>(format) + sizeof(KSDATAFORMAT), sizeof(wave));
    // The wave format and its extra bytes, as far as the format holds them and the record reaches.
    ULONG bytes = kWaveFormatBytes + wave.cbSize;
    if (bytes > format->FormatSize)
        return STATUS_NO_MATCH;
    if (bytes > sizeof(m_format))
        bytes = sizeof(m_format);
    std::memset(&m_format, 0, sizeof(m_format));
    std::memcpy(&m_format, format, bytes);
    m_hasFormat = true;
    return SetAllocatorFraming(kFrames, FrameSizeOf(wave));
}

bool AudioCapturePin::GetAudioFormat(StreamAudioFormat* format) const
{
    if (!m_hasFormat)
        return false;
    static_assert(sizeof(*format) == sizeof(m_format.WaveFormatExt));
    std::memcpy(format, &m_format.WaveFormatExt, sizeof(*format));
    if (format->formatTag != WAVE_FORMAT_EXTENSIBLE)
        format->validBitsPerSample = format->bitsPerSample;
    return true;
}

NTSTATUS AudioCapturePin::OnSetDeviceState(KSSTATE to, KSSTATE from)
{
    TRACE_SCOPE(this, "AudioCapturePin::OnSetDeviceState", kTraceLowEnter, "%d->%d", static_cast<int>(from),
                static_cast<int>(to));
    return ChangeDeviceState(to, from);
}

void AudioCapturePin::GatherChainSettings(AudioChainSettings* settings)
{
    StreamAudioFormat format{};
    if (GetAudioFormat(&format))
        settings->SetWaveFormat(format);
    settings->device = GetDevice();
    PKSFILTER ksFilter = GetKsFilter();
    if (ksFilter == nullptr || ksFilter->Descriptor == nullptr ||
        !BasicFilter::IsAudioCaptureFilterReference(ksFilter->Descriptor->ReferenceGuid))
        return;
    auto* filter = static_cast<BasicAudioFilter*>(GetFilter());
    settings->ReadInput(*filter->Inputs(), filter->GetCurrentAudioInput());
}

NTSTATUS AudioCapturePin::BuildAlgorithmChain(AlgorithmList* list)
{
    TRACE_SCOPE(this, "AudioCapturePin::BuildAlgorithmChain", kTraceLowEnter);
    TakeSinkOutOfTree();
    AudioChainSettings settings;
    GatherChainSettings(&settings);
    const NTSTATUS status = AudioChainBuilder(settings, GetLogicalStream()).BuildProcessingSteps(list);
    if (!NT_SUCCESS(status))
        return status;
    TRACE_LINE(this, "AudioCapturePin::BuildAlgorithmChain", kTraceHighs, "Audio Output Frame rate: %d",
               static_cast<int>(GetSampleDuration()));
    return AppendSink(list, static_cast<ULONGLONG>(GetSampleDuration()));
}

NTSTATUS NTAPI AudioCapturePin::IntersectHandler(PVOID, PIRP, PKSP_PIN, PKSDATARANGE callerRange,
                                                 PKSDATARANGE descriptorRange, ULONG bufferSize, PVOID data,
                                                 PULONG dataSize)
{
    TRACE_SCOPE(nullptr, "AudioCapturePin::IntersectHandler", kTraceLowEnter);
    if (callerRange == nullptr || descriptorRange == nullptr || dataSize == nullptr ||
        descriptorRange->FormatSize < sizeof(KSDATARANGE_AUDIO))
        return STATUS_NO_MATCH;
    *dataSize = kResultBytes;
    KSDATARANGE_AUDIO mine;
    std::memcpy(&mine, descriptorRange, sizeof(mine));
    const GUID& specifier = callerRange->Specifier;
    if (specifier != GUID_NULL && specifier != KSDATAFORMAT_SPECIFIER_WAVEFORMATEX)
        return STATUS_NO_MATCH;
    // The answer's sample size and rate: the largest the caller's range allows when its bounds are
    // read (inside the pin's), else the pin's own. The pin captures its channels only.
    ULONG bits = mine.MaximumBitsPerSample;
    ULONG frequency = mine.MaximumSampleFrequency;
    if (specifier == KSDATAFORMAT_SPECIFIER_WAVEFORMATEX && bufferSize >= kResultBytes) {
        // The caller's bounds are read only when its range holds them.
        if (callerRange->FormatSize < sizeof(KSDATARANGE_AUDIO))
            return STATUS_NO_MATCH;
        KSDATARANGE_AUDIO theirs;
        std::memcpy(&theirs, callerRange, sizeof(theirs));
        if (theirs.MaximumChannels > mine.MaximumChannels ||
            theirs.MinimumBitsPerSample < mine.MinimumBitsPerSample ||
            theirs.MaximumBitsPerSample > mine.MaximumBitsPerSample ||
            theirs.MinimumSampleFrequency < mine.MinimumSampleFrequency ||
            theirs.MaximumSampleFrequency > mine.MaximumSampleFrequency)
            return STATUS_NO_MATCH;
        bits = theirs.MaximumBitsPerSample;
        frequency = theirs.MaximumSampleFrequency;
    }
    if (bufferSize == 0)
        return STATUS_BUFFER_OVERFLOW;
    if (bufferSize < kResultBytes)
        return STATUS_BUFFER_TOO_SMALL;
    if (data == nullptr)
        return STATUS_NO_MATCH;
    KSDATAFORMAT_WAVEFORMATEXTENSIBLE result{};
    std::memcpy(&result.DataFormat, descriptorRange, sizeof(result.DataFormat));
    result.DataFormat.FormatSize = kResultBytes;
    WAVEFORMATEXTENSIBLE& wave = result.WaveFormatExt;
    wave.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    wave.Format.nChannels = static_cast<USHORT>(mine.MaximumChannels);
    wave.Format.nSamplesPerSec = frequency;
    wave.Format.wBitsPerSample = static_cast<USHORT>(bits);
    wave.Format.nBlockAlign = static_cast<USHORT>(bits * mine.MaximumChannels / 8);
    wave.Format.nAvgBytesPerSec = bits / 8 * frequency * mine.MaximumChannels;
    wave.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    wave.Samples.wValidBitsPerSample = static_cast<USHORT>(bits);
    wave.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    wave.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    std::memcpy(data, &result, sizeof(result));
    return STATUS_SUCCESS;
}
