// The EEPROM's words a board is built with (BoardConfiguration.h).
#include "board/BoardConfiguration.h"

#include <stdexcept>

namespace board {

namespace {
constexpr uint32_t kSerialFirstWord = 14;
constexpr size_t kSerialCharacters = 10;
} // namespace

Eeprom::Contents BoardConfiguration::EepromContents() const
{
    Eeprom::Contents words = eeprom ? *eeprom : Eeprom::DefaultContents();
    if (eepromVendorId) {
        words[0] = *eepromVendorId;
        words[Eeprom::kCheckWordIndex] = Eeprom::CheckWord(words);
    }
    if (eepromSerialNumber) {
        if (eepromSerialNumber->size() > kSerialCharacters)
            throw std::invalid_argument("an EEPROM serial number has ten characters at most");
        for (size_t i = 0; i < kSerialCharacters; ++i)
            words[kSerialFirstWord + i] =
                i < eepromSerialNumber->size() ? static_cast<uint8_t>((*eepromSerialNumber)[i]) : 0;
    }
    return words;
}

} // namespace board
