// The host's side of the mailbox handshake, reduced to what the board's tests need: boot the main
// firmware, put one command into the slot, take one answer out of the response slot, all through
// the window and registers as the driver does.
#pragma once
#include <array>
#include <cstdint>
#include <optional>

#include "BoardTestSupport.h"
#include "board/MailboxLayout.h"
#include "board/MailboxMessages.h"
#include "board/StandardImages.h"

namespace board::testing {

inline void BootMainFirmware(CaptureBoard& board)
{
    LoadThroughWindow(board, StandardImages::DspImage(Personality::MainFirmware));
    Release(board);
    Eventually([&] { return board.IsBooted(); });
    board.Registers().Write32(kHostStatus, 3);
}

inline uint32_t MailboxWord(CaptureBoard& board, uint32_t field)
{
    return board.Window().Read32(kMailboxAddress + field);
}

inline void SetMailboxWord(CaptureBoard& board, uint32_t field, uint32_t value)
{
    board.Window().Write32(kMailboxAddress + field, value);
}

// A command's 56 bytes: tag, id, parameter word 0, payload words; +12 and +52 carry garbage, as a
// reused record's do.
inline std::array<uint8_t, 56> CommandBytes(uint64_t tag, uint32_t id, uint32_t parameter = 0,
                                            std::array<uint32_t, 8> payload = {})
{
    std::array<uint8_t, 56> bytes{};
    auto put = [&](uint32_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(kCommandTag, static_cast<uint32_t>(tag));
    put(kCommandTag + 4, static_cast<uint32_t>(tag >> 32));
    put(kCommandId, id);
    put(12, 0xDEADBEEF);
    put(kCommandParameter, parameter);
    for (uint32_t i = 0; i < 8; ++i)
        put(kCommandPayload + 4 * i, payload[i]);
    put(52, 0xDEADBEEF);
    return bytes;
}

// Fills the slot when it is free and sets busy; false when the slot is still busy.
inline bool PutCommand(CaptureBoard& board, const std::array<uint8_t, 56>& bytes, bool ring = true)
{
    if (MailboxWord(board, kMailboxCommandBusy) != 0)
        return false;
    board.Window().WriteBuffer(kMailboxAddress + kMailboxCommandSlot, platform::AccessWidth::Byte, bytes.data(),
                               bytes.size());
    SetMailboxWord(board, kMailboxCommandBusy, 1);
    if (ring)
        board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
    return true;
}

// Takes the answer in the response slot, if the flag says there is one: the flag is read before
// the slot, as the host does; then the response id and the flag are cleared and the doorbell rung.
inline std::optional<MailboxResponse> TakeResponse(CaptureBoard& board, bool ring = true)
{
    if (MailboxWord(board, kMailboxResponseValid) != 1)
        return std::nullopt;
    MailboxResponse response;
    board.Window().ReadBuffer(kMailboxAddress + kMailboxResponseSlot, platform::AccessWidth::Byte,
                              response.bytes.data(), response.bytes.size());
    SetMailboxWord(board, kMailboxResponseSlot + kResponseId, 0);
    SetMailboxWord(board, kMailboxResponseValid, 0);
    if (ring)
        board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
    return response;
}

// The host's "already running" start: the restart request in one word, then the doorbell.
inline void RestartMailbox(CaptureBoard& board)
{
    SetMailboxWord(board, kMailboxRestart, kMailboxRestartRequest);
    board.Registers().Write32(kHostToDspControl, kHostToDspDoorbell);
}

inline std::optional<MailboxResponse> AwaitResponse(CaptureBoard& board, double seconds = 5)
{
    std::optional<MailboxResponse> response;
    Eventually([&] { return (response = TakeResponse(board)).has_value(); }, seconds);
    return response;
}

} // namespace board::testing
