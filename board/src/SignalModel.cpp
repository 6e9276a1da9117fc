// One input's signal and the DSP's measurement of it.
#include "board/SignalModel.h"

#include <stdexcept>

#include "board/Tones.h"

namespace board {

uint32_t SignalModel::PairMask(uint8_t pairs)
{
    uint32_t mask = 0;
    for (uint32_t p = 0; p < Tones::kPairs; ++p)
        if (pairs >> p & 1)
            mask |= 3u << (2 * p);
    return mask;
}

uint32_t SignalModel::RateCodes(uint8_t pairs, uint32_t code, uint32_t bits)
{
    uint32_t codes = 0;
    for (uint32_t p = 0; p < Tones::kPairs; ++p)
        if (pairs >> p & 1)
            codes |= code << (bits * p);
    return codes;
}

bool SignalModel::Valid(const AudioSignal& audio)
{
    return Tones::RateCode(audio.sampleRate).has_value() && (audio.soundPairs & ~audio.presentPairs) == 0;
}

SignalModel::SignalModel(bool plugged, uint32_t standardBit, uint64_t originTicks)
    : m_plugged(plugged), m_standard(VideoStandards::Find(standardBit)), m_origin(originTicks)
{
    if (!m_standard)
        throw std::invalid_argument("no video standard has this bit");
}

void SignalModel::SetPlugged(bool plugged, uint64_t nowTicks)
{
    if (plugged && !m_plugged)
        m_origin = nowTicks;
    m_plugged = plugged;
}

bool SignalModel::SetStandard(uint32_t standardBit, uint64_t nowTicks)
{
    const VideoStandard* standard = VideoStandards::Find(standardBit);
    if (!standard)
        return false;
    m_standard = standard;
    m_origin = nowTicks;
    return true;
}

bool SignalModel::SetAudio(const AudioSignal& audio)
{
    if (!Valid(audio))
        return false;
    m_audio = audio;
    return true;
}

MailboxResponse SignalModel::InputStateMessage(uint32_t videoError, uint32_t audioError,
                                               std::optional<std::array<uint32_t, 2>> countedVbi) const
{
    MailboxResponse message = MailboxResponse::Message(kDspMessageInputState);
    message.SetWord(kResponseResult, kDspResultSuccess);
    uint32_t format = (videoError & 0xF) << kVideoErrorShift | (audioError & 0xF) << kAudioErrorShift;
    if (m_plugged) {
        const VideoStandard& s = *m_standard;
        format |= kFormatGoodMask;
        if (s.HdClock())
            format |= kFormatHdClock;
        if (s.ThousandOneClock())
            format |= kFormatThousandOneClock;
        if (s.interlaced)
            format |= kFormatInterlaced;
        const std::array<uint32_t, 2> counted = countedVbi.value_or(s.vbiLines);
        message.SetWord(kInputStateHorizontal, s.activeWidth | s.horizontalBlanking << 11);
        message.SetWord(kInputStateVertical, s.activeLines[0] | s.activeLines[1] << 12);
        message.SetWord(kInputStateBlankingCounted, (counted[0] & 0x7F) | (counted[1] & 0x7F) << 8);
        message.SetWord(kInputStateBlankingCaptured, s.vbiLines[0] | s.vbiLines[1] << 8);
        const uint32_t code = *Tones::RateCode(m_audio.sampleRate);
        message.SetWord(kInputStateAudioWords, RateCodes(m_audio.presentPairs, code, 2));
        message.SetWord(kInputStateAudioWords + 4, RateCodes(m_audio.presentPairs, code, 3));
        message.SetWord(kInputStateAudioWords + 8, PairMask(m_audio.presentPairs));
        message.SetWord(kInputStateAudioWords + 12, PairMask(m_audio.soundPairs));
    }
    message.SetWord(kInputStateFormat, format);
    return message;
}

StatusWords SignalModel::AudioStatus() const
{
    const uint32_t code = *Tones::RateCode(m_audio.sampleRate);
    StatusWords words{};
    words[0] = m_standard->HdClock() ? CapturePattern::kAudioFormatHd : CapturePattern::kAudioFormatSd;
    words[1] = RateCodes(m_audio.presentPairs, code, 2);
    words[2] = PairMask(m_audio.presentPairs);
    words[3] = PairMask(m_audio.soundPairs);
    words[4] = CapturePattern::kAudioStatusWord4;
    words[5] = RateCodes(m_audio.presentPairs, code, 3);
    return words;
}

} // namespace board
