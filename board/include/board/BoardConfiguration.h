// What one simulated board is built with: its video inputs and their kinds, its audio inputs, the
// PCI subsystem id, the daughter card, the EEPROM contents (or the identity in them), the span the
// memory tester covers, the PCI tester's transfer length and whether the firmware announces the
// input state after a boot.
// The machine installs the driver package from the same description (inputs, subsystem).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board/Eeprom.h"

namespace board {

enum class VideoInputKind {
    Sdi,           // a live input the DSP captures (input type 0)
    TestConnector, // the driver's own test picture (input type 2); the DSP never captures it
};

struct BoardConfiguration {
    static constexpr uint32_t kSdiAudio = 10;          // audio input type of SDI embedded audio
    static constexpr uint32_t kExternalSpan = 64u << 20; // all of external memory
    static constexpr uint32_t kPciTesterLength = 4'320'000;

    std::vector<VideoInputKind> videoInputs{VideoInputKind::Sdi, VideoInputKind::TestConnector};
    std::vector<uint32_t> audioInputs{kSdiAudio, kSdiAudio}; // audio input types
    uint16_t subsystemId = 0x0001;
    uint32_t daughterCard = 31; // the signature command 16 answers; 31: none fitted
    std::optional<Eeprom::Contents> eeprom; // none: Eeprom::DefaultContents
    // The board's identity written over those contents: the PCI vendor id of word 0 (the check word
    // made again) and the serial number of words 14 to 23, one character a word, the words after a
    // shorter one 0.
    std::optional<uint16_t> eepromVendorId;
    std::optional<std::string> eepromSerialNumber; // ten characters at most
    uint32_t testerSpan = kExternalSpan;    // bytes of external memory the memory tester covers
    uint32_t pciTesterLength = kPciTesterLength; // bytes of each PCI tester transfer
    // The input state of input 0 as the first message after every boot and host restart.
    bool bootAnnouncement = false;

    // The EEPROM's words at power-on. Throws std::invalid_argument for a serial number longer than
    // ten characters.
    Eeprom::Contents EepromContents() const;
};

} // namespace board
