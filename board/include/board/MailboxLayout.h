// The mailbox the DSP firmware keeps at DSP address 0x20 (window page 0, offset 32): 232 bytes of
// 32-bit little-endian words, which the firmware initialises at boot and the host polls.
#pragma once
#include <cstdint>

namespace board {

constexpr uint32_t kMailboxAddress = 0x20;
constexpr uint32_t kMailboxSize = 232;

// Offsets from the start of the mailbox.
constexpr uint32_t kMailboxFirstWord = 0;      // never all ones while a DSP is there: the version
constexpr uint32_t kMailboxRestart = 4;        // host writes kMailboxRestartRequest, DSP clears
constexpr uint32_t kMailboxCounterA = 12;      // advanced by the DSP on progress
constexpr uint32_t kMailboxCounterB = 16;
constexpr uint32_t kMailboxHeartbeat = 32;     // advanced every millisecond while firmware runs
constexpr uint32_t kMailboxResponseValid = 36; // DSP sets 1, host clears
constexpr uint32_t kMailboxCommandBusy = 40;   // host sets 1, DSP clears
constexpr uint32_t kMailboxCommandSlot = 64;
constexpr uint32_t kMailboxCommandSlotSize = 56;
constexpr uint32_t kMailboxResponseSlot = 120;
constexpr uint32_t kMailboxResponseSlotSize = 112;

// The one-word restart request of the host's "already running" start: the firmware clears the
// mailbox's flags and counters itself and then this word, its acknowledgement.
constexpr uint32_t kMailboxRestartRequest = 1;

// DSP address of the heartbeat word.
constexpr uint32_t kHeartbeatAddress = kMailboxAddress + kMailboxHeartbeat;

} // namespace board
