// AudioStream: the physical audio stream of an audio pin. Its buffers hold 10 ms of the DSP's
// eight channel pairs (30,720 bytes); its create descriptor carries the audio input's detection
// words (docs/dsp-interface.md, "Streams"); every filled buffer's frame takes the DSP's status words
// and the descriptor in its two information blocks. The live input (type 10) reloads its words when
// the input state changes, and restarts the DSP stream when a pair goes inactive, or when a pair
// that a stereo-pair step of the tree uses becomes active again; the test input (type 16) and the
// backup frames play the test tone of the loss-of-signal tone selectors.
#pragma once
#include "audioframe.h"
#include "commandhandler.h"
#include "logicalstream.h"
#include "testsignalgenerator.h"
#include "testtone.h"

class PhysicalStreamServices;
class StreamFilter;
struct BrevicorInputDetectRecord;

class AudioStream : public LogicalStream {
public:
    static constexpr ULONG kMaximumQueuedFrames = 9;
    static constexpr ULONG kSamplesPerFrame = 480;
    static constexpr ULONG kFrameInterval = 100'000; // 10 ms
    static constexpr LONG kBitsPerSample = 32;
    static constexpr LONG kChannelPairs = 8;
    static constexpr ULONG kBufferLength = kSamplesPerFrame * 64; // 30,720
    static constexpr ULONG kInputTypeLive = 10;
    static constexpr ULONG kInputTypeTest = 16;
    static constexpr ULONG kStatusWordsOffset = 36;
    // The descriptor's words (the order of the DSP's audio status words, then the pair masks).
    static constexpr ULONG kWordSignalType = 0;
    static constexpr ULONG kWordRateCodes2Bit = 1;
    static constexpr ULONG kWordPairMask = 2;
    static constexpr ULONG kWordSoundMask = 3;
    static constexpr ULONG kWordFour = 4; // always 100
    static constexpr ULONG kWordRateCodes3Bit = 5;
    static constexpr ULONG kWordStartMask = 6;
    static constexpr ULONG kWordCurrentMask = 7;
    static constexpr ULONG kWordFourValue = 100;
    // Offsets of the audio detection record.
    static constexpr ULONG kRecordState = 37;
    static constexpr ULONG kRecordSignalType = 38;
    static constexpr ULONG kRecordRateCodes2Bit = 42;
    static constexpr ULONG kRecordRateCodes3Bit = 46;
    static constexpr ULONG kRecordPairMask = 50;
    static constexpr ULONG kRecordSoundMask = 54;
    static constexpr ULONG kRecordPairCount = 58;
    static constexpr ULONG kRecordPairIndex = 62;

    // `outputBitsPerSample`: the pin's wave format's.
    AudioStream(StreamDeviceServices* services, PhysicalStreamServices* board, StreamProcessorQueue* queue,
                StreamFilter* filter, ULONG outputBitsPerSample);
    ~AudioStream() override;

    bool ReconditionFrame(FrameWorkItem* entry, CommandHandler* handler) override;
    // For the live input: a signal type other than 0.
    bool DoesDSPHaveSignalLock() override;
    NTSTATUS AllocateDSPFrame(ULONG index) override;
    NTSTATUS AllocateHostFrame(ULONG index) override;
    bool LoadStreamSettings(const UCHAR* inputStateRecord) override;
    bool UsesDsp() override;
    NTSTATUS StartTestStream() override;
    void StopTestStream() override;
    void InitBackupFrameGeneratorValues() override;
    void FillBackupFrame(FrameWorkItem* entry) override;
    void GetStreamSettings(DspStreamSettings* settings) override;
    // Re-reads the audio input's detection record at Pause to Run.
    void ResetStartingCaptureParams() override;

    // The input's 580-byte detection record from the device's audio input items.
    NTSTATUS GetAudioInputDetectInfo(ULONG input, BrevicorInputDetectRecord* record);
    // The tone images (the test tone of the two loss-of-signal selectors). The 8-bit image
    // saturates and is never a stream frame's.
    void Get16BitImage(PUCHAR buffer, ULONG length);
    void Get8BitImage(PUCHAR buffer, ULONG length);

    ULONG GetInputType() const { return m_inputType; }
    ULONG GetInputIndex() const { return m_inputIndex; }
    ULONG GetOutputBitsPerSample() const { return m_outputBitsPerSample; }
    ULONG GetDescriptorWord(ULONG word);

private:
    bool LoadLiveAudioSettings(const UCHAR* record);
    // Under the processing lock: whether a stereo-pair step of the tree uses a pair whose bits are
    // in `pairs`; `pair` gets the first such pair.
    bool TreeUsesPairs(ULONG pairs, ULONG* pair);

    PhysicalStreamServices* m_board;
    StreamFilter* m_filter;
    ULONG m_inputType = kInputTypeLive;
    ULONG m_inputIndex = 0;
    ULONG m_outputBitsPerSample = 16;
    DspStreamSettings m_descriptor{}; // control lock
    TestTone m_tone;                  // the generator thread's
    TestSignalGenerator m_testGenerator;
};
