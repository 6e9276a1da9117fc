// AudioStream: construction and destruction, frames over the buffers, the live input's detection
// words, the test tone and the backup frames.
#include "audiostream.h"

#include "algorithm.h"
#include "brevicorrecords.h"
#include "caudiostereopairextractor.h"
#include "driver.h"
#include "km/pool.h"
#include "messages/Talvexon.h"
#include "physicalstreamservices.h"
#include "streamdeviceservices.h"
#include "streamfilter.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

ULONG Word(const UCHAR* bytes, ULONG offset)
{
    ULONG value;
    memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

// The bits of pair p (0 to 7) in a 2-bit-a-pair mask.
constexpr ULONG PairBits(ULONG pair)
{
    return 3u << (2 * pair);
}

// The first pair whose bits `mask` has, 8 for none.
ULONG FirstPair(ULONG mask)
{
    for (ULONG pair = 0; pair < 8; ++pair)
        if ((mask & PairBits(pair)) != 0)
            return pair;
    return 8;
}

// Every pair with a bit in `from` gets both its bits.
ULONG WholePairs(ULONG from)
{
    ULONG pairs = 0;
    for (ULONG pair = 0; pair < 8; ++pair)
        if ((from & PairBits(pair)) != 0)
            pairs |= PairBits(pair);
    return pairs;
}

bool FindStereoPairUse(const Algorithm* step, ULONG pairs, ULONG* pair)
{
    if (step == nullptr)
        return false;
    if (step->GetAlgorithmId() == kAlgorithmIdStereoPair) {
        const auto* extractor = static_cast<const CAudioStereoPairExtractor*>(step);
        const StereoPairSettings& settings = extractor->GetSettings();
        for (LONG k = 0; k < settings.channelPairCount; ++k) {
            const LONG p = settings.channelPairIndex + k;
            if (p >= 0 && p < 8 && (pairs & PairBits(static_cast<ULONG>(p))) != 0) {
                *pair = static_cast<ULONG>(p);
                return true;
            }
        }
    }
    for (LONG i = 0; i < step->GetChildCount(); ++i)
        if (FindStereoPairUse(step->GetChild(i), pairs, pair))
            return true;
    return false;
}

} // namespace

AudioStream::AudioStream(StreamDeviceServices* services, PhysicalStreamServices* board, StreamProcessorQueue* queue,
                         StreamFilter* filter, ULONG outputBitsPerSample)
    : LogicalStream(LogicalStreamType::Audio, services, queue, kMaximumQueuedFrames),
      m_board(board),
      m_filter(filter),
      m_outputBitsPerSample(outputBitsPerSample),
      m_testGenerator(this)
{
    TRACE_SCOPE(this, "AudioStream::AudioStream", kTraceLowEnter, "pFilter=0x%p, nBitsPerSample=%u",
                static_cast<void*>(filter), outputBitsPerSample);
    if (!NT_SUCCESS(GetConstructionStatus()))
        return;
    SetTiming(services->GetDspClockRate() / 100, kFrameInterval);
    if (filter != nullptr) {
        m_inputType = filter->GetCurrentInputType();
        m_inputIndex = filter->GetCurrentInputIndex();
    }
    {
        KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::AudioStream", __LINE__);
        memset(&m_descriptor, 0, sizeof(m_descriptor));
        m_descriptor.descriptor[kWordFour] = kWordFourValue;
    }
    SetBufferLength(kBufferLength);
    LoadStreamSettings(nullptr);
    {
        KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::AudioStream", __LINE__);
        m_flags.restartNeeded = 0;
    }
    AllocateStreamFrames();
    if (m_inputType == kInputTypeLive)
        PrepareBackupFrameGenerator(&LogicalStream::BackupFrameGeneratorRoutine);
    Publish();
}

AudioStream::~AudioStream()
{
    TRACE_SCOPE(this, "AudioStream::~AudioStream", kTraceLowEnter);
    m_testGenerator.Stop();
    Shutdown();
}

ULONG AudioStream::GetDescriptorWord(ULONG word)
{
    KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::GetDescriptorWord", __LINE__);
    return word < 8 ? m_descriptor.descriptor[word] : 0;
}

void AudioStream::GetStreamSettings(DspStreamSettings* settings)
{
    KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::GetStreamSettings", __LINE__);
    m_descriptor.descriptor[kWordFour] = kWordFourValue;
    m_descriptor.inputType = static_cast<UCHAR>(m_inputType);
    *settings = m_descriptor;
}

bool AudioStream::UsesDsp()
{
    Driver* driver = GetServices() != nullptr ? GetServices()->GetDriver() : nullptr;
    if (driver == nullptr || !driver->GetHardwareInstalled())
        return false;
    return m_inputType != kInputTypeTest;
}

bool AudioStream::DoesDSPHaveSignalLock()
{
    KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::DoesDSPHaveSignalLock", __LINE__);
    if (m_inputType == kInputTypeLive)
        return m_descriptor.descriptor[kWordSignalType] != 0;
    return true;
}

