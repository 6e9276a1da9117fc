// Decoding a command slot and building responses, word by word in little-endian order.
#include "board/MailboxMessages.h"

#include <stdexcept>

#include "LittleEndian.h"

namespace board {

MailboxCommand MailboxCommand::Decode(std::span<const uint8_t, 56> slot)
{
    MailboxCommand command;
    std::copy(slot.begin(), slot.end(), command.bytes.begin());
    command.tag = LoadLittle32(slot.data() + kCommandTag) |
                  static_cast<uint64_t>(LoadLittle32(slot.data() + kCommandTag + 4)) << 32;
    command.id = LoadLittle32(slot.data() + kCommandId);
    command.parameter = LoadLittle32(slot.data() + kCommandParameter);
    for (uint32_t i = 0; i < kCommandPayloadWords; ++i)
        command.payload[i] = LoadLittle32(slot.data() + kCommandPayload + 4 * i);
    return command;
}

MailboxResponse MailboxResponse::AnswerTo(const MailboxCommand& command, uint32_t result, uint32_t wordA,
                                          uint32_t wordB)
{
    MailboxResponse response;
    // The tag goes back as the 8 bytes that came, whatever the host put in them.
    std::copy(command.bytes.begin() + kCommandTag, command.bytes.begin() + kCommandTag + 8,
              response.bytes.begin() + kResponseTag);
    response.SetWord(kResponseId, command.id);
    response.SetWord(kResponseResult, result);
    response.SetWord(kResponseWordA, wordA);
    response.SetWord(kResponseWordB, wordB);
    return response;
}

MailboxResponse MailboxResponse::Message(uint32_t id)
{
    MailboxResponse response;
    response.SetWord(kResponseId, id);
    return response;
}

uint64_t MailboxResponse::Tag() const
{
    return LoadLittle32(bytes.data() + kResponseTag) |
           static_cast<uint64_t>(LoadLittle32(bytes.data() + kResponseTag + 4)) << 32;
}

void MailboxResponse::SetTag(uint64_t tag)
{
    StoreLittle32(bytes.data() + kResponseTag, static_cast<uint32_t>(tag));
    StoreLittle32(bytes.data() + kResponseTag + 4, static_cast<uint32_t>(tag >> 32));
}

uint32_t MailboxResponse::Word(uint32_t offset) const
{
    if (offset % 4 != 0 || offset >= bytes.size())
        throw std::out_of_range("response word offset");
    return LoadLittle32(bytes.data() + offset);
}

void MailboxResponse::SetWord(uint32_t offset, uint32_t value)
{
    if (offset % 4 != 0 || offset >= bytes.size())
        throw std::out_of_range("response word offset");
    StoreLittle32(bytes.data() + offset, value);
}

} // namespace board
