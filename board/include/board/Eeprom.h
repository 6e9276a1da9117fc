// The DSP's serial EEPROM: 2,048 16-bit words that survive resets, starting with the board's
// identity and manufacturing record and a check word over the first thirteen words. Thread-safe.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace board {

class Eeprom {
public:
    static constexpr uint32_t kWordCount = 2048;
    static constexpr uint32_t kCheckWordIndex = 13;
    static constexpr uint16_t kCheckSeed = 0xAAAA;
    static constexpr const char* kDefaultSerialNumber = "TVX0000001"; // words 14..23

    using Contents = std::array<uint16_t, kWordCount>;

    // The contents a new board carries (docs/dsp-interface.md, "The EEPROM").
    static Contents DefaultContents();
    // 0xAAAA XOR words 0..12 of `words` (which holds at least 13).
    static uint16_t CheckWord(std::span<const uint16_t> words);

    Eeprom();

    // Command 8: false (touching nothing) when offset + count runs past the last word.
    bool Read(uint32_t offset, std::span<uint16_t> words) const;
    bool Write(uint32_t offset, std::span<const uint16_t> words);

    // ---- test hooks ----
    uint16_t Word(uint32_t index) const; // std::out_of_range past the last word
    Contents Words() const;
    void SetWord(uint32_t index, uint16_t value);
    void RestoreDefaults();
    uint64_t WriteCount() const; // command 8 writes taken

private:
    mutable std::mutex m_lock;
    Contents m_words{};
    uint64_t m_writes = 0;
};

} // namespace board
