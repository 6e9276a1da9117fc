#include "audiochainbuilder.h"

#include "algorithmlist.h"
#include "caudiosamplerateconverter.h"
#include "caudiosamplesizeconverter.h"
#include "caudiostereopairextractor.h"
#include "caudiovolumecontrol.h"
#include "km/raise.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"

AudioChainBuilder::AudioChainBuilder(const AudioChainSettings& settings, LogicalStream* stream)
    : m_settings(settings), m_stream(stream)
{
}

LONG AudioChainBuilder::SampleSizeMode(ULONG bits)
{
    return CAudioSampleSizeConverter::ModeOfBitCount(static_cast<LONG>(bits));
}

NTSTATUS AudioChainBuilder::BuildProcessingSteps(AlgorithmList* list)
{
    const AudioChainSettings& s = m_settings;
    const LONG input = static_cast<LONG>(s.input);
    const LONG pairs = static_cast<LONG>(s.channels / 2);
    const LONG samplesPerFrame = static_cast<LONG>(s.samplesPerSecond / kFramesPerSecond);
    try {
        StereoPairSettings pairSettings;
        pairSettings.channelPairIndex = static_cast<LONG>(s.channelPairIndex);
        pairSettings.channelPairCount = pairs;
        pairSettings.samplesPerFrame = samplesPerFrame;
        pairSettings.framesPerSecond = kFramesPerSecond;
        pairSettings.bitsPerSample = kInternalBits;
        CAudioStereoPairExtractor* extractor = list->AppendOrRaise(new CAudioStereoPairExtractor(pairSettings));
        extractor->SetInputDetectInfo(&s.inputDetect, sizeof(s.inputDetect));
        extractor->SetLogicalStream(m_stream);
        TRACE_LINE(this, "AudioChainBuilder::BuildProcessingSteps", kTraceHighs,
                   "Audio stereo pair extraction: Input=%d, Count=%d, Bit Count=%d, Samples per frame=%d", input, pairs,
                   kInternalBits, samplesPerFrame);

        SampleRateSettings rateSettings;
        rateSettings.channelPairCount = pairs;
        rateSettings.bitsPerSample = kInternalBits;
        rateSettings.samplesPerFrame = samplesPerFrame;
        rateSettings.framesPerSecond = kFramesPerSecond;
        list->AppendOrRaise(new CAudioSampleRateConverter(rateSettings));
        TRACE_LINE(this, "AudioChainBuilder::BuildProcessingSteps", kTraceHighs,
                   "Audio sample rate settings: Input=%d, Count=%d, Bit Count=%d, Samples per frame=%d", input, pairs,
                   kInternalBits, samplesPerFrame);

        // Every connection gets one: the DSP's words hold a 24-bit sample in their low bits, which
        // only the converter turns into a signed sample filling the connection's container (a
        // 32-bit one included). The container, not the valid bits, sizes the samples.
        SampleSizeSettings sizeSettings;
        sizeSettings.channelPairCount = pairs;
        sizeSettings.bitCount = static_cast<LONG>(s.validBitsPerSample);
        sizeSettings.samplesPerFrame = samplesPerFrame;
        sizeSettings.framesPerSecond = kFramesPerSecond;
        sizeSettings.mode = SampleSizeMode(s.bitsPerSample);
        list->AppendOrRaise(new CAudioSampleSizeConverter(sizeSettings));
        TRACE_LINE(this, "AudioChainBuilder::BuildProcessingSteps", kTraceHighs,
                   "Audio sample size conversion: Input=%d, Count=%d, Bit Count=%d, Samples per frame=%d", input,
                   pairs, sizeSettings.bitCount, samplesPerFrame);

        CAudioVolumeControl* volume = list->AppendOrRaise(new CAudioVolumeControl());
        volume->SetInput(s.input);
        volume->SetChannelPairCount(static_cast<LONG>(s.channelPairCount));
        volume->SetChannelPairIndex(static_cast<LONG>(s.channelPairIndex));
        volume->SetDevice(s.device);
        volume->SetBypass(s.bypass);
        volume->SetAllVolumes(s.levels, s.mutes);
        return STATUS_SUCCESS;
    } catch (const standin::RaisedStatus&) {
        TRACE_LINE(this, "AudioChainBuilder::BuildProcessingSteps", kTraceErrors,
                   "An audio processing step could not be allocated");
        list->DestroySteps();
        return STATUS_INSUFFICIENT_RESOURCES;
    }
}