// ---- frames --------------------------------------------------------------------------------------

NTSTATUS AudioStream::AllocateDSPFrame(ULONG index)
{
    ULONGLONG physical = 0;
    PVOID buffer = AllocateDmaBufferForEntry(&physical);
    TRACE_LINE(this, "AudioStream::AllocateDSPFrame", kTraceLows,
               "m_pArrayWorkItems[%d]: length=%08d pVirtualAddress=0x%08x, physicalAddress=0x%08x %08x",
               static_cast<int>(index), static_cast<int>(GetBufferLength()),
               static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(buffer)), static_cast<unsigned>(physical >> 32),
               static_cast<unsigned>(physical));
    auto* frame = buffer != nullptr ? new AudioFrame() : nullptr;
    if (frame == nullptr) {
        if (buffer != nullptr)
            SetEntryFrame(index, nullptr, buffer, physical);
        TRACE_STATUS(this, "AudioStream::AllocateDSPFrame", kTraceErrors, MSG_DMA_MEMORY_ALLOCATION_FAILED,
                     "DMA memory allocation failed");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    frame->SetBuffer(buffer, GetBufferLength(), kBitsPerSample, kChannelPairs, kSamplesPerFrame);
    SetEntryFrame(index, frame, buffer, physical);
    return STATUS_SUCCESS;
}

NTSTATUS AudioStream::AllocateHostFrame(ULONG index)
{
    PVOID buffer = AllocateHostBuffer();
    auto* frame = buffer != nullptr ? new AudioFrame() : nullptr;
    if (frame == nullptr) {
        if (buffer != nullptr)
            ExFreePool(buffer);
        TRACE_STATUS(this, "AudioStream::AllocateHostFrame", kTraceErrors, MSG_HOST_FRAME_ALLOCATION_FAILED,
                     "HOST frame allocation failed");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    memset(buffer, 0, GetBufferLength());
    frame->SetBuffer(buffer, GetBufferLength(), kBitsPerSample, kChannelPairs, kSamplesPerFrame);
    SetEntryFrame(index, frame, buffer, 0);
    return STATUS_SUCCESS;
}

bool AudioStream::ReconditionFrame(FrameWorkItem* entry, CommandHandler* handler)
{
    auto* frame = static_cast<AudioFrame*>(entry->frame);
    memcpy(frame->StatusWords(), handler->ResponseArea() + kStatusWordsOffset, kFrameInfoBlockWords * sizeof(ULONG));
    ULONG dataSize = handler->GetResultWordB();
    if (dataSize > GetBufferLength())
        dataSize = GetBufferLength();
    frame->SetDataSize(dataSize);
    KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::ReconditionFrame", __LINE__);
    memcpy(frame->DescriptorWords(), m_descriptor.descriptor, kFrameInfoBlockWords * sizeof(ULONG));
    frame->SetInputIdentifier(m_descriptor.descriptor[kWordSignalType]);
    return true;
}

// ---- settings ------------------------------------------------------------------------------------

NTSTATUS AudioStream::GetAudioInputDetectInfo(ULONG input, BrevicorInputDetectRecord* record)
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    if (m_board == nullptr)
        return STATUS_UNSUCCESSFUL;
    return m_board->GetAudioInputDetectRecord(input, record);
}

bool AudioStream::LoadStreamSettings(const UCHAR* inputStateRecord)
{
    if (m_inputType == kInputTypeTest) {
        TRACE_LINE(this, "AudioStream::LoadStreamSettings", kTraceLows, "AudioStream::LoadTestAudioSettings");
        return false;
    }
    return LoadLiveAudioSettings(inputStateRecord);
}

