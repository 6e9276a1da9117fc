// The EEPROM's words and the contents a new board carries.
#include "board/Eeprom.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "board/HostPortRegisters.h"

namespace board {

Eeprom::Contents Eeprom::DefaultContents()
{
    Contents words;
    // Unprogrammed cells read all ones.
    words.fill(0xFFFF);
    std::fill(words.begin(), words.begin() + 33, 0);
    words[0] = kVendorId;
    words[1] = kDeviceId;
    words[2] = kVendorId;
    words[3] = kDeviceId;
    words[4] = 1; // board revision
    words[kCheckWordIndex] = CheckWord(words);
    const size_t serialLength = std::strlen(kDefaultSerialNumber);
    for (size_t i = 0; i < serialLength && i < 10; ++i)
        words[14 + i] = static_cast<uint8_t>(kDefaultSerialNumber[i]);
    words[25] = 1; // facility
    const uint16_t made[] = {2026, 1, 15, 12, 0, 0};
    std::copy(std::begin(made), std::end(made), words.begin() + 26);
    return words;
}

uint16_t Eeprom::CheckWord(std::span<const uint16_t> words)
{
    if (words.size() < kCheckWordIndex)
        throw std::invalid_argument("the check word covers words 0 to 12");
    uint16_t check = kCheckSeed;
    for (uint32_t i = 0; i < kCheckWordIndex; ++i)
        check ^= words[i];
    return check;
}

Eeprom::Eeprom() : m_words(DefaultContents()) {}

bool Eeprom::Read(uint32_t offset, std::span<uint16_t> words) const
{
    if (offset > kWordCount || words.size() > kWordCount - offset)
        return false;
    std::lock_guard lock(m_lock);
    std::copy_n(m_words.begin() + offset, words.size(), words.begin());
    return true;
}

bool Eeprom::Write(uint32_t offset, std::span<const uint16_t> words)
{
    if (offset > kWordCount || words.size() > kWordCount - offset)
        return false;
    std::lock_guard lock(m_lock);
    std::copy(words.begin(), words.end(), m_words.begin() + offset);
    ++m_writes;
    return true;
}

uint16_t Eeprom::Word(uint32_t index) const
{
    std::lock_guard lock(m_lock);
    return m_words.at(index);
}

Eeprom::Contents Eeprom::Words() const
{
    std::lock_guard lock(m_lock);
    return m_words;
}

void Eeprom::SetWord(uint32_t index, uint16_t value)
{
    std::lock_guard lock(m_lock);
    m_words.at(index) = value;
}

void Eeprom::RestoreDefaults()
{
    std::lock_guard lock(m_lock);
    m_words = DefaultContents();
}

uint64_t Eeprom::WriteCount() const
{
    std::lock_guard lock(m_lock);
    return m_writes;
}

} // namespace board
