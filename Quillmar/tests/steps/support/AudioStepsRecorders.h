// Test doubles of the audio step tests: a journal that orders what happens in a tree, the device's
// peak-level interface recording its calls, and a leaf step keeping a copy of every audio frame it
// gets with both information blocks. Buffer returns are recorded by streamtest::FakeWorkItemOwner.
#pragma once
#include "algorithm.h"
#include "audioframe.h"
#include "audiopeakleveltarget.h"
#include "km/status.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace audiotest {

// Events in the order they happened ("return", "frame", "peak").
class Journal {
public:
    void Add(const std::string& event)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_events.push_back(event);
    }
    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_events;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_events;
};

struct PeakCall {
    ULONG input;
    ULONG pair;
    ULONG channel;
    LONG peak;
};

class RecordingPeakTarget : public AudioPeakLevelTarget {
public:
    explicit RecordingPeakTarget(Journal* journal = nullptr) : m_journal(journal) {}
    NTSTATUS SetPeakLevel(ULONG input, ULONG pair, ULONG channel, LONG peak) override
    {
        calls.push_back({input, pair, channel, peak});
        if (m_journal != nullptr)
            m_journal->Add("peak");
        return STATUS_SUCCESS;
    }
    std::vector<PeakCall> calls;

private:
    Journal* m_journal;
};

// What a leaf saw of one frame.
struct SeenAudioFrame {
    std::vector<uint8_t> bytes;
    LONG bits;
    LONG pairs;
    LONG samples;
    ULONG flags;
    LONGLONG frameTime;
    ULONG inputIdentifier;
    ULONG formatWord; // the sample format code of audio frames
    bool writable;
    ULONG status[kFrameInfoBlockWords];
    ULONG descriptor[kFrameInfoBlockWords];
    const Frame* frame;
};

// A leaf that copies every audio frame it is given. It carries the sink's id, so a step's
// destruction leaves it alive: the test owns it.
class CapturingAudioLeaf : public Algorithm {
public:
    explicit CapturingAudioLeaf(Journal* journal = nullptr) : Algorithm(kAlgorithmIdProcessingSink), m_journal(journal) {}
    void Process(Frame* frame) override
    {
        auto* audio = static_cast<AudioFrame*>(frame);
        SeenAudioFrame seen{};
        if (audio->GetFrameData() != nullptr)
            seen.bytes.assign(audio->GetFrameData(), audio->GetFrameData() + audio->GetDataSize());
        seen.bits = audio->GetBitsPerSample();
        seen.pairs = audio->GetChannelPairs();
        seen.samples = audio->GetSamplesPerFrame();
        seen.flags = audio->GetFlags();
        seen.frameTime = audio->GetFrameNumber();
        seen.inputIdentifier = audio->GetInputIdentifier();
        seen.formatWord = audio->GetFormatWord();
        seen.writable = audio->IsWritable();
        for (ULONG w = 0; w < kFrameInfoBlockWords; ++w) {
            seen.status[w] = audio->StatusWords()[w];
            seen.descriptor[w] = audio->DescriptorWords()[w];
        }
        seen.frame = frame;
        frames.push_back(std::move(seen));
        if (m_journal != nullptr)
            m_journal->Add("frame");
    }
    void SetJournal(Journal* journal) { m_journal = journal; }
    std::vector<SeenAudioFrame> frames;

private:
    Journal* m_journal;
};

// One step with a capturing leaf below it, run on one frame at a time.
template <typename Step>
struct AudioStepRig {
    template <typename... Arguments>
    explicit AudioStepRig(Arguments&&... arguments) : step(new Step(std::forward<Arguments>(arguments)...))
    {
        EXPECT_TRUE(leaf.Connect(step));
    }
    ~AudioStepRig() { delete step; }
    AudioStepRig(const AudioStepRig&) = delete;
    AudioStepRig& operator=(const AudioStepRig&) = delete;
    // What the leaf saw of the frame the step delivered (an empty record when it delivered none).
    const SeenAudioFrame& Run(AudioFrame& frame)
    {
        static const SeenAudioFrame none{};
        const size_t before = leaf.frames.size();
        step->Process(&frame);
        EXPECT_EQ(leaf.frames.size(), before + 1) << "the step delivered no frame";
        return leaf.frames.size() > before ? leaf.frames.back() : none;
    }
    Step* step;
    CapturingAudioLeaf leaf;
};

} // namespace audiotest
