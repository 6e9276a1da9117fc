// What one video input of the board carries: the cable, the video standard, the embedded audio
// (present pairs, pairs carrying sound, one sample rate for all pairs) and the line-21 caption
// script; and what the DSP makes of it: the input-state message, the captured geometry and the
// audio status words. The frame grid of the signal starts when the signal does (board made, cable
// plugged, standard changed). Not thread-safe: the command set guards it.
#pragma once
#include <array>
#include <cstdint>
#include <optional>

#include "board/CapturePattern.h"
#include "board/Line21Captions.h"
#include "board/MailboxMessages.h"
#include "board/VideoStandards.h"

namespace board {

struct AudioSignal {
    uint8_t presentPairs = 0x03; // bit p: pair p is present
    uint8_t soundPairs = 0x03;   // bit p: pair p carries sound (a subset of the present pairs)
    uint32_t sampleRate = 48000; // 48,000, 44,100 or 32,000 Hz, for every pair
    bool operator==(const AudioSignal&) const = default;
};

class SignalModel {
public:
    // Format word bits of the input-state message.
    static constexpr uint32_t kFormatHdClock = 0x1;
    static constexpr uint32_t kFormatThousandOneClock = 0x2;
    static constexpr uint32_t kFormatInterlaced = 0x4;
    static constexpr uint32_t kFormatGoodMask = 0xA00188; // all set for a good signal...
    static constexpr uint32_t kFormatBadMask = 0x4C0000;  // ...and none of these
    static constexpr uint32_t kVideoErrorShift = 24;
    static constexpr uint32_t kAudioErrorShift = 28;
    static constexpr uint32_t kMaxVideoError = 5;
    static constexpr uint32_t kMaxAudioError = 4;

    // 2 bits a pair (pair p at bits 2p..2p+1, both set when the pair is in `pairs`).
    static uint32_t PairMask(uint8_t pairs);
    // Rate code `code` for every pair in `pairs`, `bits` bits a pair.
    static uint32_t RateCodes(uint8_t pairs, uint32_t code, uint32_t bits);
    // The audio settings a signal may carry: a known rate and the sound pairs among the present ones.
    static bool Valid(const AudioSignal& audio);

    // A cable plugged, carrying `standardBit` (a known standard) and `audio`, since `originTicks`.
    SignalModel(bool plugged, uint32_t standardBit, uint64_t originTicks);

    bool Plugged() const { return m_plugged; }
    const VideoStandard& Standard() const { return *m_standard; }
    const AudioSignal& Audio() const { return m_audio; }
    // Where the signal's frame grid starts (90 MHz ticks of the board's clock, unwrapped).
    uint64_t OriginTicks() const { return m_origin; }

    void SetPlugged(bool plugged, uint64_t nowTicks);
    // False (nothing changed) for a bit no standard has.
    bool SetStandard(uint32_t standardBit, uint64_t nowTicks);
    // False (nothing changed) unless Valid.
    bool SetAudio(const AudioSignal& audio);

    Line21Captions& Captions() { return m_captions; }
    const Line21Captions& Captions() const { return m_captions; }

    // The input-state message (id 6, tag 0) of this input now, with error codes in the format word
    // and, when given, VBI counts that the DSP counted other than it captures.
    MailboxResponse InputStateMessage(uint32_t videoError = 0, uint32_t audioError = 0,
                                      std::optional<std::array<uint32_t, 2>> countedVbi = {}) const;
    // The picture the DSP captures of this signal.
    VideoGeometry CaptureGeometry(bool halfScale) const { return m_standard->CaptureGeometry(halfScale); }
    // Status words of a filled audio buffer.
    StatusWords AudioStatus() const;

private:
    bool m_plugged;
    const VideoStandard* m_standard;
    AudioSignal m_audio;
    uint64_t m_origin;
    Line21Captions m_captions;
};

} // namespace board