bool AudioStream::LoadLiveAudioSettings(const UCHAR* record)
{
    TRACE_SCOPE(this, "AudioStream::LoadLiveAudioSettings", kTraceLowEnter);
    if (m_inputType != kInputTypeLive)
        return false;
    BrevicorInputDetectRecord current{};
    if (record == nullptr) {
        if (!NT_SUCCESS(GetAudioInputDetectInfo(m_inputIndex, &current)))
            return false;
        record = reinterpret_cast<const UCHAR*>(&current);
    }
    const ULONG signalType = Word(record, kRecordSignalType);
    const ULONG mask = Word(record, kRecordPairMask);
    bool changed = false;
    ULONG descriptorMask;
    bool compareMasks;
    {
        KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::LoadLiveAudioSettings", __LINE__);
        ULONG* d = m_descriptor.descriptor;
        d[kWordRateCodes2Bit] = Word(record, kRecordRateCodes2Bit);
        d[kWordRateCodes3Bit] = Word(record, kRecordRateCodes3Bit);
        d[kWordSoundMask] = Word(record, kRecordSoundMask);
        d[kWordFour] = kWordFourValue;
        if (signalType != d[kWordSignalType]) {
            changed = true;
            m_flags.restartNeeded = 1;
            d[kWordSignalType] = signalType;
            d[kWordPairMask] = mask;
            d[kWordStartMask] = mask;
        }
        memcpy(m_currentInputState, record, kInputStateRecordBytes);
        descriptorMask = d[kWordPairMask];
        compareMasks = signalType != 0 && mask != descriptorMask;
    }
    if (compareMasks) {
        const ULONG gone = WholePairs(descriptorMask) & ~WholePairs(mask);
        if (gone != 0) {
            TRACE_LINE(this, "AudioStream::LoadLiveAudioSettings", kTraceHighs,
                       "Audio input %d has gone inactive.  Forcing audio capture stream restart",
                       static_cast<int>(FirstPair(gone)));
            changed = true;
        } else {
            ULONG pair = 8;
            if (TreeUsesPairs(WholePairs(mask) & ~WholePairs(descriptorMask), &pair)) {
                TRACE_LINE(this, "AudioStream::LoadLiveAudioSettings", kTraceHighs,
                           "Audio input %d has become active again.  Forcing audio capture stream restart",
                           static_cast<int>(pair));
                changed = true;
            }
        }
        KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::LoadLiveAudioSettings", __LINE__);
        if (changed)
            m_flags.restartNeeded = 1;
        m_descriptor.descriptor[kWordPairMask] = mask;
        m_descriptor.descriptor[kWordStartMask] = mask;
        m_descriptor.descriptor[kWordCurrentMask] = mask;
    } else {
        KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::LoadLiveAudioSettings", __LINE__);
        m_descriptor.descriptor[kWordCurrentMask] = mask;
    }
    TRACE_LINE(this, "AudioStream::LoadLiveAudioSettings", kTraceHighs, "Audio signal type is %08x", signalType);
    return changed;
}

bool AudioStream::TreeUsesPairs(ULONG pairs, ULONG* pair)
{
    if (pairs == 0)
        return false;
    FrameProcessingSource* source = GetSource();
    KPLXFastStackLock hold(source->GetProcessingLock(), this, "AudioStream::TreeUsesPairs", __LINE__);
    return FindStereoPairUse(source, pairs, pair);
}

void AudioStream::ResetStartingCaptureParams()
{
    BrevicorInputDetectRecord record{};
    if (!NT_SUCCESS(GetAudioInputDetectInfo(m_inputIndex, &record)))
        return;
    const ULONG fresh = Word(reinterpret_cast<const UCHAR*>(&record), kRecordPairMask);
    KPLXFastStackLock hold(GetControlLock(), this, "AudioStream::ResetStartingCaptureParams", __LINE__);
    TRACE_LINE(this, "AudioStream::ResetStartingCaptureParams", kTraceHighs, "Start=0x%08x, Current=0x%08x, New=0x%08x",
               m_descriptor.descriptor[kWordStartMask], m_descriptor.descriptor[kWordCurrentMask], fresh);
    m_descriptor.descriptor[kWordStartMask] = fresh;
    m_descriptor.descriptor[kWordCurrentMask] = fresh;
}

// ---- test input and backup frames ----------------------------------------------------------------

NTSTATUS AudioStream::StartTestStream()
{
    return m_testGenerator.Start();
}

void AudioStream::StopTestStream()
{
    m_testGenerator.Stop();
}

void AudioStream::InitBackupFrameGeneratorValues()
{
    m_tone.Reset();
}

void AudioStream::Get16BitImage(PUCHAR buffer, ULONG length)
{
    BrevicorLOSRecord los{};
    if (m_board == nullptr || !NT_SUCCESS(m_board->GetLOSSettings(&los)))
        los.oddChannelsTone = los.evenChannelsTone = 0;
    m_tone.Get16BitImage(buffer, length, los.oddChannelsTone, los.evenChannelsTone);
}

void AudioStream::Get8BitImage(PUCHAR buffer, ULONG length)
{
    m_tone.Get8BitImage(buffer, length);
}

void AudioStream::FillBackupFrame(FrameWorkItem* entry)
{
    auto* frame = static_cast<AudioFrame*>(entry->frame);
    // The stream's frames are 32-bit whatever the pin delivers: the 8-bit image would not fit
    // the chain.
    Get16BitImage(static_cast<PUCHAR>(entry->virtualAddress), GetEntryBufferLength());
    frame->SetBuffer(entry->virtualAddress, GetEntryBufferLength(), kBitsPerSample, kChannelPairs, kSamplesPerFrame);
    for (ULONG block = 0; block < 2; ++block) {
        ULONG* words = block == 0 ? frame->StatusWords() : frame->DescriptorWords();
        memset(words, 0, kFrameInfoBlockWords * sizeof(ULONG));
        words[2] = 65535;
        words[3] = 65535;
        words[4] = 100;
    }
    frame->AddFlags(kFrameFlagGenerated);
}
